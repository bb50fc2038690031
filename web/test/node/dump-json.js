// A decoded record in the form of the C reader's `kvg dump --json` line, to compare the two
// decoders record for record.
import { COLOR_SIZE_NAMES, Code } from '../../src/format.js';
import { imagePixel } from '../../src/payload.js';

const COLOR_DIGITS = [0, 0, 2, 3, 4, 8, 6, 8];

const json = (v) => (Number.isFinite(v) ? v : null);
const hexWord = (value, digits) => value.toString(16).toUpperCase().padStart(digits, '0');
const pixelWord = (value, size) =>
  (COLOR_DIGITS[size] === 0 ? String(value) : hexWord(value, COLOR_DIGITS[size]));
const colorWord = (c) => `${COLOR_SIZE_NAMES[c.size]}:${pixelWord(c.value, c.size)}`;

function describer(page) {
  const at = (p) => ({ file: [json(p.x), json(p.y)], world: Object.values(page.toPage(p)).map(json) });
  const extent = (p) => ({ file: [json(p.x), json(p.y)], world: Object.values(page.toPageExtent(p)).map(json) });
  const chain = (start, steps) => {
    const points = [at(start)];
    let x = start.x;
    let y = start.y;
    for (let i = 0; i < steps.length; i += 2) {
      x += steps[i];
      y += steps[i + 1];
      points.push(at({ x, y }));
    }
    return points;
  };
  return { at, extent, chain };
}

/** The fields a record's arguments print as. */
function fields(record, page) {
  const { at, extent, chain } = describer(page);
  const a = record.args;
  const C = Code;
  switch (record.code) {
    case C.EXTENSION: return { parameter: a.parameter, value: a.value };
    case C.LAYER: return { visible: a.visible, detectable: a.detectable, name: a.name };
    case C.OBJECT: return { name: a.name };
    case C.POLYLINE: case C.DRAW_POLYGON: case C.FILL_POLYGON:
      return { points: chain(a.start, a.steps) };
    case C.DRAW_CUBIC_BEZIER: case C.FILL_CUBIC_BEZIER:
      return { segments: a.segments, points: chain(a.start, a.steps) };
    case C.DRAW_ARC: case C.FILL_ARC:
      return { center: at(a.center), half_size: extent(a.halfSize), start: a.start.degrees, end: a.end.degrees };
    case C.TEXT: return { anchor: at(a.anchor), text: a.text };
    case C.SHAPE:
      return { shape: a.shape, center: at(a.center), rotation: a.rotation.degrees, half_size: extent(a.halfSize) };
    case C.IMAGE:
      return {
        image: a.image, source: [a.sourceMin.x, a.sourceMin.y, a.sourceMax.x, a.sourceMax.y].map(json),
        corner: at(a.corner), size: extent(a.size),
      };
    case C.MARK: return { at: at(a.at) };
    case C.LINE: return { points: chain(a.start, [a.step.x, a.step.y]) };
    case C.DRAW_BOX: case C.FILL_BOX: return { corner: at(a.corner), size: extent(a.size) };
    case C.DRAW_CIRCLE: case C.FILL_CIRCLE: return { center: at(a.center), radius: a.radius };
    case C.DRAW_ELLIPSE: case C.FILL_ELLIPSE: return { center: at(a.center), half_size: extent(a.halfSize) };
    case C.STAMP_SHAPE: case C.REPEAT_SHAPE: return { shape: a.shape, at: at(a.at) };
    case C.FULL_IMAGE: return { image: a.image, corner: at(a.corner), size: extent(a.size) };
    case C.SET_EDGE:
      return {
        segment_sizes: a.segments.map((s) => s.relPointSize),
        segment_counts: a.segments.map((s) => s.count),
        points: chain(a.start, a.steps),
      };
    case C.SET_FACE: return { edges: a.edges, holes: a.holes };
    case C.DRAW_EDGE: return { edge: a.edge };
    case C.DRAW_EDGE_RANGE: return { first: a.first, last: a.last };
    case C.FILL_FACE: return { face: a.face };
    case C.COLOR_SIZE: return { size: COLOR_SIZE_NAMES[a.size] };
    case C.BLEND_MODE: case C.IMAGE_STRETCH_MODE: return { value: a.value };
    case C.LINE_COLOR: case C.MARK_COLOR: case C.FILL_COLOR: case C.TEXT_COLOR:
      return { color: colorWord(a.color) };
    case C.LINE_DASHES: return { pattern: hexWord(a.pattern, 4) };
    case C.LINE_STYLE: return { joint: a.joint, begin: a.begin, end: a.end, weight: a.weight };
    case C.MARK_STYLE: return { type: a.type, size: a.size };
    case C.GRADIENT_FILL:
      return { p0: at(a.p0), c0: colorWord(a.c0), p1: at(a.p1), c1: colorWord(a.c1) };
    case C.TEXTURE_FILL: return { corner: at(a.corner), image: a.image };
    case C.STRETCHED_TEXTURE_FILL: return { corner: at(a.corner), size: extent(a.size), image: a.image };
    case C.FONT: return { typeface: a.typeface, style: a.style, size: a.size };
    case C.TEXT_ALIGNMENT: return { alignment: a.alignment, direction: a.direction.degrees };
    case C.PALETTE: return { colors: a.entries.map(colorWord) };
    case C.SET_IMAGE:
      return {
        width: a.width, height: a.height, color_size: COLOR_SIZE_NAMES[a.colorSize],
        pixels: Array.from({ length: a.width * a.height }, (_, i) => pixelWord(imagePixel(a, i), a.colorSize)),
      };
    case C.BEGIN_SET_SHAPE: return { corner: extent(a.corner) };
    case C.END_SET_SHAPE: return {};
    default: return { bits: a.size }; // point and relative point sizes
  }
}

/**
 * @param {import('../../src/decoder.js').KvgRecord} record
 * @param {import('../../src/header.js').PageMapping} page
 */
export function dumpJson(record, page) {
  const line = {
    offset: record.offset, length: record.length, code: record.code, record: record.name,
    section: record.section,
  };
  if (record.definition !== undefined) line.id = record.definition;
  if (record.shape !== undefined && record.code !== Code.BEGIN_SET_SHAPE) line.in_shape = record.shape;
  return Object.assign(line, fields(record, page));
}

/** Fields that hold angles, which libm and V8 may round differently in the last bit. */
export const ANGLE_FIELDS = new Set(['start', 'end', 'rotation', 'direction']);
