// The virtual link: a MIDI driver and a clock in one object, for tests. Time is virtual milliseconds that
// move only when the program waits or pauses, so a 75-second silent wait takes microseconds and every
// time-out is exact. It behaves like a real driver: a sent message reaches the attached peer (the virtual
// keyboard) at the moment it is handed over, the output event is set after a configurable delay (or never),
// and a reply lands only in an input buffer that is prepared, added and started at the moment it arrives -
// cut at the buffer's size - and is lost otherwise. Window messages can be scheduled at a virtual time; they
// run from DispatchWindowMessages, as a dialog's button would during a wait.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "midi/clock.h"
#include "midi/midi_driver.h"
#include "tools/virtual_keyboard/virtual_peer.h"

namespace su::test {

class VirtualLink : public MidiDriver, public Clock, public ReplySink {
 public:
  VirtualLink();
  ~VirtualLink() override;
  VirtualLink(const VirtualLink&) = delete;
  VirtualLink& operator=(const VirtualLink&) = delete;

  // ---- Set-up -------------------------------------------------------------------------------------
  void SetTicks(std::uint32_t ticks);  // the tick count right now (e.g. just below 2^32 to test the wrap)
  void SetInDevices(std::vector<std::string> names);
  void SetOutDevices(std::vector<std::string> names);
  void RefuseInOpen(std::int32_t index);   // opening this input device fails, as when another program has it
  void RefuseOutOpen(std::int32_t index);
  void FailInNameQuery(std::int32_t index);  // the capability query of an existing device fails
  void FailOutNameQuery(std::int32_t index);
  // How long after a send the driver reports it done; nullopt: never (the send times out).
  void SetSendDoneDelay(std::optional<std::uint32_t> ms);
  void AttachPeer(VirtualPeer* peer);  // nullptr: nobody at the far end
  // The keyboard is unplugged `delayMs` from now: from then on a send or an input buffer is refused, nothing
  // more arrives, a send under way is never reported done, and the driver reports the device removed: it
  // sets the loss event the session gave it, which wakes the wait under way. Resetting and closing work.
  void Unplug(std::uint32_t delayMs);
  // The driver refuses to send the messages `which` picks: they go nowhere and are recorded as refused, not
  // as sent.
  void RefuseSends(std::function<bool(const std::vector<std::uint8_t>&)> which) { refuseSend_ = std::move(which); }

  // ---- Driving a test -----------------------------------------------------------------------------
  // Bytes from the keyboard arriving `delayMs` from now (ReplySink: the peer uses the same).
  void Reply(std::vector<std::uint8_t> bytes, std::uint32_t delayMs) override;
  // A window message that enters the queue `delayMs` from now; `handler` runs when it is dispatched.
  void PostWindowMessage(std::uint32_t delayMs, std::function<void()> handler);
  // `count` window messages, the first `firstMs` from now and then one every `everyMs`; dispatching each
  // costs `costMs` of virtual time (a repaint, say), during which the next ones may already queue up.
  void StreamWindowMessages(std::uint32_t firstMs, std::uint32_t everyMs, int count, std::uint32_t costMs);
  // Lets virtual time pass as a Pause would (scheduled things happen; window messages only queue up).
  void Advance(std::uint32_t ms);

  // ---- What happened ------------------------------------------------------------------------------
  std::uint64_t Elapsed() const { return now_; }  // virtual milliseconds since construction
  const std::vector<std::vector<std::uint8_t>>& Sent() const { return sent_; }
  // A send the driver refused, and how many messages had been sent before it.
  struct Refusal {
    std::vector<std::uint8_t> message;
    std::size_t sentBefore = 0;
  };
  const std::vector<Refusal>& Refused() const { return refused_; }
  int EventsAlive() const { return static_cast<int>(events_.size()); }
  int InOpens() const { return inOpens_; }
  int InCloses() const { return inCloses_; }
  int OutCloses() const { return outCloses_; }
  int InPrepares() const { return inPrepares_; }
  bool InPrepared() const { return in_.prepared; }
  bool InQueued() const { return in_.queued; }
  bool InStarted() const { return in_.started; }
  bool OutPrepared() const { return out_.prepared; }
  bool OutHeld() const { return out_.held; }  // the driver still holds the caller's bytes
  int Dropped() const { return dropped_; }    // messages from the keyboard that found no buffer
  int Waits() const { return waits_; }        // calls of WaitEventOrInput
  int Dispatched() const { return dispatched_; }
  std::optional<std::uint64_t> UnpluggedAt() const { return unpluggedAt_; }  // virtual time of the unplugging
  // Calls a real driver would refuse or that corrupt its state (changing a queued header, sending while a
  // message is still held): a test expects none.
  const std::vector<std::string>& Misuse() const { return misuse_; }

