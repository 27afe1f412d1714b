// A song whose name is written in code page 932 and ends in a character whose second byte is 0x5C, in
// folders that hold such characters too. The test runs with the ANSI code page 932 (see CMakeLists.txt),
// as does the program it starts, so every narrow text here is code page 932.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/harness.h"
#include "tests/e2e/virtual_stage.h"

namespace su::e2e {
namespace {

constexpr DWORD kConnectMs = 30000;

// ソング表 and 表 as code page 932 bytes: ソ 83 5C, ン 83 93, グ 83 4F, 表 95 5C.
const std::string kSongName = "\x83\x5c\x83\x93\x83\x4f\x95\x5c";
const std::string kHyo = "\x95\x5c";

// One note and no name of its own: the converter names it after its file.
std::string UntitledSong() {
  const std::string track("\x00\x90\x3C\x40\x60\x80\x3C\x00\x00\xFF\x2F\x00", 12);
  std::string file("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0", 21);
  file += static_cast<char>(track.size());
  return file + track;
}

// The program, called 表Uploader.exe, and its settings file in a folder named with 表, the work directories in
// another, and the song beside the program.
struct DoubleByteStage : VirtualStage {
  DoubleByteStage()
      : VirtualStage(kHyo, "in=Virtual MIDI In\nout=Virtual MIDI Out\nmodel=2\nslot=0,Old Song,4096\nfree=1048576\n",
                     kHyo + "Uploader.exe") {
    song = folder + "\\" + kSongName + ".mid";
    EXPECT_TRUE(WriteFileBytes(settings, "[SONGPORT]\r\nIN=0\r\nOUT=0\r\n"));
    EXPECT_TRUE(WriteFileBytes(song, UntitledSong()));
  }
};

TEST(DoubleByteNames, SongIsStagedShownAndSavedUnderItsOwnName) {
  ASSERT_EQ(GetACP(), 932u) << "this test needs the ANSI code page 932 (LC_ALL=ja_JP.UTF-8 for Wine)";
  DoubleByteStage stage;

  {
    // Sending: the stored ports are read from SongUploader.INI beside the program (not from a name cut at
    // the program's 表), so the send dialog opens without the MIDI Device dialog, and shows the song's name.
    Program program(stage.Options());
    ASSERT_TRUE(program.Started());
    HWND selection = program.WaitWindow("Selection");
    ASSERT_NE(selection, nullptr);
    PressButton(selection, IDOK);
    HWND send = program.WaitWindow("Send the Data", kConnectMs);
    ASSERT_NE(send, nullptr) << "no send dialog: the settings file beside the program was not read";
    EXPECT_TRUE(WaitUntil([&] { return ControlText(send, IDC_FILE_NAME) == kSongName + ".mid"; }))
        << "shown: " << ControlText(send, IDC_FILE_NAME);
    const std::vector<std::string> workDirs = WorkDirectories(stage.temp);
    ASSERT_EQ(workDirs.size(), 1u);
    const std::string staged = stage.temp + "\\" + workDirs[0] + "\\" + kSongName + ".mid";
    EXPECT_NE(GetFileAttributesA(staged.c_str()), INVALID_FILE_ATTRIBUTES) << "not staged under its own name";
    // Cancel once the keyboard's slots are read: during that exchange the dialog takes no command.
    EXPECT_TRUE(WaitUntil(
        [&] { return ListRowCount(send, IDC_SLOT_LIST) == 10 && !ControlText(send, IDC_FREE_SIZE).empty(); }));
    PressButton(send, IDC_CANCEL_TRANSFER);
    EXPECT_TRUE(program.WaitExit());
  }
  {
    // Saving: the save dialog proposes the song's name with .sq2, and the saved song carries it as its title.
    Program program(stage.Options());
    ASSERT_TRUE(program.Started());
    HWND selection = program.WaitWindow("Selection");
    ASSERT_NE(selection, nullptr);
    ClickButton(selection, IDC_SAVE_AS_FILE);
    ASSERT_TRUE(WaitUntil([&] { return IsChecked(selection, IDC_SAVE_AS_FILE); }, 5000));
    PressButton(selection, IDOK);
    HWND save = program.WaitFileDialog();
    ASSERT_NE(save, nullptr) << "no save dialog";
    EXPECT_EQ(FileDialogName(save), kSongName + ".sq2");
    const std::string target = stage.folder + "\\" + kSongName + ".sq2";
    ASSERT_TRUE(FillFileDialog(save, target));
    HWND box = program.WaitMessageBox();
    ASSERT_NE(box, nullptr) << "nothing confirmed the save";
    EXPECT_EQ(MessageBoxText(box), target + "\nSaved.");
    AnswerMessageBox(box, IDOK);
    EXPECT_TRUE(program.WaitExit());
    EXPECT_NE(ReadWholeFile(target).find(kSongName), std::string::npos) << "the title is not the song's name";
  }
  EXPECT_TRUE(WorkDirectories(stage.temp).empty());
}

}  // namespace
}  // namespace su::e2e
