// The MIDI driver over WinMM: one input port with one input buffer queued at a time, one output port with one
// long message at a time, callbacks that only set the session's events, and the device's presence looked at
// through the open ports by a timer of the driver's own, which reports a loss by setting the session's loss
// event.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "midi/midi_driver.h"

namespace su {

// How often the device is looked at while ports are open: while nothing is sent (a long wait for an answer,
// the keyboard's final check) no call is refused, so only this look notices an unplugged keyboard.
constexpr DWORD kLookEveryMs = 250;

class WinMmDriver : public MidiDriver {
 public:
  WinMmDriver();
  ~WinMmDriver() override;
  WinMmDriver(const WinMmDriver&) = delete;
  WinMmDriver& operator=(const WinMmDriver&) = delete;

  std::uint32_t InDeviceCount() override;
  std::uint32_t OutDeviceCount() override;
  bool InDeviceName(std::int32_t index, std::string* productName) override;
  bool OutDeviceName(std::int32_t index, std::string* productName) override;

  bool OpenIn(std::int32_t index, EventRef filled) override;
  bool IsInOpen() const override { return in_ != nullptr; }
  bool ResetIn() override;
  bool StartIn() override;
  bool StopIn() override;
  bool CloseIn() override;
  void SetInBuffer(std::uint8_t* data, std::uint32_t size) override;
  void ClearInHeader() override;
  bool PrepareIn() override;
  bool UnprepareIn() override;
  bool AddIn() override;
  std::uint32_t InBytesRecorded() override;

  bool OpenOut(std::int32_t index, EventRef done) override;
  bool IsOutOpen() const override { return out_ != nullptr; }
  void SetOutMessage(const std::uint8_t* data, std::uint32_t size) override;
  bool PrepareOut() override;
  bool SendOut() override;
  bool UnprepareOut() override;
  bool ResetOut() override;
  bool CloseOut() override;

  // Starts (an event) or stops (nullptr) the timer that looks at the device every kLookEveryMs; stopping
  // waits for a look under way, so the event is never set after this returns.
  void ReportLossTo(EventRef loss) override;
  bool DeviceRemoved() const override { return removed_.load(); }

 private:
  // An input header with the bytes it describes. The system may write into both from the moment the header
  // is prepared until it is unprepared or its port closes; until then the pair is never changed or freed,
  // and a port that will not give it back keeps it for the rest of the run.
  struct InputBuffer {
    MIDIHDR header{};
    std::vector<std::uint8_t> bytes;
    HMIDIIN port = nullptr;     // the port it was prepared on
    bool withSystem = false;    // prepared on `port`, not yet given back
  };

  // A long message to send: a copy of the caller's bytes with its own header, so that neither is the
  // caller's to free while the system may still hold them. The same rules as for an input buffer hold.
  struct OutputMessage {
    MIDIHDR header{};
    std::vector<std::uint8_t> bytes;
    HMIDIOUT port = nullptr;   // the port it was prepared on
    bool withSystem = false;   // prepared on `port`, not yet given back
  };

  // A fresh buffer becomes the current one; the current one, when the system may still hold it, is kept aside.
  void FreshInputBuffer();
  // The same for the output message.
  void FreshOutputMessage();
  // True for success. A refusal that says the device is gone, or an unspecified error that a look through
  // the port confirms, reports the device removed so that every wait ends at once.
  bool CheckedIn(MMRESULT result);
  bool CheckedOut(MMRESULT result);
  bool LooksGone(HMIDIIN port) const;  // the capabilities query through the port fails as for a device gone
  bool LooksGone(HMIDIOUT port) const;
  void ReportGone();  // notes the loss and sets the loss event, once
  // The timer's look at the device, on a thread of the system's pool.
  static void CALLBACK OnLookTimer(PVOID self, BOOLEAN);
  void Look();

  HMIDIIN in_ = nullptr;
  HMIDIOUT out_ = nullptr;
  std::unique_ptr<InputBuffer> inBuffer_;
  std::vector<std::unique_ptr<InputBuffer>> keptAside_;
  std::uint8_t* takenTo_ = nullptr;  // where the session reads a message from, and how much it holds
  std::uint32_t takenSize_ = 0;
  std::unique_ptr<OutputMessage> outMessage_;
  std::vector<std::unique_ptr<OutputMessage>> keptAsideOut_;
  std::atomic<bool> removed_{false};
  std::atomic<HANDLE> loss_{nullptr};
  HANDLE lookTimer_ = nullptr;
  // Held while the ports' handles change or close, and by the timer's look while it uses them: a look must
  // never query a handle that is being closed (or already reused).
  SRWLOCK portsLock_ = SRWLOCK_INIT;
};

}  // namespace su
