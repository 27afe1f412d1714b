// Sending to a family C keyboard end to end: the real program with its real MIDI code and dialogs, the test
// winmm.dll and the virtual keyboard behind it. Each test runs a copy of the program in a folder of its own,
// with its own settings file naming the virtual ports, so nothing is written beside the shared build.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "resources/strings.h"
#include "tests/e2e/dialog_actions.h"
#include "tests/e2e/harness.h"
#include "tests/e2e/virtual_stage.h"

namespace su::e2e {
namespace {

using Rows = std::vector<std::vector<std::string>>;

constexpr DWORD kConnectMs = 30000;  // three silent attempts at identification, with time to spare

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

// OK in the Selection dialog (sending is the first choice), then dialog 138 once its first reading, of
// `rows` slots, is shown.
HWND OpenSendDialog(Program& program, int rows = 10) {
  HWND selection = program.WaitWindow("Selection");
  if (selection == nullptr) return nullptr;
  PressButton(selection, IDOK);
  HWND send = program.WaitWindow("Send the Data", kConnectMs);
  if (send == nullptr) return nullptr;
  const bool read = WaitUntil([&] {
    return ListRowCount(send, IDC_SLOT_LIST) == rows && ControlText(send, IDC_FREE_SIZE) != "";
  });
  return read ? send : nullptr;
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

// A message box other than `previous` whose text is `text`; nullptr when none comes in time.
HWND WaitForBoxSaying(const Program& program, HWND previous, const std::string& text, DWORD timeoutMs = kWaitMs) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        HWND box = program.FindMessageBox();
        if (box == nullptr || box == previous || MessageBoxText(box) != text) return false;
        found = box;
        return true;
      },
      timeoutMs);
  return found;
}

// Sends into the empty fourth row of kThreeSongs; the keyboard's extra lines decide how that goes.
struct SendIntoFourthRow {
  Stage stage;
  Program program;
  HWND send = nullptr;
  explicit SendIntoFourthRow(const std::string& keyboardLines)
      : stage(std::string(kThreeSongs) + keyboardLines), program(stage.Options()) {
    send = OpenSendDialog(program);
    if (send != nullptr && ClickListRow(send, 3)) PressButton(send, IDC_SEND);
  }
};

TEST(FamilyC, KeyboardFallingSilentDuringTheBlocksEndsWithTheTimeoutAndCleansUp) {
  SendIntoFourthRow run("silent=04\n");
  ASSERT_NE(run.send, nullptr) << OnScreen(run.program);
  HWND box = WaitForBoxSaying(run.program, nullptr, TEXT_38);
  ASSERT_NE(box, nullptr) << "no timeout message; on screen:\n" << OnScreen(run.program);
  EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr) << "a raised failure is shown without owner";
  EXPECT_FALSE(IsWindowVisible(run.send)) << "the transfer dialog is given up with the failure";
  AnswerMessageBox(box, IDOK);
  EXPECT_TRUE(run.program.WaitExit());
  EXPECT_TRUE(WorkDirectories(run.stage.temp).empty());
}

TEST(FamilyC, CancelWhileTheKeyboardChecksTheSongAsksFirstAndYesEndsWithTheTimeout) {
  SendIntoFourthRow run("silent=05\n");
  ASSERT_NE(run.send, nullptr) << OnScreen(run.program);
  HWND sending = run.program.WaitWindow("Now sending...");
  ASSERT_NE(sending, nullptr) << "box 139 never came up; on screen:\n" << OnScreen(run.program);
  EXPECT_EQ(GetWindow(sending, GW_OWNER), run.send) << "box 139 belongs to the transfer dialog";

  // No leaves the transfer waiting for the keyboard.
  PressButton(sending, IDCANCEL);
  HWND question = WaitForBoxSaying(run.program, nullptr, TEXT_41);
  ASSERT_NE(question, nullptr) << OnScreen(run.program);
  EXPECT_EQ(GetWindow(question, GW_OWNER), sending) << "message 41 belongs to box 139";
  AnswerMessageBox(question, IDNO);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(question); }));
  Sleep(3500);  // longer than one receive: a wrongly set flag would have ended the wait by now
  EXPECT_TRUE(IsWindow(sending)) << "No ended the wait";
  EXPECT_EQ(run.program.FindMessageBox(), nullptr);

  // Yes ends it, once the receive under way returns, with the timeout message.
  PressButton(sending, IDCANCEL);
  question = WaitForBoxSaying(run.program, nullptr, TEXT_41);
  ASSERT_NE(question, nullptr) << OnScreen(run.program);
  AnswerMessageBox(question, IDYES);
  HWND box = WaitForBoxSaying(run.program, question, TEXT_38);
  ASSERT_NE(box, nullptr) << OnScreen(run.program);
  EXPECT_FALSE(IsWindow(sending)) << "box 139 is destroyed before the failure is shown";
  AnswerMessageBox(box, IDOK);
  EXPECT_TRUE(run.program.WaitExit());
  EXPECT_TRUE(WorkDirectories(run.stage.temp).empty());
}

