// The pixels of an image definition as RGBA rows, top row first.
#ifndef KVGRENDER_IMAGE_SOURCE_H
#define KVGRENDER_IMAGE_SOURCE_H

#include <vector>

#include "decoder.h"
#include "painter.h"

namespace kvgrender {

// Image `id` of `definitions`, which may grow while the source lives (it looks the image up
// by identifier each time). The file's rows run from the bottom up.
class DefinedImage final : public ImageSource {
public:
    DefinedImage(const kvgr::impl::Definitions &definitions, uint32_t id);
    uint32_t width() const override { return image().width; }
    uint32_t height() const override { return image().height; }
    void row(uint32_t y, uint8_t *rgba) const override;

private:
    const kvgr::impl::ImageDefinition &image() const { return definitions_.images[id_]; }

    const kvgr::impl::Definitions &definitions_;
    uint32_t id_;
    std::vector<uint32_t> palette_;
    uint8_t paletteSize_;
};

}  // namespace kvgrender

#endif  // KVGRENDER_IMAGE_SOURCE_H
