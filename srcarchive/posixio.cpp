#include "posixio.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "archive_format.h"

namespace kvga::impl {

void systemFailure(const std::string &what) {
    fail(ErrorCode::System, what + ": " + std::strerror(errno));
}

void readAt(int fd, uint64_t offset, std::span<uint8_t> out, const std::string &what) {
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(fd, out.data() + done, out.size() - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) systemFailure(what);
        if (n == 0) fail(ErrorCode::System, what + ": the file is shorter than expected");
        done += static_cast<size_t>(n);
    }
}

void writeAt(int fd, uint64_t offset, std::span<const uint8_t> bytes, const std::string &what) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) systemFailure(what);
        done += static_cast<size_t>(n);
    }
}

}  // namespace kvga::impl
