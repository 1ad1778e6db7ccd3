// Serial link to the show controller: the port, its receive thread, the
// framing of received bytes into commands, and the blocking reply write.
// Open, close and write run on the main thread; CommWatchThread,
// ReadCommBlock and DeliverCommBlock on the receive thread.
#ifndef HRX_SERIAL_SERIAL_H
#define HRX_SERIAL_SERIAL_H

#include <windows.h>

#include <atomic>

struct Settings;

// The serial block of the instance record.  It is the receive thread's
// argument: owner and settings are set before the thread starts, and the
// settings they point to change only while no receive thread runs.
struct SerialBlock {
    OVERLAPPED osRead;
    OVERLAPPED osWrite;
    HANDLE portHandle;                    // INVALID_HANDLE_VALUE or 0 when closed
    std::atomic<DWORD> watchThreadId;     // 0 when no receive thread runs
    HANDLE watchThread;                   // released by CloseCommPort
    std::atomic<LONG> connected;          // 1 while the receive thread is to run
    std::atomic<DWORD> lostError;         // set by the receive thread when its reads fail for good
    HANDLE stopEvent;                     // set with connected cleared: wakes the thread's waits
    HWND owner;                           // the window received commands go to
    const Settings *settings;             // protocol and trace file
};

// WM_COMMAND identifier of a received command; lParam is a 256-byte
// GlobalAlloc block holding the command text, owned by the receiver.
#define ID_RECEIVED_COMMAND 1000
// WM_COMMAND identifier posted once when the open link's reads have failed
// for good (an adapter pulled out); TakeLostLinkError tells the error.
#define ID_LINK_LOST 1001
#define COMMAND_BLOCK_SIZE 256

#define SERIAL_QUEUE_SIZE 4096
#define SERIAL_RECEIVE_BUFFER 4096
#define NATIVE_LINE_CAPACITY 1024
#define SERIAL_READ_TIMEOUT_MS 1000
#define SERIAL_WRITE_TIMEOUT_MS 1000
#define SERIAL_PURGE_ALL (PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)
#define PORT_WAIT_MS 10000
// Replaces the wait before the port opens (bench rig and tests).
#define PORT_WAIT_ENV "HALCYRA_PORT_WAIT_MS"

// A receive thread whose reads fail this many times in a row pauses before
// it reads again; closing the link ends the pause.  After the longer run
// of failures (about a second) it reports the link lost, and pauses on.
#define SERIAL_IDLE_ROUNDS_BEFORE_PAUSE 2
#define SERIAL_PAUSE_MS 50
#define SERIAL_FAILED_READS_BEFORE_LOSS 20
// Closing the link waits this long at most for the receive thread to end.
#define SERIAL_STOP_WAIT_MS 2000

// Main thread: waits, opens the port of the window's settings, configures
// it (tracing its flow control), starts the receive thread and raises DTR.
// 0 when the link is open, -1 (traced) when it is not.
int OpenCommPort(HWND hwnd, SerialBlock *serial);
// Main thread: the retry of a port that could not be opened or was lost:
// opens it at once, without the wait, and traces nothing unless it opens
// (then as OpenCommPort does).  0 when the link is open, else -1.
int ReopenCommPort(HWND hwnd, SerialBlock *serial);
// Main thread: stops the receive thread (waiting SERIAL_STOP_WAIT_MS at
// most, traced when it does not end), lowers DTR and closes the port; safe
// on a closed link.  Always 0.
int CloseCommPort(HWND hwnd, SerialBlock *serial);
// Main thread: the Win32 error of the open link's reads once they have
// failed for good (the receive thread posted ID_LINK_LOST), 0 when they
// have not or the link is closed.  Taken once.
DWORD TakeLostLinkError(SerialBlock *serial);
// Main thread: writes the bytes and waits until they are sent.  -1 when the
// link is closed or the write is refused at once, else 0 (a failed wait and
// a write that sent fewer bytes are traced).
int WriteCommBlock(HWND hwnd, const BYTE *bytes, DWORD count);
// Receive thread's procedure; its argument is the serial block.  Returns 0
// once the link closes.
DWORD WINAPI CommWatchThread(LPVOID serialBlock);
// Receive thread: reads what the port has queued, at most maxCount bytes.
// The number of bytes read; 0 when none were queued or the read failed.
int ReadCommBlock(SerialBlock *serial, BYTE *buffer, DWORD maxCount);
// Receive thread: frames received bytes by the settings' protocol and posts
// the commands to the window.  Returns the number of commands posted.
int DeliverCommBlock(HWND hwnd, const Settings &settings, const BYTE *bytes, DWORD count);

// Main thread (opening the port): the state the link runs the port with.
// The baud rate, byte size, parity and stop bits come from defaults (Windows'
// default configuration of the port) unless it is null; binary mode is set
// and abort-on-error cleared (with it set, one line error fails every read
// and write until the error is cleared); flow control and every other field
// stay as the port has them.
void AdjustCommState(DCB *state, const DCB *defaults);
// Any thread: the port's flow control as its trace line names it: "None",
// or the handshakes in use, such as "RTS/CTS" or "CTS out, XON/XOFF".
#define FLOW_CONTROL_TEXT_SIZE 96
void DescribeFlowControl(const DCB &state, char *text, size_t size);

// Main thread (from OpenCommPort): the wait before the port opens,
// PORT_WAIT_MS or the decimal number of milliseconds in the PORT_WAIT_ENV
// environment variable.
DWORD PortWaitMilliseconds(void);

#endif
