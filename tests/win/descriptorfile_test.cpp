// The descriptor file on disk: exact bytes, round trip, and the error texts a user sees.
#include <gtest/gtest.h>

#include <windows.h>

#include "DescriptorFile.h"
#include "Errors.h"
#include "SysError.h"
#include "TestFiles.h"

using testfiles::TempDir;

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

}  // namespace

TEST(SysErrorMessage, SystemTextWithoutTrailingLineBreak)
{
    const DWORD codes[] = {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
                           ERROR_DISK_FULL};
    for (const DWORD code : codes) {
        const std::string text = SysErrorMessage(code);
        ASSERT_FALSE(text.empty()) << code;
        EXPECT_NE(text.back(), '\n') << code;
        EXPECT_NE(text.back(), '\r') << code;
        EXPECT_EQ(text.find("\r\n"), std::string::npos) << code << ": one-line texts only";
    }
    EXPECT_NE(SysErrorMessage(ERROR_FILE_NOT_FOUND), SysErrorMessage(ERROR_PATH_NOT_FOUND));
}

TEST(DescriptorFile, WritesExactlyThreeCrLfLines)
{
    TempDir dir;
    const struct { const char* name; uint32_t size; uint32_t crc; const char* bytes; } cases[] = {
        {"report.txt", 1474560, 0x0A1B2C3Du, "filename=report.txt\r\nsize=1474560\r\ncrc32=A1B2C3D\r\n"},
        {"empty", 0, 0, "filename=empty\r\nsize=0\r\ncrc32=0\r\n"},
        {"check.bin", 9, 0xCBF43926u, "filename=check.bin\r\nsize=9\r\ncrc32=CBF43926\r\n"},
        {"big one.iso", 2147483647u, 0xFFFFFFFFu, "filename=big one.iso\r\nsize=2147483647\r\ncrc32=FFFFFFFF\r\n"},
    };
    for (const auto& c : cases) {
        const std::string path = dir.File("out.crc");
        WriteDescriptorFile(path, c.name, c.size, c.crc);
        EXPECT_EQ(testfiles::ReadFileBytes(path), c.bytes) << c.name;
    }
}

TEST(DescriptorFile, ReplacesAnExistingFileWhole)
{
    TempDir dir;
    const std::string path = dir.File("report.crc");
    testfiles::WriteFileBytes(path, std::string(5000, 'x') + "\r\nsize=99\r\n");
    WriteDescriptorFile(path, "a", 1, 2);
    EXPECT_EQ(testfiles::ReadFileBytes(path), "filename=a\r\nsize=1\r\ncrc32=2\r\n");
}

TEST(DescriptorFile, RoundTrip)
{
    TempDir dir;
    const struct { std::string name; uint32_t size; uint32_t crc; } cases[] = {
        {"report.txt", 1474560, 0x0A1B2C3Du},
        {"filesize.log", 12, 0},
        {"archive.tar.gz", 2147483647u, 0xCBF43926u},
        {"with space.dat", 1, 0xFFFFFFFFu},
        {"", 0, 0x80000000u},
    };
    for (const auto& c : cases) {
        const std::string path = dir.File("rt.crc");
        WriteDescriptorFile(path, c.name, c.size, c.crc);
        const TDescriptor d = ReadDescriptorFile(path);
        EXPECT_EQ(d.FileName, c.name);
        EXPECT_EQ(static_cast<uint32_t>(d.Size), c.size) << c.name;
        EXPECT_EQ(d.CRC, c.crc) << c.name;
    }
}

TEST(DescriptorFile, ReadsTheBytesAsTheyAre)
{
    // No text-mode translation on the way in: lone LF and lone CR end lines as CR LF does.
    TempDir dir;
    const std::string texts[] = {
        "filename=r.txt\nsize=10\ncrc32=ABC\n",
        "filename=r.txt\rsize=10\rcrc32=ABC",
        "junk\r\n size=99\r\nfilename=  r.txt \r\nsize=10\r\ncrc32=ABC\r\n",
    };
    for (const auto& text : texts) {
        const std::string path = dir.File("in.crc");
        testfiles::WriteFileBytes(path, text);
        const TDescriptor d = ReadDescriptorFile(path);
        EXPECT_EQ(d.FileName, "r.txt");
        EXPECT_EQ(d.Size, 10);
        EXPECT_EQ(d.CRC, 0xABCu);
    }
}

