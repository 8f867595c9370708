// The engine under faults: files held by other programs, a full target file system, damaged
// pieces, junk descriptors, files of 4 GB and more, and a source that changes during the split. In
// every case the source and every file that was there before stay byte for byte as they were, and
// a failed combine leaves no output behind.
#include <cstdlib>

#include "EngineTest.h"

namespace {

using engineprobe::Crc32;
using EngineFaultsTest = TEngineTest;
const uint32_t B = TransferBlockSize;
const uint32_t Short = 0;  // a piece cut short: fewer bytes than the piece size
const char* const NeedsTmpfs = "the fixture's 512 KiB tmpfs needs root (run through ctest)";

void RemoveFiles(const std::string& dir)
{
    for (const auto& name : FileNames(dir)) DeleteFileA((dir + "\\" + name).c_str());
}

// The fixture's 512 KiB tmpfs, emptied; "" when it is not mounted.
std::string EmptySmall()
{
    if (!engineprobe::SmallFilesystemMounted()) return "";
    RemoveFiles(*engineprobe::FixtureDir() + "\\small");
    return *engineprobe::FixtureDir() + "\\small";
}

// What another program holds against everybody while the engine runs.
enum THeld { HoldsNothing, HoldsSource, HoldsPiece2, HoldsOutput };

// A split that meets a fault, one per row: a file held by another program, a missing source, a
// full target file system (the tmpfs). Whatever was there before stays as it was (the source
// and every file in the target but an older descriptor of the file, which goes: a failed split
// leaves none); beside it only the pieces the split wrote, each holding the source's bytes at its
// place, the last one cut short where the file system filled.
// failsAt: the piece the cause names (0: the source); held: HoldsPiece2 makes it first; beside:
// another program's keep.bin, an older f.crc of this file and its f.009; left: the pieces left, by
// size (Short: cut short).
enum TFrom { OneMiB, Absent, Sparse5GiB };
struct TSplitFaultRow {
    const char* name; TCause cause; uint32_t error = engineprobe::AnyError, failsAt = 0; TFrom source = OneMiB;
    uint32_t pieceSize = 300000; THeld held = HoldsNothing; bool onSmall = false, beside = false;
    std::vector<uint32_t> left = {};
};
using SplitFault = TEngineRows<TSplitFaultRow>;

TEST_P(SplitFault, LeavesTheSourceAndOlderFilesAsTheyWere)
{
    const TSplitFaultRow& row = GetParam();
    const std::string small = EmptySmall(), to = row.onSmall ? small : target.Path();
    if (row.onSmall && small.empty()) GTEST_SKIP() << NeedsTmpfs;
    std::string source = work.File("absent.txt");
    if (row.source == OneMiB) source = Source("f.bin", 1 << 20, 21).Path;
    if (row.source == Sparse5GiB) engineprobe::MakeSparseFile(source = target.File("giant.img"), 5ull << 30, "head");
    const std::string base = to + "\\" + ExtractFileName(source);
    if (row.held == HoldsPiece2) WriteFileBytes(PieceFileName(base, 2), "held by another program");
    if (row.beside) WriteFileBytes(small + "\\keep.bin", PatternBytes(10000, 22));
    if (row.beside) WriteFileBytes(small + "\\f.crc", "filename=f.bin\r\nsize=1\r\ncrc32=0\r\n");
    if (row.beside) WriteFileBytes(small + "\\f.009", "older piece");
    const auto stamp = engineprobe::Stamp(source);
    auto before = engineprobe::Snapshot(to);
    TOutcome outcome;
    {
        const TUnchanged unchanged({work.Path(), pieces.Path()});
        std::optional<engineprobe::THold> hold;
        if (row.held != HoldsNothing) hold.emplace(row.held == HoldsSource ? source : PieceFileName(base, 2));
        outcome = RunSplit(source, to, row.pieceSize, nullptr);
    }
    EXPECT_TRUE(Ended(outcome, row.cause, row.failsAt ? PieceFileName(base, row.failsAt) : source, row.error));
    EXPECT_TRUE(engineprobe::Stamp(source) == stamp);
    auto after = engineprobe::Snapshot(to);
    before.erase(ExtractFileName(ChangeFileExt(source, ".crc")));
    for (size_t k = 0; k < row.left.size(); ++k) {
        const std::string name = ExtractFileName(PieceFileName(base, k + 1)), piece = after[name];
        EXPECT_TRUE(row.left[k] == Short ? piece.size() < row.pieceSize : piece.size() == row.left[k]) << k + 1;
        EXPECT_TRUE(piece == engineprobe::ReadAt(source, k * uint64_t(row.pieceSize), uint32_t(piece.size()))) << k + 1;
        if (row.onSmall) { EXPECT_LE(piece.size(), 512u * 1024) << k + 1; }
        after.erase(name);
    }
    EXPECT_EQ(after, before);
    if (!small.empty()) RemoveFiles(small);
}

using enum TCause;
const TSplitFaultRow SplitFaults[] = {
    {.name = "PieceNameHeld", .cause = CannotCreate, .error = ERROR_SHARING_VIOLATION, .failsAt = 2,
     .held = HoldsPiece2, .left = {300000}},
    {.name = "SourceHeld", .cause = CannotOpen, .error = ERROR_SHARING_VIOLATION, .held = HoldsSource},
    {.name = "SourceMissing", .cause = CannotOpen, .error = ERROR_FILE_NOT_FOUND, .source = Absent, .pieceSize = 100},
    {.name = "SecondPieceFillsTheFileSystem", .cause = CannotWrite, .error = ERROR_DISK_FULL, .failsAt = 2,
     .onSmall = true, .beside = true, .left = {300000, Short}},
    {.name = "Sparse5GiBFillsItInTheFirstOf4095MiB", .cause = CannotWrite, .failsAt = 1, .source = Sparse5GiB,
     .pieceSize = 4095u << 20, .onSmall = true, .left = {Short}},
};
ZANDREL_ROWS(SplitFault, SplitFaults);

// The unfinished descriptor and the pieces fit, the checksum list does not: neither a partial
// list nor any descriptor is left.
TEST_F(EngineFaultsTest, SplitWhoseListDoesNotFitLeavesNoDescriptor)
{
    const std::string small = EmptySmall();
    if (small.empty()) GTEST_SKIP() << NeedsTmpfs;
    const auto half = Source("half.bin", 200000, 23);
    const std::string filler = PatternBytes((128 - 51) * 4096, 24);
    WriteFileBytes(small + "\\filler.bin", filler);
    const std::string text = Refusal<EFileError>([&] { SplitFile(half.Path, small, 100000, nullptr); });
    EXPECT_EQ(text.rfind("Cannot create file \"" + small + "\\half.sfv\". ", 0), 0u) << text;
    EXPECT_FALSE(FileExists(small + "\\half.crc") || FileExists(small + "\\half.sfv"));
    EXPECT_EQ(ReadFileBytes(half.Path), half.Bytes);
    EXPECT_EQ(ReadFileBytes(small + "\\filler.bin"), filler);
    RemoveFiles(small);
}

// A combine of dm.bin (300,000 bytes in pieces of 140,000: dm.001 .. dm.003, and the list dm.sfv)
// that meets a fault, one per row: a file held by another program or a piece another program
// changed. Every file stays as it was, no output is left, and once the fault is gone the set
// combines.
// failsAt: the piece the cause names (0: none); held: HoldsOutput makes dm.bin first, of the set's
// bytes; second: what another program made of dm.002; beforeWriting: the combine ends before it
// writes anything (no closing report); holds: SizeMismatch: the bytes the pieces hold (the checksum
// file says 300,000).
enum TPiece { AsSplit, OneByteShort, BitFlipped, OneByteLonger, Emptied, Doubled };
struct TCombineFaultRow {
    const char* name; TCause cause; uint32_t error = 0, failsAt = 0; bool namesOutput = false;
    THeld held = HoldsNothing; TPiece second = AsSplit; bool noList = false, beforeWriting = false;
    uint64_t holds = 0;
};
using CombineFault = TEngineRows<TCombineFaultRow>;

TEST_P(CombineFault, LeavesEveryFileAsItWasWithNoOutput)
{
    const TCombineFaultRow& row = GetParam();
    const std::string bytes = PatternBytes(300000, 41), dm = Pieces("dm.bin", bytes, 140000);
    const std::string second = PieceFileName(dm, 2), good = ReadFileBytes(second), output = target.File("dm.bin");
    std::string flipped = bytes;
    flipped[210000] ^= 0x10;  // at 70,000 in dm.002
    const std::string made[] = {good, good.substr(0, good.size() - 1), flipped.substr(140000, 140000), good + "z", "",
                                good + good};  // by TPiece
    WriteFileBytes(second, made[row.second]);
    if (row.noList) DeleteFileA(ChangeFileExt(dm, ".sfv").c_str());
    if (row.held == HoldsOutput) WriteFileBytes(output, bytes);
    TOutcome outcome;
    {
        const TUnchanged unchanged({work.Path(), pieces.Path(), target.Path()});
        std::optional<engineprobe::THold> hold;
        if (row.held != HoldsNothing) hold.emplace(row.held == HoldsOutput ? output : second);
        outcome = engineprobe::Combine(dm, target.Path(), nullptr, !row.beforeWriting);
    }
    const std::string file = row.namesOutput ? output : row.failsAt ? PieceFileName(dm, row.failsAt) : "";
    EXPECT_TRUE(Ended(outcome, row.cause, file, row.error));
    if (row.holds) { EXPECT_EQ(engineprobe::Sizes(outcome), std::make_pair(row.holds, uint64_t(300000))); }
    if (row.second == BitFlipped) {  // the list's checksum of dm.002, or the checksum file's
        const auto listed = std::pair(Crc32(made[BitFlipped]), Crc32(good));
        const auto whole = std::pair(Crc32(flipped), Crc32(bytes));
        EXPECT_EQ(std::pair(outcome.FoundCRC, outcome.ExpectedCRC), row.noList ? whole : listed);
        EXPECT_EQ(outcome.List, row.noList ? "" : "dm.sfv");
    }
    WriteFileBytes(second, good);
    EXPECT_TRUE(CombineFiles(dm, target.Path(), nullptr)) << "once the fault is gone";
}

const TCombineFaultRow CombineFaults[] = {
    {.name = "PieceHeld", .cause = CannotRead, .error = ERROR_SHARING_VIOLATION, .failsAt = 2, .held = HoldsPiece2},
    // An existing target that cannot be verified stays.
    {.name = "OutputThereAndHeld", .cause = CannotRead, .error = ERROR_SHARING_VIOLATION, .namesOutput = true,
     .held = HoldsOutput},
    {.name = "PieceOneByteShort", .cause = PieceMissing, .failsAt = 4, .second = OneByteShort, .beforeWriting = true},
    {.name = "BitFlippedInAPiece", .cause = PieceDamaged, .failsAt = 2, .second = BitFlipped},
    {.name = "BitFlippedNoListBeside", .cause = ChecksumMismatch, .second = BitFlipped, .noList = true},
    {.name = "PieceOneByteLonger", .cause = SizeMismatch, .second = OneByteLonger, .beforeWriting = true,
     .holds = 300001},
    {.name = "PieceEmptied", .cause = PieceMissing, .failsAt = 4, .second = Emptied, .beforeWriting = true},
    {.name = "PieceOfTwoPiecesWorth", .cause = SizeMismatch, .second = Doubled, .beforeWriting = true, .holds = 420000},
};
ZANDREL_ROWS(CombineFault, CombineFaults);

// A combine onto the full tmpfs (beside another program's keep.bin), one per row, of stem.bin in
// pieces of 300,000 bytes: the cause names the final output, and no output and no temporary file
// is left.
// keep: keep.bin's size; alone: the pieces without their checksum file, the first selected.
struct TFullRow {
    const char *name, *stem; uint32_t size, seed = 21, keep = 10000; bool alone = false;
};
using CombineOntoAFullFileSystem = TEngineRows<TFullRow>;

TEST_P(CombineOntoAFullFileSystem, FailsWithNoOutputLeft)
{
    const TFullRow& row = GetParam();
    const std::string small = EmptySmall();
    if (small.empty()) GTEST_SKIP() << NeedsTmpfs;
    const std::string descriptor = Pieces(std::string(row.stem) + ".bin", PatternBytes(row.size, row.seed), 300000);
    WriteFileBytes(small + "\\keep.bin", PatternBytes(row.keep, 22));
    if (row.alone) DeleteFileA(descriptor.c_str());
    TOutcome outcome;
    {
        const TUnchanged unchanged({work.Path(), pieces.Path(), small});
        outcome = engineprobe::Combine(row.alone ? PieceFileName(descriptor, 1) : descriptor, small, nullptr);
    }
    const std::string output = small + "\\" + row.stem + (row.alone ? "" : ".bin");
    EXPECT_TRUE(Ended(outcome, TCause::CannotWrite, output, ERROR_DISK_FULL));
    EXPECT_EQ(outcome.WithoutDescriptor, row.alone);
    RemoveFiles(small);
}

const TFullRow FullRows[] = {
    {.name = "OutputFillsIt", .stem = "big", .size = 1 << 20},
    // 515,904 bytes onto 512 KiB less the 16 KiB kept: every write fits but the last, which fits
    // in part; a short write is no complete file.
    {.name = "LastBlockFillsIt", .stem = "last", .size = 515904, .seed = 25, .keep = 4096 * 4},
    {.name = "PiecesAloneFillIt", .stem = "big", .size = 1 << 20, .alone = true},
};
ZANDREL_ROWS(CombineOntoAFullFileSystem, FullRows);

// What a combine makes of the file it is given as the checksum file of the pieces j.001 and j.002
// (10,000 bytes), one per row. Refused, with nothing made: what is no checksum file (also beyond
// 64 KiB), a name that would leave the target directory (also one the system would change as
// well), one the system would change, one that it opens as a device wherever it stands (also one
// it would change); the reader's error for a size that is no number; any other checksum file ends
// in an outcome: the size is checked on its own, also with the right checksum. Which names leave
// the directory, name a device or change, and which sizes are no number, is also tabled with the
// rules themselves (tests/core: PieceNames, Descriptor); a row's alike names share its result.
const std::string JBytes = PatternBytes(10000, 51), JCrc = IntToHex(engineprobe::Crc32(JBytes));

std::string Described(const std::string& name, const std::string& size = "10000", const std::string& crc32 = "0")
{
    return "filename=" + name + "\r\nsize=" + size + "\r\ncrc32=" + crc32 + "\r\n";
}

std::string Padded(size_t size) { return Described("j.bin") + std::string(size - Described("j.bin").size(), ' '); }

std::string Utf16(const std::string& text)
{
    std::string out;
    for (const char c : text) out += std::string(1, c) + '\0';
    return out;
}

// text: the file's bytes (without: Described(file, size, crc)); cause: an Outcome's; failsAt: the
// piece the cause names; beforeWriting: the combine ends before it writes anything (no progress
// call, no closing report); recorded, holds: SizeMismatch: the checksum file's size, the bytes the
// pieces hold.
enum TRead { Outcome, NotAChecksumFile, Outside, ChangedName, Device, ConvertError };
struct TDescriptorRow {
    const char* name; std::optional<std::string> text = std::nullopt;
    std::string file = "j.bin", size = "10000", crc = "0"; TRead read = Outcome; TCause cause = ChecksumMismatch;
    uint32_t failsAt = 0; bool namesOutput = false, beforeWriting = false; uint64_t recorded = 0, holds = 0;
    std::vector<std::string> alike = {};  // further names (ConvertError: sizes) with the same result
};
class Descriptor : public TEngineRows<TDescriptorRow> {
protected:
    void ExpectCombineOf(const TDescriptorRow& row);
};

std::string RefusalText(const TDescriptorRow& row, const std::string& descriptor)
{
    const std::string names = "Checksum file \"" + descriptor + "\" names the ", end = ". Nothing was combined.";
    if (row.read == ConvertError) return "'" + row.size + "' is not a valid integer value";
    if (row.read == NotAChecksumFile) return "File \"" + descriptor + "\" is not a checksum file" + end;
    const std::string device = row.file.substr(0, row.file.find_last_not_of(' ') + 1);
    if (row.read == Device) return names + "device \"" + device + "\"" + end;
    return names + "file \"" + row.file + "\", which " +
           (row.read == Outside ? "would be written outside the target directory"
                                : "the system would write under another name") + end;
}

// The row, and the row again with each name (or size) that shares its result.
std::vector<TDescriptorRow> EachAlike(const TDescriptorRow& row)
{
    std::vector<TDescriptorRow> rows{row};
    for (const std::string& alike : row.alike) (row.read == ConvertError ? rows.emplace_back(row).size
                                                                         : rows.emplace_back(row).file) = alike;
    return rows;
}

TEST_P(Descriptor, CombineRefusesItOrEndsWithItsCause)
{
    for (const TDescriptorRow& row : EachAlike(GetParam())) {
        SCOPED_TRACE(row.file + " size " + row.size);
        ExpectCombineOf(row);
    }
}

void Descriptor::ExpectCombineOf(const TDescriptorRow& row)
{
    WriteFileBytes(pieces.File("j.001"), JBytes.substr(0, 5000));
    WriteFileBytes(pieces.File("j.002"), JBytes.substr(5000));
    const std::string descriptor = pieces.File("j.crc"), dir = target.Path() + "\\";
    WriteFileBytes(descriptor, row.text ? *row.text : Described(row.file, row.size, row.crc));
    const TUnchanged unchanged({work.Path(), pieces.Path()});
    TProgressRecorder progress;
    const auto combine = [&] { return engineprobe::Combine(descriptor, dir, progress.Proc(), !row.beforeWriting); };
    if (row.read == ConvertError) {
        EXPECT_EQ(RefusalOf<EConvertError>(combine()), RefusalText(row, descriptor));
    } else if (row.read != Outcome) {
        EXPECT_EQ(RefusalOf(combine()), RefusalText(row, descriptor));
    } else {
        const TOutcome outcome = combine();
        const std::string piece = row.failsAt ? PieceFileName(descriptor, row.failsAt) : "";
        EXPECT_TRUE(Ended(outcome, row.cause, row.namesOutput ? target.File(row.file) : piece));
        if (row.holds) { EXPECT_EQ(engineprobe::Sizes(outcome), std::make_pair(row.holds, row.recorded)); }
    }
    EXPECT_EQ(progress.Calls().empty(), row.read != Outcome || row.beforeWriting);
    EXPECT_EQ(FileNames(target.Path()).size(), row.read == Outcome && row.cause == None ? 1u : 0u);
    EXPECT_FALSE(FileExists(target.Path() + "\\..\\escape.bin"));
}

const TDescriptorRow Descriptors[] = {
    {.name = "BinaryJunk", .text = PatternBytes(700, 53), .read = NotAChecksumFile},
    {.name = "Empty", .text = "", .read = NotAChecksumFile},
    {.name = "NoFilenameLine", .text = "size=10000\r\ncrc32=0\r\n", .read = NotAChecksumFile},
    {.name = "EmptyName", .file = "", .read = NotAChecksumFile},
    {.name = "Utf16Text", .text = "\xFF\xFE" + Utf16(Described("j.bin")), .read = NotAChecksumFile},
    {.name = "Utf8WithAByteOrderMark", .text = "\xEF\xBB\xBF" + Described("j.bin")},
    {.name = "Exactly64KiB", .text = Padded(65536)},
    {.name = "AByteOver64KiB", .text = Padded(65537), .read = NotAChecksumFile},
    {.name = "SizeWithATail", .size = "12x", .read = ConvertError, .alike = {"abc", "9223372036854775808"}},
    {.name = "SizeOf2GB", .size = "2147483648", .cause = PieceMissing, .failsAt = 3, .beforeWriting = true},
    {.name = "NegativeSize", .size = "-1", .cause = PieceMissing, .failsAt = 3, .beforeWriting = true},
    {.name = "WrongChecksum", .crc = "12345678"},
    // One piece reaches the size.
    {.name = "SizeSmallerThanThePieces", .size = "10", .cause = SizeMismatch, .beforeWriting = true,
     .recorded = 10, .holds = 5000},
    {.name = "RightChecksumAByteShort", .size = "9999", .crc = JCrc, .cause = SizeMismatch,
     .beforeWriting = true, .recorded = 9999, .holds = 10000},
    {.name = "RightChecksumAByteOver", .size = "10001", .crc = JCrc, .cause = PieceMissing, .failsAt = 3,
     .beforeWriting = true},
    {.name = "RightSizeAndChecksum", .crc = JCrc, .cause = None},
    {.name = "NameWithWildcards", .file = "j*.bin", .cause = CannotCreate, .namesOutput = true},
    {.name = "NameTheSystemWouldChange", .file = "j.bin.", .read = ChangedName},
    {.name = "ParentBackslash", .file = "..\\escape.bin", .read = Outside,
     .alike = {"../escape.bin", "sub\\in.bin", "C:escape.bin", "Z:\\tmp\\escape.bin", "a:b", "."}},
    {.name = "TwoDots", .file = "..", .read = Outside},
    {.name = "NulDot", .file = "nul.", .read = Device,
     .alike = {"NUL", "nul.txt", "CON", "prn", "Aux.dat", "COM1", "com9.x", "LPT1", "lpt9", "NUL ", "Nul .txt",
               "CONOUT$"}},
    {.name = "LooksLikeADevice", .file = "COM10", .alike = {"NULL", "COM0", "LPT", "connection.txt", "xnul"}},  // files
};
ZANDREL_ROWS(Descriptor, Descriptors);

TEST_F(EngineFaultsTest, MissingChecksumFileRaisesAFileError)
{
    EXPECT_THROW(CombineFiles(pieces.File("absent.crc"), target.Path(), nullptr), EFileError);
}

// A source that another program changes while it is split gets no descriptor: cut short, emptied,
// grown or rewritten at the first block report. Only another program's hold on it for writing,
// which keeps the checksum pass from reading it again, lets the bytes copied stand in for the
// file's own checksum, unless its size moved meanwhile. Either way the pieces hold no more than
// the source did at the start.
enum class TChange { Shrink, Empty, Grow, Rewrite, Held, HeldAndGrown };
struct TChangeRow {
    const char* name; TChange change; TCause cause = TCause::SourceChanged;
};
using SourceChange = TEngineRows<TChangeRow>;

// Another program's handle, sharing the file as the split allows.
HANDLE OpenShared(const std::string& path, DWORD access)
{
    HANDLE h = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    return h;
}

// At the first block report, another program opens the source, changes it and closes it, or
// writes to the handle it held from before the split (Held...).
void ChangeSource(const std::string& source, TChange change, HANDLE held)
{
    DWORD written = 0;
    if (change == TChange::HeldAndGrown) { EXPECT_TRUE(WriteFile(held, "more", 4, &written, nullptr)); }
    if (change >= TChange::Held) return;
    HANDLE h = OpenShared(source, change == TChange::Grow ? FILE_APPEND_DATA : GENERIC_WRITE);
    LARGE_INTEGER at;
    at.QuadPart = change == TChange::Shrink ? B + 100 : 0;
    if (change <= TChange::Empty) { EXPECT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h)); }
    if (change == TChange::Grow) { EXPECT_TRUE(WriteFile(h, "more", 4, &written, nullptr)); }
    if (change == TChange::Rewrite) { EXPECT_TRUE(WriteFile(h, "X", 1, &written, nullptr)); }
    CloseHandle(h);
}

