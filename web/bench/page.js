// The browser side of the map benchmark: from a file's bytes, as transferred, to a drawn
// canvas. KVG through this package's decoder and renderer; TopoJSON through topojson-client
// and d3-geo; GeoJSON through d3-geo. Each draws every country filled and the borders stroked.
import { geoEquirectangular, geoPath } from 'd3-geo';
import { feature, mesh } from 'topojson-client';

import { Painter, buildScene, fitView, plainBytes } from '../src/index.js';

const WIDTH = 1000;
const HEIGHT = 500;
const COLORS = ['#f6d8ae', '#cfe3c2', '#c6dbef', '#e5cfe3', '#fbe6a2'];

async function inflated(bytes, gzip) {
  if (!gzip) return bytes;
  const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('gzip'));
  return new Uint8Array(await new Response(stream).arrayBuffer());
}

function canvas() {
  const c = document.createElement('canvas');
  c.width = WIDTH;
  c.height = HEIGHT;
  return c;
}

// Reading a pixel back waits until everything drawn has reached the canvas.
const finish = (ctx) => ctx.getImageData(0, 0, 1, 1);

function drawFeatures(ctx, countries, borders) {
  const projection = geoEquirectangular().fitSize([WIDTH, HEIGHT], countries);
  const path = geoPath(projection, ctx);
  ctx.fillStyle = '#fff';
  ctx.fillRect(0, 0, WIDTH, HEIGHT);
  countries.features.forEach((f, i) => {
    ctx.beginPath();
    path(f);
    ctx.fillStyle = COLORS[i % COLORS.length];
    ctx.fill('evenodd');
  });
  ctx.beginPath();
  path(borders);
  ctx.strokeStyle = '#445';
  ctx.lineWidth = 0.5;
  ctx.stroke();
}

const DRAW = {
  async kvg(bytes) {
    const scene = buildScene(await plainBytes(bytes));
    const c = canvas();
    const ctx = c.getContext('2d');
    new Painter(scene).draw(ctx, fitView(scene, WIDTH, HEIGHT));
    return ctx;
  },
  async topojson(bytes, gzip) {
    const topology = JSON.parse(new TextDecoder().decode(await inflated(bytes, gzip)));
    const countries = feature(topology, topology.objects.countries);
    const borders = mesh(topology, topology.objects.countries);
    const ctx = canvas().getContext('2d');
    drawFeatures(ctx, countries, borders);
    return ctx;
  },
  async geojson(bytes, gzip) {
    const { countries, borders } = JSON.parse(new TextDecoder().decode(await inflated(bytes, gzip)));
    const ctx = canvas().getContext('2d');
    drawFeatures(ctx, countries, borders);
    return ctx;
  },
};

/**
 * Fetches a file, then times `rounds` runs from its bytes to a drawn canvas; the median and
 * the fastest run in milliseconds.
 */
window.measure = async (url, format, gzip, rounds) => {
  const bytes = new Uint8Array(await (await fetch(url)).arrayBuffer());
  const times = [];
  for (let i = 0; i < rounds; ++i) {
    const start = performance.now();
    finish(await DRAW[format](bytes, gzip));
    times.push(performance.now() - start);
  }
  times.sort((a, b) => a - b);
  return { bytes: bytes.length, median: times[Math.floor(rounds / 2)], best: times[0] };
};
