// Where convert's song file goes: a file the user named, replaced whole or not at all, or a descriptor of ours
// written through. Every step after the name is looked up goes through the descriptor that was checked.
#pragma once

#include <string>

namespace su::cli {

struct WriteResult {
  bool written = false;
  int reason = 0;        // errno of the failure when not written (0: stopped before the file took its place)
  bool changed = false;  // another file took the name's place between looking and writing: nothing written
  bool damaged = false;  // the file was being overwritten in place when the write failed: it may be damaged
  std::string keptCopy;  // where the whole new song was kept beside it instead ("" for nowhere)
};

// Writes `bytes` to `path`.
// - A name that reaches /dev or /proc (itself, through a folder, or through symbolic links) is a system
//   file: one of the program's own descriptors (/dev/stdout, /dev/fd/N, /proc/self/fd/N) is written through
//   that descriptor, where the shell left it (`>> log` appends), and refused when it is open for reading
//   only; another name is opened as given and written through (a device, another process's descriptor).
// - Symbolic links of the last part of the name are followed (a loop fails with ELOOP); the file at their
//   end is opened once, without following a link that took its place since, and must be the one looked at.
// - A FIFO is waited for until a reader comes; any other file that is not a regular one (a device, a
//   socket) is written through, or refused at once when it cannot be opened.
// - A regular file is replaced whole: the bytes go into a file created exclusively beside it, with the old
//   file's permissions (a new one gets 0666 less the umask), synced, then renamed over it. Where that rename
//   would change the file's owner, group, access list or hard links, or no file can be made in its folder,
//   the file is overwritten in place through its descriptor, after room for the whole new song was taken:
//   when the room is not there the old song stays as it was; when the overwrite itself fails, the whole new
//   song is kept beside it where it can be, and the result says the file may be damaged.
// - An existing file that may not be written is refused with the system's reason, even for the administrator.
// Every wait (a FIFO without a reader, a full pipe) also ends when a stop is requested; `goOn` is asked at
// each such wait and right before the file takes its place: false leaves the file as it was.
WriteResult WriteSongFile(const std::string& path, const std::string& bytes, bool (*goOn)());

// Whether `path` names the program's own standard output (/dev/stdout, /dev/fd/1, /proc/self/fd/1): the song
// then is the command's output, as with "-".
bool NamesStandardOutput(const std::string& path);

// Writes `bytes` to descriptor `fd` (standard output), where the shell left it, waiting for room beside a
// stop as WriteSongFile does. A descriptor open for reading only is refused (EBADF).
WriteResult WriteToDescriptor(int fd, const std::string& bytes, bool (*goOn)());

// Whether the song and the output are one file, whatever their names: "-" is descriptor `inFd` for the song
// and `outFd` for the output; a name is looked up with its links followed. Only files that exist count.
bool SameFile(const std::string& song, int inFd, const std::string& output, int outFd);

// What each system's writer returns: a write that failed for `reason` (EIO when none is known), and one that
// completed.
WriteResult FailedWrite(int reason);
WriteResult CompletedWrite();

// The line for a song file that was not written: the file, the system's reason, and where the file was
// being overwritten when it failed, that it may be damaged and where the whole new song is.
std::string WriteFailureText(const std::string& path, const WriteResult& result);

}  // namespace su::cli
