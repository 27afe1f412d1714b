// Family B end to end: the real program finds a keyboard of model type 25, 26 or 27 with the family B probe,
// lists its ten slots (61 to 70) with the largest song it accepts, deletes a song and sends the converted
// song over another one; a song larger than the keyboard accepts gets message 59; a keyboard unplugged while
// the slots are read ends the reading with message 38 at once.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "resources/strings.h"
#include "tests/e2e/dialog_actions.h"
#include "tests/e2e/harness.h"
#include "tests/e2e/virtual_stage.h"

namespace su::e2e {
namespace {

using Row = std::vector<std::string>;

constexpr DWORD kConnectMs = 40000;  // identity request and the family A probe go unanswered first

// Frames the program sent to the family B address by their action, area and parameter bytes (5, 6, 13).
std::vector<Bytes> FramesB(const std::vector<Bytes>& sent, std::uint8_t action, std::uint8_t area,
                           std::uint8_t param) {
  std::vector<Bytes> frames;
  for (const Bytes& m : sent) {
    const bool hasParam = m.size() > 14;
    if (m.size() > 8 && m[2] == 0x15 && m[3] == 0x01 && m[5] == action && m[6] == area &&
        (action == 0x06 || action == 0x0D || action == 0x0E || (hasParam && m[13] == param)))
      frames.push_back(m);
  }
  return frames;
}

// The image bytes the data blocks carry, from their word triplets.
Bytes BlockBytes(const std::vector<Bytes>& blocks) {
  Bytes image;
  for (const Bytes& block : blocks) {
    const std::size_t words = static_cast<std::size_t>(block[13]) + 1;
    for (std::size_t w = 0; w < words && 14 + 3 * w + 2 < block.size(); ++w) {
      const std::uint32_t word = block[14 + 3 * w] | block[15 + 3 * w] << 7 | block[16 + 3 * w] << 14;
      image.push_back(static_cast<std::uint8_t>(word >> 8));
      image.push_back(static_cast<std::uint8_t>(word & 0xFF));
    }
  }
  return image;
}

// OK in the Selection dialog, then dialog 150 once its first reading is shown; nullptr when it never is.
HWND OpenDialog150(Program& program) {
  HWND selection = program.WaitWindow("Selection");
  if (selection == nullptr) return nullptr;
  PressButton(selection, IDOK);
  HWND send = program.WaitWindow("Send the Data", kConnectMs);
  if (send == nullptr) return nullptr;
  const bool read = WaitUntil([&] {
    return ListRowCount(send, IDC_SLOT_LIST) == 10 && ControlText(send, IDC_MAX_SONG_SIZE) != "";
  });
  return read ? send : nullptr;
}

// A family B keyboard of `modelByte` holding two songs, behind the virtual ports the settings file names.
std::string KeyboardLines(int modelByte, const char* maxSong) {
  return "in=Virtual MIDI In\nout=Virtual MIDI Out\nfamily=b\nmodel=" + std::to_string(modelByte) +
         "\nslot=0,Evening Song,5000\nslot=2,abc,1\nfree=100000\nmax_song=" + maxSong + "\n";
}

void ListDeleteAndSend(int modelByte) {
  VirtualStage stage("family_b", KeyboardLines(modelByte, "20480"));
  ASSERT_TRUE(WriteFileBytes(stage.settings, "[SONGPORT]\r\nIN=0\r\nOUT=0\r\n"));
  ASSERT_TRUE(WriteFileBytes(stage.song, SmallSong()));
  Program program(stage.Options());
  ASSERT_TRUE(program.Started());
  HWND send = OpenDialog150(program);
  ASSERT_NE(send, nullptr) << "dialog 150 never showed the slots; on screen:\n" << OnScreen(program);

  const auto rows = ListRows(send, IDC_SLOT_LIST, 3);
  EXPECT_EQ(rows[0], (Row{"61", "Evening Song", "4KB"})) << Describe(rows);
  EXPECT_EQ(rows[2], (Row{"63", "abc         ", "1KB"})) << Describe(rows);
  EXPECT_EQ(rows[9], (Row{"70", "", "0KB"})) << Describe(rows);
  EXPECT_EQ(ControlText(send, IDC_TOTAL_SIZE), "4");      // 5001 bytes
  EXPECT_EQ(ControlText(send, IDC_MAX_SONG_SIZE), "20");  // 20480 bytes
  const std::string image = ConvertedImage(stage.temp);
  ASSERT_FALSE(image.empty());

  // Delete the song in slot 61; the list is read again once message 50 is closed.
  EXPECT_EQ(PressAndConfirm(program, send, 0, IDC_DELETE, TEXT_49, TEXT_50), "");
  EXPECT_TRUE(WaitUntil([&] { return ListCell(send, IDC_SLOT_LIST, 0, 1).empty(); }))
      << Describe(ListRows(send, IDC_SLOT_LIST, 3));

  // Send over the song in slot 63.
  EXPECT_EQ(PressAndConfirm(program, send, 2, IDC_SEND, TEXT_39, TEXT_40), "");
  EXPECT_TRUE(program.WaitExit());
  EXPECT_TRUE(WorkDirectories(stage.temp).empty());

  const std::vector<Bytes> sent = stage.SentMessages();
  const std::vector<Bytes> deletes = FramesB(sent, 0x02, 0x00, 0x25);
  ASSERT_EQ(deletes.size(), 1u) << "a replacement deletes nothing first";
  EXPECT_EQ(deletes[0][17], 0);
  const std::vector<Bytes> blocks = FramesB(sent, 0x06, 0x21, 0);
  ASSERT_FALSE(blocks.empty());
  EXPECT_EQ(blocks[0][8], 2);
  const Bytes carried = BlockBytes(blocks);
  ASSERT_GE(carried.size(), image.size());
  EXPECT_EQ(std::string(carried.begin(), carried.begin() + static_cast<std::ptrdiff_t>(image.size())), image);
  EXPECT_EQ(FramesB(sent, 0x0D, 0x21, 0).size(), 1u);
  EXPECT_EQ(FramesB(sent, 0x0E, 0x21, 0).size(), 1u);
}

TEST(FamilyB, ModelType25IsFoundListedAndHasASongDeletedAndReplaced) { ListDeleteAndSend(2); }
TEST(FamilyB, ModelType26IsFoundListedAndHasASongDeletedAndReplaced) { ListDeleteAndSend(1); }
TEST(FamilyB, ModelType27IsFoundListedAndHasASongDeletedAndReplaced) { ListDeleteAndSend(3); }

TEST(FamilyB, ASongLargerThanTheKeyboardAcceptsGetsMessage59AndTheDialogStays) {
  VirtualStage stage("family_b_large", KeyboardLines(2, "16"));
  ASSERT_TRUE(WriteFileBytes(stage.settings, "[SONGPORT]\r\nIN=0\r\nOUT=0\r\n"));
  ASSERT_TRUE(WriteFileBytes(stage.song, SmallSong()));
  Program program(stage.Options());
  ASSERT_TRUE(program.Started());
  HWND send = OpenDialog150(program);
  ASSERT_NE(send, nullptr) << "dialog 150 never showed the slots; on screen:\n" << OnScreen(program);
  EXPECT_EQ(ControlText(send, IDC_MAX_SONG_SIZE), "0");
  PressButton(send, IDC_SEND);
  HWND box = program.WaitMessageBox();
  ASSERT_NE(box, nullptr) << OnScreen(program);
  EXPECT_EQ(MessageBoxText(box), TEXT_59);
  Answer(box, IDOK);
  EXPECT_TRUE(WaitUntil([&] { return IsEnabled(send, IDC_SEND) && IsEnabled(send, IDC_CANCEL_TRANSFER); }));
  EXPECT_FALSE(IsEnabled(send, IDC_DELETE));
  PressButton(send, IDC_CANCEL_TRANSFER);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_TRUE(FramesB(stage.SentMessages(), 0x06, 0x21, 0).empty());
}

TEST(FamilyB, TheDialogAnswersThroughoutThePauseAfterALateBlockAnswer) {
  // The first block's answer comes 3.5 s late: its receive runs out after 3 s, a 3 s pause follows, and the
  // answer, in by then, is taken by the receive after it. Throughout, the dialog must answer a message sent to
  // it within half a second, and no look at it may wait a second (a frozen pause leaves it unanswered 3 s).
  VirtualStage stage("family_b_pause", KeyboardLines(2, "20480") + "late=062100:3500:1\n");
  ASSERT_TRUE(WriteFileBytes(stage.settings, "[SONGPORT]\r\nIN=0\r\nOUT=0\r\n"));
  ASSERT_TRUE(WriteFileBytes(stage.song, SmallSong()));
  Program program(stage.Options());
  ASSERT_TRUE(program.Started());
  HWND send = OpenDialog150(program);
  ASSERT_NE(send, nullptr) << "dialog 150 never showed the slots; on screen:\n" << OnScreen(program);
  ASSERT_TRUE(ClickListRow(send, 2));
  PressButton(send, IDC_SEND);
  HWND box = program.WaitMessageBox();
  ASSERT_NE(box, nullptr) << OnScreen(program);
  ASSERT_EQ(MessageBoxText(box), TEXT_39);
  Answer(box, IDYES);

  // Each look at the program (the probe, and the search for its message box, which asks its windows for their
  // texts) is answered by the dialog's thread: the longest one shows how long the dialog stood frozen.
  const DWORD started = GetTickCount();
  DWORD longest = 0;
  int unanswered = 0;
  for (;;) {
    const DWORD before = GetTickCount();
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(send, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, &result)) ++unanswered;
    const bool ended = program.FindMessageBox() != nullptr;
    longest = std::max(longest, GetTickCount() - before);
    if (ended || GetTickCount() - started > 20000) break;
    Sleep(100);
  }
  const DWORD took = GetTickCount() - started;
  box = program.WaitMessageBox();
  ASSERT_NE(box, nullptr) << OnScreen(program);
  EXPECT_EQ(MessageBoxText(box), TEXT_40);
  EXPECT_GE(took, 5500u) << "the block's answer was not late: no pause was waited through";
  EXPECT_EQ(unanswered, 0);
  EXPECT_LT(longest, 1000u) << "the dialog stood frozen for " << longest << " ms";
  Answer(box, IDOK);
  EXPECT_TRUE(program.WaitExit());
}

TEST(FamilyB, AKeyboardUnpluggedWhileTheSlotsAreReadEndsWithMessage38AtOnce) {
  // The eighth message is the size read of slot 62 (after the identity request, the family A probe's three
  // and the family B probe's model read, slot 61's size and name reads): after it the keyboard is gone, and
  // the driver refuses the next read or the next look at the device.
  constexpr std::size_t kUnplugAfter = 8;
  VirtualStage stage("family_b_unplugged",
                     KeyboardLines(2, "20480") + "unplug_after=" + std::to_string(kUnplugAfter) + "\n");
  ASSERT_TRUE(WriteFileBytes(stage.settings, "[SONGPORT]\r\nIN=0\r\nOUT=0\r\n"));
  ASSERT_TRUE(WriteFileBytes(stage.song, SmallSong()));
  Program program(stage.Options());
  ASSERT_TRUE(program.Started());
  HWND selection = program.WaitWindow("Selection");
  ASSERT_NE(selection, nullptr) << OnScreen(program);
  PressButton(selection, IDOK);

  ASSERT_TRUE(WaitUntil([&] { return stage.SentMessages().size() >= kUnplugAfter; }, kConnectMs)) << OnScreen(program);
  const DWORD unplugged = GetTickCount();
  HWND box = program.WaitMessageBox();
  const DWORD shown = GetTickCount();
  ASSERT_NE(box, nullptr) << OnScreen(program);
  EXPECT_EQ(MessageBoxText(box), TEXT_38);
  // At once: well inside the 3000 ms one unanswered read would wait, however slowly Wine draws the box.
  EXPECT_LT(shown - unplugged, 2000u) << "message 38 came " << shown - unplugged << " ms after the unplugging";
  Answer(box, IDOK);
  EXPECT_TRUE(program.WaitExit());

  // The keyboard went while the slots were read: some size reads went out, the free-memory read never did.
  const std::vector<Bytes> sent = stage.SentMessages();
  EXPECT_EQ(sent.size(), kUnplugAfter);
  const std::size_t sizeReads = FramesB(sent, 0x01, 0x21, 0x02).size();
  EXPECT_GT(sizeReads, 0u);
  EXPECT_LT(sizeReads, 10u);
  EXPECT_TRUE(FramesB(sent, 0x01, 0x00, 0x22).empty());
}

}  // namespace
}  // namespace su::e2e
