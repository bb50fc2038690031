/*
 * kvgreader: a strict reader of KVG files, the compact bit-packed format for 2-D vector drawings
 * that kvgwriter writes.
 *
 * An application makes a reader with KVGR_new, sets the limits it wants (KVGR_setLimit), opens
 * a file, a memory buffer, a file descriptor or a stream of its own (KVGR_open...), reads the
 * header (KVGR_getHeader) and walks the records one by one with KVGR_next, each with its
 * decoded arguments. The reader keeps the graphic state in force after each record
 * (KVGR_getState) and the definitions met so far (edges, faces, images, shapes), which the
 * records of the layers name by identifier (KVGR_getEdge, KVGR_getFace, KVGR_getImage,
 * KVGR_getShape). KVGR_delete releases everything.
 *
 *     KVGR_Reader *r = KVGR_new();
 *     const KVGR_Record *record;
 *     int status;
 *     if (r == NULL || KVGR_openFile(r, "map.kvg") != 0) { ... KVGR_getErrorMessage(r) ... }
 *     while ((status = KVGR_next(r, &record)) == 1) {
 *         if (record->code == KVGR_POLYLINE) { ... record->as.figure.points ... }
 *     }
 *     if (status < 0) fprintf(stderr, "%s\n", KVGR_getErrorMessage(r));
 *     KVGR_delete(r);
 *
 * Input. Plain files and gzip streams (one member, nothing after it) are told apart by their
 * first bytes. The input is decoded as it is read, through a window of fixed size: memory
 * follows the limits below, not the size of the file.
 *
 * Validation is strict: the first fault stops the reader and is reported with the byte offset
 * of the record that holds it, counted in the decompressed content, and the reason. Nothing a
 * damaged or hostile file holds makes the reader crash, loop or take memory or time beyond its
 * limits.
 *
 * Results: 0 on success and -1 on failure, unless said otherwise; after a failure
 * KVGR_getErrorCode, KVGR_getErrorOffset and KVGR_getErrorMessage tell why. A reader is used by
 * one thread at a time; different readers are independent.
 *
 * NULL. A NULL reader is a usage error: calls that return int give -1, the others 0 or NULL
 * (KVGR_getErrorCode KVGR_ERR_USAGE, KVGR_getErrorMessage "no reader"). A NULL path, read
 * function, buffer of data (but for 0 bytes) or record pointer fails with KVGR_ERR_USAGE; a NULL
 * result pointer of a getter gives -1 (but an image row's buffer for an image 0 wide). A NULL
 * header or mapping is the mapping of scale 1 centred on 0.
 *
 * Coordinates. Every position is given as stored, in file coordinates (the units of the grid
 * that the writer mapped the drawing onto), and is mapped onto the page by the one page
 * mapping below. The enumerated values of records and state (blend modes, joint styles, line
 * decorations, mark types, typefaces, font styles, text alignments, image stretch modes) are
 * those of kvgwriter.h (KVG_BLEND_MODE, ...), which may be included for their names alone.
 *
 * This header is valid C (C99 and later) and C++.
 */
#ifndef KVGREADER_H
#define KVGREADER_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(KVGREADER_BUILDING)
#    define KVGR_API __declspec(dllexport)
#  else
#    define KVGR_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define KVGR_API __attribute__((visibility("default")))
#else
#  define KVGR_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- The reader, its errors and its limits ---------------------------------------------- */

typedef struct KVGR_Reader KVGR_Reader;

typedef enum {
    KVGR_ERR_NONE = 0,        /* no failure */
    KVGR_ERR_SYSTEM = 1,      /* the input cannot be opened or read (the system's reason) */
    KVGR_ERR_FORMAT = 2,      /* not a valid KVG file: the fault and its offset */
    KVGR_ERR_COMPRESSION = 3, /* a damaged gzip stream, or data after it */
    KVGR_ERR_LIMIT = 4,       /* the file needs more than a limit allows */
    KVGR_ERR_MEMORY = 5,      /* memory could not be had */
    KVGR_ERR_USAGE = 6        /* a call out of order (reading before opening, opening twice), an
                                 unknown limit or a NULL argument */
} KVGR_ERROR_CODE;

/* What the reader may spend on one file. Each limit is a count (see below); reaching one
 * stops the reader with KVGR_ERR_LIMIT. Set them before opening. */
