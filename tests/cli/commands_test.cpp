// The commands over the virtual link against the virtual keyboard: what each prints, and the exit code and
// the program's own text on standard error for every way a command can end.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "base/converter.h"
#include "cli/exit_codes.h"
#include "tests/converter/recorded_song_files.h"
#include "tests/converter/smf_builder.h"
#include "tests/converter/temp_dir.h"
#include "tests/support/link_fixture.h"
#include "transfer/family_a/slot_operations.h"

namespace su::cli {
namespace {

constexpr char kFamilyC[] = "model=2\nslot=0,Morning Waltz,5120\nslot=1,,700\nfree=262144\n";
constexpr char kFamilyA[] = "family=a\nslot=2,Rondo,700\nfree=131072\n";
constexpr char kFamilyB[] = "family=b\nmodel=1\nslot=3,Rondo,700\nmax_song=65536\n";

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

class CommandsTest : public su::test::LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    song_ = dir_.Write("Tune.mid", su::test::OneNoteSong());
    // The slots a command finds are remembered for completion: in this test's own folder.
    setenv("XDG_CACHE_HOME", dir_.Path("cache").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_CACHE_HOME");
    LinkTest::TearDown();
  }

  void Keyboard(const std::string& configText) {
    su::test::KeyboardConfig config;
    std::string error;
    ASSERT_TRUE(su::test::ParseKeyboardConfig(configText, &config, &error)) << error;
    Connect(config);
  }

  Outcome Run(std::vector<std::string> args) {
    std::ostringstream out, err;
    std::istringstream in;
    Console console{out, err, in, false, false, {}};
    const int code = RunSongUploader(args, console, [](const Options&, std::string*) { return true; });
    return Outcome{code, out.str(), err.str()};
  }

