// Start-up of the player: the main window and its record, the settings, the
// trace log, the serial link, the boards and the first chapter; the
// restart of the link, the boards and the chapters with new settings when
// the property sheet is confirmed; and the retry of a port that could not
// be opened or was lost (main thread).
#include <windows.h>
#include <stdlib.h>

#include "app/app.h"
#include "app/cdtray.h"
#include "app/instance.h"
#include "app/lifecycle.h"
#include "app/settings.h"
#include "app/text.h"
#include "app/trace.h"
#include "player/chapters.h"
#include "serial/serial.h"
#include "ui/resource.h"
#include "ui/ui.h"

static HWND CreateMainWindow(HINSTANCE hInstance)
{
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(IDI_HRX));
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    wc.lpszMenuName = MAKEINTRESOURCEA(IDR_MAIN_MENU);
    wc.lpszClassName = MAIN_WINDOW_CLASS;
    RegisterClassA(&wc);
    int height = GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYMENU) + GetSystemMetrics(SM_CYCAPTION);
    return CreateWindowExA(0, MAIN_WINDOW_CLASS, MAIN_WINDOW_TITLE,
                           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0,
                           MAIN_WINDOW_WIDTH, height, NULL, NULL, hInstance, NULL);
}

static void PlaceMainWindow(HWND hwnd, const Settings &s, int showCommand)
{
    int x = s.screenX, y = s.screenY;
    if (x < 0 || y < 0)
        x = y = 0;
    SetWindowPos(hwnd, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    UpdateWindow(hwnd);
    ShowWindow(hwnd, showCommand);
}

// Boards up with the opening image, and the chapter pattern as the current
// file: the first steps of start-up and of the restart.
static void BringUpBoardsWithDefaultFile(HWND hwnd, InstanceRecord *record)
{
    BringUpBoards(hwnd);
    CopyText(record->currentFile, sizeof record->currentFile, record->settings.defaultMpeg);
    record->showUp = 1;
}

// Reads the chapter table and opens chapter 0 on every board.
static void LoadChapterZero(HWND hwnd)
{
    BuildChapterTable(hwnd);
    OpenChapterZero(hwnd);
}

// Everything that follows an opened serial port: boards, timers, tray,
// chapters, and the acknowledgement to the controller.
static void StartShow(HWND hwnd, InstanceRecord *record)
{
    BringUpBoardsWithDefaultFile(hwnd, record);
    SetTimer(hwnd, IDT_PLAYBACK_POLL, PLAYBACK_POLL_MS, NULL);
    WriteTrace(hwnd, record->settings.traceFile, "Starting garbage collection interval at 12:00:00.00");
    SetTimer(hwnd, IDT_GARBAGE_COLLECTION, GARBAGE_COLLECTION_MS, NULL);
    MoveCdTray(false);
    LoadChapterZero(hwnd);
    SendStartupAck(hwnd);
}

// A port that cannot be opened (a USB adapter that comes up late, a port
// Windows took for a serial mouse) or has been lost is tried again every
// PORT_RETRY_MS; the failure was traced once, the retries trace nothing.
static void StartPortRetry(HWND hwnd)
{
    SetTimer(hwnd, IDT_PORT_RETRY, PORT_RETRY_MS, NULL);
}

HWND InitialiseApplication(HINSTANCE hInstance, int showCommand)
{
    HWND hwnd = CreateMainWindow(hInstance);
    if (!hwnd)
        return NULL;
    InstanceRecord *record = static_cast<InstanceRecord *>(calloc(1, sizeof(InstanceRecord)));
    HCURSOR wait = LoadCursorA(NULL, IDC_WAIT), arrow = LoadCursorA(NULL, IDC_ARROW);
    SetCursor(wait);
    if (!record) {
        SetCursor(arrow);
        return NULL;
    }
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
    record->hInstance = hInstance;
    record->hWnd = hwnd;
    record->serial.portHandle = INVALID_HANDLE_VALUE;
    HoldShowPc();

    ShowSplash(hwnd);
    LoadSettings(hwnd);
    const Settings &s = record->settings;
    TrimFile(hwnd, s.traceFile, s.traceSize);
    WriteTraceF(hwnd, s.traceFile, "%s %s started", PRODUCT_NAME, PRODUCT_VERSION);
    PlaceMainWindow(hwnd, s, showCommand);
    if (OpenCommPort(hwnd, &record->serial) == 0)
        StartShow(hwnd, record);
    else
        StartPortRetry(hwnd);
    SetTimer(hwnd, IDT_AUTOSCRIPT_POLL, AUTOSCRIPT_POLL_MS, NULL);
    SetCursor(arrow);
    return hwnd;
}

void RestartWithSettings(HWND hwnd, InstanceRecord *record, const Settings &settings)
{
    SetCursor(LoadCursorA(NULL, IDC_WAIT));
    KillTimer(hwnd, IDT_PORT_RETRY);
    FreeChapterTable(hwnd);
    CloseCommPort(hwnd, &record->serial);
    TakeDownBoards(hwnd);
    record->settings = settings;
    // A start-up that found no port started no playback or trim timer; a
    // link opened here needs them (restarting a running timer is harmless).
    if (OpenCommPort(hwnd, &record->serial) == 0) {
        SetTimer(hwnd, IDT_PLAYBACK_POLL, PLAYBACK_POLL_MS, NULL);
        SetTimer(hwnd, IDT_GARBAGE_COLLECTION, GARBAGE_COLLECTION_MS, NULL);
    } else {
        StartPortRetry(hwnd);
    }
    BringUpBoardsWithDefaultFile(hwnd, record);
    LoadChapterZero(hwnd);
    SaveSettings(hwnd);
    SendStartupAck(hwnd);
    SetCursor(LoadCursorA(NULL, IDC_ARROW));
}

void RetryCommPort(HWND hwnd, InstanceRecord *record)
{
    if (ReopenCommPort(hwnd, &record->serial) != 0)
        return;
    KillTimer(hwnd, IDT_PORT_RETRY);
    if (record->showUp) {
        FreeChapterTable(hwnd);
        TakeDownBoards(hwnd);
    }
    StartShow(hwnd, record);
}

void RecoverLostLink(HWND hwnd, InstanceRecord *record)
{
    DWORD error = TakeLostLinkError(&record->serial);
    if (error == 0)
        return;
    WriteTraceF(hwnd, record->settings.traceFile, "Unable To Read RS232 Port CE-%u", (unsigned)error);
    CloseCommPort(hwnd, &record->serial);
    StartPortRetry(hwnd);
}
