// The page after one visit, in headless Chromium: it works with the network off, Chromium finds it installable
// as an app, a rebuilt page on the host is offered and replaces the old one whole, and two copies of the page on
// one host keep their own files.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { appendFileSync, cpSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';


import { ROOT, demoPageSuite, goOffline, launchProfile, offOrigin, openPage, startServer } from './harness.mjs';

let server;
let browser;
let scratch;

demoPageSuite('su-web-offline-', (held) => ({ server, browser, songs: scratch } = held));

// The page loaded and its service worker holding its files.
async function visited(page) {
  await page.waitForSelector('body[data-ready="true"]');
  await page.evaluate(() => navigator.serviceWorker.ready);
}

async function saveSong(page) {
  const [download] = await Promise.all([page.waitForEvent('download'),
    page.getByRole('button', { name: 'Save as .sq2' }).click()]);
  const path = join(scratch, `saved-${Date.now()}.sq2`);
  await download.saveAs(path);
  return readFileSync(path);
}

test('after one visit, with the network off, the page reloads, converts, saves and lists the slots', async () => {
  const page = await openPage(browser, server.url, { standin: 'C' });
  await visited(page);
  const song = { name: 'long_journey.mid', mimeType: 'audio/midi', buffer: readFileSync(join(scratch, 'long_journey.mid')) };
  await page.getByLabel('Song file').setInputFiles(song);
  const online = await saveSong(page);

  await goOffline(page);
  await page.reload();
  await page.evaluate(() => window.suStandin.ready);
  await page.waitForSelector('body[data-ready="true"]');
  await page.getByLabel('Song file').setInputFiles(song);
  assert.ok((await saveSong(page)).equals(online), 'offline the page saved other bytes than online');
  await page.getByRole('button', { name: 'Connect keyboard' }).click();
  await page.locator('#slots tbody tr').first().waitFor({ timeout: 20000 });
  const names = await page.locator('#slots tbody tr').evaluateAll((trs) => trs.map((tr) => tr.cells[1].textContent.trim()));
  assert.equal(names[0], 'Morning Waltz');
  assert.deepEqual(offOrigin(page), []);
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('Chromium finds the page installable as an app', async () => {
  const profile = mkdtempSync(join(tmpdir(), 'su-web-profile-'));
  const context = await launchProfile(profile);
  try {
    const page = await context.newPage();
    await page.goto(server.url);
    await visited(page);
    const cdp = await context.newCDPSession(page);
    const { installabilityErrors } = await cdp.send('Page.getInstallabilityErrors');
    assert.deepEqual(installabilityErrors, []);
    const { url, errors } = await cdp.send('Page.getAppManifest');
    assert.match(url, /manifest\.webmanifest\?v=/);
    assert.deepEqual(errors, []);
  } finally {
    await context.close();
    rmSync(profile, { recursive: true, force: true });
  }
});

// The page assembled as the build assembles it (web/assemble_page.py), into `folder`: from the page's files in
// `sources` and the core and icons the build made (every file of build/web that is not a page file).
function assemble(sources, folder) {
  const pageFiles = readdirSync(join(ROOT, 'web/page'));
  const built = readdirSync(join(ROOT, 'build/web')).filter((name) => !pageFiles.includes(name));
  mkdirSync(folder, { recursive: true });
  for (const name of built) cpSync(join(ROOT, 'build/web', name), join(folder, name));
  return execFileSync('python3', [join(ROOT, 'web/assemble_page.py'), sources, folder, ...built]).toString().trim();
}

// A copy of the page's sources, `change` applied to its style sheet (the version number stays as it is).
function changedSources(name, change) {
  const sources = join(scratch, name);
  cpSync(join(ROOT, 'web/page'), sources, { recursive: true });
  appendFileSync(join(sources, 'style.css'), change);
  return sources;
}

// From the page's next load on, what the service worker tells the page is kept in window.suWorkerSaid.
async function hearWorker(page) {
  await page.context().addInitScript(() => {
    window.suWorkerSaid = [];
    navigator.serviceWorker?.addEventListener('message', (event) => window.suWorkerSaid.push(event.data));
  });
}

// The SHA-256 of each file of the page's version as the page gets it (from the worker's cache when offline).
const filesAsLoaded = (page, names) => page.evaluate(async (names) => {
  const v = /\?v=(\w+)$/.exec(document.querySelector('script[src*="app.js"]').src)[1];
  const hex = (buffer) => [...new Uint8Array(buffer)].map((b) => b.toString(16).padStart(2, '0')).join('');
  return Object.fromEntries(await Promise.all(names.map(async (name) =>
    [name, hex(await crypto.subtle.digest('SHA-256', await (await fetch(`${name}?v=${v}`)).arrayBuffer()))])));
}, names);

const digestsOf = (folder, names) => Object.fromEntries(names.map((name) =>
  [name, createHash('sha256').update(readFileSync(join(folder, name))).digest('hex')]));

test('a host caught halfway through copying a new version: the page stays whole, and the complete copy installs', async () => {
  const folder = join(scratch, 'half-host');
  const first = join(scratch, 'half-first');
  const old = assemble(join(ROOT, 'web/page'), first);
  cpSync(first, folder, { recursive: true });
  const sources = changedSources('half-sources', '\n/* the second version */\n');
  appendFileSync(join(sources, 'zip.js'), '\nexport const SECOND = 2;\n');
  const second = join(scratch, 'half-second');
  const fresh = assemble(sources, second);
  const names = readdirSync(first).filter((name) => !['index.html', 'sw.js'].includes(name));
  const host = await startServer({ demo: false, root: folder });
  const page = await openPage(browser, host.url, { waitForStandin: false });
  try {
    await visited(page);
    await hearWorker(page);
    // The new version copied but for zip.js; the host serves any version's address with the file it has.
    for (const name of readdirSync(second)) if (name !== 'zip.js') cpSync(join(second, name), join(folder, name));
    await page.reload();
    await page.waitForSelector('body[data-ready="true"]');
    // The new worker's install ends: failed (the worker says so) or taken (the page offers it).
    await Promise.race([
      page.waitForFunction(() => window.suWorkerSaid.includes('failed-update'), null, { timeout: 30000 }),
      page.locator('#update').filter({ hasText: 'A new version of this page is ready.' }).waitFor({ timeout: 30000 })]);
    await goOffline(page);
    await page.reload();
    await page.waitForSelector('body[data-ready="true"]');
    assert.equal(await pageVersion(page), old);
    assert.deepEqual(await filesAsLoaded(page, names), digestsOf(first, names), 'a file of another version');

    // The copy completed: the new version installs whole.
    await page.context().setOffline(false);
    cpSync(join(second, 'zip.js'), join(folder, 'zip.js'));
    await page.reload();
    await page.locator('#update').filter({ hasText: 'A new version of this page is ready.' }).waitFor({ timeout: 30000 });
    await goOffline(page);
    await page.reload();
    await page.waitForSelector('body[data-ready="true"]');
    assert.equal(await pageVersion(page), fresh);
    assert.deepEqual(await filesAsLoaded(page, names), digestsOf(second, names), 'a file of another version');
  } finally {
    await page.close();
    await host.stop();
  }
});

test('a page of the old version still open keeps its files while a new version takes over', async () => {
  const folder = join(scratch, 'open-host');
  const old = assemble(join(ROOT, 'web/page'), folder);
  const host = await startServer({ demo: false, root: folder });
  const page = await openPage(browser, host.url, { waitForStandin: false });
  const older = await page.context().newPage();
  try {
    await visited(page);
    await older.goto(host.url);
    await visited(older);
    const fresh = assemble(changedSources('open-sources', '\n.open-fix { order: 1; }\n'), folder);
    await page.reload();
    await page.locator('#update').filter({ hasText: 'A new version of this page is ready.' }).waitFor({ timeout: 30000 });
    // The old page, offline, still gets a file it asks for late (its manifest), from its version's files.
    await goOffline(page);
    const late = await older.evaluate(async (v) => (await fetch(`manifest.webmanifest?v=${v}`)).ok, old);
    assert.ok(late, 'the old page\'s file was dropped while it was open');
    assert.ok((await page.evaluate(() => caches.keys())).includes(`songuploader / ${old}`));
    // Closed, and the page opened again: the old version's files go.
    await older.close();
    await page.reload();
    await page.waitForSelector('body[data-ready="true"]');
    await page.waitForFunction(async (v) => (await caches.keys()).join() === `songuploader / ${v}`, fresh, { timeout: 10000 });
    assert.equal(await pageVersion(page), fresh);
  } finally {
    if (!older.isClosed()) await older.close();
    await page.close();
    await host.stop();
  }
});

const pageVersion = (page) => page.evaluate(() => /\?v=(\w+)$/.exec(document.querySelector('script[src*="app.js"]').src)[1]);

test('the version is the page\'s content: the same files give the same bytes, one changed file a new version', () => {
  const again = join(scratch, 'again');
  const version = assemble(join(ROOT, 'web/page'), again);
  for (const name of readdirSync(join(ROOT, 'build/web'))) {
    assert.ok(readFileSync(join(again, name)).equals(readFileSync(join(ROOT, 'build/web', name))), `${name} differs`);
  }
  // The worker ships minified: its version is a string, whichever quotes and spaces the minifier keeps.
  assert.match(readFileSync(join(again, 'sw.js'), 'utf8'), new RegExp(`const VERSION ?= ?["']${version}["']`));
  const changed = assemble(changedSources('changed-sources', '\n/* a fix */\n'), join(scratch, 'changed'));
  assert.notEqual(changed, version);
});

test('a rebuilt page on the host is offered with a Reload button, and Reload brings it whole', async () => {
  const folder = join(scratch, 'host');
  const old = assemble(join(ROOT, 'web/page'), folder);
  const host = await startServer({ demo: false, root: folder });
  const page = await openPage(browser, host.url, { waitForStandin: false });
  try {
    await visited(page);
    const fresh = assemble(changedSources('host-sources', '\n.a-fix { order: 1; }\n'), folder);

    // The next visit still shows the version that was taken whole; the browser fetches the new one meanwhile.
    await page.reload();
    await page.waitForSelector('body[data-ready="true"]');
    assert.equal(await pageVersion(page), old);
    const offer = page.locator('#update').filter({ hasText: 'A new version of this page is ready.' });
    await offer.waitFor({ timeout: 20000 });
    await offer.getByRole('button', { name: 'Reload' }).click();
    await page.waitForURL(host.url);
    await page.waitForSelector('body[data-ready="true"]');
    assert.equal(await pageVersion(page), fresh);
    assert.ok(await page.getByRole('button', { name: 'Reload' }).isHidden());

    // Every file of the new version is kept: it opens with the network off.
    await goOffline(page);
    await page.reload();
    await page.waitForSelector('body[data-ready="true"]');
    // The old version's files go once no page of it is open (the reload above was its last).
    await page.waitForFunction(async (v) => (await caches.keys()).join() === `songuploader / ${v}`, fresh, { timeout: 10000 });
    const held = await page.evaluate(async (v) => ({
      caches: await caches.keys(),
      style: await (await fetch(`style.css?v=${v}`)).text(),
    }), fresh);
    assert.deepEqual(held.caches, [`songuploader / ${fresh}`], 'the old version\'s files are dropped');
    assert.match(held.style, /\.a-fix \{/);
    assert.deepEqual(page.errors, []);
  } finally {
    await page.close();
    await host.stop();
  }
});

test('while the keyboard is at work, the Reload offered waits and says so', async () => {
  const folder = join(scratch, 'busy-host');
  assemble(join(ROOT, 'web/page'), folder);
  const host = await startServer({ demo: true, root: folder });
  // A keyboard slow to end its final check (family C), so that the send lasts until it is cancelled.
  const page = await openPage(browser, host.url, { config: 'in=Virtual MIDI In\nout=Virtual MIDI Out\nmodel=2\nlate=05:20000\n' });
  try {
    await visited(page);
    assemble(changedSources('busy-sources', '\n/* a fix */\n'), folder);
    await page.reload();
    await page.evaluate(() => window.suStandin.ready);
    await page.waitForSelector('body[data-ready="true"]');
    const reload = page.locator('#update button');
    await reload.waitFor({ timeout: 20000 });
    await page.getByLabel('Song file').setInputFiles({ name: 'song.mid', mimeType: 'audio/midi', buffer: readFileSync(join(scratch, 'scale_format0.mid')) });
    await page.getByRole('button', { name: 'Connect keyboard' }).click();
    await page.locator('#slots tbody tr').nth(3).click({ timeout: 20000 });
    await page.getByRole('button', { name: 'Send' }).click();
    const cancel = page.getByRole('button', { name: 'Cancel' });
    await cancel.waitFor({ timeout: 20000 });
    assert.ok(await reload.isDisabled(), 'Reload could cut the send short');
    assert.equal(await reload.textContent(), 'Reload once the keyboard is done');
    await cancel.click();
    for (const answer of ['Yes', 'OK']) await page.locator('dialog[open]').getByRole('button', { name: answer, exact: true }).click({ timeout: 20000 });
    await page.waitForFunction(() => !document.body.classList.contains('busy'));
    assert.ok(await reload.isEnabled());
    assert.equal(await reload.textContent(), 'Reload');
  } finally {
    await page.close();
    await host.stop();
  }
});

test('a new version the host cannot hand over whole is tried at each visit, and after three the page says so', async () => {
  const folder = join(scratch, 'broken-host');
  const old = assemble(join(ROOT, 'web/page'), folder);
  const host = await startServer({ demo: false, root: folder });
  const page = await openPage(browser, host.url, { waitForStandin: false });
  // How many attempts the page's worker counted (sw.js keeps "VERSION COUNT" where the page reads it).
  const failures = () => page.evaluate(async () => {
    const name = 'songuploader / failed-updates';
    const count = (await caches.has(name)) && (await (await caches.open(name)).match('count'));
    return count ? Number((await count.text()).split(' ').pop()) : 0;
  });
  try {
    await visited(page);
    await hearWorker(page);
    assemble(changedSources('broken-sources', '\n/* never whole on the host */\n'), folder);
    rmSync(join(folder, 'icon-maskable-512.png'));
    for (let visit = 1; visit <= 3; visit += 1) {
      assert.ok(await page.getByText(/could not update itself/).isHidden(), `said after ${visit - 1} failures`);
      await page.reload();
      await page.waitForSelector('body[data-ready="true"]');
      await page.waitForFunction(() => window.suWorkerSaid.includes('failed-update'), null, { timeout: 30000 });
      assert.equal(await failures(), visit);
    }
    await page.getByText(/could not update itself to its new version/).waitFor({ timeout: 10000 });
    assert.equal(await pageVersion(page), old, 'the installed version still works');

    // The host back at the installed version (the new one withdrawn): the notice goes at the next visit.
    assemble(join(ROOT, 'web/page'), folder);
    await page.reload();
    await page.waitForSelector('body[data-ready="true"]');
    await page.waitForFunction(async () => !(await caches.has('songuploader / failed-updates')), null, { timeout: 20000 });
    assert.ok(await page.getByText(/could not update itself/).isHidden(), 'still said after the host went back');
    assert.equal(await pageVersion(page), old);
  } finally {
    await page.close();
    await host.stop();
  }
});

test('two copies of the page on one host keep their own files', async () => {
  const site = join(scratch, 'site');
  const first = assemble(join(ROOT, 'web/page'), join(site, 'one'));
  const second = assemble(changedSources('two-sources', '\n/* the second copy */\n'), join(site, 'two'));
  writeFileSync(join(site, 'index.html'), '<!doctype html><title>Two copies of the page</title>');
  const host = await startServer({ demo: false, root: site });
  const page = await openPage(browser, `${host.url}one/`, { waitForStandin: false });
  try {
    await visited(page);
    await page.goto(`${host.url}two/`);
    await visited(page);
    const kept = await page.evaluate(() => caches.keys());
    assert.deepEqual(kept.sort(), [`songuploader /one/ ${first}`, `songuploader /two/ ${second}`]);
    // The first copy still opens with the network off.
    await goOffline(page);
    await page.goto(`${host.url}one/`);
    await page.waitForSelector('body[data-ready="true"]');
    assert.equal(await pageVersion(page), first);
  } finally {
    await page.close();
    await host.stop();
  }
});