typedef enum {
    /* Bytes of KVG content (decompressed) read from the input. Bounds time, and what a small
     * gzip stream can inflate to. Default 1 GiB. */
    KVGR_LIMIT_CONTENT_BYTES = 0,
    /* Points decoded in the whole file, absolute and relative, in every record. Bounds time.
     * Default 2^28 (268,435,456). */
    KVGR_LIMIT_POINTS = 1,
    /* Pixels (width x height) of one image. Default 2^28 (16384 x 16384). */
    KVGR_LIMIT_IMAGE_PIXELS = 2,
    /* Memory the reader holds at once, in bytes: the definitions kept for the layers, in every
     * form the reader gives them out (an edge as stored and as absolute points), the decoded
     * arguments of the current record, with the room their buffers have grown to. Buffers of
     * fixed size (the input window, zlib's state, under 1 MiB in all) are not counted. Default
     * 1 GiB. */
    KVGR_LIMIT_MEMORY = 3,
    /* Objects open inside one another (begun and not yet ended). Default 256. */
    KVGR_LIMIT_DEPTH = 4
} KVGR_LIMIT;
#define KVGR_LIMIT_COUNT 5

/* A new reader with the default limits, or NULL when memory cannot be had. */
KVGR_API KVGR_Reader *KVGR_new(void);
/* Releases the reader, everything it gave out, and the file it opened. NULL is allowed. */
KVGR_API void KVGR_delete(KVGR_Reader *reader);

/* Sets a limit (a KVGR_LIMIT); fails (KVGR_ERR_USAGE) once an input has been opened or for an
 * unknown limit. The limit is passed as an int so that any value a caller passes is defined. */
KVGR_API int KVGR_setLimit(KVGR_Reader *reader, int limit, uint64_t value);
/* The limit in force, or 0 for an unknown limit. */
KVGR_API uint64_t KVGR_getLimit(const KVGR_Reader *reader, int limit);

/* The last failure: its KVGR_ERROR_CODE (KVGR_ERR_NONE if none), the byte offset where the
 * fault lies (in the decompressed content; 0 for failures that have none), its reason, and
 * the message to show: "offset N: reason" for a fault of the file, the reason alone for the
 * others. The strings stay valid until the next call on the reader. */
KVGR_API int KVGR_getErrorCode(const KVGR_Reader *reader);
KVGR_API uint64_t KVGR_getErrorOffset(const KVGR_Reader *reader);
KVGR_API const char *KVGR_getErrorReason(const KVGR_Reader *reader);
KVGR_API const char *KVGR_getErrorMessage(const KVGR_Reader *reader);

/* ---- Opening an input -------------------------------------------------------------------- */

/* Each opening reads the header; a reader opens one input in its life. */

/* A file by name: a regular file, a pipe, a device. A FIFO with no writer reads as empty. */
KVGR_API int KVGR_openFile(KVGR_Reader *reader, const char *path);
/* An open file descriptor, read from its current position (standard input is 0); the reader
 * does not close it. */
KVGR_API int KVGR_openFd(KVGR_Reader *reader, int fd);
/* Bytes in memory, which must stay unchanged until the reader is deleted. */
KVGR_API int KVGR_openMemory(KVGR_Reader *reader, const void *data, size_t size);
/* A source of the caller's: `read` fills `buffer` with up to `size` bytes and returns their
 * number, 0 at the end of the input, or -1 on failure (with errno set, or 0 for "read
 * error"). */
typedef ptrdiff_t (*KVGR_ReadFunction)(void *user, void *buffer, size_t size);
KVGR_API int KVGR_openStream(KVGR_Reader *reader, KVGR_ReadFunction read, void *user);

/* ---- The header and the page mapping ----------------------------------------------------- */

typedef struct {
    double x;
    double y;
} KVGR_Point;

typedef struct {
    uint8_t point_size;     /* bits of an absolute point after the header: 16, 24, 32, 64, 128 */
    uint8_t rel_point_size; /* bits of a relative point after the header */
    KVGR_Point resolution;  /* the grid's width and height in file units */
    KVGR_Point window_min;  /* the file window: its first corner ... */
    KVGR_Point window_max;  /* ... and the opposite one (reversed on an axis the writer's
                               world window was reversed on) */
    KVGR_Point size_mm;     /* the page: width and height in millimetres */
    uint32_t background;    /* 0xRRGGBB */
    uint64_t length;        /* bytes of the header */
} KVGR_Header;

