#include "ogr_source.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "gdal_network.h"
#include "kvgimport.h"
#include "source_budget.h"

namespace kvgimport {

namespace {

// The drivers of the formats the importer documents. None of them reads files or URLs that the
// source names (as an OGR VRT or a WFS description would).
constexpr const char *DOCUMENTED_DRIVERS[] = {"GeoJSON", "TopoJSON", "ESRI Shapefile", "GPKG",
                                              "FlatGeobuf", "KML", "LIBKML", "GPX", "CSV"};

// A null-terminated list of driver names for GDAL: the documented ones and `extra`.
class DriverList {
public:
    explicit DriverList(const std::vector<std::string> &extra) : names_(extra) {
        for (const std::string &name : names_)
            if (GDALGetDriverByName(name.c_str()) == nullptr)
                throw InputError("--driver " + name + ": no GDAL driver of that name");
        for (const char *name : DOCUMENTED_DRIVERS) pointers_.push_back(name);
        for (const std::string &name : names_) pointers_.push_back(name.c_str());
        pointers_.push_back(nullptr);
    }
    const char *const *get() const { return pointers_.data(); }

private:
    std::vector<std::string> names_;
    std::vector<const char *> pointers_;
};

// The driver that would take `path` when it is not one of `allowed`.
std::optional<std::string> otherDriver(const std::string &path, const DriverList &allowed) {
    GDALDriverH driver = GDALIdentifyDriver(path.c_str(), nullptr);
    if (driver == nullptr) return std::nullopt;
    const std::string name = GDALGetDriverShortName(driver);
    for (const char *const *a = allowed.get(); *a != nullptr; ++a)
        if (name == *a) return std::nullopt;
    return name;
}

std::string lastOgrMessage(const char *otherwise) {
    const char *message = CPLGetLastErrorMsg();
    return message != nullptr && *message != '\0' ? message : otherwise;
}

struct DatasetCloser {
    void operator()(GDALDataset *ds) const { GDALClose(ds); }
};
using Dataset = std::unique_ptr<GDALDataset, DatasetCloser>;

struct FeatureDeleter {
    void operator()(OGRFeature *f) const { OGRFeature::DestroyFeature(f); }
};

bool equalsIgnoringCase(const std::string &a, const char *b) {
    return std::equal(a.begin(), a.end(), b, b + std::strlen(b),
                      [](char x, char y) { return std::tolower(x) == std::tolower(y); });
}

class FeatureReader {
public:
    FeatureReader(OGRLayer &layer, const std::string &where) : layer_(layer), where_(where) {
        OGRFeatureDefn *defn = layer.GetLayerDefn();
        for (int i = 0; i < defn->GetFieldCount(); ++i) {
            const OGRFieldDefn *field = defn->GetFieldDefn(i);
            const OGRFieldType type = field->GetType();
            fields_.push_back(
                {field->GetNameRef(), type == OFTInteger || type == OFTInteger64 || type == OFTReal});
            if (nameField_ < 0 && equalsIgnoringCase(fields_.back().name, "name")) nameField_ = i;
            if (idField_ < 0 && equalsIgnoringCase(fields_.back().name, "id")) idField_ = i;
        }
    }

    const std::vector<Field> &fields() const { return fields_; }

    Feature read(OGRFeature &source, SourceBudget &budget) const {
        budget.feature(fields_.size());
        Feature feature;
        for (int i = 0; i < int(fields_.size()); ++i) {
            if (!source.IsFieldSetAndNotNull(i)) {
                feature.values.emplace_back();
            } else if (fields_[i].numeric) {
                feature.values.emplace_back(source.GetFieldAsDouble(i));
            } else {
                std::string text = source.GetFieldAsString(i);
                budget.text(text);
                feature.values.emplace_back(std::move(text));
            }
        }
        const int named = nameField_ >= 0 && source.IsFieldSetAndNotNull(nameField_) ? nameField_
                          : idField_ >= 0 && source.IsFieldSetAndNotNull(idField_)    ? idField_
                                                                                      : -1;
        feature.name = named >= 0 ? source.GetFieldAsString(named)
                                  : std::to_string(source.GetFID());
        budget.text(feature.name);
        if (const OGRGeometry *g = source.GetGeometryRef()) {
            const Geometry geometry{feature, budget, where_ + ", feature " + feature.name};
            geometry.add(*g);
        }
        return feature;
    }

private:
    // One feature's geometry flattened into its polygons, paths and points.
    struct Geometry {
        Feature &feature;
        SourceBudget &budget;
        std::string where;

        Pos position(double x, double y) const {
            if (!std::isfinite(x) || !std::isfinite(y))
                throw InputError(where + ": a position that is not a finite number");
            return {x, y};
        }

        Path path(const OGRSimpleCurve &curve) const {
            budget.points(uint64_t(curve.getNumPoints()));
            Path result(curve.getNumPoints());
            for (int i = 0; i < curve.getNumPoints(); ++i)
                result[i] = position(curve.getX(i), curve.getY(i));
            return result;
        }

