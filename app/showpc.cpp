// What the show PC keeps up for the player from start-up to shut-down: the
// machine awake with its display on, and Windows' timer at 1 ms (main
// thread).
#include <windows.h>
#include <mmsystem.h>

#include "app/app.h"

namespace {

bool timerResolutionSet;

}  // namespace

// Serial bytes are no user input: without the execution state an unattended
// PC would go to sleep or blank its display mid-show.  The state belongs to
// the calling thread, the main thread, and stays in force while it lives.
// Without the 1 ms timer Windows runs the 5 ms timer and GetTickCount on its
// 15.6 ms clock.
void HoldShowPc(void)
{
    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
    timerResolutionSet = timeBeginPeriod(TIMER_RESOLUTION_MS) == TIMERR_NOERROR;
}

void ReleaseShowPc(void)
{
    if (timerResolutionSet)
        timeEndPeriod(TIMER_RESOLUTION_MS);
    timerResolutionSet = false;
    SetThreadExecutionState(ES_CONTINUOUS);
}
