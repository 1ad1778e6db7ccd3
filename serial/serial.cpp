// Serial link to the show controller: opening and closing the port and the
// blocking write of replies (main thread).
#include "serial/serial.h"

#include <stdio.h>
#include <string.h>

#include "app/environment.h"
#include "app/instance.h"
#include "app/text.h"
#include "app/trace.h"

// "\\.\COM" and a number of up to 11 characters, with room to spare.
#define PORT_NAME_SIZE 32

namespace {

bool IsPortOpen(const SerialBlock *serial)
{
    return serial->portHandle != INVALID_HANDLE_VALUE && serial->portHandle != NULL;
}

HANDLE CreateManualResetEvent()
{
    return CreateEventA(NULL, TRUE, FALSE, NULL);
}

void CloseAndClear(HANDLE *handle)
{
    if (*handle) {
        CloseHandle(*handle);
        *handle = NULL;
    }
}

void CloseEvents(SerialBlock *serial)
{
    CloseAndClear(&serial->stopEvent);
    CloseAndClear(&serial->osWrite.hEvent);
    CloseAndClear(&serial->osRead.hEvent);
}

void ClosePortHandle(SerialBlock *serial)
{
    CloseHandle(serial->portHandle);
    serial->portHandle = INVALID_HANDLE_VALUE;
}

// Reads the port's state, gives it the line settings Windows keeps as the
// port's default configuration (when they can be read), binary mode and no
// abort on error, and traces the flow control the port then has.  A port
// whose state cannot be read at all (a device that is not a UART) is left
// as it is.
void ApplyLineSettings(HWND hwnd, const char *trace, HANDLE port, const char *device)
{
    DCB state = {};
    state.DCBlength = sizeof state;
    if (!GetCommState(port, &state))
        return;
    COMMCONFIG defaults = {};
    defaults.dwSize = sizeof defaults;
    DWORD size = sizeof defaults;
    bool haveDefaults = GetDefaultCommConfigA(device, &defaults, &size) != 0;
    if (!haveDefaults)
        WriteTraceF(hwnd, trace, "GetDefaultCommConfig error CE-%u", (unsigned)GetLastError());
    AdjustCommState(&state, haveDefaults ? &defaults.dcb : NULL);
    if (!SetCommState(port, &state))
        WriteTraceF(hwnd, trace, "SetCommState error CE-%u", (unsigned)GetLastError());
    DCB now = {};
    now.DCBlength = sizeof now;
    if (!GetCommState(port, &now))
        return;
    char flow[FLOW_CONTROL_TEXT_SIZE];
    DescribeFlowControl(now, flow, sizeof flow);
    WriteTraceF(hwnd, trace, "RS232 Flow Control %s", flow);
}

// Settings a port may refuse (a device that is not a UART); the link
// carries on without them.
void ConfigurePort(HWND hwnd, const char *trace, HANDLE port, const char *device)
{
    SetupComm(port, SERIAL_QUEUE_SIZE, SERIAL_QUEUE_SIZE);
    PurgeComm(port, SERIAL_PURGE_ALL);
    COMMTIMEOUTS timeouts = {MAXDWORD, 0, SERIAL_READ_TIMEOUT_MS, 0, SERIAL_WRITE_TIMEOUT_MS};
    SetCommTimeouts(port, &timeouts);
    ApplyLineSettings(hwnd, trace, port, device);
}

// Appends ", " (after the first) and a part to the text.
void AddPart(char *text, size_t size, const char *part)
{
    size_t used = strnlen(text, size);
    snprintf(text + used, size - used, "%s%s", used ? ", " : "", part);
}

// A handshake of both directions by its usual name, or each half alone.
void AddHandshake(char *text, size_t size, bool output, bool input, const char *both, const char *outputOnly,
                  const char *inputOnly)
{
    if (output && input)
        AddPart(text, size, both);
    else if (output)
        AddPart(text, size, outputOnly);
    else if (input)
        AddPart(text, size, inputOnly);
}

// The thread is handed the serial block with the window and the settings
// it reads.
bool StartWatchThread(HWND hwnd, const Settings *settings, SerialBlock *serial)
{
    serial->owner = hwnd;
    serial->settings = settings;
    serial->lostError = 0;
    serial->stopEvent = CreateManualResetEvent();
    if (!serial->stopEvent)
        return false;
    serial->connected = 1;
    DWORD id = 0;
    HANDLE thread = CreateThread(NULL, 0, CommWatchThread, serial, 0, &id);
    if (!thread) {
        serial->connected = 0;
        return false;
    }
    serial->watchThread = thread;
    serial->watchThreadId = id;
    return true;
}

// Ends the receive thread, waits for it at most SERIAL_STOP_WAIT_MS and
// releases its handle; false when it did not end in that time.  The stop
// event stays set, so it also ends a read or a pause that the thread begins
// after it (between its look at the flag and its wait); the thread cancels
// its pending read itself.
bool StopWatchThread(SerialBlock *serial)
{
    serial->connected = 0;
    SetEvent(serial->stopEvent);
    bool ended = !serial->watchThread || WaitForSingleObject(serial->watchThread, SERIAL_STOP_WAIT_MS) == WAIT_OBJECT_0;
    CloseAndClear(&serial->watchThread);
    serial->watchThreadId = 0;
    return ended;
}

// A receive thread that has not ended (its driver never finished the
// cancel of its read) may still wait on the link's events: they are left
// open for it, and forgotten here.  Closing the port then ends the read on
// Windows, and the thread with it; it touches nothing of the link after.
void LeaveEventsToTheThread(SerialBlock *serial)
{
    serial->stopEvent = NULL;
    serial->osRead.hEvent = NULL;
    serial->osWrite.hEvent = NULL;
}

// A write that ends with bytes unsent: the port's write time-out ran out,
// as when a handshake line the port waits for (CTS, DSR) stays low.
void TraceShortWrite(HWND hwnd, const char *trace, DWORD written, DWORD count)
{
    if (written < count)
        WriteTraceF(hwnd, trace, "WriteCommBlock sent %u of %u bytes", (unsigned)written, (unsigned)count);
}

void TraceErrorFlags(HWND hwnd, const char *trace, HANDLE port)
{
    DWORD flags = 0;
    COMSTAT status = {};
    ClearCommError(port, &flags, &status);
    if (flags != 0)
        WriteTraceF(hwnd, trace, "WriteCommBlock error flags CE-%u", (unsigned)flags);
}

// The port of the window's settings opened and configured, its receive
// thread started and DTR raised.  A retry traces nothing until the port
// has opened, and then the line a first open begins with.
int OpenLink(HWND hwnd, SerialBlock *serial, bool retry)
{
    const Settings &s = GetInstanceRecord(hwnd)->settings;
    const char *trace = retry ? NULL : s.traceFile;
    serial->osRead = OVERLAPPED();
    serial->osWrite = OVERLAPPED();
    serial->osRead.hEvent = CreateManualResetEvent();
    if (!serial->osRead.hEvent) {
        WriteTrace(hwnd, trace, "Unable To Create osRead Event");
        return -1;
    }
    serial->osWrite.hEvent = CreateManualResetEvent();
    if (!serial->osWrite.hEvent) {
        CloseEvents(serial);
        WriteTrace(hwnd, trace, "Unable To Create osWrite Event");
        return -1;
    }

    // "\\.\COMn" names every port; plain "COMn" reaches only COM1 to COM9.
    char device[PORT_NAME_SIZE], path[PORT_NAME_SIZE];
    snprintf(device, sizeof device, "COM%d", (int)s.comId);
    snprintf(path, sizeof path, "\\\\.\\%s", device);
    serial->portHandle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, NULL);
    if (serial->portHandle == INVALID_HANDLE_VALUE) {
        CloseEvents(serial);
        WriteTrace(hwnd, trace, "Unable To Open RS232 Port");
        return -1;
    }
    if (retry) {
        trace = s.traceFile;
        WriteTraceF(hwnd, trace, "Initialising RS232 Port %d", (int)s.comId);
    }
    ConfigurePort(hwnd, trace, serial->portHandle, device);

