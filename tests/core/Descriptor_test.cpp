#include "Descriptor.h"

#include "CRC32Core.h"
#include "Errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Rows.h"

namespace {

const std::string Bom = "\xEF\xBB\xBF";
const uint32_t Check = 0xCBF43926u;  // the checksum of "123456789"

// A descriptor's text and what it holds.
struct TDescriptorRow { const char* name; std::string text, file = ""; uint64_t size = 0; uint32_t crc = 0; };
class DescriptorWritten : public ::testing::TestWithParam<TDescriptorRow> {};
class DescriptorRead : public ::testing::TestWithParam<TDescriptorRow> {};

void ExpectRead(const TDescriptorRow& c)
{
    const TDescriptor d = ParseDescriptor(c.text);
    EXPECT_EQ(std::tie(d.FileName, d.Size, d.CRC), std::tie(c.file, c.size, c.crc));  // name, size, checksum
}

// Three CR LF lines, the checksum in upper case without leading zeros; read back as written.
TEST_P(DescriptorWritten, IsThreeCrLfLinesReadBackAsWritten)
{
    EXPECT_EQ(FormatDescriptor(GetParam().file, GetParam().size, GetParam().crc), GetParam().text);
    ExpectRead(GetParam());
}
const TDescriptorRow Written[] = {
    {.name = "Report", .text = "filename=report.txt\r\nsize=1474560\r\ncrc32=A1B2C3D\r\n", .file = "report.txt",
     .size = 1474560, .crc = 0x0A1B2C3D},
    {.name = "Empty", .text = "filename=e\r\nsize=0\r\ncrc32=0\r\n", .file = "e"},
    {.name = "Size4GMinus1", .text = "filename=big\r\nsize=4294967295\r\ncrc32=CBF43926\r\n", .file = "big",
     .size = 4294967295u, .crc = Check},
    {.name = "Size5G", .text = "filename=disc.iso\r\nsize=5368709120\r\ncrc32=1\r\n", .file = "disc.iso",
     .size = 5368709120ull, .crc = 1},
    // A name beginning with "size"-like text stays a name.
    {.name = "NameLikeASizeKey", .text = "filename=filesize.log\r\nsize=2147483647\r\ncrc32=CBF43926\r\n",
     .file = "filesize.log", .size = 2147483647u, .crc = Check},
    {.name = "SpaceInTheName", .text = "filename=big one.iso\r\nsize=2147483647\r\ncrc32=FFFFFFFF\r\n",
     .file = "big one.iso", .size = 2147483647u, .crc = 0xFFFFFFFF},
    {.name = "TwoDots", .text = "filename=archive.tar.gz\r\nsize=12\r\ncrc32=0\r\n", .file = "archive.tar.gz",
     .size = 12},
    {.name = "NoName", .text = "filename=\r\nsize=0\r\ncrc32=80000000\r\n", .crc = 0x80000000u},
};
ZANDREL_ROWS(DescriptorWritten, Written);

// What each line gives; a line that counts for nothing is ignored.
TEST_P(DescriptorRead, GivesWhatItsLinesHold) { ExpectRead(GetParam()); }
const TDescriptorRow Read[] = {
    {.name = "Empty", .text = ""},  // missing keys keep their start values
    // Lines split as SplitLines splits them (CR LF with a final one is the written form, above).
    {.name = "LfEnds", .text = "filename=r.txt\nsize=10\ncrc32=CBF43926\n", .file = "r.txt", .size = 10, .crc = Check},
    {.name = "CrEnds", .text = "filename=r.txt\rsize=10\rcrc32=CBF43926", .file = "r.txt", .size = 10, .crc = Check},
    {.name = "MixedEnds", .text = "filename=r.txt\r\nsize=10\ncrc32=CBF43926", .file = "r.txt", .size = 10,
     .crc = Check},
    // The character after the key is skipped whatever it is; values are trimmed of codes <= 32.
    {.name = "AnySeparatorTrimmedValues", .text = "filename:  my file.txt \t\r\nsize# 42\x01\r\ncrc32 a1b2c3d\r\n",
     .file = "my file.txt", .size = 42, .crc = 0x0A1B2C3Du},
    // A leading space, a different case or an unknown key: the line is ignored.
    {.name = "UnknownKeysIgnored", .text = " size=10\r\nSize=11\r\nFILENAME=x\r\nsiz=1\r\nfilename=a\r\n", .file = "a"},
    // The last line of a key counts, and only that one is converted.
    {.name = "LastLineCounts", .text = "size=1\r\nfilename=a\r\nsize=2\r\ncrc32=1\r\nfilename=b\r\ncrc32=FF\r\n",
     .file = "b", .size = 2, .crc = 0xFFu},
    {.name = "EarlierJunkSizeUnread", .text = "size=junk\r\nsize=5\r\n", .size = 5},
    // A key with nothing after it, or just the skipped character, gives an empty value.
    {.name = "EmptyValues", .text = "filename\r\ncrc32=\r\n"},
    // Only the first eight checksum digits count; a malformed checksum raises nothing.
    {.name = "LongChecksum", .text = "crc32=CBF43926FF\r\n", .crc = Check},
    {.name = "MalformedChecksum", .text = "crc32=XYZ\r\n", .crc = (('X' - 55u) * 16 + ('Y' - 55u)) * 16 + ('Z' - 55u)},
    // A longer key that starts with a known key is read as that key, its next character skipped.
    {.name = "LongerSizeKey", .text = "sizes7\r\n", .size = 7},
    {.name = "LongerChecksumKey", .text = "crc32x=1\r\n", .crc = static_cast<uint32_t>('=' - 55) * 16u + 1u},
    // A UTF-8 byte order mark is skipped at the start only; later on it is text.
    {.name = "BomAtTheStart", .text = Bom + "filename=r.txt\r\nsize=10\r\n", .file = "r.txt", .size = 10},
    {.name = "BomLater", .text = "size=1\r\n" + Bom + "size=10\r\n", .size = 1},
};
ZANDREL_ROWS(DescriptorRead, Read);

TEST(Descriptor, NameIsReadAfterABomWhateverTheSize)
{
    EXPECT_EQ(ParseDescriptorName(Bom + "filename=r.txt\r\nsize=junk\r\n"), "r.txt");
}

// What a split leaves until its last piece: our reader knows it, a reader of the three-line format
// finds no name and a size that is no number.
TEST(Descriptor, UnfinishedOneNamesItsFileToThisReaderOnly)
{
    const std::string text = FormatUnfinishedDescriptor("big one.bin");
    EXPECT_EQ(text, "unfinished=big one.bin\r\nsize=unfinished\r\n");
    EXPECT_TRUE(IsUnfinishedDescriptor(text));
    EXPECT_EQ(ParseDescriptorName(text), "big one.bin");
    EXPECT_THROW(ParseDescriptor(text), EConvertError);
    EXPECT_FALSE(IsUnfinishedDescriptor(FormatDescriptor("big one.bin", 1, 1)));
    EXPECT_EQ(ParseDescriptorName("filename=a\r\n" + text), "a");
}

TEST(DescriptorText, SplitLinesEndsALineAtCrLfLoneCrOrLoneLf)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitLines(""), V{});
    EXPECT_EQ(SplitLines("a"), V{"a"});
    EXPECT_EQ(SplitLines("a\r\n"), V{"a"});
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (V{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\n\r"), (V{"a", ""}));  // LF then a lone CR: two line ends
    EXPECT_EQ(SplitLines("a\r\r\nb"), (V{"a", "", "b"}));
    EXPECT_EQ(SplitLines("\n\n"), (V{"", ""}));
    EXPECT_EQ(SplitLines("a\r"), V{"a"});
}

TEST(DescriptorText, TrimDropsCodesUpTo32AtBothEnds)
{
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim(" \t\r\n\x01 "), "");
    EXPECT_EQ(Trim(" a b "), "a b");
    EXPECT_EQ(Trim("\x7F" "a\xA0"), "\x7F" "a\xA0");  // codes above 32 stay
}

