// Matching a file's long name against a wildcard pattern (any thread).
#include "app/wildcard.h"

#include <windows.h>
#include <string.h>

namespace {

// Upper case as the ANSI code page has it, as file names compare.
char Folded(char c)
{
    CharUpperBuffA(&c, 1);
    return c;
}

bool OnlyWildcardsIn(const char *text)
{
    return text[strspn(text, "*?")] == '\0';
}

}  // namespace

// matched[j] tells whether the pattern read so far matches the first j
// characters of the name; each pattern character moves it on.
bool LongNameMatches(const char *name, const char *pattern)
{
    size_t length = strnlen(name, MAX_PATH + 1);
    if (length > MAX_PATH || strnlen(pattern, MAX_PATH + 1) > MAX_PATH)
        return false;
    bool matched[MAX_PATH + 1] = {true};
    bool next[MAX_PATH + 1];
    for (const char *p = pattern; *p != '\0'; p++) {
        bool dotOrEnd = *p == '.' && p[1] != '\0' && OnlyWildcardsIn(p + 1);
        bool anyBefore = false;
        for (size_t j = 0; j <= length; j++) {
            bool atBreak = j == length || name[j] == '.';
            if (*p == '*') {
                anyBefore = anyBefore || matched[j];
                next[j] = anyBefore;
            } else if (*p == '?') {
                next[j] = (j > 0 && matched[j - 1]) || (matched[j] && atBreak);
            } else {
                next[j] = (j > 0 && matched[j - 1] && Folded(name[j - 1]) == Folded(*p)) ||
                          (dotOrEnd && matched[j] && j == length);
            }
        }
        memcpy(matched, next, (length + 1) * sizeof *matched);
    }
    return matched[length];
}
