// The kvg command's demo and svg: the demo drawing, the SVG rendering (as text, and as pixels
// through a real SVG renderer where one is installed) and the PNG images inside it.
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
#include "kvgreader.h"
#include "kvgwriter.hpp"
#include "png.h"
#include "svg_paint.h"
#include "svg_render.h"
#include "test_support.h"
#include "tool_support.h"

namespace kvgtest {
namespace {

namespace fs = std::filesystem;
namespace fmt = kvgfmt;
using kvgtool::svg::Rgba;

// Pixels on a page of `mm` for a file position, with the file window `low`..`high`.
struct PageMap {
    kvgr::Point low, high;
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
    for (const uint8_t code : every) EXPECT_GT(d.count(code), 0) << kvgr::recordName(code);
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
    const auto hidden = std::ranges::find_if(d.records, [](const kvgr::Record &r) {
        return r.code == fmt::LAYER && !std::get<kvgr::Layer>(r.payload).visible;
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
    for (const kvgr::Record &record : d.records) points += kvgr::pointCount(record);
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

// ---- SVG pieces

TEST(SvgPaint, DashPatterns) {
    struct Case {
        uint16_t pattern;
        const char *array;
        double offset;
    };
    const Case cases[] = {
        {0xFFFF, "", 0},     {0xF0F0, "4,4,4,4", 0}, {0x0F0F, "4,4,4,4", 12}, {0x8000, "1,15", 0},
        {0x0001, "1,15", 1}, {0xFF18, "8,3,2,3", 0}, {0x7FFE, "14,2", 15},
    };
    for (const Case &c : cases) {
        const auto dashes = kvgtool::svg::dashes(c.pattern, 1);
        ASSERT_TRUE(dashes) << c.pattern;
        EXPECT_EQ(dashes->array, c.array) << std::hex << c.pattern;
        EXPECT_EQ(dashes->offset, c.offset) << std::hex << c.pattern;
    }
    EXPECT_EQ(kvgtool::svg::dashes(0xF0F0, 2.5)->array, "10,10,10,10");
    EXPECT_FALSE(kvgtool::svg::dashes(0, 1));
}

TEST(SvgPaint, TextBecomesValidXml) {
    const std::pair<std::string, std::string> cases[] = {
        {"a<b & \"c\">", "a&lt;b &amp; &quot;c&quot;&gt;"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x97\xBA", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x97\xBA"},
        {"bad \xC3 byte", "bad \xEF\xBF\xBD byte"},
        {"overlong \xC0\xAF", "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"surrogate \xED\xA0\x80", "surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {std::string("bell\x07 nul\0!", 11), "bell\xEF\xBF\xBD nul\xEF\xBF\xBD!"},
        {"tab\tline\n", "tab\tline\n"},
    };
    for (const auto &[in, expected] : cases) EXPECT_EQ(kvgtool::svg::escapeXml(in), expected);
}

TEST(SvgPaint, ColoursOfEveryColourSize) {
    kvgr::PaletteState palette;
    palette.colors[0] = 0x102030;
    palette.colors[1] = 0x405060;
    palette.length = 2;
    struct Case {
        uint32_t value;
        uint8_t size;
        Rgba expected;
    };
    const Case cases[] = {
        {1, fmt::COLOR_INDEX1, {0x40, 0x50, 0x60, 255}},
        {0, fmt::COLOR_INDEX8, {0x10, 0x20, 0x30, 255}},
        {2, fmt::COLOR_INDEX8, {0, 0, 0, 255}},  // beyond the palette
        {0x80, fmt::COLOR_GRAY8, {0x80, 0x80, 0x80, 255}},
        {0xFFF, fmt::COLOR_GRAY12, {255, 255, 255, 255}},
        {0x8000, fmt::COLOR_GRAY16, {128, 128, 128, 255}},
        {0xFFFF0000, fmt::COLOR_GA, {255, 255, 255, 0}},
        {0x123456, fmt::COLOR_RGB, {0x12, 0x34, 0x56, 255}},
        {0x1234567F, fmt::COLOR_RGBA, {0x12, 0x34, 0x56, 0x7F}},
    };
    for (const Case &c : cases) {
        const Rgba got = kvgtool::svg::resolve({c.value, c.size}, palette);
        EXPECT_EQ(describe(got) + std::to_string(got.a),
                  describe(c.expected) + std::to_string(c.expected.a))
            << int{c.size} << " " << c.value;
    }
    EXPECT_EQ(kvgtool::svg::paint("fill", {1, 2, 3, 255}), " fill=\"#010203\"");
    EXPECT_EQ(kvgtool::svg::paint("stroke", {1, 2, 3, 51}),
              " stroke=\"#010203\" stroke-opacity=\"0.2\"");
}

TEST(SvgPng, EncodesWhatADecoderReadsBack) {
    std::vector<uint8_t> rgba;
    for (uint32_t i = 0; i < 7 * 5; ++i)
        rgba.insert(rgba.end(),
                    {uint8_t(i * 7), uint8_t(255 - i), uint8_t(i % 3 * 100), uint8_t(i * 5)});
    const Image image = decodePng(kvgtool::encodePng(7, 5, rgba));
    EXPECT_EQ(image.width, 7u);
    EXPECT_EQ(image.height, 5u);
    EXPECT_EQ(image.rgba, rgba);
    EXPECT_THROW(kvgtool::encodePng(0, 5, {}), std::invalid_argument);
    const std::pair<const char *, const char *> base64[] = {
        {"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"\xFF\xFE\xFD", "//79"}};
    for (const auto &[in, out] : base64) EXPECT_EQ(kvgtool::base64(in), out);
}

// ---- SVG rendering

// A file whose world units are file units (the default grid), closed and rendered.
template <class Draw>
std::string renderDrawing(Draw draw) {
    TempPath path;
    kvg::File file(path.str(), {.world = {-2048, 2048, -2048, 2048}, .compress = false});
    draw(file);
    file.close();
    std::string svg;
    const Bytes bytes = readFile(path.str());
    if (const auto error = kvgtool::renderSvg(bytes, svg))
        throw std::runtime_error(error->message());
    return svg;
}


TEST(SvgRender, PageLayersAndTheYAxisUp) {
    const std::string svg = renderDrawing([](kvg::File &f) {
        f.beginLayer("shown");
        f.line(0, 0, 10, 20);
        f.beginLayer("secret <notes>", false, true);
        f.mark(5, 5);
    });
    EXPECT_TRUE(
        contains(svg, "width=\"100mm\" height=\"100mm\" viewBox=\"-2048 -2048 4096 4096\""));
    EXPECT_TRUE(contains(svg, "<g id=\"layer-1\"><title>shown</title>"));
    EXPECT_TRUE(contains(svg, "<path d=\"M0 0l10 -20\" fill=\"none\" stroke=\"#000000\""));
    EXPECT_TRUE(contains(svg, "<g id=\"layer-2\" display=\"none\"><title>secret &lt;notes&gt;"));
    EXPECT_TRUE(contains(svg, "<use xlink:href=\"#d0\" transform=\"translate(5 -5)"));
}

TEST(SvgRender, FacesCutOutTheirHolesAndEdgesJoin) {
    const std::string svg = renderDrawing([](kvg::File &f) {
        const kvg::Point outer1[] = {{0, 0}, {100, 0}, {100, 100}};
        const kvg::Point outer2[] = {{100, 100}, {0, 100}, {0, 0}};
        const kvg::Point hole[] = {{40, 40}, {60, 40}, {60, 60}, {40, 40}};
        const int32_t a = f.setEdge(outer1), b = f.setEdge(outer2), c = f.setEdge(hole);
        const int32_t holeRing[] = {c};
        const uint32_t holes[] = {f.setFace(holeRing)};
        const int32_t ring[] = {a, b};
        const uint32_t face = f.setFace(ring, holes);
        f.beginLayer("map");
        f.setFillColor(0x00FF00);
        f.face(face);
        f.edgeRange(1, 2);
    });
    EXPECT_TRUE(contains(svg,
                         "<path d=\"M0 0l100 0 0 -100 -100 0 0 100ZM40 -40l20 0 0 -20 -20 20Z\" "
                         "fill-rule=\"evenodd\" fill=\"#00ff00\"/>"))
        << svg;
    EXPECT_TRUE(contains(svg, "<path d=\"M0 0l100 0 0 -100 -100 0 0 100\" fill=\"none\""));
}

TEST(SvgRender, StylesShapesTextAndImages) {
    const std::string svg = renderDrawing([](kvg::File &f) {
        const uint32_t shape = f.beginSetShape(10, 5);
        f.box(-10, -5, 20, 10);
        f.endSetShape();
        const KVG_Color pixels[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
        const uint32_t image = f.setImage(2, 2, pixels);
        f.beginLayer("l");
        f.setLineColor(0x112233);
        f.setLineDashes(0xF0F0);
        f.setLineStyle(KVG_JOINT_ROUND, KVG_NO_ARROW, KVG_ARROW, 4);
        const kvg::Point line[] = {{0, 0}, {50, 0}, {50, 50}};
        f.polyline(line);
        f.shape(shape, 100, 50, 30, 40, 20);
        f.setTextColor(0xFF0000);
        f.setFont(KVG_FONT_SERIF, KVG_FONT_BOLD_ITALIC, 12);
        f.setTextAlignment(KVG_TEXT_NORTHEAST, 90);
        f.text(10, 20, "a & b");
        f.subImage(image, 1, 0, 1, 2, 0, 0, 30, 60);
    });
    EXPECT_TRUE(contains(svg,
                         "stroke=\"#112233\" stroke-width=\"4\" stroke-linejoin=\"round\" "
                         "stroke-dasharray=\"81.92,81.92,81.92,81.92\" marker-end=\"url(#d0)\""))
        << svg;
    EXPECT_TRUE(contains(svg, "<marker id=\"d0\" viewBox=\"0 0 10 10\" refX=\"10\""));
    EXPECT_TRUE(contains(svg,
                         "<symbol id=\"shape-0\" overflow=\"visible\">\n<rect x=\"-10\" y=\"-5\" "
                         "width=\"20\" height=\"10\""));
    // The angle is kept as a direction vector of the point size, here to 0.03 degrees.
    EXPECT_TRUE(contains(svg,
                         "<use xlink:href=\"#shape-0\" transform=\"translate(100 -50) "
                         "rotate(-30.02"));
    EXPECT_TRUE(contains(svg, ") scale(2 2)\"/>"));
    EXPECT_TRUE(contains(svg,
                         "<text transform=\"translate(10 -20) rotate(-90)\" dy=\"0.75em\" "
                         "font-size=\"12\" font-family=\"serif\" font-weight=\"bold\" "
                         "font-style=\"italic\" text-anchor=\"end\" fill=\"#ff0000\" "
                         "xml:space=\"preserve\">a &amp; b</text>"));
    // The right column of the 2 x 2 image, in a 30 x 60 viewport whose corner is (0, 0).
    EXPECT_TRUE(
        contains(svg, "<svg x=\"0\" y=\"-60\" width=\"30\" height=\"60\" viewBox=\"1 0 1 2\""));
    const size_t data = svg.find("data:image/png;base64,");
    ASSERT_NE(data, std::string::npos);
}

TEST(SvgRender, ImageRowsRunFromTheBottomUp) {
    TempPath path;
    {
        kvg::File f(path.str(), {.compress = false});
        const KVG_Color pixels[] = {0xFF0000, 0x00FF00};  // bottom row red, top row green
        const uint32_t image = f.setImage(1, 2, pixels);
        f.beginLayer("l");
        f.image(image, 0, 0, 10, 10);
    }
    std::string svg;
    ASSERT_FALSE(kvgtool::renderSvg(readFile(path.str()), svg));
    const size_t start = svg.find("base64,") + 7;
    const std::string png = svg.substr(start, svg.find('"', start) - start);
    // Decode the base64 through the encoder's alphabet.
    std::string bytes;
    uint32_t group = 0;
    int bits = 0;
    for (char ch : png) {
        if (ch == '=') break;
        group =
            group << 6 |
            static_cast<uint32_t>(
                std::string_view("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
                    .find(ch));
        if ((bits += 6) >= 8) bytes += static_cast<char>(group >> (bits -= 8) & 0xFF);
    }
    const Image image = decodePng(bytes);
    EXPECT_EQ(describe(image.at(0, 0)), "#00ff00");  // the PNG's first row is the top
    EXPECT_EQ(describe(image.at(0, 1)), "#ff0000");
}

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
    if (!haveRenderer()) GTEST_SKIP() << "rsvg-convert is not installed";
    TempPath kvgPath, svgPath(".svg");
    kvgtool::writeDemo(kvgPath.str());
    ASSERT_EQ(kvg({"svg", kvgPath.str(), "-o", svgPath.str()}).status, 0);
    const Image image = rasterize(svgPath.str());
    ASSERT_EQ(image.width, uint32_t(pixelsPerMillimetre(160)));
    ASSERT_EQ(image.height, uint32_t(pixelsPerMillimetre(100)));
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
