// Rings at any threshold: their area, the vertices that keep them rings, and thresholds from a
// share of the vertices.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <span>

#include "simplify.h"

namespace kvgsimplify {

namespace {

struct RingVertex {
    GridPos at;
    size_t arc, index;
};

// The ring's vertices in order, each arc's last one left to the arc that follows it.
std::vector<RingVertex> ringVertices(const std::vector<Chain> &arcs, const RingArcs &ring) {
    std::vector<RingVertex> result;
    for (const ArcRef ref : ring) {
        const size_t arc = size_t(std::abs(ref)) - 1;
        const size_t n = arcs[arc].size();
        for (size_t k = 0; k + 1 < n; ++k) {
            const size_t index = ref > 0 ? k : n - 1 - k;
            result.push_back({arcs[arc][index], arc, index});
        }
    }
    return result;
}

double shoelace(const std::vector<GridPos> &ring) {
    double sum = 0;
    for (size_t i = 0; i < ring.size(); ++i) {
        const GridPos a = ring[i], b = ring[(i + 1) % ring.size()];
        sum += double(a.x) * b.y - double(b.x) * a.y;
    }
    return sum;
}

bool hasArea(const std::vector<RingVertex> &vertices, const Importance &importance) {
    std::vector<GridPos> kept;
    for (const RingVertex &v : vertices)
        if (importance[v.arc][v.index] == ALWAYS) kept.push_back(v.at);
    return kept.size() >= 3 && shoelace(kept) != 0;
}

}  // namespace

double doubleArea(const std::vector<Chain> &arcs, const RingArcs &ring,
                  const Importance *importance, double threshold) {
    std::vector<GridPos> kept;
    for (const RingVertex &v : ringVertices(arcs, ring))
        if (!importance || (*importance)[v.arc][v.index] >= threshold) kept.push_back(v.at);
    return shoelace(kept);
}

size_t protectRings(const std::vector<Chain> &arcs, const std::vector<RingArcs> &rings,
                    Importance &importance) {
    size_t raised = 0;
    for (const RingArcs &ring : rings) {
        const std::vector<RingVertex> vertices = ringVertices(arcs, ring);
        if (hasArea(vertices, importance)) continue;
        std::vector<GridPos> all;
        for (const RingVertex &v : vertices) all.push_back(v.at);
        if (shoelace(all) == 0) continue;  // no area to keep
        std::vector<const RingVertex *> candidates;
        for (const RingVertex &v : vertices)
            if (importance[v.arc][v.index] != ALWAYS) candidates.push_back(&v);
        std::ranges::stable_sort(candidates, std::greater<>(), [&](const RingVertex *v) {
            return importance[v->arc][v->index];
        });
        for (const RingVertex *v : candidates) {
            importance[v->arc][v->index] = ALWAYS;
            ++raised;
            if (hasArea(vertices, importance)) break;
        }
    }
    return raised;
}

std::vector<bool> droppableRings(const std::vector<RingArcs> &rings, std::vector<bool> small,
                                 const std::vector<bool> &fixed) {
    // An arc is kept when a kept ring or a path uses it; a ring that uses a kept arc is kept.
    std::vector<bool> keptArc = fixed;
    for (bool changed = true; changed;) {
        changed = false;
        for (size_t r = 0; r < rings.size(); ++r) {
            if (small[r]) {
                const bool anyKept = std::ranges::any_of(rings[r], [&](ArcRef ref) { return keptArc[size_t(std::abs(ref)) - 1]; });
                if (!anyKept) continue;
                small[r] = false;
                changed = true;
            }
            for (const ArcRef ref : rings[r]) {
                const size_t arc = size_t(std::abs(ref)) - 1;
                changed = changed || !keptArc[arc];
                keptArc[arc] = true;
            }
        }
    }
    return small;
}

double thresholdForShare(const Importance &importance, double share) {
    std::vector<double> values;
    for (const std::vector<double> &arc : importance)
        for (const double v : arc)
            if (v != ALWAYS) values.push_back(v);
    const size_t keep = size_t(std::llround(std::clamp(share, 0.0, 1.0) * double(values.size())));
    if (keep == 0) return ALWAYS;
    std::ranges::nth_element(values, values.begin() + ptrdiff_t(keep - 1), std::greater<>());
    return values[keep - 1];
}

std::vector<Chain> simplified(const std::vector<Chain> &arcs, const Importance &importance,
                              double threshold) {
    std::vector<Chain> result(arcs.size());
    for (size_t a = 0; a < arcs.size(); ++a) {
        const Chain &arc = arcs[a];
        for (size_t k = 0; k < arc.size(); ++k)
            if (importance[a][k] >= threshold) result[a].push_back(arc[k]);
        // A closed arc of a ring without area keeps its most important vertex, so that it is
        // never a point.
        if (result[a].size() == 2 && result[a][0] == result[a][1] && arc.size() > 2) {
            const auto values = std::span(importance[a]).subspan(1, arc.size() - 2);
            const size_t best = size_t(std::ranges::max_element(values) - values.begin()) + 1;
            result[a].insert(result[a].begin() + 1, arc[best]);
        }
    }
    return result;
}

}  // namespace kvgsimplify
