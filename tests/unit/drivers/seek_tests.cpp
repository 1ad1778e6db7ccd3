// The frame seek of the driver libraries on the bench decoder, as the LDP
// interpreter uses it: SetFrameMPEG to frame n, then StepMPEG.
#include "tests/unit/drivers/driverfixture.h"

namespace {

const Lines kRestartSequence = {
    "rtdSetParams 0 6 0 -> 0", "rtdSetParams 0 6 0 -> 0", "rtdContinue 0 -> 0", "rtdOpen 0 \"%s\" 0 -> 0",
    "rtdContinue 0 -> 0",      "rtdSetParams 0 6 0 -> 0", "rtdContinue 0 -> 0", "rtdPlay 0 0 2147483647 3 -> 0",
    "rtdContinue 0 -> 0"};

Lines RestartSequence(const std::string &path)
{
    Lines lines = kRestartSequence;
    lines[3] = "rtdOpen 0 \"" + path + "\" 0 -> 0";
    return lines;
}

class SeekTest : public DriverTest {
protected:
    std::string sixty = StreamPath("sixty.mpg");

    // A 60-second file opened and playing on board 0, the decoder's clock
    // running `scale` times faster than real time.
    void PlaySixtySeconds(const DriverVariant &variant, const char *scale)
    {
        SetEnvironmentVariableA("RTDSIM_TIME_SCALE", scale);
        BringUp(variant);
        table.OpenMPEG(&table, 0, sixty.c_str());
        table.PlayMPEG(&table, 0, 0, MPEG_PLAY_END, 0);
        table.CheckMPEG(&table, 0);
        journal.mark();
    }

    // A seek that cannot reach the frame gives up once the decoder's time
    // has stood still for two seconds, and leaves the board still.
    void ExpectSeekGivesUp(int frame)
    {
        DWORD started = GetTickCount();
        table.SetFrameMPEG(&table, 0, frame);
        DWORD elapsed = GetTickCount() - started;
        EXPECT_GE(elapsed, 1950u);
        EXPECT_LT(elapsed, 5000u);
        EXPECT_EQ(table.playState[0], MPEG_STILL);
    }
};

TEST_F(SeekTest, LandsOnEveryFrameOfASixtySecondFile)
{
    SetEnvironmentVariableA("RTDSIM_JOURNAL", NULL);
    PlaySixtySeconds(kVideoQuest, "1000");
    ASSERT_EQ(table.totalFrames[0], 1500);
    std::string failures;
    int failed = 0;
    for (int frame = 1; frame <= table.totalFrames[0]; frame++) {
        table.SetFrameMPEG(&table, 0, frame);
        table.StepMPEG(&table, 0);
        int shown = table.GetFrameMPEG(&table, 0);
        if (shown != frame || table.playState[0] != MPEG_STILL) {
            if (++failed <= 20)
                failures += "frame " + std::to_string(frame) + ": shows " + std::to_string(shown) + ", state " +
                            std::to_string(table.playState[0]) + "\n";
        }
    }
    EXPECT_EQ(failed, 0) << failures;
}

TEST_F(SeekTest, RestartsTheFileAndPausesOneFrameShortOfTheTarget)
{
    PlaySixtySeconds(kVideoQuest, "1000");
    table.SetFrameMPEG(&table, 0, 0);
    Lines lines = journal.since();
    ASSERT_GE(lines.size(), kRestartSequence.size() + 3) << Listing(lines);
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + kRestartSequence.size()), RestartSequence(sixty))
        << Listing(lines);
    EXPECT_EQ(lines[kRestartSequence.size()].compare(0, 19, "rtdGetParams 0 4105"), 0) << Listing(lines);
    EXPECT_EQ(journal.last(2), (Lines{"rtdPause 0 -> 0", "rtdContinue 0 -> 0"}));
    EXPECT_EQ(table.playState[0], MPEG_STILL);
    EXPECT_EQ(table.GetFrameMPEG(&table, 0), 0);
    table.StepMPEG(&table, 0);
    EXPECT_EQ(table.GetFrameMPEG(&table, 0), 1);
}

