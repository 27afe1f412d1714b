// Family A against the virtual keyboard over the virtual link: the encodings' worked examples, every frame
// the operations send, the transfer's answers and faults, and the probe. Dialog 148's tests are in
// tests/app/dialogs/.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/dialogs/dialog_progress.h"
#include "base/run_state.h"
#include "midi/port_session.h"
#include "resources/resource.h"
#include "resources/strings.h"
#include "tests/support/case_name.h"
#include "tests/support/keyboard_rules.h"
#include "tests/support/link_fixture.h"
#include "tests/support/outcome.h"
#include "tests/support/stored_songs.h"
#include "transfer/family_a/frames.h"
#include "transfer/family_a/probe.h"
#include "transfer/family_a/protocol.h"
#include "transfer/septet_encodings.h"

namespace su {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Row = std::vector<std::string>;
using test::FakeScreen;
using test::KeyboardConfig;
using test::KeyboardA;
using test::KeyboardSlot;
using test::Message;
using test::Outcome;
using test::Song;
using test::OutcomeOf;
using test::Refuse;
using test::Returned;
using test::Silent;

constexpr std::uint16_t k21 = family_a::kAddressType21;
constexpr std::uint16_t k22 = family_a::kAddressType22;

Bytes Image(std::uint32_t size) {
  Bytes image(size);
  for (std::uint32_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 37 + 11);
  return image;
}

// ---------------------------------------------------------------------------------------------------------
// The worked examples of the encodings

TEST(FamilyAEncodings, WorkedExamplesEncodeAsPublished) {
  auto septets = [](std::uint32_t v) {
    Bytes out(5);
    PutFiveSeptets(v, out.data());
    return out;
  };
  auto triplet = [](std::uint8_t a, std::uint8_t b) {
    Bytes out(3);
    PutWordTriplet(a, b, out.data());
    return out;
  };
  struct Vector {
    const char* what;
    Bytes actual, expected;
  };
  const Bytes words = {0x54, 0x1A, 0x01, 0x64, 0x50, 0x01};
  const Vector vectors[] = {
      {"name piece MYSO", septets(NamePieceNumber("MYSO")), {0x4F, 0x26, 0x65, 0x6A, 0x04}},
      {"name piece NG and two spaces", septets(NamePieceNumber("NG  ")), {0x20, 0x40, 0x1C, 0x72, 0x04}},
      {"name piece of four spaces", septets(NamePieceNumber("    ")), {0x20, 0x40, 0x00, 0x01, 0x02}},
      {"the top four bits", septets(0xF0000001u), {0x01, 0x00, 0x00, 0x00, 0x0F}},
      {"word 4D54", triplet(0x4D, 0x54), {0x54, 0x1A, 0x01}},
      {"word 6864", triplet(0x68, 0x64), {0x64, 0x50, 0x01}},
      {"checksum of both words", {SevenBitChecksum(words.data(), words.size())}, {0x5C}},
  };
  for (const Vector& v : vectors) EXPECT_EQ(v.actual, v.expected) << v.what;
  for (std::uint32_t v : {0u, 1u, 0x7Fu, 0x80u, 0x12345678u, 0xFFFFFFFFu}) {
    EXPECT_EQ(GetFiveSeptets(septets(v).data()), v) << std::hex << v;
  }
}

// ---------------------------------------------------------------------------------------------------------
// The operations against the keyboard

class FamilyAProtocol : public test::LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    Connect(KeyboardA());
    OpenPorts();
    dialog = screen.OpenBox(IDD_SEND_A, nullptr, nullptr);
  }
  Outcome Transfer(const Bytes& image, std::uint8_t slot = 5) {
    return OutcomeOf([&] {
      DialogProgress progress(dialog);
      SendSongImageA(k21, slot, progress, image.data(), static_cast<std::uint32_t>(image.size()));
    });
  }
  WindowRef dialog = nullptr;
};

struct FrameCase {
  const char* name;
  std::function<KeyboardConfig()> keyboard;
  std::function<void()> operation;
  std::vector<Bytes> frames;
};
void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }

