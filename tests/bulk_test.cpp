// The bulk calls (KVG_vertices, KVG_polyline, KVG_verticesSetEdge, KVG_setEdge) against the
// per-point calls, byte for byte on whole files, with the vector kernels and with their portable
// form; and the per-point calls against a literal reading of the mapping, the rounding, the
// dropping of repeats and the size rule, through the reader.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "gridmap.h"
#include "kernels.h"
#include "decoder.h"
#include "kvgwriter.h"
#include "test_support.h"

namespace {

using kvgtest::Bytes;
using kvgtest::TempPath;
using kvgtest::underSanitizer;
using Points = std::vector<double>;  // x0, y0, x1, y1, ...

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---- Files: the same drawing through different calls ----

struct Window {
    double xmin, xmax, ymin, ymax;
};

struct FileKind {
    const char *name;
    Window world;
    int32_t res;
    bool raw;
};

// Windows whose two axes have factors of the same magnitude, so that the aspect correction
// leaves them as they are and the literal mapping below needs nothing else.
const FileKind kKinds[] = {
    {"default", {-100, 100, -100, 100}, 4096, false},
    {"grid units", {-2048, 2048, -2048, 2048}, 4096, false},
    {"reversed", {100, -100, 100, -100}, 4096, false},
    {"reversed y", {-100, 100, 100, -100}, 4096, false},
    {"asymmetric", {3, 7, -1, 3}, 4096, false},
    {"odd grid", {-50, 50, -50, 50}, 4095, false},
    {"tiny", {1e-9, 3e-9, -1e-9, 1e-9}, 4096, false},
    {"huge", {-1e300, 1e300, -1e300, 1e300}, 4096, false},
    {"raw", {-100, 100, -100, 100}, 4096, true},
    {"raw asymmetric", {3, 7, -1, 3}, 4096, true},
};

// A figure of the drawing and how it is drawn.
enum class Shape { POLYLINE, FILLED_POLYGON, POLYGON, CUBIC, EDGE };

struct Figure {
    Shape shape;
    Points xy;
};

KVG_File *create(const TempPath &path, const FileKind &kind) {
    KVG_FileOptions *opt = KVG_newFileOptions();
    KVG_setCompressionFileOption(opt, 0);
    KVG_setWorldFileOption(opt, kind.world.xmin, kind.world.xmax, kind.world.ymin,
                           kind.world.ymax);
    KVG_setResolutionFileOption(opt, kind.res, kind.res);
    KVG_setQuantizationFileOption(opt, kind.raw ? 0 : 1);
    KVG_File *fl = KVG_create(path.c_str(), opt);
    KVG_deleteFileOptions(opt);
    return fl;
}

int beginType(Shape shape) {
    return shape == Shape::CUBIC       ? KVG_BEGIN_CUBIC
           : shape == Shape::POLYLINE ? KVG_BEGIN_POLYLINE
                                      : KVG_BEGIN_POLYGON;
}

// The results of every call, in order, so that two ways of drawing can be compared call by
// call as well as byte by byte.
using Results = std::vector<int>;

void drawPerPoint(KVG_File *fl, const Figure &f, Results &results) {
    const Points &p = f.xy;
    const size_t n = p.size() / 2;
    if (f.shape == Shape::EDGE) {
        int32_t id = 0;
        KVG_beginSetEdge(fl, &id, p[0], p[1]);
        for (size_t i = 1; i < n; ++i) KVG_vertexSetEdge(fl, p[2 * i], p[2 * i + 1]);
        results.push_back(KVG_endSetEdge(fl));
        results.push_back(id);
        return;
    }
    KVG_begin(fl, beginType(f.shape), p[0], p[1]);
    if (f.shape == Shape::CUBIC) {
        for (size_t i = 1; i + 2 < n; i += 3) {
            KVG_cubic(fl, p[2 * i], p[2 * i + 1], p[2 * i + 2], p[2 * i + 3], p[2 * i + 4],
                      p[2 * i + 5]);
        }
    } else {
        for (size_t i = 1; i < n; ++i) KVG_vertex(fl, p[2 * i], p[2 * i + 1]);
    }
    results.push_back(KVG_end(fl));
}

// Whole figures with one call.
void drawWhole(KVG_File *fl, const Figure &f, Results &results) {
    if (f.shape == Shape::EDGE) {
        int32_t id = 0;
        results.push_back(KVG_setEdge(fl, &id, f.xy.size() / 2, f.xy.data()));
        results.push_back(id);
        return;
    }
    results.push_back(KVG_polyline(fl, beginType(f.shape), f.xy.size() / 2, f.xy.data()));
}

// The vertices after the start in runs of a few, through the open figure.
void drawInRuns(KVG_File *fl, const Figure &f, Results &results) {
    if (f.shape == Shape::CUBIC) return drawWhole(fl, f, results);
    const Points &p = f.xy;
    const size_t n = p.size() / 2;
    int32_t id = 0;
    if (f.shape == Shape::EDGE) {
        KVG_beginSetEdge(fl, &id, p[0], p[1]);
    } else {
        KVG_begin(fl, beginType(f.shape), p[0], p[1]);
    }
    for (size_t i = 1, run = 0; i < n; i += run) {
        run = std::min(n - i, 1 + i % 7 * 5);
        const int r = f.shape == Shape::EDGE ? KVG_verticesSetEdge(fl, run, &p[2 * i])
                                             : KVG_vertices(fl, run, &p[2 * i]);
        EXPECT_EQ(r, 0);
    }
    if (f.shape == Shape::EDGE) {
        results.push_back(KVG_endSetEdge(fl));
        results.push_back(id);
    } else {
        results.push_back(KVG_end(fl));
    }
}

using Draw = std::function<void(KVG_File *, const Figure &, Results &)>;

// The whole file: the edges first (definitions), then a layer of the figures.
Bytes writeFile(const FileKind &kind, const std::vector<Figure> &figures, const Draw &draw,
                Results &results) {
    TempPath path;
    KVG_File *fl = create(path, kind);
    EXPECT_NE(fl, nullptr);
    for (const Figure &f : figures) {
        if (f.shape == Shape::EDGE) draw(fl, f, results);
    }
    KVG_beginLayer(fl, "figures", KVG_TRUE, KVG_TRUE);
    for (const Figure &f : figures) {
        if (f.shape == Shape::EDGE) continue;
        KVG_setFill(fl, f.shape == Shape::FILLED_POLYGON || f.shape == Shape::CUBIC);
        draw(fl, f, results);
    }
    EXPECT_EQ(KVG_close(fl), 0);
    kvgtest::expectValidKvg(path.str());
    return kvgtest::readFile(path.str());
}

// ---- Drawings ----

// World positions from grid positions: for each kind, where the grid position g lies.
double worldX(const FileKind &k, double g) {
    const double extent = k.raw ? k.world.xmax - k.world.xmin : k.res;
    return (g + extent / 2) / extent * (k.world.xmax - k.world.xmin) + k.world.xmin;
}
double worldY(const FileKind &k, double g) {
    const double extent = k.raw ? k.world.ymax - k.world.ymin : k.res;
    return (g + extent / 2) / extent * (k.world.ymax - k.world.ymin) + k.world.ymin;
}

// A map-like walk: steps of mostly 1 to 8 grid units, a long jump now and then, a fraction of
// a unit off the grid; every point now and then repeated.
Points mapLikeWalk(const FileKind &k, std::mt19937 &rng, int n) {
    std::uniform_real_distribution<double> noise(-0.5, 0.5), turn(-0.6, 0.6);
    double gx = noise(rng) * 1000, gy = noise(rng) * 1000, heading = 0;
    Points p;
    for (int i = 0; i < n; ++i) {
        if (rng() % 500 == 0) {
            gx += noise(rng) * 3000;
            gy += noise(rng) * 3000;
        } else if (rng() % 10 != 0) {
            heading += turn(rng);
            const double length = 1 + rng() % 8;
            gx += length * std::cos(heading);
            gy += length * std::sin(heading);
        }
        p.push_back(worldX(k, gx + noise(rng) * 0.3));
        p.push_back(worldY(k, gy + noise(rng) * 0.3));
    }
    return p;
}

Points uniformPoints(const FileKind &k, std::mt19937 &rng, int n) {
    std::uniform_real_distribution<double> u(0, 1);
    Points p;
    for (int i = 0; i < n; ++i) {
        p.push_back(k.world.xmin + u(rng) * (k.world.xmax - k.world.xmin));
        p.push_back(k.world.ymin + u(rng) * (k.world.ymax - k.world.ymin));
    }
    return p;
}

// Grid positions that test the rounding: halves and their neighbours, negative zeros and
// values that round to zero from below, magnitudes near 2^30, 2^51, 2^52 and 1e300; as grid
// positions of the "grid units" window, which maps them to themselves.
Points awkwardValues() {
    const double halves[] = {0.5, 1.5, 2.5, 1023.5, 0.49999999999999994};
    Points values = {0.0, -0.0, -0.3, 0.3, -0.5, -1e-300, 1.0, -1.0};
    for (double h : halves) {
        for (double v : {h, -h}) {
            values.push_back(v);
            values.push_back(std::nextafter(v, kInf));
            values.push_back(std::nextafter(v, -kInf));
        }
    }
    for (double big : {0x1p30, 0x1p31, 0x1p51, 0x1p52, 0x1p53, 1e300}) {
        for (double v : {big - 1.5, big - 0.5, big, big + 0.5, big + 1.5, big + 2.5}) {
            values.push_back(v);
            values.push_back(-v);
        }
    }
    return values;
}

// Pairs of awkward values, each after an ordinary point so that the differences and their
// sizes vary, and near big jumps so that a zero's sign reaches the floating-point layouts.
Points awkwardWalk(std::mt19937 &rng) {
    const Points values = awkwardValues();
    Points p = {0, 0};
    for (int i = 0; i < 300; ++i) {
        const double x = values[rng() % values.size()];
        const double y = rng() % 3 == 0 ? 1e5 * (rng() % 2 ? 1 : -1) : values[rng() % values.size()];
        p.insert(p.end(), {x, y});
        if (rng() % 4 == 0) p.insert(p.end(), {x, y});  // a repeat
        if (rng() % 3 == 0) p.insert(p.end(), {static_cast<double>(rng() % 5), 0.0});
    }
    return p;
}

std::vector<Figure> figuresOf(std::vector<Points> runs) {
    const Shape shapes[] = {Shape::POLYLINE, Shape::FILLED_POLYGON, Shape::POLYGON,
                            Shape::CUBIC, Shape::EDGE};
    std::vector<Figure> figures;
    for (size_t i = 0; i < runs.size(); ++i) {
        Figure f{shapes[i % 5], std::move(runs[i])};
        if (f.shape == Shape::CUBIC) f.xy.resize(2 * (1 + (f.xy.size() / 2 - 1) / 3 * 3));
        figures.push_back(std::move(f));
    }
    return figures;
}

std::vector<Figure> drawingFor(const FileKind &kind, std::mt19937 &rng) {
    std::vector<Points> runs;
    for (int i = 0; i < 25; ++i) {
        // Enough points that no figure is refused: a refused KVG_end leaves the per-point
        // figure open, where a whole-figure call drops it (tested on its own below).
        const int n = 8 + static_cast<int>(rng() % (i % 5 == 0 ? 700 : 40));
        runs.push_back(i % 3 == 0 ? uniformPoints(kind, rng, n) : mapLikeWalk(kind, rng, n));
    }
    // A run of one repeated position: every figure comes to nothing.
    runs.push_back(Points(40, kind.world.xmin));
    return figuresOf(std::move(runs));
}

// ---- Bulk against per-point, with both kernel forms ----

class KernelForm : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { KVGK_forcePortableKernels(GetParam()); }
    void TearDown() override { KVGK_forcePortableKernels(0); }
};

