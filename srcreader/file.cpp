#include "cursor.h"
#include "decoder.h"
#include "input.h"

namespace kvgr::impl {

std::optional<LoadedFile> loadFile(const std::string &path, std::string &error,
                                   uint64_t contentLimit) {
    const bool standardInput = path == "-";
    try {
        Content content(standardInput ? fdSource(0, false) : fileSource(path.c_str()),
                        contentLimit);
        LoadedFile file;
        uint8_t block[65536];
        while (const size_t got = content.read(block)) file.bytes.insert(file.bytes.end(), block, block + got);
        file.compressed = content.compressed();
        file.fileSize = content.inputBytes();
        return file;
    } catch (const Fault &fault) {
        error = (standardInput ? "standard input" : path) + ": " + fault.reason;
        return std::nullopt;
    }
}

std::optional<Error> validate(std::span<const uint8_t> bytes) {
    Decoder decoder(bytes);
    Record record;
    while (decoder.next(record)) {
    }
    return decoder.error();
}

}  // namespace kvgr::impl
