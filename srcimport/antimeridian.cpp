#include "antimeridian.h"

#include <algorithm>
#include <cmath>

#include "geos.h"
#include "kvgimport.h"

namespace kvgimport {

namespace {

constexpr double DENSIFY_DEGREES = 1;  // the longest step along a cut or a pole's edge
constexpr double SNAP = 1e-9;          // degrees within which a cut lies on ±180 or ±90

bool crosses(Pos a, Pos b) { return std::fabs(b.x - a.x) > 180; }

bool crossesAnywhere(const Polygon &polygon) {
    for (const Ring &ring : polygon.rings)
        for (size_t i = 1; i < ring.size(); ++i)
            if (crosses(ring[i - 1], ring[i])) return true;
    return false;
}

// The ring with continuous longitudes: each step across the antimeridian taken the short way
// round, beyond ±180. Returns the whole turns the ring makes round the pole (0 for most).
int unwrap(Ring &ring) {
    double shift = 0;
    for (size_t i = 1; i < ring.size(); ++i) {
        const double step = ring[i].x + shift - ring[i - 1].x;
        if (step > 180) shift -= 360;
        if (step < -180) shift += 360;
        ring[i].x += shift;
    }
    return static_cast<int>(std::lround(shift / 360));
}

// Closes a ring that goes once round a pole along the pole's edge of the map: down from its
// last position to the pole, along it, and up to its first position.
void closeAroundPole(Ring &ring) {
    double latitudes = 0;
    for (const Pos &p : ring) latitudes += p.y;
    const double pole = latitudes < 0 ? -90 : 90;
    const Pos first = ring.front(), last = ring.back();
    ring.push_back({last.x, pole});
    ring.push_back({first.x, pole});
    ring.push_back(first);
}

// Moves a hole by whole turns next to its outer ring.
void alignHole(Ring &hole, double centre) {
    const double turns = std::round((hole.front().x - centre) / 360);
    for (Pos &p : hole) p.x -= turns * 360;
}

double snap(double v, double edge) { return std::fabs(std::fabs(v) - edge) < SNAP ? std::copysign(edge, v) : v; }

bool onEdge(Pos a, Pos b) {
    return (std::fabs(a.x) == 180 && a.x == b.x) || (std::fabs(a.y) == 90 && a.y == b.y);
}

// Steps along the map's edge densified, so that a projection bends them as it bends the edge.
void densifyEdges(Ring &ring) {
    Ring result;
    for (size_t i = 0; i < ring.size(); ++i) {
        if (i > 0 && onEdge(ring[i - 1], ring[i])) {
            const Pos a = ring[i - 1], b = ring[i];
            const int steps = static_cast<int>(
                std::ceil(std::max(std::fabs(b.x - a.x), std::fabs(b.y - a.y)) / DENSIFY_DEGREES));
            for (int k = 1; k < steps; ++k)
                result.push_back({a.x + (b.x - a.x) * k / steps, a.y + (b.y - a.y) * k / steps});
        }
        result.push_back(ring[i]);
    }
    ring = std::move(result);
}

void checkRings(const Polygon &polygon, const std::string &where) {
    for (size_t r = 0; r < polygon.rings.size(); ++r) {
        const Ring &ring = polygon.rings[r];
        const std::string which = where + ", ring " + std::to_string(r + 1);
        if (ring.size() < 4) throw InputError(which + ": a ring of fewer than four positions");
        if (!(ring.front() == ring.back())) throw InputError(which + ": a ring that does not close");
    }
}

// The polygon if valid, else mended when asked, else refused.
std::vector<Polygon> validated(const Polygon &polygon, bool mend, const std::string &where) {
    const auto reason = invalidity(polygon);
    if (!reason) return {polygon};
    if (mend) return makeValid(polygon);
    throw InputError(where + ": an invalid polygon (" + *reason +
                     "); --make-valid mends such polygons");
}

}  // namespace

std::vector<Polygon> cutPolygon(const Polygon &polygon, bool geographic, bool mend,
                                const std::string &where) {
    checkRings(polygon, where);
    if (!geographic || !crossesAnywhere(polygon)) {
        std::vector<Polygon> result = validated(polygon, mend, where);
        if (geographic)
            for (Polygon &p : result)
                for (Ring &ring : p.rings) densifyEdges(ring);
        return result;
    }
    Polygon unwrapped = polygon;
    Ring &outer = unwrapped.rings.front();
    if (unwrap(outer) != 0) closeAroundPole(outer);
    const auto [low, high] = std::ranges::minmax(outer, {}, &Pos::x);
    for (size_t r = 1; r < unwrapped.rings.size(); ++r) {
        unwrap(unwrapped.rings[r]);
        alignHole(unwrapped.rings[r], (low.x + high.x) / 2);
    }
    std::vector<Polygon> result;
    for (const Polygon &valid : validated(unwrapped, mend, where)) {
        for (int turn = static_cast<int>(std::floor((low.x + 180) / 360));
             turn <= static_cast<int>(std::floor((high.x + 180) / 360)); ++turn) {
            const double west = turn * 360.0 - 180;
            for (Polygon &piece : clip(valid, west, west + 360, -90, 90)) {
                for (Ring &ring : piece.rings) {
                    for (Pos &p : ring) p = {snap(p.x - turn * 360.0, 180), snap(p.y, 90)};
                    densifyEdges(ring);
                }
                result.push_back(std::move(piece));
            }
        }
    }
    return result;
}

std::vector<Path> cutPath(const Path &path) {
    std::vector<Path> pieces(1);
    for (size_t i = 0; i < path.size(); ++i) {
        if (i > 0 && crosses(path[i - 1], path[i])) {
            const Pos a = path[i - 1], b = path[i];
            const double edge = a.x > b.x ? 180 : -180;  // the side `a` leaves by
            const double bx = b.x + 2 * edge;            // `b` beyond that side
            const double t = (edge - a.x) / (bx - a.x);
            const double y = a.y + t * (b.y - a.y);
            pieces.back().push_back({edge, y});
            pieces.push_back({{-edge, y}});
        }
        pieces.back().push_back(path[i]);
    }
    return pieces;
}

}  // namespace kvgimport
