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
#include "midi/port_session.h"
#include "midi/win32/win32_midi.h"

namespace su::cli {

namespace {

BOOL WINAPI OnConsoleControl(DWORD kind) {
  if (kind != CTRL_C_EVENT && kind != CTRL_BREAK_EVENT) return FALSE;
  if (Interrupted()) return FALSE;  // the second press: the system's default ends the process
  RequestStop(kExitInterrupted);
  return TRUE;
}

}  // namespace

void InstallInterruptHandler() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

}  // namespace su::cli

int main(int argc, char** argv) {
  using namespace su;
  InstallSystemLeadBytes();
  InstallWin32Midi();
  cli::InstallInterruptHandler();
  // The waits of the program's own clock look at the stop request too.
  cli::StoppableClock clock(TheClock());
  InstallMidi(&TheDriver(), &clock);
  cli::Console console{std::cout, std::cerr, std::cin, _isatty(0) != 0, _isatty(2) != 0};
  const cli::MidiSetUp setUp = [](const cli::Options& options, std::string* error) {
    if (!options.api.empty()) {
      *error = "--api is for Linux and macOS; Windows has one MIDI system";
      return false;
    }
    return true;
  };
  const int code = cli::RunSongUploader(std::vector<std::string>(argv + 1, argv + argc), console, setUp);
  CloseMidiPorts();
  return code;
}
