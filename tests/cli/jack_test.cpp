// End to end over JACK: the real songuploader against the keyboard player, one model of each family, with
// the MIDI going through a JACK server (scripts/test starts one with its dummy back-end and sets
// SU_JACK_TESTS=1; without it these tests are skipped).
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/converter/smf_builder.h"
#include "tests/converter/temp_dir.h"

namespace {

struct Result {
  int code;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Reads what a pseudo-terminal shows into `shown` until `until` appears in it (or, with "", until the time
// is up), for at most `seconds`.
void ReadTerminal(int master, std::string* shown, const std::string& until, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
  while ((until.empty() || shown->find(until) == std::string::npos) && std::chrono::steady_clock::now() < end) {
    pollfd ready{master, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char chunk[256];
    const ssize_t n = read(master, chunk, sizeof chunk);
    if (n <= 0) break;
    shown->append(chunk, static_cast<std::size_t>(n));
  }
}

// The keyboard player as a child process, from "ready" until the test ends.
class Player {
 public:
  Player(const std::string& config) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(pipeFds[1], 1);
      close(pipeFds[0]);
      execl(SU_KEYBOARD_PLAYER, SU_KEYBOARD_PLAYER, config.c_str(), "--api", "jack", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(pipeFds[1]);
    FILE* out = fdopen(pipeFds[0], "r");
    char line[64] = {};
    ready_ = out != nullptr && std::fgets(line, sizeof line, out) != nullptr && std::string(line) == "ready\n";
    if (out != nullptr) std::fclose(out);
  }
  ~Player() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  bool Ready() const { return ready_; }
  // The keyboard pulled out: the player ends at once and its ports go with it.
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  bool ready_ = false;
};

class JackEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* enabled = std::getenv("SU_JACK_TESTS");
    if (enabled == nullptr || std::string(enabled) != "1") {
      // Where every test must run (scripts/test), a missing JACK server is a failure, not a skip.
      const char* noSkip = std::getenv("SU_NO_SKIP");
      if (noSkip != nullptr && std::string(noSkip) == "1") FAIL() << "no JACK server (SU_JACK_TESTS=1 not set)";
      GTEST_SKIP() << "no JACK server (SU_JACK_TESTS=1)";
    }
    song_ = dir_.Write("Tune.mid", su::test::OneNoteSong());
    // The slots a command finds are remembered for completion: in this test's own folder.
    setenv("XDG_CACHE_HOME", dir_.Path("cache").c_str(), 1);
    // Every songuploader a test starts remembers the keyboard it finds in the test's own state folder.
    setenv("XDG_STATE_HOME", dir_.Path("state").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_STATE_HOME");
    unsetenv("XDG_CACHE_HOME");
  }

  // `script` run by bash with $SU (songuploader over JACK) and $SONG set; its standard output and error.
  Result Shell(const std::string& script) {
    const std::string file = dir_.Path("script.sh");
    std::ofstream(file) << "SU=\"" SU_SONGUPLOADER " --api jack\"\nSONG=\"" << song_ << "\"\n" << script << '\n';
    const std::string out = dir_.Path("out.txt");
    const std::string err = dir_.Path("err.txt");
    const int status = std::system(("bash " + file + " >" + out + " 2>" + err).c_str());
    return Result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
  }

  Result Run(const std::string& args) {
    const std::string out = dir_.Path("out.txt");
    const std::string err = dir_.Path("err.txt");
    const std::string command = std::string(SU_SONGUPLOADER) + " --api jack " + args + " >" + out + " 2>" + err;
    const int status = std::system(command.c_str());
    return Result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
  }

  std::string Config(const std::string& name, const std::string& text) {
    std::ofstream(dir_.Path(name)) << "in=SU Keyboard In\nout=SU Keyboard Out\n" << text;
    return dir_.Path(name);
  }

  // songuploader started with `args`, standard error in err.txt and `extra` in its environment.
  // `ignored`: a signal the parent set to be ignored, as nohup does.
  pid_t Start(const std::vector<std::string>& args, const std::string& extra = "", int ignored = 0) {
    const std::string err = dir_.Path("err.txt");
    const pid_t pid = fork();
    if (pid == 0) {
      if (!extra.empty()) putenv(const_cast<char*>(extra.c_str()));
      if (ignored != 0) signal(ignored, SIG_IGN);
      freopen(err.c_str(), "w", stderr);
      std::vector<char*> argv = {const_cast<char*>(SU_SONGUPLOADER), const_cast<char*>("--api"),
                                 const_cast<char*>("jack")};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(SU_SONGUPLOADER, argv.data());
      _exit(127);
    }
    return pid;
  }

  // Waits for the process: its exit code, minus the signal's number when a signal ended it, or kNotEnded
  // when it did not end by itself within `seconds`.
  static constexpr int kNotEnded = -1000;
  static int Reap(pid_t pid, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return kNotEnded;
      }
      usleep(20 * 1000);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }

  su::test::TempDir dir_;
  std::string song_;
};

struct FamilyCase {
  const char* family;
  const char* config;
  const char* emptySlot;  // as listed
  const char* storedName;
};

TEST_F(JackEndToEnd, EachFamilyIsFoundListedSentASongAndHasItDeleted) {
  const std::vector<FamilyCase> families = {
      {"C", "model=2\nslot=0,Morning Waltz,5120\n", "32", "Morning Waltz"},
      {"A", "family=a\nslot=0,Rondo,700\n", "3", "Rondo"},
      {"B", "family=b\nmodel=2\nslot=1,Rondo,5120\n", "65", "Rondo"},
  };
  for (const FamilyCase& f : families) {
    SCOPED_TRACE(std::string("family ") + f.family);
    Player player(Config(std::string("kb_") + f.family + ".cfg", f.config));
    ASSERT_TRUE(player.Ready());

    Result r = Run("ports");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("SU Keyboard In"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("SU Keyboard Out"), std::string::npos) << r.out;

    r = Run("identify --json");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find(std::string("\"family\":\"") + f.family + "\""), std::string::npos) << r.out;

    r = Run("list");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find(f.storedName), std::string::npos) << r.out;

