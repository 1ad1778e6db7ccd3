// The Sony LDP command interpreter: one received byte at a time, the number
// entry, the command table and its handlers, and the answers to the show
// controller.  Main thread only.
#include <stdio.h>
#include <string.h>

#include "app/cdtray.h"
#include "app/instance.h"
#include "app/text.h"
#include "app/trace.h"
#include "board/board.h"
#include "player/chapters.h"
#include "player/player.h"
#include "player/playback.h"
#include "serial/serial.h"

namespace {

// The number being keyed in, for the process.
struct NumberEntry {
    int active;
    char text[LDP_ENTRY_SIZE];   // a mode letter and the digits
    int length;
};

NumberEntry entry;

// What a handler works on: the window, its record and the addressed board.
struct LdpContext {
    HWND hwnd;
    InstanceRecord *record;
    const char *traceFile;
    int board;
};

void Reply(HWND hwnd, BYTE answer)
{
    WriteCommBlock(hwnd, &answer, 1);
}

// Sends the first `digits` characters of a formatted number.
void ReplyDigits(HWND hwnd, const char *format, int value, int digits)
{
    char text[16];
    snprintf(text, sizeof text, format, value);
    WriteCommBlock(hwnd, reinterpret_cast<const BYTE *>(text), (DWORD)digits);
}

void TraceBoardLine(const LdpContext &c, const char *name)
{
    WriteTraceF(c.hwnd, c.traceFile, "%2.2d - LDP - %s", c.board, name);
}

void TraceLine(const LdpContext &c, const char *name)
{
    WriteTraceF(c.hwnd, c.traceFile, "LDP - %s", name);
}

void StartEntry(char mode)
{
    memset(entry.text, 0, sizeof entry.text);
    entry.text[0] = mode;
    entry.length = 1;
    entry.active = 1;
}

void ClearEntry()
{
    entry.active = 0;
    entry.length = 0;
    memset(entry.text, 0, sizeof entry.text);
}

void SetRepeat(const LdpContext &c, int value)
{
    if (HasDriverTableRow(c.board))
        c.record->repeat[c.board] = value;
}

// Opens the chapter on the addressed board, stopping it first.
void OpenChapterOnBoard(const LdpContext &c, const ChapterNode *chapter)
{
    WriteTraceF(c.hwnd, c.traceFile, "%2.2d - Opening MPEG file %s", c.board, chapter->path);
    MpegStop(c.board);
    MpegOpen(c.board, chapter->path);
}

// The answer goes out before the tray moves, on the tray's own thread.
void DoEject(const LdpContext &c)
{
    TraceLine(c, "EJECT");
    StopBoardsBehindOpeningImage(c.hwnd);
    Reply(c.hwnd, LDP_ACK);
    MoveCdTray(true);
}

void DoClearAll(const LdpContext &c)
{
    TraceBoardLine(c, "CLEARALL");
    c.record->currentChapter = 0;
    c.record->addressMode = ADDRESS_FRAME;
    SetRepeat(c, 0);
    ClearEntry();
    if (const ChapterNode *chapter = FindChapter(c.record->chapterTable, 0))
        OpenChapterOnBoard(c, chapter);
    Reply(c.hwnd, LDP_ACK);
}

void DoStill(const LdpContext &c)
{
    TraceBoardLine(c, "STILL");
    MpegStill(c.board);
    Reply(c.hwnd, LDP_ACK);
}

void DoFplay(const LdpContext &c)
{
    TraceBoardLine(c, "FPLAY");
    MpegBlank(c.board, 0);
    MpegPlay(c.board, MPEG_PLAY_CONTINUE, MPEG_PLAY_END, 0);
    Reply(c.hwnd, LDP_ACK);
    WriteTraceF(c.hwnd, c.traceFile, "%2.2d - Playing MPEG file %.255s", c.board, PlayingFileOf(c.board));
    if (HasDriverTableRow(c.board) && c.record->repeat[c.board] == 1)
        QueuePlayingFile(c.board);
}

void DoFstep(const LdpContext &c)
{
    TraceBoardLine(c, "FSTEP");
    MpegBlank(c.board, 0);
    MpegStep(c.board);
    Reply(c.hwnd, LDP_ACK);
}

void DoSearch(const LdpContext &c)
{
    TraceBoardLine(c, "SEARCH");
    MpegStill(c.board);
    StartEntry(LDP_ENTRY_SEARCH);
    Reply(c.hwnd, LDP_ACK);
}

void DoSetChapterMode(const LdpContext &c)
{
    TraceLine(c, "SETCHPMODE");
    c.record->addressMode = ADDRESS_CHAPTER;
    Reply(c.hwnd, LDP_ACK);
}

void DoSetFrameMode(const LdpContext &c)
{
    TraceLine(c, "SETFRMMODE");
    c.record->addressMode = ADDRESS_FRAME;
    Reply(c.hwnd, LDP_ACK);
}

// The digits after the mode letter; a long entry stops growing at
// 2147483647, so it names no chapter, board or frame.
int EntryNumber()
{
    return (int)ParseLeadingNumber(entry.text + 1);
}

void SearchFrame(const LdpContext &c, int frame)
{
    MpegSetFrame(c.board, frame);
    MpegStep(c.board);
    Reply(c.hwnd, LDP_COMPLETION);
}

void SearchChapter(const LdpContext &c, int number)
{
    const ChapterNode *chapter = FindChapter(c.record->chapterTable, number);
    if (!chapter) {
        Reply(c.hwnd, LDP_NOT_TARGET);
        return;
    }
    c.record->currentChapter = number;
    OpenChapterOnBoard(c, chapter);
    SetRepeat(c, 0);
    Reply(c.hwnd, LDP_COMPLETION);
}

void SelectBoard(const LdpContext &c, int number)
{
    if (number < 0 || number >= MpegTable.boardCount) {
        Reply(c.hwnd, LDP_NOT_TARGET);
        return;
    }
    c.record->currentBoard = number;
    Reply(c.hwnd, LDP_COMPLETION);
}

// The entry stays after ENTER, so a second ENTER repeats it.
void EvaluateEntry(const LdpContext &c)
{
    if (entry.text[0] == LDP_ENTRY_SEARCH) {
        if (c.record->addressMode == ADDRESS_FRAME)
            SearchFrame(c, EntryNumber());
        else
            SearchChapter(c, EntryNumber());
    } else if (entry.text[0] == LDP_ENTRY_SELECT_BOARD) {
        SelectBoard(c, EntryNumber());
    }
}

void DoEnter(const LdpContext &c)
{
    TraceBoardLine(c, "ENTER");
    entry.active = 0;
    Reply(c.hwnd, LDP_ACK);
    EvaluateEntry(c);
}

void DoFrameEnquiry(const LdpContext &c)
{
    TraceLine(c, "SADDRENQ");
    if (c.record->addressMode == ADDRESS_FRAME)
        ReplyDigits(c.hwnd, "%5.5d", MpegGetFrame(c.board), LDP_FRAME_DIGITS);
}

void DoChapterEnquiry(const LdpContext &c)
{
    TraceLine(c, "CHPENQ");
    ReplyDigits(c.hwnd, "%2.2d", c.record->currentChapter, LDP_NUMBER_DIGITS);
}

void DoFslow(const LdpContext &c)
{
    TraceBoardLine(c, "FSLOW");
    MpegBlank(c.board, 0);
    MpegSlow(c.board);
    Reply(c.hwnd, LDP_ACK);
}

void DoSetScreenMode(const LdpContext &c)
{
    TraceLine(c, "SETSCRMODE");
    StartEntry(LDP_ENTRY_SELECT_BOARD);
    Reply(c.hwnd, LDP_ACK);
}

void DoSourceEnquiry(const LdpContext &c)
{
    TraceBoardLine(c, "SRCENQ");
    ReplyDigits(c.hwnd, "%2.2d", c.board, LDP_NUMBER_DIGITS);
}

void DoStop(const LdpContext &c)
{
    TraceBoardLine(c, "STOP");
    MpegStill(c.board);
    MpegBlank(c.board, 1);
    Reply(c.hwnd, LDP_ACK);
}

void DoRepeat(const LdpContext &c)
{
    TraceBoardLine(c, "REPEAT");
    SetRepeat(c, 1);
    QueuePlayingFile(c.board);
    Reply(c.hwnd, LDP_ACK);
}

void DoFfast(const LdpContext &c)
{
    TraceBoardLine(c, "FFAST");
    MpegBlank(c.board, 0);
    MpegFast(c.board);
    Reply(c.hwnd, LDP_ACK);
}

void DoVideoOn(const LdpContext &c)
{
    TraceBoardLine(c, "VIDEOON");
    MpegBlank(c.board, 0);
    Reply(c.hwnd, LDP_ACK);
}

void DoVideoOff(const LdpContext &c)
{
    TraceBoardLine(c, "VIDEOOFF");
    MpegBlank(c.board, 1);
    Reply(c.hwnd, LDP_ACK);
}

void DoAudioOn(const LdpContext &c)
{
    TraceBoardLine(c, "AUDIOON");
    MpegMute(c.board, 0);
    Reply(c.hwnd, LDP_ACK);
}

void DoAudioOff(const LdpContext &c)
{
    TraceBoardLine(c, "AUDIOOFF");
    MpegMute(c.board, 1);
    Reply(c.hwnd, LDP_ACK);
}

// New media: stop every board, close the tray (on the tray's own thread:
// the answer does not wait for it), read the chapters again and open
// chapter 0 everywhere behind the opening image.
void DoMotorOn(const LdpContext &c)
{
    TraceLine(c, "MOTORON");
    for (int board = 0; board < MpegTable.boardCount; board++)
        MpegStop(board);
    MoveCdTray(false);
    ReloadChapterZero(c.hwnd);
    Reply(c.hwnd, LDP_ACK);
}

void DoVideoMpeg(const LdpContext &c)
{
    TraceBoardLine(c, "VIDEO_MPEG");
    MpegGenlock(c.board, GENLOCK_MPEG);
    Reply(c.hwnd, LDP_ACK);
}

void DoVideoExternal(const LdpContext &c)
{
    TraceBoardLine(c, "VIDEO_EXTERNAL");
    MpegGenlock(c.board, GENLOCK_EXTERNAL);
    Reply(c.hwnd, LDP_ACK);
}

struct LdpCommand {
    BYTE code;
    void (*handler)(const LdpContext &c);   // null: known only within an entry
};

const LdpCommand kLdpCommands[] = {
    {LDP_EJECT, DoEject},
    {LDP_CLEARALL, DoClearAll},
    {LDP_STILL, DoStill},
    {LDP_FPLAY, DoFplay},
    {LDP_FSTEP, DoFstep},
    {LDP_SEARCH, DoSearch},
    {LDP_SETCHPMODE, DoSetChapterMode},
    {LDP_SETFRMMODE, DoSetFrameMode},
    {LDP_ENTER, DoEnter},
    {LDP_SADDRENQ, DoFrameEnquiry},
    {LDP_CHPENQ, DoChapterEnquiry},
    {LDP_FSLOW, DoFslow},
    {LDP_SETSCRMODE, DoSetScreenMode},
    {LDP_SRCENQ, DoSourceEnquiry},
    {LDP_STOP, DoStop},
    {LDP_REPEAT, DoRepeat},
    {LDP_CLEARENTRY, NULL},
    {LDP_FFAST, DoFfast},
    {LDP_VIDEOON, DoVideoOn},
    {LDP_VIDEOOFF, DoVideoOff},
    {LDP_AUDIOON, DoAudioOn},
    {LDP_AUDIOOFF, DoAudioOff},
    {LDP_MOTORON, DoMotorOn},
    {LDP_VIDEO_MPEG, DoVideoMpeg},
    {LDP_VIDEO_EXTERNAL, DoVideoExternal},
};

// While a number is keyed in, the entry takes the byte first.  Returns true
// when the byte has been dealt with; CLEARALL and ENTER end the entry and go
// on to the command table.
bool TakeEntryByte(const LdpContext &c, BYTE code)
{
    if (code == LDP_CLEARALL || code == LDP_ENTER) {
        entry.active = 0;
        return false;
    }
    if (code == LDP_CLEARENTRY) {
        TraceBoardLine(c, "CLEARENTRY");
        if (entry.length > 0)
            entry.length--;
        entry.text[entry.length] = '\0';
        Reply(c.hwnd, LDP_ACK);
        return true;
    }
    // A full entry takes no more digits: it is answered like any other byte
    // the entry cannot take.
    if (code >= '0' && code <= '9' && entry.length < LDP_ENTRY_SIZE - 1) {
        entry.text[entry.length++] = (char)code;
        entry.text[entry.length] = '\0';
        Reply(c.hwnd, LDP_ACK);
        return true;
    }
    Reply(c.hwnd, LDP_NAK);
    return true;
}

// Runs the handler of the command table's row for the text; a text matches
// a row only when it is that one character.
bool RunCommandTable(const LdpContext &c, const char *command)
{
    if (command[0] == '\0' || command[1] != '\0')
        return false;
    for (const LdpCommand &entryOfTable : kLdpCommands) {
        if (entryOfTable.code != (BYTE)command[0])
            continue;
        if (!entryOfTable.handler)
            return false;
        entryOfTable.handler(c);
        return true;
    }
    return false;
}

// A byte that neither the entry nor the command table took: traced as
// unknown and answered NAK.
void ReportUnknown(const LdpContext &c, BYTE code)
{
    char shown = code >= 0x20 && code <= 0x7E ? (char)code : '.';
    WriteTraceF(c.hwnd, c.traceFile, "%2.2d - Unknown command %c 0x%X", c.board, shown, code);
    Reply(c.hwnd, LDP_NAK);
}

void Interpret(const LdpContext &c, const char *command)
{
    BYTE code = (BYTE)command[0];
    if (entry.active && TakeEntryByte(c, code))
        return;
    if (RunCommandTable(c, command))
        return;
    ReportUnknown(c, code);
}

}  // namespace

int InterpretLdpCommand(HWND hwnd, const char *command)
{
    InstanceRecord *record = GetInstanceRecord(hwnd);
    if (!record || !command)
        return 0;
    LdpContext c = {hwnd, record, record->settings.traceFile, record->currentBoard};
    // The answer goes out before the command's trace lines, which follow it
    // in their order: each line costs the log file's open, append and
    // close, under Wine several round trips to the server.
    HoldTraceLines();
    Interpret(c, command);
    WriteHeldTraceLines();
    return 0;
}