  su::test::TempDir dir_;
  std::string song_;
};

// ---- Exit codes and texts ------------------------------------------------------------------------------

struct EndCase {
  std::string name;
  std::string keyboard;  // config text; empty: nobody at the far end
  std::vector<std::string> args;  // "SONG" stands for a good song file
  int code;
  std::string errHas;
};

class CommandEnds : public CommandsTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(CommandEnds, WithItsExitCodeAndText) {
  const EndCase& c = GetParam();
  if (!c.keyboard.empty()) Keyboard(c.keyboard);
  std::vector<std::string> args = c.args;
  for (std::string& arg : args) {
    if (arg == "SONG") arg = song_;
    if (arg == "BROKEN") arg = dir_.Write("Broken.mid", {'n', 'o', 't', ' ', 'M', 'I', 'D', 'I'});
    if (arg == "MISSING") arg = dir_.Path("Missing.mid");
  }
  const Outcome o = Run(args);
  EXPECT_EQ(o.code, c.code) << o.err;
  EXPECT_NE(o.err.find(c.errHas), std::string::npos) << o.err;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandEnds,
    ::testing::Values(
        EndCase{"SentAndReadBack", kFamilyC, {"send", "SONG", "--slot", "32", "--progress"}, kExitOk,
                "Now sending. 1/1\nIt is checking whether data has transmitted."},
        EndCase{"FamilyASentWithItsName", kFamilyA, {"send", "SONG", "--slot", "4", "--progress"}, kExitOk,
                "Now sending. 1/1\n"},
        EndCase{"FamilyBSentOverTheOldSong", kFamilyB, {"send", "SONG", "--slot", "64", "-y", "--progress"}, kExitOk,
                "Do you want to replace it? [y/N] y\nNow sending. 1/1\n"},
        EndCase{"FamilyBSongLargerThanItTakes", "family=b\nmax_song=2\n", {"send", "SONG", "--slot", "61"},
                kExitNoMemory, "Please delete the unnecessary data."},
        EndCase{"NoKeyboard", "", {"list"}, kExitNoKeyboard,
                "songuploader: There is no response from a keyboard. (input \"Virtual in\", output \"Virtual out\")\n"},
        EndCase{"UsedSlotNotReplacedWithoutYes", kFamilyC, {"send", "SONG", "--slot", "30"}, kExitDeclined,
                "Do you want to replace it? [y/N] n"},
        EndCase{"NoRoom", "model=2\nfree=10\n", {"send", "SONG", "--slot", "30"}, kExitNoMemory,
                "There is not enough memory to send the data.\nPlease delete the unnecessary data.\n"},
        EndCase{"FamilyANoRoom", "family=a\nfree=2\n", {"send", "SONG", "--slot", "0"}, kExitNoMemory,
                "Please delete the unnecessary data."},
        EndCase{"SilentMidTransfer", "model=2\nsilent=04\n", {"send", "SONG", "--slot", "31", "-y"},
                kExitTimeout, "The timeout error occured."},
        EndCase{"NotReady", "family=a\nnot_ready=1:1\n", {"send", "SONG", "--slot", "0"}, kExitNotReady,
                "The keyboard is not ready."},
        EndCase{"LowVoltage", "model=2\nrefuse=03:1\n", {"send", "SONG", "--slot", "31"}, kExitLowVoltage,
                "The power supply voltage of a keyboard is falling."},
        EndCase{"StoppedByTheKeyboard", "family=a\nrefuse=041000:2\n", {"send", "SONG", "--slot", "0"},
                kExitStopped, "Transmission was stopped."},
        EndCase{"DeleteRefusedWithACode", "model=2\nslot=0,Song,100\nrefuse=09:100\n",
                {"delete", "--slot", "30", "-y"}, kExitKeyboardError, "The error occurred.(100)"},
        EndCase{"DeleteRefusedNotReady", "model=2\nslot=0,Song,100\nrefuse=09:0\n", {"delete", "--slot", "30", "-y"},
                kExitNotReady, "The error occurred.(0)"},
        EndCase{"WrongModelCode", "", {"convert", "SONG", "-o", "x.sq2", "--model", "XYZ"}, kExitUsage,
                "songuploader: --model takes a model code of at most 2 characters"},
        EndCase{"DeleteOfAnEmptySlot", kFamilyC, {"delete", "--slot", "35", "-y"}, kExitDeclined,
                "Slot 35 holds no song."},
        EndCase{"MissingSong", kFamilyC, {"send", "MISSING", "--slot", "31"}, kExitFileNotFound,
                "Missing.mid: No such file or directory"},
        EndCase{"BrokenSong", kFamilyC, {"send", "BROKEN", "--slot", "31"}, kExitFileBroken,
                "The file is wrong or broken."},
        EndCase{"NoSuchSlot", kFamilyC, {"send", "SONG", "--slot", "3"}, kExitNoSuchSlot,
                "songuploader: this keyboard has no slot 3 (its slots are 30 to 39)"},
        EndCase{"NoSuchPort", kFamilyC, {"list", "--port", "QK USB"}, kExitPort, "no MIDI input matches"},
        EndCase{"BadCommandLine", "", {"list", "--slot"}, kExitUsage, "needs a value"}),
    [](const ::testing::TestParamInfo<EndCase>& info) { return info.param.name; });

// More than one device that could be the keyboard: the command names each (by its input) for --port, and
// asks nothing of any of them.
TEST_F(CommandsTest, SeveralDevicesAreListedForTheUserToChoose) {
  const std::vector<std::string> ports = {"Midi Through:Midi Through Port-0 14:0",
                                          "USB Keyboard:USB Keyboard MIDI 1 20:0",
                                          "Digital Piano:Digital Piano MIDI 1 24:0"};
  link.SetInDevices(ports);
  link.SetOutDevices(ports);
  Keyboard(kFamilyC);
  const Outcome o = Run({"list"});
  EXPECT_EQ(o.code, kExitPort);
  EXPECT_EQ(o.err,
            "songuploader: more than one MIDI device could be the keyboard; choose one with --port:\n"
            "  USB Keyboard:USB Keyboard MIDI 1 20:0\n"
            "  Digital Piano:Digital Piano MIDI 1 24:0\n");
  EXPECT_EQ(o.out, "");
  EXPECT_TRUE(link.Sent().empty());
}

// ---- What the commands print -----------------------------------------------------------------------

TEST_F(CommandsTest, ListShowsTheDialogsLabelsSizesAndTotals) {
  Keyboard(kFamilyC);
  const Outcome o = Run({"list"});
  ASSERT_EQ(o.code, kExitOk) << o.err;
  EXPECT_NE(o.out.find("30    Morning Waltz                    5KB (5120 bytes)\n"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("31    \xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF"), std::string::npos) << o.out;  // marker
  EXPECT_NE(o.out.find("Total Size: 5 KBytes (5820 bytes)\nEmpty Size: 256 KBytes (262144 bytes)\n"),
            std::string::npos)
      << o.out;
}

TEST_F(CommandsTest, JsonListingOfAFamilyAKeyboard) {
  Keyboard(kFamilyA);
  const Outcome o = Run({"list", "--json"});
  ASSERT_EQ(o.code, kExitOk) << o.err;
  EXPECT_EQ(o.out.rfind("{\"modelType\":21,\"family\":\"A\",\"slots\":[{\"slot\":\"0\",\"used\":false", 0), 0u)
      << o.out;
  EXPECT_NE(o.out.find("{\"slot\":\"2\",\"used\":true,\"name\":\"Rondo       \",\"kb\":1,\"bytes\":700}"),
            std::string::npos)
      << o.out;
  EXPECT_NE(o.out.find("\"totalKB\":0,\"totalBytes\":700,\"freeKB\":128,\"freeBytes\":131072}\n"),
            std::string::npos)
      << o.out;
}

TEST_F(CommandsTest, FamilyBListsTheLargestSongInsteadOfTheFreeMemory) {
  Keyboard(kFamilyB);
  const Outcome o = Run({"list"});
  ASSERT_EQ(o.code, kExitOk) << o.err;
  EXPECT_NE(o.out.find("64    Rondo"), std::string::npos) << o.out;
  // Family B's total never shows 0 for a keyboard that holds a song, as its dialog shows it (family A's 700
  // bytes above show 0).
  EXPECT_NE(o.out.find("Total Size: 1 KBytes (700 bytes)\nMaximum Song Size: 64 KBytes (65536 bytes)\n"),
            std::string::npos)
      << o.out;
  EXPECT_EQ(Run({"identify"}).out, "Model type: 26\nFamily: B\nSlots: 10 (61 to 70)\nModel code: e1\n");
}

// Sizes from the keyboard are unsigned: 2 GiB and more are not divided as negative numbers.
struct SizeCase {
  std::string name;
  std::string keyboard;
  std::string shown;
};
void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.name; }

class TwoGibibytes : public CommandsTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(TwoGibibytes, ShowAs2097152Kilobytes) {
  Keyboard(GetParam().keyboard);
  const Outcome o = Run({"list"});
  ASSERT_EQ(o.code, kExitOk) << o.err;
  EXPECT_NE(o.out.find(GetParam().shown), std::string::npos) << o.out;
}

INSTANTIATE_TEST_SUITE_P(
    Readings, TwoGibibytes,
    ::testing::Values(
        SizeCase{"FamilyAFreeMemory", "family=a\nfree=2147483648\n", "Empty Size: 2097152 KBytes (2147483648 bytes)\n"},
        SizeCase{"FamilyBLargestSong", "family=b\nmodel=1\nmax_song=2147483648\n",
                 "Maximum Song Size: 2097152 KBytes (2147483648 bytes)\n"},
        SizeCase{"FamilyCFreeMemory", "model=2\nfree=2147483648\n", "Empty Size: 2097152 KBytes (2147483648 bytes)\n"}),
    [](const ::testing::TestParamInfo<SizeCase>& info) { return info.param.name; });

TEST_F(CommandsTest, AType22KeyboardIsLookedForOnlyWhenAskedTo) {
  Keyboard("family=a\nmodel_address=0x1102\n");
  EXPECT_EQ(Run({"identify"}).code, kExitNoKeyboard);
  const Outcome o = Run({"identify", "--type-22"});
  ASSERT_EQ(o.code, kExitOk) << o.err;
  EXPECT_EQ(o.out.rfind("Model type: 22\n", 0), 0u) << o.out;
}

TEST_F(CommandsTest, IdentifyAndPortsInBothFormats) {
  Keyboard("model=11\nmodel_info=01234567\n");
  EXPECT_EQ(Run({"identify"}).out, "Model type: 13\nFamily: C\nSlots: 5 (60 to 64)\nModel code: b\n");
  EXPECT_EQ(Run({"identify", "--json"}).out,
            "{\"modelType\":13,\"family\":\"C\",\"slotCount\":5,\"slots\":[\"60\",\"61\",\"62\",\"63\",\"64\"],"
            "\"modelCode\":\"b\"}\n");
  EXPECT_EQ(Run({"ports"}).out, "Inputs:\n* 0  Virtual in\nOutputs:\n* 0  Virtual out\n");
  EXPECT_EQ(Run({"ports", "--json"}).out,
            "{\"inputs\":[{\"number\":0,\"name\":\"Virtual in\",\"chosen\":true}],"
            "\"outputs\":[{\"number\":0,\"name\":\"Virtual out\",\"chosen\":true}]}\n");
}

TEST_F(CommandsTest, ASendReplacesWithYesAndTheKeyboardHoldsTheSongAndItsName) {
  Keyboard("family=a\nslot=4,Old,5000\n");
  const Outcome o = Run({"send", song_, "--slot", "4", "--yes"});
  ASSERT_EQ(o.code, kExitOk) << o.err;
  EXPECT_NE(o.out.find("Complete!\nSlot 4 holds \"Tune\""), std::string::npos) << o.out;
  EXPECT_EQ(keyboard->Slot(4).name.substr(0, 4), "Tune");
}

TEST_F(CommandsTest, ConvertWritesTheSongFile) {
  const std::string target = dir_.Path("Out.sq2");
  const Outcome o = Run({"convert", song_, "-o", target});
  ASSERT_EQ(o.code, kExitOk) << o.err;
  EXPECT_EQ(o.out, target + "\nSaved.\n");
  EXPECT_GT(std::filesystem::file_size(target), 0u);
}

// ---- Where convert writes ------------------------------------------------------------------------------

class ConvertOutputs : public CommandsTest {
 protected:
  void SetUp() override {
    CommandsTest::SetUp();
    const Outcome o = Run({"convert", song_, "-o", dir_.Path("Expected.sq2")});
    ASSERT_EQ(o.code, kExitOk) << o.err;
    expected_ = Bytes(dir_.Path("Expected.sq2"));
  }
  static std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static mode_t Mode(const std::string& path) {
    struct stat status {};
    lstat(path.c_str(), &status);
    return status.st_mode;
  }
  std::string expected_;
};

TEST_F(ConvertOutputs, RegularFilesAreReplacedWholeWithTheirPermissionsAndLinksFollowed) {
  const mode_t mask = umask(022);
  const std::string kept = dir_.Path("Kept.sq2");
  std::ofstream(kept) << "old";
  chmod(kept.c_str(), 0640);
  const std::string link = dir_.Path("Link.sq2");
  std::filesystem::create_symlink("Kept.sq2", link);
  struct Case {
    std::string target, written;
    mode_t mode;
  };
  for (const Case& c : {Case{dir_.Path("New.sq2"), dir_.Path("New.sq2"), 0644}, Case{kept, kept, 0640},
                        Case{link, kept, 0640}}) {
    SCOPED_TRACE(c.target);
    const Outcome o = Run({"convert", song_, "-o", c.target});
    EXPECT_EQ(o.code, kExitOk) << o.err;
    EXPECT_EQ(Bytes(c.written), expected_);
    EXPECT_EQ(Mode(c.written) & 07777, c.mode);
  }
  umask(mask);
  EXPECT_TRUE(S_ISLNK(Mode(link)));
  // Nothing staged or half-written is left beside the targets.
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"Expected.sq2", "Kept.sq2", "Link.sq2", "New.sq2", "Tune.mid"}));
}

