// The display list: what hovering reports, and the bounds on the points and figures a drawing
// may build.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { PAGE_LIMITS, buildScene } from '../../src/scene.js';

// A plain file by hand: 16-bit points and relative points, a 200 x 100 mm page.
const size = (n) => (n < 0x80 ? [n] : n < 0x4000 ? [0x80 | (n >> 8), n & 255] : [0xc0 | (n >> 16), (n >> 8) & 255, n & 255]);
const text = (s) => [...size(s.length), ...Buffer.from(s)];
const HEADER = [0x4b, 0x56, 0x47, 0x98, 0xe1, 0, 0, 4, 16, 16, 100, 100, -50 & 255, -50 & 255, 50, 50, 100, 100, 255, 255, 255];
const edge = (x, y, steps) => [59, x & 255, y & 255, 1, 16, ...size(steps.length / 2), ...steps.map((v) => v & 255)];
const face = (edges, holes) => [60, ...size(edges.length), ...edges.map((e) => e & 127), ...size(holes.length), ...holes.flatMap(size)];
const CLOSE = [93, 6, 80, 88];
const layer = (name) => [1, 0b11000000, ...text(name)];
const object = (name) => [2, ...text(name)];
const fillFace = (id) => [63, ...size(id)];

test('hovering reports the face, its object and its layer', () => {
  const bytes = Uint8Array.from([...HEADER, ...edge(-10, -10, [20, 0, 0, 20, -20, 0, 0, -20]),
    ...face([1], []), ...CLOSE, ...layer('land'), ...object('island'), ...fillFace(0), ...object(''),
    ...fillFace(0)]);
  const scene = buildScene(bytes);
  assert.equal(scene.error, undefined);
  assert.deepEqual(scene.layers.map((l) => l.name), ['land']);
  assert.deepEqual(scene.layers[0].items.map((i) => i.hit),
    [{ kind: 'face', id: 0, object: 'island', layer: 'land' }, { kind: 'face', id: 0, object: undefined, layer: 'land' }]);
});

test('faces whose holes have holes are refused beyond the bound', () => {
  // Face k has face k - 1 as its hole: filling face k builds all k rings.
  const faces = 500;
  const definitions = [];
  for (let k = 0; k < faces; ++k) definitions.push(...face([1], k === 0 ? [] : [k - 1]));
  const fills = [];
  for (let k = 0; k < faces; ++k) fills.push(...fillFace(faces - 1));
  const zigzag = Array.from({ length: 2000 }, (_, i) => (i % 4 < 2 ? 1 : -1));
  const bytes = Uint8Array.from([...HEADER, ...edge(0, 0, zigzag), ...definitions, ...CLOSE,
    ...layer('deep'), ...fills]);
  const scene = buildScene(bytes);
  assert.match(scene.error?.reason ?? '', /^the drawing needs paths of more than \d+ points in all/);
});

test('a page holds a bounded number of figures', () => {
  const marks = Array.from({ length: 1001 }, () => [48, 1, 2]).flat();
  const bytes = Uint8Array.from([...HEADER, ...CLOSE, ...layer('many'), ...marks]);
  assert.equal(buildScene(bytes, { ...PAGE_LIMITS, items: 1001 }).error, undefined);
  assert.deepEqual(buildScene(bytes, { ...PAGE_LIMITS, items: 1000 }).error,
    { offset: 32 + 3 * 1000, reason: 'the drawing has more than 1000 figures to paint; not drawn' });
});
