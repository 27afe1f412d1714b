// The lock of a pair of ports on Linux and macOS: flock on a file of its own under $XDG_RUNTIME_DIR (else the
// user's state folder). The file stays; the lock goes with the descriptor, so a run that ends in any way,
// even killed, frees the ports.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "cli/port_lock.h"
#include "transfer/keyboard_state_file.h"

namespace su::cli {

namespace {

// Where the locks are: a folder of the user's own that lives as long as the login, else the state folder.
std::filesystem::path LockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime == '/') return std::filesystem::path(runtime) / "songuploader";
  const std::filesystem::path state = KeyboardStateFile();
  return state.empty() ? std::filesystem::path() : state.parent_path();
}

}  // namespace

bool PortLock::TryOnce(const std::string& id) {
  if (fd_ < 0) {
    const std::filesystem::path folder = LockFolder();
    // Without a folder of the user's own there is nothing to lock: the run goes on unguarded rather than not
    // at all.
    if (folder.empty()) return true;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::string file = (folder / ("ports-" + id + ".lock")).string();
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
    if (fd_ < 0) return true;
  }
  for (;;) {
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return false;
    // A file system without locks: as without a folder.
    return true;
  }
}

void PortLock::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace su::cli
