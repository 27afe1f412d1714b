// The family C operations against the virtual keyboard over the virtual link, with a recording screen.
#include "transfer/family_c/protocol.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "app/dialogs/dialog_progress.h"
#include "base/errors.h"
#include "base/run_state.h"
#include "midi/port_session.h"
#include "midi/seven_bit.h"
#include "resources/resource.h"
#include "resources/strings.h"
#include "tests/support/case_name.h"
#include "tests/support/keyboard_rules.h"
#include "tests/support/link_fixture.h"
#include "tests/support/outcome.h"
#include "transfer/family_c/frames.h"

namespace su {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::JunkFrame;
using test::KeyboardConfig;
using test::Refuse;
using test::Silent;
using test::Coded;
using test::Message;
using test::Outcome;
using test::OutcomeOf;
using test::Returned;

Bytes Image(std::uint32_t size) {
  std::mt19937 random(size);
  Bytes image(size);
  for (auto& b : image) b = static_cast<std::uint8_t>(random());
  return image;
}

class FamilyCProtocol : public test::LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    Connect();
    OpenPorts();
    dialog = screen.OpenBox(IDD_SEND_C, nullptr, nullptr);
  }

  // Announces into slot 2 and sends; what the user would see at the end.
  Outcome Transfer(const Bytes& image) {
    return OutcomeOf([&] {
      const int accepted = AnnounceSong(2, static_cast<std::uint32_t>(image.size()));
      if (accepted != 1) return accepted;
      DialogProgress progress(dialog);
      SendSongImage(progress, image.data(), static_cast<std::uint32_t>(image.size()));
      return 1;
    });
  }

  // The data blocks the keyboard received, as their packed lengths.
  std::vector<std::size_t> BlockLengths() const {
    std::vector<std::size_t> lengths;
    for (const Bytes& m : keyboard->Received())
      if (m.size() > 4 && m[4] == family_c::kCmdDataBlock) lengths.push_back(m.size() - 7);
    return lengths;
  }

  WindowRef dialog = nullptr;
};

struct BlockCase {
  std::uint32_t imageSize;
  std::vector<std::size_t> blocks;  // packed bytes per block
};

void PrintTo(const BlockCase& c, std::ostream* os) { *os << "an image of " << c.imageSize << " bytes"; }

class BlockLayout : public FamilyCProtocol, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(BlockLayout, KeyboardReceivesTheExactImageInBlocksOf144) {
  const BlockCase& c = GetParam();
  const Bytes image = Image(c.imageSize);
  ASSERT_EQ(Transfer(image), Returned(1));

  EXPECT_EQ(BlockLengths(), c.blocks);
  const test::KeyboardSlot slot = keyboard->Slot(2);
  EXPECT_EQ(slot.status, 1);
  EXPECT_EQ(slot.size, c.imageSize);
  EXPECT_EQ(slot.contents, image) << "the keyboard holds other bytes than were sent";
  EXPECT_EQ(keyboard->FreeMemory(), (1u << 20) - c.imageSize);

  const auto& bar = screen.Ctl(dialog, IDC_PROGRESS);
  EXPECT_EQ(bar.progressHigh, static_cast<int>(c.blocks.size()));
  EXPECT_EQ(bar.progressSteps, static_cast<int>(c.blocks.size()));
  EXPECT_EQ(bar.progressPos, 0) << "the bar goes back to 0 for the closing wait";
  EXPECT_EQ(screen.Ctl(dialog, IDC_STATUS).text, "");
  const WindowRef box = screen.LastWindowOf(IDD_SENDING);
  ASSERT_NE(box, nullptr) << "box 139 never opened";
  EXPECT_EQ(screen.Win(box).owner, dialog);
  EXPECT_FALSE(screen.IsOpen(box)) << "box 139 left open";
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlockLayout,
                         ::testing::Values(BlockCase{3, {4}}, BlockCase{126, {144}}, BlockCase{127, {144, 2}},
                                           BlockCase{252, {144, 144}},
                                           BlockCase{1000, {144, 144, 144, 144, 144, 144, 144, 135}}),
                         [](const ::testing::TestParamInfo<BlockCase>& info) {
                           return "ImageOf" + std::to_string(info.param.imageSize) + "Bytes";
                         });

