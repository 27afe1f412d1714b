// The family A keyboard on its own: its answers byte for byte, a song received in blocks, names, deleting,
// the faults it notices and the scripted misbehaviour, all driven by frames built here from the frame table.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tools/virtual_keyboard/virtual_keyboard.h"
#include "tools/virtual_midi/vmidi_config.h"

namespace su::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// F0 44 11 ss b4 action area param byte8 slot 00 <tail> F7.
Bytes Frame(std::uint8_t b4, std::uint8_t action, std::uint8_t area, std::uint8_t param, std::uint8_t byte8,
            std::uint8_t slot, Bytes tail, std::uint8_t ss = 3) {
  Bytes f = {0xF0, 0x44, 0x11, ss, b4, action, area, param, byte8, slot, 0x00};
  for (std::uint8_t b : tail) f.push_back(b);  // byte by byte: insert draws a false array-bounds warning
  f.push_back(0xF7);
  return f;
}
Bytes Read(std::uint8_t area, std::uint8_t param, std::uint8_t byte8, std::uint8_t slot = 0, std::uint8_t ss = 3) {
  return Frame(0x7F, 0x01, area, param, byte8, slot, {0x00}, ss);
}
Bytes Answer(std::uint8_t area, std::uint8_t param, std::uint8_t byte8, std::uint8_t slot, Bytes value,
             std::uint8_t ss = 3) {
  value.insert(value.begin(), 0x00);
  return Frame(0x00, 0x00, area, param, byte8, slot, value, ss);
}
Bytes NameWrite(std::uint8_t slot, std::uint8_t piece, Bytes value, std::uint8_t ss = 3) {
  value.insert(value.begin(), 0x00);
  return Frame(0x7F, 0x00, 0x10, piece, 0x1F, slot, value, ss);
}
Bytes Delete(std::uint8_t slot) { return Frame(0x7F, 0x00, 0x00, 0x27, 0x0F, 0x00, {0x00, slot, 0x00, 0x00}); }
Bytes Closing(std::uint8_t slot, std::uint8_t last) { return Frame(0x7F, 0x07, 0x10, 0x00, 0x00, slot, {last}); }
Bytes BlockAnswer(std::uint8_t slot, std::uint8_t code) { return Frame(0x00, 0x07, 0x10, 0x00, 0x00, slot, {code}); }
// Block k of `image`: 128 bytes as 64 words in triplets (an odd last byte padded with a zero), then the checksum.
Bytes Block(std::uint8_t slot, std::uint32_t k, const Bytes& image) {
  const std::size_t from = 128 * k, to = std::min(image.size(), from + 128);
  Bytes tail = {std::uint8_t(k & 0x7F), std::uint8_t(k >> 7), std::uint8_t((to - from + 1) / 2)};
  std::uint32_t sum = 0;
  for (std::size_t i = from; i < to; i += 2) {
    const std::uint32_t w = image[i] << 8 | (i + 1 < to ? image[i + 1] : 0);
    for (std::uint8_t b : {std::uint8_t(w & 0x7F), std::uint8_t((w >> 7) & 0x7F), std::uint8_t(w >> 14)}) {
      tail.push_back(b);
      sum += b;
    }
  }
  tail.push_back(std::uint8_t((0u - sum) & 0x7F));
  return Frame(0x7F, 0x04, 0x10, 0x00, 0x4F, slot, tail);
}

class FamilyA : public ::testing::Test, public ReplySink {
 protected:
  void Reply(Bytes bytes, std::uint32_t delayMs) override { sent.push_back({std::move(bytes), delayMs}); }
  VirtualKeyboard& Use(const std::string& extra = "") {
    KeyboardConfig c;
    std::string error;
    EXPECT_TRUE(ParseKeyboardConfig("family=a\nslot=2,Morning Waltz,5120\nslot=3,MYSONG,300\nslot=4,Na\x01me,10\n"
                                    "slot_status=5,2\nfree=10000\n" + extra, &c, &error)) << error;
    kb = std::make_unique<VirtualKeyboard>(c);
    sent.clear();
    return *kb;
  }
  // The keyboard's last answer to `m` (empty when it stayed silent).
  Bytes Send(const Bytes& m) {
    const std::size_t before = sent.size();
    kb->OnMessage(m, *this);
    return sent.size() > before ? sent.back().first : Bytes{};
  }
  std::unique_ptr<VirtualKeyboard> kb;
  std::vector<std::pair<Bytes, std::uint32_t>> sent;
};

