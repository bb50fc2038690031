// Options, the life of a file (create, close, the scratch file of the layers), compression and the
// mapping of world coordinates onto the file grid, seen in the bytes of whole files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <functional>
#include <memory>

#include "file_drawings.h"
#include "test_support.h"
#include "unit_writer.h"

using namespace kvgtest;

namespace {

std::unique_ptr<KVG_FileOptions, OptionsDeleter> options() {
    return std::unique_ptr<KVG_FileOptions, OptionsDeleter>(plainOptions());
}

// The last `n` bytes of a file: the layer section of the small drawings below.
std::string tail(const Bytes &bytes, size_t n) {
    return hex(Bytes(bytes.end() - static_cast<long>(n), bytes.end()));
}

TEST(FileLifecycle, EmptyDefaultFileIs33Bytes) {
    WriterFixture w;
    EXPECT_EQ(w.code(), KVG_ERR_NONE);
    EXPECT_EQ(KVG_getErrorDescription(w.get()), nullptr);
    EXPECT_EQ(hex(w.close()), hex(unitFile("", "")));
    EXPECT_TRUE(leftoverTemporaryFiles().empty());
}

TEST(FileLifecycle, CompressedFileDecompressesToThePlainBytes) {
    TempPath plain_path, gzip_path;
    auto opt = options();
    for (int comp : {0, 1}) {
        KVG_setCompressionFileOption(opt.get(), comp);
        KVG_File *fl = KVG_create(comp ? gzip_path.c_str() : plain_path.c_str(), opt.get());
        ASSERT_NE(fl, nullptr);
        ASSERT_EQ(KVG_beginLayer(fl, "roads", 1, 1), 0);
        ASSERT_EQ(KVG_begin(fl, KVG_BEGIN_POLYLINE, -50, -50), 0);
        for (int i = 0; i < 1000; ++i) KVG_vertex(fl, -50 + i * 0.1, -50 + (i % 7) * 0.3);
        ASSERT_EQ(KVG_end(fl), 0);
        ASSERT_EQ(KVG_text(fl, 0, 0, "label"), 0);
        ASSERT_EQ(KVG_close(fl), 0);
    }
    const Bytes gzip = readFile(gzip_path.str());
    ASSERT_GE(gzip.size(), 2u);
    EXPECT_EQ(gzip[0], 0x1F);
    EXPECT_EQ(gzip[1], 0x8B);
    EXPECT_EQ(readGzipFile(gzip_path.str()), readFile(plain_path.str()));
}

TEST(FileLifecycle, NoTemporaryFileAfterAFailedCreate) {
    EXPECT_EQ(KVG_create("/nonexistent-directory/x.kvg", nullptr), nullptr);
    EXPECT_TRUE(leftoverTemporaryFiles().empty());
}

// The layer section collects in a scratch file under TMPDIR that has no name, so that no one
// can open it and a crash leaves nothing.
TEST(FileLifecycle, TheLayerFileIsUnnamedUnderTmpdir) {
    TempPath output, scratch("-tmp");
    ASSERT_EQ(mkdir(scratch.c_str(), 0700), 0);
    {
        ScopedEnv tmpdir("TMPDIR", scratch.str());
        CreationLog log;
        KVG_File *fl = KVG_create(output.c_str(), options().get());
        ASSERT_NE(fl, nullptr);
        ASSERT_EQ(KVG_beginLayer(fl, "L", 1, 1), 0);
        for (int i = 0; i < 20000; ++i) ASSERT_EQ(KVG_mark(fl, i % 100 - 50, i % 77 - 38), 0);
        EXPECT_TRUE(directoryEntries(scratch.str()).empty());
        const auto inScratch = std::ranges::count_if(log.files(), [&](const CreatedFile &f) {
            return f.path.rfind(scratch.str() + "/", 0) == 0 && f.path.ends_with(" (deleted)");
        });
        EXPECT_EQ(inScratch, 1) << "created in TMPDIR, with no name";
        EXPECT_EQ(KVG_close(fl), 0);
    }
    EXPECT_TRUE(directoryEntries(scratch.str()).empty());
    rmdir(scratch.c_str());
    EXPECT_GT(readFile(output.str()).size(), 20000u);
}

TEST(FileLifecycle, FullDiskIsReportedByClose) {
    auto opt = options();
    KVG_File *fl = KVG_create("/dev/full", opt.get());
    ASSERT_NE(fl, nullptr);
    EXPECT_EQ(KVG_close(fl), -1);
    EXPECT_EQ(KVG_getErrorCode(fl), KVG_ERR_SYSTEM);
    EXPECT_STREQ(KVG_getErrorDescription(fl), "I/O error");
    // A second close gives the handle up without writing, and removes the temporary file.
    EXPECT_EQ(KVG_close(fl), -1);
    EXPECT_TRUE(leftoverTemporaryFiles().empty());
}

TEST(FileOptions, SettersStoreWhatTheyAreGiven) {
    auto opt = options();
    KVG_setBackgroundFileOption(opt.get(), 0x12345678);
    KVG_setDimensionsFileOption(opt.get(), 20, 10);
    WriterFixture w(opt.get());
    const Bytes file = w.close();
    // mm (20, 10) in the header's 32-bit points, then the background 34 56 78.
    EXPECT_EQ(tail(file, 11), "00 14 00 0A 34 56 78 5D 06 52 5A");
}

struct CreateCase {
    const char *name;
    std::function<void(KVG_FileOptions *)> set;
    const char *path;  // null: a fresh scratch name
    int code;
    int system_error;
    const char *description;
};

// KVG_createWithError says why, with the system's own reason for a failed system call, and
// leaves nothing behind.
TEST(FileCreation, FailuresSayWhy) {
    const auto none = [](KVG_FileOptions *) {};
    const CreateCase cases[] = {
        {"missing directory", none, "/nonexistent-directory/x.kvg", KVG_ERR_SYSTEM, ENOENT,
         "Cannot create the file: No such file or directory"},
        {"directory", none, "/tmp", KVG_ERR_SYSTEM, EISDIR,
         "Cannot create the file: Is a directory"},
        {"not a directory", none, "/dev/null/x.kvg", KVG_ERR_SYSTEM, ENOTDIR,
         "Cannot create the file: Not a directory"},
        {"empty window", [](KVG_FileOptions *o) { KVG_setWorldFileOption(o, 5, 5, 0, 1); },
         nullptr, KVG_ERR_PARAM, 0,
         "Invalid file options: the world window has no width or no height"},
        {"NaN window", [](KVG_FileOptions *o) { KVG_setWorldFileOption(o, 0, NAN, 0, 1); },
         nullptr, KVG_ERR_PARAM, 0, "Invalid file options: the world window is not finite"},
        {"window beyond doubles",
         [](KVG_FileOptions *o) { KVG_setWorldFileOption(o, -1e308, 1e308, 0, 1); }, nullptr,
         KVG_ERR_PARAM, 0, "Invalid file options: the world window is not finite"},
        {"no grid", [](KVG_FileOptions *o) { KVG_setResolutionFileOption(o, 0, 100); }, nullptr,
         KVG_ERR_PARAM, 0, "Invalid file options: the grid resolution is not positive"},
        {"infinite page", [](KVG_FileOptions *o) { KVG_setDimensionsFileOption(o, INFINITY, 1); },
         nullptr, KVG_ERR_PARAM, 0,
         "Invalid file options: the size in millimetres is not finite"},
        {"negative page", [](KVG_FileOptions *o) { KVG_setDimensionsFileOption(o, 10, -1); },
         nullptr, KVG_ERR_PARAM, 0,
         "Invalid file options: the size in millimetres is negative"},
    };
    for (const CreateCase &c : cases) {
        SCOPED_TRACE(c.name);
        TempPath scratch;
        auto opt = options();
        c.set(opt.get());
        const char *path = c.path != nullptr ? c.path : scratch.c_str();
        KVG_CreateError error;
        EXPECT_EQ(KVG_createWithError(path, opt.get(), &error), nullptr);
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(error.system_error, c.system_error);
        EXPECT_STREQ(error.description, c.description);
        EXPECT_EQ(KVG_create(path, opt.get()), nullptr);
        EXPECT_NE(access(scratch.c_str(), F_OK), 0);
        EXPECT_TRUE(leftoverTemporaryFiles().empty());
    }
}

TEST(FileCreation, SuccessClearsTheReason) {
    TempPath path;
    KVG_CreateError error;
    error.code = -1;
    KVG_File *fl = KVG_createWithError(path.c_str(), nullptr, &error);
    ASSERT_NE(fl, nullptr);
    EXPECT_EQ(error.code, KVG_ERR_NONE);
    EXPECT_EQ(error.system_error, 0);
    EXPECT_STREQ(error.description, "");
    EXPECT_EQ(KVG_close(fl), 0);
    fl = KVG_createWithError(path.c_str(), nullptr, nullptr);  // the reason is optional
    ASSERT_NE(fl, nullptr);
    EXPECT_EQ(KVG_close(fl), 0);
}

// One polyline from world (x0, y0) to (x1, y1): the file's tail shows where both landed.
Bytes lineFile(KVG_FileOptions *opt, double x0, double y0, double x1, double y1) {
    WriterFixture w(opt);
    EXPECT_EQ(KVG_begin(w.get(), KVG_BEGIN_POLYLINE, x0, y0), 0);
    EXPECT_EQ(KVG_vertex(w.get(), x1, y1), 0);
    EXPECT_EQ(KVG_end(w.get()), 0);
    return w.close();
}

TEST(FileCoordinates, DefaultWindowMapsCornersToTheGrid) {
    // (-100, -100) goes to (-2048, -2048), (100, 100) to (2048, 2048): a 24-bit start point
    // and one 32-bit step of (4096, 4096).
    const Bytes file = lineFile(nullptr, -100, -100, 100, 100);
    EXPECT_EQ(tail(file, 10), "51 10 80 08 00 01 10 00 10 00");
}

TEST(FileCoordinates, NarrowWindowIsWidenedAroundItsCentre) {
    auto opt = options();
    KVG_setWorldFileOption(opt.get(), 0, 100, 0, 50);
    KVG_setResolutionFileOption(opt.get(), 1000, 1000);
    // scale 10; the world window becomes 0..100 by -25..75, so (0, -25) maps to (-500, -500)
    // and (100, 75) to (500, 500). Everything fits 24 bits, the header's size: no size records.
    const Bytes file = lineFile(opt.get(), 0, -25, 100, 75);
    EXPECT_EQ(file.size(), 25u + 4u + 8u);
    EXPECT_EQ(tail(file, 12), "5D 06 51 59 10 E0 CE 0C 01 3E 83 E8");
}

// A window whose bottom edge lies above its top edge (y growing downwards, as on screens) maps
// as the mirror image of the upright window: the same file from the mirrored points, with the
// other axis kept and lengths positive.
TEST(FileCoordinates, WindowReversedOnAnAxisMapsAsItsMirrorImage) {
    auto screen = options();
    KVG_setWorldFileOption(screen.get(), -100, 100, 100, -100);
    EXPECT_EQ(tail(lineFile(screen.get(), -100, 100, 100, -100), 10),
              tail(lineFile(nullptr, -100, -100, 100, 100), 10));

    auto narrow = options();
    KVG_setWorldFileOption(narrow.get(), 0, 100, 50, 0);
    KVG_setResolutionFileOption(narrow.get(), 1000, 1000);
    // Widened around its centre as the upright window is: 0..100 by 75..-25.
    EXPECT_EQ(tail(lineFile(narrow.get(), 0, 75, 100, -25), 12),
              "5D 06 51 59 10 E0 CE 0C 01 3E 83 E8");

    WriterFixture w(screen.get());
    EXPECT_EQ(KVG_circle(w.get(), 0, 0, 12.5), 0);  // radius 256: a circle record
    // Extents that a record needs positive in file coordinates come out negative on the
    // reversed axis: refused cleanly, the file stays valid.
    EXPECT_EQ(KVG_ellipse(w.get(), 0, 0, 20, 10), -1);
    EXPECT_EQ(w.message(), "Invalid bounding box dimensions");
    const std::vector<std::string> drawn = drawings(w.close());
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].substr(0, 12), "draw-circle:");
}

