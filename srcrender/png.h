// PNG images for the SVG painter: 8-bit RGBA, deflated row by row, and base64 for data URIs.
#ifndef KVGRENDER_PNG_H
#define KVGRENDER_PNG_H

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "painter.h"

namespace kvgrender {

// A PNG file of the source's pixels, top row first. The rows are converted one at a time.
std::string encodePng(const ImageSource &source);

// A PNG file of `width` x `height` pixels, `rgba` holding 4 bytes per pixel, top row first.
std::string encodePng(uint32_t width, uint32_t height, std::span<const uint8_t> rgba);

std::string base64(std::string_view bytes);

}  // namespace kvgrender

#endif  // KVGRENDER_PNG_H
