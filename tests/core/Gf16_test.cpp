#include "Gf16.h"
#include "Rows.h"

#include <random>
#include <vector>

namespace {

// Carry-less product reduced by x^16 + x^12 + x^3 + x + 1, bit by bit.
uint16_t SlowMul(uint16_t a, uint16_t b)
{
    uint32_t r = 0;
    for (int k = 0; k < 16; ++k)
        if (b >> k & 1) r ^= uint32_t(a) << k;
    for (int k = 31; k >= 16; --k)
        if (r >> k & 1) r ^= 0x1100Bu << (k - 16);
    return static_cast<uint16_t>(r);
}

TEST(Gf16, ProductIsTheReducedCarrylessProduct)
{
    std::mt19937 rng(7);
    for (int n = 0; n < 100000; ++n) {
        const uint16_t a = static_cast<uint16_t>(rng()), b = static_cast<uint16_t>(rng());
        ASSERT_EQ(Gf16Mul(a, b), SlowMul(a, b)) << a << " * " << b;
    }
}

TEST(Gf16, EveryNonZeroTimesItsInverseIsOne)
{
    for (uint32_t a = 1; a < 65536; ++a) ASSERT_EQ(Gf16Mul(a, Gf16Inv(a)), 1) << a;
}

TEST(Gf16, QuotientUndoesTheProduct)
{
    std::mt19937 rng(8);
    for (int n = 0; n < 10000; ++n) {
        const uint16_t a = static_cast<uint16_t>(rng()), b = static_cast<uint16_t>(rng() | 1);
        ASSERT_EQ(Gf16Div(Gf16Mul(a, b), b), a);
    }
}

TEST(Gf16, TwoGeneratesAllNonZeroElementsInTurn)
{
    uint16_t x = 1;
    for (uint32_t n = 1; n <= 65535; ++n) {
        x = SlowMul(x, 2);
        ASSERT_EQ(Gf16Exp(n), x) << n;
        ASSERT_EQ(Gf16Pow(2, n), x) << n;
        ASSERT_EQ(x == 1, n == 65535) << n;
    }
}

struct ConstantRow {
    std::string name;
    uint32_t k = 0;
    uint16_t constant = 0;
};

class Gf16Constant : public ::testing::TestWithParam<ConstantRow> {};

TEST_P(Gf16Constant, InputSliceConstantSkipsMultiplesOf3_5_17_257)
{
    EXPECT_EQ(Gf16InputConstant(GetParam().k), GetParam().constant);
}

const ConstantRow kConstants[] = {
    {.name = "First", .k = 0, .constant = 2},         {.name = "Second", .k = 1, .constant = 4},
    {.name = "ThirdSkips3", .k = 2, .constant = 16},  {.name = "FourthSkips5And6", .k = 3, .constant = 128},
    {.name = "Fifth", .k = 4, .constant = 256},       {.name = "SixthSkips9And10", .k = 5, .constant = 2048},
    {.name = "LastIsTwoToThe65534", .k = 32767, .constant = 0x8805},
};
ZANDREL_ROWS(Gf16Constant, kConstants);

struct PathRow {
    std::string name;
    void (*mulAdd)(void*, const void*, size_t, uint16_t) = nullptr;
    bool (*available)() = nullptr;
};

class Gf16Region : public ::testing::TestWithParam<PathRow> {};

TEST_P(Gf16Region, RegionMultiplyAddsEachWordTimesTheFactor)
{
    if (GetParam().available && !GetParam().available()) GTEST_SKIP() << "this CPU lacks " << GetParam().name;
    std::mt19937 rng(9);
    std::vector<uint8_t> src(4100), dst(4100), expected;
    for (auto& b : src) b = static_cast<uint8_t>(rng());
    for (size_t len : {0, 2, 30, 62, 64, 66, 4098})
        for (uint16_t c : {0, 1, 2, 0x8000, 0xFFFF, 0x1234}) {
            for (auto& b : dst) b = static_cast<uint8_t>(rng());
            expected = dst;
            for (size_t i = 0; i < len; i += 2) {
                const uint16_t p = SlowMul(c, static_cast<uint16_t>(src[i] | src[i + 1] << 8));
                expected[i] ^= static_cast<uint8_t>(p);
                expected[i + 1] ^= static_cast<uint8_t>(p >> 8);
            }
            GetParam().mulAdd(dst.data(), src.data(), len, c);
            ASSERT_EQ(dst, expected) << len << " bytes times " << c;
        }
}

const PathRow kPaths[] = {
    {.name = "Table", .mulAdd = Gf16MulAddTable},
    {.name = "Ssse3", .mulAdd = Gf16MulAddSsse3, .available = Gf16HasSsse3},
    {.name = "Avx2", .mulAdd = Gf16MulAddAvx2, .available = Gf16HasAvx2},
    {.name = "Fastest", .mulAdd = Gf16MulAdd},
};
ZANDREL_ROWS(Gf16Region, kPaths);

TEST(Gf16, ManySourcesAddLikeOneAfterAnother)
{
    std::mt19937 rng(10);
    std::vector<std::vector<uint8_t>> srcs(3, std::vector<uint8_t>(40002));
    for (auto& s : srcs)
        for (auto& b : s) b = static_cast<uint8_t>(rng());
    const uint16_t coefs[] = {0x0102, 1, 0xFFFE};
    const void* ptrs[] = {srcs[0].data(), srcs[1].data(), srcs[2].data()};
    std::vector<uint8_t> many(40002, 0x5A), single(many);
    Gf16MulAddMany(many.data(), ptrs, coefs, 3, many.size());
    for (int k = 0; k < 3; ++k) Gf16MulAddTable(single.data(), ptrs[k], single.size(), coefs[k]);
    EXPECT_EQ(many, single);
}

}  // namespace
