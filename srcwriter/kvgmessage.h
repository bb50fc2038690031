// One entry of a module's message table: the text a failure is recorded with and the code that
// always goes with it. Internal to the library.
#ifndef KVGMESSAGE_H
#define KVGMESSAGE_H

#include "kvgerror.h"

struct KvgMessage {
    const char *text;
    int code;
};

// Records `message` in `err` as detected at `srcfile`:`line` and returns -1, the result every
// failing call passes up.
inline int kvgRecord(KVGE_Context *err, const KvgMessage &message, const char *srcfile,
                     int line) {
    KVGE__setContextDescription(err, message.code, message.text, srcfile, line);
    return -1;
}

#endif  // KVGMESSAGE_H
