// The family B flow: convert the staged song for the model, load it and run dialog 150 "Send the Data".
#pragma once

namespace su {

// 1 once dialog 150 has closed. Raises 42, 43 or 44 when the conversion fails, 44 when the converted song
// cannot be read or is empty, and passes on every failure raised inside the dialog.
int RunFamilyB();

}  // namespace su
