// Token scanner: quoting, runs of delimiters, the end of the text, and state
// that belongs to each calling thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/tokens.h"

namespace {

// Every token of a text, "<none>" never included.
std::vector<std::string> Tokens(const char *text, const char *delimiters = TOKEN_DELIMITERS)
{
    std::vector<std::string> tokens;
    for (char *t = NextToken(text, delimiters); t; t = NextToken(NULL, delimiters))
        tokens.push_back(t);
    return tokens;
}

typedef std::vector<std::string> Words;

TEST(NextToken, SplitsOnSpacesAndCommasWithQuotedTokens)
{
    struct {
        int line;
        const char *text;
        Words tokens;
    } cases[] = {
        {__LINE__, "a, \"b c\",d", {"a", "b c", "d"}},
        {__LINE__, "COPY '~:\\My Media\\*.mpg' D:\\Movie\\", {"COPY", "~:\\My Media\\*.mpg", "D:\\Movie\\"}},
        {__LINE__, ",, ,", {""}},
        {__LINE__, "", {}},
        {__LINE__, "one  ,,  two", {"one", "two"}},
        {__LINE__, "\"unclosed, quote", {"unclosed, quote"}},
        {__LINE__, "'it''s'", {"it", "s"}},
        {__LINE__, "\"mixed'quotes\" x", {"mixed'quotes", "x"}},
        {__LINE__, "tab\there", {"tab\there"}},
        {__LINE__, "a, ", {"a", ""}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Tokens(c.text), c.tokens) << "case at line " << c.line;
}

TEST(NextToken, StaysAtTheEndUntilANewTextAndCopiesAtMost255Characters)
{
    ASSERT_STREQ(NextToken("only", TOKEN_DELIMITERS), "only");
    EXPECT_EQ(NextToken(NULL, TOKEN_DELIMITERS), nullptr);
    EXPECT_EQ(NextToken(NULL, TOKEN_DELIMITERS), nullptr);
    EXPECT_STREQ(NextToken("fresh start", TOKEN_DELIMITERS), "fresh");

    std::string longText(300, 'z');
    char *token = NextToken(longText.c_str(), TOKEN_DELIMITERS);
    ASSERT_NE(token, nullptr);
    EXPECT_EQ(std::string(token), std::string(255, 'z'));
    EXPECT_EQ(NextToken(NULL, TOKEN_DELIMITERS), nullptr);

    // The terminating zero of the delimiter set is never a delimiter.
    EXPECT_EQ(Tokens("a b", ""), Words{"a b"});
}

TEST(SkipSpaces, SkipsOnlyBlanks)
{
    const char *text = "   x y";
    EXPECT_EQ(SkipSpaces(text), text + 3);
    const char *tabbed = "\tCOPY";
    EXPECT_EQ(SkipSpaces(tabbed), tabbed);
    const char *blank = "    ";
    EXPECT_STREQ(SkipSpaces(blank), "");
}

struct ThreadRun {
    const char *text;
    Words tokens;
};

// Sleeps between tokens so that the scans of the threads interleave.
DWORD WINAPI ScanSlowly(LPVOID param)
{
    ThreadRun *run = static_cast<ThreadRun *>(param);
    for (char *t = NextToken(run->text, TOKEN_DELIMITERS); t; t = NextToken(NULL, TOKEN_DELIMITERS)) {
        run->tokens.push_back(t);
        Sleep(2);
    }
    return 0;
}

TEST(NextToken, TwoThreadsScanAtOnceWithoutDisturbingEachOther)
{
    ThreadRun a = {"SA \"clip one.mpg\" 1 extra", {}};
    ThreadRun b = {"COPY ~:\\Media\\*.mpg,D:\\Movie\\", {}};
    HANDLE threads[2] = {CreateThread(NULL, 0, ScanSlowly, &a, 0, NULL),
                         CreateThread(NULL, 0, ScanSlowly, &b, 0, NULL)};
    // And this thread scans a third text in the middle of theirs.
    ASSERT_STREQ(NextToken("main thread text", TOKEN_DELIMITERS), "main");
    WaitForMultipleObjects(2, threads, TRUE, 5000);
    EXPECT_STREQ(NextToken(NULL, TOKEN_DELIMITERS), "thread");
    EXPECT_EQ(a.tokens, (Words{"SA", "clip one.mpg", "1", "extra"}));
    EXPECT_EQ(b.tokens, (Words{"COPY", "~:\\Media\\*.mpg", "D:\\Movie\\"}));
    CloseHandle(threads[0]);
    CloseHandle(threads[1]);
}

}  // namespace