  // ---- MidiDriver -----------------------------------------------------------------------------------
  std::uint32_t InDeviceCount() override;
  std::uint32_t OutDeviceCount() override;
  bool InDeviceName(std::int32_t index, std::string* productName) override;
  bool OutDeviceName(std::int32_t index, std::string* productName) override;
  bool OpenIn(std::int32_t index, EventRef filled) override;
  bool IsInOpen() const override { return in_.open; }
  bool ResetIn() override;
  bool StartIn() override;
  bool StopIn() override;
  bool CloseIn() override;
  void SetInBuffer(std::uint8_t* data, std::uint32_t size) override;
  void ClearInHeader() override;
  bool PrepareIn() override;
  bool UnprepareIn() override;
  bool AddIn() override;
  std::uint32_t InBytesRecorded() override { return in_.recorded; }
  bool OpenOut(std::int32_t index, EventRef done) override;
  bool IsOutOpen() const override { return out_.open; }
  void SetOutMessage(const std::uint8_t* data, std::uint32_t size) override;
  bool PrepareOut() override;
  bool SendOut() override;
  bool UnprepareOut() override;
  bool ResetOut() override;
  bool CloseOut() override;
  void ReportLossTo(EventRef loss) override;
  bool DeviceRemoved() const override { return unpluggedAt_.has_value(); }

  // ---- Clock --------------------------------------------------------------------------------------
  EventRef NewEvent() override;
  void DeleteEvent(EventRef event) override;
  std::uint32_t Ticks() override;
  void Pause(std::uint32_t ms) override;
  Wake WaitEventOrInput(EventRef event, EventRef loss, std::uint32_t ms) override;
  void DispatchWindowMessages() override;

 private:
  struct Event {
    bool set = false;
  };
  struct Scheduled {
    enum Kind { Input, SendDone, WindowMessage, Unplug } kind;
    std::vector<std::uint8_t> bytes;  // Input
    std::uint64_t sendId = 0;         // SendDone
    std::function<void()> handler;    // WindowMessage
  };
  struct InPort {
    bool open = false;
    Event* filled = nullptr;
    std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    std::uint32_t recorded = 0;
    bool prepared = false;
    bool queued = false;
    bool started = false;
  };
  struct OutPort {
    bool open = false;
    Event* done = nullptr;
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    bool prepared = false;
    bool held = false;
    std::uint64_t sendId = 0;
  };

  void Schedule(std::uint64_t at, Scheduled item);
  // Runs every scheduled thing up to `until`; stops early (returning true) when `stop` says so.
  bool RunUntil(std::uint64_t until, const std::function<bool()>& stop);
  void Happen(Scheduled& item);
  void Arrive(const std::vector<std::uint8_t>& bytes);
  Event* Known(EventRef ref);
  void Set(Event* event);
  void Misused(const std::string& what) { misuse_.push_back(what); }

  std::uint64_t now_ = 0;
  std::uint32_t tickBase_ = 0;
  std::uint64_t nextSeq_ = 0;
  std::multimap<std::pair<std::uint64_t, std::uint64_t>, Scheduled> agenda_;  // (time, order) -> thing
  std::vector<std::function<void()>> pending_;  // window messages waiting in the queue

  std::vector<std::string> inNames_, outNames_;
  std::set<std::int32_t> refuseIn_, refuseOut_, failInName_, failOutName_;
  std::optional<std::uint32_t> sendDoneDelay_ = 1;
  VirtualPeer* peer_ = nullptr;
  std::optional<std::uint64_t> unpluggedAt_;
  Event* loss_ = nullptr;  // the session's loss event, set at the unplugging
  std::function<bool(const std::vector<std::uint8_t>&)> refuseSend_;

  std::set<Event*> events_;
  InPort in_;
  OutPort out_;
  std::uint64_t nextSendId_ = 1;

  std::vector<std::vector<std::uint8_t>> sent_;
  std::vector<Refusal> refused_;
  std::vector<std::string> misuse_;
  int inOpens_ = 0, inCloses_ = 0, outCloses_ = 0, inPrepares_ = 0;
  int dropped_ = 0, waits_ = 0, dispatched_ = 0;
};

// A peer made of one function, for tests that script the keyboard's answers inline.
class ScriptedPeer : public VirtualPeer {
 public:
  using Script = std::function<void(const std::vector<std::uint8_t>&, ReplySink&)>;
  explicit ScriptedPeer(Script script) : script_(std::move(script)) {}
  void OnMessage(const std::vector<std::uint8_t>& message, ReplySink& sink) override { script_(message, sink); }

 private:
  Script script_;
};

}  // namespace su::test
