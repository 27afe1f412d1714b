// The command line's clock on Linux: one wait watches the awaited event, the loss event and the stop request
// together, and a pause (no event awaited) still ends on a loss. Real time, with bounds that only prove a
// wait does not run out its time.
#include "midi/rtmidi/console_clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace su {
namespace {

constexpr std::uint32_t kLongWaitMs = 20000;
constexpr auto kWellBefore = std::chrono::seconds(10);

struct Outcome {
  Wake woke;
  std::chrono::steady_clock::duration took;
};

// Waits on `clock` for `event` watching `loss` while another thread, 20 ms in, sets `setLater` (when given)
// or asks to stop.
Outcome WaitWhile(ConsoleClock& clock, EventRef event, EventRef loss, EventRef setLater, std::atomic<bool>* stop) {
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (setLater != nullptr) ConsoleClock::SetEvent(setLater);
    if (stop != nullptr) *stop = true;
  });
  const auto start = std::chrono::steady_clock::now();
  const Wake woke = clock.WaitEventOrInput(event, loss, kLongWaitMs);
  const auto took = std::chrono::steady_clock::now() - start;
  other.join();
  return {woke, took};
}

TEST(ConsoleClock, AWaitEndsOnTheAwaitedEventTheLossOrAStop) {
  std::atomic<bool> stop{false};
  ConsoleClock clock([&] { return stop.load(); }, [] {});
  EventRef input = clock.NewEvent();
  EventRef loss = clock.NewEvent();

  Outcome o = WaitWhile(clock, input, loss, loss, nullptr);
  EXPECT_EQ(o.woke, Wake::DeviceGone) << "a receive ignored the reported loss";
  EXPECT_LT(o.took, kWellBefore);
  o = WaitWhile(clock, nullptr, loss, loss, nullptr);
  EXPECT_EQ(o.woke, Wake::DeviceGone) << "a pause ignored the reported loss";
  EXPECT_LT(o.took, kWellBefore);
  o = WaitWhile(clock, input, loss, input, nullptr);
  EXPECT_EQ(o.woke, Wake::Event);

  // Both set: the awaited event first, the loss at the next wait; each is taken once.
  ConsoleClock::SetEvent(input);
  ConsoleClock::SetEvent(loss);
  EXPECT_EQ(clock.WaitEventOrInput(input, loss, 0), Wake::Event);
  EXPECT_EQ(clock.WaitEventOrInput(input, loss, 0), Wake::DeviceGone);
  EXPECT_EQ(clock.WaitEventOrInput(input, loss, 0), Wake::Quiet);

  o = WaitWhile(clock, nullptr, loss, nullptr, &stop);
  EXPECT_EQ(o.woke, Wake::Messages) << "a pause ignored the stop request";
  EXPECT_LT(o.took, kWellBefore);

  clock.DeleteEvent(input);
  clock.DeleteEvent(loss);
}

}  // namespace
}  // namespace su
