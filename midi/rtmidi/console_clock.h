// The clock of a console program: a steady millisecond tick count, sleeping, and events that a MIDI
// driver's own thread sets. A console program has no window messages; instead a wait wakes when a stop
// was requested (Ctrl-C), and the port session's dispatch then hands the stop to the program.
#pragma once

#include <functional>

#include "midi/clock.h"

namespace su {

class ConsoleClock : public Clock {
 public:
  // `stopRequested` is asked while waiting (it must be cheap and safe from any thread); once it says yes a
  // wait reports waiting input, and DispatchWindowMessages calls `onStop` once, which may throw to leave
  // the wait.
  ConsoleClock(std::function<bool()> stopRequested, std::function<void()> onStop)
      : stopRequested_(std::move(stopRequested)), onStop_(std::move(onStop)) {}

  EventRef NewEvent() override;
  void DeleteEvent(EventRef event) override;
  std::uint32_t Ticks() override;
  void Pause(std::uint32_t ms) override;
  Wake WaitEventOrInput(EventRef event, EventRef loss, std::uint32_t ms) override;
  void DispatchWindowMessages() override;

  // Sets an event made by NewEvent; safe from any thread.
  static void SetEvent(EventRef event);

 private:
  bool StopPending();

  std::function<bool()> stopRequested_;
  std::function<void()> onStop_;
  bool stopHandled_ = false;
};

}  // namespace su
