// Input and output faults: every low-level write, close, open, flush to the disk and rename of
// a whole file made to fail in turn, a full disk and an unwritable place. Each fault must reach
// the caller as "I/O error" with KVG_ERR_SYSTEM (from the drawing call that met it, or from
// KVG_close), the handle must stay usable, the file's name must keep what it held before (or
// stay absent) while the file is written and after every failure, and once the handle is given
// up no temporary file may remain. Leaks show in the sanitizer build.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fault_guard.h"
#include "test_support.h"
#include "unit_writer.h"

using namespace kvgtest;

namespace {

// Watches the results of a drawing that fails only through its faults: the first failure must
// be "I/O error". Later ones may follow from it (an image that was not defined cannot be drawn).
class Results {
public:
    explicit Results(KVG_File *fl) : fl_(fl) {}

    void operator()(int rc) {
        if (rc != -1) {
            EXPECT_TRUE(rc == 0 || rc == -2) << "result " << rc;
            return;
        }
        if (failures_++ > 0) return;
        EXPECT_EQ(KVG_getErrorCode(fl_), KVG_ERR_SYSTEM) << KVG_getErrorDescription(fl_);
        EXPECT_STREQ(KVG_getErrorDescription(fl_), "I/O error");
    }

    int failures() const { return failures_; }

private:
    KVG_File *fl_;
    int failures_ = 0;
};

// A pseudo-random walk, the same on every run: coordinates that neither repeat nor compress
// well, so that the file takes many writes of the 64 KiB buffers.
class Walk {
public:
    double next() { return static_cast<double>(step() >> 40) / (1 << 24) * 180.0 - 90.0; }
    KVG_Color color() { return static_cast<KVG_Color>(step() >> 40); }

private:
    uint64_t step() { return state_ = state_ * 6364136223846793005ull + 1442695040888963407ull; }

