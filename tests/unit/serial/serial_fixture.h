// Serial link tests: a stand-in main window whose user data is an instance
// record and whose window procedure records every received command, the
// trace log of a test, the controller's end of the line, processor time and
// the time a close takes.
#ifndef HRX_TESTS_SERIAL_FIXTURE_H
#define HRX_TESTS_SERIAL_FIXTURE_H

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/instance.h"
#include "importpatch.h"
#include "recordwindow.h"
#include "testfiles.h"

// One ID_RECEIVED_COMMAND as the window received it.
struct ReceivedCommand {
    std::string text;      // up to the terminator
    SIZE_T blockSize;      // GlobalSize of the block
    bool zeroTail;         // every byte after the terminator is zero
    bool freed;            // GlobalFree succeeded
};

class SerialFixture : public RecordWindowTest {
protected:
    void SetUp() override;
    void TearDown() override;
    HWND MakeWindow() override;

    // Pumps the window's messages until count commands have arrived in all
    // or timeoutMs has passed; returns the texts received so far.
    Lines WaitForCommands(size_t count, DWORD timeoutMs = 3000);
    // Pumps for periodMs and returns the texts received so far.
    Lines CommandsAfter(DWORD periodMs);
    void ForgetReceived();
    // The ID_LINK_LOST reports the window has received, its queue served.
    size_t LinkLostReports();

    // The messages of the trace log, without their time stamps.
    Lines TraceMessages() const;
    // The time of day of each trace line, in milliseconds.
    std::vector<long> TraceTimes() const;
    void ClearTrace();

    // Processor time, in milliseconds, that the process and the receive
    // thread spend over periodMs, once the thread has settled.
    struct CpuTime {
        double process, thread;
    };
    CpuTime ReceiveThreadCpu(DWORD periodMs);
    // Closes the port; returns how long CloseCommPort took, in milliseconds.
    double ClosingMs();

    std::string tracePath;
};

// The controller's end of the rig's line: COM<n> opened for plain blocking
// writes and reads.
HANDLE OpenControllerEnd(int com);
void ControllerWrite(HANDLE controller, const std::string &bytes);
// Reads up to count bytes, waiting at most about a second.
std::string ControllerRead(HANDLE controller, DWORD count);

// Processor time (kernel and user) of the process in milliseconds.
double ProcessCpuMs();

std::string Bytes(std::initializer_list<int> values);

#endif
