// The virtual keyboard on its own: its answers byte for byte, its bookkeeping, the faults it notices, the
// scripted misbehaviour and the config file.
#include "tools/virtual_keyboard/virtual_keyboard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "midi/seven_bit.h"
#include "tests/support/keyboard_rules.h"

namespace su::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Recorder : ReplySink {
  struct Sent {
    Bytes bytes;
    std::uint32_t delayMs;
  };
  std::vector<Sent> sent;
  void Reply(Bytes bytes, std::uint32_t delayMs) override { sent.push_back({std::move(bytes), delayMs}); }
};

Bytes Msg(std::uint8_t command, Bytes params = {}) {
  Bytes m(params.size() + 6, 0xF7);
  const std::uint8_t head[] = {0xF0, 0x44, 0x14, 0x00, command};
  std::copy(head, head + 5, m.begin());
  std::copy(params.begin(), params.end(), m.begin() + 5);
  return m;
}

Bytes Packed32(std::uint32_t v) {
  const std::uint8_t b[4] = {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
  Bytes out(5);
  PackSevenBit(out.data(), b, 4);
  return out;
}

// The data blocks of `image` as the program sends them, with a correct or a spoilt checksum.
std::vector<Bytes> Blocks(const Bytes& image) {
  Bytes packed(PackedLength(static_cast<std::uint32_t>(image.size())));
  PackSevenBit(packed.data(), image.data(), static_cast<std::uint32_t>(image.size()));
  std::vector<Bytes> blocks;
  for (std::size_t at = 0; at < packed.size(); at += 144) {
    Bytes data(packed.begin() + at, packed.begin() + std::min(packed.size(), at + 144));
    std::uint32_t sum = 0;
    for (auto b : data) sum += b;
    data.push_back(static_cast<std::uint8_t>((0u - sum) & 0x7F));
    blocks.push_back(Msg(0x04, data));
  }
  return blocks;
}

Bytes Closing(const Bytes& image) {
  return Msg(0x05, Packed32(Crc32(image.data(), static_cast<std::uint32_t>(image.size()))));
}

class Keyboard : public ::testing::Test {
 protected:
  // Sends one message; the keyboard's last answer (empty when it stayed silent).
  Bytes Send(const Bytes& m) {
    const std::size_t before = sink.sent.size();
    keyboard.OnMessage(m, sink);
    return sink.sent.size() > before ? sink.sent.back().bytes : Bytes{};
  }
  Bytes Announce(std::uint8_t slot, std::uint32_t size) {
    Bytes params = {slot};
    const Bytes s = Packed32(size);
    params.insert(params.end(), s.begin(), s.end());
    return Send(Msg(0x03, params));
  }
  VirtualKeyboard keyboard{[] {
    KeyboardConfig c;
    c.freeMemory = 1048576;
    c.slots[3] = {1, "Song", 4096, Bytes(4096)};
    return c;
  }()};
  Recorder sink;
};

const Bytes kAck = {0xF0, 0x44, 0x14, 0x00, 0x06, 0xF7};
Bytes Refusal(std::uint8_t code) { return {0xF0, 0x44, 0x14, 0x00, 0x07, code, 0xF7}; }

TEST_F(Keyboard, AnswersReadsWithTheWorkedExampleFrames) {
  EXPECT_EQ(Send(Msg(0x01, {3})), (Bytes{0xF0, 0x44, 0x14, 0x00, 0x06, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x29,
                                         0x5B, 0x6D, 0x66, 0x38, 0xF7}));
  EXPECT_EQ(Send(Msg(0x01, {0})), (Bytes{0xF0, 0x44, 0x14, 0x00, 0x06, 0x00, 0, 0, 0, 0, 0, 0xF7}));
  EXPECT_EQ(Send(Msg(0x0A)), (Bytes{0xF0, 0x44, 0x14, 0x00, 0x06, 0x00, 0x04, 0x00, 0x00, 0x00, 0xF7}));
  EXPECT_EQ(Send(Msg(0x01, {10})), Refusal(kKbBadRequest)) << "slot 10 of 10 does not exist";
}

TEST_F(Keyboard, IdentityReplyCarriesModelByteAndInformation) {
  KeyboardConfig c;
  c.modelByte = 11;
  c.modelInfo = {0x01, 0x23, 0x45, 0x67};
  VirtualKeyboard identified(c);
  identified.OnMessage({0xF0, 0x44, 0x14, 0x00, 0x00, 0xF7}, sink);
  ASSERT_EQ(sink.sent.size(), 1u);
  EXPECT_EQ(sink.sent[0].bytes, (Bytes{0xF0, 0x44, 0x14, 0x00, 0x00, 11, 0x01, 0x23, 0x45, 0x67, 0xF7}));
  // Probes at other model addresses go unanswered but are recorded.
  identified.OnMessage({0xF0, 0x44, 0x11, 0x03, 0x7F, 0x01, 0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0xF7}, sink);
  EXPECT_EQ(sink.sent.size(), 1u);
  EXPECT_EQ(identified.Received().size(), 2u);
}

TEST_F(Keyboard, AcceptedSongReplacesTheSlotAndFreeMemoryFollows) {
  Bytes image(300);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_EQ(Announce(3, 300), kAck);
  for (const Bytes& block : Blocks(image)) ASSERT_EQ(Send(block), kAck);
  ASSERT_EQ(Send(Closing(image)), kAck);
  EXPECT_TRUE(keyboard.Faults().empty());
  EXPECT_EQ(keyboard.Slot(3).contents, image);
  EXPECT_EQ(keyboard.Slot(3).size, 300u);
  EXPECT_EQ(keyboard.Slot(3).name, "") << "random bytes are no song image, so they have no title";
  EXPECT_EQ(keyboard.FreeMemory(), 1048576u + 4096u - 300u) << "the replaced song's room comes back";

  ASSERT_EQ(Send(Msg(0x09, {3})), kAck);
  EXPECT_EQ(keyboard.Slot(3).status, 0);
  EXPECT_EQ(keyboard.FreeMemory(), 1048576u + 4096u);
}

TEST_F(Keyboard, RefusesASongThatDoesNotFitEvenCountingTheSlotItReplaces) {
  EXPECT_EQ(Announce(3, 1048576 + 4096 + 1), Refusal(kKbNoMemory));
  EXPECT_EQ(Announce(0, 1048576 + 1), Refusal(kKbNoMemory));
  EXPECT_EQ(Announce(0, 1048576), kAck);
}

TEST_F(Keyboard, NoticesFaultsInWhatTheProgramSends) {
  Bytes image(200, 0x5A);
  std::vector<Bytes> blocks = Blocks(image);
  EXPECT_EQ(Send(blocks[0]), Refusal(kKbNoTransfer)) << "a block before any announce";
  ASSERT_EQ(Announce(1, 200), kAck);
  Bytes spoilt = blocks[0];
  spoilt[10] ^= 0x01;
  EXPECT_EQ(Send(spoilt), Refusal(kKbBadChecksum));
  EXPECT_EQ(Send(blocks[1]), Refusal(kKbOutOfOrder)) << "the short last block first";
  EXPECT_EQ(Send(Closing(image)), Refusal(kKbOutOfOrder)) << "closing before every block";
  ASSERT_EQ(Send(blocks[0]), kAck);
  ASSERT_EQ(Send(blocks[1]), kAck);
  image[0] ^= 1;
  EXPECT_EQ(Send(Closing(image)), Refusal(kKbBadCrc));
  EXPECT_EQ(keyboard.Faults().size(), 5u);
  EXPECT_EQ(keyboard.Slot(1).status, 0) << "a song with a wrong CRC-32 is not kept";
}

TEST_F(Keyboard, RulesSkipThenActTheGivenNumberOfTimes) {
  keyboard.AddRule(Refuse(0x0A, 1, /*times=*/2, /*skip=*/1));
  keyboard.AddRule(Late(kAnyCommand, 250));
  EXPECT_EQ(Send(Msg(0x0A)).size(), 11u);
  EXPECT_EQ(sink.sent.back().delayMs, 250u) << "the late rule acts when the refusal lets a message through";
  EXPECT_EQ(Send(Msg(0x0A)), Refusal(1));
  EXPECT_EQ(Send(Msg(0x0A)), Refusal(1));
  EXPECT_EQ(Send(Msg(0x0A)).size(), 11u);
}

TEST_F(Keyboard, JunkFramesPrecedeTheAnswerTheGivenNumberOfTimes) {
  keyboard.SetJunk({JunkFrame::TooShort, JunkFrame::OtherAddress}, 1);
  Send(Msg(0x0A));
  ASSERT_EQ(sink.sent.size(), 3u);
  EXPECT_EQ(sink.sent[0].bytes, (Bytes{0xF0, 0x44, 0x14, 0x00, 0xF7}));
  EXPECT_EQ(sink.sent[1].bytes[3], 0x01);
  EXPECT_LT(sink.sent[1].delayMs, sink.sent[2].delayMs) << "the real answer comes last";
  Send(Msg(0x0A));
  EXPECT_EQ(sink.sent.size(), 4u);
}

TEST(KeyboardConfigFile, ReadsEveryKey) {
  const std::string text =
      "# a keyboard for the send test\n"
      "model = 0x0B\n"
      "model_info=01234567\n"
      "identity=no\n"
      "slots=5\n"
      "slot=2,Intro, take 2,1500\n"
      "slot_status=4,2\n"
      "free=2000\n"
      "\n"
      "delay_ms=40\n"
      "refuse=04:8:4\n"
      "silent=any:always:3\n"
      "late=0x05:5000:1\n"
      "junk=other_address,broken_framing,too_short,other_code\n"
      "junk_times=2\n";
  KeyboardConfig c;
  std::string error;
  ASSERT_TRUE(ParseKeyboardConfig(text, &c, &error)) << error;
  EXPECT_EQ(c.modelByte, 11);
  EXPECT_EQ(c.modelInfo, (std::array<std::uint8_t, 4>{0x01, 0x23, 0x45, 0x67}));
  EXPECT_FALSE(c.answersIdentity);
  ASSERT_EQ(c.slots.size(), 5u);
  EXPECT_EQ(c.slots[2].name, "Intro, take 2");
  EXPECT_EQ(c.slots[2].size, 1500u);
  EXPECT_EQ(c.slots[2].status, 1);
  EXPECT_EQ(c.slots[4].status, 2);
  EXPECT_EQ(c.freeMemory, 2000u);
  EXPECT_EQ(c.replyDelayMs, 40u);
  ASSERT_EQ(c.rules.size(), 3u);
  EXPECT_EQ(c.rules[0].action, KeyboardRule::Action::Refuse);
  EXPECT_EQ(c.rules[0].command, 4);
  EXPECT_EQ(c.rules[0].code, 8);
  EXPECT_EQ(c.rules[0].times, 4u);
  EXPECT_EQ(c.rules[1].command, kAnyCommand);
  EXPECT_EQ(c.rules[1].times, kForever);
  EXPECT_EQ(c.rules[1].skip, 3u);
  EXPECT_EQ(c.rules[2].action, KeyboardRule::Action::Late);
  EXPECT_EQ(c.rules[2].delayMs, 5000u);
  EXPECT_EQ(c.junk.size(), 4u);
  EXPECT_EQ(c.junkTimes, 2u);
}

class BadConfigLine : public ::testing::TestWithParam<const char*> {};

TEST_P(BadConfigLine, IsRefusedNamingItsLine) {
  KeyboardConfig c;
  std::string error;
  EXPECT_FALSE(ParseKeyboardConfig(std::string("model=2\n") + GetParam() + "\n", &c, &error));
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(Lines, BadConfigLine,
                         ::testing::Values("colour=red", "model=0x80", "model=-1", "model_info=0123456",
                                           "model_info=0123456g", "slots=0", "slot=10,Late,5", "slot=1,5",
                                           "free=4294967296", "refuse=04", "refuse=04:8:some", "silent=zz",
                                           "junk=noise", "identity=maybe", "just words", "family=d",
                                           "model_address=0x1104", "not_ready=once", "silent=0x800000"));

}  // namespace
}  // namespace su::test
