// Token scanner with state per calling thread (any thread).
#ifndef HRX_APP_TOKENS_H
#define HRX_APP_TOKENS_H

#define TOKEN_BUFFER_SIZE 256
#define TOKEN_DELIMITERS " ,"

// The text from its first character that is not a space (tabs are kept).
const char *SkipSpaces(const char *text);

// Given a text, starts afresh on a copy of it (at most 255 characters);
// given null, goes on from the saved position.  Returns the next token, or
// null.  Tokens live in the calling thread's buffer until its next text.
char *NextToken(const char *text, const char *delimiters);

#endif
