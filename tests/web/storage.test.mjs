// When the page asks the browser to keep its files (navigator.storage.persist()), in headless Chromium against
// the Web MIDI stand-in: once a send is over, never while it runs, since a browser that asks the user (Firefox)
// would put its question in the middle of the send.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { test } from 'node:test';

import { demoPageSuite, openPage } from './harness.mjs';

let server;
let browser;
let songs;

demoPageSuite('su-web-storage-', (held) => ({ server, browser, songs } = held));

// [case, songs chosen, the button that sends]
const SENDS = [
  ['one song', ['scale_format0.mid'], 'Send'],
  ['several songs', ['scale_format0.mid', 'waltz_smpte.mid'], 'Send all'],
];

for (const [name, files, button] of SENDS) {
  test(`${name}: the page asks to keep its files once the send is over`, async () => {
    const page = await openPage(browser, server.url, { standin: 'C' });
    try {
      await page.waitForSelector('body[data-ready="true"]');
      // What the page was doing each time it asked: busy (the keyboard at work) or not, and how many messages
      // the keyboard had received by then.
      await page.evaluate(() => {
        window.suAsked = [];
        navigator.storage.persisted = async () => false;
        navigator.storage.persist = async () => {
          window.suAsked.push({ busy: document.body.classList.contains('busy'), received: (await suStandin.received()).length });
          return false;
        };
      });
      await page.getByLabel('Song file').setInputFiles(files.map((file) => ({ name: file, mimeType: 'audio/midi',
        buffer: readFileSync(join(songs, file)) })));
      await page.getByRole('button', { name: 'Connect keyboard' }).click();
      await page.locator('#slots tbody tr.empty').first().click({ timeout: 20000 });
      await page.waitForFunction(() => !document.body.classList.contains('busy'));
      const before = await page.evaluate(async () => { await suStandin.clearLog(); return window.suAsked.length; });
      assert.equal(before, 0, 'asked before anything was sent');
      await page.getByRole('button', { name: button, exact: true }).click();
      // "Complete!" and any other message is answered with OK until the keyboard's work is over.
      const ok = page.locator('dialog[open]').getByRole('button', { name: 'OK', exact: true });
      for (let answered = 0; await page.evaluate(() => document.body.classList.contains('busy')); answered += 1) {
        assert.ok(answered < 5, 'more messages than a send gives');
        await Promise.race([ok.click({ timeout: 60000 }).catch(() => {}),
          page.waitForFunction(() => !document.body.classList.contains('busy'), null, { timeout: 60000 })]);
      }
      const asked = await page.evaluate(() => window.suAsked);
      const sent = await page.evaluate(async () => (await suStandin.received()).length);
      assert.equal(asked.length, 1);
      assert.equal(asked[0].busy, false, 'asked while the keyboard was at work');
      assert.equal(asked[0].received, sent, 'asked before the keyboard had received all of the send');
      assert.deepEqual(page.errors, []);
    } finally {
      await page.close();
    }
  });
}
