// Edges of a planar map through the drawing interface: 1,000,000 points of a map-like walk
// (mostly steps of 1 to 8 grid units in a slowly turning direction, now and then a long jump),
// cut into edges of the benchmark's argument in points, defined with KVG_beginSetEdge,
// KVG_vertexSetEdge and KVG_endSetEdge (BM_DefineEdges) or with one KVG_setEdge each
// (BM_SetEdgeBulk) and written to a plain file.
//
// Counters: ns_per_point, the processor time per point of define + optimize + write (file
// creation and closing included), bytes_per_point of the finished file, and optimizer_share,
// the part of that time which KVGO_EdgeOptimize takes on the same edges. Processor time rather
// than wall time keeps the share meaningful on a busy machine.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "kvgopt.h"
#include "kvgwriter.h"

namespace {

constexpr uint32_t kPoints = 1000000;

struct Vertex {
    double x, y;
};
using Edge = std::vector<Vertex>;  // start point, then vertices

// Grid positions of a border-like walk. Each edge starts where the previous one ended.
std::vector<Edge> mapLikeEdges(uint32_t points_per_edge) {
    std::mt19937 rng(11);
    std::discrete_distribution<int> length({0, 30, 22, 15, 11, 8, 6, 5, 3});  // 1 to 8 units
    std::normal_distribution<double> turn(0.0, 0.6);
    std::bernoulli_distribution jumps(0.002);
    std::uniform_real_distribution<double> far(-3000.0, 3000.0);
    double heading = 0, x = 0, y = 0;
    std::vector<Edge> edges;
    for (uint32_t n = 0; n < kPoints; ++n) {
        if (n % points_per_edge == 0) edges.push_back({{x, y}});
        if (jumps(rng)) {
            x += std::round(far(rng));
            y += std::round(far(rng));
        } else {
            heading += turn(rng);
            const int l = length(rng);
            x += std::round(l * std::cos(heading));
            y += std::round(l * std::sin(heading));
        }
        edges.back().push_back({x, y});
    }
    return edges;
}

// World units are grid units, as in a map already projected onto the file grid.
KVG_FileOptions *plainUnitOptions() {
    KVG_FileOptions *opt = KVG_newFileOptions();
    KVG_setCompressionFileOption(opt, 0);
    KVG_setWorldFileOption(opt, -2048, 2048, -2048, 2048);
    return opt;
}

// Each edge through the per-point calls, or with one KVG_setEdge.
bool writeMap(const std::string &path, const KVG_FileOptions *opt,
              const std::vector<Edge> &edges, bool bulk) {
    KVG_File *fl = KVG_create(path.c_str(), opt);
    if (fl == nullptr) return false;
    for (const Edge &edge : edges) {
        int32_t id = 0;
        if (bulk) {
            KVG_setEdge(fl, &id, edge.size(), &edge[0].x);
            continue;
        }
        KVG_beginSetEdge(fl, &id, edge[0].x, edge[0].y);
        for (size_t i = 1; i < edge.size(); ++i) KVG_vertexSetEdge(fl, edge[i].x, edge[i].y);
        KVG_endSetEdge(fl);
    }
    return KVG_close(fl) == 0;
}

// The differences the writer collects for each edge (its vertices minus their predecessors;
// the walk never repeats a point within an edge except where a step rounds to 0, which the
// writer drops as well).
std::vector<PointArray *> differences(const std::vector<Edge> &edges) {
    std::vector<PointArray *> all;
    for (const Edge &edge : edges) {
        PointArray *pa = paCreate(2 * static_cast<uint32_t>(edge.size()));
        for (size_t i = 1; i < edge.size(); ++i) {
            const double dx = edge[i].x - edge[i - 1].x, dy = edge[i].y - edge[i - 1].y;
            if (dx != 0 || dy != 0) paAdd(pa, dx, dy);
        }
        if (paSize(pa) == 0) paAdd(pa, 0, 0);
        all.push_back(pa);
    }
    return all;
}

double processorSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

double optimizerSeconds(const std::vector<PointArray *> &edges, int64_t iterations) {
    UCharArray *sizes = ucaCreate(32);
    ULongArray *counts = ulaCreate(32);
    const double start = processorSeconds();
    for (int64_t i = 0; i < iterations; ++i) {
        for (PointArray *pa : edges) KVGO_EdgeOptimize(pa, sizes, counts);
        benchmark::ClobberMemory();
    }
    const double elapsed = processorSeconds() - start;
    ucaDestroy(sizes);
    ulaDestroy(counts);
    return elapsed;
}

long fileSize(const std::string &path) {
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return -1;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fclose(f);
    return size;
}

void defineEdges(benchmark::State &state, bool bulk) {
    const std::vector<Edge> edges = mapLikeEdges(static_cast<uint32_t>(state.range(0)));
    const std::string path =
        std::string(P_tmpdir) + "/kvg-bench-edges-" + std::to_string(getpid()) + ".kvg";
    KVG_FileOptions *opt = plainUnitOptions();

    const double start = processorSeconds();
    for (auto _ : state) {
        if (!writeMap(path, opt, edges, bulk)) {
            state.SkipWithError("the file could not be written");
        }
    }
    const double total = processorSeconds() - start;
    const double points = static_cast<double>(kPoints) * static_cast<double>(state.iterations());

    std::vector<PointArray *> collected = differences(edges);
    state.counters["optimizer_share"] = optimizerSeconds(collected, state.iterations()) / total;
    for (PointArray *pa : collected) paDestroy(pa);
    state.counters["edges"] = static_cast<double>(edges.size());
    state.counters["ns_per_point"] = total * 1e9 / points;
    state.counters["bytes_per_point"] = static_cast<double>(fileSize(path)) / kPoints;
    std::remove(path.c_str());
    KVG_deleteFileOptions(opt);
}
void BM_DefineEdges(benchmark::State &state) { defineEdges(state, false); }
BENCHMARK(BM_DefineEdges)->Arg(100)->Arg(10000)->Arg(kPoints)->Unit(benchmark::kMillisecond);

void BM_SetEdgeBulk(benchmark::State &state) { defineEdges(state, true); }
BENCHMARK(BM_SetEdgeBulk)->Arg(100)->Arg(10000)->Arg(kPoints)->Unit(benchmark::kMillisecond);

}  // namespace
