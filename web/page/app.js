// The page: moves the song and the user's choices to the core and shows what the core answers. Every rule
// (conversion, port pairing, identification, room checks, questions, texts) is the core's. This file wires the
// page's parts together: the songs (songs.js), the keyboard (keyboard.js), the slot table (slot-table.js), the
// plan and the sends (sends.js), saving (saving.js), dialogs (dialogs.js) and the texts (texts.js).
// Each part keeps its own state; what one needs of another is handed to it here. The frame check (frame.js)
// comes first of all; a page it refused starts nothing.
import { REFUSED, refuse } from './frame.js?v=@SU_VERSION@';
import { loadCore } from './core-api.js?v=@SU_VERSION@';
import { createDialogs } from './dialogs.js?v=@SU_VERSION@';
import { createKeyboard } from './keyboard.js?v=@SU_VERSION@';
import { lockKeyboardCalls } from './keyboard-lock.js?v=@SU_VERSION@';
import { createSaving } from './saving.js?v=@SU_VERSION@';
import { createSends } from './sends.js?v=@SU_VERSION@';
import { createSlotTable } from './slot-table.js?v=@SU_VERSION@';
import { createSongList } from './songs.js?v=@SU_VERSION@';
import { NO_WEBASSEMBLY, OPENED_AS_FILE, UNFORESEEN } from './texts.js?v=@SU_VERSION@';
import { keepStorage, offerUpdates } from './updates.js?v=@SU_VERSION@';

const $ = (id) => document.getElementById(id);
const ui = {
  file: $('song-file'), drop: $('drop'), save: $('save'), connect: $('connect'), connectFresh: $('connect-fresh'),
  table: $('slots'), firstSlot: $('first-slot'), send: $('send'), erase: $('delete'), reread: $('reread'),
  cancel: $('cancel'), status: $('status'), keyboardWhy: $('keyboard-why'), songWhy: $('song-why'),
};

let core = null;
let texts = {};           // the product's texts the page needs while the core is busy
let busy = false;
let focusAfter = null;    // what takes the focus once the work under way ends

// The offer of a new version of the page (present from the start; see updates.js).
const pageUpdates = offerUpdates({ region: $('update'), text: $('update-text'), button: $('reload') }, () => busy);

const dialogs = createDialogs({ dialog: $('dialog'), text: $('dialog-text'), yes: $('dialog-yes'), no: $('dialog-no'),
  ok: $('dialog-ok'), cancel: $('dialog-cancel') });
const { ask, tell } = dialogs;

// Lets the browser paint what was just written before the core takes the thread for a while (a hidden page
// paints nothing: the timer goes on without it).
const painted = () => new Promise((done) => {
  requestAnimationFrame(() => setTimeout(done, 0));
  setTimeout(done, 100);
});

// What every part is handed: the core, whether the page works, the work runner and the dialogs.
const common = {
  core: () => core, busy: () => busy, work, painted, ask, tell, focusAfter: (control) => { focusAfter = control; },
};

const songs = createSongList({
  ...common, ui: { file: ui.file, songInfo: $('song-info'), songWhy: ui.songWhy, status: ui.status },
  planned: (song) => sends.planned(song), labelOf: (slot) => table.labelOf(slot), changed: songsChanged,
});
const table = createSlotTable({
  ...common, ui: { table: ui.table, rows: ui.table.tBodies[0], total: $('total'), memory: $('memory'), room: $('room'),
    memoryAfter: $('memory-after'), memoryPlanned: $('memory-planned') },
  songs, planned: (song) => sends.planned(song), roomLeft: () => sends.roomLeft(), replan: () => sends.replan(),
  update, canSend: () => !ui.send.disabled, send: () => sends.send(),
});
const keyboard = createKeyboard({
  ...common, ui: { connect: ui.connect, type22: $('type22'), connectFresh: ui.connectFresh, ports: $('ports'),
    midiIn: $('midi-in'), midiOut: $('midi-out'), keyboardInfo: $('keyboard-info'), noMidi: $('no-midi'),
    keyboardWhy: ui.keyboardWhy },
  update, songs, forgetSlots, refresh: () => sends.refresh(),
});
const sends = createSends({
  ...common, ui: { send: ui.send, erase: ui.erase, reread: ui.reread, cancel: ui.cancel, slotsWhy: $('slots-why'),
    songLine: $('song-line'), progress: $('progress'), status: ui.status, planChoice: $('plan-choice'),
    firstSlot: ui.firstSlot, planLine: $('plan-line') },
  cancelText: () => texts.cancel, songs, table, keyboard, keepStorage,
});
const saving = createSaving({ ...common, ui: { save: ui.save, status: ui.status }, songs });

