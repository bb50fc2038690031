// Text files, written two ways. TextOutput is what a careful application does: a 64 KiB
// buffer straight to the descriptor, plain or as a gzip stream, integers formatted in place.
// StdioTextOutput is what most programs do: stdio.
#ifndef KVG_SCENE_TEXT_OUTPUT_H
#define KVG_SCENE_TEXT_OUTPUT_H

#include <zlib.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace scene {

class TextOutput {
public:
    // `gzip_level` 0 writes plain text; 1 to 9 a gzip stream at that level. Throws when the
    // file cannot be created.
    TextOutput(const std::string &path, int gzip_level);
    ~TextOutput();
    TextOutput(const TextOutput &) = delete;
    TextOutput &operator=(const TextOutput &) = delete;

    void put(std::string_view text) {
        if (static_cast<size_t>(end_ - next_) < text.size()) drain();
        std::memcpy(next_, text.data(), text.size());
        next_ += text.size();
    }
    void put(char c) {
        if (next_ == end_) drain();
        *next_++ = c;
    }
    void putInt(int32_t value) {
        if (end_ - next_ < kIntRoom) drain();
        next_ = std::to_chars(next_, end_, value).ptr;
    }
    // Flushes, ends the gzip stream and closes; throws on failure.
    void close();

private:
    static constexpr size_t kBufferSize = 64 * 1024;
    static constexpr int kIntRoom = 11;

    void drain();
    void writeAll(const unsigned char *data, size_t size);
    void deflateBuffer(int flush);

    int fd_;
    bool gzip_;
    z_stream stream_{};
    char buffer_[kBufferSize];
    unsigned char compressed_[kBufferSize];
    char *next_ = buffer_;
    char *const end_ = buffer_ + kBufferSize;
};

// The same text through stdio, as most C programs write it: fputs, fputc and fprintf("%d")
// on a FILE with its default buffer.
class StdioTextOutput {
public:
    explicit StdioTextOutput(const std::string &path);  // throws when it cannot be created
    ~StdioTextOutput();
    StdioTextOutput(const StdioTextOutput &) = delete;
    StdioTextOutput &operator=(const StdioTextOutput &) = delete;

    void put(std::string_view text) { std::fwrite(text.data(), 1, text.size(), file_); }
    void put(char c) { std::fputc(c, file_); }
    void putInt(int32_t value) { std::fprintf(file_, "%d", value); }
    void close();  // throws on failure

private:
    std::FILE *file_;
};

}  // namespace scene

#endif  // KVG_SCENE_TEXT_OUTPUT_H
