#include "map_writer.h"

#include <algorithm>
#include <optional>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "kvgwriter.hpp"

namespace kvgimport {

namespace {

constexpr double FILLED_EDGE_MM = 0.1;  // borders between filled polygons
constexpr double EDGE_MM = 0.25;        // lines of the layers drawn over them
constexpr double LABEL_MM = 2.2;
constexpr double LEGEND_MM = 2.5;       // the legend's text; its swatches are two of it
constexpr uint32_t MARK_PIXELS = 5;
constexpr Colour FILLED_EDGE_COLOUR = 0x6B6B6B, EDGE_COLOUR = 0x1F3A5F, MARK_COLOUR = 0xB22222;
constexpr Colour TEXT_COLOUR = 0x202020, LEGEND_BACKGROUND = 0xFFFFFF;

// Names and texts reach the file as C strings: a NUL would end them early (and an object
// name cut to nothing would end an object instead of beginning one).
std::string withoutNul(std::string text) {
    std::erase(text, '\0');
    return text;
}

class Writer {
public:
    Writer(const Map &map, const std::string &path, bool compress)
        : map_(map), file_(path, options(map, compress)),
          unitMm_(std::min(map.widthMm / (map.width + 2.0 * map.margin),
                           map.heightMm / (map.height + 2.0 * map.margin))) {}

    void edges(ImportSummary &summary, const ImportProgress &progress) {
        const auto &arcs = map_.topology.arcs;
        for (size_t i = 0; i < arcs.size(); ++i) {
            file_.beginSetEdge(arcs[i][0].x, arcs[i][0].y);
            for (size_t k = 1; k < arcs[i].size(); ++k) file_.vertexSetEdge(arcs[i][k].x, arcs[i][k].y);
            file_.endSetEdge();
            summary.arcPoints += arcs[i].size();
            summary.sharedArcs += map_.topology.uses[i] > 1;
            if (progress && i % 4096 == 0) progress("edges", i, arcs.size());
        }
        summary.arcs = arcs.size();
    }

    // The faces of every polygon, holes before the outer ring that cuts them out; keeps the
    // outer faces of every feature.
    void faces(ImportSummary &summary) {
        for (const MapLayer &layer : map_.layers) {
            auto &layerFaces = outerFaces_.emplace_back();
            for (const MapFeature &feature : layer.features) {
                auto &featureFaces = layerFaces.emplace_back();
                for (const auto &rings : feature.polygons) {
                    std::vector<uint32_t> holes;
                    for (size_t r = 1; r < rings.size(); ++r) holes.push_back(file_.setFace(rings[r]));
                    featureFaces.push_back(file_.setFace(rings[0], holes));
                    summary.faces += rings.size();
                }
            }
        }
    }

    void layers(ImportSummary &summary) {
        for (size_t l = 0; l < map_.layers.size(); ++l) {
            layer(map_.layers[l], outerFaces_[l], summary);
            ++summary.layers;
        }
        if (!map_.legend.entries.empty()) legend();
    }

    void close() { file_.close(); }
    // Gives the file up: the output's path keeps what it held before.
    void abandon() { file_.abandon(); }

private:
    static kvg::Options options(const Map &map, bool compress) {
        kvg::Options o;
        const double m = map.margin;
        o.world = {-m, map.width + m, -m, map.height + m};
        o.width_res = map.width + 2 * map.margin;
        o.height_res = map.height + 2 * map.margin;
        o.width_mm = map.widthMm;
        o.height_mm = map.heightMm;
        o.compress = compress;
        return o;
    }

    // A length on the page in whole grid steps, as the writer takes weights and sizes.
    double steps(double mm) const { return std::round(mm / unitMm_); }
    uint8_t weight(double mm) const { return static_cast<uint8_t>(std::clamp(steps(mm), 1.0, 255.0)); }
    uint32_t fontSize(double mm) const { return static_cast<uint32_t>(std::clamp(steps(mm), 1.0, 4194303.0)); }

    void layer(const MapLayer &layer, const std::vector<std::vector<uint32_t>> &outer,
               ImportSummary &summary) {
        const std::string name = withoutNul(layer.name);
        file_.beginLayer(name.empty() ? "layer" : name);
        file_.setMarkColor(MARK_COLOUR);
        file_.setMarkStyle(KVG_MARK_CIRCLE, MARK_PIXELS);
        for (size_t f = 0; f < layer.features.size(); ++f) {
            const MapFeature &feature = layer.features[f];
            const bool fills = layer.filled && feature.fill && !outer[f].empty();
            const std::string objectName = withoutNul(feature.name);
            const bool named = (fills || !feature.marks.empty()) && !objectName.empty();
            if (named) file_.beginObject(objectName);
            if (fills) {
                file_.setFillColor(*feature.fill);
                for (const uint32_t face : outer[f]) file_.face(face);
            }
            for (const Pos &p : feature.marks) file_.mark(p.x, p.y);
            summary.marks += feature.marks.size();
            if (named) file_.endObject();
        }
        file_.setLineColor(layer.filled ? FILLED_EDGE_COLOUR : EDGE_COLOUR);
        file_.setLineStyle(KVG_JOINT_ROUND, KVG_NO_ARROW, KVG_NO_ARROW,
                           weight(layer.filled ? FILLED_EDGE_MM : EDGE_MM));
        drawEdges(layer);
        labels(layer);
    }

