// Constants of the KVG format: record codes, encoding sizes, the ranges of enumerated
// arguments and the defaults of the graphic state.

/** Record codes: the first byte of every record. */
export const Code = Object.freeze({
  EXTENSION: 0,
  LAYER: 1,
  OBJECT: 2,
  POLYLINE: 16,
  DRAW_POLYGON: 17,
  DRAW_CUBIC_BEZIER: 18,
  DRAW_ARC: 19,
  FILL_POLYGON: 20,
  FILL_CUBIC_BEZIER: 21,
  FILL_ARC: 22,
  TEXT: 23,
  SHAPE: 24,
  IMAGE: 25,
  MARK: 48,
  LINE: 49,
  DRAW_BOX: 50,
  DRAW_CIRCLE: 51,
  DRAW_ELLIPSE: 52,
  FILL_BOX: 53,
  FILL_CIRCLE: 54,
  FILL_ELLIPSE: 55,
  STAMP_SHAPE: 56,
  REPEAT_SHAPE: 57,
  FULL_IMAGE: 58,
  SET_EDGE: 59,
  SET_FACE: 60,
  DRAW_EDGE: 61,
  DRAW_EDGE_RANGE: 62,
  FILL_FACE: 63,
  POINT_SIZE_FIRST: 80, // 80 + i sets POINT_SIZES[i]
  POINT_SIZE_LAST: 84,
  REL_POINT_SIZE_FIRST: 85, // 85 + i sets REL_POINT_SIZES[i]
  REL_POINT_SIZE_LAST: 92,
  COLOR_SIZE: 93,
  BLEND_MODE: 94,
  LINE_COLOR: 95,
  LINE_DASHES: 96,
  LINE_STYLE: 97,
  MARK_COLOR: 98,
  MARK_STYLE: 99,
  FILL_COLOR: 100,
  GRADIENT_FILL: 101,
  TEXTURE_FILL: 102,
  STRETCHED_TEXTURE_FILL: 103,
  IMAGE_STRETCH_MODE: 104,
  TEXT_COLOR: 105,
  FONT: 106,
  TEXT_ALIGNMENT: 107,
  PALETTE: 108,
  SET_IMAGE: 109,
  BEGIN_SET_SHAPE: 111,
  END_SET_SHAPE: 112,
});

/** Encoding sizes in bits, in the order of their size-record codes. */
export const POINT_SIZES = Object.freeze([16, 24, 32, 64, 128]);
export const REL_POINT_SIZES = Object.freeze([3, 6, 8, 16, 24, 32, 64, 128]);

/** Colour sizes; INDEX1 and INDEX8 index the palette. */
export const ColorSize = Object.freeze({
  INDEX1: 0, INDEX8: 1, GRAY8: 2, GRAY12: 3, GRAY16: 4, GA: 5, RGB: 6, RGBA: 7,
});
export const COLOR_SIZE_COUNT = 8;
export const COLOR_SIZE_NAMES = Object.freeze(
  ['index1', 'index8', 'gray8', 'gray12', 'gray16', 'ga', 'rgb', 'rgba']);
/** Bits one colour takes in each colour size. */
export const COLOR_BITS = Object.freeze([1, 8, 8, 12, 16, 32, 24, 32]);

/** @param {number} size */
export const isIndexColorSize = (size) => size === ColorSize.INDEX1 || size === ColorSize.INDEX8;

/** The eight bytes that open every file. */
export const SIGNATURE = Object.freeze([0x4b, 0x56, 0x47, 0x98, 0xe1, 0x00, 0x00, 0x04]);

/**
 * What decoding one file may spend, as the C reader's limits (and its defaults): decompressed
 * bytes of content, points decoded in the whole file, pixels of one image, objects open inside
 * one another. Reaching one is a fault of the file, as in the C reader.
 */
export const LIMITS = Object.freeze({
  contentBytes: 2 ** 30, points: 2 ** 28, imagePixels: 2 ** 28, depth: 256,
});

/** "No shape drawn yet": one more than the largest identifier. */
export const NO_SHAPE = 4194304;
export const PALETTE_CAPACITY = 256;

