#include "Sfv.h"

#include <gtest/gtest.h>

#include "CRC32Core.h"
#include "CodePage932.h"
#include "Rows.h"

namespace {

TEST(Sfv, IsACommentThenOneCrLfLinePerEntry)
{
    EXPECT_EQ(FormatSfv("the pieces of a b.txt", {{"a b.001", 0x1A2B3C}, {"a b.1000", 0xFFFFFFFFu}}),
              "; the pieces of a b.txt\r\na b.001 001A2B3C\r\na b.1000 FFFFFFFF\r\n");
}

// Lists and what each gives as "NAME=CRC;" per entry; "-": the whole list is unreadable.
struct TListRow { const char* name; std::vector<std::string> texts; std::string entries = "-"; };
class SfvRead : public ::testing::TestWithParam<TListRow> {};
TEST_P(SfvRead, GivesEveryEntryOrNothing)
{
    for (const std::string& text : GetParam().texts) {
        const auto entries = ParseSfv(text);
        std::string got = entries ? "" : "-";
        for (const TSfvEntry& e : entries.value_or(std::vector<TSfvEntry>{}))
            got += e.Name + "=" + IntToHex(e.CRC) + ";";
        EXPECT_EQ(got, GetParam().entries) << text;
    }
}
const TListRow Lists[] = {
    {.name = "CommentsAndBlankLines",
     .texts = {"; by cksfv\r\nx.001 0123ABCD\r\n\r\n  ; indented\r\nx.002\t89abcdef  \r\n"},
     .entries = "x.001=123ABCD;x.002=89ABCDEF;"},
    {.name = "LfAndSpaces", .texts = {"my file.bin  DEADBEEF\nx.1000 00000000"},
     .entries = "my file.bin=DEADBEEF;x.1000=0;"},
    {.name = "NotEightHexDigits", .texts = {"x.001 0123ABC\r\n", "x.001 0123ABCG\r\n"}},
    {.name = "NoSpaceBeforeTheChecksum", .texts = {"x.0010123ABCD\r\n"}},
    {.name = "NoName", .texts = {" 0123ABCD\r\n", " \t0123ABCD\r\n"}},
    {.name = "JunkLine", .texts = {"x.001 0123ABCD\r\njunk\r\n"}},
    {.name = "NoEntry", .texts = {"; only a comment\r\n\r\n", ""}},
};
ZANDREL_ROWS(SfvRead, Lists);

// ASCII case is ignored, the second byte of a double-byte character is no letter and no
// separator; a name with a path in it is never found, nor one listed with two checksums; a
// byte-order mark at the start is skipped and a junk line costs only itself.
const std::string Listed = "\xEF\xBB\xBF" "first.000 00000009\r\n" +
                           FormatSfv("names", {{"Report.001", 1}, {"dir\\x.002", 2}, {"dir/x.003", 3}, {"c:x.004", 4},
                                               {"\x83" "a.005", 5}, {SO ".006", 6}, {"two.007", 7}, {"TWO.007", 8}}) +
                           "junk\r\nalike.008 00000008\r\nALIKE.008 00000008\r\n";
// Names and the checksum that list gives for them (none: not found), with one character per byte and in code page 932.
struct TLookUpRow { const char* name; std::vector<const char*> names; std::optional<uint32_t> crc{}, cp932 = crc; };
class SfvLookUp : public ::testing::TestWithParam<TLookUpRow> {};
TEST_P(SfvLookUp, FindsTheChecksumOfAName)
{
    for (const char* name : GetParam().names)
        InBothCodePages(name, GetParam().crc, GetParam().cp932, [&](std::optional<uint32_t> want) {
            EXPECT_EQ(TSfvList(Listed).ChecksumOf(name), want);
        });
}
const TLookUpRow LookUps[] = {
    {.name = "AnyAsciiCase", .names = {"report.001", "REPORT.001"}, .crc = 1},
    {.name = "LongerName", .names = {"Report.0011"}},
    {.name = "PathInTheName", .names = {"dir\\x.002", "x.002", "dir/x.003", "c:x.004"}},
    {.name = "TwoByteCharacter", .names = {"\x83" "a.005"}, .crc = 5},
    {.name = "SecondByteNoLetter", .names = {"\x83" "A.005"}, .crc = 5, .cp932 = std::nullopt},
    {.name = "SecondByteNoSeparator", .names = {SO ".006"}, .cp932 = 6},
    {.name = "AfterTheByteOrderMark", .names = {"FIRST.000"}, .crc = 9},
    {.name = "TwoChecksums", .names = {"two.007"}},
    {.name = "SameChecksumTwiceAfterJunk", .names = {"alike.008"}, .crc = 8},
};
ZANDREL_ROWS(SfvLookUp, LookUps);

}  // namespace
