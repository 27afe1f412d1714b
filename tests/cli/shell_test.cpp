// The real songuploader in the shell situations of its users, for the commands that need no MIDI (convert,
// info, usage errors): redirections, pipes, FIFOs, signals from `timeout`, oversized files. Each runs bash
// with $SU (the program) and $SONG (a good song) set, and its own TMPDIR to prove nothing is left behind.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/converter/recorded_song_files.h"
#include "tests/converter/smf_builder.h"
#include "tests/converter/temp_dir.h"

namespace {

struct Result {
  int code;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    song_ = dir_.Write("Tune.mid", su::test::OneNoteSong());
    std::filesystem::create_directory(temp_);
    const std::string convert = "cd " + dir_.Path("") + " && " SU_SONGUPLOADER " convert Tune.mid -o Tune.sq2 >/dev/null";
    ASSERT_EQ(std::system(convert.c_str()), 0);
    songFile_ = Slurp(dir_.Path("Tune.sq2"));
    // What every row expects is held to the song file as recorded, not only to what convert writes today.
    const su::test::Bytes recorded = su::test::RecordedTuneSongFile();
    ASSERT_EQ(songFile_, std::string(recorded.begin(), recorded.end()));
  }

  // `script` run by bash in the test's folder; its exit status, standard output and error.
  Result Shell(const std::string& script) {
    const std::string file = dir_.Path("script.sh");
    std::ofstream(file) << "set -o pipefail\ncd " << dir_.Path("") << "\nexport TMPDIR=" << temp_
                        << "\nSU=" SU_SONGUPLOADER "\nSONG=Tune.mid\n"
                        << script << '\n';
    const std::string command = "bash " + file + " >" + dir_.Path("out.txt") + " 2>" + dir_.Path("err.txt");
    const int status = std::system(command.c_str());
    return Result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(dir_.Path("out.txt")),
                  Slurp(dir_.Path("err.txt"))};
  }

  bool NothingStaged() const { return std::filesystem::is_empty(temp_); }

  su::test::TempDir dir_;
  std::string temp_ = dir_.Path("tmp");
  std::string song_;
  std::string songFile_;  // what convert writes for the song
};

TEST_F(ShellTest, OutputsKeepWhatTheShellSetUp) {
  struct Row {
    const char* name;
    std::string script;
    std::string out;  // standard output expected, whole
  };
  const std::vector<Row> rows = {
      {"appending to a log keeps the log", "echo log >log.txt\n$SU convert $SONG -o /dev/stdout >>log.txt\ncat log.txt",
       "log\n" + songFile_},
      {"into a pipe: the song and nothing else", "$SU convert $SONG -o /dev/stdout | cat", songFile_},
      {"a process substitution", "$SU convert $SONG -o >(cat >sub.sq2) -q >/dev/null\nwait $!\ncat sub.sq2",
       songFile_},
      {"short options in one word, -o's value joined", "$SU convert $SONG -yqoq.sq2 >/dev/null\ncat q.sq2", songFile_},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Result r = Shell(row.script);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.size(), row.out.size()) << r.err;
    EXPECT_TRUE(r.out == row.out);
  }
  EXPECT_TRUE(NothingStaged());
}

// A song whose file takes many pages (about 320 KB), for a disk with room for it once but not twice.
su::test::Bytes LongSong() {
  su::test::TrackBytes track;
  for (int i = 0; i < 40000; ++i) track.Delta(1).Raw({0x90, 60, 100}).Delta(1).Raw({0x80, 60, 0});
  return su::test::Smf(0, 96, {track.End()});
}

