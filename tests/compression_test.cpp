// Compressed files: one standard gzip stream, whichever encoder the library was built with,
// that zlib, zcat and the reader all take and that decompresses to the plain file's bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "kvgreader.hpp"
#include "test_support.h"
#include "unit_writer.h"

namespace {

using kvgtest::Bytes;
using kvgtest::TempPath;

// A random walk of `points` points in polylines of up to 1000, plain or compressed; the same
// drawing for the same count.
void writeWalk(const TempPath &path, bool compressed, int points) {
    std::unique_ptr<KVG_FileOptions, kvgtest::OptionsDeleter> opt(kvgtest::plainOptions());
    KVG_setCompressionFileOption(opt.get(), compressed ? 1 : 0);
    KVG_File *fl = KVG_create(path.c_str(), opt.get());
    ASSERT_NE(fl, nullptr);
    ASSERT_EQ(KVG_beginLayer(fl, "walk", 1, 1), 0);
    std::mt19937 rng(points);
    std::normal_distribution<double> step(0, 0.4);
    double x = 0, y = 0;
    for (int done = 0; done < points; done += 1000) {
        ASSERT_EQ(KVG_begin(fl, KVG_BEGIN_POLYLINE, x, y), 0);
        for (int i = 1; i < 1000 && done + i < points; ++i) {
            x = std::clamp(x + step(rng), -99.0, 99.0);
            y = std::clamp(y + step(rng), -99.0, 99.0);
            KVG_vertex(fl, x, y);
        }
        KVG_end(fl);
    }
    ASSERT_EQ(KVG_close(fl), 0);
}

// What zcat makes of a file, or nothing when there is no zcat.
std::optional<Bytes> zcat(const std::string &path) {
    if (std::system("command -v zcat >/dev/null 2>&1") != 0) return std::nullopt;
    FILE *pipe = popen(("zcat '" + path + "'").c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    Bytes unpacked;
    for (int c; (c = std::fgetc(pipe)) != EOF;) unpacked.push_back(static_cast<uint8_t>(c));
    EXPECT_EQ(pclose(pipe), 0) << path;
    return unpacked;
}

size_t recordsRead(const std::string &path) {
    kvgr::Reader reader;
    reader.openFile(path);
    size_t records = 0;
    while (reader.next() != nullptr) ++records;
    return records;
}

// No drawing (the header alone), one output block, and many blocks of input and output.
TEST(CompressedFiles, DecompressToThePlainBytesThroughZlibZcatAndTheReader) {
    for (int points : {0, 1000, 300000}) {
        SCOPED_TRACE(std::to_string(points) + " points");
        TempPath plain_path, gzip_path;
        writeWalk(plain_path, false, points);
        writeWalk(gzip_path, true, points);
        const Bytes plain = kvgtest::readFile(plain_path.str());
        const Bytes gzip = kvgtest::readFile(gzip_path.str());
        ASSERT_GE(gzip.size(), 10u);
        EXPECT_EQ(gzip[0], 0x1F);  // a gzip member: its magic and deflate
        EXPECT_EQ(gzip[1], 0x8B);
        EXPECT_EQ(gzip[2], 8);
        EXPECT_EQ(kvgtest::readGzipFile(gzip_path.str()), plain);
        if (const std::optional<Bytes> unpacked = zcat(gzip_path.str())) {
            EXPECT_EQ(*unpacked, plain);
        }
        EXPECT_EQ(recordsRead(gzip_path.str()), recordsRead(plain_path.str()));
        kvgtest::expectValidKvg(gzip_path.str());  // and kept for the other readers' corpus
    }
}

}  // namespace
