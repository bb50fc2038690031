/* Draws one polyline through the installed library. */
#include <stdio.h>

#include <kvgwriter.h>

int main(int argc, char **argv) {
    if (argc < 2) return 2;
    KVG_File *fl = KVG_create(argv[1], NULL);
    if (fl == NULL) return 1;
    KVG_begin(fl, KVG_BEGIN_POLYLINE, 0.0, 0.0);
    KVG_vertex(fl, 10.0, 10.0);
    if (KVG_end(fl) != 0 || KVG_close(fl) != 0) return 1;
    printf("consumer wrote %s\n", argv[1]);
    return 0;
}