    r = Run("send " + song_ + " --slot " + f.emptySlot);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Complete!\nSlot "), std::string::npos) << r.out;

    r = Run(std::string("delete --yes --slot ") + f.emptySlot);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Complete to delete.\n");
  }
}

// Whether a run holds a lock of a pair of ports in `folder` (the runtime folder's songuploader/).
bool APortLockIsHeld(const std::string& folder) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const int fd = open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    if (held) return true;
  }
  return false;
}

// Two runs on the same ports, one conversation: the second waits for the first, saying so, and then lists
// the song the first stored; with --no-wait it fails at once and the first goes on undisturbed.
TEST_F(JackEndToEnd, ASecondRunOnTheSamePortsWaitsForTheFirst) {
  setenv("XDG_RUNTIME_DIR", dir_.Path("run").c_str(), 1);
  struct Row {
    const char* second;
    int code;
    const char* errHas;
    bool listsTheSong;
  };
  for (const Row& row : {Row{"list", 0, "songuploader: another songuploader is talking to the keyboard on these "
                                         "ports; waiting for it to end", true},
                         Row{"list --no-wait", 17, "another songuploader is talking to the keyboard on these ports (input",
                             false}}) {
    SCOPED_TRACE(row.second);
    // Answers 100 ms late: the first run's send lasts long enough for the second to meet it.
    Player player(Config("slow.cfg", "model=2\ndelay_ms=100\n"));
    ASSERT_TRUE(player.Ready());
    const pid_t first = Start({"send", song_, "--slot", "31", "-y"});
    for (int i = 0; i < 250 && !APortLockIsHeld(dir_.Path("run/songuploader")); ++i) usleep(20 * 1000);
    const std::string out = dir_.Path("second_out.txt");
    const std::string err = dir_.Path("second_err.txt");
    const int status = std::system((std::string(SU_SONGUPLOADER) + " --api jack " + row.second + " >" + out + " 2>" +
                                    err).c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.code) << Slurp(err);
    EXPECT_NE(Slurp(err).find(row.errHas), std::string::npos) << Slurp(err);
    EXPECT_EQ(Slurp(out).find("Tune") != std::string::npos, row.listsTheSong) << Slurp(out);
    EXPECT_EQ(Reap(first, 30.0), 0) << Slurp(dir_.Path("err.txt"));
  }
  unsetenv("XDG_RUNTIME_DIR");
}

