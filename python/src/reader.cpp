// The reading half of _kvg: KVG files walked record by record through the public reader
// (kvgreader.h), each record's arguments as Python values: positions as (x, y) tuples, point
// lists as (n, 2) numpy arrays, in file coordinates or mapped as the Python layer asks (onto
// the page, or back into the writer's world window).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "bindings.h"
#include "kvgreader.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace {

// How positions and extents reach Python: mapped on each axis as (p - from) * scale + to, the
// identity for file coordinates. Lengths (radii, line weights, font sizes) take the x scale's
// magnitude. Positions inside a shape definition are relative to the shape's origin and map as
// extents do.
class Units {
public:
    struct Axis {
        double from = 0.0, scale = 1.0, to = 0.0;
    };

    void set(Axis x, Axis y) {
        x_ = x;
        y_ = y;
        identity_ = x.from == 0 && x.scale == 1 && x.to == 0 && y.from == 0 && y.scale == 1 &&
                    y.to == 0;
    }
    void enterShape(bool inside) { inShape_ = inside; }

    KVGR_Point map(KVGR_Point p) const {
        if (inShape_) return scaled(p);
        return {(p.x - x_.from) * x_.scale + x_.to, (p.y - y_.from) * y_.scale + y_.to};
    }
    KVGR_Point scaled(KVGR_Point p) const { return {p.x * x_.scale, p.y * y_.scale}; }

    py::tuple position(KVGR_Point p) const { return pair(map(p)); }
    py::tuple extent(KVGR_Point p) const { return pair(scaled(p)); }
    py::array_t<double> positions(const KVGR_Point *points, uint32_t count) const {
        py::array_t<double> out({py::ssize_t(count), py::ssize_t(2)});
        double *xy = out.mutable_data();
        for (uint32_t i = 0; i < count; ++i) {
            const KVGR_Point p = identity_ ? points[i] : map(points[i]);
            xy[2 * i] = p.x;
            xy[2 * i + 1] = p.y;
        }
        return out;
    }
    // Whole file units stay ints; mapped, a length is a float.
    py::object length(uint32_t v) const {
        return identity_ ? py::object(py::int_(v)) : py::object(py::float_(v * std::fabs(x_.scale)));
    }

private:
    static py::tuple pair(KVGR_Point p) { return py::make_tuple(p.x, p.y); }

    Axis x_, y_;
    bool identity_ = true;
    bool inShape_ = false;
};

// What the module itself may spend on a file beside the reader's limits, and how texts reach
// Python.
struct Expansion {
    // Texts as the bytes stored, or as str with every invalid UTF-8 sequence replaced by
    // U+FFFD: names and texts of a stranger's file need not be UTF-8.
    bool textAsBytes = false;
    // Pixels of images expanded into arrays (8 bytes each), counted over the whole file.
    uint64_t pixelBudget = 0;
    uint64_t pixelsExpanded = 0;

    py::object text(KVGR_Text t) const {
        if (textAsBytes) return py::bytes(t.data, t.length);
        PyObject *str = PyUnicode_DecodeUTF8(t.data, static_cast<py::ssize_t>(t.length), "replace");
        if (str == nullptr) throw py::error_already_set();
        return py::reinterpret_steal<py::object>(str);
    }

    // The image defined at `offset` is about to be expanded.
    void expandPixels(uint64_t pixels, uint64_t offset) {
        if (pixels > pixelBudget - pixelsExpanded) {
            raiseLimit("offset " + std::to_string(offset) + ": set-image: " +
                       std::to_string(pixels) + " pixels would expand more than " +
                       std::to_string(pixelBudget) +
                       " pixels of the file into arrays (the limit 'pixels')");
        }
        pixelsExpanded += pixels;
    }
};

py::tuple color(KVGR_Color c) { return py::make_tuple(c.value, c.size); }

template <class T>
py::list list(const T *values, uint32_t count) {
    py::list out;
    for (uint32_t i = 0; i < count; ++i) out.append(values[i]);
    return out;
}

