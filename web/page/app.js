// The page: moves the song and the user's choices to the core and shows what the core answers. Every rule
// (conversion, port pairing, identification, room checks, questions, texts) is the core's.
import { loadCore } from './core-api.js';

const $ = (id) => document.getElementById(id);
const ui = {
  file: $('song-file'), drop: $('drop'), songInfo: $('song-info'), save: $('save'), songWhy: $('song-why'),
  connect: $('connect'), type22: $('type22'), ports: $('ports'), midiIn: $('midi-in'), midiOut: $('midi-out'),
  keyboardInfo: $('keyboard-info'), noMidi: $('no-midi'), keyboardWhy: $('keyboard-why'),
  table: $('slots'), rows: $('slots').tBodies[0], total: $('total'), memory: $('memory'), room: $('room'),
  send: $('send'), erase: $('delete'), cancel: $('cancel'), slotsWhy: $('slots-why'),
  progress: $('progress'), status: $('status'),
  dialog: $('dialog'), dialogText: $('dialog-text'), yes: $('dialog-yes'), no: $('dialog-no'), ok: $('dialog-ok'),
};

// What to use instead when this browser cannot reach a keyboard.
const NO_WEB_MIDI = 'This browser does not offer Web MIDI, so this page cannot reach a keyboard. Saving a song ' +
  'file still works here. To send songs, open this page in a Chromium-based browser (Chrome, Edge, Opera) or in ' +
  'Firefox, or use the Windows program SongUploader or the command line songuploader.';
const REFUSED = 'The browser was not allowed to use MIDI devices, so this page cannot reach a keyboard. Allow ' +
  'MIDI devices (with system exclusive messages) for this page in the browser\'s site settings and press ' +
  '"Connect keyboard" again, or use the Windows program SongUploader or the command line songuploader. Saving ' +
  'a song file still works here.';
const REMEMBERED_IN = 'songuploader.midiInput';
const REMEMBERED_OUT = 'songuploader.midiOutput';

const state = {
  core: null,
  texts: {},          // the product's texts the page needs while the core is busy
  song: null,         // {name, bytes}
  midi: 'unknown',    // 'unknown' | 'none' | 'refused' | 'granted'
  access: null,
  keyboard: null,     // {family, modelType, labels, inPort, outPort}
  listing: null,
  selected: -1,
  busy: false,
  cancelFlag: 0,
};

// ---- Modal questions and messages ---------------------------------------------------------------------

let dialogQueue = Promise.resolve();

function showDialog(text, question) {
  const shown = dialogQueue.then(() => new Promise((resolve) => {
    const returnTo = document.activeElement;
    ui.dialogText.textContent = text;
    ui.dialog.setAttribute('role', question ? 'dialog' : 'alertdialog');
    ui.yes.hidden = ui.no.hidden = !question;
    ui.ok.hidden = question;
    const finish = (answer) => {
      ui.yes.onclick = ui.no.onclick = ui.ok.onclick = ui.dialog.oncancel = null;
      ui.dialog.close();
      if (returnTo && returnTo.isConnected && !returnTo.disabled && typeof returnTo.focus === 'function') {
        returnTo.focus();
      } else {
        ui.table.focus();
      }
      resolve(answer);
    };
    ui.yes.onclick = () => finish(true);
    ui.no.onclick = () => finish(false);
    ui.ok.onclick = () => finish(true);
    ui.dialog.oncancel = (event) => { event.preventDefault(); finish(!question); };
    ui.dialog.showModal();
    (question ? ui.yes : ui.ok).focus();
  }));
  dialogQueue = shown.then(() => undefined);
  return shown;
}

const ask = (text) => showDialog(text, true);
const tell = (text) => showDialog(text, false);

// ---- What the core reports while it works ------------------------------------------------------------

