// The engine under faults: a full target file system, locked files, damaged pieces, junk
// descriptors, files of 4 GB and more, and a source that changes during the split. In every
// case the source and every file that was there before stay byte for byte as they were, and a
// failed combine leaves no output behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "App.h"
#include "BoxWatcher.h"
#include "CRC32.h"
#include "CRC32Core.h"
#include "EngineProbe.h"
#include "Errors.h"
#include "PieceNames.h"
#include "PiecesTest.h"
#include "SplitFiles.h"
#include "TestFiles.h"

using engineprobe::Snapshot;
using engineprobe::TProgressRecorder;
using testfiles::FileExists;
using testfiles::PatternBytes;
using testfiles::ReadFileBytes;
using testfiles::TempDir;
using testfiles::WriteFileBytes;

// Memory running out on demand, for the checksum's reading buffer (CRCBlockSize bytes).
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

class EngineFaultsTest : public TPiecesTest {
protected:
    static void SetUpTestSuite() { BuildCRCTable(); }
    void SetUp() override { App::SetOwnerWindow(nullptr); }

    // The engine shows no message, whatever the outcome: the combine dialog reports it.
    static void ExpectNoBox(TBoxWatcher& boxes) { EXPECT_TRUE(boxes.Seen().empty()); }

    static void ExpectCause(const TOutcome& outcome, TCause cause, const std::string& file)
    {
        EXPECT_EQ(outcome.Cause, cause);
        EXPECT_EQ(outcome.File, file);
    }

    // A scratch directory on the fixture's 512 KiB tmpfs, emptied before and after.
    std::string SmallFs()
    {
        const auto dir = engineprobe::FixtureDir();
        const std::string small = *dir + "\\small";
        for (const auto& name : engineprobe::FileNames(small)) DeleteFileA((small + "\\" + name).c_str());
        return small;
    }
};

// Holds a file open with no sharing at all.
class TLock {
public:
    explicit TLock(const std::string& path)
        : h_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr))
    {
        EXPECT_NE(h_, INVALID_HANDLE_VALUE) << path;
    }
    ~TLock()
    {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }

private:
    HANDLE h_;
};

}  // namespace

