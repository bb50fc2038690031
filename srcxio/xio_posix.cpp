#include "xio_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "xio_fault.h"

namespace {

enum Fault { FAULT_WRITE, FAULT_CLOSE, FAULT_OPEN, FAULT_SYNC, FAULT_RENAME, FAULT_COUNT };

// Operations left until the injected failure of each kind; 0 when disarmed. Only read while
// disarmed, so files on different threads do not race on it.
long countdown[FAULT_COUNT];

// Told of every file the library creates, as soon as it exists.
XIO_CreationObserver creationObserver = nullptr;
void *creationObserverContext = nullptr;

// Passes a descriptor just opened on through the observer; -1 stays -1.
int created(int fd) {
    if (fd >= 0 && creationObserver != nullptr) creationObserver(fd, creationObserverContext);
    return fd;
}

// True for the errors with which a file system or kernel refuses O_TMPFILE.
bool lacksAnonymousFiles(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// True, with errno set, when this operation is the one chosen to fail.
bool faultDue(Fault fault) {
    long &left = countdown[fault];
    if (left == 0 || --left != 0) return false;
    errno = EIO;
    return true;
}

}  // namespace

void XIO_setFaultInjection(long fail_write_at, long fail_close_at, long fail_open_at) {
    countdown[FAULT_WRITE] = fail_write_at > 0 ? fail_write_at : 0;
    countdown[FAULT_CLOSE] = fail_close_at > 0 ? fail_close_at : 0;
    countdown[FAULT_OPEN] = fail_open_at > 0 ? fail_open_at : 0;
}

void XIO_setCommitFaultInjection(long fail_sync_at, long fail_rename_at) {
    countdown[FAULT_SYNC] = fail_sync_at > 0 ? fail_sync_at : 0;
    countdown[FAULT_RENAME] = fail_rename_at > 0 ? fail_rename_at : 0;
}

void XIO_setCreationObserver(XIO_CreationObserver observer, void *context) {
    creationObserver = observer;
    creationObserverContext = context;
}

int xioOpenForReading(const char *name) {
    if (faultDue(FAULT_OPEN)) return -1;
    return open(name, O_RDONLY | O_CLOEXEC);
}

int xioOpenForWriting(const char *name) {
    if (faultDue(FAULT_OPEN)) return -1;
    return open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

int xioCreateTemporary(char *name_template) {
    if (faultDue(FAULT_OPEN)) return -1;
    return created(mkostemp(name_template, O_CLOEXEC));
}

int xioCreateIn(int dir_fd, const char *name, mode_t mode) {
    if (faultDue(FAULT_OPEN)) return -1;
    return created(openat(dir_fd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
}

int xioCreateUnnamedIn(int dir_fd, mode_t mode) {
    if (faultDue(FAULT_OPEN)) return -1;
    const int fd = openat(dir_fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd < 0 && lacksAnonymousFiles(errno)) errno = EOPNOTSUPP;
    return created(fd);
}

int xioCreateScratch() {
    if (faultDue(FAULT_OPEN)) return -1;
    const char *dir = std::getenv("TMPDIR");
    if (dir == nullptr || dir[0] != '/') dir = P_tmpdir;
    int fd = open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || !lacksAnonymousFiles(errno)) return created(fd);
    // Without O_TMPFILE: a named file, unlinked at once. The process id in the name tells
    // whose it was should the process die between the two calls.
    char name[PATH_MAX];
    if (std::snprintf(name, sizeof name, "%s/kvg-%ld-XXXXXX", dir, static_cast<long>(getpid())) >=
        static_cast<int>(sizeof name)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    fd = mkostemp(name, O_CLOEXEC);
    if (fd >= 0) unlink(name);
    return created(fd);
}

bool xioWriteAll(int fd, const unsigned char *data, size_t size) {
    if (size == 0) return true;
    if (faultDue(FAULT_WRITE)) return false;
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

ssize_t xioRead(int fd, unsigned char *data, size_t size) {
    ssize_t got;
    do {
        got = read(fd, data, size);
    } while (got < 0 && errno == EINTR);
    return got;
}

bool xioClose(int fd) {
    // Linux releases the descriptor even when close fails, so it is never retried.
    bool closed = close(fd) == 0;
    return !faultDue(FAULT_CLOSE) && closed;
}

bool xioSync(int fd) {
    if (faultDue(FAULT_SYNC)) return false;
    int rc;
    do {
        rc = fdatasync(fd);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool xioLinkIn(int fd, int dir_fd, const char *name) {
    // Through /proc any process may link its unnamed file; AT_EMPTY_PATH needs a privilege.
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    if (linkat(AT_FDCWD, self, dir_fd, name, AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno == EEXIST) return false;
    return linkat(fd, "", dir_fd, name, AT_EMPTY_PATH) == 0;
}

bool xioRewind(int fd) { return lseek(fd, 0, SEEK_SET) == 0; }

bool xioRename(int dir_fd, const char *from, const char *to) {
    if (faultDue(FAULT_RENAME)) return false;
    return renameat(dir_fd, from, dir_fd, to) == 0;
}
