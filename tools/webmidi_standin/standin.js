// The Web MIDI stand-in (tests and `scripts/web --demo` only; it never ships): replaces
// navigator.requestMIDIAccess before the page runs and puts the virtual keyboard, compiled to WebAssembly,
// behind ports that behave like a browser's.
//
// What the page sees is only the standard interface: requestMIDIAccess({sysex}) -> MIDIAccess with `inputs`
// and `outputs` (Maps of id -> port) and `onstatechange`; ports with id, name, manufacturer, type, version,
// state, connection, onstatechange, open() and close(); inputs deliver one whole System Exclusive message per
// `midimessage` event (`data`, `timeStamp`); outputs take `send(data, timestamp)`. As in a browser:
//   - every requestMIDIAccess call gets its own MIDIAccess with its own port objects;
//   - setting onmidimessage (or adding a midimessage listener) opens an input, and a send opens an output;
//     opening and closing fire `statechange` at the port and at its MIDIAccess;
//   - an unplugged port leaves the `inputs` and `outputs` maps, as in Chromium (its object keeps state
//     "disconnected", an open one's connection turns "pending"), `statechange` is fired, and send() throws an
//     InvalidStateError DOMException; with keepDisconnected the port stays in the maps, as other browsers do;
//   - send() throws a TypeError for bytes that are not whole MIDI messages, and an InvalidAccessError for
//     System Exclusive without `sysex: true`;
//   - the keyboard gets each message asynchronously (at the send's timestamp when it is later), and its answers
//     arrive later still, as many milliseconds after the message as the keyboard's config says (delay_ms, late=).
// The keyboard sits behind every port, as in the virtual MIDI interface of the Windows tests: whatever any
// output sends reaches it, and its answers come in on every open input.
//
// Test controls on window.suStandin (the ones marked async return Promises):
//   ready                      resolves once the keyboard module is loaded and the first keyboard is set up
//   demos                      ["C", "A", "B"]: the built-in demo keyboards (tools/virtual_midi/demo*.cfg)
//   current                    the demo chosen last ("C", "A", "B", "none"), or "config" after configure()
//   async configure(text)      a keyboard from a config text in the demo files' format: in=/out= name the
//                              ports (repeatable; refuse_in=N/refuse_out=N make opening port N fail), every
//                              other line is the virtual keyboard's own (family, slots, free, delay_ms and the
//                              misbehaviour keys silent=, refuse=, late=, junk=, not_ready=, identity=no ...).
//                              Rejects with an Error naming the line it cannot read. Ports already known
//                              under the same type, position and name are unplugged and plugged in again
//                              (a swap of keyboards); others appear or stay disconnected.
//   async choose(name)         a demo keyboard ("C", "A", "B") or "none" (no MIDI ports at all)
//   unplug() / plug()          every port goes "disconnected" / "connected" again; answers on the way are lost
//   unplug(name) / plug(name)  only the ports of that name (the keyboard's answers on the way still come)
//   silence(on = true)         the keyboard stops answering (what it receives has no effect); false resumes,
//                              a keyboard hung by silent_after_songs= too
//   setPermission(p)           "granted" (the default); "denied": requestMIDIAccess rejects (SecurityError);
//                              "site-permission": rejects as Firefox does until a site permission is added;
//                              "prompt": requestMIDIAccess waits, as while the browser's question is open,
//                              until the permission is set to one of the others
//   keepDisconnected(on)       unplugged ports stay in the maps (true) or leave them (false, the default)
//   removeWebMidi()            no navigator.requestMIDIAccess and no MIDI interface objects at all
//   received() / sent()        the System Exclusive messages the keyboard received / sent (its answers,
//                              junk frames included), each as upper-case hex bytes separated by spaces
//   timeline()                 when the page handed each System Exclusive message to send() ("out") and when
//                              each answer was handed to the page's inputs ("in"), as [kind, performance.now()]
//                              pairs in order: the page's own work per answer is the time from an "in" to the
//                              next "out" (for benchmarks, with a keyboard that answers at once: delay_ms=0)
//   clearLog()                 empties the logs and the timeline
//   async slots()              the keyboard's slots: [{name, size, status}]
//   async slotContents(i)      the song image slot i holds, as hex bytes like the logs
//   async state()              {free, faults, restarts}: free memory, the protocol faults the keyboard noticed
//                              in what it received (empty after a correct exchange), family A/B restarts
//
// Chosen before the page runs, in this order: `window.__suStandinInit = {standin, config, chooser,
// keepDisconnected, permission}` (set by the test harness with an init script), then the query string
// `?standin=C|A|B|none|denied|no-webmidi`; the default is the family C demo keyboard. "none" has no ports,
// "denied" refuses the permission, "no-webmidi" removes Web MIDI. Unless told `chooser: false`, a small box marked as the demo's lets the user pick the
// demo keyboard, unplug it and plug it in again.
import createVirtualKeyboard from './virtual_keyboard.mjs';

