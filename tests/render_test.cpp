// The render core and its painters: the shared drawing rules (colours, dashes, text, PNG), the
// SVG document the core draws, and pictures of it through a real SVG renderer.
#include <gtest/gtest.h>

#include <sstream>

#include "kvgwriter.hpp"
#include "png.h"
#include "style.h"
#include "svg_painter.h"
#include "tool_support.h"

namespace kvgtest {
namespace {

namespace fmt = kvgfmt;
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
    EXPECT_TRUE(contains(svg, "image-rendering=\"optimizeSpeed\" xlink:href=\"data:image/png"));
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

}  // namespace
}  // namespace kvgtest
