// The archive reader. Opening checks the header's sections against the file and reads the root
// directory and the metadata; leaf directories are read when a lookup or a walk reaches them.
// Every directory's entries are checked against the section they point into before use, and
// every inflation stops at its limit.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <set>

#include "archive_format.h"
#include "posixio.h"

namespace kvga {

using impl::Bytes;
using impl::Entry;
using impl::fail;

namespace {

constexpr std::array<uint64_t, LIMIT_COUNT> DEFAULT_LIMITS = {
    uint64_t{64} << 20,   // DirectoryBytes
    uint64_t{16} << 20,   // MetadataBytes
    uint64_t{256} << 20,  // TileBytes
    4,                    // DirectoryDepth
};
// Leaf directories kept decoded for lookups; beyond this the cache starts afresh.
constexpr size_t LEAF_CACHE_SIZE = 64;

const char *compressionName(Compression c) {
    switch (c) {
        case Compression::Unknown: return "unknown";
        case Compression::None: return "none";
        case Compression::Gzip: return "gzip";
        case Compression::Brotli: return "brotli";
        case Compression::Zstd: return "zstd";
    }
    return "of an unknown kind";
}

bool fitsIn(uint64_t offset, uint64_t length, uint64_t size) {
    return offset <= size && length <= size - offset;
}

std::string at(uint64_t offset) { return "at byte " + std::to_string(offset); }

// The bytes of the archive: a file read with pread, or a buffer of the caller's.
class Source {
public:
    virtual ~Source() = default;
    virtual uint64_t size() const = 0;
    virtual void read(uint64_t offset, std::span<uint8_t> out) const = 0;
};

class MemorySource final : public Source {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    void read(uint64_t offset, std::span<uint8_t> out) const override {
        if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
    }

private:
    std::span<const uint8_t> bytes_;
};

class FileSource final : public Source {
public:
    explicit FileSource(const std::string &path) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) impl::systemFailure("cannot open");
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd_);
            fail(ErrorCode::System, "not a regular file (an archive is read at offsets)");
        }
        size_ = static_cast<uint64_t>(st.st_size);
    }
    ~FileSource() override {
        if (fd_ >= 0) ::close(fd_);
    }
    uint64_t size() const override { return size_; }
    void read(uint64_t offset, std::span<uint8_t> out) const override {
        impl::readAt(fd_, offset, out, "cannot read");
    }

private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

}  // namespace

struct Archive::State {
    std::array<uint64_t, LIMIT_COUNT> limits = DEFAULT_LIMITS;
    std::unique_ptr<Source> source;
    Header header;
    std::string metadata;
    std::vector<Entry> root;
    std::map<uint64_t, std::vector<Entry>> leaves;  // by offset in the leaf section

    uint64_t limit(Limit which) const { return limits[static_cast<int>(which)]; }
    void checkDepth(uint64_t depth) const {
        if (depth >= limit(Limit::DirectoryDepth)) {
            fail(ErrorCode::Limit, "leaf directories nest deeper than the limit of " +
                                       std::to_string(limit(Limit::DirectoryDepth)) + " levels");
        }
    }
    State &opened() {
        if (!source) fail(ErrorCode::Usage, "no archive is open");
        return *this;
    }
    void open(std::unique_ptr<Source> input);
    void checkSections() const;
    Bytes read(uint64_t offset, uint64_t length) const;
    Bytes inflate(Compression compression, Bytes stored, uint64_t limit,
                  const std::string &what) const;
    std::vector<Entry> directory(uint64_t offset, uint64_t length, const std::string &what) const;
    const std::vector<Entry> &leaf(const Entry &entry);
    void checkEntries(const std::vector<Entry> &entries, const std::string &what) const;
    void walk(const std::vector<Entry> &entries, uint64_t from, uint64_t below, uint64_t depth,
              struct Walk &w);
};

// What a walk through every directory has met so far.
struct Walk {
    explicit Walk(const std::function<bool(const TileEntry &)> &visitor) : visit(visitor) {}
    const std::function<bool(const TileEntry &)> &visit;
    uint64_t nextId = 0;  // tile ids below this are taken
    std::map<uint64_t, uint64_t> leafRanges;  // leaf directories read: start to end
    std::set<uint64_t> contents;              // distinct tile offsets
    uint64_t addressed = 0, entries = 0;
    bool stopped = false;
};

Bytes Archive::State::read(uint64_t offset, uint64_t length) const {
    Bytes bytes(length);
    source->read(offset, bytes);
    return bytes;
}

Bytes Archive::State::inflate(Compression compression, Bytes stored, uint64_t limit,
                              const std::string &what) const {
    if (compression == Compression::Gzip) return impl::gunzip(stored, limit, what);
    if (compression != Compression::None && compression != Compression::Unknown) {
        fail(ErrorCode::Format, std::string("compression ") + compressionName(compression) +
                                    " is not supported");
    }
    if (stored.size() > limit) {
        fail(ErrorCode::Limit,
             what + " is larger than the limit of " + std::to_string(limit) + " bytes");
    }
    return stored;
}

