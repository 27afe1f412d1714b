// The page's part of bench/connect.sh (figures, not a test): "Connect keyboard" up to the slot list shown, per
// family, in headless Chromium against the Web MIDI stand-in's demo keyboards; the first time in a fresh
// browser profile, and the repeat after a reload (the keyboard found on the ports remembered in the page's
// storage). Median of RUNS each.
//   node bench/connect_page.mjs [--runs N]
import { launchBrowser, openPage, startServer } from '../tests/web/harness.mjs';

const runsAt = process.argv.indexOf('--runs');
const RUNS = runsAt > 0 ? Math.max(1, Number(process.argv[runsAt + 1])) : 5;
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

async function connectSeconds(page) {
  await page.waitForSelector('body[data-ready="true"]');
  await page.evaluate(() => window.suStandin?.ready);
  const started = Date.now();
  await page.getByRole('button', { name: 'Connect keyboard' }).click();
  await page.locator('#slots tbody tr').first().waitFor({ timeout: 60000 });
  await page.waitForFunction(() => !document.body.classList.contains('busy'));
  return (Date.now() - started) / 1000;
}

const server = await startServer({ demo: true });
const browser = await launchBrowser();
try {
  console.log(`the page's connect to the slot list in headless Chromium, median of ${RUNS} (seconds)`);
  console.log(`${'family'.padEnd(8)} ${'first'.padStart(8)} ${'repeat'.padStart(8)}`);
  for (const family of ['C', 'A', 'B']) {
    const first = [];
    const repeat = [];
    for (let run = 0; run < RUNS; ++run) {
      const page = await openPage(browser, server.url, { standin: family });
      first.push(await connectSeconds(page));
      await page.close();
    }
    const page = await openPage(browser, server.url, { standin: family });
    await connectSeconds(page);
    for (let run = 0; run < RUNS; ++run) {
      await page.reload();
      repeat.push(await connectSeconds(page));
    }
    await page.close();
    console.log(`${family.padEnd(8)} ${median(first).toFixed(2).padStart(8)} ${median(repeat).toFixed(2).padStart(8)}`);
  }
} finally {
  await browser.close();
  await server.stop();
}
