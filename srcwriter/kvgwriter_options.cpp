// File options: the record KVG_create reads, its defaults and setters, and the rules that
// refuse options which would map every position to NaN or infinity or give a page of negative
// size.
#include <cmath>
#include <cstdlib>
#include <initializer_list>

#include "kvgwriter_internal.h"

namespace {

constexpr KVG_FileOptions defopt = {
    -100.0, 100.0, -100.0, 100.0,  // world window
    100.0, 100.0,                  // millimetres
    4096, 4096,                    // grid
    0,                             // grid mode
    0xFFFFFF,                      // white background
    1,                             // compressed
    1,                             // put on the disk before it takes its name
};

bool allFinite(std::initializer_list<double> values) {
    for (double v : values) {
        if (!std::isfinite(v)) return false;
    }
    return true;
}

}  // namespace

const KVG_FileOptions &defaultFileOptions() { return defopt; }

const char *unusableOptions(const KVG_FileOptions &opt) {
    if (!allFinite({opt.wxmin, opt.wxmax, opt.wymin, opt.wymax, opt.wxmax - opt.wxmin,
                    opt.wymax - opt.wymin})) {
        return "Invalid file options: the world window is not finite";
    }
    if (opt.wxmax == opt.wxmin || opt.wymax == opt.wymin) {
        return "Invalid file options: the world window has no width or no height";
    }
    if (opt.width_res <= 0 || opt.height_res <= 0) {
        return "Invalid file options: the grid resolution is not positive";
    }
    if (!allFinite({opt.width_mm, opt.height_mm})) {
        return "Invalid file options: the size in millimetres is not finite";
    }
    // No reader can lay out a page of negative size.
    if (opt.width_mm < 0 || opt.height_mm < 0) {
        return "Invalid file options: the size in millimetres is negative";
    }
    return nullptr;
}

KVG_FileOptions *KVG_newFileOptions(void) {
    auto *opt = static_cast<KVG_FileOptions *>(std::malloc(sizeof(KVG_FileOptions)));
    if (opt != nullptr) *opt = defopt;
    return opt;
}

void KVG_deleteFileOptions(KVG_FileOptions *opt) { std::free(opt); }

void KVG_setWorldFileOption(KVG_FileOptions *opt, double xmin, double xmax, double ymin,
                            double ymax) {
    KVG_REQUIRE_NOT_NULL(opt);
    opt->wxmin = xmin;
    opt->wxmax = xmax;
    opt->wymin = ymin;
    opt->wymax = ymax;
}

void KVG_setDimensionsFileOption(KVG_FileOptions *opt, double w, double h) {
    KVG_REQUIRE_NOT_NULL(opt);
    opt->width_mm = w;
    opt->height_mm = h;
}

void KVG_setResolutionFileOption(KVG_FileOptions *opt, int32_t w, int32_t h) {
    KVG_REQUIRE_NOT_NULL(opt);
    opt->width_res = w;
    opt->height_res = h;
}

void KVG_setQuantizationFileOption(KVG_FileOptions *opt, int enabled) {
    KVG_REQUIRE_NOT_NULL(opt);
    opt->raw = enabled == 0 ? 1 : 0;
}

void KVG_setBackgroundFileOption(KVG_FileOptions *opt, KVG_Color color) {
    KVG_REQUIRE_NOT_NULL(opt);
    opt->bgcolor = color & 0xFFFFFF;
}

void KVG_setCompressionFileOption(KVG_FileOptions *opt, int comp) {
    KVG_REQUIRE_NOT_NULL(opt);
    opt->comp = comp != 0 ? 1 : 0;
}

void KVG_setSyncFileOption(KVG_FileOptions *opt, int enabled) {
    KVG_REQUIRE_NOT_NULL(opt);
    opt->sync = enabled != 0 ? 1 : 0;
}
