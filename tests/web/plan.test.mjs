// Several songs chosen at once in headless Chromium against the Web MIDI stand-in: each listed with what it
// takes, planned into the slots once the keyboard is read, and sent in one go; a song that does not fit is
// marked and never sent.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync } from 'node:fs';
import { join } from 'node:path';
import { describe, test } from 'node:test';


import { ROOT, demoPageSuite, offOrigin, openPage, skipUnlessBuilt } from './harness.mjs';

let server;
let browser;
let songs;

demoPageSuite('su-web-plan-', (held) => ({ server, browser, songs } = held));

const THREE = ['scale_format0.mid', 'waltz_smpte.mid', 'band_format1.mid'];

async function open(options) {
  const page = await openPage(browser, server.url, options);
  await page.waitForSelector('body[data-ready="true"]');
  return page;
}

async function chooseSongs(page, names) {
  const files = names.map((name) => ({ name, mimeType: 'audio/midi', buffer: readFileSync(join(songs, name)) }));
  await page.getByLabel('Song file').setInputFiles(files);
  await page.locator('#song-info li').nth(names.length - 1).waitFor();
}

const songLines = (page) => page.locator('#song-info li .song-facts').allTextContents();
const rows = (page) => page.locator('#slots tbody tr').evaluateAll((trs) => trs.map((tr) => [...tr.cells].map((td) => td.textContent)));
const idle = (page) => page.waitForFunction(() => !document.body.classList.contains('busy'), null, { timeout: 60000 });

async function connect(page) {
  await page.getByRole('button', { name: 'Connect keyboard' }).click();
  await page.locator('#slots tbody tr').first().waitFor({ timeout: 20000 });
  await idle(page);
}

// Sends all (or the one song, with `button` "Send"), answering the messages that come, and returns their texts.
async function sendAll(page, answers, button = 'Send all') {
  await page.getByRole('button', { name: button, exact: true }).click();
  const told = [];
  for (const answer of answers) {
    const dialog = page.locator('dialog[open]');
    await dialog.waitFor({ timeout: 60000 });
    told.push(await dialog.locator('p').textContent());
    await dialog.getByRole('button', { name: answer, exact: true }).click();
  }
  await idle(page);
  return told;
}

async function done(page) {
  assert.deepEqual(offOrigin(page), [], 'the page asked for something beyond its own files');
  assert.deepEqual(page.errors, [], 'the page reported errors');
  await page.close();
}

