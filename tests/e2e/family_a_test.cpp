// Family A end to end: the real program finds a keyboard of model type 21 or 22 with the family A probe,
// lists its ten slots, deletes a song, replaces another with the converted song and writes its name.
#include <gtest/gtest.h>
#include <windows.h>

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

constexpr DWORD kConnectMs = 40000;  // identity request, then up to four silent probe waits

// Frames the program sent to the family A address `low`, by their action, area and parameter bytes.
std::vector<Bytes> FramesA(const std::vector<Bytes>& sent, std::uint8_t low, std::uint8_t action,
                           std::uint8_t area, std::uint8_t param) {
  std::vector<Bytes> frames;
  for (const Bytes& m : sent) {
    if (m.size() > 8 && m[2] == 0x11 && m[3] == low && m[5] == action && m[6] == area && m[7] == param)
      frames.push_back(m);
  }
  return frames;
}

// The image bytes the data blocks carry, from their word triplets.
Bytes BlockBytes(const std::vector<Bytes>& blocks) {
  Bytes image;
  for (const Bytes& block : blocks) {
    const std::size_t words = block[13];
    for (std::size_t w = 0; w < words && 14 + 3 * w + 2 < block.size(); ++w) {
      const std::uint32_t word = block[14 + 3 * w] | block[15 + 3 * w] << 7 | block[16 + 3 * w] << 14;
      image.push_back(static_cast<std::uint8_t>(word >> 8));
      image.push_back(static_cast<std::uint8_t>(word & 0xFF));
    }
  }
  return image;
}

std::string NamePieceText(const Bytes& frame) {
  const std::uint32_t v = frame[12] | frame[13] << 7 | frame[14] << 14 | frame[15] << 21 |
                          static_cast<std::uint32_t>(frame[16]) << 28;
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

struct ModelCase {
  std::uint8_t addressLow;
  const char* settings;
  const char* firstRowName;
  std::string writtenName;
};

void ListDeleteAndReplace(const ModelCase& model) {
  VirtualStage stage("family_a", std::string("in=Virtual MIDI In\nout=Virtual MIDI Out\nfamily=a\n") +
                                     "model_address=0x110" + std::to_string(model.addressLow) + "\n" +
                                     "slot=0,Morning Waltz,4096\nslot=1,Tune,500\nfree=60000\n");
  ASSERT_TRUE(WriteFileBytes(stage.settings, model.settings));
  ASSERT_TRUE(WriteFileBytes(stage.song, SmallSong()));
  Program program(stage.Options());
  ASSERT_TRUE(program.Started());

  HWND selection = program.WaitWindow("Selection");
  ASSERT_NE(selection, nullptr) << OnScreen(program);
  PressButton(selection, IDOK);
  HWND send = program.WaitWindow("Send the Data", kConnectMs);
  ASSERT_NE(send, nullptr) << "dialog 148 did not open; on screen:\n" << OnScreen(program);
  ASSERT_TRUE(WaitUntil([&] { return ListRowCount(send, IDC_SLOT_LIST) == 10 && ControlText(send, IDC_FREE_SIZE) != ""; }))
      << OnScreen(program);
  EXPECT_EQ(ListRows(send, IDC_SLOT_LIST, 3)[0], (Row{"0", model.firstRowName, "4KB"}))
      << Describe(ListRows(send, IDC_SLOT_LIST, 3));
  EXPECT_EQ(ListRows(send, IDC_SLOT_LIST, 3)[9], (Row{"9", "", "0KB"}));
  EXPECT_EQ(ControlText(send, IDC_TOTAL_SIZE), "4");  // 4596 bytes
  EXPECT_EQ(ControlText(send, IDC_FREE_SIZE), "58");  // 60000 bytes
  const std::string image = ConvertedImage(stage.temp);
  ASSERT_FALSE(image.empty());

  // Delete slot 0: asked, deleted, confirmed, and the list read again.
  EXPECT_EQ(PressAndConfirm(program, send, 0, IDC_DELETE, TEXT_49, TEXT_50), "");
  EXPECT_TRUE(WaitUntil([&] { return ListCell(send, IDC_SLOT_LIST, 0, 1).empty(); }))
      << Describe(ListRows(send, IDC_SLOT_LIST, 3));

  // Replace the song in slot 1.
  EXPECT_EQ(PressAndConfirm(program, send, 1, IDC_SEND, TEXT_39, TEXT_40), "");
  EXPECT_TRUE(program.WaitExit());
  EXPECT_TRUE(WorkDirectories(stage.temp).empty());

  const std::vector<Bytes> sent = stage.SentMessages();
  const std::uint8_t low = model.addressLow;
  const std::vector<Bytes> deletes = FramesA(sent, low, 0x00, 0x00, 0x27);
  ASSERT_EQ(deletes.size(), 2u);
  EXPECT_EQ(deletes[0][12], 0);
  EXPECT_EQ(deletes[1][12], 1);
  const Bytes carried = BlockBytes(FramesA(sent, low, 0x04, 0x10, 0x00));
  ASSERT_GE(carried.size(), image.size());
  EXPECT_EQ(std::string(carried.begin(), carried.begin() + static_cast<std::ptrdiff_t>(image.size())), image);
  EXPECT_EQ(FramesA(sent, low, 0x07, 0x10, 0x00).size(), 2u);
  std::string name;
  for (std::uint8_t piece = 0x04; piece <= 0x06; ++piece) {
    for (const Bytes& frame : FramesA(sent, low, 0x00, 0x10, piece)) name += NamePieceText(frame);
  }
  EXPECT_EQ(name, model.writtenName);
}

TEST(FamilyA, ModelType21IsFoundListedAndHasASongDeletedAndReplaced) {
  ListDeleteAndReplace({3, "[SONGPORT]\r\nIN=0\r\nOUT=0\r\n", "Morning Walt", "song        "});
}

TEST(FamilyA, ModelType22IsFoundOnlyWithTheDebugKeyAndKeepsEightCharacterNames) {
  ListDeleteAndReplace({2, "[SONGPORT]\r\nIN=0\r\nOUT=0\r\nDEBUG_ZT52=1\r\n", "Morning ", "song    "});
}

}  // namespace
}  // namespace su::e2e
