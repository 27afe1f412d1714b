// The page in headless Chromium against the Web MIDI stand-in: what a user does with each keyboard family,
// every way the work can end badly, the song file compared with the native converter's, browsers that cannot
// reach a keyboard, and screenshots of the main states kept for review. Every test also checks that the page
// asked for nothing beyond its own files.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { before, describe, test } from 'node:test';


import { ROOT, demoPageSuite, offOrigin, openPage, skipUnlessBuilt } from './harness.mjs';

// The product's texts (resources/strings.h) the scenarios expect to see.
const TEXT = {
  noResponse: 'There is no response from a keyboard.\nDo you want to set up the MIDI device?',
  timeout: 'The timeout error occured.',
  replace: 'The data you selected is already exist.\nDo you want to replace it?',
  complete: 'Complete!',
  broken: 'The file is wrong or broken.',
  deleteQuestion: 'Do you want to delete it?',
  deleted: 'Complete to delete.',
};

let server;
let browser;
let songs;  // example songs made by scripts/make_examples.py
const shots = join(ROOT, 'build/web-screenshots');

demoPageSuite('su-web-songs-', (held) => ({ server, browser, songs } = held));
before(() => mkdirSync(shots, { recursive: true }));

// ---- What a user does ----------------------------------------------------------------------------------

async function open(options = {}) {
  const page = await openPage(browser, server.url, options);
  await page.waitForSelector('body[data-ready="true"]');
  return page;
}

async function done(page) {
  assert.deepEqual(offOrigin(page), [], 'the page asked for something beyond its own files');
  assert.deepEqual(page.errors, [], 'the page reported errors');
  await page.close();
}

async function chooseSong(page, name = 'long_journey.mid', buffer = readFileSync(join(songs, name))) {
  await page.getByLabel('Song file').setInputFiles({ name, mimeType: 'audio/midi', buffer });
  await page.getByText(`${name} (`).waitFor();
}

// The modal on screen: its text, answered with `button`.
async function answer(page, button, timeout = 15000) {
  const dialog = page.locator('dialog[open]');
  await dialog.waitFor({ timeout });
  const role = await dialog.getAttribute('role');
  assert.ok(role === 'dialog' || role === 'alertdialog', `a modal dialog, not ${role}`);
  const text = await dialog.locator('p').textContent();
  await dialog.getByRole('button', { name: button, exact: true }).click();
  await page.locator('dialog[open]').waitFor({ state: 'detached', timeout: 5000 }).catch(() => {});
  return text;
}

async function connect(page) {
  await page.getByRole('button', { name: 'Connect keyboard' }).click();
  await page.locator('#slots tbody tr').first().waitFor({ timeout: 20000 });
  await page.waitForFunction(() => !document.body.classList.contains('busy'));
}

async function rows(page) {
  return page.locator('#slots tbody tr').evaluateAll((trs) => trs.map((tr) => [...tr.cells].map((td) => td.textContent)));
}

async function selectRow(page, index) {
  await page.locator('#slots tbody tr').nth(index).click();
  assert.equal(await page.locator('#slots tbody tr').nth(index).getAttribute('aria-selected'), 'true');
}

async function idle(page) {
  await page.waitForFunction(() => !document.body.classList.contains('busy'), null, { timeout: 30000 });
}

// ---- Each family -----------------------------------------------------------------------------------------

