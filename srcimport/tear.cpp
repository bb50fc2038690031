#include "tear.h"

#include <ogr_spatialref.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <numbers>
#include <sstream>

namespace kvgimport {

namespace {

constexpr double DEGREES = 180 / std::numbers::pi;
// Inside the horizon by this much, so that every point kept projects (PROJ refuses points a
// hair beyond it).
constexpr double HORIZON_MARGIN = 1e-6;
constexpr double GNOMONIC_RADIUS = 60;  // gnomonic maps run to infinity at 90°: d3's choice
constexpr double EARTH_RADIUS_M = 6378137;

std::map<std::string, std::string> parameters(const std::string &proj) {
    std::map<std::string, std::string> result;
    std::istringstream in(proj);
    std::string token;
    while (in >> token) {
        if (token.size() < 2 || token[0] != '+') continue;
        const size_t equals = token.find('=');
        result[token.substr(1, equals == std::string::npos ? std::string::npos : equals - 1)] =
            equals == std::string::npos ? "" : token.substr(equals + 1);
    }
    return result;
}

double number(const std::map<std::string, std::string> &p, const char *key, double otherwise) {
    const auto found = p.find(key);
    if (found == p.end()) return otherwise;
    char *end = nullptr;
    const double value = std::strtod(found->second.c_str(), &end);
    return end != found->second.c_str() && std::isfinite(value) ? value : otherwise;
}

// The horizon of a perspective from `height` metres above the surface.
double perspectiveHorizon(double height) {
    return height > 0 ? std::acos(EARTH_RADIUS_M / (EARTH_RADIUS_M + height)) * DEGREES : 90;
}

}  // namespace

std::string projString(const OGRSpatialReference &crs) {
    char *text = nullptr;
    std::string result;
    if (crs.exportToProj4(&text) == OGRERR_NONE && text != nullptr) result = text;
    CPLFree(text);
    return result;
}

Tear tearOf(const std::string &projString) {
    const auto p = parameters(projString);
    const auto found = p.find("proj");
    const std::string method = found == p.end() ? "" : found->second;
    Tear tear;
    tear.lon0 = number(p, "lon_0", 0);
    tear.lat0 = number(p, "lat_0", 0);
    if (method == "ortho") {
        tear.kind = Tear::horizon;
        tear.radius = 90;
    } else if (method == "nsper" || method == "tpers" || method == "geos") {
        tear.kind = Tear::horizon;
        tear.radius = perspectiveHorizon(number(p, "h", 0));
        if (method == "geos") tear.lat0 = 0;  // geostationary views stand over the equator
    } else if (method == "gnom") {
        tear.kind = Tear::horizon;
        tear.radius = GNOMONIC_RADIUS;
    } else if (method == "stere" || method == "ups" || method == "sterea") {
        tear.kind = Tear::horizon;  // the hemisphere round the centre: beyond it grows fast
        tear.radius = 90;
        if (method == "ups") tear.lat0 = p.contains("south") ? -90 : 90;
    } else if (method == "laea" || method == "aeqd") {
        tear.kind = Tear::none;
    } else if (method == "tmerc" || method == "etmerc" || method == "utm" || method == "cass" ||
               method == "tcea") {
        tear.transverse = true;
        if (method == "utm") tear.lon0 = 6 * number(p, "zone", 31) - 183;  // the zone's middle
    }
    if (tear.kind == Tear::horizon) tear.radius -= HORIZON_MARGIN;
    return tear;
}

}  // namespace kvgimport
