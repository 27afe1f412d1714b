// Dialog 148 "Send the Data" of family A: the keyboard's ten song slots with their names and sizes, the
// total and free memory, and the Send, Delete and Cancel buttons.
#pragma once

#include "app/dialogs/slot_session_dialog.h"
#include "app/dialog_screen.h"
#include "transfer/slot_session.h"

namespace su {

// Reads every slot and the free memory into `session`, with the dialog's progress bar and status line
// showing the reading. Raises what the keyboard exchanges raise.
void RefreshSlotsA(WindowRef dialog, SlotSession& session);
// Shows `session` in the slot list and the total and free size fields.
void FillSlotListA(WindowRef dialog, const SlotSession& session);
// 1 when the keyboard was asked to delete the selected slot's song; 0 when the slot is empty (a beep) or
// the user answered No.
int DeleteSongA(WindowRef dialog, const SlotSession& session);
// 1 when the song went into the selected slot with its name; 0 when the keyboard lacks room (message 52)
// or the user declined to replace the song there.
int SendSongA(WindowRef dialog, const SlotSession& session);

// What dialog 148 does: the family A steps in the shared slot dialog.
extern const SlotDialogFamily kSlotDialogA;

}  // namespace su