void expectSameFiles(const FileKind &kind, const std::vector<Figure> &figures,
                     const std::string &what) {
    Results per_point, whole, runs;
    const Bytes expected = writeFile(kind, figures, drawPerPoint, per_point);
    EXPECT_EQ(writeFile(kind, figures, drawWhole, whole), expected) << what << " whole";
    EXPECT_EQ(writeFile(kind, figures, drawInRuns, runs), expected) << what << " in runs";
    EXPECT_EQ(whole, per_point) << what;
    EXPECT_EQ(runs, per_point) << what;
}

TEST_P(KernelForm, BulkCallsWriteThePerPointFiles) {
    std::mt19937 rng(1414);
    for (const FileKind &kind : kKinds) {
        expectSameFiles(kind, drawingFor(kind, rng), kind.name);
    }
    const FileKind &grid = kKinds[1];
    std::vector<Points> awkward;
    for (int i = 0; i < 10; ++i) awkward.push_back(awkwardWalk(rng));
    expectSameFiles(grid, figuresOf(awkward), "awkward values");
}

TEST_P(KernelForm, BothFormsWriteTheSameFile) {
    std::mt19937 rng(77);
    for (const FileKind &kind : kKinds) {
        const std::vector<Figure> figures = drawingFor(kind, rng);
        Results a, b;
        KVGK_forcePortableKernels(1);
        const Bytes portable = writeFile(kind, figures, drawWhole, a);
        KVGK_forcePortableKernels(0);
        EXPECT_EQ(writeFile(kind, figures, drawWhole, b), portable) << kind.name;
    }
}

