// What the end-to-end tests of the transfer dialogs share beyond the harness's basics: a small song to send,
// a click on a row of the slot list as the mouse would make it, and descriptions of what is on screen or in
// the list for failure messages.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/harness.h"
#include "tests/e2e/virtual_stage.h"

namespace su::e2e {

// A one-note format 0 song whose track carries the title "Road Song".
inline std::string SmallSong() {
  const std::string title = "Road Song";
  std::string track;
  track += std::string("\x00\xFF\x03", 3) + static_cast<char>(title.size()) + title;
  track += std::string("\x00\x90\x3C\x40\x60\x80\x3C\x00\x00\xFF\x2F\x00", 12);
  std::string file("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0", 21);
  file += static_cast<char>(track.size());
  return file + track;
}

// A mouse click in the middle of `row` of the list, as the list view itself receives it, so that it
// selects the row and tells the dialog of the click.
inline bool ClickListRow(HWND dialog, int row) {
  HWND list = Child(dialog, IDC_SLOT_LIST);
  if (list == nullptr) return false;
  DWORD processId = 0;
  GetWindowThreadProcessId(list, &processId);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
  if (process == nullptr) return false;
  // Rows below the list's visible part are scrolled into view first, so the click lands on the row.
  DWORD_PTR shown = 0;
  SendMessageTimeoutA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE, SMTO_ABORTIFHUNG, 5000, &shown);
  RECT rect{};
  rect.left = LVIR_BOUNDS;
  bool got = false;
  // The list writes the rectangle into memory of its own process.
  void* remote = VirtualAllocEx(process, nullptr, sizeof rect, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (remote != nullptr) {
    DWORD_PTR result = 0;
    got = WriteProcessMemory(process, remote, &rect, sizeof rect, nullptr) &&
          SendMessageTimeoutA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote),
                              SMTO_ABORTIFHUNG, 5000, &result) &&
          result != 0 && ReadProcessMemory(process, remote, &rect, sizeof rect, nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  if (!got) return false;
  const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(list, WM_LBUTTONUP, 0, at);
  return WaitUntil([&] { return ListRowSelected(dialog, IDC_SLOT_LIST, row); }, 5000);
}

// What the program shows right now, for failure messages.
inline std::string OnScreen(const Program& program) {
  std::string text;
  for (HWND window : program.Windows()) {
    text += "window \"" + WindowText(window) + "\" (" + ClassOf(window) + ")";
    const std::string message = MessageBoxText(window);
    if (!message.empty()) text += ": " + message;
    text += "\n";
  }
  return text.empty() ? "no window" : text;
}

inline std::string Describe(const std::vector<std::vector<std::string>>& rows) {
  std::string text;
  for (const auto& row : rows) {
    for (const auto& cell : row) text += "[" + cell + "]";
    text += "\n";
  }
  return text;
}

// Answers a message box and waits until it is gone, so that the next box looked for is a new one.
inline void Answer(HWND box, int answer) {
  AnswerMessageBox(box, answer);
  WaitUntil([&] { return !IsWindow(box); });
}


// Clicks `row`, presses `button` and answers the two boxes that follow: `question` with Yes, then
// `confirmation` with OK. Empty when all went so; otherwise what happened instead.
inline std::string PressAndConfirm(Program& program, HWND dialog, int row, int button, const std::string& question,
                                   const std::string& confirmation) {
  if (!ClickListRow(dialog, row)) return "row " + std::to_string(row) + " could not be clicked";
  PressButton(dialog, button);
  const struct {
    const std::string& text;
    int answer;
  } steps[] = {{question, IDYES}, {confirmation, IDOK}};
  for (const auto& step : steps) {
    HWND box = program.WaitMessageBox();
    if (box == nullptr) return "no box \"" + step.text + "\"; on screen:\n" + OnScreen(program);
    const std::string shown = MessageBoxText(box);
    Answer(box, step.answer);
    if (shown != step.text) return "box \"" + shown + "\" instead of \"" + step.text + "\"";
  }
  return "";
}

// The converted song image in the only work directory below `tempFolder`; empty when there is none.
inline std::string ConvertedImage(const std::string& tempFolder) {
  const std::vector<std::string> workDirs = WorkDirectories(tempFolder);
  if (workDirs.size() != 1) return "";
  return ReadWholeFile(tempFolder + "\\" + workDirs[0] + "\\song.sq0");
}

}  // namespace su::e2e