TEST_F(EngineFaultsTest, TargetFileSystemFull)
{
    if (!engineprobe::SmallFilesystemMounted())
        GTEST_SKIP() << "needs the fixture's 512 KiB tmpfs (root, run through ctest)";
    const std::string small = SmallFs();

    // Splitting: the second piece runs out of space halfway.
    const std::string bytes = PatternBytes(1 << 20, 21);
    const std::string source = work.File("src.bin");
    WriteFileBytes(source, bytes);
    WriteFileBytes(small + "\\keep.bin", PatternBytes(10000, 22));
    WriteFileBytes(small + "\\src.crc", "filename=src.bin\r\nsize=1\r\ncrc32=0\r\n");
    WriteFileBytes(small + "\\src.009", "older piece");
    auto before = Snapshot(small);
    const TOutcome full = RunSplit(source, small, 300000, nullptr);
    ExpectCause(full, TCause::CannotWrite, small + "\\src.002");
    EXPECT_EQ(full.SystemError, static_cast<uint32_t>(ERROR_DISK_FULL));
    EXPECT_EQ(ReadFileBytes(source), bytes);
    auto after = Snapshot(small);
    for (const auto& [name, content] : before) EXPECT_EQ(after[name], content) << name;
    EXPECT_EQ(after["src.001"], bytes.substr(0, 300000));
    EXPECT_LT(after["src.002"].size(), 300000u);
    EXPECT_EQ(after.count("src.003"), 0u);

    // Splitting: pieces fit, the descriptor does not; no partial descriptor is left.
    SmallFs();
    const std::string half = PatternBytes(200000, 23);
    WriteFileBytes(source, half);
    WriteFileBytes(small + "\\filler.bin", PatternBytes((128 - 50) * 4096, 24));
    before = Snapshot(small);
    bool raised = false;
    try {
        SplitFile(source, small, 100000, nullptr);
    } catch (const EFileError& e) {
        raised = true;
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + small + "\\src.crc\". ", 0), 0u) << e.what();
    }
    EXPECT_TRUE(raised);
    EXPECT_FALSE(FileExists(small + "\\src.crc"));
    EXPECT_EQ(ReadFileBytes(source), half);
    EXPECT_EQ(ReadFileBytes(small + "\\filler.bin"), before["filler.bin"]);

    // Combining: the output runs out of space; it is removed and the box shown.
    SmallFs();
    const std::string descriptor = Pieces("big.bin", bytes, 300000);
    const auto piecesBefore = Snapshot(pieces.Path());
    WriteFileBytes(small + "\\keep.bin", PatternBytes(10000, 22));
    before = Snapshot(small);
    {
        TBoxWatcher boxes;
        const TOutcome outcome = engineprobe::Combine(descriptor, small, nullptr);
        ExpectCause(outcome, TCause::CannotWrite, small + "\\big.bin");
        EXPECT_EQ(outcome.SystemError, static_cast<uint32_t>(ERROR_DISK_FULL));
        ExpectNoBox(boxes);
    }
    EXPECT_EQ(Snapshot(small), before);
    EXPECT_EQ(Snapshot(pieces.Path()), piecesBefore);

    // The same pieces alone, chosen by a piece: the cause names the final output, no temporary
    // file is left.
    const std::string savedDescriptor = ReadFileBytes(descriptor);
    DeleteFileA(descriptor.c_str());
    {
        TBoxWatcher boxes;
        const TOutcome outcome = engineprobe::Combine(PieceFileName(descriptor, 1), small, nullptr);
        ExpectCause(outcome, TCause::CannotWrite, small + "\\big");
        EXPECT_EQ(outcome.SystemError, static_cast<uint32_t>(ERROR_DISK_FULL));
        EXPECT_TRUE(outcome.Unverified);
        ExpectNoBox(boxes);
    }
    EXPECT_EQ(Snapshot(small), before);
    WriteFileBytes(descriptor, savedDescriptor);

    // Splitting a 5 GiB source into 4095 MiB pieces: the first piece runs out of space halfway.
    SmallFs();
    const std::string giant = work.File("giant.img");
    engineprobe::MakeSparseFile(giant, 5ull << 30, "head");
    const auto giantBefore = engineprobe::Stamp(giant);
    ExpectCause(RunSplit(giant, small, 4095u << 20, nullptr), TCause::CannotWrite, small + "\\giant.001");
    EXPECT_TRUE(engineprobe::Stamp(giant) == giantBefore);
    const auto names = engineprobe::FileNames(small);
    EXPECT_EQ(names, std::vector<std::string>{"giant.001"});
    EXPECT_LE(engineprobe::Stamp(small + "\\giant.001")->Size, 512u * 1024);
    DeleteFileA(giant.c_str());
    SmallFs();
}

