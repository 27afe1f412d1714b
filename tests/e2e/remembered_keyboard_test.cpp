// The keyboard found on the ports is remembered under the user's %LOCALAPPDATA%: the next run of the program
// asks it first, and the settings file beside the program stays exactly as it was.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/dialog_actions.h"
#include "tests/e2e/harness.h"
#include "tests/e2e/virtual_stage.h"

namespace su::e2e {
namespace {

constexpr DWORD kConnectMs = 40000;  // a first search waits for two requests to go unanswered

// Which request a message belongs to by the model address it carries: 'C' the identity request, 'A' or 'B' a
// family's frames.
char RequestOf(const Bytes& message) {
  if (message.size() < 4) return '?';
  const int address = message[2] << 8 | message[3];
  return address == 0x1400 ? 'C' : address == 0x1103 ? 'A' : address == 0x1501 ? 'B' : '?';
}

TEST(RememberedKeyboard, TheSecondRunAsksTheFamilyBKeyboardFirstAndLeavesTheSettingsFileAlone) {
  VirtualStage stage("remembered_b", "in=Virtual MIDI In\nout=Virtual MIDI Out\nfamily=b\nmodel=2\n"
                                     "slot=0,Evening Song,5000\nfree=100000\nmax_song=20480\n");
  const std::string settingsText = "[SONGPORT]\r\nIN=0\r\nOUT=0\r\n";
  ASSERT_TRUE(WriteFileBytes(stage.settings, settingsText));
  ASSERT_TRUE(WriteFileBytes(stage.song, SmallSong()));
  // Both runs share the user's folder, as two runs of one user do.
  const std::string local = NewScratchFolder("remembered_local");
  LaunchOptions options = stage.Options();
  options.environment.emplace_back("LOCALAPPDATA", local);

  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run == 0 ? "first run" : "second run");
    const std::size_t before = stage.SentMessages().size();
    Program program(options);
    ASSERT_TRUE(program.Started());
    HWND selection = program.WaitWindow("Selection");
    ASSERT_NE(selection, nullptr) << OnScreen(program);
    PressButton(selection, IDOK);
    const DWORD pressed = GetTickCount();
    HWND send = program.WaitWindow("Send the Data", kConnectMs);
    ASSERT_NE(send, nullptr) << OnScreen(program);
    ASSERT_TRUE(WaitUntil([&] {
      return ListRowCount(send, IDC_SLOT_LIST) == 10 && ControlText(send, IDC_MAX_SONG_SIZE) != "";
    })) << OnScreen(program);
    const DWORD tookMs = GetTickCount() - pressed;
    PressButton(send, IDC_CANCEL_TRANSFER);
    EXPECT_TRUE(program.WaitExit());

    const std::vector<Bytes> sent = stage.SentMessages();
    ASSERT_GT(sent.size(), before);
    std::string requests;
    for (std::size_t i = before; i < sent.size(); ++i) requests += RequestOf(sent[i]);
    if (run == 0) {
      EXPECT_EQ(requests.rfind("CAAAB", 0), 0u) << "the usual order: " << requests;
    } else {
      EXPECT_EQ(requests.find_first_not_of('B'), std::string::npos) << "family B's frames alone: " << requests;
      // The conversion, one answer and the slots read (about 0.3 s here), where the usual order waits 6 s.
      EXPECT_LT(tookMs, 1500u);
    }
  }
  EXPECT_EQ(ReadWholeFile(stage.settings), settingsText);
  const std::string remembered = ReadWholeFile(local + "\\SongUploader\\keyboards.txt");
  EXPECT_NE(remembered.find("\nB\t25\t"), std::string::npos) << remembered;
  EXPECT_NE(remembered.find("\tVirtual MIDI In\tVirtual MIDI Out\n"), std::string::npos) << remembered;
  RemoveFolderTree(local);
}

}  // namespace
}  // namespace su::e2e
