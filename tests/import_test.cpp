// kvg import: shared topology from every format OGR reads, the antimeridian and the poles,
// projections, pages whatever the data's units, styling, TopoJSON (a source's own arcs kept;
// malformed and hostile topologies), and bad input refused without leaving output behind.
#include <gtest/gtest.h>
#include <ogr_api.h>
#include <ogr_spatialref.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "antimeridian.h"
#include "decoder.h"
#include "import_report.h"
#include "import_support.h"
#include "sphere_cut.h"
#include "tear.h"
#include "kvgimport.h"
#include "test_support.h"
#include "tool_support.h"
#include "topology.h"

namespace kvgtest {
namespace {

namespace fs = std::filesystem;
namespace fmt = kvgfmt;
using kvgimport::ChainInput;
using kvgimport::GridPos;

const std::string WORLD = std::string(KVG_TEST_DATA_DIR) + "/countries-110m.json";

// Three squares that meet at their borders, the upper one with a hole that an enclave fills:
// 7 distinct arcs (three borders, three outer runs, the enclave's ring), 5 rings.
const std::string REGIONS = R"({"type": "FeatureCollection", "features": [
  {"type": "Feature", "properties": {"name": "A", "pop": 10, "kind": "land"},
   "geometry": {"type": "Polygon", "coordinates": [[[0,0],[2,0],[2,2],[0,2],[0,0]]]}},
  {"type": "Feature", "properties": {"name": "B", "pop": 20, "kind": "land"},
   "geometry": {"type": "Polygon", "coordinates": [[[2,0],[4,0],[4,2],[2,2],[2,0]]]}},
  {"type": "Feature", "properties": {"name": "C", "pop": 30, "kind": "sea"},
   "geometry": {"type": "Polygon", "coordinates": [[[0,2],[2,2],[4,2],[4,4],[0,4],[0,2]],
                                                   [[1,2.5],[2,2.5],[2,3.5],[1,3.5],[1,2.5]]]}},
  {"type": "Feature", "properties": {"name": "D", "pop": 40, "kind": "lake"},
   "geometry": {"type": "Polygon", "coordinates": [[[1,2.5],[1,3.5],[2,3.5],[2,2.5],[1,2.5]]]}}
]})";

std::string geojson(const std::string &features) {
    return R"({"type": "FeatureCollection", "features": [)" + features + "]}";
}

std::string polygonFeature(const std::string &name, const std::string &rings) {
    return R"({"type": "Feature", "properties": {"name": ")" + name +
           R"("}, "geometry": {"type": "Polygon", "coordinates": )" + rings + "}}";
}

struct Imported {
    ToolRun run;
    Decoded file;
};

Imported import(const std::string &input, std::vector<std::string> options = {}) {
    TempPath out;
    // No margin: the map's window is its grid.
    std::vector<std::string> args = {"import", input, "--margin", "0", "-o", out.str()};
    args.insert(args.end(), options.begin(), options.end());
    ToolRun r = kvg(args);
    if (r.status != 0) return {r, {}};
    expectValidKvg(out.str());
    return {r, decodeFile(out.str())};
}

// The objects that fill faces, by name, with the fill colour in force.
std::map<std::string, uint32_t> fillsByObject(const Decoded &d) {
    std::map<std::string, uint32_t> fills;
    std::string object;
    uint32_t colour = 0;
    for (const kvgr::impl::Record &r : d.records) {
        if (r.code == fmt::OBJECT) object = std::get<kvgr::impl::Object>(r.payload).name;
        if (r.code == fmt::FILL_COLOR) colour = std::get<kvgr::impl::ColorAttribute>(r.payload).color.value;
        if (r.code == fmt::FILL_FACE) fills[object] = colour;
    }
    return fills;
}

std::vector<std::string> texts(const Decoded &d) {
    std::vector<std::string> result;
    for (const kvgr::impl::Record &r : d.records)
        if (r.code == fmt::TEXT) result.push_back(std::get<kvgr::impl::Text>(r.payload).text);
    return result;
}

std::vector<std::string> objects(const Decoded &d) {
    std::vector<std::string> result;
    for (const kvgr::impl::Record &r : d.records)
        if (r.code == fmt::OBJECT) result.push_back(std::get<kvgr::impl::Object>(r.payload).name);
    return result;
}

// How many of the faces' edge references name each edge.
std::map<int32_t, int> edgeUses(const Decoded &d) {
    std::map<int32_t, int> uses;
    for (const kvgr::impl::FaceDefinition &face : d.definitions.faces)
        for (const int32_t e : face.edges) ++uses[std::abs(e)];
    return uses;
}

// ---- Topology

TEST(ImportTopology, BordersAreSharedOnceInEveryFormatOgrReads) {
    TempPath source(".geojson");
    writeText(source.str(), REGIONS);
    const std::pair<std::string, std::vector<std::string>> formats[] = {
        {".shp", {"-f", "ESRI Shapefile"}},
        {".gpkg", {"-f", "GPKG"}},
        {".fgb", {"-f", "FlatGeobuf"}},
        {".kml", {"-f", "KML"}},
        {".csv", {"-f", "CSV", "-lco", "GEOMETRY=AS_WKT"}},
    };
    std::vector<std::string> inputs = {source.str()};
    std::vector<std::unique_ptr<TempPath>> converted;
    for (const auto &[extension, args] : formats) {
        converted.push_back(std::make_unique<TempPath>(extension));
        translate(source.str(), converted.back()->str(), args);
        inputs.push_back(converted.back()->str());
    }
    for (const std::string &input : inputs) {
        SCOPED_TRACE(input);
        const Imported m = import(input);
        ASSERT_EQ(m.run.status, 0) << m.run.err;
        EXPECT_EQ(m.file.count(fmt::SET_EDGE), 7);
        EXPECT_EQ(m.file.count(fmt::SET_FACE), 5);
        EXPECT_EQ(m.file.count(fmt::FILL_FACE), 4);
        // The three borders and the enclave's ring in two faces each, the rest in one.
        std::multiset<int> uses;
        for (const auto &[edge, n] : edgeUses(m.file)) uses.insert(n);
        EXPECT_EQ(uses, (std::multiset<int>{1, 1, 1, 2, 2, 2, 2}));
        EXPECT_TRUE(contains(m.run.out, "4 features in 1 layers, 7 arcs as edges (4 shared), 5 rings"))
            << m.run.out;
        // Neighbours differ: every pair of these four touches but A and D.
        const auto fills = fillsByObject(m.file);
        ASSERT_EQ(fills.size(), 4u);
        for (const auto &[a, b] : {std::pair{"A", "B"}, {"A", "C"}, {"B", "C"}, {"C", "D"}})
            EXPECT_NE(fills.at(a), fills.at(b)) << a << " " << b;
    }
    if (!::testing::Test::HasFailure()) {
        // Tracks of a GPX file that cross: four arcs meeting at the crossing.
        TempPath gpx(".gpx");
        writeText(gpx.str(), R"(<?xml version="1.0"?><gpx version="1.1" creator="test">
            <trk><name>one</name><trkseg><trkpt lat="0" lon="0"/><trkpt lat="1" lon="1"/>
              <trkpt lat="2" lon="2"/></trkseg></trk>
            <trk><name>two</name><trkseg><trkpt lat="2" lon="0"/><trkpt lat="1" lon="1"/>
              <trkpt lat="0" lon="2"/></trkseg></trk></gpx>)");
        const Imported m = import(gpx.str(), {"--layer", "tracks"});
        ASSERT_EQ(m.run.status, 0) << m.run.err;
        EXPECT_EQ(m.file.count(fmt::SET_EDGE), 4);
        EXPECT_EQ(objects(m.file).size(), 0u);  // lines are edges alone
    }
}

