#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

#include "command.h"
#include "kvgwriter.hpp"
#include "output.h"
#include "topojson.h"

namespace kvgtool {

namespace {

constexpr OptionRule IMPORT_OPTIONS[] = {{"-o", true}};

// A progress line on `err`, shown only when it is the terminal's standard error and only once
// the work has taken a second; redrawn at most five times a second.
class ProgressLine {
public:
    explicit ProgressLine(std::ostream &err)
        : err_(err), enabled_(err.rdbuf() == std::cerr.rdbuf() && isatty(STDERR_FILENO) != 0) {}
    ~ProgressLine() {
        if (shown_) err_ << "\r\033[K" << std::flush;
    }
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    ImportProgress callback() {
        if (!enabled_) return {};
        return [this](const char *phase, size_t done, size_t total) { update(phase, done, total); };
    }

private:
    using Clock = std::chrono::steady_clock;

    void update(const char *phase, size_t done, size_t total) {
        const Clock::time_point now = Clock::now();
        if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(200))
            return;
        last_ = now;
        shown_ = true;
        err_ << "\rkvg import: " << phase << " " << done << "/" << total << "\033[K" << std::flush;
    }

    std::ostream &err_;
    bool enabled_;
    bool shown_ = false;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_{};
};

std::optional<std::string> readInput(const std::string &path, std::ostream &err) {
    std::ifstream in(path, std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in && !in.bad()) return text;
    err << "kvg import: cannot read " << path << "\n";
    return std::nullopt;
}

int importCommand(Args args, std::ostream &out, std::ostream &err) {
    const std::optional<Options> options =
        parseOptions(IMPORT_COMMAND, args, IMPORT_OPTIONS, 2, err);
    if (!options) return EXIT_USAGE;
    if (options->positional[0] != "topojson") {
        err << "kvg import: unknown format '" << options->positional[0]
            << "' (known: topojson)\nusage: kvg import " << IMPORT_COMMAND.synopsis << "\n";
        return EXIT_USAGE;
    }
    const std::string &input = options->positional[1];
    const auto named = options->values.find("-o");
    const std::string output =
        named != options->values.end() ? named->second : replaceExtension(input, ".kvg");
    const std::optional<std::string> json = readInput(input, err);
    if (!json) return EXIT_FAILED;
    ImportSummary summary;
    try {
        ProgressLine progress(err);
        summary = importTopoJson(*json, output, progress.callback());
    } catch (const TopoJsonError &e) {
        err << "kvg import: " << input << ": " << e.what() << "\n";
        return EXIT_FAILED;
    } catch (const kvg::Error &e) {
        std::remove(output.c_str());  // what was written of it
        err << "kvg import: cannot write " << output << ": " << e.what() << "\n";
        return EXIT_FAILED;
    }
    out << "Wrote " << output << ": " << summary.arcs << " arcs as edges (" << summary.collapsed
        << " collapsed to a point), " << summary.rings << " rings as faces, " << summary.points
        << " points as marks, " << summary.layers << " layers.\n";
    return EXIT_OK;
}

}  // namespace

const Command IMPORT_COMMAND = {
    "import", "topojson IN.json [-o OUT.kvg]", "convert a TopoJSON topology to KVG",
    "Writes the topology as a planar map to OUT.kvg (default: IN with the extension .kvg):\n"
    "every arc one edge (arc i is edge i + 1, also an arc that collapses to a point), every\n"
    "polygon ring one face (holes as hole faces), one layer per object in the order of the\n"
    "file. A quantized topology keeps its precision: one quantization step is one grid unit,\n"
    "over the bounding box. One without a transform is written unquantized. The first layer\n"
    "fills its polygons, a colour per geometry; every layer draws its arcs; points are marks.\n"
    "Exit status: 0 written, 1 invalid input or a write failure, 2 wrong usage.\n",
    importCommand};

}  // namespace kvgtool