// The output goes where the name leads when it is checked, and nowhere else; nothing waits for what cannot
// come. Each row's script leaves in out.txt what it must show.
TEST_F(ShellTest, AnOutputIsTheFileThatWasCheckedOrNothingAtAll) {
  // A Unix socket in the folder: opening it for writing fails at once (ENXIO), as a device without driver.
  const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = dir_.Path("sock.sq2");
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
  ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const std::string longName(250, 'n');
  struct Row {
    const char* name;
    std::string script;
    int code;
    std::string out;      // standard output expected, whole
    std::string errHas;   // a part of standard error ("" for none expected)
  };
  const std::vector<Row> rows = {
      {"a link to /dev/stdout appends to the log",
       "echo log >log.txt\nln -s /dev/stdout lnk.sq2\n$SU convert $SONG -o lnk.sq2 >>log.txt\ncat log.txt", 0,
       "log\n" + songFile_, ""},
      {"standard input is the song: never its output too",
       "cp $SONG s.mid\n$SU convert - -o s.mid <s.mid\ncode=$?\ncmp -s s.mid $SONG && echo kept\nexit $code", 2,
       "kept\n", "s.mid is the song itself"},
      {"a socket is refused at once", "timeout 5 $SU convert $SONG -o sock.sq2", 13, "",
       "cannot write sock.sq2: No such device or address"},
      {"standard input open for reading only is no output",
       "timeout 5 $SU convert $SONG -o /dev/stdin < <(sleep 8)", 13, "",
       "cannot write /dev/stdin: it is open for reading only"},
      {"closed standard input reads as empty", "timeout 5 $SU info - <&-", 12, "", "-: "},
      {"closed standard descriptors: no stop pipe in their place",
       "timeout 5 $SU info - <&- >&- 2>&-", 12, "", ""},
      {"-o joined to a name that starts with -", "$SU convert $SONG -q -o-out.sq2 >/dev/null\ncat -- -out.sq2", 0, songFile_,
       ""},
      {"a full standard output is named with its reason, however long ago it failed",
       "$SU info $SONG $SONG >/dev/full", 13, "", "cannot write to standard output: No space left on device"},
      // The administrator writes into any folder: the row runs as nobody then.
      {"a writable file in a read-only folder is overwritten in place",
       "mkdir ro\nprintf 'old song' >ro/out.sq2\nchmod 666 ro/out.sq2\nchmod 555 ro\n"
       "[ \"$(id -u)\" = 0 ] && chmod 777 $TMPDIR && AS='setpriv --reuid=65534 --regid=65534 --clear-groups'\n"
       "$AS $SU convert $SONG -q -o ro/out.sq2 >/dev/null\ncode=$?\nchmod 755 ro\ncat ro/out.sq2\nexit $code",
       0, songFile_, ""},
      {"a name of 254 bytes", "$SU convert $SONG -q -o " + longName + ".sq2 >/dev/null\ncat " + longName + ".sq2", 0, songFile_,
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Result r = Shell(row.script);
    EXPECT_EQ(r.code, row.code) << r.err;
    EXPECT_TRUE(r.out == row.out) << r.out.size() << " bytes: " << r.out.substr(0, 200);
    if (!row.errHas.empty()) EXPECT_NE(r.err.find(row.errHas), std::string::npos) << r.err;
  }
  close(listening);
  EXPECT_TRUE(NothingStaged());
}

// The name changed while the song is written (the program pauses for the test once it opened the file): a
// file the name was pointed at since is never written. Overwritten in place (a hard-linked file), the file
// opened takes the song; replaced beside it, the rename sees another file at the name and refuses.
TEST_F(ShellTest, ANameTurnedIntoALinkMidWriteNeverReachesTheLinkedFile) {
  struct Row {
    const char* name;
    const char* linked;  // "ln out.sq2 other.sq2" or ""
    int code;
    bool movedIsNew;     // the file first at the name holds the new song (else still the old one)
  };
  for (const Row& row : {Row{"in place", "ln out.sq2 other.sq2", 0, true}, Row{"renamed over", "", 13, false}}) {
    SCOPED_TRACE(row.name);
    const Result r = Shell(std::string("rm -f out.sq2 other.sq2 moved.sq2 paused\necho victim >victim\n"
                                       "printf 'old song' >out.sq2\n") +
                           row.linked +
                           "\nSU_TEST_WRITE_PAUSE=$PWD/paused $SU convert $SONG -o out.sq2 &\n"
                           "for i in $(seq 500); do [ -e paused ] && break; sleep 0.02; done\n"
                           "mv out.sq2 moved.sq2\nln -s victim out.sq2\nrm paused\nwait $!");
    EXPECT_EQ(r.code, row.code) << r.err;
    EXPECT_EQ(Slurp(dir_.Path("victim")), "victim\n");
    EXPECT_EQ(Slurp(dir_.Path("moved.sq2")) == songFile_, row.movedIsNew);
    if (!row.movedIsNew) EXPECT_EQ(Slurp(dir_.Path("moved.sq2")), "old song");
  }
  EXPECT_TRUE(NothingStaged());
}

// A disk with room for the new song once but not twice: the target ends with the new song whole or the old
// one. A hard-linked target is overwritten in place, after the room for the new song was taken; a target
// without links whose copy beside it finds no room is overwritten in place too, where its own room is enough.
// Needs a small tmpfs of its own: the administrator's.
TEST_F(ShellTest, AFullDiskLeavesTheOldSongOrTheNewOneWhole) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs the administrator";
  dir_.Write("Long.mid", LongSong());
  ASSERT_EQ(Shell("$SU convert Long.mid -q -o long.sq2").code, 0);
  const std::string longFile = Slurp(dir_.Path("long.sq2"));
  struct Row {
    const char* name;
    bool linked;
    int oldPercent;   // the old song's size, in percent of the new one (0: a few bytes)
    int roomPercent;  // free room left, in percent of the new song
    int code;
    bool isNew;
  };
  for (const Row& row : {Row{"linked, room once", true, 0, 150, 0, true},
                         Row{"linked, too little room", true, 0, 60, 13, false},
                         Row{"no copy fits, the old song's room does", false, 80, 60, 0, true}}) {
    SCOPED_TRACE(row.name);
    const std::string old = row.oldPercent == 0 ? std::string("old song")
                                                : std::string(longFile.size() * row.oldPercent / 100, 'o');
    std::ofstream(dir_.Path("old.sq2"), std::ios::binary) << old;
    const std::size_t room = (longFile.size() * row.roomPercent / 100 + 4095) / 4096 * 4096;
    const Result r = Shell(std::string("mkdir -p mnt\nmount -t tmpfs -o size=2m tmpfs mnt || exit 77\n"
                                       "cp old.sq2 mnt/out.sq2\n") +
                           (row.linked ? "ln mnt/out.sq2 mnt/other.sq2\n" : "") +
                           "dd if=/dev/zero of=mnt/fill bs=4k 2>/dev/null\ntruncate -s -" + std::to_string(room) +
                           " mnt/fill\n$SU convert Long.mid -o mnt/out.sq2\ncode=$?\n"
                           "cp mnt/out.sq2 result.sq2\ncp mnt/other.sq2 other.sq2 2>/dev/null\nls -a mnt >left.txt\n"
                           "umount mnt\nexit $code");
    if (r.code == 77) GTEST_SKIP() << "no tmpfs could be mounted here";
    EXPECT_EQ(r.code, row.code) << r.err;
    const std::string result = Slurp(dir_.Path("result.sq2"));
    EXPECT_TRUE(result == (row.isNew ? longFile : old)) << result.size() << " bytes";
    if (row.linked) EXPECT_TRUE(Slurp(dir_.Path("other.sq2")) == result);  // one file still, both names
    // Nothing of ours left beside it.
    EXPECT_EQ(Slurp(dir_.Path("left.txt")), std::string(".\n..\nfill\n") + (row.linked ? "other.sq2\n" : "") + "out.sq2\n");
    if (!row.isNew) EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
  }
  EXPECT_TRUE(NothingStaged());
}

