// kvgreader.hpp: a small header-only C++20 interface over the C interface of kvgreader.h.
//
// kvgr::Reader owns one reader (movable, not copyable). Its methods are named after the C calls;
// a call that fails throws kvgr::Error with the reader's code, offset and message (a definition
// not defined yet: KVGR_ERR_USAGE). Records,
// state and definitions are the C structures themselves, with spans and string views for the
// arrays and texts they point to; what a record or definition points to stays valid as the C
// interface says (a record until the next one, definitions as long as the reader).
//
//     kvgr::Reader reader;
//     reader.openFile("map.kvg");
//     const kvgr::PageMapping page = reader.pageMapping();
//     while (const kvgr::Record *r = reader.next()) {
//         if (r->code == KVGR_POLYLINE)
//             for (kvgr::Point p : kvgr::points(r->as.figure)) use(kvgr::toPage(page, p));
//     }
#ifndef KVGREADER_HPP
#define KVGREADER_HPP

// One clear message instead of a page of errors about std::span: the C++ interface needs
// C++20 (the CMake target kvgwriter::kvgreader asks for it); kvgreader.h serves C and older C++.
#if !defined(__cplusplus) || __cplusplus < 202002L
#error "kvgreader.hpp needs C++20 (-std=c++20); include kvgreader.h for C or older C++"
#else

#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "kvgreader.h"

// Points and colours compare by value.
inline bool operator==(const KVGR_Point &a, const KVGR_Point &b) noexcept {
    return a.x == b.x && a.y == b.y;
}
inline bool operator==(const KVGR_Color &a, const KVGR_Color &b) noexcept {
    return a.value == b.value && a.size == b.size;
}

namespace kvgr {

using Point = KVGR_Point;
using Color = KVGR_Color;
using Palette = KVGR_Palette;
using Header = KVGR_Header;
using PageMapping = KVGR_PageMapping;
using Record = KVGR_Record;
using State = KVGR_State;
using Counts = KVGR_Counts;
using Image = KVGR_Image;
using Shape = KVGR_Shape;

// A failure of the reader: its KVGR_ERROR_CODE, the byte offset of the fault (0 when there is
// none) and the message ("offset N: reason", or the reason alone).
class Error : public std::runtime_error {
public:
    Error(int code, uint64_t offset, const std::string &message)
        : std::runtime_error(message), code_(code), offset_(offset) {}
    int code() const noexcept { return code_; }
    uint64_t offset() const noexcept { return offset_; }

private:
    int code_;
    uint64_t offset_;
};

// ---- Views of what records and definitions point to

inline std::string_view text(const KVGR_Text &t) noexcept { return {t.data, t.length}; }
inline std::span<const Point> points(const KVGR_Figure &f) noexcept { return {f.points, f.count}; }
inline std::span<const Point> points(const KVGR_Cubic &c) noexcept { return {c.points, c.count}; }
inline std::span<const Point> points(const KVGR_EdgeDefinition &e) noexcept {
    return {e.points, e.count};
}
inline std::span<const Point> points(const KVGR_Edge &e) noexcept { return {e.points, e.count}; }
inline std::span<const int32_t> edges(const KVGR_Face &f) noexcept {
    return {f.edges, f.edge_count};
}
inline std::span<const uint32_t> holes(const KVGR_Face &f) noexcept {
    return {f.holes, f.hole_count};
}
inline std::span<const Color> colors(const KVGR_PaletteRecord &p) noexcept {
    return {p.colors, p.count};
}
// The name of a record code ("polyline"), empty for a code not in use.
inline std::string_view recordName(uint8_t code) noexcept {
    const char *name = KVGR_recordName(code);
    return name != nullptr ? std::string_view(name) : std::string_view();
}

// ---- The page mapping (kvgreader.h) and colours

inline Point toPage(const PageMapping &m, Point file) noexcept { return KVGR_toPage(&m, file); }
inline Point toPageExtent(const PageMapping &m, Point extent) noexcept {
    return KVGR_toPageExtent(&m, extent);
}
inline uint32_t toRGBA(Color color, const Palette *palette = nullptr) noexcept {
    return KVGR_colorToRGBA(color, palette);
}

class Reader {
public:
    Reader() : r_(KVGR_new()) {
        if (r_ == nullptr) throw std::bad_alloc();
    }
    Reader(Reader &&other) noexcept : r_(std::exchange(other.r_, nullptr)) {}
    Reader &operator=(Reader &&other) noexcept {
        if (this != &other) {
            KVGR_delete(r_);
            r_ = std::exchange(other.r_, nullptr);
        }
        return *this;
    }
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;
    ~Reader() { KVGR_delete(r_); }

