// Bench rig acceptance: the show controller's line (COM5, joined to COM15 by
// the rig), the DTR line as the controller sees it, and the fake CD tray.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>
#include <string>
#include <vector>

#include "testfiles.h"

namespace {

HANDLE OpenPort(const char *name, bool overlapped)
{
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | (overlapped ? FILE_FLAG_OVERLAPPED : 0), NULL);
}

struct Ports {
    HANDLE player = INVALID_HANDLE_VALUE;
    HANDLE controller = INVALID_HANDLE_VALUE;
    ~Ports()
    {
        if (player != INVALID_HANDLE_VALUE) CloseHandle(player);
        if (controller != INVALID_HANDLE_VALUE) CloseHandle(controller);
    }
};

TEST(RigSerialLine, WaitBlocksUntilControllerSendsAndAnswerArrives)
{
    Ports ports;
    ports.player = OpenPort("\\\\.\\COM5", true);
    ASSERT_NE(ports.player, INVALID_HANDLE_VALUE) << GetLastError();
    ports.controller = OpenPort("\\\\.\\COM15", false);
    ASSERT_NE(ports.controller, INVALID_HANDLE_VALUE) << GetLastError();
    COMMTIMEOUTS timeouts = {MAXDWORD, 0, 2000, 0, 2000};
    ASSERT_TRUE(SetCommTimeouts(ports.controller, &timeouts));
    ASSERT_TRUE(SetCommTimeouts(ports.player, &timeouts));

    ASSERT_TRUE(SetCommMask(ports.player, EV_RXCHAR));
    OVERLAPPED wait = {};
    wait.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    DWORD mask = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    BOOL done = WaitCommEvent(ports.player, &mask, &wait);
    ASSERT_FALSE(done) << "the wait ended at once, mask " << mask;
    ASSERT_EQ(GetLastError(), (DWORD)ERROR_IO_PENDING);
    EXPECT_EQ(WaitForSingleObject(wait.hEvent, 300), (DWORD)WAIT_TIMEOUT)
        << "the wait must block while the controller is silent";

    BYTE command = 0x43;
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(ports.controller, &command, 1, &count, NULL));
    ASSERT_EQ(WaitForSingleObject(wait.hEvent, 2000), (DWORD)WAIT_OBJECT_0);
    ASSERT_TRUE(GetOverlappedResult(ports.player, &wait, &count, FALSE));
    EXPECT_TRUE(mask & EV_RXCHAR) << mask;

    OVERLAPPED io = {};
    io.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    BYTE received = 0;
    if (!ReadFile(ports.player, &received, 1, &count, &io))
        ASSERT_TRUE(GetOverlappedResult(ports.player, &io, &count, TRUE));
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(received, 0x43);

    BYTE answer = 0x0A;
    ResetEvent(io.hEvent);
    if (!WriteFile(ports.player, &answer, 1, &count, &io))
        ASSERT_TRUE(GetOverlappedResult(ports.player, &io, &count, TRUE));
    BYTE seen = 0;
    ASSERT_TRUE(ReadFile(ports.controller, &seen, 1, &count, NULL));
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(seen, 0x0A);
    CloseHandle(wait.hEvent);
    CloseHandle(io.hEvent);
}

TEST(RigSerialLine, ControllerSeesDtrRaisedAndLowered)
{
    ASSERT_NE(EnvironmentText("HALCYRA_RIG_MODEM_COM5"), "") << "the rig names the modem file of COM5";
    Ports ports;
    ports.player = OpenPort("\\\\.\\COM5", true);
    ASSERT_NE(ports.player, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(EscapeCommFunction(ports.player, SETDTR));
    EXPECT_EQ(DtrOfPort(5), "DTR=1");
    ASSERT_TRUE(EscapeCommFunction(ports.player, CLRDTR));
    EXPECT_EQ(DtrOfPort(5), "DTR=0");
}

Lines MciLogAfter(const std::vector<const char *> &commands)
{
    ResetTrayLog();
    for (const char *command : commands) {
        char reply[256] = "";
        EXPECT_EQ(mciSendStringA(command, reply, sizeof reply, NULL), 0u) << command;
    }
    return TrayRequests();
}

TEST(RigCdTray, DoorRequestsReachTheFakeDriver)
{
    EXPECT_EQ(MciLogAfter({"open cdaudio", "set cdaudio door open", "close cdaudio"}),
              (Lines{"open", "set door open", "close"}));
    EXPECT_EQ(MciLogAfter({"open cdaudio", "set cdaudio door closed", "close cdaudio"}),
              (Lines{"open", "set door closed", "close"}));
}

}  // namespace
