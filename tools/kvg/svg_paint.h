// The pieces of SVG text that the renderer builds from the graphic state: numbers, colours,
// escaped text, dash arrays, and the geometry of arrows and marks.
#ifndef KVGTOOL_SVG_PAINT_H
#define KVGTOOL_SVG_PAINT_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "kvgreader.h"

namespace kvgtool::svg {

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};

// A colour of any colour size as 8-bit RGBA; an index is looked up in `palette` (an index
// beyond it reads as black).
Rgba resolve(const kvgr::Color &color, const kvgr::PaletteState &palette);
// "#rrggbb".
std::string hex(Rgba color);
// ` NAME="#rrggbb"`, and ` NAME-opacity="…"` when not opaque: NAME is "fill" or "stroke".
std::string paint(std::string_view name, Rgba color);

// The shortest text that reads back as `value`; "0" for values that are not finite.
std::string number(double value);
// Text as XML character data: markup characters escaped, invalid UTF-8 and the control
// characters XML forbids replaced by U+FFFD.
std::string escapeXml(std::string_view text);

// A 16-bit dash pattern, most significant bit first (set bits draw), each bit `bit` long.
struct Dashes {
    std::string array;  // stroke-dasharray; empty for a solid line
    double offset = 0;  // stroke-dashoffset
};
// Nothing for the pattern 0, which draws nothing.
std::optional<Dashes> dashes(uint16_t pattern, double bit);

// The content of a marker for a line decoration (KVG_LINE_DECORATION_STYLE, not NO_ARROW) in a
// 10 x 10 box, pointing along +x at the line's end, or along -x at its start; `color` is the
// line's. refX is where the marker meets the end of the line.
struct Marker {
    std::string content;
    double refX;
};
Marker decoration(uint8_t style, bool start, Rgba color);

// The geometry of a mark (KVG_MARK_TYPE) one unit wide, centred on the origin, in currentColor.
std::string markGeometry(uint8_t type);

}  // namespace kvgtool::svg

#endif  // KVGTOOL_SVG_PAINT_H
