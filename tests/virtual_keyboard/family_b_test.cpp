// The family B keyboard on its own: its answers byte for byte, a song received in blocks, deleting, the
// faults it notices and the scripted misbehaviour, all driven by frames built here from the frame table.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/virtual_keyboard/virtual_keyboard.h"

namespace su::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// F0 44 15 01 b4 action area 00 slot 00 00 00 00 param 00 00 byte16 <tail> F7.
Bytes Frame(std::uint8_t b4, std::uint8_t action, std::uint8_t area, std::uint8_t slot, std::uint8_t param,
            std::uint8_t byte16, const Bytes& tail) {
  Bytes f = {0xF0, 0x44, 0x15, 0x01, b4, action, area, 0x00, slot, 0x00, 0x00, 0x00, 0x00, param, 0x00, 0x00, byte16};
  for (std::uint8_t b : tail) f.push_back(b);
  f.push_back(0xF7);
  return f;
}
Bytes Read(std::uint8_t area, std::uint8_t param, std::uint8_t slot = 0) {
  return Frame(0x7F, 0x01, area, slot, param, area == 0x21 && param == 0x00 ? 0x0B : 0x00, {});
}
Bytes Answer(std::uint8_t area, std::uint8_t param, std::uint8_t slot, const Bytes& value) {
  return Frame(0x00, 0x02, area, slot, param, area == 0x21 && param == 0x00 ? 0x0B : 0x00, value);
}
Bytes Delete(std::uint8_t slot) { return Frame(0x7F, 0x02, 0x00, 0x00, 0x25, 0x00, {slot}); }
Bytes Closing(std::uint8_t slot, std::uint8_t action) {
  return {0xF0, 0x44, 0x15, 0x01, 0x7F, action, 0x21, 0x00, slot, 0x00, 0xF7};
}
Bytes BlockAnswer(std::uint8_t slot, std::uint8_t code) {
  return {0xF0, 0x44, 0x15, 0x01, 0x00, code, 0x21, 0x00, slot, 0x00, 0xF7};
}
Bytes Septets(std::uint32_t v) {
  return {std::uint8_t(v & 0x7F), std::uint8_t(v >> 7 & 0x7F), std::uint8_t(v >> 14 & 0x7F),
          std::uint8_t(v >> 21 & 0x7F), std::uint8_t(v >> 28)};
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Padded(std::string s) {
  s.resize(12, ' ');
  return Text(s);
}
// Block k of `image` (of even size): up to 128 bytes as word triplets, then the checksum.
Bytes Block(std::uint8_t slot, std::uint32_t k, const Bytes& image) {
  const std::size_t from = 128 * std::size_t{k}, to = std::min(image.size(), from + 128);
  Bytes f = {0xF0, 0x44, 0x15, 0x01, 0x7F, 0x06, 0x21, 0x00, slot, 0x00, std::uint8_t(k & 0x7F),
             std::uint8_t(k >> 7 & 0x7F), std::uint8_t(k >> 14 & 0x7F), std::uint8_t((to - from) / 2 - 1)};
  std::uint32_t sum = 0;
  for (std::size_t i = from; i < to; i += 2) {
    const std::uint32_t w = image[i] << 8 | image[i + 1];
    for (std::uint8_t b : {std::uint8_t(w & 0x7F), std::uint8_t(w >> 7 & 0x7F), std::uint8_t(w >> 14)}) {
      f.push_back(b);
      sum += b;
    }
  }
  f.push_back(std::uint8_t((0u - sum) & 0x7F));
  f.push_back(0xF7);
  return f;
}
Bytes Image(std::size_t size) {
  Bytes image(size);
  for (std::size_t i = 0; i < size; ++i) image[i] = std::uint8_t(i * 37 + 11);
  return image;
}

class FamilyB : public ::testing::Test, public ReplySink {
 protected:
  void Reply(Bytes bytes, std::uint32_t delayMs) override { sent.push_back({std::move(bytes), delayMs}); }
  VirtualKeyboard& Use(const std::string& extra = "") {
    KeyboardConfig c;
    std::string error;
    EXPECT_TRUE(ParseKeyboardConfig("family=b\nslot=2,Morning Waltz,5120\nslot=3,MYSONG,300\nslot=4,Na\x01me,10\n"
                                    "free=10000\n" + extra, &c, &error)) << error;
    c.titleReader = [](const Bytes& image) { return "Title of " + std::to_string(image.size()) + " bytes"; };
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

TEST_F(FamilyB, AnswersEachReadByteForByte) {
  const struct {
    const char* what;
    const char* config;
    std::uint8_t area, param, slot;
    Bytes value;  // from byte 17
  } cases[] = {
      {"model byte 2 by default", "", 0x00, 0x00, 0, {0x02}},
      {"model byte 3", "model=3", 0x00, 0x00, 0, {0x03}},
      {"free memory", "", 0x00, 0x22, 0, {0x10, 0x4E, 0, 0, 0}},
      {"largest song by default", "", 0x00, 0x23, 0, {0x00, 0x00, 0x04, 0, 0}},
      {"largest song configured", "max_song=0x12345678", 0x00, 0x23, 0, {0x78, 0x2C, 0x51, 0x11, 0x01}},
      {"size", "", 0x21, 0x02, 2, {0x00, 0x28, 0, 0, 0}},
      {"size of an empty slot", "", 0x21, 0x02, 0, {0, 0, 0, 0, 0}},
      {"name padded with spaces", "", 0x21, 0x00, 3, Padded("MYSONG")},
      {"name cut at 12", "", 0x21, 0x00, 2, Text("Morning Walt")},
      {"name bytes as stored", "", 0x21, 0x00, 4, Padded("Na\x01me")},
  };
  for (const auto& c : cases) {
    Use(c.config);
    const Bytes answer = Send(Read(c.area, c.param, c.slot));
    EXPECT_EQ(answer, Answer(c.area, c.param, c.slot, c.value)) << c.what;
    EXPECT_EQ(answer.size(), c.value.size() + 18) << c.what;
    EXPECT_TRUE(kb->Faults().empty()) << c.what;
  }
}

TEST_F(FamilyB, LeavesOtherAddressesUnansweredAndRecordsMalformedFrames) {
  auto with = [](Bytes b, std::size_t at, std::uint8_t v) { b[at] = v; return b; };
  auto without = [](Bytes b, std::size_t at) { b.erase(b.begin() + at); return b; };
  const struct {
    const char* what;
    Bytes frame;
    std::size_t faults;
  } cases[] = {
      {"identity request", {0xF0, 0x44, 0x14, 0x00, 0x00, 0xF7}, 0},
      {"family A model read", {0xF0, 0x44, 0x11, 0x03, 0x7F, 0x01, 0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0xF7}, 0},
      {"another address", with(Read(0x00, 0x00), 3, 0x02), 0},
      {"name read without 0B", with(Read(0x21, 0x00, 3), 16, 0x00), 1},
      {"slot 10", Read(0x21, 0x02, 10), 1},
      {"read of 17 bytes", without(Read(0x00, 0x22), 15), 1},
      {"delete of slot 10", Delete(10), 1},
      {"closing frame with no blocks", Closing(1, 0x0D), 1},
  };
  for (const auto& c : cases) {
    Use();
    EXPECT_EQ(Send(c.frame), Bytes{}) << c.what;
    EXPECT_EQ(kb->Faults().size(), c.faults) << c.what;
  }
}

TEST_F(FamilyB, StoresASongOfTwoBlocksOverTheOldOneAfterTheSecondClosingFrame) {
  for (std::size_t size : {256, 130}) {
    const Bytes image = Image(size);
    Use();
    ASSERT_EQ(Block(3, 0, image).size(), 208u);
    for (std::uint32_t k = 0; k < 2; ++k) EXPECT_EQ(Send(Block(3, k, image)), BlockAnswer(3, 0x00)) << size;
    EXPECT_EQ(Send(Closing(3, 0x0D)), Bytes{});
    EXPECT_EQ(kb->Slot(3).contents, Bytes(300, 0)) << "nothing is stored before the second closing frame";
    EXPECT_EQ(Send(Closing(3, 0x0E)), Bytes{});

    const KeyboardSlot slot = kb->Slot(3);
    EXPECT_EQ(slot.contents, image) << size;
    EXPECT_EQ(slot.size, size);
    EXPECT_EQ(slot.name, "Title of " + std::to_string(size).substr(0, 3)) << "the title cut to 12 bytes";
    EXPECT_EQ(kb->FreeMemory(), 10000u + 300 - size) << "the old song's room comes back";
    EXPECT_EQ(Send(Read(0x21, 0x02, 3)), Answer(0x21, 0x02, 3, Septets(std::uint32_t(size))));
    EXPECT_EQ(kb->CountReceivedB(kKeyBBlock), 2u);
    EXPECT_TRUE(kb->Faults().empty()) << kb->Faults().front();
  }
}

TEST_F(FamilyB, TakesBlock20000FromItsThreeCounterBytes) {
  const Bytes image = Image(128 * 20001);
  Use("max_song=" + std::to_string(image.size()) + "\nfree=" + std::to_string(image.size()));
  for (std::uint32_t k = 0; k < 20000; ++k) Send(Block(0, k, image));
  const Bytes last = Block(0, 20000, image);
  EXPECT_EQ(Bytes(last.begin() + 10, last.begin() + 13), (Bytes{0x20, 0x1C, 0x01}));
  EXPECT_EQ(Send(last), BlockAnswer(0, 0x00));
  EXPECT_EQ(kb->PartialImage().size(), image.size());
  EXPECT_EQ(kb->BlocksPerTransfer(), std::vector<std::uint32_t>{20001});
  EXPECT_TRUE(kb->Faults().empty()) << kb->Faults().front();
}

TEST_F(FamilyB, DeletesASlotGivingItsSizeBackToFreeMemory) {
  Use();
  EXPECT_EQ(Send(Delete(2)), Bytes{});
  EXPECT_EQ(Send(Delete(2)), Bytes{}) << "an empty slot frees nothing";
  EXPECT_EQ(Send(Read(0x21, 0x02, 2)), Answer(0x21, 0x02, 2, Septets(0)));
  EXPECT_EQ(Send(Read(0x21, 0x00, 2)), Answer(0x21, 0x00, 2, Padded("")));
  EXPECT_EQ(Send(Read(0x00, 0x22)), Answer(0x00, 0x22, 0, Septets(15120)));
  EXPECT_TRUE(kb->Faults().empty()) << kb->Faults().front();
}

TEST_F(FamilyB, StopsFaultyBlocksAndSongsWithoutRoom) {
  const Bytes image = Image(256);
  const struct {
    const char* what;
    const char* config;
    void (*spoil)(Bytes&);
    std::uint8_t code;
    std::size_t faults;
  } cases[] = {
      {"checksum", "", [](Bytes& b) { b[b.size() - 2] ^= 1; }, 0x0F, 1},
      {"length against word count", "", [](Bytes& b) { b[13] = 0x3E; }, 0x0F, 1},
      {"block 1 first", "", [](Bytes& b) { b[10] = 1; }, 0x0F, 1},
      {"over the largest song", "max_song=127", [](Bytes&) {}, 0x0F, 1},
      {"largest song exactly", "max_song=128", [](Bytes&) {}, 0x00, 0},
      {"over free memory and the old song", "free=27", [](Bytes&) {}, 0x0C, 0},
      {"free memory and the old song exactly", "free=28\nslot=1,Old,100", [](Bytes&) {}, 0x00, 0},
  };
  for (const auto& c : cases) {
    Use(c.config);
    Bytes block = Block(1, 0, image);
    c.spoil(block);
    EXPECT_EQ(Send(block), BlockAnswer(1, c.code)) << c.what;
    EXPECT_EQ(kb->Faults().size(), c.faults) << c.what;
  }
  Use();
  Send(Block(1, 0, Image(2)));
  EXPECT_EQ(Send(Block(1, 1, image)), BlockAnswer(1, 0x0F)) << "a block after a short one";
}

TEST_F(FamilyB, MisbehavesAsScripted) {
  const Bytes image = Image(256), free = Read(0x00, 0x22), freeAnswer = Answer(0x00, 0x22, 0, Septets(10000));
  const Bytes block0 = Block(1, 0, image), block1 = Block(1, 1, image);
  const struct {
    const char* config;
    std::vector<std::pair<Bytes, Bytes>> exchange;  // each message and the answer it gets
    std::size_t kept, stored;  // bytes of the transfer under way, and the size slot 1 holds, at the end
  } cases[] = {
      {"silent=any", {{free, {}}, {block0, {}}, {block1, {}}}, 0, 0},
      {"silent=010022:1", {{free, {}}, {free, freeAnswer}}, 0, 0},
      {"silent=062100:1", {{block0, {}}, {block0, BlockAnswer(1, 0)}}, 128, 0},
      {"refuse=062100:0x0B:1:1", {{block0, BlockAnswer(1, 0)}, {block1, BlockAnswer(1, 0x0B)}}, 0, 0},
      {"refuse=062100:0x0C:1", {{block0, BlockAnswer(1, 0x0C)}}, 0, 0},
      {"refuse=062100:0x0F:1", {{block0, BlockAnswer(1, 0x0F)}}, 0, 0},
      {"refuse=062100:0x4B:1", {{block0, BlockAnswer(1, 0x4B)}, {block0, BlockAnswer(1, 0)}}, 128, 0},
      {"refuse=062100:2",
       {{block0, BlockAnswer(1, 2)}, {block1, BlockAnswer(1, 2)}, {Closing(1, 0x0D), {}}, {Closing(1, 0x0E), {}}},
       0, 256},
  };
  for (const auto& c : cases) {
    Use(c.config);
    for (const auto& [message, answer] : c.exchange) EXPECT_EQ(Send(message), answer) << c.config;
    EXPECT_EQ(kb->Slot(1).size, c.stored) << c.config;
    EXPECT_EQ(kb->PartialImage().size(), c.kept) << c.config << ": a stop ends the transfer with nothing kept";
    EXPECT_TRUE(kb->Faults().empty()) << c.config;
  }

  // The program waits 3000 ms, pauses 3000 ms and tries once more: an answer 4000 ms late reaches it then.
  Use("late=062100:4000:1");
  Send(block0);
  Send(block1);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].second, 4000u);
  EXPECT_EQ(sent[1].second, 0u);
  EXPECT_EQ(sent[0].first, BlockAnswer(1, 0));
}

TEST_F(FamilyB, SendsJunkWithAWrongValueBeforeTheRealAnswer) {
  auto spoilt = [](Bytes b, std::size_t at, std::uint8_t v) {
    for (std::size_t i = 17; i + 1 < b.size(); ++i) b[i] = 0x7F;
    b[at] = v;
    return b;
  };
  auto cut = [](Bytes b, std::size_t at) {
    b.resize(at);
    b.push_back(0xF7);
    return b;
  };
  const Bytes free = Answer(0x00, 0x22, 0, Septets(10000));
  const Bytes allOnes = spoilt(free, 17, 0x7F);
  const struct {
    const char* kind;
    Bytes request, junk;  // junk empty: none before this answer
  } cases[] = {
      {"too_short", Read(0x00, 0x22), cut(allOnes, 21)},
      {"too_short", Read(0x00, 0x00), cut(spoilt(Answer(0x00, 0x00, 0, {0x02}), 17, 0x7F), 17)},
      {"too_short", Read(0x21, 0x00, 2), cut(spoilt(Answer(0x21, 0x00, 2, Padded("")), 17, 0x7F), 28)},
      {"too_short", Block(0, 0, Image(4)), {0xF0, 0x44, 0x15, 0x01, 0x00, 0xF7}},
      {"other_code", Read(0x00, 0x22), spoilt(free, 13, 0x23)},
      {"other_code", Block(0, 0, Image(4)), {}},
      {"other_maker", Block(0, 0, Image(4)), {0xF0, 0x43, 0x15, 0x01, 0x00, 0x0F, 0x21, 0x00, 0x00, 0x00, 0xF7}},
  };
  for (const auto& c : cases) {
    Use(std::string("junk=") + c.kind + "\njunk_times=1\n");
    Send(c.request);
    ASSERT_EQ(sent.size(), c.junk.empty() ? 1u : 2u) << c.kind;
    if (!c.junk.empty()) {
      EXPECT_EQ(sent[0].first, c.junk) << c.kind;
    }
    EXPECT_EQ(kb->AnswersSent(), 1u) << c.kind;
  }
}

}  // namespace
}  // namespace su::test
