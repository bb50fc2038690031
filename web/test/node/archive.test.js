// Tile archives written by the C++ library (kvg.TileArchive, test/scripts/make-archives.py)
// read by the npm `pmtiles` package in Node: header, metadata, leaf directories and tile bytes
// agree with what was written and with `kvg check`; every tile decodes with the web decoder.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { existsSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import { describe, test } from 'node:test';

import { TILE_PIXELS, TileArchive, isArchive, tilePageView, visibleTiles } from '../../src/index.js';

const archives = process.env.KVG_ARCHIVES;
const kvg = process.env.KVG_BIN;
// The archives come from the Python package's fixture, which builds without sanitizers only.
const missing = !(archives && kvg && existsSync(archives)) && 'no archives (KVG_ARCHIVES) or no KVG_BIN';

const open = (name) => new TileArchive(new Uint8Array(readFileSync(join(archives, name))), name).open();

describe('archives of the C++ writer in pmtiles', { skip: missing }, () => {
  test('header, metadata and every tile of a small pyramid', async () => {
    const archive = await open('squares.pmtiles');
    const h = archive.header;
    assert.equal(isArchive(readFileSync(join(archives, 'squares.pmtiles'))), true);
    assert.deepEqual([h.specVersion, h.minZoom, h.maxZoom, h.tileType, h.tileCompression, h.clustered], [3, 0, 2, 0, 2, true]);
    assert.deepEqual([h.minLon, h.maxLon], [-180, 180]);
    assert.equal(archive.metadata.name, 'squares');
    assert.deepEqual([archive.extent, archive.buffer], [4096, 64]);
    assert.deepEqual(archive.metadata.vector_layers[0].fields, { name: 'String' });
    const check = execFileSync(kvg, ['check', join(archives, 'squares.pmtiles')], { encoding: 'utf8' });
    const [, tiles] = /valid archive, (\d+) tiles/.exec(check) ?? [];
    let found = 0, square = 0;
    for (let z = 0; z <= 3; ++z) {
      for (let x = 0; x < 2 ** z; ++x) {
        for (let y = 0; y < 2 ** z; ++y) {
          const scene = await archive.tile(z, x, y);
          assert.equal(scene === null, z === 3, `${z}/${x}/${y}`);
          if (!scene) continue;
          ++found;
          if (scene.layers.some((l) => l.items.some((i) => i.hit?.object === 'Square'))) ++square;
        }
      }
    }
    assert.equal(found, Number(tiles));
    assert.equal(square, 1 + 4 + 4); // the square covers the centre: every tile of zooms 0, 1; four of zoom 2
    assert.equal(h.numAddressedTiles, 21);
  });

  test('leaf directories and tile bytes agree with what was written', async () => {
    const manifest = JSON.parse(readFileSync(join(archives, 'leaves.json'), 'utf8'));
    const archive = await open('leaves.pmtiles');
    const h = archive.header;
    assert.ok(h.leafDirectoryLength > 0);
    assert.ok(h.rootDirectoryOffset + h.rootDirectoryLength <= 16384);
    assert.equal(h.numAddressedTiles, manifest.summary.addressed_tiles);
    assert.equal(h.numTileContents, manifest.summary.tile_contents);
    assert.equal(h.tileCompression, 1);
    const entries = Object.entries(manifest.tiles);
    assert.ok(entries.length > 100);
    for (const [address, sha] of entries) {
      const [z, x, y] = address.split('/').map(Number);
      const response = await archive.archive.getZxy(z, x, y);
      assert.ok(response, address);
      assert.equal(createHash('sha256').update(new Uint8Array(response.data)).digest('hex'), sha, address);
    }
  });

  test('the tiles of a view and where their pages lie', async () => {
    const archive = await open('squares.pmtiles');
    const whole = visibleTiles({ zoom: 0, x: 0, y: 0 }, 0, 256, 256);
    assert.deepEqual(whole, [{ z: 0, x: 0, y: 0, left: 0, top: 0, right: 256, bottom: 256 }]);
    // Zoom 3.4 over-zooms zoom 2's tiles; a canvas inside the world sees only its tiles.
    assert.equal(archive.tileZoom(3.4), 2);
    assert.equal(archive.tileZoom(-1), 0);
    const view = { zoom: 2, x: -300, y: -10 };
    const tiles = visibleTiles(view, 2, 400, 300);
    assert.deepEqual(tiles.map((t) => `${t.x}/${t.y}`), ['1/0', '1/1', '2/0', '2/1']);
    assert.equal(tiles[0].left, -300 + TILE_PIXELS);
    const scene = await archive.tile(2, 1, 0);
    const page = tilePageView(scene, tiles[0], archive);
    // The page spans the tile and its buffer of 64 / 4096 on each side.
    assert.ok(Math.abs(page.scale * scene.pageSize.x - TILE_PIXELS * (1 + 2 * 64 / 4096)) < 1e-9);
    assert.ok(Math.abs(page.x - (tiles[0].left - TILE_PIXELS * 64 / 4096)) < 1e-9);
  });
});
