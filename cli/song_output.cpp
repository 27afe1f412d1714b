#include "cli/song_output.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace su::cli {

WriteResult FailedWrite(int reason) {
  WriteResult result;
  result.reason = reason != 0 ? reason : EIO;
  return result;
}

WriteResult CompletedWrite() {
  WriteResult result;
  result.written = true;
  return result;
}

std::string WriteFailureText(const std::string& path, const WriteResult& result) {
  // Our own refusal of a descriptor open for reading only is the one EBADF a write can meet here.
  const std::string reason = result.reason == EBADF ? "it is open for reading only" : std::strerror(result.reason);
  const std::string text = "songuploader: cannot write " + path + ": " + reason;
  if (result.changed) {
    return "songuploader: cannot write " + path + ": another file took its place while the song was written";
  }
  if (!result.damaged) return text;
  return text + "; " + path + " may be damaged" + (result.keptCopy.empty() ? std::string(" and the new song could not be kept beside it")
                                         : "; the whole new song is in " + result.keptCopy);
}

}  // namespace su::cli
