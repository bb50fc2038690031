// kvgarchive.hpp: tile archives of KVG files (PMTiles version 3), written and read.
//
// A tile pyramid is stored in one file: a 127-byte header, a root directory, JSON metadata,
// leaf directories when the root would outgrow the first 16 KiB, and the tile data. Tiles are
// addressed by zoom, column and row of the Web Mercator grid (z/x/y, row 0 at the north) and
// ordered by their position on a Hilbert curve per zoom; identical tiles are stored once and
// neighbours that share one content become one directory entry with a run length.
//
//     kvga::Writer writer("world.pmtiles");
//     writer.addTile(0, 0, 0, bytesOfTile);          // any order; each tile a whole KVG file
//     kvga::Metadata metadata;
//     metadata.layers.push_back({"countries", {{"name", "String"}}});
//     kvga::WriteSummary summary = writer.finish(metadata);
//
//     kvga::Archive archive;
//     archive.setLimit(kvga::Limit::TileBytes, 16 << 20);
//     archive.openFile("world.pmtiles");
//     std::optional<std::vector<uint8_t>> tile = archive.tile(3, 4, 2);  // plain KVG bytes
//
// The reader takes archives from strangers: every offset, length, count and run is checked
// against the file and the limits before it is used; a damaged or hostile archive (a directory
// that does not decode, offsets beyond the file, a tile or directory that inflates past its
// limit, leaf directories nested too deep or naming one another) is refused with
// kvga::Error, whose message names the part of the archive at fault.
//
// KVG tiles carry tile type 0 ("other") in the header and "format": "kvg" in the metadata.
// Directories and metadata are gzip-compressed; tiles are stored gzip-compressed (the default)
// or plain, whichever way they were handed in.
#ifndef KVGARCHIVE_HPP
#define KVGARCHIVE_HPP

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace kvga {

// ---- Tile addresses -------------------------------------------------------------------------

// The deepest zoom an archive holds: ids of zooms 0..31 fit 64 bits.
constexpr uint8_t MAX_ZOOM = 31;

struct TileCoord {
    uint8_t z = 0;
    uint32_t x = 0;  // column, 0 at the west
    uint32_t y = 0;  // row, 0 at the north
    friend bool operator==(const TileCoord &, const TileCoord &) = default;
};

// The tile id: tiles of all lower zooms, then the position on the zoom's Hilbert curve. Throws
// kvga::Error (usage) for a zoom above MAX_ZOOM or a column or row outside 0..2^z-1.
uint64_t tileId(uint8_t z, uint32_t x, uint32_t y);
uint64_t tileId(const TileCoord &tile);
// The tile of an id; throws kvga::Error (usage) for an id beyond zoom MAX_ZOOM.
TileCoord tileCoord(uint64_t id);

// ---- Failures -------------------------------------------------------------------------------

// The same codes as the KVG reader's (KVGR_ERROR_CODE).
enum class ErrorCode : int {
    System = 1,       // the file cannot be opened, read or written (the system's reason)
    Format = 2,       // not a valid archive: what is wrong and where
    Compression = 3,  // a damaged gzip stream
    Limit = 4,        // the archive needs more than a limit allows
    Memory = 5,
    Usage = 6,  // a call out of order or an argument out of range
};

class Error : public std::runtime_error {
public:
    Error(ErrorCode code, const std::string &message) : std::runtime_error(message), code_(code) {}
    ErrorCode code() const noexcept { return code_; }

private:
    ErrorCode code_;
};

// ---- The header -----------------------------------------------------------------------------

enum class Compression : uint8_t { Unknown = 0, None = 1, Gzip = 2, Brotli = 3, Zstd = 4 };

// A point in degrees.
struct LonLat {
    double lon = 0;
    double lat = 0;
};

struct Header {
    uint64_t rootOffset = 0, rootLength = 0;
    uint64_t metadataOffset = 0, metadataLength = 0;
    uint64_t leafOffset = 0, leafLength = 0;
    uint64_t tileDataOffset = 0, tileDataLength = 0;
    uint64_t addressedTiles = 0;  // tiles, runs counted in full (0: unknown)
    uint64_t tileEntries = 0;     // directory entries of tiles (0: unknown)
    uint64_t tileContents = 0;    // distinct tile contents stored (0: unknown)
    bool clustered = false;       // tile data in the order of tile ids
    Compression internalCompression = Compression::Gzip;
    Compression tileCompression = Compression::Gzip;
    uint8_t tileType = 0;  // 0: other (KVG); the values of other tile formats are kept as read
    uint8_t minZoom = 0, maxZoom = 0;
    LonLat min, max;  // the bounds, south-west and north-east corners
    uint8_t centerZoom = 0;
    LonLat center;
};

// ---- Metadata -------------------------------------------------------------------------------

// A layer of the tiles: its name, the fields of its features (name to type: "String",
// "Number", "Boolean") and the zooms it appears at (-1: those of the archive).
struct LayerInfo {
    std::string id;
    std::map<std::string, std::string> fields;
    int minZoom = -1;
    int maxZoom = -1;
    std::string description;
};

// What an archive says about itself. Bounds and centre left unset are those of the tiles
// written; zooms are always those of the tiles.
//
// Clients place each tile by its file window: the window spans the tile's square, `extent`
// grid units wide, plus `buffer` units beyond each of its edges (so that lines clipped there
// join their neighbours' without a seam), y pointing north. Both go into the metadata.
struct Metadata {
    std::string name;
    std::string description;
    std::string attribution;
    std::vector<LayerInfo> layers;
    std::optional<std::array<double, 4>> bounds;  // west, south, east, north in degrees
    std::optional<LonLat> center;
    std::optional<uint8_t> centerZoom;
    uint32_t extent = 4096;
    uint32_t buffer = 0;
    // Further members of the metadata object, as a JSON object text ("" for none); a member
    // named like one above is refused.
    std::string extraJson;
};

// ---- Writing --------------------------------------------------------------------------------

struct WriterOptions {
    // How tiles are stored: Gzip compresses plain tiles and keeps gzip ones; None inflates gzip
    // tiles and keeps plain ones. Nothing else is accepted.
    Compression tileCompression = Compression::Gzip;
    // Put the archive's data on the disk before it takes its name.
    bool sync = false;
};

struct WriteSummary {
    uint64_t addressedTiles = 0;
    uint64_t tileEntries = 0;
    uint64_t tileContents = 0;  // distinct contents: addressedTiles - tileContents were shared
    uint64_t leafDirectories = 0;
    uint64_t archiveBytes = 0;
};

// Writes one archive. Tiles come in any order and are spilled to an unnamed temporary file
// beside the archive, so memory holds only their index; finish() writes the archive, which
// replaces `path` whole or not at all. A Writer destroyed before finish() leaves `path` as it
// was.
class Writer {
public:
    explicit Writer(const std::string &path, const WriterOptions &options = {});
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // Adds tile z/x/y: `kvg` is a whole KVG file, plain or gzip. A tile given twice, an empty
    // tile or an address out of range is refused (usage); after a failure the writer stays
    // usable and the tile is not added.
    void addTile(uint8_t z, uint32_t x, uint32_t y, std::span<const uint8_t> kvg);
    // Writes the archive; the writer is spent afterwards. An archive without tiles is refused.
    WriteSummary finish(const Metadata &metadata);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// ---- Reading --------------------------------------------------------------------------------

// What reading one archive may spend; set before opening, like the KVG reader's limits.
enum class Limit : int {
    // Bytes one directory (root or leaf) inflates to. Default 64 MiB.
    DirectoryBytes = 0,
    // Bytes the metadata inflates to. Default 16 MiB.
    MetadataBytes = 1,
    // Bytes one tile inflates to (tile() and content()). Default 256 MiB.
    TileBytes = 2,
    // Levels of leaf directories under the root. Default 4 (writers use one).
    DirectoryDepth = 3,
};
constexpr int LIMIT_COUNT = 4;

// A tile directory entry as stored: `runLength` tiles from `tileId` on share the content at
// `offset` (from the start of the tile data) of `length` bytes.
struct TileEntry {
    uint64_t tileId = 0;
    uint64_t offset = 0;
    uint64_t length = 0;
    uint32_t runLength = 0;
};

class Archive {
public:
    Archive();
    ~Archive();
    Archive(Archive &&) noexcept;
    Archive &operator=(Archive &&) noexcept;

    Archive &setLimit(Limit limit, uint64_t value);  // usage error once open
    uint64_t limit(Limit limit) const;

    // Opening reads and checks the header, the root directory and the metadata.
    void openFile(const std::string &path);
    // Bytes that must stay unchanged as long as the archive is open.
    void openMemory(std::span<const uint8_t> bytes);

    const Header &header() const;
    uint64_t fileSize() const;
    // The metadata: a JSON object text, as stored (inflated).
    const std::string &metadataJson() const;

    // The entry that holds tile z/x/y, or none when the archive lacks it.
    std::optional<TileEntry> find(uint8_t z, uint32_t x, uint32_t y);
    // Tile z/x/y as plain bytes (inflated as the header says), or none.
    std::optional<std::vector<uint8_t>> tile(uint8_t z, uint32_t x, uint32_t y);
    // The plain bytes of an entry's content.
    std::vector<uint8_t> content(const TileEntry &entry);

    // Calls `visit` for every tile entry in the order of tile ids, through every leaf
    // directory; checks on the way that ids ascend without overlapping runs, that every leaf
    // directory is named once and lies where its parent says, and that the counts match the
    // header's. Stops early when `visit` returns false.
    void forEachTile(const std::function<bool(const TileEntry &)> &visit);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kvga

#endif  // KVGARCHIVE_HPP
