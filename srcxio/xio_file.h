// The XIO file record and the internal entry points that its open, write, read and close code
// share. Internal to the library.
#ifndef XIO_FILE_H
#define XIO_FILE_H

#include <zlib.h>

#include <cstddef>
#include <type_traits>

#include "xio_buffer.h"
#include "xio_deflate.h"

constexpr size_t XIO_BUFFER_SIZE = 64 * 1024;

// A file written under a temporary name beside its target and renamed over it when complete.
// Both names are relative to the directory, which is held open so that a change of the working
// directory or a rename of the directory meanwhile cannot misplace the file.
struct XioReplacement;

struct _XIO_File {
    XioCursor cursor;                 // first: xioPutByte reaches it through the file pointer
    int fd = -1;                      // owned, except by a gzip reader
    int mode;                         // XIO_READ or XIO_WRITE
    bool failed = false;              // sticky: a write, a read or the completion failed
    bool at_end = false;              // reading: the end was found or reading failed
    XioDeflater *deflater = nullptr;  // writing with XIO_ZLIB
    gzFile gzip_reader = nullptr;     // reading with XIO_ZLIB; owns the descriptor
    XioReplacement *replacement = nullptr;  // writing through a temporary file beside the target
    unsigned char *read_next;         // reading plain: [read_next, read_end) is still unread
    unsigned char *read_end;
    unsigned char buffer[XIO_BUFFER_SIZE];
};

static_assert(std::is_standard_layout_v<_XIO_File>);
static_assert(offsetof(_XIO_File, cursor) == 0, "a file pointer must convert to its cursor");

// Marks the file failed for good and closes the inline write path; returns false.
inline bool xioFail(XIO_File *file) {
    file->failed = true;
    file->cursor.limit = file->cursor.next;
    return false;
}

// Writes out everything buffered and ends the gzip stream; false when the file failed now or
// before.
bool xioCompleteWriting(XIO_File *file);
// Hands the descriptor to the gzip reader; false when memory runs out (the descriptor stays).
bool xioAttachGzipReader(XIO_File *file);
// Closes the gzip reader with its descriptor; false when the close reports a failure.
bool xioCloseGzipReader(XIO_File *file);

// Opens what a file replacing `name` is written to: a new temporary file beside the target,
// described in *replacement, or, for a target that cannot be replaced, `name` itself as
// XIO_open would (*replacement null). The descriptor, or -1 with errno set.
int xioOpenReplacement(const char *name, bool sync, XioReplacement **replacement);
// For a file written through a temporary file: puts it on the disk if asked, closes it and
// renames it over its target when `completed` (the writing succeeded) and every step succeeds;
// otherwise closes and removes it. Releases the replacement; false on any failure.
bool xioCloseReplacement(XIO_File *file, bool completed);
// Closes and removes the temporary file of a replacement, leaving the target as it was.
void xioDiscardReplacement(XIO_File *file);

#endif  // XIO_FILE_H
