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
  EventRef NewEvent() override { return CreateEventA(nullptr, FALSE, FALSE, nullptr); }
  void DeleteEvent(EventRef event) override {
    if (event != nullptr) CloseHandle(static_cast<HANDLE>(event));
  }
  std::uint32_t Ticks() override { return GetTickCount(); }
  void Pause(std::uint32_t ms) override { Sleep(ms); }

  // One blocking wait on the awaited event, the loss event and window messages together: whichever comes
  // first ends it, so a loss the driver reports (its own look, or a call it refused) ends it at once.
  Wake WaitEventOrInput(EventRef event, EventRef loss, std::uint32_t ms) override {
    HANDLE handles[2];
    DWORD count = 0;
    // Without an event (it could not be made, or a pause awaits none) the wait still honours the rest.
    const DWORD eventIndex = count;
    if (event != nullptr) handles[count++] = static_cast<HANDLE>(event);
    const DWORD lossIndex = count;
    if (loss != nullptr) handles[count++] = static_cast<HANDLE>(loss);
    // Any input already in the queue wakes the wait, not only input that arrived since the queue was last
    // looked at: a paint left waiting by an earlier look (the check before each send, a dialog's own loop)
    // is dispatched at once, so progress bars and status lines repaint while the keyboard is awaited.
    // Messages sent from other threads and programs wake it too (the dispatch's look delivers them): a
    // blocking wait would otherwise leave them unanswered for up to three seconds at a time. Of two events
    // set at once the awaited one is reported: the lower index wins.
    const DWORD woke = MsgWaitForMultipleObjectsEx(count, count > 0 ? handles : nullptr, ms,
                                                   QS_ALLEVENTS | QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
    if (event != nullptr && woke == WAIT_OBJECT_0 + eventIndex) return Wake::Event;
    if (loss != nullptr && woke == WAIT_OBJECT_0 + lossIndex) return Wake::DeviceGone;
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
