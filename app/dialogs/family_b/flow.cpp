#include "app/dialogs/family_b/flow.h"

#include "app/dialogs/slot_dialog.h"
#include "resources/resource.h"
#include "transfer/families.h"

namespace su {

int RunFamilyB() { return RunSlotDialog(FamilyB(), IDD_SEND_B); }

}  // namespace su
