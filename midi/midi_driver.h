// The narrow seam in front of the operating system's MIDI services. The Windows program implements it with
// WinMM (one input header and one output header, callbacks that only set the given events); tests implement
// it with a virtual interface. The port session holds the logic; a driver only passes calls through.
#pragma once

#include <cstdint>
#include <string>

#include "midi/clock.h"

namespace su {

class MidiDriver {
 public:
  virtual ~MidiDriver() = default;

  // Device lists. A name query fails (false) for an index that names no device.
  virtual std::uint32_t InDeviceCount() = 0;
  virtual std::uint32_t OutDeviceCount() = 0;
  virtual bool InDeviceName(std::int32_t index, std::string* productName) = 0;
  virtual bool OutDeviceName(std::int32_t index, std::string* productName) = 0;

  // Input port. The driver's callback sets `filled` when a long-message buffer comes back with bytes in it.
  virtual bool OpenIn(std::int32_t index, EventRef filled) = 0;
  virtual bool IsInOpen() const = 0;
  virtual bool ResetIn() = 0;
  virtual bool StartIn() = 0;
  virtual bool StopIn() = 0;
  virtual bool CloseIn() = 0;
  // The one input header, describing `data` of `size` bytes.
  virtual void SetInBuffer(std::uint8_t* data, std::uint32_t size) = 0;
  virtual void ClearInHeader() = 0;  // flags and bytes recorded to 0
  virtual bool PrepareIn() = 0;
  virtual bool UnprepareIn() = 0;
  virtual bool AddIn() = 0;
  // How many bytes of the message that came back are in `data`. A driver may put them there only now (one
  // whose system writes into buffers of its own), so `data` is read after this call.
  virtual std::uint32_t InBytesRecorded() = 0;

  // Output port. The driver's callback sets `done` when a long message has been sent.
  virtual bool OpenOut(std::int32_t index, EventRef done) = 0;
  virtual bool IsOutOpen() const = 0;
  // The output header, describing the caller's bytes for one send.
  virtual void SetOutMessage(const std::uint8_t* data, std::uint32_t size) = 0;
  virtual bool PrepareOut() = 0;
  virtual bool SendOut() = 0;  // hands the prepared message to the driver as a long message
  virtual bool UnprepareOut() = 0;
  virtual bool ResetOut() = 0;  // the driver gives back any message it still holds
  virtual bool CloseOut() = 0;

  // The event the driver sets, once, when it learns that the device itself is gone (unplugged or switched
  // off): a send or an input buffer refused for that reason, the port reporting its loss, or the driver's own
  // look at the device. The session hands it over before it opens the ports and takes it back (nullptr)
  // before it deletes it; from then on the driver must not touch it. Every wait watches it, so a wait for the
  // keyboard ends when the loss is reported instead of running out its time. A driver that cannot tell keeps
  // the default.
  virtual void ReportLossTo(EventRef loss) { static_cast<void>(loss); }
  // True once the driver has seen the device gone, until the next successful open. Only says what the
  // driver already knows: it does no I/O. A driver that cannot tell keeps the default.
  virtual bool DeviceRemoved() const { return false; }
  // The MIDI system's own words for the last call it refused (a failed send, a port that would not open),
  // for a front end to show; "" when there were none or the driver cannot tell.
  virtual std::string LastFailure() const { return {}; }
};

}  // namespace su
