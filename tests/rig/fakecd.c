/* Bench rig: a fake MCI "cdaudio" driver.
 *
 * Registered in the test prefix as the cdaudio device, it stands for the
 * PC's CD drive: every open, door-open, door-closed and close request is
 * appended as one line to the file named by HALCYRA_RIG_MCI_LOG (read at
 * each request, so a test may point it elsewhere at any time).  A door
 * request takes as many milliseconds as HALCYRA_RIG_MCI_DELAY_MS says (read
 * at each request; none without it), as a real tray takes a second or more,
 * and is logged once it is over.  Runs in the thread that calls
 * mciSendStringA. */
#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>
#include <stdio.h>
#include <stdlib.h>

/* Missing from MinGW's headers. */
BOOL WINAPI mciDriverNotify(HWND hwndCallback, MCIDEVICEID wDeviceID, UINT uStatus);

static void log_request(const char *what)
{
    char path[MAX_PATH];
    DWORD len = GetEnvironmentVariableA("HALCYRA_RIG_MCI_LOG", path, sizeof path);
    if (len == 0 || len >= sizeof path)
        return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    char line[64];
    int n = snprintf(line, sizeof line, "%s\n", what);
    DWORD written;
    WriteFile(file, line, (DWORD)n, &written, NULL);
    CloseHandle(file);
}

static void move_like_a_tray(void)
{
    char text[16];
    DWORD len = GetEnvironmentVariableA("HALCYRA_RIG_MCI_DELAY_MS", text, sizeof text);
    if (len > 0 && len < sizeof text)
        Sleep(strtoul(text, NULL, 10));
}

static LRESULT open_driver(LPARAM params)
{
    /* The first DRV_OPEN comes without parameters: accept it. */
    if (params == 0)
        return 1;
    MCI_OPEN_DRIVER_PARMS *open = (MCI_OPEN_DRIVER_PARMS *)params;
    open->wType = MCI_DEVTYPE_CD_AUDIO;
    open->wCustomCommandTable = MCI_NO_COMMAND_TABLE;
    return 1;
}

static void notify(DWORD flags, LPARAM params, DWORD_PTR device)
{
    if ((flags & MCI_NOTIFY) && params)
        mciDriverNotify((HWND)((MCI_GENERIC_PARMS *)params)->dwCallback,
                        (MCIDEVICEID)device, MCI_NOTIFY_SUCCESSFUL);
}

LRESULT CALLBACK DriverProc(DWORD_PTR id, HDRVR driver, UINT msg, LPARAM p1, LPARAM p2)
{
    switch (msg) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_CLOSE:
    case DRV_QUERYCONFIGURE:
    case DRV_CONFIGURE:
    case DRV_INSTALL:
    case DRV_REMOVE:
        return 1;
    case DRV_OPEN:
        return open_driver(p2);
    case MCI_OPEN_DRIVER:
        log_request("open");
        notify((DWORD)p1, p2, id);
        return 0;
    case MCI_CLOSE_DRIVER:
        log_request("close");
        notify((DWORD)p1, p2, id);
        return 0;
    case MCI_SET:
        if (p1 & (MCI_SET_DOOR_OPEN | MCI_SET_DOOR_CLOSED))
            move_like_a_tray();
        if (p1 & MCI_SET_DOOR_OPEN)
            log_request("set door open");
        if (p1 & MCI_SET_DOOR_CLOSED)
            log_request("set door closed");
        notify((DWORD)p1, p2, id);
        return 0;
    case MCI_STATUS:
    case MCI_GETDEVCAPS:
    case MCI_INFO:
    case MCI_STOP:
    case MCI_PAUSE:
        notify((DWORD)p1, p2, id);
        return 0;
    default:
        if (msg >= DRV_MCI_FIRST)
            return MCIERR_UNRECOGNIZED_COMMAND;
        return DefDriverProc(id, driver, msg, p1, p2);
    }
}
