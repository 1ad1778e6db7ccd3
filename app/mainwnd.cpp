// The main window: received commands and the lost link, menu commands,
// the timers and the shut-down sequence, on closing and when Windows ends
// (main thread).
#include <windows.h>
#include <process.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/app.h"
#include "app/cdtray.h"
#include "app/instance.h"
#include "app/lifecycle.h"
#include "app/settings.h"
#include "app/text.h"
#include "app/tokens.h"
#include "app/trace.h"
#include "autoscript/autoscript.h"
#include "player/chapters.h"
#include "player/player.h"
#include "serial/serial.h"
#include "ui/resource.h"
#include "ui/ui.h"

#define HTML_OPEN_COMMAND_KEY "SOFTWARE\\Classes\\htmlfile\\shell\\open\\command"
#define HELP_PAGE_NAME "html\\hrx\\Home_page"
#define HELP_PAGE_EXTENSION "htm"
#define HELP_FILE "hrx.hlp"

namespace {

// Takes over the command block posted by the receive thread.
void ReceiveCommand(HWND hwnd, InstanceRecord *record, HGLOBAL block)
{
    char command[COMMAND_BLOCK_SIZE];
    SIZE_T size = GlobalSize(block);
    const char *text = static_cast<const char *>(GlobalLock(block));
    if (!text)
        return;
    size_t limit = size < sizeof command ? size : sizeof command;
    size_t i = 0;
    for (; i + 1 < limit && text[i] != '\0'; i++)
        command[i] = text[i];
    command[i] = '\0';
    GlobalUnlock(block);
    GlobalFree(block);
    if (record->settings.protocol == PROTOCOL_NATIVE)
        InterpretNativeCommand(hwnd, command);
    else if (record->settings.protocol == PROTOCOL_SONY_LDP)
        InterpretLdpCommand(hwnd, command);
}

void ViewLog(HWND hwnd, InstanceRecord *record)
{
    WriteTrace(hwnd, record->settings.traceFile, "User Cmd - View Log");
    _spawnlp(_P_NOWAIT, "notepad", " ", record->settings.traceFile, NULL);
}

// An argument as the started program's command line must carry it:
// _spawnl joins the arguments with spaces, so a path with a space
// ("C:\Program Files") is quoted to stay one argument.  False when it does
// not fit.
bool QuoteArgument(const char *argument, char *out, size_t size)
{
    const char *format = strpbrk(argument, " \t") ? "\"%s\"" : "%s";
    int length = snprintf(out, size, format, argument);
    return length >= 0 && (size_t)length < size;
}

void OpenHelpPages(HWND hwnd, InstanceRecord *record)
{
    WriteTrace(hwnd, record->settings.traceFile, "User Cmd - Help Topics");
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, HTML_OPEN_COMMAND_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    char command[TEXT_FIELD_SIZE];
    bool read = ReadRegistryText(key, NULL, command);
    RegCloseKey(key);
    if (!read)
        return;
    const char *program = NextToken(command, TOKEN_DELIMITERS);
    if (!program)
        return;
    char programPath[TEXT_FIELD_SIZE];
    DWORD len = GetFullPathNameA(program, sizeof programPath, programPath, NULL);
    if (len == 0 || len >= sizeof programPath)
        return;
    char directory[TEXT_FIELD_SIZE];
    len = GetCurrentDirectoryA(sizeof directory, directory);
    if (len == 0 || len >= sizeof directory)
        return;
    const char *separator = directory[len - 1] == '\\' ? "" : "\\";
    char page[TEXT_FIELD_SIZE * 2];
    snprintf(page, sizeof page, "%s%s%s.%s", directory, separator, HELP_PAGE_NAME, HELP_PAGE_EXTENSION);
    char pageArgument[sizeof page + 2];
    if (QuoteArgument(page, pageArgument, sizeof pageArgument))
        _spawnl(_P_NOWAIT, programPath, " ", pageArgument, NULL);
}

// The poll's worker has found a script: it runs behind the progress dialog.
void RunFoundAutoScript(HWND hwnd, InstanceRecord *record)
{
    if (!TakeFoundAutoScript() || record->autoScriptRunning != 0)
        return;
    record->autoScriptRunning = 1;
    RunAutoScriptDialog(hwnd);
    // The window may have been closed while the dialog ran, and its record
    // released with it.
    record = GetInstanceRecord(hwnd);
    if (record)
        record->autoScriptRunning = 0;
}

void OnCommand(HWND hwnd, InstanceRecord *record, WPARAM wParam, LPARAM lParam)
{
    const char *trace = record->settings.traceFile;
    switch (LOWORD(wParam)) {
    case ID_RECEIVED_COMMAND:
        ReceiveCommand(hwnd, record, reinterpret_cast<HGLOBAL>(lParam));
        // While commands stream in, the boards are serviced here.
        if (IsPlaybackPassOverdue())
            WatchPlayback(hwnd);
        break;
    case ID_LINK_LOST:
        RecoverLostLink(hwnd, record);
        break;
    case ID_AUTOSCRIPT_FOUND:
        RunFoundAutoScript(hwnd, record);
        break;
    case ID_AUTOSCRIPT_STOP_BOARDS:
        BeginMediaUpdate(hwnd);
        break;
    case ID_AUTOSCRIPT_MEDIA_CHANGED:
        // Without the show up there is nothing to reload: it reads the
        // chapters when it comes up.
        if (record->showUp)
            ReloadChapterZero(hwnd);
        break;
    case IDM_EXIT:
        WriteTrace(hwnd, trace, "User Cmd - Exit");
        DestroyWindow(hwnd);
        break;
    case IDM_VIEW_LOG:
        ViewLog(hwnd, record);
        break;
    case IDM_PROPERTIES:
        WriteTrace(hwnd, trace, "User Cmd - Properties");
        ShowProperties(hwnd);
        break;
    case IDM_HELP_TOPICS:
        OpenHelpPages(hwnd, record);
        break;
    case IDM_ABOUT:
        DialogBoxParamA(record->hInstance, MAKEINTRESOURCEA(IDD_ABOUT), hwnd, AboutDialogProc, 0);
        break;
    default:
        break;
    }
}

void OnTimer(HWND hwnd, InstanceRecord *record, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDT_AUTOSCRIPT_POLL:
        StartAutoScriptPoll(hwnd);
        break;
    case IDT_GARBAGE_COLLECTION:
        WriteTrace(hwnd, record->settings.traceFile, "Garbage collection started");
        TrimFile(hwnd, record->settings.traceFile, record->settings.traceSize);
        WriteTrace(hwnd, record->settings.traceFile, "Garbage collection finished");
        break;
    case IDT_PLAYBACK_POLL:
        WatchPlayback(hwnd);
        break;
    case IDT_PORT_RETRY:
        RetryCommPort(hwnd, record);
        break;
    default:
        break;
    }
}

