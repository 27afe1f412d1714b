// The port session against the virtual link: opening and closing, the 3000 ms waits, the single input
// buffer and what the driver is left holding.
#include "midi/port_session.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/run_state.h"
#include "tests/support/case_name.h"
#include "tests/support/link_fixture.h"

namespace su {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kIdentity = {0xF0, 0x44, 0x14, 0x00, 0x00, 0xF7};

Bytes Frame(std::uint8_t command, std::size_t totalLength = 8) {
  Bytes frame(totalLength, 0x11);
  frame[0] = 0xF0;
  frame[1] = 0x44;
  frame[2] = 0x14;
  frame[3] = 0x00;
  frame[4] = command;
  frame.back() = 0xF7;
  return frame;
}

// Two devices each way; the stored pair is input 1, output 0.
class PortSessionTest : public test::LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    link.SetInDevices({"Port A in", "Port B in"});
    link.SetOutDevices({"Port A out", "Port B out"});
    su::Run().midiInIndex = 1;
  }
  // Receives once; returns the bytes (empty on time-out) and how long the call took.
  struct Received {
    int result;
    Bytes bytes;
    std::uint64_t tookMs;
  };
  Received Receive() {
    const std::uint64_t before = link.Elapsed();
    std::unique_ptr<std::uint8_t[]> bytes;
    std::uint32_t length = 0;
    const int result = ReceiveSysEx(&bytes, &length);
    Received got{result, {}, link.Elapsed() - before};
    if (result == 1 && bytes) got.bytes.assign(bytes.get(), bytes.get() + length);
    return got;
  }
  void ExpectNothingLeftOpen() {
    EXPECT_FALSE(link.IsInOpen());
    EXPECT_FALSE(link.IsOutOpen());
    EXPECT_EQ(link.EventsAlive(), 0);
    EXPECT_FALSE(link.InQueued());
    EXPECT_FALSE(link.OutHeld());
  }
};

TEST_F(PortSessionTest, OpenStartAndCloseLeaveNothingBehindAndClosingTwiceIsHarmless) {
  OpenPorts();
  EXPECT_TRUE(link.IsInOpen());
  EXPECT_TRUE(link.IsOutOpen());
  EXPECT_EQ(link.EventsAlive(), 3);  // input, output and loss
  EXPECT_TRUE(link.InQueued());
  EXPECT_TRUE(link.InStarted());

  CloseMidiPorts();
  ExpectNothingLeftOpen();
  EXPECT_FALSE(link.InPrepared());
  EXPECT_EQ(link.InCloses(), 1);
  EXPECT_EQ(link.OutCloses(), 1);

  CloseMidiPorts();
  EXPECT_EQ(link.InCloses(), 1);
  EXPECT_EQ(link.OutCloses(), 1);
  ExpectNothingLeftOpen();
}

TEST_F(PortSessionTest, ReopeningClosesTheOldPortsFirst) {
  OpenPorts();
  ASSERT_EQ(OpenMidiPorts(), 1);
  EXPECT_EQ(link.InOpens(), 2);
  EXPECT_EQ(link.InCloses(), 1);
  EXPECT_EQ(link.OutCloses(), 1);
  EXPECT_EQ(link.EventsAlive(), 3);  // input, output and loss
}

struct OpenFailure {
  const char* what;
  std::int32_t in, out;
  std::int32_t refuseIn, refuseOut;
};

void PrintTo(const OpenFailure& c, std::ostream* os) { *os << c.what; }

class OpenFailureTest : public PortSessionTest, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenFailureTest, LeavesNoPortAndNoEventBehind) {
  const OpenFailure& c = GetParam();
  su::Run().midiInIndex = c.in;
  su::Run().midiOutIndex = c.out;
  if (c.refuseIn >= 0) link.RefuseInOpen(c.refuseIn);
  if (c.refuseOut >= 0) link.RefuseOutOpen(c.refuseOut);
  EXPECT_EQ(OpenMidiPorts(), 0);
  ExpectNothingLeftOpen();
  EXPECT_EQ(link.InOpens(), link.InCloses());
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenFailureTest,
                         ::testing::Values(OpenFailure{"input busy", 1, 0, 1, -1},
                                           OpenFailure{"output busy", 1, 0, -1, 0},
                                           OpenFailure{"input unplugged", 5, 0, -1, -1},
                                           OpenFailure{"output unplugged", 0, 2, -1, -1}),
                         test::NameFrom(&OpenFailure::what));

// When a single reply arrives, relative to the call, and whether the receive takes it.
struct ReplyTiming {
  std::uint32_t delayMs;
  bool taken;
};

void PrintTo(const ReplyTiming& c, std::ostream* os) { *os << "a reply " << c.delayMs << " ms after the call"; }

