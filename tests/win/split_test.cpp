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
    return "filename=" + name + "\r\nsize=" + std::to_string(size) + "\r\ncrc32=" + IntToHex(engineprobe::Crc32(bytes)) +
           "\r\n";
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

}  // namespace

// Between blocks the queue runs after the first block and then once per clock tick: never after
// every block while the clock stands still, never only once while it moves.
TEST(BlockPump, RunsAfterTheFirstBlockThenOncePerTick)
{
    const struct { unsigned readsPerTick; std::vector<size_t> pumped; } cases[] = {  // 0: a frozen clock
        {0, {1}}, {1, {1, 2, 3, 4, 5, 6, 7, 8, 9}}, {3, {1, 4, 7}}, {4, {1, 5, 9}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.readsPerTick);
        TPumpProbe probe(c.readsPerTick);
        std::vector<size_t> pumped;  // the blocks (of 9) after which messages ran
        size_t block = 0;
        probe.OnPump = [&](size_t) { pumped.push_back(block); };
        App::TBlockPump pump;
        for (block = 1; block <= 9; ++block) pump.AfterBlock();
        EXPECT_EQ(pumped, c.pumped);
    }
}

// The pieces and the descriptor, also over an older descriptor that names this file as the
// descriptor reader reads names (trimmed at both ends) and as the file system compares them
// (ordinal, without regard to case; a descriptor of at most 64 KiB is read), and the combine of the
// set back into the file. Block reports come after every read, which never crosses a piece
// boundary (a piece size of 300,000 reads 131,072, 131,072 and 37,856 bytes per full piece; one
// below the block size reads once per piece), then the closing report; a combine's piece of whole
// blocks ends with a read of 0 bytes, an empty write and one more report with the same percent.
// Every call names the operation, the file, both directories and the cancel flag.
TEST_F(SplitFileTest, PiecesDescriptorAndRoundTrip)
{
    const std::string pad = "filename=pad.bin\r\nsize=1\r\ncrc32=0\r\n";
    // pieces: their count, the last holding the rest; reads, combineReads: when given, the bytes of
    // each block the split or the combine reads; described: a descriptor already there.
    const struct { std::string name; uint32_t size, pieceSize, pieces; std::vector<uint32_t> reads = {}, combineReads = {};
                   std::string described = std::string(); bool needs1252 = false; } cases[] = {
        {"thousand.bin", 999 * 3 + 1, 3, 1000},  // the largest set: .1000 holds 1 byte
        {"exact.dat", 3 * 4000, 4000, 3},        // exact multiple: no empty trailing piece
        {"one.txt", 5000, 5001, 1}, {"same.txt", 5000, 5000, 1}, {"README", 10, 4, 3}, {"one.bin", 1, 100, 1},
        {"blocks.bin", 2 * B + 5, 2 * B, 2}, {"blocks3.bin", 3 * B + 5, 2 * B, 2}, {"block.bin", B, B, 1, {B}},
        {"empty.log", 0, 1000, 1, {0}},  // one empty piece 001
        {"small.txt", 99, 10, 10, {10, 10, 10, 10, 10, 10, 10, 10, 10, 9}}, {"odd.bin", 300001, 300000, 2},
        {"fifty.bin", 50, 1000, 1, {50}}, {"p.bin", 150, 1000, 1, {150}},
        {"hundred.bin", 150, 100, 2, {100, 50}},  // a block report of exactly 100 says 99
        {"half.bin", B, 2 * B, 1, {B}}, {"over.bin", B + 1, B, 2, {B, 1}},
        {"fat.bin", 601000, 300000, 3, {B, B, 37856, B, B, 37856, 1000}},
        {"tenth.bin", 250000, 100000, 3, {100000, 100000, 50000}}, {"long.bin", 3 * B + 10, 3 * B + 10, 1, {B, B, B, 10}},
        {"whole.bin", 4 * B, 2 * B, 2, {}, {B, B, 0, B, B, 0}},
        {" sp.bin", 3000, 1000, 3, {}, {}, "filename= sp.bin\r\nsize=1\r\ncrc32=0\r\n"},  // read back as "sp.bin"
        {"tab.bin", 3000, 1000, 3, {}, {}, "filename=\t tab.bin \t\r\nsize=1\r\n"},
        {"case.bin", 3000, 1000, 3, {}, {}, "filename=CASE.BIN\r\n"},
        {"\xe9t\xe9.bin", 3000, 1000, 3, {}, {}, "filename=\xc9T\xc9.BIN\r\n", true},  // été, ÉTÉ
        {"\xff.bin", 3000, 1000, 3, {}, {}, "filename=\x9f.BIN\r\n", true},            // ÿ, Ÿ
        {"pad.bin", 3000, 1000, 3, {}, {}, pad + std::string(65536 - pad.size(), ' ')},  // 64 KiB exactly
    };
    for (const auto& c : cases) {
        if (c.needs1252 && GetACP() != 1252) continue;
        SCOPED_TRACE(c.name);
        TempDir out, back;
        const auto source = Source(c.name, c.size, c.size);
        const std::string base = out.File(c.name);
        if (!c.described.empty()) WriteFileBytes(DescriptorFileName(base), c.described);
        {
            TProgressRecorder progress;
            ASSERT_TRUE(SplitFile(source.Path, out.Path(), c.pieceSize, progress.Proc()));
            progress.ExpectCalls("Spliting...", source.Path, work.Path(), out.Path(), c.size, c.reads);
        }
        // The checksum list names each piece with the CRC-32 of its bytes (its text: tests/core).
        std::string joined;
        std::vector<TSfvEntry> list;
        for (uint32_t k = 1; k <= c.pieces; ++k) {
            const std::string piece = ReadFileBytes(PieceFileName(base, k));
            ASSERT_EQ(piece.size(), k < c.pieces ? c.pieceSize : c.size - (c.pieces - 1) * c.pieceSize) << k;
            joined += piece;
            list.push_back({ExtractFileName(PieceFileName(base, k)), engineprobe::Crc32(piece)});
        }
        EXPECT_EQ(ReadFileBytes(ChangeFileExt(base, ".sfv")), FormatSfv("zandrel.pdl: the pieces of " + c.name, list));
        EXPECT_EQ(joined, source.Bytes);
        EXPECT_FALSE(FileExists(PieceFileName(base, c.pieces + 1)));
        EXPECT_EQ(ReadFileBytes(DescriptorFileName(base)), DescriptorText(c.name, c.size, source.Bytes));
        EXPECT_EQ(FileNames(out.Path()).size(), c.pieces + 2u);
        EXPECT_EQ(ReadFileBytes(source.Path), source.Bytes);
        if (!c.described.empty()) continue;
        TProgressRecorder progress;
        EXPECT_TRUE(engineprobe::Combine(DescriptorFileName(base), back.Path(), progress.Proc()).Ok());
        progress.ExpectCalls("Combining...", back.File(c.name), out.Path(), back.Path(), c.size, c.combineReads);
        EXPECT_EQ(ReadFileBytes(back.File(c.name)), source.Bytes);
        EXPECT_EQ(FileNames(back.Path()).size(), 1u);
    }
}

