#include "xio_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>

#include "xio_posix.h"

namespace {

// Maximum window plus 16: deflate writes a gzip header and trailer around the data.
constexpr int XIO_GZIP_WINDOW_BITS = 15 + 16;
constexpr int XIO_MEMORY_LEVEL = 8;
constexpr size_t XIO_DEFLATE_OUTPUT_SIZE = 64 * 1024;

}  // namespace

struct XioDeflater {
    z_stream stream;
    unsigned char output[XIO_DEFLATE_OUTPUT_SIZE];
};

namespace {

void resetOutput(XioDeflater *deflater) {
    deflater->stream.next_out = deflater->output;
    deflater->stream.avail_out = XIO_DEFLATE_OUTPUT_SIZE;
}

bool writeOutput(XioDeflater *deflater, int fd) {
    size_t size = XIO_DEFLATE_OUTPUT_SIZE - deflater->stream.avail_out;
    if (!xioWriteAll(fd, deflater->output, size)) return false;
    resetOutput(deflater);
    return true;
}

// Runs deflate until it has taken all its input (Z_NO_FLUSH) or ended the stream (Z_FINISH),
// writing the output block whenever it fills. Output left in a partly filled block stays there.
bool pump(XioDeflater *deflater, int fd, int flush) {
    z_stream &stream = deflater->stream;
    for (;;) {
        int status = deflate(&stream, flush);
        if (status == Z_STREAM_ERROR) return false;
        // Room left in the block means deflate has nothing more to give for this call.
        if (stream.avail_out != 0) return flush != Z_FINISH || status == Z_STREAM_END;
        if (!writeOutput(deflater, fd)) return false;
    }
}

}  // namespace

XioDeflater *xioDeflaterCreate() {
    auto *deflater = new (std::nothrow) XioDeflater;
    if (deflater == nullptr) return nullptr;
    z_stream &stream = deflater->stream;
    stream.zalloc = Z_NULL;
    stream.zfree = Z_NULL;
    stream.opaque = Z_NULL;
    stream.next_in = Z_NULL;
    stream.avail_in = 0;
    if (deflateInit2(&stream, XIO_COMPRESSION_LEVEL, Z_DEFLATED, XIO_GZIP_WINDOW_BITS,
                     XIO_MEMORY_LEVEL, Z_DEFAULT_STRATEGY) != Z_OK) {
        delete deflater;
        return nullptr;
    }
    resetOutput(deflater);
    return deflater;
}

bool xioDeflate(XioDeflater *deflater, int fd, const unsigned char *data, size_t size) {
    z_stream &stream = deflater->stream;
    while (size > 0) {
        // avail_in is an unsigned int: blocks beyond its range go in pieces.
        auto piece = static_cast<uInt>(std::min<size_t>(size, UINT_MAX));
        stream.next_in = const_cast<Bytef *>(data);
        stream.avail_in = piece;
        if (!pump(deflater, fd, Z_NO_FLUSH)) return false;
        data += piece;
        size -= piece;
    }
    return true;
}

bool xioDeflateFinish(XioDeflater *deflater, int fd) {
    return pump(deflater, fd, Z_FINISH) && writeOutput(deflater, fd);
}

void xioDeflaterDestroy(XioDeflater *deflater) {
    deflateEnd(&deflater->stream);
    delete deflater;
}