TEST_F(ConvertOutputs, AReadOnlyFileIsRefusedAndKept) {
  const std::string target = dir_.Path("ReadOnly.sq2");
  std::ofstream(target) << "old";
  chmod(target.c_str(), 0444);
  const Outcome o = Run({"convert", song_, "-o", target});
  EXPECT_EQ(o.code, kExitFileError);
  EXPECT_NE(o.err.find("songuploader: cannot write " + target + ": Permission denied"), std::string::npos) << o.err;
  EXPECT_EQ(Bytes(target), "old");
}

TEST_F(ConvertOutputs, StandardInputAndOutputStandForFiles) {
  std::ostringstream out, err;
  std::istringstream in(Bytes(song_));
  Console console{out, err, in, false, false, {}};
  EXPECT_EQ(RunSongUploader({"convert", "-", "-o", "-"}, console, [](const Options&, std::string*) { return true; }),
            kExitOk)
      << err.str();
  // The song from standard input is called "Song": it is the song file the converter itself writes from a
  // file Song.mid of the same bytes.
  su::test::TempDir elsewhere;
  const std::string named = elsewhere.Write("Song.mid", su::test::OneNoteSong());
  ASSERT_EQ(ConvertSqfToPK(named.c_str(), "5", "", ""), SQFCONV2_OK);
  EXPECT_EQ(out.str(), Bytes(elsewhere.Path("Song.sq2")));
  const su::test::Bytes recorded = su::test::RecordedSongSongFile();
  EXPECT_EQ(out.str(), std::string(recorded.begin(), recorded.end())) << "the song file as recorded";
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"Expected.sq2", "Tune.mid"}));
}

// Standard output that a SIGTERM interrupts while "Saved." is written: the file is already in place.
class StoppedWhileWritten : public std::stringbuf {
 protected:
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    RequestStop(143);
    return std::stringbuf::xsputn(text, count);
  }
};

TEST_F(ConvertOutputs, AStopOnceTheFileIsInPlaceChangesNothing) {
  StoppedWhileWritten stopping;
  std::ostream out(&stopping);
  std::ostringstream err;
  std::istringstream in;
  Console console{out, err, in, false, false, {}};
  const std::string target = dir_.Path("Out.sq2");
  const int code =
      RunSongUploader({"convert", song_, "-o", target}, console, [](const Options&, std::string*) { return true; });
  SetInterrupted(false);
  EXPECT_EQ(code, kExitOk) << err.str();
  EXPECT_EQ(stopping.str(), target + "\nSaved.\n");
  EXPECT_EQ(Bytes(target), expected_);
}

TEST_F(ConvertOutputs, DevicesAndFifosAreWrittenThroughNeverReplaced) {
  // A FIFO, read on the far side while convert writes into it.
  const std::string fifo = dir_.Path("Fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string fromFifo;
  std::thread reader([&] { fromFifo = Bytes(fifo); });
  Outcome o = Run({"convert", song_, "-o", fifo});
  reader.join();
  EXPECT_EQ(o.code, kExitOk) << o.err;
  EXPECT_EQ(fromFifo, expected_);
  EXPECT_TRUE(S_ISFIFO(Mode(fifo)));

  // Character devices made in the test's own folder (never the system's own nodes): one that takes every
  // byte, and one that refuses every write, whose reason shows the bytes went to the device. Making device
  // nodes needs the superuser.
  struct DeviceCase {
    const char* name;
    unsigned minor;  // of the memory devices: 3 takes everything, 7 is always full
    int code;
    const char* errHas;  // nullptr: nothing on standard error
  };
  for (const DeviceCase& c : {DeviceCase{"Null", 3, kExitOk, nullptr},
                              DeviceCase{"Full", 7, kExitFileError, "No space left on device"}}) {
    SCOPED_TRACE(c.name);
    const std::string device = dir_.Path(c.name);
    if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, c.minor)) != 0) {
      GTEST_SKIP() << "no device nodes without the superuser";
    }
    o = Run({"convert", song_, "-o", device});
    EXPECT_EQ(o.code, c.code) << o.err;
    if (c.errHas == nullptr) {
      EXPECT_EQ(o.err, "");
    } else {
      EXPECT_NE(o.err.find(c.errHas), std::string::npos) << o.err;
    }
    EXPECT_TRUE(S_ISCHR(Mode(device)));
  }
}

