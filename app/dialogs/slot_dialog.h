// Every family's "Send the Data" dialog (138, 148 and 150): the song's name and size, the slot list with its
// totals, and the Send, Delete and Cancel buttons, over the family's description (transfer/families.h). What
// differs between the three dialogs is a field of the family, and whether the whole dialog is disabled while
// the blocks go out (families A and B).
#pragma once

#include <functional>

#include "app/dialog_screen.h"
#include "transfer/families.h"

namespace su {

// While an exchange with the keyboard is under way, window messages keep being dispatched, so commands can
// arrive in the middle of it; they are ignored until it ends, which keeps a second exchange off the port pair.
class SlotDialog : public DialogLogic {
 public:
  SlotDialog(const FamilyEntry& family, KeyboardSlots slots);

  void OnInit(WindowRef dialog) override;
  void OnCommand(WindowRef dialog, int control) override;
  void OnListClick(WindowRef dialog, int control, int row) override;

  bool Busy() const { return busy_; }

 private:
  // Reads the slots and the memory figure and shows them.
  void Refresh(WindowRef dialog);
  void Fill(WindowRef dialog);
  void Send(WindowRef dialog);
  void Delete(WindowRef dialog);
  // 1 when the song went into the selected slot; 0 when the user declined or the keyboard lacks room.
  int SendSong(WindowRef dialog);
  // 1 when the keyboard was asked to delete the selected slot's song; 0 for an empty slot (a beep) or a No.
  int DeleteSong(WindowRef dialog);
  int MemoryField() const;

  const FamilyEntry& family_;
  KeyboardSlots slots_;
  Listing listing_;
  bool busy_ = false;
};

// A Delete of a slot that holds a song: message 49 is asked and, on Yes, `deleteSong` runs while box 142
// "Now deleting..." is up. 1 when it ran, 0 for a No.
int AskAndDelete(WindowRef dialog, const std::function<void()>& deleteSong);

// Converts the staged song for the identified keyboard of `family`, loads it and runs dialog `dialogId` over
// the family's slots. 1 once the dialog has closed; raises what the conversion and the dialog raise.
int RunSlotDialog(const FamilyEntry& family, int dialogId);

}  // namespace su
