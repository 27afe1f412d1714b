// The page shown inside a frame, in headless Chromium: another site's frame and a sandboxed frame (whose origin
// is opaque, where reading the service worker or storage throws) are refused with the page's own line and no
// error; the page in a frame of its own site runs. The host's "frame-ancestors 'none'" is taken off the page's
// response here, so that the page's own check is what is tested.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { launchBrowser, startServer } from './harness.mjs';

const REFUSAL = /works only on its own, not inside another site's page/;

// [case, the iframe's attributes, where the page comes from, whether the page refuses]
const FRAMES = [
  ['a sandboxed frame with scripts allowed', 'sandbox="allow-scripts"', 'same', true],
  ['a frame of another site', '', 'other', true],
  ['a frame of its own site', '', 'same', false],
];

for (const [name, attributes, from, refuses] of FRAMES) {
  test(`the page in ${name} ${refuses ? 'refuses to run' : 'runs'}, without an error`, async () => {
    const server = await startServer({ demo: false });
    const browser = await launchBrowser();
    try {
      const context = await browser.newContext();
      const page = await context.newPage();
      const errors = [];
      page.on('pageerror', (error) => errors.push(String(error)));
      page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
      const origin = new URL(server.url);
      const pageOrigin = from === 'same' ? server.url : `http://localhost:${origin.port}/`;
      // A host that lets any site read its files (as many file hosts do): a sandboxed frame's module scripts are
      // asked for from an opaque origin, and would not load otherwise.
      await context.route(`${pageOrigin}**`, async (route) => {
        const response = await route.fetch();
        const headers = { ...response.headers(), 'access-control-allow-origin': '*' };
        delete headers['content-security-policy'];
        await route.fulfill({ response, headers });
      });
      // Routes registered later come first: the host's page is this test's.
      await context.route(`${server.url}host.html`, (route) => route.fulfill({
        contentType: 'text/html',
        body: `<!doctype html><title>host</title><iframe ${attributes} src="${pageOrigin}index.html" width="800" height="600"></iframe>`,
      }));
      await page.goto(`${server.url}host.html`);
      const frame = page.frameLocator('iframe');
      if (refuses) {
        await frame.getByRole('alert').filter({ hasText: REFUSAL }).waitFor({ timeout: 10000 });
        assert.equal(await frame.getByRole('button').count(), 0, 'a refused page offers no button');
      } else {
        await frame.locator('body[data-ready="true"]').waitFor({ timeout: 20000 });
        assert.equal(await frame.getByText(REFUSAL).count(), 0);
      }
      // Errors of the frame's scripts come in a moment after its line shows.
      await page.evaluate(() => new Promise((done) => setTimeout(done, 300)));
      assert.deepEqual(errors, []);
    } finally {
      await browser.close();
      await server.stop();
    }
  });
}
