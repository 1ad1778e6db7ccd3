// Bounded text helpers shared by every subsystem (any thread).
#include "app/text.h"

#include <limits.h>

int CopyText(char *dst, size_t size, const char *src)
{
    if (size == 0)
        return 0;
    size_t i = 0;
    for (; i + 1 < size && src[i] != '\0'; i++)
        dst[i] = src[i];
    dst[i] = '\0';
    return src[i] == '\0';
}

size_t FolderLength(const char *path, FolderColons colons)
{
    size_t length = 0;
    for (size_t i = 0; path[i] != '\0'; i++) {
        if (path[i] == '\\' || path[i] == '/' || (colons == ANY_COLON && path[i] == ':'))
            length = i + 1;
    }
    if (length == 0 && path[0] != '\0' && path[1] == ':')
        length = 2;
    return length;
}

long ParseLeadingNumber(const char *text)
{
    const char *p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        p++;
    int negative = 0;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        if (value <= (long long)LONG_MAX + 1)
            value = value * 10 + (*p - '0');
    }
    if (negative)
        value = -value;
    if (value > LONG_MAX)
        return LONG_MAX;
    if (value < LONG_MIN)
        return LONG_MIN;
    return (long)value;
}
