// The viewer page: opens a KVG file (picker, drag and drop, ?src=URL, or the drawing embedded
// by `kvg html`), fits it to the window, pans and zooms with wheel, drag, touch and keys
// (arrows, + and -, 0 to fit) within a range around the fitted view, switches layers, and
// names the face, edge or object under the pointer. As on a map, lines keep the width on
// screen that they have in the fitted view at every zoom, and solid lines end round so that
// edges meet without notches.
//
// While the view moves, the last full picture (drawn with a margin around the window) is moved
// and scaled, which costs one image copy per frame whatever the drawing holds; the full picture
// is drawn again once the view has settled.
import {
  Fault, PAGE_LIMITS, Painter, buildScene, errorMessage, fitView, isArchive, plainBytes,
} from '../src/index.js';
import { openArchive } from './archive.js';

const SETTLE_MS = 150;
const WHEEL_ZOOM = 0.0015; // per wheel pixel, exponential
const MARGIN = 0.5; // of the window's size drawn around it for panning
/** Zoom stays between these multiples of the fitted view's scale. */
const ZOOM_RANGE = { min: 0.5, max: 1024 };
const KEY_PAN = 0.1; // of the window's size per arrow key
const KEY_ZOOM = 1.25;

const $ = (id) => /** @type {HTMLElement} */ (document.getElementById(id));

class Viewer {
  constructor() {
    this.canvas = /** @type {HTMLCanvasElement} */ ($('canvas'));
    this.ctx = /** @type {CanvasRenderingContext2D} */ (this.canvas.getContext('2d'));
    this.cache = document.createElement('canvas');
    /** @type {any} */
    this.scene = undefined;
    /** @type {Painter|undefined} */
    this.painter = undefined;
    this.view = { scale: 1, x: 0, y: 0 };
    this.cachedView = undefined;
    this.hidden = new Set(); // indexes of the layers switched off
    this.pointers = new Map();
    this.frameTimes = []; // when each frame was shown, for measuring
    this.renders = 0; // full pictures drawn
    this.settleTimer = 0;
    this.fitted = false;
    this.framePending = false;
    this.hoverAt = undefined;
    this.listen();
  }

  get pixelRatio() { return window.devicePixelRatio || 1; }
  get width() { return this.canvas.clientWidth; }
  get height() { return this.canvas.clientHeight; }

  status(text, error = false) {
    $('status').textContent = text;
    $('status').classList.toggle('error', error);
  }

  /** Decodes and shows a file's bytes; resolves once the first picture is drawn. */
  async open(bytes, name) {
    $('hint').hidden = true;
    $('title').textContent = name;
    document.title = `${name} – KVG viewer`;
    try {
      if (isArchive(bytes)) return await this.openArchive(bytes, name);
      const scene = buildScene(await plainBytes(bytes, PAGE_LIMITS), PAGE_LIMITS);
      if (scene.error) throw new Error(errorMessage(scene.error));
      this.scene = scene;
      this.painter = new Painter(scene);
      this.hidden = new Set(scene.layers.flatMap((l, i) => (l.visible ? [] : [i])));
      this.layerList();
      this.status(`${scene.points.toLocaleString('en')} points`);
      this.fit();
    } catch (e) {
      this.scene = undefined;
      this.status(`${name}: ${e instanceof Fault ? errorMessage({ offset: e.offset ?? 0, reason: e.reason }) : e.message}`, true);
      this.ctx.clearRect(0, 0, this.canvas.width, this.canvas.height);
    }
  }

  /** A tile archive (URL or bytes) is shown by the archive viewer, which takes the canvas. */
  async openArchive(source, name) {
    this.scene = undefined;
    await openArchive(source, name, (text, error) => this.status(text, error));
  }

  fit() {
    if (!this.scene) return;
    this.view = fitView(this.scene, this.width, this.height);
    this.fitted = true;
    this.render();
  }

  layerList() {
    const list = $('layers');
    list.replaceChildren(...this.scene.layers.map((layer, i) => {
      const box = Object.assign(document.createElement('input'), { type: 'checkbox', checked: !this.hidden.has(i) });
      box.dataset.layer = String(i);
      box.addEventListener('change', () => {
        if (box.checked) this.hidden.delete(i);
        else this.hidden.add(i);
        this.render();
      });
      const label = document.createElement('label');
      label.append(box, ` ${layer.name || '(no layer)'}`);
      return label;
    }));
  }

  visible = (_layer, i) => !this.hidden.has(i);

