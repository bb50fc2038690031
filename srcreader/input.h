// Where the bytes of a file come from, and their decompression.
//
// A Source hands out the raw bytes of the input: a file descriptor, a memory buffer or a
// caller's read function. Content turns them into the KVG content: a plain file passes
// through, a gzip stream (told by its first two bytes) is inflated as it is read. Content
// accepts exactly one gzip member and nothing after it, and stops at the caller's limit on
// content bytes. Every failure throws a Fault (cursor.h) with its error code.
#ifndef KVGREADER_INPUT_H
#define KVGREADER_INPUT_H

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "kvgreader.h"

namespace kvgr::impl {

class Source {
public:
    virtual ~Source() = default;
    // Up to `buffer.size()` bytes; 0 at the end of the input.
    virtual size_t read(std::span<uint8_t> buffer) = 0;
};

// Reads a file descriptor, which it closes if it owns it.
std::unique_ptr<Source> fdSource(int fd, bool owned);
// Opens a file for reading; a FIFO with no writer reads as empty instead of blocking.
std::unique_ptr<Source> fileSource(const char *path);
std::unique_ptr<Source> memorySource(std::span<const uint8_t> bytes);
std::unique_ptr<Source> streamSource(KVGR_ReadFunction read, void *user);

class Content {
public:
    Content(std::unique_ptr<Source> source, uint64_t limit);
    ~Content();
    Content(const Content &) = delete;
    Content &operator=(const Content &) = delete;

    // Up to `buffer.size()` bytes of content, fewer only at its end; 0 once it has ended.
    size_t read(std::span<uint8_t> buffer);

    bool compressed() const { return gzip_; }
    uint64_t inputBytes() const { return inputBytes_; }
    uint64_t contentBytes() const { return contentBytes_; }

private:
    static constexpr size_t BUFFER_SIZE = 64 * 1024;

    bool refill();  // more raw bytes into the buffer; false at the end of the input
    size_t readPlain(std::span<uint8_t> buffer);
    size_t readGzip(std::span<uint8_t> buffer);
    void startGzip();
    void checkEndOfInput();  // after the gzip stream: nothing may follow
    void count(size_t bytes);

    std::unique_ptr<Source> source_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t next_ = 0;  // raw bytes buffer_[next_, end_) not consumed yet
    size_t end_ = 0;
    uint64_t limit_;
    uint64_t inputBytes_ = 0;
    uint64_t contentBytes_ = 0;
    bool gzip_ = false;
    bool ended_ = false;
    z_stream stream_{};
};

}  // namespace kvgr::impl

#endif  // KVGREADER_INPUT_H
