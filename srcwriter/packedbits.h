// A bit writer for runs of fields stored straight into room already taken in the output buffer:
// up to 64 pending bits in a register, stored eight bytes at a time, most significant first.
// Internal to the kvgtype module.
//
// It makes no check and no call per field: its user takes room for every byte the run will
// produce (and 8 more) before the first field, and hands the pending bits left at the end
// (fewer than 8) back to the stream's bit buffer. Aligned fields of whole bytes bypass the
// register and are stored a word at a time.
#ifndef PACKEDBITS_H
#define PACKEDBITS_H

#include <bit>
#include <cstdint>
#include <cstring>

class PackedBits {
public:
    explicit PackedBits(unsigned char *out) : out_(out) {}

    // Appends `value`, `nbits` (0 to 32) bits wide and already masked.
    void put(uint64_t value, int nbits) {
        if (npending_ + nbits <= 64) [[likely]] {
            pending_ = pending_ << nbits | value;
            npending_ += nbits;
            return;
        }
        // The register fills: its 64 bits go out, and the rest of `value` starts it again.
        // The bits of `value` already stored stay above the pending ones, and shift out of the
        // register before it is stored again.
        const int fill = 64 - npending_;
        store64(pending_ << fill | value >> (nbits - fill));
        pending_ = value;
        npending_ = nbits - fill;
    }

    // Pads the pending bits with zeros to a whole byte and stores them, which empties the
    // register. It may store up to 8 bytes beyond them, which later stores overwrite: the
    // caller's room includes 8 bytes more than it will produce.
    void drain() {
        if (npending_ == 0) return;
        store64(pending_ << (64 - npending_));
        out_ -= 8 - (npending_ + 7) / 8;
        pending_ = 0;
        npending_ = 0;
    }

    // Stores the low `nbytes` (1 to 4) bytes of `word`, most significant first, on an empty
    // register; like drain, it may store up to 3 bytes beyond them.
    void putBytes(uint32_t word, int nbytes) {
        uint32_t bits = word << (32 - 8 * nbytes);
        if constexpr (std::endian::native == std::endian::little) bits = __builtin_bswap32(bits);
        std::memcpy(out_, &bits, sizeof bits);
        out_ += nbytes;
    }

    // Stores the whole bytes still pending and returns the end of what was written; the
    // fewer than 8 bits left come back in `current` (from its most significant bit down) and
    // `bit`, as the stream's bit buffer keeps them.
    unsigned char *finish(uint8_t &current, int &bit) {
        for (; npending_ >= 8; npending_ -= 8) {
            *out_++ = static_cast<unsigned char>(pending_ >> (npending_ - 8));
        }
        current = static_cast<uint8_t>(pending_ << (8 - npending_));
        bit = npending_;
        return out_;
    }

private:
    void store64(uint64_t bits) {
        if constexpr (std::endian::native == std::endian::little) bits = __builtin_bswap64(bits);
        std::memcpy(out_, &bits, sizeof bits);
        out_ += sizeof bits;
    }

    unsigned char *out_;
    uint64_t pending_ = 0;  // right-aligned; bits above the pending ones are left over
    int npending_ = 0;
};

#endif  // PACKEDBITS_H
