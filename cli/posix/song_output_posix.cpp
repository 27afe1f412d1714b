// The song file written on a POSIX system: through the one descriptor that was checked, beside the target
// and renamed over it where that changes nothing else, else in place after taking the room first; names of
// the program's own descriptors written through them.
#include "cli/song_output.h"

#include "cli/console.h"
#include "cli/song_files.h"
#include "cli/stop_cleanup.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

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


namespace {

bool GoOn(bool (*goOn)()) { return goOn == nullptr || goOn(); }

// The program's own descriptor that `path` names (/dev/stdout, /dev/fd/1, /proc/self/fd/1,
// /proc/<our id>/fd/1), or -1. Such a name is a link to whatever the descriptor holds (`pipe:[N]` for a
// pipe), which no open by name can reach; the descriptor itself keeps the shell's offset and append mode.
int OwnDescriptor(const std::string& path) {
  if (path == "/dev/stdin") return 0;
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  std::string number;
  for (const std::string& prefix : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                   std::string("/proc/thread-self/fd/"),
                                   "/proc/" + std::to_string(::getpid()) + "/fd/"}) {
    if (path.rfind(prefix, 0) == 0) number = path.substr(prefix.size());
  }
  if (number.empty() || number.size() > 6 || number.find_first_not_of("0123456789") != std::string::npos) return -1;
  const int fd = std::stoi(number);
  return ::fcntl(fd, F_GETFD) >= 0 ? fd : -1;
}

// A name under /proc: a process's descriptors and the system's files, which are what they are and are
// never replaced.
bool ProcessName(const std::string& path) { return path == "/proc" || path.rfind("/proc/", 0) == 0; }

