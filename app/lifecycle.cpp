// Bring-up and take-down of the boards and the first chapter, shared by
// start-up, the property sheet's restart and shut-down (main thread).
#include "app/lifecycle.h"

#include "app/instance.h"
#include "app/trace.h"
#include "board/board.h"
#include "player/chapters.h"
#include "player/player.h"
#include "serial/serial.h"

static const char *BoardTypeName(int boardType)
{
    switch (boardType) {
    case BOARD_TYPE_VIDEOPLEX: return BOARD_NAME_VIDEOPLEX;
    case BOARD_TYPE_VIDEOQUEST: return BOARD_NAME_VIDEOQUEST;
    case BOARD_TYPE_SCREEN: return BOARD_NAME_SCREEN;
    default: return NULL;
    }
}

void BringUpBoards(HWND hwnd)
{
    InstanceRecord *record = GetInstanceRecord(hwnd);
    const Settings &s = record->settings;
    const char *trace = s.traceFile;
    MpegTable.boardType = s.boardType;
    MpegTable.fifoLimit = s.fifoLimit;
    if (const char *name = BoardTypeName(s.boardType))
        WriteTraceF(hwnd, trace, "Initialising %s Board(s)", name);
    LoadMpegDriver(&MpegTable);
    WriteTraceF(hwnd, trace, "Found %d MPEG Board(s)", MpegTable.boardCount);
    for (int i = 0; i < MpegTable.boardCount; i++) {
        MpegTable.videoMode[i] = (int16_t)s.videoMode;
        MpegTable.syncMode[i] = s.syncMode;
        MpegTable.streamType[i] = (int16_t)s.streamType;
        WriteTraceF(hwnd, trace, "Initialising MPEG Board %d", i);
        MpegInitBoard(i);
        MpegSetVideoOutput(i, s.outputStd);
        WriteTraceF(hwnd, trace, "%2.2d - Displaying opening image <%s>", i, s.startUpImage);
        MpegDisplayImage(i, s.startUpImage);
    }
}

void TakeDownBoards(HWND hwnd)
{
    InstanceRecord *record = GetInstanceRecord(hwnd);
    const Settings &s = record->settings;
    for (int i = 0; i < MpegTable.boardCount; i++) {
        WriteTraceF(hwnd, s.traceFile, "%2.2d - Displaying closing image <%s>", i, s.closeDownImage);
        MpegDisplayImage(i, s.closeDownImage);
        WriteTraceF(hwnd, s.traceFile, "Free MPEG Board %d", i);
        MpegFreeBoard(i);
    }
    WriteTrace(hwnd, s.traceFile, "Free MPEG system");
    FreeMpegDriver(&MpegTable);
}

void OpenChapterZero(HWND hwnd)
{
    InstanceRecord *record = GetInstanceRecord(hwnd);
    record->currentChapter = 0;
    record->addressMode = ADDRESS_FRAME;
    record->currentBoard = 0;
    const ChapterNode *chapter = FindChapter(record->chapterTable, 0);
    if (!chapter)
        return;
    for (int i = 0; i < MpegTable.boardCount; i++) {
        WriteTraceF(hwnd, record->settings.traceFile, "%2.2d - Opening MPEG file %s", i, chapter->path);
        record->repeat[i] = 0;
        MpegOpen(i, chapter->path);
    }
}

void SendStartupAck(HWND hwnd)
{
    const BYTE ack = LDP_ACK;
    WriteCommBlock(hwnd, &ack, 1);
}
