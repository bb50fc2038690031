// Helpers of the tests of the kvg command and the renderers: running the command in-process,
// decoding files, scratch directories, and pictures (PNG decoding, rsvg-convert).
#ifndef KVG_TOOL_SUPPORT_H
#define KVG_TOOL_SUPPORT_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decoder.h"
#include "painter.h"
#include "test_support.h"

namespace kvgtest {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

// Runs `kvg ARGS` in this process.
ToolRun kvg(const std::vector<std::string> &args);

std::string readText(const std::string &path);
void writeText(const std::string &path, const std::string &text);
bool contains(const std::string &text, const std::string &part);

struct Decoded {
    kvgr::impl::Header header;
    std::vector<kvgr::impl::Record> records;
    kvgr::impl::Definitions definitions;
    std::optional<kvgr::impl::Error> error;
    int count(uint8_t code) const;
};
Decoded decodeFile(const std::string &path);

// A scratch directory made the current one for the test's life. The valid KVG files left in
// it are kept as expectValidKvg keeps them.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory &) = delete;
    ScratchDirectory &operator=(const ScratchDirectory &) = delete;

private:
    void keepDrawings() const noexcept;

    std::string previous_;
    std::string path_;
};

using kvgrender::Rgba;

// Pixels as 8-bit RGBA, top row first.
struct Image {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
    Rgba at(uint32_t x, uint32_t y) const {
        const uint8_t *p = &rgba[(size_t{y} * width + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
};
// An 8-bit RGB or RGBA PNG, not interlaced.
Image decodePng(const std::string &png);

bool haveRsvg();
// The SVG file as pixels through rsvg-convert, at `dpi` pixels an inch.
Image rasterize(const std::string &svgPath, double dpi = 96);

// Whether `a` is within 3 levels of `rgb` (0xRRGGBB) in every channel.
bool near(Rgba a, uint32_t rgb);
// "#rrggbb/aa".
std::string describe(Rgba c);
// rsvg-convert rounds a page size up to whole pixels.
int pixelsFor(double mm);

}  // namespace kvgtest

#endif  // KVG_TOOL_SUPPORT_H
