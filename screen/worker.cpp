// A board's worker thread: opens, decodes and seeks the board's files,
// paces playback by the board's clock, puts pictures on screen, plays the
// sound and writes the journal.  It carries out the main thread's newest
// request and never waits for the main thread.
#include "screen/media.h"
#include "screen/sound.h"
#include "screen/swmpeg.h"

#include "app/text.h"

namespace {

struct Worker {
    Board *b;
    BoardRequest job;  // the request carried out
    MediaFile files[2];
    MediaFile *current;
    MediaFile *next;   // the queued file, opened ahead of its turn
    bool nextReady;
    bool nextFailed;
    AVFrame *nextFirst;  // its picture 0
    AVFrame *ahead;      // a picture of the current file decoded, not yet shown
    int aheadNumber;     // NO_PICTURE: none
    bool aheadConverted; // the back picture holds it
    bool aheadVisible;   // and the conversion succeeded
    int onScreen;        // the current file's picture shown last; NO_PICTURE: none
    bool pictureShown;   // the screen shows it (no still since)
    bool endOfFile;      // no picture follows onScreen
    bool playing;
    double due;          // when the next picture goes on screen (ms)
    ScreenPicture back;
    SwsContext *scaler;
    // What is on screen, at its own size, to scale again when the window's
    // size changes: the still when stillShown, else the picture in shown
    // (none after a still that could not be read).
    AVFrame *shown;
    ScreenPicture still;
    bool stillShown;
    BoardSound sound;
    bool soundTried;  // since the last reason to begin the sound
};

double NowMs(void)
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)now.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

SIZE View(const Worker *w)
{
    return SIZE{w->b->viewWidth, w->b->viewHeight};
}

int PictureStep(const Worker *w)
{
    return w->job.speed == SPEED_FAST ? FAST_PICTURE_STEP : 1;
}

double HoldMs(const Worker *w)
{
    return MediaFrameMs(w->current) * (w->job.speed == SPEED_SLOW ? SLOW_HOLD_FRAMES : 1);
}

// Under the board's lock: no newer command has come since the one carried out.
bool CommandStillCurrent(const Worker *w)
{
    return w->b->request.serial == w->job.serial;
}

// Under the board's lock: the back picture goes on screen.
void SwapIntoFront(Worker *w, bool visible)
{
    ScreenPicture shown = w->b->front;
    w->b->front = w->back;
    w->back = shown;
    w->b->showsPicture = visible;
}

void DropAhead(Worker *w)
{
    av_frame_unref(w->ahead);
    w->aheadNumber = NO_PICTURE;
    w->aheadConverted = false;
}

void ConvertAhead(Worker *w)
{
    if (w->aheadConverted)
        return;
    w->aheadVisible = ConvertPicture(w->ahead, &w->scaler, &w->back, View(w));
    w->aheadConverted = true;
}

// Corrects the position the main thread set ahead of the worker (a step or
// seek past the end of a file whose length was not known yet).
void SettlePosition(Worker *w)
{
    if (w->onScreen == NO_PICTURE)
        return;
    EnterCriticalSection(&w->b->lock);
    if (CommandStillCurrent(w))
        w->b->position = w->onScreen;
    LeaveCriticalSection(&w->b->lock);
}

// Puts the picture in hand on screen unless a newer command has come; it
// then stays in hand, converted.
bool ShowAhead(Worker *w)
{
    ConvertAhead(w);
    uint32_t adler = JournalActive() ? PictureAdler(w->ahead) : 0;
    Board *b = w->b;
    EnterCriticalSection(&b->lock);
    bool current = CommandStillCurrent(w);
    if (current) {
        SwapIntoFront(w, w->aheadVisible);
        b->started = true;
        b->position = w->aheadNumber;
    }
    LeaveCriticalSection(&b->lock);
    if (!current)
        return false;
    w->onScreen = w->aheadNumber;
    w->pictureShown = true;
    w->stillShown = false;
    av_frame_unref(w->shown);
    av_frame_move_ref(w->shown, w->ahead);
    DropAhead(w);
    RepaintBoard(b);
    JournalPicture(b->number, w->onScreen, adler);
    return true;
}

// Makes the picture in hand picture `target`, or the last one when the file
// ends before it.
bool ObtainAhead(Worker *w, int target)
{
    if (w->aheadNumber == target)
        return true;
    DropAhead(w);
    int number;
    if (!MediaPicture(w->current, target, w->ahead, &number))
        return false;
    w->aheadNumber = number;
    return true;
}

