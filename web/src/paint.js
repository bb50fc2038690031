// The paint a drawing is made with: colours of every colour size as CSS colours, image pixels
// as RGBA, dash patterns as dash arrays, and the geometry of arrow heads and marks.
import { ColorSize } from './format.js';
import { imagePixel } from './payload.js';

/** @typedef {[number, number, number, number]} Rgba 8-bit red, green, blue, alpha */

/** A level of `max` + 1 steps as 8 bits, rounded. */
const level = (value, max) => Math.floor((value * 255 + Math.floor(max / 2)) / max);

/**
 * A colour of any colour size as 8-bit RGBA; an index is looked up in the palette (an index
 * beyond it reads as black).
 * @param {{value: number, size: number}} color
 * @param {{colors: Uint32Array, length: number, colorSize: number}} palette
 * @returns {Rgba}
 */
export function resolve(color, palette) {
  const v = color.value;
  switch (color.size) {
    case ColorSize.INDEX1:
    case ColorSize.INDEX8:
      if (v >= palette.length) return [0, 0, 0, 255];
      return resolve({ value: palette.colors[v], size: palette.colorSize }, palette);
    case ColorSize.GRAY8: return [v & 255, v & 255, v & 255, 255];
    case ColorSize.GRAY12: {
      const g = level(v & 0xfff, 0xfff);
      return [g, g, g, 255];
    }
    case ColorSize.GRAY16: {
      const g = level(v & 0xffff, 0xffff);
      return [g, g, g, 255];
    }
    case ColorSize.GA: {
      const g = level(v >>> 16, 0xffff);
      return [g, g, g, level(v & 0xffff, 0xffff)];
    }
    case ColorSize.RGB: return [(v >> 16) & 255, (v >> 8) & 255, v & 255, 255];
    default: return [v >>> 24, (v >> 16) & 255, (v >> 8) & 255, v & 255];
  }
}

/** @param {Rgba} c */
export const css = (c) => (c[3] === 255 ? `rgb(${c[0]},${c[1]},${c[2]})`
  : `rgba(${c[0]},${c[1]},${c[2]},${c[3] / 255})`);

/** Pixels an image's canvas holds at most; a larger image is sampled down to it. */
export const MAX_CANVAS_PIXELS = 2 ** 22;

/**
 * The size of the canvas an image is painted into: the image's own, or for an image of more
 * than MAX_CANVAS_PIXELS every `step`-th pixel on both axes, so that a page shows any image
 * in bounded memory and time.
 * @param {{width: number, height: number}} image
 */
export function canvasSize(image) {
  const step = Math.max(1, Math.ceil(Math.sqrt((image.width * image.height) / MAX_CANVAS_PIXELS)));
  return { width: Math.ceil(image.width / step), height: Math.ceil(image.height / step), step };
}

/**
 * The pixels of an image definition as RGBA at the canvas size, row after row in file order
 * (the first row is the bottom row of the picture), nearest neighbour where sampled down.
 * @param {{width: number, height: number, colorSize: number, packed: Uint8Array,
 *          palette: {value: number, size: number}[]}} image
 * @param {{width: number, height: number, step: number}} size
 */
export function imageRgba(image, size = canvasSize(image)) {
  const colors = new Uint32Array(256);
  image.palette.forEach((entry, i) => { colors[i] = entry.value; });
  const palette = {
    colors, length: image.palette.length,
    colorSize: image.palette.length > 0 ? image.palette[0].size : ColorSize.RGB,
  };
  const rgba = new Uint8ClampedArray(size.width * size.height * 4);
  for (let y = 0, out = 0; y < size.height; ++y) {
    const row = y * size.step * image.width;
    for (let x = 0; x < size.width; ++x, out += 4) {
      const value = imagePixel(image, row + x * size.step);
      rgba.set(resolve({ value, size: image.colorSize }, palette), out);
    }
  }
  return rgba;
}

/**
 * A 16-bit dash pattern, most significant bit first (set bits draw), each bit `bit` long:
 * the dash array that starts at a dash following a gap, and the offset that puts the pattern's
 * first bit at the start of the line. Undefined for the pattern 0, which draws nothing; an
 * empty array for a solid line.
 * @returns {{array: number[], offset: number}|undefined}
 */
export function dashes(pattern, bit) {
  if (pattern === 0) return undefined;
  if (pattern === 0xffff) return { array: [], offset: 0 };
  const on = (i) => ((pattern >> (15 - (((i % 16) + 16) % 16))) & 1) !== 0;
  let first = 0;
  while (!(on(first) && !on(first - 1))) ++first;
  const array = [];
  for (let i = first, run = 0; i < first + 16; ++i) {
    ++run;
    if (i + 1 === first + 16 || on(i + 1) !== on(i)) {
      array.push(run * bit);
      run = 0;
    }
  }
  return { array, offset: ((16 - first) % 16) * bit };
}

/**
 * Arrow heads (line decorations ARROW to OVAL_ARROW) in a 10 x 10 box, pointing along +x with
 * their tip at x = 10; `refX` is where the head meets the end of the line. The oval is a circle
 * filling the box; an open head is stroked 1.5 wide.
 */
export const HEADS = [
  { corners: [[0, 0], [10, 5], [0, 10]], open: false, refX: 10 }, // ARROW
  { corners: [[0, 0], [10, 5], [0, 10]], open: true, refX: 10 }, // OPEN_ARROW
  { corners: [[0, 0], [10, 5], [0, 10], [3, 5]], open: false, refX: 10 }, // STEALTH_ARROW
  { corners: [[0, 5], [5, 0], [10, 5], [5, 10]], open: false, refX: 5 }, // DIAMOND_ARROW
  { corners: [], open: false, refX: 5 }, // OVAL_ARROW
];
/** The head's box is this many line widths wide. */
export const HEAD_WIDTHS = 4;

/**
 * The geometry of each mark type, one unit wide and centred on the origin: SVG path data, and
 * whether it is stroked (0.14 wide) or filled.
 */
export const MARKS = [
  { d: 'M-.5 0H.5M0-.5V.5', stroked: true }, // PLUS
  { d: 'M-.5 0H.5M0-.5V.5M-.35-.35L.35 .35M-.35 .35L.35-.35', stroked: true }, // STAR
  { d: 'M.5 0A.5 .5 0 1 1-.5 0A.5 .5 0 1 1 .5 0Z', stroked: false }, // CIRCLE
  { d: 'M-.4-.4L.4 .4M-.4 .4L.4-.4', stroked: true }, // X
  { d: 'M-.5-.5H.5V.5H-.5Z', stroked: false }, // BOX
  { d: 'M0-.5L.5 0L0 .5L-.5 0Z', stroked: false }, // DIAMOND
  { d: 'M.43 0A.43 .43 0 1 1-.43 0A.43 .43 0 1 1 .43 0Z', stroked: true }, // HOLLOW_CIRCLE
  { d: 'M-.43-.43H.43V.43H-.43Z', stroked: true }, // HOLLOW_BOX
  { d: 'M0-.45L.45 0L0 .45L-.45 0Z', stroked: true }, // HOLLOW_DIAMOND
];
export const MARK_STROKE = 0.14;