// One str object for every record of a kind: a drawing keeps many records.
py::str interned(const char *name) {
    PyObject *str = PyUnicode_InternFromString(name);
    if (str == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(str);
}

// The arguments of a record, by its kind.
class Arguments {
public:
    Arguments(const KVGR_Reader *reader, const Units &units, Expansion &expansion)
        : reader_(reader), u_(units), x_(expansion) {}

    py::dict of(const KVGR_Record &r) const {
        py::dict a;
        const auto &as = r.as;
        switch (r.code) {
            case KVGR_EXTENSION:
                a["parameter"] = x_.text(as.extension.parameter);
                a["value"] = x_.text(as.extension.value);
                break;
            case KVGR_LAYER:
                a["name"] = x_.text(as.layer.name);
                a["visible"] = bool(as.layer.visible);
                a["detectable"] = bool(as.layer.detectable);
                break;
            case KVGR_OBJECT: a["name"] = x_.text(as.object.name); break;
            case KVGR_POLYLINE:
            case KVGR_DRAW_POLYGON:
            case KVGR_FILL_POLYGON:
                a["points"] = u_.positions(as.figure.points, as.figure.count);
                break;
            case KVGR_DRAW_CUBIC_BEZIER:
            case KVGR_FILL_CUBIC_BEZIER:
                a["points"] = u_.positions(as.cubic.points, as.cubic.count);
                a["segments"] = as.cubic.segments;
                break;
            case KVGR_DRAW_ARC:
            case KVGR_FILL_ARC:
                a["centre"] = u_.position(as.arc.centre);
                a["half_size"] = u_.extent(as.arc.half_size);
                a["start"] = as.arc.start.degrees;
                a["end"] = as.arc.end.degrees;
                break;
            case KVGR_TEXT:
                a["anchor"] = u_.position(as.text.anchor);
                a["text"] = x_.text(as.text.text);
                break;
            case KVGR_SHAPE:
                a["shape"] = as.shape.shape;
                a["centre"] = u_.position(as.shape.centre);
                a["rotation"] = as.shape.rotation.degrees;
                a["half_size"] = u_.extent(as.shape.half_size);
                break;
            case KVGR_IMAGE:
            case KVGR_FULL_IMAGE:
                a["image"] = as.image.image;
                a["source_min"] = py::make_tuple(as.image.source_min.x, as.image.source_min.y);
                a["source_max"] = py::make_tuple(as.image.source_max.x, as.image.source_max.y);
                a["corner"] = u_.position(as.image.corner);
                a["size"] = u_.extent(as.image.size);
                break;
            case KVGR_MARK: a["at"] = u_.position(as.mark.at); break;
            case KVGR_LINE:
                a["start"] = u_.position(as.line.start);
                a["end"] = u_.position(as.line.end);
                break;
            case KVGR_DRAW_BOX:
            case KVGR_FILL_BOX:
                a["corner"] = u_.position(as.box.corner);
                a["size"] = u_.extent(as.box.size);
                break;
            case KVGR_DRAW_CIRCLE:
            case KVGR_FILL_CIRCLE:
                a["centre"] = u_.position(as.circle.centre);
                a["radius"] = u_.length(as.circle.radius);
                break;
            case KVGR_DRAW_ELLIPSE:
            case KVGR_FILL_ELLIPSE:
                a["centre"] = u_.position(as.ellipse.centre);
                a["half_size"] = u_.extent(as.ellipse.half_size);
                break;
            case KVGR_STAMP_SHAPE:
            case KVGR_REPEAT_SHAPE:
                a["shape"] = as.stamp.shape;
                a["at"] = u_.position(as.stamp.at);
                break;
            case KVGR_SET_EDGE: edge(as.edge, a); break;
            case KVGR_SET_FACE:
                a["edges"] = list(as.face.edges, as.face.edge_count);
                a["holes"] = list(as.face.holes, as.face.hole_count);
                break;
            case KVGR_DRAW_EDGE: a["edge"] = as.edge_use.edge; break;
            case KVGR_DRAW_EDGE_RANGE:
                a["first"] = as.edge_range.first;
                a["last"] = as.edge_range.last;
                break;
            case KVGR_FILL_FACE: a["face"] = as.face_use.face; break;
            case KVGR_COLOR_SIZE: a["size"] = as.size.size; break;
            case KVGR_BLEND_MODE:
            case KVGR_IMAGE_STRETCH_MODE: a["value"] = as.byte.value; break;
            case KVGR_LINE_COLOR:
            case KVGR_MARK_COLOR:
            case KVGR_FILL_COLOR:
            case KVGR_TEXT_COLOR: a["color"] = color(as.color.color); break;
            case KVGR_LINE_DASHES: a["pattern"] = as.dashes.pattern; break;
            case KVGR_LINE_STYLE:
                a["joint"] = as.line_style.joint;
                a["begin"] = as.line_style.begin;
                a["end"] = as.line_style.end;
                a["weight"] = u_.length(as.line_style.weight);
                break;
            case KVGR_MARK_STYLE:
                a["type"] = as.mark_style.type;
                a["size"] = as.mark_style.size;
                break;
            case KVGR_GRADIENT_FILL:
                a["p0"] = u_.position(as.gradient.p0);
                a["c0"] = color(as.gradient.c0);
                a["p1"] = u_.position(as.gradient.p1);
                a["c1"] = color(as.gradient.c1);
                break;
            case KVGR_TEXTURE_FILL:
            case KVGR_STRETCHED_TEXTURE_FILL:
                a["corner"] = u_.position(as.texture.corner);
                a["size"] = u_.extent(as.texture.size);
                a["image"] = as.texture.image;
                break;
            case KVGR_FONT:
                a["typeface"] = as.font.typeface;
                a["style"] = as.font.style;
                a["size"] = u_.length(as.font.size);
                break;
            case KVGR_TEXT_ALIGNMENT:
                a["alignment"] = as.alignment.alignment;
                a["direction"] = as.alignment.direction.degrees;
                break;
            case KVGR_PALETTE: {
                py::list colors;
                for (uint32_t i = 0; i < as.palette.count; ++i)
                    colors.append(color(as.palette.colors[i]));
                a["colors"] = colors;
                break;
            }
            case KVGR_SET_IMAGE: image(r, a); break;
            case KVGR_BEGIN_SET_SHAPE: a["corner"] = u_.extent(as.shape_begin.corner); break;
            default:
                if (r.code >= KVGR_POINT_SIZE_16 && r.code <= KVGR_REL_POINT_SIZE_128)
                    a["size"] = as.size.size;
                break;  // END_SET_SHAPE has no arguments
        }
        return a;
    }

private:
    void edge(const KVGR_EdgeDefinition &e, py::dict &a) const {
        a["points"] = u_.positions(e.points, e.count);
        py::list segments;
        for (uint32_t i = 0; i < e.segments; ++i)
            segments.append(py::make_tuple(e.segment_sizes[i], e.segment_counts[i]));
        a["segments"] = segments;
    }

    // The pixels as stored (rows from the bottom up) and as 8-bit RGBA, and the palette the
    // index sizes look up.
    void image(const KVGR_Record &r, py::dict &a) const {
        KVGR_Image image;
        KVGR_getImage(reader_, static_cast<uint32_t>(r.definition), &image);
        x_.expandPixels(uint64_t{image.width} * image.height, r.offset);
        const py::ssize_t h = image.height, w = image.width;
        py::array_t<uint32_t> values({h, w});
        py::array_t<uint8_t> rgba({h, w, py::ssize_t(4)});
        for (py::ssize_t row = 0; row < h; ++row) {
            KVGR_getImagePixels(reader_, static_cast<uint32_t>(r.definition),
                                static_cast<uint32_t>(row), values.mutable_data(row));
            KVGR_getImageRGBA(reader_, static_cast<uint32_t>(r.definition),
                              static_cast<uint32_t>(row), rgba.mutable_data(row));
        }
        a["width"] = image.width;
        a["height"] = image.height;
        a["color_size"] = image.color_size;
        a["pixels"] = values;
        a["rgba"] = rgba;
        py::object palette = py::none();
        if (image.palette != nullptr) {
            py::list entries;
            for (uint32_t i = 0; i < image.palette->length; ++i)
                entries.append(color({image.palette->colors[i], image.palette->color_size}));
            palette = entries;
        }
        a["palette"] = palette;
    }

    const KVGR_Reader *reader_;
    const Units &u_;
    Expansion &x_;
};

constexpr const char *LIMIT_NAMES[KVGR_LIMIT_COUNT] = {"content_bytes", "points", "image_pixels",
                                                       "memory", "depth"};

// One input, read once from start to end.
class Reader {
public:
    // `limits`: the reader's, by name; `pixels`: the budget of pixels expanded.
    Reader(const std::string &path, const py::dict &limits, uint64_t pixels, bool textAsBytes)
        : reader_(KVGR_new()), expansion_{textAsBytes, pixels} {
        if (reader_ == nullptr) raiseReaderError(KVGR_ERR_MEMORY, 0, "", "out of memory");
        for (const auto &[name, value] : limits) setLimit(py::str(name), value.cast<uint64_t>());
        if (KVGR_openFile(reader_.get(), cString(path)) != 0) fail();
    }

    // Positions from now on mapped per axis as (p - from) * scale + to.
    void map(double x_from, double x_scale, double x_to, double y_from, double y_scale,
             double y_to) {
        units_.set({x_from, x_scale, x_to}, {y_from, y_scale, y_to});
    }

    py::dict header() const {
        const KVGR_Header &h = *KVGR_getHeader(reader_.get());
        const KVGR_PageMapping page = KVGR_pageMapping(&h);
        return py::dict("size_mm"_a = py::make_tuple(h.size_mm.x, h.size_mm.y),
                        "window"_a = py::make_tuple(h.window_min.x, h.window_max.x,
                                                    h.window_min.y, h.window_max.y),
                        "grid"_a = py::make_tuple(h.resolution.x, h.resolution.y),
                        "background"_a = h.background, "point_size"_a = h.point_size,
                        "rel_point_size"_a = h.rel_point_size,
                        "compressed"_a = bool(KVGR_isCompressed(reader_.get())),
                        "page_scale"_a = page.scale,
                        "page_from"_a = py::make_tuple(page.file_centre.x, page.file_centre.y),
                        "page_to"_a = py::make_tuple(page.page_centre.x, page.page_centre.y));
    }

    // (code, name, section, shape, definition, offset, arguments) of the next record, or None
    // at the end of the file.
    py::object next() {
        const KVGR_Record *r = nullptr;
        const int status = KVGR_next(reader_.get(), &r);
        if (status < 0) fail();
        if (status == 0) return py::none();
        units_.enterShape(r->shape >= 0);
        const py::object shape = r->shape >= 0 ? py::object(py::int_(r->shape)) : py::none();
        const py::object definition =
            r->definition >= 0 ? py::object(py::int_(r->definition)) : py::none();
        return py::make_tuple(r->code, interned(KVGR_recordName(r->code)),
                              interned(r->section == KVGR_SECTION_LAYERS ? "layers" : "definitions"),
                              shape, definition, r->offset,
                              Arguments(reader_.get(), units_, expansion_).of(*r));
    }

private:
    void setLimit(const std::string &name, uint64_t value) {
        for (int i = 0; i < KVGR_LIMIT_COUNT; ++i)
            if (name == LIMIT_NAMES[i]) {
                KVGR_setLimit(reader_.get(), static_cast<KVGR_LIMIT>(i), value);
                return;
            }
        raiseParam("unknown limit '" + name + "'");
    }
    [[noreturn]] void fail() const {
        const KVGR_Reader *r = reader_.get();
        raiseReaderError(KVGR_getErrorCode(r), KVGR_getErrorOffset(r), KVGR_getErrorReason(r),
                         KVGR_getErrorMessage(r));
    }

    struct Delete {
        void operator()(KVGR_Reader *reader) const { KVGR_delete(reader); }
    };
    // Released by the destructor, and when the constructor fails after making it.
    std::unique_ptr<KVGR_Reader, Delete> reader_;
    Units units_;
    Expansion expansion_;
};

}  // namespace

void bindReader(py::module_ &m) {
    py::class_<Reader>(m, "Reader")
        .def(py::init<const std::string &, const py::dict &, uint64_t, bool>(), "path"_a,
             "limits"_a, "pixels"_a, "text_as_bytes"_a)
        .def("map", &Reader::map, "x_from"_a, "x_scale"_a, "x_to"_a, "y_from"_a, "y_scale"_a,
             "y_to"_a)
        .def("header", &Reader::header)
        .def("next", &Reader::next);
}
