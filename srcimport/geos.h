// The few planar operations an import needs, through GEOS: validity with its reason,
// intersection with a rectangle, a point on a polygon's surface, area.
#ifndef KVGIMPORT_GEOS_H
#define KVGIMPORT_GEOS_H

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "model.h"

namespace kvgimport {

// GEOS could not take a geometry (a ring that does not close, coordinates it cannot hold).
class GeometryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Why the polygon is not a valid simple polygon (a self-intersection, a hole outside its
// outer ring, ...), or nothing when it is valid.
std::optional<std::string> invalidity(const Polygon &polygon);

// The polygon made valid: the same area as the rings enclose, as valid polygons.
std::vector<Polygon> makeValid(const Polygon &polygon);

// The polygons that the polygon and the rectangle [xmin, xmax] x [ymin, ymax] have in common.
std::vector<Polygon> clip(const Polygon &polygon, double xmin, double xmax, double ymin,
                          double ymax);

// The polygons that the polygon and `area` (a valid polygon) have in common.
std::vector<Polygon> intersection(const Polygon &polygon, const Polygon &area);

// The pieces of the path inside `area` (a valid polygon).
std::vector<Path> intersection(const Path &path, const Polygon &area);

struct Circle {
    Pos centre;
    double radius;
};

// The largest circle inside the polygon, its centre the pole of inaccessibility, found to within
// `tolerance`.
Circle maximumInscribedCircle(const Polygon &polygon, double tolerance);

// A point inside the polygon (on its boundary only for a polygon without area).
Pos pointOnSurface(const Polygon &polygon);

// The area inside the outer ring less its holes.
double area(const Polygon &polygon);

}  // namespace kvgimport

#endif  // KVGIMPORT_GEOS_H