TEST(ImportTopology, JunctionsCutChainsAndEveryArcIsKeptOnce) {
    // A ring met again rotated and reversed is the same closed arc; a line crossing another
    // is cut where they meet; a line along part of a ring cuts the ring where they part.
    const ChainInput square{{{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}}, true};
    const ChainInput turned{{{4, 4}, {4, 0}, {0, 0}, {0, 4}, {4, 4}}, true};
    const ChainInput along{{{8, 0}, {4, 0}, {4, 4}, {8, 4}}, false};
    const ChainInput cross{{{2, -2}, {2, 2}, {2, 6}}, false};
    const ChainInput other{{{0, 2}, {2, 2}, {4, 2}}, false};
    const kvgimport::Topology t = kvgimport::buildTopology({square, turned}, {});
    ASSERT_EQ(t.arcs.size(), 1u);
    EXPECT_EQ(t.chains[0], std::vector<int32_t>{1});
    EXPECT_EQ(t.chains[1], std::vector<int32_t>{-1});
    EXPECT_EQ(t.uses, std::vector<uint32_t>{2});

    const kvgimport::Topology u = kvgimport::buildTopology({square, along, cross, other}, {});
    // The square parts from the line at (4,0) and (4,4): its side between them is shared.
    ASSERT_EQ(u.chains[0].size(), 2u);
    ASSERT_EQ(u.chains[1].size(), 3u);
    EXPECT_EQ(std::abs(u.chains[1][1]), std::abs(u.chains[0][0]) == std::abs(u.chains[1][1])
                                            ? std::abs(u.chains[0][0])
                                            : std::abs(u.chains[0][1]));
    // The two straight lines cross at (2,2): each in two pieces.
    EXPECT_EQ(u.chains[2].size(), 2u);
    EXPECT_EQ(u.chains[3].size(), 2u);
    size_t points = 0;
    for (const kvgimport::Chain &arc : u.arcs) points += arc.size();
    EXPECT_EQ(u.arcs.size(), 2u + 2 + 2 + 2);  // square 2, line 2 more, the crossing lines 4
    EXPECT_EQ(points, 3u + 3 + 2 + 2 + 2 + 2 + 2 + 2);
    // A junction given beforehand (a source's own arc end) cuts the ring too.
    const kvgimport::Topology v = kvgimport::buildTopology({square}, {{4, 4}});
    ASSERT_EQ(v.arcs.size(), 1u);
    EXPECT_EQ(v.arcs[0].front(), (GridPos{4, 4}));
}

// ---- The antimeridian and the poles

TEST(ImportAntimeridian, CrossingRingsAreCutAndPolarRingsClosed) {
    TempPath source(".geojson");
    writeText(source.str(),
              geojson(polygonFeature("Strait", "[[[170,-10],[-170,-10],[-170,10],[170,10],[170,-10]]]") +
                      "," +
                      polygonFeature("Cap", "[[[0,-70],[90,-75],[179,-70],[-179,-72],[-90,-70],[0,-70]]]") +
                      R"(,{"type": "Feature", "properties": {}, "geometry": {"type": "LineString",
                           "coordinates": [[160,50],[-160,60]]}})"));
    const Imported m = import(source.str());
    ASSERT_EQ(m.run.status, 0) << m.run.err;
    const kvgr::impl::Header &h = m.file.header;
    const double width = h.windowMax.x - h.windowMin.x;
    // Nothing spans the map: no step of any edge is as wide as half the map (the cap's own
    // steps are a quarter) but the pole's edge, along the bottom of the map.
    for (const kvgr::impl::EdgeDefinition &edge : m.file.definitions.edges) {
        const std::vector<kvgr::impl::Point> points = kvgr::impl::chainPoints(edge.start, edge.steps);
        for (size_t i = 1; i < points.size(); ++i)
            if (std::fabs(points[i].x - points[i - 1].x) >= width / 2)
                ASSERT_TRUE(points[i].y == h.windowMin.y && points[i - 1].y == h.windowMin.y);
    }
    EXPECT_EQ(h.resolution.x, 100000);
    double lowest = INFINITY;
    for (const kvgr::impl::EdgeDefinition &edge : m.file.definitions.edges)
        for (const kvgr::impl::Point &p : kvgr::impl::chainPoints(edge.start, edge.steps)) lowest = std::min(lowest, p.y);
    EXPECT_EQ(lowest, h.windowMin.y);  // the cap reaches the pole, the bottom of the map
    // The strait in two pieces at the map's two sides, the cap in one, the line in two.
    EXPECT_EQ(m.file.count(fmt::FILL_FACE), 3);
    const std::vector<kvgimport::Path> pieces = kvgimport::cutPath({{160, 50}, {-160, 60}});
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].back(), (kvgimport::Pos{180, 55}));
    EXPECT_EQ(pieces[1].front(), (kvgimport::Pos{-180, 55}));
}

// ---- Projections, pages and the y axis

