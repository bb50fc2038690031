#include <algorithm>
#include <cmath>

#include "decode.h"

namespace kvgr::impl {

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

// What no writer of the format produces: a grid of other than a whole number of cells (at
// least one, at most 2^31, the writer's largest resolution in single precision) and a page of
// negative size. Infinities and NaN never pass the cursor.
void checkHeader(const Header &h) {
    const auto cells = [](double n) { return n >= 1 && n <= 0x1p31 && n == std::floor(n); };
    if (!cells(h.resolution.x) || !cells(h.resolution.y)) throw Fault{"invalid grid size", 10};
    if (h.millimetres.x < 0 || h.millimetres.y < 0) {
        throw Fault{"negative page size", 10 + 3 * uint64_t{h.pointSize} / 8};
    }
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
    checkHeader(h);
    return h;
}

KVGR_Header Header::c() const {
    return {pointSize,        relPointSize,     toC(resolution), toC(windowMin),
            toC(windowMax),   toC(millimetres), background,      length};
}

double Header::worldScale() const {
    const KVGR_Header h = c();
    return KVGR_pageMapping(&h).scale;
}

Point Header::toWorld(Point file) const {
    const KVGR_Header h = c();
    const KVGR_PageMapping m = KVGR_pageMapping(&h);
    const KVGR_Point page = KVGR_toPage(&m, {file.x, file.y});
    return {page.x, page.y};
}

Point Header::toWorldExtent(Point file) const {
    const KVGR_Header h = c();
    const KVGR_PageMapping m = KVGR_pageMapping(&h);
    const KVGR_Point page = KVGR_toPageExtent(&m, {file.x, file.y});
    return {page.x, page.y};
}

std::string Error::message() const {
    if (code == KVGR_ERR_SYSTEM || code == KVGR_ERR_MEMORY || code == KVGR_ERR_USAGE) return reason;
    return "offset " + std::to_string(offset) + ": " + reason;
}

const EdgeDefinition *Definitions::edge(int32_t reference) const {
    const int64_t id = reference < 0 ? -int64_t{reference} : int64_t{reference};
    if (id < 1 || id > static_cast<int64_t>(edges.size())) return nullptr;
    return &edges[static_cast<size_t>(id - 1)];
}

}  // namespace kvgr::impl
