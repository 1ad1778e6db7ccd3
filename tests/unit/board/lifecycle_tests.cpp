// The boards at start-up and shut-down: BringUpBoards, OpenChapterZero and
// TakeDownBoards against the recording TRmpeg.dll, whose journal shares one
// file with the trace log so that the order of lines and calls shows.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/instance.h"
#include "app/lifecycle.h"
#include "app/text.h"
#include "board/board.h"
#include "commcapture.h"
#include "player/chapters.h"
#include "player/player.h"
#include "recordwindow.h"
#include "testfiles.h"
#include "trmpeg_support.h"

namespace {

class BoardLifecycle : public RecordWindowTest {
protected:
    std::string events = WorkPath("lifecycle-events.txt");

    void SetUp() override
    {
        RecordWindowTest::SetUp();
        Settings &s = record->settings;
        CopyText(s.traceFile, sizeof s.traceFile, events.c_str());
        CopyText(s.startUpImage, sizeof s.startUpImage, "C:\\Stills\\open.ybr");
        CopyText(s.closeDownImage, sizeof s.closeDownImage, "C:\\Stills\\close.ybr");
        s.boardType = BOARD_TYPE_THIRD;
        s.fifoLimit = 2048;
        s.videoMode = 0x10000 | VIDEO_PAL_443;      // only the low 16 bits reach the table
        s.streamType = 0x30000 | STREAM_SYSTEM;
        s.syncMode = SYNC_EXTERNAL;
        s.outputStd = OUTPUT_RGB;
        SetEnvironmentVariableA("TRMPEG_JOURNAL", events.c_str());
        SetEnvironmentVariableA("TRMPEG_CONTROL", NULL);
        SetEnvironmentVariableA("TRMPEG_BOARDS", "2");
        ASSERT_TRUE(InstallTrmpeg());
        TakeLines(events);
    }

    void TearDown() override
    {
        FreeChapterTable(hwnd);
        FreeMpegDriver(&MpegTable);
        memset(&MpegTable, 0, sizeof MpegTable);
        RemoveTrmpeg();
        RecordWindowTest::TearDown();
    }
};

TEST_F(BoardLifecycle, BringUpCopiesTheSettingsBeforeEachBoardStarts)
{
    BringUpBoards(hwnd);
    EXPECT_EQ(TakeLines(events), Lines({
                                     "TRInitMPEG unset=18",
                                     "Found 2 MPEG Board(s)",
                                     "Initialising MPEG Board 0",
                                     "TRInitBoardMPEG 0 video=16 sync=2 stream=4",
                                     "TRSetVideoOutputMPEG 0 2",
                                     "00 - Displaying opening image <C:\\Stills\\open.ybr>",
                                     "TRDisplayImageMPEG 0 C:\\Stills\\open.ybr",
                                     "Initialising MPEG Board 1",
                                     "TRInitBoardMPEG 1 video=16 sync=2 stream=4",
                                     "TRSetVideoOutputMPEG 1 2",
                                     "01 - Displaying opening image <C:\\Stills\\open.ybr>",
                                     "TRDisplayImageMPEG 1 C:\\Stills\\open.ybr",
                                 }));
    EXPECT_EQ(MpegTable.boardType, BOARD_TYPE_THIRD);
    EXPECT_EQ(MpegTable.fifoLimit, 2048);
    EXPECT_EQ(MpegTable.playState[0], MPEG_STOPPED);
    EXPECT_EQ(MpegTable.playState[1], MPEG_STOPPED);
    EXPECT_EQ(MpegTable.videoMode[2], 0) << "no copy for a board that was not found";
}

TEST_F(BoardLifecycle, TakeDownShowsTheClosingImageAndFreesEachBoardThenTheSystem)
{
    BringUpBoards(hwnd);
    TakeLines(events);
    TakeDownBoards(hwnd);
    EXPECT_EQ(TakeLines(events), Lines({
                                     "00 - Displaying closing image <C:\\Stills\\close.ybr>",
                                     "TRDisplayImageMPEG 0 C:\\Stills\\close.ybr",
                                     "Free MPEG Board 0",
                                     "TRFreeBoardMPEG 0",
                                     "01 - Displaying closing image <C:\\Stills\\close.ybr>",
                                     "TRDisplayImageMPEG 1 C:\\Stills\\close.ybr",
                                     "Free MPEG Board 1",
                                     "TRFreeBoardMPEG 1",
                                     "Free MPEG system",
                                     "TRFreeMPEG",
                                 }));
    EXPECT_EQ(MpegTable.hLibrary, (HMODULE)NULL);
}

TEST_F(BoardLifecycle, NoLibraryMeansNoBoardLines)
{
    struct Case {
        const char *what;
        int boardType;
        bool libraryPresent;
    };
    const Case cases[] = {
        {"board type 1 without TRmpeg.dll", BOARD_TYPE_THIRD, false},
        {"board type 5", 5, true},
        {"board type 0", 0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.libraryPresent)
            ASSERT_TRUE(InstallTrmpeg());
        else
            RemoveTrmpeg();
        record->settings.boardType = c.boardType;
        BringUpBoards(hwnd);
        EXPECT_EQ(TakeLines(events), Lines({"Found 0 MPEG Board(s)"}));
        TakeDownBoards(hwnd);
        EXPECT_EQ(TakeLines(events), Lines({"Free MPEG system"}));
    }
}

TEST_F(BoardLifecycle, BringUpStopsAtSixteenBoards)
{
    SetEnvironmentVariableA("TRMPEG_BOARDS", "20");
    BringUpBoards(hwnd);
    Lines lines = TakeLines(events);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "Found 16 MPEG Board(s)");
    ASSERT_EQ(lines.size(), 2u + 16 * 5);
    EXPECT_EQ(lines[2 + 15 * 5], "Initialising MPEG Board 15");
    EXPECT_EQ(lines.back(), "TRDisplayImageMPEG 15 C:\\Stills\\open.ybr");
}

