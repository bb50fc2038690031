// Writing a file so that it appears whole or not at all: the bytes go to a new temporary file in
// the target's directory, which is put on the disk and renamed over the target only when the
// file is complete. Until then, and after any failure, the target keeps what it held.
//
// Only regular files are replaced. A FIFO, a device and everything under /dev or /proc (where
// /dev/stdout leads) cannot be, and is written directly. A symbolic link is followed to the
// file it names, which is replaced; the link stays.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "xio_file.h"
#include "xio_posix.h"

struct XioReplacement {
    int dir_fd;
    bool sync;  // fdatasync before the rename
    char temporary[NAME_MAX + 1];
    char target[NAME_MAX + 1];
};

namespace {

// Symbolic links followed before giving up, as the kernel does.
constexpr int kMaxLinks = 40;
// Names tried before giving up when every one is taken.
constexpr int kMaxAttempts = 100;
// Of the target's name, at most this much goes into the temporary name.
constexpr size_t kMaxNameInTemporary = NAME_MAX - 16;

bool startsWith(const std::string &path, const char *prefix) {
    return path.compare(0, std::strlen(prefix), prefix) == 0;
}

// Process and device files are never replaced: their names stand for something else.
bool isSystemPath(const std::string &path) {
    return path == "/dev" || path == "/proc" || startsWith(path, "/dev/") ||
           startsWith(path, "/proc/");
}

std::string directoryOf(const std::string &path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path `name` leads to through symbolic links: a path that does not exist or is not a link.
// Empty when a link leads into a system path or the links go round.
std::string followLinks(const char *name) {
    std::string path = name;
    for (int i = 0; i < kMaxLinks; ++i) {
        if (isSystemPath(path)) return {};
        struct stat info;
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        char link[PATH_MAX];
        const ssize_t length = readlink(path.c_str(), link, sizeof link - 1);
        if (length < 0) return {};
        link[length] = '\0';
        path = link[0] == '/' ? std::string(link) : directoryOf(path) + "/" + link;
    }
    return {};
}

uint64_t mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

// A name no other process or thread is likely to pick: ".<target>.<8 letters or digits>".
void temporaryName(const std::string &target, char *out) {
    static std::atomic<uint64_t> counter{0};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t bits = mix(counter.fetch_add(1) ^ (static_cast<uint64_t>(getpid()) << 40) ^
                        static_cast<uint64_t>(now.tv_nsec) ^
                        (static_cast<uint64_t>(now.tv_sec) << 20));
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    char suffix[9];
    for (int i = 0; i < 8; ++i, bits >>= 6) suffix[i] = letters[bits % 62];
    suffix[8] = '\0';
    std::snprintf(out, NAME_MAX + 1, ".%.*s.%s", static_cast<int>(kMaxNameInTemporary),
                  target.c_str(), suffix);
}

// Creates the temporary file in `dir_fd`; its descriptor, or -1 with errno set.
int createTemporary(XioReplacement *r) {
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        temporaryName(r->target, r->temporary);
        const int fd = xioCreateIn(r->dir_fd, r->temporary);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Restores errno, which the clean-up of a failure may change, and gives -1.
int failWith(int error) {
    errno = error;
    return -1;
}

// A replacement of the regular file (or new file) at `path`; the descriptor of its temporary
// file, or -1 with errno set. A file that the process may not write is refused as opening it
// would be, although the directory would allow the rename.
int replace(const std::string &path, const struct stat *existing, bool sync,
            XioReplacement **out) {
    if (existing != nullptr && access(path.c_str(), W_OK) != 0) return -1;
    const std::string base = baseOf(path);
    if (base.empty()) return failWith(EISDIR);
    if (base.size() > NAME_MAX) return failWith(ENAMETOOLONG);
    auto *r = new (std::nothrow) XioReplacement;
    if (r == nullptr) return failWith(ENOMEM);
    std::memcpy(r->target, base.c_str(), base.size() + 1);
    r->sync = sync;
    r->dir_fd = open(directoryOf(path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int fd = r->dir_fd >= 0 ? createTemporary(r) : -1;
    if (fd < 0) {
        const int error = errno;
        if (r->dir_fd >= 0) close(r->dir_fd);
        delete r;
        return failWith(error);
    }
    // The new file keeps the permissions of the one it replaces, as writing it in place would.
    if (existing != nullptr) fchmod(fd, existing->st_mode & 0777);
    *out = r;
    return fd;
}

void release(XioReplacement *r, bool remove_temporary) {
    if (remove_temporary) unlinkat(r->dir_fd, r->temporary, 0);
    close(r->dir_fd);
    delete r;
}

}  // namespace

int xioOpenReplacement(const char *name, bool sync, XioReplacement **replacement) {
    *replacement = nullptr;
    try {
        const std::string path = followLinks(name);
        struct stat info;
        const bool exists = !path.empty() && stat(path.c_str(), &info) == 0;
        if (path.empty() || (exists && !S_ISREG(info.st_mode))) return xioOpenForWriting(name);
        return replace(path, exists ? &info : nullptr, sync, replacement);
    } catch (const std::bad_alloc &) {
        return failWith(ENOMEM);
    }
}

bool xioCloseReplacement(XIO_File *file, bool completed) {
    XioReplacement *r = file->replacement;
    file->replacement = nullptr;
    const bool synced = completed && (!r->sync || xioSync(file->fd));
    const bool closed = xioClose(file->fd);
    const bool renamed = synced && closed && xioRename(r->dir_fd, r->temporary, r->target);
    release(r, !renamed);
    return renamed;
}

void xioDiscardReplacement(XIO_File *file) {
    XioReplacement *r = file->replacement;
    file->replacement = nullptr;
    xioClose(file->fd);
    release(r, true);
}
