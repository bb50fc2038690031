/* Compiles the public headers as C and checks that the library links from C. */
#include <stdio.h>

#include "kvgwriter.h"
#include "xio.h"

int main(void) {
    KVG_FileOptions *opt = KVG_newFileOptions();
    if (opt == NULL) return 1;
    KVG_deleteFileOptions(opt);
    printf("C header check passed\n");
    return 0;
}
