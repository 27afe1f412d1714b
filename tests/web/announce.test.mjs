// What a screen reader hears and what the keys do, in headless Chromium against the Web MIDI stand-in: the
// results of connecting and the reason Send waits are in live regions (read from the accessibility tree, as a
// screen reader reads them), failures assertive; the slot table takes the focus on a click and answers the
// paging keys.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { describe, test } from 'node:test';

import { demoPageSuite, openPage, skipUnlessBuilt } from './harness.mjs';

let server;
let browser;
let songsFolder;

demoPageSuite('su-web-announce-', (held) => ({ server, browser, songs: songsFolder } = held));

async function open(options) {
  const page = await openPage(browser, server.url, options);
  await page.waitForSelector('body[data-ready="true"]');
  return page;
}

// How the page's text matching `pattern` is announced: 'polite', 'assertive', or 'none' outside a live region.
async function liveness(page, pattern) {
  const cdp = await page.context().newCDPSession(page);
  const { nodes } = await cdp.send('Accessibility.getFullAXTree');
  const byId = new Map(nodes.map((node) => [node.nodeId, node]));
  const text = nodes.find((node) => node.role?.value === 'StaticText' && pattern.test(node.name?.value ?? ''));
  assert.ok(text, `no text ${pattern} in the accessibility tree`);
  for (let node = byId.get(text.parentId); node; node = byId.get(node.parentId)) {
    const live = node.properties?.find((property) => property.name === 'live');
    if (live) return live.value.value;
  }
  return 'none';
}

const selectedRow = (page) => page.locator('#slots tbody tr').evaluateAll((trs) => trs.findIndex((tr) => tr.getAttribute('aria-selected') === 'true'));

describe('connecting is announced', { skip: skipUnlessBuilt('build/web/index.html') }, () => {
  const cases = [
    { name: 'no ports', options: { standin: 'none' }, text: /^No MIDI input and output to reach a keyboard/, live: 'assertive' },
    { name: 'ports to choose', options: { config: 'in=Synth In\nin=Keyboard In\nout=Synth Out\nout=Keyboard Out\nmodel=2\n' },
      text: /^Choose the MIDI input and output of the keyboard/, live: 'polite' },
    { name: 'the keyboard found, and why Send waits', options: { standin: 'C' }, text: /^Model type \d+, family C: /, live: 'polite',
      then: { text: /^Choose a slot\.$/, live: 'polite' } },
  ];
  for (const { name, options, text, live, then } of cases) {
    test(name, async () => {
      const page = await open(options);
      await page.getByRole('button', { name: 'Connect keyboard' }).click();
      await page.getByText(text).waitFor({ timeout: 20000 });
      assert.equal(await liveness(page, text), live);
      if (then) {
        await page.getByText(then.text).waitFor();
        assert.equal(await liveness(page, then.text), then.live);
      }
      await page.close();
    });
  }
});

test('a click on a row focuses the slot table, where Home, End, PageUp and PageDown move the selection', { skip: skipUnlessBuilt('build/web/index.html') }, async () => {
  const page = await open({ standin: 'C' });
  await page.getByRole('button', { name: 'Connect keyboard' }).click();
  await page.locator('#slots tbody tr').first().waitFor({ timeout: 20000 });
  await page.waitForFunction(() => !document.body.classList.contains('busy'));
  // A box of a few rows (as on a small screen), so that a page is less than the table.
  await page.locator('.table-box').evaluate((box) => { box.style.maxHeight = '10rem'; });
  const last = (await page.locator('#slots tbody tr').count()) - 1;
  assert.ok(last >= 8, `a table of ${last + 1} rows`);
  // A click as a screen reader makes it (no mouse button pressed, so the browser itself moves no focus).
  await page.locator('#slots tbody tr').nth(2).dispatchEvent('click');
  assert.ok(await page.locator('#slots').evaluate((table) => document.activeElement === table), 'the table has the focus');
  assert.equal(await selectedRow(page), 2);

  await page.keyboard.press('PageDown');
  const paged = await selectedRow(page);
  assert.ok(paged > 3 && paged < last, `PageDown moved from 2 to ${paged}`);
  await page.keyboard.press('PageUp');
  assert.equal(await selectedRow(page), 2);
  await page.keyboard.press('End');
  assert.equal(await selectedRow(page), last);
  await page.keyboard.press('PageDown');
  assert.equal(await selectedRow(page), last, 'PageDown stops at the last row');
  await page.keyboard.press('Home');
  assert.equal(await selectedRow(page), 0);
  await page.close();
});

// The reason Send or Delete waits is rewritten only when it changes: a screen reader announces every rewrite of
// a live region, so the same reason would be heard again at every arrow key.
describe('the reason Send waits is said once while the arrow keys move', { skip: skipUnlessBuilt('build/web/index.html') }, () => {
  // [case, whether a song is chosen, which rows the arrows move across, the reason]
  const cases = [
    ['no song chosen', false, 'tr', /^Choose a song to send; Delete needs a slot that holds a song\.$/],
    ['a song chosen, empty slots', true, 'tr.empty', /^Delete needs a slot that holds a song\.$/],
  ];
  for (const [name, withSong, rowsMoved, reason] of cases) {
    test(name, async () => {
      const page = await open({ standin: 'C' });
      if (withSong) {
        await page.getByLabel('Song file').setInputFiles({ name: 'song.mid', mimeType: 'audio/midi',
          buffer: readFileSync(join(songsFolder, 'scale_format0.mid')) });
        await page.getByText('song.mid (').waitFor();
      }
      await page.getByRole('button', { name: 'Connect keyboard' }).click();
      await page.locator('#slots tbody tr').first().waitFor({ timeout: 20000 });
      await page.waitForFunction(() => !document.body.classList.contains('busy'));
      // Three rows in a row of the kind wanted, the first selected.
      const start = await page.locator('#slots tbody tr').evaluateAll((trs, selector) => trs.findIndex((tr, i) =>
        trs.slice(i, i + 3).length === 3 && trs.slice(i, i + 3).every((row) => row.matches(selector))), rowsMoved);
      assert.ok(start >= 0, `no three rows matching ${rowsMoved}`);
      await page.locator('#slots tbody tr').nth(start).dispatchEvent('click');
      await page.getByText(reason).waitFor();
      await page.evaluate(() => {
        window.suRewrites = 0;
        new MutationObserver((records) => { window.suRewrites += records.length; })
          .observe(document.getElementById('slots-why'), { childList: true, characterData: true, subtree: true });
      });
      for (let i = 0; i < 2; i += 1) await page.keyboard.press('ArrowDown');
      assert.equal(await selectedRow(page), start + 2);
      assert.match(await page.locator('#slots-why').textContent(), reason);
      assert.equal(await page.evaluate(() => window.suRewrites), 0, 'the reason was written again');
      await page.close();
    });
  }
});
