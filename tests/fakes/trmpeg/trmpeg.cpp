// TRmpeg, the recording board driver (board type 1) that tests load in place
// of a decoder library.  It keeps the driver table as the delivered
// libraries do and appends every call, with its arguments, to a journal.
// Runs on the thread that calls it (the player's main thread).
//
// The exports are listed in trmpeg.def; trmpeg_partial.def builds a variant
// that has TRInitMPEG only, for a library that lacks names.
//
// Environment, read at each call:
//   TRMPEG_BOARDS   number of boards InitMPEG reports (default 2; any number,
//                   so that a test can ask for more than the table holds)
//   TRMPEG_JOURNAL  file that gets one line per call, e.g. "TROpenMPEG 0 x.mpg"
//   TRMPEG_CONTROL  file of lines "<board> started" or "<board> stopped": the
//                   next CheckMPEG of that board takes the first such line out
//                   and reports the queued file started, or playback ended.
#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "board/mpegdrv.h"

#define DEFAULT_BOARDS 2
#define CONTROL_FILE_MAX 4096

namespace {

int frames[MPEG_MAX_BOARDS];   // last frame each board was set to

bool ReadEnvironment(const char *name, char *value, DWORD size)
{
    DWORD len = GetEnvironmentVariableA(name, value, size);
    return len > 0 && len < size;
}

void Journal(const char *format, ...) __attribute__((format(printf, 1, 2)));

void Journal(const char *format, ...)
{
    char path[MAX_PATH];
    if (!ReadEnvironment("TRMPEG_JOURNAL", path, sizeof path))
        return;
    char line[1024];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (n < 0)
        return;
    if (n > (int)sizeof line - 2)
        n = sizeof line - 2;
    line[n++] = '\n';
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, line, (DWORD)n, &written, NULL);
    CloseHandle(file);
}

// Boards the table has room for: entry points without a board check still
// never index the table outside it.
bool InTable(int board)
{
    return board >= 0 && board < MPEG_MAX_BOARDS;
}

// The board check of the delivered libraries: a board that was found.
bool Found(const MpegDriverTable *table, int board)
{
    return InTable(board) && board < table->boardCount;
}

void CopyName(char *field, const char *name)
{
    snprintf(field, MPEG_PATH_SIZE, "%s", name ? name : "");
}

int CountEmptySlotsAfterInit(const MpegDriverTable *table)
{
    const void *slots[] = {
        (const void *)table->FreeMPEG, (const void *)table->InitBoardMPEG,
        (const void *)table->FreeBoardMPEG, (const void *)table->DisplayImageMPEG,
        (const void *)table->OpenMPEG, (const void *)table->PlayMPEG,
        (const void *)table->CheckMPEG, (const void *)table->StopMPEG,
        (const void *)table->StillMPEG, (const void *)table->StepMPEG,
        (const void *)table->GetFrameMPEG, (const void *)table->SetFrameMPEG,
        (const void *)table->SlowMPEG, (const void *)table->SetVideoOutputMPEG,
        (const void *)table->BlankMPEG, (const void *)table->FastMPEG,
        (const void *)table->MuteMPEG, (const void *)table->GenlockMPEG,
    };
    int empty = 0;
    for (const void *slot : slots)
        empty += slot == NULL;
    return empty;
}

// Takes the first "<board> <event>" line for the board out of the control
// file; returns the event word, or an empty text when there is none.
void TakeControlEvent(int board, char *event, size_t size)
{
    event[0] = '\0';
    char path[MAX_PATH];
    if (!ReadEnvironment("TRMPEG_CONTROL", path, sizeof path))
        return;
    FILE *file = fopen(path, "rb");
    if (!file)
        return;
    static char text[CONTROL_FILE_MAX + 1];
    size_t length = fread(text, 1, CONTROL_FILE_MAX, file);
    fclose(file);
    text[length] = '\0';
    for (char *line = text; *line;) {
        char *end = strchr(line, '\n');
        char *next = end ? end + 1 : line + strlen(line);
        int lineBoard;
        char word[16];
        if (sscanf(line, "%d %15s", &lineBoard, word) == 2 && lineBoard == board) {
            snprintf(event, size, "%s", word);
            file = fopen(path, "wb");
            if (file) {
                fwrite(text, 1, (size_t)(line - text), file);
                fwrite(next, 1, strlen(next), file);
                fclose(file);
            }
            return;
        }
        line = next;
    }
}

}  // namespace