/** Largest value of each enumerated argument. */
export const MAX_BLEND_MODE = 7;
export const MAX_JOINT_STYLE = 3;
export const MAX_LINE_DECORATION = 5;
export const MAX_MARK_TYPE = 8;
export const MAX_STRETCH_MODE = 1;
export const MAX_FONT_TYPEFACE = 3;
export const MAX_FONT_STYLE = 3;
export const MAX_TEXT_ALIGNMENT = 11;

/** Defaults of the graphic state at the start of a stream and after every layer record. */
export const DEFAULT_BLEND_MODE = 2;
export const DEFAULT_DASHES = 0xffff;
export const DEFAULT_LINE_WEIGHT = 1;
export const DEFAULT_FONT_SIZE = 1;
export const DEFAULT_TEXT_ALIGNMENT = 10;
export const DEFAULT_PALETTE_WHITE = 0xffffff;
export const DEFAULT_PALETTE_LENGTH = 2;

const NAMES = [
  [Code.EXTENSION, 'extension'], [Code.LAYER, 'layer'], [Code.OBJECT, 'object'],
  [Code.POLYLINE, 'polyline'], [Code.DRAW_POLYGON, 'draw-polygon'],
  [Code.DRAW_CUBIC_BEZIER, 'draw-cubic-bezier'], [Code.DRAW_ARC, 'draw-arc'],
  [Code.FILL_POLYGON, 'fill-polygon'], [Code.FILL_CUBIC_BEZIER, 'fill-cubic-bezier'],
  [Code.FILL_ARC, 'fill-arc'], [Code.TEXT, 'text'], [Code.SHAPE, 'shape'], [Code.IMAGE, 'image'],
  [Code.MARK, 'mark'], [Code.LINE, 'line'], [Code.DRAW_BOX, 'draw-box'],
  [Code.DRAW_CIRCLE, 'draw-circle'], [Code.DRAW_ELLIPSE, 'draw-ellipse'],
  [Code.FILL_BOX, 'fill-box'], [Code.FILL_CIRCLE, 'fill-circle'],
  [Code.FILL_ELLIPSE, 'fill-ellipse'], [Code.STAMP_SHAPE, 'stamp-shape'],
  [Code.REPEAT_SHAPE, 'repeat-shape'], [Code.FULL_IMAGE, 'full-image'],
  [Code.SET_EDGE, 'set-edge'], [Code.SET_FACE, 'set-face'], [Code.DRAW_EDGE, 'draw-edge'],
  [Code.DRAW_EDGE_RANGE, 'draw-edge-range'], [Code.FILL_FACE, 'fill-face'],
  [Code.COLOR_SIZE, 'color-size'], [Code.BLEND_MODE, 'blend-mode'],
  [Code.LINE_COLOR, 'line-color'], [Code.LINE_DASHES, 'line-dashes'],
  [Code.LINE_STYLE, 'line-style'], [Code.MARK_COLOR, 'mark-color'],
  [Code.MARK_STYLE, 'mark-style'], [Code.FILL_COLOR, 'fill-color'],
  [Code.GRADIENT_FILL, 'gradient-fill'], [Code.TEXTURE_FILL, 'texture-fill'],
  [Code.STRETCHED_TEXTURE_FILL, 'stretched-texture-fill'],
  [Code.IMAGE_STRETCH_MODE, 'image-stretch-mode'], [Code.TEXT_COLOR, 'text-color'],
  [Code.FONT, 'font'], [Code.TEXT_ALIGNMENT, 'text-alignment'], [Code.PALETTE, 'palette'],
  [Code.SET_IMAGE, 'set-image'], [Code.BEGIN_SET_SHAPE, 'begin-set-shape'],
  [Code.END_SET_SHAPE, 'end-set-shape'],
];

/** @type {(string|undefined)[]} */
const NAME_OF = new Array(256);
for (const [code, name] of NAMES) NAME_OF[code] = name;
for (let c = Code.POINT_SIZE_FIRST; c <= Code.POINT_SIZE_LAST; ++c) NAME_OF[c] = 'point-size';
for (let c = Code.REL_POINT_SIZE_FIRST; c <= Code.REL_POINT_SIZE_LAST; ++c) {
  NAME_OF[c] = 'rel-point-size';
}

/**
 * The name of a record code ("polyline", "set-edge", ...), or undefined for an unknown code.
 * @param {number} code
 */
export const recordName = (code) => NAME_OF[code];
