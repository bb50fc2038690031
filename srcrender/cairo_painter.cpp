#include "cairo_painter.h"

#include <cairo-pdf.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "style.h"

namespace kvgrender {

namespace {

constexpr double MITER_LIMIT = 4;
// Strokes of at least this many points are drawn band by band on raster surfaces.
constexpr uint64_t BANDED_STROKE_POINTS = uint64_t{1} << 14;
constexpr uint32_t MAX_SURFACE_SIDE = 32767;            // cairo's limit
constexpr uint64_t MAX_IMAGE_PIXELS = uint64_t{1} << 24;  // 64 MiB a converted image
constexpr uint64_t MAX_PAGE_PIXELS = uint64_t{1} << 28;   // 1 GiB a PNG page
constexpr double DEFAULT_DPI = 96;
constexpr double MM_PER_INCH = 25.4;
constexpr double POINTS_PER_INCH = 72;

// The points of the path that an op takes.
size_t pointsOf(Path::Op op) {
    return op == Path::Op::Cubic ? 3 : op == Path::Op::Move || op == Path::Op::Line ? 1 : 0;
}

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
// Spelled out for compilers without deduction from aggregate initialisation (clang before 17).
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

double radians(double degrees) { return degrees * std::numbers::pi / 180; }

void setColor(cairo_t *cr, Rgba c) {
    cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
}

// Whether an affine map can be inverted, as cairo requires of every transformation.
bool invertible(double xx, double yx, double xy, double yy) {
    const double determinant = xx * yy - xy * yx;
    return std::isfinite(determinant) && determinant != 0;
}

cairo_status_t writeTo(void *closure, const unsigned char *data, unsigned int length) {
    auto &out = *static_cast<std::ostream *>(closure);
    out.write(reinterpret_cast<const char *>(data), length);
    return out ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

struct ContextDeleter {
    void operator()(cairo_t *cr) const { cairo_destroy(cr); }
};
using Context = std::unique_ptr<cairo_t, ContextDeleter>;
struct SurfaceDeleter {
    void operator()(cairo_surface_t *s) const { cairo_surface_destroy(s); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

// Renders onto `cr` and reports what cairo refused.
std::optional<Error> draw(std::span<const uint8_t> bytes, cairo_t *cr,
                         const kvgr::impl::Limits &limits) {
    std::optional<Error> error;
    {
        CairoPainter painter(cr);
        error = render(bytes, painter, Limits::forFile(bytes.size(), false, limits));
    }
    if (!error && cairo_status(cr) != CAIRO_STATUS_SUCCESS)
        error = Error{0, std::string("cannot draw: ") + cairo_status_to_string(cairo_status(cr))};
    return error;
}

// A length in pixels rounded up to whole ones, at least one. A length a rounding error above a
// whole number is that number: a page of 3 x 2 inches in single precision is 200.000005 pixels
// high at 300 pixels across. (Single precision errs by 6e-8 of a value: 0.002 pixels on the
// largest page.)
double wholePixels(double pixels) {
    const double roundingError = std::min(pixels * 1e-6, 0.01);
    return std::max(1.0, std::ceil(pixels - roundingError));
}

std::optional<Error> written(cairo_status_t status) {
    if (status == CAIRO_STATUS_SUCCESS) return std::nullopt;
    return Error{0, std::string("cannot write: ") + cairo_status_to_string(status)};
}

}  // namespace

CairoPainter::CairoPainter(cairo_t *cr) : cr_(cr) {
    pango_ = pango_font_map_create_context(pango_cairo_font_map_get_default());
    cairo_font_options_t *options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    pango_cairo_context_set_font_options(pango_, options);
    cairo_font_options_destroy(options);
    // User units are millimetres: glyph positions rounded to them would be far apart.
    pango_context_set_round_glyph_positions(pango_, false);
}

CairoPainter::~CairoPainter() { g_object_unref(pango_); }

void CairoPainter::beginPage(const Page &page) {
    cairo_translate(cr_, 0, page.height);
    cairo_scale(cr_, 1, -1);
    cairo_rectangle(cr_, 0, 0, page.width, page.height);
    setColor(cr_, page.background);
    cairo_fill(cr_);
}

void CairoPainter::endPage() {}

void CairoPainter::beginLayer(std::string_view, bool visible) { visible_ = visible; }

void CairoPainter::endLayer() { visible_ = true; }

void CairoPainter::beginShape(uint32_t shape) { shape_ = &shapes_[shape]; }

void CairoPainter::endShape() { shape_ = nullptr; }

void CairoPainter::placeShape(uint32_t shape, const Affine &m) {
    const auto found = shapes_.find(shape);
    if (!visible_ || found == shapes_.end() || !invertible(m.a, m.b, m.c, m.d)) return;
    cairo_save(cr_);
    const cairo_matrix_t matrix{m.a, m.b, m.c, m.d, m.e, m.f};
    cairo_transform(cr_, &matrix);
    for (const Call &call : found->second) draw(call);
    cairo_restore(cr_);
}

bool CairoPainter::kept(Call call) {
    if (shape_ == nullptr) return false;
    shape_->push_back(std::move(call));
    return true;
}

void CairoPainter::draw(const Call &call) {
    std::visit(Overloaded{
                   [&](const FillCall &c) { fillPath(c.path, c.fill); },
                   [&](const StrokeCall &c) { strokePath(c.path, c.stroke); },
                   [&](const TextCall &c) {
                       TextRun run = c.run;
                       run.text = c.text;
                       drawText(run);
                   },
                   [&](const MarkFigure &c) { drawMark(c); },
                   [&](const ImagePlacement &c) { drawImage(c); },
               },
               call);
}

void CairoPainter::fill(const Figure &figure, const Fill &fill) {
    if (!kept(FillCall{*figure.path, fill}) && visible_) fillPath(*figure.path, fill);
}

void CairoPainter::stroke(const Figure &figure, const Stroke &stroke) {
    if (!kept(StrokeCall{*figure.path, stroke}) && visible_) strokePath(*figure.path, stroke);
}

void CairoPainter::text(const TextRun &run) {
    if (!kept(TextCall{run, std::string(run.text)}) && visible_) drawText(run);
}

void CairoPainter::mark(const MarkFigure &mark) {
    if (!kept(mark) && visible_) drawMark(mark);
}

void CairoPainter::image(const ImagePlacement &placement) {
    if (!kept(placement) && visible_) drawImage(placement);
}

void CairoPainter::addPath(const Path &path, const Band *band) {
    cairo_t *c = cr_;
    cairo_new_path(c);
    const std::span<const Vec> points = path.points();
    size_t point = 0, arc = 0;
    FigureCounter figures;
    bool skipped = false;
    for (const Path::Op op : path.ops()) {
        if (figures.next(op) && band) skipped = !band->reaches(band->figures[figures.index()]);
        if (skipped) {
            point += pointsOf(op);
            arc += op == Path::Op::Arc;
            continue;
        }
        switch (op) {
            case Path::Op::Move:
                cairo_move_to(c, points[point].x, points[point].y);
                ++point;
                break;
            case Path::Op::Line:
                cairo_line_to(c, points[point].x, points[point].y);
                ++point;
                break;
            case Path::Op::Cubic:
                cairo_curve_to(c, points[point].x, points[point].y, points[point + 1].x,
                               points[point + 1].y, points[point + 2].x, points[point + 2].y);
                point += 3;
                break;
            case Path::Op::Arc: {
                const Arc &a = path.arcs()[arc++];
                if (!invertible(a.radii.x, 0, 0, a.radii.y)) break;
                cairo_save(c);
                cairo_translate(c, a.center.x, a.center.y);
                cairo_scale(c, a.radii.x, a.radii.y);
                const double from = radians(a.start), to = radians(a.start + a.sweep);
                (a.sweep > 0 ? cairo_arc : cairo_arc_negative)(c, 0, 0, 1, from, to);
                cairo_restore(c);
                break;
            }
            case Path::Op::Close: cairo_close_path(c); break;
        }
    }
}

void CairoPainter::fillPath(const Path &path, const Fill &fill) {
    cairo_t *c = cr_;
    addPath(path);
    cairo_set_fill_rule(c, CAIRO_FILL_RULE_EVEN_ODD);
    switch (fill.kind) {
        case Fill::Kind::Color: setColor(c, fill.color); break;
        case Fill::Kind::Gradient: {
            const Gradient &g = fill.gradient;
            cairo_pattern_t *pattern = cairo_pattern_create_linear(g.p0.x, g.p0.y, g.p1.x, g.p1.y);
            for (const auto &[offset, color] : {std::pair{0.0, g.c0}, std::pair{1.0, g.c1}})
                cairo_pattern_add_color_stop_rgba(pattern, offset, color.r / 255.0,
                                                  color.g / 255.0, color.b / 255.0,
                                                  color.a / 255.0);
            cairo_set_source(c, pattern);
            cairo_pattern_destroy(pattern);
            break;
        }
        case Fill::Kind::Texture: setTexture(fill.texture); break;
    }
    cairo_fill(c);
}

// The image tiled from the texture's corner, one tile `tile` large, the first row at the top.
void CairoPainter::setTexture(const Texture &t) {
    cairo_t *c = cr_;
    cairo_surface_t *surface = imageSurface(t.image, *t.source).surface.get();
    const double sw = cairo_image_surface_get_width(surface);
    const double sh = cairo_image_surface_get_height(surface);
    cairo_pattern_t *pattern = cairo_pattern_create_for_surface(surface);
    const cairo_matrix_t toPattern{sw / t.tile.x,         0, 0, -sh / t.tile.y,
                                   -t.origin.x * sw / t.tile.x, (t.origin.y + t.tile.y) * sh / t.tile.y};
    cairo_pattern_set_matrix(pattern, &toPattern);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
    cairo_pattern_set_filter(pattern, t.smooth ? CAIRO_FILTER_BILINEAR : CAIRO_FILTER_NEAREST);
    cairo_set_source(c, pattern);
    cairo_pattern_destroy(pattern);
}

void CairoPainter::strokePath(const Path &path, const Stroke &stroke) {
    cairo_t *c = cr_;
    setColor(c, stroke.color);
    cairo_set_line_width(c, stroke.width);
    constexpr cairo_line_join_t JOINS[] = {CAIRO_LINE_JOIN_MITER, CAIRO_LINE_JOIN_ROUND,
                                           CAIRO_LINE_JOIN_BEVEL};
    cairo_set_line_join(c, JOINS[int(stroke.joint)]);
    cairo_set_miter_limit(c, MITER_LIMIT);
    cairo_set_line_cap(c, CAIRO_LINE_CAP_BUTT);
    cairo_set_dash(c, stroke.dashes.data(), static_cast<int>(stroke.dashes.size()),
                   stroke.dashOffset);
    strokeInBands(path, stroke.width);
}

// Cairo turns a whole stroke into one polygon before it scans it: several hundred bytes a point
// with round joins. On a raster surface a path of many points is stroked band by band, each
// band whole rows of pixels (some BANDED_STROKE_POINTS points a band where they spread evenly),
// so that the polygon holds only the edges that reach the band; each pixel's coverage comes
// from the edges that cross its row, so the pixels are those of one stroke.
void CairoPainter::strokeInBands(const Path &path, double width) {
    cairo_t *c = cr_;
    cairo_surface_t *target = cairo_get_target(c);
    const uint64_t points = path.size();
    if (points < BANDED_STROKE_POINTS ||
        cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE) {
        addPath(path);
        cairo_stroke(c);
        return;
    }
    cairo_matrix_t toDevice;
    cairo_get_matrix(c, &toDevice);
    // How far below or above its points a figure's stroke may reach, in rows: a miter at its
    // limit, and a row for the scan.
    const double reach = width / 2 * std::max(MITER_LIMIT, 1.0) *
                             (std::abs(toDevice.yx) + std::abs(toDevice.yy)) + 1;
    const std::vector<Rows> figures = figureRows(path, toDevice, reach);
    const int columns = cairo_image_surface_get_width(target);
    const int height = cairo_image_surface_get_height(target);
    const int rows = std::max<int>(1, int(BANDED_STROKE_POINTS * uint64_t(height) / points));
    for (int top = 0; top < height; top += rows) {
        const int bandRows = std::min(rows, height - top);
        cairo_save(c);
        cairo_identity_matrix(c);
        cairo_new_path(c);
        cairo_rectangle(c, 0, top, columns, bandRows);
        cairo_clip(c);
        cairo_set_matrix(c, &toDevice);
        const Band band{{double(top), double(top + bandRows)}, figures};
        addPath(path, &band);
        cairo_stroke(c);
        cairo_restore(c);
    }
}

// The rows of the device that each figure's points (control points, arcs' boxes) span, widened
// by `reach` on both sides.
std::vector<CairoPainter::Rows> CairoPainter::figureRows(const Path &path,
                                                         const cairo_matrix_t &toDevice,
                                                         double reach) {
    std::vector<Rows> figures;
    const std::span<const Vec> points = path.points();
    size_t point = 0, arc = 0;
    FigureCounter counter;
    const auto cover = [&](double x, double y) {
        cairo_matrix_transform_point(&toDevice, &x, &y);
        Rows &rows = figures.back();
        rows = {std::min(rows.top, y - reach), std::max(rows.bottom, y + reach)};
    };
    for (const Path::Op op : path.ops()) {
        if (counter.next(op)) figures.push_back({HUGE_VAL, -HUGE_VAL});
        const size_t used = pointsOf(op);
        for (size_t i = 0; i < used; ++i) cover(points[point + i].x, points[point + i].y);
        point += used;
        if (op == Path::Op::Arc) {
            const Arc &a = path.arcs()[arc++];
            for (const double dx : {-a.radii.x, a.radii.x})
                for (const double dy : {-a.radii.y, a.radii.y})
                    cover(a.center.x + dx, a.center.y + dy);
        }
    }
    return figures;
}

// Laid out by pango in a y-down frame turned about the anchor; the baseline below the anchor
// by the run's shift, the advance width before it by the horizontal anchor.
void CairoPainter::drawText(const TextRun &run) {
    cairo_t *c = cr_;
    cairo_save(c);
    cairo_translate(c, run.anchor.x, run.anchor.y);
    cairo_rotate(c, radians(run.rotation));
    cairo_scale(c, 1, -1);
    pango_cairo_update_context(c, pango_);
    PangoLayout *layout = pango_layout_new(pango_);
    PangoFontDescription *font = pango_font_description_new();
    constexpr const char *FAMILIES[] = {"sans-serif", "monospace", "serif", "sans-serif"};
    pango_font_description_set_family_static(font, FAMILIES[run.typeface & 3]);
    pango_font_description_set_weight(font, run.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(font, run.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_font_description_set_absolute_size(font, run.size * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_single_paragraph_mode(layout, true);
    pango_layout_set_text(layout, run.text.data(), static_cast<int>(run.text.size()));
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    const double width = double(logical.width) / PANGO_SCALE;
    const double baseline = double(pango_layout_get_baseline(layout)) / PANGO_SCALE;
    cairo_move_to(c, -width * int(run.horizontal) / 2, run.baselineEm * run.size - baseline);
    setColor(c, run.color);
    pango_cairo_layout_path(c, layout);
    cairo_fill(c);
    pango_font_description_free(font);
    g_object_unref(layout);
    cairo_restore(c);
}

void CairoPainter::drawMark(const MarkFigure &mark) {
    cairo_t *c = cr_;
    cairo_save(c);
    cairo_translate(c, mark.at.x, mark.at.y);
    cairo_scale(c, mark.size, mark.size);
    setColor(c, mark.color);
    for (const MarkPart &part : markParts(mark.type)) {
        addPath(part.path);
        if (part.stroked) {
            cairo_set_line_width(c, MARK_STROKE);
            cairo_set_line_join(c, CAIRO_LINE_JOIN_MITER);
            cairo_set_miter_limit(c, MITER_LIMIT);
            cairo_set_line_cap(c, CAIRO_LINE_CAP_BUTT);
            cairo_set_dash(c, nullptr, 0, 0);
            cairo_stroke(c);
        } else {
            cairo_fill(c);
        }
    }
    cairo_restore(c);
}

// The source rectangle of the image stretched over the destination; what of the source lies
// beyond the image stays empty.
void CairoPainter::drawImage(const ImagePlacement &p) {
    cairo_t *c = cr_;
    const ImageSurface &converted = imageSurface(p.image, *p.source);
    const double w = p.source->width(), h = p.source->height(), k = converted.step;
    const double sx = (p.sourceMax.x - p.sourceMin.x) / p.size.x;  // image pixels per unit
    const double sy = (p.sourceMax.y - p.sourceMin.y) / p.size.y;
    const double x0 = p.corner.x + (std::max(p.sourceMin.x, 0.0) - p.sourceMin.x) / sx;
    const double x1 = p.corner.x + (std::min(p.sourceMax.x, w) - p.sourceMin.x) / sx;
    const double y0 = p.corner.y + (std::max(p.sourceMin.y, 0.0) - p.sourceMin.y) / sy;
    const double y1 = p.corner.y + (std::min(p.sourceMax.y, h) - p.sourceMin.y) / sy;
    if (!(x1 > x0 && y1 > y0)) return;
    cairo_pattern_t *pattern = cairo_pattern_create_for_surface(converted.surface.get());
    const cairo_matrix_t toPattern{sx / k, 0, 0, -sy / k, (p.sourceMin.x - p.corner.x * sx) / k,
                                   (h - p.sourceMin.y + p.corner.y * sy) / k};
    cairo_pattern_set_matrix(pattern, &toPattern);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(pattern, p.smooth ? CAIRO_FILTER_BILINEAR : CAIRO_FILTER_NEAREST);
    cairo_rectangle(c, x0, y0, x1 - x0, y1 - y0);
    cairo_set_source(c, pattern);
    cairo_fill(c);
    cairo_pattern_destroy(pattern);
}

// The image as premultiplied ARGB, every `step`-th pixel of every `step`-th row when the whole
// image would pass the size of a cairo surface or of MAX_IMAGE_PIXELS.
const CairoPainter::ImageSurface &CairoPainter::imageSurface(uint32_t image,
                                                            const ImageSource &source) {
    const auto found = images_.find(image);
    if (found != images_.end()) return found->second;
    const uint32_t width = source.width(), height = source.height();
    uint32_t step = 1;
    const auto fits = [&](uint32_t s) {
        const uint64_t w = (width + s - 1) / s, h = (height + s - 1) / s;
        return w <= MAX_SURFACE_SIDE && h <= MAX_SURFACE_SIDE && w * h <= MAX_IMAGE_PIXELS;
    };
    while (!fits(step)) ++step;
    const int sw = int((width + step - 1) / step), sh = int((height + step - 1) / step);
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, sw, sh));
    cairo_surface_flush(surface.get());
    unsigned char *data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    std::vector<uint8_t> row(size_t{width} * 4);
    for (int y = 0; data != nullptr && y < sh; ++y) {
        source.row(uint32_t(y) * step, row.data());
        auto *out = reinterpret_cast<uint32_t *>(data + ptrdiff_t{y} * stride);
        for (int x = 0; x < sw; ++x) {
            const uint8_t *p = &row[size_t{uint32_t(x) * step} * 4];
            const auto premultiplied = [&](uint8_t v) { return (uint32_t{v} * p[3] + 127) / 255; };
            out[x] = uint32_t{p[3]} << 24 | premultiplied(p[0]) << 16 | premultiplied(p[1]) << 8 |
                     premultiplied(p[2]);
        }
    }
    cairo_surface_mark_dirty(surface.get());
    return images_.emplace(image, ImageSurface{std::move(surface), step}).first->second;
}

std::optional<Error> renderPng(std::span<const uint8_t> bytes, const RasterSize &size,
                               std::ostream &out, const kvgr::impl::Limits &limits) {
    const std::variant<Page, Error> found = page(bytes);
    if (const Error *error = std::get_if<Error>(&found)) return *error;
    const Page &mm = std::get<Page>(found);
    const double perMm =
        size.width ? *size.width / mm.width : size.dpi.value_or(DEFAULT_DPI) / MM_PER_INCH;
    const double width = size.width ? *size.width : wholePixels(mm.width * perMm);
    const double height = wholePixels(mm.height * perMm);
    if (!(width <= MAX_SURFACE_SIDE && height <= MAX_SURFACE_SIDE &&
          width * height <= double(MAX_PAGE_PIXELS)))
        return Error{0, "the page would be " + std::to_string(uint64_t(std::min(width, 1e18))) +
                            " x " + std::to_string(uint64_t(std::min(height, 1e18))) +
                            " pixels; at most " + std::to_string(MAX_SURFACE_SIDE) +
                            " on a side and " + std::to_string(MAX_PAGE_PIXELS) + " in all"};
    const Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(width), int(height)));
    {
        const Context cr(cairo_create(surface.get()));
        // From the top-left corner, the last partial pixels of each axis filled out.
        cairo_scale(cr.get(), perMm, perMm);
        if (std::optional<Error> error = draw(bytes, cr.get(), limits)) return error;
    }
    return written(cairo_surface_write_to_png_stream(surface.get(), writeTo, &out));
}

std::optional<Error> renderPdf(std::span<const uint8_t> bytes, std::ostream &out,
                               const kvgr::impl::Limits &limits) {
    const std::variant<Page, Error> found = page(bytes);
    if (const Error *error = std::get_if<Error>(&found)) return *error;
    const Page &mm = std::get<Page>(found);
    const double pointsPerMm = POINTS_PER_INCH / MM_PER_INCH;
    const Surface surface(cairo_pdf_surface_create_for_stream(
        writeTo, &out, mm.width * pointsPerMm, mm.height * pointsPerMm));
    {
        const Context cr(cairo_create(surface.get()));
        cairo_scale(cr.get(), pointsPerMm, pointsPerMm);
        if (std::optional<Error> error = draw(bytes, cr.get(), limits)) return error;
    }
    cairo_surface_finish(surface.get());
    return written(cairo_surface_status(surface.get()));
}

}  // namespace kvgrender
