#include "transfer/family_a/send_dialog.h"

#include <cstdint>
#include <string>

#include "base/run_state.h"
#include "resources/resource.h"
#include "transfer/dialog_progress.h"
#include "transfer/dialog_prompts.h"
#include "transfer/family_a/slot_operations.h"
#include "transfer/slot_list.h"

namespace su {

const SlotDialogFamily kSlotDialogA = {IDC_FREE_SIZE, RefreshSlotsA, FillSlotListA, DeleteSongA, SendSongA,
                                       true};

void RefreshSlotsA(WindowRef dialog, SlotSession& session) {
  DialogReadingProgress progress(dialog);
  ReadSlotTableA(session, progress);
}

void FillSlotListA(WindowRef dialog, const SlotSession& session) {
  FillSlotRows(dialog, session);
  TheScreen().SetControlText(dialog, IDC_TOTAL_SIZE, TotalKilobytesText(session.totalSize));
  TheScreen().SetControlText(dialog, IDC_FREE_SIZE, TotalKilobytesText(session.freeSize));
}

int DeleteSongA(WindowRef dialog, const SlotSession& session) {
  return DeleteTargetSong(dialog, session, DeleteSongInSlotA);
}

int SendSongA(WindowRef dialog, const SlotSession& session) {
  const RunState& run = Run();
  const std::uint8_t slot = TargetSlot(dialog, session);
  DialogProgress progress(dialog);
  DialogPrompts prompts(dialog, true);
  return SendSongToSlotA(session, slot, run.songImage.get(), run.songImageSize, progress, prompts) ==
                 SendOutcome::Sent
             ? 1
             : 0;
}

}  // namespace su
