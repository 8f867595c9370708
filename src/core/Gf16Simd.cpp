// The region multiply with split-nibble tables: a word's product is the XOR of the products of
// its four nibbles, and each of those (low and high byte apart) is one PSHUFB lookup in a 16-byte
// table. The words' low and high bytes are first gathered into two registers (pack), looked up
// there, and interleaved again (unpack) before they are added to the destination. SSSE3 does 32
// bytes per step, AVX2 64 (the same in both 128-bit lanes, since pack and unpack work per lane).
// Only the functions marked with the target attribute use the instructions; the Has functions ask
// CPUID (and, for AVX2, whether the system saves the 256-bit registers). Works in 32-bit code.
#include "CpuFeatures.h"
#include "Gf16.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#define ZANDREL_HAVE_X86 1
#endif

using gf16detail::TFactor;

namespace {

// What the vector loops leave (under one step), word by word with the factor's powers of 2.
void Tail(uint8_t* dst, const uint8_t* src, size_t len, const TFactor& f)
{
    for (size_t i = 0; i + 1 < len; i += 2) {
        const unsigned w = src[i] | (src[i + 1] << 8);
        uint16_t p = 0;
        for (int k = 0; k < 16; ++k)
            if (w & (1u << k)) p ^= f.Pow2[k];
        dst[i] ^= static_cast<uint8_t>(p);
        dst[i + 1] ^= static_cast<uint8_t>(p >> 8);
    }
}

}  // namespace

#if ZANDREL_HAVE_X86

bool Gf16HasSsse3()
{
    const TCpuFeatures f = CpuFeatures();
    return f.Ssse3 && f.Sse2;
}

bool Gf16HasAvx2() { return Gf16HasSsse3() && CpuFeatures().Avx2; }

#if defined(__i386__)
// A 32-bit Windows caller may hand over a stack aligned to 4 bytes only; the vector spills need more.
#define ZANDREL_ALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define ZANDREL_ALIGN_STACK
#endif

namespace gf16detail {

__attribute__((target("ssse3"))) ZANDREL_ALIGN_STACK
void KernelSsse3(uint8_t* dst, const uint8_t* src, size_t len, const TFactor& f)
{
    __m128i t[8];
    for (int q = 0; q < 8; ++q) t[q] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(f.Nibble[q]));
    const __m128i lowByte = _mm_set1_epi16(0x00FF), nibble = _mm_set1_epi8(0x0F);
    size_t i = 0;
    for (; i + 32 <= len; i += 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16));
        const __m128i lo = _mm_packus_epi16(_mm_and_si128(a, lowByte), _mm_and_si128(b, lowByte));
        const __m128i hi = _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
        const __m128i n0 = _mm_and_si128(lo, nibble), n1 = _mm_and_si128(_mm_srli_epi16(lo, 4), nibble);
        const __m128i n2 = _mm_and_si128(hi, nibble), n3 = _mm_and_si128(_mm_srli_epi16(hi, 4), nibble);
        const __m128i rl = _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(t[0], n0), _mm_shuffle_epi8(t[2], n1)),
                                         _mm_xor_si128(_mm_shuffle_epi8(t[4], n2), _mm_shuffle_epi8(t[6], n3)));
        const __m128i rh = _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(t[1], n0), _mm_shuffle_epi8(t[3], n1)),
                                         _mm_xor_si128(_mm_shuffle_epi8(t[5], n2), _mm_shuffle_epi8(t[7], n3)));
        __m128i* d = reinterpret_cast<__m128i*>(dst + i);
        _mm_storeu_si128(d, _mm_xor_si128(_mm_loadu_si128(d), _mm_unpacklo_epi8(rl, rh)));
        _mm_storeu_si128(d + 1, _mm_xor_si128(_mm_loadu_si128(d + 1), _mm_unpackhi_epi8(rl, rh)));
    }
    Tail(dst + i, src + i, len - i, f);
}

__attribute__((target("avx2"))) ZANDREL_ALIGN_STACK
void KernelAvx2(uint8_t* dst, const uint8_t* src, size_t len, const TFactor& f)
{
    __m256i t[8];
    for (int q = 0; q < 8; ++q)
        t[q] = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(f.Nibble[q])));
    const __m256i lowByte = _mm256_set1_epi16(0x00FF), nibble = _mm256_set1_epi8(0x0F);
    size_t i = 0;
    for (; i + 64 <= len; i += 64) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 32));
        const __m256i lo = _mm256_packus_epi16(_mm256_and_si256(a, lowByte), _mm256_and_si256(b, lowByte));
        const __m256i hi = _mm256_packus_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8));
        const __m256i n0 = _mm256_and_si256(lo, nibble), n1 = _mm256_and_si256(_mm256_srli_epi16(lo, 4), nibble);
        const __m256i n2 = _mm256_and_si256(hi, nibble), n3 = _mm256_and_si256(_mm256_srli_epi16(hi, 4), nibble);
        const __m256i rl =
            _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(t[0], n0), _mm256_shuffle_epi8(t[2], n1)),
                             _mm256_xor_si256(_mm256_shuffle_epi8(t[4], n2), _mm256_shuffle_epi8(t[6], n3)));
        const __m256i rh =
            _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(t[1], n0), _mm256_shuffle_epi8(t[3], n1)),
                             _mm256_xor_si256(_mm256_shuffle_epi8(t[5], n2), _mm256_shuffle_epi8(t[7], n3)));
        __m256i* d = reinterpret_cast<__m256i*>(dst + i);
        _mm256_storeu_si256(d, _mm256_xor_si256(_mm256_loadu_si256(d), _mm256_unpacklo_epi8(rl, rh)));
        _mm256_storeu_si256(d + 1, _mm256_xor_si256(_mm256_loadu_si256(d + 1), _mm256_unpackhi_epi8(rl, rh)));
    }
    if (i < len) KernelSsse3(dst + i, src + i, len - i, f);
}

}  // namespace gf16detail

#undef ZANDREL_ALIGN_STACK

#else  // not x86

bool Gf16HasSsse3() { return false; }
bool Gf16HasAvx2() { return false; }

namespace gf16detail {

void KernelSsse3(uint8_t* dst, const uint8_t* src, size_t len, const TFactor& f) { Tail(dst, src, len, f); }
void KernelAvx2(uint8_t* dst, const uint8_t* src, size_t len, const TFactor& f) { Tail(dst, src, len, f); }

}  // namespace gf16detail

#endif
