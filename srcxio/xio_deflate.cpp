#include "xio_deflate.h"

#if KVG_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#else
#include <zlib.h>
#endif

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>

#include "xio_posix.h"

namespace {

constexpr size_t XIO_DEFLATE_OUTPUT_SIZE = 64 * 1024;

}  // namespace

// ---- The encoder: starting and ending its stream, and one step of it ----

#if KVG_HAVE_ISAL

struct XioDeflater {
    isal_zstream stream;
    uint8_t level_buffer[ISAL_DEF_LVL3_DEFAULT];  // the working memory of levels 1 to 3
    unsigned char output[XIO_DEFLATE_OUTPUT_SIZE];
};

namespace {

using InputSize = uint32_t;

bool startStream(XioDeflater *deflater) {
    isal_zstream &stream = deflater->stream;
    isal_deflate_init(&stream);
    stream.next_in = nullptr;  // no input until the first block: the initialization leaves it
    stream.avail_in = 0;
    stream.level = XIO_COMPRESSION_LEVEL;
    stream.level_buf = deflater->level_buffer;
    stream.level_buf_size = sizeof deflater->level_buffer;
    stream.gzip_flag = IGZIP_GZIP;  // a gzip header and trailer around the data
    return true;
}

// Compresses what the stream holds into the output block; with `finish`, ends the stream.
// `ended`: whether the stream is complete. False when the encoder refuses.
bool step(XioDeflater *deflater, bool finish, bool &ended) {
    isal_zstream &stream = deflater->stream;
    stream.end_of_stream = finish ? 1 : 0;
    if (isal_deflate(&stream) != COMP_OK) return false;
    ended = stream.internal_state.state == ZSTATE_END;
    return true;
}

void endStream(XioDeflater *) {}

}  // namespace

#else

struct XioDeflater {
    z_stream stream;
    unsigned char output[XIO_DEFLATE_OUTPUT_SIZE];
};

namespace {

using InputSize = uInt;

// Maximum window plus 16: deflate writes a gzip header and trailer around the data.
constexpr int XIO_GZIP_WINDOW_BITS = 15 + 16;
constexpr int XIO_MEMORY_LEVEL = 8;

bool startStream(XioDeflater *deflater) {
    z_stream &stream = deflater->stream;
    stream.zalloc = Z_NULL;
    stream.zfree = Z_NULL;
    stream.opaque = Z_NULL;
    stream.next_in = Z_NULL;
    stream.avail_in = 0;
    return deflateInit2(&stream, XIO_COMPRESSION_LEVEL, Z_DEFLATED, XIO_GZIP_WINDOW_BITS,
                        XIO_MEMORY_LEVEL, Z_DEFAULT_STRATEGY) == Z_OK;
}

bool step(XioDeflater *deflater, bool finish, bool &ended) {
    const int status = deflate(&deflater->stream, finish ? Z_FINISH : Z_NO_FLUSH);
    ended = status == Z_STREAM_END;
    return status != Z_STREAM_ERROR;
}

void endStream(XioDeflater *deflater) { deflateEnd(&deflater->stream); }

}  // namespace

#endif

// ---- The output block and the pump, the same for both encoders ----

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

// Runs the encoder until it has taken all its input or, with `finish`, ended the stream,
// writing the output block whenever it fills. Output left in a partly filled block stays there.
bool pump(XioDeflater *deflater, int fd, bool finish) {
    for (;;) {
        bool ended = false;
        if (!step(deflater, finish, ended)) return false;
        // Room left in the block means the encoder has nothing more to give for this call.
        if (deflater->stream.avail_out != 0) {
            return finish ? ended : deflater->stream.avail_in == 0;
        }
        if (!writeOutput(deflater, fd)) return false;
    }
}

}  // namespace

XioDeflater *xioDeflaterCreate() {
    auto *deflater = new (std::nothrow) XioDeflater;
    if (deflater == nullptr) return nullptr;
    if (!startStream(deflater)) {
        delete deflater;
        return nullptr;
    }
    resetOutput(deflater);
    return deflater;
}

bool xioDeflate(XioDeflater *deflater, int fd, const unsigned char *data, size_t size) {
    while (size > 0) {
        // The encoders count their input in 32 bits: blocks beyond that go in pieces.
        const auto piece = static_cast<InputSize>(std::min<size_t>(size, UINT_MAX));
        deflater->stream.next_in = const_cast<unsigned char *>(data);
        deflater->stream.avail_in = piece;
        if (!pump(deflater, fd, false)) return false;
        data += piece;
        size -= piece;
    }
    return true;
}

bool xioDeflateFinish(XioDeflater *deflater, int fd) {
    return pump(deflater, fd, true) && writeOutput(deflater, fd);
}

void xioDeflaterDestroy(XioDeflater *deflater) {
    endStream(deflater);
    delete deflater;
}
