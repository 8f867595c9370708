// SplitFile on real files: piece layout and names up to the thousandth piece, the descriptor and
// the combine back, progress reports and their directories, the refusals before the first write,
// cancelling, and where the host's messages run (the block pump's own rule among them).
#include <windows.h>

#include "App.h"
#include "EngineTest.h"
#include "Sfv.h"
#include "SysError.h"

using engineprobe::TPumpProbe;

namespace {

using SplitFileTest = TEngineTest;
const uint32_t B = TransferBlockSize;

std::string DescriptorText(const std::string& name, uint32_t size, const std::string& bytes)
{
    const std::string crc = IntToHex(engineprobe::Crc32(bytes));
    return "filename=" + name + "\r\nsize=" + std::to_string(size) + "\r\ncrc32=" + crc + "\r\n";
}

// Whether a checksum pass holds the file now: it reads and shares only reading, so a write that
// shares everything is refused, while the engine's other handles on it either share writes (the
// split's source) or share nothing, so that even a reader is refused (the combine's output).
// Asked on the engine's own thread, between its blocks: the probe never races an open.
bool HeldByChecksumPass(const std::string& path)
{
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE r = CreateFileA(path.c_str(), GENERIC_READ, all, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (r == INVALID_HANDLE_VALUE) return false;
    CloseHandle(r);
    HANDLE w = CreateFileA(path.c_str(), GENERIC_WRITE, all, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (w != INVALID_HANDLE_VALUE) CloseHandle(w);
    return w == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
}

// The window procedure of a host whose own message handling sets the cancel flag.
const UINT StopMessage = WM_APP + 7;
LRESULT CALLBACK StopProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    if (m == StopMessage) CancelFlag = 1;
    return DefWindowProcA(h, m, w, l);
}

// Between blocks the queue runs after the first block and then once per clock tick: never after
// every block while the clock stands still, never only once while it moves. pumped: the blocks (of
// 9) after which messages ran.
struct TPumpRow { const char* name; unsigned readsPerTick; std::vector<size_t> pumped; };
class BlockPump : public ::testing::TestWithParam<TPumpRow> {};

TEST_P(BlockPump, RunsAfterTheFirstBlockThenOncePerTick)
{
    TPumpProbe probe(GetParam().readsPerTick);
    std::vector<size_t> pumped;
    size_t block = 0;
    probe.OnPump = [&](size_t) { pumped.push_back(block); };
    App::TBlockPump pump;
    for (block = 1; block <= 9; ++block) pump.AfterBlock();
    EXPECT_EQ(pumped, GetParam().pumped);
}

const TPumpRow PumpRows[] = {
    {.name = "FrozenClock", .readsPerTick = 0, .pumped = {1}},
    {.name = "TickEveryRead", .readsPerTick = 1, .pumped = {1, 2, 3, 4, 5, 6, 7, 8, 9}},
    {.name = "TickEveryThirdRead", .readsPerTick = 3, .pumped = {1, 4, 7}},
    {.name = "TickEveryFourthRead", .readsPerTick = 4, .pumped = {1, 5, 9}},
};
ZANDREL_ROWS(BlockPump, PumpRows);

// A split of file (size pattern bytes) into count pieces of piece bytes, the last holding the rest;
// reads, joinReads: when given, the bytes of each block the split or the combine reads;
// described: a descriptor already there, which names this file; needs1252: a name in code page 1252;
// readBack: the name the combine writes, as the descriptor's reader reads it (without: file).
struct TLayoutRow {
    const char *name, *file; uint32_t size = 3000, piece = 1000, count = 3;
    std::vector<uint32_t> reads = {}, joinReads = {};
    std::string described = std::string(); bool needs1252 = false; const char* readBack = nullptr;
};
using SplitLayout = TEngineRows<TLayoutRow>;

// The pieces and the descriptor, also over an older descriptor that names this file as the
// descriptor reader reads names (trimmed at both ends) and as the file system compares them
// (ordinal, without regard to case; a descriptor of at most 64 KiB is read), and the combine of the
// set back into the file. Block reports come after every read, which never crosses a piece
// boundary (a piece size of 300,000 reads 131,072, 131,072 and 37,856 bytes per full piece; one
// below the block size reads once per piece), then the closing report; a combine's piece of whole
// blocks ends with a read of 0 bytes, an empty write and one more report with the same percent.
// Every call names the operation, the file, both directories and the cancel flag.
TEST_P(SplitLayout, WritesPiecesListDescriptorThatCombineBack)
{
    const TLayoutRow& c = GetParam();
    if (c.needs1252 && GetACP() != 1252) GTEST_SKIP() << "the name is in code page 1252, this is " << GetACP();
    TempDir out, back;
    const auto source = Source(c.file, c.size, c.size);
    const std::string base = out.File(c.file);
    if (!c.described.empty()) WriteFileBytes(DescriptorFileName(base), c.described);
    {
        TProgressRecorder progress;
        ASSERT_TRUE(SplitFile(source.Path, out.Path(), c.piece, progress.Proc()));
        progress.ExpectCalls("Spliting...", source.Path, work.Path(), out.Path(), c.size, c.reads);
    }
    // The checksum list names each piece with the CRC-32 of its bytes (its text: tests/core).
    std::string joined;
    std::vector<TSfvEntry> list;
    for (uint32_t k = 1; k <= c.count; ++k) {
        const std::string piece = ReadFileBytes(PieceFileName(base, k));
        ASSERT_EQ(piece.size(), k < c.count ? c.piece : c.size - (c.count - 1) * c.piece) << k;
        joined += piece;
        list.push_back({ExtractFileName(PieceFileName(base, k)), engineprobe::Crc32(piece)});
    }
    const std::string listText = FormatSfv("zandrel.pdl: the pieces of " + std::string(c.file), list);
    EXPECT_EQ(ReadFileBytes(ChangeFileExt(base, ".sfv")), listText);
    EXPECT_EQ(joined, source.Bytes);
    EXPECT_FALSE(FileExists(PieceFileName(base, c.count + 1)));
    EXPECT_EQ(ReadFileBytes(DescriptorFileName(base)), DescriptorText(c.file, c.size, source.Bytes));
    EXPECT_EQ(FileNames(out.Path()).size(), c.count + 2u);
    EXPECT_EQ(ReadFileBytes(source.Path), source.Bytes);
    TProgressRecorder progress;
    const std::string output = back.File(c.readBack ? c.readBack : c.file);
    EXPECT_TRUE(engineprobe::Combine(DescriptorFileName(base), back.Path(), progress.Proc()).Ok());
    progress.ExpectCalls("Combining...", output, out.Path(), back.Path(), c.size, c.joinReads);
    EXPECT_EQ(ReadFileBytes(output), source.Bytes);
    EXPECT_EQ(FileNames(back.Path()).size(), 1u);
}

const std::string Pad = "filename=pad.bin\r\nsize=1\r\ncrc32=0\r\n";
const TLayoutRow Layouts[] = {
    {.name = "Thousand", .file = "thousand.bin", .size = 999 * 3 + 1, .piece = 3, .count = 1000},  // .1000: 1 byte
    {.name = "ExactMultiple", .file = "exact.dat", .size = 3 * 4000, .piece = 4000},  // no empty trailing piece
    {.name = "OneByteShortOfThePiece", .file = "one.txt", .size = 5000, .piece = 5001, .count = 1},
    {.name = "ExactlyOnePiece", .file = "same.txt", .size = 5000, .piece = 5000, .count = 1},
    {.name = "NoExtension", .file = "README", .size = 10, .piece = 4},
    {.name = "OneByte", .file = "one.bin", .size = 1, .piece = 100, .count = 1},
    {.name = "TwoBlocksAndFive", .file = "blocks.bin", .size = 2 * B + 5, .piece = 2 * B, .count = 2},
    {.name = "ThreeBlocksAndFive", .file = "blocks3.bin", .size = 3 * B + 5, .piece = 2 * B, .count = 2},
    {.name = "OneBlock", .file = "block.bin", .size = B, .piece = B, .count = 1, .reads = {B}},
    {.name = "Empty", .file = "empty.log", .size = 0, .count = 1, .reads = {0}},  // one empty piece 001
    {.name = "TenPieces", .file = "small.txt", .size = 99, .piece = 10, .count = 10, .reads = {10, 10, 10, 10, 10,
                                                                                          10, 10, 10, 10, 9}},
    {.name = "OneByteOver", .file = "odd.bin", .size = 300001, .piece = 300000, .count = 2},
    {.name = "Fifty", .file = "fifty.bin", .size = 50, .count = 1, .reads = {50}},
    {.name = "OneHundredFifty", .file = "p.bin", .size = 150, .count = 1, .reads = {150}},
    // A block report of exactly 100 says 99.
    {.name = "ReportOfExactly100", .file = "hundred.bin", .size = 150, .piece = 100, .count = 2, .reads = {100, 50}},
    {.name = "HalfAPiece", .file = "half.bin", .size = B, .piece = 2 * B, .count = 1, .reads = {B}},
    {.name = "ABlockAndAByte", .file = "over.bin", .size = B + 1, .piece = B, .count = 2, .reads = {B, 1}},
    {.name = "PiecesOfThreeReads", .file = "fat.bin", .size = 601000, .piece = 300000,
     .reads = {B, B, 37856, B, B, 37856, 1000}},
    {.name = "PiecesBelowTheBlock", .file = "tenth.bin", .size = 250000, .piece = 100000,
     .reads = {100000, 100000, 50000}},
    {.name = "PieceOfFourReads", .file = "long.bin", .size = 3 * B + 10, .piece = 3 * B + 10, .count = 1,
     .reads = {B, B, B, 10}},
    {.name = "PiecesOfWholeBlocks", .file = "whole.bin", .size = 4 * B, .piece = 2 * B, .count = 2,
     .joinReads = {B, B, 0, B, B, 0}},
    // Older descriptors that name this file: read back as "sp.bin", trimmed at both ends, in another
    // case; \xe9t\xe9 and \xc9T\xc9 (e acute), \xff and \x9f (y with diaeresis); 64 KiB exactly.
    {.name = "OlderLeadingSpace", .file = " sp.bin", .described = "filename= sp.bin\r\nsize=1\r\ncrc32=0\r\n",
     .readBack = "sp.bin"},
    {.name = "OlderTrimmedTabs", .file = "tab.bin", .described = "filename=\t tab.bin \t\r\nsize=1\r\n"},
    {.name = "OlderOtherCase", .file = "case.bin", .described = "filename=CASE.BIN\r\n"},
    {.name = "OlderAccentsOtherCase", .file = "\xe9t\xe9.bin", .described = "filename=\xc9T\xc9.BIN\r\n",
     .needs1252 = true},
    {.name = "OlderDiaeresisOtherCase", .file = "\xff.bin", .described = "filename=\x9f.BIN\r\n", .needs1252 = true},
    {.name = "Older64KiBExactly", .file = "pad.bin", .described = Pad + std::string(65536 - Pad.size(), ' ')},
};
ZANDREL_ROWS(SplitLayout, Layouts);

// A source that needs 1000 pieces or more (sparse), or a piece size of zero, which makes no
// progress at all. Which sizes need too many pieces is tabled with the plan (tests/core:
// PieceNames); here the boundary of 1000 pieces and the piece size zero.
struct TTooManyRow { const char* name; uint64_t size; uint32_t piece; };
using TooManyPieces = TEngineRows<TTooManyRow>;

TEST_P(TooManyPieces, RefusedWithNothingCreated)
{
    const TTooManyRow& c = GetParam();
    const std::string source = work.File("big.bin");
    engineprobe::MakeSparseFile(source, c.size, PatternBytes(1000, 5));
    const auto before = engineprobe::Stamp(source);
    TProgressRecorder progress;
    const TOutcome outcome = RunSplit(source, target.Path(), c.piece, progress.Proc());
    EXPECT_EQ(outcome.Cause, TCause::TooManyPieces);
    EXPECT_EQ(outcome.FoundSize, c.size);
    EXPECT_EQ(outcome.PieceSize, c.piece);
    EXPECT_TRUE(FileNames(target.Path()).empty());
    EXPECT_TRUE(progress.Calls().empty());
    EXPECT_TRUE(engineprobe::Stamp(source) == before);
}

const uint32_t P = 4294967295u;  // the largest piece size
const TTooManyRow TooMany[] = {
    {.name = "ThousandPiecesOfThree", .size = 1000 * 3, .piece = 3},
    {.name = "ThousandPiecesOfSevenAndSix", .size = 1000 * 7 + 6, .piece = 7},
    {.name = "FiveThousandPiecesOfOne", .size = 5000, .piece = 1},
    {.name = "ThousandLargestPieces", .size = 1000ull * P, .piece = P},
    {.name = "PieceSizeZero", .size = 5000, .piece = 0},
};
ZANDREL_ROWS(TooManyPieces, TooMany);

// A split refuses, before its first write and naming the file at risk, what it does not own: its
// own source as a piece or the descriptor, another file's set (its descriptor names that file, as
// the file system compares names: never a language's rules, which take "ae" for "\xe6"), anything
// at the descriptor's name that is not a readable descriptor naming a file (held by another
// program, no file name, not a descriptor, larger than 64 KiB), names that are links (hard links
// made here; symbolic links from the fixture, under Wine), names beyond the path limit (MAX_PATH
// with its terminating zero) as typed or as full paths, and devices or directories as source or
// target (under Wine a FIFO or a link to /dev/zero from the fixture).
//
// Where its paths lie: the scratch directories, the fixture's (links, devices), target directories
// of 253 and 254 characters, and one typed as 253 characters of "..\" segments that is short as a
// full path.
enum TDir { Work, Target, Sets, Links, Devices, Long253, Long254, Dotted253 };
struct TAt { TDir dir = Work; const char* name = ""; };
// source: split into into (slash: typed with a trailing backslash) in pieces of pieceSize; made in
// work of sourceSize pattern bytes (0: none made); dataSet: data.bin (12,000 bytes) split into
// target in pieces of 5000 first; file (of bytes), directory, link (another name of to): made
// first; atRisk: the file the refusal names (without: file); lead, tail: the message around the
// quoted atRisk, when given; holdAccess, holdShare: another program holds atRisk (0: nobody).
struct TRefusalRow {
    const char* name; TAt source; TDir into = Sets; bool slash = false; uint32_t pieceSize = 2000, sourceSize = 5000;
    bool dataSet = false; TAt file = {}, directory = {}, link = {}, to = {}; std::string bytes = std::string();
    TAt atRisk = {}; std::string lead = std::string(), tail = std::string(); DWORD holdAccess = 0, holdShare = 0;
    bool needs1252 = false;
};

// A target typed with "..\" segments: short as a full path, length characters as typed.
std::string DottedTarget(const std::string& work, size_t length)
{
    std::string d = work + "\\sub";
    size_t up = (length - d.size()) / 7;  // "\..\sub", then "\." for the rest
    if ((length - d.size() - 7 * up) % 2 != 0) --up;
    for (; up > 0; --up) d += "\\..\\sub";
    while (d.size() < length) d += "\\.";
    return d;
}

class SplitRefusal : public TEngineRows<TRefusalRow> {
protected:
    std::string Dir(TDir dir) const
    {
        const std::string fixture = engineprobe::FixtureDir().value_or("");
        const std::string dirs[] = {work.Path(), target.Path(), sets.Path(), fixture + "\\links", fixture + "\\devices",
                                    work.File(std::string(252 - work.Path().size(), 'd')),
                                    work.File(std::string(253 - work.Path().size(), 'd')),
                                    DottedTarget(work.Path(), 253)};
        return dirs[dir];
    }
    std::string At(const TAt& at) const { return Dir(at.dir) + "\\" + at.name; }
    TempDir sets;
};

TEST_P(SplitRefusal, RefusedBeforeTheFirstWrite)
{
    const TRefusalRow& row = GetParam();
    const auto fixture = engineprobe::FixtureDir();
    if (!fixture && (row.into == Links || row.into == Devices || row.source.dir == Devices))
        GTEST_SKIP() << "the fixture's links and devices (run through ctest)";
    if (row.needs1252 && GetACP() != 1252) GTEST_SKIP() << "the name is in code page 1252, this is " << GetACP();
    if (row.dataSet) WriteFileBytes(work.File("data.bin"), PatternBytes(12000, 3));
    if (row.dataSet) { ASSERT_TRUE(SplitFile(work.File("data.bin"), target.Path(), 5000, nullptr)); }  // data.001-.003
    for (const TDir d : {Long253, Long254}) ASSERT_TRUE(row.into != d || CreateDirectoryA(Dir(d).c_str(), nullptr));
    if (row.into == Dotted253) { ASSERT_TRUE(CreateDirectoryA(work.File("sub").c_str(), nullptr)); }
    if (row.source.dir == Work && row.sourceSize) WriteFileBytes(At(row.source), PatternBytes(row.sourceSize));
    if (*row.file.name) WriteFileBytes(At(row.file), row.bytes);
    if (*row.directory.name) { ASSERT_TRUE(CreateDirectoryA(At(row.directory).c_str(), nullptr)); }
    if (*row.link.name) { ASSERT_TRUE(CreateHardLinkA(At(row.link).c_str(), At(row.to).c_str(), nullptr)); }
    const std::string atRisk = At(*row.atRisk.name ? row.atRisk : row.file), into = Dir(row.into);
    if (row.into == Dotted253) { ASSERT_EQ(atRisk.size(), 260u); }
    std::vector<std::string> dirs = {work.Path(), target.Path(), sets.Path()};
    if (fixture) dirs.push_back(*fixture + "\\outside");
    const TUnchanged unchanged(dirs);
    const auto namesBefore = FileNames(into);  // the devices are never read
    {
        std::optional<engineprobe::THold> hold;
        if (row.holdAccess != 0) hold.emplace(atRisk, row.holdAccess, row.holdShare);
        TProgressRecorder progress;
        const std::string text = Refusal<EZandrelError>([&] {
            SplitFile(At(row.source), into + (row.slash ? "\\" : ""), row.pieceSize, progress.Proc());
        });
        EXPECT_NE(text.find("\"" + atRisk + "\""), std::string::npos) << text;
        if (!row.lead.empty()) { EXPECT_EQ(text, row.lead + "\"" + atRisk + "\"" + row.tail); }
        EXPECT_TRUE(progress.Calls().empty());
    }
    EXPECT_EQ(FileNames(into), namesBefore);
}

const char *const Create = "Cannot create file ", *const Checksum = "Checksum file ", *const File = "File ";
const std::string Named = "\r\nsize=5000\r\ncrc32=0\r\n", Padded = "filename=pad.bin\r\nsize=1\r\ncrc32=0\r\n";
const std::string SameFile = ". It is a link: other names lead to the same file.";
const std::string ToNothing = ". It is a link: it leads to a file that is not there.";
std::string Describes(const std::string& stem, const std::string& file)
{
    return " describes the file \"" + file + "\"; splitting \"" + stem +
           ".bin\" here would overwrite its pieces. Nothing was split.";
}
std::string NotOurs(const std::string& stem)
{
    return " is not a checksum file of \"" + stem + ".bin\" that this split may replace. Nothing was split.";
}

const TRefusalRow Refusals[] = {
    {.name = "SourceIsTheFirstPiece", .source = {Target, "data.001"}, .into = Target, .slash = true, .pieceSize = 1000,
     .dataSet = true, .atRisk = {Target, "data.001"}},
    {.name = "SourceIsTheSecondPiece", .source = {Target, "data.002"}, .into = Target, .dataSet = true,
     .atRisk = {Target, "data.002"}},
    // Two pieces; data.bin's set.
    {.name = "SourceIsAPieceOfTheDescriptorsSet", .source = {Target, "data.003"}, .into = Target, .pieceSize = 1000,
     .dataSet = true, .atRisk = {Target, "data.crc"}},
    {.name = "SourceIsTheDescriptor", .source = {Target, "list.crc"}, .into = Target, .file = {Target, "list.crc"},
     .bytes = PatternBytes(5000, 9), .lead = Create, .tail = ". It is the file being split."},
    // 1000 pieces of 2 bytes: 254 + 6 characters, and only the thousandth: 253 + 7.
    {.name = "FirstPieceOf260Characters", .source = {Work, "r.bin"}, .into = Long254, .pieceSize = 2,
     .sourceSize = 999 * 2 + 1, .atRisk = {Long254, "r.001"}},
    {.name = "ThousandthPieceOf260Characters", .source = {Work, "r.bin"}, .into = Long253, .pieceSize = 2,
     .sourceSize = 999 * 2 + 1, .atRisk = {Long253, "r.1000"}},
    {.name = "ThousandthPieceOf260CharactersAsTyped", .source = {Work, "r.bin"}, .into = Dotted253, .pieceSize = 2,
     .sourceSize = 999 * 2 + 1, .atRisk = {Dotted253, "r.1000"}, .lead = Create,
     .tail = ". The name is longer than the system allows."},
    {.name = "SourceIsADirectory", .source = {Work, "folder.bin"}, .into = Target, .sourceSize = 0,
     .directory = {Work, "folder.bin"}, .atRisk = {Work, "folder.bin"}},
    {.name = "SourceIsADeviceName", .source = {Work, "nul.txt"}, .into = Target, .sourceSize = 0,
     .atRisk = {Work, "nul.txt"}},
    {.name = "PieceNameIsADirectory", .source = {Work, "w.bin"}, .into = Work, .directory = {Work, "w.002"},
     .atRisk = {Work, "w.002"}},
    // At the descriptor's name: a descriptor of another file, also held by other programs, this
    // file's own held, one without a file name (a data file: tests/host), one naming this file
    // but a byte over 64 KiB, others that only a language's rules would take for this file's.
    {.name = "DescriptorOfAnotherFile", .source = {Work, "lk.bin"}, .file = {Sets, "lk.crc"},
     .bytes = "filename=lk.txt" + Named, .lead = Checksum, .tail = Describes("lk", "lk.txt")},
    {.name = "DescriptorHeldAgainstReaders", .source = {Work, "lk.bin"}, .file = {Sets, "lk.crc"},
     .bytes = "filename=lk.txt" + Named, .lead = File, .tail = NotOurs("lk"), .holdAccess = GENERIC_READ},
    {.name = "DescriptorHeldForWriting", .source = {Work, "lk.bin"}, .file = {Sets, "lk.crc"},
     .bytes = "filename=lk.txt" + Named, .lead = File, .tail = NotOurs("lk"), .holdAccess = GENERIC_WRITE,
     .holdShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
    {.name = "DescriptorOfAnotherFileHeldReadable", .source = {Work, "lk.bin"}, .file = {Sets, "lk.crc"},
     .bytes = "filename=lk.txt" + Named, .lead = Checksum, .tail = Describes("lk", "lk.txt"),
     .holdAccess = GENERIC_READ, .holdShare = FILE_SHARE_READ},
    {.name = "OwnDescriptorHeld", .source = {Work, "ow.bin"}, .file = {Sets, "ow.crc"},
     .bytes = "filename=ow.bin" + Named, .lead = Create, .tail = ". " + SysErrorMessage(ERROR_SHARING_VIOLATION),
     .holdAccess = GENERIC_READ, .holdShare = FILE_SHARE_READ},
    // At the checksum list's name: a list of other pieces.
    {.name = "ListOfOtherPieces", .source = {Work, "fs.bin"}, .file = {Sets, "fs.sfv"},
     .bytes = "fs.001 00000000\r\nother.002 12345678\r\n", .lead = File,
     .tail = " is not a checksum list of the pieces of \"fs.bin\" that this split may replace. Nothing was split."},
    {.name = "DescriptorWithoutAFileName", .source = {Work, "nf.bin"}, .file = {Sets, "nf.crc"},
     .bytes = Named.substr(2), .lead = File, .tail = NotOurs("nf")},
    {.name = "DescriptorAByteOver64KiB", .source = {Work, "pad.bin"}, .file = {Sets, "pad.crc"},
     .bytes = Padded + std::string(65537 - Padded.size(), ' '), .lead = File, .tail = NotOurs("pad")},
    {.name = "DescriptorOfTheNameWithoutItsHyphen", .source = {Work, "co-op.bin"}, .file = {Sets, "co-op.crc"},
     .bytes = "filename=coop.bin\r\n", .lead = Checksum, .tail = Describes("co-op", "coop.bin")},
    {.name = "LigatureIsNoTwoLetters", .source = {Work, "\xe6.bin"}, .file = {Sets, "\xe6.crc"},
     .bytes = "filename=ae.bin\r\n", .lead = Checksum, .tail = Describes("\xe6", "ae.bin"), .needs1252 = true},
    {.name = "SharpSIsNoDoubleS", .source = {Work, "stra\xdf" "e.bin"}, .file = {Sets, "stra\xdf" "e.crc"},
     .bytes = "filename=strasse.bin\r\n", .lead = Checksum, .tail = Describes("stra\xdf" "e", "strasse.bin"),
     .needs1252 = true},
    // Links: two piece names of one file; a piece name that is another name of a file elsewhere
    // (a symbolic one: tests/host), the descriptor's name another name of an old piece or of a
    // descriptor elsewhere; links that lead nowhere, at a piece name and at the descriptor's: Wine
    // hides them.
    {.name = "TwoPieceNamesOfOneFile", .source = {Work, "hl.bin"}, .file = {Sets, "hl.001"}, .link = {Sets, "hl.002"},
     .to = {Sets, "hl.001"}, .bytes = "piece one", .lead = Create, .tail = SameFile},
    {.name = "PieceNameOfAFileElsewhere", .source = {Work, "hx.bin"}, .file = {Work, "keep.bin"},
     .link = {Sets, "hx.002"}, .to = {Work, "keep.bin"}, .bytes = "another program's file", .atRisk = {Sets, "hx.002"},
     .lead = Create, .tail = SameFile},
    {.name = "DescriptorNameOfAnOldPiece", .source = {Work, "y.bin"}, .into = Links, .atRisk = {Links, "y.crc"},
     .lead = Create, .tail = SameFile},
    {.name = "DescriptorNameOfADescriptorElsewhere", .source = {Work, "z.bin"}, .into = Links,
     .atRisk = {Links, "z.crc"}, .lead = Create, .tail = SameFile},
    {.name = "PieceNameLeadsNowhere", .source = {Work, "d.bin"}, .into = Links, .atRisk = {Links, "d.002"},
     .lead = Create, .tail = ToNothing},
    {.name = "DescriptorNameLeadsNowhere", .source = {Work, "e.bin"}, .into = Links, .atRisk = {Links, "e.crc"},
     .lead = Create, .tail = ToNothing},
    {.name = "SourceIsAFifo", .source = {Devices, "fifo.bin"}, .into = Target, .atRisk = {Devices, "fifo.bin"}},
    {.name = "SourceIsADevice", .source = {Devices, "zero.bin"}, .into = Target, .atRisk = {Devices, "zero.bin"}},
    {.name = "PieceNameIsADevice", .source = {Work, "z.bin"}, .into = Devices, .atRisk = {Devices, "z.002"}},
};
ZANDREL_ROWS(SplitRefusal, Refusals);

// Its own older set is replaced, with no stale bytes: smaller pieces of new bytes, one piece more;
// then larger ones: the old set's pieces above the new last one are removed with it.
TEST_F(SplitFileTest, OwnOlderSetIsReplacedWithNoStaleBytes)
{
    const auto old = Source("data.bin", 12000, 3);
    ASSERT_TRUE(SplitFile(old.Path, target.Path(), 5000, nullptr));  // data.001 .. .003
    const auto fresh = Source("data.bin", 12000, 4);
    ASSERT_TRUE(SplitFile(fresh.Path, target.Path(), 3000, nullptr));
    for (uint32_t k = 1; k <= 4; ++k) {
        const std::string piece = PieceFileName(target.File("data.bin"), k);
        EXPECT_EQ(ReadFileBytes(piece), fresh.Bytes.substr((k - 1) * 3000, 3000)) << k;
    }
    EXPECT_EQ(ReadFileBytes(target.File("data.crc")), DescriptorText("data.bin", 12000, fresh.Bytes));
    ASSERT_TRUE(SplitFile(fresh.Path, target.Path(), 7000, nullptr));
    EXPECT_FALSE(FileExists(target.File("data.003")) || FileExists(target.File("data.004")));
    EXPECT_EQ(ReadFileBytes(target.File("data.002")), fresh.Bytes.substr(7000));
}

// A target typed with "..\" segments one character short of the limit: the thousandth piece fits.
TEST_F(SplitFileTest, ThousandthPieceOf259CharactersAsTypedFits)
{
    const auto source = Source("r.bin", 999 * 2 + 1, 1);
    ASSERT_TRUE(CreateDirectoryA(work.File("sub").c_str(), nullptr));
    const std::string fits = DottedTarget(work.Path(), 252);
    ASSERT_EQ((AddBackslash(fits) + "r.1000").size(), 259u);
    ASSERT_TRUE(SplitFile(source.Path, fits, 2, nullptr));
    EXPECT_EQ(ReadFileBytes(work.File("sub\\r.1000")), source.Bytes.substr(1998));
}

// Every file the copy opens for writing is looked at on its handle before anything in it changes:
// a piece name whose file the checks saw became a link to a file elsewhere, or another name of the
// source, while the split ran, ends the split there and leaves that file as it was; a symbolic
// link that leads nowhere is refused before the first write (SplitRefusal).
struct TRelinkRow { const char* name; bool toSource; DWORD error; };  // toSource: else keep.bin in target
using PieceRelinked = TEngineRows<TRelinkRow>;

TEST_P(PieceRelinked, EachPieceIsLookedAtOnItsHandleBeforeItIsEmptied)
{
    const std::string keep = target.File("keep.bin"), name = pieces.File("t"), second = name + ".002";
    const auto source = Source("t.bin", 5000, 5);
    WriteFileBytes(keep, "another program's file");
    WriteFileBytes(second, "a file the checks saw");
    const std::string other = GetParam().toSource ? source.Path : keep;  // what t.002 becomes after the first block
    TProgressRecorder progress;
    progress.OnCall = [&](size_t i) {
        EXPECT_TRUE(i != 0 || (DeleteFileA(second.c_str()) && CreateHardLinkA(second.c_str(), other.c_str(), nullptr)));
        return false;
    };
    EXPECT_TRUE(Ended(RunSplit(source.Path, pieces.Path(), 2000, progress.Proc()), TCause::CannotCreate, second,
                      GetParam().error));
    EXPECT_EQ(progress.Calls().size(), 1u);
    EXPECT_EQ(ReadFileBytes(name + ".001"), source.Bytes.substr(0, 2000));
    EXPECT_FALSE(FileExists(name + ".003"));
    EXPECT_FALSE(FileExists(name + ".crc"));
    EXPECT_EQ(ReadFileBytes(keep), "another program's file");
    EXPECT_EQ(ReadFileBytes(source.Path), source.Bytes);
}

const TRelinkRow Relinks[] = {
    {.name = "ToAFileElsewhere", .toSource = false, .error = ERROR_CANT_RESOLVE_FILENAME},
    {.name = "ToTheSource", .toSource = true, .error = ERROR_SHARING_VIOLATION},
};
ZANDREL_ROWS(PieceRelinked, Relinks);

// A cancel ends both operations at their next check: set through a progress call, by the host's
// own message handling without any progress callback (a message waiting when the operation
// starts), or where messages run: during the split's checksum pass or right after it (no
// descriptor either way), after a combine's piece. The clock stands still, so each pass lets
// messages run after its first block only; a combine lets them run after every piece as well.
// Sparse sources of 2 GiB and more, up to 1000 pieces of 4 GiB - 1, stop in their first piece.
enum TWhen { AtReport, AtPump, DuringChecksumPass, AfterChecksumPass, ByMessage };
// at: the report's or the pump's index; calls: the progress calls made; left: a split's pieces
// (their sizes), a combine's complete output ({its size}).
struct TCancelRow {
    const char* name; bool combine = false; uint64_t size; uint32_t piece; TWhen when = AtReport;
    size_t at = 0, calls = 1; std::vector<uint32_t> left;
};
using Cancel = TEngineRows<TCancelRow>;

// A message-only window whose procedure sets the cancel flag on StopMessage, for one scope.
struct TStopWindow {
    HWND h = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    TStopWindow() { SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StopProc)); }
    ~TStopWindow() { DestroyWindow(h); }
};

TEST_P(Cancel, StopsAtTheNextCheck)
{
    const TCancelRow& c = GetParam();
    const TStopWindow stop;
    ASSERT_NE(stop.h, nullptr);
    const std::string source = work.File("c.bin"), bytes = PatternBytes(c.combine ? c.size : 1000, 4);
    const std::string descriptor = c.combine ? Pieces("c.bin", bytes, c.piece) : "";
    if (!c.combine) engineprobe::MakeSparseFile(source, c.size, bytes);
    const auto stamp = engineprobe::Stamp(source);
    TPumpProbe probe;
    bool sawPass = false;
    probe.OnPump = [&](size_t i) {
        const bool held = HeldByChecksumPass(source);
        if ((c.when == AtPump && i == c.at) || (c.when == DuringChecksumPass && held) ||
            (c.when == AfterChecksumPass && sawPass && !held))
            CancelFlag = 1;
        sawPass = sawPass || held;
    };
    if (c.when == ByMessage) PostMessageA(stop.h, StopMessage, 0, 0);
    CancelFlag = 1;  // as the last cancel left it: each operation starts with the flag cleared
    TProgressRecorder progress;
    progress.OnCall = [&](size_t i) { return c.when == AtReport && i == c.at; };
    const TPlugInProgressProc proc = c.when == ByMessage ? nullptr : progress.Proc();
    const TOutcome outcome = c.combine ? engineprobe::Combine(descriptor, target.Path(), proc)
                                       : RunSplit(source, target.Path(), c.piece, proc);
    EXPECT_EQ(outcome.Cause, c.combine && !c.left.empty() ? TCause::None : TCause::Cancelled);
    EXPECT_NE(CancelFlag, 0);
    EXPECT_EQ(progress.Calls().size(), c.calls) << "no block after the cancel, no closing report of a split";
    if (c.calls != 0) { EXPECT_EQ(progress.Calls().front().CancelOnEntry, 0); }
    EXPECT_EQ(FileNames(target.Path()).size(), c.left.size()) << "no descriptor";
    if (c.combine && !c.left.empty()) { EXPECT_EQ(ReadFileBytes(target.File("c.bin")), bytes); }
    if (!c.combine) { EXPECT_TRUE(engineprobe::Stamp(source) == stamp); }
    std::string joined;
    uint64_t total = 0;
    for (size_t k = 0; !c.combine && k < c.left.size(); ++k) {
        joined += ReadFileBytes(PieceFileName(target.File("c.bin"), k + 1));
        EXPECT_EQ(joined.size(), total += c.left[k]) << k + 1;
    }
    if (!c.combine) { EXPECT_EQ(joined, engineprobe::ReadAt(source, 0, static_cast<uint32_t>(total))); }
}

const uint64_t G = 1ull << 30;
const TCancelRow Cancels[] = {
    {.name = "FirstReportOnePiece", .size = 3 * B, .piece = 3 * B, .left = {B}},
    {.name = "FirstReportManyPieces", .size = 5000, .piece = 1000, .left = {1000}},
    {.name = "LastBlock", .size = 5000, .piece = 1000, .at = 4, .calls = 5, .left = {1000, 1000, 1000, 1000, 1000}},
    {.name = "LastBlockOfALongPiece", .size = 2 * B + 7, .piece = 2 * B + 7, .at = 2, .calls = 3, .left = {2 * B + 7}},
    {.name = "TwoGiBLessOne", .size = 2 * G - 1, .piece = 1u << 30, .left = {B}},
    {.name = "TwoGiB", .size = 2 * G, .piece = 1u << 30, .left = {B}},
    {.name = "FiveGiBAndSevenInFat32Pieces", .size = 5 * G + 7, .piece = 4095u << 20, .left = {B}},
    {.name = "ThePiecesOfTheLargestSizeAndAByte", .size = 999ull * P + 1, .piece = P, .left = {B}},
    {.name = "DuringTheChecksumPass", .size = 3 * B + 10, .piece = 3 * B + 10, .when = DuringChecksumPass, .calls = 4,
     .left = {3 * B + 10}},
    {.name = "RightAfterTheChecksumPass", .size = 3 * B + 10, .piece = 3 * B + 10, .when = AfterChecksumPass,
     .calls = 4, .left = {3 * B + 10}},
    {.name = "SplitByMessage", .size = 8 * B, .piece = 8 * B, .when = ByMessage, .calls = 0, .left = {B}},
    // During the very last block the output is already complete: it passes the check.
    {.name = "CombineLastBlock", .combine = true, .size = 2 * B + 10, .piece = B + 5, .at = 3, .calls = 5,
     .left = {2 * B + 10}},
    {.name = "CombineFirstBlock", .combine = true, .size = 2 * B + 10, .piece = B + 5, .calls = 2, .left = {}},
    {.name = "CombineEndOfTheFirstPiece", .combine = true, .size = 2 * B + 10, .piece = B + 5, .at = 1, .calls = 3,
     .left = {}},
    {.name = "CombinePumpAfterTheFirstPiece", .combine = true, .size = 2 * B + 10, .piece = B + 5, .when = AtPump,
     .at = 1, .calls = 3, .left = {}},
    {.name = "CombineByMessage", .combine = true, .size = 8 * B, .piece = 8 * B, .when = ByMessage, .calls = 0,
     .left = {}},
};
ZANDREL_ROWS(Cancel, Cancels);

// The host's messages run during all the work, not only the copy: during the checks over the
// names before the first write (a re-split over 1000 pieces asks the system about 1001 names:
// with a clock that ticks at every read, messages run between the names). The block reports stay
// exactly those of the copy.
TEST_F(SplitFileTest, MessagesRunDuringTheChecksBeforeAReSplit)
{
    const auto source = Source("many.bin", 999 * 3 + 1, 3);
    ASSERT_TRUE(SplitFile(source.Path, target.Path(), 3, nullptr));
    TPumpProbe probe(1);
    size_t beforeFirstWrite = 0;
    probe.OnPump = [&](size_t) {
        // Asked by name, never through a handle: piece 1 is held without sharing while written.
        WIN32_FILE_ATTRIBUTE_DATA data{};
        beforeFirstWrite += GetFileAttributesExA(target.File("many.001").c_str(), GetFileExInfoStandard, &data) &&
                            data.nFileSizeLow == 3;
    };
    TProgressRecorder progress;
    ASSERT_TRUE(SplitFile(source.Path, target.Path(), 4, progress.Proc()));
    EXPECT_GE(beforeFirstWrite, 1001u) << probe.Pumps() << " pumps";
    EXPECT_EQ(progress.Calls().size(), 751u) << "one report per piece and the closing one";
    EXPECT_EQ(ReadFileBytes(target.File("many.001")), source.Bytes.substr(0, 4));
}

// ... and during the combine's check of its output, under its temporary name.
TEST_F(SplitFileTest, MessagesRunDuringTheCombinesCheckOfItsOutput)
{
    const std::string descriptor = Pieces("pass.img", PatternBytes(2 * B + 10, 7), B + 5);
    TPumpProbe probe;
    size_t duringCheck = 0;
    probe.OnPump = [&](size_t) { duringCheck += HeldByChecksumPass(target.File("pass.img.part")); };
    TProgressRecorder progress;
    EXPECT_TRUE(engineprobe::Combine(descriptor, target.Path(), progress.Proc()).Ok());
    EXPECT_EQ(duringCheck, 1u) << "the clock stands still: after the check's first block";
    EXPECT_EQ(progress.Calls().size(), 5u) << "two blocks per piece, the closing report";
}

// The directories a split on a drive's root reports keep their separator: "Q:\", never "Q:".
struct TRootRow { const char *name, *source, *target, *sourceDir, *targetDir; };
using DriveRoot = TEngineRows<TRootRow>;

TEST_P(DriveRoot, KeepsItsSeparator)
{
    const TRootRow& c = GetParam();
    if (!engineprobe::FixtureDir() || !FileExists("Q:\\zandrel-engine.mark"))
        GTEST_SKIP() << "drive Q: is mapped by the engine test fixture (run through ctest)";
    CreateDirectoryA("Q:\\sub", nullptr);
    WriteFileBytes(c.source, PatternBytes(20000));
    TProgressRecorder progress;
    const bool split = SplitFile(c.source, c.target, 15000, progress.Proc());
    const std::string base = AddBackslash(c.targetDir) + ExtractFileName(c.source);
    const std::string piece2 = PieceFileName(base, 2), piece2Bytes = FileExists(piece2) ? ReadFileBytes(piece2) : "";
    const bool described = FileExists(DescriptorFileName(base));
    for (const char* f : {"Q:\\root.txt", "Q:\\root.001", "Q:\\root.002", "Q:\\root.crc", "Q:\\root.sfv",
                          "Q:\\deep.001", "Q:\\deep.002", "Q:\\deep.crc", "Q:\\deep.sfv"})
        DeleteFileA(f);
    testfiles::RemoveTree("Q:\\sub");
    ASSERT_TRUE(split);
    ASSERT_EQ(progress.Calls().size(), 3u);
    progress.ExpectCalls("Spliting...", c.source, c.sourceDir, c.targetDir);
    EXPECT_EQ(piece2Bytes.size(), 5000u);
    EXPECT_TRUE(described);
}

const TRootRow Roots[] = {
    {.name = "RootToRoot", .source = "Q:\\root.txt", .target = "Q:\\", .sourceDir = "Q:\\", .targetDir = "Q:\\"},
    {.name = "RootToDrive", .source = "Q:\\root.txt", .target = "Q:", .sourceDir = "Q:\\", .targetDir = "Q:\\"},
    {.name = "RootToSub", .source = "Q:\\root.txt", .target = "Q:\\sub", .sourceDir = "Q:\\", .targetDir = "Q:\\sub"},
    {.name = "SubToRoot", .source = "Q:\\sub\\deep.txt", .target = "Q:\\", .sourceDir = "Q:\\sub", .targetDir = "Q:\\"},
};
ZANDREL_ROWS(DriveRoot, Roots);

}  // namespace
