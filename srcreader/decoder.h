// kvgreader: a strict reader of KVG files.
//
// A Decoder walks the bytes of a file (already decompressed; see loadFile) record by record.
// Each call of next() yields one Record: its code, byte offset and length, the section it lies
// in, and its decoded arguments as one of the payload structures below. After each record the
// decoder's state() is what a renderer needs at that point: the encoding sizes in force, the
// palette and every graphic attribute, kept as the writer's own mirror is kept (reset at every
// layer record; carried from the definitions stream through shape definitions). Definitions
// (edges, faces, images, shapes) are numbered by their order of appearance, edges from 1 and
// the others from 0, and collected in definitions() for the layers that use them.
//
// Validation is strict: the first fault (unknown code, truncated record, non-zero padding bits,
// an invalid size, colour or enumerated value, a use of an edge, face, shape or image that is
// not defined, an unbalanced or misplaced shape definition, a record outside its section, a bad
// header) stops the decoder, and error() gives the byte offset of the faulty record and the
// reason, printed as "offset N: reason".
//
// Coordinates. Points are kept in file coordinates, as stored. The header does not carry the
// world window of the writer, only the file window and the drawing's size in millimetres, so
// the world coordinates given here are millimetres on the drawing: Header::toWorld maps the
// file window onto a page of width_mm x height_mm with one scale for both axes (the smaller of
// the two, the window centred on the page), the y axis pointing up as in the file.
#ifndef KVGREADER_DECODER_H
#define KVGREADER_DECODER_H

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "kvgformat.h"
#include "kvgreader.h"

namespace kvgr::impl {
class Content;
class Cursor;
struct Fault;
}  // namespace kvgr::impl

namespace kvgr::impl {

using Bytes = std::vector<uint8_t>;

// A position in file coordinates, or a difference of two (a relative point, an extent).
struct Point {
    double x = 0.0;
    double y = 0.0;
    friend bool operator==(const Point &, const Point &) = default;
};

inline KVGR_Point toC(Point p) { return {p.x, p.y}; }

// A colour value as written, with the colour size (KVG_COLOR_MODE) it is expressed in. In the
// index sizes the value is a palette index.
struct Color {
    uint32_t value = 0;
    uint8_t size = kvgfmt::COLOR_RGB;
    friend bool operator==(const Color &, const Color &) = default;
};

// An angle, stored as the point (cos, sin) scaled to the point size in force; `degrees` is the
// direction of that point, from 0 (included) to 360 (excluded).
struct Angle {
    Point vector;
    double degrees = 0.0;
};

struct Header {
    uint8_t pointSize = 0;     // point size in force after the header
    uint8_t relPointSize = 0;  // relative point size in force after the header
    Point resolution;          // grid width and height in file units
    Point windowMin;           // file window: lower-left corner
    Point windowMax;           // file window: upper-right corner
    Point millimetres;         // physical width and height
    uint32_t background = 0;   // 0xRRGGBB
    uint64_t length = 0;       // bytes of the header