const DEMO_FILES = { C: 'demo.cfg', A: 'demo_a.cfg', B: 'demo_b.cfg' };
const init = globalThis.__suStandinInit || {};
const query = new URLSearchParams(globalThis.location ? location.search : '');
const startWith = String(init.standin ?? query.get('standin') ?? 'C');

// ---- The keyboard module -------------------------------------------------------------------------------

// The virtual keyboard in WebAssembly, spoken to through its plain C interface (keyboard_module.cpp).
class Keyboard {
  constructor(module) {
    this.m = module;
  }

  // The result buffer of the last call, read as a sequence of 32-bit numbers and length-prefixed byte runs.
  result() {
    const at = this.m._vk_result();
    const bytes = this.m.HEAPU8.slice(at, at + this.m._vk_result_size());
    const view = new DataView(bytes.buffer);
    let pos = 0;
    return {
      left: () => pos < bytes.length,
      u32() { const v = view.getUint32(pos, true); pos += 4; return v; },
      bytes() { const n = this.u32(); const b = bytes.slice(pos, pos + n); pos += n; return b; },
      text() { return new TextDecoder().decode(this.bytes()); },
      latin1() { return String.fromCharCode(...this.bytes()); },
      error: () => new TextDecoder().decode(bytes),
    };
  }

  withBytes(bytes, call) {
    const at = this.m._malloc(Math.max(1, bytes.length));
    try {
      this.m.HEAPU8.set(bytes, at);
      return call(at, bytes.length);
    } finally {
      this.m._free(at);
    }
  }

  // The ports a config names: {inputs: [name], outputs: [name], refuseIn: Set, refuseOut: Set}.
  configure(text) {
    const encoded = new TextEncoder().encode(`${text}\0`);
    if (!this.withBytes(encoded, (at) => this.m._vk_configure(at))) {
      throw new Error(`stand-in keyboard config, ${this.result().error()}`);
    }
    this.m._vk_ports();
    const r = this.result();
    const list = (read) => Array.from({ length: r.u32() }, read);
    const inputs = list(() => r.text());
    const outputs = list(() => r.text());
    const refuseIn = new Set(list(() => r.u32()));
    const refuseOut = new Set(list(() => r.u32()));
    return { inputs, outputs, refuseIn, refuseOut };
  }

  // The keyboard's answers to one System Exclusive message: [{delay, bytes}].
  message(bytes) {
    this.withBytes(bytes, (at, size) => this.m._vk_message(at, size));
    const r = this.result();
    return Array.from({ length: r.u32() }, () => ({ delay: r.u32(), bytes: r.bytes() }));
  }

  slots() {
    this.m._vk_slots();
    const r = this.result();
    return Array.from({ length: r.u32() }, () => {
      const status = r.u32();
      const size = r.u32();
      const name = r.latin1();
      const contents = r.bytes();
      return { name, size, status, contents };
    });
  }

  resume() { this.m._vk_resume(); }

  state() {
    this.m._vk_state();
    const r = this.result();
    if (!r.left()) return { free: 0, faults: [], restarts: 0 };
    const free = r.u32();
    const faults = Array.from({ length: r.u32() }, () => r.text());
    return { free, faults, restarts: r.u32() };
  }
}

const hex = (bytes) => Array.from(bytes, (b) => b.toString(16).toUpperCase().padStart(2, '0')).join(' ');

// ---- Time: answers are due at a moment; one timer serves the earliest ------------------------------------

const queue = []; // {due, seq, generation, run}, ordered by due then seq
let sequence = 0;
let timer = null;
let posted = false;
// What a swap, an unplug or a silence makes stale: items of an older generation are dropped.
let generation = 0;
// A task without the minimum delay browsers give nested timers, for what is due at once.
const channel = new MessageChannel();
channel.port1.onmessage = () => { posted = false; runDue(); };

function at(due, run) {
  const item = { due, seq: sequence++, generation, run };
  let i = queue.length;
  while (i > 0 && queue[i - 1].due > due) --i;
  queue.splice(i, 0, item);
  arm();
}

