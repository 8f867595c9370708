// The engine under faults: files held by other programs, a full target file system, damaged
// pieces, junk descriptors, files of 4 GB and more, and a source that changes during the split. In
// every case the source and every file that was there before stay byte for byte as they were, and
// a failed combine leaves no output behind.
#include <cstdlib>

#include "EngineTest.h"

namespace {

using EngineFaultsTest = TEngineTest;

void RemoveFiles(const std::string& dir)
{
    for (const auto& name : FileNames(dir)) DeleteFileA((dir + "\\" + name).c_str());
}

}  // namespace

// A fault met while splitting or combining, one per row: a file held by another program, a missing
// source, damaged pieces, a full target file system (the fixture's 512 KiB tmpfs, emptied before
// and after). Whatever was there before stays as it was (the source, the pieces, every file in
// the target); a combine leaves no output, a split the pieces it wrote, each holding the source's
// bytes at its place, the last one cut short where the file system filled.
TEST_F(EngineFaultsTest, Faults)
{
    const std::string small = engineprobe::SmallFilesystemMounted() ? *engineprobe::FixtureDir() + "\\small" : "";
    const auto source = Source("f.bin", 1 << 20, 21);
    const std::string set = Pieces("big.bin", source.Bytes, 300000);
    // 515,904 bytes in pieces of 300,000 onto 512 KiB less the 16 KiB kept: every write fits but
    // the last, which fits in part.
    const std::string lastFits = Pieces("last.bin", PatternBytes(515904, 25), 300000);
    const std::string dmBytes = PatternBytes(300000, 41);
    const std::string dm = Pieces("dm.bin", dmBytes, 140000);  // 140000, 140000, 20000
    const std::string second = PieceFileName(dm, 2), fourth = PieceFileName(dm, 4), good = ReadFileBytes(second);
    std::string flipped = good;
    flipped[70000] ^= 0x10;
    TempDir giants;  // outside work: never read whole
    const std::string giant = giants.File("giant.img");
    std::optional<engineprobe::TFileStamp> giantStamp;
    const uint32_t Short = 0;  // a piece cut short: fewer bytes than the piece size
    const auto write = [](const std::string& path, const std::string& bytes) { return [=] { WriteFileBytes(path, bytes); }; };
    const auto keep = [&] { WriteFileBytes(small + "\\keep.bin", PatternBytes(10000, 22)); };
    const auto damaged = [&](const std::string& piece2) { return write(second, piece2); };
    // onSmall: the target is the tmpfs, else the fixture's target; held: held against everybody while
    // the operation runs; from: the source, or what the combine is given; left: a split's pieces left
    // (their sizes, Short: cut short); holds: for SizeMismatch, the bytes the output holds (the
    // descriptor says 300,000); check: what else holds.
    const struct { const char* what; bool onSmall; std::function<void()> setUp; std::string held; bool combine;
                   std::string from; uint32_t pieceSize; TCause cause; std::string file; uint32_t error;
                   std::vector<uint32_t> left = {}; uint64_t holds = 0;
                   std::function<void(const TOutcome&)> check = nullptr; } cases[] = {
        {"a piece name held", false, write(target.File("f.002"), "held by another program"), target.File("f.002"),
         false, source.Path, 300000, TCause::CannotCreate, target.File("f.002"), ERROR_SHARING_VIOLATION, {300000}},
        {"the source held", false, nullptr, source.Path, false, source.Path, 300000, TCause::CannotOpen, source.Path,
         ERROR_SHARING_VIOLATION},
        {"the source missing", false, nullptr, "", false, work.File("absent.txt"), 100, TCause::CannotOpen,
         work.File("absent.txt"), ERROR_FILE_NOT_FOUND},
        {"a piece held", false, nullptr, second, true, dm, 0, TCause::CannotRead, second, ERROR_SHARING_VIOLATION},
        // An existing target that cannot be verified stays.
        {"the output there and held", false, write(target.File("dm.bin"), dmBytes), target.File("dm.bin"), true, dm, 0,
         TCause::CannotRead, target.File("dm.bin"), ERROR_SHARING_VIOLATION},
        {"a piece truncated by one byte", false, damaged(good.substr(0, good.size() - 1)), "", true, dm, 0,
         TCause::PieceMissing, fourth, 0},
        {"a bit flipped in a piece", false, damaged(flipped), "", true, dm, 0, TCause::PieceDamaged, second, 0},
        {"a bit flipped, no list beside", false, [&] { damaged(flipped)(), DeleteFileA(ChangeFileExt(dm, ".sfv").c_str()); },
         "", true, dm, 0, TCause::ChecksumMismatch, "", 0},
        {"a piece a byte longer", false, damaged(good + "z"), "", true, dm, 0, TCause::SizeMismatch, "", 0, {}, 300001},
        {"a piece emptied", false, damaged(""), "", true, dm, 0, TCause::PieceMissing, fourth, 0},
        {"a piece of two pieces' worth", false, damaged(good + good), "", true, dm, 0, TCause::SizeMismatch, "", 0, {},
         420000},
        // Beside older files: this file's own descriptor and a piece beyond the new set.
        {"the second piece fills the file system", true,
         [&] {
             keep();
             WriteFileBytes(small + "\\f.crc", "filename=f.bin\r\nsize=1\r\ncrc32=0\r\n");
             WriteFileBytes(small + "\\f.009", "older piece");
         },
         "", false, source.Path, 300000, TCause::CannotWrite, small + "\\f.002", ERROR_DISK_FULL, {300000, Short}},
        {"the output fills the file system", true, keep, "", true, set, 0, TCause::CannotWrite, small + "\\big.bin",
         ERROR_DISK_FULL},
        // Only the output's last block finds too little room: a short write is no complete file.
        {"the last block fills the file system", true, [&] { WriteFileBytes(small + "\\keep.bin", PatternBytes(4096 * 4, 22)); },
         "", true, lastFits, 0, TCause::CannotWrite, small + "\\last.bin", ERROR_DISK_FULL},
        // The cause names the final output; no temporary file is left.
        {"pieces alone fill the file system", true, [&] { keep(), DeleteFileA(set.c_str()); }, "", true,
         PieceFileName(set, 1), 0, TCause::CannotWrite, small + "\\big", ERROR_DISK_FULL, {}, 0,
         [](const TOutcome& o) { EXPECT_TRUE(o.WithoutDescriptor); }},
        {"a 5 GiB source in 4095 MiB pieces fills it in the first", true,
         [&] {
             engineprobe::MakeSparseFile(giant, 5ull << 30, "head");
             giantStamp = engineprobe::Stamp(giant);
         },
         "", false, giant, 4095u << 20, TCause::CannotWrite, small + "\\giant.001", engineprobe::AnyError, {Short}, 0,
         [&](const TOutcome&) {
             EXPECT_TRUE(engineprobe::Stamp(giant) == giantStamp);
             EXPECT_LE(engineprobe::Stamp(small + "\\giant.001")->Size, 512u * 1024);
             DeleteFileA(giant.c_str());
         }},
    };
    if (!small.empty()) RemoveFiles(small);
    for (const auto& c : cases) {
        if (c.onSmall && small.empty()) continue;  // needs root, run through ctest
        SCOPED_TRACE(c.what);
        const std::string to = c.onSmall ? small : target.Path();
        if (c.setUp) c.setUp();
        auto before = engineprobe::Snapshot(to);
        TOutcome outcome;
        {
            const TUnchanged unchanged(c.combine ? std::vector<std::string>{work.Path(), pieces.Path(), to}
                                                 : std::vector<std::string>{work.Path(), pieces.Path()});
            std::optional<engineprobe::THold> hold;
            if (!c.held.empty()) hold.emplace(c.held);
            // What a combine finds before it writes anything ends it without a closing report.
            const bool early = c.cause == TCause::PieceMissing || c.cause == TCause::SizeMismatch;
            outcome = !c.combine ? RunSplit(c.from, to, c.pieceSize, nullptr)
                      : early    ? RunCombineFrom(c.from, to, nullptr, nullptr)
                                 : engineprobe::Combine(c.from, to, nullptr);
        }
        EXPECT_TRUE(Ended(outcome, c.cause, c.file, c.error));
        if (c.cause == TCause::SizeMismatch) {
            EXPECT_EQ(std::make_pair(outcome.FoundSize, outcome.ExpectedSize), std::make_pair(c.holds, uint64_t(300000)));
        }
        if (c.cause == TCause::ChecksumMismatch || c.cause == TCause::PieceDamaged) {
            const bool piece = c.cause == TCause::PieceDamaged;
            EXPECT_EQ(outcome.ExpectedCRC, engineprobe::Crc32(piece ? good : dmBytes));
            EXPECT_EQ(outcome.FoundCRC, piece ? engineprobe::Crc32(flipped) : outcome.FoundCRC);
            EXPECT_NE(outcome.FoundCRC, outcome.ExpectedCRC);
            EXPECT_EQ(outcome.List, piece ? "dm.sfv" : "");
        }
        if (!c.combine) {
            // A failed split leaves no descriptor, also where an older one of this file stood, and
            // beside what was there only the pieces it wrote.
            auto after = engineprobe::Snapshot(to);
            before.erase(ExtractFileName(ChangeFileExt(c.from, ".crc")));
            for (size_t k = 0; k < c.left.size(); ++k) {
                const std::string name = ExtractFileName(PieceFileName(to + "\\" + ExtractFileName(c.from), k + 1));
                const std::string piece = after[name];
                EXPECT_TRUE(c.left[k] == Short ? piece.size() < c.pieceSize : piece.size() == c.left[k]) << k + 1 << ": " << piece.size();
                EXPECT_TRUE(piece == engineprobe::ReadAt(c.from, k * uint64_t(c.pieceSize), uint32_t(piece.size()))) << k + 1;
                after.erase(name);
            }
            EXPECT_EQ(after, before);
        }
        if (c.check) c.check(outcome);
        RemoveFiles(to);
    }
    WriteFileBytes(second, good);
    EXPECT_TRUE(CombineFiles(dm, target.Path(), nullptr));
    if (small.empty()) return;

    // The unfinished descriptor and the pieces fit, the checksum list does not: neither a partial
    // list nor any descriptor is left.
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

// What a combine makes of the file it is given as the checksum file of the pieces j.001 and j.002
// (10,000 bytes). Refused, with nothing made: what is no checksum file (also beyond 64 KiB), a
// name that would leave the target directory, a name that the system opens as a device wherever
// it stands; the reader's error for a size that is no number and for no file at all; any other
// descriptor ends in an outcome: the size is checked on its own, also with the right checksum.
TEST_F(EngineFaultsTest, Descriptors)
{
    const std::string bytes = PatternBytes(10000, 51), crc = IntToHex(engineprobe::Crc32(bytes));
    WriteFileBytes(pieces.File("j.001"), bytes.substr(0, 5000));
    WriteFileBytes(pieces.File("j.002"), bytes.substr(5000));
    const std::string descriptor = pieces.File("j.crc"), third = pieces.File("j.003");
    const auto text = [](const std::string& name, const std::string& size = "10000", const std::string& crc32 = "0") {
        return "filename=" + name + "\r\nsize=" + size + "\r\ncrc32=" + crc32 + "\r\n";
    };
    const std::string named = text("j.bin"), notChecksum = "File \"" + descriptor + "\" is not a checksum file. Nothing was combined.";
    std::string utf16;
    for (const char c : named) utf16 += std::string(1, c) + '\0';
    enum TEnd { Ends, Early, Refused, Raises };
    // message: Refused, Raises: the error's text (Raises: when given); cause, file: Ends: the outcome;
    // recorded, held: for SizeMismatch, the descriptor's size and the bytes the output holds.
    struct TRow { std::string what, text; TEnd end; std::string message = std::string(); TCause cause = TCause::None;
                  std::string file = std::string(); uint64_t recorded = 0, held = 0; };
    std::vector<TRow> cases = {
        {"binary junk", PatternBytes(700, 53), Refused, notChecksum}, {"empty", "", Refused, notChecksum},
        {"no filename line", "size=10000\r\ncrc32=0\r\n", Refused, notChecksum},
        {"an empty name", text(""), Refused, notChecksum}, {"UTF-16 text", "\xFF\xFE" + utf16, Refused, notChecksum},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + named, Ends, "", TCause::ChecksumMismatch},
        {"64 KiB exactly", named + std::string(65536 - named.size(), ' '), Ends, "", TCause::ChecksumMismatch},
        {"a byte over 64 KiB", named + std::string(65537 - named.size(), ' '), Refused, notChecksum},
        {"size not a number", text("j.bin", "abc"), Raises},
        {"size of 2^63", text("j.bin", "9223372036854775808"), Raises},
        {"size with a tail", text("j.bin", "12x"), Raises, "'12x' is not a valid integer value"},
        {"size of 2 GB", text("j.bin", "2147483648"), Early, "", TCause::PieceMissing, third},
        {"negative size", text("j.bin", "-1"), Early, "", TCause::PieceMissing, third},
        {"wrong checksum", text("j.bin", "10000", "12345678"), Ends, "", TCause::ChecksumMismatch},
        {"size smaller than the pieces", text("j.bin", "10"), Early, "", TCause::SizeMismatch, "", 10, 5000},  // one piece reaches it
        {"a name the system would change", text("j.bin."), Refused, "Checksum file \"" + descriptor +
         "\" names the file \"j.bin.\", which the system would write under another name. Nothing was combined."},
        {"name with wildcards", text("j*.bin"), Ends, "", TCause::CannotCreate, target.File("j*.bin")},
        {"the right checksum, a byte short", text("j.bin", "9999", crc), Early, "", TCause::SizeMismatch, "", 9999, 10000},
        {"the right checksum, a byte over", text("j.bin", "10001", crc), Early, "", TCause::PieceMissing, third},
        {"the right size and checksum", text("j.bin", "10000", crc), Ends},
    };
    for (const std::string name : {"..\\escape.bin", "../escape.bin", "sub\\in.bin", "C:escape.bin", "Z:\\tmp\\escape.bin",
                                   "..", ".", "a:b"})
        cases.push_back({name, text(name), Refused, "Checksum file \"" + descriptor + "\" names the file \"" + name +
                                                    "\", which would be written outside the target directory. Nothing was combined."});
    // As the descriptor writes the name: the reader trims the value.
    for (const std::string name : {"NUL", "nul.txt", "CON", "prn", "Aux.dat", "COM1", "com9.x", "LPT1", "lpt9", "NUL ",
                                   "nul.", "Nul .txt", "CONOUT$"})
        cases.push_back({name, text(name), Refused, "Checksum file \"" + descriptor + "\" names the device \"" +
                                                    name.substr(0, name.find_last_not_of(' ') + 1) + "\". Nothing was combined."});
    for (const std::string name : {"NULL", "COM10", "COM0", "LPT", "connection.txt", "xnul"})  // only look alike: files
        cases.push_back({name, text(name), Ends, "", TCause::ChecksumMismatch});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(descriptor, c.text);
        const TUnchanged unchanged({work.Path(), pieces.Path()});
        TProgressRecorder progress;
        const std::string dir = target.Path() + "\\";
        const auto combine = [&] { return engineprobe::Combine(descriptor, dir, progress.Proc()); };
        if (c.end == Refused || c.end == Raises) {
            const std::string what = c.end == Refused ? RefusalOf(combine()) : RefusalOf<EConvertError>(combine());
            if (!c.message.empty()) { EXPECT_EQ(what, c.message); }
        } else {
            const TOutcome outcome = c.end == Early ? RunCombineFrom(descriptor, dir, progress.Proc(), nullptr) : combine();
            EXPECT_TRUE(Ended(outcome, c.cause, c.file));
            if (c.cause == TCause::SizeMismatch) {
                EXPECT_EQ(std::make_pair(outcome.FoundSize, outcome.ExpectedSize), std::make_pair(c.held, c.recorded));
            }
        }
        EXPECT_EQ(progress.Calls().empty(), c.end != Ends);
        EXPECT_EQ(FileNames(target.Path()).size(), c.end == Ends && c.cause == TCause::None ? 1u : 0u);
        EXPECT_FALSE(FileExists(target.Path() + "\\..\\escape.bin"));
        DeleteFileA(target.File("j.bin").c_str());
    }
    EXPECT_THROW(CombineFiles(pieces.File("absent.crc"), target.Path(), nullptr), EFileError);
}

