// Directories: the number of entries, then the column of tile id deltas, of run lengths, of
// lengths and of offsets, each value a little-endian base-128 varint. An offset is stored plus
// one, or as 0 when the entry's bytes follow the previous entry's.
#include <string>

#include "archive_format.h"

namespace kvga::impl {

namespace {

// The smallest encoding of an entry takes one byte per column.
constexpr uint64_t MIN_ENTRY_BYTES = 4;

void putVarint(Bytes &out, uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<uint8_t>(value | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<uint8_t>(value));
}

// Reads the varints of one directory, failing with the directory's name and the byte offset.
class VarintReader {
public:
    VarintReader(std::span<const uint8_t> bytes, const std::string &where)
        : bytes_(bytes), where_(where) {}

    uint64_t next() {
        uint64_t value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (at_ >= bytes_.size()) problem("ends inside a number");
            const uint8_t byte = bytes_[at_++];
            if (shift == 63 && byte > 1) problem("holds a number beyond 64 bits");
            value |= uint64_t{byte & 0x7Fu} << shift;
            if ((byte & 0x80) == 0) return value;
        }
        problem("holds a number beyond 64 bits");
    }
    size_t remaining() const { return bytes_.size() - at_; }
    [[noreturn]] void problem(const std::string &what) const {
        fail(ErrorCode::Format, where_ + " (byte " + std::to_string(at_) + " inflated) " + what);
    }

private:
    std::span<const uint8_t> bytes_;
    const std::string &where_;
    size_t at_ = 0;
};

}  // namespace

Bytes encodeDirectory(std::span<const Entry> entries) {
    Bytes out;
    putVarint(out, entries.size());
    uint64_t lastId = 0;
    for (const Entry &e : entries) {
        putVarint(out, e.tileId - lastId);
        lastId = e.tileId;
    }
    for (const Entry &e : entries) putVarint(out, e.runLength);
    for (const Entry &e : entries) putVarint(out, e.length);
    uint64_t nextByte = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry &e = entries[i];
        putVarint(out, i > 0 && e.offset == nextByte ? 0 : e.offset + 1);
        nextByte = e.offset + e.length;
    }
    return out;
}

std::vector<Entry> decodeDirectory(std::span<const uint8_t> bytes, const std::string &where) {
    VarintReader in(bytes, where);
    const uint64_t count = in.next();
    if (count == 0) in.problem("has no entries");
    if (count > in.remaining() / MIN_ENTRY_BYTES)
        in.problem("claims " + std::to_string(count) + " entries, more than its bytes hold");
    std::vector<Entry> entries(count);
    uint64_t id = 0;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t delta = in.next();
        if (i > 0 && delta == 0) in.problem("repeats tile id " + std::to_string(id));
        if (delta > UINT64_MAX - id) in.problem("has a tile id beyond 64 bits");
        id += delta;
        entries[i].tileId = id;
    }
    for (Entry &e : entries) {
        const uint64_t run = in.next();
        if (run > UINT32_MAX) in.problem("has a run of " + std::to_string(run) + " tiles");
        e.runLength = static_cast<uint32_t>(run);
    }
    for (Entry &e : entries) {
        e.length = in.next();
        if (e.length == 0) in.problem("has an entry of length 0");
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        const uint64_t stored = in.next();
        if (stored == 0 && i == 0) in.problem("has no offset for its first entry");
        if (stored == 0) {
            const Entry &previous = entries[i - 1];
            if (previous.length > UINT64_MAX - previous.offset)
                in.problem("has an offset beyond 64 bits");
            entries[i].offset = previous.offset + previous.length;
        } else {
            entries[i].offset = stored - 1;
        }
    }
    if (in.remaining() != 0) in.problem("has bytes after its last entry");
    return entries;
}

}  // namespace kvga::impl
