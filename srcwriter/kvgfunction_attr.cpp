// The attribute records: blend mode, line, mark, fill, image stretch mode, text and palette.
// Each checks every argument, then updates the stream's mirror of the graphic state, then
// writes its code and arguments. Because the checks include what the encoding layer would
// refuse later (colours, sizes, identifiers, points), a refused record leaves both the stream
// and the mirror as they were.
#include <algorithm>
#include <cstdint>
#include <initializer_list>

#include "kvgassert.h"
#include "kvgfunction_internal.h"
#include "kvgtype_internal.h"

namespace {

constexpr uint8_t lowByte(int value) {
    return static_cast<uint8_t>(value);
}

// The code byte and the one-byte arguments that follow it.
int writeBytes(KVGF_State *st, std::initializer_list<uint8_t> bytes) {
    for (uint8_t byte : bytes) {
        if (KVGT_Byte(st, byte) != 0) return -1;
    }
    return 0;
}

bool isIndexColorSize(uint8_t color_size) {
    return color_size == KVG_COLOR_INDEX1 || color_size == KVG_COLOR_INDEX8;
}

// The line, mark, fill and text colours. In an index colour size the record carries a palette
// index and the mirror takes the entry it names, so that the mirror always holds a direct
// colour. The colour is verified first: an index beyond the palette is never read, and a
// refused colour changes nothing.
int mirrorColor(KVGF_State *st, KVG_Color color, uint32_t &mirror_color,
                uint8_t &mirror_color_size) {
    if (KVGT_VerifyColor(st, color) != 0) return -1;
    if (isIndexColorSize(st->color_size)) {
        mirror_color = st->palette.colors[color];
        mirror_color_size = st->palette.color_size;
    } else {
        mirror_color = color;
        mirror_color_size = st->color_size;
    }
    return 0;
}

int writeColorRecord(KVGF_State *st, uint8_t code, KVG_Color color) {
    if (KVGT_Byte(st, code) != 0) return -1;
    return KVGT_Color(st, color);
}

int verifyColors(KVGF_State *st, const KVG_Color *colors, int ncolors) {
    for (int i = 0; i < ncolors; ++i) {
        if (KVGT_VerifyColor(st, colors[i]) != 0) return -1;
    }
    return 0;
}

// In an index colour size each new entry is looked up in the palette in force, while the
// encoding checks the index against the new length: an index must be below both lengths.
int verifyPaletteColors(KVGF_State *st, const KVG_Color *colors, int ncolors) {
    if (!isIndexColorSize(st->color_size)) return verifyColors(st, colors, ncolors);
    const int length = st->palette.length;
    st->palette.length = std::min(length, ncolors);
    const int result = verifyColors(st, colors, ncolors);
    st->palette.length = length;
    return result;
}

// Direct colours replace the palette and its colour size. Indexes remap it: the new entries are
// built apart from the old ones they are read from, and the palette keeps the direct colour
// size it was defined in.
void mirrorPalette(KVGF_State *st, const KVG_Color *colors, int ncolors) {
    if (isIndexColorSize(st->color_size)) {
        uint32_t remapped[256];
        for (int i = 0; i < ncolors; ++i) remapped[i] = st->palette.colors[colors[i]];
        std::copy_n(remapped, ncolors, st->palette.colors);
    } else {
        std::copy_n(colors, ncolors, st->palette.colors);
        st->palette.color_size = st->color_size;
    }
    st->palette.length = ncolors;
}

}  // namespace

int KVGF_SetBlendMode(KVGF_State *st, int mode) {
    const uint8_t blend_mode = lowByte(mode);
    if (blend_mode > KVG_BLEND_DEST_HELD_SOURCE) return KVGF_FAIL(st, ERR_BLENDMODE);
    st->blend_mode = blend_mode;
    return writeBytes(st, {KVGF_CODE_BLEND_MODE, blend_mode});
}

int KVGF_SetLineColor(KVGF_State *st, KVG_Color color) {
    if (mirrorColor(st, color, st->line.color, st->line.color_size) != 0) return -1;
    return writeColorRecord(st, KVGF_CODE_LINE_COLOR, color);
}

