#include "transfer/family_b/send_dialog.h"

#include <string>

#include "resources/resource.h"
#include "transfer/dialog_progress.h"
#include "transfer/family_b/slot_operations.h"
#include "transfer/slot_list.h"

namespace su {

namespace {

// The total shows whole kilobytes, but never 0 for a keyboard that holds anything.
std::string TotalTextB(std::uint32_t bytes) {
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
  return SendToTargetSlot(dialog, session, SendSongToSlotB);
}

}  // namespace su