bool BringToScreen(Worker *w, int target)
{
    int count = w->current->count;
    if (count > 0 && target > count - 1)
        target = count - 1;
    if (target == w->onScreen && w->pictureShown) {
        SettlePosition(w);
        return true;
    }
    if (!ObtainAhead(w, target)) {
        SettlePosition(w);
        return false;
    }
    w->endOfFile = false;
    return ShowAhead(w);
}

// While sound plays, the next picture is due when the sound device reaches
// its time; a board far behind or ahead of its sound closes up within a
// few pictures rather than all at once.
void FollowSound(Worker *w)
{
    double seconds;
    if (!SoundSeconds(&w->sound, &seconds))
        return;
    double hold = HoldMs(w);
    double wait = (MediaPictureSeconds(w->current, w->onScreen + 1) - seconds) * 1000.0;
    if (wait < 0)
        wait = 0;
    if (wait > 2 * hold)
        wait = 2 * hold;
    w->due = NowMs() + wait;
}

void SilenceSound(Worker *w)
{
    if (!w->sound.on)
        return;
    SoundSilence(&w->sound);
    JournalEvent(w->b->number, 'Z');
}

// Decodes the picture that plays after the one on screen, or learns that
// there is none.
void PrepareAhead(Worker *w)
{
    int count = w->current->count;
    if (count > 0 && w->onScreen >= count - 1) {
        w->endOfFile = true;
        return;
    }
    int want = w->onScreen == NO_PICTURE ? 0 : w->onScreen + PictureStep(w);
    if (count > 0 && want > count - 1)
        want = count - 1;
    if (!ObtainAhead(w, want) || w->aheadNumber <= w->onScreen) {
        DropAhead(w);
        w->endOfFile = true;
        return;
    }
    ConvertAhead(w);
}

// The file played to its end with nothing queued: its last picture stays.
void EndFile(Worker *w)
{
    Board *b = w->b;
    w->playing = false;
    EnterCriticalSection(&b->lock);
    bool current = CommandStillCurrent(w);
    if (current) {
        b->request.mode = BOARD_ENDED;
        b->events |= EVENT_FILE_ENDED;
    }
    LeaveCriticalSection(&b->lock);
    if (!current)
        return;
    w->job.mode = BOARD_ENDED;
    JournalEvent(b->number, 'E');
}

bool QueueWaiting(const Worker *w)
{
    return w->job.queued[0] != '\0' && !w->nextReady && !w->nextFailed;
}

void PrepareQueuedFile(Worker *w)
{
    if (MediaOpen(w->next, w->job.queued, w->nextFirst))
        w->nextReady = true;
    else
        w->nextFailed = true;
}

void ForgetQueuedFile(Worker *w)
{
    if (MediaIsOpen(w->next))
        MediaClose(w->next);
    av_frame_unref(w->nextFirst);
    w->nextReady = false;
    w->nextFailed = false;
}

// The queued file's picture 0 follows the last picture of the file that
// ended, in the same frame time; the journal's Q line comes before it.
void SwitchToQueuedFile(Worker *w)
{
    bool visible = ConvertPicture(w->nextFirst, &w->scaler, &w->back, View(w));
    w->aheadConverted = false;
    uint32_t adler = JournalActive() ? PictureAdler(w->nextFirst) : 0;
    Board *b = w->b;
    EnterCriticalSection(&b->lock);
    bool current = CommandStillCurrent(w) && b->request.queueSerial == w->job.queueSerial;
    if (current) {
        SwapIntoFront(w, visible);
        b->started = true;
        b->position = 0;
        CopyText(b->request.file, sizeof b->request.file, b->request.queued);
        b->request.queued[0] = '\0';
        b->frames = w->next->count;
        b->events |= EVENT_FILE_STARTED;
    }
    LeaveCriticalSection(&b->lock);
    if (!current)
        return;
    MediaFile *ended = w->current;
    w->current = w->next;
    w->next = ended;
    DropAhead(w);
    MediaClose(ended);
    w->stillShown = false;
    av_frame_unref(w->shown);
    av_frame_move_ref(w->shown, w->nextFirst);
    w->nextReady = false;
    char path[MPEG_PATH_SIZE];
    CopyText(path, sizeof path, w->job.queued);
    CopyText(w->job.file, sizeof w->job.file, w->job.queued);
    w->job.queued[0] = '\0';
    w->onScreen = 0;
    w->pictureShown = true;
    w->endOfFile = false;
    w->due += HoldMs(w);
    SoundPicturesSwitched(&w->sound);
    if (!w->sound.on)
        w->soundTried = false;
    FollowSound(w);
    RepaintBoard(b);
    JournalQueued(b->number, path);
    JournalPicture(b->number, 0, adler);
}

