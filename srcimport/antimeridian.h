// Geometries in longitude and latitude made planar: rings and lines that cross the
// antimeridian (a step of more than 180 degrees of longitude) are cut at ±180, and a ring that
// goes round a pole is closed along the pole's edge of the map, so that nothing wraps across
// the map. The cuts are densified so that they follow any projection's edge.
#ifndef KVGIMPORT_ANTIMERIDIAN_H
#define KVGIMPORT_ANTIMERIDIAN_H

#include <string>
#include <vector>

#include "model.h"

namespace kvgimport {

// Checks the polygon (rings of at least four positions that close, valid once unwrapped; an
// invalid one is mended when `mend` is set) and cuts it where it crosses the antimeridian;
// throws InputError naming `where` otherwise.
std::vector<Polygon> cutPolygon(const Polygon &polygon, bool geographic, bool mend,
                                const std::string &where);

// The path cut into pieces at the antimeridian.
std::vector<Path> cutPath(const Path &path);

}  // namespace kvgimport

#endif  // KVGIMPORT_ANTIMERIDIAN_H
