// Decode time per tile in Node: KVG tiles of an archive through the web client's decoder (its
// records alone, and the scene the viewer draws from them) against GDAL's Mapbox Vector Tiles of the same squares through
// @mapbox/vector-tile and pbf, every feature's geometry and properties read (the MVT reader is
// lazy: a tile left unread costs nothing). Only tiles both tilers wrote are timed; the two are
// timed tile by tile in turn so that the machine's noise falls on both alike.
//
//   node decode.mjs ARCHIVE.pmtiles MVT_DIR [MAX_ZOOM]
import { VectorTile } from '@mapbox/vector-tile';
import { PbfReader } from 'pbf';

import { Decoder, LIMITS, buildScene } from '../../web/src/index.js';
import { tilePairs } from './tile_pairs.mjs';

const [archivePath, mvtDir, maxZoomArg] = process.argv.slice(2);
const MIN_SAMPLE_MS = 5; // each tile decoded in loops of at least this long
const ROUNDS = 5; // loops per tile and tiler; the fastest counts

function decodeRecords(bytes) {
  const decoder = new Decoder(bytes, LIMITS);
  let records = 0;
  while (decoder.next() !== undefined) ++records;
  if (decoder.error) throw new Error(`KVG tile: ${decoder.error.reason}`);
  return records;
}

function decodeScene(bytes) {
  const scene = buildScene(bytes);
  if (scene.error) throw new Error(`KVG tile: ${scene.error.reason}`);
  return scene;
}

function decodeMvt(bytes) {
  const tile = new VectorTile(new PbfReader(bytes));
  let points = 0;
  for (const layer of Object.values(tile.layers)) {
    for (let i = 0; i < layer.length; ++i) {
      const feature = layer.feature(i);
      for (const ring of feature.loadGeometry()) points += ring.length;
    }
  }
  return points;
}

/** Microseconds per call of `decode(bytes)`: the fastest of ROUNDS loops. */
function time(decode, bytes, reps) {
  let best = Infinity;
  for (let round = 0; round < ROUNDS; ++round) {
    const start = process.hrtime.bigint();
    for (let i = 0; i < reps; ++i) decode(bytes);
    best = Math.min(best, Number(process.hrtime.bigint() - start) / 1e3 / reps);
  }
  return best;
}

/** Calls per loop so that a loop lasts MIN_SAMPLE_MS. */
function repetitions(decode, bytes) {
  const start = process.hrtime.bigint();
  decode(bytes);
  const ms = Number(process.hrtime.bigint() - start) / 1e6;
  return Math.max(1, Math.ceil(MIN_SAMPLE_MS / Math.max(ms, 1e-3)));
}

const median = (values) => {
  const s = [...values].sort((a, b) => a - b);
  return s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
};
const percentile = (values, q) => [...values].sort((a, b) => a - b)[Math.max(0, Math.ceil(q * values.length) - 1)];

const DECODERS = [
  { key: 'records', name: 'KVG records (web/src, Decoder.next)', decode: decodeRecords, format: 'kvg' },
  { key: 'scene', name: 'KVG scene (web/src, buildScene)', decode: decodeScene, format: 'kvg' },
  { key: 'mvt', name: 'MVT (@mapbox/vector-tile + pbf, loadGeometry)', decode: decodeMvt, format: 'mvt' },
];

const { archive, pairs } = await tilePairs(archivePath, mvtDir, 0, Number(maxZoomArg ?? Infinity));
const maxZoom = Math.max(...pairs.map((p) => p.z));
const rows = pairs.map((pair) => Object.fromEntries(DECODERS.map(({ key, decode, format }) =>
  [key, time(decode, pair[format], repetitions(decode, pair[format]))])));

const column = (key) => rows.map((r) => r[key]);
const fmt = (v) => v.toFixed(1);
console.log(`${rows.length} tiles of zooms ${archive.minZoom}-${maxZoom} written by both; decode µs per tile (plain bytes, gzip undone beforehand)`);
console.log('| decoder | median µs | 99th percentile µs | total ms | median plain bytes |');
console.log('|---|---|---|---|---|');
for (const { key, name, format } of DECODERS) {
  const t = column(key);
  console.log(`| ${name} | ${fmt(median(t))} | ${fmt(percentile(t, 0.99))} | ${fmt(t.reduce((a, b) => a + b, 0) / 1e3)} | ${median(pairs.map((p) => p[format].length))} |`);
}
console.log();
for (const { key, name } of DECODERS.slice(0, 2)) {
  const ratios = rows.map((r) => r.mvt / r[key]);
  console.log(`${name} speed-up over MVT (MVT time / KVG time): ${(median(column('mvt')) / median(column(key))).toFixed(2)} at the median, ` +
    `${median(ratios).toFixed(2)} the median of per-tile ratios (${percentile(ratios, 0.01).toFixed(2)} to ${percentile(ratios, 1).toFixed(2)})`);
}
