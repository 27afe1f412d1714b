// Dialog 148 "Send the Data" of family A: the keyboard's ten song slots with their names and sizes, the
// total and free memory, and the Send, Delete and Cancel buttons.
#pragma once

#include "app/dialogs/slot_session_dialog.h"
#include "transfer/families.h"

namespace su {

// What dialog 148 shows and does: family A's description in the one slot dialog.
extern const FamilyEntry& kSlotDialogA;

}  // namespace su
