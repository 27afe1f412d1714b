#include "cli/commands/failures.h"

#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "base/errors.h"
#include "cli/commands/printable.h"
#include "cli/exit_codes.h"
#include "midi/midi_driver.h"
#include "midi/port_session.h"

namespace su::cli {

namespace fs = std::filesystem;

void FileFailure(const std::string& what, const std::string& path, int reason) {
  throw Stop{kExitFileError, "songuploader: cannot " + what + " " + path + ": " + std::strerror(reason)};
}

int DescribeFailure(std::exception_ptr raisedFailure, const std::string& songShown, std::string* failure) {
  try {
    std::rethrow_exception(raisedFailure);
  } catch (const Stop& stop) {
    *failure = stop.text;
    return stop.code;
  } catch (const RaisedMessage& raised) {
    const int code = ExitCodeForMessage(raised.number);
    *failure = RightTrimmed(FailureText(raised));
    // The song a file failure is about.
    const bool aboutTheSong = code == kExitFileNotFound || code == kExitFileBroken || code == kExitFileError;
    if (aboutTheSong && !songShown.empty()) *failure = songShown + ": " + *failure;
    return code;
  } catch (const APP_EXCEPTION& error) {
    *failure = FailureText(error);
    return kExitKeyboardError;
  } catch (const fs::filesystem_error& error) {
    // A file or folder the system refused: the system's words, with the path they are about.
    *failure = "songuploader: " + error.path1().string() + ": " + error.code().message();
    return kExitFileError;
  } catch (const std::exception& error) {
    // Nothing foreseen ends here; the staged song and the ports are already cleaned up on the way.
    *failure = UnforeseenFailureText(error.what());
    return kExitUnforeseen;
  } catch (...) {
    *failure = UnforeseenFailureText("");
    return kExitUnforeseen;
  }
}

void ReportMidiFailure(std::ostream& err, int* code) {
  MidiDriver* driver = nullptr;
  try {
    driver = &TheDriver();
  } catch (const std::logic_error&) {
    return;  // the command needed no MIDI
  }
  const std::string reason = driver->LastFailure();
  if (reason.empty()) return;
  err << "songuploader: " << (DeviceGone() ? "the keyboard's MIDI port is gone: " : "MIDI: ") << Printable(reason) << '\n';
  // A keyboard that went away during a transfer ends it as the transfer's time-out does (message 38); one
  // that could not be reached at all is a port failure.
  if (*code == kExitTimeout && DeviceGone()) return;
  if (*code == kExitTimeout || *code == kExitNoKeyboard) *code = kExitPort;
}

}  // namespace su::cli
