#include "app/dialogs/family_a/send_dialog.h"

namespace su {

const FamilyEntry& kSlotDialogA = FamilyA();

}  // namespace su
