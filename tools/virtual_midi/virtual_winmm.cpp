// The test-only winmm.dll: virtual MIDI devices with the virtual keyboard behind them. The program loads it
// under Wine in place of the system's (WINEDLLOVERRIDES="winmm=n,b", the DLL beside the program) and runs
// its real WinMM code against it. It behaves like a real driver where the program can tell:
//   - callbacks (open, close, long data, done) run on the interface's own thread;
//   - a message from the keyboard lands only in a buffer that is prepared, added and started at that
//     moment, cut at the buffer's length; with no such buffer it is lost;
//   - headers must be prepared before use and cannot be unprepared or the port closed while queued;
//   - a device in the config's refuse list answers MMSYSERR_ALLOCATED;
//   - a keyboard unplugged by the config (`unplug_after`) is refused with MMSYSERR_NODRIVER wherever the
//     device itself is needed, while resetting, unpreparing and closing the ports still work, unless the
//     config says they fail too (`stuck_when_unplugged`): the buffer queued then stays with the port;
//   - plugged in again (`replug`), the keyboard is reached through new ports with new handles; the old ports
//     stay as they were and refuse everything, and a header still queued on one of them (an input buffer,
//     or a long message whose completion was withheld) is refused on a new port, as the system cannot have
//     one header in two queues.
#define _WINMM_  // we define the multimedia functions here rather than import them
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/virtual_keyboard/virtual_peer.h"
#include "tools/virtual_keyboard/virtual_keyboard.h"
#include "tools/virtual_midi/vmidi_config.h"

namespace {

using su::test::VirtualMidiConfig;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

// ---- The interface's own thread: runs timed work in order --------------------------------------------

class DriverThread {
 public:
  // Runs `work` on the driver thread `delayMs` from now.
  void Post(std::uint32_t delayMs, std::function<void()> work) {
    std::lock_guard<std::mutex> lock(mutex_);
    Enqueue(delayMs, std::move(work));
  }
  // Runs `work` on the driver thread now and waits until it has run (as a driver calls back during reset).
  void RunAndWait(std::function<void()> work) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (started_ && std::this_thread::get_id() == id_) {
      lock.unlock();
      work();
      return;
    }
    const std::uint64_t ticket = Enqueue(0, std::move(work));
    awaited_.insert(ticket);
    done_.wait(lock, [&] { return finished_.count(ticket) != 0; });
    finished_.erase(ticket);
    awaited_.erase(ticket);
  }