TEST_F(JackEndToEnd, WithoutAKeyboardNothingIsFound) {
  Player player(Config("silent.cfg", "identity=no\n"));
  ASSERT_TRUE(player.Ready());
  const Result r = Run("list");
  EXPECT_EQ(r.code, 3) << r.err;
  // The player's two JACK clients: which of them gets the "-01" is JACK's business.
  EXPECT_EQ(r.err.rfind("songuploader: There is no response from a keyboard. (input \"virtual keyboard", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(":SU Keyboard In\", output \"virtual keyboard"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(":SU Keyboard Out\")\n"), std::string::npos) << r.err;
}

TEST_F(JackEndToEnd, AKeyboardThatFallsSilentMidTransferEndsWithTheTimeout) {
  const std::vector<std::string> configs = {"model=2\nsilent=04\n", "family=a\nsilent=041000\n"};
  for (const std::string& config : configs) {
    SCOPED_TRACE(config);
    Player player(Config("falls_silent.cfg", config));
    ASSERT_TRUE(player.Ready());
    const Result r = Run("send " + song_ + " --slot " + (config[0] == 'm' ? "31" : "1"));
    EXPECT_EQ(r.code, 5) << r.err;
    EXPECT_NE(r.err.find("The timeout error occured.\n"), std::string::npos) << r.err;
  }
}

TEST_F(JackEndToEnd, CtrlCDuringASendStopsAtTheNextWait) {
  Player player(Config("stalls.cfg", "model=2\nsilent=04\n"));
  ASSERT_TRUE(player.Ready());
  const std::string err = dir_.Path("err.txt");
  const pid_t pid = fork();
  if (pid == 0) {
    freopen(err.c_str(), "w", stderr);
    execl(SU_SONGUPLOADER, SU_SONGUPLOADER, "--api", "jack", "send", song_.c_str(), "--slot", "31",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  // Well inside the three seconds the first block's answer is awaited.
  usleep(1000 * 1000);
  kill(pid, SIGINT);
  // After its cleanup the command ends by the signal, as a shell expects.
  EXPECT_EQ(Reap(pid, 3.0), -SIGINT);
  EXPECT_NE(Slurp(err).find("songuploader: stopped.\n"), std::string::npos) << Slurp(err);
}

TEST_F(JackEndToEnd, CtrlCAtAQuestionOnATerminalEndsTheCommandAtOnce) {
  Player player(Config("used.cfg", "model=2\nslot=1,Morning Waltz,5120\n"));
  ASSERT_TRUE(player.Ready());
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    execl(SU_SONGUPLOADER, SU_SONGUPLOADER, "--api", "jack", "send", song_.c_str(), "--slot", "31",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  // Read the terminal until the question waits for its answer.
  std::string shown;
  ReadTerminal(master, &shown, "[y/N] ", 30);
  ASSERT_NE(shown.find("Do you want to replace it? [y/N] "), std::string::npos) << shown;
  // Ctrl-C typed on the terminal: its line discipline sends SIGINT.
  const char ctrlC = 0x03;
  ASSERT_EQ(write(master, &ctrlC, 1), 1);
  EXPECT_EQ(Reap(pid, 2.0), -SIGINT);
  close(master);
  // Nothing was sent: the slot still holds the old song.
  const Result r = Run("list");
  EXPECT_NE(r.out.find("31    Morning Waltz"), std::string::npos) << r.out;
}

// Also with standard input not the terminal (a pipe, /dev/null): the controlling terminal is asked, as git
// and ssh ask there.
TEST_F(JackEndToEnd, AQuestionIsAskedOnTheTerminalWithStandardErrorInAFile) {
  for (const bool inputFromNull : {false, true}) {
    SCOPED_TRACE(inputFromNull);
    Player player(Config("used.cfg", "model=2\nslot=1,Morning Waltz,5120\n"));
    ASSERT_TRUE(player.Ready());
    const std::string err = dir_.Path("err.txt");
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
      freopen(err.c_str(), "w", stderr);
      if (inputFromNull) freopen("/dev/null", "r", stdin);
      execl(SU_SONGUPLOADER, SU_SONGUPLOADER, "--api", "jack", "send", song_.c_str(), "--slot", "31",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(pid, 0);
    std::string shown;
    ReadTerminal(master, &shown, "[y/N] ", 10);
    ASSERT_NE(shown.find("Do you want to replace it? [y/N] "), std::string::npos) << shown << Slurp(err);
    ASSERT_EQ(write(master, "y\n", 2), 2);
    EXPECT_EQ(Reap(pid, 20.0), 0) << Slurp(err);
    close(master);
    EXPECT_EQ(Slurp(err).find("[y/N]"), std::string::npos) << Slurp(err);
  }
}

TEST_F(JackEndToEnd, SigtermMidSendRemovesTheStagedSongAndClosesThePorts) {
  const std::string temp = dir_.Path("tmp");
  std::filesystem::create_directory(temp);
  const std::string tmpdir = "TMPDIR=" + temp;
  // The last case is coreutils `timeout`: SIGTERM to the command, then at once to its group: one stop.
  for (const auto& [signal, times] : {std::pair{SIGTERM, 1}, std::pair{SIGHUP, 1}, std::pair{SIGTERM, 2}}) {
    SCOPED_TRACE(std::to_string(signal) + " x" + std::to_string(times));
    Player player(Config("stalls.cfg", "model=2\nsilent=04\n"));
    ASSERT_TRUE(player.Ready());
    const pid_t pid = Start({"send", song_, "--slot", "31"}, tmpdir);
    usleep(1000 * 1000);  // inside the first block's wait
    EXPECT_FALSE(std::filesystem::is_empty(temp));  // the staged song is there while the send runs
    kill(pid, signal);
    if (times == 2) {
      usleep(2 * 1000);
      kill(pid, signal);
    }
    EXPECT_EQ(Reap(pid, 3.0), -signal) << Slurp(dir_.Path("err.txt"));
    EXPECT_TRUE(std::filesystem::is_empty(temp));
  }
  // The next command finds the keyboard as always.
  Player player(Config("kb.cfg", "model=2\n"));
  ASSERT_TRUE(player.Ready());
  EXPECT_EQ(Run("list").code, 0);
}

TEST_F(JackEndToEnd, ASilentFinalCheckEndsAtItsLimitAndCtrlCInItShowsNoTimeout) {
  Player player(Config("check_silent.cfg", "model=2\nsilent=05\n"));
  ASSERT_TRUE(player.Ready());
  Result r = Run("send " + song_ + " --slot 31 --check-timeout 1");
  EXPECT_EQ(r.code, 5) << r.err;
  EXPECT_NE(r.err.find("songuploader: the keyboard's final check did not end within 1 s"), std::string::npos) << r.err;

  // Ctrl-C once the final check waits: stopped, and no time-out reported.
  const std::string err = dir_.Path("err.txt");
  std::filesystem::remove(err);
  const pid_t pid = Start({"send", song_, "--slot", "31"});
  for (int i = 0; i < 200 && Slurp(err).find("It is checking") == std::string::npos; ++i) usleep(50 * 1000);
  ASSERT_NE(Slurp(err).find("It is checking"), std::string::npos) << Slurp(err);
  kill(pid, SIGINT);
  EXPECT_EQ(Reap(pid, 5.0), -SIGINT);
  EXPECT_EQ(Slurp(err).find("timeout"), std::string::npos) << Slurp(err);
}

TEST_F(JackEndToEnd, AFamilyASongNamedBeyondAsciiIsSentAndReadBack) {
  Player player(Config("kb_a.cfg", "family=a\n"));
  ASSERT_TRUE(player.Ready());
  const std::string song = dir_.Write("F\xC3\xBCr Elise.mid", su::test::OneNoteSong());
  const Result r = Run("send '" + song + "' --slot 2");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Slot 2 holds \"Fur Elise\""), std::string::npos) << r.out;
}

TEST_F(JackEndToEnd, DumpShowsTheMessagesOfARealExchange) {
  Player player(Config("kb_dump.cfg", "model=2\n"));
  ASSERT_TRUE(player.Ready());
  const Result r = Run("identify --dump");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find(" > F0 "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(" < F0 "), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("Model code: "), std::string::npos) << r.out;
}

// ---- The keyboard remembered per pair of ports ---------------------------------------------------------

// The first message songuploader sent, as --dump shows it ("F0 44 15 01 ..."), or "" when none.
std::string FirstSent(const std::string& err) {
  const std::size_t at = err.find(" > ");
  return at == std::string::npos ? std::string() : err.substr(at + 3, err.find('\n', at) - at - 3);
}

TEST_F(JackEndToEnd, TheKeyboardFoundBeforeOnThePortsIsAskedFirstAndAnotherIsStillFound) {
  struct Remembered {
    const char* family;
    const char* config;
    const char* request;  // the head of the family's own request
  };
  const std::string state = dir_.Path("state");
  for (const Remembered& f : {Remembered{"A", "family=a\n", "F0 44 11 03"}, Remembered{"B", "family=b\nmodel=2\n", "F0 44 15 01"}}) {
    SCOPED_TRACE(std::string("family ") + f.family);
    std::filesystem::remove_all(state);
    Player player(Config(std::string("again_") + f.family + ".cfg", f.config));
    ASSERT_TRUE(player.Ready());
    Result r = Run("identify --json --dump");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(FirstSent(r.err).rfind("F0 44 14 00", 0), 0u) << "the first search asks in the usual order\n" << r.err;

    const auto start = std::chrono::steady_clock::now();
    r = Run("identify --json --dump");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find(std::string("\"family\":\"") + f.family + "\""), std::string::npos) << r.out;
    EXPECT_EQ(FirstSent(r.err).rfind(f.request, 0), 0u) << r.err;
    EXPECT_EQ(r.err.find("F0 44 14 00"), std::string::npos) << "no identity request on the way\n" << r.err;
    // Well below the three seconds of the one time-out a search in the usual order waits at least.
    EXPECT_LT(seconds, 2.0);

    if (f.family[0] == 'A') {
      // Afresh: the usual order again, whatever is remembered.
      r = Run("identify --fresh --dump");
      ASSERT_EQ(r.code, 0) << r.err;
      EXPECT_EQ(FirstSent(r.err).rfind("F0 44 14 00", 0), 0u) << r.err;
    }
  }

  // The ports now remember family B; a family C keyboard on them is found one time-out later, and remembered.
  Player player(Config("again_C.cfg", "model=2\n"));
  ASSERT_TRUE(player.Ready());
  const Result r = Run("identify --json --dump");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"family\":\"C\""), std::string::npos) << r.out;
  EXPECT_EQ(FirstSent(r.err).rfind("F0 44 15 01", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("The keyboard last found here does not answer; looking for others...\n"), std::string::npos) << r.err;
  const std::string remembered = Slurp(state + "/songuploader/keyboards");
  EXPECT_NE(remembered.find("\nC\t4\t"), std::string::npos) << remembered;
  EXPECT_EQ(remembered.find("\nB\t"), std::string::npos) << remembered;
}

// ---- Several songs in one go ---------------------------------------------------------------------------

TEST_F(JackEndToEnd, ADryRunSendsNothingThenThreeSongsFillTheFreeSlotsInOneGo) {
  Player player(Config("used.cfg", "model=2\nslot=1,Morning Waltz,5120\n"));
  ASSERT_TRUE(player.Ready());
  const std::string second = dir_.Write("Second.mid", su::test::OneNoteSong());
  const std::string third = dir_.Write("Third.mid", su::test::OneNoteSong());
  const std::string songs = song_ + " " + second + " " + third;

  Result r = Run("send " + songs + " --slot free --dry-run");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Would send \"Tune\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("into slot 33, which is empty.\nNothing was sent.\n"), std::string::npos) << r.out;
  r = Run("list");
  EXPECT_NE(r.out.find("Total Size: 5 KBytes (5120 bytes)"), std::string::npos) << r.out;

  r = Run("send " + songs + " --slot free");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("Song 3/3: \"Third\" into slot 33\n"), std::string::npos) << r.err;
  r = Run("list");
  for (const char* row : {"30    Tune", "31    Morning Waltz", "32    Second", "33    Third"}) {
    EXPECT_NE(r.out.find(row), std::string::npos) << row << '\n' << r.out;
  }
}

TEST_F(JackEndToEnd, AKeyboardThatFailsTheSecondSongKeepsTheFirstAndSaysSo) {
  struct Case {
    const char* config;  // the second song's announcement, or its first block, is refused
    int code;
    const char* stored;
    const char* failure;
  };
  const std::vector<Case> cases = {
      {"model=2\nrefuse=03:0:1:1\n", 6, "Slot 30 holds \"Tune\"", "songuploader: The keyboard is not ready.\n"},
      {"family=b\nmodel=2\nrefuse=062100:0x0B:1:1\n", 9, "Slot 61 holds \"Tune\"",
       "songuploader: Transmission was stopped.\n"},
      // The keyboard's own no-memory answer to the second song, though the plan found room for it.
      {"model=2\nrefuse_song=2\n", 8, "Slot 30 holds \"Tune\"", "There is not enough memory to send the data."},
  };
  const std::string second = dir_.Write("Second.mid", su::test::OneNoteSong());
  const std::string third = dir_.Write("Third.mid", su::test::OneNoteSong());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    Player player(Config("fails.cfg", c.config));
    ASSERT_TRUE(player.Ready());
    const Result r = Run("send " + song_ + " " + second + " " + third + " --slot free");
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_NE(r.out.find(c.stored), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Not stored: \"Second\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Not stored: \"Third\""), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Complete!"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.failure), std::string::npos) << r.err;
  }
}

