// The page at its edges, in headless Chromium against the Web MIDI stand-in: names that look like markup,
// a file name beyond ASCII, a core still loading, the end of a failed operation, ports that leave Chromium's
// lists while the page works, the browser's MIDI question left open, pages that cannot reach a keyboard
// (not secure, opened as a file, refused by Firefox's site permission), and axe-core's serious findings.
import assert from 'node:assert/strict';
import { closeSync, openSync, readFileSync, truncateSync } from 'node:fs';
import { join } from 'node:path';
import { createRequire } from 'node:module';
import { describe, test } from 'node:test';


import { ROOT, demoPageSuite, launchBrowser, offOrigin, openPage } from './harness.mjs';

const MARKUP = '<img src=x onerror=alert(1)>';
const AXE = readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');

let server;
let browser;
let songs;

demoPageSuite('su-web-edges-', (held) => ({ server, browser, songs } = held),
  // songuploader.test is this computer under another name: a page from there is not a secure context.
  () => launchBrowser({ args: ['--host-resolver-rules=MAP songuploader.test 127.0.0.1'] }));

async function open(options = {}, url = server.url) {
  const page = await openPage(browser, url, options);
  page.alerts = [];
  page.leaving = 0;  // the browser's "Leave site?" questions, each answered: stay
  page.on('dialog', (dialog) => {
    if (dialog.type() === 'beforeunload') page.leaving += 1; else page.alerts.push(dialog.message());
    dialog.dismiss().catch(() => {});
  });
  await page.waitForSelector('body[data-ready="true"]');
  return page;
}

async function done(page) {
  assert.deepEqual(offOrigin(page), [], 'the page asked for something beyond its own files');
  assert.deepEqual(page.errors, [], 'the page reported errors');
  assert.deepEqual(page.alerts, [], 'the page opened a browser dialog');
  await page.close();
}

async function chooseSong(page, name = 'scale_format0.mid', buffer = readFileSync(join(songs, 'scale_format0.mid'))) {
  await page.getByLabel('Song file').setInputFiles({ name, mimeType: 'audio/midi', buffer });
  await page.getByText(`${name} (`).waitFor();
}

async function answer(page, button, timeout = 20000) {
  const dialog = page.locator('dialog[open]');
  await dialog.waitFor({ timeout });
  const text = await dialog.locator('p').textContent();
  await dialog.getByRole('button', { name: button, exact: true }).click();
  await page.locator('dialog[open]').waitFor({ state: 'detached', timeout: 5000 });
  return text;
}

const idle = (page) => page.waitForFunction(() => !document.body.classList.contains('busy'), null, { timeout: 30000 });

async function connect(page) {
  await page.getByRole('button', { name: 'Connect keyboard' }).click();
  await page.locator('#slots tbody tr').first().waitFor({ timeout: 20000 });
  await idle(page);
}

describe('what the page shows', () => {
  test('a port and a slot named like markup are shown as text', async () => {
    const page = await open({ config: `in=${MARKUP}\nout=${MARKUP}\nmodel=2\nslot=0,${MARKUP},5120\n` });
    await connect(page);
    assert.equal(await page.locator('#slots tbody tr').first().locator('td').nth(1).textContent(),
      MARKUP.slice(0, (await page.evaluate(() => suStandin.slots()))[0].name.length));
    assert.match(await page.locator('#keyboard-info').textContent(), new RegExp(`${MARKUP.replace(/[()]/g, '\\$&')} / `));
    assert.equal(await page.locator('img').count(), 0);
    await done(page);
  });

  test('a file name beyond ASCII is kept in the song file\'s name and the song is sent; slot names decoded', async () => {
    const name = 'Grüße – 歌.mid';
    const page = await open({ standin: 'C' });
    await chooseSong(page, name);
    const [download] = await Promise.all([page.waitForEvent('download'),
      page.getByRole('button', { name: 'Save as .sq2' }).click()]);
    assert.equal(download.suggestedFilename(), 'Grüße – 歌.sq2');
    assert.match(await page.getByRole('status').textContent(), /Grüße – 歌\.sq2\nSaved\.$/);
    await connect(page);
    // The demo keyboard's slot 31 holds a song without a name: the in-use marker, decoded by the browser.
    assert.equal(await page.locator('#slots tbody tr').nth(1).locator('td').nth(1).textContent(), 'データがあります');
    await page.locator('#slots tbody tr').nth(2).click();
    await page.getByRole('button', { name: 'Send' }).click();
    assert.equal(await answer(page, 'OK'), 'Complete!');
    await idle(page);
    assert.ok((await page.evaluate(() => suStandin.slots()))[2].size > 0);
    await done(page);
  });

  test('Save waits for the core: disabled with "Loading…" until it is ready', async () => {
    const context = await browser.newContext();
    const page = await context.newPage();
    let release;
    const held = new Promise((done) => { release = done; });
    await page.route('**/core.wasm*', async (route) => { await held; await route.continue(); });
    const errors = [];
    page.on('pageerror', (error) => errors.push(String(error)));
    await page.goto(`${server.url}?standin=no-webmidi`);
    await chooseSong(page);
    const save = page.getByRole('button', { name: 'Save as .sq2' });
    assert.ok(await save.isDisabled());
    assert.equal(await page.locator('#song-why').textContent(), 'Loading…');
    release();
    await page.waitForSelector('body[data-ready="true"]');
    assert.ok(await save.isEnabled());
    assert.equal(await page.locator('#song-why').textContent(), '');
    assert.deepEqual(errors, []);
    await context.close();
  });
});

