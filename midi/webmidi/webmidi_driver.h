// The MIDI driver and the clock over the browser's Web MIDI interface: the only code that knows the browser.
// The page hands its MIDIAccess to the module (Module.suMidiAccess) before the ports are listed. The port
// session's waits await the browser (Asyncify): while one waits, the page's own events keep running, so no
// thread is needed. Input works as a driver with one queued buffer does: each SysEx message the browser
// delivers is kept in order and handed over when a buffer is queued; the event is set then.
#pragma once

#include <cstdint>
#include <string>

#include "midi/clock.h"
#include "midi/midi_driver.h"

namespace su {

class WebMidiDriver : public MidiDriver {
 public:
  std::uint32_t InDeviceCount() override;
  std::uint32_t OutDeviceCount() override;
  bool InDeviceName(std::int32_t index, std::string* productName) override;
  bool OutDeviceName(std::int32_t index, std::string* productName) override;

  bool OpenIn(std::int32_t index, EventRef filled) override;
  bool IsInOpen() const override { return inOpen_; }
  bool ResetIn() override;
  bool StartIn() override;
  bool StopIn() override;
  bool CloseIn() override;
  void SetInBuffer(std::uint8_t* data, std::uint32_t size) override;
  void ClearInHeader() override;
  bool PrepareIn() override { return inOpen_; }
  bool UnprepareIn() override { return inOpen_; }
  bool AddIn() override;
  std::uint32_t InBytesRecorded() override;

  bool OpenOut(std::int32_t index, EventRef done) override;
  bool IsOutOpen() const override { return outOpen_; }
  void SetOutMessage(const std::uint8_t* data, std::uint32_t size) override;
  bool PrepareOut() override { return outOpen_; }
  bool SendOut() override;
  bool UnprepareOut() override { return outOpen_; }
  bool ResetOut() override;
  bool CloseOut() override;

  // The loss is seen when an open port reports "disconnected" or a send is refused because the port is
  // gone; the page's side then sets the loss event.
  void ReportLossTo(EventRef loss) override;
  bool DeviceRemoved() const override;

 private:
  bool inOpen_ = false;
  bool outOpen_ = false;
  std::uint8_t* inData_ = nullptr;
  std::uint32_t inSize_ = 0;
  const std::uint8_t* outData_ = nullptr;
  std::uint32_t outSize_ = 0;
};

// Ticks from the page's monotonic clock; pauses and waits await timers and the driver's events.
class WebClock : public Clock {
 public:
  EventRef NewEvent() override;
  void DeleteEvent(EventRef event) override;
  std::uint32_t Ticks() override;
  void Pause(std::uint32_t ms) override;
  // Event when the event is (or becomes) set, DeviceGone when the loss event is, Quiet after `ms`. Messages
  // never: the browser runs the page's events during every wait.
  Wake WaitEventOrInput(EventRef event, EventRef loss, std::uint32_t ms) override;
  void DispatchWindowMessages() override {}
};

}  // namespace su
