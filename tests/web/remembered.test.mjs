// The keyboard the page found on a pair of ports is remembered in the browser's storage and asked first after
// a reload; "Search every keyboard type" under "More" asks in the usual order again.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { demoPageSuite, offOrigin, openPage } from './harness.mjs';

let server;
let browser;

demoPageSuite('su-web-remembered-', (held) => ({ server, browser } = held));

const IDENTITY = 'F0 44 14 00';
const PROBE_B = 'F0 44 15 01';
const SILENT = 'The keyboard last found here does not answer; looking for others...';

// What the keyboard was asked on the way to a slot list shown, the first question apart.
async function connectLogged(page, button = 'Connect keyboard') {
  await page.evaluate(() => suStandin.clearLog());
  await page.getByRole('button', { name: button }).click();
  await page.locator('#slots tbody tr').first().waitFor({ timeout: 30000 });
  await page.waitForFunction(() => !document.body.classList.contains('busy'));
  const received = await page.evaluate(() => suStandin.received());
  return { first: received[0] || '', received };
}

test('a family B keyboard is asked first after a reload; another on its ports is still found; afresh on request', async () => {
  const page = await openPage(browser, server.url, { standin: 'B' });
  try {
    await page.waitForSelector('body[data-ready="true"]');
    const first = await connectLogged(page);
    assert.ok(first.first.startsWith(IDENTITY), `the first search asks in the usual order: ${first.first}`);

    await page.reload();
    await page.waitForSelector('body[data-ready="true"]');
    await page.evaluate(() => window.suStandin?.ready);
    const again = await connectLogged(page);
    assert.ok(again.first.startsWith(PROBE_B), `family B's probe first: ${again.first}`);
    assert.ok(!again.received.some((m) => m.startsWith(IDENTITY)), 'no identity request on the way');
    // Found by its first answer, without waiting out a time-out: no identity request (the usual order's, which
    // waits out two time-outs for family B) and the probe asked once.
    assert.equal(again.received.filter((m) => m === again.first).length, 1, 'the probe was asked again');

    // Afresh: the usual order, though family B is remembered.
    await page.locator('summary', { hasText: 'More' }).click();
    const fresh = await connectLogged(page, 'Search every keyboard type');
    assert.ok(fresh.first.startsWith(IDENTITY), `afresh: the usual order: ${fresh.first}`);
    assert.match(await page.locator('#keyboard-info').textContent(), /family B/);

    // Another keyboard on the same ports (the demo keyboards share their port names), and the status saying
    // why the search takes longer.
    await page.evaluate(() => suStandin.choose('C'));
    await page.evaluate(() => {
      window.suStatuses = [];
      const status = document.getElementById('status');
      new MutationObserver(() => window.suStatuses.push(status.textContent))
        .observe(status, { childList: true, characterData: true, subtree: true });
    });
    const other = await connectLogged(page);
    assert.ok(other.first.startsWith(PROBE_B), `the remembered family B first: ${other.first}`);
    assert.match(await page.locator('#keyboard-info').textContent(), /family C/);
    assert.ok((await page.evaluate(() => window.suStatuses)).includes(SILENT), 'the status said why');

    assert.deepEqual(offOrigin(page), [], 'the page asked for something beyond its own files');
    assert.deepEqual(page.errors, [], 'the page reported errors');
  } finally {
    await page.close();
  }
});
