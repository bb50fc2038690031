// The kvg command's demo and svg: the demo drawing, and kvg svg's files and pictures (through a
// real SVG renderer where one is installed).
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "command.h"
#include "demo.h"
#include "decoder.h"
#include "kvgwriter.hpp"
#include "test_support.h"
#include "tool_support.h"

namespace kvgtest {
namespace {

namespace fs = std::filesystem;
namespace fmt = kvgfmt;

// Pixels on a page of `mm` for a file position, with the file window `low`..`high`.
struct PageMap {
    kvgr::impl::Point low, high;
    double width, height;  // pixels
    std::pair<uint32_t, uint32_t> pixel(double x, double y) const {
        return {static_cast<uint32_t>((x - low.x) / (high.x - low.x) * width),
                static_cast<uint32_t>((high.y - y) / (high.y - low.y) * height)};
    }
};

// ---- The demo

TEST(DemoDrawing, ValidAndDrawnWithEveryRecordOfTheInterface) {
    TempPath path;
    kvgtool::writeDemo(path.str());
    const Decoded d = decodeFile(path.str());
    ASSERT_FALSE(d.error) << d.error->message();
    const uint8_t every[] = {fmt::EXTENSION,
                             fmt::LAYER,
                             fmt::OBJECT,
                             fmt::POLYLINE,
                             fmt::DRAW_POLYGON,
                             fmt::DRAW_CUBIC_BEZIER,
                             fmt::DRAW_ARC,
                             fmt::FILL_POLYGON,
                             fmt::FILL_CUBIC_BEZIER,
                             fmt::FILL_ARC,
                             fmt::TEXT,
                             fmt::SHAPE,
                             fmt::IMAGE,
                             fmt::MARK,
                             fmt::LINE,
                             fmt::DRAW_BOX,
                             fmt::DRAW_CIRCLE,
                             fmt::DRAW_ELLIPSE,
                             fmt::FILL_BOX,
                             fmt::FILL_CIRCLE,
                             fmt::FILL_ELLIPSE,
                             fmt::STAMP_SHAPE,
                             fmt::REPEAT_SHAPE,
                             fmt::FULL_IMAGE,
                             fmt::SET_EDGE,
                             fmt::SET_FACE,
                             fmt::DRAW_EDGE,
                             fmt::DRAW_EDGE_RANGE,
                             fmt::FILL_FACE,
                             fmt::COLOR_SIZE,
                             fmt::BLEND_MODE,
                             fmt::LINE_COLOR,
                             fmt::LINE_DASHES,
                             fmt::LINE_STYLE,
                             fmt::MARK_COLOR,
                             fmt::MARK_STYLE,
                             fmt::FILL_COLOR,
                             fmt::GRADIENT_FILL,
                             fmt::TEXTURE_FILL,
                             fmt::STRETCHED_TEXTURE_FILL,
                             fmt::IMAGE_STRETCH_MODE,
                             fmt::TEXT_COLOR,
                             fmt::FONT,
                             fmt::TEXT_ALIGNMENT,
                             fmt::PALETTE,
                             fmt::SET_IMAGE,
                             fmt::BEGIN_SET_SHAPE,
                             fmt::END_SET_SHAPE};
    for (const uint8_t code : every) EXPECT_GT(d.count(code), 0) << kvgr::impl::recordName(code);
    // Two countries share the border edge; one has the lake as its hole.
    ASSERT_EQ(d.definitions.faces.size(), 3u);
    EXPECT_EQ(d.definitions.faces[2].holes, std::vector<uint32_t>{0});
    EXPECT_EQ(d.definitions.faces[1].edges, (std::vector<int32_t>{1, -3}));
    EXPECT_EQ(d.definitions.faces[2].edges, (std::vector<int32_t>{2, 3}));
    // One tree stamped for the whole forest: its identifier written once.
    EXPECT_EQ(d.count(fmt::STAMP_SHAPE), 1);
    EXPECT_EQ(d.count(fmt::REPEAT_SHAPE), 23);
    ASSERT_EQ(d.definitions.images.size(), 2u);
    EXPECT_EQ(d.definitions.images[1].colorSize, fmt::COLOR_INDEX8);
    const auto hidden = std::ranges::find_if(d.records, [](const kvgr::impl::Record &r) {
        return r.code == fmt::LAYER && !std::get<kvgr::impl::Layer>(r.payload).visible;
    });
    EXPECT_NE(hidden, d.records.end());
}

TEST(DemoCommand, WritesDemoKvgAndSvgInTheCurrentDirectory) {
    ScratchDirectory here;
    const ToolRun r = kvg({"demo"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const Decoded d = decodeFile("demo.kvg");
    ASSERT_FALSE(d.error);
    uint64_t points = 0;
    for (const kvgr::impl::Record &record : d.records) points += kvgr::impl::pointCount(record);
    const std::string size = std::to_string(fs::file_size("demo.kvg"));
    EXPECT_EQ(r.out.rfind("Wrote demo.kvg: " + size + " bytes (gzip-compressed from ", 0), 0u)
        << r.out;
    EXPECT_NE(r.out.find(std::to_string(d.records.size()) + " records carrying " +
                         std::to_string(points) + " points, "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(" bytes per point"), std::string::npos);
    EXPECT_NE(r.out.find("demo.svg (" + std::to_string(fs::file_size("demo.svg")) + " bytes)"),
              std::string::npos);
    EXPECT_EQ(std::ranges::count(r.out, '\n'), 1);  // one paragraph
    EXPECT_EQ(readText("demo.svg").rfind("<?xml", 0), 0u);
}

TEST(DemoCommand, OutputOptionWritesOnlyThatFile) {
    ScratchDirectory here;
    ToolRun r = kvg({"demo", "-o", "other.kvg"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists("other.kvg"));
    EXPECT_FALSE(fs::exists("demo.svg"));
    EXPECT_FALSE(fs::exists("demo.kvg"));
    r = kvg({"demo", "-o", "missing-directory/x.kvg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("kvg demo: cannot write missing-directory/x.kvg", 0), 0u) << r.err;
    EXPECT_EQ(kvg({"demo", "extra"}).status, 2);
}

// A write that fails leaves the output's name as it was; a device is not removed.
TEST(DemoCommand, AFailedWriteLeavesTheOutputAsItWas) {
    EXPECT_EQ(kvg({"demo", "-o", "/dev/full"}).status, 1);
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

// ---- kvg svg

TEST(SvgCommand, WritesBesideTheFileAndRefusesInvalidOnes) {
    ScratchDirectory here;
    ASSERT_EQ(kvg({"demo", "-o", "map.kvg"}).status, 0);
    ToolRun r = kvg({"svg", "map.kvg"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists("map.svg"));
    r = kvg({"svg", "map.kvg", "-o", "-"});
    EXPECT_EQ(r.out, readText("map.svg"));
    Bytes broken = readGzipFile("map.kvg");
    broken.push_back(200);  // no record has this code
    writeText("broken.kvg", std::string(broken.begin(), broken.end()));
    r = kvg({"svg", "broken.kvg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("kvg svg: broken.kvg: offset ", 0), 0u) << r.err;
    EXPECT_FALSE(fs::exists("broken.svg"));
    EXPECT_EQ(kvg({"svg", "absent.kvg"}).status, 1);
    EXPECT_EQ(kvg({"svg"}).status, 2);
}

// ---- Rendered by a real SVG renderer

TEST(SvgRaster, DemoLooksAsDrawn) {
    if (!haveRsvg()) GTEST_SKIP() << "rsvg-convert is not installed";
    TempPath kvgPath, svgPath(".svg");
    kvgtool::writeDemo(kvgPath.str());
    ASSERT_EQ(kvg({"svg", kvgPath.str(), "-o", svgPath.str()}).status, 0);
    const Image image = rasterize(svgPath.str());
    ASSERT_EQ(image.width, uint32_t(pixelsFor(160)));
    ASSERT_EQ(image.height, uint32_t(pixelsFor(100)));
    // World units of the demo: -160..160 by -100..100, y up.
    const PageMap page{{-160, -100}, {160, 100}, double(image.width), double(image.height)};
    const auto at = [&](double x, double y) {
        const auto [px, py] = page.pixel(x, y);
        return image.at(px, py);
    };
    EXPECT_TRUE(near(at(-104, 20), 0xC5E0B4)) << describe(at(-104, 20));  // Westland
    EXPECT_TRUE(near(at(80, -20), 0xF3E3B0)) << describe(at(80, -20));    // Eastland
    EXPECT_TRUE(near(at(54, -18), 0x6FA8DC)) << describe(at(54, -18));    // its lake
    const Rgba sea = at(-150, -95);
    EXPECT_TRUE(sea.b > sea.r + 60 && sea.b > sea.g) << describe(sea);
    // The hidden layer's red text at the origin is not drawn.
    for (double x = 0; x <= 20; x += 0.5)
        for (double y = 0.5; y <= 5; y += 0.5)
            ASSERT_FALSE(near(at(x, y), 0xB22222)) << x << "," << y;
}

}  // namespace
}  // namespace kvgtest
