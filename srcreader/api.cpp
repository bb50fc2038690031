// The C interface of kvgreader.h over the decoder.
#include <array>
#include <memory>
#include <new>
#include <optional>

#include "decode.h"
#include "input.h"
#include "kvgreader.h"

using namespace kvgr::impl;

namespace {

constexpr Limits DEFAULTS;
constexpr std::array<uint64_t, KVGR_LIMIT_COUNT> DEFAULT_LIMITS = {
    DEFAULTS.contentBytes, DEFAULTS.points, DEFAULTS.imagePixels, DEFAULTS.memory, DEFAULTS.depth};

// A record of at most this many points keeps its buffer for the next one.
constexpr size_t SMALL_RECORD_POINTS = 4096;
// What the allocator adds to every block it hands out.
constexpr uint64_t BLOCK_OVERHEAD = 16;

KVGR_Color toC(const Color &c) { return {c.value, c.size}; }
KVGR_Angle toC(const Angle &a) { return {toC(a.vector), a.degrees}; }
KVGR_Text toC(const std::string &text) {
    return {text.c_str(), static_cast<uint32_t>(text.size())};
}

KVGR_Palette toC(const PaletteState &p) {
    KVGR_Palette out{};
    std::copy(p.colors.begin(), p.colors.end(), out.colors);
    out.length = static_cast<uint32_t>(p.length);
    out.color_size = p.colorSize;
    return out;
}

KVGR_State toC(const StreamState &s) {
    const GraphicState &g = s.graphic;
    KVGR_State out{};
    out.point_size = s.sizes.point;
    out.rel_point_size = s.sizes.relPoint;
    out.color_size = s.sizes.color;
    out.blend_mode = g.blendMode;
    out.image_stretch_mode = g.imageStretchMode;
    out.line = {toC(g.line.color), g.line.dashes, g.line.joint, g.line.begin, g.line.end,
                g.line.weight};
    out.mark = {toC(g.mark.color), g.mark.type, g.mark.size};
    const FillState &f = g.fill;
    out.fill = {static_cast<uint8_t>(f.mode), toC(f.color),         toC(f.gradientP0),
                toC(f.gradientC0),            toC(f.gradientP1),    toC(f.gradientC1),
                toC(f.textureCorner),         f.textureImage,       toC(f.textureSize)};
    out.text = {toC(g.text.color), g.text.typeface,  g.text.style,
                g.text.size,       g.text.alignment, g.text.direction};
    out.palette = toC(g.palette);
    out.depth = s.depth;
    return out;
}

struct Failure {
    int code = KVGR_ERR_NONE;
    uint64_t offset = 0;
    std::string reason;
    std::string message;
};

}  // namespace

struct KVGR_Reader {
    std::array<uint64_t, KVGR_LIMIT_COUNT> limits = DEFAULT_LIMITS;
    bool opened = false;  // an opening was tried
    std::optional<Decoder> decoder;  // once an opening got as far as the input
    bool readable = false;           // the header was read
    KVGR_Header header{};
    // The decoder's state in the public layout, made when asked for after a record.
    mutable KVGR_State state{};
    mutable bool stateStale = true;
    Failure failure;  // the last one
    Failure fault;    // the input's first fault, which every later read reports again

    Record record;
    KVGR_Record out{};
    std::vector<KVGR_Point> points;  // the current record's absolute points
    std::vector<uint8_t> segmentSizes;
    std::vector<uint32_t> segmentCounts;
    std::vector<KVGR_Color> colors;

    // What the definitions give out, kept as long as the reader.
    std::vector<std::vector<KVGR_Point>> edgePoints;
    std::vector<std::unique_ptr<KVGR_Palette>> imagePalettes;

    int fail(int code, uint64_t offset, const std::string &reason) {
        failure.code = code;
        failure.offset = offset;
        failure.reason = reason;
        failure.message = Error{offset, reason, code}.message();
        return -1;
    }
    int fail(const Error &error) { return fail(error.code, error.offset, error.reason); }
    // A failure of the input: reading stops there for good.
    int stop(int code, uint64_t offset, const std::string &reason) {
        fail(code, offset, reason);
        fault = failure;
        return -1;
    }
    int stop(const Error &error) { return stop(error.code, error.offset, error.reason); }
    int usage(const char *reason) { return fail(KVGR_ERR_USAGE, 0, reason); }