int KVGF_SetLineDashes(KVGF_State *st, int dash) {
    const uint16_t dashes = static_cast<uint16_t>(dash);
    st->line.dashes = dashes;
    if (KVGT_Byte(st, KVGF_CODE_LINE_DASHES) != 0) return -1;
    return KVGT_Uint16s(st, &dashes, 1);
}

int KVGF_SetLineStyle(KVGF_State *st, int joint, int begin, int end, int weight) {
    const uint8_t joint_style = lowByte(joint);
    const uint8_t begin_style = lowByte(begin);
    const uint8_t end_style = lowByte(end);
    if (joint_style > KVG_JOINT_BEVEL) return KVGF_FAIL(st, ERR_LINEJOINT);
    if (begin_style > KVG_OVAL_ARROW) return KVGF_FAIL(st, ERR_LINEBEGIN);
    if (end_style > KVG_OVAL_ARROW) return KVGF_FAIL(st, ERR_LINEEND);
    st->line.joint = joint_style;
    st->line.begin = begin_style;
    st->line.end = end_style;
    st->line.weight = lowByte(weight);
    return writeBytes(st,
                      {KVGF_CODE_LINE_STYLE, joint_style, begin_style, end_style, st->line.weight});
}

int KVGF_SetMarkColor(KVGF_State *st, KVG_Color color) {
    if (mirrorColor(st, color, st->mark.color, st->mark.color_size) != 0) return -1;
    return writeColorRecord(st, KVGF_CODE_MARK_COLOR, color);
}

int KVGF_SetMarkStyle(KVGF_State *st, int type, uint32_t size) {
    const uint8_t mark_type = lowByte(type);
    if (mark_type > KVG_MARK_HOLLOW_DIAMOND) return KVGF_FAIL(st, ERR_MARKSTYLE);
    if (checkSizeLimit(st, size) != 0) return -1;
    st->mark.type = mark_type;
    st->mark.size = size;
    if (writeBytes(st, {KVGF_CODE_MARK_STYLE, mark_type}) != 0) return -1;
    return KVGT_Size(st, size);
}

int KVGF_SetFillColor(KVGF_State *st, KVG_Color color) {
    if (mirrorColor(st, color, st->fill.color, st->fill.color_size) != 0) return -1;
    st->fill.mode = FILL_COLOR;
    return writeColorRecord(st, KVGF_CODE_FILL_COLOR, color);
}

// Gradient colours are mirrored as given, with the colour size they were given in: in an index
// colour size the mirror holds the two indexes.
int KVGF_SetGradientFill(KVGF_State *st, double p0_x, double p0_y, KVG_Color c0, double p1_x,
                         double p1_y, KVG_Color c1) {
    if (KVGT_VerifyPoint(st, p0_x, p0_y) != 0 || KVGT_VerifyPoint(st, p1_x, p1_y) != 0) {
        return -1;
    }
    if (KVGT_VerifyColor(st, c0) != 0 || KVGT_VerifyColor(st, c1) != 0) return -1;
    auto &fill = st->fill;
    fill.mode = FILL_GRADIENT;
    fill.gradient_color_size = st->color_size;
    fill.gradient_p0_x = p0_x;
    fill.gradient_p0_y = p0_y;
    fill.gradient_c0 = c0;
    fill.gradient_p1_x = p1_x;
    fill.gradient_p1_y = p1_y;
    fill.gradient_c1 = c1;
    if (KVGT_Byte(st, KVGF_CODE_GRADIENT_FILL) != 0 || KVGT_Point(st, p0_x, p0_y) != 0 ||
        KVGT_Color(st, c0) != 0 || KVGT_Point(st, p1_x, p1_y) != 0) {
        return -1;
    }
    return KVGT_Color(st, c1);
}

// The texture's extent stays as the last stretched texture left it.
int KVGF_SetTextureFill(KVGF_State *st, double p_ll_x, double p_ll_y, uint32_t image_id) {
    if (KVGT_VerifyPoint(st, p_ll_x, p_ll_y) != 0) return -1;
    if (checkIdentifierLimit(st, image_id) != 0) return -1;
    auto &fill = st->fill;
    fill.mode = FILL_TEXTURE;
    fill.texture_id = image_id;
    fill.texture_ll_x = p_ll_x;
    fill.texture_ll_y = p_ll_y;
    if (KVGT_Byte(st, KVGF_CODE_TEXTURE_FILL) != 0 || KVGT_Point(st, p_ll_x, p_ll_y) != 0) {
        return -1;
    }
    return KVGT_Identifier(st, image_id);
}

