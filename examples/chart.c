/* A line chart: two series of monthly temperatures with axes, ticks, labels, dashed grid lines
 * and a legend.
 *
 * The world is the page itself, in tenths of a millimetre (0..1600 x 0..1000 on a 160 x 100 mm
 * page), so that line weights and font sizes, which are whole world units, come in steps of
 * 0.1 mm. The program maps its data (months, degrees) onto that page itself.
 *
 * Usage: chart [OUT.kvg]    (default chart.kvg) */
#include <stdio.h>

#include "kvgwriter.h"

#define PAGE_W 1600.0 /* tenths of a millimetre */
#define PAGE_H 1000.0
#define PLOT_X0 160.0 /* the plot area */
#define PLOT_Y0 120.0
#define PLOT_X1 1220.0
#define PLOT_Y1 900.0
#define T_MIN (-10.0) /* degrees at the bottom and the top of the plot */
#define T_MAX 30.0

static const char *const MONTHS[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
static const double OSLO[12] = {-4.3, -4.0, -0.2, 4.5, 10.8, 15.2,
                                16.4, 15.2, 10.8, 6.3, 0.7, -3.1};
static const double LISBON[12] = {11.6, 12.6, 14.9, 16.0, 18.0, 21.2,
                                  23.1, 23.4, 22.1, 19.0, 14.9, 12.5};
#define OSLO_COLOR 0x1F77B4   /* blue */
#define LISBON_COLOR 0xD62728 /* red */

static double monthX(int month) { return PLOT_X0 + (month + 0.5) * (PLOT_X1 - PLOT_X0) / 12; }
static double degreeY(double t) {
    return PLOT_Y0 + (t - T_MIN) / (T_MAX - T_MIN) * (PLOT_Y1 - PLOT_Y0);
}

static void drawAxes(KVG_File *fl) {
    char label[16];
    KVG_beginLayer(fl, "axes", KVG_TRUE, KVG_FALSE);
    /* Dashed grid lines first, 0.2 mm wide and light, under everything else. */
    KVG_setLineColor(fl, 0xBBBBBB);
    KVG_setLineStyle(fl, KVG_JOINT_DEFAULT, KVG_NO_ARROW, KVG_NO_ARROW, 2);
    KVG_setLineDashes(fl, 0xF0F0); /* 2 mm dashes, 2 mm gaps */
    for (int t = (int)T_MIN; t <= (int)T_MAX; t += 10) {
        KVG_line(fl, PLOT_X0, degreeY(t), PLOT_X1, degreeY(t));
    }
    /* The axes, 0.4 mm wide, and the ticks. */
    KVG_setLineDashes(fl, 0xFFFF);
    KVG_setLineColor(fl, 0x000000);
    KVG_setLineStyle(fl, KVG_JOINT_MITER, KVG_NO_ARROW, KVG_NO_ARROW, 4);
    KVG_line(fl, PLOT_X0, PLOT_Y0, PLOT_X1, PLOT_Y0);
    KVG_line(fl, PLOT_X0, PLOT_Y0, PLOT_X0, PLOT_Y1);
    KVG_setFont(fl, KVG_FONT_SANS_SERIF, KVG_FONT_PLAIN, 35); /* 3.5 mm */
    KVG_setTextAlignment(fl, KVG_TEXT_NORTH, 0);
    for (int m = 0; m < 12; ++m) {
        KVG_line(fl, monthX(m), PLOT_Y0, monthX(m), PLOT_Y0 - 20);
        KVG_text(fl, monthX(m), PLOT_Y0 - 30, MONTHS[m]);
    }
    KVG_setTextAlignment(fl, KVG_TEXT_EAST, 0);
    for (int t = (int)T_MIN; t <= (int)T_MAX; t += 10) {
        snprintf(label, sizeof label, "%d", t);
        KVG_line(fl, PLOT_X0, degreeY(t), PLOT_X0 - 20, degreeY(t));
        KVG_text(fl, PLOT_X0 - 30, degreeY(t), label);
    }
    /* The y axis's title, turned to run upwards, and the chart's title. */
    KVG_setTextAlignment(fl, KVG_TEXT_SOUTH, 90);
    KVG_text(fl, 50, (PLOT_Y0 + PLOT_Y1) / 2, "degrees Celsius");
    KVG_setFont(fl, KVG_FONT_SANS_SERIF, KVG_FONT_BOLD, 50);
    KVG_setTextAlignment(fl, KVG_TEXT_SOUTH, 0);
    KVG_text(fl, (PLOT_X0 + PLOT_X1) / 2, PLOT_Y1 + 30, "Mean temperatures");
}

/* One series: a polyline through the months, 0.6 mm wide, and a mark on every value. */
static void drawSeries(KVG_File *fl, const char *name, const double *values, KVG_Color color) {
    double xy[24];
    for (int m = 0; m < 12; ++m) {
        xy[2 * m] = monthX(m);
        xy[2 * m + 1] = degreeY(values[m]);
    }
    KVG_beginObject(fl, name);
    KVG_setLineColor(fl, color);
    KVG_setLineStyle(fl, KVG_JOINT_ROUND, KVG_NO_ARROW, KVG_NO_ARROW, 6);
    KVG_polyline(fl, KVG_BEGIN_POLYLINE, 12, xy);
    KVG_setMarkColor(fl, color);
    KVG_setMarkStyle(fl, KVG_MARK_CIRCLE, 10); /* 10/96 inch, 2.6 mm */
    for (int m = 0; m < 12; ++m) KVG_mark(fl, xy[2 * m], xy[2 * m + 1]);
    KVG_endObject(fl);
}

/* The legend right of the plot: a framed box with a swatch and a name per series. */
static void drawLegend(KVG_File *fl) {
    const char *names[2] = {"Oslo", "Lisbon"};
    const KVG_Color colors[2] = {OSLO_COLOR, LISBON_COLOR};
    KVG_beginLayer(fl, "legend", KVG_TRUE, KVG_TRUE);
    KVG_setFill(fl, 1);
    KVG_setFillColor(fl, 0xF4F4F4);
    KVG_box(fl, 1270, 700, 300, 200);
    KVG_setFill(fl, 0);
    KVG_box(fl, 1270, 700, 300, 200);
    KVG_setFont(fl, KVG_FONT_SANS_SERIF, KVG_FONT_PLAIN, 40);
    KVG_setTextAlignment(fl, KVG_TEXT_WEST, 0);
    for (int i = 0; i < 2; ++i) {
        const double y = 850 - 100 * i;
        KVG_setLineColor(fl, colors[i]);
        KVG_setLineStyle(fl, KVG_JOINT_DEFAULT, KVG_NO_ARROW, KVG_NO_ARROW, 12);
        KVG_line(fl, 1300, y, 1400, y);
        KVG_text(fl, 1430, y, names[i]);
    }
}

int main(int argc, char **argv) {
    const char *path = argc > 1 ? argv[1] : "chart.kvg";
    KVG_FileOptions *opt = KVG_newFileOptions();
    if (opt == NULL) return 1;
    /* The world window, the grid and the page all have the same aspect, so the world fills the
     * page: one world unit is 0.1 mm and 4 file units. */
    KVG_setWorldFileOption(opt, 0, PAGE_W, 0, PAGE_H);
    KVG_setResolutionFileOption(opt, 4 * PAGE_W, 4 * PAGE_H);
    KVG_setDimensionsFileOption(opt, PAGE_W / 10, PAGE_H / 10);
    KVG_CreateError error;
    KVG_File *fl = KVG_createWithError(path, opt, &error);
    KVG_deleteFileOptions(opt);
    if (fl == NULL) {
        fprintf(stderr, "chart: %s: %s\n", path, error.description);
        return 1;
    }
    drawAxes(fl);
    KVG_beginLayer(fl, "data", KVG_TRUE, KVG_TRUE);
    drawSeries(fl, "Oslo", OSLO, OSLO_COLOR);
    drawSeries(fl, "Lisbon", LISBON, LISBON_COLOR);
    drawLegend(fl);
    /* A failed call leaves its reason in the handle until the next failure, so one look at the
     * end tells whether everything was drawn. */
    if (KVG_getErrorCode(fl) != KVG_ERR_NONE) {
        fprintf(stderr, "chart: %s\n", KVG_getErrorDescription(fl));
        KVG_abandon(fl); /* leaves no half-drawn chart behind */
        return 1;
    }
    if (KVG_close(fl) != 0) {
        fprintf(stderr, "chart: %s: %s\n", path, KVG_getErrorDescription(fl));
        KVG_abandon(fl);
        return 1;
    }
    printf("wrote %s\n", path);
    return 0;
}
