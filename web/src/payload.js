// The arguments of each record, decoded given the state in force. Every value that the record
// itself can settle is checked here: sizes, enumerations, extents, counts, palette indexes.
import { invalid } from './cursor.js';
import {
  Code, COLOR_BITS, ColorSize, COLOR_SIZE_COUNT, MAX_BLEND_MODE, MAX_FONT_STYLE, MAX_FONT_TYPEFACE,
  MAX_JOINT_STYLE, MAX_LINE_DECORATION, MAX_MARK_TYPE, MAX_STRETCH_MODE, MAX_TEXT_ALIGNMENT,
  NO_SHAPE, POINT_SIZES, REL_POINT_SIZES, isIndexColorSize,
} from './format.js';

/**
 * @typedef {import('./cursor.js').Point} Point
 * @typedef {import('./cursor.js').Cursor} Cursor
 * @typedef {{value: number, size: number}} Color
 * @typedef {{vector: Point, degrees: number}} Angle
 */

const DEGREES_PER_RADIAN = 180 / Math.PI;

/** What a record knows while it decodes its arguments: the decoder's cursor and state. */
export class Context {
  /**
   * @param {Cursor} cursor
   * @param {import('./state.js').StreamState} state
   * @param {typeof import('./format.js').LIMITS} limits
   */
  constructor(cursor, state, limits) {
    this.cursor = cursor;
    this.state = state;
    /** @type {typeof import('./format.js').LIMITS} */
    this.limits = limits;
  }

  point() { return this.cursor.point(this.state.sizes.point); }
  relPoint() { return this.cursor.relPoint(this.state.sizes.relPoint); }
  identifier() { return this.cursor.size(); }

  steps(count, relPointSize, out = undefined, at = 0) {
    if (count > Math.floor(this.cursor.bitsLeft() / relPointSize)) {
      // Cut short: the steps that are there come first, and a non-finite one among them is
      // the fault, as the C reader, reading one step after the other, finds it.
      if (relPointSize >= 64) this.cursor.relPoints(Math.floor(this.cursor.bitsLeft() / relPointSize), relPointSize);
      this.cursor.expect(count, relPointSize);
    }
    return this.cursor.relPoints(count, relPointSize, out, at);
  }

  /** The count of a relative point array, at least 1. */
  stepCount() {
    const count = this.cursor.size();
    if (count === 0) invalid('empty point array');
    return count;
  }

  /** A relative point array: its count, then the points. */
  stepArray(relPointSize) {
    return this.steps(this.stepCount(), relPointSize);
  }

  enumerated(max, what) {
    const value = this.cursor.byte();
    if (value > max) invalid(`invalid ${what} ${value}`);
    return value;
  }

  /**
   * A colour of the current colour size; an index must name an entry of a palette of
   * `paletteLength` colours.
   * @returns {Color}
   */
  color(paletteLength = this.state.graphic.palette.length) {
    const size = this.state.sizes.color;
    const value = this.cursor.color(size);
    if (isIndexColorSize(size) && value >= paletteLength) {
      invalid(`colour index ${value} beyond a palette of ${paletteLength} colours`);
    }
    return { value, size };
  }

  /** @returns {Angle} */
  angle() {
    const vector = onUnitCircle(this.point(), this.state.sizes.point);
    let degrees = Math.atan2(vector.y, vector.x) * DEGREES_PER_RADIAN;
    if (degrees < 0) degrees += 360;
    if (degrees >= 360) degrees = 0; // rounding of a tiny negative angle
    return { vector, degrees };
  }
}

/**
 * An angle is stored as its cosine and sine, scaled and rounded down in the integer point sizes
 * (so less than sqrt(2) off a circle of the scale's radius), in single or double precision in
 * the others: a point far from that circle is no angle.
 * @param {Point} v
 */
function onUnitCircle(v, pointSize) {
  const scale = pointSize === 16 ? 127 : pointSize === 24 ? 2047 : pointSize === 32 ? 32767 : 1;
  const tolerance = pointSize === 64 ? 1e-6 : pointSize === 128 ? 1e-12 : 1.5;
  if (!(Math.abs(Math.hypot(v.x, v.y) - scale) < tolerance)) invalid('angle not on the unit circle');
  return v;
}

