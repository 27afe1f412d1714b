// The command line's exit codes, one per kind of outcome, and how a raised failure maps onto them and onto
// the string table's text printed on standard error.
#pragma once

#include <cstdint>
#include <string>

#include "base/errors.h"
#include "base/message_table.h"

namespace su::cli {

enum ExitCode : int {
  kExitOk = 0,
  kExitDeclined = 1,        // nothing done: a question answered No, or Delete on an empty slot
  kExitUsage = 2,           // the command line itself is wrong
  kExitNoKeyboard = 3,      // no keyboard answered
  kExitPort = 4,            // no such MIDI port, or it cannot be opened
  kExitTimeout = 5,         // message 38
  kExitNotReady = 6,        // message 35
  kExitLowVoltage = 7,      // message 54
  kExitNoMemory = 8,        // messages 36, 52, 59
  kExitStopped = 9,         // message 55
  kExitKeyboardError = 10,  // message 53: the keyboard refused with an error code
  kExitFileNotFound = 11,   // messages 30, 42
  kExitFileBroken = 12,     // message 43
  kExitFileError = 13,      // message 44
  kExitCheckFailed = 14,    // the slot read back after a send does not hold the song
  kExitUnforeseen = 15,     // a failure the program did not foresee (out of memory, a fault of ours)
  kExitNoSuchSlot = 16,     // the keyboard found has no slot of the label given
  kExitPortsInUse = 17,     // --no-wait: another run holds the lock of the same pair of ports
  kExitHangUp = 129,        // SIGHUP; on Windows the console closed, a log-off or a shut-down
  kExitInterrupted = 130,   // Ctrl-C
};

// The exit code of a failure raised as message `number`.
int ExitCodeForMessage(std::int32_t number);
// Texts by message number come from the message table below the front ends.
using su::FailureText;
using su::MessageText;
// The line for a failure nobody foresaw: message 44's text, what the failure says of itself, and a request
// to report it.
std::string UnforeseenFailureText(const std::string& what);

}  // namespace su::cli