// A source that needs 1000 pieces or more (sparse, up to 1000 pieces of 4 GiB - 1), or a piece
// size of zero, which makes no progress at all.
TEST_F(SplitFileTest, TooManyPiecesIsRefusedWithNothingCreated)
{
    const uint32_t P = 4294967295u;
    const struct { uint64_t size; uint32_t pieceSize; } cases[] = {
        {1000 * 3, 3}, {1000 * 7 + 6, 7}, {5000, 1}, {1000ull * P, P}, {5000, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const std::string source = work.File("big.bin");
        engineprobe::MakeSparseFile(source, c.size, PatternBytes(1000, 5));
        const auto before = engineprobe::Stamp(source);
        TProgressRecorder progress;
        const TOutcome outcome = RunSplit(source, target.Path(), c.pieceSize, progress.Proc());
        EXPECT_EQ(outcome.Cause, TCause::TooManyPieces);
        EXPECT_EQ(outcome.FoundSize, c.size);
        EXPECT_EQ(outcome.PieceSize, c.pieceSize);
        EXPECT_TRUE(FileNames(target.Path()).empty());
        EXPECT_TRUE(progress.Calls().empty());
        EXPECT_TRUE(engineprobe::Stamp(source) == before);
    }
}

// A split refuses, before its first write and naming the file at risk, what it does not own: its
// own source as a piece or the descriptor, another file's set (its descriptor names that file, as
// the file system compares names: never a language's rules, which take "ae" for "\xe6"), anything
// at the descriptor's name that is not a readable descriptor naming a file (held by another
// program, no file name, not a descriptor, larger than 64 KiB), names that are links (hard links
// made here; symbolic links from the fixture, under Wine), names beyond the path limit (MAX_PATH
// with its terminating zero) as typed or as full paths, and devices or directories as source or
// target (under Wine a FIFO or a link to /dev/zero from the fixture). Its own older set is
// replaced, with no stale bytes. Each row makes what it and the rows after it need.
TEST_F(SplitFileTest, RefusedBeforeTheFirstWrite)
{
    TempDir sets;
    const std::string five = PatternBytes(5000);
    WriteFileBytes(work.File("data.bin"), PatternBytes(12000, 3));
    ASSERT_TRUE(SplitFile(work.File("data.bin"), target.Path(), 5000, nullptr));  // data.001 .. .003, .crc
    std::string longDir[2];
    for (size_t k = 0; k < 2; ++k) longDir[k] = work.Path() + "\\" + std::string(253 + k - work.Path().size() - 1, 'd');
    // A target typed with "..\" segments: short as a full path, length characters as typed.
    const auto dottedTarget = [&](size_t length) {
        std::string d = work.File("sub");
        size_t up = (length - d.size()) / 7;  // "\..\sub", then "\." for the rest
        if ((length - d.size() - 7 * up) % 2 != 0) --up;
        for (; up > 0; --up) d += "\\..\\sub";
        while (d.size() < length) d += "\\.";
        return d;
    };
    const std::string dotted = dottedTarget(253), dottedLast = AddBackslash(dotted) + "r.1000";
    ASSERT_EQ(dottedLast.size(), 260u);
    const auto fixture = engineprobe::FixtureDir();
    const std::string devices = fixture ? *fixture + "\\devices" : "", links = fixture ? *fixture + "\\links" : "";
    // Paths in work, sets and target.
    const auto w = [&](const std::string& n) { return work.File(n); };
    const auto s = [&](const std::string& n) { return sets.File(n); };
    const auto t = [&](const std::string& n) { return target.File(n); };
    // The refusals of another file's set and of a file that is not this file's own descriptor.
    const auto describes = [&](const std::string& stem, const std::string& described) {
        return "Checksum file \"" + s(stem + ".crc") + "\" describes the file \"" + described + "\"; splitting \"" + stem +
               ".bin\" here would overwrite its pieces. Nothing was split.";
    };
    const auto notOurs = [&](const std::string& stem) {
        return "File \"" + s(stem + ".crc") + "\" is not a checksum file of \"" + stem + ".bin\" that this split may replace. Nothing was split.";
    };
    const auto link = [](const std::string& path, const char* why) { return "Cannot create file \"" + path + "\". It is a link: " + why; };
    const char* sameFile = "other names lead to the same file.";
    const char* toNothing = "it leads to a file that is not there.";
    const std::string named = "\r\nsize=5000\r\ncrc32=0\r\n", padded = "filename=pad.bin\r\nsize=1\r\ncrc32=0\r\n";
    const std::string pad = padded + std::string(65537 - padded.size(), ' '), e = "\xe6", ss = "stra\xdf" "e";
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    // make: files to make, as "path=bytes", "path\\" (a directory) or "path>other" (another name of
    // other); text: the whole message, when given; hold: another program holds the descriptor
    // (access 0: nobody).
    struct TRow { std::vector<std::string> make; std::string source, targetDir; uint32_t pieceSize; std::string atRisk;
                  std::string text = std::string(); DWORD holdAccess = 0, holdShare = 0; bool needs1252 = false; };
    // A source stem.bin and in sets, at the name stem + ext, a file of these bytes.
    const auto beside = [&](const std::string& stem, const std::string& ext, const std::string& bytes, const std::string& text,
                            DWORD holdAccess = 0, DWORD holdShare = 0, bool needs1252 = false) {
        return TRow{{w(stem + ".bin=") + five, s(stem + ext + "=") + bytes}, w(stem + ".bin"), sets.Path(), 2000, s(stem + ext),
                    text, holdAccess, holdShare, needs1252};
    };
    const std::vector<TRow> cases = {
        {{}, t("data.001"), target.Path() + "\\", 1000, t("data.001")},
        {{}, t("data.002"), target.Path(), 2000, t("data.002")},
        {{}, t("data.003"), target.Path(), 1000, t("data.crc")},  // two pieces; data.bin's set
        {{t("list.crc=") + PatternBytes(5000, 9)}, t("list.crc"), target.Path(), 2000, t("list.crc"),
         "Cannot create file \"" + t("list.crc") + "\". It is the file being split."},
        {{w("r.bin=") + PatternBytes(999 * 2 + 1), longDir[0] + "\\", longDir[1] + "\\", w("sub\\")},
         w("r.bin"), longDir[1], 2, longDir[1] + "\\r.001"},  // 1000 pieces of 2 bytes; 254 + 6: 260 characters
        {{}, w("r.bin"), longDir[0], 2, longDir[0] + "\\r.1000"},  // only the thousandth: 260
        {{}, w("r.bin"), dotted, 2, dottedLast, "Cannot create file \"" + dottedLast + "\". The name is longer than the system allows."},
        {{w("folder.bin\\")}, w("folder.bin"), target.Path(), 2000, w("folder.bin")},
        {{}, w("nul.txt"), target.Path(), 2000, w("nul.txt")},
        {{w("w.bin=") + five, w("w.002\\")}, w("w.bin"), work.Path(), 2000, w("w.002")},
        // At the descriptor's name: a descriptor of another file, also held by other programs, this
        // file's own held, one without a file name (a data file: tests/host), one naming this file
        // but a byte over 64 KiB, others that only a language's rules would take for this file's.
        beside("lk", ".crc", "filename=lk.txt" + named, describes("lk", "lk.txt")),
        {{}, w("lk.bin"), sets.Path(), 2000, s("lk.crc"), notOurs("lk"), GENERIC_READ, 0},
        {{}, w("lk.bin"), sets.Path(), 2000, s("lk.crc"), notOurs("lk"), GENERIC_WRITE, all},
        {{}, w("lk.bin"), sets.Path(), 2000, s("lk.crc"), describes("lk", "lk.txt"), GENERIC_READ, FILE_SHARE_READ},
        beside("ow", ".crc", "filename=ow.bin" + named, "Cannot create file \"" + s("ow.crc") + "\". " +
               SysErrorMessage(ERROR_SHARING_VIOLATION), GENERIC_READ, FILE_SHARE_READ),
        // At the checksum list's name: a list of other pieces.
        beside("fs", ".sfv", "fs.001 00000000\r\nother.002 12345678\r\n", "File \"" + s("fs.sfv") +
               "\" is not a checksum list of the pieces of \"fs.bin\" that this split may replace. Nothing was split."),
        beside("nf", ".crc", named.substr(2), notOurs("nf")),
        beside("pad", ".crc", pad, notOurs("pad")),
        beside("co-op", ".crc", "filename=coop.bin\r\n", describes("co-op", "coop.bin")),
        beside(e, ".crc", "filename=ae.bin\r\n", describes(e, "ae.bin"), 0, 0, true),
        beside(ss, ".crc", "filename=strasse.bin\r\n", describes(ss, "strasse.bin"), 0, 0, true),
        // Links: two piece names of one file; a piece name that is another name of a file elsewhere
        // (a symbolic one: tests/host), the descriptor's name another name of an old piece or of a
        // descriptor elsewhere.
        {{w("hl.bin=") + five, s("hl.001=piece one"), s("hl.002>") + s("hl.001")}, w("hl.bin"), sets.Path(),
         2000, s("hl.001"), link(s("hl.001"), sameFile)},
        {{w("hx.bin=") + five, w("keep.bin=another program's file"), s("hx.002>") + w("keep.bin")},
         w("hx.bin"), sets.Path(), 2000, s("hx.002"), link(s("hx.002"), sameFile)},
        {{w("y.bin=") + five, w("z.bin=") + five}, w("y.bin"), links, 2000, links + "\\y.crc", link(links + "\\y.crc", sameFile)},
        {{}, w("z.bin"), links, 2000, links + "\\z.crc", link(links + "\\z.crc", sameFile)},
        // Links that lead nowhere, at a piece name and at the descriptor's: Wine hides them.
        {{w("d.bin=") + five, w("e.bin=") + five}, w("d.bin"), links, 2000, links + "\\d.002", link(links + "\\d.002", toNothing)},
        {{}, w("e.bin"), links, 2000, links + "\\e.crc", link(links + "\\e.crc", toNothing)},
        {{}, devices + "\\fifo.bin", target.Path(), 2000, devices + "\\fifo.bin"},
        {{}, devices + "\\zero.bin", target.Path(), 2000, devices + "\\zero.bin"},
        {{}, w("z.bin"), devices, 2000, devices + "\\z.002"},
    };
    for (const auto& c : cases) {
        if (c.atRisk.rfind("\\", 0) == 0 || (c.needs1252 && GetACP() != 1252)) continue;  // no fixture, no devices
        SCOPED_TRACE(c.source + " -> " + c.targetDir);
        for (const std::string& m : c.make) {  // no path here holds "=" or ">"
            const size_t eq = m.find('='), to = m.find('>');
            if (eq != std::string::npos) WriteFileBytes(m.substr(0, eq), m.substr(eq + 1));
            else ASSERT_TRUE(m.back() == '\\' ? CreateDirectoryA(m.c_str(), nullptr)
                                               : CreateHardLinkA(m.substr(0, to).c_str(), m.substr(to + 1).c_str(), nullptr)) << m;
        }
        std::vector<std::string> dirs = {work.Path(), target.Path(), sets.Path()};
        if (fixture) dirs.push_back(*fixture + "\\outside");
        const engineprobe::TUnchanged unchanged(dirs);
        const auto namesBefore = FileNames(c.targetDir);  // the devices are never read
        {
            std::optional<engineprobe::THold> hold;
            if (c.holdAccess != 0) hold.emplace(c.atRisk, c.holdAccess, c.holdShare);
            TProgressRecorder progress;
            const std::string text = Refusal<EZandrelError>([&] { SplitFile(c.source, c.targetDir, c.pieceSize, progress.Proc()); });
            EXPECT_NE(text.find("\"" + c.atRisk + "\""), std::string::npos) << text;
            if (!c.text.empty()) { EXPECT_EQ(text, c.text); }
            EXPECT_TRUE(progress.Calls().empty());
        }
        EXPECT_EQ(FileNames(c.targetDir), namesBefore);
    }
    EXPECT_EQ(ReadFileBytes(work.File("keep.bin")), "another program's file");
    EXPECT_EQ(ReadFileBytes(s("hl.002")), "piece one");
    // Smaller pieces of new bytes replace the old set: no stale bytes, one piece more; then larger
    // ones: the old set's pieces above the new last one are removed with it.
    const auto fresh = Source("data.bin", 12000, 4);
    ASSERT_TRUE(SplitFile(fresh.Path, target.Path(), 3000, nullptr));
    for (uint32_t k = 1; k <= 4; ++k)
        EXPECT_EQ(ReadFileBytes(PieceFileName(target.File("data.bin"), k)), fresh.Bytes.substr((k - 1) * 3000, 3000)) << k;
    EXPECT_EQ(ReadFileBytes(target.File("data.crc")), DescriptorText("data.bin", 12000, fresh.Bytes));
    ASSERT_TRUE(SplitFile(fresh.Path, target.Path(), 7000, nullptr));
    EXPECT_FALSE(FileExists(target.File("data.003")) || FileExists(target.File("data.004")));
    EXPECT_EQ(ReadFileBytes(target.File("data.002")), fresh.Bytes.substr(7000));
    // One character less as typed: the thousandth piece fits.
    const std::string fits = dottedTarget(252);
    ASSERT_EQ((AddBackslash(fits) + "r.1000").size(), 259u);
    ASSERT_TRUE(SplitFile(work.File("r.bin"), fits, 2, nullptr));
    EXPECT_EQ(ReadFileBytes(work.File("sub\\r.1000")), ReadFileBytes(work.File("r.bin")).substr(1998));
}

// Every file the copy opens for writing is looked at on its handle before anything in it changes:
// a piece name whose file the checks saw became a link to a file elsewhere, or another name of the
// source, while the split ran, ends the split there and leaves that file as it was; a symbolic link that leads
// nowhere is refused before the first write (RefusedBeforeTheFirstWrite).
TEST_F(SplitFileTest, EachPieceIsLookedAtOnItsHandleBeforeItIsEmptied)
{
    const std::string keep = target.File("keep.bin");
    // secondName: the file whose other name t.002 becomes after the first block.
    const struct { const char* what; std::string secondName; DWORD error; } cases[] = {
        {"a file elsewhere", keep, ERROR_CANT_RESOLVE_FILENAME},
        {"the source", work.File("t.bin"), ERROR_SHARING_VIOLATION},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir out;
        const std::string name = out.File("t"), second = name + ".002";
        const auto source = Source("t.bin", 5000, 5);
        WriteFileBytes(keep, "another program's file");
        WriteFileBytes(second, "a file the checks saw");
        TProgressRecorder progress;
        progress.OnCall = [&](size_t i) {
            EXPECT_TRUE(i != 0 || (DeleteFileA(second.c_str()) &&
                                   CreateHardLinkA(second.c_str(), c.secondName.c_str(), nullptr)));
            return false;
        };
        EXPECT_TRUE(Ended(RunSplit(source.Path, out.Path(), 2000, progress.Proc()), TCause::CannotCreate, second, c.error));
        EXPECT_EQ(progress.Calls().size(), 1u);
        EXPECT_EQ(ReadFileBytes(name + ".001"), source.Bytes.substr(0, 2000));
        EXPECT_FALSE(FileExists(name + ".003"));
        EXPECT_FALSE(FileExists(name + ".crc"));
        EXPECT_EQ(ReadFileBytes(keep), "another program's file");
        EXPECT_EQ(ReadFileBytes(source.Path), source.Bytes);
    }
}

// A cancel ends both operations at their next check: set through a progress call, by the host's
// own message handling without any progress callback (a message waiting when the operation
// starts), or where messages run: during the split's checksum pass or right after it (no
// descriptor either way), after a combine's piece. The clock stands still, so each pass lets
// messages run after its first block only; a combine lets them run after every piece as well.
// Sparse sources of 2 GiB and more, up to 1000 pieces of 4 GiB - 1, stop in their first piece.
TEST_F(SplitFileTest, CancelStopsAtTheNextCheck)
{
    const uint64_t G = 1ull << 30;
    const uint32_t P = 4294967295u;
    enum TWhen { AtReport, AtPump, DuringChecksumPass, AfterChecksumPass, ByMessage };
    // at: the report's or the pump's index; calls: the progress calls made; left: a split's pieces (their
    // sizes), a combine's complete output ({its size}).
    const struct { const char* what; bool combine; uint64_t size; uint32_t pieceSize; TWhen when; size_t at, calls;
                   std::vector<uint32_t> left; } cases[] = {
        {"first report, one piece", false, 3 * B, 3 * B, AtReport, 0, 1, {B}},
        {"first report, many pieces", false, 5000, 1000, AtReport, 0, 1, {1000}},
        {"last block", false, 5000, 1000, AtReport, 4, 5, {1000, 1000, 1000, 1000, 1000}},
        {"last block of a long piece", false, 2 * B + 7, 2 * B + 7, AtReport, 2, 3, {2 * B + 7}},
        {"2 GiB - 1", false, 2 * G - 1, 1u << 30, AtReport, 0, 1, {B}},
        {"2 GiB", false, 2 * G, 1u << 30, AtReport, 0, 1, {B}},
        {"5 GiB + 7 in FAT32 pieces", false, 5 * G + 7, 4095u << 20, AtReport, 0, 1, {B}},
        {"999 pieces of 4 GiB - 1 and a byte", false, 999ull * P + 1, P, AtReport, 0, 1, {B}},
        {"during the checksum pass", false, 3 * B + 10, 3 * B + 10, DuringChecksumPass, 0, 4, {3 * B + 10}},
        {"right after the checksum pass", false, 3 * B + 10, 3 * B + 10, AfterChecksumPass, 0, 4, {3 * B + 10}},
        {"a split's message", false, 8 * B, 8 * B, ByMessage, 0, 0, {B}},
        // During the very last block the output is already complete: it passes the check.
        {"a combine's last block", true, 2 * B + 10, B + 5, AtReport, 3, 5, {2 * B + 10}},
        {"a combine's first block", true, 2 * B + 10, B + 5, AtReport, 0, 2, {}},
        {"the end of a combine's first piece", true, 2 * B + 10, B + 5, AtReport, 1, 3, {}},
        {"a combine's pump after its first piece", true, 2 * B + 10, B + 5, AtPump, 1, 3, {}},
        {"a combine's message", true, 8 * B, 8 * B, ByMessage, 0, 0, {}},
    };
    HWND stop = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(stop, nullptr);
    SetWindowLongPtrA(stop, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StopProc));
    const std::string source = work.File("c.bin");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir out;
        const std::string bytes = PatternBytes(c.combine ? c.size : 1000, 4);
        const std::string descriptor = c.combine ? Pieces("c.bin", bytes, c.pieceSize) : "";
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
        if (c.when == ByMessage) PostMessageA(stop, StopMessage, 0, 0);
        CancelFlag = 1;  // as the last cancel left it: each operation starts with the flag cleared
        TProgressRecorder progress;
        progress.OnCall = [&](size_t i) { return c.when == AtReport && i == c.at; };
        const TPlugInProgressProc proc = c.when == ByMessage ? nullptr : progress.Proc();
        const TOutcome outcome = c.combine ? engineprobe::Combine(descriptor, out.Path(), proc)
                                           : RunSplit(source, out.Path(), c.pieceSize, proc);
        EXPECT_EQ(outcome.Cause, c.combine && !c.left.empty() ? TCause::None : TCause::Cancelled);
        EXPECT_NE(CancelFlag, 0);
        EXPECT_EQ(progress.Calls().size(), c.calls) << "no block after the cancel, no closing report of a split";
        if (c.calls != 0) { EXPECT_EQ(progress.Calls().front().CancelOnEntry, 0); }
        EXPECT_EQ(FileNames(out.Path()).size(), c.left.size()) << "no descriptor";
        if (c.combine) {
            if (!c.left.empty()) { EXPECT_EQ(ReadFileBytes(out.File("c.bin")), bytes); }
            continue;
        }
        EXPECT_TRUE(engineprobe::Stamp(source) == stamp);
        std::string joined;
        uint64_t total = 0;
        for (size_t k = 0; k < c.left.size(); ++k) {
            joined += ReadFileBytes(PieceFileName(out.File("c.bin"), k + 1));
            EXPECT_EQ(joined.size(), total += c.left[k]) << k + 1;
        }
        EXPECT_EQ(joined, engineprobe::ReadAt(source, 0, static_cast<uint32_t>(total)));
    }
    DestroyWindow(stop);
}

