// The viewer streaming an archive that `kvg tile` made of real data: the countries of
// world-atlas 1:110m tiled at zooms 0 to 2, served on the loopback address and read by range
// requests, every tile of zoom 2 fetched and drawn in its own square.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { after, before, describe, test } from 'node:test';

import { launch, serve } from './browser.js';

const kvg = process.env.KVG_BIN;
const viewerPage = process.env.KVG_VIEWER_HTML;
const missing = !(kvg && viewerPage) && 'KVG_BIN and KVG_VIEWER_HTML not set';
const countries = fileURLToPath(new URL('../../../tests/data/countries-110m.json', import.meta.url));

const ZOOM = 2;
const WORLD = 256 * 2 ** ZOOM; // CSS pixels across the world at ZOOM: the canvas shows it whole

describe('an archive of the world\'s countries made by kvg tile, in Chromium', { skip: missing }, () => {
  let browser;
  let server;
  let folder;
  let tilesWritten;

  before(async () => {
    folder = mkdtempSync(join(tmpdir(), 'kvg-tiled-'));
    const summary = execFileSync(kvg, ['tile', countries, '--layer', 'countries', '--make-valid',
      '--zoom', `0-${ZOOM}`, '-o', join(folder, 'countries.pmtiles')], { encoding: 'utf8' });
    tilesWritten = Number(new RegExp(` ${ZOOM}:(\\d+)`).exec(summary)?.[1]);
    browser = await launch();
    server = await serve({ '/viewer/': `${dirname(viewerPage)}/`, '/files/': `${folder}/` });
  });
  after(async () => {
    await browser?.close();
    await server?.close();
    if (folder) rmSync(folder, { recursive: true, force: true });
  });

  test('every tile of the zoom is fetched by range requests and drawn in its square', async () => {
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(e.message));
    await page.setViewportSize({ width: WORLD, height: WORLD + 100 });
    await page.goto(`${server.url}/viewer/${basename(viewerPage)}?src=/files/countries.pmtiles`);
    await page.waitForSelector('body[data-ready]');
    const top = await page.evaluate(() => document.getElementById('canvas').getBoundingClientRect().top);
    await page.setViewportSize({ width: WORLD, height: WORLD + Math.round(top) });
    await page.evaluate((zoom) => {
      const viewer = window.kvgArchiveViewer;
      viewer.view = { zoom, x: 0, y: 0 };
      viewer.requestRender();
    }, ZOOM);
    await page.waitForFunction((zoom) => {
      const v = window.kvgArchiveViewer;
      return v?.drawnView?.zoom === zoom && v.drawnView.x === 0 && v.drawnView.y === 0 && !v.pending;
    }, ZOOM);

    // The tiles shown are those the archive holds at the zoom (a square of open sea has no
    // tile), all of them.
    const shown = await page.evaluate(() => window.kvgArchiveViewer.shownTiles.map(({ tile }) => tile));
    assert.ok(tilesWritten >= 12, `kvg tile wrote ${tilesWritten} tiles of zoom ${ZOOM}`);
    assert.equal(shown.length, tilesWritten);
    assert.ok(shown.every((t) => t.z === ZOOM), JSON.stringify(shown));

    // Only byte ranges of the archive were fetched, never the whole file.
    const fetched = server.requests.filter((r) => r.path === '/files/countries.pmtiles');
    assert.ok(fetched.length >= 2, JSON.stringify(server.requests));
    assert.ok(fetched.every((r) => r.status === 206 && r.range), JSON.stringify(fetched));

    // Each tile's square holds painted pixels (the canvas is cleared to transparent and tiles
    // are drawn without a background).
    const painted = await page.evaluate((squares) => {
      const canvas = /** @type {HTMLCanvasElement} */ (document.getElementById('canvas'));
      const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
      return squares.map(({ left, top: y0, right, bottom }) => {
        let count = 0;
        for (let y = Math.round(y0); y < Math.round(bottom); ++y) {
          for (let x = Math.round(left); x < Math.round(right); ++x) if (data[(y * canvas.width + x) * 4 + 3]) ++count;
        }
        return count;
      });
    }, shown);
    shown.forEach((t, i) => assert.ok(painted[i] > 50, `tile ${t.z}/${t.x}/${t.y}: ${painted[i]} pixels painted`));
    assert.deepEqual(errors, []);
    await page.close();
  });
});
