// songuploader.exe's console twin on Windows: the same commands over the program's own WinMM driver.
// Ctrl-C and Ctrl-Break stop the command as Ctrl-C does on Linux: a question ends at once, a wait for the
// keyboard at its next look, with the ports closed and the staged song removed; a second press ends the
// process.
#include <io.h>
#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include "base/win32/code_page_win32.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/stoppable_clock.h"
#include "cli/stop_cleanup.h"
#include "midi/port_session.h"
#include "midi/win32/win32_midi.h"

namespace su::cli {

namespace {

// Set once the command's cleanup has run (ports closed, staged song removed): a console that is closing
// waits for it before the system ends the process.
HANDLE gCleanedUp = nullptr;
// How long closing the window, logging off or shutting down waits for the cleanup; the system allows a
// little more (5 s) before it ends the process on its own.
constexpr DWORD kCleanupWaitMs = 4000;

BOOL WINAPI OnConsoleControl(DWORD kind) {
  if (kind == CTRL_C_EVENT || kind == CTRL_BREAK_EVENT) {
    if (Interrupted()) {
      // The second press: the system's default ends the process, once our temporaries are gone.
      CleanUpBeforeEnding(kExitInterrupted);
      return FALSE;
    }
    RequestStop(kExitInterrupted);
    return TRUE;
  }
  if (kind == CTRL_CLOSE_EVENT || kind == CTRL_LOGOFF_EVENT || kind == CTRL_SHUTDOWN_EVENT) {
    // The console goes away as a terminal's hang-up does; returning ends the process, so the command is
    // given its cleanup first.
    RequestStop(kExitHangUp);
    if (gCleanedUp != nullptr) WaitForSingleObject(gCleanedUp, kCleanupWaitMs);
    return TRUE;
  }
  return FALSE;
}

// The console shows UTF-8 for the run (names and the in-use marker are printed in it) and its own code page
// again afterwards.
class Utf8Console {
 public:
  Utf8Console() : previous_(GetConsoleOutputCP()) {
    if (previous_ != 0) SetConsoleOutputCP(CP_UTF8);
  }
  ~Utf8Console() { Restore(); }
  void Restore() {
    if (previous_ != 0) SetConsoleOutputCP(previous_);
    previous_ = 0;
  }

 private:
  UINT previous_;
};

}  // namespace

void InstallInterruptHandler() {
  gCleanedUp = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

}  // namespace su::cli

int main(int argc, char** argv) {
  using namespace su;
  InstallSystemLeadBytes();
  InstallWin32Midi();
  cli::InstallInterruptHandler();
  cli::Utf8Console utf8;
  // The waits of the program's own clock look at the stop request too.
  cli::StoppableClock clock(TheClock());
  InstallMidi(&TheDriver(), &clock);
  cli::Console console{std::cout, std::cerr, std::cin, _isatty(0) != 0, _isatty(2) != 0, {}};
  // Song bytes from standard input are read from its descriptor, in binary mode (cli/song_files).
  console.inFd = 0;
  console.inIsTerminal = _isatty(0) != 0;
  console.outIsTerminal = _isatty(1) != 0;
  const cli::MidiSetUp setUp = [](const cli::Options& options, std::string* error) {
    if (!options.api.empty()) {
      *error = "--api is for Linux and macOS; Windows has one MIDI system";
      return false;
    }
    return true;
  };
  const int code = cli::RunSongUploader(std::vector<std::string>(argv + 1, argv + argc), console, setUp);
  CloseMidiPorts();
  std::cout.flush();
  utf8.Restore();
  if (cli::gCleanedUp != nullptr) SetEvent(cli::gCleanedUp);
  return code;
}
