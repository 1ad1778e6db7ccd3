// AutoScript.  Not built yet: no script is ever found.
#include "autoscript/autoscript.h"

AutoScriptState autoScript;

int FindAutoScript(HWND) { return 0; }
