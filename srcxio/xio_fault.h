/*
 * Fault injection for tests of XIO and of the code above it: makes a chosen system operation
 * fail as a full disk, a failing close or a refused open would. A test facility only; it is
 * process-wide and not thread-safe while armed.
 *
 * This header is valid C and C++.
 */
#ifndef XIO_FAULT_H
#define XIO_FAULT_H

#include "kvgwriter.h" /* KVG_API */

#ifdef __cplusplus
extern "C" {
#endif

/* Arms one countdown per kind of operation, counted from this call: the n-th write of a block
 * to a file (a buffer drain or a block of compressed output), the n-th close of a file, and the
 * n-th open of a file (XIO_open, XIO_openReplacing, XIO_openScratch, XIO_openTemporary) fail,
 * each once; 0 disarms that kind.
 * A failed write writes nothing; a failed close still releases the descriptor; a failed open
 * creates no file. Setting all three to 0 restores normal operation. The close of a
 * compressed file opened for reading is not counted. */
KVG_API void XIO_setFaultInjection(long fail_write_at, long fail_close_at, long fail_open_at);
/* The same for the two steps that complete a file written through a temporary file beside its
 * target (XIO_openReplacing): the n-th flush to the disk and the n-th rename over the target. */
KVG_API void XIO_setCommitFaultInjection(long fail_sync_at, long fail_rename_at);

/* Calls `observer` with the descriptor of every file XIO creates (the file beside a target, a
 * scratch file, a temporary file), as soon as the file exists and before anything else is done
 * to it, so that a test can see what another process could have seen; NULL stops it. */
typedef void (*XIO_CreationObserver)(int fd, void *context);
KVG_API void XIO_setCreationObserver(XIO_CreationObserver observer, void *context);

#ifdef __cplusplus
}
#endif

#endif /* XIO_FAULT_H */
