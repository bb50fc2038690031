// The web client's benchmark: the world maps of the world-atlas package at 1:50m and 1:10m as
// KVG (plain and gzip), TopoJSON (plain and gzip) and GeoJSON (plain and gzip), from bytes to a
// drawn canvas in headless Chromium; decoding speed in Node against JSON.parse of the
// TopoJSON; the viewer's frame rate while panning the 1:10m map. Prints Markdown.
//   node bench/run.js KVG_COMMAND VIEWER_HTML [ROUNDS] [--node-only]
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { gzipSync } from 'node:zlib';
import { build } from 'esbuild';
import { feature, mesh } from 'topojson-client';

import { decode } from '../src/index.js';
import { buildScene } from '../src/scene.js';
import { launch, serve } from '../test/browser/browser.js';

const root = join(dirname(fileURLToPath(import.meta.url)), '..');
const [kvg, viewerPage, roundsArg, only] = process.argv.slice(2);
const rounds = Number(roundsArg ?? 7);
const atlas = join(root, 'node_modules', 'world-atlas');
const work = mkdtempSync(join(tmpdir(), 'kvg-web-bench-'));
const gzip = (bytes) => gzipSync(bytes, { level: 6 });

/** The files of one map, each as transferred. */
function mapFiles(scale) {
  const json = readFileSync(join(atlas, `countries-${scale}.json`));
  const topology = JSON.parse(json.toString());
  const geojson = Buffer.from(JSON.stringify({
    countries: feature(topology, topology.objects.countries),
    borders: mesh(topology, topology.objects.countries),
  }));
  const kvgz = join(work, `countries-${scale}.kvg`);
  execFileSync(kvg, ['import', 'topojson', join(atlas, `countries-${scale}.json`), '-o', kvgz]);
  const compressed = readFileSync(kvgz);
  const plain = execFileSync('zcat', [kvgz]);
  const points = topology.arcs.reduce((sum, arc) => sum + arc.length, 0);
  const files = [
    ['KVG', 'kvg', false, plain], ['KVG, gzip', 'kvg', true, compressed],
    ['TopoJSON', 'topojson', false, json], ['TopoJSON, gzip -6', 'topojson', true, gzip(json)],
    ['GeoJSON', 'geojson', false, geojson], ['GeoJSON, gzip -6', 'geojson', true, gzip(geojson)],
  ];
  for (const [label, , , bytes] of files) writeFileSync(join(work, `${scale}-${label.replace(/\W+/g, '-')}`), bytes);
  return { json, plain, points, files };
}

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

/**
 * Processor seconds per call of `f` (user and system, all of the process's threads), the
 * median of `rounds` runs after a few to warm the compiler up; unlike wall time it stays
 * steady when other work shares the machine.
 */
function timed(f) {
  for (let i = 0; i < 3; ++i) f();
  const times = [];
  for (let i = 0; i < rounds; ++i) {
    const start = process.cpuUsage();
    f();
    const used = process.cpuUsage(start);
    times.push((used.user + used.system) / 1e6);
  }
  return median(times);
}

function nodeRow(scale, map) {
  const decodeS = timed(() => decode(map.plain));
  const sceneS = timed(() => buildScene(map.plain));
  const text = map.json.toString();
  const parseS = timed(() => JSON.parse(text));
  const kvgPoints = decode(map.plain).records.reduce((n, r) => n + (r.args.steps ? r.args.steps.length / 2 + 1 : 0), 0);
  const rate = (points, s) => `${(points / s / 1e6).toFixed(1)} M`;
  return `| countries-${scale} | ${kvgPoints} | ${(decodeS * 1e3).toFixed(1)} | ${rate(kvgPoints, decodeS)} | ` +
    `${(sceneS * 1e3).toFixed(1)} | ${map.points} | ${(parseS * 1e3).toFixed(1)} | ${rate(map.points, parseS)} |`;
}

