// The scene as the tightest honest SVG a person would write by hand: the world mapped onto the
// same 4096 grid, so that every coordinate is a small integer; the y axis turned up by one
// transform; path data in relative commands with no separator that a minus sign makes
// redundant; repeated points dropped. One path per figure and per face (a face repeats its
// edges' points: SVG cannot share them) and one path for all edges.
#include "text_output.h"
#include "writers.h"

namespace scene {

namespace {

// World to grid, rounded to nearest by truncating a value made positive.
int32_t toGrid(double world) {
    return static_cast<int32_t>(world * kGridPerWorld + (kGridSize + 0.5)) - kGridSize;
}

GridPoint toGrid(WorldPoint p) { return {toGrid(p.x), toGrid(p.y)}; }

// Path data: "m" starts a subpath relative to the current point (at the start of the data that
// is the origin, which makes the first one absolute); the pairs that follow a moveto are
// relative linetos without a command letter of their own.
template <typename Out>
class PathData {
public:
    explicit PathData(Out &out) : out_(out) {}

    void move(GridPoint p) {
        out_.put('m');
        after_letter_ = true;
        pair(p);
        start_ = p;
    }
    void line(GridPoint p) {
        if (p.x != at_.x || p.y != at_.y) pair(p);
    }
    void close() {
        out_.put('z');
        after_letter_ = true;
        at_ = start_;
    }

private:
    void pair(GridPoint p) {
        number(p.x - at_.x);
        number(p.y - at_.y);
        at_ = p;
    }
    void number(int32_t value) {
        if (value >= 0 && !after_letter_) out_.put(' ');
        after_letter_ = false;
        out_.putInt(value);
    }

    Out &out_;
    GridPoint at_{0, 0};
    GridPoint start_{0, 0};
    bool after_letter_ = false;
};

template <typename Out>
void putColor(Out &out, uint32_t rgb) {
    static constexpr char kHex[] = "0123456789abcdef";
    char text[7] = {'#'};
    for (int i = 0; i < 6; ++i) text[1 + i] = kHex[(rgb >> (20 - 4 * i)) & 0xF];
    out.put(std::string_view(text, sizeof text));
}

// Points of a run in order, or backwards.
template <typename Visit>
void forEachPoint(std::span<const WorldPoint> points, bool backwards, Visit visit) {
    if (backwards) {
        for (size_t i = points.size(); i-- > 0;) visit(toGrid(points[i]));
    } else {
        for (const WorldPoint &p : points) visit(toGrid(p));
    }
}

template <typename Out>
void writeFace(Out &out, const Scene &s, const Face &face) {
    out.put("<path fill=\"");
    putColor(out, face.rgb);
    out.put("\" d=\"");
    PathData<Out> d(out);
    bool started = false;
    GridPoint start{0, 0};
    for (int32_t edge : s.edgesOf(face)) {
        const Slice &run = s.edges[static_cast<size_t>(edge < 0 ? -edge : edge) - 1];
        forEachPoint(s.points(run), edge < 0, [&](GridPoint p) {
            if (!started) {
                d.move(p);
                start = p;
                started = true;
            } else if (p.x != start.x || p.y != start.y) {  // "z" returns to the start
                d.line(p);  // drops each edge's first point, which ends the edge before it
            }
        });
    }
    d.close();
    out.put("\"/>");
}

template <typename Out>
void writeEdges(Out &out, const Scene &s) {
    out.put("<path fill=\"none\" stroke=\"#808080\" d=\"");
    PathData<Out> d(out);
    for (const Slice &edge : s.edges) {
        const auto points = s.points(edge);
        d.move(toGrid(points[0]));
        for (size_t i = 1; i < points.size(); ++i) d.line(toGrid(points[i]));
    }
    out.put("\"/>");
}

template <typename Out>
void writeFigure(Out &out, const Scene &s, const Figure &figure) {
    out.put("<path d=\"");
    PathData<Out> d(out);
    const auto points = s.points(figure);
    d.move(toGrid(points[0]));
    for (size_t i = 1; i < points.size(); ++i) d.line(toGrid(points[i]));
    if (figure.closed) d.close();
    out.put("\"/>");
}

// The figures of one kind in a group that gives their style.
template <typename Out>
void writeFigures(Out &out, const Scene &s, bool closed, std::string_view group) {
    out.put(group);
    for (const Figure &figure : s.figures) {
        if (figure.closed == closed) writeFigure(out, s, figure);
    }
    out.put("</g>");
}

// The whole document on `out`, which is left open.
template <typename Out>
void writeDocument(Out &out, const Scene &s) {
    out.put("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100mm\" height=\"100mm\" "
            "viewBox=\"-2048 -2048 4096 4096\"><g transform=\"scale(1,-1)\"><g>");
    for (const Face &face : s.faces) writeFace(out, s, face);
    writeEdges(out, s);
    out.put("</g>");
    writeFigures(out, s, false, "<g fill=\"none\" stroke=\"#000\">");
    writeFigures(out, s, true, "<g fill=\"#4682b4\">");
    out.put("</g></svg>\n");
}

}  // namespace

uint64_t writeHandSvg(const Scene &s, const std::string &path, int gzip_level) {
    TextOutput out(path, gzip_level);
    writeDocument(out, s);
    out.close();
    return fileSize(path);
}

uint64_t writeStdioSvg(const Scene &s, const std::string &path) {
    StdioTextOutput out(path);
    writeDocument(out, s);
    out.close();
    return fileSize(path);
}

}  // namespace scene
