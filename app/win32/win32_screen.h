// The screen over real windows: message boxes, dialogs from the resource templates, modeless boxes, the
// common file dialogs, the "Now converting..." box on its own thread and the controls of open dialogs.
#pragma once

#include <windows.h>

#include "app/dialog_screen.h"

namespace su {

// The program's instance: dialogs and strings are loaded from it.
void SetProgramInstance(HINSTANCE instance);
HINSTANCE ProgramInstance();

// Makes the list-view and progress-bar controls available; called before the first dialog.
void InitCommonControlsOnce();

class Win32Screen : public DialogScreen {
 public:
  std::string Text(int number) override;
  int Ask(WindowRef owner, const std::string& text, BoxKind kind) override;
  void Beep() override;

  bool AskOpenPath(std::string* chosen) override;
  bool AskSavePath(const std::string& proposedName, std::string* chosen) override;

  void ShowConvertingBox() override;
  void CloseConvertingBox() override;

  int RunDialog(int dialogId, DialogLogic& logic) override;
  void EndDialog(WindowRef dialog, int code) override;
  void PostCommand(WindowRef dialog, int control) override;
  void ShowWindow(WindowRef dialog) override;

  WindowRef OpenBox(int dialogId, WindowRef owner, int* cancelFlag) override;
  void CloseBox(WindowRef box) override;

  void SetControlText(WindowRef dialog, int control, const std::string& text) override;
  std::string ControlText(WindowRef dialog, int control) override;
  void EnableControl(WindowRef dialog, int control, bool enabled) override;
  void CheckRadio(WindowRef dialog, int control) override;

  void ProgressRange(WindowRef dialog, int control, int low, int high) override;
  void ProgressPos(WindowRef dialog, int control, int position) override;
  void ProgressStep(WindowRef dialog, int control, int step) override;
  void ProgressStepIt(WindowRef dialog, int control) override;

  void ComboAdd(WindowRef dialog, int control, const std::string& text) override;
  void ComboSelect(WindowRef dialog, int control, int position) override;
  int ComboSelected(WindowRef dialog, int control) override;

  void ListSetup(WindowRef dialog, int control) override;
  void ListAddColumn(WindowRef dialog, int control, int column, const std::string& title,
                     int widthPixels) override;
  void ListClear(WindowRef dialog, int control) override;
  void ListInsertRow(WindowRef dialog, int control, int row, const std::string& firstCell) override;
  void ListSetCell(WindowRef dialog, int control, int row, int column, const std::string& text) override;
  void ListSelectRow(WindowRef dialog, int control, int row) override;
  int ListRowCount(WindowRef dialog, int control) override;
  bool ListRowSelected(WindowRef dialog, int control, int row) override;
};

}  // namespace su
