#include "command.h"

namespace kvgtool {

namespace {

int check(Args args, std::ostream &out, std::ostream &err) {
    const std::optional<Options> options = parseOptions(CHECK_COMMAND, args, {}, 1, err);
    if (!options) return EXIT_USAGE;
    const std::string &path = options->positional[0];
    const std::optional<kvgr::LoadedFile> file = loadKvg(CHECK_COMMAND, path, err);
    if (!file) return EXIT_FAILED;
    kvgr::Decoder decoder(file->bytes);
    kvgr::Record record;
    uint64_t records = 0;
    while (decoder.next(record)) ++records;
    if (decoder.error()) {
        err << "kvg check: " << path << ": " << decoder.error()->message() << "\n";
        return EXIT_FAILED;
    }
    out << path << ": valid, " << records << " records\n";
    return EXIT_OK;
}

}  // namespace

const Command CHECK_COMMAND = {
    "check", "FILE", "validate a KVG file strictly",
    "Decodes every record and checks it: known record codes, complete records, zero padding\n"
    "bits, valid sizes, colours and enumerated values, uses of edges, faces, shapes and images\n"
    "that are defined, balanced shape definitions, records in their section.\n"
    "Exit status: 0 valid, 1 invalid or unreadable (\"offset N: reason\" on standard error),\n"
    "2 wrong usage.\n",
    check};

}  // namespace kvgtool
