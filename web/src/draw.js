// Paints a scene (scene.js) on a Canvas 2D context: the page mapped into a view of the canvas,
// every item in its paint, and the item under a point for hovering.
import { HEADS, MARKS, MARK_STROKE, canvasSize, imageRgba } from './paint.js';

const JOINS = ['miter', 'miter', 'round', 'bevel'];
const FONT_FAMILIES = ['sans-serif', 'monospace', 'serif', 'sans-serif'];
// Text anchors and baseline shifts (in em, downwards) of the text alignment reference points.
const ALIGNMENTS = [
  ['center', 0.75], ['center', -0.22], ['right', 0.35], ['left', 0.35], ['right', 0.75],
  ['left', 0.75], ['right', -0.22], ['left', -0.22], ['center', 0.35], ['left', 0],
  ['center', 0], ['right', 0],
];
const DEGREES = Math.PI / 180;
/** Hovering finds a line within this many CSS pixels. */
const HIT_SLOP_PX = 4;

/**
 * A view of the page: CSS pixels per millimetre, and where the page's upper-left corner lies
 * on the canvas, in CSS pixels.
 * @typedef {{scale: number, x: number, y: number}} View
 */

/**
 * The view that shows the whole page centred in a canvas of `width` x `height` CSS pixels.
 * @returns {View}
 */
export function fitView(scene, width, height) {
  const { x: w, y: h } = scene.pageSize;
  const scale = Math.min(width / w, height / h);
  return { scale, x: (width - w * scale) / 2, y: (height - h * scale) / 2 };
}

/** Path2D of a geometry, in file coordinates. */
function buildPath(g) {
  const p = new Path2D();
  switch (g.kind) {
    case 'chains': chainsPath(p, g.chains, g.rings); break;
    case 'cubic': {
      const q = g.pts;
      p.moveTo(q[0], q[1]);
      for (let i = 2; i + 5 < q.length; i += 6) p.bezierCurveTo(q[i], q[i + 1], q[i + 2], q[i + 3], q[i + 4], q[i + 5]);
      if (g.closed) p.closePath();
      break;
    }
    case 'arc': {
      const { center: c, radii: r } = g;
      const from = g.from * DEGREES;
      if (g.pie) p.moveTo(c.x, c.y);
      // Angles grow from +x towards +y: counter-clockwise on the page, whose y points up.
      p.ellipse(c.x, c.y, r.x, r.y, 0, from, from + Math.min(g.span, 360) * DEGREES, false);
      if (g.pie || g.span >= 360) p.closePath();
      break;
    }
    default: p.rect(g.x, g.y, g.w, g.h);
  }
  return p;
}

// A chain that starts where the last one ended continues its subpath; in ring mode every
// subpath is closed.
function chainsPath(p, chains, rings) {
  let lastX = NaN;
  let lastY = NaN;
  let open = false;
  for (const { pts, reverse } of chains) {
    const n = pts.length / 2;
    const at = (i) => (reverse ? n - 1 - i : i) * 2;
    const fx = pts[at(0)];
    const fy = pts[at(0) + 1];
    if (!(open && fx === lastX && fy === lastY)) {
      if (open && rings) p.closePath();
      p.moveTo(fx, fy);
      open = true;
    }
    if (reverse) {
      for (let i = pts.length - 4; i >= 0; i -= 2) p.lineTo(pts[i], pts[i + 1]);
    } else {
      for (let i = 2; i < pts.length; i += 2) p.lineTo(pts[i], pts[i + 1]);
    }
    lastX = pts[at(n - 1)];
    lastY = pts[at(n - 1) + 1];
  }
  if (open && rings) p.closePath();
}

/**
 * One end of a chain, with the line's direction there (radians, file space): at the start the
 * direction towards the next distinct point, at the end the direction from the last distinct
 * point before it.
 */
function chainEnd(pts, reverse, atEnd) {
  const n = pts.length / 2;
  const index = (i) => 2 * (reverse !== atEnd ? n - 1 - i : i); // the i-th point from that end
  const x0 = pts[index(0)];
  const y0 = pts[index(0) + 1];
  for (let i = 1; i < n; ++i) {
    const dx = pts[index(i)] - x0;
    const dy = pts[index(i) + 1] - y0;
    if (dx !== 0 || dy !== 0) return [x0, y0, atEnd ? Math.atan2(-dy, -dx) : Math.atan2(dy, dx)];
  }
  return [x0, y0, 0];
}

/** Where a line begins and ends, with its directions, for its decorations. */
function lineEnds(g) {
  if (g.kind === 'chains') {
    if (g.chains.length === 0) return undefined;
    const first = g.chains[0];
    const last = g.chains.at(-1);
    return { start: chainEnd(first.pts, first.reverse, false), end: chainEnd(last.pts, last.reverse, true) };
  }
  if (g.kind === 'cubic') return { start: chainEnd(g.pts, false, false), end: chainEnd(g.pts, false, true) };
  if (g.kind === 'arc') {
    const { center: c, radii: r } = g;
    const at = (deg) => {
      const t = deg * DEGREES;
      return [c.x + r.x * Math.cos(t), c.y + r.y * Math.sin(t), Math.atan2(r.y * Math.cos(t), -r.x * Math.sin(t))];
    };
    return { start: at(g.from), end: at(g.from + g.span) };
  }
  return undefined;
}

