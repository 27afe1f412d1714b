// The main paths of the page in Debian's Firefox ESR (headless, over WebDriver BiDi) against the Web MIDI
// stand-in: a song sent, replaced and deleted, the song file byte for byte the native converter's, the notes
// where the keyboard cannot be reached (no Web MIDI, Firefox's site permission missing), an unplugged keyboard,
// and a reload with the host out of reach after one visit.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { describe, test } from 'node:test';


import { ROOT, demoPageSuite, launchFirefox, offOrigin, openFirefoxPage, skipUnlessBuilt, startServer } from './harness.mjs';

let server;
let browser;
let songs;

demoPageSuite('su-web-firefox-', (held) => ({ server, browser, songs } = held),
  () => launchFirefox());

async function done(page) {
  assert.deepEqual(offOrigin(page), [], 'the page asked for something beyond its own files');
  assert.deepEqual(page.errors, [], 'the page reported errors');
  await page.close();
}

async function chooseSong(page, name = 'long_journey.mid') {
  const input = await page.$('#song-file');
  await input.uploadFile(join(songs, name));
  await page.waitForFunction((n) => document.querySelector('#song-info').textContent.startsWith(`${n} (`), {}, name);
}

// The modal's text, answered with the button `id` ('yes', 'no', 'ok').
async function answer(page, id, timeout = 15000) {
  await page.waitForSelector('dialog[open]', { timeout });
  // The text node is marked as answered: the next dialog, even one that opens at once, shows a new one.
  const text = await page.$eval('#dialog-text', (p) => { p.firstChild.answered = true; return p.textContent; });
  await page.click(`#dialog-${id}`);
  await page.waitForFunction(() => !document.querySelector('dialog[open]') || !document.querySelector('#dialog-text').firstChild?.answered);
  return text;
}

const idle = (page) => page.waitForFunction(() => !document.body.classList.contains('busy'), { timeout: 30000 });
const rows = (page) => page.$$eval('#slots tbody tr', (trs) => trs.map((tr) => [...tr.cells].map((td) => td.textContent.trim())));
const slots = (page) => page.evaluate(() => suStandin.slots());

async function connect(page) {
  await page.click('#connect');
  await page.waitForSelector('#slots tbody tr', { timeout: 20000 });
  await idle(page);
}

async function selectRow(page, index) {
  await page.click(`#slots tbody tr:nth-child(${index + 1})`);
}

// What "Save as .sq2" hands to the browser's download, taken as it is handed over.
async function saveSong(page) {
  await page.evaluate(() => {
    window.savedSong = new Promise((resolve) => {
      const create = URL.createObjectURL;
      URL.createObjectURL = (blob) => { resolve(blob); return create.call(URL, blob); };
      HTMLAnchorElement.prototype.click = function () {};
    });
  });
  await page.click('#save');
  const base64 = await page.evaluate(async () => {
    const bytes = new Uint8Array(await (await window.savedSong).arrayBuffer());
    let text = '';
    for (const byte of bytes) text += String.fromCharCode(byte);
    return btoa(text);
  });
  return Buffer.from(base64, 'base64');
}

test('a song sent into an empty slot, another replacing a song, one deleted, the slots listed each time', async () => {
  const page = await openFirefoxPage(browser, server.url, { standin: 'C' });
  await chooseSong(page, 'scale_format0.mid');
  await connect(page);
  assert.match(await page.$eval('#keyboard-info', (p) => p.textContent), /family C/);
  assert.deepEqual((await rows(page))[0], ['30', 'Morning Waltz', '5KB']);

  await selectRow(page, 0);
  await page.click('#send');
  assert.equal(await answer(page, 'yes'), 'The data you selected is already exist.\nDo you want to replace it?');
  assert.equal(await answer(page, 'ok', 30000), 'Complete!');
  await idle(page);
  assert.equal((await slots(page))[0].size, 107);
  assert.equal((await rows(page))[0][2], '1KB');

  await selectRow(page, 2);
  await page.click('#send');
  assert.equal(await answer(page, 'ok', 30000), 'Complete!');
  await idle(page);
  assert.equal((await slots(page))[2].size, 107);

  await page.click('#delete');
  assert.equal(await answer(page, 'yes'), 'Do you want to delete it?');
  assert.equal(await answer(page, 'ok'), 'Complete to delete.');
  await idle(page);
  assert.equal((await slots(page))[2].size, 0);
  assert.equal((await rows(page))[2][2], '0KB');
  await done(page);
});

