// The Web MIDI stand-in, driven from a real Chromium page (the stand-in's own test page, tests/web/fixtures),
// served and injected as `scripts/web --demo` does.
import assert from 'node:assert/strict';
import { after, before, describe, test } from 'node:test';

import { distinctColours, launchBrowser, offOrigin, openPage, startServer } from './harness.mjs';

let server;
let browser;
before(async () => {
  server = await startServer({ demo: true, root: 'tests/web/fixtures' });
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
  await server?.stop();
});

// In the page: MIDI access, the first input and output, `bytes` sent, and the answers that came, with when
// they came relative to the send. It waits for `expect` answers (then a little longer, for any beyond them),
// or `waitMs` when none are expected.
function exchange(page, bytes, { expect = 1, waitMs = 600 } = {}) {
  return page.evaluate(async ({ bytes, expect, waitMs }) => {
    const access = await navigator.requestMIDIAccess({ sysex: true });
    const input = [...access.inputs.values()][0];
    const output = [...access.outputs.values()][0];
    const answers = [];
    let sentAt = 0;
    await new Promise((done) => {
      input.onmidimessage = (event) => {
        answers.push({ hex: Array.from(event.data, (b) => b.toString(16).padStart(2, '0')).join(' '),
                       after: event.timeStamp - sentAt });
        if (answers.length === expect) setTimeout(done, 150);
      };
      sentAt = performance.now();
      output.send(bytes);
      // An answer within send() itself would not be how a browser behaves.
      if (answers.length > 0) answers.push({ hex: 'answered synchronously', after: 0 });
      setTimeout(done, expect > 0 ? 10000 : waitMs);
    });
    input.onmidimessage = null;
    return answers;
  }, { bytes, expect, waitMs });
}

const IDENTITY = [0xf0, 0x44, 0x14, 0x00, 0x00, 0xf7];
const MODEL_READ_A = [0xf0, 0x44, 0x11, 0x03, 0x7f, 0x01, 0x00, 0x00, 0x0d, 0x00, 0x00, 0x00, 0xf7];
const MODEL_READ_B = [0xf0, 0x44, 0x15, 0x01, 0x7f, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                      0x00, 0x00, 0x00, 0xf7];

describe('each demo keyboard answers its family\'s probe, later and asynchronously', () => {
  const cases = [
    { demo: 'C', probe: IDENTITY, answer: /^f0 44 14 00 00 02 /, slots: [0, 1, 4] },
    { demo: 'A', probe: MODEL_READ_A, answer: /^f0 44 11 03 .* f7$/, slots: [0, 2, 5] },
    { demo: 'B', probe: MODEL_READ_B, answer: /^f0 44 15 01 00 02 00 00 .* 02 f7$/, slots: [1, 3, 6] },
  ];
  for (const { demo, probe, answer, slots } of cases) {
    test(`family ${demo}`, async () => {
      const page = await openPage(browser, server.url, { standin: demo });
      try {
        const answers = await exchange(page, probe);
        assert.equal(answers.length, 1, JSON.stringify(answers));
        assert.match(answers[0].hex, answer);
        // The demo keyboards answer 5 ms after each message (delay_ms=5); timestamps are rounded a little.
        assert.ok(answers[0].after >= 4.5, `answered after ${answers[0].after} ms`);
        const log = await page.evaluate(() => ({ received: suStandin.received(), sent: suStandin.sent() }));
        assert.deepEqual(log.received, [probe.map((b) => b.toString(16).toUpperCase().padStart(2, '0')).join(' ')]);
        assert.equal(log.sent.length, 1);
        const timeline = await page.evaluate(() => suStandin.timeline());
        assert.deepEqual(timeline.map(([kind]) => kind), ['out', 'in']);
        assert.ok(timeline[1][1] - timeline[0][1] >= 4.5, JSON.stringify(timeline));
        const held = (await page.evaluate(() => suStandin.slots()))
          .map((slot, index) => (slot.size > 0 ? index : -1)).filter((index) => index >= 0);
        assert.deepEqual(held, slots);
        assert.deepEqual(page.errors, []);
      } finally {
        await page.close();
      }
    });
  }
});

