// _kvg: the C interfaces of kvgwriter as Python callables, for the Python layer in kvg/. This
// file binds the writer; reader.cpp the reader.
//
// Everything the C library would take as a broken contract (a closed handle, an enumerated value
// out of range, a palette of the wrong length, a grey level outside 0..1) is refused here with a
// kvg.Error before it reaches the library; a call that fails in the library raises the kvg.Error
// subclass of its code with the library's message. Point arrays are (n, 2) arrays of any numeric
// dtype and layout (or anything numpy turns into one) and reach the library in one call each.
// The GIL stays held: a handle is used by one thread at a time.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <utility>

#include "bindings.h"
#include "kvgwriter.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace {

using Points = py::array_t<double, py::array::c_style | py::array::forcecast>;
using Colors = py::array_t<KVG_Color, py::array::c_style | py::array::forcecast>;

// An enumerated argument: refused unless first <= value <= last.
int enumerated(int value, int last, const char *what, int first = 0) {
    if (value < first || value > last)
        raiseParam(std::string(what) + " " + std::to_string(value) + " is out of range " +
                   std::to_string(first) + ".." + std::to_string(last));
    return value;
}

// A grey level or alpha for the colour encoders.
double fraction(double value, const char *what) {
    if (!(value >= 0.0 && value <= 1.0))
        raiseParam(std::string(what) + " must lie in 0..1");
    return value;
}

// The rows of an (n, 2) array as interleaved x, y.
struct PointSpan {
    const double *xy;
    size_t n;
};

PointSpan pointSpan(const Points &points) {
    if (points.ndim() != 2 || points.shape(1) != 2)
        raiseParam("points must be an (n, 2) array of x, y pairs");
    return {points.data(), static_cast<size_t>(points.shape(0))};
}

// One writer handle. Closed (null) after close() or abandon(); every call then raises.
class Writer {
public:
    Writer(const std::string &path, double xmin, double xmax, double ymin, double ymax,
           double width_mm, double height_mm, int32_t width_res, int32_t height_res, bool quantize,
           KVG_Color background, bool compress) {
        const char *name = cString(path);
        KVG_FileOptions *opt = KVG_newFileOptions();
        if (opt == nullptr) throw std::bad_alloc();
        KVG_setWorldFileOption(opt, xmin, xmax, ymin, ymax);
        KVG_setDimensionsFileOption(opt, width_mm, height_mm);
        KVG_setResolutionFileOption(opt, width_res, height_res);
        KVG_setQuantizationFileOption(opt, quantize);
        KVG_setBackgroundFileOption(opt, background);
        KVG_setCompressionFileOption(opt, compress);
        KVG_CreateError error;
        fl_ = KVG_createWithError(name, opt, &error);
        KVG_deleteFileOptions(opt);
        if (fl_ == nullptr) raise(error.code, "cannot create " + path + ": " + error.description);
    }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;
    // A handle never closed is completed, as a Python file is flushed when it is collected.
    ~Writer() { release(); }

    KVG_File *fl() const {
        if (fl_ == nullptr) raise(KVG_ERR_CONTEXT, "the file is closed");
        return fl_;
    }
    bool isOpen() const { return fl_ != nullptr; }

    // Completes the file; the handle is released whether or not that succeeds (a file that
    // cannot be completed is abandoned: its path keeps what it held).
    void close() {
        KVG_File *fl = this->fl();
        fl_ = nullptr;
        if (KVG_close(fl) == 0) return;
        const int code = KVG_getErrorCode(fl);
        const std::string message = describe(fl);
        KVG_abandon(fl);
        raise(code, message);
    }

    // Releases the handle and removes what it wrote: the path keeps what it held before.
    void abandon() { KVG_abandon(std::exchange(fl_, nullptr)); }

