// The page: moves the song and the user's choices to the core and shows what the core answers. Every rule
// (conversion, port pairing, identification, room checks, questions, texts) is the core's.
import { MAX_SONG_BYTES, loadCore } from './core-api.js?v=@SU_VERSION@';
import { keepStorage, offerUpdates } from './updates.js?v=@SU_VERSION@';
import { zipFiles } from './zip.js?v=@SU_VERSION@';

const $ = (id) => document.getElementById(id);
const ui = {
  file: $('song-file'), drop: $('drop'), songInfo: $('song-info'), save: $('save'), songWhy: $('song-why'),
  connect: $('connect'), type22: $('type22'), connectFresh: $('connect-fresh'), ports: $('ports'), midiIn: $('midi-in'), midiOut: $('midi-out'),
  keyboardInfo: $('keyboard-info'), noMidi: $('no-midi'), keyboardWhy: $('keyboard-why'),
  table: $('slots'), rows: $('slots').tBodies[0], total: $('total'), memory: $('memory'), room: $('room'),
  songLine: $('song-line'), memoryAfter: $('memory-after'), memoryPlanned: $('memory-planned'),
  planChoice: $('plan-choice'), firstSlot: $('first-slot'), planLine: $('plan-line'),
  send: $('send'), erase: $('delete'), reread: $('reread'), cancel: $('cancel'), slotsWhy: $('slots-why'),
  progress: $('progress'), status: $('status'), update: $('update'), updateText: $('update-text'), reload: $('reload'),
  dialog: $('dialog'), dialogText: $('dialog-text'), yes: $('dialog-yes'), no: $('dialog-no'), ok: $('dialog-ok'),
};

// What to use instead when this browser cannot reach a keyboard.
const ELSEWHERE = 'or use the Windows program SongUploader or the command line songuploader. Saving a song file ' +
  'still works here.';
const NO_WEB_MIDI = 'This browser does not offer Web MIDI, so this page cannot reach a keyboard. To send songs, ' +
  'open this page in a Chromium-based browser (Chrome, Edge, Opera) or in Firefox, ' + ELSEWHERE;
const OPENED_AS_FILE = 'This page was opened as a file, where no browser lets it reach a keyboard: serve its ' +
  'folder instead (scripts/web, or any web server; HTTPS when other computers open it) and open the address it ' +
  'gives.';
const NOT_SECURE = 'This page reaches a keyboard only over a secure connection: open it over HTTPS, or on this ' +
  'computer at its own address (http://127.0.0.1 or http://localhost), ' + ELSEWHERE;
const REFUSED = 'The browser was not allowed to use MIDI devices, so this page cannot reach a keyboard. Allow ' +
  'MIDI devices (with system exclusive messages) for this page in the browser\'s site settings and press ' +
  '"Connect keyboard" again, ' + ELSEWHERE;
const SITE_PERMISSION = 'Firefox asks to add a site permission for this page before it may use MIDI devices. ' +
  'Allow it when Firefox asks (or in the page\'s permissions) and press "Connect keyboard" again, ' + ELSEWHERE;
const ASKING = 'The browser is asking whether this page may use MIDI devices: answer its question to go on.';
const TOO_LARGE = 'This file is larger than 64 MB, more than any song the converter takes. Choose a .mid file ' +
  'of a song.';
const UNREADABLE = 'The browser could not read this file. Choose it again, or choose another file.';
const UNFORESEEN = 'Something went wrong in this page. Try again; if it happens again, reload the page.';
const CONVERTING = 'Now converting…';
const ZIP_NAME = 'songs.zip';
const NO_PORTS = 'No MIDI input and output to reach a keyboard: connect the keyboard, switch it on and press ' +
  '"Connect keyboard" again.';
const FRAMED = 'This page works only on its own, not inside another site\'s page. Open it at its own address.';
const PORT_GONE = 'The chosen MIDI input or output is no longer connected. Choose the keyboard\'s ports again.';
const REMEMBERED_IN = 'songuploader.midiInput';
const REMEMBERED_OUT = 'songuploader.midiOutput';
const NO_RESPONSE = 34;
// The memory figure's label before a keyboard is read, as the page's markup has it (each family's own comes
// with its slots).
const ROOM_PLACEHOLDER = document.getElementById('room').textContent;

// The offer of a new version of the page (present from the start; see updates.js).
const pageUpdates = offerUpdates({ region: ui.update, text: ui.updateText, button: ui.reload }, () => state.busy);

