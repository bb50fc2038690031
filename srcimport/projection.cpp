#include "projection.h"

#include <ogr_spatialref.h>

#include <cmath>

#include "kvgimport.h"

namespace kvgimport {

namespace {

std::string lastMessage() {
    const char *message = CPLGetLastErrorMsg();
    return message != nullptr && *message != '\0' ? std::string(" (") + message + ")" : "";
}

}  // namespace

bool isGeographic(const std::shared_ptr<OGRSpatialReference> &crs) {
    return crs && crs->IsGeographic();
}

std::shared_ptr<OGRSpatialReference> wgs84() {
    auto crs = std::make_shared<OGRSpatialReference>();
    crs->SetWellKnownGeogCS("WGS84");
    crs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return crs;
}

Projection::Projection(const std::shared_ptr<OGRSpatialReference> &source,
                       const std::string &target) {
    if (target.empty()) return;
    OGRSpatialReference to;
    CPLErrorReset();
    if (to.SetFromUserInput(target.c_str()) != OGRERR_NONE)
        throw InputError("unknown CRS '" + target + "'" + lastMessage());
    to.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    if (!source)
        throw InputError("the source declares no CRS, so it cannot be projected to '" + target +
                         "'");
    transform_.reset(OGRCreateCoordinateTransformation(source.get(), &to));
    if (!transform_)
        throw InputError("no transformation to '" + target + "'" + lastMessage());
    double west = 0, east = 0, south = 0, north = 0;
    const char *name = nullptr;
    if (isGeographic(source) && to.GetAreaOfUse(&west, &south, &east, &north, &name)) {
        south_ = std::max(south, -90.0);
        north_ = std::min(north, 90.0);
    }
}

Projection::~Projection() = default;

void Projection::apply(std::vector<Pos> &positions, const std::string &where) const {
    if (!transform_ || positions.empty()) return;
    std::vector<double> x(positions.size()), y(positions.size());
    std::vector<int> ok(positions.size());
    for (size_t i = 0; i < positions.size(); ++i) {
        x[i] = positions[i].x;
        y[i] = positions[i].y;
    }
    transform_->Transform(positions.size(), x.data(), y.data(), nullptr, ok.data());
    for (size_t i = 0; i < positions.size(); ++i) {
        if (!ok[i] || !std::isfinite(x[i]) || !std::isfinite(y[i]))
            throw InputError(where + ": the position (" + std::to_string(positions[i].x) + ", " +
                             std::to_string(positions[i].y) + ") cannot be projected");
        positions[i] = {x[i], y[i]};
    }
}

}  // namespace kvgimport
