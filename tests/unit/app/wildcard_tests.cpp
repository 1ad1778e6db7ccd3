// Long-name matching: the patterns an operator writes, and the names a
// search finds through their short names alone.
#include <gtest/gtest.h>

#include <string>

#include "app/wildcard.h"

namespace {

TEST(LongNameMatches, FollowsWindowsWildcardsOnTheLongName)
{
    const struct {
        int line;
        const char *name, *pattern;
        bool matches;
    } cases[] = {
        {__LINE__, "CHAP01.MPG", "*.mpg", true},
        {__LINE__, "x.mpg2", "*.mpg", false},
        {__LINE__, "a.b.mpg", "*.mpg", true},
        {__LINE__, "chap1.mpg", "chap??.mpg", true},
        {__LINE__, "chap123.mpg", "chap??.mpg", false},
        {__LINE__, "readme", "*.*", true},
        {__LINE__, "readme", "readme.", false},
        {__LINE__, "abababababababababababababababx", "*a*a*a*a*a*a*a*a*a*b", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(LongNameMatches(c.name, c.pattern), c.matches) << "case of line " << c.line;
    std::string overlong(261, 'a');
    EXPECT_FALSE(LongNameMatches(overlong.c_str(), "*"));
    EXPECT_FALSE(LongNameMatches("a", (overlong + "*").c_str()));
}

}  // namespace