const state = {
  core: null,
  texts: {},          // the product's texts the page needs while the core is busy
  // The songs chosen: {name, bytes, measure: {tracks, notes, lengthMs, size} once read, error: the text of
  // what the core could not read, keyboardSize: converted for the keyboard found, planIndex: its place among the
  // songs the core plans (-1: none), stored: the slot label it went into with "Send all", maybeIn: {label, size}
  // where a send that may have stored it went, storedOn: the keyboard (its ports and model) of either}.
  songs: [],
  songChoice: 0,      // counts the choices: only the last one's reading is kept
  planReady: false,   // the core holds the songs converted for the keyboard found
  plan: null,         // where the songs would go: {plan: [{slot, hasSlot, fits, replaces, size}], roomLeft}
  midi: 'unknown',    // 'unknown' | 'asking' | 'none' | 'refused' | 'granted'
  access: null,
  keyboard: null,     // {family, modelType, labels, inId, outId}
  listing: null,
  listingFailed: false,
  selected: -1,
  busy: false,
  focusAfter: null,   // what takes the focus once the work under way ends
  cancelFlag: 0,
  checkSeq: 0,        // counts the final checks: a late answer to one song's Cancel question never reaches the next
};

// ---- What the browser keeps between visits: nothing when its storage is blocked --------------------------

const remembered = (key) => { try { return localStorage.getItem(key) || ''; } catch { return ''; } };
const remember = (key, value) => { try { localStorage.setItem(key, value); } catch { /* not remembered */ } };

// ---- Modal questions and messages ---------------------------------------------------------------------

let dialogQueue = Promise.resolve();

// One dialog at a time, in order. A dialog that cannot be shown answers No (or OK), and the next still comes.
function showDialog(text, question) {
  const shown = dialogQueue.then(() => new Promise((resolve) => {
    const returnTo = document.activeElement;
    const finish = (answer) => {
      ui.yes.onclick = ui.no.onclick = ui.ok.onclick = ui.dialog.oncancel = null;
      if (ui.dialog.open) ui.dialog.close();
      // Back to where the user was; while the page works, the work's end puts the focus back instead.
      if (returnTo && returnTo.isConnected && !returnTo.disabled && typeof returnTo.focus === 'function') returnTo.focus();
      resolve(answer);
    };
    try {
      ui.dialogText.textContent = text;
      ui.dialog.setAttribute('role', question ? 'dialog' : 'alertdialog');
      ui.yes.hidden = ui.no.hidden = !question;
      ui.ok.hidden = question;
      ui.yes.onclick = () => finish(true);
      ui.no.onclick = () => finish(false);
      ui.ok.onclick = () => finish(true);
      ui.dialog.oncancel = (event) => { event.preventDefault(); finish(!question); };
      ui.dialog.showModal();
      // A question starts on No, so that a held Enter never answers it unseen.
      (question ? ui.no : ui.ok).focus();
    } catch (error) {
      console.error(error);
      finish(!question);
    }
  }));
  dialogQueue = shown.then(() => undefined, () => undefined);
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
  // Song `index` of the plan (the `ordinal`-th of `count` sent) goes out now.
  songBegins(index, ordinal, count) {
    const song = state.songs.find((s) => s.planIndex === index);
    ui.songLine.textContent = `Song ${ordinal} of ${count}: ${song ? song.name : ''}`;
  },
  // The keyboard took song `index` of the plan; the reading at the end has the last word on it.
  songSent(index) {
    const song = state.songs.find((s) => s.planIndex === index);
    if (!song) return;
    song.sent = labelOf(planned(song)?.slot);
    renderSongs();
    renderSlots();
  },
  // The keyboard's final check of a song: "Cancel" is the only live button while it lasts.
  checking(flag) {
    state.cancelFlag = flag || 0;
    state.checkSeq += 1;
    ui.cancel.hidden = !flag;
    ui.cancel.disabled = !flag;
    if (flag) ui.cancel.focus();
  },
};

// ---- Controls --------------------------------------------------------------------------------------------

function selectedRow() {
  return state.listing && state.selected >= 0 ? state.listing.slots[state.selected] : null;
}

const several = () => state.songs.length > 1;
const planned = (song) => (state.plan && song.planIndex >= 0 ? state.plan.plan[song.planIndex] : null);
const anyFits = () => state.songs.some((song) => planned(song)?.fits);

