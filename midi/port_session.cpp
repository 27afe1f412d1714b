// The MIDI port session over the installed driver and clock. One input buffer is queued with the driver at
// a time and handed back after every message taken from it; sends go one at a time and each waits for the
// driver's report. Every wait keeps the thread's window messages flowing, so dialogs stay alive (and their
// buttons work) while the keyboard is awaited.
#include "midi/port_session.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

#include "base/run_state.h"
#include "resources/message_numbers.h"

namespace su {

namespace {

struct Session {
  MidiDriver* driver = nullptr;
  Clock* clock = nullptr;
  EventRef inEvent = nullptr;   // set by the driver when a filled input buffer came back
  EventRef outEvent = nullptr;  // set by the driver when a long message has been sent
  EventRef lossEvent = nullptr;  // set by the driver when it learns the device is gone; every wait watches it
  bool staleOutDone = false;    // a send timed out: the reset's late report of it may still be in outEvent
  bool gone = false;            // the driver reported the device lost; cleared by the next successful open
  std::array<std::uint8_t, kInputBufferSize> inBuffer{};
};

Session& TheSession() {
  static Session session;
  return session;
}

// Points the one input header at the session's buffer, filled with zeros, flags 0.
void ResetInputHeader(Session& s) {
  s.inBuffer.fill(0);
  s.driver->SetInBuffer(s.inBuffer.data(), kInputBufferSize);
}

// Gives the input buffer back to the driver so the next message has somewhere to land.
void HandBackInputBuffer(Session& s) {
  s.driver->UnprepareIn();
  s.driver->ClearInHeader();
  s.driver->PrepareIn();
  s.driver->AddIn();
}

// Notes the driver's report of a lost device. Once noted it holds until the next successful open, whatever
// the driver says meanwhile.
bool NoteGone(Session& s) {
  if (!s.gone && s.driver != nullptr && s.driver->DeviceRemoved()) s.gone = true;
  return s.gone;
}

[[noreturn]] void RaiseDeviceGone() {
  DeviceGoneFailure failure;
  failure.number = IDS_TIMEOUT;
  throw failure;
}

// How long the next blocking wait may last: what is left of the time-out, but never past the moment the
// tick counter wraps, so a wrap is noticed when it happens and restarts the time-out from there.
std::uint32_t BlockFor(std::uint32_t start, std::uint32_t now) {
  if (now < start) return 0;  // wrapped already: let the quiet path restart the time
  const std::uint32_t elapsed = now - start;
  if (elapsed > kExchangeTimeoutMs) return 0;
  const std::uint64_t left = std::uint64_t{kExchangeTimeoutMs} - elapsed + 1;  // "more than" the time-out
  const std::uint64_t untilWrap = (std::uint64_t{1} << 32) - now;
  return static_cast<std::uint32_t>(std::min(left, untilWrap));
}

// One wait of the clock for `event`, the driver's report of a loss watching beside it. A reported loss is
// noted at once.
Wake WaitWatchingLoss(Session& s, Clock& clock, EventRef event, std::uint32_t ms) {
  const Wake woke = clock.WaitEventOrInput(event, s.lossEvent, ms);
  if (woke == Wake::DeviceGone) s.gone = true;
  return woke;
}

// Waits for `event` for 3000 ms measured from the start with the tick counter. Window messages that come
// in meanwhile are all dispatched, without a time check on that path, so a stream of them that never lets
// the queue run empty keeps the wait going. A wrap of the tick counter restarts the 3000 ms. A device the
// driver already reported lost (a call it refused just now) ends the wait before it begins; one reported
// lost meanwhile wakes it and ends it then.
bool AwaitEvent(Session& s, EventRef event) {
  if (NoteGone(s)) return false;
  Clock& clock = TheClock();
  std::uint32_t start = clock.Ticks();
  std::uint32_t block = BlockFor(start, start);
  for (;;) {
    const Wake woke = WaitWatchingLoss(s, clock, event, block);
    if (woke == Wake::Event) return true;
    if (NoteGone(s)) return false;
    if (woke == Wake::Messages) {
      clock.DispatchWindowMessages();
      block = BlockFor(start, clock.Ticks());
      continue;
    }
    if (woke == Wake::Failed) clock.Pause(1);  // a failing wait must not spin the processor
    const std::uint32_t now = clock.Ticks();
    if (now < start) {
      start = clock.Ticks();
    } else if (now - start > kExchangeTimeoutMs) {
      return false;
    }
    block = BlockFor(start, clock.Ticks());
  }
}

}  // namespace

void InstallMidi(MidiDriver* driver, Clock* clock) {
  // A new driver and clock know nothing of the old ones' ports and events: start from a closed session.
  Session& s = TheSession();
  s.driver = driver;
  s.clock = clock;
  s.inEvent = nullptr;
  s.outEvent = nullptr;
  s.lossEvent = nullptr;
  s.gone = false;
}

MidiDriver& TheDriver() {
  Session& s = TheSession();
  if (s.driver == nullptr) throw std::logic_error("no MIDI driver installed");
  return *s.driver;
}

Clock& TheClock() {
  Session& s = TheSession();
  if (s.clock == nullptr) throw std::logic_error("no clock installed");
  return *s.clock;
}

int OpenMidiPorts() {
  CloseMidiPorts();
  Session& s = TheSession();
  MidiDriver& driver = TheDriver();
  Clock& clock = TheClock();
  // Failing to make an event is not fatal here: the waits then simply time out.
  s.inEvent = clock.NewEvent();
  s.outEvent = clock.NewEvent();
  s.lossEvent = clock.NewEvent();
  driver.ReportLossTo(s.lossEvent);
  ResetInputHeader(s);
  const RunState& run = Run();
  if (driver.OpenIn(run.midiInIndex, s.inEvent) && driver.ResetIn() &&
      driver.OpenOut(run.midiOutIndex, s.outEvent)) {
    s.gone = false;  // a device that opens is there, whatever was noted of the last one
    return 1;
  }
  CloseMidiPorts();
  return 0;
}

int StartMidiInput() {
  Session& s = TheSession();
  MidiDriver& driver = TheDriver();
  if (NoteGone(s)) return 0;
  ResetInputHeader(s);
  driver.UnprepareIn();  // may never have been prepared
  driver.ClearInHeader();
  if (!driver.PrepareIn()) return 0;
  if (!driver.AddIn()) return 0;
  if (!driver.StartIn()) return 0;
  return 1;
}

bool DeviceGone() { return NoteGone(TheSession()); }

int SendSysEx(const std::uint8_t* bytes, std::uint32_t length) {
  Session& s = TheSession();
  MidiDriver& driver = TheDriver();
  Clock& clock = TheClock();
  if (NoteGone(s)) RaiseDeviceGone();
  // A completion left over from a send that timed out (the reset reports it) must not end this one. Only
  // then is it looked for: under load every send is one block of a song, and each look costs a system call.
  if (s.staleOutDone && s.outEvent != nullptr) clock.WaitEventOrInput(s.outEvent, nullptr, 0);
  s.staleOutDone = false;
  driver.SetOutMessage(bytes, length);
  // A refused prepare or send simply ends in the time-out, or at once when the driver reports the device lost.
  driver.PrepareOut();
  driver.SendOut();
  // The caller's bytes may be gone once we return: make the driver give them back first (this send's own
  // clean-up, the last call to a device that went away in the middle of it).
  auto takeBack = [&] {
    driver.ResetOut();
    driver.UnprepareOut();
    s.staleOutDone = true;
  };
  bool done = false;
  try {
    done = AwaitEvent(s, s.outEvent);
  } catch (...) {
    // A stop handed over by a window message while the driver still holds the bytes.
    takeBack();
    throw;
  }
  if (done) {
    driver.UnprepareOut();
    return 1;
  }
  takeBack();
  if (NoteGone(s)) RaiseDeviceGone();
  return 0;
}

int ReceiveSysEx(std::unique_ptr<std::uint8_t[]>* bytes, std::uint32_t* length) {
  Session& s = TheSession();
  MidiDriver& driver = TheDriver();
  if (NoteGone(s)) RaiseDeviceGone();
  if (!AwaitEvent(s, s.inEvent)) {
    if (s.gone) RaiseDeviceGone();
    return 0;
  }
  bytes->reset();
  *length = 0;
  const std::uint32_t recorded = std::min(driver.InBytesRecorded(), kInputBufferSize);
  if (recorded > 0) {
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[recorded]);
    std::memcpy(copy.get(), s.inBuffer.data(), recorded);
    *bytes = std::move(copy);
    *length = recorded;
  }
  HandBackInputBuffer(s);
  return 1;
}

