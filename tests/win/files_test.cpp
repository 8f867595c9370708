// The file classes on real files: what each intention lets others do meanwhile, what creation does
// to a file already there, the error kept after a failure, and the handle closed at the end.
#include <gtest/gtest.h>

#include <windows.h>

#include "Files.h"
#include "TestFiles.h"

using testfiles::ReadFileBytes;
using testfiles::TempDir;
using testfiles::WriteFileBytes;

namespace {

// Whether another program could open path now for reading or for writing (sharing everything).
bool OthersCanOpen(const std::string& path, DWORD access)
{
    HANDLE h = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

}  // namespace

TEST(Files, WhatEachIntentionLetsOthersDo)
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
}

TEST(Files, ReadWriteAndTheErrorsKept)
{
    TempDir dir;
    const std::string path = dir.File("w.bin");
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
    ASSERT_TRUE(a.Open(path, TInFile::ReadSharedWithWriters));
    ASSERT_TRUE(b.Open(path, TInFile::InspectOnly));
    WriteFileBytes(dir.File("other.bin"), "abc");
    ASSERT_TRUE(other.Open(dir.File("other.bin"), TInFile::ReadSharedWithReaders));
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
        {"new.bin", ERROR_SUCCESS, ""},
        {"plain.bin", ERROR_SUCCESS, ""},
        {"linked.bin", ERROR_CANT_RESOLVE_FILENAME, "linked"},
        {"second.bin", ERROR_CANT_RESOLVE_FILENAME, "linked"},
        {"held.bin", ERROR_SHARING_VIOLATION, "held"},
        {"nul.txt", ERROR_NOT_SUPPORTED, nullptr},
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
    ASSERT_TRUE(direct.Open(dir.File("plain.bin"), TInFile::InspectOnly));
    ASSERT_TRUE(linked.Open(dir.File("second.bin"), TInFile::InspectOnly));
    EXPECT_TRUE(direct.OnlyReachedBy(dir.File("plain.bin")));
    EXPECT_TRUE(direct.OnlyReachedBy(dir.File("sub\\..\\PLAIN.BIN"))) << "spelling and case do not matter";
    EXPECT_FALSE(linked.OnlyReachedBy(dir.File("second.bin")));
}
