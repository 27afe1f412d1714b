// The clock and the waits of the user-interface thread: tick count, sleeping, events set by the MIDI
// driver, and waiting for an event while window messages keep flowing. The Windows program implements it
// with the system's tick counter and a message-aware wait; tests implement it with a virtual clock.
#pragma once

#include <cstdint>

namespace su {

// An auto-reset event that the driver's callback sets; opaque here.
using EventRef = void*;

enum class Wake {
  Event,     // the awaited event was set (and is reset again, being auto-reset)
  Messages,  // window-message input is waiting in the thread's queue
  Quiet,     // neither came within the time given
  Failed,    // the wait itself failed
  DeviceGone,  // a clock that looks at the MIDI device while it waits found it gone (the driver reports it)
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual EventRef NewEvent() = 0;  // auto-reset, not set, unnamed; nullptr when it cannot be made
  virtual void DeleteEvent(EventRef event) = 0;
  virtual std::uint32_t Ticks() = 0;  // milliseconds since the system started; wraps at 2^32
  virtual void Pause(std::uint32_t ms) = 0;
  // Blocks for at most `ms` milliseconds until `event` is set or window-message input arrives.
  // `ms` of 0 only looks.
  virtual Wake WaitEventOrInput(EventRef event, std::uint32_t ms) = 0;
  // Removes, translates and dispatches every waiting window message until the queue is empty.
  virtual void DispatchWindowMessages() = 0;
};

}  // namespace su