describe('the keyboard misbehaves as its config says', () => {
  const cases = [
    { name: 'silent= leaves a message unanswered', config: 'silent=00:1', answers: 0, atLeast: 0 },
    { name: 'late= answers that much later', config: 'late=00:300', answers: 1, atLeast: 300 },
    { name: 'junk= sends frames before the answer', config: 'junk=too_short,other_maker', answers: 3, atLeast: 0 },
    { name: 'identity=no never answers the identity request', config: 'identity=no', answers: 0, atLeast: 0 },
  ];
  for (const { name, config, answers: count, atLeast } of cases) {
    test(name, async () => {
      const page = await openPage(browser, server.url, { config: `in=Keyboard In\nout=Keyboard Out\n${config}` });
      try {
        const answers = await exchange(page, IDENTITY, { expect: count });
        assert.equal(answers.length, count, JSON.stringify(answers));
        for (const answer of answers) assert.ok(answer.after >= atLeast, `answered after ${answer.after} ms`);
        if (count > 0) assert.match(answers.at(-1).hex, /^f0 44 14 00 00 /);
        assert.equal((await page.evaluate(() => suStandin.received())).length, 1);
      } finally {
        await page.close();
      }
    });
  }

  test('silence() stops the answers and a bad config line is refused', async () => {
    const page = await openPage(browser, server.url);
    try {
      assert.equal((await exchange(page, IDENTITY)).length, 1);
      await page.evaluate(() => suStandin.silence());
      assert.equal((await exchange(page, IDENTITY, { expect: 0 })).length, 0);
      await page.evaluate(() => suStandin.silence(false));
      assert.equal((await exchange(page, IDENTITY)).length, 1);
      const refused = await page.evaluate(() => suStandin.configure('late=00').then(() => 'taken', (e) => e.message));
      assert.match(refused, /line 1: .*late=00/);
    } finally {
      await page.close();
    }
  });
});

describe('ports behave as a browser\'s', () => {
  test('unplugging fires statechange, sends throw InvalidStateError, plugging in brings the answers back',
       async () => {
    const page = await openPage(browser, server.url, { keepDisconnected: true });
    try {
      const seen = await page.evaluate(async () => {
        const access = await navigator.requestMIDIAccess({ sysex: true });
        const input = [...access.inputs.values()][0];
        const output = [...access.outputs.values()][0];
        input.onmidimessage = () => {};
        const events = [];
        access.onstatechange = (e) => events.push(`access: ${e.port.type} ${e.port.state} ${e.port.connection}`);
        output.onstatechange = (e) => events.push(`output: ${e.port.state}`);
        await suStandin.unplug();
        let thrown = 'nothing';
        try { output.send([0xf0, 0x44, 0x14, 0x00, 0x00, 0xf7]); } catch (e) { thrown = e.name; }
        return { events, thrown, state: output.state, input: input.connection, size: access.outputs.size };
      });
      assert.deepEqual(seen.events, ['access: input disconnected pending', 'output: disconnected',
                                     'access: output disconnected closed']);
      assert.equal(seen.thrown, 'InvalidStateError');
      assert.equal(seen.state, 'disconnected');
      assert.equal(seen.input, 'pending');
      assert.equal(seen.size, 1, 'an unplugged port stays in the map');
      await page.evaluate(() => suStandin.plug());
      assert.equal((await exchange(page, IDENTITY)).length, 1);
      // As in Chromium, by default: unplugged ports leave the lists of a MIDIAccess already made, and come back.
      const sizes = await page.evaluate(async () => {
        suStandin.keepDisconnected(false);
        const access = await navigator.requestMIDIAccess({ sysex: true });
        const kept = [...access.inputs.values()][0];
        suStandin.unplug();
        const unplugged = [access.inputs.size, access.outputs.size, kept.state];
        suStandin.plug();
        return [...unplugged, access.inputs.size, [...access.inputs.values()][0] === kept];
      });
      assert.deepEqual(sizes, [0, 0, 'disconnected', 1, true]);
    } finally {
      await page.close();
    }
  });

  test('the config names the ports; a refused port cannot be opened; a swap unplugs and plugs in', async () => {
    const config = 'in=Other In\nin=Keyboard In\nout=Other Out\nout=Keyboard Out\nrefuse_out=0\n';
    const page = await openPage(browser, server.url, { config });
    try {
      const seen = await page.evaluate(async () => {
        const access = await navigator.requestMIDIAccess({ sysex: true });
        const names = [...access.inputs.values(), ...access.outputs.values()].map((p) => `${p.type} ${p.name}`);
        const [refused, taken] = [...access.outputs.values()];
        const opened = await Promise.all([refused, taken].map((p) => p.open().then(() => p.connection, (e) => e.name)));
        const events = [];
        access.onstatechange = (e) => events.push(`${e.port.name} ${e.port.state}`);
        await suStandin.choose('A');
        return { names, opened, events, after: [...access.inputs.values()].map((p) => `${p.name} ${p.state}`) };
      });
      assert.deepEqual(seen.names, ['input Other In', 'input Keyboard In', 'output Other Out', 'output Keyboard Out']);
      assert.deepEqual(seen.opened, ['InvalidAccessError', 'open']);
      // Family A's demo keyboard has one pair of ports under other names: the old ones go, the new appear.
      assert.deepEqual(seen.events, ['Other In disconnected', 'Keyboard In disconnected', 'Other Out disconnected',
                                     'Keyboard Out disconnected', 'Virtual MIDI In connected',
                                     'Virtual MIDI Out connected']);
      // The unplugged ones leave the lists, as in Chromium.
      assert.deepEqual(seen.after, ['Virtual MIDI In connected']);
    } finally {
      await page.close();
    }
  });

  test('a send with a later timestamp reaches the keyboard then', async () => {
    const page = await openPage(browser, server.url);
    try {
      const after = await page.evaluate(async () => {
        const access = await navigator.requestMIDIAccess({ sysex: true });
        const output = [...access.outputs.values()][0];
        const input = [...access.inputs.values()][0];
        const sentAt = performance.now();
        const answered = new Promise((done) => { input.onmidimessage = (e) => done(e.timeStamp - sentAt); });
        output.send([0xf0, 0x44, 0x14, 0x00, 0x00, 0xf7], sentAt + 250);
        return answered;
      });
      assert.ok(after >= 250 + 4.5, `answered ${after} ms after the send`);
    } finally {
      await page.close();
    }
  });

  test('send() refuses what a browser refuses', async () => {
    const page = await openPage(browser, server.url);
    try {
      const thrown = await page.evaluate(async () => {
        const tryToSend = (access, bytes) => {
          try { [...access.outputs.values()][0].send(bytes); return 'sent'; } catch (e) { return e.name; }
        };
        const withSysex = await navigator.requestMIDIAccess({ sysex: true });
        const withoutSysex = await navigator.requestMIDIAccess();
        return [
          tryToSend(withSysex, [0xf0, 0x44, 0x14, 0x00]),       // no F7
          tryToSend(withSysex, [0xf0, 0x44, 0x94, 0x00, 0xf7]), // a status byte inside
          tryToSend(withSysex, [0x90, 0x40]),                   // a note-on cut short
          tryToSend(withSysex, [0x90, 0x40, 0x7f]),
          tryToSend(withoutSysex, [0xf0, 0x44, 0x14, 0x00, 0x00, 0xf7]),
        ];
      });
      assert.deepEqual(thrown, ['TypeError', 'TypeError', 'TypeError', 'sent', 'InvalidAccessError']);
    } finally {
      await page.close();
    }
  });
});

