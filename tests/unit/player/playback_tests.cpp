// The playback watcher: which boards it services, the repeat of a file that
// has started again, and the chapter reopened after a board has stopped.
// TRmpeg.dll reports "started" or "stopped" from its control file.
#include "player_fixture.h"

namespace {

class Playback : public PlayerTest {
protected:
    std::string movie;

    void SetUp() override
    {
        PlayerTest::SetUp();
        LoadBoards(2);
        movie = MakeChapters("playback", 5);
        InterpretLdpCommand(hwnd, "V");   // chapter 0 on board 0
        Forget();
    }

    // Plays chapter n on the board, as FPLAY does.
    void PlayChapter(int board, int n)
    {
        MpegOpen(board, Chapter(movie, n).c_str());
        MpegPlay(board, MPEG_PLAY_CONTINUE, MPEG_PLAY_END, 0);
        Forget();
    }
};

TEST_F(Playback, OnlyBoardsWithAnActiveStreamAreServiced)
{
    struct Case {
        int state;
        bool polled;
    };
    const Case cases[] = {
        {MPEG_IDLE, false},    {1, false},          {MPEG_READY, false}, {MPEG_STOPPED, false},
        {7, false},            {MPEG_PLAYING, true}, {MPEG_STILL, true},  {9, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.state);
        MpegTable.playState[0] = c.state;
        MpegTable.playState[1] = MPEG_IDLE;
        WatchPlayback(hwnd);
        EXPECT_EQ(Events(), c.polled ? Lines({"TRCheckMPEG 0"}) : Lines());
        EXPECT_EQ(MpegTable.playState[0], c.state);
    }
    MpegTable.playState[0] = MPEG_STOPPED;
    MpegTable.playState[1] = MPEG_STILL;
    WatchPlayback(hwnd);
    WatchPlayback(hwnd);
    EXPECT_EQ(Events(), Lines({"TRCheckMPEG 1", "TRCheckMPEG 1"})) << "a still board is polled on every pass";
}

TEST_F(Playback, StartedFileIsTracedAndQueuedAgainUnderRepeat)
{
    PlayChapter(0, 2);
    std::string two = Chapter(movie, 2);
    InterpretLdpCommand(hwnd, "D");
    EXPECT_EQ(Events(), Lines({"TROpenMPEG 0 " + two, "reply 0A", "00 - LDP - REPEAT"}));
    for (int round = 0; round < 2; round++) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(WriteWholeFile(control, "0 started\n"));
        WatchPlayback(hwnd);
        EXPECT_EQ(Events(), Lines({"TRCheckMPEG 0", "00 - Playing MPEG file " + two, "TROpenMPEG 0 " + two}));
        EXPECT_EQ(MpegTable.playState[0], MPEG_PLAYING);
        WatchPlayback(hwnd);
        EXPECT_EQ(Events(), Lines({"TRCheckMPEG 0"})) << "one line and one open per report";
    }

    record->repeat[0] = 0;
    ASSERT_TRUE(WriteWholeFile(control, "0 started\n"));
    WatchPlayback(hwnd);
    EXPECT_EQ(Events(), Lines({"TRCheckMPEG 0", "00 - Playing MPEG file " + two}));
    EXPECT_EQ(MpegTable.playState[0], MPEG_PLAYING);
}

TEST_F(Playback, StoppedBoardReopensTheCurrentChapter)
{
    PlayChapter(1, 4);
    record->currentChapter = 3;
    record->repeat[1] = 1;
    ASSERT_TRUE(WriteWholeFile(control, "1 stopped\n"));
    WatchPlayback(hwnd);
    std::string three = Chapter(movie, 3);
    EXPECT_EQ(Events(), Lines({"TRCheckMPEG 1", "01 - Opening MPEG file " + three, "TROpenMPEG 1 " + three}));
    EXPECT_EQ(record->repeat[1], 0);
    EXPECT_EQ(MpegTable.playState[1], MPEG_STOPPED);
    WatchPlayback(hwnd);
    EXPECT_EQ(Events(), Lines()) << "a stopped board is not polled";

    PlayChapter(1, 4);
    record->currentChapter = 5;
    record->repeat[1] = 1;
    ASSERT_TRUE(WriteWholeFile(control, "1 stopped\n"));
    WatchPlayback(hwnd);
    EXPECT_EQ(Events(), Lines({"TRCheckMPEG 1"})) << "no chapter 5: the board stays stopped";
    EXPECT_EQ(record->repeat[1], 1);
}

TEST_F(Playback, BoardsOfAnotherCountAreLeftAlone)
{
    MpegTable.playState[0] = MPEG_PLAYING;
    MpegTable.playState[2] = MPEG_PLAYING;
    WatchPlayback(hwnd);
    EXPECT_EQ(Events(), Lines({"TRCheckMPEG 0"})) << "board 2 was not found";
    FreeMpegDriver(&MpegTable);
    MpegTable.boardCount = 0;
    Events();
    WatchPlayback(hwnd);
    EXPECT_EQ(Events(), Lines());
}

}  // namespace
