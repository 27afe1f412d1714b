#include "tests/e2e/harness.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace su::e2e {

namespace {

// Sends to another process's window without ever hanging the test on a program that stopped answering.
constexpr UINT kSendTimeoutMs = 5000;
constexpr int kFileNameEdit = 0x480;   // the file-name field of the common file dialogs
constexpr int kFileNameCombo = 0x47c;  // the file-name field when it is a combo box

LRESULT SendTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) return 0;
  return static_cast<LRESULT>(result);
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool IsWorkDirName(const std::string& name) {
  std::size_t start = (!name.empty() && name[0] == '-') ? 1 : 0;
  if (start >= name.size()) return false;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(start), name.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

std::string Quoted(const std::string& argument) { return "\"" + argument + "\""; }

// This process's environment with `changes` applied, as a block for CreateProcess.
std::vector<char> EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& changes) {
  std::vector<std::string> entries;
  if (char* block = GetEnvironmentStringsA()) {
    for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) entries.emplace_back(entry);
    FreeEnvironmentStringsA(block);
  }
  for (const auto& [name, value] : changes) {
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&name = name](const std::string& entry) {
                                   const std::size_t equals = entry.find('=', 1);
                                   return equals != std::string::npos && SameText(entry.substr(0, equals), name);
                                 }),
                  entries.end());
    entries.push_back(name + "=" + value);
  }
  std::vector<char> result;
  for (const std::string& entry : entries) {
    result.insert(result.end(), entry.begin(), entry.end());
    result.push_back('\0');
  }
  result.push_back('\0');
  return result;
}

struct WindowSearch {
  DWORD processId;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<WindowSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && IsWindowVisible(window)) search->found.push_back(window);
  return TRUE;
}

bool HasAnswerButton(HWND box) {
  for (int id : {IDOK, IDYES, IDNO}) {
    HWND button = GetDlgItem(box, id);
    if (button != nullptr && SameText(ClassOf(button), "Button")) return true;
  }
  return false;
}

HWND FindDescendant(HWND parent, const char* className) {
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (SameText(ClassOf(child), className)) return child;
    if (HWND inner = FindDescendant(child, className)) return inner;
  }
  return nullptr;
}

}  // namespace

std::wstring Widened(const std::string& text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string TestFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path);
  const std::size_t slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".\\") : folder.substr(0, slash + 1);
}

std::string ProgramFolder() { return TestFolder() + "..\\bin\\"; }

std::string ProgramPath() { return ProgramFolder() + "SongUploader.exe"; }

std::string NewScratchFolder(const std::string& tag) {
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  static int counter = 0;
  const std::string folder = std::string(temp) + "su_e2e_" + tag + "_" + std::to_string(GetCurrentProcessId()) +
                             "_" + std::to_string(GetTickCount()) + "_" + std::to_string(++counter);
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

void RemoveFolderTree(const std::string& folder) {
  if (folder.empty()) return;
  WIN32_FIND_DATAA entry{};
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolderTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollMs);
  }
}

// --- Program ---

namespace {

// The virtual display has no window manager. Wine waits up to two seconds for one whenever a window it lets
// the manager handle is hidden or destroyed, which every dialog and message box of a run does; windows that
// Wine places itself close at once. This is Wine's own registry key; Windows never reads it.
void LetWineKeepItsWindows() {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;  // only slower, not wrong
  }
  const char value[] = "N";
  RegSetValueExA(key, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
  RegCloseKey(key);
}

// A test that was killed on its time-out leaves its program running, and the program's single-instance guard
// would then end every later start silently. Every copy of the program (all are named "...Uploader...") that
// is still running when this test process starts its first one is ended first. (A program the same process
// started is ended by its Program object.)
void EndStrayPrograms() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    std::string name(entry.szExeFile);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    if (entry.th32ProcessID == GetCurrentProcessId() || name.find("uploader") == std::string::npos) continue;
    if (HANDLE stray = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
      TerminateProcess(stray, 1);
      WaitForSingleObject(stray, 5000);
      CloseHandle(stray);
    }
  }
  CloseHandle(snapshot);
}

}  // namespace

