// The bench decoder: honours every call of the MPEG decoder SDK and plays
// files on simulated boards in real time at 25 frames a second.  Called
// from one thread (the player's main thread), one call at a time.
//
// A board's position is its time stamp, in 90 kHz units, 3600 a frame.
// The decoder holds one picture ahead of the picture on screen: the frame
// shown is stamp / 3600 - 1, and a file of n frames starts at stamp 3600
// (frame 0 on screen) and ends when the stamp reaches (n + 1) * 3600, n
// frame times later.  The stamp moves only in the service call
// (rtdContinue), towards where the millisecond clock says it should be, but
// never past the next frame boundary, and a stamp on a boundary stays within
// that frame: every picture is on screen for at least one service call, a
// board that falls behind catches up without skipping one, and a pause
// holds the picture of the last service call.
#include "sdk/RtdSdk.h"

#include <windows.h>
#include <mmsystem.h>

#include <limits.h>
#include <string.h>

#include "app/environment.h"
#include "app/text.h"
#include "sdk/rtdsim.h"

namespace {

#define MAX_PARAMS 32
#define PERCENT_FULL 100

enum DecoderMode { MODE_STOPPED, MODE_PLAYING, MODE_PAUSED };

struct SimFile {
    bool present;  // false: nothing to play
    long frames;
};

struct ParamSlot {
    int param;
    long value;
};

struct ParamTable {
    ParamSlot slots[MAX_PARAMS];
    int count;
};

struct SimBoard {
    DecoderMode mode;
    SimFile current;
    SimFile queued;  // follows the current file; present only while one waits
    long long stamp;
    int speed;
    bool clockPending;  // the clock starts at the next service call
    DWORD anchorMs;
    long long anchorStamp;
    ParamTable params;
};

struct SimSystem {
    int boardCount;
    long timeScale;
    long scanBytes;
    ParamTable params;
    SimBoard boards[RTD_MAX_BOARDS];
    RtdFileInfo fileInfo;
    RtdStreamInfo streamInfo;
};

SimSystem sim = {0, 1, 0, {}, {}, {}, {}};

struct SpeedRate {
    int speed;
    int multiply;
    int divide;
};

// Fast plays three times normal speed, slow a fifth of it.
const SpeedRate kSpeedRates[] = {
    {RTD_SPEED_NORMAL, 1, 1},
    {RTD_SPEED_FAST, 3, 1},
    {RTD_SPEED_SLOW, 1, 5},
};

const SpeedRate *SpeedRateOf(int speed)
{
    for (const SpeedRate &rate : kSpeedRates)
        if (rate.speed == speed)
            return &rate;
    return NULL;
}

const char *TextOrEmpty(const char *text)
{
    return text ? text : "";
}

long Clamp(long value, long low, long high)
{
    return value < low ? low : value > high ? high : value;
}

SimBoard *BoardOf(int board)
{
    return board >= 0 && board < sim.boardCount ? &sim.boards[board] : NULL;
}

// -- parameters ---------------------------------------------------------------

bool StoreParam(ParamTable *table, int param, long value)
{
    for (int i = 0; i < table->count; i++) {
        if (table->slots[i].param == param) {
            table->slots[i].value = value;
            return true;
        }
    }
    if (table->count == MAX_PARAMS)
        return false;
    table->slots[table->count].param = param;
    table->slots[table->count].value = value;
    table->count++;
    return true;
}

bool LoadParam(const ParamTable *table, int param, long *value)
{
    for (int i = 0; i < table->count; i++) {
        if (table->slots[i].param == param) {
            *value = table->slots[i].value;
            return true;
        }
    }
    return false;
}

// -- the decoder's clock --------------------------------------------------------

long long EndStamp(const SimBoard *b)
{
    return (long long)(b->current.frames + 1) * RTD_STAMP_PER_FRAME;
}

long long StampOfFrame(long frame)
{
    return (long long)(frame + 1) * RTD_STAMP_PER_FRAME;
}

long long NextBoundary(long long stamp)
{
    return (stamp / RTD_STAMP_PER_FRAME + 1) * RTD_STAMP_PER_FRAME;
}

long FrameOnScreen(const SimBoard *b)
{
    long frame = (long)(b->stamp / RTD_STAMP_PER_FRAME) - 1;
    return Clamp(frame, 0, b->current.present ? b->current.frames : 0);
}

void Rebase(SimBoard *b)
{
    b->anchorMs = timeGetTime();
    b->anchorStamp = b->stamp;
}

long long ClockStamp(const SimBoard *b)
{
    const SpeedRate *rate = SpeedRateOf(b->speed);
    long long elapsed = (long long)(DWORD)(timeGetTime() - b->anchorMs) * sim.timeScale;
    long long units = elapsed * (RTD_STAMP_PER_FRAME * RTDSIM_FRAMES_PER_SECOND / 1000);
    return b->anchorStamp + units * rate->multiply / rate->divide;
}

void StartFromFrame(SimBoard *b, long frame)
{
    b->stamp = StampOfFrame(Clamp(frame, 0, b->current.frames));
    Rebase(b);
}

// Moves the playing board on; returns the status of the service call.
short Advance(SimBoard *b)
{
    if (b->clockPending) {
        b->clockPending = false;
        Rebase(b);
        return RTD_STATUS_NONE;
    }
    long long target = ClockStamp(b);
    long long limit = b->stamp % RTD_STAMP_PER_FRAME == 0 ? b->stamp + RTD_STAMP_PER_FRAME - 1
                                                          : NextBoundary(b->stamp);
    long long next = target < limit ? target : limit;
    if (next > b->stamp)
        b->stamp = next;
    if (b->stamp < EndStamp(b))
        return RTD_STATUS_NONE;
    if (b->queued.present) {
        b->current = b->queued;
        b->queued.present = false;
        StartFromFrame(b, 0);
        return RTD_STATUS_FILE_STARTED;
    }
    b->stamp = EndStamp(b);
    b->mode = MODE_STOPPED;
    return RTD_STATUS_PLAY_ENDED;
}

// -- board operations -------------------------------------------------------------

void ResetDecoder(SimBoard *b)
{
    b->mode = MODE_STOPPED;
    b->current.present = false;
    b->queued.present = false;
    b->stamp = 0;
    b->speed = RTD_SPEED_NORMAL;
    b->clockPending = false;
}

// Parameters set before rtdInitSystem belong to the system it starts, so
// only rtdFreeSystem forgets them.
void ResetBoards(int boardCount)
{
    sim.boardCount = boardCount;
    for (SimBoard &b : sim.boards)
        ResetDecoder(&b);
}

void ForgetParams()
{
    sim.scanBytes = 0;
    sim.params.count = 0;
    for (SimBoard &b : sim.boards)
        b.params.count = 0;
}

void StopDecoding(SimBoard *b)
{
    b->mode = MODE_STOPPED;
    b->queued.present = false;
    b->clockPending = false;
}

// The last file measured, known by its name, size and last write: a driver
// opens a file and asks for its length at once, and a show opens the same
// chapters again and again.
struct MeasuredFile {
    char name[MAX_PATH];
    long scanBytes;
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    StreamMeasure measure;
};

MeasuredFile lastMeasured;

bool SameFile(const WIN32_FILE_ATTRIBUTE_DATA &a, const WIN32_FILE_ATTRIBUTE_DATA &b)
{
    return a.nFileSizeLow == b.nFileSizeLow && a.nFileSizeHigh == b.nFileSizeHigh &&
           CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime) == 0;
}