// A file the rename would change (other names for it, an owner other than ours) is written in place once the
// song was written whole beside it: every name shows the new song.
TEST_F(ConvertOutputs, AFileWithOtherNamesIsWrittenInPlace) {
  const std::string target = dir_.Path("Shared.sq2");
  std::ofstream(target) << "old";
  ASSERT_EQ(::link(target.c_str(), dir_.Path("Other name.sq2").c_str()), 0);
  struct stat before {};
  stat(target.c_str(), &before);
  const Outcome o = Run({"convert", song_, "-o", target});
  EXPECT_EQ(o.code, kExitOk) << o.err;
  struct stat after {};
  stat(target.c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(Bytes(dir_.Path("Other name.sq2")), expected_);
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"Expected.sq2", "Other name.sq2", "Shared.sq2", "Tune.mid"}));

  // The administrator converting onto a user's file leaves it the user's.
  if (geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs the superuser";
  const std::string users = dir_.Path("Users.sq2");
  std::ofstream(users) << "old";
  ASSERT_EQ(chown(users.c_str(), 65534, 65534), 0);
  EXPECT_EQ(Run({"convert", song_, "-o", users}).code, kExitOk);
  stat(users.c_str(), &after);
  EXPECT_EQ(after.st_uid, 65534u);
  EXPECT_EQ(after.st_gid, 65534u);
  EXPECT_EQ(Bytes(users), expected_);
}

TEST_F(CommandsTest, AnExceptionReachingTheTopIsAMessageAnExitCodeAndACleanup) {
  const std::string temp = dir_.Path("tmp");
  std::filesystem::create_directory(temp);
  const char* previous = std::getenv("TMPDIR");
  const std::string saved = previous != nullptr ? previous : "";
  setenv("TMPDIR", temp.c_str(), 1);
  struct Case {
    std::function<void()> fail;
    int code;
    std::string errHas;
  };
  const std::vector<Case> cases = {
      {[] { throw std::filesystem::filesystem_error("x", "/gone/file", std::make_error_code(std::errc::io_error)); },
       kExitFileError, "songuploader: /gone/file: Input/output error\n"},
      {[] { throw std::bad_alloc(); }, kExitUnforeseen, "songuploader: File error. (an unforeseen failure: std::bad_alloc;"},
      {[] { throw 7; }, kExitUnforeseen, "songuploader: File error. (an unforeseen failure; please report it)\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream out, err;
    std::istringstream in;
    Console console{out, err, in, false, false, {}};
    const int code = RunSongUploader({"send", song_, "--slot", "1"}, console, [&](const Options&, std::string*) {
      c.fail();
      return true;
    });
    EXPECT_EQ(code, c.code) << err.str();
    EXPECT_NE(err.str().find(c.errHas), std::string::npos) << err.str();
    EXPECT_TRUE(std::filesystem::is_empty(temp));  // the staged song went on the way out
  }
  if (previous != nullptr) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
}

// ---- Choosing ports: numbers, the environment, the marked pair ------------------------------------------

TEST_F(CommandsTest, PortsMarksThePairTheOptionsAndTheEnvironmentChoose) {
  link.SetInDevices({"Midi Through:Midi Through Port-0 14:0", "QK:QK MIDI 1 20:0", "Other:Other In 24:0"});
  link.SetOutDevices({"Midi Through:Midi Through Port-0 14:0", "Other:Other Out 24:0", "QK:QK MIDI 1 20:0"});
  struct Case {
    std::vector<std::string> args;
    std::vector<std::pair<const char*, const char*>> environment;
    std::string in, out;  // the marked lines ("" when no pair is chosen)
  };
  const std::string qkIn = "* 1  QK:QK MIDI 1 20:0\n", qkOut = "* 2  QK:QK MIDI 1 20:0\n";
  const std::vector<Case> cases = {
      {{"ports"}, {}, "", ""},  // two devices could be the keyboard
      {{"ports", "--port", "20"}, {}, qkIn, qkOut},  // an ALSA client, not list positions
      {{"ports"}, {{"SONGUPLOADER_PORT", "24"}}, "* 2  Other:Other In 24:0\n", "* 1  Other:Other Out 24:0\n"},
      {{"ports", "--port", "QK"}, {{"SONGUPLOADER_PORT", "24"}, {"SONGUPLOADER_IN", "Other"}}, qkIn, qkOut},
      {{"ports"}, {{"SONGUPLOADER_IN", "20:0"}, {"SONGUPLOADER_OUT", "QK"}}, qkIn, qkOut},
      {{"ports", "--in", "2"}, {{"SONGUPLOADER_IN", "20:0"}, {"SONGUPLOADER_OUT", "QK"}},
       "* 2  Other:Other In 24:0\n", qkOut},
  };
  for (const Case& c : cases) {
    for (const auto& [name, value] : c.environment) setenv(name, value, 1);
    const Outcome o = Run(c.args);
    for (const char* name : {"SONGUPLOADER_PORT", "SONGUPLOADER_IN", "SONGUPLOADER_OUT"}) unsetenv(name);
    SCOPED_TRACE(o.out);
    EXPECT_EQ(o.code, kExitOk) << o.err;
    EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '*'), c.in.empty() ? 0 : 2);
    if (!c.in.empty()) {
      EXPECT_NE(o.out.find(c.in), std::string::npos);
      EXPECT_NE(o.out.find(c.out), std::string::npos);
    }
  }
  // A variable is not read for what the options name; a port it names that is wrong is said to come from it.
  struct EnvironmentCase {
    std::vector<std::string> args;
    const char* variable;
    const char* value;
    int code;
    std::string errHas;
  };
  for (const EnvironmentCase& c :
       {EnvironmentCase{{"ports", "--in", "1", "--out", "2"}, "SONGUPLOADER_PORT", "99", kExitOk, ""},
        EnvironmentCase{{"list"}, "SONGUPLOADER_PORT", "Nowhere", kExitPort,
                        "no MIDI input matches \"Nowhere\" (from SONGUPLOADER_PORT)"}}) {
    setenv(c.variable, c.value, 1);
    const Outcome o = Run(c.args);
    unsetenv(c.variable);
    EXPECT_EQ(o.code, c.code) << o.err;
    EXPECT_NE(o.err.find(c.errHas), std::string::npos) << o.err;
  }
  // Without ALSA addresses a bare --port number is refused: it would pair unrelated ports.
  link.SetInDevices({"Virtual in"});
  link.SetOutDevices({"Software Synth", "Virtual out"});
  const Outcome o = Run({"list", "--port", "0"});
  EXPECT_EQ(o.code, kExitPort);
  EXPECT_NE(o.err.find("give --in N --out N"), std::string::npos) << o.err;
}

// ---- Results for scripts: --json, --dry-run, --quiet ------------------------------------------------------

