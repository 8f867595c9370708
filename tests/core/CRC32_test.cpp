#include "CRC32Core.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using UpdateFn = uint32_t (*)(uint32_t, const void*, size_t);

struct Path {
    const char* name;
    UpdateFn fn;
};

std::vector<Path> Paths()
{
    std::vector<Path> paths = {{"bytewise", CRC32UpdateBytewise}, {"slicing", CRC32UpdateSlicing}, {"dispatch", CRC32Update}};
    if (CRC32HasPclmul()) paths.push_back({"pclmul", CRC32UpdatePclmul});
    if (CRC32HasVpclmul()) paths.push_back({"vpclmul", CRC32UpdateVpclmul});
    return paths;
}

class CRC32 : public ::testing::Test {
protected:
    static void SetUpTestSuite() { BuildCRCTable(); }
};

TEST_F(CRC32, TableIsTheStandardOne)
{
    EXPECT_EQ(CRCTable[0], 0u);
    EXPECT_EQ(CRCTable[1], 0x77073096u);
    EXPECT_EQ(CRCTable[128], 0xEDB88320u);
    EXPECT_EQ(CRCTable[255], 0x2D02EF8Du);
}

TEST_F(CRC32, KnownVectors)
{
    if (!CRC32HasPclmul()) GTEST_LOG_(INFO) << "this CPU has no PCLMULQDQ; that path is not tested";
    if (!CRC32HasVpclmul()) GTEST_LOG_(INFO) << "this CPU has no VPCLMULQDQ with AVX2; that path is not tested";
    const std::string a(1000, 'a');
    std::vector<unsigned char> zeros(4096, 0), ones(4096, 0xFF);
    for (const Path& path : Paths()) {
        SCOPED_TRACE(path.name);
        auto crc = [&](const void* d, size_t n) { return path.fn(0xFFFFFFFFu, d, n) ^ 0xFFFFFFFFu; };
        EXPECT_EQ(crc("", 0), 0u);
        EXPECT_EQ(crc("123456789", 9), 0xCBF43926u);
        EXPECT_EQ(crc("The quick brown fox jumps over the lazy dog", 43), 0x414FA339u);
        EXPECT_EQ(crc(a.data(), a.size()), CRC32UpdateBytewise(0xFFFFFFFFu, a.data(), a.size()) ^ 0xFFFFFFFFu);
        EXPECT_EQ(crc(zeros.data(), 4096), 0xC71C0011u);
        EXPECT_EQ(crc(ones.data(), 4096), CRC32UpdateBytewise(0xFFFFFFFFu, ones.data(), 4096) ^ 0xFFFFFFFFu);
    }
}

// Every length from 0 to 4096 at a few offsets, and every offset 0..15 for the short lengths
// where the fast paths switch between their vector, table and tail parts.
TEST_F(CRC32, FastPathsMatchTheReference)
{
    std::mt19937 rng(12345);
    std::vector<unsigned char> buf(4096 + 16 + 64);
    for (auto& b : buf) b = static_cast<unsigned char>(rng());
    const std::vector<Path> paths = Paths();
    for (size_t len = 0; len <= 4096; ++len) {
        for (size_t off = 0; off < 16; ++off) {
            if (len > 300 && off != 0 && off != 1 && off != 7 && off != 15) continue;
            const uint32_t init = static_cast<uint32_t>(rng());
            const uint32_t want = CRC32UpdateBytewise(init, buf.data() + off, len);
            for (size_t i = 1; i < paths.size(); ++i) {
                const uint32_t got = paths[i].fn(init, buf.data() + off, len);
                if (got != want) {
                    ADD_FAILURE() << paths[i].name << " len " << len << " offset " << off;
                    return;
                }
            }
        }
    }
}

TEST_F(CRC32, ChainedUnevenChunksEqualOnePass)
{
    std::mt19937 rng(777);
    std::vector<unsigned char> buf(1 << 20);
    for (auto& b : buf) b = static_cast<unsigned char>(rng());
    const uint32_t whole = CRC32UpdateBytewise(0xFFFFFFFFu, buf.data(), buf.size());
    const size_t chunks[] = {1, 3, 15, 16, 17, 63, 64, 65, 127, 4095, 65537, 262145};
    for (const Path& path : Paths()) {
        SCOPED_TRACE(path.name);
        uint32_t crc = 0xFFFFFFFFu;
        size_t pos = 0, k = 0;
        while (pos < buf.size()) {
            const size_t n = std::min(chunks[k++ % (sizeof chunks / sizeof chunks[0])], buf.size() - pos);
            crc = path.fn(crc, buf.data() + pos, n);
            pos += n;
        }
        EXPECT_EQ(crc, whole);
        EXPECT_EQ(path.fn(0xFFFFFFFFu, buf.data(), buf.size()), whole);
    }
}

TEST_F(CRC32, UnalignedLargeBuffers)
{
    // Large buffers at odd addresses, through the four-lane loop many times.
    std::mt19937 rng(99);
    std::vector<unsigned char> buf(300000);
    for (auto& b : buf) b = static_cast<unsigned char>(rng());
    for (size_t off : {1u, 3u, 8u, 13u}) {
        const size_t len = buf.size() - off - (off * 37);
        const uint32_t want = CRC32UpdateBytewise(0x12345678u, buf.data() + off, len);
        for (const Path& path : Paths()) EXPECT_EQ(path.fn(0x12345678u, buf.data() + off, len), want) << path.name << " " << off;
    }
}

}  // namespace
