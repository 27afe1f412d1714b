#include "transfer/family_b/send_dialog.h"

#include <cstdint>
#include <string>

#include "base/run_state.h"
#include "resources/resource.h"
#include "transfer/dialog_progress.h"
#include "transfer/family_b/protocol.h"
#include "transfer/slot_list.h"

namespace su {

namespace {

std::string NameText(const SlotEntry& entry) {
  std::size_t length = 0;
  while (length < kSlotEntryNameSize && entry.name[length] != '\0') ++length;
  return std::string(entry.name, length);
}

// The total shows whole kilobytes, but never 0 for a keyboard that holds anything.
std::string TotalTextB(std::int32_t bytes) {
  if (bytes > 0 && bytes < 1024) return "1";
  return TotalKilobytesText(bytes);
}

}  // namespace

const SlotDialogFamily kSlotDialogB = {IDC_MAX_SONG_SIZE, RefreshSlotsB, FillSlotListB, DeleteSongB, SendSongB,
                                       false};

void RefreshSlotsB(WindowRef dialog, SlotSession& session) {
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
    entry.used = ReadSlotInfoB(session.modelAddress, static_cast<std::uint8_t>(slot), &entry.size, entry.name);
    total += entry.size;
    session.totalSize = static_cast<std::int32_t>(total);
  }
  ReadFreeSpaceB(session.modelAddress);  // waits until the keyboard is ready; the value is not shown
  session.maxSongSize = static_cast<std::int32_t>(ReadMaxSongSizeB(session.modelAddress));

  screen.SetControlText(dialog, IDC_STATUS, "");
  screen.ProgressPos(dialog, IDC_PROGRESS, 0);
}

void FillSlotListB(WindowRef dialog, const SlotSession& session) {
  Screen& screen = TheScreen();
  screen.ListClear(dialog, IDC_SLOT_LIST);
  for (int slot = 0; slot < session.slotCount; ++slot) {
    const SlotEntry& entry = session.slots[static_cast<std::size_t>(slot)];
    ShowSlotRow(dialog, slot, session.slotLabels[static_cast<std::size_t>(slot)], NameText(entry), entry.size);
  }
  if (session.slotCount > 0) screen.ListSelectRow(dialog, IDC_SLOT_LIST, 0);
  screen.SetControlText(dialog, IDC_TOTAL_SIZE, TotalTextB(session.totalSize));
  screen.SetControlText(dialog, IDC_MAX_SONG_SIZE, TotalKilobytesText(session.maxSongSize));
}

int DeleteSongB(WindowRef dialog, const SlotSession& session) {
  const std::uint8_t slot = TargetSlot(dialog, session);
  if (session.slots[slot].used == 0) {
    TheScreen().Beep();
    return 0;
  }
  if (ShowMessage(dialog, IDS_DELETE_QUESTION, BoxKind::YesNo) == kAnswerNo) return 0;
  DeletingBox box(dialog);
  DeleteSlotB(session.modelAddress, slot);
  ReadFreeSpaceB(session.modelAddress);  // waits until the keyboard has finished deleting
  return 1;
}

int SendSongB(WindowRef dialog, const SlotSession& session) {
  const RunState& run = Run();
  const std::uint16_t address = session.modelAddress;
  const std::uint8_t slot = TargetSlot(dialog, session);

  std::uint32_t oldSize = 0;
  const int used = ReadSlotInfoB(address, slot, &oldSize, nullptr);
  ReadFreeSpaceB(address);  // waits until the keyboard is ready; the value plays no part
  const std::uint32_t largest = ReadMaxSongSizeB(address);
  // An odd-sized song goes out padded into a whole last word; that byte is part of what the keyboard takes.
  const std::uint64_t needed = (std::uint64_t{run.songImageSize} + 1) & ~std::uint64_t{1};
  if (largest < needed) {
    ShowMessage(nullptr, IDS_MEMORY_SHORT_B, BoxKind::Warning);
    return 0;
  }
  // The new song is sent over the old one: nothing is deleted first.
  if (used != 0 && ShowMessage(nullptr, IDS_ALREADY_EXIST, BoxKind::YesNo) == kAnswerNo) return 0;
  DisabledWhileSending disabled(dialog);
  DialogProgress progress(dialog);
  SendSongImageB(address, slot, progress, run.songImage.get(), run.songImageSize);
  return 1;
}

}  // namespace su
