// The life of an XIO file: opening, and the completion and release in XIO_close.
#include <cerrno>
#include <new>

#include "kvgassert.h"
#include "xio_file.h"
#include "xio_posix.h"

namespace {

// Empties the buffer for writing or reading in `mode`.
void startBuffering(XIO_File *file, int mode) {
    file->mode = mode;
    // A reader's cursor has no room, so a byte appended to it takes the failing slow path.
    file->cursor.next = file->buffer;
    file->cursor.limit = mode == XIO_WRITE ? file->buffer + XIO_BUFFER_SIZE : file->buffer;
    file->read_next = file->buffer;
    file->read_end = file->buffer;
}

// A file record without a descriptor, or null when memory runs out.
XIO_File *create(int mode, bool compressing) {
    auto *file = new (std::nothrow) XIO_File;
    if (file == nullptr) return nullptr;
    if (compressing && (file->deflater = xioDeflaterCreate()) == nullptr) {
        delete file;
        return nullptr;
    }
    startBuffering(file, mode);
    return file;
}

void destroy(XIO_File *file) {
    if (file->deflater != nullptr) xioDeflaterDestroy(file->deflater);
    delete file;
}

// Gives `file` the descriptor just opened for it; null, with everything released and errno
// telling why, when the open failed or the gzip reader cannot be had.
XIO_File *adopt(XIO_File *file, int fd, bool gzip_reading) {
    file->fd = fd;
    if (fd >= 0 && (!gzip_reading || xioAttachGzipReader(file))) return file;
    const int error = fd >= 0 ? ENOMEM : errno;
    if (file->replacement != nullptr) {
        xioDiscardReplacement(file);
    } else if (fd >= 0) {
        xioClose(fd);
    }
    destroy(file);
    errno = error;
    return nullptr;
}

// Closes the descriptor (with the gzip reader that owns it, if any); false when the close
// reports a failure.
bool closeDescriptor(XIO_File *file) {
    return file->gzip_reader != nullptr ? xioCloseGzipReader(file) : xioClose(file->fd);
}

}  // namespace

XIO_File *XIO_open(const char *name, int mode, int compression) {
    KVG_REQUIRE_NOT_NULL(name);
    KVG_REQUIRE(mode == XIO_READ || mode == XIO_WRITE);
    KVG_REQUIRE(compression == XIO_PLAIN || compression == XIO_ZLIB);
    bool writing = mode == XIO_WRITE;
    bool compressed = compression == XIO_ZLIB;
    // Everything is allocated before the file is touched, so a failure leaves no file behind.
    XIO_File *file = create(mode, writing && compressed);
    if (file == nullptr) return nullptr;
    int fd = writing ? xioOpenForWriting(name) : xioOpenForReading(name);
    return adopt(file, fd, !writing && compressed);
}

XIO_File *XIO_openReplacing(const char *name, int compression, int sync) {
    KVG_REQUIRE_NOT_NULL(name);
    KVG_REQUIRE(compression == XIO_PLAIN || compression == XIO_ZLIB);
    XIO_File *file = create(XIO_WRITE, compression == XIO_ZLIB);
    if (file == nullptr) return nullptr;
    return adopt(file, xioOpenReplacement(name, sync != 0, &file->replacement), false);
}

XIO_File *XIO_openTemporary(char *name_template) {
    KVG_REQUIRE_NOT_NULL(name_template);
    XIO_File *file = create(XIO_WRITE, false);
    if (file == nullptr) return nullptr;
    return adopt(file, xioCreateTemporary(name_template), false);
}

XIO_File *XIO_openScratch(void) {
    XIO_File *file = create(XIO_WRITE, false);
    if (file == nullptr) return nullptr;
    return adopt(file, xioCreateScratch(), false);
}

int XIO_reread(XIO_File *file) {
    KVG_REQUIRE_NOT_NULL(file);
    KVG_REQUIRE(file->deflater == nullptr && file->replacement == nullptr);
    if (!xioCompleteWriting(file) || !xioRewind(file->fd)) {
        xioFail(file);
        return -1;
    }
    startBuffering(file, XIO_READ);
    return 0;
}

int XIO_close(XIO_File *file) {
    KVG_REQUIRE_NOT_NULL(file);
    bool completed = file->mode == XIO_WRITE ? xioCompleteWriting(file) : !file->failed;
    bool closed = file->replacement != nullptr ? xioCloseReplacement(file, completed)
                                               : closeDescriptor(file);
    destroy(file);
    return completed && closed ? 0 : -1;
}

void XIO_discard(XIO_File *file) {
    KVG_REQUIRE_NOT_NULL(file);
    if (file->replacement != nullptr) {
        xioDiscardReplacement(file);
    } else {
        closeDescriptor(file);
    }
    destroy(file);
}
