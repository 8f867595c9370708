// Slicing-by-16: sixteen table lookups per 16 bytes, independent of each other, so the CPU can
// overlap them. Portable C++; x86 is little-endian, and the loads below assume it.
#include "CRC32Core.h"
#include "CRC32Tables.h"

#include <cstring>

using crc32detail::kSlice;

uint32_t CRC32UpdateSlicing(uint32_t crc, const void* data, size_t len)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    while (len >= 16) {
        uint32_t w[4];
        std::memcpy(w, p, 16);
        const uint32_t a = w[0] ^ crc;
        crc = kSlice[15][a & 0xFF] ^ kSlice[14][(a >> 8) & 0xFF] ^ kSlice[13][(a >> 16) & 0xFF] ^ kSlice[12][a >> 24] ^
              kSlice[11][w[1] & 0xFF] ^ kSlice[10][(w[1] >> 8) & 0xFF] ^ kSlice[9][(w[1] >> 16) & 0xFF] ^ kSlice[8][w[1] >> 24] ^
              kSlice[7][w[2] & 0xFF] ^ kSlice[6][(w[2] >> 8) & 0xFF] ^ kSlice[5][(w[2] >> 16) & 0xFF] ^ kSlice[4][w[2] >> 24] ^
              kSlice[3][w[3] & 0xFF] ^ kSlice[2][(w[3] >> 8) & 0xFF] ^ kSlice[1][(w[3] >> 16) & 0xFF] ^ kSlice[0][w[3] >> 24];
        p += 16;
        len -= 16;
    }
    while (len--) crc = kSlice[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}