describe('failures end cleanly', () => {
  // The operations clear their status and progress in the core when they end, however they end.
  test('after a failed send the status line and the progress bar are cleared', async () => {
    const page = await open({ standin: 'C' });
    await chooseSong(page, 'long_journey.mid', readFileSync(join(songs, 'long_journey.mid')));
    await connect(page);
    await page.locator('#slots tbody tr').nth(2).click();
    await page.getByRole('button', { name: 'Send' }).click();
    await page.waitForFunction(() => document.querySelector('#progress').value > 0);
    await page.evaluate(() => suStandin.silence());
    await answer(page, 'OK');
    await idle(page);
    assert.equal(await page.getByRole('status').textContent(), '');
    assert.equal(await page.locator('#progress').evaluate((bar) => bar.value), 0);
    await done(page);
  });

  test('a failed listing offers to read the slots again', async () => {
    const page = await open({ config: 'in=Virtual MIDI In\nout=Virtual MIDI Out\nmodel=2\nslot=0,Waltz,700\nsilent=01:1\n' });
    await page.getByRole('button', { name: 'Connect keyboard' }).click();
    assert.equal(await answer(page, 'OK'), 'The timeout error occured.');
    await idle(page);
    const again = page.getByRole('button', { name: 'Read the slots again' });
    assert.match(await page.locator('#slots-why').textContent(), /could not be read/);
    assert.ok(await again.evaluate((button) => document.activeElement === button), 'the focus is on it');
    await again.click();
    await page.locator('#slots tbody tr').first().waitFor();
    await idle(page);
    assert.ok(await again.isHidden());
    assert.equal(await page.locator('#slots-why').textContent(), 'Choose a slot.');
    await done(page);
  });

  test('a file over 64 MB is refused before it is read', async () => {
    const page = await open({ standin: 'no-webmidi' });
    await chooseSong(page);
    const huge = join(songs, 'huge.mid');
    closeSync(openSync(huge, 'w'));
    truncateSync(huge, 64 * 1024 * 1024 + 1);
    await page.getByLabel('Song file').setInputFiles(huge);
    assert.match(await answer(page, 'OK'), /larger than 64 MB/);
    assert.match(await page.locator('#song-info').textContent(), /^scale_format0\.mid \(/, 'the song before stays');
    await done(page);
  });
});

describe('ports by identity', () => {
  test('other ports unplugged while the page sends leave the lists; the chosen pair stays chosen; leaving asks', async () => {
    const config = 'in=Other In\nin=Keyboard In\nout=Other Out\nout=Keyboard Out\nmodel=2\n';
    const page = await open({ config });
    await chooseSong(page, 'long_journey.mid', readFileSync(join(songs, 'long_journey.mid')));
    await page.getByRole('button', { name: 'Connect keyboard' }).click();
    const input = page.getByRole('combobox', { name: 'MIDI input' });
    await input.waitFor();
    assert.ok(await input.evaluate((select) => document.activeElement === select), 'the focus is on MIDI input');
    await input.selectOption({ label: 'Keyboard In' });
    await page.getByRole('combobox', { name: 'MIDI output' }).selectOption({ label: 'Keyboard Out' });
    await connect(page);
    await page.locator('#slots tbody tr').nth(2).click();
    await page.getByRole('button', { name: 'Send' }).click();
    await page.waitForFunction(() => document.querySelector('#progress').value > 0);
    await page.evaluate(() => { suStandin.unplug('Other In'); suStandin.unplug('Other Out'); });
    // Reloading in the middle of the send asks first (and staying lets the send go on).
    await page.evaluate(() => setTimeout(() => location.reload(), 0));
    assert.equal(await answer(page, 'OK', 60000), 'Complete!');
    assert.equal(page.leaving, 1);
    await idle(page);
    assert.deepEqual(await input.locator('option').allTextContents(), ['Keyboard In']);
    // Connected again: the pair chosen, now first in the lists.
    await connect(page);
    assert.match(await page.locator('#keyboard-info').textContent(), /Keyboard In \/ Keyboard Out$/);
    await done(page);
  });
});

describe('the browser around the page', () => {
  test('while the browser asks for MIDI access, only the keyboard step waits', async () => {
    const page = await open({ standin: 'C', permission: 'prompt' });
    await page.getByRole('button', { name: 'Connect keyboard' }).click();
    await page.getByText('The browser is asking whether this page may use MIDI devices').waitFor();
    assert.ok(await page.getByRole('button', { name: 'Connect keyboard' }).isDisabled());
    assert.ok(await page.getByLabel('Song file').isEnabled());
    await chooseSong(page);
    const [download] = await Promise.all([page.waitForEvent('download'),
      page.getByRole('button', { name: 'Save as .sq2' }).click()]);
    assert.equal(download.suggestedFilename(), 'scale_format0.sq2');
    await page.evaluate(() => suStandin.setPermission('granted'));
    await page.locator('#slots tbody tr').first().waitFor({ timeout: 20000 });
    assert.equal(await page.locator('#keyboard-why').textContent(), '');
    await done(page);
  });

  const cannot = [
    { name: 'not a secure context', url: () => server.url.replace('127.0.0.1', 'songuploader.test'), options: {},
      text: /secure connection.*HTTPS.*own address \(http:\/\/127\.0\.0\.1/ },
    { name: 'Firefox without its site permission', url: () => server.url, options: { permission: 'site-permission' },
      text: /Firefox asks to add a site permission for this page.*"Connect keyboard" again/ },
  ];
  for (const { name, url, options, text } of cannot) {
    test(`${name}: the note says what to do`, async () => {
      const page = await open({ standin: 'C', ...options }, url());
      if (await page.getByRole('button', { name: 'Connect keyboard' }).isEnabled()) {
        await page.getByRole('button', { name: 'Connect keyboard' }).click();
      }
      const note = page.getByRole('alert');
      await note.waitFor();
      assert.match(await note.textContent(), text);
      await done(page);
    });
  }

  test('opened as a file, the page says to serve its folder', async () => {
    const page = await browser.newPage();
    // The browser refuses a page opened as a file its script: once it has, nothing of the page's can change
    // the note any more.
    const refused = page.waitForEvent('requestfailed',
      { predicate: (request) => new URL(request.url()).pathname.endsWith('/app.js'), timeout: 20000 });
    await page.goto(`file://${join(ROOT, 'build/web/index.html')}`);
    await refused;
    assert.match(await page.locator('#keyboard-why').textContent(), /opened as a file.*serve the folder/s);
    await page.close();
  });
});

describe('axe-core finds no serious or critical violation', () => {
  const serious = async (page) => {
    await page.evaluate(AXE);
    const found = await page.evaluate(async () => (await axe.run(document)).violations
      .filter((v) => v.impact === 'serious' || v.impact === 'critical')
      .map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`));
    return found;
  };
  for (const viewport of [{ width: 1280, height: 900 }, { width: 390, height: 844 }]) {
    test(`with the slots listed and with a question open, ${viewport.width} px wide`, async () => {
      for (const scheme of ['light', 'dark']) {
        const page = await open({ standin: 'C', viewport });
        await page.emulateMedia({ colorScheme: scheme });
        await chooseSong(page);
        await connect(page);
        await page.locator('#slots tbody tr').nth(0).click();
        assert.deepEqual(await serious(page), [], `${scheme}: the slots listed`);
        assert.equal(await page.locator('#slots').getAttribute('aria-activedescendant'), 'slot-0');
        await page.getByRole('button', { name: 'Send' }).click();
        await page.locator('dialog[open]').waitFor();
        assert.ok(await page.getByRole('button', { name: 'No' }).evaluate((b) => document.activeElement === b),
          'a question starts on No');
        assert.deepEqual(await serious(page), [], `${scheme}: a question open`);
        await answer(page, 'No');
        await idle(page);
        assert.ok(await page.getByRole('button', { name: 'Send' }).evaluate((b) => document.activeElement === b),
          'the focus is back on Send');
        await done(page);
      }
    });
  }
});
