// Serial link tests: a stand-in main window whose user data is an instance
// record and whose window procedure records every received command, the
// trace log of a test, the controller's end of the line, processor time, and
// replacing an imported function of this program for a test.
#ifndef HRX_TESTS_SERIAL_FIXTURE_H
#define HRX_TESTS_SERIAL_FIXTURE_H

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/instance.h"

// One ID_RECEIVED_COMMAND as the window received it.
struct ReceivedCommand {
    std::string text;      // up to the terminator
    SIZE_T blockSize;      // GlobalSize of the block
    bool zeroTail;         // every byte after the terminator is zero
    bool freed;            // GlobalFree succeeded
};

class SerialFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Pumps the window's messages until count commands have arrived in all
    // or timeoutMs has passed; returns the texts received so far.
    std::vector<std::string> WaitForCommands(size_t count, DWORD timeoutMs = 3000);
    // Pumps for periodMs and returns the texts received so far.
    std::vector<std::string> CommandsAfter(DWORD periodMs);
    const std::vector<ReceivedCommand> &Received() const;
    void ForgetReceived();

    // The messages of the trace log, without their time stamps.
    std::vector<std::string> TraceMessages() const;
    // The time of day of each trace line, in milliseconds.
    std::vector<long> TraceTimes() const;
    void ClearTrace();

    HWND hwnd = NULL;
    InstanceRecord *record = nullptr;
    std::string tracePath;
};

// The controller's end of the rig's line: COM<n> opened for plain blocking
// writes and reads.
HANDLE OpenControllerEnd(int com);
void ControllerWrite(HANDLE controller, const std::string &bytes);
// Reads up to count bytes, waiting at most about a second.
std::string ControllerRead(HANDLE controller, DWORD count);

// "DTR=n" as the rig's shim last saw the player set it on COM<com>, or ""
// when the rig names no file or nothing was written yet.
std::string DtrOfPort(int com);

// Processor time (kernel and user) in milliseconds.
double ProcessCpuMs();
double ThreadCpuMs(HANDLE thread);

std::string Bytes(std::initializer_list<int> values);

// Points this program's import of dll!function at replacement until it is
// destroyed.
class ImportPatch {
public:
    ImportPatch(const char *dll, const char *function, void *replacement);
    ~ImportPatch();
    bool Applied() const { return slot_ != nullptr; }

private:
    void **slot_ = nullptr;
    void *original_ = nullptr;
};

#endif
