// Dialog 138 "Send the Data" of family C: the keyboard's song slots with their names and sizes, the total
// and free memory, and the Send, Delete and Cancel buttons.
#pragma once

#include <cstdint>

#include "app/dialogs/slot_list_control.h"
#include "base/screen.h"
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

// What dialog 138 does with its messages. While an exchange with the keyboard is under way, window messages
// keep being dispatched, so commands can arrive in the middle of it; they are ignored until it ends, which
// keeps a second exchange off the port pair.
class SendDialogC : public DialogLogic {
 public:
  SendDialogC(const SlotLayout& layout, SlotTableC& table) : layout_(layout), table_(table) {}

  void OnInit(WindowRef dialog) override;
  void OnCommand(WindowRef dialog, int control) override;
  void OnListClick(WindowRef dialog, int control, int row) override;

  bool Busy() const { return busy_; }

 private:
  void Refresh(WindowRef dialog);
  void Send(WindowRef dialog);
  void Delete(WindowRef dialog);

  const SlotLayout& layout_;
  SlotTableC& table_;
  bool busy_ = false;
};

}  // namespace su
