// Matching a file's long name against a wildcard pattern (any thread).
#ifndef HRX_APP_WILDCARD_H
#define HRX_APP_WILDCARD_H

// True when the name matches the pattern as Windows matches long names:
// letters in either case, '*' any run of characters, '?' one character (or
// none before a dot or at the end), and a '.' followed only by wildcards
// also the end of the name ("*.*" matches "readme").  A search by pattern
// also finds files whose short name alone matches ("*.mpg" finds "x.mpg2"
// as "X~1.MPG"); this tells them apart.  A name or pattern longer than
// MAX_PATH characters never matches.
bool LongNameMatches(const char *name, const char *pattern);

#endif