// A source that another program changes while it is split gets no descriptor: cut short, emptied,
// grown or rewritten at the first block report, or gone when it is read again (renamed on the Unix
// side after the last block: the split's own handle lets no Windows program rename it). Only
// another program's hold on it for writing, which keeps the checksum pass from reading it again,
// lets the bytes copied stand in for the file's own checksum, unless its size moved meanwhile.
TEST_F(EngineFaultsTest, SourceChangingDuringTheSplit)
{
    const uint32_t B = TransferBlockSize;
    const std::string bytes = PatternBytes(3 * B, 71);
    const char* scratch = std::getenv("ZANDREL_ENGINE_SCRATCH");
    const auto fixture = engineprobe::FixtureDir();
    // Up to Rewrite, another program opens the file at the first report, changes it and closes it;
    // Held..., it holds the file for appending from before the split to its end.
    enum TChange { Shrink, Empty, Grow, Rewrite, Held, HeldAndGrown, Renamed };
    const struct { const char* what; TChange change; TCause cause; } cases[] = {
        {"shrinks", Shrink, TCause::SourceChanged}, {"emptied", Empty, TCause::SourceChanged},
        {"grows", Grow, TCause::SourceChanged}, {"rewritten", Rewrite, TCause::SourceChanged},
        {"held for writing", Held, TCause::None}, {"held for writing and grown", HeldAndGrown, TCause::SourceChanged},
        {"renamed after the last block", Renamed, TCause::CannotRead},
    };
    for (const auto& c : cases) {
        if (c.change == Renamed && (!fixture || !scratch || !FileExists("Z:\\bin\\mv"))) continue;  // Wine's Z: drive, the fixture
        SCOPED_TRACE(c.what);
        TempDir out;
        const std::string source = (c.change == Renamed ? *fixture : work.Path()) + "\\moving.bin";
        WriteFileBytes(source, bytes);
        // Another program, sharing the file as the split allows.
        const auto open = [&](DWORD access) {
            HANDLE h = CreateFileA(source.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            EXPECT_NE(h, INVALID_HANDLE_VALUE);
            return h;
        };
        HANDLE held = c.change == Held || c.change == HeldAndGrown ? open(FILE_APPEND_DATA) : INVALID_HANDLE_VALUE;
        TProgressRecorder progress;
        progress.OnCall = [&](size_t i) {
            DWORD written = 0;
            HANDLE h = i == 0 && c.change <= Rewrite ? open(c.change == Grow ? FILE_APPEND_DATA : GENERIC_WRITE) : nullptr;
            LARGE_INTEGER at;
            at.QuadPart = c.change == Shrink ? B + 100 : 0;
            if (h && (c.change == Shrink || c.change == Empty)) { EXPECT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h)); }
            if (h && c.change == Grow) { EXPECT_TRUE(WriteFile(h, "more", 4, &written, nullptr)); }
            if (h && c.change == Rewrite) { EXPECT_TRUE(WriteFile(h, "X", 1, &written, nullptr)); }
            if (h) CloseHandle(h);
            if (i == 0 && c.change == HeldAndGrown) { EXPECT_TRUE(WriteFile(held, "more", 4, &written, nullptr)); }
            if (i == 2 && c.change == Renamed) {
                // Wine starts a Unix program without a handle to wait on: the rename is awaited as
                // a change of the directory's names.
                HANDLE change = FindFirstChangeNotificationA(fixture->c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
                EXPECT_NE(change, INVALID_HANDLE_VALUE);
                std::string command = std::string("Z:\\bin\\mv ") + scratch + "/moving.bin " + scratch + "/moving.old";
                STARTUPINFOA si{};
                si.cb = sizeof si;
                PROCESS_INFORMATION pi{};
                EXPECT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
                if (pi.hProcess) CloseHandle(pi.hProcess);
                if (pi.hThread) CloseHandle(pi.hThread);
                while (FileExists(source) && WaitForSingleObject(change, 30000) == WAIT_OBJECT_0) FindNextChangeNotification(change);
                FindCloseChangeNotification(change);
                EXPECT_FALSE(FileExists(source));
            }
            return i > 100;  // a split that spins is stopped instead of hanging the test
        };
        const TOutcome outcome = RunSplit(source, out.Path(), 2 * B, progress.Proc());
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        const bool renamed = c.change == Renamed;
        EXPECT_TRUE(Ended(outcome, c.cause, renamed ? source : "", renamed ? ERROR_FILE_NOT_FOUND : engineprobe::AnyError));
        EXPECT_LE(progress.Calls().size(), 4u);
        EXPECT_EQ(FileExists(out.File("moving.crc")) ? ReadFileBytes(out.File("moving.crc")) : "",
                  c.cause == TCause::None ? "filename=moving.bin\r\nsize=393216\r\ncrc32=" + IntToHex(engineprobe::Crc32(bytes)) + "\r\n" : "");
        EXPECT_LE(ReadFileBytes(out.File("moving.001")).size(), 2 * B);
        if (FileExists(out.File("moving.002"))) { EXPECT_LE(ReadFileBytes(out.File("moving.002")).size(), B); }
        if (!renamed) continue;
        EXPECT_EQ(progress.Calls().size(), 3u) << "no closing report";
        EXPECT_EQ(FileNames(out.Path()), (std::vector<std::string>{"moving.001", "moving.002"}));
        EXPECT_EQ(ReadFileBytes(out.File("moving.002")), bytes.substr(2 * B));
        EXPECT_EQ(ReadFileBytes(*fixture + "\\moving.old"), bytes);
        DeleteFileA((*fixture + "\\moving.old").c_str());
    }
}
