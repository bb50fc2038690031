#include "kvgrender.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <unordered_map>

#include "image_source.h"
#include "decoder.h"
#include "style.h"

namespace kvgrender {

namespace {

namespace f = kvgfmt;

constexpr double MM_PER_CSS_PIXEL = 25.4 / 96;
constexpr double DASH_BIT_MM = 0.5;
// A path of n points holds about 34 n bytes while it is built: the floor keeps a file of a few
// bytes that repeats one edge within some 40 MB.
constexpr uint64_t FLOOR_POINTS = uint64_t{1} << 20;
constexpr uint64_t POINTS_PER_BYTE = 16;

// Horizontal anchors and baseline shifts (em, down) of the text alignments, in their order.
struct Alignment {
    TextRun::Anchor anchor;
    double baselineEm;
};
constexpr double TOP_EM = 0.75, MIDDLE_EM = 0.35, BOTTOM_EM = -0.22;
constexpr Alignment ALIGNMENTS[] = {
    {TextRun::Anchor::Middle, TOP_EM},    {TextRun::Anchor::Middle, BOTTOM_EM},  // N, S
    {TextRun::Anchor::End, MIDDLE_EM},    {TextRun::Anchor::Start, MIDDLE_EM},   // E, W
    {TextRun::Anchor::End, TOP_EM},       {TextRun::Anchor::Start, TOP_EM},      // NE, NW
    {TextRun::Anchor::End, BOTTOM_EM},    {TextRun::Anchor::Start, BOTTOM_EM},   // SE, SW
    {TextRun::Anchor::Middle, MIDDLE_EM},                                        // CENTER
    {TextRun::Anchor::Start, 0},          {TextRun::Anchor::Middle, 0},          // BASE L, C
    {TextRun::Anchor::End, 0},                                                   // BASE R
};

struct LimitExceeded {
    std::string reason;
};

struct KeyHash {
    size_t operator()(const PathKey &k) const {
        const uint64_t ids = uint64_t(uint32_t(k.first)) << 32 | uint32_t(k.last);
        return std::hash<uint64_t>()(ids) ^ (size_t(k.kind) << 1 | k.inShape);
    }
};

// What the core remembers of a path it may draw again.
struct PathInfo {
    uint64_t size = 0;
    bool finite = true;  // not drawn otherwise
    std::optional<Ends> ends;
};

bool finite(Vec p) { return std::isfinite(p.x) && std::isfinite(p.y); }

uint64_t saturatingAdd(uint64_t a, uint64_t b) {
    return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max()
                                                        : a + b;
}

bool isFilled(uint8_t code) {
    return code == f::FILL_POLYGON || code == f::FILL_CUBIC_BEZIER || code == f::FILL_ARC ||
           code == f::FILL_BOX || code == f::FILL_CIRCLE || code == f::FILL_ELLIPSE;
}

class Core {
public:
    Core(const kvgr::impl::Decoder &decoder, Painter &painter, const Limits &limits)
        : decoder_(decoder), header_(decoder.header()), painter_(painter), limits_(limits),
          scale_(header_.worldScale()) {}

    // Begins the page; false when its size cannot be drawn.
    bool begin();
    void draw(const kvgr::impl::Record &record);
    void finish();

private:
    const kvgr::impl::GraphicState &graphic() const { return decoder_.state().graphic; }
    const kvgr::impl::Definitions &definitions() const { return decoder_.definitions(); }

    // ---- Units: page millimetres outside shapes, file units inside ----
    Vec position(kvgr::impl::Point p) const {
        if (shape_) return {p.x, p.y};
        const kvgr::impl::Point page = header_.toWorld(p);
        return {page.x, page.y};
    }
    Vec extent(kvgr::impl::Point p) const {
        if (shape_) return {p.x, p.y};
        const kvgr::impl::Point page = header_.toWorldExtent(p);
        return {page.x, page.y};
    }
    double length(double fileUnits) const { return shape_ ? fileUnits : fileUnits * scale_; }
    double fromPage(double mm) const { return shape_ ? mm / scale_ : mm; }
    std::vector<Vec> chain(kvgr::impl::Point start, std::span<const kvgr::impl::Point> steps) const;

    // ---- Budget ----
    void build(uint64_t points);
    void paint(uint64_t points);

