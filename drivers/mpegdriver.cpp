// Board driver library over the MPEG decoder SDK: the 19 entry points the
// player reaches every board through.  Built twice: KSmpeg (VideoQuest) and
// OSmpeg (VideoPlex).  Called on the player's main thread, one at a time;
// everything remembered about a board lives in the player's table.
#include <windows.h>

#include <stdlib.h>

#include <type_traits>

#include "app/environment.h"
#include "app/text.h"
#include "board/mpegdrv.h"
#include "drivers/mpegdriver.h"
#include "sdk/RtdSdk.h"

namespace {

// What sets the two boards' libraries apart.
struct Variant {
    bool readsFileInfo;       // OpenMPEG learns the file's length
    bool keepsOpenedFile;     // openedFile survives play, stop and a file change
    bool selectsVideoOutput;  // SetVideoOutputMPEG reaches the board
};

#if defined(MPEG_DRIVER_VIDEOQUEST)
#define ENTRY(operation) KS##operation##MPEG
const Variant kVariant = {true, true, true};
#elif defined(MPEG_DRIVER_VIDEOPLEX)
#define ENTRY(operation) OS##operation##MPEG
const Variant kVariant = {false, false, false};
#else
#error "define MPEG_DRIVER_VIDEOQUEST or MPEG_DRIVER_VIDEOPLEX"
#endif

#define FRAMES_PER_SECOND 25
// 1/3600 as the decoder's own single-precision constant.
#define FRAMES_PER_STAMP_UNIT 0.00027777778f
#define PERCENT_FULL 100

// Entry points that act on a board without checking it against boardCount
// still never index the table outside its 16 rows.
bool HasDriverTableRow(int board)
{
    return board >= 0 && board < MPEG_MAX_BOARDS;
}

// One of the boards the library found: a row of the table below boardCount.
bool BoardExists(const MpegDriverTable *table, int board)
{
    return HasDriverTableRow(board) && board < table->boardCount;
}

int VideoStandardCode(int16_t videoMode)
{
    switch (videoMode) {
    case VIDEO_NTSC_M:
        return RTD_VIDEO_NTSC_M;
    case VIDEO_NTSC_443:
        return RTD_VIDEO_NTSC_443;
    case VIDEO_PAL_M:
        return RTD_VIDEO_PAL_M;
    default:
        return RTD_VIDEO_PAL_443;
    }
}

int StreamCode(int16_t streamType)
{
    switch (streamType) {
    case STREAM_VIDEO:
        return RTD_STREAM_VIDEO;
    case STREAM_AUDIO:
        return RTD_STREAM_AUDIO;
    case STREAM_TRANSPORT:
        return RTD_STREAM_TRANSPORT;
    default:
        return RTD_STREAM_SYSTEM;
    }
}

int SyncFlag(int32_t syncMode)
{
    return syncMode == SYNC_EXTERNAL ? 0 : 1;
}

// -- decoder settings ---------------------------------------------------------

UINT ReadSettingNumber(const char *file, const char *key, int absent)
{
    return GetPrivateProfileIntA(SETTINGS_SECTION, key, absent, file);
}

// Several settings reach the decoder as their low 16 bits, sign-extended.
long ReadSettingWord(const char *key, int absent)
{
    return (int16_t)(uint16_t)(ReadSettingNumber(SETTINGS_FILE, key, absent) & 0xFFFF);
}

long ReadMicrocodeVersion()
{
    char text[UCODE_VERSION_SIZE];
    GetPrivateProfileStringA(SETTINGS_SECTION, KEY_UCODE_VERSION, DEFAULT_UCODE_VERSION, text, sizeof text,
                             SETTINGS_FILE);
    return strtol(text, NULL, 16);
}

DWORD BoardWaitMs()
{
    return EnvironmentNumber(BOARD_WAIT_ENV, BOARD_WAIT_MS, ENVIRONMENT_WAIT_LIMIT_MS);
}

// -- file names in the table ----------------------------------------------------

// The decoder has moved on to, or been told to play, the file last opened.
void RecordOpenedFileAsPlaying(MpegDriverTable *table, int board)
{
    CopyText(table->playingFile[board], MPEG_PATH_SIZE, table->openedFile[board]);
    if (!kVariant.keepsOpenedFile)
        table->openedFile[board][0] = '\0';
}

int32_t FileFrames(const char *path)
{
    RtdFileInfo *info = NULL;
    rtdFileInfo(path, &info);
    if (!info || !info->stream)
        return 0;
    const RtdStreamInfo *length = info->stream;
    return ((length->hours * 60 + length->minutes) * 60 + length->seconds) * FRAMES_PER_SECOND + length->frames;
}

// -- frame seek -------------------------------------------------------------------

DWORD ReadTimeStamp(int board)
{
    long stamp = 0;
    rtdGetParams(board, RTD_PARAM_TIME_STAMP, &stamp);
    return (DWORD)stamp;
}

void StopDecoding(int board)
{
    rtdSetParams(board, RTD_PARAM_PLAY_CONTROL, PLAY_CONTROL_STOP);
}

void RestartFile(const MpegDriverTable *table, int board)
{
    StopDecoding(board);
    StopDecoding(board);
    rtdContinue(board);
    rtdOpen(board, table->playingFile[board], OPEN_FLAGS);
    rtdContinue(board);
    StopDecoding(board);
    rtdContinue(board);
    rtdPlay(board, 0, RTD_PLAY_TO_END, RTD_SPEED_NORMAL);
    rtdContinue(board);
}

// Services the decoder until the time stamp moves.  False when it has stood
// still for SEEK_STALL_MS.
bool WaitForPlayback(int board)
{
    DWORD first = ReadTimeStamp(board);
    DWORD stamp = ReadTimeStamp(board);
    DWORD since = GetTickCount();
    while (stamp == first) {
        if (GetTickCount() - since >= SEEK_STALL_MS)
            return false;
        rtdContinue(board);
        stamp = ReadTimeStamp(board);
    }
    return true;
}

// Jumps to one percent short of the frame, when that is past the first
// two percent of the file.
void JumpShortOfFrame(int board, int frame, int32_t totalFrames)
{
    if (totalFrames <= 0)
        return;
    int percent = (int)((double)frame / totalFrames * PERCENT_FULL);
    if (percent > 1) {
        rtdSetParams(board, RTD_PARAM_JUMP_PERCENT, percent - 1);
        rtdContinue(board);
    }
}

unsigned FrameOfStamp(DWORD stamp)
{
    return (unsigned)((float)stamp * FRAMES_PER_STAMP_UNIT);
}

// Services the decoder until the time stamp reaches the frame, which leaves
// the picture before it on screen.  False when the stamp stood still for
// SEEK_STALL_MS.
bool ApproachFrame(int board, unsigned frame)
{
    DWORD stamp = ReadTimeStamp(board);
    DWORD movedAt = GetTickCount();
    while (FrameOfStamp(stamp) < frame) {
        if (GetTickCount() - movedAt >= SEEK_STALL_MS)
            return false;
        rtdContinue(board);
        DWORD next = ReadTimeStamp(board);
        if (next != stamp) {
            stamp = next;
            movedAt = GetTickCount();
        }
    }
    return true;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}

extern "C" {

int __cdecl ENTRY(Init)(MpegDriverTable *table)
{
    for (int board = 0; board < MPEG_MAX_BOARDS; board++)
        table->playState[board] = MPEG_IDLE;
    char optPath[MPEG_PATH_SIZE];
    GetPrivateProfileStringA(SETTINGS_SECTION, KEY_OPT_PATH, DEFAULT_OPT_PATH, optPath, sizeof optPath,
                             SETTINGS_FILE);
    long usePts = ReadSettingWord(KEY_USE_PTS, DEFAULT_USE_PTS);
    int useBackground = (int)ReadSettingNumber(SETTINGS_FILE, KEY_USE_BKG, DEFAULT_USE_BKG);
    long priority = ReadSettingWord(KEY_PRIORITY, DEFAULT_PRIORITY);
    long microcodeVersion = ReadMicrocodeVersion();
    long useFileInfo = ReadSettingWord(KEY_USE_FILE_INFO, DEFAULT_USE_FILE_INFO);
    long ptsThreshold = ReadSettingWord(KEY_PTS_THRESHOLD, DEFAULT_PTS_THRESHOLD);

    rtdSetParams(RTD_SYSTEM, RTD_PARAM_PRIORITY, priority);
    rtdSetParams(RTD_SYSTEM, RTD_PARAM_USE_PTS, usePts);
    rtdSetParams(RTD_SYSTEM, RTD_PARAM_UCODE_VERSION, microcodeVersion);
    rtdSetParams(RTD_SYSTEM, RTD_PARAM_USE_FILE_INFO, useFileInfo);
    rtdSetParams(RTD_SYSTEM, RTD_PARAM_PTS_THRESHOLD, ptsThreshold);
    short boards = rtdInitSystem(useBackground, optPath, INIT_SYSTEM_RESERVED);
    // The table has rows for 16 boards, whatever the decoder finds.
    table->boardCount = boards > MPEG_MAX_BOARDS ? MPEG_MAX_BOARDS : boards;
    return 0;
}

int __cdecl ENTRY(Free)(MpegDriverTable *)
{
    rtdFreeSystem();
    return 0;
}

int __cdecl ENTRY(InitBoard)(MpegDriverTable *table, int board)
{
    if (!BoardExists(table, board))
        return 0;
    int videoStandard = VideoStandardCode(table->videoMode[board]);
    int syncFlag = SyncFlag(table->syncMode[board]);
    int streamCode = StreamCode(table->streamType[board]);
    rtdSetParams(board, RTD_PARAM_TRANSFER_BUFFER,
                 (long)ReadSettingNumber(TRANSFER_SETTINGS_FILE, KEY_TRANSFER_BUFFER, DEFAULT_TRANSFER_BUFFER));
    rtdSetParams(board, RTD_PARAM_SCAN_FROM_END,
                 (long)ReadSettingNumber(SETTINGS_FILE, KEY_SCAN_FROM_END, DEFAULT_SCAN_FROM_END));
    if (table->playState[board] > MPEG_STOPPED) {
        rtdFreeBoard(board);
        rtdClose(board);
    }
    if (rtdInitBoard(board, INIT_BOARD_OPTION, videoStandard, streamCode, syncFlag) != RTD_OK)
        return 0;
    rtdSetParams(board, RTD_PARAM_AUDIO_STREAM_ID, STREAM_ID_AUDIO);
    rtdSetParams(board, RTD_PARAM_VIDEO_STREAM_ID, STREAM_ID_VIDEO);
    rtdSetParams(board, RTD_PARAM_VIDEO_SOURCE, VIDEO_SOURCE_EXTERNAL);
    table->playState[board] = MPEG_READY;
    Sleep(BoardWaitMs());
    return 0;
}

int __cdecl ENTRY(FreeBoard)(MpegDriverTable *table, int board)
{
    if (!BoardExists(table, board))
        return 0;
    rtdFreeBoard(board);
    table->playState[board] = MPEG_IDLE;
    return 0;
}

int __cdecl ENTRY(DisplayImage)(MpegDriverTable *table, int board, const char *imagePath)
{
    if (!BoardExists(table, board) || !imagePath || imagePath[0] == '\0')
        return 0;
    rtdPause(board);
    rtdLoadImage(board, imagePath, LOAD_IMAGE_OPTION, VideoStandardCode(table->videoMode[board]));
    table->playState[board] = MPEG_STOPPED;
    return 0;
}

int __cdecl ENTRY(Open)(MpegDriverTable *table, int board, const char *mpegPath)
{
    if (!BoardExists(table, board) || !FitsPathField(mpegPath))
        return 0;
    rtdOpen(board, mpegPath, OPEN_FLAGS);
    if (kVariant.readsFileInfo)
        table->totalFrames[board] = FileFrames(mpegPath);
    CopyText(table->openedFile[board], MPEG_PATH_SIZE, mpegPath);
    return 0;
}

int __cdecl ENTRY(Play)(MpegDriverTable *table, int board, int start, int, int)
{
    long startPoint = start == MPEG_PLAY_CONTINUE ? RTD_PLAY_CONTINUE : 0;
    rtdSetParams(board, RTD_PARAM_SPEED, RTD_SPEED_NORMAL);
    if (!BoardExists(table, board))
        return 0;
    if (table->playState[board] < MPEG_PLAYING) {
        StopDecoding(board);
        rtdPlay(board, startPoint, RTD_PLAY_TO_END, RTD_SPEED_NORMAL);
        table->playState[board] = MPEG_PLAYING;
    }
    // With no name waiting (OSmpeg after an earlier play) the board keeps
    // the name of the file it plays.
    if (table->openedFile[board][0] != '\0')
        RecordOpenedFileAsPlaying(table, board);
    return 0;
}

int __cdecl ENTRY(Check)(MpegDriverTable *table, int board)
{
    if (!BoardExists(table, board))
        return 0;
    short status = rtdContinue(board);
    if (status == RTD_STATUS_FILE_STARTED) {
        RecordOpenedFileAsPlaying(table, board);
        table->playState[board] = MPEG_FILE_STARTED;
    } else if (status == RTD_STATUS_PLAY_ENDED) {
        RecordOpenedFileAsPlaying(table, board);
        table->playState[board] = MPEG_STOPPED;
    }
    return 0;
}

int __cdecl ENTRY(Stop)(MpegDriverTable *table, int board)
{
    if (!HasDriverTableRow(board))
        return 0;
    StopDecoding(board);
    StopDecoding(board);
    table->playState[board] = MPEG_STOPPED;
    table->playingFile[board][0] = '\0';
    if (!kVariant.keepsOpenedFile)
        table->openedFile[board][0] = '\0';
    return 0;
}

int __cdecl ENTRY(Still)(MpegDriverTable *table, int board)
{
    if (!HasDriverTableRow(board))
        return 0;
    rtdPause(board);
    table->playState[board] = MPEG_STILL;
    return 0;
}

int __cdecl ENTRY(Step)(MpegDriverTable *table, int board)
{
    if (!HasDriverTableRow(board))
        return 0;
    rtdSingle(board);
    table->playState[board] = MPEG_STILL;
    return 0;
}

int __cdecl ENTRY(GetFrame)(MpegDriverTable *, int board)
{
    if (!HasDriverTableRow(board))
        return 0;
    long frame = 0;
    rtdGetParams(board, RTD_PARAM_CURRENT_FRAME, &frame);
    return (int)frame;
}

// Positions the board on the frame, paused: restarts the file, waits for
// it to play, jumps close by percentage and plays up to the frame.
int __cdecl ENTRY(SetFrame)(MpegDriverTable *table, int board, int frame)
{
    if (!HasDriverTableRow(board) || frame < 0 || frame > table->totalFrames[board])
        return frame;
    if (table->playingFile[board][0] == '\0')
        CopyText(table->playingFile[board], MPEG_PATH_SIZE, table->openedFile[board]);
    RestartFile(table, board);
    if (WaitForPlayback(board)) {
        JumpShortOfFrame(board, frame, table->totalFrames[board]);
        ApproachFrame(board, (unsigned)frame);
    }
    rtdPause(board);
    rtdContinue(board);
    table->playState[board] = MPEG_STILL;
    return frame;
}

int __cdecl ENTRY(Slow)(MpegDriverTable *, int board)
{
    if (HasDriverTableRow(board))
        rtdSetParams(board, RTD_PARAM_SPEED, RTD_SPEED_SLOW);
    return 0;
}

int __cdecl ENTRY(SetVideoOutput)(MpegDriverTable *, int board, int outputStd)
{
    if (kVariant.selectsVideoOutput && HasDriverTableRow(board))
        rtdSetParams(board, RTD_PARAM_VIDEO_OUTPUT, outputStd == OUTPUT_RGB ? VIDEO_OUTPUT_RGB : VIDEO_OUTPUT_YUV);
    return 0;
}

int __cdecl ENTRY(Blank)(MpegDriverTable *, int board, int blank)
{
    if (HasDriverTableRow(board))
        rtdSetParams(board, RTD_PARAM_BLANK, blank ? 1 : 0);
    return 0;
}

int __cdecl ENTRY(Fast)(MpegDriverTable *, int board)
{
    if (HasDriverTableRow(board))
        rtdSetParams(board, RTD_PARAM_SPEED, RTD_SPEED_FAST);
    return 0;
}

int __cdecl ENTRY(Mute)(MpegDriverTable *, int board, int mute)
{
    if (HasDriverTableRow(board))
        rtdSetParams(board, RTD_PARAM_MUTE, mute ? 1 : 0);
    return 0;
}

int __cdecl ENTRY(Genlock)(MpegDriverTable *, int board, int mode)
{
    if (!HasDriverTableRow(board))
        return 1;
    if (mode == GENLOCK_EXTERNAL)
        rtdSetParams(board, RTD_PARAM_VIDEO_SOURCE, VIDEO_SOURCE_EXTERNAL);
    else if (mode == GENLOCK_MPEG)
        rtdSetParams(board, RTD_PARAM_VIDEO_SOURCE, VIDEO_SOURCE_MPEG);
    return 1;
}

}  // extern "C"

// Every entry point has the type of its slot in the player's table.
static_assert(std::is_same<decltype(&ENTRY(Init)), MpegSystemEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(Free)), MpegSystemEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(InitBoard)), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(FreeBoard)), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(DisplayImage)), MpegBoardPathEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(Open)), MpegBoardPathEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(Play)), MpegPlayEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(Check)), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(Stop)), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(Still)), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(Step)), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(GetFrame)), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(SetFrame)), MpegBoardValueEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(Slow)), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(SetVideoOutput)), MpegBoardValueEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(Blank)), MpegBoardValueEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(Fast)), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(Mute)), MpegBoardValueEntry>::value, "slot type");
static_assert(std::is_same<decltype(&ENTRY(Genlock)), MpegBoardValueEntry>::value, "slot type");
