// The JSON metadata: TileJSON's names (vector_layers, bounds, center, minzoom, maxzoom),
// "format": "kvg", which tells clients what the tiles are, since the header has no tile type
// for KVG, and the tiles' "extent" and "buffer" in grid units.
#include <nlohmann/json.hpp>

#include "archive_format.h"

namespace kvga::impl {

namespace {

using nlohmann::json;

json layerJson(const LayerInfo &layer, const Header &header) {
    json out = {{"id", layer.id},
                {"fields", layer.fields},
                {"minzoom", layer.minZoom >= 0 ? layer.minZoom : header.minZoom},
                {"maxzoom", layer.maxZoom >= 0 ? layer.maxZoom : header.maxZoom}};
    if (!layer.description.empty()) out["description"] = layer.description;
    return out;
}

void putText(json &out, const char *key, const std::string &value) {
    if (!value.empty()) out[key] = value;
}

}  // namespace

std::string metadataJson(const Metadata &metadata, const Header &header) {
    json out = json::object();
    if (!metadata.extraJson.empty()) {
        out = json::parse(metadata.extraJson, nullptr, false);
        if (!out.is_object()) fail(ErrorCode::Usage, "extra metadata is not a JSON object");
    }
    json fixed = {{"format", "kvg"},
                  {"minzoom", header.minZoom},
                  {"maxzoom", header.maxZoom},
                  {"bounds", {header.min.lon, header.min.lat, header.max.lon, header.max.lat}},
                  {"center", {header.center.lon, header.center.lat, header.centerZoom}},
                  {"extent", metadata.extent},
                  {"buffer", metadata.buffer},
                  {"vector_layers", json::array()}};
    putText(fixed, "name", metadata.name);
    putText(fixed, "description", metadata.description);
    putText(fixed, "attribution", metadata.attribution);
    for (const LayerInfo &layer : metadata.layers)
        fixed["vector_layers"].push_back(layerJson(layer, header));
    for (const auto &[key, value] : fixed.items()) {
        if (out.contains(key))
            fail(ErrorCode::Usage, "extra metadata repeats the member \"" + key + "\"");
        out[key] = value;
    }
    return out.dump();
}

void checkMetadata(const std::string &text) {
    const json parsed = json::parse(text, nullptr, false);
    if (!parsed.is_object()) fail(ErrorCode::Format, "metadata is not a JSON object");
}

}  // namespace kvga::impl
