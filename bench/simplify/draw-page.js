// The browser side of the tile drawing benchmark: the same squares as KVG tiles (this project's
// decoder and painter, as the archive viewer draws them) and as Mapbox Vector Tiles
// (@mapbox/vector-tile and pbf, each feature filled and outlined on a canvas path), each tile
// drawn on its own 256-pixel square, clipped to it; a pixel read back after each tile waits
// until it has reached the canvas.
import { VectorTile } from '@mapbox/vector-tile';
import { PbfReader } from 'pbf';

import { Painter, buildScene, tilePageView } from '../../web/src/index.js';

const SIZE = 256;
const SQUARE = { left: 0, top: 0, right: SIZE, bottom: SIZE };
const COLORS = ['#f6d8ae', '#cfe3c2', '#c6dbef', '#e5cfe3', '#fbe6a2'];

const bytes = (base64) => Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));

function square() {
  const canvas = document.createElement('canvas');
  canvas.width = SIZE;
  canvas.height = SIZE;
  const ctx = /** @type {CanvasRenderingContext2D} */ (canvas.getContext('2d'));
  return ctx;
}

function clear(ctx) {
  ctx.setTransform(1, 0, 0, 1, 0, 0);
  ctx.clearRect(0, 0, SIZE, SIZE);
}

const kvg = {
  decode(data, archive) {
    const scene = buildScene(data);
    if (scene.error) throw new Error(scene.error.reason);
    return { painter: new Painter(scene), view: tilePageView(scene, SQUARE, archive) };
  },
  draw(ctx, { painter, view }) {
    ctx.setTransform(painter.matrix(view, 1));
    ctx.miterLimit = 4;
    for (const layer of painter.scene.layers) if (layer.visible) painter.items(ctx, layer.items);
  },
};

const mvt = {
  decode(data) {
    const features = [];
    for (const layer of Object.values(new VectorTile(new PbfReader(data)).layers)) {
      for (let i = 0; i < layer.length; ++i) {
        const f = layer.feature(i);
        features.push({ type: f.type, rings: f.loadGeometry(), scale: SIZE / f.extent });
      }
    }
    return features;
  },
  draw(ctx, features) {
    ctx.lineWidth = 0.5;
    ctx.strokeStyle = '#333';
    features.forEach((f, i) => {
      ctx.setTransform(f.scale, 0, 0, f.scale, 0, 0);
      ctx.beginPath();
      for (const ring of f.rings) {
        ctx.moveTo(ring[0].x, ring[0].y);
        for (let j = 1; j < ring.length; ++j) ctx.lineTo(ring[j].x, ring[j].y);
        if (f.type === 3) ctx.closePath();
      }
      if (f.type === 3) {
        ctx.fillStyle = COLORS[i % COLORS.length];
        ctx.fill('evenodd');
      }
      ctx.setTransform(1, 0, 0, 1, 0, 0);
      ctx.stroke();
    });
  },
};

/** Seconds to draw every tile once (decoded beforehand), and to decode and draw them. */
function timeTiles(format, tiles, archive, rounds) {
  const ctx = square();
  const run = (decoded) => {
    const start = performance.now();
    for (let i = 0; i < tiles.length; ++i) {
      clear(ctx);
      format.draw(ctx, decoded ? decoded[i] : format.decode(tiles[i], archive));
      ctx.getImageData(0, 0, 1, 1);
    }
    return (performance.now() - start) / 1e3;
  };
  const decoded = tiles.map((t) => format.decode(t, archive));
  const best = (f) => Math.min(...Array.from({ length: rounds }, f));
  return { draw: best(() => run(decoded)), decodeDraw: best(() => run(undefined)) };
}

/** @param {{kvg: string[], mvt: string[], archive: {extent: number, buffer: number}, rounds: number}} input */
window.tileBench = (input) => ({
  kvg: timeTiles(kvg, input.kvg.map(bytes), input.archive, input.rounds),
  mvt: timeTiles(mvt, input.mvt.map(bytes), input.archive, input.rounds),
});
document.body.dataset.ready = '';