async function benchPage() {
  const bundle = await build({
    entryPoints: [join(root, 'bench', 'page.js')], bundle: true, format: 'iife', write: false,
    external: ['node:zlib'], minify: true,
  });
  writeFileSync(join(work, 'bench.js'), bundle.outputFiles[0].text);
  writeFileSync(join(work, 'bench.html'), '<!DOCTYPE html><meta charset="utf-8"><script src="bench.js"></script>');
}

/** Frames per second shown while the viewer pans the map, and its full redraw in ms. */
async function panning(browser, server, file) {
  const page = await browser.newPage();
  await page.setViewportSize({ width: 1000, height: 540 });
  await page.goto(`${server.url}/viewer/${basename(viewerPage)}?src=/files/${file}`);
  await page.waitForSelector('body[data-ready]');
  const renderMs = await page.evaluate(() => {
    const v = window.kvgViewer;
    const start = performance.now();
    v.render();
    v.ctx.getImageData(0, 0, 1, 1);
    return performance.now() - start;
  });
  const box = await page.locator('#canvas').boundingBox();
  await page.mouse.move(box.x + 500, box.y + 250);
  await page.mouse.down();
  const start = await page.evaluate(() => { window.kvgViewer.frameTimes = []; return performance.now(); });
  await page.mouse.move(box.x + 800, box.y + 400, { steps: 300 });
  const { frames, end } = await page.evaluate(() => ({ frames: window.kvgViewer.frameTimes.length, end: performance.now() }));
  await page.mouse.up();
  await page.close();
  return { fps: frames / ((end - start) / 1000), renderMs };
}

async function main() {
  try {
    await measureAll();
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
}

async function measureAll() {
  const maps = { '50m': mapFiles('50m'), '10m': mapFiles('10m') };
  console.log('### Decoding in Node\n');
  console.log(`Node ${process.version}; processor time, median of ${rounds} runs. KVG: the plain file decoded to ` +
    'records (decode), and to the display list the renderer draws (scene); TopoJSON: JSON.parse of the text.\n');
  console.log('| map | KVG points | decode ms | points/s | scene ms | TopoJSON points | JSON.parse ms | points/s |');
  console.log('|---|---:|---:|---:|---:|---:|---:|---:|');
  for (const [scale, map] of Object.entries(maps)) console.log(nodeRow(scale, map));
  if (only === '--node-only') return;

  await benchPage();
  const browser = await launch();
  const server = await serve({ '/bench/': `${work}/`, '/files/': `${work}/`, '/viewer/': `${dirname(viewerPage)}/` });
  try {
    const page = await browser.newPage();
    await page.goto(`${server.url}/bench/bench.html`);
    const version = browser.context.browser()?.version() ?? '';
    console.log(`\n### From bytes to a drawn canvas in Chromium ${version}\n`);
    console.log(`1000 × 500 canvas, median (fastest) of ${rounds} runs in one page, all formats in the same run; ` +
      'gzip inflated in the page with DecompressionStream and counted in the time.\n');
    console.log('| map | format | bytes transferred | × KVG gzip | ms to canvas | fastest ms |');
    console.log('|---|---|---:|---:|---:|---:|');
    for (const [scale, map] of Object.entries(maps)) {
      const kvgGzip = map.files[1][3].length;
      for (const [label, format, gz] of map.files) {
        const r = await page.evaluate(([u, f, g, n]) => window.measure(u, f, g, n),
          [`/files/${scale}-${label.replace(/\W+/g, '-')}`, format, gz, rounds]);
        console.log(`| countries-${scale} | ${label} | ${r.bytes} | ${(r.bytes / kvgGzip).toFixed(2)} | ` +
          `${r.median.toFixed(1)} | ${r.best.toFixed(1)} |`);
      }
    }
    await page.close();
    const pan = await panning(browser, server, basename(join(work, 'countries-10m.kvg')));
    console.log(`\n### Panning the 1:10m map in the viewer\n`);
    console.log(`${pan.fps.toFixed(1)} frames per second while dragging (300 pointer moves); ` +
      `a full redraw of the 1000 × 500 view with its margin takes ${pan.renderMs.toFixed(0)} ms.`);
  } finally {
    await browser.close();
    await server.close();
  }
}

await main();
