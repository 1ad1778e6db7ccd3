// Bench: the least a Windows program does to answer a serial line the way
// the player is built, with none of the player's work: a receive thread
// waits for the port (WaitCommEvent), reads what is queued and posts each
// byte to a window, whose procedure writes one ACK and waits for the write;
// a 5 ms timer ticks with nothing to do.  Timed like the player, it gives
// the cost of the platform (Wine) underneath the player.
// Usage: serial_floor COMn.  Runs until it is ended.  Main thread and one
// receive thread.
#include <windows.h>

#include <stdio.h>

#include "serial/serial.h"

#define WM_FLOOR_BYTE (WM_APP + 1)
#define FLOOR_TIMER_ID 1
#define FLOOR_TIMER_MS 5
#define FLOOR_ACK 0x0A

namespace {

HANDLE port = INVALID_HANDLE_VALUE;
OVERLAPPED writeOverlapped;

bool WaitForByte(OVERLAPPED *wait)
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

DWORD WINAPI ReceiveThread(LPVOID param)
{
    HWND hwnd = static_cast<HWND>(param);
    OVERLAPPED wait = {}, read = {};
    wait.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    read.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    BYTE buffer[SERIAL_RECEIVE_BUFFER];
    while (WaitForByte(&wait)) {
        DWORD count;
        while ((count = ReadQueued(&read, buffer, sizeof buffer)) > 0)
            for (DWORD i = 0; i < count; i++)
                PostMessageA(hwnd, WM_FLOOR_BYTE, buffer[i], 0);
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
    if (argc != 2) {
        fprintf(stderr, "usage: serial_floor COMn\n");
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
    CloseHandle(CreateThread(NULL, 0, ReceiveThread, hwnd, 0, NULL));
    printf("ready\n");
    fflush(stdout);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
