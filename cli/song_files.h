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

// Writes `bytes` to `path`. An existing file that is not a regular one (a character device, a FIFO) is
// written through and never replaced; a symbolic link is followed and its target replaced. A regular
// target is replaced whole or not at all: the bytes go into a file created exclusively beside it, with the
// old file's permissions (a new one gets 0666 less the umask), synced, then renamed over it. An existing
// target that may not be written is refused with the system's reason. `goOn` is asked right before the
// rename: false leaves the target as it was (the command is being stopped).
WriteResult WriteSongFile(const std::string& path, const std::string& bytes, bool (*goOn)());

}  // namespace su::cli