void Archive::State::checkSections() const {
    const Header &h = header;
    const uint64_t size = source->size();
    const struct {
        const char *name;
        uint64_t offset, length;
    } sections[] = {{"root directory", h.rootOffset, h.rootLength},
                    {"metadata", h.metadataOffset, h.metadataLength},
                    {"leaf directories", h.leafOffset, h.leafLength},
                    {"tile data", h.tileDataOffset, h.tileDataLength}};
    for (const auto &s : sections) {
        if (!fitsIn(s.offset, s.length, size)) {
            fail(ErrorCode::Format, std::string(s.name) + " (" + std::to_string(s.length) +
                                        " bytes " + at(s.offset) + ") lies beyond the end of " +
                                        "the file (" + std::to_string(size) + " bytes)");
        }
    }
    if (h.rootLength == 0) fail(ErrorCode::Format, "the root directory is empty");
    if (h.rootOffset + h.rootLength > impl::ROOT_WINDOW_BYTES) {
        fail(ErrorCode::Format, "the root directory ends beyond the first " +
                                    std::to_string(impl::ROOT_WINDOW_BYTES) + " bytes");
    }
    if (h.minZoom > h.maxZoom || h.maxZoom > MAX_ZOOM) {
        fail(ErrorCode::Format, "zooms " + std::to_string(h.minZoom) + " to " +
                                    std::to_string(h.maxZoom) + " are not a range of 0 to " +
                                    std::to_string(MAX_ZOOM));
    }
    if (h.internalCompression != Compression::Gzip &&
        h.internalCompression != Compression::None) {
        fail(ErrorCode::Format, std::string("directories compressed as ") +
                                    compressionName(h.internalCompression) +
                                    " are not supported (only gzip or none)");
    }
}

void Archive::State::open(std::unique_ptr<Source> input) {
    if (source) fail(ErrorCode::Usage, "the archive is already open");
    if (input->size() < impl::HEADER_BYTES) {
        fail(ErrorCode::Format, "not a PMTiles archive (shorter than its " +
                                    std::to_string(impl::HEADER_BYTES) + "-byte header)");
    }
    Bytes head(impl::HEADER_BYTES);
    input->read(0, head);
    header = impl::decodeHeader(head);
    source = std::move(input);
    try {
        checkSections();
        root = directory(header.rootOffset, header.rootLength, "root directory");
        const Bytes json = inflate(header.internalCompression,
                                   read(header.metadataOffset, header.metadataLength),
                                   limit(Limit::MetadataBytes), "metadata");
        metadata.assign(json.begin(), json.end());
        impl::checkMetadata(metadata);
    } catch (...) {
        source.reset();
        throw;
    }
}

std::vector<Entry> Archive::State::directory(uint64_t offset, uint64_t length,
                                             const std::string &what) const {
    const Bytes plain = inflate(header.internalCompression, read(offset, length),
                                limit(Limit::DirectoryBytes), what);
    std::vector<Entry> entries = impl::decodeDirectory(plain, what);
    checkEntries(entries, what);
    return entries;
}

void Archive::State::checkEntries(const std::vector<Entry> &entries,
                                  const std::string &what) const {
    const uint64_t lastId = tileId(MAX_ZOOM, 0, 0) + (uint64_t{1} << (2 * MAX_ZOOM)) - 1;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry &e = entries[i];
        const bool isLeaf = e.runLength == 0;
        const std::string entry = what + ", entry " + std::to_string(i) + ": ";
        const uint64_t section = isLeaf ? header.leafLength : header.tileDataLength;
        if (!fitsIn(e.offset, e.length, section)) {
            fail(ErrorCode::Format, entry + std::string(isLeaf ? "leaf directory" : "tile") +
                                        " of " + std::to_string(e.length) + " bytes " +
                                        at(e.offset) + " lies beyond its section (" +
                                        std::to_string(section) + " bytes)");
        }
        if (e.tileId > lastId || (!isLeaf && e.runLength - 1 > lastId - e.tileId))
            fail(ErrorCode::Format, entry + "tile ids beyond zoom " + std::to_string(MAX_ZOOM));
        if (i > 0 && entries[i - 1].runLength > e.tileId - entries[i - 1].tileId)
            fail(ErrorCode::Format, entry + "its run overlaps the next entry");
    }
}

const std::vector<Entry> &Archive::State::leaf(const Entry &entry) {
    if (const auto found = leaves.find(entry.offset); found != leaves.end()) return found->second;
    if (leaves.size() >= LEAF_CACHE_SIZE) leaves.clear();
    std::vector<Entry> entries = directory(header.leafOffset + entry.offset, entry.length,
                                           "leaf directory " + at(entry.offset) +
                                               " of the leaf section");
    return leaves.emplace(entry.offset, std::move(entries)).first->second;
}