/** A box may run either way from its corner, but never with no width or no height. */
function nonZero(extent, what) {
  if (extent.x === 0 || extent.y === 0) invalid(`${what} of 0`);
  return extent;
}

/** @param {Point} extent @param {string} what */
function positive(extent, what) {
  if (!(extent.x > 0 && extent.y > 0)) invalid(`${what} not greater than 0`);
  return extent;
}

function figure(c) {
  const start = c.point();
  return { start, steps: c.stepArray(c.state.sizes.relPoint) };
}

// Per segment two control points and its end point, each the difference from the point
// before it: 3 x segments steps when drawn, one fewer when filled (the last end point is the
// start point).
function cubic(c, filled) {
  const segments = c.cursor.size();
  if (segments === 0) invalid('no curve segment');
  const start = c.point();
  return { start, segments, steps: c.steps(3 * segments - (filled ? 1 : 0), c.state.sizes.relPoint) };
}

function arc(c) {
  const center = c.point();
  const halfSize = positive(c.relPoint(), 'arc size');
  const start = c.angle();
  return { center, halfSize, start, end: c.angle() };
}

function shapeInstance(c) {
  const shape = c.identifier();
  const center = c.point();
  const rotation = c.angle();
  return { shape, center, rotation, halfSize: positive(c.point(), 'shape size') };
}

function imagePart(c) {
  const image = c.identifier();
  const sourceMin = c.point();
  const sourceMax = c.relPoint();
  if (!(sourceMax.x > sourceMin.x && sourceMax.y > sourceMin.y)) invalid('empty source rectangle');
  const corner = c.point();
  return { image, sourceMin, sourceMax, corner, size: positive(c.relPoint(), 'destination size') };
}

function repeatShape(c) {
  const shape = c.state.graphic.lastShape;
  if (shape === NO_SHAPE) invalid('no previous shape to repeat');
  return { shape, at: c.point() };
}

// The segments' steps are gathered in one buffer that grows as needed, and copied out once.
let edgeSteps = new Float64Array(1024);

function edgeDefinition(c) {
  const start = c.point();
  const count = c.cursor.size();
  if (count === 0) invalid('no edge segment');
  // Read one after the other, so that the data, not the count, bounds what is held.
  const segments = [];
  let used = 0;
  for (let i = 0; i < count; ++i) {
    const relPointSize = c.cursor.byte();
    if (!REL_POINT_SIZES.includes(relPointSize)) invalid(`invalid segment size ${relPointSize}`);
    const n = c.stepCount();
    if (n > Math.floor(c.cursor.bitsLeft() / relPointSize)) c.steps(n, relPointSize);
    if (used + 2 * n > edgeSteps.length) {
      const grown = new Float64Array(Math.max(2 * edgeSteps.length, used + 2 * n));
      grown.set(edgeSteps.subarray(0, used));
      edgeSteps = grown;
    }
    c.steps(n, relPointSize, edgeSteps, used);
    used += 2 * n;
    segments.push({ relPointSize, count: n });
  }
  return { start, segments, steps: edgeSteps.slice(0, used) };
}

// Read one after the other, as the C reader reads them: a malformed identifier before the data
// runs out is the fault, and the data, not the count, bounds what is held.
function faceDefinition(c) {
  const edges = [];
  for (let i = c.cursor.size(); i > 0; --i) edges.push(c.cursor.sidentifier());
  const holes = [];
  for (let i = c.cursor.size(); i > 0; --i) holes.push(c.identifier());
  return { edges, holes };
}

function colorSize(c) {
  const size = c.cursor.byte();
  if (size >= COLOR_SIZE_COUNT) invalid(`invalid colour size ${size}`);
  return { size };
}

function lineStyle(c) {
  const joint = c.enumerated(MAX_JOINT_STYLE, 'joint style');
  const begin = c.enumerated(MAX_LINE_DECORATION, 'line begin decoration');
  const end = c.enumerated(MAX_LINE_DECORATION, 'line end decoration');
  return { joint, begin, end, weight: c.cursor.byte() };
}

function gradientFill(c) {
  const p0 = c.point();
  const c0 = c.color();
  const p1 = c.point();
  return { p0, c0, p1, c1: c.color() };
}

