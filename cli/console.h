// Where the command line talks to its user: standard output for results, standard error for progress,
// questions and failures, standard input for answers. Tests put string streams in their place.
#pragma once

#include <functional>
#include <iostream>
#include <string>

namespace su::cli {

// Writes `question` on the user's terminal and reads one line of answer from it; false when none came (the
// terminal closed, or a stop was requested while it waited, even one that came just before the read).
using TerminalQuestion = std::function<bool(const std::string& question, std::string* answer)>;

struct Console {
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  bool askable = false;   // a terminal to ask on: standard input, or the controlling terminal (as git and
                          // ssh ask there when standard input is a pipe)
  bool drawBar = false;   // standard error is a terminal: a progress bar redrawn in place
  // Where questions go when set (the terminal itself, so that they show even with standard error in a
  // file); else they are written to `err` and answered from `in`.
  TerminalQuestion ask;
  // Standard input's descriptor, for reading a song from it while a stop can still end the wait (-1: read
  // `in`, as tests do).
  int inFd = -1;
  bool inIsTerminal = false;   // standard input itself is a terminal (no song comes from it)
  bool outIsTerminal = false;  // standard output is a terminal: no song bytes are written onto it
  // Standard output's descriptor, for song bytes written while a stop can still end the wait (-1: `out`).
  int outFd = -1;
  // Whether standard output's reader went away (a pipe into `head` that ended): a command that only prints
  // then ends quietly. Unset: never.
  std::function<bool()> outReaderGone{};
  // The system's reason (errno) for the first write to standard output that failed, kept since (0 or unset:
  // none known).
  std::function<int()> outFailure{};
  // How many columns the terminal on standard error has now (0 or unset: unknown): a progress bar is cut to
  // fit, so that a long song name never wraps and scrolls at every redraw.
  std::function<std::size_t()> errColumns{};
  // Progress as plain lines where no bar is drawn (standard error not a terminal): only when asked for, as
  // git and curl do.
  bool progressLines = false;
};

// Stopping: Ctrl-C (also SIGTERM and SIGHUP; Ctrl-Break on Windows) asks the command to stop. A question
// ends at once, answered by nothing; a wait for the keyboard ends at the next look; the ports are closed
// and the staged song removed on the way out, and the exit code says what stopped the command (130, 143
// for SIGTERM, 129 for SIGHUP). A second stop ends the process at once (on Linux and macOS only one that
// comes a second or more after the first: signals that arrive together are one stop). Each platform
// installs its own handler (cli/posix, cli/win32), which calls RequestStop.
void InstallInterruptHandler();
// Safe from a signal handler: the first request's exit code wins.
void RequestStop(int exitCode);
bool Interrupted();
int StopExitCode();
// For tests: as if Ctrl-C had been pressed, or never.
void SetInterrupted(bool interrupted);
// A descriptor that becomes readable once a stop is requested (the stop handler writes into it), so that a
// blocking read or open can wait on it beside its own descriptor; -1 where there is none (tests, Windows).
void SetStopWakeDescriptor(int fd);
int StopWakeDescriptor();

// Thrown from a wait for the keyboard once Ctrl-C was pressed.
struct InterruptedByUser {};

}  // namespace su::cli