    int open(std::unique_ptr<Source> (*make)(const void *), const void *arguments);
    int next(const KVGR_Record **result);
    void convert();
    bool keepDefinition();
};

namespace {

// Runs `body`, turning what it throws into a failure of the reader.
template <class F>
int guarded(KVGR_Reader *r, F body) {
    try {
        return body();
    } catch (const Fault &fault) {
        return r->stop(fault.code, fault.offset.value_or(0), fault.reason);
    } catch (const std::bad_alloc &) {
        return r->stop(KVGR_ERR_MEMORY, 0, "out of memory");
    }
}

// The absolute points of a chain into `points`: the start, then each step added to the point
// before it.
void absolute(Point start, std::span<const Point> steps, std::vector<KVGR_Point> &points) {
    points.clear();  // grown to the size asked for, not doubled from the last record's
    points.resize(steps.size() + 1);
    KVGR_Point p = toC(start);
    points[0] = p;
    for (size_t i = 0; i < steps.size(); ++i) {
        p = {p.x + steps[i].x, p.y + steps[i].y};
        points[i + 1] = p;
    }
}

}  // namespace

int KVGR_Reader::open(std::unique_ptr<Source> (*make)(const void *), const void *arguments) {
    if (opened) return usage("an input is open already");
    opened = true;
    return guarded(this, [&] {
        const Limits l{limits[KVGR_LIMIT_CONTENT_BYTES], limits[KVGR_LIMIT_POINTS],
                       limits[KVGR_LIMIT_IMAGE_PIXELS], limits[KVGR_LIMIT_MEMORY],
                       limits[KVGR_LIMIT_DEPTH]};
        decoder.emplace(std::make_unique<Content>(make(arguments), l.contentBytes), l);
        if (decoder->error()) return stop(*decoder->error());
        header = decoder->header().c();
        readable = true;
        return 0;
    });
}

int KVGR_Reader::next(const KVGR_Record **result) {
    if (fault.code != KVGR_ERR_NONE) {
        failure = fault;
        return -1;
    }
    if (!readable) return usage("no input is open");
    // The last record's points go before the next is decoded, unless they are few: the memory
    // limit counts a record's arguments only while it is current.
    if (points.capacity() > SMALL_RECORD_POINTS) points = {};
    return guarded(this, [&] {
        if (!decoder->next(record)) return decoder->error() ? stop(*decoder->error()) : 0;
        convert();
        if (!keepDefinition()) return stop(*decoder->error());
        stateStale = true;
        *result = &out;
        return 1;
    });
}

