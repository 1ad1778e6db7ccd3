// Framing of received blocks into commands (DeliverCommBlock fed directly),
// what becomes of a command that cannot be posted, and the port wait taken
// from the environment.
#include "serial_fixture.h"

#include <string>
#include <vector>

#include "serial/serial.h"

namespace {

class Framing : public SerialFixture {
protected:
    void SetUp() override
    {
        SerialFixture::SetUp();
        // The native line is one for the process: end whatever an earlier
        // test left in it, then start from a clean log.
        record->settings.protocol = PROTOCOL_NATIVE;
        Deliver("\r");
        CommandsAfter(0);
        ForgetReceived();
        ClearTrace();
    }

    int Deliver(const std::string &block)
    {
        return DeliverCommBlock(hwnd, record->settings, reinterpret_cast<const BYTE *>(block.data()),
                                (DWORD)block.size());
    }
};

TEST_F(Framing, SonyLdpPostsEveryByteAsOneCommandInOrder)
{
    record->settings.protocol = PROTOCOL_SONY_LDP;
    EXPECT_EQ(Deliver(Bytes({0x43, 0x31, 0x40})), 3);
    EXPECT_EQ(WaitForCommands(3), (Lines{"C", "1", "@"}));

    ForgetReceived();
    EXPECT_EQ(Deliver(Bytes({0x00})), 1);
    EXPECT_EQ(WaitForCommands(1), (Lines{""}));

    ForgetReceived();
    EXPECT_EQ(Deliver(Bytes({0x43})), 1);
    EXPECT_EQ(Deliver(Bytes({0x31, 0x40})), 2);
    EXPECT_EQ(WaitForCommands(3), (Lines{"C", "1", "@"}));

    ForgetReceived();
    std::string every;
    for (int b = 0; b < 256; b++)
        every += static_cast<char>(b);
    EXPECT_EQ(Deliver(every), 256);
    Lines expected;
    for (int b = 0; b < 256; b++)
        expected.push_back(b == 0 ? std::string() : std::string(1, static_cast<char>(b)));
    EXPECT_EQ(WaitForCommands(256), expected);
    EXPECT_EQ(CommandsAfter(100).size(), 256u);
    EXPECT_EQ(TraceMessages(), Lines{}) << "the Sony LDP framing logs nothing";
}

struct NativeCase {
    int line;
    std::vector<std::string> blocks;  // one DeliverCommBlock each
    Lines posted;
    Lines traced;
};

TEST_F(Framing, NativeBytesAreGatheredIntoLines)
{
    const std::string x300(300, 'x'), y1024(1024, 'y');
    const NativeCase cases[] = {
        {__LINE__, {"PL\r\n"}, {"PL"}, {"Received cmd <PL>"}},
        {__LINE__, {"PL\r", "\n"}, {"PL"}, {"Received cmd <PL>", "Received cmd <>"}},
        {__LINE__, {"PL", "\r\n"}, {"PL"}, {"Received cmd <PL>"}},
        {__LINE__, {"S", "A", "\r"}, {"SA"}, {"Received cmd <SA>"}},
        {__LINE__, {"SA", "\r"}, {"SA"}, {"Received cmd <SA>"}},
        {__LINE__, {"PL" + Bytes({0x80})}, {"PL"}, {"Received cmd <PL>"}},
        {__LINE__, {"OP" + Bytes({0xFF}) + "EN" + Bytes({0x1F})}, {"OP", "EN"},
         {"Received cmd <OP>", "Received cmd <EN>"}},
        {__LINE__, {"PL\r\nST\r\n"}, {"PL", "ST"}, {"Received cmd <PL>", "Received cmd <ST>"}},
        {__LINE__, {"A~" + Bytes({0x7F, 0x20}) + "\r"}, {"A~\x7f "}, {"Received cmd <A~\x7f >"}},
        {__LINE__, {Bytes({0x00})}, {}, {"Received cmd <>"}},
        {__LINE__, {"\n"}, {}, {"Received cmd <>"}},
        {__LINE__, {x300 + "\r\n"}, {x300.substr(0, 255)}, {"Received cmd <" + x300 + ">"}},
        {__LINE__, {x300.substr(0, 100), x300.substr(100), "\r"}, {x300.substr(0, 255)},
         {"Received cmd <" + x300 + ">"}},
        {__LINE__, {y1024}, {y1024.substr(0, 255)}, {"Received cmd <" + y1024 + ">"}},
        {__LINE__, {y1024 + "tail\r"}, {y1024.substr(0, 255), "tail"},
         {"Received cmd <" + y1024 + ">", "Received cmd <tail>"}},
        {__LINE__, {y1024 + "\r\n"}, {y1024.substr(0, 255)}, {"Received cmd <" + y1024 + ">"}},
    };
    for (const NativeCase &c : cases) {
        SCOPED_TRACE(testing::Message() << "case at line " << c.line);
        ForgetReceived();
        ClearTrace();
        int posted = 0;
        for (const std::string &block : c.blocks)
            posted += Deliver(block);
        EXPECT_EQ(posted, (int)c.posted.size());
        EXPECT_EQ(CommandsAfter(50), c.posted);
        EXPECT_EQ(TraceMessages(), c.traced);
    }
}

TEST_F(Framing, OtherProtocolsDropTheBytes)
{
    record->settings.protocol = 2;
    EXPECT_EQ(Deliver("PL\r\n"), 0);
    EXPECT_EQ(Deliver("AB"), 0);
    record->settings.protocol = PROTOCOL_NATIVE;
    Deliver("\r");
    EXPECT_EQ(CommandsAfter(50), Lines{});
    EXPECT_EQ(TraceMessages(), Lines{"Received cmd <>"}) << "nothing was gathered for another protocol";
}

int refusedPosts;

BOOL WINAPI RefusePost(HWND, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COMMAND && wParam == ID_RECEIVED_COMMAND && lParam != 0)
        refusedPosts++;
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return FALSE;
}