    // 0 and -2 pass (-2: the figure came to nothing, false); -1 raises the recorded failure.
    bool drawn(int rc) const {
        if (rc == -1) raise(KVG_getErrorCode(fl_), describe(fl_));
        return rc == 0;
    }
    void check(int rc) const { drawn(rc); }

private:
    static std::string describe(KVG_File *fl) {
        const char *message = KVG_getErrorDescription(fl);
        return message != nullptr ? message : "unknown failure";
    }
    // Completes the file, or abandons it when it cannot be completed.
    void release() noexcept {
        KVG_File *fl = std::exchange(fl_, nullptr);
        if (fl != nullptr && KVG_close(fl) != 0) KVG_abandon(fl);
    }

    KVG_File *fl_ = nullptr;
};

// ---- Figures of many points, each one call into the library ----

// A whole primitive: begin at the first point, the others as vertices (or, for a cubic chain,
// as control points and end points three at a time), end. No primitive stays open.
bool primitive(Writer &w, int type, const Points &points) {
    const PointSpan p = pointSpan(points);
    return w.drawn(KVG_polyline(w.fl(), type, p.n, p.xy));
}

// Adds the points to the open primitive, or none of them when one is refused.
void vertices(Writer &w, const Points &points) {
    const PointSpan p = pointSpan(points);
    w.check(KVG_vertices(w.fl(), p.n, p.xy));
}

void verticesSetEdge(Writer &w, const Points &points) {
    const PointSpan p = pointSpan(points);
    w.check(KVG_verticesSetEdge(w.fl(), p.n, p.xy));
}

int32_t setEdge(Writer &w, const Points &points) {
    const PointSpan p = pointSpan(points);
    int32_t id = 0;
    w.drawn(KVG_setEdge(w.fl(), &id, p.n, p.xy));
    return id;
}

// A face from signed edge identifiers (negative: taken backwards) and holes. A refused edge or
// hole still ends the face, so that it keeps its identifier, and then raises.
using Identifiers = py::array_t<int64_t, py::array::c_style | py::array::forcecast>;

uint32_t setFace(Writer &w, const Identifiers &edges, const Identifiers &holes) {
    if (edges.ndim() != 1 || holes.ndim() != 1)
        raiseParam("edges and holes must be sequences of identifiers");
    for (py::ssize_t i = 0; i < edges.shape(0); ++i)
        if (edges.at(i) < -INT32_MAX || edges.at(i) > INT32_MAX) raiseParam("Invalid edge identifier");
    for (py::ssize_t i = 0; i < holes.shape(0); ++i)
        if (holes.at(i) < 0 || holes.at(i) > UINT32_MAX) raiseParam("Invalid face identifier");
    KVG_File *fl = w.fl();
    uint32_t id = 0;
    w.check(KVG_beginSetFace(fl, &id));
    int rc = 0;
    for (py::ssize_t i = 0; rc == 0 && i < edges.shape(0); ++i) {
        const auto edge = static_cast<int32_t>(edges.at(i));
        rc = KVG_edgeSetFace(fl, edge < 0 ? -edge : edge, edge < 0);
    }
    for (py::ssize_t i = 0; rc == 0 && i < holes.shape(0); ++i)
        rc = KVG_holeSetFace(fl, static_cast<uint32_t>(holes.at(i)));
    if (rc != 0) {
        const int code = KVG_getErrorCode(fl);
        const std::string message = KVG_getErrorDescription(fl);
        KVG_endSetFace(fl);
        raise(code, message);
    }
    w.check(KVG_endSetFace(fl));
    return id;
}

// The same shape (or a mark) at every point.
template <class Draw>
void atEveryPoint(Writer &w, const Points &points, Draw draw) {
    const PointSpan p = pointSpan(points);
    KVG_File *fl = w.fl();
    for (size_t i = 0; i < p.n; ++i) w.check(draw(fl, p.xy[2 * i], p.xy[2 * i + 1]));
}

// Each point's own shape, in one call: a collection whose members differ in colour or size.
// Stamps of the shape stamped last cost no identifier (the library repeats it).
using ShapeIds = py::array_t<uint32_t, py::array::c_style | py::array::forcecast>;

