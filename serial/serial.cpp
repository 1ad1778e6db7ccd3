// Serial link to the show controller: opening and closing the port and the
// blocking write of replies (main thread).
#include "serial/serial.h"

#include <stdio.h>

#include "app/environment.h"
#include "app/instance.h"
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

// The line takes the baud rate, byte size, parity and stop bits that
// Windows keeps as the port's default configuration; flow control and
// every other field stay as the port has them.  Nothing is changed when
// either configuration cannot be read.
void ApplyDefaultLineSettings(HANDLE port, const char *device)
{
    DCB state = {};
    state.DCBlength = sizeof state;
    COMMCONFIG defaults = {};
    defaults.dwSize = sizeof defaults;
    DWORD size = sizeof defaults;
    if (!GetCommState(port, &state) || !GetDefaultCommConfigA(device, &defaults, &size))
        return;
    state.BaudRate = defaults.dcb.BaudRate;
    state.ByteSize = defaults.dcb.ByteSize;
    state.Parity = defaults.dcb.Parity;
    state.StopBits = defaults.dcb.StopBits;
    SetCommState(port, &state);
}

// Settings a port may refuse (a device that is not a UART); the link
// carries on without them.
void ConfigurePort(HANDLE port, const char *device)
{
    SetupComm(port, SERIAL_QUEUE_SIZE, SERIAL_QUEUE_SIZE);
    PurgeComm(port, SERIAL_PURGE_ALL);
    COMMTIMEOUTS timeouts = {MAXDWORD, 0, SERIAL_READ_TIMEOUT_MS, 0, SERIAL_WRITE_TIMEOUT_MS};
    SetCommTimeouts(port, &timeouts);
    ApplyDefaultLineSettings(port, device);
}

// The thread is handed the serial block with the window and the settings
// it reads.  It starts suspended so that its id is stored before it can run
// to its end and clear it.
bool StartWatchThread(HWND hwnd, const Settings *settings, SerialBlock *serial)
{
    serial->owner = hwnd;
    serial->settings = settings;
    serial->stopEvent = CreateManualResetEvent();
    if (!serial->stopEvent)
        return false;
    serial->connected = 1;
    DWORD id = 0;
    HANDLE thread = CreateThread(NULL, 0, CommWatchThread, serial, CREATE_SUSPENDED, &id);
    if (!thread) {
        serial->connected = 0;
        return false;
    }
    serial->watchThread = thread;
    serial->watchThreadId = id;
    ResumeThread(thread);
    return true;
}

// Ends the receive thread, waits for it and releases its handle.  The stop
// event stays set, so it also ends a read or a pause that the thread begins
// after it (between its look at the flag and its wait); the thread cancels
// its pending read itself.
void StopWatchThread(SerialBlock *serial)
{
    serial->connected = 0;
    SetEvent(serial->stopEvent);
    if (serial->watchThread)
        WaitForSingleObject(serial->watchThread, INFINITE);
    CloseAndClear(&serial->watchThread);
}

void TraceErrorFlags(HWND hwnd, const char *trace, HANDLE port)
{
    DWORD flags = 0;
    COMSTAT status = {};
    ClearCommError(port, &flags, &status);
    if (flags != 0)
        WriteTraceF(hwnd, trace, "WriteCommBlock error flags CE-%u", (unsigned)flags);
}

}  // namespace

DWORD PortWaitMilliseconds(void)
{
    return EnvironmentNumber(PORT_WAIT_ENV, PORT_WAIT_MS, ENVIRONMENT_WAIT_LIMIT_MS);
}

int OpenCommPort(HWND hwnd, SerialBlock *serial)
{
    const Settings &s = GetInstanceRecord(hwnd)->settings;
    WriteTraceF(hwnd, s.traceFile, "Initialising RS232 Port %d", (int)s.comId);
    Sleep(PortWaitMilliseconds());

    serial->osRead = OVERLAPPED();
    serial->osWrite = OVERLAPPED();
    serial->osRead.hEvent = CreateManualResetEvent();
    if (!serial->osRead.hEvent) {
        WriteTrace(hwnd, s.traceFile, "Unable To Create osRead Event");
        return -1;
    }
    serial->osWrite.hEvent = CreateManualResetEvent();
    if (!serial->osWrite.hEvent) {
        CloseEvents(serial);
        WriteTrace(hwnd, s.traceFile, "Unable To Create osWrite Event");
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
        WriteTrace(hwnd, s.traceFile, "Unable To Open RS232 Port");
        return -1;
    }
    ConfigurePort(serial->portHandle, device);

    if (!StartWatchThread(hwnd, &s, serial)) {
        ClosePortHandle(serial);
        CloseEvents(serial);
        WriteTrace(hwnd, s.traceFile, "Unable To Create RS232 Thread");
        return -1;
    }
    WriteTraceF(hwnd, s.traceFile, "Started CommWatchThread ID 0x%lx", (unsigned long)serial->watchThreadId);
    EscapeCommFunction(serial->portHandle, SETDTR);
    return 0;
}

int CloseCommPort(HWND hwnd, SerialBlock *serial)
{
    const InstanceRecord *record = GetInstanceRecord(hwnd);
    WriteTrace(hwnd, record ? record->settings.traceFile : NULL, "Closing RS232 Port");
    if (IsPortOpen(serial)) {
        StopWatchThread(serial);
        EscapeCommFunction(serial->portHandle, CLRDTR);
        PurgeComm(serial->portHandle, SERIAL_PURGE_ALL);
        ClosePortHandle(serial);
    }
    CloseEvents(serial);
    return 0;
}

int WriteCommBlock(HWND hwnd, const BYTE *bytes, DWORD count)
{
    InstanceRecord *record = GetInstanceRecord(hwnd);
    if (!record || !IsPortOpen(&record->serial))
        return -1;
    SerialBlock *serial = &record->serial;
    const char *trace = record->settings.traceFile;
    DWORD written = 0;
    if (WriteFile(serial->portHandle, bytes, count, &written, &serial->osWrite))
        return 0;
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
        break;
    }
    return 0;
}