// Walks `entries`, whose ids must lie in from..below-1 and follow those met before.
void Archive::State::walk(const std::vector<Entry> &entries, uint64_t from, uint64_t below,
                          uint64_t depth, Walk &w) {
    for (size_t i = 0; i < entries.size() && !w.stopped; ++i) {
        const Entry &e = entries[i];
        const uint64_t end = i + 1 < entries.size() ? entries[i + 1].tileId : below;
        if (e.tileId < std::max(from, w.nextId) || e.tileId >= end) {
            fail(ErrorCode::Format, "tile id " + std::to_string(e.tileId) +
                                        " is out of order across directories");
        }
        if (e.runLength > 0) {
            const TileCoord first = tileCoord(e.tileId);
            const TileCoord last = tileCoord(e.tileId + e.runLength - 1);
            if (first.z < header.minZoom || last.z > header.maxZoom) {
                fail(ErrorCode::Format, "tile id " + std::to_string(e.tileId) +
                                            " lies outside the header's zooms");
            }
            w.nextId = e.tileId + e.runLength;
            w.addressed += e.runLength;
            ++w.entries;
            w.contents.insert(e.offset);
            w.stopped = !w.visit(e);
            continue;
        }
        checkDepth(depth);
        // Each leaf directory is read once: one named twice, or overlapping another, would
        // make the walk's work grow beyond the file's size.
        const auto next = w.leafRanges.lower_bound(e.offset);
        const bool overlaps =
            (next != w.leafRanges.end() && next->first < e.offset + e.length) ||
            (next != w.leafRanges.begin() && std::prev(next)->second > e.offset);
        if (overlaps) {
            fail(ErrorCode::Format, "leaf directory " + at(e.offset) +
                                        " of the leaf section is named twice or overlaps another");
        }
        w.leafRanges.emplace(e.offset, e.offset + e.length);
        const std::vector<Entry> children = leaf(e);
        walk(children, e.tileId, end, depth + 1, w);
    }
}

Archive::Archive() : state_(std::make_unique<State>()) {}
Archive::~Archive() = default;
Archive::Archive(Archive &&) noexcept = default;
Archive &Archive::operator=(Archive &&) noexcept = default;

Archive &Archive::setLimit(Limit limit, uint64_t value) {
    const int index = static_cast<int>(limit);
    if (index < 0 || index >= LIMIT_COUNT) fail(ErrorCode::Usage, "unknown limit");
    if (state_->source) fail(ErrorCode::Usage, "limits are set before opening");
    state_->limits[index] = value;
    return *this;
}

uint64_t Archive::limit(Limit limit) const {
    const int index = static_cast<int>(limit);
    return index >= 0 && index < LIMIT_COUNT ? state_->limits[index] : 0;
}

void Archive::openFile(const std::string &path) {
    state_->open(std::make_unique<FileSource>(path));
}

void Archive::openMemory(std::span<const uint8_t> bytes) {
    state_->open(std::make_unique<MemorySource>(bytes));
}

const Header &Archive::header() const { return state_->opened().header; }
uint64_t Archive::fileSize() const { return state_->opened().source->size(); }
const std::string &Archive::metadataJson() const { return state_->opened().metadata; }

std::optional<TileEntry> Archive::find(uint8_t z, uint32_t x, uint32_t y) {
    state_->opened();
    const uint64_t id = tileId(z, x, y);
    const std::vector<Entry> *entries = &state_->root;
    for (uint64_t depth = 0;; ++depth) {
        const auto after = std::ranges::upper_bound(*entries, id, {}, &Entry::tileId);
        if (after == entries->begin()) return std::nullopt;
        const Entry found = *std::prev(after);
        if (found.runLength > 0) {
            if (id - found.tileId < found.runLength) return found;
            return std::nullopt;
        }
        state_->checkDepth(depth);
        entries = &state_->leaf(found);
    }
}

std::vector<uint8_t> Archive::content(const TileEntry &entry) {
    const State &s = state_->opened();
    if (!fitsIn(entry.offset, entry.length, s.header.tileDataLength))
        fail(ErrorCode::Usage, "the entry lies beyond the tile data");
    return s.inflate(s.header.tileCompression,
                     s.read(s.header.tileDataOffset + entry.offset, entry.length),
                     limit(Limit::TileBytes), "tile " + at(entry.offset) + " of the tile data");
}

std::optional<std::vector<uint8_t>> Archive::tile(uint8_t z, uint32_t x, uint32_t y) {
    const std::optional<TileEntry> entry = find(z, x, y);
    if (!entry) return std::nullopt;
    return content(*entry);
}

void Archive::forEachTile(const std::function<bool(const TileEntry &)> &visit) {
    State &s = state_->opened();
    Walk w(visit);
    s.walk(s.root, 0, UINT64_MAX, 0, w);
    if (w.stopped) return;
    const Header &h = s.header;
    const struct {
        const char *what;
        uint64_t claimed, found;
    } counts[] = {{"addressed tiles", h.addressedTiles, w.addressed},
                  {"tile entries", h.tileEntries, w.entries},
                  {"tile contents", h.tileContents, w.contents.size()}};
    for (const auto &c : counts) {
        if (c.claimed != 0 && c.claimed != c.found) {
            fail(ErrorCode::Format, std::string("the header counts ") +
                                        std::to_string(c.claimed) + " " + c.what +
                                        ", the directories " + std::to_string(c.found));
        }
    }
}

}  // namespace kvga
