#include <array>

#include "decode.h"

namespace kvgr::impl {

namespace {

using namespace kvgfmt;

struct Named {
    uint8_t first;
    uint8_t last;
    const char *name;
};

constexpr Named NAMES[] = {
    {EXTENSION, EXTENSION, "extension"},
    {LAYER, LAYER, "layer"},
    {OBJECT, OBJECT, "object"},
    {POLYLINE, POLYLINE, "polyline"},
    {DRAW_POLYGON, DRAW_POLYGON, "draw-polygon"},
    {DRAW_CUBIC_BEZIER, DRAW_CUBIC_BEZIER, "draw-cubic-bezier"},
    {DRAW_ARC, DRAW_ARC, "draw-arc"},
    {FILL_POLYGON, FILL_POLYGON, "fill-polygon"},
    {FILL_CUBIC_BEZIER, FILL_CUBIC_BEZIER, "fill-cubic-bezier"},
    {FILL_ARC, FILL_ARC, "fill-arc"},
    {TEXT, TEXT, "text"},
    {SHAPE, SHAPE, "shape"},
    {IMAGE, IMAGE, "image"},
    {MARK, MARK, "mark"},
    {LINE, LINE, "line"},
    {DRAW_BOX, DRAW_BOX, "draw-box"},
    {DRAW_CIRCLE, DRAW_CIRCLE, "draw-circle"},
    {DRAW_ELLIPSE, DRAW_ELLIPSE, "draw-ellipse"},
    {FILL_BOX, FILL_BOX, "fill-box"},
    {FILL_CIRCLE, FILL_CIRCLE, "fill-circle"},
    {FILL_ELLIPSE, FILL_ELLIPSE, "fill-ellipse"},
    {STAMP_SHAPE, STAMP_SHAPE, "stamp-shape"},
    {REPEAT_SHAPE, REPEAT_SHAPE, "repeat-shape"},
    {FULL_IMAGE, FULL_IMAGE, "full-image"},
    {SET_EDGE, SET_EDGE, "set-edge"},
    {SET_FACE, SET_FACE, "set-face"},
    {DRAW_EDGE, DRAW_EDGE, "draw-edge"},
    {DRAW_EDGE_RANGE, DRAW_EDGE_RANGE, "draw-edge-range"},
    {FILL_FACE, FILL_FACE, "fill-face"},
    {POINT_SIZE_FIRST, POINT_SIZE_LAST, "point-size"},
    {REL_POINT_SIZE_FIRST, REL_POINT_SIZE_LAST, "rel-point-size"},
    {COLOR_SIZE, COLOR_SIZE, "color-size"},
    {BLEND_MODE, BLEND_MODE, "blend-mode"},
    {LINE_COLOR, LINE_COLOR, "line-color"},
    {LINE_DASHES, LINE_DASHES, "line-dashes"},
    {LINE_STYLE, LINE_STYLE, "line-style"},
    {MARK_COLOR, MARK_COLOR, "mark-color"},
    {MARK_STYLE, MARK_STYLE, "mark-style"},
    {FILL_COLOR, FILL_COLOR, "fill-color"},
    {GRADIENT_FILL, GRADIENT_FILL, "gradient-fill"},
    {TEXTURE_FILL, TEXTURE_FILL, "texture-fill"},
    {STRETCHED_TEXTURE_FILL, STRETCHED_TEXTURE_FILL, "stretched-texture-fill"},
    {IMAGE_STRETCH_MODE, IMAGE_STRETCH_MODE, "image-stretch-mode"},
    {TEXT_COLOR, TEXT_COLOR, "text-color"},
    {FONT, FONT, "font"},
    {TEXT_ALIGNMENT, TEXT_ALIGNMENT, "text-alignment"},
    {PALETTE, PALETTE, "palette"},
    {SET_IMAGE, SET_IMAGE, "set-image"},
    {BEGIN_SET_SHAPE, BEGIN_SET_SHAPE, "begin-set-shape"},
    {END_SET_SHAPE, END_SET_SHAPE, "end-set-shape"},
};

constexpr std::array<const char *, 256> nameTable() {
    std::array<const char *, 256> table{};
    for (const Named &n : NAMES) {
        for (int code = n.first; code <= n.last; ++code) table[code] = n.name;
    }
    return table;
}

constexpr std::array<const char *, 256> NAME_OF = nameTable();

}  // namespace

const char *recordName(uint8_t code) { return NAME_OF[code]; }

std::vector<Point> chainPoints(Point start, std::span<const Point> steps) {
    std::vector<Point> points;
    points.reserve(steps.size() + 1);
    points.push_back(start);
    for (const Point &step : steps) {
        start = {start.x + step.x, start.y + step.y};
        points.push_back(start);
    }
    return points;
}

uint64_t pointCount(const Record &record) {
    return std::visit(Overloaded{
                          [](const Figure &f) -> uint64_t { return 1 + f.steps.size(); },
                          [](const Cubic &k) -> uint64_t { return 1 + k.steps.size(); },
                          [](const EdgeDefinition &e) -> uint64_t { return 1 + e.steps.size(); },
                          [](const Arc &) -> uint64_t { return 2; },
                          [](const ShapeInstance &) -> uint64_t { return 2; },
                          [](const ImagePart &) -> uint64_t { return 4; },
                          [](const Line &) -> uint64_t { return 2; },
                          [](const Box &) -> uint64_t { return 2; },
                          [](const Ellipse &) -> uint64_t { return 2; },
                          [](const FullImage &) -> uint64_t { return 2; },
                          [](const GradientFill &) -> uint64_t { return 2; },
                          [](const StretchedTextureFill &) -> uint64_t { return 2; },
                          [](const Text &) -> uint64_t { return 1; },
                          [](const Mark &) -> uint64_t { return 1; },
                          [](const Circle &) -> uint64_t { return 1; },
                          [](const Stamp &) -> uint64_t { return 1; },
                          [](const TextureFill &) -> uint64_t { return 1; },
                          [](const ShapeBegin &) -> uint64_t { return 1; },
                          [](const auto &) -> uint64_t { return 0; },
                      },
                      record.payload);
}

}  // namespace kvgr::impl

const char *KVGR_recordName(uint8_t code) { return kvgr::impl::recordName(code); }
