// The AutoScript state, a stand-in worker thread for the progress dialog's
// tests (the worker runs on the thread the dialog starts), a poll that
// finds nothing and the stops that shut-down calls.
#include "fake_autoscript.h"

#include "autoscript/autoscript.h"

#define FAKE_WAIT_MS 5000

AutoScriptState autoScript;
FakeWorker fakeWorker;

void ResetFakeWorker(bool endRunAtOnce)
{
    fakeWorker.endRunAtOnce = endRunAtOnce;
    fakeWorker.starts = 0;
    fakeWorker.activeAtStart = -1;
    fakeWorker.dialogAtStart = NULL;
    fakeWorker.sawCancel = false;
    fakeWorker.finished = false;
}

bool StartAutoScriptPoll(HWND)
{
    return false;
}

bool TakeFoundAutoScript(void)
{
    return false;
}

bool StopAutoScriptPoll(DWORD)
{
    return true;
}

DWORD WINAPI AutoScriptThread(LPVOID)
{
    fakeWorker.starts++;
    fakeWorker.activeAtStart = autoScript.active.load();
    fakeWorker.dialogAtStart = autoScript.progressDialog.load();
    if (fakeWorker.endRunAtOnce) {
        autoScript.active = 0;
        PostMessageA(autoScript.progressDialog, WM_COMMAND, IDCANCEL, 0);
    } else {
        DWORD start = GetTickCount();
        while (autoScript.active == 1 && GetTickCount() - start < FAKE_WAIT_MS)
            Sleep(5);
        fakeWorker.sawCancel = autoScript.active == 0;
    }
    fakeWorker.finished = true;
    return 0;
}

bool StopAutoScriptWorker(DWORD timeoutMs)
{
    autoScript.active = 0;
    if (!autoScript.worker)
        return true;
    if (WaitForSingleObject(autoScript.worker, timeoutMs) != WAIT_OBJECT_0)
        return false;
    CloseHandle(autoScript.worker);
    autoScript.worker = NULL;
    return true;
}
