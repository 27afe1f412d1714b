// Step 3's centre, the slot table: the keyboard's slots as last read, the row selected (arrow keys, Home, End,
// PageUp and PageDown move it; Enter sends), where the songs chosen would go, and the memory in use.
import { TOTAL_SIZE } from './texts.js?v=@SU_VERSION@';

// A slot name as the keyboard stores it (code page 932 bytes, the in-use marker too), decoded by the browser;
// control characters and bytes that decode to nothing show as "?".
const shiftJis = (() => { try { return new TextDecoder('shift_jis'); } catch { return null; } })();
export function slotName(bytes) {
  const text = shiftJis ? shiftJis.decode(new Uint8Array(bytes))
    : String.fromCharCode(...bytes.map((b) => (b < 0x80 ? b : 0x3f)));
  return text.replace(/[\u0000-\u001f\u007f-\u009f\ufffd]/g, '?');
}

const rowId = (index) => `slot-${index}`;

// `ui`: {table, rows, total, room, memory, memoryAfter, memoryPlanned}; `busy()`: whether the page is at work;
// `songs`: the song list; `planned(song)`: where the plan puts a song; `roomLeft()`: the room the plan leaves
// (null: no plan); `replan()`: the plan made again for the slot selected; `update()`: the page's controls
// brought up to date; `canSend()` and `send()`: what Enter does.
export function createSlotTable({ ui, busy, songs, planned, roomLeft, replan, update, canSend, send }) {
  // The memory figure's label before a keyboard is read, as the page's markup has it (each family's own comes
  // with its slots).
  const roomPlaceholder = ui.room.textContent;
  let listing = null;       // the slots as last read: {slots: [{label, used, name, size, bytes}], total, room, ...}
  let listingFailed = false;
  let selected = -1;

  const selectedRow = () => (listing && selected >= 0 ? listing.slots[selected] : null);
  const labelOf = (slot) => listing?.slots[slot]?.label ?? '';

  function render() {
    ui.rows.replaceChildren();
    ui.table.removeAttribute('aria-activedescendant');
    if (!listing) {
      ui.total.textContent = TOTAL_SIZE;
      ui.room.textContent = roomPlaceholder;
      ui.memory.hidden = true;
      return;
    }
    listing.slots.forEach((slot, index) => {
      const row = ui.rows.insertRow();
      row.id = rowId(index);
      row.className = slot.used ? 'used' : 'empty';
      row.setAttribute('aria-selected', index === selected ? 'true' : 'false');
      // As the transfer dialogs show a slot: its label, the name the keyboard reports and the size in KB.
      for (const text of [slot.label, slotName(slot.name), slot.size]) row.insertCell().textContent = text;
      row.cells[0].className = 'no';
      row.cells[2].className = 'size';
      row.addEventListener('click', () => select(index));
    });
    // With several songs, where each would go: marked in its slot's row, those that do not fit apart.
    if (songs.several()) {
      for (const song of songs.all()) {
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
    if (selected >= 0) ui.table.setAttribute('aria-activedescendant', rowId(selected));
    ui.total.textContent = `${TOTAL_SIZE}: ${listing.total} KBytes`;
    ui.room.textContent = `${listing.roomLabel}: ${listing.room} KBytes`;
    ui.memory.hidden = listing.hasMaxSongSize;
    const capacity = listing.totalBytes + listing.roomBytes;
    ui.memory.value = capacity > 0 ? listing.totalBytes / capacity : 0;
    // Beside the songs stored, the memory in use once the songs that fit are sent.
    const left = roomLeft();
    const plannedShown = songs.several() && left !== null && !listing.hasMaxSongSize && capacity > 0;
    ui.memoryAfter.hidden = !plannedShown;
    if (plannedShown) ui.memoryPlanned.value = Math.max(0, capacity - left) / capacity;
  }

  // The selection as a screen reader announces it: the focused grid names its selected row.
  function select(index) {
    if (busy() || !listing) return;
    selected = Math.max(0, Math.min(index, listing.slots.length - 1));
    // One song goes into the slot selected: whether it fits there follows the selection.
    if (songs.all().length === 1) {
      replan();
      render();
    }
    [...ui.rows.rows].forEach((row, i) => row.setAttribute('aria-selected', i === selected ? 'true' : 'false'));
    ui.table.setAttribute('aria-activedescendant', rowId(selected));
    const row = ui.rows.rows[selected];
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

  function keys(event) {
    if (busy() || !listing) return;
    const last = listing.slots.length - 1;
    const page = pageOfRows();
    const moves = {
      ArrowDown: selected + 1, ArrowUp: selected < 0 ? 0 : selected - 1, Home: 0, End: last,
      PageDown: selected + page, PageUp: Math.max(selected - page, 0),
    };
    if (event.key in moves) {
      event.preventDefault();
      select(moves[event.key]);
    } else if (event.key === 'Enter' && canSend()) {
      event.preventDefault();
      send();
    }
  }

  // The slots as the keyboard listed them now: the plan follows them.
  function show(read) {
    listing = read;
    listingFailed = false;
    if (selected >= listing.slots.length) selected = -1;
    replan();
    render();
  }

  // No slots known: none read yet (`failed` false), or a reading that failed and can be asked for again.
  function forget(failed) {
    listing = null;
    listingFailed = failed;
    if (!failed) selected = -1;
  }

  return {
    listing: () => listing,
    failed: () => listingFailed,
    selected: () => selected,
    selectedRow,
    labelOf,
    render,
    select,
    keys,
    show,
    forget,
    update: (connected) => ui.table.setAttribute('aria-disabled', busy() || !connected ? 'true' : 'false'),
  };
}