StreamMeasure MeasureFile(const char *fileName)
{
    StreamMeasure unreadable = {false, 0, 0};
    if (!fileName || strlen(fileName) >= MAX_PATH)
        return unreadable;
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    bool known = GetFileAttributesExA(fileName, GetFileExInfoStandard, &attributes) != 0;
    if (known && lastMeasured.measure.readable && strcmp(lastMeasured.name, fileName) == 0 &&
        lastMeasured.scanBytes == sim.scanBytes && SameFile(lastMeasured.attributes, attributes))
        return lastMeasured.measure;
    StreamMeasure measure = MeasureStream(fileName, sim.scanBytes);
    lastMeasured.measure = unreadable;
    if (known && measure.readable) {
        CopyText(lastMeasured.name, sizeof lastMeasured.name, fileName);
        lastMeasured.scanBytes = sim.scanBytes;
        lastMeasured.attributes = attributes;
        lastMeasured.measure = measure;
    }
    return measure;
}

void SetSpeed(SimBoard *b, int speed)
{
    if (!SpeedRateOf(speed))
        return;
    if (b->mode == MODE_PAUSED)
        b->mode = MODE_PLAYING;
    b->speed = speed;
    Rebase(b);
}

short JumpToPercent(SimBoard *b, long percent)
{
    if (!b->current.present)
        return RTD_ERR_NO_STREAM;
    long frame = (long)((long long)Clamp(percent, 0, PERCENT_FULL) * b->current.frames / PERCENT_FULL);
    StartFromFrame(b, frame);
    return RTD_OK;
}

