// The files songuploader makes and reads besides the user's song: the private folder a song is staged in, and
// a song read from a stream. Both keep the system's reason for a failure.
#pragma once

#include <string>

namespace su::cli {

// A new folder only the user can enter, made under `base` with a name nobody could take first; "" with
// `reason` (an errno value) when none could be made.
std::string MakePrivateFolder(const std::string& base, int* reason);

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

#if !defined(_WIN32)
// How often a wait without a stop descriptor (tests) looks at its `goOn`, and how often a FIFO without a
// reader is tried again: the system offers no wait for a reader to come.
constexpr int kLookMs = 50;

// Waits until `fd` is ready for `events` (poll's) or a stop is requested or `goOn` (when set) says no: then
// false.
bool WaitReady(int fd, short events, bool (*goOn)());
#endif

}  // namespace su::cli
