/*
 * kvgwriter: a writer for KVG, a compact bit-packed file format for 2-D vector drawings.
 *
 * An application fills a KVG_FileOptions record, opens a file with KVG_create, draws through
 * the KVG_ calls of this header and completes the file with KVG_close:
 *
 *     KVG_File *fl = KVG_create("map.kvg", NULL);  // world -100..100 on both axes
 *     KVG_beginLayer(fl, "roads", KVG_TRUE, KVG_TRUE);
 *     KVG_line(fl, -50, -20, 60, 30);
 *     if (KVG_close(fl) != 0) { puts(KVG_getErrorDescription(fl)); KVG_abandon(fl); }
 *
 * Coordinates. Positions, widths, heights and radii are given in world units, the units of the
 * caller's data (metres, degrees, data values). The world window (KVG_setWorldFileOption) maps
 * onto the file grid, width_res x height_res file units centred on 0 (4096 x 4096 by default),
 * with one scale for both axes: where the window's aspect differs from the grid's, the window
 * is widened around its centre on one axis, so that all of it stays visible and a circle stays
 * round. That scale, file units per world unit, is min(width_res / world width, height_res /
 * world height). Positions are then rounded to whole file units, halves upwards, unless the
 * file is raw (KVG_setQuantizationFileOption). A window reversed on an axis (ymin above ymax,
 * y down as on screens) draws the mirror image. x grows to the right and y upwards; angles are
 * in degrees, counter-clockwise from the +x axis. The file's page is width_mm x height_mm
 * (KVG_setDimensionsFileOption); a reader fits the grid onto it with one scale, centred.
 *
 * Units of the attributes. Line weights and font sizes are whole world units, scaled to file
 * units when they are set (and read back in file units); mark sizes are in 1/96 inch on the
 * page; one bit of a dash pattern is 0.5 mm on the page; image pixels run row after row from
 * the bottom row up. Choose the world window so that the weights and font sizes you need are
 * whole numbers of world units (with a window of 0..1, 1 is the whole width).
 *
 * Results: 0 on success; -1 on failure, when the call drew nothing and the handle stays usable
 * (read the reason with KVG_getErrorCode and KVG_getErrorDescription; the file stays valid);
 * -2 from the drawing calls whose comments below say so, when the figure came to nothing on the
 * file grid (a line of length 0, a box narrower than a file unit): nothing was written and
 * nothing is recorded. Every
 * position, extent and angle must be a finite number, in file units too (a world position so
 * large that it maps beyond the range of a double is refused): otherwise -1 with KVG_ERR_PARAM,
 * "Position or extent is not a finite number" or "Angle is not a finite number". A NULL handle
 * or pointer where one is required and an attribute's enumerated value out of range are
 * contract violations: the process stops with the failed expression.
 *
 * Threads: a handle is used by one thread at a time; different handles are independent and may
 * be created, used and closed on different threads at once.
 *
 * This header is valid C (C99 and later) and C++.
 */
#ifndef KVGWRITER_H
#define KVGWRITER_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(KVGWRITER_BUILDING)
#    define KVG_API __declspec(dllexport)
#  else
#    define KVG_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define KVG_API __attribute__((visibility("default")))
#else
#  define KVG_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Types ------------------------------------------------------------------------------ */

/* The writer handle and the options of KVG_create; both are opaque. */
typedef struct _KVG_File KVG_File;
typedef struct _KVG_FileOptions KVG_FileOptions;

/* A colour value; its layout depends on the colour mode it is used in (see KVG_COLOR_MODE). */
typedef uint32_t KVG_Color;

#define KVG_TRUE 1
#define KVG_FALSE 0

/* The code of a failure (KVG_getErrorCode, KVG_CreateError). */
typedef enum {
    KVG_ERR_NONE = 0,     /* no failure recorded */
    KVG_ERR_SYSTEM = 1,   /* the system underneath failed (input/output) */
    KVG_ERR_LIMITS = 2,   /* a value beyond a limit of the format or of the library */
    KVG_ERR_CONTEXT = 3,  /* a call not allowed in the current state of the drawing */
    KVG_ERR_PARAM = 4,    /* an invalid argument */
    KVG_ERR_INTERNAL = 5  /* an inconsistency inside the library */
} KVG_ERROR_CODE;

/* Colour modes, also called colour sizes: how the colours of the attributes and the pixels of
 * images are given and written (KVG_setColorSize). The index modes name an entry of the palette
 * in force (KVG_setPalette). */
