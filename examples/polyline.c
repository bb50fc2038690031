/* Writes a small drawing (a layer with a zigzag polyline, a filled triangle and a label) and
 * prints the size of the file. */
#include <stdio.h>
#include <sys/stat.h>

#include "kvgwriter.h"

int main(int argc, char **argv) {
    const char *path = argc > 1 ? argv[1] : "example.kvg";
    KVG_File *fl = KVG_create(path, NULL); /* defaults: -100..100 world, 4096 grid, gzip */
    if (fl == NULL) {
        fprintf(stderr, "cannot create %s\n", path);
        return 1;
    }
    KVG_beginLayer(fl, "drawing", KVG_TRUE, KVG_TRUE);
    KVG_begin(fl, KVG_BEGIN_POLYLINE, -90.0, 0.0);
    for (int i = 1; i <= 36; ++i) KVG_vertex(fl, -90.0 + 5.0 * i, (i % 2) ? 10.0 : -10.0);
    KVG_end(fl);
    KVG_begin(fl, KVG_BEGIN_POLYGON, -20.0, 30.0);
    KVG_vertex(fl, 20.0, 30.0);
    KVG_vertex(fl, 0.0, 60.0);
    KVG_end(fl);
    KVG_text(fl, 0.0, -50.0, "kvgwriter");
    if (KVG_close(fl) != 0) {
        fprintf(stderr, "%s: %s\n", path, KVG_getErrorDescription(fl));
        return 1;
    }
    struct stat st;
    if (stat(path, &st) != 0) return 1;
    printf("wrote %s: %lld bytes\n", path, (long long)st.st_size);
    return 0;
}