    // The header as the public interface gives it.
    KVGR_Header c() const;
    // Millimetres on the drawing per file unit: the page mapping's scale.
    double worldScale() const;
    // A file position as millimetres on the drawing, origin at the page's lower-left corner.
    Point toWorld(Point file) const;
    // A difference or extent in file units as millimetres.
    Point toWorldExtent(Point file) const;
};

// ---- Payloads: the decoded arguments of each record kind ----

struct Extension {  // EXTENSION
    std::string parameter;
    std::string value;
};
struct Layer {  // LAYER
    bool visible = false;
    bool detectable = false;
    std::string name;
};
struct Object {  // OBJECT; an empty name ends the current object
    std::string name;
};
struct Figure {  // POLYLINE, DRAW_POLYGON, FILL_POLYGON
    Point start;
    std::vector<Point> steps;  // each the difference from the point before it
};
struct Cubic {  // DRAW_CUBIC_BEZIER, FILL_CUBIC_BEZIER
    Point start;
    uint32_t segments = 0;
    // Per segment two control points and its end point, each the difference from the point
    // before it: 3 x segments steps when drawn, one fewer when filled (the last end point is
    // the start point).
    std::vector<Point> steps;
};
struct Arc {  // DRAW_ARC, FILL_ARC
    Point center;
    Point halfSize;  // half width and half height of the ellipse the arc belongs to
    Angle start;
    Angle end;
};
struct Text {  // TEXT
    Point anchor;
    std::string text;
};
struct ShapeInstance {  // SHAPE
    uint32_t shape = 0;
    Point center;
    Angle rotation;
    Point halfSize;
};
struct ImagePart {  // IMAGE
    uint32_t image = 0;
    Point sourceMin;  // source rectangle in pixels: lower-left corner ...
    Point sourceMax;  // ... and the opposite corner
    Point corner;     // destination: lower-left corner
    Point size;       // destination: width and height
};
struct Mark {  // MARK
    Point at;
};
struct Line {  // LINE
    Point start;
    Point step;  // the other end minus the start
};
struct Box {  // DRAW_BOX, FILL_BOX
    Point corner;
    Point size;
};
struct Circle {  // DRAW_CIRCLE, FILL_CIRCLE
    Point center;
    uint32_t radius = 0;
};
struct Ellipse {  // DRAW_ELLIPSE, FILL_ELLIPSE
    Point center;
    Point halfSize;
};
struct Stamp {  // STAMP_SHAPE, REPEAT_SHAPE (the shape resolved from the stream's last shape)
    uint32_t shape = 0;
    Point at;
};
struct FullImage {  // FULL_IMAGE
    uint32_t image = 0;
    Point corner;
    Point size;
};
struct EdgeSegment {
    uint8_t relPointSize = 0;
    uint32_t count = 0;
};
struct EdgeDefinition {  // SET_EDGE
    Point start;
    std::vector<EdgeSegment> segments;
    std::vector<Point> steps;  // the steps of all segments, one after the other
};
struct FaceDefinition {           // SET_FACE
    std::vector<int32_t> edges;   // negative: the edge taken backwards
    std::vector<uint32_t> holes;  // earlier faces
};
struct EdgeUse {  // DRAW_EDGE
    int32_t edge = 0;
};
struct EdgeRangeUse {  // DRAW_EDGE_RANGE
    int32_t first = 0;
    int32_t last = 0;
};
struct FaceUse {  // FILL_FACE
    uint32_t face = 0;
};
struct SizeChange {    // the point, relative point and colour size records
    uint8_t size = 0;  // bits, or the KVG_COLOR_MODE of a colour size record
};
struct ByteAttribute {  // BLEND_MODE, IMAGE_STRETCH_MODE
    uint8_t value = 0;
};
struct ColorAttribute {  // LINE_COLOR, MARK_COLOR, FILL_COLOR, TEXT_COLOR
    Color color;
};
struct LineDashes {  // LINE_DASHES
    uint16_t pattern = 0;
};
struct LineStyle {  // LINE_STYLE
    uint8_t joint = 0;
    uint8_t begin = 0;
    uint8_t end = 0;
    uint8_t weight = 0;
};
struct MarkStyle {  // MARK_STYLE
    uint8_t type = 0;
    uint32_t size = 0;
};
struct GradientFill {  // GRADIENT_FILL
    Point p0;
    Color c0;
    Point p1;
    Color c1;
};
struct TextureFill {  // TEXTURE_FILL
    Point corner;
    uint32_t image = 0;
};
struct StretchedTextureFill {  // STRETCHED_TEXTURE_FILL
    Point corner;
    Point size;
    uint32_t image = 0;
};
struct Font {  // FONT
    uint8_t typeface = 0;
    uint8_t style = 0;
    uint32_t size = 0;
};
struct TextAlignment {  // TEXT_ALIGNMENT
    uint8_t alignment = 0;
    Angle direction;
};
struct Palette {  // PALETTE: the values as written (indexes into the old palette in index sizes)
    std::vector<Color> entries;
};
struct ImageDefinition {  // SET_IMAGE
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t colorSize = kvgfmt::COLOR_RGB;
    // width x height values in colorSize, in file order, packed as stored: bitsPerPixel()
    // bits each, most significant bit first.
    std::vector<uint8_t> packed;
    // For the index sizes: the palette in force, as direct colours; empty otherwise.
    std::vector<Color> palette;

