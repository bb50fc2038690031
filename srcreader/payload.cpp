#include <algorithm>
#include <cmath>
#include <numbers>
#include <type_traits>

#include "decode.h"

namespace kvgr::impl {

namespace {

using namespace kvgfmt;

[[noreturn]] void invalid(const std::string &reason) { throw Fault{reason, std::nullopt}; }

// An angle is stored as its cosine and sine, scaled and rounded down in the integer point sizes
// (so less than sqrt(2) off a circle of the scale's radius), in single or double precision in
// the others: a point far from that circle is no angle.
Point onUnitCircle(Point v, uint8_t pointSize) {
    const double scale = pointSize == 16 ? 127 : pointSize == 24 ? 2047 : pointSize == 32 ? 32767 : 1;
    const double tolerance = pointSize == 64 ? 1e-6 : pointSize == 128 ? 1e-12 : 1.5;
    if (!(std::fabs(std::hypot(v.x, v.y) - scale) < tolerance)) invalid("angle not on the unit circle");
    return v;
}

// How many items a record decodes between two looks at the budget.
constexpr uint64_t BUDGET_STRIDE = 4096;

// What a record knows while it decodes its arguments.
struct Context {
    Cursor &cursor;
    const StreamState &state;
    const Budget &budget;

    Point point() { return cursor.point(state.sizes.point); }
    Point relPoint() { return cursor.relPoint(state.sizes.relPoint); }
    uint32_t identifier() { return cursor.size(); }

    // Appends `count` items that `item` decodes. A count is believed only as far as the data
    // backs it: the vector grows as items arrive, and the budget hears of it as it grows.
    // Points are held twice while the record is current (the public interface adds them up).
    template <class T, class Item>
    void items(uint64_t count, std::vector<T> &out, Item item) {
        constexpr bool points = std::is_same_v<T, Point>;
        if (out.empty()) out.reserve(std::min(count, BUDGET_STRIDE));
        for (uint64_t i = 0; i < count; ++i) {
            if (i % BUDGET_STRIDE == BUDGET_STRIDE - 1) {
                budget.checkRecord(out.capacity() * sizeof(T) * (points ? 2 : 1), points ? i : 0);
            }
            out.push_back(item());
        }
    }

    // A relative point array: its count, at least 1, then the points, appended to `steps`.
    uint32_t stepArray(uint8_t relPointSize, std::vector<Point> &steps) {
        const uint32_t count = cursor.size();
        if (count == 0) invalid("empty point array");
        items(count, steps, [&] { return cursor.relPoint(relPointSize); });
        return count;
    }

    uint8_t enumerated(uint8_t max, const char *what) {
        const uint8_t value = cursor.byte();
        if (value > max) invalid("invalid " + std::string(what) + " " + std::to_string(value));
        return value;
    }

    // A colour of the current colour size; an index must name an entry of a palette of
    // `paletteLength` colours.
    Color color(int paletteLength) {
        const uint8_t size = state.sizes.color;
        const uint32_t value = cursor.color(size);
        if (isIndexColorSize(size) && value >= static_cast<uint32_t>(paletteLength)) {
            invalid("colour index " + std::to_string(value) + " beyond a palette of " +
                    std::to_string(paletteLength) + " colours");
        }
        return {value, size};
    }
    Color color() { return color(state.graphic.palette.length); }

