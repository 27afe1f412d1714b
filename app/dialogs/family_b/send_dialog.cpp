#include "app/dialogs/family_b/send_dialog.h"

#include "app/dialogs/dialog_progress.h"
#include "resources/resource.h"
#include "transfer/family_b/slot_operations.h"
#include "transfer/slot_list.h"

namespace su {

const SlotDialogFamily kSlotDialogB = {IDC_MAX_SONG_SIZE, RefreshSlotsB, FillSlotListB, DeleteSongB, SendSongB,
                                       false};

void RefreshSlotsB(WindowRef dialog, SlotSession& session) {
  DialogReadingProgress progress(dialog);
  ReadSlotTableB(session, progress);
}

void FillSlotListB(WindowRef dialog, const SlotSession& session) {
  FillSlotRows(dialog, session);
  TheDialogScreen().SetControlText(dialog, IDC_TOTAL_SIZE, TotalKilobytesTextB(session.totalSize));
  TheDialogScreen().SetControlText(dialog, IDC_MAX_SONG_SIZE, TotalKilobytesText(session.maxSongSize));
}

int DeleteSongB(WindowRef dialog, const SlotSession& session) {
  return DeleteTargetSong(dialog, session, DeleteSongInSlotB);
}

int SendSongB(WindowRef dialog, const SlotSession& session) {
  return SendToTargetSlot(dialog, session, SendSongToSlotB);
}

}  // namespace su
