// Headless Chromium from the distribution, driven by playwright-core, and a local HTTP server
// for the pages and files it opens.
import { createServer } from 'node:http';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { extname, join, normalize } from 'node:path';
import { chromium } from 'playwright-core';

export const CHROMIUM = process.env.KVG_CHROMIUM ?? '/usr/bin/chromium';

// Chromium's generic families default to Arial and Times New Roman, which fontconfig replaces
// with other faces than the generic ones rsvg-convert gets: pages ask for fontconfig's.
const FONTS = { sansSerif: 'DejaVu Sans', serif: 'DejaVu Serif', fixed: 'DejaVu Sans Mono' };

/** Launches Chromium with a fresh profile and no network of its own; `close` ends both. */
export async function launch() {
  const profile = mkdtempSync(join(tmpdir(), 'kvg-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    headless: true,
    viewport: { width: 800, height: 600 },
    deviceScaleFactor: 1,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--font-render-hinting=none'],
  });
  return {
    context,
    /** A new page whose generic font families are the system's. */
    async newPage() {
      const page = await context.newPage();
      const cdp = await context.newCDPSession(page);
      await cdp.send('Page.setFontFamilies', { fontFamilies: FONTS });
      return page;
    },
    async close() {
      await context.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.json': 'application/json' };

/**
 * Serves the files under `routes` (URL prefix to folder) on 127.0.0.1; the optional `gzip`
 * set names paths sent with Content-Encoding: gzip (their bytes are gzip streams already).
 * A request with a byte range ("Range: bytes=FIRST-LAST") gets those bytes alone (206), as
 * tile archives are read. `requests` lists each request's path and range.
 * @param {Record<string, string>} routes
 */
export async function serve(routes, gzip = new Set()) {
  /** @type {{path: string, range: string|undefined, status: number}[]} */
  const requests = [];
  const server = createServer((request, response) => {
    const path = decodeURIComponent(new URL(request.url ?? '/', 'http://x').pathname);
    const prefix = Object.keys(routes).find((p) => path.startsWith(p));
    const file = prefix && normalize(join(routes[prefix], path.slice(prefix.length)));
    try {
      if (!file || !file.startsWith(routes[prefix])) throw new Error('outside');
      const body = readFileSync(file);
      const headers = { 'Content-Type': TYPES[extname(file)] ?? 'application/octet-stream', 'Cache-Control': 'no-store', 'Accept-Ranges': 'bytes' };
      if (gzip.has(path)) headers['Content-Encoding'] = 'gzip';
      const range = /^bytes=(\d+)-(\d*)$/.exec(request.headers.range ?? '');
      requests.push({ path, range: request.headers.range, status: range ? 206 : 200 });
      if (!range) {
        response.writeHead(200, headers).end(body);
        return;
      }
      const first = Number(range[1]), last = Math.min(body.length - 1, range[2] ? Number(range[2]) : body.length - 1);
      headers['Content-Range'] = `bytes ${first}-${last}/${body.length}`;
      response.writeHead(206, headers).end(body.subarray(first, last + 1));
    } catch {
      response.writeHead(404).end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const { port } = /** @type {import('node:net').AddressInfo} */ (server.address());
  return { url: `http://127.0.0.1:${port}`, requests, close: () => new Promise((r) => server.close(r)) };
}
