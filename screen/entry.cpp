// The screen board library SWmpeg.dll (board type 4): the 19 entry points
// through which the player reaches every board, each board a window on the
// PC's own display decoding its files with FFmpeg.  Called on the player's
// main thread, one at a time; each returns at once and leaves the decoding
// to the board's worker thread.
//
// Frame search: the player calls SetFrameMPEG n, then StepMPEG, and answers
// COMPLETION.  A decoder board is left one picture short of n by the seek
// and stepped onto it; a screen board shows picture n at the seek, and the
// one StepMPEG that follows it directly (no entry point of that board in
// between but CheckMPEG and GetFrameMPEG, which only ask) leaves picture n
// in place.  Any other StepMPEG moves one picture on.  Pictures are
// numbered in display order from 0, as FFmpeg's own tools count them.
//
// Slow plays at a quarter of normal speed (each picture held four frame
// times), fast at three times (every third picture at the file's own rate).
//
// Sound: a board plays its file's sound while it plays at normal speed and
// is not muted, blanked or not; paused, stepped, slow, fast, stopped or at
// the end of a file it is silent, as a laserdisc player is.  While sound
// plays, the pictures follow the sound device's position.
#include <windows.h>
#include <mmsystem.h>

#include <type_traits>

#include "app/text.h"
#include "screen/media.h"
#include "screen/swmpeg.h"

namespace {

// The timer resolution the boards pace their pictures with.
#define TIMER_PERIOD_MS 1

struct Library {
    HINSTANCE instance;
    bool initialised;
    bool timerPeriodSet;
    int boardCount;
    Board boards[MPEG_MAX_BOARDS];
};

Library library;

// Entry points that act on a board without checking it against boardCount
// still never index the table outside its 16 rows.
bool HasDriverTableRow(int board)
{
    return board >= 0 && board < MPEG_MAX_BOARDS;
}

bool BoardExists(const MpegDriverTable *table, int board)
{
    return HasDriverTableRow(board) && board < table->boardCount && board < library.boardCount;
}

// The board when it exists and its worker runs; a command of the board
// ends the hold of a frame search's step.
Board *CommandedBoard(const MpegDriverTable *table, int board)
{
    if (!BoardExists(table, board) || !library.boards[board].thread)
        return NULL;
    Board *b = &library.boards[board];
    b->seekStepPending = false;
    return b;
}

// The caller holds the lock: the worker carries the request out.
void UnlockAndWake(Board *b)
{
    LeaveCriticalSection(&b->lock);
    SetEvent(b->wake);
}

// A board within a file: a file opened now is queued behind it.
bool Running(const Board *b)
{
    return b->request.mode == BOARD_PLAYING || b->request.mode == BOARD_PAUSED;
}

bool AtLastPicture(const Board *b)
{
    int frames = b->frames;
    return b->request.mode == BOARD_ENDED || (frames > 0 && b->position >= frames - 1);
}

// A new command: the worker shows nothing of the one before.
void NewCommand(Board *b, BoardMode mode, int target)
{
    b->request.mode = mode;
    b->request.target = target;
    b->request.serial++;
}

void ForgetQueue(Board *b)
{
    b->request.queued[0] = '\0';
    b->request.queueSerial++;
}

// The decoder has moved on to, or been told to play, the file last opened.
void RecordOpenedFileAsPlaying(MpegDriverTable *table, int board)
{
    CopyText(table->playingFile[board], MPEG_PATH_SIZE, table->openedFile[board]);
}

void CopyFrameCount(MpegDriverTable *table, int board)
{
    int frames = library.boards[board].frames;
    if (frames >= 0)
        table->totalFrames[board] = frames;
}

// The worker's event that CheckMPEG reports, one a call: a queued file that
// has begun comes before the end of a file.
int TakeEvent(Board *b)
{
    int events = b->events;
    int taken = events & EVENT_FILE_STARTED ? EVENT_FILE_STARTED : events & EVENT_FILE_ENDED;
    b->events.fetch_and(~taken);
    return taken;
}

// Slow and fast change the speed of a board within a file, and set a
// paused one going; the play state stays as it is.
void ChangeSpeed(MpegDriverTable *table, int board, BoardSpeed speed)
{
    Board *b = CommandedBoard(table, board);
    if (!b)
        return;
    EnterCriticalSection(&b->lock);
    if (Running(b)) {
        NewCommand(b, BOARD_PLAYING, NO_PICTURE);
        b->request.speed = speed;
    }
    UnlockAndWake(b);
}

bool MakeBoard(Board *b, int number)
{
    b->number = number;
    InitializeCriticalSection(&b->lock);
    b->lockMade = true;
    b->wake = CreateEventA(NULL, FALSE, FALSE, NULL);
    b->position = 0;
    b->frames = -1;
    b->events = 0;
    return b->wake != NULL;
}

void FreeBoardRecord(Board *b)
{
    StopWorker(b);
    FreePicture(&b->front);
    if (b->wake)
        CloseHandle(b->wake);
    b->wake = NULL;
    if (b->lockMade)
        DeleteCriticalSection(&b->lock);
    b->lockMade = false;
    ZeroMemory(&b->request, sizeof b->request);
    b->showsPicture = false;
    b->blank = false;
    b->started = false;
}

// Ends every worker, then the window thread; safe to call twice.
void ShutDown(void)
{
    for (Board &b : library.boards)
        StopWorker(&b);
    StopScreen();
    for (Board &b : library.boards)
        FreeBoardRecord(&b);
    StopImageDecoder();
    if (library.timerPeriodSet)
        timeEndPeriod(TIMER_PERIOD_MS);
    library.timerPeriodSet = false;
    JournalClose();
    library.boardCount = 0;
    library.initialised = false;
}

bool StartUp(const ScreenSetup *setup)
{
    for (int i = 0; i < setup->boards; i++)
        if (!MakeBoard(&library.boards[i], i))
            return false;
    library.timerPeriodSet = timeBeginPeriod(TIMER_PERIOD_MS) == TIMERR_NOERROR;
    StartImageDecoder();
    return StartScreen(setup);
}

}  // namespace

