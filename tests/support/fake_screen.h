// A screen for native tests: records every message box, control change and box opened, and plays the user
// from a script. Windows are small integers behind WindowRef.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/dialog_screen.h"

namespace su::test {

class FakeScreen : public DialogScreen {
 public:
  struct ShownBox {
    WindowRef owner;
    std::string text;
    BoxKind kind;
  };
  struct ListState {
    std::vector<std::string> columns;
    std::vector<int> columnWidths;
    std::vector<std::vector<std::string>> rows;
    std::vector<bool> selected;
    bool fullRowSelect = false;
  };
  struct Control {
    std::string text;
    bool enabled = true;
    bool checked = false;
    int progressLow = 0, progressHigh = 100, progressPos = 0, progressStep = 10;
    int progressSteps = 0;  // how many times the bar was stepped
    std::vector<std::string> comboItems;
    int comboSelected = -1;
    ListState list;
  };
  struct Window {
    int dialogId = 0;
    WindowRef owner = nullptr;
    bool open = true;
    bool visible = false;
    bool ended = false;
    int endCode = 0;
    int* cancelFlag = nullptr;
    DialogLogic* logic = nullptr;
    std::map<int, Control> controls;
    std::deque<int> posted;
  };

  // What the user does while a modal dialog runs: called once after the dialog's initialisation and the
  // commands it posted; it acts through Click / ClickRow. The dialog must have ended when it returns.
  using User = std::function<void(FakeScreen&, WindowRef dialog)>;

  // --- the script ---
  std::deque<int> answers;                  // next message-box answers; empty: OK, or Yes for Yes/No
  std::map<int, std::deque<User>> users;    // per dialog id, one entry per time the dialog is run
  std::deque<std::string> openPaths;        // answers of AskOpenPath; empty: cancelled
  std::deque<std::string> savePaths;        // answers of AskSavePath; empty: cancelled
  std::set<int> boxesThatFail;              // modeless boxes that cannot be created: OpenBox gives nullptr

  // --- the record ---
  std::vector<ShownBox> boxes;
  std::vector<int> dialogsRun;              // dialog ids in the order they ran
  std::vector<int> boxesOpened;             // modeless box ids in the order they opened
  std::vector<std::string> proposedSaveNames;
  int beeps = 0;
  int convertingShown = 0;
  int convertingClosed = 0;

  // --- acting as the user ---
  void Click(WindowRef dialog, int control);          // a command, then what it posted
  void ClickRow(WindowRef dialog, int control, int row);
  // Cancel in box 139: asks message 41 like the real box; Yes sets the cancel flag.
  void PressSendingCancel(WindowRef box);

  // --- reading the record ---
  Window& Win(WindowRef window);
  Control& Ctl(WindowRef dialog, int control) { return Win(dialog).controls[control]; }
  WindowRef LastWindowOf(int dialogId) const;  // nullptr when never opened
  std::vector<std::string> BoxTexts() const;
  bool IsOpen(WindowRef window) const;

  // --- Screen ---
  std::string Text(int number) override;
  int Ask(WindowRef owner, const std::string& text, BoxKind kind) override;
  void Beep() override { ++beeps; }
  bool AskOpenPath(std::string* chosen) override;
  bool AskSavePath(const std::string& proposedName, std::string* chosen) override;
  void ShowConvertingBox() override { ++convertingShown; }
  void CloseConvertingBox() override { ++convertingClosed; }
  int RunDialog(int dialogId, DialogLogic& logic) override;
  void EndDialog(WindowRef dialog, int code) override;
  void PostCommand(WindowRef dialog, int control) override;
  void ShowWindow(WindowRef dialog) override { Win(dialog).visible = true; }
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
  void ListAddColumn(WindowRef dialog, int control, int column, const std::string& title, int widthPixels) override;
  void ListClear(WindowRef dialog, int control) override;
  void ListInsertRow(WindowRef dialog, int control, int row, const std::string& firstCell) override;
  void ListSetCell(WindowRef dialog, int control, int row, int column, const std::string& text) override;
  void ListSelectRow(WindowRef dialog, int control, int row) override;
  int ListRowCount(WindowRef dialog, int control) override;
  bool ListRowSelected(WindowRef dialog, int control, int row) override;

 private:
  WindowRef NewWindow(int dialogId, WindowRef owner);
  void RunPosted(WindowRef dialog);
  std::map<WindowRef, Window> windows_;
  int nextWindow_ = 1;
};

// Installs a FakeScreen as TheScreen() for the life of a test.
class ScopedScreen {
 public:
  explicit ScopedScreen(FakeScreen& screen) { SetScreen(&screen); }
  ~ScopedScreen() { SetScreen(nullptr); }
  ScopedScreen(const ScopedScreen&) = delete;
  ScopedScreen& operator=(const ScopedScreen&) = delete;
};

}  // namespace su::test