const page = {
  ask,
  tell,
  progressBegin(total) { ui.progress.max = Math.max(total, 1); ui.progress.value = 0; },
  progressStep() { if (ui.progress.value < ui.progress.max) ui.progress.value += 1; },
  progressClear() { ui.progress.value = 0; ui.status.textContent = ''; },
  status(text) { ui.status.textContent = text; },
  // The keyboard's final check of a song: "Cancel" is the only live button while it lasts.
  checking(flag) {
    state.cancelFlag = flag || 0;
    ui.cancel.hidden = !flag;
    ui.cancel.disabled = !flag;
    if (flag) ui.cancel.focus();
  },
};

// ---- Controls --------------------------------------------------------------------------------------------

function selectedRow() {
  return state.listing && state.selected >= 0 ? state.listing.slots[state.selected] : null;
}

function update() {
  const { busy, song, keyboard } = state;
  ui.file.disabled = busy;
  ui.save.disabled = busy || !song;
  ui.songWhy.textContent = song ? '' : 'Choose a song first.';

  const midiUsable = state.core && state.midi !== 'none';
  ui.connect.disabled = busy || !midiUsable;
  ui.type22.disabled = busy || !midiUsable;
  ui.midiIn.disabled = ui.midiOut.disabled = busy;
  ui.keyboardWhy.textContent = !state.core ? 'Loading…' : state.midi === 'none' ? 'This browser cannot reach a keyboard.' : '';

  const row = selectedRow();
  ui.send.disabled = busy || !keyboard || !song || !row;
  ui.erase.disabled = busy || !keyboard || !row || !row.used;
  ui.table.setAttribute('aria-disabled', busy || !keyboard ? 'true' : 'false');
  let why = '';
  if (!keyboard) why = 'Connect the keyboard first.';
  else if (!row) why = 'Choose a slot.';
  else if (!song) why = 'Choose a song to send; Delete needs a slot that holds a song.';
  else if (!row.used) why = 'Delete needs a slot that holds a song.';
  ui.slotsWhy.textContent = busy ? '' : why;
  document.body.classList.toggle('busy', busy);
}

async function work(task) {
  state.busy = true;
  update();
  try {
    await task();
  } finally {
    state.busy = false;
    page.checking(0);
    update();
  }
}

// ---- Step 1: the song ------------------------------------------------------------------------------------

async function chooseSong(file) {
  if (!file || state.busy) return;
  const bytes = new Uint8Array(await file.arrayBuffer());
  state.song = { name: file.name, bytes };
  ui.songInfo.textContent = `${file.name} (${bytes.length.toLocaleString('en')} bytes)`;
  update();
}