TEST_F(SeekTest, JumpsOnePercentShortOnlyPastTheFirstTwoPercent)
{
    struct Case {
        int line;
        int frame;
        const char *jump;  // null: no coarse jump
    } cases[] = {
        {__LINE__, 0, NULL},
        {__LINE__, 1, NULL},
        {__LINE__, 29, NULL},
        {__LINE__, 30, "rtdSetParams 0 13 1 -> 0"},
        {__LINE__, 750, "rtdSetParams 0 13 49 -> 0"},
        {__LINE__, 1499, "rtdSetParams 0 13 98 -> 0"},
        {__LINE__, 1500, "rtdSetParams 0 13 99 -> 0"},
    };
    PlaySixtySeconds(kVideoQuest, "1000");
    for (const Case &c : cases) {
        journal.mark();
        table.SetFrameMPEG(&table, 0, c.frame);
        Lines expected = {"rtdSetParams 0 6 0 -> 0", "rtdSetParams 0 6 0 -> 0",
                                             "rtdOpen 0 \"" + sixty + "\" 0 -> 0", "rtdSetParams 0 6 0 -> 0",
                                             "rtdPlay 0 0 2147483647 3 -> 0"};
        if (c.jump)
            expected.push_back(c.jump);
        expected.push_back("rtdPause 0 -> 0");
        EXPECT_EQ(journal.sinceWithoutPolls(), expected) << "case of line " << c.line << "\n"
                                                         << Listing(journal.sinceWithoutPolls());
        table.StepMPEG(&table, 0);
        EXPECT_EQ(table.GetFrameMPEG(&table, 0), c.frame == 0 ? 1 : c.frame) << "case of line " << c.line;
    }
}

TEST_F(SeekTest, FrameOutsideTheFileDoesNothing)
{
    PlaySixtySeconds(kVideoQuest, "1000");
    for (int frame : {-1, -1000, 1501, 99999}) {
        table.SetFrameMPEG(&table, 0, frame);
        EXPECT_EQ(table.playState[0], MPEG_PLAYING);
    }
    EXPECT_EQ(journal.since(), Lines()) << Listing(journal.since());
}

TEST_F(SeekTest, AfterAStopReopensTheOpenedFile)
{
    PlaySixtySeconds(kVideoQuest, "1000");
    table.StopMPEG(&table, 0);
    ASSERT_STREQ(table.playingFile[0], "");
    journal.mark();
    table.SetFrameMPEG(&table, 0, 10);
    EXPECT_STREQ(table.playingFile[0], sixty.c_str());
    Lines lines = journal.since();
    ASSERT_GE(lines.size(), 4u) << Listing(lines);
    EXPECT_EQ(lines[3], "rtdOpen 0 \"" + sixty + "\" 0 -> 0");
    table.StepMPEG(&table, 0);
    EXPECT_EQ(table.GetFrameMPEG(&table, 0), 10);
}

TEST_F(SeekTest, VideoPlexSeeksOnlyFrameZero)
{
    PlaySixtySeconds(kVideoPlex, "1000");
    ASSERT_EQ(table.totalFrames[0], 0);
    for (int frame : {1, 5, 1500}) {
        table.SetFrameMPEG(&table, 0, frame);
        EXPECT_EQ(table.playState[0], MPEG_PLAYING);
    }
    EXPECT_EQ(journal.since(), Lines()) << Listing(journal.since());

    table.SetFrameMPEG(&table, 0, 0);
    Lines expected = {"rtdSetParams 0 6 0 -> 0", "rtdSetParams 0 6 0 -> 0",
                                         "rtdOpen 0 \"" + sixty + "\" 0 -> 0", "rtdSetParams 0 6 0 -> 0",
                                         "rtdPlay 0 0 2147483647 3 -> 0", "rtdPause 0 -> 0"};
    EXPECT_EQ(journal.sinceWithoutPolls(), expected) << Listing(journal.sinceWithoutPolls());
    EXPECT_EQ(table.playState[0], MPEG_STILL);
    EXPECT_EQ(table.GetFrameMPEG(&table, 0), 0);
}

TEST_F(SeekTest, GivesUpWhenPlaybackNeverBegins)
{
    SetEnvironmentVariableA("RTDSIM_TIME_SCALE", "1000");
    BringUp(kVideoQuest);
    std::string missing = WorkPath("missing.mpg");
    table.OpenMPEG(&table, 0, missing.c_str());
    ASSERT_EQ(table.totalFrames[0], 0);
    journal.mark();
    ExpectSeekGivesUp(0);
    EXPECT_EQ(journal.last(2), (Lines{"rtdPause 0 -> 0", "rtdContinue 0 -> 0"}));
}

TEST_F(SeekTest, GivesUpWhenTheFileEndsShortOfTheFrame)
{
    SetEnvironmentVariableA("RTDSIM_JOURNAL", NULL);
    PlaySixtySeconds(kVideoQuest, "1000");
    table.totalFrames[0] = 3000;  // the file on disk is shorter than when it was opened
    ExpectSeekGivesUp(2000);
    EXPECT_EQ(table.GetFrameMPEG(&table, 0), 1500);
}

}  // namespace
