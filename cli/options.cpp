#include "cli/options.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "converter/song_image.h"

namespace su::cli {

namespace {

struct CommandName {
  const char* name;
  Command command;
};

constexpr CommandName kCommands[] = {
    {"ports", Command::Ports}, {"identify", Command::Identify}, {"list", Command::List},
    {"send", Command::Send},   {"delete", Command::Delete},     {"convert", Command::Convert},
    {"info", Command::Info},
};

// The options that take a value, and where the value goes.
std::string* ValueOption(const std::string& name, Options* o) {
  if (name == "--slot") return &o->slot;
  if (name == "--slots") return &o->slotList;
  if (name == "-o" || name == "--output") return &o->output;
  if (name == "--model") return &o->model;
  if (name == "--in") return &o->inPort;
  if (name == "--out") return &o->outPort;
  if (name == "--port") return &o->port;
  if (name == "--api") return &o->api;
  return nullptr;
}

// A whole number of seconds from 1 to a day.
bool ReadSeconds(const std::string& text, int* seconds) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *seconds = std::stoi(text);
  return *seconds >= 1 && *seconds <= 86400;
}

// "3,4,7": the slot labels in order; false for an empty label or one named twice.
bool ReadSlotList(const std::string& text, std::vector<std::string>* labels) {
  std::size_t from = 0;
  for (;;) {
    const std::size_t comma = text.find(',', from);
    const std::string label = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
    if (label.empty()) return false;
    for (const std::string& earlier : *labels) {
      if (earlier == label) return false;
    }
    labels->push_back(label);
    if (comma == std::string::npos) return true;
    from = comma + 1;
  }
}

bool Fail(std::string* error, const std::string& text) {
  *error = text;
  return false;
}

// A value that is another option (`--port --yes`): the value was forgotten. "-" alone is a value (standard
// input or output).
bool LooksLikeOption(const std::string& value) { return value.size() > 1 && value[0] == '-'; }

// Short options as getopt takes them: "-yq" is "-y -q", "-oFILE" is "-o FILE" (the rest of the word is
// -o's value). Words after "--" stay as they are.
std::vector<std::string> SplitShortOptions(const std::vector<std::string>& args) {
  std::vector<std::string> split;
  bool ended = false;
  for (const std::string& arg : args) {
    ended = ended || arg == "--";
    if (ended || arg.size() <= 2 || arg[0] != '-' || arg[1] == '-') {
      split.push_back(arg);
      continue;
    }
    for (std::size_t i = 1; i < arg.size(); ++i) {
      split.push_back(std::string("-") + arg[i]);
      if (arg[i] == 'o') {
        // Joined with "=" so that a value starting with "-" (-o-out.sq2) is taken as the value it is.
        if (i + 1 < arg.size()) split.back() += "=" + arg.substr(i + 1);
        break;
      }
    }
  }
  return split;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& given, Options* options, std::string* error) {
  const std::vector<std::string> args = SplitShortOptions(given);
  Options o;
  std::vector<std::string> words;
  bool help = false;
  bool version = false;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded) {
      words.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;  // a song whose name starts with "-" comes after it
    } else if (arg == "-h" || arg == "--help") {
      help = true;
    } else if (arg == "--version") {
      version = true;
    } else if (arg == "-y" || arg == "--yes") {
      o.yes = true;
    } else if (arg == "--json") {
      o.json = true;
    } else if (arg == "-q" || arg == "--quiet") {
      o.quiet = true;
    } else if (arg == "--progress") {
      o.progress = true;
    } else if (arg == "--dry-run") {
      o.dryRun = true;
    } else if (arg == "--type-22") {
      o.type22 = true;
    } else if (arg == "--fresh") {
      o.fresh = true;
    } else if (arg == "--dump") {
      o.dump = true;
    } else if (arg == "--no-wait") {
      o.noWait = true;
    } else if (arg == "--check-timeout" || arg.rfind("--check-timeout=", 0) == 0) {
      std::string value;
      if (arg.size() > 15) {
        value = arg.substr(16);
      } else if (i + 1 < args.size() && !LooksLikeOption(args[i + 1])) {
        value = args[++i];
      }
      if (!ReadSeconds(value, &o.checkTimeout)) return Fail(error, "--check-timeout takes seconds from 1 to 86400");
    } else if (arg.size() > 1 && arg[0] == '-') {
      const std::size_t equals = arg.find('=');
      const std::string name = arg.substr(0, equals);
      std::string* value = ValueOption(name, &o);
      if (value == nullptr) return Fail(error, "unknown option " + name);
      if (equals != std::string::npos) {
        *value = arg.substr(equals + 1);
      } else if (i + 1 < args.size() && !LooksLikeOption(args[i + 1])) {
        *value = args[++i];
      } else {
        return Fail(error, "option " + name + " needs a value");
      }
      if (value->empty()) return Fail(error, "option " + name + " needs a value");
    } else {
      words.push_back(arg);
    }
  }
  if (help || version) {
    o.command = help ? Command::Help : Command::Version;
    *options = o;
    return true;
  }
  if (words.empty()) return Fail(error, "no command given");
  for (const CommandName& c : kCommands) {
    if (words[0] == c.name) o.command = c.command;
  }
  if (o.command == Command::None) return Fail(error, "unknown command " + words[0]);

  // send and info take one song or more, convert exactly one, the others none.
  const bool takesSongs = o.command == Command::Send || o.command == Command::Info;
  const bool takesSong = takesSongs || o.command == Command::Convert;
  const std::size_t expected = takesSong ? 2 : 1;
  if (words.size() < expected) return Fail(error, words[0] + " needs a song file");
  if (words.size() > expected && !takesSongs) return Fail(error, "unexpected argument " + words[expected]);
  if (takesSong) {
    o.songs.assign(words.begin() + 1, words.end());
    o.song = o.songs.front();
  }
  if (std::count(o.songs.begin(), o.songs.end(), "-") > 1) return Fail(error, "standard input (-) is one song only");

  const bool takesSlot = o.command == Command::Send || o.command == Command::Delete;
  if (!o.slotList.empty() && o.command != Command::Send) return Fail(error, "--slots is only for send");
  if (!o.slotList.empty() && !o.slot.empty()) return Fail(error, "--slot and --slots exclude each other");
  if (!o.slotList.empty()) {
    if (!ReadSlotList(o.slotList, &o.slots)) return Fail(error, "--slots takes slots such as 3,4,7, each once");
    if (o.slots.size() != o.songs.size()) {
      return Fail(error, "--slots names " + std::to_string(o.slots.size()) + " slots for " +
                             std::to_string(o.songs.size()) + " songs");
    }
  }
  if (takesSlot && o.slot.empty() && o.slots.empty()) {
    return Fail(error, words[0] + (o.command == Command::Send ? " needs --slot N, --slot free or --slots N,M"
                                                              : " needs --slot N"));
  }
  if (!takesSlot && !o.slot.empty()) return Fail(error, "--slot is only for send and delete");
  if (o.slot == "free" && o.command != Command::Send) return Fail(error, "--slot free is only for send");
  if (o.command == Command::Convert && o.output.empty()) return Fail(error, "convert needs -o FILE");
  if (o.checkTimeout > 0 && o.command != Command::Send) return Fail(error, "--check-timeout is only for send");
  if (o.dryRun && o.command != Command::Send) return Fail(error, "--dry-run is only for send");
  if (o.json && o.output == "-") return Fail(error, "--json and -o - would both write to standard output");
  if (o.command != Command::Convert && !o.output.empty()) return Fail(error, "-o is only for convert");
  if (o.command != Command::Convert && o.command != Command::Info && !o.model.empty()) {
    return Fail(error, "--model is only for convert and info");
  }
  if (!o.api.empty() && o.api != "alsa" && o.api != "jack") return Fail(error, "--api takes alsa or jack");
  if (o.model.size() > conv::kMaxModelCodeLength) {
    return Fail(error, "--model takes a model code of at most " + std::to_string(conv::kMaxModelCodeLength) + " characters");
  }
  *options = o;
  return true;
}

