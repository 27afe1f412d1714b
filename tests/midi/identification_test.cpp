// Keyboard identification over the virtual link: the reply frame check, the model table and what is passed
// over. ConnectKeyboard's tests (port choice, checks, the wait box, message 34) are in tests/app/dialogs/.
#include "midi/identification.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/run_state.h"
#include "midi/port_session.h"
#include "tests/support/case_name.h"
#include "tests/support/link_fixture.h"

namespace su {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kIdentityRequest = {0xF0, 0x44, 0x14, 0x00, 0x00, 0xF7};

// An identity reply: model byte, then whatever further bytes are given, then F7.
Bytes IdentityReply(std::uint8_t modelByte, Bytes more = {}) {
  Bytes frame = {0xF0, 0x44, 0x14, 0x00, 0x06, modelByte};
  for (std::uint8_t byte : more) frame.push_back(byte);
  frame.push_back(0xF7);
  return frame;
}

bool IsIdentityRequest(const Bytes& message) { return message == kIdentityRequest; }

// ---------------------------------------------------------------------------------------------------------
// CheckReplyFrame

struct FrameCase {
  const char* what;
  Bytes bytes;
  std::uint32_t length;  // as handed over; may be shorter than the bytes behind it
  std::uint16_t address;
  int expected;
};

void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.what; }

class CheckReplyFrameTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(CheckReplyFrameTest, GivesTheCommandByteOnlyForAFrameOfTheAddress) {
  const FrameCase& c = GetParam();
  EXPECT_EQ(CheckReplyFrame(c.address, c.bytes.data(), c.length), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, CheckReplyFrameTest,
    ::testing::Values(
        FrameCase{"shortest frame", {0xF0, 0x44, 0x14, 0x00, 0x06, 0xF7}, 6, 0x1400, 0x06},
        FrameCase{"command read unsigned", {0xF0, 0x44, 0x14, 0x00, 0x86, 0x01, 0xF7}, 7, 0x1400, 0x86},
        FrameCase{"other family's address", {0xF0, 0x44, 0x11, 0x03, 0x7F, 0x00, 0xF7}, 7, 0x1103, 0x7F},
        FrameCase{"five bytes", {0xF0, 0x44, 0x14, 0x00, 0xF7}, 5, 0x1400, -1},
        FrameCase{"F7 just beyond the length", {0xF0, 0x44, 0x14, 0x00, 0x06, 0x00, 0xF7}, 6, 0x1400, -1},
        FrameCase{"no F0", {0xF1, 0x44, 0x14, 0x00, 0x06, 0xF7}, 6, 0x1400, -1},
        FrameCase{"other maker", {0xF0, 0x43, 0x14, 0x00, 0x06, 0xF7}, 6, 0x1400, -1},
        FrameCase{"high address byte differs", {0xF0, 0x44, 0x15, 0x00, 0x06, 0xF7}, 6, 0x1400, -1},
        FrameCase{"low address byte differs", {0xF0, 0x44, 0x14, 0x01, 0x06, 0xF7}, 6, 0x1400, -1},
        FrameCase{"cut without F7", {0xF0, 0x44, 0x14, 0x00, 0x06, 0x00, 0x00}, 7, 0x1400, -1}),
    test::NameFrom(&FrameCase::what));

TEST(CheckReplyFrame, RefusesMissingBytesAndZeroLength) {
  EXPECT_EQ(CheckReplyFrame(0x1400, nullptr, 6), -1);
  const std::uint8_t one[] = {0xF0};
  EXPECT_EQ(CheckReplyFrame(0x1400, one, 0), -1);
}

// ---------------------------------------------------------------------------------------------------------
// IdentifyKeyboard: one input and one output device, both stored.

class IdentificationTest : public test::LinkTest {
 protected:
  // Answers the identity request with `replies`, the n-th arriving n x `spacingMs` after the request.
  void AnswerIdentityWith(std::vector<Bytes> replies, std::uint32_t spacingMs = 100) {
    Script([replies, spacingMs](const Bytes& message, test::ReplySink& sink) {
      if (!IsIdentityRequest(message)) return;
      std::uint32_t at = 0;
      for (const Bytes& reply : replies) sink.Reply(reply, at += spacingMs);
    });
  }
  int Identify() {
    OpenPorts();
    return IdentifyKeyboard();
  }
};

struct ModelCase {
  std::uint8_t modelByte;
  Bytes more;  // bytes after the model byte
  int found;
  std::int32_t modelType;
  const char* modelCode;
  const char* modelInfo;
  std::int32_t modelInfoValid;
};

void PrintTo(const ModelCase& c, std::ostream* os) {
  *os << "reply with model byte " << int(c.modelByte) << " and " << c.more.size() << " more bytes";
}

class ModelTableTest : public IdentificationTest, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(ModelTableTest, ReplyGivesModelTypeCodeAndInformation) {
  const ModelCase& c = GetParam();
  // Left over from an earlier identification: must not survive this one.
  su::Run().modelInfo = "deadbeef";
  su::Run().modelInfoValid = 1;
  AnswerIdentityWith({IdentityReply(c.modelByte, c.more)});

