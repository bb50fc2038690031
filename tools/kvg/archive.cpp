#include "archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "kvgarchive.hpp"

namespace kvgtool {

namespace {

// The tiles of one zoom, runs counted in full, and their distinct contents.
struct ZoomSizes {
    uint64_t tiles = 0;
    std::map<uint64_t, uint64_t> contents;  // offset to stored length
    std::vector<uint64_t> lengths() const {
        std::vector<uint64_t> out;
        for (const auto &content : contents) out.push_back(content.second);
        return out;
    }
};

std::string degrees(const kvga::LonLat &p) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "(%.7g, %.7g)", p.lon, p.lat);
    return buffer;
}

const char *compressionName(kvga::Compression c) {
    static const char *const names[] = {"unknown", "none", "gzip", "brotli", "zstd"};
    const auto index = static_cast<size_t>(c);
    return index < std::size(names) ? names[index] : "unknown";
}

std::string section(uint64_t offset, uint64_t length) {
    return std::to_string(length) + " bytes at " + std::to_string(offset);
}

uint64_t percentile(std::vector<uint64_t> values, double fraction) {
    if (values.empty()) return 0;
    const auto at = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<ptrdiff_t>(at), values.end());
    return values[at];
}

// Runs `task` on the open archive, reporting a failure as "kvg NAME: FILE: message".
int withArchive(const Command &command, const std::string &path, std::ostream &err,
                const std::function<void(kvga::Archive &)> &task) {
    try {
        kvga::Archive archive;
        archive.openFile(path);
        task(archive);
    } catch (const kvga::Error &error) {
        err << "kvg " << command.name << ": " << path << ": " << error.what() << "\n";
        return EXIT_FAILED;
    }
    return EXIT_OK;
}

void printHeader(std::ostream &out, const std::string &path, const kvga::Archive &archive) {
    const kvga::Header &h = archive.header();
    const nlohmann::json metadata = nlohmann::json::parse(archive.metadataJson());
    const std::string format = metadata.value("format", std::string("?"));
    out << "file            " << path << "\n"
        << "archive         PMTiles version 3, " << archive.fileSize() << " bytes\n"
        << "tiles           " << (h.tileType == 0 ? format : "type " + std::to_string(h.tileType))
        << ", " << compressionName(h.tileCompression) << "; directories "
        << compressionName(h.internalCompression) << (h.clustered ? "; clustered" : "") << "\n"
        << "zooms           " << int{h.minZoom} << " to " << int{h.maxZoom} << "\n"
        << "bounds          " << degrees(h.min) << " to " << degrees(h.max) << "\n"
        << "centre          " << degrees(h.center) << " at zoom " << int{h.centerZoom} << "\n"
        << "counts          " << h.addressedTiles << " tiles, " << h.tileEntries
        << " entries, " << h.tileContents << " distinct contents\n"
        << "root directory  " << section(h.rootOffset, h.rootLength) << "\n"
        << "metadata        " << section(h.metadataOffset, h.metadataLength) << "\n"
        << "leaf dirs       " << section(h.leafOffset, h.leafLength) << "\n"
        << "tile data       " << section(h.tileDataOffset, h.tileDataLength) << "\n";
    for (const auto &layer : metadata.value("vector_layers", nlohmann::json::array())) {
        out << "layer           " << layer.value("id", std::string()) << ": "
            << layer.value("fields", nlohmann::json::object()).dump() << "\n";
    }
}

void printZooms(std::ostream &out, kvga::Archive &archive) {
    std::map<uint8_t, ZoomSizes> zooms;
    archive.forEachTile([&](const kvga::TileEntry &e) {
        // A run may cross from one zoom into the next.
        const uint64_t end = e.tileId + e.runLength;
        for (uint64_t start = e.tileId; start < end;) {
            const uint8_t z = kvga::tileCoord(start).z;
            const uint64_t zoomEnd = z < kvga::MAX_ZOOM ? kvga::tileId(z + 1, 0, 0) : end;
            ZoomSizes &zoom = zooms[z];
            zoom.tiles += std::min(end, zoomEnd) - start;
            zoom.contents.emplace(e.offset, e.length);
            start = std::min(end, zoomEnd);
        }
        return true;
    });
    out << "zoom  tiles       contents    median bytes  p99 bytes   largest\n";
    for (const auto &[z, s] : zooms) {
        const std::vector<uint64_t> lengths = s.lengths();
        char line[128];
        std::snprintf(line, sizeof line, "%-5d %-11llu %-11zu %-13llu %-11llu %llu\n", z,
                      static_cast<unsigned long long>(s.tiles), s.contents.size(),
                      static_cast<unsigned long long>(percentile(lengths, 0.5)),
                      static_cast<unsigned long long>(percentile(lengths, 0.99)),
                      static_cast<unsigned long long>(percentile(lengths, 1.0)));
        out << line;
    }
}

}  // namespace

bool isArchive(const std::string &path) {
    if (path == "-") return false;
    // Without blocking on a FIFO that has no writer: only a regular file can be an archive,
    // which is read at offsets.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st {};
    char magic[7] = {};
    const bool archive = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                         ::pread(fd, magic, sizeof magic, 0) == sizeof magic &&
                         std::string_view(magic, sizeof magic) == "PMTiles";
    ::close(fd);
    return archive;
}

int describeArchive(const Command &command, const std::string &path, std::ostream &out,
                    std::ostream &err) {
    return withArchive(command, path, err, [&](kvga::Archive &archive) {
        printHeader(out, path, archive);
        printZooms(out, archive);
    });
}

int checkArchive(const Command &command, const std::string &path, std::ostream &out,
                 std::ostream &err) {
    return withArchive(command, path, err, [&](kvga::Archive &archive) {
        uint64_t tiles = 0, contents = 0, records = 0;
        std::set<uint64_t> checked;
        archive.forEachTile([&](const kvga::TileEntry &e) {
            tiles += e.runLength;
            if (!checked.insert(e.offset).second) return true;
            ++contents;
            const std::vector<uint8_t> bytes = archive.content(e);
            try {
                kvgr::Reader reader;
                reader.openMemory(bytes);
                while (reader.next() != nullptr) ++records;
            } catch (const kvgr::Error &error) {
                const kvga::TileCoord t = kvga::tileCoord(e.tileId);
                throw kvga::Error(kvga::ErrorCode::Format,
                                  "tile " + std::to_string(t.z) + "/" + std::to_string(t.x) +
                                      "/" + std::to_string(t.y) + ": " + error.what());
            }
            return true;
        });
        out << path << ": valid archive, " << tiles << " tiles, " << contents
            << " distinct KVG files, " << records << " records\n";
    });
}

}  // namespace kvgtool
