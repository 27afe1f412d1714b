#include "midi/rtmidi/console_clock.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace su {

namespace {

struct ConsoleEvent {
  std::mutex mutex;
  std::condition_variable changed;
  bool set = false;
};

// How often a blocked wait looks at the stop request: a signal handler cannot wake a condition variable.
constexpr std::uint32_t kStopLookMs = 20;
// The longest a wait blocks before it reports a quiet wake: the waiting port session then asks the driver
// whether the device is still there, which the driver can only see by looking.
constexpr std::uint32_t kLongestBlockMs = 500;

}  // namespace

EventRef ConsoleClock::NewEvent() { return new ConsoleEvent; }

void ConsoleClock::DeleteEvent(EventRef event) { delete static_cast<ConsoleEvent*>(event); }

std::uint32_t ConsoleClock::Ticks() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void ConsoleClock::Pause(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void ConsoleClock::SetEvent(EventRef event) {
  auto* e = static_cast<ConsoleEvent*>(event);
  if (e == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(e->mutex);
    e->set = true;
  }
  e->changed.notify_all();
}

bool ConsoleClock::StopPending() { return !stopHandled_ && stopRequested_ && stopRequested_(); }

Wake ConsoleClock::WaitEventOrInput(EventRef event, std::uint32_t ms) {
  auto* e = static_cast<ConsoleEvent*>(event);
  if (e == nullptr) {
    if (StopPending()) return Wake::Messages;
    Pause(std::min(ms, kStopLookMs));
    return Wake::Quiet;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::min(ms, kLongestBlockMs));
  std::unique_lock<std::mutex> lock(e->mutex);
  for (;;) {
    if (e->set) {
      e->set = false;  // auto-reset
      return Wake::Event;
    }
    if (StopPending()) return Wake::Messages;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return Wake::Quiet;
    e->changed.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(kStopLookMs)));
  }
}

void ConsoleClock::DispatchWindowMessages() {
  if (!StopPending()) return;
  // Handled once: afterwards the waits run to their end, so a cancelled final check can still finish.
  stopHandled_ = true;
  if (onStop_) onStop_();
}

}  // namespace su
