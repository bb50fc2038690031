// Tile archives (PMTiles) of KVG tiles in the browser and Node: read through the npm `pmtiles`
// package by HTTP range requests, from a local File or from bytes, each tile decoded into a
// scene once; and the Web Mercator tile grid that places the tiles of a zoom on a canvas.
//
// A tile's file window spans its square, `extent` grid units wide, plus `buffer` units beyond
// each edge (the archive's metadata says both); the tile is drawn so that its square lands on
// its place in the grid, clipped there so that neighbours join without a seam.
import { PMTiles, FileSource } from 'pmtiles';

import { buildScene } from './scene.js';
import { errorMessage } from './decoder.js';
import { plainBytes } from './load.js';

/** CSS pixels across a tile at its own zoom. */
export const TILE_PIXELS = 256;
/** Decoded tiles kept per archive. */
const CACHE_TILES = 256;

/** A source of the archive's bytes held in memory. */
class BytesSource {
  /** @param {Uint8Array} bytes @param {string} key */
  constructor(bytes, key) {
    this.bytes = bytes;
    this.key = key;
  }
  getKey() { return this.key; }
  async getBytes(offset, length) {
    const view = this.bytes.subarray(offset, offset + length);
    return { data: view.slice().buffer };
  }
}

/** Whether bytes begin as a tile archive does. */
export const isArchive = (bytes) => bytes.length >= 7 && String.fromCharCode(...bytes.subarray(0, 7)) === 'PMTiles';

export class TileArchive {
  /**
   * @param {string|Blob|Uint8Array} source a URL (read by range requests), a File or Blob, or
   *   the archive's bytes
   * @param {string} [name]
   */
  constructor(source, name = 'archive') {
    const pmSource = typeof source === 'string' ? source
      : source instanceof Uint8Array ? new BytesSource(source, name)
        : new FileSource(/** @type {File} */ (source));
    this.archive = new PMTiles(pmSource);
    /** @type {Map<string, Promise<any>>} scenes (or null for a tile the archive lacks) */
    this.cache = new Map();
  }

  /** Reads the header and metadata; rejects for an archive of other tiles than KVG. */
  async open() {
    const header = await this.archive.getHeader();
    const metadata = /** @type {any} */ (await this.archive.getMetadata()) ?? {};
    if (metadata.format !== 'kvg') throw new Error(`not an archive of KVG tiles (format ${JSON.stringify(metadata.format)})`);
    this.header = header;
    this.metadata = metadata;
    this.minZoom = header.minZoom;
    this.maxZoom = header.maxZoom;
    this.extent = Number(metadata.extent) > 0 ? Number(metadata.extent) : 4096;
    this.buffer = Number(metadata.buffer) >= 0 ? Number(metadata.buffer) : 0;
    return this;
  }

  /**
   * The scene of tile z/x/y, or null when the archive lacks it; a tile that does not decode
   * rejects with the decoder's message.
   */
  tile(z, x, y) {
    const key = `${z}/${x}/${y}`;
    let scene = this.cache.get(key);
    if (scene === undefined) {
      scene = this.load(z, x, y);
      this.cache.set(key, scene);
      if (this.cache.size > CACHE_TILES) this.cache.delete(this.cache.keys().next().value);
    } else {
      this.cache.delete(key); // most recently used last
      this.cache.set(key, scene);
    }
    return scene;
  }

  async load(z, x, y) {
    const response = await this.archive.getZxy(z, x, y);
    if (!response) return null;
    const scene = buildScene(await plainBytes(new Uint8Array(response.data)));
    if (scene.error) throw new Error(`tile ${z}/${x}/${y}: ${errorMessage(scene.error)}`);
    return scene;
  }

  /** The zoom whose tiles show a map at continuous zoom `zoom`: over-zoomed past the last. */
  tileZoom(zoom) {
    return Math.min(this.maxZoom, Math.max(this.minZoom, Math.round(zoom)));
  }
}

/**
 * Where the world lies on a canvas: `zoom` (continuous; the world is 256 x 2^zoom CSS pixels
 * wide) and the canvas position, in CSS pixels, of the world's north-western corner.
 * @typedef {{zoom: number, x: number, y: number}} MapView
 */

/**
 * The tiles of zoom `z` that cover a canvas of `width` x `height` CSS pixels, each with its
 * square on the canvas, edges rounded to device pixels so that neighbours share them.
 * @param {MapView} view
 */
export function visibleTiles(view, z, width, height, pixelRatio = 1) {
  const count = 2 ** z;
  const size = TILE_PIXELS * 2 ** view.zoom / count;
  const edge = (origin, i) => Math.round((origin + i * size) * pixelRatio) / pixelRatio;
  const first = (origin) => Math.max(0, Math.floor(-origin / size));
  const last = (origin, extent) => Math.min(count - 1, Math.floor((extent - origin) / size));
  const tiles = [];
  for (let x = first(view.x); x <= last(view.x, width); ++x) {
    for (let y = first(view.y); y <= last(view.y, height); ++y) {
      const left = edge(view.x, x), top = edge(view.y, y);
      tiles.push({ z, x, y, left, top, right: edge(view.x, x + 1), bottom: edge(view.y, y + 1) });
    }
  }
  return tiles;
}

/**
 * The painter's view (scene.js/draw.js: CSS pixels per millimetre and the page's corner) that
 * puts a tile's page on its square, the buffer beyond it.
 */
export function tilePageView(scene, tile, archive) {
  const share = archive.buffer / archive.extent;
  const width = tile.right - tile.left;
  const scale = (width * (1 + 2 * share)) / scene.pageSize.x;
  return { scale, x: tile.left - width * share, y: tile.top - width * share };
}