void stampEach(Writer &w, const ShapeIds &ids, const Points &points) {
    const PointSpan p = pointSpan(points);
    if (ids.ndim() != 1 || static_cast<size_t>(ids.shape(0)) != p.n)
        raiseParam("stamp_each takes one shape identifier per point");
    KVG_File *fl = w.fl();
    const uint32_t *id = ids.data();
    for (size_t i = 0; i < p.n; ++i) w.check(KVG_stampShape(fl, id[i], p.xy[2 * i], p.xy[2 * i + 1]));
}

// ---- Images and palettes ----

uint32_t setImage(Writer &w, const Colors &pixels) {
    if (pixels.ndim() != 2) raiseParam("an image is a 2-D array of colours (rows, columns)");
    const py::ssize_t height = pixels.shape(0), width = pixels.shape(1);
    if (width > 65535 || height > 65535)
        raiseParam("an image has at most 65535 rows and 65535 columns");
    uint32_t id = 0;
    w.check(KVG_setImage(w.fl(), static_cast<uint16_t>(width), static_cast<uint16_t>(height),
                         pixels.data(), &id));
    return id;
}

void setPalette(Writer &w, const Colors &colors) {
    if (colors.ndim() != 1 || colors.shape(0) < 1 || colors.shape(0) > 256)
        raiseParam("a palette holds 1 to 256 colours");
    w.check(KVG_setPalette(w.fl(), static_cast<int>(colors.shape(0)), colors.data()));
}

py::tuple getPalette(Writer &w) {
    KVG_Color colors[256];
    int n = 0;
    uint8_t size = 0;
    KVG_getPalette(w.fl(), &n, colors, &size);
    py::list entries;
    for (int i = 0; i < n; ++i) entries.append(colors[i]);
    return py::make_tuple(entries, size);
}

// A getter of a colour and its colour size.
template <void (*Get)(KVG_File *, KVG_Color *, uint8_t *)>
py::tuple colorGetter(Writer &w) {
    KVG_Color color = 0;
    uint8_t size = 0;
    Get(w.fl(), &color, &size);
    return py::make_tuple(color, size);
}

void bindColorCodecs(py::module_ &m) {
    m.def("encode_rgb", &KVG_encodeRGBColor, "r"_a, "g"_a, "b"_a);
    m.def("encode_rgba", [](uint8_t r, uint8_t g, uint8_t b, double alpha) {
        return KVG_encodeRGBAColor(r, g, b, fraction(alpha, "alpha"));
    }, "r"_a, "g"_a, "b"_a, "alpha"_a);
    m.def("encode_ga", [](double gray, double alpha) {
        return KVG_encodeGAColor(fraction(gray, "gray"), fraction(alpha, "alpha"));
    }, "gray"_a, "alpha"_a);
    m.def("encode_g8", [](double g) { return KVG_encodeG8Color(fraction(g, "gray")); }, "gray"_a);
    m.def("encode_g12", [](double g) { return KVG_encodeG12Color(fraction(g, "gray")); }, "gray"_a);
    m.def("encode_g16", [](double g) { return KVG_encodeG16Color(fraction(g, "gray")); }, "gray"_a);
    // The decoders refuse a value with bits set beyond its mode's field.
    const auto fits = [](int rc, KVG_Color c) {
        if (rc != 0) raiseParam("colour " + std::to_string(c) + " has bits beyond its mode's field");
    };
    m.def("decode_rgb", [fits](KVG_Color c) {
        uint8_t r, g, b;
        fits(KVG_decodeRGBColor(c, &r, &g, &b), c);
        return py::make_tuple(r, g, b);
    }, "color"_a);
    m.def("decode_rgba", [](KVG_Color c) {
        uint8_t r, g, b;
        double alpha;
        KVG_decodeRGBAColor(c, &r, &g, &b, &alpha);
        return py::make_tuple(r, g, b, alpha);
    }, "color"_a);
    m.def("decode_ga", [](KVG_Color c) {
        double gray, alpha;
        KVG_decodeGAColor(c, &gray, &alpha);
        return py::make_tuple(gray, alpha);
    }, "color"_a);
    const auto gray = [fits](int (*decode)(KVG_Color, double *)) {
        return [decode, fits](KVG_Color c) {
            double g;
            fits(decode(c, &g), c);
            return g;
        };
    };
    m.def("decode_g8", gray(&KVG_decodeG8Color), "color"_a);
    m.def("decode_g12", gray(&KVG_decodeG12Color), "color"_a);
    m.def("decode_g16", gray(&KVG_decodeG16Color), "color"_a);
}