    if (!StartWatchThread(hwnd, &s, serial)) {
        ClosePortHandle(serial);
        CloseEvents(serial);
        WriteTrace(hwnd, trace, "Unable To Create RS232 Thread");
        return -1;
    }
    WriteTraceF(hwnd, trace, "Started CommWatchThread ID 0x%lx", (unsigned long)serial->watchThreadId);
    EscapeCommFunction(serial->portHandle, SETDTR);
    return 0;
}

}  // namespace

void AdjustCommState(DCB *state, const DCB *defaults)
{
    if (defaults) {
        state->BaudRate = defaults->BaudRate;
        state->ByteSize = defaults->ByteSize;
        state->Parity = defaults->Parity;
        state->StopBits = defaults->StopBits;
    }
    state->fBinary = TRUE;
    state->fAbortOnError = FALSE;
}

void DescribeFlowControl(const DCB &state, char *text, size_t size)
{
    if (size == 0)
        return;
    text[0] = '\0';
    AddHandshake(text, size, state.fOutxCtsFlow, state.fRtsControl == RTS_CONTROL_HANDSHAKE, "RTS/CTS", "CTS out",
                 "RTS in");
    AddHandshake(text, size, state.fOutxDsrFlow, state.fDtrControl == DTR_CONTROL_HANDSHAKE, "DTR/DSR", "DSR out",
                 "DTR in");
    AddHandshake(text, size, state.fOutX, state.fInX, "XON/XOFF", "XON/XOFF out", "XON/XOFF in");
    if (state.fRtsControl == RTS_CONTROL_TOGGLE)
        AddPart(text, size, "RTS toggle");
    if (state.fDsrSensitivity)
        AddPart(text, size, "DSR sensitive");
    if (text[0] == '\0')
        CopyText(text, size, "None");
}