    Angle angle() {
        const Point v = onUnitCircle(point(), state.sizes.point);
        double degrees = std::atan2(v.y, v.x) * (180.0 / std::numbers::pi);
        if (degrees < 0.0) degrees += 360.0;
        if (degrees >= 360.0) degrees = 0.0;  // rounding of a tiny negative angle
        return {v, degrees};
    }
};

Point positive(Point extent, const char *what) {
    if (!(extent.x > 0.0 && extent.y > 0.0)) invalid(std::string(what) + " not greater than 0");
    return extent;
}

// A box may run either way from its corner, but never with no width or no height.
Point nonZero(Point extent, const char *what) {
    if (extent.x == 0.0 || extent.y == 0.0) invalid(std::string(what) + " of 0");
    return extent;
}

Payload circle(Context &c) {
    Circle circle{c.point(), c.cursor.size()};
    if (circle.radius == 0) invalid("radius of 0");
    return circle;
}

Payload figure(Context &c) {
    Figure f;
    f.start = c.point();
    c.stepArray(c.state.sizes.relPoint, f.steps);
    return f;
}

Payload cubic(Context &c, bool filled) {
    Cubic k;
    k.segments = c.cursor.size();
    if (k.segments == 0) invalid("no curve segment");
    k.start = c.point();
    c.items(3 * uint64_t{k.segments} - (filled ? 1 : 0), k.steps, [&] { return c.relPoint(); });
    return k;
}

Payload arc(Context &c) {
    Arc a;
    a.center = c.point();
    a.halfSize = positive(c.relPoint(), "arc size");
    a.start = c.angle();
    a.end = c.angle();
    return a;
}

Payload shapeInstance(Context &c) {
    ShapeInstance s;
    s.shape = c.identifier();
    s.center = c.point();
    s.rotation = c.angle();
    s.halfSize = positive(c.point(), "shape size");
    return s;
}

Payload imagePart(Context &c) {
    ImagePart i;
    i.image = c.identifier();
    i.sourceMin = c.point();
    i.sourceMax = c.relPoint();
    if (!(i.sourceMax.x > i.sourceMin.x && i.sourceMax.y > i.sourceMin.y)) {
        invalid("empty source rectangle");
    }
    i.corner = c.point();
    i.size = positive(c.relPoint(), "destination size");
    return i;
}

Payload repeatShape(Context &c) {
    if (c.state.graphic.lastShape == NO_SHAPE) invalid("no previous shape to repeat");
    return Stamp{c.state.graphic.lastShape, c.point()};
}

Payload edgeDefinition(Context &c) {
    EdgeDefinition e;
    e.start = c.point();
    const uint32_t count = c.cursor.size();
    if (count == 0) invalid("no edge segment");
    c.items(count, e.segments, [&] {
        const uint8_t size = c.cursor.byte();
        if (std::ranges::find(REL_POINT_SIZES, size) == REL_POINT_SIZES.end()) {
            invalid("invalid segment size " + std::to_string(size));
        }
        return EdgeSegment{size, c.stepArray(size, e.steps)};
    });
    return e;
}

Payload faceDefinition(Context &c) {
    FaceDefinition f;
    c.items(c.cursor.size(), f.edges, [&] { return c.cursor.sidentifier(); });
    c.items(c.cursor.size(), f.holes, [&] { return c.identifier(); });
    return f;
}

Payload colorSize(Context &c) {
    const uint8_t size = c.cursor.byte();
    if (size >= COLOR_SIZE_COUNT) invalid("invalid colour size " + std::to_string(size));
    return SizeChange{size};
}

Payload lineStyle(Context &c) {
    LineStyle s;
    s.joint = c.enumerated(MAX_JOINT_STYLE, "joint style");
    s.begin = c.enumerated(MAX_LINE_DECORATION, "line begin decoration");
    s.end = c.enumerated(MAX_LINE_DECORATION, "line end decoration");
    s.weight = c.cursor.byte();
    return s;
}

Payload gradientFill(Context &c) {
    GradientFill g;
    g.p0 = c.point();
    g.c0 = c.color();
    g.p1 = c.point();
    g.c1 = c.color();
    return g;
}

Payload stretchedTextureFill(Context &c) {
    StretchedTextureFill s;
    s.corner = c.point();
    s.size = positive(c.relPoint(), "texture size");
    s.image = c.identifier();
    return s;
}

Payload font(Context &c) {
    Font f;
    f.typeface = c.enumerated(MAX_FONT_TYPEFACE, "font typeface");
    f.style = c.enumerated(MAX_FONT_STYLE, "font style");
    f.size = c.cursor.size();
    return f;
}

// In an index colour size the entries are indexes into the palette in force, which make the
// new one: each must name an entry of both.
Payload palette(Context &c) {
    const int count = c.cursor.byte() + 1;
    Palette p;
    p.entries.resize(count);
    for (Color &entry : p.entries) {
        entry = c.color(std::min(count, c.state.graphic.palette.length));
    }
    return p;
}

Payload imageDefinition(Context &c) {
    ImageDefinition image;
    image.width = c.cursor.uint16();
    image.height = c.cursor.uint16();
    image.colorSize = c.state.sizes.color;
    const uint64_t count = uint64_t{image.width} * image.height;
    c.budget.checkImage(count);
    // The pixels are kept as stored; the bit-packed sizes end with zero padding bits.
    const uint64_t bits = count * image.bitsPerPixel();
    c.cursor.copy((bits + 7) / 8, image.packed,
                  [&](size_t size) { c.budget.checkRecord(size, 0); });
    if (bits % 8 != 0 && (image.packed.back() & (0xFFu >> bits % 8)) != 0) {
        throw Fault{"non-zero padding bits in byte " + std::to_string(c.cursor.end() - 1),
                    std::nullopt};
    }
    if (isIndexColorSize(image.colorSize)) {
        const PaletteState &in_force = c.state.graphic.palette;
        for (uint64_t i = 0; i < count; ++i) {
            const uint32_t index = image.pixel(i);
            if (index >= static_cast<uint32_t>(in_force.length)) {
                invalid("colour index " + std::to_string(index) + " beyond a palette of " +
                        std::to_string(in_force.length) + " colours");
            }
        }
        for (int i = 0; i < in_force.length; ++i) image.palette.push_back(in_force.entry(i));
    }
    return image;
}

}  // namespace

Payload decodePayload(Cursor &cursor, uint8_t code, const StreamState &state,
                      const Budget &budget) {
    Context c{cursor, state, budget};
    if (code >= POINT_SIZE_FIRST && code <= POINT_SIZE_LAST) {
        return SizeChange{POINT_SIZES[code - POINT_SIZE_FIRST]};
    }
    if (code >= REL_POINT_SIZE_FIRST && code <= REL_POINT_SIZE_LAST) {
        return SizeChange{REL_POINT_SIZES[code - REL_POINT_SIZE_FIRST]};
    }
    switch (code) {
        case EXTENSION: {
            Extension e{cursor.text(), cursor.text()};
            if (e.parameter.empty()) invalid("empty parameter name");
            return e;
        }
        case LAYER: {
            Layer layer{cursor.bits(1) != 0, cursor.bits(1) != 0, cursor.text()};
            if (layer.name.empty()) invalid("empty layer name");
            return layer;
        }
        case OBJECT: return Object{cursor.text()};
        case POLYLINE:
        case DRAW_POLYGON:
        case FILL_POLYGON: return figure(c);
        case DRAW_CUBIC_BEZIER: return cubic(c, false);
        case FILL_CUBIC_BEZIER: return cubic(c, true);
        case DRAW_ARC:
        case FILL_ARC: return arc(c);
        case TEXT: return Text{c.point(), cursor.text()};
        case SHAPE: return shapeInstance(c);
        case IMAGE: return imagePart(c);
        case MARK: return Mark{c.point()};
        case LINE: return Line{c.point(), c.relPoint()};
        case DRAW_BOX:
        case FILL_BOX: return Box{c.point(), nonZero(c.relPoint(), "box size")};
        case DRAW_CIRCLE:
        case FILL_CIRCLE: return circle(c);
        case DRAW_ELLIPSE:
        case FILL_ELLIPSE: return Ellipse{c.point(), positive(c.relPoint(), "ellipse size")};
        case STAMP_SHAPE: return Stamp{c.identifier(), c.point()};
        case REPEAT_SHAPE: return repeatShape(c);
        case FULL_IMAGE:
            return FullImage{c.identifier(), c.point(), positive(c.relPoint(), "image size")};
        case SET_EDGE: return edgeDefinition(c);
        case SET_FACE: return faceDefinition(c);
        case DRAW_EDGE: return EdgeUse{cursor.sidentifier()};
        case DRAW_EDGE_RANGE: return EdgeRangeUse{cursor.sidentifier(), cursor.sidentifier()};
        case FILL_FACE: return FaceUse{c.identifier()};
        case COLOR_SIZE: return colorSize(c);
        case BLEND_MODE: return ByteAttribute{c.enumerated(MAX_BLEND_MODE, "blend mode")};
        case IMAGE_STRETCH_MODE:
            return ByteAttribute{c.enumerated(MAX_STRETCH_MODE, "image stretch mode")};
        case LINE_COLOR:
        case MARK_COLOR:
        case FILL_COLOR:
        case TEXT_COLOR: return ColorAttribute{c.color()};
        case LINE_DASHES: return LineDashes{cursor.uint16()};
        case LINE_STYLE: return lineStyle(c);
        case MARK_STYLE: return MarkStyle{c.enumerated(MAX_MARK_TYPE, "mark type"), cursor.size()};
        case GRADIENT_FILL: return gradientFill(c);
        case TEXTURE_FILL: return TextureFill{c.point(), c.identifier()};
        case STRETCHED_TEXTURE_FILL: return stretchedTextureFill(c);
        case FONT: return font(c);
        case TEXT_ALIGNMENT:
            return TextAlignment{c.enumerated(MAX_TEXT_ALIGNMENT, "text alignment"), c.angle()};
        case PALETTE: return palette(c);
        case SET_IMAGE: return imageDefinition(c);
        case BEGIN_SET_SHAPE: return ShapeBegin{positive(c.point(), "shape corner")};
        case END_SET_SHAPE: return ShapeEnd{};
        default: invalid("unknown record code " + std::to_string(code));
    }
}

}  // namespace kvgr::impl