typedef enum {
    KVG_COLOR_INDEX1 = 0, /* palette index 0 or 1, one bit */
    KVG_COLOR_INDEX8 = 1, /* palette index 0 to 255 */
    KVG_COLOR_GRAY8 = 2,  /* grey 0 (black) to 255 (white) */
    KVG_COLOR_GRAY12 = 3, /* grey 0 to 4095 */
    KVG_COLOR_GRAY16 = 4, /* grey 0 to 65535 */
    KVG_COLOR_GA = 5,     /* 16-bit grey in the upper half, 16-bit alpha in the lower half */
    KVG_COLOR_RGB = 6,    /* 0x00RRGGBB */
    KVG_COLOR_RGBA = 7    /* 0xRRGGBBAA */
} KVG_COLOR_MODE;

/* The primitives of KVG_begin. */
typedef enum {
    KVG_BEGIN_POLYLINE = 0, /* an open path through its points */
    KVG_BEGIN_POLYGON = 1,  /* a closed path: the last point joins the first */
    KVG_BEGIN_CUBIC = 2     /* cubic Bezier segments from the start point */
} KVG_BEGIN_TYPE;

/* How what is drawn (the source) is combined with what is already there (the destination),
 * after Porter and Duff. The renderers of this project (SVG, PNG, PDF, the browser) draw every
 * mode as KVG_BLEND_SOURCE_OVER_DEST. */
typedef enum {
    KVG_BLEND_CLEAR = 0,            /* clears what the figure covers */
    KVG_BLEND_SOURCE = 1,           /* the source replaces the destination */
    KVG_BLEND_SOURCE_OVER_DEST = 2, /* ordinary painting over what is there (the default) */
    KVG_BLEND_DEST_OVER_SOURCE = 3, /* painting behind what is there */
    KVG_BLEND_SOURCE_IN_DEST = 4,   /* the source, only where the destination is */
    KVG_BLEND_DEST_IN_SOURCE = 5,   /* the destination, only where the source is */
    KVG_BLEND_SOURCE_HELD_DEST = 6, /* the source, only where the destination is not */
    KVG_BLEND_DEST_HELD_SOURCE = 7  /* the destination, only where the source is not */
} KVG_BLEND_MODE;

/* How the segments of an outline meet. */
typedef enum {
    KVG_JOINT_DEFAULT = 0, /* the reader's choice: mitred in this project's renderers */
    KVG_JOINT_MITER = 1,
    KVG_JOINT_ROUND = 2,
    KVG_JOINT_BEVEL = 3
} KVG_JOINT_STYLE;

/* The decoration at the start or the end of an open line. */
typedef enum {
    KVG_NO_ARROW = 0,
    KVG_ARROW = 1,
    KVG_OPEN_ARROW = 2,
    KVG_STEALTH_ARROW = 3,
    KVG_DIAMOND_ARROW = 4,
    KVG_OVAL_ARROW = 5
} KVG_LINE_DECORATION_STYLE;

/* The symbol of a mark, drawn centred on its point. */
typedef enum {
    KVG_MARK_PLUS = 0,
    KVG_MARK_STAR = 1,
    KVG_MARK_CIRCLE = 2,
    KVG_MARK_X = 3,
    KVG_MARK_BOX = 4,
    KVG_MARK_DIAMOND = 5,
    KVG_MARK_HOLLOW_CIRCLE = 6,
    KVG_MARK_HOLLOW_BOX = 7,
    KVG_MARK_HOLLOW_DIAMOND = 8
} KVG_MARK_TYPE;

/* How an image is resampled when it is stretched. */
typedef enum {
    KVG_STRETCH_NEAREST = 0, /* every pixel a sharp square */
    KVG_STRETCH_BILINEAR = 1 /* interpolated */
} KVG_STRETCH_TYPE;

typedef enum {
    KVG_FONT_DEFAULT = 0,
    KVG_FONT_MONOSPACED = 1,
    KVG_FONT_SERIF = 2,
    KVG_FONT_SANS_SERIF = 3
} KVG_FONT_TYPEFACE;

typedef enum {
    KVG_FONT_PLAIN = 0,
    KVG_FONT_BOLD = 1,
    KVG_FONT_ITALIC = 2,
    KVG_FONT_BOLD_ITALIC = 3
} KVG_FONT_STYLE;

/* The point of a text's box that lies on the text's position: NORTH is the middle of its top
 * edge, SOUTHWEST its lower-left corner, CENTER its middle; the BASE points lie on the
 * baseline, at its start (BASELEFT), middle and end. */
typedef enum {
    KVG_TEXT_NORTH = 0,
    KVG_TEXT_SOUTH = 1,
    KVG_TEXT_EAST = 2,
    KVG_TEXT_WEST = 3,
    KVG_TEXT_NORTHEAST = 4,
    KVG_TEXT_NORTHWEST = 5,
    KVG_TEXT_SOUTHEAST = 6,
    KVG_TEXT_SOUTHWEST = 7,
    KVG_TEXT_CENTER = 8,
    KVG_TEXT_BASELEFT = 9,
    KVG_TEXT_BASECENTER = 10,
    KVG_TEXT_BASERIGHT = 11
} KVG_TEXT_ALIGNMENT;

