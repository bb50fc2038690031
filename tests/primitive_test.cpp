// Layers, objects, extensions and primitives through the drawing interface: the primitive state
// machine with its -1 and -2 results, and the layer section each call leaves. UnitWriter maps
// world units one to one onto the default grid; its layer stream starts at sizes 32 and 32.
#include <gtest/gtest.h>

#include "unit_writer.h"

using namespace kvgtest;

namespace {

void expectFailure(WriterFixture &w, int result, const char *message, int code) {
    EXPECT_EQ(result, -1);
    EXPECT_EQ(w.message(), message);
    EXPECT_EQ(w.code(), code);
}

TEST(Primitive, PolylineNeedsAPointAndStaysOpenUntilItHasOne) {
    UnitWriter w;
    ASSERT_EQ(KVG_begin(w.get(), KVG_BEGIN_POLYLINE, 0, 0), 0);
    expectFailure(w, KVG_end(w.get()), "Insufficient number of points for primitive",
                  KVG_ERR_PARAM);
    ASSERT_EQ(KVG_vertex(w.get(), 1, 0), 0);
    ASSERT_EQ(KVG_end(w.get()), 0);
    // The size records went out with the first attempt; the record follows the second.
    EXPECT_EQ(hex(w.closeLayerSection()), "50 55 10 00 00 01 00");
}

TEST(Primitive, PointsThatRoundOntoTheLastOneAreDropped) {
    WriterFixture w;  // default window: 20.48 file units per world unit
    ASSERT_EQ(KVG_begin(w.get(), KVG_BEGIN_POLYLINE, 0, 0), 0);
    EXPECT_EQ(KVG_vertex(w.get(), 0.01, 0), -2);
    EXPECT_EQ(KVG_end(w.get()), -2);
    EXPECT_EQ(KVG_vertex(w.get(), 1, 1), -1);  // the primitive is closed
    EXPECT_EQ(w.message(), "Function is invalid outside primitive definition");
    EXPECT_EQ(hex(w.closeLayerSection()), "50 55");  // size records only
}

TEST(Primitive, OutlinedPolygonClosesImplicitly) {
    UnitWriter w;
    ASSERT_EQ(KVG_begin(w.get(), KVG_BEGIN_POLYGON, 0, 0), 0);
    for (auto [x, y] : {std::pair{10, 0}, {0, 10}, {0, 0}}) KVG_vertex(w.get(), x, y);
    ASSERT_EQ(KVG_end(w.get()), 0);
    EXPECT_EQ(hex(w.closeLayerSection()), "50 58 11 00 00 03 0A 00 F6 0A 00 F6");
}

TEST(Primitive, PolygonWithTwoDistinctVerticesIsRefused) {
    UnitWriter w;
    ASSERT_EQ(KVG_begin(w.get(), KVG_BEGIN_POLYGON, 0, 0), 0);
    KVG_vertex(w.get(), 5, 0);
    KVG_vertex(w.get(), 0, 0);
    expectFailure(w, KVG_end(w.get()), "Insufficient number of points for primitive",
                  KVG_ERR_PARAM);
    EXPECT_EQ(KVG_begin(w.get(), KVG_BEGIN_POLYLINE, 0, 0), -1);  // still open
}

TEST(Primitive, RelativeSizeIsTheLargestStepsSize) {
    struct Case {
        double far_x;
        const char *size_record;
    };
    for (const Case &c : {Case{2, "55"}, Case{101, "58"}, Case{201, "59"}}) {
        UnitWriter w;
        ASSERT_EQ(KVG_begin(w.get(), KVG_BEGIN_POLYLINE, 0, 0), 0);
        KVG_vertex(w.get(), 1, 1);
        KVG_vertex(w.get(), c.far_x, 1);
        ASSERT_EQ(KVG_end(w.get()), 0);
        const Bytes layer = w.closeLayerSection();
        ASSERT_GE(layer.size(), 2u);
        EXPECT_EQ(hex(Bytes{layer[1]}), c.size_record) << c.far_x;
    }
}

TEST(Primitive, PointSizeGoesDownAsWellAsUp) {
    UnitWriter w;
    for (double x : {3000.0, 0.0}) {
        ASSERT_EQ(KVG_begin(w.get(), KVG_BEGIN_POLYLINE, x, 0), 0);
        KVG_vertex(w.get(), x + 1, 0);
        ASSERT_EQ(KVG_end(w.get()), 0);
    }
    // The far one fits the stream's 32 bits; the near one lowers it to 16.
    EXPECT_EQ(hex(w.closeLayerSection()), "55 10 0B B8 00 00 01 00 50 10 00 00 01 00");
}

TEST(Primitive, WrongKindOfPointIsRefused) {
    UnitWriter w;
    ASSERT_EQ(KVG_begin(w.get(), KVG_BEGIN_CUBIC, 0, 0), 0);
    expectFailure(w, KVG_vertex(w.get(), 1, 1), "Incorrect primitive definition type for function",
                  KVG_ERR_CONTEXT);
    ASSERT_EQ(KVG_cubic(w.get(), 1, 0, 2, 0, 3, 0), 0);
    ASSERT_EQ(KVG_end(w.get()), 0);
    ASSERT_EQ(KVG_begin(w.get(), KVG_BEGIN_POLYLINE, 0, 0), 0);
    expectFailure(w, KVG_cubic(w.get(), 1, 0, 2, 0, 3, 0),
                  "Incorrect primitive definition type for function", KVG_ERR_CONTEXT);
}

TEST(Primitive, CubicCurveBytes) {
    UnitWriter w;
    ASSERT_EQ(KVG_begin(w.get(), KVG_BEGIN_CUBIC, 0, 0), 0);
    ASSERT_EQ(KVG_cubic(w.get(), 1, 0, 2, 0, 3, 0), 0);
    ASSERT_EQ(KVG_end(w.get()), 0);
    EXPECT_EQ(hex(w.closeLayerSection()), "50 55 12 01 00 00 00 00");
}

TEST(Primitive, CubicSegmentOnTheLastPointIsDropped) {
    UnitWriter w;
    ASSERT_EQ(KVG_begin(w.get(), KVG_BEGIN_CUBIC, 4, 4), 0);
    EXPECT_EQ(KVG_cubic(w.get(), 4, 4, 4, 4, 4, 4), -2);
    EXPECT_EQ(KVG_end(w.get()), -2);
    EXPECT_EQ(w.code(), KVG_ERR_NONE);
}

TEST(Primitive, NestedBeginLeavesTheOpenPrimitiveAlone) {
    UnitWriter w;
    ASSERT_EQ(KVG_begin(w.get(), KVG_BEGIN_POLYLINE, 0, 0), 0);
    expectFailure(w, KVG_begin(w.get(), KVG_BEGIN_POLYGON, 9, 9), "Definitions cannot be nested",
                  KVG_ERR_CONTEXT);
    ASSERT_EQ(KVG_vertex(w.get(), 1, 0), 0);
    ASSERT_EQ(KVG_end(w.get()), 0);
    EXPECT_EQ(hex(w.closeLayerSection()), "50 55 10 00 00 01 00");
}

TEST(Primitive, CallsOutsideAPrimitiveAreRefused) {
    UnitWriter w;
    for (int result : {KVG_vertex(w.get(), 0, 0), KVG_cubic(w.get(), 0, 0, 0, 0, 0, 0),
                       KVG_end(w.get())}) {
        expectFailure(w, result, "Function is invalid outside primitive definition",
                      KVG_ERR_CONTEXT);
    }
}

TEST(Primitive, UnknownTypeIsRefusedAtOnce) {
    UnitWriter w;
    for (int type : {-1, 3, 7}) {
        expectFailure(w, KVG_begin(w.get(), type, 0, 0),
                      "Incorrect primitive definition type for function", KVG_ERR_CONTEXT);
    }
    expectFailure(w, KVG_vertex(w.get(), 1, 1), "Function is invalid outside primitive definition",
                  KVG_ERR_CONTEXT);
    EXPECT_EQ(KVG_begin(w.get(), KVG_BEGIN_POLYLINE, 0, 0), 0);
}

TEST(Layer, StartWritesTheRecordAndResetsTheSizes) {
    UnitWriter w;
    ASSERT_EQ(KVG_begin(w.get(), KVG_BEGIN_POLYLINE, 0, 0), 0);
    KVG_vertex(w.get(), 1, 0);
    ASSERT_EQ(KVG_end(w.get()), 0);
    ASSERT_EQ(KVG_beginLayer(w.get(), "L", 1, 0), 0);
    ASSERT_EQ(KVG_begin(w.get(), KVG_BEGIN_POLYLINE, 0, 0), 0);
    KVG_vertex(w.get(), 1, 0);
    ASSERT_EQ(KVG_end(w.get()), 0);
    // After the layer record the stream is back at 32/32, so the sizes are written again.
    EXPECT_EQ(hex(w.closeLayerSection()),
              "50 55 10 00 00 01 00 01 80 01 4C 50 55 10 00 00 01 00");
}

TEST(Layer, RefusedStartChangesNothing) {
    UnitWriter w;
    ASSERT_EQ(KVG_begin(w.get(), KVG_BEGIN_POLYLINE, 0, 0), 0);
    KVG_vertex(w.get(), 1, 0);
    ASSERT_EQ(KVG_end(w.get()), 0);
    expectFailure(w, KVG_beginLayer(w.get(), "", 1, 1), "String has zero length", KVG_ERR_PARAM);
    expectFailure(w, KVG_beginLayer(w.get(), "L", 2, 1), "KVG_TRUE or KVG_FALSE expected",
                  KVG_ERR_PARAM);
    ASSERT_EQ(KVG_begin(w.get(), KVG_BEGIN_POLYLINE, 0, 0), 0);
    KVG_vertex(w.get(), 1, 0);
    ASSERT_EQ(KVG_end(w.get()), 0);
    // The stream kept its sizes: the second polyline needs no size records.
    EXPECT_EQ(hex(w.closeLayerSection()), "50 55 10 00 00 01 00 10 00 00 01 00");
}

TEST(Layer, ObjectsExtensionsAndText) {
    UnitWriter w;
    ASSERT_EQ(KVG_beginObject(w.get(), "o"), 0);
    ASSERT_EQ(KVG_extension(w.get(), "a", "bc"), 0);
    ASSERT_EQ(KVG_text(w.get(), 0, 0, ""), 0);  // writes nothing, not even a size record
    ASSERT_EQ(KVG_text(w.get(), 0, 0, "abc"), 0);
    ASSERT_EQ(KVG_endObject(w.get()), 0);
    expectFailure(w, KVG_beginObject(w.get(), nullptr), "String is NULL", KVG_ERR_PARAM);
    EXPECT_EQ(hex(w.closeLayerSection()),
              "02 01 6F 00 01 61 02 62 63 50 17 00 00 03 61 62 63 02 00");
}

TEST(Arc, HalfAxesComeFromTheRoundedExtent) {
    WriterFixture w;  // 20.48 units per world unit: 10 x 4 becomes 205 x 82
    ASSERT_EQ(KVG_arc(w.get(), 0, 0, 10, 4, 0, 90), 0);
    // Half-axes 102.5 and 41 need 64-bit relative points; the angles use the 16-bit point.
    EXPECT_EQ(hex(w.closeLayerSection()),
              "50 5B 13 00 00 42 CD 00 00 42 24 00 00 7F 00 00 7F");
}

TEST(Arc, ExtentDoesNotDependOnTheWindowsPosition) {
    auto opt = std::unique_ptr<KVG_FileOptions, OptionsDeleter>(plainOptions());
    KVG_setWorldFileOption(opt.get(), 1000, 1200, 0, 200);
    WriterFixture w(opt.get());
    ASSERT_EQ(KVG_arc(w.get(), 1100, 100, 10, 4, 0, 90), 0);
    EXPECT_EQ(hex(w.closeLayerSection()),
              "50 5B 13 00 00 42 CD 00 00 42 24 00 00 7F 00 00 7F");
}

TEST(Arc, FlatArcComesToNothing) {
    WriterFixture w;
    EXPECT_EQ(KVG_arc(w.get(), 0, 0, 0.01, 4, 0, 90), -2);
    EXPECT_EQ(hex(w.closeLayerSection()), "");
}

}  // namespace
