#include "app/win32/win32_screen.h"

#include <commctrl.h>
#include <commdlg.h>

#include <atomic>
#include <cstring>
#include <exception>
#include <map>
#include <vector>

#include "base/messages.h"
#include "resources/resource.h"

namespace su {

namespace {

HINSTANCE gInstance = nullptr;

// The "Now converting..." box, written by the box's own thread and read by the user-interface thread.
std::atomic<HWND> gConvertingBox{nullptr};

constexpr int kConvertingLooks = 10;
constexpr DWORD kConvertingLookMs = 100;
constexpr DWORD kPathBufferBytes = 260;

HWND AsWindow(WindowRef window) { return static_cast<HWND>(window); }
HWND Control(WindowRef dialog, int control) { return GetDlgItem(AsWindow(dialog), control); }

std::string LoadText(int number) {
  char buffer[kMessageBufferChars] = {};
  const int length = LoadStringA(ProgramInstance(), static_cast<UINT>(number), buffer, sizeof buffer);
  return std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
}

void ReleaseHeldPaint();

// What a modal dialog run by RunDialog carries: its logic and the first failure raised inside it.
struct DialogCall {
  DialogLogic* logic;
  std::exception_ptr failure;
};

bool IsListView(HWND window) {
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  return lstrcmpiA(className, WC_LISTVIEWA) == 0;
}

// The one procedure of every dialog that has a logic. It forwards the dialog's initialisation, its
// commands and list clicks; an exception from the logic must not unwind through the system's frames, so it
// is kept, the dialog ends, and RunDialog raises it again once DialogBoxParam has returned.
INT_PTR CALLBACK LogicDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  DialogCall* call = nullptr;
  if (message == WM_INITDIALOG) {
    call = reinterpret_cast<DialogCall*>(lParam);
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
  } else {
    call = reinterpret_cast<DialogCall*>(GetWindowLongPtrA(dialog, DWLP_USER));
  }
  if (call == nullptr || call->failure) return FALSE;
  try {
    switch (message) {
      case WM_INITDIALOG:
        call->logic->OnInit(dialog);
        return TRUE;
      case WM_COMMAND:
        call->logic->OnCommand(dialog, LOWORD(wParam));
        return TRUE;
      case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header != nullptr && header->code == static_cast<UINT>(NM_CLICK) && IsListView(header->hwndFrom)) {
          const NMITEMACTIVATE* click = reinterpret_cast<const NMITEMACTIVATE*>(lParam);
          call->logic->OnListClick(dialog, static_cast<int>(header->idFrom), click->iItem);
        }
        return FALSE;
      }
      default:
        return FALSE;
    }
  } catch (...) {
    call->failure = std::current_exception();
    ReleaseHeldPaint();
    ::EndDialog(dialog, -1);
    return TRUE;
  }
}

// Box 139 "Now sending...": Cancel asks message 41 and, on Yes, sets the flag the waiting flow watches.
// The box never closes itself; the flow that opened it destroys it.
INT_PTR CALLBACK SendingBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(box, DWLP_USER, lParam);
    int* cancelFlag = reinterpret_cast<int*>(lParam);
    if (cancelFlag != nullptr) *cancelFlag = 0;
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    int* cancelFlag = reinterpret_cast<int*>(GetWindowLongPtrA(box, DWLP_USER));
    const std::string question = LoadText(IDS_CANCEL_QUESTION);
    if (MessageBoxA(box, question.c_str(), "", MB_YESNO) == IDYES && cancelFlag != nullptr) *cancelFlag = 1;
    return TRUE;
  }
  return FALSE;
}

// Boxes 141 and 142 only display: they accept their initialisation and nothing else.
INT_PTR CALLBACK PassiveBoxProc(HWND, UINT message, WPARAM, LPARAM) noexcept {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

INT_PTR CALLBACK ConvertingBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM) noexcept {
  if (message == WM_INITDIALOG) {
    gConvertingBox.store(box);
    ::ShowWindow(box, SW_SHOW);
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    ::EndDialog(box, 0);
    gConvertingBox.store(nullptr);
    return TRUE;
  }
  return FALSE;
}