void ShutDown(HWND hwnd, InstanceRecord *record)
{
    WinHelpA(hwnd, HELP_FILE, HELP_QUIT, 0);
    KillTimer(hwnd, IDT_AUTOSCRIPT_POLL);
    KillTimer(hwnd, IDT_GARBAGE_COLLECTION);
    KillTimer(hwnd, IDT_PORT_RETRY);
    // A script still running (its dialog has closed with the window) is
    // cancelled, so that a copy removes its temporary file, before the
    // process ends under it.
    StopAutoScriptPoll(AUTOSCRIPT_STOP_WAIT_MS);
    StopAutoScriptWorker(AUTOSCRIPT_STOP_WAIT_MS);
    WaitForCdTray(CD_TRAY_STOP_WAIT_MS);
    FreeChapterTable(hwnd);
    RECT rect;
    if (GetWindowRect(hwnd, &rect)) {
        record->settings.screenX = rect.left;
        record->settings.screenY = rect.top;
    }
    CloseCommPort(hwnd, &record->serial);
    TakeDownBoards(hwnd);
    SaveSettings(hwnd);
    ReleaseShowPc();
    WriteTrace(hwnd, record->settings.traceFile, "Halcyra Remote Closed\n\n");
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    free(record);
    PostQuitMessage(0);
}

}  // namespace

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    InstanceRecord *record = GetInstanceRecord(hwnd);
    switch (msg) {
    case WM_CREATE:
        return 0;
    case WM_COMMAND:
        if (record)
            OnCommand(hwnd, record, wParam, lParam);
        return 0;
    case WM_TIMER:
        if (record)
            OnTimer(hwnd, record, wParam);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_SCREENSAVE)
            return 0;
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_ENDSESSION:
        // Windows ends the process soon after this returns: the shut-down
        // of a closed window runs to its end first.
        if (wParam)
            DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        if (record)
            ShutDown(hwnd, record);
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}