describe('several songs in one go', { skip: skipUnlessBuilt('build/web/index.html') }, () => {
  test('three songs: listed with their length and size, planned into the empty slots, sent, read back', async () => {
    const page = await open({ standin: 'C' });
    const names = ['scale_format0.mid', 'waltz_smpte.mid', 'band_format1.mid'];
    await chooseSongs(page, names);
    // Before any keyboard: length and size on the keyboard, nothing about fitting yet.
    for (const line of await songLines(page)) assert.match(line, /^\d+:\d\d · \d+ tracks? · \d+ notes · [\d,]+ bytes on the keyboard$/);

    await connect(page);
    const empty = (await page.evaluate(() => suStandin.slots())).flatMap((slot, index) => (slot.size === 0 ? [index] : [])).slice(0, 3);
    const listed = await rows(page);
    const labels = empty.map((index) => listed[index][0]);
    for (const [i, line] of (await songLines(page)).entries()) assert.match(line, new RegExp(` · fits, into slot ${labels[i]}$`));
    empty.forEach((index, i) => assert.match(listed[index][1], new RegExp(`to send: ${names[i]}$`)));
    const memory = await page.locator('#memory').evaluate((m) => m.value);
    assert.ok(await page.locator('#memory-planned').evaluate((m, stored) => !m.closest('[hidden]') && m.value > stored, memory),
      'the planned songs beside the stored ones');

    // The line naming the song, as it changes during the send, and the table's marks of the songs the keyboard
    // has taken while the others still go.
    await page.evaluate(() => {
      window.songLine = [];
      window.sentMarks = new Set();
      new MutationObserver(() => window.songLine.push(document.querySelector('#song-line').textContent))
        .observe(document.querySelector('#song-line'), { childList: true, characterData: true, subtree: true });
      // From the rows as they were added (a later rendering may already have replaced them).
      new MutationObserver((records) => records.forEach((record) => record.addedNodes.forEach((row) => {
        row.querySelectorAll?.('.plan').forEach((mark) => {
          if (mark.textContent.startsWith('sent: ')) window.sentMarks.add(mark.textContent);
        });
      }))).observe(document.querySelector('#slots tbody'), { childList: true });
    });
    assert.deepEqual(await sendAll(page, ['OK']), ['Complete!']);
    assert.deepEqual((await page.evaluate(() => window.songLine)).filter(Boolean), names.map((name, i) => `Song ${i + 1} of 3: ${name}`));
    assert.deepEqual(await page.evaluate(() => [...window.sentMarks].sort()), names.map((name) => `sent: ${name}`).sort(),
      'each song the keyboard took is marked in the table while the plan goes on');
    const stored = await page.evaluate(() => suStandin.slots());
    for (const index of empty) assert.ok(stored[index].size > 0, `slot ${index} holds a song`);
    const after = await rows(page);
    for (const index of empty) assert.match(after[index][2], /^\d+KB$/);
    for (const [i, line] of (await songLines(page)).entries()) assert.match(line, new RegExp(`stored in slot ${labels[i]}$`));
    assert.ok(await page.getByRole('button', { name: 'Send all' }).isDisabled(), 'nothing is left to send');
    await done(page);
  });

  test('a song that does not fit is marked and not sent; the others are', async () => {
    const page = await open({ config: 'in=Virtual MIDI In\nout=Virtual MIDI Out\nmodel=2\nfree=4096\n' });
    await chooseSongs(page, ['long_journey.mid', 'scale_format0.mid']);
    await connect(page);
    const lines = await songLines(page);
    assert.match(lines[0], /does not fit: not sent$/);
    assert.match(lines[1], /fits, into slot 31$/);
    assert.equal(await page.locator('#song-info li.nofit').count(), 1);
    const listed = await rows(page);
    assert.match(listed[0][1], /does not fit: long_journey\.mid$/);
    assert.equal(await page.locator('#slots tbody tr.nofit').count(), 1);

    assert.deepEqual(await sendAll(page, ['OK']), ['Complete!']);
    const slots = await page.evaluate(() => suStandin.slots());
    assert.equal(slots[0].size, 0, 'the song that does not fit was not sent');
    assert.ok(slots[1].size > 0);
    assert.equal(slots.filter((slot) => slot.size > 0).length, 1);
    await done(page);
  });

  test('a keyboard that hangs after the first song: the first rests on its word, said so, and no song is sent twice', async () => {
    const page = await open({ config: 'in=Virtual MIDI In\nout=Virtual MIDI Out\nmodel=2\nsilent_after_songs=1\n' });
    await chooseSongs(page, ['scale_format0.mid', 'waltz_smpte.mid']);
    await connect(page);
    // The second song and the reading after it go unanswered; the page reads the slots again, which fails too.
    const timeout = 'The timeout error occured.';
    assert.deepEqual(await sendAll(page, ['OK', 'OK']), [timeout, timeout]);
    assert.ok(await page.getByRole('button', { name: 'Read the slots again' }).isVisible());
    assert.ok(await page.getByRole('button', { name: 'Send all' }).isDisabled(), 'no plan without the slots read');
    // The keyboard acknowledged the first song: stored on its word, and said so; the second is not stored.
    const [first, second] = await songLines(page);
    assert.match(first, /stored in slot 30, as the keyboard acknowledged; not confirmed by a reading$/);
    assert.doesNotMatch(second, /stored|fits, into/);

    // Switched off and on: connected again, the reading confirms the first song, and only the second is sent.
    await page.evaluate(() => suStandin.silence(false));
    await connect(page);
    assert.match((await songLines(page))[0], /stored in slot 30$/);
    assert.deepEqual(await sendAll(page, ['OK']), ['Complete!']);
    const slots = await page.evaluate(() => suStandin.slots());
    assert.equal(slots.filter((slot) => slot.size > 0).length, 2, 'each song once');
    assert.notEqual(slots[0].size, slots[1].size);
    await done(page);
  });

  test('a stored mark lasts only while the slots show the song: Delete after Send all takes it away', async () => {
    const page = await open({ config: 'in=Virtual MIDI In\nout=Virtual MIDI Out\nmodel=2\n' });
    await chooseSongs(page, ['scale_format0.mid', 'waltz_smpte.mid']);
    await connect(page);
    assert.deepEqual(await sendAll(page, ['OK']), ['Complete!']);
    assert.match((await songLines(page))[0], /stored in slot 30$/);
    assert.ok(await page.getByRole('button', { name: 'Send all' }).isDisabled(), 'nothing is left to send');

    await page.locator('#slots tbody tr').nth(0).click();
    await page.getByRole('button', { name: 'Delete' }).click();
    for (const button of ['Yes', 'OK']) {
      await page.locator('dialog[open]').getByRole('button', { name: button, exact: true }).click({ timeout: 20000 });
    }
    await idle(page);
    const [first, second] = await songLines(page);
    assert.match(first, /no longer in slot 30 · fits, into slot 30$/);
    assert.match(second, /stored in slot 31$/);
    assert.ok(!(await page.getByRole('button', { name: 'Send all' }).isDisabled()), 'the song can be sent again');
    assert.deepEqual(await sendAll(page, ['OK']), ['Complete!']);
    assert.equal((await page.evaluate(() => suStandin.slots())).filter((slot) => slot.size > 0).length, 2);
    await done(page);
  });

  test('a song sent over an old one of its size that the keyboard refuses fails, though the slot looks the same', async () => {
    // The song's size on a family C keyboard, as the page shows it.
    const measure = await open({ config: 'in=Virtual MIDI In\nout=Virtual MIDI Out\nmodel=2\n' });
    await chooseSongs(measure, ['scale_format0.mid']);
    await connect(measure);
    const size = Number((await songLines(measure))[0].match(/([\d,]+) bytes on the keyboard/)[1].replace(/,/g, ''));
    await done(measure);

    const page = await open({ config: `in=Virtual MIDI In\nout=Virtual MIDI Out\nmodel=2\nslot=0,scale_format0,${size}\nrefuse=04:07:6\n` });
    await chooseSongs(page, ['scale_format0.mid']);
    await connect(page);
    await page.locator('#slots tbody tr').nth(0).click();
    assert.deepEqual(await sendAll(page, ['Yes', 'OK'], 'Send'),
      ['The data you selected is already exist.\nDo you want to replace it?', 'The error occurred.(7)']);
    assert.equal((await page.evaluate(() => suStandin.slots()))[0].size, size, 'the old song is still there');
    assert.doesNotMatch((await songLines(page))[0], /stored/);
    await done(page);
  });

  test('"Start at slot" places the songs apart from the row selected, and the line above Send all says where', async () => {
    const page = await open({ standin: 'C' });
    await chooseSongs(page, THREE);
    await connect(page);
    const slots = await page.evaluate(() => suStandin.slots());
    const used = slots.findIndex((slot) => slot.size > 0);
    const listed = await rows(page);
    const planLine = page.locator('#plan-line');
    assert.match(await planLine.textContent(), /^3 songs into slots? \d/);
    assert.doesNotMatch(await planLine.textContent(), /replaces/, 'the first free slots replace nothing');

    await page.getByLabel('Start at slot').selectOption({ label: listed[used][0] });
    assert.match((await songLines(page))[0], new RegExp(` · fits, into slot ${listed[used][0]}$`));
    const line = await planLine.textContent();
    assert.match(line, new RegExp(`^3 songs into slots ${listed[used][0]}[-,].*; replaces '${listed[used][1]}'`));
    // Selecting a row (to delete its song) leaves the plan where it is.
    await page.locator('#slots tbody tr').nth(used === 0 ? 1 : 0).click();
    assert.equal(await planLine.textContent(), line);
    await done(page);
  });

  test('the chooser is emptied after each choice: the same file chosen again, changed, is read again', async () => {
    const page = await open({ standin: 'C' });
    const input = page.getByLabel('Song file');
    const song = readFileSync(join(songs, 'scale_format0.mid'));
    await input.setInputFiles({ name: 'song.mid', mimeType: 'audio/midi', buffer: song });
    await page.getByText(`song.mid (${song.length.toLocaleString('en')} bytes)`).waitFor();
    assert.equal(await input.evaluate((i) => i.files.length), 0, 'the chooser still holds the file');
    const longer = readFileSync(join(songs, 'band_format1.mid'));
    await input.setInputFiles({ name: 'song.mid', mimeType: 'audio/midi', buffer: longer });
    await page.getByText(`song.mid (${longer.length.toLocaleString('en')} bytes)`).waitFor();
    await done(page);
  });

  test('Save all gives one .zip whose songs are byte for byte the native converter\'s', { skip: skipUnlessBuilt('build/native/bin/songuploader') }, async () => {
    const page = await open({ standin: 'C' });
    await chooseSongs(page, THREE);
    const [download] = await Promise.all([page.waitForEvent('download'),
      page.getByRole('button', { name: 'Save all as .zip' }).click()]);
    const folder = mkdtempSync(join(songs, 'zip-'));
    await download.saveAs(join(folder, download.suggestedFilename()));
    assert.equal(download.suggestedFilename(), 'songs.zip');
    // Read back by another program's reader (Python's zipfile), which checks every entry's CRC-32.
    execFileSync('python3', ['-m', 'zipfile', '-e', join(folder, 'songs.zip'), join(folder, 'out')]);
    const entries = readdirSync(join(folder, 'out')).sort();
    const expected = THREE.map((name) => name.replace('.mid', '.sq2')).sort();
    assert.deepEqual(entries, expected);
    for (const name of THREE) {
      const native = join(folder, name.replace('.mid', '.native.sq2'));
      execFileSync(join(ROOT, 'build/native/bin/songuploader'), ['convert', join(songs, name), '-o', native], { stdio: 'ignore' });
      assert.ok(readFileSync(join(folder, 'out', name.replace('.mid', '.sq2'))).equals(readFileSync(native)), `${name} differs`);
    }
    assert.match(await page.locator('#status').textContent(), /^songs\.zip: .*\.sq2, .*\nSaved\.$/);
    await done(page);
  });
});