int DrainInput() {
  Session& s = TheSession();
  Clock& clock = TheClock();
  if (NoteGone(s)) RaiseDeviceGone();
  // Only buffers that have already come back are dropped; window messages are left for the next wait.
  while (WaitWatchingLoss(s, clock, s.inEvent, 0) == Wake::Event) HandBackInputBuffer(s);
  if (s.gone) RaiseDeviceGone();
  return 1;
}

int NothingIfUnplugged(const std::function<int()>& step) {
  try {
    return step();
  } catch (const DeviceGoneFailure&) {
    return 0;
  }
}

void PauseExchange(std::uint32_t ms) {
  Session& s = TheSession();
  Clock& clock = TheClock();
  if (NoteGone(s)) RaiseDeviceGone();
  // A wait for nothing but the loss: window messages keep flowing (a dialog repaints during family B's
  // three-second pauses, and its buttons work), and a stop that the dispatch hands over ends the pause there.
  const std::uint32_t start = clock.Ticks();
  for (std::uint32_t left = ms; left > 0;) {
    const Wake woke = WaitWatchingLoss(s, clock, nullptr, left);
    if (NoteGone(s)) RaiseDeviceGone();
    if (woke == Wake::Messages) clock.DispatchWindowMessages();
    if (woke == Wake::Failed) clock.Pause(1);  // a failing wait must not spin the processor
    const std::uint32_t spent = clock.Ticks() - start;  // modulo 2^32: a wrap of the tick counter is harmless
    left = spent >= ms ? 0 : ms - spent;
  }
}

