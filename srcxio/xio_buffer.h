// The write cursor of an XIO file, shared with the encoding layer so that appending one byte is
// an inline store in the common case. Internal to the library.
#ifndef XIO_BUFFER_H
#define XIO_BUFFER_H

#include "xio.h"

// Every XIO_File starts with this cursor (the structure is standard-layout), so a file pointer
// converts to a pointer to its cursor. For a file open for writing, [next, limit) is the free
// room of its buffer; limit equals next whenever the buffer must be drained first or the file
// has failed, which sends the next byte down the out-of-line path of XIO_putc.
struct XioCursor {
    unsigned char *next;
    unsigned char *limit;
};

inline XioCursor *xioCursor(XIO_File *file) { return reinterpret_cast<XioCursor *>(file); }

// Appends one byte; the slow path drains the buffer (or reports a sticky failure).
inline int xioPutByte(XIO_File *file, unsigned char byte) {
    XioCursor *cursor = xioCursor(file);
    if (cursor->next < cursor->limit) [[likely]] {
        *cursor->next++ = byte;
        return byte;
    }
    return XIO_putc(file, byte);
}

#endif  // XIO_BUFFER_H