describe('each family is identified, listed, sent a song (with a replacement) and has one deleted', () => {
  const families = [
    { demo: 'C', model: 'family C', used: 0, empty: 2, firstLabel: '30', room: /^Empty Size: 256 KBytes$/,
      song: 107, songKB: '1KB', total: 'Total Size: 18 KBytes', memory: '0.066319' },
    { demo: 'A', model: 'family A', used: 0, empty: 1, firstLabel: '0', room: /^Empty Size: 128 KBytes$/,
      song: 108, songKB: '1KB', total: 'Total Size: 18 KBytes', memory: '0.124389' },
    { demo: 'B', model: 'family B', used: 1, empty: 0, firstLabel: '61', room: /^Maximum Song Size: 320 KBytes$/,
      song: 108, songKB: '1KB', total: 'Total Size: 18 KBytes', memory: null },
  ];
  for (const family of families) {
    test(`family ${family.demo}`, async () => {
      const page = await open({ standin: family.demo });
      try {
        await chooseSong(page, 'scale_format0.mid');
        await connect(page);
        assert.match(await page.locator('#keyboard-info').textContent(), new RegExp(family.model));
        const table = page.getByRole('grid');
        assert.deepEqual(await table.getByRole('columnheader').allTextContents(), ['No', 'Data', 'Size']);
        const listed = await rows(page);
        assert.equal(listed[0][0], family.firstLabel);
        // Families A and B keep twelve characters of a name.
        assert.equal(listed[family.used][1].trim(), family.demo === 'C' ? 'Morning Waltz' : 'Morning Walt');
        assert.equal(listed[family.used][2], '5KB');
        assert.match(await page.locator('#room').textContent(), family.room);
        assert.equal(await page.locator('#total').textContent(), family.total);
        // The bar of the memory in use beside the totals: the songs stored against the songs and the free memory
        // (family B shows the largest song instead, and no bar).
        const memory = page.locator('#memory');
        if (family.memory === null) assert.ok(await memory.isHidden());
        else assert.equal(Number(await memory.evaluate((m) => m.value)).toFixed(6), family.memory);

        // Into the used slot: the question, No keeps the old song; Yes replaces it.
        await selectRow(page, family.used);
        await page.getByRole('button', { name: 'Send' }).click();
        assert.equal(await answer(page, 'No'), TEXT.replace);
        await idle(page);
        assert.match((await page.evaluate(() => suStandin.slots()))[family.used].name, /^Morning Walt/);
        await page.getByRole('button', { name: 'Send' }).click();
        assert.equal(await answer(page, 'Yes'), TEXT.replace);
        assert.equal(await answer(page, 'OK', 30000), TEXT.complete);
        await idle(page);
        const slots = await page.evaluate(() => suStandin.slots());
        // The keyboard holds the song as converted for its model, and the table, read back, shows its size.
        assert.equal(slots[family.used].size, family.song);
        assert.equal((await rows(page))[family.used][2], family.songKB);
        // The progress bar last counted the reading back of the ten slots.
        assert.equal(await page.getByRole('progressbar').getAttribute('max'), '10');

        // Into an empty slot by keyboard: arrows move the selection, Enter sends, no question.
        await page.locator('#slots').focus();
        await page.keyboard.press('Home');
        for (let i = 0; i < family.empty; ++i) await page.keyboard.press('ArrowDown');
        assert.equal(await page.locator('#slots tbody tr').nth(family.empty).getAttribute('aria-selected'), 'true');
        await page.keyboard.press('Enter');
        assert.equal(await answer(page, 'OK', 30000), TEXT.complete);
        await idle(page);
        assert.ok((await page.evaluate(() => suStandin.slots()))[family.empty].size > 0);

        // Delete, with its question.
        await selectRow(page, family.empty);
        await page.getByRole('button', { name: 'Delete' }).click();
        assert.equal(await answer(page, 'Yes'), TEXT.deleteQuestion);
        assert.equal(await answer(page, 'OK'), TEXT.deleted);
        await idle(page);
        assert.equal((await page.evaluate(() => suStandin.slots()))[family.empty].size, 0);
        assert.equal((await rows(page))[family.empty][2], '0KB');
        assert.deepEqual((await page.evaluate(() => suStandin.state())).faults, []);
        await done(page);
      } finally {
        if (!page.isClosed()) await page.close();
      }
    });
  }
});

// ---- The ports ---------------------------------------------------------------------------------------------