export class Painter {
  /**
   * @param {any} scene from buildScene
   * @param {(w: number, h: number) => HTMLCanvasElement|OffscreenCanvas} makeCanvas
   */
  constructor(scene, makeCanvas = (w, h) => Object.assign(document.createElement('canvas'), { width: w, height: h })) {
    this.scene = scene;
    this.makeCanvas = makeCanvas;
    /** @type {Map<number, any>} image canvases, first row at the top of the canvas */
    this.imageCanvases = new Map();
    this.paths = new WeakMap();
  }

  /** The transform from file coordinates to canvas pixels for a view. */
  matrix(view, pixelRatio = 1) {
    const { page, pageSize } = this.scene;
    const k = view.scale * pixelRatio;
    const s = page.scale;
    return new DOMMatrix([k * s, 0, 0, -k * s,
      view.x * pixelRatio + k * (pageSize.x / 2 - page.centerX * s),
      view.y * pixelRatio + k * (pageSize.y / 2 + page.centerY * s)]);
  }

  /**
   * Paints the page in a view; `visible` says which layers show (by index), by default those
   * the file marks visible.
   * @param {CanvasRenderingContext2D} ctx
   * @param {View} view
   */
  draw(ctx, view, pixelRatio = 1, visible = (layer) => layer.visible) {
    const { scene } = this;
    ctx.save();
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.clearRect(0, 0, ctx.canvas.width, ctx.canvas.height);
    ctx.setTransform(pixelRatio, 0, 0, pixelRatio, 0, 0);
    ctx.fillStyle = scene.background;
    ctx.fillRect(view.x, view.y, scene.pageSize.x * view.scale, scene.pageSize.y * view.scale);
    ctx.setTransform(this.matrix(view, pixelRatio));
    ctx.miterLimit = 4;
    scene.layers.forEach((layer, i) => {
      if (visible(layer, i)) this.items(ctx, layer.items);
    });
    ctx.restore();
  }

  items(ctx, items) {
    for (const item of items) {
      switch (item.type) {
        case 'path': this.pathItem(ctx, item); break;
        case 'text': text(ctx, item); break;
        case 'mark': mark(ctx, item); break;
        case 'image': this.image(ctx, item); break;
        default: this.shape(ctx, item);
      }
    }
  }

  path(item) {
    let p = this.paths.get(item);
    if (p === undefined) {
      p = buildPath(item.geometry);
      this.paths.set(item, p);
    }
    return p;
  }

  pathItem(ctx, item) {
    const p = this.path(item);
    if (item.fill) {
      const style = this.fillStyle(ctx, item.fill);
      if (style === undefined) return;
      ctx.fillStyle = style;
      ctx.imageSmoothingEnabled = item.fill.smooth !== false;
      ctx.fill(p, 'evenodd');
      return;
    }
    const s = item.stroke;
    ctx.strokeStyle = s.color;
    ctx.lineWidth = s.width;
    ctx.lineJoin = JOINS[s.join];
    ctx.setLineDash(s.dash.array);
    ctx.lineDashOffset = s.dash.offset;
    ctx.stroke(p);
    if (s.begin !== 0 || s.end !== 0) decorate(ctx, item.geometry, s);
  }

  fillStyle(ctx, fill) {
    if (fill.kind === 'color') return fill.color;
    if (fill.kind === 'gradient') {
      const g = ctx.createLinearGradient(fill.p0.x, fill.p0.y, fill.p1.x, fill.p1.y);
      g.addColorStop(0, fill.c0);
      g.addColorStop(1, fill.c1);
      return g;
    }
    const canvas = this.imageCanvas(fill.image);
    const pattern = ctx.createPattern(canvas, 'repeat');
    if (pattern === null) return undefined;
    pattern.setTransform(new DOMMatrix([fill.tile.x / canvas.width, 0, 0, fill.tile.y / canvas.height,
      fill.corner.x, fill.corner.y]));
    return pattern;
  }

  /**
   * An image definition as a canvas of its pixels (sampled down if it is very large; see
   * canvasSize), the file's first row at the canvas's top.
   */
  imageCanvas(id) {
    let canvas = this.imageCanvases.get(id);
    if (canvas === undefined) {
      const image = this.scene.images[id];
      const size = canvasSize(image);
      canvas = this.makeCanvas(size.width, size.height);
      const ctx = /** @type {CanvasRenderingContext2D} */ (canvas.getContext('2d'));
      ctx.putImageData(new ImageData(imageRgba(image, size), size.width, size.height), 0, 0);
      this.imageCanvases.set(id, canvas);
    }
    return canvas;
  }

