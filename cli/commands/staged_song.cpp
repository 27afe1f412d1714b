#include "cli/commands/staged_song.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <istream>
#include <system_error>

#include "base/conversion.h"
#include "base/run_state.h"
#include "cli/commands/failures.h"
#include "cli/exit_codes.h"
#include "cli/song_files.h"
#include "cli/stop_cleanup.h"
#include "converter/midi_file.h"

namespace su::cli {

namespace fs = std::filesystem;

namespace {

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

}  // namespace

StagedSong::StagedSong(const std::string& song, const Console& console) {
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

StagedSong::~StagedSong() {
  std::error_code error;
  if (!folder_.empty()) fs::remove_all(folder_, error);
  ForgetTemporary(folder_.string());
  ReleaseSongImage(Run());
}

}  // namespace su::cli