    int bitsPerPixel() const;
    // Value `index` of the image, 0 to width x height - 1.
    uint32_t pixel(uint64_t index) const;
    // The `width` values of row `row` (0: the first stored) into `values`.
    void row(uint32_t row, uint32_t *values) const;
};
struct ShapeBegin {  // BEGIN_SET_SHAPE
    Point corner;    // upper-right corner of the bounding box
};
struct ShapeEnd {};  // END_SET_SHAPE

using Payload =
    std::variant<Extension, Layer, Object, Figure, Cubic, Arc, Text, ShapeInstance, ImagePart, Mark,
                 Line, Box, Circle, Ellipse, Stamp, FullImage, EdgeDefinition, FaceDefinition,
                 EdgeUse, EdgeRangeUse, FaceUse, SizeChange, ByteAttribute, ColorAttribute,
                 LineDashes, LineStyle, MarkStyle, GradientFill, TextureFill, StretchedTextureFill,
                 Font, TextAlignment, Palette, ImageDefinition, ShapeBegin, ShapeEnd>;

enum class Section : uint8_t {
    Definitions,  // shapes, edges, faces, images, up to the closing size records
    Layers,       // everything after the closing size records
};

struct Record {
    uint8_t code = 0;     // a kvgfmt::Code
    uint64_t offset = 0;  // byte offset of the code byte
    uint64_t length = 0;  // bytes up to and including the record's last, partial byte
    Section section = Section::Definitions;
    // The shape whose definition holds the record (the shape's own begin and end records
    // included), or none.
    std::optional<uint32_t> shape;
    // For SET_EDGE, SET_FACE, SET_IMAGE and BEGIN_SET_SHAPE: the identifier it defines.
    std::optional<uint32_t> definition;
    Payload payload;
};

// ---- State in force after a record ----

enum class FillMode : uint8_t { Color = 0, Gradient = 1, Texture = 2, StretchedTexture = 3 };

struct Sizes {
    uint8_t point = 0;
    uint8_t relPoint = 0;
    uint8_t color = kvgfmt::COLOR_RGB;
    friend bool operator==(const Sizes &, const Sizes &) = default;
};

// The attribute colours (line, mark, fill, text) are direct colours: one set in an index colour
// size holds the palette entry it named, in the palette's colour size. The gradient colours
// are kept as written, with the colour size they were written in.
struct LineState {
    Color color{0, kvgfmt::COLOR_RGB};
    uint16_t dashes = kvgfmt::DEFAULT_DASHES;
    uint8_t joint = 0;
    uint8_t begin = 0;
    uint8_t end = 0;
    uint8_t weight = kvgfmt::DEFAULT_LINE_WEIGHT;  // file units
};
struct MarkState {  // not reset by layer records
    Color color{0, kvgfmt::COLOR_RGB};
    uint8_t type = 0;
    uint32_t size = 1;
};
struct FillState {
    FillMode mode = FillMode::Color;
    Color color{0, kvgfmt::COLOR_RGB};
    Point gradientP0;
    Color gradientC0{0, kvgfmt::COLOR_RGB};
    Point gradientP1;
    Color gradientC1{0, kvgfmt::COLOR_RGB};
    Point textureCorner;
    uint32_t textureImage = 0;
    Point textureSize;  // extent of a stretched texture
};
struct TextState {
    Color color{0, kvgfmt::COLOR_RGB};
    uint8_t typeface = 0;
    uint8_t style = 0;
    uint32_t size = kvgfmt::DEFAULT_FONT_SIZE;  // file units
    uint8_t alignment = kvgfmt::DEFAULT_TEXT_ALIGNMENT;
    double direction = 0.0;  // degrees
};
struct PaletteState {
    std::array<uint32_t, kvgfmt::PALETTE_CAPACITY> colors{kvgfmt::DEFAULT_PALETTE_WHITE};
    int length = kvgfmt::DEFAULT_PALETTE_LENGTH;
    uint8_t colorSize = kvgfmt::COLOR_RGB;  // always a direct colour size
    Color entry(uint32_t index) const { return {colors[index], colorSize}; }
};
struct GraphicState {
    uint8_t blendMode = kvgfmt::DEFAULT_BLEND_MODE;
    LineState line;
    MarkState mark;
    FillState fill;
    uint8_t imageStretchMode = 0;
    TextState text;
    PaletteState palette;
    uint32_t lastShape = kvgfmt::NO_SHAPE;  // for REPEAT_SHAPE
};
struct StreamState {
    Sizes sizes;
    GraphicState graphic;
    uint32_t depth = 0;  // objects begun and not ended in the current layer
};

// ---- Definitions collected so far ----

struct ShapeDefinition {
    Point corner;         // upper-right corner of the bounding box
    uint64_t offset = 0;  // of its BEGIN_SET_SHAPE record
    bool complete = false;
};

struct Definitions {
    std::vector<EdgeDefinition> edges;  // edge n is edges[n - 1]
    std::vector<FaceDefinition> faces;
    std::vector<ImageDefinition> images;
    std::vector<ShapeDefinition> shapes;

