// Filling rings by the non-zero rule with even-odd figures, for the matplotlib backend: KVG's
// renderers fill even-odd, so the rings of a compound path are sorted into outer rings and
// their holes. Rings are assumed not to cross one another, as matplotlib's own compound paths
// (glyphs, contours, polygons with interiors) do not.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <utility>
#include <vector>

#include "bindings.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace {

using Points = py::array_t<double, py::array::c_style | py::array::forcecast>;
constexpr size_t NONE = SIZE_MAX;

struct Ring {
    const double *xy;
    size_t n;
    double area;  // signed: positive counter-clockwise
    double x0, y0, x1, y1;

    bool contains(double x, double y) const {  // crossing test
        if (x < x0 || x > x1 || y < y0 || y > y1) return false;
        bool inside = false;
        for (size_t i = 0, j = n - 1; i < n; j = i++) {
            const double xi = xy[2 * i], yi = xy[2 * i + 1], xj = xy[2 * j], yj = xy[2 * j + 1];
            if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
        }
        return inside;
    }
};

Ring measure(const Points &points) {
    if (points.ndim() != 2 || points.shape(1) != 2)
        raiseParam("rings must be (n, 2) arrays of x, y pairs");
    Ring r{points.data(), static_cast<size_t>(points.shape(0)), 0, INFINITY, INFINITY, -INFINITY,
           -INFINITY};
    for (size_t i = 0, j = r.n - 1; i < r.n; j = i++) {
        const double x = r.xy[2 * i], y = r.xy[2 * i + 1];
        r.area += r.xy[2 * j] * y - x * r.xy[2 * j + 1];
        r.x0 = std::min(r.x0, x), r.y0 = std::min(r.y0, y);
        r.x1 = std::max(r.x1, x), r.y1 = std::max(r.y1, y);
    }
    r.area = r.n >= 3 ? r.area / 2 : 0.0;
    return r;
}

// (outer ring, holes) pairs: each filled region is an outer ring less its holes. Rings without
// area are left out.
std::vector<std::pair<size_t, std::vector<size_t>>> nonzeroGroups(const std::vector<Points> &in) {
    std::vector<Ring> rings;
    rings.reserve(in.size());
    for (const Points &points : in) rings.push_back(measure(points));
    // Live rings by size, smallest first: a ring's parent is the smallest larger ring around
    // its first point.
    std::vector<size_t> order;
    for (size_t i = 0; i < rings.size(); ++i)
        if (rings[i].area != 0.0) order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return std::abs(rings[a].area) < std::abs(rings[b].area);
    });
    std::vector<size_t> parent(rings.size(), NONE);
    for (size_t k = 0; k < order.size(); ++k) {
        const Ring &ring = rings[order[k]];
        for (size_t m = k + 1; m < order.size(); ++m) {
            const Ring &around = rings[order[m]];
            if (std::abs(around.area) > std::abs(ring.area) && around.contains(ring.xy[0], ring.xy[1])) {
                parent[order[k]] = order[m];
                break;
            }
        }
    }
    // Largest first, so that every parent is settled before its children: the winding number
    // inside each ring, whether a ring bounds a change between filled and empty (kept), and
    // the nesting depth among kept rings (even: outer, odd: a hole of its kept parent).
    std::vector<long> winding(rings.size(), 0);
    std::vector<size_t> keptParent(rings.size(), NONE), depth(rings.size(), 0);
    std::vector<bool> kept(rings.size(), false);
    std::vector<std::pair<size_t, std::vector<size_t>>> groups;
    std::vector<size_t> groupOf(rings.size(), NONE);
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const size_t i = *it, up = parent[i];
        winding[i] = (up == NONE ? 0 : winding[up]) + (rings[i].area > 0 ? 1 : -1);
        const bool parentFilled = up != NONE && winding[up] != 0;
        kept[i] = (winding[i] != 0) != parentFilled;
        keptParent[i] = up == NONE ? NONE : kept[up] ? up : keptParent[up];
        if (!kept[i]) continue;
        depth[i] = keptParent[i] == NONE ? 0 : depth[keptParent[i]] + 1;
        if (depth[i] % 2 == 0) {
            groupOf[i] = groups.size();
            groups.push_back({i, {}});
        }
    }
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (kept[*it] && depth[*it] % 2 == 1) groups[groupOf[keptParent[*it]]].second.push_back(*it);
    // In the order of the rings, as the path gave them.
    std::sort(groups.begin(), groups.end());
    for (auto &group : groups) std::sort(group.second.begin(), group.second.end());
    return groups;
}

}  // namespace

void bindRings(py::module_ &m) {
    m.def("nonzero_groups", &nonzeroGroups, "rings"_a,
          "(outer ring, holes) index pairs that fill the rings by the non-zero rule with "
          "even-odd figures; rings must not cross each other");
}
