#include "transfer/family_b/send_dialog.h"

#include <cstdint>
#include <string>

#include "base/run_state.h"
#include "resources/resource.h"
#include "transfer/dialog_progress.h"
#include "transfer/dialog_prompts.h"
#include "transfer/family_b/slot_operations.h"
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
  DialogReadingProgress progress(dialog);
  ReadSlotTableB(session, progress);
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
  DeleteSongInSlotB(session, slot);
  return 1;
}

int SendSongB(WindowRef dialog, const SlotSession& session) {
  const RunState& run = Run();
  const std::uint8_t slot = TargetSlot(dialog, session);
  DialogProgress progress(dialog);
  DialogPrompts prompts(dialog, true);
  return SendSongToSlotB(session, slot, run.songImage.get(), run.songImageSize, progress, prompts) ==
                 SendOutcome::Sent
             ? 1
             : 0;
}

}  // namespace su
