#include "svg_render.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <set>
#include <vector>

#include "kvgwriter.h"
#include "png.h"
#include "svg_paint.h"

namespace kvgtool {

namespace {

using kvgr::Point;
using svg::number;

constexpr double MM_PER_CSS_PIXEL = 25.4 / 96;
constexpr double DASH_BIT_MM = 0.5;
constexpr double FONT_TOP_EM = 0.75;      // baseline below a text's top
constexpr double FONT_MIDDLE_EM = 0.35;   // baseline below a text's middle
constexpr double FONT_BOTTOM_EM = -0.22;  // baseline above a text's bottom

// "x y" of a file position in SVG user space.
std::string xy(Point p) { return number(p.x) + " " + number(-p.y); }
std::string attribute(const char *name, double value) {
    return std::string(" ") + name + "=\"" + number(value) + "\"";
}

// Path data for chains of points. A chain that starts where the last one ended continues its
// subpath; in ring mode every subpath is closed.
class PathData {
public:
    explicit PathData(bool rings) : rings_(rings) {}

    void chain(std::span<const Point> points) {
        if (points.empty()) return;
        if (!last_ || !(*last_ == points.front())) {
            closeSubpath();
            d_ += "M" + xy(points.front());
            last_ = points.front();
        }
        for (const Point &p : points.subspan(1)) {
            d_ += commandStarted_ ? " " : "l";
            commandStarted_ = true;
            d_ += xy({p.x - last_->x, p.y - last_->y});
            last_ = p;
        }
    }
    std::string finish() {
        closeSubpath();
        return d_;
    }

private:
    void closeSubpath() {
        if (rings_ && last_) d_ += "Z";
        commandStarted_ = false;
        last_.reset();
    }

    bool rings_;
    bool commandStarted_ = false;
    std::optional<Point> last_;
    std::string d_;
};

// Definitions made once, on first use, under a key; each gets the id "dN".
class Defs {
public:
    template <class Make>
    std::string get(const std::string &key, Make make) {
        const auto [it, added] = ids_.try_emplace(key, "d" + std::to_string(ids_.size()));
        if (added) text_ += make(it->second) + "\n";
        return it->second;
    }
    const std::string &text() const { return text_; }

private:
    std::map<std::string, std::string> ids_;
    std::string text_;
};

// Text anchors and baseline shifts of the KVG_TEXT_ALIGNMENT reference points.
struct Alignment {
    const char *anchor;
    double dyEm;
};
const Alignment ALIGNMENTS[] = {
    {"middle", FONT_TOP_EM},
    {"middle", FONT_BOTTOM_EM},
    {"end", FONT_MIDDLE_EM},
    {"start", FONT_MIDDLE_EM},
    {"end", FONT_TOP_EM},
    {"start", FONT_TOP_EM},
    {"end", FONT_BOTTOM_EM},
    {"start", FONT_BOTTOM_EM},
    {"middle", FONT_MIDDLE_EM},
    {"start", 0},
    {"middle", 0},
    {"end", 0},
};
const char *const FONT_FAMILIES[] = {nullptr, "monospace", "serif", "sans-serif"};
const char *const JOINTS[] = {nullptr, "miter", "round", "bevel"};

std::vector<Point> reversed(std::vector<Point> points) {
    std::reverse(points.begin(), points.end());
    return points;
}

class Renderer {
public:
    explicit Renderer(const kvgr::Decoder &decoder)
        : decoder_(decoder), header_(decoder.header()), mmPerUnit_(millimetresPerUnit()) {}

    void render(const kvgr::Record &record);
    std::string document();

private:
    const kvgr::GraphicState &graphic() const { return decoder_.state().graphic; }
    const kvgr::Definitions &definitions() const { return decoder_.definitions(); }
    svg::Rgba resolve(const kvgr::Color &color) const {
        return svg::resolve(color, graphic().palette);
    }
    double millimetresPerUnit() const;
    double pixelUnits() const { return MM_PER_CSS_PIXEL / mmPerUnit_; }

    void element(const std::string &open, const std::string &style) {
        *out_ += open + style + "/>\n";
    }
    std::optional<std::string> strokeStyle(bool decorated);
    std::string fillStyle();
    std::string markerId(uint8_t style, bool start, svg::Rgba color);
    std::string gradientId();
    std::optional<std::string> textureId();
    std::string imageId(uint32_t image);
    const char *imageRendering() const {
        return graphic().imageStretchMode == KVG_STRETCH_NEAREST ? "optimizeSpeed"
                                                                 : "optimizeQuality";
    }

