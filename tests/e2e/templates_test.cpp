// The dialog templates, menu and string table as they are compiled into SongUploader.exe: read back from
// the program file and compared with the table of every dialog (sizes in dialog units, control numbers,
// creation order, classes, texts, styles, fonts and the template form).
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "resources/strings.h"
#include "tests/e2e/harness.h"

namespace su::e2e {
namespace {

// Style words of the tables.
enum Look : unsigned {
  kPlain = 0,
  kHidden = 1 << 0,
  kTabStop = 1 << 1,
  kGroup = 1 << 2,
  kStaticEdge = 1 << 3,  // extended style
};

struct ControlRow {
  int id;
  const char* className;
  const char* text;
  DWORD typeStyle;  // the class's own style bits (button kind, static alignment, list and bar styles)
  unsigned look;
  short x, y, cx, cy;
};

struct DialogRow {
  int id;
  const char* title;
  short cx, cy;
  bool extended;
  WORD points;
  WORD weight;
  BYTE charset;
  bool titleBar;
  std::vector<ControlRow> controls;
};

constexpr DWORD kReportList = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER;
constexpr DWORD kCombo = CBS_DROPDOWNLIST | CBS_AUTOHSCROLL | WS_VSCROLL;
constexpr DWORD kFlat = BS_PUSHBUTTON | BS_FLAT;
constexpr DWORD kReadOnly = ES_AUTOHSCROLL | ES_READONLY;
const char* const kCapacities = "*Capacities displayed on the\n  computer screen are approximate.";

// The transfer dialogs share most rows; each differs in places.
std::vector<ControlRow> SendDialogC() {
  return {
      {IDC_SLOT_LIST, "SysListView32", "List1", kReportList, kTabStop, 7, 55, 123, 115},
      {IDC_SEND, "BUTTON", "Send", BS_DEFPUSHBUTTON, kTabStop, 10, 248, 35, 14},
      {IDC_DELETE, "BUTTON", "Delete", BS_PUSHBUTTON, kTabStop, 50, 248, 35, 14},
      {IDC_CANCEL_TRANSFER, "BUTTON", "Cancel", BS_PUSHBUTTON, kTabStop, 90, 248, 35, 14},
      {IDC_REFRESH, "BUTTON", "REFRESH", kFlat, kTabStop | kHidden, 80, 50, 50, 10},
      {-1, "STATIC", "Total Size", SS_LEFT, kPlain, 10, 195, 35, 8},
      {-1, "STATIC", ":", SS_LEFT, kPlain, 50, 195, 8, 8},
      {IDC_TOTAL_SIZE, "STATIC", "99999999", SS_RIGHT, kPlain, 58, 195, 30, 8},
      {-1, "STATIC", "KBytes", SS_LEFT, kPlain, 90, 195, 22, 8},
      {-1, "STATIC", "Empty Size", SS_LEFT, kPlain, 10, 210, 36, 8},
      {-1, "STATIC", ":", SS_LEFT, kPlain, 50, 210, 8, 8},
      {IDC_FREE_SIZE, "STATIC", "99999999", SS_RIGHT, kPlain, 58, 210, 30, 8},
      {-1, "STATIC", "KBytes", SS_LEFT, kPlain, 90, 210, 22, 8},
      {IDC_PROGRESS, "msctls_progress32", "Progress1", PBS_SMOOTH, kPlain, 7, 175, 123, 10},
      {IDC_STATUS, "STATIC", "Static", SS_CENTER, kPlain, 15, 185, 115, 8},
      {-1, "BUTTON", "", BS_GROUPBOX, kPlain, 7, 7, 123, 45},
      {-1, "STATIC", "File Name", SS_LEFT, kPlain, 17, 21, 32, 8},
      {-1, "STATIC", "Size", SS_LEFT, kPlain, 17, 36, 15, 8},
      {-1, "STATIC", "KBytes", SS_LEFT, kPlain, 82, 36, 22, 8},
      {IDC_FILE_NAME, "EDIT", "", kReadOnly, kStaticEdge, 52, 21, 70, 12},
      {IDC_SONG_SIZE, "STATIC", "99999999", SS_RIGHT, kPlain, 50, 36, 30, 8},
      {-1, "STATIC", kCapacities, SS_LEFTNOWORDWRAP, kGroup, 7, 225, 115, 19},
  };
}

std::vector<ControlRow> SendDialogA() {
  return {
      {IDC_SLOT_LIST, "SysListView32", "List1", kReportList, kTabStop, 7, 55, 124, 115},
      {IDC_SEND, "BUTTON", "Send", BS_DEFPUSHBUTTON, kTabStop, 7, 250, 35, 14},
      {IDC_DELETE, "BUTTON", "Delete", BS_PUSHBUTTON, kTabStop, 52, 250, 35, 14},
      {IDC_CANCEL_TRANSFER, "BUTTON", "Cancel", BS_PUSHBUTTON, kTabStop, 96, 250, 35, 14},
      {IDC_REFRESH, "BUTTON", "REFRESH", kFlat, kTabStop | kHidden, 70, 50, 50, 10},
      {-1, "STATIC", "Total Size", SS_LEFT, kPlain, 10, 195, 35, 8},
      {-1, "STATIC", ":", SS_LEFT, kPlain, 50, 195, 8, 8},
      {IDC_TOTAL_SIZE, "STATIC", "99999999", SS_RIGHT, kPlain, 58, 195, 30, 8},
      {-1, "STATIC", "KBytes", SS_LEFT, kPlain, 90, 195, 22, 8},
      {-1, "STATIC", "Empty Size", SS_LEFT, kPlain, 10, 210, 36, 8},
      {-1, "STATIC", ":", SS_LEFT, kPlain, 50, 210, 8, 8},
      {IDC_FREE_SIZE, "STATIC", "99999999", SS_RIGHT, kPlain, 58, 210, 30, 8},
      {-1, "STATIC", "KBytes", SS_LEFT, kPlain, 90, 210, 22, 8},
      {IDC_PROGRESS, "msctls_progress32", "Progress1", PBS_SMOOTH, kPlain, 5, 175, 115, 10},
      {IDC_STATUS, "STATIC", "Static", SS_CENTER, kPlain, 5, 185, 115, 8},
      {-1, "BUTTON", "", BS_GROUPBOX, kPlain, 5, 5, 126, 45},
      {-1, "STATIC", "File Name", SS_LEFT, kPlain, 15, 20, 32, 8},
      {-1, "STATIC", "Size", SS_LEFT, kPlain, 15, 35, 15, 8},
      {-1, "STATIC", "KBytes", SS_LEFT, kPlain, 79, 35, 22, 8},
      {IDC_FILE_NAME, "EDIT", "", kReadOnly, kStaticEdge, 50, 20, 70, 12},
      {IDC_SONG_SIZE, "STATIC", "99999999", SS_RIGHT, kPlain, 48, 35, 30, 8},
      {-1, "STATIC", kCapacities, SS_LEFTNOWORDWRAP, kGroup, 7, 225, 124, 19},
  };
}

std::vector<ControlRow> SendDialogB() {
  return {
      {IDC_SLOT_LIST, "SysListView32", "List1", kReportList, kTabStop, 7, 55, 132, 115},
      {IDC_SEND, "BUTTON", "Send", BS_DEFPUSHBUTTON, kTabStop, 7, 242, 35, 14},
      {IDC_DELETE, "BUTTON", "Delete", BS_PUSHBUTTON, kTabStop, 52, 242, 35, 14},
      {IDC_CANCEL_TRANSFER, "BUTTON", "Cancel", BS_PUSHBUTTON, kTabStop, 104, 242, 35, 14},
      {IDC_REFRESH, "BUTTON", "REFRESH", kFlat, kTabStop | kHidden, 70, 50, 50, 10},
      {-1, "STATIC", "Total Size", SS_LEFT, kPlain, 10, 195, 35, 8},
      {-1, "STATIC", ":", SS_LEFT, kPlain, 82, 195, 8, 8},
      {IDC_TOTAL_SIZE, "STATIC", "99999999", SS_RIGHT, kPlain, 82, 195, 30, 8},
      {-1, "STATIC", "KBytes", SS_LEFT, kPlain, 114, 195, 22, 8},
      {IDC_PROGRESS, "msctls_progress32", "Progress1", PBS_SMOOTH, kPlain, 5, 175, 134, 10},
      {IDC_STATUS, "STATIC", "Static", SS_CENTER, kPlain, 5, 185, 115, 8},
      {-1, "BUTTON", "", BS_GROUPBOX, kPlain, 7, 5, 132, 45},
      {-1, "STATIC", "File Name", SS_LEFT, kPlain, 13, 20, 32, 8},
      {-1, "STATIC", "Size", SS_LEFT, kPlain, 13, 35, 15, 8},
      {-1, "STATIC", "KBytes", SS_LEFT, kPlain, 79, 35, 22, 8},
      {IDC_FILE_NAME, "EDIT", "", kReadOnly, kStaticEdge, 50, 20, 82, 12},
      {IDC_SONG_SIZE, "STATIC", "99999999", SS_RIGHT, kPlain, 48, 35, 30, 8},
      {-1, "STATIC", kCapacities, SS_LEFTNOWORDWRAP, kGroup, 7, 219, 132, 19},
      {-1, "STATIC", "Maximum Song Size", SS_LEFT, kPlain, 10, 208, 65, 8},
      {-1, "STATIC", ":", SS_LEFT, kPlain, 82, 208, 8, 8},
      {IDC_MAX_SONG_SIZE, "STATIC", "99999999", SS_RIGHT, kPlain, 82, 208, 30, 8},
      {-1, "STATIC", "KBytes", SS_LEFT, kPlain, 114, 208, 22, 8},
  };
}

std::vector<DialogRow> Dialogs() {
  return {
      {IDD_SELECTION, "Selection", 171, 65, false, 10, 0, 0, true,
       {{IDC_SEND_TO_KEYBOARD, "BUTTON", "Send the data to the keyboard.", BS_AUTORADIOBUTTON, kPlain, 10, 10, 112, 10},
        {IDC_SAVE_AS_FILE, "BUTTON", "Save the data as a \"SQ2\" file.", BS_AUTORADIOBUTTON, kPlain, 10, 25, 146, 10},
        {1, "BUTTON", "OK", BS_DEFPUSHBUTTON, kTabStop, 32, 45, 50, 14},
        {2, "BUTTON", "Cancel", BS_PUSHBUTTON, kTabStop, 87, 45, 50, 14}}},
      {IDD_SEND_C, "Send the Data", 137, 269, true, 10, 0, DEFAULT_CHARSET, true, SendDialogC()},
      {IDD_SENDING, "Now sending...", 199, 59, false, 10, 0, 0, true,
       {{2, "BUTTON", "Cancel", BS_PUSHBUTTON, kTabStop, 160, 35, 35, 15},
        {-1, "STATIC", "It is checking whether data has transmitted.", SS_LEFT, kGroup, 10, 5, 142, 8},
        {IDC_SENDING_HIDDEN_OK, "BUTTON", "OK", kFlat, kTabStop | kHidden, 180, 5, 17, 10},
        {-1, "STATIC", "Transmitting time depends on the number of song bank.", SS_LEFT, kGroup, 10, 20, 180, 8},
        {-1, "STATIC", "Also in about 1 minute also of these cases,\nit is by the completion of transmitting.",
         SS_LEFT, kGroup, 10, 30, 150, 20}}},
      {IDD_MIDI_DEVICE, "MIDI Device", 187, 69, false, 10, 0, 0, true,
       {{IDC_MIDI_IN, "COMBOBOX", "", kCombo, kTabStop, 40, 5, 140, 105},
        {IDC_MIDI_OUT, "COMBOBOX", "", kCombo, kTabStop, 40, 25, 140, 95},
        {1, "BUTTON", "OK", BS_DEFPUSHBUTTON, kTabStop, 40, 50, 50, 14},
        {2, "BUTTON", "Cancel", BS_PUSHBUTTON, kTabStop, 95, 50, 50, 14},
        {-1, "STATIC", "MIDI IN", SS_LEFT, kGroup, 10, 10, 26, 8},
        {-1, "STATIC", "MIDI OUT", SS_LEFT, kGroup, 5, 30, 33, 8}}},
      {IDD_LOOKING, "", 143, 47, false, 9, 0, 0, false,
       {{-1, "STATIC", "Looking for the keyboard connection...\nPlease wait.", SS_LEFT, kGroup, 8, 8, 125, 16},
        {IDC_PROGRESS, "msctls_progress32", "Progress1", PBS_SMOOTH, kPlain, 5, 30, 135, 10}}},
      {IDD_DELETING, "Now deleting...", 143, 29, false, 10, 0, 0, true,
       {{-1, "STATIC", "Now deleting... Please wait.", SS_LEFT, kGroup, 9, 9, 130, 8}}},
      {IDD_CONVERTING, "Now converting...", 123, 29, false, 10, 0, 0, true,
       {{-1, "STATIC", "Now converting...", SS_CENTER, kGroup, 19, 10, 85, 10}}},
      {IDD_SEND_A, "Send the Data", 139, 271, true, 10, 400, ANSI_CHARSET, true, SendDialogA()},
      {IDD_SEND_B, "Send the Data", 147, 263, true, 10, 400, ANSI_CHARSET, true, SendDialogB()},
  };
}

// --- reading a compiled template ---

struct Reader {
  const BYTE* at;
  const BYTE* end;
  bool ok = true;

