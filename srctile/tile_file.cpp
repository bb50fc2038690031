#include "tile_file.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "kvgtile.h"

namespace kvgtile {

namespace {

constexpr kvgimport::Colour FILLED_EDGE_COLOUR = 0x6B6B6B, EDGE_COLOUR = 0x1F3A5F, MARK_COLOUR = 0xB22222;
constexpr uint8_t FILLED_EDGE_UNITS = UNITS_PER_PIXEL / 2, EDGE_UNITS = UNITS_PER_PIXEL;
constexpr uint32_t MARK_PIXELS = 5;
constexpr double MM_PER_PIXEL = 25.4 / 96;

kvg::Options tileOptions(const TileFrame &frame) {
    const double side = double(frame.hi) - frame.lo;
    kvg::Options o;
    o.world = {double(frame.lo), double(frame.hi), double(frame.lo), double(frame.hi)};
    o.width_res = o.height_res = int32_t(side);
    o.width_mm = o.height_mm = side / UNITS_PER_PIXEL * MM_PER_PIXEL;
    o.compress = true;
    o.sync = false;  // a scratch file, read back at once: the archive is what must last
    return o;
}

// A scratch file for the writer, which writes to a path; removed when the object goes.
class ScratchFile {
public:
    ScratchFile() {
        path_ = (std::filesystem::temp_directory_path() / "kvgtile-XXXXXX").string();
        const int fd = mkstemp(path_.data());
        if (fd < 0) throw TileError("cannot make a scratch file in " + std::filesystem::temp_directory_path().string());
        close(fd);
    }
    ~ScratchFile() { std::filesystem::remove(path_); }
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;
    const std::string &path() const { return path_; }
    std::vector<uint8_t> bytes() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::string path_;
};

void writeLayer(kvg::File &file, const kvgimport::MapLayer &source, const TileLayer &layer,
                const std::vector<std::vector<uint32_t>> &faces) {
    file.beginLayer(source.name.empty() ? "layer" : source.name);
    file.setMarkColor(MARK_COLOUR);
    file.setMarkStyle(KVG_MARK_CIRCLE, MARK_PIXELS);
    for (size_t f = 0; f < layer.features.size(); ++f) {
        const TileFeature &feature = layer.features[f];
        const kvgimport::MapFeature &original = source.features[feature.index];
        std::string name = original.name;
        std::erase(name, '\0');
        file.beginObject(name.empty() ? "#" + std::to_string(feature.index) : name);
        file.extension("feature", std::to_string(feature.index));
        if (!faces[f].empty()) file.setFillColor(original.fill.value_or(0xCCCCCC));
        for (const uint32_t face : faces[f]) file.face(face);
        for (const kvgimport::Pos &m : feature.marks) file.mark(m.x, m.y);
        file.endObject();
    }
    if (layer.drawn.empty()) return;
    file.setLineColor(source.filled ? FILLED_EDGE_COLOUR : EDGE_COLOUR);
    file.setLineStyle(KVG_JOINT_ROUND, KVG_NO_ARROW, KVG_NO_ARROW, source.filled ? FILLED_EDGE_UNITS : EDGE_UNITS);
    kvgimport::drawEdges(file, layer.drawn);
}

}  // namespace

std::vector<uint8_t> writeTile(const kvgimport::Map &map, const TileContent &content, const TileFrame &frame) {
    const ScratchFile scratch;
    try {
        kvg::File file(scratch.path(), tileOptions(frame));
        for (const Chain &edge : content.edges) {
            std::vector<kvg::Point> points;
            for (const GridPos p : edge) points.push_back({double(p.x), double(p.y)});
            file.setEdge(points);
        }
        std::vector<std::vector<std::vector<uint32_t>>> faces;  // per layer and feature
        for (const TileLayer &layer : content.layers) {
            auto &layerFaces = faces.emplace_back();
            for (const TileFeature &feature : layer.features) {
                auto &featureFaces = layerFaces.emplace_back();
                for (const TilePolygon &polygon : feature.polygons)
                    featureFaces.push_back(kvgimport::setFaceWithHoles(file, polygon.outer, polygon.holes));
            }
        }
        for (size_t l = 0; l < content.layers.size(); ++l)
            writeLayer(file, map.layers[content.layers[l].index], content.layers[l], faces[l]);
        file.close();
    } catch (const kvg::Error &e) {
        throw TileError(std::string("cannot write a tile: ") + e.what());
    }
    return scratch.bytes();
}

}  // namespace kvgtile
