// The long check: the writer's fast paths against their references at sizes beyond the unit
// tests' time budget. Run by CI after the test suite (`kvg_long_check`); prints what it compared
// and exits 0 when everything agrees, 1 at the first disagreement.
//
// - The edge optimizer against the recurrence read literally, on millions of random differences
//   of every size mix (ties and the count-byte boundaries included), with the vector kernels
//   in both their forms, and on edges longer than the writer makes (the 64-bit lanes).
// - Whole files of tens of millions of points: the per-point calls against the bulk calls,
//   whole figures and runs of vertices, in both kernel forms, byte for byte.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "kernels.h"
#include "kvgwriter.h"
#include "optimizer_reference.h"

namespace {

using namespace kvgopt_reference;

[[noreturn]] void fail(const std::string &what) {
    std::fprintf(stderr, "kvg_long_check: %s\n", what.c_str());
    std::exit(1);
}

// ---- The optimizer ----

std::vector<Segment> optimize(const PointArray *points, UCharArray *modes, ULongArray *counts) {
    KVGO_EdgeOptimize(points, modes, counts);
    std::vector<Segment> result;
    for (uint32_t i = 0; i < ucaSize(modes); ++i) {
        result.push_back({ucaPointer(modes)[i], ulaPointer(counts)[i]});
    }
    return result;
}

void fillWithGroups(PointArray *points, const std::vector<Segment> &groups) {
    paReset(points);
    for (auto [bits, count] : groups) {
        for (uint32_t i = 0; i < count; ++i) paAdd(points, stepOfSize(bits), 0);
    }
}

// Random edges of every mix until `total` differences were compared.
uint64_t checkOptimizer(std::mt19937 &rng, uint64_t total) {
    PointArray *points = paCreate(0);
    UCharArray *modes = ucaCreate(0);
    ULongArray *counts = ulaCreate(0);
    std::vector<Segment> (*const makers[])(std::mt19937 &) = {longRuns, loneBigSteps,
                                                              aroundCountLimits, equalGroups};
    uint64_t compared = 0, edges = 0;
    while (compared < total) {
        const unsigned kind = rng() % 5;
        if (kind == 4) {
            paReset(points);
            const unsigned reach = 1 + rng() % 100;
            for (uint32_t i = countUpTo(rng, 3000); i > 0; --i) {
                const auto [dx, dy] = randomStep(rng, reach);
                paAdd(points, dx, dy);
            }
        } else {
            fillWithGroups(points, makers[kind](rng));
        }
        if (optimize(points, modes, counts) != referenceSegments(points)) {
            fail("the optimizer differs from the literal recurrence on edge " +
                 std::to_string(edges) + " (kind " + std::to_string(kind) + ")");
        }
        compared += paSize(points);
        ++edges;
    }
    // Beyond the writer's limit of differences per edge the lanes are 64 bits wide.
    std::vector<Segment> groups;
    uint64_t n = 0;
    while (n <= KVGT_SIZE_MAX + 100000u) {
        groups.push_back({anySize(rng), countUpTo(rng, rng() % 8 == 0 ? 40000 : 30)});
        n += groups.back().count;
    }
    fillWithGroups(points, groups);
    if (optimize(points, modes, counts) != referenceSegments(points)) {
        fail("the optimizer differs from the literal recurrence on an edge of " +
             std::to_string(n) + " differences");
    }
    paDestroy(points);
    ucaDestroy(modes);
    ulaDestroy(counts);
    return compared + n;
}

// ---- Whole files ----

struct Window {
    const char *name;
    double xmin, xmax, ymin, ymax;
    bool raw;
};

const Window kWindows[] = {
    {"default", -100, 100, -100, 100, false},
    {"reversed and asymmetric", 180, -180, 90, -90, false},
    {"huge", -1e300, 1e300, -1e300, 1e300, false},
    {"raw", -100, 100, -100, 100, true},
};

// Figures of `per_figure` points: map-like walks a fraction of a grid unit off the grid, with
// repeats and jumps, and uniform points, in world coordinates.
std::vector<double> makePoints(std::mt19937 &rng, const Window &w, uint64_t npoints) {
    std::uniform_real_distribution<double> unit(0, 1), turn(-0.6, 0.6), noise(-0.3, 0.3);
    const double gx = (w.xmax - w.xmin) / 4096, gy = (w.ymax - w.ymin) / 4096;  // a grid unit
    std::vector<double> xy;
    xy.reserve(2 * npoints);
    double x = 0, y = 0, heading = 0;
    for (uint64_t i = 0; i < npoints; ++i) {
        if (i % 997 == 0 || rng() % 2000 == 0) {
            x = w.xmin + unit(rng) * (w.xmax - w.xmin);
            y = w.ymin + unit(rng) * (w.ymax - w.ymin);
        } else if (rng() % 10 != 0) {
            heading += turn(rng);
            const double length = 1 + rng() % 8;
            x += length * std::cos(heading) * gx;
            y += length * std::sin(heading) * gy;
        }
        xy.push_back(x + noise(rng) * gx);
        xy.push_back(y + noise(rng) * gy);
    }
    return xy;
}

enum class Calls { PER_POINT, WHOLE, RUNS };

constexpr size_t kPerFigure = 1000;

// Every kPerFigure points a figure: polylines, filled polygons and edges in turn.
std::vector<unsigned char> writeFile(const Window &w, const std::vector<double> &xy,
                                     Calls calls) {
    const std::string path = std::string(P_tmpdir) + "/kvg-long-check-" +
                             std::to_string(getpid()) + ".kvg";
    KVG_FileOptions *opt = KVG_newFileOptions();
    KVG_setCompressionFileOption(opt, 0);
    KVG_setWorldFileOption(opt, w.xmin, w.xmax, w.ymin, w.ymax);
    KVG_setQuantizationFileOption(opt, w.raw ? 0 : 1);
    KVG_File *fl = KVG_create(path.c_str(), opt);
    KVG_deleteFileOptions(opt);
    if (fl == nullptr) fail("cannot create " + path);
    KVG_beginLayer(fl, "long", 1, 1);
    const size_t npoints = xy.size() / 2;
    for (size_t first = 0, figure = 0; first + 2 < npoints; first += kPerFigure, ++figure) {
        const size_t n = std::min(kPerFigure, npoints - first);
        const double *p = &xy[2 * first];
        const bool edge = figure % 3 == 2;
        const int type = figure % 3 == 0 ? KVG_BEGIN_POLYLINE : KVG_BEGIN_POLYGON;
        KVG_setFill(fl, figure % 3 == 1);
        int32_t id = 0;
        if (calls == Calls::WHOLE) {
            if (edge) {
                KVG_setEdge(fl, &id, n, p);
            } else {
                KVG_polyline(fl, type, n, p);
            }
            continue;
        }
        if (edge) {
            KVG_beginSetEdge(fl, &id, p[0], p[1]);
        } else {
            KVG_begin(fl, type, p[0], p[1]);
        }
        for (size_t i = 1, run = 1; i < n; i += run) {
            if (calls == Calls::RUNS) {
                run = std::min<size_t>(n - i, 1 + (i * 7919) % 300);
                if (edge) {
                    KVG_verticesSetEdge(fl, run, p + 2 * i);
                } else {
                    KVG_vertices(fl, run, p + 2 * i);
                }
            } else if (edge) {
                KVG_vertexSetEdge(fl, p[2 * i], p[2 * i + 1]);
            } else {
                KVG_vertex(fl, p[2 * i], p[2 * i + 1]);
            }
        }
        if (edge) {
            KVG_endSetEdge(fl);
        } else {
            KVG_end(fl);
        }
    }
    if (KVG_close(fl) != 0) fail("cannot complete " + path);
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
    std::remove(path.c_str());
    return bytes;
}

uint64_t checkFiles(std::mt19937 &rng, uint64_t points_per_window) {
    uint64_t written = 0;
    for (const Window &w : kWindows) {
        const std::vector<double> xy = makePoints(rng, w, points_per_window);
        KVGK_forcePortableKernels(0);
        const std::vector<unsigned char> expected = writeFile(w, xy, Calls::PER_POINT);
        for (const int portable : {0, 1}) {
            KVGK_forcePortableKernels(portable);
            for (const Calls calls : {Calls::WHOLE, Calls::RUNS}) {
                if (writeFile(w, xy, calls) != expected) {
                    fail(std::string("the bulk calls wrote other bytes, window ") + w.name +
                         (portable ? ", portable kernels" : "") +
                         (calls == Calls::WHOLE ? ", whole figures" : ", runs of vertices"));
                }
            }
        }
        KVGK_forcePortableKernels(0);
        written += 5 * points_per_window;
    }
    return written;
}

}  // namespace

int main() {
    std::mt19937 rng(14);
    uint64_t differences = 0;
    for (const int portable : {0, 1}) {
        KVGK_forcePortableKernels(portable);
        differences += checkOptimizer(rng, 3000000);
    }
    KVGK_forcePortableKernels(0);
    std::printf("kvg_long_check: the optimizer chose as the literal recurrence on %llu "
                "differences\n",
                static_cast<unsigned long long>(differences));
    const uint64_t points = checkFiles(rng, 4000000);
    std::printf("kvg_long_check: per-point and bulk calls wrote the same files, %llu points "
                "written\n",
                static_cast<unsigned long long>(points));
    return 0;
}
