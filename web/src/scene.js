// A drawing as a display list: the decoder's records turned into items (paths with their
// paint, texts, marks, images and shape placements) in file coordinates, grouped by layer, with
// what a viewer shows on hover (the face, edge or object an item draws). It needs no DOM, so
// Node builds it as browsers do; draw.js paints it.
import { Decoder } from './decoder.js';
import { Code, LIMITS } from './format.js';
import { HEAD_WIDTHS, css, dashes, resolve } from './paint.js';
import { FillMode } from './state.js';

export const MM_PER_CSS_PIXEL = 25.4 / 96;
const DASH_BIT_MM = 0.5;
// Every frame paints the whole drawing: the points of the paths it builds and of those it
// paints, each use of an edge, face or shape counted in full, are limited in proportion to
// the file.
const FLOOR_POINTS = 2 ** 24;
const POINTS_PER_BYTE = 16;

class LimitExceeded extends Error {}

/**
 * @typedef {import('./cursor.js').Point} Point
 * @typedef {{pts: Float64Array, reverse: boolean}} Chain absolute points x0, y0, x1, y1, ...
 * @typedef {{minX: number, minY: number, maxX: number, maxY: number}} Box
 * @typedef {{kind: 'face'|'edge'|'figure', id?: number, object?: string, layer?: string}} Hit
 */

const FILLED = new Set([Code.FILL_POLYGON, Code.FILL_CUBIC_BEZIER, Code.FILL_ARC, Code.FILL_BOX,
  Code.FILL_CIRCLE, Code.FILL_ELLIPSE]);

/** The absolute points of a chain: the start, then each step added to the point before it. */
export function chainPoints(start, steps) {
  const pts = new Float64Array(steps.length + 2);
  let x = start.x;
  let y = start.y;
  pts[0] = x;
  pts[1] = y;
  for (let i = 0; i < steps.length; i += 2) {
    x += steps[i];
    y += steps[i + 1];
    pts[i + 2] = x;
    pts[i + 3] = y;
  }
  return pts;
}

function emptyBox() {
  return { minX: Infinity, minY: Infinity, maxX: -Infinity, maxY: -Infinity };
}

/** @param {Box} box @param {Float64Array|number[]} pts */
function grow(box, pts) {
  for (let i = 0; i < pts.length; i += 2) {
    const x = pts[i];
    const y = pts[i + 1];
    if (x < box.minX) box.minX = x;
    if (x > box.maxX) box.maxX = x;
    if (y < box.minY) box.minY = y;
    if (y > box.maxY) box.maxY = y;
  }
  return box;
}

class SceneBuilder {
  /**
   * @param {Decoder} decoder
   * @param {number} itemLimit
   */
  constructor(decoder, itemLimit) {
    this.decoder = decoder;
    this.itemLimit = itemLimit;
    this.pointLimit = FLOOR_POINTS + POINTS_PER_BYTE * decoder.bytes.length;
    this.built = 0; // points of the paths gathered
    this.painted = 0; // points a frame paints
    this.itemCount = 0; // items of the layers and shapes
    this.page = decoder.page;
    this.mmPerUnit = this.page.scale;
    /** @type {{name: string, visible: boolean, items: any[]}[]} */
    this.layers = [];
    /** @type {{items: any[]}[]} */
    this.shapes = [];
    /** Absolute points of each edge, edge n at n - 1. @type {Float64Array[]} */
    this.edgePoints = [];
    this.objects = [];
    /** @type {any[]|undefined} where items go: a layer's or a shape's */
    this.out = undefined;
    /** @type {number|undefined} the shape being defined */
    this.shapeOpen = undefined;
    /** @type {any[]|undefined} where items went before it */
    this.savedOut = undefined;
  }

  get graphic() { return this.decoder.state.graphic; }
  get definitions() { return this.decoder.definitions; }
  color(c) { return resolve(c, this.graphic.palette); }
  pixelUnits() { return MM_PER_CSS_PIXEL / this.mmPerUnit; }

  items() {
    if (this.out === undefined) {
      this.layers.push({ name: '', visible: true, items: [] });
      this.out = this.layers[0].items;
    }
    return this.out;
  }

  /**
   * @param {any} item
   * @param {number} points what painting it costs
   * @param {Hit} [hit]
   */
  add(item, points, hit = { kind: 'figure' }) {
    if (this.shapeOpen !== undefined) {
      this.shapes[this.shapeOpen].points += points;
    } else {
      item.hit = { ...hit, object: this.objects.at(-1), layer: this.layers.at(-1)?.name };
      this.painted += points;
      if (this.painted > this.pointLimit) {
        throw new LimitExceeded(`the drawing paints more than ${this.pointLimit} points in all ` +
          '(uses of edges, faces and shapes repeat them); not drawn');
      }
    }
    const items = this.items();
    if (++this.itemCount > this.itemLimit) {
      throw new LimitExceeded(`the drawing has more than ${this.itemLimit} figures to paint; not drawn`);
    }
    items.push(item);
  }