  template <typename T>
  T Take() {
    T value{};
    if (at + sizeof(T) > end) {
      ok = false;
      return value;
    }
    std::memcpy(&value, at, sizeof(T));
    at += sizeof(T);
    return value;
  }
  // A name or an ordinal, as templates store menus, classes and texts.
  std::string NameOrOrdinal(WORD* ordinal = nullptr) {
    const WORD first = Take<WORD>();
    if (first == 0xFFFF) {
      const WORD number = Take<WORD>();
      if (ordinal != nullptr) *ordinal = number;
      return "#" + std::to_string(number);
    }
    std::wstring text;
    for (WORD c = first; ok && c != 0; c = Take<WORD>()) text.push_back(static_cast<wchar_t>(c));
    std::string narrow;
    for (wchar_t c : text) narrow.push_back(static_cast<char>(c));  // the templates hold ASCII only
    return narrow;
  }
  void AlignDword(const BYTE* base) {
    while ((at - base) % 4 != 0) ++at;
  }
};

std::string ClassName(const std::string& stored) {
  // Predefined classes may be stored as atoms.
  if (stored == "#128") return "BUTTON";
  if (stored == "#129") return "EDIT";
  if (stored == "#130") return "STATIC";
  if (stored == "#133") return "COMBOBOX";
  return stored;
}

struct ReadControl {
  int id;
  std::string className, text;
  DWORD style, exStyle;
  short x, y, cx, cy;
};

struct ReadDialog {
  bool extended = false;
  DWORD style = 0;
  short cx = 0, cy = 0;
  WORD menu = 0;
  std::string title, face;
  WORD points = 0, weight = 0;
  BYTE charset = 0;
  std::vector<ReadControl> controls;
};

bool ReadTemplate(HMODULE module, int id, ReadDialog* dialog) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), reinterpret_cast<LPCSTR>(RT_DIALOG));
  if (found == nullptr) return false;
  const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
  Reader r{base, base + SizeofResource(module, found)};
  const WORD version = r.Take<WORD>();
  const WORD signature = r.Take<WORD>();
  dialog->extended = version == 1 && signature == 0xFFFF;
  DWORD exStyle = 0;
  if (dialog->extended) {
    r.Take<DWORD>();  // help id
    exStyle = r.Take<DWORD>();
    dialog->style = r.Take<DWORD>();
  } else {
    r.at = base;
    dialog->style = r.Take<DWORD>();
    exStyle = r.Take<DWORD>();
  }
  (void)exStyle;
  const WORD count = r.Take<WORD>();
  r.Take<short>();
  r.Take<short>();
  dialog->cx = r.Take<short>();
  dialog->cy = r.Take<short>();
  r.NameOrOrdinal(&dialog->menu);
  r.NameOrOrdinal();  // class
  dialog->title = r.NameOrOrdinal();
  if (dialog->style & DS_SETFONT) {
    dialog->points = r.Take<WORD>();
    if (dialog->extended) {
      dialog->weight = r.Take<WORD>();
      r.Take<BYTE>();  // italic
      dialog->charset = r.Take<BYTE>();
    }
    dialog->face = r.NameOrOrdinal();
  }
  for (WORD i = 0; i < count && r.ok; ++i) {
    r.AlignDword(base);
    ReadControl control{};
    if (dialog->extended) {
      r.Take<DWORD>();  // help id
      control.exStyle = r.Take<DWORD>();
      control.style = r.Take<DWORD>();
    } else {
      control.style = r.Take<DWORD>();
      control.exStyle = r.Take<DWORD>();
    }
    control.x = r.Take<short>();
    control.y = r.Take<short>();
    control.cx = r.Take<short>();
    control.cy = r.Take<short>();
    control.id = dialog->extended ? static_cast<int>(r.Take<DWORD>()) : static_cast<short>(r.Take<WORD>());
    control.className = ClassName(r.NameOrOrdinal());
    control.text = r.NameOrOrdinal();
    const WORD extra = r.Take<WORD>();
    r.at += extra;
    dialog->controls.push_back(control);
  }
  return r.ok;
}