// A position that repeats its predecessor with a zero of the other sign is dropped, and the
// next step is taken from the predecessor: its zero's sign reaches the floating-point layouts,
// which a step as long as 40000 grid units needs.
TEST_P(KernelForm, ARepeatWithTheOtherSignOfZeroKeepsItsPredecessor) {
    const FileKind &grid = kKinds[1];
    const Points reproducer = {0, 0.25, 0, -0.5, 40000, -0.5};
    std::vector<Figure> figures;
    for (Shape shape : {Shape::POLYLINE, Shape::POLYGON, Shape::FILLED_POLYGON, Shape::EDGE}) {
        figures.push_back({shape, reproducer});
    }
    expectSameFiles(grid, figures, "reproducer");

    // Random walks whose positions repeat with zeros of either sign, at either coordinate; 2^52
    // sends their blocks through the exact rounding.
    const double to_zero[] = {0.0, -0.0, 0.25, -0.25, -0.5, 0.49999999999999994, -1e-300};
    const double far[] = {40000, -40000, 1e5, 0x1p52, -7};
    std::mt19937 rng(4242);
    const auto pick = [&] { return rng() % 3 == 0 ? far[rng() % 5] : to_zero[rng() % 7]; };
    const auto sameOnGrid = [&](double v) { return std::fabs(v) < 1 ? to_zero[rng() % 7] : v; };
    std::vector<Points> walks;
    for (int i = 0; i < 20; ++i) {
        Points p = {pick(), pick()};
        for (int j = 0; j < 100 + i; ++j) {
            const double x = pick(), y = pick();
            p.insert(p.end(), {x, y});
            for (int repeats = rng() % 3; repeats > 0; --repeats) {
                p.insert(p.end(), {sameOnGrid(x), sameOnGrid(y)});
            }
        }
        walks.push_back(std::move(p));
    }
    expectSameFiles(grid, figuresOf(walks), "repeats at both signs of zero");
}

