#include "cli/song_files.h"

#include "cli/console.h"

#include <fcntl.h>
#include <sys/stat.h>
#if !defined(_WIN32)
#include <poll.h>
#include <sys/xattr.h>
#include <unistd.h>
#else
#include <io.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

namespace su::cli {

namespace fs = std::filesystem;

namespace {

WriteResult Failed(int reason) { return WriteResult{false, reason != 0 ? reason : EIO}; }

}  // namespace

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

WriteResult WriteSongFile(const std::string& path, const std::string& bytes, bool (*goOn)()) {
  // Windows has no devices or FIFOs among paths a user names, nor links a program may follow freely: the
  // target is replaced by a file written beside it.
  const fs::path target(path);
  fs::path temporary = target;
  temporary.replace_filename("." + target.filename().string() + ".songuploader-part");
  std::FILE* out = std::fopen(temporary.string().c_str(), "wb");
  if (out == nullptr) return Failed(errno);
  const bool wrote = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  const int reason = errno;
  const bool closed = std::fclose(out) == 0;
  std::error_code error;
  if (!wrote || !closed || (goOn != nullptr && !goOn())) {
    fs::remove(temporary, error);
    return !wrote || !closed ? Failed(reason) : WriteResult{};
  }
  fs::rename(temporary, target, error);
  if (error) {
    fs::remove(temporary, error);
    return Failed(EACCES);
  }
  return WriteResult{true, 0};
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

WriteResult WriteToDescriptor(int fd, const std::string& bytes, bool (*)()) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t chunk = std::min<std::size_t>(bytes.size() - done, 1 << 16);
    const int n = _write(fd, bytes.data() + done, static_cast<unsigned>(chunk));
    if (n <= 0) return Failed(n < 0 ? errno : EIO);
    done += static_cast<std::size_t>(n);
  }
  return WriteResult{true, 0};
}

bool NamesStandardOutput(const std::string&) { return false; }

#else

namespace {

// How often a wait without a stop descriptor (tests) looks at `goOn`, and how often a FIFO without a reader
// is tried again: the system offers no wait for a reader to come.
constexpr int kLookMs = 50;

bool GoOn(bool (*goOn)()) { return goOn == nullptr || goOn(); }

// Waits until `fd` is ready for `events` or a stop is requested (then false).
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

// Follows ordinary symbolic links (relative ones from their own folder) to the file they end at, which need
// not exist yet. A loop of links fails with ELOOP, as the system's own calls do.
bool FollowLinks(fs::path path, fs::path* target, int* reason) {
  for (int step = 0; step < 40; ++step) {
    std::error_code error;
    if (!fs::is_symlink(path, error)) {
      *target = path;
      return true;
    }
    const fs::path next = fs::read_symlink(path, error);
    if (error) {
      *target = path;
      return true;
    }
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  *reason = ELOOP;
  return false;
}

// The program's own descriptor that `path` names (/dev/stdout, /dev/fd/1, /proc/self/fd/1,
// /proc/<our id>/fd/1), or -1. Such a name is a link to whatever the descriptor holds (`pipe:[N]` for a
// pipe), which no open by name can reach; the descriptor itself keeps the shell's offset and append mode.
int OwnDescriptor(const std::string& path) {
  if (path == "/dev/stdin") return 0;
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  std::string number;
  for (const std::string& prefix : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                   "/proc/" + std::to_string(::getpid()) + "/fd/"}) {
    if (path.rfind(prefix, 0) == 0) number = path.substr(prefix.size());
  }
  if (number.empty() || number.size() > 6 || number.find_first_not_of("0123456789") != std::string::npos) return -1;
  const int fd = std::stoi(number);
  return ::fcntl(fd, F_GETFD) >= 0 ? fd : -1;
}

bool SystemName(const std::string& path) { return path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0; }

// Writes every byte, waiting (and looking for a stop) whenever the descriptor takes no more for now. A
// pipe's room is announced a page at a time: no write is larger.
bool WriteAll(int fd, const std::string& bytes, bool (*goOn)(), int* reason) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const auto n = ::write(fd, bytes.data() + done, std::min<std::size_t>(bytes.size() - done, 4096));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      if (!WaitReady(fd, POLLOUT, goOn)) {
        *reason = 0;
        return false;
      }
      continue;
    }
    if (n <= 0) {
      *reason = n < 0 ? errno : EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Written through, never replaced: one of our own descriptors, or what the name opens (a device, a FIFO
// once it has a reader, a file of another process's descriptor).
}  // namespace

WriteResult WriteToDescriptor(int own, const std::string& bytes, bool (*goOn)()) {
  const int fd = ::fcntl(own, F_DUPFD_CLOEXEC, 3);
  if (fd < 0) return Failed(errno);
  // Shared with the shell: stays blocking; each write waits for room first, so a stop still ends it.
  int reason = 0;
  bool wrote = true;
  for (std::size_t done = 0; wrote && done < bytes.size(); done += 4096) {
    if (!WaitReady(fd, POLLOUT, goOn)) {
      ::close(fd);
      return WriteResult{};
    }
    wrote = WriteAll(fd, bytes.substr(done, 4096), goOn, &reason);
  }
  if (::close(fd) != 0 && wrote && errno != EINTR) return Failed(errno);
  return wrote ? WriteResult{true, 0} : reason == 0 ? WriteResult{} : Failed(reason);
}

namespace {

WriteResult WriteThrough(const std::string& path, const std::string& bytes, bool (*goOn)()) {
  int fd = -1;
  const int own = OwnDescriptor(path);
  if (own >= 0) return WriteToDescriptor(own, bytes, goOn);
  // A FIFO opened without waiting refuses (ENXIO) until a reader comes: tried again until then.
  const int flags = O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (SystemName(path) ? O_CREAT : 0);
  for (;;) {
    fd = ::open(path.c_str(), flags, 0666);
    if (fd >= 0) break;
    if (errno == EINTR) continue;
    if (errno != ENXIO) return Failed(errno);
    const int stop = StopWakeDescriptor();
    pollfd watched{stop, POLLIN, 0};
    if (!GoOn(goOn) || (stop >= 0 && ::poll(&watched, 1, kLookMs) > 0)) return WriteResult{};
    if (stop < 0) ::usleep(kLookMs * 1000);
  }
  struct stat status {};
  // A regular file reached through another process's descriptor: as `cp` and `tee` would, it is emptied.
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && ::ftruncate(fd, 0) != 0) {
    const int reason = errno;
    ::close(fd);
    return Failed(reason);
  }
  int reason = 0;
  const bool wrote = WriteAll(fd, bytes, goOn, &reason);
  if (::close(fd) != 0 && wrote && errno != EINTR) return Failed(errno);
  return wrote ? WriteResult{true, 0} : reason == 0 ? WriteResult{} : Failed(reason);
}

// Whether a file written beside `status`'s and renamed over it would differ in what the rename cannot
// carry: other names (hard links), an owner or group other than ours (once we tried to give it theirs), an
// access list.
bool RenameWouldChangeIt(const struct stat& status, const char* path, int temporaryFd) {
  if (status.st_nlink > 1) return true;
  if (::getxattr(path, "system.posix_acl_access", nullptr, 0) > 0) return true;
  struct stat fresh {};
  if (::fstat(temporaryFd, &fresh) != 0) return true;
  if (fresh.st_uid == status.st_uid && fresh.st_gid == status.st_gid) return false;
  return ::fchown(temporaryFd, status.st_uid, status.st_gid) != 0;
}

// The song written over the existing file itself, after it was written whole beside it: the file keeps
// its identity, owner, group, access list and links.
bool WriteInPlace(const char* path, const std::string& bytes, int* reason) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    *reason = errno;
    return false;
  }
  bool done = WriteAll(fd, bytes, nullptr, reason);
  if (done && ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) done = false, *reason = errno;
  if (done && ::fsync(fd) != 0) done = false, *reason = errno;
  if (::close(fd) != 0 && done) done = false, *reason = errno;
  return done;
}

}  // namespace

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

