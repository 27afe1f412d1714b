// The conversion step and the save flow through the recording screen: what the user sees and which files
// exist afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "base/conversion.h"
#include "base/errors.h"
#include "base/run_state.h"
#include "app/save_flow.h"
#include "converter/song_image.h"
#include "resources/resource.h"
#include "resources/strings.h"
#include "tests/converter/disk_system.h"
#include "tests/converter/smf_builder.h"
#include "tests/converter/temp_dir.h"
#include "tests/support/fake_screen.h"
#include "tests/support/outcome.h"

namespace su {
namespace {

using test::Bytes;
using test::OneNoteSong;
using test::Message;
using test::OutcomeOf;

// The machine's file system, with a replace a test can make fail and a record of the new files asked for.
struct SaveDisk : test::DiskSystem {
  bool refuseReplace = false;
  std::vector<std::string> newFiles;

  bool CreateNewFile(const std::string& path) override {
    newFiles.push_back(path);
    return DiskSystem::CreateNewFile(path);
  }
  bool ReplaceWith(const std::string& target, const std::string& replacement) override {
    return !refuseReplace && DiskSystem::ReplaceWith(target, replacement);
  }
};

class ConversionFlow : public ::testing::Test {
 protected:
  ConversionFlow() : scoped_(screen_), installed_(disk_) { ResetRun(); }
  ~ConversionFlow() override { ResetRun(); }

  static void ResetRun() {
    RunState& run = su::Run();
    run.sourcePath.clear();
    run.stagedPath.clear();
    run.convertedPath.clear();
    run.modelCode.clear();
    run.modelInfo.clear();
    run.modelInfoValid = 0;
    run.workDir.clear();
    ReleaseSongImage(run);
  }

  void Stage(const std::string& name, const Bytes& bytes) {
    su::Run().sourcePath = dir_.Write("source_" + name, bytes);
    su::Run().stagedPath = dir_.Write(name, bytes);
  }

  test::TempDir dir_;
  test::FakeScreen screen_;
  test::ScopedScreen scoped_;
  SaveDisk disk_;
  test::ScopedDiskSystem installed_;
};

TEST_F(ConversionFlow, SavedSongIsCopiedAndConfirmedWithItsFullPath) {
  Stage("Tune.mid", OneNoteSong());
  const std::string target = dir_.Path("chosen.sq2");
  screen_.savePaths.push_back(target);

  EXPECT_EQ(SaveSongFile(), 1);

  EXPECT_EQ(screen_.proposedSaveNames, std::vector<std::string>{"Tune.sq2"});
  EXPECT_EQ(screen_.convertingShown, 1);
  EXPECT_EQ(screen_.convertingClosed, 1);
  ASSERT_EQ(screen_.boxes.size(), 1u);
  EXPECT_EQ(screen_.boxes[0].text, target + "\nSaved.");
  EXPECT_EQ(screen_.boxes[0].kind, BoxKind::Ok);
  EXPECT_EQ(screen_.boxes[0].owner, nullptr);
  const Bytes saved = test::ReadBytes(target);
  EXPECT_EQ(saved, test::ReadBytes(dir_.Path("Tune.sq2")));
  std::size_t offset = 0, size = 0;
  EXPECT_TRUE(conv::ReadSongFile(saved.data(), saved.size(), &offset, &size));
}

TEST_F(ConversionFlow, CancelInTheSaveDialogEndsSilently) {
  Stage("Tune.mid", OneNoteSong());
  EXPECT_EQ(SaveSongFile(), 0);
  EXPECT_TRUE(screen_.boxes.empty());
  EXPECT_EQ(screen_.proposedSaveNames.size(), 1u);
}

TEST_F(ConversionFlow, ConverterFailuresRaiseTheirMessagesAndCloseTheBox) {
  struct Case {
    const char* what;
    std::function<void()> setUp;
    int message;
  };
  const std::vector<Case> cases = {
      {"missing staged file", [this] { su::Run().stagedPath = dir_.Path("gone.mid"); }, IDS_DATA_NOT_FOUND},
      {"broken song", [this] { Stage("bad.mid", Bytes{'M', 'T', 'h', 'd'}); }, IDS_FILE_BROKEN},
      {"model code the converter refuses",
       [this] {
         Stage("Tune.mid", OneNoteSong());
         su::Run().modelCode = "abc";
       },
       IDS_FILE_ERROR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetRun();
    c.setUp();
    const int shown = screen_.convertingShown;
    const int closed = screen_.convertingClosed;
    screen_.savePaths.push_back(dir_.Path("never.sq2"));
    EXPECT_EQ(OutcomeOf(SaveSongFile), Message(c.message));
    EXPECT_EQ(screen_.convertingShown, shown + 1);
    EXPECT_EQ(screen_.convertingClosed, closed + 1);
    EXPECT_TRUE(screen_.boxes.empty());
    EXPECT_FALSE(std::filesystem::exists(dir_.Path("never.sq2")));
    screen_.savePaths.clear();
  }
  EXPECT_TRUE(screen_.proposedSaveNames.empty()) << "the save dialog opened after a failed conversion";
}

TEST_F(ConversionFlow, FailedCopyIsAFileErrorNotSaved) {
  Stage("Tune.mid", OneNoteSong());
  screen_.savePaths.push_back(dir_.Path("no such folder/Tune.sq2"));
  EXPECT_EQ(OutcomeOf(SaveSongFile), Message(IDS_FILE_ERROR));
  EXPECT_TRUE(screen_.boxes.empty());
}

TEST_F(ConversionFlow, FailedCopyKeepsTheFileItWasToReplace) {
  Stage("Tune.mid", OneNoteSong());
  std::filesystem::create_directory(dir_.Path("saved"));
  const std::string target = dir_.Write("saved/Tune.sq2", Bytes{'o', 'l', 'd'});
  // The copy beside the target cannot take the target's place.
  disk_.refuseReplace = true;
  screen_.savePaths.push_back(target);
  EXPECT_EQ(OutcomeOf(SaveSongFile), Message(IDS_FILE_ERROR));
  EXPECT_EQ(test::ReadBytes(target), (Bytes{'o', 'l', 'd'})) << "the file the user meant to replace was lost";
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"Tune.mid", "Tune.sq2", "saved", "saved/Tune.sq2",
                                                    "source_Tune.mid"}))
      << "the copy was left beside the target";
}