TEST_F(FamilyCProtocol, EmptyImageSendsNothingAndTimesOutAfterPreparingTheDialog) {
  const std::size_t before = link.Sent().size();
  EXPECT_EQ(OutcomeOf([&] {
    DialogProgress progress(dialog);
    SendSongImage(progress, nullptr, 0);
  }), Message(IDS_TIMEOUT));
  EXPECT_EQ(link.Sent().size(), before);
  EXPECT_EQ(screen.Ctl(dialog, IDC_STATUS).text, TEXT_48);
  EXPECT_EQ(screen.Ctl(dialog, IDC_PROGRESS).progressHigh, 0);
  EXPECT_EQ(screen.LastWindowOf(IDD_SENDING), nullptr);
}

TEST_F(FamilyCProtocol, FourRefusalsPerBlockAreResentAndTheCountStartsAgainForTheNextBlock) {
  keyboard->AddRule(Refuse(family_c::kCmdDataBlock, 8, 4));
  keyboard->AddRule(Refuse(family_c::kCmdDataBlock, 9, 4, 5));
  const Bytes image = Image(252);
  ASSERT_EQ(Transfer(image), Returned(1));
  EXPECT_EQ(keyboard->CountReceived(family_c::kCmdDataBlock), 10u);
  EXPECT_EQ(keyboard->Slot(2).contents, image);
  EXPECT_EQ(screen.Ctl(dialog, IDC_PROGRESS).progressSteps, 2) << "a refused block must not step the bar";
}

TEST_F(FamilyCProtocol, SixthRefusalOfABlockIsACodedError) {
  keyboard->AddRule(Refuse(family_c::kCmdDataBlock, 7));
  EXPECT_EQ(Transfer(Image(300)), Coded(7));
  EXPECT_EQ(keyboard->CountReceived(family_c::kCmdDataBlock), 6u);
  EXPECT_EQ(keyboard->CountReceived(family_c::kCmdCloseTransfer), 0u);
  EXPECT_EQ(screen.Ctl(dialog, IDC_STATUS).text, TEXT_48) << "a failure while sending leaves the status as it stands";
}

// Which command the keyboard refuses, with which code, and what the user sees.
struct RefusalCase {
  const char* name;
  std::uint8_t command;
  std::uint8_t code;
  Outcome expected;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class Refusals : public FamilyCProtocol, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusals, AreHandledByTheOperationsErrorTable) {
  const RefusalCase& c = GetParam();
  keyboard->AddRule(Refuse(c.command, c.code));
  Outcome outcome;
  switch (c.command) {
    case family_c::kCmdReadSlotInfo: outcome = OutcomeOf([] { return ReadSlotInfo(0, nullptr, nullptr); }); break;
    case family_c::kCmdReadFreeSpace: outcome = OutcomeOf([] { return static_cast<int>(ReadFreeSpace()); }); break;
    default: outcome = Transfer(Image(200)); break;
  }
  EXPECT_EQ(outcome, c.expected);
  // Only data blocks are ever sent again.
  if (c.command != family_c::kCmdDataBlock) {
    EXPECT_EQ(keyboard->CountReceived(c.command), 1u);
  }
  if (c.command == family_c::kCmdCloseTransfer) {
    EXPECT_FALSE(screen.IsOpen(screen.LastWindowOf(IDD_SENDING)));
  }
}