Program::Program(const LaunchOptions& options) {
  static const bool prepared = [] {
    LetWineKeepItsWindows();
    EndStrayPrograms();
    return true;
  }();
  (void)prepared;
  std::string commandLine = Quoted(options.program.empty() ? ProgramPath() : options.program);
  for (const std::string& argument : options.arguments) commandLine += " " + Quoted(argument);
  std::vector<std::pair<std::string, std::string>> changes = options.environment;
  // The keyboard a program finds is remembered under %LOCALAPPDATA%: each program gets a folder of its own
  // unless the test shares one between runs, so that nothing one test found changes how another searches.
  const bool ownState = std::none_of(changes.begin(), changes.end(),
                                     [](const auto& change) { return change.first == "LOCALAPPDATA"; });
  if (ownState) {
    stateFolder_ = NewScratchFolder("state");
    changes.emplace_back("LOCALAPPDATA", stateFolder_);
  }
  if (!options.tempFolder.empty()) {
    changes.emplace_back("TMP", options.tempFolder);
    changes.emplace_back("TEMP", options.tempFolder);
  }
  std::vector<char> environment = EnvironmentBlock(changes);
  std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
  mutableLine.push_back('\0');

  PROCESS_INFORMATION info{};
  bool started = false;
  if (options.wideProgram.empty()) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    started = CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, environment.data(),
                             options.workingFolder.empty() ? nullptr : options.workingFolder.c_str(), &startup,
                             &info);
  } else {
    // The arguments and the working folder are narrow: each is taken over by its ANSI code page characters.
    std::wstring wideLine = L"\"" + options.wideProgram + L"\"";
    for (const std::string& argument : options.arguments) wideLine += L" \"" + Widened(argument) + L"\"";
    const std::wstring folder = Widened(options.workingFolder);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    started = CreateProcessW(nullptr, wideLine.data(), nullptr, nullptr, FALSE, 0, environment.data(),
                             folder.empty() ? nullptr : folder.c_str(), &startup, &info);
  }
  if (started) {
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    CloseHandle(info.hThread);
  }
}

Program::~Program() {
  if (process_ != nullptr) {
    if (Running()) Kill();
    CloseHandle(process_);
  }
  if (!stateFolder_.empty()) RemoveFolderTree(stateFolder_);
}

bool Program::Running() const {
  return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::vector<HWND> Program::Windows() const {
  WindowSearch search{processId_, {}};
  if (process_ != nullptr) EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND Program::FindWindowTitled(const std::string& title) const {
  for (HWND window : Windows())
    if (WindowText(window) == title) return window;
  return nullptr;
}

HWND Program::WaitWindow(const std::string& title, DWORD timeoutMs) const {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindWindowTitled(title)) != nullptr; }, timeoutMs);
  return found;
}

HWND Program::FindMessageBox() const {
  for (HWND window : Windows())
    if (ClassOf(window) == "#32770" && WindowText(window).empty() && HasAnswerButton(window)) return window;
  return nullptr;
}

HWND Program::WaitMessageBox(DWORD timeoutMs) const {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindMessageBox()) != nullptr; }, timeoutMs);
  return found;
}

HWND Program::WaitFileDialog(DWORD timeoutMs) const {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND window : Windows()) {
          if (ClassOf(window) != "#32770") continue;
          if (GetDlgItem(window, kFileNameEdit) != nullptr || GetDlgItem(window, kFileNameCombo) != nullptr) {
            found = window;
            return true;
          }
        }
        return false;
      },
      timeoutMs);
  return found;
}

bool Program::WaitExit(DWORD timeoutMs) {
  if (process_ == nullptr) return false;
  if (WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0) return true;
  Kill();
  return false;
}

DWORD Program::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (process_ != nullptr) GetExitCodeProcess(process_, &code);
  return code;
}

void Program::Kill() {
  if (process_ == nullptr) return;
  TerminateProcess(process_, 0xDEAD);
  WaitForSingleObject(process_, kWaitMs);
}

// --- reading windows ---