  EXPECT_EQ(Identify(), c.found);
  ASSERT_FALSE(link.Sent().empty());
  EXPECT_EQ(link.Sent().front(), kIdentityRequest);
  EXPECT_EQ(su::Run().modelType, c.modelType);
  if (c.found == 1) {
    EXPECT_EQ(su::Run().modelCode, c.modelCode);
  }
  EXPECT_EQ(su::Run().modelInfo, c.modelInfo);
  EXPECT_EQ(su::Run().modelInfoValid, c.modelInfoValid);
}

const Bytes kInfo = {0x01, 0x23, 0x45, 0x67};

INSTANTIATE_TEST_SUITE_P(
    Models, ModelTableTest,
    ::testing::Values(
        // Rows that do not keep the model information ignore bytes 6 to 9.
        ModelCase{2, kInfo, 1, 4, "2", "", 0}, ModelCase{2, {}, 1, 4, "2", "", 0},
        ModelCase{19, kInfo, 1, 23, "13", "", 0},
        // Rows that keep it: one-character and two-character codes, info printed byte 6 first.
        ModelCase{11, kInfo, 1, 13, "b", "01234567", 1},
        ModelCase{15, {0x7F, 0x00, 0x0A, 0x10}, 1, 17, "f", "7f000a10", 1},
        ModelCase{21, {0x00, 0x00, 0x00, 0x01}, 1, 28, "15", "00000001", 1},
        // Unrecognised model bytes are passed over; with nothing else coming the identification gives up.
        ModelCase{22, kInfo, 0, -1, "", "", 0}, ModelCase{1, kInfo, 0, -1, "", "", 0},
        // A model that needs its information but whose reply is too short to carry it is passed over too.
        ModelCase{11, {0x01, 0x23, 0x45}, 0, -1, "", "", 0}, ModelCase{21, {}, 0, -1, "", "", 0}),
    [](const ::testing::TestParamInfo<ModelCase>& info) {
      return "ModelByte" + std::to_string(info.param.modelByte) + "With" + std::to_string(info.param.more.size()) +
             "MoreBytes";
    });

TEST_F(IdentificationTest, UnusableRepliesArePassedOverUntilARecognisedOne) {
  // Each reply comes within the receive time-out of the one before, though the whole takes over 3000 ms.
  AnswerIdentityWith({Bytes{0xF0, 0x44, 0x14, 0x00, 0xF7},           // five bytes
                      Bytes{0xF0, 0x44, 0x14, 0x01, 0x06, 0x02, 0xF7},  // another model address
                      Bytes{0xF0, 0x44, 0x14, 0x00, 0x06, 0x02},        // no F7
                      IdentityReply(22, kInfo),                         // unknown model byte
                      IdentityReply(3)},
                     1500);
  EXPECT_EQ(Identify(), 1);
  EXPECT_EQ(su::Run().modelType, 5);
  EXPECT_EQ(su::Run().modelCode, "3");
  EXPECT_GE(link.Elapsed(), 7500u);
}

TEST_F(IdentificationTest, UnknownModelThenSilenceGivesUpAfterTheReceiveTimeout) {
  AnswerIdentityWith({IdentityReply(22, kInfo)}, 500);
  EXPECT_EQ(Identify(), 0);
  EXPECT_EQ(su::Run().modelType, -1);
  // 500 ms to the reply, then one full receive time-out of silence.
  EXPECT_GE(link.Elapsed(), 500u + kExchangeTimeoutMs);
  EXPECT_LT(link.Elapsed(), 500u + kExchangeTimeoutMs + 100);
}

TEST_F(IdentificationTest, RequestThatCannotBeSentGivesUpWithoutWaitingForAReply) {
  AnswerIdentityWith({IdentityReply(2)});
  link.SetSendDoneDelay(std::nullopt);
  EXPECT_EQ(Identify(), 0);
  EXPECT_EQ(su::Run().modelType, -1);
  EXPECT_LT(link.Elapsed(), 2u * kExchangeTimeoutMs);
}

}  // namespace
}  // namespace su
