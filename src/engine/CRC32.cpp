// CRC-32 of a whole file, read block by block from absolute offsets.
#include "CRC32.h"

#include <memory>

#include "CRC32Core.h"
#include "Files.h"

std::optional<uint32_t> CalcFileCRC32(const std::string& fileName, unsigned long* error, const TAfterBlock& afterBlock)
{
    // Reads are shared, writes are not: the split checksums its source while it still holds it
    // open for reading, and nobody may change the file underneath us.
    TInFile file;
    // The full 64-bit size and 64-bit positions: a file of 2 GiB or more is checksummed whole
    // rather than truncated or misread through a signed 32-bit size.
    std::optional<uint64_t> size;
    if (file.Open(fileName, TInFile::ReadSharedWithReaders)) size = file.Size();  // a length must be known
    if (!size) {
        if (error) *error = file.Error();
        return std::nullopt;
    }
    const uint64_t total = *size;

    std::unique_ptr<unsigned char[]> buffer(new unsigned char[CRCBlockSize]);
    uint32_t crc = 0xFFFFFFFFu;
    uint64_t pos = 0;
    do {
        // Every block starts at its own multiple of the block size, whatever the previous read
        // delivered; a failed read contributes nothing.
        DWORD got = 0;
        if (file.Seek(pos)) {
            const uint64_t left = total - pos;
            const DWORD want = static_cast<DWORD>(left < CRCBlockSize ? left : CRCBlockSize);
            file.Read(buffer.get(), want, got);
        }
        crc = CRC32Update(crc, buffer.get(), got);
        pos += CRCBlockSize;
        if (afterBlock && !afterBlock()) {
            if (error) *error = ERROR_CANCELLED;
            return std::nullopt;
        }
    } while (pos < total);
    return crc ^ 0xFFFFFFFFu;
}
