// Files from strangers: each input is made here, and the reader (and kvg check, dump and info
// over it) must end with a clear fault, or finish, within the limits, whatever the input
// declares. The bounds of time, memory and output are measured in bench/reader_hardening.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <functional>

#include "kvgreader.hpp"
#include "tool_support.h"
#include "unit_writer.h"
#include "viewer_page.h"

namespace kvgtest {
namespace {

struct Outcome {
    int code = KVGR_ERR_NONE;
    std::string message;
    uint64_t records = 0;
};

Outcome readAll(const Bytes &bytes, std::initializer_list<std::pair<KVGR_LIMIT, uint64_t>> limits = {}) {
    Outcome o;
    try {
        kvgr::Reader reader;
        for (const auto &[limit, value] : limits) reader.setLimit(limit, value);
        reader.openMemory(bytes);
        while (reader.next() != nullptr) ++o.records;
    } catch (const kvgr::Error &e) {
        o.code = e.code();
        o.message = e.what();
    }
    return o;
}

std::string hexRepeat(const std::string &hex, size_t times) {
    std::string out;
    out.reserve((hex.size() + 1) * times);
    for (size_t i = 0; i < times; ++i) (out += hex) += ' ';
    return out;
}

// ---- Declared sizes with nothing behind them

// The unit file's header and the definitions in hex, and nothing after them.
Bytes withoutClosing(const std::string &definitions) {
    Bytes bytes = unitFile(definitions, "");
    bytes.resize(bytes.size() - 4);
    return bytes;
}

TEST(ReaderHardening, DeclaredSizesAreBelievedOnlyAsFarAsTheData) {
    // An image of 65535 x 65535 pixels and no pixel: beyond the default limit of pixels, and
    // with that raised, truncated after the data there is.
    const Bytes image = unitFile("6D FF FF FF FF 00 00 00", "");
    Outcome o = readAll(image);
    EXPECT_EQ(o.code, KVGR_ERR_LIMIT);
    EXPECT_EQ(o.message, "offset 29: set-image: image of 4294836225 pixels beyond the limit of 268435456");
    o = readAll(image, {{KVGR_LIMIT_IMAGE_PIXELS, uint64_t{1} << 32}});
    EXPECT_EQ(o.message, "offset 29: set-image: truncated");
    // Counts of 4,194,303 points, edges, segments and holes with a few bytes behind them.
    const struct {
        Bytes bytes;
        const char *message;
    } cases[] = {
        {unitFile("", "10 00 00 00 00 FF FF FF 00 00 00"), "offset 33: polyline: truncated"},
        {unitFile("", "12 FF FF FF 00 00 00 00 01 02"), "offset 33: draw-cubic-bezier: truncated"},
        {withoutClosing("50 3B 00 00 FF FF FF 03 01 00"), "offset 30: set-edge: truncated"},
        {unitFile("3C FF FF FF 01 01", ""), "offset 29: set-face: truncated"},
        {unitFile("", "02 FF FF FF 61 62"), "offset 33: object: truncated"},
    };
    for (const auto &c : cases) EXPECT_EQ(readAll(c.bytes).message, c.message);
}

// ---- Input that inflates far beyond its size

// A gzip stream of `records` polylines of 4,194,303 unit steps each (1.5 MB of content apiece,
// about 1.5 KB compressed) after the unit file's header.
Bytes gzipBomb(int records) {
    Bytes plain = unitFile("", "01 80 01 4C");
    Bytes out(plain.size() + 64);
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    const auto feed = [&](const Bytes &in, int flush) {
        z.next_in = const_cast<Bytef *>(in.data());
        z.avail_in = static_cast<uInt>(in.size());
        do {
            if (out.size() - z.total_out < 65536) out.resize(out.size() * 2 + 65536);
            z.next_out = out.data() + z.total_out;
            z.avail_out = static_cast<uInt>(out.size() - z.total_out);
            deflate(&z, flush);
        } while (z.avail_in > 0 || (flush == Z_FINISH && z.avail_out == 0));
    };
    feed(plain, Z_NO_FLUSH);
    // Polyline from (0, 0) in 16-bit points, relative size 3: steps of code 0, three bytes per
    // eight steps, then the last bits padded.
    const Bytes record = fromHex("55 50 10 00 00 FF FF FF");
    const Bytes steps(4194303 * 3 / 8 + 1, 0);
    for (int i = 0; i < records; ++i) {
        feed(record, Z_NO_FLUSH);
        feed(steps, Z_NO_FLUSH);
    }
    feed({}, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TEST(ReaderHardening, GzipBombsStopAtTheContentLimit) {
    const Bytes bomb = gzipBomb(4);  // about 6.3 MB of content
    ASSERT_LT(bomb.size(), 32u * 1024);
    Outcome o = readAll(bomb, {{KVGR_LIMIT_CONTENT_BYTES, 2u << 20}});
    EXPECT_EQ(o.code, KVGR_ERR_LIMIT);
    EXPECT_NE(o.message.find("content beyond the limit of 2097152 bytes"), std::string::npos)
        << o.message;
    // Within the limits the file is valid: streamed, never inflated whole.
    o = readAll(bomb);
    EXPECT_EQ(o.code, KVGR_ERR_NONE) << o.message;
    EXPECT_EQ(o.records, 4 + 3 * 4u);  // closing records and layer, then sizes and polylines
    // The points of the file count against their limit as they are decoded.
    o = readAll(bomb, {{KVGR_LIMIT_POINTS, 5000000}});
    EXPECT_EQ(o.code, KVGR_ERR_LIMIT);
    EXPECT_NE(o.message.find("polyline: more than 5000000 points"), std::string::npos) << o.message;
}

// ---- Depth, text, memory

TEST(ReaderHardening, DeeplyNestedObjectsStopAtTheDepthLimit) {
    const Bytes nested = unitFile("", "01 80 01 4C " + hexRepeat("02 01 61", 100000));
    const Outcome o = readAll(nested);
    EXPECT_EQ(o.code, KVGR_ERR_LIMIT);
    // The 257th object: after the layer's 4 bytes and 256 objects of 3.
    EXPECT_EQ(o.message, "offset " + std::to_string(33 + 4 + 256 * 3) +
                             ": object: objects nested deeper than 256");
}

TEST(ReaderHardening, TextOfMegabytesIsReadAndDumpedInProportion) {
    UnitWriter writer;
    ASSERT_EQ(KVG_beginLayer(writer.get(), "t", 1, 1), 0);
    const std::string text(4194303, 'a');
    ASSERT_EQ(KVG_text(writer.get(), 0, 0, text.c_str()), 0);
    TempPath path;
    const Bytes bytes = writer.close();
    writeText(path.str(), std::string(bytes.begin(), bytes.end()));
    const ToolRun dump = kvg({"dump", path.str()});
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_TRUE(contains(dump.out, "text=\"" + text + "\""));
    EXPECT_LT(dump.out.size(), bytes.size() + 1000);
}

// An image of 1-bit pixels is kept as its bits: 2048 x 2048 pixels in 512 KiB, not the
// 16 MiB of a value each (twice while its record is current: as decoded and as kept).
TEST(ReaderHardening, ImagesAreKeptPackedWithinTheMemoryLimit) {
    UnitWriter writer;
    KVG_File *fl = writer.get();
    ASSERT_EQ(KVG_setColorSize(fl, KVG_COLOR_INDEX1), 0);
    std::vector<KVG_Color> pixels(2048 * 2048);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = (i / 7) % 2;
    uint32_t id = 0;
    ASSERT_EQ(KVG_setImage(fl, 2048, 2048, pixels.data(), &id), 0);
    const Bytes bytes = writer.close();
    EXPECT_EQ(readAll(bytes, {{KVGR_LIMIT_MEMORY, 3u << 19}}).code, KVGR_ERR_NONE);
    const Outcome o = readAll(bytes, {{KVGR_LIMIT_MEMORY, 256u << 10}});
    EXPECT_EQ(o.code, KVGR_ERR_LIMIT);
    EXPECT_NE(o.message.find("set-image: needs more than the limit of 262144 bytes"),
              std::string::npos)
        << o.message;
    kvgr::Reader reader;
    reader.openMemory(bytes);
    while (reader.next() != nullptr) {
    }
    std::vector<uint32_t> row(2048);
    reader.imagePixels(0, 1, row);
    for (uint32_t x = 0; x < 2048; ++x) ASSERT_EQ(row[x], ((2048 + x) / 7) % 2) << x;
}

// Bytes the allocator has handed out and not taken back.
uint64_t allocatedBytes() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The most the reader held, as the allocator saw it after each record, while reading `bytes`
// under a memory limit of `limit`.
struct PeakRead {
    Outcome outcome;
    uint64_t peak = 0;
};
PeakRead readMeasured(const Bytes &bytes, uint64_t limit) {
    PeakRead r;
    const uint64_t before = allocatedBytes();
    const auto measure = [&] { r.peak = std::max(r.peak, allocatedBytes() - before); };
    KVGR_Reader *reader = KVGR_new();
    KVGR_setLimit(reader, KVGR_LIMIT_MEMORY, limit);
    KVGR_openMemory(reader, bytes.data(), bytes.size());
    const KVGR_Record *record;
    int status;
    while ((status = KVGR_next(reader, &record)) == 1) {
        ++r.outcome.records;
        measure();
    }
    measure();
    r.outcome.code = status == 0 ? KVGR_ERR_NONE : KVGR_getErrorCode(reader);
    r.outcome.message = KVGR_getErrorMessage(reader);
    KVGR_delete(reader);
    return r;
}

// The memory limit bounds what the reader holds, every copy and every buffer's spare room
// counted: edges are kept as stored and as absolute points, a record's buffer may have grown
// beyond its points. 400 edges of 2,000 points (12.8 MB as stored) under a limit of 8 MiB stop
// at the limit; with room they are read.
TEST(ReaderHardening, TheMemoryLimitCountsWhatTheReaderHolds) {
    if (underSanitizer()) GTEST_SKIP() << "the sanitizers keep their own account of memory";
    UnitWriter writer;
    KVG_File *fl = writer.get();
    for (int e = 0; e < 400; ++e) {
        int32_t id = 0;
        ASSERT_EQ(KVG_beginSetEdge(fl, &id, 0, e % 100), 0);
        for (int i = 1; i < 2000; ++i) KVG_vertexSetEdge(fl, i % 1000, (i * 7 + e) % 1000);
        ASSERT_EQ(KVG_endSetEdge(fl), 0);
    }
    ASSERT_EQ(KVG_beginLayer(fl, "L", 1, 1), 0);
    std::vector<double> xy;
    for (int i = 0; i < 300000; ++i) xy.insert(xy.end(), {double(i % 1000), double(i % 999)});
    ASSERT_EQ(KVG_polyline(fl, KVG_BEGIN_POLYLINE, 300000, xy.data()), 0);
    const Bytes bytes = writer.close();
    const uint64_t limit = 8u << 20;
    // Fixed buffers (the input window) and the allocator's own, beyond the limit.
    const uint64_t slack = 256u << 10;
    const PeakRead limited = readMeasured(bytes, limit);
    EXPECT_EQ(limited.outcome.code, KVGR_ERR_LIMIT) << limited.outcome.message;
    EXPECT_NE(limited.outcome.message.find("set-edge: needs more than the limit of 8388608 bytes"),
              std::string::npos)
        << limited.outcome.message;
    EXPECT_LE(limited.peak, limit + slack);
    const PeakRead whole = readMeasured(bytes, 64u << 20);
    EXPECT_EQ(whole.outcome.code, KVGR_ERR_NONE) << whole.outcome.message;
    EXPECT_GT(whole.outcome.records, 400u);
    std::printf("held at most %.1f MiB of a limit of 8 MiB (stopped), %.1f MiB reading all\n",
                limited.peak / 1048576.0, whole.peak / 1048576.0);
    // The layer's 300,000-point polyline: 4.8 MB as stored, as much again as absolute points.
    EXPECT_EQ(readMeasured(bytes, 32u << 20).outcome.code, KVGR_ERR_LIMIT);
}

// Whether `check` holds in a child process that may use only `extra` bytes of address space
// beyond what it holds when it starts.
bool holdsWithAddressSpace(uint64_t extra, const std::function<bool()> &check) {
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        long pages = 0;
        if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
            std::fclose(statm);
        }
        const rlim_t bound = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + extra;
        const rlimit little{bound, bound};
        setrlimit(RLIMIT_AS, &little);
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Memory the system refuses is a failure of the reader, not an abort: a child process with
// 48 MB of address space to spare reads a file one of whose records needs more.
TEST(ReaderHardening, MemoryTheSystemRefusesIsAFailure) {
    if (underSanitizer()) GTEST_SKIP() << "the sanitizers reserve address space of their own";
    const Bytes bomb = gzipBomb(4);
    EXPECT_TRUE(holdsWithAddressSpace(48u << 20, [&] {
        const Outcome o = readAll(bomb, {{KVGR_LIMIT_MEMORY, uint64_t{1} << 40}});
        return o.code == KVGR_ERR_MEMORY && o.message == "out of memory";
    }));
    // A command that meets it fails with a message: kvg svg on a polyline of 4,194,303 points.
    TempPath path;
    writeFile(path.str(), gzipBomb(1));
    EXPECT_TRUE(holdsWithAddressSpace(48u << 20, [&] {
        const ToolRun r = kvg({"svg", path.str(), "-o", "-"});
        return r.status == 1 && r.err.starts_with("kvg svg: ") && contains(r.err, "out of memory");
    }));
}

// A renderer holds the content whole: up to 256 MiB of it, within memory in proportion.
TEST(ReaderHardening, RenderersRefuseABombBeyondTheirContentLimit) {
    const Bytes bomb = gzipBomb(180);  // 283 MB of content in some 270 KB
    TempPath path;
    writeFile(path.str(), bomb);
    const auto check = [&] {
        const ToolRun r = kvg({"svg", path.str(), "-o", "-"});
        return r.status == 1 && r.out.empty() &&
               r.err == "kvg svg: " + path.str() +
                            ": content beyond the limit of 268435456 bytes\n";
    };
    if (underSanitizer()) {
        EXPECT_TRUE(check());
    } else {
        EXPECT_TRUE(holdsWithAddressSpace(uint64_t{640} << 20, check));
    }
}

// ---- What the command makes of it

TEST(ReaderHardening, CommandsFailClearlyOnWhatIsNoKvgFile) {
    TempPath empty, signature, fifo(".fifo");
    writeText(empty.str(), "");
    writeText(signature.str(), "KVG\x98\xE1");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        std::string message;
    } cases[] = {
        {empty.str(), "offset 0: empty file"},
        {signature.str(), "offset 0: header: truncated"},
        {fifo.str(), "offset 0: empty file"},
        {"/", "cannot read: Is a directory"},
        {"/dev/zero", "offset 0: header: bad signature"},
        {empty.str() + ".missing", "cannot open: No such file or directory"},
    };
    std::vector<std::string> commands = {"check", "info", "dump", "svg"};
    if (kvgtool::viewerPage().find("<!--DRAWING-->") != std::string_view::npos)
        commands.push_back("html");
    for (const auto &c : cases) {
        for (const std::string &command : commands) {
            const ToolRun r = kvg({command, c.path});
            EXPECT_EQ(r.status, 1) << command << " " << c.path;
            EXPECT_EQ(r.err, "kvg " + std::string(command) + ": " + c.path + ": " + c.message + "\n");
        }
    }
}

// A small gzip stream of a great many marks: the dump's output stays in proportion to the
// input (1 MiB and 256 bytes a byte read), in text and JSON, or within --max-output, and ends
// with a message and exit 1; the file itself is valid.
TEST(ReaderHardening, DumpOfAGzipBombIsBoundedByItsInput) {
    TempPath path;
    {
        std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(plainOptions());
        KVG_setCompressionFileOption(opt.get(), 1);
        KVG_File *fl = KVG_create(path.c_str(), opt.get());
        ASSERT_NE(fl, nullptr);
        ASSERT_EQ(KVG_beginLayer(fl, "marks", 1, 1), 0);
        for (int i = 0; i < 1000000; ++i) ASSERT_EQ(KVG_mark(fl, 10, 10), 0);
        ASSERT_EQ(KVG_close(fl), 0);
    }
    const uint64_t input = readFile(path.str()).size();
    ASSERT_LT(input, 64u << 10);
    EXPECT_EQ(kvg({"check", path.str()}).status, 0);
    for (const char *format : {"--text", "--json"}) {
        std::vector<std::string> args = {"dump", path.str()};
        if (std::string(format) == "--json") args.push_back(format);
        const ToolRun r = kvg(args);
        EXPECT_EQ(r.status, 1) << format;
        EXPECT_LE(r.out.size(), (1u << 20) + 256 * input) << format;
        EXPECT_GT(r.out.size(), 1u << 20) << format;
        EXPECT_EQ(r.err, "kvg dump: " + path.str() + ": output stopped at " +
                             std::to_string(r.out.size()) +
                             " bytes, 1 MiB and 256 bytes for each byte of input\n");
    }
    const ToolRun fixed = kvg({"dump", path.str(), "--max-output", "1000"});
    EXPECT_EQ(fixed.status, 1);
    EXPECT_EQ(fixed.out.size(), 1000u);
    EXPECT_TRUE(fixed.err.ends_with("output stopped at 1000 bytes, the limit of --max-output\n"));
    EXPECT_EQ(kvg({"dump", path.str(), "--max-output", "1G"}).status, 0) << "room for all of it";
}

// The reader's limits on the command line: lower ones stop a file the defaults let through,
// with the reader's message and exit 1; a bad value is a usage error.
TEST(ReaderHardening, CommandsTakeTheReadersLimits) {
    TempPath path;
    writeFile(path.str(), gzipBomb(1));  // 4,194,303 points, 1.5 MB of content
    for (const std::string command : {"check", "info", "dump", "svg", "render"}) {
        std::vector<std::string> args = {command, path.str(), "--max-points", "1M"};
        if (command == "svg" || command == "render") args.insert(args.end(), {"-o", "-"});
        ToolRun r = kvg(args);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_TRUE(contains(r.err, "polyline: more than 1048576 points")) << command << r.err;
        args[2] = "--max-bytes";
        args[3] = "100K";
        r = kvg(args);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_TRUE(contains(r.err, "beyond the limit of 102400 bytes")) << command << r.err;
        args[2] = "--max-memory";
        args[3] = "4M";
        r = kvg(args);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_TRUE(contains(r.err, "needs more than the limit of 4194304 bytes of memory"))
            << command << r.err;
        args[3] = "0";
        r = kvg(args);
        EXPECT_EQ(r.status, 2) << command;
        EXPECT_TRUE(r.err.starts_with("kvg " + command +
                                      ": --max-memory takes a whole number above 0"))
            << r.err;
    }
    EXPECT_EQ(kvg({"check", path.str(), "--max-points", "5M", "--max-memory", "1G"}).status, 0);
    EXPECT_TRUE(contains(kvg({"check", "--help"}).out, "--max-points N"));
}

TEST(ReaderHardening, StandardInputIsTheDash) {
    UnitWriter writer;
    ASSERT_EQ(KVG_beginLayer(writer.get(), "L", 1, 1), 0);
    const Bytes bytes = writer.close();
    TempPath path;
    writeText(path.str(), std::string(bytes.begin(), bytes.end()));
    const std::string command =
        std::string(KVG_TOOL_PATH) + " check - < " + path.str() + " 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, pipe), nullptr);
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_STREQ(line, "standard input: valid, 4 records\n");
}

// ---- Numbers of any size print as themselves

// A raw file whose window is 2 units wide on a 100 mm page: a mark at 1e70 file units lies
// 5e71 mm across the page, 72 digits before the point in the text dump.
TEST(ReaderHardening, DumpPrintsHugeCoordinatesWhole) {
    TempPath path;
    std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(plainOptions());
    KVG_setQuantizationFileOption(opt.get(), 0);
    KVG_setWorldFileOption(opt.get(), -1, 1, -1, 1);
    KVG_File *fl = KVG_create(path.c_str(), opt.get());
    ASSERT_NE(fl, nullptr);
    ASSERT_EQ(KVG_beginLayer(fl, "far", 1, 1), 0);
    ASSERT_EQ(KVG_mark(fl, 1e70, -2e300), 0);
    ASSERT_EQ(KVG_close(fl), 0);
    ToolRun r = kvg({"dump", path.str()});
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t mark = r.out.find(" mark at=1e+70,-2e+300@");
    ASSERT_NE(mark, std::string::npos) << r.out;
    const size_t at = r.out.find('@', mark) + 1, comma = r.out.find(',', at);
    const size_t end = r.out.find('\n', comma);
    const std::string x = r.out.substr(at, comma - at), y = r.out.substr(comma + 1, end - comma - 1);
    EXPECT_EQ(x.size(), 72u) << x;
    EXPECT_EQ(y.size(), 304u) << y;  // a minus sign and 303 digits
    EXPECT_EQ(x.find_first_not_of("0123456789"), std::string::npos) << x;
    EXPECT_EQ(std::stod(x), 1e70 * 50 + 50);
    EXPECT_EQ(std::stod(y), -2e300 * 50 + 50);
    r = kvg({"dump", "--json", path.str()});
    EXPECT_TRUE(contains(r.out, "\"at\":{\"file\":[1e+70,-2e+300],\"world\":[")) << r.out;
}

// ---- What the SVG renderer makes of it

// `points` positions in unit steps, back and forth along rows of 100.
std::vector<double> zigzag(size_t points) {
    std::vector<double> xy;
    for (size_t i = 0; i < points; ++i) {
        const size_t row = i / 100, column = i % 100;
        xy.insert(xy.end(), {double(row % 2 == 0 ? column : 99 - column), double(row)});
    }
    return xy;
}

int32_t defineEdge(KVG_File *fl, size_t points) {
    const std::vector<double> xy = zigzag(points);
    int32_t edge = 0;
    EXPECT_EQ(KVG_setEdge(fl, &edge, xy.size() / 2, xy.data()), 0);
    return edge;
}

size_t occurrences(const std::string &text, const std::string &part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The SVG of what `draw` draws on a UnitWriter.
ToolRun svgOf(const std::function<void(KVG_File *)> &draw) {
    UnitWriter writer;
    draw(writer.get());
    TempPath path;
    writeFile(path.str(), writer.close());
    return kvg({"svg", path.str(), "-o", "-"});
}

TEST(RenderHardening, AnEdgeDrawnThousandsOfTimesIsWrittenOnce) {
    const ToolRun r = svgOf([](KVG_File *fl) {
        const int32_t edge = defineEdge(fl, 40000);
        ASSERT_EQ(KVG_beginLayer(fl, "L", 1, 1), 0);
        for (int i = 0; i < 2000; ++i) ASSERT_EQ(KVG_edge(fl, edge), 0);
    });
    ASSERT_EQ(r.status, 0) << r.err;
    // Its points once, then references: 2,000 copies of them would take some 800 MB.
    EXPECT_LT(r.out.size(), 1u << 20);
    EXPECT_EQ(occurrences(r.out, "<use xlink:href=\"#p0\""), 2000u);
}

// Paths that repeat an edge (a face of one edge 100,000 times, thousands of different ranges
// over long edges) stop at the render budget, within little memory and time.
TEST(RenderHardening, PathsThatRepeatEdgesStopAtTheBudget) {
    const auto faceOfOneEdge = [](KVG_File *fl) {
        const int32_t edge = defineEdge(fl, 40000);
        uint32_t face = 0;
        ASSERT_EQ(KVG_beginSetFace(fl, &face), 0);
        for (int i = 0; i < 100000; ++i) ASSERT_EQ(KVG_edgeSetFace(fl, edge, 0), 0);
        ASSERT_EQ(KVG_endSetFace(fl), 0);
        ASSERT_EQ(KVG_beginLayer(fl, "L", 1, 1), 0);
        ASSERT_EQ(KVG_face(fl, face), 0);
    };
    const auto rangesOfLongEdges = [](KVG_File *fl) {
        for (int i = 0; i < 100; ++i) defineEdge(fl, 2000);
        ASSERT_EQ(KVG_beginLayer(fl, "L", 1, 1), 0);
        for (int16_t first = 1; first <= 100; ++first)
            for (int16_t last = first; last <= 100; ++last)
                ASSERT_EQ(KVG_edgeRange(fl, first, last), 0);
    };
    using Drawing = std::function<void(KVG_File *)>;
    for (const Drawing &draw : {Drawing(faceOfOneEdge), Drawing(rangesOfLongEdges)}) {
        const auto check = [&] {
            const ToolRun r = svgOf(draw);
            return r.status == 1 && contains(r.err, "the drawing needs paths of more than ");
        };
        if (underSanitizer()) {
            EXPECT_TRUE(check());
        } else {
            EXPECT_TRUE(holdsWithAddressSpace(192u << 20, check));
        }
    }
}

// Each face the hole of the next, 50,000 deep: every ring drawn once, without recursion.
TEST(RenderHardening, FacesNestedAsHolesTensOfThousandsDeep) {
    const ToolRun r = svgOf([](KVG_File *fl) {
        const double triangle[] = {0, 0, 1, 0, 1, 1, 0, 0};
        int32_t edge = 0;
        ASSERT_EQ(KVG_setEdge(fl, &edge, 4, triangle), 0);
        uint32_t face = 0;
        for (uint32_t i = 0; i <= 50000; ++i) {
            ASSERT_EQ(KVG_beginSetFace(fl, &face), 0);
            ASSERT_EQ(KVG_edgeSetFace(fl, edge, 0), 0);
            if (i > 0) ASSERT_EQ(KVG_holeSetFace(fl, face - 1), 0);
            ASSERT_EQ(KVG_endSetFace(fl), 0);
        }
        ASSERT_EQ(KVG_beginLayer(fl, "L", 1, 1), 0);
        ASSERT_EQ(KVG_face(fl, face), 0);
    });
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(occurrences(r.out, "Z"), 50001u);
}

// Objects nested deeper than the renderer's groups: drawn, in groups 64 deep at most; nested
// deeper than the reader's limit, refused.
TEST(RenderHardening, DeeplyNestedObjectsMakeShallowGroups) {
    const ToolRun r = svgOf([](KVG_File *fl) {
        ASSERT_EQ(KVG_beginLayer(fl, "L", 1, 1), 0);
        for (int i = 0; i < 200; ++i) ASSERT_EQ(KVG_beginObject(fl, "o"), 0);
        ASSERT_EQ(KVG_mark(fl, 0, 0), 0);
    });
    ASSERT_EQ(r.status, 0) << r.err;
    int depth = 0, deepest = 0;
    for (size_t at = r.out.find('<'); at != std::string::npos; at = r.out.find('<', at + 1)) {
        if (r.out.compare(at, 3, "<g>") == 0 || r.out.compare(at, 3, "<g ") == 0)
            deepest = std::max(deepest, ++depth);
        if (r.out.compare(at, 4, "</g>") == 0) --depth;
    }
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(deepest, 1 + 64 + 1);  // the layer's group, the objects', the mark's definition
    EXPECT_EQ(occurrences(r.out, "<use xlink:href=\"#d0\""), 1u);
    const Bytes million = unitFile("", "01 80 01 4C " + hexRepeat("02 01 61", 1000000));
    TempPath path;
    writeFile(path.str(), million);
    const ToolRun deep = kvg({"svg", path.str(), "-o", "-"});
    EXPECT_EQ(deep.status, 1);
    EXPECT_EQ(deep.err, "kvg svg: " + path.str() + ": offset " + std::to_string(33 + 4 + 256 * 3) +
                            ": object: objects nested deeper than 256\n");
}

// The writer never stamps a shape inside another; a file that does is refused, not drawn.
TEST(RenderHardening, ShapesStampedInsideShapesAreRefused) {
    const Bytes stamped = unitFile("6F 00 01 00 01 70 6F 00 01 00 01 38 00 00 00 00 00 70",
                                   "01 80 01 4C 38 01 00 00 00 00");
    TempPath path;
    writeFile(path.str(), stamped);
    const ToolRun r = kvg({"svg", path.str(), "-o", "-"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kvg svg: " + path.str() +
                         ": offset 40: stamp-shape: not allowed inside a shape definition\n");
}

}  // namespace
}  // namespace kvgtest
