// The per-point cost of the drawing interface: KVG_vertex into a polyline and KVG_vertexSetEdge
// into an edge, on the benchmark scene's walk (world coordinates off the grid by a fraction of
// a unit, mostly steps of 1 to 8 grid units), each call mapping its point onto the grid.
//
// BM_Vertex and BM_VertexSetEdge time the calls alone (the record is written outside the
// timing); BM_Polyline times a whole polyline, KVG_begin to KVG_end, record included. The bulk
// rows do the same through KVG_vertices, KVG_verticesSetEdge and KVG_polyline.
// The file is plain and is started anew every kFiguresPerFile figures, outside the timing.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "kvgwriter.h"
#include "scene.h"

namespace {

constexpr int kFiguresPerFile = 4096;

std::vector<scene::WorldPoint> walkOf(int64_t npoints) {
    scene::Walk walk(7);
    std::vector<scene::WorldPoint> points{walk.restart()};
    while (static_cast<int64_t>(points.size()) < npoints) points.push_back(walk.next());
    return points;
}

// A plain file under the temporary directory, started anew every kFiguresPerFile figures so
// that the layer file stays small.
class BenchFile {
public:
    BenchFile()
        : path_(std::string(P_tmpdir) + "/kvg-bench-vertex-" + std::to_string(getpid()) +
                ".kvg") {
        open();
    }
    ~BenchFile() {
        KVG_close(fl_);
        std::remove(path_.c_str());
    }
    KVG_File *get() { return fl_; }
    // Counts a figure; every kFiguresPerFile figures starts the file anew, outside the timing.
    void figureDone(benchmark::State &state) {
        if (++figures_ % kFiguresPerFile != 0) return;
        state.PauseTiming();
        KVG_close(fl_);
        open();
        state.ResumeTiming();
    }

private:
    void open() {
        KVG_FileOptions *opt = KVG_newFileOptions();
        KVG_setCompressionFileOption(opt, 0);
        fl_ = KVG_create(path_.c_str(), opt);
        KVG_deleteFileOptions(opt);
        KVG_beginLayer(fl_, "bench", KVG_TRUE, KVG_TRUE);
    }

    std::string path_;
    KVG_File *fl_ = nullptr;
    int64_t figures_ = 0;
};

void setPerPoint(benchmark::State &state, int64_t points_per_iteration) {
    state.counters["per_point"] = benchmark::Counter(
        static_cast<double>(points_per_iteration),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Vertex(benchmark::State &state) {
    const auto points = walkOf(state.range(0));
    BenchFile file;
    for (auto _ : state) {
        KVG_File *fl = file.get();
        KVG_begin(fl, KVG_BEGIN_POLYLINE, points[0].x, points[0].y);
        for (size_t i = 1; i < points.size(); ++i) KVG_vertex(fl, points[i].x, points[i].y);
        state.PauseTiming();
        KVG_end(fl);
        state.ResumeTiming();
        file.figureDone(state);
    }
    setPerPoint(state, state.range(0) - 1);
}
BENCHMARK(BM_Vertex)->Arg(1 << 12)->Arg(1 << 16);

void BM_Polyline(benchmark::State &state) {
    const auto points = walkOf(state.range(0));
    BenchFile file;
    for (auto _ : state) {
        KVG_File *fl = file.get();
        KVG_begin(fl, KVG_BEGIN_POLYLINE, points[0].x, points[0].y);
        for (size_t i = 1; i < points.size(); ++i) KVG_vertex(fl, points[i].x, points[i].y);
        KVG_end(fl);
        file.figureDone(state);
    }
    setPerPoint(state, state.range(0));
}
BENCHMARK(BM_Polyline)->Arg(16)->Arg(256)->Arg(1 << 12);

// The same polylines through the bulk calls: KVG_vertices alone, and the whole figure with one
// KVG_polyline.
void BM_Vertices(benchmark::State &state) {
    const auto points = walkOf(state.range(0));
    BenchFile file;
    for (auto _ : state) {
        KVG_File *fl = file.get();
        KVG_begin(fl, KVG_BEGIN_POLYLINE, points[0].x, points[0].y);
        KVG_vertices(fl, points.size() - 1, &points[1].x);
        state.PauseTiming();
        KVG_end(fl);
        state.ResumeTiming();
        file.figureDone(state);
    }
    setPerPoint(state, state.range(0) - 1);
}
BENCHMARK(BM_Vertices)->Arg(1 << 12)->Arg(1 << 16);

void BM_PolylineBulk(benchmark::State &state) {
    const auto points = walkOf(state.range(0));
    BenchFile file;
    for (auto _ : state) {
        KVG_polyline(file.get(), KVG_BEGIN_POLYLINE, points.size(), &points[0].x);
        file.figureDone(state);
    }
    setPerPoint(state, state.range(0));
}
BENCHMARK(BM_PolylineBulk)->Arg(16)->Arg(256)->Arg(1 << 12);

void BM_VertexSetEdge(benchmark::State &state) {
    const auto points = walkOf(state.range(0));
    BenchFile file;
    for (auto _ : state) {
        KVG_File *fl = file.get();
        int32_t id = 0;
        KVG_beginSetEdge(fl, &id, points[0].x, points[0].y);
        for (size_t i = 1; i < points.size(); ++i) KVG_vertexSetEdge(fl, points[i].x, points[i].y);
        state.PauseTiming();
        KVG_endSetEdge(fl);
        state.ResumeTiming();
        file.figureDone(state);
    }
    setPerPoint(state, state.range(0) - 1);
}
BENCHMARK(BM_VertexSetEdge)->Arg(1 << 12)->Arg(1 << 16);

void BM_VerticesSetEdge(benchmark::State &state) {
    const auto points = walkOf(state.range(0));
    BenchFile file;
    for (auto _ : state) {
        KVG_File *fl = file.get();
        int32_t id = 0;
        KVG_beginSetEdge(fl, &id, points[0].x, points[0].y);
        KVG_verticesSetEdge(fl, points.size() - 1, &points[1].x);
        state.PauseTiming();
        KVG_endSetEdge(fl);
        state.ResumeTiming();
        file.figureDone(state);
    }
    setPerPoint(state, state.range(0) - 1);
}
BENCHMARK(BM_VerticesSetEdge)->Arg(1 << 12)->Arg(1 << 16);

}  // namespace