function download(name, bytes) {
  const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  link.hidden = true;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

async function save() {
  await work(async () => {
    const result = await state.core.convert(state.song.name, state.song.bytes);
    if (!result.ok) {
      await tell(result.message);
      return;
    }
    download(result.name, result.bytes);
    ui.status.textContent = result.saved;
  });
}

// ---- Step 2: the keyboard --------------------------------------------------------------------------------

function fillPorts(lists) {
  const fill = (select, names, chosen) => {
    select.replaceChildren(...names.map((name, index) => new Option(name, String(index), false, index === chosen)));
  };
  fill(ui.midiIn, lists.inputs, Math.max(lists.in, 0));
  fill(ui.midiOut, lists.outputs, Math.max(lists.out, 0));
}

function showPorts() {
  const lists = state.core.ports(localStorage.getItem(REMEMBERED_IN) || '', localStorage.getItem(REMEMBERED_OUT) || '');
  if (lists.ok) fillPorts(lists);
  ui.ports.hidden = false;
}

async function midiAccess() {
  if (state.access) return true;
  if (typeof navigator.requestMIDIAccess !== 'function') {
    noMidi('none', NO_WEB_MIDI);
    return false;
  }
  try {
    state.access = await navigator.requestMIDIAccess({ sysex: true });
  } catch (error) {
    noMidi('refused', REFUSED);
    return false;
  }
  state.midi = 'granted';
  ui.noMidi.hidden = true;
  state.core.useAccess(state.access);
  state.access.onstatechange = portsChanged;
  return true;
}

function noMidi(kind, text) {
  state.midi = kind;
  ui.noMidi.textContent = text;
  ui.noMidi.hidden = false;
}

function keyboardGone() {
  state.keyboard = null;
  state.listing = null;
  state.selected = -1;
  ui.keyboardInfo.textContent = 'No keyboard connected.';
  renderSlots();
}

// A port came or went. While the core works, it notices a lost keyboard itself and ends the work.
function portsChanged(event) {
  if (state.busy) return;
  const port = event && event.port;
  if (state.keyboard && port && port.state === 'disconnected' &&
      (port === state.keyboard.inPort || port === state.keyboard.outPort)) {
    state.core.disconnect();
    keyboardGone();
    update();
  }
  if (!ui.ports.hidden) showPorts();
}

async function connect() {
  await work(async () => {
    if (!(await midiAccess())) return;
    let input;
    let output;
    const lists = state.core.ports(localStorage.getItem(REMEMBERED_IN) || '', localStorage.getItem(REMEMBERED_OUT) || '');
    if (!lists.ok) {
      await tell(lists.message);
      return;
    }
    const picked = !ui.ports.hidden && ui.midiIn.value !== '' && ui.midiOut.value !== '';
    if (picked) {
      input = Number(ui.midiIn.value);
      output = Number(ui.midiOut.value);
    } else if (lists.in >= 0) {
      input = lists.in;
      output = lists.out;
    } else if (lists.inputs.length === 0 || lists.outputs.length === 0) {
      ui.keyboardInfo.textContent = 'No MIDI input and output to reach a keyboard: connect the keyboard, switch it on ' +
        'and press "Connect keyboard" again.';
      return;
    } else {
      fillPorts(lists);
      ui.ports.hidden = false;
      ui.keyboardInfo.textContent = 'Choose the MIDI input and output of the keyboard, then press "Connect keyboard".';
      ui.midiIn.focus();
      return;
    }
    keyboardGone();
    ui.keyboardInfo.textContent = 'Looking for the keyboard…';
    const found = await state.core.connect(input, output, ui.type22.checked);
    if (!found.ok) {
      ui.keyboardInfo.textContent = 'No keyboard connected.';
      if (found.message === state.texts.noResponse) {
        // "Do you want to set up the MIDI device?": Yes shows the ports to choose from.
        if (await ask(found.message)) {
          showPorts();
          ui.midiIn.focus();
        }
      } else {
        await tell(found.message);
      }
      return;
    }
    if (picked) {
      localStorage.setItem(REMEMBERED_IN, lists.inputs[input]);
      localStorage.setItem(REMEMBERED_OUT, lists.outputs[output]);
    }
    state.keyboard = {
      family: found.family, modelType: found.modelType, labels: found.labels,
      inPort: [...state.access.inputs.values()][input], outPort: [...state.access.outputs.values()][output],
    };
    ui.keyboardInfo.textContent = `Model type ${found.modelType}, family ${found.family}: ${lists.inputs[input]} / ${lists.outputs[output]}`;
    await refresh();
  });
}

// ---- Step 3: the slots -----------------------------------------------------------------------------------

async function failed(result) {
  await tell(result.message);
  if (result.gone || !result.connected) keyboardGone();
}

async function refresh() {
  const listing = await state.core.list();
  if (!listing.ok) {
    await failed(listing);
    return;
  }
  state.listing = listing;
  if (state.selected >= listing.slots.length) state.selected = -1;
  renderSlots();
}

// A slot name as the keyboard stores it (code page 932 bytes, the in-use marker too), decoded by the browser;
// control characters and bytes that decode to nothing show as "?".
const shiftJis = (() => { try { return new TextDecoder('shift_jis'); } catch { return null; } })();
function slotName(bytes) {
  const text = shiftJis ? shiftJis.decode(new Uint8Array(bytes))
    : String.fromCharCode(...bytes.map((b) => (b < 0x80 ? b : 0x3f)));
  return text.replace(/[\u0000-\u001f\u007f-\u009f\ufffd]/g, '?');
}

function renderSlots() {
  const { listing } = state;
  ui.rows.replaceChildren();
  if (!listing) {
    ui.total.textContent = 'Total Size';
    ui.room.textContent = 'Empty Size';
    ui.memory.hidden = true;
    return;
  }
  listing.slots.forEach((slot, index) => {
    const row = ui.rows.insertRow();
    row.className = slot.used ? 'used' : 'empty';
    row.setAttribute('aria-selected', index === state.selected ? 'true' : 'false');
    // As the transfer dialogs show a slot: its label, the name the keyboard reports and the size in KB.
    for (const text of [slot.label, slotName(slot.name), slot.size]) row.insertCell().textContent = text;
    row.cells[0].className = 'no';
    row.cells[2].className = 'size';
    row.addEventListener('click', () => select(index));
  });
  ui.total.textContent = `Total Size: ${listing.total} KBytes`;
  ui.room.textContent = `${listing.roomLabel}: ${listing.room} KBytes`;
  ui.memory.hidden = listing.hasMaxSongSize;
  const capacity = listing.totalBytes + listing.roomBytes;
  ui.memory.value = capacity > 0 ? listing.totalBytes / capacity : 0;
}

function select(index) {
  if (state.busy || !state.listing) return;
  state.selected = Math.max(0, Math.min(index, state.listing.slots.length - 1));
  [...ui.rows.rows].forEach((row, i) => row.setAttribute('aria-selected', i === state.selected ? 'true' : 'false'));
  const row = ui.rows.rows[state.selected];
  if (row && row.scrollIntoView) row.scrollIntoView({ block: 'nearest' });
  update();
}

function tableKeys(event) {
  if (state.busy || !state.listing) return;
  const last = state.listing.slots.length - 1;
  const moves = { ArrowDown: state.selected + 1, ArrowUp: state.selected < 0 ? 0 : state.selected - 1, Home: 0, End: last };
  if (event.key in moves) {
    event.preventDefault();
    select(moves[event.key]);
  } else if (event.key === 'Enter' && !ui.send.disabled) {
    event.preventDefault();
    send();
  }
}

async function send() {
  await work(async () => {
    const result = await state.core.send(state.selected, state.song.name, state.song.bytes);
    if (!result.ok) {
      await failed(result);
      return;
    }
    // The slot read back: the keyboard's own word on what it now holds.
    if (result.outcome === 'sent') await refresh();
  });
}

async function erase() {
  await work(async () => {
    const result = await state.core.erase(state.selected);
    if (!result.ok) {
      await failed(result);
      return;
    }
    if (result.deleted) await refresh();
  });
}

async function cancelCheck() {
  const flag = state.cancelFlag;
  if (!flag) return;
  if (await ask(state.texts.cancel) && state.cancelFlag === flag) state.core.setFlag(flag);
}

// ---- Start ---------------------------------------------------------------------------------------------

ui.file.addEventListener('change', () => chooseSong(ui.file.files[0]));
for (const name of ['dragenter', 'dragover']) {
  document.addEventListener(name, (event) => { event.preventDefault(); ui.drop.classList.add('over'); });
}
document.addEventListener('dragleave', (event) => { if (!event.relatedTarget) ui.drop.classList.remove('over'); });
document.addEventListener('drop', (event) => {
  event.preventDefault();
  ui.drop.classList.remove('over');
  if (event.dataTransfer && event.dataTransfer.files.length > 0) chooseSong(event.dataTransfer.files[0]);
});
ui.save.addEventListener('click', save);
ui.connect.addEventListener('click', connect);
ui.send.addEventListener('click', send);
ui.erase.addEventListener('click', erase);
ui.cancel.addEventListener('click', cancelCheck);
ui.table.addEventListener('keydown', tableKeys);

update();
if (typeof navigator.requestMIDIAccess !== 'function') noMidi('none', NO_WEB_MIDI);
loadCore(page).then((core) => {
  state.core = core;
  state.texts = { cancel: core.message(41), noResponse: core.message(34) };
  document.body.dataset.ready = 'true';
  update();
}, () => {
  ui.keyboardWhy.textContent = 'This browser could not start the page (it needs WebAssembly).';
});
