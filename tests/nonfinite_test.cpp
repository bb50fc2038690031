// Positions, extents and angles that are not numbers: every call that takes one refuses NaN and
// the infinities, and a finite value that the mapping onto the grid would take beyond the range
// of a double, with -1, KVG_ERR_PARAM and a message, before anything is written. Finite values
// that are merely large are written as they always were.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "unit_writer.h"

namespace kvgtest {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Finite, but beyond the range of a double once scaled by the default 20.48 file units per unit.
constexpr double kOverflowing = 1e308;

constexpr const char *kNotFinite = "Position or extent is not a finite number";
constexpr const char *kAngleNotFinite = "Angle is not a finite number";
constexpr const char *kNoDestination = "Invalid destination rectangle dimensions";

// What one argument of a call is.
enum class Kind {
    POSITION,  // a position or an extent: refused with kNotFinite
    ANGLE,     // degrees: refused with kAngleNotFinite; any finite value is an angle
    POSITIVE,  // an extent that must be positive: NaN and -inf are no rectangle
};

using Step = std::function<void(KVG_File *)>;

struct NumericCall {
    const char *name;
    std::vector<double> args;  // arguments that draw
    std::vector<Kind> kinds;
    std::function<int(KVG_File *, const std::vector<double> &)> call;
    Step open = [](KVG_File *) {};    // before the call: opens what it adds to
    Step finish = [](KVG_File *) {};  // after it: completes that again
};

void PrintTo(const NumericCall &c, std::ostream *os) { *os << c.name; }

// An image and a shape to use, and a layer.
void prepare(KVG_File *fl) {
    const KVG_Color pixel = 0x336699;
    uint32_t id;
    ASSERT_EQ(KVG_setImage(fl, 1, 1, &pixel, &id), 0);
    ASSERT_EQ(KVG_beginSetShape(fl, 10, 10, &id), 0);
    ASSERT_EQ(KVG_mark(fl, 1, 1), 0);
    ASSERT_EQ(KVG_endSetShape(fl), 0);
    ASSERT_EQ(KVG_beginLayer(fl, "numbers", 1, 1), 0);
}

const char *expectedMessage(Kind kind, double bad) {
    if (kind == Kind::ANGLE) return kAngleNotFinite;
    if (kind == Kind::POSITIVE && !(bad > 0)) return kNoDestination;
    return kNotFinite;
}

std::vector<double> badValues(Kind kind) {
    if (kind == Kind::ANGLE) return {kNaN, kInf, -kInf};
    return {kNaN, kInf, -kInf, kOverflowing, -kOverflowing};
}

// The file of one case: its call with `args`, or no call at all when `args` is null.
Bytes writeCase(const NumericCall &c, const std::vector<double> *args, int expected_rc,
                const char *expected_message) {
    WriterFixture writer;
    prepare(writer.get());
    c.open(writer.get());
    if (args != nullptr) {
        EXPECT_EQ(c.call(writer.get(), *args), expected_rc) << writer.message();
        if (expected_message != nullptr) {
            EXPECT_EQ(writer.code(), KVG_ERR_PARAM);
            EXPECT_EQ(writer.message(), expected_message);
        }
    }
    c.finish(writer.get());
    return writer.close();
}

class NonFinite : public testing::TestWithParam<NumericCall> {};

TEST_P(NonFinite, IsRefusedBeforeAnythingIsWritten) {
    const NumericCall &c = GetParam();
    const Bytes without_call = writeCase(c, nullptr, 0, nullptr);
    for (size_t i = 0; i < c.args.size(); ++i) {
        for (double bad : badValues(c.kinds[i])) {
            SCOPED_TRACE("argument " + std::to_string(i) + " = " + std::to_string(bad));
            std::vector<double> args = c.args;
            args[i] = bad;
            const Bytes refused = writeCase(c, &args, -1, expectedMessage(c.kinds[i], bad));
            EXPECT_EQ(hex(refused), hex(without_call));
        }
    }
    // The same call with finite arguments draws.
    writeCase(c, &c.args, 0, nullptr);
}

void openPolyline(KVG_File *fl) {
    ASSERT_EQ(KVG_begin(fl, KVG_BEGIN_POLYLINE, 0, 0), 0);
    ASSERT_EQ(KVG_vertex(fl, 3, 3), 0);
}
void openCubic(KVG_File *fl) {
    ASSERT_EQ(KVG_begin(fl, KVG_BEGIN_CUBIC, 0, 0), 0);
    ASSERT_EQ(KVG_cubic(fl, 1, 1, 2, 2, 3, 3), 0);
}
void endPrimitive(KVG_File *fl) { ASSERT_EQ(KVG_end(fl), 0); }
void openEdge(KVG_File *fl) {
    int32_t id;
    ASSERT_EQ(KVG_beginSetEdge(fl, &id, 0, 0), 0);
    ASSERT_EQ(KVG_vertexSetEdge(fl, 3, 3), 0);
}
void endEdge(KVG_File *fl) { ASSERT_EQ(KVG_endSetEdge(fl), 0); }

using P = Kind;
using Args = const std::vector<double> &;
const NumericCall kCalls[] = {
    {"Begin", {1, 2}, {P::POSITION, P::POSITION},
     [](KVG_File *fl, Args a) { return KVG_begin(fl, KVG_BEGIN_POLYLINE, a[0], a[1]); }},
    {"Vertex", {1, 2}, {P::POSITION, P::POSITION},
     [](KVG_File *fl, Args a) { return KVG_vertex(fl, a[0], a[1]); }, openPolyline,
     endPrimitive},
    {"Cubic", {4, 5, 6, 7, 8, 9}, std::vector<Kind>(6, P::POSITION),
     [](KVG_File *fl, Args a) { return KVG_cubic(fl, a[0], a[1], a[2], a[3], a[4], a[5]); },
     openCubic, endPrimitive},
    {"Vertices", {5, 5, 6, 7}, std::vector<Kind>(4, P::POSITION),
     [](KVG_File *fl, Args a) { return KVG_vertices(fl, 2, a.data()); }, openPolyline,
     endPrimitive},
    {"Polyline", {0, 0, 3, 3, 5, 1}, std::vector<Kind>(6, P::POSITION),
     [](KVG_File *fl, Args a) { return KVG_polyline(fl, KVG_BEGIN_POLYGON, 3, a.data()); }},
    {"CubicPolyline", {0, 0, 1, 1, 2, 2, 3, 3}, std::vector<Kind>(8, P::POSITION),
     [](KVG_File *fl, Args a) { return KVG_polyline(fl, KVG_BEGIN_CUBIC, 4, a.data()); }},
    {"Arc", {1, 2, 10, 5, 30, 90},
     {P::POSITION, P::POSITION, P::POSITION, P::POSITION, P::ANGLE, P::ANGLE},
     [](KVG_File *fl, Args a) { return KVG_arc(fl, a[0], a[1], a[2], a[3], a[4], a[5]); }},
    {"Text", {1, 2}, {P::POSITION, P::POSITION},
     [](KVG_File *fl, Args a) { return KVG_text(fl, a[0], a[1], "t"); }},
    {"EmptyText", {1, 2}, {P::POSITION, P::POSITION},
     [](KVG_File *fl, Args a) { return KVG_text(fl, a[0], a[1], ""); }},
    {"Mark", {1, 2}, {P::POSITION, P::POSITION},
     [](KVG_File *fl, Args a) { return KVG_mark(fl, a[0], a[1]); }},
    {"Line", {1, 2, 3, 4}, std::vector<Kind>(4, P::POSITION),
     [](KVG_File *fl, Args a) { return KVG_line(fl, a[0], a[1], a[2], a[3]); }},
    {"Box", {1, 2, 3, 4}, std::vector<Kind>(4, P::POSITION),
     [](KVG_File *fl, Args a) { return KVG_box(fl, a[0], a[1], a[2], a[3]); }},
    {"Circle", {1, 2, 5}, std::vector<Kind>(3, P::POSITION),
     [](KVG_File *fl, Args a) { return KVG_circle(fl, a[0], a[1], a[2]); }},
    {"Ellipse", {1, 2, 3, 4}, std::vector<Kind>(4, P::POSITION),
     [](KVG_File *fl, Args a) { return KVG_ellipse(fl, a[0], a[1], a[2], a[3]); }},
    {"ShapeDefinition", {5, 6}, {P::POSITION, P::POSITION},
     [](KVG_File *fl, Args a) {
         uint32_t id;
         return KVG_beginSetShape(fl, a[0], a[1], &id);
     }},
    {"Shape", {1, 2, 45, 10, 20}, {P::POSITION, P::POSITION, P::ANGLE, P::POSITION, P::POSITION},
     [](KVG_File *fl, Args a) { return KVG_shape(fl, 0, a[0], a[1], a[2], a[3], a[4]); }},
    {"StampShape", {1, 2}, {P::POSITION, P::POSITION},
     [](KVG_File *fl, Args a) { return KVG_stampShape(fl, 0, a[0], a[1]); }},
    {"Image", {1, 2, 3, 4}, {P::POSITION, P::POSITION, P::POSITIVE, P::POSITIVE},
     [](KVG_File *fl, Args a) { return KVG_image(fl, 0, a[0], a[1], a[2], a[3]); }},
    {"SubImage", {1, 2, 3, 4}, {P::POSITION, P::POSITION, P::POSITIVE, P::POSITIVE},
     [](KVG_File *fl, Args a) { return KVG_subImage(fl, 0, 0, 0, 1, 1, a[0], a[1], a[2], a[3]); }},
    {"EdgeStart", {1, 2}, {P::POSITION, P::POSITION},
     [](KVG_File *fl, Args a) {
         int32_t id;
         return KVG_beginSetEdge(fl, &id, a[0], a[1]);
     }},
    {"EdgeVertex", {1, 2}, {P::POSITION, P::POSITION},
     [](KVG_File *fl, Args a) { return KVG_vertexSetEdge(fl, a[0], a[1]); }, openEdge, endEdge},
    {"EdgeVertices", {5, 5, 6, 7}, std::vector<Kind>(4, P::POSITION),
     [](KVG_File *fl, Args a) { return KVG_verticesSetEdge(fl, 2, a.data()); }, openEdge,
     endEdge},
    {"SetEdge", {0, 0, 3, 3, 5, 1}, std::vector<Kind>(6, P::POSITION),
     [](KVG_File *fl, Args a) {
         int32_t id;
         return KVG_setEdge(fl, &id, 3, a.data());
     }},
    {"GradientFill", {1, 2, 3, 4}, std::vector<Kind>(4, P::POSITION),
     [](KVG_File *fl, Args a) {
         return KVG_setGradientFill(fl, a[0], a[1], 0, a[2], a[3], 0xFFFFFF);
     }},
    {"TextureFill", {1, 2}, {P::POSITION, P::POSITION},
     [](KVG_File *fl, Args a) { return KVG_setTextureFill(fl, a[0], a[1], 0); }},
    {"StretchedTextureFill", {1, 2, 3, 4}, {P::POSITION, P::POSITION, P::POSITIVE, P::POSITIVE},
     [](KVG_File *fl, Args a) {
         return KVG_setStretchedTextureFill(fl, a[0], a[1], a[2], a[3], 0);
     }},
    {"TextDirection", {30}, {P::ANGLE},
     [](KVG_File *fl, Args a) { return KVG_setTextAlignment(fl, KVG_TEXT_CENTER, a[0]); }},
};

INSTANTIATE_TEST_SUITE_P(EveryCall, NonFinite, testing::ValuesIn(kCalls),
                         [](const auto &info) { return std::string(info.param.name); });

// A step between two finite points can overflow on its own: refused as well.
TEST(NonFinite, StepsBeyondTheRangeOfADoubleAreRefused) {
    std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(plainOptions());
    KVG_setQuantizationFileOption(opt.get(), 0);
    KVG_setWorldFileOption(opt.get(), -1, 1, -1, 1);  // raw: one file unit per world unit
    WriterFixture writer(opt.get());
    const double far = std::numeric_limits<double>::max();
    ASSERT_EQ(KVG_begin(writer.get(), KVG_BEGIN_POLYLINE, -far, 0), 0);
    EXPECT_EQ(KVG_vertex(writer.get(), far, 0), -1);
    EXPECT_EQ(writer.message(), kNotFinite);
    EXPECT_EQ(KVG_line(writer.get(), -far, 0, far, 0), -1);
    EXPECT_EQ(KVG_box(writer.get(), -far, 0, far, 1), 0) << "the corner is at 0: finite";
    writer.close();
}

// Large finite values reach the records unchanged, as they always did.
TEST(NonFinite, LargeFiniteValuesAreWrittenAsGiven) {
    UnitWriter writer;
    ASSERT_EQ(KVG_box(writer.get(), 0, 0, 1e300, 1e300), 0);
    ASSERT_EQ(KVG_mark(writer.get(), -1e300, 1e300), 0);
    const Bytes layers = writer.closeLayerSection();

    StreamFixture expected;
    KVGF_State *st = expected.state();
    ASSERT_EQ(KVGF_SetPointSize(st, 16), 0);
    ASSERT_EQ(KVGF_SetRelPointSize(st, 128), 0);
    ASSERT_EQ(KVGF_DrawBox(st, 0, 0, 1e300, 1e300), 0);
    ASSERT_EQ(KVGF_SetPointSize(st, 128), 0);
    ASSERT_EQ(KVGF_Mark(st, -1e300, 1e300), 0);
    EXPECT_EQ(hex(layers), hex(expected.bytes()));
}

}  // namespace
}  // namespace kvgtest
