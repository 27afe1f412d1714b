#include "app/dialogs/family_c/send_dialog.h"

#include "midi/identification.h"

namespace su {

SendDialogC::SendDialogC(const SlotLayout& layout, SlotTableC&)
    : SlotDialog(FamilyC(), KeyboardSlots{kModelAddressC, layout.slotLabels, ""}, false) {}

}  // namespace su
