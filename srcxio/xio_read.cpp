// Reading an XIO file: plain files through the file's buffer, gzip files through zlib's reader.
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "kvgassert.h"
#include "xio_file.h"
#include "xio_posix.h"

namespace {

// Reading ends at the end of the file, and also for good after a failure, so that a loop
// reading until XIO_eof always ends; XIO_close reports the failure.
void endReading(XIO_File *file, bool failed) {
    file->at_end = true;
    if (failed) xioFail(file);
}

// Refills the buffer; false at the end of the file or on failure.
bool refill(XIO_File *file) {
    ssize_t got = xioRead(file->fd, file->buffer, XIO_BUFFER_SIZE);
    if (got <= 0) {
        endReading(file, got < 0);
        return false;
    }
    file->read_next = file->buffer;
    file->read_end = file->buffer + got;
    return true;
}

size_t readPlain(XIO_File *file, unsigned char *data, size_t count) {
    size_t done = 0;
    while (done < count && (file->read_next < file->read_end || refill(file))) {
        auto unread = static_cast<size_t>(file->read_end - file->read_next);
        size_t piece = std::min(count - done, unread);
        std::memcpy(data + done, file->read_next, piece);
        file->read_next += piece;
        done += piece;
    }
    return done;
}

size_t readGzip(XIO_File *file, unsigned char *data, size_t count) {
    size_t done = 0;
    while (done < count) {
        // gzread counts in int: larger requests go in pieces.
        auto piece = static_cast<unsigned>(std::min<size_t>(count - done, INT_MAX));
        int got = gzread(file->gzip_reader, data + done, piece);
        if (got > 0) done += static_cast<size_t>(got);
        if (got < 0 || static_cast<unsigned>(got) < piece) {
            // Short: the end of the data, or a stream cut short or damaged.
            int status = Z_OK;
            gzerror(file->gzip_reader, &status);
            endReading(file, got < 0 || status != Z_OK);
            break;
        }
    }
    return done;
}

}  // namespace

size_t XIO_read(XIO_File *file, void *buffer, size_t count) {
    KVG_REQUIRE_NOT_NULL(file);
    if (file->mode != XIO_READ || file->at_end || count == 0) return 0;
    KVG_REQUIRE_NOT_NULL(buffer);
    auto *data = static_cast<unsigned char *>(buffer);
    return file->gzip_reader != nullptr ? readGzip(file, data, count)
                                        : readPlain(file, data, count);
}

int XIO_eof(XIO_File *file) {
    KVG_REQUIRE_NOT_NULL(file);
    return file->at_end ? 1 : 0;
}

bool xioAttachGzipReader(XIO_File *file) {
    file->gzip_reader = gzdopen(file->fd, "rb");
    return file->gzip_reader != nullptr;
}

bool xioCloseGzipReader(XIO_File *file) {
    return gzclose_r(file->gzip_reader) == Z_OK;
}
