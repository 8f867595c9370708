// CalcFileCRC32 on real files: block boundaries, the hook after each block, sharing, handle
// release and sizes beyond 2 GiB. The checksum's values are the core's (tests/core/CRC32_test.cpp).
#include <gtest/gtest.h>

#include <windows.h>

#include "CRC32.h"
#include "CRC32Core.h"
#include "EngineProbe.h"
#include "Rows.h"
#include "TestFiles.h"

using testfiles::TempDir;

namespace {

class CalcFileCRC32Test : public ::testing::Test {
protected:
    static void SetUpTestSuite() { BuildCRCTable(); }
    TempDir dir;
};

HANDLE Open(const std::string& path, DWORD access, DWORD share)
{
    return CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Each size is read whole, with the in-memory checksum, and let go (the file can be deleted
// afterwards). The hook after every block runs while the file is still held (another program
// cannot write it meanwhile), once per block and never more; one that returns false abandons the
// pass. stopAt: the hook's call that says stop (0: none does).
const struct TBlockRow { const char* name; uint32_t size; int blocks = 1; int stopAt = 0; } BlockRows[] = {
    {.name = "Empty", .size = 0},
    {.name = "OneByte", .size = 1},
    {.name = "NineBytes", .size = 9},
    {.name = "TwoShortOfABlock", .size = CRCBlockSize - 2},
    {.name = "OneShortOfABlock", .size = CRCBlockSize - 1},
    {.name = "OneBlock", .size = CRCBlockSize},
    {.name = "OneBlockAndOneByte", .size = CRCBlockSize + 1, .blocks = 2},
    {.name = "TwoBlocks", .size = 2 * CRCBlockSize, .blocks = 2},
    {.name = "TwoBlocksAndOneByte", .size = 2 * CRCBlockSize + 1, .blocks = 3},
    {.name = "TwoBlocksAndFiveBytes", .size = 2 * CRCBlockSize + 5, .blocks = 3},
    {.name = "ThreeBlocksAndSevenBytes", .size = 3 * CRCBlockSize + 7, .blocks = 4},
    {.name = "StopAfterTheOnlyBlock", .size = 9, .stopAt = 1},
    {.name = "StopAfterTheFirstOfThree", .size = 2 * CRCBlockSize + 5, .blocks = 3, .stopAt = 1},
    {.name = "StopAfterTheLastOfThree", .size = 2 * CRCBlockSize + 5, .blocks = 3, .stopAt = 3},
};
class CalcFileCRC32Blocks : public CalcFileCRC32Test, public ::testing::WithParamInterface<TBlockRow> {};
ZANDREL_ROWS(CalcFileCRC32Blocks, BlockRows);

// A file that cannot be opened has no value: a missing file or directory, a directory, no name
// (inDir: the path after the scratch directory, null for none). Nor has one that another program
// holds meanwhile, unless it is a reader that shares reading (as the split's source is held).
const struct TOpenRow {
    const char *name, *inDir = "\\shared.bin";
    DWORD access = 0, share = 0;  // the other program's handle; no access: none
    bool readable = false;
} OpenRows[] = {
    {.name = "MissingFile", .inDir = "\\missing.bin"},
    {.name = "MissingDirectory", .inDir = "\\nodir\\missing.bin"},
    {.name = "ADirectory", .inDir = ""},
    {.name = "NoName", .inDir = nullptr},
    {.name = "WriterSharingNothing", .access = GENERIC_WRITE},
    {.name = "WriterSharingReading", .access = GENERIC_WRITE, .share = FILE_SHARE_READ},
    {.name = "WriterSharingAll", .access = GENERIC_READ | GENERIC_WRITE, .share = FILE_SHARE_READ | FILE_SHARE_WRITE},
    {.name = "ReaderSharingNothing", .access = GENERIC_READ},
    {.name = "ReaderSharingReading", .access = GENERIC_READ, .share = FILE_SHARE_READ, .readable = true},
};
class CalcFileCRC32Open : public CalcFileCRC32Test, public ::testing::WithParamInterface<TOpenRow> {};
ZANDREL_ROWS(CalcFileCRC32Open, OpenRows);

}  // namespace

TEST_P(CalcFileCRC32Blocks, ReadsEachBlockOnceWithTheFileHeldThenLetsItGo)
{
    const TBlockRow& c = GetParam();
    const std::string bytes = testfiles::PatternBytes(c.size, c.size + 5);
    const std::string path = dir.File("f.bin");
    testfiles::WriteFileBytes(path, bytes);
    EXPECT_EQ(CalcFileCRC32(path), std::optional<uint32_t>(engineprobe::Crc32(bytes)));
    int calls = 0, held = 0;
    unsigned long error = ERROR_SUCCESS;
    const auto crc = CalcFileCRC32(path, &error, [&] {
        ++calls;
        HANDLE w = Open(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (w == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) ++held;
        if (w != INVALID_HANDLE_VALUE) CloseHandle(w);
        return calls != c.stopAt;
    });
    EXPECT_EQ(held, calls);
    if (c.stopAt == 0) {
        EXPECT_EQ(calls, c.blocks);
        EXPECT_EQ(crc, std::optional<uint32_t>(engineprobe::Crc32(bytes)));
    } else {
        EXPECT_EQ(calls, c.stopAt) << "no block read after the hook said stop";
        EXPECT_FALSE(crc.has_value());
        EXPECT_EQ(error, static_cast<unsigned long>(ERROR_CANCELLED));
    }
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "closed on every path, with a hook or without";
}

// A sparse file of 2 GiB + 5 bytes: zeros, then a short tail at the very end. Neither the sign of
// the size nor its upper half may cut the reading short.
TEST_F(CalcFileCRC32Test, AFileOfTwoGibibytesAndMoreIsReadToItsEnd)
{
    const std::string path = dir.File("big.bin");
    const uint64_t size = (uint64_t(1) << 31) + 5;
    const std::vector<engineprobe::TMark> tail = {{size - 5, "TAIL!"}};
    engineprobe::MakeSparseFile(path, size, tail);
    EXPECT_EQ(CalcFileCRC32(path), std::optional<uint32_t>(engineprobe::Crc32Sparse(size, tail)));
}

TEST_P(CalcFileCRC32Open, HasAValueOnlyForAFileItCanOpenAndRead)
{
    const TOpenRow& c = GetParam();
    testfiles::WriteFileBytes(dir.File("shared.bin"), "123456789");
    const std::string path = c.inDir ? dir.Path() + c.inDir : std::string();
    HANDLE other = c.access ? Open(path, c.access, c.share) : nullptr;
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    const auto crc = CalcFileCRC32(path);
    if (other) CloseHandle(other);
    EXPECT_EQ(crc, c.readable ? std::optional<uint32_t>(0xCBF43926u) : std::nullopt) << '"' << path << '"';
}