TEST(ImportProjection, ProjectsThroughProjAndRefusesWhatItCannot) {
    const Imported robinson = import(WORLD, {"--project", "ESRI:54030"});
    ASSERT_EQ(robinson.run.status, 0) << robinson.run.err;
    // Robinson's world is about 1.97 times as wide as high.
    const kvgr::impl::Point mm = robinson.file.header.millimetres;
    EXPECT_NEAR(mm.x / mm.y, 1.97, 0.03);

    TempPath csv(".csv");
    writeText(csv.str(), "WKT,name\n\"POLYGON((0 0,1 0,1 1,0 0))\",t\n");
    ToolRun r = kvg({"import", csv.str(), "--project", "EPSG:3857", "-o", "never.kvg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kvg import: " + csv.str() +
                         ": the source declares no CRS, so it cannot be projected to 'EPSG:3857'\n");
    r = kvg({"import", WORLD, "--project", "EPSG:999999", "-o", "never.kvg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, ": unknown CRS 'EPSG:999999'")) << r.err;
    EXPECT_FALSE(fs::exists("never.kvg"));
}

TEST(ImportProjection, TearsAreReadFromWhatProjSaysOfTheCrs) {
    using kvgimport::Tear;
    const auto tear = [](const char *crs) {
        OGRSpatialReference to;
        EXPECT_EQ(to.SetFromUserInput(crs), OGRERR_NONE) << crs;
        return kvgimport::tearOf(kvgimport::projString(to));
    };
    const Tear equalEarth = tear("EPSG:8859");
    EXPECT_EQ(equalEarth.kind, Tear::seam);
    EXPECT_EQ(equalEarth.lon0, 150);
    EXPECT_EQ(tear("+proj=robin +lon_0=150").lon0, 150);
    EXPECT_EQ(tear("EPSG:5070").lon0, -96);
    const Tear ortho = tear("+proj=ortho +lat_0=40 +lon_0=-30");
    EXPECT_EQ(ortho.kind, Tear::horizon);
    EXPECT_EQ(ortho.lat0, 40);
    EXPECT_NEAR(ortho.radius, 90, 1e-5);
    const Tear north = tear("EPSG:3413");
    EXPECT_EQ(north.kind, Tear::horizon);
    EXPECT_EQ(north.lat0, 90);
    EXPECT_EQ(north.lon0, -45);
    EXPECT_NEAR(tear("+proj=gnom +lat_0=90").radius, 60, 1e-5);
    // A satellite 35,786 km up sees 81.3° round the point beneath it.
    EXPECT_NEAR(tear("+proj=nsper +h=35786000 +lat_0=10").radius, 81.3, 0.05);
    EXPECT_EQ(tear("EPSG:3035").kind, Tear::none);
    const Tear utm = tear("EPSG:32633");  // UTM zone 33N: its middle meridian, 15°E
    EXPECT_EQ(utm.kind, Tear::seam);
    EXPECT_TRUE(utm.transverse);
    EXPECT_EQ(utm.lon0, 15);

    // Turning and back is the identity, the turned centre at (0, 0).
    const kvgimport::SphereCut cut(ortho, -90, 90);
    const kvgimport::Pos centre = cut.turn({-30, 40});
    EXPECT_NEAR(centre.x, 0, 1e-9);
    EXPECT_NEAR(centre.y, 0, 1e-9);
    for (const kvgimport::Pos p : {kvgimport::Pos{170, -60}, kvgimport::Pos{-100, 80}, kvgimport::Pos{0, 0}}) {
        const kvgimport::Pos back = cut.turnBack(cut.turn(p));
        EXPECT_NEAR(back.x, p.x, 1e-9);
        EXPECT_NEAR(back.y, p.y, 1e-9);
    }
    // The edge along which a map closes a ring round a pole is one point of the sphere.
    std::vector<kvgimport::Pos> ring = {{180, -80}, {180, -90}, {-180, -90}, {-180, -80}, {0, -70}, {180, -80}};
    kvgimport::dropPoleEdges(ring);
    EXPECT_EQ(ring, (std::vector<kvgimport::Pos>{{180, -80}, {-180, -80}, {0, -70}, {180, -80}}));
    std::vector<kvgimport::Pos> apex = {{0, 80}, {0, 90}, {10, 80}, {0, 80}};  // a single point at the pole stays
    kvgimport::dropPoleEdges(apex);
    EXPECT_EQ(apex.size(), 4u);

    // The far side of a globe is counted: clipped where a feature crosses the horizon, left
    // out where nothing of it faces the viewer.
    const Imported globe = import(WORLD, {"--project", "+proj=ortho +lat_0=40 +lon_0=-30"});
    ASSERT_EQ(globe.run.status, 0) << globe.run.err;
    EXPECT_TRUE(contains(globe.run.out, "clipped (beyond the horizon ")) << globe.run.out;
    EXPECT_TRUE(contains(globe.run.out, "left out (beyond the horizon ")) << globe.run.out;
    TempPath never;
    EXPECT_EQ(kvg({"import", WORLD, "--strict", "--project", "+proj=ortho +lat_0=40 +lon_0=-30", "-o", never.str()})
                  .status, 1);
    EXPECT_FALSE(fs::exists(never.str()));
}

TEST(ImportPage, LineWeightsAreMillimetresWhateverTheDataUnits) {
    // A map a thousandth of a unit wide, and one a million units wide: the same page, the same
    // borders of about 0.1 mm (a weight of one data unit was a solid square before).
    for (const double size : {0.001, 1e6}) {
        SCOPED_TRACE(size);
        TempPath csv(".csv");
        const std::string s = std::to_string(size), h = std::to_string(size / 2);
        writeText(csv.str(), "WKT,name\n\"POLYGON((0 0," + s + " 0," + s + " " + h + ",0 " + h +
                                 ",0 0))\",t\n");
        const Imported m = import(csv.str());
        ASSERT_EQ(m.run.status, 0) << m.run.err;
        EXPECT_EQ(m.file.header.millimetres, (kvgr::impl::Point{200, 100}));
        for (const kvgr::impl::Record &r : m.file.records)
            if (r.code == fmt::LINE_STYLE)
                EXPECT_NEAR(std::get<kvgr::impl::LineStyle>(r.payload).weight * m.file.header.worldScale(),
                            0.1, 0.002);
    }
}

TEST(ImportPage, MarginsKeepTheMapOffTheEdgesWithinThePage) {
    // A 2:1 map on a 200 mm page: 4 mm round it by default, the data in 192 x 96 mm.
    TempPath csv(".csv"), out;
    writeText(csv.str(), "WKT,name\n\"POLYGON((0 0,2 0,2 1,0 1,0 0))\",t\n");
    for (const auto &[margin, page] : {std::pair{"", kvgr::impl::Point{200, 104}},
                                       std::pair{"10", kvgr::impl::Point{200, 110}}}) {
        std::vector<std::string> args = {"import", csv.str(), "-o", out.str()};
        if (*margin) args.insert(args.end(), {"--margin", margin});
        ASSERT_EQ(kvg(args).status, 0);
        const Decoded d = decodeFile(out.str());
        EXPECT_EQ(d.header.millimetres, page);
        // The data's grid starts a margin in from the window's corner.
        const double marginMm = *margin ? 10 : 4;
        const double unitMm = d.header.millimetres.x / (d.header.windowMax.x - d.header.windowMin.x);
        const kvgr::impl::EdgeDefinition &edge = d.definitions.edges.at(0);
        double lowest = INFINITY;
        for (const kvgr::impl::Point &p : kvgr::impl::chainPoints(edge.start, edge.steps)) lowest = std::min(lowest, p.x);
        EXPECT_NEAR((lowest - d.header.windowMin.x) * unitMm, marginMm, 0.01);
    }
    EXPECT_EQ(kvg({"import", csv.str(), "--margin", "-1", "-o", out.str()}).status, 2);
}

TEST(ImportPage, FlipYTurnsScreenCoordinatesUpright) {
    // A triangle whose apex is at the top of a screen (y = 0, y growing down).
    TempPath csv(".csv");
    writeText(csv.str(), "WKT,name\n\"POLYGON((0 100,100 100,50 0,0 100))\",t\n");
    for (const bool flip : {false, true}) {
        const Imported m = flip ? import(csv.str(), {"--flip-y"}) : import(csv.str());
        ASSERT_EQ(m.run.status, 0) << m.run.err;
        double apexY = 0, baseY = 0;  // the file's y of the apex (x in the middle) and the base
        for (const kvgr::impl::EdgeDefinition &edge : m.file.definitions.edges)
            for (const kvgr::impl::Point &p : kvgr::impl::chainPoints(edge.start, edge.steps))
                (std::fabs(p.x) < 1 ? apexY : baseY) = p.y;
        EXPECT_EQ(apexY > baseY, flip);
    }
}

// ---- Styling and picking features

TEST(ImportStyle, FillsFromAFieldLabelsAndPickedFeatures) {
    TempPath source(".geojson");
    writeText(source.str(), REGIONS);
    Imported m = import(source.str(), {"--fill-by", "kind", "--label", "name"});
    ASSERT_EQ(m.run.status, 0) << m.run.err;
    auto fills = fillsByObject(m.file);
    EXPECT_EQ(fills.at("A"), fills.at("B"));  // the same category, though neighbours
    EXPECT_NE(fills.at("A"), fills.at("C"));
    EXPECT_EQ(texts(m.file), (std::vector<std::string>{"A", "B", "C", "D", "kind", "lake", "land", "sea"}));

    // Numbers: classes from light to dark, with their ranges in the legend.
    m = import(source.str(), {"--fill-by", "pop"});
    ASSERT_EQ(m.run.status, 0) << m.run.err;
    fills = fillsByObject(m.file);
    EXPECT_EQ(std::set<uint32_t>({fills["A"], fills["B"], fills["C"], fills["D"]}).size(), 4u);
    EXPECT_EQ(texts(m.file), (std::vector<std::string>{"pop", "10 – 10", "> 10 – 20", "> 20 – 30",
                                                       "> 30 – 40"}));

    m = import(source.str(), {"--where", "pop > 15 AND kind <> 'lake'"});
    ASSERT_EQ(m.run.status, 0) << m.run.err;
    EXPECT_EQ(objects(m.file), (std::vector<std::string>{"B", "", "C", ""}));
    m = import(source.str(), {"--select", "A,D"});
    ASSERT_EQ(m.run.status, 0) << m.run.err;
    EXPECT_EQ(objects(m.file), (std::vector<std::string>{"A", "", "D", ""}));
    EXPECT_EQ(m.file.count(fmt::SET_EDGE), 2);  // apart, each its own closed ring
}

// ---- Labels

struct DrawnLabel {
    std::string text;
    double x, y, sizeMm;  // anchor in file units, font size on the page
    uint8_t alignment;
};

std::vector<DrawnLabel> drawnLabels(const Decoded &d) {
    std::vector<DrawnLabel> result;
    uint32_t size = 0;
    uint8_t alignment = 0;
    for (const kvgr::impl::Record &r : d.records) {
        if (r.code == fmt::FONT) size = std::get<kvgr::impl::Font>(r.payload).size;
        if (r.code == fmt::TEXT_ALIGNMENT) alignment = std::get<kvgr::impl::TextAlignment>(r.payload).alignment;
        if (r.code == fmt::TEXT) {
            const auto &text = std::get<kvgr::impl::Text>(r.payload);
            result.push_back({text.text, text.anchor.x, text.anchor.y, size * d.header.worldScale(), alignment});
        }
    }
    return result;
}

TEST(ImportLabels, WorldLabelsNeitherOverlapNorLeaveThePageAndTheLargerWins) {
    const Imported m = import(WORLD, {"--label", "name", "--project", "EPSG:8859", "--margin", "4"});
    ASSERT_EQ(m.run.status, 0) << m.run.err;
    const std::vector<DrawnLabel> labels = drawnLabels(m.file);
    EXPECT_TRUE(contains(m.run.out, "; " + std::to_string(labels.size()) + " labels (")) << m.run.out;
    ASSERT_GT(labels.size(), 60u);
    const kvgr::impl::Header &h = m.file.header;
    // Each label's box as placed: 0.6 of the size per character, 1.2 of it high (shrunk by a
    // hundredth for the rounding of sizes to whole steps).
    struct Box { double x0, y0, x1, y1; };
    std::vector<Box> boxes;
    std::map<std::string, double> sizes;
    for (const DrawnLabel &l : labels) {
        ASSERT_EQ(l.alignment, KVG_TEXT_CENTER) << l.text;
        const double unit = l.sizeMm / h.worldScale();
        const double w = 0.6 * unit * double(l.text.size()) * 0.99, ht = 1.2 * unit * 0.99;
        boxes.push_back({l.x - w / 2, l.y - ht / 2, l.x + w / 2, l.y + ht / 2});
        EXPECT_GE(l.sizeMm, 1.5) << l.text;
        EXPECT_LE(l.sizeMm, 4.1) << l.text;
        sizes[l.text] = l.sizeMm;
        const Box &b = boxes.back();
        EXPECT_TRUE(b.x0 >= h.windowMin.x && b.x1 <= h.windowMax.x && b.y0 >= h.windowMin.y &&
                    b.y1 <= h.windowMax.y) << l.text << " leaves the page";
    }
    for (size_t i = 0; i < boxes.size(); ++i)
        for (size_t j = i + 1; j < boxes.size(); ++j)
            EXPECT_FALSE(boxes[i].x0 < boxes[j].x1 && boxes[j].x0 < boxes[i].x1 && boxes[i].y0 < boxes[j].y1 &&
                         boxes[j].y0 < boxes[i].y1) << labels[i].text << " overlaps " << labels[j].text;
    // The largest countries are labelled, in the largest size their room allows.
    for (const char *large : {"Russia", "China", "Brazil", "Australia", "Canada"}) EXPECT_TRUE(sizes.contains(large)) << large;
    EXPECT_GT(sizes["Russia"], 3);
    EXPECT_LT(sizes["Antarctica"], sizes["Brazil"]);  // a long thin band gives little room
}

TEST(ImportLabels, PointsAreLabelledBesideTheirMarks) {
    TempPath in(".geojson");
    writeText(in.str(), geojson(R"({"type": "Feature", "properties": {"name": "Alpha"},
        "geometry": {"type": "Point", "coordinates": [0, 0]}},
      {"type": "Feature", "properties": {"name": "Beta"},
        "geometry": {"type": "Point", "coordinates": [10, 5]}})"));
    const Imported m = import(in.str(), {"--label", "name"});
    ASSERT_EQ(m.run.status, 0) << m.run.err;
    EXPECT_TRUE(contains(m.run.out, "; 2 labels (0 left out")) << m.run.out;
    std::vector<kvgr::impl::Point> marks;
    for (const kvgr::impl::Record &r : m.file.records)
        if (r.code == fmt::MARK) marks.push_back(std::get<kvgr::impl::Mark>(r.payload).at);
    const std::vector<DrawnLabel> labels = drawnLabels(m.file);
    ASSERT_EQ(labels.size(), 2u);
    ASSERT_EQ(marks.size(), 2u);
    // Alpha on its mark's right; Beta, at the page's right edge, on its left; both level with
    // their marks, but for the move onto the page (the marks are at its corners).
    EXPECT_EQ(labels[0].alignment, KVG_TEXT_WEST);
    EXPECT_GT(labels[0].x, marks[0].x);
    EXPECT_EQ(labels[1].alignment, KVG_TEXT_EAST);
    EXPECT_LT(labels[1].x, marks[1].x);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_NEAR(labels[i].y, marks[i].y, 0.6 * labels[i].sizeMm / m.file.header.worldScale());
}

// ---- Bad input: a clear message, exit 1, no output

TEST(ImportStyle, CategoriesBeyondThePaletteAreGroupedAsOther) {
    // Fourteen categories for twelve colours: k13 (two features) and the first ten by name
    // keep colours; k10, k11 and k12 are "other", in the legend and in the summary.
    std::string features;
    for (int i = 0; i < 15; ++i) {
        char kind[8];
        std::snprintf(kind, sizeof kind, "k%02d", std::min(i, 13));
        const std::string x = std::to_string(i);
        features += std::string(i ? "," : "") + R"({"type": "Feature", "properties": {"name": "f)" + x +
                    R"(", "kind": ")" + kind + R"("}, "geometry": {"type": "Polygon", "coordinates": [[[)" + x +
                    ",0],[" + x + ".5,0],[" + x + ".5,1],[" + x + ",1],[" + x + ",0]]]}}";
    }
    TempPath in(".geojson");
    writeText(in.str(), geojson(features));
    const Imported m = import(in.str(), {"--fill-by", "kind"});
    ASSERT_EQ(m.run.status, 0) << m.run.err;
    EXPECT_TRUE(contains(m.run.out, "; --fill-by kind: 14 categories for 12 colours, the 3 least common "
                                    "drawn as \"other\".\n")) << m.run.out;
    const std::vector<std::string> legend = texts(m.file);
    EXPECT_EQ(legend, (std::vector<std::string>{"kind", "k00", "k01", "k02", "k03", "k04", "k05", "k06",
                                                "k07", "k08", "k09", "k13", "other (3)"}));
    const auto fills = fillsByObject(m.file);
    EXPECT_EQ(fills.at("f10"), fills.at("f12"));  // both "other"
    EXPECT_NE(fills.at("f10"), fills.at("f9"));
    EXPECT_EQ(fills.at("f13"), fills.at("f14"));
    EXPECT_EQ(std::set<uint32_t>({fills.at("f0"), fills.at("f1"), fills.at("f13"), fills.at("f10")}).size(), 4u);
}

TEST(ImportErrors, BadInputIsNamedAndLeavesNoOutput) {
    const std::string bowtie = "[[[0,0],[2,2],[2,0],[0,2],[0,0]]]";
    // Refused when strict; mended or left out (and counted) otherwise.
    const std::pair<std::string, std::string> cases[] = {
        {geojson(polygonFeature("Knot", bowtie)),
         "feature Knot, polygon 1: an invalid polygon (Self-intersection[1 1]) (mended unless --strict)"},
        {geojson(polygonFeature("Short", "[[[0,0],[1,1],[0,0]]]")),
         "feature Short: a ring of fewer than four positions dropped (mended unless --strict)"},
        {geojson(polygonFeature("Open", "[[[0,0],[1,0],[1,1],[0,1]]]")),
         "feature Open: a ring that does not close (mended unless --strict)"},
        {geojson(""), "no features to import"},
    };
    TempPath out;
    for (const auto &[json, message] : cases) {
        TempPath in(".geojson");
        writeText(in.str(), json);
        const ToolRun r = kvg({"import", in.str(), "--strict", "-o", out.str()});
        EXPECT_EQ(r.status, 1) << json;
        EXPECT_EQ(r.err.rfind("kvg import: " + in.str() + ": ", 0), 0u) << r.err;
        EXPECT_TRUE(contains(r.err, message)) << r.err;
        EXPECT_FALSE(fs::exists(out.str()));
    }
    // Mended by default: the bowtie's two triangles.
    TempPath in(".geojson");
    writeText(in.str(), geojson(polygonFeature("Knot", bowtie)));
    const Imported m = import(in.str());
    ASSERT_EQ(m.run.status, 0) << m.run.err;
    EXPECT_EQ(m.file.count(fmt::FILL_FACE), 2);
    EXPECT_TRUE(contains(m.run.out, "; features: 1 mended (Self-intersection 1).")) << m.run.out;

    ToolRun r = kvg({"import", WORLD, "--fill-by", "population", "-o", out.str()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "--fill-by: no field 'population' in any layer (fields: name)"))
        << r.err;
    r = kvg({"import", WORLD, "--layer", "rivers", "-o", out.str()});
    EXPECT_TRUE(contains(r.err, "no object 'rivers'")) << r.err;
    r = kvg({"import", WORLD, "--grid", "0"});
    EXPECT_EQ(r.status, 2);
    EXPECT_FALSE(fs::exists(out.str()));
}

// ---- The tally of what an import changed

TEST(ImportReport, CountsFeaturesOncePerChangeAndRefusesWhenStrict) {
    using kvgimport::Change;
    kvgimport::ImportReport report;
    EXPECT_EQ(report.summary(), "");
    report.add(Change::mended, "layer l, feature a", "Self-intersection");
    report.add(Change::mended, "layer l, feature a", "Self-intersection");  // another polygon
    report.add(Change::mended, "layer l, feature b", "Ring Self-intersection");
    report.add(Change::clipped, "layer l, feature a", "beyond the horizon");
    report.add(Change::leftOut, "layer l, feature c", "beyond the horizon");
    EXPECT_EQ(report.count(Change::mended), 2u);
    EXPECT_EQ(report.count(Change::clipped), 1u);
    EXPECT_EQ(report.count(Change::damaged), 0u);
    EXPECT_EQ(report.summary(), "1 clipped (beyond the horizon 1), 2 mended (Ring Self-intersection 1; "
                                "Self-intersection 1), 1 left out (beyond the horizon 1)");
    kvgimport::ImportReport strict(true);
    try {
        strict.add(Change::damaged, "layer l, feature d", "a record cut short");
        ADD_FAILURE() << "a strict report took an entry";
    } catch (const kvgimport::InputError &e) {
        EXPECT_STREQ(e.what(), "layer l, feature d: a record cut short (damaged unless --strict)");
    }
    EXPECT_TRUE(strict.empty());
}

TEST(ImportReport, SummaryLineCountsAndStrictWritesNothing) {
    TempPath in(".geojson"), out;
    // A bowtie (mended into two triangles) and a polar square Mercator cannot show whole.
    writeText(in.str(), geojson(polygonFeature("Knot", "[[[0,0],[2,2],[2,0],[0,2],[0,0]]]") + "," +
                                polygonFeature("Cap", "[[[0,80],[10,80],[10,89],[0,89],[0,80]]]")));
    ToolRun r = kvg({"import", in.str(), "--project", "EPSG:3857", "-o", out.str()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, " s; features: 1 clipped (beyond the latitudes the projection shows 1), "
                                "1 mended (Self-intersection 1).\n")) << r.out;
    fs::remove(out.str());
    r = kvg({"import", in.str(), "--make-valid", "--strict", "-o", out.str()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "layer " + fs::path(in.str()).stem().string() +
                                    ", feature Knot, polygon 1: an invalid polygon (Self-intersection[1 1]) "
                                    "(mended unless --strict)")) << r.err;
    EXPECT_FALSE(fs::exists(out.str()));
    // Nothing changed: the line ends as it always did.
    writeText(in.str(), REGIONS);
    r = kvg({"import", in.str(), "--strict", "-o", out.str()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.ends_with(" s.\n")) << r.out;
}

// ---- TopoJSON

TEST(TopoJsonImport, WorldAtlasKeepsItsArcs) {
    TempPath out;
    const ToolRun r = kvg({"import", "topojson", WORLD, "--margin", "0", "-o", out.str()});
    ASSERT_EQ(r.status, 0) << r.err;
    const Decoded d = decodeFile(out.str());
    ASSERT_FALSE(d.error) << d.error->message();
    const nlohmann::json topology = nlohmann::json::parse(readText(WORLD));
    // Every arc of the source that stays whole (most of them: all but those cut at ±180 and
    // the few that quantization collapses) is an edge from the same end to the same end.
    const auto &t = topology["transform"];
    const double sx = t["scale"][0], sy = t["scale"][1];
    const double tx = t["translate"][0], ty = t["translate"][1];
    const double step = std::min(sx, sy);  // the grid keeps the finer of the two steps
    std::set<std::pair<long, long>> ends;  // file positions of edge ends, as grid numbers
    const auto key = [](kvgr::impl::Point p) { return std::pair{std::lround(p.x), std::lround(p.y)}; };
    for (const kvgr::impl::EdgeDefinition &e : d.definitions.edges) {
        const auto points = kvgr::impl::chainPoints(e.start, e.steps);
        ends.insert(key(points.front()));
        ends.insert(key(points.back()));
    }
    // The map's lower left corner: -180 and the south pole, where Antarctica is closed.
    const kvgr::impl::Point origin = d.header.windowMin;
    const auto onGrid = [&](double lon, double lat) {
        return kvgr::impl::Point{origin.x + std::round((lon + 180) / step),
                           origin.y + std::round((lat + 90) / step)};
    };
    size_t kept = 0;
    for (const auto &arc : topology["arcs"]) {
        double qx = 0, qy = 0;
        std::vector<kvgr::impl::Point> positions;
        for (const auto &delta : arc) {
            qx += delta[0].get<double>();
            qy += delta[1].get<double>();
            positions.push_back(onGrid(tx + qx * sx, ty + qy * sy));
        }
        kept += ends.contains(key(positions.front())) && ends.contains(key(positions.back()));
    }
    EXPECT_GE(kept, topology["arcs"].size() - 12);
    EXPECT_EQ(d.count(fmt::LAYER), 2);
    EXPECT_EQ(d.count(fmt::OBJECT), 2 * 177);  // a named object per country
}

TEST(TopoJsonImport, HolesNamesAndPointsOfAHandMadeTopology) {
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
    const ToolRun r = kvg({"import", "topojson", in.str(), "--margin", "0", "-o", out.str()});
    ASSERT_EQ(r.status, 0) << r.err;
    const Decoded d = decodeFile(out.str());
    ASSERT_FALSE(d.error) << d.error->message();
    EXPECT_EQ(d.count(fmt::SET_FACE), 2);
    ASSERT_EQ(d.definitions.faces.size(), 2u);
    EXPECT_EQ(d.definitions.faces[1].holes, std::vector<uint32_t>{0});
    EXPECT_EQ(d.count(fmt::MARK), 2);
    EXPECT_EQ(objects(d), (std::vector<std::string>{"square", ""}));  // nothing names the points
    // One quantization step of 0.25 is one grid step; 0.5 is two.
    EXPECT_EQ(d.header.resolution, (kvgr::impl::Point{32, 16}));
}

TEST(TopoJsonImport, MalformedAndHostileTopologiesFailClearly) {
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    std::string nested = R"({"type": "Topology", "arcs": [], "objects": {"o": )";
    for (int i = 0; i < 70; ++i) nested += R"({"type": "GeometryCollection", "geometries": [)";
    for (int i = 0; i < 70; ++i) nested += "]}";
    nested += "}}";
    const std::string topology = R"({"type": "Topology", "arcs": [[[0, 0], [1, 1]]], )";
    const std::pair<std::string, std::string> cases[] = {
        {"", "invalid JSON: parse error at line 1, column 1: syntax error"},
        {"{\"type\": ", "invalid JSON: "},
        {deep, "values nested deeper than 256"},
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
        // Deltas that each are finite but add up beyond the range of doubles.
        {R"({"type": "Topology", "transform": {"scale": [1, 1], "translate": [0, 0]},
             "arcs": [[[1e308, 0], [1e308, 0]]], "objects": {}})",
         "arcs[0][1]: position out of range"},
        {R"({"type": "Topology", "transform": {"scale": [1e300, 1], "translate": [0, 0]},
             "arcs": [[[1e300, 0]]], "objects": {}})",
         "arcs[0][0]: position out of range"},
        {R"({"type": "Topology", "transform": {"scale": [0, 1], "translate": [0, 0]},
             "arcs": [], "objects": {}})",
         "transform.scale: a scale of 0"},
        {R"({"type": "Topology", "transform": {"scale": [1, 1]}, "arcs": [], "objects": {}})",
         "transform: \"translate\" missing"},
        {topology + R"("objects": []})", "objects: an object expected"},
        {topology + R"("objects": {"o": {"type": "Polygon", "arcs": [[1]]}}})",
         "objects.o.arcs[0][0]: arc index 1 out of range (1 arcs)"},
        {topology + R"("objects": {"o": {"type": "Polygon", "arcs": [[-2]]}}})",
         "objects.o.arcs[0][0]: arc index -2 out of range (1 arcs)"},
        // Beyond int64: once read as ~0, that is arc 0 reversed.
        {topology + R"("objects": {"o": {"type": "LineString", "arcs": [18446744073709551615]}}})",
         "objects.o.arcs[0]: arc index 18446744073709551615 out of range (1 arcs)"},
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
        EXPECT_FALSE(contains(r.err, "cannot write")) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(out.str()));
    }
    // A ring its arcs leave open: refused when strict, else mended (and counted).
    writeText(in.str(), topology + R"("objects": {"o": {"type": "Polygon", "arcs": [[0]]}}})");
    ToolRun r = kvg({"import", in.str(), "--strict", "-o", out.str()});
    EXPECT_TRUE(contains(r.err, ": layer o, feature #1: a ring that does not close (mended unless "
                                "--strict)")) << r.err;
    r = kvg({"import", "topojson", in.str(), "-o", out.str()});
    EXPECT_TRUE(contains(r.out, "1 features in 1 layers, 0 arcs as edges")) << r.err;
}

