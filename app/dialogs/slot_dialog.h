// What every family's "Send the Data" dialog (138, 148 and 150) does with its messages: the song's name and
// size, the slot list with its totals, and the Send, Delete and Cancel buttons. How the slots are read and
// shown, and how a song is sent or deleted, is the family's.
#pragma once

#include <functional>

#include "app/dialog_screen.h"

namespace su {

// While an exchange with the keyboard is under way, window messages keep being dispatched, so commands can
// arrive in the middle of it; they are ignored until it ends, which keeps a second exchange off the port pair.
class SlotDialog : public DialogLogic {
 public:
  void OnInit(WindowRef dialog) override;
  void OnCommand(WindowRef dialog, int control) override;
  void OnListClick(WindowRef dialog, int control, int row) override;

  bool Busy() const { return busy_; }

 protected:
  // `memoryField`: the memory field cleared at set-up, 1005 "Empty Size" or 1007 "Maximum Song Size".
  // `refreshUnderDeleteMessage`: after a delete the slots are read again while message 50 is still up (the
  // refresh is posted before it opens), or only once it has been closed.
  SlotDialog(int memoryField, bool refreshUnderDeleteMessage)
      : memoryField_(memoryField), refreshUnderDeleteMessage_(refreshUnderDeleteMessage) {}

  // Reads the slots and the memory figures and shows them.
  virtual void Refresh(WindowRef dialog) = 0;
  // 1 when the song went into the target slot.
  virtual int SendSong(WindowRef dialog) = 0;
  // 1 when the target slot's song was deleted.
  virtual int DeleteSong(WindowRef dialog) = 0;
  // How many rows the list shows, and whether the slot of `row` (below that count) holds a song.
  virtual int ListedSlots() const = 0;
  virtual bool SlotHoldsSong(int row) const = 0;

 private:
  void Send(WindowRef dialog);
  void Delete(WindowRef dialog);

  int memoryField_;
  bool refreshUnderDeleteMessage_;
  bool busy_ = false;
};

// A Delete of a slot that holds a song: message 49 is asked and, on Yes, `deleteSong` runs while box 142
// "Now deleting..." is up. 1 when it ran, 0 for a No.
int AskAndDelete(WindowRef dialog, const std::function<void()>& deleteSong);

}  // namespace su
