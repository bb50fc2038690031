// The importance of every vertex of an arc: weighted Visvalingam and Douglas-Peucker, each
// giving a value that never exceeds that of a vertex removed later (Visvalingam) or of the
// vertex that split its span (Douglas-Peucker), so that every threshold keeps a consistent set.
#include <algorithm>
#include <cmath>
#include <queue>

#include "simplify.h"

namespace kvgsimplify {

namespace {

// How strongly the angle at a vertex weighs its area: a vertex on a straight run counts up to
// 1.7 times its area, the tip of a spike 0.3 times, so spikes go first and smooth curves stay.
constexpr double ANGLE_WEIGHTING = 0.7;

double weightedArea(GridPos a, GridPos b, GridPos c) {
    const double abx = double(a.x) - b.x, aby = double(a.y) - b.y;
    const double cbx = double(c.x) - b.x, cby = double(c.y) - b.y;
    const double area = std::fabs(abx * cby - aby * cbx) / 2;
    const double lengths = std::sqrt((abx * abx + aby * aby) * (cbx * cbx + cby * cby));
    const double cosine = lengths > 0 ? (abx * cbx + aby * cby) / lengths : 1;
    return area * (1 - cosine * ANGLE_WEIGHTING);
}

void visvalingam(const Chain &arc, std::vector<double> &importance) {
    const size_t n = arc.size();
    std::vector<size_t> previous(n), next(n);
    std::vector<double> area(n, ALWAYS);
    for (size_t i = 0; i < n; ++i) {
        previous[i] = i - 1;
        next[i] = i + 1;
    }
    // Ties go to the earlier vertex, so that the order is the same on every run.
    using Entry = std::pair<double, size_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
    for (size_t i = 1; i + 1 < n; ++i) {
        area[i] = weightedArea(arc[i - 1], arc[i], arc[i + 1]);
        queue.emplace(area[i], i);
    }
    double largest = 0;
    while (!queue.empty()) {
        const auto [value, i] = queue.top();
        queue.pop();
        if (value != area[i] || importance[i] != ALWAYS) continue;  // a stale entry
        largest = std::max(largest, value);
        importance[i] = std::sqrt(largest);
        const size_t p = previous[i], q = next[i];
        next[p] = q;
        previous[q] = p;
        for (const size_t k : {p, q}) {
            if (k == 0 || k + 1 == n) continue;
            area[k] = weightedArea(arc[previous[k]], arc[k], arc[next[k]]);
            queue.emplace(area[k], k);
        }
    }
}

// The distance of p from the segment ab (from a when the segment is a point).
double distance(GridPos p, GridPos a, GridPos b) {
    const double dx = double(b.x) - a.x, dy = double(b.y) - a.y;
    const double px = double(p.x) - a.x, py = double(p.y) - a.y;
    const double length2 = dx * dx + dy * dy;
    const double t = length2 > 0 ? std::clamp((px * dx + py * dy) / length2, 0.0, 1.0) : 0;
    const double ex = px - t * dx, ey = py - t * dy;
    return std::sqrt(ex * ex + ey * ey);
}

void douglasPeucker(const Chain &arc, std::vector<double> &importance) {
    struct Span {
        size_t from, to;
        double limit;  // the importance of the vertex that made the span
    };
    std::vector<Span> spans = {{0, arc.size() - 1, ALWAYS}};
    while (!spans.empty()) {
        const Span s = spans.back();
        spans.pop_back();
        if (s.to - s.from < 2) continue;
        size_t farthest = s.from + 1;
        double most = -1;
        for (size_t i = s.from + 1; i < s.to; ++i) {
            const double d = distance(arc[i], arc[s.from], arc[s.to]);
            if (d > most) {
                most = d;
                farthest = i;
            }
        }
        const double value = std::min(most, s.limit);
        importance[farthest] = value;
        spans.push_back({s.from, farthest, value});
        spans.push_back({farthest, s.to, value});
    }
}

}  // namespace

Importance rankVertices(const std::vector<Chain> &arcs, Method method) {
    Importance result(arcs.size());
    for (size_t a = 0; a < arcs.size(); ++a) {
        result[a].assign(arcs[a].size(), ALWAYS);
        if (method == Method::visvalingam) visvalingam(arcs[a], result[a]);
        else douglasPeucker(arcs[a], result[a]);
    }
    return result;
}

}  // namespace kvgsimplify
