// Board driver interface: the loader and unloader and the 17 wrappers,
// against the recording TRmpeg.dll and without it.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>

#include <string>
#include <vector>

#include "board/board.h"
#include "testfiles.h"
#include "trmpeg_support.h"

namespace {

class BoardDriver : public ::testing::Test {
public:
    std::string journal = WorkPath("board-journal.txt");
    std::string control = WorkPath("board-control.txt");

    void SetUp() override
    {
        SetEnvironmentVariableA("TRMPEG_JOURNAL", journal.c_str());
        SetEnvironmentVariableA("TRMPEG_CONTROL", control.c_str());
        SetEnvironmentVariableA("TRMPEG_BOARDS", "2");
        ASSERT_TRUE(InstallTrmpeg()) << GetLastError();
        TakeLines(journal);
        DeleteFileA(control.c_str());
    }

    void TearDown() override
    {
        FreeMpegDriver(&MpegTable);
        memset(&MpegTable, 0, sizeof MpegTable);
        RemoveTrmpeg();
    }

    void Load(int boardType)
    {
        MpegTable.boardType = boardType;
        LoadMpegDriver(&MpegTable);
    }
};

// Calls the 17 wrappers, each with arguments a library would journal;
// returns what the four that pass a result on gave: MpegOpen, MpegPlay,
// MpegGetFrame and MpegSetFrame.
std::vector<int> CallEveryWrapper()
{
    MpegInitBoard(0);
    MpegFreeBoard(0);
    MpegDisplayImage(0, "image.ybr");
    MpegCheck(0);
    MpegStop(0);
    MpegStill(0);
    MpegStep(0);
    MpegSlow(0);
    MpegSetVideoOutput(0, 2);
    MpegBlank(0, 1);
    MpegFast(0);
    MpegMute(0, 1);
    MpegGenlock(0, 1);
    return {MpegOpen(0, "a.mpg"), MpegPlay(0, 0, 999999999, 0), MpegGetFrame(0), MpegSetFrame(0, 100)};
}

TEST_F(BoardDriver, WrappersAnswerTheirNotCalledValues)
{
    struct Case {
        const char *what;
        void (*prepare)(BoardDriver *test);
        int openResult;
    };
    const Case cases[] = {
        {"no library loaded yet", [](BoardDriver *) {}, -1},
        {"board type 5", [](BoardDriver *t) { t->Load(5); }, -1},
        {"board type 0", [](BoardDriver *t) { t->Load(0); }, -1},
        {"board type -1", [](BoardDriver *t) { t->Load(-1); }, -1},
        {"board type 1 without TRmpeg.dll", [](BoardDriver *t) { RemoveTrmpeg(); t->Load(1); }, -2},
        {"library that has only InitMPEG", [](BoardDriver *t) {
             ASSERT_TRUE(InstallTrmpeg(true));
             t->Load(1);
             ASSERT_NE(MpegTable.hLibrary, (HMODULE)NULL);
         }, -2},
        {"library loaded, then board type 7", [](BoardDriver *t) { t->Load(1); MpegTable.boardType = 7; }, -1},
        {"library released", [](BoardDriver *t) { t->Load(1); FreeMpegDriver(&MpegTable); }, -2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        c.prepare(this);
        TakeLines(journal);
        EXPECT_EQ(CallEveryWrapper(), std::vector<int>({c.openResult, -1, -1, -1}));
        EXPECT_EQ(TakeLines(journal), Lines()) << "no entry point may be called";
        if (MpegTable.boardType == 7)
            MpegTable.boardType = 1;
        FreeMpegDriver(&MpegTable);
        memset(&MpegTable, 0, sizeof MpegTable);
        ASSERT_TRUE(InstallTrmpeg());
    }
    LoadMpegDriver(NULL);  // a null table is passed over
    FreeMpegDriver(NULL);
}

TEST_F(BoardDriver, LoaderCallsInitMpegBeforeLookingUpTheOthers)
{
    MpegTable.boardCount = 9;
    Load(1);
    ASSERT_NE(MpegTable.hLibrary, (HMODULE)NULL);
    EXPECT_EQ(TakeLines(journal), Lines({"TRInitMPEG unset=18"}));
    EXPECT_EQ(MpegTable.boardCount, 2);
    const void *slots[] = {
        (const void *)MpegTable.InitMPEG, (const void *)MpegTable.FreeMPEG,
        (const void *)MpegTable.InitBoardMPEG, (const void *)MpegTable.FreeBoardMPEG,
        (const void *)MpegTable.DisplayImageMPEG, (const void *)MpegTable.OpenMPEG,
        (const void *)MpegTable.PlayMPEG, (const void *)MpegTable.CheckMPEG,
        (const void *)MpegTable.StopMPEG, (const void *)MpegTable.StillMPEG,
        (const void *)MpegTable.StepMPEG, (const void *)MpegTable.GetFrameMPEG,
        (const void *)MpegTable.SetFrameMPEG, (const void *)MpegTable.SlowMPEG,
        (const void *)MpegTable.SetVideoOutputMPEG, (const void *)MpegTable.BlankMPEG,
        (const void *)MpegTable.FastMPEG, (const void *)MpegTable.MuteMPEG,
        (const void *)MpegTable.GenlockMPEG,
    };
    for (size_t i = 0; i < sizeof slots / sizeof slots[0]; i++)
        EXPECT_NE(slots[i], nullptr) << "slot " << i + 1;
    EXPECT_EQ((const void *)MpegTable.GenlockMPEG,
              (const void *)GetProcAddress(MpegTable.hLibrary, "TRGenlockMPEG"));
}

TEST_F(BoardDriver, LoaderZeroesTheCountAndCutsItToSixteen)
{
    struct Case {
        const char *reported;
        int expected;
    };
    const Case cases[] = {{"0", 0}, {"1", 1}, {"16", 16}, {"17", 16}, {"20", 16}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reported);
        SetEnvironmentVariableA("TRMPEG_BOARDS", c.reported);
        Load(1);
        EXPECT_EQ(MpegTable.boardCount, c.expected);
        FreeMpegDriver(&MpegTable);
    }
    RemoveTrmpeg();
    MpegTable.boardCount = 5;
    Load(1);
    EXPECT_EQ(MpegTable.hLibrary, (HMODULE)NULL);
    EXPECT_EQ(MpegTable.boardCount, 0) << "a library that cannot be loaded finds no board";
    MpegTable.boardCount = 5;
    Load(5);
    EXPECT_EQ(MpegTable.boardCount, 0);
}

TEST_F(BoardDriver, FreeReleasesTheLibraryAndClearsTheSlots)
{
    Load(1);
    HMODULE library = MpegTable.hLibrary;
    ASSERT_NE(library, (HMODULE)NULL);
    TakeLines(journal);
    FreeMpegDriver(&MpegTable);
    EXPECT_EQ(TakeLines(journal), Lines({"TRFreeMPEG"}));
    EXPECT_EQ(MpegTable.hLibrary, (HMODULE)NULL);
    EXPECT_EQ(GetModuleHandleA("TRmpeg"), (HMODULE)NULL) << "the library is unloaded";
    const unsigned char *slots = reinterpret_cast<const unsigned char *>(&MpegTable.InitMPEG);
    for (size_t i = 0; i < 19 * sizeof(void *); i++)
        ASSERT_EQ(slots[i], 0) << "byte " << i << " of the slots";
    MpegStill(0);
    EXPECT_EQ(MpegOpen(0, "a.mpg"), -2);
    FreeMpegDriver(&MpegTable);
    EXPECT_EQ(TakeLines(journal), Lines()) << "nothing is called, and a second free does nothing";
}

TEST_F(BoardDriver, WrappersPassTheirArgumentsAndResults)
{
    Load(1);
    TakeLines(journal);
    MpegInitBoard(1);
    MpegSetVideoOutput(1, 2);
    MpegDisplayImage(1, "C:\\Stills\\a.ybr");
    EXPECT_EQ(MpegOpen(1, "D:\\Movie\\a.mpg"), 0);
    EXPECT_EQ(MpegPlay(1, 2147483646, 999999999, 0), 0);
    MpegCheck(1);
    MpegStill(1);
    MpegStep(1);
    EXPECT_EQ(MpegSetFrame(1, 1234), 1234);
    EXPECT_EQ(MpegGetFrame(1), 1234);
    MpegSlow(1);
    MpegFast(1);
    MpegBlank(1, 1);
    MpegMute(1, 0);
    MpegGenlock(1, 1);
    MpegStop(1);
    MpegFreeBoard(1);
    EXPECT_EQ(TakeLines(journal),
              Lines({"TRInitBoardMPEG 1 video=0 sync=0 stream=0", "TRSetVideoOutputMPEG 1 2",
                     "TRDisplayImageMPEG 1 C:\\Stills\\a.ybr", "TROpenMPEG 1 D:\\Movie\\a.mpg",
                     "TRPlayMPEG 1 2147483646 999999999 0", "TRCheckMPEG 1", "TRStillMPEG 1", "TRStepMPEG 1",
                     "TRSetFrameMPEG 1 1234", "TRGetFrameMPEG 1", "TRSlowMPEG 1", "TRFastMPEG 1",
                     "TRBlankMPEG 1 1", "TRMuteMPEG 1 0", "TRGenlockMPEG 1 1", "TRStopMPEG 1",
                     "TRFreeBoardMPEG 1"}));
}

TEST_F(BoardDriver, PathsTooLongForTheTableAreNotPassedOn)
{
    Load(1);
    TakeLines(journal);
    std::string fits(255, 'f'), tooLong(256, 'l');
    EXPECT_EQ(MpegOpen(0, fits.c_str()), 0);
    MpegDisplayImage(0, fits.c_str());
    EXPECT_EQ(TakeLines(journal), Lines({"TROpenMPEG 0 " + fits, "TRDisplayImageMPEG 0 " + fits}));
    EXPECT_EQ(MpegOpen(0, tooLong.c_str()), -1);
    MpegDisplayImage(0, tooLong.c_str());
    EXPECT_EQ(MpegOpen(0, NULL), -1);
    EXPECT_EQ(TakeLines(journal), Lines());
    EXPECT_STREQ(MpegTable.openedFile[0], fits.c_str());
}

// The double must move the table as the delivered libraries do, or the
// player's tests against it prove nothing.
TEST_F(BoardDriver, RecordingDriverKeepsTheTableContract)
{
    Load(1);
    for (int board = 0; board < MPEG_MAX_BOARDS; board++)
        ASSERT_EQ(MpegTable.playState[board], MPEG_IDLE);
    int *state = &MpegTable.playState[0];
    MpegInitBoard(0);
    EXPECT_EQ(*state, MPEG_READY);
    MpegDisplayImage(0, "");
    EXPECT_EQ(*state, MPEG_READY) << "an empty image name shows nothing";
    MpegDisplayImage(0, "open.ybr");
    EXPECT_EQ(*state, MPEG_STOPPED);
    MpegOpen(0, "a.mpg");
    EXPECT_EQ(*state, MPEG_STOPPED);
    EXPECT_STREQ(MpegTable.openedFile[0], "a.mpg");
    MpegPlay(0, 0, 999999999, 0);
    EXPECT_EQ(*state, MPEG_PLAYING);
    EXPECT_STREQ(MpegTable.playingFile[0], "a.mpg");
    MpegStill(0);
    EXPECT_EQ(*state, MPEG_STILL);
    MpegPlay(0, 0, 999999999, 0);
    EXPECT_EQ(*state, MPEG_STILL) << "play does not restart a board that holds a stream";
    MpegOpen(0, "b.mpg");
    ASSERT_TRUE(WriteWholeFile(control, "1 stopped\n0 started\n0 stopped\n"));
    MpegCheck(0);
    EXPECT_EQ(*state, MPEG_FILE_STARTED);
    EXPECT_STREQ(MpegTable.playingFile[0], "b.mpg");
    MpegTable.playState[0] = MPEG_PLAYING;
    MpegCheck(0);
    EXPECT_EQ(*state, MPEG_STOPPED);
    MpegTable.playState[0] = MPEG_PLAYING;
    MpegCheck(0);
    EXPECT_EQ(*state, MPEG_PLAYING) << "no event left for board 0";
    EXPECT_EQ(TakeLines(control), Lines({"1 stopped"}));
    MpegStop(0);
    EXPECT_EQ(*state, MPEG_STOPPED);
    EXPECT_STREQ(MpegTable.playingFile[0], "");
    MpegStep(0);
    EXPECT_EQ(*state, MPEG_STILL);
    MpegFreeBoard(0);
    EXPECT_EQ(*state, MPEG_IDLE);
    MpegInitBoard(2);
    EXPECT_EQ(MpegTable.playState[2], MPEG_IDLE) << "board 2 was not found";
}

}  // namespace