 private:
  std::uint64_t Enqueue(std::uint32_t delayMs, std::function<void()> work) {
    if (!started_) {
      started_ = true;
      // Never joined: the process ends with it still waiting (a DLL must not join threads while unloading).
      std::thread worker([this] { Loop(); });
      id_ = worker.get_id();
      worker.detach();
    }
    const std::uint64_t ticket = ++posted_;
    agenda_.emplace(std::make_pair(Clock::now() + std::chrono::milliseconds(delayMs), ticket), std::move(work));
    wake_.notify_all();
    return ticket;
  }
  void Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (agenda_.empty()) {
        wake_.wait(lock);
        continue;
      }
      auto first = agenda_.begin();
      if (first->first.first > Clock::now()) {
        wake_.wait_until(lock, first->first.first);
        continue;
      }
      const std::uint64_t ticket = first->first.second;
      std::function<void()> work = std::move(first->second);
      agenda_.erase(first);
      lock.unlock();
      work();
      lock.lock();
      if (awaited_.count(ticket) != 0) {
        finished_.insert(ticket);
        done_.notify_all();
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::multimap<std::pair<Clock::time_point, std::uint64_t>, std::function<void()>> agenda_;
  std::set<std::uint64_t> awaited_, finished_;
  std::uint64_t posted_ = 0;
  bool started_ = false;
  std::thread::id id_;
};

// ---- The devices --------------------------------------------------------------------------------------

using InCallback = void(CALLBACK*)(HMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);
using OutCallback = void(CALLBACK*)(HMIDIOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

struct InPort {
  bool open = false;
  UINT device = 0;
  DWORD_PTR callback = 0, instance = 0;
  DWORD flags = 0;
  bool started = false;
  std::deque<MIDIHDR*> queue;
};

struct OutPort {
  bool open = false;
  UINT device = 0;
  DWORD_PTR callback = 0, instance = 0;
  DWORD flags = 0;
  MIDIHDR* held = nullptr;  // the long message being sent
  std::uint64_t sendId = 0;
};

class VirtualInterface : public su::test::ReplySink {
 public:
  VirtualInterface() {
    char path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("SU_VMIDI_CONFIG", path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      std::ifstream file(path, std::ios::binary);
      std::stringstream text;
      text << file.rdbuf();
      std::string error;
      if (!file || !su::test::ParseVirtualMidiConfig(text.str(), &config_, &error)) {
        Note("config " + std::string(path) + " unreadable " + error);
      }
    }
    su::test::KeyboardConfig keyboard;
    std::string error;
    if (!su::test::ParseKeyboardConfig(config_.keyboardText, &keyboard, &error)) Note("keyboard config: " + error);
    keyboard_ = std::make_unique<su::test::VirtualKeyboard>(keyboard);
    if (config_.unplugAfter == 0u) unplugTick_ = GetTickCount() + config_.unplugDelayMs;  // gone from the start
  }

  const VirtualMidiConfig& Config() const { return config_; }
  void Trace(const std::string& text) { Note(text); }
  HMIDIIN InHandle() { return reinterpret_cast<HMIDIIN>(in_.get()); }
  HMIDIOUT OutHandle() { return reinterpret_cast<HMIDIOUT>(out_.get()); }
  bool IsIn(HMIDIIN h) { return h == InHandle() && in_->open; }
  bool IsOut(HMIDIOUT h) { return h == OutHandle() && out_->open; }
  // A port of the keyboard as it was before it was plugged in again: it refuses everything.
  bool IsOldPort(const void* h) {
    for (const auto& port : oldIn_)
      if (h == port.get()) return true;
    for (const auto& port : oldOut_)
      if (h == port.get()) return true;
    return false;
  }

  MMRESULT OpenIn(LPHMIDIIN handle, UINT device, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    if (handle == nullptr) return MMSYSERR_INVALPARAM;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (device >= config_.inNames.size()) return MMSYSERR_BADDEVICEID;
      if (config_.refuseIn.count(device)) return MMSYSERR_ALLOCATED;
      PlugInAgainIfDue();
      if (in_->open) return MMSYSERR_ALLOCATED;
      *in_ = InPort{true, device, callback, instance, flags, false, {}};
    }
    *handle = InHandle();
    thread_.RunAndWait([this] { CallIn(MIM_OPEN, 0, 0); });
    return MMSYSERR_NOERROR;
  }

  MMRESULT OpenOut(LPHMIDIOUT handle, UINT device, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    if (handle == nullptr) return MMSYSERR_INVALPARAM;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (device >= config_.outNames.size()) return MMSYSERR_BADDEVICEID;
      if (config_.refuseOut.count(device)) return MMSYSERR_ALLOCATED;
      PlugInAgainIfDue();
      if (out_->open) return MMSYSERR_ALLOCATED;
      *out_ = OutPort{true, device, callback, instance, flags, nullptr, 0};
    }
    *handle = OutHandle();
    thread_.RunAndWait([this] { CallOut(MOM_OPEN, 0, 0); });
    return MMSYSERR_NOERROR;
  }