DWORD WINAPI ConvertingBoxThread(LPVOID) noexcept {
  DialogBoxParamA(ProgramInstance(), MAKEINTRESOURCEA(IDD_CONVERTING), nullptr, ConvertingBoxProc, 0);
  return 0;
}

void SendToControl(WindowRef dialog, int control, UINT message, WPARAM wParam, LPARAM lParam) {
  SendMessageA(Control(dialog, control), message, wParam, lParam);
}

// Painting a progress bar that steps once per block. A block goes out in well under a millisecond, and a
// paint per step would cost more than the block itself; no screen shows more than about 60 pictures a
// second. Under Wine even telling the bar of a step (and looking the bar up) costs about as much as the
// block's own work. So the steps of a bar are counted as they come and handed to it at once, and painted,
// at most every 16 ms: by the step that comes then, or by a timer when no step comes. Every other change on
// the screen first hands the bar its owed steps, so the bar's position is never behind anything else the
// user sees, and what the user sees last is always the bar's real position.
constexpr DWORD kPaintIntervalMs = 16;
constexpr UINT_PTR kHeldPaintTimer = 0x5355;
constexpr int kDefaultBarStep = 10;  // a progress bar's step until it is told another

struct HeldPaint {
  WindowRef dialog = nullptr;  // the dialog and control number the stepping bar was found by
  int control = 0;
  HWND bar = nullptr;          // the bar that is stepping
  int step = kDefaultBarStep;  // its step size
  DWORD lastPaint = 0;         // tick count of its last paint
  int owedSteps = 0;           // steps taken since then that the bar has not been told of
  bool timerSet = false;       // a timer will pay the owed steps
};
HeldPaint gHeldPaint;
// The step size each bar was last given (bars keep it across their ranges).
std::map<HWND, int> gBarSteps;

// Tells the bar of its owed steps; it then repaints like any changed control.
void PayOwedSteps() {
  HeldPaint& paint = gHeldPaint;
  if (paint.owedSteps == 0 || paint.bar == nullptr) return;
  SendMessageA(paint.bar, PBM_DELTAPOS, static_cast<WPARAM>(paint.owedSteps * paint.step), 0);
  paint.owedSteps = 0;
}

void CALLBACK PaintHeldBar(HWND bar, UINT, UINT_PTR, DWORD) noexcept {
  KillTimer(bar, kHeldPaintTimer);
  if (bar != gHeldPaint.bar) return;
  gHeldPaint.timerSet = false;
  PayOwedSteps();
  UpdateWindow(bar);
  gHeldPaint.lastPaint = GetTickCount();
}

// Hands a stepping bar its owed steps and forgets it; it is painted at the next dispatch of window messages,
// as any change is.
void ReleaseHeldPaint() {
  HWND bar = gHeldPaint.bar;
  if (bar != nullptr && IsWindow(bar)) {
    if (gHeldPaint.timerSet) KillTimer(bar, kHeldPaintTimer);
    PayOwedSteps();
  }
  gHeldPaint = HeldPaint();
}

void StepBar(WindowRef dialog, int control) {
  HeldPaint& paint = gHeldPaint;
  const DWORD now = GetTickCount();
  if (paint.bar == nullptr || paint.dialog != dialog || paint.control != control) {
    ReleaseHeldPaint();
    HWND bar = Control(dialog, control);
    if (bar == nullptr) return;
    paint.dialog = dialog;
    paint.control = control;
    paint.bar = bar;
    const auto known = gBarSteps.find(bar);
    paint.step = known != gBarSteps.end() ? known->second : kDefaultBarStep;
    paint.lastPaint = now - kPaintIntervalMs;  // the first step is painted at once
  }
  ++paint.owedSteps;
  if (now - paint.lastPaint >= kPaintIntervalMs) {
    if (paint.timerSet) KillTimer(paint.bar, kHeldPaintTimer);
    paint.timerSet = false;
    PayOwedSteps();
    UpdateWindow(paint.bar);
    paint.lastPaint = now;
    return;
  }
  if (!paint.timerSet) {
    paint.timerSet =
        SetTimer(paint.bar, kHeldPaintTimer, kPaintIntervalMs - (now - paint.lastPaint), PaintHeldBar) != 0;
  }
}

}  // namespace

void SetProgramInstance(HINSTANCE instance) { gInstance = instance; }
HINSTANCE ProgramInstance() { return gInstance; }

