// The definition records byte for byte, and their refusals, which must leave nothing behind:
// a reader numbers definitions by the order of their records.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"
#include "xio_fault.h"

namespace kvgtest {
namespace {

// Streams start at point size 32 and relative point size 32 (see StreamFixture).

const double kUnitSteps[] = {1, 0, 0, 1};
// Two 3-bit steps, then one 16-bit step read from just past them.
const double kMixedSteps[] = {1, 0, 1, 1, 100, -3};
const uint8_t kThreeBits[] = {3};
const uint8_t kThreeThenSixteen[] = {3, 16};
const uint32_t kTwo[] = {2};
const uint32_t kTwoThenOne[] = {2, 1};

struct BytesCase {
    const char *name;
    int (*write)(KVGF_State *);
    const char *bytes;
};

const BytesCase kRecords[] = {
    // Codes 0 and 2 give the bits 000 010, padded to 08.
    {"EdgeOfOneSegment",
     [](KVGF_State *st) {
         st->point_size = 16;
         return KVGF_SetEdge(st, 0, 0, kUnitSteps, 1, kThreeBits, kTwo);
     },
     "3B 00 00 01 03 02 08"},
    // The second segment's size byte completes the first one's pending bits (000 001).
    {"EdgeOfTwoSegments",
     [](KVGF_State *st) {
         st->point_size = 16;
         return KVGF_SetEdge(st, -1, 2, kMixedSteps, 2, kThreeThenSixteen, kTwoThenOne);
     },
     "3B FF 02 02 03 02 04 10 01 64 FD"},
    {"FaceWithReversedEdge",
     [](KVGF_State *st) {
         const int32_t edges[] = {3, -4};
         return KVGF_SetFace(st, 2, edges, 0, nullptr);
     },
     "3C 02 03 7C 00"},
    {"FaceOfHolesOnly",
     [](KVGF_State *st) {
         const uint32_t holes[] = {0, 200};
         return KVGF_SetFace(st, 0, nullptr, 2, holes);
     },
     "3C 00 02 00 80 C8"},
    {"ImageInRGB",
     [](KVGF_State *st) {
         const KVG_Color pixels[] = {0x112233, 0x445566};
         return KVGF_SetImage(st, 2, 1, pixels);
     },
     "6D 00 02 00 01 11 22 33 44 55 66"},
    {"ImageInGray12IsBitPacked",
     [](KVGF_State *st) {
         st->color_size = KVG_COLOR_GRAY12;
         const KVG_Color pixels[] = {0xABC, 0x123, 0x456};
         return KVGF_SetImage(st, 1, 3, pixels);
     },
     "6D 00 01 00 03 AB C1 23 45 60"},
    // Only the low 16 bits of a dimension are written, and only they count the pixels.
    {"ImageDimensionsAreCutTo16Bits",
     [](KVGF_State *st) {
         const KVG_Color pixels[] = {0x010203};
         return KVGF_SetImage(st, 0x10001, 1, pixels);
     },
     "6D 00 01 00 01 01 02 03"},
    {"EmptyImage", [](KVGF_State *st) { return KVGF_SetImage(st, 0, 5, nullptr); },
     "6D 00 00 00 05"},
    {"BeginShapeWritesAnAbsoluteCorner",
     [](KVGF_State *st) {
         st->point_size = 16;
         return KVGF_BeginSetShape(st, 10, 20);
     },
     "6F 0A 14"},
    {"EndShape", [](KVGF_State *st) { return KVGF_EndSetShape(st); }, "70"},
};

class DefinitionRecordBytes : public ::testing::TestWithParam<BytesCase> {};

TEST_P(DefinitionRecordBytes, AreExact) {
    StreamFixture s;
    ASSERT_EQ(GetParam().write(s.state()), 0) << s.message();
    EXPECT_EQ(hex(s.bytes()), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(All, DefinitionRecordBytes, ::testing::ValuesIn(kRecords),
                         [](const auto &info) { return std::string(info.param.name); });

struct RefusalCase {
    const char *name;
    int (*write)(KVGF_State *);
    const char *message;  // empty: refused without a message, like a point that does not fit
    int code;
};

const uint32_t kTooLong[] = {4194304};

const RefusalCase kRefusals[] = {
    {"EdgeNullArrayIsCheckedFirst",
     [](KVGF_State *st) { return KVGF_SetEdge(st, 0, 0, nullptr, 0, nullptr, nullptr); },
     "Relative point array is NULL", KVG_ERR_PARAM},
    {"EdgeWithoutSegments",
     [](KVGF_State *st) { return KVGF_SetEdge(st, 0, 0, kUnitSteps, 0, nullptr, nullptr); },
     "Segment count is zero", KVG_ERR_PARAM},
    {"EdgeSegmentSizeNotARelativeSize",
     [](KVGF_State *st) {
         const uint8_t sizes[] = {3, 5};
         const uint32_t counts[] = {1, 1};
         return KVGF_SetEdge(st, 0, 0, kUnitSteps, 2, sizes, counts);
     },
     "Invalid relative point size in edge segment", KVG_ERR_PARAM},
    {"EdgeSegmentWithoutDifferences",
     [](KVGF_State *st) {
         const uint32_t counts[] = {2, 0};
         return KVGF_SetEdge(st, 0, 0, kMixedSteps, 2, kThreeThenSixteen, counts);
     },
     "Relative point array has zero length", KVG_ERR_PARAM},
    // The count is refused before a single difference is read.
    {"EdgeSegmentBeyondOneSize",
     [](KVGF_State *st) { return KVGF_SetEdge(st, 0, 0, kUnitSteps, 1, kThreeBits, kTooLong); },
     "Size KVG type limit exceeded", KVG_ERR_LIMITS},
    {"EdgeStartPointDoesNotFit",
     [](KVGF_State *st) {
         st->point_size = 16;
         return KVGF_SetEdge(st, 1000, 0, kUnitSteps, 1, kThreeBits, kTwo);
     },
     "", KVG_ERR_NONE},
    {"EdgeDifferenceDoesNotFitItsSegment",
     [](KVGF_State *st) {
         const double steps[] = {1, 0, 2, 0};
         return KVGF_SetEdge(st, 0, 0, steps, 1, kThreeBits, kTwo);
     },
     "", KVG_ERR_NONE},
    {"FaceEdgeListBeyondOneSize",
     [](KVGF_State *st) {
         const int32_t edges[] = {1};
         return KVGF_SetFace(st, 4194304, edges, 0, nullptr);
     },
     "Size KVG type limit exceeded", KVG_ERR_LIMITS},
    {"FaceHoleListBeyondOneSize",
     [](KVGF_State *st) {
         const uint32_t holes[] = {1};
         return KVGF_SetFace(st, 0, nullptr, 4194304, holes);
     },
     "Size KVG type limit exceeded", KVG_ERR_LIMITS},
    {"FaceEdgeReferenceBeyondAnSIdentifier",
     [](KVGF_State *st) {
         const int32_t edges[] = {1, 2097152};
         return KVGF_SetFace(st, 2, edges, 0, nullptr);
     },
     "SIdentifier KVG type limit exceeded", KVG_ERR_LIMITS},
    {"FaceHoleBeyondAnIdentifier",
     [](KVGF_State *st) {
         const int32_t edges[] = {1};
         const uint32_t holes[] = {4194304};
         return KVGF_SetFace(st, 1, edges, 1, holes);
     },
     "Identifier KVG type limit exceeded", KVG_ERR_LIMITS},
    // Every pixel is checked before the first byte: no partial image.
    {"ImageWithAnInvalidLastPixel",
     [](KVGF_State *st) {
         const KVG_Color pixels[] = {0x112233, 0x01000000};
         return KVGF_SetImage(st, 2, 1, pixels);
     },
     "Color KVG type invalid for current color size", KVG_ERR_LIMITS},
    {"ShapeFlat", [](KVGF_State *st) { return KVGF_BeginSetShape(st, 10, 0); },
     "Invalid bounding box dimensions", KVG_ERR_PARAM},
    {"ShapeNaN", [](KVGF_State *st) { return KVGF_BeginSetShape(st, NAN, 5); },
     "Invalid bounding box dimensions", KVG_ERR_PARAM},
    {"ShapeCornerDoesNotFit",
     [](KVGF_State *st) {
         st->point_size = 16;
         return KVGF_BeginSetShape(st, 200, 5);
     },
     "", KVG_ERR_NONE},
};

class DefinitionRecordRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(DefinitionRecordRefusals, WriteNothing) {
    StreamFixture s;
    EXPECT_EQ(GetParam().write(s.state()), -1);
    EXPECT_EQ(s.message(), GetParam().message);
    EXPECT_EQ(s.code(), GetParam().code);
    EXPECT_EQ(s.state()->rel_point_size, 32);
    EXPECT_EQ(hex(s.bytes()), "");
}

INSTANTIATE_TEST_SUITE_P(All, DefinitionRecordRefusals, ::testing::ValuesIn(kRefusals),
                         [](const auto &info) { return std::string(info.param.name); });

// The segment sizes are the record's own business: the stream's relative point size is what
// it was, also after a write that failed halfway through a segment.
TEST(DefinitionRecordEdge, KeepsTheStreamsRelativePointSize) {
    StreamFixture s;
    s.state()->rel_point_size = 8;
    ASSERT_EQ(KVGF_SetEdge(s.state(), 0, 0, kMixedSteps, 2, kThreeThenSixteen, kTwoThenOne), 0);
    EXPECT_EQ(s.state()->rel_point_size, 8);

    // 40,000 16-bit steps overflow the file's 64 KiB buffer inside the segment.
    const std::vector<double> steps(2 * 40000, 100.0);
    const uint8_t sizes[] = {16};
    const uint32_t counts[] = {40000};
    XIO_setFaultInjection(1, 0, 0);
    EXPECT_EQ(KVGF_SetEdge(s.state(), 0, 0, steps.data(), 1, sizes, counts), -1);
    XIO_setFaultInjection(0, 0, 0);
    EXPECT_EQ(s.message(), "I/O error");
    EXPECT_EQ(s.state()->rel_point_size, 8);
}

// A bit at a time, most significant first: the plainest reading of the record's layout.
class ReferenceBits {
public:
    void put(uint32_t value, int nbits) {
        for (int b = nbits - 1; b >= 0; --b) {
            if (nbit_ % 8 == 0) bytes.push_back(0);
            bytes.back() |= static_cast<uint8_t>(((value >> b) & 1u) << (7 - nbit_ % 8));
            ++nbit_;
        }
    }
    void align() { nbit_ = 8 * bytes.size(); }
    void count(uint32_t n) {
        align();
        if (n < 128) put(n, 8);
        else if (n < 16384) put(0x8000u | n, 16);
        else put(0xC00000u | n, 24);
    }
    Bytes bytes;

private:
    size_t nbit_ = 0;
};

// Edges of random segments in every whole-number size, long and short, back to back so that
// segments end at every bit of a byte and records cross the file's 64 KiB buffer, against the
// layout written a bit at a time.
TEST(DefinitionRecordEdge, RandomSegmentsMatchTheLayoutBitByBit) {
    const uint8_t kSizes[] = {3, 6, 8, 16, 24, 32};
    const int kHalf[] = {0, 3, 4, 8, 12, 16};  // field bits of a coordinate
    std::mt19937 rng(24);
    StreamFixture s;
    s.state()->point_size = 16;
    ReferenceBits expected;
    for (int edge = 0; edge < 400; ++edge) {
        const uint32_t nsegs = 1 + rng() % 6;
        std::vector<uint8_t> sizes;
        std::vector<uint32_t> counts;
        std::vector<double> steps;
        expected.align();
        expected.put(59, 8);  // the record's code
        expected.put(0, 16);  // its start point, (0, 0)
        expected.count(nsegs);
        for (uint32_t g = 0; g < nsegs; ++g) {
            const unsigned k = rng() % 6;
            const uint32_t n = rng() % 50 == 0 ? 16384 + rng() % 100 : 1 + rng() % 300;
            sizes.push_back(kSizes[k]);
            counts.push_back(n);
            expected.align();
            expected.put(kSizes[k], 8);
            expected.count(n);
            for (uint32_t i = 0; i < n; ++i) {
                if (k == 0) {
                    const uint32_t code = rng() % 8;  // the unit step of that direction
                    const int dx[] = {1, 1, 0, -1, -1, -1, 0, 1}, dy[] = {0, 1, 1, 1, 0, -1, -1, -1};
                    steps.insert(steps.end(), {double(dx[code]), double(dy[code])});
                    expected.put(code, 3);
                    continue;
                }
                const int32_t lo = -(1 << (kHalf[k] - 1)), span = 1 << kHalf[k];
                const int32_t x = lo + int32_t(rng() % span), y = lo + int32_t(rng() % span);
                steps.insert(steps.end(), {double(x), double(y)});
                const uint32_t mask = (1u << kHalf[k]) - 1u;
                expected.put((uint32_t(x) & mask) << kHalf[k] | (uint32_t(y) & mask),
                             2 * kHalf[k]);
            }
        }
        ASSERT_EQ(KVGF_SetEdge(s.state(), 0, 0, steps.data(), nsegs, sizes.data(), counts.data()),
                  0)
            << s.message();
    }
    EXPECT_EQ(s.bytes(), expected.bytes);
}

}  // namespace
}  // namespace kvgtest
