// The screen that a flow talks to: message boxes, modal dialogs, modeless boxes and the controls of an open
// dialog. The Windows program implements it over real windows; tests implement it over records.
#pragma once

#include <cstdint>
#include <string>

namespace su {

// An open window (a dialog or a modeless box) as the flows see it; nullptr means "no owner".
using WindowRef = void*;

// The control number that stands for a dialog window itself: EnableControl(dialog, kWholeWindow, false)
// disables the whole dialog.
constexpr int kWholeWindow = 0;

// The three kinds of message box. The values are the flags the box is shown with.
enum class BoxKind : std::uint32_t { Ok = 0, YesNo = 4, Warning = 0x30 };

// Buttons a message box returns.
constexpr int kAnswerOk = 1;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

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

class Screen {
 public:
  virtual ~Screen() = default;

  // The text of string-table entry `number`.
  virtual std::string Text(int number) = 0;
  // A message box with the empty caption "" and `text`; returns the button pressed.
  virtual int Ask(WindowRef owner, const std::string& text, BoxKind kind) = 0;
  virtual void Beep() = 0;

  // The standard open-file dialog for one MIDI file ("MIDI Files(*.mid)", the file must exist).
  virtual bool AskOpenPath(std::string* chosen) = 0;
  // The standard save-file dialog for a song file ("sq2 File(*.sq2)", asks before replacing), proposing
  // `proposedName`; false when cancelled.
  virtual bool AskSavePath(const std::string& proposedName, std::string* chosen) = 0;

  // The "Now converting..." box on its own thread while the converter works.
  virtual void ShowConvertingBox() = 0;
  virtual void CloseConvertingBox() = 0;

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

// The screen of a front end without windows (the command line, the page): the shared conversion and transfer
// code reach the user only through its texts and questions; files are chosen elsewhere, and dialogs, boxes
// and controls do not exist, so every call about them does nothing and finds nothing.
class WindowlessScreen : public Screen {
 public:
  void Beep() override {}
  bool AskOpenPath(std::string*) override { return false; }
  bool AskSavePath(const std::string&, std::string*) override { return false; }
  void ShowConvertingBox() override {}
  void CloseConvertingBox() override {}
  int RunDialog(int, DialogLogic&) override { return -1; }
  void EndDialog(WindowRef, int) override {}
  void PostCommand(WindowRef, int) override {}
  void ShowWindow(WindowRef) override {}
  WindowRef OpenBox(int, WindowRef, int*) override { return nullptr; }
  void CloseBox(WindowRef) override {}
  void SetControlText(WindowRef, int, const std::string&) override {}
  std::string ControlText(WindowRef, int) override { return ""; }
  void EnableControl(WindowRef, int, bool) override {}
  void CheckRadio(WindowRef, int) override {}
  void ProgressRange(WindowRef, int, int, int) override {}
  void ProgressPos(WindowRef, int, int) override {}
  void ProgressStep(WindowRef, int, int) override {}
  void ProgressStepIt(WindowRef, int) override {}
  void ComboAdd(WindowRef, int, const std::string&) override {}
  void ComboSelect(WindowRef, int, int) override {}
  int ComboSelected(WindowRef, int) override { return -1; }
  void ListSetup(WindowRef, int) override {}
  void ListAddColumn(WindowRef, int, int, const std::string&, int) override {}
  void ListClear(WindowRef, int) override {}
  void ListInsertRow(WindowRef, int, int, const std::string&) override {}
  void ListSetCell(WindowRef, int, int, int, const std::string&) override {}
  void ListSelectRow(WindowRef, int, int) override {}
  int ListRowCount(WindowRef, int) override { return 0; }
  bool ListRowSelected(WindowRef, int, int) override { return false; }
};

// The screen of this process: the real one in the program, a recording one in tests.
Screen& TheScreen();
void SetScreen(Screen* screen);

// Shows string `number` in a box of `kind`; returns the button pressed.
int ShowMessage(WindowRef owner, int number, BoxKind kind);

}  // namespace su
