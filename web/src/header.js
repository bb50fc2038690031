// The file header, and the one page mapping from file coordinates to millimetres on the page.
import { Fault } from './cursor.js';
import { POINT_SIZES, REL_POINT_SIZES, SIGNATURE } from './format.js';

/**
 * @typedef {import('./cursor.js').Point} Point
 * @typedef {{
 *   pointSize: number, relPointSize: number, resolution: Point, windowMin: Point,
 *   windowMax: Point, millimetres: Point, background: number, length: number,
 * }} Header
 */

/** A size byte of the header: a member of `sizes`, or a fault at `offset`. */
function headerSize(cursor, sizes, what, offset) {
  const size = cursor.byte();
  if (!sizes.includes(size)) throw new Fault(`invalid ${what} ${size}`, offset);
  return size;
}

/**
 * @param {import('./cursor.js').Cursor} cursor
 * @returns {Header}
 */
export function readHeader(cursor) {
  for (const expected of SIGNATURE) {
    if (cursor.byte() !== expected) throw new Fault('bad signature', 0);
  }
  const pointSize = headerSize(cursor, POINT_SIZES, 'point size', 8);
  const relPointSize = headerSize(cursor, REL_POINT_SIZES, 'relative point size', 9);
  const resolution = cursor.point(pointSize);
  const windowMin = cursor.point(pointSize);
  const windowMax = cursor.point(pointSize);
  const millimetres = cursor.point(pointSize);
  const background = cursor.color(6);
  const header = {
    pointSize, relPointSize, resolution, windowMin, windowMax, millimetres, background,
    length: cursor.end(),
  };
  checkHeader(header);
  return header;
}

const cells = (n) => n >= 1 && n <= 2 ** 31 && n === Math.floor(n);

/**
 * What no writer of the format produces: a grid of other than a whole number of cells (at
 * least one, at most 2^31) and a page of negative size. Infinities and NaN never pass the
 * cursor.
 * @param {Header} h
 */
function checkHeader(h) {
  if (!cells(h.resolution.x) || !cells(h.resolution.y)) throw new Fault('invalid grid size', 10);
  if (h.millimetres.x < 0 || h.millimetres.y < 0) {
    throw new Fault('negative page size', 10 + (3 * h.pointSize) / 8);
  }
}

const usable = (s) => Number.isFinite(s) && s > 0;

/**
 * The page mapping: the file window onto the page of the header's millimetre size, with one
 * scale for both axes (the smaller usable one, else 1) and the window centred. Page
 * coordinates are millimetres from the page's lower-left corner, y up.
 */
export class PageMapping {
  /** @param {Header} header */
  constructor(header) {
    const { windowMin: lo, windowMax: hi, millimetres: mm } = header;
    // The window's magnitude: a window reversed on an axis is mirrored in the coordinates too.
    const sx = mm.x / Math.abs(hi.x - lo.x);
    const sy = mm.y / Math.abs(hi.y - lo.y);
    /** Millimetres per file unit. */
    this.scale = usable(sx) && usable(sy) ? Math.min(sx, sy) : usable(sx) ? sx : usable(sy) ? sy : 1;
    this.centerX = lo.x + 0.5 * (hi.x - lo.x);
    this.centerY = lo.y + 0.5 * (hi.y - lo.y);
    this.halfWidth = 0.5 * mm.x;
    this.halfHeight = 0.5 * mm.y;
  }

  /** @param {Point} p @returns {Point} */
  toPage(p) {
    return {
      x: (p.x - this.centerX) * this.scale + this.halfWidth,
      y: (p.y - this.centerY) * this.scale + this.halfHeight,
    };
  }

  /** A difference or extent in file units as millimetres. @param {Point} p @returns {Point} */
  toPageExtent(p) {
    return { x: p.x * this.scale, y: p.y * this.scale };
  }
}
