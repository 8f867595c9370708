// MD5 as RFC 1321 describes it: 64-byte blocks, four rounds of sixteen steps, the length in bits
// appended little-endian after a 0x80 byte and zeros.
#include "Md5.h"

#include <cstring>

namespace {

// Step constants: the integer part of 2^32 * |sin(i + 1)|.
const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
// Left rotations, four per round.
const uint8_t kShift[16] = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

inline uint32_t Rotl(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t Le32(const uint8_t* p)
{
    return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// The four rounds' functions and message word orders.
inline uint32_t F1(uint32_t b, uint32_t c, uint32_t d) { return (b & c) | (~b & d); }
inline uint32_t F2(uint32_t b, uint32_t c, uint32_t d) { return (d & b) | (~d & c); }
inline uint32_t F3(uint32_t b, uint32_t c, uint32_t d) { return b ^ c ^ d; }
inline uint32_t F4(uint32_t b, uint32_t c, uint32_t d) { return c ^ (b | ~d); }
constexpr unsigned G1(unsigned i) { return i; }
constexpr unsigned G2(unsigned i) { return (5 * i + 1) % 16; }
constexpr unsigned G3(unsigned i) { return (3 * i + 5) % 16; }
constexpr unsigned G4(unsigned i) { return (7 * i) % 16; }

}  // namespace

TMd5::TMd5() : State{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}, Length(0), Pending{}, PendingLen(0) {}

void TMd5::Block(const uint8_t* p)
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = Le32(p + 4 * i);
    uint32_t a = State[0], b = State[1], c = State[2], d = State[3];
    // Sixteen steps a round, the four registers taking turns; F is the round's function of three
    // registers, G picks the message word of step i.
#define ZANDREL_MD5_STEP(F, G, a, b, c, d, i) \
    a = b + Rotl(a + F(b, c, d) + kSine[i] + x[G(i)], kShift[(i) / 16 * 4 + (i) % 4])
#define ZANDREL_MD5_QUAD(F, G, i)                   \
    ZANDREL_MD5_STEP(F, G, a, b, c, d, (i));     \
    ZANDREL_MD5_STEP(F, G, d, a, b, c, (i) + 1); \
    ZANDREL_MD5_STEP(F, G, c, d, a, b, (i) + 2); \
    ZANDREL_MD5_STEP(F, G, b, c, d, a, (i) + 3)
#define ZANDREL_MD5_ROUND(F, G, i) \
    ZANDREL_MD5_QUAD(F, G, i);     \
    ZANDREL_MD5_QUAD(F, G, i + 4); \
    ZANDREL_MD5_QUAD(F, G, i + 8); \
    ZANDREL_MD5_QUAD(F, G, i + 12)
    ZANDREL_MD5_ROUND(F1, G1, 0);
    ZANDREL_MD5_ROUND(F2, G2, 16);
    ZANDREL_MD5_ROUND(F3, G3, 32);
    ZANDREL_MD5_ROUND(F4, G4, 48);
#undef ZANDREL_MD5_ROUND
#undef ZANDREL_MD5_QUAD
#undef ZANDREL_MD5_STEP
    State[0] += a;
    State[1] += b;
    State[2] += c;
    State[3] += d;
}

void TMd5::Update(const void* data, size_t len)
{
    if (len == 0) return;  // (data may then be null)
    const uint8_t* p = static_cast<const uint8_t*>(data);
    Length += len;
    if (PendingLen > 0) {
        const size_t take = len < 64 - PendingLen ? len : 64 - PendingLen;
        std::memcpy(Pending + PendingLen, p, take);
        PendingLen += take;
        p += take;
        len -= take;
        if (PendingLen < 64) return;
        Block(Pending);
        PendingLen = 0;
    }
    for (; len >= 64; p += 64, len -= 64) Block(p);
    if (len > 0) std::memcpy(Pending, p, len);
    PendingLen = len;
}

TMd5Digest TMd5::Final()
{
    const uint64_t bits = Length * 8;
    uint8_t tail[72] = {0x80};
    const size_t pad = (PendingLen < 56 ? 56 : 120) - PendingLen;
    for (int i = 0; i < 8; ++i) tail[pad + i] = static_cast<uint8_t>(bits >> (8 * i));
    Update(tail, pad + 8);
    TMd5Digest digest;
    for (int i = 0; i < 16; ++i) digest[i] = static_cast<uint8_t>(State[i / 4] >> (8 * (i % 4)));
    *this = TMd5();
    return digest;
}

TMd5Digest Md5Of(const void* data, size_t len)
{
    TMd5 md5;
    md5.Update(data, len);
    return md5.Final();
}
