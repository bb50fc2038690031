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

// The pairs of segments that conflict, each pair once.
std::vector<std::pair<size_t, size_t>> conflicts(const std::vector<Segment> &segments) {
    std::vector<std::pair<size_t, size_t>> found;
    if (segments.empty()) return found;
    double sum = 0;
    for (const Segment &s : segments) {
        const Box b = boxOf(s);
        sum += double(std::max(b.xmax - b.xmin, b.ymax - b.ymin));
    }
    const int64_t cell = std::max<int64_t>(1, int64_t(2 * sum / double(segments.size())));
    const auto cellOf = [&](int64_t v) { return v >= 0 ? v / cell : -((-v + cell - 1) / cell); };
    const auto key = [](int64_t cx, int64_t cy) { return uint64_t(cx + (1LL << 31)) << 32 | uint64_t(cy + (1LL << 31)); };
    std::vector<std::pair<uint64_t, size_t>> cells;
    for (size_t i = 0; i < segments.size(); ++i) {
        const Box b = boxOf(segments[i]);
        for (int64_t cx = cellOf(b.xmin); cx <= cellOf(b.xmax); ++cx)
            for (int64_t cy = cellOf(b.ymin); cy <= cellOf(b.ymax); ++cy) cells.emplace_back(key(cx, cy), i);
    }
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
                if (key(cellOf(x), cellOf(y)) != cells[start].first) continue;
                if (conflict(p, q)) found.emplace_back(cells[i].second, cells[j].second);
            }
        start = end;
    }
    return found;
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
        size_t unmended = 0;
        for (const auto &[i, j] : conflicts(segments)) {
            if (segments[i].original() && segments[j].original()) ++unmended;
            mend[i] = mend[i] || !segments[i].original();
            mend[j] = mend[j] || !segments[j].original();
        }
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