class ProgramResources : public ::testing::Test {
 protected:
  void SetUp() override {
    module = LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << "cannot read " << ProgramPath();
  }
  void TearDown() override {
    if (module != nullptr) FreeLibrary(module);
  }
  HMODULE module = nullptr;
};

TEST_F(ProgramResources, EveryDialogTemplateMatchesItsTable) {
  for (const DialogRow& want : Dialogs()) {
    SCOPED_TRACE("dialog " + std::to_string(want.id));
    ReadDialog got;
    ASSERT_TRUE(ReadTemplate(module, want.id, &got));
    EXPECT_EQ(got.title, want.title);
    EXPECT_EQ(got.cx, want.cx);
    EXPECT_EQ(got.cy, want.cy);
    EXPECT_EQ(got.extended, want.extended);
    EXPECT_EQ(got.face, "MS Sans Serif");
    EXPECT_EQ(got.points, want.points);
    if (want.extended) {
      EXPECT_EQ(got.weight, want.weight);
      EXPECT_EQ(got.charset, want.charset);
    }
    EXPECT_EQ(got.menu, want.id == IDD_SELECTION ? IDR_SELECTION_MENU : 0);
    // A pop-up with a modal frame, centred, hidden until shown, no system menu (so no close box).
    EXPECT_EQ(got.style & (WS_POPUP | DS_MODALFRAME | DS_CENTER), DWORD(WS_POPUP | DS_MODALFRAME | DS_CENTER));
    EXPECT_EQ(got.style & (WS_SYSMENU | WS_VISIBLE), 0u);
    EXPECT_EQ((got.style & WS_CAPTION) == WS_CAPTION, want.titleBar);

    ASSERT_EQ(got.controls.size(), want.controls.size());
    for (std::size_t i = 0; i < want.controls.size(); ++i) {
      const ControlRow& w = want.controls[i];
      const ReadControl& g = got.controls[i];
      SCOPED_TRACE("control #" + std::to_string(i) + " \"" + w.text + "\"");
      EXPECT_EQ(g.id, w.id);
      EXPECT_STRCASEEQ(g.className.c_str(), w.className);
      EXPECT_EQ(g.text, w.text);
      EXPECT_EQ(g.x, w.x);
      EXPECT_EQ(g.y, w.y);
      EXPECT_EQ(g.cx, w.cx);
      EXPECT_EQ(g.cy, w.cy);
      EXPECT_EQ(g.style & 0xFFFFu, w.typeStyle & 0xFFFFu) << std::hex << g.style;
      EXPECT_EQ(g.style & (WS_BORDER | WS_VSCROLL), w.typeStyle & (WS_BORDER | WS_VSCROLL));
      EXPECT_TRUE(g.style & WS_CHILD);
      EXPECT_EQ((g.style & WS_VISIBLE) == 0, (w.look & kHidden) != 0);
      EXPECT_EQ((g.style & WS_TABSTOP) != 0, (w.look & kTabStop) != 0);
      EXPECT_EQ((g.style & WS_GROUP) != 0, (w.look & kGroup) != 0);
      EXPECT_EQ((g.exStyle & WS_EX_STATICEDGE) != 0, (w.look & kStaticEdge) != 0);
    }
  }
}

