#include <gtest/gtest.h>

#include <ostream>

#include "base/code_page.h"
#include "base/paths.h"
#include "base/settings_profile.h"
#include "tests/support/code_page_932.h"

namespace su {
namespace {

struct SplitCase {
  const char* path;
  const char* drive;
  const char* directory;
  const char* name;
  const char* extension;
};

// Bytes outside printable ASCII (double-byte characters) are shown as \xNN, so case names stay plain text.
void PrintTo(const SplitCase& c, std::ostream* os) {
  static const char kHex[] = "0123456789abcdef";
  *os << "\"";
  for (const char* p = c.path; *p != '\0'; ++p) {
    const auto byte = static_cast<unsigned char>(*p);
    if (byte >= 0x20 && byte < 0x7F) {
      *os << *p;
    } else {
      *os << "\\x" << kHex[byte >> 4] << kHex[byte & 15];
    }
  }
  *os << "\"";
}

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

// Code page 932 names, as bytes: ソ 83 5C, ン 83 93, グ 83 4F, 表 95 5C, 能 94 5C, 十 8F 5C, ア 83 41.
#define SONG_932 "\x83\x5c\x83\x93\x83\x4f\x95\x5c"  // ソング表
#define HYO_932 "\x95\x5c"                              // 表

class SplitPathCp932Test : public ::testing::TestWithParam<SplitCase> {
 protected:
  test::ScopedCp932 codePage_;
};

TEST_P(SplitPathCp932Test, KeepsDoubleByteCharactersWhole) {
  const SplitCase& c = GetParam();
  const PathParts parts = SplitPath(c.path);
  EXPECT_EQ(parts.drive, c.drive);
  EXPECT_EQ(parts.directory, c.directory);
  EXPECT_EQ(parts.name, c.name);
  EXPECT_EQ(parts.extension, c.extension);
}

INSTANTIATE_TEST_SUITE_P(
    Cp932, SplitPathCp932Test,
    ::testing::Values(SplitCase{"C:\\Music\\" SONG_932 ".mid", "C:", "\\Music\\", SONG_932, ".mid"},
                      SplitCase{HYO_932 ".mid", "", "", HYO_932, ".mid"},
                      // A folder whose name ends in a 0x5C trail byte, then the real separator.
                      SplitCase{"C:\\" HYO_932 "\\song.mid", "C:", "\\" HYO_932 "\\", "song", ".mid"},
                      SplitCase{"D:/\x94\x5c/\x8f\x5c", "D:", "/\x94\x5c/", "\x8f\x5c", ""},
                      SplitCase{"C:\\v1.2\\" HYO_932, "C:", "\\v1.2\\", HYO_932, ""},
                      // A lead byte cut off at the end is a character of its own.
                      SplitCase{"C:\\a\\b.m\x83", "C:", "\\a\\", "b", ".m\x83"},
                      SplitCase{"C:\\Music\\My Song.MID", "C:", "\\Music\\", "My Song", ".MID"}));

// Every other place that looks for a separator or a letter in a path, with and without code page 932.
TEST(PathTextByCharactersTest, SeparatorsAndLettersAreWholeCharacters) {
  struct Case {
    const char* what;
    std::string (*derive)(const std::string&);
    const char* input;
    const char* singleByte;  // what a single-byte code page gives
    const char* cp932;
  };
  const Case cases[] = {
      {"staged name", StagedNameFor, "E:\\" SONG_932 ".mid", ".mid", SONG_932 ".mid"},
      {"settings path", SettingsPathFor, "C:\\" HYO_932 "\\su.exe", "C:\\" HYO_932 "\\SongUploader.INI",
       "C:\\" HYO_932 "\\SongUploader.INI"},
      {"settings path, program named with a 5C byte", SettingsPathFor, "C:\\x\\" HYO_932 ".exe",
       "C:\\x\\\x95\\SongUploader.INI", "C:\\x\\SongUploader.INI"},
      {"trailing backslash", WithTrailingBackslash, "C:\\" HYO_932, "C:\\" HYO_932, "C:\\" HYO_932 "\\"},
      {"parent folder", ParentFolder, "C:\\" HYO_932 "\\x.sq2", "C:\\" HYO_932 "\\", "C:\\" HYO_932 "\\"},
      {"parent of a folder", ParentFolder, "C:\\a\\" HYO_932 "\\", "C:\\a\\" "\x95\\", "C:\\a\\"},
      {"case folding", FoldCase, "AB\x83\x41Z", "ab\x83\x61z", "ab\x83\x41z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.derive(c.input), c.singleByte);
    test::ScopedCp932 codePage;
    EXPECT_EQ(c.derive(c.input), c.cp932);
  }
}

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
