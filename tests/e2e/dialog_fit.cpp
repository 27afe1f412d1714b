// dialog_fit.exe PROGRAM REPORT: creates every dialog of PROGRAM's resources (hidden) as Windows lays it out at
// the screen's DPI, and writes to REPORT, one line each, tab-separated:
//   D  dialog  dpi  client-width  client-height  font (face height/average-width)
//   S  dialog  control  text  needed-width  needed-height  width  height     (every static text and button
//                                                                             label, in pixels)
//   C  dialog  control  left  top  right  bottom                             (every control, in the dialog's
//                                                                             client area)
// It carries SongUploader.exe's own manifest, so it is as DPI aware as the program and uses the same control
// library. The end-to-end test DialogsFitAtEveryScale runs it at each DPI and judges the lines.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

namespace {

struct Report {
  FILE* file;
  int dialog;
};

INT_PTR CALLBACK QuietDialog(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

UINT DpiOf(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow != nullptr) return getDpiForWindow(window);
  HDC dc = GetDC(window);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
  ReleaseDC(window, dc);
  return static_cast<UINT>(dpi);
}

std::string OneLine(std::string text) {
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) text.replace(at, 1, "\\n");
  return text;
}

BOOL CALLBACK MeasureControl(HWND control, LPARAM context) {
  const Report& report = *reinterpret_cast<const Report*>(context);
  HWND dialog = GetParent(control);
  RECT box{};
  GetWindowRect(control, &box);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&box), 2);
  const int id = GetDlgCtrlID(control);
  std::fprintf(report.file, "C\t%d\t%d\t%ld\t%ld\t%ld\t%ld\n", report.dialog, id, box.left, box.top, box.right,
               box.bottom);

  char className[64] = {};
  GetClassNameA(control, className, sizeof className);
  char text[512] = {};
  GetWindowTextA(control, text, sizeof text);
  if (text[0] == '\0') return TRUE;
  const LONG style = GetWindowLongA(control, GWL_STYLE);
  const LONG staticType = style & SS_TYPEMASK;
  const LONG buttonType = style & BS_TYPEMASK;
  // Room a button's text does not get: a push button's frame on either side, a radio button's or check box's
  // box and the gap after it (in pixels at 96 DPI, scaled).
  int reserved = -1;
  if (lstrcmpiA(className, "Static") == 0) {
    if (staticType == SS_LEFT || staticType == SS_CENTER || staticType == SS_RIGHT || staticType == SS_LEFTNOWORDWRAP) {
      reserved = 0;
    }
  } else if (lstrcmpiA(className, "Button") == 0) {
    if (buttonType == BS_PUSHBUTTON || buttonType == BS_DEFPUSHBUTTON) reserved = 2 * 3;
    if (buttonType == BS_AUTORADIOBUTTON || buttonType == BS_RADIOBUTTON || buttonType == BS_AUTOCHECKBOX ||
        buttonType == BS_CHECKBOX) {
      reserved = 13 + 4;
    }
  }
  if (reserved < 0) return TRUE;
  reserved = MulDiv(reserved, static_cast<int>(DpiOf(control)), USER_DEFAULT_SCREEN_DPI);
  // The text's extent in the control's own font, broken only where the text breaks its lines itself: a static
  // that needs more room than its rectangle wraps a word onto a line of its own or cuts it off.
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
  RECT needed{};
  DrawTextA(dc, text, -1, &needed, DT_CALCRECT | DT_EXPANDTABS);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  RECT client{};
  GetClientRect(control, &client);
  std::fprintf(report.file, "S\t%d\t%d\t%s\t%ld\t%ld\t%ld\t%ld\n", report.dialog, id, OneLine(text).c_str(),
               needed.right - needed.left + reserved, needed.bottom - needed.top, client.right, client.bottom);
  return TRUE;
}

BOOL CALLBACK MeasureDialog(HMODULE program, LPCSTR, LPSTR name, LONG_PTR context) {
  if (!IS_INTRESOURCE(name)) return TRUE;
  Report report{reinterpret_cast<FILE*>(context), static_cast<int>(reinterpret_cast<ULONG_PTR>(name))};
  HWND dialog = CreateDialogParamA(program, name, nullptr, QuietDialog, 0);
  if (dialog == nullptr) {
    std::fprintf(report.file, "X\t%d\tnot created\n", report.dialog);
    return TRUE;
  }
  RECT client{};
  GetClientRect(dialog, &client);
  // The font the dialog's texts are drawn in, as the system chose it for the template's face and size.
  HDC dc = GetDC(dialog);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)));
  char face[LF_FACESIZE] = {};
  GetTextFaceA(dc, sizeof face, face);
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(dialog, dc);
  std::fprintf(report.file, "D\t%d\t%u\t%ld\t%ld\t%s %ld/%ld\n", report.dialog, DpiOf(dialog), client.right,
               client.bottom, face, metrics.tmHeight, metrics.tmAveCharWidth);
  EnumChildWindows(dialog, MeasureControl, reinterpret_cast<LPARAM>(&report));
  DestroyWindow(dialog);
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  HMODULE program = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (program == nullptr) return 3;
  FILE* file = std::fopen(argv[2], "w");
  if (file == nullptr) return 4;
  EnumResourceNamesA(program, reinterpret_cast<LPCSTR>(RT_DIALOG), MeasureDialog, reinterpret_cast<LONG_PTR>(file));
  std::fclose(file);
  FreeLibrary(program);
  return 0;
}
