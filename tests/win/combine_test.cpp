// CombineFiles on real files: existing targets, missing and surplus pieces, selected pieces and
// pieces without a checksum file, the temporary name, a killed host, and the outcome with its
// cause, heard before the closing report. (Round trips, progress series and cancelling are tabled
// with the split's; descriptors with the engine's faults.)
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>

#include "CRC32Core.h"
#include "EngineTest.h"
#include "Errors.h"
#include "PieceNames.h"
#include "Progress.h"
#include "SplitFiles.h"

using engineprobe::Ended;
using engineprobe::FileNames;
using engineprobe::TProgressRecorder;
using engineprobe::TUnchanged;
using testfiles::FileExists;
using testfiles::PatternBytes;
using testfiles::ReadFileBytes;
using testfiles::TempDir;
using testfiles::WriteFileBytes;

using CombineFilesTest = TEngineTest;

TEST_F(CombineFilesTest, ExistingTargetIsVerifiedNeverOverwritten)
{
    const std::string bytes = PatternBytes(20000, 5);
    const std::string descriptor = Pieces("kept.bin", bytes, 7000);
    const struct { const char* what; std::string existing; bool result; } cases[] = {
        {"the same file", bytes, true},
        {"a different file", PatternBytes(20000, 6), false},
        {"the same bytes and more", bytes + "x", false},
        {"an empty file", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string existing = target.File("kept.bin");
        WriteFileBytes(existing, c.existing);
        // Dated long ago, so that any write would show in the stamp.
        HANDLE h = CreateFileA(existing.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        const FILETIME old{0, 0x01C00000};
        ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &old));
        CloseHandle(h);
        const auto before = engineprobe::Stamp(existing);
        TProgressRecorder progress;
        EXPECT_TRUE(Ended(engineprobe::Combine(descriptor, target.Path(), progress.Proc()),
                          c.result ? TCause::None : TCause::DifferentFileThere, c.result ? "" : existing));
        EXPECT_EQ(ReadFileBytes(existing), c.existing);
        EXPECT_TRUE(engineprobe::Stamp(existing) == before);
        ASSERT_EQ(progress.Calls().size(), 1u) << "only the closing report: nothing copied";
        EXPECT_EQ(progress.Calls()[0].Percent, 0);
    }
}

TEST_F(CombineFilesTest, MissingOrSurplusPieces)
{
    const std::string bytes = PatternBytes(25000, 8);
    const std::string descriptor = Pieces("set.bin", bytes, 10000);  // set.001 .. set.003
    const std::string third = PieceFileName(descriptor, 3);
    const std::string surplus = PieceFileName(descriptor, 4);

    // More pieces than the size needs: a readable one full of other bytes, or one locked against
    // everybody. Neither may be opened.
    WriteFileBytes(surplus, PatternBytes(5000, 99));
    EXPECT_TRUE(engineprobe::Combine(descriptor, target.Path(), nullptr).Ok());
    EXPECT_EQ(ReadFileBytes(target.File("set.bin")), bytes);
    DeleteFileA(target.File("set.bin").c_str());
    {
        const engineprobe::THold hold(surplus);
        EXPECT_TRUE(CombineFiles(descriptor, target.Path(), nullptr));
    }
    DeleteFileA(target.File("set.bin").c_str());

    // A piece missing before the size is reached, or that is no file: refused before anything is
    // written, no progress call.
    DeleteFileA(third.c_str());
    for (bool directory : {false, true}) {
        if (directory) { ASSERT_TRUE(CreateDirectoryA(third.c_str(), nullptr)); }
        TProgressRecorder progress;
        EXPECT_TRUE(Ended(RunCombine(descriptor, target.Path(), progress.Proc(), nullptr),
                          directory ? TCause::PieceNotAFile : TCause::PieceMissing, third));
        EXPECT_TRUE(FileNames(target.Path()).empty());
        EXPECT_TRUE(progress.Calls().empty());
    }
}

