// One tile's content written as a whole KVG file (gzip), on a grid of one unit per tile unit:
// a layer per map layer, an object per feature (its name, and its index in the layer as the
// extension "feature") filling its faces, then the layer's real edges drawn. The runs along the
// box close the faces but are never drawn.
#ifndef KVGTILE_TILE_FILE_H
#define KVGTILE_TILE_FILE_H

#include <cstdint>
#include <vector>

#include "clip.h"

namespace kvgtile {

std::vector<uint8_t> writeTile(const kvgimport::Map &map, const TileContent &content, const TileFrame &frame);

}  // namespace kvgtile

#endif  // KVGTILE_TILE_FILE_H
