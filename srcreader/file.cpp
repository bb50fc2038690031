#include <algorithm>

#include "cursor.h"
#include "decoder.h"
#include "input.h"

namespace kvgr::impl {

namespace {

// Whether the bytes so far are the beginning of a KVG file's signature, or hold it whole.
bool beginsAsKvg(const Bytes &bytes) {
    const size_t n = std::min(bytes.size(), kvgfmt::SIGNATURE.size());
    return std::equal(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(n),
                      kvgfmt::SIGNATURE.begin());
}

}  // namespace

std::optional<LoadedFile> loadFile(const std::string &path, std::string &error,
                                   uint64_t contentLimit) {
    const bool standardInput = path == "-";
    try {
        Content content(standardInput ? fdSource(0, false) : fileSource(path.c_str()),
                        contentLimit);
        LoadedFile file;
        uint8_t block[65536];
        // What does not begin as a KVG file is read no further: its decoder says what it is.
        while (const size_t got = content.read(block)) {
            file.bytes.insert(file.bytes.end(), block, block + got);
            if (!beginsAsKvg(file.bytes)) break;
        }
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
