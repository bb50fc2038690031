// The scene through cairo's vector surfaces, as a C application draws it: a 100 x 100 mm page,
// the world window mapped onto it by the current transformation, every point given as it is
// in world units. A face is filled as the ring of its edges; all edges are stroked as one path.
#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <stdexcept>

#include "writers.h"

namespace scene {

namespace {

constexpr double kPagePoints = 100.0 / 25.4 * 72.0;  // 100 mm

void setColor(cairo_t *cr, uint32_t rgb) {
    cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                         (rgb & 0xFF) / 255.0);
}

void addPoints(cairo_t *cr, std::span<const WorldPoint> points) {
    cairo_move_to(cr, points[0].x, points[0].y);
    for (size_t i = 1; i < points.size(); ++i) cairo_line_to(cr, points[i].x, points[i].y);
}

void fillFace(cairo_t *cr, const Scene &s, const Face &face) {
    setColor(cr, face.rgb);
    bool started = false;
    for (int32_t edge : s.edgesOf(face)) {
        const auto points = s.points(s.edges[static_cast<size_t>(edge < 0 ? -edge : edge) - 1]);
        const auto visit = [&](const WorldPoint &p) {
            if (started) {
                cairo_line_to(cr, p.x, p.y);
            } else {
                cairo_move_to(cr, p.x, p.y);
                started = true;
            }
        };
        if (edge < 0) {
            for (size_t i = points.size(); i-- > 0;) visit(points[i]);
        } else {
            for (const WorldPoint &p : points) visit(p);
        }
    }
    cairo_close_path(cr);
    cairo_fill(cr);
}

void draw(cairo_t *cr, const Scene &s) {
    cairo_translate(cr, kPagePoints / 2, kPagePoints / 2);
    cairo_scale(cr, kPagePoints / (kWorldMax - kWorldMin), -kPagePoints / (kWorldMax - kWorldMin));
    cairo_set_line_width(cr, 0.05);
    for (const Face &face : s.faces) fillFace(cr, s, face);
    setColor(cr, 0x808080);
    for (const Slice &edge : s.edges) addPoints(cr, s.points(edge));
    cairo_stroke(cr);
    for (const Figure &figure : s.figures) {
        addPoints(cr, s.points(figure));
        if (figure.closed) {
            setColor(cr, 0x4682B4);
            cairo_close_path(cr);
            cairo_fill(cr);
        } else {
            setColor(cr, 0x000000);
            cairo_stroke(cr);
        }
    }
}

}  // namespace

uint64_t writeCairo(const Scene &s, const std::string &path, CairoSurface kind) {
    const auto create = kind == CairoSurface::SVG ? cairo_svg_surface_create
                                                  : cairo_pdf_surface_create;
    cairo_surface_t *surface = create(path.c_str(), kPagePoints, kPagePoints);
    cairo_t *cr = cairo_create(surface);
    draw(cr, s);
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) throw std::runtime_error(cairo_status_to_string(status));
    return fileSize(path);
}

}  // namespace scene
