#include <cstdio>
#include <filesystem>

#include "command.h"
#include "demo.h"
#include "kvgwriter.hpp"
#include "output.h"
#include "svg_painter.h"

namespace kvgtool {

namespace {

constexpr OptionRule DEMO_OPTIONS[] = {{"-o", true}};

struct Counts {
    uint64_t records = 0;
    uint64_t points = 0;
};

std::optional<Counts> count(const kvgr::impl::LoadedFile &file, std::ostream &err) {
    kvgr::impl::Decoder decoder(file.bytes);
    kvgr::impl::Record record;
    Counts counts;
    while (decoder.next(record)) {
        ++counts.records;
        counts.points += kvgr::impl::pointCount(record);
    }
    if (!decoder.error()) return counts;
    err << "kvg demo: the demo file is invalid: " << decoder.error()->message() << "\n";
    return std::nullopt;
}

std::string perPoint(uint64_t bytes, uint64_t points) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", points == 0 ? 0.0 : double(bytes) / double(points));
    return text;
}

void summarize(std::ostream &out, const std::string &path, const kvgr::impl::LoadedFile &file,
               const Counts &counts, const std::string &svgPath) {
    out << "Wrote " << path << ": " << file.fileSize << " bytes ("
        << (file.compressed ? "gzip-compressed from " : "not compressed, ") << file.bytes.size()
        << " bytes), " << counts.records << " records carrying " << counts.points << " points, "
        << perPoint(file.fileSize, counts.points) << " bytes per point";
    if (file.compressed)
        out << " (" << perPoint(file.bytes.size(), counts.points) << " uncompressed)";
    out << ".";
    if (!svgPath.empty())
        out << " Rendered it to " << svgPath << " (" << std::filesystem::file_size(svgPath)
            << " bytes) for a browser.";
    out << " 'kvg info " << path << "' and 'kvg dump " << path << "' show what is inside.\n";
}

bool writeSvg(const kvgr::impl::LoadedFile &file, const std::string &path, std::ostream &out,
              std::ostream &err) {
    const std::unique_ptr<OutputFile> output = OutputFile::open(DEMO_COMMAND, path, out, err);
    if (!output) return false;
    if (const std::optional<kvgrender::Error> error =
            kvgrender::renderSvg(file.bytes, output->stream())) {
        err << "kvg demo: " << error->message() << "\n";
        return false;
    }
    return output->commit(err);
}

int demoCommand(Args args, std::ostream &out, std::ostream &err) {
    const std::optional<Options> options = parseOptions(DEMO_COMMAND, args, DEMO_OPTIONS, 0, err);
    if (!options) return EXIT_USAGE;
    const auto named = options->values.find("-o");
    const bool withSvg = named == options->values.end();
    const std::string path = withSvg ? "demo.kvg" : named->second;
    try {
        writeDemo(path);
    } catch (const kvg::Error &e) {
        err << "kvg demo: cannot write " << path << ": " << e.what() << "\n";
        return EXIT_FAILED;
    }
    const std::optional<kvgr::impl::LoadedFile> file = loadKvg(DEMO_COMMAND, path, err);
    if (!file) return EXIT_FAILED;
    const std::optional<Counts> counts = count(*file, err);
    if (!counts) return EXIT_FAILED;
    const std::string svgPath = withSvg ? "demo.svg" : "";
    if (withSvg && !writeSvg(*file, svgPath, out, err)) return EXIT_FAILED;
    summarize(out, path, *file, *counts, svgPath);
    return EXIT_OK;
}

}  // namespace

const Command DEMO_COMMAND = {
    "demo", "[-o FILE]", "write the demonstration drawing",
    "Writes a small map that uses every family of the writer interface: shared edges and faces\n"
    "with a hole, styled lines and fills, texts, marks, a shape stamped many times, images and\n"
    "a hidden layer. Without -o it writes demo.kvg and its rendering demo.svg in the current\n"
    "directory; with -o only the KVG file FILE. Prints the size, the records, the points and\n"
    "the bytes per point.\n",
    demoCommand};

}  // namespace kvgtool
