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
enum class TPut { Nothing, Removed, Short, SameSizeOtherBytes };

struct TStaleRow {
    const char* name;
    uint32_t oldPiece, newPiece;     // the older set's piece size, the re-split's
    bool list;                       // the older set's list stays beside it
    uint32_t at; TPut put;           // what stands at piece number at
    std::string descriptor;          // the older descriptor's text, when edited
    std::vector<uint32_t> gone, kept;
};

class ReSplitStale : public TEngineTest, public ::testing::WithParamInterface<TStaleRow> {};

TEST_P(ReSplitStale, RemovesOnlyPiecesProvenTheReplacedSets)
{
    const TStaleRow& r = GetParam();
    const auto source = Source("d.bin", SetSize, 7);
    ASSERT_TRUE(SplitFile(source.Path, target.Path(), r.oldPiece, nullptr));
    const std::string base = target.File("d.bin"), at = PieceFileName(base, r.at);
    if (!r.list) ASSERT_TRUE(DeleteFileA(ChangeFileExt(base, ".sfv").c_str()));
    if (!r.descriptor.empty()) WriteFileBytes(DescriptorFileName(base), r.descriptor);
    std::string bytes = r.put == TPut::Short ? Users : PatternBytes(r.oldPiece, 99);
    if (r.put == TPut::Removed) ASSERT_TRUE(DeleteFileA(at.c_str()));
    if (r.put == TPut::Short || r.put == TPut::SameSizeOtherBytes) PutOver(at, bytes);

    const TOutcome outcome = RunSplit(source.Path, target.Path(), r.newPiece, nullptr);
    ASSERT_TRUE(outcome.Ok()) << FailureText(outcome);
    EXPECT_TRUE(outcome.Leftovers.empty());
    for (const uint32_t n : r.gone) EXPECT_FALSE(FileExists(PieceFileName(base, n))) << n;
    for (const uint32_t n : r.kept) EXPECT_TRUE(FileExists(PieceFileName(base, n))) << n;
    if (r.put == TPut::Short || r.put == TPut::SameSizeOtherBytes) {
        if (FileExists(at)) { EXPECT_EQ(ReadFileBytes(at), bytes); }
    }
}

const std::string Edited = "filename=d.bin\r\nsize=20000\r\ncrc32=0\r\n";
const std::string NoSize = "filename=d.bin\r\nsize=many\r\n";

INSTANTIATE_TEST_SUITE_P(Engine, ReSplitStale, ::testing::Values(
    TStaleRow{"StalePiecesGo", 1000, 2000, true, 0, TPut::Nothing, "", {4, 5}, {}},
    TStaleRow{"StalePiecesGoWithoutList", 1000, 2000, false, 0, TPut::Nothing, "", {4, 5}, {}},
    TStaleRow{"UserFileAboveTheOldSetStays", 2000, 2500, true, 4, TPut::Short, "", {3}, {4}},
    TStaleRow{"UserFileBesideALargerSetStays", 2500, 2000, true, 4, TPut::Short, "", {}, {4}},
    TStaleRow{"UserFileAfterTheSameSplitStays", 2000, 2000, true, 4, TPut::Short, "", {}, {4}},
    TStaleRow{"OtherSizeAtAStaleNumberStays", 1000, 2000, true, 5, TPut::Short, "", {4}, {5}},
    TStaleRow{"ListContradictsTheFileStays", 1000, 2000, true, 4, TPut::SameSizeOtherBytes, "", {5}, {4}},
    TStaleRow{"WithoutListTheSizeDecides", 1000, 2000, false, 4, TPut::SameSizeOtherBytes, "", {4, 5}, {}},
    TStaleRow{"ListAndSizeDisagreeNothingGoes", 1000, 2000, true, 0, TPut::Nothing, Edited, {}, {4, 5}},
    TStaleRow{"SizeThatDoesNotReadNothingGoes", 1000, 2000, true, 0, TPut::Nothing, NoSize, {}, {4, 5}},
    TStaleRow{"UnfinishedSetNothingGoes", 1000, 2000, true, 0, TPut::Nothing, FormatUnfinishedDescriptor("d.bin"),
              {}, {4, 5}},
    TStaleRow{"NoFirstPieceNothingGoes", 1000, 2000, true, 1, TPut::Removed, "", {}, {4, 5}}),
    [](const ::testing::TestParamInfo<TStaleRow>& info) { return std::string(info.param.name); });

