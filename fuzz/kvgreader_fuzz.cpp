// libFuzzer target of the reader: the input is a file (plain or gzip) that the public reader
// walks to its end or its first fault, reading back every definition it meets and every row of
// every image, and that the render core then draws to a null painter and as SVG to a stream
// that discards it. All must stay within the limits set here, whatever the bytes; the
// sanitizers catch the rest.
//
// A failure of the reader must be a failure with a code, a message and an offset no further
// than the content read; a success must leave a consistent reader.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <span>
#include <streambuf>
#include <vector>

#include "kvgreader.h"
#include "kvgrender.h"
#include "svg_painter.h"

namespace {

// Small enough that no input can make a run slow, large enough for every seed.
constexpr uint64_t LIMITS[KVGR_LIMIT_COUNT] = {
    uint64_t{1} << 24,  // content bytes
    uint64_t{1} << 20,  // points
    uint64_t{1} << 18,  // pixels of one image
    uint64_t{1} << 26,  // memory
    64,                 // depth
};

[[noreturn]] void broken(const char *what) {
    std::fprintf(stderr, "reader fuzz: %s\n", what);
    std::abort();
}

// Reads back what a definition record defined, as a renderer would.
void readDefinition(const KVGR_Reader *r, const KVGR_Record &record) {
    const int32_t id = record.definition;
    switch (record.code) {
        case KVGR_SET_EDGE: {
            KVGR_Edge edge;
            if (KVGR_getEdge(r, -id, &edge) != 0 || edge.count != record.as.edge.count)
                broken("edge not kept");
            break;
        }
        case KVGR_SET_FACE: {
            KVGR_Face face;
            if (KVGR_getFace(r, static_cast<uint32_t>(id), &face) != 0) broken("face not kept");
            break;
        }
        case KVGR_SET_IMAGE: {
            KVGR_Image image;
            if (KVGR_getImage(r, static_cast<uint32_t>(id), &image) != 0) broken("image not kept");
            std::vector<uint8_t> rgba(4 * size_t{image.width});
            for (uint32_t row = 0; row < image.height; ++row) {
                if (KVGR_getImageRGBA(r, static_cast<uint32_t>(id), row, rgba.data()) != 0)
                    broken("image row not kept");
            }
            break;
        }
        default: break;
    }
}

void walk(const uint8_t *data, size_t size) {
    KVGR_Reader *r = KVGR_new();
    if (r == nullptr) broken("no reader");
    for (int limit = 0; limit < KVGR_LIMIT_COUNT; ++limit)
        KVGR_setLimit(r, static_cast<KVGR_LIMIT>(limit), LIMITS[limit]);
    const KVGR_Record *record = nullptr;
    int status = KVGR_openMemory(r, data, size);
    if (status == 0) {
        const KVGR_PageMapping page = KVGR_pageMapping(KVGR_getHeader(r));
        if (!(page.scale > 0)) broken("page scale not positive");
        while ((status = KVGR_next(r, &record)) == 1) {
            if (record->offset >= KVGR_getContentBytes(r)) broken("record beyond the content");
            readDefinition(r, *record);
            KVGR_getState(r);
        }
    }
    if (status < 0) {
        if (KVGR_getErrorCode(r) == KVGR_ERR_NONE || KVGR_getErrorMessage(r)[0] == '\0')
            broken("failure without a code or message");
        if (KVGR_getErrorOffset(r) > KVGR_getContentBytes(r)) broken("fault beyond the content");
        if (KVGR_next(r, &record) != -1) broken("reading went on after a fault");
    }
    KVGR_delete(r);
}

// Takes every character and keeps none.
class Discard final : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char *, std::streamsize n) override { return n; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    walk(data, size);
    kvgrender::NullPainter painter;
    kvgrender::render({data, size}, painter, kvgrender::Limits::forFile(size, false));
    Discard discard;
    std::ostream svg(&discard);
    kvgrender::renderSvg({data, size}, svg);
    return 0;
}
