// The browser tests' harness: the page served as `scripts/web --demo` serves it, Debian's Chromium driven by
// playwright-core (never a downloaded browser), and pages with the Web MIDI stand-in injected.
//
//   import { startServer, launchBrowser, openPage, offOrigin, distinctColours } from './harness.mjs';
//
//   startServer({demo = true, root = 'build/web'})  -> Promise<{url, stop()}>
//       The same server as scripts/web (scripts/lib/web_server.py) on 127.0.0.1 with a free port. With demo,
//       build/web-standin/ is served under /standin/ and index.html gets
//       <script type="module" src="/standin/standin.js"></script> before its first script: that is how the
//       stand-in is injected in the tests, exactly as in `scripts/web --demo`. `root` is relative to the
//       repository (the stand-in's own tests use tests/web/fixtures). stop() ends the server.
//   launchBrowser({args = []})  -> Promise<Browser>
//       /usr/bin/chromium, headless, with a fresh empty profile (playwright-core makes a temporary one), without
//       the sandbox when run as root and without the background connections this machine's closed network
//       would refuse; `args` are further command-line switches.
//   launchProfile(folder, {args = []})  -> Promise<BrowserContext>
//       The same Chromium with a lasting profile in `folder` (not a private window), where a page can be
//       installed as an app.
//   openPage(browser, url, {standin, config, chooser = false, keepDisconnected, permission, viewport,
//                           waitForStandin = true})
//       -> Promise<Page>
//       A new browser context (its own storage) and page; before any of the page's scripts run, the stand-in
//       is told what to be: standin 'C' (the default) | 'A' | 'B' (a demo keyboard), 'none' (no MIDI ports), 'denied'
//       (permission refused), 'no-webmidi' (no Web MIDI at all); `config` (a keyboard config text, see
//       tools/webmidi_standin/standin.js) wins over a demo keyboard; `chooser: true` shows the demo's
//       keyboard chooser; `keepDisconnected: true` keeps unplugged ports in the lists (Chromium leaves them
//       out); `permission` starts the stand-in's permission elsewhere ('prompt', 'site-permission', ...). Then it loads `url` and waits for the stand-in's keyboard (window.suStandin.ready).
//       The page carries:
//         page.requests  every request the page made, as {url, method, type}, in order; requests that
//                        leave the page's origin are recorded and aborted (offOrigin(page) lists them);
//         page.errors    uncaught errors and console errors of the page, as strings.
//       The stand-in's controls are reached through page.evaluate, e.g.
//         await page.evaluate(() => suStandin.unplug());
//         const slots = await page.evaluate(() => suStandin.slots());
//   goOffline(page)  -> Promise: the page's browser context loses its network (as a computer without one); the
//       stand-in's files, which are the test's and not the page's, are still handed to the page from
//       build/web-standin/ (under /standin/).
//   launchFirefox()  -> Promise<puppeteer Browser>
//       Debian's Firefox ESR (/usr/bin/firefox-esr), headless, driven over WebDriver BiDi by puppeteer-core
//       (never a downloaded browser).
//   openFirefoxPage(browser, url, {standin, config, permission})  -> Promise<puppeteer Page>
//       As openPage, in a fresh browser context: the stand-in told what to be, page.requests and page.errors
//       kept, requests off the page's origin aborted, then `url` loaded with the stand-in and the core ready.
//       Once page.standinFromDisk is set, the stand-in's files come from build/web-standin/ instead of the
//       server (so that the page can be reloaded with its server stopped).
//   offOrigin(page)  -> [url]: the requests that went anywhere but the page's own origin.
//   distinctColours(browser, png)  -> Promise<number>: how many colours a screenshot (a PNG Buffer) shows,
//       counted on a sample grid; a blank screenshot has 1.
//   skipUnlessBuilt(path)  -> false or a reason: the `skip` option of a test that needs the build output at
//       `path` (relative to the checkout). Where every test must run (SU_NO_SKIP=1, as scripts/test sets) it is
//       always false, so a missing build fails the test instead.
//
// Scenario files are tests/web/*.test.mjs, run with `node --test tests/web/` (scripts/test does, after the
// Emscripten build and `npm ci` here).
import { execFileSync, spawn } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { createInterface } from 'node:readline';
import { after, before } from 'node:test';
import { fileURLToPath } from 'node:url';

