// CombineFiles on real files: existing targets, missing and surplus pieces, selected pieces and
// pieces without a checksum file, the temporary name, a killed host, and the outcome with its
// cause, heard before the closing report. (Round trips, progress series and cancelling are tabled
// with the split's; descriptors with the engine's faults.)
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

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

using CombineFilesTest = TEngineTest;

// An existing file of the output's name is verified, never written, the pieces only looked at.
TEST_F(CombineFilesTest, ExistingTargetIsVerifiedNeverOverwritten)
{
    const std::string bytes = PatternBytes(20000, 5);
    const std::string descriptor = Pieces("kept.bin", bytes, 7000);
    // sparse: the size of a sparse file with the existing bytes at its start (never read whole);
    // noMemory: the checksum's buffer cannot be had.
    const struct { const char* what; std::string existing; TCause cause; uint64_t sparse = 0;
                   bool noMemory = false; } cases[] = {
        {"the same file", bytes, TCause::None},
        {"a different file", PatternBytes(20000, 6), TCause::DifferentFileThere},
        {"the same bytes and more", bytes + "x", TCause::DifferentFileThere},
        {"an empty file", "", TCause::DifferentFileThere},
        // its low 32 bits alone would match
        {"the same bytes and 4 GiB more", bytes, TCause::DifferentFileThere, 0x100000000ull + 20000},
        {"the same file, no memory for its checksum", bytes, TCause::CannotRead, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string existing = target.File("kept.bin");
        if (c.sparse) engineprobe::MakeSparseFile(existing, c.sparse, c.existing);
        else WriteFileBytes(existing, c.existing);
        // Dated long ago, so that any write would show in the stamp.
        HANDLE h = CreateFileA(existing.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        const FILETIME old{0, 0x01C00000};
        ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &old));
        CloseHandle(h);
        const auto before = engineprobe::Stamp(existing);
        const TUnchanged unchanged({pieces.Path()});
        TProgressRecorder progress;
        FailChecksumBuffer = c.noMemory;
        const TOutcome outcome = engineprobe::Combine(descriptor, target.Path(), progress.Proc());
        FailChecksumBuffer = false;
        EXPECT_TRUE(Ended(outcome, c.cause, c.cause == TCause::None ? "" : existing,
                          c.noMemory ? ERROR_NOT_ENOUGH_MEMORY : engineprobe::AnyError));
        if (!c.sparse) { EXPECT_EQ(ReadFileBytes(existing), c.existing); }
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

    // A piece missing before the size is reached, or that is no file (a directory, or a device:
    // under Wine the fixture's link to /dev/zero, never read): refused before anything is written,
    // no progress call.
    DeleteFileA(third.c_str());
    const auto fixture = engineprobe::FixtureDir();
    const std::string device = fixture ? *fixture + "\\devices\\set" : "";  // set.002 is the device
    const struct { std::string descriptor, piece; TCause cause; } cases[] = {
        {descriptor, third, TCause::PieceMissing}, {descriptor, third, TCause::PieceNotAFile},
        {device + ".crc", device + ".002", TCause::PieceNotAFile}};
    for (const auto& c : cases) {
        if (c.piece == third && c.cause == TCause::PieceNotAFile) { ASSERT_TRUE(CreateDirectoryA(third.c_str(), nullptr)); }
        if (c.piece != third && !fixture) continue;
        if (c.piece != third) WriteFileBytes(device + ".001", PatternBytes(2000, 103));
        if (c.piece != third) WriteFileBytes(c.descriptor, "filename=set.bin\r\nsize=6000\r\ncrc32=0\r\n");
        TProgressRecorder progress;
        progress.OnCall = [](size_t i) { return i >= 20; };  // a combine reading without end is stopped
        EXPECT_TRUE(Ended(RunCombineFrom(c.descriptor, target.Path(), progress.Proc(), nullptr), c.cause, c.piece));
        EXPECT_TRUE(FileNames(target.Path()).empty());
        EXPECT_TRUE(progress.Calls().empty());
    }
    if (fixture) DeleteFileA((device + ".001").c_str());
    if (fixture) DeleteFileA((device + ".crc").c_str());
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
        EXPECT_EQ(outcome.Done.Unverified, !c.descriptor && !c.list);
        EXPECT_EQ(outcome.WithoutDescriptor, !c.descriptor);
        const std::string output = target.File(c.descriptor ? "sel.bin" : "sel");
        EXPECT_EQ(ReadFileBytes(output), bytes);
        EXPECT_EQ(FileNames(target.Path()).size(), 1u);
        if (c.descriptor) {
            EXPECT_EQ(progress.Percents(), descriptorPercents);
        } else {
            EXPECT_EQ(outcome.Done.Pieces, 3u);
            EXPECT_EQ(outcome.Done.Joined, 25000u);
            // Percent from the 25000 bytes of the pieces found at the start.
            EXPECT_EQ(progress.Percents(), (std::vector<int32_t>{40, 80, 99, 100}));
        }
        progress.ExpectCalls("Combining...", output, pieces.Path(), target.Path());
        DeleteFileA(output.c_str());
        // The wrapper: true only for a verified result.
        EXPECT_EQ(CombineFiles(selected, target.Path(), nullptr), c.descriptor || c.list);
        EXPECT_EQ(ReadFileBytes(output), bytes);
        DeleteFileA(output.c_str());
        WriteFileBytes(descriptor, savedDescriptor);
        WriteFileBytes(list, savedList);
    }
    EXPECT_EQ(FindCombineSource(descriptor).Descriptor, descriptor);
}