function arm() {
  if (queue.length === 0) return;
  const wait = queue[0].due - performance.now();
  if (wait <= 0) {
    if (!posted) { posted = true; channel.port2.postMessage(0); }
    return;
  }
  if (timer !== null) clearTimeout(timer);
  timer = setTimeout(() => { timer = null; runDue(); }, wait);
}

function runDue() {
  const now = performance.now();
  while (queue.length > 0 && queue[0].due <= now) {
    const item = queue.shift();
    if (item.generation !== generation) continue;
    try {
      item.run();
    } catch (error) {
      console.error('Web MIDI stand-in:', error);
    }
  }
  arm();
}

// ---- The devices: what is plugged in, shared by every MIDIAccess ------------------------------------------

const devices = { input: [], output: [] }; // {id, name, index, connected, refused}
const accesses = new Set();
let keyboard = null;
let silent = false;
let permission = 'granted';
let keepDisconnected = Boolean(init.keepDisconnected);
let permissionSettled = null;  // resolves a request waiting while the permission is "prompt"
const PERMISSIONS = ['granted', 'denied', 'site-permission', 'prompt'];
let current = 'C';
const log = { received: [], sent: [], timeline: [] };

// A short stable id, like the opaque ids browsers give, from the port's type, position and name.
function portId(type, index, name) {
  let h = 0x811c9dc5;
  for (const c of `${type}/${index}/${name}`) h = Math.imul(h ^ c.codePointAt(0), 0x01000193) >>> 0;
  return `${type}-${h.toString(16).padStart(8, '0')}`;
}

// Brings the device list in line with `ports` (names by type, or null for none), as a change of keyboards
// would: every port goes first, then the new keyboard's ports come (those known from before under the same
// type, position and name as the same ports again).
function setDevices(ports) {
  generation++;
  for (const type of ['input', 'output']) for (const d of devices[type]) if (d.connected) setConnected(d, false);
  if (!ports) return;
  for (const type of ['input', 'output']) {
    const refused = ports[type === 'input' ? 'refuseIn' : 'refuseOut'];
    ports[type === 'input' ? 'inputs' : 'outputs'].forEach((name, index) => {
      const id = portId(type, index, name);
      let device = devices[type].find((d) => d.id === id);
      if (!device) {
        device = { id, name, index, type, connected: false, refused: false };
        devices[type].push(device);
      }
      device.refused = refused.has(index);
      setConnected(device, true);
    });
  }
}

function setConnected(device, connected) {
  device.connected = connected;
  for (const access of accesses) access._deviceChanged(device);
}

// A message from a port of ours reaches the keyboard at `due`; its answers follow after their delays.
function toKeyboard(bytes, due) {
  at(due, () => {
    log.received.push(hex(bytes));
    if (silent || !keyboard) return;
    const sentAt = performance.now();
    for (const answer of keyboard.message(bytes)) {
      at(sentAt + answer.delay, () => {
        if (silent) return;
        log.sent.push(hex(answer.bytes));
        log.timeline.push(['in', performance.now()]);
        for (const access of accesses) access._deliver(answer.bytes);
      });
    }
  });
}

// ---- The Web MIDI interface --------------------------------------------------------------------------------

function connectionEvent(port) {
  const event = new Event('statechange');
  Object.defineProperty(event, 'port', { value: port, enumerable: true });
  return event;
}

// MIDIMessageEvent is taken before removeWebMidi() can hide it.
const NativeMessageEvent = globalThis.MIDIMessageEvent;
function messageEvent(bytes) {
  const data = new Uint8Array(bytes);
  if (typeof NativeMessageEvent === 'function') return new NativeMessageEvent('midimessage', { data });
  const event = new Event('midimessage');
  Object.defineProperty(event, 'data', { value: data, enumerable: true });
  return event;
}

// An `on<type>` attribute over addEventListener, as event handler attributes behave.
function handlerAttribute(target, type, onSet) {
  let handler = null;
  EventTarget.prototype.addEventListener.call(target, type, (event) => {
    if (typeof handler === 'function') handler.call(target, event);
  });
  Object.defineProperty(target, `on${type}`, {
    get: () => handler,
    set: (value) => { handler = typeof value === 'function' ? value : null; if (handler && onSet) onSet(); },
    enumerable: true,
  });
}

class StandinPort extends EventTarget {
  #device;
  #access;
  #connection = 'closed';

  constructor(access, device) {
    super();
    this.#access = access;
    this.#device = device;
    handlerAttribute(this, 'statechange');
  }

