// SplitFile on real files: piece layout and names up to the thousandth piece, the descriptor,
// progress reports and their directories, cancelling, and splitting onto the source's own names.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>

#include "BoxWatcher.h"
#include "CRC32Core.h"
#include "EngineProbe.h"
#include "Errors.h"
#include "PathText.h"
#include "PieceNames.h"
#include "Progress.h"
#include "SplitFiles.h"
#include "SysError.h"
#include "TestFiles.h"

using engineprobe::TProgressRecorder;
using testfiles::PatternBytes;
using testfiles::ReadFileBytes;
using testfiles::TempDir;
using testfiles::WriteFileBytes;

namespace {

class SplitFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { BuildCRCTable(); }
    TempDir src;
    TempDir dst;
};

std::string DescriptorText(const std::string& name, uint32_t size, const std::string& bytes)
{
    return "filename=" + name + "\r\nsize=" + std::to_string(size) + "\r\ncrc32=" +
           IntToHex(engineprobe::Crc32(bytes)) + "\r\n";
}

// The percents that block reports carry when the reads deliver these byte counts.
std::vector<int32_t> BlockPercents(const std::vector<uint32_t>& reads, uint32_t size)
{
    std::vector<int32_t> out;
    uint32_t done = 0;
    for (uint32_t r : reads) out.push_back(BlockPercent(done += r, size));
    return out;
}