// Texts and the number each stands for; written: IntToHex(value) writes texts[0].
struct TNumberRow { const char* name; std::vector<std::string> texts; uint64_t value = 0; bool written = false; };
class HexDigits : public ::testing::TestWithParam<TNumberRow> {};
class SizeText : public ::testing::TestWithParam<TNumberRow> {};

// Other characters than hexadecimal digits follow the digit rule (code - 55) and wrap without an
// error; only the first eight characters count. Written in upper case without leading zeros.
TEST_P(HexDigits, ReadByTheDigitRule)
{
    for (const std::string& text : GetParam().texts) EXPECT_EQ(HexStrToInt(text), GetParam().value) << text;
    if (GetParam().written) {
        EXPECT_EQ(IntToHex(static_cast<uint32_t>(GetParam().value)), GetParam().texts[0]);
    }
}
const TNumberRow Hex[] = {
    {.name = "Zero", .texts = {"0", ""}, .written = true},
    {.name = "Check", .texts = {"CBF43926", "cbf43926"}, .value = 0xCBF43926u, .written = true},
    {.name = "SevenDigits", .texts = {"A1B2C3D"}, .value = 0x0A1B2C3Du, .written = true},
    {.name = "OneDigit", .texts = {"F"}, .value = 0xF, .written = true},
    {.name = "TrailingZeros", .texts = {"10000000"}, .value = 0x10000000, .written = true},
    {.name = "TenDigits", .texts = {"1234567890"}, .value = 0x12345678u},
    {.name = "AllOnes", .texts = {"FFFFFFFF"}, .value = 0xFFFFFFFFu},
    {.name = "G", .texts = {"G"}, .value = 16u},
    {.name = "Space", .texts = {" "}, .value = static_cast<uint32_t>(32 - 48)},
    {.name = "Z0", .texts = {"Z0"}, .value = (90u - 55u) * 16u},
};
ZANDREL_ROWS(HexDigits, Hex);

