// Tables and constants of the fast CRC-32 paths, all computed at compile time from the reflected
// polynomial 0xEDB88320 (internal to the core; CRCTable stays the reference table).
#pragma once
#include <array>
#include <cstdint>

namespace crc32detail {

constexpr uint32_t kPoly = 0xEDB88320u;

// T[0] is the classic byte table; T[k][b] is the CRC of byte b followed by k zero bytes, so a
// group of 16 bytes is folded with 16 independent lookups.
using SliceTables = std::array<std::array<uint32_t, 256>, 16>;

constexpr SliceTables MakeSliceTables()
{
    SliceTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kPoly : c >> 1;
        t[0][i] = c;
    }
    for (size_t k = 1; k < 16; ++k)
        for (uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}

inline constexpr SliceTables kSlice = MakeSliceTables();

// x^n mod P in the normal (non-reflected) bit order, P = x^32 + 0x04C11DB7.
constexpr uint32_t XPowModP(unsigned n)
{
    uint64_t r = 1;
    for (unsigned i = 0; i < n; ++i) {
        r <<= 1;
        if (r >> 32) r ^= 0x104C11DB7ull;
    }
    return static_cast<uint32_t>(r);
}

constexpr uint32_t Reverse32(uint32_t v)
{
    uint32_t r = 0;
    for (int i = 0; i < 32; ++i) r |= ((v >> i) & 1u) << (31 - i);
    return r;
}

// Carry-less multiply constant that moves 64 bits of a reflected 128-bit lane forward: the
// bit-reversed remainder x^n mod P, shifted left by one (a 33-bit value). For a fold over
// D bits the low half of a lane takes n = D + 32 and the high half n = D - 32.
constexpr uint64_t FoldConstant(unsigned n)
{
    return static_cast<uint64_t>(Reverse32(XPowModP(n))) << 1;
}

}  // namespace crc32detail
