// The family A keyboard on its own: its answers byte for byte, a song received in blocks, names, deleting,
// the faults it notices and the scripted misbehaviour, all driven by frames built here from the frame table.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/virtual_keyboard/virtual_keyboard.h"
#include "tools/virtual_midi/vmidi_config.h"

namespace su::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Recorder : ReplySink {
  std::vector<Bytes> sent;
  std::vector<std::uint32_t> delays;
  void Reply(Bytes bytes, std::uint32_t delayMs) override {
    sent.push_back(std::move(bytes));
    delays.push_back(delayMs);
  }
};

Bytes Read(std::uint8_t area, std::uint8_t param, std::uint8_t byte8, std::uint8_t slot = 0, std::uint8_t ss = 3) {
  return {0xF0, 0x44, 0x11, ss, 0x7F, 0x01, area, param, byte8, slot, 0x00, 0x00, 0xF7};
}
Bytes Answer(std::uint8_t area, std::uint8_t param, std::uint8_t byte8, std::uint8_t slot, Bytes value,
             std::uint8_t ss = 3) {
  Bytes a = {0xF0, 0x44, 0x11, ss, 0x00, 0x00, area, param, byte8, slot, 0x00, 0x00};
  a.insert(a.end(), value.begin(), value.end());
  a.push_back(0xF7);
  return a;
}
Bytes NameWrite(std::uint8_t slot, std::uint8_t piece, Bytes value, std::uint8_t ss = 3) {
  Bytes m = {0xF0, 0x44, 0x11, ss, 0x7F, 0x00, 0x10, piece, 0x1F, slot, 0x00, 0x00};
  m.insert(m.end(), value.begin(), value.end());
  m.push_back(0xF7);
  return m;
}
Bytes Delete(std::uint8_t slot) {
  return {0xF0, 0x44, 0x11, 0x03, 0x7F, 0x00, 0x00, 0x27, 0x0F, 0x00, 0x00, 0x00, slot, 0x00, 0x00, 0xF7};
}
Bytes Closing(std::uint8_t slot, std::uint8_t last) {
  return {0xF0, 0x44, 0x11, 0x03, 0x7F, 0x07, 0x10, 0x00, 0x00, slot, 0x00, last, 0xF7};
}
// Block k of `image` (128 bytes a block, an odd last byte padded with a zero).
Bytes Block(std::uint8_t slot, std::uint32_t k, const Bytes& image) {
  Bytes m = {0xF0, 0x44, 0x11, 0x03, 0x7F, 0x04, 0x10, 0x00, 0x4F, slot, 0x00, std::uint8_t(k & 0x7F),
             std::uint8_t(k >> 7)};
  const std::size_t from = 128 * k, to = std::min(image.size(), from + 128);
  m.push_back(std::uint8_t((to - from + 1) / 2));
  std::uint32_t sum = 0;
  for (std::size_t i = from; i < to; i += 2) {
    const std::uint32_t w = image[i] << 8 | (i + 1 < to ? image[i + 1] : 0);
    for (std::uint8_t b : {std::uint8_t(w & 0x7F), std::uint8_t((w >> 7) & 0x7F), std::uint8_t(w >> 14)}) {
      m.push_back(b);
      sum += b;
    }
  }
  m.push_back(std::uint8_t((0u - sum) & 0x7F));
  m.push_back(0xF7);
  return m;
}
Bytes BlockAnswer(std::uint8_t slot, std::uint8_t code) {
  return {0xF0, 0x44, 0x11, 0x03, 0x00, 0x07, 0x10, 0x00, 0x00, slot, 0x00, code, 0xF7};
}

const char kBase[] =
    "family=a\nslot=2,Morning Waltz,5120\nslot=3,MYSONG,300\nslot=4,Na\x01me,10\nslot_status=5,2\nfree=10000\n";

VirtualKeyboard Make(const std::string& extra = "") {
  KeyboardConfig c;
  std::string error;
  EXPECT_TRUE(ParseKeyboardConfig(kBase + extra, &c, &error)) << error;
  return VirtualKeyboard(c);
}

