#include "cli/song_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

#else

namespace {

// Follows symbolic links (relative ones from their own folder) to the file they end at, which need not
// exist yet; a loop of links ends after as many steps as the system allows.
fs::path FollowLinks(fs::path path) {
  for (int step = 0; step < 40; ++step) {
    std::error_code error;
    if (!fs::is_symlink(path, error)) return path;
    const fs::path next = fs::read_symlink(path, error);
    if (error) return path;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return path;
}

bool WriteAll(int fd, const std::string& bytes, int* reason) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const auto n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *reason = n < 0 ? errno : EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
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
  const fs::path target = FollowLinks(path);
  struct stat status {};
  const bool exists = ::stat(target.c_str(), &status) == 0;
  if (exists && !S_ISREG(status.st_mode)) {
    // A device or a FIFO: written through, as a shell's redirection would.
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Failed(errno);
    int reason = 0;
    const bool wrote = WriteAll(fd, bytes, &reason);
    if (::close(fd) != 0 && wrote) return Failed(errno);
    return wrote ? WriteResult{true, 0} : Failed(reason);
  }
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
  bool done = WriteAll(fd, bytes, &reason);
  if (done && ::fchmod(fd, mode) != 0) done = false, reason = errno;
  if (done && ::fsync(fd) != 0) done = false, reason = errno;
  if (::close(fd) != 0 && done) done = false, reason = errno;
  if (done && goOn != nullptr && !goOn()) {
    ::unlink(temporary.data());
    return WriteResult{};
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

#endif

}  // namespace su::cli
