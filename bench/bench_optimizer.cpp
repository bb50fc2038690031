// The edge optimizer on map-like edges: mostly steps of 1 to 8 grid units, now and then a long
// jump. Reports the time per point of the whole call (grouping, choice and joining). A second
// walk makes its jumps off the grid or beyond single precision, so that all eight relative
// point sizes compete at every group boundary.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "kvgopt.h"

namespace {

PointArray *mapLikeWalk(uint32_t npoints, bool every_size) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> step(-8, 8);
    std::uniform_int_distribution<int> jump(-3000, 3000);
    std::bernoulli_distribution jumps(0.002);
    PointArray *points = paCreate(2 * npoints);
    while (paSize(points) < npoints) {
        const bool far = jumps(rng);
        double dx = far ? jump(rng) : step(rng), dy = far ? jump(rng) : step(rng);
        if (far && every_size) dx += rng() % 2 == 0 ? 0.5 : 1e38;  // 64 or 128 bits
        if (dx != 0 || dy != 0) paAdd(points, dx, dy);
    }
    return points;
}

void optimizeWalk(benchmark::State &state, bool every_size) {
    const auto npoints = static_cast<uint32_t>(state.range(0));
    PointArray *points = mapLikeWalk(npoints, every_size);
    UCharArray *modes = ucaCreate(0);
    ULongArray *segments = ulaCreate(0);
    for (auto _ : state) {
        KVGO_EdgeOptimize(points, modes, segments);
        benchmark::DoNotOptimize(ucaPointer(modes));
    }
    state.counters["segments"] = ucaSize(modes);
    state.counters["per_point"] = benchmark::Counter(
        npoints, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    paDestroy(points);
    ucaDestroy(modes);
    ulaDestroy(segments);
}

void BM_EdgeOptimize(benchmark::State &state) { optimizeWalk(state, false); }
BENCHMARK(BM_EdgeOptimize)->RangeMultiplier(16)->Range(16, 1 << 20);

void BM_EdgeOptimizeEverySize(benchmark::State &state) { optimizeWalk(state, true); }
BENCHMARK(BM_EdgeOptimizeEverySize)->Arg(1 << 16);

}  // namespace
