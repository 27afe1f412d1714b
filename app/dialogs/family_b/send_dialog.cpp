#include "app/dialogs/family_b/send_dialog.h"

namespace su {

const FamilyEntry& kSlotDialogB = FamilyB();

}  // namespace su