void KVGR_Reader::convert() {
    out = KVGR_Record{};
    out.code = record.code;
    out.section = record.section == Section::Layers ? KVGR_SECTION_LAYERS : KVGR_SECTION_DEFINITIONS;
    out.shape = record.shape ? static_cast<int32_t>(*record.shape) : -1;
    out.definition = record.definition ? static_cast<int32_t>(*record.definition) : -1;
    out.offset = record.offset;
    out.length = record.length;
    out.points = pointCount(record);
    const auto chain = [&](Point start, std::span<const Point> steps) {
        absolute(start, steps, points);
        return points.data();
    };
    std::visit(
        Overloaded{
            [&](const Extension &e) { out.as.extension = {toC(e.parameter), toC(e.value)}; },
            [&](const Layer &l) { out.as.layer = {l.visible, l.detectable, toC(l.name)}; },
            [&](const Object &o) { out.as.object = {toC(o.name)}; },
            [&](const Figure &f) {
                out.as.figure = {chain(f.start, f.steps), static_cast<uint32_t>(points.size())};
            },
            [&](const Cubic &c) {
                out.as.cubic = {chain(c.start, c.steps), static_cast<uint32_t>(points.size()),
                                c.segments};
            },
            [&](const Arc &a) {
                out.as.arc = {toC(a.center), toC(a.halfSize), toC(a.start), toC(a.end)};
            },
            [&](const Text &t) { out.as.text = {toC(t.anchor), toC(t.text)}; },
            [&](const ShapeInstance &s) {
                out.as.shape = {s.shape, toC(s.center), toC(s.rotation), toC(s.halfSize)};
            },
            [&](const ImagePart &i) {
                out.as.image = {i.image, toC(i.sourceMin), toC(i.sourceMax), toC(i.corner),
                                toC(i.size)};
            },
            [&](const FullImage &f) {
                const ImageDefinition &image = decoder->definitions().images[f.image];
                out.as.image = {f.image, {0, 0}, {double(image.width), double(image.height)},
                                toC(f.corner), toC(f.size)};
            },
            [&](const Mark &m) { out.as.mark = {toC(m.at)}; },
            [&](const Line &l) {
                out.as.line = {toC(l.start), {l.start.x + l.step.x, l.start.y + l.step.y}};
            },
            [&](const Box &b) { out.as.box = {toC(b.corner), toC(b.size)}; },
            [&](const Circle &c) { out.as.circle = {toC(c.center), c.radius}; },
            [&](const Ellipse &e) { out.as.ellipse = {toC(e.center), toC(e.halfSize)}; },
            [&](const Stamp &s) { out.as.stamp = {s.shape, toC(s.at)}; },
            [&](const EdgeDefinition &e) {
                segmentSizes.clear();
                segmentCounts.clear();
                for (const EdgeSegment &s : e.segments) {
                    segmentSizes.push_back(s.relPointSize);
                    segmentCounts.push_back(s.count);
                }
                out.as.edge = {chain(e.start, e.steps), static_cast<uint32_t>(points.size()),
                               static_cast<uint32_t>(e.segments.size()), segmentSizes.data(),
                               segmentCounts.data()};
            },
            [&](const FaceDefinition &f) {
                out.as.face = {f.edges.data(), static_cast<uint32_t>(f.edges.size()),
                               f.holes.data(), static_cast<uint32_t>(f.holes.size())};
            },
            [&](const EdgeUse &e) { out.as.edge_use = {e.edge}; },
            [&](const EdgeRangeUse &r) { out.as.edge_range = {r.first, r.last}; },
            [&](const FaceUse &f) { out.as.face_use = {f.face}; },
            [&](const SizeChange &s) { out.as.size = {s.size}; },
            [&](const ByteAttribute &b) { out.as.byte = {b.value}; },
            [&](const ColorAttribute &c) { out.as.color = {toC(c.color)}; },
            [&](const LineDashes &d) { out.as.dashes = {d.pattern}; },
            [&](const LineStyle &s) { out.as.line_style = {s.joint, s.begin, s.end, s.weight}; },
            [&](const MarkStyle &s) { out.as.mark_style = {s.type, s.size}; },
            [&](const GradientFill &g) {
                out.as.gradient = {toC(g.p0), toC(g.c0), toC(g.p1), toC(g.c1)};
            },
            [&](const TextureFill &t) { out.as.texture = {toC(t.corner), {0, 0}, t.image}; },
            [&](const StretchedTextureFill &t) {
                out.as.texture = {toC(t.corner), toC(t.size), t.image};
            },
            [&](const Font &f) { out.as.font = {f.typeface, f.style, f.size}; },
            [&](const TextAlignment &t) { out.as.alignment = {t.alignment, toC(t.direction)}; },
            [&](const Palette &p) {
                colors.clear();
                for (const Color &c : p.entries) colors.push_back(toC(c));
                out.as.palette = {colors.data(), static_cast<uint32_t>(colors.size())};
            },
            [&](const ImageDefinition &i) {
                out.as.image_definition = {i.width, i.height, i.colorSize};
            },
            [&](const ShapeBegin &s) { out.as.shape_begin = {toC(s.corner)}; },
            [](const ShapeEnd &) {},
        },
        record.payload);
}

// Edges and images keep what the definition getters give out, within the memory limit; false
// when that would pass it.
bool KVGR_Reader::keepDefinition() {
    if (record.code == kvgfmt::SET_EDGE) {
        const uint64_t bytes = points.size() * sizeof(KVGR_Point) + BLOCK_OVERHEAD +
                               2 * sizeof(std::vector<KVGR_Point>);
        if (!decoder->hold(record, bytes)) return false;
        edgePoints.push_back(points);
    }
    if (record.code == kvgfmt::SET_IMAGE) {
        constexpr uint64_t PALETTE_BYTES =
            sizeof(KVGR_Palette) + BLOCK_OVERHEAD + 2 * sizeof(std::unique_ptr<KVGR_Palette>);
        if (!decoder->hold(record, PALETTE_BYTES)) return false;
        const ImageDefinition &image = decoder->definitions().images.back();
        std::unique_ptr<KVGR_Palette> palette;
        if (isIndexColorSize(image.colorSize)) {
            palette = std::make_unique<KVGR_Palette>();
            for (size_t i = 0; i < image.palette.size(); ++i) palette->colors[i] = image.palette[i].value;
            palette->length = static_cast<uint32_t>(image.palette.size());
            palette->color_size = image.palette.empty() ? kvgfmt::COLOR_RGB : image.palette[0].size;
        }
        imagePalettes.push_back(std::move(palette));
    }
    return true;
}

