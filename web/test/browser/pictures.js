// Pictures for the browser tests: the SVG renderer's picture of a file as PNG, and how far two
// PNG pictures differ, measured in the browser.
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';

/** `kvg svg` of a file, rasterized by rsvg-convert at `width` x `height` pixels. */
export function svgPicture(kvg, file, svgPath, pngPath, width, height) {
  execFileSync(kvg, ['svg', file, '-o', svgPath]);
  execFileSync('rsvg-convert', ['-w', String(width), '-h', String(height), svgPath, '-o', pngPath]);
  return readFileSync(pngPath);
}

/**
 * How two PNG pictures of one size differ: the share of pixels whose colour differs by more
 * than `tolerance` in some channel (after compositing on white), and the mean difference.
 * @param {import('playwright-core').Page} page any page, to decode and compare in
 * @param {Buffer} a
 * @param {Buffer} b
 */
export async function difference(page, a, b, tolerance = 64) {
  return page.evaluate(async ([a64, b64, tol]) => {
    const pixels = async (base64) => {
      const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
      const bitmap = await createImageBitmap(new Blob([bytes], { type: 'image/png' }));
      const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
      const ctx = canvas.getContext('2d');
      ctx.fillStyle = '#fff';
      ctx.fillRect(0, 0, bitmap.width, bitmap.height);
      ctx.drawImage(bitmap, 0, 0);
      return ctx.getImageData(0, 0, bitmap.width, bitmap.height);
    };
    const [p, q] = await Promise.all([pixels(a64), pixels(b64)]);
    if (p.width !== q.width || p.height !== q.height) {
      return { size: `${p.width}x${p.height} against ${q.width}x${q.height}` };
    }
    let differing = 0;
    let sum = 0;
    for (let i = 0; i < p.data.length; i += 4) {
      let worst = 0;
      for (let c = 0; c < 3; ++c) {
        const d = Math.abs(p.data[i + c] - q.data[i + c]);
        sum += d;
        if (d > worst) worst = d;
      }
      if (worst > tol) ++differing;
    }
    const count = p.data.length / 4;
    return { size: `${p.width}x${p.height}`, share: differing / count, mean: sum / (3 * count) };
  }, [a.toString('base64'), b.toString('base64'), tolerance]);
}
