// The command line of songuploader: the command, its song and slot, and the options, read from argv.
#pragma once

#include <string>
#include <vector>

namespace su::cli {

enum class Command { None, Ports, Identify, List, Send, Delete, Convert, Info, Help, Version };

struct Options {
  Command command = Command::None;
  std::string song;      // send, convert: the (first) Standard MIDI File
  std::vector<std::string> songs;  // send, info: every song given, in order (send: one or more)
  std::string slot;      // send, delete: the slot as `list` shows it (its label); send also "free"; with
                         // several songs the first one's slot, the next empty slots after it for the rest
  std::string slotList;  // send --slots as given ("3,4,7")
  std::vector<std::string> slots;  // the same read: one slot label per song, in order
  std::string output;    // convert: the song file to write
  std::string model;     // convert, info: the model code handed to the converter
  std::string inPort;    // number or part of a name
  std::string outPort;
  std::string port;      // both directions
  // What named each: the option, or the environment variable it came from (for the texts of failures).
  std::string inFrom = "--in";
  std::string outFrom = "--out";
  std::string portFrom = "--port";
  std::string api;       // "", "alsa" or "jack"
  bool yes = false;      // answer Yes to every question
  bool json = false;     // machine-readable output: ports, identify, list and info; one result object for
                         // send, delete and convert (several songs: a "songs" array in it, one per song)
  bool quiet = false;    // no progress and no chatter on standard error (questions and failures stay)
  bool progress = false; // progress lines on standard error even when it is not a terminal
  bool dryRun = false;   // send: convert, find the keyboard, check the room and say what would be replaced
                         // (several songs: the whole plan)
  bool fresh = false;    // search every way in turn, not the keyboard last found on the ports first
  bool type22 = false;   // also look for a keyboard of model type 22, as DEBUG_ZT52=1 makes the dialogs do
  int checkTimeout = -1; // send: seconds the keyboard's final check may last (-1: not given)
  bool dump = false;     // every SysEx message sent and received on standard error
  bool noWait = false;   // another run talks over the same ports: fail at once instead of waiting for it
};

// How long the final check may last without --check-timeout when no terminal can stop it: a job run by
// cron or a service must end.
constexpr int kUnattendedCheckSeconds = 120;

// Whether a send goes through the plan of several songs: more than one song, or slots named with --slots.
bool SendsSeveral(const Options& options);

// false with `error` saying what is wrong (the caller prints it and exits with kExitUsage).
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

// SONGUPLOADER_IN, SONGUPLOADER_OUT and SONGUPLOADER_PORT name the ports the command line left unnamed:
// each direction is taken from --in/--out, else --port, else its own variable, else SONGUPLOADER_PORT. A
// variable is not read for a direction the options already name.
void TakePortDefaults(Options* options);

// The text of --help: commands, options and exit codes.
std::string HelpText();

}  // namespace su::cli