  /** Draws the full picture, with a margin, into the cache, and shows it. */
  render() {
    if (!this.scene) return;
    const r = this.pixelRatio;
    const mx = Math.round(this.width * MARGIN);
    const my = Math.round(this.height * MARGIN);
    this.canvas.width = Math.round(this.width * r);
    this.canvas.height = Math.round(this.height * r);
    this.cache.width = Math.round((this.width + 2 * mx) * r);
    this.cache.height = Math.round((this.height + 2 * my) * r);
    const view = { ...this.view };
    const ctx = /** @type {CanvasRenderingContext2D} */ (this.cache.getContext('2d'));
    const strokes = { scale: this.fittedScale() / view.scale, roundEnds: true };
    this.painter.draw(ctx, { scale: view.scale, x: view.x + mx, y: view.y + my }, r, this.visible, strokes);
    this.cachedView = { ...view, mx, my };
    ++this.renders;
    this.show();
  }

  /** Shows the cached picture moved and scaled to the current view. */
  show() {
    const c = this.cachedView;
    if (!c) return;
    const ratio = this.view.scale / c.scale;
    const r = this.pixelRatio;
    const ctx = this.ctx;
    ctx.setTransform(1, 0, 0, 1, 0, 0);
    ctx.clearRect(0, 0, this.canvas.width, this.canvas.height);
    ctx.imageSmoothingEnabled = true;
    ctx.drawImage(this.cache, (this.view.x - (c.x + c.mx) * ratio) * r, (this.view.y - (c.y + c.my) * ratio) * r,
      this.cache.width * ratio, this.cache.height * ratio);
    this.frameTimes.push(performance.now());
    if (this.frameTimes.length > 1000) this.frameTimes.splice(0, 500);
  }

  /**
   * The view changed: show the moved picture at the next frame, and redraw once the view has
   * settled: no pointer down and no change for a moment.
   */
  moved() {
    this.fitted = false;
    if (!this.framePending) {
      this.framePending = true;
      requestAnimationFrame(() => {
        this.framePending = false;
        this.show();
      });
    }
    this.settle();
  }

  settle() {
    clearTimeout(this.settleTimer);
    if (this.pointers.size === 0) this.settleTimer = setTimeout(() => this.render(), SETTLE_MS);
  }

  fittedScale() { return fitView(this.scene, this.width, this.height).scale; }

  /** Zooms by `factor` about a point of the canvas, as far as the zoom range allows. */
  zoom(factor, x, y) {
    const v = this.view;
    const fitted = this.scene ? this.fittedScale() : v.scale;
    const scale = Math.min(Math.max(v.scale * factor, fitted * ZOOM_RANGE.min), fitted * ZOOM_RANGE.max);
    if (scale === v.scale) return;
    const f = scale / v.scale;
    this.view = { scale, x: x - (x - v.x) * f, y: y - (y - v.y) * f };
    this.moved();
  }

  /**
   * Arrows pan, + and - zoom about the middle, 0 fits; keys typed into the page's inputs or
   * with a modifier are left alone.
   */
  key(e) {
    if (!this.scene || e.ctrlKey || e.metaKey || e.altKey || e.target instanceof HTMLInputElement) return;
    const dx = Math.round(this.width * KEY_PAN);
    const dy = Math.round(this.height * KEY_PAN);
    const middle = [this.width / 2, this.height / 2];
    const actions = {
      ArrowLeft: () => this.pan(dx, 0), ArrowRight: () => this.pan(-dx, 0),
      ArrowUp: () => this.pan(0, dy), ArrowDown: () => this.pan(0, -dy),
      '+': () => this.zoom(KEY_ZOOM, ...middle), '=': () => this.zoom(KEY_ZOOM, ...middle),
      '-': () => this.zoom(1 / KEY_ZOOM, ...middle),
      0: () => this.fit(),
    };
    const action = actions[e.key];
    if (!action) return;
    e.preventDefault();
    action();
  }

  pan(dx, dy) {
    this.view = { ...this.view, x: this.view.x + dx, y: this.view.y + dy };
    this.moved();
  }

  hover(x, y) {
    if (!this.scene || this.hoverAt) {
      this.hoverAt = { x, y };
      return;
    }
    this.hoverAt = { x, y };
    requestAnimationFrame(() => {
      const at = this.hoverAt;
      this.hoverAt = undefined;
      if (!this.scene || !at) return;
      const hit = this.painter.hitTest(this.ctx, this.view, at.x, at.y, this.visible);
      this.status(hit ? describeHit(hit) : `${this.scene.points.toLocaleString('en')} points`);
    });
  }

