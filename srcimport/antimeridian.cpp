#include "antimeridian.h"

#include <algorithm>
#include <cmath>
#include <optional>

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

// Where the step from `a` to `b` crosses the antimeridian: its latitude, with the side `a`
// leaves by (+180 or -180).
Pos crossing(Pos a, Pos b) {
    const double edge = a.x > b.x ? 180 : -180;
    const double bx = b.x + 2 * edge;  // `b` beyond that side
    const double t = bx == a.x ? 0 : (edge - a.x) / (bx - a.x);  // both on the antimeridian
    return {edge, a.y + t * (b.y - a.y)};
}

// A ring that goes round a pole, started where it first crosses the antimeridian, unwrapped
// (from one side of the map to the other) and closed along the pole's edge of the map: down
// from its end to the pole, along it, and up to its start.
Ring aroundPole(const Ring &ring) {
    size_t i = 1;
    while (!crosses(ring[i - 1], ring[i])) ++i;
    const Pos cut = crossing(ring[i - 1], ring[i]);
    Ring result{{-cut.x, cut.y}};
    for (size_t k = 0; k + 1 < ring.size(); ++k) result.push_back(ring[(i + k) % (ring.size() - 1)]);
    result.push_back(cut);
    unwrap(result);
    double latitudes = 0;
    for (const Pos &p : ring) latitudes += p.y;
    const double pole = latitudes < 0 ? -90 : 90;
    const Pos first = result.front(), last = result.back();
    result.push_back({last.x, pole});
    result.push_back({first.x, pole});
    result.push_back(first);
    return result;
}

// The ring with continuous longitudes, closed round the pole when it goes round one.
void unwrapRing(Ring &ring) {
    Ring unwrapped = ring;
    if (unwrap(unwrapped) != 0) unwrapped = aroundPole(ring);
    ring = std::move(unwrapped);
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

void note(const CutOptions &options, Change change, const std::string &reason,
          const std::string &detail = {}) {
    if (options.report) options.report->add(change, options.feature, reason, detail);
}

// The rings checked: at least four positions, closed. Mending closes a ring that does not and
// drops one too short to enclose anything (all the polygon when that is its outer ring).
std::optional<Polygon> checkedRings(const Polygon &polygon, const CutOptions &options,
                                    const std::string &where) {
    const bool mend = options.mend;
    Polygon result;
    for (size_t r = 0; r < polygon.rings.size(); ++r) {
        Ring ring = polygon.rings[r];
        const std::string which = where + ", ring " + std::to_string(r + 1);
        if (!ring.empty() && !(ring.front() == ring.back())) {
            if (!mend) throw InputError(which + ": a ring that does not close");
            note(options, Change::mended, "a ring that does not close");
            ring.push_back(ring.front());
        }
        if (ring.size() < 4) {
            if (!mend) throw InputError(which + ": a ring of fewer than four positions");
            note(options, Change::mended, "a ring of fewer than four positions dropped");
            if (r == 0) return std::nullopt;
            continue;
        }
        result.rings.push_back(std::move(ring));
    }
    return result;
}

// The polygon if valid, else mended when asked, else refused.
std::vector<Polygon> validated(const Polygon &polygon, const CutOptions &options, const std::string &where) {
    const auto reason = invalidity(polygon);
    if (!reason) return {polygon};
    if (options.mend) {
        note(options, Change::mended, reason->substr(0, reason->find('[')),
             where + ": an invalid polygon (" + *reason + ")");
        return makeValid(polygon);
    }
    throw InputError(where + ": an invalid polygon (" + *reason + ")");
}

// Cuts a polygon whose rings are sound.
std::vector<Polygon> cutRings(const Polygon &polygon, const CutOptions &options,
                              const std::string &where) {
    if (!options.geographic || !crossesAnywhere(polygon)) {
        std::vector<Polygon> result = validated(polygon, options, where);
        if (options.densify)
            for (Polygon &p : result)
                for (Ring &ring : p.rings) densifyEdges(ring);
        return result;
    }
    Polygon unwrapped = polygon;
    Ring &outer = unwrapped.rings.front();
    unwrapRing(outer);
    const auto [low, high] = std::ranges::minmax(outer, {}, &Pos::x);
    for (size_t r = 1; r < unwrapped.rings.size(); ++r) {
        unwrapRing(unwrapped.rings[r]);
        alignHole(unwrapped.rings[r], (low.x + high.x) / 2);
    }
    std::vector<Polygon> result;
    for (const Polygon &valid : validated(unwrapped, options, where)) {
        for (int turn = static_cast<int>(std::floor((low.x + 180) / 360));
             turn <= static_cast<int>(std::floor((high.x + 180) / 360)); ++turn) {
            const double west = turn * 360.0 - 180;
            for (Polygon &piece : clip(valid, west, west + 360, -90, 90)) {
                for (Ring &ring : piece.rings) {
                    for (Pos &p : ring) p = {snap(p.x - turn * 360.0, 180), snap(p.y, 90)};
                    if (options.densify) densifyEdges(ring);
                }
                result.push_back(std::move(piece));
            }
        }
    }
    return result;
}

}  // namespace

std::vector<Polygon> cutPolygon(const Polygon &polygon, const CutOptions &options,
                                const std::string &where) {
    const std::optional<Polygon> checked = checkedRings(polygon, options, where);
    if (!checked) return {};
    return cutRings(*checked, options, where);
}

std::vector<Path> cutPath(const Path &path) {
    std::vector<Path> pieces(1);
    for (size_t i = 0; i < path.size(); ++i) {
        if (i > 0 && crosses(path[i - 1], path[i])) {
            const Pos cut = crossing(path[i - 1], path[i]);
            pieces.back().push_back(cut);
            pieces.push_back({{-cut.x, cut.y}});
        }
        pieces.back().push_back(path[i]);
    }
    return pieces;
}

}  // namespace kvgimport
