#include "test_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string_view>
#include <iterator>
#include <stdexcept>

#include "kvgreader.hpp"
#include "xio_fault.h"

namespace kvgtest {

namespace {

std::string scratchDirectory() {
    const char *dir = std::getenv("TMPDIR");
    return dir != nullptr && dir[0] != '\0' ? dir : "/tmp";
}

}  // namespace

TempPath::TempPath(const std::string &suffix) {
    static int counter = 0;
    path_ = scratchDirectory() + "/kvgtest-" + std::to_string(getpid()) + "-" +
            std::to_string(counter++) + suffix;
}

TempPath::~TempPath() { std::remove(path_.c_str()); }

Bytes readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string &path, const Bytes &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes readGzipFile(const std::string &path) {
    gzFile in = gzopen(path.c_str(), "rb");
    if (in == nullptr) throw std::runtime_error("cannot open " + path);
    Bytes bytes;
    unsigned char block[4096];
    int n;
    while ((n = gzread(in, block, sizeof block)) > 0) bytes.insert(bytes.end(), block, block + n);
    gzclose(in);
    if (n < 0) throw std::runtime_error("corrupt gzip stream in " + path);
    return bytes;
}

namespace {

std::vector<std::string> filesStartingWith(const std::string &directory,
                                           const std::string &prefix) {
    std::vector<std::string> names;
    DIR *dir = opendir(directory.c_str());
    if (dir == nullptr) return names;
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    closedir(dir);
    return names;
}

}  // namespace

CreationLog::CreationLog() { XIO_setCreationObserver(observe, this); }

CreationLog::~CreationLog() { XIO_setCreationObserver(nullptr, nullptr); }

void CreationLog::observe(int fd, void *self) {
    struct stat info {};
    fstat(fd, &info);
    char path[4096] = "";
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(link.c_str(), path, sizeof path - 1);
    path[length > 0 ? length : 0] = '\0';
    static_cast<CreationLog *>(self)->files_.push_back(
        {info.st_mode & 07777, info.st_uid, info.st_gid, path});
}

std::vector<std::string> directoryEntries(const std::string &directory) {
    std::vector<std::string> names = filesStartingWith(directory, "");
    std::erase_if(names, [](const std::string &name) { return name == "." || name == ".."; });
    return names;
}

ScopedEnv::ScopedEnv(const char *name, const std::string &value) : name_(name) {
    const char *previous = std::getenv(name);
    had_ = previous != nullptr;
    if (had_) previous_ = previous;
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (had_) {
        setenv(name_.c_str(), previous_.c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

std::vector<std::string> temporaryFilesOf(pid_t pid) {
    return filesStartingWith(P_tmpdir, "kvg-" + std::to_string(pid) + "-");
}

std::vector<std::string> leftoverTemporaryFiles() { return temporaryFilesOf(getpid()); }

std::vector<std::string> filesBeside(const std::string &target) {
    const size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : target.substr(0, slash);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return filesStartingWith(directory.empty() ? "/" : directory, "." + name + ".");
}

StreamFixture::StreamFixture()
    : error_(KVGE_createContext("stream")),
      file_(XIO_open(path_.c_str(), XIO_WRITE, XIO_PLAIN)),
      state_(KVGF_CreateState(file_, error_)) {
    state_->point_size = 32;
    state_->rel_point_size = 32;
}

StreamFixture::~StreamFixture() {
    if (!closed_) XIO_close(file_);
    KVGF_DestroyState(state_);
    KVGE_destroyContext(error_);
}

std::string StreamFixture::message() {
    const char *text = KVGE_getContextDescription(error_);
    return text != nullptr ? text : "";
}

Bytes StreamFixture::bytes() {
    if (!closed_) {
        KVGT_Flush(state_);
        XIO_close(file_);
        closed_ = true;
    }
    return readFile(path_.str());
}

KVG_FileOptions *plainOptions() {
    KVG_FileOptions *options = KVG_newFileOptions();
    KVG_setCompressionFileOption(options, 0);
    return options;
}

WriterFixture::WriterFixture(KVG_FileOptions *options) {
    KVG_FileOptions *plain = options != nullptr ? options : plainOptions();
    file_ = KVG_create(path_.c_str(), plain);
    if (options == nullptr) KVG_deleteFileOptions(plain);
    if (file_ == nullptr) throw std::runtime_error("KVG_create failed for " + path_.str());
}

WriterFixture::~WriterFixture() {
    if (file_ != nullptr) KVG_close(file_);
}

std::string WriterFixture::message() {
    const char *text = KVG_getErrorDescription(file_);
    return text != nullptr ? text : "";
}

Bytes WriterFixture::close() {
    if (KVG_close(file_) != 0) throw std::runtime_error("KVG_close failed: " + message());
    file_ = nullptr;
    expectValidKvg(path_.str());
    return readFile(path_.str());
}

Bytes WriterFixture::closeLayerSection() {
    // A default file without definitions: a 29-byte header and 4 bytes of closing sizes.
    constexpr size_t kDefaultPrologue = 33;
    const Bytes all = close();
    if (all.size() < kDefaultPrologue) throw std::runtime_error("file shorter than its prologue");
    return Bytes(all.begin() + kDefaultPrologue, all.end());
}

namespace {

void keepCopy(const std::string &path) {
    const char *dir = std::getenv("KVG_TEST_KEEP_DIR");
    if (dir == nullptr) return;
    mkdir(dir, 0700);
    const Bytes bytes = readFile(path);
    const std::string name = std::to_string(std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size())));
    std::ofstream(std::string(dir) + "/" + name + ".kvg", std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

void expectValidKvg(const std::string &path) {
    try {
        kvgr::Reader reader;
        reader.openFile(path);
        while (reader.next() != nullptr) {
        }
    } catch (const kvgr::Error &error) {
        throw std::runtime_error("kvg check: " + path + ": " + error.what());
    }
    keepCopy(path);
}

void keepIfValid(const std::string &path) noexcept {
    try {
        expectValidKvg(path);
    } catch (...) {
        // Not a drawing to keep (a test made it invalid on purpose); its own test judges it.
    }
}

std::string hex(const Bytes &bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        if (!text.empty()) text += ' ';
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

Bytes fromHex(const std::string &text) {
    Bytes bytes;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return bytes;
}

}  // namespace kvgtest
