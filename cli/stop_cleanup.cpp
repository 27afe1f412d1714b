#include "cli/stop_cleanup.h"

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace su::cli {

namespace {

// Held by an unbroken write for its whole length, and for good by the cleanup before the end: the process
// ends holding it, so nothing more is written once the cleanup began.
std::recursive_mutex& Guard() {
  static std::recursive_mutex guard;
  return guard;
}

std::set<std::string>& Temporaries() {
  static std::set<std::string> paths;
  return paths;
}

std::string& JsonOpening() {
  static std::string opening;
  return opening;
}

}  // namespace

void RememberTemporary(const std::string& path) {
  std::lock_guard<std::recursive_mutex> lock(Guard());
  Temporaries().insert(path);
}

void ForgetTemporary(const std::string& path) {
  std::lock_guard<std::recursive_mutex> lock(Guard());
  Temporaries().erase(path);
}

void SetStopJsonOpening(const std::string& opening) {
  std::lock_guard<std::recursive_mutex> lock(Guard());
  JsonOpening() = opening;
}

UnbrokenWrite::UnbrokenWrite() { Guard().lock(); }

UnbrokenWrite::~UnbrokenWrite() { Guard().unlock(); }

void CleanUpBeforeEnding(int exitCode) {
  Guard().lock();
  for (const std::string& path : Temporaries()) {
    std::error_code error;
    std::filesystem::remove_all(path, error);
  }
  Temporaries().clear();
  if (JsonOpening().empty()) return;
  const std::string line =
      JsonOpening() + ",\"exitCode\":" + std::to_string(exitCode) + ",\"error\":\"stopped.\"}\n";
#if defined(_WIN32)
  (void)!_write(1, line.data(), static_cast<unsigned>(line.size()));
#else
  (void)!write(1, line.data(), line.size());
#endif
}

}  // namespace su::cli
