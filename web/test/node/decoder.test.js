// The decoder against the C reader: every file of the test corpus (the demonstration drawing,
// the fuzz corpus's files, an imported map) and damaged copies of each decode to the same
// records and the same verdict as `kvg dump --json` gives.
import assert from 'node:assert/strict';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';
import { after, describe, test } from 'node:test';

import { decode, errorMessage, plainBytes } from '../../src/index.js';
import { Cursor } from '../../src/cursor.js';
import { ANGLE_FIELDS, dumpJson } from './dump-json.js';
import { cDump, corpusSettings, damaged, kvgFiles } from './corpus.js';

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

const settings = corpusSettings();

describe('decoder and C reader agree', { skip: settings === undefined && 'KVG_BIN and KVG_CORPUS not set' }, () => {
  const files = settings ? kvgFiles(settings.dir) : [];
  const scratch = mkdtempSync(join(tmpdir(), 'kvg-web-'));
  after(() => rmSync(scratch, { recursive: true, force: true }));

  test('the corpus is there', () => assert.ok(files.length >= 10, `${files.length} files`));

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
