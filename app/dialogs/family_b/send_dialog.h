// Dialog 150 "Send the Data" of family B: the keyboard's ten song slots (labelled 61 to 70) with their names
// and sizes, the total and the largest song the keyboard accepts, and the Send, Delete and Cancel buttons.
#pragma once

#include "app/dialogs/slot_session_dialog.h"
#include "transfer/families.h"

namespace su {

// What dialog 150 shows and does: family B's description in the one slot dialog.
extern const FamilyEntry& kSlotDialogB;

}  // namespace su