TEST_F(CommandsTest, JsonResultsDryRunsAndQuietRuns) {
  Keyboard(kFamilyC);
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string out;     // the whole of standard output, "seconds" left out
    bool progressShown;  // progress ("Now getting information...", "Now sending.") on standard error
  };
  const std::vector<Case> cases = {
      {{"send", "SONG", "--slot", "30", "--dry-run", "--progress"}, kExitOk,
       "Would send \"Tune\" (35 bytes) into slot 30, replacing \"Morning Waltz\" (5120 bytes). Nothing was sent.\n",
       true},
      {{"send", "SONG", "--slot", "32", "--dry-run", "--json", "-q"}, kExitOk,
       R"({"command":"send","done":false,"dryRun":true,"slot":"32","name":"Tune","bytes":35,"room":true,"replaces":null})",
       false},
      {{"send", "SONG", "--slot", "32", "--json", "--progress"}, kExitOk,
       R"({"command":"send","done":true,"slot":"32","name":"Tune","bytes":35})", true},
      {{"send", "SONG", "--slot", "33"}, kExitOk, "Complete!\nSlot 33 holds 35 bytes.\n", false},
      {{"delete", "--slot", "30", "-y", "--json", "--quiet"}, kExitOk,
       R"({"command":"delete","done":true,"slot":"30","name":"Morning Waltz","bytes":5120})", false},
      {{"delete", "--slot", "30", "-y", "--json"}, kExitDeclined,
       R"({"command":"delete","done":false,"slot":"30","exitCode":1,"error":"Slot 30 holds no song."})", false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    std::replace(args.begin(), args.end(), std::string("SONG"), song_);
    const Outcome o = Run(args);
    SCOPED_TRACE(o.err);
    EXPECT_EQ(o.code, c.code);
    std::string out = o.out;
    const std::size_t seconds = out.find(",\"seconds\":");
    if (seconds != std::string::npos) out.erase(seconds, out.find_first_of(",}", seconds + 1) - seconds);
    EXPECT_EQ(out, c.out + (c.out.back() == '}' ? "\n" : ""));
    EXPECT_EQ(o.err.find("Now ") != std::string::npos, c.progressShown);
  }
  // Nothing was sent by the dry runs: slot 30 was emptied by the delete only, and 32 holds the one song sent.
  const Outcome list = Run({"list"});
  EXPECT_NE(list.out.find("32    Tune"), std::string::npos) << list.out;
  // A song without room is refused by a dry run as by a send.
  Keyboard("model=2\nfree=10\n");
  EXPECT_EQ(Run({"send", song_, "--slot", "30", "--dry-run"}).code, kExitNoMemory);
}

TEST_F(CommandsTest, PortNamesThatAreNotUtf8StillGiveValidJson) {
  link.SetInDevices({"USB \xC9l\xE9ment"});  // a Latin-1 name
  const Outcome o = Run({"ports", "--json"});
  ASSERT_EQ(o.code, kExitOk) << o.err;
  EXPECT_EQ(o.out.rfind("{\"inputs\":[{\"number\":0,\"name\":\"USB \xEF\xBF\xBDl\xEF\xBF\xBDment\",", 0), 0u) << o.out;
}

TEST_F(CommandsTest, AFailedWriteToStandardOutputIsAFailure) {
  std::ostream full(nullptr);  // every write fails, as on a full disk
  std::ostringstream err;
  std::istringstream in;
  Console console{full, err, in, false, false, {}};
  EXPECT_EQ(RunSongUploader({"ports", "--json"}, console, [](const Options&, std::string*) { return true; }),
            kExitFileError);
  EXPECT_NE(err.str().find("songuploader: cannot write to standard output"), std::string::npos) << err.str();
}

// A link whose MIDI system refuses every send, with its own reason, and finds the port gone.
class RefusingLink : public su::test::VirtualLink {
 public:
  bool SendOut() override { return false; }
  bool DeviceRemoved() const override { return true; }
  std::string LastFailure() const override { return "error sending MIDI message to port."; }
};

TEST_F(CommandsTest, ARefusedSendIsAPortFailureWithTheSystemsReason) {
  RefusingLink refusing;
  refusing.SetInDevices({"Virtual in"});
  refusing.SetOutDevices({"Virtual out"});
  InstallMidi(&refusing, &refusing);
  const Outcome o = Run({"list"});
  CloseMidiPorts();
  InstallMidi(&link, &link);
  EXPECT_EQ(o.code, kExitPort) << o.err;
  EXPECT_NE(o.err.find("songuploader: the keyboard's MIDI port is gone: error sending MIDI message to port.\n"),
            std::string::npos)
      << o.err;
}

TEST_F(CommandsTest, ConvertNeverWritesOverTheSongNorIntoAFolder) {
  const std::vector<std::uint8_t> before = su::test::OneNoteSong();
  // The same file under another spelling is still the song.
  const std::string sameFile = dir_.Root().string() + "/./Tune.mid";
  for (const std::string& target : {song_, sameFile, dir_.Root().string()}) {
    const Outcome o = Run({"convert", song_, "-o", target});
    EXPECT_EQ(o.code, kExitUsage) << target;
    EXPECT_NE(o.err.find("songuploader: " + target + " is"), std::string::npos) << o.err;
  }
  std::ifstream file(song_, std::ios::binary);
  const std::vector<std::uint8_t> after((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(after, before);
  // A good conversion leaves nothing beside the song file.
  ASSERT_EQ(Run({"convert", song_, "-o", dir_.Path("Out.sq2")}).code, kExitOk);
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"Out.sq2", "Tune.mid"}));
}

TEST_F(CommandsTest, AnUnreadableSongOrTemporaryFolderIsAFileErrorWithTheSystemsReason) {
  // A regular file whose reading fails (even for the superuser).
  Outcome o = Run({"convert", "/proc/self/mem", "-o", dir_.Path("Out.sq2")});
  EXPECT_EQ(o.code, kExitFileError) << o.err;
  EXPECT_NE(o.err.find("songuploader: cannot read /proc/self/mem: "), std::string::npos) << o.err;
  const char* previous = std::getenv("TMPDIR");
  const std::string saved = previous != nullptr ? previous : "";
  setenv("TMPDIR", dir_.Path("no such folder").c_str(), 1);
  o = Run({"convert", song_, "-o", dir_.Path("Out.sq2")});
  if (previous != nullptr) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
  EXPECT_EQ(o.code, kExitFileError) << o.err;
  EXPECT_NE(o.err.find("songuploader: "), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("No such file or directory"), std::string::npos) << o.err;
}

TEST_F(CommandsTest, AFamilyASongNamedBeyondAsciiIsSentAsItsPlainLettersAndReadBack) {
  Keyboard("family=a\n");
  const std::string song = dir_.Write("F\xC3\xBCr Elise.mid", su::test::OneNoteSong());
  const Outcome o = Run({"send", song, "--slot", "4"});
  ASSERT_EQ(o.code, kExitOk) << o.err;
  EXPECT_NE(o.out.find("Slot 4 holds \"Fur Elise\""), std::string::npos) << o.out;
}

TEST(ShowableNameATest, OneAsciiCharacterForEachCharacter) {
  const std::vector<std::pair<std::string, std::string>> names = {
      {"F\xC3\xBCr Elise", "Fur Elise"},      // UTF-8
      {"F\xFCr Elise", "Fur Elise"},           // a single-byte code page
      {"\xC5\x81\xC3\x9F\xC3\x97", "Ls?"},   // Latin Extended-A, sharp s, a sign without a letter
      {"\xE6\x9C\x88\xE5\x85\x89", "??"},    // two characters without plain letters
      {"A\tB", "A?B"}};
  for (const auto& [name, shown] : names) EXPECT_EQ(ShowableNameA(name), shown) << name;
}