class FamilyAFrames : public FamilyAProtocol, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(FamilyAFrames, OperationSendsExactlyTheseFrames) {
  const FrameCase& c = GetParam();
  Connect(c.keyboard());
  const std::size_t before = link.Sent().size();
  ASSERT_EQ(OutcomeOf(c.operation), Returned(0));
  EXPECT_EQ(SentSince(before), c.frames);
}

char gName[kSlotNameSizeA];
std::uint32_t gSize;

INSTANTIATE_TEST_SUITE_P(
    Operations, FamilyAFrames,
    ::testing::Values(
        FrameCase{"PrepareType21", [] { return KeyboardA(); }, [] { PrepareKeyboardA(k21, false); },
                  {{0xF0, 0x44, 0x11, 0x03, 0x7F, 0x00, 0x00, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0xF7},
                   {0xF0, 0x44, 0x11, 0x03, 0x7F, 0x01, 0x00, 0x20, 0x06, 0x00, 0x00, 0x00, 0xF7}}},
        FrameCase{"PrepareType22OnlyWrites", [] { return KeyboardA(k22); }, [] { PrepareKeyboardA(k22, false); },
                  {{0xF0, 0x44, 0x11, 0x02, 0x7F, 0x00, 0x00, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0xF7}}},
        FrameCase{"MatchModel", [] { return KeyboardA(); }, [] { MatchModelA(k21, 2); },
                  {{0xF0, 0x44, 0x11, 0x03, 0x7F, 0x01, 0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0xF7}}},
        FrameCase{"ReadUsedSlotWithSizeAndName", [] { return KeyboardA(); },
                  [] { ReadSlotInfoA(k21, 0, &gSize, gName); },
                  {{0xF0, 0x44, 0x11, 0x03, 0x7F, 0x01, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7},
                   {0xF0, 0x44, 0x11, 0x03, 0x7F, 0x01, 0x10, 0x03, 0x1F, 0x00, 0x00, 0x00, 0xF7},
                   {0xF0, 0x44, 0x11, 0x03, 0x7F, 0x01, 0x10, 0x04, 0x1F, 0x00, 0x00, 0x00, 0xF7},
                   {0xF0, 0x44, 0x11, 0x03, 0x7F, 0x01, 0x10, 0x05, 0x1F, 0x00, 0x00, 0x00, 0xF7},
                   {0xF0, 0x44, 0x11, 0x03, 0x7F, 0x01, 0x10, 0x06, 0x1F, 0x00, 0x00, 0x00, 0xF7}}},
        FrameCase{"ReadEmptySlotAsksOnlyIfUsed", [] { return KeyboardA(); },
                  [] { ReadSlotInfoA(k21, 7, &gSize, gName); },
                  {{0xF0, 0x44, 0x11, 0x03, 0x7F, 0x01, 0x10, 0x00, 0x00, 0x07, 0x00, 0x00, 0xF7}}},
        FrameCase{"ReadType22NameInTwoPieces", [] { return KeyboardA(k22); },
                  [] { ReadSlotInfoA(k22, 1, nullptr, gName); },
                  {{0xF0, 0x44, 0x11, 0x02, 0x7F, 0x01, 0x10, 0x00, 0x00, 0x01, 0x00, 0x00, 0xF7},
                   {0xF0, 0x44, 0x11, 0x02, 0x7F, 0x01, 0x10, 0x04, 0x1F, 0x01, 0x00, 0x00, 0xF7},
                   {0xF0, 0x44, 0x11, 0x02, 0x7F, 0x01, 0x10, 0x05, 0x1F, 0x01, 0x00, 0x00, 0xF7}}},
        FrameCase{"ReadFreeSpace", [] { return KeyboardA(); }, [] { ReadFreeSpaceA(k21); },
                  {{0xF0, 0x44, 0x11, 0x03, 0x7F, 0x01, 0x00, 0x22, 0x1F, 0x00, 0x00, 0x00, 0xF7}}},
        FrameCase{"DeleteSlot", [] { return KeyboardA(); }, [] { DeleteSlotA(k21, 4); },
                  {{0xF0, 0x44, 0x11, 0x03, 0x7F, 0x00, 0x00, 0x27, 0x0F, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0xF7}}},
        FrameCase{"WriteShortNamePaddedWithSpaces", [] { return KeyboardA(); },
                  [] { WriteSongNameA(k21, 2, "MYSONG", 6); },
                  {{0xF0, 0x44, 0x11, 0x03, 0x7F, 0x00, 0x10, 0x04, 0x1F, 0x02, 0x00, 0x00, 0x4F, 0x26, 0x65, 0x6A, 0x04, 0xF7},
                   {0xF0, 0x44, 0x11, 0x03, 0x7F, 0x00, 0x10, 0x05, 0x1F, 0x02, 0x00, 0x00, 0x20, 0x40, 0x1C, 0x72, 0x04, 0xF7},
                   {0xF0, 0x44, 0x11, 0x03, 0x7F, 0x00, 0x10, 0x06, 0x1F, 0x02, 0x00, 0x00, 0x20, 0x40, 0x00, 0x01, 0x02, 0xF7}}},
        FrameCase{"WriteLongNameCutToEightOnType22", [] { return KeyboardA(k22); },
                  [] { WriteSongNameA(k22, 9, "MYSONG    LONGER", 16); },
                  {{0xF0, 0x44, 0x11, 0x02, 0x7F, 0x00, 0x10, 0x04, 0x1F, 0x09, 0x00, 0x00, 0x4F, 0x26, 0x65, 0x6A, 0x04, 0xF7},
                   {0xF0, 0x44, 0x11, 0x02, 0x7F, 0x00, 0x10, 0x05, 0x1F, 0x09, 0x00, 0x00, 0x20, 0x40, 0x1C, 0x72, 0x04, 0xF7}}},
        FrameCase{"SendEmptyImageOnlyCloses", [] { return KeyboardA(); },
                  [] {
                    test::FakeScreen& s = static_cast<test::FakeScreen&>(TheScreen());
                    DialogProgress progress(s.OpenBox(IDD_SEND_A, nullptr, nullptr));
                    SendSongImageA(k21, 6, progress, nullptr, 0);
                  },
                  {{0xF0, 0x44, 0x11, 0x03, 0x7F, 0x07, 0x10, 0x00, 0x00, 0x06, 0x00, 0x00, 0xF7},
                   {0xF0, 0x44, 0x11, 0x03, 0x7F, 0x07, 0x10, 0x00, 0x00, 0x06, 0x00, 0x05, 0xF7}}}),
    test::NameFrom(&FrameCase::name));

