#include "cli/song_files.h"

#include "cli/console.h"

#include <fcntl.h>
#include <sys/stat.h>
#if !defined(_WIN32)
#include <poll.h>
#include <unistd.h>
#else
#include <io.h>
#endif

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

namespace su::cli {

namespace fs = std::filesystem;

#if defined(_WIN32)

std::string MakePrivateFolder(const std::string& base, int* reason) {
  std::random_device seed;
  for (int attempt = 0; attempt < 20; ++attempt) {
    const fs::path candidate = fs::path(base) / ("songuploader-" + std::to_string(seed() % 1000000000u));
    std::error_code error;
    if (fs::create_directory(candidate, error)) return candidate.string();
    if (error) {
      *reason = error.value();
      return "";
    }
  }
  *reason = EEXIST;
  return "";
}

ReadResult ReadSongStream(const std::string& path, int fd, std::size_t limit, std::string* bytes) {
  // Windows names no FIFOs or devices a song could be in: a descriptor (standard input), or a file read whole.
  const bool ours = fd < 0;
  if (ours) fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) return ReadResult{false, errno, false};
  ReadResult result;
  char buffer[1 << 15];
  for (;;) {
    const int n = _read(fd, buffer, sizeof buffer);
    if (n < 0) {
      result.reason = errno;
      break;
    }
    if (n == 0) {
      result.read = true;
      break;
    }
    bytes->append(buffer, static_cast<std::size_t>(n));
    if (bytes->size() > limit) {
      result.tooLarge = true;
      break;
    }
    if (Interrupted()) break;
  }
  if (ours) _close(fd);
  return result;
}

void UseBinaryMode(int fd) { _setmode(fd, _O_BINARY); }

#else

namespace {

bool GoOn(bool (*goOn)()) { return goOn == nullptr || goOn(); }

}  // namespace

bool WaitReady(int fd, short events, bool (*goOn)()) {
  const int stop = StopWakeDescriptor();
  for (;;) {
    if (!GoOn(goOn)) return false;
    pollfd watched[2] = {{fd, events, 0}, {stop, POLLIN, 0}};
    const int n = ::poll(watched, stop >= 0 ? 2 : 1, stop >= 0 ? -1 : kLookMs);
    if (n < 0 && errno != EINTR) return true;  // let the read or write itself report the failure
    if (stop >= 0 && (watched[1].revents & POLLIN) != 0) return false;
    if (n > 0 && watched[0].revents != 0) return GoOn(goOn);
  }
}

std::string MakePrivateFolder(const std::string& base, int* reason) {
  std::string pattern = (fs::path(base) / "songuploader-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) {
    *reason = errno;
    return "";
  }
  return name.data();
}

ReadResult ReadSongStream(const std::string& path, int fd, std::size_t limit, std::string* bytes) {
  // A FIFO opened without waiting for its writer; reading then waits for bytes beside the stop.
  const bool ours = fd < 0;
  if (ours) {
    for (;;) {
      fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
      if (fd >= 0 || errno != EINTR) break;
    }
    if (fd < 0) return ReadResult{false, errno, false};
  }
  ReadResult result;
  char buffer[1 << 15];
  for (;;) {
    if (!WaitReady(fd, POLLIN, [] { return !Interrupted(); })) break;
    const auto n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) {
      result.reason = errno;
      break;
    }
    if (n == 0) {
      result.read = true;
      break;
    }
    bytes->append(buffer, static_cast<std::size_t>(n));
    if (bytes->size() > limit) {
      result.tooLarge = true;
      break;
    }
  }
  if (ours) ::close(fd);
  return result;
}

void UseBinaryMode(int) {}

#endif

}  // namespace su::cli
