// The C++ interface: the same bytes as the C calls it wraps, failures as kvg::Error with the
// library's code and message, and the ownership of the handle (close, destructor, moves).
#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "fault_guard.h"
#include "kvgwriter.hpp"
#include "test_support.h"

using namespace kvgtest;

namespace {

const kvg::Options kPlain{.compress = false};

// The same drawing through both interfaces, touching every family once, with arguments that
// differ from each other so that a swapped pair shows in the bytes.
void drawWithC(KVG_File *fl) {
    const KVG_Color pixels[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x808080};
    uint32_t image = 0, shape = 0, face = 0, hole = 0;
    int32_t e1 = 0, e2 = 0;
    KVG_setImage(fl, 3, 2, pixels, &image);
    KVG_beginSetShape(fl, 4, 3, &shape);
    KVG_box(fl, -4, -3, 8, 6);
    KVG_endSetShape(fl);
    KVG_beginSetEdge(fl, &e1, -50, -40);
    KVG_vertexSetEdge(fl, 50, -40);
    KVG_vertexSetEdge(fl, 50, 40);
    KVG_endSetEdge(fl);
    KVG_beginSetEdge(fl, &e2, 50, 40);
    KVG_vertexSetEdge(fl, -50, -40);
    KVG_endSetEdge(fl);
    KVG_beginSetFace(fl, &hole);
    KVG_edgeSetFace(fl, e1, 0);
    KVG_edgeSetFace(fl, e2, 0);
    KVG_endSetFace(fl);
    KVG_beginSetFace(fl, &face);
    KVG_edgeSetFace(fl, e2, 1);
    KVG_edgeSetFace(fl, e1, 1);
    KVG_holeSetFace(fl, hole);
    KVG_endSetFace(fl);

    KVG_beginLayer(fl, "all", KVG_TRUE, KVG_FALSE);
    KVG_extension(fl, "key", "value");
    KVG_beginObject(fl, "thing");
    KVG_setLineColor(fl, 0x123456);
    KVG_setLineDashes(fl, 0xF0F0);
    KVG_setLineStyle(fl, KVG_JOINT_ROUND, KVG_ARROW, KVG_OVAL_ARROW, 2);
    KVG_begin(fl, KVG_BEGIN_POLYLINE, 1, 2);
    KVG_vertex(fl, 3, 5);
    KVG_vertex(fl, 7, 11);
    KVG_end(fl);
    KVG_begin(fl, KVG_BEGIN_CUBIC, -1, -2);
    KVG_cubic(fl, -3, -5, -7, -11, -13, -17);
    KVG_end(fl);
    KVG_setFill(fl, 1);
    KVG_setFillColor(fl, 0xABCDEF);
    KVG_begin(fl, KVG_BEGIN_POLYGON, 10, 20);
    KVG_vertex(fl, 30, 25);
    KVG_vertex(fl, 20, 40);
    KVG_end(fl);
    KVG_arc(fl, 5, 6, 20, 10, 30, 120);
    KVG_setGradientFill(fl, 1, 2, 0x010203, 4, 5, 0x040506);
    KVG_box(fl, -9, -8, 7, 6);
    KVG_setTextureFill(fl, 3, 4, image);
    KVG_circle(fl, 10, 11, 5);
    KVG_setStretchedTextureFill(fl, 1, 2, 30, 40, image);
    KVG_ellipse(fl, 12, 13, 14, 6);
    KVG_endObject(fl);
    KVG_setMarkColor(fl, 0x00FF00);
    KVG_setMarkStyle(fl, KVG_MARK_HOLLOW_BOX, 7);
    KVG_mark(fl, 60, 70);
    KVG_line(fl, 1, 2, 3, 4);
    KVG_setTextColor(fl, 0x0000FF);
    KVG_setFont(fl, KVG_FONT_SERIF, KVG_FONT_ITALIC, 3);
    KVG_setTextAlignment(fl, KVG_TEXT_NORTHWEST, 45);
    KVG_text(fl, -20, 30, "label");
    KVG_shape(fl, shape, 5, 6, 30, 10, 20);
    KVG_stampShape(fl, shape, 8, 9);
    KVG_setImageStretchMode(fl, KVG_STRETCH_BILINEAR);
    KVG_setBlendMode(fl, KVG_BLEND_SOURCE);
    KVG_image(fl, image, -30, -30, 12, 8);
    KVG_subImage(fl, image, 1, 0, 2, 1, 30, 30, 8, 4);
    KVG_edge(fl, e1);
    KVG_edgeRange(fl, 1, 2);
    KVG_face(fl, face);
    const KVG_Color palette[] = {0x111111, 0x222222, 0x333333};
    KVG_setPalette(fl, 3, palette);
    KVG_setColorSize(fl, KVG_COLOR_INDEX8);
    KVG_setLineColor(fl, 2);
}

void drawWithCpp(kvg::File &f) {
    const KVG_Color pixels[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x808080};
    const uint32_t image = f.setImage(3, 2, pixels);
    const uint32_t shape = f.beginSetShape(4, 3);
    f.box(-4, -3, 8, 6);
    f.endSetShape();
    const kvg::Point edge1[] = {{-50, -40}, {50, -40}, {50, 40}};
    const kvg::Point edge2[] = {{50, 40}, {-50, -40}};
    const int32_t e1 = f.setEdge(edge1);
    const int32_t e2 = f.setEdge(edge2);
    const int32_t ring[] = {e1, e2};
    const uint32_t hole = f.setFace(ring);
    const int32_t reversed[] = {-e2, -e1};
    const uint32_t holes[] = {hole};
    const uint32_t face = f.setFace(reversed, holes);

    f.beginLayer("all", true, false);
    f.extension("key", "value");
    f.beginObject(std::string("thing"));
    f.setLineColor(0x123456);
    f.setLineDashes(0xF0F0);
    f.setLineStyle(KVG_JOINT_ROUND, KVG_ARROW, KVG_OVAL_ARROW, 2);
    const kvg::Point line[] = {{1, 2}, {3, 5}, {7, 11}};
    f.polyline(line);
    f.begin(KVG_BEGIN_CUBIC, -1, -2);
    f.cubic({-3, -5}, {-7, -11}, {-13, -17});
    f.end();
    f.setFill(true);
    f.setFillColor(0xABCDEF);
    const kvg::Point triangle[] = {{10, 20}, {30, 25}, {20, 40}};
    f.polygon(triangle);
    f.arc(5, 6, 20, 10, 30, 120);
    f.setGradientFill({1, 2}, 0x010203, {4, 5}, 0x040506);
    f.box(-9, -8, 7, 6);
    f.setTextureFill(3, 4, image);
    f.circle(10, 11, 5);
    f.setStretchedTextureFill(1, 2, 30, 40, image);
    f.ellipse(12, 13, 14, 6);
    f.endObject();
    f.setMarkColor(0x00FF00);
    f.setMarkStyle(KVG_MARK_HOLLOW_BOX, 7);
    f.mark(60, 70);
    f.line(1, 2, 3, 4);
    f.setTextColor(0x0000FF);
    f.setFont(KVG_FONT_SERIF, KVG_FONT_ITALIC, 3);
    f.setTextAlignment(KVG_TEXT_NORTHWEST, 45);
    f.text(-20, 30, "label");
    f.shape(shape, 5, 6, 30, 10, 20);
    f.stampShape(shape, 8, 9);
    f.setImageStretchMode(KVG_STRETCH_BILINEAR);
    f.setBlendMode(KVG_BLEND_SOURCE);
    f.image(image, -30, -30, 12, 8);
    f.subImage(image, 1, 0, 2, 1, 30, 30, 8, 4);
    f.edge(e1);
    f.edgeRange(1, 2);
    f.face(face);
    const KVG_Color palette[] = {0x111111, 0x222222, 0x333333};
    f.setPalette(palette);
    f.setColorSize(KVG_COLOR_INDEX8);
    f.setLineColor(2);
}

Bytes emptyFile() {
    TempPath path;
    kvg::File(path.str(), kPlain).close();
    return readFile(path.str());
}

TEST(HppFile, WritesTheBytesOfTheCCalls) {
    TempPath c_path, cpp_path;
    const std::unique_ptr<KVG_FileOptions, decltype(&KVG_deleteFileOptions)> opt(
        plainOptions(), KVG_deleteFileOptions);
    KVG_File *fl = KVG_create(c_path.c_str(), opt.get());
    ASSERT_NE(fl, nullptr);
    drawWithC(fl);
    ASSERT_EQ(KVG_getErrorCode(fl), KVG_ERR_NONE) << KVG_getErrorDescription(fl);
    ASSERT_EQ(KVG_close(fl), 0);

    kvg::File f(cpp_path.str(), kPlain);
    drawWithCpp(f);
    f.close();
    EXPECT_FALSE(f.isOpen());
    const Bytes expected = readFile(c_path.str());
    EXPECT_GT(expected.size(), emptyFile().size() + 100);
    EXPECT_EQ(hex(readFile(cpp_path.str())), hex(expected));
}

TEST(HppFile, OptionsReachTheHeader) {
    TempPath c_path, cpp_path;
    KVG_FileOptions *opt = plainOptions();
    KVG_setWorldFileOption(opt, 0, 10, 0, 5);
    KVG_setDimensionsFileOption(opt, 210, 297);
    KVG_setResolutionFileOption(opt, 1000, 500);
    KVG_setQuantizationFileOption(opt, 0);
    KVG_setBackgroundFileOption(opt, 0x102030);
    KVG_File *fl = KVG_create(c_path.c_str(), opt);
    KVG_deleteFileOptions(opt);
    ASSERT_NE(fl, nullptr);
    ASSERT_EQ(KVG_close(fl), 0);
    kvg::File(cpp_path.str(), {.world = {0, 10, 0, 5},
                               .width_mm = 210,
                               .height_mm = 297,
                               .width_res = 1000,
                               .height_res = 500,
                               .quantize = false,
                               .background = 0x102030,
                               .compress = false});
    EXPECT_EQ(hex(readFile(cpp_path.str())), hex(readFile(c_path.str())));
}

TEST(HppFile, CompressesByDefault) {
    TempPath path;
    kvg::File(path.str()).close();
    EXPECT_EQ(hex(readGzipFile(path.str())), hex(emptyFile()));
    EXPECT_NE(readFile(path.str()).size(), emptyFile().size());
}

TEST(HppErrors, FailuresThrowTheCodeAndMessageAndTheFileGoesOn) {
    TempPath path;
    kvg::File f(path.str(), kPlain);
    f.beginLayer("a");
    struct Case {
        const char *what;
        void (*call)(kvg::File &);
        int code;
        const char *message;
    };
    const Case cases[] = {
        {"edge", [](kvg::File &g) { g.edge(0); }, KVG_ERR_PARAM, "Invalid edge identifier"},
        {"face", [](kvg::File &g) { g.face(0); }, KVG_ERR_PARAM, "Invalid face identifier"},
        {"end", [](kvg::File &g) { g.end(); }, KVG_ERR_CONTEXT,
         "Function is invalid outside primitive definition"},
        {"shape", [](kvg::File &g) { g.stampShape(3, 0, 0); }, KVG_ERR_LIMITS,
         "Invalid shape identifier"},
        {"layer", [](kvg::File &g) { g.beginLayer(""); }, KVG_ERR_PARAM, "String has zero length"},
        {"pixels", [](kvg::File &g) { g.setImage(2, 2, std::vector<KVG_Color>(3)); }, KVG_ERR_PARAM,
         "pixel count differs from width x height"},
        {"palette", [](kvg::File &g) { g.setPalette({}); }, KVG_ERR_PARAM,
         "a palette holds 1 to 256 colours"},
        {"polyline",
         [](kvg::File &g) {
             g.polyline(std::vector<kvg::Point>{{1, 1}});
         },
         KVG_ERR_PARAM, "Insufficient number of points for primitive"},
        {"edge points", [](kvg::File &g) { g.setEdge({}); }, KVG_ERR_PARAM,
         "Insufficient number of points for primitive"},
    };
    for (const Case &c : cases) {
        try {
            c.call(f);
            ADD_FAILURE() << c.what << ": no exception";
        } catch (const kvg::Error &e) {
            EXPECT_EQ(e.code(), c.code) << c.what;
            EXPECT_STREQ(e.what(), c.message) << c.what;
        }
    }
    // Nothing was left open: a primitive can begin, and the file completes.
    const kvg::Point line[] = {{0, 0}, {10, 0}};
    EXPECT_TRUE(f.polyline(line));
    f.close();
}

TEST(HppErrors, NothingOnTheGridIsFalseNotAnError) {
    TempPath path;
    kvg::File f(path.str(), kPlain);
    f.beginLayer("a");
    EXPECT_FALSE(f.line(0, 0, 0.01, 0));
    EXPECT_FALSE(f.box(0, 0, 0.01, 5));
    EXPECT_TRUE(f.box(0, 0, 5, 5));
    f.begin(KVG_BEGIN_POLYLINE, 0, 0);
    EXPECT_FALSE(f.vertex(0.01, 0));
    EXPECT_FALSE(f.end());
    EXPECT_EQ(KVG_getErrorCode(f.native()), KVG_ERR_NONE);
}

TEST(HppErrors, ARefusedFaceEdgeStillEndsTheFaceAndKeepsTheNumbering) {
    TempPath path;
    kvg::File f(path.str(), kPlain);
    const kvg::Point points[] = {{0, 0}, {10, 0}, {10, 10}};
    const int32_t e = f.setEdge(points);
    const int32_t bad[] = {e, 9};
    EXPECT_THROW(f.setFace(bad), kvg::Error);
    const int32_t good[] = {e};
    EXPECT_EQ(f.setFace(good), 1u);
}

TEST(HppErrors, CreateFailureThrows) {
    try {
        kvg::File f("/nonexistent-directory/x.kvg");
        FAIL() << "no exception";
    } catch (const kvg::Error &e) {
        EXPECT_EQ(e.code(), KVG_ERR_SYSTEM);
        EXPECT_STREQ(e.what(),
                     "/nonexistent-directory/x.kvg: Cannot create the file: No such file or "
                     "directory");
    }
    try {
        kvg::File f("x.kvg", {.world = {0, 0, 0, 1}});
        FAIL() << "no exception";
    } catch (const kvg::Error &e) {
        EXPECT_EQ(e.code(), KVG_ERR_PARAM);
        EXPECT_STREQ(e.what(),
                     "x.kvg: Invalid file options: the world window has no width or no height");
    }
}

TEST(HppOwnership, DestructorAndMovesCompleteEachFileOnce) {
    TempPath a, b;
    {
        kvg::File first(a.str(), kPlain);
        kvg::File second(b.str(), kPlain);
        kvg::File moved(std::move(first));
        EXPECT_FALSE(first.isOpen());
        EXPECT_TRUE(moved.isOpen());
        moved = std::move(second);  // completes a
        EXPECT_EQ(hex(readFile(a.str())), hex(emptyFile()));
        EXPECT_THROW(first.close(), kvg::Error);
    }  // completes b
    EXPECT_EQ(hex(readFile(b.str())), hex(emptyFile()));
}

TEST(HppOwnership, CloseTwiceThrowsContext) {
    TempPath path;
    kvg::File f(path.str(), kPlain);
    f.close();
    try {
        f.close();
        FAIL() << "no exception";
    } catch (const kvg::Error &e) {
        EXPECT_EQ(e.code(), KVG_ERR_CONTEXT);
    }
}

// An exception that leaves the scope of a kvg::File abandons the file: an older file of the
// name stays, a new name never appears.
TEST(HppOwnership, UnwindingAbandonsTheFile) {
    TempPath existing, fresh;
    writeFile(existing.str(), {'o', 'l', 'd'});
    try {
        kvg::File replacing(existing.str(), kPlain);
        kvg::File creating(fresh.str(), kPlain);
        replacing.beginLayer("L");
        creating.beginLayer("L");
        throw std::runtime_error("the drawing failed");
    } catch (const std::runtime_error &) {
    }
    EXPECT_EQ(readFile(existing.str()), (Bytes{'o', 'l', 'd'}));
    EXPECT_NE(access(fresh.c_str(), F_OK), 0);
    EXPECT_TRUE(filesBeside(existing.str()).empty());
    EXPECT_TRUE(leftoverTemporaryFiles().empty());
}

// A file made and completed while another exception propagates (in a destructor) is complete:
// only exceptions that began after the object was made abandon it.
struct WritesWhileUnwinding {
    std::string path;
    ~WritesWhileUnwinding() {
        kvg::File f(path, kPlain);
        f.beginLayer("L");
    }
};

TEST(HppOwnership, AFileMadeDuringUnwindingIsCompleted) {
    TempPath path;
    try {
        WritesWhileUnwinding writer{path.str()};
        throw std::runtime_error("unwinding");
    } catch (const std::runtime_error &) {
    }
    expectValidKvg(path.str());
}

// A close that fails (a full device) throws once and leaves the object closed; nothing is
// released twice, which the sanitizer build checks.
TEST(HppOwnership, AFailedCloseThrowsOnceAndReleasesOnce) {
    {
        kvg::File f("/dev/full", kPlain);
        f.beginLayer("L");
        try {
            f.close();
            FAIL() << "no exception";
        } catch (const kvg::Error &e) {
            EXPECT_EQ(e.code(), KVG_ERR_SYSTEM);
            EXPECT_STREQ(e.what(), "I/O error");
        }
        EXPECT_FALSE(f.isOpen());
    }
    {
        kvg::File f("/dev/full", kPlain);
        f.beginLayer("L");
    }  // the destructor's close fails and abandons the file
    EXPECT_TRUE(leftoverTemporaryFiles().empty());
}

// Every fault of the completion (the named file's write, close, flush to disk or rename)
// throws once from close() or is met by the destructor, and the handle is given up once: the
// sanitizer build sees any use after the release.
TEST(HppOwnership, EveryFaultOfTheCompletionReleasesOnce) {
    const Faults faults[] = {{1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 2, 0, 0, 0},
                             {0, 0, 0, 1, 0}, {0, 0, 0, 0, 1}};
    for (const Faults &fault : faults) {
        TempPath path;
        {
            kvg::File f(path.str(), kPlain);
            f.beginLayer("L");
            const FaultGuard armed(fault);
            EXPECT_THROW(f.close(), kvg::Error);
            EXPECT_FALSE(f.isOpen());
        }
        std::optional<kvg::File> f(std::in_place, path.str(), kPlain);
        f->beginLayer("L");
        {
            const FaultGuard armed(fault);
            f.reset();  // the destructor meets the fault and abandons the file
        }
        EXPECT_NE(access(path.c_str(), F_OK), 0);
        EXPECT_TRUE(leftoverTemporaryFiles().empty());
    }
}

TEST(HppOwnership, AbandonLeavesTheNameAsItWas) {
    TempPath path;
    kvg::File f(path.str(), kPlain);
    f.beginLayer("L");
    f.abandon();
    EXPECT_FALSE(f.isOpen());
    EXPECT_NE(access(path.c_str(), F_OK), 0);
}

}  // namespace

