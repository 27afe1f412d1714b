// The page's service worker: keeps the files of one version of the page, so that after one visit the page
// opens and works without a network. A version is taken whole: the new files are fetched together when a new
// worker installs, and the old version's files are dropped only once the new one has them all. A page never
// mixes the two: it loads all its files as it opens, from the version that gave it the page. The version is a
// hash of the page's files, written in by the build: any change to any file makes this worker a new one.
const VERSION = '@SU_VERSION@';
// Each copy of the page on a site (each folder it is served from) keeps its own files under its own names, and
// drops only its own older versions.
const OWN = `songuploader ${new URL(self.registration.scope).pathname} `;
const CACHE = OWN + VERSION;
// How many new versions in a row could not be installed (a host missing a file): kept where the page reads it,
// so that it can say it is not updating; the next version installed drops it with the old version's files.
const FAILURES = `${OWN}failed-updates`;
// Names of the builds that kept one cache for the whole site, dropped with any old version.
const EARLIER = /^songuploader-[0-9.]+$/;
// The page first, then every file it asks for, by this version (the build writes the list).
const FILES = ['./', ...[@SU_WEB_CACHED@].map((name) => `${name}?v=${VERSION}`)];

async function countFailure() {
  const cache = await caches.open(FAILURES);
  const before = await cache.match('count');
  const count = (before ? Number(await before.text()) : 0) + 1;
  await cache.put('count', new Response(String(count)));
}

self.addEventListener('install', (event) => {
  event.waitUntil(install().catch(async (error) => {
    // Only a new version's failure counts (an older one is installed and serves the page meanwhile); the
    // browser tries again at the next visit.
    if (self.registration.active) await countFailure();
    throw error;
  }));
});

// Takes this version whole, or not at all.
async function install() {
  // Past any cache between here and the host, which could hand back an older page under the same address.
  // Each file is read whole as it comes (a browser keeps only a few connections to one host open).
  const files = await Promise.all(FILES.map(async (name) => {
    const response = await fetch(new Request(name, { cache: 'reload' }));
    if (!response.ok) throw new Error(`${name}: ${response.status}`);
    return { name, body: await response.arrayBuffer(), headers: response.headers };
  }));
  // A host caught halfway through replacing the page's files could give this worker another version's page:
  // then this version is not installed, and the one in use stays.
  const page = new TextDecoder().decode(files[0].body);
  if (!page.includes(`app.js?v=${VERSION}"`)) throw new Error(`the page on the host is not version ${VERSION}`);
  const cache = await caches.open(CACHE);
  await Promise.all(files.map((file) => cache.put(file.name, new Response(file.body, { headers: file.headers }))));
  // The open pages of the old version have every file they need loaded already: this one takes over at
  // once, and the next reload shows it (the page says so).
  await self.skipWaiting();
}

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys()) {
      if ((name.startsWith(OWN) || EARLIER.test(name)) && name !== CACHE) await caches.delete(name);
    }
  })());
});

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET') return;
  const url = new URL(request.url);
  const scope = new URL(self.registration.scope);
  if (url.origin !== scope.origin || !url.pathname.startsWith(scope.pathname)) return;
  const name = url.pathname.slice(scope.pathname.length);
  let key = null;
  if (request.mode === 'navigate') {
    if (name === '' || name === 'index.html') key = './';
  } else if (FILES.includes(name + url.search)) {
    key = name + url.search;
  }
  // Anything else (another version's file, a file of a demo) goes to the network as it would without us.
  if (key === null) return;
  event.respondWith((async () => {
    const cache = await caches.open(CACHE);
    return (await cache.match(key)) || fetch(request);
  })());
});
