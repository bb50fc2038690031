// Tiles drawn per second in headless Chromium: KVG tiles of an archive against GDAL's Mapbox
// Vector Tiles of the same squares (those both tilers wrote at one zoom), each drawn on a
// 256-pixel canvas (draw-page.js); decoded beforehand, and decoded as drawn.
//
//   node draw.mjs ARCHIVE.pmtiles MVT_DIR ZOOM [ROUNDS]
import { createRequire } from 'node:module';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

import { launch } from '../../web/test/browser/browser.js';
import { tilePairs } from './tile_pairs.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const { build } = createRequire(join(here, '../../web/package.json'))('esbuild');
const [archivePath, mvtDir, zoomArg, roundsArg] = process.argv.slice(2);
const z = Number(zoomArg);

const { archive, pairs } = await tilePairs(archivePath, mvtDir, z, z);
const base64 = (bytes) => Buffer.from(bytes).toString('base64');
const kvg = pairs.map((p) => base64(p.kvg)), mvt = pairs.map((p) => base64(p.mvt));

const bundle = await build({
  entryPoints: [join(here, 'draw-page.js')], bundle: true, write: false, format: 'iife', external: ['node:zlib'], logLevel: 'error',
});
const browser = await launch();
try {
  const page = await browser.newPage();
  await page.setContent(`<!doctype html><body><script>${bundle.outputFiles[0].text}</script></body>`);
  await page.waitForSelector('body[data-ready]', { state: 'attached' });
  const result = await page.evaluate((input) => window.tileBench(input), {
    kvg, mvt, archive: { extent: archive.extent, buffer: archive.buffer }, rounds: Number(roundsArg ?? 3),
  });
  const rate = (s) => Math.round(kvg.length / s).toLocaleString('en');
  console.log(`${kvg.length} tiles of zoom ${z} written by both, drawn on 256-pixel canvases in Chromium (software), tiles per second, the best of the rounds`);
  console.log('| tiles | drawn (decoded beforehand) | decoded and drawn |');
  console.log('|---|---|---|');
  console.log(`| KVG (web/src: buildScene, Painter) | ${rate(result.kvg.draw)} | ${rate(result.kvg.decodeDraw)} |`);
  console.log(`| MVT (@mapbox/vector-tile + pbf, canvas paths) | ${rate(result.mvt.draw)} | ${rate(result.mvt.decodeDraw)} |`);
  console.log(`KVG / MVT tiles per second: ${(result.mvt.draw / result.kvg.draw).toFixed(2)} drawn, ${(result.mvt.decodeDraw / result.kvg.decodeDraw).toFixed(2)} decoded and drawn`);
} finally {
  await browser.close();
}
