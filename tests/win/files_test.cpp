// The file classes on real files: what each intention lets others do meanwhile, what creation does
// to a file already there, the error kept after a failure, and the handle closed at the end. Then
// the descriptor file on disk: the bytes that go through the system either way, the bound on what
// is read, the error texts a user sees and the handle let go on every path (what the three lines
// say and how they are read is the core's, tests/core/Descriptor_test.cpp).
#include <gtest/gtest.h>

#include <windows.h>

#include "DescriptorFile.h"
#include "Errors.h"
#include "Files.h"
#include "SysError.h"
#include "TestFiles.h"

using testfiles::ReadFileBytes;
using testfiles::TempDir;
using testfiles::WriteFileBytes;

namespace {

// Whether another program could open path now with this access (sharing everything by default).
bool OthersCanOpen(const std::string& path, DWORD access,
                   DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)
{
    HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

// Whether path can be opened with no sharing at all, that is, no handle to it is left open.
bool NobodyHolds(const std::string& path) { return OthersCanOpen(path, GENERIC_READ | GENERIC_WRITE, 0); }

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

}  // namespace

TEST(Files, WhatEachIntentionLetsOthersDoReadWriteAndTheErrorsKept)
{
    TempDir dir;
    const std::string path = dir.File("f.bin");
    const struct {
        const char* what;
        int in;   // a TInFile intention, or -1
        int out;  // a TOutFile intention, or -1
        bool othersRead, othersWrite;
    } cases[] = {
        {"read, shared with writers", TInFile::ReadSharedWithWriters, -1, true, true},
        {"read, shared with readers", TInFile::ReadSharedWithReaders, -1, true, false},
        {"inspect only", TInFile::InspectOnly, -1, true, true},
        {"create new, exclusive", -1, TOutFile::CreateNewExclusive, false, false},
        {"replace, exclusive", -1, TOutFile::ReplaceExclusive, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.out == TOutFile::CreateNewExclusive) DeleteFileA(path.c_str());
        else WriteFileBytes(path, "0123456789");
        {
            TInFile in;
            TOutFile out;
            ASSERT_TRUE(c.in >= 0 ? in.Open(path, TInFile::TIntent(c.in)) : out.Create(path, TOutFile::TIntent(c.out)));
            EXPECT_EQ(OthersCanOpen(path, GENERIC_READ), c.othersRead);
            EXPECT_EQ(OthersCanOpen(path, GENERIC_WRITE), c.othersWrite);
            TFile& file = c.in >= 0 ? static_cast<TFile&>(in) : out;
            EXPECT_TRUE(file.IsDisk());
            EXPECT_EQ(file.Size(), std::optional<uint64_t>(c.out >= 0 ? 0u : 10u)) << "created files start empty";
        }
        EXPECT_TRUE(OthersCanOpen(path, GENERIC_READ | GENERIC_WRITE)) << "closed at the end of its scope";
        HANDLE exclusive = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
        TInFile look;
        EXPECT_TRUE(look.Open(path, TInFile::InspectOnly))
            << "a look needs no access: it answers also while another program holds the file alone";
        TInFile reader;
        EXPECT_FALSE(reader.Open(path, TInFile::ReadSharedWithWriters));
        EXPECT_EQ(reader.Error(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        CloseHandle(exclusive);
    }

    // Reading, writing and the errors kept.
    DeleteFileA(path.c_str());
    {
        TOutFile out;
        ASSERT_TRUE(out.Create(path, TOutFile::CreateNewExclusive));
        EXPECT_TRUE(out.WriteAll("abc", 3));
        EXPECT_TRUE(out.WriteAll("", 0)) << "an empty write is a write";
        EXPECT_EQ(out.Size(), std::optional<uint64_t>(3));
        EXPECT_TRUE(out.Close());
        EXPECT_TRUE(out.Close()) << "closing a closed file succeeds";
    }
    TOutFile again;
    EXPECT_FALSE(again.Create(path, TOutFile::CreateNewExclusive)) << "never over an existing file";
    EXPECT_EQ(again.Error(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(ReadFileBytes(path), "abc");

    TInFile a, b, other;
    WriteFileBytes(dir.File("other.bin"), "abc");
    ASSERT_TRUE(a.Open(path, TInFile::ReadSharedWithWriters) && b.Open(path, TInFile::InspectOnly) &&
                other.Open(dir.File("other.bin"), TInFile::ReadSharedWithReaders));
    EXPECT_TRUE(a.SameFileAs(b));
    EXPECT_FALSE(a.SameFileAs(other)) << "the same bytes are not the same file";

    char buffer[8] = {};
    DWORD got = 99;
    ASSERT_TRUE(a.Seek(1));
    ASSERT_TRUE(a.Read(buffer, sizeof buffer, got));
    EXPECT_EQ(std::string(buffer, got), "bc");
    ASSERT_TRUE(a.Read(buffer, sizeof buffer, got));
    EXPECT_EQ(got, 0u) << "at the end";

    TInFile missing;
    EXPECT_FALSE(missing.Open(dir.File("absent.bin"), TInFile::ReadSharedWithReaders));
    EXPECT_EQ(missing.Error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(FileSizeByName(path), std::optional<uint64_t>(3));
    EXPECT_FALSE(FileSizeByName(dir.Path()).has_value()) << "a directory has no file size";
}

// Replacing never writes through another name: a file already there is looked at on its handle
// and emptied only when it is a file on disk that its name alone reaches and not the file that
// must not be written; otherwise it stays as it was and the error says why.
TEST(Files, ReplaceLooksAtTheFileBeforeEmptyingIt)
{
    TempDir dir;
    WriteFileBytes(dir.File("plain.bin"), "plain");
    WriteFileBytes(dir.File("linked.bin"), "linked");
    ASSERT_TRUE(CreateHardLinkA(dir.File("second.bin").c_str(), dir.File("linked.bin").c_str(), nullptr));
    WriteFileBytes(dir.File("held.bin"), "held");
    TInFile held;
    ASSERT_TRUE(held.Open(dir.File("held.bin"), TInFile::InspectOnly));
    const struct {
        const char* name;
        DWORD error;  // ERROR_SUCCESS: replaced
        const char* after;
    } cases[] = {
        {"new.bin", ERROR_SUCCESS, ""},       {"plain.bin", ERROR_SUCCESS, ""},
        {"linked.bin", ERROR_CANT_RESOLVE_FILENAME, "linked"}, {"second.bin", ERROR_CANT_RESOLVE_FILENAME, "linked"},
        {"held.bin", ERROR_SHARING_VIOLATION, "held"},         {"nul.txt", ERROR_NOT_SUPPORTED, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TOutFile out;
        EXPECT_EQ(out.Create(dir.File(c.name), TOutFile::ReplaceExclusive, &held), c.error == ERROR_SUCCESS);
        EXPECT_EQ(out.Error(), c.error);
        EXPECT_EQ(out.IsOpen(), c.error == ERROR_SUCCESS) << "a refused file is not held";
        out.Close();
        if (c.after) {
            EXPECT_EQ(ReadFileBytes(dir.File(c.name)), c.after);
        }
    }
    TInFile direct, linked;
    ASSERT_TRUE(direct.Open(dir.File("plain.bin"), TInFile::InspectOnly) &&
                linked.Open(dir.File("second.bin"), TInFile::InspectOnly));
    EXPECT_TRUE(direct.OnlyReachedBy(dir.File("plain.bin")));
    EXPECT_TRUE(direct.OnlyReachedBy(dir.File("sub\\..\\PLAIN.BIN"))) << "spelling and case do not matter";
    EXPECT_FALSE(linked.OnlyReachedBy(dir.File("second.bin")));
}

// No text-mode translation when read, the bound on what is read, the errors a user sees, and no
// handle left behind, also after a size that is no number. (The bytes written, also over a longer
// file, are the split's to check: tests/win/split_test.cpp, on the same path.)
TEST(DescriptorFile, ReadingBoundErrorsAndHandlesAndTheSystemTextInThem)
{
    TempDir dir;
    const std::string path = dir.File("report.crc");
    WriteFileBytes(path, "filename=r.txt\nsize=10\rcrc32=ABC\r\n");
    const TDescriptor d = ReadDescriptorFile(path);
    EXPECT_EQ(d.FileName, "r.txt");
    EXPECT_EQ(d.Size, 10u);
    EXPECT_EQ(d.CRC, 0xABCu);
    EXPECT_TRUE(NobodyHolds(path));
    WriteFileBytes(path, "filename=x\r\nsize=12a\r\ncrc32=0\r\n");
    EXPECT_EQ(FileErrorOf<EConvertError>([&] { ReadDescriptorFile(path); }), "'12a' is not a valid integer value");
    EXPECT_TRUE(NobodyHolds(path)) << "after the conversion error";

    // A missing file's text is the combine dialog's (tests/ui/commands_test.cpp, the Execute entries); a missing directory.
    const std::string noDir = dir.File("nodir\\x.crc");
    EXPECT_EQ(FileErrorOf([&] { ReadDescriptorFile(noDir); }), Cannot("open", noDir, ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(FileErrorOf([&] { WriteDescriptorFile(noDir, "x", 1, 1); }),
              Cannot("create", noDir, ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(FileErrorOf([&] { WriteDescriptorFile(dir.Path(), "x", 1, 1); }).rfind(
                  "Cannot create file \"" + dir.Path() + "\". ", 0),
              0u)
        << "a directory cannot be created as a file";

    // Held exclusively by another handle; a descriptor that could not be replaced stays as it was.
    const std::string locked = dir.File("locked.crc");
    WriteFileBytes(locked, "filename=a\r\nsize=1\r\ncrc32=1\r\n");
    HANDLE h = CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const std::string readError = FileErrorOf([&] { ReadDescriptorFile(locked); });
    const std::string writeError = FileErrorOf([&] { WriteDescriptorFile(locked, "b", 2, 2); });
    CloseHandle(h);
    EXPECT_EQ(readError, Cannot("open", locked, ERROR_SHARING_VIOLATION));
    EXPECT_EQ(writeError, Cannot("create", locked, ERROR_SHARING_VIOLATION));
    EXPECT_EQ(ReadFileBytes(locked), "filename=a\r\nsize=1\r\ncrc32=1\r\n");

    // No file larger than the bound is read.
    const std::string line = "filename=a.bin\r\nsize=1\r\ncrc32=1\r\n";
    for (const size_t size : {MaxDescriptorBytes - 1, MaxDescriptorBytes, MaxDescriptorBytes + 1, 3000000u}) {
        const bool read = size <= MaxDescriptorBytes;
        WriteFileBytes(path, line + std::string(size - line.size(), ' '));
        DWORD error = ERROR_SUCCESS;
        const std::optional<std::string> text = ReadDescriptorText(path, error);
        EXPECT_EQ(text ? text->size() : 0, read ? size : 0) << size;
        EXPECT_EQ(error, read ? DWORD(ERROR_SUCCESS) : DWORD(ERROR_FILE_TOO_LARGE)) << size;
        EXPECT_EQ(ReadDescriptorFileName(path), read ? std::optional<std::string>("a.bin") : std::nullopt) << size;
        if (!read) {
            EXPECT_EQ(FileErrorOf([&] { ReadDescriptorFile(path); }), Cannot("open", path, ERROR_FILE_TOO_LARGE));
        }
    }
    // A smaller bound, as a caller may ask for.
    WriteFileBytes(path, line);
    DWORD error = ERROR_SUCCESS;
    EXPECT_FALSE(ReadDescriptorText(path, error, static_cast<uint32_t>(line.size() - 1)).has_value());
    EXPECT_EQ(ReadDescriptorText(path, error, static_cast<uint32_t>(line.size())), line);

    // The system's text in these errors: one line, without a line break after it.
    for (const DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
                             ERROR_DISK_FULL}) {
        const std::string text = SysErrorMessage(code);
        ASSERT_FALSE(text.empty()) << code;
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << code << ": one line, no line break after it";
    }
    EXPECT_NE(SysErrorMessage(ERROR_FILE_NOT_FOUND), SysErrorMessage(ERROR_PATH_NOT_FOUND));
}