INSTANTIATE_TEST_SUITE_P(
    ErrorCodes, Refusals,
    ::testing::Values(
        RefusalCase{"BlockNotReady", 0x04, 0, Message(IDS_NOT_READY)},
        RefusalCase{"BlockLowVoltage", 0x04, 1, Message(IDS_LOW_VOLTAGE)},
        RefusalCase{"BlockNoMemory", 0x04, 4, Message(IDS_NOT_ENOUGH_MEMORY)},
        RefusalCase{"BlockStopped", 0x04, 6, Message(IDS_TRANSMISSION_STOPPED)},
        RefusalCase{"BlockOtherCode", 0x04, 2, Coded(2)},
        RefusalCase{"ClosingNoMemory", 0x05, 4, Message(IDS_NOT_ENOUGH_MEMORY)},
        RefusalCase{"ClosingResendCodeIsCoded", 0x05, 8, Coded(8)},
        RefusalCase{"ClosingNotReady", 0x05, 0, Message(IDS_NOT_READY)},
        RefusalCase{"AnnounceNoMemoryReturnsMinusOne", 0x03, 4, Returned(-1)},
        RefusalCase{"AnnounceNotReady", 0x03, 0, Message(IDS_NOT_READY)},
        RefusalCase{"AnnounceLowVoltage", 0x03, 1, Message(IDS_LOW_VOLTAGE)},
        RefusalCase{"AnnounceStoppedIsCoded", 0x03, 6, Coded(6)},
        RefusalCase{"AnnounceResendCodeIsCoded", 0x03, 7, Coded(7)},
        RefusalCase{"SlotInfoNotReady", 0x01, 0, Message(IDS_NOT_READY)},
        RefusalCase{"SlotInfoLowVoltageIsCoded", 0x01, 1, Coded(1)},
        RefusalCase{"SlotInfoNoMemoryIsCoded", 0x01, 4, Coded(4)},
        RefusalCase{"FreeSpaceNotReadyIsCoded", 0x0A, 0, Coded(0)},
        RefusalCase{"FreeSpaceNoMemoryIsCoded", 0x0A, 4, Coded(4)}),
    test::NameFrom(&RefusalCase::name));

TEST_F(FamilyCProtocol, AnnounceOfASongThatDoesNotFitIsRefusedWithoutSendingBlocks) {
  const Bytes image = Image(5000);
  KeyboardConfig config;
  config.freeMemory = 4999;
  Connect(config);
  EXPECT_EQ(Transfer(image), Returned(-1));
  EXPECT_EQ(keyboard->CountReceived(family_c::kCmdDataBlock), 0u);
}

TEST_F(FamilyCProtocol, SilenceFailsEveryOperationWithTheTimeoutMessage) {
  keyboard->AddRule(Silent(test::kAnyCommand));
  EXPECT_EQ(OutcomeOf([] { return ReadSlotInfo(0, nullptr, nullptr); }), Message(IDS_TIMEOUT));
  EXPECT_EQ(OutcomeOf([] { return static_cast<int>(ReadFreeSpace()); }), Message(IDS_TIMEOUT));
  EXPECT_EQ(OutcomeOf([] { return AnnounceSong(0, 10); }), Message(IDS_TIMEOUT));
}

TEST_F(FamilyCProtocol, KeyboardThatStopsAnsweringMidTransferFailsWithTheTimeoutMessage) {
  keyboard->AddRule(Silent(family_c::kCmdDataBlock, 3));
  const std::uint64_t start = link.Elapsed();
  EXPECT_EQ(Transfer(Image(1000)), Message(IDS_TIMEOUT));
  EXPECT_EQ(keyboard->CountReceived(family_c::kCmdDataBlock), 4u) << "the silent block is not sent again";
  EXPECT_EQ(screen.Ctl(dialog, IDC_PROGRESS).progressSteps, 3);
  EXPECT_LT(link.Elapsed() - start, 3100u) << "one 3000 ms receive ends the wait";
  EXPECT_EQ(screen.LastWindowOf(IDD_SENDING), nullptr);
}

TEST_F(FamilyCProtocol, UndeliveredMessageFailsWithTheTimeoutMessage) {
  link.SetSendDoneDelay(std::nullopt);
  EXPECT_EQ(OutcomeOf([] { return AnnounceSong(0, 10); }), Message(IDS_TIMEOUT));
}

TEST_F(FamilyCProtocol, ClosingWaitOutlastsSilenceUntilCancelIsConfirmed) {
  keyboard->AddRule(Silent(family_c::kCmdCloseTransfer));
  // The user presses Cancel twice in box 139: first answering No, then Yes.
  screen.answers = {kAnswerNo, kAnswerYes};
  const auto pressCancel = [this] { screen.PressSendingCancel(screen.LastWindowOf(IDD_SENDING)); };
  link.PostWindowMessage(20000, pressCancel);
  link.PostWindowMessage(40000, pressCancel);

  EXPECT_EQ(Transfer(Image(100)), Message(IDS_TIMEOUT));
  EXPECT_GE(link.Elapsed(), 40000u) << "the No answer must not end the wait";
  EXPECT_LE(link.Elapsed(), 43100u) << "a confirmed cancel is seen once the current receive returns";
  ASSERT_EQ(screen.boxes.size(), 2u);
  EXPECT_EQ(screen.boxes[0].text, TEXT_41);
  EXPECT_FALSE(screen.IsOpen(screen.LastWindowOf(IDD_SENDING)));
  EXPECT_EQ(keyboard->CountReceived(family_c::kCmdCloseTransfer), 1u);
}

