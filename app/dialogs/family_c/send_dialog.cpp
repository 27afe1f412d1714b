#include "app/dialogs/family_c/send_dialog.h"

#include "midi/identification.h"

namespace su {

SendDialogC::SendDialogC(const SlotLayout& layout)
    : SlotDialog(FamilyC(), KeyboardSlots{kModelAddressC, layout.slotLabels, ""}) {}

}  // namespace su
