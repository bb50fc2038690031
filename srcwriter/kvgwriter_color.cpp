// Colour values: packing components into a KVG_Color of each colour mode and taking them
// apart again. Pure functions: no handle, no state.
#include <cstdint>

#include "kvgassert.h"
#include "kvgstore.h"
#include "kvgwriter.h"

// A grey level or alpha value is a fraction from 0.0 to 1.0; a value that is not a number fails
// the lower bound.
#define KVG_REQUIRE_FRACTION(value) \
    do {                            \
        KVG_REQUIRE(value >= 0.0);  \
        KVG_REQUIRE(value <= 1.0);  \
    } while (0)

namespace {

constexpr uint32_t GRAY8_MAX = 0xFF;
constexpr uint32_t GRAY12_MAX = 0xFFF;
constexpr uint32_t GRAY16_MAX = 0xFFFF;

// A checked fraction as a field of `max` steps. Truncation lets only exactly 1.0 reach `max`:
// 0.5 gives 127, 2047 or 32767.
uint32_t encodeFraction(double fraction, uint32_t max) {
    return static_cast<uint32_t>(fraction * max);
}

double decodeFraction(uint32_t field, uint32_t max) {
    return static_cast<double>(field) / static_cast<double>(max);
}

// A grey field of `max` = 2^n - 1: the low n bits are stored whatever the rest holds, and -1
// tells that bits above the field were set.
int decodeGray(KVG_Color color, double *gray, uint32_t max) {
    storeIfWanted(gray, decodeFraction(color & max, max));
    return color > max ? -1 : 0;
}

uint8_t byteAt(KVG_Color color, int shift) {
    return static_cast<uint8_t>(color >> shift);
}

}  // namespace

KVG_Color KVG_encodeRGBAColor(uint8_t r, uint8_t g, uint8_t b, double alpha) {
    KVG_REQUIRE_FRACTION(alpha);
    return KVG_encodeRGBColor(r, g, b) << 8 | encodeFraction(alpha, GRAY8_MAX);
}

int KVG_decodeRGBAColor(KVG_Color color, uint8_t *r, uint8_t *g, uint8_t *b, double *alpha) {
    storeIfWanted(r, byteAt(color, 24));
    storeIfWanted(g, byteAt(color, 16));
    storeIfWanted(b, byteAt(color, 8));
    storeIfWanted(alpha, decodeFraction(color & GRAY8_MAX, GRAY8_MAX));
    return 0;
}

KVG_Color KVG_encodeRGBColor(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<KVG_Color>(r) << 16 | static_cast<KVG_Color>(g) << 8 | b;
}

int KVG_decodeRGBColor(KVG_Color color, uint8_t *r, uint8_t *g, uint8_t *b) {
    storeIfWanted(r, byteAt(color, 16));
    storeIfWanted(g, byteAt(color, 8));
    storeIfWanted(b, byteAt(color, 0));
    return color > 0xFFFFFF ? -1 : 0;
}

KVG_Color KVG_encodeGAColor(double gray, double alpha) {
    KVG_REQUIRE_FRACTION(gray);
    KVG_REQUIRE_FRACTION(alpha);
    return encodeFraction(gray, GRAY16_MAX) << 16 | encodeFraction(alpha, GRAY16_MAX);
}

int KVG_decodeGAColor(KVG_Color color, double *gray, double *alpha) {
    storeIfWanted(gray, decodeFraction(color >> 16, GRAY16_MAX));
    storeIfWanted(alpha, decodeFraction(color & GRAY16_MAX, GRAY16_MAX));
    return 0;
}

KVG_Color KVG_encodeG8Color(double gray) {
    KVG_REQUIRE_FRACTION(gray);
    return encodeFraction(gray, GRAY8_MAX);
}

int KVG_decodeG8Color(KVG_Color color, double *gray) {
    return decodeGray(color, gray, GRAY8_MAX);
}

KVG_Color KVG_encodeG12Color(double gray) {
    KVG_REQUIRE_FRACTION(gray);
    return encodeFraction(gray, GRAY12_MAX);
}

int KVG_decodeG12Color(KVG_Color color, double *gray) {
    return decodeGray(color, gray, GRAY12_MAX);
}

KVG_Color KVG_encodeG16Color(double gray) {
    KVG_REQUIRE_FRACTION(gray);
    return encodeFraction(gray, GRAY16_MAX);
}

int KVG_decodeG16Color(KVG_Color color, double *gray) {
    return decodeGray(color, gray, GRAY16_MAX);
}