TEST_F(FamilyAProtocol, BlocksCarryTheirNumberWordCountAndAWholeLastWord) {
  // 25,601 bytes: 201 blocks, the last of one odd byte padded by a zero into a whole word.
  KeyboardConfig roomy = KeyboardA();
  roomy.freeMemory = 1u << 20;
  Connect(roomy);
  const Bytes image = Image(200 * 128 + 1);
  const std::size_t before = link.Sent().size();
  ASSERT_EQ(Transfer(image), Returned(0));
  const std::vector<Bytes> sent = SentSince(before);
  ASSERT_EQ(sent.size(), 203u);
  EXPECT_EQ(sent[0].size(), 208u);
  EXPECT_EQ(Bytes(sent[0].begin(), sent[0].begin() + 14),
            (Bytes{0xF0, 0x44, 0x11, 0x03, 0x7F, 0x04, 0x10, 0x00, 0x4F, 0x05, 0x00, 0x00, 0x00, 0x40}));
  const Bytes& last = sent[200];
  EXPECT_EQ(last.size(), 19u);
  EXPECT_EQ(Bytes(last.begin() + 11, last.begin() + 14), (Bytes{0x48, 0x01, 0x01}));  // block 200, one word
  Bytes held = keyboard->Slot(5).contents;
  ASSERT_EQ(held.size(), image.size() + 1);
  EXPECT_EQ(held.back(), 0x00);
  held.pop_back();
  EXPECT_EQ(held, image);
  EXPECT_EQ(screen.Ctl(dialog, IDC_PROGRESS).progressHigh, 201);
  EXPECT_EQ(screen.Ctl(dialog, IDC_PROGRESS).progressSteps, 201);
  EXPECT_EQ(screen.ControlText(dialog, IDC_STATUS), TEXT_48);
}

