// Marks, lines, boxes, circles and ellipses: the records, the size records only where a size
// changes, circles that become ellipses, and figures that come to nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <vector>

#include "kvgtype.h"
#include "unit_writer.h"

namespace kvgtest {
namespace {

using Draw = int (*)(KVG_File *);

// A drawing call on `fl`, with its text for failure messages; FILLED draws with the fill on.
#define DRAW(call) #call, [](KVG_File *fl) { return call; }
#define FILLED(call) "filled " #call, [](KVG_File *fl) { return KVG_setFill(fl, 1), call; }

struct FigureCase {
    const char *call;
    Draw draw;
    int result;
    const char *layers;  // the layer section, which starts at point and relative size 32
};

void PrintTo(const FigureCase &c, std::ostream *os) { *os << c.call; }

// World units are file units: every coordinate below reaches the record as given.
class Figures : public ::testing::TestWithParam<FigureCase> {};

TEST_P(Figures, WriteTheirRecordsAfterTheSizesTheyNeed) {
    UnitWriter writer;
    EXPECT_EQ(GetParam().draw(writer.get()), GetParam().result) << writer.message();
    EXPECT_EQ(hex(writer.closeLayerSection()), GetParam().layers);
}

INSTANTIATE_TEST_SUITE_P(
    Records, Figures,
    ::testing::Values(
        FigureCase{DRAW(KVG_mark(fl, 1, -2)), 0, "50 30 01 FE"},
        FigureCase{FILLED(KVG_mark(fl, 1, -2)), 0, "50 30 01 FE"},
        FigureCase{DRAW(KVG_line(fl, 1, 2, 4, 6)), 0, "50 57 31 01 02 34"},
        FigureCase{FILLED(KVG_line(fl, 0, 0, 0, -3)), 0, "50 56 31 00 00 14"},
        FigureCase{DRAW(KVG_line(fl, 0, 0, 0.2, -0.4)), -2, ""},
        FigureCase{DRAW(KVG_box(fl, 0, 0, 10, 10)), 0, "50 58 32 00 00 0A 0A"},
        FigureCase{FILLED(KVG_box(fl, 0, 0, 10, 10)), 0, "50 58 35 00 00 0A 0A"},
        FigureCase{DRAW(KVG_box(fl, 0, 0, -3, -2)), 0, "50 56 32 00 00 B8"},
        FigureCase{DRAW(KVG_box(fl, 0, 0, 0.2, 10)), -2, ""},
        FigureCase{DRAW(KVG_circle(fl, 0, 0, 5)), 0, "50 33 00 00 05"},
        FigureCase{FILLED(KVG_circle(fl, 0, 0, 5)), 0, "50 36 00 00 05"},
        FigureCase{DRAW(KVG_circle(fl, 0, 0, 4194303)), 0, "50 33 00 00 FF FF FF"},
        // An ellipse with half-axes (2.5, 2.5) rounded to (3, 3): six bits 011 011.
        FigureCase{DRAW(KVG_circle(fl, 0, 0, 2.5)), 0, "50 56 34 00 00 6C"},
        // Beyond the Size field: an ellipse with single-precision half-axes 2^22.
        FigureCase{DRAW(KVG_circle(fl, 0, 0, 4194304)), 0,
                   "50 5B 34 00 00 4A 80 00 00 4A 80 00 00"},
        // The ellipse refuses half-axes that are not positive; no circle byte is written.
        FigureCase{DRAW(KVG_circle(fl, 0, 0, -5)), -1, "50 57"},
        FigureCase{DRAW(KVG_circle(fl, 0, 0, 0)), -1, "50 56"},
        FigureCase{FILLED(KVG_ellipse(fl, 1, 1, 6, 4)), 0, "50 56 37 01 01 68"},
        // The width rounds away: the exact half-axes (0.1, 5) go out as singles.
        FigureCase{DRAW(KVG_ellipse(fl, 0, 0, 0.2, 10)), 0,
                   "50 5B 34 00 00 3D CC CC CD 40 A0 00 00"}));

TEST(FigureWriter, RefusedEllipseRecordsInvalidBoundingBox) {
    UnitWriter writer;
    EXPECT_EQ(KVG_circle(writer.get(), 0, 0, 0), -1);
    EXPECT_EQ(writer.message(), "Invalid bounding box dimensions");
    EXPECT_EQ(writer.code(), KVG_ERR_PARAM);
}

TEST(FigureWriter, PointSizeFollowsEachFigureUpAndDown) {
    UnitWriter writer;
    for (double x : {1, 1000, 1, 2}) ASSERT_EQ(KVG_mark(writer.get(), x, 1), 0);
    EXPECT_EQ(hex(writer.closeLayerSection()), "50 30 01 01 51 30 3E 80 01 50 30 01 01 30 02 01");
}

TEST(FigureWriter, RepeatedFigureWritesItsSizesOnce) {
    UnitWriter writer;
    ASSERT_EQ(KVG_line(writer.get(), 0, 0, 1, 1), 0);
    ASSERT_EQ(KVG_line(writer.get(), 0, 0, 1, 1), 0);
    // The 3-bit difference (code 1) is bit-packed; the next record pads its byte.
    EXPECT_EQ(hex(writer.closeLayerSection()), "50 55 31 00 00 20 31 00 00 20");
}

TEST(FigureWriter, RadiusIsMeasuredInFileUnits) {
    std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(plainOptions());
    KVG_setWorldFileOption(opt.get(), -1024, 1024, -1024, 1024);  // 2 file units per world unit
    WriterFixture writer(opt.get());
    ASSERT_EQ(KVG_circle(writer.get(), 0, 0, 2.5), 0);
    EXPECT_EQ(hex(writer.closeLayerSection()), "50 33 00 00 05");
}

// The relative size a polyline's record is written in, from its layer section: the size record
// after the start point's (the section starts at relative size 32, which needs none).
unsigned relativeSizeWritten(const Bytes &layers) {
    constexpr unsigned kSizes[] = {3, 6, 8, 16, 24, 32, 64, 128};
    const unsigned code = layers.at(1);
    return code >= 85 && code <= 92 ? kSizes[code - 85] : 32;
}

// Polylines from (0, 0) through the per-point and the bulk calls take the smallest size that
// holds their largest step, whichever sign holds it and wherever it falls: at each boundary of
// the field sizes, unit steps alone and with one longer step, and random walks.
TEST(FigureWriter, PolylineTakesTheSizeOfItsLargestStep) {
    std::vector<std::vector<double>> walks = {
        {1, 1, 2, 1, 2, 0, 1, -1},  // unit steps only: 3 bits
        {1, 1, 2, 1, 0, 1},         // ... and one step (-2, 0): 6 bits
    };
    for (const int v : {3, -4, 4, -5, 7, -8, 8, -9, 127, -128, 128, -129, 2047, -2048}) {
        walks.push_back({1, 0, 1.0 + v, 0});  // a unit step, then the boundary step
        walks.push_back({0, double(v)});
        walks.push_back({1, 1, 1, 1.0 + v, 2, 1.0 + v});  // odd and even counts
    }
    std::mt19937 rng(108);
    for (int trial = 0; trial < 60; ++trial) {
        const int reach = 1 + int(rng() % 300);
        std::vector<double> walk;
        int x = 0, y = 0;
        for (int i = 1 + int(rng() % 40); i > 0; --i) {
            x = std::clamp(x + int(rng() % (2 * reach + 1)) - reach, -2048, 2047);
            y = std::clamp(y + int(rng() % (2 * reach + 1)) - reach, -2048, 2047);
            walk.insert(walk.end(), {double(x), double(y)});
        }
        walks.push_back(walk);
    }
    for (const auto &walk : walks) {
        unsigned largest = 3;
        bool moved = false;
        double px = 0, py = 0;
        for (size_t i = 0; i < walk.size(); i += 2) {
            if (walk[i] != px || walk[i + 1] != py) {
                moved = true;
                largest = std::max<unsigned>(largest, KVGT_MinRelPointSize(walk[i] - px,
                                                                          walk[i + 1] - py));
            }
            px = walk[i];
            py = walk[i + 1];
        }
        if (!moved) continue;  // a polyline of one point draws nothing
        UnitWriter per_point, bulk;
        ASSERT_EQ(KVG_begin(per_point.get(), KVG_BEGIN_POLYLINE, 0, 0), 0);
        for (size_t i = 0; i < walk.size(); i += 2) {
            ASSERT_GE(KVG_vertex(per_point.get(), walk[i], walk[i + 1]), -2);
        }
        ASSERT_EQ(KVG_end(per_point.get()), 0) << per_point.message();
        std::vector<double> positions = {0, 0};
        positions.insert(positions.end(), walk.begin(), walk.end());
        ASSERT_EQ(KVG_polyline(bulk.get(), KVG_BEGIN_POLYLINE, positions.size() / 2, positions.data()), 0)
            << bulk.message();
        const Bytes layers = per_point.closeLayerSection();
        EXPECT_EQ(relativeSizeWritten(layers), largest) << hex(layers);
        EXPECT_EQ(bulk.closeLayerSection(), layers);
    }
}

}  // namespace
}  // namespace kvgtest