short SetBoardParam(SimBoard *b, int param, long value)
{
    if (param == RTD_PARAM_CURRENT_FRAME || param == RTD_PARAM_TIME_STAMP)
        return RTD_ERR_PARAM;
    if (!StoreParam(&b->params, param, value))
        return RTD_ERR_PARAM;
    switch (param) {
    case RTD_PARAM_PLAY_CONTROL:
        if (value == 0)
            StopDecoding(b);
        return RTD_OK;
    case RTD_PARAM_SPEED:
        SetSpeed(b, (int)value);
        return RTD_OK;
    case RTD_PARAM_JUMP_PERCENT:
        return JumpToPercent(b, value);
    case RTD_PARAM_SCAN_FROM_END:
        sim.scanBytes = value;
        return RTD_OK;
    default:
        return RTD_OK;
    }
}

short GetBoardParam(const SimBoard *b, int param, long *value)
{
    switch (param) {
    case RTD_PARAM_CURRENT_FRAME:
        *value = FrameOnScreen(b);
        return RTD_OK;
    case RTD_PARAM_TIME_STAMP:
        *value = (long)(uint32_t)b->stamp;
        return RTD_OK;
    default:
        return LoadParam(&b->params, param, value) ? RTD_OK : RTD_ERR_PARAM;
    }
}

short OpenFile(SimBoard *b, const char *fileName)
{
    StreamMeasure measure = MeasureFile(fileName);
    SimFile file = {measure.readable, measure.frames};
    if (b->mode == MODE_STOPPED) {
        b->current = file;
        b->queued.present = false;
        b->stamp = 0;
    } else {
        b->queued = file;
    }
    return file.present ? RTD_OK : RTD_ERR_FILE;
}

short PlayFrom(SimBoard *b, long start, int speed)
{
    if (!b->current.present)
        return RTD_ERR_NO_STREAM;
    if (start != RTD_PLAY_CONTINUE)
        StartFromFrame(b, start);
    else if (b->stamp < StampOfFrame(0) || b->stamp >= EndStamp(b))
        StartFromFrame(b, 0);
    if (SpeedRateOf(speed))
        b->speed = speed;
    b->mode = MODE_PLAYING;
    b->clockPending = true;
    return RTD_OK;
}

short StepOneFrame(SimBoard *b)
{
    if (!b->current.present)
        return RTD_ERR_NO_STREAM;
    long long next = NextBoundary(b->stamp);
    b->stamp = next < EndStamp(b) ? next : EndStamp(b);
    b->mode = MODE_PAUSED;
    b->clockPending = false;
    return RTD_OK;
}

short ShowImage(SimBoard *b, const char *fileName)
{
    DWORD attributes = GetFileAttributesA(TextOrEmpty(fileName));
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return RTD_ERR_FILE;
    StopDecoding(b);
    return RTD_OK;
}

void FillFileInfo(const StreamMeasure &measure)
{
    memset(&sim.streamInfo, 0, sizeof sim.streamInfo);
    long frames = measure.frames;
    long seconds = frames / RTDSIM_FRAMES_PER_SECOND;
    sim.streamInfo.frames = (uint16_t)(frames % RTDSIM_FRAMES_PER_SECOND);
    sim.streamInfo.seconds = (uint16_t)(seconds % 60);
    sim.streamInfo.minutes = (uint16_t)(seconds / 60 % 60);
    sim.streamInfo.hours = (uint16_t)(seconds / 3600);
    sim.fileInfo.recordSize = sizeof sim.fileInfo;
    sim.fileInfo.fileBytes = measure.fileBytes;
    sim.fileInfo.totalFrames = (uint32_t)frames;
    sim.fileInfo.stream = &sim.streamInfo;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_DETACH)
        JournalClose();
    return TRUE;
}

RTDSDK_API short __cdecl rtdInitSystem(int useBackground, const char *optPath, int reserved)
{
    long timeScale = (long)EnvironmentNumber(RTDSIM_TIME_SCALE_ENV, 1, LONG_MAX);
    long boards = (long)EnvironmentNumber(RTDSIM_BOARDS_ENV, RTDSIM_DEFAULT_BOARDS, LONG_MAX);
    sim.timeScale = Clamp(timeScale, 1, RTDSIM_MAX_TIME_SCALE);
    ResetBoards((int)Clamp(boards, 0, RTD_MAX_BOARDS));
    JournalLine("rtdInitSystem %d \"%s\" %d -> %d", useBackground, TextOrEmpty(optPath), reserved, sim.boardCount);
    return (short)sim.boardCount;
}

RTDSDK_API short __cdecl rtdFreeSystem(void)
{
    ResetBoards(0);
    ForgetParams();
    JournalLine("rtdFreeSystem -> 0");
    JournalClose();
    return RTD_OK;
}

