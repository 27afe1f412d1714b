// The POSIX side of stopping songuploader and of asking its user: the stop signals, and questions on the
// terminal itself.
#pragma once

#include "cli/console.h"

namespace su::cli {

// Opens /dev/null on standard input, output and error where they are closed, before anything else opens a
// descriptor: otherwise the next descriptor opened (the stop pipe, a song file) takes their number, and a song
// read from "standard input" or an error written to "standard error" would go to it.
void KeepStandardDescriptorsOpen();

// After the command's cleanup: when it was stopped by a signal (`exitCode` 129, 130 or 143), ends the
// process by that signal with its default action, so that a shell or a loop sees what stopped it. Returns
// when the command was not stopped by a signal.
void EndByStopSignal(int exitCode);

// Questions asked on the controlling terminal (/dev/tty), or on standard error and input without one. A stop
// request ends a question at once, whenever it comes: the stop signals are blocked in the thread that asks,
// so no read is ever interrupted by them.
TerminalQuestion TerminalQuestions();

// Whether the process has a controlling terminal that it may open (/dev/tty): questions can be asked there
// even when standard input is a pipe.
bool TerminalReachable();

}  // namespace su::cli
