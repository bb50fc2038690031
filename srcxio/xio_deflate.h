// The gzip stream of a file written with XIO_ZLIB: compresses what the file's buffer hands over
// and writes the compressed bytes to the descriptor a full output block at a time. Internal to
// the library.
//
// The encoder is ISA-L's igzip where the library was built with it (KVG_HAVE_ISAL), else zlib.
// Either writes one standard gzip stream, which every gzip reader takes; only the compressed
// bytes differ, never what they decompress to.
#ifndef XIO_DEFLATE_H
#define XIO_DEFLATE_H

#include <cstddef>

// The encoder and level of every compressed file. Bit-packed drawings leave deflate little to
// find, and the faster levels lose little: igzip's level 3 writes the scene 2.7 % larger than
// zlib's level 4 in an eighth of its time; zlib's level 4 writes the world maps as small as its
// level 6 (within 0.03 %) and dense drawings within 3 %, in a third to nine tenths of its time.
// The figures are in bench/README.md; the benchmark measures deflate at this same level.
#if KVG_HAVE_ISAL
inline constexpr int XIO_COMPRESSION_LEVEL = 3;
inline constexpr const char *XIO_ENCODER = "ISA-L igzip";
#else
inline constexpr int XIO_COMPRESSION_LEVEL = 4;
inline constexpr const char *XIO_ENCODER = "zlib";
#endif

struct XioDeflater;

// A new stream with its output block, or null when memory runs out.
XioDeflater *xioDeflaterCreate();
// Compresses `size` bytes; false when the stream or a write of its output fails.
bool xioDeflate(XioDeflater *deflater, int fd, const unsigned char *data, size_t size);
// Ends the gzip stream and writes everything still held; false on failure.
bool xioDeflateFinish(XioDeflater *deflater, int fd);
void xioDeflaterDestroy(XioDeflater *deflater);

#endif  // XIO_DEFLATE_H
