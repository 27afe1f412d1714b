// The archive "Save all as .zip" writes (web/page/zip.js), read back by the readers users have: Debian's unzip,
// which picks how to convert names by the system named in "version made by", and Python's zipfile. Each case
// is a set of songs; every reader must give back each song under its own name, byte for byte, readable.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, test } from 'node:test';

import { ROOT } from './harness.mjs';

const { zipFiles } = await import(join(ROOT, 'web/page/zip.js'));
const scratch = mkdtempSync(join(tmpdir(), 'su-zip-'));
after(() => rmSync(scratch, { recursive: true, force: true }));

const song = (seed, length) => Uint8Array.from({ length }, (_, i) => (seed * 31 + i * 7) & 0xff);

// [case, songs given, names expected in the archive (in order)]
const CASES = [
  ['plain ASCII', ['one.sq2', 'two.sq2'], ['one.sq2', 'two.sq2']],
  ['non-ASCII names', ['Ständchen 夜.sq2', 'Éléphant.sq2', 'ピアノ曲.sq2'], ['Ständchen 夜.sq2', 'Éléphant.sq2', 'ピアノ曲.sq2']],
  ['names differing only in case', ['Song.sq2', 'song.sq2', 'SONG.sq2'], ['Song.sq2', 'song (2).sq2', 'SONG (3).sq2']],
  ['the same name twice', ['Walzer ä.sq2', 'Walzer ä.sq2'], ['Walzer ä.sq2', 'Walzer ä (2).sq2']],
];

// Each reader extracts the archive into `folder`.
const READERS = [
  ['unzip', (archive, folder) => execFileSync('unzip', ['-q', archive, '-d', folder], { env: { ...process.env, LANG: 'C.UTF-8', LC_ALL: 'C.UTF-8' } })],
  ['zipfile', (archive, folder) => execFileSync('python3', ['-m', 'zipfile', '-e', archive, folder], { env: { ...process.env, LANG: 'C.UTF-8', LC_ALL: 'C.UTF-8' } })],
];

let n = 0;
for (const [name, given, expected] of CASES) {
  for (const [reader, extract] of READERS) {
    test(`${reader} reads the archive with ${name}`, () => {
      const files = given.map((file, i) => ({ name: file, bytes: song(i + 1, 40 + i * 13) }));
      const { bytes, names } = zipFiles(files);
      assert.deepEqual(names, expected);
      n += 1;
      const archive = join(scratch, `songs-${n}.zip`);
      const folder = join(scratch, `out-${n}`);
      writeFileSync(archive, bytes);
      mkdirSync(folder);
      extract(archive, folder);
      assert.deepEqual(readdirSync(folder).sort(), [...expected].sort());
      expected.forEach((file, i) => {
        const path = join(folder, file);
        // A regular file the user can read and write, that nobody can run.
        const mode = statSync(path).mode;
        assert.ok(statSync(path).isFile(), `${file} is a regular file`);
        assert.equal(mode & 0o600, 0o600, `${file}: mode ${(mode & 0o777).toString(8)}`);
        assert.equal(mode & 0o111, 0, `${file}: mode ${(mode & 0o777).toString(8)}`);
        assert.deepEqual(new Uint8Array(readFileSync(path)), files[i].bytes);
      });
    });
  }
}

test('unzip lists every entry as made on Unix with regular-file attributes', () => {
  const { bytes } = zipFiles([{ name: 'Ständchen 夜.sq2', bytes: song(1, 10) }]);
  const archive = join(scratch, 'listed.zip');
  writeFileSync(archive, bytes);
  const listing = execFileSync('unzip', ['-Z', archive], { env: { ...process.env, LANG: 'C.UTF-8', LC_ALL: 'C.UTF-8' } }).toString();
  assert.match(listing, /^-rw-r--r--\s.*\bunx\b.*Ständchen 夜\.sq2$/m);
});
