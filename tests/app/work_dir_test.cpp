#include <gtest/gtest.h>

#include "base/run_state.h"
#include "app/work_dir.h"
#include "tests/app/fake_shell_system.h"

namespace su {
namespace {

class WorkDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    su::Run() = RunState{};
    system.directories = {"C:\\", "C:\\Temp\\", "E:\\", "E:\\My Music\\"};
    system.files["E:\\My Music\\My Song.MID"] = {"MThd", false};
  }
  void TearDown() override { su::Run() = RunState{}; }

  test::FakeShellSystem system;
  test::ScopedSystem installed{system};
};

TEST_F(WorkDirTest, StagesTheSourceUnderItsOwnName) {
  su::Run().sourcePath = "E:\\My Music\\My Song.MID";
  system.ticks = 123456;
  ASSERT_EQ(StageSourceFile(), 1);
  EXPECT_EQ(su::Run().workDir, "C:\\Temp\\123456\\");
  EXPECT_EQ(su::Run().stagedPath, "C:\\Temp\\123456\\My Song.MID");
  EXPECT_EQ(su::Run().stagedName, "My Song.MID");
  ASSERT_EQ(system.files.count(su::Run().stagedPath), 1u);
  EXPECT_EQ(system.files[su::Run().stagedPath].bytes, "MThd");
  EXPECT_EQ(system.files["E:\\My Music\\My Song.MID"].bytes, "MThd") << "the user's file changed";
}

TEST_F(WorkDirTest, MissingSourceMakesNoDirectory) {
  su::Run().sourcePath = "E:\\My Music\\gone.mid";
  EXPECT_EQ(StageSourceFile(), 0);
  EXPECT_TRUE(su::Run().workDir.empty());
  EXPECT_TRUE(system.Inside("C:\\Temp\\").empty());
  EXPECT_TRUE(system.pauses.empty()) << "a missing source must fail at once";
}

TEST_F(WorkDirTest, FailedCopyStillStages) {
  // The copy's outcome shows up later as a failed conversion, not here.
  su::Run().sourcePath = "E:\\My Music\\";  // a directory has a status but cannot be copied
  EXPECT_EQ(StageSourceFile(), 1);
  EXPECT_FALSE(su::Run().workDir.empty());
  EXPECT_EQ(su::Run().stagedName, "");
}

TEST_F(WorkDirTest, StagedPathLongerThanThePathFieldFailsAndLeavesNoDirectory) {
  struct Case {
    std::size_t nameLength;  // the source's file name; the work directory is "C:\\Temp\\123456\\" (15)
    int staged;
  };
  for (const Case c : {Case{244, 1}, Case{245, 0}, Case{250, 0}}) {
    SCOPED_TRACE(c.nameLength);
    su::Run() = RunState{};
    system.directories = {"C:\\", "C:\\Temp\\", "E:\\"};
    system.files.clear();
    system.ticks = 123456;
    su::Run().sourcePath = "E:\\" + std::string(c.nameLength - 4, 's') + ".mid";
    system.files[su::Run().sourcePath] = {"MThd", false};
    EXPECT_EQ(StageSourceFile(), c.staged);
    EXPECT_EQ(system.Inside("C:\\Temp\\").size(), c.staged == 1 ? 1u : 0u) << "work directories left";
    EXPECT_EQ(su::Run().workDir.empty(), c.staged == 0);
    EXPECT_EQ(su::Run().stagedPath.size(), c.staged == 1 ? 15 + c.nameLength : 0u);
  }
}

TEST_F(WorkDirTest, TempPathWithoutBackslashGetsOne) {
  system.tempPath = "C:\\Temp";
  system.ticks = 77;
  ASSERT_EQ(MakeWorkDirectory(), 1);
  EXPECT_EQ(su::Run().workDir, "C:\\Temp\\77\\");
}

TEST_F(WorkDirTest, LongUptimeGivesANameWithAMinusSign) {
  system.ticks = 0x90000000u;
  ASSERT_EQ(MakeWorkDirectory(), 1);
  EXPECT_EQ(su::Run().workDir, "C:\\Temp\\-1879048192\\");
  EXPECT_EQ(system.directories.count(su::Run().workDir), 1u);
}