test('the song file is byte for byte the native converter\'s', { skip: skipUnlessBuilt('build/native/bin/songuploader') }, async () => {
  const expected = join(songs, 'long_journey.native.sq2');
  execFileSync(join(ROOT, 'build/native/bin/songuploader'), ['convert', join(songs, 'long_journey.mid'), '-o', expected], { stdio: 'ignore' });
  const page = await openFirefoxPage(browser, server.url, { standin: 'no-webmidi' });
  await chooseSong(page);
  assert.ok((await saveSong(page)).equals(readFileSync(expected)), 'Firefox saved other bytes than the native converter');
  await done(page);
});

describe('where the keyboard cannot be reached, the note says what to do', () => {
  const cases = [
    { name: 'no Web MIDI', options: { standin: 'no-webmidi' }, text: /does not offer Web MIDI.*Firefox.*command line/ },
    { name: 'the site permission not added', options: { standin: 'C', permission: 'site-permission' },
      text: /Firefox asks to add a site permission for this page.*"Connect keyboard" again/ },
  ];
  for (const { name, options, text } of cases) {
    test(name, async () => {
      const page = await openFirefoxPage(browser, server.url, options);
      if (await page.$eval('#connect', (b) => !b.disabled)) await page.click('#connect');
      await page.waitForSelector('#no-midi:not(:empty)');
      assert.match(await page.$eval('#no-midi', (p) => p.textContent), text);
      await done(page);
    });
  }
});

// Firefox runs a page opened as a file as a secure one, without Web MIDI: what helps is serving the folder.
test('opened as a file, the page says to serve its folder', { skip: skipUnlessBuilt('build/web/index.html') }, async () => {
  const context = await browser.createBrowserContext();
  try {
    const page = await context.newPage();
    await page.goto(pathToFileURL(join(ROOT, 'build/web/index.html')).href);
    await page.waitForSelector('#no-midi:not(:empty)');
    assert.match(await page.$eval('#no-midi', (p) => p.textContent), /^This page was opened as a file.*serve its folder/);
  } finally {
    await context.close();
  }
});

test('the keyboard unplugged in the middle of a send ends it with the timeout message', async () => {
  const page = await openFirefoxPage(browser, server.url, { standin: 'C' });
  await chooseSong(page);
  await connect(page);
  await selectRow(page, 2);
  await page.click('#send');
  await page.waitForFunction(() => document.querySelector('#progress').value > 0);
  await page.evaluate(() => suStandin.unplug());
  assert.equal(await answer(page, 'ok', 30000), 'The timeout error occured.');
  await idle(page);
  assert.equal(await page.$eval('#keyboard-info', (p) => p.textContent), 'No keyboard connected.');
  assert.ok(await page.$eval('#send', (b) => b.disabled));
  await done(page);
});

test('after one visit the page reloads, saves and lists the slots with its host out of reach', async () => {
  const host = await startServer({ demo: true });
  const page = await openFirefoxPage(browser, host.url, { standin: 'C' });
  try {
    await page.evaluate(() => navigator.serviceWorker.ready);
    await chooseSong(page);
    const online = await saveSong(page);
    await host.stop();
    page.standinFromDisk = true;
    await page.reload();
    await page.evaluate(() => window.suStandin.ready);
    await page.waitForSelector('body[data-ready="true"]');
    await chooseSong(page);
    assert.ok((await saveSong(page)).equals(online), 'offline the page saved other bytes than online');
    await connect(page);
    assert.equal((await rows(page))[0][1], 'Morning Waltz');
    await done(page);
  } finally {
    if (!page.isClosed()) await page.close();
    await host.stop();
  }
});
