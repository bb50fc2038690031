// libFuzzer target of the importer's JSON doors: the input's first byte chooses what the rest
// is, and the whole import runs on it as `kvg import` would, within the limits set here.
//   mode 0: a TopoJSON topology;
//   mode 1: the properties of a polygon in a small TopoJSON topology;
//   mode 2: the properties of a polygon feature in a small GeoJSON file (read through OGR).
// Bits 2 and 3 of the first byte label the polygons by their "name" and fill them by it, so
// that property values also go through the styling. Any outcome but a clean import or an
// InputError (a crash, another exception, a sanitizer's report) is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "kvgimport.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view TOPOLOGY_HEAD =
    R"({"type": "Topology", "arcs": [[[0, 0], [4, 0], [4, 3], [0, 0]]], "objects": {"o": )"
    R"({"type": "GeometryCollection", "geometries": [{"type": "Polygon", "arcs": [[0]], )"
    R"("properties": )";
constexpr std::string_view TOPOLOGY_TAIL = "}]}}}";
constexpr std::string_view GEOJSON_HEAD =
    R"({"type": "FeatureCollection", "features": [{"type": "Feature", "geometry": )"
    R"({"type": "Polygon", "coordinates": [[[0, 0], [4, 0], [4, 3], [0, 0]]]}, "properties": )";
constexpr std::string_view GEOJSON_TAIL = "}]}";

// Small enough that no input makes a run slow.
kvgimport::ImportLimits limits() {
    kvgimport::ImportLimits l;
    l.points = 1 << 16;
    l.features = 1 << 12;
    l.memory = 1 << 24;
    l.depth = 64;
    return l;
}

// A directory of this process's own, removed when it ends.
const fs::path &scratch() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("kvgimport-fuzz-" + std::to_string(getpid()));
        fs::create_directories(d);
        std::atexit([] { std::error_code ignored; fs::remove_all(scratch(), ignored); });
        return d;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const uint8_t mode = data[0];
    const std::string_view rest(reinterpret_cast<const char *>(data) + 1, size - 1);
    const bool geojson = mode % 3 == 2;
    const fs::path input = scratch() / (geojson ? "in.geojson" : "in.json");
    const fs::path output = scratch() / "out.kvg";
    {
        std::ofstream out(input, std::ios::binary | std::ios::trunc);
        if (mode % 3 == 0) out << rest;
        else if (mode % 3 == 1) out << TOPOLOGY_HEAD << rest << TOPOLOGY_TAIL;
        else out << GEOJSON_HEAD << rest << GEOJSON_TAIL;
    }
    kvgimport::ImportOptions options;
    options.topojson = !geojson;
    options.makeValid = true;
    options.limits = limits();
    if (mode & 4) options.label = "name";
    if (mode & 8) options.fillBy = "name";
    try {
        kvgimport::importMap(input, output, options);
    } catch (const kvgimport::InputError &) {
    }
    std::error_code ignored;
    fs::remove(output, ignored);
    return 0;
}