TEST_F(FamilyA, AnswersEachReadByteForByte) {
  const struct {
    const char* what;
    const char* config;
    std::uint8_t ss, area, param, byte8, slot;
    Bytes value;  // bytes 12..16
  } cases[] = {
      {"model 0x1103", "", 3, 0x00, 0x00, 0x0D, 0, {2, 0, 0, 0, 0}},
      {"model 0x1102", "model_address=0x1102", 2, 0x00, 0x00, 0x0D, 0, {5, 0, 0, 0, 0}},
      {"model configured", "model_value=0x12345678", 3, 0x00, 0x00, 0x0D, 0, {0x78, 0x2C, 0x51, 0x11, 0x01}},
      {"ready", "", 3, 0x00, 0x20, 0x06, 0, {0, 0, 0, 0, 0}},
      {"free memory", "", 3, 0x00, 0x22, 0x1F, 0, {0x10, 0x4E, 0, 0, 0}},
      {"used", "", 3, 0x10, 0x00, 0x00, 2, {1, 0, 0, 0, 0}},
      {"empty", "", 3, 0x10, 0x00, 0x00, 0, {0, 0, 0, 0, 0}},
      {"used byte 02", "", 3, 0x10, 0x00, 0x00, 5, {2, 0, 0, 0, 0}},
      {"size", "", 3, 0x10, 0x03, 0x1F, 2, {0x00, 0x28, 0, 0, 0}},
      {"name MYSO", "", 3, 0x10, 0x04, 0x1F, 3, {0x4F, 0x26, 0x65, 0x6A, 0x04}},
      {"name NG + spaces", "", 3, 0x10, 0x05, 0x1F, 3, {0x20, 0x40, 0x1C, 0x72, 0x04}},
      {"name all spaces", "", 3, 0x10, 0x06, 0x1F, 3, {0x20, 0x40, 0x00, 0x01, 0x02}},
      {"name cut at 12: Walt", "", 3, 0x10, 0x06, 0x1F, 2, {0x74, 0x58, 0x05, 0x3B, 0x05}},
      {"name bytes as stored", "", 3, 0x10, 0x04, 0x1F, 4, {0x6D, 0x02, 0x04, 0x73, 0x04}},
      {"8-character name", "model_address=0x1102", 2, 0x10, 0x05, 0x1F, 3, {0x20, 0x40, 0x1C, 0x72, 0x04}},
  };
  for (const auto& c : cases) {
    Use(c.config);
    EXPECT_EQ(Send(Read(c.area, c.param, c.byte8, c.slot, c.ss)),
              Answer(c.area, c.param, c.byte8, c.slot, c.value, c.ss))
        << c.what;
    EXPECT_TRUE(kb->Faults().empty()) << c.what;
  }
}

TEST_F(FamilyA, LeavesOtherAddressesUnansweredAndRecordsMalformedFrames) {
  const struct {
    const char* what;
    const char* config;
    Bytes frame;
    std::size_t faults;
  } cases[] = {
      {"identity request", "", {0xF0, 0x44, 0x14, 0x00, 0x00, 0xF7}, 0},
      {"the other family A address", "", Read(0x00, 0x00, 0x0D, 0, 2), 0},
      {"wrong byte 8", "", Read(0x00, 0x22, 0x0D), 1},
      {"slot 10", "", Read(0x10, 0x00, 0x00, 10), 1},
      {"bit 7 set", "", Read(0x10, 0x03, 0x9F, 2), 1},
      {"cut short", "", {0xF0, 0x44, 0x11, 0x03, 0x7F, 0x01, 0x00, 0x22, 0x1F, 0xF7}, 1},
      {"third name piece at 0x1102", "model_address=0x1102", Read(0x10, 0x06, 0x1F, 3, 2), 1},
  };
  for (const auto& c : cases) {
    Use(c.config);
    EXPECT_EQ(Send(c.frame), Bytes{}) << c.what;
    EXPECT_EQ(kb->Faults().size(), c.faults) << c.what;
    EXPECT_EQ(kb->Received().size(), 1u) << c.what;
  }
}