HGLOBAL WINAPI FailAllocation(UINT, SIZE_T)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
}

SIZE_T HeapBytesInUse()
{
    HANDLE heap = GetProcessHeap();
    PROCESS_HEAP_ENTRY entry = {};
    SIZE_T total = 0;
    HeapLock(heap);
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
            total += entry.cbData;
    HeapUnlock(heap);
    return total;
}

TEST_F(Framing, RefusedPostFreesTheBlock)
{
    const std::string burst(2000, 'C');
    const std::string lines = [] {
        std::string text;
        for (int i = 0; i < 500; i++)
            text += "PLAY\r";
        return text;
    }();
    SIZE_T before = HeapBytesInUse();
    {
        ImportPatch patch("user32.dll", "PostMessageA", reinterpret_cast<void *>(RefusePost));
        ASSERT_TRUE(patch.Applied());
        refusedPosts = 0;
        record->settings.protocol = PROTOCOL_SONY_LDP;
        EXPECT_EQ(Deliver(burst), 0);
        EXPECT_EQ(refusedPosts, 2000);
        record->settings.protocol = PROTOCOL_NATIVE;
        EXPECT_EQ(Deliver(lines), 0);
        EXPECT_EQ(refusedPosts, 2500);
    }
    SIZE_T after = HeapBytesInUse();
    EXPECT_LT(after, before + 2500 * COMMAND_BLOCK_SIZE / 10)
        << "2500 refused commands of 256 bytes each; heap in use went from " << before << " to " << after;
    EXPECT_EQ(CommandsAfter(50), Lines{});
}

TEST_F(Framing, CommandWithoutMemoryIsDropped)
{
    ImportPatch patch("kernel32.dll", "GlobalAlloc", reinterpret_cast<void *>(FailAllocation));
    ASSERT_TRUE(patch.Applied());
    record->settings.protocol = PROTOCOL_SONY_LDP;
    EXPECT_EQ(Deliver(Bytes({0x43, 0x31})), 0);
    record->settings.protocol = PROTOCOL_NATIVE;
    EXPECT_EQ(Deliver("PL\r"), 0);
    EXPECT_EQ(Deliver("ST\r"), 0);
    EXPECT_EQ(CommandsAfter(50), Lines{});
    EXPECT_EQ(TraceMessages(), (Lines{"Received cmd <PL>", "Received cmd <ST>"}))
        << "the line is traced and emptied even when it cannot be posted";
}

TEST(PortWait, EnvironmentReplacesTheTenSecondWait)
{
    const struct {
        int line;
        const char *value;  // null: not set
        DWORD wait;
    } cases[] = {
        {__LINE__, nullptr, 10000},
        {__LINE__, "0", 0},
        {__LINE__, "250", 250},
        {__LINE__, "0010", 10},
        {__LINE__, "4294967294", 4294967294u},
        {__LINE__, "4294967295", 10000},
        {__LINE__, "99999999999", 10000},
        {__LINE__, "123456789012345678901234567890", 10000},
        {__LINE__, "", 10000},
        {__LINE__, "12x", 10000},
        {__LINE__, "-5", 10000},
        {__LINE__, " 5", 10000},
        {__LINE__, "0x10", 10000},
    };
    for (const auto &c : cases) {
        SetEnvironmentVariableA(PORT_WAIT_ENV, c.value);
        EXPECT_EQ(PortWaitMilliseconds(), c.wait) << "case at line " << c.line;
    }
    SetEnvironmentVariableA(PORT_WAIT_ENV, NULL);
}

}  // namespace
