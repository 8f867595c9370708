#include "CRC32Core.h"
#include "Gf16.h"
#include "Par2Set.h"
#include "Par2Solver.h"
#include "Rows.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

using TBytes = std::vector<uint8_t>;
constexpr size_t kSlice = 512;  // the test set's slice size
const char* const kFiles[] = {"set.par2", "set.vol0+2.par2", "set.vol2+4.par2"};

TBytes Load(const std::string& name)
{
    std::ifstream in(std::string(ZANDREL_CORE_TEST_DATA) + "/par2/" + name, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TPar2ReadAt ReaderOf(const TBytes& bytes)
{
    return [&bytes](uint64_t at, void* buf, size_t len) -> size_t {
        const size_t n = at >= bytes.size() ? 0 : std::min<size_t>(len, bytes.size() - at);
        if (n > 0) std::memcpy(buf, bytes.data() + at, n);
        return n;
    };
}

TPar2Scan Scan(const TBytes& bytes) { return ScanPar2(ReaderOf(bytes), bytes.size()); }

// The input slices of alpha.bin and beta.bin, the last of each padded with zeros.
std::vector<TBytes> InputSlices()
{
    std::vector<TBytes> slices;
    for (const char* name : {"alpha.bin", "beta.bin"}) {
        const TBytes data = Load(name);
        for (size_t at = 0; at < data.size(); at += kSlice) {
            slices.emplace_back(data.begin() + at, data.begin() + std::min(at + kSlice, data.size()));
            slices.back().resize(kSlice);
        }
    }
    return slices;
}

struct TTestSet {
    std::vector<TBytes> Files;
    std::vector<TPar2Set> Sets;
};

TTestSet LoadSet()
{
    TTestSet s;
    std::vector<TPar2Scan> scans;
    for (const char* name : kFiles) scans.push_back(Scan(s.Files.emplace_back(Load(name))));
    s.Sets = GatherPar2Sets(scans);
    return s;
}

struct ScanRow {
    std::string name;
    std::string file;
    size_t recoveries = 0;
};

class Par2ScanOf : public ::testing::TestWithParam<ScanRow> {};

TEST_P(Par2ScanOf, FindsEachPacketOnceWithoutReadingRecoveryData)
{
    const TBytes bytes = Load(GetParam().file);
    ASSERT_FALSE(bytes.empty()) << "test data not found under " << ZANDREL_CORE_TEST_DATA;
    size_t read = 0;
    const TPar2ReadAt counting = [&](uint64_t at, void* buf, size_t len) { read += len; return ReaderOf(bytes)(at, buf, len); };
    const TPar2Scan scan = ScanPar2(counting, bytes.size());
    EXPECT_EQ(scan.Mains.size(), 1u);
    EXPECT_EQ(scan.FileDescs.size(), 2u);
    EXPECT_EQ(scan.SliceChecks.size(), 2u);
    EXPECT_EQ(scan.Recoveries.size(), GetParam().recoveries);
    EXPECT_EQ(scan.Damaged + scan.Ignored, 0u);
    EXPECT_LE(read, bytes.size() - GetParam().recoveries * (kSlice - 4));
}

const ScanRow kScans[] = {
    {.name = "IndexFile", .file = "set.par2"},
    {.name = "VolumeWithTwo", .file = "set.vol0+2.par2", .recoveries = 2},
    {.name = "VolumeWithFourBetweenRepeats", .file = "set.vol2+4.par2", .recoveries = 4},
};
ZANDREL_ROWS(Par2ScanOf, kScans);

TEST(Par2Set, FilesAreNumberedInTheMainPacketsOrder)
{
    const TTestSet s = LoadSet();
    ASSERT_EQ(s.Sets.size(), 1u);
    const TPar2Set& set = s.Sets[0];
    ASSERT_TRUE(set.Complete());
    EXPECT_EQ(set.SliceSize, kSlice);
    ASSERT_EQ(set.Files.size(), 2u);
    EXPECT_EQ(set.Files[0].Name, "alpha.bin");
    EXPECT_EQ(set.Files[0].Length, 2500u);
    EXPECT_EQ(set.Files[0].SliceCount, 5u);
    EXPECT_EQ(set.Files[1].Name, "beta.bin");
    EXPECT_EQ(set.Files[1].FirstSlice, 5u);
    EXPECT_EQ(set.Files[1].SliceCount, 3u);
    EXPECT_EQ(set.Files[1].Md5, Md5Of(Load("beta.bin").data(), 1300));
    EXPECT_EQ(set.Exponents(), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));
}

TEST(Par2Set, SliceChecksAreThoseOfThePaddedSlices)
{
    BuildCRCTable();
    const std::vector<TBytes> slices = InputSlices();
    const TPar2Set set = LoadSet().Sets.at(0);
    ASSERT_EQ(set.SliceCount(), slices.size());
    for (size_t k = 0; k < slices.size(); ++k) {
        EXPECT_EQ(set.Slices[k].Md5, Md5Of(slices[k].data(), kSlice)) << k;
        EXPECT_EQ(set.Slices[k].Crc, ~CRC32Update(0xFFFFFFFFu, slices[k].data(), kSlice)) << k;
    }
}

struct CheckRow {
    std::string name;
    int flip = -1;  // the data byte changed, if any
    bool matches = true;
};

class Par2RecoveryMd5 : public ::testing::TestWithParam<CheckRow> {};

TEST_P(Par2RecoveryMd5, CheckPassesOnlyIntactData)
{
    TTestSet s = LoadSet();
    const TPar2SetRecovery& r = s.Sets.at(0).Recoveries.at(3);
    if (GetParam().flip >= 0) s.Files[r.Scan][r.Packet.DataOffset + GetParam().flip] ^= 0x40;
    EXPECT_EQ(VerifyPar2Recovery(ReaderOf(s.Files[r.Scan]), r.Packet, 100), GetParam().matches);
}

const CheckRow kChecks[] = {
    {.name = "Intact"},
    {.name = "FirstByteChanged", .flip = 0, .matches = false},
    {.name = "LastByteChanged", .flip = kSlice - 1, .matches = false},
};
ZANDREL_ROWS(Par2RecoveryMd5, kChecks);

struct RebuildRow {
    std::string name;
    std::vector<uint32_t> missing = {};
};

class Par2Rebuild : public ::testing::TestWithParam<RebuildRow> {};

TEST_P(Par2Rebuild, LostSlicesComeBackByteForByte)
{
    const TTestSet s = LoadSet();
    const TPar2Set& set = s.Sets.at(0);
    const std::vector<TBytes> slices = InputSlices();
    TPar2Solver solver;
    ASSERT_TRUE(solver.Solve(set.SliceCount(), GetParam().missing, set.Exponents()));
    const size_t m = solver.Missing().size();
    std::vector<TBytes> rebuilt(m, TBytes(kSlice));
    std::vector<uint16_t> factors(m);
    for (uint32_t i = 0; i < set.SliceCount(); ++i) {
        if (std::count(solver.Missing().begin(), solver.Missing().end(), i)) continue;
        solver.InputFactors(i, factors.data());
        for (size_t j = 0; j < m; ++j) Gf16MulAdd(rebuilt[j].data(), slices[i].data(), kSlice, factors[j]);
    }
    for (size_t e = 0; e < m; ++e) {
        const TPar2SetRecovery& r = set.Recoveries.at(solver.Chosen()[e]);  // (exponents 0..5 at 0..5)
        const uint8_t* data = s.Files[r.Scan].data() + r.Packet.DataOffset;
        for (size_t j = 0; j < m; ++j) Gf16MulAdd(rebuilt[j].data(), data, kSlice, solver.RecoveryFactor(j, e));
    }
    for (size_t j = 0; j < m; ++j) EXPECT_EQ(rebuilt[j], slices[solver.Missing()[j]]) << solver.Missing()[j];
}

const RebuildRow kRebuilds[] = {
    {.name = "OneSlice", .missing = {3}},
    {.name = "PaddedLastSlice", .missing = {7}},
    {.name = "FirstAndLast", .missing = {7, 0}},
    {.name = "WholeFirstFile", .missing = {0, 1, 2, 3, 4}},
    {.name = "AsManyAsRecoverySlices", .missing = {1, 2, 3, 5, 6, 7}},
};
ZANDREL_ROWS(Par2Rebuild, kRebuilds);

struct SolveRow {
    std::string name;
    std::vector<uint32_t> missing = {};
    std::vector<uint32_t> exponents = {};
    std::vector<uint32_t> chosen = {};  // empty: refused (unless nothing is missing)
};

class Par2Solve : public ::testing::TestWithParam<SolveRow> {};

TEST_P(Par2Solve, ChoosesIndependentExponentsOrRefuses)
{
    TPar2Solver solver;
    const bool solved = solver.Solve(8, GetParam().missing, GetParam().exponents);
    EXPECT_EQ(solved, !GetParam().chosen.empty() || GetParam().missing.empty());
    EXPECT_EQ(solver.Chosen(), GetParam().chosen);
}

const SolveRow kSolves[] = {
    {.name = "NothingMissing"},
    {.name = "TooFewExponents", .missing = {1, 2}, .exponents = {0}},
    {.name = "RepeatedRowPassedOver", .missing = {1, 2}, .exponents = {0, 65535, 1}, .chosen = {0, 1}},
    {.name = "SliceNumberPastTheEnd", .missing = {8}, .exponents = {0}},
    {.name = "SliceNumberTwice", .missing = {1, 1}, .exponents = {0, 1}},
};
ZANDREL_ROWS(Par2Solve, kSolves);

}  // namespace
