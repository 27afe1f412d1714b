// The page's weight as it ships: every file of the assembled page (build/web, the web zip's contents), raw and
// gzip-compressed as a host serves them. `node tests/web/weight.mjs [folder] [budget KB]` prints the figures and
// fails when the compressed total is over the budget (scripts/test checks 100 KB); bench/web_page.mjs reports it.
import { readFileSync, readdirSync } from 'node:fs';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { gzipSync } from 'node:zlib';

export function weighPage(folder) {
  const files = readdirSync(folder, { withFileTypes: true }).filter((f) => f.isFile()).map((f) => {
    const bytes = readFileSync(join(folder, f.name));
    return { name: f.name, raw: bytes.length, gzip: gzipSync(bytes, { level: 9 }).length };
  });
  const sum = (key) => files.reduce((total, f) => total + f[key], 0);
  return { files, raw: sum('raw'), gzip: sum('gzip') };
}

export const kb = (bytes) => `${(bytes / 1024).toFixed(1)} KB`;

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const folder = process.argv[2] || fileURLToPath(new URL('../../build/web', import.meta.url));
  const budget = Number(process.argv[3] || 100);
  const weight = weighPage(folder);
  for (const f of weight.files) console.log(`  ${f.name.padEnd(16)} ${kb(f.raw).padStart(10)} ${kb(f.gzip).padStart(10)} gzip`);
  const within = weight.gzip <= budget * 1024;
  console.log(`page weight: ${kb(weight.raw)}, ${kb(weight.gzip)} gzip-compressed: ` +
    `${within ? 'within' : 'OVER'} the budget of ${budget} KB`);
  process.exitCode = within ? 0 : 1;
}
