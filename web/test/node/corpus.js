// The files the decoder is compared on, and the C reader's verdict on each: `kvg dump --json`.
import { execFile, execFileSync } from 'node:child_process';
import { promisify } from 'node:util';
import { readdirSync } from 'node:fs';
import { join } from 'node:path';

/** The kvg command and the folder of test files that ctest passes in. */
export function corpusSettings() {
  const kvg = process.env.KVG_BIN;
  const dir = process.env.KVG_CORPUS;
  return kvg && dir ? { kvg, dir } : undefined;
}

/** @param {string} dir */
export const kvgFiles = (dir) =>
  readdirSync(dir).filter((f) => f.endsWith('.kvg')).sort().map((f) => join(dir, f));

/**
 * What `kvg dump --json` prints for a file: its records and its fault, if any.
 * @returns {{records: any[], error: string|undefined}}
 */
export function cDump(kvg, path) {
  try {
    return parsed(path, execFileSync(kvg, [...DUMP_ARGS, path], DUMP_OPTIONS), '');
  } catch (e) {
    if (e.status !== 1) throw e;
    return parsed(path, e.stdout, e.stderr);
  }
}

const DUMP_OPTIONS = { encoding: /** @type {const} */ ('utf8'), maxBuffer: 1 << 30 };
// Every record, however many: the dump's own bound on its output stops at a multiple of the input.
const DUMP_ARGS = ['dump', '--json', '--max-output', '1G'];
const execFileAsync = promisify(execFile);

/**
 * cDump of many files, a few processes at a time; with `records` false only the verdicts, from
 * `kvg check` (whose output stays small whatever the file holds).
 */
export async function cDumps(kvg, paths, records = true, processes = 4) {
  const args = records ? DUMP_ARGS : ['check'];
  const prefix = `kvg ${args[0]}: `;
  const verdict = (path, stdout, stderr) => parsed(path, records ? stdout : '', stderr, prefix);
  const one = (path) => execFileAsync(kvg, [...args, path], DUMP_OPTIONS).then(
    ({ stdout }) => verdict(path, stdout, ''),
    (e) => {
      if (e.code !== 1) throw e;
      return verdict(path, e.stdout, e.stderr);
    });
  const out = new Array(paths.length);
  let next = 0;
  const worker = async () => {
    while (next < paths.length) {
      const i = next++;
      out[i] = await one(paths[i]);
    }
  };
  await Promise.all(Array.from({ length: processes }, worker));
  return out;
}

/** The records of a dump's output, and the fault its message names (after the file name). */
function parsed(path, stdout, stderr, command = 'kvg dump: ') {
  const prefix = `${command}${path}: `;
  const line = stderr.trim();
  const error = line === '' ? undefined : line.startsWith(prefix) ? line.slice(prefix.length) : line;
  const records = stdout.split('\n').filter((l) => l !== '').map((l) => JSON.parse(asDecoded(l)));
  return { records, error };
}

const STRING = /"(?:[^"\\]|\\.)*"/g;
const utf8 = new TextDecoder('utf-8');

/**
 * The dump writes text that is not UTF-8 with every byte above 0x7F escaped (\u00NN); the
 * decoder reads such bytes as U+FFFD. Each such string of a JSON line, as the decoder reads it.
 * @param {string} line
 */
function asDecoded(line) {
  return line.replace(STRING, (token) => {
    if (!/\\u00[89A-F][0-9A-F]/.test(token)) return token;
    const bytes = Uint8Array.from(JSON.parse(token), (c) => c.charCodeAt(0));
    return JSON.stringify(utf8.decode(bytes));
  });
}

/** A small deterministic random source (xorshift32). */
export function random(seed) {
  let s = seed >>> 0 || 1;
  return (n) => {
    s ^= s << 13;
    s >>>= 0;
    s ^= s >>> 17;
    s ^= s << 5;
    s >>>= 0;
    return s % n;
  };
}

/**
 * Damaged copies of a file's plain bytes: cut short at several lengths, and with single bytes
 * and bits changed at random places.
 * @param {Uint8Array} bytes
 * @param {number} seed
 * @returns {[string, Uint8Array][]}
 */
export function damaged(bytes, seed) {
  const pick = random(seed);
  const out = [];
  for (const cut of [1, 9, 20, 30, Math.floor(bytes.length / 2), bytes.length - 1]) {
    if (cut > 0 && cut < bytes.length) out.push([`cut${cut}`, bytes.slice(0, cut)]);
  }
  for (let i = 0; i < 12; ++i) {
    const copy = bytes.slice();
    const at = 29 + pick(Math.max(1, bytes.length - 29));
    if (at >= copy.length) continue;
    copy[at] = i % 2 === 0 ? copy[at] ^ (1 << pick(8)) : pick(256);
    out.push([`byte${at}-${i}`, copy]);
  }
  return out;
}
