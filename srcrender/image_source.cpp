#include "image_source.h"

#include "style.h"

namespace kvgrender {

DefinedImage::DefinedImage(const kvgr::impl::Definitions &definitions, uint32_t id)
    : definitions_(definitions), id_(id), paletteSize_(kvgfmt::COLOR_RGB) {
    for (const kvgr::impl::Color &entry : image().palette) {
        palette_.push_back(entry.value);
        paletteSize_ = entry.size;
    }
}

void DefinedImage::row(uint32_t y, uint8_t *rgba) const {
    const kvgr::impl::ImageDefinition &def = image();
    const uint64_t first = uint64_t{def.height - 1 - y} * def.width;
    for (uint32_t x = 0; x < def.width; ++x, rgba += 4) {
        const Rgba c = resolveColor(def.pixel(first + x), def.colorSize, palette_, paletteSize_);
        rgba[0] = c.r;
        rgba[1] = c.g;
        rgba[2] = c.b;
        rgba[3] = c.a;
    }
}

}  // namespace kvgrender