describe('what is decided before the page runs', () => {
  const cases = [
    { standin: 'denied', how: 'harness', expect: { status: 'No MIDI access: SecurityError' } },
    { standin: 'denied', how: 'query', expect: { status: 'No MIDI access: SecurityError' } },
    { standin: 'none', how: 'harness', expect: { status: '0 inputs, 0 outputs.' } },
    { standin: 'no-webmidi', how: 'query', expect: { loaded: 'This browser has no Web MIDI.', globals: false } },
    { standin: 'B', how: 'query', expect: { status: '1 inputs, 1 outputs.' } },
  ];
  for (const { standin, how, expect } of cases) {
    test(`${standin} (by the ${how})`, async () => {
      const page = how === 'harness'
        ? await openPage(browser, server.url, { standin })
        : await openPage(browser, `${server.url}?standin=${standin}`, { standin: undefined });
      try {
        const loaded = await page.locator('#status').textContent();
        if (expect.loaded) assert.equal(loaded, expect.loaded);
        if (expect.globals === false) {
          assert.deepEqual(await page.evaluate(() => ['MIDIAccess', 'MIDIMessageEvent'].filter((n) => n in window)),
                           []);
        }
        if (expect.status) {
          await page.getByRole('button', { name: 'List MIDI ports' }).click();
          await page.getByRole('status').filter({ hasText: expect.status }).waitFor();
        }
      } finally {
        await page.close();
      }
    });
  }
});

describe('the demo', () => {
  test('its chooser swaps keyboards and unplugs them; only the own origin is asked; the screen is not blank',
       async () => {
    const page = await openPage(browser, server.url, { chooser: true, standin: undefined });
    try {
      const chooser = page.getByRole('combobox', { name: 'Demo keyboard' });
      assert.equal(await chooser.inputValue(), 'C');
      await chooser.selectOption('B');
      await page.waitForFunction(() => suStandin.current === 'B');
      assert.equal((await exchange(page, MODEL_READ_B)).length, 1);
      assert.equal((await exchange(page, IDENTITY, { expect: 0 })).length, 0, 'family B ignores the identity request');
      // One MIDIAccess kept across (a new one lists only the ports plugged in at the time).
      await page.evaluate(async () => {
        window.input = [...(await navigator.requestMIDIAccess({ sysex: true })).inputs.values()][0];
      });
      const firstInput = () => page.evaluate(() => window.input.state);
      await page.getByRole('button', { name: 'Unplug keyboard' }).click();
      assert.equal(await firstInput(), 'disconnected');
      await page.getByRole('button', { name: 'Plug in keyboard' }).click();
      assert.equal(await firstInput(), 'connected');
      assert.deepEqual(offOrigin(page), []);
      assert.ok(page.requests.some((r) => r.url.endsWith('/standin/virtual_keyboard.wasm')));
      assert.ok(await distinctColours(browser, await page.screenshot()) > 2);
    } finally {
      await page.close();
    }
  });
});
