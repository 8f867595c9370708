// The file classes on real files: what each intention lets others do meanwhile, what creation does
// to a file already there, the error kept after a failure, and the handle closed at the end. Then
// the descriptor file on disk: the bytes that go through the system either way, the bound on what
// is read, the error texts a user sees and the handle let go on every path (what the three lines
// say and how they are read is the core's, tests/core/Descriptor_test.cpp).
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <set>

#include "DescriptorFile.h"
#include "Errors.h"
#include "Files.h"
#include "Rows.h"
#include "SysError.h"
#include "TestFiles.h"

using namespace testfiles;

namespace {

// path opened as another program would open it (sharing everything by default), closed when let
// go; empty when it cannot be opened.
using THandle = std::unique_ptr<void, BOOL(WINAPI*)(HANDLE)>;
THandle OpenAs(const std::string& path, DWORD access,
               DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)
{
    HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
    return {h == INVALID_HANDLE_VALUE ? nullptr : h, &CloseHandle};
}

// Whether another program could open path now with this access.
bool OthersCanOpen(const std::string& path, DWORD access) { return OpenAs(path, access) != nullptr; }

// Whether path can be opened with no sharing at all, that is, no handle to it is left open.
bool NobodyHolds(const std::string& path) { return OpenAs(path, GENERIC_READ | GENERIC_WRITE, 0) != nullptr; }

// The message of the error of type E that fn raises, or "" when it raises none.
template <class E = EFileError, class Fn>
std::string FileErrorOf(Fn fn)
{
    try {
        fn();
    } catch (const E& e) {
        return e.what();
    }
    return "";
}

// The text of a failure to open ("open") or to create ("create") path for the system's code.
std::string Cannot(const char* verb, const std::string& path, DWORD code)
{
    return std::string("Cannot ") + verb + " file \"" + path + "\". " + SysErrorMessage(code);
}

const std::string DescriptorLines = "filename=a.bin\r\nsize=1\r\ncrc32=1\r\n";

// A scratch directory and the file each test works on.
class Files : public ::testing::Test {
protected:
    // plain.bin, reached by its name alone; linked.bin, with a second name: second.bin; held.bin.
    void MakeNamedFiles()
    {
        WriteFileBytes(dir.File("plain.bin"), "plain");
        WriteFileBytes(dir.File("held.bin"), "held");
        WriteFileBytes(dir.File("linked.bin"), "linked");
        ASSERT_TRUE(CreateHardLinkA(dir.File("second.bin").c_str(), dir.File("linked.bin").c_str(), nullptr));
    }
    TempDir dir;
    const std::string path = dir.File("f.bin");
};
using DescriptorFile = Files;

// What each intention lets other programs do while the file is open, on a file of ten bytes (none
// for a creation that must be new), and that it is closed at the end. in, out: a TInFile or
// TOutFile intention (-1: none); read, write: whether another program may read or write meanwhile.
const struct TIntentRow { const char* name; int in = -1, out = -1; bool read = false, write = false; } Intents[] = {
    {.name = "ReadSharedWithWriters", .in = TInFile::ReadSharedWithWriters, .read = true, .write = true},
    {.name = "ReadSharedWithReaders", .in = TInFile::ReadSharedWithReaders, .read = true},
    {.name = "InspectOnly", .in = TInFile::InspectOnly, .read = true, .write = true},
    {.name = "CreateNewExclusive", .out = TOutFile::CreateNewExclusive},
    {.name = "ReplaceExclusive", .out = TOutFile::ReplaceExclusive},
};
class FileIntent : public Files, public ::testing::WithParamInterface<TIntentRow> {};
ZANDREL_ROWS(FileIntent, Intents);

// Replacing never writes through another name: a file already there is looked at on its handle
// and emptied only when it is a file on disk that its name alone reaches and not the file that
// must not be written (held.bin); otherwise it stays as it was (after: its bytes; a device reads
// none) and the error says why.
const struct TReplaceRow { const char *name, *file; DWORD error = NO_ERROR; const char* after = ""; } Replaces[] = {
    {.name = "NewFile", .file = "new.bin"},
    {.name = "PlainFile", .file = "plain.bin"},
    {.name = "HardLinked", .file = "linked.bin", .error = ERROR_CANT_RESOLVE_FILENAME, .after = "linked"},
    {.name = "ItsSecondName", .file = "second.bin", .error = ERROR_CANT_RESOLVE_FILENAME, .after = "linked"},
    {.name = "TheFileNotToWrite", .file = "held.bin", .error = ERROR_SHARING_VIOLATION, .after = "held"},
    {.name = "DeviceName", .file = "nul.txt", .error = ERROR_NOT_SUPPORTED},
};
class FileReplace : public Files, public ::testing::WithParamInterface<TReplaceRow> {};
ZANDREL_ROWS(FileReplace, Replaces);

// No file larger than the bound is read: the descriptor's lines padded with spaces to size bytes.
const struct TBoundRow { const char* name; size_t size; } Bounds[] = {
    {.name = "OneByteUnderTheBound", .size = MaxDescriptorBytes - 1},
    {.name = "AtTheBound", .size = MaxDescriptorBytes},
    {.name = "OneByteOverTheBound", .size = MaxDescriptorBytes + 1},
    {.name = "ThreeMillionBytes", .size = 3000000},
};
class DescriptorBound : public Files, public ::testing::WithParamInterface<TBoundRow> {};
ZANDREL_ROWS(DescriptorBound, Bounds);

}  // namespace