TEST_F(WorkDirTest, TakenNameIsRetriedASecondLaterUnderANewName) {
  system.ticks = 1000;
  system.refusedDirectories = {"C:\\Temp\\1000\\"};
  ASSERT_EQ(MakeWorkDirectory(), 1);
  EXPECT_EQ(system.pauses, std::vector<std::uint32_t>{1000});
  EXPECT_NE(su::Run().workDir, "C:\\Temp\\1000\\");
  EXPECT_EQ(system.directories.count(su::Run().workDir), 1u);
}

TEST_F(WorkDirTest, GivesUpAfterTenAttemptsWithWorkDirEmpty) {
  system.tempPath = "C:\\NoSuchTemp\\";  // every creation fails
  su::Run().sourcePath = "E:\\My Music\\My Song.MID";
  EXPECT_EQ(StageSourceFile(), 0);
  EXPECT_TRUE(su::Run().workDir.empty());
  EXPECT_EQ(system.pauses, std::vector<std::uint32_t>(10, 1000));
}

TEST_F(WorkDirTest, WithoutATemporaryPathNoDirectoryIsMadeAtTheDriveRoot) {
  system.tempPath = "";
  system.directories.insert("\\");  // the root of the current drive, where "\\<ticks>\\" would land
  const auto before = system.directories;
  su::Run().sourcePath = "E:\\My Music\\My Song.MID";
  EXPECT_EQ(StageSourceFile(), 0);
  EXPECT_TRUE(su::Run().workDir.empty());
  EXPECT_EQ(system.directories, before);
}

TEST_F(WorkDirTest, EmptyingTouchesOnlyTheFilesInsideNotTheFolderOrItsParent) {
  ASSERT_EQ(MakeWorkDirectory(), 1);
  const std::string dir = su::Run().workDir;
  system.files[dir + "song.mid"] = {"a", false};
  RemoveWorkDirectory();
  EXPECT_EQ(system.madeNormal, std::vector<std::string>{dir + "song.mid"});
}

TEST_F(WorkDirTest, RemovalDeletesReadOnlyFilesAndTheDirectory) {
  ASSERT_EQ(MakeWorkDirectory(), 1);
  const std::string dir = su::Run().workDir;
  system.files[dir + "song.mid"] = {"a", false};
  system.files[dir + "song.sq0"] = {"b", true};
  RemoveWorkDirectory();
  EXPECT_TRUE(su::Run().workDir.empty());
  EXPECT_EQ(system.directories.count(dir), 0u);
  EXPECT_EQ(system.files.count(dir + "song.sq0"), 0u);
}

TEST_F(WorkDirTest, SubdirectorySurvivesAndKeepsTheWorkDirectory) {
  ASSERT_EQ(MakeWorkDirectory(), 1);
  const std::string dir = su::Run().workDir;
  system.directories.insert(dir + "inner\\");
  system.files[dir + "inner\\deep.txt"] = {"d", false};
  system.files[dir + "song.mid"] = {"a", false};
  RemoveWorkDirectory();
  EXPECT_TRUE(su::Run().workDir.empty());
  EXPECT_EQ(system.files.count(dir + "song.mid"), 0u);
  EXPECT_EQ(system.files.count(dir + "inner\\deep.txt"), 1u) << "subdirectories are not entered";
  EXPECT_EQ(system.directories.count(dir), 1u) << "a directory that is not empty stays behind";
}

TEST_F(WorkDirTest, RemovalWithoutWorkDirTouchesNothing) {
  system.files["C:\\Temp\\keep.txt"] = {"k", false};
  RemoveWorkDirectory();
  EXPECT_EQ(system.files.count("C:\\Temp\\keep.txt"), 1u);
  EXPECT_EQ(system.directories.count("C:\\Temp\\"), 1u);
}

TEST_F(WorkDirTest, EmptyDirectoryAddsTheMissingBackslash) {
  system.files["C:\\Temp\\a.txt"] = {"a", false};
  EmptyDirectory("C:\\Temp");
  EXPECT_EQ(system.files.count("C:\\Temp\\a.txt"), 0u);
}

}  // namespace
}  // namespace su
