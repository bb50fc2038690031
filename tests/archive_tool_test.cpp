// kvg info and kvg check on tile archives.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

#include "kvgarchive.hpp"
#include "test_support.h"
#include "tool_support.h"

namespace kvgtest {
namespace {

Bytes lineTile(double x) {
    WriterFixture writer;
    KVG_line(writer.get(), 0, 0, x, 10);
    return writer.close();
}

// An archive of zooms 0 and 1 where the four tiles of zoom 1 share one content.
void writeArchive(const std::string &path, const Bytes &odd = {}) {
    kvga::Writer writer(path);
    writer.addTile(0, 0, 0, lineTile(1));
    const Bytes shared = lineTile(2);
    for (uint32_t x = 0; x < 2; ++x) {
        for (uint32_t y = 0; y < 2; ++y)
            writer.addTile(1, x, y, x == 1 && y == 0 && !odd.empty() ? odd : shared);
    }
    kvga::Metadata metadata;
    metadata.layers.push_back({"roads", {{"name", "String"}}, -1, -1, ""});
    writer.finish(metadata);
}

TEST(ArchiveTool, CheckDecodesEveryDistinctTileAndNamesTheOneAtFault) {
    TempPath path(".pmtiles");
    writeArchive(path.str());
    ToolRun run = kvg({"check", path.str()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out, ": valid archive, 5 tiles, 2 distinct KVG files, "))
        << run.out;

    const Bytes cut = [] {
        Bytes tile = lineTile(3);
        tile.resize(tile.size() - 1);
        return tile;
    }();
    writeArchive(path.str(), cut);
    run = kvg({"check", path.str()});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "kvg check: " + path.str() + ": tile 1/1/0: offset "))
        << run.err;

    Bytes damaged = readFile(path.str());
    damaged[8 + 8 * 7] ^= 0x40;  // the tile data's length, beyond the file
    writeFile(path.str(), damaged);
    run = kvg({"check", path.str()});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "tile data (")) << run.err;
    EXPECT_TRUE(contains(run.err, "lies beyond the end of the file")) << run.err;
}

TEST(ArchiveTool, InfoDescribesHeaderLayersAndZooms) {
    TempPath path(".pmtiles");
    writeArchive(path.str());
    const ToolRun run = kvg({"info", path.str()});
    EXPECT_EQ(run.status, 0) << run.err;
    for (const char *line :
         {"archive         PMTiles version 3, ", "tiles           kvg, gzip; directories gzip",
          "zooms           0 to 1\n", "counts          5 tiles, 2 entries, 2 distinct contents",
          "layer           roads: {\"name\":\"String\"}", "\n0     1           1  ",
          "\n1     4           1  "}) {
        EXPECT_TRUE(contains(run.out, line)) << line << "\n" << run.out;
    }
}

}  // namespace
}  // namespace kvgtest

namespace kvgtest {
namespace {

// One HTTP exchange with a server on 127.0.0.1: the raw answer.
std::string exchange(int port, const std::string &request) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
        ::send(fd, request.data(), request.size(), 0);
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return answer;
}

TEST(ArchiveTool, ServeAnswersRangesOnTheLoopbackAndStopsAfterItsRequests) {
    TempPath path(".pmtiles");
    writeArchive(path.str());
    const std::string archive = readText(path.str());
    const std::string command =
        std::string(KVG_TOOL_PATH) + " serve " + path.str() + " --port 0 --requests 5";
    FILE *server = ::popen(command.c_str(), "r");
    ASSERT_NE(server, nullptr);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, server), nullptr);
    const std::string announced = line;
    const size_t colon = announced.find("127.0.0.1:");
    ASSERT_NE(colon, std::string::npos) << announced;
    const int port = std::stoi(announced.substr(colon + 10));

    const std::string range = exchange(port, "GET /archive.pmtiles HTTP/1.1\r\nHost: x\r\n"
                                             "Range: bytes=0-126\r\n\r\n");
    EXPECT_TRUE(contains(range, "HTTP/1.1 206 Partial Content\r\n")) << range;
    EXPECT_TRUE(contains(range, "Content-Range: bytes 0-126/" +
                                    std::to_string(archive.size()) + "\r\n"));
    EXPECT_EQ(range.substr(range.find("\r\n\r\n") + 4), archive.substr(0, 127));
    const std::string whole = exchange(port, "GET /archive.pmtiles HTTP/1.1\r\n\r\n");
    EXPECT_EQ(whole.substr(whole.find("\r\n\r\n") + 4), archive);
    EXPECT_TRUE(contains(exchange(port, "GET /archive.pmtiles HTTP/1.1\r\nRange: bytes=99999-\r\n\r\n"),
                         "416 Range Not Satisfiable"));
    EXPECT_TRUE(contains(exchange(port, "GET /../etc/passwd HTTP/1.1\r\n\r\n"), "404 Not Found"));
    EXPECT_TRUE(contains(exchange(port, "BREW /pot HTTP/1.1\r\n\r\n"), "400 Bad Request"));
    EXPECT_EQ(::pclose(server), 0);  // stopped by itself after five requests

    Bytes damaged = readFile(path.str());
    damaged[8] ^= 0x40;  // the root directory's offset
    writeFile(path.str(), damaged);
    const ToolRun refused = kvg({"serve", path.str()});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(contains(refused.err, "kvg serve: " + path.str() + ": root directory")) << refused.err;
}

}  // namespace
}  // namespace kvgtest
