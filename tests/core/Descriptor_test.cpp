#include "Descriptor.h"

#include "CRC32Core.h"
#include "Errors.h"

#include <gtest/gtest.h>

namespace {

// Three CR LF lines, the checksum in upper case without leading zeros; read back as written.
TEST(Descriptor, WritesThreeCrLfLinesReadsThemBackAndTheUnfinishedOneSplitLinesAndTrim)
{
    const struct { const char* name; uint64_t size; uint32_t crc; const char* text; } cases[] = {
        {"report.txt", 1474560, 0x0A1B2C3D, "filename=report.txt\r\nsize=1474560\r\ncrc32=A1B2C3D\r\n"},
        {"e", 0, 0, "filename=e\r\nsize=0\r\ncrc32=0\r\n"},
        {"big", 4294967295u, 0xCBF43926, "filename=big\r\nsize=4294967295\r\ncrc32=CBF43926\r\n"},
        {"disc.iso", 5368709120ull, 1, "filename=disc.iso\r\nsize=5368709120\r\ncrc32=1\r\n"},
        // A name beginning with "size"-like text stays a name.
        {"filesize.log", 2147483647u, 0xCBF43926, "filename=filesize.log\r\nsize=2147483647\r\ncrc32=CBF43926\r\n"},
        {"big one.iso", 2147483647u, 0xFFFFFFFF, "filename=big one.iso\r\nsize=2147483647\r\ncrc32=FFFFFFFF\r\n"},
        {"archive.tar.gz", 12, 0, "filename=archive.tar.gz\r\nsize=12\r\ncrc32=0\r\n"},
        {"", 0, 0x80000000u, "filename=\r\nsize=0\r\ncrc32=80000000\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatDescriptor(c.name, c.size, c.crc), c.text);
        const TDescriptor d = ParseDescriptor(c.text);
        EXPECT_EQ(d.FileName, c.name);
        EXPECT_EQ(d.Size, c.size) << c.name;
        EXPECT_EQ(d.CRC, c.crc) << c.name;
    }
    // What a split leaves until its last piece: our reader knows it, a reader of the three-line
    // format finds no name and a size that is no number.
    const std::string text = FormatUnfinishedDescriptor("big one.bin");
    EXPECT_EQ(text, "unfinished=big one.bin\r\nsize=unfinished\r\n");
    EXPECT_TRUE(IsUnfinishedDescriptor(text));
    EXPECT_EQ(ParseDescriptorName(text), "big one.bin");
    EXPECT_THROW(ParseDescriptor(text), EConvertError);
    EXPECT_FALSE(IsUnfinishedDescriptor(FormatDescriptor("big one.bin", 1, 1)));
    EXPECT_EQ(ParseDescriptorName("filename=a\r\n" + text), "a");

    using V = std::vector<std::string>;
    EXPECT_EQ(SplitLines(""), V{});
    EXPECT_EQ(SplitLines("a"), V{"a"});
    EXPECT_EQ(SplitLines("a\r\n"), V{"a"});
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (V{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\n\r"), (V{"a", ""}));       // LF then a lone CR: two line ends
    EXPECT_EQ(SplitLines("a\r\r\nb"), (V{"a", "", "b"}));
    EXPECT_EQ(SplitLines("\n\n"), (V{"", ""}));
    EXPECT_EQ(SplitLines("a\r"), V{"a"});
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim(" \t\r\n\x01 "), "");
    EXPECT_EQ(Trim(" a b "), "a b");
    EXPECT_EQ(Trim("\x7F" "a\xA0"), "\x7F" "a\xA0");   // codes above 32 stay
}

// What each line gives; a line that counts for nothing is ignored.
TEST(Descriptor, KeysValuesLineEndsSizeRangeAndTheHexadecimalDigits)
{
    const std::string bom = "\xEF\xBB\xBF";
    const uint32_t xyz = ((('X' - 55u) * 16) + ('Y' - 55u)) * 16 + ('Z' - 55u);  // the digit rule of HexStrToInt
    const struct { std::string text; const char* name; uint64_t size; uint32_t crc; } cases[] = {
        {"", "", 0, 0},  // missing keys keep their start values
        // Lines split as SplitLines splits them (CR LF with a final one is the written form, above).
        {"filename=r.txt\nsize=10\ncrc32=CBF43926\n", "r.txt", 10, 0xCBF43926u},
        {"filename=r.txt\rsize=10\rcrc32=CBF43926", "r.txt", 10, 0xCBF43926u},
        {"filename=r.txt\r\nsize=10\ncrc32=CBF43926", "r.txt", 10, 0xCBF43926u},
        // The character after the key is skipped whatever it is; values are trimmed of codes <= 32.
        {"filename:  my file.txt \t\r\nsize# 42\x01\r\ncrc32 a1b2c3d\r\n", "my file.txt", 42, 0x0A1B2C3Du},
        // A leading space, a different case or an unknown key: the line is ignored.
        {" size=10\r\nSize=11\r\nFILENAME=x\r\nsiz=1\r\nfilename=a\r\n", "a", 0, 0},
        // The last line of a key counts, and only that one is converted.
        {"size=1\r\nfilename=a\r\nsize=2\r\ncrc32=1\r\nfilename=b\r\ncrc32=FF\r\n", "b", 2, 0xFFu},
        {"size=junk\r\nsize=5\r\n", "", 5, 0},
        // A key with nothing after it, or just the skipped character, gives an empty value.
        {"filename\r\ncrc32=\r\n", "", 0, 0},
        // Only the first eight checksum digits count; a malformed checksum raises nothing.
        {"crc32=CBF43926FF\r\n", "", 0, 0xCBF43926u}, {"crc32=XYZ\r\n", "", 0, xyz},
        // A longer key that starts with a known key is read as that key, its next character skipped.
        {"sizes7\r\n", "", 7, 0}, {"crc32x=1\r\n", "", 0, static_cast<uint32_t>('=' - 55) * 16u + 1u},
        // A UTF-8 byte order mark is skipped at the start only; later on it is text.
        {bom + "filename=r.txt\r\nsize=10\r\n", "r.txt", 10, 0}, {"size=1\r\n" + bom + "size=10\r\n", "", 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const TDescriptor d = ParseDescriptor(c.text);
        EXPECT_EQ(d.FileName, c.name);
        EXPECT_EQ(d.Size, c.size);
        EXPECT_EQ(d.CRC, c.crc);
    }
    EXPECT_EQ(ParseDescriptorName(bom + "filename=r.txt\r\nsize=junk\r\n"), "r.txt");

    // Other characters than hexadecimal digits follow the digit rule (code - 55) and wrap without
    // an error; only the first eight characters count.
    const struct { const char* text; uint32_t value; } read[] = {
        {"CBF43926", 0xCBF43926u}, {"cbf43926", 0xCBF43926u}, {"0", 0u}, {"", 0u}, {"A1B2C3D", 0x0A1B2C3Du},
        {"1234567890", 0x12345678u}, {"FFFFFFFF", 0xFFFFFFFFu}, {"G", 16u}, {" ", static_cast<uint32_t>(32 - 48)},
        {"Z0", (90u - 55u) * 16u}};
    for (const auto& c : read) EXPECT_EQ(HexStrToInt(c.text), c.value) << '"' << c.text << '"';
    const struct { uint32_t value; const char* text; } written[] = {
        {0, "0"}, {0xCBF43926, "CBF43926"}, {0x0A1B2C3D, "A1B2C3D"}, {0xF, "F"}, {0x10000000, "10000000"}};
    for (const auto& c : written) EXPECT_EQ(IntToHex(c.value), c.text);
    for (uint32_t v : {0u, 1u, 0xFu, 0x10u, 0xDEADBEEFu, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu})
        EXPECT_EQ(HexStrToInt(IntToHex(v)), v);

    // Anything from 0 to 2^63 - 1; a negative 32-bit value keeps its old meaning, its unsigned
    // 32-bit pattern. Read by StrToSize itself and through a descriptor's size line.
    const struct { const char* in; uint64_t v; } ok[] = {
        {"0", 0}, {"42", 42}, {"+42", 42}, {"007", 7}, {"-42", 4294967254u},
        {"0000000000002147483647", 2147483647u}, {"2147483647", 2147483647u}, {"2147483648", 2147483648u},
        {"4294967296", 4294967296u}, {"9223372036854775807", 9223372036854775807u},
        {"+00009223372036854775807", 9223372036854775807u}, {"-1", 4294967295u}, {"-2147483648", 2147483648u},
        {"-0", 0},
    };
    for (const auto& c : ok) {
        EXPECT_EQ(StrToSize(c.in), c.v) << c.in;
        EXPECT_EQ(ParseDescriptor("size=" + std::string(c.in) + "\r\n").Size, c.v) << c.in;
    }
    // Out of range, and whatever is no plain decimal number: no digit, a space inside, another
    // base, an exponent, a fraction, a second sign.
    for (const char* bad : {"9223372036854775808", "18446744073709551615", "18446744073709551616",
                            "99999999999999999999", "-2147483649", "-4294967295", "-9223372036854775808",
                            "", "+", "-", "1 0", "0x10", "$10", "1e3", "1.0", "abc", "12a", "--1", " 1"}) {
        const std::string expected = "'" + std::string(bad) + "' is not a valid integer value";
        try {
            StrToSize(bad);
            ADD_FAILURE() << "no error for '" << bad << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), expected);
        }
        if (Trim(bad) != bad) continue;
        try {  // the size line's value is trimmed before it is read, and named so
            ParseDescriptor("filename=a\r\nsize= \t" + std::string(bad) + "  \r\ncrc32=0\r\n");
            ADD_FAILURE() << "no error for size line '" << bad << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), expected);
        }
    }
}

}  // namespace
