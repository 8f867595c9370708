// Checksum text: HexStrToInt against the C library for hexadecimal digits, the digit rule for any
// other characters, and IntToHex against printf's upper-case form.
#include "CRC32Core.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const uint32_t got = HexStrToInt(text);

    const std::string head = text.substr(0, 8);
    uint32_t want = 0;
    bool allHex = true;
    for (unsigned char c : head) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        allHex = allHex && hex;
        const uint32_t digit = c <= '9' ? c - 48u : (c >= 'a' && c <= 'f') ? c - 87u : c - 55u;
        want = want * 16u + digit;
    }
    if (got != want) abort();
    if (allHex && !head.empty() && got != static_cast<uint32_t>(std::strtoul(head.c_str(), nullptr, 16))) abort();

    if (size >= 4) {
        uint32_t v;
        std::memcpy(&v, data, 4);
        char buf[16];
        std::snprintf(buf, sizeof buf, "%X", v);
        if (IntToHex(v) != buf || HexStrToInt(buf) != v) abort();
    }
    return 0;
}
