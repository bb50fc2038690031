#include "projection.h"

#include <ogr_spatialref.h>

#include <cmath>

#include "kvgimport.h"

namespace kvgimport {

namespace {

// Where Mercator's square ends, for a projection that cannot show a pole and whose CRS does
// not say what it shows.
constexpr double MERCATOR_LATITUDE = 85.0511287798;
constexpr double POLE_AT_INFINITY = 4;  // times the distance from the centre to the equator's end

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
    if (!isGeographic(source)) return;
    tear_ = tearOf(projString(to));
    const auto [south, north] = latitudesShown(to);
    cut_ = std::make_unique<SphereCut>(tear_, south, north);
}

Projection::~Projection() = default;

std::pair<double, double> Projection::latitudesShown(const OGRSpatialReference &target) const {
    double west = 0, east = 0, areaSouth = -90, areaNorth = 90;
    const char *name = nullptr;
    if (!target.GetAreaOfUse(&west, &areaSouth, &east, &areaNorth, &name)) areaSouth = -90, areaNorth = 90;
    // A pole (of the turned frame) "at infinity": it cannot be projected, or lies many times
    // as far from the centre as the equator's ends do (PROJ gives Mercator's poles a finite,
    // huge position).
    const SphereCut turned(tear_, -90, 90);
    std::vector<Pos> reach{turned.turnBack({0, 0}), turned.turnBack({179, 0})};
    const double equator = apply(reach) ? std::hypot(reach[1].x - reach[0].x, reach[1].y - reach[0].y) : 0;
    const auto limit = [&](double pole, double area) {
        std::vector<Pos> at{turned.turnBack({0, pole})};
        if (equator > 0 && apply(at) &&
            std::hypot(at[0].x - reach[0].x, at[0].y - reach[0].y) < POLE_AT_INFINITY * equator)
            return pole;
        const bool meant = !tear_.transverse && std::fabs(area) < 90 && std::fabs(area) > 45;
        return meant ? area : std::copysign(MERCATOR_LATITUDE, pole);
    };
    return {limit(-90, areaSouth), limit(90, areaNorth)};
}

bool Projection::apply(std::vector<Pos> &positions) const {
    if (!transform_ || positions.empty()) return true;
    std::vector<double> x(positions.size()), y(positions.size());
    std::vector<int> ok(positions.size());
    for (size_t i = 0; i < positions.size(); ++i) {
        x[i] = positions[i].x;
        y[i] = positions[i].y;
    }
    transform_->Transform(positions.size(), x.data(), y.data(), nullptr, ok.data());
    for (size_t i = 0; i < positions.size(); ++i) {
        if (!ok[i] || !std::isfinite(x[i]) || !std::isfinite(y[i])) return false;
        positions[i] = {x[i], y[i]};
    }
    return true;
}

}  // namespace kvgimport
