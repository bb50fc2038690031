// Projection of the source's coordinates into the map's through PROJ (GDAL's coordinate
// transformation), or none.
#ifndef KVGIMPORT_PROJECTION_H
#define KVGIMPORT_PROJECTION_H

#include <memory>
#include <string>

#include "model.h"
#include "sphere_cut.h"
#include "tear.h"

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
    // Where the target tears the sphere, for a geographic source.
    const Tear &tear() const { return tear_; }
    // How a geographic source is cut and clipped for the target.
    const SphereCut &sphereCut() const { return *cut_; }
    // Projects the positions in place; false when one of them cannot be projected.
    bool apply(std::vector<Pos> &positions) const;

private:
    // The latitudes a projection with a seam shows: all, unless a pole lies at infinity.
    std::pair<double, double> latitudesShown(const OGRSpatialReference &target) const;

    std::unique_ptr<OGRCoordinateTransformation> transform_;
    Tear tear_;
    std::unique_ptr<SphereCut> cut_;
};

// Whether the CRS is in longitude and latitude.
bool isGeographic(const std::shared_ptr<OGRSpatialReference> &crs);

// WGS 84 in longitude, latitude order.
std::shared_ptr<OGRSpatialReference> wgs84();

}  // namespace kvgimport

#endif  // KVGIMPORT_PROJECTION_H
