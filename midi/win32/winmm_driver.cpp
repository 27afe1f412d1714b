#include "midi/win32/winmm_driver.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace su {

namespace {

// What the driver's callbacks need, set on the user-interface thread: the session's events, and which port
// and which input header are the current ones. The callbacks run on the driver's thread and only set an
// event; everything that touches a header happens on the user-interface thread once the event is taken.
std::atomic<HANDLE> gInFilled{nullptr};
std::atomic<HANDLE> gOutDone{nullptr};
std::atomic<HMIDIIN> gInPort{nullptr};
std::atomic<const MIDIHDR*> gInHeader{nullptr};
std::atomic<HMIDIOUT> gOutPort{nullptr};

void CALLBACK InputCallback(HMIDIIN port, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
  // A buffer that comes back holding an incomplete message (MIM_LONGERROR) is taken like a full one: the
  // receive hands it back to the driver, and its cut-off frame fails every frame check. Left alone, the one
  // input buffer would never be queued again and every later receive would time out.
  if (message != MIM_LONGDATA && message != MIM_LONGERROR) return;
  // A port left behind after it would not close, or a buffer kept aside from it, may still come back late:
  // it must not wake a receive that then reads the current buffer.
  if (port != gInPort.load()) return;
  const MIDIHDR* header = reinterpret_cast<const MIDIHDR*>(param1);
  if (header == nullptr || header != gInHeader.load() || header->dwBytesRecorded == 0) return;
  HANDLE event = gInFilled.load();
  if (event != nullptr) SetEvent(event);
}

void CALLBACK OutputCallback(HMIDIOUT port, UINT message, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
  if (message != MOM_DONE || port != gOutPort.load()) return;
  HANDLE event = gOutDone.load();
  if (event != nullptr) SetEvent(event);
}

// A call on an open port whose device has been unplugged is refused with MMSYSERR_NODRIVER (no driver behind
// the handle any more) or, by newer MIDI stacks, with the unspecified MMSYSERR_ERROR. The unspecified error is
// also given for passing refusals, so on its own it only asks for a look at the device: the capabilities
// query through the port. Only these answers of that query confirm the loss; the unspecified error from the
// query itself is one more passing refusal.
bool QuerySaysGone(MMRESULT result) {
  return result == MMSYSERR_NODRIVER || result == MMSYSERR_BADDEVICEID || result == MMSYSERR_INVALHANDLE;
}

}  // namespace

WinMmDriver::WinMmDriver()
    : inBuffer_(std::make_unique<InputBuffer>()), outMessage_(std::make_unique<OutputMessage>()) {}

WinMmDriver::~WinMmDriver() {
  // Without waiting: this runs as the process ends, when the pool's threads may be gone already.
  if (lookTimer_ != nullptr) DeleteTimerQueueTimer(nullptr, lookTimer_, nullptr);
  // Buffers and messages that a port never gave back stay where they are: the system may use them until the
  // process ends.
  for (auto& kept : keptAside_) static_cast<void>(kept.release());
  if (inBuffer_->withSystem) static_cast<void>(inBuffer_.release());
  for (auto& kept : keptAsideOut_) static_cast<void>(kept.release());
  if (outMessage_->withSystem) static_cast<void>(outMessage_.release());
}

std::uint32_t WinMmDriver::InDeviceCount() { return midiInGetNumDevs(); }
std::uint32_t WinMmDriver::OutDeviceCount() { return midiOutGetNumDevs(); }

bool WinMmDriver::InDeviceName(std::int32_t index, std::string* productName) {
  if (index < 0) return false;
  MIDIINCAPSA caps;
  std::memset(&caps, 0, sizeof caps);
  if (midiInGetDevCapsA(static_cast<UINT_PTR>(index), &caps, sizeof caps) != MMSYSERR_NOERROR) return false;
  caps.szPname[sizeof caps.szPname - 1] = '\0';
  *productName = caps.szPname;
  return true;
}

bool WinMmDriver::OutDeviceName(std::int32_t index, std::string* productName) {
  if (index < 0) return false;
  MIDIOUTCAPSA caps;
  std::memset(&caps, 0, sizeof caps);
  if (midiOutGetDevCapsA(static_cast<UINT_PTR>(index), &caps, sizeof caps) != MMSYSERR_NOERROR) return false;
  caps.szPname[sizeof caps.szPname - 1] = '\0';
  *productName = caps.szPname;
  return true;
}