RTDSDK_API short __cdecl rtdInitBoard(int board, int reserved, int videoStandard, int streamCode, int syncFlag)
{
    SimBoard *b = BoardOf(board);
    if (b)
        ResetDecoder(b);
    short result = b ? RTD_OK : RTD_ERR_BOARD;
    JournalLine("rtdInitBoard %d %d %d %d %d -> %d", board, reserved, videoStandard, streamCode, syncFlag, result);
    return result;
}

RTDSDK_API short __cdecl rtdFreeBoard(int board)
{
    SimBoard *b = BoardOf(board);
    if (b)
        ResetDecoder(b);
    short result = b ? RTD_OK : RTD_ERR_BOARD;
    JournalLine("rtdFreeBoard %d -> %d", board, result);
    return result;
}

RTDSDK_API short __cdecl rtdOpen(int board, const char *fileName, int flags)
{
    SimBoard *b = BoardOf(board);
    short result = b ? OpenFile(b, fileName) : RTD_ERR_BOARD;
    JournalLine("rtdOpen %d \"%s\" %d -> %d", board, TextOrEmpty(fileName), flags, result);
    return result;
}

RTDSDK_API short __cdecl rtdClose(int board)
{
    SimBoard *b = BoardOf(board);
    if (b)
        ResetDecoder(b);
    short result = b ? RTD_OK : RTD_ERR_BOARD;
    JournalLine("rtdClose %d -> %d", board, result);
    return result;
}

RTDSDK_API short __cdecl rtdPlay(int board, long start, long end, int speed)
{
    SimBoard *b = BoardOf(board);
    short result = b ? PlayFrom(b, start, speed) : RTD_ERR_BOARD;
    JournalLine("rtdPlay %d %ld %ld %d -> %d", board, start, end, speed, result);
    return result;
}

RTDSDK_API short __cdecl rtdPause(int board)
{
    SimBoard *b = BoardOf(board);
    if (b && b->mode == MODE_PLAYING) {
        b->mode = MODE_PAUSED;
        b->clockPending = false;
    }
    short result = b ? RTD_OK : RTD_ERR_BOARD;
    JournalLine("rtdPause %d -> %d", board, result);
    return result;
}

RTDSDK_API short __cdecl rtdSingle(int board)
{
    SimBoard *b = BoardOf(board);
    short result = b ? StepOneFrame(b) : RTD_ERR_BOARD;
    JournalLine("rtdSingle %d -> %d", board, result);
    return result;
}

RTDSDK_API short __cdecl rtdContinue(int board)
{
    SimBoard *b = BoardOf(board);
    short status = !b ? RTD_ERR_BOARD : b->mode == MODE_PLAYING ? Advance(b) : RTD_STATUS_NONE;
    JournalLine("rtdContinue %d -> %d", board, status);
    return status;
}

RTDSDK_API short __cdecl rtdGetParams(int board, int param, long *value)
{
    long read = 0;
    short result = RTD_ERR_BOARD;
    if (board == RTD_SYSTEM)
        result = LoadParam(&sim.params, param, &read) ? RTD_OK : RTD_ERR_PARAM;
    else if (SimBoard *b = BoardOf(board))
        result = GetBoardParam(b, param, &read);
    if (value)
        *value = read;
    JournalLine("rtdGetParams %d %d -> %d %ld", board, param, result, read);
    return result;
}

RTDSDK_API short __cdecl rtdSetParams(int board, int param, long value)
{
    short result = RTD_ERR_BOARD;
    if (board == RTD_SYSTEM)
        result = StoreParam(&sim.params, param, value) ? RTD_OK : RTD_ERR_PARAM;
    else if (SimBoard *b = BoardOf(board))
        result = SetBoardParam(b, param, value);
    JournalLine("rtdSetParams %d %d %ld -> %d", board, param, value, result);
    return result;
}

RTDSDK_API short __cdecl rtdLoadImage(int board, const char *fileName, int reserved, int videoStandard)
{
    SimBoard *b = BoardOf(board);
    short result = b ? ShowImage(b, fileName) : RTD_ERR_BOARD;
    JournalLine("rtdLoadImage %d \"%s\" %d %d -> %d", board, TextOrEmpty(fileName), reserved, videoStandard,
                result);
    return result;
}

RTDSDK_API short __cdecl rtdFileInfo(const char *fileName, RtdFileInfo **info)
{
    StreamMeasure measure = MeasureFile(fileName);
    FillFileInfo(measure);
    if (info)
        *info = &sim.fileInfo;
    short result = measure.readable ? RTD_OK : RTD_ERR_FILE;
    JournalLine("rtdFileInfo \"%s\" -> %d %ld", TextOrEmpty(fileName), result, measure.frames);
    return result;
}