// The keyboard's last answer to `m` (empty when it stayed silent).
Bytes Send(VirtualKeyboard& kb, Recorder& sink, const Bytes& m) {
  const std::size_t before = sink.sent.size();
  kb.OnMessage(m, sink);
  return sink.sent.size() > before ? sink.sent.back() : Bytes{};
}

struct ReadCase {
  const char* name;
  const char* config;
  std::uint8_t ss, area, param, byte8, slot;
  Bytes value;  // bytes 12..16 of the answer
};

class ReadAnswers : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadAnswers, AreTheFrameTableByteForByte) {
  const ReadCase& c = GetParam();
  VirtualKeyboard kb = Make(c.config);
  Recorder sink;
  EXPECT_EQ(Send(kb, sink, Read(c.area, c.param, c.byte8, c.slot, c.ss)),
            Answer(c.area, c.param, c.byte8, c.slot, c.value, c.ss));
  EXPECT_TRUE(kb.Faults().empty()) << kb.Faults().front();
}

INSTANTIATE_TEST_SUITE_P(
    FamilyA, ReadAnswers,
    ::testing::Values(
        ReadCase{"Model1103", "", 3, 0x00, 0x00, 0x0D, 0, {2, 0, 0, 0, 0}},
        ReadCase{"Model1102", "model_address=0x1102", 2, 0x00, 0x00, 0x0D, 0, {5, 0, 0, 0, 0}},
        ReadCase{"ModelConfigured", "model_value=0x12345678", 3, 0x00, 0x00, 0x0D, 0, {0x78, 0x2C, 0x51, 0x11, 0x01}},
        ReadCase{"Ready", "", 3, 0x00, 0x20, 0x06, 0, {0, 0, 0, 0, 0}},
        ReadCase{"FreeMemory", "", 3, 0x00, 0x22, 0x1F, 0, {0x10, 0x4E, 0, 0, 0}},
        ReadCase{"UsedSlot", "", 3, 0x10, 0x00, 0x00, 2, {1, 0, 0, 0, 0}},
        ReadCase{"EmptySlot", "", 3, 0x10, 0x00, 0x00, 0, {0, 0, 0, 0, 0}},
        ReadCase{"UsedByte02", "", 3, 0x10, 0x00, 0x00, 5, {2, 0, 0, 0, 0}},
        ReadCase{"Size", "", 3, 0x10, 0x03, 0x1F, 2, {0x00, 0x28, 0, 0, 0}},
        ReadCase{"NamePiece04", "", 3, 0x10, 0x04, 0x1F, 3, {0x4F, 0x26, 0x65, 0x6A, 0x04}},
        ReadCase{"NamePiece05PaddedWithSpaces", "", 3, 0x10, 0x05, 0x1F, 3, {0x20, 0x40, 0x1C, 0x72, 0x04}},
        ReadCase{"NamePiece06AllSpaces", "", 3, 0x10, 0x06, 0x1F, 3, {0x20, 0x40, 0x00, 0x01, 0x02}},
        ReadCase{"NameCutAt12", "", 3, 0x10, 0x06, 0x1F, 2, {0x74, 0x58, 0x05, 0x3B, 0x05}},  // "Walt"
        ReadCase{"NameBytesAsStored", "", 3, 0x10, 0x04, 0x1F, 4, {0x6D, 0x02, 0x04, 0x73, 0x04}},
        ReadCase{"NameOf8At1102", "model_address=0x1102", 2, 0x10, 0x05, 0x1F, 3, {0x20, 0x40, 0x1C, 0x72, 0x04}}),
    [](const auto& info) { return std::string(info.param.name); });