/* ---- File options ----------------------------------------------------------------------- */

/* A new options record holding the defaults (NULL when memory runs out): world window -100..100
 * on both axes, a page of 100 x 100 mm, a 4096 x 4096 grid, positions rounded onto it, white
 * background, gzip-compressed output, flushed to the disk before it takes its name. KVG_create
 * reads the record and keeps nothing of it; delete it whenever convenient (NULL is allowed). */
KVG_API KVG_FileOptions *KVG_newFileOptions(void);
KVG_API void KVG_deleteFileOptions(KVG_FileOptions *opt);
/* The world window: the range of the caller's coordinates that the grid covers. Each axis
 * needs a finite, non-zero extent; KVG_create refuses others. */
KVG_API void KVG_setWorldFileOption(KVG_FileOptions *opt, double xmin, double xmax, double ymin,
                                    double ymax);
/* The page in millimetres, for readers: they fit the grid onto it. Finite and not negative;
 * KVG_create refuses others. */
KVG_API void KVG_setDimensionsFileOption(KVG_FileOptions *opt, double w, double h);
/* The grid in file units (positive); finer grids cost more bits per coordinate. */
KVG_API void KVG_setResolutionFileOption(KVG_FileOptions *opt, int32_t w, int32_t h);
/* Raw mode when `enabled` is 0: positions are written unrounded (as floating-point points, which
 * take 8 or 16 bytes each) and one file unit is one world unit, the file window being the world
 * window's size centred on 0; the resolution is then only written to the header. */
KVG_API void KVG_setQuantizationFileOption(KVG_FileOptions *opt, int enabled);
/* The page's background, 0xRRGGBB (the upper 8 bits are ignored). */
KVG_API void KVG_setBackgroundFileOption(KVG_FileOptions *opt, KVG_Color color);
/* Non-zero: the file is a gzip stream (zcat reads it). */
KVG_API void KVG_setCompressionFileOption(KVG_FileOptions *opt, int comp);
/* Non-zero (the default): KVG_close puts the file's data on the disk (fdatasync) before the
 * file takes its name, so that not even a power failure can leave a half-written file under it.
 * 0 saves that wait (a few milliseconds per file) where many small files are written; a failure
 * of the process still never leaves one. */
KVG_API void KVG_setSyncFileOption(KVG_FileOptions *opt, int enabled);

/* ---- File lifecycle and errors ---------------------------------------------------------- */

/* Why KVG_createWithError failed. */
typedef struct {
    int code;              /* a KVG_ERROR_CODE; KVG_ERR_NONE when the file was created */
    int system_error;      /* the system's error number (errno) when a system call failed, or 0 */
    char description[256]; /* what failed and why, e.g. "Cannot create the file: Permission
                              denied" or "Invalid file options: the world window is not finite" */
} KVG_CreateError;

/* Opens `filename` for writing with the options `opt` (NULL: the defaults); NULL on failure.
 * The file is written beside `filename`, in the same directory (which must be writable), and
 * takes its name only when KVG_close completes it: until then, and after any failure or
 * KVG_abandon, `filename` keeps what it held, or stays absent. While it is written the new file
 * has no name (where the file system allows; elsewhere a hidden one beside `filename`), so no
 * other process can open it and a crash leaves nothing; from its creation it has the permissions
 * of the file it replaces, or those of an ordinary create (0666 less the umask), and before its
 * first byte that file's owner and group, as far as the process may give them. A symbolic link
 * is followed and its target replaced; FIFOs, devices and names under /dev and /proc
 * (/dev/stdout) are written directly, byte by byte as the drawing goes. A file the process may
 * not write is refused. The layer section collects meanwhile in a scratch file under $TMPDIR
 * (else /tmp) that has no name either and vanishes with the handle or the process. Threads may
 * create files at the same time. */
KVG_API KVG_File *KVG_create(const char *filename, const KVG_FileOptions *opt);
/* KVG_create that tells why it failed: when the result is NULL and `error` is not, *error holds
 * the code (KVG_ERR_PARAM for unusable options, KVG_ERR_SYSTEM for a file that cannot be made),
 * the system's error number and a description; on success its code is KVG_ERR_NONE. The record
 * is the caller's, so this is safe in any number of threads at once. */
KVG_API KVG_File *KVG_createWithError(const char *filename, const KVG_FileOptions *opt,
                                      KVG_CreateError *error);
