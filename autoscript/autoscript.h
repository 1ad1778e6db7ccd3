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
#define COPY_CHUNK_SIZE 2048

// Shared by the progress dialog, the AutoScript thread and the copy loop.
struct AutoScriptState {
    std::atomic<LONG> active;          // 1 while the run may continue
    std::atomic<HWND> progressDialog;
    char scriptPath[TEXT_FIELD_SIZE];
    char logPath[TEXT_FIELD_SIZE];
    LONG lastScriptTime;
};

extern AutoScriptState autoScript;

int FindAutoScript(HWND hwnd);
DWORD WINAPI AutoScriptThread(LPVOID unused);
int RunAutoCommand(const char *line);
int WriteAutoScriptLog(const char *message);

int CopyFiles(const char *sourcePattern, const char *destination);
int CopyOneFile(const char *sourcePath, const char *destinationPath);
int DeleteFiles(const char *pattern);
int DeleteOneFile(const char *path);
const char *FormatByteCount(LONG count);

#endif
