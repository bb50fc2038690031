// The encoding layer's messages, the rare half of the bit buffer, the scalar types, colours and
// the file header. Points, relative points and angles are in kvgtype_point.cpp.
#include <iterator>

#include "bitstream.h"
#include "kvgassert.h"
#include "kvgmessage.h"
#include "kvgtype_internal.h"

namespace {

enum {
    ERR_IO,
    ERR_BIT,
    ERR_NULLPTR,
    ERR_SIZELIMIT,
    ERR_IDENTIFIERLIMIT,
    ERR_SIDENTIFIERLIMIT,
    ERR_COLOR,
    ERR_COLORARRAY,
    ERR_COLORSIZE,
    ERR_COUNT
};

const KvgMessage errstr[ERR_COUNT] = {
    {"I/O error", KVG_ERR_SYSTEM},
    {"Bit value must equal KVG_TRUE or KVG_FALSE", KVG_ERR_PARAM},
    {"Unexpected NULL pointer", KVG_ERR_PARAM},
    {"Size KVG type limit exceeded", KVG_ERR_LIMITS},
    {"Identifier KVG type limit exceeded", KVG_ERR_LIMITS},
    {"SIdentifier KVG type limit exceeded", KVG_ERR_LIMITS},
    {"Color KVG type invalid for current color size", KVG_ERR_LIMITS},
    {"ColorArray size exceeded", KVG_ERR_LIMITS},
    {"Invalid color size found in state", KVG_ERR_INTERNAL},
};

int fail(const KVGF_State *st, int message, int line) {
    return kvgRecord(st->error, errstr[message], "kvgtype", line);
}

// ---- Variable-length integers ----

// Writes the low bits of `field` in the length of index `length` (0 to 2), aligned.
int writeVarField(KVGF_State *st, uint32_t field, int length) {
    if (flushBits(st) != 0) return -1;
    return putBigEndian(st, varFieldBytes(field, length), length + 1);
}

int writeUnsigned(KVGF_State *st, uint32_t value) {
    return writeVarField(st, value, unsignedLength(value));
}

int writeSigned(KVGF_State *st, int32_t value) {
    const int length = (value >= -64 && value < 64) ? 0 : (value >= -8192 && value < 8192) ? 1 : 2;
    return writeVarField(st, static_cast<uint32_t>(value), length);
}

// Writes each of a list of identifiers with `write`, aligned, without a count.
template <typename Id>
int writeIdentifierList(KVGF_State *st, const Id *ids, uint32_t nids,
                        int (*write)(KVGF_State *, Id)) {
    if (ids == nullptr) return fail(st, ERR_NULLPTR, __LINE__);
    if (flushBits(st) != 0) return -1;
    for (uint32_t i = 0; i < nids; ++i) {
        if (write(st, ids[i]) != 0) return -1;
    }
    return 0;
}

// ---- Colours ----

// How a colour size reaches the file: the low `bits` of the colour, bit-packed or as aligned
// whole bytes; an index colour must also lie below the palette's length.
struct ColorEncoding {
    int bits;
    bool packed;
    bool indexed;
};
constexpr ColorEncoding COLOR_ENCODINGS[] = {
    {1, true, true},     // KVG_COLOR_INDEX1
    {8, false, true},    // KVG_COLOR_INDEX8
    {8, false, false},   // KVG_COLOR_GRAY8
    {12, true, false},   // KVG_COLOR_GRAY12: 8 bits, then 4
    {16, false, false},  // KVG_COLOR_GRAY16
    {32, false, false},  // KVG_COLOR_GA: grey, then alpha, 16 bits each
    {24, false, false},  // KVG_COLOR_RGB
    {32, false, false},  // KVG_COLOR_RGBA
};

bool isAccepted(const KVGF_State *st, const ColorEncoding &encoding, KVG_Color color) {
    const bool fits = encoding.bits == 32 || color >> encoding.bits == 0;
    return fits && !(encoding.indexed && color >= static_cast<uint32_t>(st->palette.length));
}

int writePackedBits(KVGF_State *st, uint32_t value, int nbits) {
    for (; nbits > 8; nbits -= 8) {
        if (writeBits(st, static_cast<int>(value >> (nbits - 8)), 8) != 0) return -1;
    }
    return writeBits(st, static_cast<int>(value), nbits);
}

}  // namespace

// ---- The bit buffer ----

int recordIoError(KVGF_State *st) { return fail(st, ERR_IO, __LINE__); }

int writeBitsCompletingByte(KVGF_State *st, unsigned value, int nbits) {
    if (st->bit == 8) return recordIoError(st);
    const int spill = nbits - (8 - st->bit);  // bits for the next byte, 0 to 7
    const auto completed = static_cast<uint8_t>(st->current | value >> spill);
    if (sendCompletedByte(st, completed) != 0) return -1;
    st->current = static_cast<uint8_t>(value << (8 - spill));
    st->bit = spill;
    return 0;
}

int KVGT_Flush(KVGF_State *st) { return flushBits(st); }

int KVGT_Byte(KVGF_State *st, int byte) {
    if (flushBits(st) != 0) return -1;
    return putByte(st, static_cast<uint32_t>(byte));
}

