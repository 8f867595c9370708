// A split over this file's own older set: which of the older pieces go, when, and never a name
// that changed after the checks. The older set is always 5000 bytes of d.bin split by the engine.
#include <windows.h>

#include "EngineTest.h"

using engineprobe::THold;

namespace {

const uint32_t SetSize = 5000;
const std::string Users = "the user's own file";

// Another program puts its file at path: made beside and renamed over, so that it is a new file
// even where the file system hands out the index of a file just removed.
void PutOver(const std::string& path, const std::string& bytes)
{
    WriteFileBytes(path + ".new", bytes);
    ASSERT_TRUE(MoveFileExA((path + ".new").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) << path;
}

// What stands at one number before the re-split, beside the older set as the split made it.
enum TPut { Nothing, Removed, Short, SameSizeOtherBytes, HeldOpen, HeldForWriting, ReadOnly };
// How the re-split ends: complete, cancelled at its first block, or failed at d.002, which another
// program replaces there.
enum TEnd { Complete, Cancelled, Failed };

// oldPiece, newPiece: the older set's piece size, the re-split's; list: the older set's list stays
// beside it; put: what stands at piece number at; descriptor: the older descriptor's text, when
// edited; left: the pieces named as left over from the replaced set.
struct TStaleRow {
    const char* name;
    uint32_t oldPiece = 1000, newPiece = 2000;
    bool list = true;
    uint32_t at = 0;
    TPut put = Nothing;
    std::string descriptor = std::string();
    TEnd end = Complete;
    std::vector<uint32_t> gone = {}, kept = {}, left = {};
};
using ReSplit = TEngineRows<TStaleRow>;

TEST_P(ReSplit, RemovesOnlyPiecesProvenTheReplacedSets)
{
    const TStaleRow& r = GetParam();
    const auto source = Source("d.bin", SetSize, 7);
    ASSERT_TRUE(SplitFile(source.Path, target.Path(), r.oldPiece, nullptr));
    const std::string base = target.File("d.bin"), at = PieceFileName(base, r.at), list = ChangeFileExt(base, ".sfv");
    if (!r.list) { ASSERT_TRUE(DeleteFileA(list.c_str())); }
    const std::string listed = r.list ? ReadFileBytes(list) : "";
    if (!r.descriptor.empty()) WriteFileBytes(DescriptorFileName(base), r.descriptor);
    const bool putOver = r.put == Short || r.put == SameSizeOtherBytes;
    const std::string bytes = r.put == Short     ? Users
                              : putOver        ? PatternBytes(r.oldPiece, 9)
                              : FileExists(at) ? ReadFileBytes(at) : "";
    if (r.put == Removed) { ASSERT_TRUE(DeleteFileA(at.c_str())); }
    if (putOver) PutOver(at, bytes);
    if (r.put == ReadOnly) { ASSERT_TRUE(SetFileAttributesA(at.c_str(), FILE_ATTRIBUTE_READONLY)); }
    std::optional<THold> hold;
    if (r.put == HeldOpen) hold.emplace(at, GENERIC_READ, FILE_SHARE_READ);
    if (r.put == HeldForWriting) hold.emplace(at, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    TProgressRecorder progress;
    progress.OnCall = [&](size_t i) {
        if (i == 0 && r.end == Failed) PutOver(PieceFileName(base, 2), Users);
        return i == 0 && r.end == Cancelled;
    };
    const TOutcome outcome = RunSplit(source.Path, target.Path(), r.newPiece, progress.Proc());
    hold.reset();
    SetFileAttributesA(at.c_str(), FILE_ATTRIBUTE_NORMAL);
    const TCause ends[] = {TCause::None, TCause::Cancelled, TCause::MadeMeanwhile};  // by TEnd
    EXPECT_EQ(outcome.Cause, ends[r.end]);
    std::vector<std::string> left;
    for (const uint32_t n : r.left) left.push_back(PieceFileName(base, n));
    EXPECT_EQ(outcome.Leftovers, left);
    for (const uint32_t n : r.gone) EXPECT_FALSE(FileExists(PieceFileName(base, n))) << n;
    for (const uint32_t n : r.kept) EXPECT_TRUE(FileExists(PieceFileName(base, n))) << n;
    if (r.at > 2 && r.put != Removed && FileExists(at)) { EXPECT_EQ(ReadFileBytes(at), bytes); }
    if (!outcome.Ok() && r.list) { EXPECT_EQ(ReadFileBytes(list), listed) << "the older list stays"; }
}

const std::string Edited = "filename=d.bin\r\nsize=20000\r\ncrc32=0\r\n";
const std::string NoSize = "filename=d.bin\r\nsize=many\r\n";
const std::string Unfinished = FormatUnfinishedDescriptor("d.bin");
const TStaleRow StaleRows[] = {
    {.name = "StalePiecesGo", .gone = {4, 5}},
    {.name = "StalePiecesGoWithoutList", .list = false, .gone = {4, 5}},
    {.name = "UserFileAboveTheOldSetStays", .oldPiece = 2000, .newPiece = 2500, .at = 4, .put = Short, .gone = {3},
     .kept = {4}},
    {.name = "UserFileBesideALargerSetStays", .oldPiece = 2500, .at = 4, .put = Short, .kept = {4}},
    {.name = "UserFileAfterTheSameSplitStays", .oldPiece = 2000, .at = 4, .put = Short, .kept = {4}},
    {.name = "OtherSizeAtAStaleNumberStays", .at = 5, .put = Short, .gone = {4}, .kept = {5}},
    {.name = "ListContradictsTheFileStays", .at = 4, .put = SameSizeOtherBytes, .gone = {5}, .kept = {4}},
    {.name = "WithoutListTheSizeDecides", .list = false, .at = 4, .put = SameSizeOtherBytes, .gone = {4, 5}},
    {.name = "ListAndSizeDisagreeNothingGoes", .descriptor = Edited, .kept = {4, 5}},
    {.name = "SizeThatDoesNotReadNothingGoes", .descriptor = NoSize, .kept = {4, 5}},
    {.name = "UnfinishedSetNothingGoes", .descriptor = Unfinished, .kept = {4, 5}},
    {.name = "NoFirstPieceNothingGoes", .at = 1, .put = Removed, .kept = {4, 5}},
    {.name = "HeldOpenIsLeftOver", .list = false, .at = 4, .put = HeldOpen, .gone = {5}, .kept = {4}, .left = {4}},
    {.name = "ReadOnlyIsLeftOver", .list = false, .at = 4, .put = ReadOnly, .gone = {5}, .kept = {4}, .left = {4}},
    {.name = "UnreadableForTheListIsLeftOver", .at = 4, .put = HeldForWriting, .gone = {5}, .kept = {4}, .left = {4}},
    {.name = "CancelledNothingGoes", .end = Cancelled, .kept = {4, 5}},
    {.name = "FailedNothingGoes", .end = Failed, .kept = {4, 5}},
};
ZANDREL_ROWS(ReSplit, StaleRows);

// Between the checks and the opening of a name (here: at the first block report), another program
// puts its file there: the split never writes over it. A piece or the descriptor ends the split; a
// list is left out of a set that is complete all the same.
// ext: the name x + ext taken; olderSet: the older set lay there at the checks (otherwise the name
// was free).
struct TRaceRow {
    const char *name, *ext;
    bool olderSet = false;
    TCause cause = TCause::MadeMeanwhile;
};
using SplitRace = TEngineRows<TRaceRow>;
TEST_P(SplitRace, NameTakenAfterTheChecksIsNotWrittenOver)
{
    const TRaceRow& r = GetParam();
    const auto source = Source("x.bin", SetSize, 3);
    if (r.olderSet) { ASSERT_TRUE(SplitFile(source.Path, target.Path(), 1000, nullptr)); }
    const std::string taken = target.File(std::string("x") + r.ext);
    TProgressRecorder progress;
    progress.OnCall = [&](size_t i) {
        if (i == 0) PutOver(taken, Users);
        return false;
    };
    const TOutcome outcome = RunSplit(source.Path, target.Path(), 1000, progress.Proc());
    EXPECT_TRUE(Ended(outcome, r.cause, r.cause == TCause::None ? "" : taken));
    EXPECT_EQ(ReadFileBytes(taken), Users);
    const std::string text =
        "Another program made the file \"" + taken + "\" while the split ran; it was left as it is.";
    EXPECT_EQ(r.cause == TCause::None ? outcome.Done.ListSkipped : FailureText(outcome), text);
    EXPECT_EQ(FileExists(target.File("x.crc")), r.cause == TCause::None || std::string(r.ext) == ".crc");
}

const TRaceRow RaceRows[] = {
    {.name = "FreePiece", .ext = ".003"},
    {.name = "OlderPiece", .ext = ".003", .olderSet = true},
    {.name = "UnfinishedDescriptor", .ext = ".crc"},
    {.name = "FreeList", .ext = ".sfv", .cause = TCause::None},
    {.name = "OlderList", .ext = ".sfv", .olderSet = true, .cause = TCause::None},
};
ZANDREL_ROWS(SplitRace, RaceRows);

}  // namespace
