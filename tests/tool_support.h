// Helpers of the tests of the kvg command and the importer: running kvg in the process, files
// as text, decoding a KVG file whole, a scratch current directory, and PNG pictures from the
// SVG renderer.
#ifndef KVG_TOOL_SUPPORT_H
#define KVG_TOOL_SUPPORT_H

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "kvgreader.h"
#include "svg_paint.h"

namespace kvgtest {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

// Runs kvg with these arguments (after the program's name).
ToolRun kvg(const std::vector<std::string> &args);

inline bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

std::string readText(const std::string &path);
void writeText(const std::string &path, const std::string &text);

struct Decoded {
    kvgr::Header header;
    std::vector<kvgr::Record> records;
    kvgr::Definitions definitions;
    std::optional<kvgr::Error> error;

    int count(uint8_t code) const {
        return static_cast<int>(std::ranges::count(records, code, &kvgr::Record::code));
    }
};

// Every record of a KVG file, plain or gzip; throws when it cannot be loaded.
Decoded decodeFile(const std::string &path);

// A scratch directory made the current one for the object's life.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory &) = delete;
    ScratchDirectory &operator=(const ScratchDirectory &) = delete;

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

using kvgtool::svg::Rgba;

// An 8-bit RGB or RGBA PNG, not interlaced, decoded to RGBA.
struct Image {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
    Rgba at(uint32_t x, uint32_t y) const {
        const uint8_t *p = &rgba[(size_t{y} * width + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
};

Image decodePng(const std::string &png);

bool haveRenderer();
// The SVG file as pixels, through rsvg-convert at its natural size (96 pixels an inch).
Image rasterize(const std::string &svgPath);

// Whether the pixel is within 3 of the colour 0xRRGGBB on every channel.
bool near(Rgba a, uint32_t rgb);
std::string describe(Rgba c);

// rsvg-convert rounds a page size up to whole pixels.
int pixelsPerMillimetre(double mm);

}  // namespace kvgtest

#endif  // KVG_TOOL_SUPPORT_H
