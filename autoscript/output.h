// What an AutoScript run shows and records (AutoScript thread): the
// progress dialog's caption, texts and bar, by synchronous window calls
// (which fail without effect once the dialog has closed), and its log lines.
#ifndef HRX_AUTOSCRIPT_OUTPUT_H
#define HRX_AUTOSCRIPT_OUTPUT_H

#define AUTOSCRIPT_LOG_LINE_MAX 2048

void ShowProgressCaption(const char *caption);
// Sets the text of IDC_PROGRESS_FILE, IDC_PROGRESS_FROM_TO or
// IDC_PROGRESS_ESTIMATE.
void ShowProgressText(int controlId, const char *text);
// Sets the progress bar, IDC_PROGRESS_BAR (0 to 100).
void ShowProgressBar(int percent);

// WriteAutoScriptLog of a message composed with a printf format.
int WriteAutoScriptLogF(const char *format, ...) __attribute__((format(printf, 1, 2)));

#endif
