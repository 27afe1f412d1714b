#include "app/dialogs/family_c/send_dialog.h"

#include <string>

#include "app/dialogs/dialog_progress.h"
#include "app/dialogs/dialog_prompts.h"
#include "app/dialogs/slot_list_control.h"
#include "base/run_state.h"
#include "resources/resource.h"

namespace su {

namespace {

// The slot's name up to its terminating zero, and never beyond the field even if the zero is missing.
std::string NameText(const SlotRecordC& record) {
  std::size_t length = 0;
  while (length < kSlotNameSize && record.name[length] != '\0') ++length;
  return std::string(record.name, length);
}

}  // namespace

void ReadSlots(WindowRef dialog, const SlotLayout& layout, SlotTableC& table) {
  DialogReadingProgress progress(dialog);
  ReadSlotTableC(layout, table, progress);
}

void FillSlotList(WindowRef dialog, const SlotLayout& layout, const SlotTableC& table) {
  Screen& screen = TheScreen();
  screen.ListClear(dialog, IDC_SLOT_LIST);
  const int count = layout.slotCount < kMaxSlotsC ? layout.slotCount : kMaxSlotsC;
  for (int slot = 0; slot < count; ++slot) {
    const SlotRecordC& record = table.slots[slot];
    const std::string label =
        slot < static_cast<int>(layout.slotLabels.size()) ? layout.slotLabels[slot] : std::string();
    ShowSlotRow(dialog, slot, label, NameText(record), record.size);
  }
  if (count > 0) screen.ListSelectRow(dialog, IDC_SLOT_LIST, 0);
  screen.SetControlText(dialog, IDC_TOTAL_SIZE, TotalKilobytesText(table.totalSize));
  screen.SetControlText(dialog, IDC_FREE_SIZE, TotalKilobytesText(table.freeSize));
}

int SendToSelectedSlot(WindowRef dialog) {
  RunState& run = Run();
  const auto slot = static_cast<std::uint8_t>(SelectedRow(dialog));
  DialogProgress progress(dialog);
  DialogPrompts prompts(dialog, false);
  return SendSongToSlotC(slot, run.songImage.get(), run.songImageSize, progress, prompts) == SendOutcome::Sent
             ? 1
             : 0;
}

int DeleteSelectedSlot(WindowRef dialog, const SlotTableC& table) {
  const int slot = SelectedRow(dialog);
  if (slot < 0 || slot >= kMaxSlotsC || table.slots[slot].inUse == 0) {
    TheScreen().Beep();
    return 0;
  }
  if (ShowMessage(dialog, IDS_DELETE_QUESTION, BoxKind::YesNo) == kAnswerNo) return 0;
  DeletingBox box(dialog);
  DeleteSongInSlotC(static_cast<std::uint8_t>(slot & 0xFF));
  return 1;
}

void SendDialogC::OnInit(WindowRef dialog) {
  Screen& screen = TheScreen();
  RunState& run = Run();

  screen.ProgressRange(dialog, IDC_PROGRESS, 0, 1);
  screen.ProgressPos(dialog, IDC_PROGRESS, 0);
  screen.ProgressStep(dialog, IDC_PROGRESS, 1);

  SetUpSlotList(dialog);

  screen.SetControlText(dialog, IDC_FILE_NAME, run.stagedName);
  screen.SetControlText(dialog, IDC_SONG_SIZE, UnsignedText(KilobytesShown(run.songImageSize)));
  screen.SetControlText(dialog, IDC_TOTAL_SIZE, "");
  screen.SetControlText(dialog, IDC_FREE_SIZE, "");
  screen.SetControlText(dialog, IDC_STATUS, "");
  screen.EnableControl(dialog, IDC_DELETE, false);

  // The first reading starts once the dialog is on screen.
  screen.ShowWindow(dialog);
  screen.PostCommand(dialog, IDC_REFRESH);
}

void SendDialogC::OnCommand(WindowRef dialog, int control) {
  if (busy_) return;
  switch (control) {
    case IDC_REFRESH:
      Refresh(dialog);
      break;
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

void SendDialogC::OnListClick(WindowRef dialog, int control, int row) {
  // A click while the slots are being read or a song is on its way must not re-enable Delete.
  if (busy_ || control != IDC_SLOT_LIST || row < 0) return;
  if (row >= layout_.slotCount || row >= kMaxSlotsC) return;
  TheScreen().EnableControl(dialog, IDC_DELETE, table_.slots[row].inUse != 0);
}

void SendDialogC::Refresh(WindowRef dialog) {
  BusyScope busy(busy_);
  ReadSlots(dialog, layout_, table_);
  FillSlotList(dialog, layout_, table_);
}

void SendDialogC::Send(WindowRef dialog) {
  Screen& screen = TheScreen();
  screen.EnableControl(dialog, IDC_CANCEL_TRANSFER, false);
  screen.EnableControl(dialog, IDC_DELETE, false);
  screen.EnableControl(dialog, IDC_SEND, false);

  int sent = 0;
  {
    BusyScope busy(busy_);
    sent = SendToSelectedSlot(dialog);
  }
  if (sent == 1) {
    ShowMessage(dialog, IDS_COMPLETE, BoxKind::Ok);
    screen.EndDialog(dialog, 0);
    return;
  }
  screen.EnableControl(dialog, IDC_CANCEL_TRANSFER, true);
  screen.EnableControl(dialog, IDC_DELETE, false);
  screen.EnableControl(dialog, IDC_SEND, true);
}

void SendDialogC::Delete(WindowRef dialog) {
  int deleted = 0;
  {
    BusyScope busy(busy_);
    deleted = DeleteSelectedSlot(dialog, table_);
  }
  if (deleted != 1) return;
  // The posted refresh may run while message 50 is still up (its box dispatches the dialog's messages),
  // which is why the busy mark is already gone here.
  TheScreen().PostCommand(dialog, IDC_REFRESH);
  ShowMessage(dialog, IDS_DELETE_COMPLETE, BoxKind::Ok);
  TheScreen().EnableControl(dialog, IDC_DELETE, false);
}

}  // namespace su
