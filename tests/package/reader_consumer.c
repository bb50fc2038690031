/* Reads KVG files through the installed reader: every record, every definition, every image
 * row; prints "PATH: valid, N records" for each, as `kvg check` does. */
#include <stdio.h>
#include <stdlib.h>

#include <kvgreader.h>

/* Reads back what a definition record defined. */
static int readDefinition(KVGR_Reader *r, const KVGR_Record *record) {
    KVGR_Edge edge;
    KVGR_Face face;
    KVGR_Image image;
    KVGR_Shape shape;
    uint8_t *rgba;
    uint32_t row;
    int failed = 0;
    switch (record->code) {
        case KVGR_SET_EDGE:
            return KVGR_getEdge(r, -record->definition, &edge) != 0 || !edge.reversed ||
                   edge.count != record->as.edge.count;
        case KVGR_SET_FACE: return KVGR_getFace(r, (uint32_t)record->definition, &face);
        case KVGR_BEGIN_SET_SHAPE: return KVGR_getShape(r, (uint32_t)record->definition, &shape);
        case KVGR_SET_IMAGE:
            if (KVGR_getImage(r, (uint32_t)record->definition, &image) != 0) return 1;
            rgba = malloc(4 * (size_t)image.width + 1);
            for (row = 0; row < image.height && !failed; ++row) {
                failed = KVGR_getImageRGBA(r, (uint32_t)record->definition, row, rgba);
            }
            free(rgba);
            return failed;
        default: return 0;
    }
}

static int readFile(const char *path) {
    KVGR_Reader *r = KVGR_new();
    const KVGR_Record *record;
    unsigned long records = 0;
    int status = -1;
    if (r != NULL && KVGR_openFile(r, path) == 0) {
        while ((status = KVGR_next(r, &record)) == 1) {
            ++records;
            if (readDefinition(r, record) != 0) {
                fprintf(stderr, "%s: definition at offset %lu not found\n", path,
                        (unsigned long)record->offset);
                status = -2;
                break;
            }
        }
    }
    if (status == 0) {
        printf("%s: valid, %lu records\n", path, records);
    } else if (status == -1) {
        fprintf(stderr, "%s: %s\n", path, r != NULL ? KVGR_getErrorMessage(r) : "out of memory");
    }
    KVGR_delete(r);
    return status == 0 ? 0 : 1;
}

int main(int argc, char **argv) {
    int failures = 0;
    int i;
    for (i = 1; i < argc; ++i) failures += readFile(argv[i]);
    return failures == 0 ? 0 : 1;
}
