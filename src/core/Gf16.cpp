// GF(2^16): the log/antilog tables, the input slice constants, the table path of the region
// multiply and the choice of path.
#include "Gf16.h"

#include <vector>

namespace {

constexpr uint32_t kPolynomial = 0x1100B;
constexpr uint32_t kOrder = 65535;  // of the multiplicative group

struct TTables {
    uint16_t Log[65536];           // Log[0] unused
    uint16_t Exp[2 * kOrder];      // doubled, so that a sum of two logs needs no reduction
    uint16_t InputLog[Gf16InputConstantCount];

    TTables()
    {
        uint32_t x = 1;
        for (uint32_t n = 0; n < kOrder; ++n) {
            Exp[n] = Exp[n + kOrder] = static_cast<uint16_t>(x);
            Log[x] = static_cast<uint16_t>(n);
            x <<= 1;
            if (x & 0x10000) x ^= kPolynomial;
        }
        Log[0] = 0;
        uint32_t k = 0;
        for (uint32_t n = 0; n < kOrder; ++n)
            if (n % 3 && n % 5 && n % 17 && n % 257) InputLog[k++] = static_cast<uint16_t>(n);
    }
};

const TTables& Tables()
{
    static const TTables tables;  // 450 KB, built by the first caller
    return tables;
}

inline uint16_t Times2(uint16_t x)
{
    return static_cast<uint16_t>((x << 1) ^ ((x & 0x8000) ? (kPolynomial & 0xFFFF) : 0));
}

}  // namespace

uint16_t Gf16Mul(uint16_t a, uint16_t b)
{
    if (a == 0 || b == 0) return 0;
    const TTables& t = Tables();
    return t.Exp[t.Log[a] + t.Log[b]];
}

uint16_t Gf16Inv(uint16_t a)
{
    const TTables& t = Tables();
    return t.Exp[kOrder - t.Log[a]];
}

uint16_t Gf16Div(uint16_t a, uint16_t b)
{
    if (a == 0) return 0;
    const TTables& t = Tables();
    return t.Exp[t.Log[a] + kOrder - t.Log[b]];
}

uint16_t Gf16Pow(uint16_t a, uint32_t n)
{
    if (n == 0) return 1;
    if (a == 0) return 0;
    const TTables& t = Tables();
    return t.Exp[static_cast<uint64_t>(t.Log[a]) * n % kOrder];
}

uint16_t Gf16Exp(uint32_t n) { return Tables().Exp[n % kOrder]; }

uint16_t Gf16InputConstant(uint32_t k) { return Tables().Exp[Tables().InputLog[k]]; }

namespace gf16detail {

void Prepare(TFactor& f, uint16_t c)
{
    f.Pow2[0] = c;
    for (int k = 1; k < 16; ++k) f.Pow2[k] = Times2(f.Pow2[k - 1]);
    for (int q = 0; q < 4; ++q) {
        for (int v = 0; v < 16; ++v) {
            uint16_t p = 0;
            for (int bit = 0; bit < 4; ++bit)
                if (v & (1 << bit)) p ^= f.Pow2[4 * q + bit];
            f.Nibble[2 * q][v] = static_cast<uint8_t>(p);
            f.Nibble[2 * q + 1][v] = static_cast<uint8_t>(p >> 8);
        }
    }
}

// Two tables of 256 words: the product of c with the low byte and with the high byte of a word.
void KernelTable(uint8_t* dst, const uint8_t* src, size_t len, const TFactor& f)
{
    uint16_t low[256], high[256];
    low[0] = high[0] = 0;
    for (unsigned b = 1; b < 256; ++b) {
        unsigned bit = 0;
        while (!(b & (1u << bit))) ++bit;
        const unsigned rest = b & (b - 1);  // b without its lowest bit
        low[b] = low[rest] ^ f.Pow2[bit];
        high[b] = high[rest] ^ f.Pow2[bit + 8];
    }
    for (size_t i = 0; i + 1 < len; i += 2) {
        const uint16_t p = low[src[i]] ^ high[src[i + 1]];
        dst[i] ^= static_cast<uint8_t>(p);
        dst[i + 1] ^= static_cast<uint8_t>(p >> 8);
    }
}

}  // namespace gf16detail

using namespace gf16detail;

namespace {

// c = 0 adds nothing; c = 1 adds the source as it is.
bool Trivial(uint8_t* dst, const uint8_t* src, size_t len, uint16_t c)
{
    if (c == 0) return true;
    if (c != 1) return false;
    for (size_t i = 0; i + 1 < len; i += 2) {
        dst[i] ^= src[i];
        dst[i + 1] ^= src[i + 1];
    }
    return true;
}

void Run(TKernel kernel, void* dst, const void* src, size_t len, uint16_t c)
{
    uint8_t* d = static_cast<uint8_t*>(dst);
    const uint8_t* s = static_cast<const uint8_t*>(src);
    if (Trivial(d, s, len, c)) return;
    TFactor f;
    Prepare(f, c);
    kernel(d, s, len, f);
}

TKernel ChooseKernel()
{
    if (Gf16HasAvx2()) return KernelAvx2;
    return Gf16HasSsse3() ? KernelSsse3 : KernelTable;
}

TKernel Fastest()
{
    static const TKernel kernel = ChooseKernel();  // CPUID once
    return kernel;
}

}  // namespace

void Gf16MulAddTable(void* dst, const void* src, size_t len, uint16_t c) { Run(KernelTable, dst, src, len, c); }
void Gf16MulAddSsse3(void* dst, const void* src, size_t len, uint16_t c) { Run(KernelSsse3, dst, src, len, c); }
void Gf16MulAddAvx2(void* dst, const void* src, size_t len, uint16_t c) { Run(KernelAvx2, dst, src, len, c); }
void Gf16MulAdd(void* dst, const void* src, size_t len, uint16_t c) { Run(Fastest(), dst, src, len, c); }

void Gf16MulAddMany(void* dst, const void* const* srcs, const uint16_t* coefs, size_t count, size_t len)
{
    constexpr size_t kBlock = 16384;
    const TKernel kernel = Fastest();
    std::vector<TFactor> factors(count);
    for (size_t i = 0; i < count; ++i) Prepare(factors[i], coefs[i]);
    uint8_t* d = static_cast<uint8_t*>(dst);
    for (size_t at = 0; at < len; at += kBlock) {
        const size_t n = len - at < kBlock ? len - at : kBlock;
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* s = static_cast<const uint8_t*>(srcs[i]) + at;
            if (!Trivial(d + at, s, n, coefs[i])) kernel(d + at, s, n, factors[i]);
        }
    }
}
