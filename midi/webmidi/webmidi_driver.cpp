#include "midi/webmidi/webmidi_driver.h"

#include <emscripten.h>

#include <cstdint>

namespace {

// The driver's state on the page's side: the ports as last listed, the open pair, the messages received and
// not yet handed over, and the events with the one wait that may be under way on each.
EM_JS(void, su_midi_setup, (), {
  if (Module.suMidi) return;
  var m = {
    ins: [], outs: [], inPort: null, outPort: null, inEvent: 0, outEvent: 0,
    queue: [], delivered: null, inQueued: false, inStarted: false, inSize: 0,
    removed: false, lossEvent: 0, events: new Map(), nextEvent: 1
  };
  m.ports = function(map) {
    var list = [];
    if (map) map.forEach(function(port) { list.push(port); });
    return list;
  };
  m.set = function(id) {
    var e = m.events.get(id);
    if (!e) return;
    if (e.wake) { var wake = e.wake; e.wake = null; wake(0); } else { e.set = true; }
  };
  m.pump = function() {
    if (!m.inQueued || !m.inStarted || m.queue.length === 0) return;
    var data = m.queue.shift();
    if (data.length > m.inSize) { m.queue.unshift(data.subarray(m.inSize)); data = data.subarray(0, m.inSize); }
    m.delivered = data;
    m.inQueued = false;
    m.set(m.inEvent);
  };
  /* The loss is reported once, by setting the session's loss event: the wait under way watches it. */
  m.gone = function() {
    if (m.removed) return;
    m.removed = true;
    m.set(m.lossEvent);
  };
  m.watch = function(port) {
    port.onstatechange = function(event) {
      var changed = event && event.port ? event.port : port;
      if (changed === port && port.state === "disconnected") m.gone();
    };
  };
  m.unwatch = function(port) {
    port.onstatechange = null;
    try { var closing = port.close(); if (closing && closing.catch) closing.catch(function() {}); } catch (e) {}
  };
  Module.suMidi = m;
});

EM_JS(int, su_midi_in_count, (), {
  var m = Module.suMidi;
  m.ins = m.ports(Module.suMidiAccess ? Module.suMidiAccess.inputs : null);
  return m.ins.length;
});

EM_JS(int, su_midi_out_count, (), {
  var m = Module.suMidi;
  m.outs = m.ports(Module.suMidiAccess ? Module.suMidiAccess.outputs : null);
  return m.outs.length;
});

// The port's name in UTF-8 in a buffer the caller frees; 0 when there is no such port.
EM_JS(char*, su_midi_port_name, (int output, int index), {
  var m = Module.suMidi;
  var port = (output ? m.outs : m.ins)[index];
  if (!port) return 0;
  var name = String(port.name || "");
  var size = lengthBytesUTF8(name) + 1;
  var text = _malloc(size);
  stringToUTF8(name, text, size);
  return text;
});

EM_ASYNC_JS(int, su_midi_open_in, (int index, int event), {
  var m = Module.suMidi;
  var port = m.ins[index];
  if (!port || port.state === "disconnected") return 0;
  try { await port.open(); } catch (e) { return 0; }
  m.removed = false;
  m.inPort = port;
  m.inEvent = event;
  m.queue = [];
  m.delivered = null;
  m.inQueued = false;
  m.inStarted = false;
  port.onmidimessage = function(message) {
    var data = message.data;
    if (!data || data.length === 0 || data[0] !== 0xF0) return;
    m.queue.push(data instanceof Uint8Array ? data : new Uint8Array(data));
    m.pump();
  };
  m.watch(port);
  return 1;
});

EM_ASYNC_JS(int, su_midi_open_out, (int index, int event), {
  var m = Module.suMidi;
  var port = m.outs[index];
  if (!port || port.state === "disconnected") return 0;
  try { await port.open(); } catch (e) { return 0; }
  m.outPort = port;
  m.outEvent = event;
  m.watch(port);
  return 1;
});

EM_JS(void, su_midi_in_reset, (), {
  var m = Module.suMidi;
  m.inQueued = false;
  m.delivered = null;
});

EM_JS(void, su_midi_in_started, (int started), {
  var m = Module.suMidi;
  m.inStarted = !!started;
  m.pump();
});

EM_JS(void, su_midi_in_size, (int size), { Module.suMidi.inSize = size; });

EM_JS(void, su_midi_in_clear, (), { Module.suMidi.delivered = null; });

EM_JS(void, su_midi_in_add, (), {
  var m = Module.suMidi;
  m.delivered = null;
  m.inQueued = true;
  m.pump();
});

EM_JS(int, su_midi_in_recorded, (std::uint8_t* buffer), {
  var m = Module.suMidi;
  if (!m.delivered) return 0;
  HEAPU8.set(m.delivered, buffer);
  return m.delivered.length;
});

EM_JS(void, su_midi_close_in, (), {
  var m = Module.suMidi;
  if (m.inPort) { m.inPort.onmidimessage = null; m.unwatch(m.inPort); }
  m.inPort = null;
  m.queue = [];
  m.delivered = null;
  m.inQueued = false;
  m.inStarted = false;
});

EM_JS(int, su_midi_send, (const std::uint8_t* data, int size), {
  var m = Module.suMidi;
  if (!m.outPort || m.removed) return 0;
  try {
    m.outPort.send(HEAPU8.slice(data, data + size));
  } catch (e) {
    /* A browser refuses a send on a port whose device is gone (InvalidStateError). */
    if (m.outPort.state === "disconnected" || (e && e.name === "InvalidStateError")) m.gone();
    return 0;
  }
  /* The interface reports no completion: the message is the browser's once send returns. */
  m.set(m.outEvent);
  return 1;
});

EM_JS(void, su_midi_out_reset, (), {
  var m = Module.suMidi;
  try { if (m.outPort && m.outPort.clear) m.outPort.clear(); } catch (e) {}
});

EM_JS(void, su_midi_close_out, (), {
  var m = Module.suMidi;
  if (m.outPort) m.unwatch(m.outPort);
  m.outPort = null;
});

EM_JS(int, su_midi_removed, (), { return Module.suMidi.removed ? 1 : 0; });

EM_JS(void, su_midi_loss_event, (int id), { Module.suMidi.lossEvent = id; });

EM_JS(int, su_event_new, (), {
  var m = Module.suMidi;
  var id = m.nextEvent++;
  m.events.set(id, {set: false, wake: null});
  return id;
});

EM_JS(void, su_event_delete, (int id), {
  var m = Module.suMidi;
  var e = m.events.get(id);
  if (e && e.wake) e.wake(2);
  m.events.delete(id);
});

// 0 when the event was set, 3 when the loss event was (either is reset now), -1 otherwise.
EM_JS(int, su_event_poll, (int id, int lossId), {
  var m = Module.suMidi;
  var e = m.events.get(id);
  var loss = m.events.get(lossId);
  if (e && e.set) { e.set = false; return 0; }
  if (loss && loss.set) { loss.set = false; return 3; }
  return -1;
});

// 0 when the event is set, 3 when the loss event is, 2 after `ms` (or when an event awaited is deleted).
EM_ASYNC_JS(int, su_event_wait, (int id, int lossId, int ms), {
  var m = Module.suMidi;
  var e = m.events.get(id);
  var loss = m.events.get(lossId);
  return await new Promise(function(done) {
    var timer = 0;
    var finish = function(result) {
      clearTimeout(timer);
      if (e) e.wake = null;
      if (loss) loss.wake = null;
      done(result);
    };
    timer = setTimeout(function() { finish(2); }, ms);
    if (e) e.wake = function(result) { finish(result); };
    if (loss) loss.wake = function(result) { finish(result === 0 ? 3 : result); };
  });
});

EM_JS(std::uint32_t, su_ticks, (), { return performance.now() >>> 0; });

EM_ASYNC_JS(void, su_pause, (int ms), { await new Promise(function(done) { setTimeout(done, ms); }); });

void Setup() {
  static const bool done = (su_midi_setup(), true);
  (void)done;
}

std::intptr_t Id(su::EventRef event) { return reinterpret_cast<std::intptr_t>(event); }

}  // namespace

