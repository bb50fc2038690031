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
    return readRecords(CHECK_COMMAND, path, err, *limits, [&](kvgr::Reader &reader) {
        uint64_t records = 0;
        while (reader.next() != nullptr) ++records;
        out << displayName(path) << ": valid, " << records << " records\n";
    });
}

}  // namespace

const Command CHECK_COMMAND = {
    "check", "FILE [LIMITS]",
    "validate a KVG file strictly",
    "Decodes every record and checks it: known record codes, complete records, zero padding\n"
    "bits, valid sizes, colours and enumerated values, uses of edges, faces, shapes and images\n"
    "that are defined, balanced shape definitions, records in their section, and a gzip\n"
    "stream that is whole and has nothing after it. FILE '-' is standard input.\n"
    "Exit status: 0 valid, 1 invalid or unreadable (\"offset N: reason\" on standard error),\n"
    "2 wrong usage.\n",
    check, true};

}  // namespace kvgtool
