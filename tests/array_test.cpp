// The growable arrays: growth policy, storage reuse, element conversion and contract checks.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdint>
#include <vector>

#include "larray.h"
#include "ptarray.h"
#include "ucarray.h"
#include "ularray.h"

namespace {

// The three integer arrays share one implementation and are tested through one interface.
#define INT_ARRAY_OPS(NAME, TYPE, PREFIX, ELEM)                                                \
    struct NAME {                                                                              \
        using Array = TYPE;                                                                    \
        using Elem = ELEM;                                                                     \
        static constexpr auto create = PREFIX##Create;                                         \
        static constexpr auto destroy = PREFIX##Destroy;                                       \
        static constexpr auto add = PREFIX##Add;                                               \
        static constexpr auto get = PREFIX##Get;                                               \
        static constexpr auto reset = PREFIX##Reset;                                           \
        static constexpr auto truncate = PREFIX##Truncate;                                     \
        static std::vector<ELEM> contents(TYPE *a) {                                           \
            return {PREFIX##Pointer(a), PREFIX##Pointer(a) + PREFIX##Size(a)};                 \
        }                                                                                      \
    };
INT_ARRAY_OPS(UCharOps, UCharArray, uca, uint8_t)
INT_ARRAY_OPS(ULongOps, ULongArray, ula, uint32_t)
INT_ARRAY_OPS(LongOps, LongArray, la, int32_t)
#undef INT_ARRAY_OPS

template <typename Ops>
class ArrayInt : public ::testing::Test {
protected:
    using Elem = typename Ops::Elem;
    static Elem valueAt(size_t i) { return static_cast<Elem>(i * 7 + 1); }  // low bytes differ
    void fillTo(size_t count) {
        for (size_t i = arr->nvalues; i < count; ++i) Ops::add(arr, valueAt(i));
    }
    void TearDown() override { Ops::destroy(arr); }
    typename Ops::Array *arr = Ops::create(0);
};
using IntArrayOps = ::testing::Types<UCharOps, ULongOps, LongOps>;
TYPED_TEST_SUITE(ArrayInt, IntArrayOps);

TYPED_TEST(ArrayInt, GrowsTo16ThenDoublesBelow1024ThenAdds1024) {
    EXPECT_EQ(this->arr->values, nullptr);
    const struct { uint32_t count, capacity; } steps[] = {
        {0, 0},       {1, 16},      {16, 16},     {17, 32},    {1024, 1024},
        {1025, 2048}, {2048, 2048}, {2049, 3072}, {3073, 4096}};
    for (const auto &step : steps) {
        this->fillTo(step.count);
        EXPECT_EQ(this->arr->alloc_size, step.capacity) << "after " << step.count << " adds";
    }
    const auto values = TypeParam::contents(this->arr);  // every move kept what was stored
    for (size_t i = 0; i < values.size(); ++i) ASSERT_EQ(values[i], this->valueAt(i)) << i;
}

TYPED_TEST(ArrayInt, ResetTruncateAndGetKeepStorageAndFront) {
    this->fillTo(20);
    const auto all = TypeParam::contents(this->arr);
    const auto *storage = this->arr->values;
    TypeParam::truncate(this->arr, 20);
    EXPECT_EQ(TypeParam::contents(this->arr), all);
    TypeParam::truncate(this->arr, 2);
    EXPECT_EQ(TypeParam::contents(this->arr), std::vector(all.begin(), all.begin() + 2));
    typename TypeParam::Elem value = 0;
    TypeParam::get(this->arr, 1, &value);
    EXPECT_EQ(value, all[1]);
    TypeParam::get(this->arr, 1, nullptr);
    TypeParam::reset(this->arr);
    EXPECT_TRUE(TypeParam::contents(this->arr).empty());
    TypeParam::add(this->arr, 9);
    EXPECT_EQ(this->arr->values, storage);
    EXPECT_EQ(this->arr->alloc_size, 32u);
    EXPECT_EQ(TypeParam::contents(this->arr), std::vector<typename TypeParam::Elem>{9});
}

TEST(ArrayElements, AddStoresTheValueInTheElementType) {
    UCharArray *uca = ucaCreate(0);
    LongArray *la = laCreate(0);
    for (int value : {300, -1}) ucaAdd(uca, value);
    for (int32_t value : {INT32_MIN, -1}) laAdd(la, value);
    EXPECT_EQ(UCharOps::contents(uca), (std::vector<uint8_t>{44, 255}));
    EXPECT_EQ(LongOps::contents(la), (std::vector<int32_t>{INT32_MIN, -1}));
    ucaDestroy(uca);
    laDestroy(la);
}

TEST(ArrayPoint, CreatedWith32HoldsSixteenPointsThenGrowsLikeTheOthers) {
    PointArray *pa = paCreate(32);
    const struct { uint32_t points, capacity; } steps[] = {  // capacity in doubles
        {16, 32}, {17, 64}, {512, 1024}, {513, 2048}, {1025, 3072}};
    for (const auto &step : steps) {
        while (paSize(pa) < step.points) paAdd(pa, paSize(pa), -0.5 * paSize(pa));
        EXPECT_EQ(pa->alloc_size, step.capacity) << "after " << step.points << " points";
    }
    for (uint32_t n = 0; n < paSize(pa); ++n) {
        double x, y;
        paGet(pa, n, &x, &y);
        ASSERT_EQ(x, n);
        ASSERT_EQ(y, -0.5 * n);
    }
    paDestroy(pa);
}

TEST(ArrayPoint, FromZeroResetAndPartialGet) {
    PointArray *pa = paCreate(0);
    EXPECT_EQ(pa->coords, nullptr);
    paAdd(pa, 1, 2);
    EXPECT_EQ(pa->alloc_size, 16u);  // eight points
    const double *storage = paPointer(pa);
    paReset(pa);
    EXPECT_EQ(paSize(pa), 0u);
    paAdd(pa, 3, 4);
    paAdd(pa, 5, 6);
    EXPECT_EQ(paPointer(pa), storage);
    double x = 0, y = 0;
    paGet(pa, 1, &x, nullptr);
    paGet(pa, 0, nullptr, &y);
    paGet(pa, 0, nullptr, nullptr);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 4);
    EXPECT_EQ(std::vector(storage, storage + 4), (std::vector<double>{3, 4, 5, 6}));
    paDestroy(pa);
}

TEST(ArrayDeathTest, ContractViolationsStopNamingTheOperation) {
    UCharArray *arr = ucaCreate(0);
    PointArray *pa = paCreate(0);
    ucaAdd(arr, 1);
    paAdd(pa, 1, 1);
    EXPECT_DEATH(ucaGet(arr, 1, nullptr), "ucaGet.*n < arr->nvalues");
    EXPECT_DEATH(ucaTruncate(arr, 2), "ucaTruncate.*newsize <= arr->nvalues");
    EXPECT_DEATH(laAdd(nullptr, 1), "laAdd");
    EXPECT_DEATH(paGet(pa, 1, nullptr, nullptr), "paGet");
    EXPECT_DEATH(paGet(pa, 0x80000000u, nullptr, nullptr), "paGet");  // n * 2 wraps to 0
    EXPECT_DEATH(paAdd(nullptr, 0, 0), "paAdd");
    paDestroy(pa);
    ucaDestroy(arr);
}

TEST(ArrayDeathTest, ExhaustionStopsWithAMessageInsteadOfOverflowing) {
    uint8_t storage[1];
    UCharArray full{storage, UINT32_MAX, UINT32_MAX};
    EXPECT_DEATH(ucaAdd(&full, 1), "cannot hold more than 4294967295 elements");
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // they reserve much memory
    const auto createLargestIn1GiB = [] {  // 32 GiB of doubles
        const rlimit oneGiB{1u << 30, 1u << 30};
        setrlimit(RLIMIT_AS, &oneGiB);
        paCreate(UINT32_MAX);
    };
    EXPECT_DEATH(createLargestIn1GiB(), "out of memory: cannot allocate 34359738360 bytes");
#endif
}

}  // namespace