// ---- Input ---------------------------------------------------------------------------------------------

bool WinMmDriver::OpenIn(std::int32_t index, EventRef filled) {
  if (index < 0) return false;
  // A port still here could not be closed (the device went away under it): it is left as it is, with the
  // buffer it may hold, and the new port gets a buffer of its own.
  AcquireSRWLockExclusive(&portsLock_);
  in_ = nullptr;
  ReleaseSRWLockExclusive(&portsLock_);
  gInPort.store(nullptr);
  gInFilled.store(static_cast<HANDLE>(filled));
  HMIDIIN handle = nullptr;
  if (midiInOpen(&handle, static_cast<UINT>(index), reinterpret_cast<DWORD_PTR>(&InputCallback), 0,
                 CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
    gInFilled.store(nullptr);
    return false;
  }
  AcquireSRWLockExclusive(&portsLock_);
  in_ = handle;
  removed_ = false;  // a device that opens is there (again)
  ReleaseSRWLockExclusive(&portsLock_);
  gInPort.store(handle);
  if (inBuffer_->withSystem) FreshInputBuffer();
  return true;
}

bool WinMmDriver::ResetIn() { return in_ != nullptr && CheckedIn(midiInReset(in_)); }
bool WinMmDriver::StartIn() { return in_ != nullptr && CheckedIn(midiInStart(in_)); }
bool WinMmDriver::StopIn() { return in_ != nullptr && CheckedIn(midiInStop(in_)); }

bool WinMmDriver::CloseIn() {
  if (in_ == nullptr) return false;
  const HMIDIIN port = in_;
  // The callback stops setting the event even when the port refuses to close: the event goes away with the
  // session, and a closed (perhaps reused) handle must never be set.
  gInFilled.store(nullptr);
  gInPort.store(nullptr);
  AcquireSRWLockExclusive(&portsLock_);
  const bool closed = midiInClose(in_) == MMSYSERR_NOERROR;
  if (closed) in_ = nullptr;
  ReleaseSRWLockExclusive(&portsLock_);
  if (!closed) return false;
  // A closed port holds nothing: what it was given is ours again.
  keptAside_.erase(std::remove_if(keptAside_.begin(), keptAside_.end(),
                                  [port](const std::unique_ptr<InputBuffer>& b) { return b->port == port; }),
                   keptAside_.end());
  if (inBuffer_->port == port) inBuffer_->withSystem = false;
  return true;
}

void WinMmDriver::SetInBuffer(std::uint8_t* data, std::uint32_t size) {
  // The system writes into a buffer of the driver's own, not into the session's: one that a port keeps after
  // an unplug must never be the one the next session's messages are read from. A message is copied into
  // the session's buffer when it is taken (InBytesRecorded).
  takenTo_ = data;
  takenSize_ = size;
  FreshInputBuffer();
}

void WinMmDriver::ClearInHeader() {
  if (inBuffer_->withSystem) {
    FreshInputBuffer();  // the port did not give it back: its header is not ours to clear
    return;
  }
  inBuffer_->header.dwFlags = 0;
  inBuffer_->header.dwBytesRecorded = 0;
}

bool WinMmDriver::PrepareIn() {
  if (in_ == nullptr) return false;
  if (inBuffer_->withSystem && inBuffer_->port != in_) FreshInputBuffer();
  const MMRESULT result = midiInPrepareHeader(in_, &inBuffer_->header, sizeof(MIDIHDR));
  if (result == MMSYSERR_NOERROR) {
    inBuffer_->withSystem = true;
    inBuffer_->port = in_;
  }
  return CheckedIn(result);
}

bool WinMmDriver::UnprepareIn() {
  if (in_ == nullptr) return false;
  if (!inBuffer_->withSystem) return true;  // never prepared, or given back already
  if (inBuffer_->port != in_) return false;
  const MMRESULT result = midiInUnprepareHeader(in_, &inBuffer_->header, sizeof(MIDIHDR));
  if (result != MMSYSERR_NOERROR) return false;
  inBuffer_->withSystem = false;
  return true;
}

bool WinMmDriver::AddIn() {
  return in_ != nullptr && CheckedIn(midiInAddBuffer(in_, &inBuffer_->header, sizeof(MIDIHDR)));
}

std::uint32_t WinMmDriver::InBytesRecorded() {
  const std::uint32_t recorded = std::min<std::uint32_t>(
      {static_cast<std::uint32_t>(inBuffer_->header.dwBytesRecorded),
       static_cast<std::uint32_t>(inBuffer_->bytes.size()), takenSize_});
  if (takenTo_ != nullptr && recorded > 0) std::memcpy(takenTo_, inBuffer_->bytes.data(), recorded);
  return recorded;
}

void WinMmDriver::FreshInputBuffer() {
  if (inBuffer_->withSystem) keptAside_.push_back(std::move(inBuffer_));
  inBuffer_ = std::make_unique<InputBuffer>();
  inBuffer_->bytes.assign(takenSize_, 0);
  inBuffer_->header.lpData = reinterpret_cast<LPSTR>(inBuffer_->bytes.data());
  inBuffer_->header.dwBufferLength = takenSize_;
  gInHeader.store(&inBuffer_->header);
}

// ---- Output --------------------------------------------------------------------------------------------

bool WinMmDriver::OpenOut(std::int32_t index, EventRef done) {
  if (index < 0) return false;  // -1 would name the system's mapper, which is never a keyboard
  // As for the input: a port that would not close is left as it is, with the message it may hold.
  AcquireSRWLockExclusive(&portsLock_);
  out_ = nullptr;
  ReleaseSRWLockExclusive(&portsLock_);
  gOutPort.store(nullptr);
  gOutDone.store(static_cast<HANDLE>(done));
  HMIDIOUT handle = nullptr;
  if (midiOutOpen(&handle, static_cast<UINT>(index), reinterpret_cast<DWORD_PTR>(&OutputCallback), 0,
                  CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
    gOutDone.store(nullptr);
    return false;
  }
  AcquireSRWLockExclusive(&portsLock_);
  out_ = handle;
  removed_ = false;
  ReleaseSRWLockExclusive(&portsLock_);
  gOutPort.store(handle);
  if (outMessage_->withSystem) FreshOutputMessage();
  return true;
}

void WinMmDriver::SetOutMessage(const std::uint8_t* data, std::uint32_t size) {
  // A message the system may still hold (its reset or unprepare failed) is set aside with its port; the
  // bytes are copied, so the caller may free its own as soon as the send returns, whatever the system did.
  if (outMessage_->withSystem) FreshOutputMessage();
  outMessage_->bytes.assign(data, data + size);
  outMessage_->header = MIDIHDR{};
  outMessage_->header.lpData = reinterpret_cast<LPSTR>(outMessage_->bytes.data());
  outMessage_->header.dwBufferLength = size;
}

bool WinMmDriver::PrepareOut() {
  if (out_ == nullptr) return false;
  if (outMessage_->withSystem && outMessage_->port != out_) FreshOutputMessage();
  const MMRESULT result = midiOutPrepareHeader(out_, &outMessage_->header, sizeof(MIDIHDR));
  if (result == MMSYSERR_NOERROR) {
    outMessage_->withSystem = true;
    outMessage_->port = out_;
  }
  return CheckedOut(result);
}

bool WinMmDriver::SendOut() {
  if (out_ == nullptr || !outMessage_->withSystem || outMessage_->port != out_) return false;
  return CheckedOut(midiOutLongMsg(out_, &outMessage_->header, sizeof(MIDIHDR)));
}

bool WinMmDriver::UnprepareOut() {
  if (out_ == nullptr) return false;
  if (!outMessage_->withSystem) return true;  // never prepared, or given back already
  if (outMessage_->port != out_) return false;
  if (midiOutUnprepareHeader(out_, &outMessage_->header, sizeof(MIDIHDR)) != MMSYSERR_NOERROR) return false;
  outMessage_->withSystem = false;
  return true;
}

bool WinMmDriver::ResetOut() { return out_ != nullptr && CheckedOut(midiOutReset(out_)); }

bool WinMmDriver::CloseOut() {
  if (out_ == nullptr) return false;
  const HMIDIOUT port = out_;
  gOutDone.store(nullptr);  // as for the input: never a closed event from the callback
  gOutPort.store(nullptr);
  AcquireSRWLockExclusive(&portsLock_);
  const bool closed = midiOutClose(port) == MMSYSERR_NOERROR;
  if (closed) out_ = nullptr;
  ReleaseSRWLockExclusive(&portsLock_);
  if (!closed) return false;
  // A closed port holds nothing: what it was given is ours again.
  keptAsideOut_.erase(
      std::remove_if(keptAsideOut_.begin(), keptAsideOut_.end(),
                     [port](const std::unique_ptr<OutputMessage>& m) { return m->port == port; }),
      keptAsideOut_.end());
  if (outMessage_->port == port) outMessage_->withSystem = false;
  return true;
}

void WinMmDriver::FreshOutputMessage() {
  if (outMessage_->withSystem) keptAsideOut_.push_back(std::move(outMessage_));
  outMessage_ = std::make_unique<OutputMessage>();
}

// ---- The device's presence -----------------------------------------------------------------------------

bool WinMmDriver::CheckedIn(MMRESULT result) {
  if (result == MMSYSERR_NOERROR) return true;
  if (result == MMSYSERR_NODRIVER || (result == MMSYSERR_ERROR && LooksGone(in_))) ReportGone();
  return false;
}

bool WinMmDriver::CheckedOut(MMRESULT result) {
  if (result == MMSYSERR_NOERROR) return true;
  if (result == MMSYSERR_NODRIVER || (result == MMSYSERR_ERROR && LooksGone(out_))) ReportGone();
  return false;
}

// An open port's handle stands for the device it was opened on: the capabilities query through it fails
// once that device is gone.
bool WinMmDriver::LooksGone(HMIDIIN port) const {
  MIDIINCAPSA caps;
  return QuerySaysGone(midiInGetDevCapsA(reinterpret_cast<UINT_PTR>(port), &caps, sizeof caps));
}

bool WinMmDriver::LooksGone(HMIDIOUT port) const {
  MIDIOUTCAPSA caps;
  return QuerySaysGone(midiOutGetDevCapsA(reinterpret_cast<UINT_PTR>(port), &caps, sizeof caps));
}

void WinMmDriver::ReportGone() {
  if (removed_.exchange(true)) return;
  const HANDLE loss = loss_.load();
  if (loss != nullptr) SetEvent(loss);
}

void WinMmDriver::ReportLossTo(EventRef loss) {
  // Stopping waits for a look under way: afterwards nothing sets the old event.
  if (lookTimer_ != nullptr) DeleteTimerQueueTimer(nullptr, lookTimer_, INVALID_HANDLE_VALUE);
  lookTimer_ = nullptr;
  loss_.store(static_cast<HANDLE>(loss));
  if (loss == nullptr) return;
  // New ports are about to be opened: ports that would not close are left as they are (as a new open leaves
  // them), so that no look at them reports the old device's loss as the new one's.
  AcquireSRWLockExclusive(&portsLock_);
  in_ = nullptr;
  out_ = nullptr;
  removed_ = false;
  ReleaseSRWLockExclusive(&portsLock_);
  // Without the timer a loss is still reported when a call is refused for it; only silent waits miss it.
  if (!CreateTimerQueueTimer(&lookTimer_, nullptr, &WinMmDriver::OnLookTimer, this, kLookEveryMs, kLookEveryMs,
                             WT_EXECUTEDEFAULT)) {
    lookTimer_ = nullptr;
  }
}

void CALLBACK WinMmDriver::OnLookTimer(PVOID self, BOOLEAN) { static_cast<WinMmDriver*>(self)->Look(); }

void WinMmDriver::Look() {
  // Shared: the program's thread only takes the lock exclusively to change or close a port.
  AcquireSRWLockShared(&portsLock_);
  if (!removed_.load() && (out_ != nullptr || in_ != nullptr)) {
    if (out_ != nullptr ? LooksGone(out_) : LooksGone(in_)) ReportGone();
  }
  ReleaseSRWLockShared(&portsLock_);
}

}  // namespace su
