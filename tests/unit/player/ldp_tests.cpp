// The Sony LDP command interpreter: every handler row, the number entry,
// the enquiries, unknown bytes and the CD tray, with the exact answer
// bytes, trace lines and board operations in their order.  A command's
// trace lines follow its answer, in the order the command wrote them.
#include "player_fixture.h"

namespace {

const std::string ACK = "\x0A", NAK = "\x0B", COMPLETION = "\x01", NOT_TARGET = "\x05";

// Starts every test with the entry cleared, as CLEARALL leaves it.
class Ldp : public PlayerTest {
protected:
    void SetUp() override
    {
        PlayerTest::SetUp();
        Send("V");
        Forget();
    }
};

TEST_F(Ldp, EveryHandlerRowOnTheCurrentBoard)
{
    LoadBoards(2);
    std::string movie = MakeChapters("rows", 3);
    record->currentBoard = 1;
    MpegOpen(1, Chapter(movie, 2).c_str());
    Forget();
    struct Row {
        char byte;
        std::vector<std::string> events;
    };
    const Row rows[] = {
        {'O', {"TRStillMPEG 1", "reply 0A", "01 - LDP - STILL"}},
        {'+', {"TRBlankMPEG 1 0", "TRStepMPEG 1", "reply 0A", "01 - LDP - FSTEP"}},
        {'<', {"TRBlankMPEG 1 0", "TRSlowMPEG 1", "reply 0A", "01 - LDP - FSLOW"}},
        {';', {"TRBlankMPEG 1 0", "TRFastMPEG 1", "reply 0A", "01 - LDP - FFAST"}},
        {'?', {"TRStillMPEG 1", "TRBlankMPEG 1 1", "reply 0A", "01 - LDP - STOP"}},
        {'\'', {"TRBlankMPEG 1 0", "reply 0A", "01 - LDP - VIDEOON"}},
        {'&', {"TRBlankMPEG 1 1", "reply 0A", "01 - LDP - VIDEOOFF"}},
        {'%', {"TRMuteMPEG 1 0", "reply 0A", "01 - LDP - AUDIOON"}},
        {'$', {"TRMuteMPEG 1 1", "reply 0A", "01 - LDP - AUDIOOFF"}},
        {'W', {"TRGenlockMPEG 1 1", "reply 0A", "01 - LDP - VIDEO_MPEG"}},
        {'X', {"TRGenlockMPEG 1 0", "reply 0A", "01 - LDP - VIDEO_EXTERNAL"}},
        {'i', {"reply 0A", "LDP - SETCHPMODE"}},
        {'`', {"LDP - SADDRENQ"}},
        {'U', {"reply 0A", "LDP - SETFRMMODE"}},
        {'`', {"TRGetFrameMPEG 1", "reply 30 30 30 30 30", "LDP - SADDRENQ"}},
        {'v', {"reply 30 30", "LDP - CHPENQ"}},
        {'T', {"reply 30 31", "01 - LDP - SRCENQ"}},
        {':', {"TRBlankMPEG 1 0", "TRPlayMPEG 1 2147483646 999999999 0", "reply 0A", "01 - LDP - FPLAY",
               "01 - Playing MPEG file " + Chapter(movie, 2)}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << "byte 0x" << std::hex << (int)(unsigned char)row.byte);
        Send(std::string(1, row.byte));
        EXPECT_EQ(Events(), row.events);
    }
    EXPECT_EQ(record->addressMode, ADDRESS_FRAME);
    EXPECT_EQ(record->currentBoard, 1);
    EXPECT_EQ(record->repeat[1], 0);
    EXPECT_EQ(TrayMoves(), Lines());
}

TEST_F(Ldp, ChapterSearchOpensTheChapterAndCompletes)
{
    LoadBoards(1);
    std::string movie = MakeChapters("thirteen", 13);
    record->repeat[0] = 1;
    Forget();
    EXPECT_EQ(Send("iC12@"), ACK + ACK + ACK + ACK + ACK + COMPLETION);
    std::string twelve = Chapter(movie, 12);
    EXPECT_EQ(Events(), Lines({"reply 0A", "LDP - SETCHPMODE", "TRStillMPEG 0", "reply 0A", "00 - LDP - SEARCH",
                               "reply 0A", "reply 0A", "reply 0A", "TRStopMPEG 0", "TROpenMPEG 0 " + twelve,
                               "reply 01", "00 - LDP - ENTER", "00 - Opening MPEG file " + twelve}));
    EXPECT_EQ(record->currentChapter, 12);
    EXPECT_EQ(record->repeat[0], 0);
    EXPECT_STREQ(MpegTable.openedFile[0], twelve.c_str());
    EXPECT_EQ(Send("v"), "12");

    // ENTER again, without a new SEARCH, repeats the search.
    Events();
    EXPECT_EQ(Send("@"), ACK + COMPLETION);
    EXPECT_EQ(Events(), Lines({"reply 0A", "TRStopMPEG 0", "TROpenMPEG 0 " + twelve, "reply 01",
                               "00 - LDP - ENTER", "00 - Opening MPEG file " + twelve}));
}

TEST_F(Ldp, ChapterSearchBeyondTheTableIsNotTarget)
{
    LoadBoards(1);
    MakeChapters("five", 5);
    record->currentChapter = 3;
    record->repeat[0] = 1;
    Forget();
    EXPECT_EQ(Send("iC12@"), ACK + ACK + ACK + ACK + ACK + NOT_TARGET);
    EXPECT_EQ(Events(), Lines({"reply 0A", "LDP - SETCHPMODE", "TRStillMPEG 0", "reply 0A", "00 - LDP - SEARCH",
                               "reply 0A", "reply 0A", "reply 0A", "reply 05", "00 - LDP - ENTER"}));
    EXPECT_EQ(record->currentChapter, 3);
    EXPECT_EQ(record->repeat[0], 1) << "nothing else changes";
    EXPECT_EQ(Send("v"), "03");

    FreeChapterTable(hwnd);
    EXPECT_EQ(Send("C0@"), ACK + ACK + ACK + NOT_TARGET) << "no table at all";
}

TEST_F(Ldp, FrameSearchCompletesAfterSetFrameAndStep)
{
    LoadBoards(1);
    EXPECT_EQ(Send("C12A5@"), ACK + ACK + ACK + ACK + ACK + ACK + COMPLETION);
    EXPECT_EQ(Events(), Lines({"TRStillMPEG 0", "reply 0A", "00 - LDP - SEARCH", "reply 0A", "reply 0A",
                               "reply 0A", "00 - LDP - CLEARENTRY", "reply 0A", "reply 0A",
                               "TRSetFrameMPEG 0 15", "TRStepMPEG 0", "reply 01", "00 - LDP - ENTER"}));
    EXPECT_EQ(Send("`"), "00015");

    EXPECT_EQ(Send("C12A@"), ACK + ACK + ACK + ACK + ACK + COMPLETION);
    EXPECT_EQ(LastEvents(4), Lines({"TRSetFrameMPEG 0 1", "TRStepMPEG 0", "reply 01", "00 - LDP - ENTER"}));

    // CLEARENTRY can take the mode letter too, and stops at an empty entry;
    // an entry without its letter searches nothing.
    EXPECT_EQ(Send("CAAA5@"), ACK + ACK + ACK + ACK + ACK + ACK);
    EXPECT_EQ(LastEvents(2), Lines({"reply 0A", "00 - LDP - ENTER"}));

    EXPECT_EQ(Send("C@"), ACK + ACK + COMPLETION) << "no digits: frame 0";
    EXPECT_EQ(LastEvents(4), Lines({"TRSetFrameMPEG 0 0", "TRStepMPEG 0", "reply 01", "00 - LDP - ENTER"}));
}

TEST_F(Ldp, ByteThatAnEntryCannotTakeIsRefusedAndNotCarriedOut)
{
    LoadBoards(2);
    MakeChapters("refused", 2);
    const char refused[] = {'O', 'i', 'U', ':', '*', 'b', 'v', 'T', '`', 'D', 'S', 'C', 'X', '\x91', '\0', 'z'};
    EXPECT_EQ(Send("C4"), ACK + ACK);
    Forget();
    for (char byte : refused) {
        SCOPED_TRACE(testing::Message() << "byte 0x" << std::hex << (int)(unsigned char)byte);
        EXPECT_EQ(Send(std::string(1, byte)), NAK);
        EXPECT_EQ(Events(), Lines({"reply 0B"}));
    }
    EXPECT_EQ(TrayMoves(), Lines());
    EXPECT_EQ(record->addressMode, ADDRESS_FRAME);
    EXPECT_EQ(Send("2@"), ACK + ACK + COMPLETION) << "the entry went on";
    EXPECT_EQ(LastEvents(4), Lines({"TRSetFrameMPEG 0 42", "TRStepMPEG 0", "reply 01", "00 - LDP - ENTER"}));
}

TEST_F(Ldp, FrameEnquiryFormats)
{
    struct Case {
        int frame;
        std::string answer;
    };
    const Case cases[] = {{0, "00000"}, {7, "00007"}, {99999, "99999"}, {123456, "12345"}};
    LoadBoards(1);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.frame);
        MpegSetFrame(0, c.frame);
        EXPECT_EQ(Send("`"), c.answer);
    }
    FreeMpegDriver(&MpegTable);
    Forget();
    EXPECT_EQ(Send("`"), "-0000") << "no library: the first 5 characters of -1";
    EXPECT_EQ(Events(), Lines({"reply 2D 30 30 30 30", "LDP - SADDRENQ"}));
    record->addressMode = ADDRESS_CHAPTER;
    EXPECT_EQ(Send("`"), "");
    EXPECT_EQ(Events(), Lines({"LDP - SADDRENQ"}));
}

