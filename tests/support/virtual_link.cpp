#include "tests/support/virtual_link.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace su::test {

VirtualLink::VirtualLink() = default;

VirtualLink::~VirtualLink() {
  for (Event* event : events_) delete event;
}

// ---- Set-up ---------------------------------------------------------------------------------------------

void VirtualLink::SetTicks(std::uint32_t ticks) {
  tickBase_ = ticks - static_cast<std::uint32_t>(now_);
}

void VirtualLink::SetInDevices(std::vector<std::string> names) { inNames_ = std::move(names); }
void VirtualLink::SetOutDevices(std::vector<std::string> names) { outNames_ = std::move(names); }
void VirtualLink::RefuseInOpen(std::int32_t index) { refuseIn_.insert(index); }
void VirtualLink::RefuseOutOpen(std::int32_t index) { refuseOut_.insert(index); }
void VirtualLink::FailInNameQuery(std::int32_t index) { failInName_.insert(index); }
void VirtualLink::FailOutNameQuery(std::int32_t index) { failOutName_.insert(index); }
void VirtualLink::SetSendDoneDelay(std::optional<std::uint32_t> ms) { sendDoneDelay_ = ms; }
void VirtualLink::AttachPeer(VirtualPeer* peer) { peer_ = peer; }
void VirtualLink::Unplug(std::uint32_t delayMs) { Schedule(now_ + delayMs, Scheduled{Scheduled::Unplug, {}, 0, nullptr}); }

// ---- Driving a test -------------------------------------------------------------------------------------

void VirtualLink::Reply(std::vector<std::uint8_t> bytes, std::uint32_t delayMs) {
  Scheduled item{Scheduled::Input, std::move(bytes), 0, nullptr};
  Schedule(now_ + delayMs, std::move(item));
}

void VirtualLink::PostWindowMessage(std::uint32_t delayMs, std::function<void()> handler) {
  Scheduled item{Scheduled::WindowMessage, {}, 0, std::move(handler)};
  Schedule(now_ + delayMs, std::move(item));
}

void VirtualLink::StreamWindowMessages(std::uint32_t firstMs, std::uint32_t everyMs, int count,
                                       std::uint32_t costMs) {
  for (int i = 0; i < count; ++i) {
    PostWindowMessage(firstMs + static_cast<std::uint32_t>(i) * everyMs, [this, costMs] { Advance(costMs); });
  }
}

void VirtualLink::Advance(std::uint32_t ms) {
  RunUntil(now_ + ms, [] { return false; });
}

// ---- Scheduling ---------------------------------------------------------------------------------------

void VirtualLink::Schedule(std::uint64_t at, Scheduled item) {
  agenda_.emplace(std::make_pair(at, nextSeq_++), std::move(item));
}

bool VirtualLink::RunUntil(std::uint64_t until, const std::function<bool()>& stop) {
  while (!agenda_.empty() && agenda_.begin()->first.first <= until) {
    auto node = agenda_.extract(agenda_.begin());
    now_ = std::max(now_, node.key().first);
    Happen(node.mapped());
    if (stop()) {
      // Whatever happens at this same instant happens before the program gets to run again.
      while (!agenda_.empty() && agenda_.begin()->first.first == now_) {
        auto same = agenda_.extract(agenda_.begin());
        Happen(same.mapped());
      }
      return true;
    }
  }
  now_ = std::max(now_, until);
  return false;
}

void VirtualLink::Happen(Scheduled& item) {
  switch (item.kind) {
    case Scheduled::Input:
      Arrive(item.bytes);
      break;
    case Scheduled::SendDone:
      // A reset may have handed the message back already; then this completion is stale.
      if (out_.open && out_.held && out_.sendId == item.sendId && !DeviceRemoved()) {
        out_.held = false;
        Set(out_.done);
      }
      break;
    case Scheduled::WindowMessage:
      pending_.push_back(std::move(item.handler));
      break;
    case Scheduled::Unplug:
      if (!unpluggedAt_) {
        unpluggedAt_ = now_;
        Set(loss_);
      }
      break;
  }
}

