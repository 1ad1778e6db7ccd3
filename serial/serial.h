// Serial link to the show controller: the port, its receive thread, the
// framing of received bytes into commands, and the blocking reply write.
// Open, close and write run on the main thread; CommWatchThread,
// ReadCommBlock and DeliverCommBlock on the receive thread.
#ifndef HRX_SERIAL_SERIAL_H
#define HRX_SERIAL_SERIAL_H

#include <windows.h>

#include <atomic>

// The serial block of the instance record.
struct SerialBlock {
    OVERLAPPED osRead;
    OVERLAPPED osWrite;
    HANDLE portHandle;                    // INVALID_HANDLE_VALUE or 0 when closed
    std::atomic<DWORD> watchThreadId;     // 0 when no receive thread runs
    HANDLE watchThread;
    std::atomic<LONG> connected;          // 1 while the receive thread is to run
};

// WM_COMMAND identifier of a received command; lParam is a 256-byte
// GlobalAlloc block holding the command text, owned by the receiver.
#define ID_RECEIVED_COMMAND 1000
#define COMMAND_BLOCK_SIZE 256

#define SERIAL_QUEUE_SIZE 4096
#define SERIAL_RECEIVE_BUFFER 4096
#define NATIVE_LINE_CAPACITY 1024
#define PORT_WAIT_MS 10000
// Replaces the wait before the port opens (bench rig and tests).
#define PORT_WAIT_ENV "HALCYRA_PORT_WAIT_MS"

int OpenCommPort(HWND hwnd, SerialBlock *serial);
int CloseCommPort(HWND hwnd, SerialBlock *serial);
int WriteCommBlock(HWND hwnd, const BYTE *bytes, DWORD count);
DWORD WINAPI CommWatchThread(LPVOID param);
int ReadCommBlock(HWND hwnd, BYTE *buffer, DWORD maxCount);
int DeliverCommBlock(HWND hwnd, const BYTE *bytes, DWORD count);

#endif