// What a split of moving.bin (3 blocks, pieces of 2) left in dir: its descriptor only when it
// succeeded, pieces no larger than the source was, at most a report per block and the closing one.
void ExpectMovingSet(const std::string& dir, const std::string& bytes, bool ok, const TProgressRecorder& progress)
{
    EXPECT_LE(progress.Calls().size(), 4u);
    const std::string crc = dir + "\\moving.crc";
    EXPECT_EQ(FileExists(crc) ? ReadFileBytes(crc) : "",
              ok ? "filename=moving.bin\r\nsize=393216\r\ncrc32=" + IntToHex(engineprobe::Crc32(bytes)) + "\r\n" : "");
    EXPECT_LE(ReadFileBytes(dir + "\\moving.001").size(), 2 * B);
    if (FileExists(dir + "\\moving.002")) { EXPECT_LE(ReadFileBytes(dir + "\\moving.002").size(), B); }
}

TEST_P(SourceChange, SourceChangedDuringTheSplitGetsNoDescriptor)
{
    const TChangeRow& row = GetParam();
    const std::string bytes = PatternBytes(3 * B, 71), source = work.File("moving.bin");
    WriteFileBytes(source, bytes);
    HANDLE held = row.change >= TChange::Held ? OpenShared(source, FILE_APPEND_DATA) : INVALID_HANDLE_VALUE;
    TProgressRecorder progress;
    progress.OnCall = [&](size_t i) {
        if (i == 0) ChangeSource(source, row.change, held);
        return i > 100;  // a split that spins is stopped instead of hanging the test
    };
    const TOutcome outcome = RunSplit(source, target.Path(), 2 * B, progress.Proc());
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    EXPECT_TRUE(Ended(outcome, row.cause));
    ExpectMovingSet(target.Path(), bytes, outcome.Ok(), progress);
}

