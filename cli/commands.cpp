#include "cli/commands.h"

#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "base/conversion.h"
#include "base/errors.h"
#include "base/messages.h"
#include "base/paths.h"
#include "base/run_state.h"
#include "base/screen.h"
#include "base/version.h"
#include "converter/midi_file.h"
#include "converter/song_facts.h"
#include "cli/console_screen.h"
#include "cli/display_width.h"
#include "cli/dump_driver.h"
#include "cli/exit_codes.h"
#include "cli/slot_cache.h"
#include "cli/song_files.h"
#include "cli/song_output.h"
#include "cli/stop_cleanup.h"
#include "transfer/families.h"
#include "transfer/send_plan.h"
#include "transfer/slot_name_text.h"
#include "cli/ports.h"
#include "cli/printable.h"
#include "cli/port_lock.h"
#include "cli/terminal_progress.h"
#include "midi/identification.h"
#include "midi/midi_driver.h"
#include "midi/port_session.h"
#include "resources/message_numbers.h"
#include "transfer/family_a/slot_operations.h"
#include "transfer/keyboard_search.h"
#include "transfer/keyboard_state_file.h"
#include "transfer/slot_list.h"

namespace su::cli {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

namespace {

constexpr char kVersion[] = "songuploader " SU_VERSION_STRING;
constexpr char kSongFileKind[] = "5";
constexpr char kSongImageKind[] = "4";
// A command's early end with an exit code and a line for standard error.
struct Stop {
  int code;
  std::string text;
};

// One JSON document on a line; bytes that are not UTF-8 (a port's name, a name the keyboard holds) are
// replaced, so the document is valid whatever the names hold.
void PrintJson(std::ostream& out, const Json& json) {
  out << json.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
}

bool ValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80            ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xE  ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    if (length == 0 || i + length > text.size()) return false;
    std::uint32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = (point << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and points past Unicode's end are not UTF-8 either.
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < kSmallest[length] || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) return false;
    i += length;
  }
  return true;
}

// A file name in a JSON document: as given (a byte that is not UTF-8 shows as U+FFFD), and where it is not
// UTF-8 also its bytes in hex under `key` + "Hex", so that a script can find the file again
// (`xxd -r -p`).
void PutName(Json& json, const std::string& key, const std::string& name) {
  json[key] = name;
  if (ValidUtf8(name)) return;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : name) {
    hex += kDigits[static_cast<unsigned char>(c) >> 4];
    hex += kDigits[static_cast<unsigned char>(c) & 0xF];
  }
  json[key + "Hex"] = hex;
}

// The first line of a message: the questions after it ("Do you want to set up...") mean nothing here.
std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string RightTrimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// A file the command could not read or write: exit 13 with the file and the system's reason.
[[noreturn]] void FileFailure(const std::string& what, const std::string& path, int reason) {
  throw Stop{kExitFileError, "songuploader: cannot " + what + " " + path + ": " + std::strerror(reason)};
}

// Copies `from` to `to` through the C library, so that a failure keeps the system's reason; a failure to
// write names `toShown`, the file the user knows of.
void CopyBytes(const std::string& from, const std::string& to, const std::string& toShown) {
  std::FILE* in = std::fopen(from.c_str(), "rb");
  if (in == nullptr) FileFailure("read", from, errno);
  std::FILE* out = std::fopen(to.c_str(), "wb");
  if (out == nullptr) {
    const int reason = errno;
    std::fclose(in);
    FileFailure("write", toShown, reason);
  }
  char buffer[1 << 15];
  int readFailed = 0;
  int writeFailed = 0;
  for (;;) {
    errno = 0;
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, in);
    if (n > 0 && std::fwrite(buffer, 1, n, out) != n) writeFailed = errno != 0 ? errno : EIO;
    if (writeFailed != 0 || n < sizeof buffer) {
      if (std::ferror(in)) readFailed = errno != 0 ? errno : EIO;
      break;
    }
  }
  if (std::fclose(out) != 0 && writeFailed == 0) writeFailed = errno != 0 ? errno : EIO;
  std::fclose(in);
  if (readFailed != 0) FileFailure("read", from, readFailed);
  if (writeFailed != 0) FileFailure("write", toShown, writeFailed);
}

std::string TooLarge(const std::string& shown) {
  return "songuploader: " + shown + ": larger than the " + std::to_string(conv::kMaxMidiBytes >> 20) +
         " MiB a song may have";
}

// Reads a song that is not a regular file (standard input, a pipe) into memory, up to the largest file
// the converter reads: the converter then finds it in a regular file like any other.
std::string ReadStream(std::istream& in, const std::string& shown) {
  std::string bytes;
  char buffer[1 << 15];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > conv::kMaxMidiBytes) {
      throw Stop{kExitFileBroken, TooLarge(shown)};
    }
  }
  if (in.bad()) FileFailure("read", shown, errno != 0 ? errno : EIO);
  return bytes;
}