    // ---- Styles ----
    Rgba resolve(const kvgr::impl::Color &c) const {
        const kvgr::impl::PaletteState &p = graphic().palette;
        return resolveColor(c.value, c.size,
                            std::span(p.colors.data(), static_cast<size_t>(p.length)),
                            p.colorSize);
    }
    std::optional<Stroke> strokeStyle() const;
    std::optional<Fill> fillStyle();
    const ImageSource &source(uint32_t image);

    // ---- Drawing ----
    void drawPath(const Path &path, bool filled, bool decorated);
    template <class Build>
    void drawKeyed(PathKey key, bool filled, bool decorated, Build build);
    void paintFigure(const Figure &figure, const PathInfo &info, bool filled, bool decorated);
    void decorate(const Ends &ends, const Stroke &stroke);
    void appendEdge(Path &path, int32_t reference, bool rings);
    void appendFace(Path &path, uint32_t face);

    void layer(const kvgr::impl::Layer &layer);
    void object(const kvgr::impl::Object &object);
    void closeGroups();
    void chainFigure(const kvgr::impl::Figure &figure, bool closed, bool filled);
    void cubic(const kvgr::impl::Cubic &cubic, bool filled);
    void arc(const kvgr::impl::Arc &arc, bool filled);
    void ellipse(kvgr::impl::Point center, Vec radii, bool filled);
    void box(const kvgr::impl::Box &box, bool filled);
    void text(const kvgr::impl::Text &text);
    void mark(const kvgr::impl::Mark &mark);
    void image(uint32_t id, kvgr::impl::Point corner, kvgr::impl::Point size, Vec sourceMin, Vec sourceMax);
    void place(uint32_t shape, kvgr::impl::Point origin, const Affine &local);
    void edgeRange(int32_t first, int32_t last);

    const kvgr::impl::Decoder &decoder_;
    const kvgr::impl::Header &header_;
    Painter &painter_;
    const Limits limits_;
    const double scale_;

    uint64_t built_ = 0;
    uint64_t painted_ = 0;
    std::optional<uint32_t> shape_;  // the shape being defined
    std::vector<uint64_t> shapeCosts_;
    bool inLayer_ = false;
    uint64_t groupDepth_ = 0;

