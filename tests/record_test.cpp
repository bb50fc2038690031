// The stream state, the size records and the drawing records, byte for byte.
#include <gtest/gtest.h>

#include <cmath>

#include "test_support.h"

using namespace kvgtest;

namespace {

TEST(RecordState, NewStateHoldsTheDefaults) {
    StreamFixture s;
    const KVGF_State *st = s.state();
    EXPECT_EQ(st->color_size, KVG_COLOR_RGB);
    EXPECT_EQ(st->blend_mode, KVG_BLEND_SOURCE_OVER_DEST);
    EXPECT_EQ(st->line.color, 0u);
    EXPECT_EQ(st->line.color_size, KVG_COLOR_RGB);
    EXPECT_EQ(st->line.dashes, 0xFFFF);
    EXPECT_EQ(st->line.weight, 1);
    EXPECT_EQ(st->fill.mode, FILL_COLOR);
    EXPECT_EQ(st->text.font_size, 1u);
    EXPECT_EQ(st->text.alignment, KVG_TEXT_BASECENTER);
    EXPECT_EQ(st->palette.length, 2);
    EXPECT_EQ(st->palette.colors[0], 0xFFFFFFu);
    EXPECT_EQ(st->palette.colors[1], 0u);
    EXPECT_EQ(st->palette.color_size, KVG_COLOR_RGB);
    EXPECT_EQ(st->shape_last_id, 4194304u);
    // Marks get defined values at creation, since the layer reset leaves them alone.
    EXPECT_EQ(st->mark.color, 0u);
    EXPECT_EQ(st->mark.color_size, KVG_COLOR_RGB);
    EXPECT_EQ(st->mark.type, KVG_MARK_PLUS);
    EXPECT_EQ(st->mark.size, 1u);
}

TEST(RecordState, ResetRestoresAttributesButKeepsSizesAndMarks) {
    StreamFixture s;
    KVGF_State *st = s.state();
    st->point_size = 24;
    st->rel_point_size = 6;
    st->line.color = 0x123456;
    st->line.dashes = 0x0F0F;
    st->fill.mode = FILL_TEXTURE;
    st->mark.type = KVG_MARK_BOX;
    st->shape_last_id = 7;
    KVGF_ResetStateDefaults(st);
    EXPECT_EQ(st->line.color, 0u);
    EXPECT_EQ(st->line.dashes, 0xFFFF);
    EXPECT_EQ(st->fill.mode, FILL_COLOR);
    EXPECT_EQ(st->shape_last_id, 4194304u);
    EXPECT_EQ(st->point_size, 24);
    EXPECT_EQ(st->rel_point_size, 6);
    EXPECT_EQ(st->mark.type, KVG_MARK_BOX);
}

TEST(RecordState, ComparePaletteLooksOnlyAtEntriesInUse) {
    StreamFixture a, b;
    EXPECT_EQ(KVGF_ComparePalette(a.state(), a.state()), 0);
    EXPECT_EQ(KVGF_ComparePalette(a.state(), b.state()), 0);
    b.state()->palette.colors[100] = 5;  // beyond the length: no meaning
    EXPECT_EQ(KVGF_ComparePalette(a.state(), b.state()), 0);
    a.state()->palette.length = 3;
    EXPECT_GT(KVGF_ComparePalette(a.state(), b.state()), 0);
    a.state()->palette.length = 2;
    a.state()->palette.color_size = KVG_COLOR_GRAY8;
    EXPECT_NE(KVGF_ComparePalette(a.state(), b.state()), 0);
}

TEST(RecordState, CopyTakesPendingBitsButNotTheLastShape) {
    StreamFixture s;
    KVGF_State *from = s.state();
    KVGF_State to = *from;
    to.shape_last_id = 9;
    from->shape_last_id = 3;
    ASSERT_EQ(KVGT_Bit(from, KVG_TRUE), 0);
    ASSERT_EQ(KVGF_CopyStates(&to, from), 0);
    EXPECT_EQ(to.shape_last_id, 9u);
    ASSERT_EQ(KVGT_Byte(&to, 7), 0);  // completes the pending byte first
    ASSERT_EQ(KVGF_CopyStates(from, &to), 0);  // and hands the empty bit buffer back
    EXPECT_EQ(hex(s.bytes()), "80 07");
}

struct SizeRecordCase {
    int (*record)(KVGF_State *, int);
    int value;
    const char *bytes;    // empty when refused
    const char *message;  // the refusal's message
};

class SizeRecords : public ::testing::TestWithParam<SizeRecordCase> {};

TEST_P(SizeRecords, WriteTheirCodeOrRefuse) {
    const SizeRecordCase &c = GetParam();
    StreamFixture s;
    const KVGF_State before = *s.state();
    const int result = c.record(s.state(), c.value);
    if (c.message[0] == '\0') {
        EXPECT_EQ(result, 0);
    } else {
        EXPECT_EQ(result, -1);
        EXPECT_EQ(s.message(), c.message);
        EXPECT_EQ(s.code(), KVG_ERR_PARAM);
        EXPECT_EQ(s.state()->point_size, before.point_size);
        EXPECT_EQ(s.state()->rel_point_size, before.rel_point_size);
        EXPECT_EQ(s.state()->color_size, before.color_size);
    }
    EXPECT_EQ(hex(s.bytes()), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    AllSizes, SizeRecords,
    ::testing::Values(SizeRecordCase{KVGF_SetPointSize, 16, "50", ""},
                      SizeRecordCase{KVGF_SetPointSize, 24, "51", ""},
                      SizeRecordCase{KVGF_SetPointSize, 128, "54", ""},
                      SizeRecordCase{KVGF_SetPointSize, 20, "", "Invalid point size"},
                      SizeRecordCase{KVGF_SetRelPointSize, 3, "55", ""},
                      SizeRecordCase{KVGF_SetRelPointSize, 24, "59", ""},
                      SizeRecordCase{KVGF_SetRelPointSize, 128, "5C", ""},
                      SizeRecordCase{KVGF_SetRelPointSize, 4, "", "Invalid relative point size"},
                      SizeRecordCase{KVGF_SetColorSize, 7, "5D 07", ""},
                      SizeRecordCase{KVGF_SetColorSize, 263, "5D 07", ""},
                      SizeRecordCase{KVGF_SetColorSize, 8, "", "Invalid color size"}));

TEST(RecordSizes, RecordsSetTheStreamSize) {
    StreamFixture s;
    ASSERT_EQ(KVGF_SetPointSize(s.state(), 64), 0);
    ASSERT_EQ(KVGF_SetRelPointSize(s.state(), 6), 0);
    ASSERT_EQ(KVGF_SetColorSize(s.state(), KVG_COLOR_GRAY12), 0);
    EXPECT_EQ(s.state()->point_size, 64);
    EXPECT_EQ(s.state()->rel_point_size, 6);
    EXPECT_EQ(s.state()->color_size, KVG_COLOR_GRAY12);
}

// ---- Drawing records ----

struct RefusalCase {
    const char *name;
    int (*write)(KVGF_State *);
    const char *message;
    int code;
};

const double kSteps[] = {1, 0, 0, 1};

const RefusalCase kRefusals[] = {
    {"ExtensionEmptyParameter", [](KVGF_State *st) { return KVGF_Extension(st, "", "v"); },
     "String has zero length", KVG_ERR_PARAM},
    {"ExtensionNullParameter", [](KVGF_State *st) { return KVGF_Extension(st, nullptr, "v"); },
     "String is NULL", KVG_ERR_PARAM},
    {"LayerNullNameFirst", [](KVGF_State *st) { return KVGF_Layer(st, 2, 0, nullptr); },
     "String is NULL", KVG_ERR_PARAM},
    {"LayerVisibility", [](KVGF_State *st) { return KVGF_Layer(st, 2, 0, "L"); },
     "KVG_TRUE or KVG_FALSE expected", KVG_ERR_PARAM},
    {"LayerDetect", [](KVGF_State *st) { return KVGF_Layer(st, 1, 3, "L"); },
     "KVG_TRUE or KVG_FALSE expected", KVG_ERR_PARAM},
    {"LayerEmptyName", [](KVGF_State *st) { return KVGF_Layer(st, 1, 1, ""); },
     "String has zero length", KVG_ERR_PARAM},
    {"ObjectNullName", [](KVGF_State *st) { return KVGF_Object(st, nullptr); },
     "String is NULL", KVG_ERR_PARAM},
    {"PolylineNull", [](KVGF_State *st) { return KVGF_Polyline(st, 0, 0, nullptr, 1); },
     "Relative point array is NULL", KVG_ERR_PARAM},
    {"PolylineEmpty", [](KVGF_State *st) { return KVGF_Polyline(st, 0, 0, kSteps, 0); },
     "Relative point array has zero length", KVG_ERR_PARAM},
    {"PolylineTooLong",
     [](KVGF_State *st) { return KVGF_Polyline(st, 0, 0, kSteps, 4194304); },
     "Size KVG type limit exceeded", KVG_ERR_LIMITS},
    {"CubicEmpty", [](KVGF_State *st) { return KVGF_DrawCubicBezier(st, 0, 0, kSteps, 0); },
     "Relative point array has zero length", KVG_ERR_PARAM},
    {"ArcFlat", [](KVGF_State *st) { return KVGF_DrawArc(st, 0, 0, 5, 0, 0, 90); },
     "Invalid bounding box dimensions", KVG_ERR_PARAM},
    {"EllipseNaN", [](KVGF_State *st) { return KVGF_FillEllipse(st, 0, 0, NAN, 2); },
     "Invalid bounding box dimensions", KVG_ERR_PARAM},
    {"ShapeFlat", [](KVGF_State *st) { return KVGF_Shape(st, 1, 0, 0, 0, 0, 3); },
     "Invalid bounding box dimensions", KVG_ERR_PARAM},
    {"ShapeIdentifier", [](KVGF_State *st) { return KVGF_Shape(st, 4194304, 0, 0, 0, 3, 3); },
     "Identifier KVG type limit exceeded", KVG_ERR_LIMITS},
    {"ImageSource", [](KVGF_State *st) { return KVGF_Image(st, 0, 0, 0, 10, 0, 0, 0, 5, 5); },
     "Invalid source bounding box dimensions", KVG_ERR_PARAM},
    {"ImageDestination",
     [](KVGF_State *st) { return KVGF_Image(st, 0, 0, 0, 10, 10, 0, 0, 0, 5); },
     "Invalid destination bounding box dimensions", KVG_ERR_PARAM},
    {"FullImageFlat", [](KVGF_State *st) { return KVGF_FullImage(st, 0, 0, 0, 5, 0); },
     "Invalid bounding box dimensions", KVG_ERR_PARAM},
    {"RepeatWithoutShape", [](KVGF_State *st) { return KVGF_RepeatShape(st, 0, 0); },
     "No previous shape to repeat", KVG_ERR_CONTEXT},
    {"CircleRadius", [](KVGF_State *st) { return KVGF_DrawCircle(st, 0, 0, 4194304); },
     "Size KVG type limit exceeded", KVG_ERR_LIMITS},
    {"EdgeIdentifier", [](KVGF_State *st) { return KVGF_DrawEdge(st, 2097152); },
     "SIdentifier KVG type limit exceeded", KVG_ERR_LIMITS},
    {"EdgeRangeEnd", [](KVGF_State *st) { return KVGF_DrawEdgeRange(st, 1, -2097153); },
     "SIdentifier KVG type limit exceeded", KVG_ERR_LIMITS},
    {"FaceIdentifier", [](KVGF_State *st) { return KVGF_FillFace(st, 4194304); },
     "Identifier KVG type limit exceeded", KVG_ERR_LIMITS},
};

class DrawingRecordRefusals : public ::testing::TestWithParam<RefusalCase> {};

// A refused record writes nothing at all, not even its code byte.
TEST_P(DrawingRecordRefusals, WriteNothing) {
    const RefusalCase &c = GetParam();
    StreamFixture s;
    EXPECT_EQ(c.write(s.state()), -1);
    EXPECT_EQ(s.message(), c.message);
    EXPECT_EQ(s.code(), c.code);
    EXPECT_EQ(hex(s.bytes()), "");
}

INSTANTIATE_TEST_SUITE_P(All, DrawingRecordRefusals, ::testing::ValuesIn(kRefusals),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(DrawingRecordRefusals, PointsThatDoNotFitAreRefusedSilently) {
    StreamFixture s;
    s.state()->point_size = 16;
    s.state()->rel_point_size = 3;
    const double far[] = {2, 0};
    EXPECT_EQ(KVGF_Mark(s.state(), 1000, 0), -1);
    EXPECT_EQ(KVGF_Polyline(s.state(), 0, 0, far, 1), -1);
    EXPECT_EQ(KVGF_Line(s.state(), 0, 0, 5, 5), -1);
    EXPECT_EQ(s.code(), KVG_ERR_NONE);
    EXPECT_EQ(hex(s.bytes()), "");
}

TEST(DrawingRecordRefusals, ExtentsAreCheckedAsTheirLayoutWritesThem) {
    StreamFixture s;
    s.state()->point_size = 64;
    s.state()->rel_point_size = 64;
    EXPECT_EQ(KVGF_DrawEllipse(s.state(), 0, 0, 0x1p-150, 1), -1) << "rounds to 0 in single";
    EXPECT_EQ(s.message(), "Invalid bounding box dimensions");
    EXPECT_EQ(KVGF_Shape(s.state(), 0, 0, 0, 0, 1, 1e-300), -1);
    EXPECT_EQ(KVGF_DrawEllipse(s.state(), 0, 0, 0x1p-149, 1), 0) << "the least single";
    s.state()->rel_point_size = 128;
    EXPECT_EQ(KVGF_DrawEllipse(s.state(), 0, 0, 1e-300, 1), 0) << "double precision holds it";
}

TEST(DrawingRecordRefusals, AnglesThatAreNotFiniteAreRefusedWithAMessage) {
    StreamFixture s;
    s.state()->point_size = 64;
    EXPECT_EQ(KVGF_DrawArc(s.state(), 0, 0, 1, 1, NAN, 0), -1);
    EXPECT_EQ(s.code(), KVG_ERR_PARAM);
    EXPECT_EQ(s.message(), "Angle is not a finite number");
    EXPECT_EQ(KVGF_SetTextAlignment(s.state(), KVG_TEXT_CENTER, INFINITY), -1);
    s.state()->point_size = 128;
    EXPECT_EQ(KVGF_SetTextAlignment(s.state(), KVG_TEXT_CENTER, INFINITY), 0)
        << "the 128-bit point size carries NaN";
    EXPECT_EQ(hex(s.bytes()).substr(0, 5), "6B 08") << "the refusals wrote nothing";
}

struct BytesCase {
    const char *name;
    int (*write)(KVGF_State *);
    const char *bytes;
};

const double kTriangle[] = {10, 0, -10, 10, 0, -10};
const double kTwoSegments[] = {1, 0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1};

// Streams start at point size 32 and relative point size 32 (see StreamFixture).
const BytesCase kRecords[] = {
    {"Extension", [](KVGF_State *st) { return KVGF_Extension(st, "a", "bc"); },
     "00 01 61 02 62 63"},
    {"ExtensionNullValue", [](KVGF_State *st) { return KVGF_Extension(st, "a", nullptr); },
     "00 01 61 00"},
    {"Layer", [](KVGF_State *st) { return KVGF_Layer(st, 1, 0, "L"); }, "01 80 01 4C"},
    {"ObjectEnd", [](KVGF_State *st) { return KVGF_Object(st, ""); }, "02 00"},
    {"Polyline", [](KVGF_State *st) { return KVGF_Polyline(st, -2, 300, kTriangle, 3); },
     "10 FF FE 01 2C 03 00 0A 00 00 FF F6 00 0A 00 00 FF F6"},
    {"FillPolygon", [](KVGF_State *st) { return KVGF_FillPolygon(st, 0, 0, kTriangle, 2); },
     "14 00 00 00 00 02 00 0A 00 00 FF F6 00 0A"},
    {"DrawCubicWritesAllPoints",
     [](KVGF_State *st) {
         st->rel_point_size = 3;
         return KVGF_DrawCubicBezier(st, 0, 0, kTwoSegments, 2);
     },
     // Six 3-bit codes 0 0 0 2 2 2 after the count and the point: 00 24, then 10 padded.
     "12 02 00 00 00 00 00 24 80"},
    {"FillCubicDropsTheLastPoint",
     [](KVGF_State *st) {
         st->rel_point_size = 3;
         return KVGF_FillCubicBezier(st, 0, 0, kTwoSegments, 2);
     },
     "15 02 00 00 00 00 00 24"},
    {"Arc",
     [](KVGF_State *st) {
         st->point_size = 16;
         st->rel_point_size = 16;
         return KVGF_FillArc(st, 1, 2, 3, 4, 0, 90);
     },
     "16 01 02 03 04 7F 00 00 7F"},
    {"Text", [](KVGF_State *st) { return KVGF_Text(st, 0, 0, "abc"); },
     "17 00 00 00 00 03 61 62 63"},
    {"ShapeUsesAnAbsoluteCorner",
     [](KVGF_State *st) {
         st->point_size = 16;
         return KVGF_Shape(st, 7, 1, 1, 0, 5, 6);
     },
     "18 07 01 01 7F 00 05 06"},
    {"Image",
     [](KVGF_State *st) {
         st->point_size = 16;
         st->rel_point_size = 16;
         return KVGF_Image(st, 2, 0, 0, 10, 10, 100, 100, 10, 10);
     },
     "19 02 00 00 0A 0A 64 64 0A 0A"},
    {"Mark", [](KVGF_State *st) { return KVGF_Mark(st, -1, 2); }, "30 FF FF 00 02"},
    {"Line", [](KVGF_State *st) { return KVGF_Line(st, 0, 0, -1, 2); },
     "31 00 00 00 00 FF FF 00 02"},
    {"DrawBox", [](KVGF_State *st) { return KVGF_DrawBox(st, 0, 0, 3, 4); },
     "32 00 00 00 00 00 03 00 04"},
    {"FillBox", [](KVGF_State *st) { return KVGF_FillBox(st, 0, 0, 3, 4); },
     "35 00 00 00 00 00 03 00 04"},
    {"DrawCircle", [](KVGF_State *st) { return KVGF_DrawCircle(st, 0, 0, 200); },
     "33 00 00 00 00 80 C8"},
    {"FillCircle", [](KVGF_State *st) { return KVGF_FillCircle(st, 0, 0, 5); },
     "36 00 00 00 00 05"},
    {"DrawEllipse", [](KVGF_State *st) { return KVGF_DrawEllipse(st, 0, 0, 3, 4); },
     "34 00 00 00 00 00 03 00 04"},
    {"FillEllipse", [](KVGF_State *st) { return KVGF_FillEllipse(st, 0, 0, 3, 4); },
     "37 00 00 00 00 00 03 00 04"},
    {"StampThenRepeat",
     [](KVGF_State *st) {
         return KVGF_StampShape(st, 7, 0, 0) | KVGF_RepeatShape(st, 1, 1);
     },
     "38 07 00 00 00 00 39 00 01 00 01"},
    {"FullImage", [](KVGF_State *st) { return KVGF_FullImage(st, 1, 0, 0, 2, 2); },
     "3A 01 00 00 00 00 00 02 00 02"},
    {"DrawEdge", [](KVGF_State *st) { return KVGF_DrawEdge(st, -1); }, "3D 7F"},
    {"DrawEdgeRange", [](KVGF_State *st) { return KVGF_DrawEdgeRange(st, 1, 64); },
     "3E 01 80 40"},
    {"FillFace", [](KVGF_State *st) { return KVGF_FillFace(st, 128); }, "3F 80 80"},
};

class DrawingRecordBytes : public ::testing::TestWithParam<BytesCase> {};

TEST_P(DrawingRecordBytes, AreExact) {
    const BytesCase &c = GetParam();
    StreamFixture s;
    ASSERT_EQ(c.write(s.state()), 0) << s.message();
    EXPECT_EQ(hex(s.bytes()), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(All, DrawingRecordBytes, ::testing::ValuesIn(kRecords),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(DrawingRecordState, ShapeAndStampRememberTheLastShape) {
    StreamFixture s;
    s.state()->point_size = 16;
    ASSERT_EQ(KVGF_Shape(s.state(), 3, 0, 0, 0, 1, 1), 0);
    EXPECT_EQ(s.state()->shape_last_id, 3u);
    ASSERT_EQ(KVGF_StampShape(s.state(), 5, 0, 0), 0);
    EXPECT_EQ(s.state()->shape_last_id, 5u);
}

}  // namespace