TEST_F(ConversionFlow, SavingOverAnEarlierSongFileReplacesIt) {
  Stage("Tune.mid", OneNoteSong());
  std::filesystem::create_directory(dir_.Path("saved"));
  const std::string target = dir_.Write("saved/Tune.sq2", Bytes{'o', 'l', 'd'});
  screen_.savePaths.push_back(target);
  EXPECT_EQ(SaveSongFile(), 1);
  EXPECT_EQ(test::ReadBytes(target), test::ReadBytes(dir_.Path("Tune.sq2")));
  EXPECT_NE(test::ReadBytes(target), (Bytes{'o', 'l', 'd'}));
  EXPECT_FALSE(std::filesystem::exists(target + ".part"));
  EXPECT_FALSE(std::filesystem::exists(target + ".old"));
}

TEST_F(ConversionFlow, TheUsersOwnSongIsNeverWritten) {
  Stage("Tune.mid", OneNoteSong());
  screen_.savePaths.push_back(su::Run().sourcePath);
  EXPECT_EQ(OutcomeOf(SaveSongFile), Message(IDS_FILE_ERROR));
  EXPECT_EQ(test::ReadBytes(su::Run().sourcePath), OneNoteSong());
}

// A work directory holding the staged song and the user's own folder holding the song it came from, with
// the files a case puts there.
struct SaveScene {
  test::TempDir work;
  test::TempDir user;

  SaveScene() {
    su::Run().workDir = work.Root().string() + "/";
    su::Run().stagedPath = work.Write("Tune.mid", OneNoteSong());
    su::Run().sourcePath = user.Write("Tune.mid", OneNoteSong());
  }
};

