#include "Sfv.h"

#include <gtest/gtest.h>

#include "CRC32Core.h"
#include "CodePage932.h"

namespace {

TEST(Sfv, FormatParseAndLookUp)
{
    EXPECT_EQ(FormatSfv("the pieces of a b.txt", {{"a b.001", 0x1A2B3C}, {"a b.1000", 0xFFFFFFFFu}}),
              "; the pieces of a b.txt\r\na b.001 001A2B3C\r\na b.1000 FFFFFFFF\r\n");
    // What a list gives as "NAME=CRC;" per entry; "-": the whole list is unreadable.
    const struct { std::string text, entries; } lists[] = {
        {"; by cksfv\r\nx.001 0123ABCD\r\n\r\n  ; indented\r\nx.002\t89abcdef  \r\n", "x.001=123ABCD;x.002=89ABCDEF;"},
        {"my file.bin  DEADBEEF\nx.1000 00000000", "my file.bin=DEADBEEF;x.1000=0;"},
        {"x.001 0123ABC\r\n", "-"}, {"x.001 0123ABCG\r\n", "-"}, {"x.0010123ABCD\r\n", "-"}, {" 0123ABCD\r\n", "-"},
        {" \t0123ABCD\r\n", "-"}, {"x.001 0123ABCD\r\njunk\r\n", "-"}, {"; only a comment\r\n\r\n", "-"}, {"", "-"},
    };
    for (const auto& c : lists) {
        const auto entries = ParseSfv(c.text);
        std::string got = entries ? "" : "-";
        for (const TSfvEntry& e : entries.value_or(std::vector<TSfvEntry>{})) got += e.Name + "=" + IntToHex(e.CRC) + ";";
        EXPECT_EQ(got, c.entries) << c.text;
    }
    // ASCII case is ignored, the second byte of a double-byte character is no letter and no
    // separator; a name with a path in it is never found. -1: not found.
    const std::string list = FormatSfv("names", {{"Report.001", 1}, {"dir\\x.002", 2}, {"dir/x.003", 3}, {"c:x.004", 4},
                                                 {"\x83" "a.005", 5}, {SO ".006", 6}});
    const struct { const char* name; int bytes, cp932; } looked[] = {
        {"report.001", 1, 1}, {"REPORT.001", 1, 1}, {"Report.0011", -1, -1}, {"dir\\x.002", -1, -1}, {"x.002", -1, -1},
        {"dir/x.003", -1, -1}, {"c:x.004", -1, -1}, {"\x83" "a.005", 5, 5}, {"\x83" "A.005", 5, -1}, {SO ".006", -1, 6},
    };
    for (const auto& c : looked)
        InBothCodePages(c.name, c.bytes, c.cp932, [&](int want) {
            const std::optional<uint32_t> crc = TSfvList(list).ChecksumOf(c.name);
            EXPECT_EQ(crc ? static_cast<int>(*crc) : -1, want);
        });
}

// A list a stranger made, read for a combine: what each name looks up to ("NAME=CRC;", "NAME=-;"
// for none, "NAME=?;" for names listed with two checksums) and whether any line named a file.
struct TListRow {
    const char* name;
    std::string text;
    bool readable;
    std::string found;
};

class SfvListRead : public ::testing::TestWithParam<TListRow> {};

TEST_P(SfvListRead, EachLineCostsOnlyItself)
{
    const TSfvList list(GetParam().text);
    EXPECT_EQ(list.Readable(), GetParam().readable);
    std::string found;
    for (const char* name : {"x.001", "x.002"}) {
        const std::optional<uint32_t> crc = list.ChecksumOf(name);
        found += std::string(name) + "=" + (list.Conflicting(name) ? "?" : crc ? IntToHex(*crc) : "-") + ";";
    }
    EXPECT_EQ(found, GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(Rows, SfvListRead, ::testing::Values(
    TListRow{"junk_line_between", "x.001 0000000A\r\njunk\r\nx.002 0000000B\r\n", true, "x.001=A;x.002=B;"},
    TListRow{"short_digits_line", "x.001 0123ABC\nx.002 0000000B\n", true, "x.001=-;x.002=B;"},
    TListRow{"byte_order_mark", "\xEF\xBB\xBFx.001 0000000A\r\n", true, "x.001=A;x.002=-;"},
    TListRow{"mark_not_at_start", "x.002 0000000B\n\xEF\xBB\xBFx.001 0000000A\n", true, "x.001=-;x.002=B;"},
    TListRow{"listed_twice_alike", "x.001 0000000A\nX.001 0000000a\n", true, "x.001=A;x.002=-;"},
    TListRow{"listed_twice_unlike", "x.001 0000000A\nX.001 0000000C\nx.002 B\n", true, "x.001=?;x.002=-;"},
    TListRow{"only_junk", "junk\r\n; comment\r\n", false, "x.001=-;x.002=-;"},
    TListRow{"only_a_path", "d\\x.001 0000000A\n", true, "x.001=-;x.002=-;"}),
    [](const ::testing::TestParamInfo<TListRow>& row) { return std::string(row.param.name); });

}  // namespace
