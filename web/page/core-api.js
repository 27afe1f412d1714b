// The core in WebAssembly as the page calls it. Every call answers with what came of it ({ok: true, ...} or
// {ok: false, number, message, gone}: `number` is the product's message number, `message` its text); the calls
// that talk to the keyboard return promises, because the core waits for the keyboard by awaiting the browser.
// Only one of those may run at a time: the page disables every control that would start a second while one is
// under way. The files of one version ask for each other by that version, so that a host's cache never mixes
// a page with another version's core.
import createCore from './core.js?v=@SU_VERSION@';

// The largest .mid file the converter takes (64 MiB); the page refuses a larger one before reading it.
export const MAX_SONG_BYTES = 64 * 1024 * 1024;
export const VERSION = '@SU_VERSION@';

// What the page says when the browser cannot give the core the memory a song needs, or the core stops.
const NO_MEMORY = 'The browser could not give this page memory enough for the song. Close other tabs or ' +
  'programs, or choose a smaller file, and try again.';
const CORE_FAILED = 'This page stopped working. Reload it and try again.';

export async function loadCore(page) {
  const module = await createCore({
    locateFile: (path, prefix) => `${prefix}${path}?v=${VERSION}`,
  });
  module.suPage = page;

  const failed = (message) => ({ ok: false, number: 0, message, gone: false, connected: false });
  const call = (name, types, args) => {
    try {
      return JSON.parse(module.ccall(name, 'string', types, args));
    } catch (error) {
      console.error(error);
      return failed(CORE_FAILED);
    }
  };
  const callAsync = async (name, types, args) => {
    try {
      return JSON.parse(await module.ccall(name, 'string', types, args, { async: true }));
    } catch (error) {
      console.error(error);
      return failed(CORE_FAILED);
    }
  };
  // Copies `bytes` into the core's memory for the length of `use`.
  const withBytes = async (bytes, use) => {
    const at = module._malloc(Math.max(bytes.length, 1));
    if (!at) return failed(NO_MEMORY);
    try {
      module.HEAPU8.set(bytes, at);
      return await use(at);
    } finally {
      module._free(at);
    }
  };

  // The same for a call that does not wait for the keyboard: done before anything else can run.
  const withBytesNow = (bytes, use) => {
    const at = module._malloc(Math.max(bytes.length, 1));
    if (!at) return failed(NO_MEMORY);
    try {
      module.HEAPU8.set(bytes, at);
      return use(at);
    } finally {
      module._free(at);
    }
  };

  return {
    module,
    // The song file the Save choice writes, with its name and the "Saved." text.
    convert: (name, bytes) => withBytes(bytes, (at) => {
      const result = call('su_convert', ['string', 'number', 'number'], [name, at, bytes.length]);
      if (result.ok) {
        const start = module._su_data();
        result.bytes = module.HEAPU8.slice(start, start + module._su_data_size());
        module._su_data_release();
      }
      return result;
    }),
    // What a chosen song is ({tracks, notes, lengthMs, size}), its size converted with no keyboard named.
    measure: (name, bytes) => withBytesNow(bytes, (at) =>
      call('su_measure', ['string', 'number', 'number'], [name, at, bytes.length])),
    // The songs to send in one go: cleared, then added one by one, each converted for the keyboard found
    // ({size}); where they would go from slot `first` (-1: the empty slots in order); sending them.
    planClear: () => module._su_plan_clear(),
    planAdd: (name, bytes) => withBytesNow(bytes, (at) =>
      call('su_plan_add', ['string', 'number', 'number'], [name, at, bytes.length])),
    plan: (first) => call('su_plan', ['number'], [first]),
    sendPlan: (first) => callAsync('su_plan_send', ['number'], [first]),
    useAccess: (access) => { module.suMidiAccess = access; },
    ports: (rememberedIn, rememberedOut) => call('su_ports', ['string', 'string'], [rememberedIn, rememberedOut]),
    // fresh: search every keyboard type in turn instead of asking the keyboard last found on the ports first.
    connect: (input, output, type22, fresh) => callAsync('su_connect', ['number', 'number', 'number', 'number'],
      [input, output, type22 ? 1 : 0, fresh ? 1 : 0]),
    list: () => callAsync('su_list', [], []),
    send: (slot, name, bytes) => withBytes(bytes, (at) =>
      callAsync('su_send', ['number', 'string', 'number', 'number'], [slot, name, at, bytes.length])),
    erase: (slot) => callAsync('su_delete', ['number'], [slot]),
    // Whether the slots as last read still show the song (its name, its size on this keyboard) in `slot`.
    showsSong: (slot, name, size) => module.ccall('su_shows_song', 'number', ['number', 'string', 'number'],
      [slot, name, size]) === 1,
    disconnect: () => module._su_disconnect(),
    message: (number) => module.ccall('su_message', 'string', ['number'], [number]),
    // The core's cancel flag of the keyboard's final check, set from the page.
    setFlag: (at) => { module.HEAP32[at >> 2] = 1; },
  };
}