/* The header of the open input, or NULL before an input is open. */
KVGR_API const KVGR_Header *KVGR_getHeader(const KVGR_Reader *reader);

/*
 * The page mapping: the one way every renderer and client places a file position on the page.
 * The file window maps onto the page of width_mm x height_mm with one scale for both axes, the
 * drawing centred:
 *
 *     s = min(width_mm / |window width|, height_mm / |window height|)
 *         (only positive finite factors count; if neither is usable, s = 1)
 *     page = (file - window centre) * s + (width_mm / 2, height_mm / 2)
 *
 * where the window centre is window_min + (window_max - window_min) / 2. Page coordinates are
 * millimetres from the page's lower-left corner, y pointing up; a renderer that draws y-down
 * uses height_mm - y. Extents (half sizes, box sizes, radii, line weights and font sizes in
 * file units) scale by s. A window reversed on an axis needs no care here: the file
 * coordinates are already mirrored the same way, so the drawing keeps the writer's
 * orientation. A window of zero extent on an axis maps that axis by the other one's factor.
 */
typedef struct {
    double scale;           /* s: millimetres per file unit, positive and finite */
    KVGR_Point file_centre; /* the centre of the file window */
    KVGR_Point page_centre; /* (width_mm / 2, height_mm / 2) */
} KVGR_PageMapping;

/* The mapping of a header. */
KVGR_API KVGR_PageMapping KVGR_pageMapping(const KVGR_Header *header);
/* A file position on the page, in millimetres. */
KVGR_API KVGR_Point KVGR_toPage(const KVGR_PageMapping *mapping, KVGR_Point file);
/* An extent or a difference of positions in millimetres. */
KVGR_API KVGR_Point KVGR_toPageExtent(const KVGR_PageMapping *mapping, KVGR_Point extent);

/* ---- Colours ----------------------------------------------------------------------------- */

/* Colour modes, also called colour sizes (the writer's KVG_COLOR_MODE): how a colour value
 * is laid out. */
typedef enum {
    KVGR_COLOR_INDEX1 = 0, /* palette index 0 or 1 */
    KVGR_COLOR_INDEX8 = 1, /* palette index 0 to 255 */
    KVGR_COLOR_GRAY8 = 2,
    KVGR_COLOR_GRAY12 = 3,
    KVGR_COLOR_GRAY16 = 4,
    KVGR_COLOR_GA = 5,   /* 16-bit grey in the upper half, 16-bit alpha in the lower half */
    KVGR_COLOR_RGB = 6,  /* 0x00RRGGBB */
    KVGR_COLOR_RGBA = 7  /* 0xRRGGBBAA */
} KVGR_COLOR_MODE;

/* A colour value with the colour size it is expressed in. */
typedef struct {
    uint32_t value;
    uint8_t size; /* a KVGR_COLOR_MODE */
} KVGR_Color;

/* A palette: its entries are direct colours of one colour size. */
typedef struct {
    uint32_t colors[256]; /* entries from `length` on carry no meaning */
    uint32_t length;      /* 1 to 256 */
    uint8_t color_size;   /* a direct colour size, KVGR_COLOR_GRAY8 to KVGR_COLOR_RGBA */
} KVGR_Palette;

/* A colour as 0xRRGGBBAA (8 bits a channel, alpha 255 = opaque): grey levels spread over 0 to
 * 255, indexes looked up in `palette` (an index beyond it, or no palette, gives 0). */
KVGR_API uint32_t KVGR_colorToRGBA(KVGR_Color color, const KVGR_Palette *palette);

/* ---- Records ----------------------------------------------------------------------------- */

