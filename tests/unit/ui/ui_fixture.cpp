// Test support for the user interface (the test's main thread).
#include "ui_fixture.h"

#include <string.h>

#include "app/settings.h"
#include "app/text.h"
#include "board/mpegdrv.h"

#define TEST_MAIN_CLASS "HrxUiTestMain"

namespace {

std::function<void()> pendingAction;
UINT_PTR pendingTimer;

void CALLBACK RunPendingAction(HWND, UINT, UINT_PTR, DWORD)
{
    KillTimer(NULL, pendingTimer);
    pendingTimer = 0;
    std::function<void()> action = pendingAction;
    pendingAction = nullptr;
    if (action)
        action();
}

struct DialogSearch {
    const char *title;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM param)
{
    DialogSearch *search = reinterpret_cast<DialogSearch *>(param);
    char cls[16] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (strcmp(cls, "#32770") != 0 || !IsWindowVisible(hwnd) || WindowTextOf(hwnd) != search->title)
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

}  // namespace

void DefaultSettings(Settings *s)
{
    memset(s, 0, sizeof *s);
    CopyText(s->traceFile, sizeof s->traceFile, "ui_trace.txt");
    s->traceSize = DEFAULT_TRACE_SIZE;
    CopyText(s->startUpImage, sizeof s->startUpImage, DEFAULT_STARTUP_IMAGE);
    CopyText(s->closeDownImage, sizeof s->closeDownImage, DEFAULT_CLOSEDOWN_IMAGE);
    s->videoMode = VIDEO_PAL_443;
    s->streamType = STREAM_SYSTEM;
    s->syncMode = SYNC_INTERNAL;
    s->boardType = BOARD_TYPE_VIDEOQUEST;
    s->fifoLimit = DEFAULT_FIFO_LIMIT;
    s->comId = DEFAULT_COM_ID;
    CopyText(s->defaultMpeg, sizeof s->defaultMpeg, DEFAULT_MPEG_PATTERN);
    s->protocol = PROTOCOL_SONY_LDP;
    s->outputStd = OUTPUT_YUV;
}

RecordWindow CreateTestMainWindow()
{
    RegisterWindowClass(TEST_MAIN_CLASS, DefWindowProcA);
    RecordWindow main = CreateRecordWindow(CreateWindowExA(0, TEST_MAIN_CLASS, "ui test", WS_OVERLAPPEDWINDOW, 0, 0,
                                                           320, 60, NULL, NULL, GetModuleHandleA(NULL), NULL));
    main.record->serial.portHandle = INVALID_HANDLE_VALUE;
    DefaultSettings(&main.record->settings);
    return main;
}

void DestroyTestMainWindow(RecordWindow &main)
{
    DestroyRecordWindow(main);
}

void RunLater(DWORD delayMs, std::function<void()> action)
{
    pendingAction = std::move(action);
    pendingTimer = SetTimer(NULL, 0, delayMs, RunPendingAction);
}

bool PumpUntil(const std::function<bool()> &done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

HWND FindThreadDialog(const char *title)
{
    DialogSearch search = {title, NULL};
    EnumThreadWindows(GetCurrentThreadId(), MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string ControlText(HWND dialog, int id)
{
    return WindowTextOf(GetDlgItem(dialog, id));
}

std::string WindowTextOf(HWND hwnd)
{
    char text[1024] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}
