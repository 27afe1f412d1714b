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
  FillSlotRows(dialog, session);
  TheScreen().SetControlText(dialog, IDC_TOTAL_SIZE, TotalTextB(session.totalSize));
  TheScreen().SetControlText(dialog, IDC_MAX_SONG_SIZE, TotalKilobytesText(session.maxSongSize));
}

int DeleteSongB(WindowRef dialog, const SlotSession& session) {
  return DeleteTargetSong(dialog, session, DeleteSongInSlotB);
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
