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

// The results with which the system refuses a call on an open port whose device has been unplugged: the
// long-standing one (no driver behind the handle any more) and the unspecified error that newer MIDI stacks
// give in the same place. The unspecified error is also given for passing refusals, so on its own it only
// asks for a look at the device.
bool SaysGone(MMRESULT result) { return result == MMSYSERR_NODRIVER || result == MMSYSERR_ERROR; }

}  // namespace

WinMmDriver::WinMmDriver() : inBuffer_(std::make_unique<InputBuffer>()) {}

WinMmDriver::~WinMmDriver() {
  // Buffers that a port never gave back stay where they are: the system may write into them until the
  // process ends.
  for (auto& kept : keptAside_) static_cast<void>(kept.release());
  if (inBuffer_->withSystem) static_cast<void>(inBuffer_.release());
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
  in_ = nullptr;
  gInPort.store(nullptr);
  gInFilled.store(static_cast<HANDLE>(filled));
  HMIDIIN handle = nullptr;
  if (midiInOpen(&handle, static_cast<UINT>(index), reinterpret_cast<DWORD_PTR>(&InputCallback), 0,
                 CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
    gInFilled.store(nullptr);
    return false;
  }
  in_ = handle;
  gInPort.store(handle);
  if (inBuffer_->withSystem) FreshInputBuffer();
  removed_ = false;  // a device that opens is there (again)
  lastLook_ = GetTickCount();
  return true;
}

bool WinMmDriver::ResetIn() { return in_ != nullptr && CheckedIn(midiInReset(in_)); }
bool WinMmDriver::StartIn() { return in_ != nullptr && CheckedIn(midiInStart(in_)); }
bool WinMmDriver::StopIn() { return in_ != nullptr && CheckedIn(midiInStop(in_)); }

bool WinMmDriver::CloseIn() {
  if (in_ == nullptr) return false;
  // The callback stops setting the event even when the port refuses to close: the event goes away with the
  // session, and a closed (perhaps reused) handle must never be set.
  gInFilled.store(nullptr);
  gInPort.store(nullptr);
  if (midiInClose(in_) != MMSYSERR_NOERROR) return false;
  // A closed port holds nothing: what it was given is ours again.
  const HMIDIIN closed = in_;
  keptAside_.erase(std::remove_if(keptAside_.begin(), keptAside_.end(),
                                  [closed](const std::unique_ptr<InputBuffer>& b) { return b->port == closed; }),
                   keptAside_.end());
  if (inBuffer_->port == closed) inBuffer_->withSystem = false;
  in_ = nullptr;
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
  out_ = nullptr;               // as for the input: a port that would not close is left as it is
  gOutPort.store(nullptr);
  gOutDone.store(static_cast<HANDLE>(done));
  HMIDIOUT handle = nullptr;
  if (midiOutOpen(&handle, static_cast<UINT>(index), reinterpret_cast<DWORD_PTR>(&OutputCallback), 0,
                  CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
    gOutDone.store(nullptr);
    return false;
  }
  out_ = handle;
  gOutPort.store(handle);
  removed_ = false;
  lastLook_ = GetTickCount();
  return true;
}

void WinMmDriver::SetOutMessage(const std::uint8_t* data, std::uint32_t size) {
  // The driver only reads the message; the header's field is not const in the platform's declaration.
  outHeader_.lpData = reinterpret_cast<LPSTR>(const_cast<std::uint8_t*>(data));
  outHeader_.dwBufferLength = size;
  outHeader_.dwFlags = 0;
}

bool WinMmDriver::PrepareOut() {
  return out_ != nullptr && CheckedOut(midiOutPrepareHeader(out_, &outHeader_, sizeof outHeader_));
}

bool WinMmDriver::SendOut() {
  return out_ != nullptr && CheckedOut(midiOutLongMsg(out_, &outHeader_, sizeof outHeader_));
}

bool WinMmDriver::UnprepareOut() {
  return out_ != nullptr && midiOutUnprepareHeader(out_, &outHeader_, sizeof outHeader_) == MMSYSERR_NOERROR;
}

bool WinMmDriver::ResetOut() { return out_ != nullptr && CheckedOut(midiOutReset(out_)); }

bool WinMmDriver::CloseOut() {
  if (out_ == nullptr) return false;
  gOutDone.store(nullptr);  // as for the input: never a closed event from the callback
  gOutPort.store(nullptr);
  if (midiOutClose(out_) != MMSYSERR_NOERROR) return false;
  out_ = nullptr;
  return true;
}

// ---- The device's presence -----------------------------------------------------------------------------

bool WinMmDriver::CheckedIn(MMRESULT result) {
  if (result == MMSYSERR_NOERROR) return true;
  if (result == MMSYSERR_NODRIVER || (result == MMSYSERR_ERROR && LooksGone(in_))) removed_ = true;
  return false;
}

bool WinMmDriver::CheckedOut(MMRESULT result) {
  if (result == MMSYSERR_NOERROR) return true;
  if (result == MMSYSERR_NODRIVER || (result == MMSYSERR_ERROR && LooksGone(out_))) removed_ = true;
  return false;
}

// An open port's handle stands for the device it was opened on: the capabilities query through it fails
// once that device is gone.
bool WinMmDriver::LooksGone(HMIDIIN port) const {
  lastLook_ = GetTickCount();
  MIDIINCAPSA caps;
  return SaysGone(midiInGetDevCapsA(reinterpret_cast<UINT_PTR>(port), &caps, sizeof caps));
}

bool WinMmDriver::LooksGone(HMIDIOUT port) const {
  lastLook_ = GetTickCount();
  MIDIOUTCAPSA caps;
  return SaysGone(midiOutGetDevCapsA(reinterpret_cast<UINT_PTR>(port), &caps, sizeof caps));
}

bool WinMmDriver::DeviceRemoved() const {
  if (removed_ || MsUntilNextLook() != 0) return removed_;
  if (out_ != nullptr ? LooksGone(out_) : LooksGone(in_)) removed_ = true;
  return removed_;
}

DWORD WinMmDriver::MsUntilNextLook() const {
  if (removed_ || (in_ == nullptr && out_ == nullptr)) return INFINITE;
  const DWORD since = GetTickCount() - lastLook_;
  return since >= kLookEveryMs ? 0 : kLookEveryMs - since;
}

}  // namespace su