  // The source rectangle counts pixels from the lower-left corner, as the canvas of the image
  // holds its rows from the bottom row up; the page's y axis turns it upright.
  image(ctx, item) {
    const { sourceMin: lo, sourceMax: hi } = item;
    const canvas = this.imageCanvas(item.image);
    const image = this.scene.images[item.image];
    const sx = canvas.width / image.width;
    const sy = canvas.height / image.height;
    ctx.imageSmoothingEnabled = item.smooth;
    ctx.drawImage(canvas, lo.x * sx, lo.y * sy, (hi.x - lo.x) * sx, (hi.y - lo.y) * sy,
      item.corner.x, item.corner.y, item.size.x, item.size.y);
  }

  shape(ctx, item) {
    const shape = this.scene.shapes[item.shape];
    if (shape === undefined) return;
    ctx.save();
    ctx.transform(...item.matrix);
    this.items(ctx, shape.items);
    ctx.restore();
  }

  /**
   * What is drawn topmost at a point of the canvas (CSS pixels): the hover information of the
   * face, edge or figure there, or undefined.
   * @param {CanvasRenderingContext2D} ctx
   */
  hitTest(ctx, view, x, y, visible = (layer) => layer.visible) {
    const m = this.matrix(view);
    const file = m.inverse().transformPoint(new DOMPoint(x, y));
    const slop = HIT_SLOP_PX / (view.scale * this.scene.page.scale);
    ctx.save();
    ctx.setTransform(m);
    try {
      const layers = this.scene.layers;
      for (let l = layers.length - 1; l >= 0; --l) {
        if (!visible(layers[l], l)) continue;
        const items = layers[l].items;
        for (let i = items.length - 1; i >= 0; --i) {
          const item = items[i];
          if (item.type !== 'path' || !item.hit) continue;
          const reach = item.stroke ? item.stroke.width / 2 + slop : 0;
          const b = item.geometry.box;
          if (file.x < b.minX - reach || file.x > b.maxX + reach || file.y < b.minY - reach || file.y > b.maxY + reach) continue;
          const p = this.path(item);
          ctx.lineWidth = 2 * reach;
          if (item.fill ? ctx.isPointInPath(p, x, y, 'evenodd') : ctx.isPointInStroke(p, x, y)) return item.hit;
        }
      }
      return undefined;
    } finally {
      ctx.restore();
    }
  }
}

function decorate(ctx, geometry, stroke) {
  const ends = lineEnds(geometry);
  if (ends === undefined) return;
  ctx.setLineDash([]);
  if (stroke.begin !== 0) head(ctx, stroke, stroke.begin, ends.start, true);
  if (stroke.end !== 0) head(ctx, stroke, stroke.end, ends.end, false);
}

// A head in its 10 x 10 box, `refX` on the line's end, turned along the line; at the start
// it is mirrored to point backwards.
function head(ctx, stroke, style, [x, y, angle], start) {
  const h = HEADS[style - 1];
  const refX = start ? 10 - h.refX : h.refX;
  ctx.save();
  ctx.translate(x, y);
  ctx.rotate(angle);
  ctx.scale(stroke.headScale, stroke.headScale);
  ctx.translate(-refX, -5);
  const p = new Path2D();
  if (h.corners.length === 0) {
    p.arc(5, 5, 5, 0, 2 * Math.PI);
  } else {
    h.corners.forEach(([cx, cy], i) => (i === 0 ? p.moveTo : p.lineTo).call(p, start ? 10 - cx : cx, cy));
    if (!h.open) p.closePath();
  }
  solid(ctx, p, stroke.color, h.open ? 1.5 : undefined);
  ctx.restore();
}

/** Strokes a path `width` wide in one colour, or fills it when no width is given. */
function solid(ctx, path, color, width) {
  if (width === undefined) {
    ctx.fillStyle = color;
    ctx.fill(path);
  } else {
    ctx.lineWidth = width;
    ctx.strokeStyle = color;
    ctx.stroke(path);
  }
}

// The text stands upright on the page: at its anchor the y axis turns down again, and the
// direction turns it counter-clockwise.
function text(ctx, item) {
  const [align, dyEm] = ALIGNMENTS[item.alignment];
  ctx.save();
  ctx.translate(item.at.x, item.at.y);
  ctx.scale(1, -1);
  if (item.direction !== 0) ctx.rotate(-item.direction * DEGREES);
  const italic = item.style & 2 ? 'italic ' : '';
  const bold = item.style & 1 ? 'bold ' : '';
  ctx.font = `${italic}${bold}${item.size}px ${FONT_FAMILIES[item.typeface]}`;
  ctx.textAlign = /** @type {CanvasTextAlign} */ (align);
  ctx.textBaseline = 'alphabetic';
  ctx.fillStyle = item.color;
  ctx.fillText(item.text, 0, dyEm * item.size);
  ctx.restore();
}

const markPaths = new Map();

function mark(ctx, item) {
  const geometry = MARKS[item.mark];
  let p = markPaths.get(item.mark);
  if (p === undefined) {
    p = new Path2D(geometry.d);
    markPaths.set(item.mark, p);
  }
  ctx.save();
  ctx.translate(item.at.x, item.at.y);
  ctx.scale(item.size, -item.size);
  ctx.setLineDash([]);
  solid(ctx, p, item.color, geometry.stroked ? MARK_STROKE : undefined);
  ctx.restore();
}
