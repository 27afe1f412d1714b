// The page's service worker: keeps the files of one version of the page, so that after one visit the page
// opens and works without a network. A version is taken whole: the new files are fetched together when a new
// worker installs, each checked against the digest the build wrote for it, and the old version's files are
// dropped only once no page of the old version is open. A page never mixes the two: it loads all its files as
// it opens, from the version that gave it the page. The version is a hash of the page's files, written in by
// the build: any change to any file makes this worker a new one.
const VERSION = '@SU_VERSION@';
// Each copy of the page on a site (each folder it is served from) keeps its own files under its own names, and
// drops only its own older versions.
const OWN = `songuploader ${new URL(self.registration.scope).pathname} `;
const CACHE = OWN + VERSION;
// Which new version could not be installed, and how many times in a row ("VERSION COUNT"): kept where the page
// reads it, so that it can say it is not updating while the host still offers that version.
const FAILURES = `${OWN}failed-updates`;
// Names of the builds that kept one cache for the whole site, dropped with any old version.
const EARLIER = /^songuploader-[0-9.]+$/;
// Every file the page asks for, by this version, and its SHA-256 (its first 64 bits in hex, in the same order);
// the build writes both.
const NAMES = [@SU_WEB_CACHED@].map((name) => `${name}?v=${VERSION}`);
const DIGESTS = '@SU_WEB_DIGESTS@'.split(' ');
const FILES = ['./', ...NAMES];
// The pages this worker gave out (by client id): any other open page may be of an older version.
const served = new Set();

async function countFailure() {
  const cache = await caches.open(FAILURES);
  const before = await cache.match('count');
  const [version, count] = before ? (await before.text()).split(' ') : [];
  const now = version === VERSION ? Number(count) + 1 : 1;
  await cache.put('count', new Response(`${VERSION} ${now}`));
  for (const client of await self.clients.matchAll({ includeUncontrolled: true })) client.postMessage('failed-update');
}

self.addEventListener('install', (event) => {
  event.waitUntil(install().catch(async (error) => {
    // Only a new version's failure counts (an older one is installed and serves the page meanwhile); the
    // browser tries again at the next visit.
    if (self.registration.active) await countFailure();
    throw error;
  }));
});

const hex = (buffer) => [...new Uint8Array(buffer)].map((b) => b.toString(16).padStart(2, '0')).join('');

// One file as the host hands it over, past any cache between here and the host (which could hand back an older
// file under the same address), read whole. `digest`: what its bytes must hash to; a file that does not match
// (a host caught halfway through copying the new version) is asked for once more, then the install fails.
async function take(name, digest, again = true) {
  const response = await fetch(new Request(name, { cache: 'reload' }));
  if (!response.ok) throw new Error(`${name}: ${response.status}`);
  const body = await response.arrayBuffer();
  if (digest && !hex(await crypto.subtle.digest('SHA-256', body)).startsWith(digest)) {
    if (again) return take(name, digest, false);
    throw new Error(`${name} on the host is not the file of version ${VERSION}`);
  }
  return { name, body, headers: response.headers };
}

// Takes this version whole, or not at all.
async function install() {
  // A browser keeps only a few connections to one host open: each file is read whole as it comes.
  const files = await Promise.all(FILES.map((name, i) => take(name, DIGESTS[i - 1])));
  // The page itself has no digest (a host may add to it): it must at least ask for this version's files.
  const page = new TextDecoder().decode(files[0].body);
  if (!page.includes(`app.js?v=${VERSION}"`)) throw new Error(`the page on the host is not version ${VERSION}`);
  const cache = await caches.open(CACHE);
  await Promise.all(files.map((file) => cache.put(file.name, new Response(file.body, { headers: file.headers }))));
  // A version installed: no failure left to tell of.
  await caches.delete(FAILURES);
  // The open pages of the old version have loaded their files, and go on finding the ones they load later
  // (the manifest, the icons) in the old version's cache: this one takes over at once, and the next reload
  // shows it (the page says so).
  await self.skipWaiting();
}

// Drops the older versions' files once every open page is one this worker gave out.
async function dropOlder() {
  const open = await self.clients.matchAll({ includeUncontrolled: true });
  if (open.some((client) => !served.has(client.id))) return;
  for (const name of await caches.keys()) {
    if ((name.startsWith(OWN) || EARLIER.test(name)) && name !== CACHE && name !== FAILURES) await caches.delete(name);
  }
}

self.addEventListener('activate', (event) => event.waitUntil(dropOlder()));

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET') return;
  const url = new URL(request.url);
  const scope = new URL(self.registration.scope);
  if (url.origin !== scope.origin || !url.pathname.startsWith(scope.pathname)) return;
  const name = url.pathname.slice(scope.pathname.length);
  if (request.mode === 'navigate') {
    if (name !== '' && name !== 'index.html') return;
    served.add(event.resultingClientId);
    event.respondWith((async () => (await (await caches.open(CACHE)).match('./')) || fetch(request))());
    event.waitUntil(dropOlder());
    return;
  }
  // This version's files from its cache; an older version's (a page of it still open) from its own while kept.
  if (!url.searchParams.has('v')) return;
  event.respondWith((async () => (await caches.match(request)) || fetch(request))());
});
