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
enum class TPut { Nothing, Removed, Short, SameSizeOtherBytes, HeldOpen, HeldForWriting, ReadOnly };
// How the re-split ends: complete, cancelled at its first block, or failed at d.002, which another
// program replaces there.
enum class TEnd { Complete, Cancelled, Failed };

struct TStaleRow {
    const char* name;
    uint32_t oldPiece, newPiece;     // the older set's piece size, the re-split's
    bool list;                       // the older set's list stays beside it
    uint32_t at; TPut put;           // what stands at piece number at
    std::string descriptor;          // the older descriptor's text, when edited
    TEnd end;
    std::vector<uint32_t> gone, kept, left;  // left: named as left over from the replaced set
};

class ReSplit : public TEngineTest, public ::testing::WithParamInterface<TStaleRow> {};

TEST_P(ReSplit, RemovesOnlyPiecesProvenTheReplacedSets)
{
    const TStaleRow& r = GetParam();
    const auto source = Source("d.bin", SetSize, 7);
    ASSERT_TRUE(SplitFile(source.Path, target.Path(), r.oldPiece, nullptr));
    const std::string base = target.File("d.bin"), at = PieceFileName(base, r.at), list = ChangeFileExt(base, ".sfv");
    if (!r.list) ASSERT_TRUE(DeleteFileA(list.c_str()));
    const std::string listed = r.list ? ReadFileBytes(list) : "";
    if (!r.descriptor.empty()) WriteFileBytes(DescriptorFileName(base), r.descriptor);
    const bool putOver = r.put == TPut::Short || r.put == TPut::SameSizeOtherBytes;
    const std::string bytes = r.put == TPut::Short ? Users : putOver ? PatternBytes(r.oldPiece, 9)
                                                                     : FileExists(at) ? ReadFileBytes(at) : "";
    if (r.put == TPut::Removed) ASSERT_TRUE(DeleteFileA(at.c_str()));
    if (putOver) PutOver(at, bytes);
    if (r.put == TPut::ReadOnly) ASSERT_TRUE(SetFileAttributesA(at.c_str(), FILE_ATTRIBUTE_READONLY));
    std::optional<THold> hold;
    if (r.put == TPut::HeldOpen) hold.emplace(at, GENERIC_READ, FILE_SHARE_READ);
    if (r.put == TPut::HeldForWriting) hold.emplace(at, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    TProgressRecorder progress;
    progress.OnCall = [&](size_t i) {
        if (i == 0 && r.end == TEnd::Failed) PutOver(PieceFileName(base, 2), Users);
        return i == 0 && r.end == TEnd::Cancelled;
    };
    const TOutcome outcome = RunSplit(source.Path, target.Path(), r.newPiece, progress.Proc());
    hold.reset();
    SetFileAttributesA(at.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(outcome.Cause, r.end == TEnd::Complete ? TCause::None : r.end == TEnd::Cancelled ? TCause::Cancelled
                                                                                              : TCause::MadeMeanwhile);
    std::vector<std::string> left;
    for (const uint32_t n : r.left) left.push_back(PieceFileName(base, n));
    EXPECT_EQ(outcome.Leftovers, left);
    for (const uint32_t n : r.gone) EXPECT_FALSE(FileExists(PieceFileName(base, n))) << n;
    for (const uint32_t n : r.kept) EXPECT_TRUE(FileExists(PieceFileName(base, n))) << n;
    if (r.at > 2 && r.put != TPut::Removed && FileExists(at)) { EXPECT_EQ(ReadFileBytes(at), bytes); }
    if (!outcome.Ok() && r.list) { EXPECT_EQ(ReadFileBytes(list), listed) << "the older list stays"; }
}

const std::string Edited = "filename=d.bin\r\nsize=20000\r\ncrc32=0\r\n";
const std::string NoSize = "filename=d.bin\r\nsize=many\r\n";
const std::string Unfinished = FormatUnfinishedDescriptor("d.bin");
const TEnd Done = TEnd::Complete;
const TPut No = TPut::Nothing;

INSTANTIATE_TEST_SUITE_P(Engine, ReSplit, ::testing::Values(
    TStaleRow{"StalePiecesGo", 1000, 2000, true, 0, No, "", Done, {4, 5}, {}, {}},
    TStaleRow{"StalePiecesGoWithoutList", 1000, 2000, false, 0, No, "", Done, {4, 5}, {}, {}},
    TStaleRow{"UserFileAboveTheOldSetStays", 2000, 2500, true, 4, TPut::Short, "", Done, {3}, {4}, {}},
    TStaleRow{"UserFileBesideALargerSetStays", 2500, 2000, true, 4, TPut::Short, "", Done, {}, {4}, {}},
    TStaleRow{"UserFileAfterTheSameSplitStays", 2000, 2000, true, 4, TPut::Short, "", Done, {}, {4}, {}},
    TStaleRow{"OtherSizeAtAStaleNumberStays", 1000, 2000, true, 5, TPut::Short, "", Done, {4}, {5}, {}},
    TStaleRow{"ListContradictsTheFileStays", 1000, 2000, true, 4, TPut::SameSizeOtherBytes, "", Done, {5}, {4}, {}},
    TStaleRow{"WithoutListTheSizeDecides", 1000, 2000, false, 4, TPut::SameSizeOtherBytes, "", Done, {4, 5}, {}, {}},
    TStaleRow{"ListAndSizeDisagreeNothingGoes", 1000, 2000, true, 0, No, Edited, Done, {}, {4, 5}, {}},
    TStaleRow{"SizeThatDoesNotReadNothingGoes", 1000, 2000, true, 0, No, NoSize, Done, {}, {4, 5}, {}},
    TStaleRow{"UnfinishedSetNothingGoes", 1000, 2000, true, 0, No, Unfinished, Done, {}, {4, 5}, {}},
    TStaleRow{"NoFirstPieceNothingGoes", 1000, 2000, true, 1, TPut::Removed, "", Done, {}, {4, 5}, {}},
    TStaleRow{"HeldOpenIsLeftOver", 1000, 2000, false, 4, TPut::HeldOpen, "", Done, {5}, {4}, {4}},
    TStaleRow{"ReadOnlyIsLeftOver", 1000, 2000, false, 4, TPut::ReadOnly, "", Done, {5}, {4}, {4}},
    TStaleRow{"UnreadableForTheListIsLeftOver", 1000, 2000, true, 4, TPut::HeldForWriting, "", Done, {5}, {4}, {4}},
    TStaleRow{"CancelledNothingGoes", 1000, 2000, true, 0, No, "", TEnd::Cancelled, {}, {4, 5}, {}},
    TStaleRow{"FailedNothingGoes", 1000, 2000, true, 0, No, "", TEnd::Failed, {}, {4, 5}, {}}),
    [](const ::testing::TestParamInfo<TStaleRow>& info) { return std::string(info.param.name); });

// Between the checks and the opening of a name (here: at the first block report), another program
// puts its file there: the split never writes over it. A piece or the descriptor ends the split; a
// list is left out of a set that is complete all the same.
struct TRaceRow {
    const char* name;
    const char* ext;   // the name x + ext taken
    bool olderSet;     // the older set lay there at the checks (otherwise the name was free)
    TCause cause;
};

class SplitRace : public TEngineTest, public ::testing::WithParamInterface<TRaceRow> {};

TEST_P(SplitRace, NameTakenAfterTheChecksIsNotWrittenOver)
{
    const TRaceRow& r = GetParam();
    const auto source = Source("x.bin", SetSize, 3);
    if (r.olderSet) ASSERT_TRUE(SplitFile(source.Path, target.Path(), 1000, nullptr));
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

INSTANTIATE_TEST_SUITE_P(Engine, SplitRace, ::testing::Values(
    TRaceRow{"FreePiece", ".003", false, TCause::MadeMeanwhile},
    TRaceRow{"OlderPiece", ".003", true, TCause::MadeMeanwhile},
    TRaceRow{"UnfinishedDescriptor", ".crc", false, TCause::MadeMeanwhile},
    TRaceRow{"FreeList", ".sfv", false, TCause::None},
    TRaceRow{"OlderList", ".sfv", true, TCause::None}),
    [](const ::testing::TestParamInfo<TRaceRow>& info) { return std::string(info.param.name); });

}  // namespace