TEST(FileCoordinates, QuantizationRoundsHalvesUp) {
    UnitWriter w;
    ASSERT_EQ(KVG_begin(w.get(), KVG_BEGIN_POLYLINE, 2.5, -2.5), 0);
    ASSERT_EQ(KVG_vertex(w.get(), 2.4999, -2.6), 0);  // to (2, -3): a step of (-1, -1)
    ASSERT_EQ(KVG_end(w.get()), 0);
    // Point size 16, relative size 3: start (3, -2), one code 5.
    EXPECT_EQ(tail(w.close(), 7), "50 55 10 03 FE 01 A0");
}

TEST(FileCoordinates, RawModeKeepsFractions) {
    auto opt = options();
    KVG_setQuantizationFileOption(opt.get(), 0);
    const Bytes file = lineFile(opt.get(), 0, 0, 0.5, 0);
    // Start (0, 0) in 16 bits, one step (0.5, 0) as two singles.
    EXPECT_EQ(tail(file, 14), "50 5B 10 00 00 01 3F 00 00 00 00 00 00 00");
}

TEST(FileCoordinates, OddResolutionNeedsTheFloatingPointHeader) {
    auto opt = options();
    KVG_setResolutionFileOption(opt.get(), 4095, 4095);
    WriterFixture w(opt.get());
    const Bytes file = w.close();
    ASSERT_GE(file.size(), 10u);
    EXPECT_EQ(file[8], 64);  // point size
    EXPECT_EQ(file[9], 64);  // relative point size
    // The corner -2047.5 as a single: C4 FF F0 00.
    EXPECT_EQ(hex(Bytes(file.begin() + 18, file.begin() + 22)), "C4 FF F0 00");
}

}  // namespace

