// The page at a phone's width, in headless Chromium against the Web MIDI stand-in: with several songs planned,
// a long song name without a space breaks inside its slot's cell, so the slot table keeps to the screen and its
// Size column stays in view.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { test } from 'node:test';

import { demoPageSuite, openPage } from './harness.mjs';

let server;
let browser;
let songs;

demoPageSuite('su-web-narrow-', (held) => ({ server, browser, songs } = held));

const LONG = `${'Wiegenlied_in_Es_Dur_fuer_Klavier_'.repeat(3)}final.mid`;

// [screen width in CSS pixels, songs chosen]
const SCREENS = [
  [320, [LONG, 'short.mid']],
  [390, [LONG, 'short.mid']],
  [390, [`${'ア'.repeat(60)}.mid`, LONG]],
];

for (const [width, names] of SCREENS) {
  test(`at ${width} px the slot table keeps its Size column in view with ${names.map((n) => n.length).join(' and ')}-character names`, async () => {
    const page = await openPage(browser, server.url, { standin: 'C', viewport: { width, height: 800 } });
    try {
      await page.waitForSelector('body[data-ready="true"]');
      const buffer = readFileSync(join(songs, 'scale_format0.mid'));
      await page.getByLabel('Song file').setInputFiles(names.map((name) => ({ name, mimeType: 'audio/midi', buffer })));
      await page.getByRole('button', { name: 'Connect keyboard' }).click();
      // Each song is marked in the slot it would go to.
      await page.locator('#slots td .plan').nth(names.length - 1).waitFor({ timeout: 20000 });
      const box = await page.evaluate(() => {
        const tableBox = document.querySelector('.table-box');
        const size = document.querySelector('#slots thead th:last-child').getBoundingClientRect();
        return { scroll: tableBox.scrollWidth, client: tableBox.clientWidth, right: tableBox.getBoundingClientRect().right,
          sizeRight: size.right, page: document.documentElement.scrollWidth };
      });
      assert.ok(box.scroll <= box.client, `the table is ${box.scroll} px wide in a box of ${box.client} px`);
      assert.ok(box.sizeRight <= box.right, `the Size column ends at ${box.sizeRight} px, the box at ${box.right} px`);
      assert.ok(box.page <= width, `the page is ${box.page} px wide on a ${width} px screen`);
      assert.deepEqual(page.errors, []);
    } finally {
      await page.close();
    }
  });
}
