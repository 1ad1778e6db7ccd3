// Serial link tests: the stand-in main window and the helpers shared by the
// tests (test thread).
#include "serial_fixture.h"

#include <stdio.h>
#include <string.h>

#include "app/text.h"
#include "serial/serial.h"

namespace {

const char kWindowClass[] = "HrxSerialTestWindow";

std::vector<ReceivedCommand> received;
size_t linkLostReports;

ReceivedCommand TakeBlock(HGLOBAL block)
{
    ReceivedCommand command = {};
    command.blockSize = GlobalSize(block);
    const char *bytes = static_cast<const char *>(GlobalLock(block));
    if (bytes) {
        size_t length = strnlen(bytes, command.blockSize);
        command.text.assign(bytes, length);
        command.zeroTail = true;
        for (size_t i = length; i < command.blockSize; i++)
            command.zeroTail = command.zeroTail && bytes[i] == '\0';
        GlobalUnlock(block);
    }
    command.freed = GlobalFree(block) == NULL;
    return command;
}

LRESULT CALLBACK TestWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COMMAND && LOWORD(wParam) == ID_RECEIVED_COMMAND) {
        received.push_back(TakeBlock(reinterpret_cast<HGLOBAL>(lParam)));
        return 0;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == ID_LINK_LOST) {
        linkLostReports++;
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void PumpFor(DWORD periodMs, size_t stopAt)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        DWORD elapsed = GetTickCount() - start;
        if (received.size() >= stopAt || elapsed >= periodMs)
            return;
        MsgWaitForMultipleObjects(0, NULL, FALSE, periodMs - elapsed, QS_ALLINPUT);
    }
}

Lines Texts()
{
    Lines texts;
    for (const ReceivedCommand &command : received)
        texts.push_back(command.text);
    return texts;
}

Lines TraceLines(const std::string &path)
{
    return SplitLines(ReadWholeFile(path), "\r\n");
}

double FileTimeMs(const FILETIME &time)
{
    return (double)(((ULONGLONG)time.dwHighDateTime << 32) | time.dwLowDateTime) / 10000.0;
}

double ThreadCpuMs(HANDLE thread)
{
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(thread, &created, &exited, &kernel, &user))
        return -1;
    return FileTimeMs(kernel) + FileTimeMs(user);
}

}  // namespace

HWND SerialFixture::MakeWindow()
{
    RegisterWindowClass(kWindowClass, TestWindowProc);
    return CreateWindowExA(0, kWindowClass, "serial test", WS_OVERLAPPED, 0, 0, 100, 100, NULL, NULL,
                           GetModuleHandleA(NULL), NULL);
}

void SerialFixture::SetUp()
{
    received.clear();
    linkLostReports = 0;
    SetEnvironmentVariableA(PORT_WAIT_ENV, "0");
    RecordWindowTest::SetUp();
    tracePath = WorkPath(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".txt";
    CopyText(record->settings.traceFile, sizeof record->settings.traceFile, tracePath.c_str());
    ClearTrace();
}

void SerialFixture::TearDown()
{
    if (hwnd)
        CloseCommPort(hwnd, &record->serial);
    PumpFor(0, 0);
    for (const ReceivedCommand &command : received) {
        EXPECT_EQ(command.blockSize, (SIZE_T)COMMAND_BLOCK_SIZE) << command.text;
        EXPECT_TRUE(command.zeroTail) << command.text;
        EXPECT_TRUE(command.freed) << command.text;
    }
    RecordWindowTest::TearDown();
}

size_t SerialFixture::LinkLostReports()
{
    PumpFor(0, 0);
    return linkLostReports;
}

Lines SerialFixture::WaitForCommands(size_t count, DWORD timeoutMs)
{
    PumpFor(timeoutMs, count);
    return Texts();
}

Lines SerialFixture::CommandsAfter(DWORD periodMs)
{
    PumpFor(periodMs, (size_t)-1);
    return Texts();
}

void SerialFixture::ForgetReceived()
{
    received.clear();
}

Lines SerialFixture::TraceMessages() const
{
    Lines messages;
    for (const std::string &line : TraceLines(tracePath))
        messages.push_back(TraceMessage(line));
    return messages;
}

std::vector<long> SerialFixture::TraceTimes() const
{
    std::vector<long> times;
    for (const std::string &line : TraceLines(tracePath)) {
        unsigned hours = 0, minutes = 0, seconds = 0, ms = 0;
        EXPECT_EQ(sscanf(line.c_str(), "%*2u/%*2u/%*2u %2u:%2u:%2u.%3u", &hours, &minutes, &seconds, &ms), 4)
            << line;
        times.push_back(((hours * 60L + minutes) * 60L + seconds) * 1000L + ms);
    }
    return times;
}

void SerialFixture::ClearTrace()
{
    DeleteFileA(tracePath.c_str());
}

SerialFixture::CpuTime SerialFixture::ReceiveThreadCpu(DWORD periodMs)
{
    Sleep(200);
    HANDLE thread = record->serial.watchThread;
    double process = ProcessCpuMs(), threadStart = ThreadCpuMs(thread);
    EXPECT_GE(threadStart, 0.0) << "the receive thread's processor time";
    Sleep(periodMs);
    return CpuTime{ProcessCpuMs() - process, ThreadCpuMs(thread) - threadStart};
}

double SerialFixture::ClosingMs()
{
    double start = ClockMs();
    CloseCommPort(hwnd, &record->serial);
    return ClockMs() - start;
}

HANDLE OpenControllerEnd(int com)
{
    char name[32];
    snprintf(name, sizeof name, "\\\\.\\COM%d", com);
    HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (port != INVALID_HANDLE_VALUE) {
        COMMTIMEOUTS timeouts = {MAXDWORD, 0, 1000, 0, 1000};
        SetCommTimeouts(port, &timeouts);
    }
    return port;
}

void ControllerWrite(HANDLE controller, const std::string &bytes)
{
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(controller, bytes.data(), (DWORD)bytes.size(), &written, NULL)) << GetLastError();
    ASSERT_EQ(written, (DWORD)bytes.size());
}

std::string ControllerRead(HANDLE controller, DWORD count)
{
    std::string bytes(count, '\0');
    DWORD read = 0;
    if (!ReadFile(controller, &bytes[0], count, &read, NULL))
        read = 0;
    bytes.resize(read);
    return bytes;
}

double ProcessCpuMs()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return -1;
    return FileTimeMs(kernel) + FileTimeMs(user);
}

std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (int value : values)
        bytes += static_cast<char>(value);
    return bytes;
}
