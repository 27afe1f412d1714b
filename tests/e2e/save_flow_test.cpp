// Saving a song as a .sq2 file end to end: the Selection dialog's save choice, the converter DLL, the save
// dialog and the closing message.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "resources/strings.h"
#include "tests/e2e/harness.h"

namespace su::e2e {
namespace {

// One note on channel 1, a tempo and a track name.
std::string ValidSong() {
  const char track[] = "\x00\xFF\x03\x04Tune\x00\xFF\x51\x03\x07\xA1\x20\x00\x90\x3C\x64\x60\x3C\x00\x00\xFF\x2F\x00";
  const std::string body(track, sizeof track - 1);
  std::string song("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0", 21);
  song += static_cast<char>(body.size());
  return song + body;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct SaveScene {
  std::string folder = NewScratchFolder("save");
  std::string temp = NewScratchFolder("save_temp");
  std::string song = folder + "\\Tune.mid";

  explicit SaveScene(const std::string& bytes) { EXPECT_TRUE(WriteFileBytes(song, bytes)); }

  LaunchOptions Options() const {
    LaunchOptions options;
    options.arguments = {song};
    options.tempFolder = temp;
    return options;
  }

  // Chooses "Save the data as a "SQ2" file." and presses OK.
  static void ChooseSave(Program& program) {
    HWND selection = program.WaitWindow("Selection");
    ASSERT_NE(selection, nullptr) << "no Selection dialog";
    ClickButton(selection, IDC_SAVE_AS_FILE);
    ASSERT_TRUE(WaitUntil([&] { return IsChecked(selection, IDC_SAVE_AS_FILE); }, 5000));
    PressButton(selection, IDOK);
  }
};

TEST(SaveFlow, SavedSongExistsAndTheMessageNamesItsFullPath) {
  SaveScene scene(ValidSong());
  const std::string target = scene.folder + "\\Saved Tune.sq2";
  Program program(scene.Options());
  ASSERT_TRUE(program.Started());
  SaveScene::ChooseSave(program);

  HWND save = program.WaitFileDialog();
  ASSERT_NE(save, nullptr) << "no save dialog after the conversion";
  ASSERT_TRUE(FillFileDialog(save, target));

  HWND box = program.WaitMessageBox();
  ASSERT_NE(box, nullptr) << "nothing confirmed the save";
  EXPECT_EQ(MessageBoxText(box), target + "\nSaved.");
  AnswerMessageBox(box, IDOK);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_EQ(program.ExitCode(), 0u);

  const std::string saved = ReadWhole(target);
  EXPECT_EQ(saved.substr(0, 4), "SQ2F") << "the saved file is not a song file";
  EXPECT_NE(saved.find("Tune"), std::string::npos) << "the song's title is missing from the saved file";
  EXPECT_EQ(ReadWhole(scene.song), ValidSong()) << "the user's song was changed";
  EXPECT_TRUE(WorkDirectories(scene.temp).empty());
}

TEST(SaveFlow, BrokenSongShowsTheBrokenFileMessage) {
  SaveScene scene(std::string("MThd\0\0\0\6\0\0\0\1\0\x60", 14));  // a header and no track
  Program program(scene.Options());
  ASSERT_TRUE(program.Started());
  SaveScene::ChooseSave(program);

  HWND box = program.WaitMessageBox();
  ASSERT_NE(box, nullptr) << "no message for a broken song";
  EXPECT_EQ(MessageBoxText(box), TEXT_43);
  EXPECT_EQ(program.FindWindowTitled("Save As"), nullptr);
  AnswerMessageBox(box, IDOK);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_TRUE(WorkDirectories(scene.temp).empty());
}

TEST(SaveFlow, CancelInTheSaveDialogEndsWithoutAMessage) {
  SaveScene scene(ValidSong());
  Program program(scene.Options());
  ASSERT_TRUE(program.Started());
  SaveScene::ChooseSave(program);

  HWND save = program.WaitFileDialog();
  ASSERT_NE(save, nullptr);
  PressButton(save, IDCANCEL);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_EQ(program.FindMessageBox(), nullptr);
  EXPECT_TRUE(WorkDirectories(scene.temp).empty());
  EXPECT_EQ(GetFileAttributesA((scene.folder + "\\Tune.sq2").c_str()), INVALID_FILE_ATTRIBUTES)
      << "a song file was written beside the user's song";
}

// The names in `folder`, sorted ("." and ".." left out).
std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry{};
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = entry.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// The save dialog's question whether to replace an existing file: a box with a Yes button and a caption of
// its own (the program's message boxes have the empty caption). Nullptr when none comes.
HWND WaitReplaceQuestion(const Program& program) {
  HWND found = nullptr;
  WaitUntil([&] {
    for (HWND window : program.Windows()) {
      if (ClassOf(window) == "#32770" && !WindowText(window).empty() && GetDlgItem(window, IDYES) != nullptr) {
        found = window;
        return true;
      }
    }
    return false;
  });
  return found;
}

// Saving over an existing file, Yes to the save dialog's question, then what the program shows. Each case's
// folder holds the song, Old.sq2 and the user's own Old.sq2.old, and nothing else afterwards.
TEST(SaveFlow, SavingOverAFileReplacesItWholeOrShowsAFileError) {
  struct Case {
    const char* what;
    bool readOnly;       // Old.sq2 is marked read-only: the user's own protection, so it stays as it was
    bool convertedFile;  // the chosen file is the converter's output in the work directory
  };
  const Case cases[] = {
      {"an earlier song file", false, false},
      {"a read-only song file", true, false},
      {"the converted file, which goes with the work directory", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SaveScene scene(ValidSong());
    const std::string old = scene.folder + "\\Old.sq2";
    ASSERT_TRUE(WriteFileBytes(old, "old") && WriteFileBytes(old + ".old", "keep"));
    if (c.readOnly) {
      ASSERT_TRUE(SetFileAttributesA(old.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    Program program(scene.Options());
    ASSERT_TRUE(program.Started());
    SaveScene::ChooseSave(program);
    HWND save = program.WaitFileDialog();
    ASSERT_NE(save, nullptr) << "no save dialog";
    const std::vector<std::string> workDirs = WorkDirectories(scene.temp);
    ASSERT_EQ(workDirs.size(), 1u);
    const std::string target = c.convertedFile ? scene.temp + "\\" + workDirs[0] + "\\Tune.sq2" : old;
    ASSERT_TRUE(FillFileDialog(save, target));
    HWND question = WaitReplaceQuestion(program);
    ASSERT_NE(question, nullptr) << "the save dialog did not ask before replacing";
    AnswerMessageBox(question, IDYES);

    HWND box = program.WaitMessageBox();
    ASSERT_NE(box, nullptr) << "nothing was shown after the save";
    const bool saved = !c.readOnly && !c.convertedFile;
    EXPECT_EQ(MessageBoxText(box), saved ? target + "\nSaved." : std::string(TEXT_44));
    AnswerMessageBox(box, IDOK);
    EXPECT_TRUE(program.WaitExit());

    EXPECT_EQ(NamesIn(scene.folder), (std::vector<std::string>{"Old.sq2", "Old.sq2.old", "Tune.mid"}));
    EXPECT_EQ(ReadWhole(old + ".old"), "keep");
    EXPECT_EQ(ReadWhole(old).substr(0, 4), saved ? "SQ2F" : "old");
    EXPECT_EQ((GetFileAttributesA(old.c_str()) & FILE_ATTRIBUTE_READONLY) != 0, c.readOnly);
    EXPECT_TRUE(WorkDirectories(scene.temp).empty());
    SetFileAttributesA(old.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

}  // namespace
}  // namespace su::e2e
