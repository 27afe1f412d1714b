#include "midi/win32/win32_midi.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstring>

#include "base/win32/settings_profile_win32.h"
#include "midi/clock.h"
#include "midi/midi_driver.h"
#include "midi/port_session.h"
#include "midi/system_affinity.h"

namespace su {

namespace {

// The events the driver's callbacks set. The callbacks run on the driver's thread and do nothing else:
// everything that touches the headers happens on the user-interface thread once the event is taken.
std::atomic<HANDLE> gInFilled{nullptr};
std::atomic<HANDLE> gOutDone{nullptr};

void CALLBACK InputCallback(HMIDIIN, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
  // A buffer that comes back holding an incomplete message (MIM_LONGERROR) is taken like a full one: the
  // receive hands it back to the driver, and its cut-off frame fails every frame check. Left alone, the one
  // input buffer would never be queued again and every later receive would time out.
  if (message != MIM_LONGDATA && message != MIM_LONGERROR) return;
  const MIDIHDR* header = reinterpret_cast<const MIDIHDR*>(param1);
  if (header == nullptr || header->dwBytesRecorded == 0) return;
  HANDLE event = gInFilled.load();
  if (event != nullptr) SetEvent(event);
}

void CALLBACK OutputCallback(HMIDIOUT, UINT message, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
  if (message != MOM_DONE) return;
  HANDLE event = gOutDone.load();
  if (event != nullptr) SetEvent(event);
}

// The results with which the system refuses a call on an open port whose device has been unplugged: the
// long-standing one (no driver behind the handle any more) and the unspecified error that newer MIDI stacks
// give in the same place.
bool MeansDeviceGone(MMRESULT result) { return result == MMSYSERR_NODRIVER || result == MMSYSERR_ERROR; }

// While nothing is sent (a long wait for an answer, the keyboard's final check) no call is refused, so the
// open output device is also asked for its capabilities now and then: that query fails the same way.
constexpr DWORD kLookEveryMs = 250;

class WinMmDriver : public MidiDriver {
 public:
  std::uint32_t InDeviceCount() override { return midiInGetNumDevs(); }
  std::uint32_t OutDeviceCount() override { return midiOutGetNumDevs(); }

  bool InDeviceName(std::int32_t index, std::string* productName) override {
    if (index < 0) return false;
    MIDIINCAPSA caps;
    std::memset(&caps, 0, sizeof caps);
    if (midiInGetDevCapsA(static_cast<UINT_PTR>(index), &caps, sizeof caps) != MMSYSERR_NOERROR) return false;
    caps.szPname[sizeof caps.szPname - 1] = '\0';
    *productName = caps.szPname;
    return true;
  }

  bool OutDeviceName(std::int32_t index, std::string* productName) override {
    if (index < 0) return false;
    MIDIOUTCAPSA caps;
    std::memset(&caps, 0, sizeof caps);
    if (midiOutGetDevCapsA(static_cast<UINT_PTR>(index), &caps, sizeof caps) != MMSYSERR_NOERROR) return false;
    caps.szPname[sizeof caps.szPname - 1] = '\0';
    *productName = caps.szPname;
    return true;
  }

