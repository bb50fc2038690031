// The life of a writer handle (create, close, abandon) and its error accessors.
//
// A KVG file is: the header, the definitions section (written on `global` as definitions are
// made), three closing size records, and the layer section, which collects in a scratch file
// while the file is open (unnamed, in $TMPDIR) and is appended by KVG_close. The output itself is written beside its
// target and takes the target's name only when KVG_close completes it (XIO_openReplacing).
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kvgwriter_internal.h"

namespace {

constexpr size_t kCopyBlock = 1024;
constexpr int kInitialPoints = 32;  // doubles
constexpr int kInitialValues = 32;

char *copyString(const char *text) {
    const size_t size = std::strlen(text) + 1;
    auto *copy = static_cast<char *>(std::malloc(size));
    if (copy != nullptr) std::memcpy(copy, text, size);
    return copy;
}

void releaseArrays(KVG_File *fl) {
    if (fl->primitive.pts != nullptr) paDestroy(fl->primitive.pts);
    if (fl->edge.pts != nullptr) paDestroy(fl->edge.pts);
    if (fl->edge.seg_sizes != nullptr) ucaDestroy(fl->edge.seg_sizes);
    if (fl->edge.seg_counts != nullptr) ulaDestroy(fl->edge.seg_counts);
    if (fl->face.edges != nullptr) laDestroy(fl->face.edges);
    if (fl->face.holes != nullptr) ulaDestroy(fl->face.holes);
}

// Releases everything the handle owns and the handle itself, and deletes the temporary layer
// file. The output (global's file) is released before, by KVG_close or discardOutput.
void destroyState(KVG_File *fl) {
    releaseArrays(fl);
    if (fl->layers != nullptr) KVGF_DestroyState(fl->layers);
    if (fl->global != nullptr) KVGF_DestroyState(fl->global);
    if (fl->layers_file != nullptr) XIO_discard(fl->layers_file);
    if (fl->error != nullptr) KVGE_destroyContext(fl->error);
    std::free(fl->filename);
    std::free(fl);
}

bool createArrays(KVG_File *fl) {
    fl->primitive.pts = paCreate(kInitialPoints);
    fl->edge.pts = paCreate(kInitialPoints);
    fl->edge.seg_sizes = ucaCreate(kInitialValues);
    fl->edge.seg_counts = ulaCreate(kInitialValues);
    fl->face.edges = laCreate(kInitialValues);
    fl->face.holes = ulaCreate(kInitialValues);
    return fl->primitive.pts != nullptr && fl->edge.pts != nullptr &&
           fl->edge.seg_sizes != nullptr && fl->edge.seg_counts != nullptr &&
           fl->face.edges != nullptr && fl->face.holes != nullptr;
}

// Why KVG_create failed: the code, the system's error number where a system call failed, what
// failed, and whether the system's text of the error number says why.
struct CreateFailure {
    int code;
    int system_error;
    const char *what;
    bool with_reason;
};

constexpr CreateFailure kNoMemory{KVG_ERR_SYSTEM, ENOMEM, "Not enough memory", false};

CreateFailure systemFailure(const char *what) { return {KVG_ERR_SYSTEM, errno, what, true}; }

// The text of a system error number, from either of the two strerror_r the C library may have.
[[maybe_unused]] const char *errorText(const char *gnu_result, const char *) { return gnu_result; }
[[maybe_unused]] const char *errorText(int xsi_result, const char *buffer) {
    return xsi_result == 0 ? buffer : "Unknown error";
}

void report(const CreateFailure &failure, KVG_CreateError *out) {
    if (out == nullptr) return;
    out->code = failure.code;
    out->system_error = failure.system_error;
    if (!failure.with_reason) {
        std::snprintf(out->description, sizeof out->description, "%s", failure.what);
        return;
    }
    char buffer[128] = "";
    const int number = failure.system_error;
    const char *reason = errorText(strerror_r(number, buffer, sizeof buffer), buffer);
    std::snprintf(out->description, sizeof out->description, "%s: %s", failure.what, reason);
}

// Allocates and initialises a handle writing to `file`: everything but the windows, the sizes
// and the header. On failure everything already acquired is released, `file` stays the
// caller's, and the result is null with *failure telling why.
KVG_File *createState(XIO_File *file, const char *filename, CreateFailure *failure) {
    auto *fl = static_cast<KVG_File *>(std::calloc(1, sizeof(KVG_File)));
    *failure = kNoMemory;
    if (fl == nullptr) return nullptr;
    fl->filename = copyString(filename);
    if (fl->filename == nullptr) {
        destroyState(fl);
        return nullptr;
    }
    fl->layers_file = XIO_openScratch();
    if (fl->layers_file == nullptr) {
        *failure = systemFailure("Cannot create the temporary layer file");
        destroyState(fl);
        return nullptr;
    }
    fl->error = KVGE_createContext(filename);
    if (fl->error != nullptr) {
        fl->global = KVGF_CreateState(file, fl->error);
        fl->layers = KVGF_CreateState(fl->layers_file, fl->error);
    }
    if (fl->global == nullptr || fl->layers == nullptr || !createArrays(fl)) {
        destroyState(fl);
        return nullptr;
    }
    fl->global->color_size = KVG_COLOR_RGB;
    fl->cur = fl->layers;
    fl->edge.next_id = 1;
    return fl;
}

// Makes both axes use one scale by widening the world window around its centre. The factors
// are compared by their magnitudes and each axis keeps its direction, so that a window reversed
// on an axis (y growing downwards, as on screens) maps as its mirror image rather than turned or
// narrowed; for windows that are not reversed this is the plain comparison. `scale`, the file
// units per world unit of a length (a radius, a line weight), is never negative.
void correctWorld(KVG_File *fl) {
    KvgWindow &w = fl->world;
    const KvgWindow &k = fl->kvg;
    const double sx = (k.xmax - k.xmin) / (w.xmax - w.xmin);
    const double sy = (k.ymax - k.ymin) / (w.ymax - w.ymin);
    fl->scale = std::fabs(sy) < std::fabs(sx) ? std::fabs(sy) : std::fabs(sx);
    if (std::fabs(std::fabs(sx) - std::fabs(sy)) < 0.001) return;
    const double cx = w.xmin + 0.5 * (w.xmax - w.xmin);
    const double cy = w.ymin + 0.5 * (w.ymax - w.ymin);
    const double hx = std::copysign(0.5 * (k.xmax - k.xmin) / fl->scale, sx);
    const double hy = std::copysign(0.5 * (k.ymax - k.ymin) / fl->scale, sy);
    w = {cx - hx, cx + hx, cy - hy, cy + hy};
}

void setWindows(KVG_File *fl, const KVG_FileOptions &opt) {
    fl->raw = opt.raw;
    fl->world = {opt.wxmin, opt.wxmax, opt.wymin, opt.wymax};
    if (opt.raw != 0) {
        const double w = opt.wxmax - opt.wxmin;
        const double h = opt.wymax - opt.wymin;
        fl->kvg = {-w * 0.5, w * 0.5, -h * 0.5, h * 0.5};
    } else {
        fl->kvg = {-0.5 * opt.width_res, 0.5 * opt.width_res, -0.5 * opt.height_res,
                   0.5 * opt.height_res};
    }
    correctWorld(fl);
    const KvgWindow &w = fl->world;
    const KvgWindow &k = fl->kvg;
    fl->grid = {{w.xmin, w.ymin},
                {w.xmax - w.xmin, w.ymax - w.ymin},
                {k.xmax - k.xmin, k.ymax - k.ymin},
                {k.xmin, k.ymin},
                {0.0, 0.0},
                opt.raw != 0};
}

uint8_t largerSize(uint8_t a, uint8_t b) { return a < b ? b : a; }

// The header's points decide the point size in force after it, and every layer starts with it.
void setInitialSizes(KVG_File *fl, const KVG_FileOptions &opt) {
    const KvgWindow &k = fl->kvg;
    uint8_t size = KVGT_MinPointSize(k.xmin, k.ymin);
    size = largerSize(size, KVGT_MinPointSize(k.xmax, k.ymax));
    size = largerSize(size, KVGT_MinPointSize(opt.width_res, opt.height_res));
    size = largerSize(size, KVGT_MinPointSize(opt.width_mm, opt.height_mm));
    fl->global->point_size = size;
    fl->global->rel_point_size = size;
    fl->global->color_size = KVG_COLOR_RGB;
    fl->layer = {KVG_COLOR_RGB, size, size};
    fl->layers->color_size = KVG_COLOR_RGB;
    fl->layers->point_size = size;
    fl->layers->rel_point_size = size;
}

int writeHeader(KVG_File *fl, const KVG_FileOptions &opt) {
    const KvgWindow &k = fl->kvg;
    return KVGT_Header(fl->global, opt.width_res, opt.height_res, k.xmin, k.ymin, k.xmax, k.ymax,
                       opt.width_mm, opt.height_mm, opt.bgcolor);
}

// Definitions still open at close are completed as their end calls complete them, so that
// every identifier handed out names a record: the shape first (its records sit in the middle
// of the definitions and its pending bits belong to them), then the edge (an edge with no
// vertex is still written, -2), then the face. An open primitive has no identifier and has
// written nothing: it is dropped.
int endOpenDefinitions(KVG_File *fl) {
    if (fl->shape.defining != 0 && KVG_endSetShape(fl) != 0) return -1;
    if (fl->edge.defining != 0 && KVG_endSetEdge(fl) == -1) return -1;
    if (fl->face.defining != 0 && KVG_endSetFace(fl) == -1) return -1;
    fl->primitive.defining = 0;
    return 0;
}

int writeClosingSizes(KVG_File *fl) {
    KVGF_State *global = fl->global;
    if (KVGF_SetColorSize(global, fl->layer.color_size) != 0) return -1;
    if (KVGF_SetPointSize(global, fl->layer.point_size) != 0) return -1;
    if (KVGF_SetRelPointSize(global, fl->layer.rel_point_size) != 0) return -1;
    if (KVGT_Flush(global) != 0) return -1;
    return KVGT_Flush(fl->layers);
}

// Appends the scratch file, read again from its start, to the output.
int appendLayerSection(KVG_File *fl) {
    if (XIO_reread(fl->layers_file) != 0) return KVG_FAIL(fl, ERR_IO);
    unsigned char block[kCopyBlock];
    while (XIO_eof(fl->layers_file) == 0) {
        const size_t n = XIO_read(fl->layers_file, block, sizeof block);
        if (XIO_write(fl->global->file, block, n) != n) return KVG_FAIL(fl, ERR_IO);
    }
    // A read that failed also ends the loop; closing the reader reports it.
    const int read_closed = XIO_close(fl->layers_file);
    fl->layers_file = nullptr;
    return read_closed == 0 ? 0 : KVG_FAIL(fl, ERR_IO);
}

// Gives the output up unfinished: a file written beside its target is removed, and the
// target keeps what it held.
void discardOutput(KVG_File *fl) {
    if (fl->global->file == nullptr) return;
    XIO_discard(fl->global->file);
    fl->global->file = nullptr;
}

}  // namespace

