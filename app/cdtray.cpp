// The CD drive's tray, moved with MCI command strings on a worker thread of
// its own (any thread queues a move; the worker moves the tray).  A worker
// is started when a move is queued and none runs, and ends once the queue
// is empty; it uses only this file's queue, which is never freed.
#include "app/cdtray.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>

namespace {

struct TrayQueue {
    CRITICAL_SECTION lock;
    bool open[CD_TRAY_QUEUE_SIZE];  // the moves waiting, from first on, in a ring
    int first, count;
    bool working;                   // a worker runs and will look at the queue again
    HANDLE idle;                    // manual reset: set while no move waits or runs
};

TrayQueue tray;

// 0 before the queue is made, 1 while one thread makes it, 2 once made.
std::atomic<LONG> trayState;

// The queue is made by whichever thread first asks; Windows XP has no
// one-time initialisation of its own.
void MakeQueueOnce()
{
    LONG none = 0;
    if (trayState.compare_exchange_strong(none, 1)) {
        InitializeCriticalSection(&tray.lock);
        tray.idle = CreateEventA(NULL, TRUE, TRUE, NULL);
        trayState = 2;
    }
    while (trayState != 2)
        Sleep(0);
}

void SendMci(const char *command)
{
    char reply[256] = "";
    mciSendStringA(command, reply, sizeof reply, NULL);
}

void SendCdDoorSequence(bool open)
{
    SendMci("open cdaudio");
    SendMci(open ? "set cdaudio door open" : "set cdaudio door closed");
    SendMci("close cdaudio");
}

// Takes the first move waiting; false, the worker's end marked and the
// queue idle, when there is none.
bool TakeMove(bool *open)
{
    EnterCriticalSection(&tray.lock);
    bool taken = tray.count > 0;
    if (taken) {
        *open = tray.open[tray.first];
        tray.first = (tray.first + 1) % CD_TRAY_QUEUE_SIZE;
        tray.count--;
    } else {
        tray.working = false;
        SetEvent(tray.idle);
    }
    LeaveCriticalSection(&tray.lock);
    return taken;
}

DWORD WINAPI TrayWorker(LPVOID)
{
    bool open;
    while (TakeMove(&open))
        SendCdDoorSequence(open);
    return 0;
}

}  // namespace

void MoveCdTray(bool open)
{
    MakeQueueOnce();
    EnterCriticalSection(&tray.lock);
    if (tray.count < CD_TRAY_QUEUE_SIZE)
        tray.count++;
    tray.open[(tray.first + tray.count - 1) % CD_TRAY_QUEUE_SIZE] = open;
    ResetEvent(tray.idle);
    bool start = !tray.working;
    tray.working = true;
    LeaveCriticalSection(&tray.lock);
    if (!start)
        return;
    HANDLE worker = CreateThread(NULL, 0, TrayWorker, NULL, 0, NULL);
    if (worker)
        CloseHandle(worker);
    else
        TrayWorker(NULL);  // out of resources: the caller moves the tray itself
}

bool WaitForCdTray(DWORD timeoutMs)
{
    MakeQueueOnce();
    return WaitForSingleObject(tray.idle, timeoutMs) == WAIT_OBJECT_0;
}
