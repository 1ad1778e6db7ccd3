// A port that stays open but whose every read fails at once, as when a line
// is hung up or a USB adapter is pulled out (the rig hangs up the line of
// the port named by HRX_DEAD_LINE_COM once DTR is raised on it): the receive
// thread pauses between failures instead of spinning, reports the link lost
// to the window, and the link still closes promptly.
#include "serial_fixture.h"

#include <stdlib.h>

#include "serial/serial.h"

namespace {

class DeadLine : public SerialFixture {};

// How long a read of one byte of the test's own took to fail; -1 when it
// read a byte or ended at the port's read time-out.
double FailedReadMs(HANDLE port)
{
    OVERLAPPED read = {};
    read.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    BYTE byte;
    DWORD count = 0;
    double start = ClockMs();
    BOOL done = ReadFile(port, &byte, 1, &count, &read);
    if (!done && GetLastError() == ERROR_IO_PENDING)
        done = GetOverlappedResult(port, &read, &count, TRUE);
    double took = ClockMs() - start;
    CloseHandle(read.hEvent);
    return done || read.Internal == STATUS_TIMEOUT ? -1 : took;
}

TEST_F(DeadLine, ReceiveThreadPausesBetweenFailedWaitsAndClosesPromptly)
{
    int com = atoi(EnvironmentText("HRX_DEAD_LINE_COM").c_str());
    if (com == 0)
        GTEST_SKIP() << "HRX_DEAD_LINE_COM is not set: run through dead_line.py";
    const DWORD kPeriodMs = 3000;
    record->settings.comId = com;
    record->settings.protocol = PROTOCOL_SONY_LDP;
    ASSERT_EQ(OpenCommPort(hwnd, &record->serial), 0);

    // The line really is dead once hung up: a read of the test's own fails
    // at once.
    double failedMs = -1;
    for (double deadline = ClockMs() + 5000; failedMs < 0 && ClockMs() < deadline;)
        failedMs = FailedReadMs(record->serial.portHandle);
    ASSERT_GE(failedMs, 0.0) << "the line was not hung up";
    EXPECT_LT(failedMs, 100.0);

    CpuTime spent = ReceiveThreadCpu(kPeriodMs);
    EXPECT_NE(record->serial.watchThreadId, 0u) << "the receive thread keeps going";
    EXPECT_LT(spent.process, kPeriodMs * 0.05);
    EXPECT_LT(spent.thread, kPeriodMs * 0.02);
    // A second of failed reads is a lost link, told to the window once.
    EXPECT_EQ(LinkLostReports(), 1u);
    EXPECT_NE(TakeLostLinkError(&record->serial), 0u);
    EXPECT_EQ(TakeLostLinkError(&record->serial), 0u) << "taken once";

    EXPECT_LT(ClosingMs(), 200.0);
    EXPECT_EQ(record->serial.watchThreadId, 0u);
    EXPECT_EQ(CommandsAfter(50).size(), 0u);
}

}  // namespace
