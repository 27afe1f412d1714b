// ConvertSqfToPK as the program calls it: results, output names, and no output left behind by a failure.
#include <gtest/gtest.h>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>

#include "converter/song_image.h"
#include "converter/sqfconv2.h"
#include "tests/converter/smf_builder.h"
#include "tests/converter/temp_dir.h"
#include "tests/support/case_name.h"

namespace su::conv {
namespace {

using test::Bytes;
using test::OneNoteSong;
using test::TempDir;

struct ResultCase {
  const char* name;
  // Prepares the folder and returns the input path.
  std::function<std::string(const TempDir&)> setUp;
  const char* kind;
  const char* modelCode;
  const char* modelInfo;
  int result;
  std::vector<std::string> filesAfter;  // everything in the folder afterwards
};

std::vector<ResultCase> ResultCases() {
  auto song = [](const TempDir& d) { return d.Write("song.mid", OneNoteSong()); };
  auto broken = [](const TempDir& d) {
    Bytes cut = OneNoteSong();
    cut.resize(cut.size() - 1);
    return d.Write("song.mid", cut);
  };
  return {
      {"ImageWritten", song, "4", "0a", "01234567", SQFCONV2_OK, {"song.mid", "song.sq0"}},
      {"SongFileWritten", song, "5", "", "", SQFCONV2_OK, {"song.mid", "song.sq2"}},
      {"NullModelArguments", song, "4", nullptr, nullptr, SQFCONV2_OK, {"song.mid", "song.sq0"}},
      {"NoExtension", [](const TempDir& d) { return d.Write("song", OneNoteSong()); }, "4", "", "", SQFCONV2_OK,
       {"song", "song.sq0"}},
      {"DotsInFolderName",
       [](const TempDir& d) {
         std::filesystem::create_directory(d.Path("a.b"));
         return d.Write("a.b/tune", OneNoteSong());
       },
       "5", "", "", SQFCONV2_OK, {"a.b", "a.b/tune", "a.b/tune.sq2"}},
      {"InputMissing", [](const TempDir& d) { return d.Path("none.mid"); }, "4", "", "", SQFCONV2_INPUT_MISSING, {}},
      {"InputIsAFolder",
       [](const TempDir& d) {
         std::filesystem::create_directory(d.Path("folder.mid"));
         return d.Path("folder.mid");
       },
       "4", "", "", SQFCONV2_INPUT_MISSING, {"folder.mid"}},
      {"EmptyPath", [](const TempDir&) { return std::string(); }, "4", "", "", SQFCONV2_INPUT_MISSING, {}},
      {"InputBroken", broken, "4", "", "", SQFCONV2_INPUT_BROKEN, {"song.mid"}},
      {"InputEmpty", [](const TempDir& d) { return d.Write("song.mid", {}); }, "5", "", "", SQFCONV2_INPUT_BROKEN,
       {"song.mid"}},
      {"UnknownKind", song, "6", "", "", SQFCONV2_FAILED, {"song.mid"}},
      {"NullKind", song, nullptr, "", "", SQFCONV2_FAILED, {"song.mid"}},
      {"ModelCodeTooLong", song, "4", "abc", "", SQFCONV2_FAILED, {"song.mid"}},
      {"ModelInfoTooLong", song, "4", "0a", "0123456789", SQFCONV2_FAILED, {"song.mid"}},
      {"OutputWouldReplaceInput", [](const TempDir& d) { return d.Write("song.sq0", OneNoteSong()); }, "4", "", "",
       SQFCONV2_FAILED, {"song.sq0"}},
      {"OutputNameTakenByAFolder",
       [](const TempDir& d) {
         std::filesystem::create_directory(d.Path("song.sq2"));
         return d.Write("song.mid", OneNoteSong());
       },
       "5", "", "", SQFCONV2_FAILED, {"song.mid", "song.sq2"}},
  };
}

void PrintTo(const ResultCase& c, std::ostream* os) { *os << c.name; }

class ConvertResult : public ::testing::TestWithParam<ResultCase> {};

TEST_P(ConvertResult, MatchesTheTableAndLeavesOnlyWhatItShould) {
  TempDir dir;
  const ResultCase& c = GetParam();
  const std::string input = c.setUp(dir);
  EXPECT_EQ(ConvertSqfToPK(input.c_str(), c.kind, c.modelCode, c.modelInfo), c.result);
  EXPECT_EQ(dir.Names(), c.filesAfter);
}

INSTANTIATE_TEST_SUITE_P(Results, ConvertResult, ::testing::ValuesIn(ResultCases()),
                         su::test::NameFrom(&ResultCase::name));

TEST(Convert, NullInputPathIsAMissingInput) {
  EXPECT_EQ(ConvertSqfToPK(nullptr, "4", "", ""), SQFCONV2_INPUT_MISSING);
}

// A child process that gives up root (for the user nobody, who is handed `folder`) before `call`, since root
// may write into any folder whatever its mode; run by anyone else, it keeps its user. Returns `call`'s result
// as the child's exit status, or -1 when the child could not become that user or ended otherwise.
int InAChildWithoutRoot(const std::filesystem::path& folder, const std::function<int()>& call) {
  uid_t uid = 65534;
  gid_t gid = 65534;
  if (const passwd* nobody = getpwnam("nobody")) {
    uid = nobody->pw_uid;
    gid = nobody->pw_gid;
  }
  const bool root = geteuid() == 0;
  if (root && chown(folder.c_str(), uid, gid) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    if (root && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)) _exit(255);
    _exit(call());
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 255) {
    return -1;
  }
  return WEXITSTATUS(status);
}

TEST(Convert, ReadOnlyFolderGivesAFailureAndNoOutput) {
  TempDir dir;
  const std::string input = dir.Write("song.mid", OneNoteSong());
  std::filesystem::permissions(dir.Root(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  constexpr int kFolderWritable = 254;
  const int result = InAChildWithoutRoot(dir.Root(), [&] {
    if (std::ofstream(dir.Path("probe")).good()) return kFolderWritable;
    return ConvertSqfToPK(input.c_str(), "4", "", "");
  });
  ASSERT_NE(result, kFolderWritable) << "the folder's mode did not hold for the user the conversion ran as";
  EXPECT_EQ(result, SQFCONV2_FAILED);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"song.mid"});
}

TEST(Convert, OutputsCarryTheSongAndItsKeyboard) {
  TempDir dir;
  const Bytes midi = test::Smf(1, 480, {test::TrackBytes().Delta(0).Text(0x03, "My Tune").Delta(5).Raw({0xC0, 7}).End()});
  const std::string input = dir.Write("x.mid", midi);
  ASSERT_EQ(ConvertSqfToPK(input.c_str(), "4", "f0", ""), SQFCONV2_OK);
  ASSERT_EQ(ConvertSqfToPK(input.c_str(), "5", "1c", "0000a001"), SQFCONV2_OK);
  EXPECT_EQ(test::ReadBytes(input), midi) << "the input was changed";

  const Bytes image = test::ReadBytes(dir.Path("x.sq0"));
  SongImage decoded;
  ASSERT_TRUE(ReadSongImage(image.data(), image.size(), &decoded));
  EXPECT_EQ(decoded.title, "My Tune");
  EXPECT_EQ(decoded.modelCode, "f0");
  EXPECT_EQ(image.size() % 2, 0u) << "family f0 takes words";
  ASSERT_EQ(decoded.events.size(), 1u);
  EXPECT_EQ(decoded.events[0].tick, 5u);

  const Bytes file = test::ReadBytes(dir.Path("x.sq2"));
  std::size_t offset = 0, size = 0;
  ASSERT_TRUE(ReadSongFile(file.data(), file.size(), &offset, &size));
  ASSERT_TRUE(ReadSongImage(file.data() + offset, size, &decoded));
  EXPECT_EQ(decoded.modelCode, "1c");
  EXPECT_EQ(decoded.modelInfo, "0000a001");
}

TEST(Convert, UnnamedSongIsTitledAfterTheFile) {
  TempDir dir;
  const std::string input = dir.Write("Evening Song.MID", OneNoteSong());
  ASSERT_EQ(ConvertSqfToPK(input.c_str(), "4", "", ""), SQFCONV2_OK);
  const Bytes image = test::ReadBytes(dir.Path("Evening Song.sq0"));
  std::string title;
  ASSERT_TRUE(ReadSongImageTitle(image.data(), image.size(), &title));
  EXPECT_EQ(title, "Evening Song");
}

#ifdef SU_EXAMPLES_DIR
// The generated example songs: each converts, and its image holds exactly the reader's merged stream.
TEST(Convert, ExampleSongsRoundTrip) {
  std::vector<std::filesystem::path> songs;
  for (const auto& entry : std::filesystem::directory_iterator(SU_EXAMPLES_DIR))
    if (entry.path().extension() == ".mid") songs.push_back(entry.path());
  ASSERT_GE(songs.size(), 5u) << "examples missing from " << SU_EXAMPLES_DIR;
  for (const auto& song : songs) {
    SCOPED_TRACE(song.filename().string());
    TempDir dir;
    const std::string input = dir.Path(song.filename().string());
    std::filesystem::copy_file(song, input);
    ASSERT_EQ(ConvertSqfToPK(input.c_str(), "4", "", ""), SQFCONV2_OK);
    const Bytes midi = test::ReadBytes(input);
    MidiFile file;
    ASSERT_EQ(ReadMidiFile(midi.data(), midi.size(), &file), MidiError::None);
    const Bytes image = test::ReadBytes(dir.Path(song.stem().string() + ".sq0"));
    SongImage decoded;
    ASSERT_TRUE(ReadSongImage(image.data(), image.size(), &decoded));
    EXPECT_EQ(decoded.events, SongEventsOf(file));
    EXPECT_FALSE(decoded.events.empty());
    EXPECT_EQ(decoded.title, SongTitleOf(file, song.stem().string()));
    EXPECT_NE(decoded.title, song.stem().string()) << "every example names itself";
  }
}
#endif

}  // namespace
}  // namespace su::conv