Board *BoardRecord(int board)
{
    return &library.boards[board];
}

HINSTANCE LibraryInstance(void)
{
    return library.instance;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        library.instance = instance;
    return TRUE;
}

extern "C" {

int __cdecl SWInitMPEG(MpegDriverTable *table)
{
    if (library.initialised)
        ShutDown();
    for (int board = 0; board < MPEG_MAX_BOARDS; board++)
        table->playState[board] = MPEG_IDLE;
    QuietenMedia();
    JournalOpen();
    library.initialised = true;
    ScreenSetup setup;
    ReadLibrarySetup(&setup);
    int boardCount = setup.boards;
    if (!StartUp(&setup)) {
        ShutDown();
        boardCount = 0;
    }
    library.boardCount = boardCount;
    table->boardCount = boardCount;
    return 0;
}

int __cdecl SWFreeMPEG(MpegDriverTable *)
{
    ShutDown();
    return 0;
}

int __cdecl SWInitBoardMPEG(MpegDriverTable *table, int board)
{
    if (!BoardExists(table, board))
        return 0;
    Board *b = &library.boards[board];
    StopWorker(b);
    ZeroMemory(&b->request, sizeof b->request);
    b->started = false;
    b->position = 0;
    b->frames = -1;
    b->events = 0;
    b->seekStepPending = false;
    if (!StartWorker(b))
        return 0;
    table->playState[board] = MPEG_READY;
    return 0;
}

int __cdecl SWFreeBoardMPEG(MpegDriverTable *table, int board)
{
    if (!BoardExists(table, board))
        return 0;
    StopWorker(&library.boards[board]);
    table->playState[board] = MPEG_IDLE;
    return 0;
}

// Returns -1 when the still is missing or of no kind the board shows (it
// shows black); the decoding itself is the worker's.
int __cdecl SWDisplayImageMPEG(MpegDriverTable *table, int board, const char *imagePath)
{
    if (!imagePath || imagePath[0] == '\0')
        return 0;
    Board *b = CommandedBoard(table, board);
    if (!b)
        return 0;
    bool shown = SniffStill(imagePath) != STILL_UNKNOWN;
    EnterCriticalSection(&b->lock);
    shown = shown && CopyText(b->request.image, sizeof b->request.image, imagePath);
    if (!shown)
        b->request.image[0] = '\0';
    b->request.imageSerial++;
    ForgetQueue(b);
    NewCommand(b, Running(b) ? BOARD_STOPPED : b->request.mode, NO_PICTURE);
    b->events = 0;
    UnlockAndWake(b);
    table->playState[board] = MPEG_STOPPED;
    return shown ? 0 : -1;
}

// A file opened while the board is within a file is queued behind it;
// otherwise it is cued, and the screen keeps what it shows until the board
// is told to play, step or seek.
int __cdecl SWOpenMPEG(MpegDriverTable *table, int board, const char *mpegPath)
{
    if (!FitsPathField(mpegPath))
        return 0;
    Board *b = CommandedBoard(table, board);
    if (!b)
        return 0;
    if (!LooksLikeMpeg(mpegPath))
        return -1;
    EnterCriticalSection(&b->lock);
    bool cue = !Running(b);
    if (cue) {
        CopyText(b->request.file, sizeof b->request.file, mpegPath);
        b->request.fileSerial++;
        ForgetQueue(b);
        NewCommand(b, BOARD_CUED, NO_PICTURE);
        b->started = false;
        b->position = 0;
        b->frames = -1;
        b->events = 0;
    } else {
        CopyText(b->request.queued, sizeof b->request.queued, mpegPath);
        b->request.queueSerial++;
    }
    UnlockAndWake(b);
    CopyText(table->openedFile[board], MPEG_PATH_SIZE, mpegPath);
    if (cue)
        table->totalFrames[board] = 0;
    return 0;
}

int __cdecl SWPlayMPEG(MpegDriverTable *table, int board, int start, int, int)
{
    Board *b = CommandedBoard(table, board);
    if (!b)
        return 0;
    EnterCriticalSection(&b->lock);
    // Within a file the board resumes normal speed from the picture shown.
    int target = NO_PICTURE;
    if (!Running(b))
        target = start == MPEG_PLAY_CONTINUE && b->started && !AtLastPicture(b) ? b->position + 1 : 0;
    NewCommand(b, BOARD_PLAYING, target);
    b->request.speed = SPEED_NORMAL;
    b->events &= ~EVENT_FILE_ENDED;
    UnlockAndWake(b);
    if (table->openedFile[board][0] != '\0')
        RecordOpenedFileAsPlaying(table, board);
    table->playState[board] = MPEG_PLAYING;
    return 0;
}

int __cdecl SWCheckMPEG(MpegDriverTable *table, int board)
{
    if (!BoardExists(table, board))
        return 0;
    CopyFrameCount(table, board);
    int event = TakeEvent(&library.boards[board]);
    if (event == EVENT_FILE_STARTED) {
        RecordOpenedFileAsPlaying(table, board);
        table->playState[board] = MPEG_FILE_STARTED;
    } else if (event == EVENT_FILE_ENDED) {
        RecordOpenedFileAsPlaying(table, board);
        table->playState[board] = MPEG_STOPPED;
    }
    return 0;
}

// Stops playing and forgets the queue; the picture stays on screen.
int __cdecl SWStopMPEG(MpegDriverTable *table, int board)
{
    if (!HasDriverTableRow(board))
        return 0;
    if (Board *b = CommandedBoard(table, board)) {
        EnterCriticalSection(&b->lock);
        ForgetQueue(b);
        NewCommand(b, Running(b) ? BOARD_STOPPED : b->request.mode, NO_PICTURE);
        b->events = 0;
        UnlockAndWake(b);
    }
    table->playState[board] = MPEG_STOPPED;
    table->playingFile[board][0] = '\0';
    return 0;
}

int __cdecl SWStillMPEG(MpegDriverTable *table, int board)
{
    if (!HasDriverTableRow(board))
        return 0;
    if (Board *b = CommandedBoard(table, board)) {
        EnterCriticalSection(&b->lock);
        if (b->request.mode == BOARD_PLAYING)
            NewCommand(b, BOARD_PAUSED, NO_PICTURE);
        UnlockAndWake(b);
    }
    table->playState[board] = MPEG_STILL;
    return 0;
}

int __cdecl SWStepMPEG(MpegDriverTable *table, int board)
{
    if (!HasDriverTableRow(board))
        return 0;
    table->playState[board] = MPEG_STILL;
    bool holdsSeek = BoardExists(table, board) && library.boards[board].seekStepPending;
    Board *b = CommandedBoard(table, board);
    if (!b || holdsSeek)
        return 0;
    EnterCriticalSection(&b->lock);
    int frames = b->frames;
    int target = b->started ? b->position + 1 : 0;
    if (frames > 0 && target > frames - 1)
        target = frames - 1;
    bool moves = b->request.mode != BOARD_EMPTY && !(b->started && target == b->position);
    if (moves) {
        NewCommand(b, BOARD_PAUSED, target);
        b->position = target;
        b->events &= ~EVENT_FILE_ENDED;
    }
    UnlockAndWake(b);
    return 0;
}

int __cdecl SWGetFrameMPEG(MpegDriverTable *table, int board)
{
    if (!BoardExists(table, board))
        return 0;
    CopyFrameCount(table, board);
    return library.boards[board].position;
}

// Shows picture `frame` paused.  Nothing for a negative frame or one past
// the end of a file whose length is known; past the end of one whose length
// is not known yet, the last picture.
int __cdecl SWSetFrameMPEG(MpegDriverTable *table, int board, int frame)
{
    Board *b = CommandedBoard(table, board);
    if (!b || frame < 0)
        return frame;
    CopyFrameCount(table, board);
    EnterCriticalSection(&b->lock);
    int frames = b->frames;
    bool moves = b->request.mode != BOARD_EMPTY && !(frames >= 0 && frame >= frames);
    if (moves) {
        NewCommand(b, BOARD_PAUSED, frame);
        b->position = frame;
        b->events &= ~EVENT_FILE_ENDED;
    }
    UnlockAndWake(b);
    if (!moves)
        return frame;
    b->seekStepPending = true;
    if (table->playingFile[board][0] == '\0')
        CopyText(table->playingFile[board], MPEG_PATH_SIZE, table->openedFile[board]);
    table->playState[board] = MPEG_STILL;
    return frame;
}

int __cdecl SWSlowMPEG(MpegDriverTable *table, int board)
{
    ChangeSpeed(table, board, SPEED_SLOW);
    return 0;
}

int __cdecl SWFastMPEG(MpegDriverTable *table, int board)
{
    ChangeSpeed(table, board, SPEED_FAST);
    return 0;
}

// The screen has one output standard.
int __cdecl SWSetVideoOutputMPEG(MpegDriverTable *table, int board, int)
{
    CommandedBoard(table, board);
    return 0;
}

// Black while the board goes on playing, or its picture again.
int __cdecl SWBlankMPEG(MpegDriverTable *table, int board, int blank)
{
    Board *b = CommandedBoard(table, board);
    if (!b)
        return 0;
    EnterCriticalSection(&b->lock);
    bool changed = b->blank != (blank != 0);
    b->blank = blank != 0;
    LeaveCriticalSection(&b->lock);
    if (changed) {
        RepaintBoard(b);
        JournalEvent(board, blank ? 'B' : 'V');
    }
    return 0;
}

// The board's sound goes or comes back at once; the pictures go on.
int __cdecl SWMuteMPEG(MpegDriverTable *table, int board, int mute)
{
    Board *b = CommandedBoard(table, board);
    if (!b)
        return 0;
    EnterCriticalSection(&b->lock);
    b->request.muted = mute != 0;
    UnlockAndWake(b);
    return 0;
}

int __cdecl SWGenlockMPEG(MpegDriverTable *table, int board, int)
{
    CommandedBoard(table, board);
    return 1;
}

}  // extern "C"

// Every entry point has the type of its slot in the player's table.
static_assert(std::is_same<decltype(&SWInitMPEG), MpegSystemEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWFreeMPEG), MpegSystemEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWInitBoardMPEG), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWFreeBoardMPEG), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWDisplayImageMPEG), MpegBoardPathEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWOpenMPEG), MpegBoardPathEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWPlayMPEG), MpegPlayEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWCheckMPEG), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWStopMPEG), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWStillMPEG), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWStepMPEG), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWGetFrameMPEG), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWSetFrameMPEG), MpegBoardValueEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWSlowMPEG), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWSetVideoOutputMPEG), MpegBoardValueEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWBlankMPEG), MpegBoardValueEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWFastMPEG), MpegBoardEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWMuteMPEG), MpegBoardValueEntry>::value, "slot type");
static_assert(std::is_same<decltype(&SWGenlockMPEG), MpegBoardValueEntry>::value, "slot type");
