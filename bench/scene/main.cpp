// kvg-scene-bench: writes one generated map-like scene with kvgwriter and with what users would
// pick instead, in the same run, and prints a table of median times, sizes and ratios.
//
//   kvg-scene-bench [--points N] [--rounds N] [--dir DIR]
//       the comparison table and the targets
//   kvg-scene-bench --levels [--rounds N] [--dir DIR] [FILE...]
//       size against time of deflate at every level, on the scene's plain KVG output or on
//       the files given
//   kvg-scene-bench --memory POINTS FIGURES [--dir DIR]
//       peak resident memory of writing POINTS points in FIGURES polylines, generated on the
//       fly (nothing of the drawing is kept by the program)
//   kvg-scene-bench [--rounds N] --time COMMAND [ARGUMENT...]
//       the median processor and wall-clock seconds of a whole command (its output discarded)
//   kvg-scene-bench --once per-point|bulk [--dir DIR]
//       writes the scene's plain KVG file once, for a profiler (scene::writeKvg is the call to
//       count: valgrind --tool=callgrind --toggle-collect='scene::writeKvg*')
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "baselines.h"
#include "command_timer.h"
#include "rounds.h"
#include "writers.h"
#include "xio_deflate.h"

namespace scene {

namespace {

struct Options {
    enum class Mode { COMPARE, LEVELS, MEMORY, TIME, ONCE } mode = Mode::COMPARE;
    uint64_t points = 1000000;
    int rounds = 5;
    std::string dir = ".";
    uint64_t figures = 0;             // --memory
    std::vector<std::string> files;  // --levels
    std::vector<std::string> command;  // --time
    bool bulk = false;                 // --once
};

uint64_t parseCount(const char *text) {
    char *end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0' || value == 0) {
        throw std::invalid_argument(std::string("not a positive count: ") + text);
    }
    return value;
}

Options parse(int argc, char **argv) {
    Options o;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> const char * {
            if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--points") o.points = parseCount(value());
        else if (arg == "--rounds") o.rounds = static_cast<int>(parseCount(value()));
        else if (arg == "--dir") o.dir = value();
        else if (arg == "--levels") o.mode = Options::Mode::LEVELS;
        else if (arg == "--memory") o.mode = Options::Mode::MEMORY;
        else if (arg == "--once") {
            o.mode = Options::Mode::ONCE;
            const std::string calls = value();
            if (calls != "per-point" && calls != "bulk") {
                throw std::invalid_argument("--once per-point|bulk");
            }
            o.bulk = calls == "bulk";
        }
        else if (arg == "--time") {
            o.mode = Options::Mode::TIME;
            o.command.assign(argv + i + 1, argv + argc);
            break;
        }
        else if (arg.starts_with("--")) throw std::invalid_argument("unknown option " + arg);
        else positional.push_back(arg);
    }
    if (o.mode == Options::Mode::MEMORY) {
        if (positional.size() != 2) throw std::invalid_argument("--memory POINTS FIGURES");
        o.points = parseCount(positional[0].c_str());
        o.figures = parseCount(positional[1].c_str());
    } else if (o.mode == Options::Mode::TIME) {
        if (o.command.empty() || !positional.empty()) throw std::invalid_argument("--time COMMAND");
    } else if (o.mode == Options::Mode::LEVELS) {
        o.files = positional;
    } else if (!positional.empty()) {
        throw std::invalid_argument("unexpected argument " + positional[0]);
    }
    return o;
}

void printScene(const Scene &s) {
    uint64_t polygons = 0;
    for (const Figure &f : s.figures) polygons += f.closed ? 1 : 0;
    std::printf("scene: %llu points: %zu figures (%llu polylines, %llu polygons) with %zu points;"
                " a planar map of %zu edges with %zu points and %zu faces\n\n",
                static_cast<unsigned long long>(s.pointCount()), s.figures.size(),
                static_cast<unsigned long long>(s.figures.size() - polygons),
                static_cast<unsigned long long>(polygons), s.figure_points.size(),
                s.edges.size(), s.edge_points.size(), s.faces.size());
}

// ---- The comparison ----

// Positions of the writers in the table.
enum Row {
    KVG_PLAIN,
    KVG_COMPRESSED,
    KVG_PLAIN_BULK,
    KVG_COMPRESSED_BULK,
    SVG,
    SVG_STDIO,
    SVG_GZIP_1,
    SVG_GZIP_6,
    CAIRO_SVG,
    CAIRO_PDF,
    MEMCPY,
    ZLIB_1,
    ZLIB_4,
    ZLIB_6,
    XIO_DEFLATE,  // XIO's encoder at its level
    ROW_COUNT
};

constexpr Encoder kXioEncoder = KVG_HAVE_ISAL ? Encoder::ISAL : Encoder::ZLIB;
// zlib's level that compressed files were written at before a faster encoder: the reference
// that compressed bytes are held to.
constexpr int kReferenceZlibLevel = 4;

void printTable(const std::vector<Contender> &c, const Timings &t, uint64_t points) {
    std::printf("| writer | median s | ns/point | bytes | bytes/point | time × kvg plain | "
                "time × kvg compressed |\n|---|---:|---:|---:|---:|---:|---:|\n");
    for (size_t i = 0; i < c.size(); ++i) {
        const double s = median(t.seconds[i]);
        std::printf("| %s | %.4f | %.1f | %llu | %.3f | %.2f | %.2f |\n", c[i].name.c_str(), s,
                    s * 1e9 / static_cast<double>(points),
                    static_cast<unsigned long long>(t.bytes[i]),
                    static_cast<double>(t.bytes[i]) / static_cast<double>(points),
                    medianRatio(t.seconds[i], t.seconds[KVG_PLAIN]),
                    medianRatio(t.seconds[i], t.seconds[KVG_COMPRESSED]));
    }
}

void printTarget(const char *what, double value, const char *unit, const char *bound,
                 bool met) {
    std::printf("  %-58s %8.2f%-2s %-14s %s\n", what, value, unit, bound,
                met ? "met" : "MISSED");
}

void printTargets(const Timings &t) {
    const auto &sec = t.seconds;
    size_t fastest_svg = SVG;
    for (size_t row : {SVG_STDIO, SVG_GZIP_1, SVG_GZIP_6}) {
        if (median(sec[row]) < median(sec[fastest_svg])) fastest_svg = row;
    }
    // Compressed against plain: the extra time, in deflate times of the plain bytes.
    const std::vector<double> &deflate = sec[XIO_DEFLATE];
    const auto extraOverDeflate = [&](Row compressed, Row plain) {
        std::vector<double> extra(sec[plain].size());
        for (size_t r = 0; r < extra.size(); ++r) {
            extra[r] = (sec[compressed][r] - sec[plain][r]) / deflate[r];
        }
        return median(extra);
    };
    const double svg = medianRatio(sec[fastest_svg], sec[KVG_PLAIN]);
    const double svg_bulk = medianRatio(sec[fastest_svg], sec[KVG_PLAIN_BULK]);
    const double cairo = medianRatio(sec[CAIRO_SVG], sec[KVG_PLAIN]);
    const double cairo_bulk = medianRatio(sec[CAIRO_SVG], sec[KVG_PLAIN_BULK]);
    const double compressed = medianRatio(sec[KVG_COMPRESSED], sec[KVG_PLAIN]);
    const double compressed_bulk = medianRatio(sec[KVG_COMPRESSED_BULK], sec[KVG_PLAIN_BULK]);
    const double bytes_above = 100.0 * (static_cast<double>(t.bytes[KVG_COMPRESSED]) /
                                        static_cast<double>(t.bytes[ZLIB_4]) - 1.0);
    std::printf("\ntargets (compressed with %s, level %d):\n", XIO_ENCODER, XIO_COMPRESSION_LEVEL);
    printTarget("cairo SVG surface / kvgwriter plain, per-point calls", cairo, "x",
                "(at least 75)", cairo >= 75.0);
    printTarget("cairo SVG surface / kvgwriter plain, bulk calls", cairo_bulk, "x",
                "(at least 110)", cairo_bulk >= 110.0);
    printTarget("fastest hand-written SVG / kvgwriter plain, per-point calls", svg, "x",
                "(at least 6)", svg >= 6.0);
    printTarget("fastest hand-written SVG / kvgwriter plain, bulk calls", svg_bulk, "x",
                "(at least 9)", svg_bulk >= 9.0);
    printTarget("compressed / plain, per-point calls", compressed, "x", "(at most 2)",
                compressed <= 2.0);
    printTarget("compressed / plain, bulk calls", compressed_bulk, "x", "(at most 2)",
                compressed_bulk <= 2.0);
    printTarget("compressed bytes above zlib -4's of the plain file", bytes_above, "%",
                "(at most 3)", bytes_above <= 3.0);
    std::printf("  (compressed - plain) / deflate of the plain bytes: %.2f x per-point, %.2f x "
                "bulk\n", extraOverDeflate(KVG_COMPRESSED, KVG_PLAIN),
                extraOverDeflate(KVG_COMPRESSED_BULK, KVG_PLAIN_BULK));
    std::printf("  per-point / bulk calls, whole scene: %.2f x\n",
                medianRatio(sec[KVG_PLAIN], sec[KVG_PLAIN_BULK]));
}

int compare(const Options &o) {
    const Scene s = makeScene(o.points);
    printScene(s);
    const std::string base = o.dir + "/scene";
    // The plain output, written once beforehand, for the baselines that work on its bytes.
    writeKvg(s, base + ".kvg", false, false);
    const std::vector<unsigned char> plain = readFile(base + ".kvg");
    // The bulk calls must write the very same bytes.
    writeKvg(s, base + "-bulk.kvg", false, true);
    if (readFile(base + "-bulk.kvg") != plain) {
        throw std::runtime_error("the bulk calls wrote other bytes than the per-point calls");
    }
    CopyBaseline copy(plain.size());
    DeflateBaseline zlib1(plain, 1), zlib4(plain, kReferenceZlibLevel), zlib6(plain, 6);
    DeflateBaseline xio_deflate(plain, XIO_COMPRESSION_LEVEL, kXioEncoder);

    std::vector<Contender> c(ROW_COUNT);
    c[KVG_PLAIN] = {"kvgwriter, plain",
                    [&] { return writeKvg(s, base + ".kvg", false, false); }};
    c[KVG_COMPRESSED] = {"kvgwriter, compressed",
                         [&] { return writeKvg(s, base + "-gz.kvg", true, false); }};
    c[KVG_PLAIN_BULK] = {"kvgwriter, plain, bulk calls",
                         [&] { return writeKvg(s, base + "-bulk.kvg", false, true); }};
    c[KVG_COMPRESSED_BULK] = {"kvgwriter, compressed, bulk calls",
                              [&] { return writeKvg(s, base + "-bulk-gz.kvg", true, true); }};
    c[SVG] = {"hand-written SVG", [&] { return writeHandSvg(s, base + ".svg", 0); }};
    c[SVG_STDIO] = {"hand-written SVG, stdio",
                    [&] { return writeStdioSvg(s, base + "-stdio.svg"); }};
    c[SVG_GZIP_1] = {"hand-written SVG, gzip -1",
                     [&] { return writeHandSvg(s, base + "-1.svgz", 1); }};
    c[SVG_GZIP_6] = {"hand-written SVG, gzip -6",
                     [&] { return writeHandSvg(s, base + "-6.svgz", 6); }};
    c[CAIRO_SVG] = {"cairo SVG surface",
                    [&] { return writeCairo(s, base + "-cairo.svg", CairoSurface::SVG); }};
    c[CAIRO_PDF] = {"cairo PDF surface",
                    [&] { return writeCairo(s, base + "-cairo.pdf", CairoSurface::PDF); }};
    c[MEMCPY] = {"memcpy of the plain KVG bytes", [&] { return copy.run(); }};
    c[ZLIB_1] = {"zlib -1 of the plain KVG bytes", [&] { return zlib1.run(); }};
    c[ZLIB_4] = {"zlib -4 of the plain KVG bytes", [&] { return zlib4.run(); }};
    c[ZLIB_6] = {"zlib -6 of the plain KVG bytes", [&] { return zlib6.run(); }};
    c[XIO_DEFLATE] = {std::string(XIO_ENCODER) + " -" + std::to_string(XIO_COMPRESSION_LEVEL) +
                          " of the plain KVG bytes",
                      [&] { return xio_deflate.run(); }};

    const Timings t = runRounds(c, o.rounds);
    std::printf("%d rounds; medians; ratios are taken round by round\n\n", o.rounds);
    printTable(c, t, s.pointCount());
    printTargets(t);
    return 0;
}

// ---- Compression levels ----

// Every encoder at every level in the same rounds, with its bytes and time as ratios to zlib's
// reference level (the time round by round).
void printLevels(const std::string &name, const std::vector<unsigned char> &data, int rounds,
                 uint64_t points) {
    std::vector<DeflateBaseline> levels;
    std::vector<Contender> c;
    levels.reserve(32);
    size_t reference = 0;
    for (Encoder e : {Encoder::ZLIB, Encoder::LIBDEFLATE, Encoder::ISAL}) {
        if (!hasEncoder(e)) continue;
        for (int level = lowestLevel(e); level <= highestLevel(e); ++level) {
            if (e == Encoder::ZLIB && level == kReferenceZlibLevel) reference = c.size();
            levels.emplace_back(data, level, e);
            c.push_back({std::string(encoderName(e)) + " | " + std::to_string(level),
                         [&d = levels.back()] { return d.run(); }});
        }
    }
    const Timings t = runRounds(c, rounds);
    for (const DeflateBaseline &d : levels) {
        if (!d.roundTrips()) throw std::runtime_error("a gzip stream did not give the data back");
    }
    const bool per_point = points > 0;
    std::printf("%s: %zu bytes\n\n| encoder | level | bytes | %% of plain | bytes × zlib %d |%s"
                " median ms | MB/s | time × zlib %d |\n|---|---:|---:|---:|---:|%s---:|---:|---:|\n",
                name.c_str(), data.size(), kReferenceZlibLevel, per_point ? " bytes/point |" : "",
                kReferenceZlibLevel, per_point ? "---:|" : "");
    for (size_t i = 0; i < c.size(); ++i) {
        const double s = median(t.seconds[i]);
        const double bytes = static_cast<double>(t.bytes[i]);
        std::printf("| %s | %.0f | %.1f | %.3f |", c[i].name.c_str(), bytes,
                    100.0 * bytes / static_cast<double>(data.size()),
                    bytes / static_cast<double>(t.bytes[reference]));
        if (per_point) std::printf(" %.3f |", bytes / static_cast<double>(points));
        std::printf(" %.2f | %.0f | %.2f |\n", s * 1e3, static_cast<double>(data.size()) / s / 1e6,
                    medianRatio(t.seconds[i], t.seconds[reference]));
    }
    std::printf("\n");
}

int levels(const Options &o) {
    if (!o.files.empty()) {
        for (const std::string &file : o.files) printLevels(file, readFile(file), o.rounds, 0);
        return 0;
    }
    const Scene s = makeScene(o.points);
    printScene(s);
    const std::string path = o.dir + "/scene.kvg";
    writeKvg(s, path, false, false);
    printLevels("the scene's plain KVG output", readFile(path), o.rounds, s.pointCount());
    return 0;
}

// ---- Memory ----

int memory(const Options &o) {
    const std::string path = o.dir + "/memory.kvg";
    const double start = processSeconds();
    const uint64_t bytes = writeKvgWalk(path, o.points / o.figures, o.figures);
    const double elapsed = processSeconds() - start;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%llu points in %llu polylines: %llu bytes in %.2f processor seconds, peak "
                "resident memory %.1f MB\n",
                static_cast<unsigned long long>(o.points / o.figures * o.figures),
                static_cast<unsigned long long>(o.figures), static_cast<unsigned long long>(bytes),
                elapsed, static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}

// ---- One plain file, for a profiler ----

int once(const Options &o) {
    const Scene s = makeScene(o.points);
    const std::string path = o.dir + "/scene-once.kvg";
    std::printf("%llu points, %llu bytes\n", static_cast<unsigned long long>(s.pointCount()),
                static_cast<unsigned long long>(writeKvg(s, path, false, o.bulk)));
    return 0;
}

// ---- A whole command ----

int timeOf(const Options &o) {
    const CommandTimes t = timeCommand(o.command, o.rounds);
    std::printf("%.4f %.4f\n", t.cpu_seconds, t.wall_seconds);
    return 0;
}

}  // namespace

}  // namespace scene

int main(int argc, char **argv) {
    try {
        const scene::Options o = scene::parse(argc, argv);
        switch (o.mode) {
            case scene::Options::Mode::COMPARE: return scene::compare(o);
            case scene::Options::Mode::LEVELS: return scene::levels(o);
            case scene::Options::Mode::MEMORY: return scene::memory(o);
            case scene::Options::Mode::TIME: return scene::timeOf(o);
            case scene::Options::Mode::ONCE: return scene::once(o);
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "kvg-scene-bench: %s\n", e.what());
    }
    return 1;
}
