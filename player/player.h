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

int InterpretLdpCommand(HWND hwnd, const char *command);
int InterpretNativeCommand(HWND hwnd, const char *line);
int WatchPlayback(HWND hwnd);

#endif
