// The graphic attribute setters and getters of the drawing interface. Setters check the
// caller's contract, convert what is given in world units (fill positions, line weight, font
// size) and write the attribute record at once to the current stream; getters read the
// stream's mirror of the graphic state back. The fill switch alone lives in the handle.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "kvgstore.h"
#include "kvgwriter_internal.h"

namespace {

constexpr uint8_t lowByte(int value) {
    return static_cast<uint8_t>(value);
}

// The weight in file units. The record holds it in one byte: a thicker weight is written as
// the thickest, 255, rather than wrapped to its low 8 bits.
uint8_t lineWeightInFileUnits(const KVG_File *fl, int weight) {
    const double scaled = fl->scale * lowByte(weight);
    return scaled >= 255.0 ? uint8_t{255} : static_cast<uint8_t>(scaled);
}

void storeColor(uint32_t color, uint8_t color_size, KVG_Color *out, uint8_t *out_size) {
    storeIfWanted(out, color);
    storeIfWanted(out_size, color_size);
}

// A mirrored file position back in world units.
void storeWorldPoint(KVG_File *fl, double x, double y, double *out_x, double *out_y) {
    kvg2world(fl, &x, &y);
    storeIfWanted(out_x, x);
    storeIfWanted(out_y, y);
}

}  // namespace

int KVG_setColorSize(KVG_File *fl, int value) {
    KVG_REQUIRE_NOT_NULL(fl);
    const uint8_t mode = lowByte(value);
    KVG_REQUIRE(mode <= KVG_COLOR_RGBA);
    return KVGF_SetColorSize(fl->cur, mode);
}

uint8_t KVG_getColorSize(KVG_File *fl) {
    KVG_REQUIRE_NOT_NULL(fl);
    return fl->cur->color_size;
}

int KVG_setBlendMode(KVG_File *fl, int mode) {
    KVG_REQUIRE_NOT_NULL(fl);
    KVG_REQUIRE(mode <= KVG_BLEND_DEST_HELD_SOURCE);
    return KVGF_SetBlendMode(fl->cur, mode);
}

uint8_t KVG_getBlendMode(KVG_File *fl) {
    KVG_REQUIRE_NOT_NULL(fl);
    return fl->cur->blend_mode;
}

int KVG_setLineColor(KVG_File *fl, KVG_Color color) {
    KVG_REQUIRE_NOT_NULL(fl);
    return KVGF_SetLineColor(fl->cur, color);
}

void KVG_getLineColor(KVG_File *fl, KVG_Color *color, uint8_t *color_size) {
    KVG_REQUIRE_NOT_NULL(fl);
    storeColor(fl->cur->line.color, fl->cur->line.color_size, color, color_size);
}

int KVG_setLineDashes(KVG_File *fl, int dash) {
    KVG_REQUIRE_NOT_NULL(fl);
    return KVGF_SetLineDashes(fl->cur, dash);
}

uint16_t KVG_getLineDashes(KVG_File *fl) {
    KVG_REQUIRE_NOT_NULL(fl);
    return fl->cur->line.dashes;
}

int KVG_setLineStyle(KVG_File *fl, int joint, int begin, int end, int weight) {
    KVG_REQUIRE_NOT_NULL(fl);
    KVG_REQUIRE(joint >= KVG_JOINT_DEFAULT);
    KVG_REQUIRE(joint <= KVG_JOINT_BEVEL);
    KVG_REQUIRE(begin >= KVG_NO_ARROW);
    KVG_REQUIRE(begin <= KVG_OVAL_ARROW);
    KVG_REQUIRE(end >= KVG_NO_ARROW);
    KVG_REQUIRE(end <= KVG_OVAL_ARROW);
    return KVGF_SetLineStyle(fl->cur, joint, begin, end, lineWeightInFileUnits(fl, weight));
}

void KVG_getLineStyle(KVG_File *fl, int *joint, int *begin, int *end, uint8_t *weight) {
    KVG_REQUIRE_NOT_NULL(fl);
    const auto &line = fl->cur->line;
    storeIfWanted(joint, int{line.joint});
    storeIfWanted(begin, int{line.begin});
    storeIfWanted(end, int{line.end});
    storeIfWanted(weight, line.weight);
}

int KVG_setMarkColor(KVG_File *fl, KVG_Color color) {
    KVG_REQUIRE_NOT_NULL(fl);
    return KVGF_SetMarkColor(fl->cur, color);
}

void KVG_getMarkColor(KVG_File *fl, KVG_Color *color, uint8_t *color_size) {
    KVG_REQUIRE_NOT_NULL(fl);
    storeColor(fl->cur->mark.color, fl->cur->mark.color_size, color, color_size);
}