function update() {
  const { busy, keyboard, core } = state;
  const song = state.songs.length > 0;
  pageUpdates.settled();
  ui.file.disabled = busy;
  ui.save.disabled = busy || !song || !core;
  ui.save.textContent = several() ? 'Save all as .zip' : 'Save as .sq2';
  ui.songWhy.textContent = !song ? 'Choose a song first.' : !core ? 'Loading…' : '';
  for (const button of ui.songInfo.querySelectorAll('button')) button.disabled = busy;

  // While the browser asks for MIDI access, only this step waits.
  const asking = state.midi === 'asking';
  const midiUsable = core && state.midi !== 'none';
  ui.connect.disabled = busy || asking || !midiUsable;
  ui.type22.disabled = busy || asking || !midiUsable;
  ui.connectFresh.disabled = busy || asking || !midiUsable;
  ui.midiIn.disabled = ui.midiOut.disabled = busy || asking;
  ui.keyboardWhy.textContent = !core ? 'Loading…' : asking ? ASKING
    : state.midi === 'none' ? (window.location.protocol === 'file:' ? 'Opened as a file, this page cannot reach a keyboard.'
      : 'This browser cannot reach a keyboard.') : '';

  const row = selectedRow();
  ui.send.textContent = several() ? 'Send all' : 'Send';
  ui.send.disabled = busy || !keyboard || !song || (several() ? !anyFits() : !row);
  ui.erase.disabled = busy || !keyboard || !row || !row.used;
  ui.reread.hidden = !(keyboard && state.listingFailed);
  ui.reread.disabled = busy;
  ui.table.setAttribute('aria-disabled', busy || !keyboard ? 'true' : 'false');
  let why = '';
  if (!keyboard) why = 'Connect the keyboard first.';
  else if (state.listingFailed) why = 'The slots could not be read: press "Read the slots again".';
  else if (several() && !anyFits()) {
    why = state.songs.some(planned) ? 'None of the songs left to send fits into this keyboard.'
      : 'Every song chosen that could be sent is stored.';
  }
  else if (several()) why = '';
  else if (!row) why = 'Choose a slot.';
  else if (!song) why = 'Choose a song to send; Delete needs a slot that holds a song.';
  else if (!row.used) why = 'Delete needs a slot that holds a song.';
  ui.slotsWhy.textContent = busy ? '' : why;
  showPlanChoice();
  document.body.classList.toggle('busy', busy);
}

// Runs one user action: the page is busy meanwhile, whatever goes wrong becomes a message, and afterwards the
// focus goes back to the control that started it (or where the action sent it), the ports are read again.
async function work(task) {
  const opener = document.activeElement;
  state.busy = true;
  state.focusAfter = null;
  update();
  try {
    await task();
  } catch (error) {
    console.error(error);
    await tell(UNFORESEEN);
  } finally {
    state.busy = false;
    page.checking(0);
    if (state.access && !ui.ports.hidden) showPorts();
    update();
    const target = [state.focusAfter, opener, ui.table].find((c) => c && c.isConnected && !c.disabled && !c.hidden);
    if (target && document.activeElement !== target && !ui.dialog.open) target.focus();
  }
}

// Lets the browser paint what was just written before the core takes the thread for a while (a hidden page
// paints nothing: the timer goes on without it).
const painted = () => new Promise((done) => {
  requestAnimationFrame(() => setTimeout(done, 0));
  setTimeout(done, 100);
});

// ---- Step 1: the song ------------------------------------------------------------------------------------

// A choice (of one file or several) replaces the songs chosen before; a file that is too large or cannot be
// read is said so and left out, and when none is left the songs before stay.
async function chooseSongs(files) {
  if (!files || files.length === 0 || state.busy) return;
  const choice = ++state.songChoice;
  const chosen = [];
  for (const file of files) {
    if (file.size > MAX_SONG_BYTES) {
      await tell(TOO_LARGE);
      continue;
    }
    try {
      chosen.push({ name: file.name, bytes: new Uint8Array(await file.arrayBuffer()) });
    } catch (error) {
      console.error(error);
      if (choice === state.songChoice) await tell(UNREADABLE);
    }
    // A choice made after this one (while large files were still being read) wins.
    if (choice !== state.songChoice) return;
  }
  if (chosen.length === 0 || state.busy) return;
  state.songs = chosen.map((song) => ({ ...song, measure: null, error: '', keyboardSize: null, planIndex: -1, stored: '' }));
  // Reading and converting the songs takes the core a moment for a long one: the page waits meanwhile.
  await work(async () => {
    ui.status.textContent = CONVERTING;
    renderSongs();
    await painted();
    measureSongs();
    songsChanged();
    ui.status.textContent = '';
  });
}

// What each song is and takes, read by the core as soon as it is chosen (or once the core has loaded).
function measureSongs() {
  if (!state.core) return;
  for (const song of state.songs) {
    if (song.measure || song.error) continue;
    const measure = state.core.measure(song.name, song.bytes);
    if (measure.ok) song.measure = measure; else song.error = measure.message;
  }
}

function removeSong(index) {
  if (state.busy) return;
  state.songs.splice(index, 1);
  songsChanged();
  const buttons = ui.songInfo.querySelectorAll('button');
  (buttons[Math.min(index, buttons.length - 1)] || ui.file).focus();
}

function songsChanged() {
  state.planReady = false;
  replan();
  renderSlots();
  update();
}

const minutes = (ms) => {
  const seconds = Math.round(ms / 1000);
  return `${Math.floor(seconds / 60)}:${String(seconds % 60).padStart(2, '0')}`;
};
const bytesText = (n) => n.toLocaleString('en');
const labelOf = (slot) => state.listing?.slots[slot]?.label ?? '';

