// Fuzz target: its input becomes options, an optional I/O fault and a sequence of calls over
// the whole drawing interface, in any state and order, with any values the contract allows
// (enumerations are kept in range and pointers are never null where the contract forbids it;
// everything else is fair game). After the sequence the file is closed and read back with the
// strict reader.
//
// What must hold, besides the absence of crashes, sanitizer reports and leaks:
// - every result is 0, -1 or -2; a -1 leaves a message and an error code in the handle, a 0 or
//   -2 leaves the error context as it was, and without an injected fault no call reports
//   KVG_ERR_SYSTEM;
// - a close that succeeds leaves a file the reader accepts, holding exactly the records of the
//   calls that succeeded (counted per kind of record, see Ledger);
// - a close that fails reports "I/O error", a second close gives the handle up with -1, and no
//   temporary file of this process survives either way.
//
// The totals (calls, faults, files validated) are printed when the process exits. With
// KVG_FUZZ_TRACE set in the environment every call's result and error code is printed, in the
// order of the calls, to follow a finding.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <concepts>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "decoder.h"
#include "kernels.h"
#include "kvgwriter.h"
#include "xio_fault.h"

namespace {

using kvgfuzz::FuzzInput;

[[noreturn]] void fail(const char *what, const char *detail = "") {
    std::fprintf(stderr, "kvg_fuzz: %s %s\n", what, detail);
    std::abort();
}

#define FUZZ_CHECK(condition, detail)                           \
    do {                                                        \
        if (!(condition)) fail("check failed: " #condition, detail); \
    } while (0)

// ---- Totals, printed at exit ----

struct Totals {
    unsigned long long calls = 0;
    unsigned long long sequences = 0;
    unsigned long long faults_armed = 0;
    unsigned long long faults_reported = 0;
    unsigned long long files_validated = 0;
    unsigned long long records_validated = 0;
    unsigned long long files_compared = 0;  // per-point against bulk calls
};
Totals totals;

const bool trace = std::getenv("KVG_FUZZ_TRACE") != nullptr;

void printTotals() {
    std::fprintf(stderr,
                 "kvg_fuzz totals: %llu sequences, %llu calls, %llu with an I/O fault armed, "
                 "%llu I/O faults reported, %llu files validated (%llu records), %llu files "
                 "of bulk calls the same as of per-point calls\n",
                 totals.sequences, totals.calls, totals.faults_armed, totals.faults_reported,
                 totals.files_validated, totals.records_validated, totals.files_compared);
}

// ---- What a file must hold: records counted per kind ----

// Kinds of record whose number follows from the results of the calls. Draw and fill variants
// are one kind (the fill switch decides), and so are circles and ellipses (a radius off the
// grid makes a circle an ellipse). Size records, palettes (an image may bring its own) and the
// end of a shape (the reader checks the balance) are not counted.
enum Kind {
    K_EXTENSION, K_LAYER, K_OBJECT, K_PRIMITIVE, K_ARC, K_TEXT, K_SHAPE_USE, K_IMAGE_PART,
    K_MARK, K_LINE, K_BOX, K_ROUND, K_STAMP, K_FULL_IMAGE, K_SET_EDGE, K_SET_FACE, K_DRAW_EDGE,
    K_EDGE_RANGE, K_FILL_FACE, K_SET_IMAGE, K_BEGIN_SHAPE, K_BLEND, K_LINE_COLOR, K_DASHES,
    K_LINE_STYLE, K_MARK_COLOR, K_MARK_STYLE, K_FILL_COLOR, K_GRADIENT, K_TEXTURE,
    K_STRETCHED_TEXTURE, K_STRETCH_MODE, K_TEXT_COLOR, K_FONT, K_ALIGNMENT, K_COUNT, K_UNCOUNTED
};

Kind kindOf(uint8_t code) {
    using namespace kvgfmt;
    switch (code) {
        case EXTENSION: return K_EXTENSION;
        case LAYER: return K_LAYER;
        case OBJECT: return K_OBJECT;
        case POLYLINE: case DRAW_POLYGON: case FILL_POLYGON: case DRAW_CUBIC_BEZIER:
        case FILL_CUBIC_BEZIER: return K_PRIMITIVE;
        case DRAW_ARC: case FILL_ARC: return K_ARC;
        case TEXT: return K_TEXT;
        case SHAPE: return K_SHAPE_USE;
        case IMAGE: return K_IMAGE_PART;
        case MARK: return K_MARK;
        case LINE: return K_LINE;
        case DRAW_BOX: case FILL_BOX: return K_BOX;
        case DRAW_CIRCLE: case FILL_CIRCLE: case DRAW_ELLIPSE: case FILL_ELLIPSE: return K_ROUND;
        case STAMP_SHAPE: case REPEAT_SHAPE: return K_STAMP;
        case FULL_IMAGE: return K_FULL_IMAGE;
        case SET_EDGE: return K_SET_EDGE;
        case SET_FACE: return K_SET_FACE;
        case DRAW_EDGE: return K_DRAW_EDGE;
        case DRAW_EDGE_RANGE: return K_EDGE_RANGE;
        case FILL_FACE: return K_FILL_FACE;
        case SET_IMAGE: return K_SET_IMAGE;
        case BEGIN_SET_SHAPE: return K_BEGIN_SHAPE;
        case BLEND_MODE: return K_BLEND;
        case LINE_COLOR: return K_LINE_COLOR;
        case LINE_DASHES: return K_DASHES;
        case LINE_STYLE: return K_LINE_STYLE;
        case MARK_COLOR: return K_MARK_COLOR;
        case MARK_STYLE: return K_MARK_STYLE;
        case FILL_COLOR: return K_FILL_COLOR;
        case GRADIENT_FILL: return K_GRADIENT;
        case TEXTURE_FILL: return K_TEXTURE;
        case STRETCHED_TEXTURE_FILL: return K_STRETCHED_TEXTURE;
        case IMAGE_STRETCH_MODE: return K_STRETCH_MODE;
        case TEXT_COLOR: return K_TEXT_COLOR;
        case FONT: return K_FONT;
        case TEXT_ALIGNMENT: return K_ALIGNMENT;
        default: return K_UNCOUNTED;
    }
}

using Ledger = std::array<long, K_COUNT>;

// ---- One run: a handle, its input and what it should have written ----

struct Run {
    FuzzInput in;
    KVG_File *fl = nullptr;
    Ledger expected{};
    // Definitions open at the close, which writes them.
    bool edge_open = false;
    bool face_open = false;
    bool faults = false;
    bool fault_reported = false;
    bool valid = false;  // closed and read back whole
    std::string path;
    // Point lists go through the bulk calls in this run, through the per-point calls in the
    // run it is compared with.
    bool bulk = false;
    // No per-point call of a point list was refused: only then do the two runs write the same
    // file (the bulk call takes none of its points where the per-point calls take some).
    bool comparable = true;

    // The result of a per-point call that stands for part of a bulk call.
    void pointResult(int rc) {
        if (rc == -1) comparable = false;
    }

    // Checks a call's result against the error context as it was before the call, and counts
    // the record that a successful call writes.
    void result(int rc, int code_before, const char *description_before, Kind kind) {
        ++totals.calls;
        const int code = KVG_getErrorCode(fl);
        const char *description = KVG_getErrorDescription(fl);
        if (trace) std::fprintf(stderr, " -> %d (error %d: %s)\n", rc, code, description);
        if (rc == 0 || rc == -2) {
            FUZZ_CHECK(code == code_before && description == description_before,
                       "a call that did not fail changed the error context");
            if (rc == 0 && kind != K_UNCOUNTED) ++expected[kind];
            return;
        }
        FUZZ_CHECK(rc == -1, "a result other than 0, -1 or -2");
        FUZZ_CHECK(description != nullptr, "a failure without a message");
        FUZZ_CHECK(code >= KVG_ERR_SYSTEM && code <= KVG_ERR_INTERNAL, description);
        if (code == KVG_ERR_SYSTEM) {
            FUZZ_CHECK(faults, "an I/O error with no fault injected");
            fault_reported = true;
        }
    }
};

void traceArgument(double v) { std::fprintf(stderr, " %.17g", v); }
template <std::integral Int>
void traceArgument(Int v) {
    std::fprintf(stderr, " %lld", static_cast<long long>(v));
}
void traceArgument(const char *text) {
    std::fprintf(stderr, text != nullptr ? " \"%s\"" : " null", text);
}
template <typename T>
void traceArgument(T *) {  // an array or a place for a result
    std::fprintf(stderr, " &");
}

// Calls `fn` on the run's handle with `args`, checks the result against the error context and
// counts the record that a successful call writes, one of `kind`.
template <typename... Params, typename... Args>
int call(Run &r, Kind kind, const char *name, int (*fn)(KVG_File *, Params...), Args... args) {
    if (trace) {
        std::fprintf(stderr, "%s", name);
        (traceArgument(args), ...);
    }
    const int code_before = KVG_getErrorCode(r.fl);
    const char *description_before = KVG_getErrorDescription(r.fl);
    const int rc = fn(r.fl, args...);
    r.result(rc, code_before, description_before, kind);
    return rc;
}

#define CALL(r, kind, fn, ...) call(r, kind, #fn, fn __VA_OPT__(, ) __VA_ARGS__)

const char *optionalString(std::string &storage, bool present) {
    return present ? storage.c_str() : nullptr;
}

// A fraction for the colour encoders, whose contract is 0 to 1.
double fraction(FuzzInput &in) {
    const double v = in.coordinate();
    return v >= 0.0 && v <= 1.0 ? v : in.byte() / 255.0;
}

// Colours in the shapes a palette or image is likely to take: indexes, one value, or any.
std::vector<KVG_Color> colors(FuzzInput &in, size_t n) {
    std::vector<KVG_Color> out(std::max<size_t>(n, 1));
    const uint8_t style = in.byte() % 4;
    const KVG_Color same = in.color();
    for (KVG_Color &c : out) {
        switch (style) {
            case 0: c = in.byte() % 2; break;
            case 1: c = in.byte(); break;
            case 2: c = same; break;
            default: c = in.color(); break;
        }
    }
    return out;
}

// ---- The calls ----

void extension(Run &r) {
    std::string parameter, value;
    const bool has_parameter = r.in.string(parameter);
    const bool has_value = r.in.string(value);
    CALL(r, K_EXTENSION, KVG_extension, optionalString(parameter, has_parameter),
         optionalString(value, has_value));
}

void beginLayer(Run &r) {
    std::string name;
    const bool has_name = r.in.string(name);
    const uint8_t vis = r.in.byte() % 3, detect = r.in.byte() % 3;  // 2 is not a truth value
    CALL(r, K_LAYER, KVG_beginLayer, optionalString(name, has_name), vis, detect);
}

void beginObject(Run &r) {
    std::string name;
    const bool has_name = r.in.string(name);
    CALL(r, K_OBJECT, KVG_beginObject, optionalString(name, has_name));
}

void endObject(Run &r) { CALL(r, K_OBJECT, KVG_endObject); }

// One value beyond the types on each side: refused with a message.
int beginType(FuzzInput &in) { return in.inRange(KVG_BEGIN_POLYLINE - 1, KVG_BEGIN_CUBIC + 1); }

void begin(Run &r) {
    const int type = beginType(r.in);
    const double x = r.in.coordinate(), y = r.in.coordinate();
    CALL(r, K_UNCOUNTED, KVG_begin, type, x, y);
}

void vertex(Run &r) {
    const double x = r.in.coordinate(), y = r.in.coordinate();
    CALL(r, K_UNCOUNTED, KVG_vertex, x, y);
}

void cubic(Run &r) {
    double v[6];
    for (double &c : v) c = r.in.coordinate();
    CALL(r, K_UNCOUNTED, KVG_cubic, v[0], v[1], v[2], v[3], v[4], v[5]);
}

void end(Run &r) { CALL(r, K_PRIMITIVE, KVG_end); }

// A walk of many small steps: the cheap way to long point lists. `step` is called with each
// point.
template <typename Step>
void walk(Run &r, int steps, double x, double y, Step step) {
    const double scale = r.in.coordinate() / 64;
    for (int i = 0; i < steps; ++i) {
        x += static_cast<int8_t>(r.in.byte()) * scale;
        y += static_cast<int8_t>(r.in.byte()) * scale;
        step(x, y);
    }
}

void arc(Run &r) {
    double v[6];
    for (double &c : v) c = r.in.coordinate();
    CALL(r, K_ARC, KVG_arc, v[0], v[1], v[2], v[3], v[4], v[5]);
}

void text(Run &r) {
    const double x = r.in.coordinate(), y = r.in.coordinate();
    std::string content;
    const bool has_text = r.in.string(content);
    // An empty text succeeds and writes nothing.
    const Kind kind = has_text && content.empty() ? K_UNCOUNTED : K_TEXT;
    CALL(r, kind, KVG_text, x, y, optionalString(content, has_text));
}

void beginSetShape(Run &r) {
    const double w = r.in.coordinate(), h = r.in.coordinate();
    uint32_t id = 0;
    CALL(r, K_BEGIN_SHAPE, KVG_beginSetShape, w, h, &id);
}

void endSetShape(Run &r) { CALL(r, K_UNCOUNTED, KVG_endSetShape); }

void shape(Run &r) {
    const uint32_t id = r.in.identifier();
    double v[5];
    for (double &c : v) c = r.in.coordinate();
    CALL(r, K_SHAPE_USE, KVG_shape, id, v[0], v[1], v[2], v[3], v[4]);
}

void stampShape(Run &r) {
    const uint32_t id = r.in.identifier();
    const double x = r.in.coordinate(), y = r.in.coordinate();
    CALL(r, K_STAMP, KVG_stampShape, id, x, y);
}

void setImage(Run &r) {
    // Mostly small images; now and then an empty one or one of a few thousand pixels.
    const uint8_t scale = r.in.byte() % 8 == 0 ? 16 : 1;
    const auto w = static_cast<uint16_t>(r.in.byte() % 17 * scale);
    const auto h = static_cast<uint16_t>(r.in.byte() % 17 * scale);
    const std::vector<KVG_Color> pixels = colors(r.in, size_t{w} * h);
    uint32_t id = 0;
    CALL(r, K_SET_IMAGE, KVG_setImage, w, h, pixels.data(), &id);
}

void image(Run &r) {
    const uint32_t id = r.in.identifier();
    double v[4];
    for (double &c : v) c = r.in.coordinate();
    CALL(r, K_FULL_IMAGE, KVG_image, id, v[0], v[1], v[2], v[3]);
}

void subImage(Run &r) {
    const uint32_t id = r.in.identifier();
    uint16_t sub[4];
    for (uint16_t &s : sub) s = r.in.byte() % 4 == 0 ? r.in.integer<uint16_t>() : r.in.byte() % 20;
    double v[4];
    for (double &c : v) c = r.in.coordinate();
    CALL(r, K_IMAGE_PART, KVG_subImage, id, sub[0], sub[1], sub[2], sub[3], v[0], v[1], v[2],
         v[3]);
}

void mark(Run &r) {
    const double x = r.in.coordinate(), y = r.in.coordinate();
    CALL(r, K_MARK, KVG_mark, x, y);
}

void line(Run &r) {
    double v[4];
    for (double &c : v) c = r.in.coordinate();
    CALL(r, K_LINE, KVG_line, v[0], v[1], v[2], v[3]);
}

void box(Run &r) {
    double v[4];
    for (double &c : v) c = r.in.coordinate();
    CALL(r, K_BOX, KVG_box, v[0], v[1], v[2], v[3]);
}

void circle(Run &r) {
    double v[3];
    for (double &c : v) c = r.in.coordinate();
    CALL(r, K_ROUND, KVG_circle, v[0], v[1], v[2]);
}

void ellipse(Run &r) {
    double v[4];
    for (double &c : v) c = r.in.coordinate();
    CALL(r, K_ROUND, KVG_ellipse, v[0], v[1], v[2], v[3]);
}

int beginSetEdge(Run &r, double x, double y) {
    int32_t id = 0;
    const int rc = CALL(r, K_UNCOUNTED, KVG_beginSetEdge, &id, x, y);
    if (rc == 0) r.edge_open = true;
    return rc;
}

void beginSetEdge(Run &r) {
    const double x = r.in.coordinate(), y = r.in.coordinate();
    beginSetEdge(r, x, y);
}

void vertexSetEdge(Run &r) {
    const double x = r.in.coordinate(), y = r.in.coordinate();
    CALL(r, K_UNCOUNTED, KVG_vertexSetEdge, x, y);
}

// An edge that kept no vertex is still written (as its start point) and reports -2.
int endEdge(Run &r) {
    const int rc = CALL(r, K_SET_EDGE, KVG_endSetEdge);
    if (rc == -2) ++r.expected[K_SET_EDGE];
    if (rc != -1) r.edge_open = false;
    return rc;
}

void endSetEdge(Run &r) { endEdge(r); }

// ---- Point lists through the bulk calls, or one call per point in the run compared ----

// A walk of `steps` points from (x, y), read from the input, after `first` (x, y pairs).
std::vector<double> walkPoints(Run &r, int steps, double x, double y,
                               std::vector<double> first = {}) {
    walk(r, steps, x, y, [&first](double px, double py) { first.insert(first.end(), {px, py}); });
    return first;
}

// Vertices of the open primitive or edge: with one bulk call, or one call each.
template <auto bulk_call, auto per_point_call>
void verticesOf(Run &r, const char *bulk_name, const char *per_point_name) {
    const double x = r.in.coordinate(), y = r.in.coordinate();
    const std::vector<double> xy = walkPoints(r, r.in.byte(), x, y);
    if (r.bulk) {
        call(r, K_UNCOUNTED, bulk_name, bulk_call, xy.size() / 2, xy.data());
        return;
    }
    for (size_t i = 0; i < xy.size(); i += 2) {
        r.pointResult(call(r, K_UNCOUNTED, per_point_name, per_point_call, xy[i], xy[i + 1]));
    }
}

void vertices(Run &r) { verticesOf<KVG_vertices, KVG_vertex>(r, "KVG_vertices", "KVG_vertex"); }

void verticesSetEdge(Run &r) {
    verticesOf<KVG_verticesSetEdge, KVG_vertexSetEdge>(r, "KVG_verticesSetEdge",
                                                      "KVG_vertexSetEdge");
}

// A whole primitive: its start, then a walk (for a cubic, each step the end of a segment
// whose control points are beside it).
void primitiveWalk(Run &r) {
    const int type = beginType(r.in);
    const double x = r.in.coordinate(), y = r.in.coordinate();
    const bool cubic = type == KVG_BEGIN_CUBIC;
    std::vector<double> xy = {x, y};
    walk(r, 3 * (1 + r.in.byte()), x, y, [&xy, cubic](double px, double py) {
        if (cubic) {
            xy.insert(xy.end(), {px, py, px + 1, py, px + 1, py + 1});
        } else {
            xy.insert(xy.end(), {px, py});
        }
    });
    if (r.bulk) {
        CALL(r, K_PRIMITIVE, KVG_polyline, type, xy.size() / 2, xy.data());
        return;
    }
    r.pointResult(CALL(r, K_UNCOUNTED, KVG_begin, type, x, y));
    for (size_t i = 2; i < xy.size(); i += cubic ? 6 : 2) {
        r.pointResult(cubic ? CALL(r, K_UNCOUNTED, KVG_cubic, xy[i], xy[i + 1], xy[i + 2],
                                   xy[i + 3], xy[i + 4], xy[i + 5])
                            : CALL(r, K_UNCOUNTED, KVG_vertex, xy[i], xy[i + 1]));
    }
    r.pointResult(CALL(r, K_PRIMITIVE, KVG_end));
}

void edgeWalk(Run &r) {
    const double x = r.in.coordinate(), y = r.in.coordinate();
    const std::vector<double> xy = walkPoints(r, 1 + r.in.byte(), x, y, {x, y});
    if (r.bulk) {
        int32_t id = 0;
        // An edge that kept no vertex is still written (as its start point) and reports -2.
        if (CALL(r, K_SET_EDGE, KVG_setEdge, &id, xy.size() / 2, xy.data()) == -2) {
            ++r.expected[K_SET_EDGE];
        }
        return;
    }
    r.pointResult(beginSetEdge(r, x, y));
    for (size_t i = 2; i < xy.size(); i += 2) {
        r.pointResult(CALL(r, K_UNCOUNTED, KVG_vertexSetEdge, xy[i], xy[i + 1]));
    }
    r.pointResult(endEdge(r));
}

void edge(Run &r) { CALL(r, K_DRAW_EDGE, KVG_edge, static_cast<int32_t>(r.in.identifier())); }

void edgeRange(Run &r) {
    const auto e1 = static_cast<int16_t>(r.in.identifier());
    const auto e2 = static_cast<int16_t>(r.in.identifier());
    CALL(r, K_EDGE_RANGE, KVG_edgeRange, e1, e2);
}

void beginSetFace(Run &r) {
    uint32_t id = 0;
    if (CALL(r, K_UNCOUNTED, KVG_beginSetFace, &id) == 0) r.face_open = true;
}

void edgeSetFace(Run &r) {
    const auto id = static_cast<int32_t>(r.in.identifier());
    const int reversed = r.in.byte();
    CALL(r, K_UNCOUNTED, KVG_edgeSetFace, id, reversed);
}

void holeSetFace(Run &r) { CALL(r, K_UNCOUNTED, KVG_holeSetFace, r.in.identifier()); }

void endSetFace(Run &r) {
    if (CALL(r, K_SET_FACE, KVG_endSetFace) == 0) r.face_open = false;
}

void face(Run &r) { CALL(r, K_FILL_FACE, KVG_face, r.in.identifier()); }

// ---- Attributes ----

void setColorSize(Run &r) {
    CALL(r, K_UNCOUNTED, KVG_setColorSize, r.in.inRange(KVG_COLOR_INDEX1, KVG_COLOR_RGBA));
}

void setBlendMode(Run &r) {
    CALL(r, K_BLEND, KVG_setBlendMode, r.in.inRange(KVG_BLEND_CLEAR, KVG_BLEND_DEST_HELD_SOURCE));
}

// The four attribute colours share one shape of call.
template <int (*Set)(KVG_File *, KVG_Color), Kind kind>
void setColor(Run &r) {
    call(r, kind, "colour setter", Set, r.in.color());
}

void setLineDashes(Run &r) { CALL(r, K_DASHES, KVG_setLineDashes, r.in.integer<int32_t>()); }

void setLineStyle(Run &r) {
    const int joint = r.in.inRange(KVG_JOINT_DEFAULT, KVG_JOINT_BEVEL);
    const int begin_style = r.in.inRange(KVG_NO_ARROW, KVG_OVAL_ARROW);
    const int end_style = r.in.inRange(KVG_NO_ARROW, KVG_OVAL_ARROW);
    const int weight = r.in.integer<int32_t>();
    CALL(r, K_LINE_STYLE, KVG_setLineStyle, joint, begin_style, end_style, weight);
}

// Mostly small sizes, sometimes any.
uint32_t size(FuzzInput &in) { return in.byte() % 2 ? in.byte() : in.integer<uint32_t>(); }

void setMarkStyle(Run &r) {
    const int type = r.in.inRange(KVG_MARK_PLUS, KVG_MARK_HOLLOW_DIAMOND);
    CALL(r, K_MARK_STYLE, KVG_setMarkStyle, type, size(r.in));
}

void setFill(Run &r) {
    const int enabled = r.in.byte() % 3;
    ++totals.calls;
    const int previous = KVG_getFill(r.fl);
    FUZZ_CHECK(KVG_setFill(r.fl, enabled) == previous, "setFill returns the previous switch");
}

void setGradientFill(Run &r) {
    const double x1 = r.in.coordinate(), y1 = r.in.coordinate();
    const KVG_Color c1 = r.in.color();
    const double x2 = r.in.coordinate(), y2 = r.in.coordinate();
    const KVG_Color c2 = r.in.color();
    CALL(r, K_GRADIENT, KVG_setGradientFill, x1, y1, c1, x2, y2, c2);
}

void setTextureFill(Run &r) {
    const double x = r.in.coordinate(), y = r.in.coordinate();
    CALL(r, K_TEXTURE, KVG_setTextureFill, x, y, r.in.identifier());
}

void setStretchedTextureFill(Run &r) {
    double v[4];
    for (double &c : v) c = r.in.coordinate();
    CALL(r, K_STRETCHED_TEXTURE, KVG_setStretchedTextureFill, v[0], v[1], v[2], v[3],
         r.in.identifier());
}

void setImageStretchMode(Run &r) {
    CALL(r, K_STRETCH_MODE, KVG_setImageStretchMode,
         r.in.inRange(KVG_STRETCH_NEAREST, KVG_STRETCH_BILINEAR));
}

void setFont(Run &r) {
    const int typeface = r.in.inRange(KVG_FONT_DEFAULT, KVG_FONT_SANS_SERIF);
    const int style = r.in.inRange(KVG_FONT_PLAIN, KVG_FONT_BOLD_ITALIC);
    CALL(r, K_FONT, KVG_setFont, typeface, style, size(r.in));
}

void setTextAlignment(Run &r) {
    const int alignment = r.in.inRange(KVG_TEXT_NORTH, KVG_TEXT_BASERIGHT);
    CALL(r, K_ALIGNMENT, KVG_setTextAlignment, alignment, r.in.coordinate());
}

void setPalette(Run &r) {
    const int n = 1 + r.in.byte() % 256;
    const std::vector<KVG_Color> entries = colors(r.in, static_cast<size_t>(n));
    CALL(r, K_UNCOUNTED, KVG_setPalette, n, entries.data());
}

// The getters read the stream's mirror back: every value must be one a record could carry.
void getters(Run &r) {
    KVG_File *fl = r.fl;
    totals.calls += 14;
    FUZZ_CHECK(KVG_getColorSize(fl) <= KVG_COLOR_RGBA, "");
    FUZZ_CHECK(KVG_getBlendMode(fl) <= KVG_BLEND_DEST_HELD_SOURCE, "");
    FUZZ_CHECK(KVG_getImageStretchMode(fl) <= KVG_STRETCH_BILINEAR, "");
    FUZZ_CHECK(KVG_getFill(fl) == 0 || KVG_getFill(fl) == 1, "");
    KVG_Color color;
    uint8_t color_size;
    for (auto get : {KVG_getLineColor, KVG_getMarkColor, KVG_getFillColor, KVG_getTextColor}) {
        get(fl, &color, &color_size);
        FUZZ_CHECK(color_size > KVG_COLOR_INDEX8 && color_size <= KVG_COLOR_RGBA,
                   "a mirrored colour is direct");
    }
    KVG_getLineDashes(fl);
    int joint, begin_style, end_style, type;
    uint8_t weight, typeface, style, alignment;
    uint32_t size, id;
    KVG_getLineStyle(fl, &joint, &begin_style, &end_style, &weight);
    FUZZ_CHECK(joint <= KVG_JOINT_BEVEL && begin_style <= KVG_OVAL_ARROW &&
                   end_style <= KVG_OVAL_ARROW, "");
    KVG_getMarkStyle(fl, &type, &size);
    FUZZ_CHECK(type >= KVG_MARK_PLUS && type <= KVG_MARK_HOLLOW_DIAMOND, "");
    KVG_getFont(fl, &typeface, &style, &size);
    FUZZ_CHECK(typeface <= KVG_FONT_SANS_SERIF && style <= KVG_FONT_BOLD_ITALIC, "");
    double x, y, w, h;
    KVG_getTextAlignment(fl, &alignment, &x);
    FUZZ_CHECK(alignment <= KVG_TEXT_BASERIGHT, "");
    KVG_Color c1, c2;
    KVG_getGradientFill(fl, &x, &y, &c1, &w, &h, &c2, &color_size);
    KVG_getTextureFill(fl, &x, &y, &id);
    KVG_getStretchedTextureFill(fl, &x, &y, &w, &h, &id);
    int ncolors;
    KVG_Color palette[256];
    KVG_getPalette(fl, &ncolors, palette, &color_size);
    FUZZ_CHECK(ncolors >= 1 && ncolors <= 256, "");
    FUZZ_CHECK(color_size > KVG_COLOR_INDEX8 && color_size <= KVG_COLOR_RGBA,
               "a palette holds direct colours");
}

// The colour encoders are pure: what goes in comes back out of the decoders.
void colorRoundTrips(Run &r) {
    FuzzInput &in = r.in;
    totals.calls += 12;
    const uint8_t red = in.byte(), green = in.byte(), blue = in.byte();
    const double alpha = fraction(in), gray = fraction(in);
    uint8_t r2, g2, b2;
    double a2, gray2;
    FUZZ_CHECK(KVG_decodeRGBColor(KVG_encodeRGBColor(red, green, blue), &r2, &g2, &b2) == 0 &&
                   r2 == red && g2 == green && b2 == blue, "RGB");
    FUZZ_CHECK(KVG_decodeRGBAColor(KVG_encodeRGBAColor(red, green, blue, alpha), &r2, &g2, &b2,
                                   &a2) == 0 && r2 == red && g2 == green && b2 == blue &&
                   std::fabs(a2 - alpha) <= 1.0 / 255, "RGBA");
    FUZZ_CHECK(KVG_decodeGAColor(KVG_encodeGAColor(gray, alpha), &gray2, &a2) == 0 &&
                   std::fabs(gray2 - gray) <= 1.0 / 65535 &&
                   std::fabs(a2 - alpha) <= 1.0 / 65535, "GA");
    FUZZ_CHECK(KVG_decodeG8Color(KVG_encodeG8Color(gray), &gray2) == 0 &&
                   std::fabs(gray2 - gray) <= 1.0 / 255, "G8");
    FUZZ_CHECK(KVG_decodeG12Color(KVG_encodeG12Color(gray), &gray2) == 0 &&
                   std::fabs(gray2 - gray) <= 1.0 / 4095, "G12");
    FUZZ_CHECK(KVG_decodeG16Color(KVG_encodeG16Color(gray), &gray2) == 0 &&
                   std::fabs(gray2 - gray) <= 1.0 / 65535, "G16");
}

using Action = void (*)(Run &);

constexpr Action kActions[] = {
    extension, beginLayer, beginObject, endObject, begin, vertex, vertices, vertex, cubic, end,
    primitiveWalk, arc, text, beginSetShape, endSetShape, shape, stampShape, setImage, image,
    subImage, mark, line, box, circle, ellipse, beginSetEdge, vertexSetEdge, verticesSetEdge,
    endSetEdge, edgeWalk, edge, edgeRange, beginSetFace, edgeSetFace, holeSetFace, endSetFace,
    face, setColorSize, setBlendMode, setColor<KVG_setLineColor, K_LINE_COLOR>, setLineDashes,
    setLineStyle, setColor<KVG_setMarkColor, K_MARK_COLOR>, setMarkStyle, setFill,
    setColor<KVG_setFillColor, K_FILL_COLOR>, setGradientFill, setTextureFill,
    setStretchedTextureFill, setImageStretchMode, setColor<KVG_setTextColor, K_TEXT_COLOR>,
    setFont, setTextAlignment, setPalette, getters, colorRoundTrips,
};

// ---- Options and faults ----

int32_t resolution(FuzzInput &in) {
    switch (in.byte() % 4) {
        case 0: return in.integer<int16_t>();  // zero and negative ones too
        case 1: return 1 + in.byte();
        case 2: return 4095 + in.byte() % 3;
        default: return in.integer<int32_t>();
    }
}

// Options from the input, or null for the defaults.
KVG_FileOptions *options(FuzzInput &in, uint8_t flags) {
    if ((flags & 1) == 0) return nullptr;
    KVG_FileOptions *opt = KVG_newFileOptions();
    FUZZ_CHECK(opt != nullptr, "");
    if (flags & 2) {
        const double x0 = in.coordinate(), x1 = in.coordinate();
        const double y0 = in.coordinate(), y1 = in.coordinate();
        KVG_setWorldFileOption(opt, x0, x1, y0, y1);
    }
    if (flags & 4) {
        const double w = in.coordinate(), h = in.coordinate();
        KVG_setDimensionsFileOption(opt, w, h);
    }
    if (flags & 8) {
        const int32_t w = resolution(in), h = resolution(in);
        KVG_setResolutionFileOption(opt, w, h);
    }
    KVG_setQuantizationFileOption(opt, (flags & 16) == 0);
    if (flags & 32) KVG_setBackgroundFileOption(opt, in.color());
    KVG_setCompressionFileOption(opt, flags & 64);
    return opt;
}

// Arms one fault: the n-th write, close or open from now on fails.
void armFault(FuzzInput &in) {
    const long at = 1 + in.byte() % 64;
    switch (in.byte() % 3) {
        case 0: XIO_setFaultInjection(at, 0, 0); break;
        case 1: XIO_setFaultInjection(0, 1 + at % 3, 0); break;
        default: XIO_setFaultInjection(0, 0, 1 + at % 3); break;
    }
}

// ---- After the sequence ----

std::string temporaryPrefix() { return "kvg-" + std::to_string(getpid()) + "-"; }

void checkNoTemporaryFile() {
    const std::string prefix = temporaryPrefix();
    DIR *dir = opendir(P_tmpdir);
    FUZZ_CHECK(dir != nullptr, P_tmpdir);
    while (const dirent *entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0) {
            closedir(dir);
            fail("a temporary file stayed behind:", entry->d_name);
        }
    }
    closedir(dir);
}

// Reads the closed file back: it must be valid and hold what the calls wrote.
void validate(Run &r) {
    std::string error;
    const std::optional<kvgr::impl::LoadedFile> file = kvgr::impl::loadFile(r.path, error);
    FUZZ_CHECK(file.has_value(), error.c_str());
    kvgr::impl::Decoder decoder(file->bytes);
    kvgr::impl::Record record;
    Ledger found{};
    while (decoder.next(record)) {
        const Kind kind = kindOf(record.code);
        if (kind != K_UNCOUNTED) ++found[kind];
        ++totals.records_validated;
    }
    if (decoder.error()) fail("the reader refuses the file:", decoder.error()->message().c_str());
    Ledger expected = r.expected;
    expected[K_SET_EDGE] += r.edge_open;
    expected[K_SET_FACE] += r.face_open;
    for (int k = 0; k < K_COUNT; ++k) {
        if (found[k] != expected[k]) {
            std::fprintf(stderr, "kind %d: %ld records, %ld expected\n", k, found[k],
                         expected[k]);
            fail("the file does not hold the records of the calls that succeeded");
        }
    }
    ++totals.files_validated;
    r.valid = true;
}

void closeAndCheck(Run &r) {
    const int closed = KVG_close(r.fl);
    if (closed != 0) {
        FUZZ_CHECK(closed == -1, "");
        FUZZ_CHECK(r.faults, "a close failed with no fault injected");
        FUZZ_CHECK(KVG_getErrorCode(r.fl) == KVG_ERR_SYSTEM, "");
        FUZZ_CHECK(std::strcmp(KVG_getErrorDescription(r.fl), "I/O error") == 0, "");
        FUZZ_CHECK(KVG_close(r.fl) == -1, "a second close gives the handle up with -1");
        r.fault_reported = true;
    } else {
        // Without a report the fault did not strike (or struck nothing that mattered): the file
        // must be whole.
        validate(r);
    }
    checkNoTemporaryFile();
}

// With KVG_FUZZ_KEEP naming a directory, every file read back whole is kept there, named after
// a hash of its input, so that other readers can be compared with this one on the same files.
void keep(const Run &r, const uint8_t *data, size_t size) {
    static const char *const dir = std::getenv("KVG_FUZZ_KEEP");
    if (dir == nullptr || !r.valid) return;
    uint64_t hash = 14695981039346656037u;  // FNV-1a
    for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211u;
    char name[32];
    std::snprintf(name, sizeof name, "/fuzz-%016llx.kvg", static_cast<unsigned long long>(hash));
    std::error_code failure;
    std::filesystem::copy_file(r.path, dir + std::string(name),
                               std::filesystem::copy_options::overwrite_existing, failure);
    FUZZ_CHECK(!failure, dir);
}

// Runs the input's sequence once, point lists through the bulk calls or not; returns the bytes
// of the file when it was completed without an injected fault and can be compared.
std::optional<kvgr::impl::Bytes> runSequence(const uint8_t *data, size_t size, bool bulk,
                                       const std::string &path) {
    Run r{FuzzInput(data, size)};
    r.path = path;
    r.bulk = bulk;
    ++totals.sequences;
    const uint8_t flags = r.in.byte();
    KVG_FileOptions *opt = options(r.in, flags);
    r.faults = (flags & 128) != 0;
    if (r.faults) {
        armFault(r.in);
        ++totals.faults_armed;
    }
    r.fl = KVG_create(path.c_str(), opt);
    KVG_deleteFileOptions(opt);
    if (r.fl != nullptr) {
        while (!r.in.empty()) {
            const uint8_t action = r.in.byte() % std::size(kActions);
            kActions[action](r);
        }
        closeAndCheck(r);
    } else {
        checkNoTemporaryFile();
    }
    if (r.fault_reported) ++totals.faults_reported;
    XIO_setFaultInjection(0, 0, 0);
    if (!bulk) keep(r, data, size);
    std::optional<kvgr::impl::Bytes> bytes;
    if (r.valid && !r.faults && r.comparable) {
        std::string error;
        const std::optional<kvgr::impl::LoadedFile> file = kvgr::impl::loadFile(path, error);
        FUZZ_CHECK(file.has_value(), error.c_str());
        bytes = file->bytes;
    }
    std::remove(path.c_str());
    return bytes;
}

}  // namespace

// The sequence twice: point lists through the per-point calls, then through the bulk calls
// (with the portable form of the vector kernels for inputs of odd length); the two files must
// be the same, byte for byte, wherever no per-point call of a point list was refused.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool registered = std::atexit(printTotals) == 0;
    (void)registered;
    static const std::string path = "/tmp/kvg-fuzz-" + std::to_string(getpid()) + ".kvg";

    const std::optional<kvgr::impl::Bytes> per_point = runSequence(data, size, false, path);
    KVGK_forcePortableKernels(static_cast<int>(size % 2));
    const std::optional<kvgr::impl::Bytes> bulk = runSequence(data, size, true, path);
    KVGK_forcePortableKernels(0);
    if (per_point && bulk) {
        FUZZ_CHECK(*per_point == *bulk, "the bulk calls wrote another file");
        ++totals.files_compared;
    }
    return 0;
}
