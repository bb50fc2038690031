#include "style.h"

#include <array>

#include "kvgformat.h"

namespace kvgrender {

namespace {

// A level of `max` + 1 steps as 8 bits, rounded half up.
uint8_t level(uint32_t value, uint32_t max) {
    return static_cast<uint8_t>((uint64_t{value} * 255 + max / 2) / max);
}

Rgba gray(uint8_t g, uint8_t a = 255) { return {g, g, g, a}; }

// End decorations in their 10 x 10 box, pointing along +x.
struct Head {
    int count;  // corners; 0 for the oval, a circle filling the box
    Vec corners[4];
    bool open;  // an open polyline, stroked
    double refX;
};
constexpr Head HEADS[] = {
    {3, {{0, 0}, {10, 5}, {0, 10}}, false, 10},          // ARROW
    {3, {{0, 0}, {10, 5}, {0, 10}}, true, 10},           // OPEN_ARROW
    {4, {{0, 0}, {10, 5}, {0, 10}, {3, 5}}, false, 10},  // STEALTH_ARROW
    {4, {{0, 5}, {5, 0}, {10, 5}, {5, 10}}, false, 5},   // DIAMOND_ARROW
    {0, {}, false, 5},                                   // OVAL_ARROW
};
constexpr double HEAD_BOX = 10;
constexpr double HEAD_WIDTHS = 4;  // line widths on a side of the box
constexpr double OPEN_HEAD_STROKE = 1.5;

Path polyline(std::initializer_list<Vec> points, bool closed) {
    Path path;
    path.chain(std::vector<Vec>(points));
    if (closed) path.close();
    return path;
}

Path circle(double radius) {
    Path path;
    path.moveTo({radius, 0});
    path.arcTo({{0, 0}, {radius, radius}, 0, 360});
    path.close();
    return path;
}

std::vector<MarkPart> makeMarkParts(uint8_t type) {
    const auto stroked = [](Path p) { return MarkPart{std::move(p), true}; };
    const auto filled = [](Path p) { return MarkPart{std::move(p), false}; };
    const auto square = [](double h) {
        return polyline({{-h, -h}, {h, -h}, {h, h}, {-h, h}}, true);
    };
    const auto diamond = [](double h) { return polyline({{0, h}, {h, 0}, {0, -h}, {-h, 0}}, true); };
    const MarkPart across = stroked(polyline({{-0.5, 0}, {0.5, 0}}, false));
    const MarkPart upright = stroked(polyline({{0, -0.5}, {0, 0.5}}, false));
    switch (type) {
        case 0: return {across, upright};  // PLUS
        case 1:                            // STAR
            return {across, upright, stroked(polyline({{-0.35, -0.35}, {0.35, 0.35}}, false)),
                    stroked(polyline({{-0.35, 0.35}, {0.35, -0.35}}, false))};
        case 2: return {filled(circle(0.5))};  // CIRCLE
        case 3:                                // X
            return {stroked(polyline({{-0.4, -0.4}, {0.4, 0.4}}, false)),
                    stroked(polyline({{-0.4, 0.4}, {0.4, -0.4}}, false))};
        case 4: return {filled(square(0.5))};    // BOX
        case 5: return {filled(diamond(0.5))};   // DIAMOND
        case 6: return {stroked(circle(0.43))};  // HOLLOW_CIRCLE
        case 7: return {stroked(square(0.43))};  // HOLLOW_BOX
        default: return {stroked(diamond(0.45))};  // HOLLOW_DIAMOND
    }
}

// The length of the UTF-8 sequence at the start of `text` when it is a valid character that
// a renderer can show, else 0.
size_t showableSequence(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(0);
    if (lead < 0x80) return lead >= 0x20 && lead != 0x7F ? 1 : 0;
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || text.size() < length) return 0;
    uint32_t code = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(i) & 0x3F);
    }
    constexpr uint32_t LEAST[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    const bool nonCharacter = (code & 0xFFFE) == 0xFFFE || (code >= 0xFDD0 && code <= 0xFDEF);
    const bool control = code >= 0x80 && code < 0xA0;
    return code >= LEAST[length] && code <= 0x10FFFF && !surrogate && !nonCharacter && !control
               ? length
               : 0;
}

}  // namespace

