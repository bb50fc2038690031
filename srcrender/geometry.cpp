#include "geometry.h"

#include <cmath>
#include <numbers>

namespace kvgrender {

namespace {

double radians(double degrees) { return degrees * std::numbers::pi / 180; }

std::optional<Vec> unit(Vec v) {
    const double length = std::hypot(v.x, v.y);
    if (!(length > 0) || !std::isfinite(length)) return std::nullopt;
    return v * (1 / length);
}

// The direction of travel of an arc at parameter t.
Vec arcTangent(const Arc &arc, double degrees) {
    const double t = radians(degrees), sign = arc.sweep < 0 ? -1 : 1;
    return Vec{-arc.radii.x * std::sin(t), arc.radii.y * std::cos(t)} * sign;
}

// One segment of a path, from `from`: a line, a cubic or an arc.
struct Segment {
    Path::Op op;
    Vec from;
    const Vec *points;  // 1 for a line, 3 for a cubic
    const Arc *arc;

    Vec to() const {
        if (op == Path::Op::Arc) return arc->at(arc->start + arc->sweep);
        return points[op == Path::Op::Cubic ? 2 : 0];
    }
    // The direction in which the segment leaves `from`, and in which it arrives at its end.
    std::optional<Vec> leaving() const {
        if (op == Path::Op::Arc) return unit(arcTangent(*arc, arc->start));
        if (op == Path::Op::Line) return unit(points[0] - from);
        for (int i = 0; i < 3; ++i)
            if (const auto d = unit(points[i] - from)) return d;
        return std::nullopt;
    }
    std::optional<Vec> arriving() const {
        if (op == Path::Op::Arc) return unit(arcTangent(*arc, arc->start + arc->sweep));
        if (op == Path::Op::Line) return unit(points[0] - from);
        for (const Vec p : {points[1], points[0], from})
            if (const auto d = unit(points[2] - p)) return d;
        return std::nullopt;
    }
};

// Calls visit(subpath, segment) for the segments of `path` in order; subpaths count from 0.
template <class Visit>
void forEachSegment(const Path &path, Visit visit) {
    size_t point = 0, arc = 0;
    int subpath = -1;
    Vec current, start;
    for (const Path::Op op : path.ops()) {
        if (op == Path::Op::Move) {
            current = start = path.points()[point++];
            ++subpath;
        } else if (op == Path::Op::Close) {
            current = start;
        } else {
            const bool isArc = op == Path::Op::Arc;
            const Segment s{op, current, isArc ? nullptr : &path.points()[point],
                            isArc ? &path.arcs()[arc] : nullptr};
            isArc ? ++arc : point += op == Path::Op::Cubic ? 3 : 1;
            visit(subpath, s);
            current = s.to();
        }
    }
}

}  // namespace

Affine Affine::after(const Affine &first) const {
    return {a * first.a + c * first.b,     b * first.a + d * first.b,
            a * first.c + c * first.d,     b * first.c + d * first.d,
            a * first.e + c * first.f + e, b * first.e + d * first.f + f};
}

Affine Affine::rotation(double degrees) {
    const double t = radians(degrees), cs = std::cos(t), sn = std::sin(t);
    return {cs, sn, -sn, cs, 0, 0};
}

Vec Arc::at(double degrees) const {
    const double t = radians(degrees);
    return {center.x + radii.x * std::cos(t), center.y + radii.y * std::sin(t)};
}

void Path::moveTo(Vec p) {
    note(p);
    ops_.push_back(Op::Move);
    points_.push_back(p);
    current_ = p;
    open_ = true;
}

void Path::lineTo(Vec p) {
    note(p);
    ops_.push_back(Op::Line);
    points_.push_back(p);
    current_ = p;
}

void Path::cubicTo(Vec c1, Vec c2, Vec end) {
    for (const Vec p : {c1, c2, end}) note(p);
    ops_.push_back(Op::Cubic);
    points_.insert(points_.end(), {c1, c2, end});
    current_ = end;
}

void Path::arcTo(const Arc &arc) {
    note(arc.center);
    note(arc.radii);
    note({arc.start, arc.sweep});
    ops_.push_back(Op::Arc);
    arcs_.push_back(arc);
    current_ = arc.at(arc.start + arc.sweep);
}

void Path::close() {
    if (!open_) return;
    ops_.push_back(Op::Close);
    open_ = false;
    current_.reset();
}

void Path::chain(std::span<const Vec> points) {
    if (points.empty()) return;
    if (!open_ || !current_ || !(*current_ == points.front())) moveTo(points.front());
    for (const Vec &p : points.subspan(1)) lineTo(p);
}

std::optional<Arc> Path::wholeEllipse() const {
    const bool shape = ops_.size() == 3 && ops_[0] == Op::Move && ops_[1] == Op::Arc &&
                       ops_[2] == Op::Close;
    if (!shape || std::fabs(arcs_[0].sweep) < 360) return std::nullopt;
    return arcs_[0];
}

// The first subpath's first direction and the last subpath's last one, in one pass.
std::optional<Ends> pathEnds(const Path &path) {
    Ends ends;
    std::optional<Vec> first, last;
    int lastSubpath = -1;
    forEachSegment(path, [&](int subpath, const Segment &s) {
        if (subpath == 0 && !first && (first = s.leaving())) ends.start = s.from;
        if (subpath != lastSubpath) last.reset();
        lastSubpath = subpath;
        if (const std::optional<Vec> d = s.arriving()) {
            last = d;
            ends.end = s.to();
        }
    });
    if (!first || !last) return std::nullopt;
    ends.startOutward = *first * -1;
    ends.endOutward = *last;
    return ends;
}

}  // namespace kvgrender