  listen() {
    const c = this.canvas;
    c.addEventListener('wheel', (e) => {
      e.preventDefault();
      this.zoom(Math.exp(-e.deltaY * WHEEL_ZOOM), e.offsetX, e.offsetY);
    }, { passive: false });
    c.addEventListener('pointerdown', (e) => {
      c.setPointerCapture(e.pointerId);
      this.pointers.set(e.pointerId, { x: e.offsetX, y: e.offsetY });
      c.classList.add('dragging');
      clearTimeout(this.settleTimer);
    });
    c.addEventListener('pointermove', (e) => {
      const last = this.pointers.get(e.pointerId);
      if (!last) {
        this.hover(e.offsetX, e.offsetY);
        return;
      }
      const now = { x: e.offsetX, y: e.offsetY };
      if (this.pointers.size === 2) {
        // Pinch: zoom by the change of the two fingers' distance about their midpoint.
        const [other] = [...this.pointers].filter(([id]) => id !== e.pointerId).map(([, p]) => p);
        const before = Math.hypot(last.x - other.x, last.y - other.y);
        const after = Math.hypot(now.x - other.x, now.y - other.y);
        if (before > 0 && after > 0) this.zoom(after / before, (now.x + other.x) / 2, (now.y + other.y) / 2);
        this.pan((now.x - last.x) / 2, (now.y - last.y) / 2);
      } else {
        this.pan(now.x - last.x, now.y - last.y);
      }
      this.pointers.set(e.pointerId, now);
    });
    const up = (e) => {
      if (!this.pointers.delete(e.pointerId) || this.pointers.size > 0) return;
      c.classList.remove('dragging');
      if (this.cachedView && !sameView(this.view, this.cachedView)) this.settle();
    };
    c.addEventListener('pointerup', up);
    c.addEventListener('pointercancel', up);
    $('fit').addEventListener('click', () => this.fit());
    window.addEventListener('keydown', (e) => this.key(e));
    $('picker').addEventListener('change', async (e) => {
      const file = /** @type {HTMLInputElement} */ (e.target).files?.[0];
      if (file) await this.open(new Uint8Array(await file.arrayBuffer()), file.name);
    });
    const main = /** @type {HTMLElement} */ (c.parentElement);
    main.addEventListener('dragover', (e) => {
      e.preventDefault();
      main.classList.add('drop');
    });
    main.addEventListener('dragleave', () => main.classList.remove('drop'));
    main.addEventListener('drop', async (e) => {
      e.preventDefault();
      main.classList.remove('drop');
      const file = e.dataTransfer?.files[0];
      if (file) await this.open(new Uint8Array(await file.arrayBuffer()), file.name);
    });
    // A drawing the user has not moved stays fitted to the window.
    new ResizeObserver(() => {
      if (this.fitted) this.fit();
      else if (this.cachedView) this.render();
    }).observe(c);
  }
}

const sameView = (a, b) => a.scale === b.scale && a.x === b.x && a.y === b.y;

function describeHit(hit) {
  const what = hit.kind === 'figure' ? 'figure'
    : hit.last !== undefined ? `edges ${hit.id} to ${hit.last}` : `${hit.kind} ${hit.id}`;
  return [what, hit.object && `object “${hit.object}”`, hit.layer && `layer “${hit.layer}”`]
    .filter(Boolean).join(' · ');
}

/** The drawing `kvg html` embeds, base64 in a script element, or undefined. */
function embedded() {
  const element = document.getElementById('kvg-drawing');
  if (!element) return undefined;
  const text = atob((element.textContent ?? '').replace(/\s+/g, ''));
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
  return { bytes, name: element.dataset.name ?? 'drawing.kvg' };
}

async function start() {
  const viewer = new Viewer();
  /** @type {any} */ (window).kvgViewer = viewer;
  const drawing = embedded();
  const src = new URLSearchParams(location.search).get('src');
  if (drawing) {
    await viewer.open(drawing.bytes, drawing.name);
  } else if (src && /\.pmtiles$/i.test(new URL(src, location.href).pathname)) {
    $('hint').hidden = true;
    await viewer.openArchive(src, src.split('/').pop() || src).catch((e) => viewer.status(`${src}: ${e.message}`, true));
  } else if (src) {
    try {
      const response = await fetch(src);
      if (!response.ok) throw new Error(`${response.status} ${response.statusText}`);
      await viewer.open(new Uint8Array(await response.arrayBuffer()), src.split('/').pop() || src);
    } catch (e) {
      viewer.status(`${src}: ${e.message}`, true);
    }
  }
  document.body.dataset.ready = 'true';
}

start();
