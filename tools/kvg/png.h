// PNG images for the SVG renderer: 8-bit RGBA, compressed with zlib, and base64 for data URIs.
#ifndef KVGTOOL_PNG_H
#define KVGTOOL_PNG_H

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kvgtool {

// A PNG file of `width` x `height` pixels, `rgba` holding 4 bytes per pixel, top row first.
std::string encodePng(uint32_t width, uint32_t height, std::span<const uint8_t> rgba);

std::string base64(std::string_view bytes);

}  // namespace kvgtool

#endif  // KVGTOOL_PNG_H