    // Outlined or filled, by the record's code.
    void figure(const std::string &open, bool filled, bool decorated = false);
    void path(const std::string &d, bool filled, bool decorated = false) {
        if (d.empty()) return;  // a face without edges
        figure("<path d=\"" + d + "\"" + (filled ? " fill-rule=\"evenodd\"" : ""), filled,
               decorated);
    }

    void layer(const kvgr::Layer &layer);
    void object(const kvgr::Object &object);
    void closeObjects();
    void beginShape(uint32_t id);
    void endShape();

    void chain(const kvgr::Figure &f, bool closed, bool filled);
    void cubic(const kvgr::Cubic &c, bool filled);
    void arc(const kvgr::Arc &a, bool filled);
    void text(const kvgr::Text &t);
    void mark(const kvgr::Mark &m);
    void box(const kvgr::Box &b, bool filled);
    void shape(uint32_t id, const std::string &transform);
    void image(uint32_t id, Point corner, Point size, Point sourceMin, Point sourceMax);
    void edges(int32_t first, int32_t last);
    void face(uint32_t id);
    void faceRings(uint32_t id, PathData &path, std::set<uint32_t> &done) const;
    std::vector<Point> edgePoints(int32_t reference) const;

    const kvgr::Decoder &decoder_;
    const kvgr::Header &header_;
    const double mmPerUnit_;
    Defs defs_;
    std::string symbols_;
    std::string body_;
    std::string *out_ = &body_;
    bool inLayer_ = false;
    int openObjects_ = 0;
    int layers_ = 0;
};

double Renderer::millimetresPerUnit() const {
    const double width = header_.windowMax.x - header_.windowMin.x;
    const double mm = header_.millimetres.x / width;
    return std::isfinite(mm) && mm > 0 ? mm : MM_PER_CSS_PIXEL;
}

std::optional<std::string> Renderer::strokeStyle(bool decorated) {
    const kvgr::LineState &line = graphic().line;
    const double width = std::max<double>(line.weight, 1);
    const std::optional<svg::Dashes> dashes =
        svg::dashes(line.dashes, std::max(width, DASH_BIT_MM / mmPerUnit_));
    if (!dashes) return std::nullopt;
    const svg::Rgba color = resolve(line.color);
    std::string style =
        " fill=\"none\"" + svg::paint("stroke", color) + attribute("stroke-width", width);
    if (JOINTS[line.joint] != nullptr)
        style += std::string(" stroke-linejoin=\"") + JOINTS[line.joint] + "\"";
    if (!dashes->array.empty()) {
        style += " stroke-dasharray=\"" + dashes->array + "\"";
        if (dashes->offset != 0) style += attribute("stroke-dashoffset", dashes->offset);
    }
    if (decorated && line.begin != KVG_NO_ARROW)
        style += " marker-start=\"url(#" + markerId(line.begin, true, color) + ")\"";
    if (decorated && line.end != KVG_NO_ARROW)
        style += " marker-end=\"url(#" + markerId(line.end, false, color) + ")\"";
    return style;
}

std::string Renderer::markerId(uint8_t style, bool start, svg::Rgba color) {
    const std::string key = "marker " + std::to_string(style) + (start ? " start " : " end ") +
                            svg::hex(color) + std::to_string(color.a);
    return defs_.get(key, [&](const std::string &id) {
        const svg::Marker marker = svg::decoration(style, start, color);
        return "<marker id=\"" + id + "\" viewBox=\"0 0 10 10\"" + attribute("refX", marker.refX) +
               " refY=\"5\" markerWidth=\"4\" markerHeight=\"4\" orient=\"auto\" "
               "overflow=\"visible\">" +
               marker.content + "</marker>";
    });
}

std::string Renderer::fillStyle() {
    const kvgr::FillState &fill = graphic().fill;
    switch (fill.mode) {
        case kvgr::FillMode::Color: return svg::paint("fill", resolve(fill.color));
        case kvgr::FillMode::Gradient: return " fill=\"url(#" + gradientId() + ")\"";
        default: {
            const std::optional<std::string> texture = textureId();
            return texture ? " fill=\"url(#" + *texture + ")\"" : " fill=\"none\"";
        }
    }
}

std::string Renderer::gradientId() {
    const kvgr::FillState &fill = graphic().fill;
    const svg::Rgba c0 = resolve(fill.gradientC0), c1 = resolve(fill.gradientC1);
    const auto stop = [](const char *offset, svg::Rgba c) {
        std::string s =
            std::string("<stop offset=\"") + offset + "\" stop-color=\"" + svg::hex(c) + "\"";
        if (c.a != 255) s += attribute("stop-opacity", c.a / 255.0);
        return s + "/>";
    };
    const std::string ends = xy(fill.gradientP0) + " " + xy(fill.gradientP1);
    const std::string key = "gradient " + ends + " " + stop("0", c0) + stop("1", c1);
    return defs_.get(key, [&](const std::string &id) {
        return "<linearGradient id=\"" + id + "\" gradientUnits=\"userSpaceOnUse\"" +
               attribute("x1", fill.gradientP0.x) + attribute("y1", -fill.gradientP0.y) +
               attribute("x2", fill.gradientP1.x) + attribute("y2", -fill.gradientP1.y) + ">" +
               stop("0", c0) + stop("1", c1) + "</linearGradient>";
    });
}

// A texture tiles the image from its corner at one CSS pixel per pixel; a stretched texture
// stretches it over its extent. Nothing when the image is empty.
std::optional<std::string> Renderer::textureId() {
    const kvgr::FillState &fill = graphic().fill;
    const std::vector<kvgr::ImageDefinition> &images = definitions().images;
    if (fill.textureImage >= images.size()) return std::nullopt;
    const kvgr::ImageDefinition &image = images[fill.textureImage];
    if (image.width == 0 || image.height == 0) return std::nullopt;
    const bool stretched = fill.mode == kvgr::FillMode::StretchedTexture;
    const Point tile = stretched ? fill.textureSize
                                 : Point{image.width * pixelUnits(), image.height * pixelUnits()};
    if (!(tile.x > 0 && tile.y > 0)) return std::nullopt;
    const std::string key = "texture " + std::to_string(fill.textureImage) + " " +
                            xy(fill.textureCorner) + " " + xy(tile) + imageRendering();
    const std::string image_id = imageId(fill.textureImage);
    return defs_.get(key, [&](const std::string &id) {
        return "<pattern id=\"" + id + "\" patternUnits=\"userSpaceOnUse\"" +
               attribute("x", fill.textureCorner.x) +
               attribute("y", -(fill.textureCorner.y + tile.y)) + attribute("width", tile.x) +
               attribute("height", tile.y) + "><use xlink:href=\"#" + image_id +
               "\" transform=\"scale(" + number(tile.x / image.width) + " " +
               number(tile.y / image.height) + ")\" image-rendering=\"" + imageRendering() +
               "\"/></pattern>";
    });
}

// The image as a PNG of its own pixel size, its first row at the bottom.
std::string Renderer::imageId(uint32_t id) {
    return defs_.get("image " + std::to_string(id), [&](const std::string &def_id) {
        const kvgr::ImageDefinition &image = definitions().images[id];
        kvgr::PaletteState palette;
        palette.length = static_cast<int>(image.palette.size());
        for (size_t i = 0; i < image.palette.size(); ++i)
            palette.colors[i] = image.palette[i].value;
        if (!image.palette.empty()) palette.colorSize = image.palette[0].size;
        std::vector<uint8_t> rgba;
        rgba.reserve(image.pixels.size() * 4);
        for (int row = image.height - 1; row >= 0; --row) {
            for (int col = 0; col < image.width; ++col) {
                const uint32_t value = image.pixels[size_t(row) * image.width + col];
                const svg::Rgba c = svg::resolve({value, image.colorSize}, palette);
                rgba.insert(rgba.end(), {c.r, c.g, c.b, c.a});
            }
        }
        return "<image id=\"" + def_id + "\"" + attribute("width", image.width) +
               attribute("height", image.height) +
               " preserveAspectRatio=\"none\" xlink:href=\"data:image/png;base64," +
               base64(encodePng(image.width, image.height, rgba)) + "\"/>";
    });
}

void Renderer::figure(const std::string &open, bool filled, bool decorated) {
    if (filled) {
        element(open, fillStyle());
    } else if (const std::optional<std::string> style = strokeStyle(decorated)) {
        element(open, *style);
    }
}

void Renderer::layer(const kvgr::Layer &layer) {
    closeObjects();
    if (inLayer_) body_ += "</g>\n";
    inLayer_ = true;
    body_ += "<g id=\"layer-" + std::to_string(++layers_) + "\"" +
             (layer.visible ? "" : " display=\"none\"") + "><title>" + svg::escapeXml(layer.name) +
             "</title>\n";
}

// An object with a name opens a group; an empty name closes the innermost one.
void Renderer::object(const kvgr::Object &object) {
    if (!object.name.empty()) {
        body_ += "<g><title>" + svg::escapeXml(object.name) + "</title>\n";
        ++openObjects_;
    } else if (openObjects_ > 0) {
        body_ += "</g>\n";
        --openObjects_;
    }
}

void Renderer::closeObjects() {
    for (; openObjects_ > 0; --openObjects_) body_ += "</g>\n";
}

void Renderer::beginShape(uint32_t id) {
    symbols_ += "<symbol id=\"shape-" + std::to_string(id) + "\" overflow=\"visible\">\n";
    out_ = &symbols_;
}

void Renderer::endShape() {
    symbols_ += "</symbol>\n";
    out_ = &body_;
}

void Renderer::chain(const kvgr::Figure &f, bool closed, bool filled) {
    PathData d(closed);
    d.chain(kvgr::chainPoints(f.start, f.steps));
    path(d.finish(), filled, !closed);
}

// Cubic segments from absolute points; a filled curve ends at its start point.
void Renderer::cubic(const kvgr::Cubic &c, bool filled) {
    std::vector<Point> points = kvgr::chainPoints(c.start, c.steps);
    if (filled) points.push_back(c.start);
    std::string d = "M" + xy(points[0]);
    for (size_t i = 1; i + 2 < points.size(); i += 3)
        d += "C" + xy(points[i]) + " " + xy(points[i + 1]) + " " + xy(points[i + 2]);
    path(filled ? d + "Z" : d, filled, !filled);
}

void Renderer::arc(const kvgr::Arc &a, bool filled) {
    const Point r = a.halfSize;
    if (!(r.x > 0 && r.y > 0)) return;
    double span = a.end.degrees - a.start.degrees;
    if (span <= 0) span += 360;
    const auto at = [&](double degrees) {
        const double t = degrees * std::numbers::pi / 180;
        return Point{a.center.x + r.x * std::cos(t), a.center.y + r.y * std::sin(t)};
    };
    // Counter-clockwise with y up is sweep 0 in SVG; a whole ellipse takes two halves.
    const auto arcTo = [&](double degrees, bool large) {
        return "A" + number(r.x) + " " + number(r.y) + " 0 " + (large ? "1" : "0") + " 0 " +
               xy(at(degrees));
    };
    const double from = a.start.degrees;
    std::string d = (filled ? "M" + xy(a.center) + "L" : "M") + xy(at(from));
    d += span >= 360 ? arcTo(from + 180, false) + arcTo(from, false)
                     : arcTo(from + span, span > 180);
    path(filled ? d + "Z" : d, filled, !filled);
}

void Renderer::text(const kvgr::Text &t) {
    const kvgr::TextState &state = graphic().text;
    if (state.size == 0 || t.text.empty()) return;
    const Alignment &align = ALIGNMENTS[state.alignment];
    std::string open = "<text";
    if (state.direction != 0)
        open += " transform=\"translate(" + xy(t.anchor) + ") rotate(" + number(-state.direction) +
                ")\"";
    else
        open += attribute("x", t.anchor.x) + attribute("y", -t.anchor.y);
    if (align.dyEm != 0) open += " dy=\"" + number(align.dyEm) + "em\"";
    open += attribute("font-size", state.size);
    if (const char *family = FONT_FAMILIES[state.typeface])
        open += std::string(" font-family=\"") + family + "\"";
    if (state.style & KVG_FONT_BOLD) open += " font-weight=\"bold\"";
    if (state.style & KVG_FONT_ITALIC) open += " font-style=\"italic\"";
    open += std::string(" text-anchor=\"") + align.anchor + "\"" +
            svg::paint("fill", resolve(state.color));
    *out_ += open + " xml:space=\"preserve\">" + svg::escapeXml(t.text) + "</text>\n";
}

void Renderer::mark(const kvgr::Mark &m) {
    const kvgr::MarkState &state = graphic().mark;
    if (state.size == 0) return;
    const std::string id =
        defs_.get("mark " + std::to_string(state.type), [&](const std::string &def_id) {
            return "<g id=\"" + def_id + "\">" + svg::markGeometry(state.type) + "</g>";
        });
    const svg::Rgba color = resolve(state.color);
    std::string use = "<use xlink:href=\"#" + id + "\" transform=\"translate(" + xy(m.at) +
                      ") scale(" + number(state.size * pixelUnits()) + ")\" color=\"" +
                      svg::hex(color) + "\"";
    if (color.a != 255) use += attribute("opacity", color.a / 255.0);
    *out_ += use + "/>\n";
}

void Renderer::box(const kvgr::Box &b, bool filled) {
    const double x = std::min(b.corner.x, b.corner.x + b.size.x);
    const double top = std::max(b.corner.y, b.corner.y + b.size.y);
    figure("<rect" + attribute("x", x) + attribute("y", -top) +
               attribute("width", std::fabs(b.size.x)) + attribute("height", std::fabs(b.size.y)),
           filled);
}

void Renderer::shape(uint32_t id, const std::string &transform) {
    *out_ +=
        "<use xlink:href=\"#shape-" + std::to_string(id) + "\" transform=\"" + transform + "\"/>\n";
}

// The source rectangle, in pixels from the lower-left corner, shown in the destination through
// a nested viewport.
void Renderer::image(uint32_t id, Point corner, Point size, Point sourceMin, Point sourceMax) {
    const kvgr::ImageDefinition &def = definitions().images[id];
    if (def.width == 0 || def.height == 0 || !(size.x > 0 && size.y > 0)) return;
    const std::string viewBox = number(sourceMin.x) + " " + number(def.height - sourceMax.y) + " " +
                                number(sourceMax.x - sourceMin.x) + " " +
                                number(sourceMax.y - sourceMin.y);
    *out_ += "<svg" + attribute("x", corner.x) + attribute("y", -(corner.y + size.y)) +
             attribute("width", size.x) + attribute("height", size.y) + " viewBox=\"" + viewBox +
             "\" preserveAspectRatio=\"none\"><use xlink:href=\"#" + imageId(id) +
             "\" image-rendering=\"" + imageRendering() + "\"/></svg>\n";
}

std::vector<Point> Renderer::edgePoints(int32_t reference) const {
    const kvgr::EdgeDefinition *edge = definitions().edge(reference);
    if (edge == nullptr) return {};
    std::vector<Point> points = kvgr::chainPoints(edge->start, edge->steps);
    return reference < 0 ? reversed(std::move(points)) : points;
}

// The edges from `first` to `last`, both included, in that order.
void Renderer::edges(int32_t first, int32_t last) {
    PathData d(false);
    const int32_t step = first <= last ? 1 : -1;
    for (int32_t id = first;; id += step) {
        if (id != 0) d.chain(edgePoints(id));
        if (id == last) break;
    }
    path(d.finish(), false, true);
}

void Renderer::faceRings(uint32_t id, PathData &d, std::set<uint32_t> &done) const {
    if (id >= definitions().faces.size() || !done.insert(id).second) return;
    const kvgr::FaceDefinition &face = definitions().faces[id];
    for (const int32_t edge : face.edges) d.chain(edgePoints(edge));
    for (const uint32_t hole : face.holes) faceRings(hole, d, done);
}

void Renderer::face(uint32_t id) {
    PathData d(true);
    std::set<uint32_t> done;
    faceRings(id, d, done);
    path(d.finish(), true);
}

void Renderer::render(const kvgr::Record &record) {
    namespace f = kvgfmt;
    const kvgr::Payload &p = record.payload;
    const bool filled = record.code == f::FILL_POLYGON || record.code == f::FILL_CUBIC_BEZIER ||
                        record.code == f::FILL_ARC || record.code == f::FILL_BOX ||
                        record.code == f::FILL_CIRCLE || record.code == f::FILL_ELLIPSE;
    switch (record.code) {
        case f::LAYER: layer(std::get<kvgr::Layer>(p)); break;
        case f::OBJECT: object(std::get<kvgr::Object>(p)); break;
        case f::BEGIN_SET_SHAPE: beginShape(*record.definition); break;
        case f::END_SET_SHAPE: endShape(); break;
        case f::POLYLINE: chain(std::get<kvgr::Figure>(p), false, false); break;
        case f::DRAW_POLYGON:
        case f::FILL_POLYGON: chain(std::get<kvgr::Figure>(p), true, filled); break;
        case f::DRAW_CUBIC_BEZIER:
        case f::FILL_CUBIC_BEZIER: cubic(std::get<kvgr::Cubic>(p), filled); break;
        case f::DRAW_ARC:
        case f::FILL_ARC: arc(std::get<kvgr::Arc>(p), filled); break;
        case f::TEXT: text(std::get<kvgr::Text>(p)); break;
        case f::MARK: mark(std::get<kvgr::Mark>(p)); break;
        case f::LINE: {
            const auto &l = std::get<kvgr::Line>(p);
            path("M" + xy(l.start) + "l" + xy(l.step), false, true);
            break;
        }
        case f::DRAW_BOX:
        case f::FILL_BOX: box(std::get<kvgr::Box>(p), filled); break;
        case f::DRAW_CIRCLE:
        case f::FILL_CIRCLE: {
            const auto &c = std::get<kvgr::Circle>(p);
            figure("<circle" + attribute("cx", c.center.x) + attribute("cy", -c.center.y) +
                       attribute("r", c.radius),
                   filled);
            break;
        }
        case f::DRAW_ELLIPSE:
        case f::FILL_ELLIPSE: {
            const auto &e = std::get<kvgr::Ellipse>(p);
            figure("<ellipse" + attribute("cx", e.center.x) + attribute("cy", -e.center.y) +
                       attribute("rx", e.halfSize.x) + attribute("ry", e.halfSize.y),
                   filled);
            break;
        }
        case f::SHAPE: {
            const auto &s = std::get<kvgr::ShapeInstance>(p);
            const Point corner = definitions().shapes[s.shape].corner;
            shape(s.shape, "translate(" + xy(s.center) + ") rotate(" + number(-s.rotation.degrees) +
                               ") scale(" + number(s.halfSize.x / corner.x) + " " +
                               number(s.halfSize.y / corner.y) + ")");
            break;
        }
        case f::STAMP_SHAPE:
        case f::REPEAT_SHAPE: {
            const auto &s = std::get<kvgr::Stamp>(p);
            shape(s.shape, "translate(" + xy(s.at) + ")");
            break;
        }
        case f::FULL_IMAGE: {
            const auto &i = std::get<kvgr::FullImage>(p);
            const kvgr::ImageDefinition &def = definitions().images[i.image];
            image(i.image, i.corner, i.size, {0, 0}, {double(def.width), double(def.height)});
            break;
        }
        case f::IMAGE: {
            const auto &i = std::get<kvgr::ImagePart>(p);
            image(i.image, i.corner, i.size, i.sourceMin, i.sourceMax);
            break;
        }
        case f::DRAW_EDGE: {
            const int32_t edge = std::get<kvgr::EdgeUse>(p).edge;
            edges(edge, edge);
            break;
        }
        case f::DRAW_EDGE_RANGE: {
            const auto &range = std::get<kvgr::EdgeRangeUse>(p);
            edges(range.first, range.last);
            break;
        }
        case f::FILL_FACE: face(std::get<kvgr::FaceUse>(p).face); break;
        default: break;  // attributes and definitions: the decoder keeps them
    }
}

std::string Renderer::document() {
    closeObjects();
    if (inLayer_) body_ += "</g>\n";
    inLayer_ = false;
    const Point low = header_.windowMin, high = header_.windowMax;
    const std::string viewBox = number(low.x) + " " + number(-high.y) + " " +
                                number(high.x - low.x) + " " + number(high.y - low.y);
    std::string size;
    const Point mm = header_.millimetres;
    if (std::isfinite(mm.x) && std::isfinite(mm.y) && mm.x > 0 && mm.y > 0)
        size = " width=\"" + number(mm.x) + "mm\" height=\"" + number(mm.y) + "mm\"";
    const svg::Rgba background{static_cast<uint8_t>(header_.background >> 16),
                               static_cast<uint8_t>(header_.background >> 8),
                               static_cast<uint8_t>(header_.background), 255};
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" "
           "xmlns:xlink=\"http://www.w3.org/1999/xlink\" version=\"1.1\"" +
           size + " viewBox=\"" + viewBox + "\" preserveAspectRatio=\"none\">\n<defs>\n" +
           defs_.text() + symbols_ + "</defs>\n<rect" + attribute("x", low.x) +
           attribute("y", -high.y) + attribute("width", high.x - low.x) +
           attribute("height", high.y - low.y) + svg::paint("fill", background) + "/>\n" + body_ +
           "</svg>\n";
}

}  // namespace

std::optional<kvgr::Error> renderSvg(std::span<const uint8_t> bytes, std::string &svg) {
    kvgr::Decoder decoder(bytes);
    Renderer renderer(decoder);
    kvgr::Record record;
    while (decoder.next(record)) renderer.render(record);
    if (decoder.error()) return decoder.error();
    svg = renderer.document();
    return std::nullopt;
}

}  // namespace kvgtool
