// Temporary files that take a file's place only once they are whole: the
// AutoScript copies and the trim of the trace log (any thread).
#ifndef HRX_APP_TEMPFILE_H
#define HRX_APP_TEMPFILE_H

#include <windows.h>
#include <stddef.h>

// The name of a temporary file in the folder of the file it stands in for:
// "~hrx", eight hex digits, ".tmp".
#define TEMP_FILE_PREFIX "~hrx"
#define TEMP_FILE_SUFFIX ".tmp"

// Creates a new temporary file, opened for writing only, in the folder of
// path; its name goes into tempPath (size bytes).  INVALID_HANDLE_VALUE
// when the name does not fit or the file cannot be created.
HANDLE CreateTempBeside(const char *path, char *tempPath, size_t size);
// Puts the closed temporary file in the place of path in one step,
// replacing it, and waits until the move is on the disk.
bool MoveTempInPlace(const char *tempPath, const char *path);

#endif
