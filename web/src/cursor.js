// The read cursor: bits most significant first, multi-byte values big-endian, byte-aligned
// arguments after bit-packed ones only once the rest of the pending byte, which must be zero,
// has been skipped. Every fault throws a Fault.

/** A fault found while decoding; without an offset it lies in the record being decoded. */
export class Fault extends Error {
  /**
   * @param {string} reason
   * @param {number} [offset]
   */
  constructor(reason, offset) {
    super(reason);
    this.reason = reason;
    this.offset = offset;
  }
}

/** @typedef {{x: number, y: number}} Point */

/** @param {string} reason @returns {never} */
export function invalid(reason) {
  throw new Fault(reason);
}

/** @returns {never} */
function truncated() {
  throw new Fault('truncated');
}

// The steps of the 3-bit relative point, code k pointing k x 45 degrees from the x axis.
const COMPASS_X = new Int8Array([1, 1, 0, -1, -1, -1, 0, 1]);
const COMPASS_Y = new Int8Array([0, 1, 1, 1, 0, -1, -1, -1]);

// Invalid UTF-8 bytes read as U+FFFD; texts of any length (the C reader passes them through).
const utf8 = new TextDecoder('utf-8');

/** A position of the floating layouts; infinities and NaN are no position of a drawing. */
function finite(x, y) {
  if (!Number.isFinite(x) || !Number.isFinite(y)) invalid('coordinate not a finite number');
  return { x, y };
}

/** Steps of the floating layouts, out[from..end), checked as `finite` checks one. */
function checkFinite(out, from, end) {
  for (let i = from; i < end; ++i) if (!Number.isFinite(out[i])) invalid('coordinate not a finite number');
}

export class Cursor {
  /**
   * @param {Uint8Array} bytes
   * @param {number} position
   */
  constructor(bytes, position) {
    this.bytes = bytes;
    this.view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    this.position = position;
    this.bit = 0; // bits of bytes[position] already read
  }

  /** Moves to a byte boundary. */
  reset(position) {
    this.position = position;
    this.bit = 0;
  }

  /** Offset just past the last byte touched (a partial byte counts). */
  end() { return this.position + (this.bit !== 0 ? 1 : 0); }
  bitsLeft() { return (this.bytes.length - this.position) * 8 - this.bit; }

  /** Fails as truncated unless `count` items of at least `bitsEach` bits can follow. */
  expect(count, bitsEach) {
    if (bitsEach !== 0 && count > Math.floor(this.bitsLeft() / bitsEach)) truncated();
  }

  /** Skips the rest of a partial byte, which must hold only zero bits. */
  align() {
    if (this.bit === 0) return;
    if ((this.bytes[this.position] & (0xff >> this.bit)) !== 0) {
      invalid(`non-zero padding bits in byte ${this.position}`);
    }
    ++this.position;
    this.bit = 0;
  }

  /** Bit-packed: the next `count` bits (at most 24) as an unsigned value. */
  bits(count) {
    if (count > this.bitsLeft()) truncated();
    let value = 0;
    while (count > 0) {
      const available = 8 - this.bit;
      const taken = count < available ? count : available;
      const chunk = (this.bytes[this.position] >> (available - taken)) & ((1 << taken) - 1);
      value = (value << taken) | chunk;
      count -= taken;
      this.bit += taken;
      if (this.bit === 8) {
        this.bit = 0;
        ++this.position;
      }
    }
    return value;
  }

  /** Aligned whole bytes: the offset of the first. */
  take(count) {
    this.align();
    if (count > this.bytes.length - this.position) truncated();
    const at = this.position;
    this.position += count;
    return at;
  }

  byte() { return this.bytes[this.take(1)]; }
  uint16() { return this.view.getUint16(this.take(2)); }

  // 0xxxxxxx, 10xxxxxx + 1 byte, 11xxxxxx + 2 bytes; the writer always takes the shortest form.
  size() {
    const first = this.byte();
    if ((first & 0x80) === 0) return first;
    let value;
    if ((first & 0x40) === 0) {
      value = ((first & 0x3f) << 8) | this.bytes[this.take(1)];
      if (value < 0x80) invalid('size or identifier not in its shortest form');
    } else {
      const at = this.take(2);
      value = ((first & 0x3f) << 16) | (this.bytes[at] << 8) | this.bytes[at + 1];
      if (value < 0x4000) invalid('size or identifier not in its shortest form');
    }
    return value;
  }

  sidentifier() {
    const first = this.byte();
    if ((first & 0x80) === 0) return (first << 25) >> 25;
    let value;
    let shorter;
    if ((first & 0x40) === 0) {
      value = ((((first & 0x3f) << 8) | this.bytes[this.take(1)]) << 18) >> 18;
      shorter = 64;
    } else {
      const at = this.take(2);
      value = ((((first & 0x3f) << 16) | (this.bytes[at] << 8) | this.bytes[at + 1]) << 10) >> 10;
      shorter = 8192;
    }
    if (value >= -shorter && value < shorter) {
      invalid('signed identifier not in its shortest form');
    }
    return value;
  }

  text() {
    const length = this.size();
    const at = this.take(length);
    return utf8.decode(this.bytes.subarray(at, at + length));
  }

