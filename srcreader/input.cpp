#include "input.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "cursor.h"

namespace kvgr::impl {

namespace {

[[noreturn]] void systemFault(const char *what, int error) {
    throw Fault{std::string(what) + ": " + std::strerror(error), 0, KVGR_ERR_SYSTEM};
}

class FdSource final : public Source {
public:
    FdSource(int fd, bool owned) : fd_(fd), owned_(owned) {}
    ~FdSource() override {
        if (owned_) close(fd_);
    }
    size_t read(std::span<uint8_t> buffer) override {
        for (;;) {
            const ssize_t got = ::read(fd_, buffer.data(), buffer.size());
            if (got >= 0) return static_cast<size_t>(got);
            if (errno != EINTR) systemFault("cannot read", errno);
        }
    }

private:
    int fd_;
    bool owned_;
};

class MemorySource final : public Source {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    size_t read(std::span<uint8_t> buffer) override {
        const size_t n = std::min(buffer.size(), bytes_.size());
        std::copy_n(bytes_.begin(), n, buffer.begin());
        bytes_ = bytes_.subspan(n);
        return n;
    }

private:
    std::span<const uint8_t> bytes_;
};

class StreamSource final : public Source {
public:
    StreamSource(KVGR_ReadFunction function, void *user) : read_(function), user_(user) {}
    size_t read(std::span<uint8_t> buffer) override {
        errno = 0;
        const ptrdiff_t got = read_(user_, buffer.data(), buffer.size());
        if (got < 0 || static_cast<size_t>(got) > buffer.size()) {
            if (errno != 0) systemFault("cannot read", errno);
            throw Fault{"cannot read: read error", 0, KVGR_ERR_SYSTEM};
        }
        return static_cast<size_t>(got);
    }

private:
    KVGR_ReadFunction read_;
    void *user_;
};

constexpr uint8_t GZIP_MAGIC[2] = {0x1F, 0x8B};

[[noreturn]] void compressionFault(const std::string &reason) {
    throw Fault{reason, std::nullopt, KVGR_ERR_COMPRESSION};
}

}  // namespace

std::unique_ptr<Source> fdSource(int fd, bool owned) {
    return std::make_unique<FdSource>(fd, owned);
}

std::unique_ptr<Source> fileSource(const char *path) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer; once open, reads block again.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) systemFault("cannot open", errno);
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        const int error = errno;
        close(fd);
        systemFault("cannot open", error);
    }
    return fdSource(fd, true);
}

std::unique_ptr<Source> memorySource(std::span<const uint8_t> bytes) {
    return std::make_unique<MemorySource>(bytes);
}

std::unique_ptr<Source> streamSource(KVGR_ReadFunction read, void *user) {
    return std::make_unique<StreamSource>(read, user);
}

Content::Content(std::unique_ptr<Source> source, uint64_t limit)
    : source_(std::move(source)), buffer_(new uint8_t[BUFFER_SIZE]), limit_(limit) {
    // The first two bytes tell a gzip stream; a shorter input is plain.
    while (end_ < sizeof GZIP_MAGIC && refill()) {
    }
    gzip_ = end_ >= sizeof GZIP_MAGIC && std::memcmp(buffer_.get(), GZIP_MAGIC, 2) == 0;
    if (gzip_) startGzip();
}

Content::~Content() {
    if (gzip_) inflateEnd(&stream_);
}

void Content::startGzip() {
    // 15 + 16: the largest window, and a gzip wrapper (header and CRC-32 trailer) only.
    const int status = inflateInit2(&stream_, 15 + 16);
    if (status == Z_MEM_ERROR) throw Fault{"out of memory", 0, KVGR_ERR_MEMORY};
    if (status != Z_OK) compressionFault("cannot start decompression");
}

bool Content::refill() {
    if (next_ == end_) next_ = end_ = 0;
    const size_t got = source_->read({buffer_.get() + end_, BUFFER_SIZE - end_});
    end_ += got;
    inputBytes_ += got;
    return got > 0;
}

void Content::count(size_t bytes) {
    contentBytes_ += bytes;
    if (contentBytes_ > limit_) {
        throw Fault{"content beyond the limit of " + std::to_string(limit_) + " bytes", limit_,
                    KVGR_ERR_LIMIT};
    }
}

size_t Content::read(std::span<uint8_t> buffer) {
    if (ended_ || buffer.empty()) return 0;
    const size_t got = gzip_ ? readGzip(buffer) : readPlain(buffer);
    if (got < buffer.size()) ended_ = true;
    count(got);
    return got;
}

size_t Content::readPlain(std::span<uint8_t> buffer) {
    size_t done = 0;
    while (done < buffer.size() && (next_ < end_ || refill())) {
        const size_t n = std::min(buffer.size() - done, end_ - next_);
        std::memcpy(buffer.data() + done, buffer_.get() + next_, n);
        next_ += n;
        done += n;
    }
    return done;
}

size_t Content::readGzip(std::span<uint8_t> buffer) {
    stream_.next_out = buffer.data();
    stream_.avail_out = static_cast<uInt>(std::min<size_t>(buffer.size(), UINT32_MAX));
    while (stream_.avail_out > 0) {
        if (next_ == end_ && !refill()) compressionFault("truncated compressed data");
        stream_.next_in = buffer_.get() + next_;
        stream_.avail_in = static_cast<uInt>(end_ - next_);
        const int status = inflate(&stream_, Z_NO_FLUSH);
        next_ = end_ - stream_.avail_in;
        if (status == Z_STREAM_END) {
            checkEndOfInput();
            break;
        }
        if (status == Z_MEM_ERROR) throw Fault{"out of memory", 0, KVGR_ERR_MEMORY};
        if (status != Z_OK && status != Z_BUF_ERROR) {
            compressionFault(std::string("corrupt compressed data (") +
                             (stream_.msg != nullptr ? stream_.msg : "unknown fault") + ")");
        }
    }
    return static_cast<size_t>(stream_.next_out - buffer.data());
}

void Content::checkEndOfInput() {
    if (next_ == end_ && !refill()) return;
    // A second gzip member is valid gzip, but no writer of KVG files makes one.
    while (end_ - next_ < sizeof GZIP_MAGIC && refill()) {
    }
    const bool member =
        end_ - next_ >= sizeof GZIP_MAGIC && std::memcmp(buffer_.get() + next_, GZIP_MAGIC, 2) == 0;
    compressionFault(member ? "a second compressed stream follows the first"
                            : "data after the end of the compressed stream");
}

}  // namespace kvgr::impl