TEST(DescriptorFile, ASizeThatIsNotANumberRaisesTheConversionError)
{
    TempDir dir;
    const std::string path = dir.File("bad.crc");
    testfiles::WriteFileBytes(path, "filename=x\r\nsize=12a\r\ncrc32=0\r\n");
    try {
        ReadDescriptorFile(path);
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'12a' is not a valid integer value");
    }
}

TEST(DescriptorFile, OpenErrors)
{
    TempDir dir;
    const std::string missing = dir.File("missing.crc");
    EXPECT_EQ(FileErrorOf([&] { ReadDescriptorFile(missing); }),
              "Cannot open file \"" + missing + "\". " + SysErrorMessage(ERROR_FILE_NOT_FOUND));
    const std::string noDir = dir.File("nodir\\x.crc");
    EXPECT_EQ(FileErrorOf([&] { ReadDescriptorFile(noDir); }),
              "Cannot open file \"" + noDir + "\". " + SysErrorMessage(ERROR_PATH_NOT_FOUND));

    // Held exclusively by another handle.
    const std::string locked = dir.File("locked.crc");
    testfiles::WriteFileBytes(locked, "filename=a\r\nsize=1\r\ncrc32=1\r\n");
    HANDLE h = CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const std::string readError = FileErrorOf([&] { ReadDescriptorFile(locked); });
    const std::string writeError = FileErrorOf([&] { WriteDescriptorFile(locked, "b", 2, 2); });
    CloseHandle(h);
    EXPECT_EQ(readError, "Cannot open file \"" + locked + "\". " + SysErrorMessage(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(writeError, "Cannot create file \"" + locked + "\". " + SysErrorMessage(ERROR_SHARING_VIOLATION));
    // A descriptor that could not be replaced is left as it was.
    EXPECT_EQ(testfiles::ReadFileBytes(locked), "filename=a\r\nsize=1\r\ncrc32=1\r\n");
}

TEST(DescriptorFile, NoFileLargerThanTheBoundIsRead)
{
    TempDir dir;
    const std::string line = "filename=a.bin\r\nsize=1\r\ncrc32=1\r\n";
    const struct { size_t size; bool read; } cases[] = {
        {MaxDescriptorBytes - 1, true}, {MaxDescriptorBytes, true}, {MaxDescriptorBytes + 1, false}, {3000000, false}};
    for (const auto& c : cases) {
        const std::string path = dir.File("b.crc");
        testfiles::WriteFileBytes(path, line + std::string(c.size - line.size(), ' '));
        DWORD error = ERROR_SUCCESS;
        const std::optional<std::string> text = ReadDescriptorText(path, error);
        EXPECT_EQ(text.has_value(), c.read) << c.size;
        if (text) {
            EXPECT_EQ(text->size(), c.size);
        } else {
            EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_TOO_LARGE)) << c.size;
        }
        EXPECT_EQ(ReadDescriptorFileName(path), c.read ? std::optional<std::string>("a.bin") : std::nullopt) << c.size;
        if (!c.read) {
            EXPECT_EQ(FileErrorOf([&] { ReadDescriptorFile(path); }),
                      "Cannot open file \"" + path + "\". " + SysErrorMessage(ERROR_FILE_TOO_LARGE));
        }
    }
    // A smaller bound, as a caller may ask for.
    const std::string path = dir.File("small.crc");
    testfiles::WriteFileBytes(path, line);
    DWORD error = ERROR_SUCCESS;
    EXPECT_FALSE(ReadDescriptorText(path, error, static_cast<uint32_t>(line.size() - 1)).has_value());
    EXPECT_EQ(ReadDescriptorText(path, error, static_cast<uint32_t>(line.size())), line);
}

TEST(DescriptorFile, CreateErrors)
{
    TempDir dir;
    const std::string noDir = dir.File("nodir\\x.crc");
    EXPECT_EQ(FileErrorOf([&] { WriteDescriptorFile(noDir, "x", 1, 1); }),
              "Cannot create file \"" + noDir + "\". " + SysErrorMessage(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(FileErrorOf([&] { WriteDescriptorFile(dir.Path(), "x", 1, 1); }).rfind(
                  "Cannot create file \"" + dir.Path() + "\". ", 0),
              0u)
        << "a directory cannot be created as a file";
}

TEST(DescriptorFile, HandlesAreClosed)
{
    TempDir dir;
    const std::string path = dir.File("h.crc");
    WriteDescriptorFile(path, "h", 3, 3);
    ReadDescriptorFile(path);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    // Also after a conversion error.
    testfiles::WriteFileBytes(path, "size=x\r\n");
    EXPECT_THROW(ReadDescriptorFile(path), EConvertError);
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}