void FinishFile(Worker *w)
{
    if (QueueWaiting(w))
        PrepareQueuedFile(w);
    if (w->nextReady)
        SwitchToQueuedFile(w);
    else
        EndFile(w);
}

void ShowNextPicture(Worker *w)
{
    if (!w->endOfFile && w->aheadNumber == NO_PICTURE)
        PrepareAhead(w);
    if (w->aheadNumber == NO_PICTURE) {
        FinishFile(w);
        return;
    }
    double hold = HoldMs(w);
    if (!ShowAhead(w))
        return;
    // A board that fell behind (a slow disk, a large picture) carries on
    // from now rather than hurrying through the pictures it owes.
    w->due += hold;
    double now = NowMs();
    if (w->due < now - hold)
        w->due = now + hold;
    FollowSound(w);
}

void TakeFile(Worker *w)
{
    SilenceSound(w);
    DropAhead(w);
    if (MediaIsOpen(w->current))
        MediaClose(w->current);
    w->onScreen = NO_PICTURE;
    w->pictureShown = false;
    w->endOfFile = false;
    w->playing = false;
    if (w->job.file[0] == '\0')
        return;
    if (MediaOpen(w->current, w->job.file, w->ahead))
        w->aheadNumber = 0;
    EnterCriticalSection(&w->b->lock);
    if (w->b->request.fileSerial == w->job.fileSerial)
        w->b->frames = w->current->count;
    LeaveCriticalSection(&w->b->lock);
}

// A still replaces the picture whatever commands follow it: only a newer
// still supersedes it.  One that cannot be read shows black.
void ShowStill(Worker *w)
{
    const char *path = w->job.image;
    bool loaded = false;
    switch (path[0] != '\0' ? SniffStill(path) : STILL_UNKNOWN) {
    case STILL_IMAGE:
        loaded = LoadImagePicture(path, &w->still);
        break;
    case STILL_MPEG:
        loaded = LoadMpegPicture(path, &w->still);
        break;
    default:
        break;
    }
    bool visible = loaded && ScaleStill(&w->still, &w->scaler, &w->back, View(w));
    w->aheadConverted = false;
    Board *b = w->b;
    EnterCriticalSection(&b->lock);
    bool current = b->request.imageSerial == w->job.imageSerial;
    if (current)
        SwapIntoFront(w, visible);
    LeaveCriticalSection(&b->lock);
    if (!current)
        return;
    w->pictureShown = false;
    w->stillShown = visible;
    av_frame_unref(w->shown);
    RepaintBoard(b);
    if (visible)
        JournalImage(b->number, path);
    else
        JournalEvent(b->number, 'B');
}

// The window's size has changed: what is on screen is scaled to it again
// (no new picture, no journal line).
void ScaleToView(Worker *w)
{
    bool visible;
    if (w->stillShown)
        visible = ScaleStill(&w->still, &w->scaler, &w->back, View(w));
    else if (w->shown->data[0])
        visible = ConvertPicture(w->shown, &w->scaler, &w->back, View(w));
    else
        return;
    w->aheadConverted = false;
    EnterCriticalSection(&w->b->lock);
    SwapIntoFront(w, visible);
    LeaveCriticalSection(&w->b->lock);
    RepaintBoard(w->b);
}

void TakeCommand(Worker *w)
{
    // Every command may begin the sound; one that moves the board within
    // its file begins it afresh.
    w->soundTried = false;
    if (w->job.target != NO_PICTURE)
        SilenceSound(w);
    bool wasPlaying = w->playing;
    bool wantsPictures = w->job.mode == BOARD_PLAYING || (w->job.mode == BOARD_PAUSED && w->job.target != NO_PICTURE);
    w->playing = false;
    if (!wantsPictures)
        return;
    // A file the decoder could not open ends at once.
    if (!MediaIsOpen(w->current)) {
        EndFile(w);
        return;
    }
    bool shown = w->job.target == NO_PICTURE || BringToScreen(w, w->job.target);
    if (w->job.mode != BOARD_PLAYING)
        return;
    w->playing = true;
    if (w->job.target != NO_PICTURE)
        w->due = NowMs() + (shown ? HoldMs(w) : 0);
    else if (!wasPlaying)
        w->due = NowMs();
}

// Sound plays while the board plays a file at normal speed, unmuted.
bool WantsSound(const Worker *w)
{
    return w->playing && w->job.speed == SPEED_NORMAL && !w->job.muted && MediaHasClock(w->current);
}

