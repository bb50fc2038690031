/* The C side of the Python package's polyline measurement: one KVG_polyline call of the points
 * in a file of interleaved doubles (x0, y0, x1, y1, ...), into a new plain file each round.
 * Prints the median processor time of the call in seconds.
 *
 *   kvg-polyline-call POINTS.bin OUT.kvg ROUNDS */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "kvgwriter.h"

static double cpu_seconds(void) {
    struct timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static int ascending(const void *a, const void *b) {
    const double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

int main(int argc, char **argv) {
    if (argc != 4) return 2;
    FILE *in = fopen(argv[1], "rb");
    if (in == NULL) return 1;
    fseek(in, 0, SEEK_END);
    const size_t n = (size_t)ftell(in) / (2 * sizeof(double));
    rewind(in);
    double *xy = malloc(2 * n * sizeof(double));
    if (xy == NULL || fread(xy, 2 * sizeof(double), n, in) != n) return 1;
    fclose(in);
    const int rounds = atoi(argv[3]);
    double *times = malloc((size_t)rounds * sizeof(double));
    KVG_FileOptions *opt = KVG_newFileOptions();
    KVG_setWorldFileOption(opt, -1000, 1000, -1000, 1000);
    KVG_setCompressionFileOption(opt, 0);
    for (int r = 0; r < rounds; ++r) {
        KVG_File *fl = KVG_create(argv[2], opt);
        if (fl == NULL || KVG_beginLayer(fl, "walk", KVG_TRUE, KVG_TRUE) != 0) return 1;
        const double start = cpu_seconds();
        const int rc = KVG_polyline(fl, KVG_BEGIN_POLYLINE, n, xy);
        times[r] = cpu_seconds() - start;
        if (rc != 0 || KVG_close(fl) != 0) return 1;
    }
    qsort(times, (size_t)rounds, sizeof(double), ascending);
    printf("%.6f\n", times[rounds / 2]);
    KVG_deleteFileOptions(opt);
    free(times);
    free(xy);
    return 0;
}
