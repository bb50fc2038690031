// Projection of the source's coordinates into the map's through PROJ (GDAL's coordinate
// transformation), or none.
#ifndef KVGIMPORT_PROJECTION_H
#define KVGIMPORT_PROJECTION_H

#include <memory>
#include <string>

#include "model.h"

class OGRCoordinateTransformation;

namespace kvgimport {

class Projection {
public:
    // From the source's CRS (null: none) to `target` (empty: none). Throws InputError for a
    // CRS that PROJ does not know, or a target without a source CRS to start from.
    Projection(const std::shared_ptr<OGRSpatialReference> &source, const std::string &target);
    ~Projection();
    Projection(const Projection &) = delete;
    Projection &operator=(const Projection &) = delete;

    bool active() const { return transform_ != nullptr; }
    // The latitudes the target can show, for a geographic source (all by default).
    double south() const { return south_; }
    double north() const { return north_; }
    // Projects the positions in place; throws InputError naming `where` for one that the
    // projection cannot take.
    void apply(std::vector<Pos> &positions, const std::string &where) const;

private:
    std::unique_ptr<OGRCoordinateTransformation> transform_;
    double south_ = -90, north_ = 90;
};

// Whether the CRS is in longitude and latitude.
bool isGeographic(const std::shared_ptr<OGRSpatialReference> &crs);

// WGS 84 in longitude, latitude order.
std::shared_ptr<OGRSpatialReference> wgs84();

}  // namespace kvgimport

#endif  // KVGIMPORT_PROJECTION_H