import { chromium } from 'playwright-core';
import puppeteer from 'puppeteer-core';

export const ROOT = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const STANDIN_DIR = join(ROOT, 'build/web-standin');
const CHROMIUM = '/usr/bin/chromium';
const FIREFOX = '/usr/bin/firefox-esr';

// The set-up a file of browser tests shares: the example songs generated into a folder of its own (named from
// `prefix`), the page's server with the stand-in, and a browser from `launch`; `use` receives them before the
// file's tests run, and all is stopped and removed after them.
export function demoPageSuite(prefix, use, launch = () => launchBrowser()) {
  let held = {};
  before(async () => {
    const songs = mkdtempSync(join(tmpdir(), prefix));
    held.songs = songs;
    execFileSync('python3', [join(ROOT, 'scripts/make_examples.py'), songs]);
    held.server = await startServer({ demo: true });
    held.browser = await launch();
    use(held);
  });
  after(async () => {
    await held.browser?.close();
    await held.server?.stop();
    if (held.songs) rmSync(held.songs, { recursive: true, force: true });
    held = {};
  });
}

export function skipUnlessBuilt(path) {
  if (process.env.SU_NO_SKIP === '1' || existsSync(join(ROOT, path))) return false;
  return `${path} is not built`;
}

export async function startServer({ demo = true, root = 'build/web' } = {}) {
  const served = resolve(ROOT, root);
  if (!existsSync(join(served, 'index.html'))) {
    throw new Error(`${root}/index.html is missing: build the page first (scripts/web builds it)`);
  }
  const args = [join(ROOT, 'scripts/lib/web_server.py'), served, '--port', '0', '--until-stdin-closes'];
  if (demo) {
    if (!existsSync(join(STANDIN_DIR, 'standin.js'))) {
      throw new Error('build/web-standin/ is missing: build the Web MIDI stand-in first (scripts/web builds it)');
    }
    args.push('--standin', STANDIN_DIR);
  }
  // The server's standard input is a pipe from this process: should this process die, the server stops too.
  const server = spawn('python3', args, { stdio: ['pipe', 'pipe', 'inherit'] });
  const exited = new Promise((done) => server.once('exit', done));
  const url = await new Promise((done, fail) => {
    const lines = createInterface({ input: server.stdout });
    lines.once('line', (line) => {
      const match = /^Serving (http:\/\/127\.0\.0\.1:\d+\/)$/.exec(line);
      if (match) done(match[1]); else fail(new Error(`unexpected first line from the server: ${line}`));
    });
    server.once('exit', (code) => fail(new Error(`the server stopped (exit code ${code}) before serving`)));
  });
  return {
    url,
    async stop() {
      if (server.exitCode === null && server.signalCode === null) server.kill('SIGTERM');
      await exited;
    },
  };
}

// How Chromium is started here: Debian's, headless, without the connections this machine's network refuses.
function chromiumOptions(args) {
  if (!existsSync(CHROMIUM)) throw new Error(`${CHROMIUM} is missing (Debian package chromium)`);
  const asRoot = typeof process.getuid === 'function' && process.getuid() === 0;
  return {
    executablePath: CHROMIUM,
    headless: true,
    chromiumSandbox: !asRoot,
    args: [
      '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', ...args,
    ],
  };
}

export async function launchBrowser({ args = [] } = {}) {
  return chromium.launch(chromiumOptions(args));
}

// A browser with a profile kept in `folder` (a user's own, not a private window: only there may a page be
// installed as an app); returns its one browser context.
export async function launchProfile(folder, { args = [] } = {}) {
  return chromium.launchPersistentContext(folder, chromiumOptions(args));
}

