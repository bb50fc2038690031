/*
 * kvgwriter: a writer for KVG, a compact bit-packed file format for 2-D vector drawings.
 *
 * An application fills a KVG_FileOptions record, opens a file with KVG_create, draws through
 * the KVG_ calls of this header and completes the file with KVG_close. Positions are given in
 * world units; the library maps them onto an integer grid and writes every argument in the
 * fewest bits that hold it.
 *
 * Results: 0 on success, -1 on failure (read the reason with KVG_getErrorCode and
 * KVG_getErrorDescription; the handle stays usable), and for several drawing calls -2 when the
 * figure came to nothing on the file grid (nothing was written). Constructors return a pointer
 * or NULL.
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

typedef enum {
    KVG_ERR_NONE = 0,     /* no failure recorded */
    KVG_ERR_SYSTEM = 1,   /* the system underneath failed (input/output) */
    KVG_ERR_LIMITS = 2,   /* a value beyond a limit of the format or of the library */
    KVG_ERR_CONTEXT = 3,  /* a call not allowed in the current state of the drawing */
    KVG_ERR_PARAM = 4,    /* an invalid argument */
    KVG_ERR_INTERNAL = 5  /* an inconsistency inside the library */
} KVG_ERROR_CODE;

/* Colour modes, also called colour sizes. */
typedef enum {
    KVG_COLOR_INDEX1 = 0, /* palette index 0 or 1, one bit */
    KVG_COLOR_INDEX8 = 1, /* palette index 0 to 255 */
    KVG_COLOR_GRAY8 = 2,
    KVG_COLOR_GRAY12 = 3,
    KVG_COLOR_GRAY16 = 4,
    KVG_COLOR_GA = 5,     /* 16-bit grey in the upper half, 16-bit alpha in the lower half */
    KVG_COLOR_RGB = 6,    /* 0x00RRGGBB */
    KVG_COLOR_RGBA = 7    /* 0xRRGGBBAA */
} KVG_COLOR_MODE;

typedef enum {
    KVG_BEGIN_POLYLINE = 0,
    KVG_BEGIN_POLYGON = 1,
    KVG_BEGIN_CUBIC = 2
} KVG_BEGIN_TYPE;

typedef enum {
    KVG_BLEND_CLEAR = 0,
    KVG_BLEND_SOURCE = 1,
    KVG_BLEND_SOURCE_OVER_DEST = 2,
    KVG_BLEND_DEST_OVER_SOURCE = 3,
    KVG_BLEND_SOURCE_IN_DEST = 4,
    KVG_BLEND_DEST_IN_SOURCE = 5,
    KVG_BLEND_SOURCE_HELD_DEST = 6,
    KVG_BLEND_DEST_HELD_SOURCE = 7
} KVG_BLEND_MODE;

typedef enum {
    KVG_JOINT_DEFAULT = 0,
    KVG_JOINT_MITER = 1,
    KVG_JOINT_ROUND = 2,
    KVG_JOINT_BEVEL = 3
} KVG_JOINT_STYLE;

typedef enum {
    KVG_NO_ARROW = 0,
    KVG_ARROW = 1,
    KVG_OPEN_ARROW = 2,
    KVG_STEALTH_ARROW = 3,
    KVG_DIAMOND_ARROW = 4,
    KVG_OVAL_ARROW = 5
} KVG_LINE_DECORATION_STYLE;

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

