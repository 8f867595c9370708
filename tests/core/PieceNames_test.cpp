#include "PieceNames.h"

#include <gtest/gtest.h>

namespace {

struct NameCase {
    const char* path;
    const char* name;
    const char* ext;
    const char* dir;
};

TEST(PieceNames, NameExtensionAndDirectory)
{
    const NameCase cases[] = {
        {"C:\\docs\\report.txt", "report.txt", ".txt", "C:\\docs"},
        {"C:\\report.txt", "report.txt", ".txt", "C:\\"},
        {"C:report.txt", "report.txt", ".txt", "C:"},
        {"report.txt", "report.txt", ".txt", ""},
        {"\\report.txt", "report.txt", ".txt", "\\"},
        {"\\\\server\\share\\a.txt", "a.txt", ".txt", "\\\\server\\share"},
        {"\\\\server\\share\\dir\\a.txt", "a.txt", ".txt", "\\\\server\\share\\dir"},
        {"D:\\a.b\\README", "README", "", "D:\\a.b"},        // a dot in a directory is no extension
        {"D:\\x\\archive.tar.gz", "archive.tar.gz", ".gz", "D:\\x"},
        {"D:\\x\\.profile", ".profile", ".profile", "D:\\x"},
        {"D:\\x\\name.", "name.", ".", "D:\\x"},
        {"D:\\dir\\", "", "", "D:\\dir"},
        {"", "", "", ""},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ExtractFileName(c.path), c.name);
        EXPECT_EQ(ExtractFileExt(c.path), c.ext);
        EXPECT_EQ(ExtractFileDir(c.path), c.dir);
    }
}

TEST(PieceNames, ChangeFileExtReplacesOnlyTheLastExtension)
{
    EXPECT_EQ(ChangeFileExt("C:\\t\\report.txt", ".crc"), "C:\\t\\report.crc");
    EXPECT_EQ(ChangeFileExt("C:\\t\\archive.tar.gz", ".crc"), "C:\\t\\archive.tar.crc");
    EXPECT_EQ(ChangeFileExt("C:\\t\\README", ".crc"), "C:\\t\\README.crc");
    EXPECT_EQ(ChangeFileExt("C:\\t\\.profile", ".crc"), "C:\\t\\.crc");
    EXPECT_EQ(ChangeFileExt("C:\\t.d\\README", ".001"), "C:\\t.d\\README.001");
    EXPECT_EQ(ChangeFileExt("C:.x", ".001"), "C:.001");
}

TEST(PieceNames, PieceNumbersHaveAtLeastThreeDigits)
{
    const struct { uint32_t n; const char* name; } cases[] = {
        {1, "T:\\report.001"},   {2, "T:\\report.002"},   {10, "T:\\report.010"},
        {99, "T:\\report.099"},  {100, "T:\\report.100"}, {999, "T:\\report.999"},
        {1000, "T:\\report.1000"}, {1001, "T:\\report.1001"}, {12345, "T:\\report.12345"},
    };
    for (const auto& c : cases) EXPECT_EQ(PieceFileName("T:\\report.txt", c.n), c.name) << c.n;
    // The reading side derives the same names from the descriptor's path.
    EXPECT_EQ(PieceFileName("T:\\report.crc", 1000), "T:\\report.1000");
    EXPECT_EQ(PieceFileName("T:\\README", 1), "T:\\README.001");
    EXPECT_EQ(PieceFileName("T:\\.profile", 1), "T:\\.001");
}

TEST(PieceNames, DescriptorName)
{
    EXPECT_EQ(DescriptorFileName("C:\\out\\report.txt"), "C:\\out\\report.crc");
    EXPECT_EQ(DescriptorFileName("C:\\out\\archive.tar.gz"), "C:\\out\\archive.tar.crc");
    EXPECT_EQ(DescriptorFileName("C:\\out\\README"), "C:\\out\\README.crc");
    EXPECT_EQ(DescriptorFileName("C:\\out\\.profile"), "C:\\out\\.crc");
}

}  // namespace