std::string WindowText(HWND window) {
  char text[1024] = {};
  const LRESULT length = SendTo(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::string ClassOf(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

HWND Child(HWND dialog, int control) { return GetDlgItem(dialog, control); }

std::string ControlText(HWND dialog, int control) {
  HWND child = Child(dialog, control);
  return child == nullptr ? std::string() : WindowText(child);
}

bool IsChecked(HWND dialog, int control) {
  HWND child = Child(dialog, control);
  return child != nullptr && SendTo(child, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool IsEnabled(HWND dialog, int control) {
  HWND child = Child(dialog, control);
  return child != nullptr && IsWindowEnabled(child);
}

bool IsShown(HWND dialog, int control) {
  HWND child = Child(dialog, control);
  return child != nullptr && (StyleOf(child) & WS_VISIBLE) != 0;
}

LONG StyleOf(HWND window) { return GetWindowLongA(window, GWL_STYLE); }

std::vector<ChildInfo> Children(HWND dialog) {
  std::vector<ChildInfo> children;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back({static_cast<int>(static_cast<short>(GetDlgCtrlID(child))), ClassOf(child),
                        WindowText(child), StyleOf(child)});
  }
  return children;
}

std::string MessageBoxText(HWND box) {
  for (const ChildInfo& child : Children(box)) {
    if (!SameText(child.className, "Static")) continue;
    if ((child.style & SS_TYPEMASK) == SS_ICON) continue;
    if (!child.text.empty()) return child.text;
  }
  return std::string();
}

int ListRowCount(HWND dialog, int control) {
  HWND list = Child(dialog, control);
  return list == nullptr ? -1 : static_cast<int>(SendTo(list, LVM_GETITEMCOUNT, 0, 0));
}

std::string ListCell(HWND dialog, int control, int row, int column) {
  HWND list = Child(dialog, control);
  if (list == nullptr) return std::string();
  DWORD processId = 0;
  GetWindowThreadProcessId(list, &processId);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
  if (process == nullptr) return std::string();
  // The list view writes the text into memory of its own process: the request and the buffer go there.
  constexpr SIZE_T kTextBytes = 512;
  char* remote = static_cast<char*>(
      VirtualAllocEx(process, nullptr, sizeof(LVITEMA) + kTextBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  std::string text;
  if (remote != nullptr) {
    LVITEMA item{};
    item.iSubItem = column;
    item.cchTextMax = static_cast<int>(kTextBytes);
    item.pszText = remote + sizeof(LVITEMA);
    char buffer[kTextBytes] = {};
    if (WriteProcessMemory(process, remote, &item, sizeof item, nullptr)) {
      const LRESULT length = SendTo(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote));
      if (ReadProcessMemory(process, item.pszText, buffer, kTextBytes - 1, nullptr) && length > 0)
        text.assign(buffer, std::min<std::size_t>(static_cast<std::size_t>(length), kTextBytes - 1));
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  return text;
}

std::vector<std::vector<std::string>> ListRows(HWND dialog, int control, int columns) {
  std::vector<std::vector<std::string>> rows;
  const int count = ListRowCount(dialog, control);
  for (int row = 0; row < count; ++row) {
    std::vector<std::string> cells;
    for (int column = 0; column < columns; ++column) cells.push_back(ListCell(dialog, control, row, column));
    rows.push_back(cells);
  }
  return rows;
}

bool ListRowSelected(HWND dialog, int control, int row) {
  HWND list = Child(dialog, control);
  return list != nullptr &&
         (SendTo(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

// --- acting ---

void PressButton(HWND dialog, int control) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED), reinterpret_cast<LPARAM>(Child(dialog, control)));
}

void ClickButton(HWND dialog, int control) {
  HWND button = Child(dialog, control);
  if (button != nullptr) PostMessageA(button, BM_CLICK, 0, 0);
}

void AnswerMessageBox(HWND box, int answer) {
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, answer)));
}

void ChooseMenuCommand(HWND dialog, int command) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

namespace {
HWND FileNameField(HWND fileDialog) {
  HWND field = GetDlgItem(fileDialog, kFileNameEdit);
  if (field == nullptr) {
    HWND combo = GetDlgItem(fileDialog, kFileNameCombo);
    // Under Wine the field is a ComboBoxEx32 holding a combo box that holds the edit field.
    if (combo != nullptr) field = FindDescendant(combo, "Edit");
  }
  return field;
}
}  // namespace

std::string FileDialogName(HWND fileDialog) {
  HWND field = FileNameField(fileDialog);
  return field == nullptr ? std::string() : WindowText(field);
}

bool FillFileDialog(HWND fileDialog, const std::string& path) {
  HWND field = FileNameField(fileDialog);
  if (field == nullptr) return false;
  SendTo(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  PressButton(fileDialog, IDOK);
  return true;
}

// --- work directories ---

std::vector<std::string> WorkDirectories(const std::string& tempFolder) {
  std::vector<std::string> names;
  std::string folder = tempFolder;
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  WIN32_FIND_DATAA entry{};
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && IsWorkDirName(entry.cFileName))
      names.emplace_back(entry.cFileName);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return names;
}

}  // namespace su::e2e
