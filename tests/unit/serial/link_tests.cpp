// The link over the bench rig's line: COM3 and COM11 are the player's ports,
// joined to COM13 and COM15, the controller's ends.  Opening by comId, the
// missing port, DTR, both framings end to end, replies, closing, and the
// processor time of an idle receive thread.
#include "serial_fixture.h"

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "serial/serial.h"

namespace {

const int kPlayerCom = 3;
const int kControllerCom = 13;

class Link : public SerialFixture {
protected:
    void SetUp() override
    {
        SerialFixture::SetUp();
        controller = OpenControllerEnd(kControllerCom);
        ASSERT_NE(controller, INVALID_HANDLE_VALUE) << "the rig joins COM3 to COM13: " << GetLastError();
        record->settings.comId = kPlayerCom;
    }

    void TearDown() override
    {
        if (controller != INVALID_HANDLE_VALUE)
            CloseHandle(controller);
        SerialFixture::TearDown();
    }

    void Open()
    {
        ASSERT_EQ(OpenCommPort(hwnd, &record->serial), 0) << "trace: " << ::testing::PrintToString(TraceMessages());
    }

    HANDLE controller = INVALID_HANDLE_VALUE;
};

void ExpectClosed(const SerialBlock &serial)
{
    EXPECT_EQ(serial.portHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(serial.watchThreadId, 0u);
    EXPECT_EQ(serial.watchThread, (HANDLE)NULL);
    EXPECT_EQ(serial.connected, 0);
    EXPECT_EQ(serial.stopEvent, (HANDLE)NULL);
    EXPECT_EQ(serial.osRead.hEvent, (HANDLE)NULL);
    EXPECT_EQ(serial.osWrite.hEvent, (HANDLE)NULL);
}

std::string StartedLine(DWORD threadId)
{
    char line[64];
    snprintf(line, sizeof line, "Started CommWatchThread ID 0x%lx", (unsigned long)threadId);
    return line;
}

TEST_F(Link, OpensThePortNamedByComIdAndCarriesBothWays)
{
    const struct {
        int player, controller;
    } ports[] = {{3, 13}, {11, 15}};
    record->settings.protocol = PROTOCOL_SONY_LDP;
    CloseHandle(controller);
    controller = INVALID_HANDLE_VALUE;
    for (const auto &p : ports) {
        SCOPED_TRACE(testing::Message() << "COM" << p.player);
        ForgetReceived();
        ClearTrace();
        HANDLE farEnd = OpenControllerEnd(p.controller);
        ASSERT_NE(farEnd, INVALID_HANDLE_VALUE) << GetLastError();
        record->settings.comId = p.player;
        ASSERT_EQ(OpenCommPort(hwnd, &record->serial), 0);
        const SerialBlock &serial = record->serial;
        DWORD threadId = serial.watchThreadId;
        EXPECT_NE(threadId, 0u);
        EXPECT_NE(serial.watchThread, (HANDLE)NULL);
        EXPECT_EQ(serial.connected, 1);
        EXPECT_NE(serial.osRead.hEvent, (HANDLE)NULL);
        EXPECT_NE(serial.osWrite.hEvent, (HANDLE)NULL);
        EXPECT_NE(serial.osRead.hEvent, serial.osWrite.hEvent);
        EXPECT_NE(serial.stopEvent, (HANDLE)NULL);

        char expected = static_cast<char>('0' + p.player % 10);
        ControllerWrite(farEnd, std::string(1, expected));
        EXPECT_EQ(WaitForCommands(1), Lines{std::string(1, expected)});

        const BYTE reply[] = {0x0A, 0x01, 0x0B, 0x05};
        EXPECT_EQ(WriteCommBlock(hwnd, reply, sizeof reply), 0);
        EXPECT_EQ(ControllerRead(farEnd, 4), Bytes({0x0A, 0x01, 0x0B, 0x05}));

        CloseCommPort(hwnd, &record->serial);
        ExpectClosed(serial);
        char initialising[64];
        snprintf(initialising, sizeof initialising, "Initialising RS232 Port %d", p.player);
        Lines opening = {initialising};
        // Wine keeps a default configuration for COM1 to COM9 only.
        if (p.player > 9)
            opening.push_back("GetDefaultCommConfig error CE-1010");
        opening.insert(opening.end(), {"RS232 Flow Control None", StartedLine(threadId), "Closing RS232 Port"});
        EXPECT_EQ(TraceMessages(), opening);
        CloseHandle(farEnd);
    }
}

TEST_F(Link, MissingPortFailsAfterTheWait)
{
    const int kMissing = 20;  // the rig maps COM1 to COM16 only
    record->settings.comId = kMissing;
    SetEnvironmentVariableA(PORT_WAIT_ENV, "400");
    double start = ClockMs();
    EXPECT_EQ(OpenCommPort(hwnd, &record->serial), -1);
    EXPECT_GE(ClockMs() - start, 390.0);
    EXPECT_EQ(TraceMessages(), (Lines{"Initialising RS232 Port 20", "Unable To Open RS232 Port"}));
    std::vector<long> times = TraceTimes();
    ASSERT_EQ(times.size(), 2u);
    EXPECT_GE(times[1] - times[0], 390) << "the port is tried only after the wait";
    ExpectClosed(record->serial);

    const BYTE ack = 0x0A;
    EXPECT_EQ(WriteCommBlock(hwnd, &ack, 1), -1) << "nothing to write to";
    CloseCommPort(hwnd, &record->serial);
    CloseCommPort(hwnd, &record->serial);
    ExpectClosed(record->serial);
    EXPECT_EQ(TraceMessages(), (Lines{"Initialising RS232 Port 20", "Unable To Open RS232 Port",
                                      "Closing RS232 Port", "Closing RS232 Port"}));
}

TEST_F(Link, NeverOpenedRecordClosesHarmlessly)
{
    record->serial.portHandle = NULL;
    CloseCommPort(hwnd, &record->serial);
    const BYTE ack = 0x0A;
    EXPECT_EQ(WriteCommBlock(hwnd, &ack, 1), -1);
    EXPECT_EQ(TraceMessages(), Lines{"Closing RS232 Port"});
}

TEST_F(Link, DtrIsRaisedWhileOpenAndLoweredAfterClose)
{
    ASSERT_NE(EnvironmentText("HALCYRA_RIG_MODEM_COM3"), "") << "the rig names the modem file of COM3";
    for (int round = 0; round < 2; round++) {
        SCOPED_TRACE(round);
        Open();
        EXPECT_EQ(DtrOfPort(kPlayerCom), "DTR=1");
        CloseCommPort(hwnd, &record->serial);
        EXPECT_EQ(DtrOfPort(kPlayerCom), "DTR=0");
    }
}

TEST_F(Link, SonyLdpCommandsArriveInOrder)
{
    record->settings.protocol = PROTOCOL_SONY_LDP;
    Open();
    ControllerWrite(controller, Bytes({0x43, 0x31, 0x40}));
    EXPECT_EQ(WaitForCommands(3), (Lines{"C", "1", "@"}));

    ForgetReceived();
    ControllerWrite(controller, Bytes({0x00}));
    EXPECT_EQ(WaitForCommands(1), Lines{""});

    ForgetReceived();
    for (int b : {0x43, 0x31, 0x40}) {
        ControllerWrite(controller, Bytes({b}));
        Sleep(30);
    }
    EXPECT_EQ(WaitForCommands(3), (Lines{"C", "1", "@"}));

    // Every byte value crosses the line untranslated, in order.
    ForgetReceived();
    std::string every;
    Lines expected;
    for (int b = 0; b < 256; b++) {
        every += static_cast<char>(b);
        expected.push_back(b == 0 ? std::string() : std::string(1, static_cast<char>(b)));
    }
    for (size_t at = 0; at < every.size(); at += 64) {
        ControllerWrite(controller, every.substr(at, 64));
        Sleep(20);
    }
    EXPECT_EQ(WaitForCommands(256), expected);
    EXPECT_EQ(CommandsAfter(100).size(), 256u);
    EXPECT_EQ(TraceMessages().size(), 3u) << "only the opening lines";
}

TEST_F(Link, NativeLinesArriveAsCommands)
{
    record->settings.protocol = PROTOCOL_NATIVE;
    Open();
    DWORD threadId = record->serial.watchThreadId;
    ControllerWrite(controller, "PL\r\n");
    EXPECT_EQ(WaitForCommands(1), Lines{"PL"});

    ForgetReceived();
    ControllerWrite(controller, "S");
    Sleep(50);
    ControllerWrite(controller, "A");
    Sleep(50);
    ControllerWrite(controller, "\r");
    EXPECT_EQ(WaitForCommands(1), Lines{"SA"});

    ForgetReceived();
    ControllerWrite(controller, std::string(300, 'x') + "\r");
    EXPECT_EQ(WaitForCommands(1), Lines{std::string(255, 'x')});

    ForgetReceived();
    ControllerWrite(controller, "\n");
    Sleep(100);
    ControllerWrite(controller, "OP" + Bytes({0x80}));
    EXPECT_EQ(WaitForCommands(1), Lines{"OP"});
    EXPECT_EQ(CommandsAfter(100), Lines{"OP"}) << "the lone LF posted nothing";

    EXPECT_EQ(TraceMessages(), (Lines{"Initialising RS232 Port 3", "RS232 Flow Control None", StartedLine(threadId),
                                      "Received cmd <PL>", "Received cmd <SA>",
                                      "Received cmd <" + std::string(300, 'x') + ">", "Received cmd <>",
                                      "Received cmd <OP>"}));
}

TEST_F(Link, ClosingWhileTheControllerIsSilentIsPrompt)
{
    record->settings.protocol = PROTOCOL_SONY_LDP;
    for (int round = 0; round < 3; round++) {
        SCOPED_TRACE(round);
        Open();
        Sleep(300);
        ASSERT_NE(record->serial.watchThreadId, 0u) << "the receive thread is waiting";
        EXPECT_LT(ClosingMs(), 200.0);
        ExpectClosed(record->serial);
    }
}

// Closing may catch the receive thread anywhere: starting up, or between
// its look at the closing flag and its next wait.
TEST_F(Link, ClosingAtOnceAfterOpeningIsPrompt)
{
    record->settings.protocol = PROTOCOL_SONY_LDP;
    for (int round = 0; round < 200; round++) {
        Open();
        if (round % 2)
            ControllerWrite(controller, Bytes({0x3F}));
        ASSERT_LT(ClosingMs(), 200.0) << "round " << round;
        ExpectClosed(record->serial);
    }
}

// The receive thread's read of one byte is pending whenever the line is
// quiet: from the start, after a command, and after reads that ended empty
// at the port's read time-out.  Closing ends the read and the thread.
TEST_F(Link, ClosingEndsThePendingReadAndTheThreadWithin100Ms)
{
    const struct {
        const char *when;
        DWORD quietMs;  // before the command
        bool command;
    } cases[] = {
        {"waiting for the first byte", 0, false},
        {"after a command", 0, true},
        {"after reads that ended empty", 2 * SERIAL_READ_TIMEOUT_MS + 200, true},
    };
    record->settings.protocol = PROTOCOL_SONY_LDP;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.when);
        ForgetReceived();
        Open();
        Sleep(c.quietMs);
        if (c.command) {
            ControllerWrite(controller, Bytes({0x3F}));
            EXPECT_EQ(WaitForCommands(1), Lines{"?"});
        }
        Sleep(300);
        HANDLE thread = NULL;
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), record->serial.watchThread, GetCurrentProcess(), &thread,
                                    SYNCHRONIZE, FALSE, 0));
        EXPECT_EQ(WaitForSingleObject(thread, 0), (DWORD)WAIT_TIMEOUT) << "the receive thread is waiting";
        EXPECT_LT(ClosingMs(), 100.0);
        EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "the receive thread has ended";
        CloseHandle(thread);
        ExpectClosed(record->serial);
    }
}

