#include <atomic>

#include "cli/console.h"
#include "cli/exit_codes.h"

namespace su::cli {

namespace {

// Set from a signal's own thread (or the console's control handler on Windows) and read by every wait: a
// lock-free atomic, so neither side can see half of it.
std::atomic<int> gStopCode{0};
std::atomic<int> gStopWakeFd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the stop request must be lock-free");

}  // namespace

void RequestStop(int exitCode) {
  int none = 0;
  gStopCode.compare_exchange_strong(none, exitCode);
}

bool Interrupted() { return gStopCode.load() != 0; }

int StopExitCode() {
  const int code = gStopCode.load();
  return code != 0 ? code : kExitInterrupted;
}

void SetInterrupted(bool interrupted) { gStopCode.store(interrupted ? kExitInterrupted : 0); }

void SetStopWakeDescriptor(int fd) { gStopWakeFd.store(fd); }

int StopWakeDescriptor() { return gStopWakeFd.load(); }

}  // namespace su::cli