// --- every family C model, end to end ---

// One row of the identity table joined with the slot layout the model's keyboard shows.
struct ModelCase {
  int modelByte;     // byte 5 of the identity reply
  int modelType;     // what the program makes of it
  bool keepsInfo;    // whether the model information bytes reach the converter
  int slotCount;
  int firstLabel;    // the labels count up by one from here
};

void PrintTo(const ModelCase& c, std::ostream* os) {
  *os << "model byte " << c.modelByte << " -> type " << c.modelType << " (" << c.slotCount << " slots \""
      << c.firstLabel << "\"..\"" << c.firstLabel + c.slotCount - 1 << "\""
      << (c.keepsInfo ? ", keeps model info)" : ")");
}

std::string CaseName(const testing::TestParamInfo<ModelCase>& info) {
  return "Byte" + std::to_string(info.param.modelByte) + "_Type" + std::to_string(info.param.modelType) +
         (info.param.keepsInfo ? "_WithInfo" : "");
}

const ModelCase kModels[] = {
    {2, 4, false, 10, 30},   {3, 5, false, 10, 25},   {4, 6, false, 10, 80},   {5, 7, false, 10, 50},
    {6, 8, false, 10, 40},   {7, 9, false, 10, 30},   {8, 10, false, 10, 0},   {9, 11, false, 10, 30},
    {10, 12, false, 10, 20}, {11, 13, true, 5, 60},   {12, 14, false, 5, 65},  {13, 15, false, 10, 50},
    {14, 16, false, 10, 40}, {15, 17, true, 5, 50},   {16, 18, true, 15, 65},  {17, 19, true, 10, 65},
    {18, 20, true, 5, 50},   {19, 23, false, 10, 70}, {20, 24, false, 10, 50}, {21, 28, true, 5, 101},
};

// The four model information bytes each keyboard reports: bit 7 clear, as inside any System Exclusive
// message; the last one differs per model and the first is below 0x10, so a dropped leading zero shows.
std::string ModelInfoHex(const ModelCase& c) {
  char text[9];
  std::snprintf(text, sizeof text, "0a2b3c%02x", c.modelByte);
  return text;
}

std::string ModelCodeHex(const ModelCase& c) {
  char text[4];
  std::snprintf(text, sizeof text, "%x", c.modelByte);
  return text;
}

// The fields our song image records besides the events: title, model code and model info, each a length
// byte and that many bytes after the 20-byte head. False when the image is not ours or is cut short.
struct ImageTags {
  std::string title, modelCode, modelInfo;
};

bool ReadImageTags(const Bytes& image, ImageTags* tags) {
  if (image.size() < 21 || std::string(image.begin(), image.begin() + 4) != "SQSI") return false;
  std::size_t at = 20;
  for (std::string* field : {&tags->title, &tags->modelCode, &tags->modelInfo}) {
    if (at >= image.size() || at + 1 + image[at] > image.size()) return false;
    field->assign(image.begin() + at + 1, image.begin() + at + 1 + image[at]);
    at += 1 + image[at];
  }
  return true;
}

// The keyboard's config lines for a keyboard of `c` with `lastSlot` (a "name,size" pair, or empty) in its
// last slot.
std::string ModelKeyboard(const ModelCase& c, const std::string& lastSlot) {
  std::string lines = "model=" + std::to_string(c.modelByte) +
                      "\nmodel_info=" + ModelInfoHex(c) + "\nslots=" + std::to_string(c.slotCount) + "\n";
  if (!lastSlot.empty()) lines += "slot=" + std::to_string(c.slotCount - 1) + "," + lastSlot + "\n";
  return lines;
}

// Waits for a message box other than `previous` that shows `text`; nullptr after the time-out.
HWND WaitMessageBoxSaying(const Program& program, const std::string& text, HWND previous = nullptr) {
  HWND found = nullptr;
  WaitUntil([&] {
    HWND box = program.FindMessageBox();
    if (box == nullptr || box == previous || MessageBoxText(box) != text) return false;
    found = box;
    return true;
  });
  return found;
}

