// The archive writer: tiles are spilled as they come, identical ones once; finish() orders
// them by tile id, lays out the directories and copies the tiles into the archive in that
// order, so that the tile data is clustered.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "archive_format.h"
#include "spill.h"
#include "xio.h"

namespace kvga {

using impl::Bytes;
using impl::Entry;

namespace {

// The largest root directory, compressed, that leaves the header and root in the first 16 KiB.
constexpr size_t ROOT_BUDGET = impl::ROOT_WINDOW_BYTES - impl::HEADER_BYTES;
// Entries per leaf directory to try first; doubled until the root fits.
constexpr size_t FIRST_LEAF_SIZE = 4096;
// Plain tiles inflated from gzip ones (WriterOptions::tileCompression None) are capped here.
constexpr uint64_t MAX_PLAIN_TILE = uint64_t{1} << 32;

// A distinct tile content in the spill file.
struct Blob {
    uint64_t spillOffset;
    uint64_t length;
    uint64_t dataOffset = UINT64_MAX;  // in the archive's tile data, once placed
};

std::string address(uint8_t z, uint32_t x, uint32_t y) {
    return std::to_string(z) + "/" + std::to_string(x) + "/" + std::to_string(y);
}

// The west and north edges of a tile's column and row, in degrees.
double tileLon(uint32_t x, uint8_t z) { return std::ldexp(x, -z) * 360.0 - 180.0; }
double tileLat(uint32_t y, uint8_t z) {
    const double n = std::numbers::pi * (1.0 - 2.0 * std::ldexp(y, -z));
    return std::atan(std::sinh(n)) * 180.0 / std::numbers::pi;
}

// The directories of an archive: the root, and the leaves it points to (concatenated).
struct Directories {
    Bytes root;
    Bytes leaves;
    uint64_t leafCount = 0;
};

Directories layOut(const std::vector<Entry> &entries) {
    Directories out{impl::gzip(impl::encodeDirectory(entries)), {}, 0};
    for (size_t leafSize = FIRST_LEAF_SIZE; out.root.size() > ROOT_BUDGET; leafSize *= 2) {
        std::vector<Entry> rootEntries;
        out.leaves.clear();
        for (size_t first = 0; first < entries.size(); first += leafSize) {
            const size_t count = std::min(leafSize, entries.size() - first);
            const Bytes leaf = impl::gzip(impl::encodeDirectory(
                std::span<const Entry>(entries).subspan(first, count)));
            rootEntries.push_back({entries[first].tileId, out.leaves.size(), leaf.size(), 0});
            out.leaves.insert(out.leaves.end(), leaf.begin(), leaf.end());
        }
        out.root = impl::gzip(impl::encodeDirectory(rootEntries));
        out.leafCount = rootEntries.size();
    }
    return out;
}

class Output {
public:
    Output(const std::string &path, bool sync)
        : path_(path), file_(XIO_openReplacing(path.c_str(), XIO_PLAIN, sync ? 1 : 0)) {
        if (file_ == nullptr) impl::fail(ErrorCode::System, "cannot create " + path);
    }
    ~Output() {
        if (file_ != nullptr) XIO_discard(file_);
    }
    void write(std::span<const uint8_t> bytes) {
        if (XIO_write(file_, bytes.data(), bytes.size()) != bytes.size()) failed();
    }
    void close() {
        XIO_File *file = std::exchange(file_, nullptr);
        if (XIO_close(file) != 0) failed();
    }

private:
    [[noreturn]] void failed() const {
        impl::fail(ErrorCode::System, "cannot write " + path_);
    }
    std::string path_;
    XIO_File *file_;
};

}  // namespace

struct Writer::State {
    State(const std::string &archivePath, const WriterOptions &writerOptions)
        : path(archivePath), options(writerOptions), spill(archivePath) {}

    std::string path;
    WriterOptions options;
    impl::SpillFile spill;
    std::vector<Blob> blobs;
    std::unordered_multimap<size_t, uint32_t> blobsByHash;
    std::unordered_map<uint64_t, uint32_t> tiles;  // tile id to blob
    std::vector<uint32_t> placed;                  // blobs in the order of the tile data
    bool finished = false;

    Bytes stored(std::span<const uint8_t> kvg) const;
    uint32_t blobOf(std::span<const uint8_t> bytes);
    bool sameBytes(const Blob &blob, std::span<const uint8_t> bytes) const;
    std::vector<Entry> entries(Header &header);
    void copyTiles(Output &out) const;
};

Bytes Writer::State::stored(std::span<const uint8_t> kvg) const {
    const bool gzipped = impl::isGzip(kvg);
    if (options.tileCompression == Compression::Gzip)
        return gzipped ? Bytes(kvg.begin(), kvg.end()) : impl::gzip(kvg);
    return gzipped ? impl::gunzip(kvg, MAX_PLAIN_TILE, "tile") : Bytes(kvg.begin(), kvg.end());
}

bool Writer::State::sameBytes(const Blob &blob, std::span<const uint8_t> bytes) const {
    if (blob.length != bytes.size()) return false;
    Bytes held(bytes.size());
    spill.read(blob.spillOffset, held);
    return std::ranges::equal(held, bytes);
}

uint32_t Writer::State::blobOf(std::span<const uint8_t> bytes) {
    const size_t hash = std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()));
    const auto [first, last] = blobsByHash.equal_range(hash);
    for (auto it = first; it != last; ++it) {
        if (sameBytes(blobs[it->second], bytes)) return it->second;
    }
    if (blobs.size() == UINT32_MAX) impl::fail(ErrorCode::Limit, "too many distinct tiles");
    blobs.push_back({spill.append(bytes), bytes.size()});
    const auto blob = static_cast<uint32_t>(blobs.size() - 1);
    blobsByHash.emplace(hash, blob);
    return blob;
}