WriteResult WriteSongFile(const std::string& path, const std::string& bytes, bool (*goOn)()) {
  if (SystemName(path)) return WriteThrough(path, bytes, goOn);
  fs::path target;
  int loop = 0;
  if (!FollowLinks(path, &target, &loop)) return Failed(loop);
  struct stat status {};
  const bool exists = ::stat(target.c_str(), &status) == 0;
  if (!exists && errno != ENOENT) return Failed(errno);
  // A device or a FIFO: written through, as a shell's redirection would.
  if (exists && !S_ISREG(status.st_mode)) return WriteThrough(path, bytes, goOn);
  mode_t mode = 0;
  if (exists) {
    // An existing file that may not be written is not replaced behind its owner's back, not even by the
    // administrator, whom the system would let write a file that nobody may write.
    if ((status.st_mode & 0222) == 0) return Failed(EACCES);
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Failed(errno);
    ::close(fd);
    mode = status.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  std::vector<char> temporary(pattern.begin(), pattern.end());
  temporary.push_back('\0');
  const int fd = ::mkstemp(temporary.data());  // created exclusively, 0600 until the mode is set
  if (fd < 0) return Failed(errno);
  int reason = 0;
  bool done = WriteAll(fd, bytes, nullptr, &reason);
  const bool inPlace = done && exists && RenameWouldChangeIt(status, target.c_str(), fd);
  if (done && !inPlace && ::fchmod(fd, mode) != 0) done = false, reason = errno;
  if (done && ::fsync(fd) != 0) done = false, reason = errno;
  if (::close(fd) != 0 && done) done = false, reason = errno;
  if (done && !GoOn(goOn)) {
    ::unlink(temporary.data());
    return WriteResult{};
  }
  if (done && inPlace) {
    // The whole song was written once already: a failure now is the disk's, not the conversion's.
    done = WriteInPlace(target.c_str(), bytes, &reason);
    ::unlink(temporary.data());
    return done ? WriteResult{true, 0} : Failed(reason);
  }
  if (done && ::rename(temporary.data(), target.c_str()) != 0) done = false, reason = errno;
  if (!done) {
    ::unlink(temporary.data());
    return Failed(reason);
  }
  // The rename itself reaches the disk with the folder.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return WriteResult{true, 0};
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

bool NamesStandardOutput(const std::string& path) { return OwnDescriptor(path) == 1; }

#endif

}  // namespace su::cli