TEST_F(FamilyCProtocol, ClosingWaitWithNoBoxToCancelItEndsAfterOneSilentReceive) {
  keyboard->AddRule(Silent(family_c::kCmdCloseTransfer));
  screen.boxesThatFail = {IDD_SENDING};
  EXPECT_EQ(Transfer(Image(100)), Message(IDS_TIMEOUT));
  EXPECT_LE(link.Elapsed(), 3100u) << "without box 139 nobody could end the wait";
}

TEST_F(FamilyCProtocol, AnswerInTheReceiveDuringWhichCancelIsConfirmedStillCounts) {
  keyboard->AddRule(test::Late(family_c::kCmdCloseTransfer, 4500));
  screen.answers = {kAnswerYes};
  // Cancel lands in the second receive of the closing wait, which then brings the keyboard's answer.
  link.PostWindowMessage(3500, [this] { screen.PressSendingCancel(screen.LastWindowOf(IDD_SENDING)); });
  const Bytes image = Image(10);
  EXPECT_EQ(Transfer(image), Returned(1));
  EXPECT_EQ(keyboard->Slot(2).contents, image);
}

TEST_F(FamilyCProtocol, UnrelatedFramesBeforeEachAnswerArePassedOver) {
  keyboard->SetJunk({JunkFrame::OtherAddress, JunkFrame::BrokenFraming, JunkFrame::TooShort, JunkFrame::OtherCode});
  const Bytes image = Image(400);
  ASSERT_EQ(Transfer(image), Returned(1));
  EXPECT_EQ(keyboard->Slot(2).contents, image);
  std::uint32_t size = 1;
  char name[kSlotNameSize];
  EXPECT_EQ(ReadSlotInfo(2, &size, name), 1);
  EXPECT_EQ(size, 400u);
  EXPECT_EQ(ReadFreeSpace(), (1u << 20) - 400u);
}

// ReadSlotInfo against hand-made answers.

// An acknowledgement of a slot read: status, packed size, then the packed name.
Bytes SlotAck(std::uint8_t status, std::uint32_t size, const std::string& name) {
  Bytes a = {0xF0, 0x44, 0x14, 0x00, 0x06, status, 0, 0, 0, 0, 0};
  family_c::PackU32(size, &a[6]);
  Bytes packed(PackedLength(static_cast<std::uint32_t>(name.size())));
  PackSevenBit(packed.data(), reinterpret_cast<const std::uint8_t*>(name.data()),
               static_cast<std::uint32_t>(name.size()));
  a.insert(a.end(), packed.begin(), packed.end());
  a.push_back(0xF7);
  return a;
}

struct SlotAnswerCase {
  const char* name;
  std::vector<Bytes> answers;  // what the keyboard sends in reply to the read, in this order
  int status;
  std::uint32_t size;
  std::string slotName;
};

void PrintTo(const SlotAnswerCase& c, std::ostream* os) { *os << c.name; }

class SlotInfoAnswers : public FamilyCProtocol, public ::testing::WithParamInterface<SlotAnswerCase> {};

