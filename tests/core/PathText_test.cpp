#include "PathText.h"

#include <gtest/gtest.h>

namespace {

TEST(PathText, AddBackslash)
{
    const struct { const char* in; const char* out; } cases[] = {
        {"", ""},           {"C", "C:\\"},     {"c", "c:\\"},     {"z", "z:\\"},
        {"C:", "C:\\"},     {"C:\\", "C:\\"},  {"1", "1\\"},      {"@", "@\\"},
        {"\\", "\\"},       {"C:\\dir", "C:\\dir\\"},
        {"\\\\server\\share", "\\\\server\\share\\"},
        {"\xC4", "\xC4\\"},  // only ASCII letters are drive letters
    };
    for (const auto& c : cases) EXPECT_EQ(AddBackslash(c.in), c.out) << '"' << c.in << '"';
}

TEST(PathText, RemoveBackslash)
{
    EXPECT_EQ(RemoveBackslash(""), "");
    EXPECT_EQ(RemoveBackslash("C:\\"), "C:");
    EXPECT_EQ(RemoveBackslash("C:\\dir\\\\"), "C:\\dir\\");
    EXPECT_EQ(RemoveBackslash("C:\\dir"), "C:\\dir");
    EXPECT_EQ(RemoveBackslash("\\"), "");
}

TEST(PathText, IsUNCPath)
{
    EXPECT_FALSE(IsUNCPath(""));
    EXPECT_FALSE(IsUNCPath("\\\\"));
    EXPECT_TRUE(IsUNCPath("\\\\a"));
    EXPECT_TRUE(IsUNCPath("\\\\server\\share"));
    EXPECT_FALSE(IsUNCPath("C:\\x"));
    EXPECT_FALSE(IsUNCPath("\\a\\b"));
}

TEST(PathText, ShareRoot)
{
    const struct { const char* in; const char* root; bool has; } cases[] = {
        {"\\\\server\\share\\dir\\file", "\\\\server\\share", true},
        {"\\\\server\\share\\dir", "\\\\server\\share", true},
        {"\\\\server\\share\\", "\\\\server\\share", true},
        {"\\\\server\\share", "\\\\server\\share", true},
        {"\\\\server\\", "\\\\server\\", false},
        {"\\\\server", "\\\\server", false},
        {"C:\\dir\\file", "C:\\dir\\file", false},
        {"", "", false},
        // The "\\" is searched anywhere, not only at the start.
        {"x\\\\srv\\sh\\d", "x\\\\srv\\sh", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(ExtractShareRoot(c.in), c.root);
        EXPECT_EQ(HasShareRoot(c.in), c.has);
    }
}

}  // namespace
