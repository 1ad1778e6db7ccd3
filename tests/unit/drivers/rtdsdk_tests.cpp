// The bench decoder RtdSdk on its own: boards from the environment, the
// journal's format, file lengths from MPEG streams, and playback in real
// time with queueing, speeds, pause, single step, jumps and time stamps.
#include <gtest/gtest.h>
#include <windows.h>

#include "sdk/RtdSdk.h"
#include "tests/unit/drivers/testsupport.h"

namespace {

class SdkTest : public testing::Test {
protected:
    Journal journal;
    std::string sixty = StreamPath("sixty.mpg");
    std::string two = StreamPath("two.mpg");
    std::string one = StreamPath("one.mpg");

    void SetUp() override
    {
        rtdFreeSystem();
        SetEnvironmentVariableA("RTDSIM_JOURNAL", journal.path.c_str());
        SetEnvironmentVariableA("RTDSIM_JOURNAL_TIMES", NULL);
        SetEnvironmentVariableA("RTDSIM_BOARDS", NULL);
        SetEnvironmentVariableA("RTDSIM_TIME_SCALE", NULL);
        DeleteFileA(journal.path.c_str());
    }

    void TearDown() override { rtdFreeSystem(); }

    void StartSystem(const char *timeScale)
    {
        SetEnvironmentVariableA("RTDSIM_TIME_SCALE", timeScale);
        ASSERT_EQ(rtdInitSystem(0, "c:\\", 0), 2);
        ASSERT_EQ(rtdInitBoard(0, 200, RTD_VIDEO_PAL_443, RTD_STREAM_SYSTEM, 1), RTD_OK);
    }

    long Param(int board, int param)
    {
        long value = -12345;
        rtdGetParams(board, param, &value);
        return value;
    }

    long Frame() { return Param(0, RTD_PARAM_CURRENT_FRAME); }
    long Stamp() { return Param(0, RTD_PARAM_TIME_STAMP); }

