// Handles on different threads are independent: several threads each create, draw and close
// their own files at the same time, creation included (the temporary files are created
// exclusively), and every file comes out as the same drawing made alone. Run under
// ThreadSanitizer (-DKVG_SANITIZE=thread) this also shows any state the handles share.
#include <gtest/gtest.h>

#include <barrier>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "unit_writer.h"

using namespace kvgtest;

namespace {

constexpr int kThreads = 4;
constexpr int kFilesPerThread = 8;

// A drawing through every family, different for every `seed`, written to `path`, plain or
// compressed.
void drawFile(const std::string &path, int seed, int comp) {
    std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(plainOptions());
    KVG_setCompressionFileOption(opt.get(), comp);
    KVG_File *fl = KVG_create(path.c_str(), opt.get());
    ASSERT_NE(fl, nullptr);
    uint32_t shape, image, face;
    int32_t edge;
    const KVG_Color pixels[] = {0xFF0000, 0x00FF00, 0x0000FF, static_cast<KVG_Color>(seed)};
    EXPECT_EQ(KVG_beginSetShape(fl, 10, 10, &shape), 0);
    EXPECT_EQ(KVG_circle(fl, 5, 5, 4), 0);
    EXPECT_EQ(KVG_endSetShape(fl), 0);
    EXPECT_EQ(KVG_setImage(fl, 2, 2, pixels, &image), 0);
    EXPECT_EQ(KVG_beginSetEdge(fl, &edge, -seed, 0), 0);
    for (int i = 1; i < 200; ++i) EXPECT_EQ(KVG_vertexSetEdge(fl, -seed + i * 0.3, i % 7), 0);
    EXPECT_EQ(KVG_endSetEdge(fl), 0);
    EXPECT_EQ(KVG_beginSetFace(fl, &face), 0);
    EXPECT_EQ(KVG_edgeSetFace(fl, edge, 0), 0);
    EXPECT_EQ(KVG_endSetFace(fl), 0);
    EXPECT_EQ(KVG_beginLayer(fl, ("layer " + std::to_string(seed)).c_str(), 1, 1), 0);
    EXPECT_EQ(KVG_setLineColor(fl, 0x102030u * static_cast<uint32_t>(seed % 5)), 0);
    EXPECT_EQ(KVG_begin(fl, KVG_BEGIN_POLYGON, 0, 0), 0);
    for (int i = 1; i < 500; ++i) EXPECT_EQ(KVG_vertex(fl, (i * seed) % 97 - 48, i % 50 - 25), 0);
    EXPECT_EQ(KVG_end(fl), 0);
    EXPECT_EQ(KVG_text(fl, seed, seed, "concurrent"), 0);
    EXPECT_EQ(KVG_stampShape(fl, shape, seed, -seed), 0);
    EXPECT_EQ(KVG_image(fl, image, 0, 0, 10, 10), 0);
    EXPECT_EQ(KVG_face(fl, face), 0);
    EXPECT_EQ(KVG_close(fl), 0);
}

// The drawing of file `n` of thread `t`.
int seedOf(int t, int n) { return 1 + t * kFilesPerThread + n; }

TEST(Concurrency, ThreadsWriteTheirOwnFilesAtTheSameTime) {
    // Every file first alone, as the reference.
    std::vector<std::unique_ptr<TempPath>> paths;
    std::vector<Bytes> expected;
    for (int t = 0; t < kThreads; ++t) {
        for (int n = 0; n < kFilesPerThread; ++n) {
            paths.push_back(std::make_unique<TempPath>());
            drawFile(paths.back()->str(), seedOf(t, n), n % 2);
            expected.push_back(readGzipFile(paths.back()->str()));
        }
    }
    // Then all together; the barrier makes the threads create their files at the same moment.
    std::barrier start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int n = 0; n < kFilesPerThread; ++n) {
                start.arrive_and_wait();
                drawFile(paths[t * kFilesPerThread + n]->str(), seedOf(t, n), n % 2);
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
    for (size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(readGzipFile(paths[i]->str()), expected[i]) << "file " << i;
        expectValidKvg(paths[i]->str());
    }
}

}  // namespace