void VirtualLink::Arrive(const std::vector<std::uint8_t>& bytes) {
  if (!in_.open || !in_.started || !in_.queued || in_.data == nullptr || DeviceRemoved()) {
    ++dropped_;
    return;
  }
  const std::uint32_t count = std::min<std::uint32_t>(static_cast<std::uint32_t>(bytes.size()), in_.size);
  if (count > 0) std::memcpy(in_.data, bytes.data(), count);
  in_.recorded = count;
  in_.queued = false;  // the buffer is done and belongs to the program again
  if (count > 0) Set(in_.filled);
}

VirtualLink::Event* VirtualLink::Known(EventRef ref) {
  auto* event = static_cast<Event*>(ref);
  return events_.count(event) != 0 ? event : nullptr;
}

void VirtualLink::Set(Event* event) {
  if (event != nullptr && events_.count(event) != 0) event->set = true;
}

// ---- MidiDriver ---------------------------------------------------------------------------------------

std::uint32_t VirtualLink::InDeviceCount() { return static_cast<std::uint32_t>(inNames_.size()); }
std::uint32_t VirtualLink::OutDeviceCount() { return static_cast<std::uint32_t>(outNames_.size()); }

bool VirtualLink::InDeviceName(std::int32_t index, std::string* productName) {
  if (index < 0 || index >= static_cast<std::int32_t>(inNames_.size()) || failInName_.count(index)) return false;
  *productName = inNames_[static_cast<std::size_t>(index)];
  return true;
}

bool VirtualLink::OutDeviceName(std::int32_t index, std::string* productName) {
  if (index < 0 || index >= static_cast<std::int32_t>(outNames_.size()) || failOutName_.count(index)) return false;
  *productName = outNames_[static_cast<std::size_t>(index)];
  return true;
}

bool VirtualLink::OpenIn(std::int32_t index, EventRef filled) {
  if (in_.open) {
    Misused("input opened twice");
    return false;
  }
  if (index < 0 || index >= static_cast<std::int32_t>(inNames_.size()) || refuseIn_.count(index)) return false;
  in_.open = true;
  in_.filled = static_cast<Event*>(filled);
  in_.started = false;
  in_.queued = false;
  ++inOpens_;
  return true;
}

bool VirtualLink::ResetIn() {
  if (!in_.open) return false;
  in_.started = false;
  if (in_.queued) {  // the queued buffer comes back empty; an empty buffer sets no event
    in_.queued = false;
    in_.recorded = 0;
  }
  return true;
}

bool VirtualLink::StartIn() {
  if (!in_.open) return false;
  in_.started = true;
  return true;
}

bool VirtualLink::StopIn() {
  if (!in_.open) return false;
  in_.started = false;
  return true;
}

bool VirtualLink::CloseIn() {
  if (!in_.open) return false;
  if (in_.queued) return false;  // a real driver refuses while it still holds a buffer
  in_.open = false;
  in_.started = false;
  in_.filled = nullptr;
  ++inCloses_;
  return true;
}

void VirtualLink::ReportLossTo(EventRef loss) {
  loss_ = loss != nullptr ? Known(loss) : nullptr;
  if (loss != nullptr && loss_ == nullptr) Misused("unknown loss event given");
}

void VirtualLink::SetInBuffer(std::uint8_t* data, std::uint32_t size) {
  if (in_.queued) Misused("input header changed while the driver holds it");
  in_.data = data;
  in_.size = size;
  in_.prepared = false;  // its flags start at 0
}

void VirtualLink::ClearInHeader() {
  if (in_.queued) Misused("input header cleared while the driver holds it");
  in_.prepared = false;
  in_.recorded = 0;
}

bool VirtualLink::PrepareIn() {
  if (!in_.open || in_.data == nullptr || DeviceRemoved()) return false;
  in_.prepared = true;
  ++inPrepares_;
  return true;
}

bool VirtualLink::UnprepareIn() {
  if (!in_.open) return false;
  if (in_.queued) return false;  // still in the driver's queue
  in_.prepared = false;
  return true;
}

bool VirtualLink::AddIn() {
  if (!in_.open || !in_.prepared || in_.queued || DeviceRemoved()) return false;
  in_.queued = true;
  return true;
}

