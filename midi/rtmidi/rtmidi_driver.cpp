#include "midi/rtmidi/rtmidi_driver.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "midi/port_choice.h"
#include "midi/rtmidi/console_clock.h"

#if defined(__linux__)
#include <jack/jack.h>
#include <unistd.h>
#endif

namespace su {

namespace {

constexpr char kClientName[] = "songuploader";
constexpr std::uint8_t kSysExStart = 0xF0;

// RtMidi behind the seam. The input works like one queued long-message buffer: a System Exclusive message
// that arrives while the buffer is queued and input is started is copied into it (cut at its size) and the
// input event set; one that arrives otherwise is lost, as with the Windows driver. A send hands the bytes
// to RtMidi, which copies them, so it is done at once; RtMidi reports a send it could not pass on (ALSA
// does so as a warning), and the send then fails. The device lists are those of the last count: a port is
// opened by the name listed under its number, looked up again right before it is opened, because the
// lists shift as ports come and go (our own input among them). ALSA and JACK rarely refuse a send to a port
// that went away, so while ports are open a thread of the driver's own looks at the port lists every 500 ms
// for the opened ports' names (which carry the ALSA address): a keyboard unplugged or switched off takes its
// ports with it, and the device is then reported removed (the session's loss event set) until the next
// successful open. Every call into RtMidi from either thread holds one lock: the library's objects are not
// made to be used from two threads at once.
class RtMidiDriver : public MidiDriver {
 public:
  RtMidiDriver(std::unique_ptr<RtMidiIn> in, std::unique_ptr<RtMidiOut> out)
      : in_(std::move(in)), out_(std::move(out)) {
    in_->setErrorCallback(&RtMidiDriver::OnError, this);
    out_->setErrorCallback(&RtMidiDriver::OnError, this);
  }
  ~RtMidiDriver() override {
    ReportLossTo(nullptr);
    CloseIn();
    CloseOut();
  }

  std::uint32_t InDeviceCount() override {
    std::lock_guard<std::mutex> io(io_);
    inNames_ = Names(*in_);
    return static_cast<std::uint32_t>(inNames_.size());
  }
  std::uint32_t OutDeviceCount() override {
    std::lock_guard<std::mutex> io(io_);
    outNames_ = Names(*out_);
    return static_cast<std::uint32_t>(outNames_.size());
  }
  bool InDeviceName(std::int32_t index, std::string* name) override { return Listed(inNames_, index, name); }
  bool OutDeviceName(std::int32_t index, std::string* name) override { return Listed(outNames_, index, name); }

