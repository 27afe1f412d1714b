// A clock around another whose waits also end when the command is asked to stop: for a platform whose own
// clock cannot be woken from a stop handler (the Windows console build waits on window messages). A long
// wait is cut into short looks at the stop request; once it is there the wait reports waiting input and the
// dispatch after it hands the stop to the command once (StopAtWait).
#pragma once

#include "midi/clock.h"

namespace su::cli {

class StoppableClock : public Clock {
 public:
  explicit StoppableClock(Clock& inner) : inner_(inner) {}

  EventRef NewEvent() override { return inner_.NewEvent(); }
  void DeleteEvent(EventRef event) override { inner_.DeleteEvent(event); }
  std::uint32_t Ticks() override { return inner_.Ticks(); }
  void Pause(std::uint32_t ms) override { inner_.Pause(ms); }
  Wake WaitEventOrInput(EventRef event, EventRef loss, std::uint32_t ms) override;
  void DispatchWindowMessages() override;

 private:
  bool StopPending() const;

  Clock& inner_;
  bool stopHandled_ = false;
};

}  // namespace su::cli
