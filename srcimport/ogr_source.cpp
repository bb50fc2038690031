#include "ogr_source.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>

#include "kvgimport.h"

namespace kvgimport {

namespace {

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

    Feature read(OGRFeature &source) const {
        Feature feature;
        for (int i = 0; i < int(fields_.size()); ++i) {
            if (!source.IsFieldSetAndNotNull(i)) {
                feature.values.emplace_back();
            } else if (fields_[i].numeric) {
                feature.values.emplace_back(source.GetFieldAsDouble(i));
            } else {
                feature.values.emplace_back(std::string(source.GetFieldAsString(i)));
            }
        }
        const int named = nameField_ >= 0 && source.IsFieldSetAndNotNull(nameField_) ? nameField_
                          : idField_ >= 0 && source.IsFieldSetAndNotNull(idField_)    ? idField_
                                                                                      : -1;
        feature.name = named >= 0 ? source.GetFieldAsString(named)
                                  : std::to_string(source.GetFID());
        if (const OGRGeometry *g = source.GetGeometryRef())
            add(*g, feature, where_ + ", feature " + feature.name);
        return feature;
    }

private:
    static Path path(const OGRSimpleCurve &curve) {
        Path result(curve.getNumPoints());
        for (int i = 0; i < curve.getNumPoints(); ++i) result[i] = {curve.getX(i), curve.getY(i)};
        return result;
    }

    static void add(const OGRGeometry &g, Feature &feature, const std::string &where) {
        if (g.IsEmpty()) return;
        switch (wkbFlatten(g.getGeometryType())) {
        case wkbPoint: {
            const auto &p = *g.toPoint();
            feature.points.push_back({p.getX(), p.getY()});
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
            for (const OGRGeometry *part : *g.toGeometryCollection()) add(*part, feature, where);
            return;
        default:
            if (g.hasCurveGeometry()) {  // arcs of circles: as the polylines OGR makes of them
                const std::unique_ptr<OGRGeometry> linear(g.getLinearGeometry());
                if (linear) return add(*linear, feature, where);
            }
            throw InputError(where + ": a geometry of the kind " +
                             OGRGeometryTypeToName(g.getGeometryType()) +
                             ", which a map cannot hold");
        }
    }

    OGRLayer &layer_;
    std::string where_;
    std::vector<Field> fields_;
    int nameField_ = -1, idField_ = -1;
};

Layer readLayer(OGRLayer &ogr) {
    const std::string name = ogr.GetName();
    FeatureReader reader(ogr, "layer " + name);
    Layer layer{name, reader.fields(), {}};
    ogr.ResetReading();
    while (true) {
        CPLErrorReset();
        const std::unique_ptr<OGRFeature, FeatureDeleter> feature(ogr.GetNextFeature());
        if (!feature) {
            if (CPLGetLastErrorType() >= CE_Failure)
                throw InputError("layer " + name + ": " + lastOgrMessage("unreadable feature"));
            break;
        }
        layer.features.push_back(reader.read(*feature));
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
    });
}

bool isTopoJson(const std::string &path) {
    GDALDriverH driver = GDALIdentifyDriver(path.c_str(), nullptr);
    return driver != nullptr && std::string(GDALGetDriverShortName(driver)) == "TopoJSON";
}

Source readOgr(const std::string &path, const std::vector<std::string> &layers) {
    CPLErrorReset();
    const Dataset ds(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    if (!ds) throw InputError(lastOgrMessage("not a vector source that GDAL/OGR reads"));
    Source source;
    for (OGRLayer *ogr : chosenLayers(*ds, layers)) {
        if (const OGRSpatialReference *crs = ogr->GetSpatialRef()) {
            if (!source.crs) {
                source.crs = std::make_shared<OGRSpatialReference>(*crs);
                source.crs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
            } else if (!source.crs->IsSame(crs)) {
                throw InputError("layer " + std::string(ogr->GetName()) +
                                 ": a CRS other than the first layer's; import it alone (--layer)");
            }
        }
        source.layers.push_back(readLayer(*ogr));
    }
    return source;
}

}  // namespace kvgimport
