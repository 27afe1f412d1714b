// Sending to a family C keyboard end to end: the real program with its real MIDI code and dialogs, the test
// winmm.dll and the virtual keyboard behind it. Each test runs a copy of the program in a folder of its own,
// with its own settings file naming the virtual ports, so nothing is written beside the shared build.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "resources/strings.h"
#include "tests/e2e/harness.h"
#include "tests/e2e/virtual_stage.h"

namespace su::e2e {
namespace {

using Rows = std::vector<std::vector<std::string>>;

constexpr DWORD kConnectMs = 30000;  // three silent attempts at identification, with time to spare

// A one-note format 0 song whose track carries the title "Road Song".
std::string SmallSong() {
  const std::string title = "Road Song";
  std::string track;
  track += std::string("\x00\xFF\x03", 3) + static_cast<char>(title.size()) + title;
  track += std::string("\x00\x90\x3C\x40\x60\x80\x3C\x00\x00\xFF\x2F\x00", 12);
  std::string file("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0", 21);
  file += static_cast<char>(track.size());
  return file + track;
}

bool IsCommand(const Bytes& m, std::uint8_t command) {
  return m.size() >= 6 && m[0] == 0xF0 && m[1] == 0x44 && m[2] == 0x14 && m[3] == 0x00 && m[4] == command;
}

// Seven-bit bytes back into eight-bit data: the packed bytes form one bit stream, seven bits each.
Bytes Unpack(const Bytes& packed, std::size_t count) {
  Bytes out;
  std::uint32_t bits = 0;
  int held = 0;
  for (std::uint8_t b : packed) {
    bits = (bits << 7) | (b & 0x7F);
    held += 7;
    if (held >= 8) {
      held -= 8;
      out.push_back(static_cast<std::uint8_t>(bits >> held));
      bits &= (1u << held) - 1;
    }
  }
  out.resize(count);
  return out;
}

std::uint32_t BigEndian(const Bytes& four) {
  return (std::uint32_t{four[0]} << 24) | (std::uint32_t{four[1]} << 16) | (std::uint32_t{four[2]} << 8) | four[3];
}

std::uint32_t Crc32(const Bytes& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t b : data) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return ~crc;
}

// A stage with a keyboard of `keyboardLines` behind the virtual ports, a settings file naming those ports, and
// the small song.
struct Stage : VirtualStage {
  explicit Stage(const std::string& keyboardLines)
      : VirtualStage("family_c", "in=Virtual MIDI In\nout=Virtual MIDI Out\n" + keyboardLines) {
    EXPECT_TRUE(WriteFileBytes(settings, "[SONGPORT]\r\nIN=0\r\nOUT=0\r\n"));
    EXPECT_TRUE(WriteFileBytes(song, SmallSong()));
  }
};

const char kThreeSongs[] =
    "model=2\n"
    "slot=0,Old Song,4096\n"
    "slot=1,,500\n"
    "slot=2,Third,2048\n"
    "free=1048576\n";

// OK in the Selection dialog (sending is the first choice), then dialog 138 once its first reading is shown.
HWND OpenSendDialog(Program& program) {
  HWND selection = program.WaitWindow("Selection");
  if (selection == nullptr) return nullptr;
  PressButton(selection, IDOK);
  HWND send = program.WaitWindow("Send the Data", kConnectMs);
  if (send == nullptr) return nullptr;
  const bool read = WaitUntil([&] {
    return ListRowCount(send, IDC_SLOT_LIST) == 10 && ControlText(send, IDC_FREE_SIZE) != "";
  });
  return read ? send : nullptr;
}

// A mouse click in the middle of `row` of the list, as the list view itself receives it, so that it
// selects the row and tells the dialog of the click.
bool ClickListRow(HWND dialog, int row) {
  HWND list = Child(dialog, IDC_SLOT_LIST);
  if (list == nullptr) return false;
  DWORD processId = 0;
  GetWindowThreadProcessId(list, &processId);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
  if (process == nullptr) return false;
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
std::string OnScreen(const Program& program) {
  std::string text;
  for (HWND window : program.Windows()) {
    text += "window \"" + WindowText(window) + "\" (" + ClassOf(window) + ")";
    const std::string message = MessageBoxText(window);
    if (!message.empty()) text += ": " + message;
    text += "\n";
  }
  return text.empty() ? "no window" : text;
}

std::string Describe(const Rows& rows) {
  std::string text;
  for (const auto& row : rows) {
    for (const auto& cell : row) text += "[" + cell + "]";
    text += "\n";
  }
  return text;
}

TEST(FamilyC, RoadOfASendFromTheSelectionToComplete) {
  Stage stage(kThreeSongs);
  Program program(stage.Options());
  ASSERT_TRUE(program.Started());
  HWND send = OpenSendDialog(program);
  ASSERT_NE(send, nullptr) << "dialog 138 never showed the keyboard's slots; on screen:\n" << OnScreen(program);

  const Rows rows = ListRows(send, IDC_SLOT_LIST, 3);
  ASSERT_EQ(rows.size(), 10u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"30", "Old Song", "4KB"})) << Describe(rows);
  EXPECT_EQ(rows[1], (std::vector<std::string>{"31", TEXT_IN_USE_MARKER, "1KB"})) << Describe(rows);
  EXPECT_EQ(rows[2], (std::vector<std::string>{"32", "Third", "2KB"})) << Describe(rows);
  EXPECT_EQ(rows[3], (std::vector<std::string>{"33", "", "0KB"})) << Describe(rows);
  EXPECT_EQ(rows[9][0], "39");
  EXPECT_EQ(ControlText(send, IDC_TOTAL_SIZE), "6");
  EXPECT_EQ(ControlText(send, IDC_FREE_SIZE), "1024");
  EXPECT_EQ(ControlText(send, IDC_FILE_NAME), "song.mid");
  EXPECT_EQ(ControlText(send, IDC_SONG_SIZE), "1");
  EXPECT_TRUE(ListRowSelected(send, IDC_SLOT_LIST, 0));
  EXPECT_FALSE(IsEnabled(send, IDC_DELETE));

