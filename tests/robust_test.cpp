// The failure invariant: a call that returns -1 or -2 leaves the handle usable and the file
// valid. Each case puts a handle in the middle of a drawing of one family, makes one call fail
// there, completes the drawing and draws on; the file must then be valid and hold the same
// drawings as the file written by the same calls without the failing one. Only size records may
// differ: a drawing call writes the sizes it needs before its record checks its arguments.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "file_drawings.h"
#include "test_support.h"

using namespace kvgtest;

namespace {

using Step = void (*)(KVG_File *);
using Call = int (*)(KVG_File *);

struct FailureCase {
    const char *name;
    Step setup;   // opens the drawing that the failure interrupts
    Call failing;
    int rc;       // -1 or -2
    int code;     // the error code after -1
    Step finish;  // completes the drawing
};

void PrintTo(const FailureCase &c, std::ostream *os) { *os << c.name; }

void nothing(KVG_File *) {}

void ok(int rc) { EXPECT_EQ(rc, 0); }

// Drawings of every stream around the failure: definitions (a shape, an edge, an image) and
// layer drawings before, more of both after.
void drawBefore(KVG_File *fl) {
    uint32_t id;
    int32_t edge;
    const KVG_Color pixel = 0x336699;
    ok(KVG_beginSetShape(fl, 10, 10, &id));
    ok(KVG_mark(fl, 1, 1));
    ok(KVG_endSetShape(fl));
    ok(KVG_beginSetEdge(fl, &edge, -50, -50));
    ok(KVG_vertexSetEdge(fl, 50, -50));
    ok(KVG_endSetEdge(fl));
    ok(KVG_setImage(fl, 1, 1, &pixel, &id));
    ok(KVG_beginLayer(fl, "before", 1, 1));
    ok(KVG_begin(fl, KVG_BEGIN_POLYLINE, -10, -10));
    ok(KVG_vertex(fl, 10, -10));
    ok(KVG_end(fl));
}

void drawAfter(KVG_File *fl) {
    int32_t edge;
    ok(KVG_line(fl, -20, -20, 20, 30));
    ok(KVG_box(fl, -5, -5, 10, 10));
    ok(KVG_edge(fl, 1));
    ok(KVG_stampShape(fl, 0, 40, 40));
    ok(KVG_image(fl, 0, -30, -30, 10, 10));
    ok(KVG_text(fl, 0, 0, "after"));
    ok(KVG_beginSetEdge(fl, &edge, 0, 0));
    ok(KVG_vertexSetEdge(fl, 0, 50));
    ok(KVG_endSetEdge(fl));
    ok(KVG_edge(fl, edge));
}

// The file of one case, with or without its failing call.
Bytes writeCase(const FailureCase &c, bool with_failure) {
    WriterFixture w;
    KVG_File *fl = w.get();
    drawBefore(fl);
    c.setup(fl);
    if (with_failure) {
        EXPECT_EQ(c.failing(fl), c.rc);
        EXPECT_EQ(KVG_getErrorCode(fl), c.code);
        EXPECT_EQ(KVG_getErrorDescription(fl) != nullptr, c.rc == -1) << "-1 and only -1 records";
    }
    c.finish(fl);
    drawAfter(fl);
    return w.close();  // also checks the file with the reader
}

class RobustFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(RobustFailure, LeavesTheFileAsWithoutTheCall) {
    const FailureCase &c = GetParam();
    const Bytes with_failure = writeCase(c, true);
    const Bytes without = writeCase(c, false);
    EXPECT_EQ(drawings(with_failure), drawings(without));
}

// ---- The cases, family by family ----

void openPolyline(KVG_File *fl) {
    ok(KVG_begin(fl, KVG_BEGIN_POLYLINE, 0, 0));
    ok(KVG_vertex(fl, 10, 0));
}
void openCubic(KVG_File *fl) { ok(KVG_begin(fl, KVG_BEGIN_CUBIC, 0, 0)); }
void finishPolyline(KVG_File *fl) {
    ok(KVG_vertex(fl, 10, 10));
    ok(KVG_end(fl));
}
void finishCubic(KVG_File *fl) {
    ok(KVG_cubic(fl, 1, 2, 3, 4, 5, 1));
    ok(KVG_end(fl));
}

const FailureCase kPrimitiveCases[] = {
    {"BeginInsideAPrimitive", openPolyline,
     [](KVG_File *fl) { return KVG_begin(fl, KVG_BEGIN_POLYGON, 5, 5); }, -1, KVG_ERR_CONTEXT,
     finishPolyline},
    {"CubicInAPolyline", openPolyline,
     [](KVG_File *fl) { return KVG_cubic(fl, 1, 1, 2, 2, 3, 3); }, -1, KVG_ERR_CONTEXT,
     finishPolyline},
    {"RepeatedVertex", openPolyline, [](KVG_File *fl) { return KVG_vertex(fl, 10, 0); }, -2, 0,
     finishPolyline},
    {"VertexInACubic", openCubic, [](KVG_File *fl) { return KVG_vertex(fl, 1, 1); }, -1,
     KVG_ERR_CONTEXT, finishCubic},
    {"CubicOnTheLastPoint", openCubic, [](KVG_File *fl) { return KVG_cubic(fl, 0, 0, 0, 0, 0, 0); },
     -2, 0, finishCubic},
    {"PolygonEndedTooEarly",
     [](KVG_File *fl) {
         ok(KVG_begin(fl, KVG_BEGIN_POLYGON, 0, 0));
         ok(KVG_vertex(fl, 10, 0));
     },
     KVG_end, -1, KVG_ERR_PARAM, finishPolyline},
    {"PolylineOfRepeatsEnded",
     [](KVG_File *fl) {
         ok(KVG_begin(fl, KVG_BEGIN_POLYLINE, 0, 0));
         EXPECT_EQ(KVG_vertex(fl, 0, 0), -2);
     },
     KVG_end, -2, 0, nothing},
    {"NullTextInsideAPrimitive", openPolyline,
     [](KVG_File *fl) { return KVG_text(fl, 0, 0, nullptr); }, -1, KVG_ERR_PARAM,
     finishPolyline},
    {"ArcOfNoWidth", nothing, [](KVG_File *fl) { return KVG_arc(fl, 0, 0, 0, 10, 0, 90); }, -2, 0,
     nothing},
    {"ArcOfNegativeWidth", nothing,
     [](KVG_File *fl) { return KVG_arc(fl, 0, 0, -10, 10, 0, 90); }, -1, KVG_ERR_PARAM, nothing},
    {"ArcWithAnUndefinedAngle", nothing,
     [](KVG_File *fl) { return KVG_arc(fl, 0, 0, 10, 10, NAN, 90); }, -1, KVG_ERR_PARAM, nothing},
    {"LayerVisibilityNotATruthValue", nothing,
     [](KVG_File *fl) { return KVG_beginLayer(fl, "x", 2, 1); }, -1, KVG_ERR_PARAM, nothing},
    {"ObjectWithoutAName", nothing, [](KVG_File *fl) { return KVG_beginObject(fl, nullptr); }, -1,
     KVG_ERR_PARAM, nothing},
    {"ExtensionWithAnEmptyParameter", nothing,
     [](KVG_File *fl) { return KVG_extension(fl, "", "v"); }, -1, KVG_ERR_PARAM, nothing},
};

const FailureCase kFigureCases[] = {
    {"LineOfNoLength", nothing, [](KVG_File *fl) { return KVG_line(fl, 5, 5, 5, 5); }, -2, 0,
     nothing},
    {"BoxOfNoHeight", nothing, [](KVG_File *fl) { return KVG_box(fl, 5, 5, 10, 0); }, -2, 0,
     nothing},
    {"EllipseOfNegativeWidth", nothing,
     [](KVG_File *fl) { return KVG_ellipse(fl, 0, 0, -20, 10); }, -1, KVG_ERR_PARAM, nothing},
    {"CircleOfUndefinedRadius", nothing,
     [](KVG_File *fl) { return KVG_circle(fl, 0, 0, NAN); }, -1, KVG_ERR_PARAM, nothing},
};

void openShape(KVG_File *fl) {
    uint32_t id;
    ok(KVG_beginSetShape(fl, 20, 20, &id));
    ok(KVG_box(fl, 1, 1, 5, 5));
}
void finishShape(KVG_File *fl) {
    ok(KVG_line(fl, 0, 0, 5, 5));
    ok(KVG_endSetShape(fl));
}

const FailureCase kShapeCases[] = {
    {"ShapeInsideAShape", openShape,
     [](KVG_File *fl) {
         uint32_t id;
         return KVG_beginSetShape(fl, 5, 5, &id);
     },
     -1, KVG_ERR_LIMITS, finishShape},
    {"LayerInsideAShape", openShape, [](KVG_File *fl) { return KVG_beginLayer(fl, "l", 1, 1); },
     -1, KVG_ERR_CONTEXT, finishShape},
    {"ShapeUsedInsideAShape", openShape,
     [](KVG_File *fl) { return KVG_shape(fl, 0, 0, 0, 0, 10, 10); }, -1, KVG_ERR_LIMITS,
     finishShape},
    {"ImageDefinedInsideAShape", openShape,
     [](KVG_File *fl) {
         const KVG_Color pixel = 0;
         uint32_t id;
         return KVG_setImage(fl, 1, 1, &pixel, &id);
     },
     -1, KVG_ERR_CONTEXT, finishShape},
    {"EdgeBegunInsideAShape", openShape,
     [](KVG_File *fl) {
         int32_t id;
         return KVG_beginSetEdge(fl, &id, 0, 0);
     },
     -1, KVG_ERR_CONTEXT, finishShape},
    {"ShapeEndedOutsideAShape", nothing, KVG_endSetShape, -1, KVG_ERR_LIMITS, nothing},
    {"ShapeOfNoSize", nothing,
     [](KVG_File *fl) {
         uint32_t id;
         return KVG_beginSetShape(fl, 0, 0, &id);
     },
     -1, KVG_ERR_PARAM, nothing},
    {"StampOfAnUndefinedShape", nothing, [](KVG_File *fl) { return KVG_stampShape(fl, 9, 0, 0); },
     -1, KVG_ERR_LIMITS, nothing},
    {"ShapeDrawnAtNoSize", nothing,
     [](KVG_File *fl) { return KVG_shape(fl, 0, 0, 0, 0, 0, 10); }, -2, 0, nothing},
    {"ShapeDrawnWithAnUndefinedRotation", nothing,
     [](KVG_File *fl) { return KVG_shape(fl, 0, 0, 0, NAN, 10, 10); }, -1, KVG_ERR_PARAM,
     nothing},
};

void indexColors(KVG_File *fl) { ok(KVG_setColorSize(fl, KVG_COLOR_INDEX8)); }
void grayColors(KVG_File *fl) { ok(KVG_setColorSize(fl, KVG_COLOR_GRAY8)); }
void rgbColors(KVG_File *fl) { ok(KVG_setColorSize(fl, KVG_COLOR_RGB)); }

const FailureCase kImageCases[] = {
    {"ImageWithAColourBeyondRgb", nothing,
     [](KVG_File *fl) {
         const KVG_Color pixels[] = {0xFFFFFF, 0x1000000};
         uint32_t id;
         return KVG_setImage(fl, 2, 1, pixels, &id);
     },
     -1, KVG_ERR_LIMITS, nothing},
    {"ImageWithAnIndexBeyondThePalette", indexColors,
     [](KVG_File *fl) {
         const KVG_Color pixels[] = {0, 1, 5};
         uint32_t id;
         return KVG_setImage(fl, 3, 1, pixels, &id);
     },
     -1, KVG_ERR_LIMITS, rgbColors},
    {"DrawOfAnUndefinedImage", nothing,
     [](KVG_File *fl) { return KVG_image(fl, 7, 0, 0, 10, 10); }, -1, KVG_ERR_PARAM, nothing},
    {"ImageIntoNoRectangle", nothing,
     [](KVG_File *fl) { return KVG_image(fl, 0, 0, 0, 0.001, 10); }, -2, 0, nothing},
    {"SubImageOfNoPixels", nothing,
     [](KVG_File *fl) { return KVG_subImage(fl, 0, 0, 0, 0, 1, 0, 0, 10, 10); }, -1,
     KVG_ERR_PARAM, nothing},
    {"ImageAtAnUndefinedPosition", nothing,
     [](KVG_File *fl) { return KVG_image(fl, 0, NAN, 0, 10, 10); }, -1, KVG_ERR_PARAM, nothing},
};

void openEdge(KVG_File *fl) {
    int32_t id;
    ok(KVG_beginSetEdge(fl, &id, 0, 0));
    ok(KVG_vertexSetEdge(fl, 10, 0));
}
void finishEdge(KVG_File *fl) {
    ok(KVG_vertexSetEdge(fl, 10, 10));
    ok(KVG_endSetEdge(fl));
}
void openFace(KVG_File *fl) {
    uint32_t id;
    ok(KVG_beginSetFace(fl, &id));
    ok(KVG_edgeSetFace(fl, 1, 0));
}
void finishFace(KVG_File *fl) {
    ok(KVG_edgeSetFace(fl, 1, 1));
    ok(KVG_endSetFace(fl));
}

const FailureCase kMapCases[] = {
    {"EdgeInsideAnEdge", openEdge,
     [](KVG_File *fl) {
         int32_t id;
         return KVG_beginSetEdge(fl, &id, 5, 5);
     },
     -1, KVG_ERR_CONTEXT, finishEdge},
    {"RepeatedEdgeVertex", openEdge, [](KVG_File *fl) { return KVG_vertexSetEdge(fl, 10, 0); }, -2,
     0, finishEdge},
    {"EdgeVertexOutsideAnEdge", nothing, [](KVG_File *fl) { return KVG_vertexSetEdge(fl, 1, 1); },
     -1, KVG_ERR_CONTEXT, nothing},
    {"EdgeEndedInsideAShape",
     [](KVG_File *fl) {
         openEdge(fl);
         uint32_t id;
         ok(KVG_beginSetShape(fl, 10, 10, &id));
     },
     KVG_endSetEdge, -1, KVG_ERR_CONTEXT,
     [](KVG_File *fl) {
         ok(KVG_endSetShape(fl));
         finishEdge(fl);
     }},
    {"FaceWithAnUndefinedEdge", openFace, [](KVG_File *fl) { return KVG_edgeSetFace(fl, 99, 0); },
     -1, KVG_ERR_PARAM, finishFace},
    {"FaceWithItselfAsAHole", openFace, [](KVG_File *fl) { return KVG_holeSetFace(fl, 0); }, -1,
     KVG_ERR_PARAM, finishFace},
    {"FaceInsideAFace", openFace,
     [](KVG_File *fl) {
         uint32_t id;
         return KVG_beginSetFace(fl, &id);
     },
     -1, KVG_ERR_CONTEXT, finishFace},
    {"DrawOfAnUndefinedEdge", nothing, [](KVG_File *fl) { return KVG_edge(fl, 99); }, -1,
     KVG_ERR_PARAM, nothing},
    {"RangeToAnUndefinedEdge", nothing, [](KVG_File *fl) { return KVG_edgeRange(fl, 1, 99); }, -1,
     KVG_ERR_PARAM, nothing},
    {"FillOfAnUndefinedFace", nothing, [](KVG_File *fl) { return KVG_face(fl, 99); }, -1,
     KVG_ERR_PARAM, nothing},
};

const FailureCase kAttributeCases[] = {
    {"LineColourBeyondGray8", grayColors,
     [](KVG_File *fl) { return KVG_setLineColor(fl, 0x100); }, -1, KVG_ERR_LIMITS, rgbColors},
    {"FillIndexBeyondThePalette", indexColors,
     [](KVG_File *fl) { return KVG_setFillColor(fl, 7); }, -1, KVG_ERR_LIMITS, rgbColors},
    {"PaletteIndexBeyondThePalette", indexColors,
     [](KVG_File *fl) {
         const KVG_Color entries[] = {0, 9};
         return KVG_setPalette(fl, 2, entries);
     },
     -1, KVG_ERR_LIMITS, rgbColors},
    {"GradientColourBeyondGray8", grayColors,
     [](KVG_File *fl) { return KVG_setGradientFill(fl, 0, 0, 0x100, 1, 1, 0); }, -1,
     KVG_ERR_LIMITS, rgbColors},
    {"FontTooBig", nothing, [](KVG_File *fl) { return KVG_setFont(fl, 0, 0, 4000000000u); }, -1,
     KVG_ERR_PARAM, nothing},
    {"TextureOfAnUndefinedImage", nothing,
     [](KVG_File *fl) { return KVG_setTextureFill(fl, 0, 0, 5); }, -1, KVG_ERR_PARAM, nothing},
    {"StretchedTextureOfNoWidth", nothing,
     [](KVG_File *fl) { return KVG_setStretchedTextureFill(fl, 0, 0, 0, 10, 0); }, -1,
     KVG_ERR_PARAM, nothing},
    {"TextDirectionUndefined", nothing,
     [](KVG_File *fl) { return KVG_setTextAlignment(fl, KVG_TEXT_CENTER, NAN); }, -1,
     KVG_ERR_PARAM, nothing},
};

std::string caseName(const testing::TestParamInfo<FailureCase> &info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Primitives, RobustFailure, testing::ValuesIn(kPrimitiveCases), caseName);
INSTANTIATE_TEST_SUITE_P(Figures, RobustFailure, testing::ValuesIn(kFigureCases), caseName);
INSTANTIATE_TEST_SUITE_P(Shapes, RobustFailure, testing::ValuesIn(kShapeCases), caseName);
INSTANTIATE_TEST_SUITE_P(Images, RobustFailure, testing::ValuesIn(kImageCases), caseName);
INSTANTIATE_TEST_SUITE_P(Map, RobustFailure, testing::ValuesIn(kMapCases), caseName);
INSTANTIATE_TEST_SUITE_P(Attributes, RobustFailure, testing::ValuesIn(kAttributeCases), caseName);

}  // namespace
