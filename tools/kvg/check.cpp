#include "archive.h"
#include "command.h"

namespace kvgtool {

namespace {

int check(Args args, std::ostream &out, std::ostream &err) {
    const std::optional<Options> options =
        parseOptions(CHECK_COMMAND, args, withLimitOptions({}), 1, err);
    if (!options) return EXIT_USAGE;
    const std::optional<kvgr::impl::Limits> limits = limitsOf(CHECK_COMMAND, *options, err);
    if (!limits) return EXIT_USAGE;
    const std::string &path = options->positional[0];
    if (isArchive(path)) return checkArchive(CHECK_COMMAND, path, out, err);
    return readRecords(CHECK_COMMAND, path, err, *limits, [&](kvgr::Reader &reader) {
        uint64_t records = 0;
        while (reader.next() != nullptr) ++records;
        out << displayName(path) << ": valid, " << records << " records\n";
    });
}

}  // namespace

const Command CHECK_COMMAND = {
    "check", "FILE [LIMITS]", "validate a KVG file or a tile archive strictly",
    "Decodes every record and checks it: known record codes, complete records, zero padding\n"
    "bits, valid sizes, colours and enumerated values, uses of edges, faces, shapes and images\n"
    "that are defined, balanced shape definitions, records in their section, and a gzip\n"
    "stream that is whole and has nothing after it. FILE '-' is standard input.\n"
    "Exit status: 0 valid, 1 invalid or unreadable (\"offset N: reason\" on standard error),\n"
    "2 wrong usage.\n"
    "A tile archive (PMTiles) is checked whole: header, sections, every directory (ids in\n"
    "order, runs that do not overlap, leaf directories named once and within the depth\n"
    "limit), the header's counts, and every distinct tile content as a KVG file.\n",
    check, true};

}  // namespace kvgtool
