// The family C flow: convert the staged song for the identified model and run dialog 138 "Send the Data".
#pragma once

namespace su {

// 1 once dialog 138 has closed. Raises messages 42, 43 or 44 when the conversion fails, and passes on every
// failure raised inside the dialog.
int RunFamilyC();

}  // namespace su