// Writes `size` bytes from `data`, waiting (and looking for a stop) whenever the descriptor takes no more
// for now. A pipe's room is announced a page at a time: no write is larger.
bool WriteAll(int fd, const char* data, std::size_t size, bool (*goOn)(), int* reason) {
  std::size_t done = 0;
  while (done < size) {
    const auto n = ::write(fd, data + done, std::min<std::size_t>(size - done, 4096));
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

// Writes `size` bytes from `data` at `offset` of a regular file.
bool WriteAt(int fd, const char* data, std::size_t size, off_t offset, int* reason) {
  std::size_t done = 0;
  while (done < size) {
    const auto n = ::pwrite(fd, data + done, std::min<std::size_t>(size - done, 1 << 20),
                            offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *reason = n < 0 ? errno : ENOSPC;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

WriteResult Ended(bool wrote, int reason, int fd) {
  const bool closed = ::close(fd) == 0 || errno == EINTR;
  if (wrote && !closed) return FailedWrite(errno);
  return wrote ? CompletedWrite() : reason == 0 ? WriteResult{} : FailedWrite(reason);
}

// Tests stop here, after the file was looked at and opened and before anything is written, to change the
// name under the program's feet: whatever then stands at the name, only the file opened is written. The
// program makes the file SU_TEST_WRITE_PAUSE names and goes on once the test removed it (10 s at most).
void PauseForTests() {
  const char* pause = std::getenv("SU_TEST_WRITE_PAUSE");
  if (pause == nullptr || *pause == '\0') return;
  const int marker = ::open(pause, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (marker >= 0) ::close(marker);
  for (int look = 0; look < 1000 && ::access(pause, F_OK) == 0; ++look) ::usleep(10 * 1000);
}

// Follows symbolic links of the last part of `given` to the name they end at, which need not exist yet.
// `system` says that the name is one of the program's own descriptors or lies under /proc (then `target` is
// that name, with its folder's links resolved): such a name is never followed further, since /dev/stdout and
// /proc/self/fd/N lead to whatever a descriptor holds, and what a name there leads to is not ours to replace.
bool Resolve(const std::string& given, fs::path* target, bool* system, int* reason) {
  fs::path path = given;
  for (int step = 0; step < 40; ++step) {
    std::error_code error;
    const fs::path folder = path.parent_path();
    const fs::path real = fs::weakly_canonical(folder.empty() ? fs::path(".") : folder, error);
    const fs::path named = error ? path.lexically_normal() : real / path.filename();
    for (const fs::path& candidate : {path.lexically_normal(), named}) {
      if (OwnDescriptor(candidate.string()) >= 0 || ProcessName(candidate.string())) {
        *target = candidate;
        *system = true;
        return true;
      }
    }
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      *target = path;
      *system = false;
      return true;
    }
    const fs::path next = fs::read_symlink(path, error);
    if (error) {
      *reason = error.value();
      return false;
    }
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  *reason = ELOOP;
  return false;
}

// Written through, never replaced: what a system name opens (a device, another process's descriptor).
WriteResult WriteThroughSystemName(const std::string& path, const std::string& bytes, bool (*goOn)()) {
  const int own = OwnDescriptor(path);
  if (own >= 0) return WriteToDescriptor(own, bytes, goOn);
  int fd = -1;
  for (;;) {
    fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0 || errno != EINTR) break;
  }
  if (fd < 0) return FailedWrite(errno);
  struct stat status {};
  // A regular file reached through another process's descriptor: as `cp` and `tee` would, it is emptied.
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && ::ftruncate(fd, 0) != 0) {
    const int reason = errno;
    ::close(fd);
    return FailedWrite(reason);
  }
  int reason = 0;
  const bool wrote = WriteAll(fd, bytes.data(), bytes.size(), goOn, &reason);
  return Ended(wrote, reason, fd);
}

// A file beside the target (in the folder `dir`), created exclusively and only for us; -1 with errno when
// none could be made. Its name keeps the target's within the longest name a folder takes.
int MakeTemporaryBeside(int dir, const std::string& name, std::string* made) {
  static std::mt19937 draw(std::random_device{}());
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  const std::string stem = "." + name.substr(0, std::min<std::size_t>(name.size(), 255 - 8));
  for (int attempt = 0; attempt < 20; ++attempt) {
    std::string candidate = stem + ".";
    for (int i = 0; i < 6; ++i) candidate += kLetters[draw() % (sizeof kLetters - 1)];
    const int fd = ::openat(dir, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      *made = candidate;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  errno = EEXIST;
  return -1;
}

// A file written beside the target and removed again however the write ends, unless Keep was called.
class Temporary {
 public:
  Temporary(int dir, std::string folder) : dir_(dir), folder_(std::move(folder)) {}
  bool Make(const std::string& name) {
    fd_ = MakeTemporaryBeside(dir_, name, &name_);
    if (fd_ >= 0) RememberTemporary(Path());
    return fd_ >= 0;
  }
  int Fd() const { return fd_; }
  const std::string& Name() const { return name_; }
  std::string Path() const { return (fs::path(folder_) / name_).string(); }
  // Closes it; false with errno when what was written may not have reached the disk.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }
  void Keep() {
    ForgetTemporary(Path());
    name_.clear();
  }
  void Remove() {
    Close();
    if (name_.empty()) return;
    ::unlinkat(dir_, name_.c_str(), 0);
    ForgetTemporary(Path());
    name_.clear();
  }
  ~Temporary() { Remove(); }
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;

 private:
  int dir_;
  std::string folder_;
  int fd_ = -1;
  std::string name_;
};

// Whether a file written beside `status`'s and renamed over it would differ in what the rename cannot
// carry: other names (hard links), an owner or group other than ours (once we tried to give it theirs), an
// access list.
bool RenameWouldChangeIt(const struct stat& status, int targetFd, int temporaryFd) {
  if (status.st_nlink > 1) return true;
  if (::fgetxattr(targetFd, "system.posix_acl_access", nullptr, 0) > 0) return true;
  struct stat fresh {};
  if (::fstat(temporaryFd, &fresh) != 0) return true;
  if (fresh.st_uid == status.st_uid && fresh.st_gid == status.st_gid) return false;
  return ::fchown(temporaryFd, status.st_uid, status.st_gid) != 0;
}

void SyncFolder(int dir) { ::fsync(dir); }

// The whole new song kept beside a file an overwrite may have damaged; "" where it could not be.
std::string KeepCopyBeside(int dir, const std::string& folder, const std::string& name, const std::string& bytes) {
  Temporary copy(dir, folder);
  int reason = 0;
  if (!copy.Make(name) || !WriteAt(copy.Fd(), bytes.data(), bytes.size(), 0, &reason) || ::fsync(copy.Fd()) != 0 ||
      !copy.Close()) {
    return "";
  }
  const std::string path = copy.Path();
  copy.Keep();
  return path;
}

// The new song written over the file `fd` itself, which keeps its identity, owner, group, access list and
// links. The room for the new length is taken first (the part past the old end is written first): when it is
// not there the old song stays whole. Overwriting the old bytes then needs no new room; it runs to its end
// whatever stop comes.
WriteResult OverwriteInPlace(int dir, const std::string& folder, const std::string& name, int fd, off_t oldSize,
                             const std::string& bytes, bool (*goOn)()) {
  const auto newSize = static_cast<off_t>(bytes.size());
  UnbrokenWrite unbroken;
  int reason = 0;
  if (newSize > oldSize) {
#if defined(__linux__)
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, oldSize, newSize - oldSize) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS && errno != EINVAL) {
      return FailedWrite(errno);
    }
#endif
    const std::size_t head = static_cast<std::size_t>(oldSize);
    if (!WriteAt(fd, bytes.data() + head, bytes.size() - head, oldSize, &reason) || ::fsync(fd) != 0) {
      if (reason == 0) reason = errno;
      (void)!::ftruncate(fd, oldSize);
      return FailedWrite(reason);
    }
  }
  if (!GoOn(goOn)) {
    if (newSize > oldSize) (void)!::ftruncate(fd, oldSize);
    return WriteResult{};
  }
  const std::size_t head = static_cast<std::size_t>(std::min(oldSize, newSize));
  bool done = WriteAt(fd, bytes.data(), head, 0, &reason);
  if (done && newSize < oldSize && ::ftruncate(fd, newSize) != 0) done = false, reason = errno;
  if (done && ::fsync(fd) != 0) done = false, reason = errno;
  if (done) return CompletedWrite();
  WriteResult result = FailedWrite(reason);
  result.damaged = true;
  result.keptCopy = KeepCopyBeside(dir, folder, name, bytes);
  return result;
}

WriteResult Changed() {
  WriteResult result = FailedWrite(EEXIST);
  result.changed = true;
  return result;
}

// The song written in place of the regular file `fd` (opened from `dir`/`name` and found to be `status`):
// beside it and renamed over it where that changes nothing else, else in place.
WriteResult ReplaceRegular(int dir, const std::string& folder, const std::string& name, int fd,
                           const struct stat& status, const std::string& bytes, bool (*goOn)()) {
  Temporary beside(dir, folder);
  int reason = 0;
  bool inPlace = !beside.Make(name) || RenameWouldChangeIt(status, fd, beside.Fd());
  if (!inPlace && !WriteAt(beside.Fd(), bytes.data(), bytes.size(), 0, &reason)) {
    // No room for a second copy: the old file's own room may be enough.
    if (reason != ENOSPC && reason != EDQUOT) return FailedWrite(reason);
    inPlace = true;
  }
  if (inPlace) {
    beside.Remove();
    return OverwriteInPlace(dir, folder, name, fd, status.st_size, bytes, goOn);
  }
  if (::fchmod(beside.Fd(), status.st_mode & 07777) != 0 || ::fsync(beside.Fd()) != 0 || !beside.Close()) {
    return FailedWrite(errno);
  }
  if (!GoOn(goOn)) return WriteResult{};
  // The name must still be the file that was checked: a file put there since is not ours to replace.
  struct stat now {};
  if (::fstatat(dir, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_dev != status.st_dev ||
      now.st_ino != status.st_ino) {
    return Changed();
  }
  if (::renameat(dir, beside.Name().c_str(), dir, name.c_str()) != 0) return FailedWrite(errno);
  beside.Keep();
  SyncFolder(dir);
  return CompletedWrite();
}

// A new file: written beside and linked in under its name only while the name is still free.
WriteResult WriteNew(int dir, const std::string& folder, const std::string& name, const std::string& bytes,
                     bool (*goOn)()) {
  Temporary beside(dir, folder);
  if (!beside.Make(name)) return FailedWrite(errno);
  PauseForTests();
  const mode_t mask = ::umask(0);
  ::umask(mask);
  int reason = 0;
  if (!WriteAt(beside.Fd(), bytes.data(), bytes.size(), 0, &reason)) return FailedWrite(reason);
  if (::fchmod(beside.Fd(), 0666 & ~mask) != 0 || ::fsync(beside.Fd()) != 0 || !beside.Close()) return FailedWrite(errno);
  if (!GoOn(goOn)) return WriteResult{};
  if (::linkat(dir, beside.Name().c_str(), dir, name.c_str(), 0) != 0) {
    if (errno == EEXIST) return Changed();
    // A file system without hard links: renamed instead.
    if (::renameat(dir, beside.Name().c_str(), dir, name.c_str()) != 0) return FailedWrite(errno);
    beside.Keep();
  }
  SyncFolder(dir);
  return CompletedWrite();
}

// One try at the file named `name` in the folder `dir`.
WriteResult WriteAtName(int dir, const std::string& folder, const std::string& name, const std::string& bytes,
                        bool (*goOn)()) {
  struct stat seen {};
  if (::fstatat(dir, name.c_str(), &seen, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno != ENOENT) return FailedWrite(errno);
    return WriteNew(dir, folder, name, bytes, goOn);
  }
  if (S_ISLNK(seen.st_mode)) return Changed();
  // An existing file that may not be written is not replaced behind its owner's back, not even by the
  // administrator, whom the system would let write a file that nobody may write.
  if (S_ISREG(seen.st_mode) && (seen.st_mode & 0222) == 0) return FailedWrite(EACCES);
  if (S_ISDIR(seen.st_mode)) return FailedWrite(EISDIR);
  int fd = -1;
  for (;;) {
    fd = ::openat(dir, name.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0 || errno == EINTR) {
      if (fd >= 0) break;
      continue;
    }
    if (errno == ELOOP) return Changed();
    // A FIFO opened without waiting refuses until a reader comes: tried again until then. Nothing else that
    // refuses so (a socket, a device without its driver) will ever take the song.
    if (errno != ENXIO || !S_ISFIFO(seen.st_mode)) return FailedWrite(errno);
    const int stop = StopWakeDescriptor();
    pollfd watched{stop, POLLIN, 0};
    if (!GoOn(goOn) || (stop >= 0 && ::poll(&watched, 1, kLookMs) > 0)) return WriteResult{};
    if (stop < 0) ::usleep(kLookMs * 1000);
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0 || status.st_dev != seen.st_dev || status.st_ino != seen.st_ino) {
    ::close(fd);
    return Changed();
  }
  PauseForTests();
  if (!S_ISREG(status.st_mode)) {
    // A device or a FIFO: written through, as a shell's redirection would.
    int reason = 0;
    const bool wrote = WriteAll(fd, bytes.data(), bytes.size(), goOn, &reason);
    return Ended(wrote, reason, fd);
  }
  WriteResult result = ReplaceRegular(dir, folder, name, fd, status, bytes, goOn);
  ::close(fd);
  return result;
}

}  // namespace

WriteResult WriteToDescriptor(int own, const std::string& bytes, bool (*goOn)()) {
  const int flags = ::fcntl(own, F_GETFL);
  if (flags < 0) return FailedWrite(errno);
  // A descriptor open for reading only (/dev/stdin on a pipe's reading end) never takes a byte.
  if ((flags & O_ACCMODE) == O_RDONLY) return FailedWrite(EBADF);
  const int fd = ::fcntl(own, F_DUPFD_CLOEXEC, 3);
  if (fd < 0) return FailedWrite(errno);
  // Shared with the shell: stays blocking; each write waits for room first, so a stop still ends it.
  int reason = 0;
  bool wrote = true;
  for (std::size_t done = 0; wrote && done < bytes.size(); done += 4096) {
    if (!WaitReady(fd, POLLOUT, goOn)) {
      ::close(fd);
      return WriteResult{};
    }
    wrote = WriteAll(fd, bytes.data() + done, std::min<std::size_t>(bytes.size() - done, 4096), goOn, &reason);
  }
  return Ended(wrote, reason, fd);
}

WriteResult WriteSongFile(const std::string& path, const std::string& bytes, bool (*goOn)()) {
  fs::path target;
  bool system = false;
  int reason = 0;
  if (!Resolve(path, &target, &system, &reason)) return FailedWrite(reason);
  if (system) return WriteThroughSystemName(target.string(), bytes, goOn);
  const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
  const std::string name = target.filename().string();
  if (name.empty() || name == "." || name == "..") return FailedWrite(EISDIR);
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return FailedWrite(errno);
  // A name that changed under us (a link or another file put in its place) is not followed again: whoever
  // changed it may have aimed it at a file of ours.
  const WriteResult result = WriteAtName(dir, folder, name, bytes, goOn);
  ::close(dir);
  return result;
}

bool NamesStandardOutput(const std::string& path) {
  fs::path target;
  bool system = false;
  int reason = 0;
  return Resolve(path, &target, &system, &reason) && system && OwnDescriptor(target.string()) == 1;
}

bool SameFile(const std::string& song, int inFd, const std::string& output, int outFd) {
  struct stat in {};
  struct stat out {};
  const bool songKnown = song == "-" ? inFd >= 0 && ::fstat(inFd, &in) == 0 : ::stat(song.c_str(), &in) == 0;
  const bool outputKnown = output == "-" ? outFd >= 0 && ::fstat(outFd, &out) == 0 : ::stat(output.c_str(), &out) == 0;
  // Two ends of one pipe are one object too, but no song is ever written over its own bytes there.
  return songKnown && outputKnown && S_ISREG(in.st_mode) && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

}  // namespace su::cli
