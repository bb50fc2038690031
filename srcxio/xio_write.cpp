// Appending to an XIO file: the slow path of the inline cursor, blocks, and the completion.
#include <cstring>

#include "kvgassert.h"
#include "xio_file.h"
#include "xio_posix.h"

namespace {

// Passes bytes on to the file: as they are, or into the gzip stream.
bool consume(XIO_File *file, const unsigned char *data, size_t size) {
    return file->deflater != nullptr ? xioDeflate(file->deflater, file->fd, data, size)
                                     : xioWriteAll(file->fd, data, size);
}

// Empties the buffer into the file and opens all of it for appending; false when the file
// cannot take writes (failed now or before, or open for reading).
bool drain(XIO_File *file) {
    if (file->mode != XIO_WRITE || file->failed) return false;
    XioCursor &cursor = file->cursor;
    if (!consume(file, file->buffer, static_cast<size_t>(cursor.next - file->buffer))) {
        return xioFail(file);
    }
    cursor.next = file->buffer;
    cursor.limit = file->buffer + XIO_BUFFER_SIZE;
    return true;
}

}  // namespace

int XIO_putc(XIO_File *file, int c) {
    KVG_REQUIRE_NOT_NULL(file);
    XioCursor &cursor = file->cursor;
    if (cursor.next == cursor.limit && !drain(file)) return -1;
    auto byte = static_cast<unsigned char>(c);
    *cursor.next++ = byte;
    return byte;
}

size_t XIO_write(XIO_File *file, const void *buffer, size_t count) {
    KVG_REQUIRE_NOT_NULL(file);
    if (count == 0) return 0;
    KVG_REQUIRE_NOT_NULL(buffer);
    const auto *bytes = static_cast<const unsigned char *>(buffer);
    XioCursor &cursor = file->cursor;
    if (count > static_cast<size_t>(cursor.limit - cursor.next)) {
        if (!drain(file)) return 0;
        // A block that would fill the buffer at once goes straight on.
        if (count >= XIO_BUFFER_SIZE) {
            if (consume(file, bytes, count)) return count;
            xioFail(file);
            return 0;
        }
    }
    std::memcpy(cursor.next, bytes, count);
    cursor.next += count;
    return count;
}

bool xioCompleteWriting(XIO_File *file) {
    if (!drain(file)) return false;
    if (file->deflater != nullptr && !xioDeflateFinish(file->deflater, file->fd)) {
        return xioFail(file);
    }
    return true;
}
