// AutoScript: media updates from a CD that carries "Halcyra.inf".  The
// poll runs on the UI thread; the script, its copies and deletes on the
// AutoScript worker thread.
#ifndef HRX_AUTOSCRIPT_AUTOSCRIPT_H
#define HRX_AUTOSCRIPT_AUTOSCRIPT_H

#include <windows.h>

#include <atomic>

#include "app/instance.h"

#define AUTOSCRIPT_FILE_NAME ":\\Halcyra.inf"
#define AUTOSCRIPT_FIRST_DRIVE 'C'
#define AUTOSCRIPT_LAST_DRIVE 'H'
#define AUTOSCRIPT_DRIVE_COUNT (AUTOSCRIPT_LAST_DRIVE - AUTOSCRIPT_FIRST_DRIVE + 1)
// A copy works chunk by chunk (a Cancel is seen within one chunk) while
// the files are read and written in blocks.
#define COPY_CHUNK_SIZE 2048
#define COPY_BLOCK_SIZE 65536

// Captions of the progress dialog while a command runs.
#define CAPTION_EJECT "Eject CD"
#define CAPTION_COPY "Copying..."
#define CAPTION_DELETE "Deleteing..."

// A copy is written under this name in the destination directory and
// replaces the destination only once every byte is written:
// "~hrx" and eight hex digits, ".tmp".
#define COPY_TEMP_PREFIX "~hrx"
#define COPY_TEMP_SUFFIX ".tmp"

// Shared by the progress dialog, the AutoScript thread and the copy loop.
struct AutoScriptState {
    std::atomic<LONG> active;          // 1 while the run may continue
    std::atomic<HWND> progressDialog;
    char scriptPath[TEXT_FIELD_SIZE];  // its first letter is what "~:" stands for
    char logPath[TEXT_FIELD_SIZE];     // empty: no log
    // Modification time of the script that last started a run from each
    // drive, C: first; 0 when that drive held no script at the last poll.
    LONG lastScriptTime[AUTOSCRIPT_DRIVE_COUNT];
};

extern AutoScriptState autoScript;

// UI thread: 1 when a drive holds a script not yet run since it appeared
// there (scriptPath then names it), else 0.
int FindAutoScript(HWND hwnd);

// Worker thread: runs scriptPath line by line, then closes the dialog.
DWORD WINAPI AutoScriptThread(LPVOID unused);
int RunAutoCommand(const char *line);
int WriteAutoScriptLog(const char *message);

int CopyFiles(const char *sourcePattern, const char *destination);
int CopyOneFile(const char *sourcePath, const char *destinationPath);
int DeleteFiles(const char *pattern);
int DeleteOneFile(const char *path);
// "%.1f KB", above 999.9 KB "%.2f MB", beyond the 32-bit range "%.3f GB";
// one static buffer, overwritten by the next call.
const char *FormatByteCount(long long count);

#endif
