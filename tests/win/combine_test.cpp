// CombineFiles on real files: round trips, existing targets, missing and surplus pieces, the
// zero-length read after a piece of whole blocks, cancelling, descriptors without a name or with a
// name that would leave the target directory, and the outcome with its cause, heard before the
// closing report (the engine itself shows no message).
#include <gtest/gtest.h>

#include <windows.h>

#include "App.h"
#include "BoxWatcher.h"
#include "CRC32Core.h"
#include "EngineProbe.h"
#include "Errors.h"
#include "PieceNames.h"
#include "PiecesTest.h"
#include "Progress.h"
#include "SplitFiles.h"
#include "TestFiles.h"

using engineprobe::TProgressRecorder;
using testfiles::FileExists;
using testfiles::PatternBytes;
using testfiles::ReadFileBytes;
using testfiles::TempDir;
using testfiles::WriteFileBytes;

namespace {

// A top-level window standing in for the host's, made the owner window for each test.
class CombineFilesTest : public TPiecesTest {
protected:
    static void SetUpTestSuite() { BuildCRCTable(); }
    void SetUp() override
    {
        host_ = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(host_, nullptr);
        App::SetOwnerWindow(host_);
    }
    void TearDown() override
    {
        App::SetOwnerWindow(nullptr);
        DestroyWindow(host_);
    }

    // The engine shows no message, whatever the outcome: the combine dialog reports it.
    static void ExpectNoBox(TBoxWatcher& boxes) { EXPECT_TRUE(boxes.Seen().empty()); }

    HWND host_ = nullptr;
};

}  // namespace

