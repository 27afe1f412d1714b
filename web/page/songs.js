// Step 1, the songs: choosing them (from the chooser or dropped), what the core reads of each (length, tracks,
// notes, size on the keyboard), the facts shown beside each and removing one from the list.
import { MAX_SONG_BYTES } from './core-api.js?v=@SU_VERSION@';
import { CHOOSE_SONG, CONVERTING, LOADING, NO_SONG, TOO_LARGE, UNREADABLE } from './texts.js?v=@SU_VERSION@';

const minutes = (ms) => {
  const seconds = Math.round(ms / 1000);
  return `${Math.floor(seconds / 60)}:${String(seconds % 60).padStart(2, '0')}`;
};
const bytesText = (n) => n.toLocaleString('en');

// `ui`: {file, songInfo, songWhy, status}; `core()`: the core once loaded; `busy()`: whether the page is at
// work; `work(task)`, `painted()` and `tell(text)` from the page; `planned(song)`: where the plan puts a song
// (null: nowhere yet); `labelOf(slot)`: a slot's label; `changed()`: called when the songs chosen changed.
//
// Each song: {name, bytes, measure: {tracks, notes, lengthMs, size} once read, error: the text of what the core
// could not read, keyboardSize: converted for the keyboard found, planIndex: its place among the songs the core
// plans (-1: none), stored: the slot label it went into with "Send all", sent: the slot the keyboard took it
// into while the plan goes on, storedSize: its size on the keyboard then, unconfirmed: stored on the keyboard's
// word with no reading after, lostFrom: the slot that held it and shows it no more, emptied: the slot its failed
// send left empty, maybeIn: {label,
// size} where a send that may have stored it went, storedOn: the keyboard (its ports and model) of any of these}.
export function createSongList({ ui, core, busy, work, painted, tell, planned, labelOf, changed }) {
  let songs = [];
  let choice = 0;   // counts the choices: only the last one's reading is kept

  const several = () => songs.length > 1;

  // A choice (of one file or several) replaces the songs chosen before; a file that is too large or cannot be
  // read is said so and left out, and when none is left the songs before stay.
  async function choose(files) {
    if (!files || files.length === 0 || busy()) return;
    const mine = ++choice;
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
        if (mine === choice) await tell(UNREADABLE);
      }
      // A choice made after this one (while large files were still being read) wins.
      if (mine !== choice) return;
    }
    if (chosen.length === 0 || busy()) return;
    songs = chosen.map((song) => ({ ...song, measure: null, error: '', keyboardSize: null, planIndex: -1, stored: '' }));
    // Reading and converting the songs takes the core a moment for a long one: the page waits meanwhile.
    await work(async () => {
      ui.status.textContent = CONVERTING;
      render();
      await painted();
      measure();
      changed();
      ui.status.textContent = '';
    });
  }

  // What each song is and takes, read by the core as soon as it is chosen (or once the core has loaded).
  function measure() {
    if (!core()) return;
    for (const song of songs) {
      if (song.measure || song.error) continue;
      const measured = core().measure(song.name, song.bytes);
      if (measured.ok) song.measure = measured; else song.error = measured.message;
    }
  }

  function remove(index) {
    if (busy()) return;
    songs.splice(index, 1);
    changed();
    const buttons = ui.songInfo.querySelectorAll('button');
    (buttons[Math.min(index, buttons.length - 1)] || ui.file).focus();
  }

  // What a song will take and, once the keyboard is read, whether it fits and where it goes.
  function facts(song) {
    if (song.error) return song.error;
    if (!song.measure) return '';
    const { lengthMs, tracks, notes } = song.measure;
    const size = song.keyboardSize ?? song.measure.size;
    const shown = [`${minutes(lengthMs)}`, `${tracks} track${tracks === 1 ? '' : 's'}`, `${bytesText(notes)} notes`,
      `${bytesText(size)} bytes on the keyboard`];
    const place = planned(song);
    if (!song.stored && !song.sent && song.lostFrom) shown.push(`no longer in slot ${song.lostFrom}`);
    if (!song.stored && !song.sent && song.emptied) shown.push(`slot ${song.emptied} is now empty`);
    if (song.stored && song.unconfirmed) {
      shown.push(`stored in slot ${song.stored}, as the keyboard acknowledged; not confirmed by a reading`);
    } else if (song.stored) shown.push(`stored in slot ${song.stored}`);
    else if (song.sent) shown.push(`sent to slot ${song.sent}`);
    else if (place && !place.hasSlot) shown.push('no empty slot left: not sent');
    else if (place && !place.fits) shown.push(several() ? 'does not fit: not sent' : 'does not fit');
    else if (place) shown.push(several() ? `fits, into slot ${labelOf(place.slot)}` : 'fits');
    return shown.join(' · ');
  }

  function render() {
    if (songs.length === 0) {
      ui.songInfo.replaceChildren(NO_SONG);
      return;
    }
    const list = document.createElement('ul');
    list.className = 'songs';
    list.setAttribute('aria-label', 'Songs chosen');
    songs.forEach((song, index) => {
      const item = document.createElement('li');
      const place = planned(song);
      item.classList.toggle('nofit', Boolean(song.error || (place && !place.fits && !song.stored)));
      const name = document.createElement('span');
      name.className = 'song-name';
      name.textContent = `${song.name} (${bytesText(song.bytes.length)} bytes)`;
      const line = document.createElement('span');
      line.className = 'song-facts';
      line.textContent = facts(song);
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = 'Remove';
      button.setAttribute('aria-label', `Remove ${song.name}`);
      button.disabled = busy();
      button.addEventListener('click', () => remove(index));
      item.append(name, line, button);
      list.append(item);
    });
    ui.songInfo.replaceChildren(list);
  }

  // The step's controls: nothing is chosen while the page works.
  function update() {
    ui.file.disabled = busy();
    ui.songWhy.textContent = songs.length === 0 ? CHOOSE_SONG : !core() ? LOADING : '';
    for (const button of ui.songInfo.querySelectorAll('button')) button.disabled = busy();
  }

  return { all: () => songs, several, choose, measure, render, update };
}