DWORD PortWaitMilliseconds(void)
{
    return EnvironmentNumber(PORT_WAIT_ENV, PORT_WAIT_MS, ENVIRONMENT_WAIT_LIMIT_MS);
}

int OpenCommPort(HWND hwnd, SerialBlock *serial)
{
    const Settings &s = GetInstanceRecord(hwnd)->settings;
    WriteTraceF(hwnd, s.traceFile, "Initialising RS232 Port %d", (int)s.comId);
    Sleep(PortWaitMilliseconds());
    return OpenLink(hwnd, serial, false);
}

int ReopenCommPort(HWND hwnd, SerialBlock *serial)
{
    return OpenLink(hwnd, serial, true);
}

int CloseCommPort(HWND hwnd, SerialBlock *serial)
{
    const InstanceRecord *record = GetInstanceRecord(hwnd);
    WriteTrace(hwnd, record ? record->settings.traceFile : NULL, "Closing RS232 Port");
    if (IsPortOpen(serial)) {
        if (!StopWatchThread(serial)) {
            WriteTrace(hwnd, record ? record->settings.traceFile : NULL, "Unable To End RS232 Thread");
            LeaveEventsToTheThread(serial);
        }
        EscapeCommFunction(serial->portHandle, CLRDTR);
        PurgeComm(serial->portHandle, SERIAL_PURGE_ALL);
        ClosePortHandle(serial);
    }
    CloseEvents(serial);
    return 0;
}

DWORD TakeLostLinkError(SerialBlock *serial)
{
    return IsPortOpen(serial) ? serial->lostError.exchange(0) : 0;
}

int WriteCommBlock(HWND hwnd, const BYTE *bytes, DWORD count)
{
    InstanceRecord *record = GetInstanceRecord(hwnd);
    if (!record || !IsPortOpen(&record->serial))
        return -1;
    SerialBlock *serial = &record->serial;
    const char *trace = record->settings.traceFile;
    DWORD written = 0;
    if (WriteFile(serial->portHandle, bytes, count, &written, &serial->osWrite)) {
        TraceShortWrite(hwnd, trace, written, count);
        return 0;
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        TraceErrorFlags(hwnd, trace, serial->portHandle);
        return -1;
    }
    while (!GetOverlappedResult(serial->portHandle, &serial->osWrite, &written, TRUE)) {
        DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING)
            continue;
        WriteTraceF(hwnd, trace, "WriteCommBlock error CE-%u", (unsigned)error);
        TraceErrorFlags(hwnd, trace, serial->portHandle);
        return 0;
    }
    TraceShortWrite(hwnd, trace, written, count);
    return 0;
}
