#include "app/dialogs/family_a/flow.h"

#include "app/dialogs/slot_dialog.h"
#include "resources/resource.h"
#include "transfer/families.h"

namespace su {

int RunFamilyA() { return RunSlotDialog(FamilyA(), IDD_SEND_A); }

}  // namespace su