extern "C" {

int __cdecl TRInitMPEG(MpegDriverTable *table)
{
    Journal("TRInitMPEG unset=%d", CountEmptySlotsAfterInit(table));
    for (int board = 0; board < MPEG_MAX_BOARDS; board++) {
        table->playState[board] = MPEG_IDLE;
        frames[board] = 0;
    }
    char count[32];
    table->boardCount = ReadEnvironment("TRMPEG_BOARDS", count, sizeof count) ? atoi(count) : DEFAULT_BOARDS;
    return 0;
}

int __cdecl TRFreeMPEG(MpegDriverTable *)
{
    Journal("TRFreeMPEG");
    return 0;
}

int __cdecl TRInitBoardMPEG(MpegDriverTable *table, int board)
{
    if (!Found(table, board)) {
        Journal("TRInitBoardMPEG %d", board);
        return 0;
    }
    Journal("TRInitBoardMPEG %d video=%d sync=%d stream=%d", board, table->videoMode[board],
            (int)table->syncMode[board], table->streamType[board]);
    table->playState[board] = MPEG_READY;
    return 0;
}

int __cdecl TRFreeBoardMPEG(MpegDriverTable *table, int board)
{
    Journal("TRFreeBoardMPEG %d", board);
    if (Found(table, board))
        table->playState[board] = MPEG_IDLE;
    return 0;
}

int __cdecl TRDisplayImageMPEG(MpegDriverTable *table, int board, const char *imagePath)
{
    Journal("TRDisplayImageMPEG %d %.300s", board, imagePath ? imagePath : "(null)");
    if (Found(table, board) && imagePath && imagePath[0])
        table->playState[board] = MPEG_STOPPED;
    return 0;
}

int __cdecl TROpenMPEG(MpegDriverTable *table, int board, const char *mpegPath)
{
    Journal("TROpenMPEG %d %.300s", board, mpegPath ? mpegPath : "(null)");
    if (Found(table, board))
        CopyName(table->openedFile[board], mpegPath);
    return 0;
}

int __cdecl TRPlayMPEG(MpegDriverTable *table, int board, int start, int end, int flags)
{
    Journal("TRPlayMPEG %d %d %d %d", board, start, end, flags);
    if (!Found(table, board))
        return 0;
    if (table->playState[board] < MPEG_PLAYING)
        table->playState[board] = MPEG_PLAYING;
    CopyName(table->playingFile[board], table->openedFile[board]);
    return 0;
}

int __cdecl TRCheckMPEG(MpegDriverTable *table, int board)
{
    Journal("TRCheckMPEG %d", board);
    if (!Found(table, board))
        return 0;
    char event[16];
    TakeControlEvent(board, event, sizeof event);
    if (strcmp(event, "started") == 0) {
        CopyName(table->playingFile[board], table->openedFile[board]);
        table->playState[board] = MPEG_FILE_STARTED;
    } else if (strcmp(event, "stopped") == 0) {
        CopyName(table->playingFile[board], table->openedFile[board]);
        table->playState[board] = MPEG_STOPPED;
    }
    return 0;
}

int __cdecl TRStopMPEG(MpegDriverTable *table, int board)
{
    Journal("TRStopMPEG %d", board);
    if (InTable(board)) {
        table->playState[board] = MPEG_STOPPED;
        table->playingFile[board][0] = '\0';
    }
    return 0;
}

int __cdecl TRStillMPEG(MpegDriverTable *table, int board)
{
    Journal("TRStillMPEG %d", board);
    if (InTable(board))
        table->playState[board] = MPEG_STILL;
    return 0;
}

int __cdecl TRStepMPEG(MpegDriverTable *table, int board)
{
    Journal("TRStepMPEG %d", board);
    if (InTable(board))
        table->playState[board] = MPEG_STILL;
    return 0;
}

int __cdecl TRGetFrameMPEG(MpegDriverTable *, int board)
{
    Journal("TRGetFrameMPEG %d", board);
    return InTable(board) ? frames[board] : 0;
}

int __cdecl TRSetFrameMPEG(MpegDriverTable *table, int board, int frame)
{
    Journal("TRSetFrameMPEG %d %d", board, frame);
    if (!InTable(board) || frame < 0)
        return frame;
    if (table->playingFile[board][0] == '\0')
        CopyName(table->playingFile[board], table->openedFile[board]);
    frames[board] = frame;
    table->playState[board] = MPEG_STILL;
    return frame;
}

// Entry points that only journal their call (with the board, or the board
// and a value) and answer as the delivered libraries do.
#define JOURNAL_ONLY(operation, answer)                          \
    int __cdecl TR##operation##MPEG(MpegDriverTable *, int board) \
    {                                                            \
        Journal("TR" #operation "MPEG %d", board);               \
        return answer;                                           \
    }
#define JOURNAL_ONLY_VALUE(operation, answer)                               \
    int __cdecl TR##operation##MPEG(MpegDriverTable *, int board, int value) \
    {                                                                       \
        Journal("TR" #operation "MPEG %d %d", board, value);                \
        return answer;                                                      \
    }

JOURNAL_ONLY(Slow, 0)
JOURNAL_ONLY(Fast, 0)
JOURNAL_ONLY_VALUE(SetVideoOutput, 0)
JOURNAL_ONLY_VALUE(Blank, 0)
JOURNAL_ONLY_VALUE(Mute, 0)
JOURNAL_ONLY_VALUE(Genlock, 1)

}  // extern "C"
