// Command interpreters and playback watcher.  Not built yet.
#include "player/player.h"

int InterpretLdpCommand(HWND, const char *) { return 0; }
int InterpretNativeCommand(HWND, const char *) { return 0; }
int WatchPlayback(HWND) { return 0; }
