#include "Md5.h"
#include "Rows.h"

#include <string>

namespace {

std::string Hex(const TMd5Digest& d)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : d) s += {digits[b >> 4], digits[b & 15]};
    return s;
}

struct Md5Row {
    std::string name;
    std::string text;
    std::string digest;
};

class Md5Known : public ::testing::TestWithParam<Md5Row> {};

TEST_P(Md5Known, DigestIsTheRfc1321One)
{
    EXPECT_EQ(Hex(Md5Of(GetParam().text.data(), GetParam().text.size())), GetParam().digest);
}

const Md5Row kKnown[] = {
    {.name = "Empty", .text = "", .digest = "d41d8cd98f00b204e9800998ecf8427e"},
    {.name = "OneLetter", .text = "a", .digest = "0cc175b9c0f1b6a831c399e269772661"},
    {.name = "Abc", .text = "abc", .digest = "900150983cd24fb0d6963f7d28e17f72"},
    {.name = "MessageDigest", .text = "message digest", .digest = "f96b697d7cb7938d525a2f31aaf161d0"},
    {.name = "Alphabet", .text = "abcdefghijklmnopqrstuvwxyz", .digest = "c3fcd3d76192e4007dfb496cca67e13b"},
    {.name = "SixtyTwoPadIntoSecondBlock",
     .text = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     .digest = "d174ab98d277d9f5a5611c2c9f419d9f"},
    {.name = "EightyDigitsTwoBlocks",
     .text = "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     .digest = "57edf4a22be3c955ac49da2e2107b67a"},
};
ZANDREL_ROWS(Md5Known, kKnown);

struct PiecesRow {
    std::string name;
    size_t length = 0;
    size_t cut = 0;
};

class Md5Pieces : public ::testing::TestWithParam<PiecesRow> {};

TEST_P(Md5Pieces, PiecesGiveTheDigestOfTheWhole)
{
    std::string bytes(GetParam().length, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + 3);
    TMd5 md5;
    md5.Update(bytes.data(), GetParam().cut);
    md5.Update(bytes.data() + GetParam().cut, bytes.size() - GetParam().cut);
    EXPECT_EQ(md5.Final(), Md5Of(bytes.data(), bytes.size()));
}

const PiecesRow kPieces[] = {
    {.name = "CutInsideFirstBlock", .length = 100, .cut = 10},
    {.name = "CutAtBlockEnd", .length = 200, .cut = 64},
    {.name = "FirstPieceEmpty", .length = 130, .cut = 0},
    {.name = "SecondPieceFillsPendingBlock", .length = 128, .cut = 63},
};
ZANDREL_ROWS(Md5Pieces, kPieces);

}  // namespace