// The port's own state, flow control set as a technician might leave it;
// Windows' defaults with other line settings and none.
TEST(CommState, TakesTheDefaultLineSettingsKeepsFlowControlAndClearsAbortOnError)
{
    DCB state = {}, defaults = {};
    state.DCBlength = defaults.DCBlength = sizeof(DCB);
    state.BaudRate = 19200;
    defaults.BaudRate = 9600;
    state.ByteSize = 7;
    state.fOutxCtsFlow = state.fOutX = state.fAbortOnError = TRUE;
    state.fRtsControl = RTS_CONTROL_HANDSHAKE;
    defaults.ByteSize = 8;
    defaults.fAbortOnError = TRUE;
    DCB expected = state;
    expected.BaudRate = 9600;
    expected.ByteSize = 8;
    expected.fBinary = TRUE;
    expected.fAbortOnError = FALSE;
    DCB adjusted = state;
    AdjustCommState(&adjusted, &defaults);
    EXPECT_EQ(memcmp(&adjusted, &expected, sizeof adjusted), 0);
    adjusted = state;
    AdjustCommState(&adjusted, NULL);
    expected.BaudRate = 19200;
    expected.ByteSize = 7;
    EXPECT_EQ(memcmp(&adjusted, &expected, sizeof adjusted), 0) << "without defaults the line settings stay";
}