// ---- The shell around the command ------------------------------------------------------------------------

TEST_F(JackEndToEnd, AReaderThatGoesAwayNeverCutsASend) {
  Player player(Config("kb.cfg", "model=2\n"));
  ASSERT_TRUE(player.Ready());
  const std::string temp = dir_.Path("tmp");
  std::filesystem::create_directory(temp);
  // head leaves after the first progress line; the result cannot be written either.
  Result r = Shell("TMPDIR=" + temp + " $SU send \"$SONG\" --slot 32 --yes --progress 2>&1 | head -n 1 >/dev/null\n"
                   "exit ${PIPESTATUS[0]}");
  EXPECT_EQ(r.code, 13) << r.err;
  EXPECT_TRUE(std::filesystem::is_empty(temp));
  r = Run("list");
  EXPECT_NE(r.out.find("32    Tune"), std::string::npos) << r.out;
}

TEST_F(JackEndToEnd, ScriptsGetOneResultObjectAndClearRefusals) {
  Player player(Config("kb.cfg", "model=2\n"));
  ASSERT_TRUE(player.Ready());
  struct Row {
    std::string script;
    int code;
    std::string has;  // in standard output, or standard error for a failure
  };
  const std::vector<Row> rows = {
      {"$SU send - --slot 32 --yes --json <\"$SONG\"", 0, R"({"command":"send","done":true,"slot":"32","name":"Song",)"},
      {"$SU delete --slot 32 --yes --json", 0, R"({"command":"delete","done":true,"slot":"32","name":"Song",)"},
      {"$SU list --port --yes", 2, "songuploader: option --port needs a value\n"},
  };
  for (const Row& row : rows) {
    const Result r = Shell(row.script);
    EXPECT_EQ(r.code, row.code) << row.script << '\n' << r.err;
    EXPECT_NE((row.code == 0 ? r.out : r.err).find(row.has), std::string::npos) << r.out << r.err;
  }
}