TEST_F(CommandsTest, SlotFreeSendsIntoTheFirstEmptySlot) {
  Keyboard("family=a\nslot=0,Old,700\nslot=1,Older,700\n");
  Outcome o = Run({"send", song_, "--slot", "free"});
  ASSERT_EQ(o.code, kExitOk) << o.err;
  EXPECT_NE(o.out.find("Slot 2 holds \"Tune\""), std::string::npos) << o.out;
  EXPECT_EQ(keyboard->Slot(2).name.substr(0, 4), "Tune");
  Keyboard("model=11\nslot=0,A,10\nslot=1,B,10\nslot=2,C,10\nslot=3,D,10\nslot=4,E,10\n");
  o = Run({"send", song_, "--slot", "free"});
  EXPECT_EQ(o.code, kExitNoMemory) << o.err;
  EXPECT_NE(o.err.find("songuploader: every slot holds a song"), std::string::npos) << o.err;
}

TEST_F(CommandsTest, DumpShowsEveryMessageBothWaysInHex) {
  Keyboard(kFamilyC);
  const Outcome o = Run({"identify", "--dump"});
  ASSERT_EQ(o.code, kExitOk) << o.err;
  std::size_t sent = 0, received = 0;
  std::istringstream lines(o.err);
  for (std::string line; std::getline(lines, line);) {
    // "   0.012 > F0 ... F7"
    const std::size_t mark = line.find(" > F0 ") != std::string::npos ? line.find(" > F0 ") : line.find(" < F0 ");
    ASSERT_NE(mark, std::string::npos) << line;
    EXPECT_EQ(line.substr(line.size() - 3), " F7") << line;
    ++(line[mark + 1] == '>' ? sent : received);
  }
  EXPECT_GT(sent, 0u);
  EXPECT_EQ(sent, link.Sent().size());
  EXPECT_GT(received, 0u);
}

// ---- Several songs in one send -----------------------------------------------------------------------

struct SeveralCase {
  std::string name;
  std::string keyboard;
  std::vector<std::string> args;  // after "send SONG SECOND THIRD"
  int code;
  std::string errHas;
  std::vector<std::size_t> holding;  // the slots (indices) that hold a song afterwards
};

class SendSeveral : public CommandsTest, public ::testing::WithParamInterface<SeveralCase> {};

// Every song is checked before the first goes out: a plan that cannot be kept whole sends nothing.
TEST_P(SendSeveral, CheckedWholeBeforeTheFirstByte) {
  const SeveralCase& c = GetParam();
  Keyboard(c.keyboard);
  std::vector<std::string> args = {"send", song_, dir_.Write("Second.mid", su::test::OneNoteSong()),
                                   dir_.Write("Third.mid", su::test::OneNoteSong())};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const Outcome o = Run(args);
  EXPECT_EQ(o.code, c.code) << o.err;
  EXPECT_NE(o.err.find(c.errHas), std::string::npos) << o.err;
  // "Complete!" exactly when every song is stored.
  EXPECT_EQ(o.out.find("Complete!") != std::string::npos, c.code == kExitOk) << o.out;
  for (std::size_t slot = 0; slot < 10; ++slot) {
    const bool holds = std::find(c.holding.begin(), c.holding.end(), slot) != c.holding.end();
    EXPECT_EQ(keyboard->Slot(slot).size != 0, holds) << "slot index " << slot << '\n' << o.out;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SendSeveral,
    ::testing::Values(
        SeveralCase{"IntoTheFreeSlots", kFamilyC, {"--slot", "free"}, kExitOk,
                    "Song 2/3: \"Second\" into slot 33\n", {0, 1, 2, 3, 4}},
        SeveralCase{"FromASlotThenTheNextFreeOnes", kFamilyC, {"--slot", "36"}, kExitOk,
                    "Song 3/3: \"Third\" into slot 38\n", {0, 1, 6, 7, 8}},
        SeveralCase{"NoRoomForTheThird", "model=2\nfree=80\n", {"--slot", "free"}, kExitNoMemory,
                    " bytes): no room in slot 32 after the songs before it\nNothing was sent.\n"
                    "There is not enough memory",
                    {}},
        SeveralCase{"NoSlotLeftForTheThird", kFamilyC, {"--slot", "38"}, kExitNoMemory,
                    "Third.mid (36 bytes): no empty slot is left for it\nNothing was sent.\n", {0, 1}},
        SeveralCase{"ReplacingAskedOnceAndDeclined", kFamilyC, {"--slots", "35,30,31"}, kExitDeclined,
                    "would be replaced:\n  slot 30: \"Morning Waltz\" (5120 bytes) by \"Second\"\n"
                    "  slot 31: \"\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF\xE3\x81\x8C\xE3\x81\x82\xE3\x82\x8A\xE3\x81\xBE\xE3\x81\x99\" (700 bytes) by \"Third\"\n"
                    "Do you want to replace them? [y/N] n",
                    {0, 1}},
        SeveralCase{"ReplacingWithYes", kFamilyC, {"--slots", "35,30,31", "-y"}, kExitOk, "[y/N] y", {0, 1, 5}},
        // Keyboards that count differently from the plan: the keyboard's own no-memory answer to the second song
        // is the command's failure, and the first song stays stored.
        SeveralCase{"KeyboardRefusesTheSecondForMemory", "model=2\nrefuse_song=2\n", {"--slot", "free"},
                    kExitNoMemory, "There is not enough memory", {0}},
        SeveralCase{"KeyboardTakesMoreThanEachSongsSize", "model=2\nfree=110\nsong_overhead=30\n",
                    {"--slot", "free"}, kExitNoMemory, "There is not enough memory", {0}},
        SeveralCase{"FamilyBLargestSongShrinksAfterTheFirst", "family=b\nmax_song=40\nmax_song_shrink=30\n",
                    {"--slot", "free"}, kExitNoMemory, "Please delete the unnecessary data.", {0}},
        SeveralCase{"ASlotTheKeyboardLacks", kFamilyC, {"--slots", "32,33,3"}, kExitNoSuchSlot,
                    "this keyboard has no slot 3", {0, 1}}),
    [](const ::testing::TestParamInfo<SeveralCase>& info) { return info.param.name; });

// A song named to set the terminal's title (ESC ] 0 ; ... BEL): every message that names it shows "?" instead,
// the plan's lines, its replace question and its progress too, and its JSON has escapes and the name's bytes.
TEST_F(CommandsTest, ControlCharactersInASongsNameNeverReachTheTerminal) {
  struct Row {
    const char* name;
    std::vector<std::string> args;  // after "send FIRST SECOND"
    const char* shows;              // where the name must show, with its controls as "?"
  };
  const std::vector<Row> rows = {
      {"a dry run", {"--slots", "30,31", "--dry-run"}, "Would send \"x?]0;owned?\""},
      {"the replace question", {"--slots", "35,30", "-y"}, "by \"x?]0;owned?\"\nDo you want to replace them?"},
      {"song by song", {"--slots", "35,36", "--progress"}, "Song 2/2: \"x?]0;owned?\" into slot 36"},
      {"the progress label", {"--slots", "35,36", "--progress"}, "[2/2 x?]0;owned?] Now sending."},
  };
  const std::string second = dir_.Write("x\x1b]0;owned\x07.mid", su::test::OneNoteSong());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Keyboard(kFamilyC);
    std::vector<std::string> args = {"send", song_, second};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const Outcome o = Run(args);
    EXPECT_EQ(o.code, kExitOk) << o.err;
    const std::string both = o.out + o.err;
    EXPECT_EQ(both.find_first_of("\x1b\x07"), std::string::npos) << both;
    EXPECT_NE(both.find(row.shows), std::string::npos) << both;
  }
  Keyboard(kFamilyC);
  const Outcome o = Run({"send", song_, second, "--slots", "35,36", "--json"});
  EXPECT_NE(o.out.find(R"("name":"x\u001b]0;owned\u0007")"), std::string::npos) << o.out;
}

