// The clock and the waits of the user-interface thread: tick count, sleeping, events set by the MIDI
// driver, and waiting for an event while window messages keep flowing. The Windows program implements it
// with the system's tick counter and a message-aware wait; tests implement it with a virtual clock. No clock
// knows which driver sets its events: a lost device is one more event that the driver sets (see
// MidiDriver::ReportLossTo), and every wait watches it beside the event awaited.
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
  DeviceGone,  // the loss event was set: the driver reported the device gone (and is reset again)
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual EventRef NewEvent() = 0;  // auto-reset, not set, unnamed; nullptr when it cannot be made
  virtual void DeleteEvent(EventRef event) = 0;
  virtual std::uint32_t Ticks() = 0;  // milliseconds since the system started; wraps at 2^32
  virtual void Pause(std::uint32_t ms) = 0;
  // Blocks for at most `ms` milliseconds until `event` is set, `loss` is set, or window-message input (on a
  // console: a stop request) arrives. Either event may be nullptr (nothing to wait for there); a set `event`
  // wins over a set `loss`. `ms` of 0 only looks.
  virtual Wake WaitEventOrInput(EventRef event, EventRef loss, std::uint32_t ms) = 0;
  // Removes, translates and dispatches every waiting window message until the queue is empty.
  virtual void DispatchWindowMessages() = 0;
};

}  // namespace su
