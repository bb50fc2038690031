// The drawing rules that every painter shares (doc/rendering.md): colours, dash patterns, end
// decorations, mark geometry and the text a renderer may show.
#ifndef KVGRENDER_STYLE_H
#define KVGRENDER_STYLE_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "painter.h"

namespace kvgrender {

// A colour value of a colour size (KVG_COLOR_MODE) as 8-bit RGBA. An index is looked up in
// `palette` (direct colours of `paletteSize`); one beyond `palette` reads as opaque black.
Rgba resolveColor(uint32_t value, uint8_t size, std::span<const uint32_t> palette,
                  uint8_t paletteSize);

// A 16-bit dash pattern, most significant bit first (set bits draw), each bit `bit` long:
// the dash list and offset (an empty list for a solid line), or nothing for the pattern 0,
// which draws nothing.
struct Dashes {
    std::vector<double> lengths;
    double offset = 0;
};
std::optional<Dashes> dashPattern(uint16_t pattern, double bit);

// An end decoration (KVG_LINE_DECORATION_STYLE, not 0) of a line `width` wide whose end is at
// `tip` and leaves in the unit direction `outward`: a path to fill, or to stroke `strokeWidth`
// wide when `stroked`.
struct Decoration {
    Path path;
    bool stroked = false;
    double strokeWidth = 0;
};
Decoration decoration(uint8_t style, Vec tip, Vec outward, double width);

// The parts of a mark (KVG_MARK_TYPE) in a unit box centred on the origin: paths to fill, or
// to stroke MARK_STROKE wide.
inline constexpr double MARK_STROKE = 0.14;
struct MarkPart {
    Path path;
    bool stroked = false;
};
const std::vector<MarkPart> &markParts(uint8_t type);

// `text` as a renderer shows it: invalid UTF-8, non-characters and control characters other
// than tab, line feed and carriage return replaced by U+FFFD, those three by spaces.
std::string displayText(std::string_view text);

}  // namespace kvgrender

#endif  // KVGRENDER_STYLE_H
