// Test support for the user interface: a stand-in main window with its
// instance record, and actions run from inside a modal loop of this thread.
#ifndef HRX_TESTS_UNIT_UI_FIXTURE_H
#define HRX_TESTS_UNIT_UI_FIXTURE_H

#include <windows.h>

#include <functional>
#include <string>

#include "app/instance.h"
#include "recordwindow.h"

// A main window owning a zero-filled record, as start-up makes them, with
// the settings LoadSettings gives without a registry.
RecordWindow CreateTestMainWindow();
void DestroyTestMainWindow(RecordWindow &main);
void DefaultSettings(Settings *s);

// Runs action once, delayMs from now, from whatever message loop this
// thread runs then (a modal dialog's); returns at once.
void RunLater(DWORD delayMs, std::function<void()> action);

// Serves this thread's messages until done() or the time is up; returns
// done().
bool PumpUntil(const std::function<bool()> &done, DWORD timeoutMs);

// A visible dialog of this thread with exactly that title, or null.
HWND FindThreadDialog(const char *title);

std::string ControlText(HWND dialog, int id);
std::string WindowTextOf(HWND hwnd);

#endif
