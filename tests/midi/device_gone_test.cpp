// A device that is gone, as the port session decides it: once the driver reports the loss, the session stops
// talking to the driver (closing aside) and every exchange ends at once with message 38, until a new open.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/run_state.h"
#include "midi/port_session.h"
#include "resources/message_numbers.h"
#include "tests/support/virtual_link.h"

namespace su {
namespace {

const std::vector<std::uint8_t> kIdentity = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};

// The virtual link with every driver call the session makes written down, and a report of a lost device the
// test can give and take back (as a driver does once the device is plugged in again and reopened).
class WatchedLink : public test::VirtualLink {
 public:
  std::vector<std::string> calls;
  bool reportGone = false;
  // The driver call that finds the device gone (refused for it) and reports the loss only by what
  // DeviceRemoved says, setting no event: "" for none.
  std::string refusedAsGone;

  bool DeviceRemoved() const override { return reportGone || VirtualLink::DeviceRemoved(); }
  bool OpenIn(std::int32_t i, EventRef e) override { return Note("OpenIn"), VirtualLink::OpenIn(i, e); }
  bool ResetIn() override { return Note("ResetIn"), VirtualLink::ResetIn(); }
  bool StartIn() override { return Note("StartIn"), VirtualLink::StartIn(); }
  bool StopIn() override { return Note("StopIn"), VirtualLink::StopIn(); }
  bool CloseIn() override { return Note("CloseIn"), VirtualLink::CloseIn(); }
  void SetInBuffer(std::uint8_t* d, std::uint32_t s) override { Note("SetInBuffer"), VirtualLink::SetInBuffer(d, s); }
  void ClearInHeader() override { Note("ClearInHeader"), VirtualLink::ClearInHeader(); }
  bool PrepareIn() override { return Note("PrepareIn"), VirtualLink::PrepareIn(); }
  bool UnprepareIn() override { return Note("UnprepareIn"), VirtualLink::UnprepareIn(); }
  bool AddIn() override { return Note("AddIn"), VirtualLink::AddIn(); }
  std::uint32_t InBytesRecorded() override { return Note("InBytesRecorded"), VirtualLink::InBytesRecorded(); }
  bool OpenOut(std::int32_t i, EventRef e) override { return Note("OpenOut"), VirtualLink::OpenOut(i, e); }
  void SetOutMessage(const std::uint8_t* d, std::uint32_t s) override {
    Note("SetOutMessage"), VirtualLink::SetOutMessage(d, s);
  }
  bool PrepareOut() override { return Note("PrepareOut") && VirtualLink::PrepareOut(); }
  bool SendOut() override { return Note("SendOut") && VirtualLink::SendOut(); }
  bool UnprepareOut() override { return Note("UnprepareOut"), VirtualLink::UnprepareOut(); }
  bool ResetOut() override { return Note("ResetOut"), VirtualLink::ResetOut(); }
  bool CloseOut() override { return Note("CloseOut"), VirtualLink::CloseOut(); }

 private:
  // False (refused) when `call` is the one that finds the device gone.
  bool Note(const char* call) {
    calls.emplace_back(call);
    if (refusedAsGone != call) return true;
    reportGone = true;
    return false;
  }
};

class DeviceGoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    su::Run() = RunState{};
    link.SetInDevices({"Virtual in"});
    link.SetOutDevices({"Virtual out"});
    InstallMidi(&link, &link);
    su::Run().midiInIndex = 0;
    su::Run().midiOutIndex = 0;
    ASSERT_EQ(OpenMidiPorts(), 1);
    ASSERT_EQ(StartMidiInput(), 1);
  }
  void TearDown() override {
    CloseMidiPorts();
    EXPECT_TRUE(link.Misuse().empty()) << link.Misuse().front();
    InstallMidi(nullptr, nullptr);
    su::Run() = RunState{};
  }

  // The message number an exchange raised as a lost device; 0 when it raised nothing of the kind.
  template <typename Exchange>
  static int GoneRaisedBy(Exchange exchange) {
    try {
      exchange();
    } catch (const DeviceGoneFailure& failure) {
      return failure.number;
    }
    return 0;
  }
  static void Receive() {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::uint32_t length = 0;
    ReceiveSysEx(&bytes, &length);
  }
  static void Send() { SendSysEx(kIdentity.data(), static_cast<std::uint32_t>(kIdentity.size())); }

  WatchedLink link;
};

