// Dialog 138 "Send the Data" of family C: the keyboard's song slots with their names and sizes, the total
// and free memory, and the Send, Delete and Cancel buttons.
#pragma once

#include <cstdint>

#include "app/dialogs/slot_dialog.h"
#include "app/dialogs/slot_list_control.h"
#include "app/dialog_screen.h"
#include "transfer/family_c/protocol.h"
#include "transfer/family_c/slot_layout.h"
#include "transfer/family_c/slot_operations.h"

namespace su {

// Reads every slot of `layout` and the free memory into `table`, with the progress bar and status line of
// `dialog` showing the reading. Raises what the keyboard exchanges raise.
void ReadSlots(WindowRef dialog, const SlotLayout& layout, SlotTableC& table);
// Shows `table` in the slot list and the total and free size fields.
void FillSlotList(WindowRef dialog, const SlotLayout& layout, const SlotTableC& table);
// 1 when the song image went into the selected slot; 0 when the user declined to replace the song there or
// the keyboard lacks memory (message 52 shown).
int SendToSelectedSlot(WindowRef dialog);
// 1 when the keyboard deleted the selected slot's song; 0 when nothing was done (an empty slot beeps, a "No"
// to message 49). Raises message 38 or the keyboard's error code.
int DeleteSelectedSlot(WindowRef dialog, const SlotTableC& table);

// Dialog 138: every slot dialog's behaviour (slot_dialog.h) over the model's slot layout and table.
class SendDialogC : public SlotDialog {
 public:
  SendDialogC(const SlotLayout& layout, SlotTableC& table);

 protected:
  void Refresh(WindowRef dialog) override;
  int SendSong(WindowRef dialog) override;
  int DeleteSong(WindowRef dialog) override;
  int ListedSlots() const override;
  bool SlotHoldsSong(int row) const override;

 private:
  const SlotLayout& layout_;
  SlotTableC& table_;
};

}  // namespace su
