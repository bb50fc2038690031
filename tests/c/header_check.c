/* Compiles the public headers as C and checks that the libraries link from C. The writer's
 * header comes first: it must stand alone, as an application's first include (NULL, size_t). */
#include "kvgwriter.h"

#include <stdio.h>

#include "kvgreader.h"
#include "xio.h"

static KVG_File *const no_file = NULL;
static const size_t no_points = 0;

int main(void) {
    KVG_FileOptions *opt = KVG_newFileOptions();
    KVGR_Reader *reader = KVGR_new();
    const KVGR_Record *record = NULL;
    if (opt == NULL || reader == NULL || no_file != NULL || no_points != 0) return 1;
    KVG_deleteFileOptions(opt);
    /* Nothing is open yet: a usage failure, with its message. */
    if (KVGR_next(reader, &record) != -1 || KVGR_getErrorCode(reader) != KVGR_ERR_USAGE) return 1;
    KVGR_delete(reader);
    printf("C header check passed\n");
    return 0;
}
