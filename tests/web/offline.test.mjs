// The page after one visit, in headless Chromium: it works with the network off, Chromium finds it installable
// as an app, and a new version on the host replaces the old one whole.
import assert from 'node:assert/strict';
import { appendFileSync, cpSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
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

test('a new version on the host replaces the old one whole, and the page says that a reload brings it', async () => {
  // The page's own files in a folder of this test's, served alone, then replaced in place by version 9.9.9.
  const folder = join(scratch, 'host');
  cpSync(join(ROOT, 'build/web'), folder, { recursive: true });
  const old = /\?v=([0-9.]+)"/.exec(readFileSync(join(folder, 'index.html'), 'utf8'))[1];
  const host = await startServer({ demo: false, root: folder });
  const page = await openPage(browser, host.url, { waitForStandin: false });
  try {
    await visited(page);
    for (const name of readdirSync(folder)) {
      if (/\.(html|js|css|webmanifest)$/.test(name)) {
        writeFileSync(join(folder, name), readFileSync(join(folder, name), 'utf8').replaceAll(old, '9.9.9'));
      }
    }
    // Marks of the new version in the core: a comment, and a custom section of the WebAssembly module.
    appendFileSync(join(folder, 'core.js'), '\n// core 9.9.9\n');
    appendFileSync(join(folder, 'core.wasm'), Buffer.from([0, 7, 1, 0x76, ...Buffer.from('9.9.9')]));

    const pageVersion = () => page.evaluate(() => /\?v=([0-9.]+)$/.exec(document.querySelector('script[src*="app.js"]').src)[1]);
    // The next visit still shows the version that was taken whole; the browser fetches the new one meanwhile.
    await page.reload();
    await page.waitForSelector('body[data-ready="true"]');
    assert.equal(await pageVersion(), old);
    assert.ok(await page.locator('#update').isHidden());
    await page.getByText('A new version of this page is ready: reload the page to use it.').waitFor({ timeout: 20000 });

    // The reload brings the new version, every one of its files, even with the network off.
    await goOffline(page);
    await page.reload();
    await page.waitForSelector('body[data-ready="true"]');
    assert.equal(await pageVersion(), '9.9.9');
    const held = await page.evaluate(async () => {
      const text = async (name) => (await fetch(name)).text();
      return {
        caches: await caches.keys(),
        coreApi: await text('core-api.js?v=9.9.9'),
        core: await text('core.js?v=9.9.9'),
        wasm: await text('core.wasm?v=9.9.9'),
      };
    });
    assert.deepEqual(held.caches, ['songuploader-9.9.9'], 'the old version\'s files are dropped');
    assert.match(held.coreApi, /VERSION = '9\.9\.9'/);
    assert.match(held.core, /\/\/ core 9\.9\.9\n$/);
    assert.ok(held.wasm.endsWith('9.9.9'));
    assert.ok(await page.locator('#update').isHidden());
    assert.deepEqual(page.errors, []);
  } finally {
    await page.close();
    await host.stop();
  }
});
