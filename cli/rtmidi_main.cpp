// songuploader on Linux and macOS: the commands over RtMidi and a console clock. Ctrl-C, SIGTERM and SIGHUP
// stop at a question at once and at the next look of a wait for the keyboard; after the cleanup the process
// ends by the signal that stopped it.
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/posix/descriptor_output.h"
#include "cli/posix/signals.h"
#include "midi/port_session.h"
#include "midi/rtmidi/console_clock.h"
#include "midi/rtmidi/rtmidi_driver.h"

int main(int argc, char** argv) {
  using namespace su;
  cli::KeepStandardDescriptorsOpen();
  // Before anything starts a thread: the stop signals are blocked in every thread but our own taker's.
  cli::InstallInterruptHandler();
  ConsoleClock clock([] { return cli::StopRequestedAtWait(); }, [] { cli::StopAtWait(); });
  std::unique_ptr<MidiDriver> driver;

  // Questions are asked on the terminal itself, whenever there is one: standard input, or the controlling
  // terminal when standard input is a pipe.
  // Standard output through a buffer of our own that keeps the reason of a failed write.
  static cli::DescriptorOutput output(1);
  std::streambuf* const cStdout = std::cout.rdbuf(&output);
  const bool inTerminal = isatty(0) != 0;
  cli::Console console{std::cout, std::cerr, std::cin, inTerminal || cli::TerminalReachable(), isatty(2) != 0,
                       cli::TerminalQuestions()};
  console.inIsTerminal = inTerminal;
  console.inFd = 0;
  console.outIsTerminal = isatty(1) != 0;
  console.outFd = 1;
  console.errColumns = [] {
    winsize size{};
    return ioctl(2, TIOCGWINSZ, &size) == 0 ? static_cast<std::size_t>(size.ws_col) : std::size_t{0};
  };
  // A pipe whose reader is gone reports an error condition on its writing end; a socket a hang-up.
  console.outFailure = [] { return output.Failure(); };
  console.outReaderGone = [] {
    pollfd out{1, 0, 0};
    return poll(&out, 1, 0) == 1 && (out.revents & (POLLERR | POLLHUP)) != 0;
  };
  const cli::MidiSetUp setUp = [&](const cli::Options& options, std::string* error) {
    const MidiSystem system = options.api == "alsa"   ? MidiSystem::Alsa
                              : options.api == "jack" ? MidiSystem::Jack
                                                      : MidiSystem::Default;
    driver = MakeRtMidiDriver(system, error);
    if (driver == nullptr) return false;
    InstallMidi(driver.get(), &clock);
    return true;
  };
  const int code = cli::RunSongUploader(std::vector<std::string>(argv + 1, argv + argc), console, setUp);
  CloseMidiPorts();
  InstallMidi(nullptr, nullptr);
  driver.reset();
  std::cout.flush();
  std::cout.rdbuf(cStdout);
  cli::EndByStopSignal(code);
  return code;
}
