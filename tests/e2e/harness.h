// End-to-end harness: starts the real SongUploader.exe (under Wine, or on Windows), finds its dialogs and
// message boxes, reads their controls and acts as the user. Every wait has a time-out, and a program that
// is still running when its Program object goes away is killed, so a failing test never leaves it behind.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace su::e2e {

constexpr DWORD kWaitMs = 15000;        // the longest any single wait lasts by default
constexpr DWORD kPollMs = 50;

// The folder of this test binary (test-bin/, with the test-only winmm.dll); the program and its converter DLL
// are in the bin/ folder beside it.
std::string TestFolder();
std::string ProgramFolder();
std::string ProgramPath();
// A new, empty folder of our own under the system's temporary path, named after `tag`.
std::string NewScratchFolder(const std::string& tag);
// Deletes `folder` with everything below it (read-only files included); quiet about failures.
void RemoveFolderTree(const std::string& folder);
// `text` read by its ANSI code page characters, as wide characters.
std::wstring Widened(const std::string& text);
// Writes `bytes` to `path` (replacing it); false when it cannot.
bool WriteFileBytes(const std::string& path, const std::string& bytes);

// Polls `condition` every kPollMs until it holds or `timeoutMs` passed; true when it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs);

struct LaunchOptions {
  std::vector<std::string> arguments;                              // each passed quoted
  std::vector<std::pair<std::string, std::string>> environment;    // added or replaced variables
  std::string workingFolder;                                       // empty: this process's
  // When set, TMP and TEMP point here, so the program's work directories are made in a folder of the
  // test's own and can be counted without seeing other runs.
  std::string tempFolder;
  std::string program;                                             // empty: ProgramPath()
  // When set, the program is started by this wide path instead: a folder whose name the ANSI code page
  // cannot hold has no narrow name to start it by.
  std::wstring wideProgram;
};

// One started program. Destroying it kills the program when it still runs.
class Program {
 public:
  explicit Program(const LaunchOptions& options);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool Started() const { return process_ != nullptr; }
  DWORD ProcessId() const { return processId_; }
  bool Running() const;

  // Visible top-level windows of this process.
  std::vector<HWND> Windows() const;
  // A visible top-level window of this process titled `title`; nullptr when there is none now.
  HWND FindWindowTitled(const std::string& title) const;
  // Waits for such a window; nullptr after the time-out.
  HWND WaitWindow(const std::string& title, DWORD timeoutMs = kWaitMs) const;
  // A message box: a dialog of class #32770 with the empty caption "" and an OK, Yes or No button.
  HWND FindMessageBox() const;
  HWND WaitMessageBox(DWORD timeoutMs = kWaitMs) const;
  // The open-file or save-file common dialog (a dialog holding the file-name field).
  HWND WaitFileDialog(DWORD timeoutMs = kWaitMs) const;

  // Waits for the process to end; kills it after the time-out and returns false then.
  bool WaitExit(DWORD timeoutMs = kWaitMs);
  DWORD ExitCode() const;
  void Kill();

 private:
  HANDLE process_ = nullptr;
  DWORD processId_ = 0;
  std::string stateFolder_;  // the program's own %LOCALAPPDATA%, removed with it (empty: the test's)
};

// --- reading windows ---
std::string WindowText(HWND window);
std::string ClassOf(HWND window);
HWND Child(HWND dialog, int control);
std::string ControlText(HWND dialog, int control);
bool IsChecked(HWND dialog, int control);
bool IsEnabled(HWND dialog, int control);
bool IsShown(HWND dialog, int control);  // created with the visible style
LONG StyleOf(HWND window);

struct ChildInfo {
  int id;
  std::string className;
  std::string text;
  LONG style;
};
// Every child of `dialog` in creation order (which is the tab order of a dialog template).
std::vector<ChildInfo> Children(HWND dialog);

// The text of a message box (its text static, whatever number the system gave it).
std::string MessageBoxText(HWND box);

// Report lists (read across processes through memory in the program's own address space).
int ListRowCount(HWND dialog, int control);
std::string ListCell(HWND dialog, int control, int row, int column);
std::vector<std::vector<std::string>> ListRows(HWND dialog, int control, int columns);
bool ListRowSelected(HWND dialog, int control, int row);

// --- acting as the user ---
// A button press as the dialog sees it: WM_COMMAND with BN_CLICKED, posted so that a box it opens does
// not block the test.
void PressButton(HWND dialog, int control);
// A click on the button itself (BM_CLICK, posted): radio buttons and check boxes change their state.
void ClickButton(HWND dialog, int control);
// Ends a message box with IDOK, IDYES or IDNO.
void AnswerMessageBox(HWND box, int answer);
void ChooseMenuCommand(HWND dialog, int command);
// The text of a common file dialog's file-name field (the name it proposes, before the user types).
std::string FileDialogName(HWND fileDialog);
// Types `path` into a common file dialog's file-name field and presses its OK button.
bool FillFileDialog(HWND fileDialog, const std::string& path);

// --- work directories ---
// Names of the directories directly under `tempFolder` that are named like work directories (a signed
// decimal tick count).
std::vector<std::string> WorkDirectories(const std::string& tempFolder);

}  // namespace su::e2e
