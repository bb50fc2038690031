// The SVG painter: an SVG 1.1 document, written as the core draws.
//
// The document is the page: width and height in millimetres, one user unit a millimetre, y
// down (y = height - page y). Layers become groups (hidden layers display="none"), objects
// nested groups, shape definitions groups in <defs> placed with <use>, marks <use>s of one
// group per mark type, images embedded PNGs (one per image and stretch mode, with
// image-rendering on the <image> itself), textures patterns. A path that may be used again (an
// edge, a range of edges, a face) is defined once in <defs> and drawn with <use>, so the
// document grows with the file, not with the number of uses.
#ifndef KVGRENDER_SVG_PAINTER_H
#define KVGRENDER_SVG_PAINTER_H

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <unordered_map>

#include "kvgrender.h"

namespace kvgrender {

class SvgPainter final : public Painter {
public:
    explicit SvgPainter(std::ostream &out) : out_(out) {}

    void beginPage(const Page &page) override;
    void endPage() override;
    void beginLayer(std::string_view name, bool visible) override;
    void endLayer() override;
    void beginGroup(std::string_view name) override;
    void endGroup() override;
    void beginShape(uint32_t shape) override;
    void endShape() override;
    void placeShape(uint32_t shape, const Affine &toUser) override;
    bool holdsPath(const PathKey &key) const override { return paths_.contains(key); }
    void fill(const Figure &figure, const Fill &fill) override;
    void stroke(const Figure &figure, const Stroke &stroke) override;
    void text(const TextRun &run) override;
    void mark(const MarkFigure &mark) override;
    void image(const ImagePlacement &placement) override;

private:
    struct KeyHash {
        size_t operator()(const PathKey &k) const;
    };
    // Fixed-point numbers of the current space: page millimetres to 0.1 micrometre, shape
    // units to the same precision on the page.
    struct Space {
        int decimals = 4;
        double flip = 0;  // y in the document = flip - y
    };

    std::string number(double value) const;
    std::string xy(Vec p) const;
    std::string pathData(const Path &path) const;
    void draw(const Figure &figure, const std::string &style, bool evenOdd);
    std::string fillStyle(const Fill &fill);
    std::string imageId(uint32_t image, const ImageSource &source, bool smooth);
    template <class Make>
    std::string definition(const std::string &key, Make make);

    std::ostream &out_;
    Page page_;
    Space space_;
    Space pageSpace_;
    Space shapeSpace_;
    int layers_ = 0;
    std::unordered_map<PathKey, std::string, KeyHash> paths_;
    std::unordered_map<std::string, std::string> definitions_;
};

// Renders the decompressed bytes of a KVG file as SVG into `out`, within the limits of a
// referencing painter for a file of that size and the reader's `limits`.
std::optional<Error> renderSvg(std::span<const uint8_t> bytes, std::ostream &out,
                               const kvgr::impl::Limits &limits = {});

}  // namespace kvgrender

#endif  // KVGRENDER_SVG_PAINTER_H
