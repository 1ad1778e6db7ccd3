// Board driver libraries KSmpeg and OSmpeg on the bench decoder: exports,
// decoder settings, every entry point's SDK calls (from the decoder's
// journal) and table changes, the differences between the two libraries,
// and playback timing.
#include "tests/unit/drivers/driverfixture.h"

#include <limits.h>

namespace {

const Lines kDefaultSystemSetup = {
    "rtdSetParams 256 36 1 -> 0",     "rtdSetParams 256 7 1 -> 0",     "rtdSetParams 256 4108 25 -> 0",
    "rtdSetParams 256 24577 1 -> 0",  "rtdSetParams 256 4109 0 -> 0",  "rtdInitSystem 0 \"c:\\\" 0 -> 2",
};

// -- exports --------------------------------------------------------------------

TEST_F(DriverTest, EachLibraryExportsItsNineteenPlainNamesOnly)
{
    for (const DriverVariant *variant : {&kVideoQuest, &kVideoPlex}) {
        ASSERT_TRUE(Load(*variant));
        const char *other = variant->videoQuest ? "OS" : "KS";
        for (const char *slot : kSlotNames) {
            std::string foreign = std::string(other) + slot + "MPEG";
            std::string decorated = std::string("_") + variant->prefix + slot + "MPEG";
            EXPECT_EQ(GetProcAddress(module, foreign.c_str()), nullptr) << variant->library << " " << foreign;
            EXPECT_EQ(GetProcAddress(module, decorated.c_str()), nullptr) << variant->library << " " << decorated;
        }
        Unload();
    }
}

// -- decoder settings ---------------------------------------------------------------

TEST_F(DriverTest, InitMpegSetsSystemParametersInOrderThenInitialisesTheSystem)
{
    ASSERT_TRUE(Load(kVideoQuest));
    for (int board = 0; board < MPEG_MAX_BOARDS; board++)
        table.playState[board] = MPEG_PLAYING;
    table.boardCount = 77;
    table.InitMPEG(&table);
    EXPECT_EQ(journal.all(), kDefaultSystemSetup) << Listing(journal.all());
    EXPECT_EQ(table.boardCount, 2);
    for (int board = 0; board < MPEG_MAX_BOARDS; board++)
        EXPECT_EQ(table.playState[board], MPEG_IDLE) << "board " << board;
}

TEST_F(DriverTest, InitMpegReadsTheVendorSettingsFile)
{
    struct Case {
        int line;
        const char *settings;
        Lines expected;
    } cases[] = {
        {__LINE__, "[VideoPlex]\r\nCL_UCODE_VER=1A\r\n",
         {"rtdSetParams 256 36 1 -> 0", "rtdSetParams 256 7 1 -> 0", "rtdSetParams 256 4108 26 -> 0",
          "rtdSetParams 256 24577 1 -> 0", "rtdSetParams 256 4109 0 -> 0", "rtdInitSystem 0 \"c:\\\" 0 -> 2"}},
        // Only two characters are read: "12".
        {__LINE__, "[VideoPlex]\r\nCL_UCODE_VER=123\r\n",
         {"rtdSetParams 256 36 1 -> 0", "rtdSetParams 256 7 1 -> 0", "rtdSetParams 256 4108 18 -> 0",
          "rtdSetParams 256 24577 1 -> 0", "rtdSetParams 256 4109 0 -> 0", "rtdInitSystem 0 \"c:\\\" 0 -> 2"}},
        // Low 16 bits sign-extended for four keys; USE_BKG is passed whole.
        {__LINE__,
         "[VideoPlex]\r\nOptPath=D:\\Vendor\\opt\r\nUSE_PTS=70000\r\nUSE_BKG=70000\r\nPriority=65535\r\n"
         "CL_UCODE_VER=ff\r\nUSE_FILE_INFO=-2\r\nPTS_THRESHOLD=98304\r\n",
         {"rtdSetParams 256 36 -1 -> 0", "rtdSetParams 256 7 4464 -> 0", "rtdSetParams 256 4108 255 -> 0",
          "rtdSetParams 256 24577 -2 -> 0", "rtdSetParams 256 4109 -32768 -> 0",
          "rtdInitSystem 70000 \"D:\\Vendor\\opt\" 0 -> 2"}},
        // Another section counts for nothing.
        {__LINE__, "[Other]\r\nPriority=9\r\nCL_UCODE_VER=1A\r\n", kDefaultSystemSetup},
    };
    for (const Case &c : cases) {
        WriteSettings("videoplx.ini", c.settings);
        ASSERT_TRUE(Load(kVideoQuest));
        journal.mark();
        table.InitMPEG(&table);
        EXPECT_EQ(journal.since(), c.expected) << "case of line " << c.line << "\n" << Listing(journal.since());
        table.FreeMPEG(&table);
        Unload();
    }
}

TEST_F(DriverTest, InitBoardReadsTransferBufferFromTheSecondFileAfreshEachTime)
{
    ASSERT_TRUE(Load(kVideoQuest));
    table.InitMPEG(&table);
    journal.mark();
    table.InitBoardMPEG(&table, 0);
    EXPECT_EQ(journal.first(2),
              (Lines{"rtdSetParams 0 23 262144 -> 0", "rtdSetParams 0 24579 0 -> 0"}));

    // Each key counts only in its own file.
    WriteSettings("videoplx.ini", "[VideoPlex]\r\nBufferSizeTransferToBoard=1\r\nLengthToScanFromEnd=4096\r\n");
    WriteSettings("videplex.ini", "[VideoPlex]\r\nBufferSizeTransferToBoard=300000\r\nLengthToScanFromEnd=7\r\n");
    journal.mark();
    table.InitBoardMPEG(&table, 1);
    EXPECT_EQ(journal.first(2),
              (Lines{"rtdSetParams 1 23 300000 -> 0", "rtdSetParams 1 24579 4096 -> 0"}));
}

TEST_F(DriverTest, BoardWaitIsFiveSecondsUnlessTheEnvironmentSaysOtherwise)
{
    struct Case {
        int line;
        const char *wait;
        double atLeast, below;
    } cases[] = {
        {__LINE__, "300", 290, 2500},
        {__LINE__, "0", 0, 1000},
        {__LINE__, NULL, 4950, 9000},
        {__LINE__, "soon", 4950, 9000},
    };
    for (const Case &c : cases) {
        SetEnvironmentVariableA("HALCYRA_BOARD_WAIT_MS", c.wait);
        ASSERT_TRUE(Load(kVideoPlex));
        table.InitMPEG(&table);
        double started = ClockMs();
        table.InitBoardMPEG(&table, 0);
        double elapsed = ClockMs() - started;
        EXPECT_GE(elapsed, c.atLeast) << "case of line " << c.line;
        EXPECT_LT(elapsed, c.below) << "case of line " << c.line;
        Unload();
    }
}

// -- board bring-up and take-down ------------------------------------------------------

TEST_F(DriverTest, InitBoardPassesTheCodesOfVideoStandardStreamAndSync)
{
    struct Case {
        int line;
        int16_t videoMode, streamType;
        int32_t syncMode;
        const char *initBoard;
    } cases[] = {
        {__LINE__, 2, 2, 1, "rtdInitBoard 0 200 13 0 1 -> 0"},
        {__LINE__, 4, 8, 2, "rtdInitBoard 0 200 3 4 0 -> 0"},
        {__LINE__, 8, 16, 1, "rtdInitBoard 0 200 9 2 1 -> 0"},
        {__LINE__, 16, 4, 2, "rtdInitBoard 0 200 5 1 0 -> 0"},
        {__LINE__, 0, 0, 0, "rtdInitBoard 0 200 5 1 1 -> 0"},
        {__LINE__, 3, 32, 7, "rtdInitBoard 0 200 5 1 1 -> 0"},
    };
    ASSERT_TRUE(Load(kVideoQuest));
    table.InitMPEG(&table);
    for (const Case &c : cases) {
        table.videoMode[0] = c.videoMode;
        table.streamType[0] = c.streamType;
        table.syncMode[0] = c.syncMode;
        table.playState[0] = MPEG_IDLE;
        journal.mark();
        table.InitBoardMPEG(&table, 0);
        Lines expected = {"rtdSetParams 0 23 262144 -> 0", "rtdSetParams 0 24579 0 -> 0",
                                             c.initBoard,
                                             "rtdSetParams 0 16386 192 -> 0", "rtdSetParams 0 16385 224 -> 0",
                                             "rtdSetParams 0 8193 1 -> 0"};
        EXPECT_EQ(journal.since(), expected) << "case of line " << c.line << "\n" << Listing(journal.since());
        EXPECT_EQ(table.playState[0], MPEG_READY) << "case of line " << c.line;
    }
}

TEST_F(DriverTest, InitBoardFreesAndClosesOnlyABoardWithAnActiveStream)
{
    struct Case {
        int line;
        int32_t state;
        bool freedFirst;
    } cases[] = {
        {__LINE__, MPEG_IDLE, false},    {__LINE__, MPEG_READY, false},       {__LINE__, MPEG_STOPPED, false},
        {__LINE__, MPEG_PLAYING, true},  {__LINE__, MPEG_STILL, true},        {__LINE__, MPEG_FILE_STARTED, true},
    };
    ASSERT_TRUE(Load(kVideoQuest));
    table.InitMPEG(&table);
    for (const Case &c : cases) {
        table.playState[1] = c.state;
        journal.mark();
        table.InitBoardMPEG(&table, 1);
        Lines lines = journal.since();
        ASSERT_GE(lines.size(), c.freedFirst ? 5u : 3u) << "case of line " << c.line << "\n" << Listing(lines);
        if (c.freedFirst) {
            EXPECT_EQ(lines[2], "rtdFreeBoard 1 -> 0") << "case of line " << c.line;
            EXPECT_EQ(lines[3], "rtdClose 1 -> 0") << "case of line " << c.line;
            EXPECT_EQ(lines[4].compare(0, 15, "rtdInitBoard 1 "), 0) << "case of line " << c.line;
        } else {
            EXPECT_EQ(lines[2].compare(0, 15, "rtdInitBoard 1 "), 0) << "case of line " << c.line << "\n"
                                                                     << Listing(lines);
        }
        EXPECT_EQ(table.playState[1], MPEG_READY) << "case of line " << c.line;
    }
}

TEST_F(DriverTest, InitBoardRefusedByTheDecoderKeepsTheStateAndDoesNotWait)
{
    SetEnvironmentVariableA("HALCYRA_BOARD_WAIT_MS", "3000");
    ASSERT_TRUE(Load(kVideoQuest));
    table.InitMPEG(&table);
    table.boardCount = 3;  // one more than the decoder has
    table.playState[2] = MPEG_STOPPED;
    journal.mark();
    DWORD started = GetTickCount();
    table.InitBoardMPEG(&table, 2);
    EXPECT_LT(GetTickCount() - started, 2000u);
    Lines expected = {"rtdSetParams 2 23 262144 -> -1", "rtdSetParams 2 24579 0 -> -1",
                                         "rtdInitBoard 2 200 5 1 1 -> -1"};
    EXPECT_EQ(journal.since(), expected) << Listing(journal.since());
    EXPECT_EQ(table.playState[2], MPEG_STOPPED);
}

TEST_F(DriverTest, CheckedEntryPointsIgnoreBoardsOutsideTheCount)
{
    BringUp(kVideoQuest);
    std::string path = StreamPath("two.mpg");
    MpegDriverTable before = table;
    for (int board : {2, 15, 16, -1, INT_MIN}) {
        table.InitBoardMPEG(&table, board);
        table.FreeBoardMPEG(&table, board);
        table.DisplayImageMPEG(&table, board, path.c_str());
        table.OpenMPEG(&table, board, path.c_str());
        table.CheckMPEG(&table, board);
    }
    EXPECT_EQ(journal.since(), Lines()) << Listing(journal.since());
    EXPECT_EQ(memcmp(&before, &table, sizeof table), 0);
}

TEST_F(DriverTest, FreeBoardAndFreeSystem)
{
    BringUp(kVideoPlex);
    table.playState[1] = MPEG_PLAYING;
    table.FreeBoardMPEG(&table, 1);
    EXPECT_EQ(table.playState[1], MPEG_IDLE);
    table.FreeMPEG(&table);
    Lines expected = {"rtdFreeBoard 1 -> 0", "rtdFreeSystem -> 0"};
    EXPECT_EQ(journal.since(), expected) << Listing(journal.since());
}

TEST_F(DriverTest, DisplayImagePausesAndLoadsTheImageInTheBoardsStandard)
{
    std::string image = WorkPath("opening.ybr");
    WriteWholeFile(image, "still image");
    BringUp(kVideoQuest);
    table.videoMode[1] = 2;
    table.playState[1] = MPEG_PLAYING;
    table.DisplayImageMPEG(&table, 1, image.c_str());
    EXPECT_EQ(table.playState[1], MPEG_STOPPED);
    Lines expected = {"rtdPause 1 -> 0", "rtdLoadImage 1 \"" + image + "\" -1 13 -> 0"};
    EXPECT_EQ(journal.since(), expected) << Listing(journal.since());

    journal.mark();
    table.playState[1] = MPEG_PLAYING;
    table.DisplayImageMPEG(&table, 1, "");
    EXPECT_EQ(table.playState[1], MPEG_PLAYING);
    EXPECT_EQ(journal.since(), Lines());
    DeleteFileA(image.c_str());
}

// -- opening and playing ---------------------------------------------------------------

TEST_F(DriverTest, OpenRefusesANameTooLongForTheTable)
{
    for (const DriverVariant *variant : {&kVideoQuest, &kVideoPlex}) {
        BringUp(*variant);
        memset(table.openedFile[0], 'x', MPEG_PATH_SIZE - 1);
        table.openedFile[0][MPEG_PATH_SIZE - 1] = '\0';
        table.totalFrames[0] = 321;
        std::string longName = "D:\\Movie\\" + std::string(MPEG_PATH_SIZE - 9, 'a');  // 256 characters
        MpegDriverTable before = table;
        table.OpenMPEG(&table, 0, longName.c_str());
        EXPECT_EQ(journal.since(), Lines()) << variant->library << "\n" << Listing(journal.since());
        EXPECT_EQ(memcmp(&before, &table, sizeof table), 0) << variant->library;

        std::string longest = longName.substr(0, MPEG_PATH_SIZE - 1);
        table.OpenMPEG(&table, 0, longest.c_str());
        EXPECT_STREQ(table.openedFile[0], longest.c_str()) << variant->library;
        EXPECT_EQ(journal.first(1), Lines{"rtdOpen 0 \"" + longest + "\" 0 -> -2"}) << variant->library;
        Unload();
    }
}

TEST_F(DriverTest, PlaySetsTheSpeedBeforeTheBoardCheck)
{
    BringUp(kVideoQuest);
    table.PlayMPEG(&table, 5, 0, MPEG_PLAY_END, 0);
    table.PlayMPEG(&table, -1, 0, MPEG_PLAY_END, 0);
    Lines expected = {"rtdSetParams 5 12 3 -> -1", "rtdSetParams -1 12 3 -> -1"};
    EXPECT_EQ(journal.since(), expected) << Listing(journal.since());
}

TEST_F(DriverTest, PlayStartsABoardBelowPlayingOnly)
{
    struct Case {
        int line;
        int32_t state;
        int start;
        const char *play;  // null: no rtdPlay
    } cases[] = {
        {__LINE__, MPEG_STOPPED, MPEG_PLAY_CONTINUE, "rtdPlay 0 2147483646 2147483647 3 -> 0"},
        {__LINE__, MPEG_READY, 0, "rtdPlay 0 0 2147483647 3 -> 0"},
        {__LINE__, MPEG_IDLE, 1234, "rtdPlay 0 0 2147483647 3 -> 0"},
        {__LINE__, MPEG_PLAYING, 0, NULL},
        {__LINE__, MPEG_STILL, MPEG_PLAY_CONTINUE, NULL},
        {__LINE__, MPEG_FILE_STARTED, 0, NULL},
    };
    BringUp(kVideoQuest);
    std::string path = StreamPath("sixty.mpg");
    table.OpenMPEG(&table, 0, path.c_str());
    for (const Case &c : cases) {
        table.playState[0] = c.state;
        table.playingFile[0][0] = '\0';
        journal.mark();
        table.PlayMPEG(&table, 0, c.start, MPEG_PLAY_END, 0);
        Lines expected = {"rtdSetParams 0 12 3 -> 0"};
        if (c.play) {
            expected.push_back("rtdSetParams 0 6 0 -> 0");
            expected.push_back(c.play);
        }
        EXPECT_EQ(journal.since(), expected) << "case of line " << c.line << "\n" << Listing(journal.since());
        EXPECT_EQ(table.playState[0], c.play ? MPEG_PLAYING : c.state) << "case of line " << c.line;
        EXPECT_STREQ(table.playingFile[0], path.c_str()) << "case of line " << c.line;
    }
}

// -- operations without a board check -----------------------------------------------------

TEST_F(DriverTest, UncheckedEntryPointsActOnAnyTableRow)
{
    BringUp(kVideoQuest);
    std::string name = StreamPath("one.mpg");
    strcpy(table.playingFile[5], name.c_str());
    table.StillMPEG(&table, 5);
    EXPECT_EQ(table.playState[5], MPEG_STILL);
    table.playState[5] = MPEG_PLAYING;
    table.StepMPEG(&table, 5);
    EXPECT_EQ(table.playState[5], MPEG_STILL);
    table.StopMPEG(&table, 5);
    EXPECT_EQ(table.playState[5], MPEG_STOPPED);
    EXPECT_STREQ(table.playingFile[5], "");
    EXPECT_EQ(table.GetFrameMPEG(&table, 5), 0);
    table.FastMPEG(&table, 0);
    table.SlowMPEG(&table, 1);
    Lines expected = {
        "rtdPause 5 -> -1",         "rtdSingle 5 -> -1",       "rtdSetParams 5 6 0 -> -1", "rtdSetParams 5 6 0 -> -1",
        "rtdGetParams 5 16 -> -1 0", "rtdSetParams 0 12 7 -> 0", "rtdSetParams 1 12 11 -> 0"};
    EXPECT_EQ(journal.since(), expected) << Listing(journal.since());
}

TEST_F(DriverTest, UncheckedEntryPointsRefuseBoardsOutsideTheTable)
{
    BringUp(kVideoQuest);
    MpegDriverTable before = table;
    for (int board : {16, 17, 1000, -1, INT_MIN}) {
        table.StopMPEG(&table, board);
        table.StillMPEG(&table, board);
        table.StepMPEG(&table, board);
        EXPECT_EQ(table.GetFrameMPEG(&table, board), 0);
        table.SetFrameMPEG(&table, board, 7);
        table.SlowMPEG(&table, board);
        table.FastMPEG(&table, board);
        table.BlankMPEG(&table, board, 1);
        table.MuteMPEG(&table, board, 1);
        table.SetVideoOutputMPEG(&table, board, 2);
        table.GenlockMPEG(&table, board, 0);
    }
    EXPECT_EQ(journal.since(), Lines()) << Listing(journal.since());
    EXPECT_EQ(memcmp(&before, &table, sizeof table), 0);
}

TEST_F(DriverTest, BlankAndMuteTreatAnyNonZeroAsOne)
{
    struct Case {
        int line;
        int value;
        int sent;
    } cases[] = {{__LINE__, 0, 0}, {__LINE__, 1, 1}, {__LINE__, 2, 1}, {__LINE__, -1, 1}, {__LINE__, 0x10000, 1}};
    BringUp(kVideoPlex);
    for (const Case &c : cases) {
        journal.mark();
        table.BlankMPEG(&table, 1, c.value);
        table.MuteMPEG(&table, 1, c.value);
        Lines expected = {"rtdSetParams 1 8198 " + std::to_string(c.sent) + " -> 0",
                                             "rtdSetParams 1 12291 " + std::to_string(c.sent) + " -> 0"};
        EXPECT_EQ(journal.since(), expected) << "case of line " << c.line;
    }
}

TEST_F(DriverTest, GenlockSelectsTheVideoSource)
{
    struct Case {
        int line;
        int mode;
        const char *sent;  // null: nothing
    } cases[] = {{__LINE__, 0, "rtdSetParams 0 8193 1 -> 0"},
                 {__LINE__, 1, "rtdSetParams 0 8193 0 -> 0"},
                 {__LINE__, 2, NULL},
                 {__LINE__, -1, NULL}};
    BringUp(kVideoQuest);
    for (const Case &c : cases) {
        journal.mark();
        table.GenlockMPEG(&table, 0, c.mode);
        Lines expected;
        if (c.sent)
            expected.push_back(c.sent);
        EXPECT_EQ(journal.since(), expected) << "case of line " << c.line;
    }
}

TEST_F(DriverTest, GetFrameReturnsTheDecodersCurrentFrame)
{
    BringUp(kVideoQuest);
    std::string path = StreamPath("sixty.mpg");
    table.OpenMPEG(&table, 1, path.c_str());
    table.PlayMPEG(&table, 1, 0, MPEG_PLAY_END, 0);
    table.CheckMPEG(&table, 1);
    table.StillMPEG(&table, 1);
    for (int i = 0; i < 3; i++)
        table.StepMPEG(&table, 1);
    journal.mark();
    EXPECT_EQ(table.GetFrameMPEG(&table, 1), 3);
    EXPECT_EQ(journal.since(), Lines{"rtdGetParams 1 16 -> 0 3"});
}

// -- the differences between the libraries ------------------------------------------------

TEST_F(DriverTest, DifferenceOpenReadsTheFileLengthOnVideoQuestOnly)
{
    for (const DriverVariant *variant : {&kVideoQuest, &kVideoPlex}) {
        BringUp(*variant);
        std::string path = StreamPath("sixty.mpg");
        table.totalFrames[0] = 777;
        table.playState[0] = MPEG_READY;
        table.OpenMPEG(&table, 0, path.c_str());
        Lines expected = {"rtdOpen 0 \"" + path + "\" 0 -> 0"};
        if (variant->videoQuest)
            expected.push_back("rtdFileInfo \"" + path + "\" -> 0 1500");
        EXPECT_EQ(journal.since(), expected) << variant->library << "\n" << Listing(journal.since());
        EXPECT_EQ(table.totalFrames[0], variant->videoQuest ? 1500 : 777) << variant->library;
        EXPECT_STREQ(table.openedFile[0], path.c_str()) << variant->library;
        EXPECT_EQ(table.playState[0], MPEG_READY) << variant->library;
        Unload();
    }
}

TEST_F(DriverTest, DifferencePlayEmptiesTheOpenedNameOnVideoPlexOnly)
{
    for (const DriverVariant *variant : {&kVideoQuest, &kVideoPlex}) {
        BringUp(*variant);
        std::string path = StreamPath("sixty.mpg");
        table.OpenMPEG(&table, 0, path.c_str());
        table.PlayMPEG(&table, 0, MPEG_PLAY_CONTINUE, MPEG_PLAY_END, 0);
        EXPECT_STREQ(table.playingFile[0], path.c_str()) << variant->library;
        EXPECT_STREQ(table.openedFile[0], variant->videoQuest ? path.c_str() : "") << variant->library;

        // Play again on the still board: the name of the file it plays stays.
        table.StillMPEG(&table, 0);
        table.PlayMPEG(&table, 0, MPEG_PLAY_CONTINUE, MPEG_PLAY_END, 0);
        EXPECT_STREQ(table.playingFile[0], path.c_str()) << variant->library;
        Unload();
    }
}

TEST_F(DriverTest, DifferenceCheckEmptiesTheOpenedNameOnVideoPlexOnly)
{
    SetEnvironmentVariableA("RTDSIM_TIME_SCALE", "20");
    for (const DriverVariant *variant : {&kVideoQuest, &kVideoPlex}) {
        BringUp(*variant);
        std::string first = StreamPath("one.mpg"), second = StreamPath("two.mpg");
        table.OpenMPEG(&table, 0, first.c_str());
        table.PlayMPEG(&table, 0, 0, MPEG_PLAY_END, 0);
        table.OpenMPEG(&table, 0, second.c_str());
        PollWhileState(0, MPEG_PLAYING, GetTickCount(), 5000);
        ASSERT_EQ(table.playState[0], MPEG_FILE_STARTED) << variant->library;
        EXPECT_STREQ(table.playingFile[0], second.c_str()) << variant->library;
        EXPECT_STREQ(table.openedFile[0], variant->videoQuest ? second.c_str() : "") << variant->library;

        table.playState[0] = MPEG_PLAYING;
        PollWhileState(0, MPEG_PLAYING, GetTickCount(), 5000);
        ASSERT_EQ(table.playState[0], MPEG_STOPPED) << variant->library;
        EXPECT_STREQ(table.playingFile[0], variant->videoQuest ? second.c_str() : "") << variant->library;
        EXPECT_STREQ(table.openedFile[0], variant->videoQuest ? second.c_str() : "") << variant->library;
        EXPECT_EQ(journal.count("rtdContinue 0 -> 257"), 1u) << variant->library;
        EXPECT_EQ(journal.count("rtdContinue 0 -> 258"), 1u) << variant->library;
        Unload();
    }
}

TEST_F(DriverTest, DifferenceStopEmptiesBothNamesOnVideoPlex)
{
    for (const DriverVariant *variant : {&kVideoQuest, &kVideoPlex}) {
        BringUp(*variant);
        strcpy(table.playingFile[1], "D:\\Movie\\playing.mpg");
        strcpy(table.openedFile[1], "D:\\Movie\\queued.mpg");
        table.playState[1] = MPEG_PLAYING;
        table.StopMPEG(&table, 1);
        EXPECT_EQ(table.playState[1], MPEG_STOPPED);
        EXPECT_STREQ(table.playingFile[1], "") << variant->library;
        EXPECT_STREQ(table.openedFile[1], variant->videoQuest ? "D:\\Movie\\queued.mpg" : "") << variant->library;
        Lines expected = {"rtdSetParams 1 6 0 -> 0", "rtdSetParams 1 6 0 -> 0"};
        EXPECT_EQ(journal.since(), expected) << variant->library;
        Unload();
    }
}

TEST_F(DriverTest, DifferenceVideoOutputReachesVideoQuestBoardsOnly)
{
    struct Case {
        int line;
        int outputStd;
        int sent;
    } cases[] = {{__LINE__, 2, 2}, {__LINE__, 1, 1}, {__LINE__, 0, 1}, {__LINE__, 3, 1}};
    for (const DriverVariant *variant : {&kVideoQuest, &kVideoPlex}) {
        BringUp(*variant);
        for (const Case &c : cases) {
            journal.mark();
            table.SetVideoOutputMPEG(&table, 0, c.outputStd);
            Lines expected;
            if (variant->videoQuest)
                expected.push_back("rtdSetParams 0 8196 " + std::to_string(c.sent) + " -> 0");
            EXPECT_EQ(journal.since(), expected) << variant->library << " case of line " << c.line;
        }
        Unload();
    }
}

// -- playback in real time --------------------------------------------------------------------

TEST_F(DriverTest, TwoSecondFileEndsAfterTwoSecondsAndAQueuedFileStartsWhenItEnds)
{
    BringUp(kVideoQuest);
    std::string first = StreamPath("two.mpg"), second = StreamPath("one.mpg");
    table.OpenMPEG(&table, 0, first.c_str());
    DWORD started = GetTickCount();
    table.PlayMPEG(&table, 0, 0, MPEG_PLAY_END, 0);
    DWORD ended = PollWhileState(0, MPEG_PLAYING, started, 5000);
    EXPECT_EQ(table.playState[0], MPEG_STOPPED);
    EXPECT_GE(ended, 1900u);
    EXPECT_LE(ended, 2100u);

    table.OpenMPEG(&table, 0, first.c_str());
    started = GetTickCount();
    table.PlayMPEG(&table, 0, 0, MPEG_PLAY_END, 0);
    table.OpenMPEG(&table, 0, second.c_str());
    DWORD begun = PollWhileState(0, MPEG_PLAYING, started, 5000);
    EXPECT_EQ(table.playState[0], MPEG_FILE_STARTED);
    EXPECT_STREQ(table.playingFile[0], second.c_str());
    EXPECT_GE(begun, 1900u);
    EXPECT_LE(begun, 2100u);
    table.playState[0] = MPEG_PLAYING;
    ended = PollWhileState(0, MPEG_PLAYING, started, 6000);
    EXPECT_EQ(table.playState[0], MPEG_STOPPED);
    EXPECT_GE(ended, 2900u);
    EXPECT_LE(ended, 3150u);
    EXPECT_EQ(journal.count("rtdContinue 0 -> 257"), 1u);
    EXPECT_EQ(journal.count("rtdContinue 0 -> 258"), 2u);
}

}  // namespace
