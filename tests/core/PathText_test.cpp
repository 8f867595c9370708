#include "PathText.h"
#include "PieceNames.h"

#include <gtest/gtest.h>

#include "CodePage932.h"

namespace {

TEST(PathText, BackslashesUNCPathsShareRootsAndTheLastNameAlsoWithTwoByteCharacters)
{
    const struct { const char* in; const char* out; } added[] = {
        {"", ""}, {"C", "C:\\"}, {"c", "c:\\"}, {"z", "z:\\"}, {"C:", "C:\\"}, {"C:\\", "C:\\"}, {"1", "1\\"},
        {"@", "@\\"}, {"\\", "\\"}, {"C:\\dir", "C:\\dir\\"}, {"\\\\server\\share", "\\\\server\\share\\"},
        {"\xC4", "\xC4\\"},  // only ASCII letters are drive letters
    };
    for (const auto& c : added) EXPECT_EQ(AddBackslash(c.in), c.out) << '"' << c.in << '"';
    const struct { const char* in; const char* out; } removed[] = {
        {"", ""}, {"C:\\", "C:"}, {"C:\\dir\\\\", "C:\\dir\\"}, {"C:\\dir", "C:\\dir"}, {"\\", ""}};
    for (const auto& c : removed) EXPECT_EQ(RemoveBackslash(c.in), c.out) << '"' << c.in << '"';
    const struct { const char* in; bool unc; } unc[] = {
        {"", false}, {"\\\\", false}, {"\\\\a", true}, {"\\\\server\\share", true}, {"C:\\x", false}, {"\\a\\b", false}};
    for (const auto& c : unc) EXPECT_EQ(IsUNCPath(c.in), c.unc) << '"' << c.in << '"';
    const struct { const char* in; const char* root; bool has; } roots[] = {
        {"\\\\server\\share\\dir\\file", "\\\\server\\share", true},
        {"\\\\server\\share\\dir", "\\\\server\\share", true}, {"\\\\server\\share\\", "\\\\server\\share", true},
        {"\\\\server\\share", "\\\\server\\share", true}, {"\\\\server\\", "\\\\server\\", false},
        {"\\\\server", "\\\\server", false}, {"C:\\dir\\file", "C:\\dir\\file", false}, {"", "", false},
        // The "\\" is searched anywhere, not only at the start.
        {"x\\\\srv\\sh\\d", "x\\\\srv\\sh", true},
    };
    for (const auto& c : roots) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(ExtractShareRoot(c.in), c.root);
        EXPECT_EQ(HasShareRoot(c.in), c.has);
    }
    // Directory, server and share names with a trail byte 0x5C at their start, middle or end: a
    // separator when every byte is a character, part of a name in code page 932.
    struct Results { const char* added; const char* removed; const char* root; bool has; };
    const struct { const char* in; Results bytes, cp932; } cases[] = {
        {"C:\\" HYO, {"C:\\" HYO, "C:\\\x95", "C:\\" HYO, false}, {"C:\\" HYO "\\", "C:\\" HYO, "C:\\" HYO, false}},
        {"C:\\a" SO "b", {"C:\\a" SO "b\\", "C:\\a" SO "b", "C:\\a" SO "b", false},
                         {"C:\\a" SO "b\\", "C:\\a" SO "b", "C:\\a" SO "b", false}},
        {"C:\\" HYO "\\", {"C:\\" HYO "\\", "C:\\" HYO, "C:\\" HYO "\\", false},
                          {"C:\\" HYO "\\", "C:\\" HYO, "C:\\" HYO "\\", false}},
        // A local directory 表 followed by another: the trail byte and the separator are no "\\".
        {"C:\\" HYO "\\x\\y\\z", {"C:\\" HYO "\\x\\y\\z\\", "C:\\" HYO "\\x\\y\\z", "C:\\" HYO "\\x\\y", true},
                                 {"C:\\" HYO "\\x\\y\\z\\", "C:\\" HYO "\\x\\y\\z", "C:\\" HYO "\\x\\y\\z", false}},
        {"\\\\srv\\" HYO "s\\d", {"\\\\srv\\" HYO "s\\d\\", "\\\\srv\\" HYO "s\\d", "\\\\srv\\\x95", true},
                                 {"\\\\srv\\" HYO "s\\d\\", "\\\\srv\\" HYO "s\\d", "\\\\srv\\" HYO "s", true}},
        {"\\\\srv\\s" SO "t\\d", {"\\\\srv\\s" SO "t\\d\\", "\\\\srv\\s" SO "t\\d", "\\\\srv\\s\x83", true},
                                 {"\\\\srv\\s" SO "t\\d\\", "\\\\srv\\s" SO "t\\d", "\\\\srv\\s" SO "t", true}},
        {"\\\\srv\\st" NOU "\\", {"\\\\srv\\st" NOU "\\", "\\\\srv\\st" NOU, "\\\\srv\\st\x94", true},
                                 {"\\\\srv\\st" NOU "\\", "\\\\srv\\st" NOU, "\\\\srv\\st" NOU, true}},
        // A server name ending in 十 names no share yet.
        {"\\\\srv" JU "\\", {"\\\\srv" JU "\\", "\\\\srv" JU, "\\\\srv" JU, true},
                            {"\\\\srv" JU "\\", "\\\\srv" JU, "\\\\srv" JU "\\", false}},
        {"\\\\" JU "\\s", {"\\\\" JU "\\s\\", "\\\\" JU "\\s", "\\\\" JU, true}, {"\\\\" JU "\\s\\", "\\\\" JU "\\s", "\\\\" JU "\\s", true}},
        // A lead byte at the very end has no second byte: "\" is appended as before.
        {"C:\\d\x95", {"C:\\d\x95\\", "C:\\d\x95", "C:\\d\x95", false}, {"C:\\d\x95\\", "C:\\d\x95", "C:\\d\x95", false}},
    };
    for (const auto& c : cases)
        InBothCodePages(c.in, c.bytes, c.cp932, [&](const Results& want) {
            EXPECT_EQ(AddBackslash(c.in), want.added);
            EXPECT_EQ(RemoveBackslash(c.in), want.removed);
            EXPECT_EQ(ExtractShareRoot(c.in), want.root);
            EXPECT_EQ(HasShareRoot(c.in), want.has);
        });