/* Completes the file and releases the handle (0). The file is written beside `filename` and
 * takes its name only here, once complete, so that `filename` never holds a half-written file.
 * On -1 the file could not be completed and is discarded (`filename` keeps what it held): the
 * handle stays allocated so that the error can be read, and KVG_abandon or a second KVG_close
 * (which returns -1 again) releases it. Shape, edge and face definitions still open are ended
 * first; an open primitive is dropped. */
KVG_API int KVG_close(KVG_File *fl);
/* Releases the handle without completing the file and removes everything it wrote: `filename`
 * keeps what it held before. A file written directly (a FIFO, a device) keeps what already
 * reached it. Also releases a handle whose KVG_close failed. NULL does nothing. */
KVG_API void KVG_abandon(KVG_File *fl);
/* The code (KVG_ERROR_CODE) and the message of the latest failure recorded on the handle
 * (KVG_ERR_NONE and NULL when none was); a successful call does not clear them. The message is
 * a static string of the library. */
KVG_API int KVG_getErrorCode(KVG_File *fl);
KVG_API const char *KVG_getErrorDescription(KVG_File *fl);

/* ---- Colour values ---------------------------------------------------------------------- */

/* Packing a colour of each mode into a KVG_Color and taking it apart. Fractions (grey, alpha)
 * run from 0.0 to 1.0 (others are contract violations) and are truncated to the mode's steps:
 * 0.5 gives 127 of 255. Alpha 1.0 is opaque. The decoders return 0, or -1 when bits beyond the
 * mode's field are set (the field is decoded all the same). */

KVG_API KVG_Color KVG_encodeRGBAColor(uint8_t r, uint8_t g, uint8_t b, double alpha);
KVG_API int KVG_decodeRGBAColor(KVG_Color color, uint8_t *r, uint8_t *g, uint8_t *b,
                                double *alpha);
KVG_API KVG_Color KVG_encodeRGBColor(uint8_t r, uint8_t g, uint8_t b);
KVG_API int KVG_decodeRGBColor(KVG_Color color, uint8_t *r, uint8_t *g, uint8_t *b);
KVG_API KVG_Color KVG_encodeGAColor(double gray, double alpha);
KVG_API int KVG_decodeGAColor(KVG_Color color, double *gray, double *alpha);
KVG_API KVG_Color KVG_encodeG8Color(double gray);
KVG_API int KVG_decodeG8Color(KVG_Color color, double *gray);
KVG_API KVG_Color KVG_encodeG12Color(double gray);
KVG_API int KVG_decodeG12Color(KVG_Color color, double *gray);
KVG_API KVG_Color KVG_encodeG16Color(double gray);
KVG_API int KVG_decodeG16Color(KVG_Color color, double *gray);

/* ---- Layers, objects and primitives ----------------------------------------------------- */

/* Every drawing and attribute call writes to the current stream: the layer section, or the
 * shape being defined (KVG_beginSetShape). The calls of this section may come in any order, also
 * while a primitive is open. */

/* An application's own setting, a pair of texts that readers which do not know `parameter`
 * ignore; allowed anywhere, shapes included. `parameter` must not be empty; a NULL `value` is
 * written as an empty text. */
KVG_API int KVG_extension(KVG_File *fl, const char *parameter, const char *value);
/* Starts a layer named `name` (not empty); a file's drawings belong to the layer started last.
 * `vis` and `detect` are KVG_TRUE or KVG_FALSE: a layer that is not visible is not drawn;
 * `detect` tells interactive viewers whether the layer's objects may be picked with the pointer
 * (this project's renderers ignore it). Every layer starts with the default attributes (see
 * Graphic attributes; the mark attributes excepted) and with the fill switch off, whatever the
 * layers before it set. Not allowed inside a shape definition. */
KVG_API int KVG_beginLayer(KVG_File *fl, const char *name, uint8_t vis, uint8_t detect);
/* Brackets the records that follow, up to KVG_endObject, as one named object (for readers and
 * viewers; it changes nothing in the picture). Objects may nest; the writer does not count
 * them. Not allowed inside a shape definition. */
KVG_API int KVG_beginObject(KVG_File *fl, const char *name);
KVG_API int KVG_endObject(KVG_File *fl);

