#include "midi/win32/win32_midi.h"

#include <windows.h>
#include <mmsystem.h>

#include "base/win32/settings_profile_win32.h"
#include "midi/clock.h"
#include "midi/port_session.h"
#include "midi/system_affinity.h"
#include "midi/win32/winmm_driver.h"

namespace su {

namespace {

class Win32Clock : public Clock {
 public:
  explicit Win32Clock(const WinMmDriver& driver) : driver_(driver) {}
  EventRef NewEvent() override { return CreateEventA(nullptr, FALSE, FALSE, nullptr); }
  void DeleteEvent(EventRef event) override {
    if (event != nullptr) CloseHandle(static_cast<HANDLE>(event));
  }
  std::uint32_t Ticks() override { return GetTickCount(); }
  void Pause(std::uint32_t ms) override { Sleep(ms); }

  // While ports are open the wait also wakes whenever the device is due to be looked at, so that a keyboard
  // unplugged during a silent wait is noticed within that time rather than when the wait runs out.
  Wake WaitEventOrInput(EventRef event, std::uint32_t ms) override {
    const DWORD start = GetTickCount();
    for (;;) {
      const DWORD spent = GetTickCount() - start;
      const DWORD left = spent >= ms ? 0 : ms - spent;
      const DWORD untilLook = driver_.MsUntilNextLook();
      if (untilLook >= left) return WaitOnce(event, left);
      const Wake woke = WaitOnce(event, untilLook);
      if (woke != Wake::Quiet) return woke;
      if (driver_.DeviceRemoved()) return Wake::DeviceGone;
    }
  }

  void DispatchWindowMessages() override {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }

 private:
  Wake WaitOnce(EventRef event, DWORD ms) {
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

  const WinMmDriver& driver_;
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
  static Win32Clock clock(driver);
  InstallMidi(&driver, &clock);
  InstallAffinityMaskSource(&ReadSystemAffinityMask);
  InstallWin32Settings();
}

}  // namespace su
