// Sources of 2 GiB and more, split and combined whole through real files. The sources are sparse
// (no space, read at memory speed) with data at the start, across the piece boundaries, across
// 2 GiB and 4 GiB and at the end; the pieces and the rebuilt file are real writes, so each case
// removes them as soon as it has looked at them. Needs about twice the source's size free in the
// temporary directory.
#include <windows.h>

#include <algorithm>

#include "EngineTest.h"
#include "Rows.h"

using engineprobe::TMark;

namespace {

constexpr uint64_t G = 1ull << 30;

// len bytes from offset of the source that these pieces hold, read across piece boundaries.
std::string ReadFromPieces(const std::string& base, uint32_t pieceSize, uint64_t offset, uint32_t len)
{
    std::string bytes;
    while (bytes.size() < len) {
        const uint64_t at = offset + bytes.size();
        const std::string part = engineprobe::ReadAt(PieceFileName(base, static_cast<uint32_t>(at / pieceSize) + 1),
                                                     at % pieceSize, len - static_cast<uint32_t>(bytes.size()));
        if (part.empty()) break;
        bytes += part;
    }
    return bytes;
}

void ExpectSeries(const std::vector<int32_t>& percents, size_t calls)
{
    ASSERT_EQ(percents.size(), calls);
    EXPECT_EQ(percents.front(), 0);
    EXPECT_EQ(percents[(calls - 1) / 2], 50);
    EXPECT_EQ(percents[calls - 2], 99);  // the last block
    EXPECT_EQ(percents.back(), 100);     // the closing report
}

constexpr uint32_t Fat32 = 4095u << 20;

// marks: offsets of 100-byte marks (one at size - 100 ends the file); calls: block reports and the
// closing one.
const struct TLargeRow {
    const char *name, *file;  // the row's name, the source's
    uint64_t size; uint32_t pieceSize, pieces;
    std::vector<uint64_t> marks; size_t splitCalls, combineCalls;
} Sizes[] = {
    {.name = "TwoGiBAndOneByte", .file = "two.bin", .size = 2 * G + 1, .pieceSize = 1u << 30, .pieces = 3,
     .marks = {0, G - 50, 2 * G - 99}, .splitCalls = 16386, .combineCalls = 16388},
    // Its low 32 bits alone would say 100 bytes.
    {.name = "FourGiBAnd100Bytes", .file = "four.iso", .size = 4 * G + 100, .pieceSize = Fat32, .pieces = 2,
     .marks = {0, 2 * G - 50, Fat32 - 50, 4 * G - 100, 4 * G}, .splitCalls = 32770, .combineCalls = 32771},
};

class LargeFile : public TEngineTest, public ::testing::WithParamInterface<TLargeRow> {};
ZANDREL_ROWS(LargeFile, Sizes);

}  // namespace

TEST_P(LargeFile, RoundTripsThroughRealPieces)
{
    const TLargeRow& c = GetParam();
    ULARGE_INTEGER free{};
    GetDiskFreeSpaceExA((work.Path() + "\\").c_str(), &free, nullptr, nullptr);
    if (free.QuadPart < 2 * c.size + G)
        GTEST_SKIP() << "needs " << (2 * c.size + G) / G << " GiB free in " << work.Path();
    std::vector<TMark> marks;
    for (uint64_t at : c.marks) marks.push_back({at, PatternBytes(100, static_cast<uint32_t>(at))});
    const std::string source = work.File(c.file);
    engineprobe::MakeSparseFile(source, c.size, marks);
    const auto sourceStamp = engineprobe::Stamp(source);
    const std::string base = pieces.File(c.file);
    {
        TProgressRecorder progress;
        ASSERT_TRUE(SplitFile(source, pieces.Path(), c.pieceSize, progress.Proc()));
        ExpectSeries(progress.Percents(), c.splitCalls);
    }
    EXPECT_TRUE(engineprobe::Stamp(source) == sourceStamp);
    auto names = FileNames(pieces.Path());
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected;
    for (uint32_t k = 1; k <= c.pieces; ++k) expected.push_back(ExtractFileName(PieceFileName(base, k)));
    expected.push_back(ExtractFileName(DescriptorFileName(base)));
    expected.push_back(ExtractFileName(ChangeFileExt(base, ".sfv")));
    EXPECT_EQ(names, expected);
    for (uint32_t k = 1; k <= c.pieces; ++k) {
        const uint64_t size = k < c.pieces ? c.pieceSize : c.size - uint64_t(c.pieces - 1) * c.pieceSize;
        EXPECT_EQ(engineprobe::Stamp(PieceFileName(base, k))->Size, size) << k;
    }
    for (const TMark& m : marks) EXPECT_EQ(ReadFromPieces(base, c.pieceSize, m.At, 100), m.Bytes) << m.At;
    EXPECT_EQ(ReadFileBytes(DescriptorFileName(base)),
              std::string("filename=") + c.file + "\r\nsize=" + std::to_string(c.size) + "\r\ncrc32=" +
                  IntToHex(engineprobe::Crc32Sparse(c.size, marks)) + "\r\n");
    DeleteFileA(source.c_str());
    {
        TProgressRecorder progress;
        ASSERT_TRUE(CombineFiles(DescriptorFileName(base), target.Path(), progress.Proc()));
        ExpectSeries(progress.Percents(), c.combineCalls);
    }
    for (const std::string& name : names) DeleteFileA(pieces.File(name).c_str());
    const std::string rebuilt = target.File(c.file);
    EXPECT_EQ(engineprobe::Stamp(rebuilt)->Size, c.size);
    for (const TMark& m : marks) EXPECT_EQ(engineprobe::ReadAt(rebuilt, m.At, 100), m.Bytes) << m.At;
    DeleteFileA(rebuilt.c_str());
}
