// kvgwriter.hpp: a small header-only C++20 interface over the C interface of kvgwriter.h.
//
// kvg::File owns one writer handle: it creates the file, is movable but not copyable, and when
// it goes out of scope it completes the file, unless an exception is propagating through that
// scope (std::uncaught_exceptions), in which case it abandons the file: the drawing is
// unfinished, so the file's name keeps what it held before. Call close() to complete the file
// and see a failure there; the destructor cannot report one (the file is then abandoned too).
// Every method is named after the drawing call it makes; a call that fails throws kvg::Error
// with the library's code and message, and the file stays usable. Drawing calls return false
// when the figure came to nothing on the file grid (nothing was written) and true otherwise.
//
//     kvg::File f("map.kvg", {.world = {-180, 180, -90, 90}});
//     f.beginLayer("coast");
//     const kvg::Point coast[] = {{-10, 40}, {0, 45}, {10, 42}};
//     f.polyline(coast);
//     f.close();
#ifndef KVGWRITER_HPP
#define KVGWRITER_HPP

// One clear message instead of a page of errors about std::span: the C++ interface needs
// C++20 (the CMake target kvgwriter::kvgwriter asks for it); kvgwriter.h serves C and older C++.
#if !defined(__cplusplus) || __cplusplus < 202002L
#error "kvgwriter.hpp needs C++20 (-std=c++20); include kvgwriter.h for C or older C++"
#else

#include <cstdint>
#include <exception>
#include <memory>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>

#include "kvgwriter.h"

namespace kvg {

// A failure reported by the library: its KVG_ERROR_CODE and its message.
class Error : public std::runtime_error {
public:
    Error(int code, const std::string &message) : std::runtime_error(message), code_(code) {}
    int code() const noexcept { return code_; }

private:
    int code_;
};

struct Point {
    double x;
    double y;
};

struct Window {
    double xmin, xmax, ymin, ymax;
};

// The options of a new file; the defaults are the library's.
struct Options {
    Window world{-100.0, 100.0, -100.0, 100.0};
    double width_mm = 100.0;
    double height_mm = 100.0;
    int32_t width_res = 4096;
    int32_t height_res = 4096;
    bool quantize = true;             // round positions onto the grid
    KVG_Color background = 0xFFFFFF;  // 0xRRGGBB
    bool compress = true;             // gzip stream
    bool sync = true;                 // on the disk before the file takes its name
};

// A zero-terminated string argument: a C string or a std::string.
class CString {
public:
    CString(const char *text) : text_(text) {}
    CString(const std::string &text) : text_(text.c_str()) {}
    const char *c_str() const noexcept { return text_; }

private:
    const char *text_;
};

class File {
public:
    explicit File(const CString &path, const Options &options = {}) {
        struct OptionsDeleter {
            void operator()(KVG_FileOptions *opt) const { KVG_deleteFileOptions(opt); }
        };
        const std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(KVG_newFileOptions());
        if (!opt) throw std::bad_alloc();
        const Window &w = options.world;
        KVG_setWorldFileOption(opt.get(), w.xmin, w.xmax, w.ymin, w.ymax);
        KVG_setDimensionsFileOption(opt.get(), options.width_mm, options.height_mm);
        KVG_setResolutionFileOption(opt.get(), options.width_res, options.height_res);
        KVG_setQuantizationFileOption(opt.get(), options.quantize);
        KVG_setBackgroundFileOption(opt.get(), options.background);
        KVG_setCompressionFileOption(opt.get(), options.compress);
        KVG_setSyncFileOption(opt.get(), options.sync);
        KVG_CreateError error;
        fl_ = KVG_createWithError(path.c_str(), opt.get(), &error);
        if (fl_ == nullptr) {
            throw Error(error.code, path.c_str() + std::string(": ") + error.description);
        }
    }