KVG_File *KVG_createWithError(const char *filename, const KVG_FileOptions *opt,
                              KVG_CreateError *error) {
    KVG_REQUIRE_NOT_NULL(filename);
    const KVG_FileOptions &options = opt != nullptr ? *opt : defaultFileOptions();
    if (const char *why = unusableOptions(options)) {
        report({KVG_ERR_PARAM, 0, why, false}, error);
        return nullptr;
    }
    XIO_File *file = XIO_openReplacing(filename, options.comp == 1 ? XIO_ZLIB : XIO_PLAIN,
                                       options.sync);
    if (file == nullptr) {
        report(systemFailure("Cannot create the file"), error);
        return nullptr;
    }
    CreateFailure failure;
    KVG_File *fl = createState(file, filename, &failure);
    if (fl != nullptr) {
        setWindows(fl, options);
        setInitialSizes(fl, options);
        if (writeHeader(fl, options) == 0) {
            report({KVG_ERR_NONE, 0, "", false}, error);
            return fl;
        }
        failure = systemFailure("Cannot write the file");
        destroyState(fl);
    }
    XIO_discard(file);
    report(failure, error);
    return nullptr;
}

KVG_File *KVG_create(const char *filename, const KVG_FileOptions *opt) {
    return KVG_createWithError(filename, opt, nullptr);
}

// A failure discards the output at once, since a second KVG_close cannot retry: nothing
// half-written stays, even if the handle is never given up.
int KVG_close(KVG_File *fl) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (fl->closing_failed) {
        destroyState(fl);
        return -1;
    }
    if (endOpenDefinitions(fl) != 0 || writeClosingSizes(fl) != 0 ||
        appendLayerSection(fl) != 0) {
        discardOutput(fl);
        fl->closing_failed = 1;
        return -1;
    }
    XIO_File *file = fl->global->file;
    fl->global->file = nullptr;
    if (XIO_close(file) != 0) {
        fl->closing_failed = 1;
        return KVG_FAIL(fl, ERR_IO);
    }
    destroyState(fl);
    return 0;
}

void KVG_abandon(KVG_File *fl) {
    if (fl == nullptr) return;
    discardOutput(fl);
    destroyState(fl);
}

int KVG_getErrorCode(KVG_File *fl) {
    KVG_REQUIRE_NOT_NULL(fl);
    return KVGE_getContextCode(fl->error);
}

const char *KVG_getErrorDescription(KVG_File *fl) {
    KVG_REQUIRE_NOT_NULL(fl);
    return KVGE_getContextDescription(fl->error);
}
