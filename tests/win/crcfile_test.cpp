// CalcFileCRC32 on real files: known values, block boundaries, sharing and handle release.
#include <gtest/gtest.h>

#include <windows.h>

#include "CRC32.h"
#include "CRC32Core.h"
#include "TestFiles.h"

using testfiles::TempDir;

namespace {

class CalcFileCRC32Test : public ::testing::Test {
protected:
    static void SetUpTestSuite() { BuildCRCTable(); }
    TempDir dir;
};

uint32_t MemoryCRC(const std::string& bytes)
{
    return CRC32UpdateBytewise(0xFFFFFFFFu, bytes.data(), bytes.size()) ^ 0xFFFFFFFFu;
}

}  // namespace

TEST_F(CalcFileCRC32Test, KnownValues)
{
    const struct { const char* name; std::string bytes; uint32_t crc; } cases[] = {
        {"check.txt", "123456789", 0xCBF43926u},
        {"empty.bin", "", 0u},
        {"one.bin", "a", 0xE8B7BE43u},
        {"fox.txt", "The quick brown fox jumps over the lazy dog", 0x414FA339u},
    };
    for (const auto& c : cases) {
        const std::string path = dir.File(c.name);
        testfiles::WriteFileBytes(path, c.bytes);
        const auto crc = CalcFileCRC32(path);
        ASSERT_TRUE(crc.has_value()) << c.name;
        EXPECT_EQ(*crc, c.crc) << c.name;
    }
}

TEST_F(CalcFileCRC32Test, BlockBoundariesMatchTheInMemoryChecksum)
{
    const size_t sizes[] = {1, CRCBlockSize - 2, CRCBlockSize - 1, CRCBlockSize, CRCBlockSize + 1,
                            2 * CRCBlockSize, 2 * CRCBlockSize + 1, 3 * CRCBlockSize + 7};
    uint32_t seed = 7;
    for (const size_t size : sizes) {
        const std::string bytes = testfiles::PatternBytes(size, seed++);
        const std::string path = dir.File("block" + std::to_string(size) + ".bin");
        testfiles::WriteFileBytes(path, bytes);
        const auto crc = CalcFileCRC32(path);
        ASSERT_TRUE(crc.has_value()) << size;
        EXPECT_EQ(*crc, MemoryCRC(bytes)) << "size " << size;
    }
}

TEST_F(CalcFileCRC32Test, AChangedLastByteChangesTheChecksum)
{
    // The one byte of the second block must take part.
    std::string bytes = testfiles::PatternBytes(CRCBlockSize + 1, 3);
    const std::string path = dir.File("tail.bin");
    testfiles::WriteFileBytes(path, bytes);
    const auto before = CalcFileCRC32(path);
    bytes.back() = static_cast<char>(bytes.back() ^ 0x01);
    testfiles::WriteFileBytes(path, bytes);
    const auto after = CalcFileCRC32(path);
    ASSERT_TRUE(before && after);
    EXPECT_NE(*before, *after);
    EXPECT_EQ(*after, MemoryCRC(bytes));
}

TEST_F(CalcFileCRC32Test, NoValueWhenTheFileCannotBeOpened)
{
    EXPECT_FALSE(CalcFileCRC32(dir.File("missing.bin")).has_value());
    EXPECT_FALSE(CalcFileCRC32(dir.File("nodir\\missing.bin")).has_value());
    EXPECT_FALSE(CalcFileCRC32(dir.Path()).has_value()) << "a directory is not a file";
    EXPECT_FALSE(CalcFileCRC32("").has_value());
}

TEST_F(CalcFileCRC32Test, SharingWithOtherHandles)
{
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
        HANDLE other = CreateFileA(path.c_str(), c.access, c.share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                   nullptr);
        ASSERT_NE(other, INVALID_HANDLE_VALUE) << c.what;
        const auto crc = CalcFileCRC32(path);
        CloseHandle(other);
        EXPECT_EQ(crc.has_value(), c.readable) << c.what;
        if (crc) {
            EXPECT_EQ(*crc, 0xCBF43926u) << c.what;
        }
    }
}

