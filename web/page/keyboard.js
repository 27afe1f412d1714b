// Step 2, the keyboard: the browser's MIDI access, the ports (the pair the user chose is remembered for the
// next visit), finding the keyboard on them, and noticing it go.
import {
  ASKING, CANNOT_REACH, CANNOT_REACH_AS_FILE, CHOOSE_PORTS, LOADING, LOOKING, NO_KEYBOARD, NO_PORTS, NO_WEB_MIDI,
  NOT_SECURE, OPENED_AS_FILE, PORT_GONE, REFUSED, SITE_PERMISSION,
} from './texts.js?v=@SU_VERSION@';

const REMEMBERED_IN = 'songuploader.midiInput';
const REMEMBERED_OUT = 'songuploader.midiOutput';
// The product's "no response" message: its question offers the ports to choose from.
const NO_RESPONSE = 34;

// What the browser keeps between visits: nothing when its storage is blocked.
const remembered = (key) => { try { return localStorage.getItem(key) || ''; } catch { return ''; } };
const remember = (key, value) => { try { localStorage.setItem(key, value); } catch { /* not remembered */ } };

const portsOf = (map) => (map ? [...map.values()] : []);

// Why this page cannot reach a keyboard where it runs, found before asking the browser ('' when it may ask).
// Opened as a file, a browser may still offer Web MIDI or call the page secure: what helps is serving it.
function noMidiHere() {
  if (window.location.protocol === 'file:') return OPENED_AS_FILE;
  if (!window.isSecureContext) return NOT_SECURE;
  if (typeof navigator.requestMIDIAccess !== 'function') return NO_WEB_MIDI;
  return '';
}