// A second stop ends the process at once, and still removes what the command made and gives a script its
// JSON object.
TEST_F(ShellTest, ASecondStopRemovesOurFilesAndEndsTheJsonObject) {
  const Result r = Shell("SU_TEST_WRITE_PAUSE=$PWD/paused $SU convert $SONG -o out.sq2 --json &\n"
                         "for i in $(seq 500); do [ -e paused ] && break; sleep 0.02; done\n"
                         "kill $!; sleep 1.3; kill $!; wait $!");
  EXPECT_EQ(r.code, 128 + SIGTERM) << r.err;
  EXPECT_EQ(r.out, R"({"command":"convert","done":false,"exitCode":143,"error":"stopped."})" "\n");
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Path(""))) {
    EXPECT_EQ(entry.path().filename().string().find("out.sq2"), std::string::npos) << entry.path();
  }
  EXPECT_TRUE(NothingStaged());
}

// A file name that would set the terminal's title (ESC ] 0 ; ... BEL) shows as "?" in every message, and as
// JSON escapes in JSON.
TEST_F(ShellTest, ControlCharactersInANameNeverReachTheTerminal) {
  struct Row {
    const char* name;
    const char* script;
    int code;
  };
  const std::vector<Row> rows = {
      {"saved", "cp $SONG \"$T.mid\"\n$SU convert \"$T.mid\" -o \"$T.sq2\"", 0},
      {"info", "$SU info \"$T.mid\"", 0},
      {"a song that cannot be read", "$SU convert \"$T-missing.mid\" -o x.sq2", 11},
      {"info --json, a song that cannot be read", "$SU info \"$T-missing.mid\" --json", 11},
      {"convert --json", "$SU convert \"$T.mid\" -o \"$T.sq2\" --json", 0},
      {"a folder as output", "mkdir -p \"$T.dir\"\n$SU convert $SONG -o \"$T.dir\"", 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Result r = Shell(std::string("T=$'x\\e]0;owned\\a'\n") + row.script);
    EXPECT_EQ(r.code, row.code) << r.err;
    const std::string both = r.out + r.err;
    EXPECT_EQ(both.find('\x1b'), std::string::npos) << both;
    EXPECT_EQ(both.find('\x07'), std::string::npos) << both;
    const bool json = std::string(row.name).find("json") != std::string::npos;
    EXPECT_NE(both.find(json ? R"(x\u001b]0;owned\u0007)" : "x?]0;owned?"), std::string::npos) << both;
  }
}

TEST_F(ShellTest, ALinkLoopFailsWithTheSystemsReasonAndStaysALoop) {
  const Result r = Shell("ln -s b a; ln -s a b\n$SU convert $SONG -o a");
  EXPECT_EQ(r.code, 13);
  EXPECT_NE(r.err.find("cannot write a: Too many levels of symbolic links"), std::string::npos) << r.err;
  EXPECT_TRUE(std::filesystem::is_symlink(dir_.Path("a")));
}

// A convert blocked on a FIFO nobody reads (as output) or writes (as input), ended by `timeout`: coreutils
// sends SIGTERM to the command and then to its group, which must be one stop with its cleanup.
TEST_F(ShellTest, TimeoutEndsABlockedConvertAtOnceWithNothingLeft) {
  ASSERT_EQ(mkfifo(dir_.Path("fifo").c_str(), 0600), 0);
  for (int run = 0; run < 10; ++run) {
    SCOPED_TRACE(run);
    const bool output = run % 2 == 0;
    const auto started = std::chrono::steady_clock::now();
    const Result r = Shell(output ? "timeout 1 $SU convert $SONG -o fifo" : "timeout 1 $SU convert fifo -o x.sq2");
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(r.code, 124) << r.err;  // timeout's own status for a command it ended
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_NE(r.err.find("songuploader: stopped.\n"), std::string::npos) << r.err;
    EXPECT_TRUE(NothingStaged());
  }
}

// A song file larger than a pipe holds, into a reader that takes nothing: the write waits beside the stop.
TEST_F(ShellTest, TimeoutEndsAWriteIntoAFullPipe) {
  su::test::TrackBytes track;
  for (int i = 0; i < 40000; ++i) track.Delta(1).Raw({0x90, 60, 100}).Delta(1).Raw({0x80, 60, 0});
  dir_.Write("Big.mid", su::test::Smf(0, 96, {track.End()}));
  const Result r = Shell("timeout 1 $SU convert Big.mid -o - | sleep 3");
  EXPECT_NE(r.err.find("songuploader: stopped.\n"), std::string::npos) << r.err;
  EXPECT_TRUE(NothingStaged());
}

// Two SIGTERMs together, as `timeout` may deliver them: one stop, ended by the signal after the cleanup. Both
// reach the process (each kill must succeed), which waits on a FIFO nobody reads until the first arrives.
TEST_F(ShellTest, TwoSignalsTogetherAreOneStop) {
  ASSERT_EQ(mkfifo(dir_.Path("fifo").c_str(), 0600), 0);
  const Result r = Shell("$SU convert $SONG -o fifo & pid=$!\n"
                         "until [ -n \"$(ls $TMPDIR)\" ]; do sleep 0.05; done\n"
                         "kill $pid && kill $pid && echo both delivered\nwait $pid");
  EXPECT_EQ(r.out, "both delivered\n") << "the second signal found no process: " << r.err;
  EXPECT_EQ(r.code, 128 + SIGTERM) << r.err;
  EXPECT_EQ(r.err, "songuploader: stopped.\n");
  EXPECT_TRUE(NothingStaged());
}

// Refused from its size: the bytes read (the shell's own count, which takes in its children's once they are
// waited for) stay far below the file's 65 MiB.
TEST_F(ShellTest, ASongOverTheLimitIsRefusedFromItsSize) {
  const Result r = Shell("truncate -s 65M big.mid\n"
                         "sh -c \"$SU info big.mid; code=\\$?; grep ^rchar: /proc/\\$\\$/io; exit \\$code\"");
  const std::size_t at = r.out.find("rchar: ");
  ASSERT_NE(at, std::string::npos) << r.out;
  EXPECT_LT(std::stoull(r.out.substr(at + 7)), 4ull << 20) << "the song was read before its size was looked at";
  EXPECT_EQ(r.code, 12);
  EXPECT_EQ(r.err, "songuploader: big.mid: larger than the 64 MiB a song may have\n");
  EXPECT_TRUE(NothingStaged());
}

// Standard output a pipe whose reader is gone: commands that only print end quietly, without going on to
// the next song; a song file that cannot be written is a failure.
TEST_F(ShellTest, AReaderThatLeftEndsPrintingQuietly) {
  struct Row {
    const char* args;
    int code;
    bool quiet;
  };
  // A pipe whose reading end is closed before the command writes.
  for (const Row& row : {Row{"--help", 0, true}, Row{"info Tune.mid Tune.mid missing.mid", 0, true},
                         Row{"convert Tune.mid -o -", 13, false}}) {
    SCOPED_TRACE(row.args);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    const std::string err = dir_.Path("closed_err.txt");
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.Path("").c_str()) != 0) _exit(126);
      dup2(fds[1], 1);
      const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(errFd, 2);
      execl("/bin/sh", "sh", "-c", (std::string(SU_SONGUPLOADER " ") + row.args).c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.code);
    EXPECT_EQ(Slurp(err).empty(), row.quiet) << Slurp(err);
  }
  // And as users write it: under pipefail the pipeline succeeds.
  const Result r = Shell("$SU info $SONG $SONG $SONG | head -n 1");
  EXPECT_EQ(r.code, 0) << r.err;
}

