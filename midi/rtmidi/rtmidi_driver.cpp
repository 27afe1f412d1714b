#include "midi/rtmidi/rtmidi_driver.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

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
// to RtMidi, which copies them, so it is done at once.
class RtMidiDriver : public MidiDriver {
 public:
  RtMidiDriver(std::unique_ptr<RtMidiIn> in, std::unique_ptr<RtMidiOut> out)
      : in_(std::move(in)), out_(std::move(out)) {
    in_->setErrorCallback(&RtMidiDriver::OnError, this);
    out_->setErrorCallback(&RtMidiDriver::OnError, this);
  }
  ~RtMidiDriver() override {
    CloseIn();
    CloseOut();
  }

  std::uint32_t InDeviceCount() override { return in_->getPortCount(); }
  std::uint32_t OutDeviceCount() override { return out_->getPortCount(); }
  bool InDeviceName(std::int32_t index, std::string* name) override {
    if (index < 0 || static_cast<std::uint32_t>(index) >= InDeviceCount()) return false;
    *name = in_->getPortName(static_cast<unsigned>(index));
    return true;
  }
  bool OutDeviceName(std::int32_t index, std::string* name) override {
    if (index < 0 || static_cast<std::uint32_t>(index) >= OutDeviceCount()) return false;
    *name = out_->getPortName(static_cast<unsigned>(index));
    return true;
  }

  bool OpenIn(std::int32_t index, EventRef filled) override {
    if (inOpen_ || index < 0 || static_cast<std::uint32_t>(index) >= InDeviceCount()) return false;
    failed_ = false;
    inEvent_ = filled;
    in_->ignoreTypes(false, true, true);  // System Exclusive on, timing and active sensing off
    in_->setCallback(&RtMidiDriver::OnInput, this);
    in_->openPort(static_cast<unsigned>(index), "in");
    if (failed_ || !in_->isPortOpen()) {
      in_->cancelCallback();
      return false;
    }
    inOpen_ = true;
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
    if (outOpen_ || index < 0 || static_cast<std::uint32_t>(index) >= OutDeviceCount()) return false;
    failed_ = false;
    out_->openPort(static_cast<unsigned>(index), "out");
    if (failed_ || !out_->isPortOpen()) return false;
    outEvent_ = done;
    outOpen_ = true;
    return true;
  }
  bool IsOutOpen() const override { return outOpen_; }
  void SetOutMessage(const std::uint8_t* data, std::uint32_t size) override {
    outData_ = data;
    outSize_ = size;
  }
  bool PrepareOut() override { return outOpen_; }
  bool SendOut() override {
    if (!outOpen_ || outData_ == nullptr || outSize_ == 0) return false;
    failed_ = false;
    out_->sendMessage(outData_, outSize_);
    if (failed_) return false;
    ConsoleClock::SetEvent(outEvent_);
    return true;
  }
  bool UnprepareOut() override { return true; }
  bool ResetOut() override { return outOpen_; }
  bool CloseOut() override {
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
  static void OnError(RtMidiError::Type type, const std::string&, void* self) {
    // Warnings (a JACK server that is not there, a port that went away) are not failures of a call.
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING) {
      static_cast<RtMidiDriver*>(self)->failed_ = true;
    }
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
  std::mutex mutex_;
  bool failed_ = false;
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
    *why = "no ALSA sequencer (/dev/snd/seq).";
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

}  // namespace su
