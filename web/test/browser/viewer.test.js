// The viewer page and `kvg html` in headless Chromium: pictures against the SVG renderer's,
// and what zooming, panning, the layer switches and hovering do.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, dirname, join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { after, before, describe, test } from 'node:test';

import { launch, serve } from './browser.js';
import { difference, svgPicture } from './pictures.js';

const kvg = process.env.KVG_BIN;
const viewerPage = process.env.KVG_VIEWER_HTML;
const corpus = process.env.KVG_CORPUS;
const missing = !(kvg && viewerPage && corpus) && 'KVG_BIN, KVG_VIEWER_HTML and KVG_CORPUS not set';

// Rasterizers differ in anti-aliasing along every edge and in how they shape and hint text:
// a pixel counts as different when a channel is off by more than a quarter of its range, and
// such pixels must stay under this share of the picture. A lost layer, a wrong colour, a
// mirrored, shifted or mis-scaled drawing changes several times more (see the layer test).
const SHARE = 0.01;

describe('viewer in Chromium', { skip: missing }, () => {
  let browser;
  let server;
  let scratch;

  before(async () => {
    scratch = mkdtempSync(join(tmpdir(), 'kvg-browser-'));
    for (const name of ['demo.kvg', 'countries-110m.kvg']) copyFileSync(join(corpus, name), join(scratch, name));
    browser = await launch();
    server = await serve({ '/viewer/': `${dirname(viewerPage)}/`, '/files/': `${scratch}/` });
  });
  after(async () => {
    await browser?.close();
    await server?.close();
    if (scratch) rmSync(scratch, { recursive: true, force: true });
  });

  /** A page showing `url` with a canvas of exactly `width` x `height` CSS pixels. */
  async function show(url, width, height) {
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(e.message));
    await page.setViewportSize({ width, height: height + 100 });
    await page.goto(url);
    await page.waitForSelector('body[data-ready]');
    const top = await page.evaluate(() => document.getElementById('canvas').getBoundingClientRect().top);
    await page.setViewportSize({ width, height: height + Math.round(top) });
    await page.waitForFunction(([w, h]) => window.kvgViewer.canvas.width === w && window.kvgViewer.canvas.height === h,
      [width, height]);
    await settled(page);
    assert.deepEqual(errors, []);
    return page;
  }

  /** Waits until the viewer has drawn its full picture for the view it shows. */
  async function settled(page) {
    await page.waitForFunction(() => {
      const v = window.kvgViewer;
      const c = v.cachedView;
      return c && c.scale === v.view.scale && c.x === v.view.x && c.y === v.view.y;
    });
    await page.evaluate(() => new Promise(requestAnimationFrame));
  }

  async function picture(page) {
    await page.addStyleTag({ content: '#layers { display: none }' });
    return page.locator('#canvas').screenshot();
  }

  const viewerUrl = (file) => `${server.url}/viewer/${basename(viewerPage)}?src=/files/${file}`;

  async function comparedWithSvg(file, width, height) {
    const page = await show(viewerUrl(file), width, height);
    const ours = await picture(page);
    const theirs = svgPicture(kvg, join(scratch, file), join(scratch, `${file}.svg`), join(scratch, `${file}.png`), width, height);
    const d = await difference(page, ours, theirs);
    await page.close();
    return d;
  }

  test('the demo drawing looks as the SVG renderer draws it', async (t) => {
    const d = await comparedWithSvg('demo.kvg', 800, 500);
    t.diagnostic(JSON.stringify(d));
    assert.equal(d.size, '800x500');
    assert.ok(d.share < SHARE, JSON.stringify(d));
  });

  test('the world map looks as the SVG renderer draws it', async (t) => {
    const d = await comparedWithSvg('countries-110m.kvg', 1000, 505); // a page of 200 x 101 mm
    t.diagnostic(JSON.stringify(d));
    assert.equal(d.size, '1000x505');
    assert.ok(d.share < SHARE, JSON.stringify(d));
  });

  test('layer switches hide and show layers', async (t) => {
    const page = await show(viewerUrl('demo.kvg'), 800, 500);
    const names = await page.$$eval('#layers label', (labels) => labels.map((l) => [l.textContent.trim(), l.querySelector('input').checked]));
    assert.deepEqual(names, [['sea', true], ['land', true], ['lines', true], ['forest', true], ['places', true],
      ['legend', true], ['notes', false]]);
    const shown = await page.locator('#canvas').screenshot();
    await page.click('input[data-layer="1"]'); // land
    await settled(page);
    const withoutLand = await page.locator('#canvas').screenshot();
    const lost = await difference(page, shown, withoutLand);
    t.diagnostic(`hiding the land: ${JSON.stringify(lost)}`);
    assert.ok(lost.share > 5 * SHARE, `hiding the land changed only ${JSON.stringify(lost)}`);
    await page.click('input[data-layer="1"]');
    await settled(page);
    const again = await difference(page, shown, await page.locator('#canvas').screenshot());
    assert.equal(again.share, 0);
    await page.close();
  });

  test('dragging pans and the wheel zooms about the pointer', async () => {
    const page = await show(viewerUrl('demo.kvg'), 800, 500);
    const before = await page.evaluate(() => ({ ...window.kvgViewer.view }));
    const box = await page.locator('#canvas').boundingBox();
    await page.mouse.move(box.x + 400, box.y + 250);
    await page.mouse.down();
    await page.mouse.move(box.x + 300, box.y + 200, { steps: 5 });
    await page.mouse.up();
    await settled(page);
    const panned = await page.evaluate(() => ({ ...window.kvgViewer.view }));
    assert.deepEqual(panned, { scale: before.scale, x: before.x - 100, y: before.y - 50 });
    // Panned back by the same amount in the picture: what lay at (400, 250) lies at (300, 200).
    const at = (x, y) => page.evaluate(([px, py]) => {
      const { canvas } = window.kvgViewer;
      return Array.from(canvas.getContext('2d').getImageData(px, py, 1, 1).data);
    }, [x, y]);
    const beforePixel = await (async () => {
      const p = await show(viewerUrl('demo.kvg'), 800, 500);
      const v = await p.evaluate(() => Array.from(window.kvgViewer.canvas.getContext('2d').getImageData(400, 250, 1, 1).data));
      await p.close();
      return v;
    })();
    assert.deepEqual(await at(300, 200), beforePixel);

    await page.mouse.move(box.x + 200, box.y + 100);
    await page.mouse.wheel(0, -200);
    await settled(page);
    const zoomed = await page.evaluate(() => ({ ...window.kvgViewer.view }));
    const factor = Math.exp(200 * 0.0015);
    assert.ok(Math.abs(zoomed.scale / panned.scale - factor) < 1e-9);
    // The page point under the pointer stays there.
    const pagePoint = (v) => [(200 - v.x) / v.scale, (100 - v.y) / v.scale];
    pagePoint(zoomed).forEach((c, i) => assert.ok(Math.abs(c - pagePoint(panned)[i]) < 1e-9));
    await page.click('#fit');
    await settled(page);
    assert.deepEqual(await page.evaluate(() => ({ ...window.kvgViewer.view })), before);
    await page.close();
  });

  test('lines keep their width on screen at every zoom, and zoom stays in its range', async (t) => {
    // A square with a line across its middle, which stays at the canvas's centre as the view
    // zooms about it.
    const lines = { type: 'FeatureCollection', features: [[[0, 0], [10, 0], [10, 10], [0, 10], [0, 0]], [[0, 5], [10, 5]]]
      .map((coordinates) => ({ type: 'Feature', properties: {}, geometry: { type: 'LineString', coordinates } })) };
    writeFileSync(join(scratch, 'lines.json'), JSON.stringify(lines));
    // A page of 40 mm on a grid of 2000: lines 0.26 mm wide, 2.6 pixels in the fitted view.
    execFileSync(kvg, ['import', join(scratch, 'lines.json'), '--size', '40', '--grid', '2000', '-o', join(scratch, 'lines.kvg')]);
    const page = await show(viewerUrl('lines.kvg'), 600, 400);
    // The line's width in screen pixels: the ink across it in a column, over its darkest pixel.
    const width = () => page.evaluate(() => {
      const { canvas } = window.kvgViewer;
      const column = canvas.getContext('2d').getImageData(canvas.width / 2 + 7, canvas.height / 2 - 20, 1, 40).data;
      const ink = [];
      for (let i = 0; i < column.length; i += 4) ink.push(765 - column[i] - column[i + 1] - column[i + 2]);
      return ink.reduce((a, b) => a + b, 0) / Math.max(...ink);
    });
    const fitted = await page.evaluate(() => window.kvgViewer.fittedScale());
    const widths = [await width()];
    for (const presses of [6, 18]) { // 1.25^6 = 3.8 and 1.25^18 = 55 times the fitted scale
      for (let i = 0; i < 40 && await page.evaluate(() => window.kvgViewer.view.scale) < fitted * 1.25 ** presses * 0.999; ++i) {
        await page.keyboard.press('+');
      }
      assert.ok(Math.abs(await page.evaluate(() => window.kvgViewer.view.scale) / fitted / 1.25 ** presses - 1) < 1e-9);
      await settled(page);
      widths.push(await width());
    }
    t.diagnostic(`stroke widths in pixels: ${widths.join(', ')}`);
    assert.ok(widths[0] > 2 && widths[0] < 3.5, `${widths[0]}`);
    widths.forEach((w) => assert.ok(Math.abs(w - widths[0]) < 1, widths.join(', ')));
    // Solid lines end round in the viewer (edges drawn one after another meet without a
    // notch), square by default as the rendering rules say; widths follow the stroke scale.
    const strokes = await page.evaluate(() => {
      const v = window.kvgViewer;
      const canvas = document.createElement('canvas');
      const real = canvas.getContext('2d');
      const seen = [];
      const ctx = new Proxy(real, {
        get(target, name) {
          if (name === 'stroke') return (...a) => { seen.push([target.lineCap, target.lineWidth]); target.stroke(...a); };
          const value = target[name];
          return typeof value === 'function' ? value.bind(target) : value;
        },
        set(target, name, value) { target[name] = value; return true; },
      });
      v.painter.draw(ctx, v.view, 1, v.visible);
      v.painter.draw(ctx, v.view, 1, v.visible, { scale: 0.25, roundEnds: true });
      return seen;
    });
    const half = strokes.length / 2;
    assert.ok(half >= 1);
    strokes.slice(0, half).forEach(([cap]) => assert.equal(cap, 'butt'));
    strokes.slice(half).forEach(([cap, lineWidth], i) => {
      assert.equal(cap, 'round');
      assert.ok(Math.abs(lineWidth - strokes[i][1] * 0.25) < 1e-9);
    });
    // Far beyond the range in either direction the scale stops at its bounds; 0 fits again.
    for (let i = 0; i < 60; ++i) await page.keyboard.press('+');
    assert.equal(await page.evaluate(() => window.kvgViewer.view.scale), fitted * 1024);
    for (let i = 0; i < 120; ++i) await page.keyboard.press('-');
    assert.equal(await page.evaluate(() => window.kvgViewer.view.scale), fitted * 0.5);
    await page.keyboard.press('0');
    await settled(page);
    assert.equal(await page.evaluate(() => window.kvgViewer.view.scale), fitted);
    // Arrows pan by a tenth of the window.
    const before = await page.evaluate(() => ({ ...window.kvgViewer.view }));
    await page.keyboard.press('ArrowRight');
    await page.keyboard.press('ArrowUp');
    assert.deepEqual(await page.evaluate(() => ({ ...window.kvgViewer.view })), { scale: before.scale, x: before.x - 60, y: before.y + 40 });
    await page.close();
  });

  test('hovering names the face and its object', async () => {
    const page = await show(viewerUrl('demo.kvg'), 800, 500);
    const box = await page.locator('#canvas').boundingBox();
    // The island's western land, a face of the planar map, away from its borders.
    await page.mouse.move(box.x + 250, box.y + 380);
    await page.waitForFunction(() => /face/.test(document.getElementById('status').textContent));
    const status = await page.textContent('#status');
    assert.match(status, /^face \d+/);
    assert.match(status, /layer “land”/);
    await page.close();
  });

  test('kvg html writes a page that works offline', async () => {
    const html = join(scratch, 'demo.html');
    execFileSync(kvg, ['html', join(scratch, 'demo.kvg'), '-o', html]);
    const page = await browser.newPage();
    const requests = [];
    await page.route('**/*', (route) => {
      requests.push(route.request().url());
      return route.request().url().startsWith('file:') ? route.continue() : route.abort();
    });
    await page.setViewportSize({ width: 800, height: 600 });
    await page.goto(pathToFileURL(html).href);
    await page.waitForSelector('body[data-ready]');
    assert.deepEqual(requests.filter((u) => !u.startsWith('file:')), []);
    assert.equal(await page.textContent('#title'), 'demo.kvg');
    // As many points as `kvg info` counts.
    const info = execFileSync(kvg, ['info', join(scratch, 'demo.kvg')], { encoding: 'utf8' });
    const counted = Number(/^points\s+(\d+)/m.exec(info)[1]);
    assert.equal(await page.textContent('#status'), `${counted.toLocaleString('en')} points`);
    const top = await page.evaluate(() => document.getElementById('canvas').getBoundingClientRect().top);
    await page.setViewportSize({ width: 800, height: 500 + Math.round(top) });
    await page.waitForFunction(() => window.kvgViewer.canvas.height === 500);
    await settled(page);
    const ours = await picture(page);
    const theirs = svgPicture(kvg, join(scratch, 'demo.kvg'), join(scratch, 'html.svg'), join(scratch, 'html.png'), 800, 500);
    const d = await difference(page, ours, theirs);
    assert.ok(d.share < SHARE, JSON.stringify(d));
    await page.close();
  });
});
