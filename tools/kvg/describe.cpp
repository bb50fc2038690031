#include "describe.h"

#include <cstdio>
#include <vector>

namespace kvgtool {

namespace {

constexpr int COLOR_MODES = 8;
constexpr const char *COLOR_SIZE_NAMES[COLOR_MODES] = {"index1", "index8", "gray8", "gray12",
                                                        "gray16", "ga",     "rgb",   "rgba"};
// Hexadecimal digits of a value in each colour size; 0 for the decimal palette indexes.
constexpr int COLOR_DIGITS[COLOR_MODES] = {0, 0, 2, 3, 4, 8, 6, 8};

std::string hexWord(uint32_t value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    return buffer;
}

std::string pixelWord(uint32_t value, uint8_t size) {
    return COLOR_DIGITS[size] == 0 ? std::to_string(value) : hexWord(value, COLOR_DIGITS[size]);
}

template <class Integer>
std::vector<double> asNumbers(std::span<const Integer> values) {
    return {values.begin(), values.end()};
}

class Describer {
public:
    Describer(const kvgr::Reader &reader, FieldSink &sink) : reader_(reader), sink_(sink) {}

    void describe(const kvgr::Record &r) {
        const auto &as = r.as;
        switch (r.code) {
            case KVGR_EXTENSION:
                sink_.text("parameter", kvgr::text(as.extension.parameter));
                sink_.text("value", kvgr::text(as.extension.value));
                break;
            case KVGR_LAYER:
                sink_.flag("visible", as.layer.visible != 0);
                sink_.flag("detectable", as.layer.detectable != 0);
                sink_.text("name", kvgr::text(as.layer.name));
                break;
            case KVGR_OBJECT: sink_.text("name", kvgr::text(as.object.name)); break;
            case KVGR_POLYLINE:
            case KVGR_DRAW_POLYGON:
            case KVGR_FILL_POLYGON: sink_.points("points", kvgr::points(as.figure)); break;
            case KVGR_DRAW_CUBIC_BEZIER:
            case KVGR_FILL_CUBIC_BEZIER:
                sink_.number("segments", as.cubic.segments);
                sink_.points("points", kvgr::points(as.cubic));
                break;
            case KVGR_DRAW_ARC:
            case KVGR_FILL_ARC:
                sink_.point("center", as.arc.centre);
                sink_.extent("half_size", as.arc.half_size);
                sink_.angle("start", as.arc.start.degrees);
                sink_.angle("end", as.arc.end.degrees);
                break;
            case KVGR_TEXT:
                sink_.point("anchor", as.text.anchor);
                sink_.text("text", kvgr::text(as.text.text));
                break;
            case KVGR_SHAPE:
                sink_.number("shape", as.shape.shape);
                sink_.point("center", as.shape.centre);
                sink_.angle("rotation", as.shape.rotation.degrees);
                sink_.extent("half_size", as.shape.half_size);
                break;
            case KVGR_IMAGE: imagePart(as.image); break;
            case KVGR_MARK: sink_.point("at", as.mark.at); break;
            case KVGR_LINE: {
                const kvgr::Point ends[] = {as.line.start, as.line.end};
                sink_.points("points", ends);
                break;
            }
            case KVGR_DRAW_BOX:
            case KVGR_FILL_BOX:
                sink_.point("corner", as.box.corner);
                sink_.extent("size", as.box.size);
                break;
            case KVGR_DRAW_CIRCLE:
            case KVGR_FILL_CIRCLE:
                sink_.point("center", as.circle.centre);
                sink_.number("radius", as.circle.radius);
                break;
            case KVGR_DRAW_ELLIPSE:
            case KVGR_FILL_ELLIPSE:
                sink_.point("center", as.ellipse.centre);
                sink_.extent("half_size", as.ellipse.half_size);
                break;
            case KVGR_STAMP_SHAPE:
            case KVGR_REPEAT_SHAPE:
                sink_.number("shape", as.stamp.shape);
                sink_.point("at", as.stamp.at);
                break;
            case KVGR_FULL_IMAGE:
                sink_.number("image", as.image.image);
                sink_.point("corner", as.image.corner);
                sink_.extent("size", as.image.size);
                break;
            case KVGR_SET_EDGE: edge(as.edge); break;
            case KVGR_SET_FACE:
                sink_.numbers("edges", asNumbers(kvgr::edges(as.face)));
                sink_.numbers("holes", asNumbers(kvgr::holes(as.face)));
                break;
            case KVGR_DRAW_EDGE: sink_.number("edge", as.edge_use.edge); break;
            case KVGR_DRAW_EDGE_RANGE:
                sink_.number("first", as.edge_range.first);
                sink_.number("last", as.edge_range.last);
                break;
            case KVGR_FILL_FACE: sink_.number("face", as.face_use.face); break;
            case KVGR_COLOR_SIZE: sink_.word("size", COLOR_SIZE_NAMES[as.size.size]); break;
            case KVGR_BLEND_MODE:
            case KVGR_IMAGE_STRETCH_MODE: sink_.number("value", as.byte.value); break;
            case KVGR_LINE_COLOR:
            case KVGR_MARK_COLOR:
            case KVGR_FILL_COLOR:
            case KVGR_TEXT_COLOR: sink_.word("color", colorWord(as.color.color)); break;
            case KVGR_LINE_DASHES: sink_.word("pattern", hexWord(as.dashes.pattern, 4)); break;
            case KVGR_LINE_STYLE:
                sink_.number("joint", as.line_style.joint);
                sink_.number("begin", as.line_style.begin);
                sink_.number("end", as.line_style.end);
                sink_.number("weight", as.line_style.weight);
                break;
            case KVGR_MARK_STYLE:
                sink_.number("type", as.mark_style.type);
                sink_.number("size", as.mark_style.size);
                break;
            case KVGR_GRADIENT_FILL:
                sink_.point("p0", as.gradient.p0);
                sink_.word("c0", colorWord(as.gradient.c0));
                sink_.point("p1", as.gradient.p1);
                sink_.word("c1", colorWord(as.gradient.c1));
                break;
            case KVGR_TEXTURE_FILL:
                sink_.point("corner", as.texture.corner);
                sink_.number("image", as.texture.image);
                break;
            case KVGR_STRETCHED_TEXTURE_FILL:
                sink_.point("corner", as.texture.corner);
                sink_.extent("size", as.texture.size);
                sink_.number("image", as.texture.image);
                break;
            case KVGR_FONT:
                sink_.number("typeface", as.font.typeface);
                sink_.number("style", as.font.style);
                sink_.number("size", as.font.size);
                break;
            case KVGR_TEXT_ALIGNMENT:
                sink_.number("alignment", as.alignment.alignment);
                sink_.angle("direction", as.alignment.direction.degrees);
                break;
            case KVGR_PALETTE:
                sink_.words("colors", [&](const WordEmitter &emit) {
                    for (const kvgr::Color &c : kvgr::colors(as.palette)) emit(colorWord(c));
                });
                break;
            case KVGR_SET_IMAGE: image(r.definition, as.image_definition); break;
            case KVGR_BEGIN_SET_SHAPE: sink_.extent("corner", as.shape_begin.corner); break;
            default:
                // The point and relative point size records: their code is the size.
                if (r.code >= KVGR_POINT_SIZE_16 && r.code <= KVGR_REL_POINT_SIZE_128)
                    sink_.number("bits", r.as.size.size);
                break;  // END_SET_SHAPE has no arguments
        }
    }

private:
    void imagePart(const KVGR_ImageUse &i) {
        sink_.number("image", i.image);
        const double source[] = {i.source_min.x, i.source_min.y, i.source_max.x, i.source_max.y};
        sink_.numbers("source", source);
        sink_.point("corner", i.corner);
        sink_.extent("size", i.size);
    }

