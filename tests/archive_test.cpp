// The tile archive (inc/kvgarchive.hpp): tile ids, archives written and read back, shared
// contents and runs, leaf directories, and damaged or hostile archives made here byte by byte.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>

#include "archive_format.h"
#include "kvgarchive.hpp"
#include "test_support.h"

namespace kvgtest {
namespace {

using kvga::ErrorCode;
using kvga::TileCoord;
namespace impl = kvga::impl;

// A small valid KVG file: one line whose end depends on `seed`.
Bytes kvgTile(int seed) {
    WriterFixture writer;
    KVG_line(writer.get(), 0, 0, seed % 90, seed / 90 % 90);
    return writer.close();
}

// Runs `call` and returns the kvga::Error it throws (the test fails when it throws none).
template <class Call>
kvga::Error failure(Call call) {
    try {
        call();
    } catch (const kvga::Error &error) {
        return error;
    }
    ADD_FAILURE() << "no kvga::Error thrown";
    return kvga::Error(ErrorCode::Usage, "");
}

#define EXPECT_FAILS(call, expectedCode, part)                                  \
    do {                                                                        \
        const kvga::Error error_ = failure([&] { call; });                      \
        EXPECT_EQ(error_.code(), expectedCode) << error_.what();                \
        EXPECT_NE(std::string(error_.what()).find(part), std::string::npos)     \
            << error_.what();                                                   \
    } while (0)

// ---- Tile ids

TEST(ArchiveTileIds, KnownValuesAndTheWayBack) {
    const std::pair<TileCoord, uint64_t> known[] = {
        {{0, 0, 0}, 0}, {{1, 0, 0}, 1}, {{1, 0, 1}, 2},  {{1, 1, 1}, 3},
        {{1, 1, 0}, 4}, {{2, 0, 0}, 5}, {{12, 3423, 1763}, 19078479},
        {{31, 0, 0}, 1537228672809129301ull}};
    for (const auto &[tile, id] : known) {
        EXPECT_EQ(kvga::tileId(tile), id);
        EXPECT_EQ(kvga::tileCoord(id), tile);
    }
    // Every id of zooms 0 to 7 is met once, in order along each zoom.
    uint64_t expected = 0;
    for (uint8_t z = 0; z <= 7; ++z) {
        std::vector<bool> seen(uint64_t{1} << (2 * z));
        for (uint32_t x = 0; x < (1u << z); ++x) {
            for (uint32_t y = 0; y < (1u << z); ++y) {
                const uint64_t id = kvga::tileId(z, x, y);
                ASSERT_GE(id, expected);
                ASSERT_LT(id - expected, seen.size());
                EXPECT_FALSE(seen[id - expected]);
                seen[id - expected] = true;
                EXPECT_EQ(kvga::tileCoord(id), (TileCoord{z, x, y}));
            }
        }
        expected += seen.size();
    }
    // Neighbours along the curve are neighbours on the grid.
    for (uint64_t id = kvga::tileId(5, 0, 0); id + 1 < kvga::tileId(6, 0, 0); ++id) {
        const TileCoord a = kvga::tileCoord(id), b = kvga::tileCoord(id + 1);
        EXPECT_EQ(std::abs(int(a.x) - int(b.x)) + std::abs(int(a.y) - int(b.y)), 1) << id;
    }
    const TileCoord last{31, 0x7FFFFFFF, 0};
    EXPECT_EQ(kvga::tileCoord(kvga::tileId(last)), last);
    EXPECT_FAILS(kvga::tileId(32, 0, 0), ErrorCode::Usage, "zoom 32");
    EXPECT_FAILS(kvga::tileId(3, 8, 0), ErrorCode::Usage, "3/8/0 lies outside");
    EXPECT_FAILS(kvga::tileCoord(kvga::tileId(last) + 0x7FFFFFFFull * 0x80000000ull + 1),
                 ErrorCode::Usage, "beyond zoom 31");
}

// ---- Writing and reading back

struct Written {
    TempPath path{".pmtiles"};
    kvga::WriteSummary summary;
    Bytes bytes;
};

TEST(ArchiveRoundTrip, TilesInAnyOrderReadBackByAddressWithMetadata) {
    std::vector<std::pair<TileCoord, Bytes>> tiles;
    for (uint32_t x = 0; x < 4; ++x)
        for (uint32_t y = 0; y < 4; ++y) tiles.push_back({{2, x, y}, kvgTile(int(x * 7 + y))});
    tiles.push_back({{0, 0, 0}, kvgTile(100)});
    tiles.push_back({{1, 1, 0}, kvgTile(101)});
    std::shuffle(tiles.begin(), tiles.end(), std::mt19937(7));

    Written w;
    kvga::Writer writer(w.path.str());
    for (const auto &[t, bytes] : tiles) writer.addTile(t.z, t.x, t.y, bytes);
    kvga::Metadata metadata;
    metadata.name = "grid";
    metadata.layers.push_back({"lines", {{"name", "String"}}, -1, -1, ""});
    metadata.extraJson = R"({"generator": "archive_test"})";
    w.summary = writer.finish(metadata);
    EXPECT_EQ(w.summary.addressedTiles, 18u);
    EXPECT_EQ(w.summary.tileContents, 18u);
    EXPECT_EQ(w.summary.leafDirectories, 0u);
    EXPECT_EQ(w.summary.archiveBytes, readFile(w.path.str()).size());

    kvga::Archive archive;
    archive.openFile(w.path.str());
    const kvga::Header &h = archive.header();
    EXPECT_EQ(h.minZoom, 0);
    EXPECT_EQ(h.maxZoom, 2);
    EXPECT_TRUE(h.clustered);
    EXPECT_EQ(h.tileCompression, kvga::Compression::Gzip);
    EXPECT_EQ(h.tileType, 0);
    EXPECT_NEAR(h.min.lon, -180, 1e-7);
    EXPECT_NEAR(h.max.lat, 85.0511287, 1e-7);
    for (const auto &[t, bytes] : tiles) {
        const auto got = archive.tile(t.z, t.x, t.y);
        ASSERT_TRUE(got) << int(t.z) << "/" << t.x << "/" << t.y;
        EXPECT_EQ(*got, bytes);  // plain KVG, as given
    }
    EXPECT_FALSE(archive.tile(1, 0, 0));
    EXPECT_FALSE(archive.tile(3, 0, 0));
    const auto json = nlohmann::json::parse(archive.metadataJson());
    EXPECT_EQ(json["format"], "kvg");
    EXPECT_EQ(json["name"], "grid");
    EXPECT_EQ(json["generator"], "archive_test");
    EXPECT_EQ(json["maxzoom"], 2);
    EXPECT_EQ(json["vector_layers"][0]["id"], "lines");
    EXPECT_EQ(json["vector_layers"][0]["fields"]["name"], "String");
    EXPECT_EQ(json["vector_layers"][0]["maxzoom"], 2);
    // The tile data is in tile id order.
    uint64_t lastOffset = 0, lastId = 0, count = 0;
    archive.forEachTile([&](const kvga::TileEntry &e) {
        EXPECT_GE(e.tileId, lastId);
        EXPECT_GE(e.offset, lastOffset);
        lastId = e.tileId;
        lastOffset = e.offset;
        return ++count < 100;
    });
    EXPECT_EQ(count, 18u);
}

TEST(ArchiveRoundTrip, IdenticalTilesStoredOnceAndNeighboursShareOneEntry) {
    const Bytes sea = kvgTile(0), land = kvgTile(1);
    Written w;
    kvga::Writer writer(w.path.str(), {kvga::Compression::None, false});
    // Zoom 3 all sea but one tile; the sea tiles form runs along the curve.
    const TileCoord landTile{3, 5, 2};
    for (uint32_t x = 0; x < 8; ++x)
        for (uint32_t y = 0; y < 8; ++y)
            writer.addTile(3, x, y, TileCoord{3, x, y} == landTile ? land : sea);
    w.summary = writer.finish({});
    EXPECT_EQ(w.summary.addressedTiles, 64u);
    EXPECT_EQ(w.summary.tileContents, 2u);
    EXPECT_EQ(w.summary.tileEntries, 3u);  // sea before the land tile, land, sea after it
    const uint64_t landId = kvga::tileId(landTile);
    kvga::Archive archive;
    archive.openFile(w.path.str());
    EXPECT_EQ(archive.header().tileCompression, kvga::Compression::None);
    EXPECT_EQ(archive.header().tileDataLength, sea.size() + land.size());
    std::vector<kvga::TileEntry> entries;
    archive.forEachTile([&](const kvga::TileEntry &e) {
        entries.push_back(e);
        return true;
    });
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].runLength, landId - kvga::tileId(3, 0, 0));
    EXPECT_EQ(entries[1].tileId, landId);
    EXPECT_EQ(entries[2].offset, entries[0].offset);
    EXPECT_EQ(*archive.tile(3, 7, 7), sea);
    EXPECT_EQ(*archive.tile(3, 5, 2), land);
    // Gzip tiles are inflated for plain storage.
    EXPECT_EQ(archive.content(entries[1]), land);
}