TEST_P(FileIntent, SharesWhatItsIntentionSaysThenClosesAtTheEnd)
{
    const TIntentRow& c = GetParam();
    if (c.out != TOutFile::CreateNewExclusive) WriteFileBytes(path, "0123456789");
    {
        TInFile in;
        TOutFile out;
        ASSERT_TRUE(c.in >= 0 ? in.Open(path, TInFile::TIntent(c.in)) : out.Create(path, TOutFile::TIntent(c.out)));
        EXPECT_EQ(OthersCanOpen(path, GENERIC_READ), c.read);
        EXPECT_EQ(OthersCanOpen(path, GENERIC_WRITE), c.write);
        TFile& file = c.in >= 0 ? static_cast<TFile&>(in) : out;
        EXPECT_TRUE(file.IsDisk());
        EXPECT_EQ(file.Size(), std::optional<uint64_t>(c.out >= 0 ? 0u : 10u)) << "created files start empty";
    }
    EXPECT_TRUE(OthersCanOpen(path, GENERIC_READ | GENERIC_WRITE)) << "closed at the end of its scope";
}

TEST_F(Files, OnlyALookOpensAFileAnotherProgramHoldsAlone)
{
    WriteFileBytes(path, "0123456789");
    const THandle other = OpenAs(path, GENERIC_READ | GENERIC_WRITE, 0);
    ASSERT_TRUE(other);
    TInFile look, reader;
    EXPECT_TRUE(look.Open(path, TInFile::InspectOnly)) << "a look needs no access";
    EXPECT_FALSE(reader.Open(path, TInFile::ReadSharedWithWriters));
    EXPECT_EQ(reader.Error(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST_F(Files, CreateNewWritesAllButNeverOverAFileThere)
{
    TOutFile out;
    ASSERT_TRUE(out.Create(path, TOutFile::CreateNewExclusive));
    EXPECT_TRUE(out.WriteAll("abc", 3));
    EXPECT_TRUE(out.WriteAll("", 0)) << "an empty write is a write";
    EXPECT_EQ(out.Size(), std::optional<uint64_t>(3));
    EXPECT_TRUE(out.Close());
    EXPECT_TRUE(out.Close()) << "closing a closed file succeeds";
    TOutFile again;
    EXPECT_FALSE(again.Create(path, TOutFile::CreateNewExclusive)) << "never over an existing file";
    EXPECT_EQ(again.Error(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(ReadFileBytes(path), "abc");
}

TEST_F(Files, SameFileAsComparesFilesNotTheirBytes)
{
    WriteFileBytes(path, "abc");
    WriteFileBytes(dir.File("other.bin"), "abc");
    TInFile a, b, other;
    ASSERT_TRUE(a.Open(path, TInFile::ReadSharedWithWriters) && b.Open(path, TInFile::InspectOnly) &&
                other.Open(dir.File("other.bin"), TInFile::ReadSharedWithReaders));
    EXPECT_TRUE(a.SameFileAs(b));
    EXPECT_FALSE(a.SameFileAs(other)) << "the same bytes are not the same file";
}

TEST_F(Files, ReadsFromWhereItSeekedUpToTheEnd)
{
    WriteFileBytes(path, "abc");
    TInFile a;
    ASSERT_TRUE(a.Open(path, TInFile::ReadSharedWithWriters));
    char buffer[8] = {};
    DWORD got = 99;
    ASSERT_TRUE(a.Seek(1));
    ASSERT_TRUE(a.Read(buffer, sizeof buffer, got));
    EXPECT_EQ(std::string(buffer, got), "bc");
    ASSERT_TRUE(a.Read(buffer, sizeof buffer, got));
    EXPECT_EQ(got, 0u) << "at the end";
}

TEST_F(Files, AMissingFileIsNotOpenItsErrorKept)
{
    TInFile missing;
    EXPECT_FALSE(missing.Open(dir.File("absent.bin"), TInFile::ReadSharedWithReaders));
    EXPECT_EQ(missing.Error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(missing.IsOpen());
}

TEST_F(Files, FileSizeByNameSizesFilesOnly)
{
    WriteFileBytes(path, "abc");
    EXPECT_EQ(FileSizeByName(path), std::optional<uint64_t>(3));
    EXPECT_FALSE(FileSizeByName(dir.Path()).has_value()) << "a directory has no file size";
}

TEST_P(FileReplace, LooksAtTheFileBeforeEmptyingIt)
{
    const TReplaceRow& c = GetParam();
    MakeNamedFiles();
    TInFile held;
    ASSERT_TRUE(held.Open(dir.File("held.bin"), TInFile::InspectOnly));
    TOutFile out;
    EXPECT_EQ(out.Create(dir.File(c.file), TOutFile::ReplaceExclusive, &held), c.error == ERROR_SUCCESS);
    EXPECT_EQ(out.Error(), c.error);
    EXPECT_EQ(out.IsOpen(), c.error == ERROR_SUCCESS) << "a refused file is not held";
    out.Close();
    EXPECT_EQ(ReadFileBytes(dir.File(c.file)), c.after);
}

TEST_F(Files, OnlyReachedByAnySpellingOfItsOneName)
{
    MakeNamedFiles();
    TInFile direct, linked;
    ASSERT_TRUE(direct.Open(dir.File("plain.bin"), TInFile::InspectOnly) &&
                linked.Open(dir.File("second.bin"), TInFile::InspectOnly));
    EXPECT_TRUE(direct.OnlyReachedBy(dir.File("plain.bin")));
    EXPECT_TRUE(direct.OnlyReachedBy(dir.File("sub\\..\\PLAIN.BIN"))) << "spelling and case do not matter";
    EXPECT_FALSE(linked.OnlyReachedBy(dir.File("second.bin")));
}

// No text-mode translation when read. (The bytes written, also over a longer file, are the
// split's to check: tests/win/split_test.cpp, on the same path.)
TEST_F(DescriptorFile, ReadsBareLineEndsThenLetsTheFileGo)
{
    WriteFileBytes(path, "filename=r.txt\nsize=10\rcrc32=ABC\r\n");
    const TDescriptor d = ReadDescriptorFile(path);
    EXPECT_EQ(d.FileName, "r.txt");
    EXPECT_EQ(d.Size, 10u);
    EXPECT_EQ(d.CRC, 0xABCu);
    EXPECT_TRUE(NobodyHolds(path));
}

TEST_F(DescriptorFile, ASizeThatIsNoNumberLetsTheFileGo)
{
    WriteFileBytes(path, "filename=x\r\nsize=12a\r\ncrc32=0\r\n");
    EXPECT_EQ(FileErrorOf<EConvertError>([&] { ReadDescriptorFile(path); }), "'12a' is not a valid integer value");
    EXPECT_TRUE(NobodyHolds(path)) << "after the conversion error";
}

// A path the system does not reach as a file is named in the error: a missing directory, a
// directory. (A missing file's text is the combine dialog's: tests/ui/commands_test.cpp, the
// Execute entries.)
TEST_F(DescriptorFile, TheErrorNamesAPathThatIsNoFile)
{
    const std::string noDir = dir.File("nodir\\x.crc");
    EXPECT_EQ(FileErrorOf([&] { ReadDescriptorFile(noDir); }), Cannot("open", noDir, ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(FileErrorOf([&] { WriteDescriptorFile(noDir, "x", 1, 1); }),
              Cannot("create", noDir, ERROR_PATH_NOT_FOUND));
    const std::string error = FileErrorOf([&] { WriteDescriptorFile(dir.Path(), "x", 1, 1); });
    EXPECT_EQ(error.rfind("Cannot create file \"" + dir.Path() + "\". ", 0), 0u) << "a directory is no file: " << error;
}

// A descriptor that could not be replaced stays as it was.
TEST_F(DescriptorFile, AFileHeldAloneIsNeitherReadNorReplaced)
{
    const std::string locked = dir.File("locked.crc");
    WriteFileBytes(locked, "filename=a\r\nsize=1\r\ncrc32=1\r\n");
    THandle other = OpenAs(locked, GENERIC_READ | GENERIC_WRITE, 0);
    ASSERT_TRUE(other);
    EXPECT_EQ(FileErrorOf([&] { ReadDescriptorFile(locked); }), Cannot("open", locked, ERROR_SHARING_VIOLATION));
    EXPECT_EQ(FileErrorOf([&] { WriteDescriptorFile(locked, "b", 2, 2); }),
              Cannot("create", locked, ERROR_SHARING_VIOLATION));
    other.reset();
    EXPECT_EQ(ReadFileBytes(locked), "filename=a\r\nsize=1\r\ncrc32=1\r\n");
}

TEST_P(DescriptorBound, NoFileLargerThanTheBoundIsRead)
{
    const size_t size = GetParam().size;
    const bool read = size <= MaxDescriptorBytes;
    WriteFileBytes(path, DescriptorLines + std::string(size - DescriptorLines.size(), ' '));
    DWORD error = ERROR_SUCCESS;
    const std::optional<std::string> text = ReadDescriptorText(path, error);
    EXPECT_EQ(text ? text->size() : 0, read ? size : 0);
    EXPECT_EQ(error, read ? DWORD(ERROR_SUCCESS) : DWORD(ERROR_FILE_TOO_LARGE));
    EXPECT_EQ(ReadDescriptorFileName(path), read ? std::optional<std::string>("a.bin") : std::nullopt);
    EXPECT_EQ(FileErrorOf([&] { ReadDescriptorFile(path); }), read ? "" : Cannot("open", path, ERROR_FILE_TOO_LARGE));
}

TEST_F(DescriptorFile, ACallerMayAskForASmallerBound)
{
    WriteFileBytes(path, DescriptorLines);
    DWORD error = ERROR_SUCCESS;
    EXPECT_FALSE(ReadDescriptorText(path, error, static_cast<uint32_t>(DescriptorLines.size() - 1)).has_value());
    EXPECT_EQ(ReadDescriptorText(path, error, static_cast<uint32_t>(DescriptorLines.size())), DescriptorLines);
}

// The system's text in these errors: a line of its own for each code (a missing file reads
// otherwise than a missing path), without a line break after it.
TEST(SysErrorText, IsOneLineOfItsOwnForEachCode)
{
    std::set<std::string> texts;
    for (const DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
                             ERROR_DISK_FULL}) {
        SCOPED_TRACE(code);
        const std::string text = SysErrorMessage(code);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
        EXPECT_TRUE(texts.insert(text).second) << text;
    }
}