describe('the ports', () => {
  test('two pairs: the user picks from the lists, and the choice is remembered for the next visit', async () => {
    const config = 'in=Synth In\nin=Keyboard In\nout=Synth Out\nout=Keyboard Out\nmodel=2\n';
    const page = await open({ config });
    // What the page hands to each output, by the output's name (every output leads to the one keyboard).
    await page.evaluate(async () => {
      const access = await navigator.requestMIDIAccess({ sysex: true });
      const output = Object.getPrototypeOf([...access.outputs.values()][0]);
      const send = output.send;
      window.sentTo = {};
      output.send = function (data, timestamp) {
        (window.sentTo[this.name] ??= []).push(Array.from(data));
        return send.call(this, data, timestamp);
      };
    });
    await page.getByRole('button', { name: 'Connect keyboard' }).click();
    await page.getByRole('combobox', { name: 'MIDI input' }).waitFor();
    assert.deepEqual(await page.evaluate(() => suStandin.received()), [], 'nothing is asked before the user chooses');
    await page.getByRole('combobox', { name: 'MIDI input' }).selectOption({ label: 'Keyboard In' });
    await page.getByRole('combobox', { name: 'MIDI output' }).selectOption({ label: 'Keyboard Out' });
    await connect(page);
    assert.match(await page.locator('#keyboard-info').textContent(), /Keyboard In \/ Keyboard Out$/);
    const sentTo = await page.evaluate(() => window.sentTo);
    assert.deepEqual(Object.keys(sentTo), ['Keyboard Out'], 'nothing is sent to the port not chosen');
    assert.equal(sentTo['Keyboard Out'].length, (await page.evaluate(() => suStandin.received())).length);
    // The next visit (same browser storage) connects to the remembered pair without asking.
    await page.reload();
    await page.evaluate(() => window.suStandin.ready);
    await page.waitForSelector('body[data-ready="true"]');
    await page.evaluate((text) => suStandin.configure(text), config);
    await connect(page);
    assert.ok(await page.locator('#ports').isHidden());
    assert.match(await page.locator('#keyboard-info').textContent(), /Keyboard In \/ Keyboard Out$/);
    await done(page);
  });
});

// ---- Model type 22 ---------------------------------------------------------------------------------------

test('model type 22 is looked for only with "Also look for model type 22" ticked', async () => {
  const page = await open({ config: 'in=Virtual MIDI In\nout=Virtual MIDI Out\nfamily=a\nmodel_address=0x1102\n' });
  await page.getByRole('button', { name: 'Connect keyboard' }).click();
  assert.equal(await answer(page, 'No', 30000), TEXT.noResponse);
  await idle(page);
  // The switch is a debugging one, under "More".
  await page.locator('summary', { hasText: 'More' }).click();
  await page.getByLabel('Also look for model type 22').check();
  await connect(page);
  assert.match(await page.locator('#keyboard-info').textContent(), /^Model type 22, family A: /);
  await done(page);
});

// ---- Failures ------------------------------------------------------------------------------------------

