// The page's scripts as the build minifies them (web/minify_page.mjs, run as the build runs it): modules keep
// their exports and the versioned specifiers of their imports, classic scripts keep their top-level names, and
// no comment or source map reference reaches the page.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, test } from 'node:test';

import { ROOT } from './harness.mjs';

const scratch = mkdtempSync(join(tmpdir(), 'su-minify-'));
after(() => rmSync(scratch, { recursive: true, force: true }));

function minified(name, code) {
  const path = join(scratch, name);
  writeFileSync(path, code);
  execFileSync('node', [join(ROOT, 'web/minify_page.mjs'), path],
    { env: { ...process.env, NODE_PATH: '/usr/share/nodejs' } });
  return readFileSync(path, 'utf8');
}

const MODULE = `// The page's calls into the core.
import createCore from './core.js?v=0123456789abcdef';
import { zipSongs } from './zip.js?v=0123456789abcdef';
function convertEverySongOfThePage(songs) { return songs.map((song) => createCore(song)); }
export async function loadCore(page) { return convertEverySongOfThePage(page.songs).concat(zipSongs(page)); }
//# sourceMappingURL=app.js.map
`;
const CLASSIC = `/* The service worker: one version of the page's files, kept whole. */
const VERSION = '0123456789abcdef';
function installEveryFileOfThisVersion() { return caches.open(VERSION); }
self.addEventListener('install', (event) => event.waitUntil(installEveryFileOfThisVersion()));
//# sourceMappingURL=sw.js.map
`;

// [what, file, source, texts the minified file keeps, texts it loses]
const CASES = [
  ['a module keeps its exports and its versioned imports, and shortens its own names', 'app.js', MODULE,
    [/["']\.\/core\.js\?v=0123456789abcdef["']/, /["']\.\/zip\.js\?v=0123456789abcdef["']/, /export\s*\{?[^;]*loadCore/],
    ['convertEverySongOfThePage', 'The page\'s calls', 'sourceMappingURL']],
  ['a classic script keeps its top-level names', 'sw.js', CLASSIC,
    [/VERSION\s*=\s*["']0123456789abcdef["']/, /installEveryFileOfThisVersion/],
    ['one version of the page', 'sourceMappingURL']],
];

for (const [what, name, source, kept, lost] of CASES) {
  test(what, () => {
    const out = minified(name, source);
    assert.ok(out.length < source.length, `${name} did not shrink:\n${out}`);
    for (const pattern of kept) assert.match(out, pattern);
    for (const text of lost) assert.ok(!out.includes(text), `${name} still holds "${text}":\n${out}`);
  });
}
