#include "xio_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "xio_fault.h"

namespace {

enum Fault { FAULT_WRITE, FAULT_CLOSE, FAULT_OPEN, FAULT_SYNC, FAULT_RENAME, FAULT_COUNT };

// Operations left until the injected failure of each kind; 0 when disarmed. Only read while
// disarmed, so files on different threads do not race on it.
long countdown[FAULT_COUNT];

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
    return mkostemp(name_template, O_CLOEXEC);
}

int xioCreateIn(int dir_fd, const char *name) {
    if (faultDue(FAULT_OPEN)) return -1;
    return openat(dir_fd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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

bool xioRename(int dir_fd, const char *from, const char *to) {
    if (faultDue(FAULT_RENAME)) return false;
    return renameat(dir_fd, from, dir_fd, to) == 0;
}