void bindFile(py::class_<Writer> &c) {
    c.def(py::init<const std::string &, double, double, double, double, double, double, int32_t,
                   int32_t, bool, KVG_Color, bool>(),
          "path"_a, "xmin"_a, "xmax"_a, "ymin"_a, "ymax"_a, "width_mm"_a, "height_mm"_a,
          "width_res"_a, "height_res"_a, "quantize"_a, "background"_a, "compress"_a);
    c.def("close", &Writer::close);
    c.def("abandon", &Writer::abandon);
    c.def_property_readonly("is_open", &Writer::isOpen);
}

void bindStructure(py::class_<Writer> &c) {
    c.def("extension", [](Writer &w, const std::string &parameter, const std::string &value) {
        w.check(KVG_extension(w.fl(), cString(parameter), cString(value)));
    }, "parameter"_a, "value"_a);
    c.def("begin_layer", [](Writer &w, const std::string &name, bool visible, bool detectable) {
        w.check(KVG_beginLayer(w.fl(), cString(name), visible, detectable));
    }, "name"_a, "visible"_a, "detectable"_a);
    c.def("begin_object", [](Writer &w, const std::string &name) {
        w.check(KVG_beginObject(w.fl(), cString(name)));
    }, "name"_a);
    c.def("end_object", [](Writer &w) { w.check(KVG_endObject(w.fl())); });
}

void bindPrimitives(py::class_<Writer> &c) {
    c.def("begin", [](Writer &w, int type, double x, double y) {
        w.check(KVG_begin(w.fl(), enumerated(type, KVG_BEGIN_CUBIC, "primitive type"), x, y));
    }, "type"_a, "x"_a, "y"_a);
    c.def("vertex", [](Writer &w, double x, double y) { return w.drawn(KVG_vertex(w.fl(), x, y)); },
          "x"_a, "y"_a);
    c.def("cubic", [](Writer &w, double x1, double y1, double x2, double y2, double x, double y) {
        return w.drawn(KVG_cubic(w.fl(), x1, y1, x2, y2, x, y));
    }, "x1"_a, "y1"_a, "x2"_a, "y2"_a, "x"_a, "y"_a);
    c.def("end", [](Writer &w) { return w.drawn(KVG_end(w.fl())); });
    c.def("vertices", &vertices, "points"_a);
    c.def("primitive", [](Writer &w, int type, const Points &points) {
        return primitive(w, enumerated(type, KVG_BEGIN_CUBIC, "primitive type"), points);
    }, "type"_a, "points"_a);
    c.def("arc", [](Writer &w, double x, double y, double width, double height, double start,
                    double end) {
        return w.drawn(KVG_arc(w.fl(), x, y, width, height, start, end));
    }, "x"_a, "y"_a, "width"_a, "height"_a, "start"_a, "end"_a);
    c.def("text", [](Writer &w, double x, double y, const std::string &text) {
        w.check(KVG_text(w.fl(), x, y, cString(text)));
    }, "x"_a, "y"_a, "text"_a);
}

