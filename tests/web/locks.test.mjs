// Two windows of the page on the same ports, in headless Chromium (two pages of one browser context, each with
// the Web MIDI stand-in): while the first sends, the second's Connect waits with "This keyboard is busy in
// another window of this page." and sends nothing to the keyboard; it goes on once the first is done, or stops
// when its user cancels the wait. The first's send ends as it would alone.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { test } from 'node:test';

import { demoPageSuite, openPage } from './harness.mjs';

let server;
let browser;
let songs;

demoPageSuite('su-web-locks-', (held) => ({ server, browser, songs } = held));

const BUSY = 'This keyboard is busy in another window of this page.';
// A family C keyboard slow to end its final check: the first window's send lasts until it is cancelled.
const SLOW = 'in=Virtual MIDI In\nout=Virtual MIDI Out\nmodel=2\nlate=05:20000\n';
const idle = (page) => page.waitForFunction(() => !document.body.classList.contains('busy'), null, { timeout: 60000 });

// [case, what the second window's user does while it waits, whether it then lists the slots]
const CASES = [
  ['the second waits and connects once the first is done', 'wait', true],
  ['the second window\'s user cancels the wait', 'cancel', false],
];

for (const [name, second, lists] of CASES) {
  test(name, async () => {
    const first = await openPage(browser, server.url, { config: SLOW });
    const other = await first.context().newPage();
    const errors = [];
    other.on('pageerror', (error) => errors.push(String(error)));
    try {
      await first.waitForSelector('body[data-ready="true"]');
      await first.getByLabel('Song file').setInputFiles({ name: 'song.mid', mimeType: 'audio/midi',
        buffer: readFileSync(join(songs, 'scale_format0.mid')) });
      await first.getByRole('button', { name: 'Connect keyboard' }).click();
      await first.locator('#slots tbody tr.empty').first().click({ timeout: 20000 });
      await idle(first);
      await first.getByRole('button', { name: 'Send', exact: true }).click();
      const cancelCheck = first.getByRole('button', { name: 'Cancel' });
      await cancelCheck.waitFor({ timeout: 20000 });

      await other.goto(server.url);
      await other.evaluate(() => window.suStandin.ready);
      await other.waitForSelector('body[data-ready="true"]');
      await other.evaluate(() => window.suStandin.clearLog());
      await other.getByRole('button', { name: 'Connect keyboard' }).click();
      const waiting = other.locator('dialog[open]');
      await waiting.getByText(BUSY).waitFor({ timeout: 20000 });
      assert.deepEqual(await other.evaluate(() => window.suStandin.received()), [], 'the second window talked to the keyboard');

      if (second === 'cancel') {
        await waiting.getByRole('button', { name: 'Cancel', exact: true }).click();
        await other.locator('dialog[open]').getByRole('button', { name: 'OK', exact: true }).click({ timeout: 10000 });
        await idle(other);
        assert.equal(await other.locator('#keyboard-info').textContent(), 'No keyboard connected.');
      }
      // The first window's send goes on to its end: its final check cancelled as its user would.
      assert.ok(await cancelCheck.isVisible(), 'the first window\'s send was cut short');
      await cancelCheck.click();
      for (const answer of ['Yes', 'OK']) await first.locator('dialog[open]').getByRole('button', { name: answer, exact: true }).click({ timeout: 20000 });
      await idle(first);
      assert.deepEqual(first.errors, []);

      if (lists) {
        await other.locator('#slots tbody tr').first().waitFor({ timeout: 20000 });
        await idle(other);
        assert.match(await other.locator('#keyboard-info').textContent(), /^Model type \d+, family C/);
      } else {
        assert.deepEqual(await other.evaluate(() => window.suStandin.received()), []);
        assert.equal(await other.locator('#slots tbody tr').count(), 0);
      }
      assert.deepEqual(errors, []);
    } finally {
      await other.close();
      await first.close();
    }
  });
}

test('a browser without Web Locks connects, lists and sends as before', async () => {
  const page = await openPage(browser, server.url, { standin: 'C', waitForStandin: false });
  try {
    // The page loaded again in a browser that has no navigator.locks.
    await page.context().addInitScript(() => Object.defineProperty(Navigator.prototype, 'locks', { get: () => undefined }));
    await page.reload();
    await page.evaluate(() => window.suStandin.ready);
    await page.waitForSelector('body[data-ready="true"]');
    assert.equal(await page.evaluate(() => navigator.locks), undefined);
    await page.getByLabel('Song file').setInputFiles({ name: 'song.mid', mimeType: 'audio/midi',
      buffer: readFileSync(join(songs, 'scale_format0.mid')) });
    await page.getByRole('button', { name: 'Connect keyboard' }).click();
    await page.locator('#slots tbody tr.empty').first().click({ timeout: 20000 });
    await idle(page);
    const used = async () => (await page.evaluate(() => window.suStandin.slots())).filter((slot) => slot.size > 0).length;
    const before = await used();
    await page.getByRole('button', { name: 'Send', exact: true }).click();
    await page.locator('dialog[open]').getByText('Complete!').waitFor({ timeout: 60000 });
    await page.locator('dialog[open]').getByRole('button', { name: 'OK', exact: true }).click();
    await idle(page);
    assert.equal(await used(), before + 1, 'the song is not in the keyboard');
    assert.deepEqual(page.errors, []);
  } finally {
    await page.close();
  }
});
