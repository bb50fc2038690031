// `kvg html`: the page it writes holds the drawing whole, under its name made safe for HTML;
// an invalid file gives no page but the reader's verdict.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { copyFileSync, existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { gunzipSync } from 'node:zlib';
import { after, describe, test } from 'node:test';

import { plainBytes } from '../../src/index.js';
import { corpusSettings } from './corpus.js';

const settings = corpusSettings();

describe('kvg html', { skip: settings === undefined && 'KVG_BIN and KVG_CORPUS not set' }, () => {
  const scratch = mkdtempSync(join(tmpdir(), 'kvg-html-'));
  after(() => rmSync(scratch, { recursive: true, force: true }));

  test('embeds the drawing, compressed, under its escaped name', async () => {
    const source = join(scratch, 'a"<b>&.kvg');
    copyFileSync(join(settings.dir, 'demo.kvg'), source);
    const page = execFileSync(settings.kvg, ['html', source, '-o', '-'], { encoding: 'utf8' });
    const drawing = page.match(/<script id="kvg-drawing" type="application\/octet-stream" data-name="([^"]*)">([^<]*)<\/script>/);
    assert.ok(drawing, 'no drawing element');
    assert.equal(drawing[1], 'a&quot;&lt;b&gt;&amp;.kvg');
    const embedded = gunzipSync(Buffer.from(drawing[2], 'base64'));
    assert.deepEqual(new Uint8Array(embedded), await plainBytes(readFileSync(source)));
    assert.equal(page.match(/<\/script>/g).length, 2, 'the viewer script and the drawing');
    assert.ok(!page.includes('<!--DRAWING-->'));
  });

  test('writes beside the file by default and refuses an invalid one', async () => {
    const good = join(scratch, 'map.kvg');
    copyFileSync(join(settings.dir, 'demo.kvg'), good);
    execFileSync(settings.kvg, ['html', good]);
    assert.ok(existsSync(join(scratch, 'map.html')));

    const plain = await plainBytes(readFileSync(good));
    const cut = join(scratch, 'cut.kvg');
    writeFileSync(cut, plain.subarray(0, plain.length - 1));
    const r = spawnSync(settings.kvg, ['html', cut], { encoding: 'utf8' });
    assert.equal(r.status, 1);
    assert.match(r.stderr, /^kvg html: .*cut\.kvg: offset \d+: /);
    assert.ok(!existsSync(join(scratch, 'cut.html')));
  });
});