// A piece selected for Combine stands for its set: with its checksum file beside it exactly as if
// that was selected (same output, same progress series), without one the pieces alone joined
// under the base name, verified by the checksum list the split wrote beside them, or complete but
// unverified without it (the boolean wrapper then answers false).
TEST_F(CombineFilesTest, SelectedPieces)
{
    const std::string bytes = PatternBytes(25000, 41);
    const std::string descriptor = Pieces("sel.bin", bytes, 10000);  // sel.001 .. sel.003
    std::vector<int32_t> descriptorPercents;
    {
        TProgressRecorder fromDescriptor;
        ASSERT_TRUE(engineprobe::Combine(descriptor, target.Path(), fromDescriptor.Proc()).Ok());
        descriptorPercents = fromDescriptor.Percents();
    }
    DeleteFileA(target.File("sel.bin").c_str());
    const std::string savedDescriptor = ReadFileBytes(descriptor);
    const std::string list = pieces.File("sel.sfv"), savedList = ReadFileBytes(list);

    const struct { const char* selected; bool descriptor, list; } cases[] = {{"sel.001", true, true}, {"sel.002", true, true}, {"sel.003", true, true},
                 {"sel.001", false, false}, {"sel.002", false, false}, {"sel.003", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.selected) + (c.descriptor ? " with its checksum file" : c.list ? " with its list" : " alone"));
        if (!c.descriptor) DeleteFileA(descriptor.c_str());
        if (!c.list) DeleteFileA(list.c_str());
        const std::string selected = pieces.File(c.selected);
        const TCombineSource source = FindCombineSource(selected);
        EXPECT_EQ(source.Descriptor, descriptor);
        EXPECT_EQ(source.HasDescriptor, c.descriptor);
        TProgressRecorder progress;
        const TOutcome outcome = engineprobe::Combine(selected, target.Path(), progress.Proc());
        EXPECT_TRUE(outcome.Ok());
        EXPECT_EQ(outcome.Unverified, !c.descriptor && !c.list);
        EXPECT_EQ(outcome.WithoutDescriptor, !c.descriptor);
        const std::string output = target.File(c.descriptor ? "sel.bin" : "sel");
        EXPECT_EQ(ReadFileBytes(output), bytes);
        EXPECT_EQ(FileNames(target.Path()).size(), 1u);
        if (c.descriptor) {
            EXPECT_EQ(progress.Percents(), descriptorPercents);
        } else {
            EXPECT_EQ(outcome.Pieces, 3u);
            EXPECT_EQ(outcome.Joined, 25000u);
            // Percent from the 25000 bytes of the pieces found at the start.
            EXPECT_EQ(progress.Percents(), (std::vector<int32_t>{40, 80, 99, 100}));
        }
        for (const auto& call : progress.Calls()) {
            EXPECT_EQ(call.Status, "Combining...");
            EXPECT_EQ(call.FileName, output);
            EXPECT_EQ(call.SourceDir, pieces.Path());
            EXPECT_EQ(call.TargetDir, target.Path());
        }
        DeleteFileA(output.c_str());
        // The wrapper: true only for a verified result.
        EXPECT_EQ(CombineFiles(selected, target.Path(), nullptr), c.descriptor || c.list);
        EXPECT_EQ(ReadFileBytes(output), bytes);
        DeleteFileA(output.c_str());
        WriteFileBytes(descriptor, savedDescriptor);
        WriteFileBytes(list, savedList);
    }
    EXPECT_EQ(FindCombineSource(descriptor).Descriptor, descriptor);

    // Pieces from a splitter that counts from zero are joined from z.000, also when it is selected,
    // and with a checksum file that records them; a name that only begins like the set's
    // ("z.x.005") is no piece of it, nor a hole in it. A z.000 of another size than the set's pieces
    // belongs to no set of them: left out, and refused when it is the one selected.
    WriteFileBytes(pieces.File("z.001"), "one.|");
    WriteFileBytes(pieces.File("z.002"), "two");
    WriteFileBytes(pieces.File("z.x.005"), "other");
    const std::string zeroCrc = "filename=z\r\nsize=13\r\ncrc32=" + IntToHex(engineprobe::Crc32("zero|one.|two")) + "\r\n";
    const struct { const char* zero; const char* selected; bool descriptor; const char* joined; } zeros[] = {
        {"zero|", "z.001", false, "zero|one.|two"}, {"zero|", "z.000", false, "zero|one.|two"},
        {"zero|", "z.002", true, "zero|one.|two"},  {"stray", "z.001", false, "strayone.|two"},
        {"6 byte", "z.001", false, "one.|two"},     {"6 byte", "z.000", false, nullptr},
    };
    for (const auto& z : zeros) {
        SCOPED_TRACE(std::string(z.zero) + " " + z.selected);
        WriteFileBytes(pieces.File("z.000"), z.zero);
        if (z.descriptor) WriteFileBytes(pieces.File("z.crc"), zeroCrc);
        const TOutcome outcome = RunCombine(pieces.File(z.selected), target.Path(), nullptr, nullptr);
        DeleteFileA(pieces.File("z.crc").c_str());
        if (!z.joined) {
            EXPECT_TRUE(Ended(outcome, TCause::PieceDoesNotFit, pieces.File("z.000")));
            EXPECT_EQ(outcome.Size, 6u);
            EXPECT_EQ(outcome.RecordedSize, 5u);
            continue;
        }
        EXPECT_TRUE(outcome.Ok());
        EXPECT_EQ(ReadFileBytes(target.File("z")), z.joined);
        DeleteFileA(target.File("z").c_str());
    }
    DeleteFileA(pieces.File("z.001").c_str());
    EXPECT_TRUE(Ended(RunCombine(pieces.File("z.002"), target.Path(), nullptr, nullptr), TCause::PieceMissing,
                      pieces.File("z.001")));
    EXPECT_TRUE(FileNames(target.Path()).empty());
}