TEST_F(ProgramResources, StringTableHoldsExactlyTheMessages) {
  struct Entry {
    int id;
    const char* text;
  };
  const Entry entries[] = {{29, TEXT_29}, {30, TEXT_30}, {32, TEXT_32}, {34, TEXT_34}, {35, TEXT_35},
                           {36, TEXT_36}, {38, TEXT_38}, {39, TEXT_39}, {40, TEXT_40}, {41, TEXT_41},
                           {42, TEXT_42}, {43, TEXT_43}, {44, TEXT_44}, {46, TEXT_46}, {47, TEXT_47},
                           {48, TEXT_48}, {49, TEXT_49}, {50, TEXT_50}, {52, TEXT_52}, {53, TEXT_53},
                           {54, TEXT_54}, {55, TEXT_55}, {57, TEXT_57}, {59, TEXT_59}, {70, TEXT_70}};
  std::vector<bool> expected(80, false);
  for (const Entry& entry : entries) {
    char text[256] = {};
    const int length = LoadStringA(module, entry.id, text, sizeof text);
    EXPECT_EQ(std::string(text, length > 0 ? length : 0), entry.text) << "string " << entry.id;
    expected[entry.id] = true;
  }
  // Line feeds stay single characters: no carriage returns, and the trailing one of 52 and 59 is kept.
  char text[256] = {};
  LoadStringA(module, IDS_MEMORY_SHORT_B, text, sizeof text);
  EXPECT_EQ(std::string(text).back(), '\n');
  for (int id = 0; id < 80; ++id) {
    if (expected[id]) continue;
    char other[8] = {};
    EXPECT_EQ(LoadStringA(module, id, other, sizeof other), 0) << "unexpected string " << id;
  }
}