    File(File &&other) noexcept : fl_(std::exchange(other.fl_, nullptr)) {}
    File &operator=(File &&other) noexcept {
        if (this != &other) {
            finish();
            fl_ = std::exchange(other.fl_, nullptr);
        }
        return *this;
    }
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    // Completes the file, or abandons it while an exception that began after this object's
    // construction propagates.
    ~File() { finish(); }

    // Completes the file. Throws when it cannot be completed: the file is then abandoned (its
    // name keeps what it held). Either way the object is closed afterwards.
    void close() {
        if (fl_ == nullptr) throw Error(KVG_ERR_CONTEXT, "file already closed");
        KVG_File *fl = std::exchange(fl_, nullptr);
        if (KVG_close(fl) == 0) return;
        const Error error = errorOf(fl);
        KVG_abandon(fl);
        throw error;
    }
    // Gives the file up unfinished: its name keeps what it held before. The object is closed.
    void abandon() noexcept { KVG_abandon(std::exchange(fl_, nullptr)); }
    bool isOpen() const noexcept { return fl_ != nullptr; }
    // The C handle, for calls this interface does not wrap (the getters).
    KVG_File *native() const noexcept { return fl_; }

    // ---- Layers, objects and primitives
    void extension(const CString &parameter, const CString &value) {
        check(KVG_extension(fl_, parameter.c_str(), value.c_str()));
    }
    void beginLayer(const CString &name, bool visible = true, bool detectable = true) {
        check(KVG_beginLayer(fl_, name.c_str(), visible, detectable));
    }
    void beginObject(const CString &name) { check(KVG_beginObject(fl_, name.c_str())); }
    void endObject() { check(KVG_endObject(fl_)); }
    void begin(KVG_BEGIN_TYPE type, double x, double y) { check(KVG_begin(fl_, type, x, y)); }
    bool vertex(double x, double y) { return drawn(KVG_vertex(fl_, x, y)); }
    bool cubic(Point ctrl1, Point ctrl2, Point end) {
        return drawn(KVG_cubic(fl_, ctrl1.x, ctrl1.y, ctrl2.x, ctrl2.y, end.x, end.y));
    }
    bool end() { return drawn(KVG_end(fl_)); }
    // Many vertices of the open polyline or polygon at once.
    void vertices(std::span<const Point> points) {
        check(KVG_vertices(fl_, points.size(), coordinates(points)));
    }
    // A whole primitive from its points (for KVG_BEGIN_CUBIC: the start, then three points per
    // segment); a polyline needs at least 2 points, a polygon 3.
    bool polyline(KVG_BEGIN_TYPE type, std::span<const Point> points) {
        return drawn(KVG_polyline(fl_, type, points.size(), coordinates(points)));
    }
    bool polyline(std::span<const Point> points) { return polyline(KVG_BEGIN_POLYLINE, points); }
    bool polygon(std::span<const Point> points) { return polyline(KVG_BEGIN_POLYGON, points); }
    bool arc(double x, double y, double w, double h, double start, double end) {
        return drawn(KVG_arc(fl_, x, y, w, h, start, end));
    }
    void text(double x, double y, const CString &label) {
        check(KVG_text(fl_, x, y, label.c_str()));
    }

    // ---- Marks, lines, boxes, circles and ellipses
    void mark(double x, double y) { check(KVG_mark(fl_, x, y)); }
    bool line(double x1, double y1, double x2, double y2) {
        return drawn(KVG_line(fl_, x1, y1, x2, y2));
    }
    bool box(double x, double y, double w, double h) { return drawn(KVG_box(fl_, x, y, w, h)); }
    bool circle(double x, double y, double radius) { return drawn(KVG_circle(fl_, x, y, radius)); }
    bool ellipse(double x, double y, double w, double h) {
        return drawn(KVG_ellipse(fl_, x, y, w, h));
    }

