// The lower bounds a writer is measured against: moving its bytes in memory, and compressing
// them with zlib, both without touching a file.
#ifndef KVG_SCENE_BASELINES_H
#define KVG_SCENE_BASELINES_H

#include <cstdint>
#include <vector>

namespace scene {

// Copies `size` bytes between two buffers that are allocated and touched beforehand.
class CopyBaseline {
public:
    explicit CopyBaseline(uint64_t size);
    uint64_t run();

private:
    std::vector<unsigned char> from_, to_;
};

// Compresses `data` into a gzip stream at `level` in one call, into an output buffer allocated
// beforehand; the stream's own set-up is part of the work.
class DeflateBaseline {
public:
    DeflateBaseline(const std::vector<unsigned char> &data, int level);
    uint64_t run();  // the compressed size

private:
    const std::vector<unsigned char> &data_;
    int level_;
    std::vector<unsigned char> out_;
};

}  // namespace scene

#endif  // KVG_SCENE_BASELINES_H