// The host's messages run during all the work, not only the copy: during the checks over the
// names before the first write (a re-split over 1000 pieces asks the system about 1001 names:
// with a clock that ticks at every read, messages run between the names) and during the
// combine's check of its output, under its temporary name. The block reports stay exactly those
// of the copy.
TEST_F(SplitFileTest, MessagesRunDuringTheChecksAndTheChecksumPasses)
{
    {
        SCOPED_TRACE("the checks before a re-split over 1000 pieces");
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
    SCOPED_TRACE("the combine's check of its output");
    const std::string descriptor = Pieces("pass.img", PatternBytes(2 * B + 10, 7), B + 5);
    TPumpProbe probe;
    size_t duringCheck = 0;
    probe.OnPump = [&](size_t) { duringCheck += HeldByChecksumPass(target.File("pass.img.part")); };
    TProgressRecorder progress;
    EXPECT_TRUE(engineprobe::Combine(descriptor, target.Path(), progress.Proc()).Ok());
    EXPECT_EQ(duringCheck, 1u) << "the clock stands still: after the check's first block";
    EXPECT_EQ(progress.Calls().size(), 5u) << "two blocks per piece, the closing report";
}

TEST_F(SplitFileTest, DriveRootsKeepTheirSeparator)
{
    if (!engineprobe::FixtureDir() || !FileExists("Q:\\zandrel-engine.mark"))
        GTEST_SKIP() << "drive Q: is mapped by the engine test fixture (run through ctest)";
    CreateDirectoryA("Q:\\sub", nullptr);
    const struct { const char *source, *target, *sourceDir, *targetDir; } cases[] = {
        {"Q:\\root.txt", "Q:\\", "Q:\\", "Q:\\"}, {"Q:\\root.txt", "Q:", "Q:\\", "Q:\\"},
        {"Q:\\root.txt", "Q:\\sub", "Q:\\", "Q:\\sub"}, {"Q:\\sub\\deep.txt", "Q:\\", "Q:\\sub", "Q:\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " -> " + c.target);
        WriteFileBytes(c.source, PatternBytes(20000));
        TProgressRecorder progress;
        ASSERT_TRUE(SplitFile(c.source, c.target, 15000, progress.Proc()));
        ASSERT_EQ(progress.Calls().size(), 3u);
        progress.ExpectCalls("Spliting...", c.source, c.sourceDir, c.targetDir);
        const std::string base = AddBackslash(c.targetDir) + ExtractFileName(c.source);
        EXPECT_EQ(ReadFileBytes(PieceFileName(base, 2)).size(), 5000u);
        EXPECT_TRUE(FileExists(DescriptorFileName(base)));
    }
    for (const char* f : {"Q:\\root.txt", "Q:\\root.001", "Q:\\root.002", "Q:\\root.crc", "Q:\\deep.001",
                          "Q:\\deep.002", "Q:\\deep.crc"})
        DeleteFileA(f);
    testfiles::RemoveTree("Q:\\sub");
}
