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
    // separator; a name with a path in it is never found, nor one listed with two checksums; a
    // byte-order mark at the start is skipped and a junk line costs only itself. -1: not found.
    const std::string list = "\xEF\xBB\xBF" "first.000 00000009\r\n" +
                             FormatSfv("names", {{"Report.001", 1}, {"dir\\x.002", 2}, {"dir/x.003", 3}, {"c:x.004", 4},
                                                 {"\x83" "a.005", 5}, {SO ".006", 6}, {"two.007", 7}, {"TWO.007", 8}}) +
                             "junk\r\nalike.008 00000008\r\nALIKE.008 00000008\r\n";
    const struct { const char* name; int bytes, cp932; } looked[] = {
        {"report.001", 1, 1}, {"REPORT.001", 1, 1}, {"Report.0011", -1, -1}, {"dir\\x.002", -1, -1}, {"x.002", -1, -1},
        {"dir/x.003", -1, -1}, {"c:x.004", -1, -1}, {"\x83" "a.005", 5, 5}, {"\x83" "A.005", 5, -1}, {SO ".006", -1, 6},
        {"FIRST.000", 9, 9}, {"two.007", -1, -1}, {"alike.008", 8, 8},
    };
    for (const auto& c : looked)
        InBothCodePages(c.name, c.bytes, c.cp932, [&](int want) {
            const std::optional<uint32_t> crc = TSfvList(list).ChecksumOf(c.name);
            EXPECT_EQ(crc ? static_cast<int>(*crc) : -1, want);
        });
}

}  // namespace
