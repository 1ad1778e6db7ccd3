// The native line protocol.  Not built yet: every line is ignored.
#include "player/player.h"

int InterpretNativeCommand(HWND, const char *) { return 0; }