  bool OpenIn(std::int32_t index, EventRef filled) override {
    if (index < 0) return false;
    gInFilled.store(static_cast<HANDLE>(filled));
    HMIDIIN handle = nullptr;
    if (midiInOpen(&handle, static_cast<UINT>(index), reinterpret_cast<DWORD_PTR>(&InputCallback), 0,
                   CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
      gInFilled.store(nullptr);
      return false;
    }
    in_ = handle;
    removed_ = false;  // a device that opens is there (again)
    return true;
  }
  bool IsInOpen() const override { return in_ != nullptr; }
  bool ResetIn() override { return in_ != nullptr && midiInReset(in_) == MMSYSERR_NOERROR; }
  bool StartIn() override { return in_ != nullptr && midiInStart(in_) == MMSYSERR_NOERROR; }
  bool StopIn() override { return in_ != nullptr && midiInStop(in_) == MMSYSERR_NOERROR; }
  bool CloseIn() override {
    if (in_ == nullptr) return false;
    // The event goes away with the session even when the port refuses to close: the callback must not
    // set a handle that is closed (and perhaps reused) by then.
    gInFilled.store(nullptr);
    if (midiInClose(in_) != MMSYSERR_NOERROR) return false;
    in_ = nullptr;
    return true;
  }
  void SetInBuffer(std::uint8_t* data, std::uint32_t size) override {
    inHeader_.lpData = reinterpret_cast<LPSTR>(data);
    inHeader_.dwBufferLength = size;
    inHeader_.dwBytesRecorded = 0;
    inHeader_.dwFlags = 0;
  }
  void ClearInHeader() override {
    inHeader_.dwFlags = 0;
    inHeader_.dwBytesRecorded = 0;
  }
  bool PrepareIn() override {
    return in_ != nullptr && Checked(midiInPrepareHeader(in_, &inHeader_, sizeof inHeader_));
  }
  bool UnprepareIn() override {
    return in_ != nullptr && midiInUnprepareHeader(in_, &inHeader_, sizeof inHeader_) == MMSYSERR_NOERROR;
  }
  bool AddIn() override {
    return in_ != nullptr && Checked(midiInAddBuffer(in_, &inHeader_, sizeof inHeader_));
  }
  std::uint32_t InBytesRecorded() override { return inHeader_.dwBytesRecorded; }

  bool OpenOut(std::int32_t index, EventRef done) override {
    if (index < 0) return false;  // -1 would name the system's mapper, which is never a keyboard
    gOutDone.store(static_cast<HANDLE>(done));
    HMIDIOUT handle = nullptr;
    if (midiOutOpen(&handle, static_cast<UINT>(index), reinterpret_cast<DWORD_PTR>(&OutputCallback), 0,
                    CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
      gOutDone.store(nullptr);
      return false;
    }
    out_ = handle;
    removed_ = false;
    return true;
  }
  bool IsOutOpen() const override { return out_ != nullptr; }
  void SetOutMessage(const std::uint8_t* data, std::uint32_t size) override {
    // The driver only reads the message; the header's field is not const in the platform's declaration.
    outHeader_.lpData = reinterpret_cast<LPSTR>(const_cast<std::uint8_t*>(data));
    outHeader_.dwBufferLength = size;
    outHeader_.dwFlags = 0;
  }
  bool PrepareOut() override {
    return out_ != nullptr && Checked(midiOutPrepareHeader(out_, &outHeader_, sizeof outHeader_));
  }
  bool SendOut() override {
    return out_ != nullptr && Checked(midiOutLongMsg(out_, &outHeader_, sizeof outHeader_));
  }
  bool UnprepareOut() override {
    return out_ != nullptr && midiOutUnprepareHeader(out_, &outHeader_, sizeof outHeader_) == MMSYSERR_NOERROR;
  }
  bool ResetOut() override { return out_ != nullptr && midiOutReset(out_) == MMSYSERR_NOERROR; }
  bool CloseOut() override {
    if (out_ == nullptr) return false;
    gOutDone.store(nullptr);  // as for the input: never a closed event from the callback
    if (midiOutClose(out_) != MMSYSERR_NOERROR) return false;
    out_ = nullptr;
    return true;
  }

  bool DeviceRemoved() const override {
    if (!removed_ && out_ != nullptr) {
      const DWORD now = GetTickCount();
      if (now - lastLook_ >= kLookEveryMs) {
        lastLook_ = now;
        MIDIOUTCAPSA caps;
        // The open handle stands for the device it was opened on.
        if (MeansDeviceGone(midiOutGetDevCapsA(reinterpret_cast<UINT_PTR>(out_), &caps, sizeof caps))) removed_ = true;
      }
    }
    return removed_;
  }

 private:
  // True for success; notes a refusal that says the device is gone, so that every wait ends at once.
  bool Checked(MMRESULT result) {
    if (MeansDeviceGone(result)) removed_ = true;
    return result == MMSYSERR_NOERROR;
  }

  HMIDIIN in_ = nullptr;
  HMIDIOUT out_ = nullptr;
  MIDIHDR inHeader_{};
  MIDIHDR outHeader_{};
  mutable bool removed_ = false;
  mutable DWORD lastLook_ = 0;
};

class Win32Clock : public Clock {
 public:
  EventRef NewEvent() override { return CreateEventA(nullptr, FALSE, FALSE, nullptr); }
  void DeleteEvent(EventRef event) override {
    if (event != nullptr) CloseHandle(static_cast<HANDLE>(event));
  }
  std::uint32_t Ticks() override { return GetTickCount(); }
  void Pause(std::uint32_t ms) override { Sleep(ms); }

  Wake WaitEventOrInput(EventRef event, std::uint32_t ms) override {
    HANDLE handle = static_cast<HANDLE>(event);
    // Without an event (it could not be made) the wait still honours window messages and the time.
    const DWORD count = handle != nullptr ? 1 : 0;
    // Any input already in the queue wakes the wait, not only input that arrived since the queue was last
    // looked at: a paint left waiting by an earlier look (the check before each send, a dialog's own loop)
    // is dispatched at once, so progress bars and status lines repaint while the keyboard is awaited.
    // Messages sent from other threads and programs wake it too (the dispatch's look delivers them): a
    // blocking wait would otherwise leave them unanswered for up to three seconds at a time.
    const DWORD woke =
        MsgWaitForMultipleObjectsEx(count, &handle, ms, QS_ALLEVENTS | QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
    if (count == 1 && woke == WAIT_OBJECT_0) return Wake::Event;
    if (woke == WAIT_OBJECT_0 + count) return Wake::Messages;
    if (woke == WAIT_TIMEOUT) return Wake::Quiet;
    return Wake::Failed;
  }

  void DispatchWindowMessages() override {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
};

std::uint64_t ReadSystemAffinityMask() {
  DWORD_PTR processMask = 0;
  DWORD_PTR systemMask = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask)) return 0;
  return static_cast<std::uint64_t>(systemMask);
}

}  // namespace

void InstallWin32Midi() {
  static WinMmDriver driver;
  static Win32Clock clock;
  InstallMidi(&driver, &clock);
  InstallAffinityMaskSource(&ReadSystemAffinityMask);
  InstallWin32Settings();
}

}  // namespace su