// The span methods of the bulk calls write what the per-point methods write.
TEST(HppBulk, SpansWriteWhatThePointsWrite) {
    const kvg::Point walk[] = {{0, 0}, {1, 0}, {1, 0.01}, {2, 3}, {-5, 4}, {-5, 4}, {7, -7}};
    const kvg::Point curve[] = {{0, 0}, {1, 2}, {3, 2}, {4, 0}};
    TempPath by_point, by_span;
    {
        kvg::File f(by_point.str(), kPlain);
        f.beginSetEdge(walk[0].x, walk[0].y);
        for (const kvg::Point &p : std::span(walk).subspan(1)) f.vertexSetEdge(p.x, p.y);
        f.endSetEdge();
        f.beginLayer("a");
        f.begin(KVG_BEGIN_POLYLINE, walk[0].x, walk[0].y);
        for (const kvg::Point &p : std::span(walk).subspan(1)) f.vertex(p.x, p.y);
        f.end();
        f.begin(KVG_BEGIN_CUBIC, curve[0].x, curve[0].y);
        f.cubic(curve[1], curve[2], curve[3]);
        f.end();
        f.close();
    }
    {
        kvg::File f(by_span.str(), kPlain);
        f.beginSetEdge(walk[0].x, walk[0].y);
        f.verticesSetEdge(std::span(walk).subspan(1));
        f.endSetEdge();
        f.beginLayer("a");
        f.begin(KVG_BEGIN_POLYLINE, walk[0].x, walk[0].y);
        f.vertices(std::span(walk).subspan(1));
        f.end();
        EXPECT_TRUE(f.polyline(KVG_BEGIN_CUBIC, curve));
        f.close();
    }
    EXPECT_EQ(kvgtest::readFile(by_span.str()), kvgtest::readFile(by_point.str()));
}
