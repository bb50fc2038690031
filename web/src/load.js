// A KVG file is written plain or as a gzip stream: the decoder takes the plain bytes. A gzip
// stream is held to what the C reader accepts: one member, nothing after it, at most the
// content limit once inflated. Its faults are Faults, as the decoder's are.
import { Fault } from './cursor.js';
import { LIMITS } from './format.js';

/** @param {Uint8Array} bytes */
export const isGzip = (bytes) => bytes.length >= 2 && bytes[0] === 0x1f && bytes[1] === 0x8b;

const inNode = typeof process !== 'undefined' && process.versions?.node !== undefined;

/** @returns {never} */
const compressionFault = (reason) => { throw new Fault(reason, 0); };

const beyondLimit = (limit) => new Fault(`content beyond the limit of ${limit} bytes`, limit);

/**
 * The plain bytes of a file: a gzip stream inflated (zlib in Node, DecompressionStream in
 * browsers), anything else as it is. A damaged stream, or one beyond `limits.contentBytes`,
 * rejects with a Fault.
 * @param {Uint8Array} bytes
 * @param {{contentBytes: number}} [limits]
 * @returns {Promise<Uint8Array>}
 */
export async function plainBytes(bytes, limits = LIMITS) {
  if (!isGzip(bytes)) return bytes;
  if (inNode) return inflateMember(await import('node:zlib'), bytes, limits.contentBytes);
  return inflateStream(bytes, limits.contentBytes);
}

// Header flags of a gzip member.
const FHCRC = 2;
const FEXTRA = 4;
const FNAME = 8;
const FCOMMENT = 16;

/** Where the deflate data of the gzip member at the start of `bytes` begins. */
function memberBody(bytes) {
  const need = (n) => { if (n > bytes.length) compressionFault('truncated compressed data'); };
  need(10);
  if (bytes[2] !== 8) compressionFault('corrupt compressed data (unknown compression method)');
  const flags = bytes[3];
  if (flags & 0xe0) compressionFault('corrupt compressed data (unknown header flags set)');
  let at = 10;
  if (flags & FEXTRA) {
    need(at + 2);
    at += 2 + (bytes[at] | (bytes[at + 1] << 8));
  }
  for (const flag of [FNAME, FCOMMENT]) {
    if (!(flags & flag)) continue;
    while (at < bytes.length && bytes[at] !== 0) ++at;
    ++at;
  }
  if (flags & FHCRC) at += 2;
  need(at);
  return at;
}

const word = (b, at) => (b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (b[at + 3] << 24)) >>> 0;

/**
 * Node: the one gzip member, checked as zlib checks it, and nothing after it.
 * @param {typeof import('node:zlib')} zlib
 * @param {Uint8Array} bytes
 */
function inflateMember(zlib, bytes, limit) {
  const body = memberBody(bytes);
  let result;
  try {
    result = zlib.inflateRawSync(bytes.subarray(body), { info: true, maxOutputLength: Math.max(1, limit) });
  } catch (e) {
    if (e.code === 'ERR_BUFFER_TOO_LARGE') throw beyondLimit(limit);
    if (e.code === 'Z_BUF_ERROR') compressionFault('truncated compressed data');
    compressionFault(`corrupt compressed data (${e.message})`);
  }
  const content = new Uint8Array(result.buffer.buffer, result.buffer.byteOffset, result.buffer.length);
  if (content.length > limit) throw beyondLimit(limit);
  const trailer = body + result.engine.bytesWritten;
  if (trailer + 8 > bytes.length) compressionFault('truncated compressed data');
  if (word(bytes, trailer) !== zlib.crc32(content)) {
    compressionFault('corrupt compressed data (incorrect data check)');
  }
  if (word(bytes, trailer + 4) !== content.length % 2 ** 32) {
    compressionFault('corrupt compressed data (incorrect length check)');
  }
  if (trailer + 8 < bytes.length) {
    compressionFault(isGzip(bytes.subarray(trailer + 8)) ? 'a second compressed stream follows the first'
      : 'data after the end of the compressed stream');
  }
  return content;
}

/** Browsers: DecompressionStream, read chunk by chunk so as to stop at the limit. */
async function inflateStream(bytes, limit) {
  const reader = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('gzip')).getReader();
  const chunks = [];
  let length = 0;
  try {
    for (let r = await reader.read(); !r.done; r = await reader.read()) {
      length += r.value.length;
      if (length > limit) {
        reader.cancel();
        throw beyondLimit(limit);
      }
      chunks.push(r.value);
    }
  } catch (e) {
    if (e instanceof Fault) throw e;
    compressionFault(`corrupt compressed data (${e.message})`);
  }
  const content = new Uint8Array(length);
  let at = 0;
  for (const chunk of chunks) {
    content.set(chunk, at);
    at += chunk.length;
  }
  return content;
}