TEST_F(CombineFilesTest, RoundTrips)
{
    const uint32_t B = TransferBlockSize;
    const struct {
        const char* name;
        uint32_t size, pieceSize;
    } cases[] = {
        {"empty.bin", 0, 100}, {"one.bin", 1, 100},          {"small.txt", 99, 10},
        {"block.bin", B, B},   {"blocks.bin", 3 * B + 5, 2 * B}, {"thousand.dat", 999 * 2 + 1, 2},
        {"odd.bin", 300001, 300000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir out;
        const std::string bytes = PatternBytes(c.size, c.size + 3);
        const std::string descriptor = Pieces(c.name, bytes, c.pieceSize);
        TBoxWatcher boxes;
        TProgressRecorder progress;
        EXPECT_TRUE(engineprobe::Combine(descriptor, out.Path(), progress.Proc()).Ok());
        EXPECT_EQ(ReadFileBytes(out.File(c.name)), bytes);
        EXPECT_EQ(engineprobe::FileNames(out.Path()).size(), 1u);
        ASSERT_FALSE(progress.Calls().empty());
        for (const auto& call : progress.Calls()) {
            EXPECT_EQ(call.Status, "Combining...");
            EXPECT_EQ(call.FileName, out.File(c.name));
            EXPECT_EQ(call.SourceDir, pieces.Path());
            EXPECT_EQ(call.TargetDir, out.Path());
            EXPECT_EQ(call.Cancel, const_cast<uint8_t*>(&CancelFlag));
            if (c.size < 100) EXPECT_EQ(call.Percent, 0);
        }
        EXPECT_EQ(progress.Calls().back().Percent, ProgressPercent(c.size, c.size));
        ExpectNoBox(boxes);
    }
}

TEST_F(CombineFilesTest, APieceOfWholeBlocksEndsWithAZeroRead)
{
    // Two pieces of exactly 2 blocks: each ends with a read of 0 bytes, an empty write and one more
    // report with the same percent.
    const uint32_t B = TransferBlockSize;
    const uint32_t size = 4 * B;
    const std::string descriptor = Pieces("whole.bin", PatternBytes(size), 2 * B);
    TProgressRecorder progress;
    TBoxWatcher boxes;
    ASSERT_TRUE(CombineFiles(descriptor, target.Path(), progress.Proc()));
    const std::vector<int32_t> expected = {
        BlockPercent(B, size),     BlockPercent(2 * B, size), BlockPercent(2 * B, size),
        BlockPercent(3 * B, size), 99,                        99,
        100,
    };
    EXPECT_EQ(progress.Percents(), expected);
    EXPECT_EQ(expected[0], 25);
}

TEST_F(CombineFilesTest, ExistingTargetIsVerifiedNeverOverwritten)
{
    const std::string bytes = PatternBytes(20000, 5);
    const std::string descriptor = Pieces("kept.bin", bytes, 7000);
    const struct {
        const char* what;
        std::string existing;
        bool result;
    } cases[] = {
        {"the same file", bytes, true},
        {"a different file", PatternBytes(20000, 6), false},
        {"the same bytes and more", bytes + "x", false},
        {"an empty file", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string existing = target.File("kept.bin");
        WriteFileBytes(existing, c.existing);
        const auto before = engineprobe::Stamp(existing);
        Sleep(20);
        TBoxWatcher boxes;
        TProgressRecorder progress;
        const TOutcome outcome = engineprobe::Combine(descriptor, target.Path(), progress.Proc());
        EXPECT_EQ(outcome.Ok(), c.result);
        if (!c.result) {
            EXPECT_EQ(outcome.Cause, TCause::DifferentFileThere);
            EXPECT_EQ(outcome.File, existing);
        }
        EXPECT_EQ(ReadFileBytes(existing), c.existing);
        EXPECT_TRUE(engineprobe::Stamp(existing) == before);
        ASSERT_EQ(progress.Calls().size(), 1u) << "only the closing report: nothing copied";
        EXPECT_EQ(progress.Calls()[0].Percent, 0);
        ExpectNoBox(boxes);
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
    {
        TBoxWatcher boxes;
        EXPECT_TRUE(engineprobe::Combine(descriptor, target.Path(), nullptr).Ok());
        EXPECT_EQ(ReadFileBytes(target.File("set.bin")), bytes);
        ExpectNoBox(boxes);
    }
    DeleteFileA(target.File("set.bin").c_str());
    {
        HANDLE lock = CreateFileA(surplus.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        TBoxWatcher boxes;
        EXPECT_TRUE(CombineFiles(descriptor, target.Path(), nullptr));
        CloseHandle(lock);
        DeleteFileA(target.File("set.bin").c_str());
    }

    // A missing piece before the size is reached: the partial output is deleted.
    const std::string saved = ReadFileBytes(third);
    DeleteFileA(third.c_str());
    {
        TBoxWatcher boxes;
        TProgressRecorder progress;
        const TOutcome outcome = engineprobe::Combine(descriptor, target.Path(), progress.Proc());
        EXPECT_EQ(outcome.Cause, TCause::PieceMissing);
        EXPECT_EQ(outcome.File, third);
        EXPECT_TRUE(engineprobe::FileNames(target.Path()).empty());
        ExpectNoBox(boxes);
        EXPECT_EQ(progress.Percents(), (std::vector<int32_t>{40, 80, 80}));
    }
    WriteFileBytes(third, saved);
}

TEST_F(CombineFilesTest, Cancelling)
{
    const uint32_t B = TransferBlockSize;
    const uint32_t size = 2 * B + 10;
    const std::string bytes = PatternBytes(size, 4);
    const std::string descriptor = Pieces("cancel.bin", bytes, B + 5);  // two pieces, two blocks each
    const struct {
        const char* what;
        size_t cancelAt;
        bool result;
        size_t calls;
    } cases[] = {
        // During the very last block the output is already complete: it passes the check.
        {"last block", 3, true, 5},
        {"first block", 0, false, 2},
        {"end of the first piece", 1, false, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TBoxWatcher boxes;
        TProgressRecorder progress;
        progress.OnCall = [&](size_t i) { return i == c.cancelAt; };
        const TOutcome outcome = engineprobe::Combine(descriptor, target.Path(), progress.Proc());
        EXPECT_EQ(outcome.Cause, c.result ? TCause::None : TCause::Cancelled);
        EXPECT_EQ(progress.Calls().size(), c.calls) << "no block after the cancel, then the closing report";
        EXPECT_EQ(FileExists(target.File("cancel.bin")), c.result);
        ExpectNoBox(boxes);
        DeleteFileA(target.File("cancel.bin").c_str());
    }
    // The next command starts afresh.
    TProgressRecorder next;
    TBoxWatcher boxes;
    EXPECT_TRUE(CombineFiles(descriptor, target.Path(), next.Proc()));
    EXPECT_EQ(next.Calls().front().CancelOnEntry, 0);
}

TEST_F(CombineFilesTest, DescriptorsWithoutAUsableName)
{
    WriteFileBytes(pieces.File("x.001"), "abc");
    const std::string descriptor = pieces.File("x.crc");

    // No filename line: no checksum file, refused before anything is made (the engine faults'
    // table has the other files that are not checksum files).
    WriteFileBytes(descriptor, "size=3\r\ncrc32=352441C2\r\n");
    {
        TBoxWatcher boxes;
        TProgressRecorder progress;
        EXPECT_THROW(engineprobe::Combine(descriptor, target.Path(), progress.Proc()), EOperationRefused);
        EXPECT_TRUE(engineprobe::Snapshot(target.Path()).empty());
        ExpectNoBox(boxes);
        EXPECT_TRUE(progress.Calls().empty());
    }

    // Names that would reach outside the target directory are refused before anything is made.
    const char* names[] = {"..\\escape.bin", "../escape.bin", "sub\\in.bin", "C:escape.bin",
                           "Z:\\tmp\\escape.bin", "..", ".", "a:b"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        WriteFileBytes(descriptor, std::string("filename=") + name + "\r\nsize=3\r\ncrc32=352441C2\r\n");
        const auto around = engineprobe::Snapshot(work.Path());
        TBoxWatcher boxes;
        TProgressRecorder progress;
        try {
            CombineFiles(descriptor, target.Path() + "\\", progress.Proc());
            ADD_FAILURE() << "no error raised";
        } catch (const EOperationRefused& e) {
            const std::string text = e.what();
            EXPECT_NE(text.find(descriptor), std::string::npos) << text;
            EXPECT_NE(text.find(std::string("\"") + name + "\""), std::string::npos) << text;
        }
        EXPECT_TRUE(progress.Calls().empty());
        EXPECT_TRUE(engineprobe::Snapshot(target.Path()).empty());
        EXPECT_FALSE(FileExists(target.Path() + "\\..\\escape.bin"));
        EXPECT_EQ(engineprobe::Snapshot(work.Path()), around);
        ExpectNoBox(boxes);
    }
}

TEST_F(CombineFilesTest, DescriptorErrorsPassThrough)
{
    TBoxWatcher boxes;
    EXPECT_THROW(CombineFiles(pieces.File("absent.crc"), target.Path(), nullptr), EFileError);
    WriteFileBytes(pieces.File("bad.crc"), "filename=bad.bin\r\nsize=12x\r\ncrc32=0\r\n");
    WriteFileBytes(pieces.File("bad.001"), "abc");
    try {
        CombineFiles(pieces.File("bad.crc"), target.Path(), nullptr);
        ADD_FAILURE() << "no error raised";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'12x' is not a valid integer value");
    }
    EXPECT_TRUE(engineprobe::Snapshot(target.Path()).empty());
}