int KVG_setMarkStyle(KVG_File *fl, int type, uint32_t size) {
    KVG_REQUIRE_NOT_NULL(fl);
    KVG_REQUIRE(type >= KVG_MARK_PLUS);
    KVG_REQUIRE(type <= KVG_MARK_HOLLOW_DIAMOND);
    return KVGF_SetMarkStyle(fl->cur, type, size);
}

void KVG_getMarkStyle(KVG_File *fl, int *type, uint32_t *size) {
    KVG_REQUIRE_NOT_NULL(fl);
    storeIfWanted(type, int{fl->cur->mark.type});
    storeIfWanted(size, fl->cur->mark.size);
}

int KVG_setFill(KVG_File *fl, int enabled) {
    KVG_REQUIRE_NOT_NULL(fl);
    const int previous = fl->fill;
    fl->fill = enabled != 0 ? 1 : 0;
    return previous;
}

int KVG_getFill(KVG_File *fl) {
    KVG_REQUIRE_NOT_NULL(fl);
    return fl->fill;
}

int KVG_setFillColor(KVG_File *fl, KVG_Color color) {
    KVG_REQUIRE_NOT_NULL(fl);
    return KVGF_SetFillColor(fl->cur, color);
}

void KVG_getFillColor(KVG_File *fl, KVG_Color *color, uint8_t *color_size) {
    KVG_REQUIRE_NOT_NULL(fl);
    storeColor(fl->cur->fill.color, fl->cur->fill.color_size, color, color_size);
}

int KVG_setGradientFill(KVG_File *fl, double x1, double y1, KVG_Color c1, double x2, double y2,
                        KVG_Color c2) {
    KVG_REQUIRE_NOT_NULL(fl);
    const FilePoint p0 = toFilePoint(fl, x1, y1);
    const FilePoint p1 = toFilePoint(fl, x2, y2);
    if (checkFinite(fl, p0, p1) != 0) return -1;
    const uint8_t size = std::max(KVGT_MinPointSize(p0.x, p0.y), KVGT_MinPointSize(p1.x, p1.y));
    if (fitPointSize(fl->cur, size) != 0) return -1;
    return KVGF_SetGradientFill(fl->cur, p0.x, p0.y, c1, p1.x, p1.y, c2);
}

void KVG_getGradientFill(KVG_File *fl, double *x1, double *y1, KVG_Color *c1, double *x2,
                         double *y2, KVG_Color *c2, uint8_t *color_size) {
    KVG_REQUIRE_NOT_NULL(fl);
    const auto &fill = fl->cur->fill;
    storeWorldPoint(fl, fill.gradient_p0_x, fill.gradient_p0_y, x1, y1);
    storeWorldPoint(fl, fill.gradient_p1_x, fill.gradient_p1_y, x2, y2);
    storeIfWanted(c1, fill.gradient_c0);
    storeIfWanted(c2, fill.gradient_c1);
    storeIfWanted(color_size, fill.gradient_color_size);
}

int KVG_setTextureFill(KVG_File *fl, double x, double y, uint32_t id) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (id >= fl->image_next_id) return KVG_FAIL(fl, ERR_IMGID);
    const FilePoint corner = toFilePoint(fl, x, y);
    if (checkFinite(fl, corner) != 0 || fitFigure(fl->cur, corner, nullptr) != 0) return -1;
    return KVGF_SetTextureFill(fl->cur, corner.x, corner.y, id);
}

void KVG_getTextureFill(KVG_File *fl, double *x, double *y, uint32_t *image_id) {
    KVG_REQUIRE_NOT_NULL(fl);
    const auto &fill = fl->cur->fill;
    storeWorldPoint(fl, fill.texture_ll_x, fill.texture_ll_y, x, y);
    storeIfWanted(image_id, fill.texture_id);
}

// The extent is the difference of the two quantized corners. A rectangle narrower than one file
// unit in either axis would get an extent of 0, which the record cannot carry: it keeps its
// exact extent instead, as an ellipse thinner than the grid keeps its exact half-axes.
int KVG_setStretchedTextureFill(KVG_File *fl, double x, double y, double w, double h, uint32_t id) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (id >= fl->image_next_id) return KVG_FAIL(fl, ERR_IMGID);
    if (!(w > 0.0) || !(h > 0.0)) return KVG_FAIL(fl, ERR_DSTRECT);
    const FilePoint corner = toFilePoint(fl, x, y);
    FilePoint extent = difference(toFilePoint(fl, x + w, y + h), corner);
    if (extent.x == 0.0 || extent.y == 0.0) extent = {w * fl->scale, h * fl->scale};
    if (checkFinite(fl, corner, extent) != 0) return -1;
    if (fitFigure(fl->cur, corner, &extent) != 0) return -1;
    return KVGF_SetStretchedTextureFill(fl->cur, corner.x, corner.y, extent.x, extent.y, id);
}

