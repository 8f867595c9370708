#include "PieceNames.h"
#include "PiecePlan.h"

#include <gtest/gtest.h>

#include "CodePage932.h"

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

// A trail byte 0x5C at the start, middle and end of a file name and of a directory name: with one
// character per byte (every single-byte code page) it is a separator, in code page 932 it is not.
TEST(PieceNames, TwoByteCharactersEndingInTheBackslashByte)
{
    struct Parts { const char* name; const char* ext; const char* dir; const char* crc; };
    const struct { const char* path; Parts bytes, cp932; } cases[] = {
        {"C:\\d\\" HYO "a.txt", {"a.txt", ".txt", "C:\\d\\\x95", "C:\\d\\" HYO "a.crc"},
                                {HYO "a.txt", ".txt", "C:\\d", "C:\\d\\" HYO "a.crc"}},
        {"C:\\d\\a" SO "b.txt", {"b.txt", ".txt", "C:\\d\\a\x83", "C:\\d\\a" SO "b.crc"},
                                {"a" SO "b.txt", ".txt", "C:\\d", "C:\\d\\a" SO "b.crc"}},
        {"C:\\d\\ab" NOU, {"", "", "C:\\d\\ab\x94", "C:\\d\\ab" NOU ".crc"},
                          {"ab" NOU, "", "C:\\d", "C:\\d\\ab" NOU ".crc"}},
        {"C:\\d\\" NOU ".txt", {".txt", ".txt", "C:\\d\\\x94", "C:\\d\\" NOU ".crc"},
                               {NOU ".txt", ".txt", "C:\\d", "C:\\d\\" NOU ".crc"}},
        {"C:\\" HYO "\\a.txt", {"a.txt", ".txt", "C:\\" HYO "\\", "C:\\" HYO "\\a.crc"},
                               {"a.txt", ".txt", "C:\\" HYO, "C:\\" HYO "\\a.crc"}},
        {"C:\\" JU "x" SO "y\\a", {"a", "", "C:\\" JU "x" SO "y", "C:\\" JU "x" SO "y\\a.crc"},
                                  {"a", "", "C:\\" JU "x" SO "y", "C:\\" JU "x" SO "y\\a.crc"}},
        {"C:\\a.b" SO, {"", "", "C:\\a.b\x83", "C:\\a.b" SO ".crc"},
                       {"a.b" SO, ".b" SO, "C:\\", "C:\\a.crc"}},
        // A lead byte at the very end has no second byte: it is a character of its own.
        {"C:\\d\\x\x95", {"x\x95", "", "C:\\d", "C:\\d\\x\x95.crc"}, {"x\x95", "", "C:\\d", "C:\\d\\x\x95.crc"}},
    };
    for (const auto& c : cases)
        InBothCodePages(c.path, c.bytes, c.cp932, [&](const Parts& want) {
            EXPECT_EQ(ExtractFileName(c.path), want.name);
            EXPECT_EQ(ExtractFileExt(c.path), want.ext);
            EXPECT_EQ(ExtractFileDir(c.path), want.dir);
            EXPECT_EQ(DescriptorFileName(c.path), want.crc);
        });
    // 表示.txt in the directory 表: the pieces keep the whole name.
    TCodePage932 cp932;
    EXPECT_EQ(PieceFileName("T:\\" HYO "\\" HYO "\x8E\xA6.txt", 1000), "T:\\" HYO "\\" HYO "\x8E\xA6.1000");
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

TEST(PieceNames, PiecePlanOfLargeSources)
{
    const uint64_t G = 1ull << 30;
    const uint32_t P = 4294967295u;   // the largest piece size
    const uint32_t Fat32 = 4293918720u;  // 4095 MiB
    const struct {
        uint64_t size;
        uint32_t pieceSize;
        uint32_t count;  // 0: refused
        uint32_t first, last;
        const char* lastName;
    } cases[] = {
        {2 * G - 1, 1u << 30, 2, 1u << 30, (1u << 30) - 1, "T:\\d.002"},
        {2 * G, 1u << 30, 2, 1u << 30, 1u << 30, "T:\\d.002"},  // no empty trailing piece
        {2 * G + 1, 1u << 30, 3, 1u << 30, 1, "T:\\d.003"},
        {4 * G + 100, Fat32, 2, Fat32, 1048676, "T:\\d.002"},
        {5 * G + 7, Fat32, 2, Fat32, 1074790407, "T:\\d.002"},
        {5 * G + 7, 1u << 30, 6, 1u << 30, 7, "T:\\d.006"},
        {999ull * P + 1, P, 1000, P, 1, "T:\\d.1000"},
        {1000ull * P - 1, P, 1000, P, P - 1, "T:\\d.1000"},
        {1000ull * P, P, 0, 0, 0, ""},
        {4 * G + 100, 1, 0, 0, 0, ""},    // 32 bits would see 100 bytes
        {0, P, 1, 0, 0, "T:\\d.001"},    // an empty source: one empty piece
        {5 * G, 0, 0, 0, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " / " + std::to_string(c.pieceSize));
        const TPiecePlan plan{c.size, c.pieceSize};
        ASSERT_EQ(plan.Accepted(), c.count != 0);
        if (!plan.Accepted()) continue;
        ASSERT_EQ(plan.Count(), c.count);
        EXPECT_EQ(plan.Length(1), c.first);
        EXPECT_EQ(plan.Length(c.count), c.last);
        uint64_t sum = 0;
        for (uint32_t n = 1; n <= plan.Count(); ++n) {
            if (n < plan.Count()) {
                EXPECT_EQ(plan.Length(n), c.pieceSize) << n;
            }
            sum += plan.Length(n);
        }
        EXPECT_EQ(sum, c.size);
        EXPECT_EQ(PieceFileName("T:\\d.iso", plan.Count()), c.lastName);
    }
}

TEST(PieceNames, DescriptorName)
{
    EXPECT_EQ(DescriptorFileName("C:\\out\\report.txt"), "C:\\out\\report.crc");
    EXPECT_EQ(DescriptorFileName("C:\\out\\archive.tar.gz"), "C:\\out\\archive.tar.crc");
    EXPECT_EQ(DescriptorFileName("C:\\out\\README"), "C:\\out\\README.crc");
    EXPECT_EQ(DescriptorFileName("C:\\out\\.profile"), "C:\\out\\.crc");
}

}  // namespace
