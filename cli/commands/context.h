// What every command works with: the console, the options, the MIDI set-up, and once connected the keyboard
// found; what the command did, for --json and for the way it ends. One context per command line run.
#pragma once

#include <chrono>
#include <memory>
#include <ostream>
#include <string>

#include "cli/port_lock.h"
#include "cli/commands.h"
#include "cli/commands/json_output.h"
#include "cli/console.h"
#include "cli/console_screen.h"
#include "cli/dump_driver.h"
#include "cli/options.h"
#include "midi/midi_driver.h"
#include "transfer/families.h"

namespace su::cli {

struct CommandContext {
  CommandContext(const Options& options, Console& console, const MidiSetUp& setUpMidi)
      : options(options),
        console(console),
        setUpMidi(setUpMidi),
        screen(console, options.yes),
        songShown(options.song),
        chatter(options.quiet ? silent : console.err),
        progressConsole{console.out, chatter, console.in, console.askable, console.drawBar && !options.quiet,
                        console.ask} {
    progressConsole.errColumns = console.errColumns;
    progressConsole.progressLines = options.progress && !options.quiet;
  }
  CommandContext(const CommandContext&) = delete;
  CommandContext& operator=(const CommandContext&) = delete;

  const Options& options;
  Console& console;
  const MidiSetUp& setUpMidi;
  ConsoleScreen screen;

  // The keyboard once connected.
  const FamilyEntry* family = nullptr;
  KeyboardSlots slots;     // the keyboard found, as its family addresses it
  std::string tried;       // the ports tried, for the texts of failures that concern them
  std::string slotLabel;   // the slot the command works on, as list shows it
  std::string songShown;   // the song a file failure is about ("" for none)
  std::unique_ptr<DumpingDriver> dumper;  // --dump: in front of the installed driver while the command runs
  MidiDriver* dumped = nullptr;           // the driver behind it
  PortLock portLock;                      // held while the command talks to the keyboard

  bool committed = false;          // the command's work is done and cannot be undone by a stop
  std::ostream silent{nullptr};    // --quiet: where progress and chatter go
  std::ostream& chatter;           // what is said on the way: standard error, or nothing with --quiet
  Console progressConsole;         // the console a transfer's progress is drawn on
  Json result = Json::object();    // --json: what send, delete or convert did
  bool jsonPrinted = false;        // --json: the command printed its own document
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

// The commands, one file each under cli/commands/.
void RunPorts(CommandContext& context);
void RunIdentify(CommandContext& context);
void RunList(CommandContext& context);
void RunSend(CommandContext& context);
void RunDelete(CommandContext& context);
void RunConvert(CommandContext& context);
void RunInfo(CommandContext& context);

}  // namespace su::cli
