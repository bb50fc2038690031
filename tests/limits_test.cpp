// Options and limits: options that no grid can be made of are refused by KVG_create, colours
// that their colour size cannot hold are refused, every count of the format (4,194,303) is
// enforced with a clean refusal, and a primitive of ten million points is written in memory
// proportional to its points.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <memory>
#include <string>

#include "file_drawings.h"
#include "test_support.h"
#include "unit_writer.h"

using namespace kvgtest;

namespace {

constexpr uint32_t kCountLimit = 4194303;

// ---- Options ----

struct OptionCase {
    const char *name;
    void (*set)(KVG_FileOptions *);
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kMax = std::numeric_limits<double>::max();

const OptionCase kRefusedOptions[] = {
    {"window of no width", [](KVG_FileOptions *o) { KVG_setWorldFileOption(o, 5, 5, 0, 1); }},
    {"window of no height", [](KVG_FileOptions *o) { KVG_setWorldFileOption(o, 0, 1, -3, -3); }},
    {"NaN corner", [](KVG_FileOptions *o) { KVG_setWorldFileOption(o, 0, 1, kNaN, 1); }},
    {"infinite corner", [](KVG_FileOptions *o) { KVG_setWorldFileOption(o, -kInf, 1, 0, 1); }},
    {"width beyond doubles", [](KVG_FileOptions *o) { KVG_setWorldFileOption(o, -kMax, kMax, 0, 1); }},
    {"no grid columns", [](KVG_FileOptions *o) { KVG_setResolutionFileOption(o, 0, 100); }},
    {"negative grid rows", [](KVG_FileOptions *o) { KVG_setResolutionFileOption(o, 100, -4); }},
    {"NaN millimetres", [](KVG_FileOptions *o) { KVG_setDimensionsFileOption(o, kNaN, 10); }},
    {"infinite millimetres", [](KVG_FileOptions *o) { KVG_setDimensionsFileOption(o, 10, kInf); }},
    {"negative millimetres", [](KVG_FileOptions *o) { KVG_setDimensionsFileOption(o, -10, 5); }},
    {"raw window of no width",
     [](KVG_FileOptions *o) {
         KVG_setQuantizationFileOption(o, 0);
         KVG_setWorldFileOption(o, 1, 1, 0, 1);
     }},
};

TEST(LimitsOptions, UnusableOptionsAreRefusedByCreate) {
    TempPath path;
    for (const OptionCase &c : kRefusedOptions) {
        std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(plainOptions());
        c.set(opt.get());
        EXPECT_EQ(KVG_create(path.c_str(), opt.get()), nullptr) << c.name;
    }
    EXPECT_TRUE(leftoverTemporaryFiles().empty());
}

// Options a file can be made of, however odd: each file must be valid, and the calls that
// scale world units (line weight, font size, circle radius) must stay defined.
const OptionCase kOddOptions[] = {
    {"mirrored x axis", [](KVG_FileOptions *o) { KVG_setWorldFileOption(o, 100, -100, -100, 100); }},
    {"mirrored y axis (screen coordinates)",
     [](KVG_FileOptions *o) { KVG_setWorldFileOption(o, 0, 800, 600, 0); }},
    {"no millimetres", [](KVG_FileOptions *o) { KVG_setDimensionsFileOption(o, 0, 0); }},
    {"largest grid", [](KVG_FileOptions *o) { KVG_setResolutionFileOption(o, INT32_MAX, INT32_MAX); }},
    {"one-cell grid", [](KVG_FileOptions *o) { KVG_setResolutionFileOption(o, 1, 1); }},
    {"odd grid", [](KVG_FileOptions *o) { KVG_setResolutionFileOption(o, 4095, 3); }},
    {"tiny window", [](KVG_FileOptions *o) { KVG_setWorldFileOption(o, 0, 1e-300, 0, 1e-300); }},
    {"huge raw window",
     [](KVG_FileOptions *o) {
         KVG_setQuantizationFileOption(o, 0);
         KVG_setWorldFileOption(o, -1e300, 1e300, -1e300, 1e300);
     }},
};

TEST(LimitsOptions, OddOptionsGiveValidFilesOrARefusal) {
    for (const OptionCase &c : kOddOptions) {
        SCOPED_TRACE(c.name);
        TempPath path;
        std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(plainOptions());
        c.set(opt.get());
        KVG_File *fl = KVG_create(path.c_str(), opt.get());
        if (fl == nullptr) continue;  // a clear refusal is a sound treatment too
        KVG_beginLayer(fl, "odd", 1, 1);
        KVG_setLineStyle(fl, KVG_JOINT_ROUND, KVG_NO_ARROW, KVG_ARROW, 3);
        KVG_setFont(fl, KVG_FONT_SERIF, KVG_FONT_BOLD, 12);
        KVG_setTextAlignment(fl, KVG_TEXT_CENTER, 30);
        KVG_circle(fl, 10, 10, 5);
        KVG_ellipse(fl, 10, 10, 5, 3);
        KVG_arc(fl, 0, 0, 20, 10, 0, 90);
        KVG_box(fl, 1, 1, 20, 10);
        KVG_text(fl, 1, 1, "odd");
        ASSERT_EQ(KVG_close(fl), 0) << KVG_getErrorDescription(fl);
        expectValidKvg(path.str());
    }
}

// In raw mode a tiny extent is its own value, written in single precision: one that would
// round to 0 there is refused, as an extent of 0 is, and the file stays valid.
TEST(LimitsOptions, RawExtentsThatSinglePrecisionLosesAreRefused) {
    TempPath path;
    std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(plainOptions());
    KVG_setQuantizationFileOption(opt.get(), 0);
    KVG_File *fl = KVG_create(path.c_str(), opt.get());
    ASSERT_NE(fl, nullptr);
    ASSERT_EQ(KVG_beginLayer(fl, "tiny", 1, 1), 0);
    EXPECT_EQ(KVG_circle(fl, -8, 0, 1e-280), -1);
    EXPECT_STREQ(KVG_getErrorDescription(fl), "Invalid bounding box dimensions");
    EXPECT_EQ(KVG_arc(fl, 0, 0, 1e-300, 1, 0, 90), -1);
    EXPECT_EQ(KVG_ellipse(fl, 0, 0, 1e-40, 1e-40), 0) << "a single-precision subnormal is kept";
    ASSERT_EQ(KVG_close(fl), 0) << KVG_getErrorDescription(fl);
    expectValidKvg(path.str());
}

// A box's sides are written in single precision too, where a side of at most 2^-150 file units
// would come out as 0: such a box is nothing, as a box of no side is.
TEST(LimitsOptions, RawBoxesWhoseSideVanishesAreNothing) {
    TempPath path;
    std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(plainOptions());
    KVG_setQuantizationFileOption(opt.get(), 0);
    KVG_setWorldFileOption(opt.get(), -1e-40, 1e-40, -1e-40, 1e-40);
    KVG_File *fl = KVG_create(path.c_str(), opt.get());
    ASSERT_NE(fl, nullptr);
    ASSERT_EQ(KVG_beginLayer(fl, "tiny", 1, 1), 0);
    EXPECT_EQ(KVG_box(fl, 0, 0, 1e-47, 1e-41), -2);
    EXPECT_EQ(KVG_box(fl, 0, 0, 1e-44, 1e-41), 0);
    ASSERT_EQ(KVG_close(fl), 0) << KVG_getErrorDescription(fl);
    expectValidKvg(path.str());
}

// ---- Colours ----

struct ColorCase {
    int color_size;
    KVG_Color refused;   // the smallest value the size cannot hold
    KVG_Color accepted;  // the largest one it can
};

const ColorCase kColorCases[] = {
    {KVG_COLOR_INDEX1, 2, 1},           {KVG_COLOR_INDEX8, 2, 1},  // the default palette: 2
    {KVG_COLOR_GRAY8, 0x100, 0xFF},     {KVG_COLOR_GRAY12, 0x1000, 0xFFF},
    {KVG_COLOR_GRAY16, 0x10000, 0xFFFF}, {KVG_COLOR_RGB, 0x1000000, 0xFFFFFF},
};

TEST(LimitsColors, ValuesBeyondTheColourSizeAreRefused) {
    for (const ColorCase &c : kColorCases) {
        SCOPED_TRACE(c.color_size);
        WriterFixture w;
        KVG_File *fl = w.get();
        ASSERT_EQ(KVG_setColorSize(fl, c.color_size), 0);
        EXPECT_EQ(KVG_setLineColor(fl, c.accepted), 0);
        for (auto set : {KVG_setLineColor, KVG_setMarkColor, KVG_setFillColor, KVG_setTextColor}) {
            EXPECT_EQ(set(fl, c.refused), -1);
            EXPECT_EQ(KVG_getErrorCode(fl), KVG_ERR_LIMITS);
        }
        const KVG_Color pixels[] = {c.accepted, c.refused};
        uint32_t id;
        EXPECT_EQ(KVG_setImage(fl, 2, 1, pixels, &id), -1);
        EXPECT_EQ(KVG_setPalette(fl, 2, pixels), -1);
        w.close();
    }
}

// ---- Counts ----

// A plain file with one layer whose drawing is `draw`; returns the file's bytes.
template <typename Draw>
Bytes layerFile(Draw draw) {
    UnitWriter w;
    EXPECT_EQ(KVG_beginLayer(w.get(), "limits", 1, 1), 0);
    draw(w.get());
    return w.close();
}

TEST(LimitsCounts, PolylineBeyondTheCountIsRefused) {
    SKIP_MILLIONS_UNDER_SANITIZER();
    const auto polyline = [](uint32_t n) {
        return [n](KVG_File *fl) {
            ASSERT_EQ(KVG_begin(fl, KVG_BEGIN_POLYLINE, 0, 0), 0);
            for (uint32_t i = 1; i <= n; ++i) KVG_vertex(fl, i % 2, i / 2 % 2);
            const int rc = KVG_end(fl);
            if (n > kCountLimit) {
                EXPECT_EQ(rc, -1);
                EXPECT_EQ(KVG_getErrorCode(fl), KVG_ERR_LIMITS);
            } else {
                EXPECT_EQ(rc, 0);
            }
            EXPECT_EQ(KVG_mark(fl, 5, 5), 0) << "the handle stays usable";
        };
    };
    layerFile(polyline(kCountLimit));
    const Bytes refused = layerFile(polyline(kCountLimit + 1));
    const Bytes without = layerFile([](KVG_File *fl) { EXPECT_EQ(KVG_mark(fl, 5, 5), 0); });
    EXPECT_EQ(drawings(refused), drawings(without)) << "the refused polyline left a drawing";
}

TEST(LimitsCounts, TextBeyondTheCountIsRefused) {
    const std::string longest(kCountLimit, 'k');
    const std::string too_long(kCountLimit + 1, 'k');
    layerFile([&](KVG_File *fl) { EXPECT_EQ(KVG_text(fl, 0, 0, longest.c_str()), 0); });
    const Bytes refused = layerFile([&](KVG_File *fl) {
        EXPECT_EQ(KVG_text(fl, 300, 0, too_long.c_str()), -1);
        EXPECT_EQ(KVG_getErrorCode(fl), KVG_ERR_LIMITS);
    });
    const Bytes without = layerFile([](KVG_File *) {});
    EXPECT_EQ(drawings(refused), drawings(without)) << "the refused text left a drawing";
}

TEST(LimitsCounts, EdgeKeepsAtMostTheCountOfVertices) {
    SKIP_MILLIONS_UNDER_SANITIZER();
    layerFile([](KVG_File *fl) {
        int32_t id;
        ASSERT_EQ(KVG_beginSetEdge(fl, &id, 0, 0), 0);
        for (uint32_t i = 1; i <= kCountLimit; ++i) {
            ASSERT_EQ(KVG_vertexSetEdge(fl, i % 2, i / 2 % 2), 0);
        }
        EXPECT_EQ(KVG_vertexSetEdge(fl, 5, 5), -1);
        EXPECT_EQ(KVG_getErrorCode(fl), KVG_ERR_LIMITS);
        EXPECT_EQ(KVG_endSetEdge(fl), 0);
        EXPECT_EQ(KVG_edge(fl, id), 0);
    });
}

TEST(LimitsCounts, FaceKeepsAtMostTheCountOfEdges) {
    SKIP_MILLIONS_UNDER_SANITIZER();
    layerFile([](KVG_File *fl) {
        int32_t edge;
        uint32_t face;
        ASSERT_EQ(KVG_beginSetEdge(fl, &edge, 0, 0), 0);
        ASSERT_EQ(KVG_vertexSetEdge(fl, 5, 0), 0);
        ASSERT_EQ(KVG_endSetEdge(fl), 0);
        ASSERT_EQ(KVG_beginSetFace(fl, &face), 0);
        for (uint32_t i = 0; i < kCountLimit; ++i) ASSERT_EQ(KVG_edgeSetFace(fl, edge, i % 2), 0);
        EXPECT_EQ(KVG_edgeSetFace(fl, edge, 0), -1);
        EXPECT_EQ(KVG_getErrorCode(fl), KVG_ERR_LIMITS);
        EXPECT_EQ(KVG_endSetFace(fl), 0);
        EXPECT_EQ(KVG_face(fl, face), 0);
    });
}

TEST(LimitsCounts, EdgesBeyondTheirIdentifiersAreRefused) {
    layerFile([](KVG_File *fl) {
        int32_t id = 0;
        int32_t last = 0;
        while (KVG_beginSetEdge(fl, &id, 0, 0) == 0) {
            last = id;
            ASSERT_EQ(KVG_endSetEdge(fl), -2);  // a single point
        }
        EXPECT_EQ(last, 2097150);
        EXPECT_EQ(KVG_getErrorCode(fl), KVG_ERR_LIMITS);
        EXPECT_EQ(KVG_edge(fl, last), 0);
    });
}

TEST(LimitsCounts, FacesBeyondTheCountAreRefused) {
    layerFile([](KVG_File *fl) {
        uint32_t id = 0;
        uint32_t count = 0;
        while (KVG_beginSetFace(fl, &id) == 0) {
            ++count;
            ASSERT_EQ(KVG_endSetFace(fl), 0);
        }
        EXPECT_EQ(count, kCountLimit + 1);  // identifiers 0 to 4,194,303
        EXPECT_EQ(KVG_getErrorCode(fl), KVG_ERR_LIMITS);
        EXPECT_EQ(KVG_face(fl, kCountLimit), 0);
    });
}

// ---- Ten million points ----

// The peak resident size of this process in KiB since resetPeak() (Linux).
bool resetPeak() { return static_cast<bool>(std::ofstream("/proc/self/clear_refs") << "5"); }
long peakKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

TEST(LimitsMemory, CubicOfTenMillionPointsNeedsMemoryProportionalToItsPoints) {
    SKIP_MILLIONS_UNDER_SANITIZER();
    constexpr uint32_t kSegments = 3333333;  // 9,999,999 points after the start
    const bool measured = resetPeak();
    const long before = peakKiB();
    layerFile([&](KVG_File *fl) {
        ASSERT_EQ(KVG_begin(fl, KVG_BEGIN_CUBIC, 0, 0), 0);
        for (uint32_t i = 0; i < kSegments; ++i) {
            const double x = i % 2;
            ASSERT_EQ(KVG_cubic(fl, x, 1, 1 - x, 1, 1 - x, 0), 0);
        }
        EXPECT_EQ(KVG_end(fl), 0);
        // 16 bytes a point are stored; allow the growth's slack and the copy it makes.
        if (measured) EXPECT_LT(peakKiB() - before, 3 * kSegments * 40 / 1024);
    });
}

}  // namespace
