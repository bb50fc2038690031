// kvg import against sources made by an attacker: files that name other files or URLs, JSON
// that once crashed the importer, sources that grow without bound, damaged records and
// positions no map can hold. Every input is made here.
#include <arpa/inet.h>
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>

#include "decoder.h"
#include "import_support.h"
#include "test_support.h"
#include "tool_support.h"

namespace kvgtest {
namespace {

namespace fs = std::filesystem;
namespace fmt = kvgfmt;

// An HTTP listener on the loopback address that counts the connections made to it and answers
// each with a small CSV. It stops when the test ends, or by itself after a minute.
class LoopbackListener {
public:
    LoopbackListener() {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (socket_ < 0 || bind(socket_, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            listen(socket_, 16) != 0 ||
            getsockname(socket_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            throw std::runtime_error("no loopback listener");
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~LoopbackListener() {
        stop_ = true;
        thread_.join();
        close(socket_);
    }
    LoopbackListener(const LoopbackListener &) = delete;
    LoopbackListener &operator=(const LoopbackListener &) = delete;

    std::string url(const std::string &path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int connections() const { return connections_; }

private:
    void serve() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!stop_ && std::chrono::steady_clock::now() < end) {
            pollfd waiting{socket_, POLLIN, 0};
            if (poll(&waiting, 1, 50) <= 0) continue;
            const int client = accept(socket_, nullptr, nullptr);
            if (client < 0) continue;
            ++connections_;
            char request[4096];
            [[maybe_unused]] const ssize_t got = recv(client, request, sizeof request, 0);
            const std::string body = "name,WKT\nfetched,\"POINT (1 2)\"\n";
            const std::string reply = "HTTP/1.0 200 OK\r\nContent-Length: " +
                                      std::to_string(body.size()) + "\r\n\r\n" + body;
            [[maybe_unused]] const ssize_t sent = send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
            close(client);
        }
    }

    int socket_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::thread thread_;
};

// An OGR VRT whose one layer is the layer `layer` of `source`.
std::string vrt(const std::string &source, const std::string &layer) {
    return "<OGRVRTDataSource><OGRVRTLayer name=\"v\"><SrcDataSource>" + source +
           "</SrcDataSource><SrcLayer>" + layer + "</SrcLayer></OGRVRTLayer></OGRVRTDataSource>";
}

// The names of the objects that have one.
std::vector<std::string> objectNames(const std::string &path) {
    std::vector<std::string> names;
    for (const kvgr::impl::Record &r : decodeFile(path).records)
        if (r.code == fmt::OBJECT && !std::get<kvgr::impl::Object>(r.payload).name.empty())
            names.push_back(std::get<kvgr::impl::Object>(r.payload).name);
    return names;
}

void expectRefused(const ToolRun &r, const std::string &message) {
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(contains(r.err, message)) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists("out.kvg"));
}

TEST(ImportHardening, SourcesNamingOtherFilesOpenOnlyWhenAskedAndNeverReachTheNetwork) {
    ScratchDirectory scratch;
    writeText("secret.csv", "name,WKT\nsecret-1,\"POINT (1 2)\"\nsecret-2,\"POINT (3 4)\"\n");
    writeText("local.vrt", vrt(fs::absolute("secret.csv").string(), "secret"));
    const ToolRun refused = kvg({"import", "local.vrt", "-o", "out.kvg"});
    expectRefused(refused, "local.vrt: a source for GDAL's driver OGR_VRT, which the importer "
                           "opens only when named (--driver OGR_VRT)");
    EXPECT_FALSE(contains(refused.err, "secret")) << refused.err;

    // Named, it reads the file it names.
    ToolRun r = kvg({"import", "local.vrt", "--driver", "OGR_VRT", "-o", "named.kvg"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(objectNames("named.kvg"), (std::vector<std::string>{"secret-1", "secret-2"}));

    // Even then no request leaves: URLs in a VRT, directly or through /vsicurl/, and a GeoJSON
    // CRS given as a link.
    LoopbackListener listener;
    writeText("http.vrt", vrt(listener.url("/a.csv"), "a"));
    writeText("vsicurl.vrt", vrt("/vsicurl/" + listener.url("/b.csv"), "b"));
    writeText("link.geojson",
              R"({"type": "FeatureCollection", "crs": {"type": "link", "properties": {"href": ")" +
                  listener.url("/crs") + R"(", "type": "proj4"}}, "features": [{"type": "Feature",
                  "properties": {"name": "P"}, "geometry": {"type": "Point", "coordinates": [1, 2]}}]})");
    expectRefused(kvg({"import", "http.vrt", "--driver", "OGR_VRT", "-o", "out.kvg"}),
                  "http.vrt: layer v: network access is off");
    expectRefused(kvg({"import", "vsicurl.vrt", "--driver", "OGR_VRT", "-o", "out.kvg"}),
                  "vsicurl.vrt: layer v: Failed to open datasource `/vsicurl/");
    r = kvg({"import", "link.geojson", "-o", "link.kvg"});
    EXPECT_EQ(r.status, 0) << r.err;  // the CRS unknown, the positions taken as they are
    EXPECT_EQ(listener.connections(), 0);

