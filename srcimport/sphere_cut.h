// Longitude and latitude cut where a projection tears the sphere, as d3-geo cuts it: the
// sphere turned so that the projection's centre is at longitude 0 (and, for a projection that
// shows one cap, at latitude 0 too), cut along the antimeridian of that turned frame, clipped to
// the cap the projection shows, and turned back. The cut runs along the seam or the horizon
// and is densified there, so that it follows the projection's edge once projected.
#ifndef KVGIMPORT_SPHERE_CUT_H
#define KVGIMPORT_SPHERE_CUT_H

#include <string>

#include "antimeridian.h"
#include "import_report.h"
#include "model.h"
#include "tear.h"

namespace kvgimport {

class SphereCut {
public:
    // `south` and `north`: the latitudes a projection with a seam can show (its poles may lie
    // at infinity).
    SphereCut(const Tear &tear, double south, double north);

    // The feature's polygons, paths and points cut and clipped, still in longitude and
    // latitude; what lies beyond the projection's edge is counted in the report as clipped (or,
    // when nothing of the feature is left, left out).
    void apply(Feature &f, const CutOptions &options, const std::string &where,
               ImportReport &report) const;

    // A position in the turned frame, and back. Positions on the turned antimeridian come back
    // a hair inside their side, so that the projection keeps them there.
    Pos turn(Pos p) const;
    Pos turnBack(Pos p) const;

private:
    bool shown(Pos turned) const;
    std::vector<Pos> turned(const std::vector<Pos> &positions) const;
    void turnBack(std::vector<Pos> &positions) const;
    std::vector<Polygon> visible(Polygon turned, bool &clipped) const;

    Tear tear_;
    double south_, north_;
    double sinLat0_, cosLat0_;
    Polygon shownArea_;  // in the turned frame: a horizon's cap, or the latitudes shown
};

// Positions at a pole whose neighbour is at the same pole: the edge along which a map in
// longitude and latitude closes a ring round the pole, which is a single point on the sphere.
void dropPoleEdges(std::vector<Pos> &ring);

}  // namespace kvgimport

#endif  // KVGIMPORT_SPHERE_CUT_H
