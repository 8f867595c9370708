#include "PieceNames.h"
#include "PiecePlan.h"

#include <gtest/gtest.h>

#include "CodePage932.h"
#include "Rows.h"

namespace {

// A piece's name: the source's (or the descriptor's) without its extension, then the number.
struct TPieceNameRow { const char* name; uint32_t n; const char* piece; const char* base = "T:\\report.txt"; };
class PieceName : public ::testing::TestWithParam<TPieceNameRow> {};

TEST_P(PieceName, IsTheBaseNumberedFrom001)
{
    EXPECT_EQ(PieceFileName(GetParam().base, GetParam().n), GetParam().piece);
}
const TPieceNameRow PieceNames[] = {
    {.name = "First", .n = 1, .piece = "T:\\report.001"},
    {.name = "Second", .n = 2, .piece = "T:\\report.002"},
    {.name = "Ten", .n = 10, .piece = "T:\\report.010"},
    {.name = "TwoDigitsLast", .n = 99, .piece = "T:\\report.099"},
    {.name = "ThreeDigitsFirst", .n = 100, .piece = "T:\\report.100"},
    {.name = "ThreeDigitsLast", .n = 999, .piece = "T:\\report.999"},
    {.name = "FourDigitsFirst", .n = 1000, .piece = "T:\\report.1000"},
    {.name = "FourDigitsSecond", .n = 1001, .piece = "T:\\report.1001"},
    {.name = "FiveDigits", .n = 12345, .piece = "T:\\report.12345"},
    // The reading side derives the same names from the descriptor's path.
    {.name = "FromTheDescriptor", .n = 1000, .piece = "T:\\report.1000", .base = "T:\\report.crc"},
    {.name = "NoExtension", .n = 1, .piece = "T:\\README.001", .base = "T:\\README"},
    {.name = "OnlyAnExtension", .n = 1, .piece = "T:\\.001", .base = "T:\\.profile"},
};
ZANDREL_ROWS(PieceName, PieceNames);

// 表示.txt in the directory 表: the pieces and the descriptor keep the whole name.
TEST(PieceNames, KeepTheWholeNameInCodePage932)
{
    TCodePage932 cp932;
    EXPECT_EQ(PieceFileName("T:\\" HYO "\\" HYO "\x8E\xA6.txt", 1000), "T:\\" HYO "\\" HYO "\x8E\xA6.1000");
    EXPECT_EQ(DescriptorFileName("T:\\" HYO "\\" HYO "\x8E\xA6.txt"), "T:\\" HYO "\\" HYO "\x8E\xA6.crc");
}

// What a combine reads from a name: the piece number, if any.
// n: none for no piece.
struct TPieceNumberRow { const char* name; std::vector<const char*> paths; std::optional<uint32_t> n = std::nullopt; };
class PieceNumber : public ::testing::TestWithParam<TPieceNumberRow> {};

TEST_P(PieceNumber, IsReadFromTheExtension)
{
    for (const char* path : GetParam().paths) EXPECT_EQ(PieceNumberOf(path), GetParam().n) << path;
}
const TPieceNumberRow PieceNumbers[] = {
    {.name = "First", .paths = {"d\\a.001", ".001"}, .n = 1},
    {.name = "Zero", .paths = {"a.000"}, .n = 0},
    {.name = "ThreeDigitsLast", .paths = {"a.999"}, .n = 999},
    {.name = "FourDigitsFirst", .paths = {"a.1000"}, .n = 1000},
    {.name = "NineDigits", .paths = {"a.123456789"}, .n = 123456789},
    {.name = "LastExtensionOnly", .paths = {"a.b.002"}, .n = 2},
    {.name = "ZerosBeyondThreeDigits", .paths = {"a.0001", "a.01000"}},
    {.name = "TwoOrTenDigits", .paths = {"a.00", "a.1234567890"}},
    {.name = "NoDigits", .paths = {"a.crc", "a.0x1", "a"}},
};
ZANDREL_ROWS(PieceNumber, PieceNumbers);

// Whether the system would put a name elsewhere: a directory, a device, a name it changes.
struct TNameRuleRow {
    const char* name;
    std::vector<const char*> names;
    bool leaves = false, device = false, changed = false;
};
class NameRules : public ::testing::TestWithParam<TNameRuleRow> {};

TEST_P(NameRules, TellWhereTheSystemPutsTheName)
{
    TCodePage932 cp932;
    for (const char* name : GetParam().names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(LeavesDirectory(name), GetParam().leaves);
        EXPECT_EQ(NamesDevice(name), GetParam().device);
        EXPECT_EQ(SystemChangesName(name), GetParam().changed);
    }
}
const TNameRuleRow NameRuleRows[] = {
    {.name = "Plain", .names = {"a.bin", " a", HYO}},
    {.name = "NoSuchDevice", .names = {"LPT0", "COM10"}},
    {.name = "OtherDirectory", .names = {"..\\a", "c:a", "a/b"}, .leaves = true},
    {.name = "DotDirectory", .names = {"..", "."}, .leaves = true, .changed = true},
    {.name = "Device", .names = {"NUL", "con.txt", "Com9 .x", "conin$"}, .device = true},
    {.name = "DeviceTrailingDot", .names = {"aux."}, .device = true, .changed = true},
    {.name = "TrailingDotOrSpace", .names = {"a.bin.", "a.bin ", "x."}, .changed = true},
};
ZANDREL_ROWS(NameRules, NameRuleRows);

const uint64_t G = 1ull << 30;
const uint32_t GiB = 1u << 30;
const uint32_t P = 4294967295u;      // the largest piece size
const uint32_t Fat32 = 4293918720u;  // 4095 MiB

// A source cut into full pieces and a rest (the first piece's length is checked with the full ones, or as the
// last); the last piece's name.
struct TPlanRow { const char* name; uint64_t size; uint32_t piece, count = 0, last = 0; const char* lastName = ""; };
class PiecePlan : public ::testing::TestWithParam<TPlanRow> {};
class PiecePlanRefused : public ::testing::TestWithParam<TPlanRow> {};

TEST_P(PiecePlan, CutsFullPiecesAndARest)
{
    const TPlanRow& c = GetParam();
    const TPiecePlan plan{c.size, c.piece};
    ASSERT_TRUE(plan.Accepted());
    ASSERT_EQ(plan.Count(), c.count);
    EXPECT_EQ(plan.Length(c.count), c.last);
    uint64_t sum = 0;
    for (uint32_t n = 1; n <= plan.Count(); ++n) {
        if (n < plan.Count()) {
            EXPECT_EQ(plan.Length(n), c.piece) << n;
        }
        sum += plan.Length(n);
    }
    EXPECT_EQ(sum, c.size);
    EXPECT_EQ(PieceFileName("T:\\d.iso", plan.Count()), c.lastName);
}
const TPlanRow Plans[] = {
    {.name = "TwoGiBLess1", .size = 2 * G - 1, .piece = GiB, .count = 2, .last = GiB - 1, .lastName = "T:\\d.002"},
    // No empty trailing piece.
    {.name = "TwoGiB", .size = 2 * G, .piece = GiB, .count = 2, .last = GiB, .lastName = "T:\\d.002"},
    {.name = "TwoGiBPlus1", .size = 2 * G + 1, .piece = GiB, .count = 3, .last = 1, .lastName = "T:\\d.003"},
    {.name = "Fat32FourGiB", .size = 4 * G + 100, .piece = Fat32, .count = 2, .last = 1048676,
     .lastName = "T:\\d.002"},
    {.name = "Fat32FiveGiB", .size = 5 * G + 7, .piece = Fat32, .count = 2, .last = 1074790407,
     .lastName = "T:\\d.002"},
    {.name = "GiBFiveGiB", .size = 5 * G + 7, .piece = GiB, .count = 6, .last = 7, .lastName = "T:\\d.006"},
    {.name = "Piece1000Of1Byte", .size = 999ull * P + 1, .piece = P, .count = 1000, .last = 1,
     .lastName = "T:\\d.1000"},
    {.name = "Piece1000AlmostFull", .size = 1000ull * P - 1, .piece = P, .count = 1000, .last = P - 1,
     .lastName = "T:\\d.1000"},
    // An empty source: one empty piece.
    {.name = "EmptySource", .size = 0, .piece = P, .count = 1, .lastName = "T:\\d.001"},
};
ZANDREL_ROWS(PiecePlan, Plans);

TEST_P(PiecePlanRefused, IsNotAccepted) { EXPECT_FALSE((TPiecePlan{GetParam().size, GetParam().piece}.Accepted())); }
const TPlanRow Refused[] = {
    {.name = "Piece1001", .size = 1000ull * P, .piece = P},
    {.name = "Over32Bits", .size = 4 * G + 100, .piece = 1},  // 32 bits would see 100 bytes
    {.name = "NoPieceSize", .size = 5 * G, .piece = 0},
};
ZANDREL_ROWS(PiecePlanRefused, Refused);

}  // namespace
