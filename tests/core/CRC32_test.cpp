#include "CRC32Core.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "Rows.h"

namespace {

// An update path, and whether this CPU can run it (missing: what it lacks then).
struct TPath {
    const char* name;
    uint32_t (*fn)(uint32_t, const void*, size_t);
    bool (*runsHere)() = nullptr;  // null: every CPU
    const char* missing = "";
};

const TPath Paths[] = {
    {.name = "Bytewise", .fn = CRC32UpdateBytewise},
    {.name = "Slicing", .fn = CRC32UpdateSlicing},
    {.name = "Dispatch", .fn = CRC32Update},
    {.name = "Pclmul", .fn = CRC32UpdatePclmul, .runsHere = CRC32HasPclmul, .missing = "PCLMULQDQ"},
    {.name = "Vpclmul", .fn = CRC32UpdateVpclmul, .runsHere = CRC32HasVpclmul, .missing = "VPCLMULQDQ with AVX2"},
};

std::vector<unsigned char> Random(size_t size, std::mt19937& rng)
{
    std::vector<unsigned char> buf(size);
    for (auto& b : buf) b = static_cast<unsigned char>(rng());
    return buf;
}

class CRC32 : public ::testing::TestWithParam<TPath> {
protected:
    static void SetUpTestSuite() { BuildCRCTable(); }
    void SetUp() override
    {
        if (GetParam().runsHere && !GetParam().runsHere()) GTEST_SKIP() << "this CPU has no " << GetParam().missing;
    }
    uint32_t Crc(const std::string& s) const { return GetParam().fn(0xFFFFFFFFu, s.data(), s.size()) ^ 0xFFFFFFFFu; }
};

TEST(CRC32Table, EveryEntryIsTheBitwiseRemainderOfItsByte)
{
    BuildCRCTable();
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ ((c & 1) ? 0xEDB88320u : 0u);
        ASSERT_EQ(CRCTable[i], c) << i;
    }
}

TEST_P(CRC32, GivesTheKnownVectors)
{
    const struct { std::string bytes; uint32_t crc; } known[] = {
        {.bytes = "", .crc = 0u},
        {.bytes = "a", .crc = 0xE8B7BE43u},
        {.bytes = "123456789", .crc = 0xCBF43926u},
        {.bytes = "The quick brown fox jumps over the lazy dog", .crc = 0x414FA339u},
        {.bytes = std::string(4096, '\0'), .crc = 0xC71C0011u},
    };
    for (const auto& k : known) EXPECT_EQ(Crc(k.bytes), k.crc) << k.bytes.size() << " bytes";
}

TEST_P(CRC32, MatchesTheReferenceOnLongRunsOfOneByte)
{
    for (const std::string& r : {std::string(1000, 'a'), std::string(4096, '\xFF')})
        EXPECT_EQ(Crc(r), CRC32UpdateBytewise(0xFFFFFFFFu, r.data(), r.size()) ^ 0xFFFFFFFFu) << r.size();
}

// Every length from 0 to 4096 at a few offsets, and every offset 0..15 for the short lengths where
// the fast paths switch between their vector, table and tail parts.
TEST_P(CRC32, MatchesTheReferenceAtEveryLengthAndOffset)
{
    std::mt19937 rng(12345);
    const std::vector<unsigned char> buf = Random(4096 + 16 + 64, rng);
    const std::vector<size_t> every = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, few = {0, 1, 7, 15};
    for (size_t len = 0; len <= 4096; ++len) {
        for (const size_t off : len > 300 ? few : every) {
            const uint32_t init = static_cast<uint32_t>(rng());
            if (GetParam().fn(init, buf.data() + off, len) != CRC32UpdateBytewise(init, buf.data() + off, len))
                return (void)(ADD_FAILURE() << "len " << len << " offset " << off);
        }
    }
}

// A buffer of 1 MiB in uneven chunks chained.
TEST_P(CRC32, ChainsUnevenChunksToTheWholeBuffersValue)
{
    std::mt19937 rng(777);
    const std::vector<unsigned char> buf = Random(1 << 20, rng);
    const uint32_t whole = CRC32UpdateBytewise(0xFFFFFFFFu, buf.data(), buf.size());
    const size_t chunks[] = {1, 3, 15, 16, 17, 63, 64, 65, 127, 4095, 65537, 262145};
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t pos = 0, k = 0; pos < buf.size(); ++k) {
        const size_t n = std::min(chunks[k % std::size(chunks)], buf.size() - pos);
        crc = GetParam().fn(crc, buf.data() + pos, n);
        pos += n;
    }
    EXPECT_EQ(crc, whole);
    EXPECT_EQ(GetParam().fn(0xFFFFFFFFu, buf.data(), buf.size()), whole);
}

// Odd addresses through the four-lane loop many times.
TEST_P(CRC32, MatchesTheReferenceFromOddAddresses)
{
    std::mt19937 rng(777);
    const std::vector<unsigned char> buf = Random(1 << 20, rng);
    for (size_t off : {1u, 3u, 8u, 13u}) {
        const size_t len = 300000 - off - (off * 37);
        const uint32_t want = CRC32UpdateBytewise(0x12345678u, buf.data() + off, len);
        EXPECT_EQ(GetParam().fn(0x12345678u, buf.data() + off, len), want) << off;
    }
}

ZANDREL_ROWS(CRC32, Paths);

}  // namespace
