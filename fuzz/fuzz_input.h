// The fuzzer's view of its input: bytes taken from the front, one argument at a time, shaped
// into the values a drawing program might pass (and the ones it should not: NaN, infinities,
// huge and tiny numbers, colours beyond their mode, identifiers that name nothing). Once the
// bytes run out every value is 0, so any input is a complete call sequence.
#ifndef KVG_FUZZ_INPUT_H
#define KVG_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <iterator>
#include <string>
#include <type_traits>

namespace kvgfuzz {

class FuzzInput {
public:
    FuzzInput(const uint8_t *data, size_t size) : next_(data), end_(data + size) {}

    bool empty() const { return next_ == end_; }

    uint8_t byte() { return next_ == end_ ? 0 : *next_++; }

    // The next `Int`, most significant byte first, from as many bytes as remain.
    template <typename Int>
    Int integer() {
        using Unsigned = std::make_unsigned_t<Int>;
        Unsigned value = 0;
        for (size_t i = 0; i < sizeof(Int); ++i) value = static_cast<Unsigned>(value << 8 | byte());
        return static_cast<Int>(value);
    }

    // A value from `low` to `high`: how the harness keeps enumerations in their range.
    int inRange(int low, int high) {
        const auto span = static_cast<uint32_t>(high - low) + 1u;
        return low + static_cast<int>(integer<uint16_t>() % span);
    }

    bool flag() { return (byte() & 1) != 0; }

    // A coordinate or extent in world units. Most are ordinary (the default world window is
    // -100..100); the rest probe rounding (halves), the edges of the point sizes, and values no
    // grid can hold.
    double coordinate() {
        switch (byte() % 8) {
            case 0: return static_cast<int8_t>(byte());                      // small steps
            case 1: return integer<int16_t>() / 256.0;                       // fractions
            case 2: return integer<int16_t>() * (100.0 / 32768.0);           // inside the window
            case 3: return integer<int32_t>();                               // far outside
            case 4: return special();
            case 5: return rawDouble();                                      // any bits at all
            default: return static_cast<int8_t>(byte()) * (200.0 / 4096.0);  // one grid cell
        }
    }

    // A colour value: often valid in some mode, sometimes beyond every mode.
    uint32_t color() {
        static constexpr uint32_t kEdges[] = {0,       1,        2,         0xFF,       0x100,
                                              0xFFF,   0x1000,   0xFFFF,    0x10000,    0xFFFFFF,
                                              0x1000000, 0xFFFFFFFF, 0x80000000, 0x7FFFFFFF};
        switch (byte() % 4) {
            case 0: return byte();
            case 1: return kEdges[byte() % std::size(kEdges)];
            default: return integer<uint32_t>();
        }
    }

    // An identifier: mostly small, so that it names something defined, sometimes anything.
    uint32_t identifier() {
        if (byte() % 4 != 0) return byte() % 8;
        return integer<uint32_t>();
    }

    // A string of up to 63 bytes (any bytes; a zero ends it early), or null.
    bool string(std::string &text) {
        const uint8_t length = byte();
        if (length == 0xFF) return false;
        text.clear();
        for (uint8_t i = 0; i < length % 64; ++i) text.push_back(static_cast<char>(byte()));
        text.resize(std::strlen(text.c_str()));
        return true;
    }

private:
    double special() {
        static constexpr double kInf = std::numeric_limits<double>::infinity();
        static constexpr double kSpecials[] = {
            0.0, -0.0, std::numeric_limits<double>::quiet_NaN(), kInf, -kInf, 0.5, -0.5,
            2047.5, 2048.0, 32767.5, 32768.0, 4194303.0, 4194304.0, 1e9, 1e37, 1.0000001e37,
            1e300, -1e300, 1e-300, std::numeric_limits<double>::max(),
            std::numeric_limits<double>::min(), std::numeric_limits<double>::denorm_min(),
            std::numeric_limits<double>::epsilon(), 100.0, -100.0};
        return kSpecials[byte() % std::size(kSpecials)];
    }

    double rawDouble() {
        const uint64_t bits = integer<uint64_t>();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    const uint8_t *next_;
    const uint8_t *end_;
};

}  // namespace kvgfuzz

#endif  // KVG_FUZZ_INPUT_H