  bool OpenIn(std::int32_t index, EventRef filled) override {
    std::lock_guard<std::mutex> io(io_);
    if (inOpen_) return false;
    const std::int32_t now = PortNow(*in_, &inNames_, index);
    if (now < 0) return false;
    failed_ = false;
    caller_ = std::this_thread::get_id();
    inEvent_ = filled;
    in_->ignoreTypes(false, true, true);  // System Exclusive on, timing and active sensing off
    in_->setCallback(&RtMidiDriver::OnInput, this);
    in_->openPort(static_cast<unsigned>(now), "in");
    if (failed_ || !in_->isPortOpen()) {
      in_->cancelCallback();
      return false;
    }
    inName_ = inNames_[static_cast<std::size_t>(index)];
    inOpen_ = true;
    removed_ = false;
    return true;
  }
  bool IsInOpen() const override { return inOpen_; }
  bool ResetIn() override {
    std::lock_guard<std::mutex> lock(mutex_);
    queued_ = false;  // the queued buffer comes back empty
    return inOpen_;
  }
  bool StartIn() override {
    std::lock_guard<std::mutex> lock(mutex_);
    started_ = inOpen_;
    return inOpen_;
  }
  bool StopIn() override {
    std::lock_guard<std::mutex> lock(mutex_);
    started_ = false;
    return inOpen_;
  }
  bool CloseIn() override {
    std::lock_guard<std::mutex> io(io_);
    if (!inOpen_) return false;
    in_->closePort();
    in_->cancelCallback();
    std::lock_guard<std::mutex> lock(mutex_);
    inOpen_ = false;
    started_ = false;
    queued_ = false;
    inEvent_ = nullptr;
    return true;
  }
  void SetInBuffer(std::uint8_t* data, std::uint32_t size) override {
    std::lock_guard<std::mutex> lock(mutex_);
    buffer_ = data;
    bufferSize_ = size;
  }
  void ClearInHeader() override {
    std::lock_guard<std::mutex> lock(mutex_);
    recorded_ = 0;
  }
  bool PrepareIn() override {
    std::lock_guard<std::mutex> lock(mutex_);
    prepared_ = buffer_ != nullptr;
    return prepared_;
  }
  bool UnprepareIn() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queued_) return false;
    prepared_ = false;
    return true;
  }
  bool AddIn() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!prepared_ || !inOpen_) return false;
    queued_ = true;
    return true;
  }
  std::uint32_t InBytesRecorded() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return recorded_;
  }

  bool OpenOut(std::int32_t index, EventRef done) override {
    std::lock_guard<std::mutex> io(io_);
    if (outOpen_) return false;
    const std::int32_t now = PortNow(*out_, &outNames_, index);
    if (now < 0) return false;
    failed_ = false;
    caller_ = std::this_thread::get_id();
    out_->openPort(static_cast<unsigned>(now), "out");
    if (failed_ || !out_->isPortOpen()) return false;
    outName_ = outNames_[static_cast<std::size_t>(index)];
    outEvent_ = done;
    outOpen_ = true;
    removed_ = false;  // what was seen of the last port says nothing of this one
    return true;
  }
  bool IsOutOpen() const override { return outOpen_; }
  void SetOutMessage(const std::uint8_t* data, std::uint32_t size) override {
    outData_ = data;
    outSize_ = size;
  }
  bool PrepareOut() override { return outOpen_; }
  bool SendOut() override {
    std::lock_guard<std::mutex> io(io_);
    if (!outOpen_ || outData_ == nullptr || outSize_ == 0) return false;
    failed_ = false;
    caller_ = std::this_thread::get_id();
    sending_ = true;
    out_->sendMessage(outData_, outSize_);
    sending_ = false;
    if (failed_) {
      // A send refused because the keyboard's port is no longer there: the device itself is gone.
      const std::vector<std::string> now = Names(*out_);
      if (FindPortNow(now, outName_) < 0) ReportGone();
      return false;
    }
    ConsoleClock::SetEvent(outEvent_);
    return true;
  }
  bool UnprepareOut() override { return true; }
  bool ResetOut() override { return outOpen_; }
  void ReportLossTo(EventRef loss) override {
    {
      std::lock_guard<std::mutex> lock(watch_);
      if (watcher_.joinable()) {
        stopWatching_ = true;
        watchWake_.notify_all();
      }
    }
    if (watcher_.joinable()) watcher_.join();
    std::lock_guard<std::mutex> io(io_);
    loss_ = loss;
    if (loss == nullptr) return;
    stopWatching_ = false;
    watcher_ = std::thread([this] { Watch(); });
  }
  bool DeviceRemoved() const override { return removed_.load(); }
  std::string LastFailure() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastFailure_;
  }
  bool CloseOut() override {
    std::lock_guard<std::mutex> io(io_);
    if (!outOpen_) return false;
    out_->closePort();
    outOpen_ = false;
    outEvent_ = nullptr;
    return true;
  }

 private:
  static void OnInput(double, std::vector<unsigned char>* message, void* self) {
    static_cast<RtMidiDriver*>(self)->Arrive(*message);
  }
  static void OnError(RtMidiError::Type type, const std::string& text, void* self) {
    auto* driver = static_cast<RtMidiDriver*>(self);
    if (type == RtMidiError::DEBUG_WARNING) return;
    // RtMidi reports on whichever thread met the trouble (the input's own thread too): only what the thread
    // making a call meets is that call's failure.
    const bool thisCall = std::this_thread::get_id() == driver->caller_.load();
    // Other warnings (a JACK server that is not there) are not failures of a call, except during a send:
    // a message the sequencer would not take is a message the keyboard never gets.
    if (type == RtMidiError::WARNING && !(driver->sending_ && thisCall)) return;
    if (thisCall) driver->failed_ = true;
    std::lock_guard<std::mutex> lock(driver->mutex_);
    driver->lastFailure_ = text;
  }

  // The watching thread: every kLookEvery while ports are open, whether their names are still listed.
  void Watch() {
    std::unique_lock<std::mutex> lock(watch_);
    for (;;) {
      watchWake_.wait_for(lock, kLookEvery, [this] { return stopWatching_; });
      if (stopWatching_) return;
      lock.unlock();
      LookAtPorts();
      lock.lock();
    }
  }
  void LookAtPorts() {
    std::lock_guard<std::mutex> io(io_);
    if (removed_ || (!inOpen_ && !outOpen_)) return;
    const char* gone = nullptr;
    if (outOpen_ && FindPortNow(Names(*out_), outName_) < 0) gone = outName_.c_str();
    if (gone == nullptr && inOpen_ && FindPortNow(Names(*in_), inName_) < 0) gone = inName_.c_str();
    if (gone == nullptr) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lastFailure_ = std::string("the MIDI port \"") + gone + "\" is gone";
    }
    ReportGone();
  }
  // Notes the loss and sets the session's event, once. Called with io_ held.
  void ReportGone() {
    if (!removed_.exchange(true)) ConsoleClock::SetEvent(loss_);
  }

  static std::vector<std::string> Names(RtMidi& midi) {
    std::vector<std::string> names;
    const unsigned count = midi.getPortCount();
    for (unsigned i = 0; i < count; ++i) names.push_back(midi.getPortName(i));
    return names;
  }
  static bool Listed(const std::vector<std::string>& names, std::int32_t index, std::string* name) {
    if (index < 0 || static_cast<std::size_t>(index) >= names.size()) return false;
    *name = names[static_cast<std::size_t>(index)];
    return true;
  }
  // Where the port listed as `index` is now; -1 when it is gone. Without a list yet, `index` is read now.
  // Called with io_ held.
  std::int32_t PortNow(RtMidi& midi, std::vector<std::string>* listed, std::int32_t index) {
    if (listed->empty()) *listed = Names(midi);
    if (index < 0 || static_cast<std::size_t>(index) >= listed->size()) return -1;
    const std::string& name = (*listed)[static_cast<std::size_t>(index)];
    const std::int32_t now = FindPortNow(Names(midi), name);
    if (now < 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      lastFailure_ = "the MIDI port \"" + name + "\" is gone";
    }
    return now;
  }

  void Arrive(const std::vector<unsigned char>& message) {
    if (message.empty() || message[0] != kSysExStart) return;
    EventRef event = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!queued_ || !started_ || buffer_ == nullptr) return;  // no buffer waiting: the message is lost
      const std::uint32_t n = std::min<std::uint32_t>(static_cast<std::uint32_t>(message.size()), bufferSize_);
      std::memcpy(buffer_, message.data(), n);
      recorded_ = n;
      queued_ = false;
      event = inEvent_;
    }
    ConsoleClock::SetEvent(event);
  }

  std::unique_ptr<RtMidiIn> in_;
  std::unique_ptr<RtMidiOut> out_;
  mutable std::mutex mutex_;
  std::atomic<bool> failed_{false};
  std::atomic<bool> sending_{false};
  std::atomic<std::thread::id> caller_{};  // the thread of the open or send under way
  // How often the open ports' presence is looked at while they are in use.
  static constexpr std::chrono::milliseconds kLookEvery{500};
  std::mutex io_;  // held by every call into RtMidi, from the program's thread and the watching one
  std::atomic<bool> removed_{false};  // since the last successful open
  EventRef loss_ = nullptr;           // the session's loss event (io_)
  std::mutex watch_;
  std::condition_variable watchWake_;
  bool stopWatching_ = false;  // (watch_)
  std::thread watcher_;
  mutable std::string lastFailure_;
  std::vector<std::string> inNames_;
  std::vector<std::string> outNames_;
  std::string inName_;
  std::string outName_;
  bool inOpen_ = false;
  bool outOpen_ = false;
  EventRef inEvent_ = nullptr;
  EventRef outEvent_ = nullptr;
  std::uint8_t* buffer_ = nullptr;
  std::uint32_t bufferSize_ = 0;
  std::uint32_t recorded_ = 0;
  bool prepared_ = false;
  bool queued_ = false;
  bool started_ = false;
  const std::uint8_t* outData_ = nullptr;
  std::uint32_t outSize_ = 0;
};

