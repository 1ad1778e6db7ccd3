// A port that opens but whose every wait fails at once, as when a line is
// hung up or a USB adapter is pulled out (the rig points the port named by
// HRX_DEAD_LINE_COM at a pty master): the receive thread pauses between
// failures instead of spinning, and the link still closes promptly.
#include "serial_fixture.h"

#include <stdio.h>
#include <stdlib.h>

#include "serial/serial.h"

namespace {

int DeadLineCom()
{
    char value[16];
    DWORD length = GetEnvironmentVariableA("HRX_DEAD_LINE_COM", value, sizeof value);
    return length && length < sizeof value ? atoi(value) : 0;
}

class DeadLine : public SerialFixture {};

TEST_F(DeadLine, ReceiveThreadPausesBetweenFailedWaitsAndClosesPromptly)
{
    int com = DeadLineCom();
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

    Sleep(200);
    HANDLE thread = record->serial.watchThread;
    double processBefore = ProcessCpuMs(), threadBefore = ThreadCpuMs(thread);
    Sleep(kPeriodMs);
    double process = ProcessCpuMs() - processBefore, threadSpent = ThreadCpuMs(thread) - threadBefore;
    printf("over %lu ms on a dead line: process %.1f ms, receive thread %.1f ms\n", (unsigned long)kPeriodMs,
           process, threadSpent);
    EXPECT_NE(record->serial.watchThreadId, 0u) << "the receive thread keeps going";
    EXPECT_LT(process, kPeriodMs * 0.05);
    EXPECT_LT(threadSpent, kPeriodMs * 0.02);

    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&before);
    CloseCommPort(hwnd, &record->serial);
    QueryPerformanceCounter(&after);
    double ms = (after.QuadPart - before.QuadPart) * 1000.0 / frequency.QuadPart;
    printf("CloseCommPort took %.1f ms\n", ms);
    EXPECT_LT(ms, 200.0);
    EXPECT_EQ(record->serial.watchThreadId, 0u);
    EXPECT_EQ(CommandsAfter(50).size(), 0u);
}

}  // namespace