// ---- The C interface

namespace {

// The error of a NULL reader.
constexpr const char *NO_READER = "no reader";

bool hasDecoder(const KVGR_Reader *r) { return r != nullptr && r->decoder.has_value(); }

}  // namespace

KVGR_Reader *KVGR_new(void) { return new (std::nothrow) KVGR_Reader; }

void KVGR_delete(KVGR_Reader *reader) { delete reader; }

int KVGR_setLimit(KVGR_Reader *r, int limit, uint64_t value) {
    if (r == nullptr) return -1;
    if (limit < 0 || limit >= KVGR_LIMIT_COUNT) return r->usage("unknown limit");
    if (r->opened) return r->usage("limits are set before an input is opened");
    r->limits[static_cast<size_t>(limit)] = value;
    return 0;
}

uint64_t KVGR_getLimit(const KVGR_Reader *r, int limit) {
    if (r == nullptr || limit < 0 || limit >= KVGR_LIMIT_COUNT) return 0;
    return r->limits[static_cast<size_t>(limit)];
}

int KVGR_getErrorCode(const KVGR_Reader *r) {
    return r != nullptr ? r->failure.code : KVGR_ERR_USAGE;
}
uint64_t KVGR_getErrorOffset(const KVGR_Reader *r) { return r != nullptr ? r->failure.offset : 0; }
const char *KVGR_getErrorReason(const KVGR_Reader *r) {
    return r != nullptr ? r->failure.reason.c_str() : NO_READER;
}
const char *KVGR_getErrorMessage(const KVGR_Reader *r) {
    return r != nullptr ? r->failure.message.c_str() : NO_READER;
}

int KVGR_openFile(KVGR_Reader *r, const char *path) {
    if (r == nullptr) return -1;
    if (path == nullptr) return r->usage("no path");
    return r->open([](const void *p) { return fileSource(static_cast<const char *>(p)); }, path);
}

int KVGR_openFd(KVGR_Reader *r, int fd) {
    if (r == nullptr) return -1;
    return r->open([](const void *p) { return fdSource(*static_cast<const int *>(p), false); },
                   &fd);
}

int KVGR_openMemory(KVGR_Reader *r, const void *data, size_t size) {
    if (r == nullptr) return -1;
    if (data == nullptr && size != 0) return r->usage("no data");
    const std::span<const uint8_t> bytes(static_cast<const uint8_t *>(data), size);
    return r->open(
        [](const void *p) { return memorySource(*static_cast<const std::span<const uint8_t> *>(p)); },
        &bytes);
}

int KVGR_openStream(KVGR_Reader *r, KVGR_ReadFunction read, void *user) {
    if (r == nullptr) return -1;
    if (read == nullptr) return r->usage("no read function");
    struct Stream {
        KVGR_ReadFunction read;
        void *user;
    } stream{read, user};
    return r->open(
        [](const void *p) {
            const auto *s = static_cast<const Stream *>(p);
            return streamSource(s->read, s->user);
        },
        &stream);
}

const KVGR_Header *KVGR_getHeader(const KVGR_Reader *r) {
    return r != nullptr && r->readable ? &r->header : nullptr;
}

int KVGR_next(KVGR_Reader *r, const KVGR_Record **record) {
    if (r == nullptr) return -1;
    if (record == nullptr) return r->usage("no record pointer");
    return r->next(record);
}

uint64_t KVGR_getContentBytes(const KVGR_Reader *r) {
    return hasDecoder(r) ? r->decoder->content().contentBytes() : 0;
}

int64_t KVGR_getLayerSectionOffset(const KVGR_Reader *r) {
    if (!hasDecoder(r) || !r->decoder->layerSectionOffset()) return -1;
    return static_cast<int64_t>(*r->decoder->layerSectionOffset());
}

int KVGR_isCompressed(const KVGR_Reader *r) {
    return hasDecoder(r) && r->decoder->content().compressed() ? 1 : 0;
}