  // The capabilities query given an open port's handle instead of a device number, as the system allows:
  // the device the port is open on, or MMSYSERR_NODRIVER once the keyboard is unplugged.
  MMRESULT DeviceOfHandle(UINT_PTR handle, bool input, UINT* device) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (IsOldPort(reinterpret_cast<const void*>(handle))) return MMSYSERR_NODRIVER;
    const bool open = input ? handle == reinterpret_cast<UINT_PTR>(InHandle()) && in_->open
                            : handle == reinterpret_cast<UINT_PTR>(OutHandle()) && out_->open;
    if (!open) return MMSYSERR_BADDEVICEID;
    if (queryErrorDue_) {
      queryErrorDue_ = false;
      Note("answered a capabilities query once with an unspecified error, the keyboard still there");
      return MMSYSERR_ERROR;
    }
    if (Gone("a capabilities query")) return MMSYSERR_NODRIVER;
    *device = input ? in_->device : out_->device;
    return MMSYSERR_NOERROR;
  }

  MMRESULT PrepareIn(HMIDIIN h, MIDIHDR* header, UINT size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (IsOldPort(h)) return MMSYSERR_NODRIVER;
    if (!IsIn(h)) return MMSYSERR_INVALHANDLE;
    if (Gone("an input header to prepare")) return MMSYSERR_NODRIVER;
    if (header == nullptr || size < sizeof(MIDIHDR) || header->lpData == nullptr) return MMSYSERR_INVALPARAM;
    if (QueuedOnOldPort(header)) return MIDIERR_STILLPLAYING;
    header->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
  }

  MMRESULT UnprepareIn(HMIDIIN h, MIDIHDR* header, UINT size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (IsOldPort(h)) return MMSYSERR_NODRIVER;
    if (!IsIn(h)) return MMSYSERR_INVALHANDLE;
    if (header == nullptr || size < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
    if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
    header->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
  }

  MMRESULT AddIn(HMIDIIN h, MIDIHDR* header, UINT size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (IsOldPort(h)) return MMSYSERR_NODRIVER;
    if (!IsIn(h)) return MMSYSERR_INVALHANDLE;
    if (Gone("an input buffer")) return MMSYSERR_NODRIVER;
    if (header == nullptr || size < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
    if ((header->dwFlags & MHDR_INQUEUE) || QueuedOnOldPort(header)) return MIDIERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    header->dwBytesRecorded = 0;
    in_->queue.push_back(header);
    return MMSYSERR_NOERROR;
  }

  MMRESULT StartIn(HMIDIIN h, bool start) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (IsOldPort(h)) return MMSYSERR_NODRIVER;
    if (!IsIn(h)) return MMSYSERR_INVALHANDLE;
    in_->started = start;
    return MMSYSERR_NOERROR;
  }

  MMRESULT ResetIn(HMIDIIN h) {
    std::vector<MIDIHDR*> returned;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (IsOldPort(h)) return MMSYSERR_NODRIVER;
      if (!IsIn(h)) return MMSYSERR_INVALHANDLE;
      if (config_.stuckWhenUnplugged && Gone("an input reset")) return MMSYSERR_NODRIVER;
      in_->started = false;
      returned.assign(in_->queue.begin(), in_->queue.end());
      in_->queue.clear();
      for (MIDIHDR* header : returned) {
        header->dwBytesRecorded = 0;
        header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
      }
    }
    thread_.RunAndWait([this, returned] {
      for (MIDIHDR* header : returned) CallIn(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header), 0);
    });
    return MMSYSERR_NOERROR;
  }

  MMRESULT CloseIn(HMIDIIN h) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (IsOldPort(h)) return MMSYSERR_NODRIVER;
      if (!IsIn(h)) return MMSYSERR_INVALHANDLE;
      if (config_.stuckWhenUnplugged && Gone("closing the input")) return MMSYSERR_NODRIVER;
      if (!in_->queue.empty()) return MIDIERR_STILLPLAYING;
    }
    thread_.RunAndWait([this] { CallIn(MIM_CLOSE, 0, 0); });
    std::lock_guard<std::mutex> lock(mutex_);
    *in_ = InPort{};
    return MMSYSERR_NOERROR;
  }

  MMRESULT PrepareOut(HMIDIOUT h, MIDIHDR* header, UINT size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (IsOldPort(h)) return MMSYSERR_NODRIVER;
    if (!IsOut(h)) return MMSYSERR_INVALHANDLE;
    if (Gone("an output header to prepare")) return MMSYSERR_NODRIVER;
    if (header == nullptr || size < sizeof(MIDIHDR) || header->lpData == nullptr) return MMSYSERR_INVALPARAM;
    if (HeldByOldPort(header)) return MIDIERR_STILLPLAYING;
    header->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
  }

  MMRESULT UnprepareOut(HMIDIOUT h, MIDIHDR* header, UINT size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (IsOldPort(h)) return MMSYSERR_NODRIVER;
    if (!IsOut(h)) return MMSYSERR_INVALHANDLE;
    if (header == nullptr || size < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
    if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
    header->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
  }

  MMRESULT LongMsg(HMIDIOUT h, MIDIHDR* header, UINT size) {
    Bytes message;
    std::uint64_t sendId = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (IsOldPort(h)) return MMSYSERR_NODRIVER;
      if (!IsOut(h)) return MMSYSERR_INVALHANDLE;
      if (Gone("a long message")) return MMSYSERR_NODRIVER;
      if (header == nullptr || size < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
      if (!(header->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
      if (HeldByOldPort(header)) return MIDIERR_STILLPLAYING;
      if (out_->held != nullptr) return MIDIERR_NOTREADY;  // one long message at a time
      if (RefusedOnce(*header)) return MMSYSERR_ERROR;
      header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
      out_->held = header;
      sendId = ++out_->sendId;
      ++handedIn_;
      const Bytes& with = config_.unplugWith;
      const bool unplugsWith = !with.empty() && !unplugTick_ && header->dwBufferLength >= with.size() &&
                               std::equal(with.begin(), with.end(), reinterpret_cast<const std::uint8_t*>(header->lpData));
      if ((config_.unplugAfter && handedIn_ == *config_.unplugAfter) || unplugsWith) {
        unplugTick_ = GetTickCount() + config_.unplugDelayMs;
        Note("the keyboard goes at tick " + std::to_string(*unplugTick_));
      }
      Stamp('S', header->dwBufferLength > 4 ? std::uint8_t(header->lpData[4]) : 0);
      message.assign(reinterpret_cast<const std::uint8_t*>(header->lpData),
                     reinterpret_cast<const std::uint8_t*>(header->lpData) + header->dwBufferLength);
      const Bytes& trigger = config_.queryErrorAfter;
      if (!trigger.empty() && !queryErrorGiven_ && message.size() >= trigger.size() &&
          std::equal(trigger.begin(), trigger.end(), message.begin())) {
        queryErrorGiven_ = true;
        queryErrorDue_ = true;
      }
    }
    thread_.Post(0, [this, message] {
      Log(message);
      keyboard_->OnMessage(message, *this);
    });
    if (config_.doneMs) {
      thread_.Post(*config_.doneMs, [this, header, sendId] {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          if (out_->held != header || out_->sendId != sendId) return;  // reset in the meantime
          if (config_.withholdDone && unplugTick_ && !pluggedInAgain_ &&
              static_cast<LONG>(GetTickCount() - *unplugTick_) >= 0) {
            Note("withheld the completion of a long message: the keyboard is gone");
            return;
          }
          out_->held = nullptr;
          header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        }
        CallOut(MOM_DONE, reinterpret_cast<DWORD_PTR>(header), 0);
      });
    }
    return MMSYSERR_NOERROR;
  }

  MMRESULT ResetOut(HMIDIOUT h) {
    MIDIHDR* returned = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (IsOldPort(h)) return MMSYSERR_NODRIVER;
      if (!IsOut(h)) return MMSYSERR_INVALHANDLE;
      if (config_.stuckWhenUnplugged && Gone("an output reset")) return MMSYSERR_NODRIVER;
      returned = out_->held;
      out_->held = nullptr;
      if (returned != nullptr) returned->dwFlags = (returned->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    }
    if (returned != nullptr) {
      thread_.RunAndWait([this, returned] { CallOut(MOM_DONE, reinterpret_cast<DWORD_PTR>(returned), 0); });
    }
    return MMSYSERR_NOERROR;
  }

  MMRESULT CloseOut(HMIDIOUT h) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (IsOldPort(h)) return MMSYSERR_NODRIVER;
      if (!IsOut(h)) return MMSYSERR_INVALHANDLE;
      if (config_.stuckWhenUnplugged && Gone("closing the output")) return MMSYSERR_NODRIVER;
      if (out_->held != nullptr) return MIDIERR_STILLPLAYING;
    }
    thread_.RunAndWait([this] { CallOut(MOM_CLOSE, 0, 0); });
    std::lock_guard<std::mutex> lock(mutex_);
    *out_ = OutPort{};
    WriteStamps();
    return MMSYSERR_NOERROR;
  }

  // ReplySink: the keyboard answers; the bytes arrive `delayMs` later.
  void Reply(Bytes bytes, std::uint32_t delayMs) override {
    thread_.Post(delayMs, [this, bytes] { Arrive(bytes); });
  }

 private:
  // Runs on the driver thread.
  void Arrive(const Bytes& bytes) {
    MIDIHDR* header = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (unplugged_) return;  // nothing comes from a keyboard that is gone
      if (!in_->open || !in_->started || in_->queue.empty()) {
        Note("dropped a message of " + std::to_string(bytes.size()) + " bytes: no buffer queued");
        return;
      }
      header = in_->queue.front();
      in_->queue.pop_front();
      const DWORD count = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), header->dwBufferLength));
      std::memcpy(header->lpData, bytes.data(), count);
      header->dwBytesRecorded = count;
      header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
      Stamp('A', bytes.size() > 4 ? bytes[4] : 0);
    }
    CallIn(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header), GetTickCount());
  }

  // True once the configured unplugging has happened (the program has handed in as many long messages as
  // `unplug_after` says, and `unplug_delay_ms` has passed since) and the program needs the device again.
  // Called with mutex_ held.
  bool Gone(const char* refused) {
    if (!unplugTick_ || pluggedInAgain_) return false;
    if (static_cast<LONG>(GetTickCount() - *unplugTick_) < 0) return false;
    if (!unplugged_) {
      Note("unplugged after " + std::to_string(handedIn_) + " long messages, first noticed at tick " +
           std::to_string(GetTickCount()));
    }
    unplugged_ = true;
    Note(std::string("refused ") + refused + ": the device is gone");
    return true;
  }

  // With `replug`, the first port opened after the unplugging finds the keyboard back. The ports open until
  // then stay as they are (with whatever is queued on them) under their old handles. Called with mutex_ held.
  void PlugInAgainIfDue() {
    if (!config_.replug || !unplugged_ || pluggedInAgain_) return;
    if (in_->open) oldIn_.push_back(std::move(in_));
    if (out_->open) oldOut_.push_back(std::move(out_));
    if (!in_) in_ = std::make_unique<InPort>();
    if (!out_) out_ = std::make_unique<OutPort>();
    unplugged_ = false;
    pluggedInAgain_ = true;
    Note("plugged in again");
  }

  // True (and noted) the first time a long message begins with the config's `refuse_once` bytes: a passing
  // refusal by the system, the keyboard staying there. Called with mutex_ held.
  bool RefusedOnce(const MIDIHDR& header) {
    const Bytes& prefix = config_.refuseOnce;
    if (prefix.empty() || refusedOnce_ || header.dwBufferLength < prefix.size()) return false;
    if (!std::equal(prefix.begin(), prefix.end(), reinterpret_cast<const std::uint8_t*>(header.lpData))) return false;
    refusedOnce_ = true;
    Note("refused a long message once with an unspecified error, the keyboard still there");
    return true;
  }

  // True (and noted) for a header that a port of the unplugged keyboard still holds. Called with mutex_ held.
  bool QueuedOnOldPort(const MIDIHDR* header) {
    for (const auto& port : oldIn_) {
      if (std::find(port->queue.begin(), port->queue.end(), header) != port->queue.end()) {
        Note("refused an input header still queued on a port of the unplugged keyboard");
        return true;
      }
    }
    return false;
  }

  // True (and noted) for a long message's header that a port of the unplugged keyboard still holds. Called
  // with mutex_ held.
  bool HeldByOldPort(const MIDIHDR* header) {
    for (const auto& port : oldOut_) {
      if (port->held == header) {
        Note("refused an output header still queued on a port of the unplugged keyboard");
        return true;
      }
    }
    return false;
  }

  void CallIn(UINT message, DWORD_PTR param1, DWORD_PTR param2) {
    const InPort& port = *in_;
    if ((port.flags & CALLBACK_TYPEMASK) != CALLBACK_FUNCTION || port.callback == 0) return;
    reinterpret_cast<InCallback>(port.callback)(reinterpret_cast<HMIDIIN>(in_.get()), message, port.instance,
                                                param1, param2);
  }
  void CallOut(UINT message, DWORD_PTR param1, DWORD_PTR param2) {
    const OutPort& port = *out_;
    if ((port.flags & CALLBACK_TYPEMASK) != CALLBACK_FUNCTION || port.callback == 0) return;
    reinterpret_cast<OutCallback>(port.callback)(reinterpret_cast<HMIDIOUT>(out_.get()), message, port.instance,
                                                 param1, param2);
  }

  // With `timestamps` set: when a long message was handed in ('S') and when an answer landed in a buffer
  // ('A', just before the program is told), with byte 4 of the frame. Kept in memory while the ports are in
  // use, so recording costs the program no file writes in between. Called with mutex_ held.
  void Stamp(char what, std::uint8_t code) {
    if (config_.timestampPath.empty()) return;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    stamps_.push_back({what, code, now.QuadPart});
  }
  void WriteStamps() {
    if (config_.timestampPath.empty() || stamps_.empty()) return;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    if (FILE* file = std::fopen(config_.timestampPath.c_str(), "ab")) {
      for (const StampRecord& r : stamps_) {
        const long long micros = static_cast<long long>((r.counter - stamps_.front().counter) * 1000000 /
                                                        frequency.QuadPart);
        std::fprintf(file, "%s %lld %02X\n", r.what == 'S' ? "send" : "answer", micros, r.code);
      }
      std::fclose(file);
    }
    stamps_.clear();
  }

  // Every message the program sent, one line of hex each, written at once so a test can read it live.
  void Log(const Bytes& message) {
    if (config_.logPath.empty()) return;
    std::string line;
    char hex[4];
    for (std::size_t i = 0; i < message.size(); ++i) {
      std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", message[i]);
      line += hex;
    }
    if (FILE* file = std::fopen(config_.logPath.c_str(), "ab")) {
      std::fprintf(file, "%s\n", line.c_str());
      std::fclose(file);
    }
  }
  void Note(const std::string& text) {
    OutputDebugStringA(("virtual midi: " + text + "\n").c_str());
    if (config_.tracePath.empty()) return;
    if (FILE* file = std::fopen(config_.tracePath.c_str(), "ab")) {
      std::fprintf(file, "%s\n", text.c_str());
      std::fclose(file);
    }
  }

  std::mutex mutex_;
  VirtualMidiConfig config_;
  std::unique_ptr<su::test::VirtualKeyboard> keyboard_;
  // The ports of the keyboard as it is now; their addresses are their handles.
  std::unique_ptr<InPort> in_ = std::make_unique<InPort>();
  std::unique_ptr<OutPort> out_ = std::make_unique<OutPort>();
  // The ports that were open when the keyboard was plugged in again (never freed: their handles stay unique).
  std::vector<std::unique_ptr<InPort>> oldIn_;
  std::vector<std::unique_ptr<OutPort>> oldOut_;
  std::uint32_t handedIn_ = 0;  // long messages the program handed in
  std::optional<DWORD> unplugTick_;  // when the keyboard goes, once the program handed in `unplug_after`
  bool unplugged_ = false;
  bool pluggedInAgain_ = false;
  bool refusedOnce_ = false;
  bool queryErrorGiven_ = false;  // query_error_after: the trigger was handed in
  bool queryErrorDue_ = false;    // and the next capabilities query by port handle has not come yet
  struct StampRecord {
    char what;
    std::uint8_t code;
    long long counter;
  };
  std::vector<StampRecord> stamps_;
  DriverThread thread_;
};