  strokePaint(decorated) {
    const line = this.graphic.line;
    const width = Math.max(line.weight, 1);
    const dash = dashes(line.dashes, Math.max(width, DASH_BIT_MM / this.mmPerUnit));
    if (dash === undefined) return undefined;
    return {
      color: css(this.color(line.color)), width, dash, join: line.joint,
      begin: decorated ? line.begin : 0, end: decorated ? line.end : 0,
      headScale: HEAD_WIDTHS * width / 10,
    };
  }

  fillPaint() {
    const fill = this.graphic.fill;
    switch (fill.mode) {
      case FillMode.COLOR: return { kind: 'color', color: css(this.color(fill.color)) };
      case FillMode.GRADIENT:
        return {
          kind: 'gradient', p0: fill.gradientP0, p1: fill.gradientP1,
          c0: css(this.color(fill.gradientC0)), c1: css(this.color(fill.gradientC1)),
        };
      default: return this.texturePaint();
    }
  }

  // A texture tiles the image from its corner at one CSS pixel per pixel; a stretched texture
  // stretches it over its extent. Nothing when the image is empty.
  texturePaint() {
    const fill = this.graphic.fill;
    const image = this.definitions.images[fill.textureImage];
    if (image === undefined || image.width === 0 || image.height === 0) return undefined;
    const tile = fill.mode === FillMode.STRETCHED_TEXTURE ? fill.textureSize
      : { x: image.width * this.pixelUnits(), y: image.height * this.pixelUnits() };
    if (!(tile.x > 0 && tile.y > 0)) return undefined;
    return {
      kind: 'texture', image: fill.textureImage, corner: fill.textureCorner, tile,
      smooth: this.graphic.imageStretchMode !== 0,
    };
  }

  /** A path item, filled or outlined by the record's code. */
  path(geometry, filled, decorated = false, hit = undefined) {
    const paint = filled ? { fill: this.fillPaint() } : { stroke: this.strokePaint(decorated) };
    if ((filled ? paint.fill : paint.stroke) === undefined) return;
    this.add({ type: 'path', geometry, ...paint }, pathPoints(geometry), hit);
  }

  /**
   * The chains of edges that make one path. What they hold counts against the points the
   * scene may build, checked as they are gathered: a face whose holes have holes repeats them.
   */
  chainList() {
    const chains = [];
    return {
      chains,
      add: (reference) => {
        const pts = this.edgePoints[Math.abs(reference) - 1];
        if (pts === undefined) return;
        this.built += pts.length / 2;
        if (this.built > this.pointLimit) {
          throw new LimitExceeded(`the drawing needs paths of more than ${this.pointLimit} points ` +
            'in all (uses of edges and faces repeat them); not drawn');
        }
        chains.push({ pts, reverse: reference < 0 });
      },
    };
  }

  /** The edges from `first` to `last`, both included, in that order. */
  edges(first, last) {
    const list = this.chainList();
    const step = first <= last ? 1 : -1;
    for (let id = first; ; id += step) {
      if (id !== 0) list.add(id);
      if (id === last) break;
    }
    const hit = first === last ? { kind: 'edge', id: first } : { kind: 'edge', id: first, last };
    this.path({ kind: 'chains', chains: list.chains, rings: false, box: chainsBox(list.chains) }, false, true, hit);
  }

  /** A face's rings, then its holes' rings (holes of holes included, each face once). */
  face(id) {
    const list = this.chainList();
    const done = new Set();
    const faces = [id];
    while (faces.length > 0) {
      const next = faces.pop();
      const face = this.definitions.faces[next];
      if (face === undefined || done.has(next)) continue;
      done.add(next);
      face.edges.forEach(list.add);
      for (let i = face.holes.length - 1; i >= 0; --i) faces.push(face.holes[i]);
    }
    if (list.chains.length === 0) return;
    this.path({ kind: 'chains', chains: list.chains, rings: true, box: chainsBox(list.chains) }, true, false,
      { kind: 'face', id });
  }

  figure(a, closed, filled) {
    const pts = chainPoints(a.start, a.steps);
    this.path({ kind: 'chains', chains: [{ pts, reverse: false }], rings: closed, box: grow(emptyBox(), pts) },
      filled, !closed);
  }