uint64_t KVGR_getInputBytes(const KVGR_Reader *r) {
    return hasDecoder(r) ? r->decoder->content().inputBytes() : 0;
}

const KVGR_State *KVGR_getState(const KVGR_Reader *r) {
    if (r == nullptr || !r->readable) return nullptr;
    if (r->stateStale) r->state = toC(r->decoder->state());
    r->stateStale = false;
    return &r->state;
}

KVGR_Counts KVGR_getDefinitionCounts(const KVGR_Reader *r) {
    if (!hasDecoder(r)) return {};
    const Definitions &d = r->decoder->definitions();
    return {static_cast<uint32_t>(d.edges.size()), static_cast<uint32_t>(d.faces.size()),
            static_cast<uint32_t>(d.images.size()), static_cast<uint32_t>(d.shapes.size())};
}

namespace {

// The definition `id` of `list`, or null (also when there is no list).
template <class List>
auto *defined(const List *list, uint64_t id) {
    return list != nullptr && id < list->size() ? &(*list)[id] : nullptr;
}

// The definition `id` of one kind (`Definitions::faces`, ...), or null before a file is open.
template <class List>
auto *definition(const KVGR_Reader *r, List Definitions::*kind, uint64_t id) {
    return defined(hasDecoder(r) ? &(r->decoder->definitions().*kind) : nullptr, id);
}

}  // namespace

int KVGR_getEdge(const KVGR_Reader *r, int32_t edge, KVGR_Edge *out) {
    const int64_t id = edge < 0 ? -int64_t{edge} : int64_t{edge};
    if (r == nullptr || out == nullptr || id == 0) return -1;
    const auto *points = defined(&r->edgePoints, static_cast<uint64_t>(id - 1));
    if (points == nullptr) return -1;
    *out = {points->data(), static_cast<uint32_t>(points->size()), edge < 0 ? 1 : 0};
    return 0;
}

int KVGR_getFace(const KVGR_Reader *r, uint32_t face, KVGR_Face *out) {
    const FaceDefinition *f = definition(r, &Definitions::faces, face);
    if (f == nullptr || out == nullptr) return -1;
    *out = {f->edges.data(), static_cast<uint32_t>(f->edges.size()), f->holes.data(),
            static_cast<uint32_t>(f->holes.size())};
    return 0;
}

int KVGR_getImage(const KVGR_Reader *r, uint32_t image, KVGR_Image *out) {
    const ImageDefinition *i = definition(r, &Definitions::images, image);
    if (i == nullptr || out == nullptr) return -1;
    *out = {i->width, i->height, i->colorSize, r->imagePalettes[image].get()};
    return 0;
}

namespace {

// Image `image`, if it has a row `row`.
const ImageDefinition *imageWithRow(const KVGR_Reader *r, uint32_t image, uint32_t row) {
    const ImageDefinition *i = definition(r, &Definitions::images, image);
    return i != nullptr && row < i->height ? i : nullptr;
}

}  // namespace

int KVGR_getImagePixels(const KVGR_Reader *r, uint32_t image, uint32_t row, uint32_t *values) {
    const ImageDefinition *i = imageWithRow(r, image, row);
    if (i == nullptr || (values == nullptr && i->width != 0)) return -1;
    i->row(row, values);
    return 0;
}

int KVGR_getImageRGBA(const KVGR_Reader *r, uint32_t image, uint32_t row, uint8_t *rgba) {
    const ImageDefinition *i = imageWithRow(r, image, row);
    if (i == nullptr || (rgba == nullptr && i->width != 0)) return -1;
    const KVGR_Palette *palette = r->imagePalettes[image].get();
    const uint64_t first = uint64_t{row} * i->width;
    for (uint64_t x = first; x < first + i->width; ++x) {
        const uint32_t c = KVGR_colorToRGBA({i->pixel(x), i->colorSize}, palette);
        for (int shift = 24; shift >= 0; shift -= 8) *rgba++ = static_cast<uint8_t>(c >> shift);
    }
    return 0;
}

int KVGR_getShape(const KVGR_Reader *r, uint32_t shape, KVGR_Shape *out) {
    const ShapeDefinition *s = definition(r, &Definitions::shapes, shape);
    if (s == nullptr || out == nullptr) return -1;
    *out = {toC(s->corner), s->offset, s->complete ? 1 : 0};
    return 0;
}
