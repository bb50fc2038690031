// Where a projection tears the sphere, read from what PROJ says of the target CRS (its
// operation, lon_0, lat_0, h), not from a list of codes, as d3-geo's projections clip:
// - a seam: cylindrical, pseudo-cylindrical and conic projections split the sphere along the
//   antimeridian of their central meridian (lon_0); their transverse aspects (transverse
//   Mercator, UTM, Cassini) along the far half of the equator, as the sphere turned a quarter
//   about the centre's axis is cut at its antimeridian;
//   an oblique aspect (ob_tran) turns the sphere so that its pole (o_lat_p, o_lon_p, or as
//   o_alpha, o_lon_c, o_lat_c give it) is the frame's pole, as PROJ turns it, and tears as its
//   o_proj tears that frame;
// - a horizon: projections that show one cap of the sphere (orthographic, near-side
//   perspective, gnomonic, stereographic) show what lies within `radius` degrees of their
//   centre (lon_0, lat_0); azimuthal projections of the whole sphere (Lambert azimuthal
//   equal-area, azimuthal equidistant) have no seam, only the antipode of their centre, which
//   they spread round the disc's edge: their horizon is a small circle round that antipode.
#ifndef KVGIMPORT_TEAR_H
#define KVGIMPORT_TEAR_H

#include <optional>
#include <string>

class OGRSpatialReference;

namespace kvgimport {

struct Tear {
    enum Kind { seam, horizon } kind = seam;
    double lon0 = 0, lat0 = 0;  // the projection's centre, degrees
    double radius = 90;         // a horizon's angular radius, degrees
    bool transverse = false;    // a seam of the transverse aspect: along the far equator

    // An oblique aspect: the sphere turned first by `lon0` about the axis, then so that
    // (poleLat, poleLon) of the turned frame is the old north pole; lon0 and lat0 above are
    // then those of the turned frame.
    struct Oblique {
        double lon0 = 0, poleLon = 0, poleLat = 90;  // degrees
    };
    std::optional<Oblique> oblique;

    // A horizon beyond the hemisphere: nothing but the antipode's neighbourhood is cut away.
    bool seamless() const { return kind == horizon && radius > 90; }
};

// The tear of a projected CRS, from its PROJ description ("+proj=ortho +lat_0=40 ...").
Tear tearOf(const std::string &projString);

// The PROJ description of a CRS; empty when PROJ has none for it.
std::string projString(const OGRSpatialReference &crs);

}  // namespace kvgimport

#endif  // KVGIMPORT_TEAR_H
