// CRC-32 of a whole file, read block by block from absolute offsets.
#include "CRC32.h"

#include <windows.h>

#include <memory>

#include "CRC32Core.h"
#include "WinHandles.h"

std::optional<uint32_t> CalcFileCRC32(const std::string& fileName)
{
    // Reads are shared, writes are not: the split checksums its source while it still holds it
    // open for reading, and nobody may change the file underneath us.
    TFileHandle file(CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return std::nullopt;

    // The full 64-bit size and 64-bit positions: a file of 2 GiB or more is checksummed whole
    // rather than truncated or misread through a signed 32-bit size.
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size)) return std::nullopt;  // not a file whose length is known
    const uint64_t total = static_cast<uint64_t>(size.QuadPart);

    std::unique_ptr<unsigned char[]> buffer(new unsigned char[CRCBlockSize]);
    uint32_t crc = 0xFFFFFFFFu;
    uint64_t pos = 0;
    do {
        // Every block starts at its own multiple of the block size, whatever the previous read
        // delivered; a failed read contributes nothing.
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(pos);
        DWORD got = 0;
        if (SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN)) {
            const uint64_t left = total - pos;
            const DWORD want = static_cast<DWORD>(left < CRCBlockSize ? left : CRCBlockSize);
            if (!ReadFile(file.Get(), buffer.get(), want, &got, nullptr)) got = 0;
        }
        crc = CRC32Update(crc, buffer.get(), got);
        pos += CRCBlockSize;
    } while (pos < total);
    return crc ^ 0xFFFFFFFFu;
}
