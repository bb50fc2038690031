// The render core and its painters: the shared drawing rules (colours, dashes, text, PNG), the
// SVG document the core draws, and pictures of it through a real SVG renderer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <cairo.h>

#include "cairo_painter.h"
#include "command.h"
#include "kvgwriter.hpp"
#include "output.h"
#include "png.h"
#include "style.h"
#include "svg_painter.h"
#include "tool_support.h"

namespace kvgtest {
namespace {

namespace fmt = kvgfmt;
namespace fs = std::filesystem;
using kvgrender::Vec;

// ---- Drawing rules shared by the painters

TEST(RenderRules, DashPatterns) {
    struct Case {
        uint16_t pattern;
        std::vector<double> lengths;
        double offset;
    };
    const Case cases[] = {
        {0xFFFF, {}, 0},          {0xF0F0, {4, 4, 4, 4}, 0}, {0x0F0F, {4, 4, 4, 4}, 12},
        {0x8000, {1, 15}, 0},     {0x0001, {1, 15}, 1},      {0xFF18, {8, 3, 2, 3}, 0},
        {0x7FFE, {14, 2}, 15},
    };
    for (const Case &c : cases) {
        const auto dashes = kvgrender::dashPattern(c.pattern, 1);
        ASSERT_TRUE(dashes) << c.pattern;
        EXPECT_EQ(dashes->lengths, c.lengths) << std::hex << c.pattern;
        EXPECT_EQ(dashes->offset, c.offset) << std::hex << c.pattern;
    }
    EXPECT_EQ(kvgrender::dashPattern(0xF0F0, 2.5)->lengths, (std::vector<double>{10, 10, 10, 10}));
    EXPECT_FALSE(kvgrender::dashPattern(0, 1));
}

TEST(RenderRules, TextAsRenderersShowIt) {
    const std::pair<std::string, std::string> cases[] = {
        {"a<b & \"c\">", "a<b & \"c\">"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x97\xBA", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x97\xBA"},
        {"bad \xC3 byte", "bad \xEF\xBF\xBD byte"},
        {"overlong \xC0\xAF", "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"surrogate \xED\xA0\x80", "surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {std::string("bell\x07 nul\0!", 11), "bell\xEF\xBF\xBD nul\xEF\xBF\xBD!"},
        {"tab\tline\nreturn\r", "tab line return "},
        {"non\xEF\xBF\xBF char", "non\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD char"},
    };
    for (const auto &[in, expected] : cases) EXPECT_EQ(kvgrender::displayText(in), expected);
}

TEST(RenderRules, ColoursOfEveryColourSize) {
    const uint32_t palette[] = {0x102030, 0x405060};
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
        {0x800, fmt::COLOR_GRAY12, {128, 128, 128, 255}},
        {0x8000, fmt::COLOR_GRAY16, {128, 128, 128, 255}},
        {0xFFFF0000, fmt::COLOR_GA, {255, 255, 255, 0}},
        {0x123456, fmt::COLOR_RGB, {0x12, 0x34, 0x56, 255}},
        {0x1234567F, fmt::COLOR_RGBA, {0x12, 0x34, 0x56, 0x7F}},
    };
    for (const Case &c : cases) {
        const Rgba got = kvgrender::resolveColor(c.value, c.size, palette, fmt::COLOR_RGB);
        EXPECT_EQ(describe(got), describe(c.expected)) << int{c.size} << " " << c.value;
    }
}

// Pixels given as RGBA quadruples, top row first.
class Pixels final : public kvgrender::ImageSource {
public:
    Pixels(uint32_t w, uint32_t h, std::vector<uint8_t> rgba) : w_(w), h_(h), rgba_(rgba) {}
    uint32_t width() const override { return w_; }
    uint32_t height() const override { return h_; }
    void row(uint32_t y, uint8_t *out) const override {
        std::copy_n(rgba_.begin() + y * w_ * 4, w_ * 4, out);
    }

private:
    uint32_t w_, h_;
    std::vector<uint8_t> rgba_;
};

TEST(RenderRules, PngThatADecoderReadsBack) {
    std::vector<uint8_t> rgba;
    for (uint32_t i = 0; i < 7 * 5; ++i)
        rgba.insert(rgba.end(),
                    {uint8_t(i * 7), uint8_t(255 - i), uint8_t(i % 3 * 100), uint8_t(i * 5)});
    const Image image = decodePng(kvgrender::encodePng(Pixels(7, 5, rgba)));
    EXPECT_EQ(image.width, 7u);
    EXPECT_EQ(image.height, 5u);
    EXPECT_EQ(image.rgba, rgba);
    const std::pair<const char *, const char *> base64[] = {
        {"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"\xFF\xFE\xFD", "//79"}};
    for (const auto &[in, out] : base64) EXPECT_EQ(kvgrender::base64(in), out);
}

// A stroke of many points is drawn band by band on a raster surface, each band with the figures
// that reach it: the pixels must be those of one stroke, which a recording surface (drawn
// without bands) replays onto the same raster.
TEST(RenderRules, ALongStrokeInBandsHasThePixelsOfOneStroke) {
    kvgrender::Path path;
    for (int i = 0; i < 40000; ++i) {  // ten dashed zigzags a few rows high, one under the other
        const Vec p{1 + (i % 997) * 0.148, 1 + (i / 4000) * 10 + (i % 7) * 0.31 + (i % 13) * 0.2};
        i % 4000 == 0 ? path.moveTo(p) : path.lineTo(p);
    }
    path.moveTo({1, 1});
    for (int i = 1; i < 4000; ++i)  // and one that crosses them all, and itself
        path.lineTo({1 + (i % 997) * 0.148, 1 + (i % 7) * 0.31 + (i % 1009) * 0.097});
    const kvgrender::Stroke stroke{{20, 90, 200, 255}, 1.5, kvgrender::Joint::Miter, {2.2, 0.9},
                                   0.3};
    const auto pixelsOf = [](cairo_surface_t *surface) {
        cairo_surface_flush(surface);
        const unsigned char *data = cairo_image_surface_get_data(surface);
        return std::vector<uint8_t>(
            data, data + cairo_image_surface_get_stride(surface) *
                             cairo_image_surface_get_height(surface));
    };
    const auto strokeOn = [&](cairo_surface_t *surface) {
        cairo_t *cr = cairo_create(surface);
        cairo_scale(cr, 2, 2);
        {
            kvgrender::CairoPainter painter(cr);
            painter.stroke({kvgrender::PathKey{}, &path}, stroke);
        }
        cairo_destroy(cr);
    };
    cairo_surface_t *banded = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 300, 220);
    strokeOn(banded);
    cairo_surface_t *recording =
        cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
    strokeOn(recording);
    cairo_surface_t *whole = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 300, 220);
    cairo_t *cr = cairo_create(whole);
    cairo_set_source_surface(cr, recording, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    const std::vector<uint8_t> inBands = pixelsOf(banded), inOne = pixelsOf(whole);
    EXPECT_GT(std::count(inBands.begin(), inBands.end(), 0), 0);
    EXPECT_LT(std::count(inBands.begin(), inBands.end(), 0), ptrdiff_t(inBands.size() * 3 / 4));
    EXPECT_TRUE(inBands == inOne);
    for (cairo_surface_t *s : {banded, recording, whole}) cairo_surface_destroy(s);
}

// ---- The SVG document

// The bytes of a file whose file units are page millimetres: the default grid over a page of
// 4096 mm, so that file position (x, y) is page position (x + 2048, y + 2048) and SVG position
// (x + 2048, 2048 - y).
template <class Draw>
Bytes drawing(Draw draw) {
    TempPath path;
    kvg::File file(path.str(), {.world = {-2048, 2048, -2048, 2048},
                                .width_mm = 4096,
                                .height_mm = 4096,
                                .compress = false});
    draw(file);
    file.close();
    return readFile(path.str());
}

std::string svgOf(const Bytes &bytes) {
    std::ostringstream svg;
    if (const auto error = kvgrender::renderSvg(bytes, svg))
        throw std::runtime_error(error->message());
    return svg.str();
}

template <class Draw>
std::string renderDrawing(Draw draw) {
    return svgOf(drawing(draw));
}

TEST(SvgRender, PageLayersAndTheYAxisUp) {
    const std::string svg = renderDrawing([](kvg::File &f) {
        f.beginLayer("shown");
        f.line(0, 0, 10, 20);
        f.beginLayer("secret <notes>", false, true);
        f.mark(5, 5);
    });
    EXPECT_TRUE(contains(svg, "width=\"4096mm\" height=\"4096mm\" viewBox=\"0 0 4096 4096\""));
    EXPECT_TRUE(contains(svg, "<g id=\"layer-1\"><title>shown</title>"));
    EXPECT_TRUE(contains(svg, "<path d=\"M2048 2048l10 -20\" fill=\"none\" stroke=\"#000000\""))
        << svg;
    EXPECT_TRUE(contains(svg, "<g id=\"layer-2\" display=\"none\"><title>secret &lt;notes&gt;"));
    EXPECT_TRUE(contains(svg, "<use xlink:href=\"#d0\" transform=\"translate(2053 2043)"));
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
                         "<defs><path id=\"p0\" d=\"M2048 2048l100 0 0 -100 -100 0 0 100ZM2088 "
                         "2008l20 0 0 -20 -20 20Z\"/></defs>\n<use xlink:href=\"#p0\" "
                         "fill-rule=\"evenodd\" fill=\"#00ff00\"/>"))
        << svg;
    EXPECT_TRUE(contains(svg,
                         "<defs><path id=\"p1\" d=\"M2048 2048l100 0 0 -100 -100 0 0 100\"/>"
                         "</defs>\n<use xlink:href=\"#p1\" fill=\"none\""));
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
    // One dash bit is 0.5 mm or the line's width, here 4 mm.
    EXPECT_TRUE(contains(svg,
                         "<path d=\"M2048 2048l50 0 0 -50\" fill=\"none\" stroke=\"#112233\" "
                         "stroke-width=\"4\" stroke-linejoin=\"round\" "
                         "stroke-dasharray=\"16,16,16,16\"/>"))
        << svg;
    // The arrow head at the end, pointing up: 16 mm long and wide, in the line's colour.
    EXPECT_TRUE(contains(svg, "<path d=\"M2106 2014l-8 -16 -8 16Z\" fill-rule=\"evenodd\" "
                              "fill=\"#112233\"/>"))
        << svg;
    EXPECT_TRUE(contains(svg,
                         "<defs><g id=\"shape-0\">\n<path d=\"M-10 5l20 0 0 -10 -20 0Z\""));
    // The angle is kept as a direction vector of the point size, here to 0.03 degrees; the
    // shape is scaled 2 x 2 and turned 30 degrees counter-clockwise about (100, 50).
    EXPECT_TRUE(contains(svg, "<use xlink:href=\"#shape-0\" transform=\"matrix(1.73"));
    EXPECT_TRUE(contains(svg, " 2148 1998)\"/>"));
    EXPECT_TRUE(contains(svg,
                         "<text transform=\"translate(2058 2028) rotate(-90)\" dy=\"0.75em\" "
                         "font-size=\"12\" font-family=\"serif\" font-weight=\"bold\" "
                         "font-style=\"italic\" text-anchor=\"end\" fill=\"#ff0000\" "
                         "xml:space=\"preserve\">a &amp; b</text>"));
    // The right column of the 2 x 2 image, in a 30 x 60 viewport whose corner is (0, 0).
    EXPECT_TRUE(contains(
        svg, "<svg x=\"2048\" y=\"1988\" width=\"30\" height=\"60\" viewBox=\"1 0 1 2\""));
    EXPECT_TRUE(contains(svg, "image-rendering:pixelated\" xlink:href=\"data:image/png"));
}

// The sampling of each stretch mode sits on the <image> itself: renderers smooth an image
// whose <use> asks for nearest-neighbour sampling, and browsers smooth "optimizeSpeed".
TEST(SvgRender, ImageSamplingIsSetOnTheImageItself) {
    const std::string svg = renderDrawing([](kvg::File &f) {
        const KVG_Color pixels[] = {0xFF0000, 0x0000FF};
        const uint32_t image = f.setImage(2, 1, pixels);
        f.beginLayer("l");
        f.image(image, 0, 0, 100, 50);  // nearest, the default
        f.setFill(true);
        f.setTextureFill(0, 0, image);
        f.box(0, 60, 40, 40);
        f.setImageStretchMode(KVG_STRETCH_BILINEAR);
        f.image(image, 0, 200, 100, 50);
    });
    std::vector<std::string> images;
    for (size_t open = svg.find('<'); open != std::string::npos; open = svg.find('<', open + 1)) {
        const std::string element = svg.substr(open, svg.find('>', open) - open);
        if (element.starts_with("<image ")) {
            images.push_back(element.substr(0, element.find(" xlink:href")));
        } else {
            EXPECT_FALSE(contains(element, "image-rendering")) << element;
        }
    }
    ASSERT_EQ(images.size(), 2u) << svg;  // one per stretch mode, the texture's shared
    EXPECT_EQ(images[0], "<image id=\"d0\" width=\"2\" height=\"1\" preserveAspectRatio=\"none\" "
                         "style=\"image-rendering:optimizeSpeed;image-rendering:pixelated\"");
    EXPECT_EQ(images[1], "<image id=\"d2\" width=\"2\" height=\"1\" preserveAspectRatio=\"none\" "
                         "image-rendering=\"optimizeQuality\"");
}

TEST(SvgRender, ImageRowsRunFromTheBottomUp) {
    const std::string svg = renderDrawing([](kvg::File &f) {
        const KVG_Color pixels[] = {0xFF0000, 0x00FF00};  // bottom row red, top row green
        const uint32_t image = f.setImage(1, 2, pixels);
        f.beginLayer("l");
        f.image(image, 0, 0, 10, 10);
    });
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
    EXPECT_EQ(describe(image.at(0, 0)), "#00ff00/ff");  // the PNG's first row is the top
    EXPECT_EQ(describe(image.at(0, 1)), "#ff0000/ff");
}

// ---- kvg render: PNG and PDF through cairo

// The runs of dark pixels along row `y`: where each begins and ends, in pixels with their
// fractions (a pixel half covered counts half).
std::vector<std::pair<double, double>> darkRuns(const Image &image, uint32_t y) {
    std::vector<std::pair<double, double>> runs;
    double sum = 0;
    for (uint32_t x = 0; x < image.width; ++x) {
        const double cover = 1 - image.at(x, y).r / 255.0;
        if (cover < 0.004) {
            if (sum > 0) runs.back().second = runs.back().first + sum;
            sum = 0;
            continue;
        }
        if (sum == 0) runs.push_back({x + 1 - cover, 0});
        sum += cover;
    }
    return runs;
}

TEST(RenderCommand, PositionsAreThePageMappingsToAHundredthOfAMillimetre) {
    ScratchDirectory here;
    {
        // A square grid on a page twice as wide as high: one scale, the drawing centred.
        kvg::File f("boxes.kvg", {.world = {-100, 100, -100, 100},
                                  .width_mm = 20,
                                  .height_mm = 10,
                                  .compress = false});
        const uint32_t shape = f.beginSetShape(10, 10);
        f.setFill(true);
        f.box(-10, -10, 20, 20);
        f.endSetShape();
        f.beginLayer("l");
        f.setFill(true);
        f.box(-60, -30, 50, 70);
        f.stampShape(shape, 50, 0);
    }
    ASSERT_EQ(kvg({"render", "boxes.kvg", "--dpi", "2540"}).status, 0);  // 100 pixels a mm
    const Image image = decodePng(readText("boxes.png"));
    ASSERT_EQ(image.width, 2000u);
    ASSERT_EQ(image.height, 1000u);
    // Along the page's middle: the box, then the stamped shape, where the dump puts them.
    const Decoded d = decodeFile("boxes.kvg");
    std::vector<double> expected;
    for (const auto &record : d.records) {
        if (record.shape) continue;
        if (record.code == fmt::FILL_BOX) {
            const auto &box = std::get<kvgr::impl::Box>(record.payload);
            expected.push_back(d.header.toWorld(box.corner).x);
            expected.push_back(d.header.toWorld({box.corner.x + box.size.x, 0}).x);
        }
        if (record.code == fmt::STAMP_SHAPE) {
            const kvgr::impl::Point at = std::get<kvgr::impl::Stamp>(record.payload).at;
            const double half = d.header.toWorldExtent({205, 0}).x;  // the shape's box, 20 / 2
            expected.push_back(d.header.toWorld(at).x - half);
            expected.push_back(d.header.toWorld(at).x + half);
        }
    }
    const auto runs = darkRuns(image, 500);
    ASSERT_EQ(runs.size(), 2u);
    ASSERT_EQ(expected.size(), 4u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_NEAR(runs[i].first / 100, expected[2 * i], 0.01) << i;
        EXPECT_NEAR(runs[i].second / 100, expected[2 * i + 1], 0.01) << i;
    }
}

TEST(RenderCommand, PngAndPdfOfThePageSize) {
    ScratchDirectory here;
    ASSERT_EQ(kvg({"demo", "-o", "map.kvg"}).status, 0);  // 160 x 100 mm
    ToolRun r = kvg({"render", "map.kvg"});
    ASSERT_EQ(r.status, 0) << r.err;
    Image image = decodePng(readText("map.png"));
    EXPECT_EQ(image.width, 605u);  // 96 pixels an inch, rounded up
    EXPECT_EQ(image.height, 378u);
    ASSERT_EQ(kvg({"render", "map.kvg", "-o", "wide.png", "--width", "800"}).status, 0);
    image = decodePng(readText("wide.png"));
    EXPECT_EQ(image.width, 800u);
    EXPECT_EQ(image.height, 500u);
    ASSERT_EQ(kvg({"render", "map.kvg", "-o", "fine.PNG", "--dpi", "300"}).status, 0);
    EXPECT_EQ(decodePng(readText("fine.PNG")).width, 1890u);
    r = kvg({"render", "map.kvg", "-o", "-"});
    EXPECT_EQ(r.out, readText("map.png"));
    // A PDF page of 160 x 100 mm, in points.
    ASSERT_EQ(kvg({"render", "map.kvg", "-o", "map.pdf"}).status, 0);
    const std::string pdf = readText("map.pdf");
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    EXPECT_TRUE(contains(pdf, "/MediaBox [ 0 0 453.543307 283.464567 ]")) << pdf.substr(0, 2000);
    EXPECT_EQ(kvg({"render", "map.kvg", "-o", "-", "--format", "pdf"}).out.rfind("%PDF-", 0), 0u);
    // Without -o, --format names the default output too.
    fs::remove("map.pdf");
    ASSERT_EQ(kvg({"render", "map.kvg", "--format", "pdf"}).status, 0);
    EXPECT_EQ(readText("map.pdf").rfind("%PDF-", 0), 0u);
}

TEST(RenderCommand, RefusesWhatItCannotDo) {
    ScratchDirectory here;
    ASSERT_EQ(kvg({"demo", "-o", "map.kvg"}).status, 0);
    const std::pair<std::vector<std::string>, std::string> usage[] = {
        {{"-o", "map.gif"}, "cannot tell the format of map.gif"},
        {{"--format", "gif"}, "unknown format 'gif'"},
        {{"--width", "100", "--dpi", "72"}, "--width and --dpi exclude each other"},
        {{"-o", "map.pdf", "--dpi", "72"}, "--width and --dpi are for PNG"},
        {{"--width", "0"}, "--width takes a whole number of pixels from 1 to 32767"},
        {{"--width", "40000"}, "--width takes a whole number"},
        {{"--width", "12px"}, "--width takes a whole number"},
        {{"--dpi", "-3"}, "--dpi takes a number of pixels an inch above 0"},
        {{"--dpi", "nan"}, "--dpi takes a number"},
        {{"-o", "x.png", "--format", "pdf"}, "--format pdf contradicts the name x.png"},
        {{"-o", "x.PDF", "--format", "png"}, "--format png contradicts the name x.PDF"},
    };
    for (const auto &[options, message] : usage) {
        std::vector<std::string> args{"render", "map.kvg"};
        args.insert(args.end(), options.begin(), options.end());
        const ToolRun r = kvg(args);
        EXPECT_EQ(r.status, 2) << message;
        EXPECT_EQ(r.err.rfind("kvg render: " + message, 0), 0u) << r.err;
    }
    // 160 mm at 100000 pixels an inch: refused before anything is drawn, nothing written.
    const ToolRun r = kvg({"render", "map.kvg", "--dpi", "100000"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kvg render: map.kvg: offset 0: the page would be 629922 x 393701 pixels; "
                     "at most 32767 on a side and 268435456 in all\n");
    EXPECT_FALSE(fs::exists("map.png"));
    EXPECT_FALSE(fs::exists("x.png"));
    EXPECT_FALSE(fs::exists("x.PDF"));
}

// Standard output on a terminal takes no PNG or PDF; a pipe or a file does.
TEST(RenderCommand, RefusesToWriteBinaryToATerminal) {
    ScratchDirectory here;
    ASSERT_EQ(kvg({"demo", "-o", "map.kvg"}).status, 0);
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(grantpt(terminal), 0);
    ASSERT_EQ(unlockpt(terminal), 0);
    const int screen = open(ptsname(terminal), O_RDWR | O_NOCTTY);
    ASSERT_GE(screen, 0);
    for (const char *format : {"png", "pdf"}) {
        std::ostringstream err;
        int status = 0;
        {
            kvgtool::FdBuffer buffer(screen);
            std::ostream out(&buffer);
            const std::vector<std::string> args{"render", "map.kvg", "-o", "-", "--format", format};
            status = kvgtool::run(args, out, err);
        }
        EXPECT_EQ(status, 2);
        EXPECT_EQ(err.str().rfind("kvg render: standard output is a terminal, which cannot show a "
                                  "P", 0), 0u) << err.str();
    }
    close(screen);
    close(terminal);
    const std::vector<std::string> args{"render", "map.kvg", "-o", "-"};
    std::ostringstream out, err;
    EXPECT_EQ(kvgtool::run(args, out, err), 0) << err.str();  // not a terminal
}

}  // namespace
}  // namespace kvgtest