TEST_F(ConversionFlow, RefusedTargetsAreAFileErrorAndStayAsTheyWere) {
  namespace fs = std::filesystem;
  const Bytes old{'o', 'l', 'd'};
  struct Case {
    const char* what;
    std::function<std::string(SaveScene&)> target;  // sets the scene up and names the chosen path
  };
  const std::vector<Case> cases = {
      {"the converted file itself", [](SaveScene& s) { return s.work.Path("Tune.sq2"); }},
      {"a new file in the work directory", [](SaveScene& s) { return s.work.Path("new.sq2"); }},
      {"a folder made inside the work directory",
       [](SaveScene& s) {
         fs::create_directory(s.work.Path("inner"));
         return s.work.Path("inner/new.sq2");
       }},
      {"the work directory by another path",
       [](SaveScene& s) {
         fs::create_directory_symlink(s.work.Root(), s.user.Path("link"));
         return s.user.Path("link/new.sq2");
       }},
      {"the user's song by another name",
       [](SaveScene& s) {
         fs::create_hard_link(su::Run().sourcePath, s.user.Path("other.sq2"));
         return s.user.Path("other.sq2");
       }},
      {"a read-only song file",
       [&old](SaveScene& s) {
         const std::string path = s.user.Write("old.sq2", old);
         fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         return path;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SaveScene scene;
    const std::string target = c.target(scene);
    const bool existed = fs::exists(target);
    const Bytes before = existed ? test::ReadBytes(target) : Bytes{};
    const std::vector<std::string> userFiles = scene.user.Names();
    screen_.savePaths.push_back(target);

    EXPECT_EQ(OutcomeOf(SaveSongFile), Message(IDS_FILE_ERROR));
    EXPECT_TRUE(screen_.boxes.empty()) << "a refused save was confirmed";
    EXPECT_EQ(scene.user.Names(), userFiles);
    EXPECT_EQ(test::ReadBytes(su::Run().sourcePath), OneNoteSong()) << "the user's song was written";
    if (existed) {
      EXPECT_EQ(test::ReadBytes(target), before);
    } else if (target != scene.work.Path("Tune.sq2")) {
      EXPECT_FALSE(fs::exists(target));
    }
    fs::remove(scene.user.Path("link"));  // before the work directory goes, so it is not followed
  }
}

TEST_F(ConversionFlow, SavingLeavesOnlyTheTargetBehindAndNeverNeedsALongerName) {
  struct Case {
    const char* what;
    std::string name;                            // the chosen file's name in the user's folder
    std::map<std::string, std::string> present;  // the folder's files before the save
  };
  const std::vector<Case> cases = {
      {"a file of that name and the user's own .old and .part files", "Tune.sq2",
       {{"Tune.sq2", "old"}, {"Tune.sq2.old", "keep"}, {"Tune.sq2.part", "mine"}}},
      {"a one-letter name", "a", {{"a", "old"}}},
      {"a name longer than any copy's", "A much longer song name.sq2", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SaveScene scene;
    su::Run().workDir.clear();
    for (const auto& [name, text] : c.present) scene.user.Write(name, Bytes(text.begin(), text.end()));
    disk_.newFiles.clear();
    screen_.boxes.clear();
    const std::string target = scene.user.Path(c.name);
    screen_.savePaths.push_back(target);

    EXPECT_EQ(SaveSongFile(), 1);
    ASSERT_EQ(screen_.boxes.size(), 1u);
    EXPECT_EQ(test::ReadBytes(target), test::ReadBytes(scene.work.Path("Tune.sq2")));
    std::vector<std::string> expected{"Tune.mid", c.name};
    for (const auto& [name, text] : c.present) {
      if (name != c.name) {
        EXPECT_EQ(test::ReadBytes(scene.user.Path(name)), Bytes(text.begin(), text.end())) << name;
      }
      expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    EXPECT_EQ(scene.user.Names(), expected) << "something besides the target was left in its folder";
    ASSERT_FALSE(disk_.newFiles.empty());
    for (const std::string& made : disk_.newFiles) {
      EXPECT_LE(std::filesystem::path(made).filename().string().size(), c.name.size()) << made;
    }
  }
}

TEST_F(ConversionFlow, StagedSongConvertsForAFamilyAndLoads) {
  Stage("Tune.mid", OneNoteSong());
  su::Run().modelCode = "1c";
  su::Run().modelInfo = "deadbeef";
  su::Run().modelInfoValid = 1;
  const std::string output = ConvertStagedSong("4", su::Run().modelCode, ModelInfoArgument());
  EXPECT_EQ(output, dir_.Path("Tune.sq0"));

  su::Run().convertedPath = output;
  ASSERT_EQ(LoadSongImage(), 1);
  const Bytes onDisk = test::ReadBytes(output);
  ASSERT_EQ(su::Run().songImageSize, onDisk.size());
  EXPECT_EQ(Bytes(su::Run().songImage.get(), su::Run().songImage.get() + su::Run().songImageSize), onDisk);
  conv::SongImage decoded;
  ASSERT_TRUE(conv::ReadSongImage(su::Run().songImage.get(), su::Run().songImageSize, &decoded));
  EXPECT_EQ(decoded.modelInfo, "deadbeef");

  su::Run().modelInfoValid = 0;
  EXPECT_EQ(ModelInfoArgument(), "");
}

TEST_F(ConversionFlow, OutputPathKeepsDriveFolderAndBaseName) {
  EXPECT_EQ(ConvertedPathFor("C:\\Temp\\123\\My Song.MID", "5"), "C:\\Temp\\123\\My Song.sq2");
  EXPECT_EQ(ConvertedPathFor("C:\\Temp\\123\\My Song.MID", "4"), "C:\\Temp\\123\\My Song.sq0");
  EXPECT_EQ(ConvertedPathFor("/tmp/a.b/tune", "4"), "/tmp/a.b/tune.sq0");
  EXPECT_EQ(ConvertedPathFor("/tmp/x/v1.2.mid", "5"), "/tmp/x/v1.2.sq2");
}

TEST_F(ConversionFlow, LoadingAnEmptyFileGivesAnEmptyImage) {
  su::Run().convertedPath = dir_.Write("empty.sq0", {});
  EXPECT_EQ(LoadSongImage(), 1);
  EXPECT_EQ(su::Run().songImageSize, 0u);
}

TEST_F(ConversionFlow, FailedLoadLeavesNoImageBehind) {
  su::Run().convertedPath = dir_.Write("first.sq0", {1, 2, 3});
  ASSERT_EQ(LoadSongImage(), 1);
  ASSERT_EQ(su::Run().songImageSize, 3u);
  for (const std::string& path : {dir_.Path("missing.sq0"), dir_.Root().string()}) {
    su::Run().convertedPath = path;
    EXPECT_EQ(LoadSongImage(), 0) << path;
    EXPECT_EQ(su::Run().songImage, nullptr) << path;
    EXPECT_EQ(su::Run().songImageSize, 0u) << path;
  }
}

}  // namespace
}  // namespace su