TEST(TopoJsonImport, NulCharactersNeitherCutNamesNorEndObjects) {
    TempPath in(".json"), out;
    writeText(in.str(), R"({"type": "Topology", "arcs": [[[0,0],[1,0],[1,1],[0,0]]],
        "objects": {"la\u0000yer": {"type": "GeometryCollection", "geometries": [
          {"type": "Polygon", "arcs": [[0]], "properties": {"name": "Sa\u0000int"}},
          {"type": "Polygon", "arcs": [[0]], "properties": {"name": "\u0000"}}]}}})");
    const ToolRun r = kvg({"import", in.str(), "-o", out.str()});
    ASSERT_EQ(r.status, 0) << r.err;
    const Decoded d = decodeFile(out.str());
    std::vector<std::string> names;
    for (const kvgr::impl::Record &record : d.records)
        if (record.code == fmt::LAYER) names.push_back(std::get<kvgr::impl::Layer>(record.payload).name);
    EXPECT_EQ(names, std::vector<std::string>{"layer"});
    EXPECT_EQ(objects(d), (std::vector<std::string>{"Saint", ""}));  // no object for nothing
}

// ---- Pictures against d3-geo's

const fs::path REFERENCE = fs::path(KVG_TEST_DATA_DIR).parent_path() / "reference";