INSTANTIATE_TEST_SUITE_P(Kernels, KernelForm, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "portable" : "fastest"; });

// ---- The per-point calls against the literal rules ----

double literalRound(double v) {
    const double below = std::floor(v);
    return v - below < 0.5 ? below : std::ceil(v);
}

kvgr::impl::Point literalGrid(const FileKind &k, double x, double y) {
    const double fx = k.raw ? k.world.xmax - k.world.xmin : k.res;
    const double fy = k.raw ? k.world.ymax - k.world.ymin : k.res;
    kvgr::impl::Point p{(x - k.world.xmin) / (k.world.xmax - k.world.xmin) * (fx / 2 - -fx / 2) + -fx / 2,
                  (y - k.world.ymin) / (k.world.ymax - k.world.ymin) * (fy / 2 - -fy / 2) +
                      -fy / 2};
    if (!k.raw) p = {literalRound(p.x), literalRound(p.y)};
    return p;
}

bool whole(double v) { return v == std::floor(v); }

unsigned literalRelSize(double dx, double dy) {
    const auto within = [&](double lo, double hi) {
        return whole(dx) && whole(dy) && dx >= lo && dx <= hi && dy >= lo && dy <= hi;
    };
    if ((dx == -1 || dx == 0 || dx == 1) && (dy == -1 || dy == 0 || dy == 1) &&
        !(dx == 0 && dy == 0)) {
        return 3;
    }
    if (within(-4, 3)) return 6;
    if (within(-8, 7)) return 8;
    if (within(-128, 127)) return 16;
    if (within(-2048, 2047)) return 24;
    if (within(-32768, 32767)) return 32;
    if (dx >= -1e37 && dx <= 1e37 && dy >= -1e37 && dy <= 1e37) return 64;
    return 128;
}