    std::unordered_map<PathKey, PathInfo, KeyHash> paths_;
    PathKey lastKey_;  // the keyed path in lastPath_, if not anonymous
    Path lastPath_;
    std::vector<uint32_t> visited_;  // faces, by the fill that last reached them
    uint32_t fill_ = 0;
    std::vector<std::unique_ptr<DefinedImage>> sources_;
};

// The page of the header, unless its size cannot be drawn.
std::optional<Page> pageOf(const kvgr::impl::Header &header) {
    const kvgr::impl::Point mm = header.millimetres;
    const auto usable = [](double v) { return std::isfinite(v) && v > 0; };
    if (!usable(mm.x) || !usable(mm.y)) return std::nullopt;
    const uint32_t bg = header.background;
    return Page{mm.x, mm.y, header.worldScale(),
                Rgba{uint8_t(bg >> 16), uint8_t(bg >> 8), uint8_t(bg), 255}};
}

constexpr const char *UNDRAWABLE_PAGE = "header: a page of this size cannot be drawn";

bool Core::begin() {
    const std::optional<Page> page = pageOf(header_);
    if (page) painter_.beginPage(*page);
    return page.has_value();
}

void Core::finish() {
    closeGroups();
    if (inLayer_) painter_.endLayer();
    painter_.endPage();
}

std::vector<Vec> Core::chain(kvgr::impl::Point start, std::span<const kvgr::impl::Point> steps) const {
    std::vector<Vec> points;
    points.reserve(steps.size() + 1);
    for (const kvgr::impl::Point &p : kvgr::impl::chainPoints(start, steps)) points.push_back(position(p));
    return points;
}

void Core::build(uint64_t points) {
    built_ = saturatingAdd(built_, points);
    if (built_ > limits_.builtPoints)
        throw LimitExceeded{"the drawing needs paths of more than " +
                            std::to_string(limits_.builtPoints) +
                            " points in all (uses of edges and faces repeat them); not drawn"};
}

void Core::paint(uint64_t points) {
    if (shape_) {
        shapeCosts_[*shape_] = saturatingAdd(shapeCosts_[*shape_], points);
        return;
    }
    painted_ = saturatingAdd(painted_, points);
    if (painted_ > limits_.paintedPoints)
        throw LimitExceeded{"the drawing paints more than " +
                            std::to_string(limits_.paintedPoints) +
                            " points in all (uses of edges, faces and shapes repeat them); "
                            "not drawn"};
}

std::optional<Stroke> Core::strokeStyle() const {
    const kvgr::impl::LineState &line = graphic().line;
    const double width = length(std::max<double>(line.weight, 1));
    const std::optional<Dashes> dashes =
        dashPattern(line.dashes, std::max(width, fromPage(DASH_BIT_MM)));
    if (!dashes) return std::nullopt;
    const Joint joints[] = {Joint::Miter, Joint::Miter, Joint::Round, Joint::Bevel};
    return Stroke{resolve(line.color), width, joints[line.joint & 3], dashes->lengths,
                  dashes->offset};
}

std::optional<Fill> Core::fillStyle() {
    const kvgr::impl::FillState &fill = graphic().fill;
    Fill out;
    switch (fill.mode) {
        case kvgr::impl::FillMode::Color: out.color = resolve(fill.color); return out;
        case kvgr::impl::FillMode::Gradient:
            out.kind = Fill::Kind::Gradient;
            out.gradient = {position(fill.gradientP0), position(fill.gradientP1),
                            resolve(fill.gradientC0), resolve(fill.gradientC1)};
            if (!finite(out.gradient.p0) || !finite(out.gradient.p1)) return std::nullopt;
            return out;
        default: break;
    }
    const kvgr::impl::ImageDefinition &image = definitions().images[fill.textureImage];
    const double pixel = fromPage(MM_PER_CSS_PIXEL);
    const Vec tile = fill.mode == kvgr::impl::FillMode::StretchedTexture
                         ? extent(fill.textureSize)
                         : Vec{image.width * pixel, image.height * pixel};
    const Vec origin = position(fill.textureCorner);
    const bool drawable = image.width > 0 && image.height > 0 && finite(tile) && finite(origin) &&
                          tile.x > 0 && tile.y > 0;
    if (!drawable) return std::nullopt;
    out.kind = Fill::Kind::Texture;
    out.texture = {fill.textureImage, &source(fill.textureImage), origin, tile,
                   graphic().imageStretchMode != 0};
    return out;
}

const ImageSource &Core::source(uint32_t image) {
    if (image >= sources_.size()) sources_.resize(image + 1);
    if (!sources_[image]) sources_[image] = std::make_unique<DefinedImage>(definitions(), image);
    return *sources_[image];
}

void Core::drawPath(const Path &path, bool filled, bool decorated) {
    build(path.size());
    PathInfo info{path.size(), path.finite(), decorated ? pathEnds(path) : std::nullopt};
    paintFigure({PathKey{}, &path}, info, filled, decorated);
}

// A path that a painter may keep: built unless the painter holds it or it is the last one
// built.
template <class Build>
void Core::drawKeyed(PathKey key, bool filled, bool decorated, Build buildPath) {
    key.inShape = shape_.has_value();
    const Path *path = nullptr;
    if (!painter_.holdsPath(key)) {
        if (!(lastKey_ == key && lastKey_.kind != PathKey::Kind::Anonymous)) {
            lastKey_ = PathKey{};
            lastPath_ = Path{};
            buildPath(lastPath_);
            paths_[key] = {lastPath_.size(), lastPath_.finite(), pathEnds(lastPath_)};
            lastKey_ = key;
        }
        path = &lastPath_;
    }
    paintFigure({key, path}, paths_.at(key), filled, decorated);
}

void Core::paintFigure(const Figure &figure, const PathInfo &info, bool filled,
                       bool decorated) {
    if (info.size == 0 || !info.finite) return;
    if (filled) {
        const std::optional<Fill> fill = fillStyle();
        if (!fill) return;
        paint(info.size);
        painter_.fill(figure, *fill);
        return;
    }
    const std::optional<Stroke> stroke = strokeStyle();
    if (!stroke) return;
    paint(info.size);
    painter_.stroke(figure, *stroke);
    if (decorated && info.ends) decorate(*info.ends, *stroke);
}

void Core::decorate(const Ends &ends, const Stroke &stroke) {
    const kvgr::impl::LineState &line = graphic().line;
    const auto head = [&](uint8_t style, Vec tip, Vec outward) {
        if (style == 0) return;
        const Decoration d = decoration(style, tip, outward, stroke.width);
        build(d.path.size());
        paint(d.path.size());
        const Figure figure{PathKey{}, &d.path};
        if (d.stroked) {
            painter_.stroke(figure, Stroke{stroke.color, d.strokeWidth, Joint::Miter, {}, 0});
        } else {
            Fill fill;
            fill.color = stroke.color;
            painter_.fill(figure, fill);
        }
    };
    head(line.begin, ends.start, ends.startOutward);
    head(line.end, ends.end, ends.endOutward);
}

void Core::appendEdge(Path &path, int32_t reference, bool rings) {
    const kvgr::impl::EdgeDefinition *edge = definitions().edge(reference);
    build(1);
    if (edge == nullptr) return;
    build(edge->steps.size() + 1);
    std::vector<Vec> points = chain(edge->start, edge->steps);
    if (reference < 0) std::reverse(points.begin(), points.end());
    if (rings && !path.continuesAt(points.front())) path.close();
    path.chain(points);
}

// The face's rings, then those of its holes, theirs, and so on, each face once, depth first.
void Core::appendFace(Path &path, uint32_t face) {
    const std::vector<kvgr::impl::FaceDefinition> &faces = definitions().faces;
    if (visited_.size() < faces.size()) visited_.resize(faces.size());
    if (++fill_ == 0) {  // the stamps wrapped: forget every earlier fill
        std::fill(visited_.begin(), visited_.end(), 0);
        fill_ = 1;
    }
    std::vector<uint32_t> pending{face};
    while (!pending.empty()) {
        const uint32_t id = pending.back();
        pending.pop_back();
        build(1);
        if (id >= faces.size() || visited_[id] == fill_) continue;
        visited_[id] = fill_;
        for (const int32_t edge : faces[id].edges) appendEdge(path, edge, true);
        path.close();
        pending.insert(pending.end(), faces[id].holes.rbegin(), faces[id].holes.rend());
    }
}

void Core::edgeRange(int32_t first, int32_t last) {
    // Identifiers beyond the defined edges draw nothing: clamp to them.
    const int32_t defined = static_cast<int32_t>(definitions().edges.size());
    const auto clamp = [&](int32_t id) { return std::clamp(id, -defined, defined); };
    drawKeyed({PathKey::Kind::EdgeRange, false, first, last}, false, true, [&](Path &path) {
        const int32_t from = clamp(first), to = clamp(last), step = from <= to ? 1 : -1;
        for (int32_t id = from;; id += step) {
            if (id != 0) appendEdge(path, id, false);
            if (id == to) break;
        }
    });
}

void Core::layer(const kvgr::impl::Layer &layer) {
    closeGroups();
    if (inLayer_) painter_.endLayer();
    painter_.beginLayer(layer.name, layer.visible);
    inLayer_ = true;
}

// A named object opens a group, an empty name closes the innermost; groups beyond the depth
// limit are counted but not opened.
void Core::object(const kvgr::impl::Object &object) {
    if (!object.name.empty()) {
        if (++groupDepth_ <= limits_.groupDepth) painter_.beginGroup(object.name);
    } else if (groupDepth_ > 0) {
        if (groupDepth_-- <= limits_.groupDepth) painter_.endGroup();
    }
}

void Core::closeGroups() {
    while (groupDepth_ > 0) object({});
}

void Core::chainFigure(const kvgr::impl::Figure &figure, bool closed, bool filled) {
    Path path;
    path.chain(chain(figure.start, figure.steps));
    if (closed) path.close();
    drawPath(path, filled, !closed);
}

// Cubic segments; a filled curve's last end point is its start.
void Core::cubic(const kvgr::impl::Cubic &c, bool filled) {
    std::vector<Vec> points = chain(c.start, c.steps);
    if (filled) points.push_back(points.front());
    Path path;
    path.moveTo(points[0]);
    for (size_t i = 1; i + 2 < points.size(); i += 3)
        path.cubicTo(points[i], points[i + 1], points[i + 2]);
    if (filled) path.close();
    drawPath(path, filled, !filled);
}

void Core::arc(const kvgr::impl::Arc &a, bool filled) {
    const Vec radii = extent(a.halfSize);
    if (!(radii.x > 0 && radii.y > 0)) return;
    double sweep = a.end.degrees - a.start.degrees;
    if (sweep <= 0) sweep += 360;
    const Arc arc{position(a.center), radii, a.start.degrees, sweep};
    Path path;
    if (filled) {
        path.moveTo(arc.center);
        path.lineTo(arc.at(arc.start));
    } else {
        path.moveTo(arc.at(arc.start));
    }
    path.arcTo(arc);
    if (filled) path.close();
    drawPath(path, filled, !filled);
}

void Core::ellipse(kvgr::impl::Point center, Vec radii, bool filled) {
    if (!(radii.x > 0 && radii.y > 0)) return;
    const Vec c = position(center);
    Path path;
    path.moveTo({c.x + radii.x, c.y});
    path.arcTo({c, radii, 0, 360});
    path.close();
    drawPath(path, filled, false);
}

void Core::box(const kvgr::impl::Box &b, bool filled) {
    const Vec corner = position(b.corner), size = extent(b.size);
    Path path;
    path.chain(std::vector<Vec>{corner, {corner.x + size.x, corner.y}, corner + size,
                                {corner.x, corner.y + size.y}});
    path.close();
    drawPath(path, filled, false);
}

void Core::text(const kvgr::impl::Text &t) {
    const kvgr::impl::TextState &state = graphic().text;
    if (state.size == 0 || t.text.empty()) return;
    const Vec anchor = position(t.anchor);
    if (!finite(anchor)) return;
    const std::string shown = displayText(t.text);
    build(shown.size());
    paint(shown.size());
    const Alignment &align = ALIGNMENTS[state.alignment % std::size(ALIGNMENTS)];
    painter_.text({shown, anchor, length(state.size), resolve(state.color),
                   state.typeface, (state.style & 1) != 0, (state.style & 2) != 0, align.anchor,
                   align.baselineEm, state.direction});
}

void Core::mark(const kvgr::impl::Mark &m) {
    const kvgr::impl::MarkState &state = graphic().mark;
    const Vec at = position(m.at);
    if (state.size == 0 || !finite(at)) return;
    paint(1);
    painter_.mark({state.type, at, fromPage(state.size * MM_PER_CSS_PIXEL),
                   resolve(state.color)});
}

void Core::image(uint32_t id, kvgr::impl::Point corner, kvgr::impl::Point size, Vec sourceMin,
                 Vec sourceMax) {
    const kvgr::impl::ImageDefinition &def = definitions().images[id];
    const Vec at = position(corner), extentOnPage = extent(size);
    const bool drawable = def.width > 0 && def.height > 0 && finite(at) &&
                          finite(extentOnPage) && extentOnPage.x > 0 && extentOnPage.y > 0 &&
                          sourceMax.x > sourceMin.x &&
                          sourceMax.y > sourceMin.y;
    if (!drawable) return;
    paint(4);
    painter_.image({id, &source(id), at, extentOnPage, sourceMin, sourceMax,
                    graphic().imageStretchMode != 0});
}

// A shape with its origin at `origin`, in file units mapped by `local` before the page scale.
void Core::place(uint32_t shape, kvgr::impl::Point origin, const Affine &local) {
    if (shape_ || !definitions().shapes[shape].complete) return;
    const Affine toUser =
        Affine::translation(position(origin)).after(Affine::scaling(scale_, scale_)).after(local);
    if (!std::isfinite(toUser.a + toUser.b + toUser.c + toUser.d + toUser.e + toUser.f)) return;
    paint(std::max<uint64_t>(shapeCosts_[shape], 1));
    painter_.placeShape(shape, toUser);
}

void Core::draw(const kvgr::impl::Record &record) {
    const kvgr::impl::Payload &p = record.payload;
    const bool filled = isFilled(record.code);
    switch (record.code) {
        case f::LAYER: layer(std::get<kvgr::impl::Layer>(p)); break;
        case f::OBJECT: object(std::get<kvgr::impl::Object>(p)); break;
        case f::BEGIN_SET_SHAPE:
            shape_ = *record.definition;
            shapeCosts_.resize(*shape_ + 1);
            painter_.beginShape(*shape_);
            break;
        case f::END_SET_SHAPE:
            painter_.endShape();
            shape_.reset();
            break;
        case f::POLYLINE: chainFigure(std::get<kvgr::impl::Figure>(p), false, false); break;
        case f::DRAW_POLYGON:
        case f::FILL_POLYGON: chainFigure(std::get<kvgr::impl::Figure>(p), true, filled); break;
        case f::DRAW_CUBIC_BEZIER:
        case f::FILL_CUBIC_BEZIER: cubic(std::get<kvgr::impl::Cubic>(p), filled); break;
        case f::DRAW_ARC:
        case f::FILL_ARC: arc(std::get<kvgr::impl::Arc>(p), filled); break;
        case f::TEXT: text(std::get<kvgr::impl::Text>(p)); break;
        case f::MARK: mark(std::get<kvgr::impl::Mark>(p)); break;
        case f::LINE: {
            const auto &l = std::get<kvgr::impl::Line>(p);
            Path path;
            path.moveTo(position(l.start));
            path.lineTo(position({l.start.x + l.step.x, l.start.y + l.step.y}));
            drawPath(path, false, true);
            break;
        }
        case f::DRAW_BOX:
        case f::FILL_BOX: box(std::get<kvgr::impl::Box>(p), filled); break;
        case f::DRAW_CIRCLE:
        case f::FILL_CIRCLE: {
            const auto &c = std::get<kvgr::impl::Circle>(p);
            const double r = length(c.radius);
            ellipse(c.center, {r, r}, filled);
            break;
        }
        case f::DRAW_ELLIPSE:
        case f::FILL_ELLIPSE: {
            const auto &e = std::get<kvgr::impl::Ellipse>(p);
            ellipse(e.center, extent(e.halfSize), filled);
            break;
        }
        case f::SHAPE: {
            const auto &s = std::get<kvgr::impl::ShapeInstance>(p);
            const kvgr::impl::Point corner = definitions().shapes[s.shape].corner;
            place(s.shape, s.center,
                  Affine::rotation(s.rotation.degrees)
                      .after(Affine::scaling(s.halfSize.x / corner.x, s.halfSize.y / corner.y)));
            break;
        }
        case f::STAMP_SHAPE:
        case f::REPEAT_SHAPE: {
            const auto &s = std::get<kvgr::impl::Stamp>(p);
            place(s.shape, s.at, Affine{});
            break;
        }
        case f::FULL_IMAGE: {
            const auto &i = std::get<kvgr::impl::FullImage>(p);
            const kvgr::impl::ImageDefinition &def = definitions().images[i.image];
            image(i.image, i.corner, i.size, {0, 0}, {double(def.width), double(def.height)});
            break;
        }
        case f::IMAGE: {
            const auto &i = std::get<kvgr::impl::ImagePart>(p);
            image(i.image, i.corner, i.size, {i.sourceMin.x, i.sourceMin.y},
                  {i.sourceMax.x, i.sourceMax.y});
            break;
        }
        case f::DRAW_EDGE: {
            const int32_t edge = std::get<kvgr::impl::EdgeUse>(p).edge;
            drawKeyed({PathKey::Kind::Edge, false, edge, edge}, false, true,
                      [&](Path &path) { appendEdge(path, edge, false); });
            break;
        }
        case f::DRAW_EDGE_RANGE: {
            const auto &range = std::get<kvgr::impl::EdgeRangeUse>(p);
            edgeRange(range.first, range.last);
            break;
        }
        case f::FILL_FACE: {
            const uint32_t face = std::get<kvgr::impl::FaceUse>(p).face;
            drawKeyed({PathKey::Kind::Face, false, int32_t(face), int32_t(face)}, true, false,
                      [&](Path &path) { appendFace(path, face); });
            break;
        }
        default: break;  // attributes and definitions: the decoder keeps them
    }
}

}  // namespace

Limits Limits::forFile(uint64_t bytes, bool referencing, const kvgr::impl::Limits &reader) {
    const uint64_t points =
        saturatingAdd(FLOOR_POINTS, bytes > UINT64_MAX / POINTS_PER_BYTE ? UINT64_MAX
                                                                         : bytes * POINTS_PER_BYTE);
    return {points, referencing ? std::numeric_limits<uint64_t>::max() : points, Limits{}.groupDepth,
            reader};
}

std::string Error::message() const { return "offset " + std::to_string(offset) + ": " + reason; }

std::variant<Page, Error> page(std::span<const uint8_t> bytes) {
    const kvgr::impl::Decoder decoder(bytes);
    if (decoder.error()) return Error{decoder.error()->offset, decoder.error()->reason};
    if (const std::optional<Page> found = pageOf(decoder.header())) return *found;
    return Error{0, UNDRAWABLE_PAGE};
}

std::optional<Error> render(std::span<const uint8_t> bytes, Painter &painter,
                            const Limits &limits) {
    kvgr::impl::Decoder decoder(bytes, limits.reader);
    if (decoder.error()) return Error{decoder.error()->offset, decoder.error()->reason};
    Core core(decoder, painter, limits);
    if (!core.begin()) return Error{0, UNDRAWABLE_PAGE};
    kvgr::impl::Record record;
    try {
        while (decoder.next(record)) core.draw(record);
    } catch (const LimitExceeded &limit) {
        return Error{record.offset, limit.reason};
    }
    if (decoder.error()) return Error{decoder.error()->offset, decoder.error()->reason};
    core.finish();
    return std::nullopt;
}

}  // namespace kvgrender
