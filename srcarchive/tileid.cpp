// Tile ids: every tile of zooms 0..z-1 first, then the tile's distance along the Hilbert curve
// that fills the 2^z x 2^z grid of its zoom.
#include <string>
#include <utility>

#include "archive_format.h"

namespace kvga {

namespace {

// Tiles of all zooms below `z`: (4^z - 1) / 3, for z up to MAX_ZOOM + 1.
uint64_t tilesBelow(uint8_t z) {
    return z > MAX_ZOOM ? UINT64_MAX / 3 : ((uint64_t{1} << (2 * z)) - 1) / 3;
}

// Turns a quadrant's coordinates so that the curve inside it runs as in the whole square.
void rotate(uint64_t side, uint64_t &x, uint64_t &y, uint64_t rx, uint64_t ry) {
    if (ry != 0) return;
    if (rx != 0) {
        x = side - 1 - x;
        y = side - 1 - y;
    }
    std::swap(x, y);
}

}  // namespace

uint64_t tileId(uint8_t z, uint32_t x, uint32_t y) {
    if (z > MAX_ZOOM) {
        throw Error(ErrorCode::Usage, "zoom " + std::to_string(z) + " is above " +
                                          std::to_string(MAX_ZOOM));
    }
    const uint64_t side = uint64_t{1} << z;
    if (x >= side || y >= side) {
        throw Error(ErrorCode::Usage, "tile " + std::to_string(z) + "/" + std::to_string(x) +
                                          "/" + std::to_string(y) + " lies outside its zoom");
    }
    uint64_t px = x, py = y, distance = 0;
    for (uint64_t s = side / 2; s > 0; s /= 2) {
        const uint64_t rx = (px & s) != 0 ? 1 : 0;
        const uint64_t ry = (py & s) != 0 ? 1 : 0;
        distance += s * s * ((3 * rx) ^ ry);
        rotate(side, px, py, rx, ry);
    }
    return tilesBelow(z) + distance;
}

uint64_t tileId(const TileCoord &tile) { return tileId(tile.z, tile.x, tile.y); }

TileCoord tileCoord(uint64_t id) {
    uint8_t z = 0;
    while (z <= MAX_ZOOM && id >= tilesBelow(static_cast<uint8_t>(z + 1))) ++z;
    if (z > MAX_ZOOM) {
        throw Error(ErrorCode::Usage,
                    "tile id " + std::to_string(id) + " lies beyond zoom " +
                        std::to_string(MAX_ZOOM));
    }
    uint64_t distance = id - tilesBelow(z), x = 0, y = 0;
    const uint64_t side = uint64_t{1} << z;
    for (uint64_t s = 1; s < side; s *= 2) {
        const uint64_t rx = 1 & (distance / 2);
        const uint64_t ry = 1 & (distance ^ rx);
        rotate(s, x, y, rx, ry);
        x += s * rx;
        y += s * ry;
        distance /= 4;
    }
    return {z, static_cast<uint32_t>(x), static_cast<uint32_t>(y)};
}

}  // namespace kvga
