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
    for (uint32_t a = 0; a < 65536; a += 97)
        for (uint32_t b = 1; b < 65536; b += 89) ASSERT_EQ(Gf16Mul(a, b), SlowMul(a, b)) << a << " * " << b;
}

TEST(Gf16, EveryNonZeroTimesItsInverseIsOne)
{
    for (uint32_t a = 1; a < 65536; ++a) ASSERT_EQ(Gf16Mul(a, Gf16Inv(a)), 1) << a;
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
    {.name = "First", .k = 0, .constant = 2},
    {.name = "ThirdSkips3", .k = 2, .constant = 16},
    {.name = "FourthSkips5And6", .k = 3, .constant = 128},
    {.name = "SixthSkips9And10", .k = 5, .constant = 2048},
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
    std::vector<uint8_t> src(40002), dst(40002), expected;
    for (auto& b : src) b = static_cast<uint8_t>(rng());
    for (size_t len : {0, 2, 30, 62, 64, 66, 40002})
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
    {.name = "ManyWithAZeroFactor", .mulAdd = [](void* d, const void* s, size_t n, uint16_t c) {
         const void* srcs[] = {s, s};
         const uint16_t coefs[] = {c, 0};
         Gf16MulAddMany(d, srcs, coefs, 2, n);
     }},
};
ZANDREL_ROWS(Gf16Region, kPaths);

}  // namespace
