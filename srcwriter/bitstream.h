// The output side of the encoding layer: the bit buffer of a stream and its aligned bytes.
// Internal to the kvgtype module.
//
// The bit buffer is the stream's `current` byte, filled from its most significant bit down,
// and `bit`, the number of bits of `current` in use. Invariant between calls: `bit` is 0 to 7
// and `current` holds exactly the pending bits, every lower bit 0. The one exception is a
// broken stream: when a completed byte could not be written, `bit` stays 8 and `current`
// keeps the lost byte. A broken stream is never repaired: every later entry to the bit path
// fails with "I/O error", and so does every aligned write, since it flushes first.
//
// The common case of the bit path (the bits fit in the pending byte) is inline; completing a
// byte and the failures are out of line, except for runs of fields (writeBitRun), which keep
// their bits in a local word and send each byte as it fills. Aligned bytes are stored straight
// into the file's buffer through its inline cursor (xio_buffer.h).
#ifndef BITSTREAM_H
#define BITSTREAM_H

#include <cstdint>

#include "kvgassert.h"
#include "kvgfunction.h"
#include "xio_buffer.h"

// Records "I/O error" in the stream's context and returns -1.
int recordIoError(KVGF_State *st);

// The rare half of putBits: `value` (already masked to `nbits`) fills the pending byte, which
// is sent; the bits left over start the next one. Fails at once on a broken stream.
int writeBitsCompletingByte(KVGF_State *st, unsigned value, int nbits);

// Appends `value`, `nbits` (0 to 8) bits wide and already masked, most significant first.
inline int putBits(KVGF_State *st, unsigned value, int nbits) {
    const int room = 8 - st->bit;  // 0 on a broken stream, which always takes the rare path
    if (nbits < room) [[likely]] {
        st->current = static_cast<uint8_t>(st->current | value << (room - nbits));
        st->bit += nbits;
        return 0;
    }
    return writeBitsCompletingByte(st, value, nbits);
}

// Appends the low `nbits` (0 to 8) bits of `byte`, most significant first.
inline int writeBits(KVGF_State *st, int byte, int nbits) {
    KVG_REQUIRE(nbits >= 0);
    KVG_REQUIRE(nbits <= 8);
    return putBits(st, static_cast<unsigned>(byte) & ((1u << nbits) - 1u), nbits);
}

// Completes a pending byte with zero bits and sends it. Every aligned argument starts here.
inline int flushBits(KVGF_State *st) { return st->bit == 0 ? 0 : putBits(st, 0, 8 - st->bit); }

// Sends a byte completed in the bit buffer; on failure the stream is left broken.
inline int sendCompletedByte(KVGF_State *st, uint8_t byte) {
    if (xioPutByte(st->file, byte) < 0) [[unlikely]] {
        st->current = byte;
        st->bit = 8;
        return recordIoError(st);
    }
    return 0;
}

// Sends one whole byte (the low 8 bits of `byte`) on an aligned stream.
inline int putByte(KVGF_State *st, uint32_t byte) {
    if (xioPutByte(st->file, static_cast<unsigned char>(byte)) < 0) [[unlikely]] {
        return recordIoError(st);
    }
    return 0;
}

// Room for `n` more bytes, taken at once in the file's buffer; null when the buffer must be
// drained first, and the caller then sends the bytes one by one with putByte.
inline unsigned char *takeRoom(KVGF_State *st, int n) {
    XioCursor *cursor = xioCursor(st->file);
    if (cursor->limit - cursor->next < n) [[unlikely]] {
        return nullptr;
    }
    unsigned char *room = cursor->next;
    cursor->next += n;
    return room;
}

// Sends the low `nbytes` (1 to 4) bytes of `value`, most significant first, on an aligned
// stream.
inline int putBigEndian(KVGF_State *st, uint32_t value, int nbytes) {
    if (unsigned char *room = takeRoom(st, nbytes)) [[likely]] {
        for (int i = 0; i < nbytes; ++i) {
            room[i] = static_cast<unsigned char>(value >> (8 * (nbytes - 1 - i)));
        }
        return 0;
    }
    for (int shift = 8 * (nbytes - 1); shift >= 0; shift -= 8) {
        if (putByte(st, value >> shift) != 0) return -1;
    }
    return 0;
}

// Appends `n` fields of `Width` bits (1 to 8), field(i) giving the i-th, already masked: the
// same bits and the same failure state as `n` calls of writeBits, without a call per field.
template <int Width, typename Field>
inline int writeBitRun(KVGF_State *st, uint32_t n, Field field) {
    static_assert(Width >= 1 && Width <= 8);
    if (st->bit == 8) [[unlikely]] {
        return recordIoError(st);  // a broken stream
    }
    uint32_t pending = static_cast<uint32_t>(st->current) >> (8 - st->bit);  // right-aligned
    int npending = st->bit;
    for (uint32_t i = 0; i < n; ++i) {
        pending = pending << Width | field(i);
        npending += Width;
        if (npending >= 8) {
            npending -= 8;
            // Older bits shift out of the top of `pending` unmasked; the cast drops them.
            if (sendCompletedByte(st, static_cast<uint8_t>(pending >> npending)) != 0) return -1;
        }
    }
    st->current = static_cast<uint8_t>(pending << (8 - npending));
    st->bit = npending;
    return 0;
}

#endif  // BITSTREAM_H
