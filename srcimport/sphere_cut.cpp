#include "sphere_cut.h"

#include <algorithm>
#include <cmath>
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

// The cap within `radius` (at most 90) degrees of (0, 0), in longitude and latitude: for a
// hemisphere the band of longitudes ±radius, its sides densified; else the circle, a point per
// degree of bearing.
Polygon capAround(double radius) {
    Ring ring;
    if (radius >= 90 - 1e-3) {
        for (double lat = -90; lat <= 90; lat += CAP_STEP) ring.push_back({radius, lat});
        for (double lat = 90; lat >= -90; lat -= CAP_STEP) ring.push_back({-radius, lat});
    } else {
        const double c = std::cos(radius * RADIANS), s = std::sin(radius * RADIANS);
        for (double bearing = 0; bearing < 360; bearing += CAP_STEP) {
            const double b = bearing * RADIANS;
            ring.push_back({std::atan2(s * std::cos(b), c) * DEGREES, std::asin(s * std::sin(b)) * DEGREES});
        }
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
    shownArea_ = tear.kind == Tear::horizon ? capAround(std::min(tear.radius, 90.0)) : band(south, north);
}

Pos SphereCut::turn(Pos p) const {
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
    return {wrapLongitude(lon + tear_.lon0), lat};
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
    if (std::ranges::all_of(turned.rings.front(), [&](Pos p) { return shown(p); })) return {std::move(turned)};
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
    for (size_t i = 0; i < f.polygons.size(); ++i) {
        Polygon turnedPolygon;
        for (Ring ring : f.polygons[i].rings) {
            dropPoleEdges(ring);
            turnedPolygon.rings.push_back(turned(ring));
        }
        for (Polygon &piece : cutPolygon(turnedPolygon, options, where + ", polygon " + std::to_string(i + 1)))
            for (Polygon &kept : visible(std::move(piece), clipped)) {
                for (Ring &ring : kept.rings) turnBack(ring);
                polygons.push_back(std::move(kept));
            }
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
