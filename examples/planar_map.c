/* A planar map: two countries that share a border, a lake in the western one and an island in
 * the lake. Every border is an edge, stored once and used by the faces on both of its sides:
 *
 *   edge 1  the shared border, north to south
 *   edge 2  the western coast, from the border's southern end round to its northern end
 *   edge 3  the eastern coast, from the border's northern end round to its southern end
 *   edge 4  the lake's shore, a closed ring
 *   edge 5  the island's shore, a closed ring
 *
 *   face 0  the island: edge 5
 *   face 1  the lake: edge 4, with the island as a hole
 *   face 2  West: edges 2 and 1 in order round the country, with the lake as a hole
 *   face 3  East: edge 3, then edge 1 reversed
 *
 * A face is filled even-odd with the rings of its holes, and of their holes: filling West cuts
 * the lake out and fills the island again, in West's colour. The world is the page, in
 * millimetres (0..120 x 0..80).
 *
 * Usage: planar_map [OUT.kvg]    (default planar_map.kvg) */
#include <stdio.h>

#include "kvgwriter.h"

#define WEST_COLOR 0x7FBF7B  /* green */
#define EAST_COLOR 0xF1D67B  /* yellow */
#define WATER_COLOR 0x6BAED6 /* blue */

static const double BORDER[] = {62, 72, 58, 50, 66, 30, 60, 8};
static const double WEST_COAST[] = {60, 8, 30, 6, 10, 20, 8, 50, 22, 70, 62, 72};
static const double EAST_COAST[] = {62, 72, 90, 76, 112, 60, 110, 24, 88, 6, 60, 8};
static const double LAKE[] = {20, 28, 44, 24, 50, 40, 42, 56, 24, 54, 16, 40, 20, 28};
static const double ISLAND[] = {30, 36, 38, 36, 38, 44, 30, 44, 30, 36};

/* Defines an edge from `n` points (x, y interleaved) and returns its identifier. */
static int32_t defineEdge(KVG_File *fl, const double *xy, size_t n) {
    int32_t id = 0;
    KVG_setEdge(fl, &id, n, xy);
    return id;
}

static void label(KVG_File *fl, double x, double y, const char *text) {
    KVG_text(fl, x, y, text);
}

int main(int argc, char **argv) {
    const char *path = argc > 1 ? argv[1] : "planar_map.kvg";
    KVG_FileOptions *opt = KVG_newFileOptions();
    if (opt == NULL) return 1;
    /* World, grid and page of one aspect: one world unit is one millimetre. */
    KVG_setWorldFileOption(opt, 0, 120, 0, 80);
    KVG_setResolutionFileOption(opt, 6000, 4000);
    KVG_setDimensionsFileOption(opt, 120, 80);
    KVG_setBackgroundFileOption(opt, 0xDDEEFF); /* the sea */
    KVG_CreateError error;
    KVG_File *fl = KVG_createWithError(path, opt, &error);
    KVG_deleteFileOptions(opt);
    if (fl == NULL) {
        fprintf(stderr, "planar_map: %s: %s\n", path, error.description);
        return 1;
    }

    /* The edges, then the faces: a hole must be defined before the face it is cut from. */
    const int32_t border = defineEdge(fl, BORDER, 4);
    const int32_t west_coast = defineEdge(fl, WEST_COAST, 6);
    const int32_t east_coast = defineEdge(fl, EAST_COAST, 6);
    const int32_t shore = defineEdge(fl, LAKE, 7);
    const int32_t island_shore = defineEdge(fl, ISLAND, 5);
    uint32_t island, lake, west, east;
    KVG_beginSetFace(fl, &island);
    KVG_edgeSetFace(fl, island_shore, 0);
    KVG_endSetFace(fl);
    KVG_beginSetFace(fl, &lake);
    KVG_edgeSetFace(fl, shore, 0);
    KVG_holeSetFace(fl, island);
    KVG_endSetFace(fl);
    KVG_beginSetFace(fl, &west);
    KVG_edgeSetFace(fl, west_coast, 0); /* south to north along the coast ... */
    KVG_edgeSetFace(fl, border, 0);     /* ... and back south along the border */
    KVG_holeSetFace(fl, lake);
    KVG_endSetFace(fl);
    KVG_beginSetFace(fl, &east);
    KVG_edgeSetFace(fl, east_coast, 0); /* north to south along the coast ... */
    KVG_edgeSetFace(fl, border, 1);     /* ... and back north along the border, reversed */
    KVG_endSetFace(fl);

    /* Faces are always filled, in the fill colour in force. */
    KVG_beginLayer(fl, "land", KVG_TRUE, KVG_TRUE);
    KVG_setFillColor(fl, WEST_COLOR);
    KVG_face(fl, west);
    KVG_setFillColor(fl, EAST_COLOR);
    KVG_face(fl, east);
    KVG_beginLayer(fl, "water", KVG_TRUE, KVG_TRUE);
    KVG_setFillColor(fl, WATER_COLOR);
    KVG_face(fl, lake);

    /* Edges are always outlined: the coasts and shores 1 mm wide (weights are whole world
     * units, here millimetres), the border dashed. */
    KVG_beginLayer(fl, "borders", KVG_TRUE, KVG_TRUE);
    KVG_setLineColor(fl, 0x404040);
    KVG_setLineStyle(fl, KVG_JOINT_ROUND, KVG_NO_ARROW, KVG_NO_ARROW, 1);
    KVG_edgeRange(fl, (int16_t)west_coast, (int16_t)island_shore);
    KVG_setLineDashes(fl, 0xFF00); /* 4 mm dashes, 4 mm gaps */
    KVG_edge(fl, border);

    KVG_beginLayer(fl, "names", KVG_TRUE, KVG_FALSE);
    KVG_setFont(fl, KVG_FONT_SERIF, KVG_FONT_BOLD, 5); /* 5 mm */
    KVG_setTextAlignment(fl, KVG_TEXT_CENTER, 0);
    label(fl, 86, 40, "East");
    label(fl, 34, 64, "West");
    KVG_setFont(fl, KVG_FONT_SERIF, KVG_FONT_ITALIC, 3);
    label(fl, 33, 30, "Lake");

    if (KVG_getErrorCode(fl) != KVG_ERR_NONE) { /* the last failure, if any */
        fprintf(stderr, "planar_map: %s\n", KVG_getErrorDescription(fl));
        KVG_abandon(fl);
        return 1;
    }
    if (KVG_close(fl) != 0) {
        fprintf(stderr, "planar_map: %s: %s\n", path, KVG_getErrorDescription(fl));
        KVG_abandon(fl);
        return 1;
    }
    printf("wrote %s\n", path);
    return 0;
}
