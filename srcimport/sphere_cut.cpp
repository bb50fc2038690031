#include "sphere_cut.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

#include "geos.h"

namespace kvgimport {

namespace {

constexpr double RADIANS = std::numbers::pi / 180;
constexpr double DEGREES = 180 / std::numbers::pi;
constexpr double CAP_STEP = 1;           // degrees between the points of a horizon
constexpr double SEAM_INSIDE = 1e-9;     // degrees: how far inside its side a seam point goes
constexpr double SAME_POINT = 1e-9;      // degrees within which turned positions are one
constexpr const char *BEYOND_HORIZON = "beyond the horizon";
constexpr const char *BEYOND_LATITUDES = "beyond the latitudes the projection shows";

double wrapLongitude(double lon) {
    if (lon > 180) return lon - 360 * std::ceil((lon - 180) / 360);
    if (lon < -180) return lon + 360 * std::ceil((-180 - lon) / 360);
    return lon;
}

bool atPole(Pos p) { return std::fabs(p.y) >= 90 - SAME_POINT; }

// The point `radius` degrees from (0, 0) at `bearing` degrees (0 towards longitude 90).
Pos atBearing(double radius, double bearing) {
    const double c = std::cos(radius * RADIANS), s = std::sin(radius * RADIANS), b = bearing * RADIANS;
    return {std::atan2(s * std::cos(b), c) * DEGREES, std::asin(s * std::sin(b)) * DEGREES};
}

// The cap within `radius` degrees of (0, 0), in longitude and latitude: for a hemisphere the
// band of longitudes ±radius, its sides densified; for a smaller cap the circle, a point per
// degree of bearing; for a larger one the whole map less the small circle round the antipode,
// whose halves notch the map's two sides at (±180, 0).
Polygon capAround(double radius) {
    Ring ring;
    if (std::fabs(radius - 90) < 1e-3) {
        for (double lat = -90; lat <= 90; lat += CAP_STEP) ring.push_back({radius, lat});
        for (double lat = 90; lat >= -90; lat -= CAP_STEP) ring.push_back({-radius, lat});
    } else if (radius < 90) {
        for (double bearing = 0; bearing < 360; bearing += CAP_STEP) ring.push_back(atBearing(radius, bearing));
    } else {
        const auto notch = [&](double from, double side) {
            for (double bearing = from; bearing <= from + 180; bearing += CAP_STEP) {
                const Pos p = atBearing(radius, bearing);
                ring.push_back({std::copysign(std::fabs(p.x), side), p.y});
            }
        };
        ring.push_back({180, -90});
        notch(-90, 1);
        ring.push_back({180, 90});
        ring.push_back({-180, 90});
        notch(90, -1);
        ring.push_back({-180, -90});
    }
    ring.push_back(ring.front());
    return {{std::move(ring)}};
}

// The latitudes from `south` to `north`, their parallels densified.
Polygon band(double south, double north) {
    Ring ring;
    for (double lon = -180; lon < 180; lon += CAP_STEP) ring.push_back({lon, south});
    for (double lon = 180; lon > -180; lon -= CAP_STEP) ring.push_back({lon, north});
    ring.push_back(ring.front());
    return {{std::move(ring)}};
}


// The sphere turned to an oblique aspect's frame, as PROJ turns it, and back: about the axis
// by the aspect's lon0, then about the axis through longitude ±90 so that the old north pole
// comes to latitude poleLat, then about the axis by poleLon.
Pos obliqueTurn(const Tear::Oblique &o, Pos p) {
    const double lambda = (p.x - o.lon0) * RADIANS, phi = p.y * RADIANS, pole = o.poleLat * RADIANS;
    const double x = std::cos(phi) * std::cos(lambda), y = std::cos(phi) * std::sin(lambda), z = std::sin(phi);
    return {wrapLongitude(std::atan2(y, std::sin(pole) * x + std::cos(pole) * z) * DEGREES + o.poleLon),
            std::asin(std::clamp(std::sin(pole) * z - std::cos(pole) * x, -1.0, 1.0)) * DEGREES};
}

Pos obliqueTurnBack(const Tear::Oblique &o, Pos p) {
    const double lambda = (p.x - o.poleLon) * RADIANS, phi = p.y * RADIANS, pole = o.poleLat * RADIANS;
    const double x = std::cos(phi) * std::cos(lambda), y = std::cos(phi) * std::sin(lambda), z = std::sin(phi);
    return {wrapLongitude(std::atan2(y, std::sin(pole) * x - std::cos(pole) * z) * DEGREES + o.lon0),
            std::asin(std::clamp(std::sin(pole) * z + std::cos(pole) * x, -1.0, 1.0)) * DEGREES};
}

}  // namespace

void dropPoleEdges(std::vector<Pos> &ring) {
    if (ring.size() < 3) return;
    const size_t n = ring.size() - (ring.front() == ring.back() ? 1 : 0);  // distinct positions
    std::vector<Pos> kept;
    for (size_t i = 0; i < n; ++i) {
        const Pos before = ring[(i + n - 1) % n], here = ring[i], after = ring[(i + 1) % n];
        const bool edge = atPole(here) && ((atPole(before) && before.y * here.y > 0) ||
                                           (atPole(after) && after.y * here.y > 0));
        if (!edge) kept.push_back(here);
    }
    if (kept.size() == n) return;
    if (ring.front() == ring.back() && !kept.empty()) kept.push_back(kept.front());
    ring = std::move(kept);
}

SphereCut::SphereCut(const Tear &tear, double south, double north)
    : tear_(tear), south_(south), north_(north),
      sinLat0_(tear.kind == Tear::horizon ? std::sin(tear.lat0 * RADIANS) : 0),
      cosLat0_(tear.kind == Tear::horizon ? std::cos(tear.lat0 * RADIANS) : 1) {
    shownArea_ = tear.kind == Tear::horizon ? capAround(tear.radius) : band(south, north);
}

Pos SphereCut::turn(Pos p) const {
    if (tear_.oblique) p = obliqueTurn(*tear_.oblique, p);
    const double lon = wrapLongitude(p.x - tear_.lon0);
    if (tear_.kind != Tear::horizon && !tear_.transverse) return {lon, p.y};
    const double lambda = lon * RADIANS, phi = p.y * RADIANS;
    const double x = std::cos(phi) * std::cos(lambda), y = std::cos(phi) * std::sin(lambda),
                 z = std::sin(phi);
    if (tear_.transverse)  // a quarter turn about the centre's axis: the central meridian to the equator
        return {std::atan2(z, x) * DEGREES, std::asin(std::clamp(-y, -1.0, 1.0)) * DEGREES};
    // Tilted about the axis through longitude ±90 so that latitude lat0 comes to the equator.
    const double tx = x * cosLat0_ + z * sinLat0_, tz = z * cosLat0_ - x * sinLat0_;
    return {std::atan2(y, tx) * DEGREES, std::asin(std::clamp(tz, -1.0, 1.0)) * DEGREES};
}

Pos SphereCut::turnBack(Pos p) const {
    double lon = p.x, lat = p.y;
    if (std::fabs(lon) > 180 - SEAM_INSIDE) lon = std::copysign(180 - SEAM_INSIDE, lon);
    if (tear_.kind == Tear::horizon || tear_.transverse) {
        const double lambda = lon * RADIANS, phi = lat * RADIANS;
        const double x = std::cos(phi) * std::cos(lambda), y = std::cos(phi) * std::sin(lambda),
                     z = std::sin(phi);
        const double ux = tear_.transverse ? x : x * cosLat0_ - z * sinLat0_;
        const double uy = tear_.transverse ? -z : y;
        const double uz = tear_.transverse ? y : z * cosLat0_ + x * sinLat0_;
        lon = std::atan2(uy, ux) * DEGREES;
        lat = std::asin(std::clamp(uz, -1.0, 1.0)) * DEGREES;
    }
    const Pos back = {wrapLongitude(lon + tear_.lon0), lat};
    return tear_.oblique ? obliqueTurnBack(*tear_.oblique, back) : back;
}

// Whether a ring cut at the turned antimeridian runs along it across the antipode (±180, 0),
// which a horizon beyond the hemisphere leaves out although every position of the ring shows.
bool SphereCut::reachesAntipode(const Ring &turned) const {
    if (!tear_.seamless()) return false;
    const auto onSeam = [](Pos p) { return std::fabs(p.x) >= 180 - SAME_POINT; };
    for (size_t i = 1; i < turned.size(); ++i) {
        const Pos a = turned[i - 1], b = turned[i];
        if (onSeam(a) && onSeam(b) && std::min(a.y, b.y) <= 0 && std::max(a.y, b.y) >= 0) return true;
    }
    return false;
}

bool SphereCut::shown(Pos turned) const {
    if (tear_.kind == Tear::horizon)
        return std::cos(turned.x * RADIANS) * std::cos(turned.y * RADIANS) >=
               std::cos(tear_.radius * RADIANS);
    return turned.y >= south_ && turned.y <= north_;
}

// The positions turned, repeats within a hair of each other dropped.
std::vector<Pos> SphereCut::turned(const std::vector<Pos> &positions) const {
    std::vector<Pos> result;
    result.reserve(positions.size());
    for (const Pos &p : positions) {
        const Pos t = turn(p);
        if (!result.empty() && std::fabs(result.back().x - t.x) < SAME_POINT &&
            std::fabs(result.back().y - t.y) < SAME_POINT)
            continue;
        result.push_back(t);
    }
    // A ring ends where it began.
    if (positions.size() > 1 && positions.front() == positions.back() && result.size() > 1)
        result.back() = result.front();
    return result;
}

void SphereCut::turnBack(std::vector<Pos> &positions) const {
    for (Pos &p : positions) p = turnBack(p);
}

// The part of a turned polygon that the projection shows.
std::vector<Polygon> SphereCut::visible(Polygon turned, bool &clipped) const {
    const Ring &outer = turned.rings.front();
    if (std::ranges::all_of(outer, [&](Pos p) { return shown(p); }) && !reachesAntipode(outer))
        return {std::move(turned)};
    clipped = true;
    try {
        return intersection(turned, shownArea_);
    } catch (const GeometryError &) {
        // Turning can leave a valid polygon a hair from valid: mend it and clip again.
        std::vector<Polygon> result;
        for (const Polygon &mended : makeValid(turned))
            for (Polygon &kept : intersection(mended, shownArea_)) result.push_back(std::move(kept));
        return result;
    }
}

void SphereCut::apply(Feature &f, const CutOptions &options, const std::string &where,
                      ImportReport &report) const {
    const bool hadAny = !f.polygons.empty() || !f.paths.empty() || !f.points.empty();
    bool clipped = false;
    std::vector<Polygon> polygons;
    for (Polygon &polygon : f.polygons) {
        Polygon turnedPolygon;
        for (Ring &ring : polygon.rings) {
            dropPoleEdges(ring);
            turnedPolygon.rings.push_back(turned(ring));
        }
        bool polygonClipped = false;
        std::vector<Polygon> pieces;
        const std::string which = where + ", polygon " + std::to_string(&polygon - f.polygons.data() + 1);
        for (Polygon &piece : cutPolygon(turnedPolygon, options, which))
            for (Polygon &kept : visible(std::move(piece), polygonClipped)) {
                for (Ring &ring : kept.rings) turnBack(ring);
                pieces.push_back(std::move(kept));
            }
        clipped |= polygonClipped;
        // Without a seam, a polygon away from the antipode stays whole: it is checked once projected.
        if (tear_.seamless() && !polygonClipped) pieces = {std::move(polygon)};
        std::ranges::move(pieces, std::back_inserter(polygons));
    }
    std::vector<Path> paths;
    for (const Path &path : f.paths)
        for (Path &piece : cutPath(turned(path))) {
            std::vector<Path> kept;
            if (std::ranges::all_of(piece, [&](Pos p) { return shown(p); })) {
                kept.push_back(std::move(piece));
            } else {
                clipped = true;
                kept = intersection(piece, shownArea_);
            }
            for (Path &p : kept) {
                turnBack(p);
                paths.push_back(std::move(p));
            }
        }
    const size_t points = f.points.size();
    std::erase_if(f.points, [&](Pos p) { return !shown(turn(p)); });
    clipped |= f.points.size() != points;
    f.polygons = std::move(polygons);
    f.paths = std::move(paths);
    if (!clipped) return;
    const char *reason = tear_.kind == Tear::horizon ? BEYOND_HORIZON : BEYOND_LATITUDES;
    const bool none = f.polygons.empty() && f.paths.empty() && f.points.empty();
    report.add(hadAny && none ? Change::leftOut : Change::clipped, where, reason);
}

}  // namespace kvgimport
