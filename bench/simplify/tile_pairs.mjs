// The squares that both tilers wrote: each tile's plain bytes (gzip undone) as KVG, from an
// archive, and as a Mapbox Vector Tile, from GDAL's z/x/y.pbf folder.
import { existsSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import { gunzipSync } from 'node:zlib';

import { TileArchive, plainBytes } from '../../web/src/index.js';

const plain = (bytes) => (bytes[0] === 0x1f && bytes[1] === 0x8b ? new Uint8Array(gunzipSync(bytes)) : bytes);

/**
 * The archive (opened) and the tiles of zooms `minZoom` to `maxZoom` present in both.
 * @returns {Promise<{archive: TileArchive, pairs: {z: number, x: number, y: number, kvg: Uint8Array, mvt: Uint8Array}[]}>}
 */
export async function tilePairs(archivePath, mvtDir, minZoom, maxZoom) {
  const archive = await new TileArchive(new Uint8Array(readFileSync(archivePath)), archivePath).open();
  const pairs = [];
  for (let z = Math.max(minZoom, archive.minZoom); z <= Math.min(maxZoom, archive.maxZoom); ++z) {
    for (let x = 0; x < 2 ** z; ++x) {
      for (let y = 0; y < 2 ** z; ++y) {
        const mvtFile = join(mvtDir, `${z}`, `${x}`, `${y}.pbf`);
        const response = existsSync(mvtFile) && await archive.archive.getZxy(z, x, y);
        if (!response) continue;
        pairs.push({ z, x, y, kvg: await plainBytes(new Uint8Array(response.data)), mvt: plain(readFileSync(mvtFile)) });
      }
    }
  }
  return { archive, pairs };
}