void InitCommonControlsOnce() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS;
  InitCommonControlsEx(&controls);
}

std::string Win32Screen::Text(int number) { return LoadText(number); }

int Win32Screen::Ask(WindowRef owner, const std::string& text, BoxKind kind) {
  ReleaseHeldPaint();
  return MessageBoxA(AsWindow(owner), text.c_str(), "", static_cast<UINT>(kind));
}

void Win32Screen::Beep() { MessageBeep(MB_OK); }

bool Win32Screen::AskOpenPath(std::string* chosen) {
  char path[kPathBufferBytes] = {};
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = nullptr;
  dialog.lpstrFilter = "MIDI Files(*.mid)\0*.mid\0";
  dialog.lpstrFile = path;
  dialog.nMaxFile = sizeof path;
  dialog.Flags = OFN_FILEMUSTEXIST;
  if (!GetOpenFileNameA(&dialog)) return false;
  *chosen = path;
  return true;
}

bool Win32Screen::AskSavePath(const std::string& proposedName, std::string* chosen) {
  char path[kPathBufferBytes] = {};
  std::strncpy(path, proposedName.c_str(), sizeof path - 1);
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = nullptr;
  dialog.lpstrFilter = "sq2 File(*.sq2)\0*.sq2\0";
  dialog.lpstrFile = path;
  dialog.nMaxFile = sizeof path;
  // The system adds the dot itself; the default extension is given without it.
  dialog.lpstrDefExt = "sq2";
  dialog.Flags = OFN_OVERWRITEPROMPT;
  if (!GetSaveFileNameA(&dialog)) return false;
  *chosen = path;
  return true;
}

void Win32Screen::ShowConvertingBox() {
  gConvertingBox.store(nullptr);
  HANDLE thread = CreateThread(nullptr, 0, ConvertingBoxThread, nullptr, 0, nullptr);
  // The thread is never joined: it ends by itself when its box closes.
  if (thread != nullptr) CloseHandle(thread);
}

void Win32Screen::CloseConvertingBox() {
  for (int look = 0; look < kConvertingLooks; ++look) {
    HWND box = gConvertingBox.load();
    if (box != nullptr) {
      // Handled on the box's own thread before this returns.
      SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
      return;
    }
    Sleep(kConvertingLookMs);
  }
}

int Win32Screen::RunDialog(int dialogId, DialogLogic& logic) {
  DialogCall call{&logic, nullptr};
  const INT_PTR result = DialogBoxParamA(ProgramInstance(), MAKEINTRESOURCEA(dialogId), nullptr,
                                         LogicDialogProc, reinterpret_cast<LPARAM>(&call));
  if (call.failure) std::rethrow_exception(call.failure);
  return static_cast<int>(result);
}

void Win32Screen::EndDialog(WindowRef dialog, int code) {
  ReleaseHeldPaint(); ::EndDialog(AsWindow(dialog), code); }

void Win32Screen::PostCommand(WindowRef dialog, int control) {
  PostMessageA(AsWindow(dialog), WM_COMMAND, MAKEWPARAM(control, 0), 0);
}

void Win32Screen::ShowWindow(WindowRef dialog) { ::ShowWindow(AsWindow(dialog), SW_SHOW); }

WindowRef Win32Screen::OpenBox(int dialogId, WindowRef owner, int* cancelFlag) {
  ReleaseHeldPaint();
  DLGPROC procedure = dialogId == IDD_SENDING ? SendingBoxProc : PassiveBoxProc;
  HWND box = CreateDialogParamA(ProgramInstance(), MAKEINTRESOURCEA(dialogId), AsWindow(owner), procedure,
                                reinterpret_cast<LPARAM>(cancelFlag));
  if (box != nullptr) {
    ::ShowWindow(box, SW_SHOW);
    UpdateWindow(box);
  }
  return box;
}

void Win32Screen::CloseBox(WindowRef box) {
  if (box != nullptr) DestroyWindow(AsWindow(box));
}

void Win32Screen::SetControlText(WindowRef dialog, int control, const std::string& text) {
  ReleaseHeldPaint();
  SetDlgItemTextA(AsWindow(dialog), control, text.c_str());
}

