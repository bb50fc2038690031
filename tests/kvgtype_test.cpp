// The encoding layer, byte by byte: the bit buffer and its alignment, variable-length integers,
// text, colours in every colour size, absolute and relative points in every size, angles and
// the header; and streams whose bytes can no longer be written.
#include "kvgtype.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "test_support.h"

namespace kvgtest {
namespace {

// ---- Bits and bytes ----

TEST(KvgTypeBits, BitsSharePaddedBytesUntilAnAlignedByte) {
    StreamFixture s;
    for (int bit : {KVG_TRUE, KVG_FALSE, KVG_TRUE, KVG_TRUE, KVG_FALSE}) {
        ASSERT_EQ(KVGT_Bit(s.state(), bit), 0);
    }
    ASSERT_EQ(KVGT_Byte(s.state(), 7), 0);
    for (int i = 0; i < 8; ++i) ASSERT_EQ(KVGT_Bit(s.state(), i % 3 == 0), 0);  // a whole byte
    ASSERT_EQ(KVGT_Flush(s.state()), 0);        // nothing pending: no byte
    ASSERT_EQ(KVGT_Byte(s.state(), 0x1FF), 0);  // only the low 8 bits count
    EXPECT_EQ(hex(s.bytes()), "B0 07 92 FF");
}

TEST(KvgTypeBits, RefusedBitWritesNothing) {
    StreamFixture s;
    EXPECT_EQ(KVGT_Bit(s.state(), 2), -1);
    EXPECT_EQ(s.code(), KVG_ERR_PARAM);
    EXPECT_EQ(s.message(), "Bit value must equal KVG_TRUE or KVG_FALSE");
    EXPECT_EQ(hex(s.bytes()), "");
}

TEST(KvgTypeBits, Uint16sAreAlignedAndHighByteFirst) {
    StreamFixture s;
    const uint16_t values[] = {0x1234, 0xFF01};
    ASSERT_EQ(KVGT_Bit(s.state(), KVG_TRUE), 0);
    ASSERT_EQ(KVGT_Uint16s(s.state(), values, 2), 0);
    EXPECT_EQ(KVGT_Uint16s(s.state(), nullptr, 1), -1);
    EXPECT_EQ(s.message(), "Unexpected NULL pointer");
    EXPECT_EQ(hex(s.bytes()), "80 12 34 FF 01");
}

// ---- Sizes and identifiers ----

struct VarIntCase {
    int64_t value;
    const char *bytes;  // "" when refused
};

void expectVarInts(const std::vector<VarIntCase> &cases,
                   const std::function<int(KVGF_State *, int64_t)> &write, const char *message) {
    for (const VarIntCase &c : cases) {
        SCOPED_TRACE(c.value);
        StreamFixture s;
        const bool refused = c.bytes[0] == '\0';
        EXPECT_EQ(write(s.state(), c.value), refused ? -1 : 0);
        if (refused) {
            EXPECT_EQ(s.code(), KVG_ERR_LIMITS);
            EXPECT_EQ(s.message(), message);
        }
        EXPECT_EQ(hex(s.bytes()), c.bytes);
    }
}

TEST(KvgTypeVarInt, SizesTakeTheShortestForm) {
    expectVarInts(
        {{0, "00"}, {127, "7F"}, {128, "80 80"}, {16383, "BF FF"}, {16384, "C0 40 00"},
         {4194303, "FF FF FF"}, {4194304, ""}, {0xFFFFFFFF, ""}},
        [](KVGF_State *st, int64_t v) { return KVGT_Size(st, static_cast<uint32_t>(v)); },
        "Size KVG type limit exceeded");
}

TEST(KvgTypeVarInt, IdentifiersHaveTheirOwnLimitMessage) {
    expectVarInts(
        {{300, "81 2C"}, {4194304, ""}},
        [](KVGF_State *st, int64_t v) { return KVGT_Identifier(st, static_cast<uint32_t>(v)); },
        "Identifier KVG type limit exceeded");
}

TEST(KvgTypeVarInt, SignedIdentifiersAreTwosComplementFields) {
    expectVarInts(
        {{-1, "7F"}, {63, "3F"}, {-64, "40"}, {64, "80 40"}, {-65, "BF BF"}, {8191, "9F FF"},
         {-8192, "A0 00"}, {-8193, "FF DF FF"}, {2097151, "DF FF FF"}, {-2097152, "E0 00 00"},
         {2097152, ""}, {-2097153, ""}},
        [](KVGF_State *st, int64_t v) { return KVGT_SIdentifier(st, static_cast<int32_t>(v)); },
        "SIdentifier KVG type limit exceeded");
}

TEST(KvgTypeVarInt, ListsAlignAndStopAtTheFirstRefusal) {
    StreamFixture s;
    const uint32_t ids[] = {1, 200, 4194304, 2};
    const int32_t sids[] = {-1, 100};
    ASSERT_EQ(KVGT_Bit(s.state(), KVG_TRUE), 0);
    ASSERT_EQ(KVGT_SIdentifiers(s.state(), sids, 2), 0);
    EXPECT_EQ(KVGT_Identifiers(s.state(), ids, 4), -1);
    EXPECT_EQ(s.message(), "Identifier KVG type limit exceeded");
    ASSERT_EQ(KVGT_Bit(s.state(), KVG_TRUE), 0);
    ASSERT_EQ(KVGT_Identifiers(s.state(), ids, 0), 0);  // only aligns
    EXPECT_EQ(KVGT_SIdentifiers(s.state(), nullptr, 0), -1);
    EXPECT_EQ(s.message(), "Unexpected NULL pointer");
    EXPECT_EQ(hex(s.bytes()), "80 7F 80 64 01 80 C8 80");
}

TEST(KvgTypeVarInt, TextIsItsLengthThenItsBytes) {
    StreamFixture s;
    ASSERT_EQ(KVGT_Text(s.state(), "abc", 3), 0);
    ASSERT_EQ(KVGT_Text(s.state(), "", 0), 0);
    ASSERT_EQ(KVGT_Text(s.state(), "a\0b", 3), 0);  // bytes as they are
    EXPECT_EQ(KVGT_Text(s.state(), nullptr, 1), -1);
    EXPECT_EQ(s.message(), "Unexpected NULL pointer");
    EXPECT_EQ(hex(s.bytes()), "03 61 62 63 00 03 61 00 62");
}

// ---- Colours ----

struct ColorCase {
    const char *name;
    int color_size;
    int palette_length;
    std::vector<KVG_Color> colors;  // written one after the other, the last possibly refused
    const char *bytes;
    bool last_refused;
};

class KvgTypeColor : public ::testing::TestWithParam<ColorCase> {};

TEST_P(KvgTypeColor, WritesTheBitsOfItsColourSize) {
    const ColorCase &c = GetParam();
    StreamFixture s;
    s.state()->color_size = static_cast<uint8_t>(c.color_size);
    s.state()->palette.length = c.palette_length;
    for (size_t i = 0; i < c.colors.size(); ++i) {
        const bool refused = c.last_refused && i + 1 == c.colors.size();
        EXPECT_EQ(KVGT_Color(s.state(), c.colors[i]), refused ? -1 : 0) << i;
    }
    if (c.last_refused) {
        EXPECT_EQ(s.code(), KVG_ERR_LIMITS);
        EXPECT_EQ(s.message(), "Color KVG type invalid for current color size");
    } else {
        EXPECT_EQ(s.code(), KVG_ERR_NONE);
    }
    EXPECT_EQ(hex(s.bytes()), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    KvgTypeColorSizes, KvgTypeColor,
    ::testing::Values(ColorCase{"Index1", KVG_COLOR_INDEX1, 2, {0, 1, 1, 2}, "60", true},
                      ColorCase{"Index1OneEntry", KVG_COLOR_INDEX1, 1, {0, 1}, "00", true},
                      ColorCase{"Index8", KVG_COLOR_INDEX8, 200, {0, 199, 200}, "00 C7", true},
                      ColorCase{"Gray8", KVG_COLOR_GRAY8, 0, {0x80, 0x100}, "80", true},
                      ColorCase{"Gray12", KVG_COLOR_GRAY12, 0, {0xABC, 0x123, 0x1000},
                                "AB C1 23", true},
                      ColorCase{"Gray16", KVG_COLOR_GRAY16, 0, {0xBEEF, 0x10000}, "BE EF", true},
                      ColorCase{"GrayAlpha", KVG_COLOR_GA, 0, {0x12345678}, "12 34 56 78", false},
                      ColorCase{"Rgb", KVG_COLOR_RGB, 0, {0x345678, 0x01000000}, "34 56 78", true},
                      ColorCase{"Rgba", KVG_COLOR_RGBA, 0, {0xFFFFFFFF}, "FF FF FF FF", false}),
    [](const ::testing::TestParamInfo<ColorCase> &info) { return info.param.name; });

TEST(KvgTypeColorSize, BeyondRgbaIsAnInternalFailure) {
    StreamFixture s;
    s.state()->color_size = 8;
    EXPECT_EQ(KVGT_Color(s.state(), 0), -1);
    EXPECT_EQ(s.code(), KVG_ERR_INTERNAL);
    EXPECT_EQ(s.message(), "Invalid color size found in state");
    EXPECT_EQ(hex(s.bytes()), "");
}

TEST(KvgTypeColorArray, CountByteThenPackedOrAlignedColours) {
    StreamFixture s;
    std::vector<KVG_Color> colors(256, 0x010203);
    ASSERT_EQ(KVGT_ColorArray(s.state(), colors.data(), 256), 0);
    const Bytes rgb = s.bytes();
    ASSERT_EQ(rgb.size(), 1u + 3 * 256);
    EXPECT_EQ(hex(Bytes(rgb.begin(), rgb.begin() + 4)), "FF 01 02 03");

    StreamFixture packed;
    packed.state()->color_size = KVG_COLOR_GRAY12;
    const KVG_Color grays[] = {0xABC, 0x123, 0xFFF};
    ASSERT_EQ(KVGT_Bit(packed.state(), KVG_TRUE), 0);
    ASSERT_EQ(KVGT_ColorArray(packed.state(), grays, 3), 0);
    EXPECT_EQ(hex(packed.bytes()), "80 02 AB C1 23 FF F0");
}

TEST(KvgTypeColorArray, BadCountIsReportedBeforeTheNullPointer) {
    for (uint32_t count : {0u, 257u}) {
        StreamFixture s;
        EXPECT_EQ(KVGT_ColorArray(s.state(), nullptr, count), -1);
        EXPECT_EQ(s.code(), KVG_ERR_LIMITS);
        EXPECT_EQ(s.message(), "ColorArray size exceeded");
        EXPECT_EQ(hex(s.bytes()), "");
    }
    StreamFixture s;
    EXPECT_EQ(KVGT_ColorArray(s.state(), nullptr, 1), -1);
    EXPECT_EQ(s.message(), "Unexpected NULL pointer");
}

// ---- Point sizes ----

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

struct SizeCase {
    double x, y;
    int size;
};

TEST(KvgTypePointSize, SmallestAbsoluteSize) {
    const SizeCase cases[] = {{127, -128, 16},   {-0.0, 0, 16},  {128, 0, 24},  {2047, -2048, 24},
                              {0, 2048, 32},     {32767, 0, 32}, {0.5, 0, 64},  {32768, 0, 64},
                              {1e37, -1e37, 64}, {1e38, 0, 128}, {NaN, 0, 128}, {0, Inf, 128}};
    for (const SizeCase &c : cases) {
        EXPECT_EQ(KVGT_MinPointSize(c.x, c.y), c.size) << c.x << ", " << c.y;
    }
}

TEST(KvgTypePointSize, SmallestRelativeSize) {
    const SizeCase cases[] = {{1, -1, 3},     {-1, 0, 3},     {0, 0, 6},     {3, -4, 6},
                              {4, 0, 8},      {-8, 7, 8},     {8, 0, 16},    {-128, 127, 16},
                              {128, 0, 24},   {0, -2049, 32}, {0.5, 0, 64},  {32768, 0, 64},
                              {1e38, 0, 128}, {NaN, 1, 128},  {-Inf, 0, 128}};
    for (const SizeCase &c : cases) {
        EXPECT_EQ(KVGT_MinRelPointSize(c.x, c.y), c.size) << c.x << ", " << c.y;
    }
}

// ---- Absolute points ----

struct PointCase {
    int size;
    double x, y;
    const char *bytes;
};

TEST(KvgTypePoint, LayoutOfEverySize) {
    const PointCase cases[] = {
        {16, -128, 127, "80 7F"},
        {24, -1, 2, "FF F0 02"},
        {24, 2047, -2048, "7F F8 00"},
        {32, -2, 300, "FF FE 01 2C"},
        {64, 1.5, -2, "3F C0 00 00 C0 00 00 00"},
        {64, 0.1, 0, "3D CC CC CD 00 00 00 00"},  // rounded to nearest
        {128, 1, -0.0, "3F F0 00 00 00 00 00 00 80 00 00 00 00 00 00 00"},
    };
    for (const PointCase &c : cases) {
        SCOPED_TRACE(c.bytes);
        StreamFixture s;
        s.state()->point_size = static_cast<uint8_t>(c.size);
        ASSERT_EQ(KVGT_Bit(s.state(), KVG_TRUE), 0);  // points align
        ASSERT_EQ(KVGT_Point(s.state(), c.x, c.y), 0);
        EXPECT_EQ(hex(s.bytes()), std::string("80 ") + c.bytes);
    }
}

TEST(KvgTypePoint, PointBeyondTheSizeFailsSilently) {
    StreamFixture s;
    s.state()->point_size = 16;
    ASSERT_EQ(KVGT_Bit(s.state(), KVG_TRUE), 0);
    EXPECT_EQ(KVGT_Point(s.state(), 1000, 0), -1);
    EXPECT_EQ(KVGT_VerifyPoint(s.state(), 1000, 0), -1);
    EXPECT_EQ(KVGT_VerifyPoint(s.state(), 127, 0), 0);
    EXPECT_EQ(s.code(), KVG_ERR_NONE);
    EXPECT_EQ(KVGE_getContextDescription(s.error()), nullptr);
    EXPECT_EQ(s.state()->bit, 1);  // not even aligned
    EXPECT_EQ(hex(s.bytes()), "80");
}

TEST(KvgTypePoint, ArraysCountTheirPoints) {
    StreamFixture s;
    s.state()->point_size = 16;
    const double points[] = {1, 2, -1, -2};
    EXPECT_EQ(KVGT_PointArray(s.state(), points, 0), -1);
    EXPECT_EQ(KVGT_PointArray(s.state(), nullptr, 1), -1);
    ASSERT_EQ(KVGT_PointArray(s.state(), points, 2), 0);
    EXPECT_EQ(s.code(), KVG_ERR_NONE);
    EXPECT_EQ(hex(s.bytes()), "02 01 02 FF FE");
}

// A refused point leaves nothing, not even the count and the points before it.
TEST(KvgTypePoint, ArrayWithAPointBeyondTheSizeWritesNothing) {
    StreamFixture s;
    s.state()->point_size = 16;
    const double points[] = {1, 2, 500, 0};
    EXPECT_EQ(KVGT_PointArray(s.state(), points, 2), -1);
    EXPECT_EQ(s.code(), KVG_ERR_NONE);
    EXPECT_EQ(hex(s.bytes()), "");
}

TEST(KvgTypeHeader, SignatureSizesFourPointsAndBackground) {
    StreamFixture s;
    s.state()->point_size = 24;
    s.state()->rel_point_size = 24;
    ASSERT_EQ(KVGT_Header(s.state(), 2000, 2000, -2048, -2048, 2047, 2047, 210, 297, 0xFFFFFF), 0);
    EXPECT_EQ(hex(s.bytes()),
              "4B 56 47 98 E1 00 00 04 18 18 7D 07 D0 80 08 00 7F F7 FF 0D 21 29 FF FF FF");
}

// ---- Relative points ----

struct RelPointCase {
    int size;
    std::vector<double> points;  // dx, dy pairs
    const char *bytes;           // after the count byte, flushed
};

const RelPointCase REL_POINT_CASES[] = {
    // Codes 0, 2, 5: 000 010 101, then a pending 1 that the flush completes.
    {3, {1, 0, 0, 1, -1, -1}, "0A 80"},
    // Eight codes fill exactly three bytes: 0..7 are 000 001 010 011 100 101 110 111.
    {3, {1, 0, 1, 1, 0, 1, -1, 1, -1, 0, -1, -1, 0, -1, 1, -1}, "05 39 77"},
    {6, {3, -4}, "70"},
    {6, {-4, 3, 0, 0, -1, -1, 1, 2}, "8C 0F CA"},  // 100011 000000 111111 001010
    {8, {-8, 7, 0, -1}, "87 0F"},
    {16, {-1, 2}, "FF 02"},
    {24, {-2048, 2047}, "80 07 FF"},
    {32, {-32768, 1}, "80 00 00 01"},
    {64, {1.5, -2}, "3F C0 00 00 C0 00 00 00"},
    {128, {0.5, 2}, "3F E0 00 00 00 00 00 00 40 00 00 00 00 00 00 00"},
};

class KvgTypeRelPoint : public ::testing::TestWithParam<RelPointCase> {};

TEST_P(KvgTypeRelPoint, ArrayIsTheCountThenEachDifference) {
    const RelPointCase &c = GetParam();
    StreamFixture s;
    s.state()->rel_point_size = static_cast<uint8_t>(c.size);
    const auto n = static_cast<uint32_t>(c.points.size() / 2);
    ASSERT_EQ(KVGT_RelPointArray(s.state(), c.points.data(), n), 0);
    EXPECT_EQ(hex(s.bytes()), hex({static_cast<uint8_t>(n)}) + " " + c.bytes);
}

// Single points take the same bits as an array's (the array's count aligns the stream).
TEST_P(KvgTypeRelPoint, SinglePointsMatchTheArray) {
    const RelPointCase &c = GetParam();
    StreamFixture s;
    s.state()->rel_point_size = static_cast<uint8_t>(c.size);
    for (size_t i = 0; i < c.points.size(); i += 2) {
        ASSERT_EQ(KVGT_RelPoint(s.state(), c.points[i], c.points[i + 1]), 0);
    }
    EXPECT_EQ(hex(s.bytes()), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(KvgTypeRelPointSizes, KvgTypeRelPoint,
                         ::testing::ValuesIn(REL_POINT_CASES),
                         [](const ::testing::TestParamInfo<RelPointCase> &info) {
                             return "Size" + std::to_string(info.param.size) + "_" +
                                    std::to_string(info.index);
                         });

TEST(KvgTypeRelPointStream, PackedPointsContinueAPendingByteAndAlignedOnesFlushIt) {
    StreamFixture s;
    s.state()->rel_point_size = 3;
    ASSERT_EQ(KVGT_Bit(s.state(), KVG_TRUE), 0);
    ASSERT_EQ(KVGT_RelPoint(s.state(), 1, 0), 0);    // 000
    ASSERT_EQ(KVGT_RelPoint(s.state(), 0, 1), 0);    // 010
    ASSERT_EQ(KVGT_RelPoint(s.state(), -1, -1), 0);  // 101, across the byte
    s.state()->rel_point_size = 8;
    ASSERT_EQ(KVGT_RelPoint(s.state(), -8, 7), 0);
    EXPECT_EQ(hex(s.bytes()), "85 40 87");
}

TEST(KvgTypeRelPointStream, DifferencesBeyondTheSizeFailSilently) {
    StreamFixture s;
    s.state()->rel_point_size = 3;
    EXPECT_EQ(KVGT_RelPoint(s.state(), 0, 0), -1);
    EXPECT_EQ(KVGT_RelPoint(s.state(), 2, 0), -1);
    EXPECT_EQ(KVGT_VerifyRelPoint(s.state(), 0, 0), -1);
    EXPECT_EQ(KVGT_VerifyRelPoint(s.state(), -1, 1), 0);
    EXPECT_EQ(KVGT_RelPointArray(s.state(), nullptr, 1), -1);
    const double points[] = {1, 0, 2, 0};
    EXPECT_EQ(KVGT_RelPointArray(s.state(), points, 0), -1);
    // The refused second difference keeps the count and the first one out of the stream.
    EXPECT_EQ(KVGT_RelPointArray(s.state(), points, 2), -1);
    // A size that is none of the eight writes nothing either.
    s.state()->rel_point_size = 7;
    EXPECT_EQ(KVGT_RelPointArray(s.state(), points, 1), -1);
    EXPECT_EQ(KVGT_RelPoint(s.state(), 1, 0), -1);
    EXPECT_EQ(s.code(), KVG_ERR_NONE);
    EXPECT_EQ(hex(s.bytes()), "");
}

TEST(KvgTypeRelPointStream, CountBeyondTheSizeLimitIsRecorded) {
    StreamFixture s;
    const double point[] = {1, 0};
    EXPECT_EQ(KVGT_RelPointArray(s.state(), point, KVGT_SIZE_MAX + 1), -1);
    EXPECT_EQ(s.code(), KVG_ERR_LIMITS);
    EXPECT_EQ(s.message(), "Size KVG type limit exceeded");
    EXPECT_EQ(hex(s.bytes()), "");
}

// ---- Angles ----

std::string angleBytes(int point_size, double degrees, int expected_result = 0) {
    StreamFixture s;
    s.state()->point_size = static_cast<uint8_t>(point_size);
    EXPECT_EQ(KVGT_Angle(s.state(), degrees), expected_result) << degrees;
    EXPECT_EQ(s.code(), KVG_ERR_NONE);
    return hex(s.bytes());
}

TEST(KvgTypeAngle, ScaledAndFlooredInSixteenBits) {
    const struct {
        double degrees;
        const char *bytes;
    } cases[] = {
        {0, "7F 00"},   {90, "00 7F"},  {180, "81 00"},
        {270, "FF 81"},  // the cosine is a tiny negative number, floored to -1
        {45, "59 59"},  {-90, "FF 81"}, {630, "FF 81"},
    };
    for (const auto &c : cases) EXPECT_EQ(angleBytes(16, c.degrees), c.bytes) << c.degrees;
}

TEST(KvgTypeAngle, OtherPointSizes) {
    EXPECT_EQ(angleBytes(24, 0), "7F F0 00");
    EXPECT_EQ(angleBytes(32, 90), "00 00 7F FF");
    EXPECT_EQ(angleBytes(64, 0), "3F 80 00 00 00 00 00 00");
    EXPECT_EQ(angleBytes(128, 0), "3F F0 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(angleBytes(40, 0, -1), "");
}

// The reduction into [0, 360) as the format defines it: repeated subtraction, then addition.
double reduceByLoop(double angle) {
    while (angle >= 360) angle -= 360;
    while (angle < 0) angle += 360;
    return angle;
}

std::string doubleBytes(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof v);
    Bytes bytes;
    for (int shift = 56; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<uint8_t>(bits >> shift));
    return hex(bytes);
}

// Whole turns, negative zero, remainders that round up to 360, values near the ends.
TEST(KvgTypeAngle, ReductionMatchesTheLoopBitForBit) {
    const double pi = 3.141592653589793;
    const double angles[] = {0.0,         -0.0,           -360.0,     -720.0,     720.0,
                             359.99999,   360.0,          -1e-20,     -0.1,       -359.9,
                             -360.1,      1e5 + 0.3,      -123456.789, 987654.3210987,
                             std::nextafter(360.0, 0.0), std::nextafter(0.0, -1.0), 1e-300};
    for (double angle : angles) {
        const double a = ((reduceByLoop(angle) / 360.0) * 2.0) * pi;
        EXPECT_EQ(angleBytes(128, angle), doubleBytes(std::cos(a)) + " " + doubleBytes(std::sin(a)))
            << angle;
    }
}

TEST(KvgTypeAngle, HugeAndInfiniteAnglesEndInBoundedTime) {
    EXPECT_EQ(angleBytes(16, 1e300).size(), std::string("00 00").size());
    EXPECT_EQ(angleBytes(16, Inf, -1), "");
    EXPECT_EQ(angleBytes(64, -Inf, -1), "");
    EXPECT_EQ(angleBytes(32, NaN, -1), "");
    const Bytes nan = fromHex(angleBytes(128, Inf));
    ASSERT_EQ(nan.size(), 16u);
    EXPECT_EQ(nan[0] & 0x7F, 0x7F);  // exponent all ones: not a number
    EXPECT_EQ(nan[8] & 0x7F, 0x7F);
}

// ---- Streams whose bytes can no longer be written ----

// A stream on a device that refuses every write; the file library buffers, so the refusal
// shows when its buffer drains.
class FullStream {
public:
    FullStream()
        : error_(KVGE_createContext("full")),
          file_(XIO_open("/dev/full", XIO_WRITE, XIO_PLAIN)),
          state_(file_ != nullptr ? KVGF_CreateState(file_, error_) : nullptr) {}
    ~FullStream() {
        if (file_ != nullptr) XIO_close(file_);
        if (state_ != nullptr) KVGF_DestroyState(state_);
        KVGE_destroyContext(error_);
    }
    FullStream(const FullStream &) = delete;
    FullStream &operator=(const FullStream &) = delete;
    KVGF_State *state() { return state_; }
    int code() { return KVGE_getContextCode(error_); }
    void clear() { KVGE_clearContext(error_); }

private:
    KVGE_Context *error_;
    XIO_File *file_;
    KVGF_State *state_;
};

// Every later call fails with "I/O error" and leaves the lost byte where it is.
void expectBrokenStreamStaysBroken(FullStream &full, uint8_t lost) {
    KVGF_State *st = full.state();
    const double steps[] = {1, 0, 0, 1};
    const std::function<int()> calls[] = {
        [st] { return KVGT_Bit(st, KVG_FALSE); },
        [st] { return KVGT_Flush(st); },
        [st] { return KVGT_Byte(st, 1); },
        [st] { return KVGT_Size(st, 5); },
        [st] { return KVGT_Color(st, 0x123456); },
        [st] { return KVGT_Point(st, 1, 1); },
        [st, &steps] { return KVGT_RelPoint(st, steps[0], steps[1]); },
        [st, &steps] { return KVGT_RelPointArray(st, steps, 2); },
    };
    for (size_t i = 0; i < std::size(calls); ++i) {
        full.clear();
        EXPECT_EQ(calls[i](), -1) << i;
        EXPECT_EQ(full.code(), KVG_ERR_SYSTEM) << i;
        EXPECT_EQ(st->bit, 8) << i;
        EXPECT_EQ(st->current, lost) << i;
    }
}

TEST(KvgTypeBrokenStream, LostByteOfSingleBitsStaysInTheBuffer) {
    FullStream full;
    ASSERT_NE(full.state(), nullptr);
    KVGF_State *st = full.state();
    st->point_size = 16;
    st->rel_point_size = 3;
    int result = 0;
    for (long i = 0; i < (1L << 24) && result == 0; ++i) result = KVGT_Bit(st, i % 2 == 0);
    ASSERT_EQ(result, -1);
    EXPECT_EQ(full.code(), KVG_ERR_SYSTEM);
    EXPECT_EQ(st->bit, 8);
    EXPECT_EQ(st->current, 0xAA);
    expectBrokenStreamStaysBroken(full, 0xAA);
}

TEST(KvgTypeBrokenStream, LostByteOfAPackedRunStaysInTheBuffer) {
    FullStream full;
    ASSERT_NE(full.state(), nullptr);
    KVGF_State *st = full.state();
    st->point_size = 16;
    st->rel_point_size = 6;
    // (1, 2) is 001 010: every byte of the run is 0x28, 0xA2 or 0x8A.
    std::vector<double> points;
    for (int i = 0; i < 200000; ++i) points.insert(points.end(), {1.0, 2.0});
    ASSERT_EQ(KVGT_RelPointArray(st, points.data(), 200000), -1);
    EXPECT_EQ(full.code(), KVG_ERR_SYSTEM);
    EXPECT_EQ(st->bit, 8);
    const uint8_t lost = st->current;
    EXPECT_TRUE(lost == 0x28 || lost == 0xA2 || lost == 0x8A) << int(lost);
    expectBrokenStreamStaysBroken(full, lost);
}

}  // namespace
}  // namespace kvgtest