  // Cubic segments from absolute points; a filled curve ends at its start point.
  cubic(a, filled) {
    let pts = chainPoints(a.start, a.steps);
    if (filled) {
      const closed = new Float64Array(pts.length + 2);
      closed.set(pts);
      closed[pts.length] = a.start.x;
      closed[pts.length + 1] = a.start.y;
      pts = closed;
    }
    this.path({ kind: 'cubic', pts, closed: filled, box: grow(emptyBox(), pts) }, filled, !filled);
  }

  // Arcs run counter-clockwise from the start angle to the end angle (equal angles draw the
  // whole ellipse); a filled arc is a pie slice.
  arc(a, filled) {
    const r = a.halfSize;
    if (!(r.x > 0 && r.y > 0)) return;
    let span = a.end.degrees - a.start.degrees;
    if (span <= 0) span += 360;
    const box = { minX: a.center.x - r.x, maxX: a.center.x + r.x, minY: a.center.y - r.y, maxY: a.center.y + r.y };
    this.path({ kind: 'arc', center: a.center, radii: r, from: a.start.degrees, span, pie: filled, box },
      filled, !filled);
  }

  ellipse(center, rx, ry, filled) {
    const box = { minX: center.x - rx, maxX: center.x + rx, minY: center.y - ry, maxY: center.y + ry };
    this.path({ kind: 'arc', center, radii: { x: rx, y: ry }, from: 0, span: 360, pie: false, box }, filled);
  }

  box(a, filled) {
    const x = Math.min(a.corner.x, a.corner.x + a.size.x);
    const y = Math.min(a.corner.y, a.corner.y + a.size.y);
    const w = Math.abs(a.size.x);
    const h = Math.abs(a.size.y);
    this.path({ kind: 'rect', x, y, w, h, box: { minX: x, minY: y, maxX: x + w, maxY: y + h } }, filled);
  }

  text(a) {
    const t = this.graphic.text;
    if (t.size === 0 || a.text === '') return;
    this.add({
      type: 'text', at: a.anchor, text: a.text, size: t.size, typeface: t.typeface, style: t.style,
      alignment: t.alignment, direction: t.direction, color: css(this.color(t.color)),
    }, 1);
  }

  mark(a) {
    const m = this.graphic.mark;
    if (m.size === 0) return;
    this.add({
      type: 'mark', at: a.at, mark: m.type, size: m.size * this.pixelUnits(),
      color: css(this.color(m.color)),
    }, 1);
  }

  image(id, corner, size, sourceMin, sourceMax) {
    const def = this.definitions.images[id];
    if (def.width === 0 || def.height === 0 || !(size.x > 0 && size.y > 0)) return;
    this.add({
      type: 'image', image: id, corner, size, sourceMin, sourceMax,
      smooth: this.graphic.imageStretchMode !== 0,
    }, 4);
  }

  /** A shape placed with the matrix [a b c d e f] from its file units. */
  shape(id, matrix) { this.add({ type: 'shape', shape: id, matrix }, this.shapes[id].points); }

  layer(a) {
    this.objects = [];
    const layer = { name: a.name, visible: a.visible, items: [] };
    this.layers.push(layer);
    this.out = layer.items;
  }

  // An object with a name opens a group; an empty name closes the innermost one.
  object(a) {
    if (a.name !== '') this.objects.push(a.name);
    else this.objects.pop();
  }

