// The decoder against the C reader: every file of the test corpus (the demonstration drawing,
// the fuzz corpus's files, an imported map) and damaged copies of each decode to the same
// records and the same verdict as `kvg dump --json` gives.
import assert from 'node:assert/strict';
import { mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';
import { after, describe, test } from 'node:test';

import { Decoder, buildScene, decode, errorMessage, plainBytes } from '../../src/index.js';
import { SIGNATURE } from '../../src/format.js';
import { MAX_CANVAS_PIXELS, canvasSize, imageRgba } from '../../src/paint.js';
import { imagePixel } from '../../src/payload.js';
import { Cursor, Fault } from '../../src/cursor.js';
import { ANGLE_FIELDS, dumpJson } from './dump-json.js';
import { cDump, cDumps, corpusSettings, damaged, kvgFiles } from './corpus.js';

/** Equal, angles within a few units of the last place (libm and V8 round atan2 apart). */
function same(actual, expected, path = '') {
  if (typeof expected === 'number' && typeof actual === 'number' && ANGLE_FIELDS.has(path)) {
    assert.ok(Math.abs(actual - expected) <= 1e-9 * Math.max(1, Math.abs(expected)),
      `${path}: ${actual} != ${expected}`);
    return;
  }
  if (expected !== null && typeof expected === 'object') {
    assert.equal(typeof actual, 'object', path);
    assert.deepEqual(Object.keys(actual).sort(), Object.keys(expected).sort(), path);
    for (const key of Object.keys(expected)) same(actual[key], expected[key], Array.isArray(expected) ? path : key);
    return;
  }
  assert.ok(Object.is(actual, expected), `${path}: ${actual} != ${expected}`);
}

function compare(bytes, reference, label) {
  const result = decode(bytes);
  const ours = result.records.map((r) => dumpJson(r, result.page));
  assert.equal(ours.length, reference.records.length, `${label}: record count`);
  ours.forEach((record, i) => same(record, reference.records[i], ''));
  assert.equal(result.error && errorMessage(result.error), reference.error, `${label}: verdict`);
}

// Where the C reader finds a fault of the gzip stream depends on how much it has inflated so
// far: the offset of such a fault is the C reader's own, its reason the same.
const COMPRESSION_FAULTS = /^offset \d+: ((?:truncated|corrupt) compressed data.*|a second compressed stream.*|data after the end of the compressed stream)$/;

/**
 * A stranger's file inflated as the page inflates it, or undefined when that failed with the
 * C reader's verdict `expected` (a Fault, never another error).
 */
async function inflated(path, expected) {
  try {
    return await plainBytes(readFileSync(path));
  } catch (e) {
    assert.ok(e instanceof Fault, `${path}: ${e}`);
    assert.equal(e.reason, expected?.match(COMPRESSION_FAULTS)?.[1] ?? expected, `${path}: verdict`);
    return undefined;
  }
}

/** The verdict alone, the records walked and let go: a fuzzed input may hold millions. */
async function compareVerdict(path, expected) {
  const bytes = await inflated(path, expected);
  if (bytes === undefined) return;
  const decoder = new Decoder(bytes);
  while (decoder.next() !== undefined);
  assert.equal(decoder.error && errorMessage(decoder.error), expected, `${path}: verdict`);
}

/** A stranger's file: its records and verdict. */
async function compareFile(path, reference) {
  const bytes = await inflated(path, reference.error);
  if (bytes !== undefined) compare(bytes, reference, path);
}

const settings = corpusSettings();

describe('decoder and C reader agree', { skip: settings === undefined && 'KVG_BIN and KVG_CORPUS not set' }, () => {
  const files = settings ? kvgFiles(settings.dir) : [];
  const scratch = mkdtempSync(join(tmpdir(), 'kvg-web-'));
  after(() => rmSync(scratch, { recursive: true, force: true }));

  test('the corpus is there', () => assert.ok(files.length >= 10, `${files.length} files`));

  // The reader's fuzz corpus and the hostile files, and the inputs of a fuzzing run in
  // KVG_REPLAY_DIR (.ci/run): the same records and verdicts, and no failure other than a fault
  // of the file.
  test('strangers\' files', async () => {
    const strangers = settings ? kvgFiles(join(settings.dir, 'strangers')) : [];
    assert.ok(strangers.length > 200, `${strangers.length} files`);
    const references = await cDumps(settings.kvg, strangers);
    for (const [i, path] of strangers.entries()) await compareFile(path, references[i]);
    const replay = process.env.KVG_REPLAY_DIR;
    if (!replay) return;
    const inputs = readdirSync(replay).sort().map((f) => join(replay, f));
    const verdicts = await cDumps(settings.kvg, inputs, false);
    for (const [i, path] of inputs.entries()) await compareVerdict(path, verdicts[i].error);
  });

  for (const path of files) {
    test(basename(path), async () => {
      const bytes = await plainBytes(readFileSync(path));
      compare(bytes, cDump(settings.kvg, path), path);
      damaged(bytes, bytes.length).forEach(([name, copy]) => {
        const target = join(scratch, `${basename(path)}-${name}`);
        writeFileSync(target, copy);
        compare(copy, cDump(settings.kvg, target), target);
      });
    });
  }
});

describe('budgets', { skip: settings === undefined && 'KVG_BIN and KVG_CORPUS not set' }, () => {
  const stranger = async (name) => plainBytes(readFileSync(join(settings.dir, 'strangers', name)));
  const verdict = (bytes, limits) => errorMessage(decode(bytes, limits).error);

  test('points, image pixels, depth and content stop the decoder as they stop the C reader', async () => {
    const marks = await stranger('marks-20000.kvg');
    assert.equal(decode(marks, { points: 20000 }).error, undefined);
    assert.match(verdict(marks, { points: 1000 }), /^offset \d+: mark: more than 1000 points$/);
    assert.equal(verdict(await stranger('image-512-1bit.kvg'), { imagePixels: 1000 }),
      'offset 31: set-image: image of 262144 pixels beyond the limit of 1000');
    assert.match(verdict(await stranger('objects-nested-257.kvg'), { depth: 10 }),
      /^offset \d+: object: objects nested deeper than 10$/);
    assert.equal(verdict(marks, { contentBytes: 1000 }), 'offset 1000: content beyond the limit of 1000 bytes');
    const packed = readFileSync(join(settings.dir, 'strangers', 'marks-20000.kvg'));
    await assert.rejects(plainBytes(packed, { contentBytes: 1000 }),
      (e) => e instanceof Fault && e.reason === 'content beyond the limit of 1000 bytes');
  });

  test('a large image is kept as stored and painted sampled down', () => {
    // One 8192 x 8192 image of 1-bit indexes: 8 MiB as stored, 64 M pixels.
    const side = 8192;
    const int16s = (...v) => v.flatMap((x) => [(x >> 8) & 255, x & 255]);
    const head = [...SIGNATURE, 32, 32, ...int16s(4096, 4096, -2048, -2048, 2048, 2048, 100, 100), 255, 255, 255,
      0x5d, 0, 0x6d, ...int16s(side, side)];
    const tail = [0x5d, 6, 0x52, 0x5a, 0x01, 0xc0, 0x01, 0x4c, 0x3a, 0, ...int16s(0, 0, 10, 10)];
    const bytes = new Uint8Array(head.length + side * side / 8 + tail.length);
    bytes.set(head);
    bytes[head.length + 5] = 0x80; // pixel 40 of the first row is index 1
    bytes.set(tail, bytes.length - tail.length);
    const before = process.memoryUsage().arrayBuffers;
    const scene = buildScene(bytes);
    assert.equal(scene.error, undefined);
    const image = scene.images[0];
    assert.equal(image.packed.buffer, bytes.buffer); // a view, not a copy
    assert.equal(imagePixel(image, 40), 1);
    assert.equal(imagePixel(image, 41), 0);
    const size = canvasSize(image);
    assert.deepEqual(size, { width: 2048, height: 2048, step: 4 });
    assert.equal(imageRgba(image, size).length, 4 * MAX_CANVAS_PIXELS);
    assert.ok(process.memoryUsage().arrayBuffers - before < 64 * 2 ** 20);
  });
});

describe('bit cursor', () => {
  test('3- and 6-bit points run across bytes; the padding must be zero', () => {
    // Codes 0, 2, 5 (3 bits each) then a 6-bit (3, -4) and padding.
    const bits = '000' + '010' + '101' + '011100' + '0';
    const bytes = new Uint8Array(bits.length / 8).map((_, i) => parseInt(bits.slice(8 * i, 8 * i + 8), 2));
    const c = new Cursor(bytes, 0);
    assert.deepEqual(Array.from(c.relPoints(3, 3)), [1, 0, 0, 1, -1, -1]);
    assert.deepEqual(c.relPoint(6), { x: 3, y: -4 });
    c.align();
    assert.equal(c.end(), 2);
    const dirty = new Cursor(Uint8Array.of(0b00000001), 0);
    dirty.bits(3);
    assert.throws(() => dirty.align(), /non-zero padding bits in byte 0/);
  });

  test('sizes and signed identifiers refuse longer forms than needed', () => {
    assert.equal(new Cursor(Uint8Array.of(0xbf, 0xff), 0).size(), 16383);
    assert.equal(new Cursor(Uint8Array.of(0xff, 0xff, 0xff), 0).size(), 4194303);
    assert.throws(() => new Cursor(Uint8Array.of(0x80, 0x7f), 0).size(), /shortest form/);
    assert.equal(new Cursor(Uint8Array.of(0x40), 0).sidentifier(), -64);
    assert.equal(new Cursor(Uint8Array.of(0xa0, 0x00), 0).sidentifier(), -8192);
    assert.equal(new Cursor(Uint8Array.of(0xff, 0xdf, 0xff), 0).sidentifier(), -8193);
    assert.throws(() => new Cursor(Uint8Array.of(0xbf, 0xff), 0).sidentifier(), /shortest form/);
  });
});
