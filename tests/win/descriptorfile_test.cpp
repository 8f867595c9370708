// The descriptor file on disk: the bytes that go through the system either way, the bound on what
// is read, the error texts a user sees and the handle let go on every path. What the three lines
// say and how they are read is the core's (tests/core/Descriptor_test.cpp).
#include <gtest/gtest.h>

#include <windows.h>

#include "DescriptorFile.h"
#include "Errors.h"
#include "SysError.h"
#include "TestFiles.h"

using testfiles::ReadFileBytes;
using testfiles::TempDir;
using testfiles::WriteFileBytes;

namespace {

// The message of the EFileError that fn raises, or "" when it raises none.
template <class Fn>
std::string FileErrorOf(Fn fn)
{
    try {
        fn();
    } catch (const EFileError& e) {
        return e.what();
    }
    return "";
}

// The text of a failure to open ("open") or to create ("create") path for the system's code.
std::string Cannot(const char* verb, const std::string& path, DWORD code)
{
    return std::string("Cannot ") + verb + " file \"" + path + "\". " + SysErrorMessage(code);
}

// Whether path can be opened with no sharing at all, that is, no handle to it is left open.
bool NobodyHolds(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

}  // namespace

TEST(SysErrorMessage, SystemTextWithoutTrailingLineBreak)
{
    for (const DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
                             ERROR_DISK_FULL}) {
        const std::string text = SysErrorMessage(code);
        ASSERT_FALSE(text.empty()) << code;
        EXPECT_NE(text.back(), '\n') << code;
        EXPECT_NE(text.back(), '\r') << code;
        EXPECT_EQ(text.find("\r\n"), std::string::npos) << code << ": one-line texts only";
    }
    EXPECT_NE(SysErrorMessage(ERROR_FILE_NOT_FOUND), SysErrorMessage(ERROR_PATH_NOT_FOUND));
}

// No text-mode translation either way, a longer file replaced whole, and no handle left behind,
// also after a size that is no number.
TEST(DescriptorFile, BytesGoThroughAsTheyAreAndTheHandleIsLetGo)
{
    TempDir dir;
    const std::string path = dir.File("report.crc");
    WriteFileBytes(path, std::string(5000, 'x') + "\r\nsize=99\r\n");
    WriteDescriptorFile(path, "big one.iso", 2147483647u, 0xFFFFFFFFu);
    EXPECT_EQ(ReadFileBytes(path), "filename=big one.iso\r\nsize=2147483647\r\ncrc32=FFFFFFFF\r\n");
    TDescriptor d = ReadDescriptorFile(path);
    EXPECT_EQ(d.FileName, "big one.iso");
    EXPECT_EQ(d.Size, 2147483647u);
    EXPECT_EQ(d.CRC, 0xFFFFFFFFu);
    EXPECT_TRUE(NobodyHolds(path));

    WriteFileBytes(path, "filename=r.txt\nsize=10\rcrc32=ABC\r\n");
    d = ReadDescriptorFile(path);
    EXPECT_EQ(d.FileName, "r.txt");
    EXPECT_EQ(d.Size, 10u);
    EXPECT_EQ(d.CRC, 0xABCu);

    WriteFileBytes(path, "filename=x\r\nsize=12a\r\ncrc32=0\r\n");
    try {
        ReadDescriptorFile(path);
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'12a' is not a valid integer value");
    }
    EXPECT_TRUE(NobodyHolds(path)) << "after the conversion error";
}

TEST(DescriptorFile, OpenAndCreateErrors)
{
    TempDir dir;
    const std::string missing = dir.File("missing.crc"), noDir = dir.File("nodir\\x.crc");
    EXPECT_EQ(FileErrorOf([&] { ReadDescriptorFile(missing); }), Cannot("open", missing, ERROR_FILE_NOT_FOUND));
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
}

TEST(DescriptorFile, NoFileLargerThanTheBoundIsRead)
{
    TempDir dir;
    const std::string line = "filename=a.bin\r\nsize=1\r\ncrc32=1\r\n";
    const std::string path = dir.File("b.crc");
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
}