struct TransferCase {
  const char* name;
  std::vector<test::KeyboardRule> rules;
  Outcome outcome;
  int barSteps;      // the bar's steps over the whole transfer (4 blocks)
  bool songTaken;    // the slot holds the image afterwards
};
void PrintTo(const TransferCase& c, std::ostream* os) { *os << c.name; }

class FamilyATransfer : public FamilyAProtocol, public ::testing::WithParamInterface<TransferCase> {};

TEST_P(FamilyATransfer, KeyboardAnswersDecideHowTheSendEnds) {
  const TransferCase& c = GetParam();
  for (const test::KeyboardRule& rule : c.rules) keyboard->AddRule(rule);
  const Bytes image = Image(4 * 128);
  EXPECT_EQ(Transfer(image), c.outcome);
  EXPECT_EQ(screen.Ctl(dialog, IDC_PROGRESS).progressSteps, c.barSteps);
  EXPECT_EQ(keyboard->Slot(5).contents == image, c.songTaken);
  // A transfer that failed sent no closing frames: the slot is left as it was.
  if (!c.songTaken) {
    EXPECT_EQ(keyboard->CountReceivedA(test::kKeyAClosing), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FamilyATransfer,
    ::testing::Values(
        TransferCase{"EveryBlockTaken", {}, Returned(0), 4, true},
        // Code 3 after block 2 (the last but one) starts the image over: the bar starts again from 0.
        TransferCase{"StartOverFromBlockZero", {Refuse(test::kKeyABlock, 3, 1, 2)}, Returned(0), 2 + 4, true},
        TransferCase{"StopEndsWithMessage55", {Refuse(test::kKeyABlock, 2, 1, 1)}, Message(IDS_TRANSMISSION_STOPPED),
                     1, false},
        TransferCase{"EndlessStartOverIsBoundedWithMessage55", {Refuse(test::kKeyABlock, 3, test::kForever, 1)},
                     Message(IDS_TRANSMISSION_STOPPED), 1, false},
        TransferCase{"SilenceEndsWithMessage38", {Silent(test::kKeyABlock, 3)}, Message(IDS_TIMEOUT), 3, false}),
    test::NameFrom(&TransferCase::name));

// Code 3 answered at each of `blocks` in turn: the n-th ask comes at block blocks[n] of the n-th pass
// over the image (every earlier pass went as far as its own ask).
std::vector<test::KeyboardRule> StartOverAt(const std::vector<std::uint32_t>& blocks) {
  std::vector<test::KeyboardRule> rules;
  std::uint32_t blocksBefore = 0;
  for (const std::uint32_t block : blocks) {
    rules.push_back(Refuse(test::kKeyABlock, 3, 1, blocksBefore + block));
    blocksBefore += block + 1;
  }
  return rules;
}

struct RestartCase {
  const char* name;
  std::vector<std::uint32_t> startOverAt;
  Outcome outcome;
  std::uint32_t blocksSent;  // every block of every pass, up to each ask, and the whole last pass if it ends
};
void PrintTo(const RestartCase& c, std::ostream* os) { *os << c.name; }

class FamilyARestarts : public FamilyAProtocol, public ::testing::WithParamInterface<RestartCase> {};

TEST_P(FamilyARestarts, OnlyStartsOverWithoutProgressAreBounded) {
  const RestartCase& c = GetParam();
  for (const test::KeyboardRule& rule : StartOverAt(c.startOverAt)) keyboard->AddRule(rule);
  const Bytes image = Image(8 * 128);
  EXPECT_EQ(Transfer(image), c.outcome);
  EXPECT_EQ(keyboard->Slot(5).contents == image, c.outcome == Returned(0));
  // Each pass goes as far as its ask and no further; a stop sends nothing more.
  EXPECT_EQ(keyboard->CountReceivedA(test::kKeyABlock), c.blocksSent);
}

// Asks each further than the last count as progress, yet starting a 32-block image over at block 1, 2, 3 ...
// would send it some 500 blocks in all (N*N/2): the whole transfer is bounded, then message 55.
TEST_F(FamilyAProtocol, AsksEachFurtherThanTheLastAreBoundedAsAWhole) {
  std::vector<std::uint32_t> asks;
  for (std::uint32_t block = 1; block < 32; ++block) asks.push_back(block);
  for (const test::KeyboardRule& rule : StartOverAt(asks)) keyboard->AddRule(rule);
  EXPECT_EQ(Transfer(Image(32 * 128)), Message(IDS_TRANSMISSION_STOPPED));
  EXPECT_EQ(keyboard->CountReceivedA(test::kKeyABlock), 3u * 32 + 32);
  EXPECT_EQ(keyboard->CountReceivedA(test::kKeyAClosing), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    StartsOver, FamilyARestarts,
    ::testing::Values(
        RestartCase{"SixEachFurtherThanTheLastComplete", {1, 2, 3, 4, 5, 6}, Returned(0), 27 + 8},
        RestartCase{"ProgressAfterFiveWithoutStartsTheCountAfresh", {3, 3, 3, 3, 3, 4, 4, 4, 4, 4}, Returned(0),
                    45 + 8},
        RestartCase{"FiveAtTheSameBlockComplete", {3, 3, 3, 3, 3}, Returned(0), 20 + 8},
        RestartCase{"SixAtTheSameBlockStopWithMessage55", {3, 3, 3, 3, 3, 3}, Message(IDS_TRANSMISSION_STOPPED), 24},
        RestartCase{"SixEachEarlierStopWithMessage55", {7, 6, 5, 4, 3, 2}, Message(IDS_TRANSMISSION_STOPPED), 33},
        RestartCase{"BackAndForthIsNoProgressAndStopsWithMessage55", {2, 4, 2, 4, 2, 4, 2},
                    Message(IDS_TRANSMISSION_STOPPED), 27},
        // Five asks at each block, then one a block further: never five in a row without progress, so only the
        // bound on the whole transfer ends it, at exactly three times the 8 blocks and 32 more.
        RestartCase{"FiveAtEachBlockCreepingOnEndsAtTheWholeTransfersBound",
                    {0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 5, 5},
                    Message(IDS_TRANSMISSION_STOPPED), 3 * 8 + 32}),
    test::NameFrom(&RestartCase::name));

TEST_F(FamilyAProtocol, JunkAndShortAnswersArePassedOverAtEveryStep) {
  keyboard->SetJunk({test::JunkFrame::OtherAddress, test::JunkFrame::BrokenFraming, test::JunkFrame::TooShort,
                     test::JunkFrame::OtherCode, test::JunkFrame::OtherMaker});
  std::uint32_t size = 0;
  char name[kSlotNameSizeA] = {};
  EXPECT_EQ(OutcomeOf([&] { return PrepareKeyboardA(k21, false); }), Returned(1));
  EXPECT_EQ(OutcomeOf([&] { return ReadSlotInfoA(k21, 0, &size, name); }), Returned(1));
  EXPECT_EQ(size, 4096u);
  EXPECT_STREQ(name, "Morning Walt");
  EXPECT_EQ(OutcomeOf([&] { return ReadFreeSpaceA(k21); }), Returned(8000));
  EXPECT_TRUE(MatchModelA(k21, 2));
  const Bytes image = Image(300);
  ASSERT_EQ(Transfer(image), Returned(0));
  EXPECT_EQ(keyboard->Slot(5).contents, image);
}

TEST_F(FamilyAProtocol, ABlockThatCannotBeSentFailsTheTransferInsteadOfLeavingAHole) {
  // The driver stops reporting sends done once the keyboard took the second block.
  struct CutAfterTwoBlocks : test::VirtualPeer {
    test::VirtualKeyboard* keyboard;
    test::VirtualLink* link;
    int blocks = 0;
    void OnMessage(const std::vector<std::uint8_t>& m, test::ReplySink& sink) override {
      keyboard->OnMessage(m, sink);
      if (m.size() > 5 && m[5] == family_a::kActBlock && ++blocks == 2) link->SetSendDoneDelay(std::nullopt);
    }
  } cut;
  cut.keyboard = keyboard.get();
  cut.link = &link;
  link.AttachPeer(&cut);
  EXPECT_EQ(Transfer(Image(4 * 128)), Message(IDS_TIMEOUT));
  EXPECT_EQ(keyboard->CountReceivedA(test::kKeyAClosing), 0u);
  EXPECT_EQ(keyboard->Slot(5).status, 0);
  link.AttachPeer(keyboard.get());
}

TEST_F(FamilyAProtocol, SlotReadsShowNamesAsTheKeyboardHoldsThem) {
  KeyboardConfig config = KeyboardA(k22);
  config.slots[2] = Song("Eight ch", 100);
  config.slots[4].status = 2;  // anything but 01 is an empty slot
  config.slots[4].size = 999;
  Connect(config);
  struct Expect {
    std::uint8_t slot;
    int used;
    std::uint32_t size;
    const char* name;
  };
  for (const Expect& e : {Expect{0, 1, 4096, "Morning "}, Expect{1, 1, 500, "Tune    "}, Expect{2, 1, 100, "Eight ch"},
                          Expect{3, 1, 2048, "(Untitled)"}, Expect{4, 0, 0, ""}}) {
    std::uint32_t size = 12345;
    char name[kSlotNameSizeA] = "old";
    EXPECT_EQ(ReadSlotInfoA(k22, e.slot, &size, name), e.used) << "slot " << int(e.slot);
    EXPECT_EQ(size, e.size) << "slot " << int(e.slot);
    EXPECT_STREQ(name, e.name) << "slot " << int(e.slot);
  }
}

TEST_F(FamilyAProtocol, NotReadyAndSilenceRaiseUnlessQuiet) {
  keyboard->AddRule(Refuse(test::kKeyAReadReady, 1, 2));
  EXPECT_EQ(OutcomeOf([] { return PrepareKeyboardA(k21, true); }), Returned(0));
  EXPECT_EQ(OutcomeOf([] { return PrepareKeyboardA(k21, false); }), Message(IDS_NOT_READY));
  keyboard->AddRule(Silent(test::KeyA(0x01, 0x00, 0x20)));
  EXPECT_EQ(OutcomeOf([] { return PrepareKeyboardA(k21, true); }), Returned(0));
  EXPECT_EQ(OutcomeOf([] { return PrepareKeyboardA(k21, false); }), Message(IDS_TIMEOUT));
  keyboard->AddRule(Silent(test::KeyA(0x01, 0x10, 0x03)));
  EXPECT_EQ(OutcomeOf([] { return ReadSlotInfoA(k21, 0, &gSize, nullptr); }), Message(IDS_TIMEOUT));
  keyboard->AddRule(Silent(test::KeyA(0x01, 0x00, 0x22)));
  EXPECT_EQ(OutcomeOf([] { return ReadFreeSpaceA(k21); }), Message(IDS_TIMEOUT));
}

// ---------------------------------------------------------------------------------------------------------
// The probe

struct ProbeCase {
  const char* name;
  std::uint16_t address;
  std::int32_t debugZt52;
  int found;
  std::int32_t modelType;
};
void PrintTo(const ProbeCase& c, std::ostream* os) { *os << c.name; }

class FamilyAProbe : public test::LinkTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(FamilyAProbe, FindsTheModelTypeByItsAddress) {
  const ProbeCase& c = GetParam();
  Connect(KeyboardA(c.address));
  OpenPorts();
  su::Run().debugZt52 = c.debugZt52;
  EXPECT_EQ(ProbeFamilyA(), c.found);
  EXPECT_EQ(su::Run().modelType, c.modelType);
}

INSTANTIATE_TEST_SUITE_P(Keyboards, FamilyAProbe,
                         ::testing::Values(ProbeCase{"Type21", k21, 0, 1, 21},
                                           ProbeCase{"Type22WithTheDebugKey", k22, 1, 1, 22},
                                           ProbeCase{"Type22WithoutTheDebugKeyIsNotFound", k22, 0, 0, -1}),
                         test::NameFrom(&ProbeCase::name));

}  // namespace
}  // namespace su
