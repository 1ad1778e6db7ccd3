// Player control: the Sony LDP and native command interpreters, the
// playback watcher and the changes of media.  Main thread only.
#ifndef HRX_PLAYER_PLAYER_H
#define HRX_PLAYER_PLAYER_H

#include <windows.h>

#include "player/ldpbytes.h"

// The number being keyed in: a mode letter and up to 254 digits.
#define LDP_ENTRY_SIZE 256
#define LDP_ENTRY_SEARCH 'C'
#define LDP_ENTRY_SELECT_BOARD 'S'

// Enquiry answers: "%5.5d" cut to 5 bytes, "%2.2d" cut to 2 bytes.
#define LDP_FRAME_DIGITS 5
#define LDP_NUMBER_DIGITS 2

// The playback timer's WM_TIMER comes only when no other message waits, so
// a controller that keeps the line busy holds it off; a polling pass that
// has not run for this long is overdue.
#define PLAYBACK_OVERDUE_MS 20

int InterpretLdpCommand(HWND hwnd, const char *command);
int InterpretNativeCommand(HWND hwnd, const char *line);
int WatchPlayback(HWND hwnd);
// True when no polling pass has run for PLAYBACK_OVERDUE_MS.
bool IsPlaybackPassOverdue(void);

// Every board stopped behind the opening image, as EJECT leaves them.
void StopBoardsBehindOpeningImage(HWND hwnd);
// The chapters read again, chapter 0 and board 0 the current ones, and
// chapter 0 opened on every board behind the opening image with repeat off,
// as MOTORON leaves them.
void ReloadChapterZero(HWND hwnd);
// An AutoScript run is about to replace or delete media files, which a
// board holding one open would refuse: every board stops behind the opening
// image, a trace line for each.
void BeginMediaUpdate(HWND hwnd);

#endif
