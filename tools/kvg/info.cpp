#include <cstdio>
#include <map>

#include "archive.h"
#include "command.h"

namespace kvgtool {

namespace {

struct Totals {
    std::map<std::string_view, uint64_t> perKind;  // by record name
    uint64_t records = 0;
    uint64_t points = 0;
};

std::string pair(const kvgr::Point &p) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%g x %g", p.x, p.y);
    return buffer;
}

std::string corner(const kvgr::Point &p) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "(%g, %g)", p.x, p.y);
    return buffer;
}

std::string ratio(uint64_t bytes, uint64_t points) {
    if (points == 0) return "-";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f", static_cast<double>(bytes) / points);
    return buffer;
}

void print(std::ostream &out, const std::string &path, const kvgr::Reader &reader,
           const Totals &totals) {
    const kvgr::Header &h = reader.header();
    const kvgr::Counts d = reader.counts();
    const uint64_t size = reader.contentBytes();
    const uint64_t onDisk = reader.inputBytes();
    const uint64_t layers = *reader.layerSectionOffset();
    char background[16];
    std::snprintf(background, sizeof background, "#%06X", h.background);
    out << "file            " << displayName(path) << "\n"
        << "size            " << onDisk << " bytes"
        << (reader.compressed() ? ", gzip-compressed from " + std::to_string(size) + " bytes"
                                : ", not compressed")
        << "\n"
        << "header          " << h.length << " bytes; point size " << int{h.point_size}
        << ", relative point size " << int{h.rel_point_size} << "\n"
        << "resolution      " << pair(h.resolution) << "\n"
        << "file window     " << corner(h.window_min) << " to " << corner(h.window_max) << "\n"
        << "size in mm      " << pair(h.size_mm) << "\n"
        << "background      " << background << "\n"
        << "definitions     " << layers - h.length << " bytes: " << d.shapes << " shapes, "
        << d.edges << " edges, " << d.faces << " faces, " << d.images << " images\n"
        << "layers          " << size - layers << " bytes\n"
        << "records         " << totals.records << "\n"
        << "points          " << totals.points << "; bytes per point "
        << ratio(size, totals.points);
    if (reader.compressed()) out << " (" << ratio(onDisk, totals.points) << " compressed)";
    out << "\nrecords by kind\n";
    for (const auto &[name, count] : totals.perKind) {
        std::string label(name);
        label.resize(std::max<size_t>(label.size() + 1, 24), ' ');
        out << "  " << label << count << "\n";
    }
}

int info(Args args, std::ostream &out, std::ostream &err) {
    const std::optional<Options> options =
        parseOptions(INFO_COMMAND, args, withLimitOptions({}), 1, err);
    if (!options) return EXIT_USAGE;
    const std::optional<kvgr::impl::Limits> limits = limitsOf(INFO_COMMAND, *options, err);
    if (!limits) return EXIT_USAGE;
    const std::string &path = options->positional[0];
    if (isArchive(path)) return describeArchive(INFO_COMMAND, path, out, err);
    return readRecords(INFO_COMMAND, path, err, *limits, [&](kvgr::Reader &reader) {
        Totals totals;
        while (const kvgr::Record *record = reader.next()) {
            ++totals.records;
            ++totals.perKind[kvgr::recordName(record->code)];
            totals.points += record->points;
        }
        print(out, path, reader, totals);
    });
}

}  // namespace

const Command INFO_COMMAND = {
    "info", "FILE [LIMITS]",
    "describe a KVG file (header, sections, records, points) or an archive",
    "Prints the header fields, the size of the file and whether it is compressed, the bytes of\n"
    "the definitions section (definitions and the closing size records) and of the layer\n"
    "section, the number of records of each kind, the points (absolute and relative) and the\n"
    "bytes per point, counted on the decompressed content and, for a compressed file, on disk.\n"
    "The file must be valid ('kvg check'); otherwise the first fault is reported (exit 1).\n"
    "FILE '-' is standard input.\n"
    "For a tile archive (PMTiles) it prints the header, the sections, the layers of the\n"
    "metadata and, per zoom, the tiles, their distinct contents and the median, 99th\n"
    "percentile and largest stored bytes of those contents.\n",
    info, true};

}  // namespace kvgtool
