// kvgrender: the render core. It walks the records of a KVG file through the reader, keeps the
// graphic state, resolves edges, faces, shapes and images, applies the one page mapping and
// draws through a Painter (painter.h): the SVG painter (svg_painter.h), the cairo painter for
// PNG and PDF (cairo_painter.h) or the NullPainter. The rules by which records become a picture
// are written down in doc/rendering.md; every renderer of the project follows them.
//
// Work and output stay in proportion to the file: the core builds each path it may use again
// (an edge, a range of edges, a face) once for a painter that keeps it (holdsPath), counts the
// points it builds and the points it has painted (every use of an edge, face or shape counted in
// full) against the caller's Limits, and stops with an error at the first record that would pass
// them. Object groups deeper than Limits::groupDepth are drawn without a group of their own.
#ifndef KVGRENDER_H
#define KVGRENDER_H

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "decoder.h"
#include "painter.h"

namespace kvgrender {

struct Limits {
    uint64_t builtPoints = 0;    // points of the paths the core builds
    uint64_t paintedPoints = 0;  // points drawn, each use of a definition counted in full
    uint32_t groupDepth = 64;    // nesting of object groups
    kvgr::impl::Limits reader{};  // the decoder's (its content limit aside: the bytes are here)

    // Limits in proportion to a file of `bytes` (decompressed): 2^20 points and 16 per byte.
    // With `referencing`, for a painter that keeps paths and shapes and refers to them again
    // (SVG), painting is not limited: what it writes is what the core builds.
    static Limits forFile(uint64_t bytes, bool referencing, const kvgr::impl::Limits &reader = {});
};

struct Error {
    uint64_t offset = 0;  // byte offset of the record, in the decompressed file
    std::string reason;
    std::string message() const;  // "offset N: reason"
};

// The page that render() begins for the decompressed bytes of a KVG file (its size, scale and
// background), or the error with which render() would refuse the file's header.
std::variant<Page, Error> page(std::span<const uint8_t> bytes);

// Renders the decompressed bytes of a KVG file. Returns the reader's first fault, or the first
// record that passes `limits`; the painter has then seen only part of the drawing.
std::optional<Error> render(std::span<const uint8_t> bytes, Painter &painter,
                            const Limits &limits);

}  // namespace kvgrender

#endif  // KVGRENDER_H