    // ---- Limits (before opening) and inputs
    Reader &setLimit(KVGR_LIMIT limit, uint64_t value) {
        check(KVGR_setLimit(r_, limit, value));
        return *this;
    }
    uint64_t limit(KVGR_LIMIT limit) const noexcept { return KVGR_getLimit(r_, limit); }
    void openFile(const std::string &path) { check(KVGR_openFile(r_, path.c_str())); }
    void openFd(int fd) { check(KVGR_openFd(r_, fd)); }
    // The bytes must stay unchanged as long as the reader lives.
    void openMemory(std::span<const uint8_t> bytes) {
        check(KVGR_openMemory(r_, bytes.data(), bytes.size()));
    }
    void openStream(KVGR_ReadFunction read, void *user) {
        check(KVGR_openStream(r_, read, user));
    }

    // ---- Header and page mapping (once open)
    const Header &header() const { return *KVGR_getHeader(r_); }
    PageMapping pageMapping() const { return KVGR_pageMapping(&header()); }

    // ---- Records
    // The next record, or null at the end of a valid file; throws at the first fault.
    const Record *next() {
        const Record *record = nullptr;
        const int status = KVGR_next(r_, &record);
        if (status < 0) throw error();
        return status == 1 ? record : nullptr;
    }
    const State &state() const { return *KVGR_getState(r_); }
    uint64_t contentBytes() const noexcept { return KVGR_getContentBytes(r_); }
    uint64_t inputBytes() const noexcept { return KVGR_getInputBytes(r_); }
    bool compressed() const noexcept { return KVGR_isCompressed(r_) != 0; }
    std::optional<uint64_t> layerSectionOffset() const noexcept {
        const int64_t offset = KVGR_getLayerSectionOffset(r_);
        if (offset < 0) return std::nullopt;
        return static_cast<uint64_t>(offset);
    }

    // ---- Definitions met so far
    Counts counts() const noexcept { return KVGR_getDefinitionCounts(r_); }
    KVGR_Edge edge(int32_t edge) const { return get(KVGR_getEdge, edge); }
    KVGR_Face face(uint32_t face) const { return get(KVGR_getFace, face); }
    Image image(uint32_t image) const { return get(KVGR_getImage, image); }
    Shape shape(uint32_t shape) const { return get(KVGR_getShape, shape); }
    // Row `row` of an image: `values.size()` must be its width (values as stored) ...
    void imagePixels(uint32_t image, uint32_t row, std::span<uint32_t> values) const {
        checkRow(image, values.size(), 1);
        found(KVGR_getImagePixels(r_, image, row, values.data()));
    }
    // ... or 4 x its width (R, G, B, A bytes).
    void imageRGBA(uint32_t image, uint32_t row, std::span<uint8_t> rgba) const {
        checkRow(image, rgba.size(), 4);
        found(KVGR_getImageRGBA(r_, image, row, rgba.data()));
    }

    // The last failure, as thrown.
    Error error() const {
        return Error(KVGR_getErrorCode(r_), KVGR_getErrorOffset(r_), KVGR_getErrorMessage(r_));
    }
    // The C handle, for calls this interface does not wrap.
    KVGR_Reader *native() const noexcept { return r_; }

private:
    void check(int result) const {
        if (result != 0) throw error();
    }
    static void found(int result) {
        if (result != 0) throw Error(KVGR_ERR_USAGE, 0, "no such definition");
    }
    template <class T, class Id>
    T get(int (*call)(const KVGR_Reader *, Id, T *), Id id) const {
        T out{};
        found(call(r_, id, &out));
        return out;
    }
    void checkRow(uint32_t id, size_t size, size_t perPixel) const {
        if (size != perPixel * image(id).width)
            throw Error(KVGR_ERR_USAGE, 0, "buffer does not hold one row of the image");
    }

    KVGR_Reader *r_;
};

}  // namespace kvgr

#endif  // C++20
#endif  // KVGREADER_HPP
