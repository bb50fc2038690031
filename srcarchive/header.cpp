// The fixed 127-byte header: little-endian integers, positions in ten-millionths of a degree.
#include <cmath>
#include <cstring>

#include "archive_format.h"

namespace kvga::impl {

namespace {

constexpr char MAGIC[] = "PMTiles";
constexpr uint8_t VERSION = 3;
constexpr double POSITION_SCALE = 1e7;

void putInt(Bytes &out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t getInt(std::span<const uint8_t> in, size_t at, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= uint64_t{in[at + i]} << (8 * i);
    return value;
}

void putPosition(Bytes &out, const LonLat &p) {
    for (const double degrees : {p.lon, p.lat}) {
        const auto fixed = static_cast<int32_t>(std::lround(degrees * POSITION_SCALE));
        putInt(out, static_cast<uint32_t>(fixed), 4);
    }
}

double getDegrees(std::span<const uint8_t> in, size_t at) {
    return static_cast<int32_t>(static_cast<uint32_t>(getInt(in, at, 4))) / POSITION_SCALE;
}

LonLat getPosition(std::span<const uint8_t> in, size_t at) {
    return {getDegrees(in, at), getDegrees(in, at + 4)};
}

}  // namespace

Bytes encodeHeader(const Header &h) {
    Bytes out(MAGIC, MAGIC + 7);
    out.push_back(VERSION);
    for (const uint64_t field :
         {h.rootOffset, h.rootLength, h.metadataOffset, h.metadataLength, h.leafOffset,
          h.leafLength, h.tileDataOffset, h.tileDataLength, h.addressedTiles, h.tileEntries,
          h.tileContents}) {
        putInt(out, field, 8);
    }
    for (const uint8_t field :
         {uint8_t{h.clustered}, static_cast<uint8_t>(h.internalCompression),
          static_cast<uint8_t>(h.tileCompression), h.tileType, h.minZoom, h.maxZoom}) {
        out.push_back(field);
    }
    putPosition(out, h.min);
    putPosition(out, h.max);
    out.push_back(h.centerZoom);
    putPosition(out, h.center);
    return out;
}

Header decodeHeader(std::span<const uint8_t> in) {
    if (in.size() < HEADER_BYTES || std::memcmp(in.data(), MAGIC, 7) != 0)
        fail(ErrorCode::Format, "not a PMTiles archive (no \"PMTiles\" header)");
    if (in[7] != VERSION) {
        fail(ErrorCode::Format,
             "PMTiles version " + std::to_string(in[7]) + " is not supported (only 3)");
    }
    Header h;
    uint64_t *fields[] = {&h.rootOffset,     &h.rootLength,     &h.metadataOffset,
                          &h.metadataLength, &h.leafOffset,     &h.leafLength,
                          &h.tileDataOffset, &h.tileDataLength, &h.addressedTiles,
                          &h.tileEntries,    &h.tileContents};
    size_t at = 8;
    for (uint64_t *field : fields) {
        *field = getInt(in, at, 8);
        at += 8;
    }
    h.clustered = in[96] == 1;
    h.internalCompression = static_cast<Compression>(in[97]);
    h.tileCompression = static_cast<Compression>(in[98]);
    h.tileType = in[99];
    h.minZoom = in[100];
    h.maxZoom = in[101];
    h.min = getPosition(in, 102);
    h.max = getPosition(in, 110);
    h.centerZoom = in[118];
    h.center = getPosition(in, 119);
    return h;
}

}  // namespace kvga::impl