// The directory entries in tile id order, one per run of neighbours sharing a content, with
// the contents placed in the tile data in the order they are first met; fills the header's
// counts, zooms and bounds.
std::vector<Entry> Writer::State::entries(Header &header) {
    std::vector<std::pair<uint64_t, uint32_t>> ordered(tiles.begin(), tiles.end());
    std::ranges::sort(ordered);
    std::vector<Entry> out;
    uint64_t dataBytes = 0;
    placed.clear();
    for (Blob &blob : blobs) blob.dataOffset = UINT64_MAX;
    header.min = {180, 85.0511287798066};
    header.max = {-180, -85.0511287798066};
    header.minZoom = MAX_ZOOM;
    for (const auto &[id, blobIndex] : ordered) {
        Blob &blob = blobs[blobIndex];
        if (blob.dataOffset == UINT64_MAX) {
            blob.dataOffset = dataBytes;
            dataBytes += blob.length;
            placed.push_back(blobIndex);
        }
        Entry *last = out.empty() ? nullptr : &out.back();
        if (last != nullptr && last->offset == blob.dataOffset &&
            last->tileId + last->runLength == id && last->runLength < UINT32_MAX) {
            ++last->runLength;
        } else {
            out.push_back({id, blob.dataOffset, blob.length, 1});
        }
        const TileCoord t = tileCoord(id);
        header.minZoom = std::min(header.minZoom, t.z);
        header.maxZoom = std::max(header.maxZoom, t.z);
        header.min.lon = std::min(header.min.lon, tileLon(t.x, t.z));
        header.max.lon = std::max(header.max.lon, tileLon(t.x + 1, t.z));
        header.min.lat = std::min(header.min.lat, tileLat(t.y + 1, t.z));
        header.max.lat = std::max(header.max.lat, tileLat(t.y, t.z));
    }
    header.addressedTiles = ordered.size();
    header.tileEntries = out.size();
    header.tileContents = blobs.size();
    header.tileDataLength = dataBytes;
    return out;
}

void Writer::State::copyTiles(Output &out) const {
    Bytes bytes;
    for (const uint32_t blob : placed) {
        bytes.resize(blobs[blob].length);
        spill.read(blobs[blob].spillOffset, bytes);
        out.write(bytes);
    }
}

Writer::Writer(const std::string &path, const WriterOptions &options) {
    if (options.tileCompression != Compression::Gzip &&
        options.tileCompression != Compression::None) {
        impl::fail(ErrorCode::Usage, "tiles are stored gzip-compressed or plain");
    }
    state_ = std::make_unique<State>(path, options);
}

Writer::~Writer() = default;

void Writer::addTile(uint8_t z, uint32_t x, uint32_t y, std::span<const uint8_t> kvg) {
    if (state_->finished) impl::fail(ErrorCode::Usage, "the archive is finished");
    const uint64_t id = tileId(z, x, y);
    if (kvg.empty()) impl::fail(ErrorCode::Usage, "tile " + address(z, x, y) + " is empty");
    if (state_->tiles.contains(id))
        impl::fail(ErrorCode::Usage, "tile " + address(z, x, y) + " is given twice");
    const uint32_t blob = state_->blobOf(state_->stored(kvg));
    state_->tiles.emplace(id, blob);
}

WriteSummary Writer::finish(const Metadata &metadata) {
    State &s = *state_;
    if (s.finished) impl::fail(ErrorCode::Usage, "the archive is finished");
    if (s.tiles.empty()) impl::fail(ErrorCode::Usage, "an archive needs at least one tile");
    Header header;
    header.clustered = true;
    header.tileCompression = s.options.tileCompression;
    const std::vector<Entry> entries = s.entries(header);
    if (metadata.bounds) {
        const auto &[west, south, east, north] = *metadata.bounds;
        header.min = {west, south};
        header.max = {east, north};
    }
    header.center = metadata.center.value_or(
        LonLat{(header.min.lon + header.max.lon) / 2, (header.min.lat + header.max.lat) / 2});
    header.centerZoom = metadata.centerZoom.value_or(header.minZoom);
    const std::string json = impl::metadataJson(metadata, header);
    const Bytes metadataBytes = impl::gzip(
        std::span(reinterpret_cast<const uint8_t *>(json.data()), json.size()));
    const Directories directories = layOut(entries);
    header.rootOffset = impl::HEADER_BYTES;
    header.rootLength = directories.root.size();
    header.metadataOffset = header.rootOffset + header.rootLength;
    header.metadataLength = metadataBytes.size();
    header.leafOffset = header.metadataOffset + header.metadataLength;
    header.leafLength = directories.leaves.size();
    header.tileDataOffset = header.leafOffset + header.leafLength;

    Output out(s.path, s.options.sync);
    out.write(impl::encodeHeader(header));
    out.write(directories.root);
    out.write(metadataBytes);
    out.write(directories.leaves);
    s.copyTiles(out);
    out.close();
    s.finished = true;
    return {header.addressedTiles, header.tileEntries, header.tileContents,
            directories.leafCount, header.tileDataOffset + header.tileDataLength};
}

}  // namespace kvga