namespace {

// Every identifier handed out names a record, even when the caller closes with definitions
// open: the reader (run by close()) checks the uses against the definitions.
TEST(FileLifecycle, CloseEndsOpenEdgesAndFaces) {
    WriterFixture w;
    int32_t edge = 0;
    uint32_t face = 0;
    ASSERT_EQ(KVG_beginSetEdge(w.get(), &edge, 0, 0), 0);
    ASSERT_EQ(KVG_vertexSetEdge(w.get(), 10, 0), 0);
    ASSERT_EQ(KVG_beginSetFace(w.get(), &face), 0);
    ASSERT_EQ(KVG_edgeSetFace(w.get(), edge, 0), 0);
    ASSERT_EQ(KVG_edge(w.get(), edge), 0);
    ASSERT_EQ(KVG_face(w.get(), face), 0);
    ASSERT_EQ(KVG_begin(w.get(), KVG_BEGIN_POLYLINE, 0, 0), 0);
    const Bytes file = w.close();
    // The definitions after the 29-byte header: a point size, the edge record (code 3B, its
    // start, one segment of one 24-bit step of 205 units), then the face (3C) of that edge.
    EXPECT_EQ(hex(Bytes(file.begin() + 29, file.begin() + 43)),
              "50 3B 00 00 01 18 01 0C D0 00 3C 01 01 00");
}

}  // namespace
