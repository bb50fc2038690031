/*
 * XIO: buffered file access for plain files and for gzip-compressed files (zlib).
 *
 * A file opened with XIO_ZLIB for writing is a standard gzip stream; a file opened with
 * XIO_PLAIN holds exactly the bytes written, in order. Writes are buffered, so XIO_putc is an
 * append to memory in the common case. Errors are sticky: after a failed write every later
 * write on the same file fails too, and XIO_close reports the failure.
 *
 * This header is valid C and C++.
 */
#ifndef XIO_H
#define XIO_H

#include <stddef.h>

#include "kvgwriter.h" /* KVG_API */

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _XIO_File XIO_File;

enum { XIO_READ = 0, XIO_WRITE = 1 };  /* access mode */
enum { XIO_PLAIN = 0, XIO_ZLIB = 1 };  /* compression */

/* Opens `name`; NULL, with errno telling why, when the file cannot be opened. A file opened for
 * writing is created or truncated at once. */
KVG_API XIO_File *XIO_open(const char *name, int mode, int compression);
/* Opens `name` for writing so that it is replaced whole or not at all: the bytes go to a new
 * temporary file in the same directory, which XIO_close renames over `name` only when every
 * write and the completion succeeded; when `sync` is non-zero it first puts the file's data on
 * the disk (fdatasync), so that not even a power failure can leave `name` half-written. Until
 * then, and after any failure or XIO_discard, `name` keeps what it held, or stays absent, and
 * the temporary file is removed. The temporary file has no name while it is written (where the
 * file system allows; elsewhere a hidden name beside `name`), so that no other process can open
 * it and a crash leaves nothing behind. From its creation it has the permissions of the file it
 * replaces, or those of an ordinary create (0666 less the umask), and before its first byte
 * the replaced file's owner and group, as far as the process may give them. A
 * file the process may not write is refused (EACCES), as opening it would be. A symbolic link
 * is followed and the file it leads to is replaced (the link stays). What cannot be replaced is
 * written directly, as XIO_open does: a FIFO, a device, a directory (refused by the open) and
 * any name under /dev or /proc, or a link leading there (/dev/stdout). NULL on failure, with
 * errno telling why. */
KVG_API XIO_File *XIO_openReplacing(const char *name, int compression, int sync);
/* Creates and opens for writing a new plain file from `name_template`, whose last six
 * characters must be "XXXXXX" and are replaced in place (mkstemp semantics: created atomically,
 * never an existing file). NULL on failure. */
KVG_API XIO_File *XIO_openTemporary(char *name_template);
/* Creates and opens for writing a plain scratch file in $TMPDIR (or the system's temporary
 * directory), readable only by its owner, that no other process can open and that vanishes when
 * released or when the process ends in any way: it has no name (O_TMPFILE), or loses the one it
 * was created with at once. NULL on failure, with errno telling why. */
KVG_API XIO_File *XIO_openScratch(void);
/* Completes the writing of a scratch file and opens it for reading from its first byte; 0 on
 * success, -1 when a write failed (now or before) or the file cannot be reread. */
KVG_API int XIO_reread(XIO_File *file);
/* Appends one byte (the low 8 bits of `c`); returns the byte written, or -1 on failure. */
KVG_API int XIO_putc(XIO_File *file, int c);
/* Appends `count` bytes; returns the number written, which equals `count` on success, and 0
 * on failure. */
KVG_API size_t XIO_write(XIO_File *file, const void *buffer, size_t count);
/* Reads up to `count` bytes; returns the number read (0 at the end or on failure). */
KVG_API size_t XIO_read(XIO_File *file, void *buffer, size_t count);
/* Non-zero once a read found the end of a file opened for reading, or failed: a loop that
 * reads until the end always ends, and XIO_close reports the failure. */
KVG_API int XIO_eof(XIO_File *file);
/* Completes (flushes, ends the gzip stream) and releases the file, even when it fails; 0 on
 * success, -1 when any write or read of the file's life, the completion or the close failed. */
KVG_API int XIO_close(XIO_File *file);
/* Releases a file without completing it: a file opened with XIO_openReplacing leaves its
 * target as it was and its temporary file is removed; any other file keeps what was written to
 * it before (buffered bytes are dropped). */
KVG_API void XIO_discard(XIO_File *file);

#ifdef __cplusplus
}
#endif

#endif /* XIO_H */