/* A primitive is built point by point: KVG_begin with its type and start point, KVG_vertex for
 * every further point of a polyline or polygon, or KVG_cubic for every segment of a curve, then
 * KVG_end, which writes it to the current stream, filled (polygons and curves) while the fill
 * switch is on, in the attributes in force then. Only one primitive is open at a time.
 *
 * KVG_begin: -1 when a primitive is open or `type` is not a KVG_BEGIN_TYPE.
 * KVG_vertex: -2 when the point falls on the previous one on the grid (it is dropped); -1
 * outside a polyline or polygon.
 * KVG_cubic: a segment from the last point with two control points and an end point; -2 when
 * all three fall on the last point (dropped); -1 outside a curve.
 * KVG_end: -1, leaving the primitive open to take more points, when too few were given: a
 * polyline needs a point after its start, a polygon two, a curve a segment. -2 when too few of
 * them were kept to draw anything (no step of a polyline or curve, one step of a polygon):
 * nothing is written and the primitive is closed. A polygon's last point may repeat its first;
 * the closing side is implicit either way. */
KVG_API int KVG_begin(KVG_File *fl, int type, double x, double y);
KVG_API int KVG_vertex(KVG_File *fl, double x, double y);
KVG_API int KVG_cubic(KVG_File *fl, double ctrl1_x, double ctrl1_y, double ctrl2_x,
                      double ctrl2_y, double end_x, double end_y);
KVG_API int KVG_end(KVG_File *fl);

/* Bulk calls: many points in one call, written exactly as the per-point calls would write them
 * and several times faster. `xy` holds the n points interleaved: x0, y0, x1, y1, ...
 *
 * KVG_vertices adds n vertices to the open polyline or polygon, as n KVG_vertex calls would
 * (a vertex that falls on the previous one is dropped). Returns 0, or -1 with the reason the
 * first refused vertex would give, having added none of them.
 *
 * KVG_polyline draws a whole primitive of `type`: KVG_begin at the first point, the rest as
 * vertices (for KVG_BEGIN_CUBIC, three at a time as KVG_cubic's two control points and end
 * point, so n - 1 must be a multiple of three), then KVG_end; returns what KVG_end returns
 * (0, -1, or -2 when the figure came to nothing). Whatever happens, no primitive is left open;
 * a primitive already open is refused. */
KVG_API int KVG_vertices(KVG_File *fl, size_t n, const double *xy);
KVG_API int KVG_polyline(KVG_File *fl, int type, size_t n, const double *xy);
/* An arc of the ellipse centred at (x, y) with the full width `w` and height `h` (world
 * units, positive), from the angle `start` counter-clockwise to `end` (degrees; the angles of
 * the ellipse's parameter, point = centre + (w/2 cos t, h/2 sin t)); an end at or below the
 * start goes once more round, equal angles give the whole ellipse. Filled, while the fill
 * switch is on, as a pie slice. -2 when the width or the height comes to nothing on the grid. */
KVG_API int KVG_arc(KVG_File *fl, double x, double y, double w, double h, double start,
                    double end);
/* One line of UTF-8 text at (x, y), placed by the text alignment point and turned by the text
 * direction (KVG_setTextAlignment), in the text colour and font in force: set a font first, as
 * the default size is 1 file unit. An empty text writes nothing and returns 0; a text has at
 * most 4,194,303 bytes. */
KVG_API int KVG_text(KVG_File *fl, double x, double y, const char *text);

/* ---- Shapes and images ------------------------------------------------------------------ */

/* A shape is a sub-drawing (a symbol, a marker, a tree on a map) defined once and drawn any
 * number of times. Between KVG_beginSetShape and KVG_endSetShape every drawing and attribute
 * call writes into the shape. Its coordinate system is its own: positions inside it are world
 * units about the shape's origin, the point (0, 0), wherever the world window lies, so draw a
 * shape around (0, 0). (w, h), positive, is the upper-right corner of its box, which reaches from
 * (-w, -h) to (w, h). A shape carries the attributes set inside it (it starts with those the
 * shape defined before it left, not with the layer's): set the ones it needs. Shapes are
 * numbered 0, 1, 2, ... in the order of their definition; the number is stored through `id`.
 * Inside a definition, shapes cannot be defined or used, and layers, objects, edges, faces and
 * images cannot be started. A definition still open at KVG_close is ended there. */
KVG_API int KVG_beginSetShape(KVG_File *fl, double w, double h, uint32_t *id);
KVG_API int KVG_endSetShape(KVG_File *fl);
/* Draws shape `id` with its origin at (x, y), turned counter-clockwise by `rotation` degrees,
 * its box stretched to the full width `w` and height `h`. -2 when the size comes to nothing on
 * the grid. */
KVG_API int KVG_shape(KVG_File *fl, uint32_t id, double x, double y, double rotation, double w,
                      double h);
/* Draws shape `id` with its origin at (x, y), at the size it was defined in; stamping the shape
 * drawn last again costs no identifier in the file. */
KVG_API int KVG_stampShape(KVG_File *fl, uint32_t id, double x, double y);