// Frames a family A keyboard leaves unanswered; the malformed ones are also recorded as faults.
TEST(FamilyAKeyboard, LeavesOtherAddressesAndMalformedReadsUnanswered) {
  const struct {
    const char* what;
    Bytes frame;
    std::size_t faults;
  } cases[] = {
      {"identity request", {0xF0, 0x44, 0x14, 0x00, 0x00, 0xF7}, 0},
      {"the other family A address", Read(0x00, 0x00, 0x0D, 0, 2), 0},
      {"family B probe", {0xF0, 0x44, 0x15, 0x01, 0x7F, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF7}, 0},
      {"wrong byte 8", Read(0x00, 0x22, 0x0D), 1},
      {"slot 10", Read(0x10, 0x00, 0x00, 10), 1},
      {"unknown parameter", Read(0x00, 0x21, 0x1F), 1},
      {"bit 7 set", Read(0x10, 0x03, 0x9F, 2), 1},
      {"cut short", {0xF0, 0x44, 0x11, 0x03, 0x7F, 0x01, 0x00, 0x22, 0x1F, 0xF7}, 1},
  };
  for (const auto& c : cases) {
    VirtualKeyboard kb = Make();
    Recorder sink;
    EXPECT_EQ(Send(kb, sink, c.frame), Bytes{}) << c.what;
    EXPECT_EQ(kb.Faults().size(), c.faults) << c.what;
    EXPECT_EQ(kb.Received().size(), 1u) << c.what;
  }
  VirtualKeyboard narrow = Make("model_address=0x1102");
  Recorder sink;
  EXPECT_EQ(Send(narrow, sink, Read(0x10, 0x06, 0x1F, 3, 2)), Bytes{}) << "no third name piece at 0x1102";
}

class SongSend : public ::testing::TestWithParam<std::size_t> {};

TEST_P(SongSend, FillsTheSlotAfterTheSecondClosingFrame) {
  Bytes image(GetParam());
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = std::uint8_t(i * 37 + 11);
  VirtualKeyboard kb = Make();
  Recorder sink;
  EXPECT_EQ(Block(7, 0, image).size(), 208u);
  for (std::uint32_t k = 0; k < 2; ++k) EXPECT_EQ(Send(kb, sink, Block(7, k, image)), BlockAnswer(7, 0)) << k;
  EXPECT_EQ(Send(kb, sink, Closing(7, 0x00)), Bytes{});
  EXPECT_EQ(kb.Slot(7).status, 0) << "nothing is stored before the second closing frame";
  EXPECT_EQ(Send(kb, sink, Closing(7, 0x05)), Bytes{});

  Bytes padded = image;
  padded.resize((image.size() + 1) / 2 * 2, 0);
  const KeyboardSlot slot = kb.Slot(7);
  EXPECT_EQ(slot.status, 1);
  EXPECT_EQ(slot.size, padded.size());
  EXPECT_EQ(slot.contents, padded);
  EXPECT_EQ(slot.name, std::string(12, ' '));
  EXPECT_EQ(kb.FreeMemory(), 10000u - padded.size());
  EXPECT_EQ(kb.BlocksPerTransfer(), std::vector<std::uint32_t>{2});
  EXPECT_TRUE(kb.Faults().empty()) << kb.Faults().front();
}

INSTANTIATE_TEST_SUITE_P(EvenAndOddSizes, SongSend, ::testing::Values(130, 131));

