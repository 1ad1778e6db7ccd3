// Serial link, receiving: the receive thread's wait on the port, its reads,
// and the framing of received bytes into commands posted to the main window
// (receive thread).
#include "serial/serial.h"

#include "app/instance.h"
#include "app/text.h"
#include "app/trace.h"

namespace {

// The native-protocol line being gathered.  One for the process, used only
// by the receive thread; it survives a close and a reopen of the link.
char nativeLine[NATIVE_LINE_CAPACITY + 1];
DWORD nativeLineLength;

bool IsLineCharacter(BYTE b)
{
    return b >= 0x20 && b <= 0x7F;
}

// Hands one command to the window in a block that becomes the receiver's
// once posted.  A refused post (a full queue) leaves the block here to free.
bool PostCommand(HWND hwnd, const char *text)
{
    HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, COMMAND_BLOCK_SIZE);
    if (!block)
        return false;
    CopyText(static_cast<char *>(block), COMMAND_BLOCK_SIZE, text);
    if (PostMessageA(hwnd, WM_COMMAND, ID_RECEIVED_COMMAND, reinterpret_cast<LPARAM>(block)))
        return true;
    GlobalFree(block);
    return false;
}

int DeliverLdpBytes(HWND hwnd, const BYTE *bytes, DWORD count)
{
    int posted = 0;
    for (DWORD i = 0; i < count; i++) {
        const char command[2] = {static_cast<char>(bytes[i]), '\0'};
        if (PostCommand(hwnd, command))
            posted++;
    }
    return posted;
}

// Traces the gathered line (empty ones too), posts it cut to what a command
// block holds, and starts a new one.
int EndNativeLine(HWND hwnd, const char *trace)
{
    nativeLine[nativeLineLength] = '\0';
    WriteTraceF(hwnd, trace, "Received cmd <%s>", nativeLine);
    int posted = nativeLineLength > 0 && PostCommand(hwnd, nativeLine) ? 1 : 0;
    nativeLineLength = 0;
    return posted;
}

// A run of end-of-line bytes (any byte outside 0x20 to 0x7F) ends the line
// once, so CR LF gives one line; a line character after the run begins the
// next line.  A full line ends as well.
int DeliverNativeBytes(HWND hwnd, const char *trace, const BYTE *bytes, DWORD count)
{
    int posted = 0;
    bool ending = false;
    for (DWORD i = 0; i < count; i++) {
        if (!IsLineCharacter(bytes[i])) {
            ending = true;
            continue;
        }
        if (ending || nativeLineLength == NATIVE_LINE_CAPACITY) {
            posted += EndNativeLine(hwnd, trace);
            ending = false;
        }
        nativeLine[nativeLineLength++] = static_cast<char>(bytes[i]);
    }
    if (ending || nativeLineLength == NATIVE_LINE_CAPACITY)
        posted += EndNativeLine(hwnd, trace);
    return posted;
}

// One overlapped wait for a port event; false when the wait failed.
bool WaitForPortEvent(HANDLE port, OVERLAPPED *wait, DWORD *mask)
{
    *mask = 0;
    if (WaitCommEvent(port, mask, wait))
        return true;
    if (GetLastError() != ERROR_IO_PENDING)
        return false;
    DWORD unused;
    return GetOverlappedResult(port, wait, &unused, TRUE) != 0;
}

// Takes in and delivers everything the port has queued; false when no byte
// came.
bool ReadAndDeliver(SerialBlock *serial, BYTE *buffer)
{
    bool received = false;
    int count;
    while ((count = ReadCommBlock(serial, buffer, SERIAL_RECEIVE_BUFFER)) > 0) {
        DeliverCommBlock(serial->owner, *serial->settings, buffer, (DWORD)count);
        received = true;
    }
    return received;
}

// A port whose waits or reads come back empty at once (an adapter pulled
// out, a line hung up) would keep the thread busy; the pause ends early
// when the link closes.
void Pause(const SerialBlock *serial)
{
    for (DWORD slept = 0; slept < SERIAL_PAUSE_MS && serial->connected; slept += SERIAL_PAUSE_SLICE_MS)
        Sleep(SERIAL_PAUSE_SLICE_MS);
}

void WatchPort(SerialBlock *serial, OVERLAPPED *wait)
{
    BYTE buffer[SERIAL_RECEIVE_BUFFER];
    int idleRounds = 0;
    while (serial->connected) {
        DWORD mask;
        bool received = WaitForPortEvent(serial->portHandle, wait, &mask) && (mask & EV_RXCHAR) &&
                        ReadAndDeliver(serial, buffer);
        if (received)
            idleRounds = 0;
        else if (++idleRounds >= SERIAL_IDLE_ROUNDS_BEFORE_PAUSE)
            Pause(serial);
    }
}

}  // namespace

DWORD WINAPI CommWatchThread(LPVOID serialBlock)
{
    SerialBlock *serial = static_cast<SerialBlock *>(serialBlock);
    OVERLAPPED wait = {};
    wait.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (wait.hEvent) {
        if (SetCommMask(serial->portHandle, EV_RXCHAR))
            WatchPort(serial, &wait);
        CloseHandle(wait.hEvent);
    }
    // The last act: CloseCommPort waits for it.
    serial->watchThreadId = 0;
    return 0;
}

int ReadCommBlock(SerialBlock *serial, BYTE *buffer, DWORD maxCount)
{
    DWORD errors = 0;
    COMSTAT status = {};
    ClearCommError(serial->portHandle, &errors, &status);
    DWORD count = status.cbInQue < maxCount ? status.cbInQue : maxCount;
    if (count == 0)
        return 0;
    DWORD read = 0;
    if (ReadFile(serial->portHandle, buffer, count, &read, &serial->osRead))
        return (int)read;
    if (GetLastError() != ERROR_IO_PENDING)
        return 0;
    if (!GetOverlappedResult(serial->portHandle, &serial->osRead, &read, TRUE))
        return 0;
    return (int)read;
}

int DeliverCommBlock(HWND hwnd, const Settings &settings, const BYTE *bytes, DWORD count)
{
    switch (settings.protocol) {
    case PROTOCOL_SONY_LDP:
        return DeliverLdpBytes(hwnd, bytes, count);
    case PROTOCOL_NATIVE:
        return DeliverNativeBytes(hwnd, settings.traceFile, bytes, count);
    default:
        return 0;
    }
}