void CloseMidiPorts() {
  Session& s = TheSession();
  if (s.driver != nullptr) {
    MidiDriver& driver = *s.driver;
    if (driver.IsInOpen()) {
      // Stop, then reset so the driver returns the queued buffer, then unprepare and close.
      driver.StopIn();
      driver.ResetIn();
      driver.UnprepareIn();
      driver.CloseIn();
    }
    if (driver.IsOutOpen()) {
      // Reset first: a message the driver still holds cannot be unprepared.
      driver.ResetOut();
      driver.UnprepareOut();
      driver.CloseOut();
    }
  }
  // The driver lets go of the loss event before it is deleted: a look at the device running on a thread of
  // its own must never set a deleted (perhaps reused) event.
  if (s.driver != nullptr && s.lossEvent != nullptr) s.driver->ReportLossTo(nullptr);
  if (s.clock != nullptr) {
    if (s.inEvent != nullptr) s.clock->DeleteEvent(s.inEvent);
    if (s.outEvent != nullptr) s.clock->DeleteEvent(s.outEvent);
    if (s.lossEvent != nullptr) s.clock->DeleteEvent(s.lossEvent);
  }
  s.inEvent = nullptr;
  s.outEvent = nullptr;
  s.lossEvent = nullptr;
  s.staleOutDone = false;
}

}  // namespace su
