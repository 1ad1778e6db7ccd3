// Bench: the least a Windows program does to answer a serial line the way
// the player is built, with none of the player's work: a receive thread
// waits for the first byte with a pending read of one byte, reads what is
// queued behind it and posts each byte to a window, whose procedure writes
// one ACK and waits for the write; a 5 ms timer ticks with nothing to do.
// Timed like the player, it gives the cost of the platform (Wine) underneath
// the player.  With "event", the thread waits with WaitCommEvent instead, as
// the player used to: the reference for what the pending read gains.
// Usage: serial_floor COMn [event].  Runs until it is ended.  Main thread
// and one receive thread.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "serial/serial.h"

#define WM_FLOOR_BYTE (WM_APP + 1)
#define FLOOR_TIMER_ID 1
#define FLOOR_TIMER_MS 5
#define FLOOR_ACK 0x0A

namespace {

HANDLE port = INVALID_HANDLE_VALUE;
OVERLAPPED writeOverlapped;

bool WaitForEvent(OVERLAPPED *wait)
{
    DWORD mask = 0, unused;
    if (WaitCommEvent(port, &mask, wait))
        return true;
    return GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(port, wait, &unused, TRUE);
}

DWORD ReadQueued(OVERLAPPED *read, BYTE *buffer, DWORD size)
{
    DWORD errors = 0, count = 0;
    COMSTAT status = {};
    ClearCommError(port, &errors, &status);
    DWORD want = status.cbInQue < size ? status.cbInQue : size;
    if (want == 0)
        return 0;
    if (ReadFile(port, buffer, want, &count, read))
        return count;
    if (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(port, read, &count, TRUE))
        return 0;
    return count;
}

// The first byte into buffer[0]; false when the read failed, true with
// *count 0 when it ended empty at the port's read time-out.
bool WaitForFirstByte(OVERLAPPED *wait, BYTE *buffer, DWORD *count)
{
    *count = 0;
    if (ReadFile(port, buffer, 1, count, wait))
        return true;
    if (GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(port, wait, count, TRUE))
        return true;
    return wait->Internal == STATUS_TIMEOUT;
}

void PostBytes(HWND hwnd, const BYTE *bytes, DWORD count)
{
    for (DWORD i = 0; i < count; i++)
        PostMessageA(hwnd, WM_FLOOR_BYTE, bytes[i], 0);
}

DWORD WINAPI ReceiveAfterFirstByte(LPVOID param)
{
    HWND hwnd = static_cast<HWND>(param);
    OVERLAPPED wait = {}, read = {};
    wait.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    read.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    BYTE buffer[SERIAL_RECEIVE_BUFFER];
    DWORD count;
    while (WaitForFirstByte(&wait, buffer, &count))
        if (count > 0)
            PostBytes(hwnd, buffer, 1 + ReadQueued(&read, buffer + 1, sizeof buffer - 1));
    return 0;
}

DWORD WINAPI ReceiveAfterEvents(LPVOID param)
{
    HWND hwnd = static_cast<HWND>(param);
    OVERLAPPED wait = {}, read = {};
    wait.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    read.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    BYTE buffer[SERIAL_RECEIVE_BUFFER];
    while (WaitForEvent(&wait)) {
        DWORD count;
        while ((count = ReadQueued(&read, buffer, sizeof buffer)) > 0)
            PostBytes(hwnd, buffer, count);
    }
    return 0;
}

void WriteAck()
{
    const BYTE ack = FLOOR_ACK;
    DWORD written = 0;
    if (!WriteFile(port, &ack, 1, &written, &writeOverlapped) && GetLastError() == ERROR_IO_PENDING)
        GetOverlappedResult(port, &writeOverlapped, &written, TRUE);
}

LRESULT CALLBACK FloorWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_FLOOR_BYTE:
        WriteAck();
        return 0;
    case WM_TIMER:
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    bool events = argc == 3 && strcmp(argv[2], "event") == 0;
    if (argc != 2 && !events) {
        fprintf(stderr, "usage: serial_floor COMn [event]\n");
        return 2;
    }
    char path[MAX_PATH];
    snprintf(path, sizeof path, "\\\\.\\%s", argv[1]);
    port = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, NULL);
    if (port == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "cannot open %s\n", path);
        return 1;
    }
    if (events)
        SetCommMask(port, EV_RXCHAR);
    COMMTIMEOUTS timeouts = {MAXDWORD, 0, SERIAL_READ_TIMEOUT_MS, 0, SERIAL_WRITE_TIMEOUT_MS};
    SetCommTimeouts(port, &timeouts);
    writeOverlapped.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = FloorWndProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "hrx serial floor";
    RegisterClassA(&windowClass);
    HWND hwnd = CreateWindowA(windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                              windowClass.hInstance, NULL);
    SetTimer(hwnd, FLOOR_TIMER_ID, FLOOR_TIMER_MS, NULL);
    CloseHandle(CreateThread(NULL, 0, events ? ReceiveAfterEvents : ReceiveAfterFirstByte, hwnd, 0, NULL));
    printf("ready\n");
    fflush(stdout);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