TEST(ArchiveRoundTrip, ManyTilesGoThroughLeafDirectories) {
    // Distinct contents of random lengths and ids with gaps: a root of every entry would not
    // fit the first 16 KiB, even compressed.
    std::mt19937 random(3);
    Written w;
    kvga::Writer writer(w.path.str());
    std::vector<std::pair<TileCoord, Bytes>> tiles;
    for (uint32_t x = 0; x < 256; ++x) {
        for (uint32_t y = 0; y < 256; ++y) {
            if (random() % 3 != 0) continue;
            Bytes content(1 + random() % 40);
            for (uint8_t &b : content) b = static_cast<uint8_t>(random());
            content[0] = 'K';  // not gzip
            writer.addTile(8, x, y, content);
            if (tiles.size() < 5000 || random() % 50 == 0) tiles.push_back({{8, x, y}, content});
        }
    }
    w.summary = writer.finish({});
    EXPECT_GT(w.summary.leafDirectories, 1u);
    kvga::Archive archive;
    archive.openFile(w.path.str());
    const kvga::Header &h = archive.header();
    EXPECT_LE(h.rootOffset + h.rootLength, 16384u);
    EXPECT_GT(h.leafLength, 0u);
    for (const auto &[t, bytes] : tiles) EXPECT_EQ(*archive.tile(t.z, t.x, t.y), bytes);
    uint64_t count = 0;
    archive.forEachTile([&](const kvga::TileEntry &e) {
        count += e.runLength;
        return true;
    });
    EXPECT_EQ(count, w.summary.addressedTiles);
}