TEST(CommState, FlowControlIsNamedAsATechnicianKnowsIt)
{
    const struct {
        bool cts, dsr, outX, inX;
        DWORD rts;
        const char *text;
    } cases[] = {
        {false, false, false, false, RTS_CONTROL_ENABLE, "None"},
        {true, false, false, false, RTS_CONTROL_HANDSHAKE, "RTS/CTS"},
        {true, true, true, false, RTS_CONTROL_TOGGLE, "CTS out, DSR out, XON/XOFF out, RTS toggle"},
        {false, false, true, true, RTS_CONTROL_HANDSHAKE, "RTS in, XON/XOFF"},
    };
    for (const auto &c : cases) {
        DCB state = {};
        state.fOutxCtsFlow = c.cts;
        state.fOutxDsrFlow = c.dsr;
        state.fOutX = c.outX;
        state.fInX = c.inX;
        state.fRtsControl = c.rts;
        char text[FLOW_CONTROL_TEXT_SIZE];
        DescribeFlowControl(state, text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
}

DCB stateSet;
BOOL WINAPI RefuseDefaults(LPCSTR, LPCOMMCONFIG, LPDWORD)
{
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

BOOL WINAPI RefuseState(HANDLE, LPDCB state)
{
    stateSet = *state;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

HANDLE shortPort;
BOOL WINAPI WriteOneByteLess(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written, LPOVERLAPPED overlapped)
{
    typedef BOOL(WINAPI * WriteEntry)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    static const WriteEntry realWrite = reinterpret_cast<WriteEntry>(RealFunction("kernel32.dll", "WriteFile"));
    if (file == shortPort && count > 1)
        count--;
    return realWrite(file, bytes, count, written, overlapped);
}

// What Wine's ports never do: a default configuration that cannot be read,
// a state the port refuses, a write cut short by a handshake line.
TEST_F(Link, RefusedSettingsAndShortWritesAreTraced)
{
    record->settings.protocol = PROTOCOL_SONY_LDP;
    {
        ImportPatch defaults("kernel32.dll", "GetDefaultCommConfigA", reinterpret_cast<void *>(RefuseDefaults));
        ImportPatch state("kernel32.dll", "SetCommState", reinterpret_cast<void *>(RefuseState));
        ASSERT_TRUE(defaults.Applied() && state.Applied());
        memset(&stateSet, 0, sizeof stateSet);
        Open();
    }
    EXPECT_TRUE(stateSet.fBinary);
    EXPECT_FALSE(stateSet.fAbortOnError);
    {
        ImportPatch write("kernel32.dll", "WriteFile", reinterpret_cast<void *>(WriteOneByteLess));
        ASSERT_TRUE(write.Applied());
        shortPort = record->serial.portHandle;
        const BYTE reply[] = {0x30, 0x31, 0x32, 0x33};
        EXPECT_EQ(WriteCommBlock(hwnd, reply, sizeof reply), 0);
        EXPECT_EQ(ControllerRead(controller, 4), "012");
    }
    Lines trace = TraceMessages();
    ASSERT_EQ(trace.size(), 6u);
    EXPECT_EQ(Lines(trace.begin(), trace.begin() + 4),
              (Lines{"Initialising RS232 Port 3", "GetDefaultCommConfig error CE-2", "SetCommState error CE-87",
                     "RS232 Flow Control None"}));
    EXPECT_EQ(trace[5], "WriteCommBlock sent 3 of 4 bytes");
}

BOOL WINAPI SlowCancel(HANDLE file)
{
    typedef BOOL(WINAPI * CancelEntry)(HANDLE);
    static const CancelEntry realCancel = reinterpret_cast<CancelEntry>(RealFunction("kernel32.dll", "CancelIo"));
    Sleep(SERIAL_STOP_WAIT_MS + 1000);
    return realCancel(file);
}

// A driver that takes for ever to cancel the receive thread's read holds
// the close up for SERIAL_STOP_WAIT_MS at most; the thread, left behind,
// ends on its own once its cancel returns.
TEST_F(Link, ClosingWaitsForAStuckReceiveThreadOnlySoLong)
{
    record->settings.protocol = PROTOCOL_SONY_LDP;
    Open();
    Sleep(300);
    HANDLE thread = NULL;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), record->serial.watchThread, GetCurrentProcess(), &thread,
                                SYNCHRONIZE, FALSE, 0));
    {
        ImportPatch cancel("kernel32.dll", "CancelIo", reinterpret_cast<void *>(SlowCancel));
        ASSERT_TRUE(cancel.Applied());
        double closing = ClosingMs();
        EXPECT_GE(closing, SERIAL_STOP_WAIT_MS - 50.0);
        EXPECT_LT(closing, SERIAL_STOP_WAIT_MS + 900.0);
        ExpectClosed(record->serial);
        EXPECT_EQ(WaitForSingleObject(thread, 2 * SERIAL_STOP_WAIT_MS), WAIT_OBJECT_0);
    }
    CloseHandle(thread);
    Lines trace = TraceMessages();
    ASSERT_GE(trace.size(), 2u);
    EXPECT_EQ(Lines(trace.end() - 2, trace.end()), (Lines{"Closing RS232 Port", "Unable To End RS232 Thread"}));
}

// What a pending read of one byte on the port costs the process on its
// own: the platform's share, not the receive thread's.
double BareWaitCpuMs(int com, DWORD periodMs)
{
    char name[32];
    snprintf(name, sizeof name, "\\\\.\\COM%d", com);
    HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, NULL);
    if (port == INVALID_HANDLE_VALUE)
        return -1;
    COMMTIMEOUTS untimed = {};  // the read waits for its byte however long
    SetCommTimeouts(port, &untimed);
    OVERLAPPED wait = {};
    wait.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    BYTE byte;
    DWORD count;
    double before = ProcessCpuMs();
    if (!ReadFile(port, &byte, 1, &count, &wait) && GetLastError() == ERROR_IO_PENDING)
        WaitForSingleObject(wait.hEvent, periodMs);
    double spent = ProcessCpuMs() - before;
    CancelIo(port);
    GetOverlappedResult(port, &wait, &count, TRUE);
    CloseHandle(wait.hEvent);
    CloseHandle(port);
    return spent;
}

TEST_F(Link, IdleReceiveThreadCostsLessThanTwoPercentOfACore)
{
    const DWORD kPeriodMs = 10000;
    const double kLimitMs = kPeriodMs * 0.02;
    record->settings.protocol = PROTOCOL_SONY_LDP;
    Open();
    CpuTime spent = ReceiveThreadCpu(kPeriodMs);
    CloseCommPort(hwnd, &record->serial);

    double platform = BareWaitCpuMs(kPlayerCom, kPeriodMs);
    ASSERT_GE(platform, 0.0);
    EXPECT_LT(spent.thread, kLimitMs);
    EXPECT_LT(spent.process - platform, kLimitMs) << "a bare pending wait took " << platform << " ms";
}

}  // namespace
