// Helpers shared by the tests: temporary paths, whole-file reads, a stream state on a scratch
// file, and writer handles with plain output.
#ifndef KVG_TEST_SUPPORT_H
#define KVG_TEST_SUPPORT_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kvgerror.h"
#include "kvgfunction.h"
#include "kvgtype.h"
#include "kvgwriter.h"
#include "xio.h"

namespace kvgtest {

using Bytes = std::vector<uint8_t>;

// A unique path in the test's scratch directory, removed when the object goes.
class TempPath {
public:
    explicit TempPath(const std::string &suffix = ".kvg");
    ~TempPath();
    TempPath(const TempPath &) = delete;
    TempPath &operator=(const TempPath &) = delete;
    const char *c_str() const { return path_.c_str(); }
    const std::string &str() const { return path_; }

private:
    std::string path_;
};

Bytes readFile(const std::string &path);
void writeFile(const std::string &path, const Bytes &bytes);
// Decompresses a gzip file (or reads a plain one) through zlib.
Bytes readGzipFile(const std::string &path);
// The writer's temporary files of process `pid` (kvg-<pid>-... in the temporary directory)
// that still exist; by default those of this process.
std::vector<std::string> temporaryFilesOf(pid_t pid);
std::vector<std::string> leftoverTemporaryFiles();
// The files that the writer made beside `target` while writing it (".<name>.<suffix>") and that
// still exist.
std::vector<std::string> filesBeside(const std::string &target);

// Every file that XIO creates while this lives, as it was at its creation: its permissions and
// owner, and where /proc says its descriptor leads ("/dir/#123 (deleted)" for a file with no
// name).
struct CreatedFile {
    mode_t mode;
    uid_t owner;
    gid_t group;
    std::string path;
};
class CreationLog {
public:
    CreationLog();
    ~CreationLog();
    CreationLog(const CreationLog &) = delete;
    CreationLog &operator=(const CreationLog &) = delete;
    const std::vector<CreatedFile> &files() const { return files_; }

private:
    static void observe(int fd, void *self);
    std::vector<CreatedFile> files_;
};

// The names in `directory`, "." and ".." left out.
std::vector<std::string> directoryEntries(const std::string &directory);

// Sets an environment variable for one scope, and restores what it was.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const std::string &value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    std::string name_;
    std::string previous_;
    bool had_;
};

// A stream state writing to a plain scratch file with its own error context; bytes() flushes
// the bit buffer, closes the file and returns everything written.
class StreamFixture {
public:
    StreamFixture();
    ~StreamFixture();
    StreamFixture(const StreamFixture &) = delete;
    StreamFixture &operator=(const StreamFixture &) = delete;
    KVGF_State *state() { return state_; }
    KVGE_Context *error() { return error_; }
    int code() { return KVGE_getContextCode(error_); }
    std::string message();
    Bytes bytes();

private:
    TempPath path_;
    KVGE_Context *error_;
    XIO_File *file_;
    KVGF_State *state_;
    bool closed_ = false;
};

// Options for a plain (uncompressed) file; the caller deletes them.
KVG_FileOptions *plainOptions();

// A writer handle on a scratch file with plain output and the given options (plain defaults
// when null); close() completes it, checks it with the reader and returns the file's bytes.
class WriterFixture {
public:
    explicit WriterFixture(KVG_FileOptions *options = nullptr);
    ~WriterFixture();
    WriterFixture(const WriterFixture &) = delete;
    WriterFixture &operator=(const WriterFixture &) = delete;
    KVG_File *get() { return file_; }
    int code() { return KVG_getErrorCode(file_); }
    std::string message();
    Bytes close();
    // The bytes after the header and closing size records of a default plain file: the layer
    // section, given the file was made with default options.
    Bytes closeLayerSection();

private:
    TempPath path_;
    KVG_File *file_;
};

// Throws unless the file at `path` (plain or gzip) is a valid KVG file, as `kvg check` decides.
// WriterFixture::close() applies it to every file it completes. With KVG_TEST_KEEP_DIR set,
// every valid file goes there too, named by its content, for the tests that run after the
// suite over every drawing it made (the installed reader's check, the renderers' agreement).
void expectValidKvg(const std::string &path);
// The same without the verdict: keeps the file if it is valid (the tools' outputs).
void keepIfValid(const std::string &path) noexcept;

// Hex dump such as "01 80 4C", for readable failure messages.
std::string hex(const Bytes &bytes);
Bytes fromHex(const std::string &hex);

// Whether the tests run under AddressSanitizer or ThreadSanitizer.
inline bool underSanitizer() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
    return __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
    return false;
#endif
}

// The growable arrays add a fixed step of elements at a time, so filling one with millions of
// elements copies it thousands of times: cheap with the C library's realloc, which moves large
// blocks by remapping them, but hours with a sanitizer's, which copies every time.
#define SKIP_MILLIONS_UNDER_SANITIZER()                                                        \
    if (underSanitizer()) GTEST_SKIP() << "millions of array elements under a sanitizer"

}  // namespace kvgtest

#endif  // KVG_TEST_SUPPORT_H