std::unique_ptr<MidiDriver> Make(RtMidi::Api api) {
  auto in = std::make_unique<RtMidiIn>(api, kClientName);
  auto out = std::make_unique<RtMidiOut>(api, kClientName);
  return std::make_unique<RtMidiDriver>(std::move(in), std::move(out));
}

#if defined(__linux__)
void Quiet(const char*) {}

// Whether a system is there before RtMidi is asked: its own attempt prints the libraries' complaints.
bool Present(RtMidi::Api api, std::string* why) {
  if (api == RtMidi::LINUX_ALSA) {
    if (access("/dev/snd/seq", R_OK | W_OK) == 0) return true;
    const int reason = errno;
    if (reason == ENOENT) {
      *why = "no ALSA sequencer (/dev/snd/seq).";
    } else {
      // There, but not ours to use: most often a user outside the audio group, or a remote session.
      *why = std::string("the ALSA sequencer /dev/snd/seq cannot be opened: ") + std::strerror(reason) +
             " (users of the audio group may open it: sudo usermod -aG audio $USER, then log in again).";
    }
    return false;
  }
  if (api == RtMidi::UNIX_JACK) {
    jack_set_error_function(Quiet);
    jack_set_info_function(Quiet);
    jack_status_t status;
    jack_client_t* client = jack_client_open("songuploader-probe", JackNoStartServer, &status);
    if (client != nullptr) {
      jack_client_close(client);
      return true;
    }
    *why = "no JACK server running.";
    return false;
  }
  return true;
}
#else
bool Present(RtMidi::Api, std::string*) { return true; }
#endif

