// The family C flow: the staged song converted for the identified model, loaded as the song image, and
// dialog 138 run over the model's slot layout.
#include "app/dialogs/family_c/flow.h"

#include "app/dialogs/slot_dialog.h"
#include "resources/resource.h"
#include "transfer/families.h"

namespace su {

int RunFamilyC() { return RunSlotDialog(FamilyC(), IDD_SEND_C); }

}  // namespace su
