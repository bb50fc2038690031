// The viewer of tile archives: the tiles of the current zoom drawn from an archive read by
// HTTP range requests or from a local file, over-zoomed past the last zoom, with line widths
// that stay the same on screen at every zoom; wheel, drag and the Fit button move the map, and
// the status line names the feature under the pointer, whichever tile holds it.
import { Painter, TILE_PIXELS, TileArchive, tilePageView, visibleTiles } from '../src/index.js';

const WHEEL_ZOOM = 0.0015; // per wheel pixel, exponential

export class ArchiveViewer {
  /**
   * Takes over the page's canvas (a fresh copy, without the single-file viewer's handlers).
   * @param {TileArchive} archive an opened archive
   */
  constructor(archive, name, setStatus) {
    const old = /** @type {HTMLCanvasElement} */ (document.getElementById('canvas'));
    this.canvas = /** @type {HTMLCanvasElement} */ (old.cloneNode(false));
    old.replaceWith(this.canvas);
    this.ctx = /** @type {CanvasRenderingContext2D} */ (this.canvas.getContext('2d'));
    this.archive = archive;
    this.name = name;
    this.setStatus = setStatus;
    /** @type {Map<any, Painter>} */
    this.painters = new WeakMap();
    this.view = { zoom: 0, x: 0, y: 0 };
    this.drag = undefined;
    this.renders = 0;
    this.pending = false;
    this.listen();
    this.fit();
  }

  get pixelRatio() { return window.devicePixelRatio || 1; }
  get width() { return this.canvas.clientWidth; }
  get height() { return this.canvas.clientHeight; }

  /** The archive's bounds filling the canvas. */
  fit() {
    const h = this.archive.header;
    const [x0, y0] = worldPoint(h.minLon, h.maxLat), [x1, y1] = worldPoint(h.maxLon, h.minLat);
    const zoom = Math.log2(Math.min(this.width / ((x1 - x0) * TILE_PIXELS), this.height / ((y1 - y0) * TILE_PIXELS)));
    const size = TILE_PIXELS * 2 ** zoom;
    this.view = { zoom, x: (this.width - (x0 + x1) * size) / 2, y: (this.height - (y0 + y1) * size) / 2 };
    this.requestRender();
  }

  painter(scene) {
    let painter = this.painters.get(scene);
    if (!painter) {
      painter = new Painter(scene);
      this.painters.set(scene, painter);
    }
    return painter;
  }

  /** The tiles of the view with their scenes, those not loaded yet left out. */
  async tilesInView() {
    const z = this.archive.tileZoom(this.view.zoom);
    const tiles = visibleTiles(this.view, z, this.width, this.height, this.pixelRatio);
    const scenes = await Promise.all(tiles.map((t) => this.archive.tile(t.z, t.x, t.y).catch((e) => {
      this.setStatus(e.message, true);
      return null;
    })));
    return tiles.map((tile, i) => ({ tile, scene: scenes[i] })).filter((t) => t.scene);
  }

  requestRender() {
    if (this.pending) return;
    this.pending = true;
    requestAnimationFrame(() => {
      this.pending = false;
      this.render();
    });
  }

  async render() {
    const view = { ...this.view };
    const shown = await this.tilesInView();
    if (view.zoom !== this.view.zoom || view.x !== this.view.x || view.y !== this.view.y) return;
    const r = this.pixelRatio;
    this.canvas.width = Math.round(this.width * r);
    this.canvas.height = Math.round(this.height * r);
    const ctx = this.ctx;
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.clearRect(0, 0, this.canvas.width, this.canvas.height);
    const zoomed = 2 ** (view.zoom - (shown[0]?.tile.z ?? 0));
    for (const { tile, scene } of shown) {
      ctx.save();
      ctx.beginPath();
      ctx.rect(tile.left * r, tile.top * r, (tile.right - tile.left) * r, (tile.bottom - tile.top) * r);
      ctx.clip();
      const painter = this.painter(scene);
      painter.strokeScale = 1 / zoomed; // lines keep their width on screen
      drawTile(ctx, painter, tilePageView(scene, tile, this.archive), r);
      ctx.restore();
    }
    ++this.renders;
    this.shownTiles = shown;
    this.drawnView = view;
    this.setStatus(`${this.name} · zoom ${view.zoom.toFixed(1)} · tiles of zoom ${shown[0]?.tile.z ?? '-'}`);
    // A new picture keeps naming the feature under a pointer that has not moved since.
    if (this.pointer) this.hover(this.pointer.x, this.pointer.y);
  }

