#include "svg_paint.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "kvgwriter.h"

namespace kvgtool::svg {

namespace {

// A level of `max` + 1 steps as 8 bits, rounded.
uint8_t level(uint32_t value, uint32_t max) {
    return static_cast<uint8_t>((uint64_t{value} * 255 + max / 2) / max);
}

Rgba gray(uint8_t g, uint8_t a = 255) { return {g, g, g, a}; }

// The length of the UTF-8 sequence at the start of `text` when it is valid and allowed in XML
// character data, else 0.
size_t validSequence(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(0);
    if (lead < 0x80) return lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r' ? 1 : 0;
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || text.size() < length) return 0;
    uint32_t code = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(i) & 0x3F);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    const bool nonCharacter = code == 0xFFFE || code == 0xFFFF;
    return code >= least[length] && code <= 0x10FFFF && !surrogate && !nonCharacter ? length : 0;
}

// Arrow heads in the 10 x 10 marker box, pointing along +x with the tip at x = 10.
struct Head {
    int count;  // corners; 0 for the oval, a circle filling the box
    double corners[4][2];
    bool open;  // drawn as a stroked polyline
    double refX;
};
const Head HEADS[] = {
    {3, {{0, 0}, {10, 5}, {0, 10}}, false, 10},          // KVG_ARROW
    {3, {{0, 0}, {10, 5}, {0, 10}}, true, 10},           // KVG_OPEN_ARROW
    {4, {{0, 0}, {10, 5}, {0, 10}, {3, 5}}, false, 10},  // KVG_STEALTH_ARROW
    {4, {{0, 5}, {5, 0}, {10, 5}, {5, 10}}, false, 5},   // KVG_DIAMOND_ARROW
    {0, {}, false, 5},                                   // KVG_OVAL_ARROW
};

// The corners of a head as an SVG points list, mirrored to point along -x at a line's start.
std::string corners(const Head &head, bool mirror) {
    std::string out;
    for (int i = 0; i < head.count; ++i) {
        if (i > 0) out += ' ';
        const double x = head.corners[i][0];
        out += number(mirror ? 10 - x : x) + "," + number(head.corners[i][1]);
    }
    return out;
}

}  // namespace

Rgba resolve(const kvgr::Color &color, const kvgr::PaletteState &palette) {
    const uint32_t v = color.value;
    switch (color.size) {
        case KVG_COLOR_INDEX1:
        case KVG_COLOR_INDEX8:
            if (v >= static_cast<uint32_t>(palette.length)) return {};
            return resolve(palette.entry(v), palette);  // entries are direct colours
        case KVG_COLOR_GRAY8: return gray(static_cast<uint8_t>(v));
        case KVG_COLOR_GRAY12: return gray(level(v & 0xFFF, 0xFFF));
        case KVG_COLOR_GRAY16: return gray(level(v & 0xFFFF, 0xFFFF));
        case KVG_COLOR_GA: return gray(level(v >> 16, 0xFFFF), level(v & 0xFFFF, 0xFFFF));
        case KVG_COLOR_RGB:
            return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                    static_cast<uint8_t>(v), 255};
        default:  // KVG_COLOR_RGBA
            return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                    static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    }
}

std::string hex(Rgba color) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", color.r, color.g, color.b);
    return text;
}

std::string paint(std::string_view name, Rgba color) {
    std::string out = " " + std::string(name) + "=\"" + hex(color) + "\"";
    if (color.a != 255)
        out += " " + std::string(name) + "-opacity=\"" + number(color.a / 255.0) + "\"";
    return out;
}

std::string number(double value) {
    if (!std::isfinite(value)) return "0";
    if (value == 0) return "0";  // also -0
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string escapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const size_t length = validSequence(text);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            text.remove_prefix(1);
            continue;
        }
        switch (text[0]) {
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '&': out += "&amp;"; break;
            case '"': out += "&quot;"; break;
            default: out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return out;
}

std::optional<Dashes> dashes(uint16_t pattern, double bit) {
    if (pattern == 0) return std::nullopt;
    if (pattern == 0xFFFF) return Dashes{};
    const auto on = [&](int i) { return (pattern >> (15 - (i & 15)) & 1) != 0; };
    // Start the runs at a dash that follows a gap, since a dash array begins with a dash.
    int first = 0;
    while (!(on(first) && !on(first - 1))) ++first;
    Dashes result;
    for (int i = first, run = 0; i < first + 16; ++i) {
        ++run;
        if (i + 1 == first + 16 || on(i + 1) != on(i)) {
            if (!result.array.empty()) result.array += ',';
            result.array += number(run * bit);
            run = 0;
        }
    }
    result.offset = ((16 - first) % 16) * bit;
    return result;
}

Marker decoration(uint8_t style, bool start, Rgba color) {
    const Head &head = HEADS[style - KVG_ARROW];
    const double refX = start ? 10 - head.refX : head.refX;
    if (head.count == 0)
        return {"<circle cx=\"5\" cy=\"5\" r=\"5\"" + paint("fill", color) + "/>", refX};
    const std::string points = corners(head, start);
    if (head.open)
        return {"<polyline points=\"" + points + "\" fill=\"none\" stroke-width=\"1.5\"" +
                    paint("stroke", color) + "/>",
                refX};
    return {"<polygon points=\"" + points + "\"" + paint("fill", color) + "/>", refX};
}

std::string markGeometry(uint8_t type) {
    static const char *const strokes =
        "fill=\"none\" stroke=\"currentColor\" stroke-width=\"0.14\"";
    static const char *const fills = "fill=\"currentColor\"";
    const auto shaped = [](const char *element, const char *style) {
        return std::string("<") + element + " " + style + "/>";
    };
    switch (type) {
        case KVG_MARK_PLUS: return shaped("path d=\"M-.5 0H.5M0-.5V.5\"", strokes);
        case KVG_MARK_STAR:
            return shaped("path d=\"M-.5 0H.5M0-.5V.5M-.35-.35L.35 .35M-.35 .35L.35-.35\"",
                          strokes);
        case KVG_MARK_CIRCLE: return shaped("circle r=\".5\"", fills);
        case KVG_MARK_X: return shaped("path d=\"M-.4-.4L.4 .4M-.4 .4L.4-.4\"", strokes);
        case KVG_MARK_BOX:
            return shaped("rect x=\"-.5\" y=\"-.5\" width=\"1\" height=\"1\"", fills);
        case KVG_MARK_DIAMOND: return shaped("path d=\"M0-.5L.5 0L0 .5L-.5 0Z\"", fills);
        case KVG_MARK_HOLLOW_CIRCLE: return shaped("circle r=\".43\"", strokes);
        case KVG_MARK_HOLLOW_BOX:
            return shaped("rect x=\"-.43\" y=\"-.43\" width=\".86\" height=\".86\"", strokes);
        default:  // KVG_MARK_HOLLOW_DIAMOND
            return shaped("path d=\"M0-.45L.45 0L0 .45L-.45 0Z\"", strokes);
    }
}

}  // namespace kvgtool::svg
