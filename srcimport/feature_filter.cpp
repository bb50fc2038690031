#include "feature_filter.h"

#include <ogrsf_frmts.h>

#include <algorithm>
#include <memory>
#include <set>

#include "kvgimport.h"

namespace kvgimport {

namespace {

struct DatasetCloser {
    void operator()(GDALDataset *ds) const { GDALClose(ds); }
};
struct FeatureDeleter {
    void operator()(OGRFeature *f) const { OGRFeature::DestroyFeature(f); }
};

// The features' values in a layer of OGR's memory driver, which evaluates the filter as
// every source's own layer would.
std::vector<bool> matching(const Layer &layer, const std::string &where) {
    GDALDriver *driver = GetGDALDriverManager()->GetDriverByName("Memory");
    const std::unique_ptr<GDALDataset, DatasetCloser> ds(
        driver->Create("", 0, 0, 0, GDT_Unknown, nullptr));
    OGRLayer *mem = ds->CreateLayer("features", nullptr, wkbNone, nullptr);
    for (const Field &field : layer.fields) {
        OGRFieldDefn defn(field.name.c_str(), field.numeric ? OFTReal : OFTString);
        mem->CreateField(&defn);
    }
    for (size_t i = 0; i < layer.features.size(); ++i) {
        const std::unique_ptr<OGRFeature, FeatureDeleter> f(OGRFeature::CreateFeature(mem->GetLayerDefn()));
        f->SetFID(GIntBig(i));
        const std::vector<Value> &values = layer.features[i].values;
        for (size_t k = 0; k < values.size(); ++k) {
            if (const auto *number = std::get_if<double>(&values[k])) f->SetField(int(k), *number);
            else if (const auto *text = std::get_if<std::string>(&values[k])) f->SetField(int(k), text->c_str());
        }
        if (mem->CreateFeature(f.get()) != OGRERR_NONE) throw std::bad_alloc();
    }
    CPLErrorReset();
    if (mem->SetAttributeFilter(where.c_str()) != OGRERR_NONE) {
        const char *message = CPLGetLastErrorMsg();
        throw InputError("layer " + layer.name + ": --where '" + where + "': " +
                         (message && *message ? message : "not a valid filter"));
    }
    std::vector<bool> keep(layer.features.size(), false);
    mem->ResetReading();
    for (;;) {
        const std::unique_ptr<OGRFeature, FeatureDeleter> f(mem->GetNextFeature());
        if (!f) break;
        keep[size_t(f->GetFID())] = true;
    }
    return keep;
}

}  // namespace

void filterFeatures(Layer &layer, const std::string &where, const std::vector<std::string> &names) {
    std::vector<bool> keep(layer.features.size(), true);
    if (!where.empty()) keep = matching(layer, where);
    const std::set<std::string> chosen(names.begin(), names.end());
    std::vector<Feature> kept;
    for (size_t i = 0; i < layer.features.size(); ++i)
        if (keep[i] && (chosen.empty() || chosen.contains(layer.features[i].name)))
            kept.push_back(std::move(layer.features[i]));
    layer.features = std::move(kept);
}

}  // namespace kvgimport
