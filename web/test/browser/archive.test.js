// The viewer on tile archives in Chromium: an archive read by range requests from a local HTTP
// server and from a local file, tiles joined without seams, line widths kept on screen when
// over-zoomed, and the feature under the pointer named on both sides of a tile edge.
import assert from 'node:assert/strict';
import { existsSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { basename, dirname } from 'node:path';

import { launch, serve } from './browser.js';

const viewerPage = process.env.KVG_VIEWER_HTML;
const archives = process.env.KVG_ARCHIVES;
// The archives come from the Python package's fixture, which builds without sanitizers only.
const missing = !(viewerPage && archives && existsSync(archives)) && 'no viewer page or no archives (KVG_ARCHIVES)';

const SQUARE = [0x33, 0x66, 0xcc];
const RED = [0xcc, 0, 0];
const near = (pixel, colour) => colour.every((c, i) => Math.abs(pixel[i] - c) <= 2) && pixel[3] === 255;

describe('archive viewer in Chromium', { skip: missing }, () => {
  let browser;
  let server;

  before(async () => {
    browser = await launch();
    server = await serve({ '/viewer/': `${dirname(viewerPage)}/`, '/files/': `${archives}/` });
  });
  after(async () => {
    await browser?.close();
    await server?.close();
  });

  /** Waits until the archive viewer has drawn the view it holds. */
  async function drawn(page) {
    await page.waitForFunction(() => {
      const v = window.kvgArchiveViewer;
      return v && v.drawnView && !v.pending && ['zoom', 'x', 'y'].every((k) => v.drawnView[k] === v.view[k]);
    });
  }

  /** A page of the viewer with a canvas of 512 x 512 CSS pixels, at `query`. */
  async function open(query) {
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(e.message));
    await page.setViewportSize({ width: 512, height: 612 });
    await page.goto(`${server.url}/viewer/${basename(viewerPage)}${query}`);
    await page.waitForSelector('body[data-ready]');
    const top = await page.evaluate(() => document.getElementById('canvas').getBoundingClientRect().top);
    await page.setViewportSize({ width: 512, height: 512 + Math.round(top) });
    page.errors = errors;
    return page;
  }

  const pixels = (page, x, y, w, h) => page.evaluate(([px, py, pw, ph]) => {
    const d = document.getElementById('canvas').getContext('2d').getImageData(px, py, pw, ph).data;
    const out = [];
    for (let i = 0; i < d.length; i += 4) out.push([d[i], d[i + 1], d[i + 2], d[i + 3]]);
    return out;
  }, [x, y, w, h]);

  /** Red pixels down the column at x: the equator line's width on screen. */
  const lineWidth = async (page, x) => (await pixels(page, x, 0, 1, 512)).filter((p) => near(p, RED)).length;

  test('an archive by range requests: tiles of the zoom, joined without seams', async () => {
    const page = await open('?src=/files/squares.pmtiles');
    await page.evaluate(() => window.kvgArchiveViewer.fit());
    await drawn(page);
    const viewer = await page.evaluate(() => ({ zoom: window.kvgArchiveViewer.view.zoom, tiles: window.kvgArchiveViewer.shownTiles.map((t) => t.tile) }));
    assert.ok(Math.abs(viewer.zoom - 1) < 1e-9, `fitted at zoom ${viewer.zoom}`);
    assert.deepEqual(viewer.tiles.map((t) => `${t.z}/${t.x}/${t.y}`).sort(), ['1/0/0', '1/0/1', '1/1/0', '1/1/1']);
    // Only byte ranges of the archive were fetched, never the whole file.
    const fetched = server.requests.filter((r) => r.path === '/files/squares.pmtiles');
    assert.ok(fetched.length >= 2, JSON.stringify(server.requests));
    assert.ok(fetched.every((r) => r.status === 206), JSON.stringify(fetched));
    // The square (centred, 64 px from the middle) is filled right across the tiles' edges at
    // x = 256 and y = 256, and nothing is drawn far from it and the line.
    for (const p of await pixels(page, 200, 255, 112, 2)) assert.ok(near(p, SQUARE), `row at the edge: ${p}`);
    for (const p of await pixels(page, 255, 200, 2, 60)) assert.ok(near(p, SQUARE), `column at the edge: ${p}`);
    assert.equal((await pixels(page, 100, 100, 1, 1))[0][3], 0);
    const width = await lineWidth(page, 100);
    assert.ok(width >= 3, `line ${width} px wide: ${JSON.stringify((await pixels(page, 100, 265, 1, 20)))}`);
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  test('over-zoomed past the last zoom with line widths kept on screen', async () => {
    const page = await open('?src=/files/squares.pmtiles');
    await drawn(page);
    const width = await lineWidth(page, 100);
    const box = await page.locator('#canvas').boundingBox();
    await page.mouse.move(box.x + 100, box.y + 275);
    await page.mouse.wheel(0, -1000); // 2^(1000 * 0.0015 / ln 2): 2.2 zooms in
    await drawn(page);
    const state = await page.evaluate(() => ({ zoom: window.kvgArchiveViewer.view.zoom, z: window.kvgArchiveViewer.shownTiles[0].tile.z }));
    assert.ok(state.zoom > 3, `zoom ${state.zoom}`);
    assert.equal(state.z, 2); // the last zoom, over-zoomed
    const zoomedWidth = await lineWidth(page, 100);
    assert.ok(Math.abs(zoomedWidth - width) <= 1, `line ${width} px wide, then ${zoomedWidth} px`);
    await page.close();
  });

  test('hovering names the feature on both sides of a tile edge', async () => {
    const page = await open('?src=/files/squares.pmtiles');
    await drawn(page);
    const box = await page.locator('#canvas').boundingBox();
    const statusAt = async (x, y) => {
      await page.mouse.move(box.x + x, box.y + y);
      await page.waitForFunction(([px]) => document.getElementById('status').textContent.includes(px), [`tile 1/${x < 256 ? 0 : 1}/0`]);
      return page.textContent('#status');
    };
    const west = await statusAt(250, 230), east = await statusAt(262, 230);
    assert.match(west, /“Square”.*tile 1\/0\/0/);
    assert.match(east, /“Square”.*tile 1\/1\/0/);
    await page.close();
  });

  test('an archive opened from a local file', async () => {
    const page = await open('');
    await page.setInputFiles('#picker', join(archives, 'squares.pmtiles'));
    await drawn(page);
    assert.match(await page.textContent('#status'), /squares\.pmtiles · zoom 1\.0/);
    assert.ok(near((await pixels(page, 256, 256, 1, 1))[0], SQUARE));
    await page.close();
  });
});
