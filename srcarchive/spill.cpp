#include "spill.h"

#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include "posixio.h"

namespace kvga::impl {

namespace {

std::string directoryOf(const std::string &path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

SpillFile::SpillFile(const std::string &besidePath) {
    std::string name = directoryOf(besidePath) + "/.kvg-tiles-XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    fd_ = mkostemp(buffer.data(), O_CLOEXEC);
    if (fd_ < 0) systemFailure("cannot create a temporary file beside " + besidePath);
    ::unlink(buffer.data());  // gone with the descriptor, whatever happens to the process
}

SpillFile::~SpillFile() { ::close(fd_); }

uint64_t SpillFile::append(std::span<const uint8_t> bytes) {
    writeAt(fd_, size_, bytes, "cannot write the temporary tile file");
    const uint64_t start = size_;
    size_ += bytes.size();
    return start;
}

void SpillFile::read(uint64_t offset, std::span<uint8_t> out) const {
    readAt(fd_, offset, out, "cannot read the temporary tile file");
}

}  // namespace kvga::impl
