#include "app/dialogs/family_a/send_dialog.h"

#include "app/dialogs/dialog_progress.h"
#include "resources/resource.h"
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
  TheDialogScreen().SetControlText(dialog, IDC_TOTAL_SIZE, TotalKilobytesText(session.totalSize));
  TheDialogScreen().SetControlText(dialog, IDC_FREE_SIZE, TotalKilobytesText(session.freeSize));
}

int DeleteSongA(WindowRef dialog, const SlotSession& session) {
  return DeleteTargetSong(dialog, session, DeleteSongInSlotA);
}

int SendSongA(WindowRef dialog, const SlotSession& session) {
  return SendToTargetSlot(dialog, session, SendSongToSlotA);
}

}  // namespace su
