// Geometry of the render core: positions, affine maps and paths, in user units with y up.
#ifndef KVGRENDER_GEOMETRY_H
#define KVGRENDER_GEOMETRY_H

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kvgrender {

struct Vec {
    double x = 0.0;
    double y = 0.0;
    friend bool operator==(const Vec &, const Vec &) = default;
    Vec operator+(Vec o) const { return {x + o.x, y + o.y}; }
    Vec operator-(Vec o) const { return {x - o.x, y - o.y}; }
    Vec operator*(double k) const { return {x * k, y * k}; }
};

// x' = a x + c y + e, y' = b x + d y + f.
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    Vec apply(Vec p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
    // This map after `first`: p -> this(first(p)).
    Affine after(const Affine &first) const;
    static Affine translation(Vec offset) { return {1, 0, 0, 1, offset.x, offset.y}; }
    static Affine scaling(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static Affine rotation(double degrees);  // counter-clockwise with y up
};

// An elliptic arc whose axes lie along the user axes: the points centre + (rx cos t, ry sin t)
// for t from `start` through `start + sweep` degrees (sweep > 0: counter-clockwise with y up).
struct Arc {
    Vec center;
    Vec radii;
    double start = 0;
    double sweep = 0;
    Vec at(double degrees) const;
};

// Subpaths of straight lines, cubic Bézier curves and elliptic arcs.
class Path {
public:
    enum class Op : uint8_t { Move, Line, Cubic, Arc, Close };

    void moveTo(Vec p);
    void lineTo(Vec p);
    void cubicTo(Vec c1, Vec c2, Vec end);
    // An arc from the current point, which must be the arc's start point.
    void arcTo(const Arc &arc);
    void close();
    // The points of a chain: moves to the first unless the current subpath ends there, then
    // lines to the others.
    void chain(std::span<const Vec> points);

    // Whether a chain starting at `p` continues the current subpath.
    bool continuesAt(Vec p) const { return open_ && current_ && *current_ == p; }
    bool empty() const { return ops_.empty(); }
    // Whether every point and arc of the path is a finite position.
    bool finite() const { return finite_; }
    std::span<const Op> ops() const { return ops_; }
    std::span<const Vec> points() const { return points_; }  // 1 per Move and Line, 3 per Cubic
    std::span<const Arc> arcs() const { return arcs_; }
    // Points and arcs: the work of drawing the path.
    uint64_t size() const { return points_.size() + arcs_.size(); }
    // A whole ellipse and nothing else (as a circle or ellipse record draws it).
    std::optional<Arc> wholeEllipse() const;

private:
    std::vector<Op> ops_;
    std::vector<Vec> points_;
    std::vector<Arc> arcs_;
    void note(Vec p) { finite_ = finite_ && std::isfinite(p.x) && std::isfinite(p.y); }

    std::optional<Vec> current_;
    bool open_ = false;  // a subpath has been started and not closed
    bool finite_ = true;
};

// Where a path begins and ends and the directions in which it leaves there (unit vectors
// pointing away from the path), for end decorations; nothing for a path without length.
struct Ends {
    Vec start, startOutward;
    Vec end, endOutward;
};
std::optional<Ends> pathEnds(const Path &path);

}  // namespace kvgrender

#endif  // KVGRENDER_GEOMETRY_H
