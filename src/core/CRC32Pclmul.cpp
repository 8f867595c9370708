// CRC-32 by carry-less multiplication (PCLMULQDQ): the buffer is folded four 128-bit lanes at a
// time, 64 bytes per step, then into one lane; the remaining 16 bytes and the tail go through the
// slicing tables. Only the functions marked with the target attribute use the instructions, so the
// rest of the library runs on any x86 CPU; CRC32HasPclmul() tells whether this one may be called.
// Where the CPU has 256-bit carry-less multiplication (VPCLMULQDQ with AVX2), a second path folds
// 128 bytes per step: the checksum runs about twice as fast, and a split computes it twice per
// byte (over the data it copies, and over the source read back from disk).
// Everything here works in 32-bit code too (no 64-bit general-register moves).
#include "CRC32Core.h"
#include "CRC32Tables.h"
#include "CpuFeatures.h"

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#include <immintrin.h>
#include <wmmintrin.h>
#define ZANDREL_HAVE_PCLMUL 1
#endif

#if ZANDREL_HAVE_PCLMUL

bool CRC32HasPclmul()
{
    const TCpuFeatures f = CpuFeatures();
    return f.Pclmul && f.Sse41 && f.Sse2;
}

bool CRC32HasVpclmul()
{
    const TCpuFeatures f = CpuFeatures();
    return CRC32HasPclmul() && f.Avx2 && f.Vpclmul;
}

namespace {

using crc32detail::FoldConstant;

// Fold over 512 bits (four lanes) and over 128 bits (one lane): {low half, high half}.
constexpr uint64_t kFold4Lo = FoldConstant(512 + 32), kFold4Hi = FoldConstant(512 - 32);
constexpr uint64_t kFold1Lo = FoldConstant(128 + 32), kFold1Hi = FoldConstant(128 - 32);
static_assert(kFold4Lo == 0x154442BD4ull && kFold4Hi == 0x1C6E41596ull, "fold constants");
static_assert(kFold1Lo == 0x1751997D0ull && kFold1Hi == 0x0CCAA009Eull, "fold constants");
// Four 256-bit registers hold eight lanes; each lane moves forward by 1024 bits.
constexpr uint64_t kFold8Lo = FoldConstant(1024 + 32), kFold8Hi = FoldConstant(1024 - 32);

}  // namespace

#if defined(__i386__)
// A 32-bit Windows caller may hand over a stack aligned to 4 bytes only; the vector spills need 16.
#define ZANDREL_ALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define ZANDREL_ALIGN_STACK
#endif

// One lane moved forward and added to the data that lies there.
#define ZANDREL_FOLD(lane, k, next) \
    _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11)), next)

__attribute__((target("pclmul,sse4.1"))) ZANDREL_ALIGN_STACK
uint32_t CRC32UpdatePclmul(uint32_t crc, const void* data, size_t len)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    if (len < 64) return CRC32UpdateSlicing(crc, p, len);

    // The running value enters as if it had been added to the first four bytes.
    __m128i x0 = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
    p += 64;
    len -= 64;

    // 64-bit constants assembled from 32-bit halves: _mm_set_epi64x needs no 64-bit register on
    // i686 with GCC, but this spelling states it.
    const __m128i k4 = _mm_set_epi32(static_cast<int>(kFold4Hi >> 32), static_cast<int>(kFold4Hi & 0xFFFFFFFFu),
                                     static_cast<int>(kFold4Lo >> 32), static_cast<int>(kFold4Lo & 0xFFFFFFFFu));
    while (len >= 64) {
        x0 = ZANDREL_FOLD(x0, k4, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        x1 = ZANDREL_FOLD(x1, k4, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)));
        x2 = ZANDREL_FOLD(x2, k4, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)));
        x3 = ZANDREL_FOLD(x3, k4, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)));
        p += 64;
        len -= 64;
    }

    const __m128i k1 = _mm_set_epi32(static_cast<int>(kFold1Hi >> 32), static_cast<int>(kFold1Hi & 0xFFFFFFFFu),
                                     static_cast<int>(kFold1Lo >> 32), static_cast<int>(kFold1Lo & 0xFFFFFFFFu));
    x0 = ZANDREL_FOLD(x0, k1, x1);
    x0 = ZANDREL_FOLD(x0, k1, x2);
    x0 = ZANDREL_FOLD(x0, k1, x3);
    while (len >= 16) {
        x0 = ZANDREL_FOLD(x0, k1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        p += 16;
        len -= 16;
    }

    // The folded lane has the same remainder as everything read so far, with the running value
    // already inside: its CRC from a zero register is the running value at this point.
    alignas(16) unsigned char lane[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(lane), x0);
    crc = CRC32UpdateSlicing(0, lane, 16);
    return CRC32UpdateSlicing(crc, p, len);
}

