// Dialog 137 "Selection": send the song to the keyboard or save it as a song file, with the "Setup(&S)"
// menu command that opens the MIDI Device dialog.
#pragma once

#include "app/dialog_screen.h"

namespace su {

class SelectionDialog : public DialogLogic {
 public:
  // `showSetup` runs the MIDI Device dialog; its result is not looked at.
  explicit SelectionDialog(int (*showSetup)()) : showSetup_(showSetup) {}
  void OnInit(WindowRef dialog) override;
  void OnCommand(WindowRef dialog, int control) override;

 private:
  int (*showSetup_)();
};

// Runs dialog 137 modally with no owner; 1 for OK, 0 for Cancel. Run().selection holds the choice.
int ShowSelectionDialog(int (*showSetup)());

}  // namespace su