/* Defines a w x h image from the w x h values of `colors`: row after row from the bottom row
 * up (the first value is the lower-left pixel), each a colour of the current colour mode; in
 * the index modes the current palette goes with it. Every colour must be valid in that mode, or
 * nothing is written (-1). Images are numbered 0, 1, 2, ...; the number is stored through `id`.
 * Not allowed inside a shape definition. */
KVG_API int KVG_setImage(KVG_File *fl, uint16_t w, uint16_t h, const KVG_Color *colors,
                         uint32_t *id);
/* Draws all of image `id` stretched over the rectangle with lower-left corner (x, y), width `w`
 * and height `h` (positive), resampled as the image stretch mode says; -2 when the rectangle
 * comes to nothing on the grid. */
KVG_API int KVG_image(KVG_File *fl, uint32_t id, double x, double y, double w, double h);
/* Draws the pixels sub_x .. sub_x + sub_w, sub_y .. sub_y + sub_h of image `id` (counted from
 * its lower-left pixel) into the rectangle (x, y, w, h), as KVG_image does; -2 likewise. */
KVG_API int KVG_subImage(KVG_File *fl, uint32_t id, uint16_t sub_x, uint16_t sub_y,
                         uint16_t sub_w, uint16_t sub_h, double x, double y, double w, double h);

/* ---- Marks, lines, boxes, circles and ellipses ------------------------------------------ */

/* Single figures, in world units, on the current stream. Boxes, circles and ellipses are
 * filled while the fill switch is on (KVG_setFill), outlined otherwise; marks and lines are the
 * same either way. */

/* A mark of the mark style in force (symbol, size in 1/96 inch) centred on (x, y). */
KVG_API int KVG_mark(KVG_File *fl, double x, double y);
/* A straight line; -2 when its ends fall on one grid point. */
KVG_API int KVG_line(KVG_File *fl, double x1, double y1, double x2, double y2);
/* The rectangle with corner (x, y), width `w` and height `h` (negative ones reach left or
 * down); -2 when the width or the height comes to nothing on the grid. */
KVG_API int KVG_box(KVG_File *fl, double x, double y, double w, double h);
/* A circle of `radius` (positive) about (x, y). A radius that is not a whole number of file
 * units from 1 to 4194303 is written as an ellipse: the picture is the same. */
KVG_API int KVG_circle(KVG_File *fl, double x, double y, double radius);
/* The ellipse centred at (x, y) with the full width `w` and height `h`, both positive. One
 * thinner than a file unit keeps its exact size, so it is never -2. */
KVG_API int KVG_ellipse(KVG_File *fl, double x, double y, double w, double h);

/* ---- Edges and faces -------------------------------------------------------------------- */

/* A planar map: edges (point chains) and faces (areas bounded by edges, with holes), defined
 * once and drawn from the layers by identifier, so that a border shared by two countries is
 * stored once. Edges are numbered 1, 2, ... (at most 2,097,150) and faces 0, 1, ... (at most
 * 4,194,303) in the order their definitions begin; every identifier handed out gets its
 * definition (an edge that kept no vertex is written as its start point; a definition still
 * open at KVG_close is ended there). Edges and faces
 * can be defined at any time, also between layers, but not inside a shape definition; an edge
 * is drawn in the line attributes in force, a face filled in the fill attributes in force,
 * whatever the fill switch says.
 *
 * A face's boundary is one or more closed rings of edges: add the edges of a ring in order
 * around it, each taken forwards or reversed so that it starts where the previous one ends (a
 * ring closes from its last point back to its first). Several rings may follow each other. The
 * fill is even-odd, so a ring's direction does not matter (counter-clockwise outer rings and
 * clockwise holes suit other tools best). A hole is a face defined before: its rings are cut out
 * of the face, and a hole's own holes are filled again. */

/* Opens an edge starting at (x, y) and hands out its identifier through `edge_id`; one edge is
 * open at a time. */
KVG_API int KVG_beginSetEdge(KVG_File *fl, int32_t *edge_id, double x, double y);
/* Adds the next vertex; -2 when it falls on the previous one on the file grid (dropped). An
 * edge holds at most 4,194,303 vertices after its start. */
KVG_API int KVG_vertexSetEdge(KVG_File *fl, double x, double y);
/* Writes the edge, cut into segments at the least cost in bytes, and closes it. -2 when no
 * vertex was kept: the edge is then written as its start point alone (one zero step), so that
 * its identifier stays valid. */
KVG_API int KVG_endSetEdge(KVG_File *fl);
/* Bulk calls for edges, written exactly as the per-point calls would write them; `xy` holds
 * the n points interleaved (x0, y0, x1, y1, ...). KVG_verticesSetEdge adds n vertices to the
 * open edge, or none of them when a vertex would be refused (-1 with its reason).
 * KVG_setEdge defines a whole edge from its start point and vertices, hands out its
 * identifier through `edge_id` and returns what KVG_endSetEdge returns; when it is refused
 * before the edge is written, no edge stays open and no identifier is used. */
