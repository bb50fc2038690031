// kvg info and kvg check on tile archives.
#include <gtest/gtest.h>

#include "kvgarchive.hpp"
#include "test_support.h"
#include "tool_support.h"

namespace kvgtest {
namespace {

Bytes lineTile(double x) {
    WriterFixture writer;
    KVG_line(writer.get(), 0, 0, x, 10);
    return writer.close();
}

// An archive of zooms 0 and 1 where the four tiles of zoom 1 share one content.
void writeArchive(const std::string &path, const Bytes &odd = {}) {
    kvga::Writer writer(path);
    writer.addTile(0, 0, 0, lineTile(1));
    const Bytes shared = lineTile(2);
    for (uint32_t x = 0; x < 2; ++x) {
        for (uint32_t y = 0; y < 2; ++y)
            writer.addTile(1, x, y, x == 1 && y == 0 && !odd.empty() ? odd : shared);
    }
    kvga::Metadata metadata;
    metadata.layers.push_back({"roads", {{"name", "String"}}, -1, -1, ""});
    writer.finish(metadata);
}

TEST(ArchiveTool, CheckDecodesEveryDistinctTileAndNamesTheOneAtFault) {
    TempPath path(".pmtiles");
    writeArchive(path.str());
    ToolRun run = kvg({"check", path.str()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out, ": valid archive, 5 tiles, 2 distinct KVG files, "))
        << run.out;

    const Bytes cut = [] {
        Bytes tile = lineTile(3);
        tile.resize(tile.size() - 1);
        return tile;
    }();
    writeArchive(path.str(), cut);
    run = kvg({"check", path.str()});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "kvg check: " + path.str() + ": tile 1/1/0: offset "))
        << run.err;

    Bytes damaged = readFile(path.str());
    damaged[8 + 8 * 7] ^= 0x40;  // the tile data's length, beyond the file
    writeFile(path.str(), damaged);
    run = kvg({"check", path.str()});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "tile data (")) << run.err;
    EXPECT_TRUE(contains(run.err, "lies beyond the end of the file")) << run.err;
}

TEST(ArchiveTool, InfoDescribesHeaderLayersAndZooms) {
    TempPath path(".pmtiles");
    writeArchive(path.str());
    const ToolRun run = kvg({"info", path.str()});
    EXPECT_EQ(run.status, 0) << run.err;
    for (const char *line :
         {"archive         PMTiles version 3, ", "tiles           kvg, gzip; directories gzip",
          "zooms           0 to 1\n", "counts          5 tiles, 2 entries, 2 distinct contents",
          "layer           roads: {\"name\":\"String\"}", "\n0     1           1  ",
          "\n1     4           1  "}) {
        EXPECT_TRUE(contains(run.out, line)) << line << "\n" << run.out;
    }
}

}  // namespace
}  // namespace kvgtest
