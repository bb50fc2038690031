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
#include <span>
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

// Times the calls that add the walk's points after the first to an open figure: `begin` opens
// it at the first point, `add` adds the rest, `end` ends it outside the timing.
template <typename Begin, typename Add, typename End>
void timeAdding(benchmark::State &state, Begin begin, Add add, End end) {
    const auto points = walkOf(state.range(0));
    BenchFile file;
    for (auto _ : state) {
        KVG_File *fl = file.get();
        begin(fl, points[0]);
        add(fl, std::span(points).subspan(1));
        state.PauseTiming();
        end(fl);
        state.ResumeTiming();
        file.figureDone(state);
    }
    setPerPoint(state, state.range(0) - 1);
}

void beginPolyline(KVG_File *fl, scene::WorldPoint p) {
    KVG_begin(fl, KVG_BEGIN_POLYLINE, p.x, p.y);
}
void beginEdge(KVG_File *fl, scene::WorldPoint p) {
    int32_t id = 0;
    KVG_beginSetEdge(fl, &id, p.x, p.y);
}
using Points = std::span<const scene::WorldPoint>;

void BM_Vertex(benchmark::State &state) {
    timeAdding(state, beginPolyline, [](KVG_File *fl, Points points) {
        for (const auto &p : points) KVG_vertex(fl, p.x, p.y);
    }, KVG_end);
}
BENCHMARK(BM_Vertex)->Arg(1 << 12)->Arg(1 << 16);

void BM_Vertices(benchmark::State &state) {
    timeAdding(state, beginPolyline, [](KVG_File *fl, Points points) {
        KVG_vertices(fl, points.size(), &points[0].x);
    }, KVG_end);
}
BENCHMARK(BM_Vertices)->Arg(1 << 12)->Arg(1 << 16);

void BM_VertexSetEdge(benchmark::State &state) {
    timeAdding(state, beginEdge, [](KVG_File *fl, Points points) {
        for (const auto &p : points) KVG_vertexSetEdge(fl, p.x, p.y);
    }, KVG_endSetEdge);
}
BENCHMARK(BM_VertexSetEdge)->Arg(1 << 12)->Arg(1 << 16);

void BM_VerticesSetEdge(benchmark::State &state) {
    timeAdding(state, beginEdge, [](KVG_File *fl, Points points) {
        KVG_verticesSetEdge(fl, points.size(), &points[0].x);
    }, KVG_endSetEdge);
}
BENCHMARK(BM_VerticesSetEdge)->Arg(1 << 12)->Arg(1 << 16);

// A whole polyline, record included: point by point, and with one KVG_polyline.
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

}  // namespace