        void add(const OGRGeometry &g) const {
            if (g.IsEmpty()) return;
            switch (wkbFlatten(g.getGeometryType())) {
            case wkbPoint: {
                const auto &p = *g.toPoint();
                budget.points(1);
                feature.points.push_back(position(p.getX(), p.getY()));
                return;
            }
            case wkbLineString:
                feature.paths.push_back(path(*g.toLineString()));
                return;
            case wkbPolygon: {
                Polygon polygon;
                for (const OGRLinearRing *ring : *g.toPolygon()) polygon.rings.push_back(path(*ring));
                feature.polygons.push_back(std::move(polygon));
                return;
            }
            case wkbMultiPoint:
            case wkbMultiLineString:
            case wkbMultiPolygon:
            case wkbGeometryCollection:
                for (const OGRGeometry *part : *g.toGeometryCollection()) add(*part);
                return;
            default:
                break;
            }
            if (g.hasCurveGeometry()) {  // arcs of circles: as the polylines OGR makes of them
                const std::unique_ptr<OGRGeometry> linear(g.getLinearGeometry());
                if (linear) return add(*linear);
            }
            throw InputError(where + ": a geometry of the kind " +
                             OGRGeometryTypeToName(g.getGeometryType()) +
                             ", which a map cannot hold");
        }
    };

    OGRLayer &layer_;
    std::string where_;
    std::vector<Field> fields_;
    int nameField_ = -1, idField_ = -1;
};

// A record OGR could not read whole (a damaged Shapefile shape, a GeoPackage geometry that does
// not decode) comes with an error and without its geometry: it is left out and named in
// `damaged`, never taken for a feature without geometry.
Layer readLayer(OGRLayer &ogr, SourceBudget &budget, std::vector<std::string> &damaged) {
    const std::string name = ogr.GetName();
    FeatureReader reader(ogr, "layer " + name);
    Layer layer{name, reader.fields(), {}};
    ogr.ResetReading();
    while (true) {
        CPLErrorReset();
        const std::unique_ptr<OGRFeature, FeatureDeleter> feature(ogr.GetNextFeature());
        const bool failed = CPLGetLastErrorType() >= CE_Failure;
        if (!feature) {
            if (failed)
                throw InputError("layer " + name + ": " + lastOgrMessage("unreadable feature"));
            break;
        }
        if (failed) {
            damaged.push_back("layer " + name + ", record " + std::to_string(feature->GetFID()) +
                              " (" + lastOgrMessage("damaged") + ")");
            continue;
        }
        layer.features.push_back(reader.read(*feature, budget));
    }
    return layer;
}

// GPX's point layers that repeat every vertex of its tracks and routes: a dot on each vertex,
// left out unless named.
bool repeatsVertices(GDALDataset &ds, OGRLayer &layer) {
    const std::string name = layer.GetName();
    return ds.GetDriver() != nullptr && std::string(ds.GetDriver()->GetDescription()) == "GPX" &&
           (name == "track_points" || name == "route_points");
}

std::vector<OGRLayer *> chosenLayers(GDALDataset &ds, const std::vector<std::string> &names) {
    std::vector<OGRLayer *> result;
    if (names.empty()) {
        for (OGRLayer *layer : ds.GetLayers())
            if (!repeatsVertices(ds, *layer)) result.push_back(layer);
        return result;
    }
    for (const std::string &name : names) {
        OGRLayer *layer = ds.GetLayerByName(name.c_str());
        if (layer == nullptr) {
            std::string known;
            for (OGRLayer *l : ds.GetLayers()) known += (known.empty() ? "" : ", ") + std::string(l->GetName());
            throw InputError("no layer '" + name + "' (layers: " + known + ")");
        }
        result.push_back(layer);
    }
    return result;
}

}  // namespace

void initialiseOgr() {
    static std::once_flag once;
    std::call_once(once, [] {
        GDALAllRegister();
        CPLSetErrorHandler(CPLQuietErrorHandler);
        turnOffGdalNetwork();
    });
}

bool isTopoJson(const std::string &path) {
    GDALDriverH driver = GDALIdentifyDriver(path.c_str(), nullptr);
    return driver != nullptr && std::string(GDALGetDriverShortName(driver)) == "TopoJSON";
}

Source readOgr(const std::string &path, const std::vector<std::string> &layers,
               const std::vector<std::string> &drivers, SourceBudget &budget) {
    CPLErrorReset();
    const DriverList allowed(drivers);
    const Dataset ds(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, allowed.get()));
    if (!ds) {
        const std::string why = lastOgrMessage("not a vector source that the importer reads");
        if (const std::optional<std::string> other = otherDriver(path, allowed))
            throw InputError("a source for GDAL's driver " + *other +
                             ", which the importer opens only when named (--driver " + *other + ")");
        throw InputError(why);
    }
    Source source;
    for (OGRLayer *ogr : chosenLayers(*ds, layers)) {
        CPLErrorReset();
        const OGRSpatialReference *crs = ogr->GetSpatialRef();  // a VRT opens its source here
        if (CPLGetLastErrorType() >= CE_Failure)
            throw InputError("layer " + std::string(ogr->GetName()) + ": " +
                             lastOgrMessage("unreadable layer"));
        if (crs) {
            if (!source.crs) {
                source.crs = std::make_shared<OGRSpatialReference>(*crs);
                source.crs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
            } else if (!source.crs->IsSame(crs)) {
                throw InputError("layer " + std::string(ogr->GetName()) +
                                 ": a CRS other than the first layer's; import it alone (--layer)");
            }
        }
        source.layers.push_back(readLayer(*ogr, budget, source.damaged));
    }
    return source;
}

}  // namespace kvgimport
