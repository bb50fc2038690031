// A small deterministic random source (splitmix64): the same scene on every machine and every
// standard library, which the distributions of <random> do not promise.
#ifndef KVG_SCENE_RANDOM_H
#define KVG_SCENE_RANDOM_H

#include <cstdint>

namespace scene {

class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}

    uint64_t next() {
        uint64_t z = state_ += 0x9E3779B97F4A7C15u;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    // Uniform in [lo, hi).
    double between(double lo, double hi) { return lo + (hi - lo) * unit(); }
    // Uniform in 0 .. n - 1.
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(((next() >> 32) * n) >> 32); }
    bool chance(double p) { return unit() < p; }

private:
    uint64_t state_;
};

}  // namespace scene

#endif  // KVG_SCENE_RANDOM_H