    // Accepted: roots, bare drives, "." and ".." as whole names, anything inside the path.
    // Refused: the last name, whatever follows it in separators, ends in a space or a dot.
    const struct { const char* in; bool refused; } lastNames[] = {
        {"", false}, {"c", false}, {"C:", false}, {"C:\\", false}, {"C:.", false}, {"C:..", false}, {"\\", false},
        {"/", false}, {".", false}, {"..", false}, {"C:\\dir", false}, {"C:\\dir\\", false}, {"C:\\dir\\.", false},
        {"C:\\dir\\..\\", false}, {"C:\\dir/./", false}, {"C:\\a b\\c", false}, {"C:\\E .\\x", false},
        {"\\\\server\\share", false}, {"\\\\server\\share\\", false}, {"\\\\?\\C:\\dir", false},
        // Refused.
        {"E ", true}, {"E...", true}, {"dir.", true}, {"C:\\E ", true}, {"C:\\E...", true}, {"C:\\dir.\\", true},
        {"C:\\E \\\\", true}, {"C:/dir/E /", true}, {"C:\\dir\\...", true}, {"C:\\dir\\ ", true}, {" ", true},
        {". ", true}, {"C:E.", true}, {"C: ", true}, {"\\\\server\\share.", true},
    };
    for (const auto& c : lastNames) EXPECT_EQ(LastNameEndsInSpaceOrDot(c.in), c.refused) << '"' << c.in << '"';

    // A two-byte character ending in the byte of "\" is part of the name before the dots.
    const struct { const char* in; bool bytes, cp932; } wideLastNames[] = {
        {"C:\\" HYO "..", false, true}, {"C:\\" HYO ".", false, true}, {"C:\\" HYO, false, false},
        {"C:\\" HYO " \\", true, true},
    };
    for (const auto& c : wideLastNames)
        InBothCodePages(c.in, c.bytes, c.cp932, [&](bool want) { EXPECT_EQ(LastNameEndsInSpaceOrDot(c.in), want); });
}

TEST(PathText, NameExtensionAndDirectoryAlsoWithTwoByteCharacters)
{
    // crc: the descriptor's name, the extension ".crc".
    const struct { const char* path; const char* name; const char* ext; const char* dir; const char* crc; } cases[] = {
        {"C:\\docs\\report.txt", "report.txt", ".txt", "C:\\docs", "C:\\docs\\report.crc"},
        {"C:\\report.txt", "report.txt", ".txt", "C:\\", "C:\\report.crc"},
        {"C:report.txt", "report.txt", ".txt", "C:", "C:report.crc"}, {"C:.x", ".x", ".x", "C:", "C:.crc"},
        {"report.txt", "report.txt", ".txt", "", "report.crc"},
        {"\\report.txt", "report.txt", ".txt", "\\", "\\report.crc"},
        {"\\\\server\\share\\a.txt", "a.txt", ".txt", "\\\\server\\share", "\\\\server\\share\\a.crc"},
        {"\\\\server\\share\\dir\\a.txt", "a.txt", ".txt", "\\\\server\\share\\dir", "\\\\server\\share\\dir\\a.crc"},
        {"D:\\a.b\\README", "README", "", "D:\\a.b", "D:\\a.b\\README.crc"},  // a dot in a directory is no extension
        {"D:\\x\\archive.tar.gz", "archive.tar.gz", ".gz", "D:\\x", "D:\\x\\archive.tar.crc"},  // only the last one
        {"D:\\x\\.profile", ".profile", ".profile", "D:\\x", "D:\\x\\.crc"},
        {"D:\\x\\name.", "name.", ".", "D:\\x", "D:\\x\\name.crc"}, {"D:\\dir\\", "", "", "D:\\dir", "D:\\dir\\.crc"},
        {"", "", "", "", ".crc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ExtractFileName(c.path), c.name);
        EXPECT_EQ(ExtractFileExt(c.path), c.ext);
        EXPECT_EQ(ExtractFileDir(c.path), c.dir);
        EXPECT_EQ(ChangeFileExt(c.path, ".crc"), c.crc);
        EXPECT_EQ(DescriptorFileName(c.path), c.crc);
    }
    // A trail byte 0x5C at the start, middle and end of a file name and of a directory name: with one
    // character per byte (every single-byte code page) it is a separator, in code page 932 it is not.
    struct Parts { const char* name; const char* ext; const char* dir; const char* crc; };  // crc: ".crc" for the extension
    const struct { const char* path; Parts bytes, cp932; } wide[] = {
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
    for (const auto& c : wide)
        InBothCodePages(c.path, c.bytes, c.cp932, [&](const Parts& want) {
            EXPECT_EQ(ExtractFileName(c.path), want.name);
            EXPECT_EQ(ExtractFileExt(c.path), want.ext);
            EXPECT_EQ(ExtractFileDir(c.path), want.dir);
            EXPECT_EQ(ChangeFileExt(c.path, ".crc"), want.crc);
        });
}

}  // namespace
