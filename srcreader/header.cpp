#include <algorithm>
#include <cmath>

#include "decode.h"

namespace kvgr {

namespace detail {

namespace {

// A size byte of the header: a member of `sizes`, or a fault at `offset`.
template <size_t N>
uint8_t headerSize(Cursor &cursor, const std::array<uint8_t, N> &sizes, const char *what,
                   uint64_t offset) {
    const uint8_t size = cursor.byte();
    if (std::ranges::find(sizes, size) == sizes.end()) {
        throw Fault{"invalid " + std::string(what) + " " + std::to_string(size), offset};
    }
    return size;
}

}  // namespace

Header readHeader(Cursor &cursor) {
    for (uint8_t expected : kvgfmt::SIGNATURE) {
        if (cursor.byte() != expected) throw Fault{"bad signature", 0};
    }
    Header h;
    h.pointSize = headerSize(cursor, kvgfmt::POINT_SIZES, "point size", 8);
    h.relPointSize = headerSize(cursor, kvgfmt::REL_POINT_SIZES, "relative point size", 9);
    h.resolution = cursor.point(h.pointSize);
    h.windowMin = cursor.point(h.pointSize);
    h.windowMax = cursor.point(h.pointSize);
    h.millimetres = cursor.point(h.pointSize);
    h.background = cursor.color(kvgfmt::COLOR_RGB);
    h.length = cursor.end();
    return h;
}

}  // namespace detail

double Header::worldScale() const {
    const double sx = millimetres.x / (windowMax.x - windowMin.x);
    const double sy = millimetres.y / (windowMax.y - windowMin.y);
    const auto usable = [](double s) { return std::isfinite(s) && s > 0.0; };
    if (usable(sx) && usable(sy)) return std::min(sx, sy);
    if (usable(sx)) return sx;
    return usable(sy) ? sy : 1.0;
}

Point Header::toWorld(Point file) const {
    const double s = worldScale();
    const double cx = windowMin.x + 0.5 * (windowMax.x - windowMin.x);
    const double cy = windowMin.y + 0.5 * (windowMax.y - windowMin.y);
    return {(file.x - cx) * s + 0.5 * millimetres.x, (file.y - cy) * s + 0.5 * millimetres.y};
}

Point Header::toWorldExtent(Point file) const {
    const double s = worldScale();
    return {file.x * s, file.y * s};
}

std::string Error::message() const { return "offset " + std::to_string(offset) + ": " + reason; }

const EdgeDefinition *Definitions::edge(int32_t reference) const {
    const int64_t id = reference < 0 ? -int64_t{reference} : int64_t{reference};
    if (id < 1 || id > static_cast<int64_t>(edges.size())) return nullptr;
    return &edges[static_cast<size_t>(id - 1)];
}

}  // namespace kvgr
