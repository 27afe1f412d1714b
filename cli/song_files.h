// The files songuploader makes: the private folder a song is staged in, and a song file written where the
// user named it. Both keep the system's reason for a failure.
#pragma once

#include <string>

namespace su::cli {

// A new folder only the user can enter, made under `base` with a name nobody could take first; "" with
// `reason` (an errno value) when none could be made.
std::string MakePrivateFolder(const std::string& base, int* reason);

struct WriteResult {
  bool written = false;
  int reason = 0;  // errno of the failure when not written (0: stopped before the file took its place)
};

// Writes `bytes` to `path`. A name of one of the program's own descriptors (/dev/stdout, /dev/fd/N,
// /proc/self/fd/N) is written through that descriptor, where the shell left it (so `>> log` appends); any
// other name under /dev/ or /proc/, and an existing file that is not a regular one (a character device, a
// FIFO), is opened as given and written through, never replaced. Ordinary symbolic links are followed (a
// loop fails with ELOOP) and a regular file at their end is replaced whole or not at all: the bytes go into
// a file created exclusively beside it, with the old file's permissions (a new one gets 0666 less the
// umask), synced, then renamed over it. Where that rename would change the file's owner, group, access
// list or hard links, the file is written in place instead. An existing target that may not be written is
// refused with the system's reason. Every wait (a FIFO without a reader, a full pipe) also ends when a stop
// is requested; `goOn` is asked at each such wait and right before the file takes its place: false leaves
// the target as it was (the command is being stopped).
WriteResult WriteSongFile(const std::string& path, const std::string& bytes, bool (*goOn)());

// Whether `path` names the program's own standard output (/dev/stdout, /dev/fd/1, /proc/self/fd/1): the song
// then is the command's output, as with "-".
bool NamesStandardOutput(const std::string& path);

// Writes `bytes` to descriptor `fd` (standard output), where the shell left it, waiting for room beside a
// stop as WriteSongFile does.
WriteResult WriteToDescriptor(int fd, const std::string& bytes, bool (*goOn)());

struct ReadResult {
  bool read = false;
  int reason = 0;         // errno of the failure when not read (0: stopped, or larger than the limit)
  bool tooLarge = false;  // more than `limit` bytes came
};

// Reads a song that is not a regular file whole: descriptor `fd` (standard input) when it is 0 or more,
// else the file `path` (a FIFO, a device, /dev/stdin). Waiting for bytes (and for a FIFO's writer) also
// ends when a stop is requested.
ReadResult ReadSongStream(const std::string& path, int fd, std::size_t limit, std::string* bytes);

// Sets descriptor `fd` (standard input or output) to carry bytes unchanged: Windows consoles translate line
// ends and stop at Ctrl-Z otherwise. Nothing to do elsewhere.
void UseBinaryMode(int fd);

}  // namespace su::cli