// Pieces without a checksum file, one set per row, the p.002 of p.001 .. p.003 selected unless
// said: joined when they form one set, refused before anything is written (nothing created, no
// closing report, no progress call), or failing while joining (its cause, the final name in it, nothing
// left in the target; a locked piece and a cancel end it as they end a combine with a checksum
// file). Pieces from a splitter that counts from zero are joined from z.000, also when it is
// selected, and with a checksum file that records them; a name that only begins like the set's
// ("z.x.005") is no piece of it, nor a hole in it. A z.000 of another size than the set's pieces
// belongs to no set of them: left out, and refused when it is the one selected. Pieces with no
// name before their number have nothing to be joined into.
TEST_F(CombineFilesTest, PiecesAlone)
{
    const std::string p1 = PatternBytes(3000, 42), p2 = PatternBytes(3000, 43), p3 = PatternBytes(100, 44);
    const std::map<std::string, std::string> bytesOf = {
        {"p.001", p1}, {"p.002", p2}, {"p.003", p3}, {"p.004", PatternBytes(3000, 45)}, {"p.1000", "far"},
        {"z.001", "one.|"}, {"z.002", "two"}, {"z.x.005", "other"},
        {"z.crc", "filename=z\r\nsize=13\r\ncrc32=" + IntToHex(engineprobe::Crc32("zero|one.|two")) + "\r\n"}};
    const auto P = [&](const std::string& n) { return pieces.File(n); };
    const auto list = [&](bool zero) {  // z's pieces as a list names them, z.000 among them or not
        std::vector<TSfvEntry> entries = {{"z.001", engineprobe::Crc32("one.|")}, {"z.002", engineprobe::Crc32("two")}};
        if (zero) entries.push_back({"z.000", engineprobe::Crc32("zero|")});
        return FormatSfv("z", entries);
    };
    const auto fixture = engineprobe::FixtureDir();
    enum TSetUp { None, OutputThere, CancelLast, NoTarget };
    // files: the set's files, with the bytes above, or as "name=bytes", or "name/": a directory;
    // joined: the output's bytes afterwards ("": none); size, recorded: for PieceDoesNotFit, the
    // piece's size and its set's.
    struct TRow { const char* what; std::vector<std::string> files; std::string selected; TCause cause; std::string file;
                  bool anyCall; std::string joined = std::string(); TSetUp setUp = None; uint64_t size = 0, recorded = 0;
                  uint32_t error = engineprobe::AnyError; bool verified = false; };
    const std::vector<std::string> p = {"p.001", "p.002", "p.003"}, z = {"z.001", "z.002", "z.x.005"};
    const auto plus = [](std::vector<std::string> files, const std::vector<std::string>& more) {
        files.insert(files.end(), more.begin(), more.end());
        return files;
    };
    const std::vector<TRow> cases = {
        {"a stale piece after the last", plus(p, {"p.004"}), P("p.002"), TCause::PieceDoesNotFit, P("p.003"), false, "", None, 100, 3000},
        {"a directory at a piece's name", {"p.001", "p.002/", "p.003"}, P("p.002"), TCause::PieceNotAFile, P("p.002"), false},
        {"cancelled in the last block, everything copied", p, P("p.002"), TCause::None, "", true, p1 + p2 + p3, CancelLast},
        {"first piece missing", {"p.002", "p.003"}, P("p.002"), TCause::PieceMissing, P("p.001"), false},
        {"a gap", {"p.001", "p.003"}, P("p.002"), TCause::PieceMissing, P("p.002"), false},
        {"a gap far above", plus(p, {"p.1000"}), P("p.002"), TCause::PieceMissing, P("p.004"), false},
        {"a file of the output's name there", p, P("p.002"), TCause::OutputThere, target.File("p"), false, "mine", OutputThere},
        {"no target directory", p, P("p.002"), TCause::CannotCreate, target.File("absent\\p"), true, "", NoTarget},
        {"from zero", plus(z, {"z.000=zero|"}), P("z.001"), TCause::None, "", true, "zero|one.|two"},
        {"from zero, z.000 selected", plus(z, {"z.000=zero|"}), P("z.000"), TCause::None, "", true, "zero|one.|two"},
        {"from zero, recorded", plus(z, {"z.000=zero|", "z.crc"}), P("z.002"), TCause::None, "", true, "zero|one.|two", None, 0,
         0, engineprobe::AnyError, true},
        {"a stray z.000", plus(z, {"z.000=stray"}), P("z.001"), TCause::None, "", true, "strayone.|two"},
        {"a z.000 of another size", plus(z, {"z.000=6 byte"}), P("z.001"), TCause::None, "", true, "one.|two"},
        {"a z.000 of another size selected", plus(z, {"z.000=6 byte"}), P("z.000"), TCause::PieceDoesNotFit, P("z.000"), false,
         "", None, 6, 5},
        {"z.001 missing", {"z.000=6 byte", "z.002"}, P("z.002"), TCause::PieceMissing, P("z.001"), false},
        // A list that names the pieces decides a z.000; a checksum file takes one only to reach its size exactly.
        {"a z.000 the list does not name", plus(z, {"z.000=zero|", "z.sfv=" + list(false)}), P("z.001"), TCause::None,
         "", true, "one.|two", None, 0, 0, engineprobe::AnyError, true},
        {"a z.000 the list names", plus(z, {"z.000=zero|", "z.sfv=" + list(true)}), P("z.001"), TCause::None, "", true,
         "zero|one.|two", None, 0, 0, engineprobe::AnyError, true},
        {"a z.000 past the recorded size", plus(z, {"z.000=zero|", "z.crc=filename=z\r\nsize=12\r\ncrc32=0\r\n"}),
         P("z.002"), TCause::PieceMissing, P("z.003"), false, "", None, 0, 0, engineprobe::AnyError, true},
        {"the odd piece first", {"m.001=1234567", "m.002=12345", "m.003=12345", "m.004=12345", "m.005=123"}, P("m.002"),
         TCause::PieceDoesNotFit, P("m.001"), false, "", None, 7, 5},
        {"no name", {".001=x"}, P(".001"), TCause::CannotCreate, target.Path() + "\\", false, "", None, 0, 0, ERROR_INVALID_NAME},
        {"a space for a name", {" .001=x"}, P(" .001"), TCause::CannotCreate, target.Path() + "\\ ", false, "", None, 0, 0,
         ERROR_INVALID_NAME},
        {"a dot for a name", {"..001=x"}, P("..001"), TCause::CannotCreate, target.Path() + "\\.", false, "", None, 0, 0,
         ERROR_INVALID_NAME},
        // A link that leads nowhere ends no set silently.
        {"a link that leads nowhere", {}, fixture ? *fixture + "\\links\\d.001" : "", TCause::PieceIsLink,
         fixture ? *fixture + "\\links\\d.002" : "", false},
    };
    for (const auto& c : cases) {
        if (c.selected.empty()) continue;  // no fixture
        SCOPED_TRACE(c.what);
        for (const std::string& f : c.files) {
            const size_t eq = f.find('=');
            if (f.back() == '/') { ASSERT_TRUE(CreateDirectoryA(P(f.substr(0, f.size() - 1)).c_str(), nullptr)); }
            else WriteFileBytes(P(f.substr(0, eq)), eq == std::string::npos ? bytesOf.at(f) : f.substr(eq + 1));
        }
        if (c.setUp == OutputThere) WriteFileBytes(target.File("p"), "mine");
        {
            const TUnchanged unchanged({pieces.Path()});
            TProgressRecorder progress;
            progress.OnCall = [&](size_t i) { return c.setUp == CancelLast && i == 2; };
            const std::string dir = c.setUp == NoTarget ? target.File("absent") : target.Path();
            const TOutcome outcome = c.anyCall ? engineprobe::Combine(c.selected, dir, progress.Proc())
                                               : [&] {
                                                     TClosingReport closing;
                                                     const TOutcome o = RunCombineFrom(c.selected, dir, progress.Proc(),
                                                                                       &closing);
                                                     EXPECT_FALSE(closing.Due()) << "none before anything is written";
                                                     return o;
                                                 }();
            EXPECT_TRUE(Ended(outcome, c.cause, c.file, c.error));
            if (outcome.Ok()) { EXPECT_EQ(outcome.Done.Unverified, !c.verified); }
            EXPECT_EQ(progress.Calls().empty(), !c.anyCall);
            if (c.cause == TCause::PieceDoesNotFit) { EXPECT_EQ(std::make_pair(outcome.FoundSize, outcome.ExpectedSize), std::make_pair(c.size, c.recorded)); }
        }
        const std::string name = ExtractFileName(c.selected).substr(0, 1);
        EXPECT_EQ(FileNames(target.Path()), c.joined.empty() ? std::vector<std::string>{} : std::vector<std::string>{name});
        if (!c.joined.empty()) { EXPECT_EQ(ReadFileBytes(target.File(name)), c.joined); }
        for (const std::string& dir : {pieces.Path(), target.Path()})
            testfiles::ForEachEntry(dir, [&](const std::string& n, bool) { testfiles::RemoveTree(dir + "\\" + n); });
    }
    // Names the system would write elsewhere are refused before anything is looked at; so is a
    // checksum file name beside the selected piece that is a directory or a link that leads nowhere.
    CreateDirectoryA(P("q.crc").c_str(), nullptr);
    WriteFileBytes(P("q.001"), "x");
    const struct { std::string selected, text; } refused[] = {
        {P("x..001"), "File \"" + P("x..001") + "\" would be joined into the file \"x.\", which the system would write under another name."},
        {P("CON.001"), "File \"" + P("CON.001") + "\" would be joined into the device \"CON\"."},
        {P("q.001"), "Checksum file \"" + P("q.crc") + "\" is not a file."},
        {fixture ? *fixture + "\\links\\e.001" : "", "Checksum file \"" + (fixture ? *fixture : "") + "\\links\\e.crc\" is a link that leads nowhere."},
    };
    for (const auto& r : refused) {
        if (r.selected.empty()) continue;  // no fixture
        EXPECT_EQ(RefusalOf(RunCombineFrom(r.selected, target.Path(), nullptr, nullptr)), r.text + " Nothing was combined.");
    }
    EXPECT_TRUE(FileNames(target.Path()).empty());
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

    enum TEnd { Success, Mismatch, Cancel, FinalNameAppears, PieceShrinks, RenameFails, NoMemory };
    // kept: the file under the final name afterwards ("": none). A piece that shrinks after the
    // combine began is named; a rename that fails with nothing in the way (another program reads
    // the finished file) cannot create the final name; a checksum without memory for its buffer
    // cannot read the output, which goes, after the closing report.
    const std::string third = PieceFileName(descriptor, 3), thirdBytes = ReadFileBytes(third);
    const struct { TEnd end; TCause cause; std::string file, kept; } ends[] = {{Success, TCause::None, "", bytes}, {Mismatch, TCause::ChecksumMismatch, "", ""},
                {Cancel, TCause::Cancelled, "", ""}, {FinalNameAppears, TCause::DifferentFileThere, output, "came meanwhile"},
                {PieceShrinks, TCause::PieceChanged, third, ""}, {RenameFails, TCause::CannotCreate, output, ""},
                {NoMemory, TCause::CannotRead, output, ""}};
    for (const auto& [end, cause, file, kept] : ends) {
        SCOPED_TRACE(end);
        const std::string text = ReadFileBytes(descriptor);
        if (end == Mismatch) WriteFileBytes(descriptor, "filename=t.bin\r\nsize=300000\r\ncrc32=1\r\n");
        std::vector<std::string> during;
        TProgressRecorder progress;
        progress.OnCall = [&](size_t i) {
            if (i == 0) during = FileNames(target.Path());
            if (i == 0 && end == FinalNameAppears) WriteFileBytes(output, "came meanwhile");
            if (i == 0 && end == PieceShrinks) WriteFileBytes(third, thirdBytes.substr(0, 7000));
            return end == Cancel && i == 0;
        };
        engineprobe::TPumpProbe probe;
        HANDLE reader = INVALID_HANDLE_VALUE;  // opens once the check's pass shares reading
        probe.OnPump = [&](size_t) {
            if (end == RenameFails && reader == INVALID_HANDLE_VALUE)
                reader = CreateFileA((output + ".part3").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        };
        FailChecksumBuffer = end == NoMemory;
        const TOutcome outcome = engineprobe::Combine(descriptor, target.Path(), progress.Proc());
        FailChecksumBuffer = false;
        WriteFileBytes(descriptor, text);
        WriteFileBytes(third, thirdBytes);
        if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader), DeleteFileA((output + ".part3").c_str());
        if (end == PieceShrinks) { EXPECT_EQ(std::make_pair(outcome.FoundSize, outcome.ExpectedSize), std::make_pair(uint64_t(7000), uint64_t(20000))); }
        if (end == RenameFails) { EXPECT_NE(reader, INVALID_HANDLE_VALUE); }
        if (end == NoMemory) { EXPECT_EQ(progress.Calls().back().Percent, 100); }
        EXPECT_EQ(during, (std::vector<std::string>{"t.bin.part", "t.bin.part2", "t.bin.part3"}));
        for (const auto& call : progress.Calls()) EXPECT_EQ(call.FileName, output);
        EXPECT_TRUE(Ended(outcome, cause, file, end == NoMemory ? ERROR_NOT_ENOUGH_MEMORY : engineprobe::AnyError));
        EXPECT_EQ(outcome.Leftovers, (std::vector<std::string>{output + ".part", output + ".part2"}));
        auto expected = leftovers;
        if (!kept.empty()) expected["t.bin"] = kept;
        EXPECT_EQ(engineprobe::Snapshot(target.Path()), expected);
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

// The child of the next test: a combine of a checksum file (or a split of any other file into
// 140000-byte pieces) whose process ends in its second progress call, as a host that is killed.
// ZANDREL_KILL holds "file|target directory".
TEST_F(CombineFilesTest, DISABLED_KilledMidwayChild)
{
    char value[2 * MAX_PATH];
    if (!GetEnvironmentVariableA("ZANDREL_KILL", value, sizeof value)) GTEST_SKIP() << "run by KilledMidwayAndRunAgain";
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

// A host killed in the middle of a combine leaves at most the temporary file, never a part of the
// file under its final name; the next combine of the set succeeds beside it, leaves it alone and
// names it. One killed in the middle of a split leaves a set that no combine takes for one.
TEST_F(CombineFilesTest, KilledMidwayAndRunAgain)
{
    const std::string bytes = PatternBytes(400000, 47);
    const std::string descriptor = Pieces("k.bin", bytes, 140000);
    char self[MAX_PATH];
    ASSERT_NE(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    const auto killed = [&](const std::string& file) {
        SetEnvironmentVariableA("ZANDREL_KILL", (file + "|" + target.Path()).c_str());
        std::string command = std::string("\"") + self +
                              "\" --gtest_also_run_disabled_tests --gtest_filter=CombineFilesTest.DISABLED_KilledMidwayChild";
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        const bool started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
        SetEnvironmentVariableA("ZANDREL_KILL", nullptr);
        ASSERT_TRUE(started);
        ASSERT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        EXPECT_EQ(code, 7u);
    };
    killed(descriptor);

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

    // The split of k.bin into the target, killed after its first block: its first piece is there,
    // and neither its checksum file nor any piece makes a set.
    killed(target.File("k.bin"));
    EXPECT_TRUE(FileExists(target.File("k.001")));
    EXPECT_FALSE(FileExists(target.File("k.002")));
    TempDir out;
    for (const char* selected : {"k.crc", "k.001"}) {
        EXPECT_EQ(RefusalOf(RunCombineFrom(target.File(selected), out.Path(), nullptr, nullptr)),
                  "The split that made \"" + target.File(selected) + "\" did not finish. Nothing was combined.");
    }
    EXPECT_TRUE(FileNames(out.Path()).empty());
}

// A list beside the pieces of x.bin (x.001 .. x.003), one row each: damaged: the pieces whose
// bytes differ from the split's; wrong: those the list records a wrong checksum for; twice: x.002
// listed again with another checksum; named: the pieces named as damaged; unused: without a
// checksum file, why the list verified nothing.
struct TListRow { const char* name; bool descriptor; std::vector<uint32_t> damaged, wrong; bool twice; TCause cause;
                  std::vector<uint32_t> named; bool listMismatch; std::string unused; };

class ListAgainstDescriptor : public TEngineTest, public ::testing::WithParamInterface<TListRow> {};

TEST_P(ListAgainstDescriptor, DescriptorDecidesAndListNamesDamage)
{
    const TListRow& row = GetParam();
    const std::string bytes = PatternBytes(7000, 61), descriptor = Pieces("x.bin", bytes, 3000);
    const auto in = [](const std::vector<uint32_t>& set, uint32_t n) { return std::count(set.begin(), set.end(), n); };
    std::vector<TSfvEntry> list(row.twice, {"x.002", 1});
    for (uint32_t n = 1; n <= 3; ++n) {
        const std::string piece = PieceFileName(descriptor, n), good = ReadFileBytes(piece);
        list.push_back({ExtractFileName(piece), engineprobe::Crc32(good) ^ in(row.wrong, n)});
        if (in(row.damaged, n)) WriteFileBytes(piece, "!" + good.substr(1));
    }
    WriteFileBytes(pieces.File("x.sfv"), FormatSfv("x", list));
    if (!row.descriptor) DeleteFileA(descriptor.c_str());
    const TOutcome outcome = engineprobe::Combine(PieceFileName(descriptor, 1), target.Path(), nullptr);
    std::vector<std::string> named, expected;
    if (outcome.Cause == TCause::PieceDamaged) named.push_back(outcome.File);
    for (const TDamagedPiece& more : outcome.MoreDamaged) named.push_back(more.File);
    for (uint32_t n : row.named) expected.push_back(PieceFileName(descriptor, n));
    EXPECT_EQ(outcome.Cause, row.cause);
    EXPECT_EQ(named, expected);
    EXPECT_EQ(outcome.Done.ListMismatch, row.listMismatch ? "x.sfv" : "");
    EXPECT_EQ(outcome.Done.ListUnused, row.unused);
    const std::string output = target.File(row.descriptor ? "x.bin" : "x");
    EXPECT_EQ(FileExists(output) ? ReadFileBytes(output) : "", outcome.Ok() ? bytes : "");
}

INSTANTIATE_TEST_SUITE_P(Rows, ListAgainstDescriptor, ::testing::Values(
    TListRow{"list_wrong_file_right", true, {}, {2}, false, TCause::None, {}, true, ""},
    TListRow{"two_pieces_damaged_both_named", true, {1, 3}, {}, false, TCause::PieceDamaged, {1, 3}, false, ""},
    TListRow{"alone_first_damage_ends_join", false, {1, 3}, {}, false, TCause::PieceDamaged, {1}, false, ""},
    TListRow{"alone_piece_listed_twice", false, {}, {}, true, TCause::None, {}, false,
             "x.sfv lists x.002 twice with different checksums"}),
    [](const ::testing::TestParamInfo<TListRow>& row) { return std::string(row.param.name); });

// A long list is read between the host's messages: one pump every SfvLinesPerPause lines.
struct TLongListRow { const char* name; size_t lines, pumps; };

class LongList : public TEngineTest, public ::testing::WithParamInterface<TLongListRow> {};

TEST_P(LongList, MessagesRunWhileAListIsRead)
{
    const std::string descriptor = Pieces("l.bin", PatternBytes(5000, 62), 2000);
    const std::vector<TSfvEntry> list(GetParam().lines - 1, {"other.bin", 0});
    WriteFileBytes(pieces.File("l.sfv"), FormatSfv("many", list));
    engineprobe::TPumpProbe probe(1);  // every pause finds the clock moved on
    MakeCombineJob(FindCombineSource(descriptor), target.Path());
    EXPECT_EQ(probe.Pumps(), GetParam().pumps);
}

INSTANTIATE_TEST_SUITE_P(Rows, LongList, ::testing::Values(TLongListRow{"one_line_short", SfvLinesPerPause - 1, 0},
                                                           TLongListRow{"three_pauses", 4 * SfvLinesPerPause - 1, 3}),
                         [](const ::testing::TestParamInfo<TLongListRow>& row) { return std::string(row.param.name); });

// An output name as long as the system takes is built, however little room is left beside it for
// a temporary name (the final name's own with ".part"): the final name alone is there afterwards.
struct TDeepRow { const char* name; std::string output; bool alone; };  // alone: no checksum file

class DeepOutput : public TEngineTest, public ::testing::WithParamInterface<TDeepRow> {};

TEST_P(DeepOutput, EveryOutputOf259CharactersIsBuilt)
{
    const TDeepRow& row = GetParam();
    const std::string bytes = PatternBytes(300000, 63), descriptor = Pieces(row.output, bytes, 140000);
    const std::string deep = target.File(std::string(MAX_PATH - 3 - target.Path().size() - row.output.size(), 'd'));
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + std::wstring(deep.begin(), deep.end())).c_str(), nullptr));
    if (row.alone) DeleteFileA(descriptor.c_str());
    std::vector<std::string> during;
    TProgressRecorder progress;
    progress.OnCall = [&](size_t i) { if (i == 0) during = FileNames(deep); return false; };
    const std::string from = row.alone ? PieceFileName(descriptor, 1) : descriptor;
    EXPECT_TRUE(Ended(engineprobe::Combine(from, deep, progress.Proc()), TCause::None));
    EXPECT_EQ(during, std::vector<std::string>{row.output + ".part"});
    EXPECT_EQ(FileNames(deep), std::vector<std::string>{row.output});
    EXPECT_EQ(ReadFileBytes(deep + "\\" + row.output), bytes);
}

INSTANTIATE_TEST_SUITE_P(Rows, DeepOutput, ::testing::Values(TDeepRow{"one_letter", "n", false},
                                                             TDeepRow{"one_letter_alone", "n", true}),
                         [](const ::testing::TestParamInfo<TDeepRow>& row) { return std::string(row.param.name); });
