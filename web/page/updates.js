// How the page stays current and stays on this computer: its service worker (sw.js) keeps one version of the
// page's files; when the host has a new version, the worker takes it whole and the page offers a reload. The
// reload never cuts the keyboard's work short: while the keyboard is busy, the button waits and says so.
const READY = 'A new version of this page is ready.';
const RELOAD = 'Reload';
const WAITING = 'Reload once the keyboard is done';
const NOT_UPDATED = 'This page could not update itself to its new version (the host did not hand over all of ' +
  'its files). It keeps working as it is; it tries again at your next visit.';
// Failed installs of a new version in a row, after which the page says so (the browser tries again at each visit).
const FAILURES_SAID = 3;

const VERSION = '@SU_VERSION@';

// How many times in a row the new version could not be installed, as the worker counts them (sw.js), while the
// host still offers that version: a host back at this page's own version (a new one withdrawn) drops the count.
async function failedUpdates(registration) {
  try {
    const name = `songuploader ${new URL(registration.scope).pathname} failed-updates`;
    if (!(await caches.has(name))) return 0;
    const record = await (await caches.open(name)).match('count');
    const [version, count] = record ? (await record.text()).split(' ') : [];
    if (!(Number(count) >= FAILURES_SAID)) return 0;
    const offered = await (await fetch('sw.js', { cache: 'no-cache' })).text();
    if (offered.includes(version)) return Number(count);
    if (offered.includes(VERSION)) await caches.delete(name);
    return 0;
  } catch {
    return 0;
  }
}

// The browser's service workers for this page, or null where it has none: a page opened as a file (Firefox calls
// it secure, but will not register a worker for it), or one in a sandboxed frame, where even asking throws.
function serviceWorkers() {
  try {
    const served = window.isSecureContext && window.location.protocol !== 'file:';
    return served && 'serviceWorker' in navigator ? navigator.serviceWorker : null;
  } catch {
    return null;
  }
}

// `ui`: {region, text, button}, the status region (present from the start), its text and the Reload button;
// `busy()`: whether the keyboard is at work. Returns {register(), settled()}: register() starts the worker (once
// the page has started, so that its copies of the files do not slow the first start down); settled() is called
// whenever the page's state changes, and holds the button while the keyboard is busy.
export function offerUpdates(ui, busy) {
  const workers = serviceWorkers();

  const say = (text, reload) => {
    ui.text.textContent = text;
    ui.button.hidden = !reload;
    ui.region.classList.toggle('shown', Boolean(text));
  };
  ui.button.addEventListener('click', () => { if (!busy()) window.location.reload(); });

  if (workers) {
    // A page that a worker already served learns here that a new version took over.
    const hadWorker = Boolean(workers.controller);
    workers.addEventListener('controllerchange', () => { if (hadWorker) say(READY, true); });
  }

  // Says so once a new version failed to install too often, looking again whenever the worker says one more
  // attempt failed.
  const checkFailures = async (registration) => {
    try {
      if (workers.controller && (await failedUpdates(registration)) >= FAILURES_SAID) say(NOT_UPDATED, false);
    } catch {
      // Nothing said: the page goes on as it is.
    }
  };

  return {
    async register() {
      if (!workers) return;
      try {
        const registration = await workers.register('sw.js', { scope: './' });
        workers.addEventListener('message', (event) => { if (event.data === 'failed-update') checkFailures(registration); });
        // The browser itself looks for a new version at each visit (again, if the last one failed).
        await checkFailures(registration);
      } catch (error) {
        console.warn('This page will not open without a network:', error);
      }
    },
    settled() {
      ui.button.disabled = busy();
      ui.button.textContent = busy() ? WAITING : RELOAD;
    },
  };
}

// Asks the browser to keep the page's files and the user's settings even when the disk runs low, once the page
// has earned it: installed as an app, or a song sent. Asked once a visit; the browser may decide without asking.
let askedToKeep = false;
export function keepStorage() {
  if (askedToKeep || !navigator.storage || typeof navigator.storage.persist !== 'function') return;
  askedToKeep = true;
  navigator.storage.persisted()
    .then((kept) => (kept ? true : navigator.storage.persist()))
    .catch((error) => console.warn('The browser may clear this page\'s files when space runs low:', error));
}