TEST_F(BoardLifecycle, ChapterZeroOpensOnEveryBoard)
{
    CreateDirectoryA("lifecycle-movie", NULL);
    ASSERT_TRUE(WriteWholeFile("lifecycle-movie\\b.mpg", "b"));
    ASSERT_TRUE(WriteWholeFile("lifecycle-movie\\a.mpg", "a"));
    CopyText(record->settings.defaultMpeg, sizeof record->settings.defaultMpeg, "lifecycle-movie\\*.mpg");
    BringUpBoards(hwnd);
    BuildChapterTable(hwnd);
    record->currentChapter = 1;
    record->addressMode = ADDRESS_CHAPTER;
    record->currentBoard = 1;
    record->repeat[0] = record->repeat[1] = 1;
    TakeLines(events);
    OpenChapterZero(hwnd);
    EXPECT_EQ(TakeLines(events), Lines({
                                     "00 - Opening MPEG file lifecycle-movie\\a.mpg",
                                     "TROpenMPEG 0 lifecycle-movie\\a.mpg",
                                     "01 - Opening MPEG file lifecycle-movie\\a.mpg",
                                     "TROpenMPEG 1 lifecycle-movie\\a.mpg",
                                 }));
    EXPECT_EQ(record->currentChapter, 0);
    EXPECT_EQ(record->addressMode, ADDRESS_FRAME);
    EXPECT_EQ(record->currentBoard, 0);
    EXPECT_EQ(record->repeat[0], 0);
    EXPECT_EQ(record->repeat[1], 0);

    FreeChapterTable(hwnd);
    CopyText(record->settings.defaultMpeg, sizeof record->settings.defaultMpeg, "lifecycle-movie\\*.none");
    BuildChapterTable(hwnd);
    record->currentBoard = 1;
    OpenChapterZero(hwnd);
    EXPECT_EQ(TakeLines(events), Lines()) << "no chapter 0: nothing is opened";
    EXPECT_EQ(record->currentBoard, 0);
    SendStartupAck(hwnd);
    EXPECT_EQ(TakeCapturedReplies(), std::string("\x0A"));
}

}  // namespace