KVG_API int KVG_verticesSetEdge(KVG_File *fl, size_t n, const double *xy);
KVG_API int KVG_setEdge(KVG_File *fl, int32_t *edge_id, size_t n, const double *xy);
/* Draws edge `edge_id` (negative: the edge reversed), or the edges from `e1` to `e2`, both
 * included (stepping by 1 or -1), as one path; a range names edges up to 32,767. */
KVG_API int KVG_edge(KVG_File *fl, int32_t edge_id);
KVG_API int KVG_edgeRange(KVG_File *fl, int16_t e1, int16_t e2);
/* Opens a face and hands out its identifier through `face_id`; one face is open at a time, and
 * edges may be defined meanwhile. */
KVG_API int KVG_beginSetFace(KVG_File *fl, uint32_t *face_id);
/* Adds a boundary edge (defined or begun before) to the open face, taken backwards when
 * `reversed` is non-zero. */
KVG_API int KVG_edgeSetFace(KVG_File *fl, int32_t edge_id, int reversed);
/* Adds a hole: a face whose definition began before the open one. */
KVG_API int KVG_holeSetFace(KVG_File *fl, uint32_t hole_id);
/* Writes the face and closes it; a face with no edge is allowed and fills nothing. */
KVG_API int KVG_endSetFace(KVG_File *fl);
/* Fills face `face_id` (also one still being defined) with the fill attributes in force. */
KVG_API int KVG_face(KVG_File *fl, uint32_t face_id);


/* ---- Graphic attributes ----------------------------------------------------------------- */

/* Attributes apply to the figures drawn after them on the same stream (the layers, or the
 * shape being defined). Every setter writes its record at once, also when the value does not
 * change; the getters read the stream's state back, where coordinates come back in world units
 * (as rounded onto the grid) and line weights and font sizes in file units.
 *
 * Defaults, restored by every KVG_beginLayer (also in effect before the first layer):
 *   colour size KVG_COLOR_RGB; blend mode KVG_BLEND_SOURCE_OVER_DEST;
 *   line colour 0 (black), dashes 0xFFFF (solid), KVG_JOINT_DEFAULT, no arrows, weight 1 file
 *   unit; fill switch off, fill colour 0 (black); image stretch mode KVG_STRETCH_NEAREST;
 *   text colour 0 (black), KVG_FONT_DEFAULT, KVG_FONT_PLAIN, size 1 file unit,
 *   KVG_TEXT_BASECENTER, direction 0; palette of two entries, 0xFFFFFF (white) and 0 (black).
 * The mark attributes are not restored: they start once as colour 0 (black), KVG_MARK_PLUS and
 * size 1, and keep what was last set.
 *
 * Colours are KVG_Color values of the colour size in force (KVG_COLOR_MODE); a colour that does
 * not fit it, or an index beyond the palette, is refused (-1, KVG_ERR_LIMITS). Set in an index
 * colour size, a colour reads back as the palette entry it named, in the palette's colour size.
 * The setters of enumerated values stop the process on a value out of range. */

/* The colour size (KVG_COLOR_MODE) in which the following colours, palettes and image pixels
 * are given and written. */
KVG_API int KVG_setColorSize(KVG_File *fl, int mode);
KVG_API uint8_t KVG_getColorSize(KVG_File *fl);
/* A KVG_BLEND_MODE. */
KVG_API int KVG_setBlendMode(KVG_File *fl, int mode);
KVG_API uint8_t KVG_getBlendMode(KVG_File *fl);

KVG_API int KVG_setLineColor(KVG_File *fl, KVG_Color color);
KVG_API void KVG_getLineColor(KVG_File *fl, KVG_Color *color, uint8_t *color_size);
/* The dash pattern of outlines: the low 16 bits of `dash`, most significant bit first, a set bit
 * drawn, each bit 0.5 mm long on the page (or the line's width, if that is wider), repeated
 * along each line from its start. 0xFFFF is solid, 0xF0F0 dashed, 0 draws no outline at all. */
KVG_API int KVG_setLineDashes(KVG_File *fl, int dash);
KVG_API uint16_t KVG_getLineDashes(KVG_File *fl);
/* The joints (KVG_JOINT_STYLE), the decorations of the start and the end of open lines
 * (KVG_LINE_DECORATION_STYLE) and the weight: `weight`'s low 8 bits, in whole world units,
 * written in file units (weight x file units per world unit, truncated, at most 255). A weight
 * of 0 draws the thinnest line, one file unit wide. The getter answers in file units. */