// What a song will take and, once the keyboard is read, whether it fits and where it goes.
function songFacts(song) {
  if (song.error) return song.error;
  if (!song.measure) return '';
  const { lengthMs, tracks, notes } = song.measure;
  const size = song.keyboardSize ?? song.measure.size;
  const facts = [`${minutes(lengthMs)}`, `${tracks} track${tracks === 1 ? '' : 's'}`, `${bytesText(notes)} notes`,
    `${bytesText(size)} bytes on the keyboard`];
  const place = planned(song);
  if (song.stored) facts.push(`stored in slot ${song.stored}`);
  else if (song.sent) facts.push(`sent to slot ${song.sent}`);
  else if (place && !place.hasSlot) facts.push('no empty slot left: not sent');
  else if (place && !place.fits) facts.push(several() ? 'does not fit: not sent' : 'does not fit');
  else if (place) facts.push(several() ? `fits, into slot ${labelOf(place.slot)}` : 'fits');
  return facts.join(' · ');
}

function renderSongs() {
  if (state.songs.length === 0) {
    ui.songInfo.replaceChildren('No song chosen.');
    return;
  }
  const list = document.createElement('ul');
  list.className = 'songs';
  list.setAttribute('aria-label', 'Songs chosen');
  state.songs.forEach((song, index) => {
    const item = document.createElement('li');
    const place = planned(song);
    item.classList.toggle('nofit', Boolean(song.error || (place && !place.fits && !song.stored)));
    const name = document.createElement('span');
    name.className = 'song-name';
    name.textContent = `${song.name} (${bytesText(song.bytes.length)} bytes)`;
    const facts = document.createElement('span');
    facts.className = 'song-facts';
    facts.textContent = songFacts(song);
    const remove = document.createElement('button');
    remove.type = 'button';
    remove.textContent = 'Remove';
    remove.setAttribute('aria-label', `Remove ${song.name}`);
    remove.disabled = state.busy;
    remove.addEventListener('click', () => removeSong(index));
    item.append(name, facts, remove);
    list.append(item);
  });
  ui.songInfo.replaceChildren(list);
}

