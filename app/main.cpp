// Entry point of the player program: one running copy, start-up, and the
// message loop in its ordinary or idle-processing form (main thread).
#include <windows.h>

#include "app/app.h"
#include "app/instance.h"
#include "player/player.h"

static void ShowFatal(const char *text)
{
    MessageBoxA(NULL, text, MAIN_WINDOW_TITLE, MB_OK);
}

// A library planted in the current folder (a share or a stick the player
// was started from) is never loaded: the folder leaves the DLL search.
// SetDllDirectoryA came with XP SP1, so it is looked up, not imported.
static void RemoveCurrentFolderFromDllSearch()
{
    typedef BOOL(WINAPI * SetDllDirectoryProc)(LPCSTR);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FARPROC address = kernel ? GetProcAddress(kernel, "SetDllDirectoryA") : NULL;
    if (address)
        reinterpret_cast<SetDllDirectoryProc>(reinterpret_cast<void (*)(void)>(address))("");
}

// The window search sees only this desktop; the mutex in the global
// namespace also finds a copy in another session (another user, a remote
// session, a scheduled task).  A copy started by another user leaves this
// one no access to its mutex.  The handle stays open until the process ends.
static bool IsAnotherCopyRunning()
{
    HANDLE mutex = CreateMutexA(NULL, FALSE, SINGLE_COPY_MUTEX);
    DWORD error = GetLastError();
    if (mutex ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED)
        return true;
    return FindWindowA(MAIN_WINDOW_CLASS, NULL) != NULL;
}

// Serves messages and, whenever none waits, polls playback; never blocks.
static WPARAM RunIdleLoop(HWND hwnd)
{
    MSG msg;
    for (;;) {
        if (PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE)) {
            if (!GetMessageA(&msg, NULL, 0, 0))
                return msg.wParam;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            WatchPlayback(hwnd);
        }
    }
}

static WPARAM RunMessageLoop()
{
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return msg.wParam;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int showCommand)
{
    // Before any drive is touched: the AutoScript poll opens a file on
    // every drive from C: to H:, and an empty card reader or CD drive among
    // them would otherwise raise Windows' modal "no disk" box, which holds
    // the main thread and every answer to the controller.  A crash ends the
    // process (and whatever restarts it can) instead of waiting on Windows'
    // error-report box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    RemoveCurrentFolderFromDllSearch();
    if (IsAnotherCopyRunning()) {
        ShowFatal(MAIN_WINDOW_TITLE " already running\n");
        return -1;
    }
    HWND hwnd = InitialiseApplication(hInstance, showCommand);
    if (!hwnd) {
        ShowFatal("Unable to initialise " MAIN_WINDOW_TITLE "\n");
        return -3;
    }
    InstanceRecord *record = GetInstanceRecord(hwnd);
    if (record && record->settings.idleProcessing == 1)
        return (int)RunIdleLoop(hwnd);
    return (int)RunMessageLoop();
}