    // ---- Shapes and images
    uint32_t beginSetShape(double w, double h) {
        uint32_t id = 0;
        check(KVG_beginSetShape(fl_, w, h, &id));
        return id;
    }
    void endSetShape() { check(KVG_endSetShape(fl_)); }
    bool shape(uint32_t id, double x, double y, double rotation, double w, double h) {
        return drawn(KVG_shape(fl_, id, x, y, rotation, w, h));
    }
    void stampShape(uint32_t id, double x, double y) { check(KVG_stampShape(fl_, id, x, y)); }
    // `pixels` holds w x h colours, row after row, in the current colour size.
    uint32_t setImage(uint16_t w, uint16_t h, std::span<const KVG_Color> pixels) {
        if (pixels.size() != size_t{w} * h)
            throw Error(KVG_ERR_PARAM, "pixel count differs from width x height");
        uint32_t id = 0;
        check(KVG_setImage(fl_, w, h, pixels.data(), &id));
        return id;
    }
    bool image(uint32_t id, double x, double y, double w, double h) {
        return drawn(KVG_image(fl_, id, x, y, w, h));
    }
    bool subImage(uint32_t id, uint16_t sub_x, uint16_t sub_y, uint16_t sub_w, uint16_t sub_h,
                  double x, double y, double w, double h) {
        return drawn(KVG_subImage(fl_, id, sub_x, sub_y, sub_w, sub_h, x, y, w, h));
    }

    // ---- Edges and faces
    int32_t beginSetEdge(double x, double y) {
        int32_t id = 0;
        check(KVG_beginSetEdge(fl_, &id, x, y));
        return id;
    }
    bool vertexSetEdge(double x, double y) { return drawn(KVG_vertexSetEdge(fl_, x, y)); }
    bool endSetEdge() { return drawn(KVG_endSetEdge(fl_)); }
    void verticesSetEdge(std::span<const Point> points) {
        check(KVG_verticesSetEdge(fl_, points.size(), coordinates(points)));
    }
    // Defines a whole edge (at least one point) and returns its identifier.
    int32_t setEdge(std::span<const Point> points) {
        int32_t id = 0;
        check(KVG_setEdge(fl_, &id, points.size(), coordinates(points)));
        return id;
    }
    void edge(int32_t id) { check(KVG_edge(fl_, id)); }
    void edgeRange(int16_t first, int16_t last) { check(KVG_edgeRange(fl_, first, last)); }
    uint32_t beginSetFace() {
        uint32_t id = 0;
        check(KVG_beginSetFace(fl_, &id));
        return id;
    }
    void edgeSetFace(int32_t edge_id, bool reversed) {
        check(KVG_edgeSetFace(fl_, edge_id, reversed));
    }
    void holeSetFace(uint32_t face_id) { check(KVG_holeSetFace(fl_, face_id)); }
    void endSetFace() { check(KVG_endSetFace(fl_)); }
    // Defines a whole face: its boundary edges (a negative identifier takes the edge backwards)
    // and its holes. A refused edge or hole still ends the face, so that it keeps its
    // identifier, and then throws.
    uint32_t setFace(std::span<const int32_t> edges, std::span<const uint32_t> holes = {}) {
        const uint32_t id = beginSetFace();
        int rc = 0;
        for (size_t i = 0; rc == 0 && i < edges.size(); ++i)
            rc = KVG_edgeSetFace(fl_, edges[i] < 0 ? -edges[i] : edges[i], edges[i] < 0);
        for (size_t i = 0; rc == 0 && i < holes.size(); ++i) rc = KVG_holeSetFace(fl_, holes[i]);
        if (rc != 0) {
            const Error error = lastError();
            KVG_endSetFace(fl_);
            throw error;
        }
        endSetFace();
        return id;
    }
    void face(uint32_t id) { check(KVG_face(fl_, id)); }