TEST_F(FamilyA, StoresASongOfTwoBlocksAfterTheSecondClosingFrame) {
  for (std::size_t size : {130, 131}) {
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i) image[i] = std::uint8_t(i * 37 + 11);
    Use();
    ASSERT_EQ(Block(7, 0, image).size(), 208u);
    for (std::uint32_t k = 0; k < 2; ++k) EXPECT_EQ(Send(Block(7, k, image)), BlockAnswer(7, 0)) << size;
    EXPECT_EQ(Send(Closing(7, 0x00)), Bytes{});
    EXPECT_EQ(kb->Slot(7).status, 0) << "nothing is stored before the second closing frame";
    EXPECT_EQ(Send(Closing(7, 0x05)), Bytes{});

    image.resize((size + 1) / 2 * 2, 0);
    const KeyboardSlot slot = kb->Slot(7);
    EXPECT_EQ(slot.status, 1);
    EXPECT_EQ(slot.contents, image) << size;
    EXPECT_EQ(slot.size, image.size());
    EXPECT_EQ(slot.name, std::string(12, ' '));
    EXPECT_EQ(kb->FreeMemory(), 10000u - image.size());
    EXPECT_EQ(kb->BlocksPerTransfer(), std::vector<std::uint32_t>{2});
    EXPECT_EQ(kb->CountReceivedA(kKeyAClosing), 2u);
    EXPECT_TRUE(kb->Faults().empty()) << kb->Faults().front();
  }
}

TEST_F(FamilyA, WritesNamesAndDeletesSlotsFreeingTheirMemory) {
  Use();
  Send(NameWrite(0, 0x04, {0x4F, 0x26, 0x65, 0x6A, 0x04}));
  Send(NameWrite(0, 0x05, {0x20, 0x40, 0x1C, 0x72, 0x04}));
  EXPECT_EQ(kb->Slot(0).name, "MYSONG      ");
  EXPECT_EQ(Send(Delete(2)), Bytes{});
  EXPECT_EQ(kb->Slot(2).status, 0);
  Send(Delete(2));
  EXPECT_EQ(Send(Read(0x00, 0x22, 0x1F)), Answer(0x00, 0x22, 0x1F, 0, {0x10, 0x76, 0, 0, 0}))
      << "10000 + 5120 once: an empty slot frees nothing";
  EXPECT_TRUE(kb->Faults().empty()) << kb->Faults().front();

  Use("model_address=0x1102");
  Send(NameWrite(3, 0x04, {0x20, 0x40, 0x00, 0x01, 0x02}, 2));
  EXPECT_EQ(kb->Slot(3).name, "    NG  ") << "8 characters at 0x1102";
  Send(NameWrite(3, 0x06, {0x20, 0x40, 0x00, 0x01, 0x02}, 2));
  EXPECT_EQ(kb->Faults().size(), 1u) << "no third piece at 0x1102";
}

TEST_F(FamilyA, AnswersSpoiltBlocksWithCode2AndRecordsThem) {
  const struct {
    const char* what;
    void (*spoil)(Bytes&);
  } cases[] = {
      {"checksum", [](Bytes& b) { b[b.size() - 2] ^= 1; }},
      {"length", [](Bytes& b) { b.erase(b.end() - 5, b.end() - 2); }},
      {"third byte above 3", [](Bytes& b) { b[16] += 3, b[14] -= 3; }},
      {"block 1 first", [](Bytes& b) { b[11] = 1; }},
  };
  for (const auto& c : cases) {
    Use();
    Bytes block = Block(1, 0, Bytes(300, 0x5A));
    c.spoil(block);
    EXPECT_EQ(Send(block), BlockAnswer(1, 2)) << c.what;
    EXPECT_EQ(kb->Faults().size(), 1u) << c.what;
  }
  Use();
  Send(Block(1, 0, Bytes(10, 1)));
  EXPECT_EQ(Send(Block(1, 1, Bytes(300, 0x5A))), BlockAnswer(1, 2)) << "a block after a short one";
}

