// libFuzzer target of the tile archive reader: the input is an archive, opened from memory
// under small limits; every directory is walked, every tile's content read and decoded by the
// KVG reader, and a few tiles looked up by address. Every fault must be a kvga::Error (or, for
// a tile, the KVG reader's failure); the sanitizers catch the rest.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "kvgarchive.hpp"
#include "kvgreader.h"

namespace {

// Small enough that no input can make a run slow, large enough for every seed.
constexpr uint64_t DIRECTORY_BYTES = uint64_t{1} << 20;
constexpr uint64_t METADATA_BYTES = uint64_t{1} << 16;
constexpr uint64_t TILE_BYTES = uint64_t{1} << 20;
constexpr uint64_t KVG_CONTENT_BYTES = uint64_t{1} << 20;
constexpr uint64_t KVG_POINTS = uint64_t{1} << 16;
// Entries visited per input: a run over millions of entries proves nothing more.
constexpr int MAX_ENTRIES = 4096;

[[noreturn]] void broken(const char *what) {
    std::fprintf(stderr, "archive fuzz: %s\n", what);
    std::abort();
}

void decodeTile(std::span<const uint8_t> bytes) {
    KVGR_Reader *reader = KVGR_new();
    if (reader == nullptr) broken("no reader");
    KVGR_setLimit(reader, KVGR_LIMIT_CONTENT_BYTES, KVG_CONTENT_BYTES);
    KVGR_setLimit(reader, KVGR_LIMIT_POINTS, KVG_POINTS);
    if (KVGR_openMemory(reader, bytes.data(), bytes.size()) == 0) {
        const KVGR_Record *record = nullptr;
        while (KVGR_next(reader, &record) == 1) {
        }
    }
    if (KVGR_getErrorCode(reader) != KVGR_ERR_NONE && KVGR_getErrorMessage(reader)[0] == '\0')
        broken("a reader failure without a message");
    KVGR_delete(reader);
}

void readArchive(std::span<const uint8_t> bytes) {
    kvga::Archive archive;
    archive.setLimit(kvga::Limit::DirectoryBytes, DIRECTORY_BYTES)
        .setLimit(kvga::Limit::MetadataBytes, METADATA_BYTES)
        .setLimit(kvga::Limit::TileBytes, TILE_BYTES);
    archive.openMemory(bytes);
    const kvga::Header &header = archive.header();
    if (header.rootOffset + header.rootLength > archive.fileSize()) broken("root beyond file");
    int visited = 0;
    archive.forEachTile([&](const kvga::TileEntry &entry) {
        if (entry.length == 0 || entry.runLength == 0) broken("an empty tile entry");
        decodeTile(archive.content(entry));
        return ++visited < MAX_ENTRIES;
    });
    for (uint8_t z = header.minZoom; z <= header.maxZoom && z < 4; ++z) {
        for (uint32_t x = 0; x < (1u << z); ++x) {
            for (uint32_t y = 0; y < (1u << z); ++y) {
                if (const auto tile = archive.tile(z, x, y)) decodeTile(*tile);
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    try {
        readArchive({data, size});
    } catch (const kvga::Error &error) {
        if (error.what()[0] == '\0') broken("a failure without a message");
    }
    return 0;
}