export async function openPage(browser, url, options = {}) {
  const { standin, config, chooser = false, keepDisconnected, permission, viewport, waitForStandin = true } = options;
  const context = await browser.newContext(viewport ? { viewport } : {});
  await context.addInitScript((init) => { window.__suStandinInit = init; }, { standin, config, chooser, keepDisconnected, permission });
  const page = await context.newPage();
  page.requests = [];
  page.errors = [];
  const origin = new URL(url).origin;
  await context.route('**/*', (route) => {
    const request = route.request();
    page.requests.push({ url: request.url(), method: request.method(), type: request.resourceType() });
    if (new URL(request.url()).origin === origin) return route.continue();
    return route.abort('blockedbyclient');
  });
  page.on('pageerror', (error) => page.errors.push(String(error)));
  page.on('console', (message) => { if (message.type() === 'error') page.errors.push(message.text()); });
  // The context goes with the page, so that a test closes both with page.close().
  page.once('close', () => { context.close().catch(() => {}); });
  await page.goto(url);
  // Module scripts run before the load event, so the stand-in is in place by now (when it was injected).
  if (waitForStandin) await page.evaluate(() => window.suStandin?.ready);
  return page;
}

export async function goOffline(page) {
  const context = page.context();
  await context.route('**/standin/**', (route) => {
    const path = new URL(route.request().url()).pathname.replace(/^\/standin\//, '');
    page.requests.push({ url: route.request().url(), method: route.request().method(), type: route.request().resourceType() });
    return route.fulfill({ path: join(STANDIN_DIR, path) });
  });
  await context.setOffline(true);
}

export async function launchFirefox() {
  if (!existsSync(FIREFOX)) throw new Error(`${FIREFOX} is missing (Debian package firefox-esr)`);
  return puppeteer.launch({ browser: 'firefox', executablePath: FIREFOX, headless: true });
}

export async function openFirefoxPage(browser, url, options = {}) {
  const { standin, config, permission } = options;
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  page.requests = [];
  page.errors = [];
  page.standinFromDisk = false;
  await page.evaluateOnNewDocument((init) => { window.__suStandinInit = init; }, { standin, config, permission });
  const origin = new URL(url).origin;
  await page.setRequestInterception(true);
  page.on('request', (request) => {
    const target = new URL(request.url());
    page.requests.push({ url: request.url(), method: request.method() });
    if (target.protocol === 'data:') return request.continue();
    if (target.origin !== origin) return request.abort('blockedbyclient');
    if (page.standinFromDisk && target.pathname.startsWith('/standin/')) {
      const name = target.pathname.slice('/standin/'.length);
      const type = { wasm: 'application/wasm', cfg: 'text/plain' }[name.split('.').pop()] || 'text/javascript';
      return request.respond({ status: 200, contentType: type, body: readFileSync(join(STANDIN_DIR, name)) });
    }
    return request.continue();
  });
  page.on('pageerror', (error) => page.errors.push(String(error)));
  page.on('console', (message) => { if (message.type() === 'error') page.errors.push(message.text()); });
  page.once('close', () => { context.close().catch(() => {}); });
  await page.goto(url);
  await page.evaluate(() => window.suStandin?.ready);
  await page.waitForSelector('body[data-ready="true"]');
  return page;
}

export function offOrigin(page) {
  const origin = new URL(page.url()).origin;
  return page.requests.map((r) => r.url).filter((u) => !u.startsWith('data:') && new URL(u).origin !== origin);
}

export async function distinctColours(browser, png) {
  const page = await browser.newPage();
  try {
    return await page.evaluate(async (base64) => {
      const image = new Image();
      image.src = `data:image/png;base64,${base64}`;
      await image.decode();
      const canvas = new OffscreenCanvas(image.width, image.height);
      const context = canvas.getContext('2d');
      context.drawImage(image, 0, 0);
      const { data } = context.getImageData(0, 0, image.width, image.height);
      const colours = new Set();
      const step = Math.max(1, Math.floor(Math.min(image.width, image.height) / 64));
      for (let y = 0; y < image.height; y += step) {
        for (let x = 0; x < image.width; x += step) {
          const i = (y * image.width + x) * 4;
          colours.add((data[i] << 16) | (data[i + 1] << 8) | data[i + 2]);
        }
      }
      return colours.size;
    }, png.toString('base64'));
  } finally {
    await page.close();
  }
}
