// The gzip stream of a file written with XIO_ZLIB: compresses what the file's buffer hands over
// and writes the compressed bytes to the descriptor a full output block at a time. Internal to
// the library.
#ifndef XIO_DEFLATE_H
#define XIO_DEFLATE_H

#include <cstddef>

// The zlib level of every compressed file. Bit-packed drawings leave deflate little to find:
// level 4 writes the world maps as small as level 6 does (within 0.03 %) and dense drawings
// within 3 %, in a third to nine tenths of its time; level 1 costs 1 to 7 % in size. The
// figures are in bench/README.md; the benchmark measures deflate at this same level.
inline constexpr int XIO_COMPRESSION_LEVEL = 4;

struct XioDeflater;

// A new stream with its output block, or null when memory runs out.
XioDeflater *xioDeflaterCreate();
// Compresses `size` bytes; false when the stream or a write of its output fails.
bool xioDeflate(XioDeflater *deflater, int fd, const unsigned char *data, size_t size);
// Ends the gzip stream and writes everything still held; false on failure.
bool xioDeflateFinish(XioDeflater *deflater, int fd);
void xioDeflaterDestroy(XioDeflater *deflater);

#endif  // XIO_DEFLATE_H