    expectRefused(kvg({"import", "local.vrt", "--driver", "NoSuchDriver", "-o", "out.kvg"}),
                  "--driver NoSuchDriver: no GDAL driver of that name");
}

TEST(ImportHardening, TopologiesThatOnceCrashedAreRefusedOrImported) {
    ScratchDirectory scratch;
    const std::string head =
        R"({"type": "Topology", "arcs": [[[0, 0], [1, 0], [1, 1], [0, 0]]], "objects": {"o": )";
    writeText("deep.json", head + R"({"type": "Polygon", "arcs": [[0]], "properties": {"p": )" +
                               std::string(200000, '[') + std::string(200000, ']') + "}}}}");
    expectRefused(kvg({"import", "deep.json", "-o", "out.kvg"}), "values nested deeper than 256");

    // Polygons without rings have no area: their features are kept without geometry.
    const std::pair<std::string, int> empty[] = {
        {R"({"type": "Polygon", "arcs": []})", 0},
        {R"({"type": "MultiPolygon", "arcs": [[], []]})", 0},
        {R"({"type": "MultiPolygon", "arcs": [[], [[0]], []]})", 1},
    };
    for (const auto &[object, faces] : empty) {
        writeText("empty.json", head + object + "}}");
        const ToolRun r = kvg({"import", "topojson", "empty.json", "-o", "empty.kvg"});
        ASSERT_EQ(r.status, 0) << object << r.err;
        EXPECT_TRUE(contains(r.out, "1 features in 1 layers")) << r.out;
        EXPECT_EQ(decodeFile("empty.kvg").count(fmt::SET_FACE), faces) << object;
    }
}

// A 20,000-point arc that one line walks 20,000 times: 278 KB that unfold into 4 * 10^8 points.
std::string arcUsedOverAndOver() {
    std::string arc = "[0, 0]";
    for (int i = 1; i < 20000; ++i) arc += i % 2 ? ", [1, 0]" : ", [0, 1]";
    std::string uses = "0";
    for (int i = 1; i < 20000; ++i) uses += ",0";
    return R"({"type": "Topology", "transform": {"scale": [1, 1], "translate": [0, 0]}, "arcs": [[)" +
           arc + R"(]], "objects": {"o": {"type": "LineString", "arcs": [)" + uses + "]}}}";
}

// A GeoPackage whose feature table is a view that never ends: each row leads to another.
void writeEndlessView(const std::string &path) {
    writeText("one.geojson", R"({"type": "FeatureCollection", "features": [{"type": "Feature",
        "properties": {"name": "A"}, "geometry": {"type": "Point", "coordinates": [1, 2]}}]})");
    translate("one.geojson", path, {"-f", "GPKG", "-nln", "t"});
    GDALDataset *ds = GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE);
    ASSERT_NE(ds, nullptr);
    for (const char *sql :
         {"CREATE VIEW endless AS WITH RECURSIVE r(fid, geom, name) AS (SELECT fid, geom, name "
          "FROM t UNION ALL SELECT fid + 1, geom, name FROM r) SELECT fid, geom, name FROM r",
          "INSERT INTO gpkg_contents (table_name, data_type, identifier, srs_id) VALUES "
          "('endless', 'features', 'endless', 4326)",
          "INSERT INTO gpkg_geometry_columns VALUES ('endless', 'geom', 'POINT', 4326, 0, 0)"})
        ds->ReleaseResultSet(ds->ExecuteSQL(sql, nullptr, nullptr));
    GDALClose(ds);
}

TEST(ImportHardening, SourcesStopAtTheLimitsInTheReadersWords) {
    ScratchDirectory scratch;
    writeText("arc.json", arcUsedOverAndOver());
    EXPECT_LT(fs::file_size("arc.json"), 300000u);
    expectRefused(kvg({"import", "arc.json", "--max-points", "1000000", "-o", "out.kvg"}),
                  "arc.json: more than 1000000 points");
    expectRefused(kvg({"import", "arc.json", "--max-memory", "10000000", "-o", "out.kvg"}),
                  "arc.json: needs more than the limit of 10000000 bytes of memory");

    writeEndlessView("endless.gpkg");
    expectRefused(kvg({"import", "endless.gpkg", "--layer", "endless", "--max-features", "1000",
                       "-o", "out.kvg"}),
                  "endless.gpkg: more than 1000 features");
    expectRefused(kvg({"import", "endless.gpkg", "--layer", "endless", "--max-memory", "1000000",
                       "-o", "out.kvg"}),
                  "endless.gpkg: needs more than the limit of 1000000 bytes of memory");
    // Within the limits the same sources import.
    ToolRun r = kvg({"import", "endless.gpkg", "--layer", "t", "--max-features", "1", "-o", "t.kvg"});
    EXPECT_EQ(r.status, 0) << r.err;

    for (const char *option : {"--max-points", "--max-features", "--max-memory"})
        for (const char *value : {"0", "-1", "x", "281474976710657"})
            EXPECT_EQ(kvg({"import", "arc.json", option, value}).status, 2) << option << value;
}

