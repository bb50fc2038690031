#include "kvgerror.h"

#include <cstdio>
#include <cstdlib>

#include "kvgassert.h"

struct _kvge_context {
    const char *name;
    const char *description;
    int code;
    const char *srcfile;
    int srcline;
};

int KVGE_abort = 0;

KVGE_Context *KVGE_createContext(const char *name) {
    auto *err = static_cast<KVGE_Context *>(std::malloc(sizeof(KVGE_Context)));
    if (err == nullptr) return nullptr;
    err->name = name;
    KVGE_clearContext(err);
    return err;
}

void KVGE_destroyContext(KVGE_Context *err) {
    KVG_REQUIRE(err);
    err->name = nullptr;
    KVGE_clearContext(err);
    std::free(err);
}

void KVGE__setContextDescription(KVGE_Context *err, int code, const char *desc,
                                 const char *srcfile, int srcline) {
    KVG_REQUIRE(err);
    KVG_REQUIRE(desc);
    KVG_REQUIRE(srcfile);
    KVG_REQUIRE(srcline >= 0);
    err->code = code;
    err->description = desc;
    err->srcfile = srcfile;
    err->srcline = srcline;
    if (KVGE_abort != 0) {
        std::fprintf(stderr, "%s:%i - error #%i: %s\n", srcfile, srcline, code, desc);
        std::abort();
    }
}

const char *KVGE_getContextDescription(KVGE_Context *err) {
    KVG_REQUIRE(err);
    return err->description;
}

int KVGE_getContextCode(KVGE_Context *err) {
    KVG_REQUIRE(err);
    return err->code;
}

void KVGE_clearContext(KVGE_Context *err) {
    KVG_REQUIRE(err);
    err->code = KVG_ERR_NONE;
    err->description = nullptr;
    err->srcline = -1;
    err->srcfile = nullptr;
}