  // The converted image sits in the work directory while the dialog is open.
  const std::vector<std::string> workDirs = WorkDirectories(stage.temp);
  ASSERT_EQ(workDirs.size(), 1u);
  const std::string image = ReadWholeFile(stage.temp + "\\" + workDirs[0] + "\\song.sq0");
  ASSERT_FALSE(image.empty());

  ASSERT_TRUE(ClickListRow(send, 3));
  PressButton(send, IDC_SEND);
  HWND box = program.WaitMessageBox();
  ASSERT_NE(box, nullptr) << "no message after Send";
  EXPECT_EQ(MessageBoxText(box), TEXT_40);
  AnswerMessageBox(box, IDOK);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_EQ(program.ExitCode(), 0u);
  EXPECT_TRUE(WorkDirectories(stage.temp).empty());

  // What went over the cable: the identity request first, the announce for slot 3 with the image's size,
  // blocks that unpack to exactly the converted image, and the closing CRC-32 of that image.
  const std::vector<Bytes> sent = stage.SentMessages();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.front(), (Bytes{0xF0, 0x44, 0x14, 0x00, 0x00, 0xF7}));
  Bytes packed;
  const Bytes* announce = nullptr;
  const Bytes* closing = nullptr;
  for (const Bytes& m : sent) {
    if (IsCommand(m, 0x03)) announce = &m;
    if (IsCommand(m, 0x04)) packed.insert(packed.end(), m.begin() + 5, m.end() - 2);
    if (IsCommand(m, 0x05)) closing = &m;
  }
  ASSERT_NE(announce, nullptr);
  ASSERT_NE(closing, nullptr);
  ASSERT_EQ(announce->size(), 12u);
  EXPECT_EQ((*announce)[5], 3);
  EXPECT_EQ(BigEndian(Unpack(Bytes(announce->begin() + 6, announce->begin() + 11), 4)), image.size());
  const Bytes received = Unpack(packed, image.size());
  EXPECT_EQ(received, Bytes(image.begin(), image.end()));
  ASSERT_EQ(closing->size(), 11u);
  EXPECT_EQ(BigEndian(Unpack(Bytes(closing->begin() + 5, closing->begin() + 10), 4)), Crc32(received));
}

TEST(FamilyC, DeletingTheThirdRowRereadsTheSlots) {
  Stage stage(kThreeSongs);
  Program program(stage.Options());
  ASSERT_TRUE(program.Started());
  HWND send = OpenSendDialog(program);
  ASSERT_NE(send, nullptr) << OnScreen(program);

  ASSERT_TRUE(ClickListRow(send, 2));
  ASSERT_TRUE(WaitUntil([&] { return IsEnabled(send, IDC_DELETE); }, 5000))
      << "a click on a slot holding a song leaves Delete disabled";
  PressButton(send, IDC_DELETE);
  HWND question = program.WaitMessageBox();
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(MessageBoxText(question), TEXT_49);
  AnswerMessageBox(question, IDYES);
  ASSERT_TRUE(WaitUntil([&] {
    HWND box = program.FindMessageBox();
    return box != nullptr && box != question && MessageBoxText(box) == TEXT_50;
  })) << "no \"Complete to delete.\"";
  AnswerMessageBox(program.FindMessageBox(), IDOK);

  EXPECT_TRUE(WaitUntil([&] {
    return ListCell(send, IDC_SLOT_LIST, 2, 1).empty() && ListCell(send, IDC_SLOT_LIST, 2, 2) == "0KB" &&
           ControlText(send, IDC_TOTAL_SIZE) == "4";
  })) << Describe(ListRows(send, IDC_SLOT_LIST, 3));
  EXPECT_FALSE(IsEnabled(send, IDC_DELETE));
  PressButton(send, IDC_CANCEL_TRANSFER);
  EXPECT_TRUE(program.WaitExit());

  int deletes = 0;
  for (const Bytes& m : stage.SentMessages()) {
    if (!IsCommand(m, 0x09)) continue;
    ++deletes;
    EXPECT_EQ(m, (Bytes{0xF0, 0x44, 0x14, 0x00, 0x09, 0x02, 0xF7}));
  }
  EXPECT_EQ(deletes, 1);
}

TEST(FamilyC, NoKeyboardAsksMessage34AndNoEndsTheRun) {
  Stage stage("identity=no\n");
  Program program(stage.Options());
  ASSERT_TRUE(program.Started());
  HWND selection = program.WaitWindow("Selection");
  ASSERT_NE(selection, nullptr);
  PressButton(selection, IDOK);

  HWND box = program.WaitMessageBox(kConnectMs);
  ASSERT_NE(box, nullptr) << "no message when no keyboard answers; on screen:\n" << OnScreen(program);
  EXPECT_EQ(MessageBoxText(box), TEXT_34);
  EXPECT_NE(GetDlgItem(box, IDNO), nullptr) << "message 34 is a Yes/No question";
  AnswerMessageBox(box, IDNO);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_EQ(program.ExitCode(), 0u);
  EXPECT_EQ(program.FindWindowTitled("Send the Data"), nullptr);
  EXPECT_TRUE(WorkDirectories(stage.temp).empty());
}

}  // namespace
}  // namespace su::e2e
