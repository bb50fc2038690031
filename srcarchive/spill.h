// An unnamed temporary file beside the archive being written, holding the tiles until the
// archive is laid out: memory keeps only where each lies.
#ifndef KVGARCHIVE_SPILL_H
#define KVGARCHIVE_SPILL_H

#include <cstdint>
#include <span>
#include <string>

namespace kvga::impl {

class SpillFile {
public:
    // Creates the file in the directory of `besidePath`; throws a system error if it cannot.
    explicit SpillFile(const std::string &besidePath);
    ~SpillFile();
    SpillFile(const SpillFile &) = delete;
    SpillFile &operator=(const SpillFile &) = delete;

    // Appends `bytes`, returning the offset they begin at.
    uint64_t append(std::span<const uint8_t> bytes);
    // Reads `out.size()` bytes from `offset`.
    void read(uint64_t offset, std::span<uint8_t> out) const;

private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

}  // namespace kvga::impl

#endif  // KVGARCHIVE_SPILL_H
