// Builds the viewer page: the viewer, decoder and renderer bundled by esbuild and inlined with
// the style into one HTML file, dist/viewer.html, that needs nothing else. `kvg html` puts a
// drawing into the page at its <!--DRAWING--> mark.
//   node scripts/build.js [OUT.html]
import { build } from 'esbuild';
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = join(dirname(fileURLToPath(import.meta.url)), '..');
const out = process.argv[2] ?? join(root, 'dist', 'viewer.html');

const bundle = await build({
  entryPoints: [join(root, 'viewer', 'viewer.js')],
  bundle: true,
  format: 'iife',
  minify: true,
  target: ['es2022'],
  external: ['node:zlib'],
  write: false,
  legalComments: 'none',
});
const script = bundle.outputFiles[0].text;
// The script sits inside a <script> element, which the first "</script" would end.
if (/<\/script/i.test(script)) throw new Error('the bundle holds "</script"');
const page = readFileSync(join(root, 'viewer', 'page.html'), 'utf8')
  .replace('/*STYLE*/', () => readFileSync(join(root, 'viewer', 'style.css'), 'utf8').trim())
  .replace('/*SCRIPT*/', () => script.trim());
mkdirSync(dirname(out), { recursive: true });
writeFileSync(out, page);
