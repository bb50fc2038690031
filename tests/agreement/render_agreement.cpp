// Every drawing the test suite made (the valid files it kept in the directory given as the
// first argument), drawn by every renderer: the positions that `kvg dump --json` gives on the page
// are where `kvg svg` puts them, to 0.01 mm; and the picture of the cairo renderer (`kvg
// render`) is the picture that rsvg-convert makes of the SVG, within the threshold below.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <cstring>
#include <set>
#include <sstream>
#include <unordered_map>

#include "cairo_painter.h"
#include "svg_painter.h"
#include "tool_support.h"

namespace kvgtest {
namespace {

namespace fs = std::filesystem;
using kvgrender::Vec;
using nlohmann::json;

std::string drawingsDirectory;

constexpr double TOLERANCE_MM = 0.01;

// The suite's stress files (millions of points, records of megabytes) are left out: their
// SVG passes what rsvg-convert parses (10 MB in one attribute) or takes it minutes, and what
// they draw is the same few figures as the smaller files.
constexpr size_t MAX_DRAWING_BYTES = size_t{512} << 10;

struct Drawing {
    std::string path;
    Bytes bytes;  // decompressed
};

struct Drawings {
    std::vector<Drawing> drawings;
    size_t large = 0;  // left out
};

// The drawings of the directory, loaded once for both tests.
const Drawings &drawings() {
    static const Drawings all = [] {
        Drawings found;
        std::vector<std::string> paths;
        if (fs::is_directory(drawingsDirectory))
            for (const auto &entry : fs::directory_iterator(drawingsDirectory))
                if (entry.path().extension() == ".kvg") paths.push_back(entry.path());
        std::ranges::sort(paths);
        for (const std::string &path : paths) {
            Bytes bytes = readGzipFile(path);
            if (bytes.size() > MAX_DRAWING_BYTES) {
                ++found.large;
            } else {
                found.drawings.push_back({path, std::move(bytes)});
            }
        }
        return found;
    }();
    return all;
}

// ---- Positions

// Page positions, looked up to TOLERANCE_MM (relative to their size far off the page, where
// a double cannot hold 0.01 mm) through a grid of cells that size.
class PositionSet {
public:
    void add(Vec p) {
        if (std::isfinite(p.x) && std::isfinite(p.y)) cells_[cell(p)].push_back(p);
    }
    bool holds(Vec p) const {
        const auto [cx, cy] = cell(p);
        for (int64_t x = cx - 1; x <= cx + 1; ++x)
            for (int64_t y = cy - 1; y <= cy + 1; ++y) {
                const auto found = cells_.find({x, y});
                if (found == cells_.end()) continue;
                for (const Vec &q : found->second)
                    if (close(q.x, p.x) && close(q.y, p.y)) return true;
            }
        return false;
    }

private:
    static bool close(double a, double b) {
        return std::fabs(a - b) <= std::max(TOLERANCE_MM, 1e-12 * std::fabs(b));
    }
    static int64_t index(double v) {
        constexpr double FAR = 1e12;  // beyond, one cell on each side
        return int64_t(std::floor(std::clamp(v, -FAR, FAR) / TOLERANCE_MM));
    }
    static std::pair<int64_t, int64_t> cell(Vec p) { return {index(p.x), index(p.y)}; }
    struct CellHash {
        size_t operator()(const std::pair<int64_t, int64_t> &c) const {
            return std::hash<uint64_t>()(uint64_t(c.first) * 1000003 ^ uint64_t(c.second));
        }
    };
    std::unordered_map<std::pair<int64_t, int64_t>, std::vector<Vec>, CellHash> cells_;
};

double toDouble(const std::string &text) { return std::strtod(text.c_str(), nullptr); }

// The numbers of a list such as path data or a transform's arguments.
std::vector<double> numbers(std::string_view text) {
    std::vector<double> out;
    std::string buffer(text);
    const char *p = buffer.c_str();
    while (*p != '\0') {
        char *end = nullptr;
        const double v = std::strtod(p, &end);
        if (end == p) {
            ++p;
        } else {
            out.push_back(v);
            p = end;
        }
    }
    return out;
}

// The absolute points of SVG path data (M, L, C, A, Z, absolute or relative).
void addPathPoints(const std::string &d, double height, PositionSet &set) {
    Vec current, start;
    const auto add = [&](Vec svg) { set.add({svg.x, height - svg.y}); };
    const auto isCommand = [](char c) { return std::strchr("MLCAZmlcaz", c) != nullptr; };
    for (size_t i = 0; i < d.size();) {
        const char c = d[i];
        size_t next = i + 1;
        while (next < d.size() && !isCommand(d[next])) ++next;
        const std::vector<double> v = numbers(std::string_view(d).substr(i + 1, next - i - 1));
        i = next;
        const bool relative = std::islower(c);
        const auto at = [&](size_t k) {
            return relative ? Vec{current.x + v[k], current.y + v[k + 1]} : Vec{v[k], v[k + 1]};
        };
        switch (std::toupper(c)) {
            case 'Z': current = start; break;
            case 'M':
            case 'L':
                for (size_t k = 0; k + 1 < v.size(); k += 2) {
                    current = at(k);
                    if (k == 0 && std::toupper(c) == 'M') start = current;
                    add(current);
                }
                break;
            case 'C':
                for (size_t k = 0; k + 5 < v.size(); k += 6) {
                    for (size_t j = 0; j < 6; j += 2) add(at(k + j));
                    current = at(k + 4);
                }
                break;
            case 'A':
                for (size_t k = 0; k + 6 < v.size(); k += 7) {
                    current = at(k + 5);
                    add(current);
                }
                break;
        }
    }
}

std::string attribute(std::string_view element, const std::string &name) {
    const size_t at = element.find(" " + name + "=\"");
    if (at == std::string_view::npos) return "";
    const size_t start = at + name.size() + 3;
    return std::string(element.substr(start, element.find('"', start) - start));
}

// Every position the SVG document shows on the page (y up, millimetres).
PositionSet svgPositions(const std::string &svg, double height) {
    PositionSet set;
    for (size_t open = svg.find('<'); open != std::string::npos; open = svg.find('<', open + 1)) {
        const size_t close = svg.find('>', open);
        const std::string_view e = std::string_view(svg).substr(open, close - open);
        const std::string_view kind = e.substr(1, e.find(' ') - 1);
        const auto point = [&](double x, double y) { set.add({x, height - y}); };
        if (kind == "path") addPathPoints(attribute(e, "d"), height, set);
        if (kind == "ellipse")
            point(toDouble(attribute(e, "cx")), toDouble(attribute(e, "cy")));
        if (kind == "text" && !attribute(e, "x").empty())
            point(toDouble(attribute(e, "x")), toDouble(attribute(e, "y")));
        if (kind == "svg" && !attribute(e, "x").empty())  // an image: its lower-left corner
            point(toDouble(attribute(e, "x")),
                  toDouble(attribute(e, "y")) + toDouble(attribute(e, "height")));
        const std::string transform = attribute(e, "transform");
        const std::vector<double> t = numbers(transform);
        if (transform.starts_with("translate") && t.size() >= 2) point(t[0], t[1]);
        if (transform.starts_with("matrix") && t.size() == 6) point(t[4], t[5]);
    }
    return set;
}

// A field of a dump record that is a position: its page coordinates.
std::optional<Vec> located(const json &record, const char *name) {
    if (!record.contains(name)) return std::nullopt;
    const json &p = record[name];
    const json &page = p.contains("world") ? p["world"] : p["page"];
    if (!page[0].is_number() || !page[1].is_number()) return std::nullopt;  // not finite
    return Vec{page[0].get<double>(), page[1].get<double>()};
}
std::optional<Vec> centre(const json &record) {
    if (auto c = located(record, "center")) return c;
    return located(record, "centre");
}
std::vector<Vec> locatedList(const json &record, const char *name) {
    std::vector<Vec> out;
    if (!record.contains(name)) return out;
    for (const json &p : record[name]) {
        const json &page = p.contains("world") ? p["world"] : p["page"];
        if (page[0].is_number() && page[1].is_number())
            out.push_back({page[0].get<double>(), page[1].get<double>()});
    }
    return out;
}

const std::set<std::string> DRAWINGS = {
    "polyline",   "draw-polygon",  "fill-polygon", "draw-cubic-bezier", "fill-cubic-bezier",
    "draw-arc",   "fill-arc",      "text",         "shape",             "image",
    "mark",       "line",          "draw-box",     "draw-circle",       "draw-ellipse",
    "fill-box",   "fill-circle",   "fill-ellipse", "stamp-shape",       "repeat-shape",
    "full-image", "draw-edge",     "draw-edge-range", "fill-face"};

// The page positions that the dump gives for what the layers draw (shape definitions are
// drawn in their own units), edges included where the layers use them.
std::vector<Vec> dumpPositions(const std::string &path) {
    const ToolRun dump = kvg({"dump", "--json", path});
    if (dump.status != 0) throw std::runtime_error("kvg dump: " + dump.err);
    std::map<int64_t, std::vector<Vec>> edges;
    std::vector<std::vector<int64_t>> faceEdges, faceHoles;
    std::set<int64_t> used;
    std::vector<uint64_t> filled;
    std::vector<Vec> out;
    std::istringstream lines(dump.out);
    for (std::string line; std::getline(lines, line);) {
        const json r = json::parse(line);
        const std::string kind = r["record"];
        if (kind == "set-edge") edges[r["id"].get<int64_t>()] = locatedList(r, "points");
        if (kind == "set-face") {
            faceEdges.push_back(r["edges"].get<std::vector<int64_t>>());
            faceHoles.push_back(r["holes"].get<std::vector<int64_t>>());
        }
        if (r["section"] != "layers" || r.contains("in_shape") || !DRAWINGS.contains(kind))
            continue;
        for (const Vec &p : locatedList(r, "points")) out.push_back(p);
        for (const char *name : {"anchor", "at", "corner"})
            if (auto p = located(r, name)) out.push_back(*p);
        const auto c = centre(r);
        if (c && kind != "draw-arc") out.push_back(*c);
        if (kind == "draw-box" || kind == "fill-box")
            if (const auto size = located(r, "size")) out.push_back(*located(r, "corner") + *size);
        const auto half = located(r, "half_size");
        if ((kind == "draw-arc" || kind == "fill-arc") && c && half) {
            const double t = r["start"].get<double>() * std::numbers::pi / 180;
            out.push_back({c->x + half->x * std::cos(t), c->y + half->y * std::sin(t)});
        }
        if (kind == "draw-edge") used.insert(std::llabs(r["edge"].get<int64_t>()));
        if (kind == "draw-edge-range") {
            const int64_t a = r["first"], b = r["last"];
            for (int64_t id = std::min(a, b); id <= std::max(a, b); ++id) used.insert(std::llabs(id));
        }
        if (kind == "fill-face") filled.push_back(r["face"].get<uint64_t>());
    }
    std::set<uint64_t> faces;
    for (std::vector<uint64_t> pending = filled; !pending.empty();) {
        const uint64_t face = pending.back();
        pending.pop_back();
        if (face >= faceEdges.size() || !faces.insert(face).second) continue;
        for (const int64_t edge : faceEdges[face]) used.insert(std::llabs(edge));
        for (const int64_t hole : faceHoles[face]) pending.push_back(uint64_t(hole));
    }
    for (const int64_t id : used)
        if (edges.contains(id)) out.insert(out.end(), edges[id].begin(), edges[id].end());
    return out;
}

// ---- Pictures

// Where rsvg-convert's picture may differ from the rule, so that the comparison leaves it
// out: images and textures stretched nearest-neighbour, which rsvg smooths whatever the SVG
// asks, as bounding boxes on the page; and the largest line width, text and mark on the page,
// since neither renderer draws lengths far beyond any page (cairo's fixed-point numbers end
// at 2^23).
class NearestSampling final : public kvgrender::Painter {
public:
    std::vector<std::pair<Vec, Vec>> boxes;  // page millimetres
    double largest = 0;                      // millimetres