bool haveReference() {
    return haveRsvg() && fs::exists(REFERENCE / "node_modules" / "d3-geo") &&
           std::system("command -v node >/dev/null 2>&1") == 0;
}

const std::string ATLASES = (REFERENCE / "node_modules").string();

// An object of a topology drawn by d3-geo, black on white, in a picture of the given size.
// Its outline is stroked `stroke` pixels wide.
Image referencePicture(const std::string &topology, const std::string &object,
                       const std::string &projection, uint32_t width, uint32_t height, double stroke) {
    TempPath svg(".svg");
    const std::string command = "node '" + (REFERENCE / "draw.js").string() + "' '" + topology +
                                "' " + object + " " + projection + " " + std::to_string(width) + " " +
                                std::to_string(height) + " " + std::to_string(stroke) + " > '" +
                                svg.str() + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("node draw.js failed");
    return rasterize(svg.str());
}

struct PictureCase {
    std::string topology, object;  // the reference draws this object of the topology
    std::string reference;         // its projection in draw.js
    std::vector<std::string> options;  // kvg import's
};

// Imports and renders the topology, and compares the picture with d3-geo's drawing of the same
// land. Land is any fill or border on ours (the palette's lightest channel is 0xF0), black on
// the reference; both anti-alias their outlines. With `stroked`, the reference strokes its
// outline as wide as ours (0.25 mm), so that islands under a pixel show on both.
void expectLikeD3(const PictureCase &c, bool stroked = false) {
    SCOPED_TRACE(c.reference);
    TempPath map, png(".png");
    std::vector<std::string> args = {"import", c.topology, "--margin", "0", "-o", map.str()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ToolRun imported = kvg(args);
    ASSERT_EQ(imported.status, 0) << imported.err;
    ASSERT_EQ(kvg({"render", map.str(), "-o", png.str()}).status, 0);
    const Image ours = decodePng(readText(png.str()));
    const double pixelsPerMm = ours.width / decodeFile(map.str()).header.millimetres.x;
    const Image theirs = referencePicture(c.topology, c.object, c.reference, ours.width, ours.height,
                                          stroked ? 0.25 * pixelsPerMm : 0);
    ASSERT_EQ(theirs.width, ours.width);
    ASSERT_EQ(theirs.height, ours.height);
    const auto land = [](const Image &image, uint32_t x, uint32_t y, bool reference) {
        const Rgba colour = image.at(x, y);
        return reference ? colour.r < 128 : std::min({colour.r, colour.g, colour.b}) < 0xF0;
    };
    // A pixel is inside when the reference agrees all round it, two pixels each way.
    const auto inside = [&](uint32_t x, uint32_t y) {
        const bool here = land(theirs, x, y, true);
        for (uint32_t v = std::max(y, 2u) - 2; v <= std::min(y + 2, theirs.height - 1); ++v)
            for (uint32_t u = std::max(x, 2u) - 2; u <= std::min(x + 2, theirs.width - 1); ++u)
                if (land(theirs, u, v, true) != here) return false;
        return true;
    };
    size_t differ = 0, differInside = 0, coast = 0;
    for (uint32_t y = 0; y < ours.height; ++y)
        for (uint32_t x = 0; x < ours.width; ++x) {
            const bool in = inside(x, y);
            coast += !in;
            if (land(ours, x, y, false) != land(theirs, x, y, true)) {
                ++differ;
                differInside += in;
            }
        }
    const double pixels = double(ours.width) * ours.height;
    // Along the coasts (the band of pixels within two of a coast in the reference) the two
    // differ by about a pixel's width: ours strokes its coasts 0.25 mm wide (about a pixel
    // here) where the reference only fills, and each side rounds the coast's pixels its
    // own way. A pixel's width is a fifth of that band; more than 0.3 of it would be a
    // shift or a distortion. Away from the coasts only a few pixels of tiny islands may
    // differ (one side keeps what the other drops); a band across the map, a missing polar
    // strip, a chord across a cut or a filled lake would each cover thousands.
    EXPECT_LT(double(differ), 0.3 * double(coast)) << differ << " of " << coast;
    EXPECT_LT(differInside / pixels, 0.0005) << differInside;
}

TEST(ImportPicture, WorldMatchesD3GeoInTwoProjections) {
    if (!haveReference()) GTEST_SKIP() << "needs node, tests/reference's packages and rsvg-convert";
    expectLikeD3({WORLD, "land", "equirectangular", {}});
    expectLikeD3({WORLD, "land", "mercator", {"--project", "EPSG:3857"}});
}

// The central meridian turns the sphere before the cut (a transverse aspect turns it a quarter
// more); one-hemisphere projections are clipped at the horizon, along it; polar ones show
// their hemisphere whole, without a seam.
TEST(ImportPicture, CutWhereEachProjectionTearsTheSphereAsD3GeoDoes) {
    if (!haveReference()) GTEST_SKIP() << "needs node, tests/reference's packages and rsvg-convert";
    const std::pair<const char *, const char *> cases[] = {
        {"equal-earth-150", "EPSG:8859"},
        {"robinson-150", "+proj=robin +lon_0=150"},
        {"orthographic", "+proj=ortho +lat_0=40 +lon_0=-30"},
        {"stereographic-north", "EPSG:3413"},
        {"stereographic-south", "EPSG:3031"},
        {"transverse-mercator-20", "+proj=tmerc +lon_0=20 +R=6371000"},
    };
    for (const auto &[reference, crs] : cases) expectLikeD3({WORLD, "land", reference, {"--project", crs}});
}

// Alaska, Hawaii and the territories lie outside the area of use of EPSG:5070; they stay.
TEST(ImportPicture, UsCountiesInConusAlbersKeepAlaskaAndHawaii) {
    if (!haveReference()) GTEST_SKIP() << "needs node, tests/reference's packages and rsvg-convert";
    expectLikeD3({ATLASES + "/us-atlas/counties-10m.json", "nation", "albers-usa", {"--project", "EPSG:5070"}},
                 true);
}

// ---- Standard input and output

TEST(ImportStreams, DashReadsStandardInputAndWritesStandardOutput) {
    ScratchDirectory here;
    writeText("regions.geojson", REGIONS);
    fs::copy_file(WORLD, "world.json");
    // A TopoJSON and a GeoJSON through a pipe; the map on standard output, the summary with
    // the messages.
    for (const std::string &input : {"world.json", "regions.geojson"}) {
        SCOPED_TRACE(input);
        ASSERT_EQ(std::system(("'" + std::string(KVG_TOOL_PATH) + "' import - -o - < " + input +
                               " > piped.kvg 2> summary.txt").c_str()), 0);
        EXPECT_EQ(readText("summary.txt").rfind("Wrote standard output: ", 0), 0u) << readText("summary.txt");
        expectValidKvg("piped.kvg");
        ASSERT_EQ(kvg({"import", input, "-o", "named.kvg"}).status, 0);
        EXPECT_EQ(decodeFile("piped.kvg").records.size(), decodeFile("named.kvg").records.size());
    }
    EXPECT_FALSE(fs::exists("-"));
    // A format that needs its name or several files says so.
    translate("regions.geojson", "regions.shp", {"-f", "ESRI Shapefile"});
    ASSERT_EQ(std::system(("'" + std::string(KVG_TOOL_PATH) + "' import - -o x.kvg < regions.shp 2> err.txt").c_str()) == 0,
              false);
    EXPECT_TRUE(contains(readText("err.txt"), "kvg import: standard input: ")) << readText("err.txt");
    EXPECT_TRUE(contains(readText("err.txt"), "made of several files, such as Shapefile, must be named"));
    EXPECT_FALSE(fs::exists("x.kvg"));
}

TEST(ImportStreams, GpxPointsThatRepeatTrackVerticesOnlyWhenNamed) {
    TempPath gpx(".gpx");
    writeText(gpx.str(), R"(<?xml version="1.0"?><gpx version="1.1" creator="test">
        <wpt lat="5" lon="5"><name>camp</name></wpt>
        <trk><name>one</name><trkseg><trkpt lat="0" lon="0"/><trkpt lat="1" lon="1"/>
          <trkpt lat="2" lon="2"/></trkseg></trk></gpx>)");
    Imported m = import(gpx.str());
    ASSERT_EQ(m.run.status, 0) << m.run.err;
    EXPECT_EQ(m.file.count(fmt::MARK), 1);  // the waypoint alone
    m = import(gpx.str(), {"--layer", "tracks,track_points"});
    ASSERT_EQ(m.run.status, 0) << m.run.err;
    EXPECT_EQ(m.file.count(fmt::MARK), 3);
}

// ---- Files: what is never touched

TEST(ImportFiles, FailuresTouchNothingTheyDidNotWrite) {
    ScratchDirectory here;
    writeText("bad.json", R"({"type": "Topology", "arcs": [], "objects": {"o": 3}})");
    // An existing file, a pipe, a device (a null device of its own where it may make one): a
    // failing import leaves them as they were.
    writeText("keep.kvg", "precious");
    ASSERT_EQ(mkfifo("pipe.kvg", 0600), 0);
    std::vector<std::string> targets = {"keep.kvg", "pipe.kvg"};
    if (mknod("null.kvg", S_IFCHR | 0666, makedev(1, 3)) == 0) targets.push_back("null.kvg");
    for (const std::string &target : targets) {
        const ToolRun r = kvg({"import", "bad.json", "-o", target});
        EXPECT_EQ(r.status, 1);
        EXPECT_FALSE(contains(r.err, "cannot write")) << r.err;
    }
    EXPECT_EQ(readText("keep.kvg"), "precious");
    EXPECT_TRUE(fs::is_fifo("pipe.kvg"));
    if (targets.size() == 3) EXPECT_TRUE(fs::is_character_file("null.kvg"));
    // Its own input as output: refused, the input unchanged.
    fs::copy_file(WORLD, "world.json");
    ToolRun r = kvg({"import", "world.json", "-o", "./world.json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "the output ./world.json is the input itself")) << r.err;
    EXPECT_EQ(readText("world.json"), readText(WORLD));
    // A directory and an endless device as input: a message, not an abort.
    fs::create_directory("folder");
    r = kvg({"import", "topojson", "folder", "-o", "out.kvg"});
    EXPECT_EQ(r.err, "kvg import: folder: not a regular file\n");
    r = kvg({"import", "folder", "-o", "out.kvg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("kvg import: folder: ", 0), 0u) << r.err;
    r = kvg({"import", "topojson", "/dev/zero", "-o", "out.kvg"});
    EXPECT_EQ(r.err, "kvg import: /dev/zero: not a regular file\n");
    r = kvg({"import", "/dev/zero", "-o", "out.kvg"});
    EXPECT_EQ(r.status, 1);
    r = kvg({"import", "absent.json"});
    EXPECT_EQ(r.err, "kvg import: absent.json: No such file or directory\n");
    r = kvg({"import", "world.json", "-o", "no-such-directory/w.kvg"});
    EXPECT_EQ(r.err, "kvg import: cannot write no-such-directory/w.kvg: No such file or directory\n");
    EXPECT_FALSE(fs::exists("out.kvg"));
    // The output's default name.
    r = kvg({"import", "world.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists("world.kvg"));
}

}  // namespace
}  // namespace kvgtest