// Same value, the sign of a zero and NaN included.
bool identical(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) ||
           (a == b && std::signbit(a) == std::signbit(b));
}

// The 64-bit layout holds singles.
double asWritten(double v, unsigned size) {
    return size == 64 ? static_cast<double>(static_cast<float>(v)) : v;
}

TEST(PerPointCalls, WriteTheLiteralPositionsDifferencesAndSizes) {
    std::mt19937 rng(2024);
    for (const FileKind &kind : kKinds) {
        std::vector<Points> runs;
        for (int i = 0; i < 20; ++i) runs.push_back(mapLikeWalk(kind, rng, 2 + rng() % 60));
        if (&kind == &kKinds[1]) {
            for (int i = 0; i < 10; ++i) runs.push_back(awkwardWalk(rng));
        }
        // Expected: per polyline, the literal start, steps (repeats dropped) and size.
        TempPath path;
        KVG_File *fl = create(path, kind);
        KVG_beginLayer(fl, "l", 1, 1);
        struct Expected {
            kvgr::impl::Point start;
            std::vector<kvgr::impl::Point> steps;
            unsigned size;
        };
        std::vector<Expected> expected;
        for (const Points &p : runs) {
            Expected e{literalGrid(kind, p[0], p[1]), {}, 3};
            kvgr::impl::Point last = e.start;
            KVG_begin(fl, KVG_BEGIN_POLYLINE, p[0], p[1]);
            for (size_t i = 1; i < p.size() / 2; ++i) {
                const kvgr::impl::Point q = literalGrid(kind, p[2 * i], p[2 * i + 1]);
                const bool repeat = q.x == last.x && q.y == last.y;
                EXPECT_EQ(KVG_vertex(fl, p[2 * i], p[2 * i + 1]), repeat ? -2 : 0);
                if (repeat) continue;
                e.steps.push_back({q.x - last.x, q.y - last.y});
                e.size = std::max(e.size, literalRelSize(q.x - last.x, q.y - last.y));
                last = q;
            }
            EXPECT_EQ(KVG_end(fl), e.steps.empty() ? -2 : 0);
            if (!e.steps.empty()) expected.push_back(e);
        }
        ASSERT_EQ(KVG_close(fl), 0);

        const Bytes bytes = kvgtest::readFile(path.str());
        kvgr::impl::Decoder decoder(bytes);
        kvgr::impl::Record record;
        size_t figure = 0;
        while (decoder.next(record)) {
            if (record.code != kvgfmt::POLYLINE) continue;
            ASSERT_LT(figure, expected.size()) << kind.name;
            const Expected &e = expected[figure];
            const auto &got = std::get<kvgr::impl::Figure>(record.payload);
            const unsigned size = decoder.state().sizes.relPoint;
            const unsigned start_size = decoder.state().sizes.point;
            EXPECT_EQ(size, e.size) << kind.name << " figure " << figure;
            EXPECT_TRUE(identical(got.start.x, asWritten(e.start.x, start_size)) &&
                        identical(got.start.y, asWritten(e.start.y, start_size)))
                << kind.name << " figure " << figure << ": " << got.start.x << " "
                << got.start.y << " for " << e.start.x << " " << e.start.y;
            ASSERT_EQ(got.steps.size(), e.steps.size()) << kind.name << " figure " << figure;
            for (size_t i = 0; i < e.steps.size(); ++i) {
                EXPECT_TRUE(identical(got.steps[i].x, asWritten(e.steps[i].x, size)) &&
                            identical(got.steps[i].y, asWritten(e.steps[i].y, size)))
                    << kind.name << " figure " << figure << " step " << i << ": "
                    << got.steps[i].x << " " << got.steps[i].y << " for " << e.steps[i].x
                    << " " << e.steps[i].y;
            }
            ++figure;
        }
        EXPECT_FALSE(decoder.error().has_value()) << kind.name;
        EXPECT_EQ(figure, expected.size()) << kind.name;
    }
}

// ---- What the bulk calls refuse ----

