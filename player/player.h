// Player control: the Sony LDP and native command interpreters and the
// playback watcher.  Main thread only.
#ifndef HRX_PLAYER_PLAYER_H
#define HRX_PLAYER_PLAYER_H

#include <windows.h>

// Sony LDP reply bytes.
#define LDP_ACK 0x0A
#define LDP_NAK 0x0B
#define LDP_COMPLETION 0x01
#define LDP_NOT_TARGET 0x05

// Sony LDP command bytes, in the order the interpreter looks them up.
#define LDP_EJECT 0x2A
#define LDP_CLEARALL 0x56
#define LDP_STILL 0x4F
#define LDP_FPLAY 0x3A
#define LDP_FSTEP 0x2B
#define LDP_SEARCH 0x43
#define LDP_SETCHPMODE 0x69
#define LDP_SETFRMMODE 0x55
#define LDP_ENTER 0x40
#define LDP_SADDRENQ 0x60
#define LDP_CHPENQ 0x76
#define LDP_FSLOW 0x3C
#define LDP_SETSCRMODE 0x53
#define LDP_SRCENQ 0x54
#define LDP_STOP 0x3F
#define LDP_REPEAT 0x44
#define LDP_CLEARENTRY 0x41
#define LDP_FFAST 0x3B
#define LDP_VIDEOON 0x27
#define LDP_VIDEOOFF 0x26
#define LDP_AUDIOON 0x25
#define LDP_AUDIOOFF 0x24
#define LDP_MOTORON 0x62
#define LDP_VIDEO_MPEG 0x57
#define LDP_VIDEO_EXTERNAL 0x58

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

#endif