TEST(FamilyAKeyboard, WritesNamesAndDeletesSlotsFreeingTheirMemory) {
  VirtualKeyboard kb = Make();
  Recorder sink;
  Send(kb, sink, NameWrite(0, 0x04, {0x4F, 0x26, 0x65, 0x6A, 0x04}));
  Send(kb, sink, NameWrite(0, 0x05, {0x20, 0x40, 0x1C, 0x72, 0x04}));
  EXPECT_EQ(kb.Slot(0).name, "MYSONG      ");
  EXPECT_EQ(Send(kb, sink, Read(0x10, 0x05, 0x1F, 0)), Answer(0x10, 0x05, 0x1F, 0, {0x20, 0x40, 0x1C, 0x72, 0x04}));

  EXPECT_EQ(Send(kb, sink, Delete(2)), Bytes{});
  EXPECT_EQ(kb.Slot(2).status, 0);
  EXPECT_EQ(kb.FreeMemory(), 10000u + 5120u);
  Send(kb, sink, Delete(2));
  EXPECT_EQ(kb.FreeMemory(), 10000u + 5120u) << "an empty slot frees nothing";
  EXPECT_EQ(Send(kb, sink, Read(0x00, 0x22, 0x1F)), Answer(0x00, 0x22, 0x1F, 0, {0x10, 0x76, 0x00, 0, 0}));

  VirtualKeyboard narrow = Make("model_address=0x1102");
  Send(narrow, sink, NameWrite(3, 0x04, {0x20, 0x40, 0x00, 0x01, 0x02}, 2));
  EXPECT_EQ(narrow.Slot(3).name, "    NG  ") << "8 characters at 0x1102";
  Send(narrow, sink, NameWrite(3, 0x06, {0x20, 0x40, 0x00, 0x01, 0x02}, 2));
  EXPECT_EQ(narrow.Faults().size(), 1u) << "no third piece at 0x1102";
  EXPECT_TRUE(kb.Faults().empty()) << kb.Faults().front();
}

// A block the program spoilt is answered with code 2 (stop) and recorded.
TEST(FamilyAKeyboard, StopsAndRecordsSpoiltBlocks) {
  const Bytes image(300, 0x5A);
  const struct {
    const char* what;
    std::uint32_t k;
    void (*spoil)(Bytes&);
  } cases[] = {
      {"checksum", 0, [](Bytes& b) { b[b.size() - 2] ^= 1; }},
      {"length", 0, [](Bytes& b) { b.erase(b.end() - 5, b.end() - 2); }},
      {"third byte above 3", 0, [](Bytes& b) { b[16] += 3, b[14] -= 3; }},
      {"block 1 before block 0", 1, [](Bytes&) {}},
      {"after a short block", 3, [](Bytes& b) { b[11] = 1; }},
  };
  for (const auto& c : cases) {
    VirtualKeyboard kb = Make();
    Recorder sink;
    if (c.k == 3) Send(kb, sink, Block(1, 0, Bytes(10, 1)));
    Bytes block = Block(1, c.k == 3 ? 0 : c.k, image);
    c.spoil(block);
    EXPECT_EQ(Send(kb, sink, block).at(11), 2) << c.what;
    EXPECT_EQ(kb.Faults().size(), 1u) << c.what;
  }
}

// Scripted misbehaviour from config lines: each row sends its frames and expects these answers in turn.
TEST(FamilyAKeyboard, MisbehavesAsScripted) {
  const Bytes image(200, 0x33);
  const Bytes free = Read(0x00, 0x22, 0x1F), freeAnswer = Answer(0x00, 0x22, 0x1F, 0, {0x10, 0x4E, 0, 0, 0});
  const Bytes ready = Read(0x00, 0x20, 0x06);
  const struct {
    const char* config;
    std::vector<std::pair<Bytes, Bytes>> exchange;
  } cases[] = {
      {"silent=any", {{free, {}}, {Block(0, 0, image), {}}}},
      {"silent=010022:1", {{free, {}}, {free, freeAnswer}}},
      {"not_ready=1", {{ready, Answer(0x00, 0x20, 0x06, 0, {1, 0, 0, 0, 0})}, {ready, Answer(0x00, 0x20, 0x06, 0, {0, 0, 0, 0, 0})}}},
      {"refuse=041000:2:1:1", {{Block(0, 0, image), BlockAnswer(0, 0)}, {Block(0, 1, image), BlockAnswer(0, 2)}}},
      {"refuse=041000:3:1:1",
       {{Block(0, 0, image), BlockAnswer(0, 0)},
        {Block(0, 1, image), BlockAnswer(0, 3)},
        {Block(0, 0, image), BlockAnswer(0, 0)},
        {Block(0, 1, image), BlockAnswer(0, 0)}}},
  };
  for (const auto& c : cases) {
    VirtualKeyboard kb = Make(c.config);
    Recorder sink;
    for (const auto& [message, answer] : c.exchange) EXPECT_EQ(Send(kb, sink, message), answer) << c.config;
    EXPECT_TRUE(kb.Faults().empty()) << c.config;
  }
  VirtualKeyboard restarted = Make("refuse=041000:3:1:1");
  Recorder sink;
  for (std::uint32_t k : {0, 1, 0, 1}) Send(restarted, sink, Block(0, k, image));
  EXPECT_EQ(restarted.Restarts(), 1u);
  EXPECT_EQ(restarted.BlocksPerTransfer(), (std::vector<std::uint32_t>{1, 2}));
  VirtualKeyboard late = Make("late=010022:750");
  late.OnMessage(free, sink);
  EXPECT_EQ(sink.delays.back(), 750u);
}