  zoomBy(factor, x, y) {
    const v = this.view;
    this.view = { zoom: v.zoom + Math.log2(factor), x: x - (x - v.x) * factor, y: y - (y - v.y) * factor };
    this.requestRender();
  }

  /** What lies under a canvas point: the first tile square that holds it and has a hit. */
  hover(x, y) {
    for (const { tile, scene } of this.shownTiles ?? []) {
      if (x < tile.left || x >= tile.right || y < tile.top || y >= tile.bottom) continue;
      const hit = this.painter(scene).hitTest(this.ctx, tilePageView(scene, tile, this.archive), x, y);
      this.setStatus(hit ? describe(hit, tile) : `${this.name}`);
      return hit;
    }
    return undefined;
  }

  listen() {
    const c = this.canvas;
    c.addEventListener('wheel', (e) => {
      e.preventDefault();
      this.zoomBy(Math.exp(-e.deltaY * WHEEL_ZOOM), e.offsetX, e.offsetY);
    }, { passive: false });
    c.addEventListener('pointerdown', (e) => {
      c.setPointerCapture(e.pointerId);
      this.drag = { x: e.offsetX, y: e.offsetY };
    });
    c.addEventListener('pointermove', (e) => {
      if (!this.drag) {
        this.pointer = { x: e.offsetX, y: e.offsetY };
        this.hover(e.offsetX, e.offsetY);
        return;
      }
      this.view = { ...this.view, x: this.view.x + e.offsetX - this.drag.x, y: this.view.y + e.offsetY - this.drag.y };
      this.drag = { x: e.offsetX, y: e.offsetY };
      this.requestRender();
    });
    c.addEventListener('pointerleave', () => { this.pointer = undefined; });
    const up = () => { this.drag = undefined; };
    c.addEventListener('pointerup', up);
    c.addEventListener('pointercancel', up);
    const fit = /** @type {HTMLElement} */ (document.getElementById('fit'));
    const freshFit = /** @type {HTMLElement} */ (fit.cloneNode(true));
    fit.replaceWith(freshFit);
    freshFit.addEventListener('click', () => this.fit());
    new ResizeObserver(() => this.requestRender()).observe(c);
  }
}

/** Paints a scene's layers, without its background, in a view, on a context already clipped. */
function drawTile(ctx, painter, view, pixelRatio) {
  ctx.setTransform(painter.matrix(view, pixelRatio));
  ctx.miterLimit = 4;
  painter.scene.layers.forEach((layer) => {
    if (layer.visible) painter.items(ctx, layer.items);
  });
}

/** A point in degrees as a share of the Web Mercator world's width, from its north-west. */
function worldPoint(lon, lat) {
  const y = Math.log(Math.tan(Math.PI / 4 + (Math.max(-85.0511, Math.min(85.0511, lat)) * Math.PI) / 360));
  return [(lon + 180) / 360, 0.5 - y / (2 * Math.PI)];
}

function describe(hit, tile) {
  const what = hit.kind === 'figure' ? 'figure' : `${hit.kind} ${hit.id}`;
  return [hit.object && `“${hit.object}”`, what, hit.layer && `layer “${hit.layer}”`, `tile ${tile.z}/${tile.x}/${tile.y}`]
    .filter(Boolean).join(' · ');
}

/** Opens an archive (URL, File or bytes) and shows it in the page. */
export async function openArchive(source, name, setStatus) {
  const archive = await new TileArchive(source, name).open();
  const viewer = new ArchiveViewer(archive, name, setStatus);
  /** @type {any} */ (window).kvgArchiveViewer = viewer;
  return viewer;
}
