// What every family of the drawing interface shares: its message table, the mapping of world
// coordinates onto the file grid, and the sizing of a stream before a figure's record.
#include "kvgwriter_internal.h"

#include <algorithm>

#include "array.h"
#include "kvgtype_internal.h"

namespace {

constexpr const char *kSourceFile = "kvgwriter";

constexpr KvgMessage errstr[kvgw::ERR_COUNT] = {
    {"I/O error", KVG_ERR_SYSTEM},
    {"Not enough memory", KVG_ERR_SYSTEM},
    {"Too many defined images", KVG_ERR_LIMITS},
    {"Too many defined edges", KVG_ERR_LIMITS},
    {"Too many defined faces", KVG_ERR_LIMITS},
    {"Too many defined shapes", KVG_ERR_CONTEXT},
    {"Definitions cannot be nested", KVG_ERR_CONTEXT},
    {"Edges cannot be nested", KVG_ERR_CONTEXT},
    {"Faces cannot be nested", KVG_ERR_CONTEXT},
    {"Shapes cannot be nested", KVG_ERR_LIMITS},
    {"Function is invalid inside shape definition", KVG_ERR_CONTEXT},
    {"Function is invalid outside shape definition", KVG_ERR_LIMITS},
    {"Function is invalid outside primitive definition", KVG_ERR_CONTEXT},
    {"Function is invalid outside edge definition", KVG_ERR_CONTEXT},
    {"Function is invalid outside face definition", KVG_ERR_CONTEXT},
    {"Incorrect primitive definition type for function", KVG_ERR_CONTEXT},
    {"Invalid image identifier", KVG_ERR_PARAM},
    {"Invalid source rectangle dimensions", KVG_ERR_PARAM},
    {"Invalid sub-image rectangle dimensions", KVG_ERR_PARAM},
    {"Invalid destination rectangle dimensions", KVG_ERR_PARAM},
    {"Invalid edge identifier", KVG_ERR_PARAM},
    {"Invalid face identifier", KVG_ERR_PARAM},
    {"Invalid shape identifier", KVG_ERR_LIMITS},
    {"Insufficient number of points for primitive", KVG_ERR_PARAM},
    {"Font size too big", KVG_ERR_PARAM},
    {"Number of cubic control points is not a multiple of three", KVG_ERR_INTERNAL},
    {"Position or extent is not a finite number", KVG_ERR_PARAM},
    {"Angle is not a finite number", KVG_ERR_PARAM},
};

}  // namespace

int writerFail(KVG_File *fl, kvgw::WriterError error, int line) {
    return kvgRecord(fl->error, errstr[error], kSourceFile, line);
}

int writerFailWithCode(KVG_File *fl, kvgw::WriterError error, int code, int line) {
    return kvgRecord(fl->error, KvgMessage{errstr[error].text, code}, kSourceFile, line);
}

void kvg2world(KVG_File *fl, double *x, double *y) {
    KVG_REQUIRE_NOT_NULL(fl);
    const KvgWindow &w = fl->world;
    const KvgWindow &k = fl->kvg;
    if (x != nullptr) *x = mapAxis(*x + fl->grid.origin.x, k.xmin, k.xmax, w.xmin, w.xmax);
    if (y != nullptr) *y = mapAxis(*y + fl->grid.origin.y, k.ymin, k.ymax, w.ymin, w.ymax);
}

FilePoint toFileExtent(KVG_File *fl, double w, double h) {
    const KvgWindow &world = fl->world;
    const KvgWindow &k = fl->kvg;
    return quantize(fl, {w * (k.xmax - k.xmin) / (world.xmax - world.xmin),
                         h * (k.ymax - k.ymin) / (world.ymax - world.ymin)});
}

int appendStepGrowing(PointArray *pts, Pair step) {
    kvgarray::reserve(pts, 2);
    return appendStep(pts, step);
}

int appendPositions(KVG_File *fl, PointArray *pts, FilePoint &last, size_t n, const double *xy,
                    uint32_t most) {
    // A chunk at a time, so that counts stay within 32 bits.
    constexpr size_t CHUNK = size_t{1} << 20;
    const uint32_t before = pts->ncoords;
    FilePoint moved = last;
    for (size_t done = 0; done < n;) {
        const auto count = static_cast<uint32_t>(std::min(n - done, CHUNK));
        kvgarray::reserve(pts, 2 * count);
        const int64_t kept = gridDifferences(fl->grid, xy + 2 * done, count, moved,
                                             pts->coords + pts->ncoords);
        if (kept < 0) {
            pts->ncoords = before;
            return KVG_FAIL(fl, ERR_NOTFINITE);
        }
        pts->ncoords += 2 * static_cast<uint32_t>(kept);
        if (paSize(pts) > most) {
            pts->ncoords = before;
            return checkSizeLimit(fl->global, KVGT_SIZE_MAX + 1u);
        }
        done += count;
    }
    last = moved;
    return 0;
}

int fitPointSize(KVGF_State *st, uint8_t size) {
    return size == st->point_size ? 0 : KVGF_SetPointSize(st, size);
}

int fitRelPointSize(KVGF_State *st, uint8_t size) {
    return size == st->rel_point_size ? 0 : KVGF_SetRelPointSize(st, size);
}

int fitFigure(KVGF_State *st, FilePoint point, const FilePoint *difference) {
    if (fitPointSize(st, KVGT_MinPointSize(point.x, point.y)) != 0) return -1;
    if (difference == nullptr) return 0;
    return fitRelPointSize(st, KVGT_MinRelPointSize(difference->x, difference->y));
}
