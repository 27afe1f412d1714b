// The server of scripts/web (scripts/lib/web_server.py): what it serves, with which content types, where it
// injects the stand-in, and that nothing outside the served folders can be asked for.
import assert from 'node:assert/strict';
import { readdirSync, readFileSync } from 'node:fs';
import { request } from 'node:http';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';

import { ROOT, skipUnlessBuilt, startServer } from './harness.mjs';

// A GET with the path sent exactly as written (fetch would resolve dot segments first).
function get(base, path) {
  const { hostname, port } = new URL(base);
  return new Promise((done, fail) => {
    request({ hostname, port, path }, (response) => {
      const chunks = [];
      response.on('data', (chunk) => chunks.push(chunk));
      response.on('end', () => done({ status: response.statusCode, type: response.headers['content-type'],
                                      body: Buffer.concat(chunks).toString('latin1') }));
    }).on('error', fail).end();
  });
}

const STANDIN_TAG = '<script type="module" src="/standin/standin.js"></script>';

describe('the demo server', () => {
  let server;
  before(async () => { server = await startServer({ demo: true, root: 'tests/web/fixtures' }); });
  after(async () => { await server?.stop(); });

  const types = [
    ['/', 'text/html; charset=utf-8'],
    ['/page.js', 'text/javascript; charset=utf-8'],
    ['/standin/standin.js', 'text/javascript; charset=utf-8'],
    ['/standin/virtual_keyboard.mjs', 'text/javascript; charset=utf-8'],
    ['/standin/virtual_keyboard.wasm', 'application/wasm'],
    ['/standin/demo_b.cfg', 'text/plain; charset=utf-8'],
  ];
  for (const [path, type] of types) {
    test(`serves ${path} as ${type}`, async () => {
      const response = await get(server.url, path);
      assert.equal(response.status, 200);
      assert.equal(response.type, type);
    });
  }

  test('injects the stand-in after the page\'s security policy and before its first script', async () => {
    const { body } = await get(server.url, '/index.html');
    const tag = body.indexOf(STANDIN_TAG);
    assert.ok(tag > body.indexOf('Content-Security-Policy'), body);
    assert.equal(body.indexOf('<script'), tag);
    assert.equal(body.lastIndexOf(STANDIN_TAG), tag, 'injected once');
  });

  for (const path of ['/../README.md', '/standin/../../../README.md', '/%2e%2e/%2e%2e/README.md',
                      '/standin/%2e%2e/%2e%2e/%2e%2e/scripts/web', '/standin/..%2f..%2f..%2fREADME.md',
                      '/missing.js']) {
    test(`refuses ${path}`, async () => {
      assert.equal((await get(server.url, path)).status, 404);
    });
  }
});

test('without the demo there is no stand-in', async () => {
  const server = await startServer({ demo: false, root: 'tests/web/fixtures' });
  try {
    assert.equal((await get(server.url, '/standin/standin.js')).status, 404);
    assert.ok(!(await get(server.url, '/')).body.includes('/standin/'));
  } finally {
    await server.stop();
  }
});

// The stand-in is for the demo and the tests only: the page's own folder, which is what gets published, holds
// nothing of it.
const page = join(ROOT, 'build/web');
test('the page\'s build holds nothing of the stand-in', { skip: skipUnlessBuilt('build/web') }, () => {
  const files = readdirSync(page, { recursive: true }).map(String);
  assert.deepEqual(files.filter((f) => /standin|virtual_keyboard|demo(_[ab])?\.cfg/.test(f)), []);
  for (const file of files.filter((f) => /\.(html|js|mjs)$/.test(f))) {
    assert.doesNotMatch(readFileSync(join(page, file), 'latin1'), /suStandin|\/standin\//, file);
  }
});
