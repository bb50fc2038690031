// Decoding of the header and of each record's arguments, given the state in force.
#ifndef KVGREADER_DECODE_H
#define KVGREADER_DECODE_H

#include <cstdint>

#include "cursor.h"
#include "decoder.h"

namespace kvgr::impl {

Header readHeader(Cursor &cursor);

// The arguments of a record whose code byte has been read. Checks every value that the record
// itself can settle: sizes, enumerations, extents, counts, palette indexes; and keeps within
// the budget while it decodes.
Payload decodePayload(Cursor &cursor, uint8_t code, const StreamState &state,
                      const Budget &budget);

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
// Spelled out for compilers without deduction from aggregate initialisation (clang before 17).
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

inline bool isIndexColorSize(uint8_t size) {
    return size == kvgfmt::COLOR_INDEX1 || size == kvgfmt::COLOR_INDEX8;
}

}  // namespace kvgr::impl

#endif  // KVGREADER_DECODE_H