Rgba resolveColor(uint32_t v, uint8_t size, std::span<const uint32_t> palette,
                  uint8_t paletteSize) {
    switch (size) {
        case kvgfmt::COLOR_INDEX1:
        case kvgfmt::COLOR_INDEX8:
            if (v >= palette.size() || paletteSize <= kvgfmt::COLOR_INDEX8) return {};
            return resolveColor(palette[v], paletteSize, {}, paletteSize);
        case kvgfmt::COLOR_GRAY8: return gray(static_cast<uint8_t>(v));
        case kvgfmt::COLOR_GRAY12: return gray(level(v & 0xFFF, 0xFFF));
        case kvgfmt::COLOR_GRAY16: return gray(level(v & 0xFFFF, 0xFFFF));
        case kvgfmt::COLOR_GA: return gray(level(v >> 16, 0xFFFF), level(v & 0xFFFF, 0xFFFF));
        case kvgfmt::COLOR_RGB:
            return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                    static_cast<uint8_t>(v), 255};
        default:  // RGBA
            return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                    static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    }
}

std::optional<Dashes> dashPattern(uint16_t pattern, double bit) {
    if (pattern == 0) return std::nullopt;
    if (pattern == 0xFFFF) return Dashes{};
    const auto on = [&](int i) { return (pattern >> (15 - (i & 15)) & 1) != 0; };
    // Start the list at a dash that follows a gap, since a dash list begins with a dash.
    int first = 0;
    while (!(on(first) && !on(first - 1))) ++first;
    Dashes result;
    for (int i = first, run = 0; i < first + 16; ++i) {
        ++run;
        if (i + 1 == first + 16 || on(i + 1) != on(i)) {
            result.lengths.push_back(run * bit);
            run = 0;
        }
    }
    result.offset = ((16 - first) % 16) * bit;
    return result;
}

Decoration decoration(uint8_t style, Vec tip, Vec outward, double width) {
    const Head &head = HEADS[style - 1];
    const double unit = HEAD_WIDTHS * width / HEAD_BOX;
    const Vec across{-outward.y, outward.x};
    const auto place = [&](Vec box) {
        return tip + outward * ((box.x - head.refX) * unit) + across * ((box.y - 5) * unit);
    };
    Decoration d;
    if (head.count == 0) {
        const double r = HEAD_BOX / 2 * unit;
        const Vec center = place({5, 5});
        d.path.moveTo(center + Vec{r, 0});
        d.path.arcTo({center, {r, r}, 0, 360});
        d.path.close();
        return d;
    }
    std::vector<Vec> corners;
    for (int i = 0; i < head.count; ++i) corners.push_back(place(head.corners[i]));
    d.path.chain(corners);
    if (head.open) {
        d.stroked = true;
        d.strokeWidth = OPEN_HEAD_STROKE * unit;
    } else {
        d.path.close();
    }
    return d;
}

const std::vector<MarkPart> &markParts(uint8_t type) {
    static const std::array<std::vector<MarkPart>, kvgfmt::MAX_MARK_TYPE + 1> parts = [] {
        std::array<std::vector<MarkPart>, kvgfmt::MAX_MARK_TYPE + 1> all;
        for (uint8_t t = 0; t <= kvgfmt::MAX_MARK_TYPE; ++t) all[t] = makeMarkParts(t);
        return all;
    }();
    return parts[type <= kvgfmt::MAX_MARK_TYPE ? type : kvgfmt::MAX_MARK_TYPE];
}

std::string displayText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const size_t length = showableSequence(text);
        if (length > 0) {
            out.append(text.substr(0, length));
        } else if (text[0] == '\t' || text[0] == '\n' || text[0] == '\r') {
            out += ' ';
        } else {
            out += "\xEF\xBF\xBD";
        }
        text.remove_prefix(length > 0 ? length : 1);
    }
    return out;
}

}  // namespace kvgrender
