// End to end over JACK: the real songuploader against the keyboard player, one model of each family, with
// the MIDI going through a JACK server (scripts/test starts one with its dummy back-end and sets
// SU_JACK_TESTS=1; without it these tests are skipped).
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
  pid_t Start(const std::vector<std::string>& args, const std::string& extra = "") {
    const std::string err = dir_.Path("err.txt");
    const pid_t pid = fork();
    if (pid == 0) {
      if (!extra.empty()) putenv(const_cast<char*>(extra.c_str()));
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

  // Waits for the process; its exit code, or -1 when it did not end by itself within `seconds`.
  static int Reap(pid_t pid, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
      }
      usleep(20 * 1000);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
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
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (shown.find("[y/N] ") == std::string::npos && std::chrono::steady_clock::now() < end) {
    pollfd ready{master, POLLIN, 0};
    if (poll(&ready, 1, 200) <= 0) continue;
    char chunk[256];
    const ssize_t n = read(master, chunk, sizeof chunk);
    if (n <= 0) break;
    shown.append(chunk, static_cast<std::size_t>(n));
  }
  ASSERT_NE(shown.find("Do you want to replace it? [y/N] "), std::string::npos) << shown;
  // Ctrl-C typed on the terminal: its line discipline sends SIGINT.
  const char ctrlC = 0x03;
  ASSERT_EQ(write(master, &ctrlC, 1), 1);
  EXPECT_EQ(Reap(pid, 2.0), 130);
  close(master);
  // Nothing was sent: the slot still holds the old song.
  const Result r = Run("list");
  EXPECT_NE(r.out.find("31    Morning Waltz"), std::string::npos) << r.out;
}

TEST_F(JackEndToEnd, SigtermMidSendRemovesTheStagedSongAndClosesThePorts) {
  const std::string temp = dir_.Path("tmp");
  std::filesystem::create_directory(temp);
  const std::string tmpdir = "TMPDIR=" + temp;
  for (const auto& [signal, code] : {std::pair<int, int>{SIGTERM, 143}, std::pair<int, int>{SIGHUP, 129}}) {
    SCOPED_TRACE(code);
    Player player(Config("stalls.cfg", "model=2\nsilent=04\n"));
    ASSERT_TRUE(player.Ready());
    const pid_t pid = Start({"send", song_, "--slot", "31"}, tmpdir);
    usleep(1000 * 1000);  // inside the first block's wait
    EXPECT_FALSE(std::filesystem::is_empty(temp));  // the staged song is there while the send runs
    kill(pid, signal);
    EXPECT_EQ(Reap(pid, 3.0), code) << Slurp(dir_.Path("err.txt"));
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
  EXPECT_EQ(Reap(pid, 5.0), 130);
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

}  // namespace
