#include "app/dialogs/slot_dialog.h"

#include <utility>

#include "app/dialogs/dialog_progress.h"
#include "app/dialogs/dialog_prompts.h"
#include "app/dialogs/slot_list_control.h"
#include "base/conversion.h"
#include "base/paths.h"
#include "base/run_state.h"
#include "resources/resource.h"
#include "transfer/slot_list.h"

namespace su {

namespace {

// Output kind "4": a song image to send.
constexpr char kSongImageKind[] = "4";

}  // namespace

SlotDialog::SlotDialog(const FamilyEntry& family, KeyboardSlots slots)
    : family_(family), slots_(std::move(slots)) {}

int SlotDialog::MemoryField() const {
  return family_.memory == MemoryFigure::LargestSong ? IDC_MAX_SONG_SIZE : IDC_FREE_SIZE;
}

void SlotDialog::OnInit(WindowRef dialog) {
  DialogScreen& screen = TheDialogScreen();
  const RunState& run = Run();

  screen.ProgressRange(dialog, IDC_PROGRESS, 0, 1);
  screen.ProgressPos(dialog, IDC_PROGRESS, 0);
  screen.ProgressStep(dialog, IDC_PROGRESS, 1);
  SetUpSlotList(dialog);

  screen.SetControlText(dialog, IDC_FILE_NAME, run.stagedName);
  screen.SetControlText(dialog, IDC_SONG_SIZE, UnsignedText(KilobytesShown(run.songImageSize)));
  screen.SetControlText(dialog, IDC_TOTAL_SIZE, "");
  screen.SetControlText(dialog, MemoryField(), "");
  screen.SetControlText(dialog, IDC_STATUS, "");
  screen.EnableControl(dialog, IDC_DELETE, false);

  // The first reading starts once the dialog is on screen.
  screen.ShowWindow(dialog);
  screen.PostCommand(dialog, IDC_REFRESH);
}

void SlotDialog::OnCommand(WindowRef dialog, int control) {
  if (busy_) return;
  switch (control) {
    case IDC_REFRESH: {
      BusyScope busy(busy_);
      Refresh(dialog);
      break;
    }
    case IDC_SEND:
      Send(dialog);
      break;
    case IDC_DELETE:
      Delete(dialog);
      break;
    case IDC_CANCEL_TRANSFER:
      TheDialogScreen().EndDialog(dialog, 0);
      break;
    default:
      break;  // Escape and everything else: nothing
  }
}

void SlotDialog::OnListClick(WindowRef dialog, int control, int row) {
  // A click while the slots are being read or a song is on its way must not re-enable Delete.
  if (busy_ || control != IDC_SLOT_LIST || row < 0 || static_cast<std::size_t>(row) >= listing_.slots.size()) return;
  TheDialogScreen().EnableControl(dialog, IDC_DELETE, HoldsSong(listing_, static_cast<std::size_t>(row)));
}

void SlotDialog::Refresh(WindowRef dialog) {
  DialogReadingProgress progress(dialog);
  family_.read(slots_, listing_, progress);
  Fill(dialog);
}

void SlotDialog::Fill(WindowRef dialog) {
  DialogScreen& screen = TheDialogScreen();
  screen.ListClear(dialog, IDC_SLOT_LIST);
  for (std::size_t slot = 0; slot < listing_.slots.size(); ++slot) {
    const SlotRow& row = listing_.slots[slot];
    ShowSlotRow(dialog, static_cast<int>(slot), row.label, row.name, row.size);
  }
  if (!listing_.slots.empty()) screen.ListSelectRow(dialog, IDC_SLOT_LIST, 0);
  screen.SetControlText(dialog, IDC_TOTAL_SIZE, family_.totalText(listing_.totalSize));
  screen.SetControlText(dialog, MemoryField(), TotalKilobytesText(MemoryShown(family_, listing_)));
}

int SlotDialog::SendSong(WindowRef dialog) {
  const RunState& run = Run();
  const std::size_t slot = SlotOfRow(listing_, SelectedRow(dialog));
  DialogProgress progress(dialog);
  DialogPrompts prompts(dialog, family_.disablesWhileSending);
  return family_.send(slots_, slot, run.songImage.get(), run.songImageSize, progress, prompts) == SendOutcome::Sent
             ? 1
             : 0;
}

int SlotDialog::DeleteSong(WindowRef dialog) {
  const std::size_t slot = SlotOfRow(listing_, SelectedRow(dialog));
  if (!HoldsSong(listing_, slot)) {
    TheDialogScreen().Beep();
    return 0;
  }
  return AskAndDelete(dialog, [&] { family_.erase(slots_, slot); });
}

void SlotDialog::Send(WindowRef dialog) {
  DialogScreen& screen = TheDialogScreen();
  screen.EnableControl(dialog, IDC_CANCEL_TRANSFER, false);
  screen.EnableControl(dialog, IDC_DELETE, false);
  screen.EnableControl(dialog, IDC_SEND, false);

  int sent = 0;
  {
    BusyScope busy(busy_);
    sent = SendSong(dialog);
  }
  if (sent == 1) {
    ShowMessage(dialog, IDS_COMPLETE, BoxKind::Ok);
    screen.EndDialog(dialog, 0);
    return;
  }
  // Delete stays off until a row is clicked again.
  screen.EnableControl(dialog, IDC_CANCEL_TRANSFER, true);
  screen.EnableControl(dialog, IDC_DELETE, false);
  screen.EnableControl(dialog, IDC_SEND, true);
}

void SlotDialog::Delete(WindowRef dialog) {
  int deleted = 0;
  {
    BusyScope busy(busy_);
    deleted = DeleteSong(dialog);
  }
  if (deleted != 1) return;
  // A refresh posted before message 50 opens runs while the box is up (the box dispatches the dialog's
  // messages); the busy mark is already gone for it.
  if (family_.refreshUnderDeleteMessage) TheDialogScreen().PostCommand(dialog, IDC_REFRESH);
  ShowMessage(dialog, IDS_DELETE_COMPLETE, BoxKind::Ok);
  if (!family_.refreshUnderDeleteMessage) TheDialogScreen().PostCommand(dialog, IDC_REFRESH);
  TheDialogScreen().EnableControl(dialog, IDC_DELETE, false);
}

int AskAndDelete(WindowRef dialog, const std::function<void()>& deleteSong) {
  if (ShowMessage(dialog, IDS_DELETE_QUESTION, BoxKind::YesNo) == kAnswerNo) return 0;
  DeletingBox box(dialog);
  deleteSong();
  return 1;
}

int RunSlotDialog(const FamilyEntry& family, int dialogId) {
  RunState& run = Run();
  run.convertedPath = ConvertStagedSong(kSongImageKind, family.modelCode(), family.modelInfo());
  LoadSongImageToSend();
  SlotDialog dialog(family, family.slotsOf(run.modelType, SplitPath(run.stagedPath).name));
  TheDialogScreen().RunDialog(dialogId, dialog);
  return 1;
}

}  // namespace su