function stretchedTextureFill(c) {
  const corner = c.point();
  const size = positive(c.relPoint(), 'texture size');
  return { corner, size, image: c.identifier() };
}

function font(c) {
  const typeface = c.enumerated(MAX_FONT_TYPEFACE, 'font typeface');
  const style = c.enumerated(MAX_FONT_STYLE, 'font style');
  return { typeface, style, size: c.cursor.size() };
}

// In an index colour size the entries index the palette in force, and are checked against the
// length of the new one.
function palette(c) {
  const count = c.cursor.byte() + 1;
  const entries = new Array(count);
  const known = Math.min(count, c.state.graphic.palette.length);
  for (let i = 0; i < count; ++i) entries[i] = c.color(known);
  return { entries };
}

// The pixels are kept as stored, a view of the content (rows from the bottom up, bit-packed
// sizes padded with zero bits at the end): a large image costs its bytes once, and the
// renderer reads what it draws (imagePixel).
function imageDefinition(c) {
  const width = c.cursor.uint16();
  const height = c.cursor.uint16();
  const colorSize = c.state.sizes.color;
  const count = width * height;
  if (count > c.limits.imagePixels) {
    invalid(`image of ${count} pixels beyond the limit of ${c.limits.imagePixels}`);
  }
  const bits = count * COLOR_BITS[colorSize];
  const at = c.cursor.take(Math.ceil(bits / 8));
  const packed = c.cursor.bytes.subarray(at, at + Math.ceil(bits / 8));
  if (bits % 8 !== 0 && (packed[packed.length - 1] & (0xff >> (bits % 8))) !== 0) {
    invalid(`non-zero padding bits in byte ${at + packed.length - 1}`);
  }
  const image = { width, height, colorSize, packed, palette: /** @type {Color[]} */ ([]) };
  if (isIndexColorSize(colorSize)) {
    const inForce = c.state.graphic.palette;
    checkIndexes(image, inForce.length);
    for (let i = 0; i < inForce.length; ++i) image.palette.push(inForce.entry(i));
  }
  return image;
}

/** Every index of an image must name an entry of the palette in force. */
function checkIndexes(image, length) {
  const beyond = (index) => invalid(`colour index ${index} beyond a palette of ${length} colours`);
  const { packed } = image;
  if (image.colorSize === ColorSize.INDEX8) {
    if (length < 256) for (const index of packed) if (index >= length) beyond(index);
  } else if (length < 2) {
    // INDEX1: the padding bits are zero, so any set bit is a pixel of index 1.
    if (packed.some((b) => b !== 0)) beyond(1);
  }
}

/**
 * The stored value of pixel i (counted from the first row stored) of an image definition.
 * @param {{packed: Uint8Array, colorSize: number}} image
 */
export function imagePixel(image, i) {
  const b = image.packed;
  switch (image.colorSize) {
    case ColorSize.INDEX1: return (b[i >> 3] >> (7 - (i & 7))) & 1;
    case ColorSize.INDEX8:
    case ColorSize.GRAY8: return b[i];
    case ColorSize.GRAY12: {
      const at = (i * 3) >> 1;
      return (i & 1) === 0 ? (b[at] << 4) | (b[at + 1] >> 4) : ((b[at] & 15) << 8) | b[at + 1];
    }
    case ColorSize.GRAY16: return (b[2 * i] << 8) | b[2 * i + 1];
    case ColorSize.RGB: return (b[3 * i] << 16) | (b[3 * i + 1] << 8) | b[3 * i + 2];
    default: return ((b[4 * i] << 24) | (b[4 * i + 1] << 16) | (b[4 * i + 2] << 8) | b[4 * i + 3]) >>> 0;
  }
}

/**
 * The arguments of a record whose code byte has been read.
 * @param {Context} c
 * @param {number} code
 * @returns {any}
 */