// Five squares in a row, A to E, as the source for damaged copies.
void writeFiveSquares(const std::string &path) {
    std::string features;
    for (int i = 0; i < 5; ++i) {
        const std::string x0 = std::to_string(i), x1 = std::to_string(i + 1);
        features += std::string(i ? "," : "") + R"({"type": "Feature", "properties": {"name": ")" +
                    char('A' + i) + R"("}, "geometry": {"type": "Polygon", "coordinates": [[[)" +
                    x0 + ",0],[" + x1 + ",0],[" + x1 + ",1],[" + x0 + ",1],[" + x0 + ",0]]]}}";
    }
    writeText(path, R"({"type": "FeatureCollection", "features": [)" + features + "]}");
}

// The Shapefile's second shape claims 100,000 parts in its 136 bytes.
void damageSecondShape(const std::string &shp, const std::string &shx) {
    const Bytes index = readFile(shx);
    const size_t second = 2 * (size_t{index[108]} << 24 | size_t{index[109]} << 16 |
                               size_t{index[110]} << 8 | index[111]);
    Bytes shapes = readFile(shp);
    const size_t parts = second + 8 + 4 + 32;  // after the record header, the type and the box
    for (size_t i = 0; i < 4; ++i) shapes[parts + i] = uint8_t(100000 >> (8 * i));
    writeFile(shp, shapes);
}

TEST(ImportHardening, DamagedRecordsAreCountedAndRefusedWhenStrict) {
    ScratchDirectory scratch;
    writeFiveSquares("five.geojson");
    translate("five.geojson", "five.shp", {"-f", "ESRI Shapefile"});
    damageSecondShape("five.shp", "five.shx");
    translate("five.geojson", "five.gpkg", {"-f", "GPKG", "-nln", "t"});
    GDALDataset *ds = GDALDataset::Open("five.gpkg", GDAL_OF_VECTOR | GDAL_OF_UPDATE);
    ASSERT_NE(ds, nullptr);
    ds->ReleaseResultSet(ds->ExecuteSQL(
        "UPDATE t SET geom = x'4750000100000000deadbeef' WHERE name IN ('B', 'C')", nullptr, nullptr));
    GDALClose(ds);

    // Shapefile records count from 0, GeoPackage rows from 1.
    const std::tuple<const char *, int, const char *> damaged[] = {
        {"five.shp", 1, ": layer five, record 1 (Corrupted .shp file"},
        {"five.gpkg", 2, ": layer t, record 2 (Unable to read geometry)"}};
    for (const auto &[input, records, first] : damaged) {
        SCOPED_TRACE(input);
        ToolRun r = kvg({"import", input, "-o", "out.kvg"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(contains(r.out, std::to_string(5 - records) + " features in 1 layers")) << r.out;
        EXPECT_TRUE(contains(r.out, "; features: " + std::to_string(records) +
                                        " damaged (unreadable record " + std::to_string(records) + ")"))
            << r.out;
        EXPECT_EQ(decodeFile("out.kvg").count(fmt::FILL_FACE), 5 - records);
        fs::remove("out.kvg");
        r = kvg({"import", input, "--strict", "-o", "out.kvg"});
        expectRefused(r, first);
        expectRefused(r, "): unreadable record (damaged unless --strict)");
    }
}

TEST(ImportHardening, PositionsNoMapHoldsAreRefusedByFeature) {
    ScratchDirectory scratch;
    const auto line = [](const std::string &coordinates) {
        return R"({"type": "FeatureCollection", "features": [{"type": "Feature", "properties":
            {"name": "Bad"}, "geometry": {"type": "LineString", "coordinates": )" +
               coordinates + "}}]}";
    };
    for (const char *coordinates : {"[[0, 0], [NaN, Infinity], [1, 1]]", "[[0, 0], [1, -Infinity]]"}) {
        writeText("roads.geojson", line(coordinates));
        expectRefused(kvg({"import", "roads.geojson", "-o", "out.kvg"}),
                      "roads.geojson: layer roads, feature Bad: a position that is not a finite number");
    }
    writeText("far.geojson", line("[[-1e308, 0], [1e308, 1]]"));
    expectRefused(kvg({"import", "far.geojson", "-o", "out.kvg"}),
                  "far.geojson: positions from (-1e+308, 0) to (1e+308, 1), farther apart than a "
                  "map can hold");
    writeText("fine.geojson", line("[[0, 0], [1e300, 1]]"));
    expectRefused(kvg({"import", "fine.geojson", "--tolerance", "1", "-o", "out.kvg"}),
                  "fine.geojson: a grid of 1e+300 steps, more than 16777216 (choose a coarser "
                  "--grid or --tolerance)");
}

}  // namespace
}  // namespace kvgtest
