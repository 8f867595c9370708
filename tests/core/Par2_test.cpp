#include "Gf16.h"
#include "Par2Set.h"
#include "Par2Solver.h"
#include "Rows.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

// The test set (tests/core/data/par2): alpha.bin (2500 bytes, slices 0-4) and beta.bin (1300
// bytes, slices 5-7), 512-byte slices, recovery slices of exponents 0-5 in the two volumes.
using TBytes = std::vector<uint8_t>;
constexpr size_t kSlice = 512;

TBytes Load(const std::string& name)
{
    std::ifstream in(std::string(ZANDREL_CORE_TEST_DATA) + "/par2/" + name, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TPar2ReadAt ReaderOf(const TBytes& bytes)
{
    return [&bytes](uint64_t at, void* buf, size_t len) -> size_t {
        const size_t n = at >= bytes.size() ? 0 : std::min<size_t>(len, bytes.size() - at);
        std::copy_n(bytes.data() + at, n, static_cast<uint8_t*>(buf));
        return n;
    };
}

TPar2Scan Scan(const TBytes& bytes) { return ScanPar2(ReaderOf(bytes), bytes.size()); }

// The input slices where the set places them (the last of each file short).
std::vector<TBytes> InputSlices(const TPar2Set& set)
{
    const TBytes data[] = {Load("alpha.bin"), Load("beta.bin")};
    std::vector<TBytes> slices;
    for (uint32_t k = 0; k < set.SliceCount(); ++k) {
        const TPar2SliceSpan at = set.SliceAt(k);
        slices.emplace_back(&data[at.File][at.Offset], &data[at.File][at.Offset] + at.Length);
    }
    return slices;
}

struct TTestSet {
    std::vector<TBytes> Files = {Load("set.par2"), Load("set.vol0+2.par2"), Load("set.vol2+4.par2")};
    TPar2Set Set = GatherPar2Sets({Scan(Files[0]), Scan(Files[1]), Scan(Files[2])}).at(0);
};

struct ScanRow {
    std::string name;
    std::string file;
    size_t recoveries = 0;
};

class Par2ScanOf : public ::testing::TestWithParam<ScanRow> {};

TEST_P(Par2ScanOf, FindsEachPacketOnceWithoutReadingRecoveryData)
{
    const TBytes bytes = Load(GetParam().file);
    ASSERT_FALSE(bytes.empty()) << "no test data under " << ZANDREL_CORE_TEST_DATA;
    size_t read = 0;
    const TPar2ReadAt all = ReaderOf(bytes);
    const TPar2ReadAt counting = [&](uint64_t at, void* buf, size_t len) { return read += len, all(at, buf, len); };
    const TPar2Scan scan = ScanPar2(counting, bytes.size());
    EXPECT_EQ(scan.Mains.size() + scan.FileDescs.size() + scan.SliceChecks.size(), 5u);
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

TEST(Par2Set, FilesAndSlicesFollowTheMainPacketsOrder)
{
    const TPar2Set set = TTestSet().Set;
    ASSERT_TRUE(set.Complete());
    ASSERT_EQ(set.InputFiles.size(), 2u);
    EXPECT_EQ(set.InputFiles[0].Name + "," + set.InputFiles[1].Name, "alpha.bin,beta.bin");
    EXPECT_EQ(set.InputFiles[1].Length, 1300u);
    const std::vector<TBytes> slices = InputSlices(set);
    ASSERT_EQ(slices.size(), 8u);
    TPar2SliceHash hash;
    for (size_t k = 0; k < slices.size(); ++k) {
        hash.Update(slices[k].data(), slices[k].size());
        const TPar2SliceCheck check = hash.Final(kSlice);
        EXPECT_EQ(check.Md5, set.Slices[k].Md5) << k;
        EXPECT_EQ(check.Crc, set.Slices[k].Crc) << k;
    }
}

struct CheckRow {
    std::string name;
    int changed = -1;  // the data byte changed, if any
    bool matches = true;
};

class Par2RecoveryMd5 : public ::testing::TestWithParam<CheckRow> {};

TEST_P(Par2RecoveryMd5, CheckPassesOnlyIntactData)
{
    TTestSet s;
    const TPar2SetRecovery& r = s.Set.Recoveries.at(3);
    if (GetParam().changed >= 0) s.Files[r.Scan][r.Packet.DataOffset + GetParam().changed] ^= 0x40;
    EXPECT_EQ(VerifyPar2Recovery(ReaderOf(s.Files[r.Scan]), r.Packet, 100), GetParam().matches);
}

const CheckRow kChecks[] = {
    {.name = "Intact"},
    {.name = "LastByteChanged", .changed = kSlice - 1, .matches = false},
};
ZANDREL_ROWS(Par2RecoveryMd5, kChecks);

struct RebuildRow {
    std::string name;
    std::vector<uint32_t> missing;
};

class Par2Rebuild : public ::testing::TestWithParam<RebuildRow> {};

TEST_P(Par2Rebuild, LostSlicesComeBackByteForByte)
{
    const TTestSet s;
    std::vector<TBytes> slices = InputSlices(s.Set);
    for (TBytes& slice : slices) slice.resize(kSlice);
    TPar2Solver solver;
    ASSERT_TRUE(solver.Solve(s.Set.SliceCount(), GetParam().missing, s.Set.Exponents()));
    const std::vector<uint32_t>& lost = solver.Missing();
    std::vector<TBytes> rebuilt(lost.size());
    TPar2Rebuilder rebuilder(solver, 200);
    for (size_t at = 0; at < kSlice; at += 200) {  // stripes of 200, 200 and 112 bytes
        const size_t len = std::min<size_t>(200, kSlice - at);
        rebuilder.Start(len);
        for (uint32_t i = 0; i < s.Set.SliceCount(); ++i)
            if (!std::count(lost.begin(), lost.end(), i)) rebuilder.AddInput(i, &slices[i][at]);
        for (size_t e = 0; e < lost.size(); ++e) {
            const TPar2SetRecovery& r = s.Set.Recoveries.at(solver.Chosen()[e]);  // (exponent k at k)
            rebuilder.AddRecovery(e, &s.Files[r.Scan][r.Packet.DataOffset + at]);
        }
        for (size_t j = 0; j < lost.size(); ++j)
            rebuilt[j].insert(rebuilt[j].end(), rebuilder.Output(j), rebuilder.Output(j) + len);
    }
    for (size_t j = 0; j < lost.size(); ++j) EXPECT_EQ(rebuilt[j], slices[lost[j]]) << lost[j];
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
    std::vector<uint32_t> chosen = {};  // empty: refused
};

class Par2Solve : public ::testing::TestWithParam<SolveRow> {};

TEST_P(Par2Solve, ChoosesIndependentExponentsOrRefuses)
{
    TPar2Solver solver;
    EXPECT_EQ(solver.Solve(8, GetParam().missing, GetParam().exponents), !GetParam().chosen.empty());
    EXPECT_EQ(solver.Chosen(), GetParam().chosen);
}

const SolveRow kSolves[] = {
    {.name = "TooFewExponents", .missing = {1, 2}, .exponents = {0}},
    {.name = "RepeatedRowPassedOver", .missing = {1, 2}, .exponents = {0, 65535, 1}, .chosen = {0, 1}},
    {.name = "SliceNumberPastTheEnd", .missing = {8}, .exponents = {0}},
};
ZANDREL_ROWS(Par2Solve, kSolves);

void SetLength(TBytes& b, size_t packet, uint64_t length)
{
    for (int i = 0; i < 8; ++i) b[packet + 8 + i] = static_cast<uint8_t>(length >> (8 * i));
}

// set.par2: main at 0 (108 bytes), descriptions at 0x6C and 0xF0, slice checksums at 0x170 and
// 0x224, creator at 0x2B0. A row spoils its bytes, or forges what a scan of them found (packets
// that passed their MD5 check with fields a careless or hostile writer may have put).
struct HostileRow {
    std::string name;
    void (*spoil)(TBytes&) = [](TBytes&) {};
    void (*forge)(TPar2Scan&) = [](TPar2Scan&) {};
    EPar2SetState state = EPar2SetState::BadMain;
    uint32_t dropped = 0;  // of the five main, description and slice checksum packets
};

class Par2Hostile : public ::testing::TestWithParam<HostileRow> {};

TEST_P(Par2Hostile, SetIsUsableOnlyWhenEveryPacketIsSound)
{
    TBytes bytes = Load("set.par2");
    GetParam().spoil(bytes);
    TPar2Scan scan = Scan(bytes);
    EXPECT_EQ(scan.Damaged, GetParam().dropped);
    EXPECT_EQ(scan.Mains.size() + scan.FileDescs.size() + scan.SliceChecks.size(), 5 - GetParam().dropped);
    GetParam().forge(scan);
    EXPECT_EQ(GatherPar2Sets({scan}).at(0).State, GetParam().state);
}

using enum EPar2SetState;
const HostileRow kHostile[] = {
    {.name = "GarbageAhead", .spoil = [](TBytes& b) { b.insert(b.begin(), 13, 'P'); }, .state = Complete},
    {.name = "TruncatedInsideChecks", .spoil = [](TBytes& b) { b.resize(0x288); }, .state = Incomplete, .dropped = 1},
    {.name = "LengthNear2To63", .spoil = [](TBytes& b) { SetLength(b, 0, 1ull << 63); }, .state = NoMain, .dropped = 1},
    {.name = "LengthSwallowsNextPacket", .spoil = [](TBytes& b) { SetLength(b, 0x6C, 260); }, .state = Incomplete,
     .dropped = 1},
    {.name = "NameByteChanged", .spoil = [](TBytes& b) { b[0x160] ^= 1; }, .state = Incomplete, .dropped = 1},
    {.name = "SetIdChanged", .spoil = [](TBytes& b) { b[0x198] ^= 1; }, .state = Incomplete, .dropped = 1},
    {.name = "SliceSizeZero", .forge = [](TPar2Scan& s) { s.Mains[0].SliceSize = 0; }},
    {.name = "SliceSizeNotMultipleOf4", .forge = [](TPar2Scan& s) { s.Mains[0].SliceSize = 510; }},
    {.name = "SliceSizeNear2To63", .forge = [](TPar2Scan& s) { s.Mains[0].SliceSize = (1ull << 63) - 4; }},
    {.name = "FileLengthNear2To64", .forge = [](TPar2Scan& s) { s.FileDescs[0].Length = ~0ull - 3; }},
    {.name = "MoreSlicesThanConstants", .forge = [](TPar2Scan& s) { s.FileDescs[0].Length = kSlice << 15; }},
    {.name = "FileListedTwice", .forge = [](TPar2Scan& s) { auto& ids = s.Mains[0].Recoverable; ids[1] = ids[0]; }},
    {.name = "ChecksCountLies", .forge = [](TPar2Scan& s) { s.SliceChecks[0].Slices.pop_back(); }, .state = Incomplete},
};
ZANDREL_ROWS(Par2Hostile, kHostile);

}  // namespace
