// The screen seam for the command line: the shared conversion and transfer code reach the user through it.
// String-table texts come from the command line's own copy of the table; boxes print their text on
// standard error; dialogs and controls do not exist here.
#pragma once

#include "base/screen.h"
#include "cli/console.h"

namespace su::cli {

class ConsoleScreen : public Screen {
 public:
  ConsoleScreen(Console& console, bool yes) : console_(console), yes_(yes) {}

  std::string Text(int number) override;
  int Ask(WindowRef owner, const std::string& text, BoxKind kind) override;
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

  // A Yes/No question on the terminal: --yes answers Yes, a terminal is asked, anything else answers No.
  bool Confirm(const std::string& text);

 private:
  Console& console_;
  bool yes_;
};

}  // namespace su::cli
