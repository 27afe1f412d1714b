// ConnectKeyboard over the virtual link: its ways through the port choice, the processor check, the ports,
// the search behind wait box 141 and message 34.
#include "app/dialogs/keyboard_connection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/run_state.h"
#include "midi/system_affinity.h"
#include "resources/resource.h"
#include "resources/strings.h"
#include "tests/support/link_fixture.h"

namespace su {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::FakeScreen;

const Bytes kIdentityRequest = {0xF0, 0x44, 0x14, 0x00, 0x00, 0xF7};
const Bytes kInfo = {0x01, 0x23, 0x45, 0x67};

// An identity reply: model byte, then whatever further bytes are given, then F7.
Bytes IdentityReply(std::uint8_t modelByte, Bytes more = {}) {
  Bytes frame = {0xF0, 0x44, 0x14, 0x00, 0x06, modelByte};
  for (std::uint8_t byte : more) frame.push_back(byte);
  frame.push_back(0xF7);
  return frame;
}

bool IsIdentityRequest(const Bytes& message) { return message == kIdentityRequest; }

// One input and one output device, both stored.
class KeyboardConnectionTest : public test::LinkTest {
 protected:
  // Answers the identity request with `replies`, the n-th arriving n x `spacingMs` after the request.
  void AnswerIdentityWith(std::vector<Bytes> replies, std::uint32_t spacingMs = 100) {
    Script([replies, spacingMs](const Bytes& message, test::ReplySink& sink) {
      if (!IsIdentityRequest(message)) return;
      std::uint32_t at = 0;
      for (const Bytes& reply : replies) sink.Reply(reply, at += spacingMs);
    });
  }
};

TEST_F(KeyboardConnectionTest, ConnectWithStoredPortsIdentifiesBehindTheWaitBoxAndLeavesThePortsOpen) {
  AnswerIdentityWith({IdentityReply(2)});
  EXPECT_EQ(ConnectKeyboard(), 1);

  EXPECT_EQ(su::Run().modelType, 4);
  EXPECT_TRUE(screen.boxes.empty());
  EXPECT_TRUE(screen.dialogsRun.empty());  // the stored pair is valid: no MIDI Device dialog
  ASSERT_EQ(screen.boxesOpened, std::vector<int>{IDD_LOOKING});
  WindowRef box = screen.LastWindowOf(IDD_LOOKING);
  EXPECT_FALSE(screen.IsOpen(box));
  EXPECT_EQ(screen.Win(box).owner, nullptr);
  const FakeScreen::Control& bar = screen.Ctl(box, IDC_PROGRESS);
  EXPECT_EQ(bar.progressLow, 0);
  EXPECT_EQ(bar.progressHigh, 2);
  EXPECT_EQ(bar.progressStep, 1);
  EXPECT_EQ(bar.progressSteps, 1);
  EXPECT_TRUE(link.IsInOpen());
  EXPECT_TRUE(link.IsOutOpen());
  EXPECT_TRUE(link.InStarted());
}

TEST_F(KeyboardConnectionTest, KeyboardPortsOnSeveralProcessorsAreRefusedWithMessage57) {
  link.SetInDevices({"2- QK USB IN 1"});
  InstallAffinityMaskSource([] { return std::uint64_t{3}; });
  AnswerIdentityWith({IdentityReply(2)});

  EXPECT_EQ(ConnectKeyboard(), 0);
  ASSERT_EQ(screen.boxes.size(), 1u);
  EXPECT_EQ(screen.boxes[0].text, TEXT_57);
  EXPECT_EQ(screen.boxes[0].kind, BoxKind::Warning);
  EXPECT_EQ(screen.boxes[0].owner, nullptr);
  EXPECT_EQ(link.InOpens(), 0);
  EXPECT_TRUE(screen.boxesOpened.empty());
}

TEST_F(KeyboardConnectionTest, PortsThatCannotBeOpenedShowMessage32) {
  link.RefuseOutOpen(0);
  EXPECT_EQ(ConnectKeyboard(), 0);
  ASSERT_EQ(screen.BoxTexts(), std::vector<std::string>{TEXT_32});
  EXPECT_EQ(screen.boxes[0].kind, BoxKind::Ok);
  EXPECT_TRUE(screen.boxesOpened.empty());
}

TEST_F(KeyboardConnectionTest, PortsNotSetUpShowTheDeviceDialogAndItsCancelEndsWithoutMessage34) {
  su::Run().midiInIndex = -1;
  screen.users[IDD_MIDI_DEVICE].push_back([](FakeScreen& s, WindowRef dialog) { s.Click(dialog, 2); });
  EXPECT_EQ(ConnectKeyboard(), 0);
  EXPECT_EQ(screen.dialogsRun, std::vector<int>{IDD_MIDI_DEVICE});
  EXPECT_TRUE(screen.boxes.empty());
  EXPECT_EQ(link.InOpens(), 0);
}

TEST_F(KeyboardConnectionTest, SilentKeyboardRunsAllThreeAttemptsThenNoToMessage34GivesUp) {
  screen.answers.push_back(kAnswerNo);
  EXPECT_EQ(ConnectKeyboard(), 0);

  ASSERT_EQ(screen.BoxTexts(), std::vector<std::string>{TEXT_34});
  EXPECT_EQ(screen.boxes[0].kind, BoxKind::YesNo);
  EXPECT_EQ(screen.boxes[0].owner, nullptr);
  EXPECT_TRUE(screen.dialogsRun.empty());
  WindowRef box = screen.LastWindowOf(IDD_LOOKING);
  EXPECT_EQ(screen.Ctl(box, IDC_PROGRESS).progressSteps, 3);
  EXPECT_FALSE(screen.IsOpen(box));  // closed before the question is asked
}

TEST_F(KeyboardConnectionTest, YesToMessage34ShowsTheDeviceDialogAgainAndRetries) {
  screen.answers.push_back(kAnswerYes);
  // The user plugs the keyboard in while the dialog is up and confirms the (still valid) pair.
  AnswerIdentityWith({});
  screen.users[IDD_MIDI_DEVICE].push_back([&](FakeScreen& s, WindowRef dialog) {
    Script([](const Bytes& message, test::ReplySink& sink) {
      if (IsIdentityRequest(message)) sink.Reply(IdentityReply(11, kInfo), 10);
    });
    s.Click(dialog, 1);
  });

  EXPECT_EQ(ConnectKeyboard(), 1);
  EXPECT_EQ(screen.BoxTexts(), std::vector<std::string>{TEXT_34});
  EXPECT_EQ(screen.dialogsRun, std::vector<int>{IDD_MIDI_DEVICE});
  EXPECT_EQ(screen.boxesOpened, (std::vector<int>{IDD_LOOKING, IDD_LOOKING}));
  EXPECT_EQ(link.InOpens(), 2);  // reopened for the second attempt
  EXPECT_EQ(su::Run().modelType, 13);
  EXPECT_EQ(su::Run().modelInfo, "01234567");
}

TEST_F(KeyboardConnectionTest, YesToMessage34ThenCancelInTheDeviceDialogAsksNoMore) {
  screen.answers.push_back(kAnswerYes);
  screen.users[IDD_MIDI_DEVICE].push_back([](FakeScreen& s, WindowRef dialog) { s.Click(dialog, 2); });
  EXPECT_EQ(ConnectKeyboard(), 0);
  EXPECT_EQ(screen.BoxTexts(), std::vector<std::string>{TEXT_34});
  EXPECT_EQ(screen.dialogsRun, std::vector<int>{IDD_MIDI_DEVICE});
}

}  // namespace
}  // namespace su
