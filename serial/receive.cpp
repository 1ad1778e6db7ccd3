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

// How one wait for the first byte of a command ended.
enum ByteWait { BYTE_ARRIVED, LINE_SILENT, READ_FAILED, LINK_CLOSING };

// The thread ends its own pending read: CancelIo cancels the I/O of the
// calling thread and is there from Windows XP on.  CancelIoEx, which would
// let the closing thread do it, came only with Vista, and
// PurgeComm(PURGE_RXABORT), which ends pending reads on Windows, leaves
// them pending under Wine.  The read is waited for to its end, as it
// writes into the thread's own OVERLAPPED and byte.
void CancelPendingRead(HANDLE port, OVERLAPPED *wait)
{
    DWORD unused;
    CancelIo(port);
    GetOverlappedResult(port, wait, &unused, TRUE);
}

// Waits for one byte with a pending read of one byte, which both Windows
// and Wine complete as soon as a byte arrives (Wine completes a longer read
// only once it is full).  A read that ends empty when the port's read
// time-out runs out leaves its OVERLAPPED's status at STATUS_TIMEOUT, on
// Windows (a success) as under Wine (a failure, ERROR_TIMEOUT).  A failed
// read leaves its Win32 error in *error.
ByteWait WaitForFirstByte(SerialBlock *serial, OVERLAPPED *wait, BYTE *first, DWORD *error)
{
    HANDLE port = serial->portHandle;
    DWORD count = 0;
    *error = ERROR_READ_FAULT;
    if (!ReadFile(port, first, 1, &count, wait)) {
        if (GetLastError() != ERROR_IO_PENDING) {
            *error = GetLastError();
            return READ_FAILED;
        }
        HANDLE events[2] = {wait->hEvent, serial->stopEvent};
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
            CancelPendingRead(port, wait);
            return LINK_CLOSING;
        }
        if (!GetOverlappedResult(port, wait, &count, FALSE))
            *error = GetLastError();
    }
    if (count == 1)
        return BYTE_ARRIVED;
    return wait->Internal == STATUS_TIMEOUT ? LINE_SILENT : READ_FAILED;
}

// Delivers the first byte together with whatever the port has queued
// behind it.
void DeliverReceived(SerialBlock *serial, BYTE *buffer)
{
    int queued = ReadCommBlock(serial, buffer + 1, SERIAL_RECEIVE_BUFFER - 1);
    DeliverCommBlock(serial->owner, *serial->settings, buffer, 1 + (DWORD)queued);
}

// A port whose reads fail at once (an adapter pulled out, a line hung up)
// would keep the thread busy; the pause ends early when the link closes.
void Pause(const SerialBlock *serial)
{
    WaitForSingleObject(serial->stopEvent, SERIAL_PAUSE_MS);
}

// Tells the window, once, that the reads have failed for good; the window
// closes the link and opens it again when it can.
void ReportLinkLost(SerialBlock *serial, DWORD error)
{
    serial->lostError = error ? error : ERROR_READ_FAULT;
    PostMessageA(serial->owner, WM_COMMAND, ID_LINK_LOST, 0);
}

void WatchPort(SerialBlock *serial, OVERLAPPED *wait)
{
    BYTE buffer[SERIAL_RECEIVE_BUFFER];
    int failedRounds = 0;
    DWORD error = 0;
    while (serial->connected) {
        switch (WaitForFirstByte(serial, wait, buffer, &error)) {
        case BYTE_ARRIVED:
            DeliverReceived(serial, buffer);
            failedRounds = 0;
            break;
        case LINE_SILENT:
            failedRounds = 0;
            break;
        case READ_FAILED:
            if (failedRounds < SERIAL_FAILED_READS_BEFORE_LOSS && ++failedRounds == SERIAL_FAILED_READS_BEFORE_LOSS)
                ReportLinkLost(serial, error);
            if (failedRounds >= SERIAL_IDLE_ROUNDS_BEFORE_PAUSE)
                Pause(serial);
            break;
        case LINK_CLOSING:
            return;
        }
    }
}

}  // namespace

DWORD WINAPI CommWatchThread(LPVOID serialBlock)
{
    SerialBlock *serial = static_cast<SerialBlock *>(serialBlock);
    OVERLAPPED wait = {};
    wait.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (wait.hEvent) {
        WatchPort(serial, &wait);
        CloseHandle(wait.hEvent);
    }
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
