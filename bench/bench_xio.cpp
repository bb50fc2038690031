// XIO per byte, into /dev/null so that no disk is timed: the exported XIO_putc, and the inline
// cursor of xio_buffer.h that the encoding layer stores its bytes through. The buffer drains
// every 64 KiB, so both include their share of the write calls.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "xio.h"
#include "xio_buffer.h"

namespace {

constexpr int kBytes = 1 << 16;

template <typename Put>
void putBytes(benchmark::State &state, Put put) {
    XIO_File *file = XIO_open("/dev/null", XIO_WRITE, XIO_PLAIN);
    for (auto _ : state) {
        for (int i = 0; i < kBytes; ++i) put(file, static_cast<unsigned char>(i * 37));
    }
    XIO_close(file);
    state.counters["per_byte"] = benchmark::Counter(
        kBytes, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_XioPutc(benchmark::State &state) {
    putBytes(state, [](XIO_File *file, unsigned char byte) { XIO_putc(file, byte); });
}
BENCHMARK(BM_XioPutc);

void BM_XioPutByteInline(benchmark::State &state) {
    putBytes(state, [](XIO_File *file, unsigned char byte) { xioPutByte(file, byte); });
}
BENCHMARK(BM_XioPutByteInline);

}  // namespace
