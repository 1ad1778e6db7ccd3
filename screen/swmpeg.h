// Inside the screen board library SWmpeg.dll: its limits, the record of a
// board shared by the player's main thread, the board's worker thread and
// the window thread, and what each file of the library offers the others.
#ifndef HRX_SCREEN_SWMPEG_H
#define HRX_SCREEN_SWMPEG_H

#include <windows.h>
#include <stdint.h>

#include <atomic>

#include "board/mpegdrv.h"
#include "screen/setup.h"

// A file name for the picture journal (one line per change on screen).
#define JOURNAL_ENV "SWMPEG_JOURNAL"

// Slow holds each picture this many frame times; fast shows every third
// picture at the file's own rate.
#define SLOW_HOLD_FRAMES 4
#define FAST_PICTURE_STEP 3

// OpenMPEG and DisplayImageMPEG look this far into a file for its kind.
#define SNIFF_BYTES 4096

// Bounded waits of the main thread: the window thread's start, and the end
// of a thread (a worker finishes the picture in hand first).
#define THREAD_START_MS 5000
#define THREAD_STOP_MS 5000

// No picture: nothing of the file on screen yet, or no target.
#define NO_PICTURE (-1)

enum BoardMode {
    BOARD_EMPTY,    // no file
    BOARD_CUED,     // a file loaded, none of its pictures shown since
    BOARD_STOPPED,  // stopped: what is on screen stays
    BOARD_ENDED,    // the file played to its end, nothing followed
    BOARD_PAUSED,   // holding a picture within the file
    BOARD_PLAYING,  // showing picture after picture at the board's speed
};

enum BoardSpeed { SPEED_NORMAL, SPEED_SLOW, SPEED_FAST };

// Worker events that CheckMPEG takes (the decoder statuses 257 and 258).
#define EVENT_FILE_STARTED 1
#define EVENT_FILE_ENDED 2

// What the main thread asks of a board: a state, not a queue, so it never
// fills and the worker always acts on the newest request.  `serial` moves
// with every command that changes what is shown; the worker shows nothing
// of an older serial.
struct BoardRequest {
    unsigned serial;
    BoardMode mode;
    BoardSpeed speed;
    int target;  // the picture to bring on screen first; NO_PICTURE: the one there
    unsigned fileSerial;
    char file[MPEG_PATH_SIZE];
    unsigned queueSerial;
    char queued[MPEG_PATH_SIZE];  // empty: nothing queued
    unsigned imageSerial;
    char image[MAX_PATH];  // empty: black
    bool muted;
    bool quit;
};

// A picture as the window paints it: 32-bit BGRA rows, top row first.
struct ScreenPicture {
    uint8_t *pixels;
    int width;
    int height;
    size_t bytes;   // allocated
    double aspect;  // display width / height
};

struct Board {
    int number;
    CRITICAL_SECTION lock;
    bool lockMade;
    HANDLE wake;    // auto-reset: a new request
    HANDLE thread;  // the worker
    HWND window;
    // Under lock.
    BoardRequest request;
    ScreenPicture front;  // what the window paints
    bool showsPicture;    // false: black
    bool blank;
    bool started;         // a picture of the file has been on screen
    // Written under lock, read at once.
    std::atomic<int> position;  // the file's picture on screen
    std::atomic<int> frames;    // pictures in the file; -1 while not known
    std::atomic<int> events;
    // The client area of the board's window, set by the window thread;
    // `resized` asks the worker to scale what is on screen to it again.
    std::atomic<int> viewWidth;
    std::atomic<int> viewHeight;
    std::atomic<bool> resized;
    // Main thread only.
    bool seekStepPending;  // SetFrameMPEG moved; the next StepMPEG holds
};

// -- entry.cpp: the library's boards -----------------------------------------
Board *BoardRecord(int board);
HINSTANCE LibraryInstance(void);

// -- settings.cpp --------------------------------------------------------------
// SWmpeg.ini beside the library (the defaults without one).
void ReadLibrarySetup(ScreenSetup *setup);

// -- journal.cpp (any thread) --------------------------------------------------
void JournalOpen(void);
void JournalClose(void);
bool JournalActive(void);
// Each appends one line: the board, the kind of change, the milliseconds
// since JournalOpen and what was shown (see journal.cpp).
void JournalPicture(int board, int picture, uint32_t adler);
void JournalImage(int board, const char *path);
void JournalEvent(int board, char kind);
void JournalQueued(int board, const char *path);
void JournalSound(int board, double seconds);

// -- screen.cpp: the window thread ---------------------------------------------
// Creates the windows of setup->boards boards, each where the setup places
// it; a board on a display that is not attached takes its tile instead.
bool StartScreen(const ScreenSetup *setup);
void StopScreen(void);
void RepaintBoard(Board *b);

// -- worker.cpp: a board's decoding thread ------------------------------------
bool StartWorker(Board *b);
void StopWorker(Board *b);

// -- picture.cpp ----------------------------------------------------------------
// Makes room for a width x height picture; false when there is none.
bool SizePicture(ScreenPicture *p, int width, int height);
void FreePicture(ScreenPicture *p);
// The largest rectangle of the aspect centred in the client area: where a
// picture is painted, at the size the worker scales it to.
RECT FitRect(const RECT &client, double aspect);

// -- still.cpp (worker thread) ---------------------------------------------------
enum StillKind { STILL_UNKNOWN, STILL_MPEG, STILL_IMAGE };
// The kind of still a file begins like; STILL_UNKNOWN when it cannot be read.
StillKind SniffStill(const char *path);
// True when the file opens and holds an MPEG pack or sequence header near
// its start.
bool LooksLikeMpeg(const char *path);
bool StartImageDecoder(void);
void StopImageDecoder(void);
// Decodes a BMP, PNG or JPEG file into the picture, at its own size; false
// when it cannot.
bool LoadImagePicture(const char *path, ScreenPicture *p);
// The first picture of an MPEG file; false when it has none.
bool LoadMpegPicture(const char *path, ScreenPicture *p);

#endif