// The user's song copied into a fresh folder of its own (only the user may enter it), where the converter
// writes beside it; the folder goes away with this object. "-" is standard input, named "Song" on the
// keyboard; a pipe or another file that is not a regular one is read whole first.
class StagedSong {
 public:
  StagedSong(const std::string& song, const Console& console) {
    const bool fromInput = song == "-";
    struct stat status {};
    const bool exists = !fromInput && ::stat(song.c_str(), &status) == 0;
    if (!fromInput && !exists) {
      const int reason = errno;
      throw Stop{reason == ENOENT || reason == ENOTDIR ? kExitFileNotFound : kExitFileError,
                 "songuploader: cannot read " + song + ": " + std::strerror(reason)};
    }
    if (!fromInput && S_ISDIR(status.st_mode)) {
      throw Stop{kExitFileNotFound, "songuploader: " + song + " is a folder, not a song (a .mid file)"};
    }
    // Known from its size: a file larger than any song is not copied first.
    if (!fromInput && S_ISREG(status.st_mode) && static_cast<std::uint64_t>(status.st_size) > conv::kMaxMidiBytes) {
      throw Stop{kExitFileBroken, TooLarge(song)};
    }
    // Nobody types a song: a terminal on standard input is a forgotten redirection.
    if (fromInput && console.inIsTerminal) {
      throw Stop{kExitUsage, "songuploader: standard input is a terminal; give the song with < SONG.mid or a pipe"};
    }
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    if (error) throw Stop{kExitFileError, "songuploader: no temporary folder: " + error.message()};
    int reason = 0;
    folder_ = MakePrivateFolder(base.string(), &reason);
    if (folder_.empty()) FileFailure("make a folder in", base.string(), reason);
    RememberTemporary(folder_.string());
    // A descriptor's name (/dev/fd/63 from a shell's `<(...)`) is no song's name.
    const fs::path name = fs::path(song).filename();
    const bool named = !fromInput && name.string().find_first_not_of("0123456789") != std::string::npos;
    const fs::path staged = folder_ / (named ? name : fs::path("Song.mid"));
    try {
      if (!fromInput && S_ISREG(status.st_mode)) {
        CopyBytes(song, staged.string(), staged.string());
      } else {
        const std::string shown = fromInput ? "standard input" : song;
        std::string bytes;
        if (fromInput) UseBinaryMode(0);
        if (fromInput && console.inFd < 0) {
          bytes = ReadStream(console.in, shown);
        } else {
          // Waits for the bytes beside the stop: a FIFO without a writer ends at the first signal.
          const ReadResult read = ReadSongStream(song, fromInput ? console.inFd : -1, conv::kMaxMidiBytes, &bytes);
          if (read.tooLarge) throw Stop{kExitFileBroken, TooLarge(shown)};
          if (!read.read && read.reason == 0) throw InterruptedByUser{};
          if (!read.read) FileFailure("read", shown, read.reason);
        }
        std::ofstream out(staged, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) FileFailure("write", staged.string(), errno != 0 ? errno : EIO);
      }
    } catch (...) {
      fs::remove_all(folder_, error);
      ForgetTemporary(folder_.string());
      throw;
    }
    RunState& run = Run();
    path_ = staged.string();
    run.stagedPath = path_;
    run.stagedName = staged.filename().string();
  }
  // Where the song was staged (the converter writes beside it).
  const std::string& Path() const { return path_; }

  ~StagedSong() {
    std::error_code error;
    if (!folder_.empty()) fs::remove_all(folder_, error);
    ForgetTemporary(folder_.string());
    ReleaseSongImage(Run());
  }
  StagedSong(const StagedSong&) = delete;
  StagedSong& operator=(const StagedSong&) = delete;

 private:
  fs::path folder_;
  std::string path_;
};

// Closes the ports however a command ends.
struct PortsClosed {
  ~PortsClosed() { CloseMidiPorts(); }
};

// One song of a send of several: the file the user named, staged, and what it becomes on the keyboard.
struct SongToSend {
  std::string given;                   // as the user named it
  std::unique_ptr<StagedSong> staged;
  std::string name;                    // the staged base name, as the keyboard keeps it
  std::vector<std::uint8_t> image;     // the converted song
};

// "3:25": a song's length in minutes and seconds, rounded to the nearest second.
std::string MinutesAndSeconds(std::uint64_t ms) {
  const std::uint64_t seconds = (ms + 500) / 1000;
  return std::to_string(seconds / 60) + (seconds % 60 < 10 ? ":0" : ":") + std::to_string(seconds % 60);
}

constexpr const char* kCommandNames[] = {"", "ports", "identify", "list", "send", "delete", "convert", "info"};

class Runner {
 public:
  Runner(const Options& options, Console& console, const MidiSetUp& setUpMidi)
      : o_(options),
        console_(console),
        setUpMidi_(setUpMidi),
        screen_(console, options.yes),
        chatter_(options.quiet ? silent_ : console.err),
        progressConsole_{console.out, chatter_, console.in, console.askable, console.drawBar && !options.quiet,
                         console.ask} {
    progressConsole_.errColumns = console.errColumns;
    progressConsole_.progressLines = options.progress && !options.quiet;
  }

  int Run();

 private:
  int Describe(std::exception_ptr failure, std::string* text);
  // --json: how the object a stop at once prints begins (its end is the stop's).
  std::string StopJsonOpening() const {
    return R"({"command":")" + std::string(kCommandNames[static_cast<int>(o_.command)]) + R"(","done":false)";
  }
  void SetUpMidi();
  void ReportMidiFailure(int* code);
  void Ports();
  void Connect();
  std::size_t SlotIndex();
  void Identify();
  void List();
  void Send();
  void DryRunOne();
  void RefuseUnlessAllFit(const std::vector<SongToSend>& songs, const SendPlan& plan, const Listing& listing);
  void ReportSent(const SendPlan& plan, const Listing& listing, const PlanOutcome& outcome, bool one);
  void ConvertEach(std::vector<SongToSend>& songs);
  SlotRequest RequestedSlots();
  void Delete();
  void Info();
  void InfoLine(const std::string& given, Json* entry);
  void Convert();
  void PrintListing(const Listing& listing);
  void DryRun(std::size_t slot, const std::string& songName);
  void PrintResult(int code, const std::string& failure);

