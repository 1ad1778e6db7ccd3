// The native line protocol: "OP" and "CO" move the CD tray, "SA" opens a
// file by name on a board, "PL" plays it.  Main thread only.
#include <string.h>

#include "app/cdtray.h"
#include "app/instance.h"
#include "app/text.h"
#include "app/tokens.h"
#include "app/trace.h"
#include "board/board.h"
#include "player/playback.h"
#include "player/player.h"
#include "serial/serial.h"

namespace {

const char kTrayAnswer[] = "R\n";

// The answer does not wait for the tray, which moves on its own thread.
void AnswerTray(HWND hwnd, bool open)
{
    WriteCommBlock(hwnd, reinterpret_cast<const BYTE *>(kTrayAnswer), sizeof kTrayAnswer - 1);
    MoveCdTray(open);
}

// A board the driver table has room for, and that exists.
bool BoardExists(long board)
{
    return board >= 0 && board < MPEG_MAX_BOARDS && board < MpegTable.boardCount;
}

// "SA [file [board]]": the file and board replace the current ones, and
// the file is opened on the board.  A board that does not exist refuses
// the command and changes nothing.
void OpenFile(HWND hwnd, InstanceRecord *record)
{
    const char *trace = record->settings.traceFile;
    const char *file = NextToken(NULL, TOKEN_DELIMITERS);
    const char *boardText = file ? NextToken(NULL, TOKEN_DELIMITERS) : NULL;
    if (boardText) {
        long board = ParseLeadingNumber(boardText);
        if (!BoardExists(board)) {
            WriteTraceF(hwnd, trace, "Unable to open MPEG file %s", file);
            return;
        }
        record->currentBoard = (int32_t)board;
    }
    if (file)
        CopyText(record->currentFile, sizeof record->currentFile, file);
    int board = record->currentBoard;
    WriteTraceF(hwnd, trace, "%2.2d - Opening MPEG file %s", board, record->currentFile);
    if (MpegOpen(board, record->currentFile) != 0)
        WriteTraceF(hwnd, trace, "Unable to open MPEG file %s", record->currentFile);
    else if (HasDriverTableRow(board))
        MpegTable.playState[board] = MPEG_STOPPED;
}

void PlayFile(HWND hwnd, InstanceRecord *record)
{
    int board = record->currentBoard;
    if (MpegPlay(board, 0, MPEG_PLAY_END, 0) != 0)
        WriteTraceF(hwnd, record->settings.traceFile, "Unable to play MPEG file %s", record->currentFile);
    else if (HasDriverTableRow(board))
        MpegTable.playState[board] = MPEG_PLAYING;
}

}  // namespace

int InterpretNativeCommand(HWND hwnd, const char *line)
{
    InstanceRecord *record = GetInstanceRecord(hwnd);
    const char *word = NextToken(SkipSpaces(line), TOKEN_DELIMITERS);
    if (!record || !word)
        return 0;
    if (_stricmp(word, "OP") == 0)
        AnswerTray(hwnd, true);
    else if (_stricmp(word, "CO") == 0)
        AnswerTray(hwnd, false);
    else if (_stricmp(word, "SA") == 0)
        OpenFile(hwnd, record);
    else if (_stricmp(word, "PL") == 0)
        PlayFile(hwnd, record);
    return 0;
}
