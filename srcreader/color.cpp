// Colour values of every colour size as 8-bit RGBA.
#include "kvgreader.h"

namespace {

// A level of `max` + 1 steps as 8 bits, rounded.
uint32_t level(uint32_t value, uint32_t max) {
    return static_cast<uint32_t>((uint64_t{value} * 255 + max / 2) / max);
}

uint32_t gray(uint32_t g, uint32_t alpha = 255) { return g << 24 | g << 16 | g << 8 | alpha; }

uint32_t directToRGBA(uint32_t v, uint8_t size) {
    switch (size) {
        case KVGR_COLOR_GRAY8: return gray(v & 0xFF);
        case KVGR_COLOR_GRAY12: return gray(level(v & 0xFFF, 0xFFF));
        case KVGR_COLOR_GRAY16: return gray(level(v & 0xFFFF, 0xFFFF));
        case KVGR_COLOR_GA: return gray(level(v >> 16, 0xFFFF), level(v & 0xFFFF, 0xFFFF));
        case KVGR_COLOR_RGB: return (v & 0xFFFFFF) << 8 | 0xFF;
        case KVGR_COLOR_RGBA: return v;
        default: return 0;  // not a direct colour size
    }
}

}  // namespace

uint32_t KVGR_colorToRGBA(KVGR_Color color, const KVGR_Palette *palette) {
    if (color.size != KVGR_COLOR_INDEX1 && color.size != KVGR_COLOR_INDEX8) {
        return directToRGBA(color.value, color.size);
    }
    if (palette == nullptr || color.value >= palette->length || color.value >= 256) return 0;
    return directToRGBA(palette->colors[color.value], palette->color_size);
}
