// Marks, lines, boxes, circles and ellipses: the records, the size records only where a size
// changes, circles that become ellipses, and figures that come to nothing.
#include <gtest/gtest.h>

#include <ostream>

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

}  // namespace
}  // namespace kvgtest