std::string Win32Screen::ControlText(WindowRef dialog, int control) {
  HWND window = Control(dialog, control);
  if (window == nullptr) return std::string();
  const int length = GetWindowTextLengthA(window);
  if (length <= 0) return std::string();
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(window, buffer.data(), length + 1);
  return std::string(buffer.data(), copied > 0 ? static_cast<std::size_t>(copied) : 0);
}

void Win32Screen::EnableControl(WindowRef dialog, int control, bool enabled) {
  ReleaseHeldPaint();
  HWND target = control == kWholeWindow ? AsWindow(dialog) : Control(dialog, control);
  EnableWindow(target, enabled ? TRUE : FALSE);
}

void Win32Screen::CheckRadio(WindowRef dialog, int control) {
  CheckDlgButton(AsWindow(dialog), control, BST_CHECKED);
}

void Win32Screen::ProgressRange(WindowRef dialog, int control, int low, int high) {
  ReleaseHeldPaint();
  SendToControl(dialog, control, PBM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
}

void Win32Screen::ProgressPos(WindowRef dialog, int control, int position) {
  ReleaseHeldPaint();
  SendToControl(dialog, control, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void Win32Screen::ProgressStep(WindowRef dialog, int control, int step) {
  ReleaseHeldPaint();
  HWND bar = Control(dialog, control);
  SendMessageA(bar, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
  if (bar != nullptr) gBarSteps[bar] = step;
}

void Win32Screen::ProgressStepIt(WindowRef dialog, int control) { StepBar(dialog, control); }

void Win32Screen::ComboAdd(WindowRef dialog, int control, const std::string& text) {
  SendToControl(dialog, control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Win32Screen::ComboSelect(WindowRef dialog, int control, int position) {
  SendToControl(dialog, control, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

int Win32Screen::ComboSelected(WindowRef dialog, int control) {
  return static_cast<int>(SendMessageA(Control(dialog, control), CB_GETCURSEL, 0, 0));
}

void Win32Screen::ListSetup(WindowRef dialog, int control) {
  SendToControl(dialog, control, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
}

namespace {

// The dots per inch a window is drawn at. The program is DPI aware, so widths given in pixels at 100% scale
// (96 DPI) are scaled here. Windows 10 tells a window's own monitor's DPI; older versions the system's.
UINT DpiOf(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow != nullptr && window != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi != 0) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

}  // namespace

void Win32Screen::ListAddColumn(WindowRef dialog, int control, int column, const std::string& title,
                                int widthPixels) {
  std::vector<char> text(title.begin(), title.end());
  text.push_back('\0');
  LVCOLUMNA header{};
  header.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  header.cx = MulDiv(widthPixels, static_cast<int>(DpiOf(Control(dialog, control))), USER_DEFAULT_SCREEN_DPI);
  header.pszText = text.data();
  header.iSubItem = column;
  SendToControl(dialog, control, LVM_INSERTCOLUMNA, static_cast<WPARAM>(column),
                reinterpret_cast<LPARAM>(&header));
}

void Win32Screen::ListClear(WindowRef dialog, int control) {
  SendToControl(dialog, control, LVM_DELETEALLITEMS, 0, 0);
}

void Win32Screen::ListInsertRow(WindowRef dialog, int control, int row, const std::string& firstCell) {
  std::vector<char> text(firstCell.begin(), firstCell.end());
  text.push_back('\0');
  LVITEMA item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.iSubItem = 0;
  item.pszText = text.data();
  SendToControl(dialog, control, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void Win32Screen::ListSetCell(WindowRef dialog, int control, int row, int column, const std::string& text) {
  std::vector<char> cell(text.begin(), text.end());
  cell.push_back('\0');
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = cell.data();
  SendToControl(dialog, control, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void Win32Screen::ListSelectRow(WindowRef dialog, int control, int row) {
  LVITEMA item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendToControl(dialog, control, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

int Win32Screen::ListRowCount(WindowRef dialog, int control) {
  return static_cast<int>(SendMessageA(Control(dialog, control), LVM_GETITEMCOUNT, 0, 0));
}

bool Win32Screen::ListRowSelected(WindowRef dialog, int control, int row) {
  const LRESULT state =
      SendMessageA(Control(dialog, control), LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED);
  return (state & LVIS_SELECTED) != 0;
}

}  // namespace su
