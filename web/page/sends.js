// Step 3's plan and actions. The plan: where the songs chosen would go on the keyboard found, as the core places
// them; one song goes into the slot selected, several from the slot chosen under "Start at slot" (or into the
// empty slots in order), so that selecting a row to delete it never moves them. The actions: Send, Send all,
// Delete, reading the slots again, and the final check's Cancel; the slots read after each are the keyboard's
// own word on what it now holds.
import { slotName } from './slot-table.js?v=@SU_VERSION@';
import {
  ALL_STORED, CHOOSE_SLOT, CHOOSE_SONG_TO_SEND, CONNECT_FIRST, CONVERTING, DELETE_NEEDS_SONG, FIRST_FREE, NONE_FITS,
  SEND_ALL, SEND_ONE, SLOTS_UNREAD,
} from './texts.js?v=@SU_VERSION@';

// `songs`, `table` and `keyboard`: the other parts; `cancelText()`: the product's question before cancelling a
// final check; the rest as app.js hands every part.
export function createSends({
  ui, core, busy, work, painted, focusAfter, ask, tell, cancelText, songs, table, keyboard, keepStorage,
}) {
  let plan = null;          // where the songs would go: {plan: [{slot, hasSlot, fits, replaces, size}], roomLeft}
  let ready = false;        // the core holds the songs converted for the keyboard found
  let choicesOf = null;     // the listing the "Start at slot" choices were made from

  const planned = (song) => (plan && song.planIndex >= 0 ? plan.plan[song.planIndex] : null);
  const anyFits = () => songs.all().some((song) => planned(song)?.fits);
  const start = () => (songs.several() ? Number(ui.firstSlot.value || -1) : table.selected());

  // The core's plan for the songs: converted for the keyboard found once per keyboard and choice, placed from
  // the selected slot (or into the empty slots in order) whenever the slots or the selection change.
  function replan() {
    const listing = table.listing();
    if (!core() || !keyboard.current() || !listing) {
      plan = null;
      for (const song of songs.all()) { song.keyboardSize = null; song.planIndex = -1; }
      ready = false;
      songs.render();
      return;
    }
    if (!ready) {
      core().planClear();
      let count = 0;
      for (const song of songs.all()) {
        song.planIndex = -1;
        if (song.error || song.stored) continue;
        const added = core().planAdd(song.name, song.bytes);
        if (!added.ok) {
          song.error = added.message;
          continue;
        }
        song.keyboardSize = added.size;
        song.planIndex = count++;
      }
      ready = true;
    }
    const result = songs.all().some((song) => song.planIndex >= 0) ? core().plan(start()) : null;
    plan = result && result.ok ? result : null;
    songs.render();
  }

  // "Start at slot" with its choices (filled anew when the slots are read anew), and the line above "Send all"
  // that says where the songs go and what they replace.
  function showChoice() {
    const listing = table.listing();
    const shown = songs.several() && Boolean(listing);
    ui.planChoice.hidden = !shown;
    ui.firstSlot.disabled = busy();
    if (shown && choicesOf !== listing) {
      const kept = ui.firstSlot.value;
      const options = [new Option(FIRST_FREE, '-1'),
        ...listing.slots.map((slot, index) => new Option(slot.label, String(index)))];
      ui.firstSlot.replaceChildren(...options);
      ui.firstSlot.value = options.some((option) => option.value === kept) ? kept : '-1';
      choicesOf = listing;
    }
    const text = shown ? summary() : '';
    if (ui.planLine.textContent !== text) ui.planLine.textContent = text;
  }

  // "3 songs into slots 31-33; replaces 'Evening Song'": the songs that fit, the slots they take (a run of
  // neighbours as one range) and the songs stored there now.
  function summary() {
    const places = plan ? plan.plan.filter((place) => place.hasSlot && place.fits) : [];
    if (places.length === 0) return '';
    const { labelOf } = table;
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
      .map((place) => `'${slotName(table.listing().slots[place.slot].name)}'`);
    if (replaced.length > 0) text += `; replaces ${replaced.join(', ')}`;
    return text;
  }

  let cancelFlag = 0;
  let checkSeq = 0;     // counts the final checks: a late answer to one song's Cancel question never reaches the next

  async function failed(result) {
    await tell(result.message);
    if (result.gone || !result.connected) keyboard.gone();
  }

  async function refresh() {
    const listing = await core().list();
    if (!listing.ok) {
      // The keyboard stays connected: the user can read the slots again.
      table.forget(true);
      table.render();
      await failed(listing);
      if (keyboard.current()) focusAfter(ui.reread);
      return;
    }
    show(listing);
  }

  // A song's stored mark lasts only while the slots as just read still show it (by the core's rule: its size,
  // and its name where the family keeps one); a song whose slot lost it says so and can be planned again.
  function recheckMarks(listing) {
    const labels = listing.slots.map((slot) => slot.label);
    for (const song of songs.all()) {
      if (!song.stored || song.storedOn !== keyboard.key()) continue;
      const index = labels.indexOf(song.stored);
      if (index >= 0 && core().showsSong(index, song.name, song.storedSize)) {
        song.unconfirmed = false;
        continue;
      }
      song.lostFrom = song.stored;
      song.stored = '';
      song.unconfirmed = false;
      ready = false;
    }
  }

  // The slots as the keyboard listed them now: the marks are checked against them, then the plan follows.
  function show(listing) {
    recheckMarks(listing);
    table.show(listing);
  }

  async function send() {
    await (songs.several() ? sendAll() : sendOne());
    // Asked once the send is over: a browser that puts the question to the user does so between sends, not
    // in the middle of one.
    keepStorage();
  }

  async function sendOne() {
    const song = songs.all()[0];
    await work(async () => {
      ui.status.textContent = CONVERTING;
      await painted();
      const result = await core().send(table.selected(), song.name, song.bytes);
      // The core writes its own status once it sends; what it did not replace is the page's and goes here.
      if (ui.status.textContent === CONVERTING) ui.status.textContent = '';
      if (!result.ok) {
        if (result.listing) show(result.listing);
        await failed(result);
        return;
      }
      // The slots read after the send: the keyboard's own word on what it now holds.
      if (result.listing) show(result.listing);
      else if (result.outcome === 'sent') await refresh();
    });
  }

  // Every song that fits, in one go: one question before replacing, one bar for the whole with a line naming the
  // song, and the slots as read at the end, which say what became of each song.
  async function sendAll() {
    await work(async () => {
      if (!(await skipSongsAlreadyThere())) return;
      const sending = songs.all().filter((song) => planned(song)?.fits);
      const result = await core().sendPlan(start());
      ui.songLine.textContent = '';
      const fates = result.songs || [];
      for (const song of sending) {
        song.sent = '';
        const fate = fates[song.planIndex] && fates[song.planIndex].fate;
        const place = { label: table.labelOf(planned(song).slot), size: song.keyboardSize };
        const outcome = fates[song.planIndex] || {};
        song.emptied = outcome.slotEmptied ? place.label : '';
        song.lostFrom = '';
        if (fate === 'stored') {
          song.stored = place.label;
          song.storedSize = place.size;
          song.unconfirmed = !outcome.confirmed;
          song.storedOn = keyboard.key();
          song.maybeIn = null;
        } else if (fate === 'unknown' || fate === 'failed') {
          // It reached the keyboard (or began to): a later Send all asks before sending it again.
          song.maybeIn = place;
          song.storedOn = keyboard.key();
        }
      }
      ready = false;
      if (result.listing) {
        show(result.listing);
      } else if (!result.declined) {
        // Nothing can be planned on slots that were not read after the songs: read them again first.
        table.forget(true);
        replan();
        table.render();
      }
      if (!result.ok) await failed(result);
      if (table.failed() && keyboard.current()) {
        await refresh();
      }
    });
  }

  // Before sending, each song that a failed plan may have left on the keyboard (its slot now holds a song of its
  // size) is asked about: "No" marks it stored instead of storing it twice. false when the plan changed and the
  // user must look at it again.
  async function skipSongsAlreadyThere() {
    let changed = false;
    for (const song of songs.all()) {
      const place = song.maybeIn;
      if (!place || song.stored || !planned(song)?.fits) continue;
      const listing = table.listing();
      const index = listing ? listing.slots.findIndex((slot) => slot.label === place.label) : -1;
      // The same rule as every fate: the song's size (with a whole-word family's padding byte) and its name
      // where the family keeps one.
      if (index < 0 || !core().showsSong(index, song.name, place.size)) continue;
      if (await ask(`'${song.name}' is already in slot ${place.label}: send it again?`)) continue;
      song.stored = place.label;
      song.storedSize = place.size;
      song.storedOn = keyboard.key();
      song.maybeIn = null;
      changed = true;
    }
    if (!changed) return true;
    ready = false;
    replan();
    table.render();
    return anyFits();
  }

  async function erase() {
    await work(async () => {
      const result = await core().erase(table.selected());
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

  // The keyboard's final check of a song: "Cancel" is the only live button while it lasts.
  function checking(flag) {
    cancelFlag = flag || 0;
    checkSeq += 1;
    ui.cancel.hidden = !flag;
    ui.cancel.disabled = !flag;
    if (flag) ui.cancel.focus();
  }

  async function cancelCheck() {
    const flag = cancelFlag;
    const seq = checkSeq;
    if (!flag) return;
    // The flag's address is reused by the next song's check: the answer counts only for the check it was asked in.
    if (await ask(cancelText()) && checkSeq === seq && cancelFlag === flag) core().setFlag(flag);
  }

  // What the core reports while it works: the bar, the status line, the song going out and the final check.
  const reports = {
    progressBegin(total) { ui.progress.max = Math.max(total, 1); ui.progress.value = 0; },
    progressStep() { if (ui.progress.value < ui.progress.max) ui.progress.value += 1; },
    progressClear() { ui.progress.value = 0; ui.status.textContent = ''; },
    status(text) { ui.status.textContent = text; },
    // Song `index` of the plan (the `ordinal`-th of `count` sent) goes out now.
    songBegins(index, ordinal, count) {
      const song = songs.all().find((s) => s.planIndex === index);
      ui.songLine.textContent = `Song ${ordinal} of ${count}: ${song ? song.name : ''}`;
    },
    // The keyboard took song `index` of the plan; the reading at the end has the last word on it.
    songSent(index) {
      const song = songs.all().find((s) => s.planIndex === index);
      if (!song) return;
      song.sent = table.labelOf(planned(song)?.slot);
      songs.render();
      table.render();
    },
    checking,
  };

  // The step's buttons and the line that says why one cannot act yet.
  function update() {
    const connected = Boolean(keyboard.current());
    const song = songs.all().length > 0;
    const several = songs.several();
    const row = table.selectedRow();
    ui.send.textContent = several ? SEND_ALL : SEND_ONE;
    ui.send.disabled = busy() || !connected || !song || (several ? !anyFits() : !row);
    ui.erase.disabled = busy() || !connected || !row || !row.used;
    ui.reread.hidden = !(connected && table.failed());
    ui.reread.disabled = busy();
    table.update(connected);
    let why = '';
    if (!connected) why = CONNECT_FIRST;
    else if (table.failed()) why = SLOTS_UNREAD;
    else if (several && !anyFits()) {
      why = songs.all().some(planned) ? NONE_FITS : ALL_STORED;
    }
    else if (several) why = '';
    else if (!row) why = CHOOSE_SLOT;
    else if (!song) why = CHOOSE_SONG_TO_SEND;
    else if (!row.used) why = DELETE_NEEDS_SONG;
    // Written only when it changes: a screen reader would say it again at every arrow key otherwise.
    const said = busy() ? '' : why;
    if (ui.slotsWhy.textContent !== said) ui.slotsWhy.textContent = said;
  }

  return {
    planned,
    anyFits,
    replan,
    // The songs or the keyboard changed: the core converts the songs again at the next replan.
    invalidate: () => { ready = false; },
    roomLeft: () => (plan ? plan.roomLeft : null),
    send,
    erase,
    reread,
    refresh,
    cancelCheck,
    reports,
    update: () => { update(); showChoice(); },
  };
}
