#include "Md5.h"
#include "Rows.h"

#include <cstdio>
#include <string>

namespace {

std::string Hex(const TMd5Digest& d)
{
    char hex[33];
    for (size_t i = 0; i < d.size(); ++i) std::snprintf(hex + 2 * i, 3, "%02x", d[i]);
    return hex;
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
    {.name = "Abc", .text = "abc", .digest = "900150983cd24fb0d6963f7d28e17f72"},
    {.name = "MessageDigest", .text = "message digest", .digest = "f96b697d7cb7938d525a2f31aaf161d0"},
    {.name = "SixtyTwoPadIntoSecondBlock",
     .text = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     .digest = "d174ab98d277d9f5a5611c2c9f419d9f"},
    {.name = "EightyDigitsTwoBlocks",
     .text = "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     .digest = "57edf4a22be3c955ac49da2e2107b67a"},
};
ZANDREL_ROWS(Md5Known, kKnown);

}  // namespace