/* Record codes: the first byte of every record. */
typedef enum {
    KVGR_EXTENSION = 0,
    KVGR_LAYER = 1,
    KVGR_OBJECT = 2,
    KVGR_POLYLINE = 16,
    KVGR_DRAW_POLYGON = 17,
    KVGR_DRAW_CUBIC_BEZIER = 18,
    KVGR_DRAW_ARC = 19,
    KVGR_FILL_POLYGON = 20,
    KVGR_FILL_CUBIC_BEZIER = 21,
    KVGR_FILL_ARC = 22,
    KVGR_TEXT = 23,
    KVGR_SHAPE = 24,
    KVGR_IMAGE = 25,
    KVGR_MARK = 48,
    KVGR_LINE = 49,
    KVGR_DRAW_BOX = 50,
    KVGR_DRAW_CIRCLE = 51,
    KVGR_DRAW_ELLIPSE = 52,
    KVGR_FILL_BOX = 53,
    KVGR_FILL_CIRCLE = 54,
    KVGR_FILL_ELLIPSE = 55,
    KVGR_STAMP_SHAPE = 56,
    KVGR_REPEAT_SHAPE = 57,
    KVGR_FULL_IMAGE = 58,
    KVGR_SET_EDGE = 59,
    KVGR_SET_FACE = 60,
    KVGR_DRAW_EDGE = 61,
    KVGR_DRAW_EDGE_RANGE = 62,
    KVGR_FILL_FACE = 63,
    KVGR_POINT_SIZE_16 = 80, /* 80 to 84: point size 16, 24, 32, 64, 128 */
    KVGR_POINT_SIZE_128 = 84,
    KVGR_REL_POINT_SIZE_3 = 85, /* 85 to 92: relative point size 3, 6, 8, 16, 24, 32, 64, 128 */
    KVGR_REL_POINT_SIZE_128 = 92,
    KVGR_COLOR_SIZE = 93,
    KVGR_BLEND_MODE = 94,
    KVGR_LINE_COLOR = 95,
    KVGR_LINE_DASHES = 96,
    KVGR_LINE_STYLE = 97,
    KVGR_MARK_COLOR = 98,
    KVGR_MARK_STYLE = 99,
    KVGR_FILL_COLOR = 100,
    KVGR_GRADIENT_FILL = 101,
    KVGR_TEXTURE_FILL = 102,
    KVGR_STRETCHED_TEXTURE_FILL = 103,
    KVGR_IMAGE_STRETCH_MODE = 104,
    KVGR_TEXT_COLOR = 105,
    KVGR_FONT = 106,
    KVGR_TEXT_ALIGNMENT = 107,
    KVGR_PALETTE = 108,
    KVGR_SET_IMAGE = 109,
    KVGR_BEGIN_SET_SHAPE = 111,
    KVGR_END_SET_SHAPE = 112
} KVGR_RECORD_CODE;

/* The name of a record code ("polyline", "set-edge", ...), or NULL for a code not in use. */
KVGR_API const char *KVGR_recordName(uint8_t code);

/* Where a record lies: the definitions section (definitions, and the size records that close
 * it) or the layer section after it. */
typedef enum { KVGR_SECTION_DEFINITIONS = 0, KVGR_SECTION_LAYERS = 1 } KVGR_SECTION;

/* Free text as stored: `length` bytes (which may include NUL bytes), followed by a NUL. */
typedef struct {
    const char *data;
    uint32_t length;
} KVGR_Text;

/* An angle, stored as the point (cos, sin) scaled to the point size in force; `degrees` is
 * its direction, from 0 (included) to 360 (excluded). */
typedef struct {
    KVGR_Point vector;
    double degrees;
} KVGR_Angle;

/* The arguments of each record, in file coordinates; positions are absolute (a figure's
 * points are its start and each step added to the point before it). */

typedef struct { KVGR_Text parameter, value; } KVGR_Extension;      /* EXTENSION */
typedef struct { int visible, detectable; KVGR_Text name; } KVGR_Layer; /* LAYER */
typedef struct { KVGR_Text name; } KVGR_Object; /* OBJECT: an empty name ends the object */
/* POLYLINE, DRAW_POLYGON, FILL_POLYGON: at least 2 points; a polygon closes by itself. */
typedef struct {
    const KVGR_Point *points;
    uint32_t count;
} KVGR_Figure;
/* DRAW_CUBIC_BEZIER, FILL_CUBIC_BEZIER: the start, then per segment two control points and
 * its end point; filled, the last end point is left out (it is the start): count is
 * 1 + 3 x segments drawn, 3 x segments filled. */
typedef struct {
    const KVGR_Point *points;
    uint32_t count;
    uint32_t segments;
} KVGR_Cubic;
/* DRAW_ARC, FILL_ARC: a part of the ellipse of `half_size` around `centre`, counter-clockwise
 * from `start` to `end`. */