TEST_P(SlotInfoAnswers, GiveTheSlotsStatusSizeAndName) {
  const SlotAnswerCase& c = GetParam();
  Script([answers = c.answers](const Bytes&, test::ReplySink& sink) {
    std::uint32_t at = 0;
    for (const Bytes& a : answers) sink.Reply(a, at++);
  });
  std::uint32_t size = 0xDEADBEEF;
  char name[kSlotNameSize];
  std::memset(name, 'x', sizeof name);
  EXPECT_EQ(ReadSlotInfo(0, &size, name), c.status);
  EXPECT_EQ(size, c.size);
  ASSERT_NE(std::memchr(name, 0, sizeof name), nullptr) << "name not terminated inside its 32 bytes";
  EXPECT_EQ(std::string(name), c.slotName);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SlotInfoAnswers,
    ::testing::Values(
        SlotAnswerCase{"WorkedExample",
                       {{0xF0, 0x44, 0x14, 0x00, 0x06, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x29, 0x5B, 0x6D, 0x66,
                         0x38, 0xF7}},
                       1, 4096, "Song"},
        // A full slot whose twelve-byte answer carries no name shows the in-use marker.
        SlotAnswerCase{"FullSlotWithoutName", {SlotAck(1, 700, "")}, 1, 700, TEXT_IN_USE_MARKER},
        // An empty slot has no size and no name, whatever the answer holds.
        SlotAnswerCase{"EmptySlot", {SlotAck(0, 4096, "Leftover")}, 0, 0, ""},
        SlotAnswerCase{"ShortAndUnrelatedAnswersPassedOver",
                       {{0xF0, 0x44, 0x14, 0x00, 0x06, 0x01, 0x00, 0x00, 0x02, 0x00, 0xF7},  // eleven bytes
                        {0xF0, 0x44, 0x14, 0x00, 0x07, 0xF7},                                // short refusal
                        {0xF0, 0x44, 0x15, 0x01, 0x07, 0x00, 0xF7},                          // other model
                        SlotAck(1, 12, "Real")},
                       1, 12, "Real"},
        SlotAnswerCase{"NameOf40BytesCutTo31", {SlotAck(1, 1, std::string(40, 'N'))}, 1, 1, std::string(31, 'N')},
        SlotAnswerCase{"NameStopsAtItsFirstZeroByte", {SlotAck(1, 1, std::string("Ab\0cd", 5))}, 1, 1, "Ab"}),
    test::NameFrom(&SlotAnswerCase::name));

// The frames the program builds, byte for byte (announce, block and closing in the scenario below).
struct FrameCase {
  const char* name;
  Bytes (*build)();
  Bytes expected;
};

void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }

class Frames : public ::testing::TestWithParam<FrameCase> {};

TEST_P(Frames, MatchTheirLayout) { EXPECT_EQ(GetParam().build(), GetParam().expected); }

template <typename Builder>
Bytes Built(Builder builder) {
  Bytes out(family_c::kBlockBufferSize, 0xEE);
  out.resize(builder(out.data()));
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, Frames,
    ::testing::Values(
        FrameCase{"ReadSlotInfo",
                  [] { return Built([](std::uint8_t* o) { return family_c::BuildReadSlotInfo(o, 9); }); },
                  {0xF0, 0x44, 0x14, 0x00, 0x01, 0x09, 0xF7}},
        FrameCase{"DeleteThirdRow",
                  [] { return Built([](std::uint8_t* o) { return family_c::BuildDeleteSong(o, 2); }); },
                  {0xF0, 0x44, 0x14, 0x00, 0x09, 0x02, 0xF7}},
        FrameCase{"ReadFreeSpace",
                  [] { return Built([](std::uint8_t* o) { return family_c::BuildReadFreeSpace(o); }); },
                  {0xF0, 0x44, 0x14, 0x00, 0x0A, 0xF7}}),
    test::NameFrom(&FrameCase::name));

TEST_F(FamilyCProtocol, SendsTheWorkedExampleFramesForAThreeByteSong) {
  // A keyboard that acknowledges everything: the announced size differs from the image on purpose.
  Script([](const Bytes&, test::ReplySink& sink) { sink.Reply(test::KeyboardAck(), 0); });
  const Bytes abc = {0x61, 0x62, 0x63};
  ASSERT_EQ(OutcomeOf([&] {
              const int accepted = AnnounceSong(3, 4096);
              DialogProgress progress(dialog);
              SendSongImage(progress, abc.data(), 3);
              return accepted;
            }),
            Returned(1));
  const auto& sent = link.Sent();
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent[sent.size() - 3], (Bytes{0xF0, 0x44, 0x14, 0x00, 0x03, 0x03, 0x00, 0x00, 0x02, 0x00, 0x00, 0xF7}));
  EXPECT_EQ(sent[sent.size() - 2], (Bytes{0xF0, 0x44, 0x14, 0x00, 0x04, 0x30, 0x58, 0x4C, 0x30, 0x7C, 0xF7}));
  EXPECT_EQ(sent[sent.size() - 1], (Bytes{0xF0, 0x44, 0x14, 0x00, 0x05, 0x1A, 0x49, 0x08, 0x1C, 0x10, 0xF7}));
}

}  // namespace
}  // namespace su
