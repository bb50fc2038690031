// Where a projection tears the sphere, read from what PROJ says of the target CRS (its
// operation, lon_0, lat_0, h), not from a list of codes, as d3-geo's projections clip:
// - a seam: cylindrical, pseudo-cylindrical and conic projections split the sphere along the
//   antimeridian of their central meridian (lon_0); their transverse aspects (transverse
//   Mercator, UTM, Cassini) along the far half of the equator, as the sphere turned a quarter
//   about the centre's axis is cut at its antimeridian;
// - a horizon: projections that show one cap of the sphere (orthographic, near-side
//   perspective, gnomonic, stereographic) show what lies within `radius` degrees of their
//   centre (lon_0, lat_0);
// - nothing: azimuthal projections of the whole sphere (Lambert azimuthal equal-area,
//   azimuthal equidistant) have no seam.
#ifndef KVGIMPORT_TEAR_H
#define KVGIMPORT_TEAR_H

#include <string>

class OGRSpatialReference;

namespace kvgimport {

struct Tear {
    enum Kind { seam, horizon, none } kind = seam;
    double lon0 = 0, lat0 = 0;  // the projection's centre, degrees
    double radius = 90;         // a horizon's angular radius, degrees
    bool transverse = false;    // a seam of the transverse aspect: along the far equator
};

// The tear of a projected CRS, from its PROJ description ("+proj=ortho +lat_0=40 ...").
Tear tearOf(const std::string &projString);

// The PROJ description of a CRS; empty when PROJ has none for it.
std::string projString(const OGRSpatialReference &crs);

}  // namespace kvgimport

#endif  // KVGIMPORT_TEAR_H