bool Compiled(RtMidi::Api api) {
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  return std::find(apis.begin(), apis.end(), api) != apis.end();
}

}  // namespace

std::unique_ptr<MidiDriver> MakeRtMidiDriver(MidiSystem system, std::string* error) {
  // RtMidi's own default tries one system only; we try the sequencer first and fall back to JACK.
  std::vector<RtMidi::Api> order;
  if (system == MidiSystem::Alsa) order = {RtMidi::LINUX_ALSA};
  if (system == MidiSystem::Jack) order = {RtMidi::UNIX_JACK};
  if (system == MidiSystem::Default) order = {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK, RtMidi::MACOSX_CORE};
  std::string reasons;
  if (order.size() > 1 && !Compiled(RtMidi::MACOSX_CORE)) order.pop_back();
  for (const RtMidi::Api api : order) {
    if (!Compiled(api)) {
      reasons += RtMidi::getApiDisplayName(api) + " is not built into RtMidi. ";
      continue;
    }
    std::string why;
    if (!Present(api, &why)) {
      reasons += why + " ";
      continue;
    }
    try {
      return Make(api);
    } catch (const RtMidiError& e) {
      reasons += RtMidi::getApiDisplayName(api) + ": " + e.getMessage() + " ";
    }
  }
  *error = "no MIDI system can be used. " + reasons;
  return nullptr;
}

MidiSystem ResolveMidiSystem(MidiSystem requested) {
  if (requested != MidiSystem::Default) return requested;
  std::string why;
  if (Compiled(RtMidi::LINUX_ALSA) && Present(RtMidi::LINUX_ALSA, &why)) return MidiSystem::Alsa;
  if (Compiled(RtMidi::UNIX_JACK) && Present(RtMidi::UNIX_JACK, &why)) return MidiSystem::Jack;
  return MidiSystem::Default;
}

}  // namespace su
