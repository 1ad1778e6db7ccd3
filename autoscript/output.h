// What an AutoScript run shows and records (AutoScript thread): the
// progress dialog's caption, texts and bar, by synchronous window calls
// (which fail without effect once the dialog has closed), and its log lines.
#ifndef HRX_AUTOSCRIPT_OUTPUT_H
#define HRX_AUTOSCRIPT_OUTPUT_H

#define AUTOSCRIPT_LOG_LINE_MAX 2048

void ShowProgressCaption(const char *caption);
// Sets the text of control 1008, 1009 or 1010.
void ShowProgressText(int controlId, const char *text);
// Sets progress bar 1000 (0 to 100).
void ShowProgressBar(int percent);

// WriteAutoScriptLog of a message composed with a printf format.
int WriteAutoScriptLogF(const char *format, ...) __attribute__((format(printf, 1, 2)));

#endif