// The slot numbers of the slot reads (command 01) among `messages`, in order.
std::vector<int> SlotReads(const std::vector<Bytes>& messages) {
  std::vector<int> slots;
  for (const Bytes& m : messages) {
    if (IsCommand(m, 0x01) && m.size() == 7) slots.push_back(m[5]);
  }
  return slots;
}

std::vector<int> Count(int n) {
  std::vector<int> numbers;
  for (int i = 0; i < n; ++i) numbers.push_back(i);
  return numbers;
}

// The program's copy for these tests goes by a name of its own, so that the Wine setting below reaches only
// it.
constexpr char kModelsExe[] = "SongUploaderModels.exe";

struct ModelStage : VirtualStage {
  explicit ModelStage(const std::string& keyboardLines)
      : VirtualStage("family_c_models", "in=Virtual MIDI In\nout=Virtual MIDI Out\n" + keyboardLines, kModelsExe) {
    EXPECT_TRUE(WriteFileBytes(settings, "[SONGPORT]\r\nIN=0\r\nOUT=0\r\n"));
    EXPECT_TRUE(WriteFileBytes(song, SmallSong()));
  }
};

class FamilyCModels : public testing::TestWithParam<ModelCase> {};

// One keyboard of each model: the program identifies it, lists its slots under the model's own labels, sends
// the song into the last slot over the song already there, and in a second run deletes it again.
TEST_P(FamilyCModels, SendsIntoTheLastSlotAndDeletesItInTheNextRun) {
  const ModelCase& c = GetParam();
  const int last = c.slotCount - 1;
  ModelStage stage(ModelKeyboard(c, "Old Song,3000"));

  // First run: list, then send into the last slot.
  Bytes image;
  {
    Program program(stage.Options());
    ASSERT_TRUE(program.Started());
    HWND send = OpenSendDialog(program, c.slotCount);
    ASSERT_NE(send, nullptr) << "dialog 138 never listed " << c.slotCount << " slots; on screen:\n"
                             << OnScreen(program);
    const Rows rows = ListRows(send, IDC_SLOT_LIST, 3);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(c.slotCount));
    for (int i = 0; i < c.slotCount; ++i) {
      EXPECT_EQ(rows[i][0], std::to_string(c.firstLabel + i)) << "label of row " << i << "\n" << Describe(rows);
    }
    EXPECT_EQ(rows[last], (std::vector<std::string>{std::to_string(c.firstLabel + last), "Old Song", "2KB"}))
        << Describe(rows);

    const std::vector<std::string> workDirs = WorkDirectories(stage.temp);
    ASSERT_EQ(workDirs.size(), 1u);
    const std::string converted = ReadWholeFile(stage.temp + "\\" + workDirs[0] + "\\song.sq0");
    ASSERT_FALSE(converted.empty()) << "no song.sq0 in the work directory";
    image.assign(converted.begin(), converted.end());

    ASSERT_TRUE(ClickListRow(send, last)) << "cannot select row " << last;
    PressButton(send, IDC_SEND);
    HWND question = WaitMessageBoxSaying(program, TEXT_39);
    ASSERT_NE(question, nullptr) << "no replacement question for the occupied slot; on screen:\n"
                                 << OnScreen(program);
    AnswerMessageBox(question, IDYES);
    HWND done = WaitMessageBoxSaying(program, TEXT_40, question);
    ASSERT_NE(done, nullptr) << "no \"Complete!\"; on screen:\n" << OnScreen(program);
    AnswerMessageBox(done, IDOK);
    EXPECT_TRUE(program.WaitExit());
  }

  // The converter was told which keyboard it converts for.
  ImageTags tags;
  ASSERT_TRUE(ReadImageTags(image, &tags)) << "song.sq0 is not a song image of ours";
  EXPECT_EQ(tags.title, "Road Song");
  EXPECT_EQ(tags.modelCode, ModelCodeHex(c));
  EXPECT_EQ(tags.modelInfo, c.keepsInfo ? ModelInfoHex(c) : "");

  // What the keyboard received: the identity request, one read of each of its slots in order, the announce
  // naming the last slot with the image's size, blocks that unpack to the image and its CRC-32.
  const std::vector<Bytes> firstRun = stage.SentMessages();
  ASSERT_FALSE(firstRun.empty());
  EXPECT_EQ(firstRun.front(), (Bytes{0xF0, 0x44, 0x14, 0x00, 0x00, 0xF7}));
  std::vector<int> listing = Count(c.slotCount);
  listing.push_back(last);  // the question whether the chosen slot holds a song
  EXPECT_EQ(SlotReads(firstRun), listing);
  Bytes packed;
  std::vector<const Bytes*> announces, closings;
  for (const Bytes& m : firstRun) {
    if (IsCommand(m, 0x03)) announces.push_back(&m);
    if (IsCommand(m, 0x04)) packed.insert(packed.end(), m.begin() + 5, m.end() - 2);
    if (IsCommand(m, 0x05)) closings.push_back(&m);
  }
  ASSERT_EQ(announces.size(), 1u);
  ASSERT_EQ(closings.size(), 1u);
  const Bytes& announce = *announces[0];
  ASSERT_EQ(announce.size(), 12u);
  EXPECT_EQ(announce[5], last);
  EXPECT_EQ(BigEndian(Unpack(Bytes(announce.begin() + 6, announce.begin() + 11), 4)), image.size());
  const Bytes received = Unpack(packed, image.size());
  EXPECT_EQ(received, image) << "the blocks do not carry the converted image";
  const Bytes& closing = *closings[0];
  ASSERT_EQ(closing.size(), 11u);
  EXPECT_EQ(BigEndian(Unpack(Bytes(closing.begin() + 5, closing.begin() + 10), 4)), Crc32(image));

  // Second run: a keyboard that kept the song in its last slot (the log goes on in the same file); delete it.
  ASSERT_TRUE(WriteFileBytes(stage.config, "in=Virtual MIDI In\nout=Virtual MIDI Out\n" +
                                               ModelKeyboard(c, "Road Song," + std::to_string(image.size())) +
                                               "log=" + stage.frames + "\ntrace=" + stage.trace + "\n"));
  {
    Program program(stage.Options());
    ASSERT_TRUE(program.Started());
    HWND send = OpenSendDialog(program, c.slotCount);
    ASSERT_NE(send, nullptr) << "the second run never listed the slots; on screen:\n" << OnScreen(program);
    EXPECT_EQ(ListCell(send, IDC_SLOT_LIST, last, 1), "Road Song");
    ASSERT_TRUE(ClickListRow(send, last)) << "cannot select row " << last;
    ASSERT_TRUE(WaitUntil([&] { return IsEnabled(send, IDC_DELETE); }, 5000))
        << "a click on the slot holding the song leaves Delete disabled";
    PressButton(send, IDC_DELETE);
    HWND question = WaitMessageBoxSaying(program, TEXT_49);
    ASSERT_NE(question, nullptr) << OnScreen(program);
    AnswerMessageBox(question, IDYES);
    HWND done = WaitMessageBoxSaying(program, TEXT_50, question);
    ASSERT_NE(done, nullptr) << "no \"Complete to delete.\"; on screen:\n" << OnScreen(program);
    AnswerMessageBox(done, IDOK);
    EXPECT_TRUE(WaitUntil([&] {
      return ListRowCount(send, IDC_SLOT_LIST) == c.slotCount && ListCell(send, IDC_SLOT_LIST, last, 1).empty() &&
             ListCell(send, IDC_SLOT_LIST, last, 2) == "0KB";
    })) << "the last slot still lists a song:\n" << Describe(ListRows(send, IDC_SLOT_LIST, 3));
    PressButton(send, IDC_CANCEL_TRANSFER);
    EXPECT_TRUE(program.WaitExit());
  }

  const std::vector<Bytes> all = stage.SentMessages();
  ASSERT_GT(all.size(), firstRun.size());
  int deletes = 0;
  for (std::size_t i = firstRun.size(); i < all.size(); ++i) {
    if (!IsCommand(all[i], 0x09)) continue;
    ++deletes;
    EXPECT_EQ(all[i], (Bytes{0xF0, 0x44, 0x14, 0x00, 0x09, static_cast<std::uint8_t>(last), 0xF7}));
  }
  EXPECT_EQ(deletes, 1);

  // A case that failed keeps its folders for a look at the log and the config.
  if (!HasFailure()) {
    RemoveFolderTree(stage.folder);
    RemoveFolderTree(stage.temp);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryModel, FamilyCModels, testing::ValuesIn(kModels), CaseName);

}  // namespace
}  // namespace su::e2e