TEST_F(ProgramResources, SelectionMenuHasTheOneSetupCommand) {
  HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(IDR_SELECTION_MENU));
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(GetMenuItemCount(menu), 1);
  EXPECT_EQ(GetMenuItemID(menu, 0), static_cast<UINT>(IDM_SETUP));
  char text[64] = {};
  GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
  EXPECT_STREQ(text, "Setup(&S)");
  EXPECT_EQ(GetSubMenu(menu, 0), nullptr) << "the item is a command, not a pop-up";
  DestroyMenu(menu);
}

TEST_F(ProgramResources, ProgramIconAndManifestArePresent) {
  EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(IDI_PROGRAM), reinterpret_cast<LPCSTR>(RT_GROUP_ICON)), nullptr);
  HRSRC manifest = FindResourceA(module, MAKEINTRESOURCEA(1), reinterpret_cast<LPCSTR>(RT_MANIFEST));
  ASSERT_NE(manifest, nullptr);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
  const std::string text(bytes, SizeofResource(module, manifest));
  EXPECT_NE(text.find("assemblyIdentity"), std::string::npos);
  // The current common controls (visual styles), per-monitor DPI awareness (version 2 only: the program
  // answers no WM_DPICHANGED, which version 1 leaves to it), Windows 7 to 11, no elevation, and the system's
  // ANSI code page (no activeCodePage).
  for (const char* wanted : {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                             ">PerMonitorV2</dpiAwareness>", ">true</dpiAware>",
                             "level=\"asInvoker\"", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
    EXPECT_NE(text.find(wanted), std::string::npos) << "the manifest lacks " << wanted;
  }
  EXPECT_EQ(text.find("activeCodePage"), std::string::npos);
  for (const char* unwanted : {"true/pm", ">PerMonitor<", ", PerMonitor<"}) {
    EXPECT_EQ(text.find(unwanted), std::string::npos) << "per monitor version 1 is declared: " << unwanted;
  }
}

}  // namespace
}  // namespace su::e2e