    void beginPage(const kvgrender::Page &) override {}
    void endPage() override {}
    void beginLayer(std::string_view, bool) override {}
    void endLayer() override {}
    void beginGroup(std::string_view) override {}
    void endGroup() override {}
    void beginShape(uint32_t shape) override { current_ = &shapes_[shape]; }
    void endShape() override { current_ = nullptr; }
    void placeShape(uint32_t shape, const kvgrender::Affine &m) override {
        for (const auto &[low, high] : shapes_[shape]) {
            const Vec corners[] = {m.apply(low), m.apply(high), m.apply({low.x, high.y}),
                                   m.apply({high.x, low.y})};
            Vec lo = corners[0], hi = corners[0];
            for (const Vec &c : corners) {
                lo = {std::min(lo.x, c.x), std::min(lo.y, c.y)};
                hi = {std::max(hi.x, c.x), std::max(hi.y, c.y)};
            }
            boxes.push_back({lo, hi});
        }
    }
    void fill(const kvgrender::Figure &figure, const kvgrender::Fill &fill) override {
        if (fill.kind != kvgrender::Fill::Kind::Texture || fill.texture.smooth) return;
        Vec lo{1e300, 1e300}, hi{-1e300, -1e300};
        for (const Vec &p : figure.path->points()) {
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y)};
        }
        for (const kvgrender::Arc &a : figure.path->arcs()) {
            lo = {std::min(lo.x, a.center.x - a.radii.x), std::min(lo.y, a.center.y - a.radii.y)};
            hi = {std::max(hi.x, a.center.x + a.radii.x), std::max(hi.y, a.center.y + a.radii.y)};
        }
        keep(lo, hi);
    }
    void stroke(const kvgrender::Figure &, const kvgrender::Stroke &s) override { note(s.width); }
    void text(const kvgrender::TextRun &run) override { note(run.size); }
    void mark(const kvgrender::MarkFigure &mark) override { note(mark.size); }
    void image(const kvgrender::ImagePlacement &p) override {
        if (!p.smooth) keep(p.corner, p.corner + p.size);
    }

private:
    void note(double length) {
        if (current_ == nullptr) largest = std::max(largest, length);
    }
    void keep(Vec lo, Vec hi) {
        (current_ != nullptr ? *current_ : boxes).push_back({lo, hi});
    }
    std::map<uint32_t, std::vector<std::pair<Vec, Vec>>> shapes_;
    std::vector<std::pair<Vec, Vec>> *current_ = nullptr;
};