const TChangeRow SourceChanges[] = {
    {.name = "Shrinks", .change = TChange::Shrink},
    {.name = "Emptied", .change = TChange::Empty},
    {.name = "Grows", .change = TChange::Grow},
    {.name = "Rewritten", .change = TChange::Rewrite},
    {.name = "HeldForWriting", .change = TChange::Held, .cause = TCause::None},
    {.name = "HeldForWritingAndGrown", .change = TChange::HeldAndGrown},
};
ZANDREL_ROWS(SourceChange, SourceChanges);

// A source gone when the split reads it again (renamed on the Unix side after the last block: the
// split's own handle lets no Windows program rename it) gets no descriptor and no closing report.
TEST_F(EngineFaultsTest, SourceGoneBeforeItIsReadAgainGetsNoDescriptor)
{
    const char* scratch = std::getenv("ZANDREL_ENGINE_SCRATCH");
    const auto fixture = engineprobe::FixtureDir();
    if (!fixture || !scratch || !FileExists("Z:\\bin\\mv")) GTEST_SKIP() << "needs the fixture and Wine's Z: drive";
    const std::string bytes = PatternBytes(3 * B, 71), source = *fixture + "\\moving.bin";
    WriteFileBytes(source, bytes);
    TProgressRecorder progress;
    progress.OnCall = [&](size_t i) {
        if (i != 2) return i > 100;
        // Wine starts a Unix program without a handle to wait on: the rename is awaited as a
        // change of the directory's names.
        HANDLE change = FindFirstChangeNotificationA(fixture->c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
        EXPECT_NE(change, INVALID_HANDLE_VALUE);
        std::string command = std::string("Z:\\bin\\mv ") + scratch + "/moving.bin " + scratch + "/moving.old";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        EXPECT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        if (pi.hProcess) CloseHandle(pi.hProcess);
        if (pi.hThread) CloseHandle(pi.hThread);
        while (FileExists(source) && WaitForSingleObject(change, 30000) == WAIT_OBJECT_0)
            FindNextChangeNotification(change);
        FindCloseChangeNotification(change);
        EXPECT_FALSE(FileExists(source));
        return false;
    };
    EXPECT_TRUE(Ended(RunSplit(source, target.Path(), 2 * B, progress.Proc()), TCause::CannotRead, source,
                      ERROR_FILE_NOT_FOUND));
    ExpectMovingSet(target.Path(), bytes, false, progress);
    EXPECT_EQ(progress.Calls().size(), 3u) << "no closing report";
    EXPECT_EQ(FileNames(target.Path()), (std::vector<std::string>{"moving.001", "moving.002"}));
    EXPECT_EQ(ReadFileBytes(target.File("moving.002")), bytes.substr(2 * B));
    EXPECT_EQ(ReadFileBytes(*fixture + "\\moving.old"), bytes);
    DeleteFileA((*fixture + "\\moving.old").c_str());
}

}  // namespace