void bindFigures(py::class_<Writer> &c) {
    c.def("mark", [](Writer &w, double x, double y) { w.check(KVG_mark(w.fl(), x, y)); },
          "x"_a, "y"_a);
    c.def("marks", [](Writer &w, const Points &points) { atEveryPoint(w, points, KVG_mark); },
          "points"_a);
    c.def("line", [](Writer &w, double x1, double y1, double x2, double y2) {
        return w.drawn(KVG_line(w.fl(), x1, y1, x2, y2));
    }, "x1"_a, "y1"_a, "x2"_a, "y2"_a);
    c.def("box", [](Writer &w, double x, double y, double width, double height) {
        return w.drawn(KVG_box(w.fl(), x, y, width, height));
    }, "x"_a, "y"_a, "width"_a, "height"_a);
    c.def("circle", [](Writer &w, double x, double y, double radius) {
        return w.drawn(KVG_circle(w.fl(), x, y, radius));
    }, "x"_a, "y"_a, "radius"_a);
    c.def("ellipse", [](Writer &w, double x, double y, double width, double height) {
        return w.drawn(KVG_ellipse(w.fl(), x, y, width, height));
    }, "x"_a, "y"_a, "width"_a, "height"_a);
}

void bindShapesAndImages(py::class_<Writer> &c) {
    c.def("begin_set_shape", [](Writer &w, double width, double height) {
        uint32_t id = 0;
        w.check(KVG_beginSetShape(w.fl(), width, height, &id));
        return id;
    }, "width"_a, "height"_a);
    c.def("end_set_shape", [](Writer &w) { w.check(KVG_endSetShape(w.fl())); });
    c.def("shape", [](Writer &w, uint32_t id, double x, double y, double rotation, double width,
                      double height) {
        return w.drawn(KVG_shape(w.fl(), id, x, y, rotation, width, height));
    }, "id"_a, "x"_a, "y"_a, "rotation"_a, "width"_a, "height"_a);
    c.def("stamp_shape", [](Writer &w, uint32_t id, double x, double y) {
        w.check(KVG_stampShape(w.fl(), id, x, y));
    }, "id"_a, "x"_a, "y"_a);
    c.def("stamp_shapes", [](Writer &w, uint32_t id, const Points &points) {
        atEveryPoint(w, points, [id](KVG_File *fl, double x, double y) {
            return KVG_stampShape(fl, id, x, y);
        });
    }, "id"_a, "points"_a);
    c.def("stamp_each", &stampEach, "ids"_a, "points"_a);
    c.def("set_image", &setImage, "pixels"_a);
    c.def("image", [](Writer &w, uint32_t id, double x, double y, double width, double height) {
        return w.drawn(KVG_image(w.fl(), id, x, y, width, height));
    }, "id"_a, "x"_a, "y"_a, "width"_a, "height"_a);
    c.def("sub_image", [](Writer &w, uint32_t id, uint16_t sub_x, uint16_t sub_y, uint16_t sub_w,
                          uint16_t sub_h, double x, double y, double width, double height) {
        return w.drawn(KVG_subImage(w.fl(), id, sub_x, sub_y, sub_w, sub_h, x, y, width, height));
    }, "id"_a, "sub_x"_a, "sub_y"_a, "sub_width"_a, "sub_height"_a, "x"_a, "y"_a, "width"_a,
       "height"_a);
}

void bindMap(py::class_<Writer> &c) {
    c.def("begin_set_edge", [](Writer &w, double x, double y) {
        int32_t id = 0;
        w.check(KVG_beginSetEdge(w.fl(), &id, x, y));
        return id;
    }, "x"_a, "y"_a);
    c.def("vertex_set_edge", [](Writer &w, double x, double y) {
        return w.drawn(KVG_vertexSetEdge(w.fl(), x, y));
    }, "x"_a, "y"_a);
    c.def("vertices_set_edge", &verticesSetEdge, "points"_a);
    c.def("end_set_edge", [](Writer &w) { return w.drawn(KVG_endSetEdge(w.fl())); });
    c.def("set_edge", &setEdge, "points"_a);
    c.def("edge", [](Writer &w, int32_t id) { w.check(KVG_edge(w.fl(), id)); }, "id"_a);
    c.def("edge_range", [](Writer &w, int16_t first, int16_t last) {
        w.check(KVG_edgeRange(w.fl(), first, last));
    }, "first"_a, "last"_a);
    c.def("begin_set_face", [](Writer &w) {
        uint32_t id = 0;
        w.check(KVG_beginSetFace(w.fl(), &id));
        return id;
    });
    c.def("edge_set_face", [](Writer &w, int32_t id, bool reversed) {
        w.check(KVG_edgeSetFace(w.fl(), id, reversed));
    }, "id"_a, "reversed"_a);
    c.def("hole_set_face", [](Writer &w, uint32_t id) { w.check(KVG_holeSetFace(w.fl(), id)); },
          "id"_a);
    c.def("end_set_face", [](Writer &w) { w.check(KVG_endSetFace(w.fl())); });
    c.def("set_face", &setFace, "edges"_a, "holes"_a);
    c.def("face", [](Writer &w, uint32_t id) { w.check(KVG_face(w.fl(), id)); }, "id"_a);
}

