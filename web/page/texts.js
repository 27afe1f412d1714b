// The page's own texts (the product's texts by number come from the core). Kept in one place so that what the
// page says can be read, and changed, without reading how it works.

// What to use instead when this browser cannot reach a keyboard.
const ELSEWHERE = 'or use the Windows program SongUploader or the command line songuploader. Saving a song file ' +
  'still works here.';
export const NO_WEB_MIDI = 'This browser does not offer Web MIDI, so this page cannot reach a keyboard. To send ' +
  'songs, open this page in a Chromium-based browser (Chrome, Edge, Opera) or in Firefox, ' + ELSEWHERE;
export const OPENED_AS_FILE = 'This page was opened as a file, where no browser lets it reach a keyboard: serve ' +
  'its folder instead (scripts/web, or any web server; HTTPS when other computers open it) and open the address ' +
  'it gives.';
export const NOT_SECURE = 'This page reaches a keyboard only over a secure connection: open it over HTTPS, or on ' +
  'this computer at its own address (http://127.0.0.1 or http://localhost), ' + ELSEWHERE;
export const REFUSED = 'The browser was not allowed to use MIDI devices, so this page cannot reach a keyboard. ' +
  'Allow MIDI devices (with system exclusive messages) for this page in the browser\'s site settings and press ' +
  '"Connect keyboard" again, ' + ELSEWHERE;
export const SITE_PERMISSION = 'Firefox asks to add a site permission for this page before it may use MIDI ' +
  'devices. Allow it when Firefox asks (or in the page\'s permissions) and press "Connect keyboard" again, ' +
  ELSEWHERE;
export const ASKING = 'The browser is asking whether this page may use MIDI devices: answer its question to go on.';
export const NO_PORTS = 'No MIDI input and output to reach a keyboard: connect the keyboard, switch it on and ' +
  'press "Connect keyboard" again.';
export const PORT_GONE = 'The chosen MIDI input or output is no longer connected. Choose the keyboard\'s ports ' +
  'again.';
export const CHOOSE_PORTS = 'Choose the MIDI input and output of the keyboard, then press "Connect keyboard".';
export const NO_KEYBOARD = 'No keyboard connected.';
export const LOOKING = 'Looking for the keyboard…';
export const CANNOT_REACH_AS_FILE = 'Opened as a file, this page cannot reach a keyboard.';
export const CANNOT_REACH = 'This browser cannot reach a keyboard.';
export const NO_WEBASSEMBLY = 'This browser could not start the page (it needs WebAssembly).';

export const TOO_LARGE = 'This file is larger than 64 MB, more than any song the converter takes. Choose a .mid ' +
  'file of a song.';
export const UNREADABLE = 'The browser could not read this file. Choose it again, or choose another file.';
export const UNFORESEEN = 'Something went wrong in this page. Try again; if it happens again, reload the page.';
export const CONVERTING = 'Now converting…';
export const LOADING = 'Loading…';
export const CHOOSE_SONG = 'Choose a song first.';
export const NO_SONG = 'No song chosen.';
export const SAVE_ONE = 'Save as .sq2';
export const SAVE_ALL = 'Save all as .zip';
export const FRAMED = 'This page works only on its own, not inside another site\'s page. Open it at its own ' +
  'address.';

export const SEND_ONE = 'Send';
export const SEND_ALL = 'Send all';
export const CONNECT_FIRST = 'Connect the keyboard first.';
export const SLOTS_UNREAD = 'The slots could not be read: press "Read the slots again".';
export const NONE_FITS = 'None of the songs left to send fits into this keyboard.';
export const ALL_STORED = 'Every song chosen that could be sent is stored.';
export const CHOOSE_SLOT = 'Choose a slot.';
export const CHOOSE_SONG_TO_SEND = 'Choose a song to send; Delete needs a slot that holds a song.';
export const DELETE_NEEDS_SONG = 'Delete needs a slot that holds a song.';
export const FIRST_FREE = 'first free';
export const TOTAL_SIZE = 'Total Size';
// Another window of this page is talking to the keyboard on the same ports: this one waits for it.
export const KEYBOARD_BUSY_ELSEWHERE = 'This keyboard is busy in another window of this page.';
