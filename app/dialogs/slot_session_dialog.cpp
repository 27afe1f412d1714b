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
  Screen& screen = TheScreen();
  screen.ListClear(dialog, IDC_SLOT_LIST);
  for (int slot = 0; slot < session.slotCount; ++slot) {
    const SlotEntry& entry = session.slots[static_cast<std::size_t>(slot)];
    std::size_t length = 0;
    while (length < kSlotEntryNameSize && entry.name[length] != '\0') ++length;
    ShowSlotRow(dialog, slot, session.slotLabels[static_cast<std::size_t>(slot)], std::string(entry.name, length),
                entry.size);
  }
  if (session.slotCount > 0) screen.ListSelectRow(dialog, IDC_SLOT_LIST, 0);
}

int DeleteTargetSong(WindowRef dialog, const SlotSession& session,
                     void (*deleteInSlot)(const SlotSession& session, std::uint8_t slot)) {
  const std::uint8_t slot = TargetSlot(dialog, session);
  if (session.slots[slot].used == 0) {
    TheScreen().Beep();
    return 0;
  }
  if (ShowMessage(dialog, IDS_DELETE_QUESTION, BoxKind::YesNo) == kAnswerNo) return 0;
  DeletingBox box(dialog);
  deleteInSlot(session, slot);
  return 1;
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

DisabledWhileSending::DisabledWhileSending(WindowRef dialog) : dialog_(dialog) {
  TheScreen().EnableControl(dialog_, kWholeWindow, false);
}

DisabledWhileSending::~DisabledWhileSending() {
  try {
    TheScreen().EnableControl(dialog_, kWholeWindow, true);
  } catch (...) {
    // The failure under way matters more than a window left disabled.
  }
}

void SlotSessionDialog::OnInit(WindowRef dialog) {
  Screen& screen = TheScreen();
  const RunState& run = Run();

  screen.ProgressRange(dialog, IDC_PROGRESS, 0, 1);
  screen.ProgressPos(dialog, IDC_PROGRESS, 0);
  screen.ProgressStep(dialog, IDC_PROGRESS, 1);
  SetUpSlotList(dialog);

  screen.SetControlText(dialog, IDC_FILE_NAME, run.stagedName);
  screen.SetControlText(dialog, IDC_SONG_SIZE, UnsignedText(KilobytesShown(run.songImageSize)));
  screen.SetControlText(dialog, IDC_TOTAL_SIZE, "");
  screen.SetControlText(dialog, family_.memoryField, "");
  screen.SetControlText(dialog, IDC_STATUS, "");
  screen.EnableControl(dialog, IDC_DELETE, false);

  // The first reading starts once the dialog is on screen.
  screen.ShowWindow(dialog);
  screen.PostCommand(dialog, IDC_REFRESH);
}

void SlotSessionDialog::OnCommand(WindowRef dialog, int control) {
  if (busy_) return;
  switch (control) {
    case IDC_REFRESH: {
      BusyScope busy(busy_);
      family_.refresh(dialog, session_);
      family_.fill(dialog, session_);
      break;
    }
    case IDC_SEND:
      Send(dialog);
      break;
    case IDC_DELETE:
      Delete(dialog);
      break;
    case IDC_CANCEL_TRANSFER:
      TheScreen().EndDialog(dialog, 0);
      break;
    default:
      break;  // Escape and everything else: nothing
  }
}

void SlotSessionDialog::OnListClick(WindowRef dialog, int control, int row) {
  if (busy_ || control != IDC_SLOT_LIST || row < 0 || row >= session_.slotCount) return;
  TheScreen().EnableControl(dialog, IDC_DELETE, session_.slots[static_cast<std::size_t>(row)].used != 0);
}

void SlotSessionDialog::Send(WindowRef dialog) {
  Screen& screen = TheScreen();
  screen.EnableControl(dialog, IDC_CANCEL_TRANSFER, false);
  screen.EnableControl(dialog, IDC_DELETE, false);
  screen.EnableControl(dialog, IDC_SEND, false);

  int sent = 0;
  {
    BusyScope busy(busy_);
    sent = family_.sendSong(dialog, session_);
  }
  if (sent == 1) {
    ShowMessage(dialog, IDS_COMPLETE, BoxKind::Ok);
    screen.EndDialog(dialog, 0);
    return;
  }
  screen.EnableControl(dialog, IDC_CANCEL_TRANSFER, true);
  screen.EnableControl(dialog, IDC_SEND, true);
}

void SlotSessionDialog::Delete(WindowRef dialog) {
  int deleted = 0;
  {
    BusyScope busy(busy_);
    deleted = family_.deleteSong(dialog, session_);
  }
  if (deleted != 1) return;
  // A refresh posted before message 50 opens runs while the box is up (the box dispatches the dialog's
  // messages); the busy mark is already gone for it.
  if (family_.refreshUnderDeleteMessage) TheScreen().PostCommand(dialog, IDC_REFRESH);
  ShowMessage(dialog, IDS_DELETE_COMPLETE, BoxKind::Ok);
  if (!family_.refreshUnderDeleteMessage) TheScreen().PostCommand(dialog, IDC_REFRESH);
  TheScreen().EnableControl(dialog, IDC_DELETE, false);
}

}  // namespace su
