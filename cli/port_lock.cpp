#include "cli/port_lock.h"

#include <chrono>
#include <cstdint>
#include <thread>

#include "cli/console.h"

namespace su::cli {

std::string PortPairId(const std::string& input, const std::string& output) {
  // FNV-1a over both names: short, the same everywhere, and no character of a port's name in a file name.
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (const char c : input + '\n' + output) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string id;
  for (int shift = 60; shift >= 0; shift -= 4) id += kDigits[(hash >> shift) & 0xF];
  return id;
}

PortLock::Result PortLock::Take(const std::string& id, bool wait, const std::function<void()>& waiting) {
  if (TryOnce(id)) return Result::Taken;
  if (!wait) return Result::Busy;
  if (waiting) waiting();
  // The other run may hold the ports for minutes (a long song, a keyboard's final check): looked at ten
  // times a second, and at every stop request.
  for (;;) {
    if (Interrupted()) return Result::Stopped;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (Interrupted()) return Result::Stopped;
    if (TryOnce(id)) return Result::Taken;
  }
}

bool HoldPorts(PortLock& lock, const std::string& input, const std::string& output, bool noWait, std::ostream& err) {
  const PortLock::Result result = lock.Take(PortPairId(input, output), !noWait, [&err] {
    err << "songuploader: another songuploader is talking to the keyboard on these ports; waiting for it to end"
           " (--no-wait: fail at once)\n";
    err.flush();
  });
  if (result == PortLock::Result::Stopped) throw InterruptedByUser{};
  return result == PortLock::Result::Taken;
}

}  // namespace su::cli