TEST(ArchiveWriter, RefusalsLeaveTheWriterUsableAndTheTargetUntouched) {
    TempPath path(".pmtiles");
    writeFile(path.str(), {'o', 'l', 'd'});
    {
        kvga::Writer writer(path.str());
        writer.addTile(1, 0, 0, kvgTile(1));
        EXPECT_FAILS(writer.addTile(1, 0, 0, kvgTile(2)), ErrorCode::Usage, "1/0/0 is given twice");
        EXPECT_FAILS(writer.addTile(1, 2, 0, kvgTile(2)), ErrorCode::Usage, "outside");
        EXPECT_FAILS(writer.addTile(1, 1, 0, {}), ErrorCode::Usage, "empty");
        kvga::Metadata bad;
        bad.extraJson = R"({"format": "mvt"})";
        EXPECT_FAILS(writer.finish(bad), ErrorCode::Usage, "repeats the member \"format\"");
        bad.extraJson = "[1]";
        EXPECT_FAILS(writer.finish(bad), ErrorCode::Usage, "not a JSON object");
        EXPECT_EQ(readFile(path.str()), (Bytes{'o', 'l', 'd'}));
    }  // abandoned: the old file stays
    EXPECT_EQ(readFile(path.str()), (Bytes{'o', 'l', 'd'}));
    EXPECT_TRUE(filesBeside(path.str()).empty());

    kvga::Writer empty(path.str());
    EXPECT_FAILS(empty.finish({}), ErrorCode::Usage, "at least one tile");
    kvga::Writer writer(path.str());
    writer.addTile(1, 1, 1, kvgTile(3));
    writer.finish({});
    EXPECT_FAILS(writer.addTile(1, 0, 0, kvgTile(3)), ErrorCode::Usage, "finished");
    kvga::Archive archive;
    archive.openFile(path.str());
    EXPECT_EQ(archive.header().addressedTiles, 1u);
    EXPECT_FAILS(kvga::Writer("/nonexistent-dir/a.pmtiles"), ErrorCode::System, "temporary");
}

// ---- Damaged and hostile archives, made here part by part

struct Parts {
    kvga::Header header;
    Bytes root, metadata, leaves, tiles;
};