TEST_F(Ldp, ChapterEnquiryFormats)
{
    struct Case {
        int chapter;
        std::string answer;
    };
    const Case cases[] = {{0, "00"}, {7, "\x30\x37"}, {12, "12"}, {99, "99"}, {123, "12"}, {-1, "-0"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.chapter);
        record->currentChapter = c.chapter;
        EXPECT_EQ(Send("v"), c.answer);
        EXPECT_EQ(Events(), Lines({ReplyLine(c.answer), "LDP - CHPENQ"}));
    }
}

TEST_F(Ldp, BoardSelection)
{
    LoadBoards(2);
    EXPECT_EQ(Send("S1@"), ACK + ACK + ACK + COMPLETION);
    EXPECT_EQ(Events(), Lines({"reply 0A", "LDP - SETSCRMODE", "reply 0A", "reply 0A", "reply 01",
                               "00 - LDP - ENTER"}));
    EXPECT_EQ(record->currentBoard, 1);
    EXPECT_EQ(Send("O"), ACK);
    EXPECT_EQ(Events(), Lines({"TRStillMPEG 1", "reply 0A", "01 - LDP - STILL"}));
    EXPECT_EQ(Send("T"), "01");

    EXPECT_EQ(Send("S2@"), ACK + ACK + ACK + NOT_TARGET);
    EXPECT_EQ(record->currentBoard, 1);
    EXPECT_EQ(Send("S@"), ACK + ACK + COMPLETION) << "no digits: board 0";
    EXPECT_EQ(record->currentBoard, 0);

    LoadBoards(1);
    Forget();
    EXPECT_EQ(Send("S1@"), ACK + ACK + ACK + NOT_TARGET);
    EXPECT_EQ(record->currentBoard, 0);
    EXPECT_EQ(Events(), Lines({"reply 0A", "LDP - SETSCRMODE", "reply 0A", "reply 0A", "reply 05",
                               "00 - LDP - ENTER"}));
}

