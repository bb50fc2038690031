// The encoding layer per point: KVGT_RelPointArray at each relative point size, 4096
// differences that fit it per call, and KVGT_MinRelPointSize, which sizes every vertex. The
// stream writes to /dev/null through XIO, so that only the encoding and the buffer count.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "kvgfunction.h"
#include "kvgtype.h"
#include "random.h"
#include "xio.h"

namespace {

constexpr uint32_t kPoints = 4096;

// Differences (x, y pairs) that need exactly `size` bits, at random within that size.
std::vector<double> differencesOfSize(int size) {
    scene::Random rng(static_cast<uint64_t>(size));
    std::vector<double> d;
    while (d.size() < 2 * kPoints) {
        double x = 0, y = 0;
        switch (size) {
            case 3:
                x = static_cast<double>(rng.below(3)) - 1;
                y = static_cast<double>(rng.below(3)) - 1;
                break;
            case 64:  // beyond the 32-bit range: singles
                x = rng.between(-1e6, 1e6);
                y = rng.between(-1e6, 1e6);
                break;
            case 128:  // beyond the singles' limit: doubles
                x = rng.between(-1e38, 1e38);
                y = rng.between(-1e38, 1e38);
                break;
            default: {  // two's complement fields of size / 2 bits
                const uint32_t span = 1u << (size / 2);
                x = static_cast<double>(rng.below(span)) - span / 2;
                y = static_cast<double>(rng.below(span)) - span / 2;
            }
        }
        if (KVGT_MinRelPointSize(x, y) != size) continue;
        d.push_back(x);
        d.push_back(y);
    }
    return d;
}

// A stream state over /dev/null with the given relative point size.
class NullStream {
public:
    explicit NullStream(int rel_point_size)
        : file_(XIO_open("/dev/null", XIO_WRITE, XIO_PLAIN)),
          error_(KVGE_createContext("bench")),
          state_(KVGF_CreateState(file_, error_)) {
        state_->rel_point_size = static_cast<uint8_t>(rel_point_size);
    }
    ~NullStream() {
        KVGF_DestroyState(state_);
        KVGE_destroyContext(error_);
        XIO_close(file_);
    }
    KVGF_State *get() { return state_; }

private:
    XIO_File *file_;
    KVGE_Context *error_;
    KVGF_State *state_;
};

void BM_RelPointArray(benchmark::State &state) {
    const int size = static_cast<int>(state.range(0));
    const std::vector<double> d = differencesOfSize(size);
    NullStream stream(size);
    for (auto _ : state) {
        if (KVGT_RelPointArray(stream.get(), d.data(), kPoints) != 0) {
            state.SkipWithError("the differences were refused");
            break;
        }
    }
    state.counters["per_point"] = benchmark::Counter(
        kPoints, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["bytes_per_point"] = size / 8.0;
}
BENCHMARK(BM_RelPointArray)->Arg(3)->Arg(6)->Arg(8)->Arg(16)->Arg(24)->Arg(32)->Arg(64)->Arg(128);

// Differences of every size from 3 to 32 bits in equal parts, shuffled by the generator.
void BM_MinRelPointSize(benchmark::State &state) {
    std::vector<double> d;
    for (int size : {3, 6, 8, 16, 24, 32}) {
        const std::vector<double> part = differencesOfSize(size);
        d.insert(d.end(), part.begin(), part.begin() + 2 * (kPoints / 8));
    }
    scene::Random rng(1);
    for (size_t i = d.size() / 2; i > 1; --i) {
        const size_t j = rng.below(static_cast<uint32_t>(i));
        std::swap(d[2 * (i - 1)], d[2 * j]);
        std::swap(d[2 * (i - 1) + 1], d[2 * j + 1]);
    }
    const size_t n = d.size() / 2;
    for (auto _ : state) {
        for (size_t i = 0; i < n; ++i) {
            benchmark::DoNotOptimize(KVGT_MinRelPointSize(d[2 * i], d[2 * i + 1]));
        }
    }
    state.counters["per_point"] = benchmark::Counter(
        static_cast<double>(n),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MinRelPointSize);

}  // namespace