int KVGT_Bit(KVGF_State *st, int bit) {
    if (bit != KVG_TRUE && bit != KVG_FALSE) return fail(st, ERR_BIT, __LINE__);
    return writeBits(st, bit, 1);
}

// ---- Scalar types ----

int KVGT_Uint16s(KVGF_State *st, const uint16_t *uints, uint32_t nuints) {
    if (uints == nullptr) return fail(st, ERR_NULLPTR, __LINE__);
    if (flushBits(st) != 0) return -1;
    for (uint32_t i = 0; i < nuints; ++i) {
        if (putBigEndian(st, uints[i], 2) != 0) return -1;
    }
    return 0;
}

int checkSizeLimit(KVGF_State *st, uint32_t size) {
    return size > KVGT_SIZE_MAX ? fail(st, ERR_SIZELIMIT, __LINE__) : 0;
}

int checkIdentifierLimit(KVGF_State *st, uint32_t id) {
    return id > KVGT_SIZE_MAX ? fail(st, ERR_IDENTIFIERLIMIT, __LINE__) : 0;
}

int checkSIdentifierLimit(KVGF_State *st, int32_t id) {
    const bool inRange = id >= KVGT_SIDENTIFIER_MIN && id <= KVGT_SIDENTIFIER_MAX;
    return inRange ? 0 : fail(st, ERR_SIDENTIFIERLIMIT, __LINE__);
}

int KVGT_Size(KVGF_State *st, uint32_t size) {
    if (checkSizeLimit(st, size) != 0) return -1;
    return writeUnsigned(st, size);
}

int KVGT_Identifier(KVGF_State *st, uint32_t id) {
    if (checkIdentifierLimit(st, id) != 0) return -1;
    return writeUnsigned(st, id);
}

int KVGT_Identifiers(KVGF_State *st, const uint32_t *ids, uint32_t nids) {
    return writeIdentifierList(st, ids, nids, KVGT_Identifier);
}

int KVGT_SIdentifier(KVGF_State *st, int32_t id) {
    if (checkSIdentifierLimit(st, id) != 0) return -1;
    return writeSigned(st, id);
}

int KVGT_SIdentifiers(KVGF_State *st, const int32_t *ids, uint32_t nids) {
    return writeIdentifierList(st, ids, nids, KVGT_SIdentifier);
}

int KVGT_Text(KVGF_State *st, const char *text, uint32_t size) {
    KVG_REQUIRE_NOT_NULL(st);
    if (text == nullptr) return fail(st, ERR_NULLPTR, __LINE__);
    if (KVGT_Size(st, size) != 0) return -1;
    if (XIO_write(st->file, text, size) != size) return fail(st, ERR_IO, __LINE__);
    return 0;
}

// ---- Colours ----

int KVGT_VerifyColor(KVGF_State *st, KVG_Color color) {
    if (st->color_size >= std::size(COLOR_ENCODINGS)) return fail(st, ERR_COLORSIZE, __LINE__);
    if (!isAccepted(st, COLOR_ENCODINGS[st->color_size], color)) {
        return fail(st, ERR_COLOR, __LINE__);
    }
    return 0;
}

int KVGT_Color(KVGF_State *st, KVG_Color color) {
    if (KVGT_VerifyColor(st, color) != 0) return -1;
    const ColorEncoding &encoding = COLOR_ENCODINGS[st->color_size];
    if (encoding.packed) return writePackedBits(st, color, encoding.bits);
    if (flushBits(st) != 0) return -1;
    return putBigEndian(st, color, encoding.bits / 8);
}

int KVGT_ColorArray(KVGF_State *st, const KVG_Color *colors, uint32_t ncolors) {
    if (ncolors < 1 || ncolors > 256) return fail(st, ERR_COLORARRAY, __LINE__);
    if (colors == nullptr) return fail(st, ERR_NULLPTR, __LINE__);
    if (KVGT_Byte(st, static_cast<int>(ncolors - 1)) != 0) return -1;
    for (uint32_t i = 0; i < ncolors; ++i) {
        if (KVGT_Color(st, colors[i]) != 0) return -1;
    }
    return 0;
}

// ---- The file header ----

int KVGT_Header(KVGF_State *st, double WHres_x, double WHres_y, double XYll_x, double XYll_y,
                double XYur_x, double XYur_y, double XYmm_x, double XYmm_y, KVG_Color background) {
    static constexpr uint8_t SIGNATURE[] = {'K', 'V', 'G', 0x98, 0xE1, 0x00, 0x00, 0x04};
    for (const uint8_t byte : SIGNATURE) {
        if (KVGT_Byte(st, byte) != 0) return -1;
    }
    if (KVGT_Byte(st, st->point_size) != 0 || KVGT_Byte(st, st->rel_point_size) != 0 ||
        KVGT_Point(st, WHres_x, WHres_y) != 0 || KVGT_Point(st, XYll_x, XYll_y) != 0 ||
        KVGT_Point(st, XYur_x, XYur_y) != 0 || KVGT_Point(st, XYmm_x, XYmm_y) != 0) {
        return -1;
    }
    return KVGT_Color(st, background);
}