TEST_F(Ldp, UnknownBytes)
{
    struct Case {
        std::string text;
        const char *line;
    };
    const Case cases[] = {
        {"A", "00 - Unknown command A 0x41"},   {"\x91", "00 - Unknown command . 0x91"},
        {"", "00 - Unknown command . 0x0"},     {"\x7F", "00 - Unknown command . 0x7F"},
        {"\x1F", "00 - Unknown command . 0x1F"}, {" ", "00 - Unknown command   0x20"},
        {"~", "00 - Unknown command ~ 0x7E"},   {"1", "00 - Unknown command 1 0x31"},
        {"\xFF", "00 - Unknown command . 0xFF"}, {"OO", "00 - Unknown command O 0x4F"},
        {"a", "00 - Unknown command a 0x61"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        InterpretLdpCommand(hwnd, c.text.c_str());
        EXPECT_EQ(TakeCapturedReplies(), NAK);
        EXPECT_EQ(Events(), Lines({"reply 0B", c.line}));
    }
}

TEST_F(Ldp, ClearAllEndsTheEntryWithOneAck)
{
    LoadBoards(1);
    std::string movie = MakeChapters("clearall", 3);
    record->addressMode = ADDRESS_CHAPTER;
    record->currentChapter = 2;
    record->repeat[0] = 1;
    Forget();
    EXPECT_EQ(Send("C1V"), ACK + ACK + ACK);
    std::string zero = Chapter(movie, 0);
    EXPECT_EQ(Events(), Lines({"TRStillMPEG 0", "reply 0A", "00 - LDP - SEARCH", "reply 0A", "TRStopMPEG 0",
                               "TROpenMPEG 0 " + zero, "reply 0A", "00 - LDP - CLEARALL",
                               "00 - Opening MPEG file " + zero}));
    EXPECT_EQ(record->currentChapter, 0);
    EXPECT_EQ(record->addressMode, ADDRESS_FRAME);
    EXPECT_EQ(record->repeat[0], 0);
    EXPECT_EQ(Send("@"), ACK) << "the entry is empty";
    EXPECT_EQ(Send("1"), NAK) << "and no longer active";

    FreeChapterTable(hwnd);
    Forget();
    EXPECT_EQ(Send("V"), ACK);
    EXPECT_EQ(Events(), Lines({"reply 0A", "00 - LDP - CLEARALL"})) << "no chapter 0: nothing opened";
}

TEST_F(Ldp, EjectStopsEveryBoardAndOpensTheTray)
{
    LoadBoards(2);
    MakeChapters("eject", 3);
    ChapterList *table = record->chapterTable;
    record->currentBoard = 1;
    record->currentChapter = 2;
    record->addressMode = ADDRESS_CHAPTER;
    Forget();
    EXPECT_EQ(Send("*"), ACK);
    EXPECT_EQ(Events(), Lines({"TRStopMPEG 0", "TRDisplayImageMPEG 0 " OPEN_IMAGE, "TRStopMPEG 1",
                               "TRDisplayImageMPEG 1 " OPEN_IMAGE, "reply 0A", "LDP - EJECT"}));
    EXPECT_EQ(TrayMoves(), Lines({"open", "set door open", "close"}));
    EXPECT_EQ(record->currentBoard, 1);
    EXPECT_EQ(record->currentChapter, 2);
    EXPECT_EQ(record->addressMode, ADDRESS_CHAPTER);
    EXPECT_EQ(record->chapterTable, table);
    EXPECT_NE(FindChapter(record->chapterTable, 2), nullptr);
}

// Mend: a real tray takes seconds.  EJECT and MOTORON answer at once, and
// the tray's worker moves it afterwards, one move at a time in the order
// asked.
TEST_F(Ldp, TrayMovesFollowTheirAnswersInOrder)
{
    const int kMoveMs = 400;
    LoadBoards(1);
    MakeChapters("tray", 1);
    Forget();
    SetEnvironmentVariableA("HALCYRA_RIG_MCI_DELAY_MS", std::to_string(kMoveMs).c_str());
    double start = ClockMs();
    EXPECT_EQ(Send("*b*"), ACK + ACK + ACK);
    EXPECT_LT(ClockMs() - start, kMoveMs) << "no answer waits for a move";
    Lines moves = TrayMoves();
    EXPECT_GE(ClockMs() - start, 3 * kMoveMs - 20.0);
    SetEnvironmentVariableA("HALCYRA_RIG_MCI_DELAY_MS", NULL);
    EXPECT_EQ(moves, Lines({"open", "set door open", "close", "open", "set door closed", "close", "open",
                            "set door open", "close"}));
}

TEST_F(Ldp, MotorOnReadsTheNewMediaAndOpensChapterZeroEverywhere)
{
    LoadBoards(2);
    std::string movie = MakeChapters("motoron", 2);
    ASSERT_TRUE(WriteWholeFile(movie + "aa.mpg", "new"));
    ASSERT_TRUE(DeleteFileA(Chapter(movie, 1).c_str()));
    record->currentBoard = 1;
    record->currentChapter = 1;
    record->addressMode = ADDRESS_CHAPTER;
    record->repeat[0] = record->repeat[1] = 1;
    Forget();
    EXPECT_EQ(Send("b"), ACK);
    std::string first = movie + "aa.mpg";
    EXPECT_EQ(Events(), Lines({"TRStopMPEG 0", "TRStopMPEG 1", "TROpenMPEG 0 " + first,
                               "TRDisplayImageMPEG 0 " OPEN_IMAGE, "TROpenMPEG 1 " + first,
                               "TRDisplayImageMPEG 1 " OPEN_IMAGE, "reply 0A", "LDP - MOTORON", "CHP 0 - " + first,
                               "CHP 1 - " + Chapter(movie, 0), "00 - Opening MPEG file " + first}));
    EXPECT_EQ(TrayMoves(), Lines({"open", "set door closed", "close"}));
    EXPECT_EQ(record->currentChapter, 0);
    EXPECT_EQ(record->currentBoard, 0);
    EXPECT_EQ(record->repeat[0], 0);
    EXPECT_EQ(record->repeat[1], 0);
    EXPECT_EQ(record->addressMode, ADDRESS_CHAPTER) << "MOTORON keeps the address mode";
    EXPECT_EQ(FindChapter(record->chapterTable, 2), nullptr);

    CopyText(record->settings.defaultMpeg, sizeof record->settings.defaultMpeg, (movie + "*.none").c_str());
    Forget();
    EXPECT_EQ(Send("b"), ACK);
    EXPECT_EQ(Events(), Lines({"TRStopMPEG 0", "TRStopMPEG 1", "reply 0A", "LDP - MOTORON"}));
}

TEST_F(Ldp, RepeatQueuesThePlayingFileOnlyWhenOnePlays)
{
    LoadBoards(1);
    std::string movie = MakeChapters("repeat", 2);
    Send("V");   // opens chapter 0; the stop empties playingFile
    ASSERT_STREQ(MpegTable.playingFile[0], "");
    Forget();
    std::string zero = Chapter(movie, 0);
    EXPECT_EQ(Send("D"), ACK);
    EXPECT_EQ(Events(), Lines({"reply 0A", "00 - LDP - REPEAT"})) << "nothing plays: nothing is opened";
    EXPECT_EQ(record->repeat[0], 1);
    EXPECT_STREQ(MpegTable.openedFile[0], zero.c_str()) << "the queued chapter stays";

    EXPECT_EQ(Send(":"), ACK);
    EXPECT_EQ(Events(), Lines({"TRBlankMPEG 0 0", "TRPlayMPEG 0 2147483646 999999999 0", "reply 0A",
                               "TROpenMPEG 0 " + zero, "00 - LDP - FPLAY", "00 - Playing MPEG file " + zero}));

    EXPECT_EQ(Send("D"), ACK);
    EXPECT_EQ(Events(), Lines({"TROpenMPEG 0 " + zero, "reply 0A", "00 - LDP - REPEAT"}));

    record->repeat[0] = 0;
    EXPECT_EQ(Send(":"), ACK);
    EXPECT_EQ(Events(), Lines({"TRBlankMPEG 0 0", "TRPlayMPEG 0 2147483646 999999999 0", "reply 0A",
                               "00 - LDP - FPLAY", "00 - Playing MPEG file " + zero}));
}

TEST_F(Ldp, FullEntryRefusesMoreDigitsAndItsNumberStopsGrowing)
{
    LoadBoards(2);
    MakeChapters("long", 3);
    std::string digits(254, '9');
    EXPECT_EQ(Send("C" + digits), std::string(255, '\x0A'));
    EXPECT_EQ(Send("9"), NAK);
    EXPECT_EQ(Send("A8"), ACK + ACK) << "room again after CLEARENTRY";
    EXPECT_EQ(Send("7"), NAK);
    Forget();
    EXPECT_EQ(Send("@"), ACK + COMPLETION);
    EXPECT_EQ(Events(), Lines({"reply 0A", "TRSetFrameMPEG 0 2147483647", "TRStepMPEG 0", "reply 01",
                               "00 - LDP - ENTER"}));
    record->addressMode = ADDRESS_CHAPTER;
    EXPECT_EQ(Send("@"), ACK + NOT_TARGET);
    EXPECT_EQ(Send("S" + digits + "@"), ACK + std::string(254, '\x0A') + ACK + NOT_TARGET);
    EXPECT_EQ(record->currentBoard, 0);
    EXPECT_EQ(Send("C4294967296@"), std::string(12, '\x0A') + NOT_TARGET) << "2^32 does not wrap to chapter 0";
    EXPECT_EQ(record->currentChapter, 0);
}

TEST_F(Ldp, CommandsWithoutALibraryStillAnswer)
{
    MakeChapters("nolibrary", 2);
    struct Case {
        std::string bytes;
        std::string answer;
    };
    const Case cases[] = {
        {"O", ACK}, {":", ACK}, {"+", ACK}, {"*", ACK}, {"b", ACK}, {"C3@", ACK + ACK + ACK + COMPLETION},
        {"i", ACK}, {"C1@", ACK + ACK + ACK + COMPLETION}, {"C2@", ACK + ACK + ACK + NOT_TARGET},
        {"S0@", ACK + ACK + ACK + NOT_TARGET}, {"U`", ACK + "-0000"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(Send(c.bytes), c.answer);
    }
    EXPECT_EQ(record->currentChapter, 1);
}

// A fresh process: no entry has been made since start-up.
class LdpFreshStart : public RecordWindowTest {};

TEST_F(LdpFreshStart, EnterWithNoEntryAnswersOnlyAck)
{
    std::string events = WorkPath("fresh-events.txt");
    TakeLines(events);
    CopyText(record->settings.traceFile, sizeof record->settings.traceFile, events.c_str());
    SetCommCaptureLog(events.c_str());
    record->addressMode = ADDRESS_CHAPTER;
    InterpretLdpCommand(hwnd, "@");
    EXPECT_EQ(TakeCapturedReplies(), ACK);
    EXPECT_EQ(TakeLines(events), Lines({"reply 0A", "00 - LDP - ENTER"}));
    record->addressMode = ADDRESS_FRAME;
    InterpretLdpCommand(hwnd, "@");
    EXPECT_EQ(TakeCapturedReplies(), ACK);
    SetCommCaptureLog(NULL);
}

}  // namespace