  const Options& o_;
  Console& console_;
  const MidiSetUp& setUpMidi_;
  ConsoleScreen screen_;
  const FamilyEntry* family_ = nullptr;
  KeyboardSlots slots_;  // the keyboard found, as its family addresses it
  std::string tried_;  // the ports tried, for the texts of failures that concern them
  std::string slotLabel_;  // the slot the command works on, as list shows it
  std::string songShown_ = o_.song;  // the song a file failure is about ("" for none)
  PortLock portLock_;  // held while the command talks to the keyboard
  std::unique_ptr<DumpingDriver> dumper_;  // --dump: in front of the installed driver while the command runs
  MidiDriver* dumped_ = nullptr;           // the driver behind it
  bool committed_ = false;  // the command's work is done and cannot be undone by a stop
  std::ostream silent_{nullptr};  // --quiet: where progress and chatter go
  std::ostream& chatter_;         // what is said on the way: standard error, or nothing with --quiet
  Console progressConsole_;       // the console a transfer's progress is drawn on
  Json result_ = Json::object();  // --json: what send, delete or convert did
  bool jsonPrinted_ = false;      // --json: the command printed its own document
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

int Runner::Run() {
  Screen* previous = nullptr;
  try {
    previous = &TheScreen();
  } catch (const std::logic_error&) {
    // No screen yet: the program's own run.
  }
  SetScreen(&screen_);
  if (o_.json) SetStopJsonOpening(StopJsonOpening());
  int code = kExitOk;
  std::string failure;
  try {
    switch (o_.command) {
      case Command::Help: console_.out << HelpText(); break;
      case Command::Version: console_.out << kVersion << '\n'; break;
      case Command::Ports: Ports(); break;
      case Command::Identify: Identify(); break;
      case Command::List: List(); break;
      case Command::Send: Send(); break;
      case Command::Delete: Delete(); break;
      case Command::Convert: Convert(); break;
      case Command::Info: Info(); break;
      case Command::None: break;
    }
  } catch (const InterruptedByUser&) {
    code = kExitInterrupted;
  } catch (...) {
    code = Describe(std::current_exception(), &failure);
  }
  // A command stopped by the user ends as stopped, however the protocol then failed (a cancelled final
  // check reports a time-out): its failure is not shown. A stop after the command's work was done (the
  // song file in place) changes nothing.
  if (Interrupted() && !committed_) {
    code = StopExitCode();
    console_.err << "songuploader: stopped.\n";
  } else if (!failure.empty()) {
    // Every failure line starts with the program's name; the string table's texts follow it unchanged.
    const std::string name = "songuploader: ";
    console_.err << (failure.rfind(name, 0) == 0 ? "" : name) << Printable(failure, true) << '\n';
  }
  if (code != kExitOk && !(Interrupted() && !committed_)) ReportMidiFailure(&code);
  // A script reading --json gets an object on every way out: a command that prints its own document and
  // failed before it did gets the result object with the failure.
  const bool result = o_.command == Command::Send || o_.command == Command::Delete || o_.command == Command::Convert;
  const bool printing = o_.command != Command::Help && o_.command != Command::Version;
  if (o_.json && (result || (printing && code != kExitOk && !jsonPrinted_))) {
    PrintResult(code, Interrupted() && !committed_ ? "stopped." : failure);
  }
  SetStopJsonOpening("");
  if (dumper_ != nullptr) {
    CloseMidiPorts();
    InstallMidi(dumped_, &TheClock());
    dumper_.reset();
  }
  SetScreen(previous);
  return code;
}

// The exit code and the line for standard error of a failure a command raised.
int Runner::Describe(std::exception_ptr raisedFailure, std::string* failure) {
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
    if (aboutTheSong && !songShown_.empty()) *failure = songShown_ + ": " + *failure;
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

// What the MIDI system said about a call it refused (a send it would not pass on, a port gone), after the
// program's own text: a keyboard that "did not answer" was never reached.
void Runner::ReportMidiFailure(int* code) {
  MidiDriver* driver = nullptr;
  try {
    driver = &TheDriver();
  } catch (const std::logic_error&) {
    return;  // the command needed no MIDI
  }
  const std::string reason = driver->LastFailure();
  if (reason.empty()) return;
  console_.err << "songuploader: " << (DeviceGone() ? "the keyboard's MIDI port is gone: " : "MIDI: ")
               << Printable(reason) << '\n';
  // A keyboard that went away during a transfer ends it as the transfer's time-out does (message 38); one
  // that could not be reached at all is a port failure.
  if (*code == kExitTimeout && DeviceGone()) return;
  if (*code == kExitTimeout || *code == kExitNoKeyboard) *code = kExitPort;
}

void Runner::SetUpMidi() {
  std::string error;
  if (!setUpMidi_(o_, &error)) throw Stop{kExitPort, error};
  if (o_.dump && dumper_ == nullptr) {
    dumped_ = &TheDriver();
    dumper_ = std::make_unique<DumpingDriver>(*dumped_, console_.err);
    InstallMidi(dumper_.get(), &TheClock());
  }
}

void Runner::Ports() {
  SetUpMidi();
  const PortLists lists = ReadPortLists(TheDriver());
  // The pair a command would use with these options (with none, the default), marked with "*".
  PortChoice choice;
  std::string unused;
  if (!ChoosePorts(lists, o_, &choice, &unused)) choice = PortChoice{};
  if (o_.json) {
    auto array = [](const std::vector<std::string>& names, std::int32_t chosen) {
      Json ports = Json::array();
      for (std::size_t i = 0; i < names.size(); ++i) {
        ports.push_back({{"number", i}, {"name", names[i]}, {"chosen", static_cast<std::int32_t>(i) == chosen}});
      }
      return ports;
    };
    PrintJson(console_.out, {{"inputs", array(lists.inputs, choice.in)}, {"outputs", array(lists.outputs, choice.out)}});
    jsonPrinted_ = true;
    return;
  }
  auto print = [&](const char* title, const std::vector<std::string>& names, std::int32_t chosen) {
    console_.out << title << '\n';
    for (std::size_t i = 0; i < names.size(); ++i) {
      console_.out << (static_cast<std::int32_t>(i) == chosen ? "* " : "  ") << i << "  " << Printable(names[i])
                   << '\n';
    }
  };
  print("Inputs:", lists.inputs, choice.in);
  print("Outputs:", lists.outputs, choice.out);
}

void Runner::Connect() {
  if (Interrupted()) throw InterruptedByUser{};
  SetUpMidi();
  PortChoice choice;
  std::string error;
  const PortLists lists = ReadPortLists(TheDriver());
  if (!ChoosePorts(lists, o_, &choice, &error)) throw Stop{kExitPort, error};
  if (choice.bridge) console_.err << BridgeWarning() << '\n';
  RunState& run = su::Run();
  run.midiInIndex = choice.in;
  run.midiOutIndex = choice.out;
  tried_ = " (input \"" + lists.inputs[static_cast<std::size_t>(choice.in)] + "\", output \"" +
           lists.outputs[static_cast<std::size_t>(choice.out)] + "\")";
  if (!HoldPorts(portLock_, lists.inputs[static_cast<std::size_t>(choice.in)],
                 lists.outputs[static_cast<std::size_t>(choice.out)], o_.noWait, console_.err)) {
    throw Stop{kExitPortsInUse, "songuploader: another songuploader is talking to the keyboard on these ports" + tried_};
  }
  if (OpenMidiPorts() == 0) {
    const std::string busy = RightTrimmed(MessageText(IDS_DEVICE_BUSY));
    throw Stop{kExitPort, FirstLine(busy) + tried_ + busy.substr(FirstLine(busy).size())};
  }
  if (progressConsole_.drawBar) chatter_ << "Looking for the keyboard connection...\n";
  run.debugZt52 = o_.type22 ? 1 : 0;
  // The terminal shows one line for the whole search rather than each attempt, and a line more when the
  // keyboard last found on these ports is silent (so the longer search is explained).
  struct QuietSearch : SearchProgress {
    explicit QuietSearch(std::ostream& chatter) : chatter_(chatter) {}
    void Step() override {}
    void Status(int message) override { chatter_ << MessageText(message) << '\n'; }
    std::ostream& chatter_;
  } quiet(chatter_);
  FileStateStore remembered(KeyboardStateFile());
  const int found = SearchKeyboard(quiet, SearchMemory{&remembered, o_.fresh});
  family_ = found != 0 ? FamilyFor(run.modelType) : nullptr;
  if (family_ == nullptr) throw Stop{kExitNoKeyboard, FirstLine(MessageText(IDS_NO_RESPONSE)) + tried_};
  slots_ = family_->slotsOf(run.modelType, "");
  RememberSlots(o_, slots_.labels);
}

std::size_t Runner::SlotIndex() {
  const std::vector<std::string>& labels = slots_.labels;
  if (o_.slot == "free") {
    // The first slot that holds no song, from the slot table.
    Listing listing;
    {
      TerminalProgress progress(progressConsole_);
      family_->read(slots_, listing, progress);
    }
    for (std::size_t i = 0; i < listing.slots.size(); ++i) {
      if (listing.slots[i].used) continue;
      slotLabel_ = listing.slots[i].label;
      result_["slot"] = slotLabel_;
      chatter_ << "Sending into slot " << slotLabel_ << ", the first empty one.\n";
      return i;
    }
    throw Stop{kExitNoMemory, "songuploader: every slot holds a song; delete one, or name a slot to replace"};
  }
  slotLabel_ = o_.slot;
  result_["slot"] = slotLabel_;
  const auto at = std::find(labels.begin(), labels.end(), o_.slot);
  if (at != labels.end()) return static_cast<std::size_t>(at - labels.begin());
  throw Stop{kExitNoSuchSlot, "this keyboard has no slot " + o_.slot + " (its slots are " + labels.front() + " to " +
                             labels.back() + ")"};
}

void Runner::Identify() {
  PortsClosed closed;
  Connect();
  const RunState& run = su::Run();
  const std::vector<std::string>& labels = slots_.labels;
  if (o_.json) {
    PrintJson(console_.out, {{"modelType", run.modelType},
                             {"family", std::string(1, family_->letter)},
                             {"slotCount", labels.size()},
                             {"slots", labels},
                             {"modelCode", family_->modelCode()}});
    jsonPrinted_ = true;
    return;
  }
  console_.out << "Model type: " << run.modelType << "\nFamily: " << family_->letter << "\nSlots: " << labels.size()
               << " (" << labels.front() << " to " << labels.back() << ")\nModel code: " << family_->modelCode()
               << '\n';
}

void Runner::List() {
  PortsClosed closed;
  Connect();
  Listing listing;
  {
    TerminalProgress progress(progressConsole_);
    family_->read(slots_, listing, progress);
  }
  PrintListing(listing);
}

void Runner::PrintListing(const Listing& listing) {
  const RunState& run = su::Run();
  const std::uint32_t total = listing.totalSize;
  const std::uint32_t room = MemoryShown(*family_, listing);
  if (o_.json) {
    Json slots = Json::array();
    for (const SlotRow& row : listing.slots) {
      slots.push_back({{"slot", row.label},
                       {"used", row.used},
                       {"name", ReadableName(row.name)},
                       {"kb", KilobytesShown(row.size)},
                       {"bytes", row.size}});
    }
    // The kilobytes as the text listing shows them (whole kilobytes of unsigned sizes).
    Json json = {{"modelType", run.modelType}, {"family", std::string(1, family_->letter)}, {"slots", slots},
                 {"totalKB", std::stoul(family_->totalText(total))}, {"totalBytes", total}};
    const bool largest = family_->memory == MemoryFigure::LargestSong;
    json[largest ? "maxSongKB" : "freeKB"] = room / 1024;
    json[largest ? "maxSongBytes" : "freeBytes"] = room;
    PrintJson(console_.out, json);
    jsonPrinted_ = true;
    return;
  }
  char line[160];
  std::snprintf(line, sizeof line, "%-5s %-32s %s\n", "No", "Data", "Size");
  console_.out << line;
  for (const SlotRow& row : listing.slots) {
    const std::string size = KilobyteCell(row.size) + " (" + std::to_string(row.size) + " bytes)";
    // Padded by the columns a terminal gives it: the in-use marker is shown in UTF-8, two columns a character.
    std::snprintf(line, sizeof line, "%-5s ", row.label.c_str());
    console_.out << line << PaddedToColumns(ReadableName(row.name), 32) << ' ' << size << '\n';
  }
  console_.out << "Total Size: " << family_->totalText(total) << " KBytes (" << total << " bytes)\n"
               << family_->memoryLabel << ": "
               << TotalKilobytesText(room) << " KBytes (" << room << " bytes)\n";
}

// send --dry-run of one song: the slot as the user named it (or the first empty one), the song converted for
// the keyboard found, and what a send would do, from the slots as the keyboard lists them.
void Runner::DryRunOne() {
  StagedSong staged(o_.song, console_);
  PortsClosed closed;
  Connect();
  const std::size_t slot = SlotIndex();
  RunState& run = su::Run();
  run.convertedPath = ConvertStagedSong(kSongImageKind, family_->modelCode(), family_->modelInfo());
  LoadSongImageToSend();
  const std::string songName = SplitPath(run.stagedPath).name;
  slots_ = family_->slotsOf(run.modelType, songName);
  DryRun(slot, songName);
}

// Stages and converts every song for the keyboard found, before anything is sent: a song that cannot be read
// or converted ends the command with nothing sent, named in the failure.
void Runner::ConvertEach(std::vector<SongToSend>& songs) {
  RunState& run = su::Run();
  for (SongToSend& song : songs) {
    songShown_ = song.given;
    run.stagedPath = song.staged->Path();
    run.stagedName = fs::path(run.stagedPath).filename().string();
    run.convertedPath = ConvertStagedSong(kSongImageKind, family_->modelCode(), family_->modelInfo());
    LoadSongImageToSend();
    song.image.assign(run.songImage.get(), run.songImage.get() + run.songImageSize);
    ReleaseSongImage(run);
    song.name = SplitPath(run.stagedPath).name;
    if (Interrupted()) throw InterruptedByUser{};
  }
  songShown_.clear();
}

// The slots the user asked for, as indices of this keyboard's slots.
SlotRequest Runner::RequestedSlots() {
  const std::vector<std::string>& labels = slots_.labels;
  auto index = [&](const std::string& label) {
    const auto at = std::find(labels.begin(), labels.end(), label);
    if (at == labels.end()) {
      throw Stop{kExitNoSuchSlot, "this keyboard has no slot " + label + " (its slots are " + labels.front() + " to " +
                                 labels.back() + ")"};
    }
    return static_cast<std::size_t>(at - labels.begin());
  };
  SlotRequest request;
  if (!o_.slots.empty()) {
    request.kind = SlotRequest::Kind::Named;
    for (const std::string& label : o_.slots) request.named.push_back(index(label));
  } else if (o_.slot != "free") {
    request.kind = SlotRequest::Kind::From;
    request.first = index(o_.slot);
  }
  return request;
}

// send: every song staged and converted, the slots read once and the plan made (one song is a plan of one);
// a song without a slot or without room ends the command before anything is sent. One question covers every
// slot that would be replaced; then the songs go out one after another over the one connection, and the
// slots are read once at the end: that reading says what became of each song.
void Runner::Send() {
  const bool one = !SendsSeveral(o_);
  if (one && o_.dryRun) {
    DryRunOne();
    return;
  }
  std::vector<SongToSend> songs;
  for (const std::string& given : one ? std::vector<std::string>{o_.song} : o_.songs) {
    songShown_ = given;
    SongToSend song;
    song.given = given;
    song.staged = std::make_unique<StagedSong>(given, console_);
    songs.push_back(std::move(song));
  }
  PortsClosed closed;
  Connect();
  const SlotRequest request = RequestedSlots();
  if (one && request.kind != SlotRequest::Kind::FirstFree) {
    slotLabel_ = o_.slot;
    result_["slot"] = slotLabel_;
  }
  ConvertEach(songs);

  Listing listing;
  {
    TerminalProgress progress(progressConsole_);
    family_->read(slots_, listing, progress);
  }
  std::vector<PlannedSong> wanted;
  for (const SongToSend& song : songs) {
    PlannedSong planned;
    planned.name = song.name;
    planned.size = static_cast<std::uint32_t>(song.image.size());
    wanted.push_back(planned);
  }
  SendPlan plan;
  try {
    plan = MakePlan(*family_, listing, wanted, request);
  } catch (const PlanRefused& refused) {
    throw Stop{kExitUsage, refused.reason};
  }
  if (one) {
    const PlannedSong& song = plan.songs.front();
    if (!song.hasSlot) {
      throw Stop{kExitNoMemory, "songuploader: every slot holds a song; delete one, or name a slot to replace"};
    }
    slotLabel_ = listing.slots[song.slot].label;
    result_["slot"] = slotLabel_;
    if (request.kind == SlotRequest::Kind::FirstFree) {
      chatter_ << "Sending into slot " << slotLabel_ << ", the first empty one.\n";
    }
    if (!song.fits) throw Stop{kExitNoMemory, RightTrimmed(MessageText(family_->noRoomMessage))};
  } else {
    RefuseUnlessAllFit(songs, plan, listing);
    if (o_.dryRun) return;
  }

  // One question for every slot whose song would be replaced (one song: the dialogs' question).
  std::string replaced;
  for (const PlannedSong& song : plan.songs) {
    if (!song.replaces) continue;
    replaced += "  slot " + listing.slots[song.slot].label + ": \"" + ReadableName(RightTrimmed(song.replacedName)) +
                "\" (" + std::to_string(song.replacedSize) + " bytes) by \"" + Printable(song.name) + "\"\n";
  }
  const std::string question = one ? MessageText(IDS_ALREADY_EXIST)
                                   : "These slots hold songs that would be replaced:\n" + replaced +
                                         "Do you want to replace them?";
  if (!replaced.empty() && !screen_.Confirm(question)) throw Stop{kExitDeclined, ""};

  std::vector<std::vector<std::uint8_t>> images;
  for (SongToSend& song : songs) images.push_back(std::move(song.image));
  AnsweredPrompts prompts;
  PlanOutcome outcome;
  {
    TerminalProgress progress(progressConsole_);
    // Names the song on every progress line (several songs), stops between songs once Ctrl-C was pressed,
    // and lets the reading at the end finish after a stop: it says what the keyboard now holds.
    struct SongLines : PlanProgress {
      SongLines(TerminalProgress& progress, std::ostream& chatter, const SendPlan& plan, const Listing& listing,
                bool named)
          : progress_(progress), chatter_(chatter), plan_(plan), listing_(listing), named_(named) {}
      void SongBegins(std::size_t index, std::size_t ordinal, std::size_t count) override {
        if (Interrupted()) throw InterruptedByUser{};
        if (!named_) return;
        const PlannedSong& song = plan_.songs[index];
        const std::string ofCount = std::to_string(ordinal) + "/" + std::to_string(count);
        chatter_ << "Song " << ofCount << ": \"" << Printable(song.name) << "\" into slot " << listing_.slots[song.slot].label
                 << "\n";
        progress_.Label("[" + ofCount + " " + song.name + "] ");
      }
      void SongStored(std::size_t) override { progress_.Label(""); }
      void ReadingAfter() override { CheckingFlag().readingAfter = true; }
      TerminalProgress& progress_;
      std::ostream& chatter_;
      const SendPlan& plan_;
      const Listing& listing_;
      bool named_;
    } lines(progress, chatter_, plan, listing, !one);
    CheckingWaitHook& hook = CheckingFlag();
    hook.progress = &progress;
    // Without a terminal nobody can press Ctrl-C: the check then ends on its own after a while.
    hook.limitSeconds = o_.checkTimeout > 0 ? o_.checkTimeout : console_.askable ? 0 : kUnattendedCheckSeconds;
    hook.timedOut = false;
    hook.readingAfter = false;
    outcome = SendPlanned(*family_, su::Run().modelType, plan, images, progress, prompts, lines,
                          UnfitSongs::RefuseWhole);
    hook.progress = nullptr;
    hook.readingAfter = false;
  }
  ReportSent(plan, listing, outcome, one);
}

// What became of each song, from the reading after the plan, on standard output and in --json; the exit
// code is 0 only when every song is stored, else the first failure's.
void Runner::ReportSent(const SendPlan& plan, const Listing& listing, const PlanOutcome& outcome, bool one) {
  static const char* const kFates[] = {"stored", "notBegun", "failed", "declined", "unknown"};
  std::string lines;
  for (std::size_t i = 0; i < plan.songs.size(); ++i) {
    const PlannedSong& song = plan.songs[i];
    const SongOutcome& fate = outcome.songs[i];
    const std::string label = song.hasSlot ? listing.slots[song.slot].label : std::string("-");
    const std::string name = ReadableName(RightTrimmed(fate.found.name));
    if (!one) {
      Json& entry = result_["songs"][i];
      entry["stored"] = fate.fate == SongFate::Stored;
      entry["outcome"] = kFates[static_cast<int>(fate.fate)];
      if (fate.fate == SongFate::Stored) entry["bytes"] = fate.found.size;
      if (fate.slotEmptied) entry["slotEmptied"] = true;
    }
    switch (fate.fate) {
      case SongFate::Stored:
        // One song names it only where the family keeps the name it was sent with, as a single send always has.
        lines += "Slot " + label + " holds " +
                 (name.empty() || (one && family_->nameField(slots_) == 0) ? std::string() : "\"" + name + "\", ") +
                 std::to_string(fate.found.size) + " bytes.\n";
        if (one) result_ = {{"slot", label}, {"name", name}, {"bytes", fate.found.size}};
        break;
      case SongFate::NotBegun:
        lines += "Not stored: \"" + song.name + "\" (slot " + label + "): not sent.\n";
        break;
      case SongFate::Declined:
        lines += "Not stored: \"" + song.name + "\" (slot " + label + "): not replaced.\n";
        break;
      case SongFate::Failed:
        lines += "Not stored: \"" + song.name + "\" (slot " + label + ")" +
                 (fate.slotEmptied ? "; slot " + label + " is now empty" : std::string()) + ".\n";
        break;
      case SongFate::Unknown:
        lines += "Unknown: \"" + song.name + "\" (slot " + label + "): the slots could not be read after sending.\n";
        break;
    }
  }
  if (outcome.AllStored()) {
    // The keyboard holds every song: a stop asked for during the reading after changes nothing.
    committed_ = true;
    if (o_.json) return;
    // One song: "Complete!" as the dialogs say it, then the slot; several: each slot, then "Complete!".
    if (one) console_.out << MessageText(IDS_COMPLETE) << '\n' << Printable(lines, true);
    else console_.out << Printable(lines, true) << MessageText(IDS_COMPLETE) << '\n';
    return;
  }
  if (!o_.json && !(one && outcome.songs.front().fate == SongFate::Declined)) console_.out << Printable(lines, true);
  if (!outcome.failure) {
    if (outcome.Declined()) throw Stop{kExitDeclined, ""};
    throw Stop{kExitCheckFailed, "songuploader: not every song was stored"};
  }
  try {
    std::rethrow_exception(outcome.failure);
  } catch (const SongNotShown& shown) {
    const SlotRow& row = shown.found;
    throw Stop{kExitCheckFailed, "Slot " + listing.slots[plan.songs[shown.song].slot].label +
                                     " does not hold the song sent: it reports " +
                                     (row.used ? "\"" + ReadableName(row.name) + "\", " + std::to_string(row.size) + " bytes"
                                               : std::string("no song")) +
                                     "."};
  } catch (const RaisedMessage& raised) {
    if (raised.number == IDS_TIMEOUT && CheckingFlag().timedOut) {
      throw Stop{kExitTimeout, RightTrimmed(MessageText(IDS_TIMEOUT)) +
                                   "\nsonguploader: the keyboard's final check did not end within " +
                                   std::to_string(CheckingFlag().limitSeconds) + " s (--check-timeout)"};
    }
    throw;
  }
}

// Several songs: the plan as --json reports it, a dry run's lines, and the refusal of a plan that cannot be
// kept whole (a song without a slot or without room), before anything is sent.
void Runner::RefuseUnlessAllFit(const std::vector<SongToSend>& songs, const SendPlan& plan, const Listing& listing) {
  // The plan as --json reports it; "stored" is filled in once the songs are sent.
  Json entries = Json::array();
  for (std::size_t i = 0; i < plan.songs.size(); ++i) {
    const PlannedSong& song = plan.songs[i];
    const std::string shownName = ReadableName(RightTrimmed(song.replacedName));
    Json entry = Json::object();
    PutName(entry, "song", songs[i].given);
    PutName(entry, "name", song.name);
    const Json rest = {{"bytes", song.size}, {"slot", song.hasSlot ? Json(listing.slots[song.slot].label) : Json()},
                       {"fits", song.fits},
                       {"replaces", song.replaces ? Json{{"name", shownName}, {"bytes", song.replacedSize}} : Json()},
                       {"stored", false}};
    for (const auto& [key, value] : rest.items()) entry[key] = value;
    entries.push_back(entry);
  }
  result_ = Json::object();
  if (o_.dryRun) result_["dryRun"] = true;
  result_["songs"] = entries;

  // Every song is checked before the first goes out: one without a slot or without room stops them all.
  std::string refusals;
  for (std::size_t i = 0; i < plan.songs.size(); ++i) {
    const PlannedSong& song = plan.songs[i];
    if (song.fits) continue;
    std::string why;
    if (!song.hasSlot) {
      why = "no empty slot is left for it";
    } else if (family_->memory == MemoryFigure::LargestSong) {
      why = "larger than the largest song the keyboard takes (" + std::to_string(MemoryShown(*family_, listing)) +
            " bytes)";
    } else {
      why = "no room in slot " + listing.slots[song.slot].label + " after the songs before it";
    }
    refusals += songs[i].given + " (" + std::to_string(song.size) + " bytes): " + why + "\n";
  }

  if (o_.dryRun && !o_.json) {
    for (std::size_t i = 0; i < plan.songs.size(); ++i) {
      const PlannedSong& song = plan.songs[i];
      if (!song.fits) continue;
      console_.out << "Would send \"" << Printable(song.name) << "\" (" << song.size << " bytes) into slot "
                   << listing.slots[song.slot].label
                   << (song.replaces ? ", replacing \"" + ReadableName(RightTrimmed(song.replacedName)) + "\" (" +
                                           std::to_string(song.replacedSize) + " bytes)"
                                     : std::string(", which is empty"))
                   << ".\n";
    }
    if (refusals.empty()) console_.out << "Nothing was sent.\n";
  }
  if (!refusals.empty()) {
    // The family's own text when room is what is missing (not merely a slot).
    const bool noRoom = std::any_of(plan.songs.begin(), plan.songs.end(),
                                    [](const PlannedSong& song) { return song.hasSlot && !song.fits; });
    throw Stop{kExitNoMemory, refusals + "Nothing was sent." +
                                  (noRoom ? "\n" + RightTrimmed(MessageText(family_->noRoomMessage)) : std::string())};
  }
}

// info: what each song is and what it takes on the keyboard, without a keyboard. The size is the converted
// song's, for the model code given (else the converter's own default, as convert uses). As text, stops at the
// first song that cannot be read, after the lines of the songs before it, and once standard output takes no
// more; with --json every song gets its entry, a failed one with its exit code and error, and the command
// ends with the first failure's exit code.
void Runner::Info() {
  Json entries = Json::array();
  int firstFailure = kExitOk;
  for (const std::string& given : o_.songs) {
    songShown_ = given;
    if (!o_.json) {
      InfoLine(given, nullptr);
      // Each song's line as soon as it is known: a reader that went away (`| head -1`) ends the command
      // before the next song is converted.
      console_.out.flush();
      if (!console_.out) return;
      continue;
    }
    Json entry;
    try {
      InfoLine(given, &entry);
    } catch (const InterruptedByUser&) {
      throw;
    } catch (...) {
      std::string failure;
      const int code = Describe(std::current_exception(), &failure);
      if (firstFailure == kExitOk) firstFailure = code;
      const std::string name = "songuploader: ";
      if (failure.rfind(name, 0) == 0) failure = failure.substr(name.size());
      console_.err << name << Printable(failure, true) << '\n';
      entry = Json::object();
      PutName(entry, "song", given);
      entry["exitCode"] = code;
      entry["error"] = failure;
    }
    entries.push_back(entry);
  }
  songShown_.clear();
  if (!o_.json) return;
  PrintJson(console_.out, {{"model", o_.model}, {"songs", entries}});
  jsonPrinted_ = true;
  if (firstFailure != kExitOk) throw Stop{firstFailure, ""};
}

// One song of info: its line on standard output, or its entry for --json.
void Runner::InfoLine(const std::string& given, Json* entry) {
  StagedSong staged(given, console_);
  std::string bytes;
  {
    std::ifstream in(staged.Path(), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) FileFailure("read", given, errno != 0 ? errno : EIO);
  }
  conv::SongFacts facts;
  if (conv::ReadSongFacts(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), &facts) !=
      conv::MidiError::None) {
    throw RaisedMessage{IDS_FILE_BROKEN};
  }
  const std::string converted = ConvertStagedSong(kSongImageKind, o_.model, "");
  std::error_code error;
  const std::uintmax_t size = fs::file_size(converted, error);
  if (error) FileFailure("read", converted, error.value());
  if (Interrupted()) throw InterruptedByUser{};
  const std::string length = MinutesAndSeconds(facts.lengthMs);
  if (entry != nullptr) {
    *entry = Json::object();
    PutName(*entry, "song", given);
    const Json shown = {{"tracks", facts.trackCount}, {"notes", facts.noteCount}, {"lengthMs", facts.lengthMs},
                        {"length", length}, {"bytes", size}, {"kb", KilobytesShown(static_cast<std::uint32_t>(size))}};
    for (const auto& [key, value] : shown.items()) (*entry)[key] = value;
    return;
  }
  console_.out << Printable(given) << ": " << facts.trackCount << (facts.trackCount == 1 ? " track, " : " tracks, ")
               << length << ", " << facts.noteCount << (facts.noteCount == 1 ? " note, " : " notes, ")
               << KilobyteCell(static_cast<std::uint32_t>(size)) << " (" << size << " bytes) on the keyboard\n";
}

void Runner::Delete() {
  PortsClosed closed;
  Connect();
  const std::size_t slot = SlotIndex();
  const SlotRow before = family_->readSlot(slots_, slot);
  if (!before.used) throw Stop{kExitDeclined, "Slot " + slotLabel_ + " holds no song."};
  if (!screen_.Confirm(MessageText(IDS_DELETE_QUESTION))) throw Stop{kExitDeclined, ""};
  try {
    family_->erase(slots_, slot);
  } catch (const APP_EXCEPTION& error) {
    // A family C keyboard refuses a delete it is not ready for with its not-ready code: the same outcome as
    // a send it is not ready for, though the text stays the dialog's.
    if (family_->deleteNotReady(error.code)) throw Stop{kExitNotReady, FailureText(error)};
    throw;
  }
  // The keyboard has deleted the song: a stop from here on changes nothing of what the command reports.
  committed_ = true;
  result_ = {{"slot", slotLabel_}, {"name", ReadableName(RightTrimmed(before.name))}, {"bytes", before.size}};
  if (!o_.json) console_.out << MessageText(IDS_DELETE_COMPLETE) << '\n';
  bool stillUsed = false;
  {
    // The slot read back, which a stop asked for now lets finish, as the reading after a send.
    CheckingFlag().readingAfter = true;
    struct Shield {
      ~Shield() { CheckingFlag().readingAfter = false; }
    } shield;
    stillUsed = family_->readSlot(slots_, slot).used;
  }
  if (stillUsed) throw Stop{kExitCheckFailed, "Slot " + slotLabel_ + " still holds a song."};
}

void Runner::Convert() {
  PutName(result_, "song", o_.song);
  PutName(result_, "output", o_.output);
  // The song file must not take the song's place, nor a folder's, nor a terminal's screen.
  // /dev/stdout is "-" by another name: the song is then all that standard output gets.
  const bool toOutput = o_.output == "-" || NamesStandardOutput(o_.output);
  if (toOutput && o_.json) throw Stop{kExitUsage, "songuploader: --json and the song would both go to standard output"};
  if (toOutput && console_.outIsTerminal) {
    throw Stop{kExitUsage, "songuploader: standard output is a terminal; redirect it (-o - > SONG.sq2) or name a file"};
  }
  std::error_code error;
  if (!toOutput && fs::is_directory(o_.output, error)) {
    throw Stop{kExitUsage, "songuploader: " + o_.output + " is a folder"};
  }
  if (SameFile(o_.song, console_.inFd, o_.output, console_.outFd)) {
    throw Stop{kExitUsage, "songuploader: " + o_.output + " is the song itself; write the song file elsewhere"};
  }
  StagedSong staged(o_.song, console_);
  const std::string converted = ConvertStagedSong(kSongFileKind, o_.model, "");
  if (Interrupted()) throw InterruptedByUser{};
  std::string bytes;
  {
    std::ifstream in(converted, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) FileFailure("read", converted, errno != 0 ? errno : EIO);
  }
  if (toOutput) {
    // The song file is the result: nothing else goes to standard output.
    console_.out.flush();
    UseBinaryMode(1);
    if (console_.outFd < 0) {
      console_.out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    } else {
      // A reader that takes nothing (a full pipe) is waited for beside the stop.
      const WriteResult written = WriteToDescriptor(console_.outFd, bytes, [] { return !Interrupted(); });
      if (!written.written && written.reason == 0) throw InterruptedByUser{};
      if (!written.written) throw Stop{kExitFileError, WriteFailureText("standard output", written)};
    }
    committed_ = true;
    return;
  }
  const WriteResult written = WriteSongFile(o_.output, bytes, [] { return !Interrupted(); });
  if (!written.written && written.reason == 0) throw InterruptedByUser{};
  if (!written.written) throw Stop{kExitFileError, WriteFailureText(o_.output, written)};
  // From here on the file is there: a stop now changes nothing of what the command reports.
  committed_ = true;
  result_["bytes"] = bytes.size();
  if (!o_.json) console_.out << Printable(FormatSavedMessage(MessageText(IDS_SAVED), o_.output), true) << '\n';
}

// send --dry-run: what the send would do, from the slots as the keyboard lists them, with the room judged by
// the plan's rule (the rule of a single send: family B's largest song, else the free memory with the room the
// replaced song makes; a family C keyboard has the last word when the song is announced).
void Runner::DryRun(std::size_t slot, const std::string& songName) {
  Listing listing;
  {
    TerminalProgress progress(progressConsole_);
    family_->read(slots_, listing, progress);
  }
  const SlotRow& row = listing.slots.at(slot);
  const std::uint32_t size = su::Run().songImageSize;
  PlannedSong song;
  song.name = songName;
  song.size = size;
  const SendPlan plan = MakePlan(*family_, listing, {song}, SlotRequest{SlotRequest::Kind::Named, 0, {slot}});
  const bool room = plan.AllFit();
  const std::string shownName = ReadableName(RightTrimmed(row.name));
  result_ = {{"dryRun", true}, {"slot", slotLabel_}, {"name", songName}, {"bytes", size}, {"room", room},
             {"replaces", row.used ? Json{{"name", shownName}, {"bytes", row.size}} : Json()}};
  if (!room) throw Stop{kExitNoMemory, RightTrimmed(MessageText(family_->noRoomMessage))};
  if (o_.json) return;
  console_.out << "Would send \"" << Printable(songName) << "\" (" << size << " bytes) into slot " << slotLabel_
               << (row.used ? ", replacing \"" + shownName + "\" (" + std::to_string(row.size) + " bytes)"
                            : std::string(", which is empty"))
               << ". Nothing was sent.\n";
}

// --json: one object for the song the command worked on, whatever the outcome.
void Runner::PrintResult(int code, const std::string& failure) {
  Json json = {{"command", kCommandNames[static_cast<int>(o_.command)]}, {"done", code == kExitOk && !o_.dryRun}};
  for (auto& [key, value] : result_.items()) json[key] = value;
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - started_;
  json["seconds"] = std::round(seconds.count() * 1000) / 1000;
  if (code != kExitOk) {
    const std::string name = "songuploader: ";
    json["exitCode"] = code;
    json["error"] = failure.rfind(name, 0) == 0 ? failure.substr(name.size()) : failure;
  }
  PrintJson(console_.out, json);
}

}  // namespace

