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

#endif
