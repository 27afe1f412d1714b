// One conversation per keyboard: two windows of this page (an installed one and a tab, an old tab and a new one)
// can open the same ports, and one's questions would land in the middle of the other's transfer. Each call that
// talks to the keyboard holds a lock named by its pair of ports (the browser's Web Locks, shared by every window
// of this site) from its first message to its last. A window that finds the lock taken says so and waits, with
// Cancel; where the browser has no Web Locks, the calls run as they are.
import { KEYBOARD_BUSY_ELSEWHERE } from './texts.js?v=@SU_VERSION@';

const portAt = (map, index) => (map ? [...map.values()][index] : undefined);

// Wraps the calls of `core` (core-api.js) that talk to the keyboard. `waitUntil(text, done)`: the page's wait
// with Cancel (dialogs.js), false when the user cancelled.
export function lockKeyboardCalls(core, waitUntil) {
  let locks = null;
  try {
    locks = navigator.locks && typeof navigator.locks.request === 'function' ? navigator.locks : null;
  } catch {
    locks = null;
  }
  if (!locks) return core;

  let pair = '';   // the ports the core talks to: named by the last connect

  // Runs `task` holding the lock of `ports`; a cancelled wait answers as a call that could not reach the keyboard.
  async function holding(ports, task, connected) {
    const name = `songuploader keyboard ${ports}`;
    let ran = false;
    const run = async () => { ran = true; return task(); };
    try {
      const now = await locks.request(name, { ifAvailable: true }, (lock) => (lock ? run() : null));
      if (ran) return now;
      const stop = new AbortController();
      let granted;
      const turn = new Promise((resolve) => { granted = resolve; });
      const done = locks.request(name, { signal: stop.signal }, () => { granted(); return run(); });
      if (!(await waitUntil(KEYBOARD_BUSY_ELSEWHERE, turn))) stop.abort();
      return await done;
    } catch (error) {
      if (error && error.name === 'AbortError' && !ran) {
        return { ok: false, number: 0, message: KEYBOARD_BUSY_ELSEWHERE, gone: false, connected, cancelled: true };
      }
      // Locks the browser refuses (a storage it blocks) leave the page as it was without them.
      if (!ran) return task();
      throw error;
    }
  }

  const connect = core.connect;
  core.connect = (input, output, ...rest) => {
    const access = core.module.suMidiAccess;
    const from = portAt(access && access.inputs, input);
    const to = portAt(access && access.outputs, output);
    pair = from && to ? `${from.id}\n${to.id}` : '';
    return pair ? holding(pair, () => connect(input, output, ...rest), false) : connect(input, output, ...rest);
  };
  for (const call of ['list', 'send', 'sendPlan', 'erase']) {
    const unlocked = core[call];
    core[call] = (...args) => (pair ? holding(pair, () => unlocked(...args), true) : unlocked(...args));
  }
  return core;
}