    // Every arc of the layer once, consecutive ones as a range where identifiers allow.
    void drawEdges(const MapLayer &layer) {
        std::vector<int32_t> ids;
        const auto add = [&](const RingArcs &arcs) {
            for (const ArcRef ref : arcs) ids.push_back(std::abs(ref));
        };
        for (const MapFeature &feature : layer.features) {
            for (const auto &rings : feature.polygons) std::ranges::for_each(rings, add);
            std::ranges::for_each(feature.paths, add);
        }
        std::ranges::sort(ids);
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        for (size_t i = 0; i < ids.size();) {
            size_t j = i;
            while (j + 1 < ids.size() && ids[j + 1] == ids[j] + 1 &&
                   ids[j + 1] <= std::numeric_limits<int16_t>::max())
                ++j;
            if (j > i)
                file_.edgeRange(static_cast<int16_t>(ids[i]), static_cast<int16_t>(ids[j]));
            else
                file_.edge(ids[i]);
            i = j + 1;
        }
    }

    void labels(const MapLayer &layer) {
        std::optional<std::pair<uint32_t, uint8_t>> style;  // font size and alignment in force
        for (const MapFeature &feature : layer.features) {
            const std::string text = withoutNul(feature.label);
            if (text.empty()) continue;
            if (!style) file_.setTextColor(TEXT_COLOUR);
            const std::pair wanted{fontSize(feature.labelMm > 0 ? feature.labelMm : LABEL_MM), feature.labelAlignment};
            if (style != wanted) {
                file_.setFont(KVG_FONT_SANS_SERIF, KVG_FONT_PLAIN, wanted.first);
                file_.setTextAlignment(static_cast<KVG_TEXT_ALIGNMENT>(wanted.second), 0);
                style = wanted;
            }
            file_.text(feature.labelAt.x, feature.labelAt.y, text);
        }
    }

    // A key in the lower left corner of the page: the title, then a swatch and a text per entry.
    void legend() {
        const Legend &legend = map_.legend;
        const double line = steps(LEGEND_MM * 1.6), margin = steps(LEGEND_MM);
        const double swatch = steps(LEGEND_MM * 1.2);
        size_t longest = legend.title.size();
        for (const auto &[colour, text] : legend.entries) longest = std::max(longest, text.size() + 3);
        const double width = margin * 2 + steps(LEGEND_MM * 0.6) * double(longest);
        const double height = margin * 2 + line * double(legend.entries.size() + 1);
        file_.beginLayer("legend");
        file_.setFill(true);
        file_.setFillColor(LEGEND_BACKGROUND);
        file_.box(margin, margin, width, height);
        file_.setTextColor(TEXT_COLOUR);
        file_.setFont(KVG_FONT_SANS_SERIF, KVG_FONT_BOLD, fontSize(LEGEND_MM));
        file_.setTextAlignment(KVG_TEXT_WEST, 0);
        double y = margin * 2 + line * double(legend.entries.size()) + line / 2;
        file_.text(margin * 2, y, withoutNul(legend.title));
        file_.setFont(KVG_FONT_SANS_SERIF, KVG_FONT_PLAIN, fontSize(LEGEND_MM));
        for (const auto &[colour, text] : legend.entries) {
            y -= line;
            file_.setFillColor(colour);
            file_.box(margin * 2, y - swatch / 2, swatch * 1.5, swatch);
            file_.text(margin * 2 + swatch * 2, y, withoutNul(text));
        }
    }

    const Map &map_;
    kvg::File file_;
    double unitMm_;  // millimetres on the page per grid step
    std::vector<std::vector<std::vector<uint32_t>>> outerFaces_;  // by layer and feature
};

}  // namespace

void writeMap(const Map &map, const std::string &path, bool compress, ImportSummary &summary,
              const ImportProgress &progress) {
    errno = 0;
    std::optional<Writer> writer;
    try {
        writer.emplace(map, path, compress);
    } catch (const kvg::Error &e) {  // nothing created
        const int error = errno;
        throw OutputError("cannot write " + path + ": " +
                          (error != 0 ? std::strerror(error) : e.what()));
    }
    try {
        writer->edges(summary, progress);
        writer->faces(summary);
        writer->layers(summary);
        writer->close();
    } catch (const kvg::Error &e) {
        writer->abandon();
        throw OutputError("cannot write " + path + ": " + e.what());
    }
}

}  // namespace kvgimport
