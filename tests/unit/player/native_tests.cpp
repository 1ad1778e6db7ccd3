// The native line protocol: its four words in any case, the arguments of
// "SA" with quoted names, the answers, the board range, and the play states
// it sets, against the recording TRmpeg.dll.
#include "player_fixture.h"

namespace {

class Native : public PlayerTest {
protected:
    std::string Line(const char *line)
    {
        InterpretNativeCommand(hwnd, line);
        return TakeCapturedReplies();
    }

    void StartedWithDefaultPattern()
    {
        CopyText(record->settings.defaultMpeg, sizeof record->settings.defaultMpeg, "D:\\Movie\\*.mpg");
        CopyText(record->currentFile, sizeof record->currentFile, record->settings.defaultMpeg);
    }
};

TEST_F(Native, SaOpensOnTheNamedBoardWhichTheLdpInterpreterThenAddresses)
{
    LoadBoards(2);
    StartedWithDefaultPattern();
    EXPECT_EQ(Line("sa clip.mpg 1"), "");
    EXPECT_EQ(Events(), Lines({"01 - Opening MPEG file clip.mpg", "TROpenMPEG 1 clip.mpg"}));
    EXPECT_EQ(record->currentBoard, 1);
    EXPECT_STREQ(record->currentFile, "clip.mpg");
    EXPECT_EQ(MpegTable.playState[1], MPEG_STOPPED);
    EXPECT_EQ(MpegTable.playState[0], MPEG_STOPPED) << "board 0 keeps its opening image";

    InterpretLdpCommand(hwnd, "T");
    EXPECT_EQ(TakeCapturedReplies(), "01");
    Forget();

    EXPECT_EQ(Line("pl"), "");
    EXPECT_EQ(Events(), Lines({"TRPlayMPEG 1 0 999999999 0"}));
    EXPECT_EQ(MpegTable.playState[1], MPEG_PLAYING);
}

TEST_F(Native, SaAloneReopensTheCurrentFileAndQuotedNamesArriveWhole)
{
    LoadBoards(2);
    StartedWithDefaultPattern();
    record->currentBoard = 1;
    EXPECT_EQ(Line("  SA"), "");
    EXPECT_EQ(Events(), Lines({"01 - Opening MPEG file D:\\Movie\\*.mpg", "TROpenMPEG 1 D:\\Movie\\*.mpg"}));

    EXPECT_EQ(Line("SA \"my clip, final.mpg\",0 ignored words"), "");
    EXPECT_EQ(Events(), Lines({"00 - Opening MPEG file my clip, final.mpg", "TROpenMPEG 0 my clip, final.mpg"}));
    EXPECT_EQ(record->currentBoard, 0);

    EXPECT_EQ(Line("Sa 'D:\\Movie\\a b.mpg'"), "");
    EXPECT_EQ(Events(), Lines({"00 - Opening MPEG file D:\\Movie\\a b.mpg", "TROpenMPEG 0 D:\\Movie\\a b.mpg"}));
}

TEST_F(Native, ABoardThatDoesNotExistRefusesTheCommandAndChangesNothing)
{
    LoadBoards(2);
    StartedWithDefaultPattern();
    record->currentBoard = 1;
    int32_t statesBefore[MPEG_MAX_BOARDS];
    memcpy(statesBefore, MpegTable.playState, sizeof statesBefore);
    for (const char *line : {"SA x.mpg 99", "SA x.mpg 2", "SA x.mpg -1", "SA x.mpg 4294967297"}) {
        SCOPED_TRACE(line);
        EXPECT_EQ(Line(line), "");
        EXPECT_EQ(Events(), Lines({"Unable to open MPEG file x.mpg"}));
        EXPECT_EQ(record->currentBoard, 1);
        EXPECT_STREQ(record->currentFile, "D:\\Movie\\*.mpg");
        EXPECT_EQ(memcmp(MpegTable.playState, statesBefore, sizeof statesBefore), 0);
    }
}

TEST_F(Native, TrayWordsAnswerAndOtherWordsAreIgnored)
{
    LoadBoards(1);
    EXPECT_EQ(Line("OP, and more"), "R\n");
    EXPECT_EQ(TrayMoves(), Lines({"open", "set door open", "close"}));
    EXPECT_EQ(Events(), Lines({"reply 52 0A"}));
    EXPECT_EQ(Line("co"), "R\n");
    EXPECT_EQ(TrayMoves(), Lines({"open", "set door closed", "close"}));
    EXPECT_EQ(Events(), Lines({"reply 52 0A"}));
    for (const char *line : {"OPEN", "PLAY", "S", "", "    ", ",,", "\tOP", "XX clip.mpg 0"}) {
        SCOPED_TRACE(line);
        EXPECT_EQ(Line(line), "");
        EXPECT_EQ(Events(), Lines());
        EXPECT_EQ(TrayMoves(), Lines());
    }
}

TEST_F(Native, WithoutALibraryOpenAndPlayReportTheCurrentFile)
{
    StartedWithDefaultPattern();
    EXPECT_EQ(Line("PL"), "");
    EXPECT_EQ(Events(), Lines({"Unable to play MPEG file D:\\Movie\\*.mpg"}));
    EXPECT_EQ(Line("SA"), "");
    EXPECT_EQ(Events(), Lines({"00 - Opening MPEG file D:\\Movie\\*.mpg", "Unable to open MPEG file D:\\Movie\\*.mpg"}));
    EXPECT_EQ(Line("SA clip.mpg 0"), "");
    EXPECT_EQ(Events(), Lines({"Unable to open MPEG file clip.mpg"})) << "no board exists";
    EXPECT_EQ(MpegTable.playState[0], MPEG_IDLE);
}

}  // namespace
