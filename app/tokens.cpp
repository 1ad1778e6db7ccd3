// Token scanner: a text is handed over once, then asked for one token after
// another.  Its state belongs to the calling thread, so the AutoScript
// thread and the main thread scan at the same time undisturbed.
#include "app/tokens.h"

#include <string.h>

#include "app/text.h"

namespace {

struct ScannerState {
    char buffer[TOKEN_BUFFER_SIZE];
    size_t length;
    size_t position;
};

thread_local ScannerState scanner;

bool IsDelimiter(char c, const char *delimiters)
{
    return c != '\0' && strchr(delimiters, c) != NULL;
}

}  // namespace

const char *SkipSpaces(const char *text)
{
    while (*text == ' ')
        text++;
    return text;
}

char *NextToken(const char *text, const char *delimiters)
{
    ScannerState &s = scanner;
    if (text) {
        CopyText(s.buffer, sizeof s.buffer, text);
        s.length = strlen(s.buffer);
        s.position = 0;
    }
    if (s.position >= s.length)
        return NULL;
    size_t pos = s.position;
    while (IsDelimiter(s.buffer[pos], delimiters))
        pos++;
    size_t start = pos, end;
    char c = s.buffer[pos];
    if (c == '\'' || c == '"') {
        start = pos + 1;
        end = start;
        while (s.buffer[end] != '\0' && s.buffer[end] != c)
            end++;
    } else {
        end = start;
        while (s.buffer[end] != '\0' && !IsDelimiter(s.buffer[end], delimiters))
            end++;
    }
    s.buffer[end] = '\0';
    s.position = end + 1;
    return s.buffer + start;
}
