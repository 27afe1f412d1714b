// Family B against the virtual keyboard over the virtual link: every frame the operations send, the long
// wait of the free-memory read, the block answers and their second try, and the probe. Dialog 150's tests
// are in tests/app/dialogs/.
#include <gtest/gtest.h>

#include <algorithm>
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
#include "transfer/family_b/frames.h"
#include "transfer/family_b/probe.h"
#include "transfer/family_b/protocol.h"

namespace su {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Row = std::vector<std::string>;
using test::FakeScreen;
using test::KeyboardConfig;
using test::KeyboardB;
using test::KeyboardSlot;
using test::Message;
using test::Outcome;
using test::Song;
using test::OutcomeOf;
using test::Returned;

constexpr std::uint16_t kB = family_b::kAddress;

Bytes Image(std::uint32_t size) {
  Bytes image(size);
  for (std::uint32_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 29 + 5);
  return image;
}

Bytes Read(std::uint8_t area, std::uint8_t slot, std::uint8_t param, std::uint8_t mark = 0) {
  return {0xF0, 0x44, 0x15, 0x01, 0x7F, 0x01, area, 0x00, slot, 0, 0, 0, 0, param, 0, 0, mark, 0xF7};
}

class FamilyBProtocol : public test::LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    Connect(KeyboardB());
    OpenPorts();
    dialog = screen.OpenBox(IDD_SEND_B, nullptr, nullptr);
  }
  Outcome Transfer(const Bytes& image, std::uint8_t slot = 5) {
    return OutcomeOf([&] {
      DialogProgress progress(dialog);
      SendSongImageB(kB, slot, progress, image.data(), static_cast<std::uint32_t>(image.size()));
    });
  }
  WindowRef dialog = nullptr;
};

TEST_F(FamilyBProtocol, OperationsSendExactlyTheseFrames) {
  std::uint32_t size = 0;
  char name[kSlotNameSizeB] = {};
  struct Case {
    const char* what;
    std::function<void()> operation;
    std::vector<Bytes> frames;
  };
  const Case cases[] = {
      {"model read", [] { ReadModelB(kB); }, {Read(0x00, 0, 0x00)}},
      {"used slot with its name", [&] { ReadSlotInfoB(kB, 0, &size, name); },
       {Read(0x21, 0, 0x02), Read(0x21, 0, 0x00, 0x0B)}},
      {"empty slot: its name is not read", [&] { ReadSlotInfoB(kB, 7, &size, name); }, {Read(0x21, 7, 0x02)}},
      {"free memory", [] { ReadFreeSpaceB(kB); }, {Read(0x00, 0, 0x22)}},
      {"largest song", [] { ReadMaxSongSizeB(kB); }, {Read(0x00, 0, 0x23)}},
      {"delete", [] { DeleteSlotB(kB, 4); },
       {{0xF0, 0x44, 0x15, 0x01, 0x7F, 0x02, 0x00, 0, 0, 0, 0, 0, 0, 0x25, 0, 0, 0, 0x04, 0xF7}}},
  };
  for (const Case& c : cases) {
    const std::size_t before = link.Sent().size();
    ASSERT_EQ(OutcomeOf(c.operation), Returned(0)) << c.what;
    EXPECT_EQ(SentSince(before), c.frames) << c.what;
  }
}

TEST_F(FamilyBProtocol, BlocksCarryANumberOfThreeSeptetsAndTheirWordsLessOne) {
  const Bytes image = Image(130);
  const std::size_t before = link.Sent().size();
  ASSERT_EQ(Transfer(image), Returned(0));
  const std::vector<Bytes> sent = SentSince(before);
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0].size(), 208u);
  EXPECT_EQ(Bytes(sent[0].begin(), sent[0].begin() + 14),
            (Bytes{0xF0, 0x44, 0x15, 0x01, 0x7F, 0x06, 0x21, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x3F}));
  EXPECT_EQ(sent[1].size(), 19u);
  EXPECT_EQ(sent[1][10], 0x01);
  EXPECT_EQ(sent[1][13], 0x00);  // one word
  EXPECT_EQ(sent[2], (Bytes{0xF0, 0x44, 0x15, 0x01, 0x7F, 0x0D, 0x21, 0x00, 0x05, 0x00, 0xF7}));
  EXPECT_EQ(sent[3], (Bytes{0xF0, 0x44, 0x15, 0x01, 0x7F, 0x0E, 0x21, 0x00, 0x05, 0x00, 0xF7}));
  EXPECT_EQ(keyboard->Slot(5).contents, image);

  // Block 20000, and the last block of an odd-sized song: one byte padded into a whole word.
  std::uint8_t frame[family_b::kBlockFrameMax];
  const std::uint8_t one = 0x4D;
  ASSERT_EQ(family_b::BuildDataBlock(frame, 3, 20000, &one, 1), 19u);
  EXPECT_EQ(Bytes(frame + 10, frame + 18), (Bytes{0x20, 0x1C, 0x01, 0x00, 0x00, 0x1A, 0x01, 0x65}));
}

