// What the `kvg html` page of each file costs in headless Chromium: the page's bytes, the time
// until the viewer has drawn the picture or shows the fault, the largest resident memory of the browser's
// processes (the page's renderer) and the JavaScript heap then, as Markdown table rows.
//
//   node bench/html-page.js KVG FILE...
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, rmSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const CHROMIUM = process.env.KVG_CHROMIUM ?? '/usr/bin/chromium';
const SECONDS = Number(process.env.SECONDS_EACH ?? 120);

/** The largest peak resident memory (VmHWM) of the processes started with `profile`, in MB. */
function peakMegabytes(profile) {
  let peak = 0;
  for (const pid of readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    try {
      if (!readFileSync(`/proc/${pid}/cmdline`, 'utf8').includes(profile)) continue;
      const kb = Number(/VmHWM:\s+(\d+)/.exec(readFileSync(`/proc/${pid}/status`, 'utf8'))?.[1] ?? 0);
      peak = Math.max(peak, kb / 1024);
    } catch {
      // the process ended meanwhile
    }
  }
  return peak;
}

async function row(kvg, file) {
  const scratch = mkdtempSync(join(tmpdir(), 'kvg-html-bench-'));
  const profile = join(scratch, 'profile');
  const html = join(scratch, 'page.html');
  try {
    try {
      execFileSync(kvg, ['html', file, '-o', html], { stdio: ['ignore', 'ignore', 'pipe'] });
    } catch (e) {
      return `| ${basename(file)} | ${statSync(file).size} | html | - | - | - | 0 | ${String(e.stderr).trim().slice(0, 90)} |`;
    }
    const context = await chromium.launchPersistentContext(profile, {
      executablePath: CHROMIUM, headless: true, viewport: { width: 800, height: 600 },
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run'],
    });
    try {
      const page = await context.newPage();
      const start = performance.now();
      await page.goto(pathToFileURL(html).href);
      let status;
      try {
        await page.waitForFunction(() => document.body.dataset.ready !== undefined ||
          document.getElementById('status')?.classList.contains('error'), undefined, { timeout: SECONDS * 1000 });
        status = await page.textContent('#status');
      } catch (e) {
        status = `no picture in ${SECONDS} s (${String(e.message).split('\n')[0]})`;
      }
      const seconds = (performance.now() - start) / 1000;
      const cdp = await context.newCDPSession(page);
      await cdp.send('Performance.enable');
      const { metrics } = await cdp.send('Performance.getMetrics');
      const heap = metrics.find((m) => m.name === 'JSHeapTotalSize')?.value ?? 0;
      return `| ${basename(file)} | ${statSync(file).size} | html | ${peakMegabytes(profile).toFixed(1)} MB | ` +
        `${(heap / 2 ** 20).toFixed(1)} MB | ${seconds.toFixed(2)} s | ${statSync(html).size} | ` +
        `${status.replaceAll('|', '/').slice(0, 90)} |`;
    } finally {
      await context.close();
    }
  } finally {
    rmSync(scratch, { recursive: true, force: true });
  }
}

const [kvg, ...files] = process.argv.slice(2);
console.log('| input | bytes | page | peak memory (renderer) | JS heap | to picture | page bytes | status |');
console.log('|---|---:|---|---:|---:|---:|---:|---|');
for (const file of files) console.log(await row(kvg, file));
