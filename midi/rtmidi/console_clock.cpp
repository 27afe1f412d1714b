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

// How often a blocked wait looks at the stop request and at the loss event: a signal handler cannot wake a
// condition variable, and one wait blocks on one event's condition variable at a time.
constexpr std::uint32_t kStopLookMs = 20;

// Takes the event if it is set (auto-reset).
bool TakeIfSet(ConsoleEvent* e) {
  if (e == nullptr) return false;
  std::lock_guard<std::mutex> lock(e->mutex);
  const bool was = e->set;
  e->set = false;
  return was;
}

}  // namespace

EventRef ConsoleClock::NewEvent() { return new ConsoleEvent; }

void ConsoleClock::DeleteEvent(EventRef event) {
  auto* e = static_cast<ConsoleEvent*>(event);
  if (e == nullptr) return;
  // A SetEvent under way on another thread ends before the event goes.
  { std::lock_guard<std::mutex> lock(e->mutex); }
  delete e;
}

std::uint32_t ConsoleClock::Ticks() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void ConsoleClock::Pause(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void ConsoleClock::SetEvent(EventRef event) {
  auto* e = static_cast<ConsoleEvent*>(event);
  if (e == nullptr) return;
  // Notified under the lock: the event may be deleted once a waiter saw it set, and DeleteEvent takes the
  // lock first, so it never frees an event this call still touches (JACK's thread sets them).
  std::lock_guard<std::mutex> lock(e->mutex);
  e->set = true;
  e->changed.notify_all();
}

bool ConsoleClock::StopPending() { return !stopHandled_ && stopRequested_ && stopRequested_(); }

Wake ConsoleClock::WaitEventOrInput(EventRef event, EventRef loss, std::uint32_t ms) {
  auto* e = static_cast<ConsoleEvent*>(event);
  auto* lost = static_cast<ConsoleEvent*>(loss);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (TakeIfSet(e)) return Wake::Event;
    if (TakeIfSet(lost)) return Wake::DeviceGone;
    if (StopPending()) return Wake::Messages;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return Wake::Quiet;
    // Blocks on the awaited event (its driver wakes it at once), looking at the loss and the stop between.
    const auto until = std::min(deadline, now + std::chrono::milliseconds(kStopLookMs));
    if (e == nullptr) {
      std::this_thread::sleep_until(until);
      continue;
    }
    std::unique_lock<std::mutex> lock(e->mutex);
    e->changed.wait_until(lock, until, [e] { return e->set; });
  }
}

void ConsoleClock::DispatchWindowMessages() {
  if (!StopPending()) return;
  // Handled once: afterwards the waits run to their end, so a cancelled final check can still finish.
  stopHandled_ = true;
  if (onStop_) onStop_();
}

}  // namespace su
