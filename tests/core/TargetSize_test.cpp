#include "TargetSize.h"

#include <clocale>
#include <gtest/gtest.h>

namespace {

struct SizeCase { const char* text; uint32_t bytes; };

TEST(TargetSize, ReadWithTheSeparatorGiven)
{
    const SizeCase point[] = {
        {"650 Mb (CD)", 681574400}, {"1.44 Mb (3.5\")", 1509949}, {"1.2 Mb (5.25\")", 1258291},
        {"720 Kb (3.5\")", 737280}, {"360 Kb (5.25\")", 368640}, {"100 Mb (ZIP)", 104857600},
        {"250 Mb (ZIP)", 262144000}, {"100000", 100000}, {"100 bytes", 100}, {"0.5 b", 0}, {"1.5 b", 2},
        {"2.5 b", 2}, {"3.5 b", 4}, {"-2.5", 0}, {"100 MB", 0}, {"1 kb", 0}, {"", 0}, {"   ", 0}, {"Mb", 0},
        {"Kb", 0}, {"b", 0}, {"4096 Mb", 0}, {"2048 Mb", 2147483648u}, {"-1", 0}, {"1e3", 1000},
        {"1E3 Kb", 1024000}, {"2.5e-1 Kb", 256}, {"+7", 7}, {".5 Kb", 512}, {"1. Kb", 1024}, {" \t12\r\n", 12},
        {"\x01" "5" "\x1F", 5}, {"1,44 Mb", 0}, {"1 000", 0}, {"0x10", 0}, {"$10", 0}, {"inf", 0}, {"nan", 0},
        {"INF Mb", 0}, {"1e", 0}, {"1e+", 0}, {"e5", 0}, {".", 0}, {"-", 0}, {"1.5.5", 0}, {"--1", 0},
        {"12 Kb Mb", 0},                   // "Mb" is looked for first: "12 Kb" is no number
        {"3 Kb (1 Mb)", 0},                // ... anywhere in the text
        {"1 Kbb", 1024}, {"7 abc", 0},
        {"9223372036854775807", 0},        // beyond 32 bits, however exactly it is read
        {"9223372036854775807.5", 0},      // 2^63 after rounding: out of range
        {"-9223372036854775807", 0},
        {"4097 Mb", 0},                    {"-4095 Mb", 0},  // outside 1 .. 2^32 - 1: no low 32 bits
        {"4294967297", 0}, {"-0.6", 0}, {"4095 Mb", 4293918720u}, {"4294967295.4", 4294967295u},
        {"-9223372036854775808", 0},       // -2^63 fits, its low 32 bits are 0
        {"-9223372036854775809", 0},
        {"-9223372036854776832", 0},       // rounds to the next value below -2^63: out of range
        {"8796093022208 Mb", 0},           // 2^63 exactly: out of range
        {"1e4000", 0}, {"1e-4000 Mb", 0},
        {"0.49999999999999999999 b", 0},   {"0.50000000000000000001", 0},  // extended precision
        {"0.5000000001", 1},
        {"0.00000095367431640625 Mb", 1},  // 2^-20 Mb: exactly 1 byte
        {"0.000000476837158203125 Mb", 0}, // exactly half a byte, to the even neighbour
        {"0.0000014305114746093750 Mb", 2},// one and a half bytes
        {"-0", 0},
    };
    const SizeCase comma[] = {
        {"1.5 Mb", 0}, {"1,44 Mb (3.5\")", 1509949}, {"1,2 Mb (5.25\")", 1258291}, {"650 Mb (CD)", 681574400},
        {"2,5 b", 2}, {"1,5e1 Kb", 15360}, {"1,000", 1}, {"1.000", 0},
    };
    for (const SizeCase& c : point) EXPECT_EQ(ParseTargetSize(c.text, '.'), c.bytes) << '"' << c.text << '"';
    for (const SizeCase& c : comma) EXPECT_EQ(ParseTargetSize(c.text, ','), c.bytes) << '"' << c.text << "\" (,)";
}

// A process whose C locale uses a comma must still read "1.44" with '.' as separator.
TEST(TargetSize, TheProcessLocaleChangesNothing)
{
    const char* const names[] = {"de_DE.UTF-8", "de_DE", "German_Germany.1252", "German", "fr_FR.UTF-8"};
    const std::string old = std::setlocale(LC_ALL, nullptr);
    bool switched = false;
    for (const char* n : names)
        if (!switched && std::setlocale(LC_ALL, n)) switched = true;
    const uint32_t point = ParseTargetSize("1.44 Mb (3.5\")", '.'), comma = ParseTargetSize("1,44 Mb (3.5\")", ',');
    const uint32_t other = ParseTargetSize("1,44 Mb (3.5\")", '.');
    std::setlocale(LC_ALL, old.c_str());
    if (!switched) GTEST_SKIP() << "no locale with a decimal comma is installed";
    EXPECT_EQ(point, 1509949u);
    EXPECT_EQ(comma, 1509949u);
    EXPECT_EQ(other, 0u);
}

}  // namespace