// A host's timer, as seen from the engine: a thread posts a message to a window of the test's
// thread about every 2 ms (the next one only after the last was handled), and OnTick runs on the
// test's thread wherever the engine lets messages run.
class TTicker {
public:
    TTicker()
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &TTicker::Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ZandrelTickerWindow";
        RegisterClassA(&wc);
        window_ = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        thread_ = CreateThread(nullptr, 0, &TTicker::Run, this, 0, nullptr);
    }
    ~TTicker()
    {
        stop_ = true;
        SetEvent(handled_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        CloseHandle(handled_);
        DestroyWindow(window_);
    }
    TTicker(const TTicker&) = delete;
    TTicker& operator=(const TTicker&) = delete;
    std::function<void()> OnTick;

private:
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l)
    {
        if (m != WM_APP + 9) return DefWindowProcA(h, m, w, l);
        auto* self = reinterpret_cast<TTicker*>(GetWindowLongPtrA(h, GWLP_USERDATA));
        if (self->OnTick) self->OnTick();
        SetEvent(self->handled_);
        return 0;
    }
    static DWORD WINAPI Run(LPVOID arg)
    {
        auto* self = static_cast<TTicker*>(arg);
        while (!self->stop_) {
            PostMessageA(self->window_, WM_APP + 9, 0, 0);
            WaitForSingleObject(self->handled_, INFINITE);
            Sleep(2);
        }
        return 0;
    }
    HWND window_ = nullptr;
    HANDLE thread_ = nullptr;
    HANDLE handled_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::atomic<bool> stop_{false};
};

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
    if (w != INVALID_HANDLE_VALUE) {
        CloseHandle(w);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace

TEST_F(SplitFileTest, PieceLayoutsAndDescriptor)
{
    const struct {
        const char* name;
        uint32_t size, pieceSize;
        uint32_t pieces;  // expected count; the last holds the rest
    } cases[] = {
        {"thousand.bin", 999 * 3 + 1, 3, 1000},  // the largest set: .1000 holds 1 byte
        {"exact.dat", 3 * 4000, 4000, 3},        // exact multiple: no empty trailing piece
        {"one.txt", 5000, 5001, 1},
        {"same.txt", 5000, 5000, 1},
        {"blocks.bin", 2 * TransferBlockSize + 5, 2 * TransferBlockSize, 2},
        {"empty.log", 0, 1000, 1},  // one empty piece 001
        {"README", 10, 4, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir target;
        const std::string bytes = PatternBytes(c.size, c.size);
        const std::string source = src.File(c.name);
        WriteFileBytes(source, bytes);

        TProgressRecorder progress;
        ASSERT_TRUE(SplitFile(source, target.Path(), c.pieceSize, progress.Proc()));

        const std::string base = target.File(c.name);
        std::string joined;
        for (uint32_t k = 1; k <= c.pieces; ++k) {
            const std::string piece = ReadFileBytes(PieceFileName(base, k));
            const uint32_t expected = k < c.pieces ? c.pieceSize : c.size - (c.pieces - 1) * c.pieceSize;
            ASSERT_EQ(piece.size(), expected) << "piece " << k;
            joined += piece;
        }
        EXPECT_EQ(joined, bytes);
        EXPECT_FALSE(testfiles::FileExists(PieceFileName(base, c.pieces + 1)));
        EXPECT_EQ(ReadFileBytes(DescriptorFileName(base)), DescriptorText(c.name, c.size, bytes));
        EXPECT_EQ(engineprobe::FileNames(target.Path()).size(), c.pieces + 1u);
        EXPECT_EQ(ReadFileBytes(source), bytes);
        if (c.size == 0) {
            EXPECT_EQ(ReadFileBytes(DescriptorFileName(base)), "filename=empty.log\r\nsize=0\r\ncrc32=0\r\n");
            EXPECT_EQ(progress.Percents(), (std::vector<int32_t>{0, 0}));
        }
        if (c.pieces == 1000) { EXPECT_TRUE(testfiles::FileExists(target.File("thousand.1000"))); }
    }
}

TEST_F(SplitFileTest, TooManyPiecesIsRefusedWithNothingCreated)
{
    const struct { uint32_t size, pieceSize; } cases[] = {{1000 * 3, 3}, {1000 * 7 + 6, 7}, {5000, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const std::string source = src.File("big.bin");
        WriteFileBytes(source, PatternBytes(c.size));
        TProgressRecorder progress;
        const TOutcome outcome = RunSplit(source, dst.Path(), c.pieceSize, progress.Proc());
        EXPECT_EQ(outcome.Cause, TCause::TooManyPieces);
        EXPECT_EQ(outcome.Size, c.size);
        EXPECT_EQ(outcome.PieceSize, c.pieceSize);
        EXPECT_TRUE(engineprobe::FileNames(dst.Path()).empty());
        EXPECT_TRUE(progress.Calls().empty());
    }
    // A piece size of zero makes no progress at all: refused as well.
    EXPECT_FALSE(SplitFile(src.File("big.bin"), dst.Path(), 0, nullptr));
    EXPECT_TRUE(engineprobe::FileNames(dst.Path()).empty());
}

TEST_F(SplitFileTest, LargeSourcesCancelledAtTheFirstReport)
{
    // Sparse sources of 2 GiB and more, up to 1000 pieces of 4 GiB - 1: the first block lands in
    // the first piece and a cancel there leaves just that; one piece size more is refused.
    const uint64_t G = 1ull << 30;
    const uint32_t P = 4294967295u;
    const struct {
        uint64_t size;
        uint32_t pieceSize;
        bool refused;
    } cases[] = {
        {2 * G - 1, 1u << 30, false}, {2 * G, 1u << 30, false},       {5 * G + 7, 4095u << 20, false},
        {999ull * P + 1, P, false},   {1000ull * P, P, true},
    };
    const std::string head = PatternBytes(1000, 5);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        TempDir target;
        const std::string source = src.File("big.img");
        engineprobe::MakeSparseFile(source, c.size, head);
        const auto before = engineprobe::Stamp(source);
        TProgressRecorder progress;
        progress.OnCall = [](size_t) { return true; };
        EXPECT_FALSE(SplitFile(source, target.Path(), c.pieceSize, progress.Proc()));
        EXPECT_TRUE(engineprobe::Stamp(source) == before);
        if (c.refused) {
            EXPECT_TRUE(progress.Calls().empty());
            EXPECT_TRUE(engineprobe::FileNames(target.Path()).empty());
        } else {
            ASSERT_EQ(progress.Calls().size(), 1u);
            EXPECT_EQ(progress.Calls()[0].Percent, 0);
            EXPECT_EQ(engineprobe::FileNames(target.Path()), std::vector<std::string>{"big.001"});
            EXPECT_EQ(ReadFileBytes(target.File("big.001")), head + std::string(TransferBlockSize - head.size(), '\0'));
        }
        DeleteFileA(source.c_str());
    }
}

TEST_F(SplitFileTest, MissingSourceCreatesNothing)
{
    const TOutcome outcome = RunSplit(src.File("absent.txt"), dst.Path(), 100, nullptr);
    EXPECT_EQ(outcome.Cause, TCause::CannotOpen);
    EXPECT_EQ(outcome.File, src.File("absent.txt"));
    EXPECT_EQ(outcome.SystemError, static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(engineprobe::FileNames(dst.Path()).empty());
}

TEST_F(SplitFileTest, ProgressSequences)
{
    const uint32_t B = TransferBlockSize;
    const struct {
        uint32_t size, pieceSize;
        std::vector<int32_t> percents;  // block reports, then the closing report
    } cases[] = {
        {50, 1000, {0, 0}},
        {150, 1000, {150, 150}},
        {150, 100, {99, 150, 150}},  // a block report of exactly 100 says 99
        {B, B, {99, 100}},
        {B, 2 * B, {99, 100}},
        {B + 1, B, {99, 99, 100}},
        {99, 10, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + "/" + std::to_string(c.pieceSize));
        TempDir target;
        const std::string source = src.File("p.bin");
        WriteFileBytes(source, PatternBytes(c.size));
        TProgressRecorder progress;
        ASSERT_TRUE(SplitFile(source, target.Path(), c.pieceSize, progress.Proc()));
        EXPECT_EQ(progress.Percents(), c.percents);
        for (const auto& call : progress.Calls()) {
            EXPECT_EQ(call.Status, "Spliting...");
            EXPECT_EQ(call.FileName, source);
            EXPECT_EQ(call.SourceDir, src.Path());
            EXPECT_EQ(call.TargetDir, target.Path());
            EXPECT_EQ(call.Cancel, const_cast<uint8_t*>(&CancelFlag));
        }
    }
}

TEST_F(SplitFileTest, ReadsNeverCrossAPieceBoundary)
{
    // A piece size of 300,000 reads 131,072, 131,072 and 37,856 bytes per full piece; a piece size
    // below the block size reads once per piece.
    const uint32_t B = TransferBlockSize;
    const struct {
        uint32_t size, pieceSize;
        std::vector<uint32_t> reads;
    } cases[] = {
        {601000, 300000, {B, B, 37856, B, B, 37856, 1000}},
        {250000, 100000, {100000, 100000, 50000}},
        {3 * B + 10, 3 * B + 10, {B, B, B, 10}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        TempDir target;
        const std::string source = src.File("r.bin");
        WriteFileBytes(source, PatternBytes(c.size));
        TProgressRecorder progress;
        ASSERT_TRUE(SplitFile(source, target.Path(), c.pieceSize, progress.Proc()));
        std::vector<int32_t> expected = BlockPercents(c.reads, c.size);
        expected.push_back(100);
        EXPECT_EQ(progress.Percents(), expected);
    }
}

TEST_F(SplitFileTest, SplittingAgainWithSmallerPiecesLeavesNoStaleBytes)
{
    const std::string source = src.File("again.bin");
    WriteFileBytes(source, PatternBytes(10000, 1));
    ASSERT_TRUE(SplitFile(source, dst.Path(), 8000, nullptr));
    const std::string fresh = PatternBytes(10000, 2);
    WriteFileBytes(source, fresh);
    ASSERT_TRUE(SplitFile(source, dst.Path(), 3000, nullptr));
    const std::string base = dst.File("again.bin");
    for (uint32_t k = 1; k <= 4; ++k)
        EXPECT_EQ(ReadFileBytes(PieceFileName(base, k)), fresh.substr((k - 1) * 3000, 3000)) << k;
    EXPECT_EQ(ReadFileBytes(DescriptorFileName(base)), DescriptorText("again.bin", 10000, fresh));
}

// A split refuses, before its first write and naming the file at risk, what it does not own: its
// own source as a piece or the descriptor, another file's set (its descriptor names that file),
// anything at the descriptor's name that is not a readable descriptor naming a file (held by
// another program, no file name, not a descriptor, larger than 64 KiB), names that are links
// (hard links made here; symbolic links from the fixture, under Wine), names beyond the path limit
// (MAX_PATH with its terminating zero) as typed or as full paths, and devices or directories as
// source or target (under Wine a FIFO or a link to /dev/zero from the fixture). Its own older set
// is replaced.
TEST_F(SplitFileTest, RefusedBeforeTheFirstWrite)
{
    const std::string bytes = PatternBytes(12000, 3);
    WriteFileBytes(dst.File("data.bin"), bytes);
    ASSERT_TRUE(SplitFile(dst.File("data.bin"), src.Path(), 5000, nullptr));  // data.001 .. .003, .crc
    WriteFileBytes(src.File("list.crc"), PatternBytes(5000, 9));
    WriteFileBytes(dst.File("r.bin"), PatternBytes(999 * 2 + 1));  // 1000 pieces of 2 bytes
    for (const char* name : {"w.bin", "z.bin", "lk.doc", "nd.bin", "big.bin", "nf.bin", "hl.bin", "hx.bin", "x.bin",
                             "y.bin", "ow.bin"})
        WriteFileBytes(dst.File(name), PatternBytes(5000));
    std::string longDir[2];
    for (size_t k = 0; k < 2; ++k) {
        longDir[k] = dst.Path() + "\\" + std::string(253 + k - dst.Path().size() - 1, 'd');
        ASSERT_TRUE(CreateDirectoryA(longDir[k].c_str(), nullptr)) << GetLastError();
    }
    // A target typed with "..\" segments: short as a full path, 253 characters as typed, so that
    // r.1000 has 260.
    ASSERT_TRUE(CreateDirectoryA(dst.File("sub").c_str(), nullptr));
    const auto dottedTarget = [&](size_t length) {
        std::string dir = dst.File("sub");
        size_t up = (length - dir.size()) / 7;  // "\..\sub", then "\." for the rest
        if ((length - dir.size() - 7 * up) % 2 != 0) --up;
        for (; up > 0; --up) dir += "\\..\\sub";
        while (dir.size() < length) dir += "\\.";
        return dir;
    };
    const std::string dotted = dottedTarget(253);
    const std::string dottedLast = AddBackslash(dotted) + "r.1000";
    ASSERT_EQ(dottedLast.size(), 260u);
    ASSERT_TRUE(CreateDirectoryA(dst.File("w.002").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(dst.File("folder.bin").c_str(), nullptr));
    // At the descriptor's name: a descriptor of another file (held by other programs below), a data
    // file, a descriptor without a file name, one naming this file but a byte over 64 KiB.
    TempDir sets;
    WriteFileBytes(sets.File("lk.crc"), "filename=lk.txt\r\nsize=5000\r\ncrc32=0\r\n");
    WriteFileBytes(sets.File("nd.crc"), PatternBytes(5000, 10));
    const std::string bigText = "filename=big.bin\r\nsize=5000\r\ncrc32=0\r\n";
    WriteFileBytes(sets.File("big.crc"), bigText + std::string(65537 - bigText.size(), ' '));
    WriteFileBytes(sets.File("nf.crc"), "size=5000\r\ncrc32=0\r\n");
    WriteFileBytes(sets.File("ow.crc"), "filename=ow.bin\r\nsize=5000\r\ncrc32=0\r\n");  // this file's own
    // Links: two piece names of one file; a piece name that is another name of a file elsewhere.
    WriteFileBytes(sets.File("hl.001"), "piece one");
    ASSERT_TRUE(CreateHardLinkA(sets.File("hl.002").c_str(), sets.File("hl.001").c_str(), nullptr));
    WriteFileBytes(dst.File("keep.bin"), "another program's file");
    ASSERT_TRUE(CreateHardLinkA(sets.File("hx.002").c_str(), dst.File("keep.bin").c_str(), nullptr));
    const auto fixture = engineprobe::FixtureDir();
    const std::string devices = fixture ? *fixture + "\\devices" : "";
    const std::string links = fixture ? *fixture + "\\links" : "";
    const std::string notOurs = "\" that this split may replace. Nothing was split.";
    const std::string aLink = "\". It is a link: other names lead to the same file.";
    const struct {
        std::string source, targetDir;
        uint32_t pieceSize;
        std::string atRisk;
        std::string text = std::string();  // the whole message, when given
        DWORD lockAccess = 0, lockShare = 0;  // another program holds the descriptor (access 0: nobody)
    } cases[] = {
        {src.File("data.001"), src.Path() + "\\", 1000, src.File("data.001")},
        {src.File("data.002"), src.Path(), 2000, src.File("data.002")},
        {src.File("data.003"), src.Path(), 1000, src.File("data.crc")},  // two pieces; data.bin's set
        {src.File("list.crc"), src.Path(), 2000, src.File("list.crc")},
        {dst.File("r.bin"), longDir[1], 2, longDir[1] + "\\r.001"},   // 254 + 6: 260 characters
        {dst.File("r.bin"), longDir[0], 2, longDir[0] + "\\r.1000"},  // only the thousandth: 260
        {dst.File("r.bin"), dotted, 2, dottedLast,
         "Cannot create file \"" + dottedLast + "\". The name is longer than the system allows."},
        {dst.File("folder.bin"), src.Path(), 2000, dst.File("folder.bin")},
        {dst.File("nul.txt"), src.Path(), 2000, dst.File("nul.txt")},
        {dst.File("w.bin"), dst.Path(), 2000, dst.File("w.002")},
        {dst.File("lk.doc"), sets.Path(), 2000, sets.File("lk.crc"),
         "Checksum file \"" + sets.File("lk.crc") +
             "\" describes the file \"lk.txt\"; splitting \"lk.doc\" here would overwrite its pieces. Nothing was split."},
        {dst.File("lk.doc"), sets.Path(), 2000, sets.File("lk.crc"),
         "File \"" + sets.File("lk.crc") + "\" is not a checksum file of \"lk.doc" + notOurs, GENERIC_READ, 0},
        {dst.File("lk.doc"), sets.Path(), 2000, sets.File("lk.crc"),
         "File \"" + sets.File("lk.crc") + "\" is not a checksum file of \"lk.doc" + notOurs, GENERIC_WRITE,
         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
        {dst.File("lk.doc"), sets.Path(), 2000, sets.File("lk.crc"),
         "Checksum file \"" + sets.File("lk.crc") +
             "\" describes the file \"lk.txt\"; splitting \"lk.doc\" here would overwrite its pieces. Nothing was split.",
         GENERIC_READ, FILE_SHARE_READ},
        {dst.File("ow.bin"), sets.Path(), 2000, sets.File("ow.crc"),
         "Cannot create file \"" + sets.File("ow.crc") + "\". " + SysErrorMessage(ERROR_SHARING_VIOLATION), GENERIC_READ,
         FILE_SHARE_READ},
        {dst.File("nd.bin"), sets.Path(), 2000, sets.File("nd.crc"),
         "File \"" + sets.File("nd.crc") + "\" is not a checksum file of \"nd.bin" + notOurs},
        {dst.File("big.bin"), sets.Path(), 2000, sets.File("big.crc"),
         "File \"" + sets.File("big.crc") + "\" is not a checksum file of \"big.bin" + notOurs},
        {dst.File("nf.bin"), sets.Path(), 2000, sets.File("nf.crc"),
         "File \"" + sets.File("nf.crc") + "\" is not a checksum file of \"nf.bin" + notOurs},
        {dst.File("hl.bin"), sets.Path(), 2000, sets.File("hl.001"), "Cannot create file \"" + sets.File("hl.001") + aLink},
        {dst.File("hx.bin"), sets.Path(), 2000, sets.File("hx.002"), "Cannot create file \"" + sets.File("hx.002") + aLink},
        {dst.File("x.bin"), links, 2000, links + "\\x.002", "Cannot create file \"" + links + "\\x.002" + aLink},
        {dst.File("y.bin"), links, 2000, links + "\\y.crc", "Cannot create file \"" + links + "\\y.crc" + aLink},
        {dst.File("z.bin"), links, 2000, links + "\\z.crc", "Cannot create file \"" + links + "\\z.crc" + aLink},
        {devices + "\\fifo.bin", src.Path(), 2000, devices + "\\fifo.bin"},
        {devices + "\\zero.bin", src.Path(), 2000, devices + "\\zero.bin"},
        {dst.File("z.bin"), devices, 2000, devices + "\\z.002"},
    };
    for (const auto& c : cases) {
        if (c.atRisk.rfind("\\", 0) == 0) continue;  // no fixture, no devices or symbolic links
        SCOPED_TRACE(c.source + " -> " + c.targetDir);
        const auto before = engineprobe::Snapshot(src.Path());
        const auto setsBefore = engineprobe::Snapshot(sets.Path());
        const auto dstBefore = engineprobe::Snapshot(dst.Path());
        const auto outside = fixture ? engineprobe::Snapshot(*fixture + "\\outside") : engineprobe::TSnapshot();
        const auto namesBefore = engineprobe::FileNames(c.targetDir);
        HANDLE lock = INVALID_HANDLE_VALUE;
        if (c.lockAccess != 0) {
            lock = CreateFileA(c.atRisk.c_str(), c.lockAccess, c.lockShare, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        }
        TProgressRecorder progress;
        try {
            SplitFile(c.source, c.targetDir, c.pieceSize, progress.Proc());
            ADD_FAILURE() << "not refused";
        } catch (const EZandrelError& e) {
            EXPECT_NE(std::string(e.what()).find("\"" + c.atRisk + "\""), std::string::npos) << e.what();
            if (!c.text.empty()) {
                EXPECT_EQ(e.what(), c.text);
            }
        }
        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
        EXPECT_TRUE(progress.Calls().empty());
        EXPECT_EQ(engineprobe::Snapshot(src.Path()), before);
        EXPECT_EQ(engineprobe::Snapshot(sets.Path()), setsBefore);
        EXPECT_EQ(engineprobe::Snapshot(dst.Path()), dstBefore);
        if (fixture) {
            EXPECT_EQ(engineprobe::Snapshot(*fixture + "\\outside"), outside);
        }
        EXPECT_EQ(engineprobe::FileNames(c.targetDir), namesBefore);
    }
    EXPECT_EQ(ReadFileBytes(dst.File("keep.bin")), "another program's file");
    EXPECT_EQ(ReadFileBytes(sets.File("hl.002")), "piece one");
    ASSERT_TRUE(SplitFile(dst.File("data.bin"), src.Path(), 4000, nullptr));
    EXPECT_EQ(ReadFileBytes(src.File("data.003")), bytes.substr(8000));
    EXPECT_EQ(ReadFileBytes(src.File("data.crc")), DescriptorText("data.bin", 12000, bytes));
    // One character less as typed: the thousandth piece fits.
    const std::string fits = dottedTarget(252);
    ASSERT_EQ((AddBackslash(fits) + "r.1000").size(), 259u);
    ASSERT_TRUE(SplitFile(dst.File("r.bin"), fits, 2, nullptr));
    EXPECT_EQ(ReadFileBytes(dst.File("sub\\r.1000")), ReadFileBytes(dst.File("r.bin")).substr(1998));
}

// A descriptor already at the descriptor's name is replaced when it names the file being split, as
// the descriptor reader reads names (trimmed at both ends) and as the file system compares them
// (ordinal, without regard to case: never a language's rules, which take "ae" for "\xe6"); a
// descriptor of at most 64 KiB is read. Anything else is another file's set.
TEST_F(SplitFileTest, AnOlderDescriptorOfTheSameFileIsReplaced)
{
    const bool ansi1252 = GetACP() == 1252;
    const std::string pad = "filename=pad.bin\r\nsize=1\r\ncrc32=0\r\n";
    const struct {
        std::string source;
        std::string described;  // the descriptor already there
        bool replaced;
        bool needs1252;
    } cases[] = {
        {" sp.bin", "filename= sp.bin\r\nsize=1\r\ncrc32=0\r\n", true, false},  // read back as "sp.bin"
        {"tab.bin", "filename=\t tab.bin \t\r\nsize=1\r\n", true, false},
        {"case.bin", "filename=CASE.BIN\r\n", true, false},
        {"\xe9t\xe9.bin", "filename=\xc9T\xc9.BIN\r\n", true, true},  // été, ÉTÉ
        {"\xff.bin", "filename=\x9f.BIN\r\n", true, true},            // ÿ, Ÿ
        {"\xe6.bin", "filename=ae.bin\r\n", false, true},
        {"stra\xdf" "e.bin", "filename=strasse.bin\r\n", false, true},
        {"co-op.bin", "filename=coop.bin\r\n", false, false},
        {"pad.bin", pad + std::string(65536 - pad.size(), ' '), true, false},  // 64 KiB exactly
        {"pad.bin", pad + std::string(65537 - pad.size(), ' '), false, false},
    };
    for (const auto& c : cases) {
        if (c.needs1252 && !ansi1252) continue;
        SCOPED_TRACE(c.source + " over " + c.described.substr(0, 40));
        TempDir target;
        const std::string source = src.File(c.source);
        const std::string content = PatternBytes(3000, 77);
        WriteFileBytes(source, content);
        const std::string descriptor = DescriptorFileName(target.File(c.source));
        WriteFileBytes(descriptor, c.described);
        if (c.replaced) {
            ASSERT_TRUE(SplitFile(source, target.Path(), 1000, nullptr));
            EXPECT_EQ(ReadFileBytes(descriptor), DescriptorText(c.source, 3000, content));
            EXPECT_EQ(engineprobe::FileNames(target.Path()).size(), 4u);
        } else {
            EXPECT_THROW(SplitFile(source, target.Path(), 1000, nullptr), EOperationRefused);
            EXPECT_EQ(ReadFileBytes(descriptor), c.described);
            EXPECT_EQ(engineprobe::FileNames(target.Path()).size(), 1u);
        }
        DeleteFileA(source.c_str());
    }
}

// Every file the copy opens for writing is looked at on its handle before anything in it changes:
// a piece name that became a link to a file elsewhere, or another name of the source, while the
// split ran, ends the split there and leaves that file as it was; a symbolic link that leads
// nowhere (from the fixture, under Wine) ends it without creating its target.
TEST_F(SplitFileTest, EachPieceIsLookedAtOnItsHandleBeforeItIsEmptied)
{
    const std::string keep = dst.File("keep.bin");
    const struct {
        const char* what;
        std::string secondName;  // becomes t.002 after the first block ("": the fixture's d.002)
        DWORD error;
    } cases[] = {
        {"a file elsewhere", keep, ERROR_CANT_RESOLVE_FILENAME},
        {"the source", src.File("t.bin"), ERROR_SHARING_VIOLATION},
        {"a link to nothing", "", ERROR_CANT_RESOLVE_FILENAME},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto fixture = engineprobe::FixtureDir();
        if (c.secondName.empty() && !fixture) continue;
        TempDir own;
        const std::string target = c.secondName.empty() ? *fixture + "\\links" : own.Path();
        const std::string name = c.secondName.empty() ? "d" : "t";
        const std::string source = src.File(name + ".bin");
        const std::string content = PatternBytes(5000, 5);
        WriteFileBytes(source, content);
        WriteFileBytes(keep, "another program's file");
        const std::string second = target + "\\" + name + ".002";
        TProgressRecorder progress;
        progress.OnCall = [&](size_t i) {
            if (i == 0 && !c.secondName.empty()) {
                EXPECT_TRUE(CreateHardLinkA(second.c_str(), c.secondName.c_str(), nullptr));
            }
            return false;
        };
        const TOutcome outcome = RunSplit(source, target, 2000, progress.Proc());
        EXPECT_EQ(outcome.Cause, TCause::CannotCreate);
        EXPECT_EQ(outcome.File, second);
        EXPECT_EQ(outcome.SystemError, c.error);
        EXPECT_EQ(progress.Calls().size(), 1u);
        EXPECT_EQ(ReadFileBytes(target + "\\" + name + ".001"), content.substr(0, 2000));
        EXPECT_FALSE(testfiles::FileExists(target + "\\" + name + ".003"));
        EXPECT_FALSE(testfiles::FileExists(target + "\\" + name + ".crc"));
        EXPECT_EQ(ReadFileBytes(keep), "another program's file");
        EXPECT_EQ(ReadFileBytes(source), content);
        if (c.secondName.empty()) {
            EXPECT_FALSE(testfiles::FileExists(target + "\\missing")) << "the link's target was not created";
            DeleteFileA((target + "\\d.001").c_str());
        } else {
            DeleteFileA(second.c_str());
        }
        DeleteFileA(source.c_str());
    }
}

TEST_F(SplitFileTest, CancelStopsAtTheNextCheck)
{
    const uint32_t B = TransferBlockSize;
    const struct {
        const char* what;
        uint32_t size, pieceSize;
        size_t cancelAt;  // index of the report that sets the flag
        std::vector<uint32_t> pieceSizes;
    } cases[] = {
        {"first report, one piece", 3 * B, 3 * B, 0, {B}},
        {"first report, many pieces", 5000, 1000, 0, {1000}},
        {"last block", 5000, 1000, 4, {1000, 1000, 1000, 1000, 1000}},
        {"last block of a long piece", 2 * B + 7, 2 * B + 7, 2, {2 * B + 7}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir target;
        const std::string source = src.File("c.bin");
        WriteFileBytes(source, PatternBytes(c.size));
        {
            TProgressRecorder progress;
            progress.OnCall = [&](size_t i) { return i == c.cancelAt; };
            EXPECT_EQ(RunSplit(source, target.Path(), c.pieceSize, progress.Proc()).Cause, TCause::Cancelled);
            EXPECT_EQ(progress.Calls().size(), c.cancelAt + 1) << "no further block, no closing report";
        }
        EXPECT_NE(CancelFlag, 0);
        const auto names = engineprobe::FileNames(target.Path());
        EXPECT_EQ(names.size(), c.pieceSizes.size());
        for (size_t k = 0; k < c.pieceSizes.size(); ++k)
            EXPECT_EQ(ReadFileBytes(PieceFileName(target.File("c.bin"), k + 1)).size(), c.pieceSizes[k]);
        EXPECT_FALSE(testfiles::FileExists(target.File("c.crc")));

        // The next operation starts with the flag cleared.
        TProgressRecorder next;
        EXPECT_TRUE(SplitFile(source, target.Path(), c.pieceSize, next.Proc()));
        ASSERT_FALSE(next.Calls().empty());
        EXPECT_EQ(next.Calls().front().CancelOnEntry, 0);
    }
}

// The host may stop an operation from its own message handling, without any progress callback:
// a message waiting when the copy starts is handled after the first block, and the split stops.
// The combine sees it the same way, still verifies, and removes its incomplete output.
TEST_F(SplitFileTest, HostMessageHandlingCanCancelBetweenBlocks)
{
    const UINT stopMessage = WM_APP + 7;
    struct TStopWindow {
        static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l)
        {
            if (m == WM_APP + 7) CancelFlag = 1;
            return DefWindowProcA(h, m, w, l);
        }
    };
    WNDCLASSA wc{};
    wc.lpfnWndProc = TStopWindow::Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZandrelStopWindow";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);

    const uint32_t B = TransferBlockSize;
    const std::string source = src.File("m.bin");
    WriteFileBytes(source, PatternBytes(8 * B));
    PostMessageA(window, stopMessage, 0, 0);
    EXPECT_FALSE(SplitFile(source, dst.Path(), 8 * B, nullptr));
    EXPECT_EQ(ReadFileBytes(dst.File("m.001")).size(), B) << "stopped after the first block";
    EXPECT_FALSE(testfiles::FileExists(dst.File("m.crc")));

    ASSERT_TRUE(SplitFile(source, dst.Path(), 8 * B, nullptr));
    TempDir out;
    TBoxWatcher boxes;
    PostMessageA(window, stopMessage, 0, 0);
    EXPECT_EQ(engineprobe::Combine(dst.File("m.crc"), out.Path(), nullptr).Cause, TCause::Cancelled);
    EXPECT_TRUE(engineprobe::FileNames(out.Path()).empty());
    EXPECT_TRUE(boxes.Seen().empty()) << "the engine shows no message";
    DestroyWindow(window);
}

// The host's messages run during all the work, not only the copy: during the checks over the
// names before the first write (a re-split over 1000 pieces asks the system about 1001 names),
// during the split's checksum pass, where a cancel still ends the split without a descriptor, and
// during the combine's check of its output. The block reports stay exactly those of the copy.
TEST_F(SplitFileTest, MessagesRunDuringTheChecksAndTheChecksumPasses)
{
    {
        SCOPED_TRACE("the checks before a re-split over 1000 pieces");
        const std::string source = src.File("many.bin");
        const std::string bytes = PatternBytes(999 * 3 + 1, 3);
        WriteFileBytes(source, bytes);
        ASSERT_TRUE(SplitFile(source, dst.Path(), 3, nullptr));
        int ticks = 0, beforeFirstWrite = 0;
        TTicker ticker;
        const std::string first = dst.File("many.001");
        ticker.OnTick = [&] {
            ++ticks;
            // Asked by name, never through a handle: piece 1 is held without sharing while written.
            WIN32_FILE_ATTRIBUTE_DATA data{};
            if (GetFileAttributesExA(first.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow == 3) ++beforeFirstWrite;
        };
        // A message waiting when the split starts: only the checks can let it run before piece 1
        // is rewritten with 4 bytes.
        for (int i = 0; i < 5000 && !(HIWORD(GetQueueStatus(QS_POSTMESSAGE)) & QS_POSTMESSAGE); ++i) Sleep(1);
        TProgressRecorder progress;
        ASSERT_TRUE(SplitFile(source, dst.Path(), 4, progress.Proc()));
        EXPECT_GE(beforeFirstWrite, 1) << ticks << " messages handled";
        EXPECT_EQ(progress.Calls().size(), 751u) << "one report per piece and the closing one";
        EXPECT_EQ(ReadFileBytes(dst.File("many.001")), bytes.substr(0, 4));
    }

    // A sparse source large enough that its checksum pass spans many clock ticks.
    const uint32_t size = 96u << 20;
    const std::string source = src.File("pass.img");
    engineprobe::MakeSparseFile(source, size, PatternBytes(5000, 7));
    const uint32_t blocks = size / TransferBlockSize;
    {
        SCOPED_TRACE("a cancel during the split's checksum pass");
        TempDir target;
        int duringPass = 0;
        TTicker ticker;
        ticker.OnTick = [&] {
            if (!HeldByChecksumPass(source)) return;
            ++duringPass;
            CancelFlag = 1;
        };
        TProgressRecorder progress;
        EXPECT_EQ(RunSplit(source, target.Path(), size, progress.Proc()).Cause, TCause::Cancelled);
        EXPECT_GE(duringPass, 1);
        EXPECT_EQ(progress.Calls().size(), blocks) << "every block reported, no closing report";
        EXPECT_EQ(engineprobe::FileNames(target.Path()), std::vector<std::string>{"pass.001"});
    }
    {
        SCOPED_TRACE("the combine's check of its output");
        ASSERT_TRUE(SplitFile(source, dst.Path(), size, nullptr));
        TempDir out;
        const std::string output = out.File("pass.img");
        int duringCheck = 0;
        TTicker ticker;
        // The output is checked under its temporary name, before it gets its own.
        ticker.OnTick = [&] {
            if (HeldByChecksumPass(output + ".part")) ++duringCheck;
        };
        TProgressRecorder progress;
        EXPECT_TRUE(engineprobe::Combine(dst.File("pass.crc"), out.Path(), progress.Proc()).Ok());
        EXPECT_GE(duringCheck, 1);
        EXPECT_EQ(progress.Calls().size(), blocks + 2u) << "the blocks, the read at the end, the closing report";
    }
    DeleteFileA(source.c_str());
}

TEST_F(SplitFileTest, NoProgressCallbackIsFine)
{
    const std::string source = src.File("quiet.bin");
    WriteFileBytes(source, PatternBytes(300000));
    EXPECT_TRUE(SplitFile(source, dst.Path(), 100000, nullptr));
    EXPECT_EQ(engineprobe::FileNames(dst.Path()).size(), 4u);
}

TEST_F(SplitFileTest, DriveRootsKeepTheirSeparator)
{
    if (!engineprobe::FixtureDir() || !testfiles::FileExists("Q:\\zandrel-engine.mark"))
        GTEST_SKIP() << "drive Q: is mapped by the engine test fixture (run through ctest)";
    CreateDirectoryA("Q:\\sub", nullptr);
    const struct {
        const char* source;
        const char* target;
        const char* sourceDir;
        const char* targetDir;
    } cases[] = {
        {"Q:\\root.txt", "Q:\\", "Q:\\", "Q:\\"},
        {"Q:\\root.txt", "Q:", "Q:\\", "Q:\\"},
        {"Q:\\root.txt", "Q:\\sub", "Q:\\", "Q:\\sub"},
        {"Q:\\sub\\deep.txt", "Q:\\", "Q:\\sub", "Q:\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " -> " + c.target);
        WriteFileBytes(c.source, PatternBytes(20000));
        TProgressRecorder progress;
        ASSERT_TRUE(SplitFile(c.source, c.target, 15000, progress.Proc()));
        ASSERT_EQ(progress.Calls().size(), 3u);
        for (const auto& call : progress.Calls()) {
            EXPECT_EQ(call.SourceDir, c.sourceDir);
            EXPECT_EQ(call.TargetDir, c.targetDir);
        }
        const std::string base = std::string(c.targetDir) + (std::string(c.targetDir).back() == '\\' ? "" : "\\") +
                                 ExtractFileName(c.source);
        EXPECT_EQ(ReadFileBytes(PieceFileName(base, 2)).size(), 5000u);
        EXPECT_TRUE(testfiles::FileExists(DescriptorFileName(base)));
    }
    for (const char* f : {"Q:\\root.txt", "Q:\\root.001", "Q:\\root.002", "Q:\\root.crc", "Q:\\deep.001",
                          "Q:\\deep.002", "Q:\\deep.crc"})
        DeleteFileA(f);
    testfiles::RemoveTree("Q:\\sub");
}
