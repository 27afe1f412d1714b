#include <gtest/gtest.h>

#include <ostream>

#include "base/paths.h"

namespace su {
namespace {

struct SplitCase {
  const char* path;
  const char* drive;
  const char* directory;
  const char* name;
  const char* extension;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << "\"" << c.path << "\""; }

class SplitPathTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitPathTest, GivesDriveDirectoryNameAndExtension) {
  const SplitCase& c = GetParam();
  const PathParts parts = SplitPath(c.path);
  EXPECT_EQ(parts.drive, c.drive);
  EXPECT_EQ(parts.directory, c.directory);
  EXPECT_EQ(parts.name, c.name);
  EXPECT_EQ(parts.extension, c.extension);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SplitPathTest,
    ::testing::Values(SplitCase{"C:\\Music\\My Song.MID", "C:", "\\Music\\", "My Song", ".MID"},
                      SplitCase{"D:/songs/a.b.mid", "D:", "/songs/", "a.b", ".mid"},
                      // A dot in a directory name is not an extension.
                      SplitCase{"C:\\v1.2\\tune", "C:", "\\v1.2\\", "tune", ""},
                      SplitCase{"\\\\server\\share\\x.mid", "", "\\\\server\\share\\", "x", ".mid"},
                      SplitCase{"song.mid", "", "", "song", ".mid"},
                      SplitCase{"C:song.mid", "C:", "", "song", ".mid"},
                      SplitCase{"C:\\folder\\", "C:", "\\folder\\", "", ""},
                      SplitCase{"", "", "", "", ""}));

TEST(WorkDirNameTest, PrintsTheTickCountAsSigned32Bits) {
  EXPECT_EQ(WorkDirName(0), "0");
  EXPECT_EQ(WorkDirName(788396), "788396");
  EXPECT_EQ(WorkDirName(2147483647u), "2147483647");
  // A system up for more than about 24.8 days gives a name that begins with a minus sign.
  EXPECT_EQ(WorkDirName(2147483648u), "-2147483648");
  EXPECT_EQ(WorkDirName(4294967295u), "-1");
}

TEST(WorkDirPathTest, HasExactlyOneBackslashAroundTheName) {
  EXPECT_EQ(WorkDirPath("C:\\Temp\\", 42), "C:\\Temp\\42\\");
  EXPECT_EQ(WorkDirPath("C:\\Temp", 42), "C:\\Temp\\42\\");
  EXPECT_EQ(WorkDirPath("C:\\Temp", 3000000000u), "C:\\Temp\\-1294967296\\");
}

TEST(StagedPathTest, KeepsTheSourceNameAndExtension) {
  const std::string source = "E:\\My Music\\My Song.MID";
  EXPECT_EQ(StagedPathFor("C:\\Temp\\17\\", source), "C:\\Temp\\17\\My Song.MID");
  EXPECT_EQ(StagedNameFor(source), "My Song.MID");
  EXPECT_EQ(StagedNameFor("E:\\noext"), "noext");
}

}  // namespace
}  // namespace su
