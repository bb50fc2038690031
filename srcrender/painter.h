// The painter interface: what the render core asks a backend (SVG, cairo, a null sink) to
// draw, with every attribute already resolved into colours and lengths.
//
// Geometry is in user units with y up: millimetres on the page (origin at its lower-left corner)
// outside shape definitions, shape units inside them (see doc/rendering.md). The core calls
// beginPage first and endPage last; layers, groups and shape definitions are properly nested.
#ifndef KVGRENDER_PAINTER_H
#define KVGRENDER_PAINTER_H

#include <cstdint>
#include <string_view>
#include <vector>

#include "geometry.h"

namespace kvgrender {

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
    friend bool operator==(const Rgba &, const Rgba &) = default;
};

struct Page {
    double width = 0;   // millimetres
    double height = 0;  // millimetres
    double scale = 1;   // millimetres per file unit: the page mapping's one scale
    Rgba background;
};

// The identity of a path that a drawing may use again: an edge (reversed when `first` is
// negative), a range of edges or a face, in page or shape units. Anonymous paths are drawn once.
struct PathKey {
    enum class Kind : uint8_t { Anonymous, Edge, EdgeRange, Face };
    Kind kind = Kind::Anonymous;
    bool inShape = false;
    int32_t first = 0;
    int32_t last = 0;
    friend bool operator==(const PathKey &, const PathKey &) = default;
};

// A path to draw. `path` is null when the painter said it holds the key (holdsPath).
struct Figure {
    PathKey key;
    const Path *path = nullptr;
};

enum class Joint : uint8_t { Miter, Round, Bevel };

struct Stroke {
    Rgba color;
    double width = 1;
    Joint joint = Joint::Miter;
    std::vector<double> dashes;  // dash and gap lengths; empty: solid
    double dashOffset = 0;
};

// Pixels of an image, converted to 8-bit RGBA on demand.
class ImageSource {
public:
    virtual ~ImageSource() = default;
    virtual uint32_t width() const = 0;
    virtual uint32_t height() const = 0;
    // Row `y` counted from the top of the picture, as width() RGBA quadruples into `rgba`.
    virtual void row(uint32_t y, uint8_t *rgba) const = 0;
};

struct Texture {
    uint32_t image = 0;
    const ImageSource *source = nullptr;
    Vec origin;  // lower-left corner of one tile
    Vec tile;    // width and height of one tile
    bool smooth = false;
};

struct Gradient {
    Vec p0, p1;
    Rgba c0, c1;
};

struct Fill {
    enum class Kind : uint8_t { Color, Gradient, Texture };
    Kind kind = Kind::Color;
    Rgba color;
    Gradient gradient;
    Texture texture;
};

struct TextRun {
    enum class Anchor : uint8_t { Start, Middle, End };
    std::string_view text;  // UTF-8, invalid sequences already replaced
    Vec anchor;
    double size = 0;  // em size
    Rgba color;
    uint8_t typeface = 0;  // 0 default (sans-serif), 1 monospace, 2 serif, 3 sans-serif
    bool bold = false;
    bool italic = false;
    Anchor horizontal = Anchor::Middle;
    double baselineEm = 0;  // baseline below the anchor, in em
    double rotation = 0;    // degrees, counter-clockwise
};

struct MarkFigure {
    uint8_t type = 0;  // see markParts
    Vec at;
    double size = 0;
    Rgba color;
};

struct ImagePlacement {
    uint32_t image = 0;
    const ImageSource *source = nullptr;
    Vec corner;     // lower-left corner of the destination
    Vec size;       // width and height of the destination, both positive
    Vec sourceMin;  // source rectangle in pixels from the image's lower-left corner
    Vec sourceMax;
    bool smooth = false;
};

class Painter {
public:
    virtual ~Painter() = default;

    virtual void beginPage(const Page &page) = 0;
    virtual void endPage() = 0;
    virtual void beginLayer(std::string_view name, bool visible) = 0;
    virtual void endLayer() = 0;
    virtual void beginGroup(std::string_view name) = 0;
    virtual void endGroup() = 0;
    // A shape definition: what is drawn until endShape is the shape, in shape units.
    virtual void beginShape(uint32_t shape) = 0;
    virtual void endShape() = 0;
    // Draws a defined shape; `toUser` maps shape units to the current user units.
    virtual void placeShape(uint32_t shape, const Affine &toUser) = 0;

    // Whether the painter keeps the path of `key` from an earlier figure, so that the core
    // need not build it again.
    virtual bool holdsPath(const PathKey &) const { return false; }
    virtual void fill(const Figure &figure, const Fill &fill) = 0;
    virtual void stroke(const Figure &figure, const Stroke &stroke) = 0;
    virtual void text(const TextRun &run) = 0;
    virtual void mark(const MarkFigure &mark) = 0;
    virtual void image(const ImagePlacement &placement) = 0;
};

// Draws nothing: for decoding and rendering a file without output (the fuzz target, the
// measurements of the core's own cost).
class NullPainter final : public Painter {
public:
    void beginPage(const Page &) override {}
    void endPage() override {}
    void beginLayer(std::string_view, bool) override {}
    void endLayer() override {}
    void beginGroup(std::string_view) override {}
    void endGroup() override {}
    void beginShape(uint32_t) override {}
    void endShape() override {}
    void placeShape(uint32_t, const Affine &) override {}
    void fill(const Figure &, const Fill &) override {}
    void stroke(const Figure &, const Stroke &) override {}
    void text(const TextRun &) override {}
    void mark(const MarkFigure &) override {}
    void image(const ImagePlacement &) override {}
};

}  // namespace kvgrender

#endif  // KVGRENDER_PAINTER_H