void bindAttributes(py::class_<Writer> &c) {
    c.def("set_color_size", [](Writer &w, int mode) {
        w.check(KVG_setColorSize(w.fl(), enumerated(mode, KVG_COLOR_RGBA, "colour mode")));
    }, "mode"_a);
    c.def("get_color_size", [](Writer &w) { return KVG_getColorSize(w.fl()); });
    c.def("set_blend_mode", [](Writer &w, int mode) {
        w.check(KVG_setBlendMode(w.fl(), enumerated(mode, KVG_BLEND_DEST_HELD_SOURCE, "blend mode")));
    }, "mode"_a);
    c.def("get_blend_mode", [](Writer &w) { return KVG_getBlendMode(w.fl()); });
    c.def("set_line_color", [](Writer &w, KVG_Color color) {
        w.check(KVG_setLineColor(w.fl(), color));
    }, "color"_a);
    c.def("get_line_color", &colorGetter<KVG_getLineColor>);
    c.def("set_line_dashes", [](Writer &w, int pattern) {
        w.check(KVG_setLineDashes(w.fl(), enumerated(pattern, 0xFFFF, "dash pattern")));
    }, "pattern"_a);
    c.def("get_line_dashes", [](Writer &w) { return KVG_getLineDashes(w.fl()); });
    c.def("set_line_style", [](Writer &w, int joint, int begin, int end, int weight) {
        w.check(KVG_setLineStyle(w.fl(), enumerated(joint, KVG_JOINT_BEVEL, "joint style"),
                                 enumerated(begin, KVG_OVAL_ARROW, "line decoration"),
                                 enumerated(end, KVG_OVAL_ARROW, "line decoration"),
                                 enumerated(weight, 255, "line weight")));
    }, "joint"_a, "begin"_a, "end"_a, "weight"_a);
    c.def("get_line_style", [](Writer &w) {
        int joint, begin, end;
        uint8_t weight;
        KVG_getLineStyle(w.fl(), &joint, &begin, &end, &weight);
        return py::make_tuple(joint, begin, end, weight);
    });
    c.def("set_mark_color", [](Writer &w, KVG_Color color) {
        w.check(KVG_setMarkColor(w.fl(), color));
    }, "color"_a);
    c.def("get_mark_color", &colorGetter<KVG_getMarkColor>);
    c.def("set_mark_style", [](Writer &w, int type, uint32_t size) {
        w.check(KVG_setMarkStyle(w.fl(), enumerated(type, KVG_MARK_HOLLOW_DIAMOND, "mark type"),
                                 size));
    }, "type"_a, "size"_a);
    c.def("get_mark_style", [](Writer &w) {
        int type;
        uint32_t size;
        KVG_getMarkStyle(w.fl(), &type, &size);
        return py::make_tuple(type, size);
    });
    c.def("set_fill", [](Writer &w, bool enabled) { return KVG_setFill(w.fl(), enabled) != 0; },
          "enabled"_a);
    c.def("get_fill", [](Writer &w) { return KVG_getFill(w.fl()) != 0; });
    c.def("set_fill_color", [](Writer &w, KVG_Color color) {
        w.check(KVG_setFillColor(w.fl(), color));
    }, "color"_a);
    c.def("get_fill_color", &colorGetter<KVG_getFillColor>);
    c.def("set_gradient_fill", [](Writer &w, double x1, double y1, KVG_Color c1, double x2,
                                  double y2, KVG_Color c2) {
        w.check(KVG_setGradientFill(w.fl(), x1, y1, c1, x2, y2, c2));
    }, "x1"_a, "y1"_a, "color1"_a, "x2"_a, "y2"_a, "color2"_a);
    c.def("get_gradient_fill", [](Writer &w) {
        double x1, y1, x2, y2;
        KVG_Color c1, c2;
        uint8_t size;
        KVG_getGradientFill(w.fl(), &x1, &y1, &c1, &x2, &y2, &c2, &size);
        return py::make_tuple(x1, y1, c1, x2, y2, c2, size);
    });
    c.def("set_texture_fill", [](Writer &w, double x, double y, uint32_t id) {
        w.check(KVG_setTextureFill(w.fl(), x, y, id));
    }, "x"_a, "y"_a, "image"_a);
    c.def("get_texture_fill", [](Writer &w) {
        double x, y;
        uint32_t id;
        KVG_getTextureFill(w.fl(), &x, &y, &id);
        return py::make_tuple(x, y, id);
    });
    c.def("set_stretched_texture_fill", [](Writer &w, double x, double y, double width,
                                           double height, uint32_t id) {
        w.check(KVG_setStretchedTextureFill(w.fl(), x, y, width, height, id));
    }, "x"_a, "y"_a, "width"_a, "height"_a, "image"_a);
    c.def("get_stretched_texture_fill", [](Writer &w) {
        double x, y, width, height;
        uint32_t id;
        KVG_getStretchedTextureFill(w.fl(), &x, &y, &width, &height, &id);
        return py::make_tuple(x, y, width, height, id);
    });
    c.def("set_image_stretch_mode", [](Writer &w, int mode) {
        w.check(KVG_setImageStretchMode(w.fl(), enumerated(mode, KVG_STRETCH_BILINEAR,
                                                           "stretch mode")));
    }, "mode"_a);
    c.def("get_image_stretch_mode", [](Writer &w) { return KVG_getImageStretchMode(w.fl()); });
    c.def("set_text_color", [](Writer &w, KVG_Color color) {
        w.check(KVG_setTextColor(w.fl(), color));
    }, "color"_a);
    c.def("get_text_color", &colorGetter<KVG_getTextColor>);
    c.def("set_font", [](Writer &w, int typeface, int style, uint32_t size) {
        w.check(KVG_setFont(w.fl(), enumerated(typeface, KVG_FONT_SANS_SERIF, "typeface"),
                            enumerated(style, KVG_FONT_BOLD_ITALIC, "font style"), size));
    }, "typeface"_a, "style"_a, "size"_a);
    c.def("get_font", [](Writer &w) {
        uint8_t typeface, style;
        uint32_t size;
        KVG_getFont(w.fl(), &typeface, &style, &size);
        return py::make_tuple(typeface, style, size);
    });
    c.def("set_text_alignment", [](Writer &w, int alignment, double direction) {
        w.check(KVG_setTextAlignment(w.fl(), enumerated(alignment, KVG_TEXT_BASERIGHT,
                                                        "text alignment"),
                                     direction));
    }, "alignment"_a, "direction"_a);
    c.def("get_text_alignment", [](Writer &w) {
        uint8_t alignment;
        double direction;
        KVG_getTextAlignment(w.fl(), &alignment, &direction);
        return py::make_tuple(alignment, direction);
    });
    c.def("set_palette", &setPalette, "colors"_a);
    c.def("get_palette", &getPalette);
}

}  // namespace

PYBIND11_MODULE(_kvg, m) {
    m.doc() = "The C interface of kvgwriter; use the package kvg.";
    bindColorCodecs(m);
    py::class_<Writer> writer(m, "Writer");
    bindFile(writer);
    bindStructure(writer);
    bindPrimitives(writer);
    bindFigures(writer);
    bindShapesAndImages(writer);
    bindMap(writer);
    bindAttributes(writer);
    bindReader(m);
    bindRings(m);
    bindArchive(m);
}
