// Start-up, the restart with new settings, main window and shut-down of the
// player (main thread).
#ifndef HRX_APP_APP_H
#define HRX_APP_APP_H

#include <windows.h>

#define MAIN_WINDOW_CLASS "Halcyra.hrx"
#define MAIN_WINDOW_TITLE "Halcyra.hrx"
#define MAIN_WINDOW_WIDTH 320
// Held by the running copy, in the namespace every session shares.
#define SINGLE_COPY_MUTEX "Global\\" MAIN_WINDOW_CLASS

// Timers of the main window.
#define IDT_AUTOSCRIPT_POLL 10096
#define IDT_GARBAGE_COLLECTION 10099
#define IDT_PLAYBACK_POLL 10100
#define IDT_PORT_RETRY 10101
#define AUTOSCRIPT_POLL_MS 10000
#define GARBAGE_COLLECTION_MS 43200000
#define PLAYBACK_POLL_MS 5
#define PORT_RETRY_MS 5000
// Windows' timer resolution while the player runs.
#define TIMER_RESOLUTION_MS 1

struct InstanceRecord;
struct Settings;

// Creates the main window and its record and starts the show; returns the
// main window, or null when the program cannot run.
HWND InitialiseApplication(HINSTANCE hInstance, int showCommand);
// Takes the chapter table, the serial link and the boards down with the
// record's settings and brings them up again with the given ones, then saves
// these and acknowledges to the controller.  The trace lines of the
// take-down go to the old trace file, those of the bring-up to the new one.
// The receive thread is stopped while the settings are replaced.
void RestartWithSettings(HWND hwnd, InstanceRecord *record, const Settings &settings);
// The port retry's timer: opens the port when it can, then brings the show
// up as start-up does (taking down first what is up).
void RetryCommPort(HWND hwnd, InstanceRecord *record);
// ID_LINK_LOST from the receive thread: the lost link is traced, closed and
// retried every PORT_RETRY_MS.
void RecoverLostLink(HWND hwnd, InstanceRecord *record);
// From start-up to shut-down: keeps the PC awake with its display on and
// Windows' timer at TIMER_RESOLUTION_MS; the release undoes both.
void HoldShowPc(void);
void ReleaseShowPc(void);
LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void CentreWindow(HWND hwnd, HWND reference);

#endif
