// A keyboard unplugged end to end, through the program's real WinMM code: unplugged while the program waits
// for an answer that never comes, it is noticed by the periodic look at the device rather than when the wait
// runs out; plugged in again after its ports refused to close, the user's retry reaches it through new ports.
// A passing refusal with the system's unspecified error, the keyboard still there, is no unplugging, and
// neither is the unspecified error from the look at the device itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "resources/strings.h"
#include "tests/e2e/dialog_actions.h"
#include "tests/e2e/harness.h"
#include "tests/e2e/virtual_stage.h"

namespace su::e2e {
namespace {

constexpr DWORD kConnectMs = 30000;
// How long the program waits for one answer before it gives up with message 38.
constexpr DWORD kReceiveLimitMs = 3000;

// A family C keyboard with two songs behind the virtual ports the settings file names, with the interface's
// and the keyboard's `extraLines`.
struct Stage : VirtualStage {
  explicit Stage(const std::string& tag, const std::string& extraLines)
      : VirtualStage(tag, "in=Virtual MIDI In\nout=Virtual MIDI Out\nmodel=2\nslot=0,Old Song,4096\n"
                          "slot=2,Third,2048\n" + extraLines) {
    EXPECT_TRUE(WriteFileBytes(settings, "[SONGPORT]\r\nIN=0\r\nOUT=0\r\n"));
    EXPECT_TRUE(WriteFileBytes(song, SmallSong()));
  }
};

void ChooseSend(Program& program) {
  HWND selection = program.WaitWindow("Selection");
  ASSERT_NE(selection, nullptr) << OnScreen(program);
  PressButton(selection, IDOK);
}

TEST(UnpluggedKeyboard, UnpluggedDuringASilentWaitIsNoticedBeforeTheWaitRunsOut) {
  // The identity request is answered, the next message (the first slot read) never is, and a second into
  // that wait the keyboard goes: nothing the program sends is refused while it waits, only a look at the
  // device can notice. Until then the test only reads the interface's trace: looking at the program's
  // windows would wake its wait.
  constexpr DWORD kUnplugDelayMs = 1000;
  Stage stage("unplugged_silent", "silent=any:always:1\nunplug_after=2\nunplug_delay_ms=" +
                                      std::to_string(kUnplugDelayMs) + "\n");
  Program program(stage.Options());
  ASSERT_TRUE(program.Started());
  ChooseSend(program);

  // The interface notes the tick counts (one clock for every process) of the unplugging and of the first
  // call it refused for it.
  const std::string goes = "the keyboard goes at tick ", noticed = "first noticed at tick ";
  std::string trace;
  ASSERT_TRUE(WaitUntil([&] {
    trace = ReadWholeFile(stage.trace);
    return trace.find(goes) != std::string::npos && trace.find(noticed) != std::string::npos;
  }, kConnectMs)) << trace;
  // The unplugging was noticed inside the wait the keyboard went in, which began when the slot read was handed
  // in (the unplugging's delay before it went) and would have ended with message 38 at the receive limit: a
  // program that only notices once a wait has run out can never be earlier. Both ticks are the interface's own.
  const DWORD unplugged = std::stoul(trace.substr(trace.find(goes) + goes.size()));
  const DWORD seen = std::stoul(trace.substr(trace.find(noticed) + noticed.size()));
  EXPECT_LT(seen - (unplugged - kUnplugDelayMs), kReceiveLimitMs)
      << "the unplugging was noticed " << static_cast<LONG>(seen - unplugged) << " ms after it happened";

  HWND box = program.WaitMessageBox();
  ASSERT_NE(box, nullptr) << OnScreen(program);
  EXPECT_EQ(MessageBoxText(box), TEXT_38);
  Answer(box, IDOK);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_EQ(stage.SentMessages().size(), 2u);
}

TEST(UnpluggedKeyboard, PluggedInAgainAfterItsPortsWouldNotCloseTheRetryReachesIt) {
  // Unplugged with the identity request, which it leaves unanswered; its ports then refuse to reset and to
  // close, the input buffer staying queued on the old port. Plugged in again, it answers.
  Stage stage("unplugged_replug", "silent=any:1\nunplug_after=1\nstuck_when_unplugged=yes\nreplug=yes\n");
  Program program(stage.Options());
  ASSERT_TRUE(program.Started());
  ChooseSend(program);

  HWND box = program.WaitMessageBox(kConnectMs);
  ASSERT_NE(box, nullptr) << OnScreen(program);
  ASSERT_EQ(MessageBoxText(box), TEXT_34);
  Answer(box, IDYES);
  HWND device = program.WaitWindow("MIDI Device");
  ASSERT_NE(device, nullptr) << OnScreen(program);
  PressButton(device, IDOK);

  HWND send = program.WaitWindow("Send the Data", kConnectMs);
  ASSERT_NE(send, nullptr) << "the retry never reached the keyboard; on screen:\n"
                           << OnScreen(program) << "interface trace:\n" << ReadWholeFile(stage.trace);
  ASSERT_TRUE(WaitUntil([&] { return ListRowCount(send, IDC_SLOT_LIST) == 10; })) << OnScreen(program);
  EXPECT_EQ(ListCell(send, IDC_SLOT_LIST, 2, 1), "Third");
  // The retry really went past ports that would not close.
  const std::string trace = ReadWholeFile(stage.trace);
  EXPECT_NE(trace.find("refused closing the input"), std::string::npos) << trace;
  EXPECT_NE(trace.find("plugged in again"), std::string::npos) << trace;
  PressButton(send, IDC_CANCEL_TRANSFER);
  EXPECT_TRUE(program.WaitExit());
}

TEST(UnpluggedKeyboard, UnpluggedWithASendNeverCompletedTheRetryQueuesNoHeaderTwice) {
  // The identity request goes out and the keyboard with it; the driver never reports that send done, and
  // the ports refuse to reset and close, so the old output port keeps the message's header queued. Plugged
  // in again, the retry must go through headers of its own: the interface refuses one still queued on an
  // old port, and the slots would then never be read.
  Stage stage("unplugged_withheld",
              "silent=any:1\nunplug_after=1\nstuck_when_unplugged=yes\nreplug=yes\nwithhold_done=yes\n");
  Program program(stage.Options());
  ASSERT_TRUE(program.Started());
  ChooseSend(program);

  HWND box = program.WaitMessageBox(kConnectMs);
  ASSERT_NE(box, nullptr) << OnScreen(program);
  ASSERT_EQ(MessageBoxText(box), TEXT_34);
  Answer(box, IDYES);
  HWND device = program.WaitWindow("MIDI Device");
  ASSERT_NE(device, nullptr) << OnScreen(program);
  PressButton(device, IDOK);

  HWND send = program.WaitWindow("Send the Data", kConnectMs);
  ASSERT_NE(send, nullptr) << "the retry never reached the keyboard; on screen:\n"
                           << OnScreen(program) << "interface trace:\n" << ReadWholeFile(stage.trace);
  ASSERT_TRUE(WaitUntil([&] { return ListRowCount(send, IDC_SLOT_LIST) == 10; })) << OnScreen(program);
  EXPECT_EQ(ListCell(send, IDC_SLOT_LIST, 2, 1), "Third");
  const std::string trace = ReadWholeFile(stage.trace);
  EXPECT_NE(trace.find("withheld the completion of a long message"), std::string::npos) << trace;
  EXPECT_EQ(trace.find("still queued on a port of the unplugged keyboard"), std::string::npos) << trace;
  PressButton(send, IDC_CANCEL_TRANSFER);
  EXPECT_TRUE(program.WaitExit());
}

TEST(UnpluggedKeyboard, APassingErrorOfTheLookAtTheDeviceDuringASendLetsTheSendComplete) {
  // The keyboard answers the closing frame a second late; during that wait the look at the device through
  // the port is answered once with the system's unspecified error, the keyboard staying there.
  Stage stage("query_error_in_passing", "late=05:1000:1\nquery_error_after=F0 44 14 00 05\n");
  Program program(stage.Options());
  ASSERT_TRUE(program.Started());
  ChooseSend(program);
  HWND send = program.WaitWindow("Send the Data", kConnectMs);
  ASSERT_NE(send, nullptr) << OnScreen(program);
  ASSERT_TRUE(WaitUntil([&] { return ListRowCount(send, IDC_SLOT_LIST) == 10; })) << OnScreen(program);

  EXPECT_EQ(PressAndConfirm(program, send, 2, IDC_SEND, TEXT_39, TEXT_40), "")
      << "interface trace:\n" << ReadWholeFile(stage.trace);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_NE(ReadWholeFile(stage.trace).find("answered a capabilities query once with an unspecified error"),
            std::string::npos)
      << "the look at the device never came during the late answer";
}

TEST(UnpluggedKeyboard, APassingRefusalOfTheDeleteIsNoUnplugAndTheSlotsAreReadAgain) {
  // The system refuses the family B delete frame once with its unspecified error while the keyboard stays
  // there; the program ignores that send's result, shows message 50 and reads the slots again.
  const std::string keyboard = "in=Virtual MIDI In\nout=Virtual MIDI Out\nfamily=b\nmodel=2\n"
                               "slot=0,Evening Song,5000\nfree=100000\nmax_song=20480\n"
                               "refuse_once=F0 44 15 01 7F 02 00\n";
  VirtualStage stage("refused_in_passing", keyboard);
  ASSERT_TRUE(WriteFileBytes(stage.settings, "[SONGPORT]\r\nIN=0\r\nOUT=0\r\n"));
  ASSERT_TRUE(WriteFileBytes(stage.song, SmallSong()));
  Program program(stage.Options());
  ASSERT_TRUE(program.Started());
  ChooseSend(program);
  HWND send = program.WaitWindow("Send the Data", 40000);  // identity and family A probe go unanswered first
  ASSERT_NE(send, nullptr) << OnScreen(program);
  ASSERT_TRUE(WaitUntil([&] { return ListCell(send, IDC_SLOT_LIST, 0, 1) == "Evening Song"; })) << OnScreen(program);
  // The family B free-memory reads: one ends each reading of the slots, one follows the delete frame.
  const auto freeReads = [&] {
    int count = 0;
    for (const Bytes& m : stage.SentMessages())
      count += m.size() > 14 && m[2] == 0x15 && m[5] == 0x01 && m[6] == 0x00 && m[13] == 0x22;
    return count;
  };
  ASSERT_TRUE(WaitUntil([&] { return freeReads() == 1; })) << OnScreen(program);

  EXPECT_EQ(PressAndConfirm(program, send, 0, IDC_DELETE, TEXT_49, TEXT_50), "");
  ASSERT_TRUE(WaitUntil([&] { return freeReads() == 3 || program.FindMessageBox() != nullptr; }));
  ASSERT_EQ(freeReads(), 3) << "the slots were not read again; on screen:\n" << OnScreen(program);
  // The reading is over once a click on the song's row turns Delete on again: the dialog ignores clicks while
  // it reads, and a reading that failed would have ended the dialog with a message. Only then is "no message"
  // the end of the story, not a moment in the middle of it.
  EXPECT_TRUE(WaitUntil([&] {
    ClickListRow(send, 0);
    return IsWindowEnabled(Child(send, IDC_DELETE)) != FALSE;
  })) << "the reading after the delete did not end; on screen:\n" << OnScreen(program);
  EXPECT_EQ(program.FindMessageBox(), nullptr) << OnScreen(program);
  EXPECT_NE(ReadWholeFile(stage.trace).find("refused a long message once"), std::string::npos);
  // The delete never reached the keyboard: the song is still listed.
  EXPECT_TRUE(WaitUntil([&] { return ListCell(send, IDC_SLOT_LIST, 0, 1) == "Evening Song"; }));
  PressButton(send, IDC_CANCEL_TRANSFER);
  EXPECT_TRUE(program.WaitExit());
}

}  // namespace
}  // namespace su::e2e
