#include "svg_painter.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "png.h"
#include "style.h"

namespace kvgrender {

namespace {

constexpr int PAGE_DECIMALS = 4;
constexpr int MAX_DECIMALS = 12;

// A value in units of 10^-decimals when that is a whole number a double holds exactly.
std::optional<int64_t> fixedPoint(double value, int decimals) {
    constexpr double EXACT = 9007199254740992.0;  // 2^53
    const double scaled = std::round(value * std::pow(10.0, decimals));
    if (!(std::fabs(scaled) < EXACT)) return std::nullopt;
    return static_cast<int64_t>(scaled);
}

// A fixed-point value as the shortest decimal text.
std::string decimal(int64_t units, int decimals) {
    const bool negative = units < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(units) : units;
    std::string digits = std::to_string(magnitude);
    if (digits.size() <= static_cast<size_t>(decimals))
        digits.insert(0, decimals + 1 - digits.size(), '0');
    std::string text = digits.substr(0, digits.size() - decimals);
    std::string fraction = digits.substr(digits.size() - decimals);
    fraction.erase(fraction.find_last_not_of('0') + 1);
    if (!fraction.empty()) text += "." + fraction;
    return negative && magnitude != 0 ? "-" + text : text;
}

// The shortest text that reads back as `value`; "0" for values that are not finite.
std::string shortest(double value) {
    if (!std::isfinite(value) || value == 0) return "0";
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string attribute(const char *name, const std::string &value) {
    return std::string(" ") + name + "=\"" + value + "\"";
}

std::string hex(Rgba color) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", color.r, color.g, color.b);
    return text;
}

// ` NAME="#rrggbb"`, and ` NAME-opacity="…"` when not opaque.
std::string paint(const std::string &name, Rgba color) {
    std::string out = attribute(name.c_str(), hex(color));
    if (color.a != 255) out += attribute((name + "-opacity").c_str(), shortest(color.a / 255.0));
    return out;
}

// Text as XML character data: the markup characters escaped (the core has already replaced
// what XML cannot hold).
std::string escapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '&': out += "&amp;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

const char *fontFamily(uint8_t typeface) {
    constexpr const char *FAMILIES[] = {"sans-serif", "monospace", "serif", "sans-serif"};
    return FAMILIES[typeface & 3];
}

std::string strokeAttributes(const Stroke &stroke, const std::string &width) {
    std::string style = " fill=\"none\"" + paint("stroke", stroke.color) +
                        attribute("stroke-width", width);
    if (stroke.joint == Joint::Round) style += " stroke-linejoin=\"round\"";
    if (stroke.joint == Joint::Bevel) style += " stroke-linejoin=\"bevel\"";
    return style;
}

}  // namespace

size_t SvgPainter::KeyHash::operator()(const PathKey &k) const {
    return std::hash<uint64_t>()(uint64_t(uint32_t(k.first)) << 32 | uint32_t(k.last)) ^
           (size_t(k.kind) << 1 | k.inShape);
}

// Fixed-point where that is exact, else the shortest text (positions far beyond any page).
std::string SvgPainter::number(double value) const {
    const std::optional<int64_t> fixed = fixedPoint(value, space_.decimals);
    return fixed ? decimal(*fixed, space_.decimals) : shortest(value);
}

std::string SvgPainter::xy(Vec p) const {
    return number(p.x) + " " + number(space_.flip - p.y);
}

// Absolute moves and arcs, relative lines and curves: the relative steps are differences of
// the rounded absolute positions, so no rounding accumulates along a path. A path with a
// position beyond the fixed-point numbers is written with absolute positions only.
std::string SvgPainter::pathData(const Path &path) const {
    const int d = space_.decimals;
    struct Fixed {
        int64_t x, y;
    };
    const auto fixed = [&](Vec p) -> std::optional<Fixed> {
        const auto x = fixedPoint(p.x, d), y = fixedPoint(space_.flip - p.y, d);
        if (!x || !y) return std::nullopt;
        return Fixed{*x, *y};
    };
    const auto exact = [&](Vec p) { return fixed(p).has_value(); };
    const bool relative = std::ranges::all_of(path.points(), exact) &&
                          std::ranges::all_of(path.arcs(), [&](const Arc &a) {
                              return exact(a.at(a.start)) && exact(a.at(a.start + a.sweep));
                          });
    std::string out;
    Fixed current{0, 0}, start{0, 0};
    char last = 0;  // the last command written, repeated implicitly
    const auto command = [&](char c) {
        if (!relative) c = static_cast<char>(std::toupper(c));
        out += last != c || c == 'M' || c == 'A' ? std::string(1, c) : " ";
        last = c;
    };
    // A position: relative to the current one, or absolute.
    const auto position = [&](Vec p) {
        if (!relative) return xy(p);
        const Fixed f = *fixed(p);
        return decimal(f.x - current.x, d) + " " + decimal(f.y - current.y, d);
    };
    const auto moveTo = [&](Vec p) {
        if (relative) current = *fixed(p);
    };
    size_t point = 0, arc = 0;
    for (const Path::Op op : path.ops()) {
        const std::span<const Vec> points = path.points();
        switch (op) {
            case Path::Op::Move:
                command('M');
                out += xy(points[point]);
                moveTo(points[point++]);
                start = current;
                break;
            case Path::Op::Line:
                command('l');
                out += position(points[point]);
                moveTo(points[point++]);
                break;
            case Path::Op::Cubic:
                command('c');
                for (int i = 0; i < 3; ++i) out += (i > 0 ? " " : "") + position(points[point + i]);
                moveTo(points[point + 2]);
                point += 3;
                break;
            case Path::Op::Arc: {
                const Arc &a = path.arcs()[arc++];
                // A sweep of a whole turn or more takes two halves; the flags: large arc, and
                // sweep 0 for counter-clockwise with y up.
                const int halves = std::fabs(a.sweep) >= 360 ? 2 : 1;
                const double part = halves == 2 ? (a.sweep > 0 ? 180 : -180) : a.sweep;
                for (int i = 1; i <= halves; ++i) {
                    command('A');
                    const Vec end = a.at(a.start + part * i);
                    out += number(a.radii.x) + " " + number(a.radii.y) + " 0 " +
                           (std::fabs(part) > 180 ? "1" : "0") + (part > 0 ? " 0 " : " 1 ") +
                           xy(end);
                    moveTo(end);
                }
                break;
            }
            case Path::Op::Close:
                command('Z');
                current = start;
                last = 0;
                break;
        }
    }
    return out;
}

template <class Make>
std::string SvgPainter::definition(const std::string &key, Make make) {
    const auto [it, added] =
        definitions_.try_emplace(key, "d" + std::to_string(definitions_.size()));
    if (added) out_ << "<defs>" << make(it->second) << "</defs>\n";
    return it->second;
}

void SvgPainter::beginPage(const Page &page) {
    page_ = page;
    pageSpace_ = {PAGE_DECIMALS, page.height};
    space_ = pageSpace_;
    const int shapeDecimals = PAGE_DECIMALS + static_cast<int>(std::ceil(std::log10(page.scale)));
    shapeSpace_ = {std::clamp(shapeDecimals, 0, MAX_DECIMALS), 0};
    const std::string w = shortest(page.width), h = shortest(page.height);
    out_ << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<svg xmlns=\"http://www.w3.org/2000/svg\" "
            "xmlns:xlink=\"http://www.w3.org/1999/xlink\" version=\"1.1\""
         << attribute("width", w + "mm") << attribute("height", h + "mm")
         << attribute("viewBox", "0 0 " + w + " " + h) << ">\n<rect"
         << attribute("width", w) << attribute("height", h)
         << paint("fill", page.background) << "/>\n";
}

void SvgPainter::endPage() { out_ << "</svg>\n"; }

void SvgPainter::beginLayer(std::string_view name, bool visible) {
    out_ << "<g id=\"layer-" << ++layers_ << "\"" << (visible ? "" : " display=\"none\"")
         << "><title>" << escapeXml(displayText(name)) << "</title>\n";
}

void SvgPainter::endLayer() { out_ << "</g>\n"; }

void SvgPainter::beginGroup(std::string_view name) {
    out_ << "<g><title>" << escapeXml(displayText(name)) << "</title>\n";
}

void SvgPainter::endGroup() { out_ << "</g>\n"; }

// Shape units to the same precision on the page as page millimetres, y turned over about 0.
void SvgPainter::beginShape(uint32_t shape) {
    out_ << "<defs><g id=\"shape-" << shape << "\">\n";
    space_ = shapeSpace_;
}

void SvgPainter::endShape() {
    out_ << "</g></defs>\n";
    space_ = pageSpace_;
}

void SvgPainter::placeShape(uint32_t shape, const Affine &m) {
    // Shape units have y turned over about 0, the page about its height: conjugate the map.
    out_ << "<use xlink:href=\"#shape-" << shape << "\" transform=\"matrix(" << shortest(m.a)
         << " " << shortest(-m.b) << " " << shortest(-m.c) << " " << shortest(m.d) << " "
         << number(m.e) << " " << number(page_.height - m.f) << ")\"/>\n";
}

void SvgPainter::draw(const Figure &figure, const std::string &style, bool evenOdd) {
    const std::string rule = evenOdd ? " fill-rule=\"evenodd\"" : "";
    if (figure.key.kind == PathKey::Kind::Anonymous) {
        if (const std::optional<Arc> e = figure.path->wholeEllipse()) {
            out_ << "<ellipse" << attribute("cx", number(e->center.x))
                 << attribute("cy", number(space_.flip - e->center.y))
                 << attribute("rx", number(e->radii.x)) << attribute("ry", number(e->radii.y))
                 << style << "/>\n";
        } else {
            out_ << "<path d=\"" << pathData(*figure.path) << "\"" << rule << style << "/>\n";
        }
        return;
    }
    auto [it, added] = paths_.try_emplace(figure.key, "p" + std::to_string(paths_.size()));
    if (added)
        out_ << "<defs><path id=\"" << it->second << "\" d=\"" << pathData(*figure.path)
             << "\"/></defs>\n";
    out_ << "<use xlink:href=\"#" << it->second << "\"" << rule << style << "/>\n";
}

void SvgPainter::fill(const Figure &figure, const Fill &fill) {
    draw(figure, fillStyle(fill), true);
}

void SvgPainter::stroke(const Figure &figure, const Stroke &stroke) {
    std::string style = strokeAttributes(stroke, number(stroke.width));
    if (!stroke.dashes.empty()) {
        std::string array;
        for (const double length : stroke.dashes)
            array += (array.empty() ? "" : ",") + number(length);
        style += attribute("stroke-dasharray", array);
        if (stroke.dashOffset != 0) style += attribute("stroke-dashoffset", number(stroke.dashOffset));
    }
    draw(figure, style, false);
}

std::string SvgPainter::fillStyle(const Fill &fill) {
    switch (fill.kind) {
        case Fill::Kind::Color: return paint("fill", fill.color);
        case Fill::Kind::Gradient: {
            const Gradient &g = fill.gradient;
            const auto stop = [](const char *offset, Rgba c) {
                std::string s = std::string("<stop offset=\"") + offset + "\"" +
                                attribute("stop-color", hex(c));
                if (c.a != 255) s += attribute("stop-opacity", shortest(c.a / 255.0));
                return s + "/>";
            };
            const std::string content = attribute("x1", number(g.p0.x)) +
                                        attribute("y1", number(space_.flip - g.p0.y)) +
                                        attribute("x2", number(g.p1.x)) +
                                        attribute("y2", number(space_.flip - g.p1.y)) + ">" +
                                        stop("0", g.c0) + stop("1", g.c1);
            return " fill=\"url(#" + definition("gradient" + content, [&](const std::string &id) {
                       return "<linearGradient id=\"" + id +
                              "\" gradientUnits=\"userSpaceOnUse\"" + content +
                              "</linearGradient>";
                   }) + ")\"";
        }
        case Fill::Kind::Texture: {
            const Texture &t = fill.texture;
            const std::string image = imageId(t.image, *t.source, t.smooth);
            const std::string content =
                attribute("x", number(t.origin.x)) +
                attribute("y", number(space_.flip - (t.origin.y + t.tile.y))) +
                attribute("width", number(t.tile.x)) + attribute("height", number(t.tile.y)) +
                "><use xlink:href=\"#" + image + "\" transform=\"scale(" +
                shortest(t.tile.x / t.source->width()) + " " +
                shortest(t.tile.y / t.source->height()) + ")\"/>";
            return " fill=\"url(#" + definition("pattern" + content, [&](const std::string &id) {
                       return "<pattern id=\"" + id + "\" patternUnits=\"userSpaceOnUse\"" +
                              content + "</pattern>";
                   }) + ")\"";
        }
    }
    return "";
}

// The image at one user unit per pixel, defined once per stretch mode: the sampling is set on
// the <image> itself, where renderers look for it (on a <use> of it they smooth). Browsers
// sample nearest-neighbour for "pixelated" but smooth "optimizeSpeed", the only SVG 1.1 value
// that asks for it; CSS keeps the last of the two that a renderer knows.
std::string SvgPainter::imageId(uint32_t image, const ImageSource &source, bool smooth) {
    const std::string key = "image " + std::to_string(image) + (smooth ? " smooth" : " nearest");
    const char *sampling = smooth ? " image-rendering=\"optimizeQuality\""
                                  : " style=\"image-rendering:optimizeSpeed;"
                                    "image-rendering:pixelated\"";
    return definition(key, [&](const std::string &id) {
        return "<image id=\"" + id + "\"" + attribute("width", std::to_string(source.width())) +
               attribute("height", std::to_string(source.height())) +
               " preserveAspectRatio=\"none\"" + sampling + " xlink:href=\"data:image/png;base64," +
               base64(encodePng(source)) + "\"/>";
    });
}

void SvgPainter::text(const TextRun &run) {
    constexpr const char *ANCHORS[] = {"start", "middle", "end"};
    std::string open = "<text";
    if (run.rotation != 0) {
        open += " transform=\"translate(" + xy(run.anchor) + ") rotate(" +
                shortest(-run.rotation) + ")\"";
    } else {
        open += attribute("x", number(run.anchor.x)) +
                attribute("y", number(space_.flip - run.anchor.y));
    }
    if (run.baselineEm != 0) open += attribute("dy", shortest(run.baselineEm) + "em");
    open += attribute("font-size", number(run.size)) +
            attribute("font-family", fontFamily(run.typeface));
    if (run.bold) open += " font-weight=\"bold\"";
    if (run.italic) open += " font-style=\"italic\"";
    out_ << open << attribute("text-anchor", ANCHORS[int(run.horizontal)])
         << paint("fill", run.color) << " xml:space=\"preserve\">" << escapeXml(run.text)
         << "</text>\n";
}

// One group per mark type in the unit box, in currentColor; each mark a <use> of it.
void SvgPainter::mark(const MarkFigure &mark) {
    const std::string id = definition("mark " + std::to_string(mark.type), [&](const std::string &def) {
        const Space saved = space_;
        space_ = {MAX_DECIMALS, 0};
        std::string group = "<g id=\"" + def + "\">";
        for (const MarkPart &part : markParts(mark.type)) {
            group += "<path d=\"" + pathData(part.path) + "\"" +
                     (part.stroked ? " fill=\"none\" stroke=\"currentColor\" stroke-width=\"" +
                                         shortest(MARK_STROKE) + "\""
                                   : " fill=\"currentColor\"") +
                     "/>";
        }
        space_ = saved;
        return group + "</g>";
    });
    std::string use = "<use xlink:href=\"#" + id + "\" transform=\"translate(" + xy(mark.at) +
                      ") scale(" + shortest(mark.size) + ")\"" + attribute("color", hex(mark.color));
    if (mark.color.a != 255) {
        const std::string opacity = shortest(mark.color.a / 255.0);
        use += attribute("fill-opacity", opacity) + attribute("stroke-opacity", opacity);
    }
    out_ << use << "/>\n";
}

// The source rectangle, in pixels from the image's lower-left corner, shown in the
// destination through a nested viewport.
void SvgPainter::image(const ImagePlacement &p) {
    const std::string id = imageId(p.image, *p.source, p.smooth);
    const double height = p.source->height();
    out_ << "<svg" << attribute("x", number(p.corner.x))
         << attribute("y", number(space_.flip - (p.corner.y + p.size.y)))
         << attribute("width", number(p.size.x)) << attribute("height", number(p.size.y))
         << attribute("viewBox", shortest(p.sourceMin.x) + " " + shortest(height - p.sourceMax.y) +
                                     " " + shortest(p.sourceMax.x - p.sourceMin.x) + " " +
                                     shortest(p.sourceMax.y - p.sourceMin.y))
         << " preserveAspectRatio=\"none\"><use xlink:href=\"#" << id << "\"/></svg>\n";
}

std::optional<Error> renderSvg(std::span<const uint8_t> bytes, std::ostream &out,
                               const kvgr::impl::Limits &limits) {
    SvgPainter painter(out);
    return render(bytes, painter, Limits::forFile(bytes.size(), true, limits));
}

}  // namespace kvgrender