    // ---- Graphic attributes
    void setColorSize(KVG_COLOR_MODE mode) { check(KVG_setColorSize(fl_, mode)); }
    void setBlendMode(KVG_BLEND_MODE mode) { check(KVG_setBlendMode(fl_, mode)); }
    void setLineColor(KVG_Color color) { check(KVG_setLineColor(fl_, color)); }
    void setLineDashes(uint16_t pattern) { check(KVG_setLineDashes(fl_, pattern)); }
    void setLineStyle(KVG_JOINT_STYLE joint, KVG_LINE_DECORATION_STYLE begin,
                      KVG_LINE_DECORATION_STYLE end, uint8_t weight) {
        check(KVG_setLineStyle(fl_, joint, begin, end, weight));
    }
    void setMarkColor(KVG_Color color) { check(KVG_setMarkColor(fl_, color)); }
    void setMarkStyle(KVG_MARK_TYPE type, uint32_t size) {
        check(KVG_setMarkStyle(fl_, type, size));
    }
    // Returns the previous setting.
    bool setFill(bool enabled) { return KVG_setFill(fl_, enabled) != 0; }
    void setFillColor(KVG_Color color) { check(KVG_setFillColor(fl_, color)); }
    void setGradientFill(Point p1, KVG_Color c1, Point p2, KVG_Color c2) {
        check(KVG_setGradientFill(fl_, p1.x, p1.y, c1, p2.x, p2.y, c2));
    }
    void setTextureFill(double x, double y, uint32_t image_id) {
        check(KVG_setTextureFill(fl_, x, y, image_id));
    }
    void setStretchedTextureFill(double x, double y, double w, double h, uint32_t image_id) {
        check(KVG_setStretchedTextureFill(fl_, x, y, w, h, image_id));
    }
    void setImageStretchMode(KVG_STRETCH_TYPE mode) { check(KVG_setImageStretchMode(fl_, mode)); }
    void setTextColor(KVG_Color color) { check(KVG_setTextColor(fl_, color)); }
    void setFont(KVG_FONT_TYPEFACE typeface, KVG_FONT_STYLE style, uint32_t size) {
        check(KVG_setFont(fl_, typeface, style, size));
    }
    void setTextAlignment(KVG_TEXT_ALIGNMENT alignment, double direction) {
        check(KVG_setTextAlignment(fl_, alignment, direction));
    }
    // 1 to 256 colours (or palette indexes in an index colour size).
    void setPalette(std::span<const KVG_Color> colors) {
        if (colors.empty() || colors.size() > 256)
            throw Error(KVG_ERR_PARAM, "a palette holds 1 to 256 colours");
        check(KVG_setPalette(fl_, static_cast<int>(colors.size()), colors.data()));
    }

private:
    static Error errorOf(KVG_File *fl) {
        const char *message = KVG_getErrorDescription(fl);
        return Error(KVG_getErrorCode(fl), message != nullptr ? message : "unknown failure");
    }
    Error lastError() const { return errorOf(fl_); }
    void check(int rc) const {
        if (rc == -1) throw lastError();
    }
    bool drawn(int rc) const {
        check(rc);
        return rc == 0;
    }
    // Points as the interleaved coordinates the bulk calls take.
    static const double *coordinates(std::span<const Point> points) {
        static_assert(sizeof(Point) == 2 * sizeof(double));
        return points.empty() ? nullptr : &points.front().x;
    }
    // Completes the file, or abandons it during stack unwinding or when it cannot be completed.
    void finish() noexcept {
        KVG_File *fl = std::exchange(fl_, nullptr);
        if (fl == nullptr) return;
        if (std::uncaught_exceptions() > exceptions_ || KVG_close(fl) != 0) KVG_abandon(fl);
    }

    KVG_File *fl_ = nullptr;
    // Exceptions propagating when the object was made: more at its end mean unwinding.
    int exceptions_ = std::uncaught_exceptions();
};

}  // namespace kvg

#endif  // C++20
#endif  // KVGWRITER_HPP