TEST(DescriptorText, HexDigitsWrittenReadBackAsTheValue)
{
    for (uint32_t v : {0u, 1u, 0xFu, 0x10u, 0xDEADBEEFu, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu})
        EXPECT_EQ(HexStrToInt(IntToHex(v)), v);
}

// Anything from 0 to 2^63 - 1; a negative 32-bit value keeps its old meaning, its unsigned 32-bit
// pattern. Read by StrToSize itself and through a descriptor's size line.
TEST_P(SizeText, ReadAloneOrOnASizeLine)
{
    for (const std::string& text : GetParam().texts) {
        EXPECT_EQ(StrToSize(text), GetParam().value) << text;
        EXPECT_EQ(ParseDescriptor("size=" + text + "\r\n").Size, GetParam().value) << text;
    }
}
const TNumberRow Sizes[] = {
    {.name = "Zero", .texts = {"0", "-0"}},
    {.name = "Plain", .texts = {"42", "+42"}, .value = 42},
    {.name = "LeadingZeros", .texts = {"007"}, .value = 7},
    {.name = "Negative", .texts = {"-42"}, .value = 4294967254u},
    {.name = "Int32Max", .texts = {"2147483647", "0000000000002147483647"}, .value = 2147483647u},
    {.name = "Int32MaxPlus1", .texts = {"2147483648", "-2147483648"}, .value = 2147483648u},
    {.name = "Size4G", .texts = {"4294967296"}, .value = 4294967296u},
    {.name = "Int64Max", .texts = {"9223372036854775807", "+00009223372036854775807"}, .value = 9223372036854775807u},
    {.name = "MinusOne", .texts = {"-1"}, .value = 4294967295u},
};
ZANDREL_ROWS(SizeText, Sizes);

// Out of range, or no plain decimal number; a size line's value is trimmed before it is read, and
// named so (a leading space is no fault there).
struct TBadSizeRow { const char* name; std::vector<std::string> texts; bool trimmedOnALine = false; };
class SizeTextRefused : public ::testing::TestWithParam<TBadSizeRow> {};

TEST_P(SizeTextRefused, NamesTheTextAloneOrOnASizeLine)
{
    using ::testing::ThrowsMessage;
    for (const std::string& bad : GetParam().texts) {
        const auto notValid = ThrowsMessage<EConvertError>("'" + bad + "' is not a valid integer value");
        EXPECT_THAT([&] { StrToSize(bad); }, notValid) << bad;
        if (!GetParam().trimmedOnALine) {
            EXPECT_THAT([&] { ParseDescriptor("filename=a\r\nsize= \t" + bad + "  \r\ncrc32=0\r\n"); }, notValid);
        }
    }
}
const TBadSizeRow BadSizes[] = {
    {.name = "OutOfRange", .texts = {"9223372036854775808", "18446744073709551615", "18446744073709551616",
                                     "99999999999999999999", "-2147483649", "-4294967295", "-9223372036854775808"}},
    // No digit, a space inside, another base, an exponent, a fraction, letters, a second sign.
    {.name = "NoPlainDecimal", .texts = {"", "+", "-", "1 0", "0x10", "$10", "1e3", "1.0", "abc", "12a", "--1"}},
    {.name = "LeadingSpace", .texts = {" 1"}, .trimmedOnALine = true},
};
ZANDREL_ROWS(SizeTextRefused, BadSizes);

}  // namespace
