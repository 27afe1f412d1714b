import { launchFirefox, openFirefoxPage, startServer } from './harness.mjs';
const server = await startServer({ demo: true });
const browser = await launchFirefox();
const page = await openFirefoxPage(browser, server.url, { standin: 'C' }).catch((e) => console.log('E', e.message));
console.log('opened');
await browser.close(); await server.stop();
