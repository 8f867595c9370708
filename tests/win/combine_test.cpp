// CombineFiles on real files: existing targets, missing and surplus pieces, selected pieces and
// pieces without a checksum file, the temporary name, a killed host, and the outcome with its
// cause, heard before the closing report. (Round trips, progress series and cancelling are tabled
// with the split's; descriptors with the engine's faults.)
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <process.h>

#include "CRC32.h"
#include "EngineTest.h"
#include "Sfv.h"

// Memory running out on demand, for the checksum's reading buffer (CRCBlockSize bytes): a checksum
// that cannot run counts as a failed read of the file it was to read, never as a match.
static std::atomic<bool> FailChecksumBuffer{false};

void* operator new[](size_t n)
{
    if (FailChecksumBuffer && n == CRCBlockSize) throw std::bad_alloc();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace {

using engineprobe::Crc32;
using CombineFilesTest = TEngineTest;
using enum TCause;
const std::string Kept = PatternBytes(20000, 5);

// An existing file of the output's name is verified, never written, the pieces only looked at: the
// closing report alone, at 0%. sparse: the size of a sparse file with bytes at its start (never read
// whole); noMemory: the checksum's buffer cannot be had.
struct TExistingRow { const char* name; std::string bytes; TCause cause = DifferentFileThere; uint64_t sparse = 0;
                      bool noMemory = false; };
using ExistingTarget = TEngineRows<TExistingRow>;

TEST_P(ExistingTarget, IsVerifiedNeverOverwritten)
{
    const TExistingRow& row = GetParam();
    const std::string descriptor = Pieces("kept.bin", Kept, 7000), existing = target.File("kept.bin");
    if (row.sparse) engineprobe::MakeSparseFile(existing, row.sparse, row.bytes);
    else WriteFileBytes(existing, row.bytes);
    const FILETIME old{0, 0x01C00000};  // dated long ago, so that any write would show in the stamp
    HANDLE h = CreateFileA(existing.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &old) && CloseHandle(h));
    const auto before = engineprobe::Stamp(existing);
    const TUnchanged unchanged({pieces.Path()});
    TProgressRecorder progress;
    FailChecksumBuffer = row.noMemory;
    const TOutcome outcome = engineprobe::Combine(descriptor, target.Path(), progress.Proc());
    FailChecksumBuffer = false;
    EXPECT_TRUE(Ended(outcome, row.cause, row.cause == None ? "" : existing,
                      row.noMemory ? ERROR_NOT_ENOUGH_MEMORY : engineprobe::AnyError));
    if (!row.sparse) { EXPECT_EQ(ReadFileBytes(existing), row.bytes); }
    EXPECT_TRUE(engineprobe::Stamp(existing) == before);
    ASSERT_EQ(progress.Calls().size(), 1u) << "only the closing report: nothing copied";
    EXPECT_EQ(progress.Calls()[0].Percent, 0);
}

const TExistingRow ExistingRows[] = {
    {.name = "SameFile", .bytes = Kept, .cause = None},
    {.name = "DifferentFile", .bytes = PatternBytes(20000, 6)},
    {.name = "SameBytesAndMore", .bytes = Kept + "x"},
    {.name = "EmptyFile", .bytes = ""},
    {.name = "SameBytesAnd4GiBMore", .bytes = Kept, .sparse = 0x100000000ull + 20000},  // the low 32 bits match
    {.name = "SameFileNoMemoryForItsChecksum", .bytes = Kept, .cause = CannotRead, .noMemory = true},
};
ZANDREL_ROWS(ExistingTarget, ExistingRows);

// The pieces of set.bin (25,000 bytes: set.001 .. set.003) beside their checksum file, one per row.
// More pieces than the size needs are never opened: a readable one full of other bytes, or one
// held against everybody. A piece missing before the size is reached, or that is no file (a
// directory, or a device: under Wine the fixture's link to /dev/zero, never read), is refused before
// anything is written, with no progress call.
enum TThird { Surplus, HeldSurplus, Missing, Directory, Device };
struct TSetRow { const char* name; TThird piece; TCause cause = PieceNotAFile; };
using SetWithItsChecksumFile = TEngineRows<TSetRow>;

TEST_P(SetWithItsChecksumFile, JoinedOrRefusedBeforeAnythingIsWritten)
{
    const TSetRow& row = GetParam();
    const auto fixture = engineprobe::FixtureDir();
    if (row.piece == Device && !fixture) GTEST_SKIP() << "the fixture's devices (run through ctest)";
    const std::string bytes = PatternBytes(25000, 8), device = fixture.value_or("") + "\\devices\\set";
    const std::string set6000 = "filename=set.bin\r\nsize=6000\r\ncrc32=0\r\n";
    std::string descriptor = Pieces("set.bin", bytes, 10000), piece = PieceFileName(descriptor, 3);
    if (row.piece <= HeldSurplus) WriteFileBytes(piece = PieceFileName(descriptor, 4), PatternBytes(5000, 99));
    if (row.piece >= Missing) DeleteFileA(piece.c_str());
    if (row.piece == Directory) { ASSERT_TRUE(CreateDirectoryA(piece.c_str(), nullptr)); }
    if (row.piece == Device) WriteFileBytes(device + ".001", PatternBytes(2000, 103)), piece = device + ".002";
    if (row.piece == Device) WriteFileBytes(descriptor = device + ".crc", set6000);
    std::optional<engineprobe::THold> hold;
    if (row.piece == HeldSurplus) hold.emplace(piece);
    TProgressRecorder progress;
    progress.OnCall = [](size_t i) { return i >= 20; };  // a combine reading without end is stopped
    const TOutcome outcome = engineprobe::Combine(descriptor, target.Path(), progress.Proc(), row.cause == None);
    EXPECT_TRUE(Ended(outcome, row.cause, row.cause == None ? "" : piece));
    EXPECT_EQ(FileNames(target.Path()).size(), row.cause == None ? 1u : 0u);
    if (row.cause == None) { EXPECT_EQ(ReadFileBytes(target.File("set.bin")), bytes); }
    EXPECT_EQ(progress.Calls().empty(), row.cause != None);
    if (row.piece == Device) DeleteFileA((device + ".001").c_str()), DeleteFileA((device + ".crc").c_str());
}

const TSetRow SetRows[] = {
    {.name = "SurplusPieceReadable", .piece = Surplus, .cause = None},
    {.name = "SurplusPieceHeldAgainstEverybody", .piece = HeldSurplus, .cause = None},
    {.name = "PieceMissing", .piece = Missing, .cause = PieceMissing},
    {.name = "PieceIsADirectory", .piece = Directory},
    {.name = "PieceIsADevice", .piece = Device},
};
ZANDREL_ROWS(SetWithItsChecksumFile, SetRows);

// A piece selected for Combine stands for its set, as the checksum file stands for itself: with its
// checksum file beside it exactly as if that was selected (same output, same progress series),
// without one the pieces alone joined
// under the base name, verified by the checksum list the split wrote beside them, or complete but
// unverified without it (the boolean wrapper then answers false).
struct TSelectedRow { const char* name; const char* piece; bool descriptor = true, list = true; };
using SelectedPiece = TEngineRows<TSelectedRow>;

TEST_P(SelectedPiece, StandsForItsSet)
{
    const TSelectedRow& row = GetParam();
    const std::string bytes = PatternBytes(25000, 41), descriptor = Pieces("sel.bin", bytes, 10000);
    const std::string selected = pieces.File(row.piece), output = target.File(row.descriptor ? "sel.bin" : "sel");
    std::vector<int32_t> percents = {40, 80, 99, 100};  // from the 25000 bytes of the pieces found at the start
    if (row.descriptor) {
        TProgressRecorder fromDescriptor;
        ASSERT_TRUE(engineprobe::Combine(descriptor, target.Path(), fromDescriptor.Proc()).Ok());
        percents = fromDescriptor.Percents();
        DeleteFileA(output.c_str());
    }
    if (!row.descriptor) DeleteFileA(descriptor.c_str());
    if (!row.list) DeleteFileA(pieces.File("sel.sfv").c_str());
    const TCombineSource source = FindCombineSource(selected);
    EXPECT_EQ(source.Descriptor, descriptor);
    EXPECT_EQ(source.HasDescriptor, row.descriptor);
    TProgressRecorder progress;
    const TOutcome outcome = engineprobe::Combine(selected, target.Path(), progress.Proc());
    EXPECT_TRUE(outcome.Ok());
    EXPECT_EQ(outcome.Done.Unverified, !row.descriptor && !row.list);
    EXPECT_EQ(outcome.WithoutDescriptor, !row.descriptor);
    EXPECT_EQ(ReadFileBytes(output), bytes);
    EXPECT_EQ(FileNames(target.Path()).size(), 1u);
    EXPECT_EQ(progress.Percents(), percents);
    const auto joined = std::make_pair(outcome.Done.Pieces, outcome.Done.Joined);
    if (!row.descriptor) { EXPECT_EQ(joined, std::make_pair(3u, 25000ull)); }
    progress.ExpectCalls("Combining...", output, pieces.Path(), target.Path());
    DeleteFileA(output.c_str());
    EXPECT_EQ(CombineFiles(selected, target.Path(), nullptr), row.descriptor || row.list) << "true only when verified";
    EXPECT_EQ(ReadFileBytes(output), bytes);
}

const TSelectedRow SelectedRows[] = {
    {.name = "TheChecksumFileItself", .piece = "sel.crc"},
    {.name = "FirstBesideItsChecksumFile", .piece = "sel.001"},
    {.name = "SecondBesideItsChecksumFile", .piece = "sel.002"},
    {.name = "LastBesideItsChecksumFile", .piece = "sel.003"},
    {.name = "FirstAlone", .piece = "sel.001", .descriptor = false, .list = false},
    {.name = "SecondAlone", .piece = "sel.002", .descriptor = false, .list = false},
    {.name = "LastBesideItsList", .piece = "sel.003", .descriptor = false},
};
ZANDREL_ROWS(SelectedPiece, SelectedRows);

// A file in the pieces' directory before the combine: its bytes, or a directory.
struct TPut { std::string name, bytes = ""; bool directory = false; };
TPut Folder(const char* name) { return {.name = name, .directory = true}; }
const std::vector<TPut> P = {{"p.001", PatternBytes(3000, 42)}, {"p.002", PatternBytes(3000, 43)},
                             {"p.003", PatternBytes(100, 44)}};
const std::vector<TPut> Z = {{"z.001", "one.|"}, {"z.002", "two"}, {"z.x.005", "other"}};
const TPut Zero = {"z.000", "zero|"}, Odd = {"z.000", "6 byte"};
const std::string P123 = P[0].bytes + P[1].bytes + P[2].bytes, Z012 = "zero|one.|two";

// z's pieces as a checksum list names them, z.000 among them or not.
std::string ZList(bool zero)
{
    std::vector<TSfvEntry> entries = {{"z.001", Crc32("one.|")}, {"z.002", Crc32("two")}};
    if (zero) entries.push_back({"z.000", Crc32("zero|")});
    return FormatSfv("z", entries);
}

// Pieces without a checksum file, one set per row, the p.002 of p.001 .. p.003 selected unless
// said: joined when they form one set, refused before anything is written (nothing created, no
// closing report, no progress call), or failing while joining (its cause, the final name in it,
// nothing left in the target; a locked piece and a cancel end it as they end a combine with a
// checksum file). Pieces from a splitter that counts from zero are joined from z.000, also when it
// is selected, and with a checksum file that records them; a name that only begins like the set's
// ("z.x.005") is no piece of it, nor a hole in it. A z.000 of another size than the set's pieces
// belongs to no set of them: left out, and refused when it is the one selected. Pieces with no
// name before their number have nothing to be joined into. Names the system would write elsewhere
// are refused before anything is looked at; so is a checksum file name beside the selected piece
// that is a directory or a link that leads nowhere (the fixture's links).
// files, more: what the pieces' directory holds; failsAt: the piece the cause names; namesOutput:
// the cause names the output; joined: the output's bytes afterwards ("": none); size, recorded:
// PieceDoesNotFit: the piece's size and its set's; refusal: the refusal's text after the quoted
// selected piece ("File ...") or quoted checksum file ("Checksum file ...").
enum TAround { Plain, MineThere, CancelLast, NoTarget, InLinks };
struct TAloneRow {
    const char* name; std::vector<TPut> files = P, more = {}; const char* selected = "p.002"; TCause cause = None;
    const char* failsAt = ""; bool namesOutput = false; std::string joined = ""; TAround around = Plain;
    uint64_t size = 0, recorded = 0; uint32_t error = engineprobe::AnyError; bool verified = false;
    const char* quoted = nullptr; std::string refusal = "";
};
using PiecesAlone = TEngineRows<TAloneRow>;

TEST_P(PiecesAlone, JoinedRefusedOrEndedWithTheirCause)
{
    const TAloneRow& row = GetParam();
    const auto fixture = engineprobe::FixtureDir();
    if (row.around == InLinks && !fixture) GTEST_SKIP() << "the fixture's links (run through ctest)";
    const std::string from = row.around == InLinks ? *fixture + "\\links\\" : pieces.Path() + "\\";
    for (const auto* files : {&row.files, &row.more})
        for (const TPut& f : *files)
            if (f.directory) { ASSERT_TRUE(CreateDirectoryA((from + f.name).c_str(), nullptr)); }
            else WriteFileBytes(from + f.name, f.bytes);
    if (row.around == MineThere) WriteFileBytes(target.File("p"), "mine");
    const std::string name = row.selected, selected = from + name, stem = name.substr(0, name.rfind('.'));
    const std::string dir = row.around == NoTarget ? target.File("absent") : target.Path();
    const bool written = (row.cause == None && row.refusal.empty()) || row.around == NoTarget;  // reports due
    const TUnchanged unchanged({pieces.Path()});
    TProgressRecorder progress;
    progress.OnCall = [&](size_t i) { return row.around == CancelLast && i == 2; };
    const TOutcome outcome = engineprobe::Combine(selected, dir, progress.Proc(), written);
    const std::string file = row.namesOutput ? dir + "\\" + stem : *row.failsAt ? from + row.failsAt : "";
    const std::string quoted = (row.quoted ? "Checksum file \"" + from + row.quoted : "File \"" + selected) + "\"";
    if (row.refusal.empty()) { EXPECT_TRUE(Ended(outcome, row.cause, file, row.error)); }
    else EXPECT_EQ(RefusalOf(outcome), quoted + row.refusal + " Nothing was combined.");
    if (outcome.Ok()) { EXPECT_EQ(outcome.Done.Unverified, !row.verified); }
    EXPECT_EQ(progress.Calls().empty(), !written);
    if (row.size) { EXPECT_EQ(engineprobe::Sizes(outcome), std::make_pair(row.size, row.recorded)); }
    EXPECT_EQ(FileNames(target.Path()), row.joined.empty() ? std::vector<std::string>{} : std::vector{stem});
    if (!row.joined.empty()) { EXPECT_EQ(ReadFileBytes(target.File(stem)), row.joined); }
}

const std::string WouldBe = " would be joined into the ", Z13 = "filename=z\r\nsize=13\r\ncrc32=";
const TAloneRow AloneRows[] = {
    {.name = "StalePieceAfterTheLast", .more = {{"p.004", PatternBytes(3000, 45)}}, .cause = PieceDoesNotFit,
     .failsAt = "p.003", .size = 100, .recorded = 3000},
    {.name = "DirectoryAtAPieceName", .files = {P[0], Folder("p.002"), P[2]}, .cause = PieceNotAFile,
     .failsAt = "p.002"},
    {.name = "CancelledInTheLastBlockAllCopied", .joined = P123, .around = CancelLast},
    {.name = "FirstPieceMissing", .files = {P[1], P[2]}, .cause = PieceMissing, .failsAt = "p.001"},
    {.name = "Gap", .files = {P[0], P[2]}, .cause = PieceMissing, .failsAt = "p.002"},
    {.name = "GapFarAbove", .more = {{"p.1000", "far"}}, .cause = PieceMissing, .failsAt = "p.004"},
    {.name = "FileOfTheOutputsName", .cause = OutputThere, .namesOutput = true, .joined = "mine", .around = MineThere},
    {.name = "NoTargetDirectory", .cause = CannotCreate, .namesOutput = true, .around = NoTarget},
    {.name = "FromZero", .files = Z, .more = {Zero}, .selected = "z.001", .joined = Z012},
    {.name = "FromZeroZ000Selected", .files = Z, .more = {Zero}, .selected = "z.000", .joined = Z012},
    {.name = "FromZeroRecorded", .files = Z, .more = {Zero, {"z.crc", Z13 + IntToHex(Crc32(Z012)) + "\r\n"}},
     .selected = "z.002", .joined = Z012, .verified = true},
    {.name = "StrayZ000", .files = Z, .more = {{"z.000", "stray"}}, .selected = "z.001", .joined = "strayone.|two"},
    {.name = "Z000OfAnotherSize", .files = Z, .more = {Odd}, .selected = "z.001", .joined = "one.|two"},
    {.name = "Z000OfAnotherSizeSelected", .files = Z, .more = {Odd}, .selected = "z.000", .cause = PieceDoesNotFit,
     .failsAt = "z.000", .size = 6, .recorded = 5},
    {.name = "Z001Missing", .files = {Odd, Z[1]}, .selected = "z.002", .cause = PieceMissing, .failsAt = "z.001"},
    // A list that names the pieces decides a z.000; a checksum file takes one only to reach its size exactly.
    {.name = "Z000TheListDoesNotName", .files = Z, .more = {Zero, {"z.sfv", ZList(false)}}, .selected = "z.001",
     .joined = "one.|two", .verified = true},
    {.name = "Z000TheListNames", .files = Z, .more = {Zero, {"z.sfv", ZList(true)}}, .selected = "z.001",
     .joined = Z012, .verified = true},
    {.name = "Z000PastTheRecordedSize", .files = Z, .more = {Zero, {"z.crc", "filename=z\r\nsize=12\r\ncrc32=0\r\n"}},
     .selected = "z.002", .cause = PieceMissing, .failsAt = "z.003"},
    {.name = "OddPieceFirst", .files = {{"m.001", "1234567"}, {"m.002", "12345"}, {"m.003", "12345"},
     {"m.004", "12345"}, {"m.005", "123"}}, .selected = "m.002", .cause = PieceDoesNotFit, .failsAt = "m.001",
     .size = 7, .recorded = 5},
    {.name = "NoName", .files = {{".001", "x"}}, .selected = ".001", .cause = CannotCreate, .namesOutput = true,
     .error = ERROR_INVALID_NAME},
    {.name = "ASpaceForAName", .files = {{" .001", "x"}}, .selected = " .001", .cause = CannotCreate,
     .namesOutput = true, .error = ERROR_INVALID_NAME},
    {.name = "ADotForAName", .files = {{"..001", "x"}}, .selected = "..001", .cause = CannotCreate,
     .namesOutput = true, .error = ERROR_INVALID_NAME},
    // A link that leads nowhere ends no set silently.
    {.name = "LinkThatLeadsNowhere", .files = {}, .selected = "d.001", .cause = PieceIsLink, .failsAt = "d.002",
     .around = InLinks},
    {.name = "NameTheSystemWouldChange", .files = {}, .selected = "x..001",
     .refusal = WouldBe + "file \"x.\", which the system would write under another name."},
    {.name = "Device", .files = {}, .selected = "CON.001", .refusal = WouldBe + "device \"CON\"."},
    {.name = "ChecksumFileNameIsADirectory", .files = {Folder("q.crc"), {"q.001", "x"}}, .selected = "q.001",
     .quoted = "q.crc", .refusal = " is not a file."},
    {.name = "ChecksumFileNameLeadsNowhere", .files = {}, .selected = "e.001", .around = InLinks, .quoted = "e.crc",
     .refusal = " is a link that leads nowhere."},
};
ZANDREL_ROWS(PiecesAlone, AloneRows);

// The output is built under a temporary name beside its final name: the output's name and
// ".part", or the first free ".partN". A leftover of a run that was killed is left alone (and
// named), and no temporary file of this run survives, whatever the ending. A piece that shrinks
// after the combine began is named; a rename that fails with nothing in the way (another program
// reads the finished file) cannot create the final name; a checksum without memory for its buffer
// cannot read the output, which goes, after the closing report.
// failsAt: the piece the cause names; kept: the file under the final name afterwards ("": none).
enum TEnd { Succeeds, Mismatches, CancelledAtFirst, FinalNameAppears, PieceShrinks, RenameFails, CheckWithoutMemory };
struct TTempRow { const char* name; TEnd end; TCause cause; uint32_t failsAt = 0; bool namesOutput = false;
                  std::string kept = ""; };
using TemporaryName = TEngineRows<TTempRow>;

TEST_P(TemporaryName, NoneOfThisRunSurvivesAnyEnding)
{
    const TTempRow& row = GetParam();
    const std::string bytes = PatternBytes(300000, 45), descriptor = Pieces("t.bin", bytes, 140000);
    const std::string output = target.File("t.bin"), third = PieceFileName(descriptor, 3);
    WriteFileBytes(output + ".part", "left by a killed run");
    WriteFileBytes(output + ".part2", "and another");
    auto expected = engineprobe::Snapshot(target.Path());
    if (row.end == Mismatches) WriteFileBytes(descriptor, "filename=t.bin\r\nsize=300000\r\ncrc32=1\r\n");
    std::vector<std::string> during;
    TProgressRecorder progress;
    progress.OnCall = [&](size_t i) {
        if (i == 0) during = FileNames(target.Path());
        if (i == 0 && row.end == FinalNameAppears) WriteFileBytes(output, "came meanwhile");
        if (i == 0 && row.end == PieceShrinks) WriteFileBytes(third, ReadFileBytes(third).substr(0, 7000));
        return row.end == CancelledAtFirst && i == 0;
    };
    engineprobe::TPumpProbe probe;
    HANDLE reader = INVALID_HANDLE_VALUE;  // opens once the check's pass shares reading
    probe.OnPump = [&](size_t) {
        if (row.end == RenameFails && reader == INVALID_HANDLE_VALUE)
            reader = CreateFileA((output + ".part3").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
    };
    FailChecksumBuffer = row.end == CheckWithoutMemory;
    const TOutcome outcome = engineprobe::Combine(descriptor, target.Path(), progress.Proc());
    FailChecksumBuffer = false;
    if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader), DeleteFileA((output + ".part3").c_str());
    if (row.end == PieceShrinks) { EXPECT_EQ(engineprobe::Sizes(outcome), std::make_pair(7000ull, 20000ull)); }
    if (row.end == RenameFails) { EXPECT_NE(reader, INVALID_HANDLE_VALUE); }
    if (row.end == CheckWithoutMemory) { EXPECT_EQ(progress.Calls().back().Percent, 100); }
    EXPECT_EQ(during, (std::vector<std::string>{"t.bin.part", "t.bin.part2", "t.bin.part3"}));
    for (const auto& call : progress.Calls()) EXPECT_EQ(call.FileName, output);
    const std::string file = row.namesOutput ? output : row.failsAt ? third : "";
    const uint32_t error = row.end == CheckWithoutMemory ? ERROR_NOT_ENOUGH_MEMORY : engineprobe::AnyError;
    EXPECT_TRUE(Ended(outcome, row.cause, file, error));
    EXPECT_EQ(outcome.Leftovers, (std::vector<std::string>{output + ".part", output + ".part2"}));
    if (!row.kept.empty()) expected["t.bin"] = row.kept;
    EXPECT_EQ(engineprobe::Snapshot(target.Path()), expected);
}

const TTempRow TempRows[] = {
    {.name = "Success", .end = Succeeds, .cause = None, .kept = PatternBytes(300000, 45)},
    {.name = "ChecksumMismatch", .end = Mismatches, .cause = ChecksumMismatch},
    {.name = "Cancelled", .end = CancelledAtFirst, .cause = Cancelled},
    {.name = "FinalNameAppears", .end = FinalNameAppears, .cause = DifferentFileThere, .namesOutput = true,
     .kept = "came meanwhile"},
    {.name = "PieceShrinks", .end = PieceShrinks, .cause = PieceChanged, .failsAt = 3},
    {.name = "RenameFails", .end = RenameFails, .cause = CannotCreate, .namesOutput = true},
    {.name = "CheckWithoutMemory", .end = CheckWithoutMemory, .cause = CannotRead, .namesOutput = true},
};
ZANDREL_ROWS(TemporaryName, TempRows);

// A directory in dir where dir\ddd...\name is as long as the system allows (MAX_PATH - 1).
std::string DeepDirFor(const TempDir& dir, const std::string& name)
{
    const std::string deep = dir.File(std::string(MAX_PATH - 3 - dir.Path().size() - name.size(), 'd'));
    EXPECT_TRUE(CreateDirectoryW((L"\\\\?\\" + std::wstring(deep.begin(), deep.end())).c_str(), nullptr));
    return deep;
}

// An output as long as the system allows, beside a leftover of a killed run: its temporary name is
// its name cut to fit.
TEST_F(CombineFilesTest, LongestOutputIsBuiltUnderItsNameCutToFit)
{
    const std::string bytes = PatternBytes(300000, 45), name = "long-name.bin", deep = DeepDirFor(target, name);
    ASSERT_EQ((deep + "\\" + name).size(), static_cast<size_t>(MAX_PATH - 1));
    WriteFileBytes(deep + "\\long-nam.part", "left by a killed run");
    std::vector<std::string> during;
    TProgressRecorder progress;
    progress.OnCall = [&](size_t i) {
        if (i == 0) during = FileNames(deep);
        return false;
    };
    EXPECT_TRUE(engineprobe::Combine(Pieces(name, bytes, 140000), deep, progress.Proc()).Ok());
    // Which cut fits depends on whether the system counts the terminating zero in its limit.
    ASSERT_EQ(during.size(), 2u);
    const std::string temp = during[0] == "long-nam.part" ? during[1] : during[0];
    EXPECT_LT((deep + "\\" + temp).size(), static_cast<size_t>(MAX_PATH)) << "no longer than a split's path";
    EXPECT_LT(temp.size(), name.size() + 5) << temp;
    EXPECT_EQ(temp.compare(0, 7, "long-na"), 0) << temp;
    EXPECT_NE(temp.find(".part"), std::string::npos) << temp;
    EXPECT_EQ(FileNames(deep), (std::vector<std::string>{"long-nam.part", name}));
    EXPECT_EQ(ReadFileBytes(deep + "\\" + name), bytes);
}

// An output too long itself fails at once, without copying anything under a cut name.
TEST_F(CombineFilesTest, OutputTooLongFailsWithNothingCopied)
{
    const std::string deep = DeepDirFor(target, "long-name.bin");
    WriteFileBytes(deep + "\\long-nam.part", "left by a killed run");
    TProgressRecorder tooLong;
    EXPECT_TRUE(Ended(engineprobe::Combine(Pieces("long-name-x.bin", PatternBytes(300000, 45), 140000), deep,
                                           tooLong.Proc()), CannotCreate, deep + "\\long-name-x.bin"));
    EXPECT_EQ(tooLong.Calls().size(), 1u) << "only the closing report";
    EXPECT_EQ(FileNames(deep), std::vector<std::string>{"long-nam.part"});
}

// An output name as long as the system takes is built, however little room is left beside it for
// a temporary name (the final name's own with ".part"): the final name alone is there afterwards.
struct TDeepRow { const char* name; std::string output; bool alone = false; };  // alone: no checksum file
using DeepOutput = TEngineRows<TDeepRow>;

TEST_P(DeepOutput, EveryOutputOf259CharactersIsBuilt)
{
    const TDeepRow& row = GetParam();
    const std::string bytes = PatternBytes(300000, 63), descriptor = Pieces(row.output, bytes, 140000);
    const std::string deep = DeepDirFor(target, row.output);
    if (row.alone) DeleteFileA(descriptor.c_str());
    std::vector<std::string> during;
    TProgressRecorder progress;
    progress.OnCall = [&](size_t i) { if (i == 0) during = FileNames(deep); return false; };
    const std::string from = row.alone ? PieceFileName(descriptor, 1) : descriptor;
    EXPECT_TRUE(Ended(engineprobe::Combine(from, deep, progress.Proc()), None));
    EXPECT_EQ(during, std::vector<std::string>{row.output + ".part"});
    EXPECT_EQ(FileNames(deep), std::vector<std::string>{row.output});
    EXPECT_EQ(ReadFileBytes(deep + "\\" + row.output), bytes);
}

const TDeepRow DeepRows[] = {
    {.name = "OneLetter", .output = "n"},
    {.name = "OneLetterAlone", .output = "n", .alone = true},
};
ZANDREL_ROWS(DeepOutput, DeepRows);

// The child of the killed-host tests: a combine of a checksum file (or a split of any other file
// into 140000-byte pieces) whose process ends in its second progress call, as a host that is
// killed. ZANDREL_KILL holds "file|target directory".
TEST_F(CombineFilesTest, DISABLED_KilledMidwayChild)
{
    char value[2 * MAX_PATH];
    if (!GetEnvironmentVariableA("ZANDREL_KILL", value, sizeof value)) GTEST_SKIP() << "run by the killed-host tests";
    const std::string fields = value, file = fields.substr(0, fields.find('|')), dir = fields.substr(file.size() + 1);
    TProgressRecorder progress;
    progress.OnCall = [](size_t i) {
        if (i == 1) ExitProcess(7);
        return false;
    };
    if (ExtractFileExt(file) != ".crc") RunSplit(file, dir, 140000, progress.Proc());
    else RunCombineFrom(file, dir, progress.Proc(), nullptr);
    ADD_FAILURE() << "the process should have ended";
}

// Runs the child on file into dir, as a host that is killed midway: it ends with 7.
void RunKilled(const std::string& file, const std::string& dir)
{
    char self[MAX_PATH];
    ASSERT_NE(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    _putenv(("ZANDREL_KILL=" + file + "|" + dir).c_str());
    EXPECT_EQ(_spawnl(_P_WAIT, self, "child", "--gtest_also_run_disabled_tests",
                      "--gtest_filter=CombineFilesTest.DISABLED_KilledMidwayChild", nullptr), 7);
    _putenv("ZANDREL_KILL=");
}

// A host killed in the middle of a combine leaves at most the temporary file, never a part of the
// file under its final name; the next combine of the set succeeds beside it, leaves it alone and
// names it.
TEST_F(CombineFilesTest, KilledCombineLeavesOnlyItsTemporaryFile)
{
    const std::string bytes = PatternBytes(400000, 47), descriptor = Pieces("k.bin", bytes, 140000);
    RunKilled(descriptor, target.Path());
    // The first piece (two blocks) was written, under the temporary name only.
    const auto left = engineprobe::Snapshot(target.Path());
    ASSERT_EQ(left.size(), 1u);
    ASSERT_EQ(left.begin()->first, "k.bin.part");
    EXPECT_TRUE(left.begin()->second == bytes.substr(0, 140000)) << left.begin()->second.size();
    const TOutcome again = engineprobe::Combine(descriptor, target.Path(), nullptr);
    EXPECT_TRUE(again.Ok());
    EXPECT_EQ(again.Leftovers, std::vector<std::string>{target.File("k.bin.part")});
    auto expected = left;
    expected["k.bin"] = bytes;
    EXPECT_TRUE(engineprobe::Snapshot(target.Path()) == expected) << "the leftover as it was, beside the file";
}

// A split killed after its first block: its first piece is there, and neither its checksum file nor
// any piece makes a set.
struct TKilledRow { const char* name; const char* selected; };
using KilledSplit = TEngineRows<TKilledRow>;

TEST_P(KilledSplit, LeavesNoSetToCombine)
{
    RunKilled(Source("k.bin", 400000, 47).Path, target.Path());
    EXPECT_TRUE(FileExists(target.File("k.001")));
    EXPECT_FALSE(FileExists(target.File("k.002")));
    const std::string selected = target.File(GetParam().selected);
    EXPECT_EQ(RefusalOf(RunCombineFrom(selected, pieces.Path(), nullptr, nullptr)),
              "The split that made \"" + selected + "\" did not finish. Nothing was combined.");
    EXPECT_TRUE(FileNames(pieces.Path()).empty());
}

const TKilledRow KilledRows[] = {
    {.name = "ChecksumFileSelected", .selected = "k.crc"},
    {.name = "FirstPieceSelected", .selected = "k.001"},
};
ZANDREL_ROWS(KilledSplit, KilledRows);

// A list beside the pieces of x.bin (x.001 .. x.003), one row each: damaged: the pieces whose
// bytes differ from the split's; wrong: those the list records a wrong checksum for; twice: x.002
// listed again with another checksum; named: the pieces named as damaged; listMismatch: the list
// contradicted a verified result; unused: without a checksum file, why the list verified nothing.
struct TListRow { const char* name; bool descriptor = true; std::vector<uint32_t> damaged = {}, wrong = {};
                  bool twice = false; TCause cause = None; std::vector<uint32_t> named = {}; bool listMismatch = false;
                  std::string unused = ""; };
using ListBesideThePieces = TEngineRows<TListRow>;

TEST_P(ListBesideThePieces, NamesDamageWhileTheChecksumFileDecides)
{
    const TListRow& row = GetParam();
    const std::string bytes = PatternBytes(7000, 61), descriptor = Pieces("x.bin", bytes, 3000);
    const auto in = [](const std::vector<uint32_t>& set, uint32_t n) { return std::count(set.begin(), set.end(), n); };
    std::vector<TSfvEntry> list(row.twice, {"x.002", 1});
    for (uint32_t n = 1; n <= 3; ++n) {
        const std::string piece = PieceFileName(descriptor, n), good = ReadFileBytes(piece);
        list.push_back({ExtractFileName(piece), Crc32(good) ^ in(row.wrong, n)});
        if (in(row.damaged, n)) WriteFileBytes(piece, "!" + good.substr(1));
    }
    WriteFileBytes(pieces.File("x.sfv"), FormatSfv("x", list));
    if (!row.descriptor) DeleteFileA(descriptor.c_str());
    const TOutcome outcome = engineprobe::Combine(PieceFileName(descriptor, 1), target.Path(), nullptr);
    std::vector<std::string> named, expected;
    if (outcome.Cause == PieceDamaged) named.push_back(outcome.File);
    for (const TDamagedPiece& more : outcome.MoreDamaged) named.push_back(more.File);
    for (uint32_t n : row.named) expected.push_back(PieceFileName(descriptor, n));
    EXPECT_EQ(outcome.Cause, row.cause);
    EXPECT_EQ(named, expected);
    EXPECT_EQ(outcome.Done.ListMismatch, row.listMismatch ? "x.sfv" : "");
    EXPECT_EQ(outcome.Done.ListUnused, row.unused);
    const std::string output = target.File(row.descriptor ? "x.bin" : "x");
    EXPECT_EQ(FileExists(output) ? ReadFileBytes(output) : "", outcome.Ok() ? bytes : "");
}

const TListRow ListRows[] = {
    {.name = "ListWrongFileRight", .wrong = {2}, .listMismatch = true},
    {.name = "TwoPiecesDamagedBothNamed", .damaged = {1, 3}, .cause = PieceDamaged, .named = {1, 3}},
    {.name = "AloneFirstDamageEndsIt", .descriptor = false, .damaged = {1, 3}, .cause = PieceDamaged, .named = {1}},
    {.name = "AlonePieceListedTwice", .descriptor = false, .twice = true,
     .unused = "x.sfv lists x.002 twice with different checksums"},
};
ZANDREL_ROWS(ListBesideThePieces, ListRows);

// A long list is read between the host's messages: one pump every SfvLinesPerPause lines.
struct TLongListRow { const char* name; size_t lines, pumps; };
using LongList = TEngineRows<TLongListRow>;

TEST_P(LongList, MessagesRunWhileAListIsRead)
{
    const std::string descriptor = Pieces("l.bin", PatternBytes(5000, 62), 2000);
    const std::vector<TSfvEntry> list(GetParam().lines - 1, {"other.bin", 0});
    WriteFileBytes(pieces.File("l.sfv"), FormatSfv("many", list));
    engineprobe::TPumpProbe probe(1);  // every pause finds the clock moved on
    MakeCombineJob(FindCombineSource(descriptor), target.Path());
    EXPECT_EQ(probe.Pumps(), GetParam().pumps);
}

const TLongListRow LongLists[] = {
    {.name = "OneLineShort", .lines = SfvLinesPerPause - 1, .pumps = 0},
    {.name = "ThreePauses", .lines = 4 * SfvLinesPerPause - 1, .pumps = 3},
};
ZANDREL_ROWS(LongList, LongLists);

}  // namespace