class ReceiveTimingTest : public PortSessionTest, public ::testing::WithParamInterface<ReplyTiming> {};

TEST_P(ReceiveTimingTest, ReplyWithinThreeSecondsIsTakenLaterOneIsNot) {
  OpenPorts();
  link.Reply(Frame(0x01), GetParam().delayMs);
  const Received got = Receive();
  if (GetParam().taken) {
    EXPECT_EQ(got.result, 1);
    EXPECT_EQ(got.bytes, Frame(0x01));
    EXPECT_EQ(got.tookMs, GetParam().delayMs);
  } else {
    EXPECT_EQ(got.result, 0);
    EXPECT_EQ(got.tookMs, 3001u) << "a silent receive must give up just after 3000 ms";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ReceiveTimingTest,
                         ::testing::Values(ReplyTiming{0, true}, ReplyTiming{2999, true},
                                           ReplyTiming{3000, true}, ReplyTiming{3500, false},
                                           ReplyTiming{75000, false}),
                         [](const ::testing::TestParamInfo<ReplyTiming>& info) {
                           return "ReplyAfter" + std::to_string(info.param.delayMs) + "ms";
                         });

TEST_F(PortSessionTest, TimedOutReceiveLeavesTheOutsAsTheyWereAndBlocksInsteadOfSpinning) {
  OpenPorts();
  std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[1]{0x5A});
  std::uint32_t length = 77;
  const int waitsBefore = link.Waits();
  EXPECT_EQ(ReceiveSysEx(&bytes, &length), 0);
  EXPECT_EQ(length, 77u);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes[0], 0x5A);
  EXPECT_LE(link.Waits() - waitsBefore, 2) << "the wait polls instead of blocking";
}

TEST_F(PortSessionTest, TickWrapDuringAWaitRestartsTheThreeSeconds) {
  link.SetTicks(0xFFFFFFFFu - 999u);  // wraps 1000 ms from now
  OpenPorts();
  EXPECT_EQ(Receive().tookMs, 1000u + 3001u);

  link.SetTicks(0xFFFFFFFFu - 999u + 0u);
  link.Reply(Frame(0x02), 3900);  // too late without the restart, in time with it
  const Received got = Receive();
  EXPECT_EQ(got.result, 1);
  EXPECT_EQ(got.tookMs, 3900u);
}

TEST_F(PortSessionTest, WindowMessagesRunDuringTheWaitWithoutStretchingIt) {
  OpenPorts();
  int cancelPressed = 0;
  link.PostWindowMessage(1500, [&] { ++cancelPressed; });
  link.StreamWindowMessages(100, 100, 40, 0);  // a repaint every 100 ms, quickly done
  const Received got = Receive();
  EXPECT_EQ(cancelPressed, 1);
  EXPECT_EQ(got.result, 0);
  EXPECT_EQ(got.tookMs, 3001u);
}

TEST_F(PortSessionTest, SteadyStreamOfWindowMessagesKeepsTheWaitGoingUntilTheQueueEmpties) {
  OpenPorts();
  // From 2000 ms on a message every 5 ms, each taking 10 ms to handle: the queue never empties until the
  // last one has been handled at 2000 + 600 * 10 ms.
  link.StreamWindowMessages(2000, 5, 600, 10);
  const Received got = Receive();
  EXPECT_EQ(got.result, 0);
  EXPECT_EQ(link.Dispatched(), 600);
  EXPECT_EQ(got.tookMs, 8000u) << "the time-out is noticed at the first empty poll";
}

TEST_F(PortSessionTest, ReplyThatArrivesWhileMessagesAreHandledPastTheTimeOutIsStillTaken) {
  OpenPorts();
  link.StreamWindowMessages(2000, 5, 600, 10);
  link.Reply(Frame(0x03), 3500);
  const Received got = Receive();
  EXPECT_EQ(got.result, 1);
  EXPECT_EQ(got.bytes, Frame(0x03));
}

// Two replies to one request: the second reaches the program only when it arrives after the buffer was
// handed back by the receive that took the first.
struct SecondReply {
  std::uint32_t gapMs;
  bool delivered;
};

void PrintTo(const SecondReply& c, std::ostream* os) { *os << "a second reply " << c.gapMs << " ms after the first"; }

class TwoRepliesTest : public PortSessionTest, public ::testing::WithParamInterface<SecondReply> {};