TEST_F(JackEndToEnd, BashCompletesCommandsOptionsAndTheKeyboardsSlots) {
  Player player(Config("kb.cfg", "model=2\n"));
  ASSERT_TRUE(player.Ready());
  const std::string bin = std::filesystem::path(SU_SONGUPLOADER).parent_path().string();
  // What bash offers for the last word of `line` (the word being typed).
  auto complete = [&](const std::string& line) {
    return Shell("PATH=\"" + bin + ":$PATH\"\nsource " SU_COMPLETION "\nCOMP_WORDS=(" + line +
                 ")\nCOMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n_songuploader\necho \"${COMPREPLY[*]}\"")
        .out;
  };
  // The slots come from what the last command found on these ports, never from a search on TAB.
  EXPECT_EQ(complete("songuploader --api jack delete --slot 3"), "\n");
  ASSERT_EQ(Run("list").code, 0);
  EXPECT_EQ(complete("songuploader de"), "delete\n");
  EXPECT_EQ(complete("songuploader send x.mid --d"), "--dump --dry-run\n");
  EXPECT_EQ(complete("songuploader --api jack delete --slot 3"), "30 31 32 33 34 35 36 37 38 39\n");
  EXPECT_EQ(complete("songuploader --api jack send x.mid --slot f"), "free\n");
  EXPECT_EQ(complete("songuploader --api jack send x.mid y.mid --slots 30,3"),
            "30,30 30,31 30,32 30,33 30,34 30,35 30,36 30,37 30,38 30,39\n");
}