// The board's clock in pictures of its file: the next picture is due at
// w->due.
double ClockPicture(const Worker *w)
{
    double next = w->onScreen == NO_PICTURE ? 0 : w->onScreen + 1;
    return next - (w->due - NowMs()) / MediaFrameMs(w->current);
}

// Begins the sound at the board's clock when it should play, silences it
// when not, and keeps the device fed.
void KeepSound(Worker *w)
{
    if (!WantsSound(w)) {
        SilenceSound(w);
        return;
    }
    if (!w->sound.on && !w->soundTried) {
        w->soundTried = true;
        double seconds = MediaPictureSeconds(w->current, ClockPicture(w));
        if (SoundBegin(&w->sound, w->job.file, seconds))
            JournalSound(w->b->number, seconds);
    }
    SoundFeed(&w->sound, w->job.file, w->job.queued);
}

DWORD WaitMs(const Worker *w)
{
    if (!w->playing)
        return INFINITE;
    double wait = w->due - NowMs();
    return wait <= 0 ? 0 : (DWORD)wait + 1;
}

bool StartWorkerState(Worker *w, Board *b)
{
    ZeroMemory(w, sizeof *w);
    w->b = b;
    w->current = &w->files[0];
    w->next = &w->files[1];
    w->aheadNumber = NO_PICTURE;
    w->onScreen = NO_PICTURE;
    w->ahead = av_frame_alloc();
    w->nextFirst = av_frame_alloc();
    w->shown = av_frame_alloc();
    bool sound = SoundInit(&w->sound);
    return w->ahead && w->nextFirst && w->shown && sound;
}

void EndWorkerState(Worker *w)
{
    SoundEnd(&w->sound);
    ForgetQueuedFile(w);
    if (w->ahead)
        DropAhead(w);
    if (MediaIsOpen(w->current))
        MediaClose(w->current);
    av_frame_free(&w->ahead);
    av_frame_free(&w->nextFirst);
    av_frame_free(&w->shown);
    sws_freeContext(w->scaler);
    FreePicture(&w->back);
    FreePicture(&w->still);
}

DWORD WINAPI WorkerMain(void *parameter)
{
    Board *b = static_cast<Board *>(parameter);
    Worker w;
    if (!StartWorkerState(&w, b)) {
        EndWorkerState(&w);
        return 1;
    }
    for (;;) {
        BoardRequest previous = w.job;
        EnterCriticalSection(&b->lock);
        w.job = b->request;
        LeaveCriticalSection(&b->lock);
        // The closing still comes just before the board is freed: it is
        // shown all the same.
        if (w.job.imageSerial != previous.imageSerial)
            ShowStill(&w);
        if (w.job.quit)
            break;
        if (w.job.fileSerial != previous.fileSerial)
            TakeFile(&w);
        if (w.job.queueSerial != previous.queueSerial) {
            ForgetQueuedFile(&w);
            if (SoundForgetQueue(&w.sound)) {
                JournalEvent(b->number, 'Z');
                w.soundTried = false;
            }
        }
        if (w.job.serial != previous.serial)
            TakeCommand(&w);
        if (w.job.muted != previous.muted)
            w.soundTried = false;
        KeepSound(&w);
        if (b->resized.exchange(false))
            ScaleToView(&w);
        if (w.playing && NowMs() >= w.due)
            ShowNextPicture(&w);
        if (w.playing && w.aheadNumber == NO_PICTURE && !w.endOfFile)
            PrepareAhead(&w);
        // The queued file opens in the time between two pictures.
        if (QueueWaiting(&w) && (!w.playing || w.due - NowMs() >= HoldMs(&w) / 2))
            PrepareQueuedFile(&w);
        HANDLE wakes[2] = {b->wake, w.sound.played};
        WaitForMultipleObjects(2, wakes, FALSE, WaitMs(&w));
    }
    EndWorkerState(&w);
    return 0;
}

}  // namespace

bool StartWorker(Board *b)
{
    EnterCriticalSection(&b->lock);
    b->request.quit = false;
    LeaveCriticalSection(&b->lock);
    b->thread = CreateThread(NULL, 0, WorkerMain, b, 0, NULL);
    return b->thread != NULL;
}

void StopWorker(Board *b)
{
    if (!b->thread)
        return;
    EnterCriticalSection(&b->lock);
    b->request.quit = true;
    LeaveCriticalSection(&b->lock);
    SetEvent(b->wake);
    // A worker that does not end in time is left running, never killed.
    if (WaitForSingleObject(b->thread, THREAD_STOP_MS) == WAIT_OBJECT_0)
        CloseHandle(b->thread);
    b->thread = NULL;
}
