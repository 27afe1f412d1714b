#include "app/dialogs/slot_session_dialog.h"

#include <string>

#include "app/dialogs/dialog_progress.h"
#include "app/dialogs/dialog_prompts.h"
#include "app/dialogs/slot_list_control.h"
#include "base/run_state.h"
#include "resources/resource.h"

namespace su {

std::uint8_t TargetSlot(WindowRef dialog, const SlotSession& session) {
  const int row = SelectedRow(dialog);
  return static_cast<std::uint8_t>(row >= 0 && row < session.slotCount ? row : 0);
}

void FillSlotRows(WindowRef dialog, const SlotSession& session) {
  DialogScreen& screen = TheDialogScreen();
  screen.ListClear(dialog, IDC_SLOT_LIST);
  for (int slot = 0; slot < session.slotCount; ++slot) {
    const SlotEntry& entry = session.slots[static_cast<std::size_t>(slot)];
    ShowSlotRow(dialog, slot, session.slotLabels[static_cast<std::size_t>(slot)],
                SlotNameText(entry.name, kSlotEntryNameSize), entry.size);
  }
  if (session.slotCount > 0) screen.ListSelectRow(dialog, IDC_SLOT_LIST, 0);
}

int DeleteTargetSong(WindowRef dialog, const SlotSession& session,
                     void (*deleteInSlot)(const SlotSession& session, std::uint8_t slot)) {
  const std::uint8_t slot = TargetSlot(dialog, session);
  if (session.slots[slot].used == 0) {
    TheDialogScreen().Beep();
    return 0;
  }
  return AskAndDelete(dialog, [&] { deleteInSlot(session, slot); });
}

int SendToTargetSlot(WindowRef dialog, const SlotSession& session, SendToSlot sendToSlot) {
  const RunState& run = Run();
  const std::uint8_t slot = TargetSlot(dialog, session);
  DialogProgress progress(dialog);
  DialogPrompts prompts(dialog, true);
  return sendToSlot(session, slot, run.songImage.get(), run.songImageSize, progress, prompts) == SendOutcome::Sent
             ? 1
             : 0;
}

void SlotSessionDialog::Refresh(WindowRef dialog) {
  family_.refresh(dialog, session_);
  family_.fill(dialog, session_);
}

int SlotSessionDialog::SendSong(WindowRef dialog) { return family_.sendSong(dialog, session_); }

int SlotSessionDialog::DeleteSong(WindowRef dialog) { return family_.deleteSong(dialog, session_); }

int SlotSessionDialog::ListedSlots() const { return session_.slotCount; }

bool SlotSessionDialog::SlotHoldsSong(int row) const {
  return session_.slots[static_cast<std::size_t>(row)].used != 0;
}

}  // namespace su
