// CalcFileCRC32 on real files: block boundaries, the hook after each block, sharing, handle
// release and sizes beyond 2 GiB. The checksum's values are the core's (tests/core/CRC32_test.cpp).
#include <gtest/gtest.h>

#include <windows.h>

#include "CRC32.h"
#include "CRC32Core.h"
#include "EngineProbe.h"
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

}  // namespace

// Each size is read whole, with the in-memory checksum, and let go (the file can be deleted
// afterwards). The hook after every block runs while the file is still held (another program
// cannot write it meanwhile), once per block and never more; one that returns false abandons the
// pass.
TEST_F(CalcFileCRC32Test, BlocksTheHookTheHandleAndFilesOfTwoGibibytesAndMore)
{
    const struct { uint32_t size; int blocks; int stopAt; } cases[] = {
        {0, 1, 0}, {1, 1, 0}, {9, 1, 0}, {CRCBlockSize - 2, 1, 0}, {CRCBlockSize - 1, 1, 0}, {CRCBlockSize, 1, 0},
        {CRCBlockSize + 1, 2, 0}, {2 * CRCBlockSize, 2, 0}, {2 * CRCBlockSize + 1, 3, 0},
        {2 * CRCBlockSize + 5, 3, 0}, {3 * CRCBlockSize + 7, 4, 0}, {9, 1, 1}, {2 * CRCBlockSize + 5, 3, 1},
        {2 * CRCBlockSize + 5, 3, 3},
    };
    uint32_t seed = 5;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " bytes, stop at " + std::to_string(c.stopAt));
        const std::string bytes = testfiles::PatternBytes(c.size, seed++);
        const std::string path = dir.File("f" + std::to_string(seed) + ".bin");
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

    // A sparse file of 2 GiB + 5 bytes: zeros, then a short tail at the very end. Neither the
    // sign of the size nor its upper half may cut the reading short.
    const std::string path = dir.File("big.bin");
    const uint64_t size = (uint64_t(1) << 31) + 5;
    const std::vector<engineprobe::TMark> tail = {{size - 5, "TAIL!"}};
    engineprobe::MakeSparseFile(path, size, tail);
    EXPECT_EQ(CalcFileCRC32(path), std::optional<uint32_t>(engineprobe::Crc32Sparse(size, tail)));
}

TEST_F(CalcFileCRC32Test, NoValueWhenTheFileCannotBeOpenedOrIsNotShared)
{
    // A missing file, a missing directory, a directory (not a file), no name.
    for (const std::string& path : {dir.File("missing.bin"), dir.File("nodir\\missing.bin"), dir.Path(), std::string()})
        EXPECT_FALSE(CalcFileCRC32(path).has_value()) << '"' << path << '"';
    const std::string path = dir.File("shared.bin");
    testfiles::WriteFileBytes(path, "123456789");
    const struct { DWORD access, share; bool readable; const char* what; } cases[] = {
        {GENERIC_WRITE, 0, false, "writer that shares nothing"},
        {GENERIC_WRITE, FILE_SHARE_READ, false, "writer that shares reading"},
        {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, false, "writer that shares all"},
        {GENERIC_READ, 0, false, "reader that shares nothing"},
        {GENERIC_READ, FILE_SHARE_READ, true, "reader that shares reading (the split's source)"},
    };
    for (const auto& c : cases) {
        HANDLE other = Open(path, c.access, c.share);
        ASSERT_NE(other, INVALID_HANDLE_VALUE) << c.what;
        const auto crc = CalcFileCRC32(path);
        CloseHandle(other);
        EXPECT_EQ(crc, c.readable ? std::optional<uint32_t>(0xCBF43926u) : std::nullopt) << c.what;
    }
}