// An archive of `parts` laid out in the usual order; the header's offsets and lengths are
// those of the parts unless `keepHeader`.
Bytes assemble(Parts p, bool keepHeader = false) {
    if (!keepHeader) {
        p.header.rootOffset = impl::HEADER_BYTES;
        p.header.rootLength = p.root.size();
        p.header.metadataOffset = p.header.rootOffset + p.root.size();
        p.header.metadataLength = p.metadata.size();
        p.header.leafOffset = p.header.metadataOffset + p.metadata.size();
        p.header.leafLength = p.leaves.size();
        p.header.tileDataOffset = p.header.leafOffset + p.leaves.size();
        p.header.tileDataLength = p.tiles.size();
    }
    Bytes out = impl::encodeHeader(p.header);
    for (const Bytes *part : {&p.root, &p.metadata, &p.leaves, &p.tiles})
        out.insert(out.end(), part->begin(), part->end());
    return out;
}

Bytes gz(const Bytes &plain) { return impl::gzip(plain); }
Bytes gz(const std::string &text) { return impl::gzip(Bytes(text.begin(), text.end())); }
Bytes dir(const std::vector<kvga::TileEntry> &entries) {
    return gz(impl::encodeDirectory(entries));
}

// One tile 0/0/0 of `tile`, in a valid archive.
Parts oneTile(const Bytes &tile) {
    Parts p;
    p.header.maxZoom = 0;
    p.header.tileCompression = kvga::Compression::None;
    p.root = dir({{0, 0, tile.size(), 1}});
    p.metadata = gz("{}");
    p.tiles = tile;
    return p;
}

// Opens `bytes` and reads every tile's content.
void readWhole(const Bytes &bytes, kvga::Archive archive = {}) {
    archive.openMemory(bytes);
    archive.forEachTile([&](const kvga::TileEntry &e) {
        archive.content(e);
        return true;
    });
}

kvga::Error openFailure(const Bytes &bytes, kvga::Archive archive = {}) {
    return failure([&] { readWhole(bytes, std::move(archive)); });
}

#define EXPECT_REFUSED(bytes, expectedCode, part)                          \
    do {                                                                   \
        const kvga::Error error_ = openFailure(bytes);                     \
        EXPECT_EQ(error_.code(), expectedCode) << error_.what();           \
        EXPECT_NE(std::string(error_.what()).find(part), std::string::npos) \
            << error_.what();                                              \
    } while (0)

TEST(ArchiveHostile, HeaderAndSectionsBeyondTheFile) {
    const Bytes tile = kvgTile(5);
    const Bytes good = assemble(oneTile(tile));
    kvga::Archive archive;
    archive.openMemory(good);
    EXPECT_EQ(*archive.tile(0, 0, 0), tile);

    EXPECT_REFUSED(Bytes(good.begin(), good.begin() + 100), ErrorCode::Format, "shorter than");
    Bytes wrong = good;
    wrong[7] = 2;
    EXPECT_REFUSED(wrong, ErrorCode::Format, "version 2");
    wrong = good;
    wrong[0] = 'X';
    EXPECT_REFUSED(wrong, ErrorCode::Format, "not a PMTiles archive");

    Parts p = oneTile(tile);
    p.header.tileDataLength = UINT64_MAX - 5;
    p.header.tileDataOffset = 200;
    EXPECT_REFUSED(assemble(p, true), ErrorCode::Format, "tile data");
    p = oneTile(tile);
    p.root = dir({{0, 1000, tile.size(), 1}});
    EXPECT_REFUSED(assemble(p), ErrorCode::Format, "lies beyond its section");
    p = oneTile(tile);
    p.metadata = Bytes(20000, ' ');  // pushes a root placed after it beyond 16 KiB
    Bytes late = assemble(p, false);
    kvga::Header moved = impl::decodeHeader(late);
    std::swap(moved.rootOffset, moved.metadataOffset);
    moved.rootOffset = moved.rootOffset + p.metadata.size();
    moved.metadataOffset = impl::HEADER_BYTES;
    p.header = moved;
    std::swap(p.root, p.metadata);
    EXPECT_REFUSED(assemble(p, true), ErrorCode::Format, "beyond the first 16384 bytes");
    p = oneTile(tile);
    p.header.internalCompression = kvga::Compression::Brotli;
    EXPECT_REFUSED(assemble(p), ErrorCode::Format, "brotli");
    p = oneTile(tile);
    p.header.minZoom = 3;
    p.header.maxZoom = 1;
    EXPECT_REFUSED(assemble(p), ErrorCode::Format, "zooms 3 to 1");
}

