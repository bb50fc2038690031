#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "command.h"
#include "demo.h"
#include "kvgwriter.hpp"
#include "output.h"
#include "svg_painter.h"

namespace kvgtool {

namespace {

constexpr OptionRule DEMO_OPTIONS[] = {{"-o", true}};

// The demo file as the reader finds it.
struct Counts {
    uint64_t records = 0;
    uint64_t points = 0;
    uint64_t fileBytes = 0;
    uint64_t contentBytes = 0;
    bool compressed = false;
};

std::optional<Counts> count(const std::string &path, std::ostream &err) {
    Counts counts;
    const int status = readRecords(DEMO_COMMAND, path, err, {}, [&](kvgr::Reader &reader) {
        while (const kvgr::Record *record = reader.next()) {
            ++counts.records;
            counts.points += record->points;
        }
        counts.fileBytes = reader.inputBytes();
        counts.contentBytes = reader.contentBytes();
        counts.compressed = reader.compressed();
    });
    if (status != EXIT_OK) return std::nullopt;
    return counts;
}

std::string perPoint(uint64_t bytes, uint64_t points) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", points == 0 ? 0.0 : double(bytes) / double(points));
    return text;
}

void summarize(std::ostream &out, const std::string &path, const Counts &counts,
               const std::string &svgPath) {
    out << "Wrote " << path << ": " << counts.fileBytes << " bytes ("
        << (counts.compressed ? "gzip-compressed from " : "not compressed, ")
        << counts.contentBytes << " bytes), " << counts.records << " records carrying "
        << counts.points << " points, " << perPoint(counts.fileBytes, counts.points)
        << " bytes per point";
    if (counts.compressed)
        out << " (" << perPoint(counts.contentBytes, counts.points) << " uncompressed)";
    out << ".";
    if (!svgPath.empty())
        out << " Rendered it to " << svgPath << " (" << std::filesystem::file_size(svgPath)
            << " bytes) for a browser.";
    out << " 'kvg info " << path << "' and 'kvg dump " << path << "' show what is inside.\n";
}

// The demo file on standard output: the writer writes files by name, so it is written to a
// temporary file first.
int writeToStandardOutput(std::ostream &out, std::ostream &err) {
    std::string reason;
    try {
        if (writeThroughTemporaryFile(writeDemo, out, reason)) return EXIT_OK;
        err << "kvg demo: cannot make a temporary file: " << reason << "\n";
    } catch (const kvg::Error &e) {
        err << "kvg demo: cannot write a temporary file: " << e.what() << "\n";
    }
    return EXIT_FAILED;
}

bool writeSvg(const std::string &kvgPath, const std::string &path, std::ostream &out,
              std::ostream &err) {
    const std::optional<kvgr::impl::LoadedFile> file = loadKvg(DEMO_COMMAND, kvgPath, err);
    if (!file) return false;
    const std::unique_ptr<OutputFile> output = OutputFile::open(DEMO_COMMAND, path, out, err);
    if (!output) return false;
    if (const std::optional<kvgrender::Error> error =
            kvgrender::renderSvg(file->bytes, output->stream())) {
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
    if (path == "-") return writeToStandardOutput(out, err);
    try {
        writeDemo(path);
    } catch (const kvg::Error &e) {
        err << "kvg demo: cannot write " << path << ": " << e.what() << "\n";
        return EXIT_FAILED;
    }
    const std::optional<Counts> counts = count(path, err);
    if (!counts) return EXIT_FAILED;
    const std::string svgPath = withSvg ? "demo.svg" : "";
    if (withSvg && !writeSvg(path, svgPath, out, err)) return EXIT_FAILED;
    summarize(out, path, *counts, svgPath);
    return EXIT_OK;
}

}  // namespace

const Command DEMO_COMMAND = {
    "demo", "[-o FILE]", "write the demonstration drawing",
    "Writes a small map that uses every family of the writer interface: shared edges and faces\n"
    "with a hole, styled lines and fills, texts, marks, a shape stamped many times, images and\n"
    "a hidden layer. Without -o it writes demo.kvg and its rendering demo.svg in the current\n"
    "directory; with -o only the KVG file FILE ('-': standard output). Prints the size, the\n"
    "records, the points and the bytes per point.\n",
    demoCommand};

}  // namespace kvgtool
