// Bounded text helpers shared by every subsystem (any thread).
#ifndef HRX_APP_TEXT_H
#define HRX_APP_TEXT_H

#include <stddef.h>

// Copies src into dst of size bytes, cutting it if needed; dst always ends
// in a terminator.  Returns 1 when the whole text fitted, 0 when it was cut.
int CopyText(char *dst, size_t size, const char *src);

// Leading-number decimal parse: optional white space and sign, then digits;
// text without a leading number gives 0.  Saturates at the 32-bit limits.
long ParseLeadingNumber(const char *text);

// Which colons end the folder of a path: only that of a leading drive
// ("X:name"), or every colon.
enum FolderColons { DRIVE_COLON_ONLY, ANY_COLON };

// Length of the folder at the front of a path, the name following it: up to
// and including its last backslash or slash (or, with ANY_COLON, colon);
// with none of these, a leading drive "X:", else 0.
size_t FolderLength(const char *path, FolderColons colons);

#endif
