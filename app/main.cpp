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
    // the main thread and every answer to the controller.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    if (FindWindowA(MAIN_WINDOW_CLASS, NULL)) {
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