export function decodePayload(c, code) {
  const cursor = c.cursor;
  if (code >= Code.POINT_SIZE_FIRST && code <= Code.POINT_SIZE_LAST) {
    return { size: POINT_SIZES[code - Code.POINT_SIZE_FIRST] };
  }
  if (code >= Code.REL_POINT_SIZE_FIRST && code <= Code.REL_POINT_SIZE_LAST) {
    return { size: REL_POINT_SIZES[code - Code.REL_POINT_SIZE_FIRST] };
  }
  switch (code) {
    case Code.EXTENSION: {
      const parameter = cursor.text();
      const value = cursor.text();
      if (parameter === '') invalid('empty parameter name');
      return { parameter, value };
    }
    case Code.LAYER: {
      const visible = cursor.bits(1) !== 0;
      const detectable = cursor.bits(1) !== 0;
      const name = cursor.text();
      if (name === '') invalid('empty layer name');
      return { visible, detectable, name };
    }
    case Code.OBJECT: return { name: cursor.text() };
    case Code.POLYLINE:
    case Code.DRAW_POLYGON:
    case Code.FILL_POLYGON: return figure(c);
    case Code.DRAW_CUBIC_BEZIER: return cubic(c, false);
    case Code.FILL_CUBIC_BEZIER: return cubic(c, true);
    case Code.DRAW_ARC:
    case Code.FILL_ARC: return arc(c);
    case Code.TEXT: {
      const anchor = c.point();
      return { anchor, text: cursor.text() };
    }
    case Code.SHAPE: return shapeInstance(c);
    case Code.IMAGE: return imagePart(c);
    case Code.MARK: return { at: c.point() };
    case Code.LINE: {
      const start = c.point();
      return { start, step: c.relPoint() };
    }
    case Code.DRAW_BOX:
    case Code.FILL_BOX: {
      const corner = c.point();
      return { corner, size: nonZero(c.relPoint(), 'box size') };
    }
    case Code.DRAW_CIRCLE:
    case Code.FILL_CIRCLE: {
      const center = c.point();
      const radius = cursor.size();
      if (radius === 0) invalid('radius of 0');
      return { center, radius };
    }
    case Code.DRAW_ELLIPSE:
    case Code.FILL_ELLIPSE: {
      const center = c.point();
      return { center, halfSize: positive(c.relPoint(), 'ellipse size') };
    }
    case Code.STAMP_SHAPE: {
      const shape = c.identifier();
      return { shape, at: c.point() };
    }
    case Code.REPEAT_SHAPE: return repeatShape(c);
    case Code.FULL_IMAGE: {
      const image = c.identifier();
      const corner = c.point();
      return { image, corner, size: positive(c.relPoint(), 'image size') };
    }
    case Code.SET_EDGE: return edgeDefinition(c);
    case Code.SET_FACE: return faceDefinition(c);
    case Code.DRAW_EDGE: return { edge: cursor.sidentifier() };
    case Code.DRAW_EDGE_RANGE: {
      const first = cursor.sidentifier();
      return { first, last: cursor.sidentifier() };
    }
    case Code.FILL_FACE: return { face: c.identifier() };
    case Code.COLOR_SIZE: return colorSize(c);
    case Code.BLEND_MODE: return { value: c.enumerated(MAX_BLEND_MODE, 'blend mode') };
    case Code.IMAGE_STRETCH_MODE:
      return { value: c.enumerated(MAX_STRETCH_MODE, 'image stretch mode') };
    case Code.LINE_COLOR:
    case Code.MARK_COLOR:
    case Code.FILL_COLOR:
    case Code.TEXT_COLOR: return { color: c.color() };
    case Code.LINE_DASHES: return { pattern: cursor.uint16() };
    case Code.LINE_STYLE: return lineStyle(c);
    case Code.MARK_STYLE: {
      const type = c.enumerated(MAX_MARK_TYPE, 'mark type');
      return { type, size: cursor.size() };
    }
    case Code.GRADIENT_FILL: return gradientFill(c);
    case Code.TEXTURE_FILL: {
      const corner = c.point();
      return { corner, image: c.identifier() };
    }
    case Code.STRETCHED_TEXTURE_FILL: return stretchedTextureFill(c);
    case Code.FONT: return font(c);
    case Code.TEXT_ALIGNMENT: {
      const alignment = c.enumerated(MAX_TEXT_ALIGNMENT, 'text alignment');
      return { alignment, direction: c.angle() };
    }
    case Code.PALETTE: return palette(c);
    case Code.SET_IMAGE: return imageDefinition(c);
    case Code.BEGIN_SET_SHAPE: return { corner: positive(c.point(), 'shape corner') };
    case Code.END_SET_SHAPE: return {};
    default: return invalid(`unknown record code ${code}`);
  }
}