TEST(ArchiveHostile, DamagedDirectoriesAndMetadata) {
    const Bytes tile = kvgTile(6);
    const auto withRoot = [&](const Bytes &root) {
        Parts p = oneTile(tile);
        p.root = root;
        return assemble(p);
    };
    EXPECT_REFUSED(withRoot({1, 2, 3}), ErrorCode::Compression, "not a gzip stream");
    Bytes cut = dir({{0, 0, tile.size(), 1}});
    cut.resize(cut.size() - 6);
    EXPECT_REFUSED(withRoot(cut), ErrorCode::Compression, "damaged gzip");
    EXPECT_REFUSED(withRoot(gz(Bytes{0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x10,
                                     0, 1, 1, 1})),
                   ErrorCode::Format, "more than its bytes hold");
    EXPECT_REFUSED(withRoot(gz(Bytes{0})), ErrorCode::Format, "no entries");
    EXPECT_REFUSED(withRoot(gz(Bytes{1, 0, 1, 5, 0x80})), ErrorCode::Format,
                   "ends inside a number");
    EXPECT_REFUSED(withRoot(gz(Bytes{1, 0, 1, 0, 1})), ErrorCode::Format, "length 0");
    EXPECT_REFUSED(withRoot(gz(Bytes{1, 0, 1, 5, 1, 9})), ErrorCode::Format, "bytes after");
    EXPECT_REFUSED(withRoot(gz(Bytes{2, 0, 0, 1, 1, 5, 5, 1, 0})), ErrorCode::Format,
                   "repeats tile id 0");
    EXPECT_REFUSED(withRoot(dir({{0, 0, tile.size(), 3}, {2, 0, tile.size(), 1}})),
                   ErrorCode::Format, "overlaps");
    EXPECT_REFUSED(withRoot(gz(Bytes{1, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                     0xFF, 0x7F, 5, 1})),
                   ErrorCode::Format, "beyond 64 bits");

    Parts p = oneTile(tile);
    p.header.addressedTiles = 7;
    EXPECT_REFUSED(assemble(p), ErrorCode::Format, "counts 7 addressed tiles");
    p = oneTile(tile);
    p.root = dir({{5, 0, tile.size(), 1}});  // tile 2/0/0 under zooms 0 to 0
    EXPECT_REFUSED(assemble(p), ErrorCode::Format, "outside the header's zooms");
    p = oneTile(tile);
    p.metadata.clear();
    EXPECT_REFUSED(assemble(p), ErrorCode::Compression, "metadata is not a gzip stream");
    p.metadata = gz("[1, 2]");
    EXPECT_REFUSED(assemble(p), ErrorCode::Format, "metadata is not a JSON object");
    p.metadata = gz(std::string(1 << 20, ' ') + "{}");
    kvga::Archive small;
    small.setLimit(kvga::Limit::MetadataBytes, 1000);
    const kvga::Error e = openFailure(assemble(p), std::move(small));
    EXPECT_EQ(e.code(), ErrorCode::Limit) << e.what();
    EXPECT_NE(std::string(e.what()).find("metadata inflates beyond the limit of 1000"),
              std::string::npos);
}

TEST(ArchiveHostile, TilesThatInflateBeyondTheLimit) {
    // A tile of 8 KiB that inflates to 8 MiB, under a limit of 1 MiB; and one that is not the
    // gzip stream the header announces.
    const Bytes bomb = gz(Bytes(8u << 20, 0));
    Parts p = oneTile(bomb);
    p.header.tileCompression = kvga::Compression::Gzip;
    const Bytes bytes = assemble(p);
    kvga::Archive archive;
    archive.setLimit(kvga::Limit::TileBytes, 1 << 20);
    archive.openMemory(bytes);
    EXPECT_FAILS(archive.tile(0, 0, 0), ErrorCode::Limit, "inflates beyond the limit of 1048576");
    EXPECT_FAILS(archive.setLimit(kvga::Limit::TileBytes, 1), ErrorCode::Usage, "before opening");
    p = oneTile(kvgTile(1));
    p.header.tileCompression = kvga::Compression::Gzip;
    EXPECT_REFUSED(assemble(p), ErrorCode::Compression, "not a gzip stream");
    p.header.tileCompression = kvga::Compression::Zstd;
    EXPECT_REFUSED(assemble(p), ErrorCode::Format, "zstd is not supported");
}

