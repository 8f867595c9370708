// The fast CRC-32 paths against the byte-wise reference, at any start address and register value,
// in one pass and in two chained parts.
#include "CRC32Core.h"

#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool tableBuilt = (BuildCRCTable(), true);
    (void)tableBuilt;
    if (size < 6) return 0;
    uint32_t init;
    std::memcpy(&init, data, 4);
    const size_t offset = data[4] & 15;
    const size_t cut = data[5];
    data += 6;
    size -= 6;

    // A heap block that ends exactly where the data ends, so ASan sees any read past it.
    std::unique_ptr<unsigned char[]> buf(new unsigned char[size + offset + (size + offset == 0)]);
    if (size) std::memcpy(buf.get() + offset, data, size);
    const unsigned char* p = buf.get() + offset;

    const uint32_t want = CRC32UpdateBytewise(init, p, size);
    if (CRC32UpdateSlicing(init, p, size) != want) abort();
    if (CRC32Update(init, p, size) != want) abort();
    if (CRC32HasPclmul() && CRC32UpdatePclmul(init, p, size) != want) abort();
    if (CRC32HasVpclmul() && CRC32UpdateVpclmul(init, p, size) != want) abort();

    const size_t first = size == 0 ? 0 : (cut * 37) % (size + 1);
    if (CRC32Update(CRC32Update(init, p, first), p + first, size - first) != want) abort();
    if (CRC32HasPclmul() && CRC32UpdatePclmul(CRC32UpdatePclmul(init, p, first), p + first, size - first) != want) abort();
    if (CRC32HasVpclmul() && CRC32UpdateVpclmul(CRC32UpdateVpclmul(init, p, first), p + first, size - first) != want) abort();
    return 0;
}
