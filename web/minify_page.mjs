// Minifies the page's scripts in place, as the page ships them: every .js file of the assembled page (its ES
// modules, the core's glue and the service worker), whatever their number and names. A file that imports or
// exports is compressed as a module (its own top-level names shortened too, its exports and the specifiers of
// its imports, "./core.js?v=...", kept as written); any other is a classic script, whose top-level names other
// scripts may share, so those stay. No source map is made, and comments go.
//   node web/minify_page.mjs FOLDER
// Terser comes from Debian (node-terser); NODE_PATH=/usr/share/nodejs lets Node.js find it.
import { createRequire } from 'node:module';
import { readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

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

export async function minifyFolder(folder) {
  const names = readdirSync(folder).filter((name) => name.endsWith('.js')).sort();
  for (const name of names) {
    const path = join(folder, name);
    writeFileSync(path, await minifyScript(readFileSync(path, 'utf8')));
  }
  return names;
}

if (process.argv[1] && import.meta.url === new URL(`file://${process.argv[1]}`).href) {
  if (process.argv.length !== 3) {
    console.error('usage: node web/minify_page.mjs FOLDER');
    process.exit(2);
  }
  try {
    await minifyFolder(process.argv[2]);
  } catch (error) {
    console.error(`minify_page.mjs: ${error.message}`);
    process.exit(1);
  }
}
