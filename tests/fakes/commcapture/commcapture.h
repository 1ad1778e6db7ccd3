// Test double of the serial link's reply write: WriteCommBlock keeps every
// byte written, and optionally logs each write as a line "reply 0A 01" in a
// file shared with the trace log and the board journal, so that a test sees
// answers, trace lines and board operations in one order.  Single thread.
#ifndef HRX_TESTS_FAKES_COMMCAPTURE_H
#define HRX_TESTS_FAKES_COMMCAPTURE_H

#include <string>

// The bytes written since the last call, which empties the capture.
std::string TakeCapturedReplies();
// Names the file that gets a line per write; null or empty: none.
void SetCommCaptureLog(const char *path);

#endif
