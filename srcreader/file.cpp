#include <sys/stat.h>
#include <zlib.h>

#include "decoder.h"

namespace kvgr::impl {

// zlib inflates a gzip stream and passes any other file through unchanged.
std::optional<LoadedFile> loadFile(const std::string &path, std::string &error) {
    struct stat info {};
    gzFile in = nullptr;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        (in = gzopen(path.c_str(), "rb")) == nullptr) {
        error = "cannot open " + path;
        return std::nullopt;
    }
    LoadedFile file;
    file.fileSize = static_cast<uint64_t>(info.st_size);
    unsigned char block[65536];
    int n;
    while ((n = gzread(in, block, sizeof block)) > 0) {
        file.bytes.insert(file.bytes.end(), block, block + n);
    }
    int code = Z_OK;
    const char *message = gzerror(in, &code);
    const bool corrupt = n < 0 || code != Z_OK;
    if (corrupt) error = path + ": corrupt compressed data (" + message + ")";
    file.compressed = gzdirect(in) == 0;
    gzclose(in);
    if (corrupt) return std::nullopt;
    return file;
}

std::optional<Error> validate(std::span<const uint8_t> bytes) {
    Decoder decoder(bytes);
    Record record;
    while (decoder.next(record)) {
    }
    return decoder.error();
}

}  // namespace kvgr::impl