// A join without a checksum file that cannot run: nothing created, no progress call; and one that
// fails while joining: its cause, the final name in it, nothing left in the target.
TEST_F(CombineFilesTest, PiecesAloneThatCannotBeJoined)
{
    WriteFileBytes(pieces.File("p.001"), PatternBytes(3000, 42));
    WriteFileBytes(pieces.File("p.002"), PatternBytes(3000, 43));
    WriteFileBytes(pieces.File("p.003"), PatternBytes(100, 44));
    enum TSetUp { Whole, NoFirst, Gap, GapFar, OutputThere, Locked, Cancel, NoTarget, Stale, DirAtPiece, CancelLast };
    const struct { const char* what; TSetUp setUp; TCause cause; std::string file; bool anyCall; } cases[] = {
        {"a stale piece after the last", Stale, TCause::PieceDoesNotFit, pieces.File("p.003"), false},
        {"a directory at a piece's name", DirAtPiece, TCause::PieceNotAFile, pieces.File("p.002"), false},
        {"cancelled in the last block, everything copied", CancelLast, TCause::None, "", true},
        {"first piece missing", NoFirst, TCause::PieceMissing, pieces.File("p.001"), false},
        {"a gap", Gap, TCause::PieceMissing, pieces.File("p.002"), false},
        {"a gap far above", GapFar, TCause::PieceMissing, pieces.File("p.004"), false},
        {"a file of the output's name there", OutputThere, TCause::OutputThere, target.File("p"), false},
        {"a piece locked", Locked, TCause::CannotRead, pieces.File("p.002"), true},
        {"cancelled", Cancel, TCause::Cancelled, "", true},
        {"no target directory", NoTarget, TCause::CannotCreate, target.File("absent\\p"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string moved = pieces.File(c.setUp == NoFirst ? "p.001" : "p.002");
        if (c.setUp == NoFirst || c.setUp == Gap || c.setUp == DirAtPiece) MoveFileA(moved.c_str(), (moved + "x").c_str());
        if (c.setUp == DirAtPiece) CreateDirectoryA(moved.c_str(), nullptr);
        if (c.setUp == Stale) WriteFileBytes(pieces.File("p.004"), PatternBytes(3000, 45));
        if (c.setUp == GapFar) WriteFileBytes(pieces.File("p.1000"), "far");
        if (c.setUp == OutputThere) WriteFileBytes(target.File("p"), "mine");
        {
            const TUnchanged unchanged({pieces.Path()});
            std::optional<engineprobe::THold> hold;
            if (c.setUp == Locked) hold.emplace(pieces.File("p.002"), GENERIC_READ);
            TProgressRecorder progress;
            progress.OnCall = [&](size_t i) { return (c.setUp == Cancel && i == 0) || (c.setUp == CancelLast && i == 2); };
            const std::string dir = c.setUp == NoTarget ? target.File("absent") : target.Path();
            const TOutcome outcome = c.anyCall ? engineprobe::Combine(pieces.File("p.002"), dir, progress.Proc())
                                               : RunCombine(pieces.File("p.002"), dir, progress.Proc(), [](const TOutcome&) {
                                                     ADD_FAILURE() << "no verdict before anything is written";
                                                 });
            EXPECT_TRUE(Ended(outcome, c.cause, c.file));
            EXPECT_TRUE(outcome.Unverified);
            EXPECT_EQ(progress.Calls().empty(), !c.anyCall);
            if (c.setUp == Stale) { EXPECT_EQ(std::make_pair(outcome.Size, outcome.RecordedSize), std::make_pair(uint64_t(100), uint64_t(3000))); }
        }
        EXPECT_EQ(FileNames(target.Path()), c.setUp == OutputThere || c.setUp == CancelLast ? std::vector<std::string>{"p"}
                                                                                       : std::vector<std::string>{});
        if (c.setUp == OutputThere) { EXPECT_EQ(ReadFileBytes(target.File("p")), "mine"); }
        if (c.setUp == DirAtPiece) RemoveDirectoryA(moved.c_str());
        if (c.setUp == NoFirst || c.setUp == Gap || c.setUp == DirAtPiece) MoveFileA((moved + "x").c_str(), moved.c_str());
        DeleteFileA(pieces.File("p.1000").c_str());
        DeleteFileA(pieces.File("p.004").c_str());
        DeleteFileA(target.File("p").c_str());
    }
    // Names the system would write elsewhere are refused before anything is looked at; so is a
    // checksum file name beside the selected piece that is a directory or a link that leads nowhere.
    CreateDirectoryA(pieces.File("q.crc").c_str(), nullptr);
    WriteFileBytes(pieces.File("q.001"), "x");
    const auto fixture = engineprobe::FixtureDir();
    const struct { std::string selected, text; } refused[] = {
        {pieces.File("x..001"), "File \"" + pieces.File("x..001") + "\" would be joined into the file \"x.\", which the system would write under another name."},
        {pieces.File("CON.001"), "File \"" + pieces.File("CON.001") + "\" would be joined into the device \"CON\"."},
        {pieces.File("q.001"), "Checksum file \"" + pieces.File("q.crc") + "\" is not a file."},
        {fixture ? *fixture + "\\links\\e.001" : "", "Checksum file \"" + (fixture ? *fixture : "") + "\\links\\e.crc\" is a link that leads nowhere."},
    };
    for (const auto& r : refused) {
        if (r.selected.empty()) continue;
        try {
            RunCombine(r.selected, target.Path(), nullptr, nullptr);
            ADD_FAILURE() << r.selected << " not refused";
        } catch (const EOperationRefused& e) {
            EXPECT_EQ(e.what(), r.text + " Nothing was combined.");
        }
    }
    // A link that leads nowhere ends no set silently.
    if (fixture) {
        EXPECT_TRUE(Ended(RunCombine(*fixture + "\\links\\d.001", target.Path(), nullptr, nullptr), TCause::PieceIsLink,
                          *fixture + "\\links\\d.002"));
    }
    EXPECT_TRUE(FileNames(target.Path()).empty());
    // Pieces with no name before their number have nothing to be joined into.
    for (const char* nameless : {".001", " .001", "..001"}) {
        SCOPED_TRACE(nameless);
        WriteFileBytes(pieces.File(nameless), "x");
        TProgressRecorder progress;
        const TOutcome outcome = RunCombine(pieces.File(nameless), target.Path(), progress.Proc(), nullptr);
        EXPECT_EQ(outcome.Cause, TCause::CannotCreate);
        EXPECT_EQ(outcome.SystemError, static_cast<DWORD>(ERROR_INVALID_NAME));
        EXPECT_TRUE(progress.Calls().empty());
        EXPECT_TRUE(FileNames(target.Path()).empty());
        DeleteFileA(pieces.File(nameless).c_str());
    }
}

// The output is built under a temporary name beside its final name: the output's name and
// ".part", or the first free ".partN". A leftover of a run that was killed is left alone, and
// no temporary file of this run survives, whatever the ending.
TEST_F(CombineFilesTest, TheOutputIsBuiltUnderATemporaryName)
{
    const std::string bytes = PatternBytes(300000, 45);
    const std::string descriptor = Pieces("t.bin", bytes, 140000);
    const std::string output = target.File("t.bin");
    WriteFileBytes(output + ".part", "left by a killed run");
    WriteFileBytes(output + ".part2", "and another");
    const auto leftovers = engineprobe::Snapshot(target.Path());

    enum TEnd { Success, Mismatch, Cancel, FinalNameAppears };
    // kept: the file under the final name afterwards ("": none).
    const struct { TEnd end; TCause cause; std::string file, kept; } ends[] = {{Success, TCause::None, "", bytes}, {Mismatch, TCause::ChecksumMismatch, "", ""},
                {Cancel, TCause::Cancelled, "", ""}, {FinalNameAppears, TCause::DifferentFileThere, output, "came meanwhile"}};
    for (const auto& [end, cause, file, kept] : ends) {
        SCOPED_TRACE(end);
        const std::string text = ReadFileBytes(descriptor);
        if (end == Mismatch) WriteFileBytes(descriptor, "filename=t.bin\r\nsize=300000\r\ncrc32=1\r\n");
        std::vector<std::string> during;
        TProgressRecorder progress;
        progress.OnCall = [&](size_t i) {
            if (i == 0) during = FileNames(target.Path());
            if (i == 0 && end == FinalNameAppears) WriteFileBytes(output, "came meanwhile");
            return end == Cancel && i == 0;
        };
        const TOutcome outcome = engineprobe::Combine(descriptor, target.Path(), progress.Proc());
        WriteFileBytes(descriptor, text);
        EXPECT_EQ(during, (std::vector<std::string>{"t.bin.part", "t.bin.part2", "t.bin.part3"}));
        for (const auto& call : progress.Calls()) EXPECT_EQ(call.FileName, output);
        EXPECT_TRUE(Ended(outcome, cause, file));
        EXPECT_EQ(outcome.Leftovers, (std::vector<std::string>{output + ".part", output + ".part2"}));
        auto after = engineprobe::Snapshot(target.Path());
        EXPECT_EQ(after.count("t.bin"), kept.empty() ? 0u : 1u);
        EXPECT_EQ(after["t.bin"], kept);
        after.erase("t.bin");
        EXPECT_EQ(after, leftovers);
        DeleteFileA(output.c_str());
    }

    // An output as long as the system allows: its temporary name is its name cut to fit.
    const std::string name = "long-name.bin";
    const std::string deep = target.File(std::string(MAX_PATH - 1 - target.Path().size() - 2 - name.size(), 'd'));
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    const std::string longOutput = deep + "\\" + name;
    ASSERT_EQ(longOutput.size(), static_cast<size_t>(MAX_PATH - 1));
    WriteFileBytes(deep + "\\long-nam.part", "left by a killed run");
    {
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
        EXPECT_EQ(ReadFileBytes(longOutput), bytes);
    }
    // One that is too long itself fails at once, without copying anything under a cut name.
    TProgressRecorder tooLong;
    EXPECT_TRUE(Ended(engineprobe::Combine(Pieces("long-name-x.bin", bytes, 140000), deep, tooLong.Proc()),
                      TCause::CannotCreate, deep + "\\long-name-x.bin"));
    EXPECT_EQ(tooLong.Calls().size(), 1u) << "only the closing report";
    EXPECT_EQ(FileNames(deep), (std::vector<std::string>{"long-nam.part", name}));
}

// The child of the next test: a combine (or, with ZANDREL_KILL_SPLIT, a split of that file into
// 140000-byte pieces) whose process ends in its second progress call, as a host that is killed.
TEST_F(CombineFilesTest, DISABLED_KilledMidwayChild)
{
    char descriptor[MAX_PATH], dir[MAX_PATH], split[MAX_PATH];
    if (!GetEnvironmentVariableA("ZANDREL_KILL_DESCRIPTOR", descriptor, MAX_PATH) ||
        !GetEnvironmentVariableA("ZANDREL_KILL_TARGET", dir, MAX_PATH))
        GTEST_SKIP() << "run by KilledMidwayAndRunAgain";
    TProgressRecorder progress;
    progress.OnCall = [](size_t i) {
        if (i == 1) ExitProcess(7);
        return false;
    };
    if (GetEnvironmentVariableA("ZANDREL_KILL_SPLIT", split, MAX_PATH)) RunSplit(split, dir, 140000, progress.Proc());
    else RunCombine(descriptor, dir, progress.Proc(), nullptr);
    ADD_FAILURE() << "the process should have ended";
}

// A host killed in the middle of a combine leaves at most the temporary file, never a part of the
// file under its final name; the next combine of the set succeeds beside it, leaves it alone and
// names it. One killed in the middle of a split leaves a set that no combine takes for one.
TEST_F(CombineFilesTest, KilledMidwayAndRunAgain)
{
    const std::string bytes = PatternBytes(400000, 47);
    const std::string descriptor = Pieces("k.bin", bytes, 140000);
    char self[MAX_PATH];
    ASSERT_NE(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    const auto killed = [&](const char* split) {
        SetEnvironmentVariableA("ZANDREL_KILL_DESCRIPTOR", descriptor.c_str());
        SetEnvironmentVariableA("ZANDREL_KILL_TARGET", target.Path().c_str());
        SetEnvironmentVariableA("ZANDREL_KILL_SPLIT", split);
        std::string command = std::string("\"") + self +
                              "\" --gtest_also_run_disabled_tests --gtest_filter=CombineFilesTest.DISABLED_KilledMidwayChild";
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        const bool started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
        for (const char* name : {"ZANDREL_KILL_DESCRIPTOR", "ZANDREL_KILL_TARGET", "ZANDREL_KILL_SPLIT"})
            SetEnvironmentVariableA(name, nullptr);
        ASSERT_TRUE(started);
        ASSERT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        EXPECT_EQ(code, 7u);
    };
    killed(nullptr);

    // The first piece (two blocks) was written, under the temporary name only.
    const auto left = engineprobe::Snapshot(target.Path());
    ASSERT_EQ(left.size(), 1u);
    ASSERT_EQ(left.begin()->first, "k.bin.part");
    EXPECT_TRUE(left.begin()->second == bytes.substr(0, 140000)) << left.begin()->second.size();

    const TOutcome again = engineprobe::Combine(descriptor, target.Path(), nullptr);
    EXPECT_TRUE(again.Ok());
    EXPECT_EQ(again.Leftovers, std::vector<std::string>{target.File("k.bin.part")});
    auto after = engineprobe::Snapshot(target.Path());
    EXPECT_TRUE(after["k.bin"] == bytes);
    after.erase("k.bin");
    EXPECT_TRUE(after == left);

    // The split of k.bin into the target, killed after its first block: its first piece is there,
    // and neither its checksum file nor any piece makes a set.
    killed(target.File("k.bin").c_str());
    EXPECT_TRUE(FileExists(target.File("k.001")));
    EXPECT_FALSE(FileExists(target.File("k.002")));
    TempDir out;
    for (const char* selected : {"k.crc", "k.001"}) {
        try {
            RunCombine(target.File(selected), out.Path(), nullptr, nullptr);
            ADD_FAILURE() << selected << " not refused";
        } catch (const EOperationRefused& e) {
            EXPECT_EQ(e.what(), "The split that made \"" + target.File(selected) + "\" did not finish. Nothing was combined.");
        }
    }
    EXPECT_TRUE(FileNames(out.Path()).empty());
}
