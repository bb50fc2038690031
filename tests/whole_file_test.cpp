// One file that uses every family of the drawing interface, checked byte for byte. Each step
// lists the bytes it adds to the definitions section and to the layer section; bits a step
// leaves pending are shown as the padded byte that the next aligned write completes.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "unit_writer.h"

namespace kvgtest {
namespace {

struct Step {
    const char *what;
    std::function<void(KVG_File *)> call;
    const char *definitions;
    const char *layers;
};

void ok(int result) { ASSERT_EQ(result, 0); }

void defineEdge(KVG_File *fl, double x, double y, std::initializer_list<double> vertices) {
    int32_t id = 0;
    ok(KVG_beginSetEdge(fl, &id, x, y));
    for (auto v = vertices.begin(); v != vertices.end(); v += 2) {
        ok(KVG_vertexSetEdge(fl, v[0], v[1]));
    }
    ok(KVG_endSetEdge(fl));
}

void defineImage(KVG_File *fl, uint16_t w, std::initializer_list<KVG_Color> pixels) {
    uint32_t id = 0;
    ok(KVG_setImage(fl, w, 1, pixels.begin(), &id));
}

// Sizes in force: the definitions stream and the layer stream start at point size 32, relative
// point size 32 and RGB; a layer start returns the layer stream to them.
const Step kSteps[] = {
    {"extension", [](KVG_File *fl) { ok(KVG_extension(fl, "a", "bc")); }, "",
     "00 01 61 02 62 63"},
    {"RGB image 0", [](KVG_File *fl) { defineImage(fl, 2, {0x112233, 0x445566}); },
     "6D 00 02 00 01 11 22 33 44 55 66", ""},
    // One 3-bit segment each: (1, 0), (0, 1), then (-1, -1).
    {"edge 1", [](KVG_File *fl) { defineEdge(fl, 0, 0, {1, 0, 1, 1}); },
     "50 3B 00 00 01 03 02 08", ""},
    {"edge 2", [](KVG_File *fl) { defineEdge(fl, 1, 1, {0, 0}); }, "3B 01 01 01 03 01 A0", ""},
    {"face 0",
     [](KVG_File *fl) {
         uint32_t id = 0;
         ok(KVG_beginSetFace(fl, &id));
         ok(KVG_edgeSetFace(fl, 1, 0));
         ok(KVG_edgeSetFace(fl, 2, 0));
         ok(KVG_endSetFace(fl));
     },
     "3C 02 01 02 00", ""},
    {"face 1 with a reversed edge and face 0 as hole",
     [](KVG_File *fl) {
         uint32_t id = 0;
         ok(KVG_beginSetFace(fl, &id));
         ok(KVG_edgeSetFace(fl, 1, 1));
         ok(KVG_holeSetFace(fl, 0));
         ok(KVG_endSetFace(fl));
     },
     "3C 01 7F 01 00", ""},
    {"shape 0: a red box",
     [](KVG_File *fl) {
         uint32_t id = 0;
         ok(KVG_beginSetShape(fl, 10, 20, &id));
         ok(KVG_setLineColor(fl, 0xFF0000));
         ok(KVG_box(fl, 0, 0, 10, 20));
         ok(KVG_endSetShape(fl));
     },
     "6F 0A 14 5F FF 00 00 58 32 00 00 0A 14 70", ""},
    {"layer and object",
     [](KVG_File *fl) {
         ok(KVG_beginLayer(fl, "L", KVG_TRUE, KVG_FALSE));
         ok(KVG_beginObject(fl, "O"));
     },
     "", "01 80 01 4C 02 01 4F"},
    {"line and mark attributes",
     [](KVG_File *fl) {
         ok(KVG_setBlendMode(fl, KVG_BLEND_SOURCE));
         ok(KVG_setLineColor(fl, 0x0000FF));
         ok(KVG_setLineDashes(fl, 0xF0F0));
         ok(KVG_setLineStyle(fl, KVG_JOINT_MITER, KVG_OPEN_ARROW, KVG_STEALTH_ARROW, 4));
         ok(KVG_setMarkColor(fl, 0x00FF00));
         ok(KVG_setMarkStyle(fl, KVG_MARK_STAR, 300));
     },
     "", "5E 01 5F 00 00 FF 60 F0 F0 61 01 02 03 04 62 00 FF 00 63 01 81 2C"},
    {"fills",
     [](KVG_File *fl) {
         ok(KVG_setFillColor(fl, KVG_encodeRGBColor(0x12, 0x34, 0x56)));
         ok(KVG_setGradientFill(fl, -10, -10, 0xFF0000, 10, 10, 0x0000FF));
         ok(KVG_setTextureFill(fl, 5, 5, 0));
         ok(KVG_setStretchedTextureFill(fl, 5, 5, 20, 10, 0));
         ok(KVG_setImageStretchMode(fl, KVG_STRETCH_BILINEAR));
     },
     "", "64 12 34 56 50 65 F6 F6 FF 00 00 0A 0A 00 00 FF 66 05 05 00 58 67 05 05 14 0A 00 68 01"},
    {"text attributes and palette",
     [](KVG_File *fl) {
         const KVG_Color black_white[] = {0x000000, 0xFFFFFF};
         ok(KVG_setTextColor(fl, 0x654321));
         ok(KVG_setFont(fl, KVG_FONT_SERIF, KVG_FONT_BOLD, 10));
         ok(KVG_setTextAlignment(fl, KVG_TEXT_CENTER, 90));
         ok(KVG_setPalette(fl, 2, black_white));
     },
     "", "69 65 43 21 6A 02 01 0A 6B 08 00 7F 6C 01 00 00 00 FF FF FF"},
    {"mark, line, outlined figures",
     [](KVG_File *fl) {
         ok(KVG_mark(fl, 1, 2));
         ok(KVG_line(fl, 0, 0, 1, 1));
         ok(KVG_box(fl, 0, 0, 10, 20));
         ok(KVG_circle(fl, 0, 0, 5));
         ok(KVG_ellipse(fl, 0, 0, 20, 10));
     },
     "", "30 01 02 55 31 00 00 20 58 32 00 00 0A 14 33 00 00 05 34 00 00 0A 05"},
    {"filled figures",
     [](KVG_File *fl) {
         KVG_setFill(fl, 1);
         ok(KVG_box(fl, 0, 0, 10, 20));
         ok(KVG_circle(fl, 0, 0, 5));
         ok(KVG_ellipse(fl, 0, 0, 20, 10));
         KVG_setFill(fl, 0);
     },
     "", "35 00 00 0A 14 36 00 00 05 37 00 00 0A 05"},
    {"polyline, polygon and cubic curve",
     [](KVG_File *fl) {
         ok(KVG_begin(fl, KVG_BEGIN_POLYLINE, 0, 0));
         ok(KVG_vertex(fl, 2, 0));
         ok(KVG_vertex(fl, 2, 2));
         ok(KVG_end(fl));
         ok(KVG_begin(fl, KVG_BEGIN_POLYGON, 0, 0));
         ok(KVG_vertex(fl, 3, 0));
         ok(KVG_vertex(fl, 3, 3));
         ok(KVG_end(fl));
         ok(KVG_begin(fl, KVG_BEGIN_CUBIC, 0, 0));
         ok(KVG_cubic(fl, 1, 0, 2, 0, 3, 0));
         ok(KVG_end(fl));
     },
     "", "56 10 00 00 02 40 20 11 00 00 02 60 30 55 12 01 00 00 00 00"},
    {"arc and text",
     [](KVG_File *fl) {
         ok(KVG_arc(fl, 0, 0, 20, 10, 0, 90));
         ok(KVG_text(fl, 1, 1, "hi"));
     },
     "", "58 13 00 00 0A 05 7F 00 00 7F 17 01 01 02 68 69"},
    {"shape uses: stamp, repeat, shape",
     [](KVG_File *fl) {
         ok(KVG_stampShape(fl, 0, 2, 2));
         ok(KVG_stampShape(fl, 0, 3, 3));
         ok(KVG_shape(fl, 0, 0, 0, 0, 20, 40));
     },
     "", "38 00 02 02 39 03 03 18 00 00 00 7F 00 0A 14"},
    {"image uses",
     [](KVG_File *fl) {
         ok(KVG_image(fl, 0, 10, 20, 30, 40));
         ok(KVG_subImage(fl, 0, 0, 0, 2, 1, 10, 20, 30, 40));
     },
     "", "3A 00 0A 14 1E 28 19 00 00 00 02 01 0A 14 1E 28"},
    {"edge and face uses, end of object",
     [](KVG_File *fl) {
         ok(KVG_edge(fl, 1));
         ok(KVG_edgeRange(fl, 1, 2));
         ok(KVG_face(fl, 1));
         ok(KVG_endObject(fl));
     },
     "", "3D 01 3E 01 02 3F 01 02 00"},
    // The layer's black-and-white palette goes to the definitions before the image's bits.
    {"INDEX1 image 1 and its use",
     [](KVG_File *fl) {
         ok(KVG_setColorSize(fl, KVG_COLOR_INDEX1));
         defineImage(fl, 4, {1, 0, 0, 1});
         ok(KVG_image(fl, 1, 0, 0, 4, 1));
     },
     "6C 01 00 00 00 FF FF FF 5D 00 6D 00 04 00 01 90", "5D 00 57 3A 01 00 00 41"},
    {"a second layer forgets sizes and the last shape",
     [](KVG_File *fl) {
         ok(KVG_beginLayer(fl, "M", KVG_FALSE, KVG_TRUE));
         ok(KVG_stampShape(fl, 0, 2, 2));
     },
     "", "01 40 01 4D 50 38 00 02 02"},
};

TEST(WholeFile, EveryFamilyWritesExactlyItsRecords) {
    UnitWriter writer;
    std::string definitions, layers;
    for (const Step &step : kSteps) {
        SCOPED_TRACE(step.what);
        step.call(writer.get());
        definitions += std::string(" ") + step.definitions;
        layers += std::string(" ") + step.layers;
    }
    EXPECT_EQ(writer.code(), KVG_ERR_NONE);
    EXPECT_EQ(KVG_getErrorDescription(writer.get()), nullptr);
    EXPECT_EQ(hex(writer.close()), hex(unitFile(definitions, layers)));
}

}  // namespace
}  // namespace kvgtest