describe('every failure is a message to acknowledge, and the page is usable afterwards', () => {
  test('no keyboard answers: the question whether to set up the MIDI device, Yes shows the ports', async () => {
    const page = await open({ standin: 'C' });
    await page.evaluate(() => suStandin.silence());
    await page.getByRole('button', { name: 'Connect keyboard' }).click();
    assert.equal(await answer(page, 'Yes', 30000), TEXT.noResponse);
    await page.getByRole('combobox', { name: 'MIDI input' }).waitFor();
    assert.deepEqual(await page.getByRole('combobox', { name: 'MIDI output' }).locator('option').allTextContents(),
      ['Virtual MIDI Out']);
    // The keyboard answers again: the ports chosen from the lists connect, and are remembered.
    await page.evaluate(() => suStandin.silence(false));
    await connect(page);
    assert.deepEqual(await page.evaluate(() => [localStorage.getItem('songuploader.midiInput'),
      localStorage.getItem('songuploader.midiOutput')]), ['Virtual MIDI In', 'Virtual MIDI Out']);
    await done(page);
  });

  test('no MIDI ports at all', async () => {
    const page = await open({ standin: 'none' });
    await page.getByRole('button', { name: 'Connect keyboard' }).click();
    await page.getByText('No MIDI input and output to reach a keyboard').waitFor();
    assert.ok(await page.getByRole('button', { name: 'Connect keyboard' }).isEnabled(), 'it can be tried again');
    await done(page);
  });

  test('the keyboard falls silent in the middle of a send', async () => {
    const page = await open({ standin: 'C' });
    await chooseSong(page);
    await connect(page);
    await page.evaluate(() => suStandin.silence());
    await selectRow(page, 2);
    await page.getByRole('button', { name: 'Send' }).click();
    assert.equal(await answer(page, 'OK', 30000), TEXT.timeout);
    await idle(page);
    // Still connected and usable once the keyboard answers again.
    await page.evaluate(() => suStandin.silence(false));
    await page.getByRole('button', { name: 'Send' }).click();
    assert.equal(await answer(page, 'OK', 30000), TEXT.complete);
    await done(page);
  });

  test('the keyboard is unplugged in the middle of a send', async () => {
    const page = await open({ standin: 'C' });
    await chooseSong(page);
    await connect(page);
    await selectRow(page, 2);
    await page.getByRole('button', { name: 'Send' }).click();
    await page.waitForFunction(() => document.querySelector('#progress').value > 0);
    const unplugged = Date.now();
    await page.evaluate(() => suStandin.unplug());
    assert.equal(await answer(page, 'OK', 30000), TEXT.timeout);
    const took = Date.now() - unplugged;
    await idle(page);
    assert.equal(await page.locator('#keyboard-info').textContent(), 'No keyboard connected.');
    assert.ok(await page.getByRole('button', { name: 'Send' }).isDisabled());
    // Plugged in again, it connects anew; unplugged while the page is idle, the page says so at once.
    await page.evaluate(() => suStandin.plug());
    await connect(page);
    // At once: well before a wait for the keyboard's answer (3 s) could have run out.
    assert.ok(took < 2000, `the message came ${took} ms after the keyboard was unplugged`);
    await page.evaluate(() => suStandin.unplug());
    await page.getByText('No keyboard connected.').waitFor({ timeout: 2000 });
    assert.equal(await page.locator('#slots tbody tr').count(), 0);
    await done(page);
  });

  test('the keyboard\'s final check cancelled (family C): Cancel is the only live button, "Cancel?" asked', async () => {
    const page = await open({ config: 'in=Virtual MIDI In\nout=Virtual MIDI Out\nmodel=2\nlate=05:20000\n' });
    await chooseSong(page, 'scale_format0.mid');
    await connect(page);
    await selectRow(page, 3);
    await page.getByRole('button', { name: 'Send' }).click();
    const cancel = page.getByRole('button', { name: 'Cancel' });
    await cancel.waitFor({ timeout: 20000 });
    const live = await page.locator('button:not([disabled]):visible').allTextContents();
    assert.deepEqual(live, ['Cancel']);
    await cancel.click();
    assert.equal(await answer(page, 'Yes'), 'Cancel?');
    // The check is no longer awaited, but the slots read after it show the song stored: that is the result.
    assert.equal(await answer(page, 'OK', 10000), 'Complete!');
    await idle(page);
    assert.match((await page.locator('#slots tbody tr').nth(3).textContent()), /\dKB$/);
    assert.ok(await page.getByRole('button', { name: 'Cancel' }).isHidden());
    assert.ok(await page.getByRole('button', { name: 'Send' }).isEnabled(), 'the page is usable again');
    await done(page);
  });

  test('a broken .mid', async () => {
    const page = await open({ standin: 'C' });
    await chooseSong(page, 'broken.mid', Buffer.from('MThd but nothing that follows'));
    await page.getByRole('button', { name: 'Save as .sq2' }).click();
    assert.equal(await answer(page, 'OK'), TEXT.broken);
    await connect(page);
    await selectRow(page, 2);
    await page.getByRole('button', { name: 'Send' }).click();
    assert.equal(await answer(page, 'OK'), TEXT.broken);
    await idle(page);
    assert.equal((await page.evaluate(() => suStandin.slots()))[2].size, 0);
    await done(page);
  });
});

