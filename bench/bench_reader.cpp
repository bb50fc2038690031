// The reader's record walk (kvgreader.h): open a file, then decode every record to its end.
// BM_ReaderWalk runs on a file of 10,000,000 points in 10,000 polylines that follow the scene's
// walk, written once plain and once compressed, and on every file named in
// KVG_READER_BENCH_FILES (colon-separated; bench/run names the imported world maps).
//
// Counters: bytes_per_second, the decompressed content read per second of processor time, and
// points_per_second, the points of the records (absolute and relative) decoded per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

#include "kvgreader.h"
#include "kvgwriter.h"
#include "scene.h"

namespace {

constexpr uint64_t kPoints = 10000000;
constexpr uint64_t kFigures = 10000;

// Writes the polylines with one bulk call each; the path of the file.
std::string writePolylines(bool compressed) {
    const std::string path = "/tmp/kvg-reader-bench-" + std::to_string(getpid()) +
                             (compressed ? "-gz.kvg" : ".kvg");
    KVG_FileOptions *opt = KVG_newFileOptions();
    KVG_setCompressionFileOption(opt, compressed ? 1 : 0);
    KVG_File *fl = KVG_create(path.c_str(), opt);
    KVG_deleteFileOptions(opt);
    if (fl == nullptr) throw std::runtime_error("cannot create " + path);
    KVG_beginLayer(fl, "walk", KVG_TRUE, KVG_TRUE);
    scene::Walk walk(7);
    std::vector<double> xy;
    for (uint64_t f = 0; f < kFigures; ++f) {
        xy.clear();
        scene::WorldPoint p = walk.restart();
        for (uint64_t i = 0; i < kPoints / kFigures; ++i, p = walk.next()) {
            xy.push_back(p.x);
            xy.push_back(p.y);
        }
        if (KVG_polyline(fl, KVG_BEGIN_POLYLINE, xy.size() / 2, xy.data()) == -1)
            throw std::runtime_error(KVG_getErrorDescription(fl));
    }
    if (KVG_close(fl) != 0) throw std::runtime_error("cannot complete " + path);
    return path;
}

double processorSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct Walked {
    uint64_t bytes = 0;
    uint64_t points = 0;
};

Walked walk(const std::string &path) {
    KVGR_Reader *r = KVGR_new();
    const KVGR_Record *record = nullptr;
    Walked w;
    int status = KVGR_openFile(r, path.c_str());
    if (status == 0) {
        while ((status = KVGR_next(r, &record)) == 1) w.points += record->points;
    }
    if (status != 0) throw std::runtime_error(path + ": " + KVGR_getErrorMessage(r));
    w.bytes = KVGR_getContentBytes(r);
    KVGR_delete(r);
    return w;
}

// The polyline files, written when first wanted and removed at exit.
const std::string &polylineFile(bool compressed) {
    static std::string paths[2];
    std::string &path = paths[compressed ? 1 : 0];
    if (path.empty()) {
        path = writePolylines(compressed);
        std::atexit([] {
            for (const std::string &p : paths)
                if (!p.empty()) unlink(p.c_str());
        });
    }
    return path;
}

void walkBenchmark(benchmark::State &state, const std::string &path) {
    Walked w;
    double seconds = 0;
    for (auto _ : state) {
        const double start = processorSeconds();
        w = walk(path);
        seconds += processorSeconds() - start;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["bytes_per_second"] = static_cast<double>(w.bytes) * n / seconds;
    state.counters["points_per_second"] = static_cast<double>(w.points) * n / seconds;
    state.counters["points"] = static_cast<double>(w.points);
}

void BM_ReaderWalk(benchmark::State &state, bool compressed) {
    walkBenchmark(state, polylineFile(compressed));
}
BENCHMARK_CAPTURE(BM_ReaderWalk, polylines_10M, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReaderWalk, polylines_10M_gzip, true)->Unit(benchmark::kMillisecond);

// The files of KVG_READER_BENCH_FILES.
const int registered = [] {
    const char *list = std::getenv("KVG_READER_BENCH_FILES");
    const std::string files = list != nullptr ? list : "";
    for (size_t from = 0; from < files.size();) {
        const size_t to = std::min(files.find(':', from), files.size());
        const std::string path = files.substr(from, to - from);
        if (!path.empty()) {
            benchmark::RegisterBenchmark(("BM_ReaderWalk/" + path).c_str(), walkBenchmark, path)
                ->Unit(benchmark::kMillisecond);
        }
        from = to + 1;
    }
    return 0;
}();

}  // namespace