namespace su {

std::uint32_t WebMidiDriver::InDeviceCount() {
  Setup();
  return static_cast<std::uint32_t>(su_midi_in_count());
}

std::uint32_t WebMidiDriver::OutDeviceCount() {
  Setup();
  return static_cast<std::uint32_t>(su_midi_out_count());
}

namespace {
bool PortName(int output, std::int32_t index, std::string* productName) {
  Setup();
  char* name = su_midi_port_name(output, index);
  if (name == nullptr) return false;
  *productName = name;
  free(name);
  return true;
}
}  // namespace

bool WebMidiDriver::InDeviceName(std::int32_t index, std::string* productName) { return PortName(0, index, productName); }
bool WebMidiDriver::OutDeviceName(std::int32_t index, std::string* productName) { return PortName(1, index, productName); }

bool WebMidiDriver::OpenIn(std::int32_t index, EventRef filled) {
  Setup();
  if (inOpen_) return false;
  inOpen_ = su_midi_open_in(index, static_cast<int>(Id(filled))) != 0;
  if (inOpen_) su_midi_in_size(static_cast<int>(inSize_));
  return inOpen_;
}

bool WebMidiDriver::ResetIn() {
  if (!inOpen_) return false;
  su_midi_in_reset();
  return true;
}

bool WebMidiDriver::StartIn() {
  if (!inOpen_) return false;
  su_midi_in_started(1);
  return true;
}

bool WebMidiDriver::StopIn() {
  if (!inOpen_) return false;
  su_midi_in_started(0);
  return true;
}

bool WebMidiDriver::CloseIn() {
  if (!inOpen_) return false;
  su_midi_close_in();
  inOpen_ = false;
  return true;
}

void WebMidiDriver::SetInBuffer(std::uint8_t* data, std::uint32_t size) {
  Setup();
  inData_ = data;
  inSize_ = size;
  su_midi_in_size(static_cast<int>(size));
}

void WebMidiDriver::ClearInHeader() { su_midi_in_clear(); }

bool WebMidiDriver::AddIn() {
  if (!inOpen_ || inData_ == nullptr) return false;
  su_midi_in_add();
  return true;
}

std::uint32_t WebMidiDriver::InBytesRecorded() {
  if (!inOpen_ || inData_ == nullptr) return 0;
  return static_cast<std::uint32_t>(su_midi_in_recorded(inData_));
}

bool WebMidiDriver::OpenOut(std::int32_t index, EventRef done) {
  Setup();
  if (outOpen_) return false;
  outOpen_ = su_midi_open_out(index, static_cast<int>(Id(done))) != 0;
  return outOpen_;
}

void WebMidiDriver::SetOutMessage(const std::uint8_t* data, std::uint32_t size) {
  outData_ = data;
  outSize_ = size;
}

bool WebMidiDriver::SendOut() {
  if (!outOpen_ || outData_ == nullptr) return false;
  return su_midi_send(outData_, static_cast<int>(outSize_)) != 0;
}

bool WebMidiDriver::ResetOut() {
  if (!outOpen_) return false;
  su_midi_out_reset();
  return true;
}

bool WebMidiDriver::CloseOut() {
  if (!outOpen_) return false;
  su_midi_close_out();
  outOpen_ = false;
  return true;
}

void WebMidiDriver::ReportLossTo(EventRef loss) {
  Setup();
  su_midi_loss_event(static_cast<int>(Id(loss)));
}

bool WebMidiDriver::DeviceRemoved() const {
  Setup();
  return su_midi_removed() != 0;
}

EventRef WebClock::NewEvent() {
  Setup();
  return reinterpret_cast<EventRef>(static_cast<std::intptr_t>(su_event_new()));
}

void WebClock::DeleteEvent(EventRef event) {
  if (event != nullptr) su_event_delete(static_cast<int>(Id(event)));
}

std::uint32_t WebClock::Ticks() { return su_ticks(); }

void WebClock::Pause(std::uint32_t ms) {
  // A pause of nothing must not hand control to the browser: that alone costs a timer's turn.
  if (ms > 0) su_pause(static_cast<int>(ms));
}

Wake WebClock::WaitEventOrInput(EventRef event, EventRef loss, std::uint32_t ms) {
  Setup();
  const int id = static_cast<int>(Id(event));
  const int lossId = static_cast<int>(Id(loss));
  // The common case under load, an event already set, is answered without suspending the core.
  int result = su_event_poll(id, lossId);
  if (result < 0) {
    if (ms == 0) return Wake::Quiet;
    result = su_event_wait(id, lossId, static_cast<int>(ms > 0x7FFFFFFFu ? 0x7FFFFFFFu : ms));
  }
  switch (result) {
    case 0: return Wake::Event;
    case 3: return Wake::DeviceGone;
    default: return Wake::Quiet;
  }
}

}  // namespace su
