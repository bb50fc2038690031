// Writing a command's result file so that a failure never damages what was there.
//
// A regular file (or a path that does not exist yet) is written to a new file beside it and
// renamed over it only once everything is written: a failure leaves the old file as it was and
// removes the new one. A FIFO or a device is written directly and never replaced or removed.
// "-" is the command's standard output stream. Every failure is reported with the system's
// reason and what became of the target.
#ifndef KVGTOOL_OUTPUT_H
#define KVGTOOL_OUTPUT_H

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

#include "command.h"
#include "kvgrender.h"

namespace kvgtool {

// A stream buffer over a file descriptor that keeps the errno of its first failed write.
class FdBuffer final : public std::streambuf {
public:
    explicit FdBuffer(int fd) : fd_(fd) { setp(buffer_, buffer_ + sizeof buffer_); }
    ~FdBuffer() override { sync(); }
    FdBuffer(const FdBuffer &) = delete;
    FdBuffer &operator=(const FdBuffer &) = delete;
    int error() const { return error_; }  // 0 while every write succeeded
    int fd() const { return fd_; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char *data, std::streamsize size) override;
    int sync() override;

private:
    bool drain();
    bool put(const char *data, size_t size);

    int fd_;
    int error_ = 0;
    char buffer_[65536];
};

// Whether `stream` writes to a terminal (an FdBuffer over one), where binary output is refused.
bool writesToTerminal(const std::ostream &stream);

// The reason a stream's writes failed: its FdBuffer's error when it has one, else errno.
std::string writeFailure(const std::ostream &stream);

class OutputFile {
public:
    // Opens the output for `target` ("-": `out`); on failure reports it to `err` as
    // "kvg NAME: cannot write TARGET: reason" and returns nothing.
    static std::unique_ptr<OutputFile> open(const Command &command, const std::string &target,
                                            std::ostream &out, std::ostream &err);
    // Removes what a commit did not complete (the file beside the target).
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    std::ostream &stream() { return *stream_; }
    // Completes the output: flushes it and puts it in place. On failure reports it to `err`,
    // with the reason and what became of the target, and returns false.
    bool commit(std::ostream &err);

private:
    OutputFile(const Command &command, std::string target)
        : command_(command), target_(std::move(target)) {}
    bool fail(std::ostream &err, const std::string &reason);

    const Command &command_;
    std::string target_;
    std::string temporary_;  // the file beside the target, while it exists
    std::string final_;      // the file it replaces, symbolic links followed
    bool existed_ = false;   // the target existed when the output was opened
    std::unique_ptr<FdBuffer> buffer_;
    std::unique_ptr<std::ostream> file_;
    std::ostream *stream_ = nullptr;
    int fd_ = -1;
};

// Whether `output` names the file `input` names (the same device and inode), so that writing
// it would destroy the input. "-" names no file.
bool sameFile(const std::string &input, const std::string &output);

// Draws the bytes of a loaded KVG file into a stream within the reader's limits.
using Renderer = std::function<std::optional<kvgrender::Error>(
    std::span<const uint8_t>, std::ostream &, const kvgr::impl::Limits &)>;

// Loads the KVG file `input` (up to the content limit of `options`, 256 MiB by default) and
// writes what `render` draws of it within the limits `options` set to `target` through an
// OutputFile, after refusing a target that is the input file. Every failure is reported on
// `err` as "kvg NAME: ..."; the result is the exit code.
int writeRendering(const Command &command, const Options &options, const std::string &target,
                   std::ostream &out, std::ostream &err, const Renderer &render);

// `path` with its extension (after the last dot of the file name) replaced by `extension`.
std::string replaceExtension(const std::string &path, const std::string &extension);

// The output of a command that reads `input` when none is named: beside the input with
// `extension`, or standard output when the input is standard input ("-").
std::string defaultTarget(const std::string &input, const std::string &extension);

// For writers that take a file name: runs `write` on a new temporary file and then copies it to
// `out`; the file is removed whatever happens (exceptions from `write` pass through). False,
// with the system's reason in `reason`, when no temporary file can be made.
bool writeThroughTemporaryFile(const std::function<void(const std::string &path)> &write,
                               std::ostream &out, std::string &reason);

}  // namespace kvgtool

#endif  // KVGTOOL_OUTPUT_H
