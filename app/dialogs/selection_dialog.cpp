#include "app/dialogs/selection_dialog.h"

#include "base/run_state.h"
#include "resources/resource.h"

namespace su {

namespace {
constexpr int kOk = 1;
constexpr int kCancel = 2;
}  // namespace

void SelectionDialog::OnInit(WindowRef dialog) {
  TheDialogScreen().CheckRadio(dialog,
                         Run().selection == kSelectionSave ? IDC_SAVE_AS_FILE : IDC_SEND_TO_KEYBOARD);
}

void SelectionDialog::OnCommand(WindowRef dialog, int control) {
  switch (control) {
    case IDC_SEND_TO_KEYBOARD:
      Run().selection = kSelectionSend;
      break;
    case IDC_SAVE_AS_FILE:
      Run().selection = kSelectionSave;
      break;
    case kOk:
      TheDialogScreen().EndDialog(dialog, 1);
      break;
    case kCancel:
      TheDialogScreen().EndDialog(dialog, 0);
      break;
    case IDM_SETUP:
      // The ports confirmed there are stored by the MIDI Device dialog itself; this dialog stays open.
      if (showSetup_ != nullptr) showSetup_();
      break;
    default:
      break;
  }
}

int ShowSelectionDialog(int (*showSetup)()) {
  SelectionDialog logic(showSetup);
  return TheDialogScreen().RunDialog(IDD_SELECTION, logic) == 1 ? 1 : 0;
}

}  // namespace su
