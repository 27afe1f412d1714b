// The screen of the Windows program: the shared screen's texts and questions, and on top of them what only
// dialogs have: modal dialogs, modeless boxes, the controls of an open dialog, the file choosers and the
// beep. The program implements it over real windows (app/win32/); tests implement it over records.
#pragma once

#include <string>

#include "base/screen.h"

namespace su {

// The control number that stands for a dialog window itself: EnableControl(dialog, kWholeWindow, false)
// disables the whole dialog.
constexpr int kWholeWindow = 0;

// What a dialog does, apart from its window: the Windows side forwards the dialog's messages here.
class DialogLogic {
 public:
  virtual ~DialogLogic() = default;
  // The dialog's controls exist; fill them. The dialog is shown by the caller afterwards unless the
  // logic makes it visible itself.
  virtual void OnInit(WindowRef dialog) = 0;
  // A command (button click, menu item, posted command) by control number; the notification code is ignored.
  virtual void OnCommand(WindowRef dialog, int control) = 0;
  // A click notification from a report list; `row` is below 0 for a click beside the rows.
  virtual void OnListClick(WindowRef dialog, int control, int row) {
    (void)dialog; (void)control; (void)row;
  }
};

class DialogScreen : public Screen {
 public:
  virtual void Beep() = 0;

  // The standard open-file dialog for one MIDI file ("MIDI Files(*.mid)", the file must exist).
  virtual bool AskOpenPath(std::string* chosen) = 0;
  // The standard save-file dialog for a song file ("sq2 File(*.sq2)", asks before replacing), proposing
  // `proposedName`; false when cancelled.
  virtual bool AskSavePath(const std::string& proposedName, std::string* chosen) = 0;

  // Runs dialog template `dialogId` modally with no owner; returns the code passed to EndDialog.
  // An exception raised by the logic ends the dialog and leaves this call.
  virtual int RunDialog(int dialogId, DialogLogic& logic) = 0;
  virtual void EndDialog(WindowRef dialog, int code) = 0;
  virtual void PostCommand(WindowRef dialog, int control) = 0;
  virtual void ShowWindow(WindowRef dialog) = 0;

  // Modeless boxes (139 "Now sending...", 141 the wait box, 142 "Now deleting..."), created and shown at
  // once. Box 139 gets `cancelFlag`: it clears it on opening and sets it to 1 when the user confirms Cancel.
  virtual WindowRef OpenBox(int dialogId, WindowRef owner, int* cancelFlag) = 0;
  virtual void CloseBox(WindowRef box) = 0;

  // Controls of an open dialog or box.
  virtual void SetControlText(WindowRef dialog, int control, const std::string& text) = 0;
  virtual std::string ControlText(WindowRef dialog, int control) = 0;
  virtual void EnableControl(WindowRef dialog, int control, bool enabled) = 0;
  virtual void CheckRadio(WindowRef dialog, int control) = 0;

  virtual void ProgressRange(WindowRef dialog, int control, int low, int high) = 0;
  virtual void ProgressPos(WindowRef dialog, int control, int position) = 0;
  virtual void ProgressStep(WindowRef dialog, int control, int step) = 0;
  virtual void ProgressStepIt(WindowRef dialog, int control) = 0;

  // Drop-down lists: items in the order added; selection by position, -1 for none.
  virtual void ComboAdd(WindowRef dialog, int control, const std::string& text) = 0;
  virtual void ComboSelect(WindowRef dialog, int control, int position) = 0;
  virtual int ComboSelected(WindowRef dialog, int control) = 0;

  // Report lists.
  virtual void ListSetup(WindowRef dialog, int control) = 0;  // full-row selection
  virtual void ListAddColumn(WindowRef dialog, int control, int column, const std::string& title,
                             int widthPixels) = 0;
  virtual void ListClear(WindowRef dialog, int control) = 0;
  virtual void ListInsertRow(WindowRef dialog, int control, int row, const std::string& firstCell) = 0;
  virtual void ListSetCell(WindowRef dialog, int control, int row, int column, const std::string& text) = 0;
  virtual void ListSelectRow(WindowRef dialog, int control, int row) = 0;  // selected and focused
  virtual int ListRowCount(WindowRef dialog, int control) = 0;
  virtual bool ListRowSelected(WindowRef dialog, int control, int row) = 0;
};

// The installed screen (SetScreen) as the one with dialogs; the Windows program and its tests install one.
DialogScreen& TheDialogScreen();

}  // namespace su
