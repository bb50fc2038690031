// The cairo painter: the picture drawn with cairo (text laid out with pango), for PNG and PDF.
//
// A shape definition's figures are kept and drawn again, transformed, where the shape is
// placed; images are converted once into cairo image surfaces, sampled down when larger than a
// cairo surface may be. Hidden layers draw nothing. On a raster surface a stroke of many points
// is drawn in bands of whole pixel rows, with the pixels of one stroke, so that cairo's memory
// follows the band and not the whole path.
#ifndef KVGRENDER_CAIRO_PAINTER_H
#define KVGRENDER_CAIRO_PAINTER_H

#include <cairo.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "kvgrender.h"

typedef struct _PangoContext PangoContext;

namespace kvgrender {

class CairoPainter final : public Painter {
public:
    // Draws on `cr`, whose transformation maps page millimetres (origin at the top-left
    // corner, y down) onto its surface.
    explicit CairoPainter(cairo_t *cr);
    ~CairoPainter() override;
    CairoPainter(const CairoPainter &) = delete;
    CairoPainter &operator=(const CairoPainter &) = delete;

    void beginPage(const Page &page) override;
    void endPage() override;
    void beginLayer(std::string_view name, bool visible) override;
    void endLayer() override;
    void beginGroup(std::string_view) override {}
    void endGroup() override {}
    void beginShape(uint32_t shape) override;
    void endShape() override;
    void placeShape(uint32_t shape, const Affine &toUser) override;
    void fill(const Figure &figure, const Fill &fill) override;
    void stroke(const Figure &figure, const Stroke &stroke) override;
    void text(const TextRun &run) override;
    void mark(const MarkFigure &mark) override;
    void image(const ImagePlacement &placement) override;

private:
    struct SurfaceDeleter {
        void operator()(cairo_surface_t *s) const { cairo_surface_destroy(s); }
    };
    using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
    // An image as a cairo surface, `step` image pixels to a surface pixel on each axis.
    struct ImageSurface {
        Surface surface;
        uint32_t step = 1;
    };
    // The figures of a shape definition, to be drawn where the shape is placed.
    struct FillCall {
        Path path;
        Fill fill;
    };
    struct StrokeCall {
        Path path;
        Stroke stroke;
    };
    struct TextCall {
        TextRun run;  // its text is `text`
        std::string text;
    };
    using Call = std::variant<FillCall, StrokeCall, TextCall, MarkFigure, ImagePlacement>;

    // Keeps the call for the shape being defined; false when no shape is being defined.
    bool kept(Call call);
    void draw(const Call &call);
    void fillPath(const Path &path, const Fill &fill);
    void strokePath(const Path &path, const Stroke &stroke);
    // The device rows a figure of a path (from one move to the next) may touch.
    struct Rows {
        double top, bottom;
    };
    // A band of rows, with the rows of every figure of the path drawn in it.
    struct Band {
        Rows rows;
        std::span<const Rows> figures;
        bool reaches(const Rows &figure) const {
            return figure.bottom >= rows.top && figure.top <= rows.bottom;
        }
    };
    // Numbers the figures of a path: next() is true where an op begins a figure (a move, or
    // the first op).
    class FigureCounter {
    public:
        bool next(Path::Op op) {
            const bool begins = !started_ || op == Path::Op::Move;
            if (begins && started_) ++index_;
            started_ = true;
            return begins;
        }
        size_t index() const { return index_; }

    private:
        size_t index_ = 0;
        bool started_ = false;
    };

    void strokeInBands(const Path &path, double width);
    static std::vector<Rows> figureRows(const Path &path, const cairo_matrix_t &toDevice,
                                        double reach);
    void drawText(const TextRun &run);
    void drawMark(const MarkFigure &mark);
    void drawImage(const ImagePlacement &placement);
    // The path, or of it only the figures that reach `band`.
    void addPath(const Path &path, const Band *band = nullptr);
    void setTexture(const Texture &texture);
    const ImageSurface &imageSurface(uint32_t image, const ImageSource &source);

    cairo_t *cr_;
    bool visible_ = true;
    std::vector<Call> *shape_ = nullptr;  // the calls of the shape being defined
    std::map<uint32_t, std::vector<Call>> shapes_;
    std::map<uint32_t, ImageSurface> images_;
    PangoContext *pango_ = nullptr;
};

// How large a PNG is: `width` pixels across, or `dpi` pixels an inch (96 when neither is set).
// The page is drawn from the top-left corner at that scale; its size is rounded up to whole
// pixels, as SVG renderers round a page of that resolution.
struct RasterSize {
    std::optional<uint32_t> width;
    std::optional<double> dpi;
};

// Renders the decompressed bytes of a KVG file as a PNG or a PDF document into `out`, within
// the limits for a file of that size and the reader's `limits`. A page of more than 32767
// pixels on a side or 2^28 in all is refused.
std::optional<Error> renderPng(std::span<const uint8_t> bytes, const RasterSize &size,
                               std::ostream &out, const kvgr::impl::Limits &limits = {});
std::optional<Error> renderPdf(std::span<const uint8_t> bytes, std::ostream &out,
                               const kvgr::impl::Limits &limits = {});

}  // namespace kvgrender

#endif  // KVGRENDER_CAIRO_PAINTER_H