// Junk before an answer: a copy with a wrong value, spoilt in one way each.
TEST(FamilyAKeyboard, SendsJunkBeforeTheRealAnswer) {
  const Bytes spoilt = {0xF0, 0x44, 0x11, 0x03, 0x00, 0x00, 0x00, 0x22, 0x1F, 0x00, 0x00, 0x00,
                        0x7F, 0x7F, 0x7F, 0x7F, 0x0F, 0xF7};
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
    VirtualKeyboard kb = Make(std::string("junk=") + c.kind + "\njunk_times=1\n");
    Recorder sink;
    Send(kb, sink, c.request);
    ASSERT_EQ(sink.sent.size(), 2u) << c.kind;
    EXPECT_EQ(sink.sent[0], c.junk) << c.kind;
    EXPECT_LT(sink.delays[0], sink.delays[1]) << c.kind;
    Send(kb, sink, c.request);
    EXPECT_EQ(sink.sent.size(), 3u) << c.kind << ": junk only once";
  }
}

// The virtual MIDI interface hands every line it does not know to the keyboard.
TEST(FamilyAKeyboard, WorksBehindTheVirtualMidiInterfaceConfig) {
  VirtualMidiConfig midi;
  std::string error;
  ASSERT_TRUE(ParseVirtualMidiConfig("in=A in\nout=A out\nfamily=a\nmodel_address=0x1102\nslot=1,Intro,300\n"
                                     "not_ready=1\n",
                                     &midi, &error))
      << error;
  KeyboardConfig c;
  ASSERT_TRUE(ParseKeyboardConfig(midi.keyboardText, &c, &error)) << error;
  VirtualKeyboard kb(c);
  Recorder sink;
  EXPECT_EQ(Send(kb, sink, Read(0x00, 0x00, 0x0D, 0, 2)), Answer(0x00, 0x00, 0x0D, 0, {5, 0, 0, 0, 0}, 2));
  EXPECT_EQ(Send(kb, sink, Read(0x10, 0x03, 0x1F, 1, 2)), Answer(0x10, 0x03, 0x1F, 1, {0x2C, 0x02, 0, 0, 0}, 2));
  EXPECT_EQ(Send(kb, sink, Read(0x00, 0x20, 0x06, 0, 2)).at(12), 1);
}

// The demo configs of scripts/run must stay readable, and each must give the family it promises.
TEST(DemoConfig, DescribesAKeyboardOfItsFamily) {
  for (const auto& [file, family] : {std::pair{"demo.cfg", KeyboardFamily::C}, {"demo_a.cfg", KeyboardFamily::A}}) {
    std::ifstream in(std::string(SU_DEMO_CONFIG_DIR) + "/" + file);
    std::stringstream text;
    text << in.rdbuf();
    VirtualMidiConfig midi;
    KeyboardConfig c;
    std::string error;
    ASSERT_TRUE(in && ParseVirtualMidiConfig(text.str(), &midi, &error)) << file << ": " << error;
    ASSERT_TRUE(ParseKeyboardConfig(midi.keyboardText, &c, &error)) << file << ": " << error;
    EXPECT_EQ(c.family, family) << file;
  }
}

}  // namespace
}  // namespace su::test