TEST_F(FamilyA, MisbehavesAsScripted) {
  const Bytes image(200, 0x33), free = Read(0x00, 0x22, 0x1F), ready = Read(0x00, 0x20, 0x06);
  const Bytes freeAnswer = Answer(0x00, 0x22, 0x1F, 0, {0x10, 0x4E, 0, 0, 0});
  const struct {
    const char* config;
    std::vector<std::pair<Bytes, Bytes>> exchange;  // each message and the answer it gets
  } cases[] = {
      {"silent=any", {{free, {}}, {Block(0, 0, image), {}}}},
      {"silent=010022:1", {{free, {}}, {free, freeAnswer}}},
      {"not_ready=1",
       {{ready, Answer(0, 0x20, 6, 0, {1, 0, 0, 0, 0})}, {ready, Answer(0, 0x20, 6, 0, {0, 0, 0, 0, 0})}}},
      {"refuse=041000:2:1:1", {{Block(0, 0, image), BlockAnswer(0, 0)}, {Block(0, 1, image), BlockAnswer(0, 2)}}},
      {"refuse=041000:3:1:1",
       {{Block(0, 0, image), BlockAnswer(0, 0)}, {Block(0, 1, image), BlockAnswer(0, 3)},
        {Block(0, 0, image), BlockAnswer(0, 0)}, {Block(0, 1, image), BlockAnswer(0, 0)}}},
  };
  for (const auto& c : cases) {
    Use(c.config);
    for (const auto& [message, answer] : c.exchange) EXPECT_EQ(Send(message), answer) << c.config;
    EXPECT_TRUE(kb->Faults().empty()) << c.config;
  }
  EXPECT_EQ(kb->Restarts(), 1u) << "the last case started over once";
  EXPECT_EQ(kb->BlocksPerTransfer(), (std::vector<std::uint32_t>{1, 2}));
  Use("late=010022:750");
  Send(free);
  EXPECT_EQ(sent.back().second, 750u);
}

TEST_F(FamilyA, SendsJunkWithAWrongValueBeforeTheRealAnswer) {
  const Bytes spoilt = Answer(0x00, 0x22, 0x1F, 0, {0x7F, 0x7F, 0x7F, 0x7F, 0x0F});
  auto with = [&](std::size_t at, std::uint8_t v) { Bytes b = spoilt; b[at] = v; return b; };
  const struct {
    const char* kind;
    Bytes request, junk;
  } cases[] = {
      {"other_address", Read(0x00, 0x22, 0x1F), with(3, 0x02)},
      {"broken_framing", Read(0x00, 0x22, 0x1F), Bytes(spoilt.begin(), spoilt.end() - 1)},
      {"too_short", Read(0x00, 0x22, 0x1F), {0xF0, 0x44, 0x11, 0x03, 0, 0, 0, 0x22, 0x1F, 0, 0, 0, 0x7F, 0x7F, 0xF7}},
      {"other_code", Read(0x00, 0x22, 0x1F), with(7, 0x23)},
      {"other_maker", Read(0x00, 0x22, 0x1F), with(1, 0x43)},
      {"too_short", Block(0, 0, Bytes(4, 1)), {0xF0, 0x44, 0x11, 0x03, 0x00, 0x07, 0x10, 0x00, 0x00, 0x00, 0xF7}},
  };
  for (const auto& c : cases) {
    Use(std::string("junk=") + c.kind + "\njunk_times=1\n");
    Send(c.request);
    ASSERT_EQ(sent.size(), 2u) << c.kind;
    EXPECT_EQ(sent[0].first, c.junk) << c.kind;
    EXPECT_LT(sent[0].second, sent[1].second) << c.kind;
    Send(c.request);
    EXPECT_EQ(sent.size(), 3u) << c.kind << ": junk only once";
  }
}

// The demo configs of scripts/run go through the virtual MIDI interface's reader, which hands the keyboard
// every line it does not know; each must give a keyboard of the family it promises.
TEST(DemoConfig, ReachesTheKeyboardThroughTheInterface) {
  for (const auto& [file, family] : {std::pair{"demo.cfg", KeyboardFamily::C}, {"demo_a.cfg", KeyboardFamily::A},
                                     {"demo_b.cfg", KeyboardFamily::B}}) {
    std::ifstream in(std::string(SU_DEMO_CONFIG_DIR) + "/" + file);
    std::stringstream text;
    text << in.rdbuf();
    VirtualMidiConfig midi;
    KeyboardConfig c;
    std::string error;
    ASSERT_TRUE(in && ParseVirtualMidiConfig(text.str(), &midi, &error)) << file << ": " << error;
    ASSERT_TRUE(ParseKeyboardConfig(midi.keyboardText, &c, &error)) << file << ": " << error;
    EXPECT_EQ(c.family, family) << file;
    EXPECT_EQ(midi.inNames, std::vector<std::string>{"Virtual MIDI In"}) << file;
  }
}

}  // namespace
}  // namespace su::test