// ---- The song file -------------------------------------------------------------------------------------

describe('the song file', () => {
  const native = join(ROOT, 'build/native/bin/songuploader');
  for (const name of ['long_journey.mid', 'band_format1.mid', 'riff_wrapped.mid']) {
    test(`${name} saved as .sq2 is byte for byte the native converter's`, { skip: skipUnlessBuilt('build/native/bin/songuploader') }, async () => {
      const expectedPath = join(songs, name.replace('.mid', '.native.sq2'));
      execFileSync(native, ['convert', join(songs, name), '-o', expectedPath], { stdio: 'ignore' });
      const page = await open({ standin: 'no-webmidi' });
      await chooseSong(page, name);
      const [download] = await Promise.all([page.waitForEvent('download'),
        page.getByRole('button', { name: 'Save as .sq2' }).click()]);
      assert.equal(download.suggestedFilename(), name.replace('.mid', '.sq2'));
      const saved = join(songs, `${name}.page.sq2`);
      await download.saveAs(saved);
      assert.ok(readFileSync(saved).equals(readFileSync(expectedPath)), 'the page saved other bytes than the native converter');
      assert.match(await page.getByRole('status').textContent(), /\.sq2\nSaved\.$/);
      await done(page);
    });
  }
});

// ---- Browsers that cannot reach a keyboard ---------------------------------------------------------------

describe('a browser that cannot reach a keyboard says what to use instead', () => {
  test('no Web MIDI', async () => {
    const page = await open({ standin: 'no-webmidi' });
    const note = page.getByRole('alert');
    assert.match(await note.textContent(), /does not offer Web MIDI.*Chromium-based browser.*Firefox.*Windows program.*command line/);
    assert.ok(await page.getByRole('button', { name: 'Connect keyboard' }).isDisabled());
    await chooseSong(page);
    assert.ok(await page.getByRole('button', { name: 'Save as .sq2' }).isEnabled());
    await done(page);
  });

  test('the permission refused', async () => {
    const page = await open({ standin: 'denied' });
    await page.getByRole('button', { name: 'Connect keyboard' }).click();
    const note = page.getByRole('alert');
    await note.waitFor();
    assert.match(await note.textContent(), /not allowed to use MIDI devices.*Windows program.*command line/);
    assert.ok(await page.getByRole('button', { name: 'Connect keyboard' }).isEnabled(), 'it can be tried again');
    await done(page);
  });
});

// ---- Screenshots -----------------------------------------------------------------------------------------

// Taken for a person to look at (build/web-screenshots), not compared with anything: what is checked here is
// only that nothing is wider than the screen.
describe('the main states fit the screen (screenshots kept in build/web-screenshots)', () => {
  const widths = [{ name: 'desktop', viewport: { width: 1280, height: 900 } },
    { name: 'phone', viewport: { width: 390, height: 844 } }];
  for (const { name, viewport } of widths) {
    test(`at ${name} width`, async () => {
      const page = await open({ standin: 'C', viewport });
      const shoot = async (state) => {
        writeFileSync(join(shots, `${name}-${state}.png`), await page.screenshot({ fullPage: true }));
      };
      await shoot('start');
      await chooseSong(page);
      await connect(page);
      await selectRow(page, 1);
      await shoot('slots');
      await page.getByRole('button', { name: 'Send' }).click();
      await page.locator('dialog[open]').waitFor();
      await shoot('question');
      await answer(page, 'No');
      // Nothing wider than the screen.
      assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth + 1));
      await done(page);
    });
  }
});
