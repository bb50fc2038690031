#include "decode.h"

namespace kvgr::impl {

using namespace kvgfmt;

namespace {

bool isSizeRecord(uint8_t code) { return code >= POINT_SIZE_FIRST && code <= COLOR_SIZE; }

bool isDefinition(uint8_t code) {
    return code == SET_EDGE || code == SET_FACE || code == SET_IMAGE || code == BEGIN_SET_SHAPE ||
           code == END_SET_SHAPE;
}

// What the writer refuses while a shape is being defined.
bool isRefusedInShape(uint8_t code) {
    return code == LAYER || code == OBJECT || code == SHAPE || code == STAMP_SHAPE ||
           code == REPEAT_SHAPE || code == SET_IMAGE || code == SET_EDGE || code == SET_FACE;
}

// Outside shapes the definitions section holds definitions and what they need: the point
// sizes of their points, the colour size and palette of images.
bool isDefinitionsTopLevel(uint8_t code) {
    return isSizeRecord(code) || code == PALETTE || (isDefinition(code) && code != END_SET_SHAPE);
}

[[noreturn]] void invalid(const std::string &reason) { throw Fault{reason, std::nullopt}; }

// What the allocator adds to every block it hands out.
constexpr uint64_t BLOCK_OVERHEAD = 16;

template <class T>
uint64_t blockBytes(const std::vector<T> &v) {
    return v.capacity() == 0 ? 0 : v.capacity() * sizeof(T) + BLOCK_OVERHEAD;
}
uint64_t blockBytes(const std::string &s) {
    return s.capacity() < sizeof(std::string) ? 0 : s.capacity() + 1 + BLOCK_OVERHEAD;
}

// Bytes a definition keeps for the rest of the file: the blocks of its copy in the definitions,
// and its place in a list that grows by doubling.
uint64_t keptBytes(const Payload &payload) {
    return std::visit(Overloaded{
                          [](const EdgeDefinition &e) {
                              return 2 * sizeof e + e.steps.size() * sizeof(Point) +
                                     e.segments.size() * sizeof(EdgeSegment) + 2 * BLOCK_OVERHEAD;
                          },
                          [](const FaceDefinition &f) {
                              return 2 * sizeof f + f.edges.size() * sizeof(int32_t) +
                                     f.holes.size() * sizeof(uint32_t) + 2 * BLOCK_OVERHEAD;
                          },
                          [](const ImageDefinition &i) {
                              return 2 * sizeof i + i.packed.size() +
                                     i.palette.size() * sizeof(Color) + 2 * BLOCK_OVERHEAD;
                          },
                          [](const auto &) -> uint64_t { return 2 * sizeof(ShapeDefinition); },
                      },
                      payload);
}

// Bytes the current record holds while it is current: its own blocks, and the copies of its
// points and lists the public interface makes (as many again).
uint64_t currentBytes(const Payload &payload) {
    return std::visit(Overloaded{
                          [](const Extension &e) {
                              return blockBytes(e.parameter) + blockBytes(e.value);
                          },
                          [](const Layer &l) { return blockBytes(l.name); },
                          [](const Object &o) { return blockBytes(o.name); },
                          [](const Text &t) { return blockBytes(t.text); },
                          [](const Figure &f) { return 2 * blockBytes(f.steps); },
                          [](const Cubic &c) { return 2 * blockBytes(c.steps); },
                          [](const EdgeDefinition &e) {
                              return 2 * (blockBytes(e.steps) + blockBytes(e.segments));
                          },
                          [](const FaceDefinition &f) {
                              return blockBytes(f.edges) + blockBytes(f.holes);
                          },
                          [](const ImageDefinition &i) {
                              return blockBytes(i.packed) + blockBytes(i.palette);
                          },
                          [](const Palette &p) { return 2 * blockBytes(p.entries); },
                          [](const auto &) -> uint64_t { return 0; },
                      },
                      payload);
}

}  // namespace

void Budget::checkRecord(uint64_t bytes, uint64_t points) const {
    if (held_ + bytes > limits_.memory) {
        throw Fault{"needs more than the limit of " + std::to_string(limits_.memory) +
                        " bytes of memory",
                    std::nullopt, KVGR_ERR_LIMIT};
    }
    if (points_ + points > limits_.points) {
        throw Fault{"more than " + std::to_string(limits_.points) + " points", std::nullopt,
                    KVGR_ERR_LIMIT};
    }
}

void Budget::checkImage(uint64_t pixels) const {
    if (pixels > limits_.imagePixels) {
        throw Fault{"image of " + std::to_string(pixels) + " pixels beyond the limit of " +
                        std::to_string(limits_.imagePixels),
                    std::nullopt, KVGR_ERR_LIMIT};
    }
}

void Budget::checkDepth(uint64_t depth) const {
    if (depth > limits_.depth) {
        throw Fault{"objects nested deeper than " + std::to_string(limits_.depth), std::nullopt,
                    KVGR_ERR_LIMIT};
    }
}

void Budget::spend(uint64_t points, uint64_t kept, uint64_t current) {
    checkRecord(kept + current, points);
    points_ += points;
    held_ += kept;
    current_ = current;
}

void Budget::hold(uint64_t bytes) {
    checkRecord(current_ + bytes, 0);
    held_ += bytes;
}

Decoder::Decoder(std::span<const uint8_t> bytes, const Limits &limits)
    : Decoder(std::make_unique<Content>(memorySource(bytes), limits.contentBytes), limits) {}

Decoder::Decoder(std::unique_ptr<Content> content, const Limits &limits)
    : content_(std::move(content)), cursor_(std::make_unique<Cursor>(*content_)), budget_(limits) {
    try {
        if (cursor_->atEnd()) {
            error_ = Error{0, "empty file"};
            done_ = true;
            return;
        }
        header_ = readHeader(*cursor_);
    } catch (const Fault &fault) {
        const bool ofHeader = fault.code == KVGR_ERR_FORMAT;
        error_ = Error{fault.offset.value_or(0), ofHeader ? "header: " + fault.reason : fault.reason,
                       fault.code};
        done_ = true;
        return;
    }
    state_.sizes = {header_.pointSize, header_.relPointSize, COLOR_RGB};
}

Decoder::~Decoder() = default;

// A fault of the file is told with the record it lies in; one of the input (a damaged gzip
// stream, a failing read) as it is.
void Decoder::fail(const Fault &fault, uint64_t offset, const char *name) {
    const bool inRecord = name != nullptr && !fault.offset &&
                          (fault.code == KVGR_ERR_FORMAT || fault.code == KVGR_ERR_LIMIT);
    error_ = Error{fault.offset.value_or(offset),
                   inRecord ? std::string(name) + ": " + fault.reason : fault.reason, fault.code};
    done_ = true;
}

bool Decoder::next(Record &record) {
    if (done_) return false;
    const uint64_t offset = cursor_->end();
    const char *name = nullptr;
    try {
        if (cursor_->atEnd()) {
            done_ = true;
            finish();
            return false;
        }
        const uint8_t code = cursor_->byte();
        name = recordName(code);
        if (name == nullptr) invalid("unknown record code " + std::to_string(code));
        checkPlacement(code);
        record.code = code;
        record.offset = offset;
        record.section = layerSection_ ? Section::Layers : Section::Definitions;
        record.shape = openShape_;
        record.definition.reset();
        record.payload = ShapeEnd{};  // the last record's arguments are not held meanwhile
        record.payload = decodePayload(*cursor_, code, state_, budget_);
        cursor_->align();
        record.length = cursor_->end() - offset;
        const size_t pendingRoom = pending_.capacity();
        checkUses(record);
        apply(record);
        const uint64_t kept = record.definition ? keptBytes(record.payload) : 0;
        budget_.spend(pointCount(record), kept + (pending_.capacity() - pendingRoom) * sizeof(Use),
                      currentBytes(record.payload));
        return true;
    } catch (const Fault &fault) {
        fail(fault, offset, name);
        return false;
    }
}

bool Decoder::hold(const Record &record, uint64_t bytes) {
    try {
        budget_.hold(bytes);
        return true;
    } catch (const Fault &fault) {
        fail(fault, record.offset, recordName(record.code));
        return false;
    }
}

void Decoder::checkPlacement(uint8_t code) const {
    if (openShape_) {
        if (code == BEGIN_SET_SHAPE) invalid("nested shape definition");
        if (isRefusedInShape(code)) invalid("not allowed inside a shape definition");
        return;
    }
    if (code == END_SET_SHAPE) invalid("no shape definition to end");
    if (layerSection_) {
        if (isDefinition(code)) invalid("definition in the layer section");
    } else if (!isDefinitionsTopLevel(code)) {
        invalid("not allowed outside a shape in the definitions section");
    }
}

void Decoder::checkUses(const Record &record) {
    const auto shape = [&](uint32_t id) {
        if (id >= definitions_.shapes.size()) invalid("undefined shape " + std::to_string(id));
    };
    const auto image = [&](uint32_t id) {
        if (id >= definitions_.images.size()) invalid("undefined image " + std::to_string(id));
    };
    const auto use = [&](bool face, int64_t id) {
        const Use u{record.offset, record.code, face, id};
        if (layerSection_) {
            checkUse(u);
        } else {
            pending_.push_back(u);
        }
    };
    const auto hole = [&](uint32_t id) {
        if (id >= definitions_.faces.size()) {
            invalid("hole " + std::to_string(id) + " is not an earlier face");
        }
    };
    std::visit(Overloaded{
                   [&](const ShapeInstance &s) { shape(s.shape); },
                   [&](const Stamp &s) { shape(s.shape); },
                   [&](const ImagePart &i) { image(i.image); },
                   [&](const FullImage &f) { image(f.image); },
                   [&](const TextureFill &t) { image(t.image); },
                   [&](const StretchedTextureFill &t) { image(t.image); },
                   [&](const EdgeUse &e) { use(false, e.edge); },
                   [&](const EdgeRangeUse &r) {
                       use(false, r.first);
                       use(false, r.last);
                   },
                   [&](const FaceUse &f) { use(true, f.face); },
                   [&](const FaceDefinition &f) {
                       for (int32_t edge : f.edges) use(false, edge);
                       for (uint32_t id : f.holes) hole(id);
                   },
                   [](const auto &) {},
               },
               record.payload);
}

void Decoder::checkUse(const Use &use) const {
    const bool defined = use.face ? use.id < static_cast<int64_t>(definitions_.faces.size())
                                  : definitions_.edge(static_cast<int32_t>(use.id)) != nullptr;
    if (defined) return;
    const std::string reason =
        std::string(use.face ? "undefined face " : "undefined edge ") + std::to_string(use.id);
    throw Fault{std::string(recordName(use.code)) + ": " + reason, use.offset};
}

void Decoder::apply(Record &record) {
    const uint8_t code = record.code;
    if (code >= POINT_SIZE_FIRST && code <= COLOR_SIZE) {
        const uint8_t size = std::get<SizeChange>(record.payload).size;
        if (code <= POINT_SIZE_LAST) {
            state_.sizes.point = size;
        } else if (code <= REL_POINT_SIZE_LAST) {
            state_.sizes.relPoint = size;
        } else {
            state_.sizes.color = size;
        }
    } else if (code == LAYER) {
        // Every layer starts from the defaults, the mark attributes excepted.
        const MarkState mark = state_.graphic.mark;
        state_.graphic = GraphicState{};
        state_.graphic.mark = mark;
        state_.sizes = layerSizes_;
        state_.depth = 0;
    } else if (code == OBJECT) {
        changeDepth(std::get<Object>(record.payload));
    } else if (code == SHAPE || code == STAMP_SHAPE) {
        state_.graphic.lastShape = code == SHAPE ? std::get<ShapeInstance>(record.payload).shape
                                                 : std::get<Stamp>(record.payload).shape;
    } else if (code == SET_EDGE) {
        definitions_.edges.push_back(std::get<EdgeDefinition>(record.payload));
        record.definition = static_cast<uint32_t>(definitions_.edges.size());
    } else if (code == SET_FACE) {
        record.definition = static_cast<uint32_t>(definitions_.faces.size());
        definitions_.faces.push_back(std::get<FaceDefinition>(record.payload));
    } else if (code == SET_IMAGE) {
        record.definition = static_cast<uint32_t>(definitions_.images.size());
        definitions_.images.push_back(std::get<ImageDefinition>(record.payload));
    } else if (code == BEGIN_SET_SHAPE) {
        const uint32_t id = static_cast<uint32_t>(definitions_.shapes.size());
        definitions_.shapes.push_back({std::get<ShapeBegin>(record.payload).corner, record.offset});
        record.definition = id;
        record.shape = id;
        openShape_ = id;
    } else if (code == END_SET_SHAPE) {
        definitions_.shapes[*openShape_].complete = true;
        openShape_.reset();
    } else {
        applyAttribute(record);
    }
    if (!openShape_ && !layerSection_) countClosingRecord(code, record.offset + record.length);
}

// An object with a name opens inside the current one; an empty name ends the current one (the
// writer keeps no count of open objects, so an end at depth 0 ends nothing).
void Decoder::changeDepth(const Object &object) {
    if (!object.name.empty()) {
        budget_.checkDepth(uint64_t{state_.depth} + 1);
        ++state_.depth;
    } else if (state_.depth > 0) {
        --state_.depth;
    }
}

// The mirror of the graphic state, kept as the writer keeps it: attribute colours set in an
// index colour size hold the palette entry they name.
void Decoder::applyAttribute(const Record &record) {
    GraphicState &g = state_.graphic;
    const Payload &p = record.payload;
    const auto direct = [&g](Color c) {
        return isIndexColorSize(c.size) ? g.palette.entry(c.value) : c;
    };
    switch (record.code) {
        case BLEND_MODE: g.blendMode = std::get<ByteAttribute>(p).value; break;
        case IMAGE_STRETCH_MODE: g.imageStretchMode = std::get<ByteAttribute>(p).value; break;
        case LINE_COLOR: g.line.color = direct(std::get<ColorAttribute>(p).color); break;
        case MARK_COLOR: g.mark.color = direct(std::get<ColorAttribute>(p).color); break;
        case TEXT_COLOR: g.text.color = direct(std::get<ColorAttribute>(p).color); break;
        case FILL_COLOR:
            g.fill.mode = FillMode::Color;
            g.fill.color = direct(std::get<ColorAttribute>(p).color);
            break;
        case LINE_DASHES: g.line.dashes = std::get<LineDashes>(p).pattern; break;
        case LINE_STYLE: {
            const LineStyle &s = std::get<LineStyle>(p);
            g.line.joint = s.joint;
            g.line.begin = s.begin;
            g.line.end = s.end;
            g.line.weight = s.weight;
            break;
        }
        case MARK_STYLE:
            g.mark.type = std::get<MarkStyle>(p).type;
            g.mark.size = std::get<MarkStyle>(p).size;
            break;
        case GRADIENT_FILL: {
            const GradientFill &f = std::get<GradientFill>(p);
            g.fill.mode = FillMode::Gradient;
            g.fill.gradientP0 = f.p0;
            g.fill.gradientC0 = f.c0;
            g.fill.gradientP1 = f.p1;
            g.fill.gradientC1 = f.c1;
            break;
        }
        case TEXTURE_FILL:
            g.fill.mode = FillMode::Texture;
            g.fill.textureCorner = std::get<TextureFill>(p).corner;
            g.fill.textureImage = std::get<TextureFill>(p).image;
            break;
        case STRETCHED_TEXTURE_FILL: {
            const StretchedTextureFill &f = std::get<StretchedTextureFill>(p);
            g.fill.mode = FillMode::StretchedTexture;
            g.fill.textureCorner = f.corner;
            g.fill.textureSize = f.size;
            g.fill.textureImage = f.image;
            break;
        }
        case FONT: {
            const Font &f = std::get<Font>(p);
            g.text.typeface = f.typeface;
            g.text.style = f.style;
            g.text.size = f.size;
            break;
        }
        case TEXT_ALIGNMENT:
            g.text.alignment = std::get<TextAlignment>(p).alignment;
            g.text.direction = std::get<TextAlignment>(p).direction.degrees;
            break;
        case PALETTE: {
            // In an index colour size the new palette is built from entries of the old one.
            const std::vector<Color> &entries = std::get<Palette>(p).entries;
            PaletteState next = g.palette;
            for (size_t i = 0; i < entries.size(); ++i) next.colors[i] = direct(entries[i]).value;
            next.length = static_cast<int>(entries.size());
            if (!isIndexColorSize(state_.sizes.color)) next.colorSize = state_.sizes.color;
            g.palette = next;
            break;
        }
        default: break;  // drawing records leave the graphic state as it is
    }
}

// The definitions section ends with three size records: colour size, point size, relative
// point size. Outside shapes nothing else in that section puts them in this order.
void Decoder::countClosingRecord(uint8_t code, uint64_t end) {
    if (code == COLOR_SIZE) {
        closingRun_ = 1;
    } else if (closingRun_ == 1 && code >= POINT_SIZE_FIRST && code <= POINT_SIZE_LAST) {
        closingRun_ = 2;
    } else if (closingRun_ == 2 && code >= REL_POINT_SIZE_FIRST && code <= REL_POINT_SIZE_LAST) {
        enterLayerSection(end);
    } else {
        closingRun_ = 0;
    }
}

// The layer stream starts fresh: default graphic state, the sizes just announced.
void Decoder::enterLayerSection(uint64_t offset) {
    layerSection_ = offset;
    layerSizes_ = state_.sizes;
    state_.graphic = GraphicState{};
    for (const Use &use : pending_) checkUse(use);
    pending_.clear();
}

void Decoder::finish() {
    if (openShape_) {
        throw Fault{"shape definition not ended", definitions_.shapes[*openShape_].offset};
    }
    if (!layerSection_) throw Fault{"missing closing size records", cursor_->end()};
}

}  // namespace kvgr::impl
