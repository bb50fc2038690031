// The reader: decoding of files written through the drawing interface and of byte strings made
// by hand, strict validation, robustness against damaged input, and the kvg command's info,
// dump and check.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <sstream>

#include "decoder.h"
#include "kvgreader.hpp"
#include "tool_support.h"
#include "unit_writer.h"

namespace kvgtest {
namespace {

using kvgr::impl::Point;

void ok(int result) { ASSERT_EQ(result, 0); }

struct Decoded {
    std::vector<kvgr::impl::Record> records;
    kvgr::impl::StreamState finalState;
    kvgr::impl::Definitions definitions;
    std::optional<kvgr::impl::Error> error;
};

Decoded decodeAll(const Bytes &bytes) {
    Decoded d;
    kvgr::impl::Decoder decoder(bytes);
    kvgr::impl::Record record;
    while (decoder.next(record)) d.records.push_back(record);
    d.finalState = decoder.state();
    d.definitions = decoder.definitions();
    d.error = decoder.error();
    return d;
}

const kvgr::impl::Record &firstOf(const Decoded &d, uint8_t code) {
    const auto found = std::ranges::find(d.records, code, &kvgr::impl::Record::code);
    if (found == d.records.end()) throw std::runtime_error("no record " + std::to_string(code));
    return *found;
}

std::vector<Point> drawPolyline(KVG_File *fl, std::initializer_list<Point> points) {
    ok(KVG_begin(fl, KVG_BEGIN_POLYLINE, points.begin()->x, points.begin()->y));
    for (auto p = points.begin() + 1; p != points.end(); ++p) ok(KVG_vertex(fl, p->x, p->y));
    ok(KVG_end(fl));
    return points;
}

// ---- Decoding what the writer wrote ----

TEST(ReaderDecode, PolylinesRoundTripThroughEverySize) {
    UnitWriter writer;
    KVG_File *fl = writer.get();
    ok(KVG_beginLayer(fl, "lines", 1, 1));
    const std::vector<std::vector<Point>> drawn = {
        // 3-bit steps, five of them: the record ends inside its last byte.
        drawPolyline(fl, {{0, 0}, {1, 0}, {2, 1}, {2, 2}, {1, 1}, {0, 1}}),
        drawPolyline(fl, {{5, 5}, {8, 1}, {4, 4}}),                // 6-bit, ends mid-byte
        drawPolyline(fl, {{-100, 7}, {-93, 0}, {-99, 7}}),         // 8-bit
        drawPolyline(fl, {{1000, -1000}, {1100, -1100}}),          // 16-bit
        drawPolyline(fl, {{-2000, 2000}, {0, 0}, {2000, -2000}}),  // 24-bit
        drawPolyline(fl, {{-2048, -2048}, {2047, 2047}}),          // 32-bit
        drawPolyline(fl, {{0.5, 0.25}, {1.5, -0.75}}),             // grid-rounded
        drawPolyline(fl, {{3, 3}, {4, 4}}),                        // back down to 3 bits
    };
    const Decoded d = decodeAll(writer.close());
    ASSERT_FALSE(d.error) << d.error->message();
    std::vector<std::vector<Point>> decoded;
    std::vector<uint8_t> relSizes;
    uint8_t relSize = 0;
    for (const kvgr::impl::Record &r : d.records) {
        if (r.code >= kvgfmt::REL_POINT_SIZE_FIRST && r.code <= kvgfmt::REL_POINT_SIZE_LAST) {
            relSize = std::get<kvgr::impl::SizeChange>(r.payload).size;
        }
        if (const auto *f = std::get_if<kvgr::impl::Figure>(&r.payload)) {
            decoded.push_back(kvgr::impl::chainPoints(f->start, f->steps));
            relSizes.push_back(relSize);
        }
    }
    std::vector<std::vector<Point>> expected = drawn;
    expected[6] = {{1, 0}, {2, -1}};  // halves round up on the grid
    EXPECT_EQ(decoded, expected);
    EXPECT_EQ(relSizes, (std::vector<uint8_t>{3, 6, 8, 16, 24, 32, 3, 3}));
}

// Uses every record of the format once at least, outlined and filled.
void drawEverything(KVG_File *fl) {
    int32_t e1 = 0, e2 = 0;
    ok(KVG_beginSetEdge(fl, &e1, 0, 0));
    ok(KVG_vertexSetEdge(fl, 10, 0));
    ok(KVG_vertexSetEdge(fl, 10, 300));
    ok(KVG_endSetEdge(fl));
    ok(KVG_beginSetEdge(fl, &e2, 10, 300));
    ok(KVG_vertexSetEdge(fl, 0, 0));
    ok(KVG_endSetEdge(fl));
    uint32_t outer = 0, inner = 0;
    ok(KVG_beginSetFace(fl, &outer));
    ok(KVG_edgeSetFace(fl, e1, 0));
    ok(KVG_edgeSetFace(fl, e2, 0));
    ok(KVG_endSetFace(fl));
    ok(KVG_beginSetFace(fl, &inner));
    ok(KVG_edgeSetFace(fl, e2, 1));
    ok(KVG_edgeSetFace(fl, e1, 1));
    ok(KVG_holeSetFace(fl, outer));
    ok(KVG_endSetFace(fl));
    uint32_t shape = 0, image = 0;
    ok(KVG_beginSetShape(fl, 10, 10, &shape));
    ok(KVG_setLineColor(fl, 0x00FF00));
    ok(KVG_line(fl, -5, -5, 5, 5));
    ok(KVG_endSetShape(fl));
    const KVG_Color palette[] = {0xFF0000, 0x0000FF, 0x00FF00};
    ok(KVG_setPalette(fl, 3, palette));
    ok(KVG_setColorSize(fl, KVG_COLOR_INDEX8));
    const KVG_Color pixels[] = {0, 1, 2, 1, 0, 2};
    ok(KVG_setImage(fl, 3, 2, pixels, &image));

    ok(KVG_beginLayer(fl, "everything", 1, 0));
    ok(KVG_extension(fl, "key", "value"));
    ok(KVG_beginObject(fl, "object"));
    ok(KVG_setBlendMode(fl, KVG_BLEND_SOURCE));
    ok(KVG_setLineColor(fl, 0x112233));
    ok(KVG_setLineDashes(fl, 0xF0F0));
    ok(KVG_setLineStyle(fl, KVG_JOINT_ROUND, KVG_ARROW, KVG_OVAL_ARROW, 3));
    ok(KVG_setMarkColor(fl, 0x445566));
    ok(KVG_setMarkStyle(fl, KVG_MARK_STAR, 7));
    ok(KVG_setTextColor(fl, 0x778899));
    ok(KVG_setFont(fl, KVG_FONT_SERIF, KVG_FONT_BOLD, 12));
    ok(KVG_setTextAlignment(fl, KVG_TEXT_CENTER, 90));
    ok(KVG_setImageStretchMode(fl, KVG_STRETCH_BILINEAR));
    ok(KVG_setGradientFill(fl, 0, 0, 0xFF0000, 100, 100, 0x0000FF));
    ok(KVG_setTextureFill(fl, 5, 5, image));
    ok(KVG_setStretchedTextureFill(fl, 5, 5, 20, 10, image));
    for (int filled = 0; filled <= 1; ++filled) {
        KVG_setFill(fl, filled);
        ok(KVG_setFillColor(fl, 0xABCDEF));
        drawPolyline(fl, {{0, 0}, {1, 1}});
        ok(KVG_begin(fl, KVG_BEGIN_POLYGON, 0, 0));
        ok(KVG_vertex(fl, 10, 0));
        ok(KVG_vertex(fl, 10, 10));
        ok(KVG_end(fl));
        ok(KVG_begin(fl, KVG_BEGIN_CUBIC, 0, 0));
        ok(KVG_cubic(fl, 1, 2, 3, 4, 5, 6));
        ok(KVG_end(fl));
        ok(KVG_arc(fl, 0, 0, 40, 20, 0, 90));
        ok(KVG_box(fl, 1, 2, 30, 40));
        ok(KVG_circle(fl, 0, 0, 200));
        ok(KVG_ellipse(fl, 0, 0, 30, 10));
    }
    ok(KVG_text(fl, 1, 2, "hello"));
    ok(KVG_mark(fl, 3, 4));
    ok(KVG_line(fl, 0, 0, 7, -7));
    ok(KVG_line(fl, 0, 0, 1000, 0));
    ok(KVG_shape(fl, shape, 50, 50, 45, 20, 20));
    ok(KVG_stampShape(fl, shape, 60, 60));  // the shape drawn last: a repeat
    ok(KVG_image(fl, image, 0, 0, 30, 20));
    ok(KVG_subImage(fl, image, 1, 0, 2, 1, 0, 0, 20, 10));
    ok(KVG_edge(fl, e1));
    ok(KVG_edgeRange(fl, 1, 2));
    ok(KVG_face(fl, inner));
    ok(KVG_endObject(fl));
    ok(KVG_beginLayer(fl, "second", 0, 1));
    ok(KVG_stampShape(fl, shape, 1, 1));  // a new layer forgets the last shape
}

Bytes everythingFile(bool compressed = false) {
    auto options = unitOptions();
    KVG_setCompressionFileOption(options.get(), compressed ? 1 : 0);
    WriterFixture writer(options.get());
    drawEverything(writer.get());
    return writer.close();
}

TEST(ReaderDecode, EveryRecordKindOfTheWriter) {
    const Decoded d = decodeAll(everythingFile());
    ASSERT_FALSE(d.error) << d.error->message();
    std::set<uint8_t> seen;
    for (const kvgr::impl::Record &r : d.records) seen.insert(r.code);
    std::set<uint8_t> missing;
    for (int code = 0; code < 256; ++code) {
        if (kvgr::impl::recordName(static_cast<uint8_t>(code)) != nullptr && !seen.contains(code)) {
            missing.insert(static_cast<uint8_t>(code));
        }
    }
    // Point sizes 64 and 128 and relative sizes 64 and 128 need coordinates off the grid.
    EXPECT_EQ(missing, (std::set<uint8_t>{83, 84, 91, 92}));
}

TEST(ReaderDecode, DefinitionsAreNumberedAndKept) {
    const Decoded d = decodeAll(everythingFile());
    ASSERT_FALSE(d.error) << d.error->message();
    std::vector<std::pair<uint8_t, uint32_t>> ids;
    for (const kvgr::impl::Record &r : d.records) {
        if (r.definition) ids.emplace_back(r.code, *r.definition);
    }
    EXPECT_EQ(ids, (std::vector<std::pair<uint8_t, uint32_t>>{{kvgfmt::SET_EDGE, 1},
                                                              {kvgfmt::SET_EDGE, 2},
                                                              {kvgfmt::SET_FACE, 0},
                                                              {kvgfmt::SET_FACE, 1},
                                                              {kvgfmt::BEGIN_SET_SHAPE, 0},
                                                              {kvgfmt::SET_IMAGE, 0}}));
    ASSERT_NE(d.definitions.edge(-1), nullptr);
    EXPECT_EQ(kvgr::impl::chainPoints(d.definitions.edge(-1)->start, d.definitions.edge(-1)->steps),
              (std::vector<Point>{{0, 0}, {10, 0}, {10, 300}}));
    EXPECT_EQ(d.definitions.edge(3), nullptr);
    EXPECT_EQ(d.definitions.faces[1].edges, (std::vector<int32_t>{-2, -1}));
    EXPECT_EQ(d.definitions.faces[1].holes, (std::vector<uint32_t>{0}));
    const kvgr::impl::ImageDefinition &image = d.definitions.images.at(0);
    EXPECT_EQ(image.colorSize, kvgfmt::COLOR_INDEX8);
    std::vector<uint32_t> pixels(6);
    image.row(0, pixels.data());
    image.row(1, pixels.data() + 3);
    EXPECT_EQ(pixels, (std::vector<uint32_t>{0, 1, 2, 1, 0, 2}));
    EXPECT_EQ(image.palette,
              (std::vector<kvgr::impl::Color>{{0xFF0000, 6}, {0x0000FF, 6}, {0x00FF00, 6}}));
    // The shape's own records carry its identifier.
    const kvgr::impl::Record &shapeLine = firstOf(d, kvgfmt::LINE);
    EXPECT_EQ(shapeLine.shape, 0u);
    EXPECT_EQ(shapeLine.section, kvgr::impl::Section::Definitions);
}

TEST(ReaderDecode, ArgumentsOfDrawingRecords) {
    const Decoded d = decodeAll(everythingFile());
    ASSERT_FALSE(d.error) << d.error->message();
    EXPECT_EQ(std::get<kvgr::impl::Text>(firstOf(d, kvgfmt::TEXT).payload).text, "hello");
    EXPECT_EQ(std::get<kvgr::impl::Circle>(firstOf(d, kvgfmt::DRAW_CIRCLE).payload).radius, 200u);
    const auto &arc = std::get<kvgr::impl::Arc>(firstOf(d, kvgfmt::FILL_ARC).payload);
    EXPECT_EQ(arc.halfSize, (Point{20, 10}));
    EXPECT_DOUBLE_EQ(arc.start.degrees, 0.0);
    EXPECT_NEAR(arc.end.degrees, 90.0, 0.01);
    const auto &cubic = std::get<kvgr::impl::Cubic>(firstOf(d, kvgfmt::FILL_CUBIC_BEZIER).payload);
    EXPECT_EQ(cubic.steps.size(), 2u);  // the closing end point is not written
    const auto &shape = std::get<kvgr::impl::ShapeInstance>(firstOf(d, kvgfmt::SHAPE).payload);
    EXPECT_EQ(shape.halfSize, (Point{10, 10}));
    EXPECT_NEAR(shape.rotation.degrees, 45.0, 0.05);
    EXPECT_EQ(std::get<kvgr::impl::Stamp>(firstOf(d, kvgfmt::REPEAT_SHAPE).payload).shape, 0u);
    const auto &part = std::get<kvgr::impl::ImagePart>(firstOf(d, kvgfmt::IMAGE).payload);
    EXPECT_EQ(part.sourceMin, (Point{1, 0}));
    EXPECT_EQ(part.sourceMax, (Point{3, 1}));
    const auto &range = std::get<kvgr::impl::EdgeRangeUse>(firstOf(d, kvgfmt::DRAW_EDGE_RANGE).payload);
    EXPECT_EQ(range.first, 1);
    EXPECT_EQ(range.last, 2);
    // The second layer's stamp is a full stamp again, and the last record of the file.
    EXPECT_EQ(d.records.back().code, kvgfmt::STAMP_SHAPE);
}

TEST(ReaderDecode, GraphicStateFollowsRecordsAndLayers) {
    UnitWriter writer;
    KVG_File *fl = writer.get();
    const KVG_Color palette[] = {0x102030, 0x405060};
    ok(KVG_beginLayer(fl, "a", 1, 1));
    ok(KVG_setPalette(fl, 2, palette));
    ok(KVG_setColorSize(fl, KVG_COLOR_INDEX8));
    ok(KVG_setLineColor(fl, 1));
    ok(KVG_setMarkStyle(fl, KVG_MARK_BOX, 9));
    ok(KVG_setLineDashes(fl, 0x0F0F));
    const Bytes first = writer.close();
    Decoded d = decodeAll(first);
    ASSERT_FALSE(d.error) << d.error->message();
    // An index colour reads as the palette entry it names, in the palette's colour size.
    EXPECT_EQ(d.finalState.graphic.line.color, (kvgr::impl::Color{0x405060, kvgfmt::COLOR_RGB}));
    EXPECT_EQ(d.finalState.graphic.line.dashes, 0x0F0Fu);
    EXPECT_EQ(d.finalState.sizes.color, kvgfmt::COLOR_INDEX8);

    UnitWriter second;
    fl = second.get();
    ok(KVG_beginLayer(fl, "a", 1, 1));
    ok(KVG_setLineDashes(fl, 0x0F0F));
    ok(KVG_setMarkStyle(fl, KVG_MARK_BOX, 9));
    ok(KVG_setColorSize(fl, KVG_COLOR_GRAY8));
    ok(KVG_beginLayer(fl, "b", 1, 1));
    d = decodeAll(second.close());
    ASSERT_FALSE(d.error) << d.error->message();
    EXPECT_EQ(d.finalState.graphic.line.dashes, kvgfmt::DEFAULT_DASHES);
    EXPECT_EQ(d.finalState.graphic.mark.type, KVG_MARK_BOX);  // marks survive a layer start
    EXPECT_EQ(d.finalState.sizes, (kvgr::impl::Sizes{32, 32, kvgfmt::COLOR_RGB}));
}

TEST(ReaderDecode, CompressedFileAndWorldCoordinates) {
    const Bytes compressed = everythingFile(true);
    TempPath path;
    {
        std::FILE *out = std::fopen(path.c_str(), "wb");
        std::fwrite(compressed.data(), 1, compressed.size(), out);
        std::fclose(out);
    }
    std::string error;
    const std::optional<kvgr::impl::LoadedFile> file = kvgr::impl::loadFile(path.str(), error);
    ASSERT_TRUE(file) << error;
    EXPECT_TRUE(file->compressed);
    EXPECT_EQ(file->bytes, everythingFile(false));
    const kvgr::impl::Decoder decoder(file->bytes);
    // The default 4096-unit window on a 100 mm drawing.
    EXPECT_EQ(decoder.header().toWorld({-2048, -2048}), (Point{0, 0}));
    EXPECT_EQ(decoder.header().toWorld({2048, 0}), (Point{100, 50}));
    EXPECT_EQ(decoder.header().toWorldExtent({4096, 2048}), (Point{100, 50}));

    const Bytes truncated(compressed.begin(), compressed.end() - 12);
    std::FILE *out = std::fopen(path.c_str(), "wb");
    std::fwrite(truncated.data(), 1, truncated.size(), out);
    std::fclose(out);
    EXPECT_FALSE(kvgr::impl::loadFile(path.str(), error));
    EXPECT_NE(error.find("truncated compressed data"), std::string::npos) << error;
}

// ---- Byte strings made by hand ----

// A layer section after the closing size records of the unit file (point and relative point
// size 32, RGB), decoded from bytes alone.
TEST(ReaderDecode, HandMadeEncodings) {
    // Relative size 3, point size 16; steps (1, 0), (0, 1), (-1, -1): codes 0, 2, 5 in 0A 80.
    Decoded d = decodeAll(unitFile("", "55 50 10 00 00 03 0A 80"));
    ASSERT_FALSE(d.error) << d.error->message();
    auto figure = std::get<kvgr::impl::Figure>(d.records.back().payload);
    EXPECT_EQ(figure.steps, (std::vector<Point>{{1, 0}, {0, 1}, {-1, -1}}));
    // 24-bit point (-1, 2); relative size 6 step (3, -4) as 70; size 8 step (-8, 7) as 87.
    d = decodeAll(unitFile("", "51 56 31 FF F0 02 70 57 31 00 00 10 87"));
    ASSERT_FALSE(d.error) << d.error->message();
    const auto &line = std::get<kvgr::impl::Line>(d.records[d.records.size() - 3].payload);
    EXPECT_EQ(line.start, (Point{-1, 2}));
    EXPECT_EQ(line.step, (Point{3, -4}));
    EXPECT_EQ(std::get<kvgr::impl::Line>(d.records.back().payload).step, (Point{-8, 7}));
    // Point size 64: singles 1.5 and -2.
    d = decodeAll(unitFile("", "53 30 3F C0 00 00 C0 00 00 00"));
    ASSERT_FALSE(d.error) << d.error->message();
    EXPECT_EQ(std::get<kvgr::impl::Mark>(d.records.back().payload).at, (Point{1.5, -2}));
    // Edge 1 from (0, 0) with (1, 0), (0, 1); edges of every signed identifier length.
    d = decodeAll(unitFile("50 3B 00 00 01 03 02 08 3C 02 01 7F 00", "3D 7F 3E 01 7F"));
    ASSERT_FALSE(d.error) << d.error->message();
    EXPECT_EQ(d.definitions.edges.at(0).steps, (std::vector<Point>{{1, 0}, {0, 1}}));
    EXPECT_EQ(d.definitions.faces.at(0).edges, (std::vector<int32_t>{1, -1}));
    // A face may name an edge whose definition record follows it.
    d = decodeAll(unitFile("3C 01 01 00 50 3B 00 00 01 03 01 00", "3F 00"));
    ASSERT_FALSE(d.error) << d.error->message();
    EXPECT_EQ(d.definitions.faces.at(0).edges, (std::vector<int32_t>{1}));
    // GRAY12 pixels ABC and 123 packed into AB C1 23; then a 2-bit INDEX1 pair 1, 0.
    d = decodeAll(unitFile("5D 03 6D 00 02 00 01 AB C1 23 5D 00 6D 00 02 00 01 80", ""));
    ASSERT_FALSE(d.error) << d.error->message();
    const auto &gray = d.definitions.images.at(0);
    const auto &bits = d.definitions.images.at(1);
    EXPECT_EQ(std::vector<uint32_t>({gray.pixel(0), gray.pixel(1)}), (std::vector<uint32_t>{0xABC, 0x123}));
    EXPECT_EQ(std::vector<uint32_t>({bits.pixel(0), bits.pixel(1)}), (std::vector<uint32_t>{1, 0}));
}

struct Malformed {
    const char *name;
    Bytes bytes;
    const char *message;
};

Bytes headerOnly() {
    Bytes bytes = unitFile("", "");
    bytes.resize(bytes.size() - 4);
    return bytes;
}

// The header and closing size records of the unit file are 33 bytes: faults in the layer
// section are at offset 33 and on.
const Malformed kMalformed[] = {
    {"UnknownCode", unitFile("", "03"), "offset 33: unknown record code 3"},
    {"UnusedCode", unitFile("", "6E"), "offset 33: unknown record code 110"},
    {"TruncatedPoint", unitFile("", "30 00 00 01"), "offset 33: mark: truncated"},
    {"TruncatedText", unitFile("", "02 05 61 62"), "offset 33: object: truncated"},
    {"TruncatedStepRun", unitFile("", "55 10 00 00 00 00 04 0A"), "offset 34: polyline: truncated"},
    {"LayerPadding", unitFile("", "01 C1 01 4C"),
     "offset 33: layer: non-zero padding bits in byte 34"},
    {"TrailingStepBits", unitFile("", "55 50 10 00 00 03 0A 81"),
     "offset 35: polyline: non-zero padding bits in byte 40"},
    {"LongSize", unitFile("", "02 80 01 61"),
     "offset 33: object: size or identifier not in its shortest form"},
    {"LongSIdentifier", unitFile("50 3B 00 00 01 03 01 00", "3D 80 01"),
     "offset 41: draw-edge: signed identifier not in its shortest form"},
    {"ColorSize", unitFile("", "5D 08"), "offset 33: color-size: invalid colour size 8"},
    {"IndexBeyondPalette", unitFile("", "5D 01 5F 02"),
     "offset 35: line-color: colour index 2 beyond a palette of 2 colours"},
    {"PaletteIndexBeyondNewLength", unitFile("", "5D 01 6C 00 01"),
     "offset 35: palette: colour index 1 beyond a palette of 1 colours"},
    {"BlendMode", unitFile("", "5E 08"), "offset 33: blend-mode: invalid blend mode 8"},
    {"JointStyle", unitFile("", "61 04 00 00 01"), "offset 33: line-style: invalid joint style 4"},
    {"SegmentSize", unitFile("50 3B 00 00 01 05 01 00", ""),
     "offset 30: set-edge: invalid segment size 5"},
    {"EmptyPolyline", unitFile("", "10 00 00 00 00 00"), "offset 33: polyline: empty point array"},
    {"FlatEllipse", unitFile("", "34 00 00 00 00 00 05 00 00"),
     "offset 33: draw-ellipse: ellipse size not greater than 0"},
    {"EmptyLayerName", unitFile("", "01 80 00"), "offset 33: layer: empty layer name"},
    {"UndefinedEdge", unitFile("", "3D 01"), "offset 33: draw-edge: undefined edge 1"},
    {"EdgeZero", unitFile("50 3B 00 00 01 03 01 00", "3D 00"),
     "offset 41: draw-edge: undefined edge 0"},
    {"UndefinedRangeEnd", unitFile("50 3B 00 00 01 03 01 00", "3E 01 02"),
     "offset 41: draw-edge-range: undefined edge 2"},
    {"FaceOfUndefinedEdge", unitFile("3C 01 02 00", ""), "offset 29: set-face: undefined edge 2"},
    {"HoleNotEarlier", unitFile("3C 00 01 00", ""),
     "offset 29: set-face: hole 0 is not an earlier face"},
    {"UndefinedFace", unitFile("", "3F 00"), "offset 33: fill-face: undefined face 0"},
    {"UndefinedShape", unitFile("", "38 00 00 00 00 00"),
     "offset 33: stamp-shape: undefined shape 0"},
    {"UndefinedImage", unitFile("", "3A 00 00 00 00 00 00 01 00 01"),
     "offset 33: full-image: undefined image 0"},
    {"RepeatWithoutShape", unitFile("", "39 00 00 00 00"),
     "offset 33: repeat-shape: no previous shape to repeat"},
    {"ShapeNotEnded", unitFile("6F 00 01 00 01", ""), "offset 29: shape definition not ended"},
    {"ShapeEndAlone", unitFile("70", ""), "offset 29: end-set-shape: no shape definition to end"},
    {"NestedShape", unitFile("6F 00 01 00 01 6F 00 01 00 01 70 70", ""),
     "offset 34: begin-set-shape: nested shape definition"},
    {"ImageInShape", unitFile("6F 00 01 00 01 6D 00 00 00 00 70", ""),
     "offset 34: set-image: not allowed inside a shape definition"},
    {"DefinitionInLayers", unitFile("", "3C 00 00"),
     "offset 33: set-face: definition in the layer section"},
    {"DrawingInDefinitions", unitFile("30 00 00 00 00", ""),
     "offset 29: mark: not allowed outside a shape in the definitions section"},
    {"BadSignature", fromHex("4B 56 48 98 E1 00 00 04 10 10"), "offset 0: header: bad signature"},
    {"HeaderPointSize", fromHex("4B 56 47 98 E1 00 00 04 14 10"),
     "offset 8: header: invalid point size 20"},
    {"TruncatedHeader", fromHex("4B 56 47 98 E1 00 00 04 10 10 01"), "offset 0: header: truncated"},
    {"MissingClosingRecords", headerOnly(), "offset 29: missing closing size records"},
    // What the writer never produces.
    {"GridOfNoCells",
     fromHex("4B 56 47 98 E1 00 00 04 20 20 00 00 10 00 F8 00 F8 00 08 00 08 00 00 64 00 64 "
             "FF FF FF 5D 06 52 5A"),
     "offset 10: header: invalid grid size"},
    {"NegativePage",
     fromHex("4B 56 47 98 E1 00 00 04 20 20 10 00 10 00 F8 00 F8 00 08 00 08 00 FF 9C 00 64 "
             "FF FF FF 5D 06 52 5A"),
     "offset 22: header: negative page size"},
    {"NaNCoordinate", unitFile("", "53 30 7F C0 00 00 00 00 00 00"),
     "offset 34: mark: coordinate not a finite number"},
    {"AngleOfNoDirection", unitFile("", "6B 00 00 00 00 00 00 00 00 00"),
     "offset 33: text-alignment: angle not on the unit circle"},
    {"AngleOffTheCircle", unitFile("", "6B 00 00 64 00 64 00 00 00 00"),
     "offset 33: text-alignment: angle not on the unit circle"},
    {"ShapeRotationOfNoDirection",
     unitFile("6F 00 01 00 01 70", "18 00 00 00 00 00 00 00 00 00 00 01 00 01"),
     "offset 39: shape: angle not on the unit circle"},
    {"PaletteIndexBeyondPaletteInForce", unitFile("", "5D 01 6C 02 00 01 02"),
     "offset 35: palette: colour index 2 beyond a palette of 2 colours"},
    {"BoxOfNoWidth", unitFile("", "32 00 00 00 00 00 00 00 05"),
     "offset 33: draw-box: box size of 0"},
    {"CircleOfNoRadius", unitFile("", "33 00 00 00 00 00"), "offset 33: draw-circle: radius of 0"},
};

// The first fault of `bytes` through the public reader, or nothing for a valid file.
std::optional<kvgr::Error> firstFault(const Bytes &bytes) {
    try {
        kvgr::Reader reader;
        reader.openMemory(bytes);
        while (reader.next() != nullptr) {
        }
    } catch (const kvgr::Error &error) {
        return error;
    }
    return std::nullopt;
}

class ReaderReject : public ::testing::TestWithParam<Malformed> {};

TEST_P(ReaderReject, ReportsOffsetAndReason) {
    const std::optional<kvgr::Error> error = firstFault(GetParam().bytes);
    ASSERT_TRUE(error) << hex(GetParam().bytes);
    EXPECT_EQ(error->what(), std::string(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(Faults, ReaderReject, ::testing::ValuesIn(kMalformed),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(ReaderReject, ReaderStopsAtTheFault) {
    const Bytes bytes = unitFile("", "30 00 00 00 00 03 30 00 00 00 00");
    kvgr::Reader reader;
    reader.openMemory(bytes);
    int records = 0;
    try {
        while (reader.next() != nullptr) ++records;
        ADD_FAILURE() << "no fault";
    } catch (const kvgr::Error &) {
    }
    EXPECT_EQ(records, 4);  // the three closing size records and the first mark
    EXPECT_THROW(reader.next(), kvgr::Error);
    EXPECT_EQ(reader.error().offset(), 38u);
    EXPECT_EQ(reader.error().code(), KVGR_ERR_FORMAT);
}

// ---- Damaged input never crashes ----

TEST(ReaderRobust, TruncationsAndByteFlips) {
    const Bytes valid = everythingFile();
    ASSERT_FALSE(firstFault(valid));
    kvgr::Reader whole;
    whole.openMemory(valid);
    while (whole.next() != nullptr) {
    }
    const uint64_t layers = *whole.layerSectionOffset();
    for (size_t length = 0; length < valid.size(); ++length) {
        const Bytes cut(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(length));
        const std::optional<kvgr::Error> error = firstFault(cut);
        // A cut between two layer records leaves a shorter valid file.
        if (length < layers) EXPECT_TRUE(error) << "cut at " << length;
        if (error) EXPECT_LE(error->offset(), length);
    }
    std::mt19937 random(20240607);
    std::uniform_int_distribution<size_t> position(0, valid.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    int rejected = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        Bytes damaged = valid;
        for (int flips = 1 + trial % 3; flips > 0; --flips) {
            damaged[position(random)] = static_cast<uint8_t>(byte(random));
        }
        const std::optional<kvgr::Error> error = firstFault(damaged);
        if (error) {
            ++rejected;
            EXPECT_LT(error->offset(), damaged.size());
            EXPECT_EQ(error->code(), KVGR_ERR_FORMAT) << error->what();
        }
    }
    EXPECT_GT(rejected, 1500);
}

// ---- The kvg command ----

class KvgTool : public ::testing::Test {
protected:
    void SetUp() override {
        UnitWriter writer;
        ok(KVG_beginLayer(writer.get(), "L", 1, 0));
        drawPolyline(writer.get(), {{-2048, 0}, {-2047, 1}});
        const Bytes bytes = writer.close();
        write(valid_, bytes);
        Bytes damaged = bytes;
        damaged.back() |= 1;  // a padding bit of the polyline's last byte
        write(invalid_, damaged);
    }
    static void write(const TempPath &path, const Bytes &bytes) {
        writeText(path.str(), std::string(bytes.begin(), bytes.end()));
    }
    TempPath valid_;
    TempPath invalid_;
};

TEST_F(KvgTool, CheckExitCodes) {
    ToolRun r = kvg({"check", valid_.str()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, valid_.str() + ": valid, 7 records\n");
    r = kvg({"check", invalid_.str()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kvg check: " + invalid_.str() +
                         ": offset 39: polyline: non-zero padding bits in byte 44\n");
    r = kvg({"check", valid_.str() + ".missing"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kvg check: " + valid_.str() +
                         ".missing: cannot open: No such file or directory\n");
}

TEST_F(KvgTool, DumpTextAndJson) {
    ToolRun r = kvg({"dump", valid_.str()});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\n33 layer visible=1 detectable=0 name=\"L\"\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\n39 polyline points=[-2048,0@0,50 -2047,1@0.024,50.024]\n"),
              std::string::npos)
        << r.out;
    r = kvg({"dump", "--json", valid_.str()});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("{\"offset\":39,\"length\":6,\"code\":16,\"record\":\"polyline\","
                         "\"section\":\"layers\",\"points\":[{\"file\":[-2048,0],\"world\":[0,50]},"
                         "{\"file\":[-2047,1],\"world\":[0.0244140625,50.0244140625]}]}\n"),
              std::string::npos)
        << r.out;
    r = kvg({"dump", invalid_.str()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("33 layer"), std::string::npos);  // records before the fault
}

TEST_F(KvgTool, InfoSummarisesTheFile) {
    const ToolRun r = kvg({"info", valid_.str()});
    EXPECT_EQ(r.status, 0);
    for (const char *line :
         {"header          29 bytes; point size 32, relative point size 32\n",
          "definitions     4 bytes: 0 shapes, 0 edges, 0 faces, 0 images\n",
          "layers          12 bytes\n", "records         7\n",
          "points          2; bytes per point 22.500\n", "  polyline                1\n"}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "in\n" << r.out;
    }
    EXPECT_EQ(kvg({"info", invalid_.str()}).status, 1);
}

TEST(KvgToolUsage, HelpAndMistakes) {
    EXPECT_EQ(kvg({}).status, 2);
    ToolRun r = kvg({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("  check FILE"), std::string::npos);
    r = kvg({"dump", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: kvg dump FILE [--json] [--max-output N] [LIMITS]\n", 0), 0u);
    r = kvg({"frobnicate"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("kvg: unknown command 'frobnicate'\n", 0), 0u);
    r = kvg({"check"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "kvg check: missing argument\nusage: kvg check FILE [LIMITS]\n");
    EXPECT_EQ(kvg({"dump", "a.kvg", "--yaml"}).status, 2);
    EXPECT_EQ(kvg({"info", "a.kvg", "b.kvg"}).status, 2);
}

}  // namespace
}  // namespace kvgtest