bool VirtualLink::OpenOut(std::int32_t index, EventRef done) {
  if (out_.open) {
    Misused("output opened twice");
    return false;
  }
  if (index < 0 || index >= static_cast<std::int32_t>(outNames_.size()) || refuseOut_.count(index)) return false;
  out_.open = true;
  out_.done = static_cast<Event*>(done);
  out_.held = false;
  return true;
}

void VirtualLink::SetOutMessage(const std::uint8_t* data, std::uint32_t size) {
  if (out_.held) Misused("output header changed while the driver holds it");
  out_.data = data;
  out_.size = size;
  out_.prepared = false;
}

bool VirtualLink::PrepareOut() {
  if (!out_.open || out_.data == nullptr || DeviceRemoved()) return false;
  out_.prepared = true;
  return true;
}

bool VirtualLink::SendOut() {
  if (!out_.open || !out_.prepared || DeviceRemoved()) return false;
  if (out_.held) {
    Misused("message sent while the previous one is still held");
    return false;
  }
  std::vector<std::uint8_t> message(out_.data, out_.data + out_.size);
  if (refuseSend_ && refuseSend_(message)) {
    refused_.push_back(Refusal{std::move(message), sent_.size()});
    return false;
  }
  out_.held = true;
  out_.sendId = nextSendId_++;
  sent_.push_back(message);
  if (sendDoneDelay_) {
    Schedule(now_ + *sendDoneDelay_, Scheduled{Scheduled::SendDone, {}, out_.sendId, nullptr});
  }
  if (peer_ != nullptr) peer_->OnMessage(message, *this);
  return true;
}

bool VirtualLink::UnprepareOut() {
  if (!out_.open) return false;
  if (out_.held) return false;  // still playing
  out_.prepared = false;
  return true;
}

bool VirtualLink::ResetOut() {
  if (!out_.open) return false;
  if (out_.held) {  // the driver hands the message back and reports it done
    out_.held = false;
    Set(out_.done);
  }
  return true;
}

bool VirtualLink::CloseOut() {
  if (!out_.open) return false;
  if (out_.held) return false;
  out_.open = false;
  out_.done = nullptr;
  ++outCloses_;
  return true;
}

// ---- Clock --------------------------------------------------------------------------------------------

EventRef VirtualLink::NewEvent() {
  auto* event = new Event;
  events_.insert(event);
  return event;
}

void VirtualLink::DeleteEvent(EventRef ref) {
  Event* event = Known(ref);
  if (event == nullptr) {
    Misused("unknown event deleted");
    return;
  }
  if (in_.filled == event) in_.filled = nullptr;
  if (out_.done == event) out_.done = nullptr;
  if (loss_ == event) Misused("loss event deleted while the driver still holds it");
  events_.erase(event);
  delete event;
}

std::uint32_t VirtualLink::Ticks() { return tickBase_ + static_cast<std::uint32_t>(now_); }

void VirtualLink::Pause(std::uint32_t ms) { Advance(ms); }

Wake VirtualLink::WaitEventOrInput(EventRef ref, EventRef lossRef, std::uint32_t ms) {
  ++waits_;
  Event* event = nullptr;
  Event* loss = nullptr;
  if (ref != nullptr) {
    event = Known(ref);
    if (event == nullptr) return Wake::Failed;  // a real wait on a closed handle fails too
  }
  if (lossRef != nullptr) {
    loss = Known(lossRef);
    if (loss == nullptr) return Wake::Failed;
  }
  auto isSet = [](const Event* e) { return e != nullptr && e->set; };
  auto woke = [&] { return isSet(event) || isSet(loss) || !pending_.empty(); };
  if (!woke()) RunUntil(now_ + ms, woke);
  if (isSet(event)) {
    event->set = false;  // auto-reset
    return Wake::Event;
  }
  if (isSet(loss)) {
    loss->set = false;
    return Wake::DeviceGone;
  }
  return pending_.empty() ? Wake::Quiet : Wake::Messages;
}

void VirtualLink::DispatchWindowMessages() {
  // Handlers may let time pass, during which further messages queue up: they are dispatched too.
  while (!pending_.empty()) {
    std::function<void()> handler = std::move(pending_.front());
    pending_.erase(pending_.begin());
    ++dispatched_;
    if (handler) handler();
  }
}

}  // namespace su::test
