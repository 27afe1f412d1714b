// The song file written on Windows: beside the target and renamed over it (no devices, FIFOs or links among
// the paths a user names there), and standard output written whole.
#include "cli/song_output.h"

#include "cli/console.h"
#include "cli/song_files.h"
#include "cli/stop_cleanup.h"

#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

namespace su::cli {

namespace fs = std::filesystem;


WriteResult WriteSongFile(const std::string& path, const std::string& bytes, bool (*goOn)()) {
  // Windows has no devices or FIFOs among paths a user names, nor links a program may follow freely: the
  // target is replaced by a file written beside it.
  const fs::path target(path);
  fs::path temporary = target;
  temporary.replace_filename("." + target.filename().string() + ".songuploader-part");
  std::FILE* out = std::fopen(temporary.string().c_str(), "wb");
  if (out == nullptr) return FailedWrite(errno);
  RememberTemporary(temporary.string());
  const bool wrote = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  const int reason = errno;
  const bool closed = std::fclose(out) == 0;
  std::error_code error;
  if (!wrote || !closed || (goOn != nullptr && !goOn())) {
    fs::remove(temporary, error);
    ForgetTemporary(temporary.string());
    return !wrote || !closed ? FailedWrite(reason) : WriteResult{};
  }
  fs::rename(temporary, target, error);
  ForgetTemporary(temporary.string());
  if (error) {
    fs::remove(temporary, error);
    return FailedWrite(EACCES);
  }
  return CompletedWrite();
}

WriteResult WriteToDescriptor(int fd, const std::string& bytes, bool (*)()) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t chunk = std::min<std::size_t>(bytes.size() - done, 1 << 16);
    const int n = _write(fd, bytes.data() + done, static_cast<unsigned>(chunk));
    if (n <= 0) return FailedWrite(n < 0 ? errno : EIO);
    done += static_cast<std::size_t>(n);
  }
  return CompletedWrite();
}

bool NamesStandardOutput(const std::string&) { return false; }

bool SameFile(const std::string& song, int, const std::string& output, int) {
  if (song == "-" || output == "-") return false;
  std::error_code error;
  return fs::equivalent(song, output, error);
}

}  // namespace su::cli
