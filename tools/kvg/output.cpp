#include "output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace kvgtool {

namespace {

const std::string STANDARD_OUTPUT = "standard output";

mode_t newFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// The file a path names in the end, through symbolic links; the path itself when it names
// nothing yet.
std::string finalPath(const std::string &path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

std::string directoryOf(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

// ---- FdBuffer ----

bool FdBuffer::put(const char *data, size_t size) {
    while (size > 0 && error_ == 0) {
        const ssize_t written = ::write(fd_, data, size);
        if (written < 0) {
            if (errno != EINTR) error_ = errno;
            continue;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return error_ == 0;
}

bool FdBuffer::drain() {
    const bool ok = put(pbase(), static_cast<size_t>(pptr() - pbase()));
    setp(buffer_, buffer_ + sizeof buffer_);
    return ok;
}

FdBuffer::int_type FdBuffer::overflow(int_type c) {
    if (!drain()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

std::streamsize FdBuffer::xsputn(const char *data, std::streamsize size) {
    if (size >= epptr() - pptr()) {
        if (!drain() || !put(data, static_cast<size_t>(size))) return 0;
        return size;
    }
    std::memcpy(pptr(), data, static_cast<size_t>(size));
    pbump(static_cast<int>(size));
    return size;
}

int FdBuffer::sync() { return drain() ? 0 : -1; }

bool writesToTerminal(const std::ostream &stream) {
    const auto *buffer = dynamic_cast<const FdBuffer *>(stream.rdbuf());
    return buffer != nullptr && isatty(buffer->fd()) == 1;
}

std::string writeFailure(const std::ostream &stream) {
    const auto *buffer = dynamic_cast<const FdBuffer *>(stream.rdbuf());
    const int error = buffer != nullptr && buffer->error() != 0 ? buffer->error() : errno;
    return error != 0 ? std::strerror(error) : "Input/output error";
}

// ---- OutputFile ----

std::unique_ptr<OutputFile> OutputFile::open(const Command &command, const std::string &target,
                                              std::ostream &out, std::ostream &err) {
    std::unique_ptr<OutputFile> file(new OutputFile(command, target));
    if (target == "-") {
        file->target_ = STANDARD_OUTPUT;
        file->stream_ = &out;
        return file;
    }
    const auto refuse = [&](int error) {
        err << "kvg " << command.name << ": cannot write " << target << ": "
            << std::strerror(error) << "\n";
        return nullptr;
    };
    struct stat info {};
    const bool exists = stat(target.c_str(), &info) == 0;
    if (!exists && errno != ENOENT) return refuse(errno);
    if (exists && S_ISDIR(info.st_mode)) return refuse(EISDIR);
    if (exists && !S_ISREG(info.st_mode)) {
        // A FIFO or a device: written in place, never replaced.
        file->fd_ = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
        if (file->fd_ < 0) return refuse(errno);
    } else {
        const std::string path = finalPath(target);
        const size_t slash = path.find_last_of('/');
        std::string beside = directoryOf(path) + "/." +
                             (slash == std::string::npos ? path : path.substr(slash + 1)) +
                             ".XXXXXX";
        file->fd_ = mkostemp(beside.data(), O_CLOEXEC);
        if (file->fd_ < 0) return refuse(errno);
        file->temporary_ = beside;
        file->final_ = path;
        file->existed_ = exists;
        if (fchmod(file->fd_, exists ? info.st_mode & 07777 : newFileMode()) != 0)
            return refuse(errno);
    }
    file->buffer_ = std::make_unique<FdBuffer>(file->fd_);
    file->file_ = std::make_unique<std::ostream>(file->buffer_.get());
    file->stream_ = file->file_.get();
    return file;
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

bool OutputFile::fail(std::ostream &err, const std::string &reason) {
    const char *outcome = temporary_.empty() ? " is incomplete"
                          : existed_         ? " is unchanged"
                                             : " was not written";
    err << "kvg " << command_.name << ": cannot write " << target_ << ": " << reason << "; "
        << target_ << outcome << "\n";
    return false;
}

bool OutputFile::commit(std::ostream &err) {
    if (!stream_->flush()) return fail(err, writeFailure(*stream_));
    if (fd_ >= 0) {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) return fail(err, std::strerror(errno));
    }
    if (!temporary_.empty()) {
        if (::rename(temporary_.c_str(), final_.c_str()) != 0) return fail(err, std::strerror(errno));
        temporary_.clear();
    }
    return true;
}

bool sameFile(const std::string &input, const std::string &output) {
    if (input == "-" || output == "-") return false;
    struct stat a {}, b {};
    return stat(input.c_str(), &a) == 0 && stat(output.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int writeRendering(const Command &command, const Options &options, const std::string &target,
                   std::ostream &out, std::ostream &err, const Renderer &render) {
    const std::string &input = options.positional[0];
    kvgr::impl::Limits defaults;
    defaults.contentBytes = WHOLE_FILE_CONTENT_LIMIT;
    const std::optional<kvgr::impl::Limits> limits = limitsOf(command, options, err, defaults);
    if (!limits) return EXIT_USAGE;
    if (sameFile(input, target)) {
        err << "kvg " << command.name << ": the output " << target
            << " is the input file; nothing written\n";
        return EXIT_FAILED;
    }
    const std::optional<kvgr::impl::LoadedFile> file =
        loadKvg(command, input, err, limits->contentBytes);
    if (!file) return EXIT_FAILED;
    const std::unique_ptr<OutputFile> output = OutputFile::open(command, target, out, err);
    if (!output) return EXIT_FAILED;
    if (const std::optional<kvgrender::Error> error =
            render(file->bytes, output->stream(), *limits)) {
        err << "kvg " << command.name << ": " << displayName(input) << ": " << error->message()
            << "\n";
        return EXIT_FAILED;
    }
    return output->commit(err) ? EXIT_OK : EXIT_FAILED;
}

std::string replaceExtension(const std::string &path, const std::string &extension) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && dot > (slash == std::string::npos ? 0 : slash + 1);
    return (hasExtension ? path.substr(0, dot) : path) + extension;
}

std::string defaultTarget(const std::string &input, const std::string &extension) {
    return input == "-" ? "-" : replaceExtension(input, extension);
}

bool writeThroughTemporaryFile(const std::function<void(const std::string &path)> &write,
                               std::ostream &out, std::string &reason) {
    std::string path = std::string(P_tmpdir) + "/kvg-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    ::close(fd);
    struct Remover {
        const std::string &path;
        ~Remover() { ::unlink(path.c_str()); }
    } remover{path};
    write(path);
    out << std::ifstream(path, std::ios::binary).rdbuf();
    return true;
}

}  // namespace kvgtool
