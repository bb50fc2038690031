// The error context: the one record in which every failure of a writer handle is described
// (code, message and the place in the library's source where it was detected). It holds only
// the latest failure; a successful call never clears it.
#ifndef KVGERROR_H
#define KVGERROR_H

#include "kvgwriter.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _kvge_context KVGE_Context;

// When non-zero, every recorded failure is printed to standard error and the process aborts.
KVG_API extern int KVGE_abort;

// NULL when memory cannot be had. `name` is stored as given, never copied nor freed.
KVG_API KVGE_Context *KVGE_createContext(const char *name);
KVG_API void KVGE_destroyContext(KVGE_Context *err);
// Records a failure; `desc` and `srcfile` are static strings and are stored, not copied.
KVG_API void KVGE__setContextDescription(KVGE_Context *err, int code, const char *desc,
                                         const char *srcfile, int srcline);
KVG_API const char *KVGE_getContextDescription(KVGE_Context *err);
KVG_API int KVGE_getContextCode(KVGE_Context *err);
KVG_API void KVGE_clearContext(KVGE_Context *err);

// Records a failure at the line of the call.
#define KVGE_setContextDescription(err, code, desc, srcfile)                                   \
    KVGE__setContextDescription((err), (code), (desc), (srcfile), __LINE__)

#ifdef __cplusplus
}
#endif

#endif  // KVGERROR_H