// (p_ur_x, p_ur_y) is the extent over which the image is stretched, relative to the corner.
int KVGF_SetStretchedTextureFill(KVGF_State *st, double p_ll_x, double p_ll_y, double p_ur_x,
                                 double p_ur_y, uint32_t image_id) {
    if (notPositive(p_ur_x, p_ur_y, st->rel_point_size)) return KVGF_FAIL(st, ERR_BBOX);
    if (KVGT_VerifyPoint(st, p_ll_x, p_ll_y) != 0 || KVGT_VerifyRelPoint(st, p_ur_x, p_ur_y) != 0) {
        return -1;
    }
    if (checkIdentifierLimit(st, image_id) != 0) return -1;
    auto &fill = st->fill;
    fill.mode = FILL_STRETCHED_TEXTURE;
    fill.texture_id = image_id;
    fill.texture_ll_x = p_ll_x;
    fill.texture_ll_y = p_ll_y;
    fill.texture_ur_x = p_ur_x;
    fill.texture_ur_y = p_ur_y;
    if (KVGT_Byte(st, KVGF_CODE_STRETCHED_TEXTURE_FILL) != 0 ||
        KVGT_Point(st, p_ll_x, p_ll_y) != 0 || KVGT_RelPoint(st, p_ur_x, p_ur_y) != 0) {
        return -1;
    }
    return KVGT_Identifier(st, image_id);
}

int KVGF_SetImageStretchMode(KVGF_State *st, int image_mode) {
    const uint8_t stretch_mode = lowByte(image_mode);
    if (stretch_mode > KVG_STRETCH_BILINEAR) return KVGF_FAIL(st, ERR_IMAGEMODE);
    st->image_stretch_mode = stretch_mode;
    return writeBytes(st, {KVGF_CODE_IMAGE_STRETCH_MODE, stretch_mode});
}

int KVGF_SetTextColor(KVGF_State *st, KVG_Color color) {
    if (mirrorColor(st, color, st->text.color, st->text.color_size) != 0) return -1;
    return writeColorRecord(st, KVGF_CODE_TEXT_COLOR, color);
}

int KVGF_SetFont(KVGF_State *st, int typeface, int style, uint32_t size) {
    const uint8_t font_typeface = lowByte(typeface);
    const uint8_t font_style = lowByte(style);
    if (font_typeface > KVG_FONT_SANS_SERIF) return KVGF_FAIL(st, ERR_FONTFACE);
    if (font_style > KVG_FONT_BOLD_ITALIC) return KVGF_FAIL(st, ERR_FONTSTYLE);
    if (checkSizeLimit(st, size) != 0) return -1;
    st->text.font_typeface = font_typeface;
    st->text.font_style = font_style;
    st->text.font_size = size;
    if (writeBytes(st, {KVGF_CODE_FONT, font_typeface, font_style}) != 0) return -1;
    return KVGT_Size(st, size);
}

int KVGF_SetTextAlignment(KVGF_State *st, int alignment, double direction) {
    const uint8_t reference_point = lowByte(alignment);
    if (reference_point > KVG_TEXT_BASERIGHT) return KVGF_FAIL(st, ERR_TEXTALIGNMENT);
    if (checkAngle(st, direction) != 0) return -1;
    st->text.alignment = reference_point;
    st->text.direction = direction;
    if (writeBytes(st, {KVGF_CODE_TEXT_ALIGNMENT, reference_point}) != 0) return -1;
    return KVGT_Angle(st, direction);
}

int KVGF_SetPalette(KVGF_State *st, int ncolors, const KVG_Color *colors) {
    KVG_REQUIRE(ncolors > 0);
    KVG_REQUIRE(ncolors <= 256);
    KVG_REQUIRE_NOT_NULL(colors);
    if (verifyPaletteColors(st, colors, ncolors) != 0) return -1;
    mirrorPalette(st, colors, ncolors);
    if (KVGT_Byte(st, KVGF_CODE_PALETTE) != 0) return -1;
    return KVGT_ColorArray(st, colors, static_cast<uint32_t>(ncolors));
}