TEST_P(TwoRepliesTest, SecondIsDeliveredOnlyOnceTheBufferIsBack) {
  Script([gapMs = GetParam().gapMs](const Bytes&, test::ReplySink& sink) {
    sink.Reply(Frame(0x0A), 20);
    sink.Reply(Frame(0x0B), 20 + gapMs);
  });
  OpenPorts();
  ASSERT_EQ(SendSysEx(kIdentity.data(), static_cast<std::uint32_t>(kIdentity.size())), 1);

  const Received first = Receive();
  EXPECT_EQ(first.bytes, Frame(0x0A));
  EXPECT_TRUE(link.InQueued()) << "the buffer goes back to the driver after each message";

  const Received second = Receive();
  if (GetParam().delivered) {
    EXPECT_EQ(second.bytes, Frame(0x0B));
    EXPECT_EQ(link.Dropped(), 0);
  } else {
    EXPECT_EQ(second.result, 0) << "the first reply must not come back twice";
    EXPECT_EQ(link.Dropped(), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, TwoRepliesTest,
                         ::testing::Values(SecondReply{0, false}, SecondReply{1, true}, SecondReply{500, true}),
                         [](const ::testing::TestParamInfo<SecondReply>& info) {
                           return "SecondReply" + std::to_string(info.param.gapMs) + "msLater";
                         });

TEST_F(PortSessionTest, ReplyLongerThanTheBufferArrivesCutWithoutItsEnd) {
  OpenPorts();
  Bytes longReply = Frame(0x04, 1500);
  link.Reply(longReply, 5);
  const Received got = Receive();
  ASSERT_EQ(got.bytes.size(), kInputBufferSize);
  EXPECT_TRUE(std::equal(got.bytes.begin(), got.bytes.end(), longReply.begin()));
  EXPECT_NE(got.bytes.back(), 0xF7);
}

TEST_F(PortSessionTest, ReplyBeforeInputStartedIsLostNotDeliveredLater) {
  ASSERT_EQ(OpenMidiPorts(), 1);
  link.Reply(Frame(0x05), 0);
  link.Advance(10);
  ASSERT_EQ(StartMidiInput(), 1);
  EXPECT_EQ(Receive().result, 0);
  EXPECT_EQ(link.Dropped(), 1);
}

TEST_F(PortSessionTest, DrainInputDropsWhatCameAndReturnsAtOnceWhenNothingDid) {
  OpenPorts();
  int dispatched = 0;
  link.PostWindowMessage(0, [&] { ++dispatched; });
  const int preparesBefore = link.InPrepares();
  const std::uint64_t before = link.Elapsed();
  EXPECT_EQ(DrainInput(), 1);
  EXPECT_EQ(link.Elapsed(), before);
  EXPECT_EQ(link.InPrepares(), preparesBefore) << "the buffer must not be touched";
  EXPECT_EQ(dispatched, 0) << "draining dispatches no window message";

  link.Reply(Frame(0x06), 0);
  link.Advance(1);
  EXPECT_EQ(DrainInput(), 1);
  EXPECT_TRUE(link.InQueued());
  link.Reply(Frame(0x07), 10);
  EXPECT_EQ(Receive().bytes, Frame(0x07));
}

TEST_F(PortSessionTest, SendHandsTheExactBytesToTheKeyboardAndWaitsForTheDriver) {
  Bytes seen;
  Script([&](const Bytes& message, test::ReplySink&) { seen = message; });
  link.SetSendDoneDelay(40);
  OpenPorts();
  const std::uint64_t before = link.Elapsed();
  EXPECT_EQ(SendSysEx(kIdentity.data(), static_cast<std::uint32_t>(kIdentity.size())), 1);
  EXPECT_EQ(link.Elapsed() - before, 40u);
  EXPECT_EQ(seen, kIdentity);
  EXPECT_FALSE(link.OutPrepared());
}

TEST_F(PortSessionTest, SendTimeOutLeavesNoDriverHoldingTheBytesAndDoesNotSpoilTheNextSend) {
  OpenPorts();
  link.SetSendDoneDelay(std::nullopt);
  {
    Bytes transient = kIdentity;  // gone once the call returns
    const std::uint64_t before = link.Elapsed();
    EXPECT_EQ(SendSysEx(transient.data(), static_cast<std::uint32_t>(transient.size())), 0);
    EXPECT_EQ(link.Elapsed() - before, 3001u);
  }
  EXPECT_FALSE(link.OutHeld());
  EXPECT_FALSE(link.OutPrepared());

  // The reset reported the abandoned message done; that report must not end the next send early.
  link.SetSendDoneDelay(25);
  const std::uint64_t before = link.Elapsed();
  EXPECT_EQ(SendSysEx(kIdentity.data(), static_cast<std::uint32_t>(kIdentity.size())), 1);
  EXPECT_EQ(link.Elapsed() - before, 25u);
  EXPECT_EQ(link.Sent().size(), 2u);
}

TEST_F(PortSessionTest, SendWithoutOpenPortsTimesOutInsteadOfFailingHard) {
  EXPECT_EQ(SendSysEx(kIdentity.data(), static_cast<std::uint32_t>(kIdentity.size())), 0);
  EXPECT_TRUE(link.Sent().empty());
}

}  // namespace
}  // namespace su
