// Writing a built map as a KVG file: every arc one edge (arc i is edge i + 1), every ring one
// face (holes as hole faces of their outer ring), one layer per source layer and one object per
// feature, styled for a page whatever the data's units: the world units are grid steps, and
// line weights, font and legend sizes are chosen in millimetres on the page.
#ifndef KVGIMPORT_MAP_WRITER_H
#define KVGIMPORT_MAP_WRITER_H

#include <optional>
#include <string>
#include <vector>

#include "kvgimport.h"
#include "kvgwriter.h"
#include "style.h"
#include "topology.h"

namespace kvgimport {

using RingArcs = std::vector<ArcRef>;

struct MapFeature {
    std::string name;
    std::vector<std::vector<RingArcs>> polygons;  // per polygon: outer ring, then holes
    std::vector<RingArcs> paths;
    std::vector<Pos> marks;                       // grid positions
    std::optional<Colour> fill;                   // in a filled layer
    std::string label;
    Pos labelAt{0, 0};          // grid position: the text's centre, or its end by a mark
    double labelMm = 0;         // font size
    uint8_t labelAlignment = KVG_TEXT_CENTER;
};

struct MapLayer {
    std::string name;
    bool filled = false;
    std::vector<MapFeature> features;
};

struct Map {
    Topology topology;
    std::vector<MapLayer> layers;
    Legend legend;
    int32_t width = 0, height = 0;   // the grid, even numbers of steps
    int32_t margin = 0;              // grid steps of page round the grid, on every side
    double widthMm = 0, heightMm = 0;  // the page, margins included
};

// The most edges and faces a file holds.
constexpr size_t MAX_EDGES = 2097150;
constexpr size_t MAX_FACES = 4194304;

// Writes the map; throws OutputError when the file cannot be written. Fills in the summary's
// arcs, shared arcs, faces, points, marks and layers.
void writeMap(const Map &map, const std::string &path, bool compress, ImportSummary &summary,
              const ImportProgress &progress);

}  // namespace kvgimport

#endif  // KVGIMPORT_MAP_WRITER_H
