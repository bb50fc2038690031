// The record layer: one function per record of the format, and the stream state they share.
//
// Every record is its code, one aligned byte, followed by its arguments in a fixed order, each
// written by one function of the encoding layer (kvgtype.h). There is no length and no
// terminator: a reader knows the arguments from the code and their sizes from the point,
// relative point and colour sizes in force, which only the size records change.
//
// All record functions take the stream state first and return 0 on success and -1 on failure
// (recorded in the state's error context). A record whose arguments are refused writes nothing.
#ifndef KVGFUNCTION_H
#define KVGFUNCTION_H

#include <stdint.h>

#include "kvgerror.h"
#include "kvgwriter.h"
#include "xio.h"

#ifdef __cplusplus
extern "C" {
#endif

// Record codes.
enum {
    KVGF_CODE_EXTENSION = 0,
    KVGF_CODE_LAYER = 1,
    KVGF_CODE_OBJECT = 2,
    KVGF_CODE_POLYLINE = 16,
    KVGF_CODE_DRAW_POLYGON = 17,
    KVGF_CODE_DRAW_CUBIC_BEZIER = 18,
    KVGF_CODE_DRAW_ARC = 19,
    KVGF_CODE_FILL_POLYGON = 20,
    KVGF_CODE_FILL_CUBIC_BEZIER = 21,
    KVGF_CODE_FILL_ARC = 22,
    KVGF_CODE_TEXT = 23,
    KVGF_CODE_SHAPE = 24,
    KVGF_CODE_IMAGE = 25,
    KVGF_CODE_MARK = 48,
    KVGF_CODE_LINE = 49,
    KVGF_CODE_DRAW_BOX = 50,
    KVGF_CODE_DRAW_CIRCLE = 51,
    KVGF_CODE_DRAW_ELLIPSE = 52,
    KVGF_CODE_FILL_BOX = 53,
    KVGF_CODE_FILL_CIRCLE = 54,
    KVGF_CODE_FILL_ELLIPSE = 55,
    KVGF_CODE_STAMP_SHAPE = 56,
    KVGF_CODE_REPEAT_SHAPE = 57,
    KVGF_CODE_FULL_IMAGE = 58,
    KVGF_CODE_SET_EDGE = 59,
    KVGF_CODE_SET_FACE = 60,
    KVGF_CODE_DRAW_EDGE = 61,
    KVGF_CODE_DRAW_EDGE_RANGE = 62,
    KVGF_CODE_FILL_FACE = 63,
    KVGF_CODE_POINT_SIZE_16 = 80,     // 80..84: point sizes 16, 24, 32, 64, 128
    KVGF_CODE_REL_POINT_SIZE_3 = 85,  // 85..92: relative point sizes 3, 6, 8, ..., 128
    KVGF_CODE_COLOR_SIZE = 93,
    KVGF_CODE_BLEND_MODE = 94,
    KVGF_CODE_LINE_COLOR = 95,
    KVGF_CODE_LINE_DASHES = 96,
    KVGF_CODE_LINE_STYLE = 97,
    KVGF_CODE_MARK_COLOR = 98,
    KVGF_CODE_MARK_STYLE = 99,
    KVGF_CODE_FILL_COLOR = 100,
    KVGF_CODE_GRADIENT_FILL = 101,
    KVGF_CODE_TEXTURE_FILL = 102,
    KVGF_CODE_STRETCHED_TEXTURE_FILL = 103,
    KVGF_CODE_IMAGE_STRETCH_MODE = 104,
    KVGF_CODE_TEXT_COLOR = 105,
    KVGF_CODE_FONT = 106,
    KVGF_CODE_TEXT_ALIGNMENT = 107,
    KVGF_CODE_PALETTE = 108,
    KVGF_CODE_SET_IMAGE = 109,
    KVGF_CODE_BEGIN_SET_SHAPE = 111,
    KVGF_CODE_END_SET_SHAPE = 112
};

// shape_last_id when no shape was drawn on the stream since its creation or last reset.
#define KVGF_NO_SHAPE 4194304u

typedef enum {
    FILL_COLOR = 0,
    FILL_GRADIENT = 1,
    FILL_TEXTURE = 2,
    FILL_STRETCHED_TEXTURE = 3
} KVGF_FILL_MODE;

// A stream state: where the bytes go, the encoding sizes in force and a mirror of the graphic
// state that a reader holds after the records written so far. Attribute colours are kept as
// direct colours with the colour size they are expressed in.
typedef struct _KVGF_State {
    XIO_File *file;       // not owned
    uint8_t current;      // bit buffer: the byte being filled, most significant bit first
    int bit;              // bits of `current` in use, 0 to 7 between calls
    KVGE_Context *error;  // not owned
    uint8_t point_size;      // 16, 24, 32, 64 or 128
    uint8_t rel_point_size;  // 3, 6, 8, 16, 24, 32, 64 or 128
    uint8_t color_size;      // a KVG_COLOR_MODE
    uint8_t blend_mode;
    struct {
        uint32_t color;
        uint8_t color_size;
        uint16_t dashes;
        uint8_t joint;
        uint8_t begin;
        uint8_t end;
        uint8_t weight;
    } line;
    struct {
        uint32_t color;
        uint8_t color_size;
        uint8_t type;
        uint32_t size;
    } mark;
    struct {
        KVGF_FILL_MODE mode;
        uint32_t color;
        uint8_t color_size;
        uint8_t gradient_color_size;
        double gradient_p0_x, gradient_p0_y;
        uint32_t gradient_c0;
        double gradient_p1_x, gradient_p1_y;
        uint32_t gradient_c1;
        double texture_ll_x, texture_ll_y;
        uint32_t texture_id;
        double texture_ur_x, texture_ur_y;
    } fill;
    uint8_t image_stretch_mode;
    struct {
        uint32_t color;
        uint8_t color_size;
        uint8_t font_typeface;
        uint8_t font_style;
        uint32_t font_size;
        uint8_t alignment;
        double direction;
    } text;
    struct {
        uint32_t colors[256];
        int length;
        uint8_t color_size;
    } palette;
    uint32_t shape_last_id;
} KVGF_State;

// ---- Stream state and size records ----

KVG_API KVGF_State *KVGF_CreateState(XIO_File *file, KVGE_Context *error);
KVG_API void KVGF_DestroyState(KVGF_State *st);
KVG_API void KVGF_ResetStateDefaults(KVGF_State *st);
KVG_API int KVGF_CopyStates(KVGF_State *to, const KVGF_State *from);
KVG_API int KVGF_CopyStateVars(KVGF_State *to, const KVGF_State *from);
KVG_API int KVGF_ComparePalette(const KVGF_State *st1, const KVGF_State *st2);
KVG_API int KVGF_SetPointSize(KVGF_State *st, int size);
KVG_API int KVGF_SetRelPointSize(KVGF_State *st, int size);
KVG_API int KVGF_SetColorSize(KVGF_State *st, int mode);

// ---- Drawing records ----

KVG_API int KVGF_Extension(KVGF_State *st, const char *parameter, const char *value);
KVG_API int KVGF_Layer(KVGF_State *st, int vis, int detect, const char *name);
KVG_API int KVGF_Object(KVGF_State *st, const char *name);
KVG_API int KVGF_Polyline(KVGF_State *st, double start_x, double start_y,
                          const double *relpoints, uint32_t nrelpoints);
KVG_API int KVGF_DrawPolygon(KVGF_State *st, double start_x, double start_y,
                             const double *relpoints, uint32_t nrelpoints);
KVG_API int KVGF_FillPolygon(KVGF_State *st, double start_x, double start_y,
                             const double *relpoints, uint32_t nrelpoints);
KVG_API int KVGF_DrawCubicBezier(KVGF_State *st, double start_x, double start_y,
                                 const double *rest, uint32_t nsegs);
KVG_API int KVGF_FillCubicBezier(KVGF_State *st, double start_x, double start_y,
                                 const double *rest, uint32_t nsegs);
KVG_API int KVGF_DrawArc(KVGF_State *st, double center_x, double center_y, double bbox_ur_x,
                         double bbox_ur_y, double start, double end);
KVG_API int KVGF_FillArc(KVGF_State *st, double center_x, double center_y, double bbox_ur_x,
                         double bbox_ur_y, double start, double end);
KVG_API int KVGF_Text(KVGF_State *st, double ref_point_x, double ref_point_y, const char *text);
KVG_API int KVGF_Shape(KVGF_State *st, uint32_t shape_id, double center_x, double center_y,
                       double rotation, double bbox_ur_x, double bbox_ur_y);
KVG_API int KVGF_Image(KVGF_State *st, uint32_t image_id, double src_ll_x, double src_ll_y,
                       double src_ur_x, double src_ur_y, double dst_ll_x, double dst_ll_y,
                       double dst_ur_x, double dst_ur_y);
KVG_API int KVGF_Mark(KVGF_State *st, double x, double y);
KVG_API int KVGF_Line(KVGF_State *st, double p0_x, double p0_y, double p1_x, double p1_y);
KVG_API int KVGF_DrawBox(KVGF_State *st, double ll_x, double ll_y, double ur_x, double ur_y);
KVG_API int KVGF_FillBox(KVGF_State *st, double ll_x, double ll_y, double ur_x, double ur_y);
KVG_API int KVGF_DrawCircle(KVGF_State *st, double center_x, double center_y, uint32_t radius);
KVG_API int KVGF_FillCircle(KVGF_State *st, double center_x, double center_y, uint32_t radius);
KVG_API int KVGF_DrawEllipse(KVGF_State *st, double center_x, double center_y, double bbox_ur_x,
                             double bbox_ur_y);
KVG_API int KVGF_FillEllipse(KVGF_State *st, double center_x, double center_y, double bbox_ur_x,
                             double bbox_ur_y);
KVG_API int KVGF_StampShape(KVGF_State *st, uint32_t shape_id, double x, double y);
KVG_API int KVGF_RepeatShape(KVGF_State *st, double x, double y);
KVG_API int KVGF_FullImage(KVGF_State *st, uint32_t image_id, double dst_ll_x, double dst_ll_y,
                           double dst_ur_x, double dst_ur_y);
KVG_API int KVGF_DrawEdge(KVGF_State *st, int32_t edge_id);
KVG_API int KVGF_DrawEdgeRange(KVGF_State *st, int32_t edge_id_start, int32_t edge_id_end);
KVG_API int KVGF_FillFace(KVGF_State *st, uint32_t face_id);

// ---- Attribute records (update the mirror of the graphic state) ----

KVG_API int KVGF_SetBlendMode(KVGF_State *st, int mode);
KVG_API int KVGF_SetLineColor(KVGF_State *st, KVG_Color color);
KVG_API int KVGF_SetLineDashes(KVGF_State *st, int dash);
KVG_API int KVGF_SetLineStyle(KVGF_State *st, int joint, int begin, int end, int weight);
KVG_API int KVGF_SetMarkColor(KVGF_State *st, KVG_Color color);
KVG_API int KVGF_SetMarkStyle(KVGF_State *st, int type, uint32_t size);
KVG_API int KVGF_SetFillColor(KVGF_State *st, KVG_Color color);
KVG_API int KVGF_SetGradientFill(KVGF_State *st, double p0_x, double p0_y, KVG_Color c0,
                                 double p1_x, double p1_y, KVG_Color c1);
KVG_API int KVGF_SetTextureFill(KVGF_State *st, double p_ll_x, double p_ll_y, uint32_t image_id);
KVG_API int KVGF_SetStretchedTextureFill(KVGF_State *st, double p_ll_x, double p_ll_y,
                                         double p_ur_x, double p_ur_y, uint32_t image_id);
KVG_API int KVGF_SetImageStretchMode(KVGF_State *st, int image_mode);
KVG_API int KVGF_SetTextColor(KVGF_State *st, KVG_Color color);
KVG_API int KVGF_SetFont(KVGF_State *st, int typeface, int style, uint32_t size);
KVG_API int KVGF_SetTextAlignment(KVGF_State *st, int alignment, double direction);
KVG_API int KVGF_SetPalette(KVGF_State *st, int ncolors, const KVG_Color *colors);

// ---- Definition records ----

KVG_API int KVGF_SetEdge(KVGF_State *st, double p0_x, double p0_y, const double *relpoints,
                         uint32_t nsegs, const uint8_t *segmodes, const uint32_t *segsizes);
KVG_API int KVGF_SetFace(KVGF_State *st, uint32_t nedges, const int32_t *edge_ids,
                         uint32_t nholes, const uint32_t *hole_ids);
KVG_API int KVGF_SetImage(KVGF_State *st, int w, int h, const KVG_Color *colors);
KVG_API int KVGF_BeginSetShape(KVGF_State *st, double bbox_ur_x, double bbox_ur_y);
KVG_API int KVGF_EndSetShape(KVGF_State *st);

#ifdef __cplusplus
}
#endif

#endif  // KVGFUNCTION_H
