// Bench rig acceptance: the show controller's line (COM5, joined to COM15 by
// the rig), the DTR line as the controller sees it, and the fake CD tray.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>
#include <stdio.h>
#include <string>
#include <vector>

namespace {

HANDLE OpenPort(const char *name, bool overlapped)
{
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | (overlapped ? FILE_FLAG_OVERLAPPED : 0), NULL);
}

std::string ReadTextFile(const std::string &path)
{
    std::string text;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return text;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    fclose(f);
    return text;
}

std::string EnvOrEmpty(const char *name)
{
    char value[MAX_PATH];
    DWORD len = GetEnvironmentVariableA(name, value, sizeof value);
    return len && len < sizeof value ? std::string(value) : std::string();
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
    std::string modem = EnvOrEmpty("HALCYRA_RIG_MODEM_COM5");
    ASSERT_FALSE(modem.empty()) << "the rig names the modem file of COM5";
    Ports ports;
    ports.player = OpenPort("\\\\.\\COM5", true);
    ASSERT_NE(ports.player, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(EscapeCommFunction(ports.player, SETDTR));
    EXPECT_EQ(ReadTextFile(modem).substr(0, 5), "DTR=1");
    ASSERT_TRUE(EscapeCommFunction(ports.player, CLRDTR));
    EXPECT_EQ(ReadTextFile(modem).substr(0, 5), "DTR=0");
}

std::vector<std::string> MciLogAfter(const std::vector<const char *> &commands)
{
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(sizeof cwd, cwd);
    std::string log = std::string(cwd) + "\\tray.log";
    DeleteFileA(log.c_str());
    SetEnvironmentVariableA("HALCYRA_RIG_MCI_LOG", log.c_str());
    for (const char *command : commands) {
        char reply[256] = "";
        EXPECT_EQ(mciSendStringA(command, reply, sizeof reply, NULL), 0u) << command;
    }
    std::vector<std::string> lines;
    std::string text = ReadTextFile(log);
    size_t start = 0, end;
    while ((end = text.find('\n', start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

TEST(RigCdTray, DoorRequestsReachTheFakeDriver)
{
    EXPECT_EQ(MciLogAfter({"open cdaudio", "set cdaudio door open", "close cdaudio"}),
              (std::vector<std::string>{"open", "set door open", "close"}));
    EXPECT_EQ(MciLogAfter({"open cdaudio", "set cdaudio door closed", "close cdaudio"}),
              (std::vector<std::string>{"open", "set door closed", "close"}));
}

}  // namespace
