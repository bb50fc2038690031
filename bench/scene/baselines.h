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

// The deflate encoders a gzip file can be written with: zlib (streaming), libdeflate (whole
// buffers only) and ISA-L's igzip (streaming); the latter two where the benchmark was built
// with them.
enum class Encoder { ZLIB, LIBDEFLATE, ISAL };

// Whether this build of the benchmark has `encoder`, and the levels it offers.
bool hasEncoder(Encoder encoder);
int lowestLevel(Encoder encoder);
int highestLevel(Encoder encoder);
const char *encoderName(Encoder encoder);

// Compresses `data` into a gzip stream at `level` in one call, into an output buffer allocated
// beforehand; the stream's own set-up is part of the work.
class DeflateBaseline {
public:
    DeflateBaseline(const std::vector<unsigned char> &data, int level,
                    Encoder encoder = Encoder::ZLIB);
    uint64_t run();  // the compressed size
    // Whether the last run's stream gives `data` back through zlib's gzip reader.
    bool roundTrips() const;

private:
    uint64_t runZlib();
    uint64_t runLibdeflate();
    uint64_t runIsal();

    const std::vector<unsigned char> &data_;
    int level_;
    Encoder encoder_;
    std::vector<unsigned char> out_;
    std::vector<unsigned char> level_buffer_;  // ISA-L's working memory for levels above 0
    uint64_t size_ = 0;
};

}  // namespace scene

#endif  // KVG_SCENE_BASELINES_H
