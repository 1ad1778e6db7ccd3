// Changes of media: the boards stopped behind the opening image, and the
// chapters read again with chapter 0 opened on every board; shared by EJECT
// and MOTORON and by an AutoScript run that changes the media.  Main thread
// only.
#include "app/instance.h"
#include "app/trace.h"
#include "board/board.h"
#include "player/chapters.h"
#include "player/player.h"

void StopBoardsBehindOpeningImage(HWND hwnd)
{
    const InstanceRecord *record = GetInstanceRecord(hwnd);
    for (int board = 0; board < MpegTable.boardCount; board++) {
        MpegStop(board);
        MpegDisplayImage(board, record->settings.startUpImage);
    }
}

void ReloadChapterZero(HWND hwnd)
{
    InstanceRecord *record = GetInstanceRecord(hwnd);
    FreeChapterTable(hwnd);
    BuildChapterTable(hwnd);
    record->currentChapter = 0;
    record->currentBoard = 0;
    const ChapterNode *chapter = FindChapter(record->chapterTable, 0);
    if (!chapter)
        return;
    WriteTraceF(hwnd, record->settings.traceFile, "%2.2d - Opening MPEG file %s", 0, chapter->path);
    for (int board = 0; board < MpegTable.boardCount; board++) {
        record->repeat[board] = 0;
        MpegOpen(board, chapter->path);
        MpegDisplayImage(board, record->settings.startUpImage);
    }
}

void BeginMediaUpdate(HWND hwnd)
{
    const InstanceRecord *record = GetInstanceRecord(hwnd);
    for (int board = 0; board < MpegTable.boardCount; board++)
        WriteTraceF(hwnd, record->settings.traceFile, "%2.2d - Displaying opening image <%s>", board,
                    record->settings.startUpImage);
    StopBoardsBehindOpeningImage(hwnd);
}