TEST_F(EngineFaultsTest, LockedFiles)
{
    const std::string bytes = PatternBytes(30000, 31);

    // Splitting onto a piece name that somebody holds: the split stops there.
    const std::string source = work.File("lk.bin");
    WriteFileBytes(source, bytes);
    WriteFileBytes(target.File("lk.002"), "held by another program");
    {
        TLock lock(target.File("lk.002"));
        const TOutcome outcome = RunSplit(source, target.Path(), 10000, nullptr);
        ExpectCause(outcome, TCause::CannotCreate, target.File("lk.002"));
        EXPECT_EQ(outcome.SystemError, static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
    }
    EXPECT_EQ(ReadFileBytes(target.File("lk.002")), "held by another program");
    EXPECT_EQ(ReadFileBytes(target.File("lk.001")), bytes.substr(0, 10000));
    EXPECT_FALSE(FileExists(target.File("lk.003")));
    EXPECT_FALSE(FileExists(target.File("lk.crc")));
    EXPECT_EQ(ReadFileBytes(source), bytes);

    // The split's own source locked against reading: nothing at all happens.
    TempDir empty;
    {
        TLock lock(source);
        const TOutcome outcome = RunSplit(source, empty.Path(), 10000, nullptr);
        ExpectCause(outcome, TCause::CannotOpen, source);
        EXPECT_EQ(outcome.SystemError, static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
    }
    EXPECT_TRUE(engineprobe::FileNames(empty.Path()).empty());

    // Combining with a needed piece locked: the partial output goes.
    const std::string descriptor = Pieces("lk.bin", bytes, 10000);
    const auto piecesBefore = Snapshot(pieces.Path());
    TempDir out;
    {
        TLock lock(PieceFileName(descriptor, 2));
        TBoxWatcher boxes;
        const TOutcome outcome = engineprobe::Combine(descriptor, out.Path(), nullptr);
        ExpectCause(outcome, TCause::CannotRead, PieceFileName(descriptor, 2));
        EXPECT_EQ(outcome.SystemError, static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
        ExpectNoBox(boxes);
    }
    EXPECT_TRUE(engineprobe::FileNames(out.Path()).empty());
    EXPECT_EQ(Snapshot(pieces.Path()), piecesBefore);

    // Combining onto an existing target that somebody holds: it cannot be verified; it stays.
    WriteFileBytes(out.File("lk.bin"), bytes);
    {
        TLock lock(out.File("lk.bin"));
        TBoxWatcher boxes;
        const TOutcome outcome = engineprobe::Combine(descriptor, out.Path(), nullptr);
        ExpectCause(outcome, TCause::CannotRead, out.File("lk.bin"));  // it cannot be verified
        EXPECT_EQ(outcome.SystemError, static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
        ExpectNoBox(boxes);
    }
    EXPECT_EQ(ReadFileBytes(out.File("lk.bin")), bytes);
}

TEST_F(EngineFaultsTest, DamagedPieces)
{
    const std::string bytes = PatternBytes(300000, 41);
    const std::string descriptor = Pieces("dm.bin", bytes, 140000);  // 140000, 140000, 20000
    const std::string second = PieceFileName(descriptor, 2);
    const std::string good = ReadFileBytes(second);
    std::string flipped = good;
    flipped[70000] ^= 0x10;
    const std::string fourth = PieceFileName(descriptor, 4);
    const struct {
        const char* what;
        std::string piece2;
        TCause cause;
        std::string file;
        uint64_t held;  // the bytes the pieces hold, for a size that differs
    } cases[] = {
        {"truncated by one byte", good.substr(0, good.size() - 1), TCause::PieceMissing, fourth, 0},
        {"one bit flipped", flipped, TCause::ChecksumMismatch, "", 0},
        {"one byte longer", good + "z", TCause::SizeMismatch, "", 300001},
        {"emptied", "", TCause::PieceMissing, fourth, 0},
        {"two pieces' worth", good + good, TCause::SizeMismatch, "", 420000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(second, c.piece2);
        const auto piecesBefore = Snapshot(pieces.Path());
        TBoxWatcher boxes;
        const TOutcome outcome = engineprobe::Combine(descriptor, target.Path(), nullptr);
        ExpectCause(outcome, c.cause, c.file);
        if (c.cause == TCause::SizeMismatch) {
            EXPECT_EQ(outcome.Size, c.held);
            EXPECT_EQ(outcome.RecordedSize, 300000u);
        }
        if (c.cause == TCause::ChecksumMismatch) {
            EXPECT_EQ(outcome.RecordedCRC, engineprobe::Crc32(bytes));
            EXPECT_NE(outcome.CRC, outcome.RecordedCRC);
        }
        ExpectNoBox(boxes);
        EXPECT_TRUE(engineprobe::FileNames(target.Path()).empty());
        EXPECT_EQ(Snapshot(pieces.Path()), piecesBefore);
    }
    WriteFileBytes(second, good);
    TBoxWatcher boxes;
    EXPECT_TRUE(CombineFiles(descriptor, target.Path(), nullptr));
}

TEST_F(EngineFaultsTest, JunkDescriptors)
{
    WriteFileBytes(pieces.File("j.001"), PatternBytes(5000, 51));
    WriteFileBytes(pieces.File("j.002"), PatternBytes(5000, 52));
    const std::string descriptor = pieces.File("j.crc");
    const std::string notChecksum = "File \"" + descriptor + "\" is not a checksum file. Nothing was combined.";
    std::string utf16;
    for (const char c : std::string("filename=j.bin\r\nsize=10000\r\ncrc32=0\r\n")) utf16 += std::string(1, c) + '\0';
    const std::string named = "filename=j.bin\r\nsize=10000\r\ncrc32=0\r\n";
    enum TEnd { Outcome, Convert, NotChecksum };
    const struct {
        const char* what;
        std::string text;
        TEnd end;
        TCause cause = TCause::None;  // of the failed outcome
    } cases[] = {
        {"binary junk", PatternBytes(700, 53), NotChecksum},
        {"empty", "", NotChecksum},
        {"no filename line", "size=10000\r\ncrc32=0\r\n", NotChecksum},
        {"an empty name", "filename=\r\nsize=10000\r\ncrc32=0\r\n", NotChecksum},
        {"UTF-16 text", "\xFF\xFE" + utf16, NotChecksum},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + named, Outcome, TCause::ChecksumMismatch},
        {"64 KiB exactly", named + std::string(65536 - named.size(), ' '), Outcome, TCause::ChecksumMismatch},
        {"a byte over 64 KiB", named + std::string(65537 - named.size(), ' '), NotChecksum},
        {"size not a number", "filename=j.bin\r\nsize=abc\r\ncrc32=0\r\n", Convert},
        {"size of 2 GB", "filename=j.bin\r\nsize=2147483648\r\ncrc32=0\r\n", Outcome, TCause::PieceMissing},
        {"size of 2^63", "filename=j.bin\r\nsize=9223372036854775808\r\ncrc32=0\r\n", Convert},
        {"negative size", "filename=j.bin\r\nsize=-1\r\ncrc32=0\r\n", Outcome, TCause::PieceMissing},
        {"wrong checksum", "filename=j.bin\r\nsize=10000\r\ncrc32=12345678\r\n", Outcome, TCause::ChecksumMismatch},
        {"size smaller than the pieces", "filename=j.bin\r\nsize=10\r\ncrc32=0\r\n", Outcome, TCause::SizeMismatch},
        {"name with wildcards", "filename=j*.bin\r\nsize=10000\r\ncrc32=0\r\n", Outcome, TCause::CannotCreate},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(descriptor, c.text);
        const auto piecesBefore = Snapshot(pieces.Path());
        TBoxWatcher boxes;
        TProgressRecorder progress;
        if (c.end == Convert) {
            EXPECT_THROW(CombineFiles(descriptor, target.Path(), progress.Proc()), EConvertError);
        } else if (c.end == NotChecksum) {
            try {
                CombineFiles(descriptor, target.Path(), progress.Proc());
                ADD_FAILURE() << "not refused";
            } catch (const EOperationRefused& e) {
                EXPECT_EQ(e.what(), notChecksum);
            }
            EXPECT_TRUE(progress.Calls().empty());
        } else {
            EXPECT_EQ(engineprobe::Combine(descriptor, target.Path(), progress.Proc()).Cause, c.cause);
        }
        ExpectNoBox(boxes);
        EXPECT_TRUE(engineprobe::FileNames(target.Path()).empty());
        EXPECT_EQ(Snapshot(pieces.Path()), piecesBefore);
    }
}

// A name that the system opens as a device wherever it stands is refused before anything is made,
// like a name that leaves the target directory; nothing is written into the device.
TEST_F(EngineFaultsTest, DescriptorsNamingADeviceAreRefused)
{
    WriteFileBytes(pieces.File("d.001"), PatternBytes(3000, 54));
    const std::string descriptor = pieces.File("d.crc");
    const char* devices[] = {"NUL", "nul.txt", "CON", "prn", "Aux.dat", "COM1", "com9.x", "LPT1", "lpt9", "NUL ",
                             "nul.", "Nul .txt", "CONOUT$"};
    for (const char* name : devices) {
        SCOPED_TRACE(name);
        WriteFileBytes(descriptor, std::string("filename=") + name + "\r\nsize=3000\r\ncrc32=0\r\n");
        TProgressRecorder progress;
        try {
            CombineFiles(descriptor, target.Path(), progress.Proc());
            ADD_FAILURE() << "not refused";
        } catch (const EOperationRefused& e) {
            // The name as the descriptor writes it (the reader trims the value).
            std::string written = name;
            while (!written.empty() && written.back() == ' ') written.pop_back();
            EXPECT_EQ(e.what(), "Checksum file \"" + descriptor + "\" names the device \"" + written +
                                    "\". Nothing was combined.");
        }
        EXPECT_TRUE(progress.Calls().empty());
        EXPECT_TRUE(engineprobe::FileNames(target.Path()).empty());
    }
    // Names that only look alike are files.
    const char* files[] = {"NULL", "COM10", "COM0", "LPT", "connection.txt", "xnul"};
    for (const char* name : files) {
        SCOPED_TRACE(name);
        WriteFileBytes(descriptor, std::string("filename=") + name + "\r\nsize=3000\r\ncrc32=0\r\n");
        EXPECT_EQ(engineprobe::Combine(descriptor, target.Path(), nullptr).Cause, TCause::ChecksumMismatch);
        EXPECT_TRUE(engineprobe::FileNames(target.Path()).empty());
    }
}

TEST_F(EngineFaultsTest, AFileOf4GBPlus100IsNotTakenForOneOf100)
{
    // An existing target of 4 GB + 100 bytes whose first 100 bytes are what a descriptor of 100
    // bytes describes: not taken for a match.
    const std::string giant = target.File("giant.bin");
    const std::string head = PatternBytes(100, 61);
    engineprobe::MakeSparseFile(giant, 0x100000000ull + 100, head);
    WriteFileBytes(pieces.File("giant.001"), head);
    WriteFileBytes(pieces.File("giant.crc"),
                   "filename=giant.bin\r\nsize=100\r\ncrc32=" + IntToHex(engineprobe::Crc32(head)) + "\r\n");
    const auto before = engineprobe::Stamp(giant);
    TBoxWatcher boxes;
    ExpectCause(engineprobe::Combine(pieces.File("giant.crc"), target.Path(), nullptr), TCause::DifferentFileThere, giant);
    ExpectNoBox(boxes);
    EXPECT_TRUE(engineprobe::Stamp(giant) == before);
    EXPECT_EQ(ReadFileBytes(pieces.File("giant.001")), head);
    DeleteFileA(giant.c_str());
}

TEST_F(EngineFaultsTest, SourceChangingDuringTheSplit)
{
    const uint32_t B = TransferBlockSize;
    const std::string bytes = PatternBytes(3 * B, 71);
    enum Change { Shrink, Empty, Grow, Rewrite };
    const struct {
        const char* what;
        Change change;
    } cases[] = {{"shrinks", Shrink}, {"emptied", Empty}, {"grows", Grow}, {"rewritten", Rewrite}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir out;
        const std::string source = work.File("moving.bin");
        WriteFileBytes(source, bytes);
        TProgressRecorder progress;
        progress.OnCall = [&](size_t i) {
            if (i == 0) {
                // Another program, sharing the file as the split allows.
                HANDLE h = CreateFileA(source.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
                EXPECT_NE(h, INVALID_HANDLE_VALUE);
                LARGE_INTEGER at;
                DWORD written = 0;
                switch (c.change) {
                case Shrink: at.QuadPart = B + 100; SetFilePointerEx(h, at, nullptr, FILE_BEGIN); SetEndOfFile(h); break;
                case Empty: at.QuadPart = 0; SetFilePointerEx(h, at, nullptr, FILE_BEGIN); SetEndOfFile(h); break;
                case Grow: at.QuadPart = 0; SetFilePointerEx(h, at, nullptr, FILE_END); WriteFile(h, "more", 4, &written, nullptr); break;
                case Rewrite: WriteFile(h, "X", 1, &written, nullptr); break;
                }
                CloseHandle(h);
            }
            return i > 100;  // a split that spins is stopped instead of hanging the test
        };
        ExpectCause(RunSplit(source, out.Path(), 2 * B, progress.Proc()), TCause::SourceChanged, "");
        EXPECT_LE(progress.Calls().size(), 4u);
        EXPECT_FALSE(FileExists(out.File("moving.crc")));
        const std::string p1 = ReadFileBytes(out.File("moving.001"));
        EXPECT_LE(p1.size(), 2 * B);
        if (FileExists(out.File("moving.002"))) { EXPECT_LE(ReadFileBytes(out.File("moving.002")).size(), B); }
    }
}

TEST_F(EngineFaultsTest, SourceHeldOpenForWritingByAnotherProgram)
{
    // A log that a service keeps open for writing: the checksum cannot read it again, so the
    // descriptor takes the bytes copied, unless the size moved meanwhile.
    const std::string bytes = PatternBytes(250000, 81), source = work.File("service.log");
    for (bool appends : {false, true}) {
        SCOPED_TRACE(appends ? "appended to" : "left alone");
        WriteFileBytes(source, bytes);
        TempDir out;
        HANDLE writer = CreateFileA(source.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        TProgressRecorder progress;
        progress.OnCall = [&](size_t i) {
            DWORD written = 0;
            return appends && i == 0 && !WriteFile(writer, "more", 4, &written, nullptr);
        };
        EXPECT_EQ(RunSplit(source, out.Path(), 100000, progress.Proc()).Cause,
                  appends ? TCause::SourceChanged : TCause::None);
        CloseHandle(writer);
        EXPECT_EQ(FileExists(out.File("service.crc")) ? ReadFileBytes(out.File("service.crc")) : "",
                  appends ? "" : "filename=service.log\r\nsize=250000\r\ncrc32=" + IntToHex(engineprobe::Crc32(bytes)) + "\r\n");
    }
}

// Only another program's hold on the source lets the bytes copied stand in for the file's own
// checksum: a source that is gone when it is read again (renamed on the Unix side after the last
// block: the split's own handle lets no Windows program rename it) gets no descriptor.
TEST_F(EngineFaultsTest, ASourceThatCannotBeReadAgainGetsNoDescriptor)
{
    const char* scratch = std::getenv("ZANDREL_ENGINE_SCRATCH");
    const auto fixture = engineprobe::FixtureDir();
    if (!fixture || !scratch || !FileExists("Z:\\bin\\mv")) GTEST_SKIP() << "needs Wine's Z: drive and the fixture";
    const std::string source = *fixture + "\\renamed.bin";
    const std::string bytes = PatternBytes(5000, 95);
    WriteFileBytes(source, bytes);
    TProgressRecorder progress;
    progress.OnCall = [&](size_t i) {
        if (i != 2) return false;  // the last block
        std::string command = std::string("Z:\\bin\\mv ") + scratch + "/renamed.bin " + scratch + "/renamed.old";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        EXPECT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        if (pi.hProcess) CloseHandle(pi.hProcess);
        if (pi.hThread) CloseHandle(pi.hThread);
        for (int wait = 0; wait < 200 && FileExists(source); ++wait) Sleep(50);
        EXPECT_FALSE(FileExists(source));
        return false;
    };
    const TOutcome outcome = RunSplit(source, target.Path(), 2000, progress.Proc());
    ExpectCause(outcome, TCause::CannotRead, source);
    EXPECT_EQ(outcome.SystemError, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(progress.Calls().size(), 3u) << "no closing report";
    EXPECT_EQ(engineprobe::FileNames(target.Path()), (std::vector<std::string>{"renamed.001", "renamed.002", "renamed.003"}));
    EXPECT_EQ(ReadFileBytes(target.File("renamed.003")), bytes.substr(4000));
    EXPECT_EQ(ReadFileBytes(*fixture + "\\renamed.old"), bytes);
    DeleteFileA((*fixture + "\\renamed.old").c_str());
}

TEST_F(EngineFaultsTest, ChecksumThatCannotRunCountsAsAMismatch)
{
    const std::string bytes = PatternBytes(30000, 91);
    const std::string descriptor = Pieces("oom.bin", bytes, 10000);
    for (bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "an existing file is verified" : "rebuilt by this run");
        const std::string output = target.File("oom.bin");
        if (existing) WriteFileBytes(output, bytes);
        TBoxWatcher boxes;
        TProgressRecorder progress;
        TOutcome outcome;
        FailChecksumBuffer = true;
        EXPECT_NO_THROW(outcome = engineprobe::Combine(descriptor, target.Path(), progress.Proc()));
        FailChecksumBuffer = false;
        ExpectCause(outcome, TCause::CannotRead, output);
        EXPECT_EQ(outcome.SystemError, static_cast<uint32_t>(ERROR_NOT_ENOUGH_MEMORY));
        ExpectNoBox(boxes);
        EXPECT_EQ(FileExists(output), existing) << "only a file this run created is deleted";
        ASSERT_FALSE(progress.Calls().empty());
        EXPECT_EQ(progress.Calls().back().Percent, existing ? 0 : 100) << "the closing report is made";
    }
}

// A piece that is a device (under Wine a link to /dev/zero from the fixture) counts as missing
// instead of being read without end.
TEST_F(EngineFaultsTest, APieceThatIsADeviceIsMissing)
{
    const auto fixture = engineprobe::FixtureDir();
    if (!fixture) GTEST_SKIP() << "needs the engine test fixture's devices (run through ctest)";
    const std::string set = *fixture + "\\devices\\set";  // set.002 is the device
    WriteFileBytes(set + ".001", PatternBytes(2000, 103));
    WriteFileBytes(set + ".crc", "filename=set.bin\r\nsize=6000\r\ncrc32=0\r\n");
    TBoxWatcher boxes;
    TProgressRecorder progress;
    progress.OnCall = [](size_t i) { return i >= 20; };  // a combine reading without end is stopped
    ExpectCause(engineprobe::Combine(set + ".crc", target.Path(), progress.Proc()), TCause::PieceMissing, set + ".002");
    EXPECT_EQ(progress.Calls().size(), 2u) << "one block of set.001, then the closing report";
    ExpectNoBox(boxes);
    EXPECT_TRUE(engineprobe::FileNames(target.Path()).empty());
    DeleteFileA((set + ".001").c_str());
    DeleteFileA((set + ".crc").c_str());
}