struct Difference {
    uint64_t compared = 0;
    uint64_t beyond = 0;  // pixels with a channel more than BEYOND levels apart
    double mean = 0;      // mean of the largest channel difference
};
// Both renderers draw through cairo and lay text out with pango: what differs is where the
// anti-aliased edges of curves fall (cairo's arcs here, rsvg's Bézier arcs there) and of glyph
// outlines, by a fraction of a pixel, so an edge pixel's coverage differs by less than a
// quarter. Over the suite's 223 drawings (37.6 million pixels, 2026-12): 0.13 % of the pixels
// differ at all, 0.0003 % by more than 32 levels, none by more than 64; the largest mean
// difference of a drawing is 0.17 levels (a thick circle's two edges). A fault (a figure
// missing, moved by a pixel or more, of another colour) changes whole pixels: more than 64
// levels. So a drawing agrees with at most a few such pixels and a mean under half a level
// (a colour one level off over the whole page fails it).
constexpr int BEYOND = 64;
constexpr uint64_t MOST_BEYOND = 4;
constexpr double MOST_MEAN = 0.5;
constexpr double FAR_MM = 1e6;
constexpr double MAX_SIDE = 1024;

Difference compare(const Image &a, const Image &b, const std::vector<std::pair<Vec, Vec>> &masks,
                   double pageHeight, double pixel) {
    std::vector<bool> masked(size_t{a.width} * a.height);
    for (const auto &[lo, hi] : masks) {
        const auto clampX = [&](double v) { return std::clamp(v, 0.0, double(a.width)); };
        const auto clampY = [&](double v) { return std::clamp(v, 0.0, double(a.height)); };
        for (auto y = size_t(clampY((pageHeight - hi.y) * pixel - 2));
             y < size_t(clampY((pageHeight - lo.y) * pixel + 2)); ++y)
            for (auto x = size_t(clampX(lo.x * pixel - 2)); x < size_t(clampX(hi.x * pixel + 2)); ++x)
                masked[y * a.width + x] = true;
    }
    Difference d;
    double total = 0;
    for (uint32_t y = 0; y < a.height; ++y)
        for (uint32_t x = 0; x < a.width; ++x) {
            if (masked[size_t{y} * a.width + x]) continue;
            const Rgba p = a.at(x, y), q = b.at(x, y);
            const int delta = std::max({std::abs(p.r - q.r), std::abs(p.g - q.g),
                                        std::abs(p.b - q.b), std::abs(p.a - q.a)});
            ++d.compared;
            d.beyond += delta > BEYOND;
            total += delta;
        }
    d.mean = d.compared > 0 ? total / double(d.compared) : 0;
    return d;
}