TEST_F(CalcFileCRC32Test, TheHandleIsClosedOnReturn)
{
    const std::string sizes[] = {"", "123456789", testfiles::PatternBytes(2 * CRCBlockSize + 5, 9)};
    int i = 0;
    for (const auto& bytes : sizes) {
        const std::string path = dir.File("closed" + std::to_string(i++) + ".bin");
        testfiles::WriteFileBytes(path, bytes);
        ASSERT_TRUE(CalcFileCRC32(path).has_value());
        // Nobody else may hold the file now: an exclusive open and a delete both succeed.
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << bytes.size();
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        EXPECT_TRUE(DeleteFileA(path.c_str())) << bytes.size();
    }
}

// The hook after every block runs while the file is still held (another program cannot write it
// meanwhile), once per block and never more; one that returns false abandons the pass.
TEST_F(CalcFileCRC32Test, AfterBlockRunsOncePerBlockWhileTheFileIsHeld)
{
    const struct { uint32_t size; int blocks; int stopAt; } cases[] = {
        {0, 1, 0},  {9, 1, 0},  {CRCBlockSize, 1, 0}, {CRCBlockSize + 1, 2, 0}, {2 * CRCBlockSize + 5, 3, 0},
        {9, 1, 1},  {2 * CRCBlockSize + 5, 3, 1},  {2 * CRCBlockSize + 5, 3, 3},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " bytes, stop at " + std::to_string(c.stopAt));
        const std::string bytes = testfiles::PatternBytes(c.size, 5);
        const std::string path = dir.File("hook" + std::to_string(i++) + ".bin");
        testfiles::WriteFileBytes(path, bytes);
        int calls = 0, held = 0;
        unsigned long error = ERROR_SUCCESS;
        const auto crc = CalcFileCRC32(path, &error, [&] {
            ++calls;
            HANDLE w = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (w == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) ++held;
            if (w != INVALID_HANDLE_VALUE) CloseHandle(w);
            return calls != c.stopAt;
        });
        EXPECT_EQ(held, calls);
        if (c.stopAt == 0) {
            EXPECT_EQ(calls, c.blocks);
            EXPECT_EQ(crc, std::optional<uint32_t>(MemoryCRC(bytes)));
        } else {
            EXPECT_EQ(calls, c.stopAt) << "no block read after the hook said stop";
            EXPECT_FALSE(crc.has_value());
            EXPECT_EQ(error, static_cast<unsigned long>(ERROR_CANCELLED));
        }
        EXPECT_TRUE(DeleteFileA(path.c_str())) << "closed on every path";
    }
}

TEST_F(CalcFileCRC32Test, FilesOfTwoGibibytesAndMoreAreReadWhole)
{
    // A sparse file of 2 GiB + 5 bytes: zeros, then a short tail at the very end. Neither the
    // sign of the size nor its upper half may cut the reading short.
    const std::string path = dir.File("big.bin");
    const uint64_t size = (uint64_t(1) << 31) + 5;
    const std::string tail = "TAIL!";
    {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(size - tail.size());
        DWORD written = 0;
        const bool ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) &&
                        WriteFile(h, tail.data(), static_cast<DWORD>(tail.size()), &written, nullptr) &&
                        written == tail.size();
        CloseHandle(h);
        if (!ok) GTEST_SKIP() << "cannot create a 2 GiB file here";
    }
    std::string zeros(1 << 20, '\0');
    uint32_t expected = 0xFFFFFFFFu;
    uint64_t left = size - tail.size();
    while (left > 0) {
        const size_t n = left < zeros.size() ? static_cast<size_t>(left) : zeros.size();
        expected = CRC32Update(expected, zeros.data(), n);
        left -= n;
    }
    expected = CRC32Update(expected, tail.data(), tail.size()) ^ 0xFFFFFFFFu;
    const auto crc = CalcFileCRC32(path);
    ASSERT_TRUE(crc.has_value());
    EXPECT_EQ(*crc, expected);
}