typedef enum {
    KVG_STRETCH_NEAREST = 0,
    KVG_STRETCH_BILINEAR = 1
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

/* Defaults: world window -100..100 on both axes, 100 x 100 mm, a 4096 x 4096 grid, grid mode
 * (quantization on), white background, compressed output. */
KVG_API KVG_FileOptions *KVG_newFileOptions(void);
KVG_API void KVG_deleteFileOptions(KVG_FileOptions *opt);
KVG_API void KVG_setWorldFileOption(KVG_FileOptions *opt, double xmin, double xmax, double ymin,
                                    double ymax);
KVG_API void KVG_setDimensionsFileOption(KVG_FileOptions *opt, double w, double h);
KVG_API void KVG_setResolutionFileOption(KVG_FileOptions *opt, int32_t w, int32_t h);
KVG_API void KVG_setQuantizationFileOption(KVG_FileOptions *opt, int enabled);
KVG_API void KVG_setBackgroundFileOption(KVG_FileOptions *opt, KVG_Color color);
KVG_API void KVG_setCompressionFileOption(KVG_FileOptions *opt, int comp);
KVG_API void KVG_setSyncFileOption(KVG_FileOptions *opt, int enabled);

/* ---- File lifecycle and errors ---------------------------------------------------------- */

/* Why KVG_createWithError failed. */
typedef struct {
    int code;              /* a KVG_ERROR_CODE; KVG_ERR_NONE when the file was created */
    int system_error;      /* the system's error number (errno) when a system call failed, or 0 */
    char description[256]; /* what failed and why, e.g. "Cannot create the file: Permission
                              denied" or "Invalid file options: the world window is not finite" */
} KVG_CreateError;

/* Opens `filename` for writing; `opt` may be NULL for the defaults. NULL on failure. */
KVG_API KVG_File *KVG_create(const char *filename, const KVG_FileOptions *opt);
/* KVG_create that tells why it failed: when the result is NULL and `error` is not, *error holds
 * the reason (on success its code is KVG_ERR_NONE). Nothing is shared between calls, so threads
 * may create files at the same time. */
KVG_API KVG_File *KVG_createWithError(const char *filename, const KVG_FileOptions *opt,
                                      KVG_CreateError *error);
/* Completes the file and releases the handle (0). The file is written beside `filename` and
 * takes its name only here, once complete, so that `filename` never holds a half-written file.
 * On -1 the file could not be completed and is discarded (`filename` keeps what it held): the
 * handle stays allocated so that the error can be read, and KVG_abandon or a second KVG_close
 * (which returns -1 again) releases it. Shape, edge and face definitions still open are ended
 * first; an open primitive is dropped. */
KVG_API int KVG_close(KVG_File *fl);
/* Releases the handle without completing the file and removes everything it wrote. */
KVG_API void KVG_abandon(KVG_File *fl);
KVG_API int KVG_getErrorCode(KVG_File *fl);
KVG_API const char *KVG_getErrorDescription(KVG_File *fl);

/* ---- Colour values ---------------------------------------------------------------------- */

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

KVG_API int KVG_extension(KVG_File *fl, const char *parameter, const char *value);
KVG_API int KVG_beginLayer(KVG_File *fl, const char *name, uint8_t vis, uint8_t detect);
KVG_API int KVG_beginObject(KVG_File *fl, const char *name);
KVG_API int KVG_endObject(KVG_File *fl);
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
KVG_API int KVG_arc(KVG_File *fl, double x, double y, double w, double h, double start,
                    double end);
KVG_API int KVG_text(KVG_File *fl, double x, double y, const char *text);

/* ---- Shapes and images ------------------------------------------------------------------ */

/* A shape is a sub-drawing defined once and drawn any number of times. Between
 * KVG_beginSetShape and KVG_endSetShape every drawing and attribute call writes into the shape;
 * (w, h) is the upper-right corner of its bounding box. Shapes are numbered 0, 1, 2, ... in the
 * order of their definition; the number is stored through `id`. Inside a shape definition,
 * shapes cannot be used or defined, and layers, objects and definitions of edges, faces and
 * images cannot be started. */
KVG_API int KVG_beginSetShape(KVG_File *fl, double w, double h, uint32_t *id);
KVG_API int KVG_endSetShape(KVG_File *fl);
/* Draws shape `id` centred at (x, y), rotated by `rotation` degrees and fitted to the full
 * width `w` and height `h`; -2 when the size comes to nothing on the grid. */
KVG_API int KVG_shape(KVG_File *fl, uint32_t id, double x, double y, double rotation, double w,
                      double h);
/* Places shape `id` at (x, y) at its own size; stamping the shape drawn last again costs no
 * identifier in the file. */
KVG_API int KVG_stampShape(KVG_File *fl, uint32_t id, double x, double y);

/* Defines a w x h image from `colors` (row after row, as given) in the current colour mode;
 * in the index modes the current palette goes with it. Every colour must be valid in that
 * mode, or nothing is written. Images are numbered 0, 1, 2, ...; the number is stored through
 * `id`. Not allowed inside a shape definition. */
KVG_API int KVG_setImage(KVG_File *fl, uint16_t w, uint16_t h, const KVG_Color *colors,
                         uint32_t *id);
/* Draws all of image `id` into the rectangle with lower-left corner (x, y), width `w` and
 * height `h`; -2 when the rectangle comes to nothing on the grid. */
KVG_API int KVG_image(KVG_File *fl, uint32_t id, double x, double y, double w, double h);
/* Draws the pixels sub_x .. sub_x + sub_w, sub_y .. sub_y + sub_h of image `id` into the
 * rectangle (x, y, w, h), as KVG_image does. */
KVG_API int KVG_subImage(KVG_File *fl, uint32_t id, uint16_t sub_x, uint16_t sub_y,
                         uint16_t sub_w, uint16_t sub_h, double x, double y, double w, double h);

/* ---- Marks, lines, boxes, circles and ellipses ------------------------------------------ */

/* Single figures, in world units, on the current stream (the layer, or the shape being
 * defined). Boxes, circles and ellipses are filled while KVG_setFill is on. -2 when the figure
 * comes to nothing on the file grid (a line of length 0, a box of width or height 0). */
KVG_API int KVG_mark(KVG_File *fl, double x, double y);
KVG_API int KVG_line(KVG_File *fl, double x1, double y1, double x2, double y2);
/* (x, y) is the lower-left corner. */
KVG_API int KVG_box(KVG_File *fl, double x, double y, double w, double h);
/* A radius that is not a whole number of file units from 1 to 4194303 is drawn as an ellipse. */
KVG_API int KVG_circle(KVG_File *fl, double x, double y, double radius);
/* (x, y) is the centre; w and h are the full width and height. */
KVG_API int KVG_ellipse(KVG_File *fl, double x, double y, double w, double h);

/* ---- Edges and faces -------------------------------------------------------------------- */

/* A planar map: edges (point chains) and faces (rings of edges, with holes that are earlier
 * faces), defined once in the definitions section and drawn from the layers by identifier.
 * Edges are numbered 1, 2, ... (at most 2,097,150) and faces 0, 1, ... (at most 4,194,303) in
 * the order their definitions begin; every identifier handed out gets its definition record,
 * so the file numbers definitions exactly as the writer did. Definitions cannot be begun or
 * ended inside a shape definition. */

/* Opens an edge starting at (x, y) and hands out its identifier through `edge_id`. */
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
/* Draws edge `edge_id`, or the run of edges from `e1` to `e2`. */
KVG_API int KVG_edge(KVG_File *fl, int32_t edge_id);
KVG_API int KVG_edgeRange(KVG_File *fl, int16_t e1, int16_t e2);
/* Opens a face and hands out its identifier through `face_id`. */
KVG_API int KVG_beginSetFace(KVG_File *fl, uint32_t *face_id);
/* Adds a boundary edge to the open face, taken backwards when `reversed` is non-zero. */
KVG_API int KVG_edgeSetFace(KVG_File *fl, int32_t edge_id, int reversed);
/* Adds a hole: a face whose definition began before the open one. */
KVG_API int KVG_holeSetFace(KVG_File *fl, uint32_t hole_id);
/* Writes the face and closes it. */
KVG_API int KVG_endSetFace(KVG_File *fl);
/* Fills face `face_id`. */
KVG_API int KVG_face(KVG_File *fl, uint32_t face_id);


/* ---- Graphic attributes ----------------------------------------------------------------- */

/* Every setter writes its record at once to the current stream; the getters read the stream's
 * graphic state back. Every layer start restores the defaults (the mark attributes excepted)
 * and turns the fill switch off. Colours are KVG_Color values of the current colour size; set
 * in an index colour size, a colour reads back as the palette entry it named, in the palette's
 * colour size. */
KVG_API int KVG_setColorSize(KVG_File *fl, int mode);
KVG_API uint8_t KVG_getColorSize(KVG_File *fl);
KVG_API int KVG_setBlendMode(KVG_File *fl, int mode);
KVG_API uint8_t KVG_getBlendMode(KVG_File *fl);

KVG_API int KVG_setLineColor(KVG_File *fl, KVG_Color color);
KVG_API void KVG_getLineColor(KVG_File *fl, KVG_Color *color, uint8_t *color_size);
/* The low 16 bits of `dash` are the pattern. */
KVG_API int KVG_setLineDashes(KVG_File *fl, int dash);
KVG_API uint16_t KVG_getLineDashes(KVG_File *fl);
/* `weight` (its low 8 bits) is in world units; it is written in file units, at most 255. */
KVG_API int KVG_setLineStyle(KVG_File *fl, int joint, int begin, int end, int weight);
KVG_API void KVG_getLineStyle(KVG_File *fl, int *joint, int *begin, int *end, uint8_t *weight);

/* Mark attributes start as colour 0 in KVG_COLOR_RGB, KVG_MARK_PLUS, size 1; `size` is written
 * as given. */
KVG_API int KVG_setMarkColor(KVG_File *fl, KVG_Color color);
KVG_API void KVG_getMarkColor(KVG_File *fl, KVG_Color *color, uint8_t *color_size);
KVG_API int KVG_setMarkStyle(KVG_File *fl, int type, uint32_t size);
KVG_API void KVG_getMarkStyle(KVG_File *fl, int *type, uint32_t *size);

/* Returns the previous value; writes nothing. */
KVG_API int KVG_setFill(KVG_File *fl, int enabled);
KVG_API int KVG_getFill(KVG_File *fl);
KVG_API int KVG_setFillColor(KVG_File *fl, KVG_Color color);
KVG_API void KVG_getFillColor(KVG_File *fl, KVG_Color *color, uint8_t *color_size);
KVG_API int KVG_setGradientFill(KVG_File *fl, double x1, double y1, KVG_Color c1, double x2,
                                double y2, KVG_Color c2);
KVG_API void KVG_getGradientFill(KVG_File *fl, double *x1, double *y1, KVG_Color *c1,
                                 double *x2, double *y2, KVG_Color *c2, uint8_t *color_size);
/* `id` names a defined image; (x, y) is the texture's lower-left corner. */
KVG_API int KVG_setTextureFill(KVG_File *fl, double x, double y, uint32_t id);
KVG_API void KVG_getTextureFill(KVG_File *fl, double *x, double *y, uint32_t *image_id);
/* The image stretched over the rectangle with lower-left corner (x, y), width w and height h.
 * A rectangle narrower than one file unit keeps its exact extent. */
KVG_API int KVG_setStretchedTextureFill(KVG_File *fl, double x, double y, double w, double h,
                                        uint32_t id);
KVG_API void KVG_getStretchedTextureFill(KVG_File *fl, double *x, double *y, double *w,
                                         double *h, uint32_t *image_id);
KVG_API int KVG_setImageStretchMode(KVG_File *fl, int mode);
KVG_API uint8_t KVG_getImageStretchMode(KVG_File *fl);

KVG_API int KVG_setTextColor(KVG_File *fl, KVG_Color color);
KVG_API void KVG_getTextColor(KVG_File *fl, KVG_Color *color, uint8_t *color_size);
/* `size` is in world units; it is written in file units, at most 4194303. */
KVG_API int KVG_setFont(KVG_File *fl, int typeface, int style, uint32_t size);
KVG_API void KVG_getFont(KVG_File *fl, uint8_t *typeface, uint8_t *style, uint32_t *size);
/* `direction` in degrees. */
KVG_API int KVG_setTextAlignment(KVG_File *fl, int alignment, double direction);
KVG_API void KVG_getTextAlignment(KVG_File *fl, uint8_t *alignment, double *direction);

/* 1 to 256 colours. In an index colour size they are indexes into the palette in force, which
 * they remap. KVG_getPalette needs room for 256 colours. */
KVG_API int KVG_setPalette(KVG_File *fl, int ncolors, const KVG_Color *colors);
KVG_API void KVG_getPalette(KVG_File *fl, int *ncolors, KVG_Color *colors, uint8_t *color_size);

#ifdef __cplusplus
}
#endif

#endif /* KVGWRITER_H */
