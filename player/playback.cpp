// The playback watcher: keeps every board with an active stream serviced,
// queues a repeating file behind itself and reopens the current chapter
// when a board has stopped.  Main thread, from the 5 ms timer, the idle
// loop and, when the timer is held off, after a received command.
#include "player/playback.h"

#include <windows.h>
#include <mmsystem.h>

#include "app/instance.h"
#include "app/trace.h"
#include "board/board.h"
#include "player/chapters.h"
#include "player/player.h"

bool HasDriverTableRow(int board)
{
    return board >= 0 && board < MPEG_MAX_BOARDS;
}

const char *PlayingFileOf(int board)
{
    return HasDriverTableRow(board) ? MpegTable.playingFile[board] : "";
}

void QueuePlayingFile(int board)
{
    const char *file = PlayingFileOf(board);
    if (file[0] != '\0')
        MpegOpen(board, file);
}

namespace {

DWORD lastPassTime;  // timeGetTime of the latest polling pass

void OnFileStarted(HWND hwnd, InstanceRecord *record, int board)
{
    MpegTable.playState[board] = MPEG_PLAYING;
    WriteTraceF(hwnd, record->settings.traceFile, "%2.2d - Playing MPEG file %.255s", board,
                PlayingFileOf(board));
    if (record->repeat[board] == 1)
        QueuePlayingFile(board);
}

void OnStopped(HWND hwnd, InstanceRecord *record, int board)
{
    const ChapterNode *chapter = FindChapter(record->chapterTable, record->currentChapter);
    if (!chapter)
        return;
    WriteTraceF(hwnd, record->settings.traceFile, "%2.2d - Opening MPEG file %s", board, chapter->path);
    record->repeat[board] = 0;
    MpegOpen(board, chapter->path);
}

}  // namespace

int WatchPlayback(HWND hwnd)
{
    InstanceRecord *record = GetInstanceRecord(hwnd);
    if (!record)
        return 0;
    lastPassTime = timeGetTime();
    for (int board = 0; board < MpegTable.boardCount && HasDriverTableRow(board); board++) {
        if (MpegTable.playState[board] <= MPEG_LAST_INACTIVE_STATE)
            continue;
        MpegCheck(board);
        switch (MpegTable.playState[board]) {
        case MPEG_FILE_STARTED:
            OnFileStarted(hwnd, record, board);
            break;
        case MPEG_STOPPED:
            OnStopped(hwnd, record, board);
            break;
        default:
            break;
        }
    }
    return 0;
}

bool IsPlaybackPassOverdue(void)
{
    return timeGetTime() - lastPassTime >= PLAYBACK_OVERDUE_MS;
}
