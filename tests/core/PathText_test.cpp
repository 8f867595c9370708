#include "PathText.h"
#include "PieceNames.h"

#include <gtest/gtest.h>

#include <vector>

#include "CodePage932.h"
#include "Rows.h"

namespace {

// One path and what a function gives for it.
struct TTextRow { const char *name, *in, *out; };
// Paths for which a test gives the same answer: yes with one character per byte, cp932 in code page 932.
struct TFlagRow { const char* name; std::vector<const char*> paths; bool yes = false, cp932 = yes; };
void ExpectFlag(bool (*test)(const std::string&), const TFlagRow& r)
{
    for (const char* p : r.paths) InBothCodePages(p, r.yes, r.cp932, [&](bool want) { EXPECT_EQ(test(p), want); });
}

class BackslashAdded : public ::testing::TestWithParam<TTextRow> {};
TEST_P(BackslashAdded, EndsThePathOrMakesARootOfADrive) { EXPECT_EQ(AddBackslash(GetParam().in), GetParam().out); }
const TTextRow Added[] = {
    {.name = "Empty", .in = "", .out = ""},
    {.name = "Drive", .in = "C", .out = "C:\\"},
    {.name = "LowerCaseDrive", .in = "c", .out = "c:\\"},
    {.name = "LastDrive", .in = "z", .out = "z:\\"},
    {.name = "DriveColon", .in = "C:", .out = "C:\\"},
    {.name = "DriveRoot", .in = "C:\\", .out = "C:\\"},
    {.name = "Digit", .in = "1", .out = "1\\"},
    {.name = "Sign", .in = "@", .out = "@\\"},
    {.name = "Root", .in = "\\", .out = "\\"},
    {.name = "Directory", .in = "C:\\dir", .out = "C:\\dir\\"},
    {.name = "Share", .in = "\\\\server\\share", .out = "\\\\server\\share\\"},
    {.name = "NonAsciiLetter", .in = "\xC4", .out = "\xC4\\"},  // only ASCII letters are drive letters
};
ZANDREL_ROWS(BackslashAdded, Added);

class BackslashRemoved : public ::testing::TestWithParam<TTextRow> {};
TEST_P(BackslashRemoved, IsTheLastOneOnly) { EXPECT_EQ(RemoveBackslash(GetParam().in), GetParam().out); }
const TTextRow Removed[] = {
    {.name = "Empty", .in = "", .out = ""},
    {.name = "DriveRoot", .in = "C:\\", .out = "C:"},
    {.name = "TwoAtTheEnd", .in = "C:\\dir\\\\", .out = "C:\\dir\\"},
    {.name = "NoneAtTheEnd", .in = "C:\\dir", .out = "C:\\dir"},
    {.name = "Root", .in = "\\", .out = ""},
};
ZANDREL_ROWS(BackslashRemoved, Removed);

class UNCPath : public ::testing::TestWithParam<TFlagRow> {};
TEST_P(UNCPath, StartsWithTwoBackslashesAndMore) { ExpectFlag(IsUNCPath, GetParam()); }
const TFlagRow UNCPaths[] = {
    {.name = "Unc", .paths = {"\\\\a", "\\\\server\\share"}, .yes = true},
    {.name = "TooShort", .paths = {"", "\\\\"}},
    {.name = "NoTwoBackslashes", .paths = {"C:\\x", "\\a\\b"}},
};
ZANDREL_ROWS(UNCPath, UNCPaths);

// A path's share root and whether it names a share.
struct TRootRow { const char *name, *in, *root; bool has = false; };
class ShareRoot : public ::testing::TestWithParam<TRootRow> {};
TEST_P(ShareRoot, IsServerAndShareOrTheWholePath)
{
    EXPECT_EQ(ExtractShareRoot(GetParam().in), GetParam().root);
    EXPECT_EQ(HasShareRoot(GetParam().in), GetParam().has);
}
const TRootRow Roots[] = {
    {.name = "File", .in = "\\\\server\\share\\dir\\file", .root = "\\\\server\\share", .has = true},
    {.name = "Directory", .in = "\\\\server\\share\\dir", .root = "\\\\server\\share", .has = true},
    {.name = "ShareBackslash", .in = "\\\\server\\share\\", .root = "\\\\server\\share", .has = true},
    {.name = "Share", .in = "\\\\server\\share", .root = "\\\\server\\share", .has = true},
    {.name = "ServerBackslash", .in = "\\\\server\\", .root = "\\\\server\\"},
    {.name = "Server", .in = "\\\\server", .root = "\\\\server"},
    {.name = "Local", .in = "C:\\dir\\file", .root = "C:\\dir\\file"},
    {.name = "Empty", .in = "", .root = ""},
    // The "\\" is searched anywhere, not only at the start.
    {.name = "DoubleBackslashInside", .in = "x\\\\srv\\sh\\d", .root = "x\\\\srv\\sh", .has = true},
};
ZANDREL_ROWS(ShareRoot, Roots);

// Directory, server and share names with a trail byte 0x5C at their start, middle or end: a
// separator when every byte is a character, part of a name in code page 932 (cp: when different).
struct TTrailRow {
    const char *name, *in, *added, *removed, *root;
    bool has = false;
    const char *cpAdded = added, *cpRemoved = removed, *cpRoot = root;
    bool cpHas = has;
};
class TrailByte : public ::testing::TestWithParam<TTrailRow> {};
TEST_P(TrailByte, IsNoBackslashInCodePage932)
{
    const TTrailRow& r = GetParam();
    InBothCodePages(r.in, r.added, r.cpAdded, [&](const char* want) { EXPECT_EQ(AddBackslash(r.in), want); });
    InBothCodePages(r.in, r.removed, r.cpRemoved, [&](const char* want) { EXPECT_EQ(RemoveBackslash(r.in), want); });
    InBothCodePages(r.in, r.root, r.cpRoot, [&](const char* want) { EXPECT_EQ(ExtractShareRoot(r.in), want); });
    InBothCodePages(r.in, r.has, r.cpHas, [&](bool want) { EXPECT_EQ(HasShareRoot(r.in), want); });
}
const TTrailRow Trails[] = {
    {.name = "DirectoryEnd", .in = "C:\\" HYO, .added = "C:\\" HYO, .removed = "C:\\\x95", .root = "C:\\" HYO,
     .cpAdded = "C:\\" HYO "\\", .cpRemoved = "C:\\" HYO},
    {.name = "DirectoryMiddle", .in = "C:\\a" SO "b", .added = "C:\\a" SO "b\\", .removed = "C:\\a" SO "b",
     .root = "C:\\a" SO "b"},
    {.name = "DirectoryEndBackslash", .in = "C:\\" HYO "\\", .added = "C:\\" HYO "\\", .removed = "C:\\" HYO,
     .root = "C:\\" HYO "\\"},
    // A local directory 表 followed by another: the trail byte and the separator are no "\\".
    {.name = "DirectoryThenMore", .in = "C:\\" HYO "\\x\\y\\z", .added = "C:\\" HYO "\\x\\y\\z\\",
     .removed = "C:\\" HYO "\\x\\y\\z", .root = "C:\\" HYO "\\x\\y", .has = true, .cpRoot = "C:\\" HYO "\\x\\y\\z",
     .cpHas = false},
    {.name = "ShareStart", .in = "\\\\srv\\" HYO "s\\d", .added = "\\\\srv\\" HYO "s\\d\\",
     .removed = "\\\\srv\\" HYO "s\\d", .root = "\\\\srv\\\x95", .has = true, .cpRoot = "\\\\srv\\" HYO "s"},
    {.name = "ShareMiddle", .in = "\\\\srv\\s" SO "t\\d", .added = "\\\\srv\\s" SO "t\\d\\",
     .removed = "\\\\srv\\s" SO "t\\d", .root = "\\\\srv\\s\x83", .has = true, .cpRoot = "\\\\srv\\s" SO "t"},
    {.name = "ShareEnd", .in = "\\\\srv\\st" NOU "\\", .added = "\\\\srv\\st" NOU "\\", .removed = "\\\\srv\\st" NOU,
     .root = "\\\\srv\\st\x94", .has = true, .cpRoot = "\\\\srv\\st" NOU},
    // A server name ending in 十 names no share yet.
    {.name = "ServerEnd", .in = "\\\\srv" JU "\\", .added = "\\\\srv" JU "\\", .removed = "\\\\srv" JU,
     .root = "\\\\srv" JU, .has = true, .cpRoot = "\\\\srv" JU "\\", .cpHas = false},
    {.name = "ServerStart", .in = "\\\\" JU "\\s", .added = "\\\\" JU "\\s\\", .removed = "\\\\" JU "\\s",
     .root = "\\\\" JU, .has = true, .cpRoot = "\\\\" JU "\\s"},
    // A lead byte at the very end has no second byte: "\" is appended as before.
    {.name = "LeadByteAtTheEnd", .in = "C:\\d\x95", .added = "C:\\d\x95\\", .removed = "C:\\d\x95",
     .root = "C:\\d\x95"},
};
ZANDREL_ROWS(TrailByte, Trails);

// Accepted: roots, bare drives, "." and ".." as whole names, anything inside the path.
// Refused: the last name, whatever follows it in separators, ends in a space or a dot.
class LastName : public ::testing::TestWithParam<TFlagRow> {};
TEST_P(LastName, IsRefusedWhenItEndsInASpaceOrADot) { ExpectFlag(LastNameEndsInSpaceOrDot, GetParam()); }
const TFlagRow LastNames[] = {
    {.name = "Roots", .paths = {"", "C:", "C:\\", "\\", "/"}},
    {.name = "Plain", .paths = {"c", "C:\\dir", "C:\\dir\\", "\\\\server\\share", "\\\\server\\share\\", "C:\\" HYO}},
    {.name = "Extended", .paths = {"\\\\?\\C:\\dir"}},
    {.name = "DotNames", .paths = {"C:.", "C:..", ".", "..", "C:\\dir\\.", "C:\\dir\\..\\", "C:\\dir/./"}},
    {.name = "InsideThePath", .paths = {"C:\\a b\\c", "C:\\E .\\x"}},
    {.name = "Space", .paths = {"E ", "C:\\E ", "C:\\dir\\ ", " ", ". ", "C: "}, .yes = true},
    {.name = "Dots", .paths = {"E...", "dir.", "C:\\E...", "C:\\dir\\...", "C:E.", "\\\\server\\share."}, .yes = true},
    {.name = "BeforeSeparators", .paths = {"C:\\dir.\\", "C:\\E \\\\", "C:/dir/E /", "C:\\" HYO " \\"}, .yes = true},
    // A two-byte character ending in the byte of "\" is part of the name before the dots.
    {.name = "TwoByteCharacterBeforeDots", .paths = {"C:\\" HYO "..", "C:\\" HYO "."}, .cp932 = true},
};
ZANDREL_ROWS(LastName, LastNames);

// A path's name, extension and directory, and its descriptor's name (crc: the extension ".crc").
// cp: in code page 932, when it differs from one character per byte.
struct TPartsRow {
    const char *name, *path, *file, *ext, *dir, *crc;
    const char *cpFile = file, *cpExt = ext, *cpDir = dir, *cpCrc = crc;
};
class PathParts : public ::testing::TestWithParam<TPartsRow> {};
TEST_P(PathParts, SplitAtTheLastSeparatorAndDot)
{
    const TPartsRow& r = GetParam();
    InBothCodePages(r.path, r.file, r.cpFile, [&](const char* want) { EXPECT_EQ(ExtractFileName(r.path), want); });
    InBothCodePages(r.path, r.ext, r.cpExt, [&](const char* want) { EXPECT_EQ(ExtractFileExt(r.path), want); });
    InBothCodePages(r.path, r.dir, r.cpDir, [&](const char* want) { EXPECT_EQ(ExtractFileDir(r.path), want); });
    InBothCodePages(r.path, r.crc, r.cpCrc, [&](const char* want) {
        EXPECT_EQ(ChangeFileExt(r.path, ".crc"), want);
        EXPECT_EQ(DescriptorFileName(r.path), want);
    });
}
const TPartsRow Parts[] = {
    {.name = "Directory", .path = "C:\\docs\\report.txt", .file = "report.txt", .ext = ".txt", .dir = "C:\\docs",
     .crc = "C:\\docs\\report.crc"},
    {.name = "DriveRoot", .path = "C:\\report.txt", .file = "report.txt", .ext = ".txt", .dir = "C:\\",
     .crc = "C:\\report.crc"},
    {.name = "Drive", .path = "C:report.txt", .file = "report.txt", .ext = ".txt", .dir = "C:", .crc = "C:report.crc"},
    {.name = "DriveExtension", .path = "C:.x", .file = ".x", .ext = ".x", .dir = "C:", .crc = "C:.crc"},
    {.name = "Bare", .path = "report.txt", .file = "report.txt", .ext = ".txt", .dir = "", .crc = "report.crc"},
    {.name = "Root", .path = "\\report.txt", .file = "report.txt", .ext = ".txt", .dir = "\\", .crc = "\\report.crc"},
    {.name = "Share", .path = "\\\\server\\share\\a.txt", .file = "a.txt", .ext = ".txt", .dir = "\\\\server\\share",
     .crc = "\\\\server\\share\\a.crc"},
    {.name = "ShareDirectory", .path = "\\\\server\\share\\dir\\a.txt", .file = "a.txt", .ext = ".txt",
     .dir = "\\\\server\\share\\dir", .crc = "\\\\server\\share\\dir\\a.crc"},
    // A dot in a directory is no extension; only the last dot of a name counts.
    {.name = "DotInDirectory", .path = "D:\\a.b\\README", .file = "README", .ext = "", .dir = "D:\\a.b",
     .crc = "D:\\a.b\\README.crc"},
    {.name = "TwoDots", .path = "D:\\x\\archive.tar.gz", .file = "archive.tar.gz", .ext = ".gz", .dir = "D:\\x",
     .crc = "D:\\x\\archive.tar.crc"},
    {.name = "OnlyExtension", .path = "D:\\x\\.profile", .file = ".profile", .ext = ".profile", .dir = "D:\\x",
     .crc = "D:\\x\\.crc"},
    {.name = "DotAtTheEnd", .path = "D:\\x\\name.", .file = "name.", .ext = ".", .dir = "D:\\x",
     .crc = "D:\\x\\name.crc"},
    {.name = "NoName", .path = "D:\\dir\\", .file = "", .ext = "", .dir = "D:\\dir", .crc = "D:\\dir\\.crc"},
    {.name = "Empty", .path = "", .file = "", .ext = "", .dir = "", .crc = ".crc"},
    // A trail byte 0x5C at the start, middle and end of a file name and of a directory name.
    {.name = "TrailByteNameStart", .path = "C:\\d\\" HYO "a.txt", .file = "a.txt", .ext = ".txt",
     .dir = "C:\\d\\\x95", .crc = "C:\\d\\" HYO "a.crc", .cpFile = HYO "a.txt", .cpDir = "C:\\d"},
    {.name = "TrailByteNameMiddle", .path = "C:\\d\\a" SO "b.txt", .file = "b.txt", .ext = ".txt",
     .dir = "C:\\d\\a\x83", .crc = "C:\\d\\a" SO "b.crc", .cpFile = "a" SO "b.txt", .cpDir = "C:\\d"},
    {.name = "TrailByteNameEnd", .path = "C:\\d\\ab" NOU, .file = "", .ext = "", .dir = "C:\\d\\ab\x94",
     .crc = "C:\\d\\ab" NOU ".crc", .cpFile = "ab" NOU, .cpDir = "C:\\d"},
    {.name = "TrailByteBeforeDot", .path = "C:\\d\\" NOU ".txt", .file = ".txt", .ext = ".txt", .dir = "C:\\d\\\x94",
     .crc = "C:\\d\\" NOU ".crc", .cpFile = NOU ".txt", .cpDir = "C:\\d"},
    {.name = "TrailByteDirectoryEnd", .path = "C:\\" HYO "\\a.txt", .file = "a.txt", .ext = ".txt",
     .dir = "C:\\" HYO "\\", .crc = "C:\\" HYO "\\a.crc", .cpDir = "C:\\" HYO},
    {.name = "TrailBytesInDirectory", .path = "C:\\" JU "x" SO "y\\a", .file = "a", .ext = "",
     .dir = "C:\\" JU "x" SO "y", .crc = "C:\\" JU "x" SO "y\\a.crc"},
    {.name = "TrailByteExtensionEnd", .path = "C:\\a.b" SO, .file = "", .ext = "", .dir = "C:\\a.b\x83",
     .crc = "C:\\a.b" SO ".crc", .cpFile = "a.b" SO, .cpExt = ".b" SO, .cpDir = "C:\\", .cpCrc = "C:\\a.crc"},
    // A lead byte at the very end has no second byte: it is a character of its own.
    {.name = "LeadByteAtTheEnd", .path = "C:\\d\\x\x95", .file = "x\x95", .ext = "", .dir = "C:\\d",
     .crc = "C:\\d\\x\x95.crc"},
};
ZANDREL_ROWS(PathParts, Parts);

}  // namespace
