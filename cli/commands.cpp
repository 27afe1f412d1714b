// RunSongUploader: the command line read, the command run from the table of commands, and the way it ended
// turned into an exit code, a line on standard error and, with --json, a result object.
#include "cli/commands.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <stdexcept>

#include "base/screen.h"
#include "base/version.h"
#include "cli/commands/context.h"
#include "cli/commands/failures.h"
#include "cli/commands/json_output.h"
#include "cli/commands/printable.h"
#include "cli/exit_codes.h"
#include "cli/stop_cleanup.h"
#include "midi/port_session.h"

namespace su::cli {

namespace {

constexpr char kVersion[] = "songuploader " SU_VERSION_STRING;

void RunHelp(CommandContext& context) { context.console.out << HelpText(); }
void RunVersion(CommandContext& context) { context.console.out << kVersion << '\n'; }

// What a command gives a script reading --json.
enum class Answer {
  None,      // --help and --version: their text only
  Document,  // a document of its own (on failure before it, the result object with the failure)
  Result,    // one result object on every way out
};

struct CommandEntry {
  Command command;
  const char* word;  // as typed, and as --json names it (nullptr: not a command word)
  void (*run)(CommandContext& context);
  Answer answer;
};

constexpr CommandEntry kCommands[] = {
    {Command::Ports, "ports", RunPorts, Answer::Document},
    {Command::Identify, "identify", RunIdentify, Answer::Document},
    {Command::List, "list", RunList, Answer::Document},
    {Command::Send, "send", RunSend, Answer::Result},
    {Command::Delete, "delete", RunDelete, Answer::Result},
    {Command::Convert, "convert", RunConvert, Answer::Result},
    {Command::Info, "info", RunInfo, Answer::Document},
    {Command::Help, nullptr, RunHelp, Answer::None},
    {Command::Version, nullptr, RunVersion, Answer::None},
};

const CommandEntry* EntryFor(Command command) {
  for (const CommandEntry& entry : kCommands) {
    if (entry.command == command) return &entry;
  }
  return nullptr;
}

// --json: one object for the song the command worked on, whatever the outcome.
void PrintResult(const CommandContext& context, int code, const std::string& failure) {
  const CommandEntry* entry = EntryFor(context.options.command);
  const char* word = entry != nullptr && entry->word != nullptr ? entry->word : "";
  Json json = {{"command", word}, {"done", code == kExitOk && !context.options.dryRun}};
  for (auto& [key, value] : context.result.items()) json[key] = value;
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - context.started;
  json["seconds"] = std::round(seconds.count() * 1000) / 1000;
  if (code != kExitOk) {
    const std::string name = "songuploader: ";
    json["exitCode"] = code;
    json["error"] = failure.rfind(name, 0) == 0 ? failure.substr(name.size()) : failure;
  }
  PrintJson(context.console.out, json);
}

// Runs the command the options name on the command line's own screen, and says how it ended.
int RunCommand(CommandContext& context) {
  const Options& o = context.options;
  Console& console = context.console;
  Screen* previous = nullptr;
  try {
    previous = &TheScreen();
  } catch (const std::logic_error&) {
    // No screen yet: the program's own run.
  }
  SetScreen(&context.screen);
  const CommandEntry* entry = EntryFor(o.command);
  // --json: a stop that ends the command at once prints an object of its own, which begins as the result's.
  if (o.json) {
    const char* word = entry != nullptr && entry->word != nullptr ? entry->word : "";
    SetStopJsonOpening(R"({"command":")" + std::string(word) + R"(","done":false)");
  }
  int code = kExitOk;
  std::string failure;
  try {
    if (entry != nullptr) entry->run(context);
  } catch (const InterruptedByUser&) {
    code = kExitInterrupted;
  } catch (...) {
    code = DescribeFailure(std::current_exception(), context.songShown, &failure);
  }
  // A command stopped by the user ends as stopped, however the protocol then failed (a cancelled final
  // check reports a time-out): its failure is not shown. A stop after the command's work was done (the
  // song file in place) changes nothing.
  auto stopped = [&context] { return Interrupted() && !context.committed; };
  if (stopped()) {
    code = StopExitCode();
    console.err << "songuploader: stopped.\n";
  } else if (!failure.empty()) {
    // Every failure line starts with the program's name; the string table's texts follow it unchanged.
    const std::string name = "songuploader: ";
    console.err << (failure.rfind(name, 0) == 0 ? "" : name) << Printable(failure, true) << '\n';
  }
  if (code != kExitOk && !stopped()) ReportMidiFailure(console.err, &code);
  // A script reading --json gets an object on every way out: a command that prints its own document and
  // failed before it did gets the result object with the failure.
  const Answer answer = entry != nullptr ? entry->answer : Answer::Document;
  const bool result = answer == Answer::Result;
  const bool printing = answer != Answer::None;
  if (o.json && (result || (printing && code != kExitOk && !context.jsonPrinted))) {
    PrintResult(context, code, stopped() ? "stopped." : failure);
  }
  SetStopJsonOpening("");
  if (context.dumper != nullptr) {
    CloseMidiPorts();
    InstallMidi(context.dumped, &TheClock());
    context.dumper.reset();
  }
  SetScreen(previous);
  return code;
}

// Whether the command line asks for JSON, before the end of the options.
bool AsksForJson(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") return false;
    if (arg == "--json") return true;
  }
  return false;
}

// The command a wrong command line was meant for, as far as it can be told ("" when none is named).
std::string CommandWord(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    for (const CommandEntry& entry : kCommands) {
      if (entry.word != nullptr && arg == entry.word) return arg;
    }
  }
  return "";
}

// Commands whose reader may go away once it has all it wanted.
bool OnlyPrints(Command command) {
  const CommandEntry* entry = EntryFor(command);
  return entry != nullptr && entry->answer != Answer::Result;
}

}  // namespace

int RunSongUploader(const std::vector<std::string>& args, Console& console, const MidiSetUp& setUpMidi) {
  Options options;
  std::string error;
  int code = kExitOk;
  try {
    if (!ParseOptions(args, &options, &error)) {
      console.err << "songuploader: " << Printable(error) << "\nTry 'songuploader --help'.\n";
      if (AsksForJson(args)) {
        PrintJson(console.out, {{"command", CommandWord(args)}, {"done", false}, {"exitCode", kExitUsage},
                                {"error", error}});
        console.out.flush();
      }
      return kExitUsage;
    }
    TakePortDefaults(&options);
    CommandContext context(options, console, setUpMidi);
    code = RunCommand(context);
  } catch (const std::exception& unforeseen) {
    console.err << UnforeseenFailureText(unforeseen.what()) << '\n';
    return kExitUnforeseen;
  }
  // Results that never reached standard output (a full disk, a closed pipe) are a failure, not a success,
  // except for a command that only prints and whose reader has all it wanted (`| head -1`): it ends quietly,
  // as git and coreutils do there.
  errno = 0;
  console.out.flush();
  if (!console.out) {
    const bool gone = console.outReaderGone && console.outReaderGone();
    if (gone && OnlyPrints(options.command)) return code;
    const int kept = console.outFailure ? console.outFailure() : 0;
    const int reason = gone ? EPIPE : kept != 0 ? kept : errno;
    console.err << "songuploader: cannot write to standard output"
                << (reason != 0 ? std::string(": ") + std::strerror(reason) : std::string()) << '\n';
    if (code == kExitOk) code = kExitFileError;
  }
  return code;
}

}  // namespace su::cli