  get id() { return this.#device.id; }
  get name() { return this.#device.name; }
  get manufacturer() { return ''; }
  get version() { return ''; }
  get type() { return this.#device.type; }
  get state() { return this.#device.connected ? 'connected' : 'disconnected'; }
  get connection() { return this.#connection; }

  open() {
    if (this.#connection === 'open' || this.#connection === 'pending') return Promise.resolve(this);
    if (this.#device.refused) {
      return Promise.reject(new DOMException('The port is in use by another program.', 'InvalidAccessError'));
    }
    this._setConnection(this.#device.connected ? 'open' : 'pending');
    return Promise.resolve(this);
  }

  close() {
    if (this.#connection !== 'closed') this._setConnection('closed');
    return Promise.resolve(this);
  }

  _setConnection(connection) {
    this.#connection = connection;
    this._changed();
  }

  _changed() {
    this.dispatchEvent(connectionEvent(this));
    this.#access.dispatchEvent(connectionEvent(this));
  }

  // The device was unplugged or plugged in again.
  _deviceChanged() {
    if (!this.#device.connected && this.#connection === 'open') this.#connection = 'pending';
    else if (this.#device.connected && this.#connection === 'pending') this.#connection = 'open';
    this._changed();
  }
}

class StandinInput extends StandinPort {
  constructor(access, device) {
    super(access, device);
    handlerAttribute(this, 'midimessage', () => this.open().catch(() => {}));
  }

  addEventListener(type, listener, options) {
    super.addEventListener(type, listener, options);
    if (type === 'midimessage' && listener) this.open().catch(() => {});
  }

  _deliver(bytes) {
    if (this.state === 'connected' && this.connection === 'open') this.dispatchEvent(messageEvent(bytes));
  }
}

// Splits the bytes of one send into whole MIDI messages; null when they are not whole messages.
function splitMessages(bytes) {
  const messages = [];
  let i = 0;
  while (i < bytes.length) {
    const status = bytes[i];
    if (status < 0x80) return null;
    if (status === 0xf0) {
      const end = bytes.indexOf(0xf7, i + 1);
      if (end < 0) return null;
      for (let k = i + 1; k < end; ++k) if (bytes[k] >= 0x80) return null;
      messages.push(bytes.slice(i, end + 1));
      i = end + 1;
      continue;
    }
    let length;
    if (status < 0xf0) length = (status & 0xe0) === 0xc0 ? 2 : 3;
    else if (status === 0xf1 || status === 0xf3) length = 2;
    else if (status === 0xf2) length = 3;
    else if (status === 0xf7) return null;
    else length = 1;
    if (i + length > bytes.length) return null;
    for (let k = i + 1; k < i + length; ++k) if (bytes[k] >= 0x80) return null;
    messages.push(bytes.slice(i, i + length));
    i += length;
  }
  return messages;
}

class StandinOutput extends StandinPort {
  send(data, timestamp = 0) {
    const bytes = Array.from(data, Number);
    if (bytes.some((b) => !Number.isInteger(b) || b < 0 || b > 255)) {
      throw new TypeError("Failed to execute 'send' on 'MIDIOutput': a byte is out of range.");
    }
    const messages = splitMessages(bytes);
    if (messages === null) {
      throw new TypeError("Failed to execute 'send' on 'MIDIOutput': the data are not whole MIDI messages.");
    }
    if (this.state === 'disconnected') {
      throw new DOMException("Failed to execute 'send' on 'MIDIOutput': The port is disconnected.",
                             'InvalidStateError');
    }
    if (messages.some((m) => m[0] === 0xf0) && !this._sysex()) {
      throw new DOMException("Failed to execute 'send' on 'MIDIOutput': System Exclusive is not allowed.",
                             'InvalidAccessError');
    }
    if (this.connection === 'closed') {
      this.open().catch(() => {});
      if (this.connection === 'closed') {
        throw new DOMException("Failed to execute 'send' on 'MIDIOutput': The port is in use.",
                               'InvalidAccessError');
      }
    }
    const due = Math.max(performance.now(), Number(timestamp) || 0);
    for (const message of messages) {
      if (message[0] !== 0xf0) continue;
      log.timeline.push(['out', performance.now()]);
      toKeyboard(message, due);
    }
  }

  clear() {}
}

class StandinAccess extends EventTarget {
  #sysex;
  #ports = new Map(); // device id -> port
  #inputs;
  #outputs;

  constructor(sysex) {
    super();
    this.#sysex = sysex;
    this.#inputs = new Map();
    this.#outputs = new Map();
    handlerAttribute(this, 'statechange');
    for (const type of ['input', 'output']) {
      for (const device of devices[type]) if (device.connected) this.#add(device);
    }
  }

  get sysexEnabled() { return this.#sysex; }
  // Fresh maps at each look, of the ports plugged in (and of the unplugged ones too with keepDisconnected).
  get inputs() { return StandinAccess.#listed(this.#inputs); }
  get outputs() { return StandinAccess.#listed(this.#outputs); }

  static #listed(ports) {
    return new Map([...ports].filter(([, port]) => keepDisconnected || port.state === 'connected'));
  }

  #add(device) {
    const Port = device.type === 'input' ? StandinInput : StandinOutput;
    const port = new Port(this, device);
    if (device.type === 'output') port._sysex = () => this.#sysex;
    this.#ports.set(device.id, port);
    (device.type === 'input' ? this.#inputs : this.#outputs).set(device.id, port);
    return port;
  }

  _deviceChanged(device) {
    const port = this.#ports.get(device.id);
    if (port) port._deviceChanged();
    else if (device.connected) this.dispatchEvent(connectionEvent(this.#add(device)));
  }

  _deliver(bytes) {
    for (const input of this.#inputs.values()) input._deliver(bytes);
  }
}

// ---- Setting up --------------------------------------------------------------------------------------------

const demoTexts = {};
const base = new URL('.', import.meta.url);

async function loadKeyboard() {
  const [module] = await Promise.all([
    createVirtualKeyboard(),
    ...Object.entries(DEMO_FILES).map(async ([name, file]) => {
      const response = await fetch(new URL(file, base));
      if (!response.ok) throw new Error(`stand-in: ${file} could not be loaded`);
      demoTexts[name] = await response.text();
    }),
  ]);
  keyboard = new Keyboard(module);
}

async function configure(text) {
  await keyboardLoaded;
  setDevices(keyboard.configure(text));
  silent = false;
  current = 'config';
  updateChooser();
}

async function choose(name) {
  await keyboardLoaded;
  if (name === 'none') {
    setDevices(null);
  } else if (Object.hasOwn(demoTexts, name)) {
    setDevices(keyboard.configure(demoTexts[name]));
  } else {
    throw new Error(`stand-in: no demo keyboard "${name}" (there are ${Object.keys(demoTexts).join(', ')}, none)`);
  }
  silent = false;
  current = name;
  updateChooser();
}

const keyboardLoaded = loadKeyboard();

// Every port, or only the ports named `name` (the keyboard stays behind the others, its answers on the way
// still come).
function unplug(name) {
  if (name === undefined) generation++;
  for (const type of ['input', 'output']) {
    for (const d of devices[type]) if (d.connected && (name === undefined || d.name === name)) setConnected(d, false);
  }
  updateChooser();
}

function plug(name) {
  for (const type of ['input', 'output']) {
    for (const d of devices[type]) if (!d.connected && (name === undefined || d.name === name)) setConnected(d, true);
  }
  updateChooser();
}

const MIDI_INTERFACES = ['MIDIAccess', 'MIDIPort', 'MIDIInput', 'MIDIOutput', 'MIDIInputMap', 'MIDIOutputMap',
                         'MIDIMessageEvent', 'MIDIConnectionEvent'];

function removeWebMidi() {
  delete Navigator.prototype.requestMIDIAccess;
  delete navigator.requestMIDIAccess;
  for (const name of MIDI_INTERFACES) delete globalThis[name];
}

async function requestMIDIAccess(options = {}) {
  await ready;
  while (permission === 'prompt') {
    await new Promise((settled) => { permissionSettled = settled; });
  }
  if (permission === 'site-permission') {
    throw new DOMException('WebMIDI requires a site permission add-on to activate', 'SecurityError');
  }
  if (permission !== 'granted') {
    throw new DOMException('The user refused access to MIDI devices.', 'SecurityError');
  }
  const access = new StandinAccess(Boolean(options && options.sysex));
  accesses.add(access);
  return access;
}

const ready = (async () => {
  const first = startWith.toUpperCase();
  await keyboardLoaded;
  if (init.config !== undefined) await configure(init.config);
  else await choose(Object.hasOwn(DEMO_FILES, first) ? first : first === 'NONE' ? 'none' : 'C');
})();
ready.catch((error) => console.error('Web MIDI stand-in:', error));

Object.defineProperty(Navigator.prototype, 'requestMIDIAccess', {
  value: requestMIDIAccess, writable: true, configurable: true, enumerable: true,
});

if (startWith === 'denied') permission = 'denied';
if (PERMISSIONS.includes(init.permission)) permission = init.permission;
if (startWith === 'no-webmidi') removeWebMidi();

globalThis.suStandin = {
  ready,
  demos: Object.keys(DEMO_FILES),
  get current() { return current; },
  configure,
  choose,
  unplug,
  plug,
  silence(on = true) {
    silent = Boolean(on);
    generation++;
    if (!silent && keyboard) keyboard.resume();
  },
  setPermission(value) {
    if (!PERMISSIONS.includes(value)) throw new Error(`stand-in: permission is one of ${PERMISSIONS.join(', ')}`);
    permission = value;
    if (permissionSettled && value !== 'prompt') { permissionSettled(); permissionSettled = null; }
  },
  keepDisconnected(on = true) { keepDisconnected = Boolean(on); },
  removeWebMidi,
  received: () => log.received.slice(),
  sent: () => log.sent.slice(),
  timeline: () => log.timeline.slice(),
  clearLog() { log.received.length = 0; log.sent.length = 0; log.timeline.length = 0; },
  async slots() {
    await keyboardLoaded;
    return keyboard.slots().map(({ name, size, status }) => ({ name, size, status }));
  },
  async slotContents(index) {
    await keyboardLoaded;
    const slot = keyboard.slots()[index];
    if (!slot) throw new Error(`stand-in: no slot ${index}`);
    return hex(slot.contents);
  },
  async state() {
    await keyboardLoaded;
    return keyboard.state();
  },
};

// ---- The demo's chooser ------------------------------------------------------------------------------------

let chooser = null;

function updateChooser() {
  if (!chooser) return;
  chooser.select.value = Object.hasOwn(DEMO_FILES, current) || current === 'none' ? current : '';
  const plugged = devices.input.concat(devices.output).some((d) => d.connected);
  chooser.button.textContent = plugged ? 'Unplug keyboard' : 'Plug in keyboard';
  chooser.button.disabled = current === 'none';
}

// A small box in a corner, marked as the demo's own, to pick the virtual keyboard. It lives in a shadow root,
// so that the page's style sheet leaves it alone, and is styled through style properties, which the page's
// Content Security Policy allows. A spacer as high as the box ends the page, so that its last lines can be
// scrolled clear of it.
function showChooser() {
  const host = document.createElement('div');
  host.style.all = 'initial';
  const root = host.attachShadow({ mode: 'open' });
  const box = document.createElement('aside');
  box.setAttribute('aria-label', 'Demo keyboard (not part of the page)');
  Object.assign(box.style, {
    position: 'fixed', right: '8px', bottom: '8px', zIndex: '2147483647', padding: '3px 6px',
    font: '12px/1.4 system-ui, sans-serif', color: '#222', background: 'rgba(255, 248, 210, 0.96)',
    border: '1px dashed #a80', borderRadius: '4px', display: 'flex', gap: '6px', alignItems: 'center',
    boxShadow: '0 1px 4px rgba(0, 0, 0, 0.2)',
  });
  const control = { font: 'inherit', color: '#222', background: '#fff', border: '1px solid #998',
                    borderRadius: '3px', padding: '1px 4px', margin: '0' };
  const label = document.createElement('label');
  label.textContent = 'Demo keyboard';
  const select = document.createElement('select');
  select.setAttribute('aria-label', 'Demo keyboard');
  Object.assign(select.style, control);
  for (const [value, text] of [['C', 'Family C'], ['A', 'Family A'], ['B', 'Family B'], ['none', 'None']]) {
    select.append(new Option(text, value));
  }
  select.addEventListener('change', () => { choose(select.value).catch(console.error); });
  label.append(' ', select);
  const button = document.createElement('button');
  button.type = 'button';
  Object.assign(button.style, control, { cursor: 'pointer' });
  button.addEventListener('click', () => {
    if (devices.input.concat(devices.output).some((d) => d.connected)) unplug(); else plug();
  });
  box.append(label, button);
  root.append(box);
  const spacer = document.createElement('div');
  spacer.setAttribute('aria-hidden', 'true');
  spacer.style.height = '40px';
  document.body.append(spacer, host);
  chooser = { select, button };
  updateChooser();
}

if (init.chooser !== false && globalThis.document) {
  if (document.body) showChooser();
  else document.addEventListener('DOMContentLoaded', showChooser, { once: true });
}