// The core's plan for the songs: converted for the keyboard found once per keyboard and choice, placed from
// the selected slot (or into the empty slots in order) whenever the slots or the selection change.
function replan() {
  const { core, keyboard, listing } = state;
  if (!core || !keyboard || !listing) {
    state.plan = null;
    for (const song of state.songs) { song.keyboardSize = null; song.planIndex = -1; }
    state.planReady = false;
    renderSongs();
    return;
  }
  if (!state.planReady) {
    core.planClear();
    let count = 0;
    for (const song of state.songs) {
      song.planIndex = -1;
      if (song.error || song.stored) continue;
      const added = core.planAdd(song.name, song.bytes);
      if (!added.ok) {
        song.error = added.message;
        continue;
      }
      song.keyboardSize = added.size;
      song.planIndex = count++;
    }
    state.planReady = true;
  }
  const result = state.songs.some((song) => song.planIndex >= 0) ? core.plan(planStart()) : null;
  state.plan = result && result.ok ? result : null;
  renderSongs();
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

// Saves the song chosen as its song file, or several as one .zip of their song files (one download: a browser
// may refuse a page many). A song that cannot be converted is said so and left out; the status line names what
// was saved.
async function save() {
  if (!state.core || state.songs.length === 0) return;
  await work(async () => {
    const converted = [];
    let saved = '';
    for (const song of [...state.songs]) {
      ui.status.textContent = CONVERTING;
      await painted();
      const result = await state.core.convert(song.name, song.bytes);
      ui.status.textContent = '';
      if (!result.ok) {
        await tell(result.message);
        continue;
      }
      converted.push(result);
      saved = result.saved;
    }
    if (converted.length === 0) return;
    if (state.songs.length === 1) {
      download(converted[0].name, converted[0].bytes);
      ui.status.textContent = saved;
      return;
    }
    const archive = zipFiles(converted);
    download(ZIP_NAME, archive.bytes);
    // The product's "Saved." closes the line, as for one song.
    ui.status.textContent = `${ZIP_NAME}: ${archive.names.join(', ')}\n${saved.split('\n').pop()}`;
  });
}

// ---- Step 2: the keyboard --------------------------------------------------------------------------------

// The ports as options keyed by each port's id (the core lists them in the browser's order), keeping the
// user's current choice while that port is still there, else the core's choice.
function fillPorts(lists) {
  const fill = (select, ports, names, chosen) => {
    const kept = select.value;
    const ids = ports.map((port) => port.id);
    const pick = ids.includes(kept) ? kept : ids[Math.max(chosen, 0)];
    select.replaceChildren(...names.map((name, index) => new Option(name, ids[index] ?? '', false, ids[index] === pick)));
  };
  fill(ui.midiIn, portsOf(state.access.inputs), lists.inputs, lists.in);
  fill(ui.midiOut, portsOf(state.access.outputs), lists.outputs, lists.out);
}

const portsOf = (map) => (map ? [...map.values()] : []);
const listPorts = () => state.core.ports(remembered(REMEMBERED_IN), remembered(REMEMBERED_OUT));

function showPorts() {
  const lists = listPorts();
  if (lists.ok) fillPorts(lists);
  ui.ports.hidden = false;
}

// Asks the browser for MIDI access once; while its question is open, only the keyboard step waits.
async function midiAccess() {
  if (state.access) return true;
  if (noMidiHere()) {
    noMidi('none', noMidiHere());
    return false;
  }
  state.midi = 'asking';
  update();
  try {
    state.access = await navigator.requestMIDIAccess({ sysex: true });
  } catch (error) {
    // Firefox lets a page use MIDI devices only through a site permission it offers to add.
    const sitePermission = /site permission/i.test(String(error && error.message));
    noMidi('refused', sitePermission ? SITE_PERMISSION : REFUSED);
    return false;
  } finally {
    if (state.midi === 'asking') state.midi = 'unknown';
    update();
  }
  state.midi = 'granted';
  ui.noMidi.textContent = '';
  state.core.useAccess(state.access);
  state.access.onstatechange = portsChanged;
  return true;
}

// Why this page cannot reach a keyboard where it runs, found before asking the browser ('' when it may ask).
// Opened as a file, a browser may still offer Web MIDI or call the page secure: what helps is serving it.
function noMidiHere() {
  if (window.location.protocol === 'file:') return OPENED_AS_FILE;
  if (!window.isSecureContext) return NOT_SECURE;
  if (typeof navigator.requestMIDIAccess !== 'function') return NO_WEB_MIDI;
  return '';
}

// The notes stay in the page from the start (empty), so that a screen reader announces what they come to say.
function noMidi(kind, text) {
  state.midi = kind;
  ui.noMidi.textContent = text;
}

// A connection that could not be made, said at once to a screen reader (in the note of why the keyboard cannot
// be reached, empty once the browser gave MIDI access); the next attempt clears it.
function keyboardProblem(text) {
  ui.keyboardInfo.textContent = 'No keyboard connected.';
  ui.noMidi.textContent = text;
}

function keyboardGone() {
  state.keyboard = null;
  state.listing = null;
  state.listingFailed = false;
  state.selected = -1;
  ui.keyboardInfo.textContent = 'No keyboard connected.';
  state.planReady = false;
  replan();
  renderSlots();
}

// A port came or went. While the core works, it notices a lost keyboard itself and ends the work; the lists are
// read again when the work ends.
function portsChanged(event) {
  if (state.busy) return;
  const port = event && event.port;
  if (state.keyboard && port && port.state === 'disconnected' &&
      (port.id === state.keyboard.inId || port.id === state.keyboard.outId)) {
    state.core.disconnect();
    keyboardGone();
    update();
  }
  if (!ui.ports.hidden) showPorts();
}

// fresh: every keyboard type in turn, instead of the keyboard last found on the ports first.
async function connect(fresh = false) {
  if (state.busy || state.midi === 'asking') return;
  if (!(await midiAccess())) return;
  await work(async () => {
    ui.noMidi.textContent = '';
    const lists = listPorts();
    if (!lists.ok) {
      await tell(lists.message);
      return;
    }
    // The core's lists and the browser's maps in the same order: the ports chosen by id, sent by position.
    const inputs = portsOf(state.access.inputs);
    const outputs = portsOf(state.access.outputs);
    const picked = !ui.ports.hidden && ui.midiIn.value !== '' && ui.midiOut.value !== '';
    let input;
    let output;
    if (picked) {
      input = inputs.findIndex((port) => port.id === ui.midiIn.value);
      output = outputs.findIndex((port) => port.id === ui.midiOut.value);
      if (input < 0 || output < 0) {
        fillPorts(lists);
        keyboardProblem(PORT_GONE);
        state.focusAfter = ui.midiIn;
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
      ui.keyboardInfo.textContent = 'Choose the MIDI input and output of the keyboard, then press "Connect keyboard".';
      state.focusAfter = ui.midiIn;
      return;
    }
    keyboardGone();
    ui.keyboardInfo.textContent = 'Looking for the keyboard…';
    const found = await state.core.connect(input, output, ui.type22.checked, fresh);
    if (!found.ok) {
      ui.keyboardInfo.textContent = 'No keyboard connected.';
      if (found.number === NO_RESPONSE) {
        // "Do you want to set up the MIDI device?": Yes shows the ports to choose from.
        if (await ask(found.message)) {
          showPorts();
          state.focusAfter = ui.midiIn;
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
    const keyboardKey = `${lists.inputs[input]}\n${lists.outputs[output]}\n${found.modelType}`;
    for (const song of state.songs) {
      if (song.storedOn !== keyboardKey) { song.stored = ''; song.maybeIn = null; }
    }
    state.keyboardKey = keyboardKey;
    state.keyboard = {
      family: found.family, modelType: found.modelType, labels: found.labels,
      inId: inputs[input] && inputs[input].id, outId: outputs[output] && outputs[output].id,
    };
    ui.keyboardInfo.textContent = `Model type ${found.modelType}, family ${found.family}: ${lists.inputs[input]} / ${lists.outputs[output]}`;
    await refresh();
  });
}

// ---- Step 3: the slots -----------------------------------------------------------------------------------

// Where the songs go: one song into the slot selected; several from the slot chosen under "Start at slot"
// (-1: into the empty slots in order), so that selecting a row to delete it never moves them.
const planStart = () => (several() ? Number(ui.firstSlot.value || -1) : state.selected);

// "Start at slot" with its choices (filled anew when the slots are read anew), and the line above "Send all"
// that says where the songs go and what they replace.
let slotChoicesOf = null;   // the listing the choices were made from
function showPlanChoice() {
  const shown = several() && Boolean(state.listing);
  ui.planChoice.hidden = !shown;
  ui.firstSlot.disabled = state.busy;
  if (shown && slotChoicesOf !== state.listing) {
    const kept = ui.firstSlot.value;
    const options = [new Option('first free', '-1'),
      ...state.listing.slots.map((slot, index) => new Option(slot.label, String(index)))];
    ui.firstSlot.replaceChildren(...options);
    ui.firstSlot.value = options.some((option) => option.value === kept) ? kept : '-1';
    slotChoicesOf = state.listing;
  }
  const text = shown ? planSummary() : '';
  if (ui.planLine.textContent !== text) ui.planLine.textContent = text;
}

// "3 songs into slots 31-33; replaces 'Evening Song'": the songs that fit, the slots they take (a run of
// neighbours as one range) and the songs stored there now.
function planSummary() {
  const places = state.plan ? state.plan.plan.filter((place) => place.hasSlot && place.fits) : [];
  if (places.length === 0) return '';
  const slots = places.map((place) => place.slot);
  const runs = [];
  for (const slot of slots) {
    const run = runs[runs.length - 1];
    if (run && slot === run[1] + 1) run[1] = slot; else runs.push([slot, slot]);
  }
  const where = runs.map(([from, to]) => (from === to ? labelOf(from) : `${labelOf(from)}-${labelOf(to)}`)).join(', ');
  const count = places.length === 1 ? '1 song' : `${places.length} songs`;
  let text = `${count} into slot${slots.length === 1 ? '' : 's'} ${where}`;
  const replaced = places.filter((place) => place.replaces)
    .map((place) => `'${slotName(state.listing.slots[place.slot].name)}'`);
  if (replaced.length > 0) text += `; replaces ${replaced.join(', ')}`;
  return text;
}

async function failed(result) {
  await tell(result.message);
  if (result.gone || !result.connected) keyboardGone();
}

async function refresh() {
  const listing = await state.core.list();
  if (!listing.ok) {
    // The keyboard stays connected: the user can read the slots again.
    state.listing = null;
    state.listingFailed = true;
    renderSlots();
    await failed(listing);
    if (state.keyboard) state.focusAfter = ui.reread;
    return;
  }
  showListing(listing);
}

function showListing(listing) {
  state.listing = listing;
  state.listingFailed = false;
  if (state.selected >= listing.slots.length) state.selected = -1;
  replan();
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

const rowId = (index) => `slot-${index}`;

function renderSlots() {
  const { listing } = state;
  ui.rows.replaceChildren();
  ui.table.removeAttribute('aria-activedescendant');
  if (!listing) {
    ui.total.textContent = 'Total Size';
    ui.room.textContent = ROOM_PLACEHOLDER;
    ui.memory.hidden = true;
    return;
  }
  listing.slots.forEach((slot, index) => {
    const row = ui.rows.insertRow();
    row.id = rowId(index);
    row.className = slot.used ? 'used' : 'empty';
    row.setAttribute('aria-selected', index === state.selected ? 'true' : 'false');
    // As the transfer dialogs show a slot: its label, the name the keyboard reports and the size in KB.
    for (const text of [slot.label, slotName(slot.name), slot.size]) row.insertCell().textContent = text;
    row.cells[0].className = 'no';
    row.cells[2].className = 'size';
    row.addEventListener('click', () => select(index));
  });
  // With several songs, where each would go: marked in its slot's row, those that do not fit apart.
  if (several()) {
    for (const song of state.songs) {
      const place = planned(song);
      const row = place && place.hasSlot ? ui.rows.rows[place.slot] : null;
      if (!row) continue;
      row.classList.add(place.fits ? 'planned' : 'nofit');
      const mark = document.createElement('span');
      mark.className = 'plan';
      mark.textContent = song.sent ? `sent: ${song.name}`
        : place.fits ? `to send: ${song.name}${place.replaces ? ' (replaces it)' : ''}`
        : `does not fit: ${song.name}`;
      row.cells[1].append(mark);
    }
  }
  if (state.selected >= 0) ui.table.setAttribute('aria-activedescendant', rowId(state.selected));
  ui.total.textContent = `Total Size: ${listing.total} KBytes`;
  ui.room.textContent = `${listing.roomLabel}: ${listing.room} KBytes`;
  ui.memory.hidden = listing.hasMaxSongSize;
  const capacity = listing.totalBytes + listing.roomBytes;
  ui.memory.value = capacity > 0 ? listing.totalBytes / capacity : 0;
  // Beside the songs stored, the memory in use once the songs that fit are sent.
  const plannedShown = several() && state.plan && !listing.hasMaxSongSize && capacity > 0;
  ui.memoryAfter.hidden = !plannedShown;
  if (plannedShown) ui.memoryPlanned.value = Math.max(0, capacity - state.plan.roomLeft) / capacity;
}

// The selection as a screen reader announces it: the focused grid names its selected row.
function select(index) {
  if (state.busy || !state.listing) return;
  state.selected = Math.max(0, Math.min(index, state.listing.slots.length - 1));
  // One song goes into the slot selected: whether it fits there follows the selection.
  if (state.songs.length === 1) {
    replan();
    renderSlots();
  }
  [...ui.rows.rows].forEach((row, i) => row.setAttribute('aria-selected', i === state.selected ? 'true' : 'false'));
  ui.table.setAttribute('aria-activedescendant', rowId(state.selected));
  const row = ui.rows.rows[state.selected];
  if (row && row.scrollIntoView) row.scrollIntoView({ block: 'nearest' });
  update();
}

// How many rows the table's box shows at once (at least one): what PageUp and PageDown move by.
function pageOfRows() {
  const row = ui.rows.rows[0];
  const box = ui.table.parentElement;
  if (!row || !box || row.offsetHeight === 0) return 1;
  return Math.max(1, Math.floor((box.clientHeight - ui.table.tHead.offsetHeight) / row.offsetHeight) - 1);
}

function tableKeys(event) {
  if (state.busy || !state.listing) return;
  const last = state.listing.slots.length - 1;
  const page = pageOfRows();
  const moves = {
    ArrowDown: state.selected + 1, ArrowUp: state.selected < 0 ? 0 : state.selected - 1, Home: 0, End: last,
    PageDown: state.selected + page, PageUp: Math.max(state.selected - page, 0),
  };
  if (event.key in moves) {
    event.preventDefault();
    select(moves[event.key]);
  } else if (event.key === 'Enter' && !ui.send.disabled) {
    event.preventDefault();
    send();
  }
}

async function send() {
  keepStorage();
  if (several()) {
    await sendAll();
    return;
  }
  const song = state.songs[0];
  await work(async () => {
    ui.status.textContent = CONVERTING;
    await painted();
    const result = await state.core.send(state.selected, song.name, song.bytes);
    // The core writes its own status once it sends; what it did not replace is the page's and goes here.
    if (ui.status.textContent === CONVERTING) ui.status.textContent = '';
    if (!result.ok) {
      if (result.listing) showListing(result.listing);
      await failed(result);
      return;
    }
    // The slots read after the send: the keyboard's own word on what it now holds.
    if (result.listing) showListing(result.listing);
    else if (result.outcome === 'sent') await refresh();
  });
}

// Every song that fits, in one go: one question before replacing, one bar for the whole with a line naming the
// song, and the slots as read at the end, which say what became of each song.
async function sendAll() {
  await work(async () => {
    if (!(await skipSongsAlreadyThere())) return;
    const sending = state.songs.filter((song) => planned(song)?.fits);
    const result = await state.core.sendPlan(planStart());
    ui.songLine.textContent = '';
    const fates = result.songs || [];
    for (const song of sending) {
      song.sent = '';
      const fate = fates[song.planIndex] && fates[song.planIndex].fate;
      const place = { label: labelOf(planned(song).slot), size: song.keyboardSize };
      if (fate === 'stored') {
        song.stored = place.label;
        song.storedOn = state.keyboardKey;
        song.maybeIn = null;
      } else if (fate === 'unknown' || fate === 'failed') {
        // It reached the keyboard (or began to): a later Send all asks before sending it again.
        song.maybeIn = place;
        song.storedOn = state.keyboardKey;
      }
    }
    state.planReady = false;
    if (result.listing) {
      showListing(result.listing);
    } else if (!result.declined) {
      // Nothing can be planned on slots that were not read after the songs: read them again first.
      state.listing = null;
      state.listingFailed = true;
      replan();
      renderSlots();
    }
    if (!result.ok) await failed(result);
    if (state.listingFailed && state.keyboard) {
      await refresh();
    }
  });
}

// Before sending, each song that a failed plan may have left on the keyboard (its slot now holds a song of its
// size) is asked about: "No" marks it stored instead of storing it twice. false when the plan changed and the
// user must look at it again.
async function skipSongsAlreadyThere() {
  let changed = false;
  for (const song of state.songs) {
    const place = song.maybeIn;
    if (!place || song.stored || !planned(song)?.fits) continue;
    const row = state.listing && state.listing.slots.find((slot) => slot.label === place.label);
    // A family that sends whole words may report an odd-sized song with its padding byte.
    if (!row || !row.used || (row.bytes !== place.size && row.bytes !== place.size + 1)) continue;
    if (await ask(`'${song.name}' is already in slot ${place.label}: send it again?`)) continue;
    song.stored = place.label;
    song.storedOn = state.keyboardKey;
    song.maybeIn = null;
    changed = true;
  }
  if (!changed) return true;
  state.planReady = false;
  replan();
  renderSlots();
  return anyFits();
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

async function reread() {
  await work(refresh);
}

async function cancelCheck() {
  const flag = state.cancelFlag;
  const seq = state.checkSeq;
  if (!flag) return;
  // The flag's address is reused by the next song's check: the answer counts only for the check it was asked in.
  if (await ask(state.texts.cancel) && state.checkSeq === seq && state.cancelFlag === flag) state.core.setFlag(flag);
}

// ---- Start ---------------------------------------------------------------------------------------------

// The chooser is emptied after each choice: the same file chosen again (edited meanwhile) is read again, and the
// chooser never names files that the list no longer holds.
ui.file.addEventListener('change', () => {
  const files = [...ui.file.files];
  ui.file.value = '';
  chooseSongs(files);
});
for (const name of ['dragenter', 'dragover']) {
  document.addEventListener(name, (event) => { event.preventDefault(); ui.drop.classList.add('over'); });
}
document.addEventListener('dragleave', (event) => { if (!event.relatedTarget) ui.drop.classList.remove('over'); });
document.addEventListener('drop', (event) => {
  event.preventDefault();
  ui.drop.classList.remove('over');
  const files = event.dataTransfer && event.dataTransfer.files;
  // A folder or something else that is not a file can be dropped too: reading it fails with a message.
  if (files && files.length > 0) chooseSongs([...files]);
});
ui.save.addEventListener('click', save);
ui.connect.addEventListener('click', () => connect());
ui.connectFresh.addEventListener('click', () => connect(true));
ui.send.addEventListener('click', send);
ui.erase.addEventListener('click', erase);
ui.reread.addEventListener('click', reread);
ui.cancel.addEventListener('click', cancelCheck);
ui.firstSlot.addEventListener('change', () => {
  if (state.busy) return;
  replan();
  renderSlots();
  update();
});
ui.table.addEventListener('keydown', tableKeys);
// A click on a row selects it and puts the focus on the table, where the keys go on from that row.
ui.table.addEventListener('click', () => { if (document.activeElement !== ui.table) ui.table.focus({ preventScroll: true }); });
// Leaving in the middle of the work (a send most of all) asks first.
window.addEventListener('beforeunload', (event) => {
  if (!state.busy) return;
  event.preventDefault();
  event.returnValue = '';
});

// An app installed from this page keeps its files even when the disk runs low.
window.addEventListener('appinstalled', keepStorage);
if (window.matchMedia && window.matchMedia('(display-mode: standalone)').matches) keepStorage();

// Whether another site shows this page inside its own: it could lay its page over this one and lead a click
// onto Delete. (Where the host can, it forbids this itself: see the README's hosting notes.)
function framedByAnotherSite() {
  if (window.top === window.self) return false;
  try {
    return window.top.location.origin !== window.location.origin;
  } catch {
    return true;
  }
}

update();
if (framedByAnotherSite()) {
  const line = document.createElement('p');
  line.className = 'note';
  line.setAttribute('role', 'alert');
  line.textContent = FRAMED;
  document.body.replaceChildren(line);
} else {
  startPage();
}

// After one visit the page opens without a network: the service worker (sw.js) keeps this version's files,
// registered once the core has started (updates.js).
function startPage() {
  if (noMidiHere()) noMidi('none', noMidiHere());
  loadCore(page).then((core) => {
    state.core = core;
    state.texts = { cancel: core.message(41) };
    performance.mark('core-ready');
    // Songs chosen while the core was loading are read now.
    measureSongs();
    songsChanged();
    document.body.dataset.ready = 'true';
  }, (error) => {
    console.error(error);
    // Opened as a file, a browser may refuse the core's files: serving the folder is the answer there too.
    const why = window.location.protocol === 'file:' ? OPENED_AS_FILE
      : 'This browser could not start the page (it needs WebAssembly).';
    ui.keyboardWhy.textContent = why;
    ui.songWhy.textContent = why;
  }).finally(pageUpdates.register);
}
