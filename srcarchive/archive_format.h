// The byte layouts of the archive shared by the writer and the reader: the fixed header,
// directories of varints, and gzip for directories, metadata and tiles.
#ifndef KVGARCHIVE_ARCHIVE_FORMAT_H
#define KVGARCHIVE_ARCHIVE_FORMAT_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kvgarchive.hpp"

namespace kvga::impl {

using Bytes = std::vector<uint8_t>;

constexpr size_t HEADER_BYTES = 127;
// Clients fetch this much first: the header and the whole root directory lie within it.
constexpr size_t ROOT_WINDOW_BYTES = 16384;

[[noreturn]] void fail(ErrorCode code, const std::string &message);

// ---- Header

Bytes encodeHeader(const Header &header);
// The header of the first HEADER_BYTES bytes; throws a format error for a wrong magic number
// or version. Offsets and lengths are not checked here.
Header decodeHeader(std::span<const uint8_t> bytes);

// ---- Directories

// A directory entry: a tile run (runLength > 0) or a leaf directory (runLength 0).
using Entry = TileEntry;

// The uncompressed bytes of a directory (entries in ascending tile id order).
Bytes encodeDirectory(std::span<const Entry> entries);
// The entries of an uncompressed directory. Throws a format error, naming `where`, for a
// truncated or overlong varint, a count of entries the bytes cannot hold, ids that do not
// ascend, a zero length, values beyond 64 bits, or bytes left over.
std::vector<Entry> decodeDirectory(std::span<const uint8_t> bytes, const std::string &where);

// ---- gzip

Bytes gzip(std::span<const uint8_t> plain);
// The content of one whole gzip stream with nothing after it, of at most `limit` bytes:
// a damaged stream is a compression error naming `what`, a larger content a limit error.
Bytes gunzip(std::span<const uint8_t> stream, uint64_t limit, const std::string &what);
bool isGzip(std::span<const uint8_t> bytes);

// ---- Metadata

// The metadata object as JSON text: `metadata`, with the zooms and, where unset, the bounds
// and centre taken from the header.
std::string metadataJson(const Metadata &metadata, const Header &header);
// Throws a format error unless `json` is a JSON object.
void checkMetadata(const std::string &json);

}  // namespace kvga::impl

#endif  // KVGARCHIVE_ARCHIVE_FORMAT_H