TEST(BulkCalls, RefuseAsTheirPerPointCallsAndLeaveNothingOpen) {
    kvgtest::WriterFixture w;
    KVG_File *fl = w.get();
    const double xy[] = {0, 0, 10, 0, 10, 10};
    EXPECT_EQ(KVG_vertices(fl, 3, xy), -1);
    EXPECT_EQ(w.message(), "Function is invalid outside primitive definition");
    EXPECT_EQ(KVG_verticesSetEdge(fl, 3, xy), -1);
    EXPECT_EQ(w.message(), "Function is invalid outside edge definition");

    KVG_beginLayer(fl, "l", 1, 1);
    ASSERT_EQ(KVG_begin(fl, KVG_BEGIN_CUBIC, 0, 0), 0);
    EXPECT_EQ(KVG_vertices(fl, 2, xy), -1);
    EXPECT_EQ(w.message(), "Incorrect primitive definition type for function");
    EXPECT_EQ(KVG_polyline(fl, KVG_BEGIN_POLYLINE, 3, xy), -1);
    EXPECT_EQ(w.message(), "Definitions cannot be nested");
    EXPECT_EQ(KVG_end(fl), -1);  // the cubic has no segment: still the caller's, still open
    EXPECT_EQ(w.message(), "Insufficient number of points for primitive");
    ASSERT_EQ(KVG_polyline(fl, KVG_BEGIN_POLYLINE, 0, nullptr), -1);  // nested still
    KVG_cubic(fl, 1, 1, 2, 2, 3, 3);
    ASSERT_EQ(KVG_end(fl), 0);

    // Refusals of whole figures leave no primitive open.
    EXPECT_EQ(KVG_polyline(fl, KVG_BEGIN_POLYLINE, 0, nullptr), -1);
    EXPECT_EQ(w.code(), KVG_ERR_PARAM);
    EXPECT_EQ(KVG_polyline(fl, KVG_BEGIN_POLYLINE, 1, xy), -1);
    EXPECT_EQ(w.message(), "Insufficient number of points for primitive");
    EXPECT_EQ(KVG_polyline(fl, 7, 3, xy), -1);
    EXPECT_EQ(w.message(), "Incorrect primitive definition type for function");
    EXPECT_EQ(KVG_polyline(fl, KVG_BEGIN_CUBIC, 3, xy), -1);
    EXPECT_EQ(w.message(), "Number of cubic control points is not a multiple of three");
    EXPECT_EQ(w.code(), KVG_ERR_PARAM);
    const double closed_twice[] = {0, 0, 10, 0, 0, 0};  // P, Q, P filled: too few
    KVG_setFill(fl, 1);
    EXPECT_EQ(KVG_polyline(fl, KVG_BEGIN_POLYGON, 3, closed_twice), -1);
    const double on_the_grid_one_point[] = {0, 0, 0.001, 0};
    EXPECT_EQ(KVG_polyline(fl, KVG_BEGIN_POLYLINE, 2, on_the_grid_one_point), -2);
    EXPECT_EQ(KVG_vertex(fl, 1, 1), -1);  // nothing is open
    EXPECT_EQ(w.message(), "Function is invalid outside primitive definition");

    // An edge with no point is refused before an identifier is handed out.
    int32_t id = -5;
    EXPECT_EQ(KVG_setEdge(fl, &id, 0, nullptr), -1);
    EXPECT_EQ(id, -5);
    EXPECT_EQ(KVG_setEdge(fl, &id, 1, xy), -2);  // its start point alone
    EXPECT_EQ(id, 1);
    EXPECT_EQ(KVG_setEdge(fl, &id, 3, xy), 0);
    EXPECT_EQ(id, 2);
    w.close();
}

// Options of a plain file whose world units are grid units.
struct GridUnitOptions {
    GridUnitOptions() { KVG_setWorldFileOption(opt, -2048, 2048, -2048, 2048); }
    ~GridUnitOptions() { KVG_deleteFileOptions(opt); }
    KVG_FileOptions *opt = kvgtest::plainOptions();
};