typedef struct {
    KVGR_Point centre, half_size;
    KVGR_Angle start, end;
} KVGR_Arc;
typedef struct { KVGR_Point anchor; KVGR_Text text; } KVGR_TextRecord; /* TEXT */
/* SHAPE: the shape's box (twice `half_size`) centred on `centre`, turned by `rotation`. */
typedef struct {
    uint32_t shape;
    KVGR_Point centre;
    KVGR_Angle rotation;
    KVGR_Point half_size;
} KVGR_ShapeUse;
/* IMAGE, FULL_IMAGE: the source rectangle in pixels (FULL_IMAGE: the whole image) drawn into
 * the rectangle of `size` whose lower-left corner is `corner`. */
typedef struct {
    uint32_t image;
    KVGR_Point source_min, source_max;
    KVGR_Point corner, size;
} KVGR_ImageUse;
typedef struct { KVGR_Point at; } KVGR_Mark; /* MARK */
typedef struct { KVGR_Point start, end; } KVGR_Line; /* LINE */
typedef struct { KVGR_Point corner, size; } KVGR_Box; /* DRAW_BOX, FILL_BOX */
typedef struct { KVGR_Point centre; uint32_t radius; } KVGR_Circle; /* DRAW_/FILL_CIRCLE */
typedef struct { KVGR_Point centre, half_size; } KVGR_Ellipse; /* DRAW_/FILL_ELLIPSE */
/* STAMP_SHAPE, REPEAT_SHAPE (the shape resolved from the last one drawn): the shape placed at
 * `at`, with no rotation or size of its own. */
typedef struct { uint32_t shape; KVGR_Point at; } KVGR_Stamp;
/* SET_EDGE: the edge's points; `segments` runs of steps, each of `segment_counts[i]` steps
 * stored in `segment_sizes[i]` bits. */
typedef struct {
    const KVGR_Point *points;
    uint32_t count;
    uint32_t segments;
    const uint8_t *segment_sizes;
    const uint32_t *segment_counts;
} KVGR_EdgeDefinition;
/* SET_FACE: a ring of edges (negative: the edge taken backwards) and holes (earlier faces). */
typedef struct {
    const int32_t *edges;
    uint32_t edge_count;
    const uint32_t *holes;
    uint32_t hole_count;
} KVGR_Face;
typedef struct { int32_t edge; } KVGR_EdgeUse;              /* DRAW_EDGE */
typedef struct { int32_t first, last; } KVGR_EdgeRange;     /* DRAW_EDGE_RANGE */
typedef struct { uint32_t face; } KVGR_FaceUse;             /* FILL_FACE */
/* The size records: bits for point sizes, a KVGR_COLOR_MODE for COLOR_SIZE. */
typedef struct { uint8_t size; } KVGR_SizeChange;
typedef struct { uint8_t value; } KVGR_ByteAttribute;       /* BLEND_MODE, IMAGE_STRETCH_MODE */
/* LINE_COLOR, MARK_COLOR, FILL_COLOR, TEXT_COLOR: the colour as written (an index in the
 * index sizes; the state holds the palette entry it names). */
typedef struct { KVGR_Color color; } KVGR_ColorAttribute;
typedef struct { uint16_t pattern; } KVGR_LineDashes;       /* LINE_DASHES */
typedef struct { uint8_t joint, begin, end, weight; } KVGR_LineStyle; /* LINE_STYLE */
typedef struct { uint8_t type; uint32_t size; } KVGR_MarkStyle;        /* MARK_STYLE */
typedef struct {                                                      /* GRADIENT_FILL */
    KVGR_Point p0;
    KVGR_Color c0;
    KVGR_Point p1;
    KVGR_Color c1;
} KVGR_GradientFill;
/* TEXTURE_FILL (size 0 x 0) and STRETCHED_TEXTURE_FILL. */
typedef struct { KVGR_Point corner, size; uint32_t image; } KVGR_TextureFill;
typedef struct { uint8_t typeface, style; uint32_t size; } KVGR_Font; /* FONT */
typedef struct { uint8_t alignment; KVGR_Angle direction; } KVGR_TextAlignment;
/* PALETTE: the values as written (indexes into the palette in force in the index sizes). */
typedef struct { const KVGR_Color *colors; uint32_t count; } KVGR_PaletteRecord;
/* SET_IMAGE: its pixels are read with KVGR_getImagePixels. */
typedef struct { uint16_t width, height; uint8_t color_size; } KVGR_ImageDefinition;
typedef struct { KVGR_Point corner; } KVGR_ShapeBegin; /* BEGIN_SET_SHAPE: upper-right corner */

