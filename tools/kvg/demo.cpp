// The demonstration drawing: an island of two countries that share a border, with a lake cut
// out of one of them, roads, a river, a forest of one stamped tree, towns and labels, a legend
// with the single figures and two images, and a hidden layer. World units are half
// millimetres on a 160 x 100 mm page, 12.8 file units each, with the origin in the middle:
// shapes are drawn around the origin, which is the centre of the file grid.
#include "demo.h"

#include <array>
#include <vector>

#include "kvgwriter.hpp"

namespace kvgtool {

namespace {

using kvg::Point;

constexpr kvg::Options OPTIONS{.world = {-160, 160, -100, 100},
                               .width_mm = 160,
                               .height_mm = 100,
                               .width_res = 4096,
                               .height_res = 2560};

// ---- The planar map: two coasts and a border between the same two points, and a lake.
constexpr Point WEST_COAST[] = {{-10, -64}, {-40, -68}, {-70, -60}, {-96, -44}, {-112, -16},
                                {-116, 10}, {-104, 36}, {-80, 56},  {-50, 68},  {-20, 64}};
constexpr Point EAST_COAST[] = {{-20, 64}, {10, 70},  {40, 60},  {70, 44},  {90, 16},
                                {94, -10}, {80, -36}, {50, -56}, {20, -68}, {-10, -64}};
constexpr Point BORDER[] = {{-10, -64}, {-4, -40}, {-16, -16}, {-8, 10}, {-18, 36}, {-20, 64}};
constexpr Point LAKE_SHORE[] = {{30, -10}, {44, 4},   {60, 0},  {64, -16},
                                {48, -28}, {32, -24}, {30, -10}};

constexpr Point ROAD[] = {{-90, -22}, {-60, -30}, {-30, -24}, {-12, -4},
                          {10, 20},   {40, 30},   {62, 24}};
constexpr Point TRACK[] = {{-94, -16}, {-88, 10}, {-70, 50}};
constexpr Point FIELD[] = {{-36, 0}, {-20, -4}, {-18, 20}, {-34, 24}};
constexpr Point ISLET[] = {{-138, 70}, {-126, 76}, {-120, 66}, {-130, 60}};

struct Place {
    Point at;
    const char *name;
    bool capital;
    KVG_TEXT_ALIGNMENT alignment;  // of the label, placed beside the mark
    Point label;
};
constexpr Place PLACES[] = {
    {{-94, -20}, "Westport", true, KVG_TEXT_WEST, {-89, -20}},
    {{62, 24}, "Eastby", true, KVG_TEXT_SOUTHWEST, {65, 27}},
    {{-40, 56}, "Northam", false, KVG_TEXT_NORTH, {-40, 52}},
    {{22, -44}, "Rivermouth", false, KVG_TEXT_EAST, {18, -44}},
    {{76, 0}, "Lakeside", false, KVG_TEXT_BASELEFT, {79, 1}},
};

constexpr KVG_Color BLACK = 0x000000, WHITE = 0xFFFFFF, COAST = 0x1F3A5F, BORDER_RED = 0xB22222,
                    ROAD_BROWN = 0x8B4513, WATER = 0x6FA8DC, LAND_WEST = 0xC5E0B4,
                    LAND_EAST = 0xF3E3B0, DARK_GREEN = 0x2E6B30, LABEL = 0x333333;

// A 12 x 8 sunset, first row at the bottom: sea, then sky from orange to violet, and a sun.
std::vector<KVG_Color> sunsetPixels() {
    std::vector<KVG_Color> pixels;
    for (int row = 0; row < 8; ++row) {
        for (int col = 0; col < 12; ++col) {
            const int dx = col - 7, dy = row - 3;
            if (row < 2)
                pixels.push_back(0x1F4E79 + 0x000811 * static_cast<KVG_Color>(col % 3));
            else if (dx * dx + dy * dy <= 4)
                pixels.push_back(0xFFE066);
            else
                pixels.push_back(KVG_encodeRGBColor(static_cast<uint8_t>(250 - 18 * row),
                                                    static_cast<uint8_t>(150 - 16 * row),
                                                    static_cast<uint8_t>(60 + 22 * row)));
        }
    }
    return pixels;
}

// An 8 x 8 pattern of palette indexes: furrows of two greens with a yellow diagonal.
std::vector<KVG_Color> fieldIndexes() {
    std::vector<KVG_Color> indexes;
    for (KVG_Color row = 0; row < 8; ++row)
        for (KVG_Color col = 0; col < 8; ++col) indexes.push_back(col == row ? 2 : (col / 2) % 2);
    return indexes;
}

struct Definitions {
    uint32_t sunset, field, tree, compass;
    int32_t westCoast, eastCoast, border, lakeShore;
    uint32_t lake, westland, eastland;
};

uint32_t defineTree(kvg::File &f) {
    const uint32_t id = f.beginSetShape(3, 5);
    f.setFill(true);
    f.setFillColor(0x6B4226);
    f.box(-0.5, -5, 1, 3);
    f.setFillColor(DARK_GREEN);
    const Point crown[] = {{-3, -2}, {3, -2}, {0, 5}};
    f.polygon(crown);
    f.setFill(false);
    f.endSetShape();
    return id;
}

uint32_t defineCompass(kvg::File &f) {
    const uint32_t id = f.beginSetShape(5, 5);
    f.setFill(true);
    f.setFillColor(LABEL);
    const Point needle[] = {{0, 5}, {2.5, -4}, {0, -2}, {-2.5, -4}};
    f.polygon(needle);
    f.setFill(false);
    f.setLineColor(LABEL);
    f.circle(0, 0, 2.5);
    f.endSetShape();
    return id;
}

// Images, shapes, edges and faces; the images are defined from the first layer, whose colour
// size and palette the index image takes.
Definitions define(kvg::File &f) {
    Definitions d{};
    d.tree = defineTree(f);
    d.compass = defineCompass(f);
    d.westCoast = f.setEdge(WEST_COAST);
    d.eastCoast = f.setEdge(EAST_COAST);
    d.border = f.setEdge(BORDER);
    d.lakeShore = f.setEdge(LAKE_SHORE);
    const int32_t lake[] = {d.lakeShore};
    d.lake = f.setFace(lake);
    const int32_t west[] = {d.westCoast, -d.border};
    d.westland = f.setFace(west);
    const int32_t east[] = {d.eastCoast, d.border};
    const uint32_t holes[] = {d.lake};
    d.eastland = f.setFace(east, holes);
    return d;
}

void defineImages(kvg::File &f, Definitions &d) {
    d.sunset = f.setImage(12, 8, sunsetPixels());
    const KVG_Color greens[] = {0xA9D18E, 0x548235, 0xFFD966};
    f.setPalette(greens);
    f.setColorSize(KVG_COLOR_INDEX8);
    d.field = f.setImage(8, 8, fieldIndexes());
    f.setColorSize(KVG_COLOR_RGB);
}

void drawSea(kvg::File &f) {
    f.beginLayer("sea");
    f.extension("generator", "kvg demo");
    f.setBlendMode(KVG_BLEND_SOURCE_OVER_DEST);
    f.setFill(true);
    f.setGradientFill({0, -100}, 0x1F4E79, {0, 100}, 0x9DC3E6);
    f.box(-160, -100, 320, 200);
    f.setFill(false);
    f.setLineColor(WHITE);
    f.setLineStyle(KVG_JOINT_ROUND, KVG_NO_ARROW, KVG_NO_ARROW, 1);
    for (const Point wave : {Point{-140, -76}, Point{-126, 20}, Point{110, 80}, Point{64, -82},
                             Point{-70, 86}, Point{-144, -30}})
        f.arc(wave.x, wave.y, 12, 6, 20, 160);
    f.setFillColor(LAND_WEST);
    f.setFill(true);
    f.polygon(ISLET);
    f.setFill(false);
    f.setLineColor(COAST);
    f.polygon(ISLET);
}

void drawLand(kvg::File &f, const Definitions &d) {
    f.beginLayer("land");
    f.beginObject("Westland");
    f.setFillColor(LAND_WEST);
    f.face(d.westland);
    f.setTextureFill(0, 0, d.field);
    f.setFill(true);
    f.polygon(FIELD);
    f.setFillColor(WATER);
    f.begin(KVG_BEGIN_CUBIC, -56, -52);  // a pond
    f.cubic({-48, -58}, {-36, -52}, {-40, -46});
    f.cubic({-44, -40}, {-58, -42}, {-56, -52});
    f.end();
    f.endObject();
    f.beginObject("Eastland");
    f.setFillColor(LAND_EAST);
    f.face(d.eastland);
    f.endObject();
    f.setFillColor(WATER);
    f.face(d.lake);
}

void drawLines(kvg::File &f, const Definitions &d) {
    f.beginLayer("lines");
    f.setLineColor(COAST);
    f.setLineStyle(KVG_JOINT_ROUND, KVG_NO_ARROW, KVG_NO_ARROW, 1);
    f.edgeRange(static_cast<int16_t>(d.westCoast), static_cast<int16_t>(d.eastCoast));
    f.edge(d.lakeShore);
    f.setLineColor(BORDER_RED);
    f.setLineDashes(0xFF18);
    f.edge(d.border);
    f.setLineDashes(0xFFFF);
    f.setLineColor(WATER);
    f.begin(KVG_BEGIN_CUBIC, 40, -27);  // the river
    f.cubic({30, -36}, {40, -46}, {32, -52});
    f.cubic({24, -58}, {26, -62}, {22, -66});
    f.end();
    f.setLineColor(ROAD_BROWN);
    f.setLineStyle(KVG_JOINT_ROUND, KVG_OVAL_ARROW, KVG_ARROW, 2);
    f.polyline(ROAD);
    f.setColorSize(KVG_COLOR_GRAY8);
    f.setLineColor(0x60);
    f.setColorSize(KVG_COLOR_RGB);
    f.setLineStyle(KVG_JOINT_BEVEL, KVG_NO_ARROW, KVG_STEALTH_ARROW, 1);
    f.setLineDashes(0xCCCC);
    f.polyline(TRACK);
}

void drawForest(kvg::File &f, const Definitions &d) {
    f.beginLayer("forest");
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 6; ++col)
            f.stampShape(d.tree, -86 + 8 * col + 4 * (row % 2), 10 * row);
    f.shape(d.tree, -24, 44, -10, 9, 15);
    f.shape(d.compass, 132, 76, 20, 16, 16);
}

void drawPlaces(kvg::File &f) {
    f.beginLayer("places");
    f.setTextColor(LABEL);
    f.setFont(KVG_FONT_SANS_SERIF, KVG_FONT_PLAIN, 5);
    for (const Place &place : PLACES) {
        f.setMarkColor(place.capital ? BORDER_RED : BLACK);
        f.setMarkStyle(place.capital ? KVG_MARK_STAR : KVG_MARK_CIRCLE, place.capital ? 10 : 6);
        f.mark(place.at.x, place.at.y);
        f.setTextAlignment(place.alignment, 0);
        f.text(place.label.x, place.label.y, place.name);
    }
    f.setFont(KVG_FONT_SANS_SERIF, KVG_FONT_BOLD, 9);
    f.setTextAlignment(KVG_TEXT_BASECENTER, 0);
    f.text(-62, 38, "Westland");
    f.text(36, 40, "Eastland");
    f.setTextColor(COAST);
    f.setFont(KVG_FONT_SERIF, KVG_FONT_ITALIC, 5);
    f.setTextAlignment(KVG_TEXT_CENTER, 0);
    f.text(47, -12, "Lake Mira");
    f.setTextAlignment(KVG_TEXT_CENTER, 70);
    f.text(31, -42, "river");
    f.setTextColor(WHITE);
    f.setFont(KVG_FONT_SERIF, KVG_FONT_BOLD_ITALIC, 10);
    f.setTextAlignment(KVG_TEXT_CENTER, 12);
    f.text(50, 86, "Northern Sea");
    f.setTextAlignment(KVG_TEXT_CENTER, 0);
    f.text(-60, -88, "Southern Sea");
}

// One row of the legend: a sample drawn by `sample` at x = 111, and its caption.
template <class Sample>
void legendRow(kvg::File &f, double y, const char *caption, Sample sample) {
    sample(111.0, y);
    f.text(120, y, caption);
}

void drawLegend(kvg::File &f, const Definitions &d) {
    f.beginLayer("legend");
    f.setColorSize(KVG_COLOR_RGBA);
    f.setFillColor(0xFFFFFFD8);
    f.setColorSize(KVG_COLOR_RGB);
    f.setFill(true);
    f.box(102, -94, 54, 118);
    f.setFill(false);
    f.setLineColor(LABEL);
    f.box(102, -94, 54, 118);
    f.setTextColor(LABEL);
    f.setFont(KVG_FONT_SANS_SERIF, KVG_FONT_BOLD, 6);
    f.setTextAlignment(KVG_TEXT_NORTH, 0);
    f.text(129, 21, "Legend");
    f.setFont(KVG_FONT_MONOSPACED, KVG_FONT_PLAIN, 4);
    f.setTextAlignment(KVG_TEXT_WEST, 0);
    f.setMarkColor(BORDER_RED);
    f.setMarkStyle(KVG_MARK_HOLLOW_DIAMOND, 9);
    legendRow(f, 8, "capital", [&](double x, double y) { f.mark(x, y); });
    f.setLineColor(ROAD_BROWN);
    f.setLineStyle(KVG_JOINT_MITER, KVG_DIAMOND_ARROW, KVG_OPEN_ARROW, 1);
    legendRow(f, -1, "road", [&](double x, double y) { f.line(x - 5, y, x + 5, y); });
    f.setLineColor(BORDER_RED);
    f.setLineStyle(KVG_JOINT_DEFAULT, KVG_NO_ARROW, KVG_NO_ARROW, 1);
    f.setLineDashes(0xFF18);
    legendRow(f, -9, "border", [&](double x, double y) { f.line(x - 5, y, x + 5, y); });
    f.setLineDashes(0xFFFF);
    f.setLineColor(COAST);
    f.setFillColor(WATER);
    f.setFill(true);
    legendRow(f, -18, "circle", [&](double x, double y) { f.circle(x, y, 2.5); });
    f.setFill(false);
    legendRow(f, -26, "ellipse", [&](double x, double y) { f.ellipse(x, y, 9, 5); });
    f.setFill(true);
    legendRow(f, -35, "arc", [&](double x, double y) { f.arc(x, y, 8, 8, 30, 300); });
    f.setFill(false);
    f.setImageStretchMode(KVG_STRETCH_NEAREST);
    f.image(d.sunset, 106, -60, 18, 12);
    f.setImageStretchMode(KVG_STRETCH_BILINEAR);
    f.subImage(d.sunset, 4, 0, 8, 6, 130, -60, 16, 12);
    f.setTextAlignment(KVG_TEXT_NORTH, 0);
    f.text(129, -62, "image, part");
    f.setStretchedTextureFill(106, -86, 40, 12, d.sunset);
    f.setFill(true);
    f.ellipse(126, -80, 40, 12);
    f.setFill(false);
}

void drawNotes(kvg::File &f) {
    f.beginLayer("notes", false, false);
    f.setTextColor(BORDER_RED);
    f.setFont(KVG_FONT_DEFAULT, KVG_FONT_PLAIN, 8);
    f.text(0, 0, "a hidden layer");
}

}  // namespace

void writeDemo(const std::string &path) {
    kvg::File f(path, OPTIONS);
    Definitions d = define(f);
    drawSea(f);
    defineImages(f, d);
    drawLand(f, d);
    drawLines(f, d);
    drawForest(f, d);
    drawPlaces(f);
    drawLegend(f, d);
    drawNotes(f);
    f.close();
}

}  // namespace kvgtool
