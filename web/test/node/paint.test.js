// The paint of the renderer: colours of every colour size and dash patterns.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { dashes, resolve } from '../../src/paint.js';
import { ColorSize } from '../../src/format.js';

test('colours of every colour size as 8-bit RGBA', () => {
  const palette = { colors: Uint32Array.of(0xffffff, 0x102030, 0x11223380), length: 2, colorSize: ColorSize.RGB };
  const cases = [
    [ColorSize.INDEX1, 1, [0x10, 0x20, 0x30, 255]],
    [ColorSize.INDEX8, 2, [0, 0, 0, 255]], // beyond the palette: black
    [ColorSize.GRAY8, 0x80, [0x80, 0x80, 0x80, 255]],
    [ColorSize.GRAY12, 0x800, [128, 128, 128, 255]], // (2048 * 255 + 2047) / 4095, rounded
    [ColorSize.GRAY16, 0xffff, [255, 255, 255, 255]],
    [ColorSize.GA, 0x8000ffff >>> 0, [128, 128, 128, 255]],
    [ColorSize.RGB, 0x123456, [0x12, 0x34, 0x56, 255]],
    [ColorSize.RGBA, 0x1234567f, [0x12, 0x34, 0x56, 0x7f]],
  ];
  for (const [size, value, rgba] of cases) assert.deepEqual(resolve({ value, size }, palette), rgba, `size ${size}`);
  const rgbaPalette = { colors: Uint32Array.of(0x11223380), length: 1, colorSize: ColorSize.RGBA };
  assert.deepEqual(resolve({ value: 0, size: ColorSize.INDEX8 }, rgbaPalette), [0x11, 0x22, 0x33, 0x80]);
});

test('dash patterns start at a dash after a gap and put bit 0 at the line start', () => {
  assert.deepEqual(dashes(0xf0f0, 1), { array: [4, 4, 4, 4], offset: 0 });
  assert.deepEqual(dashes(0x0f0f, 1), { array: [4, 4, 4, 4], offset: 12 });
  assert.deepEqual(dashes(0xff00, 2.5), { array: [20, 20], offset: 0 });
  assert.deepEqual(dashes(0x8001, 1), { array: [2, 14], offset: 1 });
  assert.deepEqual(dashes(0xffff, 1), { array: [], offset: 0 });
  assert.equal(dashes(0, 1), undefined);
});