// A proven piece that cannot go, or cannot be read for its proof, stays and is named.
struct TLeftRow {
    const char* name;
    bool list;
    DWORD access, share;  // another program holds d.004 so (access 0: nobody holds it)
    bool readOnly;
};

class ReSplitLeft : public TEngineTest, public ::testing::WithParamInterface<TLeftRow> {};

TEST_P(ReSplitLeft, PieceThatCannotGoIsNamedAsLeftOver)
{
    const TLeftRow& r = GetParam();
    const auto source = Source("d.bin", SetSize, 7);
    ASSERT_TRUE(SplitFile(source.Path, target.Path(), 1000, nullptr));
    const std::string base = target.File("d.bin"), held = PieceFileName(base, 4);
    if (!r.list) ASSERT_TRUE(DeleteFileA(ChangeFileExt(base, ".sfv").c_str()));
    if (r.readOnly) ASSERT_TRUE(SetFileAttributesA(held.c_str(), FILE_ATTRIBUTE_READONLY));
    TOutcome outcome;
    {
        std::optional<THold> hold;
        if (r.access != 0) hold.emplace(held, r.access, r.share);
        outcome = RunSplit(source.Path, target.Path(), 2000, nullptr);
    }
    SetFileAttributesA(held.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(outcome.Ok()) << FailureText(outcome);
    EXPECT_EQ(outcome.Leftovers, std::vector<std::string>{held});
    EXPECT_EQ(ReadFileBytes(held), source.Bytes.substr(3000, 1000));
    EXPECT_FALSE(FileExists(PieceFileName(base, 5)));
}

INSTANTIATE_TEST_SUITE_P(Engine, ReSplitLeft, ::testing::Values(
    TLeftRow{"HeldOpen", false, GENERIC_READ, FILE_SHARE_READ, false},
    TLeftRow{"ReadOnly", false, 0, 0, true},
    TLeftRow{"HeldForWritingWhileListed", true, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, false}),
    [](const ::testing::TestParamInfo<TLeftRow>& info) { return std::string(info.param.name); });

// A re-split that does not finish removes nothing of the older set above its own pieces.
struct TUnfinishedRow {
    const char* name;
    bool cancel;  // at the first block; otherwise another program's file replaces d.002 there
    TCause cause;
};

class ReSplitUnfinished : public TEngineTest, public ::testing::WithParamInterface<TUnfinishedRow> {};

TEST_P(ReSplitUnfinished, LeavesTheOlderPiecesAboveItsOwn)
{
    const TUnfinishedRow& r = GetParam();
    const auto source = Source("d.bin", SetSize, 7);
    ASSERT_TRUE(SplitFile(source.Path, target.Path(), 1000, nullptr));
    const std::string base = target.File("d.bin"), list = ReadFileBytes(ChangeFileExt(base, ".sfv"));
    TProgressRecorder progress;
    progress.OnCall = [&](size_t i) {
        if (i == 0 && !r.cancel) PutOver(PieceFileName(base, 2), Users);
        return i == 0 && r.cancel;
    };
    const std::string named = r.cancel ? "" : PieceFileName(base, 2);
    EXPECT_TRUE(Ended(RunSplit(source.Path, target.Path(), 2000, progress.Proc()), r.cause, named));
    for (const uint32_t n : {4u, 5u})
        EXPECT_EQ(ReadFileBytes(PieceFileName(base, n)), source.Bytes.substr(n * 1000 - 1000, 1000)) << n;
    EXPECT_EQ(ReadFileBytes(ChangeFileExt(base, ".sfv")), list);
    EXPECT_FALSE(FileExists(DescriptorFileName(base)));
}

INSTANTIATE_TEST_SUITE_P(Engine, ReSplitUnfinished, ::testing::Values(
    TUnfinishedRow{"Cancelled", true, TCause::Cancelled},
    TUnfinishedRow{"Failed", false, TCause::MadeMeanwhile}),
    [](const ::testing::TestParamInfo<TUnfinishedRow>& info) { return std::string(info.param.name); });

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
    const std::string text = "Another program made the file \"" + taken + "\" while the split ran; it was left as it is.";
    EXPECT_EQ(r.cause == TCause::None ? outcome.ListSkipped : FailureText(outcome), text);
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
