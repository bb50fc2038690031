// Geometries in longitude and latitude made planar: rings and lines that cross the
// antimeridian (a step of more than 180 degrees of longitude) are cut at ±180, and a ring that
// goes round a pole is closed along the pole's edge of the map, so that nothing wraps across
// the map. When the map is projected, the cuts are densified so that they follow the
// projection's edge.
#ifndef KVGIMPORT_ANTIMERIDIAN_H
#define KVGIMPORT_ANTIMERIDIAN_H

#include <string>
#include <vector>

#include "import_report.h"
#include "model.h"

namespace kvgimport {

struct CutOptions {
    bool geographic;  // in longitude and latitude: cut at the antimeridian
    bool densify;     // the map's edges will be projected: densify the steps along them
    bool mend;        // mend invalid polygons instead of refusing them
    ImportReport *report = nullptr;  // where mending is counted
    std::string feature;             // the feature, as the report names it
};

// Checks the polygon (rings of at least four positions that close, valid once unwrapped) and
// cuts it where it crosses the antimeridian; throws InputError naming `where` otherwise.
std::vector<Polygon> cutPolygon(const Polygon &polygon, const CutOptions &options,
                                const std::string &where);

// The path cut into pieces at the antimeridian.
std::vector<Path> cutPath(const Path &path);

}  // namespace kvgimport

#endif  // KVGIMPORT_ANTIMERIDIAN_H