CheckingWaitHook& CheckingFlag() {
  static CheckingWaitHook hook;
  return hook;
}

void StopAtWait() {
  TerminalProgress* progress = CheckingFlag().progress;
  int* flag = progress != nullptr ? progress->CheckingFlag() : nullptr;
  // During the keyboard's final check Ctrl-C acts as Cancel in the "Now sending..." box does; anywhere else
  // the command leaves the wait at once.
  if (flag != nullptr) {
    *flag = 1;
    if (!Interrupted()) CheckingFlag().timedOut = true;
    return;
  }
  throw InterruptedByUser{};
}

bool StopRequestedAtWait() {
  // The reading after a send runs on after one stop: it says what the keyboard now holds (a second stop still
  // ends the command at once).
  if (Interrupted()) return !CheckingFlag().readingAfter;
  const CheckingWaitHook& hook = CheckingFlag();
  if (hook.progress == nullptr || hook.limitSeconds <= 0 || hook.progress->CheckingFlag() == nullptr) return false;
  return hook.progress->CheckingFor() >= std::chrono::seconds(hook.limitSeconds);
}

std::string ReadableName(const std::string& name) { return SlotNameShown(name); }

std::string JsonString(const std::string& text) {
  return Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
}

namespace {

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
  static const char* const kWords[] = {"ports", "identify", "list", "send", "delete", "convert", "info"};
  for (const std::string& arg : args) {
    for (const char* word : kWords) {
      if (arg == word) return arg;
    }
  }
  return "";
}

bool OnlyPrints(Command command) {
  return command == Command::Ports || command == Command::Identify || command == Command::List ||
         command == Command::Info || command == Command::Help || command == Command::Version;
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
    Runner runner(options, console, setUpMidi);
    code = runner.Run();
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
