#include "CRC32Core.h"

#include <iterator>

uint32_t CRCTable[256];

void BuildCRCTable()
{
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        CRCTable[i] = c;
    }
}

uint32_t CRC32UpdateBytewise(uint32_t crc, const void* data, size_t len)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < len; ++i) crc = CRCTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

uint32_t HexStrToInt(const std::string& text)
{
    uint32_t value = 0;
    const size_t n = text.size() < 8 ? text.size() : 8;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        uint32_t digit;
        if (c <= '9') digit = c - 48u;
        else if (c >= 'a' && c <= 'f') digit = c - 87u;  // lower case, as other tools write it
        else digit = c - 55u;
        value = value * 16u + digit;
    }
    return value;
}

std::string IntToHex(uint32_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    char buf[8];
    int n = 0;
    do { buf[n++] = digits[value & 0xF]; value >>= 4; } while (value != 0);
    return std::string(std::make_reverse_iterator(buf + n), std::make_reverse_iterator(buf));
}