    // Services board 0 for about `ms` milliseconds; returns the statuses
    // other than the neutral one, in order.
    std::vector<short> Service(DWORD ms)
    {
        std::vector<short> statuses;
        DWORD started = GetTickCount();
        while (GetTickCount() - started < ms) {
            short status = rtdContinue(0);
            if (status != RTD_STATUS_NONE)
                statuses.push_back(status);
            Sleep(1);
        }
        return statuses;
    }
};

// -- system and boards ------------------------------------------------------------

TEST_F(SdkTest, BoardCountComesFromTheEnvironment)
{
    struct Case {
        int line;
        const char *boards;
        short count;
    } cases[] = {{__LINE__, NULL, 2}, {__LINE__, "5", 5},  {__LINE__, "16", 16},  {__LINE__, "40", 16},
                 {__LINE__, "0", 0},  {__LINE__, "-3", 2}, {__LINE__, "two", 2}};
    for (const Case &c : cases) {
        SetEnvironmentVariableA("RTDSIM_BOARDS", c.boards);
        EXPECT_EQ(rtdInitSystem(0, "c:\\", 0), c.count) << "case of line " << c.line;
        if (c.count > 0)
            EXPECT_EQ(rtdInitBoard(c.count - 1, 200, 5, 1, 1), RTD_OK) << "case of line " << c.line;
        EXPECT_EQ(rtdInitBoard(c.count, 200, 5, 1, 1), RTD_ERR_BOARD) << "case of line " << c.line;
        EXPECT_EQ(rtdInitBoard(-1, 200, 5, 1, 1), RTD_ERR_BOARD) << "case of line " << c.line;
        rtdFreeSystem();
    }
}

TEST_F(SdkTest, JournalHasOneLinePerCallWithArgumentsAndResult)
{
    std::string image = WorkPath("absent.ybr");
    RtdFileInfo *info = NULL;
    long value = 0;
    rtdSetParams(RTD_SYSTEM, RTD_PARAM_PRIORITY, 1);
    rtdInitSystem(0, "c:\\", 0);
    rtdInitBoard(1, 200, 5, 1, 1);
    rtdOpen(1, two.c_str(), 0);
    rtdFileInfo(two.c_str(), &info);
    rtdGetParams(1, RTD_PARAM_TIME_STAMP, &value);
    rtdPlay(1, RTD_PLAY_CONTINUE, RTD_PLAY_TO_END, RTD_SPEED_NORMAL);
    rtdGetParams(1, RTD_PARAM_TIME_STAMP, &value);
    rtdContinue(7);
    rtdPause(1);
    rtdSingle(1);
    rtdGetParams(1, RTD_PARAM_CURRENT_FRAME, &value);
    rtdLoadImage(1, image.c_str(), -1, 5);
    rtdClose(1);
    rtdFreeBoard(1);
    rtdFreeSystem();
    Lines expected = {
        "rtdSetParams 256 36 1 -> 0",
        "rtdInitSystem 0 \"c:\\\" 0 -> 2",
        "rtdInitBoard 1 200 5 1 1 -> 0",
        "rtdOpen 1 \"" + two + "\" 0 -> 0",
        "rtdFileInfo \"" + two + "\" -> 0 50",
        "rtdGetParams 1 4105 -> 0 0",
        "rtdPlay 1 2147483646 2147483647 3 -> 0",
        "rtdGetParams 1 4105 -> 0 3600",
        "rtdContinue 7 -> -1",
        "rtdPause 1 -> 0",
        "rtdSingle 1 -> 0",
        "rtdGetParams 1 16 -> 0 1",
        "rtdLoadImage 1 \"" + image + "\" -1 5 -> -2",
        "rtdClose 1 -> 0",
        "rtdFreeBoard 1 -> 0",
        "rtdFreeSystem -> 0",
    };
    EXPECT_EQ(journal.all(), expected) << Listing(journal.all());

    // The journal is read again after rtdFreeSystem.
    Journal other;
    other.path = WorkPath("rtd-journal-2.txt");
    DeleteFileA(other.path.c_str());
    SetEnvironmentVariableA("RTDSIM_JOURNAL", other.path.c_str());
    rtdInitSystem(1, "", 0);
    EXPECT_EQ(other.all(), Lines{"rtdInitSystem 1 \"\" 0 -> 2"});
    EXPECT_EQ(journal.all().size(), expected.size());
    rtdFreeSystem();
    DeleteFileA(other.path.c_str());
}

// With RTDSIM_JOURNAL_TIMES 1, and only then, a line begins with the
// millisecond time of the call, so that a bench can measure service periods.
TEST_F(SdkTest, JournalTimeStampsOnlyWhenAsked)
{
    struct Case {
        int line;
        const char *times;
        bool stamped;
    } cases[] = {{__LINE__, NULL, false}, {__LINE__, "1", true},  {__LINE__, "0", false},
                 {__LINE__, "", false},   {__LINE__, "11", false}, {__LINE__, "yes", false}};
    for (const Case &c : cases) {
        DeleteFileA(journal.path.c_str());
        SetEnvironmentVariableA("RTDSIM_JOURNAL_TIMES", c.times);
        rtdInitSystem(0, "c:\\", 0);
        Sleep(30);
        rtdContinue(0);
        rtdFreeSystem();
        Lines lines = journal.all();
        ASSERT_EQ(lines.size(), 3u) << "case of line " << c.line << Listing(lines);
        const char *calls[] = {"rtdInitSystem 0 \"c:\\\" 0 -> 2", "rtdContinue 0 -> 0", "rtdFreeSystem -> 0"};
        double stamps[3] = {};
        for (int i = 0; i < 3; i++) {
            std::string call = lines[i];
            if (c.stamped) {
                size_t blank = call.find(' ');
                ASSERT_NE(blank, std::string::npos) << "case of line " << c.line;
                std::string stamp = call.substr(0, blank);
                size_t point = stamp.find('.');
                EXPECT_EQ(stamp.find_first_not_of("0123456789."), std::string::npos) << "case of line " << c.line;
                EXPECT_EQ(point, stamp.size() - 4) << "three decimals; case of line " << c.line;
                stamps[i] = atof(stamp.c_str());
                call = call.substr(blank + 1);
            }
            EXPECT_EQ(call, calls[i]) << "case of line " << c.line;
        }
        if (c.stamped) {
            EXPECT_GE(stamps[1] - stamps[0], 25.0) << "case of line " << c.line;
            EXPECT_LT(stamps[1] - stamps[0], 5000.0) << "case of line " << c.line;
            EXPECT_GE(stamps[2], stamps[1]) << "case of line " << c.line;
        }
    }
}

TEST_F(SdkTest, UnknownBoardsAndParametersAreRefused)
{
    StartSystem(NULL);
    long value = 0;
    for (int board : {2, -1, 255, 257, 16}) {
        EXPECT_EQ(rtdInitBoard(board, 200, 5, 1, 1), RTD_ERR_BOARD) << board;
        EXPECT_EQ(rtdFreeBoard(board), RTD_ERR_BOARD) << board;
        EXPECT_EQ(rtdOpen(board, two.c_str(), 0), RTD_ERR_BOARD) << board;
        EXPECT_EQ(rtdClose(board), RTD_ERR_BOARD) << board;
        EXPECT_EQ(rtdPlay(board, 0, RTD_PLAY_TO_END, 3), RTD_ERR_BOARD) << board;
        EXPECT_EQ(rtdPause(board), RTD_ERR_BOARD) << board;
        EXPECT_EQ(rtdSingle(board), RTD_ERR_BOARD) << board;
        EXPECT_EQ(rtdContinue(board), RTD_ERR_BOARD) << board;
        EXPECT_EQ(rtdSetParams(board, RTD_PARAM_SPEED, 3), RTD_ERR_BOARD) << board;
        value = 99;
        EXPECT_EQ(rtdGetParams(board, RTD_PARAM_CURRENT_FRAME, &value), RTD_ERR_BOARD) << board;
        EXPECT_EQ(value, 0) << board;
        EXPECT_EQ(rtdLoadImage(board, two.c_str(), -1, 5), RTD_ERR_BOARD) << board;
    }
    EXPECT_EQ(rtdSetParams(RTD_SYSTEM, RTD_PARAM_PRIORITY, -7), RTD_OK);
    EXPECT_EQ(Param(RTD_SYSTEM, RTD_PARAM_PRIORITY), -7);
    EXPECT_EQ(rtdSetParams(0, RTD_PARAM_TRANSFER_BUFFER, 300000), RTD_OK);
    EXPECT_EQ(Param(0, RTD_PARAM_TRANSFER_BUFFER), 300000);
    EXPECT_EQ(rtdSetParams(0, RTD_PARAM_CURRENT_FRAME, 5), RTD_ERR_PARAM);
    EXPECT_EQ(rtdSetParams(0, RTD_PARAM_TIME_STAMP, 5), RTD_ERR_PARAM);
    value = 99;
    EXPECT_EQ(rtdGetParams(0, 9999, &value), RTD_ERR_PARAM);
    EXPECT_EQ(value, 0);
}

// -- file lengths ----------------------------------------------------------------------

TEST_F(SdkTest, FileInfoGivesTheLengthFromGroupOfPicturesTimeCodes)
{
    std::string noHeaders = WorkPath("noheaders.mpg");
    WriteWholeFile(noHeaders, std::string(5000, 'x') + "no MPEG here\n");
    struct Case {
        int line;
        std::string path;
        short result;
        uint16_t hours, minutes, seconds, frames;
    } cases[] = {
        {__LINE__, StreamPath("sixty.mpg"), RTD_OK, 0, 1, 0, 0},
        {__LINE__, StreamPath("two.mpg"), RTD_OK, 0, 0, 2, 0},
        {__LINE__, StreamPath("one.mpg"), RTD_OK, 0, 0, 1, 0},
        // 3000 frames from 01:00:00:00, 2.4 MB: the ends are more than a scan apart.
        {__LINE__, StreamPath("long.mpg"), RTD_OK, 0, 2, 0, 0},
        {__LINE__, StreamPath("empty.mpg"), RTD_OK, 0, 0, 0, 0},
        {__LINE__, noHeaders, RTD_OK, 0, 0, 0, 0},
        {__LINE__, WorkPath("missing.mpg"), RTD_ERR_FILE, 0, 0, 0, 0},
        {__LINE__, std::string(300, 'a'), RTD_ERR_FILE, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        RtdFileInfo *info = reinterpret_cast<RtdFileInfo *>(1);
        EXPECT_EQ(rtdFileInfo(c.path.c_str(), &info), c.result) << "case of line " << c.line;
        ASSERT_NE(info, reinterpret_cast<RtdFileInfo *>(1)) << "case of line " << c.line;
        ASSERT_NE(info, nullptr);
        ASSERT_NE(info->stream, nullptr);
        const unsigned char *record = reinterpret_cast<const unsigned char *>(info->stream);
        uint16_t fields[4];
        memcpy(fields, record + 116, sizeof fields);
        EXPECT_EQ(fields[0], c.hours) << "case of line " << c.line;
        EXPECT_EQ(fields[1], c.minutes) << "case of line " << c.line;
        EXPECT_EQ(fields[2], c.seconds) << "case of line " << c.line;
        EXPECT_EQ(fields[3], c.frames) << "case of line " << c.line;
        WIN32_FILE_ATTRIBUTE_DATA data;
        DWORD size = GetFileAttributesExA(c.path.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
        EXPECT_EQ(info->fileBytes, size) << "case of line " << c.line;
        EXPECT_EQ(info->recordSize, sizeof(RtdFileInfo)) << "case of line " << c.line;
        EXPECT_EQ(info->totalFrames, ((c.hours * 60u + c.minutes) * 60u + c.seconds) * 25u + c.frames)
            << "case of line " << c.line;
    }
    DeleteFileA(noHeaders.c_str());
}

TEST_F(SdkTest, ScanLengthBoundsWhatIsReadAtEachEnd)
{
    StartSystem(NULL);
    RtdFileInfo *info = NULL;
    std::string path = StreamPath("long.mpg");
    ASSERT_EQ(rtdSetParams(0, RTD_PARAM_SCAN_FROM_END, 64 * 1024), RTD_OK);
    rtdFileInfo(path.c_str(), &info);
    EXPECT_EQ(info->totalFrames, 3000u);
    // A window shorter than the last group of pictures misses its header.
    ASSERT_EQ(rtdSetParams(0, RTD_PARAM_SCAN_FROM_END, 4096), RTD_OK);
    rtdFileInfo(path.c_str(), &info);
    EXPECT_LT(info->totalFrames, 12u);
}

// -- playback --------------------------------------------------------------------------

TEST_F(SdkTest, PlaysInRealTimeAtEachSpeed)
{
    struct Case {
        int line;
        int speed;
        double framesPerSecond;
        double tolerance;
    } cases[] = {{__LINE__, RTD_SPEED_NORMAL, 25, 2}, {__LINE__, RTD_SPEED_FAST, 75, 4}, {__LINE__, RTD_SPEED_SLOW, 5, 1.5}};
    StartSystem(NULL);
    ASSERT_EQ(rtdOpen(0, sixty.c_str(), 0), RTD_OK);
    ASSERT_EQ(rtdPlay(0, 0, RTD_PLAY_TO_END, RTD_SPEED_NORMAL), RTD_OK);
    rtdContinue(0);
    for (const Case &c : cases) {
        ASSERT_EQ(rtdSetParams(0, RTD_PARAM_SPEED, c.speed), RTD_OK);
        long before = Frame();
        DWORD started = GetTickCount();
        Service(400);
        double elapsed = (GetTickCount() - started) / 1000.0;
        double expected = elapsed * c.framesPerSecond;
        EXPECT_NEAR(Frame() - before, expected, c.tolerance) << "case of line " << c.line;
    }
}

TEST_F(SdkTest, TimeStampRunsOnePictureAheadAndNoPictureIsSkipped)
{
    StartSystem("1000");
    ASSERT_EQ(rtdOpen(0, sixty.c_str(), 0), RTD_OK);
    EXPECT_EQ(Stamp(), 0);
    ASSERT_EQ(rtdPlay(0, 0, RTD_PLAY_TO_END, RTD_SPEED_NORMAL), RTD_OK);
    EXPECT_EQ(Stamp(), 3600);
    EXPECT_EQ(Frame(), 0);
    rtdContinue(0);  // the clock starts
    Sleep(20);       // five hundred frames of decoder time
    long previous = 1;
    for (int call = 0; call < 200; call++) {
        rtdContinue(0);
        long picture = Stamp() / 3600;
        ASSERT_GE(picture, previous) << "call " << call;
        ASSERT_LE(picture, previous + 1) << "call " << call;
        ASSERT_EQ(Frame(), picture - 1) << "call " << call;
        previous = picture;
    }
    EXPECT_EQ(previous, 101);
}

TEST_F(SdkTest, PauseHoldsThePictureAndASpeedResumes)
{
    StartSystem(NULL);
    rtdOpen(0, sixty.c_str(), 0);
    rtdPlay(0, 0, RTD_PLAY_TO_END, RTD_SPEED_NORMAL);
    Service(200);
    ASSERT_EQ(rtdPause(0), RTD_OK);
    long frame = Frame(), stamp = Stamp();
    EXPECT_GT(frame, 0);
    Service(200);
    EXPECT_EQ(Frame(), frame);
    EXPECT_EQ(Stamp(), stamp);
    ASSERT_EQ(rtdSetParams(0, RTD_PARAM_SPEED, RTD_SPEED_NORMAL), RTD_OK);
    Service(200);
    EXPECT_NEAR(Frame() - frame, 5, 2);
}

TEST_F(SdkTest, SingleShowsTheNextPictureAndHolds)
{
    StartSystem("1000");
    rtdOpen(0, sixty.c_str(), 0);
    // From a stopped board: the first picture.
    EXPECT_EQ(rtdSingle(0), RTD_OK);
    EXPECT_EQ(Frame(), 0);
    EXPECT_EQ(rtdSingle(0), RTD_OK);
    EXPECT_EQ(Frame(), 1);
    Service(10);
    EXPECT_EQ(Frame(), 1);
    // While playing it pauses.
    rtdSetParams(0, RTD_PARAM_SPEED, RTD_SPEED_NORMAL);
    Service(10);
    long frame = Frame();
    EXPECT_GT(frame, 1);
    EXPECT_EQ(rtdSingle(0), RTD_OK);
    EXPECT_EQ(Frame(), frame + 1);
    Service(10);
    EXPECT_EQ(Frame(), frame + 1);
    // Not past the end.
    rtdSetParams(0, RTD_PARAM_JUMP_PERCENT, 100);
    EXPECT_EQ(Frame(), 1500);
    rtdSingle(0);
    EXPECT_EQ(Frame(), 1500);
    EXPECT_EQ(rtdContinue(0), RTD_STATUS_NONE);
}

TEST_F(SdkTest, JumpsToAPercentageOfTheFile)
{
    struct Case {
        int line;
        long percent, frame;
    } cases[] = {{__LINE__, 50, 750}, {__LINE__, 0, 0},    {__LINE__, 1, 15},
                 {__LINE__, 99, 1485}, {__LINE__, 100, 1500}, {__LINE__, 150, 1500}, {__LINE__, -5, 0}};
    StartSystem(NULL);
    EXPECT_EQ(rtdSetParams(0, RTD_PARAM_JUMP_PERCENT, 50), RTD_ERR_NO_STREAM);
    rtdOpen(0, sixty.c_str(), 0);
    for (const Case &c : cases) {
        EXPECT_EQ(rtdSetParams(0, RTD_PARAM_JUMP_PERCENT, c.percent), RTD_OK) << "case of line " << c.line;
        EXPECT_EQ(Frame(), c.frame) << "case of line " << c.line;
        EXPECT_EQ(Stamp(), (c.frame + 1) * 3600) << "case of line " << c.line;
    }
}

TEST_F(SdkTest, PlayContinuesWhereTheBoardHoldsOrStartsOverAtTheEnd)
{
    StartSystem(NULL);
    rtdOpen(0, sixty.c_str(), 0);
    rtdSetParams(0, RTD_PARAM_JUMP_PERCENT, 50);
    ASSERT_EQ(rtdPlay(0, RTD_PLAY_CONTINUE, RTD_PLAY_TO_END, RTD_SPEED_NORMAL), RTD_OK);
    EXPECT_EQ(Frame(), 750);
    ASSERT_EQ(rtdPlay(0, 0, RTD_PLAY_TO_END, RTD_SPEED_NORMAL), RTD_OK);
    EXPECT_EQ(Frame(), 0);
    rtdSetParams(0, RTD_PARAM_JUMP_PERCENT, 100);
    EXPECT_EQ(Service(20), std::vector<short>{RTD_STATUS_PLAY_ENDED});
    ASSERT_EQ(rtdPlay(0, RTD_PLAY_CONTINUE, RTD_PLAY_TO_END, RTD_SPEED_NORMAL), RTD_OK);
    EXPECT_EQ(Frame(), 0);
}

TEST_F(SdkTest, OpeningWhileAStreamIsActiveQueuesTheFile)
{
    StartSystem("20");
    rtdOpen(0, one.c_str(), 0);
    rtdPlay(0, 0, RTD_PLAY_TO_END, RTD_SPEED_NORMAL);
    Service(10);
    long frame = Frame();
    ASSERT_EQ(rtdOpen(0, two.c_str(), 0), RTD_OK);
    EXPECT_GE(Frame(), frame);
    std::vector<short> statuses = Service(600);
    EXPECT_EQ(statuses, (std::vector<short>{RTD_STATUS_FILE_STARTED, RTD_STATUS_PLAY_ENDED}));
    EXPECT_EQ(Frame(), 50);

    // Opened while paused: queued too.
    rtdPlay(0, 0, RTD_PLAY_TO_END, RTD_SPEED_NORMAL);
    rtdPause(0);
    rtdOpen(0, one.c_str(), 0);
    rtdSetParams(0, RTD_PARAM_SPEED, RTD_SPEED_NORMAL);
    statuses = Service(600);
    EXPECT_EQ(statuses, (std::vector<short>{RTD_STATUS_FILE_STARTED, RTD_STATUS_PLAY_ENDED}));
    EXPECT_EQ(Frame(), 25);

    // Opened while stopped: replaces; stopping forgets a queued file.
    rtdOpen(0, two.c_str(), 0);
    rtdPlay(0, 0, RTD_PLAY_TO_END, RTD_SPEED_NORMAL);
    rtdOpen(0, one.c_str(), 0);
    rtdSetParams(0, RTD_PARAM_PLAY_CONTROL, 0);
    rtdPlay(0, RTD_PLAY_CONTINUE, RTD_PLAY_TO_END, RTD_SPEED_NORMAL);
    statuses = Service(600);
    EXPECT_EQ(statuses, std::vector<short>{RTD_STATUS_PLAY_ENDED});
    EXPECT_EQ(Frame(), 50);
}

TEST_F(SdkTest, MissingFileOpensAsNothingToPlay)
{
    StartSystem("20");
    std::string missing = WorkPath("missing.mpg");
    EXPECT_EQ(rtdOpen(0, missing.c_str(), 0), RTD_ERR_FILE);
    EXPECT_EQ(rtdPlay(0, 0, RTD_PLAY_TO_END, RTD_SPEED_NORMAL), RTD_ERR_NO_STREAM);
    EXPECT_EQ(Service(20), std::vector<short>());
    EXPECT_EQ(Frame(), 0);
    EXPECT_EQ(Stamp(), 0);

    rtdOpen(0, one.c_str(), 0);
    rtdPlay(0, 0, RTD_PLAY_TO_END, RTD_SPEED_NORMAL);
    EXPECT_EQ(rtdOpen(0, missing.c_str(), 0), RTD_ERR_FILE);
    EXPECT_EQ(Service(200), std::vector<short>{RTD_STATUS_PLAY_ENDED});
}

TEST_F(SdkTest, StreamWithoutGroupsOfPicturesEndsAtOnce)
{
    StartSystem(NULL);
    EXPECT_EQ(rtdOpen(0, StreamPath("empty.mpg").c_str(), 0), RTD_OK);
    EXPECT_EQ(rtdPlay(0, 0, RTD_PLAY_TO_END, RTD_SPEED_NORMAL), RTD_OK);
    EXPECT_EQ(rtdContinue(0), RTD_STATUS_NONE);
    EXPECT_EQ(rtdContinue(0), RTD_STATUS_PLAY_ENDED);
    EXPECT_EQ(rtdContinue(0), RTD_STATUS_NONE);
}

TEST_F(SdkTest, ImageStopsDecoding)
{
    std::string image = WorkPath("closing.ybr");
    WriteWholeFile(image, "still image");
    StartSystem(NULL);
    rtdOpen(0, sixty.c_str(), 0);
    rtdPlay(0, 0, RTD_PLAY_TO_END, RTD_SPEED_NORMAL);
    Service(100);
    EXPECT_EQ(rtdLoadImage(0, WorkPath("absent.ybr").c_str(), -1, 5), RTD_ERR_FILE);
    long stamp = Stamp();
    Service(100);
    EXPECT_GT(Stamp(), stamp);
    EXPECT_EQ(rtdLoadImage(0, image.c_str(), -1, 5), RTD_OK);
    stamp = Stamp();
    Service(100);
    EXPECT_EQ(Stamp(), stamp);
    DeleteFileA(image.c_str());
}

}  // namespace