// Writes into a pipe whose reader is already gone.
int RunIntoClosedPipe(const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  close(fds[0]);
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGPIPE, SIG_DFL);
    dup2(fds[1], 1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    std::vector<char*> argv = {const_cast<char*>(SU_SONGUPLOADER)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(SU_SONGUPLOADER, argv.data());
    _exit(127);
  }
  close(fds[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// Printing stops quietly (the reader has all it wanted); a song file that cannot be written is a failure.
TEST_F(JackEndToEnd, AClosedPipeWithoutMidiEndsPrintingQuietlyAndFailsASongFile) {
  EXPECT_EQ(RunIntoClosedPipe({"--help"}), 0);
  EXPECT_EQ(RunIntoClosedPipe({"convert", song_, "-o", "-"}), 13);
}

TEST_F(JackEndToEnd, ASendUnderNohupOutlivesTheHangUp) {
  // The first block is answered two seconds late: the send is sure to be under way once it says so.
  Player player(Config("kb.cfg", "model=2\nlate=04:2000:1\n"));
  ASSERT_TRUE(player.Ready());
  const std::string err = dir_.Path("err.txt");
  std::filesystem::remove(err);
  const pid_t pid = Start({"send", song_, "--slot", "32", "--progress"}, "", SIGHUP);
  for (int i = 0; i < 200 && Slurp(err).find("Now sending") == std::string::npos; ++i) usleep(50 * 1000);
  ASSERT_NE(Slurp(err).find("Now sending"), std::string::npos) << Slurp(err);
  // Held still while the hang-up is sent, so that it cannot have ended before it.
  kill(pid, SIGSTOP);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, WUNTRACED), pid);
  ASSERT_TRUE(WIFSTOPPED(status)) << "the send ended before the hang-up:\n" << Slurp(err);
  kill(pid, SIGHUP);
  kill(pid, SIGCONT);
  EXPECT_EQ(Reap(pid, 20.0), 0) << Slurp(err);
}

TEST_F(JackEndToEnd, CtrlCInAShellLoopEndsTheLoop) {
  Player player(Config("used.cfg", "model=2\nslot=1,Morning Waltz,5120\n"));
  ASSERT_TRUE(player.Ready());
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    const std::string loop = std::string("for i in 1 2; do ") + SU_SONGUPLOADER + " --api jack send '" + song_ +
                             "' --slot 31; echo \"next $i\"; done";
    execl("/bin/bash", "bash", "-c", loop.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  std::string shown;
  ReadTerminal(master, &shown, "[y/N] ", 30);
  ASSERT_NE(shown.find("[y/N] "), std::string::npos) << shown;
  const char ctrlC = 0x03;
  ASSERT_EQ(write(master, &ctrlC, 1), 1);
  ReadTerminal(master, &shown, "", 1.5);
  EXPECT_EQ(Reap(pid, 2.0), -SIGINT) << shown;
  EXPECT_EQ(shown.find("next 1"), std::string::npos) << shown;
  close(master);
}

TEST_F(JackEndToEnd, AKeyboardPulledOutDuringTheFinalCheckEndsTheSend) {
  auto player = std::make_unique<Player>(Config("check_silent.cfg", "model=2\nsilent=05\n"));
  ASSERT_TRUE(player->Ready());
  const std::string err = dir_.Path("err.txt");
  std::filesystem::remove(err);
  const pid_t pid = Start({"send", song_, "--slot", "31"});
  for (int i = 0; i < 200 && Slurp(err).find("It is checking") == std::string::npos; ++i) usleep(50 * 1000);
  ASSERT_NE(Slurp(err).find("It is checking"), std::string::npos) << Slurp(err);
  player->Kill();
  EXPECT_EQ(Reap(pid, 5.0), 5) << Slurp(err);
  EXPECT_NE(Slurp(err).find("is gone"), std::string::npos) << Slurp(err);
}

// A reading alone cannot tell a new song from an old one of its size and name. The song (35 bytes as family C
// takes it, named "Tune") sent over an old "Tune" of 35 bytes: the keyboard refuses its block until the send
// stops, and the reading after shows the old song unchanged. That is a failure, never "Complete!"; and one
// answer of the reading after lost on the way is asked for again, so a song the keyboard took ends stored.
TEST_F(JackEndToEnd, AReplacedSongOfTheSameSizeIsStoredOnlyOnEvidence) {
  struct Case {
    const char* config;
    int code;
    const char* out;
  };
  const std::vector<Case> cases = {
      {"model=2\nslot=0,Tune,35\nrefuse=04:07:6\n", 10,
       "Not stored: \"Tune\" (slot 30); slot 30 still holds the old song.\n"},
      // Ten slots read for the plan, one by the send, then the second answer of the reading after is lost.
      {"model=2\nslot=0,Tune,35\ndrop_answer=13:01\n", 0, "Complete!\nSlot 30 holds 35 bytes.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    Player player(Config("same.cfg", c.config));
    ASSERT_TRUE(player.Ready());
    const Result r = Run("send " + song_ + " --slot 30 --yes");
    EXPECT_EQ(r.out, c.out) << r.err;
    EXPECT_EQ(r.code == 0, c.code == 0) << r.code << " " << r.err;
  }
}

}  // namespace
