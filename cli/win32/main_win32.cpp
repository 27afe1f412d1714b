// songuploader.exe's console twin on Windows: the same commands over the program's own WinMM driver.
#include <io.h>

#include <iostream>
#include <string>
#include <vector>

#include "base/win32/code_page_win32.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "midi/port_session.h"
#include "midi/win32/win32_midi.h"

int main(int argc, char** argv) {
  using namespace su;
  InstallSystemLeadBytes();
  InstallWin32Midi();
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
