// Minifies the page's scripts in place, as the page ships them: the files named (web/assemble_page.py names
// every .js file of the page, whatever their number and names; the build names the core's glue). A file that
// imports or exports is compressed as a module (its own top-level names shortened too, its exports and the
// specifiers of its imports, "./core.js?v=...", kept as written); any other is a classic script, whose
// top-level names other scripts may share, so those stay. No source map is made, and comments go.
//   node web/minify_page.mjs FILE.js...
// Terser comes from Debian (node-terser); NODE_PATH=/usr/share/nodejs lets Node.js find it.
import { createRequire } from 'node:module';
import { readFileSync, writeFileSync } from 'node:fs';

const require = createRequire(import.meta.url);

export const isModule = (code) => /^\s*(import|export)\b/m.test(code);

export async function minifyScript(code) {
  const { minify } = require('terser');
  const module = isModule(code);
  const result = await minify(code, {
    module,
    ecma: 2020,
    compress: { passes: 2 },
    mangle: true,
    format: { comments: false },
    sourceMap: false,
  });
  if (typeof result.code !== 'string') throw new Error('the minifier returned nothing');
  return result.code;
}

export async function minifyFiles(paths) {
  for (const path of paths) writeFileSync(path, await minifyScript(readFileSync(path, 'utf8')));
}

if (process.argv[1] && import.meta.url === new URL(`file://${process.argv[1]}`).href) {
  if (process.argv.length < 3) {
    console.error('usage: node web/minify_page.mjs FILE.js...');
    process.exit(2);
  }
  try {
    await minifyFiles(process.argv.slice(2));
  } catch (error) {
    console.error(`minify_page.mjs: ${error.message}`);
    process.exit(1);
  }
}