// What the core reports while it works.
const page = { ask, tell, ...sends.reports };

function update() {
  pageUpdates.settled();
  songs.update();
  saving.update();
  keyboard.update();
  sends.update();
  document.body.classList.toggle('busy', busy);
}

function songsChanged() {
  sends.invalidate();
  sends.replan();
  table.render();
  update();
}

// The keyboard is gone (or another is looked for): its slots and the plan for them go with it.
function forgetSlots() {
  table.forget(false);
  sends.invalidate();
  sends.replan();
  table.render();
}

// Runs one user action: the page is busy meanwhile, whatever goes wrong becomes a message, and afterwards the
// focus goes back to the control that started it (or where the action sent it), the ports are read again.
async function work(task) {
  const opener = document.activeElement;
  busy = true;
  focusAfter = null;
  update();
  try {
    await task();
  } catch (error) {
    console.error(error);
    await tell(UNFORESEEN);
  } finally {
    busy = false;
    page.checking(0);
    keyboard.portsAfterWork();
    update();
    const target = [focusAfter, opener, ui.table].find((c) => c && c.isConnected && !c.disabled && !c.hidden);
    if (target && document.activeElement !== target && !dialogs.isOpen()) target.focus();
  }
}

// ---- Start ---------------------------------------------------------------------------------------------

// The chooser is emptied after each choice: the same file chosen again (edited meanwhile) is read again, and the
// chooser never names files that the list no longer holds.
ui.file.addEventListener('change', () => {
  const files = [...ui.file.files];
  ui.file.value = '';
  songs.choose(files);
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
  if (files && files.length > 0) songs.choose([...files]);
});
ui.save.addEventListener('click', saving.save);
ui.connect.addEventListener('click', () => keyboard.connect());
ui.connectFresh.addEventListener('click', () => keyboard.connect(true));
ui.send.addEventListener('click', sends.send);
ui.erase.addEventListener('click', sends.erase);
ui.reread.addEventListener('click', sends.reread);
ui.cancel.addEventListener('click', sends.cancelCheck);
ui.firstSlot.addEventListener('change', () => {
  if (busy) return;
  sends.replan();
  table.render();
  update();
});
ui.table.addEventListener('keydown', table.keys);
// A click on a row selects it and puts the focus on the table, where the keys go on from that row.
ui.table.addEventListener('click', () => { if (document.activeElement !== ui.table) ui.table.focus({ preventScroll: true }); });
// Leaving in the middle of the work (a send most of all) asks first.
window.addEventListener('beforeunload', (event) => {
  if (!busy) return;
  event.preventDefault();
  event.returnValue = '';
});

// An app installed from this page keeps its files even when the disk runs low.
window.addEventListener('appinstalled', keepStorage);
if (!REFUSED && window.matchMedia && window.matchMedia('(display-mode: standalone)').matches) keepStorage();

update();
if (REFUSED) refuse(); else startPage();

// After one visit the page opens without a network: the service worker (sw.js) keeps this version's files,
// registered once the core has started (updates.js).
function startPage() {
  keyboard.sayWhereNoMidi();
  loadCore(page).then((loaded) => {
    core = lockKeyboardCalls(loaded, dialogs.waitUntil);
    texts = { cancel: loaded.message(41) };
    performance.mark('core-ready');
    // Songs chosen while the core was loading are read now.
    songs.measure();
    songsChanged();
    document.body.dataset.ready = 'true';
  }, (error) => {
    console.error(error);
    // Opened as a file, a browser may refuse the core's files: serving the folder is the answer there too.
    const why = window.location.protocol === 'file:' ? OPENED_AS_FILE : NO_WEBASSEMBLY;
    ui.keyboardWhy.textContent = why;
    ui.songWhy.textContent = why;
  }).finally(pageUpdates.register);
}