// A position that is not finite, or a step between finite positions that overflows, is refused
// by the per-point calls; the bulk calls then take none of their positions.
TEST(BulkCalls, RefuseNonFinitePositionsAndTakeNoneOfThem) {
    const double refused[][2] = {{kNaN, 0}, {0, kInf}, {-kInf, 0}, {1e308, 0}};
    for (const auto &bad : refused) {
        for (const bool edge : {false, true}) {
            // The per-point calls: the start, one vertex, the refused one, one more.
            const Points p = {0, 0, -1e308, 5, bad[0], bad[1], 10, 10};
            const GridUnitOptions grid;
            kvgtest::WriterFixture per_point(grid.opt);
            KVG_File *fl = per_point.get();
            KVG_beginLayer(fl, "l", 1, 1);
            int32_t id = 0;
            if (edge) {
                KVG_beginSetEdge(fl, &id, p[0], p[1]);
                EXPECT_EQ(KVG_vertexSetEdge(fl, p[2], p[3]), 0);
                EXPECT_EQ(KVG_vertexSetEdge(fl, p[4], p[5]), -1);
                EXPECT_EQ(per_point.message(), "Position or extent is not a finite number");
                KVG_endSetEdge(fl);
            } else {
                KVG_begin(fl, KVG_BEGIN_POLYLINE, p[0], p[1]);
                EXPECT_EQ(KVG_vertex(fl, p[2], p[3]), 0);
                EXPECT_EQ(KVG_vertex(fl, p[4], p[5]), -1);
                EXPECT_EQ(per_point.message(), "Position or extent is not a finite number");
                KVG_vertex(fl, 0, 0);
                KVG_end(fl);
            }
            const Bytes expected = per_point.close();

            // The bulk calls: the run with the refused position is refused whole.
            kvgtest::WriterFixture bulk(grid.opt);
            fl = bulk.get();
            KVG_beginLayer(fl, "l", 1, 1);
            if (edge) {
                KVG_beginSetEdge(fl, &id, p[0], p[1]);
                KVG_vertexSetEdge(fl, p[2], p[3]);
                EXPECT_EQ(KVG_verticesSetEdge(fl, 2, &p[4]), -1);
                EXPECT_EQ(bulk.code(), KVG_ERR_PARAM);
                KVG_endSetEdge(fl);
                EXPECT_EQ(KVG_setEdge(fl, &id, 4, p.data()), -1);
            } else {
                KVG_begin(fl, KVG_BEGIN_POLYLINE, p[0], p[1]);
                KVG_vertex(fl, p[2], p[3]);
                EXPECT_EQ(KVG_vertices(fl, 2, &p[4]), -1);
                EXPECT_EQ(bulk.message(), "Position or extent is not a finite number");
                KVG_vertex(fl, 0, 0);
                KVG_end(fl);
                EXPECT_EQ(KVG_polyline(fl, KVG_BEGIN_POLYLINE, 4, p.data()), -1);
                EXPECT_EQ(KVG_vertex(fl, 0, 0), -1);  // nothing left open
            }
            EXPECT_EQ(bulk.close(), expected) << bad[0] << " " << bad[1];
        }
    }
}

TEST(BulkCalls, AnEdgeBeyondItsLimitTakesNoneOfTheVertices) {
    SKIP_MILLIONS_UNDER_SANITIZER();
    constexpr size_t kLimit = 4194303;  // differences an edge can hold
    kvgtest::WriterFixture w;
    KVG_File *fl = w.get();
    Points walk;
    walk.reserve(2 * (kLimit + 2));
    for (size_t i = 0; i < kLimit + 2; ++i) {  // unit steps, back and forth
        walk.push_back(i % 2 == 0 ? 0.0 : 0.05);
        walk.push_back(0.0);
    }
    int32_t id = 0;
    // The start and kLimit + 1 vertices: one too many.
    EXPECT_EQ(KVG_setEdge(fl, &id, kLimit + 2, walk.data()), -1);
    EXPECT_EQ(w.message(), "Size KVG type limit exceeded");
    EXPECT_EQ(KVG_beginSetEdge(fl, &id, 0, 0), 0);
    EXPECT_EQ(id, 1);  // the refused edge used no identifier
    EXPECT_EQ(KVG_verticesSetEdge(fl, kLimit + 1, walk.data() + 2), -1);
    EXPECT_EQ(KVG_verticesSetEdge(fl, kLimit, walk.data() + 2), 0);  // exactly the limit
    EXPECT_EQ(KVG_vertexSetEdge(fl, 0, 0), -1);
    EXPECT_EQ(KVG_endSetEdge(fl), 0);
    w.close();
}

}  // namespace
