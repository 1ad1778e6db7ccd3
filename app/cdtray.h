// The CD drive's tray, moved with MCI command strings on a worker thread of
// its own, one move at a time in the order asked: a real tray takes one to
// three seconds, which no answer to the controller waits for (any thread
// asks; the main thread waits at shut-down).
#ifndef HRX_APP_CDTRAY_H
#define HRX_APP_CDTRAY_H

#include <windows.h>

// Moves waiting beyond the one under way; when all are taken, a new move
// takes the place of the last one waiting (the tray ends where it was last
// asked to be).
#define CD_TRAY_QUEUE_SIZE 16
// Shut-down waits this long at most for the moves asked before it.
#define CD_TRAY_STOP_WAIT_MS 10000

// Queues "open cdaudio", "set cdaudio door open" (or "door closed") and
// "close cdaudio" for the tray's worker and returns at once; their results
// are not looked at.
void MoveCdTray(bool open);
// Waits at most timeoutMs until every move asked so far is done; true when
// none is left.
bool WaitForCdTray(DWORD timeoutMs);

#endif
