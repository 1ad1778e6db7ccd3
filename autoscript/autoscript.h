// AutoScript: media updates from a CD that carries "Halcyra.inf".  The
// poll's timer runs on the UI thread and the look at the drives on a poll
// worker thread; the script, its copies and deletes on the AutoScript
// worker thread.
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

// Shared by the progress dialog, the poll, the AutoScript thread and the
// copy loop.  The poll worker writes scriptPath and lastScriptTime; the UI
// thread reads them only once that worker has ended, and starts a run's
// worker after that.
struct AutoScriptState {
    std::atomic<LONG> active;          // 1 while the run may continue
    std::atomic<HWND> progressDialog;
    char scriptPath[TEXT_FIELD_SIZE];  // its first letter is what "~:" stands for
    char logPath[TEXT_FIELD_SIZE];     // empty: no log
    // Modification time of the script that last started a run from each
    // drive, C: first; 0 when that drive held no script at the last poll.
    LONG lastScriptTime[AUTOSCRIPT_DRIVE_COUNT];
    // UI thread: the worker thread of the latest run, kept until it is
    // found ended; null when there is none.
    HANDLE worker;
    // UI thread: the poll's worker thread, kept until it is found ended.
    HANDLE poller;
    std::atomic<LONG> found;           // set by the poller that found a script
    std::atomic<HWND> owner;           // the main window, set before a run's worker starts
};

// WM_COMMAND identifiers of the main window: the poll worker posts the
// first when it has found a script, and the UI thread then starts the run;
// a run sends the second before its first COPY or DEL (the boards stop
// behind the opening image, so that none holds a file open that the run
// replaces or deletes), and posts the third at its end when it sent the
// second (the chapters are read again and chapter 0 reloaded).
#define ID_AUTOSCRIPT_FOUND 1002
#define ID_AUTOSCRIPT_STOP_BOARDS 1003
#define ID_AUTOSCRIPT_MEDIA_CHANGED 1004

extern AutoScriptState autoScript;

// Shut-down waits this long at most for a cancelled run's worker.
#define AUTOSCRIPT_STOP_WAIT_MS 10000

// UI thread: starts the poll worker, which looks for a script and posts
// ID_AUTOSCRIPT_FOUND to the window when it finds one.  While a run, the
// worker of an earlier one or an earlier poll is still busy, or a script
// found has not been taken, nothing is started: the next poll tries again.
// True when the worker was started.
bool StartAutoScriptPoll(HWND hwnd);
// UI thread, on ID_AUTOSCRIPT_FOUND: true when the poll found a script
// (scriptPath names it); the poll's worker has then ended.
bool TakeFoundAutoScript(void);
// UI thread: waits at most timeoutMs for the poll's worker.  True when no
// poll is left.
bool StopAutoScriptPoll(DWORD timeoutMs);
// Poll worker: 1 when a drive holds a script not yet run since it appeared
// there (scriptPath then names it), else 0.  Network drives are not looked
// at: one whose server has gone would hold the look up for a minute.
int FindAutoScript(void);
// UI thread: true while the worker of the latest run has not ended; the
// handle of one that has ended is closed.
bool IsAutoScriptWorkerAlive(void);
// UI thread: cancels the run and waits at most timeoutMs for its worker,
// answering the window calls it makes to this thread meanwhile.  True when
// no worker is left.
bool StopAutoScriptWorker(DWORD timeoutMs);

// Worker thread: runs scriptPath line by line, then closes the dialog.
// Always 0.
DWORD WINAPI AutoScriptThread(LPVOID unused);
// Worker thread: runs one script line, or logs it as unknown.  Always 0.
int RunAutoCommand(const char *line);
// Worker thread: appends a stamped line to the AutoScript log, if there is
// one.  Always 1.
int WriteAutoScriptLog(const char *message);

// Worker thread: copies every file the pattern matches ("~:" the script's
// drive) into the destination, until a Cancel.  Always 0.
int CopyFiles(const char *sourcePattern, const char *destination);
// Worker thread: 1 when both files opened and the copy ran (a failed or
// cancelled copy is logged), 0 when it did not start.
int CopyOneFile(const char *sourcePath, const char *destinationPath);
// Worker thread: deletes every file the pattern matches ("~:" the script's
// drive).  Always 0.
int DeleteFiles(const char *pattern);
// Worker thread: clears the file's read-only attribute and deletes it.
// Always 0.
int DeleteOneFile(const char *path);
// Worker thread: "%.1f KB", above 999.9 KB "%.2f MB", beyond the 32-bit
// range "%.3f GB"; one static buffer, overwritten by the next call.
const char *FormatByteCount(long long count);

#endif