KVG_API int KVG_setLineStyle(KVG_File *fl, int joint, int begin, int end, int weight);
KVG_API void KVG_getLineStyle(KVG_File *fl, int *joint, int *begin, int *end, uint8_t *weight);

/* The mark colour, and the mark symbol (KVG_MARK_TYPE) with its width `size` in 1/96 inch on the
 * page (0.2646 mm; written as given, not scaled with the drawing; 0 draws nothing). */
KVG_API int KVG_setMarkColor(KVG_File *fl, KVG_Color color);
KVG_API void KVG_getMarkColor(KVG_File *fl, KVG_Color *color, uint8_t *color_size);
KVG_API int KVG_setMarkStyle(KVG_File *fl, int type, uint32_t size);
KVG_API void KVG_getMarkStyle(KVG_File *fl, int *type, uint32_t *size);

/* The fill switch: non-zero fills the closed figures drawn next (polygons, curves, arcs, boxes,
 * circles, ellipses) instead of outlining them. Returns the previous setting; writes nothing. */
KVG_API int KVG_setFill(KVG_File *fl, int enabled);
KVG_API int KVG_getFill(KVG_File *fl);
/* Fills with one colour (replacing a gradient or texture). */
KVG_API int KVG_setFillColor(KVG_File *fl, KVG_Color color);
KVG_API void KVG_getFillColor(KVG_File *fl, KVG_Color *color, uint8_t *color_size);
/* Fills with a linear gradient from colour `c1` at (x1, y1) to `c2` at (x2, y2); beyond the two
 * points the nearer colour continues. */
KVG_API int KVG_setGradientFill(KVG_File *fl, double x1, double y1, KVG_Color c1, double x2,
                                double y2, KVG_Color c2);
KVG_API void KVG_getGradientFill(KVG_File *fl, double *x1, double *y1, KVG_Color *c1,
                                 double *x2, double *y2, KVG_Color *c2, uint8_t *color_size);
/* Fills with image `id` repeated as tiles, one tile's lower-left corner at (x, y), one pixel
 * 1/96 inch square on the page. */
KVG_API int KVG_setTextureFill(KVG_File *fl, double x, double y, uint32_t id);
KVG_API void KVG_getTextureFill(KVG_File *fl, double *x, double *y, uint32_t *image_id);
/* Fills with image `id` stretched over the rectangle with lower-left corner (x, y), width `w`
 * and height `h` (positive), repeated beyond it. A rectangle narrower than one file unit keeps
 * its exact size. */
KVG_API int KVG_setStretchedTextureFill(KVG_File *fl, double x, double y, double w, double h,
                                        uint32_t id);
KVG_API void KVG_getStretchedTextureFill(KVG_File *fl, double *x, double *y, double *w,
                                         double *h, uint32_t *image_id);
/* How images and textures are resampled (KVG_STRETCH_TYPE). */
KVG_API int KVG_setImageStretchMode(KVG_File *fl, int mode);
KVG_API uint8_t KVG_getImageStretchMode(KVG_File *fl);

KVG_API int KVG_setTextColor(KVG_File *fl, KVG_Color color);
KVG_API void KVG_getTextColor(KVG_File *fl, KVG_Color *color, uint8_t *color_size);
/* The font: a KVG_FONT_TYPEFACE, a KVG_FONT_STYLE and the size (the em height) in whole world
 * units, written in file units (size x file units per world unit, truncated); a size of more
 * than 4,194,303 file units is refused (-1, "Font size too big"). The getter answers in file
 * units. */
KVG_API int KVG_setFont(KVG_File *fl, int typeface, int style, uint32_t size);
KVG_API void KVG_getFont(KVG_File *fl, uint8_t *typeface, uint8_t *style, uint32_t *size);
/* Which point of a text's box lies on its position (KVG_TEXT_ALIGNMENT), and the direction of
 * its baseline in degrees, counter-clockwise (0: left to right). */
KVG_API int KVG_setTextAlignment(KVG_File *fl, int alignment, double direction);
KVG_API void KVG_getTextAlignment(KVG_File *fl, uint8_t *alignment, double *direction);

/* The palette that index colours name: 1 to 256 colours. In a direct colour size they are the
 * entries, in that size. In an index colour size they are indexes into the palette in force,
 * which they remap (the new entry i is the old entry colors[i]). KVG_getPalette stores the
 * entries, which are direct colours, and needs room for 256 of them. */
KVG_API int KVG_setPalette(KVG_File *fl, int ncolors, const KVG_Color *colors);
KVG_API void KVG_getPalette(KVG_File *fl, int *ncolors, KVG_Color *colors, uint8_t *color_size);

#ifdef __cplusplus
}
#endif

#endif /* KVGWRITER_H */
