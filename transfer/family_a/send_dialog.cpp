#include "transfer/family_a/send_dialog.h"

#include <cstdint>
#include <string>

#include "base/run_state.h"
#include "resources/resource.h"
#include "transfer/dialog_progress.h"
#include "transfer/family_a/protocol.h"
#include "transfer/slot_list.h"

namespace su {

namespace {

// The dialog window as a whole, for EnableControl: no control of it reacts while blocks go out.
class DisabledWhileSending {
 public:
  explicit DisabledWhileSending(WindowRef dialog) : dialog_(dialog) {
    TheScreen().EnableControl(dialog_, kWholeWindow, false);
  }
  ~DisabledWhileSending() {
    try {
      TheScreen().EnableControl(dialog_, kWholeWindow, true);
    } catch (...) {
      // The failure under way matters more than a window left disabled.
    }
  }
  DisabledWhileSending(const DisabledWhileSending&) = delete;
  DisabledWhileSending& operator=(const DisabledWhileSending&) = delete;

 private:
  WindowRef dialog_;
};

std::string NameText(const SlotEntry& entry) {
  std::size_t length = 0;
  while (length < kSlotEntryNameSize && entry.name[length] != '\0') ++length;
  return std::string(entry.name, length);
}

std::uint8_t TargetSlot(WindowRef dialog, const SlotSession& session) {
  const int row = SelectedRow(dialog);
  return static_cast<std::uint8_t>(row >= 0 && row < session.slotCount ? row : 0);
}

}  // namespace

void RefreshSlotsA(WindowRef dialog, SlotSession& session) {
  Screen& screen = TheScreen();
  screen.ProgressRange(dialog, IDC_PROGRESS, 0, session.slotCount);
  screen.ProgressPos(dialog, IDC_PROGRESS, 0);
  screen.ProgressStep(dialog, IDC_PROGRESS, 1);
  screen.SetControlText(dialog, IDC_STATUS, screen.Text(IDS_GETTING_INFORMATION));

  // Summed unsigned so that a keyboard reporting absurd sizes cannot overflow a signed sum.
  std::uint32_t total = 0;
  session.totalSize = 0;
  for (int slot = 0; slot < session.slotCount; ++slot) {
    screen.ProgressStepIt(dialog, IDC_PROGRESS);
    SlotEntry& entry = session.slots[static_cast<std::size_t>(slot)];
    entry.used = ReadSlotInfoA(session.modelAddress, static_cast<std::uint8_t>(slot), &entry.size, entry.name);
    total += entry.size;
    session.totalSize = static_cast<std::int32_t>(total);
  }
  session.freeSize = static_cast<std::int32_t>(ReadFreeSpaceA(session.modelAddress));

  screen.SetControlText(dialog, IDC_STATUS, "");
  screen.ProgressPos(dialog, IDC_PROGRESS, 0);
}

void FillSlotListA(WindowRef dialog, const SlotSession& session) {
  Screen& screen = TheScreen();
  screen.ListClear(dialog, IDC_SLOT_LIST);
  for (int slot = 0; slot < session.slotCount; ++slot) {
    const SlotEntry& entry = session.slots[static_cast<std::size_t>(slot)];
    ShowSlotRow(dialog, slot, session.slotLabels[static_cast<std::size_t>(slot)], NameText(entry), entry.size);
  }
  if (session.slotCount > 0) screen.ListSelectRow(dialog, IDC_SLOT_LIST, 0);
  screen.SetControlText(dialog, IDC_TOTAL_SIZE, TotalKilobytesText(session.totalSize));
  screen.SetControlText(dialog, IDC_FREE_SIZE, TotalKilobytesText(session.freeSize));
}

int DeleteSongA(WindowRef dialog, const SlotSession& session) {
  const std::uint8_t slot = TargetSlot(dialog, session);
  if (session.slots[slot].used == 0) {
    TheScreen().Beep();
    return 0;
  }
  if (ShowMessage(dialog, IDS_DELETE_QUESTION, BoxKind::YesNo) == kAnswerNo) return 0;
  DeletingBox box(dialog);
  PrepareKeyboardA(session.modelAddress, false);
  DeleteSlotA(session.modelAddress, slot);
  return 1;
}

int SendSongA(WindowRef dialog, const SlotSession& session) {
  const RunState& run = Run();
  const std::uint16_t address = session.modelAddress;
  const std::uint8_t slot = TargetSlot(dialog, session);

  PrepareKeyboardA(address, false);
  std::uint32_t oldSize = 0;
  const int used = ReadSlotInfoA(address, slot, &oldSize, nullptr);
  const std::uint32_t free = ReadFreeSpaceA(address);
  // The song in the target slot makes room when it is replaced. An odd-sized song goes out padded into a
  // whole last word, and that byte needs room too. Summed wide so that absurd readings cannot wrap round.
  const std::uint64_t needed = (std::uint64_t{run.songImageSize} + 1) & ~std::uint64_t{1};
  if (std::uint64_t{free} + oldSize < needed) {
    ShowMessage(nullptr, IDS_MEMORY_SHORT_C, BoxKind::Warning);
    return 0;
  }
  if (used != 0) {
    if (ShowMessage(nullptr, IDS_ALREADY_EXIST, BoxKind::YesNo) == kAnswerNo) return 0;
    DeletingBox box(dialog);
    PrepareKeyboardA(address, false);
    DeleteSlotA(address, slot);
  }
  {
    DisabledWhileSending disabled(dialog);
    DialogProgress progress(dialog);
    SendSongImageA(address, slot, progress, run.songImage.get(), run.songImageSize);
  }
  WriteSongNameA(address, slot, session.songName.c_str(), static_cast<int>(session.songName.size()));
  return 1;
}

void SendDialogA::OnInit(WindowRef dialog) {
  Screen& screen = TheScreen();
  const RunState& run = Run();

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

void SendDialogA::OnCommand(WindowRef dialog, int control) {
  if (busy_) return;
  switch (control) {
    case IDC_REFRESH: {
      BusyScope busy(busy_);
      RefreshSlotsA(dialog, session_);
      FillSlotListA(dialog, session_);
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

void SendDialogA::OnListClick(WindowRef dialog, int control, int row) {
  if (busy_ || control != IDC_SLOT_LIST || row < 0 || row >= session_.slotCount) return;
  TheScreen().EnableControl(dialog, IDC_DELETE, session_.slots[static_cast<std::size_t>(row)].used != 0);
}

void SendDialogA::Send(WindowRef dialog) {
  Screen& screen = TheScreen();
  screen.EnableControl(dialog, IDC_CANCEL_TRANSFER, false);
  screen.EnableControl(dialog, IDC_DELETE, false);
  screen.EnableControl(dialog, IDC_SEND, false);

  int sent = 0;
  {
    BusyScope busy(busy_);
    sent = SendSongA(dialog, session_);
  }
  if (sent == 1) {
    ShowMessage(dialog, IDS_COMPLETE, BoxKind::Ok);
    screen.EndDialog(dialog, 0);
    return;
  }
  screen.EnableControl(dialog, IDC_CANCEL_TRANSFER, true);
  screen.EnableControl(dialog, IDC_SEND, true);
}

void SendDialogA::Delete(WindowRef dialog) {
  int deleted = 0;
  {
    BusyScope busy(busy_);
    deleted = DeleteSongA(dialog, session_);
  }
  if (deleted != 1) return;
  // The refresh is posted before message 50 opens, so it runs while the box is up (the box dispatches the
  // dialog's messages); the busy mark is already gone for it.
  TheScreen().PostCommand(dialog, IDC_REFRESH);
  ShowMessage(dialog, IDS_DELETE_COMPLETE, BoxKind::Ok);
  TheScreen().EnableControl(dialog, IDC_DELETE, false);
}

}  // namespace su
