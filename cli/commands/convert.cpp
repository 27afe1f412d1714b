// convert: the song converted into a song file, written to the file named or to standard output.
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "base/conversion.h"
#include "base/messages.h"
#include "cli/commands/context.h"
#include "cli/commands/failures.h"
#include "cli/commands/json_output.h"
#include "cli/commands/printable.h"
#include "cli/commands/staged_song.h"
#include "cli/exit_codes.h"
#include "cli/song_files.h"
#include "cli/song_output.h"
#include "resources/message_numbers.h"

namespace su::cli {

namespace fs = std::filesystem;

void RunConvert(CommandContext& context) {
  const Options& o = context.options;
  Console& console = context.console;
  PutName(context.result, "song", o.song);
  PutName(context.result, "output", o.output);
  // The song file must not take the song's place, nor a folder's, nor a terminal's screen.
  // /dev/stdout is "-" by another name: the song is then all that standard output gets.
  const bool toOutput = o.output == "-" || NamesStandardOutput(o.output);
  if (toOutput && o.json) throw Stop{kExitUsage, "songuploader: --json and the song would both go to standard output"};
  if (toOutput && console.outIsTerminal) {
    throw Stop{kExitUsage, "songuploader: standard output is a terminal; redirect it (-o - > SONG.sq2) or name a file"};
  }
  std::error_code error;
  if (!toOutput && fs::is_directory(o.output, error)) {
    throw Stop{kExitUsage, "songuploader: " + o.output + " is a folder"};
  }
  if (SameFile(o.song, console.inFd, o.output, console.outFd)) {
    throw Stop{kExitUsage, "songuploader: " + o.output + " is the song itself; write the song file elsewhere"};
  }
  StagedSong staged(o.song, console);
  const std::string converted = ConvertStagedSong(kSongFileKind, o.model, "");
  if (Interrupted()) throw InterruptedByUser{};
  std::string bytes;
  {
    std::ifstream in(converted, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) FileFailure("read", converted, errno != 0 ? errno : EIO);
  }
  if (toOutput) {
    // The song file is the result: nothing else goes to standard output.
    console.out.flush();
    UseBinaryMode(1);
    if (console.outFd < 0) {
      console.out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    } else {
      // A reader that takes nothing (a full pipe) is waited for beside the stop.
      const WriteResult written = WriteToDescriptor(console.outFd, bytes, [] { return !Interrupted(); });
      if (!written.written && written.reason == 0) throw InterruptedByUser{};
      if (!written.written) throw Stop{kExitFileError, WriteFailureText("standard output", written)};
    }
    context.committed = true;
    return;
  }
  const WriteResult written = WriteSongFile(o.output, bytes, [] { return !Interrupted(); });
  if (!written.written && written.reason == 0) throw InterruptedByUser{};
  if (!written.written) throw Stop{kExitFileError, WriteFailureText(o.output, written)};
  // From here on the file is there: a stop now changes nothing of what the command reports.
  context.committed = true;
  context.result["bytes"] = bytes.size();
  if (!o.json) console.out << Printable(FormatSavedMessage(MessageText(IDS_SAVED), o.output), true) << '\n';
}

}  // namespace su::cli