typedef struct {
    uint8_t code;    /* a KVGR_RECORD_CODE */
    uint8_t section; /* a KVGR_SECTION */
    /* The shape whose definition holds the record (its own begin and end records included),
     * or -1. */
    int32_t shape;
    /* For SET_EDGE, SET_FACE, SET_IMAGE and BEGIN_SET_SHAPE the identifier it defines (edges
     * from 1, the others from 0, in their order in the file), else -1. */
    int32_t definition;
    uint64_t offset; /* of the code byte, in the decompressed content */
    uint64_t length; /* bytes up to and including the record's last, partial byte */
    uint64_t points; /* absolute and relative points it carries (angles not counted) */
    union {
        KVGR_Extension extension;
        KVGR_Layer layer;
        KVGR_Object object;
        KVGR_Figure figure;
        KVGR_Cubic cubic;
        KVGR_Arc arc;
        KVGR_TextRecord text;
        KVGR_ShapeUse shape;
        KVGR_ImageUse image;
        KVGR_Mark mark;
        KVGR_Line line;
        KVGR_Box box;
        KVGR_Circle circle;
        KVGR_Ellipse ellipse;
        KVGR_Stamp stamp;
        KVGR_EdgeDefinition edge;
        KVGR_Face face;
        KVGR_EdgeUse edge_use;
        KVGR_EdgeRange edge_range;
        KVGR_FaceUse face_use;
        KVGR_SizeChange size;
        KVGR_ByteAttribute byte;
        KVGR_ColorAttribute color;
        KVGR_LineDashes dashes;
        KVGR_LineStyle line_style;
        KVGR_MarkStyle mark_style;
        KVGR_GradientFill gradient;
        KVGR_TextureFill texture;
        KVGR_Font font;
        KVGR_TextAlignment alignment;
        KVGR_PaletteRecord palette;
        KVGR_ImageDefinition image_definition;
        KVGR_ShapeBegin shape_begin;
    } as;
} KVGR_Record;

/* Decodes the next record. Returns 1 and points `*record` at it (valid until the next call of
 * KVGR_next or KVGR_delete), 0 at the end of a valid file, -1 at the first fault, which every
 * later call reports again. */
KVGR_API int KVGR_next(KVGR_Reader *reader, const KVGR_Record **record);

/* Bytes of decompressed content read so far; the offset of the layer section (just past the
 * size records that close the definitions) once reached, else -1; whether the input is a gzip
 * stream; bytes taken from the input so far (its size, once the last record is read). */
KVGR_API uint64_t KVGR_getContentBytes(const KVGR_Reader *reader);
KVGR_API int64_t KVGR_getLayerSectionOffset(const KVGR_Reader *reader);
KVGR_API int KVGR_isCompressed(const KVGR_Reader *reader);
KVGR_API uint64_t KVGR_getInputBytes(const KVGR_Reader *reader);

/* ---- The state in force after a record --------------------------------------------------- */

/* Fill modes. */
typedef enum {
    KVGR_FILL_WITH_COLOR = 0,
    KVGR_FILL_WITH_GRADIENT = 1,
    KVGR_FILL_WITH_TEXTURE = 2,
    KVGR_FILL_WITH_STRETCHED_TEXTURE = 3
} KVGR_FILL_MODE;

/* The attribute colours (line, mark, fill, text) are direct colours: one set in an index size
 * holds the palette entry it named, in the palette's colour size. The gradient colours are
 * kept as written, with the colour size they were written in. */
