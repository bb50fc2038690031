// The public reader (kvgreader.h through kvgreader.hpp): every kind of input, the page mapping,
// records with absolute points, definitions by identifier, colours, failures and limits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <climits>
#include <cstring>
#include <fstream>

#include "kvgreader.hpp"
#include "unit_writer.h"

namespace kvgtest {
namespace {

void ok(int result) { ASSERT_EQ(result, 0); }


void writeBytes(const std::string &path, const Bytes &bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A polyline, an edge used backwards by a face, an INDEX8 image and a shape.
Bytes smallMap(bool compressed) {
    auto options = unitOptions();
    KVG_setCompressionFileOption(options.get(), compressed ? 1 : 0);
    WriterFixture writer(options.get());
    KVG_File *fl = writer.get();
    int32_t edge = 0;
    ok(KVG_beginSetEdge(fl, &edge, 0, 0));
    ok(KVG_vertexSetEdge(fl, 10, 0));
    ok(KVG_vertexSetEdge(fl, 10, 10));
    ok(KVG_vertexSetEdge(fl, 0, 0));
    ok(KVG_endSetEdge(fl));
    uint32_t face = 0, image = 0, shape = 0;
    ok(KVG_beginSetFace(fl, &face));
    ok(KVG_edgeSetFace(fl, edge, 1));
    ok(KVG_endSetFace(fl));
    const KVG_Color palette[] = {0xFF0000, 0x00FF00};
    ok(KVG_setPalette(fl, 2, palette));
    ok(KVG_setColorSize(fl, KVG_COLOR_INDEX8));
    const KVG_Color pixels[] = {0, 1, 1, 0, 0, 0};
    ok(KVG_setImage(fl, 3, 2, pixels, &image));
    ok(KVG_setColorSize(fl, KVG_COLOR_RGB));
    ok(KVG_beginSetShape(fl, 4, 4, &shape));
    ok(KVG_mark(fl, 1, 1));
    ok(KVG_endSetShape(fl));
    ok(KVG_beginLayer(fl, "map", 1, 1));
    ok(KVG_begin(fl, KVG_BEGIN_POLYLINE, 100, 100));
    ok(KVG_vertex(fl, 101, 100));
    ok(KVG_vertex(fl, 101, 90));
    ok(KVG_end(fl));
    ok(KVG_face(fl, face));
    ok(KVG_stampShape(fl, shape, 5, 5));
    return writer.close();
}

struct Walk {
    std::vector<uint8_t> codes;
    std::vector<std::vector<kvgr::Point>> polylines;
    uint64_t points = 0;
};

Walk walk(kvgr::Reader &reader) {
    Walk w;
    while (const kvgr::Record *r = reader.next()) {
        w.codes.push_back(r->code);
        w.points += r->points;
        if (r->code == KVGR_POLYLINE) {
            const auto points = kvgr::points(r->as.figure);
            w.polylines.emplace_back(points.begin(), points.end());
        }
    }
    return w;
}

ptrdiff_t readFromBytes(void *user, void *buffer, size_t size) {
    auto *rest = static_cast<std::span<const uint8_t> *>(user);
    const size_t n = std::min<size_t>({size, rest->size(), 7});  // small pieces on purpose
    std::memcpy(buffer, rest->data(), n);
    *rest = rest->subspan(n);
    return static_cast<ptrdiff_t>(n);
}

TEST(ReaderApi, EveryKindOfInputReadsTheSameRecords) {
    const Bytes plain = smallMap(false);
    const Bytes compressed = smallMap(true);
    TempPath path;
    writeBytes(path.str(), compressed);

    kvgr::Reader fromMemory;
    fromMemory.openMemory(plain);
    const Walk expected = walk(fromMemory);
    EXPECT_FALSE(fromMemory.compressed());
    EXPECT_EQ(fromMemory.inputBytes(), plain.size());
    ASSERT_EQ(expected.polylines.size(), 1u);
    EXPECT_EQ(expected.polylines[0], (std::vector<kvgr::Point>{{100, 100}, {101, 100}, {101, 90}}));

    kvgr::Reader fromFile;
    fromFile.openFile(path.str());
    EXPECT_EQ(walk(fromFile).codes, expected.codes);
    EXPECT_TRUE(fromFile.compressed());
    EXPECT_EQ(fromFile.inputBytes(), compressed.size());
    EXPECT_EQ(fromFile.contentBytes(), plain.size());

    const int fd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    kvgr::Reader fromFd;
    fromFd.openFd(fd);
    EXPECT_EQ(walk(fromFd).codes, expected.codes);
    close(fd);

    std::span<const uint8_t> rest(compressed);
    kvgr::Reader fromStream;
    fromStream.openStream(readFromBytes, &rest);
    const Walk streamed = walk(fromStream);
    EXPECT_EQ(streamed.codes, expected.codes);
    EXPECT_EQ(streamed.points, expected.points);
}

TEST(ReaderApi, DefinitionsByIdentifier) {
    const Bytes bytes = smallMap(false);
    kvgr::Reader reader;
    reader.openMemory(bytes);
    walk(reader);
    const kvgr::Counts counts = reader.counts();
    EXPECT_EQ(counts.edges, 1u);
    EXPECT_EQ(counts.faces, 1u);
    EXPECT_EQ(counts.images, 1u);
    EXPECT_EQ(counts.shapes, 1u);

    const KVGR_Edge backwards = reader.edge(-1);
    EXPECT_TRUE(backwards.reversed);
    const auto points = kvgr::points(backwards);
    EXPECT_EQ(std::vector<kvgr::Point>(points.begin(), points.end()),
              (std::vector<kvgr::Point>{{0, 0}, {10, 0}, {10, 10}, {0, 0}}));
    EXPECT_THROW(reader.edge(2), kvgr::Error);
    EXPECT_THROW(reader.edge(0), kvgr::Error);

    const KVGR_Face face = reader.face(0);
    EXPECT_EQ(std::vector<int32_t>(kvgr::edges(face).begin(), kvgr::edges(face).end()),
              std::vector<int32_t>{-1});
    EXPECT_TRUE(kvgr::holes(face).empty());

    const kvgr::Image image = reader.image(0);
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.color_size, KVGR_COLOR_INDEX8);
    ASSERT_NE(image.palette, nullptr);
    EXPECT_EQ(image.palette->length, 2u);
    std::vector<uint32_t> row(3);
    reader.imagePixels(0, 0, row);
    EXPECT_EQ(row, (std::vector<uint32_t>{0, 1, 1}));
    std::vector<uint8_t> rgba(12);
    reader.imageRGBA(0, 1, rgba);
    EXPECT_EQ(rgba, (std::vector<uint8_t>{255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255}));
    EXPECT_THROW(reader.imagePixels(0, 2, row), kvgr::Error);
    std::vector<uint32_t> tooShort(2);
    EXPECT_THROW(reader.imagePixels(0, 0, tooShort), kvgr::Error);

    const kvgr::Shape shape = reader.shape(0);
    EXPECT_EQ(shape.corner, (kvgr::Point{4, 4}));
    EXPECT_TRUE(shape.complete);
}

// The state in force in its public layout: an index colour as the palette entry it names, the
// depth of open objects.
TEST(ReaderApi, StateFollowsTheRecords) {
    UnitWriter writer;
    KVG_File *fl = writer.get();
    const KVG_Color palette[] = {0x102030, 0x405060};
    ok(KVG_beginLayer(fl, "a", 1, 1));
    ok(KVG_setPalette(fl, 2, palette));
    ok(KVG_setColorSize(fl, KVG_COLOR_INDEX8));
    ok(KVG_setLineColor(fl, 1));
    ok(KVG_beginObject(fl, "outer"));
    ok(KVG_beginObject(fl, "inner"));
    const Bytes bytes = writer.close();
    kvgr::Reader reader;
    reader.openMemory(bytes);
    walk(reader);
    const kvgr::State &state = reader.state();
    EXPECT_EQ(state.line.color, (kvgr::Color{0x405060, KVGR_COLOR_RGB}));
    EXPECT_EQ(state.color_size, KVGR_COLOR_INDEX8);
    EXPECT_EQ(state.palette.length, 2u);
    EXPECT_EQ(state.depth, 2u);
}

// ---- The page mapping

KVGR_Header header(kvgr::Point min, kvgr::Point max, kvgr::Point mm) {
    KVGR_Header h{};
    h.window_min = min;
    h.window_max = max;
    h.size_mm = mm;
    return h;
}

TEST(ReaderApi, PageMappingOneScaleCentred) {
    // The default grid on a 100 mm square page.
    KVGR_Header h = header({-2048, -2048}, {2048, 2048}, {100, 100});
    kvgr::PageMapping m = KVGR_pageMapping(&h);
    EXPECT_EQ(kvgr::toPage(m, {-2048, -2048}), (kvgr::Point{0, 0}));
    EXPECT_EQ(kvgr::toPage(m, {2048, 0}), (kvgr::Point{100, 50}));
    EXPECT_EQ(kvgr::toPageExtent(m, {4096, 2048}), (kvgr::Point{100, 50}));
    // A page wider than the window: the smaller factor, the drawing centred across.
    h = header({-100, -50}, {100, 50}, {400, 100});
    m = KVGR_pageMapping(&h);
    EXPECT_EQ(m.scale, 1.0);
    EXPECT_EQ(kvgr::toPage(m, {-100, -50}), (kvgr::Point{100, 0}));
    EXPECT_EQ(kvgr::toPage(m, {100, 50}), (kvgr::Point{300, 100}));
    // A window reversed on y (raw mode with a reversed world window): the same scale, and the
    // stored coordinates keep their own direction.
    h = header({-100, 50}, {100, -50}, {200, 100});
    m = KVGR_pageMapping(&h);
    EXPECT_EQ(m.scale, 1.0);
    EXPECT_EQ(kvgr::toPage(m, {-100, 50}), (kvgr::Point{0, 100}));
    // Degenerate: a window of no height maps by the width's factor; nothing usable gives 1.
    h = header({0, 5}, {10, 5}, {20, 20});
    EXPECT_EQ(KVGR_pageMapping(&h).scale, 2.0);
    h = header({0, 0}, {10, 10}, {0, 0});
    EXPECT_EQ(KVGR_pageMapping(&h).scale, 1.0);
}

TEST(ReaderApi, ColoursAsRGBA) {
    KVGR_Palette palette{};
    palette.colors[0] = 0x336699;
    palette.colors[1] = 0x80;
    palette.length = 2;
    palette.color_size = KVGR_COLOR_RGB;
    EXPECT_EQ(kvgr::toRGBA({0x336699, KVGR_COLOR_RGB}), 0x336699FFu);
    EXPECT_EQ(kvgr::toRGBA({0x11223344, KVGR_COLOR_RGBA}), 0x11223344u);
    EXPECT_EQ(kvgr::toRGBA({0x80, KVGR_COLOR_GRAY8}), 0x808080FFu);
    EXPECT_EQ(kvgr::toRGBA({0xFFF, KVGR_COLOR_GRAY12}), 0xFFFFFFFFu);
    EXPECT_EQ(kvgr::toRGBA({0x8000, KVGR_COLOR_GRAY16}), 0x808080FFu);
    EXPECT_EQ(kvgr::toRGBA({0xFFFF0000, KVGR_COLOR_GA}), 0xFFFFFF00u);
    EXPECT_EQ(kvgr::toRGBA({0, KVGR_COLOR_INDEX1}, &palette), 0x336699FFu);
    EXPECT_EQ(kvgr::toRGBA({1, KVGR_COLOR_INDEX8}, &palette), 0x000080FFu);
    EXPECT_EQ(kvgr::toRGBA({2, KVGR_COLOR_INDEX8}, &palette), 0u);  // beyond the palette
    EXPECT_EQ(kvgr::toRGBA({0, KVGR_COLOR_INDEX8}), 0u);            // no palette
}

// ---- Failures and limits

struct Failure {
    int code;
    std::string message;
};

Failure readAll(const Bytes &bytes, KVGR_LIMIT limit = KVGR_LIMIT_DEPTH, uint64_t value = 256) {
    try {
        kvgr::Reader reader;
        reader.setLimit(limit, value);
        reader.openMemory(bytes);
        walk(reader);
    } catch (const kvgr::Error &e) {
        return {e.code(), e.what()};
    }
    return {KVGR_ERR_NONE, ""};
}

Bytes gzip(const Bytes &plain) {
    uLongf size = compressBound(static_cast<uLong>(plain.size())) + 32;
    Bytes out(size);
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    z.next_in = const_cast<Bytef *>(plain.data());
    z.avail_in = static_cast<uInt>(plain.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TEST(ReaderApi, DamagedInputIsNamedWithItsReason) {
    const Bytes plain = unitFile("", "30 00 00 00 00");
    const Bytes packed = gzip(plain);
    ASSERT_EQ(readAll(packed).code, KVGR_ERR_NONE);
    Bytes badCrc = packed;
    badCrc[badCrc.size() - 8] ^= 1;
    Bytes twoMembers = packed;
    twoMembers.insert(twoMembers.end(), packed.begin(), packed.end());
    Bytes trailing = packed;
    trailing.push_back(0);
    const struct {
        Bytes bytes;
        int code;
        std::string message;
    } cases[] = {
        {{}, KVGR_ERR_FORMAT, "offset 0: empty file"},
        {fromHex("4B 56 47 98 E1 00 00 04"), KVGR_ERR_FORMAT, "offset 0: header: truncated"},
        {Bytes(packed.begin(), packed.end() - 5), KVGR_ERR_COMPRESSION,
         "truncated compressed data"},
        {badCrc, KVGR_ERR_COMPRESSION, "corrupt compressed data (incorrect data check)"},
        {twoMembers, KVGR_ERR_COMPRESSION, "a second compressed stream follows the first"},
        {trailing, KVGR_ERR_COMPRESSION, "data after the end of the compressed stream"},
    };
    for (const auto &c : cases) {
        const Failure f = readAll(c.bytes);
        EXPECT_EQ(f.code, c.code) << c.message;
        EXPECT_NE(f.message.find(c.message), std::string::npos) << f.message;
    }
}

TEST(ReaderApi, FilesThatAreNoFiles) {
    const auto openFailure = [](const std::string &path) -> Failure {
        try {
            kvgr::Reader reader;
            reader.openFile(path);
            walk(reader);
        } catch (const kvgr::Error &e) {
            return {e.code(), e.what()};
        }
        return {KVGR_ERR_NONE, ""};
    };
    TempPath missing;
    Failure f = openFailure(missing.str());
    EXPECT_EQ(f.code, KVGR_ERR_SYSTEM);
    EXPECT_EQ(f.message, "cannot open: No such file or directory");
    f = openFailure("/");
    EXPECT_EQ(f.code, KVGR_ERR_SYSTEM);
    EXPECT_EQ(f.message, "cannot read: Is a directory");
    f = openFailure("/dev/zero");
    EXPECT_EQ(f.message, "offset 0: header: bad signature");
    TempPath fifo(".fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    f = openFailure(fifo.str());  // no writer: read as empty, without waiting
    EXPECT_EQ(f.message, "offset 0: empty file");
}

TEST(ReaderApi, LimitsTheCallerSets) {
    // An image of 2 x 2 pixels against a limit of 3.
    const Bytes image = unitFile("6D 00 02 00 02 00 00 00 11 11 11 22 22 22 33 33 33", "");
    EXPECT_EQ(readAll(image).code, KVGR_ERR_NONE);
    Failure f = readAll(image, KVGR_LIMIT_IMAGE_PIXELS, 3);
    EXPECT_EQ(f.code, KVGR_ERR_LIMIT);
    EXPECT_EQ(f.message, "offset 29: set-image: image of 4 pixels beyond the limit of 3");
    // Three marks against a limit of two points.
    const Bytes marks = unitFile("", "30 00 00 00 00 30 00 00 00 00 30 00 00 00 00");
    f = readAll(marks, KVGR_LIMIT_POINTS, 2);
    EXPECT_EQ(f.code, KVGR_ERR_LIMIT);
    EXPECT_EQ(f.message, "offset 43: mark: more than 2 points");
    // Objects three deep against a limit of two; ends and a layer bring the depth down.
    const Bytes nested = unitFile("", "01 80 01 4C 02 01 61 02 01 62 02 00 02 01 63 02 00 02 00 "
                                      "01 80 01 4C 02 01 61 02 01 62 02 01 63");
    f = readAll(nested, KVGR_LIMIT_DEPTH, 2);
    EXPECT_EQ(f.code, KVGR_ERR_LIMIT);
    EXPECT_EQ(f.message, "offset 62: object: objects nested deeper than 2");
    // Content bytes: the 33 bytes of header and closing records fit 33, not 32.
    EXPECT_EQ(readAll(unitFile("", ""), KVGR_LIMIT_CONTENT_BYTES, 33).code, KVGR_ERR_NONE);
    EXPECT_EQ(readAll(unitFile("", ""), KVGR_LIMIT_CONTENT_BYTES, 32).code, KVGR_ERR_LIMIT);
}

TEST(ReaderApi, CallsOutOfOrder) {
    KVGR_Reader *r = KVGR_new();
    const KVGR_Record *record = nullptr;
    EXPECT_EQ(KVGR_next(r, &record), -1);
    EXPECT_EQ(KVGR_getErrorCode(r), KVGR_ERR_USAGE);
    EXPECT_EQ(KVGR_getHeader(r), nullptr);
    EXPECT_EQ(KVGR_setLimit(r, static_cast<KVGR_LIMIT>(KVGR_LIMIT_COUNT), 1), -1);
    const Bytes bytes = unitFile("", "");
    ASSERT_EQ(KVGR_openMemory(r, bytes.data(), bytes.size()), 0);
    EXPECT_EQ(KVGR_setLimit(r, KVGR_LIMIT_POINTS, 1), -1);
    EXPECT_EQ(KVGR_openMemory(r, bytes.data(), bytes.size()), -1);
    EXPECT_EQ(KVGR_getErrorCode(r), KVGR_ERR_USAGE);
    EXPECT_STREQ(KVGR_getErrorMessage(r), "an input is open already");
    int status;
    while ((status = KVGR_next(r, &record)) == 1) {
    }
    EXPECT_EQ(status, 0);
    KVGR_delete(r);
}

// Every entry point takes NULL for any pointer without crashing: a NULL reader gives -1, 0 or
// NULL and reads as a usage error; a NULL argument the reader needs is a usage error of the
// reader; a NULL result pointer gives -1.
TEST(ReaderApi, NullArgumentsAreUsageErrors) {
    EXPECT_EQ(KVGR_setLimit(nullptr, KVGR_LIMIT_POINTS, 1), -1);
    EXPECT_EQ(KVGR_getLimit(nullptr, KVGR_LIMIT_POINTS), 0u);
    EXPECT_EQ(KVGR_getErrorCode(nullptr), KVGR_ERR_USAGE);
    EXPECT_EQ(KVGR_getErrorOffset(nullptr), 0u);
    EXPECT_STREQ(KVGR_getErrorReason(nullptr), "no reader");
    EXPECT_STREQ(KVGR_getErrorMessage(nullptr), "no reader");
    const Bytes bytes = unitFile("", "");
    EXPECT_EQ(KVGR_openFile(nullptr, "x.kvg"), -1);
    EXPECT_EQ(KVGR_openFd(nullptr, 0), -1);
    EXPECT_EQ(KVGR_openMemory(nullptr, bytes.data(), bytes.size()), -1);
    EXPECT_EQ(KVGR_openStream(nullptr, [](void *, void *, size_t) -> ptrdiff_t { return 0; },
                              nullptr),
              -1);
    const KVGR_Record *record = nullptr;
    EXPECT_EQ(KVGR_next(nullptr, &record), -1);
    EXPECT_EQ(KVGR_getHeader(nullptr), nullptr);
    EXPECT_EQ(KVGR_getState(nullptr), nullptr);
    EXPECT_EQ(KVGR_getContentBytes(nullptr), 0u);
    EXPECT_EQ(KVGR_getLayerSectionOffset(nullptr), -1);
    EXPECT_EQ(KVGR_isCompressed(nullptr), 0);
    EXPECT_EQ(KVGR_getInputBytes(nullptr), 0u);
    EXPECT_EQ(KVGR_getDefinitionCounts(nullptr).edges, 0u);
    KVGR_Edge edge;
    KVGR_Face face;
    KVGR_Image image;
    KVGR_Shape shape;
    uint32_t values[1];
    uint8_t rgba[4];
    EXPECT_EQ(KVGR_getEdge(nullptr, 1, &edge), -1);
    EXPECT_EQ(KVGR_getFace(nullptr, 0, &face), -1);
    EXPECT_EQ(KVGR_getImage(nullptr, 0, &image), -1);
    EXPECT_EQ(KVGR_getImagePixels(nullptr, 0, 0, values), -1);
    EXPECT_EQ(KVGR_getImageRGBA(nullptr, 0, 0, rgba), -1);
    EXPECT_EQ(KVGR_getShape(nullptr, 0, &shape), -1);
    const KVGR_PageMapping identity = KVGR_pageMapping(nullptr);
    EXPECT_EQ(identity.scale, 1.0);
    EXPECT_EQ(KVGR_toPage(nullptr, {3, 4}).y, 4.0);
    EXPECT_EQ(KVGR_toPageExtent(nullptr, {3, 4}).x, 3.0);
    KVGR_delete(nullptr);

    // NULL arguments of a reader: the opening is not spent on them.
    const auto usage = [](KVGR_Reader *r, const char *message) {
        EXPECT_EQ(KVGR_getErrorCode(r), KVGR_ERR_USAGE);
        EXPECT_STREQ(KVGR_getErrorMessage(r), message);
    };
    KVGR_Reader *r = KVGR_new();
    EXPECT_EQ(KVGR_openFile(r, nullptr), -1);
    usage(r, "no path");
    EXPECT_EQ(KVGR_openStream(r, nullptr, nullptr), -1);
    usage(r, "no read function");
    EXPECT_EQ(KVGR_openMemory(r, nullptr, 10), -1);
    usage(r, "no data");
    ASSERT_EQ(KVGR_openMemory(r, bytes.data(), bytes.size()), 0);
    EXPECT_EQ(KVGR_next(r, nullptr), -1);
    usage(r, "no record pointer");
    EXPECT_EQ(KVGR_next(r, &record), 1) << "the usage error stops nothing";
    EXPECT_EQ(KVGR_getEdge(r, 1, nullptr), -1);
    EXPECT_EQ(KVGR_getFace(r, 0, nullptr), -1);
    EXPECT_EQ(KVGR_getImage(r, 0, nullptr), -1);
    EXPECT_EQ(KVGR_getShape(r, 0, nullptr), -1);
    KVGR_delete(r);
    // An empty buffer may be NULL: it is an empty file.
    r = KVGR_new();
    EXPECT_EQ(KVGR_openMemory(r, nullptr, 0), -1);
    EXPECT_STREQ(KVGR_getErrorMessage(r), "offset 0: empty file");
    KVGR_delete(r);
}

// A limit is an int to the library, so that whatever a C caller passes is checked, not
// undefined (the sanitizer build sees an enumeration loaded with a value it cannot hold).
TEST(ReaderApi, UnknownLimitsAreUsageErrors) {
    KVGR_Reader *r = KVGR_new();
    for (int limit : {-1, KVGR_LIMIT_COUNT, 8, 1000, INT_MIN, INT_MAX}) {
        EXPECT_EQ(KVGR_setLimit(r, limit, 1), -1) << limit;
        EXPECT_EQ(KVGR_getErrorCode(r), KVGR_ERR_USAGE);
        EXPECT_STREQ(KVGR_getErrorMessage(r), "unknown limit");
        EXPECT_EQ(KVGR_getLimit(r, limit), 0u) << limit;
    }
    for (int limit = 0; limit < KVGR_LIMIT_COUNT; ++limit) {
        EXPECT_EQ(KVGR_setLimit(r, limit, 12345), 0);
        EXPECT_EQ(KVGR_getLimit(r, limit), 12345u);
    }
    KVGR_delete(r);
}

}  // namespace
}  // namespace kvgtest
