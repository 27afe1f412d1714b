// songuploader's commands over the installed MIDI driver and clock: ports, identify, list, send, delete,
// convert and info, one file each in cli/commands/. The exit code says how a command ended (cli/exit_codes.h).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/options.h"

namespace su::cli {

// Makes the MIDI driver and clock ready for a command that needs them (`options.api` chooses the system);
// false with `error` when no MIDI system can be used.
using MidiSetUp = std::function<bool(const Options& options, std::string* error)>;

// Runs the command line `args` (without the program's name). The driver and clock stay installed; the
// ports are closed and every staged file removed on every way out.
int RunSongUploader(const std::vector<std::string>& args, Console& console, const MidiSetUp& setUpMidi);

class TerminalProgress;

// The send under way, whose checking wait Ctrl-C cuts short.
struct CheckingWaitHook {
  TerminalProgress* progress = nullptr;
  int limitSeconds = 0;   // how long the final check may last (0: until Ctrl-C)
  bool timedOut = false;  // the limit ended the final check
  bool readingAfter = false;  // the slots are read after a send: a stop lets that reading finish
};
CheckingWaitHook& CheckingFlag();
// What a wait for the keyboard does once Ctrl-C was pressed: cancels the keyboard's final check of a song
// when that is what is awaited, otherwise throws InterruptedByUser.
void StopAtWait();
// Whether a wait for the keyboard should hand over to StopAtWait now: the user asked to stop, or the final
// check has lasted its limit.
bool StopRequestedAtWait();

// The text shown for a name read from the keyboard, in UTF-8: the in-use marker in readable form, code page
// 932 characters decoded (double-byte ones where the system can), other bytes that are not printable ASCII
// as "?".
std::string ReadableName(const std::string& name);
// `text` as a JSON string, quotes included.
std::string JsonString(const std::string& text);

}  // namespace su::cli
