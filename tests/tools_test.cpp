// The kvg command's demo, svg and import: the demo drawing, the SVG rendering (as text, and as
// pixels through a real SVG renderer where one is installed), the PNG images inside it, and the
// TopoJSON import of real and hand-made topologies, malformed ones included.
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
#include "topojson.h"

namespace kvgtest {
namespace {

namespace fs = std::filesystem;
namespace fmt = kvgfmt;
using kvgtool::svg::Rgba;

// ---- Helpers

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

ToolRun kvg(const std::vector<std::string> &args) {
    std::ostringstream out, err;
    const int status = kvgtool::run(args, out, err);
    return {status, out.str(), err.str()};
}

std::string readText(const std::string &path) {
    const Bytes bytes = readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

void writeText(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

struct Decoded {
    kvgr::Header header;
    std::vector<kvgr::Record> records;
    kvgr::Definitions definitions;
    std::optional<kvgr::Error> error;

    int count(uint8_t code) const {
        return static_cast<int>(std::ranges::count(records, code, &kvgr::Record::code));
    }
};

Decoded decodeFile(const std::string &path) {
    std::string problem;
    const std::optional<kvgr::LoadedFile> file = kvgr::loadFile(path, problem);
    if (!file) throw std::runtime_error(problem);
    kvgr::Decoder decoder(file->bytes);
    Decoded d;
    kvgr::Record record;
    while (decoder.next(record)) d.records.push_back(record);
    d.header = decoder.header();
    d.definitions = decoder.definitions();
    d.error = decoder.error();
    return d;
}

// A scratch directory made the current one for the test's life.
class ScratchDirectory {
public:
    ScratchDirectory() : previous_(fs::current_path()) {
        std::string name = (fs::temp_directory_path() / "kvgtools-XXXXXX").string();
        path_ = mkdtemp(name.data());
        fs::current_path(path_);
    }
    ~ScratchDirectory() {
        fs::current_path(previous_);
        fs::remove_all(path_);
    }
    ScratchDirectory(const ScratchDirectory &) = delete;
    ScratchDirectory &operator=(const ScratchDirectory &) = delete;

private:
    fs::path previous_;
    fs::path path_;
};

// An 8-bit RGB or RGBA PNG, not interlaced, decoded to RGBA.
struct Image {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
    Rgba at(uint32_t x, uint32_t y) const {
        const uint8_t *p = &rgba[(size_t{y} * width + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
};

uint32_t bigEndian(const std::string &s, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
    return v;
}

int paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

Image decodePng(const std::string &png) {
    if (png.compare(0, 8, "\x89PNG\r\n\x1A\n") != 0) throw std::runtime_error("not a PNG");
    Image image;
    std::string deflated;
    int channels = 0;
    for (size_t at = 8; at + 8 <= png.size();) {
        const uint32_t length = bigEndian(png, at);
        const std::string type = png.substr(at + 4, 4), data = png.substr(at + 8, length);
        at += 12 + length;
        if (type == "IHDR") {
            image.width = bigEndian(data, 0);
            image.height = bigEndian(data, 4);
            if (data[8] != 8 || data[12] != 0) throw std::runtime_error("unsupported PNG");
            channels = data[9] == 6 ? 4 : data[9] == 2 ? 3 : 0;
        } else if (type == "IDAT") {
            deflated += data;
        }
    }
    if (channels == 0) throw std::runtime_error("unsupported PNG colour type");
    const size_t stride = size_t{image.width} * channels;
    std::vector<uint8_t> raw((stride + 1) * image.height);
    uLongf size = raw.size();
    if (uncompress(raw.data(), &size, reinterpret_cast<const Bytef *>(deflated.data()),
                   deflated.size()) != Z_OK ||
        size != raw.size())
        throw std::runtime_error("corrupt PNG data");
    std::vector<uint8_t> pixels(stride * image.height);
    for (size_t y = 0; y < image.height; ++y) {
        const uint8_t filter = raw[y * (stride + 1)];
        for (size_t x = 0; x < stride; ++x) {
            const int a = x >= size_t(channels) ? pixels[y * stride + x - channels] : 0;
            const int b = y > 0 ? pixels[(y - 1) * stride + x] : 0;
            const int c =
                x >= size_t(channels) && y > 0 ? pixels[(y - 1) * stride + x - channels] : 0;
            const int predictions[] = {0, a, b, (a + b) / 2, paeth(a, b, c)};
            pixels[y * stride + x] =
                static_cast<uint8_t>(raw[y * (stride + 1) + 1 + x] + predictions[filter]);
        }
    }
    for (size_t i = 0; i < pixels.size(); i += channels) {
        image.rgba.insert(image.rgba.end(), pixels.begin() + i, pixels.begin() + i + 3);
        image.rgba.push_back(channels == 4 ? pixels[i + 3] : 255);
    }
    return image;
}

bool haveRenderer() { return std::system("command -v rsvg-convert >/dev/null 2>&1") == 0; }

// The SVG file as pixels, through rsvg-convert at its natural size (96 pixels an inch).
Image rasterize(const std::string &svgPath) {
    TempPath png(".png");
    const std::string command = "rsvg-convert -o '" + png.str() + "' '" + svgPath + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("rsvg-convert failed");
    return decodePng(readText(png.str()));
}

// Pixels on a page of `mm` for a file position, with the file window `low`..`high`.
struct PageMap {
    kvgr::Point low, high;
    double width, height;  // pixels
    std::pair<uint32_t, uint32_t> pixel(double x, double y) const {
        return {static_cast<uint32_t>((x - low.x) / (high.x - low.x) * width),
                static_cast<uint32_t>((high.y - y) / (high.y - low.y) * height)};
    }
};

bool near(Rgba a, uint32_t rgb) {
    const auto close = [](int u, int v) { return std::abs(u - v) <= 3; };
    return close(a.r, rgb >> 16 & 0xFF) && close(a.g, rgb >> 8 & 0xFF) && close(a.b, rgb & 0xFF);
}

std::string describe(Rgba c) { return kvgtool::svg::hex(c); }

// rsvg-convert rounds a page size up to whole pixels.
int pixelsPerMillimetre(double mm) { return static_cast<int>(std::ceil(mm * 96 / 25.4)); }

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

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
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

// ---- TopoJSON

const std::string WORLD = std::string(KVG_TEST_DATA_DIR) + "/countries-110m.json";

// Rings and outer rings of an object's polygons, walked independently of the importer.
void countRings(const nlohmann::json &g, size_t &rings, size_t &polygons) {
    const std::string type = g.value("type", "");
    if (type == "GeometryCollection") {
        for (const auto &child : g["geometries"]) countRings(child, rings, polygons);
    } else if (type == "Polygon") {
        rings += g["arcs"].size();
        polygons += !g["arcs"].empty();
    } else if (type == "MultiPolygon") {
        for (const auto &polygon : g["arcs"]) {
            rings += polygon.size();
            polygons += !polygon.empty();
        }
    }
}

TEST(TopoJsonImport, WorldAtlasKeepsEveryArcAndRingExactly) {
    TempPath out;
    const ToolRun r = kvg({"import", "topojson", WORLD, "-o", out.str()});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json topology = nlohmann::json::parse(readText(WORLD));
    const auto &arcs = topology["arcs"];
    size_t rings = 0, countries = 0, landPolygons = 0;
    countRings(topology["objects"]["countries"], rings, countries);
    countRings(topology["objects"]["land"], rings, landPolygons);
    EXPECT_EQ(r.out, "Wrote " + out.str() + ": " + std::to_string(arcs.size()) +
                         " arcs as edges (1 collapsed to a point), " + std::to_string(rings) +
                         " rings as faces, 0 points as marks, 2 layers.\n");

    const Decoded d = decodeFile(out.str());
    ASSERT_FALSE(d.error) << d.error->message();
    EXPECT_EQ(d.count(fmt::SET_EDGE), int(arcs.size()));
    EXPECT_EQ(d.count(fmt::SET_FACE), int(rings));
    EXPECT_EQ(d.count(fmt::LAYER), 2);
    EXPECT_EQ(d.count(fmt::FILL_FACE), int(countries));  // the first layer's outer rings
    EXPECT_EQ(d.count(fmt::OBJECT), 2 * 177);            // a named object per country
    // One quantization step is one file unit: every point of every edge is its arc's position
    // less one offset, the same for all (repeated positions are dropped by the writer).
    const kvgr::Point first = d.definitions.edges[0].start;
    const double dx = arcs[0][0][0].get<double>() - first.x;
    const double dy = arcs[0][0][1].get<double>() - first.y;
    for (size_t i = 0; i < arcs.size(); ++i) {
        std::vector<kvgr::Point> expected;
        double x = 0, y = 0;
        for (const auto &delta : arcs[i]) {
            x += delta[0].get<double>();
            y += delta[1].get<double>();
            if (expected.empty() || !(expected.back() == kvgr::Point{x - dx, y - dy}))
                expected.push_back({x - dx, y - dy});
        }
        if (expected.size() == 1) expected.push_back(expected[0]);  // collapsed: one zero step
        const kvgr::EdgeDefinition &edge = d.definitions.edges[i];
        ASSERT_EQ(kvgr::chainPoints(edge.start, edge.steps), expected) << "arc " << i;
    }
}

TEST(TopoJsonImport, HolesCollapsedArcsAndNamesOfAHandMadeTopology) {
    TempPath in(".json"), out;
    writeText(in.str(), R"({"type": "Topology",
        "transform": {"scale": [0.5, 0.25], "translate": [100, 50]},
        "arcs": [[[0, 0], [10, 0], [0, 10], [-10, 0], [0, -10]],
                 [[5, 5], [0, 0]],
                 [[3, 3], [0, 4], [4, 0], [0, -4], [-4, 0]],
                 [[0, 0], [-6, -6]]],
        "objects": {
          "shapes": {"type": "GeometryCollection", "geometries": [
            {"type": "Polygon", "arcs": [[0], [-3]], "properties": {"name": "square"}},
            {"type": "LineString", "arcs": [1, 3], "id": 7},
            {"type": null}]},
          "places": {"type": "MultiPoint", "coordinates": [[1, 2], [3, 4]]}}})");
    const ToolRun r = kvg({"import", "topojson", in.str(), "-o", out.str()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Wrote " + out.str() +
                         ": 4 arcs as edges (1 collapsed to a point), 2 rings as faces, 2 points "
                         "as marks, 2 layers.\n");
    const Decoded d = decodeFile(out.str());
    ASSERT_FALSE(d.error) << d.error->message();
    ASSERT_EQ(d.definitions.edges.size(), 4u);
    EXPECT_EQ(d.definitions.edges[1].steps, (std::vector<kvgr::Point>{{0, 0}}));
    ASSERT_EQ(d.definitions.faces.size(), 2u);
    EXPECT_EQ(d.definitions.faces[0].edges, std::vector<int32_t>{-3});  // the hole, first
    EXPECT_EQ(d.definitions.faces[1].edges, std::vector<int32_t>{1});
    EXPECT_EQ(d.definitions.faces[1].holes, std::vector<uint32_t>{0});
    std::vector<std::string> names;
    for (const kvgr::Record &record : d.records) {
        if (record.code == fmt::LAYER)
            names.push_back("layer " + std::get<kvgr::Layer>(record.payload).name);
        if (record.code == fmt::OBJECT)
            names.push_back(std::get<kvgr::Object>(record.payload).name);
        if (record.code == fmt::FILL_FACE)
            names.push_back("face " + std::to_string(std::get<kvgr::FaceUse>(record.payload).face));
        if (record.code == fmt::DRAW_EDGE_RANGE) {
            const auto &range = std::get<kvgr::EdgeRangeUse>(record.payload);
            names.push_back("edges " + std::to_string(range.first) + "-" +
                            std::to_string(range.last));
        }
        if (record.code == fmt::MARK) names.push_back("mark");
    }
    // The line string has a name but nothing of its own to fill or mark.
    EXPECT_EQ(names, (std::vector<std::string>{"layer shapes", "square", "face 1", "", "edges 1-4",
                                               "layer places", "mark", "mark"}));
    // The page: 16 x 16 steps (the extent of the data; no bbox) of 0.5 x 0.25.
    EXPECT_EQ(d.header.resolution, (kvgr::Point{16, 16}));
    EXPECT_EQ(d.header.millimetres, (kvgr::Point{200, 100}));
}

TEST(TopoJsonImport, UnquantizedTopologyKeepsItsCoordinates) {
    TempPath in(".json"), out;
    writeText(in.str(), R"({"type": "Topology", "bbox": [-10.5, 20.25, 30.5, 40.75],
        "arcs": [[[-10.5, 20.25], [30.5, 20.25], [30.5, 40.75], [-10.5, 20.25]]],
        "objects": {"triangle": {"type": "Polygon", "arcs": [[0]]}}})");
    ASSERT_EQ(kvg({"import", "topojson", in.str(), "-o", out.str()}).status, 0);
    const Decoded d = decodeFile(out.str());
    ASSERT_FALSE(d.error) << d.error->message();
    // Raw mode: the file window is the bbox's size centred on 0.
    EXPECT_EQ(d.header.windowMin, (kvgr::Point{-20.5, -10.25}));
    const auto points =
        kvgr::chainPoints(d.definitions.edges[0].start, d.definitions.edges[0].steps);
    EXPECT_EQ(points, (std::vector<kvgr::Point>{
                          {-20.5, -10.25}, {20.5, -10.25}, {20.5, 10.25}, {-20.5, -10.25}}));
}

TEST(TopoJsonImport, MalformedInputFailsClearlyWithExitOne) {
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    std::string nested = R"({"type": "Topology", "arcs": [], "objects": {"o": )";
    for (int i = 0; i < 70; ++i) nested += R"({"type": "GeometryCollection", "geometries": [)";
    for (int i = 0; i < 70; ++i) nested += "]}";
    nested += "}}";
    const std::string topology = R"({"type": "Topology", "arcs": [[[0, 0], [1, 1]]], )";
    const std::pair<std::string, std::string> cases[] = {
        {"", "invalid JSON: parse error at line 1, column 1: syntax error"},
        {"{\"type\": ", "invalid JSON: "},
        {deep, "not a TopoJSON topology"},
        {R"({"type": "Feature"})", "topology: not a TopoJSON topology"},
        {R"({"type": "Topology", "objects": {}})", "topology: \"arcs\" missing"},
        {R"({"type": "Topology", "arcs": {}, "objects": {}})", "arcs: an array expected"},
        {R"({"type": "Topology", "arcs": [[]], "objects": {}})",
         "arcs[0]: an arc without positions"},
        {R"({"type": "Topology", "arcs": [[[0, "x"]]], "objects": {}})",
         "arcs[0][0][1]: a number expected"},
        {R"({"type": "Topology", "arcs": [[[0]]], "objects": {}})",
         "arcs[0][0]: a position [x, y] expected"},
        {R"({"type": "Topology", "arcs": [[[1e999, 0]]], "objects": {}})",
         "invalid JSON: number overflow"},
        {R"({"type": "Topology", "transform": {"scale": [0, 1], "translate": [0, 0]},
             "arcs": [], "objects": {}})",
         "transform.scale: a scale of 0"},
        {R"({"type": "Topology", "transform": {"scale": [1, 1]}, "arcs": [], "objects": {}})",
         "transform: \"translate\" missing"},
        {R"({"type": "Topology", "bbox": [0, 1], "arcs": [], "objects": {}})",
         "bbox: [x0, y0, x1, y1] expected"},
        {R"({"type": "Topology", "transform": {"scale": [1e-300, 1], "translate": [0, 0]},
             "bbox": [0, 0, 1, 1], "arcs": [], "objects": {}})",
         "bbox: spans too many quantization steps"},
        {R"({"type": "Topology", "transform": {"scale": [1e-300, 1], "translate": [0, 0]},
             "bbox": [-1e300, 0, 1e300, 1], "arcs": [], "objects": {}})",
         "bbox: spans too many quantization steps"},
        {topology + R"("objects": []})", "objects: an object expected"},
        {topology + R"("objects": {"o": {"type": "Polygon", "arcs": [[1]]}}})",
         "objects.o.arcs[0][0]: arc index 1 out of range (1 arcs)"},
        {topology + R"("objects": {"o": {"type": "Polygon", "arcs": [[-2]]}}})",
         "objects.o.arcs[0][0]: arc index -2 out of range (1 arcs)"},
        {topology + R"("objects": {"o": {"type": "LineString", "arcs": [0.5]}}})",
         "objects.o.arcs[0]: an arc index expected"},
        {topology + R"("objects": {"o": {"type": "Circle", "arcs": []}}})",
         "objects.o.type: unknown geometry type \"Circle\""},
        {topology + R"("objects": {"o": {"type": "MultiPolygon"}}})",
         "objects.o: \"arcs\" missing"},
        {topology + R"("objects": {"o": {"type": "Point", "coordinates": 5}}})",
         "objects.o.coordinates: a position [x, y] expected"},
        {topology + R"("objects": {"o": 3}})", "objects.o: a geometry object expected"},
        {nested, "geometry collections nested too deeply"},
    };
    TempPath in(".json"), out;
    for (const auto &[json, message] : cases) {
        writeText(in.str(), json);
        const ToolRun r = kvg({"import", "topojson", in.str(), "-o", out.str()});
        EXPECT_EQ(r.status, 1) << message;
        EXPECT_EQ(r.err.rfind("kvg import: " + in.str() + ": ", 0), 0u) << r.err;
        EXPECT_TRUE(contains(r.err, message)) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST(TopoJsonImport, UsageAndFiles) {
    ScratchDirectory here;
    fs::copy_file(WORLD, "world.json");
    ToolRun r = kvg({"import", "topojson", "world.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists("world.kvg"));
    r = kvg({"import", "geojson", "world.json"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("kvg import: unknown format 'geojson'", 0), 0u) << r.err;
    EXPECT_EQ(kvg({"import", "topojson"}).status, 2);
    r = kvg({"import", "topojson", "absent.json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kvg import: cannot read absent.json\n");
    r = kvg({"import", "topojson", "world.json", "-o", "no-such-directory/w.kvg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("kvg import: cannot write no-such-directory/w.kvg", 0), 0u) << r.err;
}

TEST(SvgRaster, WorldMapLooksAsDrawn) {
    if (!haveRenderer()) GTEST_SKIP() << "rsvg-convert is not installed";
    TempPath kvgPath, svgPath(".svg");
    ASSERT_EQ(kvg({"import", "topojson", WORLD, "-o", kvgPath.str()}).status, 0);
    ASSERT_EQ(kvg({"svg", kvgPath.str(), "-o", svgPath.str()}).status, 0);
    const Image image = rasterize(svgPath.str());
    const Decoded d = decodeFile(kvgPath.str());
    ASSERT_EQ(image.width, uint32_t(pixelsPerMillimetre(d.header.millimetres.x)));
    ASSERT_EQ(image.height, uint32_t(pixelsPerMillimetre(d.header.millimetres.y)));
    // Longitude and latitude to pixels, through the topology's quantization and the grid.
    const nlohmann::json topology = nlohmann::json::parse(readText(WORLD));
    const auto &t = topology["transform"];
    const kvgr::Point steps = d.header.resolution;
    const auto at = [&](double lon, double lat) {
        const double qx = (lon - t["translate"][0].get<double>()) / t["scale"][0].get<double>();
        const double qy = (lat - t["translate"][1].get<double>()) / t["scale"][1].get<double>();
        return image.at(static_cast<uint32_t>(qx / steps.x * image.width),
                        static_cast<uint32_t>((1 - qy / steps.y) * image.height));
    };
    const auto land = [](Rgba c) { return !near(c, 0xFFFFFF) && c.r > 150 && c.g > 150; };
    const std::pair<double, double> lands[] = {{-52, -10}, {2, 28},   {100, 62}, {134, -25},
                                               {-100, 45}, {-40, 74}, {0, -82}};
    const std::pair<double, double> seas[] = {{-30, -30}, {-150, 0}, {70, -30}, {-40, 40}};
    for (const auto &[lon, lat] : lands)
        EXPECT_TRUE(land(at(lon, lat))) << lon << "," << lat << " " << describe(at(lon, lat));
    for (const auto &[lon, lat] : seas)
        EXPECT_TRUE(near(at(lon, lat), 0xFFFFFF))
            << lon << "," << lat << " " << describe(at(lon, lat));
}

}  // namespace
}  // namespace kvgtest
