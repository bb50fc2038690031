// Writing a file so that it appears whole or not at all: the bytes go to a new file in the
// target's directory, which is put on the disk and renamed over the target only when the file
// is complete. Until then, and after any failure, the target keeps what it held.
//
// The new file is private from its first byte: it is created with no name (O_TMPFILE), and
// given one only at the end, just before the rename, so that no other process can open it while
// it is written and a crash leaves nothing behind. Where the file system cannot make such a
// file, it is created under a hidden name, with no more permissions than the target's. Either
// way it gets the target's owner and group (as far as the process may give them) and then its
// permissions before anything is written to it.
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
    bool sync;     // fdatasync before the rename
    bool unnamed;  // the file has no name until the completion links it in
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

// Gives `act` fresh temporary names until it succeeds or fails other than with EEXIST.
template <class Act>
bool withFreshName(XioReplacement *r, Act act) {
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        temporaryName(r->target, r->temporary);
        if (act(r->temporary)) return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

// Creates the new file in `dir_fd` with the permissions `mode` (less the umask): unnamed where
// the file system allows, else under a temporary name. Its descriptor, or -1 with errno set.
int createTemporary(XioReplacement *r, mode_t mode) {
    int fd = xioCreateUnnamedIn(r->dir_fd, mode);
    r->unnamed = fd >= 0;
    if (fd >= 0 || errno != EOPNOTSUPP) return fd;
    withFreshName(r, [&](const char *name) { return (fd = xioCreateIn(r->dir_fd, name, mode)) >= 0; });
    return fd;
}

// The replaced file's owner, or failing that its group, and then its permissions, which a
// change of owner may have narrowed. What the process may not give is left as it is.
void keepOwnership(int fd, const struct stat &existing) {
    if (fchown(fd, existing.st_uid, existing.st_gid) != 0) fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
    fchmod(fd, existing.st_mode & 0777);
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
    const mode_t mode = existing != nullptr ? existing->st_mode & 0777 : 0666;
    const int fd = r->dir_fd >= 0 ? createTemporary(r, mode) : -1;
    if (fd < 0) {
        const int error = errno;
        if (r->dir_fd >= 0) close(r->dir_fd);
        delete r;
        return failWith(error);
    }
    // The new file keeps what the one it replaces had, as writing it in place would.
    if (existing != nullptr) keepOwnership(fd, *existing);
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
    bool done = completed && (!r->sync || xioSync(file->fd));
    // An unnamed file gets its temporary name only now, the moment before the rename.
    bool named = !r->unnamed;
    if (done && !named) {
        named = done = withFreshName(r, [&](const char *name) {
            return xioLinkIn(file->fd, r->dir_fd, name);
        });
    }
    done = xioClose(file->fd) && done;
    done = done && xioRename(r->dir_fd, r->temporary, r->target);
    release(r, named && !done);
    return done;
}

void xioDiscardReplacement(XIO_File *file) {
    XioReplacement *r = file->replacement;
    file->replacement = nullptr;
    xioClose(file->fd);
    release(r, !r->unnamed);
}