typedef struct {
    KVGR_Color color;
    uint16_t dashes;  /* 16-bit dash pattern, 0xFFFF solid */
    uint8_t joint;    /* a KVG_JOINT_STYLE */
    uint8_t begin;    /* a KVG_LINE_DECORATION_STYLE at the start ... */
    uint8_t end;      /* ... and at the end */
    uint8_t weight;   /* file units */
} KVGR_LineState;
typedef struct {
    KVGR_Color color;
    uint8_t type;  /* a KVG_MARK_TYPE */
    uint32_t size; /* as given to the writer */
} KVGR_MarkState;
typedef struct {
    uint8_t mode; /* a KVGR_FILL_MODE */
    KVGR_Color color;
    KVGR_Point gradient_p0;
    KVGR_Color gradient_c0;
    KVGR_Point gradient_p1;
    KVGR_Color gradient_c1;
    KVGR_Point texture_corner;
    uint32_t texture_image;
    KVGR_Point texture_size; /* extent of a stretched texture */
} KVGR_FillState;
typedef struct {
    KVGR_Color color;
    uint8_t typeface;  /* a KVG_FONT_TYPEFACE */
    uint8_t style;     /* a KVG_FONT_STYLE */
    uint32_t size;     /* file units */
    uint8_t alignment; /* a KVG_TEXT_ALIGNMENT */
    double direction;  /* degrees */
} KVGR_TextState;

typedef struct {
    uint8_t point_size;     /* the encoding sizes in force */
    uint8_t rel_point_size;
    uint8_t color_size;
    uint8_t blend_mode;     /* a KVG_BLEND_MODE */
    uint8_t image_stretch_mode; /* a KVG_STRETCH_TYPE */
    KVGR_LineState line;
    KVGR_MarkState mark;    /* not reset by layer records */
    KVGR_FillState fill;
    KVGR_TextState text;
    KVGR_Palette palette;
    uint32_t depth;         /* objects begun and not ended in the current layer */
} KVGR_State;

/* The sizes and graphic state in force after the last record returned: reset at every layer
 * record, carried from the definitions through shape definitions as the writer carries them.
 * NULL before an input is open. Valid until KVGR_delete. */
KVGR_API const KVGR_State *KVGR_getState(const KVGR_Reader *reader);

/* ---- Definitions ------------------------------------------------------------------------- */

/* Each returns -1 for an identifier not defined yet (or a row beyond the image), and leaves
 * the reader's error as it was. What they point to stays valid until KVGR_delete. */

typedef struct {
    uint32_t edges;  /* identifiers 1 to edges */
    uint32_t faces;  /* identifiers 0 to faces - 1, as the others */
    uint32_t images;
    uint32_t shapes;
} KVGR_Counts;
KVGR_API KVGR_Counts KVGR_getDefinitionCounts(const KVGR_Reader *reader);

/* An edge's points in the order stored. `edge` is its identifier or the identifier's negative,
 * which names the same edge taken backwards (`reversed` is then 1). */
typedef struct {
    const KVGR_Point *points;
    uint32_t count;
    int reversed;
} KVGR_Edge;
KVGR_API int KVGR_getEdge(const KVGR_Reader *reader, int32_t edge, KVGR_Edge *out);
KVGR_API int KVGR_getFace(const KVGR_Reader *reader, uint32_t face, KVGR_Face *out);

/* An image: `width` x `height` pixels in `color_size`; for the index sizes `palette` is the
 * palette in force when it was defined, else NULL. */
typedef struct {
    uint16_t width, height;
    uint8_t color_size;
    const KVGR_Palette *palette;
} KVGR_Image;
KVGR_API int KVGR_getImage(const KVGR_Reader *reader, uint32_t image, KVGR_Image *out);
/* Row `row` (0 is the first row stored) of an image: `width` values as stored ... */
KVGR_API int KVGR_getImagePixels(const KVGR_Reader *reader, uint32_t image, uint32_t row,
                                 uint32_t *values);
/* ... or as 4 x width bytes R, G, B, A (KVGR_colorToRGBA). */
KVGR_API int KVGR_getImageRGBA(const KVGR_Reader *reader, uint32_t image, uint32_t row,
                               uint8_t *rgba);

/* A shape: the upper-right corner of its bounding box (BEGIN_SET_SHAPE), the offset of that
 * record, and whether its definition has ended. */
typedef struct {
    KVGR_Point corner;
    uint64_t offset;
    int complete;
} KVGR_Shape;
KVGR_API int KVGR_getShape(const KVGR_Reader *reader, uint32_t shape, KVGR_Shape *out);

#ifdef __cplusplus
}
#endif

#endif /* KVGREADER_H */