// `ui`: {connect, type22, connectFresh, ports, midiIn, midiOut, keyboardInfo, noMidi, keyboardWhy}; `core()`: the
// core once loaded; `busy()`, `work(task)`, `focusAfter(control)`, `ask(text)`, `tell(text)` and `update()` from
// the page; `songs`: the song list (songs stored stay marked for the same keyboard); `forgetSlots()`: the slots
// and the plan of a keyboard no longer there dropped; `refresh()`: the slots of the keyboard found read.
export function createKeyboard({ ui, core, busy, work, focusAfter, ask, tell, update, songs, forgetSlots, refresh }) {
  let midi = 'unknown';   // 'unknown' | 'asking' | 'none' | 'refused' | 'granted'
  let access = null;
  let keyboard = null;    // {family, modelType, labels, inId, outId}
  let keyboardKey = '';   // the keyboard's ports and model, which songs stored on it are marked with

  // The ports as options keyed by each port's id (the core lists them in the browser's order), keeping the
  // user's current choice while that port is still there, else the core's choice.
  function fillPorts(lists) {
    const fill = (select, ports, names, chosen) => {
      const kept = select.value;
      const ids = ports.map((port) => port.id);
      const pick = ids.includes(kept) ? kept : ids[Math.max(chosen, 0)];
      select.replaceChildren(...names.map((name, index) => new Option(name, ids[index] ?? '', false, ids[index] === pick)));
    };
    fill(ui.midiIn, portsOf(access.inputs), lists.inputs, lists.in);
    fill(ui.midiOut, portsOf(access.outputs), lists.outputs, lists.out);
  }

  const listPorts = () => core().ports(remembered(REMEMBERED_IN), remembered(REMEMBERED_OUT));

  function showPorts() {
    const lists = listPorts();
    if (lists.ok) fillPorts(lists);
    ui.ports.hidden = false;
  }

  // The notes stay in the page from the start (empty), so that a screen reader announces what they come to say.
  function noMidi(kind, text) {
    midi = kind;
    ui.noMidi.textContent = text;
  }

  // Asks the browser for MIDI access once; while its question is open, only the keyboard step waits.
  async function midiAccess() {
    if (access) return true;
    if (noMidiHere()) {
      noMidi('none', noMidiHere());
      return false;
    }
    midi = 'asking';
    update();
    try {
      access = await navigator.requestMIDIAccess({ sysex: true });
    } catch (error) {
      // Firefox lets a page use MIDI devices only through a site permission it offers to add.
      const sitePermission = /site permission/i.test(String(error && error.message));
      noMidi('refused', sitePermission ? SITE_PERMISSION : REFUSED);
      return false;
    } finally {
      if (midi === 'asking') midi = 'unknown';
      update();
    }
    midi = 'granted';
    ui.noMidi.textContent = '';
    core().useAccess(access);
    access.onstatechange = portsChanged;
    return true;
  }

  // A connection that could not be made, said at once to a screen reader (in the note of why the keyboard cannot
  // be reached, empty once the browser gave MIDI access); the next attempt clears it.
  function keyboardProblem(text) {
    ui.keyboardInfo.textContent = NO_KEYBOARD;
    ui.noMidi.textContent = text;
  }

  function gone() {
    keyboard = null;
    ui.keyboardInfo.textContent = NO_KEYBOARD;
    forgetSlots();
  }

  // A port came or went. While the core works, it notices a lost keyboard itself and ends the work; the lists are
  // read again when the work ends.
  function portsChanged(event) {
    if (busy()) return;
    const port = event && event.port;
    if (keyboard && port && port.state === 'disconnected' && (port.id === keyboard.inId || port.id === keyboard.outId)) {
      core().disconnect();
      gone();
      update();
    }
    if (!ui.ports.hidden) showPorts();
  }

  // fresh: every keyboard type in turn, instead of the keyboard last found on the ports first.
  async function connect(fresh = false) {
    if (busy() || midi === 'asking') return;
    if (!(await midiAccess())) return;
    await work(async () => {
      ui.noMidi.textContent = '';
      const lists = listPorts();
      if (!lists.ok) {
        await tell(lists.message);
        return;
      }
      // The core's lists and the browser's maps in the same order: the ports chosen by id, sent by position.
      const inputs = portsOf(access.inputs);
      const outputs = portsOf(access.outputs);
      const picked = !ui.ports.hidden && ui.midiIn.value !== '' && ui.midiOut.value !== '';
      let input;
      let output;
      if (picked) {
        input = inputs.findIndex((port) => port.id === ui.midiIn.value);
        output = outputs.findIndex((port) => port.id === ui.midiOut.value);
        if (input < 0 || output < 0) {
          fillPorts(lists);
          keyboardProblem(PORT_GONE);
          focusAfter(ui.midiIn);
          return;
        }
      } else if (lists.in >= 0) {
        input = lists.in;
        output = lists.out;
      } else if (lists.inputs.length === 0 || lists.outputs.length === 0) {
        keyboardProblem(NO_PORTS);
        return;
      } else {
        fillPorts(lists);
        ui.ports.hidden = false;
        ui.keyboardInfo.textContent = CHOOSE_PORTS;
        focusAfter(ui.midiIn);
        return;
      }
      gone();
      ui.keyboardInfo.textContent = LOOKING;
      const found = await core().connect(input, output, ui.type22.checked, fresh);
      if (!found.ok) {
        ui.keyboardInfo.textContent = NO_KEYBOARD;
        if (found.number === NO_RESPONSE) {
          // "Do you want to set up the MIDI device?": Yes shows the ports to choose from.
          if (await ask(found.message)) {
            showPorts();
            focusAfter(ui.midiIn);
          }
        } else {
          await tell(found.message);
        }
        return;
      }
      if (picked) {
        remember(REMEMBERED_IN, lists.inputs[input]);
        remember(REMEMBERED_OUT, lists.outputs[output]);
      }
      // Songs stored stay marked for the same keyboard (the same ports, the same model); another keyboard is
      // planned for afresh.
      const key = `${lists.inputs[input]}\n${lists.outputs[output]}\n${found.modelType}`;
      for (const song of songs.all()) {
        if (song.storedOn !== key) Object.assign(song, { stored: '', maybeIn: null, lostFrom: '', emptied: '' });
      }
      keyboardKey = key;
      keyboard = {
        family: found.family, modelType: found.modelType, labels: found.labels,
        inId: inputs[input] && inputs[input].id, outId: outputs[output] && outputs[output].id,
      };
      ui.keyboardInfo.textContent = `Model type ${found.modelType}, family ${found.family}: ${lists.inputs[input]} / ${lists.outputs[output]}`;
      await refresh();
    });
  }

  // The step's controls: while the browser asks for MIDI access, only this step waits.
  function updateStep() {
    const asking = midi === 'asking';
    const midiUsable = core() && midi !== 'none';
    ui.connect.disabled = busy() || asking || !midiUsable;
    ui.type22.disabled = busy() || asking || !midiUsable;
    ui.connectFresh.disabled = busy() || asking || !midiUsable;
    ui.midiIn.disabled = ui.midiOut.disabled = busy() || asking;
    ui.keyboardWhy.textContent = !core() ? LOADING : asking ? ASKING
      : midi === 'none' ? (window.location.protocol === 'file:' ? CANNOT_REACH_AS_FILE : CANNOT_REACH) : '';
  }

  return {
    current: () => keyboard,
    key: () => keyboardKey,
    connect,
    gone,
    // Where the page cannot reach a keyboard at all, it says so from the start.
    sayWhereNoMidi: () => { if (noMidiHere()) noMidi('none', noMidiHere()); },
    // After each action the ports shown are read again: one may have come or gone meanwhile.
    portsAfterWork: () => { if (access && !ui.ports.hidden) showPorts(); },
    update: updateStep,
  };
}