  /** @returns {Point} */
  point(pointSize) {
    const v = this.view;
    const b = this.bytes;
    switch (pointSize) {
      case 16: {
        const at = this.take(2);
        return { x: v.getInt8(at), y: v.getInt8(at + 1) };
      }
      case 24: {
        const at = this.take(3);
        return {
          x: (((b[at] << 4) | (b[at + 1] >> 4)) << 20) >> 20,
          y: ((((b[at + 1] & 15) << 8) | b[at + 2]) << 20) >> 20,
        };
      }
      case 32: {
        const at = this.take(4);
        return { x: v.getInt16(at), y: v.getInt16(at + 2) };
      }
      case 64: {
        const at = this.take(8);
        return finite(v.getFloat32(at), v.getFloat32(at + 4));
      }
      default: {
        const at = this.take(16);
        return finite(v.getFloat64(at), v.getFloat64(at + 8));
      }
    }
  }

  /** One relative point: 3 and 6 bits are bit-packed, the larger sizes aligned. @returns {Point} */
  relPoint(relPointSize) {
    switch (relPointSize) {
      case 3: {
        const k = this.bits(3);
        return { x: COMPASS_X[k], y: COMPASS_Y[k] };
      }
      case 6: {
        const pair = this.bits(6);
        return { x: ((pair >> 3) << 29) >> 29, y: ((pair & 7) << 29) >> 29 };
      }
      case 8: {
        const pair = this.byte();
        return { x: ((pair >> 4) << 28) >> 28, y: ((pair & 15) << 28) >> 28 };
      }
      default: return this.point(relPointSize);
    }
  }

  /**
   * `count` relative points, interleaved x and y, into `out` from index `at`. The caller has
   * checked that they can fit.
   * @returns {Float64Array} out
   */
  relPoints(count, relPointSize, out = new Float64Array(2 * count), at = 0) {
    if (relPointSize === 3 || relPointSize === 6) {
      this.packedPoints(out, at, at + 2 * count, relPointSize);
      return out;
    }
    // The aligned sizes follow each other without padding: one run of whole bytes.
    const from = this.take(count * (relPointSize >> 3));
    const b = this.bytes;
    const v = this.view;
    const end = at + 2 * count;
    switch (relPointSize) {
      case 8:
        for (let i = at, p = from; i < end; i += 2, ++p) {
          out[i] = (b[p] << 24) >> 28;
          out[i + 1] = (b[p] << 28) >> 28;
        }
        break;
      case 16:
        for (let i = at, p = from; i < end; i += 2, p += 2) {
          out[i] = (b[p] << 24) >> 24;
          out[i + 1] = (b[p + 1] << 24) >> 24;
        }
        break;
      case 24:
        for (let i = at, p = from; i < end; i += 2, p += 3) {
          out[i] = (((b[p] << 4) | (b[p + 1] >> 4)) << 20) >> 20;
          out[i + 1] = ((((b[p + 1] & 15) << 8) | b[p + 2]) << 20) >> 20;
        }
        break;
      case 32:
        for (let i = at, p = from; i < end; i += 2, p += 4) {
          out[i] = v.getInt16(p);
          out[i + 1] = v.getInt16(p + 2);
        }
        break;
      case 64:
        for (let i = at, p = from; i < end; i += 2, p += 8) {
          out[i] = v.getFloat32(p);
          out[i + 1] = v.getFloat32(p + 4);
        }
        checkFinite(out, at, end);
        break;
      default:
        for (let i = at, p = from; i < end; i += 2, p += 16) {
          out[i] = v.getFloat64(p);
          out[i + 1] = v.getFloat64(p + 8);
        }
        checkFinite(out, at, end);
    }
    return out;
  }

  /** Bit-packed relative points (3 or 6 bits) into out[from..end), read straight from the bytes. */
  packedPoints(out, from, end, relPointSize) {
    if ((end - from) / 2 * relPointSize > this.bitsLeft()) truncated();
    const b = this.bytes;
    let position = this.position;
    let bit = this.bit;
    for (let i = from; i < end; i += 2) {
      // The next bits, up to 6, from the two bytes at `position`.
      const window = (b[position] << 8) | (position + 1 < b.length ? b[position + 1] : 0);
      const value = (window >> (16 - bit - relPointSize)) & ((1 << relPointSize) - 1);
      bit += relPointSize;
      position += bit >> 3;
      bit &= 7;
      if (relPointSize === 3) {
        out[i] = COMPASS_X[value];
        out[i + 1] = COMPASS_Y[value];
      } else {
        out[i] = ((value >> 3) << 29) >> 29;
        out[i + 1] = ((value & 7) << 29) >> 29;
      }
    }
    this.position = position;
    this.bit = bit;
  }

  /** A colour's raw value in a colour size (INDEX1 and GRAY12 bit-packed). */
  color(colorSize) {
    switch (colorSize) {
      case 0: return this.bits(1);
      case 1:
      case 2: return this.byte();
      case 3: return this.bits(12);
      case 4: return this.uint16();
      case 6: {
        const at = this.take(3);
        return (this.bytes[at] << 16) | (this.bytes[at + 1] << 8) | this.bytes[at + 2];
      }
      default: return this.view.getUint32(this.take(4)); // GA and RGBA
    }
  }
}
