// Images: pixel arrays defined once in the definitions section, in the colour mode and with the
// palette of the current stream, and drawn whole or in part into a rectangle.
#include <algorithm>
#include <cstddef>

#include "kvgwriter_internal.h"

namespace {

// Identifiers and counts of the format hold 22 bits.
constexpr uint32_t MAX_IMAGE_ID = KVGT_SIZE_MAX;

bool isIndexColorSize(uint8_t color_size) {
    return color_size == KVG_COLOR_INDEX1 || color_size == KVG_COLOR_INDEX8;
}

// Whether the global stream must take on the current stream's palette before an image: only
// the index modes refer to it.
bool needsPalette(const KVGF_State *global, const KVGF_State *cur) {
    return isIndexColorSize(cur->color_size) && KVGF_ComparePalette(cur, global) != 0;
}

int fitColorSize(KVGF_State *st, uint8_t color_size) {
    return st->color_size == color_size ? 0 : KVGF_SetColorSize(st, color_size);
}

// Palette entries are direct colours, written in the palette's own colour size.
int writePalette(KVGF_State *global, const KVGF_State *cur) {
    if (fitColorSize(global, cur->palette.color_size) != 0) return -1;
    return KVGF_SetPalette(global, cur->palette.length, cur->palette.colors);
}

// Checks every pixel against the colour size and palette that the image will be written in.
// Records the encoding layer's message.
int verifyPixels(KVGF_State *st, const KVG_Color *colors, size_t npixels) {
    for (size_t i = 0; i < npixels; ++i) {
        if (KVGT_VerifyColor(st, colors[i]) != 0) return -1;
    }
    return 0;
}

// The checks both image uses make before anything is converted.
int checkImageUse(KVG_File *fl, uint32_t id, double w, double h) {
    if (id >= fl->image_next_id) return KVG_FAIL(fl, ERR_IMGID);
    if (!(w > 0) || !(h > 0)) return KVG_FAIL(fl, ERR_DSTRECT);
    return 0;
}

// The destination's lower-left corner and its size, both converted as points so that the
// rectangle's corners land on the grid: 0, -1 when either is not finite (recorded), or -2 when
// the size comes to nothing.
int toDestination(KVG_File *fl, double x, double y, double w, double h, FilePoint *corner,
                  FilePoint *size) {
    *corner = toFilePoint(fl, x, y);
    *size = difference(toFilePoint(fl, x + w, y + h), *corner);
    if (checkFinite(fl, *corner, *size) != 0) return -1;
    return size->x != 0 && size->y != 0 ? 0 : -2;
}

}  // namespace

int KVG_setImage(KVG_File *fl, uint16_t w, uint16_t h, const KVG_Color *colors, uint32_t *id) {
    KVG_REQUIRE_NOT_NULL(fl);
    KVG_REQUIRE_NOT_NULL(colors);
    KVG_REQUIRE_NOT_NULL(id);
    if (fl->shape.defining) return KVG_FAIL(fl, ERR_INSHAPE);
    if (fl->image_next_id > MAX_IMAGE_ID) return KVG_FAIL(fl, ERR_IMGLIMIT);

    KVGF_State *global = fl->global;
    KVGF_State *cur = fl->cur;
    const bool palette = needsPalette(global, cur);
    // The image record checks every pixel before its first byte. When palette or size records
    // go ahead of it, the pixels are checked first here, in the colour size and palette that
    // the global stream is about to take on, so that a refused image leaves nothing behind.
    if ((palette || global->color_size != cur->color_size) &&
        verifyPixels(cur, colors, size_t{w} * h) != 0) {
        return -1;
    }
    if (palette && writePalette(global, cur) != 0) return -1;
    if (fitColorSize(global, cur->color_size) != 0) return -1;
    if (KVGF_SetImage(global, w, h, colors) != 0) return -1;
    *id = fl->image_next_id++;
    return 0;
}

int KVG_image(KVG_File *fl, uint32_t id, double x, double y, double w, double h) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (checkImageUse(fl, id, w, h) != 0) return -1;

    FilePoint corner, size;
    if (const int rc = toDestination(fl, x, y, w, h, &corner, &size); rc != 0) return rc;
    if (fitFigure(fl->cur, corner, &size) != 0) return -1;
    return KVGF_FullImage(fl->cur, id, corner.x, corner.y, size.x, size.y);
}

int KVG_subImage(KVG_File *fl, uint32_t id, uint16_t sub_x, uint16_t sub_y, uint16_t sub_w,
                 uint16_t sub_h, double x, double y, double w, double h) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (checkImageUse(fl, id, w, h) != 0) return -1;
    if (sub_w == 0 || sub_h == 0) return KVG_FAIL(fl, ERR_SUBRECT);

    FilePoint corner, size;
    if (const int rc = toDestination(fl, x, y, w, h, &corner, &size); rc != 0) return rc;

    // The source rectangle as its two corners, in pixels; 32-bit sums cannot wrap.
    const double src_ll_x = sub_x, src_ll_y = sub_y;
    const double src_ur_x = uint32_t{sub_x} + sub_w, src_ur_y = uint32_t{sub_y} + sub_h;
    const uint8_t point_size = std::max(KVGT_MinPointSize(corner.x, corner.y),
                                        KVGT_MinPointSize(src_ll_x, src_ll_y));
    const uint8_t rel_point_size = std::max(KVGT_MinRelPointSize(size.x, size.y),
                                            KVGT_MinRelPointSize(src_ur_x, src_ur_y));
    if (fitPointSize(fl->cur, point_size) != 0) return -1;
    if (fitRelPointSize(fl->cur, rel_point_size) != 0) return -1;
    return KVGF_Image(fl->cur, id, src_ll_x, src_ll_y, src_ur_x, src_ur_y, corner.x, corner.y,
                      size.x, size.y);
}
