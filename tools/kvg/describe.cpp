#include "describe.h"

#include <cstdio>
#include <vector>

namespace kvgtool {

namespace {

using namespace kvgr;

constexpr const char *COLOR_SIZE_NAMES[kvgfmt::COLOR_SIZE_COUNT] = {
    "index1", "index8", "gray8", "gray12", "gray16", "ga", "rgb", "rgba"};
// Hexadecimal digits of a value in each colour size; 0 for the decimal palette indexes.
constexpr int COLOR_DIGITS[kvgfmt::COLOR_SIZE_COUNT] = {0, 0, 2, 3, 4, 8, 6, 8};

std::string hexWord(uint32_t value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    return buffer;
}

std::string pixelWord(uint32_t value, uint8_t size) {
    return COLOR_DIGITS[size] == 0 ? std::to_string(value) : hexWord(value, COLOR_DIGITS[size]);
}

class Describer {
public:
    Describer(const Header &header, FieldSink &sink) : header_(header), sink_(sink) {}

    void at(std::string_view name, Point p) { sink_.point(name, {p, header_.toWorld(p)}); }
    void extent(std::string_view name, Point p) {
        sink_.point(name, {p, header_.toWorldExtent(p)});
    }
    void chain(std::string_view name, Point start, std::span<const Point> steps) {
        std::vector<Located> located;
        for (const Point &p : chainPoints(start, steps)) located.push_back({p, header_.toWorld(p)});
        sink_.points(name, located);
    }
    void color(std::string_view name, const Color &c) { sink_.word(name, colorWord(c)); }
    template <class Integers>
    void list(std::string_view name, const Integers &values) {
        const std::vector<double> numbers(values.begin(), values.end());
        sink_.numbers(name, numbers);
    }

    void operator()(const Extension &e) {
        sink_.text("parameter", e.parameter);
        sink_.text("value", e.value);
    }
    void operator()(const Layer &l) {
        sink_.flag("visible", l.visible);
        sink_.flag("detectable", l.detectable);
        sink_.text("name", l.name);
    }
    void operator()(const Object &o) { sink_.text("name", o.name); }
    void operator()(const Figure &f) { chain("points", f.start, f.steps); }
    void operator()(const Cubic &k) {
        sink_.number("segments", k.segments);
        chain("points", k.start, k.steps);
    }
    void operator()(const Arc &a) {
        at("center", a.center);
        extent("half_size", a.halfSize);
        sink_.angle("start", a.start.degrees);
        sink_.angle("end", a.end.degrees);
    }
    void operator()(const Text &t) {
        at("anchor", t.anchor);
        sink_.text("text", t.text);
    }
    void operator()(const ShapeInstance &s) {
        sink_.number("shape", s.shape);
        at("center", s.center);
        sink_.angle("rotation", s.rotation.degrees);
        extent("half_size", s.halfSize);
    }
    void operator()(const ImagePart &i) {
        sink_.number("image", i.image);
        const double source[] = {i.sourceMin.x, i.sourceMin.y, i.sourceMax.x, i.sourceMax.y};
        sink_.numbers("source", source);
        at("corner", i.corner);
        extent("size", i.size);
    }
    void operator()(const Mark &m) { at("at", m.at); }
    void operator()(const Line &l) { chain("points", l.start, std::span(&l.step, 1)); }
    void operator()(const Box &b) {
        at("corner", b.corner);
        extent("size", b.size);
    }
    void operator()(const Circle &c) {
        at("center", c.center);
        sink_.number("radius", c.radius);
    }
    void operator()(const Ellipse &e) {
        at("center", e.center);
        extent("half_size", e.halfSize);
    }
    void operator()(const Stamp &s) {
        sink_.number("shape", s.shape);
        at("at", s.at);
    }
    void operator()(const FullImage &f) {
        sink_.number("image", f.image);
        at("corner", f.corner);
        extent("size", f.size);
    }
    void operator()(const EdgeDefinition &e) {
        std::vector<double> sizes, counts;
        for (const EdgeSegment &s : e.segments) {
            sizes.push_back(s.relPointSize);
            counts.push_back(s.count);
        }
        sink_.numbers("segment_sizes", sizes);
        sink_.numbers("segment_counts", counts);
        chain("points", e.start, e.steps);
    }
    void operator()(const FaceDefinition &f) {
        list("edges", f.edges);
        list("holes", f.holes);
    }
    void operator()(const EdgeUse &e) { sink_.number("edge", e.edge); }
    void operator()(const EdgeRangeUse &r) {
        sink_.number("first", r.first);
        sink_.number("last", r.last);
    }
    void operator()(const FaceUse &f) { sink_.number("face", f.face); }
    void operator()(const ByteAttribute &b) { sink_.number("value", b.value); }
    void operator()(const ColorAttribute &c) { color("color", c.color); }
    void operator()(const LineDashes &d) { sink_.word("pattern", hexWord(d.pattern, 4)); }
    void operator()(const LineStyle &s) {
        sink_.number("joint", s.joint);
        sink_.number("begin", s.begin);
        sink_.number("end", s.end);
        sink_.number("weight", s.weight);
    }
    void operator()(const MarkStyle &s) {
        sink_.number("type", s.type);
        sink_.number("size", s.size);
    }
    void operator()(const GradientFill &g) {
        at("p0", g.p0);
        color("c0", g.c0);
        at("p1", g.p1);
        color("c1", g.c1);
    }
    void operator()(const TextureFill &t) {
        at("corner", t.corner);
        sink_.number("image", t.image);
    }
    void operator()(const StretchedTextureFill &t) {
        at("corner", t.corner);
        extent("size", t.size);
        sink_.number("image", t.image);
    }
    void operator()(const Font &f) {
        sink_.number("typeface", f.typeface);
        sink_.number("style", f.style);
        sink_.number("size", f.size);
    }
    void operator()(const TextAlignment &t) {
        sink_.number("alignment", t.alignment);
        sink_.angle("direction", t.direction.degrees);
    }
    void operator()(const Palette &p) {
        std::vector<std::string> colors;
        for (const Color &c : p.entries) colors.push_back(colorWord(c));
        sink_.words("colors", colors);
    }
    void operator()(const ImageDefinition &i) {
        sink_.number("width", i.width);
        sink_.number("height", i.height);
        sink_.word("color_size", COLOR_SIZE_NAMES[i.colorSize]);
        std::vector<std::string> pixels;
        pixels.reserve(i.pixels.size());
        for (uint32_t pixel : i.pixels) pixels.push_back(pixelWord(pixel, i.colorSize));
        sink_.words("pixels", pixels);
    }
    void operator()(const ShapeBegin &s) { extent("corner", s.corner); }
    void operator()(const ShapeEnd &) {}
    void operator()(const SizeChange &) {}  // described by describe() from the code

private:
    const Header &header_;
    FieldSink &sink_;
};

}  // namespace

std::string colorWord(const Color &color) {
    return std::string(COLOR_SIZE_NAMES[color.size]) + ":" + pixelWord(color.value, color.size);
}

void describe(const Record &record, const Header &header, FieldSink &sink) {
    if (const auto *size = std::get_if<SizeChange>(&record.payload)) {
        if (record.code == kvgfmt::COLOR_SIZE) {
            sink.word("size", COLOR_SIZE_NAMES[size->size]);
        } else {
            sink.number("bits", size->size);
        }
        return;
    }
    Describer describer(header, sink);
    std::visit(describer, record.payload);
}

}  // namespace kvgtool
