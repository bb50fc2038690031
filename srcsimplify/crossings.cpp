// Crossings among the segments that a threshold keeps, found through a grid of cells, and
// mended by putting back the most important vertex that a crossing segment left out.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "simplify.h"

namespace kvgsimplify {

namespace {

struct Segment {
    GridPos a, b;
    size_t arc;
    size_t from, to;  // the arc's vertices at its ends
    bool original() const { return to == from + 1; }
};

std::vector<Segment> segmentsAt(const std::vector<Chain> &arcs, const Importance &importance,
                                double threshold) {
    std::vector<Segment> result;
    for (size_t a = 0; a < arcs.size(); ++a) {
        size_t from = 0;
        for (size_t k = 1; k < arcs[a].size(); ++k) {
            if (importance[a][k] < threshold) continue;
            result.push_back({arcs[a][from], arcs[a][k], a, from, k});
            from = k;
        }
    }
    return result;
}

// Exact: grids have at most 2^24 steps a side, so the products stay below 2^51.
int orientation(GridPos a, GridPos b, GridPos c) {
    const int64_t cross = (int64_t(b.x) - a.x) * (int64_t(c.y) - a.y) -
                          (int64_t(b.y) - a.y) * (int64_t(c.x) - a.x);
    return (cross > 0) - (cross < 0);
}

// Whether two segments have more in common than an end of both: they cross, one touches the
// other's inside, or they overlap along a line.
bool conflict(const Segment &p, const Segment &q) {
    const int o1 = orientation(p.a, p.b, q.a), o2 = orientation(p.a, p.b, q.b);
    const int o3 = orientation(q.a, q.b, p.a), o4 = orientation(q.a, q.b, p.b);
    if ((o1 != 0 && o1 == o2) || (o3 != 0 && o3 == o4)) return false;
    if (o1 == 0 && o2 == 0) {  // on one line: overlapping by more than a point?
        const bool byX = p.a.x != p.b.x;
        const auto lo = [&](const Segment &s) { return byX ? std::min(s.a.x, s.b.x) : std::min(s.a.y, s.b.y); };
        const auto hi = [&](const Segment &s) { return byX ? std::max(s.a.x, s.b.x) : std::max(s.a.y, s.b.y); };
        return std::min(hi(p), hi(q)) > std::max(lo(p), lo(q));
    }
    const bool sharedEnd = p.a == q.a || p.a == q.b || p.b == q.a || p.b == q.b;
    return !sharedEnd;
}

struct Box {
    int64_t xmin, ymin, xmax, ymax;
};

Box boxOf(const Segment &s) {
    return {std::min(s.a.x, s.b.x), std::min(s.a.y, s.b.y), std::max(s.a.x, s.b.x), std::max(s.a.y, s.b.y)};
}

// Square cells about twice as wide as the segments are long, so that most segments lie in one
// to four of them.
class Cells {
public:
    explicit Cells(const std::vector<Segment> &segments) {
        double sum = 0;
        for (const Segment &s : segments) {
            const Box b = boxOf(s);
            sum += double(std::max(b.xmax - b.xmin, b.ymax - b.ymin));
        }
        size_ = std::max<int64_t>(1, int64_t(2 * sum / double(std::max<size_t>(1, segments.size()))));
    }
    int64_t of(int64_t v) const { return v >= 0 ? v / size_ : -((-v + size_ - 1) / size_); }
    static uint64_t key(int64_t cx, int64_t cy) {
        return uint64_t(cx + (int64_t(1) << 31)) << 32 | uint64_t(cy + (int64_t(1) << 31));
    }
    uint64_t keyAt(int64_t x, int64_t y) const { return key(of(x), of(y)); }
    // Calls visit(key) for every cell the box covers.
    template <typename Visit>
    void cover(const Box &b, Visit visit) const {
        for (int64_t cx = of(b.xmin); cx <= of(b.xmax); ++cx)
            for (int64_t cy = of(b.ymin); cy <= of(b.ymax); ++cy) visit(key(cx, cy));
    }

private:
    int64_t size_ = 1;
};

// The pairs of segments that conflict, each pair once.
std::vector<std::pair<size_t, size_t>> conflicts(const std::vector<Segment> &segments, const Cells &grid) {
    std::vector<std::pair<size_t, size_t>> found;
    std::vector<std::pair<uint64_t, size_t>> cells;
    for (size_t i = 0; i < segments.size(); ++i)
        grid.cover(boxOf(segments[i]), [&](uint64_t key) { cells.emplace_back(key, i); });
    std::ranges::sort(cells);
    for (size_t start = 0; start < cells.size();) {
        size_t end = start;
        while (end < cells.size() && cells[end].first == cells[start].first) ++end;
        for (size_t i = start; i < end; ++i)
            for (size_t j = i + 1; j < end; ++j) {
                const Segment &p = segments[cells[i].second], &q = segments[cells[j].second];
                const Box bp = boxOf(p), bq = boxOf(q);
                const int64_t x = std::max(bp.xmin, bq.xmin), y = std::max(bp.ymin, bq.ymin);
                if (x > std::min(bp.xmax, bq.xmax) || y > std::min(bp.ymax, bq.ymax)) continue;
                // Tested in the one cell that holds the corner of the boxes' overlap.
                if (grid.keyAt(x, y) != cells[start].first) continue;
                if (conflict(p, q)) found.emplace_back(cells[i].second, cells[j].second);
            }
        start = end;
    }
    return found;
}

// Whether p lies inside the region between the segment and the part of its arc that it
// replaces (or on the segment): a piece of the map there would change sides.
bool insideSwept(GridPos p, const Segment &s, const Chain &arc) {
    if (orientation(s.a, s.b, p) == 0 && std::min(s.a.x, s.b.x) <= p.x && p.x <= std::max(s.a.x, s.b.x) &&
        std::min(s.a.y, s.b.y) <= p.y && p.y <= std::max(s.a.y, s.b.y))
        return true;
    bool inside = false;
    for (size_t k = s.from; k <= s.to; ++k) {
        const GridPos u = arc[k], v = k == s.to ? arc[s.from] : arc[k + 1];
        if ((u.y > p.y) != (v.y > p.y)) {
            const int o = orientation(u, v, p);
            if ((o > 0) == (v.y > u.y)) inside = !inside;
        }
    }
    return inside;
}

// The segments that would leave a part of the map on their other side. Every part of the
// linework keeps its arcs' ends at any threshold, so testing those finds every part that a
// segment passes over without crossing it.
void findSweptParts(const std::vector<Chain> &arcs, const std::vector<Segment> &segments, const Cells &grid,
                    std::vector<bool> &mend) {
    std::vector<std::pair<uint64_t, GridPos>> ends;
    for (const Chain &arc : arcs)
        for (const GridPos p : {arc.front(), arc.back()}) ends.emplace_back(grid.keyAt(p.x, p.y), p);
    std::ranges::sort(ends, {}, [](const auto &e) { return e.first; });
    for (size_t i = 0; i < segments.size(); ++i) {
        const Segment &s = segments[i];
        if (s.original() || mend[i]) continue;
        Box box = boxOf(s);
        for (size_t k = s.from + 1; k < s.to; ++k) {
            const GridPos p = arcs[s.arc][k];
            box = {std::min<int64_t>(box.xmin, p.x), std::min<int64_t>(box.ymin, p.y),
                   std::max<int64_t>(box.xmax, p.x), std::max<int64_t>(box.ymax, p.y)};
        }
        grid.cover(box, [&](uint64_t key) {
            auto at = std::ranges::lower_bound(ends, key, {}, [](const auto &e) { return e.first; });
            for (; at != ends.end() && at->first == key && !mend[i]; ++at) {
                const GridPos p = at->second;
                if (p == s.a || p == s.b || p.x < box.xmin || p.x > box.xmax || p.y < box.ymin || p.y > box.ymax)
                    continue;
                mend[i] = insideSwept(p, s, arcs[s.arc]);
            }
        });
    }
}

// Puts back the most important vertex the segment left out.
void restore(const Segment &s, Importance &importance, double threshold) {
    std::vector<double> &values = importance[s.arc];
    size_t best = s.from + 1;
    for (size_t k = s.from + 2; k < s.to; ++k)
        if (values[k] > values[best]) best = k;
    values[best] = threshold;
}

}  // namespace

Repair repairCrossings(const std::vector<Chain> &arcs, Importance &importance, double threshold) {
    Repair repair;
    for (;;) {
        const std::vector<Segment> segments = segmentsAt(arcs, importance, threshold);
        std::vector<bool> mend(segments.size(), false);
        for (size_t i = 0; i < segments.size(); ++i)  // a loop that closed up into a point
            mend[i] = segments[i].a == segments[i].b && !segments[i].original();
        const Cells grid(segments);
        size_t unmended = 0;
        for (const auto &[i, j] : conflicts(segments, grid)) {
            if (segments[i].original() && segments[j].original()) ++unmended;
            mend[i] = mend[i] || !segments[i].original();
            mend[j] = mend[j] || !segments[j].original();
        }
        findSweptParts(arcs, segments, grid, mend);
        size_t restored = 0;
        for (size_t i = 0; i < segments.size(); ++i)
            if (mend[i]) {
                restore(segments[i], importance, threshold);
                ++restored;
            }
        repair.restored += restored;
        if (restored == 0) {
            repair.unmended = unmended;
            return repair;
        }
    }
}

}  // namespace kvgsimplify
