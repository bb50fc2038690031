// A KVG file is written plain or as a gzip stream: the decoder takes the plain bytes.

/** @param {Uint8Array} bytes */
export const isGzip = (bytes) => bytes.length >= 2 && bytes[0] === 0x1f && bytes[1] === 0x8b;

const inNode = typeof process !== 'undefined' && process.versions?.node !== undefined;

/**
 * The plain bytes of a file: a gzip stream inflated (zlib in Node, DecompressionStream in
 * browsers), anything else as it is. Corrupt compressed data rejects.
 * @param {Uint8Array} bytes
 * @returns {Promise<Uint8Array>}
 */
export async function plainBytes(bytes) {
  if (!isGzip(bytes)) return bytes;
  if (inNode) {
    const zlib = await import('node:zlib');
    return new Uint8Array(zlib.gunzipSync(bytes));
  }
  const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('gzip'));
  return new Uint8Array(await new Response(stream).arrayBuffer());
}
