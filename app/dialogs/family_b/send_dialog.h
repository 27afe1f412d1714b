// Dialog 150 "Send the Data" of family B: the keyboard's ten song slots (labelled 61 to 70) with their names
// and sizes, the total and the largest song the keyboard accepts, and the Send, Delete and Cancel buttons.
#pragma once

#include "app/dialogs/slot_session_dialog.h"
#include "app/dialog_screen.h"
#include "transfer/slot_session.h"

namespace su {

// Reads every slot, the free memory (waiting for the keyboard to be ready) and the maximum song size into
// `session`, with the dialog's progress bar and status line showing the reading.
void RefreshSlotsB(WindowRef dialog, SlotSession& session);
// Shows `session` in the slot list, the total and the maximum song size.
void FillSlotListB(WindowRef dialog, const SlotSession& session);
// 1 when the selected slot's song was deleted; 0 for an empty slot (a beep) or a No.
int DeleteSongB(WindowRef dialog, const SlotSession& session);
// 1 when the song went into the selected slot; 0 when it is larger than the keyboard accepts (message 59)
// or the user declined to replace the song there.
int SendSongB(WindowRef dialog, const SlotSession& session);

// What dialog 150 does: the family B steps in the shared slot dialog.
extern const SlotDialogFamily kSlotDialogB;

}  // namespace su
