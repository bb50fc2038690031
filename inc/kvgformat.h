// Constants of the KVG file format: record codes, encoding sizes, limits and the ranges of the
// enumerated record arguments. Shared by every program that reads or writes the format; it
// holds no code.
#ifndef KVGFORMAT_H
#define KVGFORMAT_H

#include <array>
#include <cstdint>

namespace kvgfmt {

// Record codes: the first byte of every record.
enum Code : uint8_t {
    EXTENSION = 0,
    LAYER = 1,
    OBJECT = 2,
    POLYLINE = 16,
    DRAW_POLYGON = 17,
    DRAW_CUBIC_BEZIER = 18,
    DRAW_ARC = 19,
    FILL_POLYGON = 20,
    FILL_CUBIC_BEZIER = 21,
    FILL_ARC = 22,
    TEXT = 23,
    SHAPE = 24,
    IMAGE = 25,
    MARK = 48,
    LINE = 49,
    DRAW_BOX = 50,
    DRAW_CIRCLE = 51,
    DRAW_ELLIPSE = 52,
    FILL_BOX = 53,
    FILL_CIRCLE = 54,
    FILL_ELLIPSE = 55,
    STAMP_SHAPE = 56,
    REPEAT_SHAPE = 57,
    FULL_IMAGE = 58,
    SET_EDGE = 59,
    SET_FACE = 60,
    DRAW_EDGE = 61,
    DRAW_EDGE_RANGE = 62,
    FILL_FACE = 63,
    POINT_SIZE_FIRST = 80,  // 80 + i sets POINT_SIZES[i]
    POINT_SIZE_LAST = 84,
    REL_POINT_SIZE_FIRST = 85,  // 85 + i sets REL_POINT_SIZES[i]
    REL_POINT_SIZE_LAST = 92,
    COLOR_SIZE = 93,
    BLEND_MODE = 94,
    LINE_COLOR = 95,
    LINE_DASHES = 96,
    LINE_STYLE = 97,
    MARK_COLOR = 98,
    MARK_STYLE = 99,
    FILL_COLOR = 100,
    GRADIENT_FILL = 101,
    TEXTURE_FILL = 102,
    STRETCHED_TEXTURE_FILL = 103,
    IMAGE_STRETCH_MODE = 104,
    TEXT_COLOR = 105,
    FONT = 106,
    TEXT_ALIGNMENT = 107,
    PALETTE = 108,
    SET_IMAGE = 109,
    BEGIN_SET_SHAPE = 111,
    END_SET_SHAPE = 112,
};

// Encoding sizes in bits, in the order of their size-record codes.
inline constexpr std::array<uint8_t, 5> POINT_SIZES = {16, 24, 32, 64, 128};
inline constexpr std::array<uint8_t, 8> REL_POINT_SIZES = {3, 6, 8, 16, 24, 32, 64, 128};

// Colour sizes, the KVG_COLOR_MODE values; INDEX1 and INDEX8 index the palette.
inline constexpr uint8_t COLOR_INDEX1 = 0;
inline constexpr uint8_t COLOR_INDEX8 = 1;
inline constexpr uint8_t COLOR_GRAY8 = 2;
inline constexpr uint8_t COLOR_GRAY12 = 3;
inline constexpr uint8_t COLOR_GRAY16 = 4;
inline constexpr uint8_t COLOR_GA = 5;
inline constexpr uint8_t COLOR_RGB = 6;
inline constexpr uint8_t COLOR_RGBA = 7;
inline constexpr uint8_t COLOR_SIZE_COUNT = 8;

// The eight bytes that open every file.
inline constexpr std::array<uint8_t, 8> SIGNATURE = {'K', 'V', 'G', 0x98, 0xE1, 0x00, 0x00, 0x04};

// "No shape drawn yet" in a stream state: one more than the largest identifier.
inline constexpr uint32_t NO_SHAPE = 4194304;
inline constexpr int PALETTE_CAPACITY = 256;

// Largest value of each enumerated record argument.
inline constexpr uint8_t MAX_BLEND_MODE = 7;
inline constexpr uint8_t MAX_JOINT_STYLE = 3;
inline constexpr uint8_t MAX_LINE_DECORATION = 5;
inline constexpr uint8_t MAX_MARK_TYPE = 8;
inline constexpr uint8_t MAX_STRETCH_MODE = 1;
inline constexpr uint8_t MAX_FONT_TYPEFACE = 3;
inline constexpr uint8_t MAX_FONT_STYLE = 3;
inline constexpr uint8_t MAX_TEXT_ALIGNMENT = 11;

// Defaults of the graphic state at the start of a stream and after every layer record.
inline constexpr uint8_t DEFAULT_BLEND_MODE = 2;
inline constexpr uint16_t DEFAULT_DASHES = 0xFFFF;
inline constexpr uint8_t DEFAULT_LINE_WEIGHT = 1;
inline constexpr uint32_t DEFAULT_FONT_SIZE = 1;
inline constexpr uint8_t DEFAULT_TEXT_ALIGNMENT = 10;
inline constexpr uint32_t DEFAULT_PALETTE_WHITE = 0xFFFFFF;
inline constexpr int DEFAULT_PALETTE_LENGTH = 2;

}  // namespace kvgfmt

#endif  // KVGFORMAT_H