bool SendsSeveral(const Options& options) { return options.songs.size() > 1 || !options.slots.empty(); }

void TakePortDefaults(Options* options) {
  auto take = [](const char* name, std::string* value, std::string* from) {
    const char* given = std::getenv(name);
    if (!value->empty() || given == nullptr || *given == '\0') return;
    *value = given;
    *from = name;
  };
  if (!options->port.empty()) return;  // --port names both directions
  take("SONGUPLOADER_IN", &options->inPort, &options->inFrom);
  take("SONGUPLOADER_OUT", &options->outPort, &options->outFrom);
  if (options->inPort.empty() || options->outPort.empty()) {
    take("SONGUPLOADER_PORT", &options->port, &options->portFrom);
  }
}

std::string HelpText() {
  return "usage: songuploader COMMAND [OPTIONS]\n"
         "\n"
         "Commands:\n"
         "  ports                        list the MIDI inputs and outputs with their numbers\n"
         "  identify                     find the keyboard; print its model type, family, slots and the\n"
         "                               converter's model code\n"
         "  list                         print the slots, the total size and the free memory\n"
         "  send SONG.mid --slot N       convert the song and send it into slot N (as list shows it;\n"
         "                               --slot free: the first empty slot); SONG - is standard input\n"
         "  send A.mid B.mid... --slot free|N, or --slots N,M,...\n"
         "                               several songs in one go: the first empty slots, slot N then the\n"
         "                               next empty ones, or the slots named; every song is converted and\n"
         "                               checked before the first is sent, and one question lists every\n"
         "                               slot that would be replaced\n"
         "  delete --slot N              delete the song in slot N\n"
         "  convert SONG.mid -o SONG.sq2 [--model CODE]\n"
         "                               write a song file (-o - or /dev/stdout: to standard output,\n"
         "                               never a terminal; devices, FIFOs and descriptors written through)\n"
         "  info SONG.mid... [--model CODE]\n"
         "                               each song's tracks, length, notes and size on the keyboard\n"
         "                               (converted for model CODE; by default as convert does)\n"
         "\n"
         "Options (short ones may share a word: -yq, -oSONG.sq2):\n"
         "  --in PORT, --out PORT        the MIDI input and output: number, ALSA address (20:0), name,\n"
         "                               client name or a part of a name only one device carries\n"
         "  --port NAME                  the same for both; by default the one device with an input and\n"
         "                               an output (not Midi Through, system ports or our own); a bare\n"
         "                               number is an ALSA client (20 is 20:0)\n"
         "  --api alsa|jack              the MIDI system (default: ALSA, else JACK)\n"
         "  -y, --yes                    answer yes to every question (replace, delete)\n"
         "  -q, --quiet                  no progress and no chatter (questions are still asked)\n"
         "  --progress                   progress lines on standard error also when it is not a terminal\n"
         "  --json                       machine-readable output: ports, identify, list and info; for\n"
         "                               send, delete and convert one result object (several songs: with\n"
         "                               a \"songs\" array, one entry per song); an object on every way\n"
         "                               out, a wrong command line included\n"
         "  --dry-run                    send: convert, find the keyboard, check the room and say what\n"
         "                               would be replaced; nothing is sent\n"
         "  --                           the end of the options (a song named -x.mid after it)\n"
         "  --type-22                    also look for a keyboard of model type 22 (slower when none answers)\n"
         "  --fresh                      search every keyboard type in the usual order instead of asking the\n"
         "                               keyboard last found on the ports first, and remember what answers\n"
         "  --check-timeout SECONDS      send: how long the keyboard's final check may last (default: no\n"
         "                               limit on a terminal, 120 s without one)\n"
         "  --no-wait                    when another songuploader talks to the keyboard on the same\n"
         "                               ports, fail at once (exit 17) instead of waiting for it to end\n"
         "  --dump                       every SysEx message sent (>) and received (<) on standard error,\n"
         "                               in hex with the time (for bug reports)\n"
         "  -h, --help                   this text\n"
         "  --version                    the program's version\n"
         "\n"
         "Exit codes:\n"
         "  0 done                        1 nothing done (answered no, empty slot)\n"
         "  2 wrong command line          3 no keyboard found\n"
         "  4 MIDI port missing or busy, a send refused\n"
         "  5 the keyboard did not answer in time\n"
         "  6 keyboard not ready          7 keyboard's supply voltage falling\n"
         "  8 not enough memory           9 transmission stopped by the keyboard\n"
         "  10 keyboard error code        11 file not found\n"
         "  12 wrong or broken file       13 file error\n"
         "  14 the slot does not hold the song after sending\n"
         "  15 an unforeseen failure (please report it)\n"
         "  16 the keyboard found has no slot of that label\n"
         "  17 another songuploader talks over the same ports (--no-wait)\n"
         "  129, 130, 143 stopped by SIGHUP, Ctrl-C, SIGTERM (the process ends by the signal)\n"
         "\n"
         "Environment:\n"
         "  SONGUPLOADER_IN, SONGUPLOADER_OUT, SONGUPLOADER_PORT\n"
         "                               the input and the output when no option names them: each is\n"
         "                               --in/--out, else --port, else SONGUPLOADER_IN/OUT, else\n"
         "                               SONGUPLOADER_PORT\n";
}

}  // namespace su::cli
