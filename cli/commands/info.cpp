// info: what each song is and what it takes on the keyboard, without a keyboard. The size is the converted
// song's, for the model code given (else the converter's own default, as convert uses). As text, stops at the
// first song that cannot be read, after the lines of the songs before it, and once standard output takes no
// more; with --json every song gets its entry, a failed one with its exit code and error, and the command
// ends with the first failure's exit code.
#include <cerrno>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "base/conversion.h"
#include "base/errors.h"
#include "cli/commands/context.h"
#include "cli/commands/failures.h"
#include "cli/commands/json_output.h"
#include "cli/commands/printable.h"
#include "cli/commands/staged_song.h"
#include "cli/exit_codes.h"
#include "converter/song_facts.h"
#include "resources/message_numbers.h"
#include "transfer/slot_list.h"

namespace su::cli {

namespace fs = std::filesystem;

namespace {

// One song of info: its line on standard output, or its entry for --json.
void InfoLine(CommandContext& context, const std::string& given, Json* entry) {
  StagedSong staged(given, context.console);
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
  const std::string converted = ConvertStagedSong(kSongImageKind, context.options.model, "");
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
  context.console.out << Printable(given) << ": " << facts.trackCount
                      << (facts.trackCount == 1 ? " track, " : " tracks, ") << length << ", " << facts.noteCount
                      << (facts.noteCount == 1 ? " note, " : " notes, ")
                      << KilobyteCell(static_cast<std::uint32_t>(size)) << " (" << size << " bytes) on the keyboard\n";
}

}  // namespace

void RunInfo(CommandContext& context) {
  const Options& o = context.options;
  Console& console = context.console;
  Json entries = Json::array();
  int firstFailure = kExitOk;
  for (const std::string& given : o.songs) {
    context.songShown = given;
    if (!o.json) {
      InfoLine(context, given, nullptr);
      // Each song's line as soon as it is known: a reader that went away (`| head -1`) ends the command
      // before the next song is converted.
      console.out.flush();
      if (!console.out) return;
      continue;
    }
    Json entry;
    try {
      InfoLine(context, given, &entry);
    } catch (const InterruptedByUser&) {
      throw;
    } catch (...) {
      std::string failure;
      const int code = DescribeFailure(std::current_exception(), context.songShown, &failure);
      if (firstFailure == kExitOk) firstFailure = code;
      const std::string name = "songuploader: ";
      if (failure.rfind(name, 0) == 0) failure = failure.substr(name.size());
      console.err << name << Printable(failure, true) << '\n';
      entry = Json::object();
      PutName(entry, "song", given);
      entry["exitCode"] = code;
      entry["error"] = failure;
    }
    entries.push_back(entry);
  }
  context.songShown.clear();
  if (!o.json) return;
  PrintJson(console.out, {{"model", o.model}, {"songs", entries}});
  context.jsonPrinted = true;
  if (firstFailure != kExitOk) throw Stop{firstFailure, ""};
}

}  // namespace su::cli