    // The edge named by a signed reference (the sign gives the direction), or null.
    const EdgeDefinition *edge(int32_t reference) const;
};

struct Error {
    uint64_t offset = 0;
    std::string reason;
    int code = KVGR_ERR_FORMAT;   // a KVGR_ERROR_CODE
    std::string message() const;  // "offset N: reason", or the reason alone for a system fault
};

// What the decoder may spend (KVGR_LIMIT).
// What a file may make the reader spend: the limits of KVGR_LIMIT, with their defaults.
struct Limits {
    uint64_t contentBytes = uint64_t{1} << 30;
    uint64_t points = uint64_t{1} << 28;
    uint64_t imagePixels = uint64_t{1} << 28;
    uint64_t memory = uint64_t{1} << 30;
    uint64_t depth = 256;
};

// Keeps count of what the decoder has spent: points decoded in the whole file, and memory held
// for the definitions and the current record. Every check throws a Fault (KVGR_ERR_LIMIT) when a
// limit is passed.
class Budget {
public:
    explicit Budget(const Limits &limits) : limits_(limits) {}
    const Limits &limits() const { return limits_; }
    // With a record being decoded that holds `bytes` and has decoded `points` so far.
    void checkRecord(uint64_t bytes, uint64_t points) const;
    void checkImage(uint64_t pixels) const;
    void checkDepth(uint64_t depth) const;
    // A record done: its points are spent, `kept` bytes of it are kept for the rest of the file,
    // and it holds `current` bytes until the next record.
    void spend(uint64_t points, uint64_t kept, uint64_t current);
    // `bytes` more kept for the rest of the file.
    void hold(uint64_t bytes);

private:
    Limits limits_;
    uint64_t points_ = 0;
    uint64_t held_ = 0;
    uint64_t current_ = 0;
};

// ---- Decoding ----

class Decoder {
public:
    // Reads the header at once; a bad header is reported by error(), and so is a fault of the
    // input (KVGR_ERR_SYSTEM, ...), which the constructor does not throw.
    Decoder(std::unique_ptr<Content> content, const Limits &limits);
    // Over bytes in memory, which must outlive the decoder.
    explicit Decoder(std::span<const uint8_t> bytes, const Limits &limits = {});
    ~Decoder();
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    // Decodes the next record into `record`. False at the end of the file (error() empty) or at
    // the first fault (error() set); the decoder then stays there.
    bool next(Record &record);

    // Counts `bytes` that the caller keeps for the rest of the file because of `record`, the
    // last one returned (a copy of a definition in another form), against the memory limit.
    // False, with the decoder stopped at the record and error() set, when they pass it.
    bool hold(const Record &record, uint64_t bytes);

    const Header &header() const { return header_; }
    const std::optional<Error> &error() const { return error_; }
    // The sizes and graphic state in force after the last record returned.
    const StreamState &state() const { return state_; }
    const Definitions &definitions() const { return definitions_; }
    // Offset of the layer section (just past the closing size records), once reached.
    std::optional<uint64_t> layerSectionOffset() const { return layerSection_; }
    // The sizes every layer starts with, as the closing size records announce them.
    const Sizes &layerSizes() const { return layerSizes_; }
    // The input: compressed or not, bytes read from it and of content.
    const Content &content() const { return *content_; }

private:
    // A use of an edge or face. Those made in the definitions section are checked once all
    // definitions are known: the writer hands out identifiers when a definition begins and
    // writes its record when it ends, so a face may name an edge whose record follows it.
    struct Use {
        uint64_t offset;
        uint8_t code;
        bool face;
        int64_t id;
    };

    void checkPlacement(uint8_t code) const;
    void checkUses(const Record &record);
    void checkUse(const Use &use) const;
    void apply(Record &record);
    void applyAttribute(const Record &record);
    void countClosingRecord(uint8_t code, uint64_t end);
    void enterLayerSection(uint64_t offset);
    void finish();
    void changeDepth(const Object &object);
    void fail(const Fault &fault, uint64_t offset, const char *name);

    std::unique_ptr<Content> content_;
    std::unique_ptr<Cursor> cursor_;
    Budget budget_;
    Header header_;
    StreamState state_;
    Definitions definitions_;
    Sizes layerSizes_;
    std::optional<uint64_t> layerSection_;
    std::optional<uint32_t> openShape_;
    int closingRun_ = 0;  // how many of the three closing size records were just read
    std::vector<Use> pending_;
    std::optional<Error> error_;
    bool done_ = false;
};

// ---- Files ----

struct LoadedFile {
    Bytes bytes;              // the decompressed content; decoder offsets count in it
    bool compressed = false;  // the file was a gzip stream
    uint64_t fileSize = 0;    // bytes on disk
};

// Reads a plain or gzip-compressed file whole ("-": standard input; decoders over it see the
// same checks of the input as a streaming one), refusing more than `contentLimit` bytes of
// content; on failure returns nothing and sets `error`.
std::optional<LoadedFile> loadFile(const std::string &path, std::string &error,
                                   uint64_t contentLimit = Limits{}.contentBytes);

// Decodes everything; the first fault, or nothing when the bytes are a valid KVG file.
std::optional<Error> validate(std::span<const uint8_t> bytes);

// ---- Helpers ----

// The name of a record code ("polyline", "set-edge", ...), or null for an unknown code.
const char *recordName(uint8_t code);
// The absolute points of a chain: the start, then each step added to the point before it.
std::vector<Point> chainPoints(Point start, std::span<const Point> steps);
// Absolute and relative points a record carries (angles not counted).
uint64_t pointCount(const Record &record);

}  // namespace kvgr::impl

#endif  // KVGREADER_DECODER_H