VirtualInterface& Interface() {
  // Left alive to the end of the process: its thread may still be waiting when the process ends.
  static VirtualInterface* instance = new VirtualInterface;
  return *instance;
}

void FillName(const std::string& name, char* target, std::size_t size) {
  std::strncpy(target, name.c_str(), size - 1);
  target[size - 1] = '\0';
}

}  // namespace

extern "C" {

UINT WINAPI midiInGetNumDevs() {
  Interface().Trace("input devices: " + std::to_string(Interface().Config().inNames.size()));
  return static_cast<UINT>(Interface().Config().inNames.size());
}
UINT WINAPI midiOutGetNumDevs() { return static_cast<UINT>(Interface().Config().outNames.size()); }

MMRESULT WINAPI midiInGetDevCapsA(UINT_PTR device, LPMIDIINCAPSA caps, UINT size) {
  const auto& names = Interface().Config().inNames;
  if (device >= names.size()) {
    UINT opened = 0;
    const MMRESULT result = Interface().DeviceOfHandle(device, true, &opened);
    if (result != MMSYSERR_NOERROR) return result;
    device = opened;
  }
  if (caps == nullptr || size < sizeof(MIDIINCAPSA)) return MMSYSERR_INVALPARAM;
  std::memset(caps, 0, sizeof(MIDIINCAPSA));
  caps->wMid = 0xFF;
  caps->wPid = static_cast<WORD>(device + 1);
  caps->vDriverVersion = 0x0100;
  FillName(names[device], caps->szPname, sizeof caps->szPname);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR device, LPMIDIOUTCAPSA caps, UINT size) {
  const auto& names = Interface().Config().outNames;
  if (device >= names.size()) {
    UINT opened = 0;
    const MMRESULT result = Interface().DeviceOfHandle(device, false, &opened);
    if (result != MMSYSERR_NOERROR) return result;
    device = opened;
  }
  if (caps == nullptr || size < sizeof(MIDIOUTCAPSA)) return MMSYSERR_INVALPARAM;
  std::memset(caps, 0, sizeof(MIDIOUTCAPSA));
  caps->wMid = 0xFF;
  caps->wPid = static_cast<WORD>(device + 1);
  caps->vDriverVersion = 0x0100;
  caps->wTechnology = MOD_MIDIPORT;
  caps->wChannelMask = 0xFFFF;
  FillName(names[device], caps->szPname, sizeof caps->szPname);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInOpen(LPHMIDIIN handle, UINT device, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
  return Interface().OpenIn(handle, device, callback, instance, flags);
}
MMRESULT WINAPI midiInPrepareHeader(HMIDIIN h, LPMIDIHDR header, UINT size) {
  return Interface().PrepareIn(h, header, size);
}
MMRESULT WINAPI midiInUnprepareHeader(HMIDIIN h, LPMIDIHDR header, UINT size) {
  return Interface().UnprepareIn(h, header, size);
}
MMRESULT WINAPI midiInAddBuffer(HMIDIIN h, LPMIDIHDR header, UINT size) { return Interface().AddIn(h, header, size); }
MMRESULT WINAPI midiInStart(HMIDIIN h) { return Interface().StartIn(h, true); }
MMRESULT WINAPI midiInStop(HMIDIIN h) { return Interface().StartIn(h, false); }
MMRESULT WINAPI midiInReset(HMIDIIN h) { return Interface().ResetIn(h); }
MMRESULT WINAPI midiInClose(HMIDIIN h) { return Interface().CloseIn(h); }

MMRESULT WINAPI midiOutOpen(LPHMIDIOUT handle, UINT device, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
  return Interface().OpenOut(handle, device, callback, instance, flags);
}
MMRESULT WINAPI midiOutPrepareHeader(HMIDIOUT h, LPMIDIHDR header, UINT size) {
  return Interface().PrepareOut(h, header, size);
}
MMRESULT WINAPI midiOutUnprepareHeader(HMIDIOUT h, LPMIDIHDR header, UINT size) {
  return Interface().UnprepareOut(h, header, size);
}
MMRESULT WINAPI midiOutLongMsg(HMIDIOUT h, LPMIDIHDR header, UINT size) {
  return Interface().LongMsg(h, header, size);
}
MMRESULT WINAPI midiOutShortMsg(HMIDIOUT h, DWORD) {
  return Interface().IsOut(h) ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}
MMRESULT WINAPI midiOutReset(HMIDIOUT h) { return Interface().ResetOut(h); }
MMRESULT WINAPI midiOutClose(HMIDIOUT h) { return Interface().CloseOut(h); }

DWORD WINAPI timeGetTime() { return GetTickCount(); }

}  // extern "C"
