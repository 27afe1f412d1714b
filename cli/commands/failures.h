// How a command ends early: the exit code and the line for standard error of every failure a command can
// raise, and what the MIDI system said of a call it refused.
#pragma once

#include <exception>
#include <ostream>
#include <string>

namespace su::cli {

// A command's early end with an exit code and a line for standard error.
struct Stop {
  int code;
  std::string text;
};

// A file the command could not read or write: exit 13 with the file and the system's reason.
[[noreturn]] void FileFailure(const std::string& what, const std::string& path, int reason);

// The exit code and the line for standard error of a failure a command raised; `songShown` is the song a
// file failure is about ("" for none).
int DescribeFailure(std::exception_ptr raisedFailure, const std::string& songShown, std::string* failure);

// What the MIDI system said about a call it refused (a send it would not pass on, a port gone), after the
// program's own text, on `err`; a keyboard that "did not answer" was never reached, so `code` becomes a port
// failure.
void ReportMidiFailure(std::ostream& err, int* code);

}  // namespace su::cli
