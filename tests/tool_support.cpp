#include "tool_support.h"

#include <stdlib.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "command.h"

namespace kvgtest {

namespace fs = std::filesystem;

ToolRun kvg(const std::vector<std::string> &args) {
    std::ostringstream out, err;
    const int status = kvgtool::run(args, out, err);
    return {status, out.str(), err.str()};
}

std::string readText(const std::string &path) {
    const Bytes bytes = readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

void writeText(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

int Decoded::count(uint8_t code) const {
    return static_cast<int>(std::ranges::count(records, code, &kvgr::impl::Record::code));
}

Decoded decodeFile(const std::string &path) {
    std::string problem;
    const std::optional<kvgr::impl::LoadedFile> file = kvgr::impl::loadFile(path, problem);
    if (!file) throw std::runtime_error(problem);
    kvgr::impl::Decoder decoder(file->bytes);
    Decoded d;
    kvgr::impl::Record record;
    while (decoder.next(record)) d.records.push_back(record);
    d.header = decoder.header();
    d.definitions = decoder.definitions();
    d.error = decoder.error();
    return d;
}

ScratchDirectory::ScratchDirectory() : previous_(fs::current_path()) {
    std::string name = (fs::temp_directory_path() / "kvgtools-XXXXXX").string();
    path_ = mkdtemp(name.data());
    fs::current_path(path_);
}

// The valid KVG files the test left, for the tests that run over every drawing of the suite.
void ScratchDirectory::keepDrawings() const noexcept {
    std::error_code error;
    for (auto entry = fs::recursive_directory_iterator(path_, error);
         !error && entry != fs::recursive_directory_iterator(); entry.increment(error))
        if (entry->is_regular_file(error) && entry->path().extension() == ".kvg")
            keepIfValid(entry->path());
}

ScratchDirectory::~ScratchDirectory() {
    keepDrawings();
    fs::current_path(previous_);
    fs::remove_all(path_);
}

namespace {

uint32_t bigEndian(const std::string &s, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
    return v;
}

int paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

}  // namespace

Image decodePng(const std::string &png) {
    if (png.compare(0, 8, "\x89PNG\r\n\x1A\n") != 0) throw std::runtime_error("not a PNG");
    Image image;
    std::string deflated;
    int channels = 0;
    for (size_t at = 8; at + 8 <= png.size();) {
        const uint32_t length = bigEndian(png, at);
        const std::string type = png.substr(at + 4, 4), data = png.substr(at + 8, length);
        at += 12 + length;
        if (type == "IHDR") {
            image.width = bigEndian(data, 0);
            image.height = bigEndian(data, 4);
            if (data[8] != 8 || data[12] != 0) throw std::runtime_error("unsupported PNG");
            channels = data[9] == 6 ? 4 : data[9] == 2 ? 3 : 0;
        } else if (type == "IDAT") {
            deflated += data;
        }
    }
    if (channels == 0) throw std::runtime_error("unsupported PNG colour type");
    const size_t stride = size_t{image.width} * channels;
    std::vector<uint8_t> raw((stride + 1) * image.height);
    uLongf size = raw.size();
    if (uncompress(raw.data(), &size, reinterpret_cast<const Bytef *>(deflated.data()),
                   deflated.size()) != Z_OK ||
        size != raw.size())
        throw std::runtime_error("corrupt PNG data");
    std::vector<uint8_t> pixels(stride * image.height);
    for (size_t y = 0; y < image.height; ++y) {
        const uint8_t filter = raw[y * (stride + 1)];
        for (size_t x = 0; x < stride; ++x) {
            const int a = x >= size_t(channels) ? pixels[y * stride + x - channels] : 0;
            const int b = y > 0 ? pixels[(y - 1) * stride + x] : 0;
            const int c =
                x >= size_t(channels) && y > 0 ? pixels[(y - 1) * stride + x - channels] : 0;
            const int predictions[] = {0, a, b, (a + b) / 2, paeth(a, b, c)};
            pixels[y * stride + x] =
                static_cast<uint8_t>(raw[y * (stride + 1) + 1 + x] + predictions[filter]);
        }
    }
    for (size_t i = 0; i < pixels.size(); i += channels) {
        image.rgba.insert(image.rgba.end(), pixels.begin() + i, pixels.begin() + i + 3);
        image.rgba.push_back(channels == 4 ? pixels[i + 3] : 255);
    }
    return image;
}

bool haveRsvg() { return std::system("command -v rsvg-convert >/dev/null 2>&1") == 0; }

Image rasterize(const std::string &svgPath, double dpi) {
    TempPath png(".png");
    const std::string resolution = std::to_string(dpi);
    const std::string command = "rsvg-convert --dpi-x " + resolution + " --dpi-y " + resolution +
                                " -o '" + png.str() + "' '" + svgPath + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("rsvg-convert failed");
    return decodePng(readText(png.str()));
}

bool near(Rgba a, uint32_t rgb) {
    const auto close = [](int u, int v) { return std::abs(u - v) <= 3; };
    return close(a.r, rgb >> 16 & 0xFF) && close(a.g, rgb >> 8 & 0xFF) && close(a.b, rgb & 0xFF);
}

std::string describe(Rgba c) {
    char text[16];
    std::snprintf(text, sizeof text, "#%02x%02x%02x/%02x", c.r, c.g, c.b, c.a);
    return text;
}

int pixelsFor(double mm) { return static_cast<int>(std::ceil(mm * 96 / 25.4)); }

}  // namespace kvgtest
