// The logic of a family A or B transfer dialog ("Send the Data" 148 or 150): both list ten slots of a
// SlotSession and behave as every slot dialog does (slot_dialog.h); what differs is given by the family.
#pragma once

#include <cstdint>

#include "app/dialogs/slot_dialog.h"
#include "app/dialog_screen.h"
#include "transfer/progress.h"
#include "transfer/send_prompts.h"
#include "transfer/slot_session.h"

namespace su {

struct SlotDialogFamily {
  int memoryField;  // the memory field cleared at set-up: 1005 "Empty Size" or 1007 "Maximum Song Size"
  void (*refresh)(WindowRef dialog, SlotSession& session);
  void (*fill)(WindowRef dialog, const SlotSession& session);
  int (*deleteSong)(WindowRef dialog, const SlotSession& session);  // 1 when a song was deleted
  int (*sendSong)(WindowRef dialog, const SlotSession& session);    // 1 when the song was sent
  // After a delete the slots are read again: while message 50 is still up (the refresh is posted before it
  // opens), or only once it has been closed.
  bool refreshUnderDeleteMessage;
};

// Dialog 148 or 150: the shared slot dialog over a SlotSession, with the family's steps.
class SlotSessionDialog : public SlotDialog {
 public:
  SlotSessionDialog(const SlotDialogFamily& family, SlotSession& session)
      : SlotDialog(family.memoryField, family.refreshUnderDeleteMessage), family_(family), session_(session) {}

 protected:
  void Refresh(WindowRef dialog) override;
  int SendSong(WindowRef dialog) override;
  int DeleteSong(WindowRef dialog) override;
  int ListedSlots() const override;
  bool SlotHoldsSong(int row) const override;

 private:
  const SlotDialogFamily& family_;
  SlotSession& session_;
};

// The slot the dialog's Send or Delete acts on: the first selected row, slot 0 when none is.
std::uint8_t TargetSlot(WindowRef dialog, const SlotSession& session);

// Puts every slot of `session` into the slot list and selects row 0 (which does not enable Delete).
void FillSlotRows(WindowRef dialog, const SlotSession& session);

// Delete in a family A or B dialog: an empty target slot beeps; otherwise message 49 is asked and, on Yes,
// `deleteInSlot` runs while box 142 "Now deleting..." is up. 1 when it ran.
int DeleteTargetSong(WindowRef dialog, const SlotSession& session,
                     void (*deleteInSlot)(const SlotSession& session, std::uint8_t slot));

// Send in a family A or B dialog: the run's song image goes to the target slot through `sendToSlot`, which
// reports to the dialog's bar, status line and boxes and asks its questions there. 1 when it was sent.
using SendToSlot = SendOutcome (*)(const SlotSession& session, std::uint8_t slot, const std::uint8_t* image,
                                   std::uint32_t size, TransferProgress& progress, SendPrompts& prompts);
int SendToTargetSlot(WindowRef dialog, const SlotSession& session, SendToSlot sendToSlot);

}  // namespace su