TEST_F(CommandsTest, SeveralSongsReportOneResultEachInJson) {
  Keyboard("model=2\nslot=0,Morning Waltz,5120\nrefuse=03:0:1:1\n");
  const Outcome o = Run({"send", song_, dir_.Write("Second.mid", su::test::OneNoteSong()), "--slot", "free", "--json"});
  EXPECT_EQ(o.code, kExitNotReady) << o.err;
  EXPECT_EQ(o.out.rfind(R"({"command":"send","done":false,"songs":[{"song":")" + song_ + R"(","name":"Tune","bytes":)", 0),
            0u)
      << o.out;
  EXPECT_NE(o.out.find(R"("slot":"31","fits":true,"replaces":null,"stored":true,"outcome":"stored","confirmed":true},{"song":")"),
            std::string::npos)
      << o.out;
  EXPECT_NE(o.out.find(R"("slot":"32","fits":true,"replaces":null,"stored":false,"outcome":"failed"}],)"),
            std::string::npos)
      << o.out;
  EXPECT_NE(o.out.find(R"("exitCode":6,"error":"The keyboard is not ready."})"), std::string::npos) << o.out;
}

// What a send of several songs reports for each song comes from the reading after: a keyboard that hangs once
// it has taken the first song leaves the others unknown or not sent, never "stored".
// What the command says of a song follows the evidence, not a slot of the same size: the song (35 bytes,
// "Tune") sent into slot 30, which holds an old "Tune" of 35 bytes or took a song behind the plan's back.
TEST_F(CommandsTest, EachSongIsReportedAsTheEvidenceShowsIt) {
  struct Case {
    const char* name;
    const char* keyboard;
    int code;
    const char* out;
  };
  const std::vector<Case> cases = {
      {"RefusedOverTheOldSong", "model=2\nslot=0,Tune,35\nrefuse=04:07:6\n", kExitKeyboardError,
       "Not stored: \"Tune\" (slot 30); slot 30 still holds the old song.\n"},
      {"AcknowledgedThenNoReading", "model=2\nsilent=01:always:11\n", kExitOk,
       "Complete!\nSlot 30: \"Tune\" stored, as the keyboard acknowledged; not confirmed by a reading.\n"},
      {"AcknowledgedButKeptNowhere", "model=2\nslot=0,Tune,35\nforget_song=1\n", kExitCheckFailed,
       "Not stored: \"Tune\" (slot 30); slot 30 is now empty.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Keyboard(c.keyboard);
    const Outcome o = Run({"send", song_, "--slot", "30", "--yes"});
    EXPECT_EQ(o.code, c.code) << o.err;
    EXPECT_EQ(o.out, c.out) << o.err;
  }
}

// The keyboard never answers the final check of a song sent over an old one of its size and name, and Ctrl-C
// ends the check: the reading after shows the old row, so nobody can tell which song the slot holds.
TEST_F(CommandsTest, AFinalCheckCutShortOverASameSizeSongIsUnknown) {
  Keyboard("model=2\nslot=0,Tune,35\nsilent=05:1\n");
  bool stopped = false;
  for (int at = 1; at < 20000; ++at) {
    link.PostWindowMessage(static_cast<std::uint32_t>(at), [&] {
      if (stopped || keyboard->CountReceived(0x05) == 0) return;
      stopped = true;
      RequestStop(kExitInterrupted);
      if (StopRequestedAtWait()) StopAtWait();
    });
  }
  const Outcome o = Run({"send", song_, "--slot", "30", "--yes"});
  SetInterrupted(false);
  EXPECT_TRUE(stopped);
  EXPECT_NE(o.code, kExitOk);
  EXPECT_EQ(o.out, "Unknown: \"Tune\" (slot 30): slot 30 shows the song it held before, and the keyboard never "
                   "confirmed the new one.\n") << o.err;
  EXPECT_EQ(o.out.find("Complete!"), std::string::npos);
}

// A slot planned empty that takes a song before the plan reaches it is left as it is, and said so.
TEST_F(CommandsTest, ASlotFilledBehindThePlansBackIsNotReplaced) {
  Keyboard("model=2\n");
  // The first slot read of the send itself (after the ten of the plan) finds the slot taken.
  bool changed = false;
  const std::string second = dir_.Write("Second.mid", su::test::OneNoteSong());
  su::test::KeyboardSlot other;
  other.status = 1;
  other.size = 40;
  other.name = "Other";
  other.contents.assign(40, 1);
  for (int at = 1; at < 20000; ++at) {
    link.PostWindowMessage(static_cast<std::uint32_t>(at), [&] {
      if (changed || keyboard->CountReceived(0x01) < 10) return;
      keyboard->ChangeSlot(0, other);
      changed = true;
    });
  }
  const Outcome o = Run({"send", song_, second, "--slot", "free"});
  EXPECT_TRUE(changed);
  EXPECT_EQ(o.code, kExitDeclined) << o.err;
  EXPECT_EQ(o.out, "Not stored: \"Tune\" (slot 30): slot 30 now holds \"Other\": not replaced.\n"
                   "Slot 31 holds \"Second\", 37 bytes.\n") << o.err;
  EXPECT_EQ(keyboard->Slot(0).name, "Other");
}

// The keyboard acknowledged the first song, then hung: the reading after cannot be made, so the first song
// rests on the keyboard's word (said so), and the second, never taken, failed.
TEST_F(CommandsTest, SongsTheReadingAfterCannotConfirmRestOnTheKeyboardsWord) {
  Keyboard("model=2\nsilent_after_songs=1\n");
  const Outcome o = Run({"send", song_, dir_.Write("Second.mid", su::test::OneNoteSong()), "--slot", "free", "--json"});
  EXPECT_EQ(o.code, kExitTimeout) << o.err;
  EXPECT_NE(o.out.find(R"("done":false)"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find(R"("stored":true,"outcome":"stored","confirmed":false)"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find(R"("stored":false,"outcome":"failed")"), std::string::npos) << o.out;
}

// Ctrl-C once the keyboard has taken the song (while the slots are read back) changes nothing of the result:
// the reading finishes and the send is complete; the same for a delete once the song is deleted.
TEST_F(CommandsTest, AStopAfterTheKeyboardTookTheSongChangesNothing) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  for (const Case& c : {Case{{"send", song_, "--slot", "32"}, "Complete!\nSlot 32 holds 35 bytes.\n"},
                        Case{{"delete", "--slot", "30", "-y"}, "Complete to delete.\n"}}) {
    Keyboard(kFamilyC);
    // Ctrl-C at the first wait once the keyboard has answered for the new song (or the deleted one) and the
    // slots are being read back, as the console's clock acts on it.
    bool stopped = false;
    const std::size_t sentBefore = link.Sent().size();
    auto stopOnceTaken = [&] {
      const bool taken = c.args[0] == "send" ? keyboard->SongsStored() == 1 : keyboard->Slot(0).status == 0;
      const bool readingBack = !link.Sent().empty() && link.Sent().back()[4] == 0x01;  // a slot read
      if (!taken || !readingBack || stopped) return;
      stopped = true;
      RequestStop(kExitInterrupted);
      if (StopRequestedAtWait()) StopAtWait();
    };
    for (int at = 1; at < 60000; at += 1) link.PostWindowMessage(static_cast<std::uint32_t>(at), stopOnceTaken);
    const Outcome o = Run(c.args);
    SetInterrupted(false);
    EXPECT_TRUE(stopped);
    EXPECT_GT(link.Sent().size(), sentBefore);
    EXPECT_EQ(o.code, kExitOk) << o.err;
    EXPECT_EQ(o.out, c.out);
    EXPECT_EQ(o.err.find("stopped"), std::string::npos) << o.err;
  }
}

// ---- info ----------------------------------------------------------------------------------------------

TEST_F(CommandsTest, InfoTellsTracksLengthNotesAndTheSizeASendWillUse) {
  // Two tracks at 60 beats a minute (a quarter note a second): three notes, the last ending at 90.4 s.
  const std::string song = dir_.Write(
      "Long.mid", su::test::Smf(1, 96, {su::test::TrackBytes().Delta(0).Meta(0x51, {0x0F, 0x42, 0x40}).End(),
                                        su::test::TrackBytes()
                                            .Delta(0).Raw({0x90, 60, 100})
                                            .Delta(96).Raw({62, 100})
                                            .Delta(0).Raw({60, 0})  // a note-on of velocity 0 ends a note
                                            .Delta(96).Raw({64, 100})
                                            .Delta(96 * 88 + 38).Raw({64, 0})
                                            .End()}));
  Outcome o = Run({"info", song_, song});
  ASSERT_EQ(o.code, kExitOk) << o.err;
  EXPECT_NE(o.out.find(song_ + ": 1 track, 0:01, 1 note, 1KB ("), std::string::npos) << o.out;
  EXPECT_NE(o.out.find(song + ": 2 tracks, 1:30, 3 notes, 1KB ("), std::string::npos) << o.out;

  // For a keyboard's model code the size is the one the send uses: what the slot then holds.
  Keyboard(kFamilyC);
  const std::string code = "1";
  o = Run({"info", song, "--model", code, "--json"});
  ASSERT_EQ(o.code, kExitOk) << o.err;
  const std::size_t at = o.out.find("\"bytes\":");
  ASSERT_NE(at, std::string::npos) << o.out;
  const std::uint32_t bytes = static_cast<std::uint32_t>(std::stoul(o.out.substr(at + 8)));
  EXPECT_EQ(o.out.rfind(R"({"model":"1","songs":[{"song":")" + song + R"(","tracks":2,"notes":3,"lengthMs":90395,)", 0),
            0u) << o.out;
  ASSERT_EQ(Run({"send", song, "--slot", "32"}).code, kExitOk);
  EXPECT_EQ(keyboard->Slot(2).size, bytes);

  // A song that cannot be read ends the command, named, after the songs before it.
  o = Run({"info", song_, dir_.Write("Broken.mid", {'n', 'o', 't'})});
  EXPECT_EQ(o.code, kExitFileBroken);
  EXPECT_NE(o.out.find(song_ + ": 1 track"), std::string::npos) << o.out;
  EXPECT_NE(o.err.find("Broken.mid: The file is wrong or broken."), std::string::npos) << o.err;
}

// Every song of info --json keeps its entry, a failed one with its error; a name that is not UTF-8 comes with
// its bytes; as text, control characters in a name do not reach the terminal.
TEST_F(CommandsTest, InfoReportsEverySongAndNamesAsGiven) {
  const std::string latin1 = dir_.Write("Caf\xE9.mid", su::test::OneNoteSong());
  Outcome o = Run({"info", "--json", dir_.Path("Missing.mid"), latin1});
  EXPECT_EQ(o.code, kExitFileNotFound) << o.err;
  EXPECT_NE(o.out.find(R"(Missing.mid","exitCode":11,"error":"cannot read )"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("Caf\xEF\xBF\xBD.mid\",\"songHex\":\""), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("436166e92e6d6964\",\"tracks\":1,"), std::string::npos) << o.out;

  const std::string escape = dir_.Write("\x1B[2JTune.mid", su::test::OneNoteSong());
  o = Run({"info", escape});
  EXPECT_EQ(o.code, kExitOk) << o.err;
  EXPECT_NE(o.out.find("?[2JTune.mid: 1 track"), std::string::npos) << o.out;
  EXPECT_EQ(o.out.find('\x1B'), std::string::npos) << o.out;
}

// ---- Names as printed --------------------------------------------------------------------------------

TEST(ReadableNameTest, KeepsPrintableTextAndEscapesJson) {
  const std::vector<std::pair<std::string, std::string>> readable = {
      {"Song 1", "Song 1"}, {"a\x01z", "a?z"}, {"\xFD", "?"}, {"", ""}, {"\x83", "?"},
      {"\xB6\xDE", "\xEF\xBD\xB6\xEF\xBE\x9E"},  // half-width katakana
      {"\x83\x5C", "\xE3\x82\xBD"}};              // a double-byte character whose second byte is "\\"
  for (const auto& [name, shown] : readable) EXPECT_EQ(ReadableName(name), shown) << name;
  EXPECT_EQ(JsonString("say \"hi\"\\\n"), "\"say \\\"hi\\\"\\\\\\n\"");
  // Bytes that are not UTF-8 are replaced: the string stays valid JSON.
  EXPECT_EQ(JsonString("K\xFF\xC3"), "\"K\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

}  // namespace
}  // namespace su::cli
