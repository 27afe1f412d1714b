#include "app/dialogs/keyboard_connection.h"

#include "app/dialogs/midi_device_dialog.h"
#include "app/dialog_screen.h"
#include "midi/device_selection.h"
#include "midi/port_session.h"
#include "resources/resource.h"
#include "transfer/keyboard_state_file.h"
#include "transfer/keyboard_search.h"

namespace su {

namespace {

// Wait box 141 for as long as the search lasts, its bar one step further for each attempt; closed however the
// search ends, a raised failure included.
class WaitBox : public SearchProgress {
 public:
  WaitBox() : box_(TheDialogScreen().OpenBox(IDD_LOOKING, nullptr, nullptr)) {
    TheDialogScreen().ProgressRange(box_, IDC_PROGRESS, 0, 2);
    TheDialogScreen().ProgressStep(box_, IDC_PROGRESS, 1);
  }
  ~WaitBox() {
    try {
      TheDialogScreen().CloseBox(box_);
    } catch (...) {
      // Nothing sensible is left to do with a box that will not close; the process cleans up at exit.
    }
  }
  WaitBox(const WaitBox&) = delete;
  WaitBox& operator=(const WaitBox&) = delete;

  void Step() override { TheDialogScreen().ProgressStepIt(box_, IDC_PROGRESS); }

 private:
  WindowRef box_;
};

}  // namespace

int ConnectKeyboard() {
  bool retry = false;
  for (;;) {
    if (retry || CheckDeviceSetup() != 0) {
      if (ShowMidiDeviceDialog() != 0) return 0;
    }
    if (CheckHyperthreading() != 0) {
      ShowMessage(nullptr, IDS_HYPERTHREADING, BoxKind::Warning);
      return 0;
    }
    if (OpenMidiPorts() == 0) {
      ShowMessage(nullptr, IDS_DEVICE_BUSY, BoxKind::Ok);
      return 0;
    }

    int found = 0;
    {
      WaitBox box;
      // The keyboard last found on these ports is asked first; it is kept under the user's own folder,
      // never in the settings file beside the program.
      FileStateStore remembered(KeyboardStateFile());
      found = SearchKeyboard(box, SearchMemory{&remembered, false});
    }
    if (found != 0) return 1;

    // The ports stay open: the next OpenMidiPorts closes them first, CleanUp otherwise.
    if (ShowMessage(nullptr, IDS_NO_RESPONSE, BoxKind::YesNo) == kAnswerNo) return 0;
    retry = true;
  }
}

}  // namespace su