    void edge(const KVGR_EdgeDefinition &e) {
        sink_.numbers("segment_sizes",
                      asNumbers(std::span<const uint8_t>(e.segment_sizes, e.segments)));
        sink_.numbers("segment_counts",
                      asNumbers(std::span<const uint32_t>(e.segment_counts, e.segments)));
        sink_.points("points", kvgr::points(e));
    }

    // The pixels are read row by row, never held whole as text.
    void image(int32_t id, const KVGR_ImageDefinition &i) {
        sink_.number("width", i.width);
        sink_.number("height", i.height);
        sink_.word("color_size", COLOR_SIZE_NAMES[i.color_size]);
        sink_.words("pixels", [&](const WordEmitter &emit) {
            std::vector<uint32_t> row(i.width);
            for (uint32_t y = 0; y < i.height; ++y) {
                reader_.imagePixels(static_cast<uint32_t>(id), y, row);
                for (const uint32_t pixel : row) emit(pixelWord(pixel, i.color_size));
            }
        });
    }

    const kvgr::Reader &reader_;
    FieldSink &sink_;
};

}  // namespace

std::string colorWord(const kvgr::Color &color) {
    return std::string(COLOR_SIZE_NAMES[color.size]) + ":" + pixelWord(color.value, color.size);
}

void describe(const kvgr::Record &record, const kvgr::Reader &reader, FieldSink &sink) {
    Describer(reader, sink).describe(record);
}

}  // namespace kvgtool