TEST(ArchiveHostile, LeafDirectoriesInCyclesOrTooDeep) {
    const Bytes tile = kvgTile(2);
    // A leaf that names itself: lookups stop at the depth limit, the walk at the second visit.
    Parts p = oneTile(tile);
    p.leaves = dir({{0, 0, 1, 0}});
    p.leaves = dir({{0, 0, p.leaves.size(), 0}});  // same length: the entry names itself
    ASSERT_EQ(p.leaves, dir({{0, 0, p.leaves.size(), 0}}));
    p.root = dir({{0, 0, p.leaves.size(), 0}});
    const Bytes cycle = assemble(p);
    kvga::Archive archive;
    archive.openMemory(cycle);
    EXPECT_FAILS(archive.tile(0, 0, 0), ErrorCode::Limit, "nest deeper than the limit of 4");
    EXPECT_REFUSED(cycle, ErrorCode::Format, "named twice");

    // A chain of five distinct levels: refused under the default limit, read under a limit of 5.
    Parts chain = oneTile(tile);
    Bytes leaves = dir({{0, 0, tile.size(), 1}});
    uint64_t innermost = 0;
    for (int level = 0; level < 4; ++level) {
        const uint64_t offset = innermost, length = leaves.size() - innermost;
        const Bytes parent = dir({{0, offset, length, 0}});
        innermost = leaves.size();
        leaves.insert(leaves.end(), parent.begin(), parent.end());
    }
    chain.leaves = leaves;
    chain.root = dir({{0, innermost, leaves.size() - innermost, 0}});
    const Bytes deep = assemble(chain);
    EXPECT_REFUSED(deep, ErrorCode::Limit, "nest deeper");
    kvga::Archive patient;
    patient.setLimit(kvga::Limit::DirectoryDepth, 5);
    patient.openMemory(deep);
    EXPECT_EQ(*patient.tile(0, 0, 0), tile);

    // Two root entries naming one leaf: its tiles would be met twice.
    Parts twice = oneTile(tile);
    twice.header.maxZoom = 1;
    twice.leaves = dir({{1, 0, tile.size(), 1}});
    twice.root = dir({{1, 0, twice.leaves.size(), 0}, {3, 0, twice.leaves.size(), 0}});
    EXPECT_REFUSED(assemble(twice), ErrorCode::Format, "named twice");
}

TEST(ArchiveHostile, EveryCutAndFlippedByteFailsCleanlyOrReads) {
    // A small archive with a leaf directory and shared contents, damaged everywhere: each copy
    // is refused with a kvga::Error or read whole, never a crash or a hang.
    Parts p;
    p.header.maxZoom = 1;
    p.header.tileCompression = kvga::Compression::Gzip;
    const Bytes a = gz(kvgTile(1)), b = gz(kvgTile(2));
    p.tiles = a;
    p.tiles.insert(p.tiles.end(), b.begin(), b.end());
    p.leaves = dir({{1, 0, a.size(), 2}, {3, a.size(), b.size(), 1}, {4, 0, a.size(), 1}});
    p.root = dir({{0, 0, a.size(), 1}, {1, 0, p.leaves.size(), 0}});
    p.metadata = gz(R"({"format":"kvg"})");
    const Bytes good = assemble(p);
    ASSERT_NO_THROW(readWhole(good)) << "the undamaged archive reads";
    const auto survive = [](const Bytes &bytes) {
        try {
            readWhole(bytes);
            kvga::Archive archive;
            archive.openMemory(bytes);
            for (uint32_t x = 0; x < 2; ++x)
                for (uint32_t y = 0; y < 2; ++y) archive.tile(1, x, y);
        } catch (const kvga::Error &) {
        }
    };
    for (size_t n = 0; n < good.size(); ++n) survive(Bytes(good.begin(), good.begin() + n));
    for (size_t i = 0; i < good.size(); ++i) {
        for (const uint8_t mask : {0x01, 0x80, 0xFF}) {
            Bytes damaged = good;
            damaged[i] ^= mask;
            survive(damaged);
        }
    }
}

}  // namespace
}  // namespace kvgtest
