// A port that opens but whose every wait fails at once, as when a line is
// hung up or a USB adapter is pulled out (the rig points the port named by
// HRX_DEAD_LINE_COM at a pty master): the receive thread pauses between
// failures instead of spinning, and the link still closes promptly.
#include "serial_fixture.h"

#include <stdlib.h>

#include "serial/serial.h"

namespace {

class DeadLine : public SerialFixture {};

TEST_F(DeadLine, ReceiveThreadPausesBetweenFailedWaitsAndClosesPromptly)
{
    int com = atoi(EnvironmentText("HRX_DEAD_LINE_COM").c_str());
    if (com == 0)
        GTEST_SKIP() << "HRX_DEAD_LINE_COM is not set: run through dead_line.py";
    const DWORD kPeriodMs = 3000;
    record->settings.comId = com;
    record->settings.protocol = PROTOCOL_SONY_LDP;
    ASSERT_EQ(OpenCommPort(hwnd, &record->serial), 0);

    // The port really is dead: a wait of its own ends at once.
    OVERLAPPED wait = {};
    wait.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    DWORD mask = 0, unused = 0;
    DWORD start = GetTickCount();
    BOOL done = WaitCommEvent(record->serial.portHandle, &mask, &wait);
    if (!done && GetLastError() == ERROR_IO_PENDING)
        done = GetOverlappedResult(record->serial.portHandle, &wait, &unused, TRUE);
    EXPECT_LT(GetTickCount() - start, 500u);
    EXPECT_EQ(mask & EV_RXCHAR, 0u);
    CloseHandle(wait.hEvent);

    CpuTime spent = ReceiveThreadCpu(kPeriodMs);
    EXPECT_NE(record->serial.watchThreadId, 0u) << "the receive thread keeps going";
    EXPECT_LT(spent.process, kPeriodMs * 0.05);
    EXPECT_LT(spent.thread, kPeriodMs * 0.02);

    EXPECT_LT(ClosingMs(), 200.0);
    EXPECT_EQ(record->serial.watchThreadId, 0u);
    EXPECT_EQ(CommandsAfter(50).size(), 0u);
}

}  // namespace
