// One conversation per keyboard: a run that talks to a keyboard holds a lock for its pair of ports, so that a
// second run on the same ports never puts its requests into the first one's transfer. Linux and macOS lock a
// file (released by the system however the process ends); the Windows console build a named mutex.
#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace su::cli {

// The pair's name in the lock's own name: the same ports give the same name in every run.
std::string PortPairId(const std::string& input, const std::string& output);

class PortLock {
 public:
  enum class Result {
    Taken,    // this run holds the lock (or no lock could be made at all: nothing to wait for)
    Busy,     // another run holds it and `wait` was false
    Stopped,  // a stop came while waiting
  };

  PortLock() = default;
  ~PortLock() { Release(); }
  PortLock(const PortLock&) = delete;
  PortLock& operator=(const PortLock&) = delete;

  // Takes the lock of pair `id`. When another run holds it: Busy at once without `wait`, else `waiting` is
  // called once and the lock is waited for until it is free or a stop is requested.
  Result Take(const std::string& id, bool wait, const std::function<void()>& waiting);
  void Release();

 private:
  // One attempt: true when taken (or nothing can be locked), false when another run holds it.
  bool TryOnce(const std::string& id);
  void* handle_ = nullptr;  // the mutex (Windows)
  int fd_ = -1;             // the locked file (elsewhere)
};

// Takes `lock` for the ports `input` and `output` before the command opens them. While another run holds them
// a line on `err` says so and the lock is waited for; false at once with `noWait`. A stop while waiting
// throws InterruptedByUser.
bool HoldPorts(PortLock& lock, const std::string& input, const std::string& output, bool noWait, std::ostream& err);

}  // namespace su::cli
