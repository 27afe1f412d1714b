// Dialog 148 or 150 over the slot records a family A or B flow set up (transfer/slot_session.h): the one
// slot dialog with the family's description, the whole dialog disabled while the blocks go out.
#pragma once

#include "app/dialogs/slot_dialog.h"
#include "transfer/families.h"
#include "transfer/slot_session.h"

namespace su {

class SlotSessionDialog : public SlotDialog {
 public:
  SlotSessionDialog(const FamilyEntry& family, const SlotSession& session)
      : SlotDialog(family, KeyboardSlots{session.modelAddress, session.slotLabels, session.songName}, true) {}
};

}  // namespace su
