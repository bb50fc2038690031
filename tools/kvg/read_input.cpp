#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "command.h"

namespace kvgtool {

namespace {

// An input read through the reader's stream interface, its bytes kept as they pass.
struct KeptInput {
    int fd;
    std::string *bytes;
};

ptrdiff_t readKeeping(void *user, void *buffer, size_t size) {
    const auto *input = static_cast<const KeptInput *>(user);
    ssize_t got = 0;
    do {
        got = ::read(input->fd, buffer, size);
    } while (got < 0 && errno == EINTR);
    if (got > 0) input->bytes->append(static_cast<const char *>(buffer), static_cast<size_t>(got));
    return got;
}

// A file descriptor, closed when it goes out of scope if it was opened here.
struct InputFd {
    int fd = -1;
    bool owned = false;
    ~InputFd() {
        if (owned) ::close(fd);
    }
};

// Opens `path` as the reader opens a file by name: a FIFO without a writer reads as empty
// instead of waiting for one. On failure -1, with errno set.
int openForReading(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -1;
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

}  // namespace

std::string displayName(const std::string &path) {
    return path == "-" ? "standard input" : path;
}

int readRecords(const Command &command, const std::string &path, std::ostream &err,
                const kvgr::impl::Limits &limits,
                const std::function<void(kvgr::Reader &)> &walk, std::string *kept) {
    const auto fail = [&](const std::string &message) {
        err << "kvg " << command.name << ": " << displayName(path) << ": " << message << "\n";
        return EXIT_FAILED;
    };
    InputFd input;
    if (kept != nullptr) {
        input.owned = path != "-";
        input.fd = input.owned ? openForReading(path) : STDIN_FILENO;
        if (input.fd < 0) return fail(std::string("cannot open: ") + std::strerror(errno));
    }
    try {
        kvgr::Reader reader;
        reader.setLimit(KVGR_LIMIT_CONTENT_BYTES, limits.contentBytes)
            .setLimit(KVGR_LIMIT_POINTS, limits.points)
            .setLimit(KVGR_LIMIT_IMAGE_PIXELS, limits.imagePixels)
            .setLimit(KVGR_LIMIT_MEMORY, limits.memory)
            .setLimit(KVGR_LIMIT_DEPTH, limits.depth);
        KeptInput keeping{input.fd, kept};
        if (kept != nullptr) {
            reader.openStream(readKeeping, &keeping);
        } else if (path == "-") {
            reader.openFd(STDIN_FILENO);
        } else {
            reader.openFile(path);
        }
        walk(reader);
    } catch (const kvgr::Error &error) {
        return fail(error.what());
    }
    return EXIT_OK;
}

}  // namespace kvgtool
