#include "CRC32Core.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
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

TEST_F(CRC32, TheStandardTableKnownVectorsAndFastPathsThatMatchTheReference)
{
    // Every entry as the bitwise definition of the reflected polynomial gives it.
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ ((c & 1) ? 0xEDB88320u : 0u);
        ASSERT_EQ(CRCTable[i], c) << i;
    }
    if (!CRC32HasPclmul()) GTEST_LOG_(INFO) << "this CPU has no PCLMULQDQ; that path is not tested";
    if (!CRC32HasVpclmul()) GTEST_LOG_(INFO) << "this CPU has no VPCLMULQDQ with AVX2; that path is not tested";
    const struct { std::string bytes; uint32_t crc; } known[] = {
        {"", 0u}, {"a", 0xE8B7BE43u}, {"123456789", 0xCBF43926u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u}, {std::string(4096, '\0'), 0xC71C0011u}};
    // Long runs of one byte, against the reference.
    const std::string runs[] = {std::string(1000, 'a'), std::string(4096, '\xFF')};
    for (const Path& path : Paths()) {
        SCOPED_TRACE(path.name);
        auto crc = [&](const std::string& d) { return path.fn(0xFFFFFFFFu, d.data(), d.size()) ^ 0xFFFFFFFFu; };
        for (const auto& k : known) EXPECT_EQ(crc(k.bytes), k.crc) << k.bytes.size() << " bytes";
        for (const auto& r : runs)
            EXPECT_EQ(crc(r), CRC32UpdateBytewise(0xFFFFFFFFu, r.data(), r.size()) ^ 0xFFFFFFFFu) << r.size();
    }

    // Every length from 0 to 4096 at a few offsets, and every offset 0..15 for the short lengths
    // where the fast paths switch between their vector, table and tail parts.
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

    // A buffer of 1 MiB in uneven chunks chained, and at odd addresses through the four-lane loop
    // many times.
    rng.seed(777);
    buf.resize(1 << 20);
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
        for (size_t off : {1u, 3u, 8u, 13u}) {
            const size_t len = 300000 - off - (off * 37);
            const uint32_t want = CRC32UpdateBytewise(0x12345678u, buf.data() + off, len);
            EXPECT_EQ(path.fn(0x12345678u, buf.data() + off, len), want) << off;
        }
    }
}

}  // namespace