TEST(RendererAgreement, DumpAndSvgPutEveryPositionInOnePlace) {
    ASSERT_GT(drawings().drawings.size(), 0u) << "no drawings in " << drawingsDirectory;
    for (const auto &[path, bytes] : drawings().drawings) {
        std::ostringstream svg;
        if (kvgrender::renderSvg(bytes, svg)) continue;  // beyond the renderers' limits
        const double height = std::get<kvgrender::Page>(kvgrender::page(bytes)).height;
        const PositionSet shown = svgPositions(svg.str(), height);
        size_t missing = 0;
        for (const Vec &p : dumpPositions(path))
            if (!shown.holds(p) && missing++ < 3)
                ADD_FAILURE() << path << ": the dump's position (" << p.x << ", " << p.y
                              << ") mm is not in the SVG";
    }
}

TEST(RendererAgreement, CairoDrawsThePictureRsvgMakesOfTheSvg) {
    if (!haveRsvg()) GTEST_SKIP() << "rsvg-convert is not installed";
    uint64_t compared = 0, beyond = 0;
    size_t pictures = 0, far = 0, repeating = 0;
    double worstMean = 0;
    for (const auto &[path, bytes] : drawings().drawings) {
        // rsvg-convert takes minutes over positions far off the page, and neither renderer
        // draws lengths far beyond it; such a drawing's positions are checked above, its
        // picture is not compared.
        const auto offPage = [](Vec p) { return std::fabs(p.x) > FAR_MM || std::fabs(p.y) > FAR_MM; };
        if (std::ranges::any_of(dumpPositions(path), offPage)) {
            ++far;
            continue;
        }
        TempPath svgPath(".svg");
        std::ostringstream svg, png;
        if (kvgrender::renderSvg(bytes, svg)) continue;
        writeText(svgPath.str(), svg.str());
        // 96 pixels an inch, or fewer for a page of more than 1024 pixels on a side.
        const kvgrender::Page page = std::get<kvgrender::Page>(kvgrender::page(bytes));
        // (to a hundredth, so that both renderers round the page's size alike)
        const double dpi = std::min(
            96.0, std::floor(MAX_SIDE * 25.4 / std::max(page.width, page.height) * 100) / 100);
        // A drawing that repeats what it paints beyond the limits of a renderer that cannot
        // refer to what it drew before (cairo) is refused; its SVG is checked above.
        NearestSampling nearest;
        if (kvgrender::render(bytes, nearest, kvgrender::Limits::forFile(bytes.size(), false))) {
            ++repeating;
            continue;
        }
        if (nearest.largest > FAR_MM) {
            ++far;
            continue;
        }
        ASSERT_FALSE(kvgrender::renderPng(bytes, {.dpi = dpi}, png)) << path;
        const Image ours = decodePng(png.str()), theirs = rasterize(svgPath.str(), dpi);
        ASSERT_EQ(ours.width, theirs.width) << path;
        ASSERT_EQ(ours.height, theirs.height) << path;
        const Difference d = compare(ours, theirs, nearest.boxes, page.height, dpi / 25.4);
        ++pictures;
        compared += d.compared;
        beyond += d.beyond;
        worstMean = std::max(worstMean, d.mean);
        EXPECT_LE(d.beyond, MOST_BEYOND) << path;
        EXPECT_LE(d.mean, MOST_MEAN) << path;
    }
    std::printf("compared %llu pixels of %zu drawings (left out: %zu far beyond the page, %zu "
                "beyond the painting limits, %zu larger than %zu bytes): %.4f %% beyond %d "
                "levels, worst mean %.3f\n",
                static_cast<unsigned long long>(compared), pictures, far, repeating,
                drawings().large, MAX_DRAWING_BYTES,
                compared > 0 ? 100.0 * double(beyond) / double(compared) : 0.0, BEYOND, worstMean);
}

}  // namespace
}  // namespace kvgtest

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc > 1) kvgtest::drawingsDirectory = argv[1];
    return RUN_ALL_TESTS();
}
