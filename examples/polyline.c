/* Writes a small drawing (a layer with a zigzag polyline, a filled triangle and a label) and
 * prints the size of the file.
 *
 * Usage: polyline [OUT.kvg]    (default polyline.kvg) */
#include <stdio.h>
#include <sys/stat.h>

#include "kvgwriter.h"

int main(int argc, char **argv) {
    const char *path = argc > 1 ? argv[1] : "polyline.kvg";
    KVG_CreateError error;
    KVG_File *fl = KVG_createWithError(path, NULL, &error); /* -100..100 world, gzip */
    if (fl == NULL) {
        fprintf(stderr, "cannot create %s: %s\n", path, error.description);
        return 1;
    }
    KVG_beginLayer(fl, "drawing", KVG_TRUE, KVG_TRUE);
    KVG_setLineColor(fl, 0x2B5C8A);
    KVG_setLineStyle(fl, KVG_JOINT_ROUND, KVG_NO_ARROW, KVG_NO_ARROW, 1); /* 1 world unit wide */
    KVG_begin(fl, KVG_BEGIN_POLYLINE, -90.0, 0.0);
    for (int i = 1; i <= 36; ++i) KVG_vertex(fl, -90.0 + 5.0 * i, (i % 2) ? 10.0 : -10.0);
    KVG_end(fl);
    KVG_setFill(fl, 1); /* closed figures are filled from here on */
    KVG_setFillColor(fl, 0xE8A33D);
    KVG_begin(fl, KVG_BEGIN_POLYGON, -20.0, 30.0);
    KVG_vertex(fl, 20.0, 30.0);
    KVG_vertex(fl, 0.0, 60.0);
    KVG_end(fl);
    KVG_setFont(fl, KVG_FONT_SANS_SERIF, KVG_FONT_BOLD, 12); /* 12 world units high */
    KVG_setTextAlignment(fl, KVG_TEXT_CENTER, 0);
    KVG_text(fl, 0.0, -50.0, "kvgwriter");
    if (KVG_getErrorCode(fl) != KVG_ERR_NONE || KVG_close(fl) != 0) {
        fprintf(stderr, "%s: %s\n", path, KVG_getErrorDescription(fl));
        KVG_abandon(fl);
        return 1;
    }
    struct stat st;
    if (stat(path, &st) != 0) return 1;
    printf("wrote %s: %lld bytes\n", path, (long long)st.st_size);
    return 0;
}