TEST_F(FamilyBProtocol, FreeMemoryOfASilentKeyboardIsAwaitedForThirteenWindowsAndTwelvePauses) {
  keyboard->AddRule(test::Silent(test::kKeyBReadFree));
  EXPECT_EQ(OutcomeOf([] { return ReadFreeSpaceB(kB); }), Message(IDS_TIMEOUT));
  EXPECT_GE(link.Elapsed(), 13u * 3000 + 12u * 3000);
  EXPECT_LE(link.Elapsed(), 13u * 3000 + 12u * 3000 + 100);
  EXPECT_EQ(keyboard->CountReceivedB(test::kKeyBReadFree), 1u);

  // A keyboard that answers within the long wait is waited for.
  link.AttachPeer(nullptr);
  Connect(KeyboardB());
  keyboard->AddRule(test::Late(test::kKeyBReadFree, 40000));
  EXPECT_EQ(OutcomeOf([] { return ReadFreeSpaceB(kB); }), Returned(8 << 20));
}

struct TransferCase {
  const char* name;
  std::vector<test::KeyboardRule> rules;
  Outcome outcome;
  int barSteps;  // of 4 blocks
};
void PrintTo(const TransferCase& c, std::ostream* os) { *os << c.name; }

class FamilyBTransfer : public FamilyBProtocol, public ::testing::WithParamInterface<TransferCase> {};

TEST_P(FamilyBTransfer, BlockAnswersDecideHowTheSendEnds) {
  const TransferCase& c = GetParam();
  for (const test::KeyboardRule& rule : c.rules) keyboard->AddRule(rule);
  const Bytes image = Image(4 * 128);
  EXPECT_EQ(Transfer(image), c.outcome);
  EXPECT_EQ(screen.Ctl(dialog, IDC_PROGRESS).progressSteps, c.barSteps);
  const bool sent = c.outcome == Returned(0);
  EXPECT_EQ(keyboard->CountReceivedB(test::kKeyBSecondClosing), sent ? 1u : 0u);
  // Family B never starts over: every block went out once.
  EXPECT_EQ(keyboard->CountReceivedB(test::kKeyBBlock), static_cast<std::size_t>(sent ? 4 : c.barSteps + 1));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FamilyBTransfer,
    ::testing::Values(TransferCase{"EveryBlockTaken", {}, Returned(0), 4},
                      TransferCase{"Code02CountsAsTaken", {test::Refuse(test::kKeyBBlock, 0x02, 1, 1)}, Returned(0), 4},
                      TransferCase{"Code4BStops", {test::Refuse(test::kKeyBBlock, 0x4B, 1, 2)},
                                   Message(IDS_TRANSMISSION_STOPPED), 2},
                      TransferCase{"Code0CStops", {test::Refuse(test::kKeyBBlock, 0x0C, 1, 0)},
                                   Message(IDS_TRANSMISSION_STOPPED), 0},
                      TransferCase{"AnAnswerAfterThePauseIsTakenOnTheSecondTry",
                                   {test::Late(test::kKeyBBlock, 4000, 1, 1)}, Returned(0), 4},
                      TransferCase{"SilenceAfterTheSecondTryEndsWithMessage38",
                                   {test::Silent(test::kKeyBBlock, 3)}, Message(IDS_TIMEOUT), 3}),
    test::NameFrom(&TransferCase::name));

TEST_F(FamilyBProtocol, NamesAreTakenAsTheyAreAndJunkIsPassedOver) {
  KeyboardConfig config = KeyboardB();
  config.slots[3] = Song(std::string("abc\0defghijk", 12), 10);
  config.slots[4] = Song("\x01\x02 odd bytes", 10);
  Connect(config);
  keyboard->SetJunk({test::JunkFrame::OtherAddress, test::JunkFrame::BrokenFraming, test::JunkFrame::TooShort,
                     test::JunkFrame::OtherCode, test::JunkFrame::OtherMaker});
  struct Expect {
    std::uint8_t slot;
    int used;
    std::uint32_t size;
    std::string name;
  };
  for (const Expect& e : {Expect{0, 1, 5000, "Evening Song"}, Expect{3, 1, 10, "abc"},
                          Expect{4, 1, 10, "\x01\x02 odd bytes"}, Expect{6, 0, 0, ""}}) {
    std::uint32_t size = 12345;
    char name[kSlotNameSizeB] = "old";
    EXPECT_EQ(ReadSlotInfoB(kB, e.slot, &size, name), e.used) << "slot " << int(e.slot);
    EXPECT_EQ(size, e.size) << "slot " << int(e.slot);
    EXPECT_EQ(std::string(name), e.name) << "slot " << int(e.slot);
  }
  EXPECT_EQ(ReadMaxSongSizeB(kB), 4000u);
  EXPECT_EQ(ReadModelB(kB), 2);
  const Bytes image = Image(300);
  EXPECT_EQ(Transfer(image), Returned(0));
  EXPECT_EQ(keyboard->Slot(5).contents, image);
}

// ---------------------------------------------------------------------------------------------------------
// The probe

TEST_F(FamilyBProtocol, ProbeGivesTheModelTypeOfEachModelByte) {
  struct Case {
    std::uint8_t modelByte;
    int found;
    std::int32_t modelType;
  };
  for (const Case& c : {Case{1, 1, 26}, Case{2, 1, 25}, Case{3, 1, 27}, Case{4, 0, -1}}) {
    Connect(KeyboardB(c.modelByte));
    su::Run().modelType = -1;
    EXPECT_EQ(ProbeFamilyB(), c.found) << "model byte " << int(c.modelByte);
    EXPECT_EQ(su::Run().modelType, c.modelType) << "model byte " << int(c.modelByte);
  }
}

}  // namespace
}  // namespace su