  /** @param {import('./decoder.js').KvgRecord} record */
  record(record) {
    const a = record.args;
    const filled = FILLED.has(record.code);
    switch (record.code) {
      case Code.LAYER: this.layer(a); break;
      case Code.OBJECT: this.object(a); break;
      case Code.BEGIN_SET_SHAPE:
        this.shapeOpen = record.definition;
        this.shapes[record.definition] = { items: [], points: 0 };
        this.savedOut = this.out;
        this.out = this.shapes[record.definition].items;
        break;
      case Code.END_SET_SHAPE:
        this.shapeOpen = undefined;
        this.out = this.savedOut;
        break;
      case Code.SET_EDGE: this.edgePoints.push(chainPoints(a.start, a.steps)); break;
      case Code.POLYLINE: this.figure(a, false, false); break;
      case Code.DRAW_POLYGON:
      case Code.FILL_POLYGON: this.figure(a, true, filled); break;
      case Code.DRAW_CUBIC_BEZIER:
      case Code.FILL_CUBIC_BEZIER: this.cubic(a, filled); break;
      case Code.DRAW_ARC:
      case Code.FILL_ARC: this.arc(a, filled); break;
      case Code.TEXT: this.text(a); break;
      case Code.MARK: this.mark(a); break;
      case Code.LINE:
        this.figure({ start: a.start, steps: [a.step.x, a.step.y] }, false, false);
        break;
      case Code.DRAW_BOX:
      case Code.FILL_BOX: this.box(a, filled); break;
      case Code.DRAW_CIRCLE:
      case Code.FILL_CIRCLE: this.ellipse(a.center, a.radius, a.radius, filled); break;
      case Code.DRAW_ELLIPSE:
      case Code.FILL_ELLIPSE: this.ellipse(a.center, a.halfSize.x, a.halfSize.y, filled); break;
      case Code.SHAPE: {
        const corner = this.definitions.shapes[a.shape].corner;
        const t = a.rotation.degrees * Math.PI / 180;
        const sx = a.halfSize.x / corner.x;
        const sy = a.halfSize.y / corner.y;
        const cos = Math.cos(t);
        const sin = Math.sin(t);
        this.shape(a.shape, [cos * sx, sin * sx, -sin * sy, cos * sy, a.center.x, a.center.y]);
        break;
      }
      case Code.STAMP_SHAPE:
      case Code.REPEAT_SHAPE: this.shape(a.shape, [1, 0, 0, 1, a.at.x, a.at.y]); break;
      case Code.FULL_IMAGE: {
        const def = this.definitions.images[a.image];
        this.image(a.image, a.corner, a.size, { x: 0, y: 0 }, { x: def.width, y: def.height });
        break;
      }
      case Code.IMAGE: this.image(a.image, a.corner, a.size, a.sourceMin, a.sourceMax); break;
      case Code.DRAW_EDGE: this.edges(a.edge, a.edge); break;
      case Code.DRAW_EDGE_RANGE: this.edges(a.first, a.last); break;
      case Code.FILL_FACE: this.face(a.face); break;
      default: break; // attributes and other definitions: the decoder keeps them
    }
  }
}

/** The points a path paints (a curve or a rectangle counts as a few). */
function pathPoints(g) {
  if (g.kind === 'chains') return g.chains.reduce((sum, c) => sum + c.pts.length / 2, 0);
  if (g.kind === 'cubic') return g.pts.length / 2;
  return 4;
}

/** @param {Chain[]} chains */
function chainsBox(chains) {
  const box = emptyBox();
  for (const c of chains) grow(box, c.pts);
  return box;
}

/**
 * What a page decodes at most: the C renderers' 256 MiB of content and 2^23 points (16 bytes
 * each as the decoder holds them, again as the scene's paths); images are kept as stored and
 * painted sampled down. `items` bounds the figures, marks, texts, images and placed shapes a
 * scene holds, a few hundred bytes of objects each: a file of millions of small records is
 * refused, not held.
 */
export const PAGE_LIMITS = Object.freeze({
  ...LIMITS, contentBytes: 2 ** 28, points: 2 ** 23, items: 2 ** 19,
});

/**
 * Decodes a file's plain bytes into a scene. A file with a fault has no scene: `error` says why.
 * @param {Uint8Array} bytes
 * @param {typeof PAGE_LIMITS} [limits]
 */
export function buildScene(bytes, limits = PAGE_LIMITS) {
  const decoder = new Decoder(bytes, limits);
  if (decoder.error) return { error: decoder.error };
  const header = /** @type {import('./header.js').Header} */ (decoder.header);
  const mm = header.millimetres;
  if (!(Number.isFinite(mm.x) && Number.isFinite(mm.y) && mm.x > 0 && mm.y > 0)) {
    return { error: { offset: 0, reason: 'header: a page of this size cannot be drawn' } };
  }
  const builder = new SceneBuilder(decoder, limits.items ?? PAGE_LIMITS.items);
  let points = 0;
  for (let r = decoder.next(); r !== undefined; r = decoder.next()) {
    try {
      builder.record(r);
    } catch (e) {
      // Memory refused while building (a RangeError) is the file's fault too.
      if (!(e instanceof LimitExceeded) && !(e instanceof RangeError)) throw e;
      return { error: { offset: r.offset, reason: e instanceof RangeError ? `out of memory (${e.message})` : e.message } };
    }
    if (r.args.steps) points += r.args.steps.length / 2 + 1;
  }
  if (decoder.error) return { error: decoder.error };
  return {
    header,
    page: decoder.page,
    pageSize: mm,
    background: css(resolve({ value: header.background, size: 6 }, decoder.state.graphic.palette)),
    layers: builder.layers,
    shapes: builder.shapes,
    images: decoder.definitions.images,
    points,
  };
}
