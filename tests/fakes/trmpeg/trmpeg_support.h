// Helpers for tests that drive the player against the recording TRmpeg.dll:
// installing the double in the working directory, a window that carries an
// instance record, and the one event log in which the trace lines, the
// board journal and the captured replies meet.  Test thread only.
#ifndef HRX_TESTS_FAKES_TRMPEG_SUPPORT_H
#define HRX_TESTS_FAKES_TRMPEG_SUPPORT_H

#include <windows.h>
#include <string>
#include <vector>

struct InstanceRecord;

// Copies TRmpeg.dll (all 19 exports, or TRInitMPEG only) into the working
// directory, where LoadLibraryA("TRmpeg") finds it.
bool InstallTrmpeg(bool partial = false);
// Removes it again, so that board type 1 finds no library.
void RemoveTrmpeg();

// A message-only window whose user data is the record.
HWND CreateRecordWindow(InstanceRecord *record);

// The full Windows path of a name in the working directory.
std::string WorkPath(const char *name);

// The lines of a file, with the line ends and each trace line's time stamp
// taken off ("dd/mm/yy hh:mm:ss.mmm - "); the file is emptied.  A trace
// line whose stamp is malformed is kept whole, so that a comparison fails.
std::vector<std::string> TakeLines(const std::string &path);

// Writes a text file (a chapter file, a control file).
bool WriteTextFile(const std::string &path, const std::string &text);

#endif
