// Whole reads and writes at an offset of a file descriptor, retried when interrupted; a failure
// throws a system error that begins with `what`.
#ifndef KVGARCHIVE_POSIXIO_H
#define KVGARCHIVE_POSIXIO_H

#include <cstdint>
#include <span>
#include <string>

namespace kvga::impl {

void readAt(int fd, uint64_t offset, std::span<uint8_t> out, const std::string &what);
void writeAt(int fd, uint64_t offset, std::span<const uint8_t> bytes, const std::string &what);
[[noreturn]] void systemFailure(const std::string &what);  // with errno's reason

}  // namespace kvga::impl

#endif  // KVGARCHIVE_POSIXIO_H