    uint64_t state_ = 42;
};

// A file of several hundred KiB in both streams, through every family of the interface.
void drawWholeFile(KVG_File *fl, Results &check) {
    Walk walk;
    uint32_t id;
    int32_t edge;
    check(KVG_beginSetShape(fl, 10, 10, &id));
    check(KVG_box(fl, 1, 1, 5, 5));
    check(KVG_endSetShape(fl));
    std::vector<KVG_Color> pixels(200 * 100);
    for (KVG_Color &p : pixels) p = walk.color();
    for (int i = 0; i < 4; ++i) check(KVG_setImage(fl, 200, 100, pixels.data(), &id));
    for (int e = 0; e < 40; ++e) {
        check(KVG_beginSetEdge(fl, &edge, walk.next(), walk.next()));
        for (int v = 0; v < 400; ++v) check(KVG_vertexSetEdge(fl, walk.next(), walk.next()));
        check(KVG_endSetEdge(fl));
    }
    uint32_t face;
    check(KVG_beginSetFace(fl, &face));
    check(KVG_edgeSetFace(fl, 1, 0));
    check(KVG_endSetFace(fl));
    check(KVG_beginLayer(fl, "faults", 1, 1));
    for (int p = 0; p < 60; ++p) {
        check(KVG_begin(fl, KVG_BEGIN_POLYGON, walk.next(), walk.next()));
        for (int v = 0; v < 500; ++v) check(KVG_vertex(fl, walk.next(), walk.next()));
        check(KVG_end(fl));
        check(KVG_text(fl, walk.next(), walk.next(), "label"));
        check(KVG_stampShape(fl, 0, walk.next(), walk.next()));
        check(KVG_edge(fl, 1 + p % 40));
        check(KVG_image(fl, p % 4, walk.next(), walk.next(), 10, 10));
    }
    check(KVG_face(fl, 0));
}

enum class Outcome { CREATE_FAILED, CLOSE_FAILED, CLOSED };

// What a file's name holds: its bytes, or nothing when there is no such file.
std::optional<Bytes> contentOf(const TempPath &path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return std::nullopt;
    return readFile(path.str());
}

void expectNothingLeftBehind(const TempPath &path) {
    EXPECT_TRUE(leftoverTemporaryFiles().empty());
    EXPECT_TRUE(filesBeside(path.str()).empty());
}

// One file with the given faults armed over `path`, which holds `before` (or nothing): checks
// what the caller is told, that the name keeps `before` until the file is complete, and that
// nothing stays behind once the handle is given up.
Outcome writeWithFaults(const TempPath &path, const std::optional<Bytes> &before, int comp,
                        const Faults &faults, int *drawing_failures) {
    std::remove(path.c_str());
    if (before) writeFile(path.str(), *before);
    std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(plainOptions());
    KVG_setCompressionFileOption(opt.get(), comp);
    FaultGuard guard(faults);
    KVG_File *fl = KVG_create(path.c_str(), opt.get());
    if (fl == nullptr) {
        EXPECT_EQ(contentOf(path), before);
        expectNothingLeftBehind(path);
        return Outcome::CREATE_FAILED;
    }
    Results check(fl);
    drawWholeFile(fl, check);
    *drawing_failures = check.failures();
    EXPECT_EQ(contentOf(path), before) << "the name changes only when the file is complete";
    if (KVG_close(fl) == 0) {
        EXPECT_EQ(check.failures(), 0) << "a failed drawing call, then a successful close";
        expectNothingLeftBehind(path);
        return Outcome::CLOSED;
    }
    EXPECT_EQ(KVG_getErrorCode(fl), KVG_ERR_SYSTEM);
    EXPECT_STREQ(KVG_getErrorDescription(fl), "I/O error");
    EXPECT_EQ(contentOf(path), before);
    EXPECT_TRUE(filesBeside(path.str()).empty()) << "a failed close discards the output at once";
    EXPECT_EQ(KVG_close(fl), -1) << "the second close gives the handle up";
    expectNothingLeftBehind(path);
    return Outcome::CLOSE_FAILED;
}

struct SweepResult {
    int faults = 0;              // faults injected, each reported
    int reported_by_drawing = 0;  // of which a drawing call reported first
    size_t file_size = 0;         // of the file written without a fault
};

// Fails the n-th operation of one kind for n = 1, 2, ... until a file gets through: every fault
// before that must be reported. The file replaces an older one, or is new when `before` is
// empty.
template <typename Arm>
SweepResult sweep(int comp, const std::optional<Bytes> &before, Arm arm) {
    TempPath path;
    int failures = 0;
    EXPECT_EQ(writeWithFaults(path, before, comp, {}, &failures), Outcome::CLOSED);
    const Bytes reference = readFile(path.str());
    SweepResult result{0, 0, reference.size()};
    for (long n = 1; !::testing::Test::HasFailure(); ++n) {
        Faults faults;
        arm(n, faults);
        const Outcome outcome = writeWithFaults(path, before, comp, faults, &failures);
        if (outcome == Outcome::CLOSED) {
            // The n-th operation was never reached: the file is whole.
            EXPECT_EQ(readFile(path.str()), reference);
            expectValidKvg(path.str());
            break;
        }
        ++result.faults;
        if (failures > 0) ++result.reported_by_drawing;
    }
    return result;
}

// Sweeps over a new file and over one that replaces an older file; both must see the same
// faults.
template <typename Arm>
SweepResult sweepNewAndReplaced(int comp, Arm arm) {
    const SweepResult fresh = sweep(comp, std::nullopt, arm);
    const SweepResult replacing = sweep(comp, Bytes{'o', 'l', 'd'}, arm);
    EXPECT_EQ(fresh.faults, replacing.faults);
    return replacing;
}

class IoFaultSweep : public testing::TestWithParam<int> {};

TEST_P(IoFaultSweep, EveryWriteFault) {
    const SweepResult r = sweepNewAndReplaced(GetParam(), [](long n, Faults &f) { f.write = n; });
    // At least one write per 64 KiB buffer of the named file, and more for the temporary one.
    EXPECT_GT(r.faults, static_cast<int>(r.file_size / 65536));
    EXPECT_GE(r.reported_by_drawing, 1) << "some faults strike in the middle of the drawing";
    std::printf("%d write faults injected, %d reported by a drawing call, %zu bytes\n", r.faults,
                r.reported_by_drawing, r.file_size);
}

TEST_P(IoFaultSweep, EveryCloseFault) {
    const SweepResult r = sweepNewAndReplaced(GetParam(), [](long n, Faults &f) { f.close = n; });
    // The layer section's scratch file and the output.
    EXPECT_EQ(r.faults, 2);
    EXPECT_EQ(r.reported_by_drawing, 0);
}

TEST_P(IoFaultSweep, EveryOpenFault) {
    const SweepResult r = sweepNewAndReplaced(GetParam(), [](long n, Faults &f) { f.open = n; });
    // The file beside the target and the layer section's scratch file (KVG_create).
    EXPECT_EQ(r.faults, 2);
}

TEST_P(IoFaultSweep, FlushToTheDiskAndRenameFaults) {
    EXPECT_EQ(sweepNewAndReplaced(GetParam(), [](long n, Faults &f) { f.sync = n; }).faults, 1);
    EXPECT_EQ(sweepNewAndReplaced(GetParam(), [](long n, Faults &f) { f.rename = n; }).faults, 1);
}

INSTANTIATE_TEST_SUITE_P(PlainAndCompressed, IoFaultSweep, testing::Values(0, 1),
                         [](const auto &info) { return info.param ? "Compressed" : "Plain"; });

TEST(IoFaultDevice, FullDiskIsReportedWhileDrawingAndByClose) {
    for (int comp : {0, 1}) {
        std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(plainOptions());
        KVG_setCompressionFileOption(opt.get(), comp);
        KVG_File *fl = KVG_create("/dev/full", opt.get());
        ASSERT_NE(fl, nullptr);
        Results check(fl);
        drawWholeFile(fl, check);
        EXPECT_GE(check.failures(), 1) << "the definitions overflow their buffer while drawing";
        EXPECT_EQ(KVG_close(fl), -1);
        EXPECT_EQ(KVG_getErrorCode(fl), KVG_ERR_SYSTEM);
        EXPECT_STREQ(KVG_getErrorDescription(fl), "I/O error");
        EXPECT_EQ(KVG_close(fl), -1);
        EXPECT_TRUE(leftoverTemporaryFiles().empty());
    }
}

TEST(IoFaultDevice, UnwritablePlacesAreRefusedByCreate) {
    // Root writes anywhere a directory allows, so these are places no one can create a file in.
    for (const char *path : {"/dev/null/x.kvg", "/proc/x.kvg", "/nonexistent-dir/x.kvg"}) {
        EXPECT_EQ(KVG_create(path, nullptr), nullptr) << path;
    }
    EXPECT_TRUE(leftoverTemporaryFiles().empty());
}

}  // namespace