void KVG_getStretchedTextureFill(KVG_File *fl, double *x, double *y, double *w, double *h,
                                 uint32_t *image_id) {
    KVG_REQUIRE_NOT_NULL(fl);
    const auto &fill = fl->cur->fill;
    double corner_x = fill.texture_ll_x;
    double corner_y = fill.texture_ll_y;
    double far_x = fill.texture_ll_x + fill.texture_ur_x;
    double far_y = fill.texture_ll_y + fill.texture_ur_y;
    kvg2world(fl, &corner_x, &corner_y);
    kvg2world(fl, &far_x, &far_y);
    storeIfWanted(x, corner_x);
    storeIfWanted(y, corner_y);
    storeIfWanted(w, far_x - corner_x);
    storeIfWanted(h, far_y - corner_y);
    storeIfWanted(image_id, fill.texture_id);
}

int KVG_setImageStretchMode(KVG_File *fl, int mode) {
    KVG_REQUIRE_NOT_NULL(fl);
    KVG_REQUIRE(mode == KVG_STRETCH_NEAREST || mode == KVG_STRETCH_BILINEAR);
    return KVGF_SetImageStretchMode(fl->cur, mode);
}

uint8_t KVG_getImageStretchMode(KVG_File *fl) {
    KVG_REQUIRE_NOT_NULL(fl);
    return fl->cur->image_stretch_mode;
}

int KVG_setTextColor(KVG_File *fl, KVG_Color color) {
    KVG_REQUIRE_NOT_NULL(fl);
    return KVGF_SetTextColor(fl->cur, color);
}

void KVG_getTextColor(KVG_File *fl, KVG_Color *color, uint8_t *color_size) {
    KVG_REQUIRE_NOT_NULL(fl);
    storeColor(fl->cur->text.color, fl->cur->text.color_size, color, color_size);
}

int KVG_setFont(KVG_File *fl, int typeface_value, int style_value, uint32_t size) {
    KVG_REQUIRE_NOT_NULL(fl);
    const uint8_t typeface = lowByte(typeface_value);
    const uint8_t style = lowByte(style_value);
    KVG_REQUIRE(typeface <= KVG_FONT_SANS_SERIF);
    KVG_REQUIRE(style <= KVG_FONT_BOLD_ITALIC);
    const double file_size = std::trunc(size * fl->scale);
    if (file_size > KVGT_SIZE_MAX) return KVG_FAIL(fl, ERR_FONTTOOBIG);
    return KVGF_SetFont(fl->cur, typeface, style, static_cast<uint32_t>(file_size));
}

void KVG_getFont(KVG_File *fl, uint8_t *typeface, uint8_t *style, uint32_t *size) {
    KVG_REQUIRE_NOT_NULL(fl);
    const auto &text = fl->cur->text;
    storeIfWanted(typeface, text.font_typeface);
    storeIfWanted(style, text.font_style);
    storeIfWanted(size, text.font_size);
}

int KVG_setTextAlignment(KVG_File *fl, int alignment, double direction) {
    KVG_REQUIRE_NOT_NULL(fl);
    KVG_REQUIRE(alignment <= KVG_TEXT_BASERIGHT);
    if (checkFiniteAngle(fl, direction) != 0) return -1;
    return KVGF_SetTextAlignment(fl->cur, alignment, direction);
}

void KVG_getTextAlignment(KVG_File *fl, uint8_t *alignment, double *direction) {
    KVG_REQUIRE_NOT_NULL(fl);
    storeIfWanted(alignment, fl->cur->text.alignment);
    storeIfWanted(direction, fl->cur->text.direction);
}

int KVG_setPalette(KVG_File *fl, int ncolors, const KVG_Color *colors) {
    KVG_REQUIRE_NOT_NULL(fl);
    KVG_REQUIRE_NOT_NULL(colors);
    KVG_REQUIRE(ncolors > 0);
    // A broken contract prints the expression as written.
    // clang-format off
    KVG_REQUIRE(ncolors <= 255+1);
    // clang-format on
    return KVGF_SetPalette(fl->cur, ncolors, colors);
}

void KVG_getPalette(KVG_File *fl, int *ncolors, KVG_Color *colors, uint8_t *color_size) {
    KVG_REQUIRE_NOT_NULL(fl);
    const auto &palette = fl->cur->palette;
    storeIfWanted(ncolors, palette.length);
    if (colors != nullptr) std::copy_n(palette.colors, palette.length, colors);
    storeIfWanted(color_size, palette.color_size);
}