TEST_F(DeviceGoneTest, OnceNoticedNothingButTheCloseReachesTheDriver) {
  link.Unplug(500);
  // The wait under way wakes at the loss and ends then, not after its 3000 ms.
  EXPECT_EQ(GoneRaisedBy(Receive), IDS_TIMEOUT);
  EXPECT_EQ(link.Elapsed(), 500u);

  link.calls.clear();
  EXPECT_EQ(GoneRaisedBy(Send), IDS_TIMEOUT);
  EXPECT_EQ(GoneRaisedBy(Receive), IDS_TIMEOUT);
  EXPECT_EQ(GoneRaisedBy(DrainInput), IDS_TIMEOUT);
  EXPECT_EQ(GoneRaisedBy([] { PauseExchange(3000); }), IDS_TIMEOUT);
  EXPECT_EQ(StartMidiInput(), 0);
  EXPECT_TRUE(DeviceGone());
  EXPECT_EQ(link.calls, std::vector<std::string>{});
  EXPECT_EQ(link.Elapsed(), 500u) << "an exchange with a gone device waited";

  CloseMidiPorts();
  EXPECT_EQ(link.calls, (std::vector<std::string>{"StopIn", "ResetIn", "UnprepareIn", "CloseIn", "ResetOut",
                                                  "UnprepareOut", "CloseOut"}));
}

TEST_F(DeviceGoneTest, APauseBetweenTriesEndsWithinAQuarterSecondOfTheLoss) {
  link.Unplug(1000);
  EXPECT_EQ(GoneRaisedBy([] { PauseExchange(3000); }), IDS_TIMEOUT);
  EXPECT_EQ(link.Elapsed(), 1000u);
}

TEST_F(DeviceGoneTest, ACallRefusedForTheLossEndsTheSendBeforeItsFirstWait) {
  // The driver learns of the loss in the send itself and says so only when asked: no event wakes a wait, so
  // a send that waited before looking would wait out its whole time.
  for (const char* call : {"PrepareOut", "SendOut"}) {
    SCOPED_TRACE(call);
    ASSERT_EQ(OpenMidiPorts(), 1);
    link.reportGone = false;
    link.refusedAsGone = call;
    const int waitsBefore = link.Waits();
    const std::uint64_t before = link.Elapsed();
    EXPECT_EQ(GoneRaisedBy(Send), IDS_TIMEOUT);
    EXPECT_EQ(link.Elapsed() - before, 0u) << "the send waited for a device already reported gone";
    EXPECT_EQ(link.Waits(), waitsBefore);
  }
}

TEST_F(DeviceGoneTest, APauseDispatchesWindowMessagesAndAStopHandedOverEndsItThere) {
  struct Stopped {};
  int repaints = 0;
  link.PostWindowMessage(500, [&] { ++repaints; });
  link.PostWindowMessage(1200, [] { throw Stopped{}; });
  EXPECT_THROW(PauseExchange(3000), Stopped);
  EXPECT_EQ(repaints, 1) << "the window was not repainted during the pause";
  EXPECT_EQ(link.Elapsed(), 1200u);

  // Without a stop the pause lasts its time, however many messages come in.
  link.StreamWindowMessages(100, 400, 5, 10);
  PauseExchange(3000);
  EXPECT_EQ(link.Elapsed(), 4200u);
  EXPECT_EQ(link.Dispatched(), 2 + 5);
}

TEST_F(DeviceGoneTest, OnlyASuccessfulOpenForgetsIt) {
  link.reportGone = true;
  EXPECT_EQ(GoneRaisedBy(Send), IDS_TIMEOUT);
  // The driver no longer reports the loss, but the session keeps it until the ports are opened again.
  link.reportGone = false;
  link.calls.clear();
  EXPECT_TRUE(DeviceGone());
  EXPECT_EQ(GoneRaisedBy(Send), IDS_TIMEOUT);
  EXPECT_EQ(link.calls, std::vector<std::string>{});

  ASSERT_EQ(OpenMidiPorts(), 1);
  EXPECT_FALSE(DeviceGone());
  EXPECT_EQ(SendSysEx(kIdentity.data(), static_cast<std::uint32_t>(kIdentity.size())), 1);
  EXPECT_EQ(link.Sent().back(), kIdentity);
}

}  // namespace
}  // namespace su