TEST_F(ShellTest, JsonComesOnEveryPath) {
  struct Row {
    const char* script;
    int code;
    std::string out;
  };
  const std::vector<Row> rows = {
      {"$SU list --slot --json", 2,
       R"({"command":"list","done":false,"exitCode":2,"error":"option --slot needs a value"})" "\n"},
      {"$SU --json convert", 2,
       R"({"command":"convert","done":false,"exitCode":2,"error":"convert needs a song file"})" "\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.script);
    const Result r = Shell(row.script);
    EXPECT_EQ(r.code, row.code) << r.err;
    EXPECT_EQ(r.out, row.out);
  }
}

// Completion reads words as bash splits them (at ":" and "=" too) and the slots remembered for the ports the
// line names (here written by hand, as songuploader's list leaves them).
TEST_F(ShellTest, CompletionJoinsWordsAndOffersRememberedSlotsAsTheyAre) {
  std::filesystem::create_directories(dir_.Path("cache/songuploader"));
  std::ofstream(dir_.Path("cache/songuploader/slots")) << "\t24:0\t\t30 31 32\n\tX\tX\t* 1\n";
  struct Row {
    const char* line;   // as typed, up to the cursor
    const char* words;  // as bash hands them over (COMP_WORDS)
    const char* offered;
  };
  const std::vector<Row> rows = {
      {"songuploader --in 24:0 list --slot ", "songuploader --in 24 : 0 list --slot ''", "[30][31][32]"},
      {"songuploader --port=X delete --slot ", "songuploader --port = X delete --slot ''", "[*][1]"},
      {"songuploader send \"Tu", "songuploader send '\"Tu'", "[Tune.mid]"},
      {"songuploader send Tune.mid --slot f", "songuploader send Tune.mid --slot f", "[free]"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const Result r = Shell(std::string("export XDG_CACHE_HOME=$PWD/cache\nsource " SU_COMPLETION "\nCOMP_LINE='") +
                           row.line + "'\nCOMP_POINT=${#COMP_LINE}\nCOMP_WORDS=(" + row.words +
                           ")\nCOMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n_songuploader\n"
                           "printf '[%s]' \"${COMPREPLY[@]}\"");
    EXPECT_EQ(r.out, row.offered) << r.err;
  }
}

}  // namespace
