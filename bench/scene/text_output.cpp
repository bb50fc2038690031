#include "text_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace scene {

namespace {

// Window bits for a gzip header and trailer around the deflate stream.
constexpr int kGzipWindowBits = 15 + 16;

}  // namespace

TextOutput::TextOutput(const std::string &path, int gzip_level)
    : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)), gzip_(gzip_level > 0) {
    if (fd_ < 0) throw std::runtime_error("cannot create " + path);
    if (gzip_ && deflateInit2(&stream_, gzip_level, Z_DEFLATED, kGzipWindowBits, 8,
                              Z_DEFAULT_STRATEGY) != Z_OK) {
        ::close(fd_);
        throw std::runtime_error("cannot start a gzip stream");
    }
}

TextOutput::~TextOutput() {
    if (gzip_) deflateEnd(&stream_);
    if (fd_ >= 0) ::close(fd_);
}

void TextOutput::writeAll(const unsigned char *data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd_, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw std::runtime_error("write failed");
        data += written;
        size -= static_cast<size_t>(written);
    }
}

void TextOutput::deflateBuffer(int flush) {
    stream_.next_in = reinterpret_cast<Bytef *>(buffer_);
    stream_.avail_in = static_cast<uInt>(next_ - buffer_);
    int status;
    do {
        stream_.next_out = compressed_;
        stream_.avail_out = kBufferSize;
        status = deflate(&stream_, flush);
        if (status == Z_STREAM_ERROR) throw std::runtime_error("deflate failed");
        writeAll(compressed_, kBufferSize - stream_.avail_out);
    } while (stream_.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
}

void TextOutput::drain() {
    if (gzip_) {
        deflateBuffer(Z_NO_FLUSH);
    } else {
        writeAll(reinterpret_cast<const unsigned char *>(buffer_),
                 static_cast<size_t>(next_ - buffer_));
    }
    next_ = buffer_;
}

void TextOutput::close() {
    if (gzip_) {
        deflateBuffer(Z_FINISH);
        next_ = buffer_;
    } else {
        drain();
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw std::runtime_error("close failed");
}

StdioTextOutput::StdioTextOutput(const std::string &path) : file_(std::fopen(path.c_str(), "wb")) {
    if (file_ == nullptr) throw std::runtime_error("cannot create " + path);
}

StdioTextOutput::~StdioTextOutput() {
    if (file_ != nullptr) std::fclose(file_);
}

void StdioTextOutput::close() {
    const bool failed = std::ferror(file_) != 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (failed || !closed) throw std::runtime_error("write failed");
}

}  // namespace scene
