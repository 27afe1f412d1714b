// Stopping songuploader on Linux and macOS: Ctrl-C (SIGINT), SIGTERM (what `timeout` and service managers
// send) and SIGHUP (the terminal went away) all ask the command to stop. No handler runs inside the
// program's threads: the three signals are blocked in the main thread before any other thread exists, so
// every thread the MIDI libraries start inherits the block, and one thread of our own takes them with
// sigwait. It sets the stop request and writes a byte into a pipe that every blocking wait of the main
// thread (a question at the terminal, reading a song, opening or writing an output) watches beside its own
// descriptor, so a stop ends it at once even when it comes just before the read. Signals within a second
// of the first are one stop; a later one ends the process at once. A
// signal the parent set to be ignored (nohup, a background job of a script) stays ignored. SIGPIPE is
// ignored: a reader that goes away makes a write fail instead of ending the process between two blocks.
#include "cli/posix/signals.h"

#include "cli/stop_cleanup.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

namespace su::cli {

namespace {

int gStopPipe[2] = {-1, -1};  // written once a stop is requested; never drained

[[noreturn]] void RaiseByDefault(int number) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(number, &action, nullptr);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, number);
  raise(number);  // pending while blocked in this thread: unblocking delivers it
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  // Only reached if the default action did not end the process.
  _exit(128 + number);
}

// Signals that come within this long of the first one are the same stop: coreutils `timeout` sends SIGTERM
// to the command and then to its whole group, and a terminal's Ctrl-C reaches every process of the job.
constexpr auto kOneStop = std::chrono::seconds(1);

void TakeStopSignals(sigset_t signals) {
  std::chrono::steady_clock::time_point first;
  for (;;) {
    int number = 0;
    if (sigwait(&signals, &number) != 0) continue;
    // A later stop ends the process at once, by the signal's own default.
    if (Interrupted()) {
      if (std::chrono::steady_clock::now() - first < kOneStop) continue;
      CleanUpBeforeEnding(128 + number);
      RaiseByDefault(number);
    }
    first = std::chrono::steady_clock::now();
    RequestStop(128 + number);
    if (gStopPipe[1] >= 0) {
      const char byte = 1;
      while (write(gStopPipe[1], &byte, 1) < 0 && errno == EINTR) {
      }
    }
  }
}

}  // namespace

void KeepStandardDescriptorsOpen() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // The lowest free number is `fd` itself: every lower one is open by now.
    const int opened = open("/dev/null", O_RDWR | O_NOCTTY);
    if (opened >= 0 && opened != fd) close(opened);
  }
}

void InstallInterruptHandler() {
  signal(SIGPIPE, SIG_IGN);
  sigset_t signals;
  sigemptyset(&signals);
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction now {};
    if (sigaction(number, nullptr, &now) == 0 && now.sa_handler == SIG_IGN) continue;
    sigaddset(&signals, number);
  }
  if (pipe(gStopPipe) == 0) {
    for (const int fd : gStopPipe) fcntl(fd, F_SETFD, FD_CLOEXEC);
    fcntl(gStopPipe[1], F_SETFL, O_NONBLOCK);
    SetStopWakeDescriptor(gStopPipe[0]);
  }
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread(TakeStopSignals, signals).detach();
}

void EndByStopSignal(int exitCode) {
  if (!Interrupted() || exitCode != StopExitCode()) return;
  const int number = exitCode - 128;
  if (number != SIGINT && number != SIGTERM && number != SIGHUP) return;
  std::fflush(nullptr);
  RaiseByDefault(number);
}

bool TerminalReachable() {
  const int tty = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (tty < 0) return false;
  close(tty);
  return true;
}

TerminalQuestion TerminalQuestions() {
  return [](const std::string& question, std::string* answer) {
    // The terminal itself; without one (no controlling terminal) standard error and standard input.
    const int tty = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    const int out = tty >= 0 ? tty : 2;
    const int in = tty >= 0 ? tty : 0;
    bool answered = false;
    std::size_t written = 0;
    while (written < question.size()) {
      const ssize_t n = write(out, question.data() + written, question.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
    answer->clear();
    for (;;) {
      // The stop pipe beside the terminal: a stop that came before the read still ends it at once.
      pollfd watched[2] = {{in, POLLIN, 0}, {gStopPipe[0], POLLIN, 0}};
      if (poll(watched, gStopPipe[0] >= 0 ? 2 : 1, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (gStopPipe[0] >= 0 && (watched[1].revents & POLLIN) != 0) break;
      if (Interrupted()) break;
      char chunk[256];
      const ssize_t n = read(in, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      const std::string got(chunk, static_cast<std::size_t>(n));
      const std::size_t end = got.find('\n');
      answer->append(got.substr(0, end));
      if (end != std::string::npos) {
        answered = true;
        break;
      }
    }
    // A question ended by a stop leaves the cursor on a line of its own for what follows.
    if (!answered && Interrupted()) (void)!write(out, "\n", 1);
    if (tty >= 0) close(tty);
    return answered;
  };
}

}  // namespace su::cli