#define ZANDREL_FOLD256(lane, k, next) \
    _mm256_xor_si256(_mm256_xor_si256(_mm256_clmulepi64_epi128(lane, k, 0x00), _mm256_clmulepi64_epi128(lane, k, 0x11)), next)

namespace {

// 32 bytes from anywhere, no alignment asked.
__attribute__((target("avx2"), always_inline)) inline __m256i Load256(const unsigned char* at)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

}  // namespace

// The same folding, 128 bytes per step in four 256-bit registers (two lanes each). The eight
// lanes are then folded into one, and what is left (under 128 bytes) goes the 128-bit way.
__attribute__((target("avx2,vpclmulqdq,pclmul,sse4.1"))) ZANDREL_ALIGN_STACK
uint32_t CRC32UpdateVpclmul(uint32_t crc, const void* data, size_t len)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    if (len < 256) return CRC32UpdatePclmul(crc, p, len);

    __m256i x0 = _mm256_xor_si256(Load256(p), _mm256_set_epi32(0, 0, 0, 0, 0, 0, 0, static_cast<int>(crc)));
    __m256i x1 = Load256(p + 32);
    __m256i x2 = Load256(p + 64);
    __m256i x3 = Load256(p + 96);
    p += 128;
    len -= 128;

    const __m256i k8 = _mm256_set_epi32(static_cast<int>(kFold8Hi >> 32), static_cast<int>(kFold8Hi & 0xFFFFFFFFu),
                                        static_cast<int>(kFold8Lo >> 32), static_cast<int>(kFold8Lo & 0xFFFFFFFFu),
                                        static_cast<int>(kFold8Hi >> 32), static_cast<int>(kFold8Hi & 0xFFFFFFFFu),
                                        static_cast<int>(kFold8Lo >> 32), static_cast<int>(kFold8Lo & 0xFFFFFFFFu));
    while (len >= 128) {
        x0 = ZANDREL_FOLD256(x0, k8, Load256(p));
        x1 = ZANDREL_FOLD256(x1, k8, Load256(p + 32));
        x2 = ZANDREL_FOLD256(x2, k8, Load256(p + 64));
        x3 = ZANDREL_FOLD256(x3, k8, Load256(p + 96));
        p += 128;
        len -= 128;
    }

    // The eight lanes in the order of their bytes, folded into the first one by one lane each.
    const __m128i k1 = _mm_set_epi32(static_cast<int>(kFold1Hi >> 32), static_cast<int>(kFold1Hi & 0xFFFFFFFFu),
                                     static_cast<int>(kFold1Lo >> 32), static_cast<int>(kFold1Lo & 0xFFFFFFFFu));
    __m128i acc = _mm256_castsi256_si128(x0);
    acc = ZANDREL_FOLD(acc, k1, _mm256_extracti128_si256(x0, 1));
    acc = ZANDREL_FOLD(acc, k1, _mm256_castsi256_si128(x1));
    acc = ZANDREL_FOLD(acc, k1, _mm256_extracti128_si256(x1, 1));
    acc = ZANDREL_FOLD(acc, k1, _mm256_castsi256_si128(x2));
    acc = ZANDREL_FOLD(acc, k1, _mm256_extracti128_si256(x2, 1));
    acc = ZANDREL_FOLD(acc, k1, _mm256_castsi256_si128(x3));
    acc = ZANDREL_FOLD(acc, k1, _mm256_extracti128_si256(x3, 1));

    alignas(16) unsigned char lane[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(lane), acc);
    crc = CRC32UpdateSlicing(0, lane, 16);
    return CRC32UpdatePclmul(crc, p, len);
}

#undef ZANDREL_FOLD256
#undef ZANDREL_FOLD

#else  // not x86

bool CRC32HasPclmul() { return false; }
bool CRC32HasVpclmul() { return false; }
uint32_t CRC32UpdatePclmul(uint32_t crc, const void* data, size_t len) { return CRC32UpdateSlicing(crc, data, len); }
uint32_t CRC32UpdateVpclmul(uint32_t crc, const void* data, size_t len) { return CRC32UpdateSlicing(crc, data, len); }

#endif

namespace {

using UpdateFn = uint32_t (*)(uint32_t, const void*, size_t);

UpdateFn ChooseUpdate()
{
    if (CRC32HasVpclmul()) return CRC32UpdateVpclmul;
    return CRC32HasPclmul() ? CRC32UpdatePclmul : CRC32UpdateSlicing;
}

}  // namespace

uint32_t CRC32Update(uint32_t crc, const void* data, size_t len)
{
    static const UpdateFn fn = ChooseUpdate();   // CPUID once
    return fn(crc, data, len);
}
